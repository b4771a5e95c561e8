#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "lang/BuiltinLanguage.h"
#include "lang/Lang.h"
#include "lang/LangStartup.h"
#include "lang/LanguageShell.h"
#include "support/TestFiles.h"

using namespace vm;
using vm::test::ReadFile;
using vm::test::WriteFile;

TEST(BuiltinEnglish, WrittenByteForByteWithBom)
{
    QTemporaryDir dir;
    const QByteArray bytes = BuiltinEnglishFile();
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF;"));
    ASSERT_TRUE(WriteBuiltinEnglish(dir.path()));
    EXPECT_EQ(ReadFile(dir.path() + "/english.lng"), bytes);
    EXPECT_FALSE(WriteBuiltinEnglish(dir.path() + "/no/such/dir"));
}

TEST(BuiltinEnglish, DefinesTheTextsTheProgramQuotes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteBuiltinEnglish(dir.path()));
    ASSERT_TRUE(LoadLanguage(dir.path() + "/english.lng"));
    EXPECT_EQ(Language().Symbol, QByteArray("EN"));
    EXPECT_EQ(Language().Name, QString("English"));
    EXPECT_EQ(LangText("MAINWND", "Mailboxes"), QString("MAIL ACCOUNTS"));
    EXPECT_EQ(LangText("MAINWND", "SavingMailBoxes"), QString("Saving mailboxes..."));
    EXPECT_EQ(LangText("LOADINGWND", "GUI"), QString());
    EXPECT_EQ(LangText("MAINWND", "CloseWhenConnectedSMTP"), QString());
    EXPECT_EQ(LangFormat("ERROR", "ExceptionReport", {"a", "b", "c"}),
              QString("Account: a\r\nException class: b\r\nException message: c"));
    EXPECT_EQ(LangFormat("DETAILSWND", "Size", {"2 KB"}), QString("Size:\t\t2 KB"));
    // The settings window reaches the charset list through its include.
    EXPECT_TRUE(LangText("SettingsWnd", "CBCharsetEncoding").startsWith("ISO-8859-1 (Western);"));
    EXPECT_EQ(LangText("SendMailWnd", "RecipientType"), QString("To:;Cc:;Bcc:;"));
    EXPECT_EQ(LangFormat("COMMONS", "MultipleInstances", {"Velmora"}),
              QString("One instance of Velmora is already running and you cannot run another at "
                      "the same time."));
}

// The first start writes English and the translations, all three listed.
TEST(LanguageStartup, EmptyDirectoryGetsEnglishAndTheTranslations)
{
    QTemporaryDir dir;
    const QString d = dir.path() + '/';
    EXPECT_EQ(DiscoverLanguageFiles(d), QString());
    EXPECT_TRUE(QFile::exists(d + "english.lng"));
    QStringList listed;
    for (int i = 0; i < LanguageHeaders().Count(); ++i)
        listed << LanguageHeaders().At(i)->Name + " (" +
                      QString::fromLatin1(LanguageHeaders().At(i)->Symbol) + ")";
    listed.sort();
    EXPECT_EQ(listed, QStringList({"Deutsch (DE)", "English (EN)", "Polski (PL)"}));
    EXPECT_EQ(ChooseAndLoadLanguage(d, "english.lng"), QString());
    EXPECT_EQ(Language().Path, d + "english.lng");
}

TEST(LanguageStartup, ChosenFileAndFallback)
{
    QTemporaryDir dir;
    const QString d = dir.path() + '/';
    WriteFile(d + "polski.lng", "[HEAD]\nSymbol=PL\nName=Polski\n[MAINWND]\nIdle=Bezczynny\n");
    WriteFile(d + "other.lng", "[HEAD]\nSymbol=PL\nName=Polski 2\n[MAINWND]\nIdle=Inny\n");
    EXPECT_EQ(DiscoverLanguageFiles(d), QString());
    EXPECT_FALSE(QFile::exists(d + "english.lng")); // usable files exist already
    // Two files with the same symbol: the one named by the setting is loaded.
    EXPECT_EQ(ChooseAndLoadLanguage(d, "other.lng"), QString());
    EXPECT_EQ(LangText("MAINWND", "Idle"), QString("Inny"));
    // A setting naming a missing file falls back to english.lng, written first.
    EXPECT_EQ(ChooseAndLoadLanguage(d, "gone.lng"), QString());
    EXPECT_TRUE(QFile::exists(d + "english.lng"));
    EXPECT_EQ(LangText("MAINWND", "Idle"), QString("Idle"));
}

TEST(LanguageStartup, FatalTextsWhenNothingIsUsable)
{
    // A directory that does not exist: nothing can be found or written.
    const QString d = QDir::tempPath() + "/velmora-no-such-dir-for-test/";
    EXPECT_EQ(DiscoverLanguageFiles(d), NoLanguageFileText());
    EXPECT_TRUE(NoLanguageFileText().startsWith("Could not find any accessible file"));

    QTemporaryDir dir;
    const QString e = dir.path() + '/';
    // english.lng exists but is broken, and the configured file is missing.
    WriteFile(e + "english.lng", "[HEAD]\nSymbol=EN\n\xFFName=English\n");
    WriteFile(e + "x.lng", "[HEAD]\nSymbol=X\nName=X\n");
    EXPECT_EQ(DiscoverLanguageFiles(e), QString());
    EXPECT_EQ(ChooseAndLoadLanguage(e, "missing.lng"), NoDefaultLanguageFileText());
    // A file found at discovery that broke afterwards cannot be loaded.
    WriteFile(e + "x.lng", "[HEAD]\nSymbol=X\n\xFFName=X\n");
    EXPECT_EQ(ChooseAndLoadLanguage(e, "x.lng"), LanguageLoadFailedText(e + "x.lng"));
    EXPECT_TRUE(
        LanguageLoadFailedText("F").startsWith("Could not load language strings from file F. "));
}

TEST(CheckLanguage, BuiltinFileIsComplete)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteBuiltinEnglish(dir.path()));
    QString report;
    QTextStream out(&report);
    EXPECT_EQ(CheckLanguageFile(dir.path() + "/english.lng", out), 0);
    out.flush();
    EXPECT_TRUE(report.contains("Symbol: EN")) << report.toStdString();
    EXPECT_TRUE(report.contains("Name: English"));
    EXPECT_TRUE(report.contains("Complete"));
    EXPECT_FALSE(report.contains("Missing"));
}

TEST(CheckLanguage, BrokenAndIncompleteFiles)
{
    QTemporaryDir dir;
    const QString bad = dir.path() + "/bad.lng";
    WriteFile(bad, "[HEAD]\nSymbol=DE\nName=Deutsch\n\n\xC3\x9C"
                   "bersicht=1\n");
    QString report;
    QTextStream out(&report);
    EXPECT_EQ(CheckLanguageFile(bad, out), 1);
    out.flush();
    EXPECT_TRUE(report.contains("NOT ACCEPTED"));
    EXPECT_TRUE(report.contains("Line 5")) << report.toStdString();

    const QString partial = dir.path() + "/partial.lng";
    WriteFile(partial, "[HEAD]\nSymbol=DE\nName=Deutsch\n[MAINWND]\nIdle=Bereit\n");
    QString report2;
    QTextStream out2(&report2);
    EXPECT_EQ(CheckLanguageFile(partial, out2), 0);
    out2.flush();
    EXPECT_TRUE(report2.contains("Missing section [COMMONS]")) << report2.toStdString();
    EXPECT_TRUE(report2.contains("Missing key [MAINWND] Mailboxes"));
    EXPECT_FALSE(report2.contains("Missing key [MAINWND] Idle"));

    const QString noName = dir.path() + "/noname.lng";
    WriteFile(noName, "[HEAD]\nSymbol=DE\n");
    QString report3;
    QTextStream out3(&report3);
    EXPECT_EQ(CheckLanguageFile(noName, out3), 1);
    out3.flush();
    EXPECT_TRUE(report3.contains("Name"));
}
