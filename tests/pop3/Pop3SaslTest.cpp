// The POP3 client's AUTH dialogues (RFC 5034) against the scripted fake
// server: the bearer mechanisms with their error challenge and the one
// renewal of the token, and SASL PLAIN where USER is not offered.

#include "net/Sasl.h"
#include "pop3/Pop3Client.h"
#include "support/FakeServer.h"
#include "support/Pop3Account.h"
#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <functional>

using namespace vm;

using vm::test::FakeServer;

namespace {

QByteArray B64(const QByteArray& raw)
{
    return raw.toBase64();
}

// The challenge Dovecot 2.3 sends for a refused token (seen on the wire).
const QByteArray kDovecotChallenge =
    "+ eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJtYWlsIn0=";

struct AuthCase
{
    const char* name;
    QByteArray capa;                        // the CAPA reply, "." included
    int authType;                           // Pop3Client::AuthType
    QList<QByteArray> tokens;               // first, then the renewed one
    std::function<void(FakeServer&)> login; // the script after CAPA
    bool succeeds;
    QList<bool> renewCalls;                 // BearerToken's argument, call by call
};

const QByteArray kLong(300, 'L');

QList<AuthCase> Cases()
{
    return {
        {"XOAUTH2 with an initial response", "+OK\r\nSASL XOAUTH2\r\nUSER\r\n.\r\n",
         Pop3Client::atOAuth2, {"tok1"},
         [](FakeServer& s) {
             s.Expect("AUTH XOAUTH2 " + B64("user=bob\x01" "auth=Bearer tok1\x01\x01"))
                 .SendLine("+OK Logged in.");
         },
         true, {false}},
        {"a token too long for one line follows the server's +", "+OK\r\nSASL XOAUTH2\r\n.\r\n",
         Pop3Client::atOAuth2, {kLong},
         [](FakeServer& s) {
             s.Expect("AUTH XOAUTH2")
                 .SendLine("+ ")
                 .Expect(B64("user=bob\x01" "auth=Bearer " + kLong + "\x01\x01"))
                 .SendLine("+OK Logged in.");
         },
         true, {false}},
        {"a refused token is answered, renewed once and accepted",
         "+OK\r\nSASL PLAIN XOAUTH2\r\n.\r\n", Pop3Client::atOAuth2, {"old", "new"},
         [](FakeServer& s) {
             s.Expect("AUTH XOAUTH2 " + B64("user=bob\x01" "auth=Bearer old\x01\x01"))
                 .SendLine(kDovecotChallenge)
                 .Expect("")
                 .SendLine("-ERR [AUTH] Authentication failed.")
                 .Expect("AUTH XOAUTH2 " + B64("user=bob\x01" "auth=Bearer new\x01\x01"))
                 .SendLine("+OK Logged in.");
         },
         true, {false, true}},
        {"OAUTHBEARER is preferred and its error challenge answered with ^A",
         "+OK\r\nSASL XOAUTH2 OAUTHBEARER\r\n.\r\n", Pop3Client::atOAuth2, {"old", "new"},
         [](FakeServer& s) {
             s.ExpectPrefix("AUTH OAUTHBEARER ")
                 .SendLine("+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=")
                 .Expect("AQ==")
                 .SendLine("-ERR [AUTH] Authentication failed.")
                 .ExpectPrefix("AUTH OAUTHBEARER ")
                 .SendLine("-ERR [AUTH] Authentication failed.");
         },
         false, {false, true}},
        {"no OAuth mechanism among those offered: nothing is sent",
         "+OK\r\nSASL PLAIN LOGIN\r\n.\r\n", Pop3Client::atOAuth2, {"tok"},
         [](FakeServer& s) { s.Stall(-1); }, false, {}},
        {"SASL PLAIN where USER is not offered", "+OK\r\nSASL PLAIN\r\n.\r\n",
         Pop3Client::atUserPass, {},
         [](FakeServer& s) {
             s.Expect("AUTH PLAIN " + B64(QByteArray("\0bob\0secret", 11)))
                 .SendLine("+OK Logged in.");
         },
         true, {}},
        {"a challenge to PLAIN is cancelled", "+OK\r\nSASL PLAIN\r\n.\r\n",
         Pop3Client::atUserPass, {},
         [](FakeServer& s) {
             s.ExpectPrefix("AUTH PLAIN ")
                 .SendLine("+ d2hhdD8=")
                 .Expect("*")
                 .SendLine("-ERR [AUTH] Authentication cancelled.");
         },
         false, {}},
    };
}

} // namespace

TEST(Pop3SaslTest, AuthDialogues)
{
    vm::test::EnsureCoreApp();
    for (const AuthCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        FakeServer s;
        s.SendLine("+OK ready").Expect("CAPA").Send(c.capa);
        c.login(s);
        s.Start();
        Pop3Client client;
        vm::test::PointAtLoopback(client, s.Port());
        client.AuthenticationType = c.authType;
        client.ConnectTimeoutMs = 5000;
        QList<bool> calls;
        client.BearerToken = [&](bool renew) {
            calls.append(renew);
            return c.tokens.value(calls.size() - 1);
        };
        client.Connect();
        if (c.succeeds) {
            EXPECT_NO_THROW(client.Login());
        } else {
            EXPECT_THROW(client.Login(), ProtocolReplyError);
        }
        EXPECT_EQ(calls, c.renewCalls);
        client.CloseTransport();
        ASSERT_TRUE(s.WaitDone());
    }
}

TEST(Pop3SaslTest, OAuthBearerNamesUserHostAndPort)
{
    vm::test::EnsureCoreApp();
    FakeServer s;
    s.SendLine("+OK ready")
        .Expect("CAPA")
        .Send("+OK\r\nSASL OAUTHBEARER\r\n.\r\n")
        .ExpectPrefix("AUTH OAUTHBEARER ")
        .SendLine("+OK Logged in.");
    s.Start();
    Pop3Client client;
    client.Host = "127.0.0.1";
    client.Port = s.Port();
    client.Username = "ann,b=c";
    client.AuthenticationType = Pop3Client::atOAuth2;
    client.BearerToken = [](bool) { return QByteArray("tok"); };
    client.Connect();
    client.Login();
    client.CloseTransport();
    ASSERT_TRUE(s.WaitDone());
    const QByteArray sent = s.Received().value(1).mid(17);
    EXPECT_EQ(QByteArray::fromBase64(sent),
              "n,a=ann=2Cb=3Dc,\x01host=127.0.0.1\x01port=" + QByteArray::number(s.Port()) +
                  "\x01" "auth=Bearer tok\x01\x01");
}

TEST(Pop3SaslTest, ALineThatIsNeitherStatusNorContinuationClosesTheConnection)
{
    // Inside AUTH a "+" continuation is a legitimate reply where a challenge
    // may come; any other line that is neither "+OK" nor "-ERR" ends the
    // session at once, and so does a continuation where the dialogue must
    // end (after the answer to an error challenge, after "*").
    vm::test::EnsureCoreApp();
    struct Case
    {
        const char* name;
        QByteArray capa;
        int authType;
        QByteArray token;
        std::function<void(FakeServer&)> login; // ends with the bad line
        QByteArray bad;
    };
    const Case cases[] = {
        {"reply to AUTH with an initial response", "+OK\r\nSASL XOAUTH2\r\n.\r\n",
         Pop3Client::atOAuth2, "tok",
         [](FakeServer& s) { s.ExpectPrefix("AUTH XOAUTH2 ").SendLine("OK logged in"); },
         "OK logged in"},
        {"a plus without a space", "+OK\r\nSASL PLAIN\r\n.\r\n", Pop3Client::atUserPass, {},
         [](FakeServer& s) { s.ExpectPrefix("AUTH PLAIN ").SendLine("+eyJ9"); }, "+eyJ9"},
        {"reply to AUTH before a long token", "+OK\r\nSASL XOAUTH2\r\n.\r\n",
         Pop3Client::atOAuth2, kLong,
         [](FakeServer& s) { s.Expect("AUTH XOAUTH2").SendLine("334 go ahead"); },
         "334 go ahead"},
        {"reply to the long token", "+OK\r\nSASL XOAUTH2\r\n.\r\n", Pop3Client::atOAuth2, kLong,
         [](FakeServer& s) {
             s.Expect("AUTH XOAUTH2").SendLine("+ ").ExpectPrefix("dXNlcj1ib2")
                 .SendLine("* OK welcome");
         },
         "* OK welcome"},
        {"a challenge after the answer to the error challenge",
         "+OK\r\nSASL XOAUTH2\r\n.\r\n", Pop3Client::atOAuth2, "tok",
         [](FakeServer& s) {
             s.ExpectPrefix("AUTH XOAUTH2 ").SendLine(kDovecotChallenge).Expect("")
                 .SendLine("+ again");
         },
         "+ again"},
        {"reply to the cancel", "+OK\r\nSASL PLAIN\r\n.\r\n", Pop3Client::atUserPass, {},
         [](FakeServer& s) {
             s.ExpectPrefix("AUTH PLAIN ").SendLine("+ d2hhdD8=").Expect("*")
                 .SendLine("cancelled");
         },
         "cancelled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer s;
        s.SendLine("+OK ready").Expect("CAPA").Send(c.capa);
        c.login(s);
        s.ExpectClose(5000);
        s.Start();
        Pop3Client client;
        vm::test::PointAtLoopback(client, s.Port());
        client.AuthenticationType = c.authType;
        client.ConnectTimeoutMs = 5000;
        int tokenCalls = 0;
        client.BearerToken = [&](bool) {
            ++tokenCalls;
            return c.token;
        };
        client.Connect();
        try {
            client.Login();
            ADD_FAILURE() << "no error";
        } catch (const Pop3ProtocolError& e) {
            EXPECT_TRUE(e.Message().contains(QString::fromLatin1(c.bad)))
                << e.Message().toStdString();
        }
        // No second attempt with a renewed token after a broken dialogue.
        EXPECT_LE(tokenCalls, 1);
        EXPECT_FALSE(client.Transport().Connected());
        ASSERT_TRUE(s.WaitDone());
    }
}
