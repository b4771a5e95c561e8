#include "send/SmtpClient.h"

#include <QHostInfo>

#include <algorithm>
#include <optional>

#include "model/MailAccount.h"
#include "net/Credentials.h"
#include "net/PasswordPrompt.h"
#include "net/Sasl.h"
#include "oauth/AccountTokens.h"
#include "send/MimeWriter.h"
#include "send/OutgoingMessage.h"
#include "send/SendRequest.h"

namespace vm {


namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

constexpr int kGoodbyeLimitMs = 5000;

// A dot-separated name of letters, digits and hyphens, as EHLO takes it.
bool IsDomainName(const QString& name)
{
    if (name.isEmpty() || name.size() > 253 || name.startsWith(u'.') || name.endsWith(u'.') ||
        name.contains(QStringLiteral("..")))
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
              u == '-' || u == '.'))
            return false;
    }
    return true;
}

void CheckAddress(const QByteArray& address)
{
    if (!IsSendableAddress(address))
        throw SmtpReplyError(0, QStringLiteral("Invalid address <%1>.")
                                       .arg(QString::fromUtf8(StripLineBreaks(address))));
}

} // namespace

QByteArray SmtpReply::Text() const
{
    QByteArrayList parts;
    for (const QByteArray& l : lines)
        parts.append(QByteArray::number(code) + (l.isEmpty() ? QByteArray() : " " + l));
    return parts.join(' ');
}

SmtpClient::SmtpClient()
{
    Port = 25;
    ConnectTimeoutMs = 10000;
    transport_.SetOperationStatus(osProceed);
}

SmtpClient::~SmtpClient()
{
    Close();
}

void SmtpClient::Close()
{
    try {
        transport_.Close();
    } catch (...) {
    }
    awaitingCommand_ = false;
    capabilities_.clear();
    secured_ = false;
    authenticated_ = false;
}

QByteArray SmtpClient::DotStuff(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 64 + 8);
    bool atLineStart = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (atLineStart && c == '.')
            out += '.';
        // Lines end with CR LF only; a lone CR or LF is made a full line end so
        // that the data can never contain a premature "<CR><LF>.<CR><LF>".
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
                ++i;
            atLineStart = true;
            continue;
        }
        out += c;
        atLineStart = false;
    }
    if (!atLineStart)
        out += "\r\n";
    out += ".\r\n";
    return out;
}

SmtpReply SmtpClient::ReadReply()
{
    awaitingCommand_ = false;
    SmtpReply reply;
    qsizetype bytes = 0;
    for (;;) {
        const QByteArray line = transport_.ReadReplyLine();
        if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]) ||
            (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
            throw SmtpReplyError(0, QStringLiteral("Invalid reply from the SMTP server: %1")
                                           .arg(QString::fromUtf8(line.left(200))));
        }
        const int code = line.left(3).toInt();
        if (reply.code != 0 && code != reply.code) {
            throw SmtpReplyError(0, QStringLiteral("Invalid reply from the SMTP server: %1")
                                           .arg(QString::fromUtf8(line.left(200))));
        }
        bytes += line.size() + 2;
        if (reply.lines.size() >= kMaxReplyLines || bytes > kMaxReplyBytes) {
            throw SmtpReplyError(
                0, QStringLiteral("The reply of the SMTP server exceeds %1 lines or %2 MiB.")
                       .arg(kMaxReplyLines)
                       .arg(kMaxReplyBytes / (1024 * 1024)));
        }
        reply.code = code;
        reply.lines.append(line.mid(4));
        if (line.size() <= 3 || line[3] == ' ')
            break;
    }
    lastReply_ = reply;
    // A 3xx reply asks for more (AUTH data, message data, TLS handshake).
    awaitingCommand_ = reply.code < 300 || reply.code >= 400;
    return reply;
}

void SmtpClient::Expect(const SmtpReply& reply, const QList<int>& accepted)
{
    for (int code : accepted) {
        if (reply.code == code)
            return;
    }
    throw SmtpReplyError(reply.code, QString::fromUtf8(reply.Text()));
}

void SmtpClient::WriteCommand(const QByteArray& line)
{
    awaitingCommand_ = false;
    transport_.WriteLine(line);
}

SmtpReply SmtpClient::Command(const QByteArray& line, const QList<int>& accepted)
{
    WriteCommand(line);
    SmtpReply reply = ReadReply();
    Expect(reply, accepted);
    return reply;
}

bool SmtpClient::HasCapability(const QByteArray& keyword) const
{
    for (const QByteArray& c : capabilities_) {
        const QByteArray first = c.trimmed().split(' ').value(0);
        if (first.compare(keyword, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QList<QByteArray> SmtpClient::AuthMechanisms() const
{
    QList<QByteArray> mechanisms;
    for (const QByteArray& c : capabilities_) {
        QByteArray line = c.trimmed().toUpper();
        if (line.startsWith("AUTH=") || line.startsWith("AUTH "))
            line = line.mid(5);
        else
            continue;
        for (const QByteArray& m : line.split(' ')) {
            if (!m.isEmpty() && !mechanisms.contains(m))
                mechanisms.append(m);
        }
    }
    return mechanisms;
}

QByteArray SmtpClient::EhloDomain(const QString& hostName, const QString& domainName,
                                  const QHostAddress& localAddress)
{
    QString host = hostName.trimmed();
    if (host.endsWith(u'.'))
        host.chop(1);
    QString domain = domainName.trimmed();
    if (domain.startsWith(u'.'))
        domain.remove(0, 1);
    if (domain.endsWith(u'.'))
        domain.chop(1);
    const bool hostIsAddress = !QHostAddress(host).isNull();
    if (!hostIsAddress && IsDomainName(host)) {
        if (host.contains(u'.'))
            return host.toLatin1();
        const bool named = std::any_of(domain.begin(), domain.end(),
                                       [](QChar c) { return c.isLetter(); });
        if (named && IsDomainName(domain))
            return (host + u'.' + domain).toLatin1();
    }
    QHostAddress local = localAddress;
    bool mapped = false;
    const quint32 v4 = local.toIPv4Address(&mapped);
    if (mapped)
        return "[" + QHostAddress(v4).toString().toLatin1() + "]";
    if (local.protocol() == QAbstractSocket::IPv6Protocol) {
        local.setScopeId(QString());
        return "[IPv6:" + local.toString().toLatin1() + "]";
    }
    return "[127.0.0.1]";
}

void SmtpClient::Greet()
{
    const QByteArray name =
        HeloName.isEmpty() ? EhloDomain(QHostInfo::localHostName(), QHostInfo::localDomainName(),
                                        transport_.LocalAddress())
                           : HeloName;
    capabilities_.clear();
    if (UseEhlo) {
        WriteCommand("EHLO " + name);
        const SmtpReply reply = ReadReply();
        if (reply.code == 250) {
            capabilities_ = reply.lines.mid(1);
            return;
        }
    }
    Command("HELO " + name, {250});
}

void SmtpClient::Connect()
{
    Close();
    transport_.Connect(*this);
    secured_ = ImplicitTls;
    Expect(ReadReply(), {220});
    Greet();
}

void SmtpClient::StartTlsIfWanted()
{
    if (secured_ || UseTLS == utNoTLSSupport)
        return;
    if (!HasCapability("STARTTLS")) {
        if (UseTLS == utUseRequireTLS)
            throw SmtpSecurityError(
                QStringLiteral("The SMTP server does not offer STARTTLS, but this account "
                               "sends only over an encrypted connection."));
        // "When possible" goes on in plain text, but never with the password.
        if (WillAuthenticate())
            throw SmtpSecurityError(QStringLiteral(
                "The SMTP server does not offer STARTTLS, and with the secure connection "
                "setting \"When possible\" the login and password would travel unencrypted; "
                "nothing was sent. Use port 465 for TLS from the first byte, \"Require "
                "always\" with a server that offers STARTTLS, or \"Never\" to allow plain "
                "text."));
        return;
    }
    WriteCommand("STARTTLS");
    const SmtpReply reply = ReadReply();
    if (reply.code != 220)
        throw TlsError(
            QStringLiteral("TLS negotiation failed: %1").arg(QString::fromUtf8(reply.Text())));
    awaitingCommand_ = false; // a failed handshake leaves no dialogue to end
    transport_.SetSslVersion(SSLVersion);
    // The transport drops whatever arrived before the handshake.
    transport_.StartTls();
    secured_ = true;
    Greet();
}

bool SmtpClient::WillAuthenticate() const
{
    return !authenticated_ && AuthenticationType != atNone && !Username.isEmpty();
}

void SmtpClient::BearerExchange(const QByteArray& mechanism, const QByteArray& response)
{
    const QByteArray encoded = response.toBase64();
    const QByteArray withInitial = "AUTH " + mechanism + ' ' + encoded;
    SmtpReply reply;
    if (withInitial.size() + 2 <= kMaxAuthLine) {
        WriteCommand(withInitial);
        reply = ReadReply();
    } else {
        Command("AUTH " + mechanism, {334});
        WriteCommand(encoded);
        reply = ReadReply();
    }
    if (reply.code == 235)
        return;
    if (reply.code == 334) {
        const BearerChallenge challenge = ParseBearerChallenge(reply.lines.value(0));
        if (challenge.valid) {
            WriteCommand(SaslBearerErrorAnswer(mechanism).toBase64());
            const SmtpReply final = ReadReply();
            if (final.code == 235)
                return;
            throw BearerTokenRefused(QStringLiteral("The server refused the access token (%1): %2")
                                         .arg(QString::fromUtf8(challenge.status),
                                              QString::fromUtf8(final.Text())),
                                     challenge.status);
        }
        // Nothing this client could answer: the exchange is cancelled.
        WriteCommand("*");
        ReadReply();
    }
    throw SmtpReplyError(reply.code, QString::fromUtf8(reply.Text()));
}

void SmtpClient::AuthenticateBearer()
{
    const QByteArray mechanism = ChooseBearerMechanism(AuthMechanisms());
    if (mechanism.isEmpty())
        throw SmtpSecurityError(
            QStringLiteral("The SMTP server offers no OAuth 2.0 login (XOAUTH2 or OAUTHBEARER), "
                           "but this account signs in with OAuth 2.0."));
    LoginWithBearerToken(*this, mechanism, [this](const QByteArray& m, const QByteArray& r) {
        BearerExchange(m, r);
    });
}

void SmtpClient::Authenticate()
{
    if (!WillAuthenticate())
        return;
    if (AuthenticationType == atOAuth2) {
        CheckCredentials(Username, {});
        AuthenticateBearer();
        authenticated_ = true;
        return;
    }
    // Nothing of a login or password with a line break goes out.
    CheckCredentials(Username, Password);
    const QList<QByteArray> mechanisms = AuthMechanisms();
    if (mechanisms.contains("LOGIN")) {
        Command("AUTH LOGIN", {334});
        Command(Username.toBase64(), {334});
        Command(Password.toBase64(), {235});
    } else if (mechanisms.contains("PLAIN")) {
        const QByteArray token = QByteArray(1, '\0') + Username + QByteArray(1, '\0') + Password;
        Command("AUTH PLAIN " + token.toBase64(), {235});
    } else {
        throw SmtpSecurityError(
            QStringLiteral("The SMTP server offers no login method this program supports "
                           "(LOGIN or PLAIN), but this account requires authentication."));
    }
    authenticated_ = true;
}

void SmtpClient::Transfer(OutgoingMessage& message)
{
    if (message.from.isEmpty())
        throw SmtpReplyError(0, QStringLiteral("The message has no sender address."));
    const QByteArray from = message.from.front().address;
    CheckAddress(from);
    QList<QByteArray> recipients;
    for (const MailAddressList* list : {&message.to, &message.cc, &message.bcc}) {
        for (const MailAddress& a : *list) {
            CheckAddress(a.address);
            recipients.append(a.address);
        }
    }
    if (recipients.isEmpty())
        throw SmtpReplyError(0, QStringLiteral("The message has no recipient."));

    // Written before anything is sent, so that a file error sends nothing.
    message.extraHeaders.SetValue("X-Mailer", MailAgent);
    const QByteArray data = DotStuff(WriteMessage(message));

    QList<QByteArray> commands;
    commands.append("RSET");
    commands.append("MAIL FROM:<" + from + ">");
    for (const QByteArray& r : recipients)
        commands.append("RCPT TO:<" + r + ">");
    commands.append("DATA");

    auto accepted = [&](int index) -> QList<int> {
        if (index == 0 || index == 1)
            return {250};
        if (index == commands.size() - 1)
            return {354};
        return {250, 251};
    };

    if (HasCapability("PIPELINING")) {
        awaitingCommand_ = false;
        transport_.Write(commands.join("\r\n") + "\r\n");
        std::optional<SmtpReplyError> first;
        bool dataAccepted = false;
        for (int i = 0; i < commands.size(); ++i) {
            const SmtpReply reply = ReadReply();
            try {
                Expect(reply, accepted(i));
                if (i == commands.size() - 1)
                    dataAccepted = true;
            } catch (const SmtpReplyError& e) {
                if (!first)
                    first = e;
            }
        }
        if (first) {
            // The server is waiting for the message although an earlier command
            // failed. Ending it with "." would deliver an empty message to the
            // recipients that were accepted, so the connection is dropped
            // instead: an unfinished DATA is discarded by the server.
            if (dataAccepted)
                transport_.Close();
            throw *first;
        }
    } else {
        for (int i = 0; i < commands.size(); ++i)
            Command(commands[i], accepted(i));
    }
    awaitingCommand_ = false;
    transport_.Write(data);
    Expect(ReadReply(), {250});
}

void SmtpClient::Send(OutgoingMessage& message)
{
    StartTlsIfWanted();
    Authenticate();
    Transfer(message);
}

void SmtpClient::Disconnect()
{
    try {
        if (transport_.Connected())
            Command("QUIT", {221});
    } catch (...) {
        Close();
        throw;
    }
    Close();
}

void SmtpClient::EndAfterFailure()
{
    if (awaitingCommand_ && transport_.Connected() && !transport_.Aborted() &&
        transport_.OperationStatus() == osProceed) {
        const SmtpReply kept = lastReply_;
        try {
            // A server that does not answer the goodbye is not waited for long.
            transport_.SetReadTimeoutMs(kGoodbyeLimitMs);
            WriteCommand("QUIT");
            ReadReply();
        } catch (...) {
        }
        transport_.SetReadTimeoutMs(-1);
        lastReply_ = kept;
    }
    Close();
}

bool ConfigureSMTP(SmtpClient& client, MailAccount& account)
{
    client.BearerToken = nullptr;
    if (account.SmtpAuthentication() && account.UsesOAuth()) {
        // The token comes from the provider during the login, its request
        // bound to this send's Stop and silence limit. A refresh token the
        // keyring cannot give ends the login with its reason.
        QString keyringProblem;
        account.RefreshTokenWithoutPrompt(&keyringProblem);
        client.Password.clear();
        client.AuthenticationType = atOAuth2;
        client.BearerToken = [&account, transport = &client.GetTransport(),
                              keyringProblem](bool refresh) {
            if (!keyringProblem.isEmpty() && account.RefreshToken().isEmpty())
                throw KeyringError(keyringProblem);
            return AccessTokenFor(account, transport, refresh);
        };
    } else if (account.SmtpAuthentication()) {
        QString keyringProblem;
        if (const std::optional<QByteArray> known =
                account.SmtpPasswordWithoutPrompt(&keyringProblem)) {
            client.Password = *known;
        } else {
            PasswordRequest request;
            request.displayName = QString::fromUtf8(account.DisplayName());
            request.allowEmpty = false;
            request.note = keyringProblem;
            const PasswordAnswer answer = PasswordPrompter().Ask(request);
            if (!answer.accepted)
                return false;
            client.Password = answer.password.toUtf8();
            account.SmtpPasswordTyped(client.Password, answer.memorize);
        }
        client.AuthenticationType = atDefault;
    } else {
        client.Password.clear();
        client.AuthenticationType = atNone;
    }
    client.Username = account.SmtpLogin();
    // An OAuth 2.0 login names the mailbox's user; the POP3 login serves
    // when no SMTP login is set.
    if (client.AuthenticationType == atOAuth2 && client.Username.isEmpty())
        client.Username = account.Login();
    client.Host = QString::fromUtf8(account.SmtpServer().trimmed());
    client.Port = account.SmtpPort();
    client.ImplicitTls = client.Port == SmtpClient::kImplicitTlsPort;
    client.MailAgent = "Velmora";
    client.SSLVersion = account.SmtpSSLVersion();
    switch (account.SmtpTLSMode()) {
    case 0:
        client.UseTLS = utNoTLSSupport;
        break;
    case 1:
        client.UseTLS = utUseExplicitTLS;
        break;
    default:
        client.UseTLS = utUseRequireTLS;
        break;
    }
    client.UseEhlo = true;
    client.GetTransport().SetOperationStatus(osProceed);
    return true;
}

} // namespace vm
