#include "ops/RemovalOperation.h"

#include <QSet>

#include "mime/MessageRecord.h"
#include "ops/ErrorList.h"
#include "ops/ServerListing.h"
#include "ops/WorkerRunner.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"

namespace vm {

RemovalOutcome RunRemoval(Pop3Session& session, const MailAccount& account,
                          const QList<QByteArray>& uids, OperationView view, const StatusFn& status)
{
    RemovalOutcome out;
    const bool main = view == OperationView::MainWindow;
    const QString name = DisplayNameOf(account);
    ListingFailure failure;
    out.completed = RunOnServerListing(
        session, name, view, TextOr("DETAILSWND", "MarkingForDeletion", "Marking for deletion..."),
        status,
        [&](const UidlNumbers& numbers) {
            const QString total = QString::number(uids.size());
            int k = 1;
            for (const QByteArray& uid : uids) {
                if (main)
                    SayStatus(status,
                              TextOr("MAINWND", "MarkingMessagesForRemoval",
                                     "Marking messages to delete (account: %s) - Message %s out "
                                     "of %s",
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
        },
        failure);
    out.interrupted = failure.interrupted;
    out.error = std::move(failure.error);
    if (!out.completed)
        out.deleted = 0; // the server discarded the marks
    return out;
}

int RemoveRemovedRecords(Mailbox& mailbox, const QList<const MessageRecord*>& records)
{
    QSet<const MessageRecord*> set;
    set.reserve(records.size());
    for (const MessageRecord* r : records)
        if (r)
            set.insert(r);
    return RemoveRecordsWhere(mailbox, [&set](const MessageRecord* m) { return set.contains(m); });
}

RemovalResult RemoveMessagesOnServer(MailAccount& account, const QList<MessageRecord*>& records,
                                     OperationView view, const OperationRun& run)
{
    RemovalResult out;
    QList<QByteArray> uids;
    QList<const MessageRecord*> targets;
    for (const MessageRecord* r : records) {
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
        RemoveRemovedRecords(account.Box(), targets);
        out.removed = targets;
        out.missing = removal.missing;
    }
    return out;
}

} // namespace vm
