// The embedded HTML view with the real engine: what a page may load, what
// its links do, the pop-up menu and the copy keys.

#include <gtest/gtest.h>

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "ViewTestSupport.h"
#include "ui/view/HtmlView.h"

using namespace vmtest;
using vm::HtmlView;

namespace {

const QByteArray kSvg = "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'/>";

class HtmlViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureWebApp();
        ASSERT_TRUE(dir.isValid());
        folder = QDir::cleanPath(dir.path() + "/pages");
        ASSERT_TRUE(QDir().mkpath(folder));
        view = new HtmlView;
        view->SetPageFolder(folder);
        view->resize(800, 600);
        view->show();
    }
    void TearDown() override { delete view; }

    // Writes name into the page folder and loads it; true when it loaded.
    bool Load(const QString& name, const QByteArray& html)
    {
        if (!WriteFile(folder + '/' + name, html))
            return false;
        QSignalSpy finished(view, &HtmlView::loadFinished);
        view->Navigate(folder + '/' + name);
        // A page whose own refresh is refused may also report a failed load.
        return WaitUntil([&] {
            return std::any_of(finished.begin(), finished.end(),
                               [](const QList<QVariant>& args) { return args.at(0).toBool(); });
        });
    }
    QWebEnginePage* Page() const { return view->Engine()->page(); }

    QTemporaryDir dir;
    QString folder;
    HtmlView* view = nullptr;
};

TEST_F(HtmlViewTest, RemoteContentStaysBlockedUntilAllowedForThisPageAndScriptsNeverRun)
{
    RecordingHttpServer server;
    ASSERT_NE(server.Port(), 0);
    const QByteArray base = server.Base().toLatin1();
    const QByteArray html = "<html><head><title>untouched</title>"
                            "<meta http-equiv=\"refresh\" content=\"0;url=" +
                            base +
                            "/refresh.html\">"
                            "<link rel=\"stylesheet\" href=\"" +
                            base +
                            "/style.css\">"
                            "<link rel=\"prefetch\" href=\"" +
                            base +
                            "/prefetch.html\">"
                            "<style>@font-face{font-family:x;src:url(" +
                            base +
                            "/font.woff)} p{font-family:x}</style>"
                            "</head><body><p>Message text</p>"
                            "<img src=\"" +
                            base +
                            "/image.svg\">"
                            "<img src=\"" +
                            base +
                            "/pixel.svg?id=42\" width=\"1\" height=\"1\">"
                            "<iframe src=\"" +
                            base +
                            "/frame.html\"></iframe>"
                            "<script>document.title = 'inline script ran';</script>"
                            "<script src=\"" +
                            base +
                            "/script.js\"></script>"
                            "</body></html>";
    QSignalSpy blocked(view, &HtmlView::remoteContentBlocked);
    ASSERT_TRUE(Load("message1.html", html));
    ASSERT_TRUE(WaitUntil([&] { return !blocked.isEmpty(); }));
    // The refresh and any late request had their chance.
    ASSERT_TRUE(LaterLocalPictureLoads(Page(), folder));
    EXPECT_EQ(server.Connections(), 0) << server.Paths().join(' ').toStdString();
    EXPECT_EQ(Page()->title(), "untouched");
    EXPECT_TRUE(view->RemoteContentBlocked());
    auto* bar = view->findChild<QWidget*>("RemoteContentBar");
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());

    // Shown on request: pictures, styles, frames arrive; scripts and the
    // refresh stay off.
    QSignalSpy finished(view, &HtmlView::loadFinished);
    view->AllowRemoteContent();
    ASSERT_TRUE(WaitUntil([&] { return !finished.isEmpty(); }));
    ASSERT_TRUE(WaitUntil([&] {
        return server.Paths().contains("/image.svg") && server.Paths().contains("/style.css") &&
               server.Paths().contains("/frame.html");
    })) << server.Paths().join(' ').toStdString();
    ASSERT_TRUE(LaterLocalPictureLoads(Page(), folder));
    EXPECT_EQ(Page()->title(), "untouched");
    EXPECT_FALSE(server.Paths().contains("/script.js"));
    EXPECT_FALSE(server.Paths().contains("/refresh.html"));
    EXPECT_FALSE(server.Paths().contains("/prefetch.html"));
    EXPECT_FALSE(bar->isVisible());

    // Not remembered: the next page load blocks again.
    server.Reset();
    blocked.clear();
    ASSERT_TRUE(Load("message1.html", html));
    ASSERT_TRUE(WaitUntil([&] { return !blocked.isEmpty(); }));
    ASSERT_TRUE(LaterLocalPictureLoads(Page(), folder));
    EXPECT_EQ(server.Connections(), 0) << server.Paths().join(' ').toStdString();
    EXPECT_TRUE(bar->isVisible());
}

TEST_F(HtmlViewTest, LocalPicturesLoadOnlyFromThePageFolderOrThePageItself)
{
    ASSERT_TRUE(WriteFile(folder + "/inside.svg", kSvg));
    ASSERT_TRUE(WriteFile(dir.path() + "/outside.svg", kSvg));
    ASSERT_TRUE(QFile::link(dir.path() + "/outside.svg", folder + "/link.svg"));
    ASSERT_TRUE(Load("page.html", "<html><body>"
                                  "<img id='inside' src='inside.svg'>"
                                  "<img id='parent' src='../outside.svg'>"
                                  "<img id='absolute' src='" +
                                      (dir.path() + "/outside.svg").toUtf8() +
                                      "'>"
                                      "<img id='link' src='link.svg'>"
                                      "<img id='data' src='data:image/svg+xml;base64," +
                                      kSvg.toBase64() +
                                      "'>"
                                      "</body></html>"));
    EXPECT_FALSE(view->RemoteContentBlocked());
    const struct
    {
        const char* id;
        int width;
    } cases[] = {{"inside", 4}, {"parent", 0}, {"absolute", 0}, {"link", 0}, {"data", 4}};
    for (const auto& c : cases) {
        // A picture counts once the engine is done with it, loaded or
        // refused; until then the script answers -1.
        const QString script = QStringLiteral("(function(){var e=document.getElementById('%1');"
                                              "return e.complete?e.naturalWidth:-1;})()")
                                   .arg(c.id);
        int width = -1;
        ASSERT_TRUE(WaitUntil(
            [&] {
                const QVariant answer = RunAppScript(Page(), script);
                width = answer.isValid() ? answer.toInt() : -1;
                return width >= 0;
            },
            10000))
            << c.id;
        EXPECT_EQ(width, c.width) << c.id;
    }
}

TEST_F(HtmlViewTest, ClickedLinksGoToTheOwnerAndOnlyWhatItAllowsIsFollowed)
{
    QList<QUrl> asked;
    view->navigationRequested = [&](const QUrl& url) {
        asked.append(url);
        return url.fileName() == "second.html";
    };
    ASSERT_TRUE(WriteFile(folder + "/second.html", "<html><body>second</body></html>"));
    ASSERT_TRUE(Load("page.html",
                     "<html><body>"
                     "<p><a id='web' href='https://example.org/a?b=1&amp;c=2'>web</a>"
                     "<a id='blank' target='_blank' href='http://example.org/new'>new</a>"
                     "<a id='file' href='file:///etc/passwd'>file</a>"
                     "<a id='second' href='second.html'>second</a></p>"
                     "</body></html>"));
    const QUrl first = Page()->url();
    const struct
    {
        const char* id;
        const char* url;
    } clicks[] = {{"web", "https://example.org/a?b=1&c=2"},
                  {"blank", "http://example.org/new"},
                  {"file", "file:///etc/passwd"}};
    for (const auto& c : clicks) {
        asked.clear();
        ASSERT_TRUE(ClickElement(view->Engine(), c.id)) << c.id;
        ASSERT_TRUE(WaitUntil([&] { return !asked.isEmpty(); }, 10000)) << c.id;
        EXPECT_EQ(asked.first(), QUrl(c.url)) << c.id;
        EXPECT_EQ(Page()->url(), first) << c.id;
        EXPECT_TRUE(view->HasDocument()) << c.id;
    }
    QSignalSpy finished(view, &HtmlView::loadFinished);
    ASSERT_TRUE(ClickElement(view->Engine(), "second"));
    ASSERT_TRUE(WaitUntil([&] { return !finished.isEmpty(); }));
    EXPECT_EQ(Page()->url().fileName(), "second.html");
}

TEST_F(HtmlViewTest, MenuFollowsDocumentBusyStateAndSelection)
{
    struct State
    {
        bool all, text, html;
    };
    auto state = [&] {
        view->UpdateMenu();
        return State{view->popDHTMLSelectAll->isEnabled(), view->popDHTMLCopyText->isEnabled(),
                     view->popDHTMLCopyHTML->isEnabled()};
    };
    auto expect = [&](State want, const char* when) {
        const State got = state();
        EXPECT_EQ(got.all, want.all) << when;
        EXPECT_EQ(got.text, want.text) << when;
        EXPECT_EQ(got.html, want.html) << when;
    };
    expect({false, false, false}, "no document");
    ASSERT_TRUE(Load("page.html", "<html><body><p>Some <b>bold</b> text</p></body></html>"));
    expect({true, false, false}, "loaded, nothing selected");
    view->SelectAll();
    ASSERT_TRUE(WaitUntil([&] { return view->HasSelection(); }));
    expect({true, true, true}, "selection");
    WriteFile(folder + "/other.html", "<html><body>other</body></html>");
    view->Navigate(folder + "/other.html");
    expect({false, false, false}, "busy");
}

TEST_F(HtmlViewTest, CopyItemsAndKeysPutPlainTextOnTheClipboard)
{
    ASSERT_TRUE(Load("page.html", "<html><body><p>Some <b>bold</b> text</p></body></html>"));
    QClipboard* clipboard = QApplication::clipboard();
    QWidget* target = view->Engine()->focusProxy() ? view->Engine()->focusProxy() : view->Engine();
    target->setFocus();

    clipboard->clear();
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return view->HasSelection(); })) << "Ctrl+A selects all";

    clipboard->setText("before");
    QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return clipboard->text() != "before"; }));
    EXPECT_EQ(clipboard->text().trimmed(), "Some bold text");
    EXPECT_FALSE(clipboard->mimeData()->hasHtml()) << "Ctrl+C copies plain text only";

    clipboard->setText("before");
    view->popDHTMLCopyHTML->trigger();
    ASSERT_TRUE(WaitUntil([&] { return clipboard->text() != "before"; }));
    EXPECT_TRUE(clipboard->text().contains("<b>bold</b>")) << clipboard->text().toStdString();
    EXPECT_FALSE(clipboard->mimeData()->hasHtml());
}

} // namespace
