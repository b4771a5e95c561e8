#include "mime/MessageMatcher.h"

#include "mime/ByteSearch.h"
#include "mime/Charsets.h"
#include "mime/MessageRecord.h"
#include "mime/TextPartScan.h"

#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string.h> // memmem

namespace vm {

void MessageFilter::Reset()
{
    fields = 0;
    phrase.clear();
    caseSensitive = false;
    wholeWords = false;
}

bool IsWordSeparator(QChar c)
{
    const char16_t u = c.unicode();
    return u <= 47 || (u >= 58 && u <= 64) || (u >= 91 && u <= 96) || (u >= 123 && u <= 127);
}

bool PhraseOccurs(const QString& text, const QString& needle, bool wholeWords)
{
    if (needle.isEmpty())
        return false;
    const qsizetype n = needle.size();
    const bool opensWithSeparator = IsWordSeparator(needle.front());
    const bool endsWithSeparator = IsWordSeparator(needle.back());
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(needle, from, Qt::CaseSensitive);
        if (at < 0)
            return false;
        if (!wholeWords)
            return true;
        const qsizetype end = at + n;
        const bool startOk = at == 0 || opensWithSeparator || IsWordSeparator(text[at - 1]);
        const bool endOk = end == text.size() || endsWithSeparator || IsWordSeparator(text[end]);
        if (startOk && endOk)
            return true;
        from = at + 1;
    }
}

namespace {

bool IsAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The tag name that starts at html[i] (after "<" or "</"), lower case.
QString TagName(const QString& html, qsizetype i)
{
    qsizetype j = i;
    while (j < html.size() && (IsAsciiLetter(html[j]) || html[j].isDigit()))
        ++j;
    return html.mid(i, j - i).toLower();
}

bool IsInlineTag(QAnyStringView name)
{
    static const std::array<QLatin1StringView, 18> kInline = {
        QLatin1StringView("a"),      QLatin1StringView("abbr"),   QLatin1StringView("b"),
        QLatin1StringView("big"),    QLatin1StringView("code"),   QLatin1StringView("em"),
        QLatin1StringView("font"),   QLatin1StringView("i"),      QLatin1StringView("mark"),
        QLatin1StringView("s"),      QLatin1StringView("small"),  QLatin1StringView("span"),
        QLatin1StringView("strike"), QLatin1StringView("strong"), QLatin1StringView("sub"),
        QLatin1StringView("sup"),    QLatin1StringView("tt"),     QLatin1StringView("u")};
    for (QLatin1StringView t : kInline)
        if (name == t)
            return true;
    return false;
}

// Decodes the character reference at html[i] ("&...;"); returns the number
// of characters it takes (0 when it is not one) and appends its text.
qsizetype AppendReference(const QString& html, qsizetype i, QString& out)
{
    const qsizetype semi = html.indexOf(u';', i + 1);
    if (semi < 0 || semi - i > 12)
        return 0;
    const QString body = html.mid(i + 1, semi - i - 1);
    if (body.startsWith(u'#')) {
        bool ok = false;
        const uint code = (body.size() > 1 && (body[1] == u'x' || body[1] == u'X'))
                              ? body.mid(2).toUInt(&ok, 16)
                              : body.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return 0;
        const char32_t c = code;
        out += QString::fromUcs4(&c, 1);
        return semi - i + 1;
    }
    static const std::array<std::pair<QLatin1StringView, char16_t>, 6> kNamed = {{
        {QLatin1StringView("amp"), u'&'},
        {QLatin1StringView("lt"), u'<'},
        {QLatin1StringView("gt"), u'>'},
        {QLatin1StringView("quot"), u'"'},
        {QLatin1StringView("apos"), u'\''},
        {QLatin1StringView("nbsp"), u' '},
    }};
    const QString name = body.toLower();
    for (const auto& [entity, c] : kNamed) {
        if (name == entity) {
            out += QChar(c);
            return semi - i + 1;
        }
    }
    return 0;
}

} // namespace

QString HtmlToSearchText(const QString& html)
{
    QString out;
    out.reserve(html.size());
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = html[i];
        if (c == u'&') {
            const qsizetype used = AppendReference(html, i, out);
            if (used > 0) {
                i += used;
                continue;
            }
            out += c;
            ++i;
            continue;
        }
        if (c != u'<') {
            // Plain text up to the next tag or reference, appended at once.
            qsizetype end = i + 1;
            while (end < n && html[end] != u'<' && html[end] != u'&')
                ++end;
            out += QStringView(html).mid(i, end - i);
            i = end;
            continue;
        }
        if (html.mid(i, 4) == QLatin1String("<!--")) {
            const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
            i = end < 0 ? n : end + 3;
            out += u' ';
            continue;
        }
        const bool closing = i + 1 < n && html[i + 1] == u'/';
        const qsizetype nameAt = i + (closing ? 2 : 1);
        if (nameAt >= n ||
            !(IsAsciiLetter(html[nameAt]) || html[nameAt] == u'!' || html[nameAt] == u'?')) {
            out += c; // a lone "<" is text
            ++i;
            continue;
        }
        const QString name = TagName(html, nameAt);
        const qsizetype close = html.indexOf(u'>', nameAt);
        i = close < 0 ? n : close + 1;
        if (!closing && (name == QLatin1String("script") || name == QLatin1String("style"))) {
            const qsizetype end = html.indexOf(QLatin1String("</") + name, i, Qt::CaseInsensitive);
            if (end < 0) {
                i = n;
            } else {
                const qsizetype gt = html.indexOf(u'>', end);
                i = gt < 0 ? n : gt + 1;
            }
        }
        if (!IsInlineTag(name))
            out += u' ';
    }
    return out;
}

namespace {

enum class BlockKind { None, Line, Paragraph };

BlockKind BlockOf(const QString& name)
{
    static const std::array<QLatin1StringView, 14> kParagraph = {
        QLatin1StringView("p"),     QLatin1StringView("h1"),         QLatin1StringView("h2"),
        QLatin1StringView("h3"),    QLatin1StringView("h4"),         QLatin1StringView("h5"),
        QLatin1StringView("h6"),    QLatin1StringView("blockquote"), QLatin1StringView("pre"),
        QLatin1StringView("table"), QLatin1StringView("ul"),         QLatin1StringView("ol"),
        QLatin1StringView("dl"),    QLatin1StringView("hr")};
    static const std::array<QLatin1StringView, 14> kLine = {
        QLatin1StringView("div"),     QLatin1StringView("tr"),      QLatin1StringView("li"),
        QLatin1StringView("dt"),      QLatin1StringView("dd"),      QLatin1StringView("address"),
        QLatin1StringView("center"),  QLatin1StringView("section"), QLatin1StringView("article"),
        QLatin1StringView("header"),  QLatin1StringView("footer"),  QLatin1StringView("form"),
        QLatin1StringView("caption"), QLatin1StringView("body")};
    for (QLatin1StringView t : kParagraph)
        if (name == t)
            return BlockKind::Paragraph;
    for (QLatin1StringView t : kLine)
        if (name == t)
            return BlockKind::Line;
    return BlockKind::None;
}

bool IsHtmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

} // namespace

QString HtmlToPlainText(const QString& html)
{
    QString out;
    out.reserve(html.size());
    int preDepth = 0;
    bool blank = false; // white space seen that has not been written yet
    auto put = [&](QStringView text) {
        if (blank && !out.isEmpty() && !out.endsWith(u'\n'))
            out += u' ';
        blank = false;
        out += text;
    };
    auto breakLine = [&](bool paragraph) {
        blank = false;
        if (!out.isEmpty() && !out.endsWith(u'\n'))
            out += u'\n';
        if (paragraph && !out.isEmpty() && !out.endsWith(QLatin1String("\n\n")))
            out += u'\n';
    };
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = html[i];
        if (c == u'&') {
            QString ref;
            const qsizetype used = AppendReference(html, i, ref);
            put(used > 0 ? QStringView(ref) : QStringView(html).mid(i, 1));
            i += used > 0 ? used : 1;
            continue;
        }
        if (c != u'<') {
            qsizetype end = i + 1;
            while (end < n && html[end] != u'<' && html[end] != u'&')
                ++end;
            const QStringView run = QStringView(html).mid(i, end - i);
            i = end;
            if (preDepth > 0) {
                put(QString(run.toString()).remove(u'\r'));
                continue;
            }
            qsizetype from = 0;
            for (qsizetype k = 0; k <= run.size(); ++k) {
                if (k < run.size() && !IsHtmlSpace(run[k]))
                    continue;
                if (k > from)
                    put(run.mid(from, k - from));
                if (k < run.size())
                    blank = true;
                from = k + 1;
            }
            continue;
        }
        if (html.mid(i, 4) == QLatin1String("<!--")) {
            const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        const bool closing = i + 1 < n && html[i + 1] == u'/';
        const qsizetype nameAt = i + (closing ? 2 : 1);
        if (nameAt >= n ||
            !(IsAsciiLetter(html[nameAt]) || html[nameAt] == u'!' || html[nameAt] == u'?')) {
            put(QStringView(html).mid(i, 1)); // a lone "<" is text
            ++i;
            continue;
        }
        const QString name = TagName(html, nameAt);
        const qsizetype close = html.indexOf(u'>', nameAt);
        i = close < 0 ? n : close + 1;
        if (!closing && (name == QLatin1String("script") || name == QLatin1String("style") ||
                         name == QLatin1String("title"))) {
            const qsizetype end = html.indexOf(QLatin1String("</") + name, i, Qt::CaseInsensitive);
            if (end < 0) {
                i = n;
            } else {
                const qsizetype gt = html.indexOf(u'>', end);
                i = gt < 0 ? n : gt + 1;
            }
            continue;
        }
        if (name == QLatin1String("br")) {
            blank = false;
            out += u'\n';
            continue;
        }
        if (name == QLatin1String("pre"))
            preDepth = closing ? qMax(0, preDepth - 1) : preDepth + 1;
        const BlockKind block = BlockOf(name);
        if (block != BlockKind::None)
            breakLine(block == BlockKind::Paragraph);
        else if (!IsInlineTag(name))
            blank = true;
    }

    // Blanks at line ends go; runs of empty lines become one.
    QStringList lines;
    for (QString line : out.split(u'\n')) {
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
        if (line.isEmpty() && (lines.isEmpty() || lines.back().isEmpty()))
            continue;
        lines.append(line);
    }
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines.join(u'\n');
}

namespace {

bool FieldMatches(const QString& text, const QString& needle, const MessageFilter& filter)
{
    return PhraseOccurs(filter.caseSensitive ? text : text.toLower(), needle, filter.wholeWords);
}

// The phrase as the rules compare it (lower case unless the search is
// case-sensitive), also in UTF-8 for texts searched as bytes.
struct Needle
{
    QString text;
    QByteArray utf8;
    bool ascii = true;
};

// Work buffers of the body search, kept between messages so that a search
// over a mailbox does not allocate for every part.
struct Scratch
{
    QList<TextPartSpan> spans;
    QByteArray decoded;
    QByteArray html;
};

Scratch& TheScratch()
{
    thread_local Scratch scratch;
    return scratch;
}

bool IsSeparatorByte(char c)
{
    return IsWordSeparator(QChar(char16_t(static_cast<unsigned char>(c))));
}

// PhraseOccurs on UTF-8 bytes: every occurrence of a valid UTF-8 needle in
// valid UTF-8 text begins and ends on character boundaries, and a byte
// beside it stands for a separator only when it is an ASCII one.
bool BytesOccur(QByteArrayView text, const Needle& needle, bool wholeWords, bool foldCase)
{
    const QByteArray& p = needle.utf8;
    if (p.isEmpty())
        return false;
    const bool opensWithSeparator = IsSeparatorByte(p.front());
    const bool endsWithSeparator = IsSeparatorByte(p.back());
    const qsizetype n = text.size();
    for (qsizetype from = 0;;) {
        const qsizetype at = FindBytes(text, from, p, foldCase);
        if (at < 0)
            return false;
        if (!wholeWords)
            return true;
        const qsizetype end = at + p.size();
        const bool startOk = at == 0 || opensWithSeparator || IsSeparatorByte(text[at - 1]);
        const bool endOk = end == n || endsWithSeparator || IsSeparatorByte(text[end]);
        if (startOk && endOk)
            return true;
        from = at + 1;
    }
}

char LowerByte(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool IsLetterByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// IsInlineTag for a lower-case ASCII name.
bool IsInlineTagName(const char* name, qsizetype length)
{
    switch (length) {
    case 1:
        return name[0] == 'a' || name[0] == 'b' || name[0] == 'i' || name[0] == 's' ||
               name[0] == 'u';
    case 2:
        return std::memcmp(name, "em", 2) == 0 || std::memcmp(name, "tt", 2) == 0;
    case 3:
        return std::memcmp(name, "big", 3) == 0 || std::memcmp(name, "sub", 3) == 0 ||
               std::memcmp(name, "sup", 3) == 0;
    case 4:
        return std::memcmp(name, "abbr", 4) == 0 || std::memcmp(name, "code", 4) == 0 ||
               std::memcmp(name, "font", 4) == 0 || std::memcmp(name, "mark", 4) == 0 ||
               std::memcmp(name, "span", 4) == 0;
    case 5:
        return std::memcmp(name, "small", 5) == 0;
    case 6:
        return std::memcmp(name, "strike", 6) == 0 || std::memcmp(name, "strong", 6) == 0;
    default:
        return false;
    }
}

// The character of the reference "&...;" at html[i], or 0 when there is
// none there; *used is its length. Same rules as AppendReference.
char32_t ReferenceAt(const char* d, qsizetype n, qsizetype i, qsizetype* used)
{
    // The reference ends at a ";" at most 12 characters on.
    const qsizetype window = std::min<qsizetype>(13, n - i);
    const void* semiHit = std::memchr(d + i + 1, ';', std::size_t(window - 1));
    if (!semiHit)
        return 0;
    const qsizetype semi = static_cast<const char*>(semiHit) - d;
    const QByteArrayView body(d + i + 1, semi - i - 1);
    *used = semi - i + 1;
    if (body.startsWith('#')) {
        const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
        const QByteArrayView digits = body.sliced(hex ? 2 : 1);
        if (digits.isEmpty())
            return 0;
        std::uint64_t value = 0;
        for (const char ch : digits) {
            int v = -1;
            if (ch >= '0' && ch <= '9')
                v = ch - '0';
            else if (hex && ch >= 'a' && ch <= 'f')
                v = ch - 'a' + 10;
            else if (hex && ch >= 'A' && ch <= 'F')
                v = ch - 'A' + 10;
            if (v < 0) {
                // Blanks, signs and the other forms the number reader
                // takes: decided by the text version itself.
                QString ref;
                if (AppendReference(QString::fromLatin1(d + i, window), 0, ref) <= 0)
                    return 0;
                return ref.size() == 2 ? QChar::surrogateToUcs4(ref[0], ref[1])
                                       : char32_t(ref[0].unicode());
            }
            value = value * (hex ? 16 : 10) + std::uint64_t(v);
        }
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return 0;
        return char32_t(value);
    }
    static const std::array<std::pair<QByteArrayView, char>, 6> kNamed = {{
        {"amp", '&'},
        {"lt", '<'},
        {"gt", '>'},
        {"quot", '"'},
        {"apos", '\''},
        {"nbsp", ' '},
    }};
    for (const auto& [entity, ch] : kNamed) {
        if (body.size() != entity.size())
            continue;
        qsizetype k = 0;
        while (k < body.size() && LowerByte(body[k]) == entity[k])
            ++k;
        if (k == body.size())
            return char32_t(ch);
    }
    return 0;
}

// HtmlToSearchText on the bytes of an HTML text for which
// AsciiSearchableAsBytes holds, into out: the same steps, with every byte
// beyond ASCII kept as it is (it belongs to a character beyond ASCII), a
// character reference written in UTF-8. False when the bytes alone cannot
// decide: a tag name followed by a character beyond ASCII (which may be a
// digit of the name), or a reference to a character that lowers or folds to
// ASCII; out is then unfinished.
bool HtmlToSearchBytes(QByteArrayView html, QByteArray& out)
{
    const qsizetype n = html.size();
    const char* const d = html.data();
    // Nothing grows: a tag, comment or reference gives at most as many bytes
    // as it takes (a numeric reference of 4 bytes in UTF-8 takes 4 or more).
    out.resize(n);
    char* const o0 = out.data();
    char* o = o0;
    auto find = [&](char c, qsizetype from) -> qsizetype {
        const void* hit = from < n ? std::memchr(d + from, c, std::size_t(n - from)) : nullptr;
        return hit ? static_cast<const char*>(hit) - d : n;
    };
    qsizetype i = 0;
    while (i < n) {
        const qsizetype stop = FindEitherByte(html, i, '<', '&');
        if (stop > i) {
            // Plain text up to the next tag or reference.
            std::memcpy(o, d + i, std::size_t(stop - i));
            o += stop - i;
            i = stop;
            continue;
        }
        const char c = d[i];
        if (c == '&') {
            qsizetype used = 0;
            const char32_t code = ReferenceAt(d, n, i, &used);
            if (code == 0) {
                *o++ = '&';
                ++i;
            } else {
                if (code < 0x80) {
                    *o++ = char(code);
                } else {
                    if (LowersOrFoldsToAscii(code))
                        return false;
                    const QByteArray utf8 = QString::fromUcs4(&code, 1).toUtf8();
                    std::memcpy(o, utf8.constData(), std::size_t(utf8.size()));
                    o += utf8.size();
                }
                i += used;
            }
            continue;
        }
        // c == '<'
        if (n - i >= 4 && d[i + 1] == '!' && d[i + 2] == '-' && d[i + 3] == '-') {
            const void* close = memmem(d + i + 4, std::size_t(n - i - 4), "-->", 3);
            i = close ? static_cast<const char*>(close) - d + 3 : n;
            *o++ = ' ';
            continue;
        }
        const bool closing = i + 1 < n && d[i + 1] == '/';
        const qsizetype nameAt = i + (closing ? 2 : 1);
        if (nameAt >= n || !(IsLetterByte(d[nameAt]) || d[nameAt] == '!' || d[nameAt] == '?')) {
            *o++ = '<'; // a lone "<" is text
            ++i;
            continue;
        }
        qsizetype nameEnd = nameAt;
        while (nameEnd < n &&
               (IsLetterByte(d[nameEnd]) || (d[nameEnd] >= '0' && d[nameEnd] <= '9')))
            ++nameEnd;
        if (nameEnd < n && static_cast<unsigned char>(d[nameEnd]) >= 0x80)
            return false;
        char name[8] = {};
        const qsizetype nameLength = nameEnd - nameAt;
        if (nameLength < qsizetype(sizeof name))
            for (qsizetype k = 0; k < nameLength; ++k)
                name[k] = LowerByte(d[nameAt + k]);
        qsizetype close = nameEnd;
        while (close < n && d[close] != '>')
            ++close;
        i = close >= n ? n : close + 1;
        const bool script = nameLength == 6 && std::memcmp(name, "script", 6) == 0;
        const bool style = nameLength == 5 && std::memcmp(name, "style", 5) == 0;
        if (!closing && (script || style)) {
            // Up to the element's end tag, in any letter case.
            const char* endTag = script ? "</script" : "</style";
            const qsizetype tagLength = script ? 8 : 7;
            qsizetype found = -1;
            for (qsizetype at = i; at < n;) {
                const qsizetype lt = find('<', at);
                if (n - lt < tagLength)
                    break;
                qsizetype k = 0;
                while (k < tagLength && LowerByte(d[lt + k]) == endTag[k])
                    ++k;
                if (k == tagLength) {
                    found = lt;
                    break;
                }
                at = lt + 1;
            }
            if (found < 0) {
                i = n;
            } else {
                const qsizetype gt = find('>', found);
                i = gt >= n ? n : gt + 1;
            }
        }
        if (nameLength >= qsizetype(sizeof name) || !IsInlineTagName(name, nameLength))
            *o++ = ' ';
    }
    out.resize(o - o0);
    return true;
}

// Whether the phrase occurs in the search text of one text part: its bytes
// read in its charset, an HTML part by its text. An ASCII phrase is looked
// for in the bytes themselves when they allow it (nearly all mail); anything
// else is decoded to Unicode first.
bool PartMatches(const QByteArray& contentType, const QByteArray& charset, QByteArrayView data,
                 const Needle& needle, const MessageFilter& filter)
{
    const bool html = contentType == "text/html";
    if (needle.ascii && AsciiSearchableAsBytes(data, charset)) {
        QByteArrayView text = data;
        QByteArray& out = TheScratch().html;
        if (!html || HtmlToSearchBytes(data, out)) {
            if (html)
                text = out;
            return BytesOccur(text, needle, filter.wholeWords, !filter.caseSensitive);
        }
    } else if (!needle.ascii && !html && IsAsciiBytes(data) && KeepsAscii(charset)) {
        // Lower case keeps ASCII text ASCII, so a phrase beyond ASCII never
        // occurs in it.
        return false;
    }
    QString text = DecodeWithCharset(data.toByteArray(), charset);
    if (html)
        text = HtmlToSearchText(text);
    return FieldMatches(text, needle.text, filter);
}

bool BodyMatches(const MessageRecord& message, const Needle& needle, const MessageFilter& filter)
{
    if (message.HoldingState() != MessageRecord::Holding::Whole)
        return false;
    if (message.BodyParsed()) {
        for (const TextPart& part : message.TextParts())
            if (PartMatches(part.contentType, part.charset, part.data, needle, filter))
                return true;
        return false;
    }
    // The text parts found by a scan of the raw text, decoded one by one;
    // messages of unusual shape are parsed fully for the test alone. Either
    // way the record keeps what it held.
    Scratch& s = TheScratch();
    if (FindTextParts(message.raw, s.spans)) {
        QList<TextPartSpan> spans = std::move(s.spans);
        for (const TextPartSpan& span : spans) {
            QByteArrayView data(message.raw.constData() + span.begin, span.end - span.begin);
            if (span.encoding != TextPartSpan::Encoding::None) {
                DecodeTransfer(data, span.encoding, s.decoded);
                data = s.decoded;
            }
            if (PartMatches(span.contentType, span.charset, data, needle, filter)) {
                s.spans = std::move(spans);
                return true;
            }
        }
        s.spans = std::move(spans);
        return false;
    }
    const QList<TextPart> parts = message.ReadTextParts();
    for (const TextPart& part : parts)
        if (PartMatches(part.contentType, part.charset, part.data, needle, filter))
            return true;
    return false;
}

} // namespace

bool MessageMatches(MessageRecord& message, const MessageFilter& filter)
{
    if (!filter.filterNew && message.IsNew())
        return true;
    if (!filter.Active())
        return false;
    if (!message.parsed() && !message.noHeaders && !message.raw.isEmpty()) {
        if (message.headersOnly)
            message.ParseHeaders();
        else
            message.ParseWholeDeferred();
    }
    Needle needle;
    needle.text = filter.caseSensitive ? filter.phrase : filter.phrase.toLower();
    if ((filter.fields & MessageFilter::Subject) &&
        FieldMatches(message.Subject(), needle.text, filter))
        return true;
    if ((filter.fields & MessageFilter::SenderName) &&
        FieldMatches(message.FromName(), needle.text, filter))
        return true;
    if ((filter.fields & MessageFilter::SenderAddress) &&
        FieldMatches(QString::fromUtf8(message.FromAddress()), needle.text, filter))
        return true;
    if (!(filter.fields & MessageFilter::Body))
        return false;
    needle.utf8 = needle.text.toUtf8();
    needle.ascii = IsAsciiBytes(needle.utf8);
    return BodyMatches(message, needle, filter);
}

} // namespace vm
