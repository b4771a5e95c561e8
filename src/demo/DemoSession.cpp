#include "demo/DemoSession.h"

#include <QSslConfiguration>
#include <QSslSocket>

#include <sys/socket.h>

namespace vm {

const DemoUser* DemoServerContext::FindUser(const QByteArray& login) const
{
    for (const DemoUser& u : users)
        if (u.login == login)
            return &u;
    return nullptr;
}

DemoSession::DemoSession(qintptr descriptor, const DemoServerContext& context, bool implicitTls,
                         int maxLineLength, QObject* parent)
    : QObject(parent), context_(context), socket_(new QSslSocket(this)),
      maxLineLength_(maxLineLength)
{
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setLocalCertificate(context.certificate);
    conf.setPrivateKey(context.key);
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);
    conf.setProtocol(QSsl::TlsV1_2OrLater);
    socket_->setSslConfiguration(conf);
    // The kernel holds what a client sends beyond this until it is read.
    socket_->setReadBufferSize(64 * 1024);
    socket_->setSocketDescriptor(descriptor);

    idle_.setSingleShot(true);
    idle_.setInterval(kIdleLimitMs);
    connect(&idle_, &QTimer::timeout, this, [this] { socket_->abort(); });
    connect(socket_, &QSslSocket::readyRead, this, [this] { ProcessInput(); });
    connect(socket_, &QSslSocket::bytesWritten, this, [this] { ProcessInput(); });
    connect(socket_, &QSslSocket::encryptedBytesWritten, this, [this] { ProcessInput(); });
    connect(socket_, &QSslSocket::disconnected, this, &QObject::deleteLater);
    connect(socket_, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (socket_->state() != QAbstractSocket::ConnectedState)
            deleteLater();
    });
    connect(socket_, &QSslSocket::sslErrors, this,
            [this](const QList<QSslError>&) { socket_->abort(); });
    connect(socket_, &QSslSocket::encrypted, this, [this] {
        if (begun_)
            ProcessInput(); // after STARTTLS
        else
            Begin();
    });
    if (implicitTls) {
        idle_.start();
        socket_->startServerEncryption();
    }
}

DemoSession::~DemoSession() = default;

void DemoSession::Begin()
{
    begun_ = true;
    idle_.start();
    Greet();
    ProcessInput();
}

void DemoSession::Send(const QByteArray& bytes)
{
    if (!closing_)
        socket_->write(bytes);
}

void DemoSession::SendLine(const QByteArray& line)
{
    Send(line + "\r\n");
}

void DemoSession::Finish()
{
    closing_ = true;
    idle_.stop();
    // Closing while the client's input is still unread would reset the
    // connection, and a reset can destroy the last reply before the client
    // reads it (a refused overlong line, for instance). So: send the end of
    // the stream once the last reply has left, drop whatever still arrives,
    // and close when the client does (or after a few seconds).
    HalfCloseWhenWritten();
    QTimer::singleShot(5000, socket_, [socket = socket_] { socket->abort(); });
}

void DemoSession::HalfCloseWhenWritten()
{
    if (halfClosed_ || socket_->state() != QAbstractSocket::ConnectedState)
        return;
    if (socket_->bytesToWrite() > 0 || socket_->encryptedBytesToWrite() > 0) {
        socket_->flush();
        return; // again from the next bytesWritten
    }
    halfClosed_ = true;
    ::shutdown(int(socket_->socketDescriptor()), SHUT_WR);
}

void DemoSession::StartTls()
{
    buffer_.clear();
    socket_->startServerEncryption();
}

bool DemoSession::Encrypted() const
{
    return socket_->isEncrypted();
}

QByteArray DemoSession::PeerAddress() const
{
    return socket_->peerAddress().toString().toLatin1();
}

void DemoSession::ProcessInput()
{
    // A reply may be sent from inside HandleLine, which emits bytesWritten
    // on some platforms; the outer call goes on with the next line.
    if (processing_)
        return;
    if (closing_) {
        socket_->readAll(); // after the last reply: dropped
        HalfCloseWhenWritten();
        return;
    }
    processing_ = true;
    while (!closing_ && socket_->state() == QAbstractSocket::ConnectedState) {
        if (socket_->mode() == QSslSocket::SslServerMode && !socket_->isEncrypted())
            break; // handshake still running
        if (socket_->bytesToWrite() > kMaxPendingOutput)
            break; // resumed when the client has read some
        const int nl = int(buffer_.indexOf('\n'));
        if (nl < 0) {
            if (buffer_.size() > maxLineLength_) {
                HandleOverlongLine();
                Finish();
                break;
            }
            const QByteArray more = socket_->read(16 * 1024);
            if (more.isEmpty())
                break;
            buffer_ += more;
            continue;
        }
        if (nl > maxLineLength_) {
            HandleOverlongLine();
            Finish();
            break;
        }
        QByteArray line = buffer_.left(nl);
        buffer_.remove(0, nl + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        idle_.start();
        HandleLine(line);
    }
    processing_ = false;
    // A session that finished from inside HandleLine: its last reply may
    // have left meanwhile (the bytesWritten of that was swallowed above), so
    // the end of the stream follows it now, not only after the client closed.
    if (closing_)
        HalfCloseWhenWritten();
}

} // namespace vm
