#pragma once
// Turns a parsed whole message into what the message view shows: an XHTML
// page file (HTML messages as they are, plain-text messages converted with
// line breaks, escaped markup and clickable links; inline "cid:" pictures
// and, when asked, attached pictures saved beside the page), or the plain
// text for the text box when HTML preview is off. No widgets: the preview
// pane, the details window and `velmora --show` share it.
//
// Small pictures go into the page itself as "data:" addresses (see
// PageOptions), so the page is one file and needs nothing beside it. Every
// other file a page writes lives in one folder (the program's private
// temporary folder); names taken from the message are reduced to plain file
// names there (SafeFileName, at most 240 bytes, "part" when nothing is left),
// so nothing a message says can write outside it. Files are created new and
// readable by their owner only; a name already taken, by an earlier part or
// by the other view writing into the same folder, gets " (2)", " (3)" ...
// before its extension, so no file is overwritten. The page refers to saved
// files by their percent-encoded path, so any name loads. The charset name
// written into the page's meta element is the message's only when it is a
// plain token (letters, digits, ". _ : + -", at most 64), else the incoming
// default's name.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "render/PlainTextToHtml.h" // ConvertPlainLine

namespace vm {

class MessageRecord;

// The fixed texts pages are made of, byte for byte.
namespace page {
extern const QByteArray kStart;          // XML declaration ... "charset=" (name follows)
extern const QByteArray kHeadEnd;        // "\" /><title></title></head><body style='font-size:12pt'>"
extern const QByteArray kEnd;            // "</body></html>"
extern const QByteArray kPartSeparator;  // "<br /><hr></hr><br />"
QByteArray PictureLine(const QByteArray& path);
QByteArray NoticeParagraph(const QByteArray& utf8Text);
} // namespace page

// Pictures up to this size are written into the page itself by default.
constexpr qsizetype kPagePictureBytes = 256 * 1024;
// At most this much picture data goes into one page; later pictures are
// written as files.
constexpr qsizetype kPagePictureBudget = 4 * 1024 * 1024;

struct PageOptions
{
    bool htmlPreview = true;     // DHTMLPreview
    bool graphicsPreview = true; // GraphicsPreview
    // Pictures (inline "cid:" parts and attached pictures) of at most this
    // many bytes are written into the page as "data:" addresses instead of
    // files beside it, up to kPagePictureBudget per page: a newsletter's
    // twenty small pictures then cost no file at all. 0 writes every
    // picture as a file.
    qsizetype pagePictureBytes = kPagePictureBytes;
};

// True when the message is shown as HTML: a message without parts whose
// type contains "text/html", or one with a non-attachment part of that type.
bool IsHtmlMessage(const MessageRecord& message);

// The text lines to show and their charset (the last text part's; empty when
// none was found, the caller then uses the incoming default). Only for whole
// messages; a headers-only record gives nothing.
struct CollectedText
{
    QList<QByteArray> lines;
    QByteArray charset;
};
CollectedText CollectText(const MessageRecord& message, bool htmlPreview);

// What a rendering produced.
struct RenderedPage
{
    bool html = false;      // true: pageFile was written; false: plainText is meant
    bool written = false;   // the page file was written completely
    QString plainText;      // the text box's text (HTML preview off)
    QByteArray charset;     // the charset used for the text
};

// Writes the pages of one message view into a folder under a fixed page
// file name ("message1.html" for the preview, "message2.html" for the
// details window) and keeps track of the files it saved beside them.
class MessagePageWriter
{
public:
    MessagePageWriter(QString folder, QString pageFileName);
    ~MessagePageWriter(); // deletes its files

    // Deletes the old files, then renders message (parsed whole, or a
    // headers-only record which gives an empty text) with the options. A
    // message that names no charset is read in the incoming default
    // (DefaultIncomingCharset). Never parses: the caller parses the record
    // once before. With an empty folder nothing is written.
    RenderedPage Render(const MessageRecord& message, const PageOptions& options);
    // The notice page (two lines, no page end) with the text in UTF-8.
    bool WriteNotice(const QString& text);
    // A page of header fields (label and value, escaped) and a note below
    // them, in UTF-8: what is known of a message held without its text.
    bool WriteHeaderSummary(const QList<QPair<QString, QString>>& fields, const QString& note);
    // Deletes the page file, the saved inline parts and the saved pictures.
    void DeletePageFiles();

    QString PageFilePath() const;
    QString Folder() const { return folder_; }
    // Files saved beside the page for the current rendering.
    QStringList InlineFiles() const;
    QStringList PictureFiles() const;

private:
    QString folder_;
    QString pageFileName_;
    QStringList inlineFiles_;
    QStringList pictureFiles_;
};

} // namespace vm
