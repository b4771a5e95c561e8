#include "support/FakeServer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vm::test {

namespace {
constexpr int kExpectTimeoutMs = 15000;
} // namespace

FakeServer::~FakeServer()
{
    Stop();
    // Every test is held to its script: a client line the script did not
    // expect, or one it never sent, fails the test that ran the server.
    if (!mismatchesAllowed_ && !mismatches_.isEmpty())
        ADD_FAILURE() << "the fake server on port " << Port()
                      << " saw the client stray from its script:\n"
                      << mismatches_.join('\n').toStdString();
}

void FakeServer::AddStep(int kind, const QByteArray& data, int ms)
{
    Step s;
    s.kind = Step::Kind(kind);
    s.data = data;
    s.ms = ms;
    steps_.append(s);
}

FakeServer& FakeServer::Send(const QByteArray& bytes)
{
    AddStep(Step::Send, bytes);
    return *this;
}
FakeServer& FakeServer::SendLine(const QByteArray& line)
{
    return Send(line + "\r\n");
}
FakeServer& FakeServer::Expect(const QByteArray& line)
{
    AddStep(Step::Expect, line);
    return *this;
}
FakeServer& FakeServer::ExpectPrefix(const QByteArray& prefix)
{
    AddStep(Step::ExpectPrefix, prefix);
    return *this;
}
FakeServer& FakeServer::ExpectAny()
{
    AddStep(Step::ExpectAny, {});
    return *this;
}
FakeServer& FakeServer::Stall(int ms)
{
    AddStep(Step::Stall, {}, ms);
    return *this;
}
FakeServer& FakeServer::Drip(const QByteArray& bytes, int intervalMs)
{
    AddStep(Step::Drip, bytes, intervalMs);
    return *this;
}
FakeServer& FakeServer::Endless(const QByteArray& bytes, qint64 cap)
{
    AddStep(Step::Endless, bytes);
    steps_.last().cap = cap;
    return *this;
}
FakeServer& FakeServer::Drop()
{
    AddStep(Step::Drop, {});
    return *this;
}
FakeServer& FakeServer::ExpectClose(int ms)
{
    AddStep(Step::ExpectClose, {}, ms);
    return *this;
}
FakeServer& FakeServer::Call(std::function<void()> fn)
{
    AddStep(Step::Call, {});
    steps_.last().fn = std::move(fn);
    return *this;
}

FakeServer& FakeServer::Pop3Login(const QByteArray& user, const QByteArray& password,
                                  const QList<QByteArray>& capabilities)
{
    SendLine("+OK ready").Expect("CAPA");
    if (capabilities.isEmpty()) {
        SendLine("-ERR no");
    } else {
        SendLine("+OK");
        for (const QByteArray& c : capabilities)
            SendLine(c);
        SendLine(".");
    }
    Expect("USER " + user);
    return SendLine("+OK").Expect("PASS " + password).SendLine("+OK logged in");
}

FakeServer& FakeServer::Pop3Uidl(const QList<QByteArray>& ids)
{
    Expect("UIDL").SendLine("+OK");
    for (int i = 0; i < ids.size(); ++i)
        SendLine(QByteArray::number(i + 1) + ' ' + ids[i]);
    return SendLine(".");
}

// The lists are handed out as deep copies: a shared copy would let the
// server thread's next append reuse a block whose last reference the caller
// drops without the lock.
QList<QByteArray> FakeServer::Received() const
{
    std::lock_guard lock(mutex_);
    QList<QByteArray> copy;
    for (const QByteArray& line : received_)
        copy.append(QByteArray(line.constData(), line.size()));
    return copy;
}

QStringList FakeServer::Mismatches() const
{
    std::lock_guard lock(mutex_);
    QStringList copy;
    for (const QString& text : mismatches_)
        copy.append(QString(text.constData(), text.size()));
    return copy;
}

void FakeServer::Mismatch(const QString& text)
{
    std::lock_guard lock(mutex_);
    mismatches_.append(text);
}

bool FakeServer::ReadLine(QByteArray& line, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (TakeLine(line)) {
            std::lock_guard lock(mutex_);
            received_.append(line);
            return true;
        }
        if (stop_.load() || clientClosed_.load() || (timeoutMs >= 0 && t.elapsed() > timeoutMs))
            return false;
        ReceiveSlice();
    }
}

void FakeServer::Run()
{
    bool open = AcceptClient();
    for (qsizetype at = 0; at < steps_.size(); ++at) {
        const Step& step = steps_[at];
        if (stop_.load() || !open) {
            // The rest of the script never ran: a line it still waits for
            // was never sent.
            for (; at < steps_.size(); ++at)
                if (steps_[at].kind == Step::Expect || steps_[at].kind == Step::ExpectPrefix) {
                    Mismatch(QStringLiteral("expected \"%1\", but the session had ended")
                                 .arg(QString::fromLatin1(steps_[at].data)));
                    break;
                }
            break;
        }
        QByteArray line;
        switch (step.kind) {
        case Step::Send:
            if (!SendAll(step.data))
                Mismatch(QStringLiteral("could not send %1")
                             .arg(QString::fromLatin1(step.data.left(40))));
            break;
        case Step::Expect:
        case Step::ExpectPrefix:
        case Step::ExpectAny:
            if (!ReadLine(line, kExpectTimeoutMs)) {
                if (step.kind != Step::ExpectAny)
                    Mismatch(QStringLiteral("expected \"%1\", got nothing")
                                 .arg(QString::fromLatin1(step.data)));
                open = false;
                break;
            }
            if ((step.kind == Step::Expect && line != step.data) ||
                (step.kind == Step::ExpectPrefix && !line.startsWith(step.data)))
                Mismatch(QStringLiteral("expected \"%1\", got \"%2\"")
                             .arg(QString::fromLatin1(step.data), QString::fromLatin1(line)));
            break;
        case Step::Stall: {
            QElapsedTimer t;
            t.start();
            while (!stop_.load() && !clientClosed_.load() && (step.ms < 0 || t.elapsed() < step.ms))
                ReceiveSlice();
            break;
        }
        case Step::Drip:
            for (char c : step.data) {
                if (stop_.load() || !SendAll(QByteArray(1, c)))
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
            }
            break;
        case Step::Endless: {
            // Many copies per send, so the stream is as fast as the client;
            // a send cut short goes on where it stopped.
            QByteArray chunk;
            while (chunk.size() < 65536)
                chunk += step.data;
            qsizetype at = 0;
            while (!stop_.load()) {
                if (streamed_.load() >= step.cap) {
                    while (!stop_.load() && ReceiveSlice()) {
                    }
                    break;
                }
                pollfd p{clientFd_, POLLOUT, 0};
                if (::poll(&p, 1, kSliceMs) <= 0)
                    continue;
                const ssize_t n = ::send(clientFd_, chunk.constData() + at, size_t(chunk.size() - at),
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                    clientClosed_.store(true);
                    break;
                }
                if (n > 0) {
                    streamed_ += n;
                    at = (at + n) % chunk.size();
                }
            }
            open = false;
            break;
        }
        case Step::Drop:
            ::shutdown(clientFd_, SHUT_RDWR);
            ::close(clientFd_);
            clientFd_ = -1;
            open = false;
            break;
        case Step::ExpectClose: {
            QElapsedTimer t;
            t.start();
            while (!stop_.load() && t.elapsed() < step.ms) {
                if (ReadLine(line, kSliceMs))
                    Mismatch(QStringLiteral("unexpected \"%1\" where the client was to close")
                                 .arg(QString::fromLatin1(line)));
                else if (clientClosed_.load())
                    break;
            }
            if (!clientClosed_.load() && !stop_.load())
                Mismatch(QStringLiteral("the client did not close the connection"));
            open = false;
            break;
        }
        case Step::Call:
            step.fn();
            break;
        }
    }
    // Note whether the client goes away after the script (QUIT handling);
    // a line it sends after a script played to its end was not expected.
    if (clientFd_ >= 0) {
        const bool played = open && !stop_.load();
        QByteArray line;
        QElapsedTimer t;
        t.start();
        while (!stop_.load() && !clientClosed_.load() && t.elapsed() < 2000) {
            if (ReadLine(line, 100) && played)
                Mismatch(QStringLiteral("unexpected \"%1\" after the end of the script")
                             .arg(QString::fromLatin1(line)));
        }
    }
    MarkDone();
}

} // namespace vm::test
