// The message a reply, a reply to all or a forward starts from: recipients,
// subject, the quoted original with its header block, its text in any
// charset or only as HTML, its attachments as files, and the threading
// fields; and a new message from a "mailto:" link.

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <ctime>

#include "mime/Charsets.h"
#include "mime/MessageRecord.h"
#include "send/MessageData.h"
#include "send/ReplyMessage.h"
#include "support/TestFiles.h"

using namespace vm;

namespace {

MessageRecord Whole(const QByteArray& raw)
{
    MessageRecord m;
    m.raw = raw;
    m.headersOnly = false;
    return m;
}

QStringList RecipientTexts(const MessageData& d)
{
    QStringList out;
    for (const EmailAddress& a : d.recipients)
        out << QString::number(a.type) + ":" + a.FullText();
    return out;
}

// The lines between the two "--------" lines of the quote header.
QStringList HeaderBlock(const MessageData& d)
{
    const qsizetype start = d.bodyLines.indexOf("--------");
    const qsizetype end = d.bodyLines.indexOf("--------", start + 1);
    if (start < 0 || end < 0)
        return {};
    return d.bodyLines.mid(start + 1, end - start - 1);
}

// The original's text as the prepared body carries it (after the header
// block and its two empty lines).
QStringList QuotedText(const MessageData& d)
{
    const qsizetype start = d.bodyLines.indexOf("--------");
    const qsizetype end = d.bodyLines.indexOf("--------", start + 1);
    return end < 0 ? QStringList() : d.bodyLines.mid(end + 3);
}

const QByteArray kConversation = "From: Ann Smith <ann@x.org>\r\n"
                                 "To: ME@Example.org, Bob <bob@y.org>\r\n"
                                 "Cc: ann@x.org, \"Cid, Jr.\" <cid@z.org>\r\n"
                                 "Subject: Re: Plan\r\n"
                                 "Date: Tue, 1 Jul 2003 23:52:37 -0500\r\n"
                                 "Message-ID: <c3@x.org>\r\n"
                                 "References: <c1@x.org>\r\n <c2@y.org>\r\n"
                                 "\r\n"
                                 "Shall we?\r\n";

} // namespace

// Each kind: its recipients, its subject prefix (added also when the subject
// has one already) and, for replies, the threading fields.
TEST(ReplyMessage, RecipientsSubjectAndThreadingOfEachKind)
{
    const QByteArray withReplyTo = QByteArray(kConversation)
                                       .replace("Subject:", "Reply-To: List <list@x.org>, "
                                                            "owner@x.org\r\nSubject:");
    struct Case
    {
        const char* name;
        QByteArray raw;
        int kind;
        QStringList recipients;
        QString subject;
        bool threaded;
    } cases[] = {
        {"reply", kConversation, ckReply, {"1:Ann Smith <ann@x.org>"}, "Re: Re: Plan", true},
        {"reply to all",
         kConversation,
         ckReplyToAll,
         // the own address (other letter case) left out; the sender twice
         {"1:Ann Smith <ann@x.org>", "1:Bob <bob@y.org>", "2:ann@x.org",
          "2:\"Cid, Jr.\" <cid@z.org>"},
         "Re: Re: Plan",
         true},
        {"reply with Reply-To",
         withReplyTo,
         ckReply,
         {"1:List <list@x.org>", "1:owner@x.org"},
         "Re: Re: Plan",
         true},
        {"forward", kConversation, ckForward, {}, "Fwd: Re: Plan", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MessageRecord m = Whole(c.raw);
        const PreparedMessage p = PrepareMessage(&m, "me@example.org", c.kind, QString());
        EXPECT_EQ(RecipientTexts(p.data), c.recipients);
        EXPECT_EQ(p.data.subject, c.subject);
        EXPECT_EQ(p.data.inReplyTo, c.threaded ? "<c3@x.org>" : "");
        EXPECT_EQ(p.data.references, c.threaded ? "<c1@x.org> <c2@y.org> <c3@x.org>" : "");
        EXPECT_FALSE(m.parsed()) << "the record keeps its own parse state";
    }
    const PreparedMessage none = PrepareMessage(nullptr, "me@example.org", ckReply, QString());
    EXPECT_TRUE(none.data.recipients.isEmpty());
    EXPECT_TRUE(none.data.bodyLines.isEmpty());
}

// The whole quote: two empty lines, the header block, two empty lines, the
// original text unchanged.
TEST(ReplyMessage, QuoteLayout)
{
    const MessageRecord m = Whole("From: \"Smith, Ann\" <ann@x.org>\r\n"
                                  "Cc: cid@z.org\r\n"
                                  "Subject: =?UTF-8?Q?Pl=C3=A1n?=\r\n"
                                  "Date: Wed, 2 Jul 2003 08:00 +1000\r\n"
                                  "\r\n"
                                  "line 1\r\n"
                                  "\r\n"
                                  "> line 3\r\n");
    const PreparedMessage p = PrepareMessage(&m, "me@example.org", ckForward, QString());
    const QStringList expected = {"",
                                  "",
                                  "--------",
                                  "ORIGINAL MESSAGE",
                                  "From: \"Smith, Ann\" <ann@x.org>",
                                  "To: undisclosed recipients",
                                  "Cc: cid@z.org",
                                  "Date: 2003-07-02 (Wednesday)",
                                  "Time: 08:00:00 (+10:00)",
                                  QString::fromUtf8("Subject: Pl\xc3\xa1n"),
                                  "--------",
                                  "",
                                  "",
                                  "line 1",
                                  "",
                                  "> line 3"};
    EXPECT_EQ(p.data.bodyLines, expected);
}

// The original's date and time are shown as the sender wrote them, with the
// sender's own offset, whatever the local zone; a zone that cannot be read
// never makes the header read past its end.
TEST(ReplyMessage, QuoteHeaderShowsTheOriginalsOwnOffset)
{
    const vm::test::ScopedEnv zone("TZ", "Asia/Tokyo"); // far from every offset below
    const struct
    {
        QByteArray date;
        QString dateLine; // empty: no Date or Time line
        QString timeLine;
    } cases[] = {
        {"Tue, 1 Jul 2003 23:52:37 -0500", "Date: 2003-07-01 (Tuesday)", "Time: 23:52:37 (-5:00)"},
        {"Wed, 02 Jul 2003 08:00 +1000", "Date: 2003-07-02 (Wednesday)", "Time: 08:00:00 (+10:00)"},
        {"2 jul 2003 08:00:00 +0530 (IST)", "Date: 2003-07-02 (Wednesday)",
         "Time: 08:00:00 (+5:30)"},
        {"Sat, 1 Mar 2025 00:10:00 GMT", "Date: 2025-03-01 (Saturday)", "Time: 00:10:00 (+0:00)"},
        {"Mon, 31 Dec 99 23:59:60 PST", "Date: 1999-12-31 (Friday)", "Time: 23:59:59 (-8:00)"},
        {"Thu, 1 Jan 2026 10:00:00 -05", "Date: 2026-01-01 (Thursday)", "Time: 10:00:00 (+0:00)"},
        {"not a date", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date.constData());
        const MessageRecord m =
            Whole("From: a@x.org\r\nSubject: s\r\nDate: " + c.date + "\r\n\r\nbody\r\n");
        const QStringList block =
            HeaderBlock(PrepareMessage(&m, "me@x.org", ckReply, QString()).data);
        if (c.dateLine.isEmpty()) {
            for (const QString& line : block)
                EXPECT_FALSE(line.startsWith("Date:") || line.startsWith("Time:"))
                    << line.toStdString();
            continue;
        }
        EXPECT_TRUE(block.contains(c.dateLine)) << block.join(" | ").toStdString();
        EXPECT_TRUE(block.contains(c.timeLine)) << block.join(" | ").toStdString();
    }
}

// Which text is quoted and how it is decoded.
TEST(ReplyMessage, QuotedTextAndItsCharset)
{
    SetDefaultIncomingCharset(1); // ISO-8859-1 for texts that name no charset
    const QByteArray utf8Text = "Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87 g\xc4\x99\xc5\x9bl\xc4\x85";
    const struct
    {
        const char* name;
        QByteArray raw;
        QStringList text;
        int charsetId;
    } cases[] = {
        {"plain part before HTML",
         "From: a@x.org\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/alternative; boundary=BB\r\n\r\n"
         "--BB\r\nContent-Type: text/plain; charset=ISO-8859-2\r\n\r\n"
         "Za\xbf\xf3\xb3\xe6\r\nline two\r\n"
         "--BB\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--BB--\r\n",
         {QString::fromUtf8("Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87"), "line two"},
         2},
        {"HTML only: its text, never nothing",
         "From: a@x.org\r\nMIME-Version: 1.0\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
         "<html><head><title>T</title><style>p {color: red}</style></head><body>\r\n"
         "<p>Dear   <b>Bob</b>,\r\n  see &lt;this&gt; &amp; <a href='x'>that</a>.</p>"
         "<div>one<br>two</div><script>alert(1)</script>"
         "<pre>  a\r\n  b</pre><table><tr><td>x</td><td>y</td></tr></table></body></html>",
         {"Dear Bob, see <this> & that.", "", "one", "two", "", "  a", "  b", "", "x y"},
         12},
        {"HTML only inside multipart/related",
         "From: a@x.org\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/related; boundary=BB\r\n\r\n"
         "--BB\r\nContent-Type: text/html; charset=ISO-8859-2\r\n\r\n<p>Za\xbf\xf3\xb3\xe6</p>\r\n"
         "--BB\r\nContent-Type: image/png\r\nContent-ID: <p1>\r\n\r\nPNG\r\n--BB--\r\n",
         {QString::fromUtf8("Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87")},
         2},
        {"unknown charset read as UTF-8",
         "From: a@x.org\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=x-no-such\r\n"
         "\r\n" +
             utf8Text + "\r\n",
         {QString::fromUtf8(utf8Text)},
         0},
        {"part charset unknown, the message's known",
         "From: a@x.org\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/mixed; boundary=BB; charset=ISO-8859-2\r\n\r\n"
         "--BB\r\nContent-Type: text/plain; charset=bogus\r\n\r\nZa\xbf\xf3\xb3\xe6\r\n--BB--\r\n",
         {QString::fromUtf8("Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87")},
         2},
        {"no charset: the incoming default",
         "From: a@x.org\r\n\r\ncaf\xe9\r\n",
         {QString::fromUtf8("caf\xc3\xa9")},
         0},
        {"header block only: nothing to quote", "", {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MessageRecord m = Whole(c.raw);
        if (c.raw.isEmpty()) {
            m.raw = "From: a@x.org\r\nSubject: s\r\n";
            m.headersOnly = true;
        }
        const PreparedMessage p = PrepareMessage(&m, "me@x.org", ckForward, QString());
        EXPECT_EQ(QuotedText(p.data), c.text);
        EXPECT_EQ(p.data.charsetId, c.charsetId);
    }
    SetDefaultIncomingCharset(kCharsetUtf8);
}

// Every attachment of the original is written into the folder byte for
// byte under a plain, unique name; pictures of an HTML body are not
// attachments; one that cannot be written is reported.
TEST(ReplyMessage, AttachmentsAreExtractedOrReported)
{
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary += char(i);
    const QByteArray raw =
        "From: a@x.org\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=BB\r\n\r\n"
        "--BB\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n"
        "--BB\r\nContent-Type: application/octet-stream; name=\"../../evil.sh\"\r\n"
        "Content-Disposition: attachment; filename=\"../../evil.sh\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        binary.toBase64() +
        "\r\n"
        "--BB\r\nContent-Type: text/plain; name=\"evil.sh\"\r\n"
        "Content-Disposition: attachment; filename=\"evil.sh\"\r\n\r\nsecond\r\n"
        "--BB\r\nContent-Type: image/png\r\nContent-ID: <pic>\r\n"
        "Content-Disposition: inline; filename=\"pic.png\"\r\n\r\nPNG\r\n"
        "--BB\r\nContent-Type: message/rfc822\r\n\r\nFrom: b@y.org\r\nSubject: inner\r\n\r\nhi\r\n"
        "--BB--\r\n";
    const MessageRecord m = Whole(raw);
    QTemporaryDir tmp;
    const QString folder = tmp.filePath("compose/attachments");

    for (int kind : {ckReply, ckReplyToAll, ckForward}) {
        SCOPED_TRACE(kind);
        QDir(folder).removeRecursively();
        const PreparedMessage p = PrepareMessage(&m, "me@x.org", kind, folder);
        EXPECT_TRUE(p.failedAttachments.isEmpty()) << p.failedAttachments.join(", ").toStdString();
        ASSERT_EQ(p.data.attachments.size(), 3);
        QStringList names;
        for (const QString& path : p.data.attachments) {
            EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(folder).absoluteFilePath());
            EXPECT_EQ(QFile::permissions(path) &
                          (QFile::ExeOwner | QFile::ReadOther | QFile::ReadGroup | QFile::ExeUser),
                      QFile::Permissions());
            names << QFileInfo(path).fileName();
        }
        EXPECT_EQ(names, QStringList({"evil.sh", "evil (1).sh", "message.eml"}));
        EXPECT_EQ(vm::test::ReadFile(p.data.attachments[0]), binary);
        EXPECT_EQ(vm::test::ReadFile(p.data.attachments[1]), "second");
        EXPECT_TRUE(vm::test::ReadFile(p.data.attachments[2]).contains("Subject: inner"));
    }

    // A folder that cannot be made: each attachment is named as failed.
    vm::test::WriteFile(tmp.filePath("file"), "x");
    const PreparedMessage failed =
        PrepareMessage(&m, "me@x.org", ckForward, tmp.filePath("file/sub"));
    EXPECT_TRUE(failed.data.attachments.isEmpty());
    EXPECT_EQ(failed.failedAttachments, QStringList({"evil.sh", "evil.sh", "message.eml"}));
}

// The threading fields follow RFC 5322: the parent's References (else its
// In-Reply-To when that names one message), then its Message-ID; malformed
// ids are left out.
TEST(ReplyMessage, ThreadFields)
{
    const struct
    {
        QByteArray messageId, references, inReplyTo;
        QByteArray wantInReplyTo, wantReferences;
    } cases[] = {
        {"<p@x>", "", "", "<p@x>", "<p@x>"},
        {"<p@x>", "<a@x>  <b@y>", "<b@y>", "<p@x>", "<a@x> <b@y> <p@x>"},
        {"<p@x>", "", "<b@y>", "<p@x>", "<b@y> <p@x>"},
        {"<p@x>", "", "<b@y> <c@y>", "<p@x>", "<p@x>"}, // two parents: not a chain
        {"<p@x>", "<a@x> <p@x>", "", "<p@x>", "<a@x> <p@x>"},
        {"", "<a@x>", "", "", "<a@x>"},
        {"<bad id@x>", "<a b> <ok@x>", "", "", "<ok@x>"},
        {"<p@x>\r\nBcc: evil@x", "", "", "<p@x>", "<p@x>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.messageId.constData());
        const ThreadFields f = ReplyThreadFields(c.messageId, c.references, c.inReplyTo);
        EXPECT_EQ(f.inReplyTo, c.wantInReplyTo);
        EXPECT_EQ(f.references, c.wantReferences);
    }
}

// A "mailto:" link (RFC 6068) becomes a new message: addresses before "?",
// "to", "cc", "subject" and "body" fields, percent-decoded as UTF-8; "bcc",
// "attach" and unknown fields ignored; nothing can break a header line.
TEST(ReplyMessage, MailtoLinks)
{
    const struct
    {
        QString link;
        QStringList recipients;
        QString subject;
        QStringList body;
    } cases[] = {
        {"ann@x.org,%20bob@y.org?cc=cid@z.org&BCC=dee@z.org&subject=Hi%0D%0Athere%20%C5%BC"
         "&body=line%201%0D%0Aline%202&x-unknown=1&to=eve@x.org",
         {"1:ann@x.org", "1:bob@y.org", "2:cid@z.org", "1:eve@x.org"},
         QString::fromUtf8("Hi there \xc5\xbc"),
         {"line 1", "line 2"}},
        {"mailto:only@x.org", {"1:only@x.org"}, "", {}},
        {"MAILTO:?to=a@x.org,b@x.org&subject=1+1%3D2%26more",
         {"1:a@x.org", "1:b@x.org"},
         "1+1=2&more",
         {}},
        {"a@x.org%0D%0ARCPT%20TO:%3Cevil@x.org%3E?cc=ok@x.org%0ABcc:%20evil@x.org"
         "&subject=s%0D%0ABcc:%20evil@x.org",
         {},
         "s Bcc: evil@x.org",
         {}},
        {"a@x.org?attach=/etc/passwd&bcc=hidden@x.org&body=a%0Db%0Ac",
         {"1:a@x.org"},
         "",
         {"a", "b", "c"}},
        {"%22Ann%20Smith%22%20%3Cann@x.org%3E?body=%E2%82%AC%FF",
         {"1:Ann Smith <ann@x.org>"},
         "",
         {QString::fromUtf8("\xe2\x82\xac\xef\xbf\xbd")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link.toStdString());
        const MessageData d = MessageFromMailto(c.link);
        EXPECT_EQ(RecipientTexts(d), c.recipients);
        EXPECT_EQ(d.subject, c.subject);
        EXPECT_EQ(d.bodyLines, c.body);
        EXPECT_TRUE(d.attachments.isEmpty());
    }
}
