#pragma once
// Which accounts a check command visits, in which order, how it stops on an
// interrupt, and the count of fresh messages it announces. The windows (tree
// menu, "Check mail" button, tray menu, automatic-check timer) and the
// command line share this logic; what checking one account means is handed
// in, so tests run it without a server.

#include <QList>

#include <functional>

namespace vm { class AccountsDirectory; }
namespace vm { class MailAccount; }

namespace vm {

// The kinds of a check command, also the kinds of the new-mail announcement.
enum class CheckKind {
    Shown = 0,     // the account shown in the message list ("Check mail" button)
    Selected = 1,  // the selected account nodes of the tree, in node order
    Automatic = 2, // the accounts that take part in automatic checks
    All = 3,       // every account (tree root, tray menu)
};

// The accounts a command of the kind checks, in visiting order: Shown and
// Selected take the chosen accounts as given (null entries skipped);
// Automatic takes, in directory order, the accounts with automatic checking
// on whose password is known without asking (stored, or remembered for the
// session), so it never prompts; All takes every account in directory order.
QList<MailAccount*> AccountsToCheck(const AccountsDirectory& directory, CheckKind kind,
                                     const QList<MailAccount*>& chosen = {});

// What checking one account reported.
struct AccountCheckResult
{
    bool completed = false;
    bool changed = false;
};

struct CheckCommandSummary
{
    bool allCompleted = true;  // false once one account was not completed
    bool shownChanged = false; // the shown account's mailbox was changed
    bool interrupted = false;  // stopped after an interrupt request
    int checked = 0;           // accounts visited
    QList<MailAccount*> notCompleted;
};

// Runs checkOne for each account in order. After each account the
// interrupt request is looked at; when set, the accounts not yet visited are
// not checked. A failed account does not stop the command. shown is the
// account of the message list (may be null).
CheckCommandSummary
RunCheckCommand(const QList<MailAccount*>& accounts,
                const std::function<AccountCheckResult(MailAccount&)>& checkOne,
                const std::function<bool()>& interruptRequested,
                const MailAccount* shown = nullptr);

// The count of the new-mail announcement: records with the fresh mark over
// all mailboxes that are not stale.
int FreshCountForAnnouncement(const AccountsDirectory& directory);

} // namespace vm
