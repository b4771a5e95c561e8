#pragma once
// The pattern every network operation follows: the interface thread
// prepares a client and a parameter block, runs the worker on a thread of
// its own and waits in an event loop (windows stay alive, nothing spins)
// until the worker has ended. The waiting side alone enforces the silence
// limit, on the monotonic clock: when no byte has moved for longer than the
// limit, it aborts the worker's transport (the worker ends at its current
// wait), sets the result to 0 and runs the clean-up the operation gives (for
// POP3: status texts and the "RemoteHostNoReply" error line). A worker that
// completed (result 1) before the abort reached it keeps its result, and no
// clean-up runs.
//
// The same runner serves the windows, the command line (QCoreApplication,
// no display) and the tests.

#include <QString>

#include <atomic>
#include <functional>

namespace vm { class MessageRecord; }
namespace vm { class MailAccount; }

namespace vm {

class StatusChannel;
class Transport;

// The result slot: -1 running, 0 failed or ended for silence, 1 done.
constexpr int kResultRunning = -1;
constexpr int kResultFailed = 0;
constexpr int kResultDone = 1;

// Head of every parameter block.
struct WorkerParams
{
    std::atomic<int> result{kResultRunning};
    virtual ~WorkerParams() = default;
};

// Mail check and removal from the main list.
struct GetMailParams : WorkerParams
{
    StatusChannel* window = nullptr; // the main window's status texts
    MailAccount* account = nullptr;
    std::atomic<bool> mailboxChanged{false}; // cleared by the worker at its start
};

// Whole-message retrieval from the main list.
struct RetrieveWholeParams : GetMailParams
{
    bool allMessages = false; // false for popListRetrieveWhole
};

// Whole retrieval, removal and receipt from the details window.
struct DetailsMessageParams : WorkerParams
{
    StatusChannel* window = nullptr; // the details window's operation label
    MailAccount* account = nullptr;
    MessageRecord* message = nullptr;
};

// True when nowMs - lastActivityMs (monotonic milliseconds, see
// Transport::MonotonicMs) is strictly greater than limitSeconds.
bool SilenceLimitExceeded(qint64 lastActivityMs, qint64 nowMs, int limitSeconds);

struct WorkerRun
{
    // The worker's transport: LastActivityMs is read from it, Abort ends a
    // silent worker. Required.
    Transport* transport = nullptr;
    // Silence limit in seconds (the setting ConnectTimeout); <= 0 = none.
    int silenceLimitSeconds = 60;
    // Runs on the waiting thread after a silent worker has been ended.
    std::function<void()> onSilence;
    // How often the waiting side looks at LastActivity (ms).
    int tickMs = 100;
};

// Stamps the transport's activity, runs worker on a new thread and waits until that
// thread has ended. The worker must set params.result on every path; if it
// throws, the result becomes 0. The transport is closed on the worker's
// thread before the thread ends. Returns the final result (0 or 1). Call on
// a thread with a QCoreApplication event loop available (the interface
// thread).
int RunWorker(WorkerParams& params, const std::function<void()>& worker, const WorkerRun& run);

// The usual body of a worker: runs body, then result := 1. When body throws:
// close the transport without any goodbye (a POP3 server then discards the
// deletions of this connection), post "Idle" when idleStatus is set, append
// the error line for accountName unless the user interrupted (operation
// status not osProceed) or the runner ended the worker for silence (the
// runner records that itself), result := 0. Never throws.
void RunWorkerBody(WorkerParams& params, Transport& transport, const QString& accountName,
                   StatusChannel* idleStatus, const std::function<void()>& body);

// Runs a POP3 worker for account on the transport with the silence limit
// limitSeconds; when the worker is ended for silence, the main window's
// clean-up runs: status Disconnecting, transport closed, status Idle, the
// "RemoteHostNoReply" line.
int RunPop3Worker(WorkerParams& params, Transport& transport, const MailAccount& account,
                  StatusChannel* status, int limitSeconds, const std::function<void()>& worker);

// Status texts of the main window's POP3 operations.
QString StatusIdle();
QString StatusDisconnecting(const QString& displayName);

} // namespace vm
