#include "support/GuiTestApp.h"
#include "ui_check/CheckTestSupport.h"

#include <QApplication>
#include <QSet>
#include <QTcpServer>

#include <gtest/gtest.h>

#include "core/AppInfo.h"
#include "lang/LangStartup.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "net/TlsTrust.h"

namespace vm::test {

FakeMainWindow::FakeMainWindow()
{
    auto* layout = new QVBoxLayout(this);
    tree = new QTreeWidget(this);
    tree->setObjectName(QStringLiteral("Tree"));
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("MsgList"));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(tree);
    layout->addWidget(list);
    resize(400, 300);
}

void FakeMainWindow::Show(MailAccount* account, bool moreRow)
{
    shown = account;
    moreRow_ = moreRow;
    ShowMailbox(account ? &account->Box() : nullptr);
    --showMailboxCalls;
}

void FakeMainWindow::ShowMailbox(Mailbox* mailbox)
{
    ++showMailboxCalls;
    list->clear();
    if (!mailbox)
        return;
    for (int i = 0; i < mailbox->Count(); ++i) {
        auto* item = new QListWidgetItem(QString::fromLatin1(mailbox->At(i)->UID), list);
        item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(mailbox->At(i))));
    }
    if (moreRow_)
        new QListWidgetItem(QStringLiteral("(more)"), list);
}

MessageRecord* FakeMainWindow::RowRecord(int row) const
{
    QListWidgetItem* item = list->item(row);
    return item ? reinterpret_cast<MessageRecord*>(item->data(Qt::UserRole).value<quintptr>())
                : nullptr;
}

void FakeMainWindow::SelectRows(const QList<int>& rows)
{
    list->clearSelection();
    for (int r : rows)
        list->item(r)->setSelected(true);
}

QList<int> FakeMainWindow::SelectedRowIndexes() const
{
    QList<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            rows.append(i);
    return rows;
}

int FakeMainWindow::SelectedRowCount() const
{
    return static_cast<int>(SelectedRowIndexes().size());
}

QList<MessageRecord*> FakeMainWindow::SelectedMessages() const
{
    QList<MessageRecord*> out;
    for (int r : SelectedRowIndexes())
        if (MessageRecord* m = RowRecord(r))
            out.append(m);
    return out;
}

void FakeMainWindow::MessagesRemoved(const QList<const MessageRecord*>& removed)
{
    ++removedCalls;
    const QSet<const MessageRecord*> gone(removed.begin(), removed.end());
    int first = -1;
    for (int i = list->count() - 1; i >= 0; --i) {
        if (RowRecord(i) && gone.contains(RowRecord(i))) {
            delete list->takeItem(i);
            first = i;
        }
    }
    const int row = RowToSelectAfterRemoval(first, list->count(),
                                            [this](int r) { return RowRecord(r) != nullptr; });
    list->clearSelection();
    if (row >= 0 && isVisible()) {
        list->item(row)->setSelected(true);
        list->setCurrentRow(row);
        list->setFocus();
    }
}

void FakeMainWindow::MessagesReplaced(const QList<RetrievedRecord>& replaced)
{
    for (const RetrievedRecord& r : replaced)
        for (int i = 0; i < list->count(); ++i)
            if (RowRecord(i) == r.oldRecord)
                list->item(i)->setData(Qt::UserRole,
                                       QVariant::fromValue(reinterpret_cast<quintptr>(r.newRecord)));
}

CheckRig::CheckRig()
{
    errorWindow = std::make_unique<ErrorListWindow>();
    announcer = std::make_unique<NewMailAnnouncer>();
    TrayControl::Hooks th;
    th.pop3Busy = [this] { return commands && commands->Busy(); };
    th.clearFreshMarks = [] { Accounts().ClearFresh(true); };
    th.stopAnnouncing = [this] { announcer->StopAnnouncing(); };
    th.checkAllAccounts = [this] { commands->popTrayCheckMailClick(); };
    th.lock = [this] { commands->SetAutoCheckLock(AutoCheckScheduler::LockMode::Lock); };
    th.unlock = [this] { commands->SetAutoCheckLock(AutoCheckScheduler::LockMode::Unlock); };
    th.locked = [this] { return commands && commands->AutoCheckLocked(); };
    th.trayAvailable = [this] { return trayAvailable; };
    tray = std::make_unique<TrayControl>(&window, th);
    MailCheckCommands::Hooks ch;
    ch.blockingWindowOpen = [this] { return blockingWindow; };
    ch.shuttingDown = [this] { return shuttingDown; };
    ch.lockedLook = [this](bool locked) { lockedLooks.append(locked); };
    ch.navigationChanged = [this] { ++navigationRepaints; };
    ch.operationEnded = [this] {
        if (operationEnded)
            operationEnded();
    };
    commands = std::make_unique<MailCheckCommands>(window, *tray, *announcer, *errorWindow, ch);
    commands->operationRun.timeoutSeconds = 5;
}

CheckRig::~CheckRig()
{
    announcer->StopAnnouncing();
    commands.reset();
    tray.reset();
}

void EnsureGuiApp()
{
    if (qApp)
        return;
    vmtest::MakeGuiTestApp();
    static QTemporaryDir dir;
    AppInfo::SetDataDir(dir.path() + '/');
    SetTrustFilePath(dir.path() + QStringLiteral("/certificates.ini"));
    ASSERT_EQ(DiscoverLanguageFiles(dir.path() + '/'), QString());
    ASSERT_EQ(ChooseAndLoadLanguage(dir.path() + '/', "english.lng"), QString());
}

quint16 ClosedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

QStringList Shown(const RecordingMessageService& messages, MsgIcon icon)
{
    QStringList out;
    for (const MessageRequest& r : messages.shown)
        if (r.icon == icon)
            out.append(r.text);
    return out;
}

} // namespace vm::test
