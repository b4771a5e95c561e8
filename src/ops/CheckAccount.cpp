#include "ops/CheckAccount.h"

#include <QSet>

#include <memory>

#include "config/MySettings.h"
#include "mime/TIdMessageEx.h"
#include "ops/ErrorList.h"
#include "model/TMailAccount.h"
#include "model/TMailBox.h"
#include "ops/WorkerRunner.h"

namespace vm {

namespace {

// The download limit in bytes; kept 64-bit so large settings cannot wrap.
std::uint64_t LimitBytes(int kilobytes)
{
    return kilobytes <= 0 ? 0 : std::uint64_t(kilobytes) * 1024u;
}

// Size as the download rules see it: an unsigned 32-bit number, so an
// unknown size (-1) counts as too large.
bool SmallEnough(std::int32_t size, int kilobytes)
{
    return std::uint64_t(std::uint32_t(size)) <= LimitBytes(kilobytes);
}

void Say(const StatusFn& status, const QString& text)
{
    if (status)
        status(text);
}

} // namespace

CheckOptions CheckOptions::FromSettings(const MySettings& settings)
{
    CheckOptions o;
    o.range = settings.MessagesDownloadRange;
    o.maxDownloadKB = settings.MaximumDownloadSize;
    o.oldGetHeaders = settings.OldMessagesGetHeaders;
    o.oldThreshold = settings.OldMessagesThreshold;
    return o;
}

bool IsOldMessage(const TIdMessageEx& rec, TDateTime threshold)
{
    return rec.Date == 0 || rec.Date < threshold;
}

FetchPlan DecideFetch(const TIdMessageEx& rec, const CheckOptions& options)
{
    const bool p = rec.noHeaders;
    const bool h = rec.headersOnly;
    const int r = options.range;
    // A whole record is never fetched again; a headers-only one only when
    // the range asks for whole messages.
    if (!((p || h) && (p || r != 0)))
        return FetchPlan::None;
    const bool wantWhole = r == 1 || (r == 2 && SmallEnough(rec.size, options.maxDownloadKB));
    if (!p) {
        if (!wantWhole)
            return FetchPlan::None;
        if (options.oldGetHeaders && IsOldMessage(rec, options.oldThreshold))
            return FetchPlan::None;
    }
    if (!wantWhole)
        return FetchPlan::Headers;
    return options.oldGetHeaders ? FetchPlan::HeadersThenWhole : FetchPlan::Whole;
}

bool MailboxUnchanged(const TMailBox& mailbox, const QList<QByteArray>& serverIds,
                      const CheckOptions& options)
{
    if (!mailbox.Confirmed() || mailbox.CheckFailed() || mailbox.AnyWithoutHeaders())
        return false;
    if (options.range == 1 && mailbox.AnyHeadersOnly())
        return false;
    if (options.range == 2) {
        // The same size test as the download rules: a record whose size is
        // unknown (-1) is never fetched whole, so it must not keep the
        // mailbox from counting as unchanged.
        for (int i = 0; i < mailbox.Count(); ++i) {
            const TIdMessageEx* m = mailbox.At(i);
            if (m && !m->noHeaders && m->headersOnly && m->size != 0 &&
                SmallEnough(m->size, options.maxDownloadKB))
                return false;
        }
    }
    return mailbox.SameListAsServer(serverIds);
}

CheckOutcome RunCheck(Pop3Session& session, TMailAccount& account, const CheckOptions& options,
                      const StatusFn& status)
{
    CheckOutcome out;
    TMailBox& mailbox = account.Mailbox();
    const QString name = DisplayNameOf(account);
    // Any failure: what was fetched stays; the transport is closed without
    // "QUIT"; an interrupt leaves no error line.
    const auto fail = [&](OperationError error) {
        mailbox.MarkCheckFailed(out.loginSucceeded, Now());
        session.Close();
        Say(status, TextOr("MAINWND", "Idle", "Idle"));
        out.interrupted = session.InterruptRequested();
        if (!out.interrupted)
            out.error = std::move(error);
    };
    try {
        Say(status,
            TextOr("MAINWND", "LoggingToServer", "Connecting to server (account: %s)", {name}));
        session.ConnectAndLogin();
        out.loginSucceeded = true;

        Say(status, TextOr("MAINWND", "CheckingMessageList",
                           "Checking mailbox message list (account: %s)", {name}));
        QList<QByteArray> lines;
        if (!session.FetchUidLines(lines))
            throw EIdException(TextOr("Error", "ErrorRetrievingUIDL",
                                      "Could not retrieve mailbox message list (UIDL)"));
        QList<QByteArray> ids;
        ids.reserve(lines.size());
        for (const QByteArray& line : lines)
            ids.append(UidFromUidlLine(line));

        if (!MailboxUnchanged(mailbox, ids, options)) {
            QSet<QByteArray> server;
            server.reserve(ids.size());
            for (const QByteArray& id : ids)
                server.insert(id);
            RemoveRecordsWhere(mailbox, [&server](const TIdMessageEx* m) {
                return !m || !server.contains(m->UID);
            });
            out.changed = true;

            MailboxPositions positions(mailbox);
            const QString total = QString::number(ids.size());
            for (int i = 1; i <= ids.size(); ++i) {
                Say(status, TextOr("MAINWND", "MailCheckingProgress",
                                   "Retrieving mail (account: %s) - message %s out of %s",
                                   {name, QString::number(i), total}));
                const QByteArray& id = ids.at(i - 1);
                TIdMessageEx* known = mailbox.FindByUIDL(id);
                std::unique_ptr<TIdMessageEx> temporary;
                std::unique_ptr<TIdMessageEx> replacement;
                try {
                    std::uint8_t flags = 0;
                    std::uint8_t receipt = 0;
                    bool fresh = false;
                    if (known) {
                        flags = known->Flags;
                        receipt = known->receiptState;
                        fresh = known->fresh;
                    } else {
                        temporary = std::make_unique<TIdMessageEx>();
                        temporary->size = session.MessageSize(i);
                        temporary->UID = id;
                        temporary->noHeaders = true;
                        temporary->headersOnly = false;
                    }
                    TIdMessageEx* rec = known ? known : temporary.get();
                    rec->serverNumber = i;

                    const FetchPlan plan = DecideFetch(*rec, options);
                    if (plan == FetchPlan::None)
                        continue;
                    replacement = std::make_unique<TIdMessageEx>();
                    switch (plan) {
                    case FetchPlan::Headers:
                        session.FetchHeaders(i, *replacement);
                        break;
                    case FetchPlan::Whole:
                        session.FetchWhole(i, *replacement);
                        break;
                    case FetchPlan::HeadersThenWhole:
                        session.FetchHeaders(i, *replacement);
                        if (!IsOldMessage(*replacement, options.oldThreshold))
                            session.FetchWhole(i, *replacement);
                        break;
                    case FetchPlan::None:
                        break;
                    }
                    replacement->size = rec->size;
                    replacement->UID = rec->UID;
                    if (!known) {
                        replacement->Flags = mfRecent;
                        replacement->fresh = true;
                        TIdMessageEx* added = replacement.release();
                        positions.Placed(added, mailbox.Add(added));
                        ++out.added;
                    } else {
                        // Marks, the receipt already answered and the
                        // not-yet-looked-at mark survive a refetch.
                        replacement->Flags = flags;
                        replacement->receiptState = receipt;
                        replacement->fresh = fresh;
                        const int at = positions.Of(known);
                        TIdMessageEx* fetched = replacement.release();
                        mailbox.Replace(at, fetched);
                        positions.Forget(known);
                        positions.Placed(fetched, at);
                        delete known;
                    }
                    out.changed = true;
                } catch (const EIdProtocolReplyError&) {
                    // "-ERR" for this message (another client deleted it
                    // meanwhile): drop it and go on, without an error line.
                    if (known) {
                        const int at = positions.Of(known);
                        if (at >= 0)
                            mailbox.Delete(at);
                        positions.Invalidate();
                        out.changed = true;
                    }
                }
            }
        }

        Say(status,
            TextOr("MAINWND", "Disconnecting", "Disconnecting from server (account: %s)", {name}));
        session.Disconnect();
        mailbox.MarkCheckSucceeded(Now());
        Say(status, TextOr("MAINWND", "Idle", "Idle"));
        out.completed = true;
    } catch (const EIdException& e) {
        fail(OperationError{e.ClassName(), e.Message()});
    } catch (const std::exception& e) {
        fail(OperationError{QStringLiteral("Exception"), QString::fromLocal8Bit(e.what())});
    }
    return out;
}

CheckAccountResult CheckAccount(TMailAccount& account, const OperationRun& run)
{
    return CheckAccount(account, run, CheckOptions::FromSettings(Settings()));
}

CheckAccountResult CheckAccount(TMailAccount& account, const OperationRun& run,
                                const CheckOptions& options)
{
    CheckAccountResult out;
    GetMailParams params;
    const Pop3RunResult r =
        RunPop3Operation(account, run, params, [&](Pop3Session& session, const StatusFn& status) {
            params.mailboxChanged.store(false);
            const CheckOutcome check = RunCheck(session, account, options, status);
            params.mailboxChanged.store(check.changed);
            out.added = check.added;
            return OperationBodyResult{check.completed, check.error};
        });
    out.started = r.started;
    out.completed = r.completed;
    out.interrupted = r.interrupted;
    out.changed = params.mailboxChanged.load();
    return out;
}

} // namespace vm
