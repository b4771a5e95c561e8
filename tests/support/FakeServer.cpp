#include "support/FakeServer.h"

#include <QElapsedTimer>
#include <QMutexLocker>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vm::test {

namespace {
constexpr int kSliceMs = 20;
constexpr int kExpectTimeoutMs = 15000;
} // namespace

FakeServer::FakeServer()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listenFd_, 4);
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

FakeServer::~FakeServer()
{
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    if (clientFd_ >= 0)
        ::close(clientFd_);
    if (listenFd_ >= 0)
        ::close(listenFd_);
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
FakeServer& FakeServer::Drop()
{
    AddStep(Step::Drop, {});
    return *this;
}
FakeServer& FakeServer::Call(std::function<void()> fn)
{
    AddStep(Step::Call, {});
    steps_.last().fn = std::move(fn);
    return *this;
}

void FakeServer::Start()
{
    thread_ = std::thread([this] { Run(); });
}

bool FakeServer::WaitDone(int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done_.load()) {
        if (t.elapsed() > ms)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

QList<QByteArray> FakeServer::Received() const
{
    QMutexLocker lock(&mutex_);
    return received_;
}

QStringList FakeServer::Mismatches() const
{
    QMutexLocker lock(&mutex_);
    return mismatches_;
}

void FakeServer::Mismatch(const QString& text)
{
    QMutexLocker lock(&mutex_);
    mismatches_.append(text);
}

bool FakeServer::SendAll(const QByteArray& bytes)
{
    qsizetype off = 0;
    while (off < bytes.size()) {
        const ssize_t n =
            ::send(clientFd_, bytes.constData() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        off += n;
    }
    return true;
}

bool FakeServer::ReadLine(QByteArray& line, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        const qsizetype nl = pending_.indexOf('\n');
        if (nl >= 0) {
            line = pending_.left(nl);
            if (line.endsWith('\r'))
                line.chop(1);
            pending_.remove(0, nl + 1);
            QMutexLocker lock(&mutex_);
            received_.append(line);
            return true;
        }
        if (stop_.load() || clientClosed_.load() || (timeoutMs >= 0 && t.elapsed() > timeoutMs))
            return false;
        pollfd p{clientFd_, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) > 0) {
            char buf[4096];
            const ssize_t n = ::recv(clientFd_, buf, sizeof buf, 0);
            if (n <= 0)
                clientClosed_.store(true);
            else
                pending_.append(buf, n);
        }
    }
}

void FakeServer::Run()
{
    // Accept, watching the stop flag.
    while (!stop_.load()) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) > 0) {
            clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (clientFd_ >= 0)
                break;
        }
    }
    bool open = clientFd_ >= 0;
    for (const Step& step : steps_) {
        if (stop_.load() || !open)
            break;
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
            while (!stop_.load() && !clientClosed_.load() &&
                   (step.ms < 0 || t.elapsed() < step.ms)) {
                pollfd p{clientFd_, POLLIN, 0};
                if (::poll(&p, 1, kSliceMs) > 0) {
                    char buf[4096];
                    const ssize_t n = ::recv(clientFd_, buf, sizeof buf, 0);
                    if (n <= 0)
                        clientClosed_.store(true);
                    else
                        pending_.append(buf, n);
                }
            }
            break;
        }
        case Step::Drip:
            for (char c : step.data) {
                if (stop_.load() || !SendAll(QByteArray(1, c)))
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
            }
            break;
        case Step::Drop:
            ::shutdown(clientFd_, SHUT_RDWR);
            ::close(clientFd_);
            clientFd_ = -1;
            open = false;
            break;
        case Step::Call:
            step.fn();
            break;
        }
    }
    // Note whether the client goes away after the script (QUIT handling).
    if (clientFd_ >= 0) {
        QByteArray line;
        QElapsedTimer t;
        t.start();
        while (!stop_.load() && !clientClosed_.load() && t.elapsed() < 2000) {
            if (ReadLine(line, 100))
                continue;
        }
    }
    done_.store(true);
}

} // namespace vm::test
