// The scan of a message's text parts and the body search built on it,
// against the full MIME parse (MessageRecord::ReadTextParts, GMime) on
// tricky messages and on the message corpora scripts/setup installs.

#include "mime/ByteSearch.h"
#include "mime/MessageMatcher.h"
#include "mime/MessageRecord.h"
#include "mime/TextPartScan.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "support/MessageCorpus.h"

#include <cctype>
#include <string>

using namespace vm;

namespace {

// Messages whose shape the scan must read exactly as the parser does, or
// leave to it. Each names phrases a body search should be tried with.
struct Tricky
{
    const char* what;
    QByteArray raw;
    bool scanned; // whether the scan reads it itself
    QList<QByteArray> phrases;
};

QByteArray Mixed(const QByteArray& parts, const QByteArray& boundary = "b")
{
    return "From: a@example.org\r\nSubject: s\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"" +
           boundary + "\"\r\n\r\npreamble --b\r\n" + parts;
}

const QList<Tricky>& TrickyMessages()
{
    static const QList<Tricky> cases = {
        {"nested multiparts, the line break before a boundary belongs to it",
         Mixed("--b\r\nContent-Type: multipart/alternative; boundary=\"c\"\r\n\r\n"
               "--c\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nplain words\r\n\r\n"
               "--c\r\nContent-Type: text/html\r\n\r\n<p>html <b>wor</b>ds</p>\r\n--c--\r\n"
               "epilogue of c\r\n--b\r\nContent-Type: text/plain\r\n\r\nlast\r\n--b--\r\n"),
         true,
         {"words", "html words", "epilogue", "last", "plain words\r\n"}},
        {"an enclosing boundary ends the inner multipart",
         Mixed("--b\r\nContent-Type: multipart/alternative; boundary=c\r\n\r\n--c\r\n\r\ninner\r\n"
               "--b\r\n\r\nouter\r\n--c\r\n\r\nstill outer\r\n--b--\r\n"),
         true,
         {"still outer", "inner"}},
        {"boundary lines with blanks after them, longer lines that are no boundary",
         Mixed("--b \t\r\n\r\none\r\n--bxyz\r\ntwo\r\n--b--x\r\nthree\r\n--b--  "
               "\r\n--b\r\n\r\nfour\r\n"),
         true,
         {"two", "three", "four", "one\r\n--bxyz"}},
        {"no closing boundary, bare LF lines",
         "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nlf only\n\n"
         "--b\n\nno end\n",
         true,
         {"lf only", "no end"}},
        {"quoted-printable with soft breaks, bad escapes and an open end",
         Mixed("--b\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
               "Content-Transfer-Encoding: Quoted-Printable\r\n\r\n"
               "caf=E9 au=\r\n lait = =3d=4g a=\rb=4a=\r\n--b\r\nContent-Transfer-Encoding: "
               "quoted-printable\r\n\r\nend=\r\n--b--\r\n"),
         true,
         {"café au lait", "= =", "=4g", "j", "a=\rb"}},
        {"base64 with an early end, blanks and a short last group",
         Mixed("--b\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
               "aGVs bG8g\r\nd29y!bGQ=aGlk ZGVu\r\n--b\r\nContent-Transfer-Encoding: base64\r\n\r\n"
               "c2hvcnQ\r\n--b--\r\n"),
         true,
         {"hello world", "hidden", "short", "sho"}},
        {"charsets: table, ICU, UTF-8 beyond ASCII, a wide one",
         Mixed("--b\r\nContent-Type: text/plain; "
               "charset=windows-1251\r\n\r\n\xEF\xF0\xE8\xE2\xE5\xF2\r\n"
               "--b\r\nContent-Type: text/plain; charset=koi8-r\r\n\r\n\xD0\xD2\xC9\r\n"
               "--b\r\nContent-Type: text/plain; charset=shift_jis\r\n\r\n\x93\xfa\x96\x7b abc\r\n"
               "--b\r\nContent-Type: text/plain; charset=utf-16le\r\n"
               "Content-Transfer-Encoding: base64\r\n\r\naABpAA==\r\n"
               "--b\r\nContent-Type: text/plain; charset=\"UTF-8\"\r\n\r\nGr\xC3\xBC\xC3\x9F\x65 "
               "\xC4\xB0stanbul\r\n--b--\r\n"),
         true,
         {"\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xD0\xBF\xD1\x80\xD0\xB8", "abc",
          "hi",
          "gr\xC3\xBC\xC3\x9F"
          "e",
          "i\xCC\x87stanbul", "istanbul"}},
        {"ISO-2022-JP keeps no ASCII as it is",
         "Content-Type: text/plain; charset=iso-2022-jp\r\n\r\n\x1b$B$3$s\x1b(B AB\r\n",
         true,
         {"AB", "$3$s", "\xE3\x81\x93"}},
        {"HTML: references, comments, scripts, styles, inline and block tags",
         "Content-Type: text/html; charset=us-ascii\r\n\r\n"
         "<html><head><style>p{color:red}</style><script>var hidden=1;</script></head><body>"
         "fish &amp; chips &lt;3 &#65;&#x42;&#X43; &NBSP;x &#233;t&#xe9; &# 68; &#+69; &#0x46; "
         "&bogus; & &#0; &#xD800; &#1114112; &#99999999999;<!-- secret -->Gr<b>&uuml;</b>be "
         "Gr<B>ue</B>be <P>par</P>agraph <br>line<SCRIPT>x</script >after <a href=x>li</a>nk"
         "</body></html>\r\n",
         true,
         {"fish & chips <3 abc x", "\xC3\xA9t\xC3\xA9", "d", "e", "f", "&bogus;", "secret",
          "gruebe", "par agraph", "line after", "link", "hidden", "color", "& &#0;"}},
        {"HTML in a charset beyond ASCII",
         "Content-Type: text/html; charset=iso-8859-2\r\n\r\n<p>\xB3\xF3\x64\xBC</p>&#322;\r\n",
         true,
         {"\xC5\x82\xC3\xB3\x64\xC5\xBA", "\xC5\x82"}},
        {"text beyond ASCII searched as bytes: UTF-8 and Latin-1",
         Mixed(
             "--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nna\xC3\xAFve caf\xC3\xA9 "
             "Gr\xC3\xBC\xC3\x9F\x65\r\n--b\r\nContent-Type: text/html; charset=iso-8859-1\r\n\r\n"
             "<p>caf\xE9 <b>cr\xE8</b>me</p>\r\n--b--\r\n"),
         true,
         {"caf", "cafe", "na\xC3\xAFve", "cr\xC3\xA8me", "me", "ve caf"}},
        {"characters that lower or fold to ASCII, and bytes a decoder drops or turns into ASCII",
         Mixed("--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n\xE2\x84\xAA"
               "ELVIN ab\x80\x63\x64\r\n"
               "--b\r\nContent-Type: text/plain; charset=windows-1254\r\n\r\n\xDDstanbul\r\n"
               "--b\r\nContent-Type: text/plain; charset=windows-1252\r\n\r\na\x81\x62\r\n"
               "--b\r\nContent-Type: text/html; "
               "charset=utf-8\r\n\r\n<script>x</\xC5\xBF\x63ript>after "
               "<b\xD9\xA3>digit</b> &#304;zmir\r\n--b--\r\n"),
         true,
         {"kelvin", "bcd", "istanbul", "a?b", "after", "x", "digit", "izmir"}},
        {"upper-case types, parameters with blanks and quotes, a final semicolon",
         Mixed("--b\r\nContent-Type: TEXT/HTML ; CHARSET = \"utf-8\" ;\r\n\r\n<i>shout</i>ing\r\n"
               "--b\r\ncontent-type: text/plain;\r\n\tcharset=us-ascii; format=flowed\r\n\r\n"
               "folded header\r\n--b--\r\n"),
         true,
         {"shouting", "folded header"}},
        {"named and disposed parts are attachments, inline without a name is text",
         Mixed(
             "--b\r\nContent-Type: text/plain; name=\"a.txt\"\r\n\r\nnamed\r\n"
             "--b\r\nContent-Type: text/plain\r\nContent-Disposition: "
             "attachment\r\n\r\ndisposed\r\n"
             "--b\r\nContent-Type: text/plain\r\nContent-Disposition: inline; "
             "filename=b.txt\r\n\r\n"
             "inline named\r\n--b\r\nContent-Type: text/plain\r\nContent-Disposition: "
             "INLINE\r\n\r\n"
             "inline text\r\n--b\r\nContent-Type: application/pdf\r\n\r\nbinary text\r\n--b--\r\n"),
         true,
         {"named", "disposed", "inline named", "inline text", "binary"}},
        {"a part without a header block and an empty part",
         Mixed("--b\r\n\r\nbare part\r\n--b\r\nContent-Type: text/plain\r\n\r\n--b--\r\n"),
         true,
         {"bare part"}},
        {"RFC 2231 file name: left to the parser",
         Mixed("--b\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; "
               "filename*=utf-8''a%20b.txt\r\n\r\nrfc2231\r\n--b\r\n\r\nvisible\r\n--b--\r\n"),
         false,
         {"rfc2231", "visible"}},
        {"RFC 2231 charset: left to the parser",
         "Content-Type: text/plain; charset*=utf-8''iso-8859-1\r\n\r\ncaf\xE9\r\n",
         false,
         {"caf\xC3\xA9"}},
        {"an encoded word as a name: left to the parser",
         Mixed(
             "--b\r\nContent-Type: text/plain; name=\"=?utf-8?q?x?=\"\r\n\r\nencoded\r\n--b--\r\n"),
         false,
         {"encoded"}},
        {"a header block cut short by a boundary: left to the parser",
         Mixed("--b\r\nContent-Type: text/plain\r\n--b\r\n\r\nsecond\r\n--b--\r\n"),
         false,
         {"second"}},
        {"a line that is no header field: left to the parser",
         Mixed("--b\r\nContent-Type: text/plain\r\nnot a field\r\n\r\nbody\r\n--b--\r\n"),
         false,
         {"body", "not a field"}},
        {"the same boundary inside: left to the parser",
         Mixed("--b\r\nContent-Type: multipart/alternative; boundary=b\r\n\r\n--b\r\n\r\nx\r\n"
               "--b--\r\n--b\r\n\r\ny\r\n--b--\r\n"),
         false,
         {"x", "y"}},
        {"an embedded message: left to the parser",
         Mixed("--b\r\nContent-Type: message/rfc822\r\n\r\nSubject: inner\r\n\r\ninner body\r\n"
               "--b\r\n\r\nouter body\r\n--b--\r\n"),
         false,
         {"inner body", "outer body"}},
        {"a digest: left to the parser",
         "Content-Type: multipart/digest; boundary=d\r\n\r\n--d\r\n\r\nSubject: x\r\n\r\nin "
         "digest\r\n"
         "--d--\r\n",
         false,
         {"in digest"}},
        {"another transfer encoding: left to the parser",
         "Content-Type: text/plain\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n"
         "begin 644 a\r\n#86)C\r\n`\r\nend\r\n",
         false,
         {"abc", "begin"}},
        {"two Content-Type fields: left to the parser",
         "Content-Type: text/html\r\nContent-Type: text/plain\r\n\r\n<b>x</b>y\r\n",
         false,
         {"xy", "<b>"}},
        {"a comment in a parameter: left to the parser",
         "Content-Type: text/plain; charset=utf-8 (comment)\r\n\r\ncomment\r\n",
         false,
         {"comment"}},
        {"a multipart without a boundary: left to the parser",
         "Content-Type: multipart/mixed\r\n\r\n--b\r\n\r\nno boundary\r\n",
         false,
         {"no boundary"}},
        {"a message without an end of its header block: left to the parser",
         "Subject: only headers\r\nX-Other: x",
         false,
         {"only"}},
        {"an mbox From line first: left to the parser",
         "From someone Mon Jan  1 00:00:00 2024\r\nSubject: x\r\n\r\nmbox body\r\n",
         false,
         {"mbox body"}},
        {"no Content-Type at all: one plain part",
         "Subject: plain\r\n\r\nJust text.\r\n\r\n",
         true,
         {"just text.", "JUST TEXT"}},
    };
    return cases;
}

// Every text part as the full parse gives it, and as the scan does.
QList<TextPart> Scanned(const QByteArray& raw, bool* ok)
{
    QList<TextPartSpan> spans;
    *ok = FindTextParts(raw, spans);
    QList<TextPart> parts;
    for (const TextPartSpan& span : spans) {
        TextPart part;
        part.contentType = span.contentType;
        part.charset = span.charset;
        DecodeTransfer(QByteArrayView(raw).sliced(span.begin, span.end - span.begin), span.encoding,
                       part.data);
        parts.append(part);
    }
    return parts;
}

QList<TextPart> FullParse(const QByteArray& raw)
{
    MessageRecord m;
    m.raw = raw;
    m.headersOnly = false;
    return m.ReadTextParts();
}

std::string Describe(const QList<TextPart>& parts)
{
    std::string out;
    for (const TextPart& p : parts)
        out += "[" + p.contentType.toStdString() + ";" + p.charset.toStdString() + "|" +
               p.data.toPercentEncoding(" ").toStdString() + "]";
    return out;
}

// The body search as it was before the scan: the full parse, each text
// part decoded to Unicode, HTML by its text, then the phrase test.
bool ReferenceBodyMatch(const QByteArray& raw, const MessageFilter& f)
{
    const QString needle = f.caseSensitive ? f.phrase : f.phrase.toLower();
    for (const TextPart& part : FullParse(raw)) {
        QString text = part.Text();
        if (part.contentType == "text/html")
            text = HtmlToSearchText(text);
        if (PhraseOccurs(f.caseSensitive ? text : text.toLower(), needle, f.wholeWords))
            return true;
    }
    return false;
}

QStringList CorpusFiles()
{
    QStringList files;
    const QString python = vm::test::PythonEmailTestData();
    const QString enmime = vm::test::EnmimeTestData();
    if (python.isEmpty() || enmime.isEmpty())
        return {};
    for (const QString& f : QDir(python).entryList({QStringLiteral("msg_*.txt")}, QDir::Files))
        files.append(python + '/' + f);
    for (const QString& sub : QDir(enmime).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& f :
             QDir(enmime + '/' + sub).entryList({QStringLiteral("*.raw")}, QDir::Files))
            files.append(enmime + '/' + sub + '/' + f);
    return files;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(TextPartScan, ReadsTrickyMessagesAsTheParserOrLeavesThemToIt)
{
    for (const Tricky& c : TrickyMessages()) {
        bool ok = false;
        const QList<TextPart> scanned = Scanned(c.raw, &ok);
        EXPECT_EQ(ok, c.scanned) << c.what;
        if (ok) {
            EXPECT_EQ(Describe(scanned), Describe(FullParse(c.raw))) << c.what;
        }
    }
}

TEST(TextPartScan, ReadsTheCorporaAsTheParserOrLeavesThemToIt)
{
    const QStringList files = CorpusFiles();
    ASSERT_GE(files.size(), 100) << "scripts/setup installs the message corpora";
    int scanned = 0;
    for (const QString& file : files) {
        const QByteArray raw = ReadAll(file);
        bool ok = false;
        const QList<TextPart> parts = Scanned(raw, &ok);
        if (!ok)
            continue;
        ++scanned;
        EXPECT_EQ(Describe(parts), Describe(FullParse(raw))) << file.toStdString();
    }
    // Most of them are ordinary mail the scan reads itself.
    EXPECT_GE(scanned, files.size() / 2);
}

TEST(MessageMatcher, BodySearchFindsWhatTheFullParseFinds)
{
    struct Sample
    {
        std::string what;
        QByteArray raw;
        QList<QByteArray> phrases;
    };
    QList<Sample> samples;
    for (const Tricky& c : TrickyMessages())
        samples.append({c.what, c.raw, c.phrases});
    // From every corpus message: words of its own text (found), the same in
    // capitals, and a phrase that occurs nowhere.
    for (const QString& file : CorpusFiles()) {
        const QByteArray raw = ReadAll(file);
        QList<QByteArray> phrases{"velmora-absent", "the", "a"};
        for (const TextPart& part : FullParse(raw)) {
            const QStringList words = part.Text().simplified().split(' ', Qt::SkipEmptyParts);
            if (words.size() >= 3) {
                const QString two = words[words.size() / 2] + ' ' + words[words.size() / 2 + 1];
                phrases.append(two.toUtf8());
                phrases.append(two.toUpper().toUtf8());
            }
        }
        samples.append({file.toStdString(), raw, phrases});
    }
    int found = 0;
    int tests = 0;
    for (const Sample& s : samples) {
        for (const QByteArray& phrase : s.phrases) {
            for (const int options : {0, 1, 2, 3}) {
                MessageFilter f;
                f.fields = MessageFilter::Body;
                f.phrase = QString::fromUtf8(phrase);
                f.caseSensitive = options & 1;
                f.wholeWords = options & 2;
                MessageRecord m;
                m.raw = s.raw;
                m.headersOnly = false;
                const bool expected = ReferenceBodyMatch(s.raw, f);
                EXPECT_EQ(MessageMatches(m, f), expected)
                    << s.what << " / " << phrase.toStdString() << " case=" << f.caseSensitive
                    << " whole=" << f.wholeWords;
                found += expected;
                ++tests;
            }
        }
    }
    // The samples find some phrases and miss others.
    EXPECT_GT(found, tests / 10);
    EXPECT_LT(found, tests - tests / 10);
}

TEST(ByteSearch, FindsWhatAPlainSearchFinds)
{
    // Places around the sixteen-byte steps, the ends, letters of both cases.
    const std::string text = "Abc.abcABCxyz--\n--b0123456789abcdefXYZ-xyz\n--bQ aBc";
    const char* patterns[] = {"abc",
                              "ABC",
                              "xyz",
                              "\n--b",
                              "Q aBc",
                              "c",
                              "--",
                              "aBc",
                              "9abcdefXYZ-",
                              "missing",
                              "Abc.abcABCxyz--\n--b0123456789abcdefXYZ-xyz\n--bQ aBc"};
    for (const char* p : patterns) {
        const std::string pattern(p);
        std::string lower = pattern;
        for (char& c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        std::string folded = text;
        for (char& c : folded)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        for (std::size_t from = 0; from <= text.size(); ++from) {
            const std::size_t plain = text.find(pattern, from);
            const std::size_t fold = folded.find(lower, from);
            EXPECT_EQ(FindBytes(QByteArrayView(text.data(), qsizetype(text.size())),
                                qsizetype(from),
                                QByteArrayView(pattern.data(), qsizetype(pattern.size()))),
                      plain == std::string::npos ? -1 : qsizetype(plain))
                << p << " from " << from;
            EXPECT_EQ(FindBytes(QByteArrayView(text.data(), qsizetype(text.size())),
                                qsizetype(from),
                                QByteArrayView(lower.data(), qsizetype(lower.size())), true),
                      fold == std::string::npos ? -1 : qsizetype(fold))
                << p << " folded from " << from;
        }
    }
    EXPECT_TRUE(IsAsciiBytes(QByteArrayView(text.data(), qsizetype(text.size()))));
    for (std::size_t at : {0, 15, 16, 31, 47}) {
        std::string high = text;
        high[at] = '\xC3';
        EXPECT_FALSE(IsAsciiBytes(QByteArrayView(high.data(), qsizetype(high.size())))) << at;
    }
}

} // namespace
