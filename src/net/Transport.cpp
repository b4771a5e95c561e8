#include "net/Transport.h"

#include "net/TlsTrust.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vm {

namespace {

constexpr qint64 kWriteChunk = 32768;

// In a multi-line reply, the first line break at or after `from` (>= 1)
// that ends a line without CR, is followed by a dot (the next line needs
// unstuffing or ends the reply) or is the last byte buffered; size when
// there is none. Every other line is copied as it stands, so this scan is
// most of the work of reading a message: sixteen bytes at a time where the
// processor allows.
qsizetype NextLineBreakNeedingCare(const char* data, qsizetype from, qsizetype size)
{
    qsizetype i = from;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i dot = _mm_set1_epi8('.');
    for (; i + 17 <= size; i += 16) {
        const auto at = [data](qsizetype k) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k));
        };
        const __m128i isLf = _mm_cmpeq_epi8(at(i), lf);
        const __m128i noCr = _mm_andnot_si128(_mm_cmpeq_epi8(at(i - 1), cr), isLf);
        const __m128i dotNext = _mm_and_si128(_mm_cmpeq_epi8(at(i + 1), dot), isLf);
        if (const int mask = _mm_movemask_epi8(_mm_or_si128(noCr, dotNext)))
            return i + std::countr_zero(unsigned(mask));
    }
#endif
    for (;;) {
        const void* found = std::memchr(data + i, '\n', size_t(size - i));
        if (!found)
            return size;
        const qsizetype nl = static_cast<const char*>(found) - data;
        if (data[nl - 1] != '\r' || nl + 1 == size || data[nl + 1] == '.')
            return nl;
        i = nl + 1;
    }
}

QString HostForLookup(const QString& host)
{
    QString h = host.trimmed();
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    return h;
}

struct AddrInfoDeleter
{
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

std::atomic<Transport::LookupFn> g_lookup{nullptr};

// A name lookup running on its own thread. getaddrinfo cannot be cancelled,
// so a connect that is interrupted, aborted or out of time leaves it behind;
// whoever finishes last frees the result.
struct PendingLookup
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    int rc = 0;
    addrinfo* result = nullptr;
};

// The lookup threads that connects left behind. No thread may outlive main
// (its end would race the program's global destructors), so each is kept
// here, joined as soon as it has ended, and waited for at exit
// (JoinAbandonedLookups).
class LeftLookups
{
public:
    static LeftLookups& Instance()
    {
        // Never destroyed: the registry must outlast every thread in it.
        static LeftLookups* registry = new LeftLookups;
        return *registry;
    }

    // The thread's last act: from here on it only unwinds.
    void Ended(std::thread::id id)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ended_.push_back(id);
        }
        changed_.notify_all();
    }

    void Keep(std::thread thread)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        threads_.push_back(std::move(thread));
        JoinEndedLocked();
    }

    bool JoinAll(int boundMs)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(std::max(boundMs, 0)), [this] {
            JoinEndedLocked();
            return threads_.empty();
        });
        JoinEndedLocked();
        return threads_.empty();
    }

private:
    // Joins the kept threads that have said they ended; such a thread holds
    // no lock and has nothing left to do but return, so the join is short.
    void JoinEndedLocked()
    {
        for (auto it = threads_.begin(); it != threads_.end();) {
            const auto ended = std::find(ended_.begin(), ended_.end(), it->get_id());
            if (ended == ended_.end()) {
                ++it;
                continue;
            }
            ended_.erase(ended);
            it->join();
            it = threads_.erase(it);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> threads_;
    std::vector<std::thread::id> ended_;
};

} // namespace

bool JoinAbandonedLookups(int boundMs)
{
    return LeftLookups::Instance().JoinAll(boundMs);
}

void Transport::SetLookupForTesting(LookupFn fn)
{
    g_lookup.store(fn);
}

addrinfo* Transport::Lookup(const QString& host, quint16 port, int timeoutMs)
{
    auto pending = std::make_shared<PendingLookup>();
    const LookupFn lookup = g_lookup.load() ? g_lookup.load() : &::getaddrinfo;
    const auto run = [pending, lookup, name = HostForLookup(host).toUtf8(),
                      service = QByteArray::number(port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        const int rc = lookup(name.constData(), service.constData(), &hints, &result);
        std::lock_guard<std::mutex> lock(pending->mutex);
        if (pending->abandoned) {
            if (rc == 0 && result)
                freeaddrinfo(result);
            return;
        }
        pending->rc = rc;
        pending->result = rc == 0 ? result : nullptr;
        pending->done = true;
        pending->finished.notify_one();
    };
    std::thread thread;
    try {
        thread = std::thread([run] {
            run();
            LeftLookups::Instance().Ended(std::this_thread::get_id());
        });
    } catch (const std::system_error&) {
        run(); // no thread to be had: look up here, uninterruptibly
    }
    // Every lookup thread goes to the registry, which joins it once it has
    // ended: at a later connect, or at exit.
    const auto leave = [&thread] {
        if (thread.joinable())
            LeftLookups::Instance().Keep(std::move(thread));
    };

    QElapsedTimer timer;
    timer.start();
    std::unique_lock<std::mutex> lock(pending->mutex);
    for (;;) {
        if (pending->finished.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs),
                                       [&] { return pending->done; }))
            break;
        try {
            CheckStatus();
        } catch (...) {
            pending->abandoned = true;
            lock.unlock();
            leave();
            throw;
        }
        if (timer.elapsed() >= timeoutMs) {
            pending->abandoned = true;
            lock.unlock();
            leave();
            throw ConnectTimedOut(
                QStringLiteral("Connection to %1:%2 timed out.").arg(host).arg(port));
        }
    }
    lock.unlock();
    leave();
    if (pending->rc != 0 || !pending->result)
        throw SocketError(QStringLiteral("Host %1 not found (%2).")
                                 .arg(host, QString::fromLocal8Bit(gai_strerror(pending->rc))));
    return pending->result;
}

Transport::Transport() = default;

qint64 Transport::MonotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Transport::ThrowTooLarge(qint64 limit, const char* unit)
{
    throw ReplyTooLarge(QStringLiteral("Server reply longer than %1 %2; connection closed.")
                            .arg(limit)
                            .arg(QLatin1String(unit)));
}

Transport::~Transport()
{
    Close();
}

void Transport::RequestInterrupt()
{
    InterruptState expected = osProceed;
    status_.compare_exchange_strong(expected, osInterrupt);
}

void Transport::Abort()
{
    QMutexLocker lock(&fdMutex_);
    aborted_.store(true);
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_RDWR);
}

void Transport::CheckStatus()
{
    if (aborted_.load() || (leader_ && leader_->aborted_.load()))
        throw ConnectionAborted(QStringLiteral("Connection closed."));
    if (leader_ && leader_->status_.load() != osProceed)
        throw OperationCancelled(QStringLiteral("Operation cancelled."));
    if (deadlineMs_ > 0 && MonotonicMs() > deadlineMs_)
        throw ReadTimedOut(QStringLiteral("The server did not complete its answer in time."));
    InterruptState expected = osInterrupt;
    if (status_.compare_exchange_strong(expected, osCancelRaised) || expected == osCancelRaised)
        throw OperationCancelled(QStringLiteral("Operation cancelled."));
}

QHostAddress Transport::LocalAddress() const
{
    return socket_ ? socket_->localAddress() : QHostAddress();
}

bool Transport::Connected() const
{
    if (peer_)
        return peerOpen_;
    return socket_ && !peerClosed_ && socket_->state() == QAbstractSocket::ConnectedState;
}

bool Transport::Encrypted() const
{
    return socket_ && socket_->isEncrypted();
}

void Transport::Close()
{
    {
        QMutexLocker lock(&fdMutex_);
        fd_ = -1;
    }
    directFd_ = -1;
    peerClosed_ = false;
    queued_.clear();
    peerOpen_ = false;
    if (socket_) {
        socket_->abort();
        delete socket_;
        socket_ = nullptr;
    }
    buffer_.Clear();
}

void Transport::ThrowSocketError(const QString& what)
{
    if (aborted_.load())
        throw ConnectionAborted(QStringLiteral("Connection closed."));
    throw SocketError(what);
}

int Transport::ConnectNative(const QString& host, quint16 port, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    addrinfo* raw = Lookup(host, port, timeoutMs);
    std::unique_ptr<addrinfo, AddrInfoDeleter> list(raw);
    QString lastError = QStringLiteral("no address");
    for (addrinfo* ai = raw; ai; ai = ai->ai_next) {
        CheckStatus();
        int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          ai->ai_protocol);
        if (fd < 0) {
            lastError = QString::fromLocal8Bit(strerror(errno));
            continue;
        }
        {
            QMutexLocker lock(&fdMutex_);
            fd_ = fd;
        }
        auto closeFd = [&]() {
            QMutexLocker lock(&fdMutex_);
            fd_ = -1;
            ::close(fd);
        };
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0)
            return fd;
        if (errno != EINPROGRESS) {
            lastError = QString::fromLocal8Bit(strerror(errno));
            closeFd();
            continue;
        }
        for (;;) {
            const qint64 left = timeoutMs - timer.elapsed();
            if (left <= 0) {
                closeFd();
                throw ConnectTimedOut(
                    QStringLiteral("Connection to %1:%2 timed out.").arg(host).arg(port));
            }
            pollfd p{fd, POLLOUT, 0};
            const int n = ::poll(&p, 1, int(std::min<qint64>(left, kWaitSliceMs)));
            try {
                CheckStatus();
            } catch (...) {
                closeFd();
                throw;
            }
            if (n > 0) {
                int err = 0;
                socklen_t len = sizeof err;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                    err = errno;
                if (err == 0)
                    return fd;
                lastError = QString::fromLocal8Bit(strerror(err));
                closeFd();
                break;
            }
        }
    }
    throw SocketError(
        QStringLiteral("Could not connect to %1:%2 (%3).").arg(host).arg(port).arg(lastError));
}

void Transport::Connect(const ConnectionOptions& options)
{
    SetTlsMode(options.ImplicitTls ? TlsMode::Implicit : TlsMode::None);
    SetSslVersion(options.SSLVersion);
    SetConnectTimeoutMs(options.ConnectTimeoutMs);
    Connect(options.Host, options.Port);
}

void Transport::Connect(const QString& host, quint16 port)
{
    Close();
    aborted_.store(false);
    peerFingerprint_.clear();
    host_ = HostForLookup(host);
    port_ = port;
    CheckStatus();
    if (peer_) {
        peerOpen_ = true;
        StampActivity();
        return;
    }

    const int limit = connectTimeoutMs_ > 0 ? connectTimeoutMs_ : 10000;
    QElapsedTimer timer;
    timer.start();
    const int fd = ConnectNative(host, port, limit);
    socket_ = new QSslSocket;
    if (!socket_->setSocketDescriptor(fd, QAbstractSocket::ConnectedState)) {
        const QString why = socket_->errorString();
        Close();
        ::close(fd);
        throw SocketError(why);
    }
    StampActivity();
    if (tlsMode_ == TlsMode::Implicit)
        Handshake(int(std::max<qint64>(limit - timer.elapsed(), 1000)));
    else
        directFd_ = fd;
}

void Transport::StartTls()
{
    if (!Connected())
        throw NotConnected(QStringLiteral("Not connected."));
    if (peer_)
        throw TlsError(QStringLiteral("No TLS with a test peer."));
    buffer_.Clear();
    directFd_ = -1; // from here on Qt's socket reads and writes
    socket_->readAll();
    Handshake(connectTimeoutMs_ > 0 ? connectTimeoutMs_ : 10000);
}

void Transport::Handshake(int timeoutMs)
{
    QSslConfiguration conf = socket_->sslConfiguration();
    conf.setProtocol(TlsProtocolForVersionIndex(sslVersion_));
    conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
    conf.setCaCertificates(TrustedCaCertificates());
    socket_->setSslConfiguration(conf);
    socket_->setPeerVerifyName(host_);
    sslErrors_.clear();
    sslErrorFingerprint_.clear();
    sslErrorCertificate_.clear();

    // Runs on this thread inside the handshake: a certificate the user chose
    // to trust for this host and port is accepted whatever the errors say.
    QObject::connect(socket_, &QSslSocket::sslErrors, [this](const QList<QSslError>& errors) {
        QSslCertificate cert = socket_->peerCertificate();
        for (const QSslError& e : errors) {
            if (!cert.isNull())
                break;
            cert = e.certificate();
        }
        const QString fp = CertificateFingerprint(cert);
        if (!fp.isEmpty() && IsCertificateTrusted(host_, port_, fp)) {
            socket_->ignoreSslErrors();
            return;
        }
        sslErrorFingerprint_ = fp;
        sslErrorCertificate_ = cert.isNull() ? QByteArray() : cert.toDer();
        for (const QSslError& e : errors)
            sslErrors_.append(e.errorString());
    });

    socket_->startClientEncryption();
    QElapsedTimer timer;
    timer.start();
    while (!socket_->isEncrypted()) {
        CheckStatus();
        if (socket_->state() != QAbstractSocket::ConnectedState || !sslErrors_.isEmpty())
            break;
        if (timer.elapsed() >= timeoutMs)
            throw ConnectTimedOut(
                QStringLiteral("TLS handshake with %1:%2 timed out.").arg(host_).arg(port_));
        if (!socket_->waitForEncrypted(kWaitSliceMs)) {
            const auto err = socket_->error();
            if (err != QAbstractSocket::SocketTimeoutError &&
                err != QAbstractSocket::UnknownSocketError)
                break;
        }
    }
    if (socket_->isEncrypted()) {
        peerFingerprint_ = CertificateFingerprint(socket_->peerCertificate());
        StampActivity();
        return;
    }
    CheckStatus();
    if (!sslErrors_.isEmpty()) {
        const QStringList reasons = sslErrors_;
        CertificateError error(host_, port_, reasons, sslErrorFingerprint_);
        error.certificateDer = sslErrorCertificate_;
        Close();
        throw error;
    }
    const QString why = socket_->errorString();
    Close();
    throw TlsError(
        QStringLiteral("TLS handshake with %1:%2 failed: %3").arg(host_).arg(port_).arg(why));
}

void Transport::FillBuffer()
{
    SendQueued();
    if (peer_) {
        CheckStatus();
        if (!peerOpen_)
            throw ConnectionClosed(QStringLiteral("Connection Closed Gracefully."));
        const QByteArray more = peer_->Next();
        if (more.isEmpty()) {
            peerOpen_ = false;
            throw ConnectionClosed(QStringLiteral("Connection Closed Gracefully."));
        }
        buffer_.Append(more);
        StampActivity();
        return;
    }
    if (!socket_)
        throw NotConnected(QStringLiteral("Not connected."));
    if (directFd_ >= 0) {
        FillBufferDirect();
        return;
    }
    QElapsedTimer quiet;
    quiet.start();
    for (;;) {
        CheckStatus();
        if (const qint64 available = socket_->bytesAvailable(); available > 0) {
            // Straight into the buffer: no intermediate copy, and the
            // buffer's room is reused from read to read.
            const qint64 got = buffer_.ReadInto(
                qsizetype(available), [this](char* at, qsizetype room) {
                    return socket_->read(at, room);
                });
            if (got < 0)
                ThrowSocketError(socket_->errorString());
            StampActivity();
            return;
        }
        if (socket_->state() != QAbstractSocket::ConnectedState)
            throw ConnectionClosed(QStringLiteral("Connection Closed Gracefully."));
        if (readTimeoutMs_ >= 0 && quiet.elapsed() >= readTimeoutMs_)
            throw ReadTimedOut(QStringLiteral("Read timed out."));
        if (!socket_->waitForReadyRead(kWaitSliceMs)) {
            const auto err = socket_->error();
            if (socket_->state() != QAbstractSocket::ConnectedState ||
                err == QAbstractSocket::SocketTimeoutError ||
                err == QAbstractSocket::RemoteHostClosedError)
                continue; // the checks at the top decide
            ThrowSocketError(socket_->errorString());
        }
    }
}

QByteArray Transport::ReadLine(bool* complete)
{
    for (;;) {
        const qsizetype nl = buffer_.IndexOf('\n');
        if (nl >= 0) {
            const qsizetype len = (nl > 0 && buffer_.Data()[nl - 1] == '\r') ? nl - 1 : nl;
            if (len <= maxLineLength_) {
                QByteArray line(buffer_.Data(), len);
                buffer_.Drop(nl + 1);
                if (complete)
                    *complete = true;
                return line;
            }
        }
        if (buffer_.Size() > maxLineLength_ || nl >= 0) {
            qsizetype take = maxLineLength_;
            // Keep a CR with the LF that may follow it.
            if (take > 1 && buffer_.Data()[take - 1] == '\r')
                --take;
            QByteArray piece = buffer_.Take(take);
            if (complete)
                *complete = false;
            return piece;
        }
        FillBuffer();
    }
}

QByteArray Transport::ReadSome(qint64 maxBytes)
{
    if (buffer_.IsEmpty()) {
        try {
            FillBuffer();
        } catch (const ConnectionClosed&) {
            return {};
        }
    }
    const qsizetype take =
        qsizetype(std::min<qint64>(std::max<qint64>(maxBytes, 1), buffer_.Size()));
    return buffer_.Take(take);
}

QByteArray Transport::ReadReplyLine()
{
    QByteArray line;
    bool complete = false;
    do {
        const QByteArray piece = ReadLine(&complete);
        if (line.size() + piece.size() > kMaxReplyLine)
            ThrowTooLarge(kMaxReplyLine, "bytes");
        line += piece;
    } while (!complete);
    return line;
}

QList<QByteArray> Transport::ReadMultiLine(const ReplyLimit& limit)
{
    QList<QByteArray> lines;
    QByteArray current;
    qint64 bytes = 0; // text so far, each complete line with its CR LF
    bool atStart = true;
    for (;;) {
        bool complete = false;
        QByteArray piece = ReadLine(&complete);
        if (atStart) {
            if (complete && piece == ".")
                return lines;
            if (piece.startsWith(".."))
                piece.remove(0, 1);
        }
        bytes += piece.size() + (complete ? 2 : 0);
        if (bytes > limit.maxBytes)
            ThrowTooLarge(limit.maxBytes, "bytes");
        current += piece;
        if (complete) {
            if (lines.size() >= limit.maxLines)
                ThrowTooLarge(limit.maxLines, "lines");
            lines.append(current);
            current.clear();
            atStart = true;
        } else {
            atStart = false;
        }
    }
}

QByteArray Transport::ReadMultiLineText(qint64 maxBytes, qint64 sizeHint)
{
    // Room for the announced size saves growing the text step by step (and
    // the slack growth leaves behind); a server's claim is trusted only up
    // to a sane amount.
    constexpr qint64 kMaxReserve = 64 * 1024 * 1024;
    QByteArray text;
    if (sizeHint > 0)
        text.reserve(qsizetype(std::min({sizeHint, kMaxReserve, maxBytes})));
    for (;;) {
        // Every complete line already buffered. Lines that end in CR LF and
        // need no unstuffing are copied in runs, not one by one, and found
        // by a scan that stops only where a line needs care.
        const char* data = buffer_.Data();
        const qsizetype size = buffer_.Size();
        qsizetype pos = 0; // start of the next line
        qsizetype run = 0; // start of the run of lines copied as they are
        while (pos < size) {
            if (data[pos] != '.' && data[pos] != '\n') {
                const qsizetype nl = NextLineBreakNeedingCare(data, pos + 1, size);
                if (nl == size) {
                    // Every line break left ends a plain line; after the
                    // last one a line is still in the making.
                    const auto last = std::string_view(data + pos, size_t(size - pos)).rfind('\n');
                    if (last != std::string_view::npos)
                        pos += qsizetype(last) + 1;
                    break;
                }
                if (data[nl - 1] == '\r') {
                    pos = nl + 1; // the line after it starts with a dot or is not here yet
                    continue;
                }
                // A line ending in a bare LF: taken one line at a time below.
            }
            const void* found = std::memchr(data + pos, '\n', size_t(size - pos));
            if (!found)
                break;
            // Here the line starts with a dot or ends in a bare LF.
            const qsizetype nl = static_cast<const char*>(found) - data;
            const bool crlf = nl > pos && data[nl - 1] == '\r';
            text.append(data + run, pos - run);
            qsizetype begin = pos;
            const qsizetype end = crlf ? nl - 1 : nl;
            pos = nl + 1;
            run = pos;
            if (end - begin == 1 && data[begin] == '.') {
                buffer_.Drop(pos);
                if (text.size() > maxBytes)
                    ThrowTooLarge(maxBytes, "bytes");
                // A server that announced far more than it sent must not
                // leave every message holding the room set aside.
                if (text.capacity() - text.size() > text.size() / 8 + 4096)
                    text.squeeze();
                return text;
            }
            if (end - begin >= 2 && data[begin] == '.' && data[begin + 1] == '.')
                ++begin;
            text.append(data + begin, end - begin);
            text.append("\r\n", 2);
        }
        text.append(data + run, pos - run);
        buffer_.Drop(pos);
        // What is left is one line still in the making; it counts as well,
        // so an endless line ends the read just as endless lines do (the
        // 3 bytes leave room for a terminating ".\r\n" not yet complete).
        if (text.size() > maxBytes || buffer_.Size() > maxBytes - text.size() + 3)
            ThrowTooLarge(maxBytes, "bytes");
        FillBuffer();
    }
}

void Transport::QueueLine(const QByteArray& line)
{
    queued_.append(line);
    queued_.append("\r\n", 2);
}

void Transport::SendQueued()
{
    if (queued_.isEmpty())
        return;
    const QByteArray data = std::exchange(queued_, QByteArray());
    WriteNow(data);
}

void Transport::Write(const QByteArray& data)
{
    SendQueued();
    WriteNow(data);
}

void Transport::WriteNow(const QByteArray& data)
{
    if (peer_) {
        CheckStatus();
        if (!peerOpen_)
            ThrowSocketError(QStringLiteral("Connection lost while sending."));
        peer_->Sent(data);
        StampActivity();
        return;
    }
    if (!socket_)
        throw NotConnected(QStringLiteral("Not connected."));
    CheckStatus();
    if (directFd_ >= 0) {
        WriteDirect(data);
        return;
    }
    qsizetype offset = 0;
    while (offset < data.size()) {
        const qint64 n = socket_->write(data.constData() + offset,
                                        std::min<qint64>(kWriteChunk, data.size() - offset));
        if (n < 0)
            ThrowSocketError(socket_->errorString());
        offset += n;
        while (socket_->bytesToWrite() > 0) {
            CheckStatus();
            if (socket_->state() != QAbstractSocket::ConnectedState)
                ThrowSocketError(QStringLiteral("Connection lost while sending."));
            if (!socket_->waitForBytesWritten(kWaitSliceMs)) {
                const auto err = socket_->error();
                if (err != QAbstractSocket::SocketTimeoutError &&
                    socket_->state() == QAbstractSocket::ConnectedState)
                    ThrowSocketError(socket_->errorString());
            }
        }
        StampActivity();
    }
}

void Transport::WaitDirect(short events)
{
    pollfd p{directFd_, events, 0};
    const int n = ::poll(&p, 1, kWaitSliceMs);
    if (n < 0 && errno != EINTR)
        ThrowSocketError(QString::fromLocal8Bit(strerror(errno)));
}

void Transport::FillBufferDirect()
{
    // Room for a good read at the end of the buffer; the buffer's one block
    // of memory serves the whole session.
    constexpr qsizetype kReadSize = 256 * 1024;
    QElapsedTimer quiet;
    quiet.start();
    for (;;) {
        CheckStatus();
        int err = 0;
        const ssize_t got = buffer_.ReadInto(kReadSize, [&](char* at, qsizetype room) {
            const ssize_t n = ::recv(directFd_, at, size_t(room), 0);
            err = errno;
            return n;
        });
        if (got > 0) {
            StampActivity();
            return;
        }
        if (got == 0) {
            CheckStatus(); // an abort shuts the descriptor down
            peerClosed_ = true;
            throw ConnectionClosed(QStringLiteral("Connection Closed Gracefully."));
        }
        if (err == EINTR)
            continue;
        if (err != EAGAIN && err != EWOULDBLOCK) {
            if (err == ECONNRESET)
                peerClosed_ = true;
            ThrowSocketError(QString::fromLocal8Bit(strerror(err)));
        }
        if (readTimeoutMs_ >= 0 && quiet.elapsed() >= readTimeoutMs_)
            throw ReadTimedOut(QStringLiteral("Read timed out."));
        WaitDirect(POLLIN);
    }
}

void Transport::WriteDirect(const QByteArray& data)
{
    if (peerClosed_)
        ThrowSocketError(QStringLiteral("Connection lost while sending."));
    qsizetype offset = 0;
    while (offset < data.size()) {
        const ssize_t n = ::send(directFd_, data.constData() + offset,
                                 size_t(data.size() - offset), MSG_NOSIGNAL);
        if (n > 0) {
            offset += n;
            StampActivity();
            continue;
        }
        const int err = errno;
        if (n < 0 && err == EINTR)
            continue;
        if (n < 0 && (err == EAGAIN || err == EWOULDBLOCK)) {
            WaitDirect(POLLOUT);
            CheckStatus();
            continue;
        }
        if (n < 0 && (err == EPIPE || err == ECONNRESET))
            peerClosed_ = true;
        ThrowSocketError(QStringLiteral("Connection lost while sending."));
    }
}

void Transport::WriteLine(const QByteArray& line)
{
    Write(line + "\r\n");
}

} // namespace vm
