// Building the outgoing message from a send request: charsets, recipients,
// attachments and the refusals.

#include "send/MessageData.h"
#include "send/SendRequest.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "TestUtil.h"
#include "model/MailAccount.h"
#include "send/MimeWriter.h"

using namespace vm;

namespace {

void FillAccount(MailAccount& a)
{
    a.FromAddress() = "anna@example.org";
    a.SenderName() = "Anna Nowak";
    a.ReplyToAddress() = "replies@example.org";
}

QString MakeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& data = "x")
{
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
    return f.fileName();
}

} // namespace

TEST(SendCharsets, ConversionReportsCharactersThatCannotBeRepresented)
{
    QByteArray out;
    const QString polish = QString::fromUtf8("Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87");
    EXPECT_TRUE(EncodeToCharset(polish, 11, out)); // Windows1250
    EXPECT_EQ(out, "Za\xbf\xf3\xb3\xe6");
    EXPECT_TRUE(EncodeToCharset(polish, 2, out)); // ISO-8859-2
    EXPECT_EQ(out, "Za\xbf\xf3\xb3\xe6");
    EXPECT_TRUE(EncodeToCharset(polish, 27, out)); // ISO-8859-16, by the program's own table

    EXPECT_FALSE(EncodeToCharset(QString::fromUtf8("caf\xc3\xa9 \xf0\x9f\x98\x80"), 13, out));
    EXPECT_EQ(out, "caf? ?"); // one "?" per character, also outside the BMP
    EXPECT_FALSE(EncodeToCharset(QString::fromUtf8("\xd0\x96"), 1, out));
    EXPECT_TRUE(EncodeToCharset(QString::fromUtf8("\xc3\xbf"), 1, out));
    EXPECT_EQ(out, "\xff");
    EXPECT_TRUE(EncodeToCharset(QString::fromUtf8("\xf0\x9f\x98\x80"), 12, out));
    EXPECT_EQ(out, "\xf0\x9f\x98\x80");

    const ConvertedTexts c = ConvertForSending("  Hello  ", QString::fromUtf8("\xd0\x96"), 11);
    EXPECT_EQ(c.subject, "Hello");
    EXPECT_FALSE(c.lossless);
    EXPECT_EQ(c.charset, "windows-1250");
    EXPECT_EQ(CharsetLabelForId(12), "utf-8");
    EXPECT_EQ(CharsetLabelForId(13), "KOI8-R");
    EXPECT_EQ(CharsetLabelForId(20), "ISO-8859-8-I");
}

TEST(SendRecipients, FullTextParsesBackIntoNameAndAddress)
{
    EmailAddress a;
    a.SetFullText("  \"Smith, John\" <john@example.com> ");
    EXPECT_EQ(a.name, "Smith, John");
    EXPECT_EQ(a.address, "john@example.com");
    a.SetFullText("bare@example.com");
    EXPECT_EQ(a.name, "");
    EXPECT_EQ(a.address, "bare@example.com");
    const EmailAddress b(QStringLiteral("Quote \"Q\" Man"), "q@example.com", 2);
    EmailAddress c;
    c.SetFullText(b.FullText());
    EXPECT_EQ(c.name, b.name);
    EXPECT_EQ(c.address, b.address);

    EXPECT_TRUE(IsSendableAddress("a.b+c@example.com"));
    EXPECT_FALSE(IsSendableAddress(""));
    EXPECT_FALSE(IsSendableAddress("a@example.com\r\nRCPT TO:<x@y>"));
    EXPECT_FALSE(IsSendableAddress("a b@example.com"));
    EXPECT_FALSE(IsSendableAddress("a>@example.com"));
}

TEST(SendBuild, MessageFieldsFollowTheRequest)
{
    MailAccount account;
    FillAccount(account);
    SendRequest r;
    r.account = &account;
    r.subject = QString::fromUtf8("  \xc5\xbb\xc3\xb3\xc5\x82w  ");
    r.body = QStringLiteral("line 1\nline 2");
    r.html = true;
    r.charsetId = 11;
    r.recipients = {{"Bob", "bob@example.com", 1},
                    {"", "carl@example.com", 2},
                    {"Hidden", "hidden@example.com", 3},
                    {"Nobody", "skip@example.com", 4}};
    r.priority = 0;
    r.receipt = true;
    const BuildResult b = BuildOutgoingMessage(r);
    ASSERT_EQ(b.status, BuildStatus::Ok);
    const OutgoingMessage& m = *b.message;
    EXPECT_EQ(m.subject, "\xaf\xf3\xb3w");
    EXPECT_EQ(m.charset, "windows-1250");
    ASSERT_EQ(m.parts.size(), 1u);
    const auto& text = static_cast<const OutgoingText&>(*m.parts[0]);
    EXPECT_EQ(text.contentType, "text/html");
    EXPECT_EQ(text.body, (QByteArrayList{"line 1", "line 2"}));
    ASSERT_EQ(m.to.size(), 1);
    EXPECT_EQ(m.to[0].name, "Bob");
    ASSERT_EQ(m.cc.size(), 1);
    ASSERT_EQ(m.bcc.size(), 1);
    EXPECT_EQ(m.bcc[0].address, "hidden@example.com");
    EXPECT_EQ(m.from[0].name, "Anna Nowak");
    EXPECT_EQ(m.replyTo[0].address, "replies@example.org");
    EXPECT_EQ(m.receiptRecipient.address, "anna@example.org");
    EXPECT_EQ(m.priority, mpHighest);
    EXPECT_TRUE(m.messageId.endsWith("@example.org>"));

    // A recipient whose address carries a line break is refused.
    r.recipients = {{"Bob", "bob@example.com\r\nDATA", 1}};
    const BuildResult bad = BuildOutgoingMessage(r);
    EXPECT_EQ(bad.status, BuildStatus::BadAddress);
    EXPECT_FALSE(bad.message);
}

TEST(SendBuild, AttachmentsTypesRefusalAndTemporaryFiles)
{
    QTemporaryDir dir;
    MailAccount account;
    FillAccount(account);
    SendRequest r;
    r.account = &account;
    r.subject = "files";
    r.body = "see attached";
    r.recipients = {{"", "bob@example.com", 1}};
    const QString jpg = MakeFile(dir, "photo.jpg");
    const QString upper = MakeFile(dir, "PHOTO.JPG");
    const QString png = MakeFile(dir, "p.png");
    const QString temp = MakeFile(dir, "forwarded.gif");
    r.attachments = {{jpg, false}, {upper, false}, {png, false}, {temp, true}};
    {
        BuildResult b = BuildOutgoingMessage(r);
        ASSERT_EQ(b.status, BuildStatus::Ok);
        ASSERT_EQ(b.message->parts.size(), 5u);
        EXPECT_EQ(b.message->parts[1]->contentType, "image/jpeg");
        EXPECT_EQ(b.message->parts[2]->contentType, ""); // letter case counts
        EXPECT_EQ(b.message->parts[3]->contentType, "image/png");
        EXPECT_EQ(b.message->parts[4]->contentType, "image/gif");
        const QJsonObject p = vmtest::ParseWithPython(WriteMessage(*b.message));
        const QJsonArray parts = p["parts"].toArray();
        ASSERT_EQ(parts.size(), 5);
        EXPECT_EQ(parts[2].toObject()["content_type"].toString(), "application/octet-stream");
        EXPECT_EQ(parts[4].toObject()["filename"].toString(), "forwarded.gif");
        EXPECT_TRUE(QFile::exists(temp));
    }
    // The attempt is over: the temporary file went with the message, so a
    // second attempt cannot attach it.
    EXPECT_FALSE(QFile::exists(temp));
    EXPECT_TRUE(QFile::exists(jpg));
    const BuildResult again = BuildOutgoingMessage(r);
    EXPECT_EQ(again.status, BuildStatus::CannotAttach);
    EXPECT_EQ(again.detail, temp);
    EXPECT_TRUE(again.errorText.contains(temp));
    EXPECT_FALSE(again.message);

    // Without "Include attachments" the list is ignored.
    r.includeAttachments = false;
    const BuildResult none = BuildOutgoingMessage(r);
    ASSERT_EQ(none.status, BuildStatus::Ok);
    EXPECT_EQ(none.message->parts.size(), 1u);
}
