// Removal and whole retrieval through the program's POP3 client, each
// scenario written once and run against both kinds of server: the scripted
// fake server (which also holds the client to the exact lines of the
// scenario's transcript) and a real Dovecot, where another client deletes
// messages between the connections.

#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>
#include <ostream>

#include "model/MailAccount.h"
#include "ops/CheckAccount.h"
#include "ops/ErrorList.h"
#include "ops/RemovalOperation.h"
#include "ops/RetrieveWhole.h"
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

// Message i of the server: its subject and body name it; it asks for a
// receipt.
QByteArray ServerMessage(int i)
{
    const QByteArray n = QByteArray::number(i);
    return "From: Sender <s@example.org>\r\nSubject: message " + n +
           "\r\nDisposition-Notification-To: s@example.org\r\n"
           "Date: Tue, 2 Jan 2024 10:00:00 +0000\r\n\r\nbody " +
           n + "\r\n";
}

// One scenario's server. The messages 0..n-1 are on it; Deleted() are gone
// by the time our client connects (removed by another client). For the
// scripted kind the scenario also gives the lines after UIDL; Dovecot
// answers by itself.
class ScenarioServer
{
public:
    explicit ScenarioServer(ServerKind kind) : kind_(kind) {}

    // False (with the reason in Skip()) when Dovecot cannot run here.
    bool Fill(int count, const QList<int>& deleted)
    {
        if (kind_ == ServerKind::Scripted) {
            for (int i = 0; i < count; ++i)
                ids_.append("uid-" + QByteArray::number(i));
            for (int i = 0; i < count; ++i)
                if (!deleted.contains(i))
                    remaining_.append(ids_[i]);
            script_.Pop3Login().Pop3Uidl(remaining_);
            return true;
        }
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
        Pop3Client other;
        Aim(other);
        other.Connect();
        other.Login();
        for (int i : deleted)
            other.SendCmd("DELE " + QByteArray::number(i + 1));
        other.Disconnect();
        return true;
    }
    QString Skip() const { return skip_; }
    FakeServer& Script() { return script_; }
    // The id of message i, whether or not it is still on the server.
    QByteArray Id(int i) const { return ids_[i]; }

    void Start(MailAccount& account)
    {
        account.Login() = "bob";
        account.Password() = "secret";
        account.Server() = "127.0.0.1";
        if (kind_ == ServerKind::Scripted) {
            script_.Start();
            account.Pop3Port() = script_.Port();
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
        EXPECT_TRUE(script_.WaitDone());
        const QList<QByteArray> sent = script_.Received();
        if (!sent.contains("QUIT"))
            return remaining_;
        QList<QByteArray> kept;
        for (int n = 1; n <= remaining_.size(); ++n)
            if (!sent.contains("DELE " + QByteArray::number(n)))
                kept.append(remaining_[n - 1]);
        return kept;
    }
    // The lines the client sent (the scripted server only).
    QList<QByteArray> Sent() const { return script_.Received(); }

private:
    void Aim(Pop3Client& c) const
    {
        c.Host = "127.0.0.1";
        c.Port = dovecot_->Pop3Port();
        c.Username = "bob";
        c.Password = "secret";
    }
    QList<QByteArray> Uids() const
    {
        Pop3Client c;
        Aim(c);
        c.Connect();
        c.Login();
        QList<QByteArray> ids;
        c.FetchUidList(ids);
        c.Disconnect();
        return ids;
    }

    ServerKind kind_;
    FakeServer script_;
    std::unique_ptr<DovecotFixture> dovecot_;
    QList<QByteArray> ids_;
    QList<QByteArray> remaining_;
    QString skip_;
};

class ServerScenario : public ::testing::TestWithParam<ServerKind>
{
protected:
    static void SetUpTestSuite() { vm::test::EnsureCoreApp(); }
    void SetUp() override { ClearErrorList(); }

    // A record of message i, holding only its headers unless whole.
    MessageRecord* Record(int i, bool whole = true)
    {
        auto* m = new MessageRecord;
        m->UID = server.Id(i);
        m->headersOnly = !whole;
        account.Box().Add(m);
        return m;
    }
    OperationRun Run()
    {
        OperationRun r;
        r.client = &client;
        r.timeoutSeconds = 20;
        return r;
    }
    bool Scripted() const { return GetParam() == ServerKind::Scripted; }

    ScenarioServer server{GetParam()};
    MailAccount account;
    Pop3Client client;
};

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
    server.Start(account);

    Mailbox& mb = account.Box();
    const RemovalResult r = RemoveMessagesOnServer(account, {mb.At(2), nullptr, mb.At(0)},
                                                   OperationView::MainWindow, Run());
    EXPECT_TRUE(r.completed) << ErrorList().join('\n').toStdString();
    EXPECT_EQ(r.missing, 1);
    EXPECT_EQ(r.removed.size(), 2);
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
        account, {mb.At(0), mb.At(1), mb.At(2), mb.At(3)}, OperationView::MainWindow, Run());
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
        RetrieveWholeMessages(account, {gone, b}, OperationView::MainWindow, Run());
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

INSTANTIATE_TEST_SUITE_P(EachServer, ServerScenario,
                         ::testing::Values(ServerKind::Scripted, ServerKind::Dovecot),
                         [](const ::testing::TestParamInfo<ServerKind>& info) {
                             return info.param == ServerKind::Scripted ? "ScriptedFakeServer"
                                                                       : "Dovecot";
                         });
