#pragma once
// A stand-in for the main window (a tree, a list of rows showing records of
// the shown mailbox, the busy look) and the pieces around the check
// commands, wired the way the program wires them.

#include <QListWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

#include <functional>
#include <memory>

#include "app/MailCheckCommands.h"
#include "app/TrayControl.h"
#include "core/Messages.h"
#include "ui/common/NewMailAnnouncer.h"
#include "ui/common/ErrorListWindow.h"
#include "support/Pop3Account.h"

namespace vm { class MailAccount; }

namespace vm::test {

class FakeMainWindow : public QWidget, public MainWindowAccess
{
public:
    FakeMainWindow();

    QWidget* Window() const override { return const_cast<FakeMainWindow*>(this); }
    QWidget* TreeControl() const override { return tree; }
    QWidget* ListControl() const override { return list; }
    bool RootSelected() const override { return rootSelected; }
    QList<MailAccount*> SelectedAccounts() const override { return selectedAccounts; }
    MailAccount* ShownAccount() const override { return shown; }
    void ShowMailbox(Mailbox* mailbox) override;
    void UpdateAccountCaptions() override { ++captionUpdates; }
    void SetBusy(bool busy) override { busyHistory.append(busy); }
    void UpdateWindowState() override {}
    void SetStatusText(const QString& text) override { statusTexts.append(text); }
    void RefreshPreview() override { ++previewRefreshes; }
    int SelectedRowCount() const override;
    QList<MessageRecord*> SelectedMessages() const override;
    void MessagesRemoved(const QList<const MessageRecord*>& removed) override;
    void MessagesReplaced(const QList<RetrievedRecord>& replaced) override;
    void MessageDisplayed(MessageRecord* message) override { displayed.append(message); }

    // Rows: one per record of the shown mailbox, and a "more" row when asked.
    void Show(MailAccount* account, bool moreRow = false);
    MessageRecord* RowRecord(int row) const;
    void SelectRows(const QList<int>& rows);
    QList<int> SelectedRowIndexes() const;

    QTreeWidget* tree = nullptr;
    QListWidget* list = nullptr;
    bool rootSelected = false;
    QList<MailAccount*> selectedAccounts;
    MailAccount* shown = nullptr;
    bool moreRow_ = false;
    int captionUpdates = 0;
    int previewRefreshes = 0;
    int showMailboxCalls = 0;
    int removedCalls = 0;
    QList<bool> busyHistory;
    QStringList statusTexts;
    QList<MessageRecord*> displayed;
};

// The window, tray, announcer, error window and commands, wired together.
struct CheckRig
{
    CheckRig();
    ~CheckRig();

    FakeMainWindow window;
    std::unique_ptr<ErrorListWindow> errorWindow;
    std::unique_ptr<NewMailAnnouncer> announcer;
    std::unique_ptr<TrayControl> tray;
    std::unique_ptr<MailCheckCommands> commands;
    bool trayAvailable = true;
    bool blockingWindow = false;
    bool shuttingDown = false;
    QList<bool> lockedLooks;
    int navigationRepaints = 0;
    std::function<void()> operationEnded;
};

// QApplication, the built-in English language, a private data directory.
void EnsureGuiApp();
// A loopback port nothing listens on.
quint16 ClosedPort();
// An account for a POP3 server on loopback, added to the accounts directory.
inline MailAccount* AddAccount(const QByteArray& login, const QByteArray& password, quint16 port,
                               bool autoCheck = true)
{
    return AddPop3Account(login, password, port, autoCheck);
}
// Texts of the message boxes shown with the icon.
QStringList Shown(const RecordingMessageService& messages, MsgIcon icon);

} // namespace vm::test
