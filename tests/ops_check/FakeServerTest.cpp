// The operations through the program's POP3 client, on a worker thread with
// the silence limit, against the scripted fake server: the exact lines the
// client sends, and what the mailbox and the error list hold afterwards.

#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>

#include <functional>

#include "model/MailAccount.h"
#include "net/PasswordPrompt.h"
#include "ops/CheckAccount.h"
#include "ops/ErrorList.h"
#include "ops/RemovalOperation.h"
#include "ops/RetrieveWhole.h"
#include "pop3/Pop3Client.h"
#include "ops_check/Printers.h"
#include "support/FakeServer.h"

using namespace vm;
using vm::test::FakeServer;

namespace {

void EnsureApp()
{
    vm::test::EnsureCoreApp();
}

struct ServerScript
{
    MailAccount account;
    Pop3Client client;
    FakeServer server;

    // A pipelining server announces it in its CAPA reply.
    explicit ServerScript(bool pipelining = false)
    {
        EnsureApp();
        account.Login() = "bob";
        account.Password() = "secret";
        account.Server() = "127.0.0.1";
        account.Pop3Port() = server.Port();
        server.Pop3Login("bob", "secret",
                         pipelining ? QList<QByteArray>{"TOP", "UIDL", "PIPELINING", "USER"}
                                    : QList<QByteArray>{});
    }
    // The server answers UIDL with the ids in this order.
    ServerScript& Uidl(const QList<QByteArray>& ids)
    {
        server.Pop3Uidl(ids);
        return *this;
    }
    ServerScript& Reply(const QByteArray& command, const QByteArray& reply,
                        const QList<QByteArray>& lines = {}, bool multi = false)
    {
        server.Expect(command).SendLine(reply);
        for (const QByteArray& l : lines)
            server.SendLine(l);
        if (multi)
            server.SendLine(".");
        return *this;
    }
    ServerScript& Quit()
    {
        server.Expect("QUIT").SendLine("+OK bye");
        return *this;
    }
    OperationRun Run(int timeoutSeconds = 10)
    {
        OperationRun r;
        r.client = &client;
        r.timeoutSeconds = timeoutSeconds;
        return r;
    }
    QStringList Commands() const
    {
        QStringList out;
        for (const QByteArray& l : server.Received())
            out.append(QString::fromLatin1(l));
        return out;
    }
};

QList<QByteArray> Headers(const QByteArray& subject, const QByteArray& date)
{
    return {"From: =?UTF-8?Q?J=C3=BCrgen?= <j@example.org>", "Subject: " + subject, "Date: " + date,
            ""};
}

CheckOptions Whole()
{
    CheckOptions o;
    o.range = 1;
    o.oldGetHeaders = false;
    return o;
}

} // namespace

TEST(CheckOverPop3, UnchangedMailboxSendsNothingButUidl)
{
    ServerScript s;
    for (const char* id : {"a", "b"}) {
        auto* m = new MessageRecord;
        m->UID = id;
        m->headersOnly = false;
        s.account.Box().Add(m);
    }
    s.account.Box().MarkCheckSucceeded(Now());
    s.Uidl({"b", "a"}).Quit();
    s.server.Start();

    ClearErrorList();
    const CheckAccountResult r = CheckAccount(s.account, s.Run(), Whole());
    ASSERT_TRUE(s.server.WaitDone());
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.completed);
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(s.Commands(), (QStringList{"CAPA", "USER bob", "PASS secret", "UIDL", "QUIT"}));
    EXPECT_TRUE(ErrorListEmpty());
}

TEST(CheckOverPop3, IdTooLongForTheMailboxFileMakesTheListUnusable)
{
    // Kept, it would come back cut after a restart and its message would be
    // fetched as new every time; the check stops before touching anything.
    ServerScript s;
    auto* known = new MessageRecord;
    known->UID = "a";
    known->headersOnly = false;
    s.account.Box().Add(known);
    s.account.Box().MarkCheckSucceeded(Now());
    s.Uidl({"a", QByteArray(70000, 'x')});
    s.server.Start();

    ClearErrorList();
    const CheckAccountResult r = CheckAccount(s.account, s.Run(), Whole());
    ASSERT_TRUE(s.server.WaitDone());
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(s.Commands(), (QStringList{"CAPA", "USER bob", "PASS secret", "UIDL"}));
    ASSERT_EQ(s.account.Box().Count(), 1);
    EXPECT_EQ(s.account.Box().At(0), known);
    const QStringList errors = ErrorList();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("Could not retrieve mailbox message list (UIDL)"))
        << errors[0].toStdString();
}

// Whole when small, headers only when too big: both decoded.
TEST(CheckOverPop3, NewMessagesAreDecodedWholeOrAsHeadersBySize)
{
    ServerScript s;
    s.Uidl({"m1", "m3"})
        .Reply("LIST 1", "+OK 1 300")
        .Reply("RETR 1", "+OK",
               {"From: =?UTF-8?Q?J=C3=BCrgen?= <j@example.org>", "Subject: =?UTF-8?B?w4RwZmVs?=",
                "Date: Tue, 2 Jan 2024 10:00:00 +0000", "", "..dotted body"},
               true)
        .Reply("LIST 2", "+OK 2 99999999")
        .Reply("TOP 2 0", "+OK", Headers("plain", "Wed, 3 Jan 2024 10:00:00 +0000"), true)
        .Quit();
    s.server.Start();

    ClearErrorList();
    CheckOptions o;
    o.range = 2;
    o.oldGetHeaders = false;
    const CheckAccountResult r = CheckAccount(s.account, s.Run(), o);
    ASSERT_TRUE(s.server.WaitDone());
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.added, 2);
    EXPECT_TRUE(ErrorListEmpty());
    const Mailbox& mb = s.account.Box();
    ASSERT_EQ(mb.Count(), 2);
    EXPECT_EQ(mb.At(0)->UID, "m1");
    EXPECT_EQ(mb.At(0)->Subject(), QString::fromUtf8("Äpfel"));
    EXPECT_EQ(mb.At(0)->FromName(), QString::fromUtf8("Jürgen"));
    EXPECT_TRUE(mb.At(0)->raw.contains("\r\n.dotted body\r\n"));
    EXPECT_EQ(mb.At(0)->size, 300);
    EXPECT_FALSE(mb.At(0)->headersOnly);
    EXPECT_EQ(mb.At(1)->UID, "m3");
    EXPECT_EQ(mb.At(1)->Subject(), "plain");
    EXPECT_TRUE(mb.At(1)->headersOnly);
    EXPECT_EQ(mb.At(1)->serverNumber, 2);
}

TEST(CheckOverPop3, SilentServerEndsTheCheckKeepingWhatArrived)
{
    ServerScript s;
    s.Uidl({"m1", "m2"})
        .Reply("LIST 1", "+OK 1 300")
        .Reply("RETR 1", "+OK", Headers("one", "Tue, 2 Jan 2024 10:00:00 +0000"), true)
        .Reply("LIST 2", "+OK 2 300");
    s.server.Expect("RETR 2").Stall(-1);
    s.server.Start();

    ClearErrorList();
    const CheckAccountResult r = CheckAccount(s.account, s.Run(1), Whole());
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(r.interrupted);
    ASSERT_EQ(s.account.Box().Count(), 1);
    const QStringList errors = ErrorList();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("ConnectTimedOut")) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains("Remote host had not replied")) << errors[0].toStdString();
    // Stale mailbox, logged in, a fresh record: shown, next check re-reads.
    EXPECT_TRUE(s.account.Box().CheckFailed());
    EXPECT_FALSE(s.account.Box().Stale());
}

// A failed check marks the account with its error line until a check of it
// completes; a check the user interrupted says nothing about the account.
TEST(CheckOverPop3, AFailedCheckMarksTheAccountUntilOneCompletes)
{
    enum class Ends { Fails, Interrupted, Completes };
    const struct
    {
        const char* name;
        Ends ends;
        bool markedBefore;
        bool markedAfter;
    } cases[] = {
        {"failure marks", Ends::Fails, false, true},
        {"interrupt keeps the mark", Ends::Interrupted, true, true},
        {"interrupt marks nothing", Ends::Interrupted, false, false},
        {"success ends the mark", Ends::Completes, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerScript s;
        if (c.markedBefore)
            s.account.SetAttention(MailAccount::Attention::CheckFailed, "earlier error");
        switch (c.ends) {
        case Ends::Fails:
            s.Uidl({QByteArray(70000, 'x')});
            break;
        case Ends::Interrupted:
            s.Uidl({"m1"}).Reply("LIST 1", "+OK 1 300");
            s.server.Expect("RETR 1").Call([&] { s.client.RequestInterrupt(); }).Stall(-1);
            break;
        case Ends::Completes:
            s.Uidl({}).Quit();
            break;
        }
        s.server.Start();
        ClearErrorList();
        const CheckAccountResult r = CheckAccount(s.account, s.Run(30), Whole());
        EXPECT_EQ(r.completed, c.ends == Ends::Completes);
        EXPECT_EQ(r.interrupted, c.ends == Ends::Interrupted);
        EXPECT_EQ(s.account.AttentionState(), c.markedAfter
                                                  ? MailAccount::Attention::CheckFailed
                                                  : MailAccount::Attention::None);
        if (c.ends == Ends::Fails) {
            ASSERT_EQ(ErrorList().size(), 1);
            EXPECT_EQ(s.account.AttentionText(), ErrorList().first());
            EXPECT_TRUE(s.account.AttentionText().contains("Could not retrieve mailbox message list"))
                << s.account.AttentionText().toStdString();
        } else {
            // An interrupt leaves no error line and keeps nothing half-read.
            EXPECT_TRUE(ErrorListEmpty()) << ErrorList().join('\n').toStdString();
            EXPECT_EQ(s.account.Box().Count(), 0);
            EXPECT_EQ(s.account.AttentionText(), c.markedAfter ? "earlier error" : "");
        }
    }
}

namespace {

// The start of a check of m1..m3 on a pipelining server: the sizes from one
// listing, then all three RETR before the first reply.
void PipelinedStart(ServerScript& s)
{
    s.Uidl({"m1", "m2", "m3"}).Reply("LIST", "+OK 3 messages", {"1 300", "2 200", "3 400"}, true);
    s.server.Expect("RETR 1").Expect("RETR 2").Expect("RETR 3");
}

CheckOptions WholeWithSizeList()
{
    CheckOptions o = Whole();
    o.sizeListFrom = 1;
    return o;
}

QByteArray Reply(const QByteArray& subject)
{
    return "+OK\r\nSubject: " + subject +
           "\r\nDate: Tue, 2 Jan 2024 10:00:00 +0000\r\n\r\nbody\r\n.\r\n";
}

} // namespace

namespace {

// A multipart message with a raw KOI8-R subject and sender name, whose
// charset only its text part names, and one attachment.
QByteArray RawMultipart(const QByteArray& dateLine)
{
    return "From: \xE9\xD7\xC1\xCE <ivan@example.org>\r\n"
           "Subject: \xF0\xD2\xC9\xD7\xC5\xD4\r\n" +
           dateLine +
           "Disposition-Notification-To: <ivan@example.org>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"xx\"\r\n\r\n"
           "--xx\r\nContent-Type: text/plain; charset=koi8-r\r\n\r\nbody\r\n"
           "--xx\r\nContent-Type: application/pdf\r\n"
           "Content-Disposition: attachment; filename=\"a.pdf\"\r\n\r\nJVBERi0=\r\n"
           "--xx--\r\n";
}

} // namespace

// Whole messages keep only their header parse from the check; the attachment
// count and the text part charset come from the parts when first asked, on
// both the reading thread and the helper threads of a pipelined check.
TEST(CheckOverPop3, WholeMessagePartsAreReadWhenFirstAsked)
{
    for (const bool pipelining : {false, true}) {
        SCOPED_TRACE(pipelining ? "pipelined" : "one by one");
        ServerScript s(pipelining);
        s.Uidl({"m1", "m2"});
        if (pipelining) {
            s.Reply("LIST", "+OK 2 messages", {"1 300", "2 300"}, true);
            s.server.Expect("RETR 1").Expect("RETR 2");
        } else {
            s.server.Expect("LIST 1").SendLine("+OK 1 300").Expect("RETR 1");
        }
        // A recent message is saved whole, so nothing needs its parts yet.
        const QByteArray dated = RawMultipart(
            "Date: " + QDateTime::currentDateTimeUtc().toString(Qt::RFC2822Date).toLatin1() +
            "\r\n");
        s.server.Send("+OK\r\n" + dated + ".\r\n");
        if (!pipelining)
            s.server.Expect("LIST 2").SendLine("+OK 2 300").Expect("RETR 2");
        // Without a date the message is old: an old whole message is saved as
        // its header block only, and the mailbox file counts it when writing.
        s.server.Send("+OK\r\n" + RawMultipart({}) + ".\r\n");
        s.Quit();
        s.server.Start();

        ClearErrorList();
        const CheckAccountResult r =
            CheckAccount(s.account, s.Run(), pipelining ? WholeWithSizeList() : Whole());
        ASSERT_TRUE(s.server.WaitDone());
        ASSERT_TRUE(r.completed) << ErrorList().join('\n').toStdString();
        Mailbox& mb = s.account.Box();
        ASSERT_EQ(mb.Count(), 2);
        MessageRecord* m = mb.At(0);
        // What the headers give is set by the check itself.
        EXPECT_NE(m->Date, 0);
        EXPECT_EQ(m->receiptState, 1);
        EXPECT_FALSE(m->headersOnly);
        EXPECT_EQ(m->raw, dated);
        EXPECT_EQ(m->attachmentCount, -1);
        EXPECT_EQ(m->Subject(), QString::fromUtf8("Привет"));
        EXPECT_EQ(m->FromName(), QString::fromUtf8("Иван"));
        EXPECT_EQ(m->HeaderCharset(vm::HeaderKind::Subject, 0), 13);
        EXPECT_EQ(m->VisibleAttachmentCount(), 1);
        EXPECT_EQ(m->attachmentCount, 1);

        MessageRecord* old = mb.At(1);
        EXPECT_EQ(old->Date, 0);
        EXPECT_EQ(old->attachmentCount, -1);
        EXPECT_EQ(old->Subject(), QString::fromUtf8("Привет"));
    }
}

TEST(CheckOverPop3, ConnectionDroppedInABatchKeepsWhatArrived)
{
    ServerScript s(true);
    PipelinedStart(s);
    s.server.Send(Reply("one") + "+OK\r\nSubject: two\r\n").Drop();
    s.server.Start();

    ClearErrorList();
    const CheckAccountResult r = CheckAccount(s.account, s.Run(), WholeWithSizeList());
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(r.interrupted);
    const Mailbox& mb = s.account.Box();
    ASSERT_EQ(mb.Count(), 1);
    EXPECT_EQ(mb.At(0)->Subject(), "one");
    const QStringList errors = ErrorList();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("ConnectionClosed") ||
                errors[0].contains("SocketError"))
        << errors[0].toStdString();
    EXPECT_TRUE(mb.CheckFailed());
    EXPECT_FALSE(mb.Stale());
}

TEST(CheckOverPop3, RefusedSizeListFallsBackToOneListPerMessage)
{
    ServerScript s;
    s.Uidl({"m1", "m2"})
        .Reply("LIST", "-ERR not now")
        .Reply("LIST 1", "+OK 1 300")
        .Reply("RETR 1", "+OK", Headers("one", "Tue, 2 Jan 2024 10:00:00 +0000"), true)
        .Reply("LIST 2", "+OK 2 200")
        .Reply("RETR 2", "+OK", Headers("two", "Tue, 2 Jan 2024 10:00:00 +0000"), true)
        .Quit();
    s.server.Start();

    ClearErrorList();
    const CheckAccountResult r = CheckAccount(s.account, s.Run(), WholeWithSizeList());
    ASSERT_TRUE(s.server.WaitDone());
    EXPECT_TRUE(r.completed);
    ASSERT_EQ(s.account.Box().Count(), 2);
    EXPECT_EQ(s.account.Box().At(1)->size, 200);
    EXPECT_EQ(s.account.Box().At(1)->Subject(), "two");
}

TEST(CheckOverPop3, CancelledPasswordPromptStartsNothing)
{
    struct Cancel : PasswordPrompt
    {
        int asked = 0;
        PasswordAnswer Ask(const PasswordRequest&) override
        {
            ++asked;
            return {};
        }
    } prompt;
    EnsureApp();
    MailAccount account;
    account.Login() = "bob";
    account.Server() = "127.0.0.1";
    account.Pop3Port() = 1; // nothing may connect
    Pop3Client client;
    OperationRun run;
    run.client = &client;
    run.prompt = &prompt;
    const CheckAccountResult r = CheckAccount(account, run, Whole());
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(r.changed);
}

TEST(CheckOverPop3, EndlessRepliesEndTheCheckAndLoseNothingStored)
{
    // A reply past its bound ends the connection (its rest was never read),
    // not just the one message: a stored record is not dropped as it would
    // be for a "-ERR", and what the mailbox held stays as it was.
    struct Case
    {
        const char* name;
        std::function<void(ServerScript&)> script;
    };
    const Case cases[] = {
        {"UIDL", [](ServerScript& s) { s.server.Expect("UIDL").SendLine("+OK").Endless("1 a\r\n"); }},
        {"RETR of the stored record",
         [](ServerScript& s) {
             s.Uidl({"a", "new"}).server.Expect("RETR 1").SendLine("+OK").Endless("body\r\n");
         }},
        {"endless line in a new message",
         [](ServerScript& s) {
             s.Uidl({"a", "new"})
                 .Reply("RETR 1", "+OK", Headers("a", "Tue, 2 Jan 2024 10:00:00 +0000"), true)
                 .Reply("LIST 2", "+OK 2 300")
                 .server.Expect("RETR 2")
                 .Send("+OK\r\nSubject: ")
                 .Endless("x");
         }},
    };
    for (const Case& c : cases) {
        ServerScript s;
        auto* stored = new MessageRecord;
        stored->UID = "a";
        stored->size = 300;
        stored->headersOnly = true;
        s.account.Box().Add(stored);
        c.script(s);
        s.server.Start();

        ClearErrorList();
        const CheckAccountResult r = CheckAccount(s.account, s.Run(), Whole());
        ASSERT_TRUE(s.server.WaitDone()) << c.name;
        EXPECT_FALSE(r.completed) << c.name;
        const QStringList errors = ErrorList();
        ASSERT_EQ(errors.size(), 1) << c.name;
        EXPECT_TRUE(errors[0].contains("ReplyTooLarge")) << errors[0].toStdString();
        const Mailbox& mb = s.account.Box();
        ASSERT_EQ(mb.Count(), 1) << c.name;
        EXPECT_EQ(mb.At(0)->UID, "a") << c.name;
        // Fetched whole before the endless reply, or kept as it was.
        EXPECT_EQ(mb.At(0)->headersOnly, QByteArray(c.name) != "endless line in a new message")
            << c.name;
    }
}

TEST(RetrieveOverPop3, EndlessMessageIsBoundByItsStoredSize)
{
    ServerScript s;
    auto* m = new MessageRecord;
    m->UID = "a";
    m->size = 42;
    s.account.Box().Add(m);
    // 42 bytes stored: the text is bound at about 1 MiB. The server falls
    // silent after 8 MiB, which a client allowing the 64 MiB of a message of
    // unknown size would wait out until the silence limit.
    s.Uidl({"a"}).server.Expect("RETR 1").SendLine("+OK").Endless("body\r\n", 8 << 20);
    s.server.Start();
    ClearErrorList();
    const RetrieveResult r =
        RetrieveWholeMessages(s.account, {m}, OperationView::MainWindow, s.Run(3));
    ASSERT_TRUE(s.server.WaitDone());
    EXPECT_FALSE(r.completed);
    ASSERT_EQ(ErrorList().size(), 1);
    EXPECT_TRUE(ErrorList()[0].contains("ReplyTooLarge")) << ErrorList()[0].toStdString();
    ASSERT_EQ(s.account.Box().Count(), 1);
    EXPECT_EQ(s.account.Box().At(0), m);
    EXPECT_TRUE(m->headersOnly);
}

TEST(CheckOverPop3, Utf8ServerIsAskedForUtf8ModeBeforeTheLogin)
{
    // A server announcing "UTF8 USER" holds back a message whose header
    // carries raw UTF-8 unless UTF-8 mode is on; the header is decoded as is.
    EnsureApp();
    MailAccount account;
    account.Login() = "bob";
    account.Password() = "secret";
    account.Server() = "127.0.0.1";
    Pop3Client client;
    FakeServer server;
    account.Pop3Port() = server.Port();
    server.SendLine("+OK ready")
        .Expect("CAPA")
        .Send("+OK\r\nTOP\r\nUIDL\r\nUSER\r\nUTF8 USER\r\n.\r\n")
        .Expect("UTF8")
        .SendLine("+OK UTF8 enabled")
        .Expect("USER bob")
        .SendLine("+OK")
        .Expect("PASS secret")
        .SendLine("+OK logged in")
        .Expect("UIDL")
        .Send("+OK\r\n1 u1\r\n.\r\n")
        .Expect("LIST 1")
        .SendLine("+OK 1 120")
        .Expect("RETR 1")
        .Send("+OK\r\nFrom: J\xc3\xbcrgen <j@example.org>\r\nSubject: \xc3\x84pfel\r\n"
              "Date: Tue, 2 Jan 2024 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
              "Content-Type: text/plain; charset=UTF-8\r\n\r\nbody\r\n.\r\n")
        .Expect("QUIT")
        .SendLine("+OK bye");
    server.Start();

    ClearErrorList();
    OperationRun run;
    run.client = &client;
    run.timeoutSeconds = 10;
    const CheckAccountResult r = CheckAccount(account, run, Whole());
    ASSERT_TRUE(server.WaitDone());
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(ErrorListEmpty()) << ErrorList().join('\n').toStdString();
    ASSERT_EQ(account.Box().Count(), 1);
    EXPECT_EQ(account.Box().At(0)->Subject(), QString::fromUtf8("Äpfel"));
    EXPECT_EQ(account.Box().At(0)->FromName(), QString::fromUtf8("Jürgen"));
}
