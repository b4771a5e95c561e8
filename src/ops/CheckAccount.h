#pragma once
// The mail check of one account: log in, fetch the UIDL list, bring the
// mailbox in line with it (forget what is gone, add what is new, fetch
// headers or whole messages by the download rules) and log out. Nothing is
// ever deleted on the server.
//
// RunCheck is the work itself, without threads: the worker thread of
// CheckAccount runs it, and tests run it directly against a session.

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

#include "core/DateTime.h"
#include "ops/CheckPop3Session.h"
#include "ops/CheckSession.h"

namespace vm { class MessageRecord; }
namespace vm { class MailAccount; }

namespace vm {

class Settings;

// The settings the check reads, taken once per check.
struct CheckOptions
{
    int range = 2;              // 0 headers only, 1 whole, 2 whole if small
    int maxDownloadKB = 512;    // the "small" limit of range 2, kilobytes
    bool oldGetHeaders = true;  // old messages get headers only
    TDateTime oldThreshold = 0; // a message dated before this is old
    // From this many new messages on, their sizes come from one "LIST" for
    // the whole mailbox instead of one "LIST n" each (0: never). Below it a
    // listing of a big mailbox would cost more than the few round trips.
    int sizeListFrom = 8;

    // The values of the settings, the old-message threshold computed for now.
    static CheckOptions FromSettings(const Settings& settings);
};

// How a record of the check loop is fetched.
enum class FetchPlan {
    None,             // keep the record as it is
    Headers,          // "TOP n 0"
    Whole,            // "RETR n"
    HeadersThenWhole, // "TOP n 0", then "RETR n" when the headers show it is not old
};

// A record is old when its date lies strictly before the threshold; a
// record without a date is old.
bool IsOldMessage(const MessageRecord& rec, TDateTime threshold);

// The download rules for the record of one server id: a temporary record
// holding only id and size (new message), or the record of the mailbox.
FetchPlan DecideFetch(const MessageRecord& rec, const CheckOptions& options);

// True when the check may skip the message loop: the mailbox is confirmed,
// every record has headers, the last check did not fail, no headers-only
// record waits for a whole fetch under the current range, and the server
// lists exactly the mailbox's ids (in any order).
bool MailboxUnchanged(const Mailbox& mailbox, const QList<QByteArray>& serverIds,
                      const CheckOptions& options);

struct CheckOutcome
{
    bool completed = false; // result 1
    bool changed = false;   // the mailbox was changed (also on failure)
    bool loginSucceeded = false;
    bool interrupted = false; // the user asked to interrupt
    int added = 0;            // records appended as new
    // The error for the error list; empty on success and on an interrupt.
    std::optional<OperationError> error;
};

// The check of one account over an open session (which is not yet
// connected). Fills account.Mailbox() in place and sets its check flags;
// status texts go to status.
CheckOutcome RunCheck(Pop3Session& session, MailAccount& account, const CheckOptions& options,
                      const StatusFn& status = {});

struct CheckAccountResult
{
    bool started = false; // false: the password prompt was cancelled
    bool completed = false;
    bool changed = false; // the mailbox was changed (refill the list)
    bool interrupted = false;
    int added = 0;
};

// The check of one account as the check commands start it (interface
// thread): prepares the POP3 client (a cancelled password prompt skips the
// account: not completed, not changed), runs the check on a worker thread
// with the silence limit, records the error line of a failure (none for an
// interrupt), marks the account as failing with that line (a completed check
// ends the mark) and replaces the shared client. The error list is not cleared
// here; the commands clear it once before their first account. Without
// options the settings' values are used.
CheckAccountResult CheckAccount(MailAccount& account, const OperationRun& run = {});
CheckAccountResult CheckAccount(MailAccount& account, const OperationRun& run,
                                const CheckOptions& options);

} // namespace vm
