// The demo servers driven by the program's own clients: the mail check
// (pipelined, over plain POP3 and over TLS with APOP), removal on the
// server, and sending with STARTTLS into the demo mailbox.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "core/Messages.h"
#include "demo/DemoSamples.h"
#include "demo/DemoMailStore.h"
#include "demo/DemoServers.h"
#include "demo/DemoSetup.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "net/TlsTrust.h"
#include "ops/CertificateFailures.h"
#include "ops/CheckAccount.h"
#include "ops/ErrorList.h"
#include "ops/RemovalOperation.h"
#include "pop3/Pop3Client.h"
#include "send/SendWorker.h"
#include "support/TestPki.h"

using namespace vm;

namespace {

constexpr int kDownloadLimitKB = 300;

class DemoServersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vm::test::EnsureCoreApp();
        SetMessageService(&messages);
        ASSERT_TRUE(dir.isValid());
        SetTrustFilePath(dir.filePath(QStringLiteral("certificates.ini")));
        accounts.SetMailboxDirectory(dir.path() + '/');
        QString error;
        ASSERT_TRUE(servers.Start(DemoServerOptions(0), &error)) << error.toStdString();
        FillDemoMailboxes(servers, QDateTime::currentDateTime());
        ASSERT_TRUE(SetUpDemoAccounts(accounts, servers, MailboxSaveOptions{}));
        ASSERT_EQ(accounts.Count(), 2);
        ASSERT_FALSE(accounts.At(0)->Pop3TLS());
        ASSERT_TRUE(accounts.At(1)->Pop3TLS());
        ASSERT_TRUE(accounts.At(1)->APOP());
    }

    void TearDown() override
    {
        servers.Stop();
        SetTrustFilePath(QString());
        SetMessageService(nullptr);
    }

    bool Check(MailAccount& account)
    {
        Pop3Client client;
        OperationRun run;
        run.client = &client;
        run.timeoutSeconds = 60;
        CheckOptions options;
        options.range = 2;
        options.maxDownloadKB = kDownloadLimitKB;
        options.oldGetHeaders = false;
        ClearErrorList();
        const bool completed = CheckAccount(account, run, options).completed;
        EXPECT_TRUE(completed) << ErrorList().join('\n').toStdString();
        return completed;
    }

    SendOutcome Send(MailAccount& from, const QByteArray& to, const QString& subject,
                     const QString& body)
    {
        SendRequest r;
        r.account = &from;
        r.subject = subject;
        r.body = body;
        r.recipients = {{QStringLiteral("Demo"), QString::fromLatin1(to), 1}};
        SendOptions o;
        o.silenceLimitSeconds = 60;
        return SendComposedMessage(r, o);
    }

    static MessageRecord* FindBySubject(const MailAccount& account, const QString& subject)
    {
        for (int i = 0; i < account.Box().Count(); ++i)
            if (account.Box().At(i)->Subject() == subject)
                return account.Box().At(i);
        return nullptr;
    }

    RecordingMessageService messages;
    QTemporaryDir dir;
    AccountsDirectory accounts;
    DemoServers servers;
};

} // namespace

TEST_F(DemoServersTest, EverySampleArrivesIntactOverPlainAndTlsAndTheLargeOneAsHeaders)
{
    for (int a = 0; a < accounts.Count(); ++a) {
        SCOPED_TRACE(a);
        MailAccount& account = *accounts.At(a);
        ASSERT_TRUE(Check(account));
        EXPECT_TRUE(CertificateFailures().isEmpty());
        const QList<DemoMessage> onServer = servers.Store().Snapshot(account.Login());
        ASSERT_FALSE(onServer.isEmpty());
        ASSERT_EQ(account.Box().Count(), onServer.size());
        int headersOnly = 0;
        for (const DemoMessage& m : onServer) {
            SCOPED_TRACE(m.uid.toStdString());
            const MessageRecord* r = account.Box().FindByUIDL(m.uid);
            ASSERT_NE(r, nullptr);
            EXPECT_FALSE(r->Subject().isEmpty());
            EXPECT_FALSE(r->Subject().contains(QLatin1String("=?"))) << r->Subject().toStdString();
            if (m.text.size() > kDownloadLimitKB * 1024) {
                ++headersOnly;
                EXPECT_EQ(r->HoldingState(), MessageRecord::Holding::Headers);
            } else {
                EXPECT_EQ(r->HoldingState(), MessageRecord::Holding::Whole);
                EXPECT_EQ(r->raw, m.text); // byte-stuffing undone exactly
            }
        }
        if (a == 0) {
            EXPECT_EQ(headersOnly, 1); // the demo shows a message held as headers
        }
    }
}

// ... and the servers' mail, kept in a file, comes back after a restart as
// the servers left it: removed messages stay gone, sent replies stay.
TEST_F(DemoServersTest, RemovalAndRepliesSentThroughSmtpShowAtTheNextCheck)
{
    const QString kept = dir.filePath(QStringLiteral("demo-servers.dat"));
    ASSERT_TRUE(servers.Store().KeepIn(kept, servers.WebPort()));
    MailAccount& main = *accounts.At(0);
    MailAccount& secure = *accounts.At(1);
    ASSERT_TRUE(Check(main));
    const int before = main.Box().Count();
    ASSERT_GE(before, 3);

    const QByteArray goneA = main.Box().At(0)->UID;
    const QByteArray goneB = main.Box().At(1)->UID;
    Pop3Client client;
    OperationRun run;
    run.client = &client;
    run.timeoutSeconds = 60;
    const RemovalResult removed = RemoveMessagesOnServer(main, {main.Box().At(0), main.Box().At(1)},
                                                         OperationView::MainWindow, run);
    ASSERT_TRUE(removed.completed) << ErrorList().join('\n').toStdString();
    EXPECT_EQ(main.Box().Count(), before - 2);
    EXPECT_EQ(servers.Store().Count(main.Login()), before - 2);
    for (const DemoMessage& m : servers.Store().Snapshot(main.Login()))
        EXPECT_NE(m.uid, goneA) << "removed message still on the server";
    for (const DemoMessage& m : servers.Store().Snapshot(main.Login()))
        EXPECT_NE(m.uid, goneB);

    // Both accounts send to the main demo address: the TLS account with
    // STARTTLS required, the plain one with STARTTLS when offered.
    const QString body = QStringLiteral("I'll take the installers.\n.\n..two dots\nBye");
    const QString fromSecure = QStringLiteral("Re: Planning the summer release (installers)");
    const QString fromMain = QString::fromUtf8("Note to myself \xe2\x9c\x93");
    ASSERT_EQ(secure.SmtpTLSMode(), 2);
    SendOutcome out = Send(secure, main.FromAddress(), fromSecure, body);
    ASSERT_TRUE(out.sent) << out.errorText.toStdString();
    out = Send(main, main.FromAddress(), fromMain, body);
    ASSERT_TRUE(out.sent) << out.errorText.toStdString();

    ASSERT_TRUE(Check(main));
    EXPECT_EQ(main.Box().Count(), before);
    for (const QString& subject : {fromSecure, fromMain}) {
        SCOPED_TRACE(subject.toStdString());
        MessageRecord* r = FindBySubject(main, subject);
        ASSERT_NE(r, nullptr);
        r->ParseWhole();
        ASSERT_FALSE(r->TextParts().isEmpty());
        QString text = r->TextParts().first().Text();
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        EXPECT_TRUE(text.contains(body)) << text.toStdString();
        EXPECT_TRUE(r->raw.contains("with ESMTPSA")) << "not sent over TLS with a login";
    }
    EXPECT_EQ(FindBySubject(main, fromSecure)->FromAddress(), secure.FromAddress());

    // A restart on the kept file: the same mail, and the web server on its
    // old port (the newsletter links there).
    const QList<DemoMessage> left = servers.Store().Snapshot(main.Login());
    const quint16 webPort = servers.WebPort();
    servers.Stop();
    DemoStoreImage image;
    QString problem;
    ASSERT_TRUE(DemoMailStore::ReadFile(kept, image, &problem)) << problem.toStdString();
    EXPECT_EQ(image.webPort, webPort);
    DemoServers::Options options = DemoServerOptions(0);
    options.webPort = image.webPort;
    DemoServers again;
    ASSERT_TRUE(again.Start(options));
    again.Store().Restore(image);
    EXPECT_EQ(again.WebPort(), webPort);
    const QList<DemoMessage> restored = again.Store().Snapshot(main.Login());
    ASSERT_EQ(restored.size(), left.size());
    for (int i = 0; i < left.size(); ++i) {
        EXPECT_EQ(restored[i].uid, left[i].uid);
        EXPECT_EQ(restored[i].text, left[i].text);
    }
    for (const DemoMessage& m : restored)
        EXPECT_TRUE(m.uid != goneA && m.uid != goneB);
    EXPECT_EQ(QFile(kept).permissions() & 0x0077, QFileDevice::Permissions());

    // A damaged file is refused whole, with the reason.
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.resize(file.size() - 1);
    file.close();
    EXPECT_FALSE(DemoMailStore::ReadFile(kept, image, &problem));
    EXPECT_EQ(problem, "the file is damaged");
}

// The newsletter's remote pictures come from the demo's own web server on
// loopback, which answers GET for them and refuses everything else.
TEST_F(DemoServersTest, TheNewsletterPicturesComeFromTheDemosWebServer)
{
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(servers.WebPort());
    QByteArray newsletter;
    for (const DemoMessage& m : servers.Store().Snapshot(accounts.At(0)->Login()))
        if (m.uid == "sample-newsletter")
            newsletter = m.text;
    ASSERT_FALSE(newsletter.isEmpty());
    EXPECT_TRUE(newsletter.contains((base + "/newsletter/banner.png").toLatin1()));
    EXPECT_FALSE(newsletter.contains("demo.invalid/newsletter"));

    const struct
    {
        QByteArray request;
        QByteArray status;
        QByteArray type;
        QByteArray bodyStart;
    } cases[] = {
        {"GET /newsletter/banner.png HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.0 200 OK", "image/png",
         "\x89PNG\r\n"},
        {"GET /newsletter/keyboard.png HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK", "image/png",
         "\x89PNG\r\n"},
        {"GET /track/open.gif?id=12345 HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK", "image/gif", "GIF89a"},
        {"GET /newsletter/read HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK", "text/html", "<!DOCTYPE html>"},
        {"HEAD /newsletter/banner.png HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK", "image/png", ""},
        {"GET /etc/passwd HTTP/1.0\r\n\r\n", "HTTP/1.0 404 Not Found", "text/plain", "Not found"},
        {"POST /newsletter/read HTTP/1.0\r\n\r\n", "HTTP/1.0 405 Method Not Allowed", "text/plain",
         "Only GET"},
        {"GET nothing\r\n\r\n", "HTTP/1.0 400 Bad Request", "text/plain", "Bad request"},
        {"GET /" + QByteArray(9000, 'a') + " HTTP/1.0\r\n\r\n",
         "HTTP/1.0 431 Request Header Fields Too Large", "text/plain", "Line too long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.left(40).toStdString());
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, servers.WebPort());
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(c.request);
        // The server ends the connection after its answer (HTTP/1.0): the
        // reply is complete once the socket is closed, well within 3 s.
        QByteArray reply;
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(3000))
            reply += socket.readAll();
        reply += socket.readAll();
        EXPECT_EQ(socket.state(), QAbstractSocket::UnconnectedState);
        const qsizetype end = reply.indexOf("\r\n\r\n");
        ASSERT_GT(end, 0) << reply.left(200).toStdString();
        const QByteArray head = reply.left(end);
        const QByteArray body = reply.mid(end + 4);
        EXPECT_TRUE(head.startsWith(c.status)) << head.toStdString();
        EXPECT_TRUE(head.contains("\r\nContent-Type: " + c.type)) << head.toStdString();
        EXPECT_TRUE(body.startsWith(c.bodyStart)) << body.left(40).toStdString();
        if (c.bodyStart.isEmpty())
            EXPECT_TRUE(body.isEmpty());
        else
            EXPECT_TRUE(head.contains("\r\nContent-Length: " + QByteArray::number(body.size())))
                << head.toStdString();
    }
}

TEST_F(DemoServersTest, AKeptDataDirectoryReusesItsAccountsWithTheNewPorts)
{
    DemoServers second;
    ASSERT_TRUE(second.Start(DemoServerOptions(0)));
    ASSERT_TRUE(SetUpDemoAccounts(accounts, second, MailboxSaveOptions{}));
    ASSERT_EQ(accounts.Count(), 2);
    EXPECT_EQ(accounts.At(0)->Pop3Port(), second.Pop3Port());
    EXPECT_EQ(accounts.At(1)->Pop3Port(), second.Pop3TlsPort());
    EXPECT_EQ(accounts.At(1)->SmtpPort(), second.SmtpPort());
    // The new certificate is trusted for the new ports only.
    const QString fp = CertificateFingerprint(second.Certificate());
    EXPECT_TRUE(IsCertificateTrusted(DemoServers::Host(), second.Pop3TlsPort(), fp));
    EXPECT_TRUE(IsCertificateTrusted(DemoServers::Host(), second.SmtpPort(), fp));
    EXPECT_FALSE(IsCertificateTrusted(DemoServers::Host(), second.Pop3Port(), fp));
    EXPECT_FALSE(IsCertificateTrusted(DemoServers::Host(), servers.Pop3TlsPort(), fp));
}

TEST(DemoArrivals, NewMailArrivesAtTheConfiguredInterval)
{
    vm::test::EnsureCoreApp();
    DemoServers servers;
    ASSERT_TRUE(servers.Start(DemoServerOptions(50)));
    const QByteArray login = DemoAccountSpecs().first().login;
    QElapsedTimer timer;
    timer.start();
    while (servers.Store().Count(login) < 3 && timer.elapsed() < 60000)
        QThread::msleep(20);
    const QList<DemoMessage> arrived = servers.Store().Snapshot(login);
    ASSERT_GE(arrived.size(), 3);
    EXPECT_NE(arrived.at(0).uid, arrived.at(1).uid);
    MessageRecord r;
    r.raw = arrived.at(0).text;
    r.ParseWhole();
    EXPECT_FALSE(r.Subject().isEmpty());
    EXPECT_EQ(r.ToAddress(0), DemoAccountSpecs().first().address);
    EXPECT_EQ(servers.Store().Count(DemoAccountSpecs().at(1).login), 0);
}

TEST(DemoArrivals, ServersThreadHasEndedWhenStopReturns)
{
    // The servers' thread must be over, to its thread-local destructors,
    // when Stop returns: the program stops the servers just before main
    // returns, and a thread still ending then races the global destructors.
    vm::test::EnsureCoreApp();
    static std::atomic<bool> ended{false};
    static std::atomic<bool> started{false};
    struct SlowThreadEnd
    {
        ~SlowThreadEnd()
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ended.store(true);
        }
    };
    DemoServers servers;
    DemoServers::Options options = DemoServerOptions(10);
    options.arrival = [](int) {
        thread_local SlowThreadEnd atThreadEnd;
        (void)atThreadEnd;
        started.store(true);
        return QByteArray();
    };
    ASSERT_TRUE(servers.Start(options));
    QElapsedTimer timer;
    timer.start();
    while (!started.load() && timer.elapsed() < 30000)
        QThread::msleep(10);
    ASSERT_TRUE(started.load());
    servers.Stop();
    EXPECT_TRUE(ended.load());
}
