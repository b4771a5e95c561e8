#pragma once
// Requests to a provider's token endpoint: the code exchange after a
// sign-in and the renewal of an access token with the refresh token. One
// form POST over the program's own transport (verified TLS; plain HTTP only
// to a loopback host), within a connect limit, a silence limit and a limit
// on the whole exchange, the reply bounded in size.

#include <QByteArray>
#include <QString>

#include "oauth/OAuthProtocol.h"

namespace vm {

class Transport;
struct OAuthEndpoints;

struct TokenLimits
{
    int connectMs = 20000; // name lookup, TCP connect and TLS handshake
    int silenceMs = 30000; // no byte arriving
    int totalMs = 60000;   // the whole exchange
    qint64 maxReplyBytes = 64 * 1024;
};

// POSTs form to url over transport and reads the reply (ParseTokenReply).
// Errors: OAuthGrantRefused, OAuthProviderError (also for a server that
// cannot be reached, answers garbage, too much or too slowly: the message
// names the server and what happened), CertificateError for a server
// certificate that fails verification, OperationCancelled and
// ConnectionAborted when the transport (or the operation it follows) was
// stopped.
TokenReply RequestTokens(const QUrl& url, const QByteArray& form, Transport& transport,
                         const TokenLimits& limits = {});

TokenReply ExchangeCode(const OAuthEndpoints& endpoints, const QByteArray& code,
                        const QByteArray& verifier, const QString& redirectUri,
                        Transport& transport, const TokenLimits& limits = {});
TokenReply RefreshAccess(const OAuthEndpoints& endpoints, const QByteArray& refreshToken,
                         Transport& transport, const TokenLimits& limits = {});

} // namespace vm
