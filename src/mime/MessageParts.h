#pragma once
// The parts of a whole message as its record holds them: the text parts and
// the attachments, with the rules for an attachment's name and whether the
// list shows it.

#include <QByteArray>
#include <QList>
#include <QString>

#include "mime/Charsets.h"

namespace vm {

// A text part of a whole message: a leaf whose type is text/* (or has no
// type), that is not marked as an attachment and has no file name.
struct TextPart {
    QByteArray contentType; // "text/plain", lower case
    QByteArray charset;     // the charset parameter as given (may be empty)
    QByteArray data;        // transfer-decoded bytes
    // The text in Unicode: the part's charset, else the incoming default.
    QString Text() const { return DecodeWithCharset(data, charset); }
};

// Every other leaf of a whole message, and every attached message.
struct AttachmentPart {
    QByteArray contentType;         // lower case, e.g. "image/png"
    QString fileName;               // the parser's file name (RFC 2231 and encoded
                                    // words decoded), exactly as sent; may be empty
    QByteArray disposition;         // Content-Disposition type as given ("attachment")
    QByteArray contentId;           // without angle brackets
    QByteArray contentLocation;
    QList<QByteArray> headerLines;  // the part's own header lines as sent
    QByteArray data;                // transfer-decoded bytes (a whole message for
                                    // message/rfc822)
};

// The name shown for an attachment and used (after SafeFileName) for saving:
// the quoted name or filename parameter of the part's header lines, with
// encoded words decoded word by word, else the parser's file name.
QString AttachmentDisplayName(const AttachmentPart& part);

// True if the attachment is counted by VisibleAttachmentCount (and carried
// by a forward): it has a file name, is marked "attachment" or is an
// attached message (message/rfc822), and is not a picture embedded in an
// HTML body (inline or without disposition, and carrying a Content-ID or
// Content-Location).
bool IsVisibleAttachment(const AttachmentPart& part);

} // namespace vm
