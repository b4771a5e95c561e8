// The SMTP dialogue against the scripted fake server: fallbacks, refusals,
// pipelining, authentication choice, transparency and Stop.

#include "send/SmtpClient.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <thread>

#include "net/Credentials.h"
#include "send/MimeWriter.h"
#include "send/OutgoingMessage.h"
#include "support/TestPki.h"
#include "support/fake_smtp.h"

using namespace vm;
using vm::test::FakeSmtpServer;

namespace {

std::unique_ptr<OutgoingMessage> SmallMessage(int recipients = 1)
{
    auto m = std::make_unique<OutgoingMessage>();
    m->from = {{"Anna", "anna@example.org"}};
    for (int i = 0; i < recipients; ++i)
        m->to.append({"", "r" + QByteArray::number(i) + "@example.com"});
    m->bcc = {{"", "hidden@example.com"}};
    m->subject = "Hello";
    m->charset = "utf-8";
    OutgoingText& t = m->AddText();
    t.charset = "utf-8";
    t.SetBodyText(".\n..two\nplain");
    return m;
}

void Configure(SmtpClient& c, const FakeSmtpServer& s, SmtpTlsUse tls = utNoTLSSupport)
{
    vm::test::EnsureCoreApp();
    c.Host = QStringLiteral("127.0.0.1");
    c.Port = s.Port();
    c.UseTLS = tls;
    c.HeloName = "client.test";
}

bool HasCommand(const FakeSmtpServer& s, const QByteArray& prefix)
{
    for (const QByteArray& l : s.Commands()) {
        if (l.startsWith(prefix))
            return true;
    }
    return false;
}

} // namespace

TEST(SmtpDialogue, FullExchangeWithPipeliningInOneBatch)
{
    FakeSmtpServer::Config cfg;
    cfg.batchReplies = true; // a client that waits for each reply would hang here
    FakeSmtpServer s(cfg);
    s.Start();
    SmtpClient c;
    Configure(c, s);
    auto m = SmallMessage(2);
    c.Connect();
    c.Send(*m);
    EXPECT_EQ(c.LastReply().Text(), "250 2.0.0 Ok: queued as FAKE1");
    c.Disconnect();
    ASSERT_TRUE(s.WaitDone());
    EXPECT_EQ(s.Commands(),
              (QList<QByteArray>{"EHLO client.test", "RSET", "MAIL FROM:<anna@example.org>",
                                 "RCPT TO:<r0@example.com>", "RCPT TO:<r1@example.com>",
                                 "RCPT TO:<hidden@example.com>", "DATA", "QUIT"}));
    // Transparency: the data arrives as the writer made it.
    EXPECT_TRUE(s.Data().contains("\r\n=2E\r\n=2E.two\r\nplain\r\n"));
    EXPECT_TRUE(s.Data().contains("X-Mailer: Velmora\r\n"));
    EXPECT_FALSE(s.Data().contains("hidden@example.com"));
}

TEST(SmtpDialogue, DotStuffingDoublesLeadingDotsAndEndsLines)
{
    EXPECT_EQ(SmtpClient::DotStuff(".a\r\nb\r\n..c\r\n."), "..a\r\nb\r\n...c\r\n..\r\n.\r\n");
    EXPECT_EQ(SmtpClient::DotStuff("x\ny\r.z"), "x\r\ny\r\n..z\r\n.\r\n");

    // A 7bit memory part with lines that start with a dot survives the trip.
    FakeSmtpServer s;
    s.Start();
    SmtpClient c;
    Configure(c, s);
    auto m = SmallMessage();
    MemoryAttachment& a = m->AddAttachmentMemory(".\r\n.hidden\r\n..two\r\n");
    a.transferEncoding = "7bit";
    a.contentType = "text/plain";
    c.Connect();
    c.Send(*m);
    c.Disconnect();
    ASSERT_TRUE(s.WaitDone());
    EXPECT_TRUE(s.Data().contains("\r\n.\r\n.hidden\r\n..two\r\n"));
}

TEST(SmtpDialogue, HeloFallbackNeverUsesTlsOrPipelining)
{
    FakeSmtpServer::Config cfg;
    cfg.ehlo = false;
    {
        FakeSmtpServer s(cfg);
        s.Start();
        SmtpClient c;
        Configure(c, s, utUseExplicitTLS); // "when possible": goes on in plain text
        auto m = SmallMessage();
        c.Connect();
        EXPECT_TRUE(c.Capabilities().isEmpty());
        c.Send(*m);
        c.Disconnect();
        ASSERT_TRUE(s.WaitDone());
        EXPECT_EQ(s.Commands().mid(0, 3),
                  (QList<QByteArray>{"EHLO client.test", "HELO client.test", "RSET"}));
        EXPECT_FALSE(HasCommand(s, "STARTTLS"));
    }
    {
        FakeSmtpServer s(cfg);
        s.Start();
        SmtpClient c;
        Configure(c, s, utUseRequireTLS); // "always": refused before anything is sent
        auto m = SmallMessage();
        c.Connect();
        EXPECT_THROW(c.Send(*m), SmtpSecurityError);
        c.Close();
        ASSERT_TRUE(s.WaitDone());
        EXPECT_FALSE(HasCommand(s, "MAIL"));
    }
}

TEST(SmtpDialogue, StartTlsAlwaysNeverContinuesInPlainText)
{
    {
        SCOPED_TRACE("STARTTLS not offered");
        FakeSmtpServer s; // default capabilities have no STARTTLS
        s.Start();
        SmtpClient c;
        Configure(c, s, utUseRequireTLS);
        c.AuthenticationType = atDefault;
        c.Username = "anna";
        c.Password = "secret";
        auto m = SmallMessage();
        c.Connect();
        EXPECT_THROW(c.Send(*m), SmtpSecurityError);
        c.Close();
        ASSERT_TRUE(s.WaitDone());
        EXPECT_FALSE(HasCommand(s, "AUTH"));
        EXPECT_FALSE(HasCommand(s, "MAIL"));
    }
    for (SmtpTlsUse mode : {utUseExplicitTLS, utUseRequireTLS}) {
        SCOPED_TRACE("STARTTLS offered but refused");
        FakeSmtpServer::Config cfg;
        cfg.capabilities = {"STARTTLS", "PIPELINING"};
        FakeSmtpServer s(cfg);
        s.Start();
        SmtpClient c;
        Configure(c, s, mode);
        auto m = SmallMessage();
        c.Connect();
        try {
            c.Send(*m);
            ADD_FAILURE() << "sent after a refused STARTTLS";
        } catch (const TlsError& e) {
            EXPECT_TRUE(e.Message().contains("454 4.7.0 TLS not available"));
        }
        c.Close();
        ASSERT_TRUE(s.WaitDone());
        EXPECT_FALSE(HasCommand(s, "MAIL"));
    }
}

TEST(SmtpDialogue, AuthenticationPicksLoginThenPlainAndRefusesWithoutEither)
{
    struct Case
    {
        QList<QByteArray> caps;
        QByteArray expected; // prefix of the AUTH command, empty: none allowed
    };
    const QList<Case> cases = {
        {{"AUTH PLAIN LOGIN"}, "AUTH LOGIN"},
        {{"AUTH=PLAIN"}, "AUTH PLAIN " + QByteArray("\0anna\0s3cret", 12).toBase64()},
        {{"AUTH CRAM-MD5"}, ""},
        {{"8BITMIME"}, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.caps.join(' ').constData());
        FakeSmtpServer::Config cfg;
        cfg.capabilities = k.caps;
        cfg.user = "anna";
        cfg.password = "s3cret";
        FakeSmtpServer s(cfg);
        s.Start();
        SmtpClient c;
        Configure(c, s);
        c.AuthenticationType = atDefault;
        c.Username = "anna";
        c.Password = "s3cret";
        auto m = SmallMessage();
        c.Connect();
        if (k.expected.isEmpty()) {
            EXPECT_THROW(c.Send(*m), SmtpSecurityError);
            c.Close();
            ASSERT_TRUE(s.WaitDone());
            EXPECT_FALSE(HasCommand(s, "MAIL"));
        } else {
            c.Send(*m);
            c.Disconnect();
            ASSERT_TRUE(s.WaitDone());
            EXPECT_TRUE(HasCommand(s, k.expected));
            EXPECT_TRUE(s.DataCompleted());
        }
    }
}

TEST(SmtpDialogue, ErrorRepliesAtEveryStepCarryTheServersText)
{
    struct Case
    {
        QByteArray word;
        QByteArray reply;
        bool pipelining;
    };
    const QList<Case> cases = {
        {"EHLO", "", false}, // EHLO and HELO refused: set below
        {"AUTH", "535 5.7.8 Authentication credentials invalid", false},
        {"RSET", "421 4.3.0 Shutting down", false},
        {"MAIL", "451 4.3.0 Try later", false},
        {"RCPT", "550 5.1.1 No such user", false},
        {"DATA", "554 5.5.1 No valid recipients", false},
        {".", "552 5.3.4 Message too big", false},
        {"MAIL", "451 4.3.0 Try later", true},
        {"DATA", "554 5.5.1 No valid recipients", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE((k.word + " " + k.reply).constData());
        FakeSmtpServer::Config cfg;
        if (!k.pipelining)
            cfg.capabilities = {"AUTH LOGIN"};
        QByteArray expected = k.reply;
        if (k.word == "EHLO") {
            cfg.ehlo = false;
            cfg.replyFor["HELO"] = "501 5.5.4 Bad HELO";
            expected = "501 5.5.4 Bad HELO";
        } else {
            cfg.replyFor[k.word] = k.reply;
        }
        FakeSmtpServer s(cfg);
        s.Start();
        SmtpClient c;
        Configure(c, s);
        c.AuthenticationType = atDefault;
        c.Username = "anna";
        auto m = SmallMessage();
        try {
            c.Connect();
            c.Send(*m);
            ADD_FAILURE() << "no error";
        } catch (const SmtpReplyError& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(expected));
            EXPECT_EQ(e.Code(), expected.left(3).toInt());
        }
        c.Close();
        ASSERT_TRUE(s.WaitDone());
    }
    // A refused greeting.
    FakeSmtpServer::Config cfg;
    cfg.greeting = "554 5.3.2 No service for you";
    FakeSmtpServer s(cfg);
    s.Start();
    SmtpClient c;
    Configure(c, s);
    EXPECT_THROW(c.Connect(), SmtpReplyError);
}

TEST(SmtpDialogue, PipelinedErrorsRaiseTheFirstAndNeverDeliverAnEmptyMessage)
{
    FakeSmtpServer::Config cfg;
    cfg.batchReplies = true;
    cfg.rcptReply[1] = "550 5.1.1 Second recipient unknown";
    cfg.rcptReply[2] = "452 4.5.3 Too many recipients";
    FakeSmtpServer s(cfg);
    s.Start();
    SmtpClient c;
    Configure(c, s);
    auto m = SmallMessage(2);
    c.Connect();
    try {
        c.Send(*m);
        ADD_FAILURE() << "no error";
    } catch (const SmtpReplyError& e) {
        EXPECT_EQ(e.Code(), 550);
    }
    c.Close();
    ASSERT_TRUE(s.WaitDone());
    // DATA was accepted, yet the data was never ended with ".".
    EXPECT_TRUE(HasCommand(s, "DATA"));
    EXPECT_FALSE(s.DataCompleted());
}

TEST(SmtpDialogue, StopReachesAWorkerWaitingForTheGreeting)
{
    FakeSmtpServer::Config cfg;
    cfg.greetingDelayMs = -1;
    FakeSmtpServer s(cfg);
    s.Start();
    SmtpClient c;
    Configure(c, s);
    std::atomic<bool> cancelled{false};
    QElapsedTimer t;
    t.start();
    std::thread worker([&] {
        try {
            c.Connect();
        } catch (const OperationCancelled&) {
            cancelled = true;
        } catch (...) {
        }
        c.Close();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    c.GetTransport().RequestInterrupt();
    worker.join();
    EXPECT_TRUE(cancelled);
    EXPECT_LT(t.elapsed(), 2000);
    ASSERT_TRUE(s.WaitDone(3000));
    EXPECT_TRUE(s.Commands().isEmpty()); // no QUIT
}

TEST(SmtpDialogue, WhenPossibleWithoutStartTlsNeverSendsTheLogin)
{
    FakeSmtpServer s; // default capabilities have no STARTTLS
    s.Start();
    SmtpClient c;
    Configure(c, s, utUseExplicitTLS);
    c.AuthenticationType = atDefault;
    c.Username = "anna";
    c.Password = "secret";
    auto m = SmallMessage();
    c.Connect();
    try {
        c.Send(*m);
        ADD_FAILURE() << "sent without encryption";
    } catch (const SmtpSecurityError& e) {
        // The error names the setting that led here.
        EXPECT_TRUE(e.Message().contains("\"When possible\"")) << e.Message().toStdString();
    }
    c.Close();
    ASSERT_TRUE(s.WaitDone());
    EXPECT_FALSE(HasCommand(s, "AUTH"));
    EXPECT_FALSE(HasCommand(s, "MAIL"));
}

TEST(SmtpDialogue, LoginsAndPasswordsWithLineBreaksOrNulNeverReachTheServer)
{
    const QByteArray bad[] = {"an\r\nRSET", "an\nna", "an\rna", QByteArray("an\0na", 5)};
    for (const QByteArray& value : bad) {
        for (bool inLogin : {true, false}) {
            SCOPED_TRACE((inLogin ? "login " : "password ") + value.toHex().toStdString());
            FakeSmtpServer s;
            s.Start();
            SmtpClient c;
            Configure(c, s);
            c.AuthenticationType = atDefault;
            c.Username = inLogin ? value : QByteArray("anna");
            c.Password = inLogin ? QByteArray("secret") : value;
            auto m = SmallMessage();
            c.Connect();
            EXPECT_THROW(c.Send(*m), CredentialError);
            c.Close();
            ASSERT_TRUE(s.WaitDone());
            EXPECT_FALSE(HasCommand(s, "AUTH"));
            EXPECT_FALSE(HasCommand(s, "MAIL"));
        }
    }
}

TEST(SmtpDialogue, AFailureThatLeavesTheServerWaitingEndsWithQuit)
{
    struct Case
    {
        const char* name;
        FakeSmtpServer::Config cfg;
        SmtpTlsUse tls;
        bool quit;
    };
    QList<Case> cases;
    FakeSmtpServer::Config plain;
    plain.capabilities = {"AUTH LOGIN"};
    cases.append({"no STARTTLS, when possible", plain, utUseExplicitTLS, true});
    cases.append({"no STARTTLS, always", plain, utUseRequireTLS, true});
    FakeSmtpServer::Config refusedTls = plain;
    refusedTls.capabilities = {"STARTTLS", "AUTH LOGIN"};
    cases.append({"STARTTLS refused", refusedTls, utUseRequireTLS, true});
    FakeSmtpServer::Config refusedAuth = plain;
    refusedAuth.replyFor["AUTH"] = "535 5.7.8 Authentication credentials invalid";
    cases.append({"AUTH refused", refusedAuth, utNoTLSSupport, true});
    FakeSmtpServer::Config refusedRcpt = plain;
    refusedRcpt.replyFor["RCPT"] = "550 5.1.1 No such user";
    cases.append({"RCPT refused", refusedRcpt, utNoTLSSupport, true});
    FakeSmtpServer::Config garbled = plain;
    garbled.replyFor["MAIL"] = "what?";
    cases.append({"garbled reply", garbled, utNoTLSSupport, false});
    FakeSmtpServer::Config midData = plain;
    midData.capabilities = {"AUTH LOGIN", "PIPELINING"};
    midData.batchReplies = true;
    midData.rcptReply[0] = "550 5.1.1 No such user";
    cases.append({"pipelined error after DATA was accepted", midData, utNoTLSSupport, false});

    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        FakeSmtpServer s(k.cfg);
        s.Start();
        SmtpClient c;
        Configure(c, s, k.tls);
        c.AuthenticationType = atDefault;
        c.Username = "anna";
        c.Password = "secret";
        auto m = SmallMessage();
        c.Connect();
        EXPECT_ANY_THROW(c.Send(*m));
        c.EndAfterFailure();
        ASSERT_TRUE(s.WaitDone());
        EXPECT_EQ(s.Commands().back() == "QUIT", k.quit) << s.Commands().back().constData();
        EXPECT_FALSE(s.DataCompleted());
    }
}

TEST(SmtpDialogue, AnEndlessMultiLineReplyIsAProtocolError)
{
    // Short lines reach the line bound, long ones the byte bound.
    for (int lineLength : {40, 64 * 1024}) {
        SCOPED_TRACE(lineLength);
        FakeSmtpServer::Config cfg;
        cfg.endlessReplyTo = "EHLO";
        cfg.endlessLineLength = lineLength;
        FakeSmtpServer s(cfg);
        s.Start();
        SmtpClient c;
        Configure(c, s);
        // Without a bound the client would read until the server stops
        // sending; this limit turns that into a different error.
        c.GetTransport().SetReadTimeoutMs(20000);
        try {
            c.Connect();
            ADD_FAILURE() << "no error";
        } catch (const SmtpReplyError& e) {
            EXPECT_TRUE(e.Message().contains("exceeds")) << e.Message().toStdString();
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        c.EndAfterFailure(); // a broken reply: no QUIT
        ASSERT_TRUE(s.WaitDone());
        EXPECT_FALSE(HasCommand(s, "QUIT"));
    }
}

TEST(SmtpDialogue, EhloCarriesAFullyQualifiedNameOrAnAddressLiteral)
{
    struct Case
    {
        QString host;
        QString domain;
        QString local;
        QByteArray expected;
    };
    const QList<Case> cases = {
        {"mail.example.org", "", "127.0.0.1", "mail.example.org"},
        {"mail.example.org.", "other.net", "127.0.0.1", "mail.example.org"},
        {"vm", "example.org", "127.0.0.1", "vm.example.org"},
        {"vm", ".example.org.", "127.0.0.1", "vm.example.org"},
        {"vm", "", "127.0.0.1", "[127.0.0.1]"},
        {"vm", "", "192.0.2.7", "[192.0.2.7]"},
        {"vm", "", "::ffff:192.0.2.7", "[192.0.2.7]"},
        {"vm", "", "::1", "[IPv6:::1]"},
        {"vm", "", "fe80::1%lo", "[IPv6:fe80::1]"},
        {"vm", "(none)", "127.0.0.1", "[127.0.0.1]"},
        {"bad name", "example.org", "127.0.0.1", "[127.0.0.1]"},
        {"10.0.0.5", "", "127.0.0.1", "[127.0.0.1]"},
        {"", "", "", "[127.0.0.1]"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE((k.host + " / " + k.domain + " / " + k.local).toStdString());
        EXPECT_EQ(SmtpClient::EhloDomain(k.host, k.domain, QHostAddress(k.local)), k.expected);
    }
}
