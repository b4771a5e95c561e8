#include "ops/RetrieveWhole.h"

#include <QSet>

#include <memory>

#include "mime/MessageRecord.h"
#include "ops/ErrorList.h"
#include "ops/ServerListing.h"
#include "ops/WorkerRunner.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"

namespace vm {

namespace {

bool NeedsWhole(const MessageRecord* rec)
{
    return rec && (rec->headersOnly || rec->noHeaders);
}

} // namespace

bool AnyToRetrieve(const QList<MessageRecord*>& records)
{
    for (const MessageRecord* r : records)
        if (NeedsWhole(r))
            return true;
    return false;
}

void CarryOver(const MessageRecord& from, MessageRecord& to)
{
    to.UID = from.UID;
    to.Flags = from.Flags;
    to.size = from.size;
    to.fresh = from.fresh;
    if (from.receiptState != 0)
        to.receiptState = from.receiptState;
}

RetrieveOutcome RunRetrieveWhole(Pop3Session& session, MailAccount& account,
                                 const QList<MessageRecord*>& records, OperationView view,
                                 const StatusFn& status)
{
    RetrieveOutcome out;
    Mailbox& mailbox = account.Box();
    const bool main = view == OperationView::MainWindow;
    const QString name = DisplayNameOf(account);
    ListingFailure failure;
    const bool ran = RunOnServerListing(
        session, name, view, TextOr("DETAILSWND", "RetrievingMessage", "Retrieving message..."),
        status,
        [&](const UidlNumbers& numbers) {
            MailboxPositions positions(mailbox);
            const QString total = QString::number(records.size());
            int k = 1;
            QSet<const MessageRecord*> seen;
            for (MessageRecord* old : records) {
                // A record listed twice is fetched once (and destroyed once).
                if (!old || seen.contains(old))
                    continue;
                seen.insert(old);
                if (main)
                    SayStatus(status, TextOr("MAINWND", "MailCheckingProgress",
                                             "Retrieving mail (account: %s) - message %s out of %s",
                                             {name, QString::number(k), total}));
                ++k;
                const int at = positions.Of(old);
                if (at < 0 || !NeedsWhole(old))
                    continue; // whole already, or not a record of this mailbox
                const int n = numbers.Lookup(old->UID);
                if (n < 0) {
                    out.missing.append(old->UID);
                    continue;
                }
                auto fetched = std::make_unique<MessageRecord>();
                // The size known from the check sets aside room for the text
                // and bounds how much of it is read.
                fetched->size = old->size;
                session.FetchWhole(n, *fetched);
                CarryOver(*old, *fetched);
                MessageRecord* placed = fetched.release();
                mailbox.Replace(at, placed);
                positions.Forget(old);
                positions.Placed(placed, at);
                out.retrieved.append(RetrievedRecord{old, placed, at});
                delete old;
            }
        },
        failure);
    // The details window shows one record: when it is gone from the
    // server nothing was fetched and the operation did not complete.
    out.completed = ran && (main || out.missing.isEmpty());
    out.interrupted = failure.interrupted;
    out.error = std::move(failure.error);
    if (main)
        SayStatus(status, TextOr("MAINWND", "Idle", "Idle"));
    return out;
}

RetrieveResult RetrieveWholeMessages(MailAccount& account, const QList<MessageRecord*>& records,
                                     OperationView view, const OperationRun& run)
{
    RetrieveResult out;
    if (!AnyToRetrieve(records)) {
        out.nothingToDo = true;
        return out;
    }
    ClearErrorList();
    RetrieveWholeParams params;
    RetrieveOutcome fetch;
    const Pop3RunResult r =
        RunPop3Operation(account, run, params, [&](Pop3Session& session, const StatusFn& status) {
            fetch = RunRetrieveWhole(session, account, records, view, status);
            return OperationBodyResult{fetch.completed, fetch.error};
        });
    out.started = r.started;
    out.completed = r.completed;
    out.interrupted = r.interrupted;
    out.retrieved = fetch.retrieved;
    out.missing = fetch.missing;
    return out;
}

} // namespace vm
