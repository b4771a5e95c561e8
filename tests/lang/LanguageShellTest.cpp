#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include "core/StringTable.h"
#include "lang/Lang.h"
#include "lang/LangFile.h"
#include "lang/LanguageShell.h"
#include "support/TestFiles.h"

using namespace vm;
using vm::test::WriteFile;

namespace {

std::unique_ptr<LanguageShell> ShellFrom(const QByteArray& data)
{
    IniFile f;
    EXPECT_TRUE(f.Parse(data));
    auto shell = std::make_unique<LanguageShell>();
    shell->Fill(f, "mem.lng");
    return shell;
}

} // namespace

TEST(LanguageShell, LookupIsCaseInsensitiveAndLinesWithoutEqualsDefineNothing)
{
    const auto shell = ShellFrom("[HEAD]\nSymbol=EN\nName=English\n"
                                 "[LOADINGWND]\nGUI-Creating\nVersion=%s Version %s\n"
                                 "[MAINWND]\nSavingMailboxes=Saving mailboxes...\n");
    EXPECT_EQ(shell->Symbol, QByteArray("EN"));
    EXPECT_EQ(shell->Text("MAINWND", "SavingMailBoxes"), QString("Saving mailboxes..."));
    EXPECT_EQ(shell->Text("LoadingWnd", "version", {"(c)", "3.5"}), QString("(c) Version 3.5"));
    EXPECT_EQ(shell->Find("LOADINGWND", "GUI"), nullptr);
    EXPECT_EQ(shell->Text("LOADINGWND", "GUI"), QString());
    EXPECT_EQ(shell->Text("NOSUCH", "Version"), QString());
}

TEST(LanguageShell, OwnKeyBeatsIncludesAndTheLastIncludeWins)
{
    const auto shell = ShellFrom("[A]\nx=from A\nshared=A\n"
                                 "[B]\nshared=B\nonlyB=B\n"
                                 "[W]\n$include=A;B;\nshared2=own\n"
                                 "[V]\n$include=B;A;\nx=own x\n"
                                 "[T]\n$include=A;B\n"); // "B" lacks its ";"
    EXPECT_EQ(shell->Text("W", "shared"), QString("B"));
    EXPECT_EQ(shell->Text("W", "onlyB"), QString("B"));
    EXPECT_EQ(shell->Text("W", "shared2"), QString("own"));
    EXPECT_EQ(shell->Text("V", "shared"), QString("A"));
    EXPECT_EQ(shell->Text("V", "x"), QString("own x"));
    EXPECT_EQ(shell->Text("T", "onlyB"), QString());
    EXPECT_EQ(shell->Text("T", "x"), QString("from A"));
}

TEST(LanguageShell, IncludeCyclesEnd)
{
    const auto shell = ShellFrom("[A]\n$include=B;\na=1\n"
                                 "[B]\n$include=A;C;\n"
                                 "[C]\n$include=C;B;\nc=3\n"
                                 "[D]\n$include=D;\n");
    EXPECT_EQ(shell->Text("A", "c"), QString("3"));
    EXPECT_EQ(shell->Text("B", "a"), QString("1"));
    EXPECT_EQ(shell->Text("A", "missing"), QString());
    EXPECT_EQ(shell->Text("D", "missing"), QString());
}

TEST(LanguageShell, ManyRepeatedIncludesStayFast)
{
    // Each level lists the next one 20 times; without remembering finished
    // sections this would take 20^12 steps.
    QByteArray data;
    for (int i = 0; i < 12; ++i) {
        data += "[L" + QByteArray::number(i) + "]\n$include=";
        for (int k = 0; k < 20; ++k)
            data += "L" + QByteArray::number(i + 1) + ";";
        data += "\n";
    }
    data += "[L12]\nleaf=found\n";
    const auto shell = ShellFrom(data);
    EXPECT_EQ(shell->Text("L0", "leaf"), QString("found"));
    EXPECT_EQ(shell->Text("L0", "none"), QString());
}

TEST(LanguageShell, ContainersReplaceEntriesOfTheSameName)
{
    LanguageShell::SectionContainer sections;
    auto* a = new LanguageShell::Section;
    a->Name = "Main";
    sections.Add(a);
    auto* b = new LanguageShell::Section;
    b->Name = "MAIN";
    sections.Add(b);
    EXPECT_EQ(sections.Count(), 1);
    EXPECT_EQ(sections.At(0), b);
    b->Lines.Add(new LanguageShell::Line{"Key", "1"});
    b->Lines.Add(new LanguageShell::Line{"other", "2"});
    b->Lines.Add(new LanguageShell::Line{"KEY", "3"});
    ASSERT_EQ(b->Lines.Count(), 2);
    EXPECT_EQ(b->FindLine("key")->Value, QString("3"));
}

TEST(LanguageFiles, DiscoveryAndLoading)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString d = dir.path() + '/';
    WriteFile(d + "one.lng", "\xEF\xBB\xBF[HEAD]\nSymbol=XX\nName=First\n[MAINWND]\nIdle=Bereit\n");
    WriteFile(d + "two.lng", "[HEAD]\nSymbol=XX\nName=Second\n[MAINWND]\nIdle=Inactif\n");
    WriteFile(d + "noname.lng", "[HEAD]\nSymbol=ZZ\nName=\n");
    WriteFile(d + "broken.lng", "[HEAD]\nSymbol=YY\n\x80Name=Bad\n");
    WriteFile(d + "other.txt", "[HEAD]\nSymbol=TT\nName=Text\n");
    EXPECT_EQ(DiscoverLanguages(d), 2);
    ASSERT_NE(FindLangHeader(d + "TWO.lng"), nullptr);
    EXPECT_EQ(FindLangHeader(d + "two.lng")->Name, QString("Second"));
    EXPECT_EQ(FindLangHeader(d + "broken.lng"), nullptr);

    int applied = 0;
    SetLanguageAppliedHandler([&] { ++applied; });
    ASSERT_TRUE(LoadLanguage(d + "two.lng"));
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(LangText("mainwnd", "IDLE"), QString("Inactif"));
    EXPECT_EQ(Language().Name, QString("Second"));
    // A failed load keeps the previous language.
    EXPECT_FALSE(LoadLanguage(d + "broken.lng"));
    EXPECT_FALSE(LoadLanguage(d + "missing.lng"));
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(LangText("MAINWND", "Idle"), QString("Inactif"));
    ASSERT_TRUE(LoadLanguage(d + "one.lng"));
    EXPECT_EQ(LangFormat("MAINWND", "Idle", {"unused"}), QString("Bereit"));
    SetLanguageAppliedHandler(nullptr);
}

TEST(LanguageFiles, NumberedStrings)
{
    EXPECT_EQ(NumberedText(kStrLanguageCode), QString("EN"));
    EXPECT_EQ(NumberedText(kStrDefaultLanguageFile), QString("english.lng"));
    EXPECT_EQ(NumberedText(kStrMainWindowClass), QString("VL320KEX07"));
    EXPECT_EQ(NumberedText(99999), QString());
}

TEST(LanguageFiles, TextOrTakesTheLanguageTextWithItsArgumentsElseTheEnglishOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("texts.lng");
    WriteFile(path, "[HEAD]\nSymbol=XX\nName=Texts\n"
                    "[ERROR]\nTwo=Zwei: %s und %s\nPlain=Schlicht\n");
    ASSERT_TRUE(LoadLanguage(path));
    const struct
    {
        const char* section;
        const char* key;
        const char* english;
        QStringList args;
        QString expected;
    } cases[] = {
        // A text with placeholders is looked up with its arguments.
        {"ERROR", "Two", "Two: %s and %s", {"a", "b"}, "Zwei: a und b"},
        {"error", "TWO", "Two: %s and %s", {"a", "b"}, "Zwei: a und b"},
        {"ERROR", "Plain", "Plain", {}, "Schlicht"},
        // Too few arguments for the language's text: the English one.
        {"ERROR", "Two", "Two: %s and %s", {"a"}, "Two: a and %s"},
        // Missing key or section: the English text, "||" as a line break,
        // each "%s" filled once, in order, also when an argument holds one.
        {"ERROR", "Missing", "One %s||two %s", {"%s", "x"}, "One %s\ntwo x"},
        {"NOSUCH", "Two", "Two: %s", {"a", "extra"}, "Two: a"},
        {"NOSUCH", "Two", "No placeholder", {"a"}, "No placeholder"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextOr(c.section, c.key, c.english, c.args), c.expected)
            << c.section << '/' << c.key << ' ' << c.args.join('|').toStdString();
}
