#pragma once
// The program's POP3 client. One shared object serves every POP3 operation
// (at most one runs at a time); it is replaced after each operation by
// RecreatePop3Client. The interface thread prepares it for an account
// (ConfigurePop3Client, which may ask for the password), the operation's
// worker thread drives the dialogue (ConnectAndLogin, then the commands),
// and the interface thread may at any time ask for an interrupt or read
// the transport's LastActivityMs.
//
// Every command sends one line and reads one status line. "-ERR" where
// "+OK" is expected raises Pop3ReplyError with the server's text; a line
// that starts with neither closes the connection and raises
// Pop3ProtocolError, since nothing the server sends after it can be trusted
// to answer the command it follows. Multi-line replies are read up to "."
// with dot-unstuffing, each within the bound stated below for its kind;
// past it the read fails with ReplyTooLarge and the connection cannot go on.

#include "net/ConnectionOptions.h"
#include "net/NetErrors.h"
#include "net/Transport.h"
#include "pop3/Pop3Listing.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace vm {

class MessageRecord;
class MailAccount;

class PasswordPrompt;
struct PasswordRequest;

// A POP3 command answered with "-ERR".
class Pop3ReplyError : public ProtocolReplyError
{
public:
    using ProtocolReplyError::ProtocolReplyError;
    QString ClassName() const override { return QStringLiteral("Pop3ReplyError"); }
};

// APOP was chosen but the greeting carries no "<...>" timestamp.
class ApopNotSupported : public NetworkError
{
public:
    using NetworkError::NetworkError;
    QString ClassName() const override { return QStringLiteral("ApopNotSupported"); }
};

// The connection options (ConnectionOptions) are set before Connect; the
// defaults are port 110, SSL version 0 and a connect limit of 60 s.
class Pop3Client : public ConnectionOptions
{
public:
    // atOAuth2: AUTH with a bearer token (OAUTHBEARER or XOAUTH2).
    enum AuthType { atUserPass = 0, atAPOP = 1, atOAuth2 = 2 };

    Pop3Client();
    ~Pop3Client();
    Pop3Client(const Pop3Client&) = delete;
    Pop3Client& operator=(const Pop3Client&) = delete;

    // --- Settings of the next connection, beside ConnectionOptions -----------
    int AuthenticationType = atUserPass; // atOAuth2 takes its token from BearerToken
    // The password prompt's "Remember until shutdown" box was ticked when
    // the password was typed for this operation.
    bool MemorizePassword = false;

    // --- State shared with the interface thread -------------------------------
    // A POP3 operation is running (set and cleared on the interface thread).
    bool Busy = false;
    InterruptState OperationStatus() const { return transport_.OperationStatus(); }
    void SetOperationStatus(InterruptState s) { transport_.SetOperationStatus(s); }
    void ResetOperationStatus() { transport_.SetOperationStatus(osProceed); }
    // osProceed -> osInterrupt; a second request changes nothing. Any thread.
    void RequestInterrupt() { transport_.RequestInterrupt(); }
    // Any status other than osProceed counts as an interrupt request.
    bool InterruptRequested() const { return OperationStatus() != osProceed; }
    vm::Transport& Transport() { return transport_; }

    // --- Bounds of the replies --------------------------------------------------
    // CAPA: a short list of keywords.
    static constexpr ReplyLimit kCapaLimit{64 * 1024, 1000};
    // UIDL and LIST: one line per message of the maildrop.
    static constexpr ReplyLimit kListingLimit{32 << 20, 500000};
    // "TOP n 0": the header block of one message.
    static constexpr qint64 kHeadersLimit = 8 << 20;
    // RETR of a message whose size is unknown (none announced, or 0).
    static constexpr qint64 kUnsizedMessageLimit = 64 << 20;
    // No message is read past this, whatever its announced size.
    static constexpr qint64 kMaxMessageLimit = qint64(1) << 30;
    // The bound on the text of "RETR n" for a message announced with
    // announcedSize bytes: a quarter and 1 MiB over it (servers that count
    // lines with a bare LF announce less than they send), at most
    // kMaxMessageLimit; kUnsizedMessageLimit when no size is known.
    static qint64 WholeMessageLimit(qint64 announcedSize);

    // --- The dialogue (worker thread) -----------------------------------------
    // TCP (and TLS) connect, greeting ("+OK" required, kept for APOP), then
    // "CAPA" (a negative answer is ignored). When CAPA lists "UTF8 USER",
    // "UTF8" follows at once, before the login (whatever the answer).
    void Connect();
    // USER/PASS or APOP (AUTH PLAIN when CAPA offers SASL PLAIN but not
    // USER), or the bearer login of atOAuth2; on failure the connection is
    // closed and the error raised again. When CAPA lists "UTF8" without the
    // "USER" argument, "UTF8" follows a successful login (whatever the
    // answer).
    void Login();
    // What CAPA said about UTF-8 mode (RFC 6856): none, "UTF8" (only after
    // the login) or "UTF8 USER" (also before it).
    enum class Utf8Support { None, AfterLogin, BeforeLogin };
    Utf8Support Utf8Mode() const;
    const QByteArray& Greeting() const { return greeting_; }
    const QList<QByteArray>& Capabilities() const { return capabilities_; }

    // --- SASL (RFC 5034) --------------------------------------------------------
    // The mechanisms CAPA's "SASL" line lists, upper case; empty without one.
    QList<QByteArray> SaslMechanisms() const;
    // CAPA lists USER, or gave no list at all (USER is then assumed).
    bool OffersUser() const;
    // "AUTH mechanism" with response (before base64) as the initial response
    // when the command stays within 255 octets, else after the server's "+"
    // (a long token). "+OK" ends it. A challenge to XOAUTH2 or OAUTHBEARER
    // is the OAuth 2.0 error: it is answered as the RFCs ask and the refusal
    // raises BearerTokenRefused. Any other challenge is cancelled ("*"), and
    // a refusal raises Pop3ReplyError. Each reply is one bounded line; a
    // continuation ("+" or "+ challenge") is allowed only where a challenge
    // may come, and any other line that is not a status line closes the
    // connection with Pop3ProtocolError.
    void Authenticate(const QByteArray& mechanism, const QByteArray& response);
    // The bearer login: OAUTHBEARER or XOAUTH2 as CAPA offers (XOAUTH2 when
    // CAPA names no SASL mechanism), with BearerToken(false); refused with
    // the error challenge, once more with BearerToken(true).
    void LoginWithBearer();
    // The longest AUTH command line with an initial response, CR LF included.
    static constexpr int kMaxAuthLine = 255;

    // Sends line, reads one status line and returns it; throws
    // Pop3ReplyError for "-ERR".
    QByteArray SendCmd(const QByteArray& line);
    // The same, returning "-ERR" lines too.
    QByteArray SendCmdRaw(const QByteArray& line);
    // Reads one status line ("+OK..." or "-ERR..."). Anything else closes
    // the connection and throws Pop3ProtocolError.
    QByteArray ReadStatusLine();

    // "UIDL": the id of every message by number (index + 1 = number), read
    // by UidsByNumber (Pop3ProtocolError for a listing that does not match
    // the numbers). False (nothing raised) when the server refuses, or lists
    // an id too long for a mailbox file (over 65535 bytes).
    bool FetchUidList(QList<QByteArray>& ids);
    // "UIDL" with the lines as the server sent them ("number id").
    bool FetchUidLines(QList<QByteArray>& lines);
    // "LIST n": the size in bytes, or -1 when the reply carries no size. A
    // reply that names another message number closes the connection and
    // throws Pop3ProtocolError.
    std::int32_t MessageSize(int n);
    // "LIST" without an argument: the size of messages 1..messages by
    // number, in one reply, read by SizesByNumber (Pop3ProtocolError for a
    // listing that does not match the numbers). False (nothing raised,
    // dialogue still in step) when the server refuses.
    bool FetchSizeList(QHash<int, std::int32_t>& sizes, int messages);
    // "TOP n 0" / "RETR n" into the record: raw text (each line followed by
    // CR LF), server number, holding flags, parsed headers, receipt state 1
    // when the message asks for a receipt (otherwise left as it is).
    void FetchHeaders(int n, MessageRecord& record);
    void FetchWhole(int n, MessageRecord& record);

    // --- Commands sent ahead of their replies ---------------------------------
    // The server's CAPA reply lists PIPELINING: several commands may be sent
    // before the first reply is read; the replies come back in order.
    bool SupportsPipelining() const;
    // Sends "LIST n", "TOP n 0" or "RETR n" without reading the reply; each
    // must be matched, in order, by the Receive call of the same kind. The
    // commands are queued and leave together when a reply is waited for.
    void SendSizeRequest(int n);
    void SendHeadersRequest(int n);
    void SendWholeRequest(int n);
    // The reply of the oldest sent command, with the same results and
    // errors as MessageSize, FetchHeaders and FetchWhole. A "-ERR" consumes
    // only that reply, so the following ones can still be read; a line that
    // is no status line at all (Pop3ProtocolError) leaves every later reply
    // unread and the connection closed.
    std::int32_t ReceiveSize(int n);
    void ReceiveHeaders(int n, MessageRecord& record);
    void ReceiveWhole(int n, MessageRecord& record);
    // ReceiveWhole in two halves, so the parsing can run on another thread
    // while the next replies are read: the text, server number and holding
    // flags; then (any thread, one record at a time) the parse, the dropped
    // body parts and the receipt state. A size already in the record (from
    // LIST) sets aside room for the text.
    void ReceiveWholeText(int n, MessageRecord& record);
    static void FinishWhole(MessageRecord& record);

    // "DELE n": true when the server answers "+OK".
    bool Delete(int n);
    // "QUIT" (expecting "+OK") and close.
    void Disconnect();
    // Closes without "QUIT" (the server then discards this connection's
    // deletions). Never throws.
    void CloseTransport();

private:
    // Sends a line of an AUTH dialogue and reads the reply: a status line or
    // a continuation. Anything else closes the connection and throws
    // Pop3ProtocolError.
    QByteArray SendAuthLine(const QByteArray& line);

    vm::Transport transport_;
    QByteArray greeting_;
    QList<QByteArray> capabilities_;
};


// The timestamp of an APOP greeting: from the first "<" to the first ">"
// after it, both included; empty when there is none.
QByteArray ApopTimestamp(const QByteArray& greeting);
// Lower-case hex MD5 of timestamp followed by password.
QByteArray ApopDigest(const QByteArray& timestamp, const QByteArray& password);

// The shared client; created on first use.
Pop3Client& SharedPop3Client();
// Replaces the shared client by a new one, keeping its busy flag and
// operation status (so an interrupt survives into a loop over accounts).
// Interface thread, while no worker runs.
void RecreatePop3Client();

// What the password prompt shows for account's POP3 login.
PasswordRequest Pop3PasswordRequest(const MailAccount& account);

// Prepares client for account. Password: the stored one; else the session
// password when it is valid; else the prompt (empty passwords allowed) -
// false when the prompt is cancelled, and then nothing else is changed.
// Then user, host, port, APOP, TLS and its version from the account, the
// connect limit, and the operation status osProceed.
bool ConfigurePop3Client(Pop3Client& client, MailAccount& account, int connectTimeoutSeconds,
                         PasswordPrompt& prompt);
// The same for the shared client, with the setting ConnectTimeout and the
// installed password prompt.
bool ConfigurePop3Client(MailAccount& account);

// The first step of every POP3 worker: status "Connecting to server
// (account: %s)", connect, greeting, CAPA, login. After a successful login
// with a typed password whose remember box was ticked (and no stored
// password), the password becomes the account's valid session password.
void ConnectAndLogin(Pop3Client& client, MailAccount& account,
                     const std::function<void(const QString&)>& status);

// (MAINWND, LoggingToServer) "Connecting to server (account: %s)".
QString StatusLoggingToServer(const QString& displayName);

} // namespace vm
