#pragma once
// Starting and stopping the Python test servers (smtp_sink.py,
// update_server.py): each prints "READY <port>" once it listens and ends when
// its standard input closes.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace vmtest {

// Starts the system interpreter (it has aiosmtpd) with args and waits for
// the ready line. Returns the port, or 0 with error set.
inline quint16 StartPythonServer(QProcess& process, const QStringList& args, QString& error)
{
    process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!process.waitForStarted(10000)) {
        error = process.errorString();
        return 0;
    }
    QByteArray out;
    while (!out.contains('\n')) {
        if (!process.waitForReadyRead(15000)) {
            error = QString::fromLocal8Bit(process.readAllStandardError());
            return 0;
        }
        out += process.readAllStandardOutput();
    }
    const QByteArray line = out.left(out.indexOf('\n')).trimmed();
    if (line.startsWith("READY "))
        return quint16(line.mid(6).toUInt());
    error = QString::fromLocal8Bit(line + process.readAllStandardError());
    return 0;
}

// Closes its input and waits for it to end; kills it when it does not.
inline void StopPythonServer(QProcess& process)
{
    process.closeWriteChannel();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

} // namespace vmtest
