#include "send/MimeWriter.h"

#include <QHostInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimeZone>

#include "core/DateTime.h"

namespace vm {

namespace {

constexpr char kCrLf[] = "\r\n";
constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kMaxEncodedWord = 75;
constexpr int kMaxQpLine = 76;
constexpr int kFoldWidth = 78;
const QByteArray kNameSpecials = "()<>@,;:\\\".[]";

QByteArray RandomAlnum(int count)
{
    QByteArray s(count, '0');
    auto* rng = QRandomGenerator::system();
    for (int i = 0; i < count; ++i)
        s[i] = kAlphabet[rng->bounded(62)];
    return s;
}

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

// An address as it may appear between angle brackets: no white space, no
// control bytes, no brackets.
QByteArray CleanAddress(const QByteArray& address)
{
    QByteArray out;
    for (char c : address) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 32 || b == 127 || c == '<' || c == '>')
            continue;
        out += c;
    }
    return out;
}

QByteArray LowerTrimmed(const QByteArray& s)
{
    return s.trimmed().toLower();
}

// The content type without a charset parameter.
QByteArray WithoutCharset(const QByteArray& contentType)
{
    const QByteArrayList params = contentType.split(';');
    QByteArrayList kept;
    for (int i = 0; i < params.size(); ++i) {
        const QByteArray p = params[i].trimmed();
        if (i > 0) {
            const qsizetype eq = p.indexOf('=');
            if (LowerTrimmed(eq >= 0 ? p.left(eq) : p) == "charset" || p.isEmpty())
                continue;
        }
        kept.append(p);
    }
    return kept.join("; ");
}

bool HasHighByte(const QByteArrayList& lines)
{
    for (const QByteArray& line : lines) {
        for (char c : line) {
            if (static_cast<unsigned char>(c) >= 128)
                return true;
        }
    }
    return false;
}

QByteArrayList SplitContentLines(const QByteArray& text)
{
    OutgoingText tmp;
    tmp.SetBodyText(text);
    return tmp.body;
}

bool IsAttrChar(unsigned char b)
{
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))
        return true;
    return QByteArray("!#$&+-.^_`|~").contains(char(b));
}

// The lines of a "name" / "filename" parameter, eight blanks in front of each,
// joined by ";" CR LF. Printable ASCII goes out as a quoted string; anything
// else as RFC 2231 UTF-8 with continuations keeping lines within the fold width.
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

struct Prepared
{
    bool singlePart = false;
};

Prepared Prepare(OutgoingMessage& m)
{
    if (m.encoding == MessageEncoding::meDefault)
        m.encoding = m.parts.empty() ? MessageEncoding::mePlainText : MessageEncoding::meMIME;

    static const QByteArrayList known = {"7bit",    "8bit", "binary", "base64", "quoted-printable",
                                         "binhex40"};
    int texts = 0;
    int attachments = 0;
    for (auto& part : m.parts) {
        if (!part->transferEncoding.isEmpty() &&
            !known.contains(LowerTrimmed(part->transferEncoding)))
            part->transferEncoding = "base64";
        if (part->IsText())
            ++texts;
        else
            ++attachments;
    }
    if (!m.parts.empty()) {
        const QByteArray te = LowerTrimmed(m.transferEncoding);
        if (te != "7bit" && te != "8bit" && te != "binary")
            m.transferEncoding.clear();
    }
    if (m.contentType.isEmpty()) {
        if (attachments > 0)
            m.contentType = "multipart/mixed";
        else if (texts >= 2)
            m.contentType = "multipart/alternative";
        else
            m.contentType = "text/plain";
    }
    Prepared p;
    p.singlePart =
        m.encoding == MessageEncoding::meMIME && m.parts.size() == 1 && m.bodyLines.isEmpty();
    return p;
}

void AppendHeader(QByteArray& out, const QByteArray& name, const QByteArray& value)
{
    out += FoldHeaderLine(name + ": " + value);
    out += kCrLf;
}

QByteArray TextPartHeaders(OutgoingText& part)
{
    QByteArray out;
    QByteArray type =
        part.contentType.isEmpty() ? QByteArray("text/plain") : WithoutCharset(part.contentType);
    QByteArray ct = type;
    if (!part.charset.isEmpty())
        ct += " ; charset=" + QuoteString(StripLineBreaks(part.charset).trimmed());
    AppendHeader(out, "Content-Type", ct);

    if (part.transferEncoding.isEmpty())
        part.transferEncoding = "quoted-printable";
    const QByteArray te = LowerTrimmed(part.transferEncoding);
    if (te != "quoted-printable" && te != "base64" && HasHighByte(part.body))
        part.transferEncoding = "8bit";
    AppendHeader(out, "Content-Transfer-Encoding", part.transferEncoding);
    if (!part.contentId.isEmpty())
        AppendHeader(out, "Content-ID", StripLineBreaks(part.contentId));
    for (const auto& [name, value] : part.extraHeaders.Lines())
        AppendHeader(out, name, StripLineBreaks(value));
    return out;
}

QByteArray TextPartContent(const OutgoingText& part)
{
    const QByteArray te = LowerTrimmed(part.transferEncoding);
    if (te == "quoted-printable")
        return EncodeQuotedPrintable(part.body);
    if (te == "base64")
        return EncodeBase64Lines(part.body.join(kCrLf));
    QByteArray out;
    for (const QByteArray& line : part.body)
        out += line + kCrLf;
    return out;
}

QByteArray AttachmentHeaders(OutgoingAttachment& part)
{
    if (part.transferEncoding.isEmpty())
        part.transferEncoding = "base64";
    if (part.disposition.isEmpty())
        part.disposition = "attachment";
    const bool base64 = LowerTrimmed(part.transferEncoding) == "base64";
    if (part.contentType.isEmpty())
        part.contentType = base64 ? "application/octet-stream" : "text/plain";

    const QByteArray fileName = part.FileName();
    QByteArray out;
    QByteArray ct;
    if (!part.charset.isEmpty())
        ct = WithoutCharset(part.contentType) +
             "; charset=" + QuoteString(StripLineBreaks(part.charset).trimmed());
    else
        ct = StripLineBreaks(part.contentType);
    if (fileName.isEmpty()) {
        // Content made in memory (a report) has no file name to give.
        AppendHeader(out, "Content-Type", ct);
        AppendHeader(out, "Content-Transfer-Encoding", part.transferEncoding);
        AppendHeader(out, "Content-Disposition", StripLineBreaks(part.disposition));
    } else {
        out += "Content-Type: " + ct + ";" + kCrLf + FileNameParameter("name", fileName) + kCrLf;
        AppendHeader(out, "Content-Transfer-Encoding", part.transferEncoding);
        out += "Content-Disposition: " + StripLineBreaks(part.disposition) + ";" + kCrLf +
               FileNameParameter("filename", fileName) + kCrLf;
    }
    if (!part.contentId.isEmpty())
        AppendHeader(out, "Content-ID", StripLineBreaks(part.contentId));
    for (const auto& [name, value] : part.extraHeaders.Lines())
        AppendHeader(out, name, StripLineBreaks(value));
    return out;
}

QByteArray AttachmentContent(const OutgoingAttachment& part)
{
    const QByteArray data = part.Content();
    const QByteArray te = LowerTrimmed(part.transferEncoding);
    if (te == "base64")
        return EncodeBase64Lines(data);
    const QByteArrayList lines = SplitContentLines(data);
    if (te == "quoted-printable")
        return EncodeQuotedPrintable(lines);
    QByteArray out;
    for (const QByteArray& line : lines)
        out += line + kCrLf;
    return out;
}

QByteArray PartHeaders(OutgoingPart& part)
{
    if (part.IsText())
        return TextPartHeaders(static_cast<OutgoingText&>(part));
    return AttachmentHeaders(static_cast<OutgoingAttachment&>(part));
}

QByteArray PartContent(const OutgoingPart& part)
{
    if (part.IsText())
        return TextPartContent(static_cast<const OutgoingText&>(part));
    return AttachmentContent(static_cast<const OutgoingAttachment&>(part));
}

} // namespace

HeaderCharset LocaleHeaderCharset()
{
    HeaderCharset hc;
    switch (QLocale().language()) {
    case QLocale::Chinese:
    case QLocale::Japanese:
    case QLocale::Korean:
    case QLocale::Russian:
    case QLocale::Ukrainian:
        hc.useB = true;
        break;
    default:
        hc.useB = false;
        break;
    }
    return hc;
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

QByteArray FormatAddressList(const MailAddressList& list, bool isFrom, const HeaderCharset& charset)
{
    QByteArrayList entries;
    for (const MailAddress& a : list) {
        const QByteArray address = CleanAddress(a.address);
        QByteArray name = StripLineBreaks(a.name).trimmed();
        if (address.isEmpty() && name.isEmpty())
            continue;
        if (name.isEmpty()) {
            if (!isFrom) {
                entries.append(address);
                continue;
            }
            name = address;
        }
        QByteArray shown;
        if (IsPrintableAscii(name))
            shown = QuoteString(name);
        else
            shown = EncodeHeaderWords(name, charset.label, charset.useB, kNameSpecials);
        entries.append(shown + " <" + address + ">");
    }
    return entries.join(", ");
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

QByteArray Rfc5322Date(const QDateTime& local)
{
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = local.date();
    const QTime t = local.time();
    const int offset = local.offsetFromUtc();
    const int absMinutes = std::abs(offset) / 60;
    return QStringLiteral("%1, %2 %3 %4 %5:%6:%7 %8%9%10")
        .arg(QLatin1String(days[d.dayOfWeek() - 1]))
        .arg(d.day())
        .arg(QLatin1String(months[d.month() - 1]))
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(t.hour(), 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'))
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(absMinutes / 60, 2, 10, QLatin1Char('0'))
        .arg(absMinutes % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

const QByteArray& MimeBoundary()
{
    static const QByteArray boundary = [] {
        QByteArray b = RandomAlnum(34);
        // Zero-based 1..32: the pair lands on the 2nd..33rd character and the next.
        const int pos = 1 + int(QRandomGenerator::system()->bounded(32));
        b[pos] = '=';
        b[pos + 1] = '_';
        return b;
    }();
    return boundary;
}

QByteArray NewMessageId(const QByteArray& fromAddress)
{
    QByteArray domain;
    const qsizetype at = fromAddress.lastIndexOf('@');
    if (at >= 0)
        domain = CleanAddress(fromAddress.mid(at + 1));
    if (domain.isEmpty())
        domain = CleanAddress(QHostInfo::localHostName().toUtf8());
    if (domain.isEmpty())
        domain = "localhost";
    return "<" + RandomAlnum(16) + "@" + domain + ">";
}

QByteArray MimeCharsetLabel(const QByteArray& charsetName)
{
    const QByteArray l = charsetName.trimmed().toLower();
    if (l.startsWith("windows") && !l.startsWith("windows-") && l.size() == 11)
        return "windows-" + l.mid(7);
    if (l == "utf-8" || l == "utf8")
        return "utf-8";
    return charsetName.trimmed();
}

HeaderList GenerateHeader(OutgoingMessage& m, const WriterOptions& options)
{
    const Prepared prep = Prepare(m);
    const HeaderCharset& hc = options.headerCharset;
    HeaderList h;
    auto add = [&h](const QByteArray& name, const QByteArray& value) {
        if (!value.isEmpty())
            h.Add(name, value);
    };

    add("From", FormatAddressList(m.from, true, hc));
    const QByteArray subjectCharset = m.charset.isEmpty() ? hc.label : m.charset;
    add("Subject", EncodeHeaderWords(StripLineBreaks(m.subject), subjectCharset, hc.useB));
    add("To", FormatAddressList(m.to, false, hc));
    add("Cc", FormatAddressList(m.cc, false, hc));
    if (m.encoding == MessageEncoding::meMIME) {
        if (prep.singlePart) {
            add("MIME-Version", "1.0");
        } else {
            QByteArray ct = StripLineBreaks(m.contentType);
            if (!m.charset.isEmpty())
                ct += ";\r\n\tcharset=" + QuoteString(StripLineBreaks(m.charset).trimmed());
            ct += "; boundary=" + QuoteString(MimeBoundary());
            add("Content-Type", ct);
            add("MIME-Version", "1.0");
            add("Content-Transfer-Encoding", StripLineBreaks(m.transferEncoding));
        }
    }
    add("Sender", CleanAddress(m.sender));
    add("Reply-To", FormatAddressList(m.replyTo, false, hc));
    add("Organization", EncodeHeaderWords(StripLineBreaks(m.organization), hc.label, hc.useB));
    if (!m.receiptRecipient.address.isEmpty())
        add("Disposition-Notification-To", FormatAddressList({m.receiptRecipient}, false, hc));
    add("References", StripLineBreaks(m.references));
    QDateTime when = m.date != 0 ? FromDays(m.date) : options.now;
    if (!when.isValid())
        when = QDateTime::currentDateTime();
    add("Date", Rfc5322Date(when));
    if (m.priority != mpNormal)
        add("X-Priority", QByteArray::number(int(m.priority) + 1));
    for (const auto& [name, value] : m.extraHeaders.Lines())
        add(name, StripLineBreaks(value));
    if (!m.inReplyTo.isEmpty()) {
        QByteArray v = CleanAddress(m.inReplyTo);
        if (!v.startsWith('<'))
            v.prepend('<');
        if (!v.endsWith('>'))
            v.append('>');
        add("In-Reply-To", v);
    }
    if (!m.messageId.isEmpty()) {
        QByteArray id = CleanAddress(m.messageId);
        if (!id.startsWith('<'))
            id.prepend('<');
        if (!id.endsWith('>'))
            id.append('>');
        add("Message-ID", id);
    }
    return h;
}

QByteArray WriteMessage(OutgoingMessage& m, const WriterOptions& options)
{
    const HeaderList header = GenerateHeader(m, options);
    const Prepared prep = Prepare(m);
    QByteArray out;
    for (const auto& [name, value] : header.Lines())
        AppendHeader(out, name, value);

    if (m.encoding != MessageEncoding::meMIME) {
        out += kCrLf;
        for (const QByteArray& line : m.bodyLines)
            out += line + kCrLf;
        return out;
    }
    if (prep.singlePart) {
        OutgoingPart& part = *m.parts.front();
        out += PartHeaders(part);
        out += kCrLf;
        out += PartContent(part);
        out += kCrLf;
        return out;
    }
    const QByteArray& boundary = MimeBoundary();
    out += kCrLf;
    out += "This is a multi-part message in MIME format";
    out += kCrLf;
    out += kCrLf;
    for (const QByteArray& line : m.bodyLines)
        out += line + kCrLf;
    for (auto& part : m.parts) {
        out += "--" + boundary + kCrLf;
        out += PartHeaders(*part);
        out += kCrLf;
        out += PartContent(*part);
        out += kCrLf;
    }
    out += "--" + boundary + "--" + kCrLf;
    out += kCrLf;
    return out;
}

} // namespace vm
