#include <gtest/gtest.h>

#include "lang/LangFile.h"

using namespace vm;

namespace {
QString Processed(const char* raw)
{
    return PostProcessValue(QByteArray(raw));
}
} // namespace

TEST(LangGrammar, ClassifiesLinesByFirstSpecialCharacter)
{
    IniFile f;
    ASSERT_TRUE(f.Parse("\xEF\xBB\xBF[HEAD]\r\nSymbol = EN\r\n"
                        "text without any marker\n"
                        "; comment = not a key\n"
                        "x;y=z\n" // ';' comes first: comment
                        "[ Second ]  trailing ] end\r"
                        "key=  value with blanks  \r"
                        "[broken\n" // no closing bracket: ignored
                        "key2=v2\n"));
    ASSERT_NE(f.Value("HEAD", "symbol"), nullptr);
    EXPECT_EQ(*f.Value("HEAD", "symbol"), QByteArray(" EN"));
    EXPECT_EQ(f.Value("HEAD", "x"), nullptr);
    EXPECT_EQ(f.Value("HEAD", "comment"), nullptr);
    // The name runs to the last "]" of the line and is trimmed.
    ASSERT_NE(f.FindSection("Second ]  trailing"), nullptr);
    EXPECT_EQ(*f.Value("second ]  TRAILING", "KEY"), QByteArray("  value with blanks  "));
    // "[broken" did not open a section, so key2 stays in the previous one.
    EXPECT_EQ(*f.Value("second ]  trailing", "key2"), QByteArray("v2"));
}

TEST(LangGrammar, RepeatedSectionsMergeAndRepeatedKeysKeepTheLastValue)
{
    IniFile f;
    ASSERT_TRUE(f.Parse("[A]\na=1\nb=2\n[B]\nc=3\n[a]\nA=9\n"));
    EXPECT_EQ(f.Sections().size(), 2);
    EXPECT_EQ(*f.Value("A", "a"), QByteArray("9"));
    EXPECT_EQ(*f.Value("A", "b"), QByteArray("2"));
}

TEST(LangGrammar, RejectsNonAsciiLineStartAfterTheFirstLine)
{
    IniFile f;
    EXPECT_TRUE(f.Parse("\xC3\xA9[HEAD]\nSymbol=X\n")); // only the first line may
    EXPECT_FALSE(f.Parse("[HEAD]\n\n\xC3\xA9tude=1\nName=x\n"));
    EXPECT_EQ(f.ErrorLine(), 3);
    EXPECT_TRUE(f.ErrorText().contains("0xC3")) << f.ErrorText().toStdString();
    EXPECT_TRUE(f.Sections().isEmpty());
    EXPECT_FALSE(f.Parse("[HEAD]\n\x01x=1\n"));
    EXPECT_TRUE(f.Parse("[HEAD]\n\tkey=tab start is fine\n"));
    EXPECT_EQ(*f.Value("HEAD", "key"), QByteArray("tab start is fine"));
}

TEST(LangValues, HashPercentBarsAndTabs)
{
    EXPECT_EQ(Processed("a ## b # comment"), QString("a # b "));
    EXPECT_EQ(Processed("line1||line2"), QString("line1\r\nline2"));
    EXPECT_EQ(Processed("a\\tb"), QString("a\tb"));
    EXPECT_EQ(Processed("50%"), QString("50%%"));
    EXPECT_EQ(Processed("50%%"), QString("50%%"));
    EXPECT_EQ(Processed("%d and %s"), QString("%%d and %s"));
    EXPECT_EQ(Processed("\xC5\xBC\xC3\xB3\xC5\x82w"), QString::fromUtf8("żółw"));
}

TEST(LangFormat, PercentSignsAndArguments)
{
    EXPECT_EQ(FormatLangValue(Processed("50%"), {}), QString("50%"));
    EXPECT_EQ(FormatLangValue(Processed("50%% done"), {}), QString("50% done"));
    EXPECT_EQ(FormatLangValue(Processed("%s of %s"), {"1", "2"}), QString("1 of 2"));
    // More "%s" than arguments: empty instead of reading missing ones.
    EXPECT_EQ(FormatLangValue(Processed("%s of %s"), {"1"}), QString());
    // Surplus arguments are ignored.
    EXPECT_EQ(FormatLangValue(Processed("%s of %s"), {"1", "2", "3"}), QString("1 of 2"));
    // "%%s" is a percent sign and an s, not an argument.
    EXPECT_EQ(CountArguments(Processed("100%%s")), 0);
    EXPECT_EQ(FormatLangValue(Processed("100%%s"), {}), QString("100%s"));
    // Arguments are not interpreted again.
    EXPECT_EQ(FormatLangValue("<%s>", {"%s%%"}), QString("<%s%%>"));
    EXPECT_EQ(FormatLangValue("  \t padded %s \r\n", {"x"}), QString("padded x"));
    EXPECT_EQ(FormatLangValue("", {"x"}), QString());
}

TEST(LangFormat, LengthLimits)
{
    const QStringList eight = {"1", "2", "3", "4", "5", "6", "7", "8"};
    EXPECT_EQ(FormatLangValue("%s%s%s%s%s%s%s%s", eight), QString("12345678"));
    // A ninth argument is never used.
    EXPECT_EQ(FormatLangValue("%s%s%s%s%s%s%s%s%s", eight + QStringList{"9"}), QString());
    // Without arguments and "%" the value is used unchanged up to 2048.
    const QString long3000(3000, 'a');
    EXPECT_EQ(FormatLangValue(long3000, {}).size(), 2048);
    // With arguments the result is cut to 1024.
    EXPECT_EQ(FormatLangValue("%s", {QString(2000, 'b')}).size(), 1024);
    // Value and arguments above 4096 together: empty.
    EXPECT_EQ(FormatLangValue("%s", {QString(4096, 'c')}), QString());
}
