#include "oauth/OAuthProviders.h"

#include <QHostAddress>

#include "model/MailAccount.h"
#include "oauth/OAuthText.h"

#ifndef VELMORA_OAUTH_CLIENT_IDS
#define VELMORA_OAUTH_CLIENT_IDS ""
#endif

namespace vm {

namespace {

constexpr char kClientIdsVariable[] = "VELMORA_OAUTH_CLIENT_IDS";

bool EndsWithDomain(const QByteArray& host, const QByteArray& domain)
{
    return host == domain || host.endsWith('.' + domain);
}

QString ProviderName(const QByteArray& id)
{
    if (id == kProviderMicrosoft)
        return QStringLiteral("Microsoft");
    if (id == kProviderGoogle)
        return QStringLiteral("Google");
    if (id == kProviderCustom)
        return OAuthText("CustomProvider", "the provider");
    return QString::fromUtf8(id);
}

} // namespace

const QList<OAuthPreset>& OAuthPresets()
{
    static const QList<OAuthPreset> presets{
        {kProviderMicrosoft,
         QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/authorize"),
         QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/token"),
         QStringLiteral("https://outlook.office.com/POP.AccessAsUser.All "
                        "https://outlook.office.com/SMTP.Send offline_access")},
        {kProviderGoogle, QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth"),
         QStringLiteral("https://oauth2.googleapis.com/token"),
         QStringLiteral("https://mail.google.com/")},
    };
    return presets;
}

const OAuthPreset* FindOAuthPreset(const QByteArray& id)
{
    for (const OAuthPreset& p : OAuthPresets())
        if (p.id == id)
            return &p;
    return nullptr;
}

bool IsKnownProvider(const QByteArray& id)
{
    return id == kProviderCustom || FindOAuthPreset(id);
}

QByteArray GuessProviderFromServer(const QByteArray& server)
{
    QByteArray host = server.trimmed().toLower();
    if (host.endsWith('.'))
        host.chop(1);
    for (const char* domain : {"office365.com", "outlook.com", "office.com", "hotmail.com",
                               "live.com"})
        if (EndsWithDomain(host, domain))
            return kProviderMicrosoft;
    for (const char* domain : {"gmail.com", "googlemail.com", "google.com"})
        if (EndsWithDomain(host, domain))
            return kProviderGoogle;
    return {};
}

QList<QPair<QByteArray, ClientCredentials>> ParseClientIdList(const QByteArray& text)
{
    QList<QPair<QByteArray, ClientCredentials>> out;
    for (const QByteArray& entry : text.split(';')) {
        const qsizetype eq = entry.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray provider = entry.left(eq).trimmed().toLower();
        const QByteArray value = entry.mid(eq + 1).trimmed();
        const qsizetype colon = value.indexOf(':');
        ClientCredentials c;
        c.id = (colon < 0 ? value : value.left(colon)).trimmed();
        c.secret = colon < 0 ? QByteArray() : value.mid(colon + 1).trimmed();
        if (!provider.isEmpty() && !c.id.isEmpty())
            out.append({provider, c});
    }
    return out;
}

ClientCredentials ConfiguredClientCredentials(const QByteArray& provider)
{
    ClientCredentials found;
    for (const auto& [name, c] : ParseClientIdList(QByteArray(VELMORA_OAUTH_CLIENT_IDS)))
        if (name == provider)
            found = c;
    // The environment's entries replace the built-in ones, provider by provider.
    for (const auto& [name, c] : ParseClientIdList(qgetenv(kClientIdsVariable)))
        if (name == provider)
            found = c;
    return found;
}

bool IsAllowedOAuthAddress(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = url.host().toLower();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

std::optional<OAuthEndpoints> ResolveOAuthEndpoints(const OAuthSettings& settings, QString* error)
{
    auto fail = [&](const QString& text) -> std::optional<OAuthEndpoints> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    const QByteArray provider = settings.provider.isEmpty() ? QByteArray(kProviderCustom)
                                                            : settings.provider;
    if (!IsKnownProvider(provider))
        return fail(OAuthText("UnknownProvider",
                              "Unknown OAuth 2.0 provider \"%s\"; choose Microsoft, Google or "
                              "custom.",
                              {QString::fromUtf8(provider)}));
    OAuthEndpoints e;
    if (const OAuthPreset* preset = FindOAuthPreset(provider)) {
        e.authorizeUrl = QUrl(preset->authorizeUrl);
        e.tokenUrl = QUrl(preset->tokenUrl);
        e.scope = preset->scope;
    } else {
        e.authorizeUrl = QUrl(QString::fromUtf8(settings.authorizeUrl.trimmed()), QUrl::StrictMode);
        e.tokenUrl = QUrl(QString::fromUtf8(settings.tokenUrl.trimmed()), QUrl::StrictMode);
        e.scope = QString::fromUtf8(settings.scope.simplified());
        for (const QUrl* url : {&e.authorizeUrl, &e.tokenUrl})
            if (!IsAllowedOAuthAddress(*url))
                return fail(OAuthText(
                    "BadAddress",
                    "The address \"%s\" cannot be used for signing in: it must begin with "
                    "https:// (http:// only for this computer, such as http://127.0.0.1).",
                    {url->toString()}));
    }
    e.clientId = settings.clientId.trimmed();
    e.clientSecret = settings.clientSecret.trimmed();
    if (e.clientId.isEmpty()) {
        const ClientCredentials configured = ConfiguredClientCredentials(provider);
        e.clientId = configured.id;
        if (e.clientSecret.isEmpty())
            e.clientSecret = configured.secret;
    }
    if (e.clientId.isEmpty())
        return fail(NoClientIdText(provider));
    return e;
}

QString NoClientIdText(const QByteArray& provider)
{
    return OAuthText("NoClientId",
                     "No client id is set for %s. Velmora comes without one, and a provider "
                     "signs in only programs it knows: type the client id you registered with "
                     "it, or set VELMORA_OAUTH_CLIENT_IDS.",
                     {ProviderName(provider)});
}

} // namespace vm
