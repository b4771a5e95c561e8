// The browser step, the token endpoint and the renewal of access tokens
// against the tests' own provider (tests/support/oauth_provider.py) on
// loopback, with the fake browser named by $BROWSER.

#include "model/MailAccount.h"
#include "net/TlsTrust.h"
#include "net/Transport.h"
#include "oauth/AccountTokens.h"
#include "oauth/RedirectListener.h"
#include "oauth/SignInFlow.h"
#include "support/OAuthProviderFixture.h"
#include "support/TestPki.h"

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

#include <atomic>
#include <thread>

#include <QCoreApplication>

using namespace vm;
using vm::test::FakeBrowser;
using vm::test::OAuthProviderFixture;

namespace {

class SignInTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vm::test::EnsureCoreApp();
        ASSERT_TRUE(provider.Ok()) << provider.Error().toStdString();
        browserEnv.Set(browser.Program().toUtf8());
        browserLogEnv.Set(browser.LogPath().toUtf8());
        browserModeEnv.Unset();
    }

    OAuthSettings Settings() const
    {
        OAuthSettings s;
        s.provider = "custom";
        s.clientId = OAuthProviderFixture::kClientId;
        s.authorizeUrl = provider.Url("/authorize").toUtf8();
        s.tokenUrl = provider.Url("/token").toUtf8();
        s.scope = "mail";
        return s;
    }
    SignInRequest Request(int timeLimitMs = 60000) const
    {
        SignInRequest r;
        r.endpoints = *ResolveOAuthEndpoints(Settings(), nullptr);
        r.loginHint = "bob";
        r.timeLimitMs = timeLimitMs;
        return r;
    }
    SignInResult Run(const SignInRequest& r, const std::function<bool()>& stop = {})
    {
        return RunSignIn(r, [this](const QUrl& a, bool) { address = a; }, stop);
    }
    // An account signed in through the browser.
    void SignIn(MailAccount& account)
    {
        account.SignIn() = SignInMethod::OAuth2;
        account.OAuth() = Settings();
        account.FriendlyName() = "Work";
        const SignInResult r = Run(Request());
        ASSERT_EQ(int(r.status), int(SignInResult::Status::SignedIn)) << r.error.toStdString();
        StoreSignIn(account, r.tokens);
    }

    OAuthProviderFixture provider;
    FakeBrowser browser;
    QUrl address;
    vm::test::ScopedEnv browserEnv{"BROWSER"};
    vm::test::ScopedEnv browserLogEnv{"FAKE_BROWSER_LOG"};
    vm::test::ScopedEnv browserModeEnv{"FAKE_BROWSER_MODE"};
};

} // namespace

TEST_F(SignInTest, BrowserStepWithPkceEndsWithTokens)
{
    const SignInResult r = Run(Request());
    ASSERT_EQ(int(r.status), int(SignInResult::Status::SignedIn)) << r.error.toStdString();
    EXPECT_TRUE(r.tokens.accessToken.startsWith("at-"));
    EXPECT_TRUE(r.tokens.refreshToken.startsWith("rt-"));
    EXPECT_EQ(r.tokens.expiresInSeconds, 3600);

    // The browser got exactly the address, which carries no secret.
    ASSERT_EQ(browser.Opened(), QStringList{QString::fromLatin1(address.toEncoded())});
    const QJsonObject asked = provider.Stats().value("authorize").toArray().first().toObject();
    EXPECT_EQ(asked.value("code_challenge_method").toString(), "S256");
    EXPECT_EQ(asked.value("code_challenge").toString().size(), 43);
    EXPECT_EQ(asked.value("state").toString().size(), 32);
    EXPECT_EQ(asked.value("login_hint").toString(), "bob");
    EXPECT_TRUE(asked.value("redirect_uri").toString().startsWith("http://127.0.0.1:"));
    const QJsonObject exchange = provider.Stats().value("token").toArray().first().toObject();
    EXPECT_EQ(exchange.value("grant_type").toString(), "authorization_code");
    EXPECT_TRUE(exchange.value("pkce_ok").toBool());
    ASSERT_TRUE(browser.WaitFor("PAGE "));
    EXPECT_TRUE(browser.Log().last().contains("\"status\": 200"));
    EXPECT_TRUE(browser.Log().last().contains("signed in"));
}

TEST_F(SignInTest, AnswersThatAreNotAGrantAreRefused)
{
    struct Case
    {
        const char* mode;
        const char* said; // in the error and on the browser's page
    } cases[] = {
        {"deny", "access_denied: The user said no"},
        {"wrong-state", "state value differs"},
        {"no-code", "no authorization code"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_EQ(provider.Post("/admin/mode", QByteArray("authorize=") + c.mode), 200);
        const int exchangesBefore = provider.TokenRequests("authorization_code");
        const SignInResult r = Run(Request());
        EXPECT_EQ(int(r.status), int(SignInResult::Status::Failed));
        EXPECT_TRUE(r.error.contains(QLatin1String(c.said))) << r.error.toStdString();
        EXPECT_EQ(provider.TokenRequests("authorization_code"), exchangesBefore);
    }
}

TEST_F(SignInTest, CancelAndTimeLimitCloseTheListener)
{
    browserModeEnv.Set("record");
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancelled" : "timed out");
        QElapsedTimer t;
        t.start();
        const SignInResult r = cancel ? Run(Request(), [&] { return t.elapsed() > 300; })
                                      : Run(Request(400));
        EXPECT_LT(t.elapsed(), 10000);
        EXPECT_EQ(int(r.status), int(cancel ? SignInResult::Status::Cancelled
                                            : SignInResult::Status::Failed));
        if (!cancel) {
            EXPECT_TRUE(r.error.contains("in time")) << r.error.toStdString();
        }
        // Nothing listens on the redirect address any more.
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(QUrlQuery(address)
                                                              .queryItemValue("redirect_uri",
                                                                              QUrl::FullyDecoded)
                                                              .section(':', 2)
                                                              .section('/', 0, 0)
                                                              .toUShort()));
        EXPECT_FALSE(s.waitForConnected(2000));
    }
}

namespace {

// Sends request to the port from a thread of its own (the listener needs
// this thread's event loop meanwhile); the reply's first line, or "no
// connection".
QByteArray Ask(quint16 port, const QByteArray& request, QByteArray* whole = nullptr)
{
    std::atomic<bool> done{false};
    QByteArray reply;
    bool connected = false;
    std::thread client([&] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        connected = s.waitForConnected(5000);
        if (connected) {
            s.write(request);
            s.waitForBytesWritten(5000);
            while (s.waitForReadyRead(5000))
                reply += s.readAll();
        }
        done = true;
    });
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    client.join();
    if (whole)
        *whole = reply;
    return connected ? reply.left(reply.indexOf("\r\n")) : QByteArray("no connection");
}

} // namespace

TEST(RedirectListener, OnlyTheFirstRequestToTheRootCounts)
{
    vm::test::EnsureCoreApp();
    RedirectListener listener;
    ASSERT_TRUE(listener.Listen());
    const quint16 port = quint16(QUrl(listener.RedirectUri()).port());
    QByteArray target;
    QObject::connect(&listener, &RedirectListener::redirected, [&](const QByteArray& t) {
        target = t;
        listener.Respond("Velmora", "done <b>");
    });
    EXPECT_EQ(Ask(port, "GET /favicon.ico HTTP/1.1\r\nHost: x\r\n\r\n"), "HTTP/1.0 404 Not Found");
    EXPECT_EQ(Ask(port, "POST /?code=a HTTP/1.1\r\n\r\n"), "HTTP/1.0 400 Bad Request");
    EXPECT_EQ(Ask(port, "GET /?" + QByteArray(20000, 'x') + " HTTP/1.1\r\n\r\n"),
              "HTTP/1.0 431 Request Header Fields Too Large");
    EXPECT_TRUE(target.isEmpty());

    QByteArray page;
    EXPECT_EQ(Ask(port, "GET /?code=c&state=s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", &page),
              "HTTP/1.0 200 OK");
    EXPECT_EQ(target, "/?code=c&state=s");
    EXPECT_TRUE(page.contains("<p>done &lt;b&gt;</p>")) << page.toStdString();
    EXPECT_FALSE(listener.Listening());
    EXPECT_EQ(Ask(port, "GET /?code=d&state=s HTTP/1.1\r\n\r\n"), "no connection");
}

TEST_F(SignInTest, TokenEndpointFaultsAreBounded)
{
    TokenLimits limits;
    limits.connectMs = 5000;
    limits.silenceMs = 1000;
    limits.totalMs = 2500;
    OAuthEndpoints e = *ResolveOAuthEndpoints(Settings(), nullptr);
    struct Case
    {
        const char* mode;
        const char* refresh;
        bool refused; // OAuthGrantRefused, else OAuthProviderError
    } cases[] = {
        {"garbage", "rt-x", false},
        {"slow", "rt-x", false}, // silent past the silence limit
        {"drip", "rt-x", false}, // a byte now and then, past the whole limit
        {"normal", "rt-unknown", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_EQ(provider.Post("/admin/mode", QByteArray("token=") + c.mode), 200);
        QElapsedTimer t;
        t.start();
        Transport transport;
        try {
            RefreshAccess(e, c.refresh, transport, limits);
            ADD_FAILURE() << "the refresh succeeded";
        } catch (const OAuthGrantRefused&) {
            EXPECT_TRUE(c.refused);
        } catch (const OAuthProviderError& error) {
            EXPECT_FALSE(c.refused) << error.Message().toStdString();
        }
        EXPECT_LT(t.elapsed(), 6000);
    }
}

// The token endpoint over https: the exchange goes through once the
// provider's certificate is verified, and never with a certificate that is
// not (unknown CA, or a name the certificate does not carry).
TEST_F(SignInTest, TokenEndpointOverHttpsNeedsAVerifiedCertificate)
{
    vm::test::TestPki& pki = vm::test::TestPki::Shared();
    ASSERT_TRUE(pki.Ok()) << pki.Error().toStdString();
    OAuthProviderFixture tlsProvider(
        {"--cert", pki.ServerCertPath(), "--key", pki.ServerKeyPath()});
    ASSERT_TRUE(tlsProvider.Ok()) << tlsProvider.Error().toStdString();
    QTemporaryDir trustDir;
    vm::SetTrustFilePath(trustDir.path() + "/certificates.ini");
    struct Case
    {
        const char* host;
        bool trustTestCa;
        bool answered; // the provider's refusal came back, else CertificateError
    } cases[] = {
        {"localhost", true, true},
        {"127.0.0.1", true, false}, // the certificate names localhost only
        {"localhost", false, false},
    };
    OAuthEndpoints e = *ResolveOAuthEndpoints(Settings(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + (c.trustTestCa ? " trusted" : " untrusted"));
        if (c.trustTestCa)
            vm::SetTrustedCaCertificates({pki.CaCertificate()});
        else
            vm::ResetTrustedCaCertificates();
        e.tokenUrl = QUrl(QStringLiteral("https://%1:%2/token")
                              .arg(QLatin1String(c.host))
                              .arg(tlsProvider.Port()));
        Transport transport;
        try {
            RefreshAccess(e, "rt-unknown", transport);
            ADD_FAILURE() << "an unknown refresh token was accepted";
        } catch (const OAuthGrantRefused&) {
            EXPECT_TRUE(c.answered);
        } catch (const CertificateError& error) {
            EXPECT_FALSE(c.answered) << error.Message().toStdString();
        }
    }
    vm::ResetTrustedCaCertificates();
    vm::SetTrustFilePath({});
}

TEST_F(SignInTest, StopOfTheLoginReachesTheTokenRequest)
{
    ASSERT_EQ(provider.Post("/admin/mode", "token=slow"), 200);
    Transport login; // the POP3 or SMTP connection the request belongs to
    std::thread stop([&login] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        login.RequestInterrupt();
    });
    QElapsedTimer t;
    t.start();
    Transport request;
    request.FollowOperationOf(&login);
    const qint64 before = login.LastActivityMs();
    EXPECT_THROW(RefreshAccess(*ResolveOAuthEndpoints(Settings(), nullptr), "rt-x", request),
                 OperationCancelled);
    stop.join();
    EXPECT_LT(t.elapsed(), 5000);
    // The request's bytes counted as the login's activity.
    EXPECT_GT(login.LastActivityMs(), before);
}

TEST_F(SignInTest, AccessTokensAreRenewedOnlyWhenNeeded)
{
    MailAccount account;
    SignIn(account);
    const QByteArray first = account.AccessToken();
    EXPECT_EQ(AccessTokenFor(account, nullptr, false), first);
    EXPECT_EQ(provider.TokenRequests("refresh_token"), 0);

    // Within the renewal margin of its expiry, and after a refusal.
    account.AccessTokenExpiresMs() = Transport::MonotonicMs() + kTokenRenewalMarginMs / 2;
    const QByteArray second = AccessTokenFor(account, nullptr, false);
    EXPECT_NE(second, first);
    EXPECT_EQ(provider.TokenRequests("refresh_token"), 1);
    EXPECT_NE(AccessTokenFor(account, nullptr, true), second);
    EXPECT_EQ(provider.TokenRequests("refresh_token"), 2);

    // A revoked grant is reported once, names the account, and marks it.
    ASSERT_EQ(provider.Post("/admin/revoke-grants"), 200);
    account.AutoCheck() = true;
    try {
        AccessTokenFor(account, nullptr, true);
        FAIL() << "a revoked grant renewed the token";
    } catch (const OAuthGrantRefused& e) {
        EXPECT_TRUE(e.Message().contains("account Work")) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains("invalid_grant")) << e.Message().toStdString();
        EXPECT_FALSE(e.Message().contains("rt-")) << e.Message().toStdString();
    }
    EXPECT_EQ(provider.TokenRequests("refresh_token"), 3);
    EXPECT_TRUE(account.SignInRefused());
    EXPECT_TRUE(account.AccessToken().isEmpty());
    EXPECT_FALSE(account.CanBeCheckedUnattended());
}

TEST(AccountTokens, ARenewedRefreshTokenReplacesTheStoredOne)
{
    OAuthProviderFixture provider({"--rotate-refresh"});
    ASSERT_TRUE(provider.Ok()) << provider.Error().toStdString();
    FakeBrowser browser;
    const vm::test::ScopedEnv browserEnv("BROWSER", browser.Program().toUtf8());
    const vm::test::ScopedEnv browserLogEnv("FAKE_BROWSER_LOG", browser.LogPath().toUtf8());
    vm::test::ScopedEnv browserModeEnv("FAKE_BROWSER_MODE");
    browserModeEnv.Unset();
    MailAccount account;
    account.SignIn() = SignInMethod::OAuth2;
    account.OAuth() = {"custom", OAuthProviderFixture::kClientId, {},
                       provider.Url("/authorize").toUtf8(), provider.Url("/token").toUtf8(),
                       "mail"};
    SignInRequest r;
    r.endpoints = *ResolveOAuthEndpoints(account.OAuth(), nullptr);
    const SignInResult signedIn = RunSignIn(r, {}, {});
    ASSERT_EQ(int(signedIn.status), int(SignInResult::Status::SignedIn));
    StoreSignIn(account, signedIn.tokens);
    const QByteArray old = account.RefreshToken();
    AccessTokenFor(account, nullptr, true);
    EXPECT_NE(account.RefreshToken(), old);
    EXPECT_TRUE(account.RefreshToken().startsWith("rt-"));
    // The new one works; the old one is gone at the provider.
    EXPECT_NO_THROW(AccessTokenFor(account, nullptr, true));
}
