// The POP3 client's dialogue against the scripted fake server, and its
// preparation for an account.

#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "net/Credentials.h"
#include "net/PasswordPrompt.h"
#include "pop3/Pop3Client.h"
#include "support/FakeServer.h"
#include "support/Pop3Account.h"
#include "support/TestPki.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>

using namespace vm;

using vm::test::FakeServer;

namespace {

class ScriptedPrompt : public vm::PasswordPrompt
{
public:
    vm::PasswordAnswer answer;
    int asked = 0;
    vm::PasswordRequest last;
    vm::PasswordAnswer Ask(const vm::PasswordRequest& request) override
    {
        ++asked;
        last = request;
        return answer;
    }
};

class Pop3ClientTest : public ::testing::Test
{
protected:
    void SetUp() override { vm::test::EnsureCoreApp(); }
    void Prepare(FakeServer& s, const QByteArray& user = "bob", const QByteArray& pass = "secret")
    {
        s.Start();
        vm::test::PointAtLoopback(client, s.Port(), user, pass);
        client.ConnectTimeoutMs = 5000;
    }
    Pop3Client client;
};

TEST_F(Pop3ClientTest, UserPassDialogueIgnoresRefusedCapa)
{
    FakeServer s;
    s.SendLine("+OK ready")
        .Expect("CAPA")
        .SendLine("-ERR what?")
        .Expect("USER bob")
        .SendLine("+OK")
        .Expect("PASS secret")
        .SendLine("+OK logged in")
        .Expect("QUIT")
        .SendLine("+OK bye");
    Prepare(s);
    client.Connect();
    client.Login();
    EXPECT_EQ(client.Greeting(), "+OK ready");
    EXPECT_TRUE(client.Capabilities().isEmpty());
    client.Disconnect();
    ASSERT_TRUE(s.WaitDone());
    EXPECT_TRUE(s.ClientClosed());
}

namespace {

// A login, then the header block of message 1 asked for; the script wants
// "TOP 1 0" followed by "QUIT". How the client strays: "retr" sends
// "RETR 1" in place of the headers request, "silent" never asks at all,
// "extra" follows the script and then sends one line more.
void StrayFromTheScript(const char* how, bool allowed)
{
    FakeServer s;
    s.SendLine("+OK ready").Expect("CAPA").SendLine("-ERR").Expect("USER bob");
    s.SendLine("+OK").Expect("PASS secret").SendLine("+OK");
    s.Expect("TOP 1 0").Send("+OK\r\nSubject: x\r\n\r\n.\r\n").Expect("QUIT");
    if (allowed)
        s.AllowMismatches();
    s.Start();
    Pop3Client client;
    vm::test::PointAtLoopback(client, s.Port());
    client.Connect();
    client.Login();
    if (QByteArray(how) == "retr")
        client.SendCmd("RETR 1");
    if (QByteArray(how) == "extra") {
        client.SendCmd("TOP 1 0");
        client.Transport().WriteLine("QUIT");
        client.Transport().WriteLine("NOOP");
    }
    client.CloseTransport();
    EXPECT_TRUE(s.WaitDone());
}

} // namespace

// The fake server holds every test to its script: a line the client sent in
// place of the expected one, or a session that ended before it, fails the
// test once the server goes, unless the test allowed it.
TEST_F(Pop3ClientTest, FakeServerFailsTheTestWhenTheClientStraysFromTheScript)
{
    EXPECT_NONFATAL_FAILURE(StrayFromTheScript("retr", false),
                            "expected \"TOP 1 0\", got \"RETR 1\"");
    EXPECT_NONFATAL_FAILURE(StrayFromTheScript("silent", false), "expected \"TOP 1 0\"");
    EXPECT_NONFATAL_FAILURE(StrayFromTheScript("extra", false),
                            "unexpected \"NOOP\" after the end of the script");
    StrayFromTheScript("retr", true);
    StrayFromTheScript("silent", true);
    StrayFromTheScript("extra", true);
}

TEST_F(Pop3ClientTest, ConnectionDroppedDuringLoginIsNoticedAtOnce)
{
    // Dropped after USER, after PASS, and right after the greeting: each is
    // a closed connection, never a wait for the silence limit.
    const QList<QByteArray> stages{"USER", "PASS", "CAPA"};
    for (const QByteArray& stage : stages) {
        FakeServer s;
        s.SendLine("+OK ready");
        if (stage == "CAPA") {
            s.Expect("CAPA").Drop();
        } else {
            s.Expect("CAPA").SendLine("-ERR").Expect("USER bob");
            if (stage == "USER")
                s.Drop();
            else
                s.SendLine("+OK").Expect("PASS secret").Drop();
        }
        Prepare(s);
        client.Transport().SetReadTimeoutMs(20000);
        if (stage == "CAPA") {
            EXPECT_THROW(client.Connect(), ConnectionClosed);
        } else {
            client.Connect();
            EXPECT_THROW(client.Login(), ConnectionClosed) << stage.constData();
        }
        client.CloseTransport();
        ASSERT_TRUE(s.WaitDone());
    }
}

TEST_F(Pop3ClientTest, ApopDigestCoversTheBracketedTimestamp)
{
    // The exchange of RFC 1939 (digest checked with md5sum; the RFC prints a
    // wrong one).
    EXPECT_EQ(vm::ApopTimestamp("+OK POP3 server ready <1896.697170952@dbc.mil> x <y>"),
              "<1896.697170952@dbc.mil>");
    EXPECT_EQ(vm::ApopDigest("<1896.697170952@dbc.mil>", "tanstaaf"),
              "a9d67899f7a17e8124ef41234fcd4fa9");
    EXPECT_TRUE(vm::ApopTimestamp("+OK no stamp < here").isEmpty());

    FakeServer s;
    s.SendLine("+OK POP3 server ready <1896.697170952@dbc.mil>")
        .Expect("CAPA")
        .Send("+OK\r\nUIDL\r\n.\r\n")
        .Expect("APOP mrose a9d67899f7a17e8124ef41234fcd4fa9")
        .SendLine("+OK maildrop has 1 message");
    client.AuthenticationType = Pop3Client::atAPOP;
    Prepare(s, "mrose", "tanstaaf");
    client.Connect();
    client.Login();
    EXPECT_EQ(client.Capabilities(), QList<QByteArray>{"UIDL"});
    client.CloseTransport();
    ASSERT_TRUE(s.WaitDone());
}

TEST_F(Pop3ClientTest, ApopWithoutTimestampFailsBeforeSendingTheUser)
{
    FakeServer s;
    s.SendLine("+OK ready").Expect("CAPA").SendLine("-ERR").Stall(-1);
    client.AuthenticationType = Pop3Client::atAPOP;
    Prepare(s);
    client.Connect();
    try {
        client.Login();
        FAIL() << "APOP login without a timestamp succeeded";
    } catch (const ApopNotSupported& e) {
        EXPECT_EQ(e.Message(), "Server do not support APOP (no timestamp)");
    }
    EXPECT_FALSE(client.Transport().Connected());
    ASSERT_TRUE(s.WaitDone());
    EXPECT_EQ(s.Received(), QList<QByteArray>{"CAPA"});
}

TEST_F(Pop3ClientTest, LoginsAndPasswordsWithLineBreaksOrNulAreNeverSent)
{
    const QByteArray bad[] = {"bo\r\nDELE 1", "bo\nb", "bo\rb", QByteArray("bo\0b", 4)};
    for (const QByteArray& value : bad) {
        for (bool apop : {false, true}) {
            for (bool inLogin : {true, false}) {
                SCOPED_TRACE(value.toHex().toStdString() + (apop ? " APOP" : " USER") +
                             (inLogin ? " login" : " password"));
                FakeServer s;
                s.SendLine("+OK ready <1.2@example.org>").Expect("CAPA").SendLine("-ERR").Stall(-1);
                client.AuthenticationType = apop ? Pop3Client::atAPOP : Pop3Client::atUserPass;
                Prepare(s, inLogin ? value : QByteArray("bob"),
                        inLogin ? QByteArray("secret") : value);
                client.Connect();
                // A client that sent the value would wait for an answer.
                client.Transport().SetReadTimeoutMs(5000);
                EXPECT_THROW(client.Login(), CredentialError);
                EXPECT_FALSE(client.Transport().Connected());
                ASSERT_TRUE(s.WaitDone());
                EXPECT_EQ(s.Received(), QList<QByteArray>{"CAPA"});
            }
        }
    }
}

TEST_F(Pop3ClientTest, RefusedLoginClosesAndCarriesTheServerText)
{
    FakeServer s;
    s.SendLine("+OK ready")
        .Expect("CAPA")
        .SendLine("-ERR")
        .Expect("USER bob")
        .SendLine("+OK")
        .Expect("PASS wrong")
        .SendLine("-ERR [AUTH] Authentication failed.")
        .Stall(-1);
    Prepare(s, "bob", "wrong");
    client.Connect();
    try {
        client.Login();
        FAIL() << "login with a refused password succeeded";
    } catch (const Pop3ReplyError& e) {
        EXPECT_EQ(e.Message(), "[AUTH] Authentication failed.");
        EXPECT_EQ(e.ClassName(), "Pop3ReplyError");
    }
    EXPECT_FALSE(client.Transport().Connected());
    ASSERT_TRUE(s.WaitDone());
    EXPECT_TRUE(s.ClientClosed());
}

TEST_F(Pop3ClientTest, NegativeGreetingFails)
{
    FakeServer s;
    s.SendLine("-ERR go away");
    Prepare(s);
    EXPECT_THROW(client.Connect(), Pop3ReplyError);
}

TEST_F(Pop3ClientTest, UidlSizesAndRefusals)
{
    FakeServer s;
    s.SendLine("+OK")
        .Expect("CAPA")
        .SendLine("-ERR")
        .Expect("UIDL")
        .Send("+OK\r\n2 id with spaces\r\n1 abc\r\n3 x\r\n.\r\n")
        .Expect("LIST 1")
        .SendLine("+OK 1 39")
        .Expect("LIST 2")
        .SendLine("+OK 2")
        .Expect("LIST 3")
        .SendLine("+OK 3 big?")
        .Expect("LIST 4")
        .SendLine("-ERR no such message")
        .Expect("DELE 1")
        .SendLine("+OK")
        .Expect("DELE 9")
        .SendLine("-ERR no such message")
        .Expect("UIDL")
        .SendLine("-ERR not supported")
        .Expect("UIDL")
        .Send("+OK\r\n1 " + QByteArray(65535, 'k') + "\r\n.\r\n")
        .Expect("UIDL")
        .Send("+OK\r\n1 ok\r\n2 " + QByteArray(65536, 'u') + "\r\n.\r\n")
        .Expect("NOOP")
        .SendLine("+OK");
    Prepare(s);
    client.Connect();
    QList<QByteArray> ids;
    ASSERT_TRUE(client.FetchUidList(ids));
    EXPECT_EQ(ids, (QList<QByteArray>{"abc", "id with spaces", "x"}));
    EXPECT_EQ(client.MessageSize(1), 39);
    EXPECT_EQ(client.MessageSize(2), -1);
    EXPECT_EQ(client.MessageSize(3), -1);
    EXPECT_THROW(client.MessageSize(4), Pop3ReplyError);
    EXPECT_TRUE(client.Delete(1));
    EXPECT_FALSE(client.Delete(9));
    EXPECT_FALSE(client.FetchUidList(ids));
    EXPECT_TRUE(ids.isEmpty());
    // An id longer than a mailbox file can keep would come back cut after a
    // restart, so the message would turn up as new again: such a list is
    // unusable, like a refusal.
    ASSERT_TRUE(client.FetchUidList(ids));
    EXPECT_EQ(ids, QList<QByteArray>{QByteArray(65535, 'k')});
    EXPECT_FALSE(client.FetchUidList(ids));
    EXPECT_TRUE(ids.isEmpty());
    // The refusals left the dialogue in step.
    EXPECT_EQ(client.SendCmd("NOOP"), "+OK");
    client.CloseTransport();
    ASSERT_TRUE(s.WaitDone());
}

TEST_F(Pop3ClientTest, FetchedMessagesKeepTheirTextAndReceiptRequest)
{
    const QByteArray head = "From: Ann <ann@example.com>\r\n"
                            "Subject: dots\r\n"
                            "Disposition-Notification-To: ann@example.com\r\n";
    FakeServer s;
    s.SendLine("+OK")
        .Expect("CAPA")
        .SendLine("-ERR")
        .Expect("RETR 3")
        .Send("+OK 80 octets\r\n" + head + "\r\n..leading dot\r\n...\r\nend\r\n.\r\n")
        .Expect("TOP 4 0")
        .Send("+OK\r\nFrom: b@example.com\r\nSubject: plain\r\n\r\n.\r\n")
        .Expect("RETR 5")
        .SendLine("-ERR gone");
    Prepare(s);
    client.Connect();
    MessageRecord whole;
    whole.headersOnly = true;
    whole.noHeaders = true;
    whole.raw = "old";
    client.FetchWhole(3, whole);
    EXPECT_EQ(whole.raw, head + "\r\n.leading dot\r\n..\r\nend\r\n");
    EXPECT_EQ(whole.serverNumber, 3);
    EXPECT_FALSE(whole.headersOnly);
    EXPECT_FALSE(whole.noHeaders);
    EXPECT_EQ(whole.receiptState, 1);

    MessageRecord headers;
    headers.receiptState = 3; // answered earlier: left as it is
    headers.noHeaders = true;
    client.FetchHeaders(4, headers);
    EXPECT_EQ(headers.raw, "From: b@example.com\r\nSubject: plain\r\n\r\n");
    EXPECT_EQ(headers.serverNumber, 4);
    EXPECT_TRUE(headers.headersOnly);
    EXPECT_FALSE(headers.noHeaders);
    EXPECT_EQ(headers.receiptState, 3);

    MessageRecord gone;
    EXPECT_THROW(client.FetchWhole(5, gone), Pop3ReplyError);
    client.CloseTransport();
}

TEST_F(Pop3ClientTest, AnnouncedSizeOnlySetsAsideRoom)
{
    // The size from LIST may be missing, too small, exact or a lie; the text
    // read is the same, and a lie leaves no oversized buffer behind.
    const QByteArray body = "Subject: sized\r\n\r\n" + QByteArray(3000, 'a') + "\r\n..dot\r\n";
    const QByteArray want = "Subject: sized\r\n\r\n" + QByteArray(3000, 'a') + "\r\n.dot\r\n";
    const std::int32_t hints[] = {-1, 0, 10, std::int32_t(want.size()), 1 << 20, 0x7fffffff};
    FakeServer s;
    s.SendLine("+OK").Expect("CAPA").SendLine("-ERR");
    for (int i = 0; i < int(std::size(hints)); ++i)
        s.Expect("RETR " + QByteArray::number(i + 1))
            .Send("+OK\r\n" + body.left(1000))
            .Stall(20)
            .Send(body.mid(1000) + ".\r\n");
    Prepare(s);
    client.Connect();
    for (int i = 0; i < int(std::size(hints)); ++i) {
        MessageRecord rec;
        rec.size = hints[i];
        client.FetchWhole(i + 1, rec);
        EXPECT_EQ(rec.raw, want) << "announced " << hints[i];
        EXPECT_LE(rec.raw.capacity(), want.size() + want.size() / 8 + 4096)
            << "announced " << hints[i];
        EXPECT_EQ(rec.size, hints[i]);
    }
    client.CloseTransport();
    ASSERT_TRUE(s.WaitDone());
}

TEST_F(Pop3ClientTest, SizeListAndPipelinedRepliesStayInStep)
{
    const QByteArray longLine(40000, 'x'); // longer than the transport's line pieces
    FakeServer s;
    s.SendLine("+OK")
        .Expect("CAPA")
        .Send("+OK\r\nUIDL\r\n pipelining \r\n.\r\n")
        .Expect("LIST")
        .Send("+OK 3 messages\r\n1 120\r\n4 77 extra\r\n3 5\r\n.\r\n")
        .Expect("LIST")
        .SendLine("-ERR not now")
        .Expect("RETR 1")
        .Expect("LIST 2")
        .Expect("TOP 3 0")
        .Expect("RETR 4")
        // Replies in pieces: a line cut between CR and LF, a lone LF, an
        // overlong line, a "-ERR" in the middle of the batch.
        .Send("+OK\r\nSubject: one\r")
        .Stall(30)
        .Send("\n\nbody\n" + longLine + "\r\n..x\r\n.")
        .Stall(30)
        .Send("\r\n+OK 2 55\r\n-ERR no such message\r\n+OK\r\nSubject: four\r\n\r\n.\r\n")
        .Expect("NOOP")
        .SendLine("+OK");
    Prepare(s);
    client.Connect();
    EXPECT_TRUE(client.SupportsPipelining());

    QHash<int, std::int32_t> sizes;
    ASSERT_TRUE(client.FetchSizeList(sizes, 4));
    // By number; a message left out is asked for alone.
    EXPECT_EQ(sizes, (QHash<int, std::int32_t>{{1, 120}, {3, 5}, {4, 77}}));
    EXPECT_FALSE(client.FetchSizeList(sizes, 4));
    EXPECT_TRUE(sizes.isEmpty());

    client.SendWholeRequest(1);
    client.SendSizeRequest(2);
    client.SendHeadersRequest(3);
    client.SendWholeRequest(4);
    MessageRecord one;
    client.ReceiveWhole(1, one);
    EXPECT_EQ(one.raw, "Subject: one\r\n\r\nbody\r\n" + longLine + "\r\n.x\r\n");
    EXPECT_EQ(one.Subject(), "one");
    EXPECT_EQ(one.serverNumber, 1);
    EXPECT_EQ(client.ReceiveSize(2), 55);
    MessageRecord three;
    EXPECT_THROW(client.ReceiveHeaders(3, three), Pop3ReplyError);
    MessageRecord four;
    client.ReceiveWhole(4, four);
    EXPECT_EQ(four.Subject(), "four");
    EXPECT_EQ(four.raw, "Subject: four\r\n\r\n");
    EXPECT_EQ(client.SendCmd("NOOP"), "+OK");
    client.CloseTransport();
    ASSERT_TRUE(s.WaitDone());
}

TEST_F(Pop3ClientTest, NoPipeliningWithoutTheCapability)
{
    FakeServer s;
    s.SendLine("+OK").Expect("CAPA").Send("+OK\r\nUIDL\r\nPIPELINING-LATER\r\n.\r\n");
    Prepare(s);
    client.Connect();
    EXPECT_FALSE(client.SupportsPipelining());
    client.CloseTransport();
}

TEST(ConfigurePop3Client, PasswordOrderAndRememberedPassword)
{
    vm::test::EnsureCoreApp();
    MailAccount account;
    account.Login() = "bob";
    account.Server() = " mail.example.com ";
    account.Pop3Port() = 995;
    account.APOP() = true;
    account.Pop3TLS() = true;
    account.Pop3SSLVersion() = 3;
    account.Password() = "stored";
    ScriptedPrompt prompt;
    Pop3Client client;
    client.RequestInterrupt();

    ASSERT_TRUE(vm::ConfigurePop3Client(client, account, 30, prompt));
    EXPECT_EQ(prompt.asked, 0);
    EXPECT_EQ(client.Password, "stored");
    EXPECT_EQ(client.Host, "mail.example.com");
    EXPECT_EQ(client.Port, 995);
    EXPECT_EQ(client.AuthenticationType, Pop3Client::atAPOP);
    EXPECT_TRUE(client.ImplicitTls);
    EXPECT_EQ(client.SSLVersion, 3);
    EXPECT_EQ(client.ConnectTimeoutMs, 30000);
    EXPECT_EQ(client.OperationStatus(), osProceed);

    // No stored password, a valid session password: no prompt.
    account.Password().clear();
    account.SessionPassword() = "session";
    account.SessionPasswordValid() = true;
    ASSERT_TRUE(vm::ConfigurePop3Client(client, account, 30, prompt));
    EXPECT_EQ(prompt.asked, 0);
    EXPECT_EQ(client.Password, "session");

    // Neither: the prompt is asked, empty passwords allowed; cancel changes nothing.
    account.SessionPasswordValid() = false;
    client.RequestInterrupt();
    prompt.answer.accepted = false;
    EXPECT_FALSE(vm::ConfigurePop3Client(client, account, 30, prompt));
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_TRUE(prompt.last.allowEmpty);
    EXPECT_EQ(prompt.last.displayName, "bob");
    EXPECT_EQ(client.Password, "session");
    EXPECT_EQ(client.OperationStatus(), osInterrupt);

    prompt.answer = {true, QString(), true};
    ASSERT_TRUE(vm::ConfigurePop3Client(client, account, 30, prompt));
    EXPECT_EQ(client.Password, "");
    EXPECT_TRUE(client.MemorizePassword);
}

TEST(ConfigurePop3Client, TypedPasswordIsRememberedOnlyAfterSuccessfulLogin)
{
    vm::test::EnsureCoreApp();
    MailAccount account;
    account.Login() = "bob";
    account.Server() = "127.0.0.1";
    ScriptedPrompt prompt;
    prompt.answer = {true, QStringLiteral("typed"), true};
    QStringList status;
    auto record = [&](const QString& t) { status.append(t); };

    {
        FakeServer bad;
        bad.SendLine("+OK")
            .Expect("CAPA")
            .SendLine("-ERR")
            .Expect("USER bob")
            .SendLine("+OK")
            .Expect("PASS typed")
            .SendLine("-ERR no");
        bad.Start();
        account.Pop3Port() = bad.Port();
        Pop3Client client;
        ASSERT_TRUE(vm::ConfigurePop3Client(client, account, 5, prompt));
        EXPECT_THROW(vm::ConnectAndLogin(client, account, record), Pop3ReplyError);
        EXPECT_FALSE(account.SessionPasswordValid());
    }
    FakeServer good;
    good.SendLine("+OK")
        .Expect("CAPA")
        .SendLine("-ERR")
        .Expect("USER bob")
        .SendLine("+OK")
        .Expect("PASS typed")
        .SendLine("+OK");
    good.Start();
    account.Pop3Port() = good.Port();
    Pop3Client client;
    ASSERT_TRUE(vm::ConfigurePop3Client(client, account, 5, prompt));
    vm::ConnectAndLogin(client, account, record);
    EXPECT_TRUE(account.SessionPasswordValid());
    EXPECT_EQ(account.SessionPassword(), "typed");
    EXPECT_EQ(status.first(), "Connecting to server (account: bob)");
    client.CloseTransport();

    // Later operations use it without asking.
    prompt.asked = 0;
    ASSERT_TRUE(vm::ConfigurePop3Client(client, account, 5, prompt));
    EXPECT_EQ(prompt.asked, 0);
}

TEST(RecreatePop3Client, KeepsBusyFlagAndInterruptRequest)
{
    Pop3Client* before = &vm::SharedPop3Client();
    before->Busy = true;
    before->RequestInterrupt();
    before->Password = "x";
    vm::RecreatePop3Client();
    Pop3Client& after = vm::SharedPop3Client();
    EXPECT_TRUE(after.Busy);
    EXPECT_EQ(after.OperationStatus(), osInterrupt);
    EXPECT_TRUE(after.InterruptRequested());
    EXPECT_TRUE(after.Password.isEmpty());
    after.Busy = false;
    after.ResetOperationStatus();
}

} // namespace

namespace {

TEST_F(Pop3ClientTest, EveryReplyKindEndsAtItsBoundWhenTheServerStreamsForever)
{
    // Each reply kind against a server that never ends it: the read fails
    // with ReplyTooLarge once the kind's bound has arrived. The server falls
    // silent a little past the bound, so a client with a larger bound (or
    // none) waits there and fails the test on its read limit instead.
    struct Case
    {
        const char* name;
        QByteArray command; // empty: the greeting or CAPA, read by Connect
        QByteArray stream;
        qint64 bound; // bytes, or lines times the length of a streamed line
        std::function<void(Pop3Client&)> read;
    };
    const auto fetchWhole = [](std::int32_t size) {
        return [size](Pop3Client& c) {
            MessageRecord rec;
            rec.size = size;
            c.FetchWhole(1, rec);
        };
    };
    const Case cases[] = {
        {"greeting", {}, "x", Transport::kMaxReplyLine, [](Pop3Client& c) { c.Connect(); }},
        {"CAPA", {}, "X-CAPABILITY\r\n", Pop3Client::kCapaLimit.maxLines * 14,
         [](Pop3Client& c) { c.Connect(); }},
        {"UIDL", "UIDL", "1 abc\r\n", Pop3Client::kListingLimit.maxLines * 7,
         [](Pop3Client& c) {
             QList<QByteArray> ids;
             c.FetchUidList(ids);
         }},
        {"LIST", "LIST", "1 300\r\n", Pop3Client::kListingLimit.maxLines * 7,
         [](Pop3Client& c) {
             QHash<int, std::int32_t> sizes;
             c.FetchSizeList(sizes, 1);
         }},
        {"TOP", "TOP 1 0", "X-Header: value\r\n", Pop3Client::kHeadersLimit,
         [](Pop3Client& c) {
             MessageRecord rec;
             c.FetchHeaders(1, rec);
         }},
        {"RETR announced", "RETR 1", "body line\r\n", Pop3Client::WholeMessageLimit(1000),
         fetchWhole(1000)},
        {"RETR one endless line", "RETR 1", "x", Pop3Client::WholeMessageLimit(5000),
         fetchWhole(5000)},
        {"RETR unsized", "RETR 1", "body line\r\n", Pop3Client::kUnsizedMessageLimit,
         fetchWhole(0)},
    };
    // A quarter and 1 MiB over the announced size.
    EXPECT_EQ(Pop3Client::WholeMessageLimit(1000), 1000 + 250 + (1 << 20));
    for (const Case& c : cases) {
        FakeServer s;
        if (c.command.isEmpty()) {
            if (QByteArray(c.name) == "CAPA")
                s.SendLine("+OK").Expect("CAPA").SendLine("+OK");
        } else {
            s.SendLine("+OK").Expect("CAPA").SendLine("-ERR").Expect(c.command).SendLine("+OK");
        }
        s.Endless(c.stream, c.bound + c.bound / 4 + (64 << 10));
        Prepare(s);
        client.Transport().SetReadTimeoutMs(3000);
        if (!c.command.isEmpty())
            client.Connect();
        EXPECT_THROW(c.read(client), ReplyTooLarge) << c.name;
        client.CloseTransport();
        ASSERT_TRUE(s.WaitDone()) << c.name;
        // Not before the bound either.
        EXPECT_GE(s.Streamed(), c.bound) << c.name;
    }
}

TEST_F(Pop3ClientTest, Utf8ModeIsAskedForWhereCapaAllowsIt)
{
    // "UTF8 USER" allows the command before the login, a plain "UTF8" only
    // after it; a refusal changes nothing; other keywords are not it.
    struct Case
    {
        QByteArray capa;
        QByteArray answer;
        QList<QByteArray> commands;
    };
    const QList<QByteArray> plain{"CAPA", "USER bob", "PASS secret", "NOOP"};
    const Case cases[] = {
        {"UTF8 USER", "+OK UTF8 enabled", {"CAPA", "UTF8", "USER bob", "PASS secret", "NOOP"}},
        {"utf8  user", "+OK", {"CAPA", "UTF8", "USER bob", "PASS secret", "NOOP"}},
        {"UTF8 USER", "-ERR not now", {"CAPA", "UTF8", "USER bob", "PASS secret", "NOOP"}},
        {"UTF8", "+OK", {"CAPA", "USER bob", "PASS secret", "UTF8", "NOOP"}},
        {"UTF8", "-ERR no", {"CAPA", "USER bob", "PASS secret", "UTF8", "NOOP"}},
        {"UTF8X USER", {}, plain},
        {"X-UTF8 USER", {}, plain},
    };
    for (const Case& c : cases) {
        FakeServer s;
        s.SendLine("+OK").Expect("CAPA").Send("+OK\r\nTOP\r\n" + c.capa + "\r\nUIDL\r\n.\r\n");
        for (const QByteArray& command : c.commands.mid(1)) {
            s.Expect(command);
            s.SendLine(command == "UTF8" ? c.answer : QByteArray("+OK"));
        }
        Prepare(s);
        client.Connect();
        client.Login();
        EXPECT_EQ(client.SendCmd("NOOP"), "+OK") << c.capa.constData();
        client.CloseTransport();
        ASSERT_TRUE(s.WaitDone());
        EXPECT_EQ(s.Received(), c.commands) << c.capa.constData();
    }
}

} // namespace

TEST_F(Pop3ClientTest, ALineThatIsNeitherOkNorErrClosesTheConnection)
{
    // Whatever the command, a reply line that starts with neither "+OK" nor
    // "-ERR" is a protocol error: the client closes at once and sends
    // nothing more (a "-ERR" instead keeps the dialogue going, as the
    // tests above show).
    struct Case
    {
        const char* name;
        QByteArray command; // answered by the garbage; empty: the greeting
        QByteArray garbage;
        std::function<void(Pop3Client&)> act; // after Connect, unless greeting
    };
    const Case cases[] = {
        {"greeting", {}, "* OK IMAP4rev1 ready", nullptr},
        {"CAPA", "CAPA", "CAPABILITY", nullptr},
        {"USER", "USER bob", "OK", [](Pop3Client& c) { c.Login(); }},
        {"UIDL", "UIDL", "", [](Pop3Client& c) {
             QList<QByteArray> ids;
             c.FetchUidList(ids);
         }},
        {"LIST", "LIST", "+0K 2 messages", [](Pop3Client& c) {
             QHash<int, std::int32_t> sizes;
             c.FetchSizeList(sizes, 2);
         }},
        {"LIST n", "LIST 3", "3 300", [](Pop3Client& c) { c.MessageSize(3); }},
        {"LIST n naming another message", "LIST 3", "+OK 4 300",
         [](Pop3Client& c) { c.MessageSize(3); }},
        {"TOP", "TOP 1 0", "Subject: stray", [](Pop3Client& c) {
             MessageRecord rec;
             c.FetchHeaders(1, rec);
         }},
        {"RETR", "RETR 1", "-ER", [](Pop3Client& c) {
             MessageRecord rec;
             c.FetchWhole(1, rec);
         }},
        {"DELE", "DELE 1", "250 marked", [](Pop3Client& c) { c.Delete(1); }},
        {"QUIT", "QUIT", "bye", [](Pop3Client& c) { c.Disconnect(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer s;
        if (c.command.isEmpty()) {
            s.SendLine(c.garbage);
        } else {
            s.SendLine("+OK");
            if (c.command != "CAPA")
                s.Expect("CAPA").SendLine("-ERR");
            s.Expect(c.command).SendLine(c.garbage);
        }
        s.ExpectClose(5000);
        Pop3Client client;
        vm::test::PointAtLoopback(client, s.Port());
        s.Start();
        try {
            client.Connect();
            ASSERT_TRUE(c.act) << "the connect succeeded";
            c.act(client);
            ADD_FAILURE() << "no error";
        } catch (const Pop3ProtocolError& e) {
            EXPECT_TRUE(e.Message().contains(QString::fromLatin1(c.garbage)))
                << e.Message().toStdString();
        }
        EXPECT_FALSE(client.Transport().Connected());
        ASSERT_TRUE(s.WaitDone());
    }
}

TEST_F(Pop3ClientTest, GarbageInsteadOfAPipelinedReplyLeavesTheRestUnread)
{
    FakeServer s;
    s.SendLine("+OK")
        .Expect("CAPA")
        .Send("+OK\r\nPIPELINING\r\n.\r\n")
        .Expect("RETR 1")
        .Expect("RETR 2")
        .Send("Subject: one\r\n\r\n.\r\n+OK\r\nSubject: two\r\n\r\n.\r\n")
        .ExpectClose(5000);
    Prepare(s);
    client.Connect();
    client.SendWholeRequest(1);
    client.SendWholeRequest(2);
    MessageRecord one;
    EXPECT_THROW(client.ReceiveWhole(1, one), Pop3ProtocolError);
    MessageRecord two;
    EXPECT_THROW(client.ReceiveWhole(2, two), NotConnected);
    EXPECT_TRUE(two.raw.isEmpty());
    ASSERT_TRUE(s.WaitDone());
}
