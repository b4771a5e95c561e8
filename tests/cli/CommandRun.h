#pragma once
// Runs the built program as a command of its own, the way a script does:
// "--data-dir DIR" first, no display (DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM removed), the given bytes on standard input, and collects
// the exit code and what it wrote.

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <ostream>

namespace vm::test {

struct CommandResult
{
    // The exit code; -1 for a crash, kNotStarted or kTimedOut.
    int code = -1;
    QString out;
    QString err;
    QByteArray outBytes; // standard output as written
};

constexpr int kNotStarted = -2;
constexpr int kTimedOut = -3; // the process was killed after two minutes

inline void PrintTo(const CommandResult& r, std::ostream* os)
{
    *os << "exit " << r.code << "\nstdout: " << r.out.toStdString()
        << "\nstderr: " << r.err.toStdString();
}

// The test program's QCoreApplication (the fixtures' processes and sockets
// need one), made on the first call.
inline void EnsureCoreApplication()
{
    static int argc = 1;
    static char name[] = "velmora_cli_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

inline QString ProgramPath()
{
    return QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora");
}

inline CommandResult RunCommand(const QString& dataDir, const QStringList& args,
                                const QByteArray& input = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(ProgramPath(), QStringList{"--data-dir", dataDir} + args);
    CommandResult r;
    if (!p.waitForStarted(10000)) {
        r.code = kNotStarted;
        return r;
    }
    p.write(input);
    p.closeWriteChannel();
    const bool finished = p.waitForFinished(120000);
    if (!finished) {
        p.kill();
        p.waitForFinished();
    }
    r.code = !finished ? kTimedOut : p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.outBytes = p.readAllStandardOutput();
    r.out = QString::fromUtf8(r.outBytes);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace vm::test
