#include "oauth/AccountTokens.h"

#include "model/MailAccount.h"
#include "net/Transport.h"
#include "oauth/OAuthProviders.h"
#include "oauth/OAuthText.h"

namespace vm {

namespace {

TokenLimits g_limits;

QString Name(const MailAccount& account)
{
    return QString::fromUtf8(account.DisplayName());
}

} // namespace

void SetTokenLimits(const TokenLimits& limits)
{
    g_limits = limits;
}

const TokenLimits& CurrentTokenLimits()
{
    return g_limits;
}

QString NotSignedInText(const MailAccount& account)
{
    return OAuthText("NotSignedIn",
                     "Account %s is not signed in with its provider yet. Sign in with \"Sign "
                     "in...\" in the account window, or with velmora --sign-in \"%s\".",
                     {Name(account), Name(account)});
}

QString SignInAgainText(const MailAccount& account, const QString& providerSaid)
{
    return OAuthText("SignInAgain",
                     "The sign-in of account %s was revoked or has expired. %s Sign in again: "
                     "\"Sign in again\" in the account tree's menu, or velmora --sign-in "
                     "\"%s\".",
                     {Name(account), providerSaid, Name(account)});
}

void StoreSignIn(MailAccount& account, const TokenReply& tokens)
{
    const qint64 lifetimeMs = tokens.expiresInSeconds * 1000;
    account.SignedIn(tokens.refreshToken, tokens.accessToken,
                     Transport::MonotonicMs() + lifetimeMs);
}

QByteArray AccessTokenFor(MailAccount& account, Transport* leader, bool renew)
{
    const qint64 now = Transport::MonotonicMs();
    if (!renew && !account.AccessToken().isEmpty() &&
        account.AccessTokenExpiresMs() - kTokenRenewalMarginMs > now)
        return account.AccessToken();
    if (account.RefreshToken().isEmpty())
        throw OAuthNotSignedIn(NotSignedInText(account));
    QString problem;
    const std::optional<OAuthEndpoints> endpoints = ResolveOAuthEndpoints(account.OAuth(), &problem);
    if (!endpoints)
        throw OAuthProviderError(problem);

    Transport transport;
    transport.FollowOperationOf(leader);
    // The token in hand is of no use any more, whatever happens next.
    account.AccessToken().clear();
    account.AccessTokenExpiresMs() = 0;
    TokenReply reply;
    try {
        reply = RefreshAccess(*endpoints, account.RefreshToken(), transport, g_limits);
    } catch (const OAuthGrantRefused& e) {
        account.SignInRefused() = true;
        throw OAuthGrantRefused(SignInAgainText(account, e.Message()));
    }
    StoreSignIn(account, reply);
    return account.AccessToken();
}

} // namespace vm
