// The source window and the about window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "core/AppInfo.h"
#include "lang/BuiltinLanguage.h"
#include "support/TestFiles.h"
#include "lang/LanguageShell.h"
#include "ui/common/AboutWindow.h"
#include "ui/view/SourceWindow.h"

using namespace vm;

namespace {

void EnsureAppAndEnglish()
{
    static int argc = 1;
    static char arg0[] = "test_ui_common";
    static char* argv[] = {arg0, nullptr};
    if (!qApp)
        new QApplication(argc, argv);
    static QTemporaryDir dir;
    static bool loaded =
        WriteBuiltinEnglish(dir.path()) && LoadLanguage(dir.path() + "/english.lng");
    ASSERT_TRUE(loaded);
}

} // namespace

TEST(SourceWindow, ShowsTheRawTextReadOnlyAndFindsInIt)
{
    EnsureAppAndEnglish();
    const struct
    {
        QByteArray raw;
        QString shown;
    } cases[] = {
        {"Subject: caf\xC3\xA9\r\n\r\nbody", QString::fromUtf8("Subject: caf\xC3\xA9\n\nbody")},
        // Not UTF-8: every byte shows as one character.
        {"Subject: \xE9t\xE9\r\n", QString::fromLatin1("Subject: \xE9t\xE9\n")},
    };
    for (const auto& c : cases) {
        SourceWindow w(c.raw, QStringLiteral("Hello"));
        EXPECT_EQ(w.windowTitle(), "Message source: Hello");
        EXPECT_EQ(w.MSource->toPlainText(), c.shown);
        EXPECT_TRUE(w.MSource->isReadOnly());
        EXPECT_TRUE(QFontInfo(w.MSource->font()).fixedPitch());
    }

    SourceWindow w("a x\r\nb x\r\n", QStringLiteral("s"));
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 20000));
    EXPECT_TRUE(w.EFind->isHidden());
    QTest::keyClick(w.MSource, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(w.EFind->isVisible());
    QTest::keyClicks(w.EFind, "x");
    QTest::keyClick(w.EFind, Qt::Key_Return);
    EXPECT_EQ(w.MSource->textCursor().selectionStart(), 2);
    QTest::keyClick(w.EFind, Qt::Key_Return);
    EXPECT_EQ(w.MSource->textCursor().selectionStart(), 6);
    QTest::keyClick(w.EFind, Qt::Key_Return); // from the top again
    EXPECT_EQ(w.MSource->textCursor().selectionStart(), 2);
    EXPECT_FALSE(w.FindNext("missing"));
}

TEST(AboutWindow, NamesVersionsDataDirectoryAndHelp)
{
    EnsureAppAndEnglish();
    int helped = 0;
    AboutWindow w("/some/data/dir/", [&] { ++helped; });
    EXPECT_EQ(w.objectName(), "AboutWnd");
    EXPECT_TRUE(w.LProduct->text().startsWith("Velmora " + AppInfo::BareVersion()))
        << w.LProduct->text().toStdString();
    const QStringList libs = w.LLibraries->text().split('\n');
    ASSERT_EQ(libs.size(), 3);
    EXPECT_EQ(libs[0], QStringLiteral("Qt ") + qVersion());
    EXPECT_TRUE(QRegularExpression("^GMime \\d+\\.\\d+\\.\\d+$").match(libs[1]).hasMatch())
        << libs[1].toStdString();
    EXPECT_TRUE(libs[2].startsWith("OpenSSL")) << libs[2].toStdString();
    EXPECT_EQ(w.LDataDir->text(), "/some/data/dir/");
    EXPECT_EQ(w.LHelp->text(), "<a href=\"help\">Help</a>");
    emit w.LHelp->linkActivated("help");
    EXPECT_EQ(helped, 1);
}

// The help link's word comes from the language, shown as text.
TEST(AboutWindow, HelpLinkInTheLanguage)
{
    EnsureAppAndEnglish();
    QTemporaryDir dir;
    vm::test::WriteFile(dir.path() + "/pl.lng",
                        "[HEAD]\nSymbol=PL\nName=Polski\n[ABOUTWND]\nHelp=Pomoc <i>\n");
    ASSERT_TRUE(LoadLanguage(dir.path() + "/pl.lng"));
    AboutWindow w("/d/", {});
    EXPECT_EQ(w.LHelp->text(), "<a href=\"help\">Pomoc &lt;i&gt;</a>");
}
