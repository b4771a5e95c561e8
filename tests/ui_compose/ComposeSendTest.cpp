// Messages composed in the window, sent through the aiosmtpd sink and read
// back with Python's email package.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include "ComposeFixtures.h"
#include "core/Messages.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "send/SmtpSink.h"
#include "send/TestUtil.h"
#include "support/fake_smtp.h"
#include "ui/common/CharsetEncodingFrame.h"
#include "ui/compose/AddressInput.h"
#include "ui/compose/ComposeWindow.h"

using namespace vm;

namespace {

class ComposeSendTest : public vmtest::ComposeTest
{
protected:
    void SetUp() override
    {
        ComposeTest::SetUp();
        // Two attachments: every byte value, and a text file.
        for (int i = 0; i < 256; ++i)
            binary.append(char(i));
        binary.append(binary);
        text = "line one\r\nline two\r\n";
        binaryPath = Write("data.bin", binary);
        textPath = Write("notes.txt", text);
    }
    QString Write(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.path() + QLatin1Char('/') + QLatin1String(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // A window addressed to a To, a Cc and a Bcc recipient.
    ComposeWindow* Compose(const QString& subject)
    {
        MessageData d;
        d.subject = subject;
        d.recipients = {EmailAddress(QString::fromUtf8("Bob Łoś"), "bob@example.com", 1),
                        EmailAddress(QString(), "carol@example.com", 2),
                        EmailAddress(QString(), "hidden@example.com", 3)};
        return ComposeWindow::Open(d, account);
    }
    static QByteArray PartBytes(const QJsonObject& part)
    {
        return QByteArray::fromBase64(part["bytes"].toString().toLatin1());
    }
    void ExpectAttachments(const QJsonArray& parts)
    {
        ASSERT_EQ(parts.size(), 3);
        EXPECT_EQ(parts[1].toObject()["filename"].toString(), "data.bin");
        EXPECT_EQ(PartBytes(parts[1].toObject()), binary);
        EXPECT_EQ(parts[2].toObject()["filename"].toString(), "notes.txt");
        EXPECT_EQ(PartBytes(parts[2].toObject()), text);
    }
    void ExpectEnvelope(const vmtest::SmtpSink& sink, int n)
    {
        const QJsonObject env = sink.Envelope(n);
        EXPECT_EQ(env["rcpt_tos"].toArray(),
                  QJsonArray({"bob@example.com", "carol@example.com", "hidden@example.com"}));
        EXPECT_FALSE(sink.Message(n).contains("hidden@example.com"));
    }

    QTemporaryDir dir;
    QByteArray binary;
    QByteArray text;
    QString binaryPath;
    QString textPath;
};

// Sends and waits until the window has closed itself after "Sent"; false
// when it is still open.
bool SendAndWaitForClose(ComposeWindow* w)
{
    QPointer<ComposeWindow> p(w);
    w->BSend->click();
    return QTest::qWaitFor([&p] { return p.isNull(); }, 20000);
}

} // namespace

TEST_F(ComposeSendTest, PlainUtf8MessageWithAttachmentsAndBcc)
{
    vmtest::SmtpSink sink;
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    account->SmtpPort() = sink.Port();
    const QString subject = QString::fromUtf8("Zażółć — test ✓");
    const QString body = QString::fromUtf8("Dzień dobry,\n  two blanks & <tags>\nΩ €");
    ComposeWindow* w = Compose(subject);
    w->CBEditorMode->setCurrentIndex(1);
    w->EncodingFrame->SelectCharset(12);
    w->Memo->setPlainText(body);
    w->AddAttachments({binaryPath, textPath});
    EXPECT_TRUE(SendAndWaitForClose(w));
    for (const MessageRequest& m : messages.shown)
        ADD_FAILURE() << m.text.toStdString();

    ASSERT_EQ(sink.Count(), 1);
    ExpectEnvelope(sink, 1);
    const QJsonObject p = vmtest::ParseWithPython(sink.Message(1));
    EXPECT_EQ(p["subject"].toString(), subject);
    EXPECT_EQ(p["to"].toArray()[0].toArray()[0].toString(), QString::fromUtf8("Bob Łoś"));
    EXPECT_EQ(p["cc"].toArray()[0].toArray()[1].toString(), "carol@example.com");
    EXPECT_TRUE(p["defects"].toArray().isEmpty());
    const QJsonArray parts = p["parts"].toArray();
    ASSERT_FALSE(parts.isEmpty());
    const QJsonObject textPart = parts[0].toObject();
    EXPECT_EQ(textPart["content_type"].toString(), "text/plain");
    EXPECT_EQ(textPart["charset"].toString(), "utf-8");
    QString got = textPart["text"].toString();
    got.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(got.trimmed(), body);
    ExpectAttachments(parts);
}

TEST_F(ComposeSendTest, FormattedIso88592Message)
{
    vmtest::SmtpSink sink;
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    account->SmtpPort() = sink.Port();
    const QString subject = QString::fromUtf8("Žluťoučký kůň");
    ComposeWindow* w = Compose(subject);
    w->CBEditorMode->setCurrentIndex(0);
    w->EncodingFrame->SelectCharset(2); // ISO-8859-2
    w->AddAttachments({binaryPath, textPath});

    // Typed through the tool bar: bold, italic, a colour, then a list.
    QTextEdit* e = w->RichEditor;
    e->setFocus();
    QTest::keyClicks(e, QStringLiteral("Plain "));
    w->SBBold->click();
    QTest::keyClicks(e, QStringLiteral("bold"));
    w->SBBold->click();
    QTest::keyClicks(e, QStringLiteral(" "));
    QTest::keyClick(e, Qt::Key_I, Qt::ControlModifier);
    QTest::keyClicks(e, QStringLiteral("kursywa "));
    e->insertPlainText(QString::fromUtf8("łódź"));
    QTest::keyClick(e, Qt::Key_I, Qt::ControlModifier);
    QTextCharFormat red;
    red.setForeground(QColor(0xFF, 0x00, 0x00));
    e->textCursor().insertText(QStringLiteral(" red"), red);
    QTest::keyClick(e, Qt::Key_Return);
    w->SBBullets->click();
    QTest::keyClicks(e, QStringLiteral("first "));
    e->insertPlainText(QString::fromUtf8("€"));
    QTest::keyClicks(e, QStringLiteral(" item"));
    QTest::keyClick(e, Qt::Key_Return);
    QTest::keyClicks(e, QStringLiteral("second"));
    // VELMORA_SCREENSHOT_DIR=DIR keeps a picture of the window for the README.
    const QString shots = qEnvironmentVariable("VELMORA_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        w->grab().save(shots + QStringLiteral("/screenshot-compose.png"));
    EXPECT_TRUE(SendAndWaitForClose(w));
    EXPECT_TRUE(messages.shown.isEmpty());

    ASSERT_EQ(sink.Count(), 1);
    ExpectEnvelope(sink, 1);
    const QJsonObject p = vmtest::ParseWithPython(sink.Message(1));
    EXPECT_EQ(p["subject"].toString(), subject);
    const QJsonArray parts = p["parts"].toArray();
    ASSERT_FALSE(parts.isEmpty());
    const QJsonObject html = parts[0].toObject();
    EXPECT_EQ(html["content_type"].toString(), "text/html");
    EXPECT_EQ(html["charset"].toString(), "iso-8859-2");
    const QString h = html["text"].toString();
    EXPECT_TRUE(h.contains(QStringLiteral("<B>bold</B>"))) << h;
    EXPECT_TRUE(h.contains(QString::fromUtf8("<I>kursywa&#32;łódź</I>"))) << h;
    EXPECT_TRUE(h.contains(QStringLiteral("color: #FF0000;"))) << h;
    // The euro sign is not in ISO-8859-2: a reference, not "?".
    EXPECT_TRUE(h.contains(QStringLiteral("first&#32;&#8364;&#32;item"))) << h;
    EXPECT_EQ(h.count(QStringLiteral("<UL><LI")), 1) << h;
    EXPECT_EQ(h.count(QStringLiteral("<LI ")), 2) << h;
    EXPECT_TRUE(h.contains(QStringLiteral("</LI></UL>"))) << h;
    ExpectAttachments(parts);
}

// A failed attempt keeps every attachment, including the files the window
// owns, and the second Send delivers them.
TEST_F(ComposeSendTest, SecondSendAfterAFailureDeliversTheAttachments)
{
    MessageData d;
    d.subject = QStringLiteral("Retry");
    d.recipients = {EmailAddress(QString(), "bob@example.com", 1)};
    const QString handed = Write("handed.bin", binary); // taken over by the window
    d.attachments = {handed};
    ComposeWindow* w = ComposeWindow::Open(d, account);
    w->AddAttachments({textPath});
    w->CBEditorMode->setCurrentIndex(1);
    w->Memo->setPlainText(QStringLiteral("Body"));

    account->SmtpPort() = 1; // refused
    w->BSend->click();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
    EXPECT_FALSE(w->Sending());
    EXPECT_TRUE(w->BSend->isEnabled());
    for (const ComposeWindow::Attachment& a : w->Attachments())
        EXPECT_TRUE(QFile::exists(a.path)) << a.path.toStdString();

    vmtest::SmtpSink sink;
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    account->SmtpPort() = sink.Port();
    messages.shown.clear();
    EXPECT_TRUE(SendAndWaitForClose(w));
    EXPECT_TRUE(messages.shown.isEmpty()); // closed as sent, without the close question
    ASSERT_EQ(sink.Count(), 1);
    const QJsonArray parts = vmtest::ParseWithPython(sink.Message(1))["parts"].toArray();
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(parts[1].toObject()["filename"].toString(), "handed.bin");
    EXPECT_EQ(PartBytes(parts[1].toObject()), binary);
    EXPECT_EQ(PartBytes(parts[2].toObject()), text);
}

// While sending every input is disabled and Cancel reads Stop; Stop ends the
// send at once and the window goes back to idle, open and unchanged.
TEST_F(ComposeSendTest, StopEndsASendAndTheWindowStaysOpen)
{
    vm::test::FakeSmtpServer::Config cfg;
    cfg.greetingDelayMs = -1; // never greets
    vm::test::FakeSmtpServer server(cfg);
    server.Start();
    account->SmtpPort() = server.Port();
    MessageData d;
    d.subject = QStringLiteral("Stopped");
    d.recipients = {EmailAddress(QString(), "bob@example.com", 1)};
    ComposeWindow* w = ComposeWindow::Open(d, account);
    QPointer<ComposeWindow> p(w);
    bool sawSendingState = false;
    bool hourglassOnWindowOnly = false;
    QTimer::singleShot(300, w, [w, &sawSendingState, &hourglassOnWindowOnly] {
        sawSendingState = w->Sending() && !w->BSend->isEnabled() && !w->ESubject->isEnabled() &&
                          !w->AddressInputFrame->isEnabled() && w->BCancel->text() == "Stop";
        // The hourglass over this window and its panels, not over the
        // program (the main window and other compose windows).
        hourglassOnWindowOnly = w->cursor().shape() == Qt::WaitCursor &&
                                w->PEditor->cursor().shape() == Qt::WaitCursor &&
                                w->PBottom->cursor().shape() == Qt::WaitCursor &&
                                QApplication::overrideCursor() == nullptr;
        w->BCancel->click();
    });
    w->BSend->click();
    EXPECT_TRUE(sawSendingState);
    EXPECT_TRUE(hourglassOnWindowOnly);
    ASSERT_TRUE(p);
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(w->PEditor->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(w->Sending());
    EXPECT_EQ(w->BCancel->text(), "Cancel");
    EXPECT_TRUE(w->BSend->isEnabled());
    EXPECT_TRUE(w->ESubject->isEnabled());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].text, "Aborted on demand.");
    EXPECT_EQ(w->ESubject->text(), "Stopped");
}
