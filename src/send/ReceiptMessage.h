#pragma once
// Return receipts: the message disposition notification (RFC 8098) that
// answers a message asking for one with Disposition-Notification-To, and the
// facts the question about it shows. Widget-free; the sending is in
// ReceiptSender.h.
//
// The notification is a multipart/report with report-type
// disposition-notification: a human-readable text part, then a
// message/disposition-notification part with Reporting-UA,
// Original-Recipient (when the message carried one), Final-Recipient,
// Original-Message-ID (when it had one) and the disposition
// "manual-action/MDN-sent-manually; displayed".

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

namespace vm {

class MailAccount;
class MessageRecord;
class OutgoingMessage;

// The address a receipt goes to: the first address of the message's
// Disposition-Notification-To (name decoded); empty when it asks for none.
struct ReceiptAddress
{
    QString name;
    QByteArray address;
};
ReceiptAddress ReceiptRecipient(const MessageRecord& original);

// The address of the message's Return-Path header; empty when it has none.
QByteArray ReturnPathAddress(const MessageRecord& original);

// True when the message has a return path and the receipt would go to
// another address (letter case of the addresses aside).
bool ReceiptGoesElsewhere(const MessageRecord& original);

// True when the account has what a send needs: SMTP login, SMTP server and
// From address (whichever program writes its other messages).
bool AccountCanSendReceipt(const MailAccount& account);

// "Read: " and the message's subject.
QString ReceiptSubject(const MessageRecord& original);

// The two lines of the human-readable part. now: the time the message was
// displayed.
QString ReceiptText(const MessageRecord& original, const MailAccount& account,
                    const QDateTime& now);

// The lines of the message/disposition-notification part, each ended by
// CR LF. reportingHost: the host name written into Reporting-UA.
QByteArray DispositionFields(const MessageRecord& original, const MailAccount& account,
                             const QByteArray& reportingHost);

// The whole notification from the account to the receipt address, with a
// new Message-ID. Null when the record holds no headers or asks for no
// receipt. now: the time of display; invalid = the current time.
std::unique_ptr<OutgoingMessage>
BuildReceipt(const MessageRecord& original, const MailAccount& account, const QDateTime& now = {});

} // namespace vm
