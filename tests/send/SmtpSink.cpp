#include "SmtpSink.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include "support/PythonServer.h"

namespace vmtest {

SmtpSink::SmtpSink(const QStringList& extraArgs)
{
    QStringList args = {QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/smtp_sink.py"),
                        QStringLiteral("--dir"), dir_.path()};
    args += extraArgs;
    port_ = StartPythonServer(process_, args, error_);
}

SmtpSink::~SmtpSink()
{
    StopPythonServer(process_);
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
