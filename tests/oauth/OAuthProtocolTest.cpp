// The pieces of the sign-in without network: PKCE, the authorization
// address, the redirect, the token endpoint's replies, the providers and
// what an account's settings resolve to, and the browser's command lines.

#include "model/MailAccount.h"
#include "oauth/OAuthProtocol.h"
#include "oauth/OAuthProviders.h"
#include "platform/Browser.h"

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QUrlQuery>

using namespace vm;

TEST(OAuthProtocol, PkceAndStateValues)
{
    // RFC 7636, appendix B.
    EXPECT_EQ(CodeChallengeS256("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const QByteArray a = NewCodeVerifier();
    EXPECT_EQ(a.size(), 64);
    for (char c : a)
        EXPECT_TRUE(QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~")
                        .contains(c));
    EXPECT_NE(a, NewCodeVerifier());
    EXPECT_EQ(NewState().size(), 32);
    EXPECT_NE(NewState(), NewState());
}

TEST(OAuthProtocol, AuthorizationAddressCarriesEveryParameter)
{
    OAuthEndpoints e;
    e.authorizeUrl = QUrl("https://login.example.com/tenant/authorize?prompt=select_account");
    e.clientId = "id with space";
    e.scope = "https://outlook.office.com/POP.AccessAsUser.All offline_access";
    const QUrl url = AuthorizationUrl(e, "http://127.0.0.1:4711/", "st&ate", "chal", "bob@x.org");
    EXPECT_EQ(url.scheme(), "https");
    EXPECT_EQ(url.host(), "login.example.com");
    EXPECT_EQ(url.path(), "/tenant/authorize");
    const QUrlQuery q(url.query(QUrl::FullyEncoded));
    const auto value = [&](const char* key) {
        return q.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
    };
    EXPECT_EQ(value("prompt"), "select_account");
    EXPECT_EQ(value("response_type"), "code");
    EXPECT_EQ(value("client_id"), "id with space");
    EXPECT_EQ(value("redirect_uri"), "http://127.0.0.1:4711/");
    EXPECT_EQ(value("scope"), "https://outlook.office.com/POP.AccessAsUser.All offline_access");
    EXPECT_EQ(value("state"), "st&ate");
    EXPECT_EQ(value("code_challenge"), "chal");
    EXPECT_EQ(value("code_challenge_method"), "S256");
    EXPECT_EQ(value("login_hint"), "bob@x.org");
}

TEST(OAuthProtocol, RedirectsAreJudged)
{
    using K = RedirectAnswer::Kind;
    struct Case
    {
        QByteArray target;
        K kind;
        QByteArray code;
        QString error;
    } cases[] = {
        {"/?code=c%2F1&state=S", K::Code, "c/1", {}},
        {"/?state=S&code=abc&scope=mail", K::Code, "abc", {}},
        {"/?code=abc&state=T", K::StateMismatch, {}, {}},
        {"/?code=abc", K::StateMismatch, {}, {}},
        {"/?code=abc&state=S&state=S", K::StateMismatch, {}, {}},
        {"/?error=access_denied&error_description=The+user+said+no&state=S", K::ProviderError,
         {}, "access_denied"},
        {"/?error=access_denied&state=T", K::StateMismatch, {}, {}},
        {"/?state=S", K::NoCode, {}, {}},
        {"/?code=&state=S", K::NoCode, {}, {}},
        {"/?code=a&code=b&state=S", K::NoCode, {}, {}},
        {"/favicon.ico", K::OtherPath, {}, {}},
        {"/callback?code=abc&state=S", K::OtherPath, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        const RedirectAnswer a = ParseRedirect(c.target, "S");
        EXPECT_EQ(int(a.kind), int(c.kind));
        EXPECT_EQ(a.code, c.code);
        EXPECT_EQ(a.error, c.error);
    }
    EXPECT_EQ(ParseRedirect("/?error=x&error_description=The+user+said+no&state=S", "S").description,
              "The user said no");
    // A flow without a state of its own accepts nothing.
    EXPECT_EQ(int(ParseRedirect("/?code=abc&state=", "").kind), int(K::StateMismatch));
}

TEST(OAuthProtocol, TokenReplies)
{
    enum Outcome { Ok, Refused, ProviderFault };
    struct Case
    {
        const char* name;
        int status;
        QByteArray body;
        Outcome outcome;
        QByteArray access;
        QByteArray refresh;
        qint64 expires;
    } cases[] = {
        {"full reply", 200,
         R"({"access_token":"at.1","token_type":"Bearer","expires_in":3599,"refresh_token":"rt.1"})",
         Ok, "at.1", "rt.1", 3599},
        {"no refresh token, lifetime as a string", 200,
         R"({"access_token":"at.2","token_type":"bearer","expires_in":"60"})", Ok, "at.2", "", 60},
        {"no lifetime", 200, R"({"access_token":"at.3","token_type":"Bearer"})", Ok, "at.3", "",
         kDefaultTokenLifetimeSeconds},
        {"revoked grant", 400, R"({"error":"invalid_grant","error_description":"revoked"})",
         Refused, {}, {}, 0},
        {"unknown client", 401, R"({"error":"invalid_client"})", ProviderFault, {}, {}, 0},
        {"an error even with status 200", 200, R"({"error":"invalid_scope"})", ProviderFault, {},
         {}, 0},
        {"garbage", 200, "<html>hello</html>", ProviderFault, {}, {}, 0},
        {"server error", 500, "", ProviderFault, {}, {}, 0},
        {"no access token", 200, R"({"token_type":"Bearer"})", ProviderFault, {}, {}, 0},
        {"another token type", 200, R"({"access_token":"a","token_type":"mac"})", ProviderFault,
         {}, {}, 0},
        {"a token with a blank", 200, R"({"access_token":"a b","token_type":"Bearer"})",
         ProviderFault, {}, {}, 0},
        {"a lifetime that is no number", 200,
         R"({"access_token":"a","token_type":"Bearer","expires_in":"soon"})", ProviderFault, {},
         {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome got = Ok;
        TokenReply r;
        try {
            r = ParseTokenReply(c.status, c.body);
        } catch (const OAuthGrantRefused&) {
            got = Refused;
        } catch (const OAuthProviderError&) {
            got = ProviderFault;
        }
        EXPECT_EQ(got, c.outcome);
        EXPECT_EQ(r.accessToken, c.access);
        EXPECT_EQ(r.refreshToken, c.refresh);
        EXPECT_EQ(r.expiresInSeconds, c.expires);
    }
}

TEST(OAuthProviders, PresetsGuessesAndResolution)
{
    struct Guess
    {
        QByteArray server;
        QByteArray provider;
    } guesses[] = {
        {"outlook.office365.com", "microsoft"}, {"smtp.office365.com", "microsoft"},
        {"pop-mail.outlook.com", "microsoft"},   {"Pop.Gmail.com.", "google"},
        {"smtp.gmail.com", "google"},           {"pop.googlemail.com", "google"},
        {"pop.example.com", ""},                {"notgmail.com", ""},
    };
    for (const Guess& g : guesses)
        EXPECT_EQ(GuessProviderFromServer(g.server), g.provider) << g.server.toStdString();

    vm::test::ScopedEnv ids("VELMORA_OAUTH_CLIENT_IDS", " google = gid : gsecret ; microsoft=mid");
    struct Case
    {
        const char* name;
        OAuthSettings settings;
        bool ok;
        QString token;
        QByteArray clientId;
        QByteArray secret;
    } cases[] = {
        {"Microsoft preset, client id from the environment", {"microsoft", {}, {}, {}, {}, {}},
         true, "https://login.microsoftonline.com/common/oauth2/v2.0/token", "mid", ""},
        {"Google preset with its secret", {"google", {}, {}, {}, {}, {}}, true,
         "https://oauth2.googleapis.com/token", "gid", "gsecret"},
        {"a typed client id wins", {"google", "typed", {}, {}, {}, {}}, true,
         "https://oauth2.googleapis.com/token", "typed", ""},
        {"custom on loopback http", {"custom", "c", {}, "http://127.0.0.1:9/auth", "http://127.0.0.1:9/token", "mail"},
         true, "http://127.0.0.1:9/token", "c", ""},
        {"custom over https", {"custom", "c", {}, "https://id.example/a", "https://id.example/t", "s"},
         true, "https://id.example/t", "c", ""},
        {"custom http to another host", {"custom", "c", {}, "https://id.example/a", "http://id.example/t", "s"},
         false, {}, {}, {}},
        {"custom without addresses", {"custom", "c", {}, {}, {}, {}}, false, {}, {}, {}},
        {"custom without a client id", {"custom", {}, {}, "https://a/a", "https://a/t", {}},
         false, {}, {}, {}},
        {"unknown provider", {"yahoo", "c", {}, {}, {}, {}}, false, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        const auto e = ResolveOAuthEndpoints(c.settings, &error);
        ASSERT_EQ(e.has_value(), c.ok) << error.toStdString();
        EXPECT_EQ(error.isEmpty(), c.ok);
        if (!e)
            continue;
        EXPECT_EQ(e->tokenUrl.toString(), c.token);
        EXPECT_EQ(e->clientId, c.clientId);
        EXPECT_EQ(e->clientSecret, c.secret);
    }
    ids.Unset();
    QString error;
    EXPECT_FALSE(ResolveOAuthEndpoints({"microsoft", {}, {}, {}, {}, {}}, &error));
    EXPECT_TRUE(error.contains("VELMORA_OAUTH_CLIENT_IDS")) << error.toStdString();
    EXPECT_EQ(FindOAuthPreset("microsoft")->scope,
              "https://outlook.office.com/POP.AccessAsUser.All "
              "https://outlook.office.com/SMTP.Send offline_access");
    EXPECT_EQ(FindOAuthPreset("google")->authorizeUrl,
              "https://accounts.google.com/o/oauth2/v2/auth");
}

TEST(Browser, CommandLinesFollowTheBrowserVariable)
{
    const QString a = QStringLiteral("https://id.example/a?x=1&y=%20");
    EXPECT_EQ(BrowserCommands({}, a), (QList<QStringList>{{"xdg-open", a}}));
    EXPECT_EQ(BrowserCommands("firefox", a), (QList<QStringList>{{"firefox", a}}));
    EXPECT_EQ(BrowserCommands("w3m -o x %s:lynx", a),
              (QList<QStringList>{{"w3m", "-o", "x", a}, {"lynx", a}}));
}
