#include "send/ReplyMessage.h"

#include <QDir>
#include <QFile>

#include <array>

#include "core/DateTime.h"
#include "mime/Addresses.h"
#include "mime/Charsets.h"
#include "mime/MessageMatcher.h"
#include "mime/MessageRecord.h"
#include "render/MessageFiles.h"

namespace vm {

namespace {

const std::array<const char*, 7> kWeekdays = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                              "Friday", "Saturday", "Sunday"};

// Zone names of RFC 5322's obsolete syntax; any other name means "unknown"
// (-0000, read as UTC).
int NamedZoneOffset(const QByteArray& name)
{
    static const std::array<std::pair<const char*, int>, 11> kZones = {{{"UT", 0},
                                                                        {"GMT", 0},
                                                                        {"Z", 0},
                                                                        {"EST", -5},
                                                                        {"EDT", -4},
                                                                        {"CST", -6},
                                                                        {"CDT", -5},
                                                                        {"MST", -7},
                                                                        {"MDT", -6},
                                                                        {"PST", -8},
                                                                        {"PDT", -7}}};
    for (const auto& [zone, hours] : kZones)
        if (name == zone)
            return hours * 3600;
    return 0;
}

bool AllDigits(const QByteArray& s)
{
    if (s.isEmpty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A text decoded from its charset: the part's, else the message's; a named
// charset no decoder knows is read as UTF-8, no name at all as the incoming
// default. id: the table id of the charset used (0 when none).
QString DecodeText(const QByteArray& data, const QByteArray& partCharset,
                   const QByteArray& messageCharset, int& id)
{
    QByteArray charset = partCharset.trimmed();
    if (charset.isEmpty() || !IsKnownCharset(charset)) {
        const QByteArray fallback = messageCharset.trimmed();
        if (!fallback.isEmpty() && IsKnownCharset(fallback))
            charset = fallback;
    }
    id = CharsetIdFromName(charset);
    if (!charset.isEmpty() && !IsKnownCharset(charset))
        return BytesToUnicode(data, kCharsetUtf8);
    return DecodeWithCharset(data, charset);
}

QStringList TextLines(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast(); // the line break that ends the last line
    return lines;
}

// The original's text as lines: its first plain-text part, else the text of
// its first HTML part.
QStringList OriginalText(const MessageRecord& m, int& charsetId)
{
    charsetId = 0;
    const QList<TextPart>& parts = m.TextParts();
    for (const TextPart& part : parts) {
        const QByteArray type = part.contentType.toLower();
        if (type.isEmpty() || type.contains("text/plain"))
            return TextLines(
                DecodeText(part.data, part.charset, m.ContentTypeCharset(), charsetId));
    }
    for (const TextPart& part : parts) {
        if (part.contentType.toLower().contains("text/html")) {
            const QString html =
                DecodeText(part.data, part.charset, m.ContentTypeCharset(), charsetId);
            return TextLines(HtmlToPlainText(html));
        }
    }
    return {};
}

QString AddressListText(const MessageRecord& m, bool cc)
{
    QStringList entries;
    const int count = cc ? m.CcCount() : m.ToCount();
    for (int i = 0; i < count; ++i)
        entries.append(cc ? AddressFullText(m.CcName(i), m.CcAddress(i))
                          : AddressFullText(m.ToName(i), m.ToAddress(i)));
    return entries.join(QLatin1String(", "));
}

QStringList QuoteHeader(const MessageRecord& m)
{
    QStringList lines{QString(), QString(), QStringLiteral("--------"),
                      QStringLiteral("ORIGINAL MESSAGE"), QStringLiteral("From: ") + m.FromText()};
    lines.append(m.ToCount() > 0 ? QStringLiteral("To: ") + AddressListText(m, false)
                                 : QStringLiteral("To: undisclosed recipients"));
    if (m.CcCount() > 0)
        lines.append(QStringLiteral("Cc: ") + AddressListText(m, true));
    // The date and time as the sender wrote them, labelled with the
    // sender's offset; a date only known from elsewhere is shown in local
    // time with the local offset.
    QDateTime when = OriginalDate(m.HeaderValue("Date"));
    if (!when.isValid() && m.Date != 0)
        when = FromDays(m.Date);
    if (when.isValid()) {
        lines.append(
            QStringLiteral("Date: ") + when.date().toString(Qt::ISODate) + QStringLiteral(" (") +
            QLatin1String(kWeekdays[size_t(when.date().dayOfWeek() - 1)]) + QLatin1Char(')'));
        lines.append(QStringLiteral("Time: ") + when.time().toString(QStringLiteral("HH:mm:ss")) +
                     QStringLiteral(" (") + OffsetLabel(when.offsetFromUtc()) + QLatin1Char(')'));
    }
    lines.append(QStringLiteral("Subject: ") + m.Subject());
    lines.append(QStringLiteral("--------"));
    lines.append(QString());
    lines.append(QString());
    return lines;
}

void AddRecipients(const MessageRecord& m, const QByteArray& accountFrom, int kind,
                   QList<EmailAddress>& out)
{
    if (m.ReplyToCount() > 0) {
        for (int i = 0; i < m.ReplyToCount(); ++i) {
            EmailAddress a;
            a.SetFullText(m.ReplyToText(i));
            if (!a.address.isEmpty())
                out.append(EmailAddress(a.name, a.address, 1));
        }
    } else if (!m.FromAddress().isEmpty()) {
        out.append(EmailAddress(m.FromName(), QString::fromUtf8(m.FromAddress()), 1));
    }
    if (kind != ckReplyToAll)
        return;
    const QByteArray own = accountFrom.trimmed().toLower();
    auto other = [&own](const QByteArray& address) {
        return !address.isEmpty() && address.trimmed().toLower() != own;
    };
    for (int i = 0; i < m.ToCount(); ++i)
        if (other(m.ToAddress(i)))
            out.append(EmailAddress(m.ToName(i), QString::fromUtf8(m.ToAddress(i)), 1));
    for (int i = 0; i < m.CcCount(); ++i)
        if (other(m.CcAddress(i)))
            out.append(EmailAddress(m.CcName(i), QString::fromUtf8(m.CcAddress(i)), 2));
}

void ExtractAttachments(const MessageRecord& m, const QString& folder, PreparedMessage& out)
{
    bool folderReady = false;
    // The attachments the list counts, under the names saving gives them.
    for (const AttachmentPart& part : m.Attachments()) {
        if (!IsVisibleAttachment(part))
            continue;
        const QString name = AttachmentFileName(part);
        if (!folderReady && !folder.isEmpty()) {
            folderReady = QDir().mkpath(folder);
            if (folderReady)
                QFile::setPermissions(folder,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const QString path = folderReady ? FreeFilePath(folder, name) : QString();
        if (!path.isEmpty() && WriteDataFile(path, part.data, true))
            out.data.attachments.append(path);
        else
            out.failedAttachments.append(name);
    }
}

QList<QByteArray> MessageIds(const QByteArray& text)
{
    QList<QByteArray> ids;
    qsizetype i = 0;
    while ((i = text.indexOf('<', i)) >= 0) {
        const qsizetype end = text.indexOf('>', i + 1);
        if (end < 0)
            break;
        const QByteArray id = text.mid(i, end - i + 1);
        bool ok = id.size() > 2;
        for (qsizetype k = 1; ok && k + 1 < id.size(); ++k) {
            const unsigned char c = static_cast<unsigned char>(id[k]);
            ok = c > 0x20 && c < 0x7F && c != '<';
        }
        if (ok)
            ids.append(id);
        i = end + 1;
    }
    return ids;
}

} // namespace

QDateTime OriginalDate(const QByteArray& dateHeader)
{
    // Comments go, commas separate like blanks.
    QByteArray text;
    int depth = 0;
    for (char c : dateHeader) {
        if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        else if (depth == 0)
            text += c == ',' ? ' ' : c;
    }
    QList<QByteArray> t = text.simplified().split(' ');
    if (!t.isEmpty() && !t.first().isEmpty() && !AllDigits(t.first()))
        t.removeFirst(); // the day name
    if (t.size() < 4)
        return {};
    static const QByteArray kMonths = "janfebmaraprmayjunjulaugsepoctnovdec";
    const qsizetype month = t[1].size() >= 3 ? kMonths.indexOf(t[1].left(3).toLower()) : -1;
    if (!AllDigits(t[0]) || !AllDigits(t[2]) || month < 0 || month % 3 != 0)
        return {};
    int year = t[2].toInt();
    if (t[2].size() == 2)
        year += year < 50 ? 2000 : 1900;
    else if (t[2].size() == 3)
        year += 1900;
    const QDate date(year, int(month / 3) + 1, t[0].toInt());
    const QList<QByteArray> hms = t[3].split(':');
    if (!date.isValid() || hms.size() < 2 || hms.size() > 3)
        return {};
    for (const QByteArray& f : hms)
        if (!AllDigits(f) || f.size() > 2)
            return {};
    const QTime time(hms[0].toInt(), hms[1].toInt(),
                     hms.size() == 3 ? qMin(hms[2].toInt(), 59) : 0);
    if (!time.isValid())
        return {};
    int offset = 0;
    if (t.size() > 4) {
        const QByteArray& zone = t[4];
        if ((zone.startsWith('+') || zone.startsWith('-')) && zone.size() == 5 &&
            AllDigits(zone.mid(1))) {
            const int hours = zone.mid(1, 2).toInt();
            const int minutes = zone.mid(3, 2).toInt();
            if (minutes > 59)
                return {};
            offset = (hours * 3600 + minutes * 60) * (zone.startsWith('-') ? -1 : 1);
        } else {
            offset = NamedZoneOffset(zone.toUpper());
        }
    }
    return QDateTime(date, time, Qt::OffsetFromUTC, offset);
}

QString OffsetLabel(int offsetSeconds)
{
    const int minutes = qAbs(offsetSeconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(offsetSeconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60)
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

ThreadFields ReplyThreadFields(const QByteArray& messageId, const QByteArray& references,
                               const QByteArray& inReplyTo)
{
    ThreadFields f;
    QList<QByteArray> chain = MessageIds(references);
    if (chain.isEmpty()) {
        const QList<QByteArray> parent = MessageIds(inReplyTo);
        if (parent.size() == 1)
            chain = parent;
    }
    const QList<QByteArray> own = MessageIds(messageId);
    if (!own.isEmpty()) {
        f.inReplyTo = own.first();
        if (chain.isEmpty() || chain.back() != f.inReplyTo)
            chain.append(f.inReplyTo);
    }
    f.references = chain.join(' ');
    return f;
}

PreparedMessage PrepareMessage(const MessageRecord* source, const QByteArray& accountFrom, int kind,
                               const QString& attachmentFolder)
{
    PreparedMessage out;
    if (!source || kind < ckReply || kind > ckForward)
        return out;

    // A copy of its own, parsed whole: the record keeps its parse state.
    MessageRecord m;
    m.raw = source->raw;
    m.headersOnly = source->headersOnly;
    m.noHeaders = source->noHeaders;
    m.Date = source->Date;
    if (m.HoldingState() == MessageRecord::Holding::Whole)
        m.ParseWhole();
    else if (m.HoldingState() == MessageRecord::Holding::Headers)
        m.ParseHeaders();

    MessageData& d = out.data;
    d.subject =
        (kind == ckForward ? QStringLiteral("Fwd: ") : QStringLiteral("Re: ")) + m.Subject();
    d.bodyLines = QuoteHeader(m);
    int charsetId = 0;
    d.bodyLines.append(OriginalText(m, charsetId));
    d.charsetId = charsetId;
    if (kind != ckForward) {
        AddRecipients(m, accountFrom, kind, d.recipients);
        const ThreadFields thread = ReplyThreadFields(m.MessageId(), m.HeaderValue("References"),
                                                      m.HeaderValue("In-Reply-To"));
        d.inReplyTo = thread.inReplyTo;
        d.references = thread.references;
    }
    ExtractAttachments(m, attachmentFolder, out);
    return out;
}

} // namespace vm
