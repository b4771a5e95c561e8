#pragma once
// A small HTTP/1.0 client over a Transport: one GET or form POST, one
// reply, then the server closes the connection. Enough for a short document
// from a known server (the update query, an OAuth token endpoint): no
// redirects, no cookies, no chunked bodies. The status line, the header and
// the body are each read within a bound; time limits are the transport's
// (its connect, read and deadline limits).

#include <QByteArray>
#include <QUrl>

namespace vm {

class Transport;

struct HttpLimits
{
    qint64 maxHeaderBytes = 64 * 1024; // status line and header lines together
    int maxHeaderLines = 100;
    qint64 maxBody = 64 * 1024;
};

// A reply with its status code and body (any status).
struct HttpReply
{
    int status = 0;
    QByteArray contentType; // as sent, lower case, parameters dropped
    QByteArray body;
};

// The request line and header of a POST of form (already
// application/x-www-form-urlencoded) to url, with its Content-Length.
QByteArray HttpPostFormRequest(const QUrl& url, const QByteArray& form);

// Sends a POST of form over the connected transport and returns the reply,
// whatever its status; the same bounds and errors as HttpGet otherwise.
HttpReply HttpPostForm(Transport& transport, const QUrl& url, const QByteArray& form,
                       const HttpLimits& limits = {});

// The request line and header sent for url: "GET <path>?<query> HTTP/1.0"
// with Host, User-Agent, Accept and "Connection: close".
QByteArray HttpGetRequest(const QUrl& url);

// Sends the request for url over the connected transport and returns the
// body of a "200" reply: Content-Length bytes when the header gives a length,
// else everything up to the end of the connection. Throws
// ProtocolReplyError for a malformed reply, any other status or a chunked
// body, ReplyTooLarge when the header or the body passes its bound (a
// Content-Length past the bound is refused before the body is read),
// ConnectionClosed when the body ends before its Content-Length, and the
// transport's own errors.
QByteArray HttpGet(Transport& transport, const QUrl& url, const HttpLimits& limits = {});

} // namespace vm
