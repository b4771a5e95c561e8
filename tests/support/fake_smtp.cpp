#include "support/fake_smtp.h"

#include <QElapsedTimer>
#include <QMutexLocker>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <thread>

namespace vm::test {

FakeSmtpServer::FakeSmtpServer(const Config& config) : config_(config)
{
}

FakeSmtpServer::~FakeSmtpServer()
{
    Stop();
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
        if (TakeLine(line))
            return true;
        if (stop_.load() || !ReceiveSlice())
            return false;
    }
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

void FakeSmtpServer::SendEndlessReply()
{
    const QByteArray line =
        "250-" + QByteArray(std::max(config_.endlessLineLength - 6, 1), 'x') + "\r\n";
    QByteArray chunk;
    while (chunk.size() < 64 * 1024)
        chunk += line;
    for (qint64 sent = 0; sent < 64LL * 1024 * 1024 && !stop_.load(); sent += chunk.size()) {
        if (!SendAll(chunk))
            return;
    }
    WaitForClose();
}

QByteArray FakeSmtpServer::ReplyFor(const QByteArray& word, const QByteArray& normal) const
{
    return config_.replyFor.value(word, normal);
}

void FakeSmtpServer::Run()
{
    if (AcceptClient())
        Session();
    if (clientFd_ >= 0) {
        ::shutdown(clientFd_, SHUT_RDWR);
    }
    MarkDone();
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
        if (!config_.endlessReplyTo.isEmpty() && word == config_.endlessReplyTo) {
            SendEndlessReply();
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
