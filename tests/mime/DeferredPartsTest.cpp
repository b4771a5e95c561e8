// A whole message whose MIME parts are parsed only when first needed must
// give exactly what a whole parse followed by dropping the body gives.

#include "mime/MessageRecord.h"

#include "core/DateTime.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace vm;

namespace {

using vm::HeaderKind;

MessageRecord Eager(const QByteArray& raw)
{
    MessageRecord m;
    m.raw = raw;
    m.headersOnly = false;
    m.ParseWhole();
    m.DropBody();
    return m;
}

MessageRecord Deferred(const QByteArray& raw)
{
    MessageRecord m;
    m.raw = raw;
    m.headersOnly = false;
    m.ParseWholeDeferred();
    return m;
}

// Every decoded header field of the list, the details and the replies.
QStringList Fields(const MessageRecord& m)
{
    QStringList out{m.Subject(), m.FromText(), m.FromName()};
    for (int i = 0; i < m.ToCount(); ++i)
        out << m.ToName(i);
    for (int i = 0; i < m.CcCount(); ++i)
        out << m.CcName(i);
    for (int i = 0; i < m.ReplyToCount(); ++i)
        out << m.ReplyToText(i);
    return out;
}

QList<int> Charsets(const MessageRecord& m)
{
    QList<int> out;
    for (HeaderKind k : {HeaderKind::Subject, HeaderKind::From, HeaderKind::To, HeaderKind::Cc,
                         HeaderKind::ReplyTo})
        out << m.HeaderCharset(k, 0);
    return out;
}

// Compares one message both ways, asking the deferred records in both
// orders (fields first, count first).
void ExpectSame(const QByteArray& raw, const QString& what)
{
    MessageRecord eager = Eager(raw);
    MessageRecord fieldsFirst = Deferred(raw);
    MessageRecord countFirst = Deferred(raw);
    EXPECT_EQ(fieldsFirst.Date, eager.Date) << what.toStdString();
    EXPECT_EQ(fieldsFirst.DispositionNotificationTo(), eager.DispositionNotificationTo());

    const QStringList fields = Fields(eager);
    EXPECT_EQ(Fields(fieldsFirst), fields) << what.toStdString();
    EXPECT_EQ(Charsets(fieldsFirst), Charsets(eager)) << what.toStdString();
    EXPECT_EQ(fieldsFirst.VisibleAttachmentCount(), eager.VisibleAttachmentCount())
        << what.toStdString();

    EXPECT_EQ(countFirst.VisibleAttachmentCount(), eager.attachmentCount) << what.toStdString();
    EXPECT_EQ(Fields(countFirst), fields) << what.toStdString();
    EXPECT_EQ(Charsets(countFirst), Charsets(eager)) << what.toStdString();

    // A copy taken before anything was asked answers the same.
    MessageRecord original = Deferred(raw);
    MessageRecord copy(original);
    EXPECT_EQ(Fields(copy), fields) << what.toStdString();
}

QByteArray Multipart(const QByteArray& topHeaders, const QByteArray& textPartType,
                     const QByteArray& textBody, const QByteArray& extraPart = {})
{
    return topHeaders +
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"xx\"\r\n\r\n"
           "--xx\r\nContent-Type: " +
           textPartType + "\r\n\r\n" + textBody + "\r\n" + extraPart + "--xx--\r\n";
}

TEST(DeferredParts, RawEightBitSubjectTakesTheTextPartCharsetWhenFirstAsked)
{
    // "Привет" in KOI8-R, written raw; only the text part names the charset.
    const QByteArray subject("\xF0\xD2\xC9\xD7\xC5\xD4");
    const QByteArray raw = Multipart("From: \xE9\xD7\xC1\xCE <ivan@example.org>\r\n"
                                     "To: a@example.org\r\nSubject: " +
                                         subject + "\r\n",
                                     "text/plain; charset=koi8-r", "body");
    MessageRecord m = Deferred(raw);
    EXPECT_EQ(m.attachmentCount, -1);
    EXPECT_EQ(m.Subject(), QString::fromUtf8("Привет"));
    EXPECT_EQ(m.FromName(), QString::fromUtf8("Иван"));
    EXPECT_EQ(m.HeaderCharset(HeaderKind::Subject, 0), 13);
    EXPECT_EQ(m.VisibleAttachmentCount(), 0);
    ExpectSame(raw, "koi8-r text part");
}

TEST(DeferredParts, AsciiTextAndWideTextPartCharsets)
{
    // Plain ASCII with an ordinary text part charset, and with a charset that
    // does not keep ASCII bytes (the fallback then changes even ASCII text).
    ExpectSame(Multipart("Subject: Quarterly report\r\nFrom: Anna <a@example.org>\r\n",
                         "text/plain; charset=windows-1251", "x"),
               "ascii subject");
    ExpectSame(Multipart("Subject: Hello there\r\nFrom: Anna <a@example.org>\r\n",
                         "text/plain; charset=\"UTF-16LE\"", "x"),
               "utf-16 text part");
    ExpectSame(Multipart("Subject: Hello there\r\n", "text/plain; charset=ISO-2022-JP", "x"),
               "iso-2022 text part");
}

TEST(DeferredParts, AttachmentCountsWithNamesInAnyLetterCase)
{
    const QByteArray named = "--xx\r\nContent-Type: application/pdf\r\n"
                             "Content-Disposition: attachment;\r\n\tFILENAME=\"a.pdf\"\r\n\r\n"
                             "JVBERi0=\r\n";
    const QByteArray embedded = "--xx\r\nContent-Type: image/png; Name=\"p.png\"\r\n"
                                "Content-ID: <p1>\r\n\r\niVBORw0=\r\n";
    const QByteArray nameless = "--xx\r\nContent-Type: application/octet-stream\r\n\r\nAAAA\r\n";
    const QByteArray headers = "Subject: files\r\nFrom: a@example.org\r\n";

    MessageRecord m = Deferred(Multipart(headers, "text/plain", "see attached", named + embedded));
    EXPECT_EQ(m.VisibleAttachmentCount(), 1);
    EXPECT_EQ(m.attachmentCount, 1);

    // "name" in the body text only: nothing to count.
    MessageRecord body =
        Deferred(Multipart(headers, "text/plain", "your name: filename=\"x.txt\"", nameless));
    EXPECT_EQ(body.VisibleAttachmentCount(), 0);

    ExpectSame(Multipart(headers, "text/plain", "t", named + embedded), "named and embedded");
    ExpectSame(Multipart(headers, "text/plain", "name=\"x\"", nameless), "nameless part");
    // A single-part message that is itself an attachment.
    ExpectSame(headers + "Content-Type: application/zip; name=\"a.zip\"\r\n\r\nUEsDBA==\r\n",
               "single attachment");
    // A record parsed only as headers keeps counting nothing.
    MessageRecord h;
    h.raw = headers + "\r\n";
    h.ParseHeaders();
    EXPECT_EQ(h.VisibleAttachmentCount(), 0);
    EXPECT_EQ(h.attachmentCount, -1);
}

// The real-world messages of the corpus comparison, both ways.
TEST(DeferredParts, CorpusMessagesMatchTheWholeParse)
{
    const QList<QPair<QString, QString>> corpora = {
        {"/usr/lib/python3.11/test/test_email/data", "msg_*.txt"},
        {"/usr/share/gocode/src/github.com/jhillyerd/enmime/testdata", "*.raw"},
    };
    int seen = 0;
    for (const auto& [dir, pattern] : corpora) {
        QStringList files;
        for (const QFileInfo& fi : QDir(dir).entryInfoList(QStringList{pattern}, QDir::Files))
            files << fi.filePath();
        for (const QFileInfo& sub : QDir(dir).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QFileInfo& fi :
                 QDir(sub.filePath()).entryInfoList(QStringList{pattern}, QDir::Files))
                files << fi.filePath();
        for (const QString& path : files) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            ExpectSame(f.readAll(), path);
            ++seen;
        }
    }
    if (seen == 0)
        GTEST_SKIP() << "no message corpus installed";
}

// The header parse takes the message date as the local day count, the same
// as converting the instant through QDateTime, in zones with and without
// summer time, at the start of 1970 and past 2038.
TEST(DeferredParts, DatesAreLocalDayCounts)
{
    const QByteArray oldTz = qgetenv("TZ");
    for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York"}) {
        qputenv("TZ", zone);
        tzset();
        for (const char* date :
             {"Tue, 15 Nov 1994 08:12:31 +0200", "Sun, 30 Jun 2024 23:59:59 -0700",
              "Sun, 31 Mar 2024 01:30:00 +0000", "Thu, 1 Jan 1970 00:00:00 +0000",
              "Sat, 29 Oct 2039 01:30:00 +0000"}) {
            MessageRecord m = Deferred(QByteArray("Date: ") + date + "\r\n\r\nx\r\n");
            const QDateTime instant = QDateTime::fromString(date, Qt::RFC2822Date);
            ASSERT_TRUE(instant.isValid()) << date;
            EXPECT_NEAR(m.Date, vm::ToDays(instant.toLocalTime()), 1e-9) << zone << " " << date;
        }
    }
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
}

} // namespace
