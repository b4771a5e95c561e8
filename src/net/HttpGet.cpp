#include "net/HttpGet.h"

#include "core/AppInfo.h"
#include "net/NetErrors.h"
#include "net/Transport.h"

#include <QRegularExpression>

namespace vm {

namespace {

QByteArray HostHeader(const QUrl& url)
{
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']'; // an IPv6 literal
    const int port = url.port();
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : 80;
    if (port >= 0 && port != defaultPort)
        host += ':' + QByteArray::number(port);
    return host;
}

QByteArray RequestTarget(const QUrl& url)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    return target;
}

} // namespace

QByteArray HttpGetRequest(const QUrl& url)
{
    QByteArray request = "GET " + RequestTarget(url) + " HTTP/1.0\r\n";
    request += "Host: " + HostHeader(url) + "\r\n";
    request += "User-Agent: Velmora/" + AppInfo::BareVersion().toLatin1() + "\r\n";
    request += "Accept: */*\r\n";
    request += "Connection: close\r\n\r\n";
    return request;
}

namespace {

// Reads a reply of the request already sent: status line, header, body.
HttpReply ReadReply(Transport& transport, const HttpLimits& limits)
{
    qint64 headerBytes = 0;
    auto readHeaderLine = [&] {
        QByteArray line = transport.ReadReplyLine();
        headerBytes += line.size() + 2;
        if (headerBytes > limits.maxHeaderBytes)
            throw ReplyTooLarge(
                QStringLiteral("HTTP header longer than %1 bytes.").arg(limits.maxHeaderBytes));
        return line;
    };

    static const QRegularExpression statusLine(QStringLiteral("^HTTP/\\d\\.\\d (\\d{3})(?: .*)?$"));
    const QByteArray status = readHeaderLine();
    const auto match = statusLine.match(QString::fromLatin1(status));
    if (!match.hasMatch())
        throw ProtocolReplyError(QStringLiteral("Not an HTTP reply."));
    HttpReply reply;
    reply.status = match.captured(1).toInt();

    qint64 contentLength = -1;
    for (int lines = 0;; ++lines) {
        const QByteArray line = readHeaderLine();
        if (line.isEmpty())
            break;
        if (lines >= limits.maxHeaderLines)
            throw ReplyTooLarge(
                QStringLiteral("HTTP header of more than %1 lines.").arg(limits.maxHeaderLines));
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            throw ProtocolReplyError(QStringLiteral("Malformed HTTP header line."));
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "transfer-encoding" && value.toLower() != "identity")
            throw ProtocolReplyError(QStringLiteral("Unsupported HTTP transfer encoding."));
        if (name == "content-type")
            reply.contentType = value.split(';').first().trimmed().toLower();
        if (name == "content-length") {
            bool ok = false;
            const qint64 length = value.toLongLong(&ok);
            if (!ok || length < 0 || (contentLength >= 0 && length != contentLength))
                throw ProtocolReplyError(QStringLiteral("Malformed HTTP Content-Length."));
            contentLength = length;
        }
    }
    if (contentLength > limits.maxBody)
        throw ReplyTooLarge(QStringLiteral("HTTP body longer than %1 bytes.").arg(limits.maxBody));

    QByteArray& body = reply.body;
    const qint64 wanted = contentLength >= 0 ? contentLength : limits.maxBody + 1;
    while (body.size() < wanted) {
        const QByteArray more = transport.ReadSome(wanted - body.size());
        if (more.isEmpty())
            break; // the server closed the connection
        body += more;
    }
    if (contentLength < 0 && body.size() > limits.maxBody)
        throw ReplyTooLarge(QStringLiteral("HTTP body longer than %1 bytes.").arg(limits.maxBody));
    if (contentLength >= 0 && body.size() < contentLength)
        throw ConnectionClosed(QStringLiteral("HTTP body ended before its announced length."));
    return reply;
}

} // namespace

QByteArray HttpGet(Transport& transport, const QUrl& url, const HttpLimits& limits)
{
    transport.Write(HttpGetRequest(url));
    const HttpReply reply = ReadReply(transport, limits);
    if (reply.status != 200)
        throw ProtocolReplyError(QStringLiteral("HTTP status %1.").arg(reply.status));
    return reply.body;
}

QByteArray HttpPostFormRequest(const QUrl& url, const QByteArray& form)
{
    QByteArray request = "POST " + RequestTarget(url) + " HTTP/1.0\r\n";
    request += "Host: " + HostHeader(url) + "\r\n";
    request += "User-Agent: Velmora/" + AppInfo::BareVersion().toLatin1() + "\r\n";
    request += "Accept: application/json\r\n";
    request += "Content-Type: application/x-www-form-urlencoded\r\n";
    request += "Content-Length: " + QByteArray::number(form.size()) + "\r\n";
    request += "Connection: close\r\n\r\n";
    return request + form;
}

HttpReply HttpPostForm(Transport& transport, const QUrl& url, const QByteArray& form,
                       const HttpLimits& limits)
{
    transport.Write(HttpPostFormRequest(url, form));
    return ReadReply(transport, limits);
}

} // namespace vm
