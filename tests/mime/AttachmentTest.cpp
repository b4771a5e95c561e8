// Attachment names, which attachments the list counts, and safe file names.

#include "mime/SafeFileName.h"
#include "mime/MessageRecord.h"

#include <gtest/gtest.h>

using namespace vm;

namespace {

// A message with one part per given part text (header lines, blank line,
// body) inside multipart/mixed.
MessageRecord WithParts(const QList<QByteArray>& parts)
{
    QByteArray text = "Subject: s\r\nContent-Type: multipart/related; boundary=\"BB\"\r\n\r\n";
    for (const QByteArray& p : parts)
        text += "--BB\r\n" + p + "\r\n";
    text += "--BB--\r\n";
    MessageRecord m;
    m.raw = text;
    m.headersOnly = false;
    m.ParseWhole();
    return m;
}

QString OnlyName(const QByteArray& part)
{
    MessageRecord m = WithParts({part});
    if (m.Attachments().size() != 1)
        return QStringLiteral("<%1 attachments>").arg(m.Attachments().size());
    return vm::AttachmentDisplayName(m.Attachments()[0]);
}

const QByteArray kHtml = "Content-Type: text/html\r\n\r\n<img src=cid:p1>";

} // namespace

TEST(AttachmentDisplayName, ParameterForms)
{
    EXPECT_EQ(OnlyName("Content-Type: image/png; name=\"a b.png\"\r\n\r\nx"), "a b.png");
    // Without quotes: the parser's name.
    EXPECT_EQ(OnlyName("Content-Type: image/png\r\nContent-Disposition: attachment; "
                       "filename=plain.png\r\n\r\nx"),
              "plain.png");
    // Another quoted parameter after an unquoted name does not stand in for it.
    EXPECT_EQ(OnlyName("Content-Type: application/octet-stream; name=file.bin; "
                       "x-mac-type=\"47494666\"\r\n\r\nx"),
              "file.bin");
    // Folded parameter lists.
    EXPECT_EQ(OnlyName("Content-Type: application/pdf;\r\n\tname=\"folded.pdf\"\r\n\r\nx"),
              "folded.pdf");
    // Content-Disposition's filename, written after Content-Type, wins.
    EXPECT_EQ(OnlyName("Content-Type: application/pdf; name=\"type.pdf\"\r\n"
                       "Content-Disposition: attachment; filename=\"disp.pdf\"\r\n\r\nx"),
              "disp.pdf");
    // RFC 2231 with continuations and a charset.
    EXPECT_EQ(OnlyName("Content-Type: application/pdf\r\nContent-Disposition: attachment;\r\n"
                       " filename*0*=utf-8''r%C3%A9sum;\r\n filename*1*=%C3%A9.pdf\r\n\r\nx"),
              QString::fromUtf8("r\xC3\xA9sum\xC3\xA9.pdf"));
    // Encoded words, each with its own charset.
    EXPECT_EQ(OnlyName("Content-Type: application/octet-stream\r\nContent-Disposition: attachment; "
                       "filename=\"=?windows-1250?Q?=9Aa=9D?= =?koi8-r?B?wQ==?=.txt\"\r\n\r\nx"),
              QString::fromUtf8("\xC5\xA1" "a\xC5\xA5\xD0\xB0.txt"));
    // Windows-1250 0x81 is undefined.
    EXPECT_EQ(OnlyName("Content-Type: text/plain; name=\"=?windows-1250?Q?=81x?=\"\r\n\r\nx"), "?x");
    // Raw UTF-8 in a quoted name.
    EXPECT_EQ(OnlyName("Content-Type: text/plain; name=\"\xC3\xA9t\xC3\xA9.txt\"\r\n\r\nx"),
              QString::fromUtf8("\xC3\xA9t\xC3\xA9.txt"));
}

TEST(AttachmentRules, WhichPartsAreTextAndWhichCount)
{
    MessageRecord m = WithParts({
        kHtml,
        // Inline picture with a Content-ID: embedded in the HTML, not counted.
        "Content-Type: image/png; name=\"p1.png\"\r\nContent-ID: <p1>\r\n"
        "Content-Disposition: inline; filename=\"p1.png\"\r\n\r\nx",
        // The same picture marked as attachment: counted.
        "Content-Type: image/png; name=\"p2.png\"\r\nContent-ID: <p2>\r\n"
        "Content-Disposition: attachment; filename=\"p2.png\"\r\n\r\nx",
        // No disposition, Content-Location: embedded, not counted.
        "Content-Type: image/gif; name=\"p3.gif\"\r\nContent-Location: p3.gif\r\n\r\nx",
        // A text file with a name is an attachment and counts.
        "Content-Type: text/plain; name=\"notes.txt\"\r\n\r\nhello",
        // A text part marked as attachment without a name: counted all the same.
        "Content-Type: text/plain\r\nContent-Disposition: attachment\r\n\r\nhello",
        // Binary part without a name: attachment, not counted.
        "Content-Type: application/octet-stream\r\n\r\nx",
        // Inline text without a name: a text part.
        "Content-Type: text/plain; charset=utf-8\r\nContent-Disposition: inline\r\n\r\nbody",
    });
    EXPECT_EQ(m.TextParts().size(), 2);
    ASSERT_EQ(m.Attachments().size(), 6);
    EXPECT_EQ(m.Attachments()[0].contentId, "p1");
    EXPECT_EQ(m.Attachments()[2].contentLocation, "p3.gif");
    EXPECT_EQ(m.attachmentCount, 3);
    EXPECT_EQ(m.VisibleAttachmentCount(), 3);
}

TEST(AttachmentRules, CountIsCachedAndComputedFromRawWhenBodyWasDropped)
{
    const QByteArray part = "Content-Type: application/zip; name=\"a.zip\"\r\n\r\nx";
    MessageRecord m = WithParts({kHtml, part, part});
    EXPECT_EQ(m.VisibleAttachmentCount(), 2);
    m.attachmentCount = 5; // a stored count is returned as it is
    EXPECT_EQ(m.VisibleAttachmentCount(), 5);

    MessageRecord d = WithParts({kHtml, part});
    d.DropBody();
    d.attachmentCount = -1;
    EXPECT_EQ(d.VisibleAttachmentCount(), 1);
    EXPECT_EQ(d.attachmentCount, 1);

    // Parts without any name that still count, also when counted from the
    // raw text after the body was dropped.
    for (const QByteArray& nameless :
         {QByteArray("Content-Type: application/pdf\r\nContent-Disposition: attachment\r\n\r\nx"),
          QByteArray("Content-Type: message/rfc822\r\n\r\nSubject: inner\r\n\r\nhi")}) {
        MessageRecord r = WithParts({kHtml, nameless});
        EXPECT_EQ(r.VisibleAttachmentCount(), 1) << nameless.constData();
        r.DropBody();
        r.attachmentCount = -1;
        EXPECT_EQ(r.VisibleAttachmentCount(), 1) << nameless.constData();
    }

    // The parts of a digest are messages without a Content-Type of their own.
    MessageRecord digest;
    digest.raw = "Subject: d\r\nContent-Type: multipart/digest; boundary=\"BB\"\r\n\r\n"
                 "--BB\r\n\r\nSubject: one\r\n\r\nhi\r\n--BB\r\n\r\nSubject: two\r\n\r\nho\r\n"
                 "--BB--\r\n";
    digest.headersOnly = false;
    digest.ParseWhole();
    EXPECT_EQ(digest.VisibleAttachmentCount(), 2);
    digest.DropBody();
    digest.attachmentCount = -1;
    EXPECT_EQ(digest.VisibleAttachmentCount(), 2);

    // A header block alone has nothing to count and does not store a count.
    MessageRecord h;
    h.raw = "Subject: x\r\n\r\n";
    h.ParseHeaders();
    EXPECT_EQ(h.VisibleAttachmentCount(), 0);
    EXPECT_EQ(h.attachmentCount, -1);
}

TEST(AttachmentRules, AttachedMessage)
{
    MessageRecord m = WithParts({"Content-Type: message/rfc822\r\nContent-Disposition: attachment; "
                                "filename=\"fwd.eml\"\r\n\r\nSubject: inner\r\n\r\ninner body"});
    ASSERT_EQ(m.Attachments().size(), 1);
    EXPECT_EQ(vm::AttachmentDisplayName(m.Attachments()[0]), "fwd.eml");
    EXPECT_TRUE(m.Attachments()[0].data.contains("Subject: inner"));
    EXPECT_EQ(m.VisibleAttachmentCount(), 1);
}

TEST(SafeFileName, ReducesToAPlainName)
{
    using vm::SafeFileName;
    EXPECT_EQ(SafeFileName("report.pdf"), "report.pdf");
    EXPECT_EQ(SafeFileName("../../etc/passwd"), "passwd");
    EXPECT_EQ(SafeFileName("C:\\Windows\\System32\\evil.dll"), "evil.dll");
    EXPECT_EQ(SafeFileName("dir/"), "");
    EXPECT_EQ(SafeFileName(".."), "");
    EXPECT_EQ(SafeFileName("."), "");
    EXPECT_EQ(SafeFileName("...hidden"), "hidden");
    EXPECT_EQ(SafeFileName("name. . "), "name");
    EXPECT_EQ(SafeFileName("a\tb\nc\x7F" "d.txt"), "a_b_c_d.txt");
    EXPECT_EQ(SafeFileName("what?<>|*:\".txt"), "what_______.txt");
    EXPECT_EQ(SafeFileName(QString::fromUtf8("invoice\xE2\x80\xAEtxt.exe")), "invoice_txt.exe");
    // Every bidirectional format character, not only U+202E.
    for (const char16_t bidi : {0x061C, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x2066,
                                0x2067, 0x2068, 0x2069})
        EXPECT_EQ(SafeFileName(QStringLiteral("a") + QChar(bidi) + QStringLiteral("b.txt")),
                  "a_b.txt")
            << std::hex << int(bidi);
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80.png");
    EXPECT_EQ(SafeFileName(emoji), emoji);
    const QString longName = QString(300, QLatin1Char('x')) + ".pdf";
    const QString cut = SafeFileName(longName);
    EXPECT_EQ(cut.size(), 200);
    EXPECT_TRUE(cut.endsWith(".pdf"));
    // The file system's limit is in bytes: 200 three-byte characters would
    // be 600 bytes.
    const QString wide = SafeFileName(QString(300, QChar(0x4E2D)) + ".pdf");
    EXPECT_LE(wide.toUtf8().size(), 240);
    EXPECT_GE(wide.toUtf8().size(), 230);
    EXPECT_TRUE(wide.endsWith(".pdf"));
    const QString pairs = SafeFileName(QString::fromUtf8("\xF0\x9F\x98\x80").repeated(100));
    EXPECT_LE(pairs.toUtf8().size(), 240);
    EXPECT_FALSE(pairs.back().isHighSurrogate());
    EXPECT_EQ(SafeFileName(QString::fromUtf8("r\xC3\xA9sum\xC3\xA9 (1).pdf")),
              QString::fromUtf8("r\xC3\xA9sum\xC3\xA9 (1).pdf"));
}
