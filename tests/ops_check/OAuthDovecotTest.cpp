// The mail check of an OAuth 2.0 account against a real Dovecot whose
// oauth2 passdb asks the tests' provider (token introspection): both bearer
// mechanisms, the renewal of an expired or revoked access token, and a
// revoked grant reported once.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QThread>

#include "model/MailAccount.h"
#include "net/Transport.h"
#include "oauth/AccountTokens.h"
#include "oauth/SignInFlow.h"
#include "ops/CheckAccount.h"
#include "ops/CheckPop3Session.h"
#include "ops/ErrorList.h"
#include "pop3/Pop3Client.h"
#include "support/DovecotFixture.h"
#include "support/OAuthProviderFixture.h"

using namespace vm;
using vm::test::DovecotFixture;
using vm::test::FakeBrowser;
using vm::test::OAuthProviderFixture;

namespace {

class OAuthDovecot : public ::testing::Test
{
protected:
    // Dovecot offering mechanisms, its tokens checked by a provider started
    // with providerArgs; bob signed in through the fake browser.
    void Start(const QString& mechanisms, const QStringList& providerArgs = {})
    {
        if (!DovecotFixture::Available())
            GTEST_SKIP() << "dovecot is not installed";
        provider = std::make_unique<OAuthProviderFixture>(providerArgs);
        ASSERT_TRUE(provider->Ok()) << provider->Error().toStdString();
        dc = std::make_unique<DovecotFixture>();
        dc->EnableOAuth2(provider->Url("/introspect"), mechanisms);
        ASSERT_TRUE(dc->Start()) << dc->LastError().toStdString();
        dc->AddUser("bob", "unused-password");
        dc->Deliver("bob", "From: a@example.org\r\nSubject: one\r\n\r\nbody\r\n");
        dc->Deliver("bob", "From: a@example.org\r\nSubject: two\r\n\r\nbody\r\n");

        qputenv("BROWSER", browser.Program().toUtf8());
        qputenv("FAKE_BROWSER_LOG", browser.LogPath().toUtf8());
        account.Login() = "bob";
        account.FriendlyName() = "Bob";
        account.Server() = "127.0.0.1";
        account.Pop3Port() = dc->Pop3Port();
        account.SignIn() = SignInMethod::OAuth2;
        account.OAuth() = {"custom", OAuthProviderFixture::kClientId, {},
                           provider->Url("/authorize").toUtf8(), provider->Url("/token").toUtf8(),
                           "mail"};
        SignInRequest request;
        request.endpoints = *ResolveOAuthEndpoints(account.OAuth(), nullptr);
        const SignInResult r = RunSignIn(request, {}, {});
        ASSERT_EQ(int(r.status), int(SignInResult::Status::SignedIn)) << r.error.toStdString();
        StoreSignIn(account, r.tokens);
    }

    CheckAccountResult Check()
    {
        ClearErrorList();
        OperationRun run;
        run.client = &client;
        run.timeoutSeconds = 20;
        CheckOptions whole;
        whole.range = 1;
        whole.oldGetHeaders = false;
        return CheckAccount(account, run, whole);
    }

    // How often text stands in Dovecot's log, once it stands there expected
    // times or 5 s have passed (the log is written by a process of its own).
    int LogCount(const QString& text, int expected) const
    {
        QElapsedTimer t;
        t.start();
        int n = 0;
        while ((n = int(dc->Log().count(text))) < expected && t.elapsed() < 5000)
            QThread::msleep(50);
        return n;
    }
    int Logins(const char* method, int expected) const
    {
        return LogCount(QStringLiteral("Login: user=<bob>, method=%1").arg(method), expected);
    }

    std::unique_ptr<OAuthProviderFixture> provider;
    std::unique_ptr<DovecotFixture> dc;
    FakeBrowser browser;
    MailAccount account;
    Pop3Client client;
};

} // namespace

TEST_F(OAuthDovecot, ChecksWithEitherBearerMechanism)
{
    for (const char* mechanism : {"XOAUTH2", "OAUTHBEARER"}) {
        SCOPED_TRACE(mechanism);
        Start(QString::fromLatin1(mechanism).toLower());
        if (IsSkipped() || HasFatalFailure())
            return;
        const CheckAccountResult r = Check();
        ASSERT_TRUE(r.completed) << ErrorList().join('\n').toStdString() << dc->Log().toStdString();
        EXPECT_EQ(r.added, 2);
        EXPECT_EQ(account.Box().At(1)->Subject(), "two");
        EXPECT_EQ(Logins(mechanism, 1), 1);
        // The token of the sign-in served: nothing was renewed.
        EXPECT_EQ(provider->TokenRequests("refresh_token"), 0);
        account.Box().Clear();
    }
}

TEST_F(OAuthDovecot, AnExpiredOrRevokedAccessTokenIsRenewedOnce)
{
    Start("xoauth2 oauthbearer");
    if (IsSkipped() || HasFatalFailure())
        return;
    // Expired in the program's eyes: renewed before the login.
    account.AccessTokenExpiresMs() = Transport::MonotonicMs() - 1;
    ASSERT_TRUE(Check().completed) << ErrorList().join('\n').toStdString();
    EXPECT_EQ(provider->TokenRequests("refresh_token"), 1);
    EXPECT_EQ(Logins("OAUTHBEARER", 1), 1);
    EXPECT_EQ(dc->Log().count("auth failed"), 0);

    // Revoked at the provider while the program still holds it: the server
    // refuses it, one new token is fetched, the login goes through.
    ASSERT_EQ(provider->Post("/admin/revoke-access"), 200);
    const CheckAccountResult r = Check();
    EXPECT_TRUE(r.completed) << ErrorList().join('\n').toStdString();
    EXPECT_EQ(provider->TokenRequests("refresh_token"), 2);
    EXPECT_EQ(Logins("OAUTHBEARER", 2), 2);
}

TEST_F(OAuthDovecot, ARevokedGrantIsReportedOnceAndMarksTheAccount)
{
    Start("xoauth2 oauthbearer");
    if (IsSkipped() || HasFatalFailure())
        return;
    ASSERT_EQ(provider->Post("/admin/revoke-grants"), 200);
    const CheckAccountResult r = Check();
    EXPECT_FALSE(r.completed);
    // The login was refused, one renewal was tried, and nothing more.
    EXPECT_EQ(provider->TokenRequests("refresh_token"), 1);
    EXPECT_EQ(LogCount("auth failed, 1 attempts", 1), 1);
    EXPECT_TRUE(account.SignInRefused());
    const QStringList errors = ErrorList();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().contains("OAuthGrantRefused")) << errors.first().toStdString();
    EXPECT_TRUE(errors.first().contains("Sign in again")) << errors.first().toStdString();
    for (const QJsonValue& token : provider->Stats().value("issued").toArray())
        EXPECT_FALSE(errors.first().contains(token.toString()));
}
