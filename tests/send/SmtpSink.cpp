#include "SmtpSink.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace vmtest {

SmtpSink::SmtpSink(const QStringList& extraArgs)
{
    QStringList args = {QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/smtp_sink.py"),
                        QStringLiteral("--dir"), dir_.path()};
    args += extraArgs;
    // The system interpreter: it has the aiosmtpd package.
    process_.start(QStringLiteral("/usr/bin/python3"), args);
    if (!process_.waitForStarted(10000)) {
        error_ = process_.errorString();
        return;
    }
    QByteArray out;
    while (!out.contains('\n')) {
        if (!process_.waitForReadyRead(15000)) {
            error_ = QString::fromLocal8Bit(process_.readAllStandardError());
            return;
        }
        out += process_.readAllStandardOutput();
    }
    const QByteArray line = out.left(out.indexOf('\n')).trimmed();
    if (line.startsWith("READY "))
        port_ = quint16(line.mid(6).toUInt());
    else
        error_ = QString::fromLocal8Bit(line + process_.readAllStandardError());
}

SmtpSink::~SmtpSink()
{
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

int SmtpSink::Count() const
{
    return int(QDir(dir_.path()).entryList({QStringLiteral("*.eml")}, QDir::Files).size());
}

QByteArray SmtpSink::Message(int n) const
{
    QFile f(dir_.filePath(QStringLiteral("msg-%1.eml").arg(n)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject SmtpSink::Envelope(int n) const
{
    QFile f(dir_.filePath(QStringLiteral("msg-%1.json").arg(n)));
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object()
                                       : QJsonObject();
}

} // namespace vmtest
