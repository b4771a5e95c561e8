// The compose window driven offscreen: the checks before sending, the editor
// modes, attachments, closing and a removed account.

#include "ui/compose/ComposeWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QToolBar>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>

#include "ComposeFixtures.h"
#include "config/Settings.h"
#include "core/Messages.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "ui/common/CharsetEncodingFrame.h"
#include "ui/compose/AddressInput.h"
#include "ui/view/AttachmentActions.h"

using namespace vm;

namespace {

class ComposeWindowTest : public vmtest::ComposeTest
{
protected:
    void SetUp() override
    {
        ComposeTest::SetUp();
        account->SmtpPort() = 1; // nothing listens; the checks stop before sending
    }
    ComposeWindow* Open(const MessageData& data = {})
    {
        ComposeWindow* w = ComposeWindow::Open(data, account);
        return w;
    }
    QStringList Shown() const
    {
        QStringList t;
        for (const MessageRequest& m : messages.shown)
            t.append(m.text);
        return t;
    }
    QString WriteFile(const QString& name, qint64 size)
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
        return path;
    }

    QTemporaryDir dir;
};

MessageData Addressed(const QString& to = QStringLiteral("bob@example.com"))
{
    MessageData d;
    d.subject = QStringLiteral("Hello");
    d.recipients = {EmailAddress(QString(), to, 1)};
    return d;
}

} // namespace

TEST_F(ComposeWindowTest, OpensWithTheAccountAndAnEmptyToRow)
{
    ComposeWindow* w = Open();
    EXPECT_EQ(w->windowTitle(), "New message from anna@example.org");
    EXPECT_EQ(w->CBSender->count(), 1);
    EXPECT_EQ(w->CBSender->currentIndex(), 0);
    EXPECT_EQ(w->AddressInputFrame->RowCount(), 2);
    EXPECT_FALSE(w->AddressInputFrame->Row(0)->IsNewRecipientRow());
    EXPECT_EQ(w->AddressInputFrame->CompletedCount(), 0);
    EXPECT_EQ(w->CBPriority->currentIndex(), 2);
    EXPECT_EQ(w->EncodingFrame->SelectedCharset(), AppSettings().ComposeMessageEncoding);
    EXPECT_EQ(w->StatusText->text(), "Ready");
    EXPECT_TRUE(w->BSend->isEnabled());
}

// Every check before sending stops with its message and leaves the window
// idle and unchanged.
TEST_F(ComposeWindowTest, ChecksBeforeSending)
{
    struct Case
    {
        const char* name;
        std::function<void(ComposeWindow&)> prepare;
        QString shown; // start of the message shown
    };
    const Case cases[] = {
        {"a subject of blanks is empty",
         [](ComposeWindow& w) { w.ESubject->setText(QStringLiteral("   ")); },
         QStringLiteral("You haven't entered any subject")},
        {"rows that are not completed do not count",
         [](ComposeWindow& w) {
             w.AddressInputFrame->CompletedRow(0)->Edit->setText(QStringLiteral("  "));
         },
         QStringLiteral("You must enter at least one addressee.")},
        {"a row with two addresses is named",
         [](ComposeWindow& w) {
             w.AddressInputFrame->AddRecipient(
                 EmailAddress(QString(), QStringLiteral("x@example.com, y@example.com")));
         },
         QStringLiteral("\"x@example.com, y@example.com\" is not one valid")},
        {"a bare name is named",
         [](ComposeWindow& w) {
             w.AddressInputFrame->AddRecipient(EmailAddress(QString(), QStringLiteral("Bob")));
         },
         QStringLiteral("\"Bob\" is not one valid")},
        {"a pasted image is refused",
         [](ComposeWindow& w) {
             w.CBEditorMode->setCurrentIndex(0);
             QTextImageFormat image;
             image.setName(QStringLiteral("data:image/png;base64,AAAA"));
             w.RichEditor->textCursor().insertImage(image);
         },
         QStringLiteral("The message contains pictures")},
        {"characters the charset cannot hold: Yes goes back to choose another",
         [](ComposeWindow& w) {
             w.CBEditorMode->setCurrentIndex(1);
             w.EncodingFrame->SelectCharset(1);
             w.Memo->setPlainText(QStringLiteral("\u20AC 5"));
         },
         QStringLiteral("This message contains some characters")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.shown.clear();
        // Questions are answered No, except the charset question (Yes stops).
        messages.answer = [](const MessageRequest& r) {
            return r.text.startsWith(QStringLiteral("This message contains")) ? MsgAnswer::Yes
                   : r.buttons == MsgButtons::YesNo                           ? MsgAnswer::No
                                                                              : MsgAnswer::Ok;
        };
        ComposeWindow* w = Open(Addressed());
        c.prepare(*w);
        w->BSend->click();
        ASSERT_EQ(messages.shown.size(), 1) << Shown().join('|').toStdString();
        EXPECT_TRUE(Shown().first().startsWith(c.shown)) << Shown().first().toStdString();
        EXPECT_FALSE(w->Sending());
        EXPECT_EQ(w->StatusText->text(), "Ready");
        EXPECT_TRUE(w->BSend->isEnabled());
        messages.answer = nullptr;
        w->close();
    }
}

TEST_F(ComposeWindowTest, ModeSwitchKeepsTextAndDropsFormatting)
{
    ComposeWindow* w = Open();
    w->CBEditorMode->setCurrentIndex(0);
    ASSERT_TRUE(w->Formatted());
    QTextCursor c = w->RichEditor->textCursor();
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral("plain "));
    c.insertText(QStringLiteral("bold"), bold);
    w->CBEditorMode->setCurrentIndex(1);
    EXPECT_FALSE(w->Formatted());
    EXPECT_TRUE(w->Memo->isVisibleTo(w));
    EXPECT_FALSE(w->RichEditor->isVisibleTo(w));
    EXPECT_EQ(w->Memo->toPlainText(), "plain bold");
    EXPECT_TRUE(QFontInfo(w->Memo->font()).fixedPitch());
    EXPECT_EQ(w->BodyForSending(), "plain bold");
    EXPECT_FALSE(w->ToolBar->isEnabled());
    w->CBEditorMode->setCurrentIndex(0);
    EXPECT_TRUE(w->ToolBar->isEnabled());
    EXPECT_EQ(w->RichEditor->toPlainText(), "plain bold");
    EXPECT_FALSE(w->BodyForSending().contains(QStringLiteral("<B>")));
}

// A size typed into the size box applies to the selection on Enter and
// when the box loses the focus, normalised and without joining the list; a
// size of the list applies as well.
TEST_F(ComposeWindowTest, TypedFontSizeAppliesOnEnterAndWhenLeavingTheBox)
{
    ComposeWindow* w = Open(Addressed());
    w->CBEditorMode->setCurrentIndex(0);
    ASSERT_TRUE(w->Formatted());
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w, 20000));
    const int listed = w->CBFontSize->count();
    struct Case
    {
        const char* name;
        const char* typed;
        bool enter; // else the focus moves to the editor
        double size;
    };
    for (const Case& c : {Case{"Enter", "13", true, 13}, Case{"leaving the box", "-15", false, 15},
                          Case{"a listed size", "24", true, 24}}) {
        SCOPED_TRACE(c.name);
        w->RichEditor->setPlainText(QStringLiteral("some text"));
        w->RichEditor->selectAll();
        QLineEdit* box = w->CBFontSize->lineEdit();
        box->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([box] { return box->hasFocus(); }, 5000));
        box->selectAll();
        QTest::keyClicks(box, QLatin1String(c.typed));
        if (c.enter)
            QTest::keyClick(box, Qt::Key_Return);
        else
            w->RichEditor->setFocus();
        QTextCursor at(w->RichEditor->document());
        at.setPosition(4);
        EXPECT_EQ(at.charFormat().fontPointSize(), c.size);
        EXPECT_EQ(w->CBFontSize->currentText(), QString::number(c.size));
        EXPECT_EQ(w->CBFontSize->count(), listed);
    }
}

TEST_F(ComposeWindowTest, AttachmentsListSizesAndDuplicates)
{
    ComposeWindow* w = Open();
    QDir(dir.path()).mkdir(QStringLiteral("other"));
    const QString a0 = WriteFile("zero.bin", 0);
    const QString a511 = WriteFile("s511.bin", 511);
    const QString a512 = WriteFile("s512.bin", 512);
    const QString a1536 = WriteFile("s1536.bin", 1536);
    const QString same1 = WriteFile("same.txt", 3);
    const QString same2 = WriteFile("other/same.txt", 3);
    const QString missing = dir.path() + QStringLiteral("/missing.txt");
    w->AddAttachments({a0, a511, a512, a1536, a0, same1, same2, missing});
    EXPECT_TRUE(w->CBAttachments->isChecked());
    QStringList rows;
    for (int i = 0; i < w->LAttachments->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = w->LAttachments->topLevelItem(i);
        rows.append(item->text(0) + QLatin1Char(' ') + item->text(1));
    }
    EXPECT_EQ(rows, QStringList({"zero.bin 0KB", "s511.bin 0KB", "s512.bin 1KB", "s1536.bin 2KB",
                                 "same.txt 0KB", "same.txt 0KB", "missing.txt ???"}));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Warning);
    EXPECT_TRUE(messages.shown[0].text.startsWith("Can't gain access to file"));

    // Remove works on the selection only; the user's files stay on disk.
    EXPECT_FALSE(w->ADeleteAttachment->isEnabled());
    w->LAttachments->topLevelItem(0)->setSelected(true);
    w->LAttachments->topLevelItem(6)->setSelected(true);
    EXPECT_TRUE(w->ADeleteAttachment->isEnabled());
    w->ADeleteAttachment->trigger();
    EXPECT_EQ(w->LAttachments->topLevelItemCount(), 5);
    EXPECT_TRUE(QFile::exists(a0));
}

// Opening an attachment from the list asks first, as the message's
// attachment lists do, when the file could run code: by its name (a Java
// launch file taken from a forwarded message) or by its first bytes.
TEST_F(ComposeWindowTest, OpeningAnAttachmentThatCouldRunCodeAsksFirst)
{
    QStringList opened;
    AttachmentDesktop desktop;
    desktop.open = [&opened](const QString& path) {
        opened.append(path);
        return true;
    };
    SetAttachmentDesktop(desktop);
    const struct
    {
        const char* name;
        QByteArray content;
        bool temporary; // handed over by a reply or forward
        MsgAnswer answer;
        bool warned, openedIt;
    } cases[] = {
        {"app.jnlp", "<?xml version=\"1.0\"?><jnlp/>", true, MsgAnswer::No, true, false},
        {"app.jnlp", "<?xml version=\"1.0\"?><jnlp/>", true, MsgAnswer::Yes, true, true},
        {"readme", "#!/bin/sh\nrm -rf ~\n", false, MsgAnswer::No, true, false},
        {"notes.txt", "just text\n", false, MsgAnswer::No, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::number(opened.size()) + "-" + c.name);
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.content);
        }
        MessageData d = Addressed();
        if (c.temporary)
            d.attachments = {path};
        ComposeWindow* w = Open(d);
        if (!c.temporary)
            w->AddAttachments({path});
        messages.shown.clear();
        messages.answer = [&c](const MessageRequest&) { return c.answer; };
        const int before = int(opened.size());
        w->LAttachments->topLevelItem(0)->setSelected(true);
        w->AOpenAttachment->trigger();
        ASSERT_EQ(messages.shown.size(), c.warned ? 1 : 0);
        if (c.warned) {
            EXPECT_EQ(messages.shown[0].icon, MsgIcon::Warning);
            EXPECT_TRUE(messages.shown[0].defaultNo);
        }
        EXPECT_EQ(opened.size() - before, c.openedIt ? 1 : 0);
        messages.answer = [](const MessageRequest&) { return MsgAnswer::Yes; };
        w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    SetAttachmentDesktop({});
}

// Files a reply or forward hands over move into the window's own folder,
// stay there across attempts and go when the window closes; two windows
// never share them.
TEST_F(ComposeWindowTest, HandedOverFilesLiveInAPrivateFolderUntilClose)
{
    QStringList kept;
    QList<ComposeWindow*> windows;
    for (int i = 0; i < 2; ++i) {
        MessageData d = Addressed();
        const QString path = WriteFile(QStringLiteral("report.txt"), 10 + i);
        d.attachments = {path};
        ComposeWindow* w = Open(d);
        windows.append(w);
        ASSERT_EQ(w->Attachments().size(), 1);
        const ComposeWindow::Attachment a = w->Attachments().first();
        EXPECT_TRUE(a.temporary);
        EXPECT_TRUE(a.path.startsWith(w->PrivateFolder() + QLatin1Char('/')));
        EXPECT_TRUE(a.path.endsWith(QStringLiteral("/report.txt")));
        EXPECT_EQ(QFile::permissions(a.path),
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        EXPECT_EQ(QFile(a.path).size(), 10 + i);
        kept.append(a.path);
    }
    EXPECT_NE(kept[0], kept[1]);
    EXPECT_NE(windows[0]->PrivateFolder(), windows[1]->PrivateFolder());
    const QString folder = windows[0]->PrivateFolder();
    windows[0]->close(); // the recording service answers Yes
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(QFile::exists(kept[0]));
    EXPECT_FALSE(QDir(folder).exists());
    EXPECT_TRUE(QFile::exists(kept[1]));
}

TEST_F(ComposeWindowTest, ClosingAsksFirstAndShutdownSeesRefusals)
{
    ComposeWindow* w = Open(Addressed());
    QPointer<ComposeWindow> p(w);
    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    EXPECT_FALSE(ComposeWindow::CloseAll());
    ASSERT_TRUE(p);
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].text.startsWith("Are you sure you want to close this window?"));
    messages.answer = [](const MessageRequest&) { return MsgAnswer::Yes; };
    w->BCancel->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(p);
    EXPECT_TRUE(ComposeWindow::OpenWindows().isEmpty());
    EXPECT_TRUE(ComposeWindow::CloseAll());
}

TEST_F(ComposeWindowTest, RemovedAccountDisablesSend)
{
    ComposeWindow* w = Open(Addressed());
    ASSERT_TRUE(w->BSend->isEnabled());
    Accounts().Delete(account);
    account = nullptr;
    EXPECT_TRUE(QTest::qWaitFor([w] { return !w->BSend->isEnabled(); }, 10000));
    EXPECT_EQ(w->Account(), nullptr);
    EXPECT_EQ(w->CBSender->count(), 0);
    EXPECT_TRUE(w->StatusText->text().contains(QStringLiteral("removed")));
    w->Send(); // does nothing
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_FALSE(w->Sending());
}
