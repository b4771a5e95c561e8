#pragma once
// Runs tests/support/smtp_sink.py (aiosmtpd) for one test and reads back the
// messages it stored.

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace vmtest {

class SmtpSink
{
public:
    // extraArgs: further options of smtp_sink.py (--cert, --user, ...).
    explicit SmtpSink(const QStringList& extraArgs = {});
    ~SmtpSink();
    bool Ok() const { return port_ != 0; }
    quint16 Port() const { return port_; }
    QString Error() const { return error_; }
    // Number of messages stored so far.
    int Count() const;
    // Message n (1-based) as received, and its envelope.
    QByteArray Message(int n) const;
    QJsonObject Envelope(int n) const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};

} // namespace vmtest
