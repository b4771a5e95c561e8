#pragma once
// The MIME writer: turns an OutgoingMessage into the message text that the
// SMTP client sends after "DATA" (every line ended by CR LF). The output is
// the message itself; SMTP transparency (doubling a leading full stop) is the
// SMTP client's job, so the same text can also be stored as it is.

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>

#include "send/MimeEncoders.h"
#include "send/OutgoingMessage.h"

namespace vm {

// Charset label and encoded-word form for 8-bit header texts that carry no
// charset of their own (display names, organisation). The label is the
// charset the bytes are really in: the local 8-bit encoding, UTF-8. The B or
// Q choice follows the primary language of the user's locale.
struct HeaderCharset
{
    QByteArray label = "UTF-8";
    bool useB = false;
};
HeaderCharset LocaleHeaderCharset();

struct WriterOptions
{
    HeaderCharset headerCharset = LocaleHeaderCharset();
    // The time written into "Date" when the message has none; invalid = now.
    QDateTime now;
};

// Header block of the message (folded lines not yet applied), in writing order.
HeaderList GenerateHeader(OutgoingMessage& message, const WriterOptions& options = {});

// The whole message text. Stores the chosen defaults back into the message
// and its parts. Throws MessageWriteError when an attachment cannot be read.
QByteArray WriteMessage(OutgoingMessage& message, const WriterOptions& options = {});

// ---- Building blocks, exposed for the receipt writer and for tests -------

// Address list as written into From/To/Cc/Reply-To: entries joined by ", ".
// isFrom: an entry without display name shows its address as the name.
QByteArray FormatAddressList(const MailAddressList& list, bool isFrom,
                             const HeaderCharset& charset);

// "Wdy, D Mon YYYY HH:MM:SS +HHMM" for a local date-time.
QByteArray Rfc5322Date(const QDateTime& local);

// The process-wide MIME boundary: 34 letters and digits drawn at the first
// call, with "=_" at a random position from the 2nd character on.
const QByteArray& MimeBoundary();

// A new Message-ID "<16 random letters and digits@domain>"; the domain is the
// part of fromAddress after its last "@" (the local host name when it has none).
QByteArray NewMessageId(const QByteArray& fromAddress);

// The charset label written into a message for a charset name of the program's
// table: the Windows code pages get their registered names ("windows-1250").
QByteArray MimeCharsetLabel(const QByteArray& charsetName);

} // namespace vm
