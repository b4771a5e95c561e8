#include "ops/RemovalOperation.h"

#include <QSet>

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

} // namespace

RemovalOutcome RunRemoval(Pop3Session& session, const TMailAccount& account,
                          const QList<QByteArray>& uids, OperationView view, const StatusFn& status)
{
    RemovalOutcome out;
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
            Say(status, TextOr("DETAILSWND", "MarkingForDeletion", "Marking for deletion..."));
        const QString total = QString::number(uids.size());
        int k = 1;
        for (const QByteArray& uid : uids) {
            if (main)
                Say(status,
                    TextOr("MAINWND", "MarkingMessagesForRemoval",
                           "Marking messages to delete (account: %s) - Message %s out of %s",
                           {name, QString::number(k), total}));
            ++k;
            const int n = numbers.Lookup(uid);
            if (n < 0) {
                ++out.missing;
                continue;
            }
            session.Delete(n);
            ++out.deleted;
        }
        Say(status, main ? TextOr("MAINWND", "Disconnecting",
                                  "Disconnecting from server (account: %s)", {name})
                         : TextOr("DETAILSWND", "Disconnecting", "Disconnecting..."));
        session.Disconnect();
        out.completed = true;
    } catch (const EIdException& e) {
        fail(OperationError{e.ClassName(), e.Message()});
    } catch (const std::exception& e) {
        fail(OperationError{QStringLiteral("Exception"), QString::fromLocal8Bit(e.what())});
    }
    if (!out.completed)
        out.deleted = 0; // the server discarded the marks
    return out;
}

int RemoveRemovedRecords(TMailBox& mailbox, const QList<const TIdMessageEx*>& records)
{
    QSet<const TIdMessageEx*> set;
    set.reserve(records.size());
    for (const TIdMessageEx* r : records)
        if (r)
            set.insert(r);
    return RemoveRecordsWhere(mailbox, [&set](const TIdMessageEx* m) { return set.contains(m); });
}

RemovalResult RemoveMessagesOnServer(TMailAccount& account, const QList<TIdMessageEx*>& records,
                                     OperationView view, const OperationRun& run)
{
    RemovalResult out;
    QList<QByteArray> uids;
    QList<const TIdMessageEx*> targets;
    for (const TIdMessageEx* r : records) {
        if (!r)
            continue;
        uids.append(r->UID);
        targets.append(r);
    }
    ClearErrorList();
    GetMailParams params;
    RemovalOutcome removal;
    const Pop3RunResult r =
        RunPop3Operation(account, run, params, [&](Pop3Session& session, const StatusFn& status) {
            removal = RunRemoval(session, account, uids, view, status);
            return OperationBodyResult{removal.completed, removal.error};
        });
    out.started = r.started;
    out.completed = r.completed;
    out.interrupted = r.interrupted;
    if (out.completed) {
        // Only now, after "QUIT" was answered, do the records go.
        RemoveRemovedRecords(account.Mailbox(), targets);
        out.removed = targets;
        out.missing = removal.missing;
    }
    return out;
}

} // namespace vm
