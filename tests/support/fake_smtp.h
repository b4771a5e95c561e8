#pragma once
// A scripted fake SMTP server for fault tests. It listens on a free loopback
// port, serves one connection on a thread of its own and speaks just enough
// SMTP to be steered: EHLO refused (HELO only), chosen capabilities (no
// STARTTLS, PIPELINING, AUTH mechanisms), a reply of choice for any command
// (4xx/5xx at every step), a stall before the greeting or after any command,
// replies of a command batch held back and sent together, and a multi-line
// reply that never ends.
//
//   FakeSmtpServer::Config c;
//   c.replyFor["RCPT"] = "550 5.1.1 No such user";
//   FakeSmtpServer s(c);  s.Start();  ... client to 127.0.0.1:s.Port() ...

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>

#include <atomic>

#include "support/LoopbackServer.h"

namespace vm::test {

struct FakeSmtpConfig
{
    QByteArray greeting = "220 fake.example ESMTP ready";
    // Silence before the greeting; -1: never greet (until the client leaves).
    int greetingDelayMs = 0;
    // false: EHLO is answered 502 and only HELO works.
    bool ehlo = true;
    QList<QByteArray> capabilities = {"PIPELINING", "AUTH LOGIN PLAIN", "8BITMIME"};
    // Reply for a command word ("EHLO", "HELO", "STARTTLS", "AUTH", "RSET",
    // "MAIL", "RCPT", "DATA", "QUIT", and "." for the end of the data);
    // lines separated by CR LF. Replaces the normal answer.
    QHash<QByteArray, QByteArray> replyFor;
    // Reply for the n-th RCPT (0-based), before replyFor["RCPT"].
    QHash<int, QByteArray> rcptReply;
    // After this command word arrives the server never answers again.
    QByteArray stallAfter;
    // Replies to RSET, MAIL, RCPT and DATA are held until DATA arrives and
    // then written at once (a client that waits for each reply hangs).
    bool batchReplies = false;
    // The final reply is sent one byte every dripMs milliseconds.
    int dripFinalReplyMs = 0;
    // The reply to this command word is a multi-line reply that never ends
    // ("250-" lines of endlessLineLength bytes; after 64 MiB the server only
    // waits for the client to leave).
    QByteArray endlessReplyTo;
    int endlessLineLength = 40;
    // Credentials for AUTH; empty user: any login is accepted.
    QByteArray user;
    QByteArray password;
};

class FakeSmtpServer : public LoopbackServer
{
public:
    using Config = FakeSmtpConfig;

    explicit FakeSmtpServer(const Config& config = Config());
    ~FakeSmtpServer() override;

    // WaitDone() is true when the session ended (client closed or QUIT
    // answered) in time.

    // Command lines the client sent (outside the message data), in order.
    QList<QByteArray> Commands() const;
    // The message data, transparency dots removed, lines ending in CR LF.
    QByteArray Data() const;
    bool DataCompleted() const { return dataCompleted_.load(); }

private:
    void Run() override;
    void Session();
    bool ReadLine(QByteArray& line);
    bool Reply(const QByteArray& reply);
    void WaitForClose();
    void SendEndlessReply();
    QByteArray ReplyFor(const QByteArray& word, const QByteArray& normal) const;

    Config config_;
    QByteArray held_;
    std::atomic<bool> dataCompleted_{false};
    mutable QMutex mutex_;
    QList<QByteArray> commands_;
    QByteArray data_;
};

} // namespace vm::test
