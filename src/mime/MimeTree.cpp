#include "mime/MessageParsing.h"

#include "core/DateTime.h"

// GLib names a struct member "signals", which Qt defines as a keyword macro.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

#include <QDateTime>

#include <ctime>
#include <mutex>

namespace vm {

namespace {

void InitGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
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

// Fills the text parts and attachments of p from the MIME tree. With
// PartData::None the parts keep no content, which is all the attachment
// count and the text part charsets need, and saves decoding every body;
// PartData::TextOnly collects the text parts alone, with their content.
void CollectParts(GMimeObject* obj, ParsedMessage& p, int depth, PartData withData)
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

} // namespace

void ParseMime(const QByteArray& raw, ParsedMessage& p, PartData withData)
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

void ReadTopContentType(ParsedMessage& p)
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

} // namespace vm
