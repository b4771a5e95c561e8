// The write commands' entry point: a reply or forward opens a compose
// window with the prepared message (and sends it threaded), or, for an
// account that does not send through Velmora, goes to the desktop's mail
// client.

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "ComposeFixtures.h"
#include "config/Settings.h"
#include "core/Messages.h"
#include "core/TempDir.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "send/MailClientHandoff.h"
#include "send/ReplyMessage.h"
#include "send/SmtpSink.h"
#include "support/TestFiles.h"
#include "ui/compose/AddressInput.h"
#include "ui/compose/ComposeWindow.h"
#include "ui/compose/Composition.h"

using namespace vm;

namespace {

const QByteArray kAttachment = QByteArray("\x00\x01\xff\r\n.\r\n", 8).repeated(100);

MessageRecord Original()
{
    MessageRecord m;
    m.raw = "From: Ann <ann@example.com>\r\n"
            "To: anna@example.org\r\n"
            "Subject: Files\r\n"
            "Message-ID: <files-1@example.com>\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: multipart/mixed; boundary=BB\r\n\r\n"
            "--BB\r\nContent-Type: text/plain\r\n\r\nKeep <b>this</b> as it is\r\n"
            "--BB\r\nContent-Type: application/octet-stream\r\n"
            "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n" +
            kAttachment.toBase64() + "\r\n--BB--\r\n";
    m.headersOnly = false;
    return m;
}

class CompositionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vmtest::EnsureComposeApp();
        SetMessageService(&messages);
        account = new MailAccount(&Accounts());
        account->FromAddress() = "anna@example.org";
        account->SmtpLogin() = "anna";
        account->SmtpServer() = "127.0.0.1";
        account->SmtpAuthentication() = false;
        account->SendViaThisProgram() = true;
        Accounts().Add(account);
    }
    void TearDown() override
    {
        messages.answer = [](const MessageRequest&) { return MsgAnswer::Yes; };
        ComposeWindow::CloseAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Accounts().Clear();
        SetMessageService(nullptr);
    }
    // Folders left behind by extractions in the private temporary folder.
    static QStringList ExtractFolders()
    {
        return QDir(TempDirPath()).entryList({"extract-*"}, QDir::Dirs);
    }

    RecordingMessageService messages;
    MailAccount* account = nullptr;
};

} // namespace

TEST_F(CompositionTest, ReplyOpensTheWindowAndSendsThreaded)
{
    vmtest::SmtpSink sink;
    ASSERT_TRUE(sink.Ok()) << sink.Error().toStdString();
    account->SmtpPort() = sink.Port();
    AppSettings().ComposeMessageFormatted = true;
    const MessageRecord original = Original();

    OpenComposition(&original, account, ckReply);
    ASSERT_EQ(ComposeWindow::OpenWindows().size(), 1);
    ComposeWindow* w = ComposeWindow::OpenWindows().first();
    ASSERT_GE(w->AddressInputFrame->CompletedCount(), 1);
    EXPECT_EQ(w->AddressInputFrame->Completed(0).FullText(), "Ann <ann@example.com>");
    EXPECT_EQ(w->ESubject->text(), "Re: Files");
    // The quote goes in as plain text, also in the formatted editor.
    EXPECT_TRUE(w->RichEditor->toPlainText().contains("\nKeep <b>this</b> as it is"))
        << w->RichEditor->toPlainText().toStdString();
    // The original's file now lives in the window's own folder; the folder
    // it was extracted into is gone.
    const QList<ComposeWindow::Attachment> files = w->Attachments();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].temporary);
    EXPECT_TRUE(files[0].path.startsWith(w->PrivateFolder() + "/")) << files[0].path;
    EXPECT_EQ(vm::test::ReadFile(files[0].path), kAttachment);
    EXPECT_TRUE(ExtractFolders().isEmpty()) << ExtractFolders().join(", ").toStdString();

    QPointer<ComposeWindow> alive(w);
    w->BSend->click();
    ASSERT_TRUE(QTest::qWaitFor([&alive] { return alive.isNull(); }, 20000));
    ASSERT_EQ(sink.Count(), 1);
    const QByteArray sent = sink.Message(1);
    EXPECT_TRUE(sent.contains("\r\nIn-Reply-To: <files-1@example.com>\r\n")) << sent.constData();
    EXPECT_TRUE(sent.contains("\r\nReferences: <files-1@example.com>\r\n")) << sent.constData();
}

// An account that does not send through Velmora: the prepared message goes
// to xdg-email (a recording fake first on PATH); a forward gives the client
// the original's file, a reply its recipient and no files.
TEST_F(CompositionTest, OtherAccountsHandOffToTheMailClient)
{
    QTemporaryDir tmp;
    const QString bin = tmp.filePath("bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    const QString record = tmp.filePath("args");
    vm::test::WriteFile(bin + "/xdg-email",
                        "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" +
                            record.toUtf8() + "'\n");
    QFile::setPermissions(bin + "/xdg-email",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    qputenv("PATH", bin.toUtf8() + ":" + oldPath);
    qputenv("XDG_CACHE_HOME", tmp.filePath("cache").toUtf8());
    account->SendViaThisProgram() = false;
    const MessageRecord original = Original();

    auto handOff = [&](int kind) {
        QFile::remove(record);
        OpenComposition(&original, account, kind);
        EXPECT_TRUE(QTest::qWaitFor([] { return !XdgEmailRun::AnyRunning(); }, 30000));
        QByteArray all = vm::test::ReadFile(record);
        all.chop(1);
        QStringList args;
        for (const QByteArray& a : all.split('\0'))
            args.append(QString::fromUtf8(a));
        return args;
    };

    const QStringList forward = handOff(ckForward);
    ASSERT_TRUE(forward.contains("--attach")) << forward.join(" ").toStdString();
    const QString staged = forward[forward.indexOf("--attach") + 1];
    EXPECT_TRUE(staged.startsWith(tmp.filePath("cache/velmora/handoff/"))) << staged;
    EXPECT_TRUE(staged.endsWith("/data.bin")) << staged;
    EXPECT_EQ(vm::test::ReadFile(staged), kAttachment);
    EXPECT_EQ(forward[forward.indexOf("--subject") + 1], "Fwd: Files");
    EXPECT_FALSE(forward.contains("ann@example.com"));

    const QStringList reply = handOff(ckReply);
    EXPECT_FALSE(reply.contains("--attach")) << reply.join(" ").toStdString();
    EXPECT_EQ(reply.last(), "ann@example.com");
    EXPECT_EQ(reply[reply.indexOf("--subject") + 1], "Re: Files");
    EXPECT_TRUE(reply[reply.indexOf("--body") + 1].contains("\nKeep <b>this</b> as it is"));

    EXPECT_TRUE(ComposeWindow::OpenWindows().isEmpty());
    EXPECT_TRUE(ExtractFolders().isEmpty()) << ExtractFolders().join(", ").toStdString();
    EXPECT_TRUE(messages.shown.isEmpty());
    qputenv("PATH", oldPath);
    qputenv("XDG_CACHE_HOME", oldCache);
}

// The caption says what the window writes: a reply, a reply to all, a
// forward or a new message, from the account's address.
TEST_F(CompositionTest, CaptionsSayReplyOrForward)
{
    const MessageRecord original = Original();
    const struct
    {
        int kind;
        const char* caption;
    } cases[] = {
        {ckReply, "Reply from anna@example.org"},
        {ckReplyToAll, "Reply to all from anna@example.org"},
        {ckForward, "Forward from anna@example.org"},
        {ckNew, "New message from anna@example.org"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        OpenComposition(&original, account, c.kind);
        ASSERT_EQ(ComposeWindow::OpenWindows().size(), 1);
        ComposeWindow* w = ComposeWindow::OpenWindows().first();
        EXPECT_EQ(w->windowTitle(), c.caption);
        // Choosing the sender again keeps the kind in the caption.
        w->CBSender->setCurrentIndex(-1);
        w->CBSender->setCurrentIndex(0);
        EXPECT_EQ(w->windowTitle(), c.caption);
        messages.answer = [](const MessageRequest&) { return MsgAnswer::Yes; };
        ComposeWindow::CloseAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
