#pragma once
// The outgoing message as the sending side builds it: sender, recipients,
// subject, priority, charset and an ordered list of parts (one text part
// first, then the attachments). The MIME writer (MimeWriter.h) turns it into
// the text that goes after "DATA".
//
// Texts are 8-bit: the subject and the text part in the message charset,
// display names and file names in UTF-8 (the local 8-bit encoding).

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QPair>
#include <QString>

#include <memory>
#include <stdexcept>
#include <vector>

#include "mime/Addresses.h"

namespace vm {


enum Priority { mpHighest = 0, mpHigh = 1, mpNormal = 2, mpLow = 3, mpLowest = 4 };

enum class MessageEncoding { meDefault, meMIME, mePlainText };

// A failure while writing a message (an attachment file that cannot be read).
class MessageWriteError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Ordered header lines. Names compare without regard to case.
class HeaderList
{
public:
    // Replaces the line of that name where it stands, appends it when absent,
    // removes it when value is empty.
    void SetValue(const QByteArray& name, const QByteArray& value);
    QByteArray Value(const QByteArray& name) const;
    bool Contains(const QByteArray& name) const;
    // Appends a line even when the name is present already.
    void Add(const QByteArray& name, const QByteArray& value);
    void Clear() { lines_.clear(); }
    int Count() const { return int(lines_.size()); }
    const QList<QPair<QByteArray, QByteArray>>& Lines() const { return lines_; }

private:
    int IndexOf(const QByteArray& name) const;
    QList<QPair<QByteArray, QByteArray>> lines_;
};

// Address lists of the message: display name (may be empty) and address of
// each entry (MailAddress of the address parser).
using MailAddressList = QList<MailAddress>;

class OutgoingPart
{
public:
    virtual ~OutgoingPart() = default;
    virtual bool IsText() const = 0;

    QByteArray contentType;
    QByteArray charset;
    QByteArray transferEncoding;
    QByteArray contentId;
    HeaderList extraHeaders;
};

class OutgoingText : public OutgoingPart
{
public:
    bool IsText() const override { return true; }
    // Splits text at CR LF, LF or a lone CR into body lines.
    void SetBodyText(const QByteArray& text);

    QByteArrayList body;
};

class OutgoingAttachment : public OutgoingPart
{
public:
    bool IsText() const override { return false; }
    // The name written into "name" and "filename"; empty for memory content.
    virtual QByteArray FileName() const = 0;
    // The bytes to encode; throws MessageWriteError when they cannot be read.
    virtual QByteArray Content() const = 0;

    QByteArray disposition;
};

// An attachment read from a file when the message is written. A temporary one
// deletes its file when the part is destroyed.
class FileAttachment : public OutgoingAttachment
{
public:
    explicit FileAttachment(const QString& path, bool temporary = false);
    ~FileAttachment() override;
    FileAttachment(const FileAttachment&) = delete;
    FileAttachment& operator=(const FileAttachment&) = delete;

    QByteArray FileName() const override;
    QByteArray Content() const override;
    const QString& Path() const { return path_; }
    bool Temporary() const { return temporary_; }

private:
    QString path_;
    bool temporary_;
};

class MemoryAttachment : public OutgoingAttachment
{
public:
    explicit MemoryAttachment(const QByteArray& data = {}) : data(data) {}
    QByteArray FileName() const override { return {}; }
    QByteArray Content() const override { return data; }

    QByteArray data;
};

class OutgoingMessage
{
public:
    OutgoingMessage() = default;
    OutgoingMessage(const OutgoingMessage&) = delete;
    OutgoingMessage& operator=(const OutgoingMessage&) = delete;

    MailAddressList from;
    QByteArray subject;
    MailAddressList to;
    MailAddressList cc;
    MailAddressList bcc;
    MailAddressList replyTo;
    QByteArray sender;
    QByteArray organization;
    MailAddress receiptRecipient; // "Disposition-Notification-To"; empty address = none
    QByteArray references;
    QByteArray inReplyTo;
    QByteArray messageId;
    double date = 0; // day count; 0 = the time of writing
    Priority priority = mpNormal;
    QByteArray charset;
    QByteArray contentType;
    QByteArray transferEncoding;
    QByteArrayList bodyLines;
    HeaderList extraHeaders;
    MessageEncoding encoding = MessageEncoding::meDefault;
    std::vector<std::unique_ptr<OutgoingPart>> parts;

    OutgoingText& AddText();
    FileAttachment& AddAttachmentFile(const QString& path, bool temporary = false);
    MemoryAttachment& AddAttachmentMemory(const QByteArray& data);
};

} // namespace vm
