#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/SingleInstance.h"
#include "support/TestFiles.h"

using namespace vm;

namespace {

// Sets XDG_RUNTIME_DIR (nullopt: unsets it); env puts it back at the end.
void SetRuntimeDir(vm::test::ScopedEnv& env, const std::optional<QString>& dir)
{
    if (dir)
        env.Set(QFile::encodeName(*dir));
    else
        env.Unset();
}

unsigned ModeOf(const QString& path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? unsigned(st.st_mode & 07777)
                                                                  : 0u;
}

} // namespace

TEST(SingleInstance, OnePerDataDirectory)
{
    QTemporaryDir a, b;
    SingleInstance first(a.path());
    ASSERT_TRUE(first.TryAcquire());
    EXPECT_EQ(QFileInfo(first.LockFilePath()).path(), a.path());
    SingleInstance second(a.path());
    EXPECT_FALSE(second.TryAcquire());
    SingleInstance other(b.path());
    EXPECT_TRUE(other.TryAcquire());
}

// The first copy and a later start may see different runtime directories (a
// desktop session, cron, ssh): the lock in the data directory refuses the
// second all the same, and the second still wakes the first.
TEST(SingleInstance, RuntimeDirectoryDoesNotMatter)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir runtimeA, runtimeB;
    ASSERT_TRUE(runtimeA.isValid() && runtimeB.isValid());
    vm::test::ScopedEnv env("XDG_RUNTIME_DIR");
    struct Case
    {
        std::optional<QString> first, second;
    } const cases[] = {
        {runtimeA.path(), std::nullopt},    {std::nullopt, runtimeA.path()},
        {runtimeA.path(), runtimeB.path()}, {runtimeA.path(), runtimeA.path()},
        {std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first.value_or("unset").toStdString() + " then " +
                     c.second.value_or("unset").toStdString());
        QTemporaryDir dir;
        SetRuntimeDir(env, c.first);
        SingleInstance first(dir.path());
        ASSERT_TRUE(first.TryAcquire());
        int activations = 0;
        QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });
        SetRuntimeDir(env, c.second);
        SingleInstance second(dir.path());
        ASSERT_FALSE(second.TryAcquire());
        EXPECT_TRUE(second.NotifyRunningInstance());
        for (int i = 0; i < 250 && activations == 0; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(activations, 1);
    }
}

// The socket lives in a folder private to the user: a link or a folder of
// someone else is not used, an own folder open to others is closed, and a
// second start does not talk to a socket in a folder others can reach.
TEST(SingleInstance, SocketOnlyInAPrivateFolder)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir runtime, data;
    ASSERT_TRUE(runtime.isValid() && data.isValid());
    vm::test::ScopedEnv env("XDG_RUNTIME_DIR");
    SetRuntimeDir(env, runtime.path());
    const QString own = runtime.filePath("velmora");

    // A link planted in the runtime directory is not followed.
    const QString elsewhere = runtime.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkdir(elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, own));
    QString chosen = SingleInstance::SocketDirectory();
    EXPECT_NE(chosen.toStdString(), own.toStdString());
    EXPECT_TRUE(SingleInstance::IsPrivateDirectory(chosen));
    ASSERT_TRUE(QFile::remove(own));

    // Another user's folder is refused (only root can make one here).
    if (::getuid() == 0) {
        ASSERT_TRUE(QDir().mkdir(own));
        ASSERT_EQ(::chown(QFile::encodeName(own).constData(), 65534, 65534), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(own).constData(), 0700), 0);
        EXPECT_FALSE(SingleInstance::IsPrivateDirectory(own));
        EXPECT_NE(SingleInstance::SocketDirectory().toStdString(), own.toStdString());
        ASSERT_TRUE(QDir().rmdir(own));
    }

    // An own folder that others can enter is closed before use.
    ASSERT_TRUE(QDir().mkdir(own));
    ASSERT_EQ(::chmod(QFile::encodeName(own).constData(), 0755), 0);
    EXPECT_EQ(SingleInstance::SocketDirectory().toStdString(), own.toStdString());
    EXPECT_EQ(ModeOf(own), 0700u);

    // The socket name next to the lock is followed only into a private folder.
    SingleInstance first(data.path());
    ASSERT_TRUE(first.TryAcquire());
    EXPECT_EQ(QFileInfo(first.ServerName()).path().toStdString(), own.toStdString());
    SingleInstance second(data.path());
    EXPECT_TRUE(second.NotifyRunningInstance());
    const QString open = runtime.filePath("open");
    ASSERT_TRUE(QDir().mkdir(open));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0755), 0);
    QLocalServer stranger;
    const QString strangerName = QDir(open).filePath("s.sock");
    ASSERT_TRUE(stranger.listen(strangerName));
    vm::test::WriteFile(first.SocketNameFilePath(), QFile::encodeName(strangerName));
    EXPECT_FALSE(second.NotifyRunningInstance());
}

namespace {

QProcessEnvironment ProgramEnvironment(const std::optional<QString>& runtimeDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VELMORA_MESSAGE_ANSWER", "no"); // report on stderr instead of a modal box
    if (runtimeDir)
        env.insert("XDG_RUNTIME_DIR", *runtimeDir);
    else
        env.remove("XDG_RUNTIME_DIR");
    return env;
}

// Starts the window on dir and waits until it can be woken.
bool StartWindow(QProcess& window, const QString& exe, const QString& dir,
                 const std::optional<QString>& runtimeDir)
{
    window.setProcessEnvironment(ProgramEnvironment(runtimeDir));
    window.start(exe, {"--data-dir", dir});
    if (!window.waitForStarted())
        return false;
    const QString ready = SingleInstance(dir).SocketNameFilePath();
    for (int i = 0; i < 300 && !QFile::exists(ready); ++i)
        QThread::msleep(100);
    return QFile::exists(ready);
}

} // namespace

// The real program: a second start on the same data directory prints the
// message and exits with code 1 while the first keeps running.
TEST(SingleInstance, SecondProgramExitsWithOne)
{
    const QString exe = QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora");
    if (!QFile::exists(exe))
        GTEST_SKIP() << "program not built";
    QTemporaryDir dir;
    QProcess first;
    ASSERT_TRUE(StartWindow(first, exe, dir.path(), std::nullopt));

    QProcess second;
    second.setProcessEnvironment(ProgramEnvironment(std::nullopt));
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

// The real program: a command that writes mailbox files refuses while a
// window runs on the same data directory, whether or not the two see the
// same XDG_RUNTIME_DIR (a window of the desktop session, a command from
// cron or ssh).
TEST(SingleInstance, CommandRefusesWhileWindowRunsInAnyEnvironment)
{
    const QString exe = QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora");
    if (!QFile::exists(exe))
        GTEST_SKIP() << "program not built";
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    struct Case
    {
        std::optional<QString> window, command;
    } const cases[] = {{runtime.path(), std::nullopt}, {std::nullopt, runtime.path()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("window ") + (c.window ? "with" : "without") +
                     " XDG_RUNTIME_DIR, command " + (c.command ? "with" : "without"));
        QTemporaryDir dir;
        QProcess window;
        ASSERT_TRUE(StartWindow(window, exe, dir.path(), c.window));
        const QStringList before = QDir(dir.path()).entryList(QDir::Files);

        QProcess command;
        command.setProcessEnvironment(ProgramEnvironment(c.command));
        command.start(exe, {"--data-dir", dir.path(), "--check"});
        ASSERT_TRUE(command.waitForFinished(30000));
        EXPECT_EQ(command.exitCode(), 1);
        EXPECT_TRUE(QString::fromLocal8Bit(command.readAllStandardError())
                        .contains("a Velmora window is running on the data directory"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), before);
        EXPECT_EQ(window.state(), QProcess::Running);
        window.kill();
        window.waitForFinished();
    }
}
