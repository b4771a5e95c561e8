#include "send/ReceiptMessage.h"

#include <QHostInfo>

#include "core/AppInfo.h"
#include "core/DateTime.h"
#include "mime/Addresses.h"
#include "mime/Charsets.h"
#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "send/MimeWriter.h"
#include "send/OutgoingMessage.h"

namespace vm {

namespace {

// "March 5, 2007": English month name, day without leading zero, year.
QString EnglishDate(const QDate& d)
{
    static const char* const months[] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
    return QStringLiteral("%1 %2, %3")
        .arg(QLatin1String(months[d.month() - 1]))
        .arg(d.day())
        .arg(d.year(), 4, 10, QLatin1Char('0'));
}

// " on March 5, 2007 at 1405"
QString OnDateAt(const QDateTime& when)
{
    return QStringLiteral(" on %1 at %2")
        .arg(EnglishDate(when.date()), when.time().toString(QStringLiteral("hhmm")));
}

// A header value with every control byte (CR and LF among them) removed, so
// that it cannot end the line it is written into.
QByteArray WithoutControls(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
    for (char c : value) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 32 && b != 127)
            out += c;
    }
    return out.trimmed();
}

// X-Priority "1" (highest) .. "5" (lowest), as the program's 0..4.
Priority PriorityOf(const MessageRecord& m)
{
    const QByteArray v = m.HeaderValue("X-Priority").trimmed();
    if (!v.isEmpty() && v.at(0) >= '1' && v.at(0) <= '5')
        return static_cast<Priority>(v.at(0) - '1');
    return mpNormal;
}

} // namespace

ReceiptAddress ReceiptRecipient(const MessageRecord& original)
{
    const QList<MailAddress> list =
        ParseAddressList(original.HeaderValue("Disposition-Notification-To"));
    if (list.isEmpty())
        return {};
    ReceiptAddress r;
    r.address = list.first().address.trimmed();
    r.name = DecodeHeaderText(list.first().name, original.ContentTypeCharset()).trimmed();
    return r;
}

QByteArray ReturnPathAddress(const MessageRecord& original)
{
    const QList<MailAddress> list = ParseAddressList(original.HeaderValue("Return-Path"));
    return list.isEmpty() ? QByteArray() : list.first().address.trimmed();
}

bool ReceiptGoesElsewhere(const MessageRecord& original)
{
    const QByteArray returnPath = ReturnPathAddress(original);
    return !returnPath.isEmpty() &&
           returnPath.toLower() != ReceiptRecipient(original).address.toLower();
}

bool AccountCanSendReceipt(const MailAccount& account)
{
    // Receipts always go through Velmora's SMTP client, also for an account
    // whose messages are written in the desktop's mail client.
    return account.HasSmtpSettings();
}

QString ReceiptSubject(const MessageRecord& original)
{
    return QStringLiteral("Read: ") + original.Subject();
}

QString ReceiptText(const MessageRecord& original, const MailAccount& account, const QDateTime& now)
{
    // The address the message was sent to, as far as its header tells: the
    // only one of To and Cc, else this account's own address.
    QString sentTo;
    const int toCount = original.ToCount();
    const int ccCount = original.CcCount();
    if (toCount + ccCount == 1)
        sentTo = QString::fromUtf8(toCount == 1 ? original.ToAddress(0) : original.CcAddress(0));
    else if (toCount + ccCount == 0)
        sentTo = QStringLiteral("undisclosed recipients ");
    else
        sentTo = QString::fromUtf8(account.FromAddress().trimmed());

    QString first =
        QStringLiteral("This is a return receipt for the message you sent to ") + sentTo;
    if (original.Date != 0)
        first += OnDateAt(FromDays(original.Date));
    first += QLatin1Char('.');
    const QString second =
        QStringLiteral("This receipt says that the message was displayed on recipient's "
                       "computer") +
        OnDateAt(now) + QLatin1Char('.');
    return first + QStringLiteral("\r\n") + second;
}

QByteArray DispositionFields(const MessageRecord& original, const MailAccount& account,
                             const QByteArray& reportingHost)
{
    QByteArray host = WithoutControls(reportingHost);
    if (host.isEmpty())
        host = "localhost";
    QByteArray out = "Reporting-UA: " + host + "; " + AppInfo::Instance().ProductName().toUtf8() +
                     " " + AppInfo::BareVersion().toUtf8() + "\r\n";
    const QByteArray originalRecipient =
        WithoutControls(original.HeaderValue("Original-Recipient"));
    if (!originalRecipient.isEmpty())
        out += "Original-Recipient: " + originalRecipient + "\r\n";
    out += "Final-Recipient: rfc822;" + WithoutControls(account.FromAddress()) + "\r\n";
    const QByteArray messageId = WithoutControls(original.MessageId());
    if (!messageId.isEmpty())
        out += "Original-Message-ID: " + messageId + "\r\n";
    out += "Disposition: manual-action/MDN-sent-manually; displayed\r\n";
    return out;
}

std::unique_ptr<OutgoingMessage> BuildReceipt(const MessageRecord& original,
                                              const MailAccount& account, const QDateTime& now)
{
    if (original.HoldingState() == MessageRecord::Holding::UidlOnly)
        return nullptr;
    const ReceiptAddress to = ReceiptRecipient(original);
    if (to.address.isEmpty())
        return nullptr;
    const QDateTime shown = now.isValid() ? now : QDateTime::currentDateTime();

    auto m = std::make_unique<OutgoingMessage>();
    const QByteArray from = account.FromAddress().trimmed();
    m->from = {MailAddress{account.SenderName().trimmed(), from}};
    m->to = {MailAddress{StripLineBreaks(to.name.toUtf8()).trimmed(), to.address}};
    // Subject and texts stay UTF-8 throughout; the header's charset label
    // (the writer's, UTF-8) says so.
    m->subject = ReceiptSubject(original).toUtf8();
    m->priority = PriorityOf(original);
    m->messageId = NewMessageId(from);
    m->encoding = MessageEncoding::meMIME;
    m->contentType = "multipart/report; report-type=disposition-notification";

    OutgoingText& text = m->AddText();
    text.contentType = "text/plain";
    text.charset = "utf-8";
    text.SetBodyText(ReceiptText(original, account, shown).toUtf8());

    MemoryAttachment& report = m->AddAttachmentMemory(
        DispositionFields(original, account, QHostInfo::localHostName().toUtf8()));
    report.contentType = "message/disposition-notification";
    report.transferEncoding = "7bit";
    report.disposition = "inline";
    return m;
}

} // namespace vm
