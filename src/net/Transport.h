#pragma once
// The one place that knows sockets and TLS. A protocol client (POP3, SMTP)
// owns one Transport and uses it from its worker thread with blocking calls;
// the interface thread may, at any time and from any thread:
//   - ask for an interrupt (RequestInterrupt): the worker's current or next
//     wait ends within one wait slice (50 ms) with OperationCancelled;
//   - abort the connection (Abort): the socket is shut down at once and the
//     worker's wait ends with ConnectionAborted;
//   - read LastActivityMs, stamped on every block sent or received, on the
//     monotonic clock (a change of the wall clock moves no limit).
//
// Every wait for the network is cut into slices of at most 50 ms so these
// requests are noticed promptly; nothing spins. Every reply is read within a
// bound (ReplyLimit); past it the read fails with ReplyTooLarge.

#include "net/ConnectionOptions.h"
#include "net/NetErrors.h"
#include "net/ReadBuffer.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>

class QHostAddress;
class QSslSocket;
struct addrinfo;

namespace vm {

// The bound on one multi-line reply: its text (dot-unstuffed, each line
// counted with a CR LF) and, where the lines are kept one by one, its lines.
struct ReplyLimit
{
    qint64 maxBytes = 4 << 20;
    qint64 maxLines = 100000;
};

// A stand-in for the server, so the reply readers can be driven without a
// socket (fuzzing, tests). With one installed, Connect opens no socket,
// Write hands the bytes to Sent, and every wait for data takes Next()
// instead; an empty Next() ends the connection as a peer closing it would.
class TransportPeer
{
public:
    virtual ~TransportPeer() = default;
    virtual QByteArray Next() = 0;
    virtual void Sent(const QByteArray& data) = 0;
};

enum class TlsMode {
    None,     // plain TCP
    Implicit, // TLS handshake right after the TCP connect
};

class Transport
{
public:
    // The longest wait between two checks of the operation status and the
    // abort request.
    static constexpr int kWaitSliceMs = 50;
    // Lines longer than this are handed out in pieces of this size.
    static constexpr int kDefaultMaxLineLength = 16384;
    // The longest single-line reply (greeting, "+OK"/"-ERR" line, SMTP reply
    // line) ReadReplyLine accepts.
    static constexpr qsizetype kMaxReplyLine = 64 * 1024;

    Transport();
    ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // --- Settings for the next connection ------------------------------------
    void SetTlsMode(TlsMode mode) { tlsMode_ = mode; }
    TlsMode GetTlsMode() const { return tlsMode_; }
    // Stored SSL version index 0..3; all negotiate TLS 1.2 or later.
    void SetSslVersion(int index) { sslVersion_ = index; }
    int SslVersion() const { return sslVersion_; }
    // Limit for the name lookup, the TCP connect and the TLS handshake
    // together; <= 0 means 10 s.
    void SetConnectTimeoutMs(int ms) { connectTimeoutMs_ = ms; }
    int ConnectTimeoutMs() const { return connectTimeoutMs_; }
    // Limit on waiting for data; -1 (the default) waits until interrupted or
    // aborted, the silence limit being enforced by whoever runs the worker.
    void SetReadTimeoutMs(int ms) { readTimeoutMs_ = ms; }
    // A point on the monotonic clock (MonotonicMs) after which every wait
    // (lookup, connect, handshake, reading, writing) fails with ReadTimedOut:
    // a limit on a whole exchange, which a server sending a byte now and
    // then cannot stretch. 0 (the default): none.
    void SetDeadlineMs(qint64 deadline) { deadlineMs_ = deadline; }
    void SetMaxLineLength(int length)
    {
        maxLineLength_ = length > 0 ? length : kDefaultMaxLineLength;
    }
    int MaxLineLength() const { return maxLineLength_; }

    // --- Connection (worker thread) -------------------------------------------
    // Resolves host (names, IPv4 and IPv6 literals), connects within the
    // connect limit and, with implicit TLS, completes a verified handshake.
    // Throws ConnectTimedOut, SocketError, TlsError,
    // CertificateError, OperationCancelled, ConnectionAborted.
    void Connect(const QString& host, quint16 port);
    // Takes the TLS choice, SSL version and connect limit of options, then
    // connects to its host and port as above.
    void Connect(const ConnectionOptions& options);
    // Upgrades the open connection to TLS (STARTTLS). Data received before
    // the handshake is discarded, so nothing sent in plain text before the
    // upgrade is ever taken as a reply.
    void StartTls();
    bool Connected() const;
    bool Encrypted() const;
    // The address of this end of the open connection (null when none).
    QHostAddress LocalAddress() const;
    // Closes the connection without any goodbye; safe to call repeatedly.
    // Must run on the thread that called Connect (or after it ended).
    void Close();

    // --- Data (worker thread) --------------------------------------------------
    void Write(const QByteArray& data);
    // Writes the text followed by CR LF.
    void WriteLine(const QByteArray& line);
    // Queues the text followed by CR LF; queued lines go out together, at
    // the latest when the next reply is waited for or anything is written.
    // Pipelined commands thus leave in one packet, not one each.
    void QueueLine(const QByteArray& line);
    // One line without its CR LF (a lone LF also ends a line). A line longer
    // than the maximum line length is returned in pieces; *complete tells
    // whether the piece ended the line.
    QByteArray ReadLine(bool* complete = nullptr);
    // One reply line, pieces of an overlong line joined; a line longer than
    // kMaxReplyLine fails with ReplyTooLarge once that much has arrived.
    QByteArray ReadReplyLine();
    // Lines of a multi-line reply up to the terminating ".", dot-unstuffing
    // every line that starts with "..". Pieces of overlong lines are joined
    // back, so the text arrives exactly as sent. More lines or bytes than
    // the limit fail with ReplyTooLarge as soon as they have arrived.
    QList<QByteArray> ReadMultiLine(const ReplyLimit& limit = {});
    // The same reply as one text: every line, dot-unstuffed, followed by
    // CR LF. Cheaper than joining the lines of ReadMultiLine. A text (or a
    // line still in the making) longer than maxBytes fails with
    // ReplyTooLarge. sizeHint, the size the server announced, only sets
    // aside room for the text.
    QByteArray ReadMultiLineText(qint64 maxBytes, qint64 sizeHint = 0);
    // Up to maxBytes of what has arrived, exactly as sent, waiting for data
    // when nothing is buffered; empty once the peer has closed the
    // connection. For bodies that end where the connection ends (HTTP).
    QByteArray ReadSome(qint64 maxBytes);

    // --- Shared with the interface thread (thread-safe) ----------------------
    InterruptState OperationStatus() const { return status_.load(); }
    void SetOperationStatus(InterruptState status) { status_.store(status); }
    // osProceed -> osInterrupt; any other state is left as it is.
    void RequestInterrupt();
    // Ends the connection at once from any thread; the worker's wait fails
    // with ConnectionAborted. Stays in effect until the next Connect.
    void Abort();
    bool Aborted() const { return aborted_.load(); }
    // Milliseconds on the monotonic clock (MonotonicMs) of the last block
    // sent or received, or of the last StampActivity.
    qint64 LastActivityMs() const { return lastActivityMs_.load(); }
    void StampActivity()
    {
        const qint64 now = MonotonicMs();
        lastActivityMs_.store(now);
        if (leader_)
            leader_->lastActivityMs_.store(now);
    }
    // Makes this connection part of the operation of leader (null: none): an
    // interrupt request or abort of the leader ends this connection's waits
    // as well, and activity here counts as the leader's. A token request
    // made during a POP3 or SMTP login thus keeps that operation's silence
    // limit satisfied, and the user's Stop and the silence limit reach it.
    // Set before Connect; the leader must outlive the use.
    void FollowOperationOf(Transport* leader) { leader_ = leader; }
    // The clock of every time limit: milliseconds since an arbitrary start,
    // never set back or forward with the wall clock.
    static qint64 MonotonicMs();

    // The peer's certificate after a TLS handshake, SHA-256 fingerprint.
    QString PeerFingerprint() const { return peerFingerprint_; }

    // The host name lookup (getaddrinfo's signature); tests put a slow one
    // in its place. nullptr restores getaddrinfo.
    using LookupFn = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static void SetLookupForTesting(LookupFn fn);
    // Installs a peer in place of the network (nullptr: the network again);
    // it must outlive its use. TLS fails with a peer.
    void SetPeerForTesting(TransportPeer* peer)
    {
        peer_ = peer;
        peerOpen_ = false;
    }

private:
    void CheckStatus(); // throws on interrupt or abort
    void FillBuffer();  // waits for more data
    // Plain TCP is read and written on the descriptor itself: the bytes go
    // from the kernel straight into buffer_, with no socket buffer between.
    // Qt's socket takes over for TLS (implicit or after STARTTLS).
    void FillBufferDirect();
    void WriteDirect(const QByteArray& data);
    void WriteNow(const QByteArray& data);
    void SendQueued();
    // Waits up to one slice for the descriptor to become readable (POLLIN)
    // or writable (POLLOUT), within the read limit when reading.
    void WaitDirect(short events);
    int ConnectNative(const QString& host, quint16 port, int timeoutMs);
    addrinfo* Lookup(const QString& host, quint16 port, int timeoutMs);
    void Handshake(int timeoutMs);
    [[noreturn]] void ThrowSocketError(const QString& what);
    [[noreturn]] static void ThrowTooLarge(qint64 limit, const char* unit);

    TlsMode tlsMode_ = TlsMode::None;
    int sslVersion_ = 1;
    int connectTimeoutMs_ = 10000;
    int readTimeoutMs_ = -1;
    qint64 deadlineMs_ = 0;
    int maxLineLength_ = kDefaultMaxLineLength;

    QString host_;
    quint16 port_ = 0;
    QSslSocket* socket_ = nullptr;
    ReadBuffer buffer_;
    QString peerFingerprint_;
    QStringList sslErrors_;
    QString sslErrorFingerprint_;
    QByteArray sslErrorCertificate_; // DER of the refused certificate

    std::atomic<InterruptState> status_{osProceed};
    std::atomic<bool> aborted_{false};
    std::atomic<qint64> lastActivityMs_{0};
    // Guards fd_ so Abort never shuts down a descriptor the worker already closed.
    QMutex fdMutex_;
    int fd_ = -1;
    // The descriptor read and written directly while the connection is plain
    // (-1 once TLS is in use or the connection is closed).
    int directFd_ = -1;
    bool peerClosed_ = false; // the peer ended a direct connection
    QByteArray queued_;       // lines not yet sent (QueueLine)
    TransportPeer* peer_ = nullptr;
    bool peerOpen_ = false; // connected to peer_ and not closed by it
    Transport* leader_ = nullptr;
};

// Waits up to boundMs for the host name lookups that connects stopped
// waiting for (interrupted, aborted or out of time: getaddrinfo cannot be
// cancelled) and joins their threads. True when none is left. main calls it
// before it returns, since no thread may outlive main.
bool JoinAbandonedLookups(int boundMs);

} // namespace vm
