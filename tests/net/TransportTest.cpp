// The transport against the scripted fake server: lines, multi-line replies,
// overlong lines, bounds on replies, dropped connections, interrupts and
// aborts.

#include "net/Transport.h"
#include "support/FakeServer.h"
#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vm;

using vm::Transport;
using vm::test::FakeServer;

namespace {

class TransportTest : public ::testing::Test
{
protected:
    void SetUp() override { vm::test::EnsureCoreApp(); }
    void Connect(FakeServer& server)
    {
        server.Start();
        t.SetConnectTimeoutMs(5000);
        t.Connect(QStringLiteral("127.0.0.1"), server.Port());
    }
    Transport t;
};

TEST_F(TransportTest, LinesBothWaysAndMultiLineWithDotUnstuffing)
{
    FakeServer s;
    s.SendLine("+OK hello")
        .Expect("UIDL")
        .Send("+OK\r\n1 abc\r\n..starts with dot\r\n..\r\n.x\r\nlone lf\n\r\n.\r\n")
        .SendLine("+OK after");
    Connect(s);
    // The stamp is taken on the monotonic clock when the bytes arrive.
    const qint64 before = Transport::MonotonicMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(t.ReadReplyLine(), "+OK hello");
    EXPECT_GE(t.LastActivityMs(), before + 30);
    EXPECT_LE(t.LastActivityMs(), Transport::MonotonicMs());
    t.WriteLine("UIDL");
    EXPECT_EQ(t.ReadReplyLine(), "+OK");
    const QList<QByteArray> lines = t.ReadMultiLine();
    const QList<QByteArray> want{"1 abc", ".starts with dot", ".", ".x", "lone lf", ""};
    EXPECT_EQ(lines, want);
    // The reply after the terminator is still in step.
    EXPECT_EQ(t.ReadReplyLine(), "+OK after");
    t.Close();
    ASSERT_TRUE(s.WaitDone());
    EXPECT_TRUE(s.Mismatches().isEmpty()) << s.Mismatches().join('\n').toStdString();
}

TEST_F(TransportTest, OverlongLinesAreSplitAndJoinedBackInMultiLineReplies)
{
    // A line of 25 bytes with a maximum of 10 comes in pieces of 10, 10, 5;
    // a piece that happens to be "." is not taken as the end of the reply.
    FakeServer s;
    s.Send("0123456789abcdefghij.\r\n")
        .Send("0123456789ABCDEFGHIJ.\r\n..stuffed\r\n.\r\n")
        .Send("+OK short\r\n");
    Connect(s);
    t.SetMaxLineLength(10);
    bool complete = true;
    EXPECT_EQ(t.ReadLine(&complete), "0123456789");
    EXPECT_FALSE(complete);
    EXPECT_EQ(t.ReadLine(&complete), "abcdefghij");
    EXPECT_FALSE(complete);
    EXPECT_EQ(t.ReadLine(&complete), ".");
    EXPECT_TRUE(complete);
    const QList<QByteArray> lines = t.ReadMultiLine();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "0123456789ABCDEFGHIJ.");
    EXPECT_EQ(lines[1], ".stuffed");
    EXPECT_EQ(t.ReadReplyLine(), "+OK short");
}

TEST_F(TransportTest, CrLfSplitAcrossPiecesStaysOneLineEnd)
{
    FakeServer s;
    s.Send("123456789\r\nnext\r\n");
    Connect(s);
    t.SetMaxLineLength(10);
    EXPECT_EQ(t.ReadReplyLine(), "123456789");
    EXPECT_EQ(t.ReadReplyLine(), "next");
}

TEST_F(TransportTest, RepliesWithinTheirBoundPassAndLongerOnesFail)
{
    // Text "ab\r\n" "cd\r\n" is 8 bytes in 2 lines.
    struct Case
    {
        ReplyLimit limit;
        bool fits;
    };
    const Case cases[] = {
        {{8, 2}, true}, {{7, 2}, false}, {{8, 1}, false}, {{100, 100}, true}};
    for (const Case& c : cases) {
        for (bool asText : {false, true}) {
            FakeServer s;
            s.Send("ab\r\ncd\r\n.\r\n+OK next\r\n");
            Connect(s);
            const auto read = [&] {
                if (asText)
                    EXPECT_EQ(t.ReadMultiLineText(c.limit.maxBytes), "ab\r\ncd\r\n");
                else
                    EXPECT_EQ(t.ReadMultiLine(c.limit), (QList<QByteArray>{"ab", "cd"}));
            };
            // The text form counts bytes only.
            if (c.fits || (asText && c.limit.maxBytes >= 8)) {
                read();
                EXPECT_EQ(t.ReadReplyLine(), "+OK next");
            } else {
                EXPECT_THROW(read(), ReplyTooLarge)
                    << c.limit.maxBytes << " bytes, " << c.limit.maxLines << " lines";
            }
            t.Close();
        }
    }
}

TEST_F(TransportTest, EndlessRepliesFailOnceTheirBoundHasArrived)
{
    // A server that never ends its reply, with one line or many: the read
    // fails once the bound has arrived. The server falls silent at twice the
    // bound, so a client without the bound waits there and fails the test.
    constexpr qint64 kBound = 1 << 20;
    struct Case
    {
        const char* name;
        QByteArray stream;
        std::function<void(Transport&)> read;
    };
    const Case cases[] = {
        {"reply line", "x", [](Transport& t) { t.ReadReplyLine(); }},
        {"lines", "1 abc\r\n", [](Transport& t) { t.ReadMultiLine({kBound, 1000000}); }},
        {"short lines", "1\r\n", [](Transport& t) { t.ReadMultiLine({kBound, 1000}); }},
        {"one line in lines", "x", [](Transport& t) { t.ReadMultiLine({kBound, 1000}); }},
        {"text", "line of text\r\n", [](Transport& t) { t.ReadMultiLineText(kBound); }},
        {"one line in text", "x", [](Transport& t) { t.ReadMultiLineText(kBound, 100); }},
        {"bare LF lines in text", "\n", [](Transport& t) { t.ReadMultiLineText(kBound); }},
    };
    for (const Case& c : cases) {
        FakeServer s;
        s.SendLine("+OK").Endless(c.stream, 2 * kBound);
        Connect(s);
        t.SetReadTimeoutMs(5000); // a client waiting at the guard fails the test
        EXPECT_EQ(t.ReadReplyLine(), "+OK");
        EXPECT_THROW(c.read(t), ReplyTooLarge) << c.name;
        t.Close();
        t.SetReadTimeoutMs(-1);
        ASSERT_TRUE(s.WaitDone()) << c.name;
    }
}

TEST_F(TransportTest, DroppedConnectionMidReplyFails)
{
    FakeServer s;
    s.Send("+OK\r\nline one\r\nline tw").Drop();
    Connect(s);
    EXPECT_EQ(t.ReadReplyLine(), "+OK");
    EXPECT_THROW(t.ReadMultiLine(), ConnectionClosed);
}

TEST_F(TransportTest, GarbageBytesPassThrough)
{
    FakeServer s;
    s.Send(QByteArray("\x00\xff\x01garbage\x7f\r\n", 13));
    Connect(s);
    EXPECT_EQ(t.ReadReplyLine(), QByteArray("\x00\xff\x01garbage\x7f", 11));
}

TEST_F(TransportTest, InterruptDuringStalledReadCancels)
{
    FakeServer s;
    s.SendLine("+OK").Stall(20000);
    Connect(s);
    EXPECT_EQ(t.ReadReplyLine(), "+OK");
    std::thread other([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        t.RequestInterrupt();
        t.RequestInterrupt(); // a second request changes nothing
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(t.ReadReplyLine(), OperationCancelled);
    other.join();
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(t.OperationStatus(), osCancelRaised);
    // Already cancelled: every later wait fails at once, until reset.
    EXPECT_THROW(t.ReadReplyLine(), OperationCancelled);
}

TEST_F(TransportTest, InterruptRequestedBeforeAWaitCancelsIt)
{
    FakeServer s;
    s.SendLine("+OK");
    Connect(s);
    t.RequestInterrupt();
    t.RequestInterrupt();
    EXPECT_EQ(t.OperationStatus(), osInterrupt);
    EXPECT_THROW(t.WriteLine("NOOP"), OperationCancelled);
    EXPECT_EQ(t.OperationStatus(), osCancelRaised);
}

TEST_F(TransportTest, AbortFromAnotherThreadEndsAStalledRead)
{
    FakeServer s;
    s.SendLine("+OK").Stall(-1);
    Connect(s);
    EXPECT_EQ(t.ReadReplyLine(), "+OK");
    std::thread other([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        t.Abort();
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(t.ReadReplyLine(), ConnectionAborted);
    other.join();
    EXPECT_LT(timer.elapsed(), 5000);
    t.Close();
    ASSERT_TRUE(s.WaitDone());
    EXPECT_TRUE(s.ClientClosed());
}

TEST_F(TransportTest, ConnectFailuresAreSocketErrors)
{
    quint16 closedPort;
    {
        FakeServer gone; // its port is free again once it is destroyed
        closedPort = gone.Port();
    }
    EXPECT_THROW(t.Connect(QStringLiteral("127.0.0.1"), closedPort), SocketError);
    EXPECT_THROW(t.Connect(QStringLiteral("no-such-host.invalid"), 110), SocketError);
    EXPECT_THROW(t.ReadReplyLine(), NotConnected);
}

TEST_F(TransportTest, ConnectToAFullListenQueueTimesOut)
{
    // A listener that never accepts, with its queue filled: further SYNs go
    // unanswered and the connect limit must end the attempt.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(fd);
    }
    t.SetConnectTimeoutMs(400);
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(t.Connect(QStringLiteral("127.0.0.1"), ntohs(addr.sin_port)), ConnectTimedOut);
    EXPECT_LT(timer.elapsed(), 5000);
    for (int fd : fillers)
        ::close(fd);
    ::close(listener);
}

TEST_F(TransportTest, Ipv6LiteralAddress)
{
    const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_loopback;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (listener >= 0)
            ::close(listener);
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    ::listen(listener, 1);
    socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::thread server([listener] {
        const int c = ::accept(listener, nullptr, nullptr);
        ::send(c, "+OK six\r\n", 9, MSG_NOSIGNAL);
        char buf[16];
        ::recv(c, buf, sizeof buf, 0); // until the client closes
        ::close(c);
    });
    // The bracketed form, as a user may type it.
    t.Connect(QStringLiteral("[::1]"), ntohs(addr.sin6_port));
    EXPECT_EQ(t.ReadReplyLine(), "+OK six");
    t.Close();
    server.join();
    ::close(listener);
}

TEST_F(TransportTest, InterruptDuringConnectCancels)
{
    // A port that accepts the TCP connection later than we wait is hard to
    // make; an interrupt requested before connecting must still win.
    FakeServer s;
    s.Start();
    t.RequestInterrupt();
    EXPECT_THROW(t.Connect(QStringLiteral("127.0.0.1"), s.Port()), OperationCancelled);
}

// A name lookup that takes its time, as on a network whose name server does
// not answer.
std::atomic<int> g_lookupDelayMs{0};
std::atomic<int> g_lookupsStarted{0};
std::atomic<int> g_lookupsReturned{0};

int SlowLookup(const char* node, const char* service, const addrinfo* hints, addrinfo** res)
{
    ++g_lookupsStarted;
    std::this_thread::sleep_for(std::chrono::milliseconds(g_lookupDelayMs.load()));
    const int rc = getaddrinfo(node, service, hints, res);
    ++g_lookupsReturned;
    return rc;
}

class SlowLookupTest : public TransportTest
{
protected:
    void SetUp() override
    {
        TransportTest::SetUp();
        Transport::SetLookupForTesting(&SlowLookup);
    }
    void TearDown() override { Transport::SetLookupForTesting(nullptr); }
};

TEST_F(SlowLookupTest, StalledNameLookupGivesWayToInterruptAbortAndTheConnectLimit)
{
    FakeServer s;
    s.Start();
    g_lookupDelayMs = 1500;
    QElapsedTimer clock;

    // Interrupt and abort from another thread end the wait within a slice
    // or two, not when the name server gives up.
    std::thread interrupter([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        t.RequestInterrupt();
    });
    clock.start();
    EXPECT_THROW(t.Connect(QStringLiteral("localhost"), s.Port()), OperationCancelled);
    EXPECT_LT(clock.elapsed(), 1000);
    interrupter.join();

    t.SetOperationStatus(osProceed);
    std::thread aborter([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        t.Abort();
    });
    clock.start();
    EXPECT_THROW(t.Connect(QStringLiteral("localhost"), s.Port()), ConnectionAborted);
    EXPECT_LT(clock.elapsed(), 1000);
    aborter.join();

    // The connect limit covers the lookup.
    t.SetConnectTimeoutMs(200);
    clock.start();
    EXPECT_THROW(t.Connect(QStringLiteral("localhost"), s.Port()), ConnectTimedOut);
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(SlowLookupTest, SlowButTimelyLookupStillConnects)
{
    FakeServer s;
    s.SendLine("+OK slow name server");
    s.Start();
    g_lookupDelayMs = 200;
    t.SetConnectTimeoutMs(5000);
    t.Connect(QStringLiteral("localhost"), s.Port());
    EXPECT_EQ(t.ReadReplyLine(), "+OK slow name server");
    t.Close();
    ASSERT_TRUE(s.WaitDone());
}

TEST_F(SlowLookupTest, LookupsLeftBehindAreJoinedAtExitWithinTheBound)
{
    // A connect that stops waiting leaves its lookup running; the end of the
    // program waits for it (a bounded time), so no thread outlives main.
    FakeServer s;
    s.Start();
    g_lookupDelayMs = 800;
    t.SetConnectTimeoutMs(100);
    for (int i = 0; i < 3; ++i)
        EXPECT_THROW(t.Connect(QStringLiteral("localhost"), s.Port()), ConnectTimedOut);
    EXPECT_LT(g_lookupsReturned.load(), g_lookupsStarted.load());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(JoinAbandonedLookups(100));
    EXPECT_GE(clock.elapsed(), 100);
    EXPECT_TRUE(JoinAbandonedLookups(10000));
    EXPECT_EQ(g_lookupsReturned.load(), g_lookupsStarted.load());
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(JoinAbandonedLookups(0));
}

} // namespace

namespace {

// A peer that answers one line per wait and keeps every block the transport
// hands it, one entry per write.
class RecordingPeer : public vm::TransportPeer
{
public:
    QByteArray Next() override { return replies_.isEmpty() ? QByteArray() : replies_.takeFirst(); }
    void Sent(const QByteArray& data) override { writes.append(data); }
    QList<QByteArray> replies_{"+OK one\r\n+OK two\r\n", "+OK three\r\n"};
    QList<QByteArray> writes;
};

} // namespace

TEST(TransportQueue, QueuedLinesLeaveTogetherBeforeTheFirstReplyIsAwaited)
{
    RecordingPeer peer;
    Transport t;
    t.SetPeerForTesting(&peer);
    t.Connect(QStringLiteral("peer.example"), 110);
    t.QueueLine("RETR 1");
    t.QueueLine("RETR 2");
    t.QueueLine("RETR 3");
    EXPECT_TRUE(peer.writes.isEmpty()); // nothing leaves before a reply is due
    EXPECT_EQ(t.ReadReplyLine(), "+OK one");
    EXPECT_EQ(peer.writes, QList<QByteArray>{"RETR 1\r\nRETR 2\r\nRETR 3\r\n"});
    // A plain write sends what is still queued first, in order.
    t.QueueLine("TOP 4 0");
    t.WriteLine("QUIT");
    EXPECT_EQ(peer.writes.mid(1), (QList<QByteArray>{"TOP 4 0\r\n", "QUIT\r\n"}));
    EXPECT_EQ(t.ReadReplyLine(), "+OK two");
    EXPECT_EQ(peer.writes.size(), 3);
    // Closing drops what was queued and never sent.
    t.QueueLine("DELE 1");
    t.Close();
    t.Connect(QStringLiteral("peer.example"), 110);
    EXPECT_EQ(t.ReadReplyLine(), "+OK three");
    EXPECT_EQ(peer.writes.size(), 3);
}

// A message as the server sends it, whatever way the connection happens to
// cut it into pieces: every cut in two and all one-byte pieces give the same
// text, and the reply after it is still in step. The lines are long enough to
// cross the scanner's 16-byte blocks with dots, bare LFs and CRs anywhere.
TEST(TransportText, MessageTextIsTheSameHoweverTheBytesArrive)
{
    const QByteArray sent = "Subject: a line longer than sixteen bytes\r\n"
                            "..a stuffed dot opens this line, long enough to cross\r\n"
                            "\r\n"
                            "a line that ends in a bare line feed\n"
                            "\n"
                            "...\r\n"
                            ".x not stuffed\r\n"
                            "inner\rcarriage return and a dot . here\r\n"
                            "xxxxxxxxxxxxxxx\r\n"
                            "xxxxxxxxxxxxxxxx\r\n"
                            "..\r\n"
                            ".\r\n"
                            "+OK next\r\n";
    const QByteArray want = "Subject: a line longer than sixteen bytes\r\n"
                            ".a stuffed dot opens this line, long enough to cross\r\n"
                            "\r\n"
                            "a line that ends in a bare line feed\r\n"
                            "\r\n"
                            "..\r\n"
                            ".x not stuffed\r\n"
                            "inner\rcarriage return and a dot . here\r\n"
                            "xxxxxxxxxxxxxxx\r\n"
                            "xxxxxxxxxxxxxxxx\r\n"
                            ".\r\n";
    struct PiecePeer : vm::TransportPeer
    {
        QByteArray Next() override { return pieces.isEmpty() ? QByteArray() : pieces.takeFirst(); }
        void Sent(const QByteArray&) override {}
        QList<QByteArray> pieces;
    };
    QList<QList<QByteArray>> ways;
    for (qsizetype cut = 1; cut < sent.size(); ++cut)
        ways.append({sent.left(cut), sent.mid(cut)});
    QList<QByteArray> bytes;
    for (char c : sent)
        bytes.append(QByteArray(1, c));
    ways.append(bytes);
    for (const QList<QByteArray>& pieces : ways) {
        PiecePeer peer;
        peer.pieces = pieces;
        Transport t;
        t.SetPeerForTesting(&peer);
        t.Connect(QStringLiteral("peer.example"), 110);
        const QString how = QStringLiteral("first piece %1 bytes of %2 pieces")
                                .arg(pieces.first().size())
                                .arg(pieces.size());
        EXPECT_EQ(t.ReadMultiLineText(1000, 10), want) << how.toStdString();
        EXPECT_EQ(t.ReadReplyLine(), "+OK next") << how.toStdString();
    }
}

TEST_F(TransportTest, WritingAfterThePeerLeftFailsAndReadingSaysClosed)
{
    FakeServer s;
    s.SendLine("+OK").Drop();
    Connect(s);
    EXPECT_EQ(t.ReadReplyLine(), "+OK");
    EXPECT_THROW(t.ReadReplyLine(), ConnectionClosed);
    EXPECT_FALSE(t.Connected());
    // The process survives writing to the closed connection (no SIGPIPE),
    // and the failure is reported once the system notices it.
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i) {
        try {
            t.WriteLine("NOOP");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } catch (const SocketError&) {
            failed = true;
        }
    }
    EXPECT_TRUE(failed);
}
