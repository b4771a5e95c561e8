#pragma once
// The socket and thread plumbing of the fake servers: a listening socket on
// a free loopback port, one accepted connection served on a thread of its
// own, and the helpers to read client lines and send bytes on it.

#include <QByteArray>

#include <atomic>
#include <thread>

namespace vm::test {

class LoopbackServer
{
public:
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    quint16 Port() const { return port_; }
    // Starts accepting; Run() plays the session on a thread of its own.
    void Start();
    // True when Run() finished within ms milliseconds.
    bool WaitDone(int ms = 10000);
    // True when the client closed its side of the connection.
    bool ClientClosed() const { return clientClosed_.load(); }

protected:
    static constexpr int kSliceMs = 20;

    LoopbackServer();
    virtual ~LoopbackServer();
    // Asks Run() to stop and waits for its thread. A derived class calls it
    // in its destructor, before the members Run() uses are gone.
    void Stop();

    // The session. It must end by calling MarkDone().
    virtual void Run() = 0;
    void MarkDone() { done_.store(true); }

    // Waits for the connection, watching the stop flag. True once accepted.
    bool AcceptClient();
    bool SendAll(const QByteArray& bytes);
    // Waits up to one slice for client bytes and keeps them in pending_.
    // False when the client closed (noted in ClientClosed()).
    bool ReceiveSlice();
    // Takes the next complete line (without CR LF) out of pending_.
    bool TakeLine(QByteArray& line);

    int listenFd_ = -1;
    int clientFd_ = -1;
    QByteArray pending_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> clientClosed_{false};

private:
    quint16 port_ = 0;
    std::thread thread_;
    std::atomic<bool> done_{false};
};

} // namespace vm::test
