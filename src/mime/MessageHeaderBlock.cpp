#include "mime/MessageParsing.h"

#include <cstring>

namespace vm {

namespace {

// Splits off the header block: physical lines (without line ends) up to the
// first empty line. A leading mbox "From " line is not a header and is left
// out of the fields.
void ReadHeaderBlock(const QByteArray& raw, ParsedMessage& p)
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

QList<vm::MailAddress> AllAddresses(const ParsedMessage& p, const QByteArray& lowerName)
{
    QList<vm::MailAddress> out;
    for (const auto& f : p.fields)
        if (f.first == lowerName)
            out += vm::ParseAddressList(f.second);
    return out;
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

} // namespace

bool IsWsp(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray FirstField(const ParsedMessage& p, const QByteArray& lowerName)
{
    for (const auto& f : p.fields)
        if (f.first == lowerName)
            return f.second;
    return {};
}

QList<QByteArray> FirstLineTexts(const ParsedMessage& p, const QByteArray& lowerName,
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

void ReadHeaderFields(const QByteArray& raw, ParsedMessage& p)
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

} // namespace vm
