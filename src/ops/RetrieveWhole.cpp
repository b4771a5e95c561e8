#include "ops/RetrieveWhole.h"

#include <QSet>

#include <memory>

#include "mime/TIdMessageEx.h"
#include "ops/ErrorList.h"
#include "ops/WorkerRunner.h"
#include "model/TMailAccount.h"
#include "model/TMailBox.h"

namespace vm {

namespace {

void Say(const StatusFn& status, const QString& text)
{
    if (status)
        status(text);
}

bool NeedsWhole(const TIdMessageEx* rec)
{
    return rec && (rec->headersOnly || rec->noHeaders);
}

} // namespace

bool AnyToRetrieve(const QList<TIdMessageEx*>& records)
{
    for (const TIdMessageEx* r : records)
        if (NeedsWhole(r))
            return true;
    return false;
}

void CarryOver(const TIdMessageEx& from, TIdMessageEx& to)
{
    to.UID = from.UID;
    to.Flags = from.Flags;
    to.size = from.size;
    to.fresh = from.fresh;
    if (from.receiptState != 0)
        to.receiptState = from.receiptState;
}

RetrieveOutcome RunRetrieveWhole(Pop3Session& session, TMailAccount& account,
                                 const QList<TIdMessageEx*>& records, OperationView view,
                                 const StatusFn& status)
{
    RetrieveOutcome out;
    TMailBox& mailbox = account.Mailbox();
    const bool main = view == OperationView::MainWindow;
    const QString name = DisplayNameOf(account);
    const auto fail = [&](OperationError error) {
        session.Close();
        out.interrupted = session.InterruptRequested();
        if (!out.interrupted)
            out.error = std::move(error);
    };
    try {
        Say(status, main ? TextOr("MAINWND", "LoggingToServer",
                                  "Connecting to server (account: %s)", {name})
                         : TextOr("DETAILSWND", "Connecting", "Connecting..."));
        session.ConnectAndLogin();
        if (!main)
            Say(status, TextOr("DETAILSWND", "VeryfyingMessageList", "Verifying message list..."));
        QList<QByteArray> lines;
        if (!session.FetchUidLines(lines))
            throw EIdException(TextOr("Error", "ErrorRetrievingUIDL",
                                      "Could not retrieve mailbox message list (UIDL)"));
        const UidlNumbers numbers(lines);
        if (!main)
            Say(status, TextOr("DETAILSWND", "RetrievingMessage", "Retrieving message..."));
        MailboxPositions positions(mailbox);
        const QString total = QString::number(records.size());
        int k = 1;
        QSet<const TIdMessageEx*> seen;
        for (TIdMessageEx* old : records) {
            // A record listed twice is fetched once (and destroyed once).
            if (!old || seen.contains(old))
                continue;
            seen.insert(old);
            if (main)
                Say(status, TextOr("MAINWND", "MailCheckingProgress",
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
            auto fetched = std::make_unique<TIdMessageEx>();
            session.FetchWhole(n, *fetched);
            CarryOver(*old, *fetched);
            TIdMessageEx* placed = fetched.release();
            mailbox.Replace(at, placed);
            positions.Forget(old);
            positions.Placed(placed, at);
            out.retrieved.append(RetrievedRecord{old, placed, at});
            delete old;
        }
        Say(status, main ? TextOr("MAINWND", "Disconnecting",
                                  "Disconnecting from server (account: %s)", {name})
                         : TextOr("DETAILSWND", "Disconnecting", "Disconnecting..."));
        session.Disconnect();
        // The details window shows one record: when it is gone from the
        // server nothing was fetched and the operation did not complete.
        out.completed = main || out.missing.isEmpty();
    } catch (const EIdException& e) {
        fail(OperationError{e.ClassName(), e.Message()});
    } catch (const std::exception& e) {
        fail(OperationError{QStringLiteral("Exception"), QString::fromLocal8Bit(e.what())});
    }
    if (main)
        Say(status, TextOr("MAINWND", "Idle", "Idle"));
    return out;
}

RetrieveResult RetrieveWholeMessages(TMailAccount& account, const QList<TIdMessageEx*>& records,
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
