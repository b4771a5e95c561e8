#include "mime/MessageMatcher.h"

#include "mime/MessageRecord.h"

#include <array>

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

bool IsInlineTag(const QString& name)
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

bool BodyMatches(const MessageRecord& message, const QString& needle, const MessageFilter& filter)
{
    if (message.HoldingState() != MessageRecord::Holding::Whole)
        return false;
    // A copy of the parsed parts, or parts parsed for this test alone: they
    // go when the list does, and the record keeps what it held.
    const QList<TextPart> parts = message.ReadTextParts();
    for (const TextPart& part : parts) {
        QString text = part.Text();
        if (part.contentType == "text/html")
            text = HtmlToSearchText(text);
        if (FieldMatches(text, needle, filter))
            return true;
    }
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
    const QString needle = filter.caseSensitive ? filter.phrase : filter.phrase.toLower();
    if ((filter.fields & MessageFilter::Subject) && FieldMatches(message.Subject(), needle, filter))
        return true;
    if ((filter.fields & MessageFilter::SenderName) &&
        FieldMatches(message.FromName(), needle, filter))
        return true;
    if ((filter.fields & MessageFilter::SenderAddress) &&
        FieldMatches(QString::fromUtf8(message.FromAddress()), needle, filter))
        return true;
    return (filter.fields & MessageFilter::Body) && BodyMatches(message, needle, filter);
}

} // namespace vm
