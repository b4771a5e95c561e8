#pragma once
// Preparing the message a reply, a reply to all or a forward starts from:
// recipients, subject, the original's header block and text below the
// user's part, the original's attachments extracted as files, and the
// threading fields of a reply. The compose window, the hand-off to the
// desktop's mail client and `velmora --send --reply/--forward` all start
// from this one description.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include "send/MessageData.h"

namespace vm {

class MessageRecord;

// What the write commands pass: the numbers are part of the main window's
// command interface.
enum ComposeKind { ckReply = 0, ckReplyToAll = 1, ckForward = 2, ckNew = 3 };

struct PreparedMessage
{
    MessageData data;
    // Shown names of attachments of the original that could not be written
    // into the folder; they are not in data.attachments.
    QStringList failedAttachments;
};

// Prepares the message of the given kind from a source message (a whole
// message or a header block; it is parsed into a copy of its own, the record
// is left as it is) for an account whose From address is accountFrom.
//   Reply: To is the original's Reply-To list, else its sender.
//   Reply to all: the same, then every To and Cc entry of the original whose
//     address is not accountFrom (letter case aside), into To and Cc.
//   Forward: no recipients.
// The subject is "Re: " or "Fwd: " and the original subject. The body is two
// empty lines, the original's header block (sender, recipients, its date and
// time as the sender wrote them, with the sender's UTC offset, subject),
// two empty lines and the original's text: its first plain-text part, else
// the text of its first HTML part. The text is decoded with its charset (a
// charset no decoder knows is read as UTF-8); data.charsetId is that
// charset's id when the program's table has it, else 0. The attachments of
// the original are written into attachmentFolder (created when missing) under
// safe, unique names; a reply also gets In-Reply-To and References.
// Kind ckNew (or no source) gives an empty message.
PreparedMessage PrepareMessage(const MessageRecord* source, const QByteArray& accountFrom, int kind,
                               const QString& attachmentFolder);

// The original's date as the quote shows it: the Date header read with its
// own UTC offset. Invalid when the header is missing or unreadable.
QDateTime OriginalDate(const QByteArray& dateHeader);

// "+2:00", "-5:00", "+10:00", "+5:30": a UTC offset as the quote header
// labels the original's time.
QString OffsetLabel(int offsetSeconds);

// The threading fields of a reply to a message with this Message-ID and
// References (and In-Reply-To, used when References is empty and it holds
// one id). Only well-formed "<...>" ids are taken; empty when the original
// has no usable Message-ID.
struct ThreadFields
{
    QByteArray inReplyTo;
    QByteArray references;
};
ThreadFields ReplyThreadFields(const QByteArray& messageId, const QByteArray& references,
                               const QByteArray& inReplyTo);

} // namespace vm
