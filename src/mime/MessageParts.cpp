#include "mime/MessageParts.h"

#include <QStringDecoder>

namespace vm {

namespace {

bool IsWsp(char c)
{
    return c == ' ' || c == '\t';
}

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
