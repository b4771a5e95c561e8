#include "support/fake_smtp.h"

#include <QElapsedTimer>
#include <QMutexLocker>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vm::test {

namespace {
constexpr int kSliceMs = 20;
}

FakeSmtpServer::FakeSmtpServer(const Config& config) : config_(config)
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listenFd_, 4);
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

FakeSmtpServer::~FakeSmtpServer()
{
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    if (clientFd_ >= 0)
        ::close(clientFd_);
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

void FakeSmtpServer::Start()
{
    thread_ = std::thread([this] { Run(); });
}

bool FakeSmtpServer::WaitDone(int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done_.load()) {
        if (t.elapsed() > ms)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

QList<QByteArray> FakeSmtpServer::Commands() const
{
    QMutexLocker lock(&mutex_);
    return commands_;
}

QByteArray FakeSmtpServer::Data() const
{
    QMutexLocker lock(&mutex_);
    return data_;
}

bool FakeSmtpServer::ReadLine(QByteArray& line)
{
    for (;;) {
        const qsizetype nl = pending_.indexOf('\n');
        if (nl >= 0) {
            line = pending_.left(nl);
            if (line.endsWith('\r'))
                line.chop(1);
            pending_.remove(0, nl + 1);
            return true;
        }
        if (stop_.load())
            return false;
        pollfd p{clientFd_, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) > 0) {
            char buf[4096];
            const ssize_t n = ::recv(clientFd_, buf, sizeof buf, 0);
            if (n <= 0) {
                clientClosed_.store(true);
                return false;
            }
            pending_.append(buf, n);
        }
    }
}

bool FakeSmtpServer::SendAll(const QByteArray& bytes)
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

bool FakeSmtpServer::Reply(const QByteArray& reply)
{
    if (config_.batchReplies) {
        held_ += reply + "\r\n";
        return true;
    }
    return SendAll(reply + "\r\n");
}

void FakeSmtpServer::WaitForClose()
{
    QByteArray ignored;
    while (ReadLine(ignored)) {
        QMutexLocker lock(&mutex_);
        commands_.append(ignored);
    }
}

QByteArray FakeSmtpServer::ReplyFor(const QByteArray& word, const QByteArray& normal) const
{
    return config_.replyFor.value(word, normal);
}

void FakeSmtpServer::Run()
{
    while (!stop_.load()) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) > 0) {
            clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (clientFd_ >= 0)
                break;
        }
    }
    if (clientFd_ >= 0)
        Session();
    if (clientFd_ >= 0) {
        ::shutdown(clientFd_, SHUT_RDWR);
    }
    done_.store(true);
}

void FakeSmtpServer::Session()
{
    if (config_.greetingDelayMs < 0) {
        WaitForClose();
        return;
    }
    if (config_.greetingDelayMs > 0) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < config_.greetingDelayMs && !stop_.load()) {
            pollfd p{clientFd_, POLLIN, 0};
            if (::poll(&p, 1, kSliceMs) > 0) {
                char buf[256];
                if (::recv(clientFd_, buf, sizeof buf, MSG_PEEK) <= 0) {
                    clientClosed_.store(true);
                    return;
                }
            }
        }
    }
    if (!SendAll(config_.greeting + "\r\n"))
        return;

    int rcptCount = 0;
    QByteArray line;
    while (ReadLine(line)) {
        {
            QMutexLocker lock(&mutex_);
            commands_.append(line);
        }
        const QByteArray word = line.split(' ').value(0).toUpper();
        if (!config_.stallAfter.isEmpty() && word == config_.stallAfter) {
            WaitForClose();
            return;
        }
        if (word == "EHLO") {
            if (!config_.ehlo) {
                Reply(ReplyFor(word, "502 5.5.1 Command not recognized"));
                continue;
            }
            QByteArray r = "250";
            const QList<QByteArray>& caps = config_.capabilities;
            r += caps.isEmpty() ? " fake.example" : "-fake.example";
            for (int i = 0; i < caps.size(); ++i)
                r += "\r\n250" + QByteArray(i + 1 == caps.size() ? " " : "-") + caps[i];
            SendAll(ReplyFor(word, r) + "\r\n");
        } else if (word == "HELO") {
            SendAll(ReplyFor(word, "250 fake.example") + "\r\n");
        } else if (word == "STARTTLS") {
            SendAll(ReplyFor(word, "454 4.7.0 TLS not available") + "\r\n");
        } else if (word == "AUTH") {
            const QByteArrayList parts = line.split(' ');
            const QByteArray mech = parts.value(1).toUpper();
            QByteArray user, pass;
            bool ok = false;
            if (config_.replyFor.contains("AUTH")) {
                SendAll(config_.replyFor.value("AUTH") + "\r\n");
                continue;
            }
            if (mech == "LOGIN") {
                QByteArray u, p;
                SendAll("334 VXNlcm5hbWU6\r\n");
                if (!ReadLine(u))
                    return;
                SendAll("334 UGFzc3dvcmQ6\r\n");
                if (!ReadLine(p))
                    return;
                {
                    QMutexLocker lock(&mutex_);
                    commands_.append(u);
                    commands_.append(p);
                }
                user = QByteArray::fromBase64(u);
                pass = QByteArray::fromBase64(p);
                ok = true;
            } else if (mech == "PLAIN") {
                const QByteArrayList f = QByteArray::fromBase64(parts.value(2)).split('\0');
                user = f.value(1);
                pass = f.value(2);
                ok = f.size() == 3;
            }
            if (ok &&
                (config_.user.isEmpty() || (user == config_.user && pass == config_.password)))
                SendAll("235 2.7.0 Authentication successful\r\n");
            else
                SendAll("535 5.7.8 Authentication credentials invalid\r\n");
        } else if (word == "RSET" || word == "MAIL" || word == "NOOP") {
            Reply(ReplyFor(word, "250 2.0.0 Ok"));
        } else if (word == "RCPT") {
            const QByteArray r = config_.rcptReply.value(rcptCount, ReplyFor(word, "250 2.1.5 Ok"));
            ++rcptCount;
            Reply(r);
        } else if (word == "DATA") {
            const QByteArray r = ReplyFor(word, "354 End data with <CR><LF>.<CR><LF>");
            Reply(r);
            if (config_.batchReplies) {
                SendAll(held_);
                held_.clear();
            }
            if (!r.startsWith("354"))
                continue;
            QByteArray dl;
            bool ended = false;
            while (ReadLine(dl)) {
                if (dl == ".") {
                    ended = true;
                    break;
                }
                if (dl.startsWith('.'))
                    dl.remove(0, 1);
                QMutexLocker lock(&mutex_);
                data_ += dl + "\r\n";
            }
            if (!ended)
                return;
            dataCompleted_.store(true);
            if (!config_.stallAfter.isEmpty() && config_.stallAfter == ".") {
                WaitForClose();
                return;
            }
            const QByteArray fin = ReplyFor(".", "250 2.0.0 Ok: queued as FAKE1") + "\r\n";
            if (config_.dripFinalReplyMs > 0) {
                for (char c : fin) {
                    if (!SendAll(QByteArray(1, c)))
                        return;
                    std::this_thread::sleep_for(
                        std::chrono::milliseconds(config_.dripFinalReplyMs));
                }
            } else {
                SendAll(fin);
            }
        } else if (word == "QUIT") {
            SendAll(ReplyFor(word, "221 2.0.0 Bye") + "\r\n");
            WaitForClose();
            return;
        } else {
            SendAll("500 5.5.2 Unknown command\r\n");
        }
    }
}

} // namespace vm::test
