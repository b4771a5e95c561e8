// The operations against a real Dovecot, with another client changing the
// mailbox between and during our connections.

#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "model/MailAccount.h"
#include "ops/CheckAccount.h"
#include "ops/CheckPop3Session.h"
#include "ops/ErrorList.h"
#include "ops_check/Printers.h"
#include "pop3/Pop3Client.h"
#include "support/DovecotFixture.h"

using namespace vm;
using vm::test::DovecotFixture;

namespace {

class DovecotOps : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { vm::test::EnsureCoreApp(); }

    void SetUp() override
    {
        if (!DovecotFixture::Available())
            GTEST_SKIP() << "dovecot is not installed";
        ASSERT_TRUE(dc.Start()) << dc.LastError().toStdString();
        dc.AddUser("bob", "secret");
        account.Login() = "bob";
        account.Password() = "secret";
        account.Server() = "127.0.0.1";
        account.Pop3Port() = dc.Pop3Port();
    }

    void Deliver(int count, int from = 0)
    {
        for (int i = from; i < from + count; ++i)
            dc.Deliver("bob", QByteArray("From: Sender <s@example.org>\r\nSubject: message ") +
                                  QByteArray::number(i) +
                                  "\r\nDate: Tue, 2 Jan 2024 10:00:00 +0000\r\n\r\nbody " +
                                  QByteArray::number(i) + "\r\n");
    }

    // Points a POP3 client at bob's mailbox on the test server.
    static void AimAtBob(Pop3Client& c, const DovecotFixture& server)
    {
        c.Host = "127.0.0.1";
        c.Port = server.Pop3Port();
        c.Username = "bob";
        c.Password = "secret";
    }

    // A second POP3 client: connects, logs in and hands back its UIDL list.
    struct Other
    {
        Pop3Client client;
        QList<QByteArray> ids;
        Other(DovecotFixture& dc)
        {
            AimAtBob(client, dc);
            client.Connect();
            client.Login();
            client.FetchUidList(ids);
        }
        void DeleteUid(const QByteArray& uid)
        {
            client.SendCmd("DELE " + QByteArray::number(ids.indexOf(uid) + 1));
        }
        void Quit() { client.Disconnect(); }
    };

    QList<QByteArray> ServerUids()
    {
        Other o(dc);
        o.Quit();
        return o.ids;
    }

    OperationRun Run()
    {
        OperationRun r;
        r.client = &client;
        r.timeoutSeconds = 20;
        return r;
    }

    DovecotFixture dc;
    MailAccount account;
    Pop3Client client;
};

CheckOptions Whole()
{
    CheckOptions o;
    o.range = 1;
    o.oldGetHeaders = false;
    return o;
}

} // namespace

TEST_F(DovecotOps, MessagesDeletedByAnotherClientDisappearAtTheNextCheck)
{
    Deliver(5);
    ClearErrorList();
    ASSERT_TRUE(CheckAccount(account, Run(), Whole()).completed)
        << ErrorList().join('\n').toStdString();
    ASSERT_EQ(account.Box().Count(), 5);
    EXPECT_EQ(account.Box().At(0)->Subject(), "message 0");
    const QByteArray second = account.Box().At(1)->UID;
    const QByteArray fourth = account.Box().At(3)->UID;

    Other other(dc);
    other.DeleteUid(second);
    other.DeleteUid(fourth);
    other.Quit();
    Deliver(1, 5);

    const CheckAccountResult r = CheckAccount(account, Run(), Whole());
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.added, 1);
    ASSERT_EQ(account.Box().Count(), 4);
    EXPECT_EQ(account.Box().FindByUIDL(second), nullptr);
    EXPECT_EQ(account.Box().FindByUIDL(fourth), nullptr);
    EXPECT_EQ(account.Box().At(3)->Subject(), "message 5");

    // Nothing changed since: the shortcut.
    const CheckAccountResult again = CheckAccount(account, Run(), Whole());
    EXPECT_TRUE(again.completed);
    EXPECT_FALSE(again.changed);
}

TEST_F(DovecotOps, MessageDeletedBetweenUidlAndFetchDisappearsWithoutError)
{
    Deliver(3);
    const QList<QByteArray> ids = ServerUids();
    ASSERT_EQ(ids.size(), 3);
    // Our check runs on this thread; when it reaches message 2 another
    // client expunges it.
    AimAtBob(client, dc);
    Pop3ClientSession session(client, account);
    bool done = false;
    const CheckOutcome out = RunCheck(session, account, Whole(), [&](const QString& status) {
        if (!done && status.contains("message 2 out of 3")) {
            done = true;
            Other other(dc);
            other.DeleteUid(ids[1]);
            other.Quit();
        }
    });
    EXPECT_TRUE(done);
    EXPECT_TRUE(out.completed);
    EXPECT_FALSE(out.error.has_value()) << out.error->message.toStdString();
    ASSERT_EQ(account.Box().Count(), 2);
    EXPECT_EQ(account.Box().At(0)->UID, ids[0]);
    EXPECT_EQ(account.Box().At(1)->UID, ids[2]);
}

// More messages than the pipelining window, with another client expunging
// two of them after our size listing: the rest arrive in server order, the
// two disappear without an error.
TEST_F(DovecotOps, PipelinedFirstCheckKeepsServerOrderAndDropsExpungedMessages)
{
    Deliver(45);
    const QList<QByteArray> ids = ServerUids();
    ASSERT_EQ(ids.size(), 45);
    AimAtBob(client, dc);
    Pop3ClientSession session(client, account);
    bool deleted = false;
    const CheckOutcome out = RunCheck(session, account, Whole(), [&](const QString& status) {
        if (!deleted && status.contains("message 1 out of 45")) {
            deleted = true;
            Other other(dc);
            other.DeleteUid(ids[9]);
            other.DeleteUid(ids[39]);
            other.Quit();
        }
    });
    EXPECT_TRUE(client.SupportsPipelining());
    EXPECT_TRUE(deleted);
    EXPECT_TRUE(out.completed);
    EXPECT_FALSE(out.error.has_value()) << out.error->message.toStdString();
    EXPECT_EQ(out.added, 43);
    const Mailbox& mb = account.Box();
    ASSERT_EQ(mb.Count(), 43);
    int at = 0;
    for (int i = 0; i < 45; ++i) {
        if (i == 9 || i == 39)
            continue;
        SCOPED_TRACE(i);
        EXPECT_EQ(mb.At(at)->UID, ids[i]);
        EXPECT_EQ(mb.At(at)->Subject(), QStringLiteral("message %1").arg(i));
        EXPECT_EQ(mb.At(at)->serverNumber, i + 1);
        EXPECT_FALSE(mb.At(at)->headersOnly);
        EXPECT_TRUE(mb.At(at)->raw.endsWith(QByteArray("body ") + QByteArray::number(i) + "\r\n"));
        EXPECT_GT(mb.At(at)->size, 0);
        ++at;
    }
}

TEST_F(DovecotOps, InterruptDuringAPipelinedCheckKeepsAnUnbrokenRun)
{
    Deliver(60);
    AimAtBob(client, dc);
    Pop3ClientSession session(client, account);
    const CheckOutcome out = RunCheck(session, account, Whole(), [&](const QString& status) {
        if (status.contains("message 40 out of"))
            client.RequestInterrupt();
    });
    EXPECT_FALSE(out.completed);
    EXPECT_TRUE(out.interrupted);
    EXPECT_FALSE(out.error.has_value());
    const Mailbox& mb = account.Box();
    // Message 40 starts only once replies made room in the window.
    EXPECT_GE(mb.Count(), 40 - Pop3ClientSession::kPipelineWindow);
    EXPECT_LT(mb.Count(), 40);
    for (int i = 0; i < mb.Count(); ++i)
        EXPECT_EQ(mb.At(i)->Subject(), QStringLiteral("message %1").arg(i));
    EXPECT_TRUE(mb.CheckFailed());
    EXPECT_EQ(dc.MessageCount("bob"), 60);
}
