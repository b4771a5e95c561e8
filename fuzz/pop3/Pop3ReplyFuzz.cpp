// Fuzzes the POP3 client's reading of server replies: the input is played
// to the client's transport as the server's bytes (fuzz/common/ReplayPeer.h)
// and read by the real reply readers.
//
// Input: two option bytes, then every byte the server sends.
//   byte 0, bits 0-5: the transport's line length limit: 0 the default,
//                     n > 0 gives n + 1 (long lines are handed out in pieces);
//           bit 6:    log in with APOP instead of USER/PASS (in reader
//                     mode: bound the reply to 256 bytes);
//           bit 7:    reader mode instead of a dialogue (below).
//   byte 1: how the bytes are split between reads (ReplayPeer's pattern).
//
// Dialogue: greeting, CAPA, login, UIDL, LIST, LIST 1, TOP 1 0 and RETR 1
// (sent in one batch when the server offers PIPELINING), DELE 1, QUIT; a
// "-ERR" goes on to the next command, a line that is neither "+OK" nor
// "-ERR" (or a listing that does not match the numbers) ends the dialogue.
// Checked: the APOP timestamp runs in the greeting from the first "<" to
// the first ">" after it, the digest is 32 lower-case hex digits, no UIDL id
// is empty or exceeds what a mailbox file keeps, every LIST size belongs to
// a number UIDL listed, and a retrieved text ends with CR LF.
//
// Reader mode: the bytes are one multi-line reply, read once by
// ReadMultiLine and once by ReadMultiLineText under the same bound on its
// text; both must end at the same terminating "." with the same text, or
// both fail (a reply past the bound fails in both).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "../common/ReplayPeer.h"
#include "mime/MessageRecord.h"
#include "model/Mailbox.h"
#include "net/Transport.h"
#include "pop3/Pop3Client.h"

using namespace vm;
using vm::fuzz::ReplayPeer;

namespace {

// VELMORA_FUZZ_TRACE=1 tells how each run ended (for writing seeds).
void Trace(const char* text)
{
    static const bool on = qEnvironmentVariableIsSet("VELMORA_FUZZ_TRACE");
    if (on)
        std::fprintf(stderr, "pop3: %s\n", text);
}

// A "-ERR" ends one command, not the dialogue.
template <class F>
void Step(F f)
{
    try {
        f();
    } catch (const Pop3ReplyError&) {
    }
}

void CheckApop(const QByteArray& greeting)
{
    const QByteArray stamp = ApopTimestamp(greeting);
    const qsizetype open = greeting.indexOf('<');
    if (stamp.isEmpty()) {
        if (open >= 0 && greeting.indexOf('>', open) >= 0)
            __builtin_trap(); // a timestamp was there
        return;
    }
    if (!stamp.startsWith('<') || !stamp.endsWith('>') || greeting.indexOf(stamp) != open ||
        stamp.indexOf('>') != stamp.size() - 1)
        __builtin_trap();
    const QByteArray digest = ApopDigest(stamp, "secret");
    if (digest.size() != 32)
        __builtin_trap();
    for (char c : digest)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            __builtin_trap();
}

void Dialogue(ReplayPeer& peer, int maxLine, bool apop)
{
    Pop3Client client;
    client.Host = "pop.example.com";
    client.Username = "user";
    client.Password = "secret";
    client.AuthenticationType = apop ? Pop3Client::atAPOP : Pop3Client::atUserPass;
    client.Transport().SetPeerForTesting(&peer);
    client.Transport().SetMaxLineLength(maxLine);
    try {
        client.Connect();
        CheckApop(client.Greeting());
        client.Login();
        int messages = 0;
        Step([&] {
            QList<QByteArray> ids;
            if (client.FetchUidList(ids))
                for (const QByteArray& id : ids)
                    if (id.isEmpty() || id.size() > Mailbox::kMaxUidLength)
                        __builtin_trap();
            messages = int(ids.size());
        });
        Step([&] {
            QHash<int, std::int32_t> sizes;
            client.FetchSizeList(sizes, messages);
            for (auto it = sizes.cbegin(); it != sizes.cend(); ++it)
                if (it.key() < 1 || it.key() > messages || it.value() < -1)
                    __builtin_trap();
        });
        std::int32_t size = 0;
        Step([&] { size = client.MessageSize(1); });
        MessageRecord headers;
        MessageRecord whole;
        whole.size = size;
        if (client.SupportsPipelining()) {
            client.SendHeadersRequest(1);
            client.SendWholeRequest(1);
            Step([&] { client.ReceiveHeaders(1, headers); });
            Step([&] {
                client.ReceiveWholeText(1, whole);
                Pop3Client::FinishWhole(whole);
            });
        } else {
            Step([&] { client.FetchHeaders(1, headers); });
            Step([&] { client.FetchWhole(1, whole); });
        }
        if (!whole.raw.isEmpty() && !whole.raw.endsWith("\r\n"))
            __builtin_trap();
        client.Delete(1);
        client.Disconnect();
        Trace("dialogue completed");
    } catch (const NetworkError& e) {
        Trace(qPrintable(e.ClassName() + QStringLiteral(": ") + e.Message()));
    }
    client.CloseTransport();
}

// The reply as read by one reader; nothing when the read failed.
template <class Read>
std::optional<QByteArray> ReadWith(const QByteArray& stream, std::uint8_t pattern, int maxLine,
                                   Read read)
{
    ReplayPeer peer(stream, pattern);
    Transport transport;
    transport.SetPeerForTesting(&peer);
    transport.SetMaxLineLength(maxLine);
    try {
        transport.Connect(QStringLiteral("pop.example.com"), 110);
        return read(transport);
    } catch (const NetworkError&) {
        return std::nullopt;
    }
}

void Readers(const QByteArray& stream, std::uint8_t pattern, int maxLine, qint64 maxBytes)
{
    const auto joined = ReadWith(stream, pattern, maxLine, [&](Transport& t) {
        QByteArray text;
        for (const QByteArray& line : t.ReadMultiLine(ReplyLimit{maxBytes, maxBytes}))
            text += line + "\r\n";
        return text;
    });
    const auto text = ReadWith(stream, pattern, maxLine,
                               [&](Transport& t) { return t.ReadMultiLineText(maxBytes); });
    Trace(text ? "reader: terminated" : "reader: failed");
    if (joined != text)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t options = data[0];
    const std::uint8_t pattern = data[1];
    const QByteArray stream(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2));
    const int bits = options & 0x3F;
    const int maxLine = bits == 0 ? Transport::kDefaultMaxLineLength : bits + 1;
    if (options & 0x80) {
        Readers(stream, pattern, maxLine, (options & 0x40) ? 256 : Pop3Client::kListingLimit.maxBytes);
    } else {
        ReplayPeer peer(stream, pattern);
        Dialogue(peer, maxLine, (options & 0x40) != 0);
    }
    return 0;
}
