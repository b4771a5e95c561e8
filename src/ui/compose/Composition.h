#pragma once
// The one entry point of every write command (new message, reply, reply to
// all, forward; from the message list, the preview, the details window):
// prepares the message and opens a compose window with it when the account
// sends through Velmora, else hands it to the desktop's mail client.

#include <QString>

namespace vm {

class MailAccount;
class MessageRecord;
struct MessageData;

// kind: ComposeKind (send/ReplyMessage.h). A reply or forward needs a
// message; attachments of the original that cannot be extracted are
// reported, and the message is opened without them.
void OpenComposition(const MessageRecord* message, MailAccount* account, int kind);

// A "mailto:" link clicked in a message of account: a new message from the
// account with the link's recipients, subject and body (MessageFromMailto:
// never its bcc, attach or unknown fields), in a compose window or handed
// to the desktop's mail client, as the account sends.
void OpenMailtoLink(MailAccount* account, const QString& link);

// The hand-off of a prepared message to the desktop's mail client (xdg-email):
// To, Cc and Bcc recipients, subject and body; the attachment files only
// for a forward. Runs asynchronously; a failure to start the client is reported
// when it ends.
void HandOffToMailClient(const MessageData& data, int kind);

} // namespace vm
