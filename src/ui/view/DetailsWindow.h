#pragma once
// The details window ("DETAILSWND"): one message of the main window's list
// at full size, on a header page (sender, subject, date, size, priority and
// the header lines) and a body page (the rendered message and its
// attachment list). Previous and next step through the list's rows without
// touching the list's selection; the caller selects the row the window ended
// on. The message commands (fetch whole, delete on the server, save, print,
// source, reply, reply to all, forward) run for the shown message; the
// network work behind fetch and delete is handed to hooks, which put the
// window into its operation state while they run.
//
// A message held as headers only opens on the header page with the body tab
// hidden; the tab comes back once the whole message is held.
//
// Replies, forwards and a new message from a "mailto:" link of the page are
// composed after the window closed, so that the compose window is not held
// back by this modal one.

#include <QList>
#include <QPointer>

#include <functional>

#include "ui/common/TranslatedWindow.h"
#include "ui/view/AttachmentActions.h"

class QLabel;
class QListWidget;
class QMenu;
class QAction;
class QPlainTextEdit;
class QTabWidget;
class QToolButton;
class QWidget;

namespace vm {

class MailAccount;
class MessageListModel;
class MessageRecord;
class MessageView;

class DetailsWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    // The window steps through the rows of model (the main message list).
    explicit DetailsWindow(MessageListModel* model, QWidget* parent = nullptr);
    ~DetailsWindow() override;

    static constexpr int kMinimumWidth = 700;
    static constexpr int kMinimumHeight = 650;

    // What the window cannot do itself, set by the main window. An unset hook
    // leaves its command disabled (the attachment actions have a default).
    struct Hooks
    {
        // Fetches message whole through the POP3 operation, telling the
        // window its state (SetOperationRunning, SetOperationText). Returns
        // the fetched record, which took the old one's place (the old one is
        // destroyed), or null when nothing was fetched.
        std::function<MessageRecord*(MessageRecord* message, DetailsWindow& window)> retrieveWhole;
        // Deletes message on the server after asking; true when it was
        // removed (the record is destroyed and its list row gone).
        std::function<bool(MessageRecord* message, DetailsWindow& window)> deleteOnServer;
        // Interrupts the running operation (SBAbort).
        std::function<void()> abort;
        // Mode 0 reply, 1 reply to all, 2 forward; run after the window closed.
        std::function<void(MessageRecord* message, MailAccount* account, int mode)> compose;
        // A "mailto:" link clicked in the message (given without its
        // "mailto:"); the window closes and it runs afterwards.
        std::function<void(MailAccount* account, const QString& link)> mailto;
        // The shown whole message asks for a return receipt not yet answered.
        std::function<void(MessageRecord* message, MailAccount* account)> receipt;
        // The message counts as displayed (the new flag of NewMessagesStyle 2).
        std::function<void(MessageRecord* message)> displayed;
        // The save dialog with the default file name; empty when cancelled.
        std::function<QString(const QString& defaultName)> chooseSaveFile;
        // The attachment menu's actions. Default: RunAttachmentAction.
        std::function<void(QWidget* parent, const MessageRecord& message, const QList<int>& parts,
                           AttachmentAction action)>
            attachmentAction;
    };
    Hooks hooks;

    // Shows the message at row of the list (modal), for account. Returns
    // the row the window ended on (-1 when no row held a message).
    int Run(int row, MailAccount* account);
    // The same without waiting (the window stays open); for tests and for
    // Run. False when no row held a message (the window is not shown).
    bool Start(int row, MailAccount* account);

    // The row shown, and the message (null after release).
    int Row() const { return row_; }
    MessageRecord* Message() const { return message_; }
    MailAccount* Account() const { return account_; }

    // The operation state: bar hidden, abort shown, views disabled, SBExit
    // captioned "Abort" (afterwards "Menu..." and the enabling again).
    void SetOperationRunning(bool running);
    bool OperationRunning() const { return operationRunning_; }
    // The running operation's status text (LOperation).
    void SetOperationText(const QString& text);

    // Commands (public so that keys, buttons and tests share them).
    void SBPreviousClick();
    void SBNextClick();
    void SBRetrieveClick();
    void SBDeleteClick();
    void SBSaveClick();
    void SBPrintClick();
    void SBSourceClick();
    void ComposeAndClose(int mode);
    void SBExitClick();
    void SBAbortClick();
    // The selected attachment rows' part indexes, in list order.
    QList<int> SelectedAttachmentParts() const;
    void RunAttachmentCommand(AttachmentAction action);

    // Writes the window's rectangle into PreviewWnd* (when it was shown).
    void CopyPlacement() const;

    // Controls, named as the language file and the tests know them.
    QTabWidget* PGC = nullptr;
    QWidget* TSHeaders = nullptr;
    QWidget* TSBody = nullptr;
    QWidget* PFrom = nullptr;
    QWidget* PSubject = nullptr;
    QLabel* LFrom = nullptr;
    QLabel* LSubject = nullptr;
    QLabel* LDate = nullptr;
    QLabel* LSize = nullptr;
    QLabel* LHeaders = nullptr;
    QPlainTextEdit* MHeaders = nullptr;
    MessageView* MsgViewFrame = nullptr;
    QLabel* LAttachments = nullptr;
    QListWidget* AttachmentList = nullptr;
    QMenu* popAttach = nullptr;
    QAction* popAttachOpen = nullptr;
    QAction* popAttachSave = nullptr;
    QAction* popAttachSaveOpen = nullptr;
    QLabel* LPriority = nullptr;
    QLabel* LOperation = nullptr;
    QToolButton* SBAbort = nullptr;
    QWidget* BottomBar = nullptr;
    QToolButton* SBPrevious = nullptr;
    QToolButton* SBNext = nullptr;
    QToolButton* SBRetrieve = nullptr;
    QToolButton* SBDelete = nullptr;
    QToolButton* SBSave = nullptr;
    QToolButton* SBPrint = nullptr;
    QToolButton* SBSource = nullptr;
    QToolButton* SBReplyToSender = nullptr;
    QToolButton* SBReplyToAll = nullptr;
    QToolButton* SBForward = nullptr;
    QToolButton* SBExit = nullptr;

    void AfterTranslation() override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;
    void done(int result) override;

private:
    QToolButton* AddBarButton(const char* name, const QIcon& icon);
    // Fills the window for row and places it at its first use.
    bool Prepare(int row, MailAccount* account);
    // Shows the message at row_ (stepping up past the "more" row); false
    // when no row holds a message.
    bool Fill();
    void FillAttachments();
    void SetCaption();
    // Switches away from a hidden body page and moves the shared controls
    // onto the active page.
    void ApplyPageRule();
    void UpdateButtons();
    void UpdateAttachmentMenu();
    void ArrangePage();
    // Steps to another row, keeping the page when DefaultBrowserPage is 0.
    void StepTo(int row);
    // The receipt question of the shown message.
    void ActivationStep();
    // Lets the parsed parts go, forgets the message, deletes the page files.
    void Release();
    bool HeadersOnly() const;

    QPointer<MessageListModel> model_;
    int row_ = -1;
    MessageRecord* message_ = nullptr;
    MailAccount* account_ = nullptr;
    bool parsedWhole_ = false;
    bool operationRunning_ = false;
    bool placed_ = false;
    // The receipt question made the window lose and regain the focus: that
    // activation asks nothing.
    bool askedSinceActivation_ = false;
    int pendingCompose_ = -1;
    QString pendingMailto_; // null when no mail link waits
};

} // namespace vm
