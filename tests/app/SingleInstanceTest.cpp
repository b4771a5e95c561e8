#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "platform/SingleInstance.h"

using namespace vm;

TEST(SingleInstance, OnePerDataDirectory)
{
    QTemporaryDir a, b;
    SingleInstance first(a.path());
    ASSERT_TRUE(first.TryAcquire());
    SingleInstance second(a.path());
    EXPECT_FALSE(second.TryAcquire());
    SingleInstance other(b.path());
    EXPECT_TRUE(other.TryAcquire());
}

TEST(SingleInstance, SecondStartWakesTheFirst)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    ASSERT_TRUE(first.TryAcquire());
    int activations = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });
    SingleInstance second(dir.path());
    ASSERT_FALSE(second.TryAcquire());
    EXPECT_TRUE(second.NotifyRunningInstance());
    for (int i = 0; i < 50 && activations == 0; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(activations, 1);
}

// The real program: a second start on the same data directory prints the
// message and exits with code 1 while the first keeps running.
TEST(SingleInstance, SecondProgramExitsWithOne)
{
    const QString exe = QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora");
    if (!QFile::exists(exe))
        GTEST_SKIP() << "program not built";
    QTemporaryDir dir;
    QProcess first;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VELMORA_MESSAGE_ANSWER", "no"); // report on stderr instead of a modal box
    first.setProcessEnvironment(env);
    first.start(exe, {"--data-dir", dir.path()});
    ASSERT_TRUE(first.waitForStarted());
    // Wait until the first copy holds its lock.
    const QString lock = SingleInstance(dir.path()).LockFilePath();
    for (int i = 0; i < 100 && !QFile::exists(lock); ++i)
        QThread::msleep(100);
    ASSERT_TRUE(QFile::exists(lock));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(exe, {"--data-dir", dir.path()});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(second.readAllStandardError())
                    .contains("One instance of Velmora is already running and you cannot run "
                              "another at the same time."));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}
