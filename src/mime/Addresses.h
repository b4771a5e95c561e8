#pragma once
// Address headers (From, To, Cc, Reply-To, Disposition-Notification-To) as
// bytes: the display name keeps its encoded words, which are decoded with the
// charset rules of the message record.

#include <QByteArray>
#include <QList>
#include <QString>

namespace vm {

struct MailAddress {
    QByteArray name;    // display name: quotes and escapes removed, blanks folded,
                        // encoded words still encoded
    QByteArray address; // local@domain (a source route is dropped)
};

// Parses an address list. Commas, colons and angle brackets inside quoted
// strings and comments are text; groups ("name: a, b;") give their members.
// An address written "addr (Name)" takes the comment as its display name.
// Never fails: what cannot be read as an address becomes an address text.
QList<MailAddress> ParseAddressList(const QByteArray& text);

// The naive split used for the per-address charset choice: the texts joined
// with line breaks, cut at every comma, pieces trimmed, empty pieces dropped.
QList<QByteArray> SplitAddressTexts(const QList<QByteArray>& rawTexts);

// "Name <address>" (the name quoted when it holds characters that would
// otherwise split or end it), or the address alone when the name is empty.
QString AddressFullText(const QString& name, const QByteArray& address);

} // namespace vm
