// Matching records against a find phrase: the whole-word rule, the HTML
// text of bodies, the field choice and what a body test leaves behind.

#include "mime/MessageMatcher.h"
#include "mime/MessageRecord.h"

#include <gtest/gtest.h>

using namespace vm;

namespace {

TEST(MessageMatcher, PhraseOccurrence)
{
    struct Case
    {
        const char* text;
        const char* needle;
        bool wholeWords;
        bool expected;
    };
    const Case cases[] = {
        {"cat. and more", "cat", true, true}, // at the start, full stop after it
        {"a cat sat", "cat", true, true},     // after a blank
        {"concatenate", "cat", true, false},  // inside a longer word
        {"concatenate", "cat", false, true},
        {"cats", "cat", true, false},
        {"scat", "cat", true, false},
        {"the cat", "cat", true, true},      // at the end
        {"cathode cat", "cat", true, true},  // a later occurrence counts
        {"x.cat", ".cat", true, true},       // the needle starts with a separator
        {"xcat!y", "cat!", true, false},     // ... but its start is inside a word
        {"e-mail:x", "mail:", true, true},   // ends with a separator, "-" before
        {"caf\xc3\xa9", "caf", true, false}, // characters above 127 are word characters
        {"a_b", "a", true, true},            // "_" (95) separates
        {"a1b", "a", true, false},           // digits do not
        {"anything", "", false, false},      // an empty needle never matches
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            PhraseOccurs(QString::fromUtf8(c.text), QString::fromUtf8(c.needle), c.wholeWords),
            c.expected)
            << c.text << " / " << c.needle << " whole=" << c.wholeWords;
}

TEST(MessageMatcher, HtmlText)
{
    struct Case
    {
        const char* html;
        const char* expected; // after trimming and folding blanks
    };
    const Case cases[] = {
        {"<p>Hello <b>wor</b>ld</p>", "Hello world"},
        {"one<br>two", "one two"},
        {"<style>p { color: red }</style>shown<script>var hidden;</script>", "shown"},
        {"a <!-- secret --> b", "a b"},
        {"fish &amp; chips &lt;3 &#65;&#x42; &nbsp;x", "fish & chips <3 AB x"},
        {"1 < 2 &bogus; &", "1 < 2 &bogus; &"},
        {"<a href=\"http://example.com/meeting\">link</a>", "link"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HtmlToSearchText(QString::fromUtf8(c.html)).simplified(),
                  QString::fromUtf8(c.expected))
            << c.html;
}

MessageRecord Whole(const QByteArray& raw)
{
    MessageRecord m;
    m.raw = raw;
    m.headersOnly = false;
    return m;
}

const QByteArray kMultipart =
    "From: =?UTF-8?Q?J=C3=B6rg?= Example <joerg@example.org>\r\n"
    "Subject: Quarterly report\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
    "--b1\r\n"
    "Content-Type: text/html; charset=iso-8859-1\r\n\r\n"
    "<html><body><p class=\"budget\">The <b>Gr\xfc\x62</b>e numbers</p></body></html>\r\n"
    "--b1\r\n"
    "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
    "Content-Disposition: attachment; filename=\"data.bin\"\r\n\r\n"
    "hidden attachment words\r\n"
    "--b1--\r\n";

TEST(MessageMatcher, FieldsAndBodies)
{
    using F = MessageFilter;
    struct Case
    {
        int fields;
        const char* phrase;
        bool caseSensitive;
        bool expected;
    };
    const Case cases[] = {
        {F::Subject, "quarterly", false, true},
        {F::Subject, "quarterly", true, false},
        {F::Subject, "Quarterly", true, true},
        {F::SenderName, "j\xc3\xb6rg", false, true}, // decoded name
        {F::SenderName, "example.org", false, false},
        {F::SenderAddress, "example.org", false, true},
        {F::Subject | F::SenderName, "joerg", false, false},
        {F::Body,
         "gr\xc3\xbc\x62"
         "e numbers",
         false, true},                                // converted from its charset, tags gone
        {F::Body, "budget", false, false},            // an attribute, not text
        {F::Body, "hidden attachment", false, false}, // not a text part
        {F::Body, "quarterly", false, false},         // the body only
        {0, "quarterly", false, false},               // no field chosen
    };
    for (const Case& c : cases) {
        MessageRecord m = Whole(kMultipart);
        MessageFilter f;
        f.fields = c.fields;
        f.phrase = QString::fromUtf8(c.phrase);
        f.caseSensitive = c.caseSensitive;
        EXPECT_EQ(MessageMatches(m, f), c.expected) << c.phrase << " fields=" << c.fields;
    }
}

TEST(MessageMatcher, NewMessagesAndHeadersOnly)
{
    MessageFilter f;
    f.fields = MessageFilter::Body | MessageFilter::Subject;
    f.phrase = QStringLiteral("numbers");

    MessageRecord headers = Whole(kMultipart);
    headers.raw = kMultipart.left(kMultipart.indexOf("\r\n\r\n") + 4);
    headers.headersOnly = true;
    EXPECT_FALSE(MessageMatches(headers, f)); // a body phrase needs the whole message

    headers.SetNew(true);
    f.filterNew = false;
    EXPECT_TRUE(MessageMatches(headers, f)); // new messages are never filtered out
    f.filterNew = true;
    EXPECT_FALSE(MessageMatches(headers, f));

    f.phrase.clear();
    f.filterNew = false;
    EXPECT_TRUE(MessageMatches(headers, f)); // the new flag wins even without a phrase
}

TEST(MessageMatcher, BodyTestKeepsWhatTheRecordHeld)
{
    MessageFilter f;
    f.fields = MessageFilter::Body;
    f.phrase = QStringLiteral("numbers");

    // Parts parsed by someone else (the preview) stay parsed.
    MessageRecord shown = Whole(kMultipart);
    shown.ParseWhole();
    ASSERT_EQ(shown.TextParts().size(), 1);
    EXPECT_TRUE(MessageMatches(shown, f));
    EXPECT_EQ(shown.TextParts().size(), 1);
    EXPECT_EQ(shown.Attachments().size(), 1);

    // Parts the search parsed are not kept.
    MessageRecord listed = Whole(kMultipart);
    listed.ParseWholeDeferred();
    EXPECT_TRUE(MessageMatches(listed, f));
    EXPECT_TRUE(listed.TextParts().isEmpty());
    EXPECT_TRUE(listed.Attachments().isEmpty());
    EXPECT_EQ(listed.Subject(), QStringLiteral("Quarterly report"));
}

TEST(MessageMatcher, ResetAndActive)
{
    MessageFilter f;
    EXPECT_FALSE(f.Active());
    f.fields = MessageFilter::Subject;
    EXPECT_FALSE(f.Active());
    f.phrase = QStringLiteral("x");
    f.caseSensitive = f.wholeWords = true;
    EXPECT_TRUE(f.Active());
    f.Reset();
    EXPECT_FALSE(f.Active());
    EXPECT_EQ(f.fields, 0);
    EXPECT_FALSE(f.caseSensitive || f.wholeWords);
}

} // namespace
