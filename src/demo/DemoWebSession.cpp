#include "demo/DemoWebSession.h"

#include "demo/DemoSamples.h"

namespace vm {

DemoWebSession::DemoWebSession(qintptr descriptor, const DemoServerContext& context,
                               QObject* parent)
    : DemoSession(descriptor, context, false, kMaxLine, parent)
{
}

void DemoWebSession::Answer(const QByteArray& status, const QByteArray& type,
                            const QByteArray& body)
{
    const bool head = requestLine_.startsWith("HEAD ");
    Send("HTTP/1.0 " + status + "\r\nContent-Type: " + type +
         "\r\nContent-Length: " + QByteArray::number(body.size()) +
         "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + (head ? QByteArray() : body));
    Finish();
}

void DemoWebSession::HandleLine(const QByteArray& line)
{
    if (requestLine_.isEmpty()) {
        if (line.isEmpty())
            return; // blank lines before a request are allowed
        requestLine_ = line;
        return;
    }
    if (!line.isEmpty()) {
        if (++headerLines_ > kMaxHeaderLines)
            Answer("431 Request Header Fields Too Large", "text/plain", "Too many header lines\n");
        return;
    }
    // The header ended: "METHOD TARGET VERSION".
    const QList<QByteArray> parts = requestLine_.split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/") || !parts[1].startsWith('/')) {
        Answer("400 Bad Request", "text/plain", "Bad request\n");
        return;
    }
    if (parts[0] != "GET" && parts[0] != "HEAD") {
        Answer("405 Method Not Allowed", "text/plain", "Only GET and HEAD\n");
        return;
    }
    QByteArray type;
    const QByteArray body = DemoWebResource(parts[1], type);
    if (body.isEmpty())
        Answer("404 Not Found", "text/plain", "Not found\n");
    else
        Answer("200 OK", type, body);
}

void DemoWebSession::HandleOverlongLine()
{
    Answer("431 Request Header Fields Too Large", "text/plain", "Line too long\n");
}

} // namespace vm
