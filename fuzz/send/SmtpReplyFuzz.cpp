// Fuzzes the SMTP client's reading of server replies: the input is played
// to the client's transport as the server's bytes (fuzz/common/ReplayPeer.h)
// while the client connects, greets, sends one message and says QUIT.
//
// Input: two option bytes, then every byte the server sends.
//   bit 0: HELO only (no EHLO);
//   bit 1: log in (AUTH LOGIN or PLAIN, as the server offers);
//   bit 2: a second recipient (Cc) and a blind copy;
//   bit 3: TLS required (STARTTLS; the handshake itself fails with the test
//          peer, after the reply reading that leads to it);
//   bits 4-7: the transport's line length limit: 0 the default, n > 0
//          gives 4 n (long lines are handed out in pieces).
// Byte 1: how the bytes are split between reads (ReplayPeer's pattern).
//
// Checked beyond the sanitizers: a finished send was answered 250, and the
// capability lines and AUTH mechanisms are single lines.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "../common/ReplayPeer.h"
#include "net/Transport.h"
#include "send/OutgoingMessage.h"
#include "send/SmtpClient.h"

using namespace vm;

namespace {

// Only LF ends a line (a lone CR stays in the text).
bool SingleLine(const QByteArray& text)
{
    return !text.contains('\n');
}

// VELMORA_FUZZ_TRACE=1 tells how each dialogue ended (for writing seeds).
void Trace(const char* text)
{
    static const bool on = qEnvironmentVariableIsSet("VELMORA_FUZZ_TRACE");
    if (on)
        std::fprintf(stderr, "smtp: %s\n", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t options = data[0];
    vm::fuzz::ReplayPeer peer(
        QByteArray(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2)), data[1]);

    OutgoingMessage message;
    message.from = {{"Anna", "anna@example.org"}};
    message.to = {{"", "bob@example.com"}};
    if (options & 0x04) {
        message.cc = {{"Carl", "carl@example.net"}};
        message.bcc = {{"", "hidden@example.com"}};
    }
    message.subject = "Hello";
    message.charset = "utf-8";
    OutgoingText& text = message.AddText();
    text.charset = "utf-8";
    text.SetBodyText(".\n..two\nplain");

    SmtpClient client;
    client.Host = QStringLiteral("smtp.example.com");
    client.GetTransport().SetPeerForTesting(&peer);
    client.HeloName = "client.test";
    client.UseEhlo = (options & 0x01) == 0;
    if (options & 0x02) {
        client.AuthenticationType = atDefault;
        client.Username = "anna";
        client.Password = "secret";
    }
    client.UseTLS = (options & 0x08) ? utUseRequireTLS : utNoTLSSupport;
    const int lineBits = options >> 4;
    client.GetTransport().SetMaxLineLength(lineBits == 0 ? Transport::kDefaultMaxLineLength
                                                         : 4 * lineBits);

    try {
        client.Connect();
        for (const QByteArray& c : client.Capabilities())
            if (!SingleLine(c))
                __builtin_trap();
        for (const QByteArray& m : client.AuthMechanisms())
            if (m.isEmpty() || !SingleLine(m) || m != m.toUpper())
                __builtin_trap();
        client.Send(message);
        if (client.LastReply().code != 250)
            __builtin_trap();
        client.Disconnect();
        Trace("dialogue completed");
    } catch (const NetworkError& e) {
        Trace(qPrintable(e.ClassName() + QStringLiteral(": ") + e.Message()));
    }
    client.Close();
    return 0;
}
