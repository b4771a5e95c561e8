// The message view: where clicked links go, the notice, the switch between
// the page and the plain text box.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "ViewTestSupport.h"
#include "config/Settings.h"
#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "ui/view/HtmlView.h"
#include "ui/view/MessageView.h"

using namespace vmtest;
using vm::MessageView;

namespace {

TEST(MessageViewLinks, OnlyWebAndMailLinksMayLeaveTheProgram)
{
    const struct
    {
        const char* url;
        bool allowed;
    } cases[] = {
        {"http://example.org/page", true},
        {"https://example.org/a?b=1&c=2", true},
        {"HTTPS://EXAMPLE.ORG/", true},
        {"mailto:anna@example.org", true},
        {"mailto:", false},
        {"http:///no-host", false},
        {"file:///etc/passwd", false},
        {"file:///tmp/message1.html", false},
        {"javascript:alert(1)", false},
        {"data:text/html,<b>x</b>", false},
        {"ftp://example.org/file", false},
        {"vnd.custom://run?x", false},
        {"smb://server/share", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageView::MayOpenExternally(QUrl(QString::fromLatin1(c.url))), c.allowed)
            << c.url;
}

class MessageViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureWebApp();
        vm::AppSettings().DHTMLPreview = true;
        vm::AppSettings().GraphicsPreview = true;
        view = new MessageView(QStringLiteral("message1.html"));
        view->resize(800, 600);
        view->show();
        view->composeTo = [this](vm::MailAccount* account, const QString& address) {
            composed.append({account, address});
        };
        view->openExternal = [this](const QUrl& url) { opened.append(url); };
    }
    void TearDown() override
    {
        delete view;
        vm::AppSettings().DHTMLPreview = true;
    }

    // Renders a whole message from its text and waits for the page when one
    // is shown.
    bool Render(const QByteArray& raw)
    {
        vm::MessageRecord record;
        record.raw = raw;
        record.headersOnly = false;
        record.ParseWhole();
        QSignalSpy loaded(view, &MessageView::pageLoaded);
        view->RenderMessage(&record, &account);
        return view->DHTML->isHidden() || WaitUntil([&] { return !loaded.isEmpty(); });
    }
    bool ShowNotice()
    {
        QSignalSpy loaded(view, &MessageView::pageLoaded);
        view->ShowNotice();
        return view->DHTML->isHidden() || WaitUntil([&] { return !loaded.isEmpty(); });
    }
    QWebEnginePage* Page() const { return view->DHTML->Engine()->page(); }

    MessageView* view = nullptr;
    vm::MailAccount account;
    QList<QPair<vm::MailAccount*, QString>> composed;
    QList<QUrl> opened;
};

TEST_F(MessageViewTest, ClickedLinksGoToComposeOrOutsideAndThePageItselfGoesAhead)
{
    ASSERT_TRUE(Render("From: a@example.org\r\nContent-Type: text/plain\r\n\r\nHello\r\n"));
    const QUrl page = QUrl::fromLocalFile(view->PageFilePath());
    const QUrl anchor(page.toString() + "#top");
    const QUrl mail("mailto:bob@example.org?subject=Hi");
    const QUrl web("https://example.org/");

    account.SendViaThisProgram() = true;
    EXPECT_TRUE(view->LinkClicked(anchor));
    EXPECT_FALSE(view->LinkClicked(mail));
    EXPECT_FALSE(view->LinkClicked(web));
    ASSERT_EQ(composed.size(), 1);
    EXPECT_EQ(composed[0].first, &account);
    EXPECT_EQ(composed[0].second, "bob@example.org?subject=Hi");
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], web);

    // An account that sends through another program: the program still
    // writes the message itself (the link never goes out as it stands), and
    // without the hook a mail link does nothing.
    account.SendViaThisProgram() = false;
    composed.clear();
    opened.clear();
    const QUrl hostile("mailto:bob@example.org?attach=/etc/passwd");
    EXPECT_FALSE(view->LinkClicked(hostile));
    ASSERT_EQ(composed.size(), 1);
    EXPECT_EQ(composed[0].second, "bob@example.org?attach=/etc/passwd");
    view->composeTo = nullptr;
    EXPECT_FALSE(view->LinkClicked(hostile));
    EXPECT_EQ(composed.size(), 1);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(MessageViewTest, NoticeAndMessagesShowInTheBoxOrThePageByTheHtmlPreviewSetting)
{
    // Plain mode: the text box, the page hidden.
    vm::AppSettings().DHTMLPreview = false;
    ASSERT_TRUE(ShowNotice());
    EXPECT_TRUE(view->DHTML->isHidden());
    EXPECT_FALSE(view->TextBox->isHidden());
    EXPECT_EQ(view->TextBox->toPlainText(), "\nView inaccessible");
    ASSERT_TRUE(Render("From: a@example.org\r\nContent-Type: text/plain\r\n\r\n"
                       "First line\r\nSecond <line>\r\n"));
    EXPECT_TRUE(view->DHTML->isHidden());
    EXPECT_EQ(view->TextBox->toPlainText().trimmed(), "First line\nSecond <line>");
    EXPECT_FALSE(view->TextBox->textCursor().charFormat().font().bold());
    // The font asked for, not what this machine resolves it to (with the
    // fonts scripts/setup installs; Courier New first where it is installed).
    EXPECT_EQ(view->TextBox->font().family(), QFontDatabase::families().contains("Courier New")
                                                  ? "Courier New"
                                                  : "DejaVu Sans Mono");
    EXPECT_EQ(view->TextBox->font().styleHint(), QFont::TypeWriter);

    // HTML preview: the page, the box hidden.
    vm::AppSettings().DHTMLPreview = true;
    ASSERT_TRUE(ShowNotice());
    EXPECT_FALSE(view->DHTML->isHidden());
    EXPECT_TRUE(view->TextBox->isHidden());
    EXPECT_EQ(PageText(Page()).trimmed(), "View inaccessible");
    ASSERT_TRUE(Render("From: a@example.org\r\nContent-Type: text/plain\r\n\r\n"
                       "First line\r\nSecond <line>\r\n"));
    EXPECT_FALSE(view->DHTML->isHidden());
    EXPECT_TRUE(view->TextBox->isHidden());
    EXPECT_EQ(PageText(Page()).trimmed(), "First line\nSecond <line>");
}

TEST_F(MessageViewTest, AnHtmlMessageWithARemotePictureShowsItsTextAndTheBlockedBar)
{
    RecordingHttpServer server;
    QSignalSpy blocked(view->DHTML, &vm::HtmlView::remoteContentBlocked);
    ASSERT_TRUE(Render("From: a@example.org\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
                       "<p>Newsletter</p><img src=\"" +
                       server.Base().toLatin1() + "/track.svg\">\r\n"));
    EXPECT_EQ(PageText(Page()).trimmed(), "Newsletter");
    ASSERT_TRUE(WaitUntil([&] { return !blocked.isEmpty(); }));
    EXPECT_EQ(server.Connections(), 0);
}

TEST_F(MessageViewTest, InlineAndAttachedPicturesShowFromThePageItself)
{
    const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='3'/>";
    ASSERT_TRUE(Render("From: a@example.org\r\nMIME-Version: 1.0\r\n"
                       "Content-Type: multipart/related; boundary=\"b\"\r\n\r\n"
                       "--b\r\nContent-Type: text/html\r\n\r\n<p>News</p><img id='p' "
                       "src=\"cid:logo@x\">\r\n--b\r\nContent-Type: image/svg+xml; "
                       "name=\"logo.svg\"\r\nContent-ID: <logo@x>\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\n" +
                       svg.toBase64() + "\r\n--b--\r\n"));
    // The inline picture and its copy in the picture block below the text.
    const QString widths = QStringLiteral(
        "Array.from(document.images).map(function(i){return i.naturalWidth;}).join(',')");
    QString seen;
    EXPECT_TRUE(WaitUntil(
        [&] {
            seen = RunAppScript(Page(), widths).toString();
            return seen == "4,4";
        },
        10000))
        << seen.toStdString();
    EXPECT_FALSE(view->DHTML->RemoteContentBlocked());
    const QStringList beside =
        QDir(QFileInfo(view->PageFilePath()).path()).entryList({"_*"}, QDir::Files);
    EXPECT_TRUE(beside.isEmpty()) << beside.join(' ').toStdString();
}

TEST_F(MessageViewTest, ARightClickOnThePageShowsTheViewMenu)
{
    ASSERT_TRUE(Render("From: a@example.org\r\nContent-Type: text/plain\r\n\r\nHello\r\n"));
    QWidget* target = view->DHTML->Engine()->focusProxy();
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::RightButton, {}, QPoint(20, 20));
    ASSERT_TRUE(WaitUntil([&] { return view->DHTML->popDHTML->isVisible(); }, 10000));
    EXPECT_TRUE(view->DHTML->popDHTMLSelectAll->isEnabled());
    view->DHTML->popDHTML->hide();
}

} // namespace
