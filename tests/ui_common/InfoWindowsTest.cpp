// The source window, the about window and the fixed-pitch font of the plain
// text views.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
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
#include "ui/common/FixedPitchFont.h"
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
        // The font asked for, not what this machine resolves it to: with
        // the fonts scripts/setup installs, DejaVu Sans Mono at 10 points
        // (Courier New first where it is installed), as a typewriter face.
        const QFont font = w.MSource->font();
        EXPECT_EQ(font.family(), QFontDatabase::families().contains("Courier New")
                                     ? "Courier New"
                                     : "DejaVu Sans Mono");
        EXPECT_EQ(font.pointSize(), 10);
        EXPECT_EQ(font.styleHint(), QFont::TypeWriter);
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

TEST(FixedPitchFont, PrefersCourierNewThenMonospacedFamilies)
{
    const struct
    {
        QStringList installed;
        QStringList fixedPitch; // of the installed families
        QString chosen;
    } cases[] = {
        {{"Arial", "Courier New", "DejaVu Sans Mono", "Noto Sans Mono"},
         {"Courier New", "DejaVu Sans Mono", "Noto Sans Mono"},
         "Courier New"},
        {{"courier new", "DejaVu Sans Mono"}, {"courier new", "DejaVu Sans Mono"}, "courier new"},
        {{"DejaVu Sans", "Noto Sans Mono", "DejaVu Sans Mono"},
         {"Noto Sans Mono", "DejaVu Sans Mono"},
         "DejaVu Sans Mono"},
        {{"Noto Sans", "Noto Sans Mono", "Liberation Mono"},
         {"Noto Sans Mono", "Liberation Mono"},
         "Noto Sans Mono"},
        {{"Lato", "Ubuntu Mono"}, {"Ubuntu Mono"}, "Ubuntu Mono"},
        // A Courier New that is not drawn fixed-pitch (a substitute) is passed over.
        {{"Courier New", "Noto Sans Mono"}, {"Noto Sans Mono"}, "Noto Sans Mono"},
        // A family named monospaced but drawn proportionally is no choice.
        {{"Lato", "Odd Mono"}, {}, ""},
        // An icon font that calls itself fixed-pitch is no text font.
        {{"FontAwesome", "Sans"}, {"FontAwesome"}, ""},
        {{}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.installed.join(", ").toStdString());
        EXPECT_EQ(ChooseFixedPitchFamily(
                      c.installed, [&](const QString& f) { return c.fixedPitch.contains(f); }),
                  c.chosen);
    }
}

// With the fonts scripts/setup installs (DejaVu and Noto, no Courier New) the
// font is drawn fixed-pitch, whatever the platform's own fixed font is.
TEST(FixedPitchFont, IsDrawnFixedPitchWithTheInstalledFonts)
{
    EnsureAppAndEnglish();
    ASSERT_TRUE(QFontDatabase::families().contains("DejaVu Sans Mono"))
        << "fonts-dejavu-core is missing (bash scripts/setup installs it)";
    const QFont font = FixedPitchFont(10);
    EXPECT_TRUE(QFontInfo(font).fixedPitch()) << font.family().toStdString();
    EXPECT_EQ(QFontInfo(font).pointSize(), 10);
    const bool courier = QFontDatabase::families().contains("Courier New");
    EXPECT_EQ(QFontInfo(font).family(), courier ? "Courier New" : "DejaVu Sans Mono");
}

TEST(AboutWindow, NamesVersionsLicenceDataDirectoryAndHelp)
{
    EnsureAppAndEnglish();
    int helped = 0;
    AboutWindow w("/some/data/dir/", [&] { ++helped; });
    EXPECT_EQ(w.objectName(), "AboutWnd");
    EXPECT_TRUE(w.LProduct->text().startsWith("Velmora " + AppInfo::BareVersion()))
        << w.LProduct->text().toStdString();
    EXPECT_EQ(w.LLicence->text(),
              "This program is free software: you can redistribute it and/or modify it under the "
              "terms of the GNU General Public License, version 3 or (at your option) any later "
              "version. It comes with ABSOLUTELY NO WARRANTY; see the licence for details: "
              "https://www.gnu.org/licenses/gpl-3.0.html")
        << w.LLicence->text().toStdString();
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
