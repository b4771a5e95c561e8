#pragma once
// The access tokens of OAuth 2.0 accounts. An account keeps its refresh
// token with its settings (stored like a password) and its access token in
// memory with the time it expires. The POP3 and SMTP logins ask here for the
// token to send; a token that expires within a minute, or one the server has
// just refused, is replaced by a new one from the provider's token endpoint.
//
// A provider that refuses the refresh token (revoked, expired) marks the
// account as refused (MailAccount::SignInRefused) and ends the login with an
// error that names the account and says to sign in again; nothing retries
// it. No token ever appears in an error text.

#include <QByteArray>
#include <QString>

#include "oauth/TokenEndpoint.h"

namespace vm {

class MailAccount;
class Transport;

// An access token is renewed when it expires within this time.
constexpr qint64 kTokenRenewalMarginMs = 60 * 1000;

// The access token for a login to account's servers: the one held while it
// stays valid for more than kTokenRenewalMarginMs, unless renew is set; else
// a new one from the token endpoint (its request follows the operation of
// leader, when given: the user's Stop and the silence limit reach it). A new
// refresh token the provider hands out replaces the stored one. Runs on the
// worker thread of the login while the interface thread waits. Errors:
// OAuthNotSignedIn, OAuthGrantRefused (account marked refused),
// OAuthProviderError, and the transport's own.
QByteArray AccessTokenFor(MailAccount& account, Transport* leader, bool renew);

// The limits of the token requests AccessTokenFor makes (tests shorten them).
void SetTokenLimits(const TokenLimits& limits);
const TokenLimits& CurrentTokenLimits();

// Stores what a sign-in brought: the refresh token with the account, the
// access token and its expiry in memory, the refusal mark cleared.
void StoreSignIn(MailAccount& account, const TokenReply& tokens);

// The error texts, naming the account by its display name.
QString NotSignedInText(const MailAccount& account);
QString SignInAgainText(const MailAccount& account, const QString& providerSaid);

} // namespace vm
