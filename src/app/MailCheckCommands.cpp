#include "app/MailCheckCommands.h"

#include <QApplication>
#include <QWidget>

#include "app/TrayControl.h"
#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "ops/CertificateFailures.h"
#include "ops/CheckAccount.h"
#include "ops/ErrorList.h"
#include "ops/RemovalOperation.h"
#include "ops/StatusChannel.h"
#include "ops/WorkerRunner.h"
#include "pop3/Pop3Client.h"
#include "send/MailClientHandoff.h"
#include "ui/common/NewMailAnnouncer.h"
#include "ui/common/NotificationSound.h"
#include "ui/common/ErrorListWindow.h"

namespace vm {

int RowToSelectAfterRemoval(int firstRemovedRow, int rowCount,
                            const std::function<bool(int)>& holdsRecord)
{
    if (firstRemovedRow < 0 || rowCount <= 0)
        return -1;
    int row = std::min(firstRemovedRow, rowCount - 1);
    while (row >= 0 && !holdsRecord(row))
        --row;
    return row;
}

MailCheckCommands::MailCheckCommands(MainWindowAccess& window, TrayControl& tray,
                                     NewMailAnnouncer& announcer, ErrorListWindow& errorWindow, Hooks hooks,
                                     QObject* parent)
    : QObject(parent), window_(window), tray_(tray), announcer_(announcer),
      errorWindow_(&errorWindow), hooks_(std::move(hooks)),
      scheduler_(AutoCheckScheduler::Hooks{})
{
    status_ = new StatusChannel(this);
    connect(status_, &StatusChannel::statusChanged, this,
            [this](const QString& text) { window_.SetStatusText(text); });

    AutoCheckTimer = new QTimer(this);
    AutoCheckTimer->setObjectName(QStringLiteral("AutoCheckTimer"));
    AutoCheckTimer->setInterval(1000);
    connect(AutoCheckTimer, &QTimer::timeout, this, &MailCheckCommands::AutoCheckTimerTimer);

    AutoCheckScheduler::Hooks h;
    h.pop3Busy = [this] { return Busy(); };
    h.handOffBusy = [] { return XdgEmailRun::AnyRunning(); };
    h.blockingWindowOpen = [this] { return hooks_.blockingWindowOpen && hooks_.blockingWindowOpen(); };
    h.shuttingDown = [this] { return hooks_.shuttingDown && hooks_.shuttingDown(); };
    h.errorWindowVisible = [this] { return errorWindow_ && errorWindow_->isVisible(); };
    h.closeErrorWindow = [this] { CloseErrorWindow(); };
    h.runAutomaticCheck = [this] {
        QWidget* active = FocusedControl();
        CheckAccounts(true);
        RestoreFocus(active, true);
    };
    h.setTimerEnabled = [this](bool on) {
        if (!on)
            AutoCheckTimer->stop();
        else if (!AutoCheckTimer->isActive())
            AutoCheckTimer->start();
    };
    scheduler_ = AutoCheckScheduler(std::move(h));

    announcer_.mainWindowVisible = [this] { return MainVisible(); };
    announcer_.clearFreshMarks = [] { Accounts().ClearFresh(true); };
    announcer_.shownAccountName = [this] {
        MailAccount* a = window_.ShownAccount();
        return a ? DisplayNameOf(*a) : QString();
    };
    announcer_.restoreFromTray = [this] { tray_.RestoreFromTray(); };
}

MailCheckCommands::~MailCheckCommands() = default;

bool MailCheckCommands::MainVisible() const
{
    return tray_.WindowShown();
}

Pop3Client& MailCheckCommands::Client() const
{
    // The shared client is replaced after every operation: ask for it anew.
    return operationRun.client ? *operationRun.client : SharedPop3Client();
}

bool MailCheckCommands::Busy() const
{
    return Client().Busy;
}

void MailCheckCommands::SetBusy(bool busy)
{
    if (busy && !Busy()) {
        freshAtStart_.clear();
        freshClearPending_ = false;
        const AccountsDirectory& dir = Accounts();
        for (int i = 0; i < dir.Count(); ++i) {
            const MailAccount* account = dir.At(i);
            if (!account)
                continue;
            QList<QByteArray>& uids = freshAtStart_[account];
            const Mailbox& box = account->Box();
            for (int j = 0; j < box.Count(); ++j)
                if (const MessageRecord* m = box.At(j); m && m->fresh)
                    uids.append(m->UID);
        }
    }
    Client().Busy = busy;
    window_.SetBusy(busy);
    if (!busy && freshClearPending_) {
        freshClearPending_ = false;
        // As ClearFresh(true): a stale mailbox keeps its marks.
        AccountsDirectory& dir = Accounts();
        for (int i = 0; i < dir.Count(); ++i) {
            MailAccount* account = dir.At(i);
            if (!account || account->Box().Stale())
                continue;
            for (const QByteArray& uid : freshAtStart_.value(account))
                if (MessageRecord* m = account->Box().FindByUIDL(uid))
                    m->fresh = false;
        }
        window_.UpdateWindowState();
    }
    if (!busy) {
        freshAtStart_.clear();
        if (hooks_.operationEnded)
            hooks_.operationEnded();
    }
}

void MailCheckCommands::ClearFreshMarks()
{
    if (Busy())
        freshClearPending_ = true;
    else
        Accounts().ClearFresh(true);
}

bool MailCheckCommands::InterruptRequested() const
{
    return Client().InterruptRequested();
}

void MailCheckCommands::popStatusInterruptClick()
{
    // A second request changes nothing: the first one is already on its way.
    if (Busy())
        Client().RequestInterrupt();
}

void MailCheckCommands::CloseErrorWindow()
{
    if (errorWindow_ && errorWindow_->isVisible())
        errorWindow_->close();
}

void MailCheckCommands::ShowErrorWindow(OperationKind kind)
{
    if (!errorWindow_)
        return;
    // Shown over a modal window (the details window), the error window must
    // be modal too: otherwise the modal window keeps it from being used.
    if (!errorWindow_->isVisible())
        errorWindow_->setWindowModality(QApplication::activeModalWidget() ? Qt::ApplicationModal
                                                                          : Qt::NonModal);
    errorWindow_->ShowErrors(ErrorWindowHeader(kind), ErrorList());
}

void MailCheckCommands::StartCommand()
{
    ClearErrorList();
    ClearCertificateFailures();
    // An interrupt left over from an earlier operation must not stop this one.
    Client().ResetOperationStatus();
}

bool MailCheckCommands::AskPasswordFirst(MailAccount& account, OperationRun& run,
                                         std::optional<AnsweredPrompt>& answered)
{
    QString keyringProblem;
    if (account.Pop3PasswordWithoutPrompt(&keyringProblem))
        return true;
    PasswordPrompt& prompt = run.prompt ? *run.prompt : PasswordPrompter();
    PasswordRequest request = Pop3PasswordRequest(account);
    request.note = keyringProblem;
    PasswordAnswer answer = prompt.Ask(request);
    if (!answer.accepted)
        return false;
    answered.emplace(std::move(answer));
    run.prompt = &*answered;
    return true;
}

AccountCheckResult MailCheckCommands::CheckOne(MailAccount& account)
{
    OperationRun run = operationRun;
    run.status = status_;
    if (unattended_)
        run.prompt = &unattendedPrompt_;
    const CheckAccountResult r = CheckAccount(account, run);
    return AccountCheckResult{r.completed, r.changed};
}

QWidget* MailCheckCommands::FocusedControl() const
{
    QWidget* w = QApplication::focusWidget();
    QWidget* main = window_.Window();
    return w && main && main->isAncestorOf(w) ? w : nullptr;
}

void MailCheckCommands::RestoreFocus(QWidget* remembered, bool requireActive)
{
    QWidget* main = window_.Window();
    if (!main || !MainVisible())
        return;
    if (requireActive && (!remembered || !main->isActiveWindow()))
        return;
    QWidget* list = window_.ListControl();
    const auto usable = [](QWidget* w) { return w && w->isVisible() && w->isEnabled(); };
    if (remembered != window_.TreeControl() && remembered != list && usable(list))
        list->setFocus(Qt::OtherFocusReason);
    else if (usable(remembered))
        remembered->setFocus(Qt::OtherFocusReason);
}

void MailCheckCommands::popTreeCheckMailClick(bool fromRefresh)
{
    if (fromRefresh) {
        MailAccount* shown = window_.ShownAccount();
        CheckFromTree(shown ? QList<MailAccount*>{shown} : QList<MailAccount*>{},
                      CheckKind::Shown);
    } else if (window_.RootSelected()) {
        CheckFromTree({}, CheckKind::All);
    } else {
        CheckFromTree(window_.SelectedAccounts(), CheckKind::Selected);
    }
}

void MailCheckCommands::CheckFromTree(const QList<MailAccount*>& accounts, CheckKind kind)
{
    if (Busy())
        return;
    CloseErrorWindow();
    QWidget* remembered = FocusedControl();
    if (kind == CheckKind::All || kind == CheckKind::Automatic) {
        CheckAccounts(kind == CheckKind::Automatic);
        RestoreFocus(remembered, false);
        return;
    }
    if (accounts.isEmpty())
        return;

    StartCommand();
    SetBusy(true);
    window_.UpdateWindowState();
    const CheckCommandSummary sum = CheckAndRefresh(accounts);
    if (sum.interrupted && MainVisible())
        ShowWarning(InterruptedOnDemandText());
    if (!sum.allCompleted && !ErrorListEmpty())
        ShowErrorWindow(OperationKind::MailCheck);
    announcer_.AnnounceNewMail(FreshCountForAnnouncement(Accounts()),
                               static_cast<AnnounceKind>(kind));
    RestoreFocus(remembered, false);
}

CheckCommandSummary MailCheckCommands::CheckAndRefresh(const QList<MailAccount*>& accounts)
{
    const CheckCommandSummary sum = RunCheckCommand(
        accounts, [this](MailAccount& a) { return CheckOne(a); },
        [this] { return InterruptRequested(); }, window_.ShownAccount());
    // The operation is over: the list, captions and commands show its result.
    tray_.StopTrayBlink();
    if (sum.shownChanged)
        if (MailAccount* shown = window_.ShownAccount())
            window_.ShowMailbox(&shown->Box());
    window_.UpdateAccountCaptions();
    SetBusy(false);
    window_.UpdateWindowState();
    tray_.UpdateNewMailLook();
    return sum;
}

void MailCheckCommands::BRefreshClick()
{
    if (window_.ShownAccount())
        popTreeCheckMailClick(true);
}

void MailCheckCommands::CheckAccounts(bool automaticOnly)
{
    AccountsDirectory& dir = Accounts();
    if (dir.Count() == 0 || Busy())
        return;
    StartCommand();
    SetBusy(true);
    window_.UpdateWindowState();
    tray_.StartTrayBlink();

    const QList<MailAccount*> accounts =
        AccountsToCheck(dir, automaticOnly ? CheckKind::Automatic : CheckKind::All);
    unattended_ = automaticOnly;
    const CheckCommandSummary sum = CheckAndRefresh(accounts);
    unattended_ = false;
    // Here the announcement comes first, the reports after it.
    announcer_.AnnounceNewMail(FreshCountForAnnouncement(dir), automaticOnly
                                                                    ? AnnounceKind::AutoChecked
                                                                    : AnnounceKind::AllAccounts);
    if (sum.interrupted)
        ShowWarning(InterruptedOnDemandText());
    if (!sum.allCompleted && (MainVisible() || AppSettings().AlwaysNotifyErrors) && !ErrorListEmpty())
        ShowErrorWindow(OperationKind::MailCheck);
}

bool MailCheckCommands::popListDeleteClick()
{
    MailAccount* account = window_.ShownAccount();
    if (!account || Busy() || window_.SelectedRowCount() == 0)
        return false;
    CloseErrorWindow();
    if (!AskYesNo(TextOr("MAINWND", "ConfirmDeleteMessages",
                         "Are you sure you want to delete selected messages from the remote "
                         "mailbox? It's unrecoverable!")))
        return false;
    const QList<MessageRecord*> records = window_.SelectedMessages();

    OperationRun run = operationRun;
    std::optional<AnsweredPrompt> answered;
    if (!AskPasswordFirst(*account, run, answered))
        return false;
    StartCommand();
    SetBusy(true);
    window_.UpdateWindowState();
    run.status = status_;
    // The records leave the mailbox only when the server has confirmed with
    // the end of the connection; any failure keeps them all.
    const RemovalResult r =
        RemoveMessagesOnServer(*account, records, OperationView::MainWindow, run);
    if (r.completed && !r.removed.isEmpty())
        window_.MessagesRemoved(r.removed);
    window_.UpdateAccountCaptions();
    SetBusy(false);
    window_.UpdateWindowState();
    window_.SetStatusText(StatusIdle());
    tray_.StopTrayBlink();
    if (r.started) {
        if (r.interrupted && MainVisible())
            ShowWarning(InterruptedOnDemandText());
        if (!r.completed && !ErrorListEmpty())
            ShowErrorWindow(OperationKind::MessageRemoval);
    }
    window_.RefreshPreview();
    return r.completed;
}

bool MailCheckCommands::popListRetrieveWholeClick()
{
    MailAccount* account = window_.ShownAccount();
    const int selectedRows = window_.SelectedRowCount();
    if (!account || Busy() || selectedRows == 0)
        return false;
    CloseErrorWindow();
    const QList<MessageRecord*> records = window_.SelectedMessages();
    if (!AnyToRetrieve(records)) {
        ShowError(TextOr("MAINWND", "AllMessagesDownloaded",
                         "All (selected) messages have been already downloaded."));
        return false;
    }

    OperationRun run = operationRun;
    std::optional<AnsweredPrompt> answered;
    if (!AskPasswordFirst(*account, run, answered))
        return false;
    StartCommand();
    SetBusy(true);
    window_.UpdateWindowState();
    run.status = status_;
    const RetrieveResult r =
        RetrieveWholeMessages(*account, records, OperationView::MainWindow, run);
    // Whatever arrived before a failure stays fetched: its rows must show the
    // new records before anything paints them again.
    if (!r.retrieved.isEmpty())
        window_.MessagesReplaced(r.retrieved);
    SetBusy(false);
    window_.UpdateWindowState();
    window_.SetStatusText(StatusIdle());
    tray_.StopTrayBlink();
    if (r.started && r.interrupted && MainVisible())
        ShowWarning(InterruptedOnDemandText());

    if (selectedRows == 1 && records.size() == 1) {
        MessageRecord* shown = records.first();
        for (const RetrievedRecord& rr : r.retrieved)
            if (rr.oldRecord == shown)
                shown = rr.newRecord;
        window_.MessageDisplayed(shown);
    }
    if (r.started && !r.completed && !ErrorListEmpty())
        ShowErrorWindow(OperationKind::MessageRetrieval);
    window_.RefreshPreview();
    return r.completed;
}

// ------------------------------------------- the details window's message --

bool MailCheckCommands::RunForDetailsWindow(
    MailAccount& account, const OperationDisplay& display,
    const std::function<OperationEnd(OperationRun& run)>& op)
{
    OperationRun run = operationRun;
    std::optional<AnsweredPrompt> answered;
    if (!AskPasswordFirst(account, run, answered))
        return false;
    StartCommand();
    SetBusy(true);
    window_.UpdateWindowState();
    // Status texts go to the window's own label.
    StatusChannel channel;
    if (display.status)
        connect(&channel, &StatusChannel::statusChanged, this, display.status);
    run.status = &channel;
    if (display.running)
        display.running(true);
    const OperationEnd end = op(run);
    if (display.running)
        display.running(false);
    SetBusy(false);
    window_.UpdateWindowState();
    tray_.StopTrayBlink();
    if (end.started && end.interrupted)
        ShowWarning(InterruptedOnDemandText());
    else if (end.started && !end.completed && !ErrorListEmpty())
        ShowErrorWindow(OperationKind::Other);
    return true;
}

MessageRecord* MailCheckCommands::RetrieveWholeOne(MessageRecord* message,
                                                   const OperationDisplay& display)
{
    MailAccount* account = window_.ShownAccount();
    if (!message || !account || message->owner != &account->Box() || Busy() ||
        message->HoldingState() == MessageRecord::Holding::Whole)
        return nullptr;
    CloseErrorWindow();
    MessageRecord* fetched = nullptr;
    RunForDetailsWindow(*account, display, [&](OperationRun& run) {
        const RetrieveResult r =
            RetrieveWholeMessages(*account, {message}, OperationView::DetailsWindow, run);
        for (const RetrievedRecord& rr : r.retrieved)
            if (rr.oldRecord == message)
                fetched = rr.newRecord;
        if (!r.retrieved.isEmpty())
            window_.MessagesReplaced(r.retrieved);
        return OperationEnd{r.started, r.interrupted, r.completed};
    });
    return fetched;
}

bool MailCheckCommands::DeleteOneOnServer(MessageRecord* message, const OperationDisplay& display)
{
    MailAccount* account = window_.ShownAccount();
    if (!message || !account || message->owner != &account->Box() || Busy())
        return false;
    CloseErrorWindow();
    if (!AskYesNo(TextOr("DETAILSWND", "RemovalQuery",
                         "Are you sure you want to delete this message from server?")))
        return false;
    bool removed = false;
    RunForDetailsWindow(*account, display, [&](OperationRun& run) {
        const RemovalResult r =
            RemoveMessagesOnServer(*account, {message}, OperationView::DetailsWindow, run);
        removed = r.completed && r.removed.contains(message);
        if (r.completed && !r.removed.isEmpty())
            window_.MessagesRemoved(r.removed);
        window_.UpdateAccountCaptions();
        return OperationEnd{r.started, r.interrupted, r.completed};
    });
    return removed;
}

// ------------------------------------------------------ automatic checking --

bool MailCheckCommands::StartUp(bool startedBySystem, bool checkSkipped, bool windowShown)
{
    const bool immediate = scheduler_.StartUp(startedBySystem, checkSkipped);
    if (windowShown && !immediate)
        Accounts().ClearFresh(true);
    if (checkSkipped) {
        if (windowShown)
            ShowInfo(TextOr("COMMONS", "AutocheckSkipped", "Mail check skipped."));
        else
            announcer_.ShowNotification(TextOr("COMMONS", "AutocheckSkippedBlink",
                                               "Mail check skipped"),
                                        1000, 10000, QColor(255, 255, 170));
    }
    return immediate;
}

void MailCheckCommands::AutoCheckTimerTimer()
{
    scheduler_.Tick();
}

void MailCheckCommands::SetAutoCheckLock(AutoCheckScheduler::LockMode mode)
{
    if (!scheduler_.SetLock(mode)) {
        ShowWarning(TextOr("MAINWND", "AutocheckPermanentlyDisabled",
                           "Automatic mail checking has been permanently disabled in general "
                           "settings."));
        return;
    }
    if (hooks_.lockedLook)
        hooks_.lockedLook(scheduler_.locked);
    tray_.SetLocked(scheduler_.locked);
}

void MailCheckCommands::AfterSettingsChanged(const Settings& before)
{
    const Settings& s = AppSettings();
    // With automatic checks off the user is told so; the lock stays as it is.
    if (!(s.AutoMailCheck && s.CheckMailOnTimer))
        SetAutoCheckLock(AutoCheckScheduler::LockMode::Unlock);
    scheduler_.AfterSettingsChanged();
    // What the list shows depends on the old-message age and the charset
    // assumed for unlabelled text; the navigation only on how it paints.
    if ((s.OldMessagesUnit != before.OldMessagesUnit ||
         s.OldMessagesTime != before.OldMessagesTime ||
         s.DefIncomingEncoding != before.DefIncomingEncoding) &&
        window_.ShownAccount())
        window_.ShowMailbox(&window_.ShownAccount()->Box());
    if (s.MsgListNavigation != before.MsgListNavigation && hooks_.navigationChanged)
        hooks_.navigationChanged();
    if (s.UseCustomMessageNotificationSound && announcer_.Sound() &&
        announcer_.Sound()->LoadedFile() != s.CustomMessageNotificationSound)
        announcer_.Sound()->LoadFile(s.CustomMessageNotificationSound);
    window_.UpdateWindowState();
}

} // namespace vm
