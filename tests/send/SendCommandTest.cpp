// "velmora --send": arguments, exit codes and a real send through the sink.

#include "config/StorageSettings.h"
#include "app/cli/SendCommand.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "SmtpSink.h"
#include "TestUtil.h"
#include "core/AppInfo.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "mime/MessageRecord.h"
#include "net/TlsTrust.h"
#include "support/TestPki.h"

using namespace vm;

namespace {

// Captures what a command writes to standard output (or error).
class StdoutCapture
{
public:
    explicit StdoutCapture(FILE* stream = stdout) : stream_(stream), fd_(::fileno(stream))
    {
        std::fflush(stream_);
        saved_ = ::dup(fd_);
        file_ = std::tmpfile();
        ::dup2(::fileno(file_), fd_);
    }
    QByteArray Take()
    {
        std::fflush(stream_);
        ::dup2(saved_, fd_);
        ::close(saved_);
        std::rewind(file_);
        QByteArray out;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0)
            out.append(buf, qsizetype(n));
        std::fclose(file_);
        return out;
    }

private:
    FILE* stream_;
    int fd_;
    int saved_ = -1;
    FILE* file_ = nullptr;
};

class SendCommandTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        vm::test::EnsureCoreApp();
        dataDir_ = new QTemporaryDir;
        AppInfo::SetDataDir(dataDir_->path());
    }
    static void TearDownTestSuite()
    {
        delete dataDir_;
        dataDir_ = nullptr;
    }
    // Writes a mailbox file for an account named "work" sending through port,
    // holding the given whole messages (UIDLs "m1", "m2", ...).
    void WriteAccount(quint16 port, const QByteArray& server = "127.0.0.1", int tlsMode = 0,
                      const QList<QByteArray>& messages = {},
                      const QByteArray& smtpPassword = {})
    {
        QDir data(dataDir_->path());
        for (const QString& f : data.entryList({"*.mbx"}, QDir::Files))
            data.remove(f);
        AccountsDirectory dir;
        dir.SetMailboxDirectory(dataDir_->path() + "/");
        MailAccount account(&dir);
        account.Login() = "work";
        account.Server() = "pop.example.org";
        account.SmtpLogin() = "work";
        account.SmtpServer() = server;
        account.SmtpPort() = port;
        account.SmtpTLSMode() = std::uint8_t(tlsMode);
        account.SmtpAuthentication() = !smtpPassword.isEmpty();
        account.SmtpPassword() = smtpPassword;
        account.FromAddress() = "work@example.org";
        account.SenderName() = "Work Account";
        for (int i = 0; i < messages.size(); ++i) {
            auto* m = new MessageRecord;
            m->UID = "m" + QByteArray::number(i + 1);
            m->raw = messages[i];
            m->headersOnly = false;
            m->ParseWhole();
            account.Box().Add(m);
        }
        MailboxSaveOptions options = SaveOptionsFromSettings();
        options.OldMessagesSaveHeaders = false; // the messages stay whole, however old
        account.SaveToFile(options);
    }
    static QTemporaryDir* dataDir_;
};

QTemporaryDir* SendCommandTest::dataDir_ = nullptr;

// One command run, as in a fresh process: the accounts are loaded anew.
int RunSend(const QStringList& args)
{
    Accounts().Clear();
    return RunSendCommand(args);
}

} // namespace

TEST_F(SendCommandTest, BadArgumentsGiveExitCodeTwo)
{
    const QList<QStringList> bad = {
        {},
        {"--account", "work", "--subject", "s", "--body", "b"},   // no --to
        {"--account", "work", "--to", "a@b.c", "--body", "b"},    // no subject
        {"--account", "work", "--to", "a@b.c", "--subject", "s"}, // no body
        {"--account", "work", "--to", "a@b.c", "--subject", "s", "--body", "b", "--body-file",
         "/etc/hostname"},
        {"--account", "work", "--to", "a@b.c\nRCPT TO:<x@y>", "--subject", "s", "--body", "b"},
        {"--account", "work", "--to", "a@b.c", "--subject", "s", "--body", "b", "--priority", "7"},
        {"--account", "work", "--to", "a@b.c", "--subject", "s", "--body", "b", "--charset",
         "EBCDIC"},
        {"--account", "work", "--to", "a@b.c", "--subject", "s", "--body",
         QString::fromUtf8("\xd0\x96"), "--charset", "ISO-8859-1"},
        {"--account", "work", "--to", "a@b.c", "--subject", "s", "--body", "b", "--bogus"},
        {"--account", "nobody", "--to", "a@b.c", "--subject", "s", "--body", "b"},
        {"--reply", "work"},                                  // no UIDL
        {"--reply", "work", "m1", "--account", "work"},       // the account twice
        {"--reply", "work", "m1", "--forward", "work", "m1"}, // two kinds
        {"--reply", "work", "m1", "--html", "--body", "<p>"}, // the quote is plain text
        {"--forward", "work", "m1", "--body", "b"},           // no --to
    };
    for (const QStringList& args : bad)
        EXPECT_EQ(RunSend(args), 2) << args.join(' ').toStdString();
}

TEST_F(SendCommandTest, SendsThroughTheAccountAndPrintsTheFinalReply)
{
    vmtest::SmtpSink sink;
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    WriteAccount(sink.Port());
    QTemporaryDir files;
    const QString attach = files.filePath("report.png");
    {
        QFile f(attach);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x89PNG data");
    }
    const QString bodyFile = files.filePath("body.html");
    {
        QFile f(bodyFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<p>Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87</p>");
    }
    StdoutCapture capture;
    const int rc = RunSend({"--account",   "work",
                            "--to",        "Bob <bob@example.com>",
                            "--cc",        "carl@example.com",
                            "--bcc",       "hidden@example.com",
                            "--subject",   QString::fromUtf8("Raport \xc5\xbc"),
                            "--body-file", bodyFile,
                            "--html",      "--charset",
                            "ISO-8859-2",  "--priority",
                            "1",           "--receipt",
                            "--attach",    attach});
    const QByteArray out = capture.Take();
    ASSERT_EQ(rc, 0);
    EXPECT_TRUE(out.startsWith("250 2.0.0 Ok: queued as SINK1")) << out.constData();
    ASSERT_EQ(sink.Count(), 1);
    EXPECT_EQ(sink.Envelope(1)["rcpt_tos"].toArray(),
              QJsonArray({"bob@example.com", "carl@example.com", "hidden@example.com"}));
    const QByteArray msg = sink.Message(1);
    EXPECT_TRUE(msg.contains("\r\nX-Priority: 2\r\n"));
    EXPECT_TRUE(
        msg.contains("\r\nDisposition-Notification-To: \"Work Account\" <work@example.org>"));
    const QJsonObject p = vmtest::ParseWithPython(msg);
    EXPECT_EQ(p["subject"].toString(), QString::fromUtf8("Raport \xc5\xbc"));
    const QJsonArray parts = p["parts"].toArray();
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[0].toObject()["content_type"].toString(), "text/html");
    EXPECT_EQ(parts[0].toObject()["charset"].toString(), "iso-8859-2");
    EXPECT_TRUE(parts[0].toObject()["text"].toString().startsWith(
        QString::fromUtf8("<p>Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87</p>")));
    EXPECT_EQ(parts[1].toObject()["content_type"].toString(), "image/png");

    // A missing attachment: nothing is sent.
    EXPECT_EQ(RunSend({"--account", "work", "--to", "bob@example.com", "--subject", "s", "--body",
                       "b", "--attach", files.filePath("gone.pdf")}),
              2);
    EXPECT_EQ(sink.Count(), 1);
}

TEST_F(SendCommandTest, FailedSendGivesExitCodeOne)
{
    quint16 closedPort = 0;
    {
        vmtest::SmtpSink sink; // started and stopped: its port is now closed
        ASSERT_TRUE(sink.Ok());
        closedPort = sink.Port();
    }
    WriteAccount(closedPort);
    EXPECT_EQ(
        RunSend({"--account", "work", "--to", "bob@example.com", "--subject", "s", "--body", "b"}),
        1);
}

TEST_F(SendCommandTest, RefusedCertificateIsPrintedWithHowToTrustIt)
{
    vm::test::TestPki& pki = vm::test::TestPki::Shared();
    ASSERT_TRUE(pki.Ok()) << pki.Error().toStdString();
    vmtest::SmtpSink sink({"--cert", pki.ServerCertPath(), "--key", pki.ServerKeyPath()});
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    WriteAccount(sink.Port(), "127.0.0.1", 2);
    const QStringList args = {"--account", "work", "--to",   "bob@example.com",
                              "--subject", "s",    "--body", "b"};
    StdoutCapture err(stderr);
    const int rc = RunSend(args);
    const QString text = QString::fromUtf8(err.Take());
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(sink.Count(), 0);
    const QString fingerprint = CertificateFingerprint(pki.ServerCertificate());
    const QString entry = QStringLiteral("127.0.0.1:%1 = %2").arg(sink.Port()).arg(fingerprint);
    EXPECT_TRUE(text.contains("SHA-256 fingerprint: " + fingerprint)) << text.toStdString();
    EXPECT_TRUE(text.contains(entry)) << text.toStdString();
    EXPECT_TRUE(text.contains(TrustFilePath())) << text.toStdString();

    // Doing what it says makes the next send go through.
    {
        QFile f(TrustFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Certificates]\n" + entry.toUtf8() + "\n");
    }
    StdoutCapture out;
    EXPECT_EQ(RunSend(args), 0);
    out.Take();
    ASSERT_EQ(sink.Count(), 1);
    EXPECT_TRUE(sink.Envelope(1)["tls"].toBool());
    QFile::remove(TrustFilePath());
}

// A reply through the command goes to the sender of the stored message,
// carries the user's text above the quoted original and threads: a mail
// reader finds In-Reply-To and References naming the original.
TEST_F(SendCommandTest, ReplyToAStoredMessageThreads)
{
    vmtest::SmtpSink sink;
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    WriteAccount(sink.Port(), "127.0.0.1", 0,
                 {"From: Ann <ann@example.com>\r\n"
                  "To: work@example.org\r\n"
                  "Cc: Dan <dan@example.com>\r\n"
                  "Subject: Budget\r\n"
                  "Date: Tue, 1 Jul 2025 09:30:00 +0200\r\n"
                  "Message-ID: <budget-2@example.com>\r\n"
                  "References: <budget-1@example.com>\r\n"
                  "MIME-Version: 1.0\r\n"
                  "Content-Type: text/plain; charset=ISO-8859-2\r\n"
                  "\r\n"
                  "Za\xbf\xf3\xb3\xe6 the budget?\r\n"});

    // Bad uses: an unknown UIDL, a reply in a charset that cannot hold the
    // original, and a forward without recipients.
    EXPECT_EQ(RunSend({"--reply", "work", "nope", "--body", "b"}), 2);
    EXPECT_EQ(RunSend({"--reply", "work", "m1", "--charset", "ISO-8859-1"}), 2);
    EXPECT_EQ(RunSend({"--forward", "work", "m1"}), 2);
    EXPECT_EQ(sink.Count(), 0);

    StdoutCapture capture;
    const int rc = RunSend({"--reply", "work", "m1", "--body", "Yes, agreed.\n"});
    capture.Take();
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(sink.Count(), 1);
    EXPECT_EQ(sink.Envelope(1)["rcpt_tos"].toArray(), QJsonArray({"ann@example.com"}));
    const QJsonObject p = vmtest::ParseWithPython(sink.Message(1));
    EXPECT_EQ(p["subject"].toString(), "Re: Budget");
    EXPECT_EQ(p["in_reply_to"].toString(), "<budget-2@example.com>");
    EXPECT_EQ(p["references"].toString(), "<budget-1@example.com> <budget-2@example.com>");
    EXPECT_TRUE(p["message_id"].toString().endsWith("@example.org>"));
    const QJsonArray parts = p["parts"].toArray();
    ASSERT_EQ(parts.size(), 1);
    const QString text = parts[0].toObject()["text"].toString().replace("\r\n", "\n");
    EXPECT_TRUE(text.startsWith("Yes, agreed.\n\n\n--------\nORIGINAL MESSAGE\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("\nTime: 09:30:00 (+2:00)\n")) << text.toStdString();
    EXPECT_TRUE(
        text.contains(QString::fromUtf8("\n\n\nZa\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87 the budget?")))
        << text.toStdString();

    // Reply to all: the other recipients too, the own address left out.
    StdoutCapture again;
    ASSERT_EQ(RunSend({"--reply-all", "work", "m1"}), 0);
    again.Take();
    ASSERT_EQ(sink.Count(), 2);
    EXPECT_EQ(sink.Envelope(2)["rcpt_tos"].toArray(),
              QJsonArray({"ann@example.com", "dan@example.com"}));
}

// A forward through the command carries every attachment of the original
// byte for byte, one without a name under the name saving gives it, next to
// a file of the user's; Python's email package reads them back.
TEST_F(SendCommandTest, ForwardCarriesTheOriginalsAttachments)
{
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary += char((i * 7919) & 0xFF);
    const QByteArray text = "col1;col2\r\n\xe2\x82\xac;.\r\n.\r\n";
    vmtest::SmtpSink sink;
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    WriteAccount(sink.Port(), "127.0.0.1", 0,
                 {"From: Ann <ann@example.com>\r\nTo: work@example.org\r\nSubject: Files\r\n"
                  "Date: Wed, 2 Jul 2025 10:00:00 +0000\r\n"
                  "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=BB\r\n\r\n"
                  "--BB\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<p>Two files</p>\r\n"
                  "--BB\r\nContent-Type: application/octet-stream\r\n"
                  "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
                  "Content-Transfer-Encoding: base64\r\n\r\n" +
                  binary.toBase64() +
                  "\r\n--BB\r\nContent-Type: text/csv; charset=utf-8\r\n"
                  "Content-Disposition: attachment; filename=\"table.csv\"\r\n"
                  "Content-Transfer-Encoding: base64\r\n\r\n" +
                  text.toBase64() +
                  "\r\n--BB\r\nContent-Type: application/pdf\r\n"
                  "Content-Disposition: attachment\r\n"
                  "Content-Transfer-Encoding: base64\r\n\r\n" +
                  QByteArray("%PDF-1.4 nameless").toBase64() + "\r\n--BB--\r\n"});
    QTemporaryDir files;
    const QString own = files.filePath("notes.txt");
    {
        QFile f(own);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("mine");
    }
    StdoutCapture capture;
    const int rc = RunSend({"--forward", "work", "m1", "--to", "Carl <carl@example.com>", "--body",
                            "FYI", "--attach", own});
    capture.Take();
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(sink.Count(), 1);
    EXPECT_EQ(sink.Envelope(1)["rcpt_tos"].toArray(), QJsonArray({"carl@example.com"}));
    const QJsonObject p = vmtest::ParseWithPython(sink.Message(1));
    EXPECT_EQ(p["subject"].toString(), "Fwd: Files");
    EXPECT_TRUE(p["in_reply_to"].isNull());
    const QJsonArray parts = p["parts"].toArray();
    ASSERT_EQ(parts.size(), 5);
    // The HTML-only original is quoted by its text.
    const QString body = parts[0].toObject()["text"].toString().replace("\r\n", "\n");
    EXPECT_TRUE(body.contains("FYI\n\n\n--------\n")) << body.toStdString();
    EXPECT_TRUE(body.contains("--------\n\n\nTwo files")) << body.toStdString();
    const struct
    {
        const char* name;
        QByteArray bytes;
    } expected[] = {{"data.bin", binary},
                    {"table.csv", text},
                    {"attachment", "%PDF-1.4 nameless"},
                    {"notes.txt", "mine"}};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject part = parts[i + 1].toObject();
        EXPECT_EQ(part["filename"].toString(), expected[i].name);
        EXPECT_EQ(QByteArray::fromBase64(part["bytes"].toString().toLatin1()), expected[i].bytes)
            << expected[i].name;
    }
    EXPECT_TRUE(QFile::exists(own)) << "the user's own file is never removed";
}

// The built program as a process of its own: a send over STARTTLS with AUTH
// ends with status 0 once the server accepted the message, every time. (A
// thread of the send still ending while main returned once made the exit
// abort in the C library's malloc, after the message was accepted: a script
// trusting the status then sends it twice.)
TEST_F(SendCommandTest, ProgramEndsWithZeroOnceTheServerAcceptedTheMessage)
{
    const QString program = QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora");
    if (!QFile::exists(program))
        GTEST_SKIP() << "the program is not built";
    vm::test::TestPki& pki = vm::test::TestPki::Shared();
    ASSERT_TRUE(pki.Ok()) << pki.Error().toStdString();
    vmtest::SmtpSink sink({"--cert", pki.ServerCertPath(), "--key", pki.ServerKeyPath(), "--user",
                           "work", "--password", "pw", "--auth-required", "--require-tls"});
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    WriteAccount(sink.Port(), "127.0.0.1", 2, {}, "pw");
    QFile trust(dataDir_->path() + "/certificates.ini");
    ASSERT_TRUE(trust.open(QIODevice::WriteOnly));
    trust.write(QStringLiteral("[Certificates]\n127.0.0.1:%1 = %2\n")
                    .arg(sink.Port())
                    .arg(CertificateFingerprint(pki.ServerCertificate()))
                    .toUtf8());
    trust.close();

    constexpr int kRuns = 4;
    for (int i = 1; i <= kRuns; ++i) {
        QProcess p;
        p.start(program, {"--data-dir", dataDir_->path(), "--send", "--account", "work", "--to",
                          "bob@example.com", "--subject", QStringLiteral("run %1").arg(i),
                          "--body", "b"});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QByteArray err = p.readAllStandardError();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << err.constData();
        EXPECT_EQ(p.exitCode(), 0) << err.constData();
        EXPECT_TRUE(p.readAllStandardOutput().startsWith("250 ")) << err.constData();
        EXPECT_EQ(sink.Count(), i);
    }
    ASSERT_EQ(sink.Count(), kRuns);
    EXPECT_TRUE(sink.Envelope(kRuns)["tls"].toBool());
    QFile::remove(dataDir_->path() + "/certificates.ini");
}
