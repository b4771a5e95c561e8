// Plain text lines as page HTML: escaping and the link scanner.

#include <gtest/gtest.h>

#include "render/PlainTextToHtml.h"

using namespace vm;

TEST(ConvertPlainLine, EscapesAndLinksAsTheScannerRulesSay)
{
    const struct
    {
        const char* line;
        const char* html;
    } cases[] = {
        {"", "<br />"},
        {"a < b & c > d", "a &lt b &amp c &gt d<br />"},
        // The separator between two parts is kept as markup.
        {"<br /><hr></hr><br />", "<br /><hr></hr><br />"},
        // The visible text keeps "&amp", the target has "&" and "http://".
        {"see www.example.com/?a=1&b=2 now",
         "see <a href=\"http://www.example.com/?a=1&b=2\">www.example.com/?a=1&ampb=2</a> now<br "
         "/>"},
        {"http://a.org/x, https://b.org/y;",
         "<a href=\"http://a.org/x\">http://a.org/x</a>, "
         "<a href=\"https://b.org/y\">https://b.org/y</a>;<br />"},
        // Only the address between the angle brackets is linked.
        {"Bob Smith <bob@example.org>",
         "Bob Smith &lt<a href=\"mailto:bob@example.org\">bob@example.org</a>&gt<br />"},
        {"<www.example.com>", "&lt<a href=\"http://www.example.com\">www.example.com</a>&gt<br />"},
        {"x @ y", "x <a href=\"mailto:@\">@</a> y<br />"},
        {"WWW.EXAMPLE.COM HTTP://EXAMPLE.COM Http://x",
         "WWW.EXAMPLE.COM HTTP://EXAMPLE.COM Http://x<br />"},
        {"(a@b.c,d@e.f)",
         "(<a href=\"mailto:a@b.c\">a@b.c</a>,<a href=\"mailto:d@e.f\">d@e.f</a>)<br />"},
        {"tom&jerry@cartoon.org",
         "<a href=\"mailto:tom&jerry@cartoon.org\">tom&ampjerry@cartoon.org</a><br />"},
        // A link runs to the line's end; a web link takes an "@" with it.
        {"\twww.a.b/~x", "\t<a href=\"http://www.a.b/\">www.a.b/</a>~x<br />"},
        {"http://u@host/p", "<a href=\"http://u@host/p\">http://u@host/p</a><br />"},
        // A link stops at an entity boundary, even one that starts inside a
        // word ("t&l" of "it&lt").
        {"http://h/a<b", "<a href=\"http://h/a\">http://h/a</a>&ltb<br />"},
        {"http://h/it<", "<a href=\"http://h/i\">http://h/i</a>t&lt<br />"},
        {"x>y@z", "x&gt<a href=\"mailto:y@z\">y@z</a><br />"},
        // An address right after a link starts after the link, not in it.
        {"http://a/b<c@d",
         "<a href=\"http://a/b\">http://a/b</a>&lt<a href=\"mailto:c@d\">c@d</a><br />"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ConvertPlainLine(c.line), QByteArray(c.html)) << c.line;
}
