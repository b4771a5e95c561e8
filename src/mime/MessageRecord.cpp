#include "mime/MessageRecord.h"

#include <utility>

#include "mime/MessageParsing.h"

namespace vm {

namespace {

const QList<QByteArray> kNoLines;
const QList<vm::TextPart> kNoTextParts;
const QList<vm::AttachmentPart> kNoAttachments;

int CountVisible(const QList<vm::AttachmentPart>& parts)
{
    int n = 0;
    for (const vm::AttachmentPart& a : parts)
        if (vm::IsVisibleAttachment(a))
            ++n;
    return n;
}

// Charset names that say nothing about 8-bit bytes; such text falls back to
// the incoming default instead.
bool IsAsciiName(const QByteArray& name)
{
    const QByteArray n = name.trimmed().toLower();
    return n == "us-ascii" || n == "ascii" || n == "ansi_x3.4-1968" || n == "646";
}

} // namespace

MessageRecord::MessageRecord() = default;

MessageRecord::MessageRecord(const MessageRecord& other)
    : UID(other.UID), Flags(other.Flags), owner(other.owner), size(other.size),
      serverNumber(other.serverNumber), headersOnly(other.headersOnly), noHeaders(other.noHeaders),
      fresh(other.fresh), raw(other.raw), receiptState(other.receiptState),
      attachmentCount(other.attachmentCount), Date(other.Date),
      parsed_(other.parsed_ ? std::make_unique<Parsed>(*other.parsed_) : nullptr),
      parsePending_(other.parsePending_)
{
}

MessageRecord& MessageRecord::operator=(const MessageRecord& other)
{
    if (this == &other)
        return *this;
    UID = other.UID;
    Flags = other.Flags;
    owner = other.owner;
    size = other.size;
    serverNumber = other.serverNumber;
    headersOnly = other.headersOnly;
    noHeaders = other.noHeaders;
    fresh = other.fresh;
    raw = other.raw;
    receiptState = other.receiptState;
    attachmentCount = other.attachmentCount;
    Date = other.Date;
    parsed_ = other.parsed_ ? std::make_unique<Parsed>(*other.parsed_) : nullptr;
    parsePending_ = other.parsePending_;
    return *this;
}

MessageRecord::~MessageRecord() = default;

void MessageRecord::Parse(bool whole)
{
    const QByteArray uid = UID;
    const std::uint8_t flags = Flags;
    parsePending_ = false;
    auto p = std::make_unique<Parsed>();
    try {
        ReadHeaderFields(raw, *p);
        Date = ParseDate(FirstField(*p, "date"));
        if (whole) {
            ParseMime(raw, *p);
            p->bodyParsed = true;
        }
    } catch (...) {
        // Whatever was read before the fault stands.
    }
    parsed_ = std::move(p);
    UID = uid;
    Flags = flags;
    if (whole && attachmentCount < 0)
        VisibleAttachmentCount();
}

void MessageRecord::ParseLater()
{
    parsed_.reset();
    parsePending_ = !raw.isEmpty() && !noHeaders;
    Date = ParseDate(FirstHeaderValue(raw, "date"));
}

void MessageRecord::ParsePending() const
{
    // Only the parsed fields are written here: the date was taken by
    // ParseLater from the same text, and the bookkeeping is not touched.
    parsePending_ = false;
    auto p = std::make_unique<Parsed>();
    try {
        ReadHeaderFields(raw, *p);
    } catch (...) {
        // Whatever was read before the fault stands.
    }
    p->partsPending = !headersOnly && !raw.isEmpty();
    parsed_ = std::move(p);
}

void MessageRecord::ParseWhole()
{
    Parse(true);
}

void MessageRecord::ParseHeaders()
{
    Parse(false);
}

void MessageRecord::ParseWholeDeferred()
{
    Parse(false);
    parsed_->partsPending = !raw.isEmpty();
}

int MessageRecord::ExamineDeferredParts() const
{
    Parsed parts;
    try {
        ParseMime(raw, parts, PartData::None);
    } catch (...) {
        // Whatever was read before the fault stands.
    }
    parsed_->textCharsets = std::move(parts.textCharsets);
    parsed_->partsPending = false;
    return CountVisible(parts.attachments);
}

void MessageRecord::DropBody()
{
    Resolve();
    if (!parsed_)
        return;
    parsed_->textParts.clear();
    parsed_->textParts.squeeze();
    parsed_->attachments.clear();
    parsed_->attachments.squeeze();
    parsed_->bodyParsed = false;
}

// --- header fields -----------------------------------------------------------

int MessageRecord::HeaderCharset(vm::HeaderKind kind, int index) const
{
    Resolve();
    return HeaderCharset(kind, index, true);
}

int MessageRecord::HeaderCharset(vm::HeaderKind kind, int index, bool examineParts) const
{
    if (!parsed_)
        return 0;
    const Parsed& p = *parsed_;
    QByteArray text;
    switch (kind) {
    case vm::HeaderKind::Subject:
    case vm::HeaderKind::From: {
        const QList<QByteArray> t =
            FirstLineTexts(p, kind == vm::HeaderKind::Subject ? "subject" : "from", true);
        if (!t.isEmpty())
            text = t.first();
        break;
    }
    case vm::HeaderKind::To:
    case vm::HeaderKind::Cc:
    case vm::HeaderKind::ReplyTo: {
        const QByteArray name = kind == vm::HeaderKind::To   ? "to"
                                : kind == vm::HeaderKind::Cc ? "cc"
                                                             : "reply-to";
        const QList<QByteArray> pieces = vm::SplitAddressTexts(FirstLineTexts(p, name, false));
        if (index < 0 || index >= pieces.size())
            return 0;
        text = pieces[index];
        break;
    }
    }
    int id = vm::EncodedWordCharset(text);
    if (id == 0 && !p.contentTypeCharset.isEmpty())
        id = vm::CharsetIdFromName(p.contentTypeCharset);
    if (id == 0) {
        if (examineParts && p.partsPending)
            ExamineDeferredParts();
        for (const QByteArray& cs : p.textCharsets) {
            id = vm::CharsetIdFromName(cs);
            if (id != 0)
                break;
        }
    }
    return id;
}

QByteArray MessageRecord::FallbackCharset(vm::HeaderKind kind, int index,
                                         const QByteArray& text) const
{
    // The text part charsets only matter for bytes outside ASCII: every
    // charset the decoder takes from a text part keeps ASCII as it is, except
    // the few wide ones, which a look at the part headers rules out. So plain
    // ASCII text of a message whose parts were not parsed yet leaves them so.
    bool examineParts = true;
    if (parsed_ && parsed_->partsPending && !HasEightBitBytes(text)) {
        if (parsed_->namesWideCharset < 0)
            parsed_->namesWideCharset =
                HeaderLinesContain(raw, {"utf-7", "utf-16", "utf-32", "2022"}) ? 1 : 0;
        examineParts = parsed_->namesWideCharset == 1;
    }
    if (const int id = HeaderCharset(kind, index, examineParts))
        return vm::CharsetName(id).toLatin1();
    if (!parsed_)
        return {};
    const QByteArray& ct = parsed_->contentTypeCharset;
    if (!IsAsciiName(ct) && vm::IsKnownCharset(ct))
        return ct;
    for (const QByteArray& cs : parsed_->textCharsets)
        if (!IsAsciiName(cs) && vm::IsKnownCharset(cs))
            return cs;
    return {};
}

QString MessageRecord::Subject() const
{
    Resolve();
    if (!parsed_)
        return {};
    return vm::DecodeHeaderText(parsed_->subject,
                                FallbackCharset(vm::HeaderKind::Subject, 0, parsed_->subject));
}

QByteArray MessageRecord::SubjectBytes() const
{
    Resolve();
    return parsed_ ? vm::DecodeEncodedWordsToBytes(parsed_->subject) : QByteArray();
}

QString MessageRecord::FromName() const
{
    Resolve();
    if (!parsed_ || parsed_->from.isEmpty())
        return {};
    const QByteArray& name = parsed_->from.first().name;
    return vm::DecodeHeaderText(name, FallbackCharset(vm::HeaderKind::From, 0, name));
}

QString MessageRecord::FromText() const
{
    Resolve();
    if (!parsed_ || parsed_->from.isEmpty())
        return {};
    return vm::AddressFullText(FromName(), parsed_->from.first().address);
}

QByteArray MessageRecord::FromAddress() const
{
    Resolve();
    if (!parsed_ || parsed_->from.isEmpty())
        return {};
    return parsed_->from.first().address;
}

QString MessageRecord::ToName(int i) const
{
    Resolve();
    if (!parsed_ || i < 0 || i >= parsed_->to.size())
        return {};
    const QByteArray& name = parsed_->to[i].name;
    return vm::DecodeHeaderText(name, FallbackCharset(vm::HeaderKind::To, 0, name));
}

QString MessageRecord::CcName(int i) const
{
    Resolve();
    if (!parsed_ || i < 0 || i >= parsed_->cc.size())
        return {};
    const QByteArray& name = parsed_->cc[i].name;
    return vm::DecodeHeaderText(name, FallbackCharset(vm::HeaderKind::Cc, 0, name));
}

QString MessageRecord::ReplyToText(int i) const
{
    Resolve();
    if (!parsed_ || i < 0 || i >= parsed_->replyTo.size())
        return {};
    const QByteArray& text = parsed_->replyTo[i].name;
    const QString name =
        vm::DecodeHeaderText(text, FallbackCharset(vm::HeaderKind::ReplyTo, 0, text));
    return vm::AddressFullText(name, parsed_->replyTo[i].address);
}

QByteArray MessageRecord::ToAddress(int i) const
{
    Resolve();
    return parsed_ && i >= 0 && i < parsed_->to.size() ? parsed_->to[i].address : QByteArray();
}

QByteArray MessageRecord::CcAddress(int i) const
{
    Resolve();
    return parsed_ && i >= 0 && i < parsed_->cc.size() ? parsed_->cc[i].address : QByteArray();
}

QByteArray MessageRecord::ReplyToAddress(int i) const
{
    Resolve();
    return parsed_ && i >= 0 && i < parsed_->replyTo.size() ? parsed_->replyTo[i].address
                                                            : QByteArray();
}

int MessageRecord::ToCount() const
{
    Resolve();
    return parsed_ ? int(parsed_->to.size()) : 0;
}

int MessageRecord::CcCount() const
{
    Resolve();
    return parsed_ ? int(parsed_->cc.size()) : 0;
}

int MessageRecord::ReplyToCount() const
{
    Resolve();
    return parsed_ ? int(parsed_->replyTo.size()) : 0;
}

QByteArray MessageRecord::MessageId() const
{
    Resolve();
    return parsed_ ? parsed_->messageId : QByteArray();
}

QByteArray MessageRecord::DispositionNotificationTo() const
{
    Resolve();
    return parsed_ ? parsed_->dispositionNotificationTo : QByteArray();
}

QByteArray MessageRecord::ContentType() const
{
    Resolve();
    return parsed_ ? parsed_->contentType : QByteArray();
}

QByteArray MessageRecord::ContentTypeCharset() const
{
    Resolve();
    return parsed_ ? parsed_->contentTypeCharset : QByteArray();
}

const QList<QByteArray>& MessageRecord::HeaderLines() const
{
    Resolve();
    return parsed_ ? parsed_->headerLines : kNoLines;
}

QByteArray MessageRecord::HeaderValue(const QByteArray& name) const
{
    Resolve();
    return parsed_ ? FirstField(*parsed_, name.trimmed().toLower()) : QByteArray();
}

QList<vm::TextPart> MessageRecord::ReadTextParts() const
{
    Resolve();
    if (headersOnly || noHeaders)
        return {};
    if (parsed_ && parsed_->bodyParsed)
        return parsed_->textParts;
    Parsed parts;
    try {
        ParseMime(raw, parts, PartData::TextOnly);
    } catch (...) {
        // Whatever was read before the fault stands.
    }
    return std::move(parts.textParts);
}

bool MessageRecord::BodyParsed() const
{
    Resolve();
    return parsed_ && parsed_->bodyParsed;
}

const QList<vm::TextPart>& MessageRecord::TextParts() const
{
    Resolve();
    return parsed_ ? parsed_->textParts : kNoTextParts;
}

const QList<vm::AttachmentPart>& MessageRecord::Attachments() const
{
    Resolve();
    return parsed_ ? parsed_->attachments : kNoAttachments;
}

int MessageRecord::VisibleAttachmentCount()
{
    Resolve();
    if (attachmentCount >= 0)
        return attachmentCount;
    int n = 0;
    if (parsed_ && parsed_->bodyParsed) {
        n = CountVisible(parsed_->attachments);
    } else if (!headersOnly && !noHeaders && !raw.isEmpty()) {
        // The parts were dropped or not parsed yet: count from a parse of our
        // own raw text. An attachment is only shown when it has a name (from
        // the name or filename parameter of a part header), is marked as an
        // attachment or is an attached message (also the parts of a digest,
        // which are messages without saying so): without "name",
        // "attachment", "message/rfc822" or "digest" in any header line the
        // count is 0 without parsing.
        if (!HeaderLinesContain(raw, {"name", "attachment", "message/rfc822", "digest"})) {
            n = 0;
        } else if (parsed_ && parsed_->partsPending) {
            n = ExamineDeferredParts();
        } else {
            Parsed parts;
            try {
                ParseMime(raw, parts, PartData::None);
            } catch (...) {
                // Whatever was read before the fault stands.
            }
            n = CountVisible(parts.attachments);
        }
    } else {
        return 0; // nothing to count yet; asked again once the body is held
    }
    attachmentCount = n;
    return n;
}

} // namespace vm
