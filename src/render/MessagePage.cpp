#include "render/MessagePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <functional>
#include <unistd.h>

#include "mime/ByteSearch.h"
#include "mime/Charsets.h"
#include "mime/MessageRecord.h"
#include "mime/SafeFileName.h"

namespace vm {

namespace page {

const QByteArray kStart = "<?xml version=\"1.0\" ?>"
                          "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                          "\"DTD/xhtml1-transitional.dtd\">"
                          "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"\" lang=\"\">"
                          "<head><meta http-equiv=\"Content-type\" content=\"text/html; charset=";
const QByteArray kHeadEnd = "\" /><title></title></head><body style='font-size:12pt'>";
const QByteArray kEnd = "</body></html>";
const QByteArray kPartSeparator = "<br /><hr></hr><br />";

QByteArray PictureLine(const QByteArray& path)
{
    return "<hr></hr><p style='text-align:center'><img src=\"" + path + "\" /></p>";
}

QByteArray NoticeParagraph(const QByteArray& utf8Text)
{
    return "<p style='font-family:arial;font-size:11pt;color:#B0B0B0;text-align:center;"
           "font-weight:bold'><br />" +
           utf8Text + "</p>";
}

} // namespace page

namespace {

// Names of the files saved beside the page: picture-preview files start
// with "_", inline parts with "__".
const QString kPicturePrefix = QStringLiteral("_");
const QString kInlinePrefix = QStringLiteral("__");
// Longest charset name written into a page.
constexpr qsizetype kMaxCharsetName = 64;
// Longest file name saved beside a page, in bytes (file systems allow 255).
constexpr qsizetype kMaxNameBytes = 240;

// The lines of a part's text: split at LF, a CR before it dropped; a final
// line break ends the last line and starts no new one.
QList<QByteArray> SplitLines(const QByteArray& data)
{
    QList<QByteArray> lines;
    qsizetype from = 0;
    const qsizetype n = data.size();
    while (from < n) {
        qsizetype nl = data.indexOf('\n', from);
        const qsizetype next = nl < 0 ? n : nl + 1;
        if (nl < 0)
            nl = n;
        qsizetype end = nl;
        if (end > from && data[end - 1] == '\r' && nl < n)
            --end;
        lines.append(data.mid(from, end - from));
        from = next;
    }
    return lines;
}

// Whether text holds lower (lower-case ASCII) in any letter case.
bool ContainsNoCase(const QByteArray& text, const char* lower)
{
    return FindBytes(text, 0, QByteArrayView(lower), true) >= 0;
}

bool AnyLineContainsNoCase(const QList<QByteArray>& lines, const char* lower)
{
    return std::any_of(lines.begin(), lines.end(),
                       [lower](const QByteArray& l) { return ContainsNoCase(l, lower); });
}

// The name a browser knows a charset by. The program's charset table names
// the Windows code pages "Windows1250" and so on, which browsers do not
// recognise (a page labelled so would be read as Latin-1 whatever it is);
// they know them as "windows-1250".
QByteArray BrowserCharsetLabel(const QByteArray& name)
{
    const QByteArray lower = name.toLower();
    if (lower.size() == 11 && lower.startsWith("windows") &&
        std::all_of(lower.begin() + 7, lower.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return "windows-" + lower.mid(7);
    return name;
}

QByteArray DefaultCharsetName()
{
    return BrowserCharsetLabel(CharsetName(DefaultIncomingCharset()).toLatin1());
}

// The charset name for the page's meta element and the text: the message's
// when it is a plain charset token, else the incoming default. The name goes
// into an attribute of the page, so nothing else a message writes there
// may reach it.
QByteArray PageCharset(const QByteArray& fromMessage)
{
    const QByteArray name = fromMessage.trimmed();
    if (name.isEmpty() || name.size() > kMaxCharsetName)
        return DefaultCharsetName();
    for (const char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == ':' || c == '+' ||
                           c == '-';
        if (!plain)
            return DefaultCharsetName();
    }
    return BrowserCharsetLabel(name);
}

// A picture written into the page: a "data:" address of the part's bytes
// in base64, labelled with its type when that is a plain "type/subtype"
// (nothing a message writes there can leave the attribute it stands in).
QByteArray DataAddress(const AttachmentPart& part)
{
    const QByteArray& type = part.contentType;
    const qsizetype slash = type.indexOf('/');
    bool plain = slash > 0 && slash < type.size() - 1 && type.size() <= 100;
    for (qsizetype i = 0; plain && i < type.size(); ++i) {
        const char c = type[i];
        plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '+' ||
                c == '-' || (c == '/' && i == slash);
    }
    return "data:" + (plain ? type : QByteArray("application/octet-stream")) + ";base64," +
           part.data.toBase64();
}

// Decides which pictures go into the page itself: parts of an image type,
// each of at most the option's size, until the page's budget is spent.
class PagePictures
{
public:
    explicit PagePictures(qsizetype limit) : limit_(limit) {}

    // The part's "data:" address when it goes into the page, else empty.
    // A part asked for twice (picture block and "cid:" reference) gets the
    // same address and is counted once.
    QByteArray AddressOf(const AttachmentPart& part)
    {
        if (const auto it = given_.constFind(&part); it != given_.cend())
            return it.value();
        const qsizetype size = part.data.size();
        if (size > limit_ || size > budget_ || !part.contentType.toLower().contains("image"))
            return {};
        budget_ -= size;
        const QByteArray address = DataAddress(part);
        given_.insert(&part, address);
        return address;
    }

private:
    qsizetype limit_;
    qsizetype budget_ = kPagePictureBudget;
    QHash<const AttachmentPart*, QByteArray> given_;
};

// A saved file's path as the page refers to it: percent-encoded, so that a
// name with "#", "?", "%" or blanks loads the file it names and nothing in
// it can leave the attribute it stands in.
QByteArray PageReference(const QString& path)
{
    return QUrl::toPercentEncoding(path, "/");
}

// Shortens name to at most maxBytes of UTF-8, keeping a short extension.
QString CutToBytes(QString name, qsizetype maxBytes)
{
    if (name.toUtf8().size() <= maxBytes)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = (dot > 0 && name.size() - dot <= 16) ? name.mid(dot) : QString();
    QString base = name.left(name.size() - ext.size());
    const qsizetype room = maxBytes - ext.toUtf8().size();
    while (!base.isEmpty() && base.toUtf8().size() > room) {
        base.chop(1);
        if (!base.isEmpty() && base.back().isHighSurrogate())
            base.chop(1);
    }
    return base + ext;
}

// The plain file name for a part: its name reduced by SafeFileName, or
// "part" with the type's subtype as extension when that leaves nothing.
QString PartFileName(const AttachmentPart& part)
{
    const QString name = SafeFileName(AttachmentDisplayName(part));
    if (!name.isEmpty())
        return CutToBytes(name, kMaxNameBytes - 16);
    const QByteArray sub = part.contentType.mid(part.contentType.indexOf('/') + 1);
    const bool plainSub =
        !sub.isEmpty() && sub.size() <= 10 && std::all_of(sub.begin(), sub.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        });
    return plainSub ? QStringLiteral("part.") + QString::fromLatin1(sub) : QStringLiteral("part");
}

// Saves parts into one folder, never over an existing file: a name already
// taken (by an earlier part, or by the other view writing into the same
// folder) gets " (2)", " (3)" ... before its extension.
class PartSaver
{
public:
    explicit PartSaver(QString folder) : dir_(std::move(folder)) {}

    // The saved file's path; empty when it could not be saved. With
    // sameData, a file saved before with the same bytes, the new name is a
    // hard link to it where the file system allows (no second copy).
    QString Save(const QString& prefix, const QString& name, const QByteArray& data,
                 const QString& sameData = QString())
    {
        const QString key = prefix + name;
        int& next = next_[key];
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString base = dot > 0 ? name.left(dot) : name;
        const QString ext = dot > 0 ? name.mid(dot) : QString();
        for (int tries = 0; tries < 100; ++tries) {
            ++next;
            const QString candidate =
                next == 1 ? key : prefix + base + QStringLiteral(" (%1)").arg(next) + ext;
            const QString path = dir_.filePath(candidate);
            if (!sameData.isEmpty() && ::link(QFile::encodeName(sameData).constData(),
                                              QFile::encodeName(path).constData()) == 0)
                return path;
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                           QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
                const QFileInfo info(path);
                if (info.exists() || info.isSymLink())
                    continue;
                return {};
            }
            if (file.write(data) != data.size() || !file.flush()) {
                file.close();
                file.remove();
                return {};
            }
            file.close();
            return path;
        }
        return {};
    }

private:
    QDir dir_;
    QHash<QString, int> next_;
};

// Writes lines, each followed by CR LF, to a new file readable by its owner
// only. False when the file could not be written completely.
class PageFile
{
public:
    explicit PageFile(const QString& path) : file_(path)
    {
        ok_ = file_.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                         QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        buffer_.reserve(kFlushBytes + 64 * 1024);
    }

    void Line(const QByteArray& text)
    {
        if (!ok_)
            return;
        buffer_ += text;
        buffer_ += "\r\n";
        if (buffer_.size() >= kFlushBytes)
            Flush();
    }

    // A plain text line converted to HTML (ConvertPlainLine).
    void PlainLine(const QByteArray& text)
    {
        if (!ok_)
            return;
        AppendPlainLineAsHtml(buffer_, text);
        buffer_ += "\r\n";
        if (buffer_.size() >= kFlushBytes)
            Flush();
    }

    bool Finish()
    {
        Flush();
        if (!file_.isOpen())
            return false;
        ok_ = file_.flush() && ok_;
        file_.close();
        return ok_;
    }

private:
    static constexpr qsizetype kFlushBytes = 256 * 1024;

    void Flush()
    {
        if (ok_ && !buffer_.isEmpty())
            ok_ = file_.write(buffer_) == buffer_.size();
        buffer_.resize(0); // keeps the room for the next lines
    }

    QFile file_;
    QByteArray buffer_;
    bool ok_ = false;
};

// The "cid:" references of the saved inline parts and the files that take
// their place. Each line is read once. The id after a "cid:" runs up to the
// first character that never stands in a Content-ID (blanks and controls,
// double quotes, angle and round brackets, backslash, comma, semicolon and
// colon). That run is looked up; when it is no id, its part before the last
// and then before the first "'" or "&" (they may stand in an id, but in
// markup they also close a quoted attribute or start an entity). Each is
// tried as it stands, then percent-decoded (RFC 2392). So every reference
// costs a fixed number of lookups, "cid:a" never cuts into "cid:ab", and the
// first part saved with an id keeps it.
class InlineReferences
{
public:
    void Add(const QByteArray& id, const QByteArray& reference)
    {
        if (!byId_.contains(id))
            byId_.insert(id, reference);
    }

    void ReplaceIn(QList<QByteArray>& lines) const
    {
        if (byId_.isEmpty())
            return;
        for (QByteArray& line : lines) {
            qsizetype at = line.indexOf("cid:");
            if (at < 0)
                continue;
            QByteArray out;
            qsizetype from = 0;
            while (at >= 0) {
                const qsizetype begin = at + 4;
                qsizetype end = begin;
                qsizetype firstSoft = -1, lastSoft = -1; // "'" or "&" in the run
                for (; end < line.size() && !EndsReference(line.at(end)); ++end) {
                    if (line.at(end) == '\'' || line.at(end) == '&') {
                        if (firstSoft < 0)
                            firstSoft = end;
                        lastSoft = end;
                    }
                }
                // Longest first: the whole run, up to its last and up to its
                // first "'" or "&".
                qsizetype matched = end;
                const QByteArray* reference = Find(line, begin, end);
                for (const qsizetype soft : {lastSoft, firstSoft}) {
                    if (reference || soft <= begin)
                        continue;
                    matched = soft;
                    reference = Find(line, begin, soft);
                }
                qsizetype next;
                if (reference) {
                    out.append(line.constData() + from, at - from);
                    out += *reference;
                    from = next = matched;
                } else {
                    // The run holds no colon, so another "cid:" can only
                    // start in its last three bytes ("cid:cid:a"): every byte
                    // is still looked at a bounded number of times.
                    next = std::max(begin, end - 3);
                }
                at = line.indexOf("cid:", next);
            }
            if (from > 0) {
                out.append(line.constData() + from, line.size() - from);
                line = out;
            }
        }
    }

private:
    static bool EndsReference(char c)
    {
        const auto b = static_cast<unsigned char>(c);
        return b <= ' ' || b == 0x7F || std::strchr("\"<>()\\,;:", c) != nullptr;
    }

    const QByteArray* Find(const QByteArray& line, qsizetype begin, qsizetype end) const
    {
        if (end <= begin)
            return nullptr;
        const QByteArray id = QByteArray::fromRawData(line.constData() + begin, end - begin);
        auto it = byId_.constFind(id);
        if (it == byId_.cend() && id.contains('%'))
            it = byId_.constFind(QByteArray::fromPercentEncoding(id));
        return it == byId_.cend() ? nullptr : &it.value();
    }

    QHash<QByteArray, QByteArray> byId_;
};

bool HasParts(const MessageRecord& message)
{
    return message.ContentType().startsWith("multipart/");
}

// The body of a message without parts: its one leaf.
QByteArray SinglePartBody(const MessageRecord& message)
{
    if (!message.TextParts().isEmpty())
        return message.TextParts().first().data;
    if (!message.Attachments().isEmpty())
        return message.Attachments().first().data;
    return {};
}

void AppendLines(QList<QByteArray>& lines, const QByteArray& data)
{
    lines.append(SplitLines(data));
}

} // namespace

bool IsHtmlMessage(const MessageRecord& message)
{
    if (!HasParts(message))
        return message.ContentType().toLower().contains("text/html");
    const QList<TextPart>& parts = message.TextParts();
    return std::any_of(parts.begin(), parts.end(), [](const TextPart& p) {
        return p.contentType.toLower().contains("text/html");
    });
}

CollectedText CollectText(const MessageRecord& message, bool htmlPreview)
{
    CollectedText out;
    if (message.HoldingState() != MessageRecord::Holding::Whole)
        return out;
    if (!HasParts(message)) {
        if (htmlPreview || message.ContentType().toLower() == "text/plain")
            AppendLines(out.lines, SinglePartBody(message));
        out.charset = message.ContentTypeCharset();
        return out;
    }
    const bool html = htmlPreview && IsHtmlMessage(message);
    const QByteArray wanted = html ? "text/html" : "text/plain";
    for (const TextPart& part : message.TextParts()) {
        out.charset = part.charset;
        if (!part.contentType.toLower().contains(wanted))
            continue;
        if (htmlPreview && !html && !out.lines.isEmpty())
            out.lines.append(page::kPartSeparator);
        AppendLines(out.lines, part.data);
    }
    return out;
}

MessagePageWriter::MessagePageWriter(QString folder, QString pageFileName)
    : folder_(std::move(folder)), pageFileName_(std::move(pageFileName))
{
}

MessagePageWriter::~MessagePageWriter()
{
    DeletePageFiles();
}

QString MessagePageWriter::PageFilePath() const
{
    return folder_.isEmpty() ? QString() : QDir(folder_).filePath(pageFileName_);
}

QStringList MessagePageWriter::InlineFiles() const
{
    return inlineFiles_;
}

QStringList MessagePageWriter::PictureFiles() const
{
    return pictureFiles_;
}

void MessagePageWriter::DeletePageFiles()
{
    for (const QString& f : std::as_const(inlineFiles_))
        QFile::remove(f);
    for (const QString& f : std::as_const(pictureFiles_))
        QFile::remove(f);
    inlineFiles_.clear();
    pictureFiles_.clear();
    if (!folder_.isEmpty())
        QFile::remove(PageFilePath());
}

RenderedPage MessagePageWriter::Render(const MessageRecord& message, const PageOptions& options)
{
    DeletePageFiles();
    RenderedPage result;
    const bool html = IsHtmlMessage(message);
    CollectedText text = CollectText(message, options.htmlPreview);
    result.charset = PageCharset(text.charset);

    if (!options.htmlPreview) {
        result.plainText = DecodeWithCharset(text.lines.join("\r\n"), result.charset);
        return result;
    }
    result.html = true;
    // Without a folder nothing is written (never into the working directory).
    if (folder_.isEmpty())
        return result;
    PartSaver saver(folder_);
    PagePictures inPage(options.pagePictureBytes);

    QList<QByteArray> pictureBlock;
    QHash<const AttachmentPart*, QString> savedPicture; // parts saved for the picture block
    if (options.graphicsPreview) {
        pictureBlock.append("<br />");
        for (const AttachmentPart& part : message.Attachments()) {
            if (!part.contentType.toLower().contains("image"))
                continue;
            const QByteArray address = inPage.AddressOf(part);
            if (!address.isEmpty()) {
                pictureBlock.append(page::PictureLine(address));
                continue;
            }
            const QString path = saver.Save(kPicturePrefix, PartFileName(part), part.data);
            if (path.isEmpty())
                continue;
            savedPicture.insert(&part, path);
            pictureFiles_.append(path);
            pictureBlock.append(page::PictureLine(PageReference(path)));
        }
    }

    QList<QByteArray>& lines = text.lines;
    bool ownFrame = false;
    if (html) {
        // Inline parts, and their "cid:" references replaced by the saved
        // files.
        InlineReferences references;
        for (const AttachmentPart& part : message.Attachments()) {
            if (part.contentId.isEmpty())
                continue;
            QByteArray reference = inPage.AddressOf(part);
            if (reference.isEmpty()) {
                const QString path = saver.Save(kInlinePrefix, PartFileName(part), part.data,
                                                savedPicture.value(&part));
                if (path.isEmpty())
                    continue;
                inlineFiles_.append(path);
                reference = PageReference(path);
            }
            QByteArray id = part.contentId;
            if (id.startsWith('<'))
                id.remove(0, 1);
            if (id.endsWith('>'))
                id.chop(1);
            references.Add(id, reference);
        }
        references.ReplaceIn(lines);
        ownFrame = !lines.isEmpty() && AnyLineContainsNoCase(lines, "charset") &&
                   AnyLineContainsNoCase(lines, "<body>");
    }

    // An HTML message without text names no charset.
    if (html && lines.isEmpty())
        result.charset.clear();
    PageFile page(PageFilePath());
    if (!ownFrame)
        page.Line(page::kStart + result.charset + page::kHeadEnd);
    if (html) {
        for (const QByteArray& line : std::as_const(lines))
            page.Line(line);
    } else {
        for (const QByteArray& line : std::as_const(lines))
            page.PlainLine(line);
    }
    for (const QByteArray& line : std::as_const(pictureBlock))
        page.Line(line);
    if (!ownFrame)
        page.Line(page::kEnd);
    result.written = page.Finish();
    return result;
}

bool MessagePageWriter::WriteNotice(const QString& text)
{
    DeletePageFiles();
    if (folder_.isEmpty())
        return false;
    PageFile page(PageFilePath());
    page.Line(page::kStart + "utf-8" + page::kHeadEnd);
    page.Line(page::NoticeParagraph(text.toHtmlEscaped().toUtf8()));
    return page.Finish();
}

bool MessagePageWriter::WriteHeaderSummary(const QList<QPair<QString, QString>>& fields,
                                           const QString& note)
{
    DeletePageFiles();
    if (folder_.isEmpty())
        return false;
    PageFile page(PageFilePath());
    page.Line(page::kStart + "utf-8" + page::kHeadEnd);
    page.Line("<table style='font-family:arial;font-size:10pt;border-spacing:6px 2px'>");
    for (const auto& [label, value] : fields)
        page.Line("<tr><td style='color:#606060;font-weight:bold;vertical-align:top'>" +
                  label.toHtmlEscaped().toUtf8() + "</td><td>" + value.toHtmlEscaped().toUtf8() +
                  "</td></tr>");
    page.Line("</table>");
    page.Line(page::NoticeParagraph(note.toHtmlEscaped().toUtf8()));
    page.Line(page::kEnd);
    return page.Finish();
}

} // namespace vm
