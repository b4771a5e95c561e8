// The MIME writer: exact header order and shapes, the encodings, and round
// trips through an independent parser (Python's email package).

#include "send/MimeWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "TestUtil.h"

using namespace vm;
using vmtest::Lines;

namespace {

WriterOptions FixedOptions(bool useB = false)
{
    WriterOptions o;
    o.headerCharset.label = "UTF-8";
    o.headerCharset.useB = useB;
    o.now = QDateTime(QDate(2025, 3, 4), QTime(9, 5, 7), QTimeZone(3600));
    return o;
}

void FillBasic(OutgoingMessage& m)
{
    m.from = {{"Anna Nowak", "anna@example.org"}};
    m.subject = "Hello";
    m.to = {{"", "bob@example.com"}};
    m.charset = "utf-8";
    m.messageId = "<AbCdEfGh12345678@example.org>";
    m.extraHeaders.SetValue("X-Mailer", "Velmora");
    OutgoingText& t = m.AddText();
    t.contentType = "text/plain";
    t.charset = "utf-8";
    t.SetBodyText("Hi Bob");
}

QList<QByteArray> HeaderBlock(const QByteArray& message)
{
    const qsizetype end = message.indexOf("\r\n\r\n");
    return Lines(message.left(end + 2));
}

QList<QByteArray> HeaderNames(const QList<QByteArray>& block)
{
    QList<QByteArray> names;
    for (const QByteArray& l : block) {
        if (!l.startsWith(' ') && !l.startsWith('\t'))
            names.append(l.left(l.indexOf(':')));
    }
    return names;
}

QByteArray WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& data)
{
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
    return f.fileName().toUtf8();
}

} // namespace

TEST(MimeWriterLayout, SinglePartMessageHasExactHeaderOrderAndShape)
{
    OutgoingMessage m;
    FillBasic(m);
    const QByteArray text = WriteMessage(m, FixedOptions());
    const QList<QByteArray> expected = {
        "From: \"Anna Nowak\" <anna@example.org>",
        "Subject: Hello",
        "To: bob@example.com",
        "MIME-Version: 1.0",
        "Date: Tue, 4 Mar 2025 09:05:07 +0100",
        "X-Mailer: Velmora",
        "Message-ID: <AbCdEfGh12345678@example.org>",
        "Content-Type: text/plain ; charset=\"utf-8\"",
        "Content-Transfer-Encoding: quoted-printable",
        "",
        "Hi Bob",
        "",
    };
    EXPECT_EQ(Lines(text), expected);
}

TEST(MimeWriterLayout, TwoAttachmentsMakeMultipartMixedWithSharedBoundary)
{
    QTemporaryDir dir;
    OutgoingMessage m;
    FillBasic(m);
    m.AddAttachmentFile(QString::fromUtf8(WriteFile(dir, "a.bin", QByteArray(100, '\x01'))));
    m.AddAttachmentFile(QString::fromUtf8(WriteFile(dir, "b.txt", "plain")));
    const QByteArray text = WriteMessage(m, FixedOptions());
    const QByteArray b = MimeBoundary();
    const QList<QByteArray> lines = Lines(text);
    const QList<QByteArray> head = {
        "From: \"Anna Nowak\" <anna@example.org>",
        "Subject: Hello",
        "To: bob@example.com",
        "Content-Type: multipart/mixed;",
        "\tcharset=\"utf-8\"; boundary=\"" + b + "\"",
        "MIME-Version: 1.0",
        "Date: Tue, 4 Mar 2025 09:05:07 +0100",
        "X-Mailer: Velmora",
        "Message-ID: <AbCdEfGh12345678@example.org>",
        "",
        "This is a multi-part message in MIME format",
        "",
        "--" + b,
        "Content-Type: text/plain ; charset=\"utf-8\"",
        "Content-Transfer-Encoding: quoted-printable",
        "",
        "Hi Bob",
        "",
        "--" + b,
        "Content-Type: application/octet-stream;",
        "        name=\"a.bin\"",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: attachment;",
        "        filename=\"a.bin\"",
        "",
    };
    ASSERT_GT(lines.size(), head.size());
    EXPECT_EQ(lines.mid(0, head.size()), head);
    EXPECT_EQ(lines.count("--" + b), 3);
    EXPECT_EQ(lines.at(lines.size() - 2), "--" + b + "--");
    EXPECT_EQ(lines.back(), "");

    // A second message of the same run uses the same boundary.
    OutgoingMessage m2;
    FillBasic(m2);
    m2.AddAttachmentMemory("x");
    EXPECT_TRUE(WriteMessage(m2, FixedOptions()).contains("--" + b + "--\r\n"));
}

TEST(MimeWriterLayout, LinesLeftOutAndPriority)
{
    {
        SCOPED_TRACE("empty subject, only Bcc, no sender name, normal priority");
        OutgoingMessage m;
        FillBasic(m);
        m.subject.clear();
        m.to.clear();
        m.bcc = {{"Hidden", "hidden@example.net"}};
        m.from = {{"", "anna@example.org"}};
        const QList<QByteArray> block = HeaderBlock(WriteMessage(m, FixedOptions()));
        const QList<QByteArray> names = HeaderNames(block);
        EXPECT_FALSE(names.contains("Subject"));
        EXPECT_FALSE(names.contains("To"));
        EXPECT_FALSE(names.contains("Bcc"));
        EXPECT_FALSE(names.contains("X-Priority"));
        EXPECT_EQ(block.front(), "From: \"anna@example.org\" <anna@example.org>");
    }
    const QList<QPair<Priority, QByteArray>> priorities = {
        {mpHighest, "1"}, {mpHigh, "2"}, {mpLow, "4"}, {mpLowest, "5"}};
    for (const auto& [prio, value] : priorities) {
        OutgoingMessage m;
        FillBasic(m);
        m.priority = prio;
        m.replyTo = {{"", "reply@example.org"}};
        m.receiptRecipient = {"Anna Nowak", "anna@example.org"};
        m.cc = {{"Carl", "carl@example.com"}};
        const QList<QByteArray> block = HeaderBlock(WriteMessage(m, FixedOptions()));
        EXPECT_EQ(
            HeaderNames(block),
            (QList<QByteArray>{"From", "Subject", "To", "Cc", "MIME-Version", "Reply-To",
                               "Disposition-Notification-To", "Date", "X-Priority", "X-Mailer",
                               "Message-ID", "Content-Type", "Content-Transfer-Encoding"}));
        EXPECT_TRUE(block.contains("X-Priority: " + value));
        EXPECT_TRUE(
            block.contains("Disposition-Notification-To: \"Anna Nowak\" <anna@example.org>"));
    }
}

TEST(MimeWriterEncoding, QuotedPrintableDotsBlanksAndLongLines)
{
    const QByteArray equals(100, '=');
    const QByteArray qp = EncodeQuotedPrintable(
        {".", "..two", "ends in blank ", "ends in tab\t", "mid dle", equals, "caf\xc3\xa9"});
    const QList<QByteArray> lines = Lines(qp);
    EXPECT_EQ(lines[0], "=2E");
    EXPECT_EQ(lines[1], "=2E.two");
    EXPECT_EQ(lines[2], "ends in blank=20");
    EXPECT_EQ(lines[3], "ends in tab=09");
    EXPECT_EQ(lines[4], "mid dle");
    EXPECT_EQ(lines.back(), "caf=C3=A9");
    for (const QByteArray& l : lines) {
        EXPECT_LE(l.size(), 76) << l.constData();
        EXPECT_FALSE(l.startsWith('.'));
        // An "=XX" group is never split by a soft break.
        if (l.endsWith('=') && l.size() >= 2) {
            EXPECT_NE(l.at(l.size() - 2), '=') << l.constData();
        }
    }

    // A soft break just before a full stop moves it to the start of a line.
    const QByteArray dotted = QByteArray(75, 'a') + ".b";
    const QList<QByteArray> d = Lines(EncodeQuotedPrintable({dotted}));
    ASSERT_EQ(d.size(), 2);
    EXPECT_EQ(d[0], QByteArray(75, 'a') + "=");
    EXPECT_EQ(d[1], "=2Eb");

    // A line of exactly 76 characters needs no soft break.
    EXPECT_EQ(Lines(EncodeQuotedPrintable({QByteArray(76, 'x')})).size(), 1);
}

TEST(MimeWriterEncoding, Base64LinesOf76)
{
    QByteArray data;
    for (int i = 0; i < 1000; ++i)
        data += char(i * 7);
    const QList<QByteArray> lines = Lines(EncodeBase64Lines(data));
    for (int i = 0; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i].size(), 76);
    EXPECT_EQ(QByteArray::fromBase64(lines.join()), data);
    EXPECT_TRUE(EncodeBase64Lines({}).isEmpty());
}

TEST(MimeWriterEncoding, EncodedWordStretchAndLimits)
{
    // Non-ASCII in the first and last words: one Q stretch over all of them.
    const QByteArray subject = "\xc5\xbb\xc3\xb3\xc5\x82w i kot \xc5\x82\xc3\xb3\x64\xc5\xba";
    const QByteArray enc = EncodeHeaderWords("Re: " + subject + " (2)", "utf-8", false);
    EXPECT_EQ(enc, "Re: =?utf-8?Q?=C5=BB=C3=B3=C5=82w_i_kot_=C5=82=C3=B3d=C5=BA?= (2)");

    // Plain ASCII stays as it is.
    EXPECT_EQ(EncodeHeaderWords("Just ASCII", "utf-8", false), "Just ASCII");
    // Text that looks like an encoded word is protected.
    EXPECT_EQ(EncodeHeaderWords("a =?x?Q?y?= b", "utf-8", false),
              "a =?utf-8?Q?=3D=3Fx=3FQ=3Fy=3F=3D?= b");

    // Long texts: words at most 75 characters, UTF-8 characters never split.
    QByteArray longText;
    for (int i = 0; i < 40; ++i)
        longText += "\xd0\xb6\xd1\x91 ";
    for (bool useB : {false, true}) {
        const QByteArray e = EncodeHeaderWords(longText.trimmed(), "utf-8", useB);
        const QByteArrayList words = e.split('\n');
        EXPECT_GT(words.size(), 1);
        QByteArray decoded;
        for (QByteArray w : words) {
            w = w.trimmed();
            EXPECT_LE(w.size(), 75) << w.constData();
            ASSERT_TRUE(w.startsWith(useB ? "=?utf-8?B?" : "=?utf-8?Q?")) << w.constData();
            QByteArray data = w.mid(10, w.size() - 12);
            QByteArray bytes;
            if (useB) {
                bytes = QByteArray::fromBase64(data);
            } else {
                data.replace('_', ' ');
                bytes = QByteArray::fromPercentEncoding(data, '=');
            }
            // Each word decodes to whole characters on its own.
            EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes);
            decoded += bytes;
        }
        EXPECT_EQ(decoded, longText.trimmed());
    }
}

TEST(MimeWriterEncoding, DisplayNamesSpecialsAndQuoting)
{
    HeaderCharset hc;
    const MailAddressList list = {
        {"Smith, John \"JJ\"", "jj@example.com"},
        {"M\xc3\xbcller (Sales)", "m@example.de"},
        {"", "plain@example.com"},
    };
    EXPECT_EQ(FormatAddressList(list, false, hc),
              "\"Smith, John \\\"JJ\\\"\" <jj@example.com>, "
              "=?UTF-8?Q?M=C3=BCller_=28Sales=29?= <m@example.de>, plain@example.com");
}

TEST(MimeWriterEncoding, FoldingKeepsLinesWithin78OutsideQuotes)
{
    QByteArray value;
    for (int i = 0; i < 12; ++i)
        value += (i ? ", " : "") + QByteArray("\"Person, Number ") + QByteArray::number(i) +
                 "\" <person" + QByteArray::number(i) + "@example.com>";
    const QByteArray folded = FoldHeaderLine("To: " + value);
    const QByteArrayList lines = folded.split('\n');
    EXPECT_GT(lines.size(), 3);
    for (QByteArray l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
        EXPECT_LE(l.size(), 78) << l.constData();
        EXPECT_FALSE(l.endsWith(' '));
        // Each piece has an even number of quotes: no fold inside a quoted name.
        EXPECT_EQ(l.count('"') % 2, 0) << l.constData();
    }
    QByteArray unfolded = folded;
    unfolded.replace("\r\n", "");
    EXPECT_EQ(unfolded, "To: " + value);
    // A line without any fold position stays whole.
    const QByteArray word(120, 'x');
    EXPECT_EQ(FoldHeaderLine("X-Long: " + word), "X-Long: " + word);
}

TEST(MimeWriterEncoding, DateUsesEnglishNamesAndTheOffset)
{
    EXPECT_EQ(
        Rfc5322Date(QDateTime(QDate(2024, 12, 29), QTime(23, 0, 1), QTimeZone(-(3 * 3600 + 1800)))),
        "Sun, 29 Dec 2024 23:00:01 -0330");
    EXPECT_EQ(Rfc5322Date(QDateTime(QDate(2025, 7, 1), QTime(0, 0), QTimeZone::utc())),
              "Tue, 1 Jul 2025 00:00:00 +0000");
}

TEST(MimeWriterEncoding, BoundaryAndMessageIdAreRandomAndWellFormed)
{
    const QByteArray& b = MimeBoundary();
    ASSERT_EQ(b.size(), 34);
    const qsizetype pair = b.indexOf("=_");
    EXPECT_GE(pair, 1);
    EXPECT_LE(pair, 32);
    EXPECT_EQ(&MimeBoundary(), &b);

    QSet<QByteArray> ids;
    static const QRegularExpression shape(QStringLiteral("^<[0-9A-Za-z]{16}@example\\.org>$"));
    for (int i = 0; i < 5000; ++i) {
        const QByteArray id = NewMessageId("Anna@example.org");
        EXPECT_TRUE(shape.match(QString::fromLatin1(id)).hasMatch()) << id.constData();
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 5000);
    EXPECT_FALSE(NewMessageId("nodomain").endsWith("@>"));
}

TEST(MimeWriterSafety, LineBreaksInTypedTextsNeverOpenNewHeaders)
{
    OutgoingMessage m;
    FillBasic(m);
    m.subject = "Hi\r\nBcc: victim@example.com";
    m.from = {{"Evil\r\nX-Injected: 1", "anna@example.org\r\nX-Bad: 2"}};
    m.to = {{"Bob\nCc: x@example.com", "bob@example.com"}};
    const QByteArray text = WriteMessage(m, FixedOptions());
    const QList<QByteArray> names = HeaderNames(HeaderBlock(text));
    EXPECT_FALSE(names.contains("Bcc"));
    EXPECT_FALSE(names.contains("X-Injected"));
    EXPECT_FALSE(names.contains("X-Bad"));
    EXPECT_FALSE(names.contains("Cc"));
    const QJsonObject parsed = vmtest::ParseWithPython(text);
    EXPECT_EQ(parsed["subject"].toString(), "Hi  Bcc: victim@example.com");
}

TEST(MimeWriterFiles, UnreadableAttachmentFailsAndTemporaryFilesGoWithTheMessage)
{
    QTemporaryDir dir;
    {
        OutgoingMessage m;
        FillBasic(m);
        m.AddAttachmentFile(dir.filePath("missing.bin"));
        EXPECT_THROW(WriteMessage(m, FixedOptions()), MessageWriteError);
    }
    const QString temp = QString::fromUtf8(WriteFile(dir, "temp.txt", "x"));
    const QString kept = QString::fromUtf8(WriteFile(dir, "kept.txt", "y"));
    {
        OutgoingMessage m;
        m.AddAttachmentFile(temp, true);
        m.AddAttachmentFile(kept, false);
    }
    EXPECT_FALSE(QFile::exists(temp));
    EXPECT_TRUE(QFile::exists(kept));
}

// ---- Round trips through Python's email package --------------------------

struct RoundTripCase
{
    const char* name;
    const char* qtCharset; // for building the bytes
    QByteArray label;      // written into the message
    QString text;
    bool html;
    bool attachments;
    bool useB;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.name;
}

class MimeWriterRoundTrip : public ::testing::TestWithParam<RoundTripCase>
{
};

TEST_P(MimeWriterRoundTrip, IndependentParserSeesWhatWentIn)
{
    const RoundTripCase& c = GetParam();
    QTemporaryDir dir;

    QString body = c.text + "\n.\n..two dots\n.leading dot\ntrailing blank \ntrailing tab\t\n" +
                   QString(40, QChar('x')) + " " + c.text + " " + c.text + " " + c.text + "\n" +
                   "a=b =?utf-8?Q?no?= _under_\n\nlast";
    if (c.html)
        body = "<html><body><p>" + body + "</p></body></html>";

    OutgoingMessage m;
    m.from = {
        {QString::fromUtf8("Zo\xc3\xab M\xc3\xbcller-\xc5\x81uk").toUtf8(), "zoe@example.org"}};
    m.to = {{"Bob \"the\" Builder", "bob@example.com"}, {"", "plain@example.com"}};
    m.cc = {{QString::fromUtf8("\xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd, \xd0\x9f.").toUtf8(),
             "ivan@example.ru"}};
    m.bcc = {{"", "hidden@example.com"}};
    m.charset = c.label;
    const QString plainSubject = "Re: (" + c.text + ") end? =_";
    m.subject = vmtest::Encode(plainSubject, c.qtCharset);
    m.messageId = NewMessageId("zoe@example.org");
    OutgoingText& t = m.AddText();
    t.contentType = c.html ? "text/html" : "text/plain";
    t.charset = c.label;
    t.SetBodyText(vmtest::Encode(body, c.qtCharset));

    QByteArray binary;
    for (int i = 0; i < 3000; ++i)
        binary += char((i * 31) ^ (i >> 3));
    const QString unicodeName =
        QString::fromUtf8("zdj\xc4\x99\x63ie \xc5\xbc\xc3\xb3\xc5\x82w.bin");
    const QString longName = QString(30, QChar(0x0436)) + ".txt";
    if (c.attachments) {
        m.AddAttachmentFile(QString::fromUtf8(WriteFile(dir, unicodeName, binary)));
        m.AddAttachmentFile(QString::fromUtf8(WriteFile(dir, longName, ".dot line\r\nsecond\r\n")));
        m.AddAttachmentFile(QString::fromUtf8(WriteFile(dir, "quote\"d.txt", "q")));
    }
    WriterOptions o = FixedOptions(c.useB);
    const QByteArray message = WriteMessage(m, o);

    // Shape: every line ends in CR LF; header lines stay within 78 where
    // folding is possible, encoded words within 75.
    for (const QByteArray& l : Lines(message))
        EXPECT_LE(l.size(), 78) << l.constData();
    static const QRegularExpression word(QStringLiteral("=\\?[^?]+\\?[BQ]\\?[^?]*\\?="));
    auto it = word.globalMatch(QString::fromLatin1(message.left(message.indexOf("\r\n\r\n"))));
    while (it.hasNext())
        EXPECT_LE(it.next().capturedLength(), 75);

    const QJsonObject p = vmtest::ParseWithPython(message);
    EXPECT_TRUE(p["defects"].toArray().isEmpty()) << QJsonDocument(p).toJson().constData();
    EXPECT_EQ(p["subject"].toString(), plainSubject);
    EXPECT_EQ(p["from"].toArray()[0].toArray()[0].toString(),
              QString::fromUtf8("Zo\xc3\xab M\xc3\xbcller-\xc5\x81uk"));
    EXPECT_EQ(p["from"].toArray()[0].toArray()[1].toString(), "zoe@example.org");
    const QJsonArray to = p["to"].toArray();
    ASSERT_EQ(to.size(), 2);
    EXPECT_EQ(to[0].toArray()[0].toString(), "Bob \"the\" Builder");
    EXPECT_EQ(to[1].toArray()[1].toString(), "plain@example.com");
    EXPECT_EQ(p["cc"].toArray()[0].toArray()[0].toString(),
              QString::fromUtf8("\xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd, \xd0\x9f."));
    EXPECT_FALSE(p["headers"].toArray().contains("Bcc"));

    const QJsonArray parts = p["parts"].toArray();
    ASSERT_EQ(parts.size(), c.attachments ? 4 : 1);
    const QJsonObject textPart = parts[0].toObject();
    EXPECT_TRUE(textPart["defects"].toArray().isEmpty());
    EXPECT_EQ(textPart["content_type"].toString(), c.html ? "text/html" : "text/plain");
    QString got = textPart["text"].toString();
    got.replace("\r\n", "\n");
    while (got.endsWith('\n'))
        got.chop(1);
    EXPECT_EQ(got, body);
    if (c.attachments) {
        EXPECT_EQ(parts[1].toObject()["filename"].toString(), unicodeName);
        EXPECT_EQ(QByteArray::fromBase64(parts[1].toObject()["bytes"].toString().toLatin1()),
                  binary);
        EXPECT_EQ(parts[2].toObject()["filename"].toString(), longName);
        EXPECT_EQ(QByteArray::fromBase64(parts[2].toObject()["bytes"].toString().toLatin1()),
                  ".dot line\r\nsecond\r\n");
        EXPECT_EQ(parts[3].toObject()["filename"].toString(), "quote\"d.txt");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Charsets, MimeWriterRoundTrip,
    ::testing::Values(
        RoundTripCase{
            "utf8_plain", "UTF-8", "utf-8",
            QString::fromUtf8("Gr\xc3\xbc\xc3\x9f\x65 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80"),
            false, false, false},
        RoundTripCase{
            "utf8_html_attach_b", "UTF-8", "utf-8",
            QString::fromUtf8("\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 \xe2\x9c\x93"),
            true, true, true},
        RoundTripCase{
            "latin2_plain_attach", "ISO-8859-2", "ISO-8859-2",
            QString::fromUtf8("Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87 g\xc4\x99\xc5\x9bl\xc4\x85"),
            false, true, false},
        RoundTripCase{"cp1250_html", "windows-1250", MimeCharsetLabel("Windows1250"),
                      QString::fromUtf8("\xc5\xbb\xc3\xb3\xc5\x82w \xc5\xa0\xc5\xa5"
                                        "astn\xc3\xbd"),
                      true, false, false},
        RoundTripCase{"cp1250_plain_attach_b", "windows-1250", MimeCharsetLabel("Windows1250"),
                      QString::fromUtf8("\xc5\xbb\xc3\xb3\xc5\x82w \xc5\xa0\xc5\xa5"
                                        "astn\xc3\xbd"),
                      false, true, true},
        RoundTripCase{
            "koi8r_plain", "KOI8-R", "KOI8-R",
            QString::fromUtf8("\xd0\xa1\xd1\x8a\xd0\xb5\xd1\x88\xd1\x8c \xd0\xb5\xd1\x89\xd1\x91"),
            false, false, true},
        RoundTripCase{
            "koi8r_html_attach", "KOI8-R", "KOI8-R",
            QString::fromUtf8("\xd0\xa1\xd1\x8a\xd0\xb5\xd1\x88\xd1\x8c \xd0\xb5\xd1\x89\xd1\x91"),
            true, true, false}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) {
        return std::string(info.param.name);
    });

TEST(MimeWriterEncoding, WindowsCodePageNamesGetTheirRegisteredLabels)
{
    EXPECT_EQ(MimeCharsetLabel("Windows1250"), "windows-1250");
    EXPECT_EQ(MimeCharsetLabel("Windows1258"), "windows-1258");
    EXPECT_EQ(MimeCharsetLabel("UTF-8"), "utf-8");
    EXPECT_EQ(MimeCharsetLabel("KOI8-R"), "KOI8-R");
    EXPECT_EQ(MimeCharsetLabel("ISO-8859-2"), "ISO-8859-2");
}
