#pragma once
// The pieces of the OAuth 2.0 authorization code grant (RFC 6749) for a
// native program (RFC 8252) with PKCE (RFC 7636): the code verifier and its
// S256 challenge, the state value, the authorization address, the redirect
// the browser brings back, the token requests and the token endpoint's
// reply. No network here.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "net/NetErrors.h"

namespace vm {

struct OAuthEndpoints;

// Every failure of signing in or renewing a token.
VM_DECLARE_NET_ERROR(OAuthError, NetworkError);
// The provider refused the grant ("invalid_grant": the refresh token or the
// code was revoked, has expired or was used up): only a new sign-in helps.
VM_DECLARE_NET_ERROR(OAuthGrantRefused, OAuthError);
// The provider's answer is an error other than a refused grant, or cannot be
// used at all (not JSON, no access token, an unexpected status).
VM_DECLARE_NET_ERROR(OAuthProviderError, OAuthError);
// The account holds no refresh token: it was never signed in.
VM_DECLARE_NET_ERROR(OAuthNotSignedIn, OAuthError);

// A new code verifier: 64 characters of [A-Za-z0-9-._~] from the system's
// random source.
QByteArray NewCodeVerifier();
// BASE64URL(SHA256(verifier)) without padding (code_challenge_method S256).
QByteArray CodeChallengeS256(const QByteArray& verifier);
// A new state value: 32 characters of base64url from the system's random
// source.
QByteArray NewState();

// The address the browser opens: the authorization address with
// response_type=code, client_id, redirect_uri, scope, state, code_challenge,
// code_challenge_method=S256 and, when given, login_hint added to its query.
QUrl AuthorizationUrl(const OAuthEndpoints& endpoints, const QString& redirectUri,
                      const QByteArray& state, const QByteArray& codeChallenge,
                      const QByteArray& loginHint = {});

// What the redirect to the loopback listener says.
struct RedirectAnswer
{
    enum class Kind {
        Code,          // a code with the right state
        ProviderError, // the provider said no (error=access_denied, ...)
        StateMismatch, // state missing or not the one sent: not our request
        NoCode,        // the right state, but neither a code nor an error
        OtherPath,     // not the redirect address (a favicon...)
    };
    Kind kind = Kind::OtherPath;
    QByteArray code;
    QString error;       // the provider's error code
    QString description; // its error_description
};
// target is the request line's target ("/?code=...&state=...").
RedirectAnswer ParseRedirect(const QByteArray& target, const QByteArray& expectedState);

// The form of the code exchange (grant_type=authorization_code) and of a
// refresh (grant_type=refresh_token), application/x-www-form-urlencoded.
QByteArray CodeExchangeForm(const OAuthEndpoints& endpoints, const QByteArray& code,
                            const QByteArray& verifier, const QString& redirectUri);
QByteArray RefreshForm(const OAuthEndpoints& endpoints, const QByteArray& refreshToken);

struct TokenReply
{
    QByteArray accessToken;
    QByteArray refreshToken; // empty: the provider keeps the one it gave before
    qint64 expiresInSeconds = 0;
};

// The longest token the program keeps (a mailbox file's text field holds
// 65535 bytes).
constexpr qsizetype kMaxTokenLength = 60000;
// When the reply names no lifetime.
constexpr qint64 kDefaultTokenLifetimeSeconds = 3600;

// The token endpoint's reply: status 200 with a JSON object holding a usable
// access_token of type Bearer (expires_in, refresh_token optional); else
// OAuthGrantRefused for "invalid_grant" and OAuthProviderError for every
// other error or an unusable answer, with the provider's own error code and
// description in the message.
TokenReply ParseTokenReply(int status, const QByteArray& body);

} // namespace vm
