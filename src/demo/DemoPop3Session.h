#pragma once
// One POP3 connection of the demo server: USER/PASS and APOP, CAPA, STAT,
// LIST, UIDL, TOP, RETR, DELE, RSET, NOOP, QUIT (RFC 1939, RFC 2449).
// The session works on the maildrop as it was at login; messages marked
// with DELE leave the store at QUIT.

#include <QSet>

#include "demo/DemoMailStore.h"
#include "demo/DemoSession.h"

namespace vm {

class DemoPop3Session : public DemoSession
{
public:
    // Commands are short; RFC 2449 allows 255 bytes.
    static constexpr int kMaxLineLength = 1024;
    static constexpr int kMaxFailedLogins = 3;

    DemoPop3Session(qintptr descriptor, const DemoServerContext& context, bool implicitTls,
                    QObject* parent);

protected:
    void Greet() override;
    void HandleLine(const QByteArray& line) override;
    void HandleOverlongLine() override;

private:
    void Authorization(const QByteArray& verb, const QByteArray& arg);
    void Transaction(const QByteArray& verb, const QByteArray& arg);
    void LoggedIn(const QByteArray& login);
    void LoginFailed();
    // The message for a number argument, or null after an -ERR was sent.
    const DemoMessage* MessageFor(const QByteArray& arg);
    void SendMultiline(const QByteArray& text);

    QByteArray timestamp_;
    QByteArray user_;
    QByteArray login_;
    QList<DemoMessage> messages_;
    QSet<int> deleted_; // 0-based indexes
    int failedLogins_ = 0;
};

} // namespace vm
