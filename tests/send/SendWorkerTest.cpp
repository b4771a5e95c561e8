// The whole send (configuration, building, worker and wait) against the
// aiosmtpd sink and the fake server.

#include "send/SendWorker.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QJsonArray>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include "SmtpSink.h"
#include "oauth/AccountTokens.h"
#include "oauth/SignInFlow.h"
#include "support/OAuthProviderFixture.h"
#include "TestUtil.h"
#include "core/Messages.h"
#include "model/MailAccount.h"
#include "net/PasswordPrompt.h"
#include "net/TlsTrust.h"
#include "ops/CertificateFailures.h"
#include "send/OutgoingMessage.h"
#include "ops/StatusChannel.h"
#include "send/SmtpClient.h"
#include "support/TestPki.h"
#include "support/fake_smtp.h"

using namespace vm;
using vm::test::FakeSmtpServer;
using vmtest::SmtpSink;

namespace {

class ScriptedPrompt : public PasswordPrompt
{
public:
    PasswordAnswer answer;
    int asked = 0;
    PasswordAnswer Ask(const PasswordRequest& request) override
    {
        ++asked;
        EXPECT_FALSE(request.allowEmpty);
        return answer;
    }
};

class SendTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vm::test::EnsureCoreApp();
        SetMessageService(&messages);
        SetPasswordPrompter(&prompt);
        account.FromAddress() = "anna@example.org";
        account.SenderName() = QString::fromUtf8("Anna \xc5\x81\xc3\xb3\x64\xc5\xba").toUtf8();
        account.SmtpLogin() = "anna";
        account.SmtpServer() = "127.0.0.1";
    }
    void TearDown() override
    {
        SetMessageService(nullptr);
        SetPasswordPrompter(nullptr);
        ResetTrustedCaCertificates();
    }
    SendRequest Request()
    {
        SendRequest r;
        r.account = &account;
        r.subject = QString::fromUtf8("Test \xe2\x9c\x93");
        r.body = QStringLiteral("Hello\n.\nBye");
        r.recipients = {{"Bob", "bob@example.com", 1}, {"", "hidden@example.com", 3}};
        return r;
    }
    SendOutcome Send(const SendRequest& r, int silence = 30)
    {
        SendOptions o;
        o.status = &status;
        o.silenceLimitSeconds = silence;
        QObject::connect(&status, &StatusChannel::statusChanged,
                         [this](const QString& t) { statuses.append(t); });
        return SendComposedMessage(r, o);
    }
    QStringList Shown() const
    {
        QStringList t;
        for (const MessageRequest& m : messages.shown)
            t.append(m.text);
        return t;
    }

    RecordingMessageService messages;
    ScriptedPrompt prompt;
    StatusChannel status;
    QStringList statuses;
    MailAccount account;
};

bool HasMail(const FakeSmtpServer& s)
{
    for (const QByteArray& l : s.Commands()) {
        if (l.startsWith("MAIL"))
            return true;
    }
    return false;
}

} // namespace

TEST_F(SendTest, PlainSendDeliversBccWithoutWritingIt)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    account.SmtpPort() = sink.Port();
    const SendOutcome out = Send(Request());
    ASSERT_TRUE(out.sent) << out.errorText.toStdString();
    EXPECT_TRUE(out.finalReply.startsWith("250 2.0.0 Ok: queued as SINK1"));
    ASSERT_EQ(sink.Count(), 1);
    const QJsonObject env = sink.Envelope(1);
    EXPECT_EQ(env["mail_from"].toString(), "anna@example.org");
    EXPECT_EQ(env["rcpt_tos"].toArray(), QJsonArray({"bob@example.com", "hidden@example.com"}));
    EXPECT_FALSE(env["tls"].toBool());
    // EHLO names this host fully qualified, or the address it sent from
    // (which name a given host gets is the client's own test's business;
    // here the outcome must be one of the two forms, whatever the machine).
    const QString helo = env["helo"].toString();
    static const QRegularExpression fullName(
        QStringLiteral("^[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?"
                       "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)+$"));
    EXPECT_TRUE(helo == "[127.0.0.1]" || fullName.match(helo).hasMatch()) << helo.toStdString();
    const QByteArray msg = sink.Message(1);
    EXPECT_FALSE(msg.contains("hidden@example.com"));
    const QJsonObject p = vmtest::ParseWithPython(msg);
    EXPECT_EQ(p["subject"].toString(), QString::fromUtf8("Test \xe2\x9c\x93"));
    EXPECT_EQ(p["from"].toArray()[0].toArray()[0].toString(),
              QString::fromUtf8("Anna \xc5\x81\xc3\xb3\x64\xc5\xba"));
    EXPECT_TRUE(
        p["parts"].toArray()[0].toObject()["text"].toString().startsWith("Hello\r\n.\r\nBye"));
    EXPECT_EQ(statuses.mid(0, 3), (QStringList{"Connecting to SMTP server...", "Sending message...",
                                               "Disconnecting..."}));
    EXPECT_EQ(statuses.back(), "Message sent successfully");
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(SendTest, StartTlsWhenPossibleAndAlwaysWithVerifiedCertificate)
{
    vm::test::TestPki& pki = vm::test::TestPki::Shared();
    ASSERT_TRUE(pki.Ok()) << pki.Error().toStdString();
    SmtpSink sink({"--cert", pki.ServerCertPath(), "--key", pki.ServerKeyPath(), "--user", "anna",
                   "--password", "pw", "--require-tls", "--auth-required"});
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    account.SmtpServer() = "localhost";
    account.SmtpPort() = sink.Port();
    account.SmtpAuthentication() = true;
    account.SmtpPassword() = "pw";

    // Not trusted: the certificate check fails, nothing is sent, and the
    // certificate is kept so that a window can offer to trust it.
    account.SmtpTLSMode() = 1;
    account.FriendlyName() = "Work";
    SendOutcome out = Send(Request());
    EXPECT_FALSE(out.sent);
    EXPECT_EQ(out.failure, SendFailure::Error);
    EXPECT_EQ(sink.Count(), 0);
    const QString fingerprint = CertificateFingerprint(pki.ServerCertificate());
    EXPECT_TRUE(out.errorText.contains(fingerprint)) << out.errorText.toStdString();
    QList<CertificateFailure> refused = CertificateFailures();
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(refused[0].accountName, "Work");
    EXPECT_EQ(refused[0].host, "localhost");
    EXPECT_EQ(refused[0].port, sink.Port());
    EXPECT_EQ(refused[0].fingerprint, fingerprint);
    EXPECT_FALSE(refused[0].certificateDer.isEmpty());

    SetTrustedCaCertificates({pki.CaCertificate()});
    for (int mode : {1, 2}) {
        account.SmtpTLSMode() = std::uint8_t(mode);
        out = Send(Request());
        ASSERT_TRUE(out.sent) << out.errorText.toStdString();
        const QJsonObject env = sink.Envelope(sink.Count());
        EXPECT_TRUE(env["tls"].toBool());
        EXPECT_EQ(env["login"].toString(), "anna");
        EXPECT_TRUE(CertificateFailures().isEmpty()); // a new send forgets the old record
    }
}

TEST_F(SendTest, Port465SpeaksTlsFromTheFirstByte)
{
    vm::test::TestPki& pki = vm::test::TestPki::Shared();
    ASSERT_TRUE(pki.Ok()) << pki.Error().toStdString();
    SmtpSink sink({"--cert", pki.ServerCertPath(), "--key", pki.ServerKeyPath(), "--implicit-tls",
                   "--user", "anna", "--password", "pw", "--auth-required"});
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    SetTrustedCaCertificates({pki.CaCertificate()});
    account.SmtpServer() = "localhost";
    account.SmtpAuthentication() = true;
    account.SmtpPassword() = "pw";
    // Whatever the STARTTLS choice, 465 is TLS from the first byte; other
    // ports are not.
    for (int mode : {0, 1, 2}) {
        SCOPED_TRACE(mode);
        account.SmtpTLSMode() = std::uint8_t(mode);
        for (quint16 port : {25, 587, 465}) {
            account.SmtpPort() = port;
            SmtpClient configured;
            ASSERT_TRUE(ConfigureSMTP(configured, account));
            EXPECT_EQ(configured.ImplicitTls, port == 465) << port;
        }
        // The sink cannot listen on 465: the configured client is pointed at it.
        SmtpClient c;
        ASSERT_TRUE(ConfigureSMTP(c, account));
        c.Port = sink.Port();
        c.GetTransport().SetReadTimeoutMs(20000); // a plain-text client would wait for 220
        auto built = BuildOutgoingMessage(Request());
        ASSERT_EQ(built.status, BuildStatus::Ok);
        c.Connect();
        EXPECT_TRUE(c.Encrypted());
        c.Send(*built.message);
        c.Disconnect();
        const QJsonObject env = sink.Envelope(sink.Count());
        EXPECT_TRUE(env["tls"].toBool());
        EXPECT_EQ(env["login"].toString(), "anna");
    }
    EXPECT_EQ(sink.Count(), 3);
}

TEST_F(SendTest, ARefusedLoginEndsWithQuit)
{
    FakeSmtpServer::Config cfg;
    cfg.user = "anna";
    cfg.password = "right";
    FakeSmtpServer s(cfg);
    s.Start();
    account.SmtpPort() = s.Port();
    account.SmtpAuthentication() = true;
    account.SmtpPassword() = "wrong";
    const SendOutcome out = Send(Request());
    EXPECT_EQ(out.failure, SendFailure::Error);
    EXPECT_TRUE(out.errorText.contains("535")) << out.errorText.toStdString();
    ASSERT_TRUE(s.WaitDone());
    EXPECT_EQ(s.Commands().back(), "QUIT");
    EXPECT_FALSE(HasMail(s));
}

TEST_F(SendTest, LoginAndPlainAuthenticationAndWrongPassword)
{
    for (const char* mechanisms : {"LOGIN", "PLAIN"}) {
        SCOPED_TRACE(mechanisms);
        SmtpSink sink({"--user", "anna", "--password", "right", "--auth-before-tls",
                       "--auth-required", "--mechanisms", mechanisms});
        ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
        account.SmtpPort() = sink.Port();
        account.SmtpAuthentication() = true;
        account.SmtpPassword() = "right";
        SendOutcome out = Send(Request());
        ASSERT_TRUE(out.sent) << out.errorText.toStdString();
        EXPECT_EQ(sink.Envelope(1)["login"].toString(), "anna");

        account.SmtpPassword() = "wrong";
        messages.shown.clear();
        out = Send(Request());
        EXPECT_FALSE(out.sent);
        EXPECT_EQ(out.failure, SendFailure::Error);
        ASSERT_EQ(messages.shown.size(), 1);
        EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
        EXPECT_TRUE(messages.shown[0].text.contains("535 5.7.8 Authentication credentials invalid"))
            << messages.shown[0].text.toStdString();
        EXPECT_TRUE(messages.shown[0].text.startsWith(
            "Fatal failure occured while trying to send message: \""));
        EXPECT_EQ(sink.Count(), 1);
    }
}

TEST_F(SendTest, PromptedPasswordBecomesValidAfterTheFirstSuccess)
{
    SmtpSink sink({"--user", "anna", "--password", "typed", "--auth-before-tls"});
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    account.SmtpPort() = sink.Port();
    account.SmtpAuthentication() = true;

    prompt.answer = {false, {}, false}; // cancelled: nothing happens, nothing shown
    SendOutcome out = Send(Request());
    EXPECT_EQ(out.failure, SendFailure::Cancelled);
    EXPECT_TRUE(messages.shown.isEmpty());

    prompt.answer = {true, QStringLiteral("typed"), true};
    out = Send(Request());
    ASSERT_TRUE(out.sent) << out.errorText.toStdString();
    EXPECT_EQ(account.SmtpSessionPassword(), "typed");
    EXPECT_TRUE(account.SmtpSessionPasswordValid());
    out = Send(Request());
    EXPECT_TRUE(out.sent);
    EXPECT_EQ(prompt.asked, 2); // the valid session password is used without asking
}

TEST_F(SendTest, StopDuringAStalledGreetingAndTheSilenceLimit)
{
    {
        FakeSmtpServer::Config cfg;
        cfg.greetingDelayMs = -1;
        FakeSmtpServer s(cfg);
        s.Start();
        account.SmtpPort() = s.Port();
        SendOptions o;
        o.silenceLimitSeconds = 30;
        o.clientChanged = [](SmtpClient* c) {
            if (c)
                QTimer::singleShot(300, [c] { StopSend(c); });
        };
        const SendOutcome out = SendComposedMessage(Request(), o);
        EXPECT_EQ(out.failure, SendFailure::Interrupted);
        EXPECT_EQ(Shown(), QStringList{"Aborted on demand."});
        ASSERT_TRUE(s.WaitDone(3000));
        EXPECT_TRUE(s.Commands().isEmpty());
    }
    messages.shown.clear();
    {
        FakeSmtpServer::Config cfg;
        cfg.stallAfter = "DATA";
        FakeSmtpServer s(cfg);
        s.Start();
        account.SmtpPort() = s.Port();
        const SendOutcome out = Send(Request(), 1);
        EXPECT_EQ(out.failure, SendFailure::NoReply);
        EXPECT_EQ(Shown(), QStringList{"Remote host had not replied for a predefined time; "
                                       "connection closed."});
        EXPECT_EQ(statuses.back(), "Ready");
    }
}

TEST_F(SendTest, SlowButActiveServerIsNotCutOffAndQuitErrorsAreIgnored)
{
    FakeSmtpServer::Config cfg;
    cfg.replyFor["."] = "250 ok";
    cfg.dripFinalReplyMs = 400; // 3.2 s in all, never 1 s silent
    cfg.replyFor["QUIT"] = "500 5.5.1 What?";
    FakeSmtpServer s(cfg);
    s.Start();
    account.SmtpPort() = s.Port();
    const SendOutcome out = Send(Request(), 1);
    EXPECT_TRUE(out.sent) << out.errorText.toStdString();
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(SendTest, MissingAttachmentIsRefusedBeforeConnecting)
{
    FakeSmtpServer s;
    s.Start();
    account.SmtpPort() = s.Port();
    SendRequest r = Request();
    r.attachments = {{QStringLiteral("/nonexistent/file.pdf"), false}};
    const SendOutcome out = Send(r);
    EXPECT_EQ(out.failure, SendFailure::CannotAttach);
    EXPECT_EQ(Shown(), QStringList{"Can't attach file /nonexistent/file.pdf. It either does not "
                                   "exist or is inaccessible."});
    EXPECT_TRUE(s.Commands().isEmpty());
}

TEST_F(SendTest, OAuthAccountSendsWithABearerTokenAndRenewsItOnce)
{
    vm::test::TestPki& pki = vm::test::TestPki::Shared();
    ASSERT_TRUE(pki.Ok()) << pki.Error().toStdString();
    vm::test::OAuthProviderFixture provider;
    ASSERT_TRUE(provider.Ok()) << provider.Error().toStdString();
    vm::test::FakeBrowser browser;
    const vm::test::ScopedEnv browserEnv("BROWSER", browser.Program().toUtf8());
    const vm::test::ScopedEnv browserLogEnv("FAKE_BROWSER_LOG", browser.LogPath().toUtf8());
    account.SignIn() = SignInMethod::OAuth2;
    account.OAuth() = {"custom", vm::test::OAuthProviderFixture::kClientId, {},
                       provider.Url("/authorize").toUtf8(), provider.Url("/token").toUtf8(),
                       "mail"};
    SignInRequest signIn;
    signIn.endpoints = *ResolveOAuthEndpoints(account.OAuth(), nullptr);
    const SignInResult signedIn = RunSignIn(signIn, {}, {});
    ASSERT_EQ(int(signedIn.status), int(SignInResult::Status::SignedIn));
    StoreSignIn(account, signedIn.tokens);
    account.SmtpLogin() = "bob"; // the provider's user
    account.SmtpServer() = "localhost";
    account.SmtpAuthentication() = true;
    SetTrustedCaCertificates({pki.CaCertificate()});

    for (const char* mechanism : {"XOAUTH2", "OAUTHBEARER"}) {
        SCOPED_TRACE(mechanism);
        SmtpSink sink({"--cert", pki.ServerCertPath(), "--key", pki.ServerKeyPath(),
                       "--require-tls", "--auth-required", "--oauth2-introspect",
                       provider.Url("/introspect"), "--mechanisms", mechanism});
        ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
        account.SmtpPort() = sink.Port();
        account.SmtpTLSMode() = 2;
        SendOutcome out = Send(Request());
        ASSERT_TRUE(out.sent) << out.errorText.toStdString();
        QJsonObject env = sink.Envelope(1);
        EXPECT_TRUE(env["tls"].toBool());
        EXPECT_EQ(env["login"].toString(), "bob");
        EXPECT_EQ(env["mechanism"].toString(), mechanism);

        // Revoked while held: refused once, renewed once, sent.
        const int renewed = provider.TokenRequests("refresh_token");
        ASSERT_EQ(provider.Post("/admin/revoke-access"), 200);
        out = Send(Request());
        ASSERT_TRUE(out.sent) << out.errorText.toStdString();
        EXPECT_EQ(provider.TokenRequests("refresh_token"), renewed + 1);
        EXPECT_EQ(sink.Count(), 2);
    }
    EXPECT_EQ(prompt.asked, 0);

    // No token goes where no password may: "when possible" without STARTTLS.
    SmtpSink plain({"--oauth2-introspect", provider.Url("/introspect"), "--auth-before-tls"});
    ASSERT_TRUE(plain.Ok()) << plain.Error().toStdString();
    account.SmtpServer() = "127.0.0.1";
    account.SmtpPort() = plain.Port();
    account.SmtpTLSMode() = 1;
    const int renewed = provider.TokenRequests("refresh_token");
    const SendOutcome unsafe = Send(Request());
    EXPECT_FALSE(unsafe.sent);
    EXPECT_TRUE(unsafe.errorText.contains("unencrypted")) << unsafe.errorText.toStdString();
    EXPECT_EQ(plain.Count(), 0);
    EXPECT_EQ(provider.TokenRequests("refresh_token"), renewed);

    // A revoked grant ends the send with the account named, once.
    account.SmtpTLSMode() = 0;
    ASSERT_EQ(provider.Post("/admin/revoke-grants"), 200);
    account.AccessToken().clear();
    const SendOutcome refused = Send(Request());
    EXPECT_FALSE(refused.sent);
    EXPECT_TRUE(refused.errorText.contains("Sign in again")) << refused.errorText.toStdString();
    EXPECT_EQ(provider.TokenRequests("refresh_token"), renewed + 1);
    EXPECT_TRUE(account.SignInRefused());
}
