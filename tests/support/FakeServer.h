#pragma once
// A scripted fake server for protocol tests. It listens on a free loopback
// port, accepts one connection and plays a script of steps: send text,
// expect a client line, stall, drip bytes slowly, stream without end, drop
// the connection.
// Everything the client sent is recorded; a line that differs from what the
// script expects is recorded as a mismatch (and the script goes on), and so
// are a line the script waited for and never got and a line sent after the
// script was played to its end. When the server is
// destroyed, its mismatches fail the running test, unless the test declared
// with AllowMismatches() that it expects some and reads them itself.
//
//   FakeServer s;
//   s.SendLine("+OK ready").Expect("CAPA").SendLine("-ERR no").Expect("USER bob")...;
//   s.Start();
//   ... client connects to 127.0.0.1:s.Port() ...
//   ASSERT_TRUE(s.WaitDone());

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>

#include "support/LoopbackServer.h"

namespace vm::test {

class FakeServer : public LoopbackServer
{
public:
    FakeServer() = default;
    ~FakeServer() override;

    // --- Script steps, played in order ---------------------------------------
    FakeServer& Send(const QByteArray& bytes);
    FakeServer& SendLine(const QByteArray& line); // adds CR LF
    // Reads one client line (without CR LF) and compares it.
    FakeServer& Expect(const QByteArray& line);
    FakeServer& ExpectPrefix(const QByteArray& prefix);
    // Reads one client line whatever it is.
    FakeServer& ExpectAny();
    // Stays silent for ms milliseconds; -1 = until the client closes.
    FakeServer& Stall(int ms);
    // Sends the bytes one at a time, intervalMs apart.
    FakeServer& Drip(const QByteArray& bytes, int intervalMs);
    // Sends the bytes over and over, as fast as the client reads, until the
    // client closes the connection; Streamed() tells how much went out.
    // After cap bytes (a guard for a client that never stops reading) it
    // falls silent instead, until the client closes.
    FakeServer& Endless(const QByteArray& bytes, qint64 cap = qint64(256) << 20);
    // Closes the connection at once.
    FakeServer& Drop();
    // Waits until the client closes the connection; every line it sends
    // meanwhile is a mismatch ("unexpected"), and so is still being open
    // after ms milliseconds.
    FakeServer& ExpectClose(int ms = 15000);
    // Runs arbitrary code on the server thread (e.g. to signal a test).
    FakeServer& Call(std::function<void()> fn);

    // --- POP3 steps ------------------------------------------------------------
    // The greeting, CAPA and the USER/PASS login. CAPA is refused unless
    // capabilities are given (e.g. {"UIDL", "PIPELINING", "USER"}).
    FakeServer& Pop3Login(const QByteArray& user = "bob", const QByteArray& password = "secret",
                          const QList<QByteArray>& capabilities = {});
    // Expects UIDL and lists the ids, numbered from 1 in this order.
    FakeServer& Pop3Uidl(const QList<QByteArray>& ids);

    // Start() runs the script on a thread of its own; WaitDone() waits until
    // it has finished (and the client closed, when the script ends with a
    // read).

    // Lines the client sent, in order.
    QList<QByteArray> Received() const;
    QStringList Mismatches() const;
    // The test expects the client to stray from the script: the mismatches
    // are left to the test instead of failing it when the server goes.
    FakeServer& AllowMismatches()
    {
        mismatchesAllowed_ = true;
        return *this;
    }
    qint64 Streamed() const { return streamed_.load(); }

private:
    struct Step
    {
        enum Kind {
            Send,
            Expect,
            ExpectPrefix,
            ExpectAny,
            Stall,
            Drip,
            Endless,
            Drop,
            ExpectClose,
            Call
        };
        Kind kind = Send;
        QByteArray data;
        int ms = 0;
        qint64 cap = 0;
        std::function<void()> fn;
    };
    void AddStep(int kind, const QByteArray& data, int ms = 0);
    void Run() override;
    bool ReadLine(QByteArray& line, int timeoutMs);
    void Mismatch(const QString& text);

    QList<Step> steps_;
    // A standard mutex, so that ThreadSanitizer sees the hand-over.
    mutable std::mutex mutex_;
    QList<QByteArray> received_;
    QStringList mismatches_;
    std::atomic<qint64> streamed_{0};
    bool mismatchesAllowed_ = false;
};

} // namespace vm::test
