#include "oauth/RedirectListener.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace vm {

namespace {

QByteArray Page(const QString& title, const QString& text)
{
    const QString html = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                                        "<title>%1</title></head><body><h1>%1</h1><p>%2</p>"
                                        "</body></html>")
                             .arg(title.toHtmlEscaped(), text.toHtmlEscaped());
    return html.toUtf8();
}

QByteArray Reply(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.0 " + status +
           "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
           "Connection: close\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// Hands the answer to the system at once and closes: a small page fits the
// socket's buffer, so it reaches the browser even when this program ends
// right after (a command that signed in) or the listener goes away.
void SendAndClose(QTcpSocket* socket, const QByteArray& bytes)
{
    socket->write(bytes);
    socket->flush();
    socket->setParent(nullptr);
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(RedirectListener::kRequestTimeMs, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
}

} // namespace

RedirectListener::RedirectListener(QObject* parent) : QObject(parent)
{
}

RedirectListener::~RedirectListener()
{
    Close();
}

bool RedirectListener::Listen(QString* error)
{
    Close();
    server_ = new QTcpServer(this);
    server_->setMaxPendingConnections(kMaxConnections);
    if (!server_->listen(QHostAddress::LocalHost, 0)) {
        if (error)
            *error = server_->errorString();
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QTcpServer::newConnection, this, &RedirectListener::Accept);
    return true;
}

bool RedirectListener::Listening() const
{
    return server_ && server_->isListening();
}

QString RedirectListener::RedirectUri() const
{
    return server_ ? QStringLiteral("http://127.0.0.1:%1/").arg(server_->serverPort()) : QString();
}

void RedirectListener::Accept()
{
    while (server_ && server_->hasPendingConnections()) {
        QTcpSocket* socket = server_->nextPendingConnection();
        // The connection outlives the server, which closes at the redirect.
        socket->setParent(this);
        if (sockets_.size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        sockets_.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket != answering_)
                Drop(socket);
        });
        // A connection that never completes its request is not waited for.
        QTimer::singleShot(kRequestTimeMs, this, [this, socket] {
            if (socket != answering_)
                Drop(socket);
        });
    }
}

void RedirectListener::Drop(QTcpSocket* socket)
{
    buffers_.remove(socket);
    if (!sockets_.removeOne(socket))
        return;
    socket->abort();
    socket->deleteLater();
}

void RedirectListener::Answer(QTcpSocket* socket, const QByteArray& status)
{
    buffers_.remove(socket);
    sockets_.removeOne(socket);
    SendAndClose(socket, Reply(status, Page(QString::fromLatin1(status), QString())));
}

void RedirectListener::Read(QTcpSocket* socket)
{
    if (!sockets_.contains(socket) || socket == answering_)
        return;
    QByteArray& buffer = buffers_[socket];
    buffer += socket->read(kMaxRequestBytes + 1 - buffer.size());
    if (buffer.size() > kMaxRequestBytes) {
        Answer(socket, "431 Request Header Fields Too Large");
        return;
    }
    if (!buffer.contains("\r\n\r\n") && !buffer.contains("\n\n"))
        return; // the request is not complete yet
    const QList<QByteArray> parts = buffer.left(buffer.indexOf('\n')).trimmed().split(' ');
    if (parts.size() != 3 || parts[0] != "GET" || !parts[2].startsWith("HTTP/1.")) {
        Answer(socket, "400 Bad Request");
        return;
    }
    const QByteArray target = parts[1];
    if (!target.startsWith("/?") && target != "/") {
        Answer(socket, "404 Not Found");
        return;
    }
    // The redirect: nothing else is listened to from now on.
    answering_ = socket;
    buffers_.clear();
    if (server_) {
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
    }
    for (QTcpSocket* other : std::as_const(sockets_)) {
        if (other == socket)
            continue;
        other->abort();
        other->deleteLater();
    }
    sockets_ = {socket};
    emit redirected(target);
}

void RedirectListener::Respond(const QString& title, const QString& text)
{
    if (!answering_)
        return;
    QTcpSocket* socket = answering_;
    answering_ = nullptr;
    sockets_.removeOne(socket);
    SendAndClose(socket, Reply("200 OK", Page(title, text)));
}

void RedirectListener::Close()
{
    if (server_) {
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
    }
    for (QTcpSocket* s : std::as_const(sockets_)) {
        s->abort();
        s->deleteLater();
    }
    sockets_.clear();
    buffers_.clear();
    answering_ = nullptr;
}

} // namespace vm
