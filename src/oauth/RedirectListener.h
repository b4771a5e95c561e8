#pragma once
// The one-shot listener that receives the browser's redirect after a
// sign-in (RFC 8252, loopback redirect): HTTP on 127.0.0.1, on a port the
// system picks, for one request to "/". Requests for other paths (a
// browser's favicon) get 404 and do not count; the first request to "/"
// ends the listening at once, and every other connection is closed. Each
// request is read within 16 KiB and 10 seconds; at most 8 connections are
// kept open at a time.
//
// Runs on the interface thread's event loop.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

namespace vm {

class RedirectListener : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxRequestBytes = 16 * 1024;
    static constexpr int kRequestTimeMs = 10000;
    static constexpr int kMaxConnections = 8;

    explicit RedirectListener(QObject* parent = nullptr);
    ~RedirectListener() override;

    // Starts listening on 127.0.0.1. False (with the reason) when no port
    // can be had.
    bool Listen(QString* error = nullptr);
    bool Listening() const;
    // "http://127.0.0.1:PORT/".
    QString RedirectUri() const;

    // Answers the request that redirected with an HTML page of title and
    // text (plain texts, escaped here) and closes its connection.
    void Respond(const QString& title, const QString& text);
    // Stops listening and closes every connection (a request waiting for
    // its answer gets none).
    void Close();

signals:
    // The first request to "/": its target ("/?code=...&state=...").
    void redirected(const QByteArray& target);

private:
    void Accept();
    void Read(QTcpSocket* socket);
    void Drop(QTcpSocket* socket);
    // Answers a request that is not the redirect with status and closes it.
    void Answer(QTcpSocket* socket, const QByteArray& status);

    QTcpServer* server_ = nullptr;
    QList<QTcpSocket*> sockets_;
    QHash<QTcpSocket*, QByteArray> buffers_; // requests being read
    QTcpSocket* answering_ = nullptr; // the redirect's connection
};

} // namespace vm
