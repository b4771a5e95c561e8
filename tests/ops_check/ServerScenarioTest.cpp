// The mail check, removal and whole retrieval through the program's POP3
// client, each scenario written once and run against both kinds of server:
// the scripted fake server (which also holds the client to the exact lines of
// the scenario's transcript) and a real Dovecot, where another client
// deletes messages between the connections or while the operation runs.

#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <tuple>
#include <vector>

#include "model/MailAccount.h"
#include "net/PasswordPrompt.h"
#include "ops/CheckAccount.h"
#include "ops/CheckPop3Session.h"
#include "ops/ErrorList.h"
#include "ops/RemovalOperation.h"
#include "ops/RetrieveWhole.h"
#include "ops/StatusChannel.h"
#include "ops_check/Printers.h"
#include "pop3/Pop3Client.h"
#include "support/DovecotFixture.h"
#include "support/FakeServer.h"

using namespace vm;
using vm::test::DovecotFixture;
using vm::test::FakeServer;

namespace {

enum class ServerKind { Scripted, Dovecot };

void PrintTo(ServerKind kind, std::ostream* os)
{
    *os << (kind == ServerKind::Scripted ? "scripted fake server" : "Dovecot");
}

// Message i of the server: its subject and body name it; the even ones ask
// for a receipt.
QByteArray ServerMessage(int i)
{
    const QByteArray n = QByteArray::number(i);
    return "From: Sender <s@example.org>\r\nSubject: message " + n + "\r\n" +
           (i % 2 == 0 ? "Disposition-Notification-To: s@example.org\r\n" : "") +
           "Date: Tue, 2 Jan 2024 10:00:00 +0000\r\n\r\nbody " + n + "\r\n";
}

// The scripted server's reply to "RETR" for message i.
QByteArray RetrReply(int i)
{
    return "+OK\r\n" + ServerMessage(i) + ".\r\n";
}

// A size listing line: message i is number n.
QByteArray ListLine(int number, int message)
{
    return QByteArray::number(number) + ' ' + QByteArray::number(ServerMessage(message).size());
}

// One scenario's server. The messages 0..n-1 are on it; messages another
// client deletes (DeleteNow) are gone for every later session. For the
// scripted kind each session is a fake server of its own, and the scenario
// gives its lines after UIDL; Dovecot answers by itself.
class ScenarioServer
{
public:
    explicit ScenarioServer(ServerKind kind) : kind_(kind) {}

    // False (with the reason in Skip()) when Dovecot cannot run here. The
    // scripted server announces PIPELINING when asked; Dovecot always does.
    bool Fill(int count, const QList<int>& deleted, bool pipelining = false)
    {
        pipelining_ = pipelining;
        if (kind_ == ServerKind::Scripted) {
            for (int i = 0; i < count; ++i)
                ids_.append("uid-" + QByteArray::number(i));
            remaining_ = ids_;
        } else {
            if (!DovecotFixture::Available()) {
                skip_ = "dovecot is not installed";
                return false;
            }
            dovecot_ = std::make_unique<DovecotFixture>();
            if (!dovecot_->Start()) {
                skip_ = dovecot_->LastError();
                return false;
            }
            dovecot_->AddUser("bob", "secret");
            for (int i = 0; i < count; ++i)
                dovecot_->Deliver("bob", ServerMessage(i));
            ids_ = Uids();
        }
        DeleteNow(deleted);
        NextSession();
        return true;
    }
    QString Skip() const { return skip_; }

    // Another client deletes these messages now.
    void DeleteNow(const QList<int>& messages)
    {
        if (messages.isEmpty())
            return;
        if (kind_ == ServerKind::Scripted) {
            for (int i : messages)
                remaining_.removeOne(ids_[i]);
            return;
        }
        Pop3Client other;
        const QList<QByteArray> listed = LogIn(other);
        for (int i : messages)
            other.SendCmd("DELE " + QByteArray::number(listed.indexOf(ids_[i]) + 1));
        other.Disconnect();
    }
    // Message i (the next number) arrives.
    void Deliver(int i)
    {
        if (kind_ == ServerKind::Scripted) {
            ids_.append("uid-" + QByteArray::number(i));
            remaining_.append(ids_.last());
            return;
        }
        dovecot_->Deliver("bob", ServerMessage(i));
        ids_.append(Uids().last());
    }
    // The next connection: for the scripted kind a new fake server that
    // logs in and lists the messages still there.
    void NextSession()
    {
        if (kind_ != ServerKind::Scripted) {
            // A script that never runs takes the scenario's scripted lines.
            if (scripts_.empty())
                scripts_.push_back(std::make_unique<FakeServer>());
            return;
        }
        scripts_.push_back(std::make_unique<FakeServer>());
        scripts_.back()
            ->Pop3Login("bob", "secret",
                        pipelining_ ? QList<QByteArray>{"TOP", "UIDL", "PIPELINING", "USER"}
                                    : QList<QByteArray>{})
            .Pop3Uidl(remaining_);
    }
    // The script of the current session (played by the scripted kind only).
    FakeServer& Script() { return *scripts_.back(); }
    // The id of message i, whether or not it is still on the server.
    QByteArray Id(int i) const { return ids_[i]; }

    void Start(MailAccount& account)
    {
        account.Login() = "bob";
        account.Password() = "secret";
        account.Server() = "127.0.0.1";
        if (kind_ == ServerKind::Scripted) {
            Script().Start();
            account.Pop3Port() = Script().Port();
        } else {
            account.Pop3Port() = dovecot_->Pop3Port();
        }
    }
    // After the operation: the ids the server still holds. The scripted
    // server drops the messages marked with DELE when the session ended with
    // QUIT, as a POP3 server commits them.
    QList<QByteArray> After()
    {
        if (kind_ == ServerKind::Dovecot)
            return Uids();
        EXPECT_TRUE(Script().WaitDone());
        const QList<QByteArray> sent = Script().Received();
        if (!sent.contains("QUIT"))
            return remaining_;
        QList<QByteArray> kept;
        for (int n = 1; n <= remaining_.size(); ++n)
            if (!sent.contains("DELE " + QByteArray::number(n)))
                kept.append(remaining_[n - 1]);
        return kept;
    }
    // The lines the client sent in the current session (the scripted
    // server only).
    QList<QByteArray> Sent() const { return scripts_.back()->Received(); }

private:
    // Logs another client in to Dovecot; the ids it lists.
    QList<QByteArray> LogIn(Pop3Client& c) const
    {
        c.Host = "127.0.0.1";
        c.Port = dovecot_->Pop3Port();
        c.Username = "bob";
        c.Password = "secret";
        c.Connect();
        c.Login();
        QList<QByteArray> ids;
        c.FetchUidList(ids);
        return ids;
    }
    QList<QByteArray> Uids() const
    {
        Pop3Client c;
        const QList<QByteArray> ids = LogIn(c);
        c.Disconnect();
        return ids;
    }

    ServerKind kind_;
    bool pipelining_ = false;
    std::vector<std::unique_ptr<FakeServer>> scripts_;
    std::unique_ptr<DovecotFixture> dovecot_;
    QList<QByteArray> ids_;
    QList<QByteArray> remaining_;
    QString skip_;
};

// The scripted lines of new messages fetched whole on a pipelining server,
// few enough that every command goes out before the first reply: each size,
// then each message (those in gone answer "-ERR"). messages[k] has the
// number first + k.
void ScriptPipelinedSizes(FakeServer& s, const QList<int>& messages, const QList<int>& gone = {},
                          int first = 1)
{
    for (int k = 0; k < messages.size(); ++k)
        s.Expect("LIST " + QByteArray::number(first + k));
    for (int k = 0; k < messages.size(); ++k)
        s.SendLine("+OK " + ListLine(first + k, messages[k]));
    for (int k = 0; k < messages.size(); ++k)
        s.Expect("RETR " + QByteArray::number(first + k));
    for (int k = 0; k < messages.size(); ++k)
        s.Send(gone.contains(messages[k]) ? "-ERR no such message\r\n" : RetrReply(messages[k]));
}

// A first check of messages 0..count-1 on a pipelining server: the sizes
// from one listing, then 32 "RETR" sent ahead, and one more each time the
// client has read a reply. The server answers the first `replies` messages
// (those in gone with "-ERR") and then expects nothing more of the run.
void ScriptPipelinedRun(FakeServer& s, int count, int replies, const QList<int>& gone = {})
{
    constexpr int kAhead = 32; // the client's pipelining window
    s.Expect("LIST").SendLine("+OK");
    for (int i = 0; i < count; ++i)
        s.SendLine(ListLine(i + 1, i));
    s.SendLine(".");
    for (int n = 1; n <= std::min(count, kAhead); ++n)
        s.Expect("RETR " + QByteArray::number(n));
    for (int i = 0; i < replies; ++i) {
        s.Send(gone.contains(i) ? "-ERR no such message\r\n" : RetrReply(i));
        if (i + 1 + kAhead <= count && i + 1 < replies)
            s.Expect("RETR " + QByteArray::number(i + 1 + kAhead));
    }
}

// The fixture of every scenario: one server of the given kind, an account
// and the client the operation runs on.
class ScenarioFixture
{
protected:
    explicit ScenarioFixture(ServerKind kind) : server(kind), kind_(kind)
    {
        vm::test::EnsureCoreApp();
        ClearErrorList();
        QObject::connect(&statusChannel, &StatusChannel::statusChanged,
                         [this](const QString& text) { statuses.append(text); });
    }

    // A record of message i, holding only its headers unless whole.
    MessageRecord* Record(int i, bool whole = true)
    {
        auto* m = new MessageRecord;
        m->UID = server.Id(i);
        m->headersOnly = !whole;
        account.Box().Add(m);
        return m;
    }
    OperationRun Operation()
    {
        OperationRun r;
        r.client = &client;
        r.status = &statusChannel;
        r.timeoutSeconds = 20;
        return r;
    }
    // The check on this thread, the way its worker runs it; at() sees each
    // status text when it is said, before the step it names.
    CheckOutcome CheckHere(const CheckOptions& options,
                           const std::function<void(const QString&)>& at)
    {
        server.Start(account);
        if (!ConfigurePop3Client(client, account, 20, PasswordPrompter()))
            ADD_FAILURE() << "the client could not be set up";
        client.Transport().SetReadTimeoutMs(20000); // a stuck script fails the test
        Pop3ClientSession session(client, account);
        return RunCheck(session, account, options, at);
    }
    bool Scripted() const { return kind_ == ServerKind::Scripted; }

    ScenarioServer server;
    MailAccount account;
    Pop3Client client;
    StatusChannel statusChannel;
    QStringList statuses; // the texts of the operation's status channel

private:
    ServerKind kind_;
};

class ServerScenario : public ::testing::TestWithParam<ServerKind>, protected ScenarioFixture
{
protected:
    ServerScenario() : ScenarioFixture(GetParam()) {}
};

// How a scenario reaches the server: a check on a pipelining server, a check
// one command at a time (the scripted server only: Dovecot always announces
// PIPELINING), or the details window's retrieval of its one record.
enum class Way { PipelinedCheck, OneByOneCheck, DetailsWindowRetrieval };

class ServerScenarioWay : public ::testing::TestWithParam<std::tuple<ServerKind, Way>>,
                          protected ScenarioFixture
{
protected:
    ServerScenarioWay() : ScenarioFixture(std::get<0>(GetParam())) {}
    Way TheWay() const { return std::get<1>(GetParam()); }
};

const char* const kWayNames[] = {"PipelinedCheck", "OneByOneCheck", "DetailsWindowRetrieval"};

void PrintTo(Way way, std::ostream* os)
{
    *os << kWayNames[int(way)];
}

std::string KindName(ServerKind kind)
{
    return kind == ServerKind::Scripted ? "ScriptedFakeServer" : "Dovecot";
}

std::string KindWayName(const ::testing::TestParamInfo<std::tuple<ServerKind, Way>>& info)
{
    return KindName(std::get<0>(info.param)) + "_" + kWayNames[int(std::get<1>(info.param))];
}

CheckOptions Whole()
{
    CheckOptions o;
    o.range = 1;
    o.oldGetHeaders = false;
    return o;
}

// Puts the scenario's messages on the server; skips the test when Dovecot
// cannot run here.
#define FILL_OR_SKIP(...)                                                                  \
    if (!server.Fill(__VA_ARGS__))                                                         \
    GTEST_SKIP() << server.Skip().toStdString()

} // namespace

// Another client deleted message 0, so every message moved up by one: the
// right message is deleted by its new number, the record of the gone one
// goes too (counted as missing), and the records leave only after QUIT.
TEST_P(ServerScenario, RenumberedMessagesDeleteTheRightOnes)
{
    FILL_OR_SKIP(4, {0});
    for (int i = 0; i < 4; ++i)
        Record(i);
    server.Script().Expect("DELE 2").SendLine("+OK").Expect("QUIT").SendLine("+OK");
    account.FriendlyName() = "Home";
    server.Start(account);

    Mailbox& mb = account.Box();
    const RemovalResult r = RemoveMessagesOnServer(account, {mb.At(0), nullptr, mb.At(2)},
                                                   OperationView::MainWindow, Operation());
    EXPECT_TRUE(r.completed) << ErrorList().join('\n').toStdString();
    EXPECT_EQ(r.missing, 1);
    EXPECT_EQ(r.removed.size(), 2);
    // The gone id is passed over, still counted in the progress.
    QCoreApplication::processEvents(); // the texts queued by the worker
    EXPECT_TRUE(
        statuses.contains("Marking messages to delete (account: Home) - Message 2 out of 2"))
        << statuses.join('\n').toStdString();
    EXPECT_EQ(server.After(), (QList<QByteArray>{server.Id(1), server.Id(3)}));
    ASSERT_EQ(mb.Count(), 2);
    EXPECT_EQ(mb.At(0)->UID, server.Id(1));
    EXPECT_EQ(mb.At(1)->UID, server.Id(3));
}

// A "-ERR" to a DELE after successful ones: no QUIT, so the server keeps
// every message, and every record stays. The last message is gone from the
// server; two records of the same message make the server refuse the second
// DELE of its number (already marked).
TEST_P(ServerScenario, ErrAfterSuccessfulDeletesKeepsEverything)
{
    FILL_OR_SKIP(4, {3});
    for (int i = 1; i < 4; ++i)
        Record(i);
    Record(2); // the twin
    server.Script().Expect("DELE 2").SendLine("+OK marked");
    server.Script().Expect("DELE 3").SendLine("+OK marked");
    server.Script().Expect("DELE 3").SendLine("-ERR locked");
    server.Script().ExpectAny(); // nothing more may come but the close
    server.Start(account);

    Mailbox& mb = account.Box();
    const RemovalResult r = RemoveMessagesOnServer(
        account, {mb.At(0), mb.At(1), mb.At(2), mb.At(3)}, OperationView::MainWindow, Operation());
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(server.After(), (QList<QByteArray>{server.Id(0), server.Id(1), server.Id(2)}));
    EXPECT_EQ(mb.Count(), 4);
    ASSERT_EQ(ErrorList().size(), 1);
    EXPECT_TRUE(ErrorList()[0].contains("Pop3ReplyError")) << ErrorList()[0].toStdString();
    if (Scripted()) {
        EXPECT_FALSE(server.Sent().contains("QUIT"));
        EXPECT_TRUE(ErrorList()[0].contains("locked")) << ErrorList()[0].toStdString();
    }
}

// Headers-only records are fetched whole and replace their records in
// place, keeping the stored size, the declined receipt and the read state;
// a record whose message another client deleted stays as it was.
TEST_P(ServerScenario, HeadersOnlyRecordIsFetchedWholeInPlace)
{
    FILL_OR_SKIP(3, {0});
    MessageRecord* gone = Record(0, false);
    MessageRecord* b = Record(1, false);
    b->size = 42;
    b->receiptState = 2;
    b->SetNew(false);
    server.Script().Expect("RETR 1").Send("+OK\r\n" + ServerMessage(1) + ".\r\n");
    server.Script().Expect("QUIT").SendLine("+OK");
    server.Start(account);

    const RetrieveResult r =
        RetrieveWholeMessages(account, {gone, b}, OperationView::MainWindow, Operation());
    EXPECT_TRUE(r.completed) << ErrorList().join('\n').toStdString();
    EXPECT_EQ(r.missing, (QList<QByteArray>{server.Id(0)}));
    ASSERT_EQ(r.retrieved.size(), 1);
    EXPECT_EQ(r.retrieved[0].index, 1);
    server.After();
    const Mailbox& mb = account.Box();
    EXPECT_EQ(mb.At(0), gone);
    EXPECT_TRUE(gone->headersOnly);
    const MessageRecord* now = mb.At(1);
    EXPECT_EQ(now, r.retrieved[0].newRecord);
    EXPECT_FALSE(now->headersOnly);
    EXPECT_EQ(now->UID, server.Id(1));
    EXPECT_EQ(now->size, 42);
    EXPECT_EQ(now->receiptState, 2); // declined before: kept
    EXPECT_FALSE(now->IsNew());
    EXPECT_EQ(now->Subject(), "message 1");
    EXPECT_TRUE(now->raw.contains("body 1"));

    // Only whole records: nothing starts.
    const RetrieveResult none = RetrieveWholeMessages(account, {mb.At(1)});
    EXPECT_TRUE(none.nothingToDo);
    EXPECT_FALSE(none.started);
}

// A message another client deletes after our UIDL disappears without an
// error: its "-ERR" drops only that message, new or known. The details
// window's retrieval of a record whose message is gone fetches nothing and
// does not complete, also without an error.
class GoneMessage : public ServerScenarioWay
{
};

TEST_P(GoneMessage, DisappearsWithoutAnError)
{
    const bool pipelined = TheWay() != Way::OneByOneCheck;

    if (TheWay() == Way::DetailsWindowRetrieval) {
        FILL_OR_SKIP(2, {0});
        MessageRecord* gone = Record(0, false);
        server.Script().Expect("QUIT").SendLine("+OK");
        server.Start(account);
        const RetrieveResult r =
            RetrieveWholeMessages(account, {gone}, OperationView::DetailsWindow, Operation());
        EXPECT_FALSE(r.completed);
        EXPECT_TRUE(ErrorListEmpty()) << ErrorList().join('\n').toStdString();
        EXPECT_EQ(r.missing, (QList<QByteArray>{server.Id(0)}));
        EXPECT_TRUE(r.retrieved.isEmpty());
        ASSERT_EQ(account.Box().Count(), 1);
        EXPECT_EQ(account.Box().At(0), gone);
        EXPECT_TRUE(gone->headersOnly);
        EXPECT_EQ(server.After(), (QList<QByteArray>{server.Id(1)}));
        return;
    }

    // Message 1 is a known headers-only record, fetched whole again; another
    // client deletes it and messages 2 and 3 when the check reaches message 2.
    FILL_OR_SKIP(5, {}, pipelined);
    Record(1, false);
    FakeServer& script = server.Script();
    const QByteArray gone = "-ERR no such message";
    if (pipelined) {
        script.Expect("LIST 1").Expect("RETR 2").Expect("LIST 3").Expect("LIST 4").Expect("LIST 5");
        script.SendLine("+OK " + ListLine(1, 0)).SendLine(gone);
        for (int i = 2; i < 5; ++i)
            script.SendLine("+OK " + ListLine(i + 1, i));
        script.Expect("RETR 1").Expect("RETR 3").Expect("RETR 4").Expect("RETR 5");
        script.Send(RetrReply(0)).SendLine(gone).SendLine(gone).Send(RetrReply(4));
    } else {
        // One at a time, the size of a new message may be refused too.
        script.Expect("LIST 1").SendLine("+OK " + ListLine(1, 0));
        script.Expect("RETR 1").Send(RetrReply(0));
        script.Expect("RETR 2").SendLine(gone);
        script.Expect("LIST 3").SendLine("+OK " + ListLine(3, 2));
        script.Expect("RETR 3").SendLine(gone);
        script.Expect("LIST 4").SendLine(gone);
        script.Expect("LIST 5").SendLine("+OK " + ListLine(5, 4));
        script.Expect("RETR 5").Send(RetrReply(4));
    }
    script.Expect("QUIT").SendLine("+OK");
    bool deleted = false;
    const CheckOutcome out = CheckHere(Whole(), [&](const QString& status) {
        if (!deleted && status.contains("message 2 out of 5")) {
            deleted = true;
            server.DeleteNow({1, 2, 3});
        }
    });
    EXPECT_TRUE(deleted);
    EXPECT_TRUE(out.completed);
    EXPECT_FALSE(out.error.has_value()) << out.error->message.toStdString();
    EXPECT_TRUE(out.changed);
    EXPECT_EQ(out.added, 2);
    const Mailbox& mb = account.Box();
    ASSERT_EQ(mb.Count(), 2);
    EXPECT_EQ(mb.At(0)->UID, server.Id(0));
    EXPECT_EQ(mb.At(0)->Subject(), "message 0");
    EXPECT_EQ(mb.At(1)->UID, server.Id(4));
    EXPECT_EQ(mb.At(1)->Subject(), "message 4");
    EXPECT_EQ(mb.At(1)->serverNumber, 5);
    EXPECT_EQ(server.After(), (QList<QByteArray>{server.Id(0), server.Id(4)}));
}

// Messages another client deleted since the last check disappear at the
// next one, which also brings what arrived meanwhile and leaves the known
// records as they were; a check after that, with nothing changed, sends
// nothing but UIDL.
TEST_P(ServerScenario, MessagesDeletedByAnotherClientDisappearAtTheNextCheck)
{
    FILL_OR_SKIP(5, {}, true);
    ScriptPipelinedSizes(server.Script(), {0, 1, 2, 3, 4});
    server.Script().Expect("QUIT").SendLine("+OK");
    server.Start(account);
    ASSERT_TRUE(CheckAccount(account, Operation(), Whole()).completed)
        << ErrorList().join('\n').toStdString();
    ASSERT_EQ(account.Box().Count(), 5);
    EXPECT_EQ(account.Box().At(0)->Subject(), "message 0");
    MessageRecord* const kept = account.Box().At(2);
    kept->SetNew(false);

    server.DeleteNow({1, 3});
    server.Deliver(5);
    server.NextSession();
    ScriptPipelinedSizes(server.Script(), {5}, {}, 4); // the fourth now
    server.Script().Expect("QUIT").SendLine("+OK");
    server.Start(account);
    const CheckAccountResult r = CheckAccount(account, Operation(), Whole());
    EXPECT_TRUE(r.completed) << ErrorList().join('\n').toStdString();
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.added, 1);
    const Mailbox& mb = account.Box();
    ASSERT_EQ(mb.Count(), 4);
    EXPECT_EQ(mb.FindByUIDL(server.Id(1)), nullptr);
    EXPECT_EQ(mb.FindByUIDL(server.Id(3)), nullptr);
    // The known records keep their place and marks, renumbered, never
    // fetched again.
    EXPECT_EQ(mb.At(1), kept);
    EXPECT_EQ(kept->UID, server.Id(2));
    EXPECT_EQ(kept->serverNumber, 2);
    EXPECT_FALSE(kept->IsNew());
    EXPECT_EQ(mb.At(2)->UID, server.Id(4));
    EXPECT_EQ(mb.At(2)->serverNumber, 3);
    EXPECT_EQ(mb.At(3)->UID, server.Id(5));
    EXPECT_EQ(mb.At(3)->Subject(), "message 5");

    server.NextSession();
    server.Script().Expect("QUIT").SendLine("+OK");
    server.Start(account);
    const CheckAccountResult again = CheckAccount(account, Operation(), Whole());
    EXPECT_TRUE(again.completed) << ErrorList().join('\n').toStdString();
    EXPECT_FALSE(again.changed);
    EXPECT_EQ(server.After().size(), 4);
}

// More messages than the pipelining window, another client expunging two
// of them after our size listing: the rest arrive whole in server order,
// parsed like any other, and the two disappear without an error.
TEST_P(ServerScenario, PipelinedFirstCheckKeepsServerOrderAndDropsExpungedMessages)
{
    FILL_OR_SKIP(45, {}, true);
    ScriptPipelinedRun(server.Script(), 45, 45, {9, 39});
    server.Script().Expect("QUIT").SendLine("+OK");
    bool deleted = false;
    const CheckOutcome out = CheckHere(Whole(), [&](const QString& status) {
        if (!deleted && status.contains("message 1 out of 45")) {
            deleted = true;
            server.DeleteNow({9, 39});
        }
    });
    EXPECT_TRUE(client.SupportsPipelining());
    EXPECT_TRUE(deleted);
    EXPECT_TRUE(out.completed);
    EXPECT_FALSE(out.error.has_value()) << out.error->message.toStdString();
    EXPECT_EQ(out.added, 43);
    Mailbox& mb = account.Box();
    ASSERT_EQ(mb.Count(), 43);
    int at = 0;
    for (int i = 0; i < 45; ++i) {
        if (i == 9 || i == 39)
            continue;
        SCOPED_TRACE(i);
        MessageRecord* m = mb.At(at++);
        EXPECT_EQ(m->UID, server.Id(i));
        EXPECT_EQ(m->Subject(), QStringLiteral("message %1").arg(i));
        EXPECT_EQ(m->serverNumber, i + 1);
        EXPECT_FALSE(m->headersOnly);
        EXPECT_TRUE(m->raw.endsWith("body " + QByteArray::number(i) + "\r\n"));
        EXPECT_EQ(m->size, ServerMessage(i).size());
        EXPECT_DOUBLE_EQ(m->Date, 45293.0 + 10.0 / 24) << "2 Jan 2024 10:00 UTC";
        EXPECT_EQ(m->receiptState, i % 2 == 0 ? 1 : 0);
        EXPECT_EQ(m->VisibleAttachmentCount(), 0);
    }
}

// The user interrupts a check when it reaches message 40 of 60: the check
// ends without an error, keeping an unbroken run of what had arrived (on a
// pipelining server message 40 starts once the reply of message 8 was read;
// replies to the commands sent ahead of it may be read or not), and the
// server keeps every message.
class InterruptedCheck : public ServerScenarioWay
{
};

TEST_P(InterruptedCheck, KeepsAnUnbrokenRunWithoutAnError)
{
    const bool pipelined = TheWay() == Way::PipelinedCheck;
    FILL_OR_SKIP(60, {}, pipelined);
    if (pipelined) {
        ScriptPipelinedRun(server.Script(), 60, 8);
    } else {
        server.Script().Expect("LIST").SendLine("+OK");
        for (int i = 0; i < 60; ++i)
            server.Script().SendLine(ListLine(i + 1, i));
        server.Script().SendLine(".");
        for (int i = 0; i < 39; ++i)
            server.Script().Expect("RETR " + QByteArray::number(i + 1)).Send(RetrReply(i));
    }
    server.Script().ExpectClose();
    const CheckOutcome out = CheckHere(Whole(), [&](const QString& status) {
        if (status.contains("message 40 out of 60"))
            client.RequestInterrupt();
    });
    EXPECT_FALSE(out.completed);
    EXPECT_TRUE(out.interrupted);
    EXPECT_FALSE(out.error.has_value()) << out.error->message.toStdString();
    const Mailbox& mb = account.Box();
    if (pipelined) {
        // Replies already read ahead into the buffer may still enter; the
        // scripted server sends no more than those of messages 0..7.
        EXPECT_GE(mb.Count(), 8);
        EXPECT_LT(mb.Count(), 40);
        if (Scripted()) {
            EXPECT_EQ(mb.Count(), 8);
        }
    } else {
        EXPECT_EQ(mb.Count(), 39);
    }
    for (int i = 0; i < mb.Count(); ++i)
        EXPECT_EQ(mb.At(i)->Subject(), QStringLiteral("message %1").arg(i));
    EXPECT_TRUE(mb.CheckFailed());
    EXPECT_EQ(server.After().size(), 60);
}

INSTANTIATE_TEST_SUITE_P(EachServer, ServerScenario,
                         ::testing::Values(ServerKind::Scripted, ServerKind::Dovecot),
                         [](const ::testing::TestParamInfo<ServerKind>& info) {
                             return KindName(info.param);
                         });

// Dovecot always announces PIPELINING: one command at a time is the scripted
// server's case only.
INSTANTIATE_TEST_SUITE_P(
    EachServer, GoneMessage,
    ::testing::Values(std::tuple(ServerKind::Scripted, Way::PipelinedCheck),
                      std::tuple(ServerKind::Scripted, Way::OneByOneCheck),
                      std::tuple(ServerKind::Scripted, Way::DetailsWindowRetrieval),
                      std::tuple(ServerKind::Dovecot, Way::PipelinedCheck),
                      std::tuple(ServerKind::Dovecot, Way::DetailsWindowRetrieval)),
    KindWayName);
INSTANTIATE_TEST_SUITE_P(EachServer, InterruptedCheck,
                         ::testing::Values(std::tuple(ServerKind::Scripted, Way::PipelinedCheck),
                                           std::tuple(ServerKind::Scripted, Way::OneByOneCheck),
                                           std::tuple(ServerKind::Dovecot, Way::PipelinedCheck)),
                         KindWayName);
