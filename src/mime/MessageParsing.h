#pragma once
// The steps that read a message for MessageRecord, inside the MIME layer
// only: the record's parsed fields (ParsedMessage), the raw header block
// (MessageHeaderBlock.cpp) and the MIME tree read by GMime (MimeTree.cpp).

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <initializer_list>
#include <utility>

#include "mime/Addresses.h"
#include "mime/MessageParts.h"

namespace vm {

struct ParsedMessage {
    QList<QByteArray> headerLines;                     // physical lines of the header block
    QList<std::pair<QByteArray, QByteArray>> fields;   // name (lower case), unfolded value
    QByteArray subject;                                // unfolded, encoded words kept
    QList<vm::MailAddress> from;
    QList<vm::MailAddress> to;
    QList<vm::MailAddress> cc;
    QList<vm::MailAddress> replyTo;
    QByteArray messageId;
    QByteArray contentType = "text/plain";
    QByteArray contentTypeCharset;
    QByteArray dispositionNotificationTo;
    QList<QByteArray> textCharsets; // charsets of the text parts in order; kept by DropBody
    bool bodyParsed = false;
    // A whole message parsed by ParseWholeDeferred whose MIME parts were not
    // looked at yet: textCharsets is still empty.
    bool partsPending = false;
    // Whether a part header names a charset that does not keep ASCII bytes
    // as they are (UTF-7, UTF-16, UTF-32, ISO-2022): -1 not looked at yet.
    int namesWideCharset = -1;
    QList<vm::TextPart> textParts;
    QList<vm::AttachmentPart> attachments;
};

// --- the raw header block ------------------------------------------------------

// A blank that folds a header line: space or tab.
bool IsWsp(char c);

// The unfolded value of the first field named lowerName; empty when there is none.
QByteArray FirstField(const ParsedMessage& p, const QByteArray& lowerName);

// Text of the raw header lines for a field, reading for each occurrence only
// its first line.
QList<QByteArray> FirstLineTexts(const ParsedMessage& p, const QByteArray& lowerName,
                                 bool firstOnly);

// Whether text holds a byte outside ASCII.
bool HasEightBitBytes(const QByteArray& text);

// Whether a header line of the message or of one of its MIME parts holds one
// of the markers (lower case, compared in any letter case). Part headers
// follow a line starting with "--" (a boundary) and end at the next empty
// line; the search covers every such block, so it never misses a part header
// the MIME parser reads, while the bodies between them are skipped.
bool HeaderLinesContain(const QByteArray& raw, std::initializer_list<const char*> markers);

// The header fields of the parsed record, read from the header block.
void ReadHeaderFields(const QByteArray& raw, ParsedMessage& p);

// The value FirstField gives for lowerName after ReadHeaderBlock, read
// straight from the raw text without splitting the whole header block:
// the same lines, the same unfolding, the same lines left out.
QByteArray FirstHeaderValue(const QByteArray& raw, QByteArrayView lowerName);

// --- the MIME tree -------------------------------------------------------------

// Which part contents ParseMime decodes.
enum class PartData { None, TextOnly, All };

// Fills the text parts, their charsets and the attachments of p from the
// MIME tree of raw; withData says which part contents are decoded (None
// keeps none, which is all the attachment count and the charsets need).
void ParseMime(const QByteArray& raw, ParsedMessage& p,
               PartData withData = PartData::All);

// A Date field as a day count (local time); 0 when it is empty or unreadable.
double ParseDate(const QByteArray& value);

// The message's type and charset from its Content-Type field.
void ReadTopContentType(ParsedMessage& p);

} // namespace vm
