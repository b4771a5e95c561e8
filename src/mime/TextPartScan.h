#pragma once
// The text parts of a whole message read straight from its raw text, without
// building the MIME tree: a body search scans every message of a mailbox,
// and the full MIME parse (MessageRecord::ReadTextParts) costs many times
// reading the bytes.
//
// The scan reads the message the way the MIME parser does (header blocks,
// boundary lines of every enclosing multipart, the line break before a
// boundary belonging to the boundary, base64 and quoted-printable decoded
// with the parser's rules), but only for messages of ordinary shape. For
// anything else it declines and the caller parses fully: a header line that
// is not a field, a header block cut short, a repeated or unusual
// Content-Type, Content-Transfer-Encoding or Content-Disposition (comments,
// RFC 2231 parameters, encoded words in parameters, a missing boundary),
// another transfer encoding, embedded messages (message/*), digests, a
// boundary that another enclosing one could be mistaken for, or nesting
// deeper than 32.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace vm {

// Where a text part's content lies in the raw text and how it is encoded.
struct TextPartSpan
{
    enum class Encoding { None, Base64, QuotedPrintable };
    QByteArray contentType; // "text/plain", lower case
    QByteArray charset;     // the charset parameter as given, trimmed (may be empty)
    qsizetype begin = 0;    // the part's content, still transfer-encoded
    qsizetype end = 0;
    Encoding encoding = Encoding::None;
};

// Fills parts with the text parts of a whole message, in order: the leaves
// whose type is text/* (or that have no type), that are not marked as
// attachments and have no file name. False when the message's shape is left
// to the full MIME parse (see above); parts is then incomplete.
bool FindTextParts(QByteArrayView raw, QList<TextPartSpan>& parts);

// The content decoded by its transfer encoding, into out (replaced), the
// way the MIME parser decodes it: base64 skips characters outside its
// alphabet, ends at the first "=" and drops an incomplete last group that
// no "=" closes; quoted-printable turns "=XX" into its byte, drops "=" at a
// line end and keeps every other "=" with what follows it.
void DecodeTransfer(QByteArrayView content, TextPartSpan::Encoding encoding, QByteArray& out);

} // namespace vm
