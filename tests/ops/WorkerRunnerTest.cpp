// The worker runner against the scripted fake server: the silence limit,
// slow but steady servers, jumps of the wall clock, workers that complete as
// the limit fires, interrupts, the error list and the reporting.

#include "core/Messages.h"
#include "core/WallClockOverride.h"
#include "model/MailAccount.h"
#include "net/Transport.h"
#include "ops/ErrorList.h"
#include "ops/OperationReport.h"
#include "ops/StatusChannel.h"
#include "ops/WorkerRunner.h"
#include "support/FakeServer.h"
#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace vm;
using vm::test::FakeServer;

namespace {

class RecordingErrorWindow : public ErrorWindowService
{
public:
    void ShowErrors(const QString& h, const QStringList& l) override
    {
        header = h;
        lines = l;
        ++shown;
    }
    QString header;
    QStringList lines;
    int shown = 0;
};

class WorkerRunnerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::EnsureCoreApp();
        ClearErrorList();
        account.FriendlyName() = "Work";
        QObject::connect(&status, &StatusChannel::statusChanged, [this](const QString& text) {
            statusTexts.append(text);
            statusOnMainThread = statusOnMainThread && QThread::currentThread() == qApp->thread();
        });
    }

    // A worker that logs in to the fake server the way a POP3 operation does
    // and reads replies until the script ends.
    std::function<void()> ReadingWorker(GetMailParams& params, quint16 port, int replies)
    {
        return [this, &params, port, replies] {
            RunWorkerBody(params, transport, "Work", &status, [&] {
                status.Post("working");
                transport.Connect("127.0.0.1", port);
                for (int i = 0; i < replies; ++i)
                    transport.ReadReplyLine();
            });
        };
    }

    MailAccount account;
    Transport transport;
    StatusChannel status;
    QStringList statusTexts;
    bool statusOnMainThread = true;
};

TEST_F(WorkerRunnerTest, SilenceBeyondTheLimitEndsTheWorkerWithOneNoReplyLine)
{
    FakeServer s;
    s.SendLine("+OK hello").Stall(-1);
    s.Start();
    GetMailParams params;
    QElapsedTimer timer;
    timer.start();
    const int result =
        RunPop3Worker(params, transport, account, &status, 1, ReadingWorker(params, s.Port(), 2));
    EXPECT_EQ(result, kResultFailed);
    EXPECT_EQ(params.result.load(), kResultFailed);
    EXPECT_LT(timer.elapsed(), 10000);
    const QStringList errors = ErrorList();
    ASSERT_EQ(errors.size(), 1) << errors.join('\n').toStdString();
    EXPECT_EQ(errors[0], "Account: <Work> Exception class: ConnectTimedOut with message \"Remote "
                         "host had not replied for a predefined time; connection closed.\"");
    ASSERT_GE(statusTexts.size(), 2);
    EXPECT_EQ(statusTexts.last(), "Idle");
    EXPECT_EQ(statusTexts[statusTexts.size() - 2], "Disconnecting from server (account: Work)");
    EXPECT_TRUE(statusOnMainThread);
    ASSERT_TRUE(s.WaitDone());
    EXPECT_TRUE(s.ClientClosed());
}

TEST_F(WorkerRunnerTest, ServerThatDripsFasterThanTheLimitIsNeverCutOff)
{
    // 12 bytes, one every 250 ms: 3 s in all against a 1 s silence limit.
    FakeServer s;
    s.SendLine("+OK hello").Drip("+OK slowly\r\n", 250);
    s.Start();
    GetMailParams params;
    const int result =
        RunPop3Worker(params, transport, account, &status, 1, ReadingWorker(params, s.Port(), 2));
    EXPECT_EQ(result, kResultDone);
    EXPECT_TRUE(ErrorListEmpty()) << ErrorList().join('\n').toStdString();
}

TEST_F(WorkerRunnerTest, InterruptDuringStalledReadEndsWithoutErrorLine)
{
    FakeServer s;
    s.SendLine("+OK hello").Stall(-1);
    s.Start();
    GetMailParams params;
    QTimer::singleShot(300, [this] { transport.RequestInterrupt(); });
    QElapsedTimer timer;
    timer.start();
    const int result =
        RunPop3Worker(params, transport, account, &status, 60, ReadingWorker(params, s.Port(), 2));
    EXPECT_EQ(result, kResultFailed);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(ErrorListEmpty()) << ErrorList().join('\n').toStdString();
    EXPECT_EQ(transport.OperationStatus(), osCancelRaised);
    EXPECT_EQ(statusTexts.last(), "Idle");

    RecordingMessageService box;
    SetMessageService(&box);
    RecordingErrorWindow window;
    SetErrorWindow(&window);
    EXPECT_EQ(ReportOperation(OperationKind::MailCheck, true, true), ReportShown::Interrupted);
    SetMessageService(nullptr);
    SetErrorWindow(nullptr);
    ASSERT_EQ(box.shown.size(), 1);
    EXPECT_EQ(box.shown[0].text, "Aborted on demand.");
    EXPECT_EQ(window.shown, 0);
}

TEST_F(WorkerRunnerTest, WorkerErrorsBecomeOneLineEachAndAreReported)
{
    GetMailParams params;
    WorkerRun run;
    run.transport = &transport;
    const int result = RunWorker(
        params,
        [&] {
            RunWorkerBody(params, transport, "Work", nullptr, [] {
                throw ProtocolReplyError("-ERR first line\r\nsecond line\nthird  ");
            });
        },
        run);
    EXPECT_EQ(result, kResultFailed);
    // A worker that throws outside its body still ends with result 0.
    GetMailParams other;
    EXPECT_EQ(RunWorker(
                  other, [] { throw std::runtime_error("boom"); }, run),
              kResultFailed);
    // A worker that forgets to set its result counts as failed.
    GetMailParams silent;
    EXPECT_EQ(RunWorker(
                  silent, [] {}, run),
              kResultFailed);

    ASSERT_EQ(ErrorList().size(), 1);
    EXPECT_EQ(ErrorList()[0], "Account: <Work> Exception class: ProtocolReplyError with message "
                              "\"-ERR first line second line third\"");
    EXPECT_EQ(ErrorLine(account, std::runtime_error(" disk\r\nfull ")),
              "Account: <Work> Exception class: Exception with message \"disk full\"");

    RecordingErrorWindow window;
    SetErrorWindow(&window);
    EXPECT_EQ(ReportOperation(OperationKind::MessageRemoval, false, true), ReportShown::Errors);
    EXPECT_EQ(window.header, "A failure occured while trying to delete messages.\nOperation was "
                             "aborted. See report below:");
    EXPECT_EQ(window.lines, ErrorList());
    ClearErrorList();
    EXPECT_EQ(ReportOperation(OperationKind::MailCheck, false, true), ReportShown::Nothing);
    EXPECT_EQ(ReportOperation(OperationKind::MailCheck, false, false), ReportShown::Nothing);
    SetErrorWindow(nullptr);
}

// Texts a worker posted and the interface thread has not shown yet come
// before a text the interface thread posts afterwards (the clean-up's "Idle"
// must not be followed by a worker's older text), each exactly once.
TEST(StatusChannelOrder, WorkerTextsComeBeforeALaterTextOfTheOwnThread)
{
    test::EnsureCoreApp();
    StatusChannel status;
    QStringList shown;
    QObject::connect(&status, &StatusChannel::statusChanged,
                     [&](const QString& text) { shown.append(text); });
    QThread* worker = QThread::create([&] {
        status.Post(QStringLiteral("connecting"));
        status.Post(QStringLiteral("logging in"));
    });
    worker->start();
    worker->wait();
    delete worker;
    status.Post(QStringLiteral("idle"));
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.join(u'|').toStdString(), "connecting|logging in|idle");
    EXPECT_EQ(status.Last(), QStringLiteral("idle"));
}

TEST(SilenceLimit, IsStrictlyGreaterThan)
{
    const qint64 start = 123456789;
    EXPECT_FALSE(SilenceLimitExceeded(start, start + 60000, 60));
    EXPECT_TRUE(SilenceLimitExceeded(start, start + 60001, 60));
    EXPECT_TRUE(SilenceLimitExceeded(start, start + 61000, 60));
    EXPECT_FALSE(SilenceLimitExceeded(start, start + 30000, 60));
}

// A wall clock that runs with the real one, shifted by a number of hours
// that a worker changes in the middle of a run.
std::atomic<int> g_wallClockShiftHours{0};

TDateTime ShiftedWallClock()
{
    return ToDays(QDateTime::currentDateTime()) + g_wallClockShiftHours.load() / 24.0;
}

class WallClockJumpTest : public WorkerRunnerTest
{
protected:
    void SetUp() override
    {
        WorkerRunnerTest::SetUp();
        g_wallClockShiftHours = 0;
        SetWallClockForTesting(&ShiftedWallClock);
    }
    void TearDown() override { SetWallClockForTesting(nullptr); }

    // Reads the greeting, moves the wall clock by shiftHours (daylight
    // saving starts or ends), then reads the next reply.
    std::function<void()> JumpingWorker(GetMailParams& params, quint16 port, int shiftHours)
    {
        return [this, &params, port, shiftHours] {
            RunWorkerBody(params, transport, "Work", &status, [&] {
                transport.Connect("127.0.0.1", port);
                transport.ReadReplyLine();
                g_wallClockShiftHours = shiftHours;
                transport.ReadReplyLine();
            });
        };
    }
};

TEST_F(WallClockJumpTest, JumpForwardDoesNotEndASteadyWorker)
{
    // Daylight saving starts while the server takes 0.5 s over a reply,
    // well within the limit of 3 s.
    FakeServer s;
    s.SendLine("+OK hello").Stall(500).SendLine("+OK later");
    s.Start();
    GetMailParams params;
    const int result =
        RunPop3Worker(params, transport, account, &status, 3, JumpingWorker(params, s.Port(), 1));
    EXPECT_EQ(result, kResultDone);
    EXPECT_TRUE(ErrorListEmpty()) << ErrorList().join('\n').toStdString();
}

TEST_F(WallClockJumpTest, JumpBackDoesNotDisableTheLimit)
{
    // Daylight saving ends just after the greeting; the silent server must
    // still be cut off after its second, not an hour later.
    FakeServer s;
    s.SendLine("+OK hello").Stall(-1);
    s.Start();
    GetMailParams params;
    // Ends the test, failed, should the limit never fire.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [this] { transport.RequestInterrupt(); });
    guard.start(20000);
    const int result =
        RunPop3Worker(params, transport, account, &status, 1, JumpingWorker(params, s.Port(), -1));
    EXPECT_EQ(result, kResultFailed);
    EXPECT_EQ(transport.OperationStatus(), osProceed);
    const QStringList errors = ErrorList();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("Remote host had not replied")) << errors[0].toStdString();
}

TEST_F(WorkerRunnerTest, WorkerThatCompletedAsTheLimitFiredKeepsItsResult)
{
    // The server's last answer arrives, then nothing more: the worker has
    // all it needs but is still winding up when the limit ends the silence.
    // What it did has happened: it must not be reported as failed (the user
    // would repeat it, e.g. send a message twice).
    FakeServer s;
    s.SendLine("+OK accepted").Stall(-1);
    s.Start();
    GetMailParams params;
    const int result = RunPop3Worker(params, transport, account, &status, 1, [&] {
        RunWorkerBody(params, transport, "Work", &status, [&] {
            transport.Connect("127.0.0.1", s.Port());
            EXPECT_EQ(transport.ReadReplyLine(), "+OK accepted");
            QElapsedTimer wait;
            wait.start();
            while (!transport.Aborted() && wait.elapsed() < 20000)
                QThread::msleep(10);
            EXPECT_TRUE(transport.Aborted());
        });
    });
    EXPECT_EQ(result, kResultDone);
    EXPECT_EQ(params.result.load(), kResultDone);
    EXPECT_TRUE(ErrorListEmpty()) << ErrorList().join('\n').toStdString();
    EXPECT_FALSE(statusTexts.contains("Disconnecting from server (account: Work)"));
}

TEST_F(WorkerRunnerTest, WorkerThreadHasEndedWhenTheRunnerReturns)
{
    // What a thread does last, after its function (thread-local destructors:
    // OpenSSL's and Qt's per-thread state, the C library's arena), must be
    // over when the runner returns; otherwise a program returning from main
    // races it with its global destructors.
    static std::atomic<bool> ended{false};
    struct SlowThreadEnd
    {
        ~SlowThreadEnd()
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ended.store(true);
        }
    };
    ended.store(false);
    GetMailParams params;
    WorkerRun run;
    run.transport = &transport;
    const int result = RunWorker(
        params,
        [&] {
            thread_local SlowThreadEnd atThreadEnd;
            (void)atThreadEnd;
            params.result.store(kResultDone);
        },
        run);
    EXPECT_EQ(result, kResultDone);
    EXPECT_TRUE(ended.load());
}

} // namespace
