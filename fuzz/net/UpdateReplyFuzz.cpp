// Fuzzes the update query's reply reading: the input is played to the
// transport as the server's bytes (fuzz/common/ReplayPeer.h), read by the
// HTTP GET under small bounds, and the body is parsed as an update reply.
//
// Input: one byte for how the bytes are split between reads (ReplayPeer's
// pattern), then every byte the server sends.
//
// Checked: a body that is returned is within its bound; the lines of a body
// joined again with LF give the body with every line break written as LF
// (less a final one); an offer's address has the digest of its line 3 and no
// control characters.

#include <cstddef>
#include <cstdint>

#include <QCryptographicHash>

#include "../common/ReplayPeer.h"
#include "net/HttpGet.h"
#include "net/NetErrors.h"
#include "net/Transport.h"
#include "ops/UpdateCheck.h"

using namespace vm;
using vm::fuzz::ReplayPeer;

namespace {

QByteArray BreaksAsLf(QByteArray body)
{
    body.replace("\r\n", "\n");
    body.replace('\r', '\n');
    if (body.endsWith('\n'))
        body.chop(1);
    return body;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    ReplayPeer peer(bytes, data[0]);
    Transport transport;
    transport.SetPeerForTesting(&peer);
    HttpLimits limits;
    limits.maxHeaderBytes = 4096;
    limits.maxHeaderLines = 20;
    limits.maxBody = 8192;
    QByteArray body;
    try {
        transport.Connect(QStringLiteral("updates.example.org"), 443);
        body = HttpGet(transport, QUrl(QStringLiteral("https://updates.example.org/u.php?a=b")),
                       limits);
    } catch (const NetworkError&) {
        return 0;
    }
    if (body.size() > limits.maxBody)
        __builtin_trap();
    const QList<QByteArray> lines = SplitReplyLines(body);
    if (lines.join('\n') != BreaksAsLf(body))
        __builtin_trap();
    if (const auto offer = ParseUpdateReply(body)) {
        const QByteArray address = lines.value(1);
        if (offer->address != QString::fromUtf8(address) ||
            QCryptographicHash::hash(address, QCryptographicHash::Md5).toHex() !=
                lines.value(2).toLower())
            __builtin_trap();
        for (const char c : address)
            if (static_cast<unsigned char>(c) < 0x20)
                __builtin_trap();
    }
    return 0;
}
