// Return receipts below the windows: the disposition notification as a
// receiving program reads it (Python's email package), and the whole send
// with its outcomes against the aiosmtpd sink and the fake server.

#include "send/ReceiptMessage.h"
#include "send/ReceiptSender.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>

#include <gtest/gtest.h>

#include "TestUtil.h"

#include "SmtpSink.h"
#include "core/Messages.h"
#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "net/PasswordPrompt.h"
#include "ops/ErrorList.h"
#include "ops/OperationReport.h"
#include "send/MimeWriter.h"
#include "send/OutgoingMessage.h"
#include "send/SmtpClient.h"
#include "support/TestPki.h"
#include "support/fake_smtp.h"

using namespace vm;
using vm::test::FakeSmtpServer;
using vmtest::SmtpSink;

namespace {

// The report as Python's email package sees it.
QJsonObject ParseReport(const QByteArray& message)
{
    return vmtest::ParseWithPythonScript(message, "parse_report.py");
}

// The Date header of a local time, so the expected text does not depend on
// the machine's zone.
QByteArray LocalDateHeader(const QDateTime& local)
{
    return "Date: " + local.toString(Qt::RFC2822Date).toLatin1() + "\r\n";
}

MessageRecord WholeMessage(const QByteArray& header)
{
    MessageRecord m;
    m.UID = "u1";
    m.headersOnly = false;
    m.raw = header + "\r\nHello\r\n";
    m.ParseWhole();
    m.receiptState = 1;
    return m;
}

void FillAccount(MailAccount& a)
{
    a.FromAddress() = "anna@example.org";
    a.SenderName() = "Anna";
    a.SmtpLogin() = "anna";
    a.SmtpServer() = "127.0.0.1";
    a.SendViaThisProgram() = true;
}

const QString kSubject =
    QString::fromUtf8("\xc5\xbdlu\xc5\xa5ou\xc4\x8dk\xc3\xbd k\xc5\xaf\xc5\x88");

std::string Json(const QJsonArray& a)
{
    return QJsonDocument(a).toJson(QJsonDocument::Compact).toStdString();
}

QJsonArray Field(const char* name, const QString& value)
{
    return QJsonArray{QString::fromLatin1(name), value};
}

} // namespace

TEST(ReceiptMessage, TheNotificationIsAReportThatNamesTheOriginal)
{
    const QDateTime sent(QDate(2024, 3, 5), QTime(14, 5));
    const QDateTime shown(QDate(2025, 1, 9), QTime(8, 7));
    const QString later = QStringLiteral(
        "This receipt says that the message was displayed on recipient's computer on "
        "January 9, 2025 at 0807.");
    const QByteArray common = "From: Bob <bob@example.com>\r\n"
                              "Disposition-Notification-To: Bob <bob@example.com>\r\n" +
                              LocalDateHeader(sent) + "Subject: " + kSubject.toUtf8() + "\r\n";
    struct Case
    {
        const char* name;
        QByteArray header;
        QString sentTo;           // R in the first line
        QList<QJsonArray> fields; // after Reporting-UA
    };
    const QJsonArray finalRecipient = Field("Final-Recipient", "rfc822;anna@example.org");
    const QJsonArray disposition =
        Field("Disposition", "manual-action/MDN-sent-manually; displayed");
    const Case cases[] = {
        {"one Cc and no To: that address",
         "Cc: cc@example.net\r\nMessage-ID: <m1@example.com>\r\n",
         "cc@example.net",
         {finalRecipient, Field("Original-Message-ID", "<m1@example.com>"), disposition}},
        {"two To: the account's own address; no Message-ID, no Original-Message-ID",
         "To: a@example.net, b@example.net\r\n",
         "anna@example.org",
         {finalRecipient, disposition}},
        {"neither To nor Cc",
         "Message-ID: <m3@example.com>\r\n",
         "undisclosed recipients ",
         {finalRecipient, Field("Original-Message-ID", "<m3@example.com>"), disposition}},
        {"a bare CR in the Message-ID does not start a field of its own",
         "To: a@example.net\r\nMessage-ID: <m4@example.com>\rBcc: evil@example.net\r\n",
         "a@example.net",
         {finalRecipient, Field("Original-Message-ID", "<m4@example.com>Bcc: evil@example.net"),
          disposition}},
        {"an Original-Recipient of the message is passed on",
         "To: a@example.net\r\nOriginal-Recipient: rfc822;bob.old@example.net\r\n",
         "a@example.net",
         {Field("Original-Recipient", "rfc822;bob.old@example.net"), finalRecipient, disposition}},
    };

    MailAccount account;
    FillAccount(account);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MessageRecord original = WholeMessage(common + c.header);
        std::unique_ptr<OutgoingMessage> receipt = BuildReceipt(original, account, shown);
        ASSERT_TRUE(receipt);
        const QJsonObject r = ParseReport(WriteMessage(*receipt));

        EXPECT_EQ(r["defects"].toArray(), QJsonArray());
        EXPECT_EQ(r["content_type"].toString(), "multipart/report");
        EXPECT_EQ(r["report_type"].toString(), "disposition-notification");
        EXPECT_EQ(r["parts"].toArray(),
                  QJsonArray({"text/plain", "message/disposition-notification"}));
        // Neither part pretends to be a file.
        EXPECT_EQ(Json(r["file_names"].toArray()), "[null,null]");
        // UTF-8 throughout: no letter of the subject is recoded.
        EXPECT_EQ(r["subject"].toString(), QStringLiteral("Read: ") + kSubject);
        EXPECT_EQ(r["from"].toArray(), QJsonArray({"anna@example.org"}));
        EXPECT_EQ(r["to"].toArray(), QJsonArray({QJsonArray{"Bob", "bob@example.com"}}));
        EXPECT_TRUE(r["message_id"].toString().endsWith("@example.org>"));
        EXPECT_EQ(r["text"].toString().replace("\r\n", "\n").toStdString(),
                  (QStringLiteral("This is a return receipt for the message you sent to ") +
                   c.sentTo + QStringLiteral(" on March 5, 2024 at 1405.\n") + later + "\n")
                      .toStdString());

        QJsonArray fields = r["fields"].toArray();
        ASSERT_FALSE(fields.isEmpty());
        const QJsonArray ua = fields.takeAt(0).toArray();
        EXPECT_EQ(ua[0].toString(), "Reporting-UA");
        EXPECT_TRUE(ua[1].toString().contains("; Velmora ")) << ua[1].toString().toStdString();
        QJsonArray expected;
        for (const QJsonArray& f : c.fields)
            expected.append(f);
        EXPECT_EQ(Json(fields), Json(expected));
    }
}

TEST(ReceiptMessage, TheQuestionFactsFollowTheHeader)
{
    struct Case
    {
        const char* header;
        QByteArray recipient;
        QByteArray returnPath;
        bool elsewhere;
    };
    const Case cases[] = {
        {"Return-Path: <Bob@Example.com>\r\nDisposition-Notification-To: bob@example.com\r\n",
         "bob@example.com", "Bob@Example.com", false},
        {"Return-Path: <bounce@lists.example>\r\n"
         "Disposition-Notification-To: \"Track\" <track@spy.example>, bob@example.com\r\n",
         "track@spy.example", "bounce@lists.example", true},
        {"Disposition-Notification-To: bob@example.com\r\n", "bob@example.com", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const MessageRecord m = WholeMessage(QByteArray("From: bob@example.com\r\n") + c.header);
        EXPECT_EQ(ReceiptRecipient(m).address, c.recipient);
        EXPECT_EQ(ReturnPathAddress(m), c.returnPath);
        EXPECT_EQ(ReceiptGoesElsewhere(m), c.elsewhere);
    }
}

namespace {

class ScriptedPrompt : public PasswordPrompt
{
public:
    bool accept = true;
    int asked = 0;
    PasswordAnswer Ask(const PasswordRequest&) override
    {
        ++asked;
        PasswordAnswer a;
        a.accepted = accept;
        a.password = QStringLiteral("secret");
        return a;
    }
};

class RecordingErrorWindow : public ErrorWindowService
{
public:
    QStringList headers;
    QStringList lines;
    void ShowErrors(const QString& header, const QStringList& l) override
    {
        headers.append(header);
        lines += l;
    }
};

} // namespace

TEST(ReceiptSender, OutcomesOfASend)
{
    vm::test::EnsureCoreApp();
    RecordingMessageService messages;
    ScriptedPrompt prompt;
    RecordingErrorWindow errors;
    SetMessageService(&messages);
    SetPasswordPrompter(&prompt);
    SetErrorWindow(&errors);

    enum Peer { Sink, Silent, Refusing };
    struct Case
    {
        const char* name;
        Peer peer;
        bool askPassword; // the account needs a password and the prompt is cancelled
        bool stop;        // Stop is pressed while the server says nothing
        ReceiptSendResult result;
        int stateAfter;
        QStringList shown;
        int errorLines;
    };
    const Case cases[] = {
        {"sent", Sink, false, false, ReceiptSendResult::Sent, 3, {}, 0},
        {"password prompt cancelled", Sink, true, false, ReceiptSendResult::Cancelled, 1, {}, 0},
        {"stopped", Silent, false, true, ReceiptSendResult::Failed, 1, {"Aborted on demand."}, 0},
        {"refused", Refusing, false, false, ReceiptSendResult::Failed, 1, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.shown.clear();
        errors.headers.clear();
        errors.lines.clear();
        MailAccount account;
        FillAccount(account);
        MessageRecord original =
            WholeMessage("From: Bob <bob@example.com>\r\nTo: anna@example.org\r\n"
                         "Message-ID: <orig@example.com>\r\nSubject: Plan\r\n"
                         "Disposition-Notification-To: Bob <bob@example.com>\r\n");

        std::unique_ptr<SmtpSink> sink;
        std::unique_ptr<FakeSmtpServer> fake;
        if (c.peer == Sink) {
            sink = std::make_unique<SmtpSink>();
            ASSERT_TRUE(sink->Ok()) << sink->Error().toStdString();
            account.SmtpPort() = sink->Port();
        } else {
            FakeSmtpServer::Config cfg;
            if (c.peer == Silent)
                cfg.greetingDelayMs = -1;
            else
                cfg.replyFor["RCPT"] = "550 5.1.1 No such user";
            fake = std::make_unique<FakeSmtpServer>(cfg);
            fake->Start();
            account.SmtpPort() = fake->Port();
        }
        account.SmtpAuthentication() = c.askPassword;
        prompt.accept = !c.askPassword;

        SendOptions options;
        options.silenceLimitSeconds = 60;
        if (c.stop) {
            options.clientChanged = [](SmtpClient* client) {
                if (client)
                    QTimer::singleShot(300, [client] { StopSend(client); });
            };
        }
        EXPECT_EQ(SendReceipt(original, account, options), c.result);
        EXPECT_EQ(original.receiptState, c.stateAfter);
        QStringList shown;
        for (const MessageRequest& m : messages.shown)
            shown.append(m.text);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(errors.lines.size(), c.errorLines) << errors.lines.join("\n").toStdString();
        if (c.errorLines > 0) {
            EXPECT_EQ(errors.headers, QStringList{ErrorWindowHeader(OperationKind::Other)});
            EXPECT_TRUE(errors.lines.first().contains("550")) << errors.lines.first().toStdString();
        }

        if (sink && c.result == ReceiptSendResult::Sent) {
            ASSERT_EQ(sink->Count(), 1);
            EXPECT_EQ(sink->Envelope(1)["rcpt_tos"].toArray(), QJsonArray({"bob@example.com"}));
            const QJsonObject r = ParseReport(sink->Message(1));
            EXPECT_EQ(r["report_type"].toString(), "disposition-notification");
            EXPECT_TRUE(
                r["fields"].toArray().contains(Field("Original-Message-ID", "<orig@example.com>")));
        } else if (sink) {
            EXPECT_EQ(sink->Count(), 0);
        }
    }
    SetErrorWindow(nullptr);
    SetPasswordPrompter(nullptr);
    SetMessageService(nullptr);
}
