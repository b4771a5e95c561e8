#pragma once
// One client connection of a demo server: a socket (plain, TLS from the
// first byte, or switched to TLS by a command) read line by line within
// fixed bounds. A line longer than the bound, a client that sends without
// reading the replies, or one that stays silent too long cannot make the
// server hold more than a bounded amount for it.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QTimer>

class QSslSocket;

namespace vm {

class DemoMailStore;

// A login of the demo servers and the address its mail is sent to.
struct DemoUser
{
    QByteArray login;
    QByteArray password;
    QByteArray address; // lower case, without angle brackets
};

// What every session of the demo servers shares; read-only once the
// servers run, except the store, which locks itself.
struct DemoServerContext
{
    DemoMailStore* store = nullptr;
    QList<DemoUser> users;
    QSslCertificate certificate;
    QSslKey key;
    const DemoUser* FindUser(const QByteArray& login) const;
};

class DemoSession : public QObject
{
public:
    // Replies waiting to go out past which no further command is read
    // until the client has taken them.
    static constexpr qint64 kMaxPendingOutput = 4 << 20;
    static constexpr int kIdleLimitMs = 10 * 60 * 1000;

    DemoSession(qintptr descriptor, const DemoServerContext& context, bool implicitTls,
                int maxLineLength, QObject* parent);
    ~DemoSession() override;

    // Called once the connection is ready (after the handshake for TLS from
    // the first byte): sends the greeting.
    void Begin();

protected:
    virtual void Greet() = 0;
    // One line without its CR LF.
    virtual void HandleLine(const QByteArray& line) = 0;
    // The client sent a line past the bound: say so and close.
    virtual void HandleOverlongLine() = 0;

    void Send(const QByteArray& bytes);
    void SendLine(const QByteArray& line);
    // Sends what is queued, then ends the stream; what the client still
    // sends is dropped, and the connection closes when the client closes it.
    void Finish();
    // Switches to TLS after the reply that announced it was queued; what
    // the client sent after the command is dropped unread, so nothing sent
    // in plain text counts as part of the protected dialogue.
    void StartTls();
    bool Encrypted() const;
    QByteArray PeerAddress() const;

    const DemoServerContext& context_;

private:
    void ProcessInput();
    void HalfCloseWhenWritten();

    QSslSocket* socket_;
    QTimer idle_;
    QByteArray buffer_;
    int maxLineLength_;
    bool closing_ = false;
    bool halfClosed_ = false;
    bool processing_ = false;
    bool begun_ = false;
};

} // namespace vm
