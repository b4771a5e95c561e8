#pragma once
// The prepared message a compose window opens with: filled for a new
// message, a reply or a forward, then edited by the user in the window.

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
};

// A new message from a clicked "mailto:" link (the text after "mailto:"):
// the comma-separated addresses before "?" and the "to", "cc", "bcc",
// "subject" and "body" fields after it, percent-decoded. Other fields are
// ignored; the subject is kept to one line.
MessageData MessageFromMailto(const QString& link);

} // namespace vm
