#include "send/MimeWriter.h"

#include <QHostInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QTimeZone>

#include "core/DateTime.h"

namespace vm {

namespace {

constexpr char kCrLf[] = "\r\n";
constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
const QByteArray kNameSpecials = "()<>@,;:\\\".[]";

QByteArray RandomAlnum(int count)
{
    QByteArray s(count, '0');
    auto* rng = QRandomGenerator::system();
    for (int i = 0; i < count; ++i)
        s[i] = kAlphabet[rng->bounded(62)];
    return s;
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
