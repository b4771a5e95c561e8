// The HTTP GET over the transport against the scripted fake server: the
// request sent, the body taken exactly, and every way a reply is refused.

#include "net/HttpGet.h"
#include "net/Transport.h"
#include "support/FakeServer.h"
#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <functional>

using namespace vm;
using vm::test::FakeServer;

namespace {

// Plays the request the client must send, then the reply.
void ExpectRequest(FakeServer& s, const QByteArray& target)
{
    s.Expect("GET " + target + " HTTP/1.0")
        .ExpectPrefix("Host: ")
        .ExpectPrefix("User-Agent: Velmora/")
        .Expect("Accept: */*")
        .Expect("Connection: close")
        .Expect("");
}

enum class Outcome { Body, Protocol, TooLarge, Closed };

TEST(HttpGet, BodiesAreTakenExactlyAndBadRepliesRefused)
{
    vm::test::EnsureCoreApp();
    const QByteArray big(70 * 1024, 'x');
    struct Case
    {
        const char* name;
        std::function<void(FakeServer&)> reply;
        Outcome outcome;
        QByteArray body;
    } cases[] = {
        {"length given: exactly that many bytes, line breaks as sent",
         [](FakeServer& s) {
             s.Send("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\na\rb\r\nc\n\r\nnot body")
                 .Stall(-1);
         },
         Outcome::Body, "a\rb\r\nc\n\r\n"},
        {"no length: everything up to the close",
         [](FakeServer& s) { s.Send("HTTP/1.0 200 OK\r\nServer: t\r\n\r\nv1\nv2").Drop(); },
         Outcome::Body, "v1\nv2"},
        {"status other than 200",
         [](FakeServer& s) {
             s.Send("HTTP/1.0 404 Not Found\r\nContent-Length: 2\r\n\r\nok").Drop();
         },
         Outcome::Protocol,
         {}},
        {"redirect is not followed",
         [](FakeServer& s) {
             s.Send("HTTP/1.0 302 Found\r\nLocation: file:///etc/passwd\r\n\r\n").Drop();
         },
         Outcome::Protocol,
         {}},
        {"not HTTP",
         [](FakeServer& s) { s.Send("+OK POP3 ready\r\n").Drop(); },
         Outcome::Protocol,
         {}},
        {"chunked body",
         [](FakeServer& s) {
             s.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n")
                 .Drop();
         },
         Outcome::Protocol,
         {}},
        {"malformed length",
         [](FakeServer& s) { s.Send("HTTP/1.0 200 OK\r\nContent-Length: 1x\r\n\r\nab").Drop(); },
         Outcome::Protocol,
         {}},
        {"announced length past the bound is refused before the body",
         [](FakeServer& s) {
             s.Send("HTTP/1.0 200 OK\r\nContent-Length: 70000\r\n\r\n").Stall(-1);
         },
         Outcome::TooLarge,
         {}},
        {"body without length past the bound",
         [](FakeServer& s) { s.Send("HTTP/1.0 200 OK\r\n\r\n").Endless("0123456789abcdef\n"); },
         Outcome::TooLarge,
         {}},
        {"header of too many lines",
         [](FakeServer& s) {
             QByteArray header = "HTTP/1.0 200 OK\r\n";
             for (int i = 0; i < 150; ++i)
                 header += "X-Filler: " + QByteArray::number(i) + "\r\n";
             s.Send(header + "\r\nok").Drop();
         },
         Outcome::TooLarge,
         {}},
        {"header past its byte bound",
         [big](FakeServer& s) {
             s.Send("HTTP/1.0 200 OK\r\nX-A: " + big.left(40000) + "\r\nX-B: " + big.left(40000) +
                    "\r\n\r\nok")
                 .Drop();
         },
         Outcome::TooLarge,
         {}},
        {"body ends before its length",
         [](FakeServer& s) { s.Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc").Drop(); },
         Outcome::Closed,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer s;
        ExpectRequest(s, "/programs/u.php?signature=S&lang=EN");
        c.reply(s);
        s.Start();
        Transport t;
        t.SetConnectTimeoutMs(10000);
        t.SetReadTimeoutMs(15000); // a wrong wait ends as ReadTimedOut, not as a hang
        t.Connect(QStringLiteral("127.0.0.1"), s.Port());
        const QUrl url(
            QStringLiteral("http://127.0.0.1:%1/programs/u.php?signature=S&lang=EN").arg(s.Port()));
        Outcome got = Outcome::Body;
        QByteArray body;
        HttpLimits limits;
        limits.maxBody = 64 * 1024;
        try {
            body = HttpGet(t, url, limits);
        } catch (const ReplyTooLarge&) {
            got = Outcome::TooLarge;
        } catch (const ConnectionClosed&) {
            got = Outcome::Closed;
        } catch (const ProtocolReplyError&) {
            got = Outcome::Protocol;
        } catch (const NetworkError& e) {
            ADD_FAILURE() << e.ClassName().toStdString() << ": " << e.Message().toStdString();
            continue;
        }
        t.Close();
        EXPECT_EQ(int(got), int(c.outcome));
        EXPECT_EQ(body, c.body);
        EXPECT_TRUE(s.WaitDone(20000));
        EXPECT_TRUE(s.Mismatches().isEmpty()) << s.Mismatches().join("; ").toStdString();
    }
}

TEST(HttpGet, HostHeaderCarriesAPortOtherThanTheSchemeDefault)
{
    EXPECT_TRUE(HttpGetRequest(QUrl("https://u.example.org/a?b=c"))
                    .startsWith("GET /a?b=c HTTP/1.0\r\nHost: u.example.org\r\n"));
    EXPECT_TRUE(HttpGetRequest(QUrl("https://u.example.org:8443"))
                    .startsWith("GET / HTTP/1.0\r\nHost: u.example.org:8443\r\n"));
    EXPECT_TRUE(HttpGetRequest(QUrl("https://[::1]:4443/x"))
                    .startsWith("GET /x HTTP/1.0\r\nHost: [::1]:4443\r\n"));
}

TEST(HttpGet, FormPostCarriesItsLengthAndHandsBackAnyStatus)
{
    vm::test::EnsureCoreApp();
    EXPECT_TRUE(HttpPostFormRequest(QUrl("https://t.example.org/oauth2/token"), "a=1&b=%20")
                    .startsWith("POST /oauth2/token HTTP/1.0\r\nHost: t.example.org\r\n"));
    EXPECT_TRUE(HttpPostFormRequest(QUrl("https://t.example.org/t"), "a=1&b=%20")
                    .endsWith("Content-Type: application/x-www-form-urlencoded\r\n"
                              "Content-Length: 9\r\nConnection: close\r\n\r\na=1&b=%20"));

    // A token endpoint's refusal is a reply like any other; the caller reads it.
    FakeServer s;
    s.Expect("POST /token HTTP/1.0")
        .ExpectPrefix("Host: ")
        .ExpectPrefix("User-Agent: Velmora/")
        .Expect("Accept: application/json")
        .Expect("Content-Type: application/x-www-form-urlencoded")
        .Expect("Content-Length: 3")
        .Expect("Connection: close")
        .Expect("")
        .Send("HTTP/1.1 400 Bad Request\r\nContent-Type: application/json; charset=utf-8\r\n"
              "Content-Length: 25\r\n\r\n{\"error\":\"invalid_grant\"}")
        .Drop();
    s.Start();
    Transport t;
    t.SetReadTimeoutMs(15000);
    t.Connect(QStringLiteral("127.0.0.1"), s.Port());
    const HttpReply reply =
        HttpPostForm(t, QUrl(QStringLiteral("http://127.0.0.1:%1/token").arg(s.Port())), "a=b");
    EXPECT_EQ(reply.status, 400);
    EXPECT_EQ(reply.contentType, "application/json");
    EXPECT_EQ(reply.body, "{\"error\":\"invalid_grant\"}");
    t.Close();
    EXPECT_TRUE(s.WaitDone(20000));
    EXPECT_TRUE(s.Mismatches().isEmpty()) << s.Mismatches().join("; ").toStdString();
}

} // namespace
