#include "send/MimeEncoders.h"

#include <QRegularExpression>

#include <algorithm>

namespace vm {

namespace {

constexpr char kCrLf[] = "\r\n";
constexpr int kMaxEncodedWord = 75;
constexpr int kMaxQpLine = 76;
constexpr int kFoldWidth = 78;

char HexDigit(int v)
{
    return "0123456789ABCDEF"[v & 15];
}

QByteArray HexByte(unsigned char b)
{
    QByteArray s("=");
    s.append(HexDigit(b >> 4));
    s.append(HexDigit(b));
    return s;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsUtf8Label(const QByteArray& charset)
{
    const QByteArray l = charset.trimmed().toLower();
    return l == "utf-8" || l == "utf8";
}

// Byte length of the character starting at text[i]: one byte for single-byte
// charsets, the whole sequence for UTF-8 (a malformed byte counts alone).
int CharLength(const QByteArray& text, qsizetype i, bool utf8)
{
    const auto b = static_cast<unsigned char>(text.at(i));
    if (!utf8 || b < 0xC0)
        return 1;
    int len = b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 1;
    for (int k = 1; k < len; ++k) {
        if (i + k >= text.size())
            return k;
        const auto c = static_cast<unsigned char>(text.at(i + k));
        if ((c & 0xC0) != 0x80)
            return k;
    }
    return len;
}

QByteArray EncodeStretch(const QByteArray& stretch, const QByteArray& charset, bool useB,
                         const QByteArray& specials)
{
    const bool utf8 = IsUtf8Label(charset);
    const QByteArray head = "=?" + charset + (useB ? "?B?" : "?Q?");
    const QByteArray tail = "?=";
    const int room = std::max<int>(4, kMaxEncodedWord - int(head.size() + tail.size()));

    QByteArrayList words;
    if (useB) {
        QByteArray chunk;
        for (qsizetype i = 0; i < stretch.size();) {
            const int len = CharLength(stretch, i, utf8);
            const QByteArray ch = stretch.mid(i, len);
            const qsizetype grown = chunk.size() + ch.size();
            if (!chunk.isEmpty() && 4 * ((grown + 2) / 3) > room) {
                words.append(head + chunk.toBase64() + tail);
                chunk.clear();
            }
            chunk += ch;
            i += len;
        }
        if (!chunk.isEmpty())
            words.append(head + chunk.toBase64() + tail);
    } else {
        QByteArray data;
        for (qsizetype i = 0; i < stretch.size();) {
            const int len = CharLength(stretch, i, utf8);
            QByteArray unit;
            for (int k = 0; k < len; ++k) {
                const auto b = static_cast<unsigned char>(stretch.at(i + k));
                if (b == ' ')
                    unit += '_';
                else if (b < 32 || b >= 127 || b == '=' || b == '?' || b == '_' ||
                         specials.contains(char(b)))
                    unit += HexByte(b);
                else
                    unit += char(b);
            }
            if (!data.isEmpty() && data.size() + unit.size() > room) {
                words.append(head + data + tail);
                data.clear();
            }
            data += unit;
            i += len;
        }
        if (!data.isEmpty())
            words.append(head + data + tail);
    }
    return words.join("\r\n ");
}

bool IsAttrChar(unsigned char b)
{
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))
        return true;
    return QByteArray("!#$&+-.^_`|~").contains(char(b));
}

} // namespace

QByteArray QuoteString(const QByteArray& s)
{
    QByteArray out("\"");
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

bool IsPrintableAscii(const QByteArray& s)
{
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b > 126)
            return false;
    }
    return true;
}

QByteArray FileNameParameter(const QByteArray& param, const QByteArray& fileName)
{
    const QByteArray indent(8, ' ');
    if (IsPrintableAscii(fileName))
        return indent + param + "=" + QuoteString(fileName);

    QByteArrayList units;
    for (char c : fileName) {
        const auto b = static_cast<unsigned char>(c);
        if (IsAttrChar(b))
            units.append(QByteArray(1, c));
        else
            units.append("%" + QByteArray(1, HexDigit(b >> 4)) + QByteArray(1, HexDigit(b)));
    }
    const QByteArray prefix = "UTF-8''";
    QByteArray whole = prefix;
    for (const QByteArray& u : units)
        whole += u;
    if (indent.size() + param.size() + 2 + whole.size() <= kFoldWidth)
        return indent + param + "*=" + whole;

    QByteArrayList lines;
    QByteArray current = prefix;
    int section = 0;
    auto headLength = [&](int n) {
        return indent.size() + param.size() + 4 + QByteArray::number(n).size() + 1;
    };
    for (const QByteArray& u : units) {
        if (current.size() > 0 && headLength(section) + current.size() + u.size() > kFoldWidth) {
            lines.append(indent + param + "*" + QByteArray::number(section) + "*=" + current);
            ++section;
            current.clear();
        }
        current += u;
    }
    lines.append(indent + param + "*" + QByteArray::number(section) + "*=" + current);
    return lines.join(";\r\n");
}

QByteArray StripLineBreaks(const QByteArray& text)
{
    QByteArray out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const auto b = static_cast<unsigned char>(out.at(i));
        if ((b < 32 && b != '\t') || b == 127)
            out[i] = ' ';
    }
    return out;
}

QByteArray EncodeHeaderWords(const QByteArray& input, const QByteArray& charset, bool useB,
                             const QByteArray& specials)
{
    const QByteArray text = StripLineBreaks(input);
    static const QRegularExpression encodedWord(
        QStringLiteral("=\\?[^?\\s]+\\?[BbQq]\\?[^?\\s]*\\?="));
    const bool hasEncodedWord = QString::fromLatin1(text).contains(encodedWord);

    auto needsEncoding = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            const auto b = static_cast<unsigned char>(text.at(i));
            if (b < 32 || b >= 127 || specials.contains(char(b)) || (hasEncodedWord && b == '='))
                return true;
        }
        return false;
    };

    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < text.size();) {
        if (IsBlank(text.at(i))) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < text.size() && !IsBlank(text.at(j)))
            ++j;
        if (needsEncoding(i, j)) {
            if (first < 0)
                first = i;
            last = j;
        }
        i = j;
    }
    if (first < 0)
        return text;
    return text.left(first) +
           EncodeStretch(text.mid(first, last - first), charset, useB, specials) + text.mid(last);
}

QByteArray EncodeQuotedPrintable(const QByteArrayList& lines)
{
    QByteArray out;
    for (const QByteArray& line : lines) {
        QByteArray current;
        const qsizetype n = line.size();
        for (qsizetype i = 0; i < n; ++i) {
            const auto b = static_cast<unsigned char>(line.at(i));
            const bool lastByte = i == n - 1;
            auto token = [&](bool atLineStart) -> QByteArray {
                if (b == ' ' || b == '\t') {
                    if (lastByte)
                        return b == ' ' ? "=20" : "=09";
                    return QByteArray(1, char(b));
                }
                if (b >= 33 && b <= 126 && b != '=') {
                    if (b == '.' && atLineStart)
                        return "=2E";
                    return QByteArray(1, char(b));
                }
                return HexByte(b);
            };
            QByteArray t = token(current.isEmpty());
            const int limit = lastByte ? kMaxQpLine : kMaxQpLine - 1;
            if (!current.isEmpty() && current.size() + t.size() > limit) {
                out += current + "=" + kCrLf;
                current.clear();
                t = token(true);
            }
            current += t;
        }
        out += current + kCrLf;
    }
    return out;
}

QByteArray EncodeBase64Lines(const QByteArray& data)
{
    const QByteArray b64 = data.toBase64();
    QByteArray out;
    out.reserve(b64.size() + b64.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < b64.size(); i += 76)
        out += b64.mid(i, 76) + kCrLf;
    return out;
}

QByteArray FoldHeaderLine(const QByteArray& line)
{
    const QByteArrayList physical = line.split('\n');
    QByteArrayList result;
    bool inQuotes = false;
    bool escaped = false;
    bool firstLine = true;
    for (QByteArray s : physical) {
        if (s.endsWith('\r'))
            s.chop(1);
        // Fold positions: a blank or TAB outside quotes, after a non-blank byte,
        // and for the first line not before the value begins.
        QList<qsizetype> folds;
        const qsizetype colon = firstLine ? s.indexOf(':') : -1;
        for (qsizetype i = 0; i < s.size(); ++i) {
            const char c = s.at(i);
            if (escaped) {
                escaped = false;
                continue;
            }
            if (inQuotes && c == '\\') {
                escaped = true;
                continue;
            }
            if (c == '"') {
                inQuotes = !inQuotes;
                continue;
            }
            if (!inQuotes && IsBlank(c) && i > 0 && !IsBlank(s.at(i - 1)) && i > colon + 1)
                folds.append(i);
        }
        qsizetype start = 0;
        while (s.size() - start > kFoldWidth) {
            qsizetype best = -1;
            for (qsizetype p : folds) {
                if (p <= start)
                    continue;
                if (p - start <= kFoldWidth)
                    best = p;
                else {
                    if (best < 0)
                        best = p;
                    break;
                }
            }
            if (best < 0)
                break;
            QByteArray chunk = s.mid(start, best - start);
            while (!chunk.isEmpty() && IsBlank(chunk.back()))
                chunk.chop(1);
            result.append(chunk);
            start = best;
        }
        QByteArray rest = s.mid(start);
        while (!rest.isEmpty() && IsBlank(rest.back()))
            rest.chop(1);
        result.append(rest);
        firstLine = false;
    }
    return result.join(kCrLf);
}

} // namespace vm
