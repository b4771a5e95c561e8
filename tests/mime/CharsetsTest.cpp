// Charset ids and names, the generated 8-bit tables (checked against ICU's
// decoders), the UTF-8 decoder, encoded words and the marker order.

#include "mime/Charsets.h"

#include <QList>
#include <QStringDecoder>

#include <gtest/gtest.h>

#include <iconv.h>

using namespace vm;

namespace {

QByteArray Byte(int b)
{
    return QByteArray(1, char(b));
}

// Restores DefIncomingEncoding after a test changes it.
struct DefaultCharset {
    int saved = DefaultIncomingCharset();
    explicit DefaultCharset(int id) { SetDefaultIncomingCharset(id); }
    ~DefaultCharset() { SetDefaultIncomingCharset(saved); }
};

} // namespace

TEST(CharsetIds, NamesAndIdsRoundTrip)
{
    for (int id = 1; id <= 27; ++id) {
        const QString name = CharsetName(id);
        ASSERT_FALSE(name.isEmpty()) << id;
        EXPECT_EQ(CharsetIdFromName(name), id) << name.toStdString();
        EXPECT_EQ(CharsetIdFromName(name.toUpper().toLatin1()), id);
    }
    EXPECT_TRUE(CharsetName(0).isEmpty());
    EXPECT_TRUE(CharsetName(28).isEmpty());
    EXPECT_EQ(CharsetName(9), "Windows1252");
    EXPECT_EQ(CharsetName(20), "ISO-8859-8-I");
}

TEST(CharsetIds, AcceptedNames)
{
    EXPECT_EQ(CharsetIdFromName(QByteArray("koi8")), 13);
    EXPECT_EQ(CharsetIdFromName(QByteArray("iso-8859-8")), 20);
    EXPECT_EQ(CharsetIdFromName(QByteArray("  UTF8 \t")), 12);
    EXPECT_EQ(CharsetIdFromName(QByteArray("windows-1257")), 4);
    EXPECT_EQ(CharsetIdFromName(QByteArray("cp1252")), 0);
    EXPECT_EQ(CharsetIdFromName(QByteArray("latin1")), 0);
    EXPECT_EQ(CharsetIdFromName(QByteArray("")), 0);
    EXPECT_EQ(CharsetIdFromName(QByteArray("iso-8859-1x")), 0);
}

// The ICU name of each table charset. Each generated table is compared byte
// by byte with ICU's decoder; where the two references disagree the
// difference is listed below with its reason.
struct IcuDifference {
    int id;
    int byte;
    char16_t ours;
    const char* why;
};

// Bytes that the published code pages leave undefined are '?' in our tables.
// ICU's Windows converters map some of them to the C1 control of the same
// value (as Windows' own converter does); that is not a character of the code
// page, so for the Windows tables such a byte is expected to be '?'.
static const IcuDifference kKnownDifferences[] = {
    // Microsoft's published cp1253 leaves 0xAA undefined (Python's table
    // agrees); ICU's windows-1253 (IBM table 5349) adds U+00AA there.
    {8, 0xAA, u'?', "undefined in Microsoft's cp1253; ICU maps it to U+00AA"},
};

TEST(CharsetTables, MatchIcu)
{
    struct Entry {
        int id;
        const char* icu;
    };
    const Entry entries[] = {
        {2, "ISO-8859-2"},    {3, "windows-1258"},  {4, "windows-1257"},  {5, "windows-1256"},
        {6, "windows-1255"},  {7, "windows-1254"},  {8, "windows-1253"},  {9, "windows-1252"},
        {10, "windows-1251"}, {11, "windows-1250"}, {13, "KOI8-R"},       {14, "KOI8-U"},
        {15, "ISO-8859-3"},   {16, "ISO-8859-4"},   {17, "ISO-8859-5"},   {18, "ISO-8859-6"},
        {19, "ISO-8859-7"},   {20, "ISO-8859-8"},   {21, "ISO-8859-9"},   {22, "ISO-8859-10"},
        {23, "ISO-8859-11"},      {24, "ISO-8859-13"},  {25, "ISO-8859-14"},  {26, "ISO-8859-15"},
    };
    QString mismatches;
    for (const Entry& e : entries) {
        QStringDecoder probe(e.icu);
        ASSERT_TRUE(probe.isValid()) << e.icu;
        int compared = 0;
        for (int b = 0x80; b <= 0xFF; ++b) {
            QStringDecoder dec(e.icu);
            const QString icu = dec.decode(Byte(b));
            const QString ours = BytesToUnicode(Byte(b), e.id);
            ASSERT_EQ(ours.size(), 1);
            bool known = false;
            for (const IcuDifference& d : kKnownDifferences)
                if (d.id == e.id && d.byte == b && ours[0] == QChar(d.ours))
                    known = true;
            if (known)
                continue;
            const bool windows = e.id >= 3 && e.id <= 11;
            const bool icuUndefined = dec.hasError() || icu.isEmpty() ||
                                      icu[0] == QChar(0xFFFD) || icu[0] == QChar(0x1A) ||
                                      (windows && b < 0xA0 && icu[0].unicode() == b);
            if (icuUndefined ? ours != "?" : ours != icu)
                mismatches += QString::asprintf("%s %02X: ours U+%04X ICU U+%04X\n", e.icu, b,
                                                ours[0].unicode(),
                                                icu.isEmpty() ? 0 : icu[0].unicode());
            ++compared;
        }
        EXPECT_GT(compared, 100) << e.icu;
    }
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.toStdString();
}

// Debian's ICU data has no ISO-8859-16 converter; that table is checked
// against the C library's iconv instead.
TEST(CharsetTables, Iso8859_16MatchesIconv)
{
    iconv_t cd = iconv_open("UTF-16LE", "ISO-8859-16");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int b = 0x80; b <= 0xFF; ++b) {
        char in = char(b);
        char16_t outBuf[4] = {};
        char* inp = &in;
        size_t inLeft = 1;
        char* outp = reinterpret_cast<char*>(outBuf);
        size_t outLeft = sizeof(outBuf);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        const QString ours = BytesToUnicode(Byte(b), 27);
        if (r == size_t(-1))
            EXPECT_EQ(ours, "?") << std::hex << b;
        else
            EXPECT_EQ(ours, QString(QChar(outBuf[0]))) << std::hex << b;
    }
    iconv_close(cd);
}

TEST(CharsetTables, SpotChecks)
{
    EXPECT_EQ(BytesToUnicode(Byte(0x81), 11), "?"); // undefined in Windows-1250
    EXPECT_EQ(BytesToUnicode(Byte(0x80), 9), QString(QChar(0x20AC)));
    EXPECT_EQ(BytesToUnicode(Byte(0xC1), 13), QString(QChar(0x0430))); // KOI8-R a
    EXPECT_EQ(BytesToUnicode(Byte(0xA4), 26), QString(QChar(0x20AC)));
    EXPECT_EQ(BytesToUnicode("abc\xE9", 1), QString::fromUtf8("abc\xC3\xA9"));
    // Bytes below 0x80 pass unchanged through every table.
    for (int id = 1; id <= 27; ++id)
        EXPECT_EQ(BytesToUnicode("Hello, 0-9 ~", id), "Hello, 0-9 ~") << id;
}

TEST(Utf8Decoder, SequencesOfOneToFourBytes)
{
    EXPECT_EQ(BytesToUnicode("a\xC3\xA9\xE2\x82\xAC", 12), QString::fromUtf8("a\xC3\xA9\xE2\x82\xAC"));
    // Four bytes become a surrogate pair instead of disappearing.
    const QString emoji = BytesToUnicode("x\xF0\x9F\x98\x80y", 12);
    ASSERT_EQ(emoji.size(), 4);
    EXPECT_EQ(emoji.toUcs4().at(1), 0x1F600u);
    // A lead or continuation byte that does not fit is skipped.
    EXPECT_EQ(BytesToUnicode("a\x80" "b", 12), "ab");
    EXPECT_EQ(BytesToUnicode("a\xC3" "b", 12), "ab");
    EXPECT_EQ(BytesToUnicode("a\xE2\x82", 12), "a");
    EXPECT_EQ(BytesToUnicode("\xF8\x88\x80\x80\x80z", 12), "z");
    // Never a lone surrogate in the result.
    const QString s = BytesToUnicode("\xED\xA0\x80", 12);
    for (QChar c : s)
        EXPECT_FALSE(c.isSurrogate());
    // Overlong forms are no characters: "/" and NUL must not come out of them.
    const QString bad(QChar(0xFFFD));
    EXPECT_EQ(BytesToUnicode("a\xC0\xAF" "b", 12), "a" + bad + "b");
    EXPECT_EQ(BytesToUnicode("\xC0\x80", 12), bad);
    EXPECT_EQ(BytesToUnicode("\xE0\x80\xAF", 12), bad);
    EXPECT_EQ(BytesToUnicode("\xF0\x80\x80\xAF", 12), bad);
    // The shortest forms right above the limits stay characters.
    EXPECT_EQ(BytesToUnicode("\xC2\x80\xE0\xA0\x80", 12), QString(QChar(0x80)) + QChar(0x800));
}

TEST(DefaultCharsetFallback, IdZeroUsesTheSetting)
{
    {
        DefaultCharset d(10); // Windows-1251
        EXPECT_EQ(BytesToUnicode("\xC0", 0), QString(QChar(0x0410)));
    }
    {
        DefaultCharset d(1);
        EXPECT_EQ(BytesToUnicode("\xC0", 0), QString(QChar(0xC0)));
    }
    {
        // 12 reached through the default converts with the system code page
        // (UTF-8 here): invalid bytes are replaced, not skipped.
        DefaultCharset d(12);
        EXPECT_EQ(BytesToUnicode("a\xFF" "b", 0), QString::fromUtf8("a\xEF\xBF\xBD" "b"));
        EXPECT_EQ(BytesToUnicode("a\xFF" "b", 12), "ab");
    }
    {
        DefaultCharset d(99); // unknown id: system code page
        EXPECT_EQ(BytesToUnicode("\xC3\xA9", 0), QString(QChar(0xE9)));
    }
}

TEST(EncodedWordCharset, MarkerOrderDecides)
{
    EXPECT_EQ(EncodedWordCharset("=?UTF-8?B?w6k=?="), 12);
    EXPECT_EQ(EncodedWordCharset("  =?windows-1257?Q?a?=  "), 4);
    EXPECT_EQ(EncodedWordCharset("=?windows1250?Q?a?="), 11);
    // The order of the markers decides, not the position in the text.
    EXPECT_EQ(EncodedWordCharset("=?utf-8?Q?a?= =?iso-8859-1?Q?b?="), 1);
    EXPECT_EQ(EncodedWordCharset("=?koi8-u?Q?a?= =?iso-8859-2?Q?b?="), 2);
    // "iso-8859-1?" is not a prefix match of iso-8859-15.
    EXPECT_EQ(EncodedWordCharset("=?iso-8859-15?Q?=A4?="), 26);
    EXPECT_EQ(EncodedWordCharset("=?koi8-r?B?wQ==?="), 13);
    // 8 characters or fewer never yield a charset.
    EXPECT_EQ(EncodedWordCharset("=?utf8?="), 0);
    EXPECT_EQ(EncodedWordCharset("plain subject text"), 0);
    EXPECT_EQ(EncodedWordCharset("=?shift_jis?B?gqA=?="), 0);
}

TEST(HeaderText, EncodedWordsDecodeWordByWord)
{
    // Two charsets in one subject: each word with its own charset.
    EXPECT_EQ(DecodeHeaderText("=?iso-8859-1?Q?caf=E9?= =?koi8-r?B?wcLX?=", ""),
              QString::fromUtf8("caf\xC3\xA9\xD0\xB0\xD0\xB1\xD0\xB2"));
    // Blanks between encoded words vanish; blanks next to plain text stay.
    EXPECT_EQ(DecodeHeaderText("Re: =?utf-8?Q?a?=  =?utf-8?Q?b?= end", ""), "Re: ab end");
    // A character split between two words of one charset is joined first.
    EXPECT_EQ(DecodeHeaderText("=?utf-8?B?4oI=?= =?utf-8?B?rA==?=", ""), QString(QChar(0x20AC)));
    // Q form: underscore is a blank, =XX a byte; lower-case encoding letter.
    EXPECT_EQ(DecodeHeaderText("=?ISO-8859-2?q?P=F8=edli=9A_?=", ""),
              BytesToUnicode("P\xF8\xEDli\x9A ", 2));
    // Language suffix of RFC 2231.
    EXPECT_EQ(DecodeHeaderText("=?utf-8*en?Q?x=C3=A9?=", ""), QString::fromUtf8("x\xC3\xA9"));
    // Not encoded words: kept as text.
    EXPECT_EQ(DecodeHeaderText("=?utf-8?X?abc?= =?utf-8?Q?a b?=", ""), "=?utf-8?X?abc?= =?utf-8?Q?a b?=");
    EXPECT_EQ(DecodeHeaderText("=?", ""), "=?");
    EXPECT_EQ(DecodeHeaderText("a =?utf-8?Q?", ""), "a =?utf-8?Q?");
    // Plain 8-bit text around words uses the fallback charset.
    EXPECT_EQ(DecodeHeaderText("\xC0 =?utf-8?Q?=C3=A9?=", "Windows1251"),
              QString::fromUtf8("\xD0\x90 \xC3\xA9"));
}

TEST(HeaderText, CharsetsOutsideTheTableUseIcu)
{
    // Shift_JIS "あ" and Big5 "中", ISO-2022-JP "あ".
    EXPECT_EQ(DecodeHeaderText("=?Shift_JIS?B?gqA=?=", ""), QString(QChar(0x3042)));
    EXPECT_EQ(DecodeHeaderText("=?big5?B?pKQ=?=", ""), QString(QChar(0x4E2D)));
    EXPECT_EQ(DecodeHeaderText("=?ISO-2022-JP?B?GyRCJCIbKEI=?=", ""), QString(QChar(0x3042)));
    EXPECT_EQ(DecodeWithCharset("\xB0\xA1", "EUC-KR"), QString(QChar(0xAC00)));
    EXPECT_EQ(DecodeWithCharset("\xB0\xA1", "gb2312"), QString(QChar(0x554A)));
    EXPECT_TRUE(IsKnownCharset("Shift_JIS"));
    EXPECT_FALSE(IsKnownCharset("x-no-such-charset"));
    // An unknown charset falls back to the incoming default.
    DefaultCharset d(1);
    EXPECT_EQ(DecodeHeaderText("=?x-unknown?Q?=E9?=", ""), QString(QChar(0xE9)));
}

TEST(HeaderText, BytesWithoutConversion)
{
    EXPECT_EQ(DecodeEncodedWordsToBytes("=?utf-8?Q?=C3=A9?= x"), "\xC3\xA9 x");
    EXPECT_EQ(DecodeEncodedWordsToBytes("plain"), "plain");
}

TEST(HeaderText, RawEightBitBytesAreUtf8WhenTheyAreValidUtf8)
{
    DefaultCharset d(1);
    const QString pound = QString::fromUtf8("\xC2\xA3" "600");
    struct Case
    {
        const char* what;
        QByteArray raw;
        QByteArray fallback;
        QString expected;
    };
    const QList<Case> cases = {
        {"raw UTF-8, no charset anywhere", "\xC2\xA3" "600", "", pound},
        {"raw UTF-8 wins over a declared 8-bit charset", "\xC2\xA3" "600", "Windows1251", pound},
        {"four-byte UTF-8", "x\xF0\x9F\x98\x80", "", QString::fromUtf8("x\xF0\x9F\x98\x80")},
        {"Latin-1 is not UTF-8: the incoming default", "caf\xE9", "", QString::fromUtf8("caf\xC3\xA9")},
        {"Windows-1251 is not UTF-8: the message's charset", "\xCF\xF0\xE8\xE2\xE5\xF2",
         "Windows1251", QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82")},
        {"an overlong form is not UTF-8", "\xC0\xAF", "", QString::fromUtf8("\xC3\x80\xC2\xAF")},
        {"an encoded surrogate is not UTF-8", "\xED\xA0\x80", "",
         QString::fromUtf8("\xC3\xAD\xC2\xA0\xC2\x80")},
        {"beyond U+10FFFF is not UTF-8", "\xF4\x90\x80\x80", "",
         QString::fromUtf8("\xC3\xB4\xC2\x90\xC2\x80\xC2\x80")},
        {"a cut sequence is not UTF-8", "ab\xC2", "", QString::fromUtf8("ab\xC3\x82")},
        {"encoded words next to raw UTF-8", "=?iso-8859-1?Q?caf=E9?= \xC2\xA3" "600",
         "ISO-8859-1", QString::fromUtf8("caf\xC3\xA9 \xC2\xA3" "600")},
        {"encoded words next to raw Latin-1", "\xA3" "600 =?utf-8?Q?=C3=A9?=", "",
         QString::fromUtf8("\xC2\xA3" "600 \xC3\xA9")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeHeaderText(c.raw, c.fallback), c.expected) << c.what;
}

TEST(HeaderText, OpeningsWithoutAnEndStayText)
{
    // Every "=?" starts a word that never ends; what follows still decodes.
    QByteArray hostile;
    for (int i = 0; i < 2000; ++i)
        hostile += "=?x?Q?a";
    EXPECT_EQ(DecodeHeaderText(hostile, ""), QString::fromLatin1(hostile));
    EXPECT_EQ(DecodeHeaderText(hostile + " =?utf-8?Q?=C3=A9?=", ""),
              QString::fromLatin1(hostile) + QString::fromUtf8(" \xC3\xA9"));
    // A failed opening inside the charset name of the next word.
    EXPECT_EQ(DecodeHeaderText("=?a=?utf-8?Q?b?=", ""), "=?ab");
    EXPECT_EQ(DecodeHeaderText("=?x?Q?a =?x?Q?b =?utf-8?Q?c?=", ""), "=?x?Q?a =?x?Q?b c");
    // Words longer than the 75 characters of RFC 2047 are still read.
    const QByteArray longWord = "=?utf-8?Q?" + QByteArray(300, 'z') + "?=";
    EXPECT_EQ(DecodeHeaderText(longWord, ""), QString(300, QChar('z')));
}
