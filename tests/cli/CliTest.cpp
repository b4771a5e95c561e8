// The built program's commands for scripts, run as a separate process with
// --data-dir on a temporary directory against a real Dovecot.

#include <gtest/gtest.h>

#include "support/MessageCorpus.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/SingleInstance.h"
#include "cli/CommandRun.h"
#include "support/DovecotFixture.h"

using namespace vm;

using vm::test::DovecotFixture;

namespace {

using Result = vm::test::CommandResult;
using vm::test::ProgramPath;

// Collapses runs of blanks, the way header folding may differ.
QString Simplified(const QString& s)
{
    return s.simplified();
}

class Cli : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { vm::test::EnsureCoreApplication(); }

    void SetUp() override
    {
        if (!QFile::exists(ProgramPath()))
            GTEST_SKIP() << "the program is not built";
        if (!DovecotFixture::Available())
            GTEST_SKIP() << "dovecot is not installed";
        ASSERT_TRUE(dc.Start()) << dc.LastError().toStdString();
        dc.AddUser("bob", "secret");
        ASSERT_TRUE(data.isValid());
    }

    Result Run(const QStringList& args, const QByteArray& input = {})
    {
        return vm::test::RunCommand(data.path(), args, input);
    }

    Result AddBob(const QStringList& extra = {})
    {
        return Run(QStringList{"--add-account", "--login", "bob", "--server", "127.0.0.1", "--port",
                               QString::number(dc.Pop3Port()), "--name", "Bob",
                               "--password-stdin"} +
                       extra,
                   "secret\n");
    }

    // The settings file for a check that fetches every message whole (old
    // ones too) or only header blocks, and keeps what it fetched.
    void WriteDownloadSettings(bool whole)
    {
        QFile ini(data.path() + "/velmora.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(whole ? "[GENERAL]\r\nMessagesDownloadRange=1\r\nOldMessagesGetHeaders=0\r\n"
                          "OldMessagesSaveHeaders=0\r\nMessageSaveRange=2\r\n"
                        : "[GENERAL]\r\nMessagesDownloadRange=0\r\nOldMessagesSaveHeaders=0\r\n"
                          "MessageSaveRange=2\r\n");
    }

    QJsonArray ListJson()
    {
        const Result r = Run({"--list", "Bob", "--json"});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out.toUtf8()).array();
    }

    DovecotFixture dc;
    QTemporaryDir data;
};

QStringList CorpusFiles()
{
    QStringList files;
    const QString python = vm::test::PythonEmailTestData();
    const QString enmime = vm::test::EnmimeTestData();
    if (python.isEmpty() || enmime.isEmpty())
        return {};
    for (const QString& dir : {python, enmime + QStringLiteral("/mail")}) {
        QDirIterator it(dir, {"msg_*.txt", "*.raw"}, QDir::Files);
        while (it.hasNext())
            files.append(it.next());
    }
    files.sort();
    return files;
}

} // namespace

TEST_F(Cli, CheckThenListShowTheSameHeadersAsAnIndependentDecoder)
{
    const QStringList files = CorpusFiles();
    ASSERT_GE(files.size(), 20) << "too few real-world messages found";
    for (const QString& f : files) {
        QFile file(f);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        dc.Deliver("bob", file.readAll());
    }
    ASSERT_EQ(AddBob().code, 0);

    // Every message whole, whatever its age or size.
    WriteDownloadSettings(true);

    const Result check = Run({"--check"});
    ASSERT_EQ(check.code, 0) << ::testing::PrintToString(check);
    EXPECT_EQ(check.out, QStringLiteral("Bob\t%1\n").arg(files.size()));

    QProcess py;
    py.start("python3",
             QStringList{QStringLiteral(VELMORA_SOURCE_DIR "/tests/cli/decode_headers.py")} +
                 files);
    ASSERT_TRUE(py.waitForFinished(60000));
    const QJsonArray expected = QJsonDocument::fromJson(py.readAllStandardOutput()).array();
    ASSERT_EQ(expected.size(), files.size());

    const QJsonArray listed = ListJson();
    ASSERT_EQ(listed.size(), files.size());
    // The server's order is its own; compare the sorted sets of headers.
    QStringList ours;
    QStringList theirs;
    int compared = 0;
    QStringList skipped;
    for (const QJsonValue& v : expected) {
        const QJsonObject o = v.toObject();
        if (o.value("defective").toBool()) {
            skipped.append(o.value("file").toString());
            continue;
        }
        theirs.append(Simplified(o.value("subject").toString()) + " | " +
                      Simplified(o.value("sender_name").toString()) + " | " +
                      o.value("sender_address").toString());
        ++compared;
    }
    QStringList allOurs;
    for (const QJsonValue& v : listed) {
        const QJsonObject o = v.toObject();
        EXPECT_EQ(o.value("state").toString(), "whole");
        EXPECT_TRUE(o.value("new").toBool());
        EXPECT_TRUE(o.value("fresh").toBool());
        EXPECT_FALSE(o.value("uidl").toString().isEmpty());
        allOurs.append(Simplified(o.value("subject").toString()) + " | " +
                       Simplified(o.value("sender_name").toString()) + " | " +
                       o.value("sender_address").toString());
    }
    // Every message Python reads without defects must appear in our list.
    for (const QString& t : theirs) {
        const qsizetype at = allOurs.indexOf(t);
        EXPECT_GE(at, 0) << "not shown as the independent decoder reads it: " << t.toStdString();
        if (at >= 0)
            allOurs.removeAt(at);
    }
    EXPECT_GE(compared, files.size() * 3 / 4) << "skipped: " << skipped.join(' ').toStdString();

    // The tab-separated form holds one line per message.
    const Result tsv = Run({"--list", "Bob"});
    EXPECT_EQ(tsv.code, 0);
    EXPECT_EQ(tsv.out.count('\n'), files.size());
    for (const QString& line : tsv.out.split('\n', Qt::SkipEmptyParts))
        EXPECT_EQ(line.count('\t'), 6) << line.toStdString();

    // An unchanged re-check adds nothing.
    const Result again = Run({"--check", "Bob"});
    EXPECT_EQ(again.code, 0) << ::testing::PrintToString(again);
    EXPECT_EQ(again.out, "Bob\t0\n");
}

TEST_F(Cli, DeleteAndFetchFollowTheServer)
{
    for (int i = 0; i < 4; ++i)
        dc.Deliver("bob", QByteArray("From: a@example.org\r\nSubject: m") + QByteArray::number(i) +
                              "\r\n\r\nbody\r\n");
    ASSERT_EQ(AddBob().code, 0);
    WriteDownloadSettings(false);
    ASSERT_EQ(Run({"--check"}).code, 0);
    QJsonArray list = ListJson();
    ASSERT_EQ(list.size(), 4);
    const QString u0 = list[0].toObject().value("uidl").toString();
    const QString u2 = list[2].toObject().value("uidl").toString();
    EXPECT_EQ(list[0].toObject().value("state").toString(), "headers");
    EXPECT_TRUE(list[0].toObject().value("attachments").isNull());

    Result r = Run({"--fetch", "Bob", u2});
    EXPECT_EQ(r.code, 0) << ::testing::PrintToString(r);
    list = ListJson();
    EXPECT_EQ(list[2].toObject().value("state").toString(), "whole");
    EXPECT_EQ(list[2].toObject().value("attachments").toInt(-1), 0);
    r = Run({"--fetch", "Bob", u2});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.err.contains("already downloaded")) << r.err.toStdString();

    r = Run({"--delete", "Bob", u0, u2});
    EXPECT_EQ(r.code, 0) << ::testing::PrintToString(r);
    EXPECT_EQ(dc.MessageCount("bob"), 2);
    list = ListJson();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].toObject().value("subject").toString(), "m1");

    r = Run({"--delete", "Bob", "no-such-uidl"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(dc.MessageCount("bob"), 2);
}

TEST_F(Cli, ClearErrorsForArgumentsPasswordsAndARunningWindow)
{
    EXPECT_EQ(Run({"--check", "Nobody"}).code, 2);
    EXPECT_EQ(Run({"--check", "--bogus"}).code, 2);
    EXPECT_EQ(Run({"--list"}).code, 2);
    const Result missing = Run({"--add-account", "--login", "bob"});
    EXPECT_EQ(missing.code, 2);
    EXPECT_TRUE(missing.err.contains("POP3 user login")) << missing.err.toStdString();
    EXPECT_EQ(Run({"--add-account", "--login", "x", "--server", "h", "--port", "70000"}).code, 2);
    // A line break or NUL in a login or password never gets into an account.
    const struct
    {
        QStringList args;
        QByteArray input;
    } unsendable[] = {
        {{"--login", "bo\nb"}, {}},
        {{"--login", "bob", "--password-stdin"}, "sec\rret\n"},
        {{"--login", "bob", "--password-stdin"}, QByteArray("sec\0ret\n", 8)},
        {{"--login", "bob", "--smtp-login", "bo\rb"}, {}},
        {{"--login", "bob", "--smtp-password-stdin"}, QByteArray("a\0\n", 3)},
    };
    for (const auto& k : unsendable) {
        const Result r = Run(QStringList{"--add-account", "--server", "h"} + k.args, k.input);
        EXPECT_EQ(r.code, 2) << ::testing::PrintToString(r);
        EXPECT_TRUE(r.err.contains("line breaks or NUL")) << r.err.toStdString();
    }
    EXPECT_TRUE(QDir(data.path()).entryList({"*.mbx"}, QDir::Files).isEmpty());

    // No stored password: a clear error, at once.
    const Result added = Run({"--add-account", "--login", "bob", "--server", "127.0.0.1", "--port",
                              QString::number(dc.Pop3Port()), "--no-autocheck"});
    ASSERT_EQ(added.code, 0) << ::testing::PrintToString(added);
    EXPECT_EQ(added.out, "bob\n");
    const Result nopass = Run({"--check", "bob"});
    EXPECT_EQ(nopass.code, 1);
    EXPECT_TRUE(nopass.err.contains("no stored password")) << nopass.err.toStdString();
    EXPECT_EQ(Run({"--add-account", "--login", "bob", "--server", "h"}).code, 2); // same name

    // A window on the same data directory: writing commands refuse, --list reads.
    ASSERT_EQ(AddBob().code, 0);
    {
        vm::SingleInstance window(data.path());
        ASSERT_TRUE(window.TryAcquire());
        const Result refused = Run({"--check", "Bob"});
        EXPECT_EQ(refused.code, 1);
        EXPECT_TRUE(refused.err.contains("window is running")) << refused.err.toStdString();
        EXPECT_EQ(Run({"--remove-account", "Bob"}).code, 1);
        EXPECT_EQ(Run({"--list", "Bob"}).code, 0);
    }
    const Result removed = Run({"--remove-account", "Bob"});
    EXPECT_EQ(removed.code, 0);
    EXPECT_EQ(Run({"--list", "Bob"}).code, 2);
    EXPECT_FALSE(QFile::exists(data.path() + "/bob1.mbx"));
}

TEST_F(Cli, FailedCheckKeepsTheMailboxFileAndReportsTheError)
{
    dc.Deliver("bob", "From: a@example.org\r\nSubject: first\r\n\r\nbody\r\n");
    ASSERT_EQ(AddBob().code, 0);
    ASSERT_EQ(Run({"--check"}).code, 0);
    dc.Stop();
    const Result r = Run({"--check"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("A failure occured while checking for new mail"))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Account: <Bob>")) << r.err.toStdString();
    const QJsonArray list = ListJson();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].toObject().value("subject").toString(), "first");
}

// What the check shows of whole messages is what the next start shows, and
// nothing a sender writes into a header reaches the terminal as a control.
TEST_F(Cli, ListingIsTheSameAfterARestartAndSafeForTheTerminal)
{
    // A raw Windows-1251 subject whose charset only the text part names.
    dc.Deliver("bob", "From: a@example.org\r\nSubject: \xCF\xF0\xE8\xE2\xE5\xF2\r\n"
                      "Date: Mon, 3 Jun 2024 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
                      "Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n"
                      "--b\r\nContent-Type: text/plain; charset=windows-1251\r\n\r\n"
                      "\xF2\xE5\xEA\xF1\xF2\r\n--b--\r\n");
    // ESC, CSI (C1), a right-to-left override and a line separator, in
    // encoded words and raw UTF-8; a raw ESC in the sender's name.
    dc.Deliver("bob", "From: \"Eve\x1B]0;owned\x07\" <eve@example.org>\r\n"
                      "Subject: =?utf-8?Q?a=1B[2Jb=C2=9Bc?= \xE2\x80\xAE" "fdp.exe\xE2\x80\xA8x\r\n"
                      "Date: Mon, 3 Jun 2024 11:00:00 +0000\r\n\r\nbody\r\n");
    ASSERT_EQ(AddBob().code, 0);
    WriteDownloadSettings(true);
    const Result check = Run({"--check"});
    ASSERT_EQ(check.code, 0) << ::testing::PrintToString(check);

    const Result first = Run({"--list", "Bob", "--json"});
    ASSERT_EQ(first.code, 0) << ::testing::PrintToString(first);
    const Result again = Run({"--list", "Bob", "--json"});
    EXPECT_EQ(again.out, first.out);
    const Result tsv = Run({"--list", "Bob"});
    ASSERT_EQ(tsv.code, 0);

    const QJsonArray list = QJsonDocument::fromJson(first.out.toUtf8()).array();
    ASSERT_EQ(list.size(), 2);
    QStringList subjects;
    QStringList senders;
    for (const QJsonValue& v : list) {
        subjects.append(v.toObject().value("subject").toString());
        senders.append(v.toObject().value("sender_name").toString());
        EXPECT_EQ(v.toObject().value("state").toString(), "whole");
    }
    EXPECT_TRUE(
        subjects.contains(QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82")))
        << subjects.join(" | ").toStdString();
    // JSON carries the header as sent (escaped); the text form replaces.
    const QString hostile = QString::fromUtf8("a\x1B[2Jb\xC2\x9B" "c \xE2\x80\xAE" "fdp.exe\xE2\x80\xA8x");
    EXPECT_TRUE(subjects.contains(hostile)) << subjects.join(" | ").toStdString();
    EXPECT_TRUE(senders.contains(QString::fromUtf8("Eve\x1B]0;owned\x07")))
        << senders.join(" | ").toStdString();
    const QString replaced(QChar::ReplacementCharacter);
    EXPECT_TRUE(tsv.out.contains("a" + replaced + "[2Jb" + replaced + "c " + replaced + "fdp.exe" +
                                 replaced + "x"))
        << tsv.out.toStdString();
    for (const QString& out : {first.out, tsv.out}) {
        for (const QChar c : out) {
            const char16_t u = c.unicode();
            EXPECT_FALSE((u < 0x20 && u != '\t' && u != '\n') || (u >= 0x7F && u <= 0x9F) ||
                         u == 0x202E || u == 0x2028)
                << "U+" << std::hex << unsigned(u) << " reached the terminal";
        }
    }
}

TEST_F(Cli, ShowPrintsAStoredMessageAsThePreviewShowsIt)
{
    dc.Deliver("bob", "From: Ann <ann@example.org>\r\nTo: Bob <bob@example.org>, c@example.org\r\n"
                      "Cc: d@example.org\r\nSubject: =?utf-8?Q?caf=C3=A9?=\r\n"
                      "Date: Mon, 3 Jun 2024 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
                      "Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n"
                      "--b\r\nContent-Type: text/plain; charset=windows-1251\r\n\r\n"
                      "\xEF\xF0\xE8\xE2\xE5\xF2\r\nline\x1B]0;x\x07 two\r\n"
                      "--b\r\nContent-Type: text/html; charset=windows-1251\r\n\r\n"
                      "<p>\xEF\xF0\xE8</p>\r\n--b--\r\n");
    dc.Deliver("bob", "From: a@example.org\r\nSubject: pic\r\nMIME-Version: 1.0\r\n"
                      "Content-Type: multipart/related; boundary=\"b\"\r\n\r\n"
                      "--b\r\nContent-Type: text/html\r\n\r\n<img src=\"cid:p1\">\r\n"
                      "--b\r\nContent-Type: image/png; name=\"../../x.png\"\r\nContent-ID: <p1>\r\n"
                      "\r\nPNG\r\n--b--\r\n");
    dc.Deliver("bob", "From: a@example.org\r\nSubject: third\r\n\r\nbody\r\n");
    ASSERT_EQ(AddBob().code, 0);
    WriteDownloadSettings(false);
    ASSERT_EQ(Run({"--check"}).code, 0);
    const QJsonArray list = ListJson();
    ASSERT_EQ(list.size(), 3);
    QStringList uidl;
    for (const QJsonValue& v : list)
        uidl.append(v.toObject().value("uidl").toString());
    ASSERT_EQ(Run({"--fetch", "Bob", uidl[0], uidl[1]}).code, 0);

    Result r = Run({"--show", "Bob", uidl[0]});
    EXPECT_EQ(r.code, 0) << ::testing::PrintToString(r);
    const QString replaced(QChar::ReplacementCharacter);
    EXPECT_EQ(r.out, QString::fromUtf8("From: Ann <ann@example.org>\n"
                                       "To: Bob <bob@example.org>, c@example.org\n"
                                       "Cc: d@example.org\n"
                                       "Date: Mon, 3 Jun 2024 10:00:00 +0000\n"
                                       "Subject: caf\xC3\xA9\n\n"
                                       "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\nline") +
                         replaced + "]0;x" + replaced + " two\n");

    // The page the preview writes, bytes as written; its folder is gone afterwards.
    r = Run({"--show", "Bob", uidl[0], "--html"});
    EXPECT_EQ(r.code, 0) << ::testing::PrintToString(r);
    EXPECT_TRUE(r.out.startsWith("<?xml version=\"1.0\" ?>")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("charset=windows-1251\" />")) << r.out.toStdString();
    EXPECT_TRUE(r.outBytes.contains("\r\n<p>\xEF\xF0\xE8</p>\r\n")) << r.out.toStdString();
    // A small inline picture is carried in the page itself ("PNG" in base64).
    r = Run({"--show", "Bob", uidl[1], "--html"});
    EXPECT_EQ(r.code, 0) << ::testing::PrintToString(r);
    EXPECT_TRUE(r.out.contains("<img src=\"data:image/png;base64,UE5H\">")) << r.out.toStdString();

    r = Run({"--show", "Bob", uidl[2]});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "From: a@example.org\nSubject: third\n");
    EXPECT_TRUE(r.err.contains("body of this message is not held")) << r.err.toStdString();

    EXPECT_EQ(Run({"--show", "Bob", "no-such-uidl"}).code, 2);
    EXPECT_EQ(Run({"--show", "Nobody", uidl[0]}).code, 2);
    EXPECT_EQ(Run({"--show", "Bob"}).code, 2);
    EXPECT_EQ(Run({"--show", "Bob", uidl[0], "--bogus"}).code, 2);
}

TEST_F(Cli, ListFindFiltersWithTheFindRules)
{
    const QByteArray messages[] = {
        "From: a@example.org\r\nSubject: html\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n"
        "--b\r\nContent-Type: text/plain\r\n\r\nplain version\r\n"
        "--b\r\nContent-Type: text/html\r\n\r\n"
        "<p class=\"budget\">Quarterly <b>num</b>bers</p>\r\n--b--\r\n",
        "From: a@example.org\r\nSubject: Budget meeting\r\n\r\nsee you\r\n",
        "From: Budget Office <office@example.org>\r\nSubject: office\r\n\r\nconcatenate\r\n",
        "From: a@example.org\r\nSubject: words\r\n\r\nthe cat sat\r\n",
    };
    for (const QByteArray& m : messages)
        dc.Deliver("bob", m);
    ASSERT_EQ(AddBob().code, 0);
    WriteDownloadSettings(false);
    ASSERT_EQ(Run({"--check"}).code, 0);
    QStringList fetch{"--fetch", "Bob"};
    for (const QJsonValue& v : ListJson())
        fetch << v.toObject().value("uidl").toString();
    const Result fetched = Run(fetch);
    ASSERT_EQ(fetched.code, 0) << ::testing::PrintToString(fetched);
    for (const QJsonValue& v : ListJson())
        ASSERT_EQ(v.toObject().value("state").toString().toStdString(), "whole");

    struct Case
    {
        QStringList args;
        QStringList subjects;
    };
    const Case cases[] = {
        {{"--find", "budget"}, {"Budget meeting", "office"}}, // sender and subject by default
        {{"--find", "budget", "--in", "body"}, {}},           // only an HTML attribute
        {{"--find", "numbers", "--in", "body"}, {"html"}},    // HTML text across a tag
        {{"--find", "cat", "--in", "body"}, {"office", "words"}},
        {{"--find", "cat", "--in", "body", "--whole-words"}, {"words"}},
        {{"--find", "BUDGET", "--case-sensitive"}, {}},
        {{"--find", "Budget", "--in", "subject", "--case-sensitive"}, {"Budget meeting"}},
        {{"--find", "office@", "--in", "sender,body"}, {"office"}},
    };
    for (const Case& c : cases) {
        const Result r = Run(QStringList{"--list", "Bob", "--json"} + c.args);
        ASSERT_EQ(r.code, 0) << ::testing::PrintToString(r);
        QStringList subjects;
        for (const QJsonValue& v : QJsonDocument::fromJson(r.outBytes).array())
            subjects << v.toObject().value("subject").toString();
        subjects.sort();
        EXPECT_EQ(subjects, c.subjects) << c.args.join(' ').toStdString();
    }
    for (const QStringList& bad :
         {QStringList{"--find", " "}, QStringList{"--find", "x", "--in", "date"},
          QStringList{"--whole-words"}, QStringList{"--find"}})
        EXPECT_EQ(Run(QStringList{"--list", "Bob"} + bad).code, 2) << bad.join(' ').toStdString();
}


TEST_F(Cli, SaveWritesMessagesAndAttachmentsOnlyInsideTheChosenFolder)
{
    // One attachment per hostile name; each part's bytes say which it is.
    const QList<QByteArray> names{
        "filename=\"../../evil\"",
        "filename=\"/etc/passwd\"",
        "filename=\".bashrc\"",
        "filename=\"a\\\\b\"",
        "filename=\"con\"",
        "filename=\"" + QByteArray(400, 'n') + ".txt\"",
        "filename=\"=?utf-8?B?" + QByteArray("invoice\xE2\x80\xAEtxt.exe").toBase64() + "?=\"",
        "filename*=utf-8''..%2F..%2Fx%2Fup.txt",
        "filename=\"\"",
        "filename=\"dup.txt\"",
        "filename=\"dup.txt\"",
    };
    QByteArray text = "From: a@example.org\r\nSubject: s: x/y\r\nMIME-Version: 1.0\r\n"
                      "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                      "--b\r\nContent-Type: text/plain\r\n\r\nbody\r\n";
    for (int i = 0; i < names.size(); ++i)
        text += "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: "
                "attachment; " +
                names[i] + "\r\n\r\npart " + QByteArray::number(i) + "\r\n";
    text += "--b--\r\n";
    dc.Deliver("bob", text);
    dc.Deliver("bob", "From: a@example.org\r\nSubject: head only\r\n\r\nbody\r\n");
    ASSERT_EQ(AddBob().code, 0);
    WriteDownloadSettings(false);
    ASSERT_EQ(Run({"--check"}).code, 0);
    const QJsonArray list = ListJson();
    ASSERT_EQ(list.size(), 2);
    const QString whole = list[0].toObject().value("uidl").toString();
    const QString head = list[1].toObject().value("uidl").toString();
    ASSERT_EQ(Run({"--fetch", "Bob", whole}).code, 0);

    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString folder = out.filePath("in");
    ASSERT_TRUE(QDir().mkpath(folder));

    // The attachments: every file inside the folder with its part's bytes,
    // equal names never overwriting each other.
    Result r = Run({"--save-attachments", "Bob", whole, folder});
    ASSERT_EQ(r.code, 0) << ::testing::PrintToString(r);
    const QStringList paths = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(paths.size(), names.size()) << r.out.toStdString();
    QStringList fileNames;
    for (int i = 0; i < paths.size(); ++i) {
        const QFileInfo info(paths[i]);
        EXPECT_EQ(info.absolutePath(), QFileInfo(folder).canonicalFilePath())
            << paths[i].toStdString();
        EXPECT_FALSE(info.fileName().startsWith('.')) << paths[i].toStdString();
        EXPECT_LE(info.fileName().toUtf8().size(), 255);
        EXPECT_FALSE(info.permissions() & (QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
        QFile f(paths[i]);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << paths[i].toStdString();
        EXPECT_EQ(f.readAll(), "part " + QByteArray::number(i)) << paths[i].toStdString();
        fileNames.append(info.fileName());
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
              names.size());
    EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"in"});
    EXPECT_EQ(fileNames[2], "bashrc") << fileNames.join(" | ").toStdString();
    EXPECT_EQ(fileNames[8], "attachment");
    EXPECT_FALSE(fileNames[6].contains(QChar(0x202E)));
    EXPECT_EQ(fileNames.mid(9), QStringList({"dup.txt", "dup (1).txt"}));

    // The message into the folder three times, and to a file by name.
    QStringList saved;
    for (int i = 0; i < 3; ++i) {
        r = Run({"--save", "Bob", whole, folder});
        EXPECT_EQ(r.code, 0) << ::testing::PrintToString(r);
        saved.append(QFileInfo(r.out.trimmed()).fileName());
    }
    EXPECT_EQ(saved, QStringList({"s_ x_y.eml", "s_ x_y (1).eml", "s_ x_y (2).eml"}));
    QFile first(QDir(folder).filePath(saved[0]));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    const QByteArray savedText = first.readAll();
    EXPECT_TRUE(savedText.endsWith(text.mid(text.indexOf("Subject:")))) << savedText.toStdString();
    r = Run({"--save", "Bob", head, out.filePath("head.eml")});
    EXPECT_EQ(r.code, 0) << ::testing::PrintToString(r);
    QFile headFile(out.filePath("head.eml"));
    ASSERT_TRUE(headFile.open(QIODevice::ReadOnly));
    const QByteArray headText = headFile.readAll();
    EXPECT_TRUE(headText.contains("Subject: head only\r\n")) << headText.toStdString();
    EXPECT_FALSE(headText.contains("body")) << headText.toStdString();

    // A headers-only message has no attachments to write.
    r = Run({"--save-attachments", "Bob", head, folder});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("--fetch")) << r.err.toStdString();
    EXPECT_EQ(Run({"--save-attachments", "Bob", whole, out.filePath("missing")}).code, 2);
    EXPECT_EQ(Run({"--save", "Bob"}).code, 2);
    EXPECT_EQ(Run({"--save", "Bob", "no-such-uidl", folder}).code, 2);
}
