#include "oauth/TokenEndpoint.h"

#include "net/HttpGet.h"
#include "net/Transport.h"
#include "oauth/OAuthProviders.h"
#include "oauth/OAuthText.h"

namespace vm {

TokenReply RequestTokens(const QUrl& url, const QByteArray& form, Transport& transport,
                         const TokenLimits& limits)
{
    if (!IsAllowedOAuthAddress(url))
        throw OAuthProviderError(OAuthText(
            "BadAddress",
            "The address \"%s\" cannot be used for signing in: it must begin with https:// "
            "(http:// only for this computer, such as http://127.0.0.1).",
            {url.toString()}));
    const bool tls = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    transport.SetTlsMode(tls ? TlsMode::Implicit : TlsMode::None);
    transport.SetConnectTimeoutMs(limits.connectMs);
    transport.SetReadTimeoutMs(limits.silenceMs);
    transport.SetDeadlineMs(Transport::MonotonicMs() + limits.totalMs);
    HttpReply reply;
    try {
        transport.Connect(url.host(), quint16(url.port(tls ? 443 : 80)));
        HttpLimits http;
        http.maxBody = limits.maxReplyBytes;
        reply = HttpPostForm(transport, url, form, http);
    } catch (const OperationCancelled&) {
        transport.Close();
        throw;
    } catch (const ConnectionAborted&) {
        transport.Close();
        throw;
    } catch (const CertificateError&) {
        transport.Close();
        throw;
    } catch (const NetworkError& e) {
        transport.Close();
        throw OAuthProviderError(OAuthText("NoAnswer",
                                           "The sign-in service %s did not answer usably: %s",
                                           {url.host(), e.Message()}));
    }
    transport.Close();
    transport.SetDeadlineMs(0);
    return ParseTokenReply(reply.status, reply.body);
}

TokenReply ExchangeCode(const OAuthEndpoints& endpoints, const QByteArray& code,
                        const QByteArray& verifier, const QString& redirectUri,
                        Transport& transport, const TokenLimits& limits)
{
    return RequestTokens(endpoints.tokenUrl, CodeExchangeForm(endpoints, code, verifier, redirectUri),
                         transport, limits);
}

TokenReply RefreshAccess(const OAuthEndpoints& endpoints, const QByteArray& refreshToken,
                         Transport& transport, const TokenLimits& limits)
{
    return RequestTokens(endpoints.tokenUrl, RefreshForm(endpoints, refreshToken), transport,
                         limits);
}

} // namespace vm
