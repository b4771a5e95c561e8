#include "support/LoopbackServer.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vm::test {

LoopbackServer::LoopbackServer()
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

LoopbackServer::~LoopbackServer()
{
    Stop();
    if (clientFd_ >= 0)
        ::close(clientFd_);
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

void LoopbackServer::Stop()
{
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
}

void LoopbackServer::Start()
{
    thread_ = std::thread([this] { Run(); });
}

bool LoopbackServer::WaitDone(int ms)
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

bool LoopbackServer::AcceptClient()
{
    while (!stop_.load()) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) > 0) {
            clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (clientFd_ >= 0)
                return true;
        }
    }
    return false;
}

bool LoopbackServer::SendAll(const QByteArray& bytes)
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

bool LoopbackServer::ReceiveSlice()
{
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
    return true;
}

bool LoopbackServer::TakeLine(QByteArray& line)
{
    const qsizetype nl = pending_.indexOf('\n');
    if (nl < 0)
        return false;
    line = pending_.left(nl);
    if (line.endsWith('\r'))
        line.chop(1);
    pending_.remove(0, nl + 1);
    return true;
}

} // namespace vm::test
