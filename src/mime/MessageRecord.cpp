#include "mime/MessageRecord.h"

#include "core/DateTime.h"

// GLib names a struct member "signals", which Qt defines as a keyword macro.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

#include <QDateTime>
#include <QStringDecoder>

#include <cstring>
#include <ctime>
#include <initializer_list>
#include <mutex>
#include <utility>

namespace vm {

struct MessageRecord::Parsed {
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

namespace {

const QList<QByteArray> kNoLines;
const QList<vm::TextPart> kNoTextParts;
const QList<vm::AttachmentPart> kNoAttachments;

void InitGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

bool IsWsp(char c)
{
    return c == ' ' || c == '\t';
}

// Splits off the header block: physical lines (without line ends) up to the
// first empty line. A leading mbox "From " line is not a header and is left
// out of the fields.
void ReadHeaderBlock(const QByteArray& raw, MessageRecord::Parsed& p)
{
    qsizetype pos = 0;
    bool first = true;
    QByteArray name;
    QByteArray value;
    bool inField = false;
    auto flush = [&] {
        if (inField)
            p.fields.append({name.trimmed().toLower(), value.trimmed()});
        inField = false;
    };
    while (pos < raw.size()) {
        qsizetype eol = raw.indexOf('\n', pos);
        const qsizetype next = eol < 0 ? raw.size() : eol + 1;
        if (eol < 0)
            eol = raw.size();
        QByteArray line = raw.mid(pos, eol - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        pos = next;
        if (line.isEmpty())
            break;
        p.headerLines.append(line);
        if (first && line.startsWith("From ")) {
            first = false;
            continue;
        }
        first = false;
        if (IsWsp(line[0])) {
            if (inField)
                value += line; // unfolding keeps the blank that starts the line
            continue;
        }
        flush();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue; // not a header line; ignored
        name = line.left(colon);
        value = line.mid(colon + 1);
        inField = true;
    }
    flush();
}

QByteArray FirstField(const MessageRecord::Parsed& p, const QByteArray& lowerName)
{
    for (const auto& f : p.fields)
        if (f.first == lowerName)
            return f.second;
    return {};
}

QList<vm::MailAddress> AllAddresses(const MessageRecord::Parsed& p, const QByteArray& lowerName)
{
    QList<vm::MailAddress> out;
    for (const auto& f : p.fields)
        if (f.first == lowerName)
            out += vm::ParseAddressList(f.second);
    return out;
}

QByteArray MimeType(GMimeContentType* ct)
{
    if (!ct)
        return "text/plain";
    const char* type = g_mime_content_type_get_media_type(ct);
    const char* sub = g_mime_content_type_get_media_subtype(ct);
    return (QByteArray(type ? type : "text") + '/' + QByteArray(sub ? sub : "plain")).toLower();
}

QByteArray StreamBytes(GMimeStream* stream)
{
    GByteArray* arr = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    if (!arr || arr->len == 0)
        return {};
    return QByteArray(reinterpret_cast<const char*>(arr->data), static_cast<qsizetype>(arr->len));
}

QList<QByteArray> ObjectHeaderLines(GMimeObject* obj)
{
    QList<QByteArray> lines;
    GMimeHeaderList* list = g_mime_object_get_header_list(obj);
    if (!list)
        return lines;
    const int n = g_mime_header_list_get_count(list);
    for (int i = 0; i < n; ++i) {
        GMimeHeader* h = g_mime_header_list_get_header_at(list, i);
        if (!h)
            continue;
        const char* rawName = g_mime_header_get_raw_name(h);
        const char* rawValue = g_mime_header_get_raw_value(h);
        QByteArray text = QByteArray(rawName ? rawName : "") + ':' + (rawValue ? rawValue : "");
        for (QByteArray line : text.split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            if (!line.isEmpty())
                lines.append(line);
        }
    }
    return lines;
}

const char* ParamValue(GMimeParamList* list, const char* name)
{
    if (!list)
        return nullptr;
    GMimeParam* prm = g_mime_param_list_get_parameter(list, name);
    return prm ? g_mime_param_get_value(prm) : nullptr;
}

// Which part contents CollectParts decodes.
enum class PartData { None, TextOnly, All };

// Fills the text parts and attachments of p from the MIME tree. With
// PartData::None the parts keep no content, which is all the attachment
// count and the text part charsets need, and saves decoding every body;
// PartData::TextOnly collects the text parts alone, with their content.

void CollectParts(GMimeObject* obj, MessageRecord::Parsed& p, int depth, PartData withData)
{
    if (!obj || depth > 64)
        return;
    if (GMIME_IS_MULTIPART(obj)) {
        GMimeMultipart* mp = GMIME_MULTIPART(obj);
        const int n = g_mime_multipart_get_count(mp);
        for (int i = 0; i < n; ++i)
            CollectParts(g_mime_multipart_get_part(mp, i), p, depth + 1, withData);
        return;
    }
    GMimeContentType* ct = g_mime_object_get_content_type(obj);
    GMimeContentDisposition* cd = g_mime_object_get_content_disposition(obj);
    const QByteArray disposition =
        cd ? QByteArray(g_mime_content_disposition_get_disposition(cd)) : QByteArray();
    QString fileName;
    if (GMIME_IS_PART(obj)) {
        const char* fn = g_mime_part_get_filename(GMIME_PART(obj));
        fileName = QString::fromUtf8(fn ? fn : "");
    } else {
        const char* fn = cd ? ParamValue(g_mime_content_disposition_get_parameters(cd), "filename")
                            : nullptr;
        if (!fn && ct)
            fn = g_mime_content_type_get_parameter(ct, "name");
        fileName = QString::fromUtf8(fn ? fn : "");
    }
    const QByteArray type = MimeType(ct);
    const bool isText = GMIME_IS_PART(obj) && type.startsWith("text/") && fileName.isEmpty() &&
                        disposition.trimmed().toLower() != "attachment";
    if (withData == PartData::TextOnly && !isText)
        return;
    QByteArray data;
    if (withData != PartData::None) {
        GMimeStream* mem = g_mime_stream_mem_new();
        if (GMIME_IS_PART(obj)) {
            GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(obj));
            if (content)
                g_mime_data_wrapper_write_to_stream(content, mem);
        } else if (GMIME_IS_MESSAGE_PART(obj)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(obj));
            if (inner)
                g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, mem);
        }
        data = StreamBytes(mem);
        g_object_unref(mem);
    }

    if (isText) {
        vm::TextPart t;
        t.contentType = type;
        const char* cs = ct ? g_mime_content_type_get_parameter(ct, "charset") : nullptr;
        t.charset = QByteArray(cs ? cs : "").trimmed();
        t.data = std::move(data);
        p.textCharsets.append(t.charset);
        p.textParts.append(std::move(t));
        return;
    }
    vm::AttachmentPart a;
    a.contentType = type;
    a.fileName = fileName;
    a.disposition = disposition;
    if (GMIME_IS_PART(obj)) {
        const char* id = g_mime_part_get_content_id(GMIME_PART(obj));
        a.contentId = QByteArray(id ? id : "");
        const char* loc = g_mime_part_get_content_location(GMIME_PART(obj));
        a.contentLocation = QByteArray(loc ? loc : "");
    } else {
        const char* id = g_mime_object_get_content_id(obj);
        a.contentId = QByteArray(id ? id : "");
        const char* loc = g_mime_object_get_header(obj, "Content-Location");
        a.contentLocation = QByteArray(loc ? loc : "").trimmed();
    }
    a.headerLines = ObjectHeaderLines(obj);
    a.data = std::move(data);
    p.attachments.append(std::move(a));
}

void ParseMime(const QByteArray& raw, MessageRecord::Parsed& p,
               PartData withData = PartData::All)
{
    InitGMime();
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.constData(), raw.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_mime_parser_set_format(parser, GMIME_FORMAT_MESSAGE);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
    if (msg) {
        CollectParts(g_mime_message_get_mime_part(msg), p, 0, withData);
        g_object_unref(msg);
    }
    g_object_unref(parser);
    g_object_unref(stream);
}

double ParseDate(const QByteArray& value)
{
    if (value.trimmed().isEmpty())
        return 0;
    InitGMime();
    GDateTime* dt = g_mime_utils_header_decode_date(value.constData());
    if (!dt)
        return 0;
    const qint64 secs = g_date_time_to_unix(dt);
    g_date_time_unref(dt);
    // The local date and time of day straight from the C library, as the
    // day count conversion would take them: converting through QDateTime
    // rereads the time zone file for every message.
    const std::time_t t = static_cast<std::time_t>(secs);
    std::tm tm{};
    if (qint64(t) != secs || !localtime_r(&t, &tm))
        return vm::ToDays(QDateTime::fromSecsSinceEpoch(secs).toLocalTime());
    static const QDate kDayZero(1899, 12, 30);
    const double days =
        double(kDayZero.daysTo(QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday)));
    const double ms = double((tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) * 1000);
    constexpr double kMsPerDay = 86400000.0;
    return days >= 0 ? days + ms / kMsPerDay : days - ms / kMsPerDay;
}

void ReadTopContentType(MessageRecord::Parsed& p)
{
    const QByteArray value = FirstField(p, "content-type");
    if (value.isEmpty())
        return;
    InitGMime();
    GMimeContentType* ct = g_mime_content_type_parse(nullptr, value.constData());
    if (!ct)
        return;
    p.contentType = MimeType(ct);
    const char* cs = g_mime_content_type_get_parameter(ct, "charset");
    p.contentTypeCharset = QByteArray(cs ? cs : "").trimmed();
    g_object_unref(ct);
}

// Text of the raw header lines for a field, reading for each occurrence only
// its first line.
QList<QByteArray> FirstLineTexts(const MessageRecord::Parsed& p, const QByteArray& lowerName,
                                 bool firstOnly)
{
    QList<QByteArray> out;
    for (const QByteArray& line : p.headerLines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || IsWsp(line[0]))
            continue;
        if (line.left(colon).trimmed().toLower() != lowerName)
            continue;
        out.append(line.mid(colon + 1));
        if (firstOnly)
            break;
    }
    return out;
}

bool HasEightBitBytes(const QByteArray& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Whether [begin, end) holds `lower` (a lower-case ASCII text) in any letter case.
bool ContainsNoCase(const char* begin, const char* end, const char* lower)
{
    const std::size_t n = std::strlen(lower);
    for (const char* p = begin; std::size_t(end - p) >= n; ++p) {
        std::size_t k = 0;
        while (k < n && LowerAscii(p[k]) == lower[k])
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

// Whether a header line of the message or of one of its MIME parts holds one
// of the markers (lower case, compared in any letter case). Part headers
// follow a line starting with "--" (a boundary) and end at the next empty
// line; the search covers every such block, so it never misses a part header
// the MIME parser reads, while the bodies between them are skipped.
bool HeaderLinesContain(const QByteArray& raw, std::initializer_list<const char*> markers)
{
    const char* p = raw.constData();
    const char* const end = p + raw.size();
    bool inHeader = true;
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        const char* lineEnd = nl ? nl : end;
        if (lineEnd > p && lineEnd[-1] == '\r')
            --lineEnd;
        if (inHeader) {
            if (lineEnd == p) {
                inHeader = false;
            } else {
                for (const char* m : markers)
                    if (ContainsNoCase(p, lineEnd, m))
                        return true;
            }
        } else if (lineEnd - p >= 2 && p[0] == '-' && p[1] == '-') {
            inHeader = true;
        }
        p = nl ? nl + 1 : end;
    }
    return false;
}

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

// The header fields of the parsed record, read from the header block.
void ReadHeaderFields(const QByteArray& raw, MessageRecord::Parsed& p)
{
    ReadHeaderBlock(raw, p);
    p.subject = FirstField(p, "subject");
    p.from = AllAddresses(p, "from");
    if (p.from.size() > 1)
        p.from = p.from.mid(0, 1);
    p.to = AllAddresses(p, "to");
    p.cc = AllAddresses(p, "cc");
    p.replyTo = AllAddresses(p, "reply-to");
    p.messageId = FirstField(p, "message-id");
    const QList<vm::MailAddress> dnt =
        vm::ParseAddressList(FirstField(p, "disposition-notification-to"));
    if (!dnt.isEmpty())
        p.dispositionNotificationTo = dnt.first().address;
    ReadTopContentType(p);
}

// The value FirstField gives for lowerName after ReadHeaderBlock, read
// straight from the raw text without splitting the whole header block:
// the same lines, the same unfolding, the same lines left out.
QByteArray FirstHeaderValue(const QByteArray& raw, QByteArrayView lowerName)
{
    qsizetype pos = 0;
    bool first = true;
    bool inField = false; // a field is open; continuation lines extend it
    bool wanted = false;  // the open field is the one asked for
    QByteArray value;
    while (pos < raw.size()) {
        qsizetype eol = raw.indexOf('\n', pos);
        const qsizetype next = eol < 0 ? raw.size() : eol + 1;
        if (eol < 0)
            eol = raw.size();
        if (eol > pos && raw[eol - 1] == '\r')
            --eol;
        const QByteArrayView line(raw.constData() + pos, eol - pos);
        pos = next;
        if (line.isEmpty())
            break;
        if (first && line.startsWith("From ")) {
            first = false;
            continue;
        }
        first = false;
        if (IsWsp(line[0])) {
            if (inField && wanted)
                value += line;
            continue;
        }
        if (inField && wanted)
            return value.trimmed();
        inField = false;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue; // not a header line; it ends the field before it
        wanted = line.first(colon).trimmed().compare(lowerName, Qt::CaseInsensitive) == 0;
        inField = true;
        if (wanted)
            value = line.sliced(colon + 1).toByteArray();
    }
    return inField && wanted ? value.trimmed() : QByteArray();
}

} // namespace

// ---------------------------------------------------------------------------

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

// --- attachments -------------------------------------------------------------


namespace {

// Reads parameter `param` (exactly, any letter case) from an unfolded header
// value "type; a=b; name=\"x\"". Sets rfc2231 when the parameter is written
// in the extended form (name*= or name*0=), whose value the parser decodes.
bool FindParameter(const QByteArray& value, const QByteArray& param, QByteArray& out,
                   bool& rfc2231)
{
    bool found = false;
    qsizetype i = value.indexOf(';');
    while (i >= 0 && i < value.size()) {
        ++i; // after ';'
        while (i < value.size() && (IsWsp(value[i]) || value[i] == '\r' || value[i] == '\n'))
            ++i;
        const qsizetype eq = value.indexOf('=', i);
        if (eq < 0)
            break;
        const QByteArray key = value.mid(i, eq - i).trimmed().toLower();
        i = eq + 1;
        while (i < value.size() && IsWsp(value[i]))
            ++i;
        QByteArray v;
        if (i < value.size() && value[i] == '"') {
            ++i;
            while (i < value.size() && value[i] != '"') {
                if (value[i] == '\\' && i + 1 < value.size())
                    ++i;
                v.append(value[i]);
                ++i;
            }
            if (i < value.size())
                ++i; // closing quote
            i = value.indexOf(';', i);
        } else {
            const qsizetype semi = value.indexOf(';', i);
            v = value.mid(i, semi < 0 ? -1 : semi - i).trimmed();
            i = semi;
        }
        if (key == param) {
            out = v;
            rfc2231 = false;
            found = true;
        } else if (key.startsWith(param + '*')) {
            out.clear();
            rfc2231 = true;
            found = true;
        }
    }
    return found;
}

} // namespace

QString AttachmentDisplayName(const AttachmentPart& part)
{
    // Unfold the part's own header lines; the later of Content-Type's name
    // and Content-Disposition's filename wins.
    QByteArray candidate;
    bool rfc2231 = false;
    bool found = false;
    QByteArray current;
    auto consider = [&](const QByteArray& field) {
        const qsizetype colon = field.indexOf(':');
        if (colon <= 0)
            return;
        const QByteArray name = field.left(colon).trimmed().toLower();
        const QByteArray value = field.mid(colon + 1);
        QByteArray v;
        bool ext = false;
        if (name == "content-type" && FindParameter(value, "name", v, ext)) {
            candidate = v;
            rfc2231 = ext;
            found = true;
        } else if (name == "content-disposition" && FindParameter(value, "filename", v, ext)) {
            candidate = v;
            rfc2231 = ext;
            found = true;
        }
    };
    for (const QByteArray& line : part.headerLines) {
        if (line.isEmpty())
            break;
        if (IsWsp(line[0])) {
            current += line;
            continue;
        }
        consider(current);
        current = line;
    }
    consider(current);

    if (!found || rfc2231 || candidate.isEmpty())
        return part.fileName;
    if (EncodedWordCharset(candidate) != 0 || candidate.contains("=?"))
        return DecodeHeaderText(candidate, QByteArray());
    // Plain bytes: UTF-8 when they are valid UTF-8, else the incoming default.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString s = utf8.decode(candidate);
    if (!utf8.hasError())
        return s;
    return BytesToUnicode(candidate, 0);
}

bool IsVisibleAttachment(const AttachmentPart& part)
{
    const QByteArray disp = part.disposition.trimmed().toLower();
    const bool inlineOrNone = disp.isEmpty() || disp.contains("inline");
    const bool embedded = !part.contentId.isEmpty() || !part.contentLocation.isEmpty();
    if (inlineOrNone && embedded)
        return false;
    // A part its sender marked as an attachment, and an attached message,
    // count with or without a name (they are saved as "attachment" and
    // "message.eml").
    if (disp.startsWith("attachment") || part.contentType == "message/rfc822")
        return true;
    return !(part.fileName.isEmpty() && AttachmentDisplayName(part).isEmpty());
}

} // namespace vm
