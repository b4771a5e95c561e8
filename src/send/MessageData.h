#pragma once
// The prepared message a compose window opens with: filled for a new
// message, a reply or a forward, then edited by the user in the window.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "send/SendRequest.h"

namespace vm {

struct MessageData
{
    QString subject;
    QList<EmailAddress> recipients; // each with its type (1 To, 2 Cc, 3 Bcc)
    QStringList bodyLines;
    // Files extracted from the source message of a reply or forward; the
    // compose window takes them over and deletes them when it closes.
    QStringList attachments;
    int charsetId = 0; // 0: the setting ComposeMessageEncoding
    bool receipt = false;
    int priority = 2; // 0 highest .. 4 lowest
    // Threading of a reply: the Message-ID answered and the chain of ids
    // before it ("<a@x> <b@y>"); empty for other messages.
    QByteArray inReplyTo;
    QByteArray references;
    // What the message answers: 0 reply, 1 reply to all, 2 forward, 3 a new
    // message (ComposeKind); the compose window's caption says so.
    int kind = 3;
};

// A new message from a clicked "mailto:" link (RFC 6068), given with or
// without its "mailto:": the comma-separated addresses before "?" and the
// "to", "cc", "subject" and "body" fields after it, percent-decoded as
// UTF-8 ("+" stays a plus sign). "bcc", "attach" and every other field are
// ignored, so a link can neither add hidden recipients nor files. An address
// that could not be sent as it is (line breaks, controls, brackets...) is
// left out; the subject is kept to one line; the body's line breaks (CR LF,
// LF or CR) separate its lines.
MessageData MessageFromMailto(const QString& link);

} // namespace vm
