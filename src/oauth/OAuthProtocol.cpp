#include "oauth/OAuthProtocol.h"

#include <QCryptographicHash>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include "net/Sasl.h"
#include "oauth/OAuthProviders.h"
#include "oauth/OAuthText.h"

namespace vm {

namespace {

QByteArray RandomText(int length, const char* alphabet, int alphabetSize)
{
    QByteArray out(length, Qt::Uninitialized);
    QRandomGenerator* random = QRandomGenerator::system();
    for (char& c : out)
        c = alphabet[random->bounded(alphabetSize)];
    return out;
}

QByteArray FormValue(const QByteArray& value)
{
    return QUrl::toPercentEncoding(QString::fromUtf8(value));
}

QByteArray FormValue(const QString& value)
{
    return QUrl::toPercentEncoding(value);
}

QByteArray Decoded(QByteArray text)
{
    text.replace('+', ' ');
    return QByteArray::fromPercentEncoding(text);
}

// A text shown to the user taken from a provider: one line, bounded.
QString Shown(const QString& text)
{
    QString out;
    for (QChar c : text.left(300))
        out += c.isPrint() ? c : QChar(u' ');
    return out.simplified();
}

QString JsonString(const QJsonObject& o, const char* key)
{
    return o.value(QLatin1String(key)).toString();
}

} // namespace

QByteArray NewCodeVerifier()
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    return RandomText(64, alphabet, int(sizeof alphabet) - 1);
}

QByteArray CodeChallengeS256(const QByteArray& verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray NewState()
{
    QByteArray bytes(24, Qt::Uninitialized);
    QRandomGenerator* random = QRandomGenerator::system();
    for (char& c : bytes)
        c = char(random->bounded(256));
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QUrl AuthorizationUrl(const OAuthEndpoints& endpoints, const QString& redirectUri,
                      const QByteArray& state, const QByteArray& codeChallenge,
                      const QByteArray& loginHint)
{
    QByteArray query = "response_type=code&client_id=" + FormValue(endpoints.clientId) +
                       "&redirect_uri=" + FormValue(redirectUri) +
                       "&scope=" + FormValue(endpoints.scope) + "&state=" + FormValue(state) +
                       "&code_challenge=" + FormValue(codeChallenge) +
                       "&code_challenge_method=S256";
    if (!loginHint.isEmpty())
        query += "&login_hint=" + FormValue(loginHint);
    QUrl base = endpoints.authorizeUrl;
    base.setFragment(QString());
    QByteArray address = base.toEncoded();
    address += (base.hasQuery() && !base.query().isEmpty() ? "&" : "?") + query;
    if (address.contains("?&"))
        address.replace("?&", "?");
    return QUrl::fromEncoded(address, QUrl::StrictMode);
}

RedirectAnswer ParseRedirect(const QByteArray& target, const QByteArray& expectedState)
{
    RedirectAnswer answer;
    const qsizetype question = target.indexOf('?');
    const QByteArray path = question < 0 ? target : target.left(question);
    if (path != "/")
        return answer; // OtherPath
    QHash<QByteArray, QList<QByteArray>> params;
    const QByteArray query = question < 0 ? QByteArray() : target.mid(question + 1);
    for (const QByteArray& pair : query.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        const QByteArray key = Decoded(eq < 0 ? pair : pair.left(eq));
        params[key].append(eq < 0 ? QByteArray() : Decoded(pair.mid(eq + 1)));
    }
    const QList<QByteArray> states = params.value("state");
    if (states.size() != 1 || expectedState.isEmpty() || states.first() != expectedState) {
        answer.kind = RedirectAnswer::Kind::StateMismatch;
        return answer;
    }
    if (params.contains("error")) {
        answer.kind = RedirectAnswer::Kind::ProviderError;
        answer.error = Shown(QString::fromUtf8(params.value("error").first()));
        answer.description =
            Shown(QString::fromUtf8(params.value("error_description").value(0)));
        return answer;
    }
    const QList<QByteArray> codes = params.value("code");
    if (codes.size() != 1 || codes.first().isEmpty()) {
        answer.kind = RedirectAnswer::Kind::NoCode;
        return answer;
    }
    answer.kind = RedirectAnswer::Kind::Code;
    answer.code = codes.first();
    return answer;
}

QByteArray CodeExchangeForm(const OAuthEndpoints& endpoints, const QByteArray& code,
                            const QByteArray& verifier, const QString& redirectUri)
{
    QByteArray form = "grant_type=authorization_code&code=" + FormValue(code) +
                      "&redirect_uri=" + FormValue(redirectUri) +
                      "&client_id=" + FormValue(endpoints.clientId) +
                      "&code_verifier=" + FormValue(verifier);
    if (!endpoints.clientSecret.isEmpty())
        form += "&client_secret=" + FormValue(endpoints.clientSecret);
    return form;
}

QByteArray RefreshForm(const OAuthEndpoints& endpoints, const QByteArray& refreshToken)
{
    QByteArray form = "grant_type=refresh_token&refresh_token=" + FormValue(refreshToken) +
                      "&client_id=" + FormValue(endpoints.clientId);
    if (!endpoints.clientSecret.isEmpty())
        form += "&client_secret=" + FormValue(endpoints.clientSecret);
    if (!endpoints.scope.isEmpty())
        form += "&scope=" + FormValue(endpoints.scope);
    return form;
}

TokenReply ParseTokenReply(int status, const QByteArray& body)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    const bool isObject = parseError.error == QJsonParseError::NoError && doc.isObject();
    const QJsonObject o = doc.object();
    if (isObject && o.contains(QLatin1String("error"))) {
        const QString error = Shown(JsonString(o, "error"));
        const QString description = Shown(JsonString(o, "error_description"));
        const QString said = description.isEmpty() ? error : error + QStringLiteral(": ") + description;
        if (error == QLatin1String("invalid_grant"))
            throw OAuthGrantRefused(OAuthText(
                "GrantRefused", "The provider refused the grant (%s).", {said}));
        throw OAuthProviderError(
            OAuthText("ProviderRefused", "The provider refused the request (%s).", {said}));
    }
    if (status != 200 || !isObject)
        throw OAuthProviderError(OAuthText(
            "UnusableReply", "The provider's answer could not be used (HTTP status %s).",
            {QString::number(status)}));

    TokenReply reply;
    reply.accessToken = JsonString(o, "access_token").toUtf8();
    reply.refreshToken = JsonString(o, "refresh_token").toUtf8();
    const QString type = JsonString(o, "token_type");
    const QJsonValue expires = o.value(QLatin1String("expires_in"));
    bool expiresOk = true;
    if (expires.isDouble())
        reply.expiresInSeconds = qint64(expires.toDouble());
    else if (expires.isString())
        reply.expiresInSeconds = expires.toString().toLongLong(&expiresOk);
    else if (expires.isUndefined() || expires.isNull())
        reply.expiresInSeconds = kDefaultTokenLifetimeSeconds;
    else
        expiresOk = false;
    const bool refreshOk = reply.refreshToken.isEmpty() ||
                           (reply.refreshToken.size() <= kMaxTokenLength &&
                            IsSendableBearerToken(reply.refreshToken));
    if (!IsSendableBearerToken(reply.accessToken) || reply.accessToken.size() > kMaxTokenLength ||
        !refreshOk || !expiresOk || reply.expiresInSeconds < 0 ||
        (!type.isEmpty() && type.compare(QLatin1String("bearer"), Qt::CaseInsensitive) != 0))
        throw OAuthProviderError(OAuthText(
            "UnusableReply", "The provider's answer could not be used (HTTP status %s).",
            {QString::number(status)}));
    return reply;
}

} // namespace vm
