#pragma once
// The interface-thread side of the commands that talk to the POP3 server
// from the main window: the mail check of the shown account ("Check mail"
// button), of the selected tree nodes or all accounts (tree menu), of all
// accounts (tray menu) and the automatic check (timer); removal and whole
// retrieval of the selected list rows; the interrupt; the lock of automatic
// checks. Each command sets the busy state, clears the error list, reports
// an interrupt or the errors afterwards and announces new mail.
//
// The commands see the main window through MainWindowAccess, so they run
// against the real window and against a small stand-in in tests.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

#include "app/AutoCheck.h"
#include "net/PasswordPrompt.h"
#include "ops/AccountSelection.h"
#include "ops/CheckPop3Session.h"
#include "ops/OperationReport.h"
#include "ops/RetrieveWhole.h"

class QWidget;
namespace vm { class ErrorListWindow; }
namespace vm { class Pop3Client; }
namespace vm { class MessageRecord; }
namespace vm { class MailAccount; }
namespace vm { class Mailbox; }
namespace vm { class Settings; }

namespace vm {

class NewMailAnnouncer;
class StatusChannel;
class TrayControl;

// What the commands need of the main window.
class MainWindowAccess
{
public:
    virtual ~MainWindowAccess() = default;

    virtual QWidget* Window() const = 0;
    virtual QWidget* TreeControl() const = 0; // "Tree"
    virtual QWidget* ListControl() const = 0; // "MsgList"

    virtual bool RootSelected() const = 0;
    // Accounts of the selected account nodes, in node order.
    virtual QList<MailAccount*> SelectedAccounts() const = 0;
    // The account whose mailbox the list shows, or null.
    virtual MailAccount* ShownAccount() const = 0;

    // Fills the list again from a mailbox (the shown one).
    virtual void ShowMailbox(Mailbox* mailbox) = 0;
    virtual void UpdateAccountCaptions() = 0;
    // The busy look: tree, list and the commands that would start another
    // operation are disabled. While busy the list must not read the records
    // of the shown mailbox: a worker may replace or destroy them.
    virtual void SetBusy(bool busy) = 0;
    virtual void UpdateWindowState() = 0;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void RefreshPreview() = 0;

    // Number of selected rows (the "more" row included).
    virtual int SelectedRowCount() const = 0;
    // Records of the selected rows, in row order ("more" row left out).
    virtual QList<MessageRecord*> SelectedMessages() const = 0;
    // The records were removed from the shown mailbox (destroyed; the
    // addresses only identify rows): delete their rows and, when the window
    // is visible, select and focus the row the removal rule names
    // (RowToSelectAfterRemoval).
    virtual void MessagesRemoved(const QList<const MessageRecord*>& removed) = 0;
    // Records were fetched whole: each row of an old record now shows the
    // new one (state image, attachments column, row data), in place.
    virtual void MessagesReplaced(const QList<RetrievedRecord>& replaced) = 0;
    // A message counts as displayed (its new flag ends with NewMessagesStyle 2).
    virtual void MessageDisplayed(MessageRecord* message) = 0;
};

// After rows were deleted: start at the index of the first deleted row,
// clamped to the last row, and move up while the row holds no record.
// Returns the row to select, or -1 when there is none.
int RowToSelectAfterRemoval(int firstRemovedRow, int rowCount,
                            const std::function<bool(int)>& holdsRecord);

class MailCheckCommands : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<bool()> blockingWindowOpen; // details, settings, account, ...
        std::function<bool()> shuttingDown;
        std::function<void(bool locked)> lockedLook; // TBLock pressed and its image
        std::function<void()> navigationChanged;     // the list paints the new navigation
        // An operation (check, removal, retrieval, receipt) has ended and
        // the mailboxes are the interface thread's again.
        std::function<void()> operationEnded;
    };

    MailCheckCommands(MainWindowAccess& window, TrayControl& tray, NewMailAnnouncer& announcer,
                      ErrorListWindow& errorWindow, Hooks hooks, QObject* parent = nullptr);
    ~MailCheckCommands() override;

    // --- check commands -------------------------------------------------------
    // Tree menu "Check mail"; fromRefresh when the "Check mail" button sent it.
    void popTreeCheckMailClick(bool fromRefresh = false);
    // The tree menu's check of chosen accounts: Shown (the button) or
    // Selected check the given accounts in order; All checks every account.
    void CheckFromTree(const QList<MailAccount*>& accounts, CheckKind kind);
    // "Check mail" button: the shown account, when one is shown.
    void BRefreshClick();
    // Tray menu "Check mail": all accounts.
    void popTrayCheckMailClick() { CheckAccounts(false); }
    // Every account, or only those taking part in automatic checks.
    void CheckAccounts(bool automaticOnly);

    // --- list commands --------------------------------------------------------
    // Deletes the selected messages on the server after confirmation; the
    // rows go only once the server confirmed. True when removed.
    bool popListDeleteClick();
    // Fetches the selected headers-only messages whole. True when completed.
    bool popListRetrieveWholeClick();

    // --- the details window's commands on its one message ---------------------
    // What the details window shows while its operation runs: its operation
    // state, and the status texts in its own label (not the status panel).
    struct OperationDisplay
    {
        std::function<void(bool running)> running;
        std::function<void(const QString& text)> status;
    };
    // Fetches message (of the shown account's mailbox) whole. Returns the
    // fetched record, now standing in the old one's place (the old record is
    // destroyed), or null when nothing was fetched.
    MessageRecord* RetrieveWholeOne(MessageRecord* message, const OperationDisplay& display);
    // Deletes message on the server after asking (DETAILSWND, RemovalQuery).
    // True when it was removed: the record is destroyed and its row gone.
    bool DeleteOneOnServer(MessageRecord* message, const OperationDisplay& display);

    // --- interrupt and busy state ---------------------------------------------
    // popStatusInterrupt and TBAbort: asks the running operation to stop.
    void popStatusInterruptClick();
    bool Busy() const;
    void SetBusy(bool busy);
    // The user looked at the window: fresh marks end. While an operation
    // runs the mailboxes belong to its worker, so the marks that existed when
    // it started are cleared when it ends; mail it fetched stays fresh.
    void ClearFreshMarks();

    // --- automatic checking ---------------------------------------------------
    // The start-up rule; shows "Mail check skipped" when checkSkipped (a box
    // when the window is shown, else the notification window). When the
    // window is shown and no immediate check is due, the fresh marks go.
    // Returns true when a check is due at the first tick.
    bool StartUp(bool startedBySystem, bool checkSkipped, bool windowShown);
    // One tick of AutoCheckTimer.
    void AutoCheckTimerTimer();
    // 0 toggle (TBLock), 1 lock (popTrayLock), 2 unlock (popTrayUnlock).
    void SetAutoCheckLock(AutoCheckScheduler::LockMode mode);
    // After the settings window closed with OK; before holds the settings as
    // they were when the window opened.
    void AfterSettingsChanged(const Settings& before);
    bool AutoCheckLocked() const { return scheduler_.locked; }
    AutoCheckScheduler& Scheduler() { return scheduler_; }
    QTimer* AutoCheckTimer = nullptr;

    // How operations run (client, prompt, time limit); the status channel is
    // always this object's own.
    OperationRun operationRun;
    StatusChannel* Status() const { return status_; }

    // The window counts as visible (shown and not in the tray).
    bool MainVisible() const;

private:
    // How an operation of the details window ended, for its report.
    struct OperationEnd
    {
        bool started = false, interrupted = false, completed = false;
    };
    // Runs op for the details window on account: the password first (false,
    // and op not run, when it is cancelled), then the busy state with the
    // status texts in the window's own label, then the report of its end.
    bool RunForDetailsWindow(MailAccount& account, const OperationDisplay& display,
                             const std::function<OperationEnd(OperationRun& run)>& op);
    // Checks the accounts, then refreshes the list, captions and busy state.
    CheckCommandSummary CheckAndRefresh(const QList<MailAccount*>& accounts);
    void CloseErrorWindow();
    void ShowErrorWindow(OperationKind kind);
    void StartCommand();
    // A list command asks for a missing password before it changes anything
    // (busy look, error list, new flags), so a cancelled prompt leaves all as
    // it was. False when cancelled; else run hands the answer on.
    bool AskPasswordFirst(MailAccount& account, OperationRun& run,
                          std::optional<AnsweredPrompt>& answered);
    AccountCheckResult CheckOne(MailAccount& account);
    // Set while the automatic check runs: nobody is there to be asked.
    bool unattended_ = false;
    UnattendedPrompt unattendedPrompt_;
    void RestoreFocus(QWidget* remembered, bool requireActive);
    QWidget* FocusedControl() const;
    bool InterruptRequested() const;
    Pop3Client& Client() const;

    // UIDs of the fresh records of each account when the running operation
    // started, and whether the user looked at the window meanwhile.
    QHash<const MailAccount*, QList<QByteArray>> freshAtStart_;
    bool freshClearPending_ = false;

    MainWindowAccess& window_;
    TrayControl& tray_;
    NewMailAnnouncer& announcer_;
    QPointer<ErrorListWindow> errorWindow_;
    Hooks hooks_;
    AutoCheckScheduler scheduler_;
    StatusChannel* status_ = nullptr;
};

} // namespace vm
