#pragma once
// A message record: one message of a mailbox as Velmora tracks it on a POP3
// server and on disk, plus what parsing its raw text gives (headers, parts).
//
// The bookkeeping fields below are fixed: the mailbox, the mailbox file and
// the POP3 operations read and write them directly. Parsing fills the parsed
// part and never changes UID or Flags.

#include <QByteArray>
#include <QList>
#include <QString>

#include "mime/Addresses.h"
#include "mime/Charsets.h"
#include "mime/MessageParts.h"

#include <cstdint>
#include <memory>

namespace vm {

class Mailbox;


// Header fields whose charset HeaderCharset decides.
enum class HeaderKind { Subject, From, To, Cc, ReplyTo };

// What parsing a record's raw text gives (the MIME layer's own).
struct ParsedMessage;



// Bit of Flags that is the new flag ("recent").
constexpr std::uint8_t mfRecent = 0x20;

class MessageRecord
{
public:
    MessageRecord();
    MessageRecord(const MessageRecord& other);
    MessageRecord& operator=(const MessageRecord& other);
    virtual ~MessageRecord();

    // --- Bookkeeping (stored in the mailbox file) ---------------------------
    QByteArray UID;              // the message's UIDL as the server reported it
    std::uint8_t Flags = 0;      // flag set; only mfRecent (the new flag) is used
    Mailbox* owner = nullptr;   // set by the mailbox's add, insert and replace
    std::int32_t size = 0;       // bytes, from the server's LIST; 0 = unknown
    std::int32_t serverNumber = 0; // number on the server at the last check; 0 = unknown
    bool headersOnly = true;     // the raw data is the header block only
    bool noHeaders = false;      // only the UIDL and these fields are held
    bool fresh = false;          // arrived in a check and not yet looked at
    QByteArray raw;              // the message text exactly as retrieved
    std::uint8_t receiptState = 0; // 0 none, 1 requested, 2 declined, 3 sent
    std::int32_t attachmentCount = -1; // -1 = not counted yet

    bool IsNew() const { return (Flags & mfRecent) != 0; }
    void SetNew(bool on) { Flags = on ? (Flags | mfRecent) : (Flags & ~mfRecent); }

    // Holding state, read in this order: UIDL only, headers only, whole.
    enum class Holding { UidlOnly, Headers, Whole };
    Holding HoldingState() const
    {
        if (noHeaders)
            return Holding::UidlOnly;
        return headersOnly ? Holding::Headers : Holding::Whole;
    }

    // The message date as a day count since 1899-12-30 (0 = no date); set by
    // parsing, and by the mailbox file loader for UIDL-only records.
    double Date = 0;

    // --- Parsing (the rest of the class is declared by the MIME decoder) ----
    // Parses the raw text as a whole message / as a header block. Never throws;
    // a malformed message keeps what was parsed before the fault.
    void ParseWhole();
    void ParseHeaders();
    // For a whole message whose parts are not needed yet: parses the header
    // block now and the MIME parts only when something first asks for what
    // they give (the attachment count, the text part charsets of
    // HeaderCharset). Every result is the same as after ParseWhole + DropBody.
    void ParseWholeDeferred();
    // For a record read from a mailbox file: takes the date now (the list
    // sorts and hides old messages by it, the check tests it) and leaves the
    // rest of the header block to be parsed when something first asks for
    // it, as ParseHeaders (headers only) or ParseWholeDeferred (whole) would
    // have. Loading a mailbox of many records then costs little more than
    // reading its file; the list parses only the rows it shows. The parse
    // that follows writes nothing but the parsed fields.
    void ParseLater();
    // True while the parse ParseLater left for later has not run yet (the
    // date is known; any parsed field asked for runs it).
    bool ParseLeftForLater() const { return parsePending_; }
    // Releases the parsed parts and body, keeping headers and bookkeeping.
    void DropBody();

    // --- Decoded header fields (empty before parsing) -----------------------
    QString Subject() const;
    QByteArray SubjectBytes() const; // encoded words decoded to bytes, no conversion
    QString FromText() const;        // "Name <address>" or the address
    QString FromName() const;        // display name, may be empty
    QByteArray FromAddress() const;
    QString ToName(int i) const;     // empty past the end of the list
    QString CcName(int i) const;
    QString ReplyToText(int i) const;
    QByteArray ToAddress(int i) const;
    QByteArray CcAddress(int i) const;
    QByteArray ReplyToAddress(int i) const;
    int ToCount() const;
    int CcCount() const;
    int ReplyToCount() const;
    QByteArray MessageId() const;                 // with its angle brackets, as sent
    QByteArray DispositionNotificationTo() const; // the address; empty if none
    QByteArray ContentType() const;               // top level, lower case, no parameters
    QByteArray ContentTypeCharset() const;        // top-level charset parameter
    const QList<QByteArray>& HeaderLines() const; // the header block, line by line
    // The unfolded value of the first header with this name (any letter case).
    QByteArray HeaderValue(const QByteArray& name) const;

    // Charset id for the given header field and address index (0 = none).
    int HeaderCharset(vm::HeaderKind kind, int index) const;

    // --- Parts (whole messages only; empty after DropBody) -------------------
    const QList<vm::TextPart>& TextParts() const;
    // Whether the parts are parsed (ParseWhole, not yet dropped).
    bool BodyParsed() const;
    // The text parts of a whole message (empty for one held as headers):
    // the parsed ones when the parts are parsed, else parsed from the raw
    // text for the caller alone, leaving the record as it was. Attachments
    // are not decoded.
    QList<vm::TextPart> ReadTextParts() const;
    const QList<vm::AttachmentPart>& Attachments() const;
    // Number of attachments the list shows; cached in attachmentCount.
    int VisibleAttachmentCount();

    // Parsed data (null before parsing; a record left for later is parsed
    // now).
    using Parsed = ParsedMessage;
    const Parsed* parsed() const
    {
        Resolve();
        return parsed_.get();
    }

private:
    void Parse(bool whole);
    // Runs the parse ParseLater left for later, if any.
    void Resolve() const
    {
        if (parsePending_)
            ParsePending();
    }
    void ParsePending() const;
    // Parses the MIME parts left for later by ParseWholeDeferred, keeping
    // the text part charsets; returns the visible attachment count found.
    int ExamineDeferredParts() const;
    int HeaderCharset(vm::HeaderKind kind, int index, bool examineParts) const;
    // Charset (by name) for the text of a field that is outside encoded
    // words: the HeaderCharset id, else a charset that only ICU knows from
    // the Content-Type or the first text part, else empty (incoming default).
    // `text` is the field text about to be decoded with it.
    QByteArray FallbackCharset(vm::HeaderKind kind, int index, const QByteArray& text) const;

    mutable std::unique_ptr<Parsed> parsed_;
    mutable bool parsePending_ = false;
};

} // namespace vm
