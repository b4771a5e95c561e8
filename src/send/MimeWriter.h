#pragma once
// The MIME writer: turns an OutgoingMessage into the message text that the
// SMTP client sends after "DATA" (every line ended by CR LF). The output is
// the message itself; SMTP transparency (doubling a leading full stop) is the
// SMTP client's job, so the same text can also be stored as it is.

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>

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

// RFC 2047 encoding of the stretch from the first to the last word that needs
// it; words are separated by blanks and TABs. specials: further bytes that
// force a word to be encoded (display names). Encoded words are at most 75
// characters and are joined by CR LF and one blank. A UTF-8 character is never
// split across two encoded words. CR and LF in the text become blanks.
QByteArray EncodeHeaderWords(const QByteArray& text, const QByteArray& charset, bool useB,
                             const QByteArray& specials = {});

// Address list as written into From/To/Cc/Reply-To: entries joined by ", ".
// isFrom: an entry without display name shows its address as the name.
QByteArray FormatAddressList(const MailAddressList& list, bool isFrom,
                             const HeaderCharset& charset);

// Quoted-printable of body lines: each line encoded by itself, output lines
// within 76 characters, each ended by CR LF; a full stop that would begin an
// output line is written "=2E", a blank or TAB ending a line "=20" / "=09".
QByteArray EncodeQuotedPrintable(const QByteArrayList& lines);

// Base64 in lines of 76 characters, each ended by CR LF.
QByteArray EncodeBase64Lines(const QByteArray& data);

// Folds one header line ("Name: value", may already hold CR LF breaks) at
// blanks and TABs outside double quotes so that lines stay within 78
// characters where possible; removes white space at the end of every line.
// The result has no final CR LF.
QByteArray FoldHeaderLine(const QByteArray& line);

// "Wdy, D Mon YYYY HH:MM:SS +HHMM" for a local date-time.
QByteArray Rfc5322Date(const QDateTime& local);

// The process-wide MIME boundary: 34 letters and digits drawn at the first
// call, with "=_" at a random position from the 2nd character on.
const QByteArray& MimeBoundary();

// A new Message-ID "<16 random letters and digits@domain>"; the domain is the
// part of fromAddress after its last "@" (the local host name when it has none).
QByteArray NewMessageId(const QByteArray& fromAddress);

// Replaces CR and LF (and other control bytes except TAB) by blanks, so that a
// typed text can never end the header line it is written into.
QByteArray StripLineBreaks(const QByteArray& text);

// The charset label written into a message for a charset name of the program's
// table: the Windows code pages get their registered names ("windows-1250").
QByteArray MimeCharsetLabel(const QByteArray& charsetName);

} // namespace vm
