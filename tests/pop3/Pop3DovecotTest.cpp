// The POP3 client against a real Dovecot server on loopback.

#include "mime/MessageRecord.h"
#include "net/TlsTrust.h"
#include "pop3/Pop3Client.h"
#include "support/DovecotFixture.h"
#include "support/DovecotSuite.h"
#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <iostream>

using namespace vm;

using vm::test::DovecotFixture;

namespace {

const QByteArray kDotted = "From: Ann <ann@example.com>\r\n"
                           "To: bob@example.com\r\n"
                           "Subject: Lines with dots\r\n"
                           "Disposition-Notification-To: ann@example.com\r\n"
                           "\r\n"
                           ".one leading dot\r\n"
                           "..two leading dots\r\n"
                           ".\r\n"
                           "end\r\n";

class Pop3DovecotTest : public vm::test::DovecotSuite
{
protected:
    void SetUp() override
    {
        DovecotSuite::SetUp();
        if (IsSkipped())
            return;
        // Every test gets a user of its own.
        user = QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name())
                   .toLower();
        server->AddUser(user, "s3cret");
        client.Host = "localhost";
        client.Port = server->Pop3Port();
        client.Username = user.toUtf8();
        client.Password = "s3cret";
        client.ConnectTimeoutMs = 10000;
    }
    void TearDown() override
    {
        client.CloseTransport();
        if (server && HasFailure())
            std::cerr << "Dovecot log:\n" << server->Log().right(3000).toStdString();
    }

    QString user;
    Pop3Client client;
};

TEST_F(Pop3DovecotTest, UserPassListsAndFetchesMessages)
{
    server->Deliver(user, "From: a@example.com\r\nSubject: first\r\n\r\nbody one\r\n");
    server->Deliver(user, kDotted);
    client.Connect();
    EXPECT_TRUE(client.Capabilities().contains("UIDL"));
    client.Login();

    QList<QByteArray> ids;
    ASSERT_TRUE(client.FetchUidList(ids));
    ASSERT_EQ(ids.size(), 2);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_FALSE(ids[0].contains(' '));

    // Dovecot delivers in file name order; find the dotted message by size.
    const std::int32_t size2 = client.MessageSize(2);
    const std::int32_t size1 = client.MessageSize(1);
    const int dotted = size2 == kDotted.size() ? 2 : 1;
    EXPECT_EQ(dotted == 2 ? size2 : size1, kDotted.size());

    MessageRecord whole;
    client.FetchWhole(dotted, whole);
    EXPECT_EQ(whole.raw, kDotted);
    EXPECT_EQ(whole.receiptState, 1);
    EXPECT_FALSE(whole.headersOnly);

    MessageRecord headers;
    client.FetchHeaders(dotted, headers);
    EXPECT_TRUE(headers.raw.startsWith("From: Ann <ann@example.com>\r\n"));
    EXPECT_FALSE(headers.raw.contains("leading dot"));
    EXPECT_TRUE(headers.headersOnly);
    EXPECT_EQ(headers.serverNumber, dotted);
    client.Disconnect();
    EXPECT_EQ(server->MessageCount(user), 2);
}

TEST_F(Pop3DovecotTest, ApopLogin)
{
    client.AuthenticationType = Pop3Client::atAPOP;
    client.Connect();
    ASSERT_FALSE(vm::ApopTimestamp(client.Greeting()).isEmpty());
    client.Login();
    QList<QByteArray> ids;
    EXPECT_TRUE(client.FetchUidList(ids));
    EXPECT_TRUE(ids.isEmpty());
    client.Disconnect();
}

TEST_F(Pop3DovecotTest, WrongPasswordIsRefused)
{
    for (int type : {Pop3Client::atUserPass, Pop3Client::atAPOP}) {
        client.AuthenticationType = type;
        client.Password = "wrong";
        client.Connect();
        EXPECT_THROW(client.Login(), Pop3ReplyError);
        EXPECT_FALSE(client.Transport().Connected());
    }
}

TEST_F(Pop3DovecotTest, DeleteTakesEffectOnlyWithQuit)
{
    server->Deliver(user, "Subject: a\r\n\r\na\r\n");
    server->Deliver(user, "Subject: b\r\n\r\nb\r\n");

    // Dropped connection after DELE: nothing is deleted.
    client.Connect();
    client.Login();
    EXPECT_TRUE(client.Delete(1));
    EXPECT_FALSE(client.Delete(1)); // already marked
    client.CloseTransport();
    EXPECT_EQ(server->MessageCount(user), 2);

    client.Connect();
    client.Login();
    EXPECT_TRUE(client.Delete(2));
    client.Disconnect();
    EXPECT_EQ(server->MessageCount(user), 1);
}

TEST_F(Pop3DovecotTest, Pop3sWithTrustedTestCa)
{
    QTemporaryDir trust;
    vm::SetTrustFilePath(trust.path() + "/certificates.ini");
    vm::SetTrustedCaCertificates({server->CaCertificate()});
    client.Port = server->Pop3sPort();
    client.ImplicitTls = true;
    client.Connect();
    EXPECT_TRUE(client.Transport().Encrypted());
    client.Login();
    client.Disconnect();

    vm::ResetTrustedCaCertificates();
    EXPECT_THROW(client.Connect(), CertificateError);
    vm::SetTrustFilePath({});
}

} // namespace
