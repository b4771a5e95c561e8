// A whole message whose MIME parts are parsed only when first needed must
// give exactly what a whole parse followed by dropping the body gives.

#include "mime/MessageRecord.h"

#include "core/DateTime.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "support/MessageCorpus.h"

#include "support/ScopedEnv.h"

#include <cstdlib>
#include <ctime>

using namespace vm;
using vm::test::ScopedEnv;

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
    const QString python = vm::test::PythonEmailTestData();
    const QString enmime = vm::test::EnmimeTestData();
    ASSERT_FALSE(python.isEmpty() || enmime.isEmpty());
    const QList<QPair<QString, QString>> corpora = {{python, "msg_*.txt"}, {enmime, "*.raw"}};
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
    EXPECT_GE(seen, 20) << "too few real-world messages found";
}

// The header parse takes the message date as the local day count in zones with and without
// summer time, at the start of 1970 and past 2038.
TEST(DeferredParts, DatesAreLocalDayCounts)
{
    // Days since 1899-12-30 00:00 on the local wall clock; the local times
    // and day counts were worked out with Python's zoneinfo.
    const struct
    {
        const char* date;
        double utc, berlin, newYork;
    } cases[] = {
        // 06:12:31 / 07:12:31 / 01:12:31 on 1994-11-15
        {"Tue, 15 Nov 1994 08:12:31 +0200", 34653.25869212963, 34653.300358796296,
         34653.050358796296},
        // 2024-07-01 06:59:59 / 08:59:59 / 02:59:59
        {"Sun, 30 Jun 2024 23:59:59 -0700", 45474.291655092595, 45474.37498842592,
         45474.12498842592},
        // 2024-03-31 01:30 / 03:30 (summer time began at 01:00 UTC) / 03-30 21:30
        {"Sun, 31 Mar 2024 01:30:00 +0000", 45382.0625, 45382.145833333336, 45381.895833333336},
        // 1970-01-01 00:00 / 01:00 / 1969-12-31 19:00
        {"Thu, 1 Jan 1970 00:00:00 +0000", 25569.0, 25569.041666666668, 25568.791666666668},
        // 2039-10-29 01:30 / 03:30 / 10-28 21:30
        {"Sat, 29 Oct 2039 01:30:00 +0000", 51072.0625, 51072.145833333336, 51071.895833333336},
    };
    ScopedEnv tz("TZ");
    for (const auto& c : cases) {
        const struct
        {
            const char* zone;
            double days;
        } zones[] = {{"UTC", c.utc}, {"Europe/Berlin", c.berlin}, {"America/New_York", c.newYork}};
        for (const auto& z : zones) {
            tz.Set(z.zone);
            MessageRecord m = Deferred(QByteArray("Date: ") + c.date + "\r\n\r\nx\r\n");
            EXPECT_NEAR(m.Date, z.days, 1e-9) << z.zone << " " << c.date;
        }
    }
}

} // namespace
