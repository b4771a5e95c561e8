#pragma once
// The program's SMTP client. It talks through the shared network transport
// (time limits, STARTTLS with certificate checks, interrupt and abort from
// the interface thread, LastActivity), and sends an OutgoingMessage written
// by the MIME writer.
//
// Dialogue: TLS from the first byte on port 465; greeting 220; EHLO (HELO
// when EHLO is refused) with the host's fully qualified name or the address
// literal of the local end; STARTTLS when the TLS use asks for it; AUTH
// LOGIN, or AUTH PLAIN when LOGIN is not offered (AUTH OAUTHBEARER or
// XOAUTH2 with a bearer token for an OAuth 2.0 account); RSET, MAIL FROM, RCPT TO
// for To, Cc and Bcc, DATA (in one batch when the server offers PIPELINING),
// the message, "."; QUIT, also after a refusal that leaves the server
// waiting for a command.
//
// Credentials never travel in clear unless the account asks for no
// encryption: "STARTTLS when possible" that finds no STARTTLS offer goes on
// in plain text only when no AUTH is to be sent.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>

#include "core/DateTime.h"
#include "net/ConnectionOptions.h"
#include "net/NetErrors.h"
#include "net/Transport.h"

namespace vm {

class MailAccount;
class OutgoingMessage;

// A reply the dialogue cannot go on with. The message is the server's reply
// (code and text); Code() the three-digit code (0 for a malformed reply).
class SmtpReplyError : public ProtocolReplyError
{
public:
    SmtpReplyError(int code, const QString& message)
        : ProtocolReplyError(message), code_(code)
    {
    }
    QString ClassName() const override { return QStringLiteral("SmtpReplyError"); }
    int Code() const { return code_; }

private:
    int code_;
};

// The server cannot give the protection or authentication the account asks
// for (no STARTTLS with TLS "always", no usable AUTH mechanism).
VM_DECLARE_NET_ERROR(SmtpSecurityError, NetworkError);

enum SmtpTlsUse { utNoTLSSupport, utUseExplicitTLS, utUseRequireTLS };
// atOAuth2: AUTH OAUTHBEARER or XOAUTH2 with a bearer token.
enum SmtpAuthType { atNone, atDefault, atOAuth2 };

struct SmtpReply
{
    int code = 0;
    QList<QByteArray> lines; // text of each line, without code and separator
    QByteArray Text() const; // "code text" of every line, joined by blanks
};

// The connection options (ConnectionOptions) are set before Connect; the
// defaults are port 25 and a connect limit of 10 s.
class SmtpClient : public ConnectionOptions
{
public:
    SmtpClient();
    ~SmtpClient();
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;

    // --- Settings beside ConnectionOptions (ConfigureSMTP fills them all) -----
    // Port 465 is SMTP over TLS from the first byte (ConfigureSMTP sets
    // ImplicitTls for it); no STARTTLS is asked for on such a connection.
    SmtpAuthType AuthenticationType = atNone; // atOAuth2 takes its token from BearerToken
    SmtpTlsUse UseTLS = utNoTLSSupport;       // STARTTLS
    QByteArray MailAgent = "Velmora";         // written as "X-Mailer"
    bool UseEhlo = true;
    QByteArray HeloName;   // empty: EhloDomain of this host and connection
    std::uint8_t Busy = 0; // not used by the send path

    // --- Dialogue (worker thread) ---------------------------------------------
    // Connects within the connect limit, reads the greeting (220) and says
    // EHLO, falling back to HELO.
    void Connect();
    // STARTTLS and authentication as configured (once per connection), then
    // the transfer of one message. Throws on any failure.
    void Send(OutgoingMessage& message);
    // QUIT (221) and close.
    void Disconnect();
    // After a failure: when the last reply left the server waiting for a
    // command (a refused AUTH, STARTTLS or any other command), says QUIT and
    // waits a few seconds for the answer; then closes. Never throws.
    void EndAfterFailure();
    // Closes the connection without QUIT. Never throws.
    void Close();

    // --- State ----------------------------------------------------------------
    Transport& GetTransport() { return transport_; }
    qint64 LastActivityMs() const { return transport_.LastActivityMs(); }
    InterruptState OperationStatus() const { return transport_.OperationStatus(); }
    // The capability lines of the last EHLO (keywords and their parameters).
    const QList<QByteArray>& Capabilities() const { return capabilities_; }
    bool HasCapability(const QByteArray& keyword) const;
    // The AUTH mechanisms offered (upper case).
    QList<QByteArray> AuthMechanisms() const;
    // The reply to the last command ("." after a send: the server's final word).
    const SmtpReply& LastReply() const { return lastReply_; }
    bool Encrypted() const { return transport_.Encrypted(); }

    // The message text as it goes after DATA: every line starting with "."
    // gets a second one, the text ends with CR LF, then ".".
    static QByteArray DotStuff(const QByteArray& text);

    // The name EHLO and HELO carry: the host name when it is fully qualified,
    // else the host name with the local domain when there is one, else the
    // address literal of the local end ("[127.0.0.1]", "[IPv6:...]").
    static QByteArray EhloDomain(const QString& hostName, const QString& domainName,
                                 const QHostAddress& localAddress);

    // Bounds of one reply; a longer reply is an SmtpReplyError and the
    // connection is dropped.
    static constexpr int kMaxReplyLines = 1000;
    static constexpr qsizetype kMaxReplyBytes = 4 * 1024 * 1024;
    // The port of SMTP over TLS from the first byte.
    static constexpr quint16 kImplicitTlsPort = 465;
    // The longest AUTH command with an initial response, CR LF included
    // (RFC 4954: longer responses follow the server's 334).
    static constexpr int kMaxAuthLine = 512;

private:
    SmtpReply ReadReply();
    SmtpReply Command(const QByteArray& line, const QList<int>& accepted);
    static void Expect(const SmtpReply& reply, const QList<int>& accepted);
    void WriteCommand(const QByteArray& line);
    void Greet();
    void StartTlsIfWanted();
    bool WillAuthenticate() const;
    void Authenticate();
    void AuthenticateBearer();
    // One AUTH exchange of a bearer mechanism; BearerTokenRefused when the
    // server answers with the OAuth 2.0 error challenge.
    void BearerExchange(const QByteArray& mechanism, const QByteArray& response);
    void Transfer(OutgoingMessage& message);

    Transport transport_;
    QList<QByteArray> capabilities_;
    SmtpReply lastReply_;
    // The last reply ended a command and the server waits for the next one.
    bool awaitingCommand_ = false;
    bool secured_ = false;
    bool authenticated_ = false;
};

// Loads the account's SMTP settings into the client: password (the stored
// one, else a valid session password, else the password prompt; for an
// OAuth 2.0 account none, its access token instead), user name,
// host and port (465: TLS from the first byte), TLS use, SSL version, EHLO,
// operation status reset. False only when the user cancelled the password
// prompt.
bool ConfigureSMTP(SmtpClient& client, MailAccount& account);

} // namespace vm
