// Parsing of message records: header fields, charset choice, parts, the
// bookkeeping that parsing must keep, copies and malformed input.

#include "core/DateTime.h"
#include "mime/MessageRecord.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

using namespace vm;
using vm::test::ScopedEnv;

using vm::HeaderKind;

namespace {

MessageRecord Whole(const QByteArray& text)
{
    MessageRecord m;
    m.raw = text;
    m.headersOnly = false;
    m.ParseWhole();
    return m;
}

MessageRecord Headers(const QByteArray& text)
{
    MessageRecord m;
    m.raw = text;
    m.ParseHeaders();
    return m;
}

struct DefaultCharset {
    int saved = DefaultIncomingCharset();
    explicit DefaultCharset(int id) { SetDefaultIncomingCharset(id); }
    ~DefaultCharset() { SetDefaultIncomingCharset(saved); }
};

const QByteArray kMultipart =
    "From: =?utf-8?Q?J=C3=BCrgen?= <j@example.org>\r\n"
    "To: a@example.org\r\n"
    "Subject: parts\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
    "\r\n"
    "preamble\r\n"
    "--b1\r\n"
    "Content-Type: multipart/alternative; boundary=\"b2\"\r\n"
    "\r\n"
    "--b2\r\n"
    "Content-Type: text/plain; charset=koi8-r\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "=C1=C2=D7\r\n"
    "--b2\r\n"
    "Content-Type: text/html; charset=utf-8\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "PGI+w6k8L2I+\r\n"
    "--b2--\r\n"
    "--b1\r\n"
    "Content-Type: application/pdf; name=\"report.pdf\"\r\n"
    "Content-Disposition: attachment; filename=\"report.pdf\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "JVBERi0=\r\n"
    "--b1--\r\n";

} // namespace

TEST(MessageHeaders, FieldsOfAHeaderBlock)
{
    const ScopedEnv zone("TZ", "Europe/Berlin");
    MessageRecord m = Headers(
        "Return-Path: <x@y>\r\n"
        "Subject: =?iso-8859-1?Q?Gr=FC=DFe?= aus\r\n"
        " Berlin\r\n"
        "From: \"Doe, John\" <john@example.org>\r\n"
        "To: Ann <ann@example.org>, =?utf-8?B?0JjQstCw0L0=?= <ivan@example.org>\r\n"
        "To: third@example.org\r\n"
        "Cc: group: c1@example.org, \"C, Two\" <c2@example.org>;\r\n"
        "Reply-To: \"Sales; Team\" <sales@example.org>\r\n"
        "Message-ID: <abc@example.org>\r\n"
        "Disposition-Notification-To: Doe <receipts@example.org>\r\n"
        "Date: Tue, 15 Nov 1994 08:12:31 +0200\r\n"
        "Content-Type: text/plain; charset=\"Windows-1252\"\r\n"
        "\r\n");
    EXPECT_EQ(m.Subject(), QString::fromUtf8("Gr\xC3\xBC\xC3\x9F" "e aus Berlin"));
    EXPECT_EQ(m.SubjectBytes(), "Gr\xFC\xDF" "e aus Berlin");
    EXPECT_EQ(m.FromName(), "Doe, John");
    EXPECT_EQ(m.FromAddress(), "john@example.org");
    EXPECT_EQ(m.FromText(), "\"Doe, John\" <john@example.org>");
    ASSERT_EQ(m.ToCount(), 3);
    EXPECT_EQ(m.ToName(0), "Ann");
    EXPECT_EQ(m.ToName(1), QString::fromUtf8("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"));
    EXPECT_EQ(m.ToAddress(2), "third@example.org");
    EXPECT_EQ(m.ToName(3), "");
    EXPECT_EQ(m.ToName(-1), "");
    ASSERT_EQ(m.CcCount(), 2);
    EXPECT_EQ(m.CcName(1), "C, Two");
    EXPECT_EQ(m.CcAddress(0), "c1@example.org");
    EXPECT_EQ(m.ReplyToText(0), "\"Sales; Team\" <sales@example.org>");
    EXPECT_EQ(m.ReplyToText(1), "");
    EXPECT_EQ(m.MessageId(), "<abc@example.org>");
    EXPECT_EQ(m.DispositionNotificationTo(), "receipts@example.org");
    EXPECT_EQ(m.ContentType(), "text/plain");
    EXPECT_EQ(m.ContentTypeCharset(), "Windows-1252");
    EXPECT_EQ(m.HeaderLines().size(), 12);
    EXPECT_EQ(m.HeaderLines().at(2), " Berlin");
    EXPECT_EQ(m.HeaderValue("SUBJECT"), "=?iso-8859-1?Q?Gr=FC=DFe?= aus Berlin");
    // 1994-11-15 07:12:31 in Berlin, as days since 1899-12-30.
    EXPECT_NEAR(m.Date, 34653.300358796296, 1e-6);
    EXPECT_TRUE(m.TextParts().isEmpty());
}

TEST(MessageHeaders, ParsingKeepsUidAndFlags)
{
    MessageRecord m;
    m.UID = "UIDL-1";
    m.Flags = mfRecent | 0x01;
    m.raw = kMultipart;
    m.ParseWhole();
    EXPECT_EQ(m.UID, "UIDL-1");
    EXPECT_EQ(m.Flags, mfRecent | 0x01);
    m.DropBody();
    m.ParseHeaders();
    EXPECT_EQ(m.UID, "UIDL-1");
    EXPECT_EQ(m.Flags, mfRecent | 0x01);
    // A message whose own headers look like bookkeeping changes nothing.
    m.raw = "UID: other\r\nFlags: 0\r\nX-UIDL: zzz\r\n\r\n";
    m.ParseWhole();
    EXPECT_EQ(m.UID, "UIDL-1");
    EXPECT_EQ(m.Flags, mfRecent | 0x01);
}

TEST(HeaderCharset, FallbackOrder)
{
    // Encoded word first.
    EXPECT_EQ(Headers("Subject: =?windows-1257?Q?a?= x\r\nContent-Type: text/plain; "
                      "charset=koi8\r\n\r\n")
                  .HeaderCharset(HeaderKind::Subject, 0),
              4);
    // Then the Content-Type charset ("koi8" is KOI8-R).
    MessageRecord k = Headers("Subject: \xC1\xC2\r\nContent-Type: text/plain; charset=koi8\r\n\r\n");
    EXPECT_EQ(k.HeaderCharset(HeaderKind::Subject, 0), 13);
    EXPECT_EQ(k.Subject(), QString::fromUtf8("\xD0\xB0\xD0\xB1"));
    // Then the first text part with a known charset, also after DropBody.
    MessageRecord w = Whole(QByteArray(kMultipart).replace("Subject: parts", "Subject: \xC1\xC2"));
    EXPECT_EQ(w.HeaderCharset(HeaderKind::Subject, 0), 13);
    w.DropBody();
    EXPECT_EQ(w.HeaderCharset(HeaderKind::Subject, 0), 13);
    EXPECT_EQ(w.Subject(), QString::fromUtf8("\xD0\xB0\xD0\xB1"));
    // Nothing: 0, and the text is converted with DefIncomingEncoding.
    MessageRecord n = Headers("Subject: caf\xE9\r\n\r\n");
    EXPECT_EQ(n.HeaderCharset(HeaderKind::Subject, 0), 0);
    {
        DefaultCharset d(1);
        EXPECT_EQ(n.Subject(), QString::fromUtf8("caf\xC3\xA9"));
    }
    {
        // 12 as the default means the system code page: replaced, not skipped.
        DefaultCharset d(12);
        EXPECT_EQ(n.Subject(), QString::fromUtf8("caf\xEF\xBF\xBD"));
    }
}

TEST(HeaderCharset, AddressListsUseTheNaiveSplitAndOnlyFirstLines)
{
    MessageRecord m = Headers("To: a@x, =?koi8-r?B?wcI=?= <b@x>,\r\n"
                             " =?iso-8859-2?Q?=B1?= <c@x>\r\n"
                             "Cc: \"Last, First\" <l@x>\r\n\r\n");
    EXPECT_EQ(m.HeaderCharset(HeaderKind::To, 0), 0);
    EXPECT_EQ(m.HeaderCharset(HeaderKind::To, 1), 13);
    // The continuation line is not read: no third piece.
    EXPECT_EQ(m.HeaderCharset(HeaderKind::To, 2), 0);
    EXPECT_EQ(m.HeaderCharset(HeaderKind::To, 5), 0);
    // Each name still decodes with its own encoded words.
    EXPECT_EQ(m.ToName(1), QString::fromUtf8("\xD0\xB0\xD0\xB1"));
    EXPECT_EQ(m.ToName(2), QString::fromUtf8("\xC4\x85"));
    EXPECT_EQ(m.CcName(0), "Last, First");
}

TEST(HeaderCharset, MixedCharsetSubjectIsDecodedWordByWord)
{
    MessageRecord m = Headers("Subject: =?utf-8?Q?=E2=82=AC?= =?iso-8859-1?Q?caf=E9?= "
                             "=?Shift_JIS?B?gqA=?=\r\n\r\n");
    // The marker order still names ISO-8859-1 ...
    EXPECT_EQ(m.HeaderCharset(HeaderKind::Subject, 0), 1);
    // ... but every word shows with its own charset.
    EXPECT_EQ(m.Subject(), QString::fromUtf8("\xE2\x82\xAC" "caf\xC3\xA9\xE3\x81\x82"));
}

TEST(HeaderCharset, CharsetsOnlyIcuKnows)
{
    // Raw Shift_JIS in the subject, declared by the Content-Type.
    MessageRecord m = Headers("Subject: \x82\xA0\r\nContent-Type: text/plain; charset=Shift_JIS\r\n\r\n");
    EXPECT_EQ(m.HeaderCharset(HeaderKind::Subject, 0), 0);
    EXPECT_EQ(m.Subject(), QString(QChar(0x3042)));
    // us-ascii says nothing about 8-bit bytes: the default applies.
    DefaultCharset d(1);
    EXPECT_EQ(Headers("Subject: \xE9\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n").Subject(),
              QString(QChar(0xE9)));
}

TEST(MessageParts, TextPartsAndAttachments)
{
    MessageRecord m = Whole(kMultipart);
    EXPECT_EQ(m.ContentType(), "multipart/mixed");
    EXPECT_EQ(m.FromName(), QString::fromUtf8("J\xC3\xBCrgen"));
    ASSERT_EQ(m.TextParts().size(), 2);
    EXPECT_EQ(m.TextParts()[0].contentType, "text/plain");
    EXPECT_EQ(m.TextParts()[0].charset, "koi8-r");
    EXPECT_EQ(m.TextParts()[0].Text().trimmed(), QString::fromUtf8("\xD0\xB0\xD0\xB1\xD0\xB2"));
    EXPECT_EQ(m.TextParts()[1].Text(), QString::fromUtf8("<b>\xC3\xA9</b>"));
    ASSERT_EQ(m.Attachments().size(), 1);
    const vm::AttachmentPart& a = m.Attachments()[0];
    EXPECT_EQ(a.fileName, "report.pdf");
    EXPECT_EQ(a.contentType, "application/pdf");
    EXPECT_EQ(a.disposition, "attachment");
    EXPECT_EQ(a.data, "%PDF-");
    EXPECT_EQ(a.headerLines.size(), 3);
    EXPECT_EQ(m.attachmentCount, 1); // counted by ParseWhole

    m.DropBody();
    EXPECT_TRUE(m.TextParts().isEmpty());
    EXPECT_TRUE(m.Attachments().isEmpty());
    EXPECT_EQ(m.FromAddress(), "j@example.org");
    EXPECT_EQ(m.Subject(), "parts");
}

TEST(MessageParts, CopiesAreDeep)
{
    MessageRecord m = Whole(kMultipart);
    m.UID = "u1";
    m.size = 1234;
    m.serverNumber = 7;
    m.fresh = true;
    m.receiptState = 2;
    MessageRecord c(m);
    EXPECT_EQ(c.UID, "u1");
    EXPECT_EQ(c.size, 1234);
    EXPECT_EQ(c.serverNumber, 7);
    EXPECT_TRUE(c.fresh);
    EXPECT_EQ(c.receiptState, 2);
    EXPECT_FALSE(c.headersOnly);
    EXPECT_EQ(c.Subject(), "parts");
    ASSERT_NE(c.parsed(), m.parsed());
    m.DropBody();
    m.raw.clear();
    EXPECT_EQ(c.Attachments().size(), 1);
    EXPECT_EQ(c.raw, kMultipart);
    MessageRecord d;
    d = c;
    EXPECT_EQ(d.TextParts().size(), 2);
    d = MessageRecord();
    EXPECT_EQ(d.Subject(), "");
    EXPECT_EQ(d.parsed(), nullptr);
}

TEST(MalformedMessages, GivePartialResults)
{
    // Nothing at all.
    MessageRecord e = Whole("");
    EXPECT_EQ(e.Subject(), "");
    EXPECT_EQ(e.FromText(), "");
    // Headers without the blank line, body cut inside a multipart.
    MessageRecord t = Whole("Subject: cut\r\nFrom: a@b\r\nContent-Type: multipart/mixed; "
                           "boundary=zz\r\n\r\n--zz\r\nContent-Type: text/plain\r\n\r\nhal");
    EXPECT_EQ(t.Subject(), "cut");
    EXPECT_EQ(t.FromAddress(), "a@b");
    EXPECT_EQ(Whole("Subject: no end").Subject(), "no end");
    // An encoded word cut off, an unknown transfer encoding, broken base64.
    MessageRecord b = Whole("Subject: =?utf-8?B?w6\r\nFrom: <unterminated\r\n"
                           "Content-Transfer-Encoding: x-unknown\r\n\r\n\x01\x02");
    EXPECT_EQ(b.Subject(), "=?utf-8?B?w6");
    EXPECT_EQ(b.FromAddress(), "unterminated");
    // Binary garbage and deep nesting do not crash.
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919) & 0xFF));
    Whole(garbage);
    QByteArray nested = "Content-Type: multipart/mixed; boundary=a0\r\n\r\n";
    for (int i = 1; i < 300; ++i)
        nested += "--a" + QByteArray::number(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=a" +
                  QByteArray::number(i) + "\r\n\r\n";
    MessageRecord n = Whole(nested);
    EXPECT_TRUE(n.Attachments().size() <= 1);
}

// Anyone can mail a subject of 1 MB of "=?x?Q?a": openings of encoded words
// that never end. Decoding it for the list must cost about what a plain
// 1 MB subject costs (milliseconds); scanning to the end of the field from
// every opening took about a minute. The limit is far from both.
TEST(MalformedMessages, SubjectOfUnendedEncodedWordsDecodesInLinearTime)
{
    QByteArray subject;
    while (subject.size() < (1 << 20))
        subject += "=?x?Q?a";
    QElapsedTimer timer;
    timer.start();
    const MessageRecord m = Headers("From: a@example.org\r\nSubject: " + subject + "\r\n\r\n");
    EXPECT_EQ(m.Subject(), QString::fromLatin1(subject));
    EXPECT_EQ(m.SubjectBytes(), subject);
    EXPECT_LT(timer.elapsed(), 10000);
}
