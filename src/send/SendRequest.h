#pragma once
// Building the outgoing message from a plain description of it. The compose
// window and the command line fill a SendRequest and both go through
// BuildOutgoingMessage, so a message is the same whichever way it was made.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

#include "send/OutgoingMessage.h"

namespace vm {

class MailAccount;


// One recipient row: display name, address and recipient type
// (1 To, 2 Cc, 3 Bcc; other values are not sent).
class EmailAddress
{
public:
    EmailAddress() = default;
    EmailAddress(const QString& name, const QString& address, int type = 1)
        : name(name), address(address), type(type)
    {
    }

    // "Name <address>" (the name quoted when needed), or the bare address.
    QString FullText() const;
    // Parses "Name <address>", "\"Name\" <address>" or a bare address.
    void SetFullText(const QString& text);

    QString name;
    QString address;
    int type = 1;
};

struct SendAttachment
{
    QString path;
    bool temporary = false; // extracted for a forward; deleted after the attempt
};

struct SendRequest
{
    MailAccount* account = nullptr;
    QString subject;
    QString body; // plain text, or the HTML document in formatted mode
    bool html = false;
    int charsetId = 12; // charset ids of the program's table; 12 = UTF-8
    QList<EmailAddress> recipients;
    int priority = 2; // 0 highest .. 4 lowest
    bool receipt = false;
    bool includeAttachments = true;
    QList<SendAttachment> attachments;
    // Threading of a reply ("<id@host>" and the ids before it); written as
    // In-Reply-To and References when not empty.
    QByteArray inReplyTo;
    QByteArray references;
};

// Unicode text to bytes of the charset with the given id (the program's
// table; 12 and unknown ids give UTF-8). Characters the charset cannot hold
// become "?"; the result then reports false.
bool EncodeToCharset(const QString& text, int charsetId, QByteArray& out);

// The charset label written into a message for a charset id: "utf-8" for
// UTF-8, the registered name for the others ("ISO-8859-2", "windows-1250").
QByteArray CharsetLabelForId(int charsetId);

// Subject (trimmed) and body converted for sending.
struct ConvertedTexts
{
    QByteArray subject;
    QByteArray body;
    QByteArray charset;   // the label written into the message
    bool lossless = true; // false: some character became "?"
};
ConvertedTexts ConvertForSending(const QString& subject, const QString& body, int charsetId);

// True when the address can be put between angle brackets in the SMTP
// dialogue and the header block: not empty, no white space, no control
// bytes, no angle brackets, commas or quotes.
bool IsSendableAddress(const QByteArray& address);

enum class BuildStatus {
    Ok,
    CannotAttach, // detail: the path
    BadAddress,   // detail: the address text
};

struct BuildResult
{
    BuildStatus status = BuildStatus::Ok;
    QString detail;
    QString errorText; // the text to show for a failure, from the language file
    std::unique_ptr<OutgoingMessage> message;
};

// Builds the outgoing message. The request's texts are converted with
// ConvertForSending (callers ask about lossy conversion before). On
// CannotAttach or BadAddress nothing is returned; temporary attachments
// already taken into the half-built message are deleted with it, as after
// every attempt.
BuildResult BuildOutgoingMessage(const SendRequest& request);

// Content type of an attachment by the extension of its path (letter case
// counts): ".jpg"/".jpeg", ".gif", ".bmp", ".png"; empty for anything else.
QByteArray ImageContentType(const QString& path);

} // namespace vm
