#pragma once
// The SASL messages the POP3 (AUTH, RFC 5034) and SMTP (AUTH, RFC 4954)
// clients send, and the error challenge of the OAuth 2.0 mechanisms.
//
//   PLAIN        authzid NUL user NUL password (RFC 4616)
//   XOAUTH2      "user=" user ^A "auth=Bearer " token ^A ^A
//   OAUTHBEARER  "n,a=" user "," ^A "host=" host ^A "port=" port ^A
//                "auth=Bearer " token ^A ^A (RFC 7628)
//
// A server that refuses a bearer token answers with a continuation holding
// a base64 JSON object ({"status":"401","schemes":"bearer",...}); the
// client must answer it (XOAUTH2: an empty line; OAUTHBEARER: a single ^A,
// RFC 7628 3.2.3) before the server sends its final refusal.

#include <QByteArray>
#include <QList>

#include <functional>

#include "net/ConnectionOptions.h"
#include "net/NetErrors.h"

namespace vm {

// The server refused the bearer token with the OAuth 2.0 error challenge:
// the token is not (or no longer) accepted. The message holds the server's
// final reply and the challenge's status.
class BearerTokenRefused : public ProtocolReplyError
{
public:
    BearerTokenRefused(const QString& message, const QByteArray& status)
        : ProtocolReplyError(message), status_(status)
    {
    }
    QString ClassName() const override { return QStringLiteral("BearerTokenRefused"); }
    // The challenge's "status" ("401", "invalid_token", ...); may be empty.
    const QByteArray& Status() const { return status_; }

private:
    QByteArray status_;
};

// A token that can go into a SASL message: visible ASCII only (RFC 6750's
// b64token and the tokens providers give out), no ^A, no blank, not empty.
bool IsSendableBearerToken(const QByteArray& token);

QByteArray SaslPlain(const QByteArray& user, const QByteArray& password);
QByteArray SaslXOAuth2(const QByteArray& user, const QByteArray& token);
// host and port name the server the client connected to; the user goes into
// the GS2 header with "," and "=" escaped as "=2C" and "=3D".
QByteArray SaslOAuthBearer(const QByteArray& user, const QByteArray& host, quint16 port,
                           const QByteArray& token);

// The answer to the error challenge of mechanism ("XOAUTH2" or
// "OAUTHBEARER"), before base64.
QByteArray SaslBearerErrorAnswer(const QByteArray& mechanism);

struct BearerChallenge
{
    bool valid = false; // a JSON object
    QByteArray status;  // "status" ("401", "invalid_token", ...)
    QByteArray schemes; // "schemes"
    QByteArray scope;   // "scope"
};

// The challenge of an OAuth 2.0 mechanism, from its base64 text (the part
// after "+ " or "334 "). Not valid when it is not base64 of a JSON object.
BearerChallenge ParseBearerChallenge(const QByteArray& base64);

// Of the mechanisms a server offers (upper case), the OAuth 2.0 mechanism to
// use: OAUTHBEARER (the standard) when offered, else XOAUTH2; empty when it
// offers neither.
QByteArray ChooseBearerMechanism(const QList<QByteArray>& offered);

// The bearer login of a client with options: the initial response of
// mechanism ("XOAUTH2" or "OAUTHBEARER") with options.BearerToken(false),
// handed to exchange; when exchange raises BearerTokenRefused (the token
// may have been revoked early), once more with a new token,
// options.BearerToken(true). CredentialError without a token source or for
// a token that cannot be sent.
void LoginWithBearerToken(
    const ConnectionOptions& options, const QByteArray& mechanism,
    const std::function<void(const QByteArray& mechanism, const QByteArray& response)>& exchange);

} // namespace vm
