#include "ops/WorkerRunner.h"

#include "model/MailAccount.h"
#include "net/Transport.h"
#include "ops/ErrorList.h"
#include "ops/StatusChannel.h"

#include <QEventLoop>
#include <QTimer>

#include <system_error>
#include <thread>

namespace vm {

bool SilenceLimitExceeded(qint64 lastActivityMs, qint64 nowMs, int limitSeconds)
{
    return nowMs - lastActivityMs > qint64(limitSeconds) * 1000;
}

int RunWorker(WorkerParams& params, const std::function<void()>& worker, const WorkerRun& run)
{
    Transport* transport = run.transport;
    params.result.store(kResultRunning);
    transport->StampActivity();

    QEventLoop loop;
    // Set by the worker's last act; the loop's own wake-up is queued to it.
    std::atomic<bool> ended{false};
    bool silenced = false;
    const auto body = [&params, &worker, transport, &ended, &loop] {
        try {
            worker();
        } catch (...) {
            int running = kResultRunning;
            params.result.compare_exchange_strong(running, kResultFailed);
        }
        // The socket belongs to this thread: close it here.
        transport->Close();
        ended.store(true);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    };
    // A std::thread, joined below: QThread::wait() returns before the
    // thread has really ended (Qt's threads are detached), while it still
    // runs its thread-local destructors - OpenSSL's and Qt's per-thread
    // state, the C library's malloc arena. A program that returns from main
    // then races its global destructors against that exit and may corrupt
    // the heap. join() waits until the thread is gone.
    std::thread thread;
    try {
        thread = std::thread(body);
    } catch (const std::system_error&) {
        body(); // no thread to be had: run here, without the silence limit
    }
    QTimer tick;
    tick.setInterval(std::max(10, run.tickMs));
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (silenced) {
            // Repeated until the worker has ended, so an abort that came
            // just before the worker opened its connection still reaches it.
            transport->Abort();
            return;
        }
        if (run.silenceLimitSeconds <= 0 || params.result.load() != kResultRunning)
            return;
        if (SilenceLimitExceeded(transport->LastActivityMs(), Transport::MonotonicMs(),
                                 run.silenceLimitSeconds)) {
            silenced = true;
            transport->Abort();
        }
    });
    tick.start();
    if (!ended.load())
        loop.exec();
    tick.stop();
    if (thread.joinable())
        thread.join();

    // A worker that completed while the abort was on its way keeps its
    // result: what it did (a message the server accepted, a mailbox written)
    // has happened, and reporting it as failed would have the user repeat it.
    if (silenced && params.result.load() != kResultDone) {
        params.result.store(kResultFailed);
        if (run.onSilence)
            run.onSilence();
    } else if (params.result.load() == kResultRunning) {
        params.result.store(kResultFailed);
    }
    return params.result.load();
}

void RunWorkerBody(WorkerParams& params, Transport& transport, const QString& accountName,
                   StatusChannel* idleStatus, const std::function<void()>& body)
{
    QString className;
    QString message;
    bool failed = false;
    try {
        body();
        params.result.store(kResultDone);
        return;
    } catch (const std::exception& e) {
        failed = true;
        className = ErrorClassName(e);
        message = ErrorMessage(e);
    } catch (...) {
        failed = true;
        className = QStringLiteral("Exception");
        message = QStringLiteral("Unknown error.");
    }
    if (failed) {
        try {
            transport.Close();
        } catch (...) {
        }
        if (idleStatus)
            idleStatus->Post(StatusIdle());
        if (transport.OperationStatus() == osProceed && !transport.Aborted())
            AppendErrorLine(ErrorLine(accountName, className, message));
        params.result.store(kResultFailed);
    }
}

int RunPop3Worker(WorkerParams& params, Transport& transport, const MailAccount& account,
                  StatusChannel* status, int limitSeconds, const std::function<void()>& worker)
{
    const QString name = QString::fromUtf8(account.DisplayName());
    WorkerRun run;
    run.transport = &transport;
    run.silenceLimitSeconds = limitSeconds;
    run.onSilence = [&] {
        // A failure of these steps must not stop the clean-up.
        try {
            if (status)
                status->Post(StatusDisconnecting(name));
            transport.Close();
            if (status)
                status->Post(StatusIdle());
        } catch (...) {
        }
        AppendNoReplyError(name);
    };
    return RunWorker(params, worker, run);
}

QString StatusIdle()
{
    return TextOr("MAINWND", "Idle", "Idle");
}

QString StatusDisconnecting(const QString& displayName)
{
    return TextOr("MAINWND", "Disconnecting", "Disconnecting from server (account: %s)",
                  {displayName});
}

} // namespace vm
