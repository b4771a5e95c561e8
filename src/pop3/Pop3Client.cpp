#include "pop3/Pop3Client.h"

#include "config/Settings.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "net/Credentials.h"
#include "net/PasswordPrompt.h"
#include "net/Sasl.h"
#include "oauth/AccountTokens.h"

#include <QCryptographicHash>

#include <algorithm>

namespace vm {

namespace {

QByteArray NumberCmd(const char* cmd, int n)
{
    return QByteArray(cmd) + QByteArray::number(n);
}

bool IsOk(const QByteArray& reply)
{
    return reply.startsWith("+OK");
}

// The server's text of a negative reply, without its "-ERR".
QString ReplyText(const QByteArray& reply)
{
    QByteArray text = reply;
    if (text.startsWith("-ERR"))
        text = text.mid(4).trimmed();
    if (text.isEmpty())
        text = reply;
    return QString::fromUtf8(text);
}

void TakeReceiptRequest(MessageRecord& record)
{
    if (!record.DispositionNotificationTo().isEmpty())
        record.receiptState = 1;
}

} // namespace

Pop3Client::Pop3Client()
{
    Port = 110;
    SSLVersion = 0;
    ConnectTimeoutMs = 60000;
    transport_.SetMaxLineLength(vm::Transport::kDefaultMaxLineLength);
}

Pop3Client::~Pop3Client() = default;

qint64 Pop3Client::WholeMessageLimit(qint64 announcedSize)
{
    if (announcedSize <= 0)
        return kUnsizedMessageLimit;
    return std::min(announcedSize + announcedSize / 4 + (1 << 20), kMaxMessageLimit);
}

Pop3Client::Utf8Support Pop3Client::Utf8Mode() const
{
    for (const QByteArray& cap : capabilities_) {
        const QList<QByteArray> words = cap.simplified().toUpper().split(' ');
        if (words.first() != "UTF8")
            continue;
        return words.contains("USER") ? Utf8Support::BeforeLogin : Utf8Support::AfterLogin;
    }
    return Utf8Support::None;
}

void Pop3Client::Connect()
{
    greeting_.clear();
    capabilities_.clear();
    transport_.Connect(*this);
    greeting_ = ReadStatusLine();
    if (!IsOk(greeting_)) {
        const QByteArray greeting = greeting_;
        CloseTransport();
        throw Pop3ReplyError(ReplyText(greeting));
    }
    if (IsOk(SendCmdRaw("CAPA")))
        capabilities_ = transport_.ReadMultiLine(kCapaLimit);
    // Without UTF-8 mode a server may hold back every message whose header
    // carries raw UTF-8; the messages are decoded the same either way.
    if (Utf8Mode() == Utf8Support::BeforeLogin)
        SendCmdRaw("UTF8");
}

void Pop3Client::Login()
{
    try {
        // Nothing of a login or password with a line break goes out.
        CheckCredentials(Username, Password);
        if (AuthenticationType == atOAuth2) {
            LoginWithBearer();
        } else if (AuthenticationType == atAPOP) {
            const QByteArray stamp = vm::ApopTimestamp(greeting_);
            if (stamp.isEmpty())
                throw ApopNotSupported(
                    QStringLiteral("Server do not support APOP (no timestamp)"));
            SendCmd("APOP " + Username + ' ' + vm::ApopDigest(stamp, Password));
        } else if (!OffersUser() && SaslMechanisms().contains("PLAIN")) {
            Authenticate("PLAIN", SaslPlain(Username, Password));
        } else {
            SendCmd("USER " + Username);
            SendCmd("PASS " + Password);
        }
        if (Utf8Mode() == Utf8Support::AfterLogin)
            SendCmdRaw("UTF8");
    } catch (...) {
        CloseTransport();
        throw;
    }
}

QByteArray Pop3Client::ReadStatusLine()
{
    const QByteArray line = transport_.ReadReplyLine();
    if (IsStatusLine(line))
        return line;
    CloseTransport();
    throw Pop3ProtocolError(InvalidStatusLineText(line));
}

namespace {

// A continuation line of an AUTH dialogue: "+", alone or with a space and
// the challenge.
bool IsContinuationLine(const QByteArray& line)
{
    return line == "+" || line.startsWith("+ ");
}

} // namespace

QByteArray Pop3Client::SendAuthLine(const QByteArray& line)
{
    transport_.WriteLine(line);
    const QByteArray reply = transport_.ReadReplyLine();
    if (IsStatusLine(reply) || IsContinuationLine(reply))
        return reply;
    CloseTransport();
    throw Pop3ProtocolError(Pop3ErrorText(
        "InvalidAuthReply",
        "The server answered \"%s\" where \"+OK\", \"-ERR\" or a \"+ \" continuation was "
        "due; connection closed.",
        {ServerLineExcerpt(reply)}));
}

QList<QByteArray> Pop3Client::SaslMechanisms() const
{
    for (const QByteArray& cap : capabilities_) {
        QList<QByteArray> words = cap.simplified().toUpper().split(' ');
        if (words.first() == "SASL") {
            words.removeFirst();
            return words;
        }
    }
    return {};
}

bool Pop3Client::OffersUser() const
{
    if (capabilities_.isEmpty())
        return true;
    for (const QByteArray& cap : capabilities_)
        if (cap.simplified().toUpper() == "USER")
            return true;
    return false;
}

void Pop3Client::Authenticate(const QByteArray& mechanism, const QByteArray& response)
{
    // RFC 5034: an empty initial response is sent as "=".
    const QByteArray encoded = response.toBase64();
    const QByteArray withInitial =
        "AUTH " + mechanism + ' ' + (encoded.isEmpty() ? QByteArray("=") : encoded);
    QByteArray reply;
    if (withInitial.size() + 2 <= kMaxAuthLine) {
        reply = SendAuthLine(withInitial);
    } else {
        reply = SendAuthLine("AUTH " + mechanism);
        if (!IsContinuationLine(reply))
            throw Pop3ReplyError(ReplyText(reply));
        reply = SendAuthLine(encoded);
    }
    if (IsOk(reply))
        return;
    if (!IsContinuationLine(reply))
        throw Pop3ReplyError(ReplyText(reply));

    const bool bearer = mechanism == "XOAUTH2" || mechanism == "OAUTHBEARER";
    const BearerChallenge challenge = ParseBearerChallenge(reply.mid(1));
    if (bearer && challenge.valid) {
        const QByteArray final = SendCmdRaw(SaslBearerErrorAnswer(mechanism).toBase64());
        if (IsOk(final))
            return;
        throw BearerTokenRefused(
            QStringLiteral("The server refused the access token (%1): %2")
                .arg(QString::fromUtf8(challenge.status), ReplyText(final)),
            challenge.status);
    }
    // Nothing this client could answer: the exchange is cancelled. The
    // replies to the error answer and to "*" end the dialogue, so they are
    // status lines (SendCmdRaw): one more challenge is a protocol error.
    const QByteArray final = SendCmdRaw("*");
    throw Pop3ReplyError(ReplyText(IsOk(final) ? reply : final));
}

void Pop3Client::LoginWithBearer()
{
    const QList<QByteArray> offered = SaslMechanisms();
    QByteArray mechanism = ChooseBearerMechanism(offered);
    if (mechanism.isEmpty()) {
        if (!offered.isEmpty())
            throw Pop3ReplyError(QStringLiteral(
                "The POP3 server offers no OAuth 2.0 login (XOAUTH2 or OAUTHBEARER)."));
        mechanism = "XOAUTH2";
    }
    LoginWithBearerToken(*this, mechanism,
                         [this](const QByteArray& m, const QByteArray& r) { Authenticate(m, r); });
}

QByteArray Pop3Client::SendCmdRaw(const QByteArray& line)
{
    transport_.WriteLine(line);
    return ReadStatusLine();
}

QByteArray Pop3Client::SendCmd(const QByteArray& line)
{
    const QByteArray reply = SendCmdRaw(line);
    if (!IsOk(reply))
        throw Pop3ReplyError(ReplyText(reply));
    return reply;
}

bool Pop3Client::FetchUidLines(QList<QByteArray>& lines)
{
    lines.clear();
    if (!IsOk(SendCmdRaw("UIDL")))
        return false;
    lines = transport_.ReadMultiLine(kListingLimit);
    return true;
}

bool Pop3Client::FetchUidList(QList<QByteArray>& ids)
{
    QList<QByteArray> lines;
    ids.clear();
    if (!FetchUidLines(lines))
        return false;
    ids = UidsByNumber(lines);
    // An id longer than a mailbox file keeps would come back cut, and its
    // message would be new again after every start: such a list is unusable.
    for (const QByteArray& id : ids) {
        if (id.size() > Mailbox::kMaxUidLength) {
            ids.clear();
            return false;
        }
    }
    return true;
}

namespace {

// The reply of "LIST n" ("+OK n size"): the second token, or -1. A first
// token that is a number other than n means the reply belongs to another
// command: the dialogue is out of step.
std::int32_t SizeFromListReply(const QByteArray& reply, int n)
{
    const QList<QByteArray> tokens = reply.mid(3).simplified().split(' ');
    if (tokens.size() < 2)
        return -1;
    bool numbered = false;
    const qint64 number = tokens.at(0).toLongLong(&numbered);
    if (numbered && number != n)
        throw Pop3ProtocolError(
            Pop3ErrorText("ListReplyOtherMessage",
                          "The server answered \"%s\" to \"LIST %s\"; connection closed.",
                          {ServerLineExcerpt(reply), QString::number(n)}));
    bool ok = false;
    const std::int32_t size = tokens.at(1).toInt(&ok);
    return ok ? size : -1;
}

} // namespace

std::int32_t Pop3Client::MessageSize(int n)
{
    SendSizeRequest(n);
    return ReceiveSize(n);
}

bool Pop3Client::FetchSizeList(QHash<int, std::int32_t>& sizes, int messages)
{
    sizes.clear();
    if (!IsOk(SendCmdRaw("LIST")))
        return false;
    sizes = SizesByNumber(transport_.ReadMultiLine(kListingLimit), messages);
    return true;
}

bool Pop3Client::SupportsPipelining() const
{
    for (const QByteArray& cap : capabilities_)
        if (cap.trimmed().toUpper() == "PIPELINING")
            return true;
    return false;
}

void Pop3Client::SendSizeRequest(int n)
{
    transport_.QueueLine(NumberCmd("LIST ", n));
}

void Pop3Client::SendHeadersRequest(int n)
{
    transport_.QueueLine(NumberCmd("TOP ", n) + " 0");
}

void Pop3Client::SendWholeRequest(int n)
{
    transport_.QueueLine(NumberCmd("RETR ", n));
}

std::int32_t Pop3Client::ReceiveSize(int n)
{
    const QByteArray reply = ReadStatusLine();
    if (!IsOk(reply))
        throw Pop3ReplyError(ReplyText(reply));
    try {
        return SizeFromListReply(reply, n);
    } catch (const Pop3ProtocolError&) {
        CloseTransport();
        throw;
    }
}

void Pop3Client::ReceiveWhole(int n, MessageRecord& record)
{
    ReceiveWholeText(n, record);
    FinishWhole(record);
}

void Pop3Client::ReceiveWholeText(int n, MessageRecord& record)
{
    record.serverNumber = n;
    record.raw.clear();
    const QByteArray reply = ReadStatusLine();
    if (!IsOk(reply))
        throw Pop3ReplyError(ReplyText(reply));
    record.raw = transport_.ReadMultiLineText(WholeMessageLimit(record.size), record.size);
    record.headersOnly = false;
    record.noHeaders = false;
}

void Pop3Client::FinishWhole(MessageRecord& record)
{
    // The header block is all a fetched message needs now; the MIME parts are
    // parsed when the attachment count or a text part charset is first asked.
    record.ParseWholeDeferred();
    record.headersOnly = false;
    record.noHeaders = false;
    TakeReceiptRequest(record);
}

void Pop3Client::ReceiveHeaders(int n, MessageRecord& record)
{
    const QByteArray reply = ReadStatusLine();
    if (!IsOk(reply))
        throw Pop3ReplyError(ReplyText(reply));
    record.raw = transport_.ReadMultiLineText(kHeadersLimit);
    record.ParseHeaders();
    record.serverNumber = n;
    record.headersOnly = true;
    record.noHeaders = false;
    TakeReceiptRequest(record);
}

void Pop3Client::FetchWhole(int n, MessageRecord& record)
{
    record.serverNumber = n;
    record.raw.clear();
    SendWholeRequest(n);
    ReceiveWhole(n, record);
}

void Pop3Client::FetchHeaders(int n, MessageRecord& record)
{
    SendHeadersRequest(n);
    ReceiveHeaders(n, record);
}

bool Pop3Client::Delete(int n)
{
    return IsOk(SendCmdRaw(NumberCmd("DELE ", n)));
}

void Pop3Client::Disconnect()
{
    try {
        SendCmd("QUIT");
    } catch (...) {
        CloseTransport();
        throw;
    }
    CloseTransport();
}

void Pop3Client::CloseTransport()
{
    try {
        transport_.Close();
    } catch (...) {
    }
}


namespace {

Pop3Client* g_client = nullptr;

} // namespace

QByteArray ApopTimestamp(const QByteArray& greeting)
{
    const qsizetype open = greeting.indexOf('<');
    if (open < 0)
        return {};
    const qsizetype close = greeting.indexOf('>', open + 1);
    if (close < 0)
        return {};
    return greeting.mid(open, close - open + 1);
}

QByteArray ApopDigest(const QByteArray& timestamp, const QByteArray& password)
{
    return QCryptographicHash::hash(timestamp + password, QCryptographicHash::Md5).toHex();
}

Pop3Client& SharedPop3Client()
{
    if (!g_client)
        g_client = new Pop3Client; // lives until replaced or the process ends
    return *g_client;
}

void RecreatePop3Client()
{
    Pop3Client& old = SharedPop3Client();
    const bool busy = old.Busy;
    const InterruptState status = old.OperationStatus();
    delete g_client;
    g_client = new Pop3Client;
    g_client->Busy = busy;
    g_client->SetOperationStatus(status);
}

PasswordRequest Pop3PasswordRequest(const MailAccount& account)
{
    PasswordRequest request;
    request.displayName = QString::fromUtf8(account.DisplayName());
    request.allowEmpty = true;
    return request;
}

bool ConfigurePop3Client(Pop3Client& client, MailAccount& account, int connectTimeoutSeconds,
                         PasswordPrompt& prompt)
{
    QByteArray password;
    bool memorize = false;
    QString keyringProblem;
    std::function<QByteArray(bool)> bearer;
    if (account.UsesOAuth()) {
        // No password: the token comes from the provider during the login,
        // its request bound to this operation's Stop and silence limit. A
        // refresh token the keyring cannot give ends the login with its
        // reason.
        account.RefreshTokenWithoutPrompt(&keyringProblem);
        bearer = [&account, transport = &client.Transport(), keyringProblem](bool refresh) {
            if (!keyringProblem.isEmpty() && account.RefreshToken().isEmpty())
                throw KeyringError(keyringProblem);
            return AccessTokenFor(account, transport, refresh);
        };
    } else if (const std::optional<QByteArray> known =
                   account.Pop3PasswordWithoutPrompt(&keyringProblem)) {
        password = *known;
    } else {
        PasswordRequest request = Pop3PasswordRequest(account);
        request.note = keyringProblem;
        const PasswordAnswer answer = prompt.Ask(request);
        if (!answer.accepted)
            return false;
        password = answer.password.toUtf8();
        memorize = answer.memorize;
    }
    client.Password = password;
    client.MemorizePassword = memorize;
    client.BearerToken = bearer;
    client.Username = account.Login();
    client.Host = QString::fromUtf8(account.Server().trimmed());
    client.Port = account.Pop3Port();
    client.AuthenticationType = account.UsesOAuth() ? Pop3Client::atOAuth2
                                : account.APOP()    ? Pop3Client::atAPOP
                                                    : Pop3Client::atUserPass;
    client.ImplicitTls = account.Pop3TLS();
    client.SSLVersion = account.Pop3SSLVersion();
    client.ConnectTimeoutMs = std::max(1, connectTimeoutSeconds) * 1000;
    client.ResetOperationStatus();
    return true;
}

bool ConfigurePop3Client(MailAccount& account)
{
    return ConfigurePop3Client(SharedPop3Client(), account, AppSettings().ConnectTimeout,
                               PasswordPrompter());
}

QString StatusLoggingToServer(const QString& displayName)
{
    return TextOr("MAINWND", "LoggingToServer", "Connecting to server (account: %s)",
                  {displayName});
}

void ConnectAndLogin(Pop3Client& client, MailAccount& account,
                     const std::function<void(const QString&)>& status)
{
    if (status)
        status(StatusLoggingToServer(QString::fromUtf8(account.DisplayName())));
    client.Connect();
    client.Login();
    if (client.MemorizePassword)
        account.RememberPop3Password(client.Password);
}

} // namespace vm
