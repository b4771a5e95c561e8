#pragma once
// Formatted text to HTML: walks a QTextDocument paragraph by paragraph and
// character by character, writing each paragraph as <P> (or <LI> inside
// <UL> for bullets) with its alignment, and every change of font name,
// size, colour or style as a new <SPAN>. The result is a list of lines; the
// caller joins them with line breaks. Works without a window.

#include <QColor>
#include <QString>
#include <QStringList>

class QTextDocument;

namespace vm {

class RichTextToHtml
{
public:
    RichTextToHtml();

    // Lines written before and after the body; the defaults give a plain
    // HTML page with paragraph and list item margins of 0.
    QStringList header;
    QStringList footer;
    // Colour of text that has none of its own (the editor's text colour).
    QColor defaultColor = Qt::black;
    // Charset id (the program's table) the message goes out in: a character
    // it cannot hold is written as a numeric character reference.
    int charsetId = 12;

    // The document as HTML lines. Embedded objects (pasted images) are left
    // out; containsObjects tells whether there were any.
    QStringList Convert(const QTextDocument& document);
    bool containsObjects = false;

    // True when the document holds an embedded object (an image).
    static bool HasObjects(const QTextDocument& document);

private:
    struct FontInfo
    {
        QColor color;
        bool bold = false;
        bool italic = false;
        bool underline = false;
        bool strikeOut = false;
        QString family;
        int points = 0;
        bool operator==(const FontInfo&) const = default;
    };

    QString SpanOpening(const FontInfo& font);
    QString Escaped(char32_t c);

    QString endSection_;
    QString endParagraph_;
};

} // namespace vm
