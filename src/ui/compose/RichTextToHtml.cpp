#include "ui/compose/RichTextToHtml.h"

#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>

#include <vector>

#include "mime/Charsets.h"
#include "send/SendRequest.h"

namespace vm {

namespace {

constexpr char32_t kObject = 0xFFFC; // QTextDocument's stand-in for an embedded object

bool IsLineBreak(char32_t c)
{
    return c == '\r' || c == '\n' || c == '\v' || c == 0x2028;
}

// A font name can come from pasted HTML. Ordinary names are written as they
// are; any other is written as a CSS string whose quotes and backslashes are
// CSS-escaped, and whose markup characters are HTML-escaped for the
// attribute, so it can neither end the style nor the tag.
QString FamilyForStyle(const QString& family)
{
    bool plain = !family.isEmpty();
    for (QChar c : family) {
        if (!(c.isLetterOrNumber() || c == u' ' || c == u'-' || c == u'_')) {
            plain = false;
            break;
        }
    }
    if (plain)
        return family;
    QString out = QStringLiteral("'");
    for (QChar c : family) {
        switch (c.unicode()) {
        case '\'':
            out += QStringLiteral("\\27 ");
            break;
        case '\\':
            out += QStringLiteral("\\5C ");
            break;
        case '"':
            out += QStringLiteral("&quot;");
            break;
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        default:
            if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
                out += c;
        }
    }
    return out + QLatin1Char('\'');
}

} // namespace

RichTextToHtml::RichTextToHtml()
    : header{QStringLiteral("<HTML>"),           QStringLiteral("<HEAD>"),
             QStringLiteral("</HEAD>"),          QStringLiteral("<STYLE>"),
             QStringLiteral("P {margin: 0px;}"), QStringLiteral("LI {margin: 0px;}"),
             QStringLiteral("</STYLE>"),         QStringLiteral("<BODY>")},
      footer{QStringLiteral("</BODY>"), QStringLiteral("</HTML>")}
{
}

bool RichTextToHtml::HasObjects(const QTextDocument& document)
{
    return document.toPlainText().contains(QChar(kObject));
}

QString RichTextToHtml::SpanOpening(const FontInfo& font)
{
    QString s = QStringLiteral("<SPAN style=\"color: #%1; font-size: %2pt; font-family: %3;\">")
                    .arg(font.color.name(QColor::HexRgb).mid(1).toUpper())
                    .arg(font.points == 0 ? 8 : font.points)
                    .arg(FamilyForStyle(font.family));
    QString end = QStringLiteral("</SPAN>");
    auto tag = [&](bool on, const char* name) {
        if (!on)
            return;
        s += QStringLiteral("<%1>").arg(QLatin1String(name));
        end.prepend(QStringLiteral("</%1>").arg(QLatin1String(name)));
    };
    tag(font.bold, "B");
    tag(font.italic, "I");
    tag(font.strikeOut, "STRIKE");
    tag(font.underline, "U");
    endSection_ = end;
    return s;
}

QString RichTextToHtml::Escaped(char32_t c)
{
    if (c == '"' || c == '&' || c == '<' || c == '>')
        return QStringLiteral("&#%1;").arg(uint(c));
    const QString text = QString::fromUcs4(&c, 1);
    if (charsetId != kCharsetUtf8 && c >= 0x80) {
        static thread_local QHash<quint64, bool> fits;
        const quint64 key = (quint64(charsetId) << 32) | c;
        auto it = fits.constFind(key);
        if (it == fits.constEnd()) {
            QByteArray bytes;
            it = fits.insert(key, EncodeToCharset(text, charsetId, bytes));
        }
        if (!*it)
            return QStringLiteral("&#%1;").arg(uint(c));
    }
    return text;
}

QStringList RichTextToHtml::Convert(const QTextDocument& document)
{
    containsObjects = false;
    const QFont base = document.defaultFont();
    auto fontOf = [&](const QTextCharFormat& f) {
        FontInfo info;
        info.color =
            f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : defaultColor;
        info.bold =
            f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() > QFont::Medium : base.bold();
        info.italic = f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : base.italic();
        info.underline = f.hasProperty(QTextFormat::FontUnderline) ||
                                 f.hasProperty(QTextFormat::TextUnderlineStyle)
                             ? f.fontUnderline()
                             : base.underline();
        info.strikeOut =
            f.hasProperty(QTextFormat::FontStrikeOut) ? f.fontStrikeOut() : base.strikeOut();
        const QStringList families = f.fontFamilies().toStringList();
        info.family = families.isEmpty() ? base.family() : families.first();
        info.family.truncate(31);
        const double points =
            f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : base.pointSizeF();
        info.points = qAbs(qRound(points));
        return info;
    };

    // The document as editor lines: paragraph attributes and the characters
    // with their fonts. A paragraph holding line separators gives one line
    // per piece, with the paragraph's attributes.
    struct Line
    {
        int align = 0; // 0 left, 1 right, 2 centre
        bool bullet = false;
        FontInfo first; // the font of the first character, or the paragraph's
        std::vector<std::pair<char32_t, FontInfo>> chars;
    };
    std::vector<Line> lines;
    const bool empty = document.isEmpty();
    for (QTextBlock block = document.begin(); !empty && block.isValid(); block = block.next()) {
        Line line;
        const Qt::Alignment a = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        line.align = a.testFlag(Qt::AlignRight) ? 1 : a.testFlag(Qt::AlignHCenter) ? 2 : 0;
        line.bullet = block.textList() != nullptr;
        line.first = fontOf(block.charFormat());
        lines.push_back(line);
        bool firstChar = true;
        bool afterCr = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const FontInfo font = fontOf(fragment.charFormat());
            const QList<uint> ucs = fragment.text().toUcs4();
            for (uint u : ucs) {
                const char32_t c = u;
                if (c == kObject) {
                    containsObjects = true;
                    continue;
                }
                if (IsLineBreak(c)) {
                    if (!(afterCr && c == '\n')) {
                        Line next = line;
                        next.chars.clear();
                        next.first = font;
                        lines.push_back(next);
                        firstChar = true;
                    }
                    afterCr = c == '\r';
                    continue;
                }
                afterCr = false;
                if (firstChar)
                    lines.back().first = font;
                firstChar = false;
                lines.back().chars.emplace_back(c, font);
            }
        }
    }

    QStringList out;
    out << header.join(QLatin1Char('\n')) + QLatin1Char('\n');
    int prevAlign = 0;
    bool prevBullet = false;
    FontInfo prevFont = fontOf(QTextCharFormat());
    out << QStringLiteral("<P ALIGN=\"LEFT\">");
    endParagraph_ = QStringLiteral("</P>");
    out << SpanOpening(prevFont);

    static const char* const kAlign[] = {"LEFT", "RIGHT", "CENTER"};
    bool firstLine = true;
    for (const Line& line : lines) {
        QString buffer;
        if (line.align != prevAlign || line.bullet || line.bullet != prevBullet) {
            buffer += endSection_ + endParagraph_;
            // List items stand inside a list element.
            if (prevBullet && !line.bullet)
                buffer += QStringLiteral("</UL>");
            else if (!prevBullet && line.bullet)
                buffer += QStringLiteral("<UL>");
            prevAlign = line.align;
            prevBullet = line.bullet;
            prevFont = line.first;
            buffer += QStringLiteral("<%1 ALIGN=\"%2\">")
                          .arg(line.bullet ? QStringLiteral("LI") : QStringLiteral("P"),
                               QLatin1String(kAlign[line.align]));
            endParagraph_ = line.bullet ? QStringLiteral("</LI>") : QStringLiteral("</P>");
            buffer += SpanOpening(prevFont);
        } else if (!firstLine) {
            out << QStringLiteral("<BR>");
        }
        firstLine = false;
        char32_t previous = 0;
        for (const auto& [c, font] : line.chars) {
            if (!(font == prevFont)) {
                buffer += endSection_;
                buffer += SpanOpening(font);
                prevFont = font;
            }
            if (c == ' ') {
                // A blank after a blank (or first on the line) is a no-break
                // space, so that runs of blanks survive in the page.
                buffer += (previous == 0 || previous == ' ') ? QStringLiteral("&#160;")
                                                             : QStringLiteral("&#32;");
            } else {
                buffer += Escaped(c);
            }
            previous = c;
        }
        out << buffer;
    }
    out << endSection_;
    out << endParagraph_ + (prevBullet ? QStringLiteral("</UL>") : QString());
    out << QString();
    out << footer;
    return out;
}

} // namespace vm
