#pragma once
// The sample mail of the demo, made in code so every date is recent and
// nothing binary is kept in the tree: plain and HTML messages, a newsletter
// with remote pictures, inline pictures, attachments of several types,
// senders and subjects in several languages and scripts, a message larger
// than the demo's download limit, high and low priority, a return-receipt
// request and a long thread.

#include <QByteArray>
#include <QDateTime>
#include <QList>

namespace vm {

struct DemoSample
{
    QByteArray uid;
    QByteArray text; // lines ended by CR LF
};

struct DemoRecipient
{
    QByteArray name;    // UTF-8
    QByteArray address; // without angle brackets
};

// The messages waiting in the main demo mailbox at start; ids stay the same
// from one run to the next. The newsletter's pictures and links point at
// webBase ("http://127.0.0.1:PORT", the demo's web server).
QList<DemoSample> DemoMainSamples(const DemoRecipient& to, const QDateTime& now,
                                  const QByteArray& webBase = "http://demo.invalid");
// The few messages of the second (TLS) demo mailbox.
QList<DemoSample> DemoSecondSamples(const DemoRecipient& to, const QDateTime& now);
// The n-th message that arrives while the demo runs (n counts from 0).
QByteArray DemoArrival(int n, const DemoRecipient& to, const QDateTime& now);

// The size of the large sample's attachment, well above the demo's
// download limit.
inline constexpr int kDemoLargeAttachmentBytes = 700 * 1024;

// What the demo's web server answers for a path (with its query): the
// newsletter's pictures, its tracking pixel and its pages. Empty for any
// other path (the server answers 404).
QByteArray DemoWebResource(const QByteArray& path, QByteArray& contentType);

// Building blocks, exposed for tests.
QByteArray DemoPng(int width, int height, quint32 seed);
QByteArray DemoZip(const QByteArray& fileName, const QByteArray& content);
QByteArray EncodedWord(const QString& text);

} // namespace vm
