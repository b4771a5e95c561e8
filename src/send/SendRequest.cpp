#include "send/SendRequest.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include "lang/Lang.h"
#include "mime/Addresses.h"
#include "mime/CharsetTables.h"
#include "mime/Charsets.h"
#include "model/MailAccount.h"
#include "send/MimeWriter.h"

namespace vm {


namespace {

// Unicode -> byte for the upper half of a table charset.
const QHash<char32_t, char>& ReverseTable(int id)
{
    static QMutex mutex;
    static QHash<int, QHash<char32_t, char>> tables;
    QMutexLocker lock(&mutex);
    auto it = tables.find(id);
    if (it == tables.end()) {
        QHash<char32_t, char> map;
        if (const char16_t* upper = charset_tables::UpperHalf(id)) {
            for (int i = 0; i < 128; ++i) {
                if (upper[i] != u'?' && !map.contains(upper[i]))
                    map.insert(upper[i], char(0x80 + i));
            }
        }
        it = tables.insert(id, map);
    }
    return *it;
}

} // namespace

QString EmailAddress::FullText() const
{
    return AddressFullText(name, address.toUtf8());
}

void EmailAddress::SetFullText(const QString& text)
{
    const QString t = text.trimmed();
    const qsizetype open = t.lastIndexOf(QLatin1Char('<'));
    const qsizetype close = t.lastIndexOf(QLatin1Char('>'));
    if (open >= 0 && close > open) {
        address = t.mid(open + 1, close - open - 1).trimmed();
        QString n = t.left(open).trimmed();
        if (n.size() >= 2 && n.startsWith(QLatin1Char('"')) && n.endsWith(QLatin1Char('"'))) {
            const QString inner = n.mid(1, n.size() - 2);
            n.clear();
            for (qsizetype i = 0; i < inner.size(); ++i) {
                if (inner[i] == QLatin1Char('\\') && i + 1 < inner.size())
                    ++i;
                n += inner[i];
            }
        }
        name = n;
    } else {
        address = t;
        name.clear();
    }
}

bool EncodeToCharset(const QString& text, int charsetId, QByteArray& out)
{
    out.clear();
    if (charsetId == kCharsetUtf8 || charsetId < 1 || charsetId > kCharsetCount) {
        out = text.toUtf8();
        return true;
    }
    out.reserve(text.size());
    bool lossless = true;
    const QHash<char32_t, char>* reverse = charsetId == 1 ? nullptr : &ReverseTable(charsetId);
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (cp < 0x80) {
            out += char(cp);
        } else if (charsetId == 1 && cp < 0x100) {
            out += char(cp);
        } else if (reverse && reverse->contains(cp)) {
            out += reverse->value(cp);
        } else {
            out += '?';
            lossless = false;
        }
    }
    return lossless;
}

QByteArray CharsetLabelForId(int charsetId)
{
    if (charsetId == kCharsetUtf8 || charsetId < 1 || charsetId > kCharsetCount)
        return "utf-8";
    return MimeCharsetLabel(CharsetName(charsetId).toLatin1());
}

ConvertedTexts ConvertForSending(const QString& subject, const QString& body, int charsetId)
{
    ConvertedTexts c;
    const bool a = EncodeToCharset(subject.trimmed(), charsetId, c.subject);
    const bool b = EncodeToCharset(body, charsetId, c.body);
    c.lossless = a && b;
    c.charset = CharsetLabelForId(charsetId);
    return c;
}

bool IsSendableAddress(const QByteArray& address)
{
    if (address.isEmpty())
        return false;
    for (char c : address) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 32 || b == 127 || c == '<' || c == '>' || c == ',' || c == '"')
            return false;
    }
    return true;
}

QByteArray ImageContentType(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    if (name.endsWith(QLatin1String(".jpg")) || name.endsWith(QLatin1String(".jpeg")))
        return "image/jpeg";
    if (name.endsWith(QLatin1String(".gif")))
        return "image/gif";
    if (name.endsWith(QLatin1String(".bmp")))
        return "image/bmp";
    if (name.endsWith(QLatin1String(".png")))
        return "image/png";
    return {};
}

BuildResult BuildOutgoingMessage(const SendRequest& request)
{
    BuildResult result;
    auto fail = [&result](BuildStatus status, const QString& detail, const QString& text) {
        result.status = status;
        result.detail = detail;
        result.errorText = text;
        result.message.reset();
        return std::move(result);
    };
    auto badAddress = [&](const QString& address) {
        return fail(BuildStatus::BadAddress, address,
                    TextOr("SendMailWnd", "SendingError",
                           "Fatal failure occured while trying to send message: \"%s\". "
                           "Operation aborted.",
                           {QStringLiteral("Invalid address <%1>").arg(address)}));
    };

    auto m = std::make_unique<OutgoingMessage>();
    const ConvertedTexts texts =
        ConvertForSending(request.subject, request.body, request.charsetId);

    OutgoingText& text = m->AddText();
    text.contentType = request.html ? "text/html" : "text/plain";
    text.charset = texts.charset;
    text.SetBodyText(texts.body);
    m->charset = texts.charset;
    m->subject = texts.subject;

    if (request.account) {
        const MailAccount& acc = *request.account;
        const QByteArray from = acc.FromAddress().trimmed();
        if (!IsSendableAddress(from))
            return badAddress(QString::fromUtf8(from));
        m->from = {MailAddress{acc.SenderName().trimmed(), from}};
        const QByteArray replyTo = acc.ReplyToAddress().trimmed();
        if (!replyTo.isEmpty()) {
            if (!IsSendableAddress(replyTo))
                return badAddress(QString::fromUtf8(replyTo));
            m->replyTo = {MailAddress{QByteArray(), replyTo}};
        }
        m->messageId = NewMessageId(from);
        if (request.receipt)
            m->receiptRecipient = MailAddress{acc.SenderName().trimmed(), from};
    }

    for (const EmailAddress& r : request.recipients) {
        if (r.type < 1 || r.type > 3)
            continue;
        // The row's full text, read back as display name and address.
        EmailAddress parsed;
        parsed.SetFullText(r.FullText());
        const QByteArray address = parsed.address.toUtf8();
        if (!IsSendableAddress(address))
            return badAddress(parsed.address);
        const MailAddress entry{StripLineBreaks(parsed.name.toUtf8()).trimmed(), address};
        (r.type == 1 ? m->to : r.type == 2 ? m->cc : m->bcc).append(entry);
    }

    m->priority = static_cast<Priority>(qBound(0, request.priority, 4));
    m->inReplyTo = request.inReplyTo;
    m->references = request.references;

    if (request.includeAttachments) {
        for (const SendAttachment& a : request.attachments) {
            const QFileInfo info(a.path);
            if (!info.isFile() || !info.isReadable()) {
                return fail(BuildStatus::CannotAttach, a.path,
                            TextOr("SendMailWnd", "CannotAttach",
                                   "Can't attach file %s. It either does not exist or is "
                                   "inaccessible.",
                                   {a.path}));
            }
            FileAttachment& part = m->AddAttachmentFile(a.path, a.temporary);
            part.contentType = ImageContentType(a.path);
        }
    }
    result.message = std::move(m);
    return result;
}

} // namespace vm
