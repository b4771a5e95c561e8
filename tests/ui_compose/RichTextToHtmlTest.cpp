// Formatted text to HTML: QTextDocument in, HTML lines out.

#include "ui/compose/RichTextToHtml.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>

#include <gtest/gtest.h>

#include <functional>

#include "ComposeFixtures.h"
#include "mime/Charsets.h"

using namespace vm;

namespace {

const QString kDefaultSpan =
    QStringLiteral("<SPAN style=\"color: #000000; font-size: 10pt; font-family: Arial;\">");

// A document in 10 pt Arial.
struct Doc
{
    Doc()
    {
        QFont f(QStringLiteral("Arial"));
        f.setPointSize(10);
        doc.setDefaultFont(f);
    }
    Doc& Text(const QString& text, const QTextCharFormat& format = {})
    {
        cursor.insertText(text, format);
        return *this;
    }
    Doc& Break()
    {
        cursor.insertBlock();
        return *this;
    }
    Doc& Align(Qt::Alignment a)
    {
        QTextBlockFormat f = cursor.blockFormat();
        f.setAlignment(a);
        cursor.setBlockFormat(f);
        return *this;
    }
    Doc& Bullets()
    {
        cursor.createList(QTextListFormat::ListDisc);
        return *this;
    }
    QTextDocument doc;
    QTextCursor cursor{&doc};
};

QTextCharFormat Bold()
{
    QTextCharFormat f;
    f.setFontWeight(QFont::Bold);
    return f;
}

// Body entries: the entries between the default span opening and the
// closing entries, joined with "|".
QString Body(const QStringList& lines)
{
    return lines.mid(3, lines.size() - 3 - 5).join(QLatin1Char('|'));
}

} // namespace

TEST(RichTextToHtmlTest, EmptyDocumentIsOneEmptyParagraph)
{
    vmtest::EnsureComposeApp();
    Doc d;
    RichTextToHtml conv;
    const QStringList expected{
        QStringLiteral("<HTML>\n<HEAD>\n</HEAD>\n<STYLE>\nP {margin: 0px;}\nLI {margin: "
                       "0px;}\n</STYLE>\n<BODY>\n"),
        QStringLiteral("<P ALIGN=\"LEFT\">"),
        kDefaultSpan,
        QStringLiteral("</SPAN>"),
        QStringLiteral("</P>"),
        QString(),
        QStringLiteral("</BODY>"),
        QStringLiteral("</HTML>")};
    EXPECT_EQ(conv.Convert(d.doc), expected);
}

TEST(RichTextToHtmlTest, ParagraphsSpansAndEscaping)
{
    vmtest::EnsureComposeApp();
    QTextCharFormat red;
    red.setForeground(QColor(0xC0, 0x10, 0x0A));
    QTextCharFormat boldUnderlined = Bold();
    boldUnderlined.setFontUnderline(true);
    QTextCharFormat big;
    big.setFontPointSize(18);
    big.setFontItalic(true);
    big.setFontStrikeOut(true);

    const QString centre = QStringLiteral("<P ALIGN=\"CENTER\">");
    const QString li = QStringLiteral("<LI ALIGN=\"LEFT\">");
    struct Case
    {
        const char* name;
        std::function<void(Doc&)> build;
        QString body; // Body() of the result
        QString closing = QStringLiteral("</P>");
    };
    const Case cases[] = {
        {"two left lines share a paragraph", [](Doc& d) { d.Text("one").Break().Text("two"); },
         "one|<BR>|two"},
        {"centred first line closes the initial paragraph",
         [](Doc& d) { d.Align(Qt::AlignHCenter).Text("mid"); },
         "</SPAN></P>" + centre + kDefaultSpan + "mid"},
        {"right alignment", [](Doc& d) { d.Align(Qt::AlignRight).Text("r"); },
         "</SPAN></P><P ALIGN=\"RIGHT\">" + kDefaultSpan + "r"},
        {"every bulleted line is its own item inside one list",
         [](Doc& d) { d.Text("x").Break().Bullets().Text("a").Break().Text("b"); },
         "x|</SPAN></P><UL>" + li + kDefaultSpan + "a|</SPAN></LI>" + li + kDefaultSpan + "b",
         "</LI></UL>"},
        {"a list ends before the next paragraph",
         [](Doc& d) {
             d.Bullets().Text("a").Break();
             d.cursor.currentList()->remove(d.cursor.block());
             QTextBlockFormat plain;
             plain.setIndent(0);
             d.cursor.setBlockFormat(plain);
             d.Text("p");
         },
         "</SPAN></P><UL>" + li + kDefaultSpan + "a|</SPAN></LI></UL><P ALIGN=\"LEFT\">" +
             kDefaultSpan + "p"},
        {"a bold word opens and closes a span",
         [&](Doc& d) { d.Text("a ").Text("bold", boldUnderlined).Text(" z"); },
         "a&#32;</SPAN><SPAN style=\"color: #000000; font-size: 10pt; font-family: "
         "Arial;\"><B><U>bold</U></B></SPAN>" +
             kDefaultSpan + "&#32;z"},
        {"colour, size, italic and strike-out", [&](Doc& d) { d.Text("c", red).Text("s", big); },
         "</SPAN><SPAN style=\"color: #C0100A; font-size: 10pt; font-family: Arial;\">c</SPAN>"
         "<SPAN style=\"color: #000000; font-size: 18pt; font-family: "
         "Arial;\"><I><STRIKE>s"},
        {"markup characters are references, blanks between words &#32;",
         [](Doc& d) { d.Text("<b> & \"q\""); }, "&#60;b&#62;&#32;&#38;&#32;&#34;q&#34;"},
        {"runs of blanks survive, also at the start of a line",
         [](Doc& d) { d.Text("a   b").Break().Text("  c"); },
         "a&#32;&#160;&#160;b|<BR>|&#160;&#160;c"},
        {"a line separator is a line of the paragraph",
         [](Doc& d) { d.Text(QStringLiteral("a\u2028b")); }, "a|<BR>|b"},
        {"non-ASCII as itself", [](Doc& d) { d.Text(QStringLiteral("Žluť €")); },
         QStringLiteral("Žluť&#32;€")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc d;
        c.build(d);
        RichTextToHtml conv;
        const QStringList lines = conv.Convert(d.doc);
        QString body = Body(lines);
        EXPECT_EQ(body, c.body);
        EXPECT_EQ(lines.at(lines.size() - 4), c.closing);
        EXPECT_FALSE(conv.containsObjects);
    }
}

// A font name pasted from a page cannot end the style attribute or the tag.
TEST(RichTextToHtmlTest, FontNameCannotInjectMarkup)
{
    vmtest::EnsureComposeApp();
    for (const QString& family :
         {QStringLiteral("x\"><script>alert(1)</script>"), QStringLiteral("a'; color: red")}) {
        SCOPED_TRACE(family.toStdString());
        Doc d;
        QTextCharFormat f;
        f.setFontFamilies({family});
        d.Text("t", f);
        const QString html = RichTextToHtml().Convert(d.doc).join(QLatin1Char('\n'));
        EXPECT_FALSE(html.contains(QStringLiteral("<script")));
        EXPECT_FALSE(html.contains(QStringLiteral("\"><")));
        EXPECT_FALSE(html.contains(QStringLiteral("'; color")));
        // The text itself still follows its span.
        EXPECT_TRUE(html.contains(QStringLiteral(";\">t\n</SPAN>")));
    }
}

// Characters the message charset cannot hold become numeric references
// instead of "?"; those it can hold stay as they are.
TEST(RichTextToHtmlTest, UnencodableCharactersBecomeReferences)
{
    vmtest::EnsureComposeApp();
    Doc d;
    d.Text(QStringLiteral("łŽ€😀"));
    RichTextToHtml conv;
    conv.charsetId = CharsetIdFromName(QByteArray("ISO-8859-2"));
    ASSERT_NE(conv.charsetId, 0);
    EXPECT_EQ(Body(conv.Convert(d.doc)), QStringLiteral("łŽ&#8364;&#128512;"));
    conv.charsetId = kCharsetUtf8;
    EXPECT_EQ(Body(conv.Convert(d.doc)), QStringLiteral("łŽ€😀"));
}

TEST(RichTextToHtmlTest, ImagesAreLeftOutAndReported)
{
    vmtest::EnsureComposeApp();
    Doc d;
    d.Text("a");
    QTextImageFormat image;
    image.setName(QStringLiteral("data:image/png;base64,AAAA"));
    d.cursor.insertImage(image);
    d.Text("b");
    EXPECT_TRUE(RichTextToHtml::HasObjects(d.doc));
    RichTextToHtml conv;
    EXPECT_EQ(Body(conv.Convert(d.doc)), QStringLiteral("ab"));
    EXPECT_TRUE(conv.containsObjects);
}
