#include "ops/CheckAccount.h"

#include <QSet>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "config/Settings.h"
#include "mime/MessageRecord.h"
#include "ops/ErrorList.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "ops/WorkerRunner.h"
#include "pop3/Pop3Listing.h"

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

CheckOptions CheckOptions::FromSettings(const Settings& settings)
{
    CheckOptions o;
    o.range = settings.MessagesDownloadRange;
    o.maxDownloadKB = settings.MaximumDownloadSize;
    o.oldGetHeaders = settings.OldMessagesGetHeaders;
    o.oldThreshold = settings.OldMessagesThreshold;
    return o;
}

bool IsOldMessage(const MessageRecord& rec, TDateTime threshold)
{
    return rec.Date == 0 || rec.Date < threshold;
}

FetchPlan DecideFetch(const MessageRecord& rec, const CheckOptions& options)
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

bool MailboxUnchanged(const Mailbox& mailbox, const QList<QByteArray>& serverIds,
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
            const MessageRecord* m = mailbox.At(i);
            if (m && !m->noHeaders && m->headersOnly && m->size != 0 &&
                SmallEnough(m->size, options.maxDownloadKB))
                return false;
        }
    }
    return mailbox.SameListAsServer(serverIds);
}

namespace {

// Threads that parse whole messages while the check reads the next ones.
// Jobs run in the order given; each job touches only its own record.
class ParsePool
{
public:
    explicit ParsePool(int threads)
    {
        for (int i = 0; i < threads; ++i)
            threads_.emplace_back([this] { Work(); });
    }
    ~ParsePool()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }
    ParsePool(const ParsePool&) = delete;
    ParsePool& operator=(const ParsePool&) = delete;

    std::future<void> Submit(std::function<void()> fn)
    {
        std::packaged_task<void()> task(std::move(fn));
        std::future<void> done = task.get_future();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(task));
        }
        wake_.notify_one();
        return done;
    }

    // Parsing threads worth starting: one per core beyond the reading one,
    // at least one, at most two (the server usually needs a core too). Two
    // parsers on two cores measured slower: GLib's locks then contend.
    static int DefaultThreads()
    {
        const int cores = int(std::thread::hardware_concurrency());
        return std::clamp(cores - 1, 1, 2);
    }

private:
    void Work()
    {
        for (;;) {
            std::packaged_task<void()> task;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
                if (queue_.empty())
                    return;
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();
        }
    }

    std::vector<std::thread> threads_;
    std::deque<std::packaged_task<void()>> queue_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

// One server message on its way through the check loop: looked up, its size
// asked for when it is new, then fetched by the download rules. Its
// commands may be in flight together with those of the following messages;
// the outcome enters the mailbox in server order.
struct MessageJob
{
    int number = 0;
    QByteArray id;
    MessageRecord* known = nullptr;             // the mailbox's record, if any
    std::unique_ptr<MessageRecord> temporary;   // id and size of a new message
    std::unique_ptr<MessageRecord> replacement; // what is being fetched
    std::uint8_t flags = 0;
    std::uint8_t receipt = 0;
    bool fresh = false;
    FetchPlan plan = FetchPlan::None;
    MessageCommand awaiting = MessageCommand::Size; // the command in flight
    bool done = false;
    bool failed = false;      // "-ERR": the message is dropped
    qint64 bytes = 0;         // counted against the byte budget
    std::future<void> parsed; // the parse of a whole message still running

    MessageRecord* Rec() const { return known ? known : temporary.get(); }
};

class MessageLoop
{
public:
    // Whole messages expected in flight at most (a single bigger message
    // still goes alone).
    static constexpr qint64 kByteBudget = 4 << 20;

    MessageLoop(Pop3Session& session, Mailbox& mailbox, const CheckOptions& options,
                const QList<QByteArray>& ids, const StatusFn& status, const QString& name,
                CheckOutcome& out)
        : session_(session), mailbox_(mailbox), options_(options), ids_(ids), status_(status),
          name_(name), total_(QString::number(ids.size())), out_(out), positions_(mailbox)
    {
        window_ = std::max(1, session.PipelineWindow());
        // One at a time exactly as without pipelining; otherwise finished
        // messages may wait a little for an earlier one still in flight.
        maxJobs_ = window_ == 1 ? 1 : 2 * window_;
    }

    ~MessageLoop()
    {
        // A failure leaves parses running on records of the jobs.
        for (MessageJob& job : jobs_)
            if (job.parsed.valid())
                job.parsed.wait();
    }
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // The sizes of the new messages from one "LIST", when there are enough
    // of them. Runs before anything in the mailbox changes, so a listing
    // that does not match UIDL's numbers leaves the mailbox as it was.
    void FetchSizeList()
    {
        if (options_.sizeListFrom <= 0)
            return;
        int fresh = 0;
        for (const QByteArray& id : ids_)
            if (!mailbox_.FindByUIDL(id))
                ++fresh;
        if (fresh >= options_.sizeListFrom)
            haveSizes_ = session_.FetchSizes(sizes_, int(ids_.size()));
    }

    void Run()
    {
        try {
            while (next_ <= ids_.size() || !jobs_.empty()) {
                Commit();
                StartJobs();
                Commit();
                if (!replies_.empty())
                    ReadReply();
            }
        } catch (...) {
            // The connection is gone (or the user interrupted): what was
            // read completely, up to the first gap, still enters the mailbox.
            replies_.clear();
            Commit();
            throw;
        }
    }

private:
    void StartJobs()
    {
        while (next_ <= ids_.size()) {
            if (!jobs_.empty()) {
                if (int(jobs_.size()) >= maxJobs_ || int(replies_.size()) >= window_ ||
                    bytes_ >= kByteBudget)
                    return;
                // A second entry with an id in flight waits until the first
                // is in the mailbox, so it finds that record as known.
                if (inFlight_.contains(ids_.at(next_ - 1)))
                    return;
            }
            Start(next_++);
        }
    }

    void Start(int i)
    {
        Say(status_, TextOr("MAINWND", "MailCheckingProgress",
                            "Retrieving mail (account: %s) - message %s out of %s",
                            {name_, QString::number(i), total_}));
        MessageJob& job = jobs_.emplace_back();
        job.number = i;
        job.id = ids_.at(i - 1);
        inFlight_.insert(job.id);
        job.known = mailbox_.FindByUIDL(job.id);
        if (job.known) {
            job.flags = job.known->Flags;
            job.receipt = job.known->receiptState;
            job.fresh = job.known->fresh;
            job.known->serverNumber = i;
            Decide(job);
            return;
        }
        job.temporary = std::make_unique<MessageRecord>();
        job.temporary->UID = job.id;
        job.temporary->noHeaders = true;
        job.temporary->headersOnly = false;
        job.temporary->serverNumber = i;
        const auto size = haveSizes_ ? sizes_.constFind(i) : sizes_.cend();
        if (size != sizes_.cend()) {
            job.temporary->size = size.value();
            Decide(job);
        } else {
            Send(job, MessageCommand::Size);
        }
    }

    void Decide(MessageJob& job)
    {
        job.plan = DecideFetch(*job.Rec(), options_);
        if (job.plan == FetchPlan::None) {
            job.done = true;
            return;
        }
        job.replacement = std::make_unique<MessageRecord>();
        job.replacement->size = job.Rec()->size;
        if (job.plan != FetchPlan::Headers) {
            job.bytes = std::max<qint64>(0, job.Rec()->size);
            bytes_ += job.bytes;
        }
        Send(job, job.plan == FetchPlan::Whole ? MessageCommand::Whole : MessageCommand::Headers);
    }

    void Send(MessageJob& job, MessageCommand command)
    {
        job.awaiting = command;
        replies_.push_back(&job);
        session_.SendMessageCommand(command, job.number);
    }

    void ReadReply()
    {
        MessageJob& job = *replies_.front();
        replies_.pop_front();
        try {
            switch (job.awaiting) {
            case MessageCommand::Size: {
                std::int32_t size = -1;
                session_.ReceiveMessageReply(MessageCommand::Size, job.number, nullptr, &size);
                job.temporary->size = size;
                Decide(job);
                break;
            }
            case MessageCommand::Headers:
                session_.ReceiveMessageReply(MessageCommand::Headers, job.number,
                                             job.replacement.get(), nullptr);
                if (job.plan == FetchPlan::HeadersThenWhole &&
                    !IsOldMessage(*job.replacement, options_.oldThreshold))
                    Send(job, MessageCommand::Whole);
                else
                    job.done = true;
                break;
            case MessageCommand::Whole:
                session_.ReceiveMessageReply(MessageCommand::Whole, job.number,
                                             job.replacement.get(), nullptr);
                if (session_.ParsesWholeLater()) {
                    if (!parsers_)
                        parsers_ = std::make_unique<ParsePool>(ParsePool::DefaultThreads());
                    MessageRecord* rec = job.replacement.get();
                    job.parsed = parsers_->Submit([this, rec] { session_.FinishWhole(*rec); });
                }
                job.done = true;
                break;
            }
        } catch (const ProtocolReplyError&) {
            // "-ERR" for this message (another client deleted it
            // meanwhile): it is dropped, without an error line. Anything
            // else (a line that is no reply, a lost connection) ends the
            // check and leaves the message as it was.
            job.failed = true;
            job.done = true;
        }
    }

    // Puts the finished messages at the head of the queue into the mailbox.
    void Commit()
    {
        while (!jobs_.empty() && jobs_.front().done) {
            MessageJob& job = jobs_.front();
            if (job.parsed.valid()) {
                // Rather read on while replies are due than wait for it.
                if (!replies_.empty() &&
                    job.parsed.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                    return;
                job.parsed.get();
            }
            bytes_ -= job.bytes;
            inFlight_.remove(job.id);
            if (job.failed)
                Drop(job);
            else if (job.plan != FetchPlan::None)
                Place(job);
            jobs_.pop_front();
        }
    }

    void Drop(MessageJob& job)
    {
        if (!job.known)
            return; // the temporary record goes with the job
        const int at = positions_.Of(job.known);
        if (at >= 0)
            mailbox_.Delete(at);
        positions_.Invalidate();
        out_.changed = true;
    }

    void Place(MessageJob& job)
    {
        MessageRecord* rec = job.Rec();
        job.replacement->size = rec->size;
        job.replacement->UID = rec->UID;
        if (!job.known) {
            job.replacement->Flags = mfRecent;
            job.replacement->fresh = true;
            MessageRecord* added = job.replacement.release();
            positions_.Placed(added, mailbox_.Add(added));
            ++out_.added;
        } else {
            // Marks, the receipt already answered and the not-yet-looked-at
            // mark survive a refetch.
            job.replacement->Flags = job.flags;
            job.replacement->receiptState = job.receipt;
            job.replacement->fresh = job.fresh;
            const int at = positions_.Of(job.known);
            MessageRecord* fetched = job.replacement.release();
            mailbox_.Replace(at, fetched);
            positions_.Forget(job.known);
            positions_.Placed(fetched, at);
            delete job.known;
            job.known = nullptr;
        }
        out_.changed = true;
    }

    Pop3Session& session_;
    Mailbox& mailbox_;
    const CheckOptions& options_;
    const QList<QByteArray>& ids_;
    const StatusFn& status_;
    const QString& name_;
    const QString total_;
    CheckOutcome& out_;
    MailboxPositions positions_;

    int window_ = 1;
    int maxJobs_ = 1;
    int next_ = 1;
    bool haveSizes_ = false;
    QHash<int, std::int32_t> sizes_;
    std::deque<MessageJob> jobs_;     // started, not yet in the mailbox, in server order
    std::deque<MessageJob*> replies_; // jobs whose command is in flight, in sending order
    QSet<QByteArray> inFlight_;
    qint64 bytes_ = 0;
    // Declared last: destroyed (its threads joined) before the jobs.
    std::unique_ptr<ParsePool> parsers_;
};

} // namespace

CheckOutcome RunCheck(Pop3Session& session, MailAccount& account, const CheckOptions& options,
                      const StatusFn& status)
{
    CheckOutcome out;
    Mailbox& mailbox = account.Box();
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
        const auto listUnusable = [] {
            return NetworkError(TextOr("Error", "ErrorRetrievingUIDL",
                                       "Could not retrieve mailbox message list (UIDL)"));
        };
        QList<QByteArray> lines;
        if (!session.FetchUidLines(lines))
            throw listUnusable();
        // By the number in each line; a listing that does not match the
        // numbers 1..n ends the check before the mailbox is touched.
        const QList<QByteArray> ids = UidsByNumber(lines);
        lines.clear();
        for (const QByteArray& id : ids) {
            // An id longer than the mailbox file keeps would come back cut
            // after a restart, and its message would be new again each time.
            if (id.size() > Mailbox::kMaxUidLength)
                throw listUnusable();
        }

        if (!MailboxUnchanged(mailbox, ids, options)) {
            MessageLoop loop(session, mailbox, options, ids, status, name, out);
            loop.FetchSizeList();

            QSet<QByteArray> server;
            server.reserve(ids.size());
            for (const QByteArray& id : ids)
                server.insert(id);
            RemoveRecordsWhere(mailbox, [&server](const MessageRecord* m) {
                return !m || !server.contains(m->UID);
            });
            out.changed = true;

            loop.Run();
        }

        Say(status,
            TextOr("MAINWND", "Disconnecting", "Disconnecting from server (account: %s)", {name}));
        session.Disconnect();
        mailbox.MarkCheckSucceeded(Now());
        Say(status, TextOr("MAINWND", "Idle", "Idle"));
        out.completed = true;
    } catch (const NetworkError& e) {
        fail(OperationError{e.ClassName(), e.Message()});
    } catch (const std::exception& e) {
        fail(OperationError{QStringLiteral("Exception"), QString::fromLocal8Bit(e.what())});
    }
    return out;
}

CheckAccountResult CheckAccount(MailAccount& account, const OperationRun& run)
{
    return CheckAccount(account, run, CheckOptions::FromSettings(AppSettings()));
}

CheckAccountResult CheckAccount(MailAccount& account, const OperationRun& run,
                                const CheckOptions& options)
{
    CheckAccountResult out;
    GetMailParams params;
    const qsizetype linesBefore = ErrorList().size();
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
    // The account is marked while its last check failed; a check the user
    // interrupted or never let start says nothing about the account.
    if (r.completed) {
        account.ClearAttention(MailAccount::Attention::CheckFailed);
    } else if (r.started && !r.interrupted) {
        const QStringList lines = ErrorList().mid(linesBefore);
        if (!lines.isEmpty())
            account.SetAttention(MailAccount::Attention::CheckFailed,
                                 lines.join(QLatin1Char('\n')));
    }
    return out;
}

} // namespace vm
