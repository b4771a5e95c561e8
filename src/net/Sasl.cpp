#include "net/Sasl.h"

#include "net/Credentials.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

namespace vm {

namespace {

constexpr char kSep = '\x01';

QByteArray JsonText(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isString())
        return v.toString().toUtf8();
    if (v.isDouble())
        return QByteArray::number(v.toInt());
    return {};
}

} // namespace

bool IsSendableBearerToken(const QByteArray& token)
{
    if (token.isEmpty())
        return false;
    for (char c : token)
        if (c <= 0x20 || c >= 0x7f)
            return false;
    return true;
}

QByteArray SaslPlain(const QByteArray& user, const QByteArray& password)
{
    return QByteArray(1, '\0') + user + QByteArray(1, '\0') + password;
}

QByteArray SaslXOAuth2(const QByteArray& user, const QByteArray& token)
{
    return "user=" + user + kSep + "auth=Bearer " + token + kSep + kSep;
}

QByteArray SaslOAuthBearer(const QByteArray& user, const QByteArray& host, quint16 port,
                           const QByteArray& token)
{
    QByteArray name;
    for (char c : user) {
        if (c == ',')
            name += "=2C";
        else if (c == '=')
            name += "=3D";
        else
            name += c;
    }
    return "n,a=" + name + "," + kSep + "host=" + host + kSep + "port=" +
           QByteArray::number(port) + kSep + "auth=Bearer " + token + kSep + kSep;
}

QByteArray SaslBearerErrorAnswer(const QByteArray& mechanism)
{
    return mechanism == "OAUTHBEARER" ? QByteArray(1, kSep) : QByteArray();
}

BearerChallenge ParseBearerChallenge(const QByteArray& base64)
{
    BearerChallenge c;
    const auto decoded = QByteArray::fromBase64Encoding(
        base64.trimmed(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return c;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(*decoded, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return c;
    const QJsonObject o = doc.object();
    c.valid = true;
    c.status = JsonText(o, "status");
    c.schemes = JsonText(o, "schemes");
    c.scope = JsonText(o, "scope");
    return c;
}

QByteArray ChooseBearerMechanism(const QList<QByteArray>& offered)
{
    if (offered.contains("OAUTHBEARER"))
        return "OAUTHBEARER";
    if (offered.contains("XOAUTH2"))
        return "XOAUTH2";
    return {};
}

void LoginWithBearerToken(
    const ConnectionOptions& options, const QByteArray& mechanism,
    const std::function<void(const QByteArray& mechanism, const QByteArray& response)>& exchange)
{
    if (!options.BearerToken)
        throw CredentialError(QStringLiteral("No access token for this account."));
    const auto attempt = [&](bool refresh) {
        const QByteArray token = options.BearerToken(refresh);
        if (!IsSendableBearerToken(token))
            throw CredentialError(
                QStringLiteral("The access token holds characters that cannot be sent."));
        exchange(mechanism,
                 mechanism == "OAUTHBEARER"
                     ? SaslOAuthBearer(options.Username, options.Host.toUtf8(), options.Port, token)
                     : SaslXOAuth2(options.Username, token));
    };
    try {
        attempt(false);
    } catch (const BearerTokenRefused&) {
        // The token may have been revoked early: one new token, one more try.
        attempt(true);
    }
}

} // namespace vm
