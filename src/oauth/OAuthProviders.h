#pragma once
// The OAuth 2.0 providers an account can sign in with, and what an account's
// settings resolve to: the authorization and token addresses, the scope and
// the client id.
//
// Two presets know their addresses and scopes (Microsoft, Google); a custom
// provider has them typed in. A provider only talks to a program whose
// client id it has registered. The program ships none: it is built in
// (cmake -DVELMORA_OAUTH_CLIENT_IDS="microsoft=ID;google=ID:SECRET"), given
// by the environment variable of the same name (whose entries replace the
// built-in ones), or typed into the account, which wins over both.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace vm {

struct OAuthSettings;

// Provider ids as accounts store them.
inline constexpr char kProviderMicrosoft[] = "microsoft";
inline constexpr char kProviderGoogle[] = "google";
inline constexpr char kProviderCustom[] = "custom";

struct OAuthPreset
{
    QByteArray id;
    QString authorizeUrl;
    QString tokenUrl;
    QString scope;
};

// Microsoft and Google.
const QList<OAuthPreset>& OAuthPresets();
const OAuthPreset* FindOAuthPreset(const QByteArray& id);
// "microsoft", "google" or "custom".
bool IsKnownProvider(const QByteArray& id);

// The preset a server name obviously belongs to (outlook.office365.com,
// pop.gmail.com, ...); empty when it belongs to neither.
QByteArray GuessProviderFromServer(const QByteArray& server);

// The client id (and secret, when one is given after a ":") the build or the
// environment names for provider; empty id when none.
struct ClientCredentials
{
    QByteArray id;
    QByteArray secret;
};
ClientCredentials ConfiguredClientCredentials(const QByteArray& provider);
// Parses "microsoft=ID;google=ID:SECRET" (blanks around parts ignored).
QList<QPair<QByteArray, ClientCredentials>> ParseClientIdList(const QByteArray& text);

// An address a token or authorization request may go to: https with a host,
// or http to a loopback host (127.0.0.0/8, ::1, "localhost"), where no one
// else can listen.
bool IsAllowedOAuthAddress(const QUrl& url);

// What an account's settings resolve to.
struct OAuthEndpoints
{
    QUrl authorizeUrl;
    QUrl tokenUrl;
    QString scope;
    QByteArray clientId;
    QByteArray clientSecret;
};

// The plain statement that no client id is set for provider, naming how to
// give one (the windows show it when the choice has none).
QString NoClientIdText(const QByteArray& provider);

// The endpoints of settings, or nothing with *error saying plainly what is
// missing or wrong (no client id, an address that is not https...).
std::optional<OAuthEndpoints> ResolveOAuthEndpoints(const OAuthSettings& settings,
                                                    QString* error);

} // namespace vm
