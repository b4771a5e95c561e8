// The welcome page: shipped content written out and shown without any
// remote load, its links reaching the program's hooks, no context menu.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "ViewTestSupport.h"
#include "core/TempDir.h"
#include "lang/LanguageShell.h"
#include "support/TestFiles.h"
#include "ui/view/HtmlView.h"
#include "ui/view/WelcomeView.h"

using namespace vmtest;
using vm::WelcomeView;

namespace {

TEST(WelcomeView, ShowsItsOwnPagesAndHandsTheProgramLinksToHooks)
{
    EnsureWebApp();
    auto* welcome = new WelcomeView;
    QSignalSpy loaded(welcome, &WelcomeView::pageLoaded);
    welcome->resize(800, 600);
    welcome->show();
    ASSERT_TRUE(WaitUntil([&] { return !loaded.isEmpty(); }));
    EXPECT_TRUE(loaded.first().at(0).toBool());
    EXPECT_EQ(welcome->Browser->objectName(), "Browser");
    EXPECT_TRUE(QFileInfo(welcome->StartPage())
                    .canonicalFilePath()
                    .startsWith(QFileInfo(vm::TempDirPath()).canonicalFilePath() + '/'));
    QWebEnginePage* page = welcome->Browser->Engine()->page();
    EXPECT_TRUE(PageText(page).contains("Welcome to Velmora"));
    // Every picture of the page is there and local.
    EXPECT_EQ(RunAppScript(page, "Array.from(document.images).filter(function(i){"
                                 "return i.naturalWidth===0}).length")
                  .toInt(),
              0);
    EXPECT_GE(RunAppScript(page, "document.images.length").toInt(), 1);
    ASSERT_TRUE(LaterLocalPictureLoads(page, welcome->PageFolder()));
    EXPECT_FALSE(welcome->Browser->RemoteContentBlocked());

    QStringList calls;
    welcome->addAccount = [&] { calls << "addAccount"; };
    welcome->help = [&] { calls << "help"; };
    welcome->makerSite = [&] { calls << "makerSite"; };
    const struct
    {
        const char* selector;
        const char* hook;
    } links[] = {{"a[href='http://addaccount']", "addAccount"},
                 {"a[href='http://help']", "help"},
                 {"a[href^='https://velmora.example.org']", "makerSite"}};
    const QUrl start = page->url();
    for (const auto& link : links) {
        calls.clear();
        EXPECT_EQ(RunAppScript(page, QStringLiteral("(function(){var a=document.querySelector("
                                                    "\"%1\");if(!a)return false;a.click();"
                                                    "return true})()")
                                         .arg(link.selector))
                      .toBool(),
                  true)
            << link.selector;
        ASSERT_TRUE(WaitUntil([&] { return !calls.isEmpty(); }, 10000)) << link.hook;
        EXPECT_EQ(calls, QStringList{link.hook});
        EXPECT_EQ(page->url(), start);
    }
    // Other targets call nothing; the welcome folder's pages go ahead.
    calls.clear();
    EXPECT_FALSE(welcome->LinkClicked(QUrl("https://elsewhere.example.com/")));
    EXPECT_FALSE(welcome->LinkClicked(QUrl("file:///etc/passwd")));
    EXPECT_TRUE(welcome->LinkClicked(QUrl::fromLocalFile(welcome->PageFolder() + "/other.htm")));
    EXPECT_TRUE(calls.isEmpty());

    // A right click shows no menu: the page sees the click (its menu
    // request would follow it), and one more answer from the page comes back.
    RunAppScript(page, "document.addEventListener('contextmenu',function(){"
                       "document.documentElement.dataset.rightClicks="
                       "(+(document.documentElement.dataset.rightClicks||0)+1);});true");
    QTest::mouseClick(welcome->Browser->Engine()->focusProxy(), Qt::RightButton, {},
                      QPoint(20, 20));
    ASSERT_TRUE(WaitUntil([&] {
        return RunAppScript(page, "document.documentElement.dataset.rightClicks").toString() ==
               "1";
    }));
    ASSERT_TRUE(LaterLocalPictureLoads(page, welcome->PageFolder()));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    delete welcome;
}


// The page speaks the loaded language where it has a page of its own (by the
// language's Symbol) and English otherwise; a language change shows it again.
TEST(WelcomeView, PageInTheLoadedLanguage)
{
    EnsureWebApp();
    QTemporaryDir dir;
    const struct
    {
        const char* symbol;
        const char* page;
        const char* heading;
    } cases[] = {
        {"PL", "index-pl.html", "Witamy w programie Velmora"},
        {"DE", "index-de.html", "Willkommen bei Velmora"},
        {"EN", "index.html", "Welcome to Velmora"},
        {"XQ", "index.html", "Welcome to Velmora"},
        {"../index", "index.html", "Welcome to Velmora"},
    };
    auto* welcome = new WelcomeView;
    welcome->resize(800, 600);
    welcome->show();
    for (const auto& c : cases) {
        const QString file = dir.path() + "/l.lng";
        vm::test::WriteFile(file, QByteArray("[HEAD]\nSymbol=") + c.symbol + "\nName=L\n");
        ASSERT_TRUE(vm::LoadLanguage(file));
        EXPECT_EQ(QFileInfo(welcome->StartPage()).fileName(), c.page) << c.symbol;
        QSignalSpy loaded(welcome, &WelcomeView::pageLoaded);
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(welcome, &change);
        ASSERT_TRUE(WaitUntil([&] { return !loaded.isEmpty(); })) << c.symbol;
        EXPECT_TRUE(PageText(welcome->Browser->Engine()->page()).contains(c.heading)) << c.symbol;
    }
    vm::Language().Clear();
    delete welcome;
}

} // namespace
