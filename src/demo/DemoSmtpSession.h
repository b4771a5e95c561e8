#pragma once
// One SMTP connection of the demo server: EHLO/HELO, STARTTLS, AUTH PLAIN
// and LOGIN, MAIL, RCPT, DATA (with dot-unstuffing), RSET, NOOP, QUIT,
// replies in order to pipelined commands (RFC 5321, 3207, 4954, 2920).
// Mail needs a login. It is delivered to the maildrop of each recipient
// that is a demo address; the first demo login takes the rest, so nothing
// sent in the demo leaves the machine.

#include <QSet>

#include "demo/DemoSession.h"

namespace vm {

class DemoSmtpSession : public DemoSession
{
public:
    // RFC 5321 allows 512 bytes for a command and 1000 for a text line;
    // a generous bound that still holds a long AUTH line.
    static constexpr int kMaxLineLength = 16 * 1024;
    static constexpr qint64 kMaxMessageSize = 32 << 20;
    static constexpr int kMaxRecipients = 100;
    static constexpr int kMaxFailedLogins = 3;

    DemoSmtpSession(qintptr descriptor, const DemoServerContext& context, QObject* parent);

protected:
    void Greet() override;
    void HandleLine(const QByteArray& line) override;
    void HandleOverlongLine() override;

private:
    enum class State { Command, AuthPlain, AuthLoginUser, AuthLoginPassword, Data };
    void Command(const QByteArray& verb, const QByteArray& arg);
    void Auth(const QByteArray& arg);
    void CheckLogin(const QByteArray& login, const QByteArray& password);
    void DataLine(const QByteArray& line);
    void ResetTransaction();
    // The address inside "<...>" after FROM:/TO:, lower case; false when
    // the argument is malformed.
    static bool PathArgument(const QByteArray& arg, const QByteArray& keyword, QByteArray& address);

    State state_ = State::Command;
    bool greeted_ = false;
    QByteArray authUser_;
    QByteArray login_;
    int failedLogins_ = 0;
    bool haveSender_ = false;
    QByteArray sender_;
    QList<QByteArray> recipientLogins_;
    int recipientCount_ = 0;
    QByteArray data_;
    bool dataTooLarge_ = false;
};

} // namespace vm
