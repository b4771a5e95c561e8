// Mailbox files: cross-checks with the independent implementation of the
// format in tests/support/mbxformat.py, the three error classes, holding
// kinds, atomic writes and the limits of the format.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <cstring>
#include <sys/mman.h>
#include <sys/resource.h>

#include "model/BinaryStream.h"
#include "model/FileErrors.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "mime/MessageRecord.h"
#include "model/MailboxWriter.h"
#include "support/FileSizeLimit.h"

using namespace vm;

namespace {

const QString kScript = QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/mbxformat.py");

const QByteArray kWhole = "From: Anna <anna@example.org>\r\nSubject: Hello\r\n"
                          "Date: Mon, 3 Jun 2024 10:00:00 +0000\r\n\r\nBody line\r\n.\r\nmore\r\n";
const QByteArray kHeaderOfWhole = "From: Anna <anna@example.org>\r\nSubject: Hello\r\n"
                                  "Date: Mon, 3 Jun 2024 10:00:00 +0000\r\n\r\n";

QString Latin1(const QByteArray& b)
{
    return QString::fromLatin1(b);
}

// Runs the independent implementation; returns its standard output.
QByteArray RunPython(const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("python3"), QStringList{kScript} + args);
    if (!p.waitForFinished(60000)) {
        ADD_FAILURE() << "python3 " << args.join(' ').toStdString() << " did not end in 60 s";
        p.kill();
        p.waitForFinished();
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    const QByteArray err = p.readAllStandardError();
    if (!err.isEmpty())
        ADD_FAILURE() << err.constData();
    if (exitCode)
        *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}

void PythonWrite(const QJsonObject& spec, const QString& path)
{
    const QString specPath = path + QStringLiteral(".json");
    QFile f(specPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(spec).toJson());
    f.close();
    int rc = -1;
    RunPython({QStringLiteral("write"), specPath, path}, &rc);
    ASSERT_EQ(rc, 0);
    QFile::remove(specPath);
}

QJsonObject PythonRead(const QString& path)
{
    int rc = -1;
    const QByteArray out = RunPython({QStringLiteral("read"), path}, &rc);
    EXPECT_EQ(rc, 0) << out.constData();
    return QJsonDocument::fromJson(out).object();
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QJsonObject Record(const char* uid, int kind, const QByteArray& data = {})
{
    QJsonObject r{{"uid", uid}, {"kind", kind}};
    if (kind)
        r["data"] = Latin1(data);
    return r;
}

// A spec with three records: UIDL only, header block, whole message.
QJsonObject ThreeRecordSpec(int version)
{
    QJsonObject account{{"login", "anna"},
                        {"password", "s3cret"},
                        {"server", "pop.example"},
                        {"friendly_name", "Work"},
                        {"client_kind", 0},
                        {"auto_check", false},
                        {"apop", true},
                        {"pop3_tls", true},
                        {"pop3_ssl", 7},
                        {"pop3_port", 995},
                        {"smtp_login", "anna.s"},
                        {"smtp_password", QString::fromLatin1("p\xe4ss")},
                        {"from", "anna@example"},
                        {"smtp_server", "smtp.example"},
                        {"smtp_auth", true},
                        {"smtp_tls", 5},
                        {"smtp_ssl", 2},
                        {"smtp_port", 587},
                        {"send_via_program", true}};
    QJsonObject r1 = Record("uid-1", 0);
    r1["size"] = 1200;
    r1["new"] = true;
    r1["fresh"] = true;
    r1["server_number"] = 3;
    r1["receipt"] = 9;
    QJsonObject r2 = Record("uid-2", 1, kHeaderOfWhole);
    r2["receipt"] = 2;
    r2["attachments"] = 4;
    QJsonObject r3 = Record("UID-2", 2, kWhole);
    r3["size"] = int(kWhole.size());
    return QJsonObject{{"version", version},
                       {"account", account},
                       {"last_check", 45000.5},
                       {"record_count", 77}, // ignored by readers
                       {"records", QJsonArray{r1, r2, r3}}};
}

class MailboxFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        dir.SetMailboxDirectory(tmp.path());
    }
    QString Path(const QString& name) const { return tmp.path() + QLatin1Char('/') + name; }

    // Loads every file of the directory, recording the reports.
    void LoadAll()
    {
        AccountsDirectory::LoadParams p;
        p.directory = tmp.path();
        p.retryDelayMs = 1;
        p.incomplete = [&](auto& lp, const std::exception&) {
            reports << "incomplete " + lp.currentFile;
        };
        p.invalid = [&](auto& lp, const std::exception&) {
            reports << "invalid " + lp.currentFile;
        };
        p.unreadable = [&](auto& lp, const std::exception&) {
            reports << "unreadable " + lp.currentFile;
        };
        dir.LoadAll(p);
        loaded = p.loaded;
    }

    QTemporaryDir tmp;
    AccountsDirectory dir;
    QStringList reports;
    int loaded = 0;
};

TEST_F(MailboxFile, IndependentlyWrittenVersion1Loads)
{
    PythonWrite(ThreeRecordSpec(1), Path("anna.mbx"));
    MailAccount a(&dir);
    a.LoadFromFile(Path("anna.mbx"), {});
    EXPECT_EQ(a.MailboxFileName(), QStringLiteral("anna.mbx"));
    EXPECT_EQ(a.Login(), "anna");
    EXPECT_EQ(a.Password(), "s3cret");
    EXPECT_EQ(a.FriendlyName(), "Work");
    EXPECT_EQ(a.ClientKind(), 2);     // 0 reads as 2
    EXPECT_EQ(a.Pop3SSLVersion(), 3); // above 2 reads as 3
    EXPECT_EQ(a.SmtpTLSMode(), 0);    // other than 1, 2 reads as 0
    EXPECT_EQ(a.SmtpSSLVersion(), 2);
    EXPECT_EQ(a.Pop3Port(), 995);
    EXPECT_EQ(a.SmtpPort(), 587);
    EXPECT_EQ(a.SmtpPassword(), "p\xe4ss");
    EXPECT_FALSE(a.AutoCheck());
    EXPECT_TRUE(a.APOP());
    EXPECT_TRUE(a.Pop3TLS());
    EXPECT_TRUE(a.SmtpAuthentication());
    EXPECT_TRUE(a.SendViaThisProgram());

    const Mailbox& box = a.Box();
    EXPECT_EQ(box.LastCheck(), 45000.5);
    ASSERT_EQ(box.Count(), 3);
    const MessageRecord* r1 = box.At(0);
    EXPECT_EQ(r1->HoldingState(), MessageRecord::Holding::UidlOnly);
    EXPECT_TRUE(r1->IsNew());
    EXPECT_TRUE(r1->fresh);
    EXPECT_EQ(r1->serverNumber, 3);
    EXPECT_EQ(r1->size, 1200);
    EXPECT_EQ(r1->receiptState, 0); // 9 reads as 0
    const MessageRecord* r2 = box.At(1);
    EXPECT_EQ(r2->HoldingState(), MessageRecord::Holding::Headers);
    EXPECT_EQ(r2->raw, kHeaderOfWhole);
    EXPECT_EQ(r2->receiptState, 2);
    EXPECT_EQ(r2->attachmentCount, 4);
    EXPECT_NE(r2->Date, 0); // the header block was processed
    const MessageRecord* r3 = box.At(2);
    EXPECT_EQ(r3->HoldingState(), MessageRecord::Holding::Whole);
    EXPECT_EQ(r3->raw, kWhole);
    EXPECT_EQ(r3->Date, r2->Date);
    EXPECT_EQ(box.FindByUIDL("UID-2"), r3);
    // A record without headers keeps the stored list stale at start.
    EXPECT_TRUE(box.Stale());
}

TEST_F(MailboxFile, WrittenFileReadsInIndependentImplementation)
{
    MailAccount a(&dir);
    a.Login() = "bob";
    a.Password() = "pw";
    a.Server() = "pop.example";
    a.ClientKind() = 1;
    a.SmtpTLSMode() = 2;
    a.SmtpPort() = 2525;
    a.Box().SetLastCheck(44000.25);
    auto* m = new MessageRecord;
    m->UID = "U1";
    m->raw = kWhole;
    m->headersOnly = false;
    m->size = 300;
    m->serverNumber = 8;
    m->receiptState = 3;
    m->fresh = true;
    m->SetNew(true);
    m->Date = 45000; // not old
    a.Box().Add(m);
    auto* h = new MessageRecord;
    h->UID = "U2";
    h->raw = kHeaderOfWhole;
    a.Box().Add(h);
    auto* u = new MessageRecord;
    u->UID = "U3";
    u->noHeaders = true;
    a.Box().Add(u);

    vm::MailboxSaveOptions o;
    o.OldMessagesThreshold = 40000;
    a.SaveToFile(o);
    ASSERT_EQ(a.MailboxFileName(), QStringLiteral("bob.mbx"));
    const QJsonObject f = PythonRead(Path("bob.mbx"));
    EXPECT_EQ(f["version"].toInt(), 1);
    const QJsonObject acc = f["account"].toObject();
    EXPECT_EQ(acc["login"].toString(), "bob");
    EXPECT_EQ(acc["password"].toString(), "pw");
    EXPECT_EQ(acc["client_kind"].toInt(), 1);
    EXPECT_EQ(acc["smtp_tls"].toInt(), 2);
    EXPECT_EQ(acc["smtp_port"].toInt(), 2525);
    EXPECT_EQ(acc["pop3_port"].toInt(), 110);
    EXPECT_EQ(f["last_check"].toDouble(), 44000.25);
    EXPECT_EQ(f["record_count"].toInt(), 3);
    const QJsonArray recs = f["records"].toArray();
    ASSERT_EQ(recs.size(), 3);
    const QJsonObject r0 = recs[0].toObject();
    EXPECT_EQ(r0["uid"].toString(), "U1");
    EXPECT_EQ(r0["kind"].toInt(), 2);
    EXPECT_EQ(r0["data"].toString(), Latin1(kWhole));
    EXPECT_EQ(r0["server_number"].toInt(), 8);
    EXPECT_EQ(r0["receipt"].toInt(), 3);
    EXPECT_TRUE(r0["fresh"].toBool());
    EXPECT_TRUE(r0["new"].toBool());
    EXPECT_EQ(r0["attachments"].toInt(), -1);
    EXPECT_EQ(recs[1].toObject()["kind"].toInt(), 1);
    EXPECT_EQ(recs[2].toObject()["kind"].toInt(), 0);
    EXPECT_FALSE(recs[2].toObject().contains("data"));
}

TEST_F(MailboxFile, HoldingKindsFollowTheSaveRange)
{
    MailAccount a(&dir);
    a.Login() = "kinds";
    const auto add = [&](const char* uid, int size, double date) {
        auto* m = new MessageRecord;
        m->UID = uid;
        m->raw = kWhole;
        m->headersOnly = false;
        m->size = size;
        m->Date = date;
        a.Box().Add(m);
    };
    add("small", 1024, 45000);
    add("big", 20 * 1024, 45000);
    add("old", 1024, 100);
    add("nodate", 1024, 0);
    const auto kinds = [&](int range, bool oldRule) {
        vm::MailboxSaveOptions o;
        o.MessageSaveRange = range;
        o.MaximumSaveSize = 1;
        o.MinimumSaveSize = 10;
        o.OldMessagesSaveHeaders = oldRule;
        o.OldMessagesThreshold = 40000;
        a.SaveToFile(o);
        QList<int> out;
        for (const auto& r : PythonRead(Path("kinds.mbx"))["records"].toArray())
            out << r.toObject()["kind"].toInt();
        return out;
    };
    EXPECT_EQ(kinds(0, false), (QList<int>{0, 0, 0, 0}));
    EXPECT_EQ(kinds(1, false), (QList<int>{1, 1, 1, 1}));
    EXPECT_EQ(kinds(2, false), (QList<int>{2, 2, 2, 2}));
    EXPECT_EQ(kinds(2, true), (QList<int>{2, 2, 1, 1})); // old and undated keep headers
    EXPECT_EQ(kinds(3, false), (QList<int>{2, 1, 2, 2}));
    EXPECT_EQ(kinds(4, false), (QList<int>{1, 2, 1, 1}));

    // Range 5: nothing but a zero time and count; the list comes back empty.
    a.Box().SetLastCheck(45000);
    vm::MailboxSaveOptions none;
    none.MessageSaveRange = 5;
    a.SaveToFile(none);
    const QJsonObject f = PythonRead(Path("kinds.mbx"));
    EXPECT_EQ(f["last_check"].toDouble(), 0);
    EXPECT_EQ(f["record_count"].toInt(), 0);
    EXPECT_TRUE(f["records"].toArray().isEmpty());
    MailAccount back(&dir);
    back.LoadFromFile(Path("kinds.mbx"), {});
    EXPECT_EQ(back.Box().Count(), 0);
}

TEST_F(MailboxFile, WholeMessageSavedAsHeadersComesBackHeadersOnly)
{
    MailAccount a(&dir);
    a.Login() = "h";
    auto* m = new MessageRecord;
    m->UID = "x";
    m->raw = kWhole;
    m->headersOnly = false;
    a.Box().Add(m);
    vm::MailboxSaveOptions o;
    o.MessageSaveRange = 1;
    a.SaveToFile(o);
    MailAccount back(&dir);
    back.LoadFromFile(Path("h.mbx"), {});
    ASSERT_EQ(back.Box().Count(), 1);
    EXPECT_EQ(back.Box().At(0)->HoldingState(), MessageRecord::Holding::Headers);
    EXPECT_EQ(back.Box().At(0)->raw, kHeaderOfWhole);
}

TEST_F(MailboxFile, Version0LoadsAndIsWrittenBackAsVersion1)
{
    PythonWrite(ThreeRecordSpec(0), Path("old.mbx"));
    LoadAll();
    ASSERT_TRUE(reports.isEmpty()) << reports.join(", ").toStdString();
    ASSERT_EQ(dir.Count(), 1);
    MailAccount* a = dir.At(0);
    ASSERT_EQ(a->Box().Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(a->Box().At(i)->serverNumber, 0);
        EXPECT_FALSE(a->Box().At(i)->fresh);
    }
    EXPECT_EQ(a->Box().LastCheck(), 0);
    EXPECT_TRUE(a->Box().At(0)->IsNew());
    int index = 0;
    dir.SaveAll(index, {});
    EXPECT_EQ(a->MailboxFileName(), QStringLiteral("old.mbx")); // same file replaced
    const QJsonObject f = PythonRead(Path("old.mbx"));
    EXPECT_EQ(f["version"].toInt(), 1);
    EXPECT_EQ(f["account"].toObject()["password"].toString(), "s3cret");
    EXPECT_EQ(f["records"].toArray().size(), 3);
}

TEST_F(MailboxFile, LoaderAnswersEachErrorClassAndGoesOn)
{
    // Cut inside the third record: two records and the incomplete report.
    PythonWrite(ThreeRecordSpec(1), Path("cut.mbx"));
    QByteArray bytes = ReadAll(Path("cut.mbx"));
    WriteAll(Path("cut.mbx"), bytes.left(bytes.size() - qsizetype(kWhole.size()) / 2));
    // One changed byte in the enciphered block: checksum mismatch.
    PythonWrite(ThreeRecordSpec(1), Path("flip.mbx"));
    bytes = ReadAll(Path("flip.mbx"));
    bytes[12 + 4 + 9] = char(bytes[12 + 4 + 9] ^ 0x01);
    WriteAll(Path("flip.mbx"), bytes);
    {
        // Whichever byte of the block changes, the file is reported invalid.
        QTemporaryDir other;
        AccountsDirectory scratch;
        const QByteArray good = bytes;
        std::int32_t n;
        std::memcpy(&n, good.constData() + 12, 4);
        for (int i = 0; i < n; ++i) {
            QByteArray changed = ReadAll(Path("good.src"));
            if (changed.isEmpty()) {
                PythonWrite(ThreeRecordSpec(1), Path("good.src"));
                changed = ReadAll(Path("good.src"));
            }
            changed[16 + i] = char(changed[16 + i] ^ (1 << (i % 8)));
            WriteAll(other.path() + "/x.mbx", changed);
            MailAccount a(&scratch);
            EXPECT_THROW(a.LoadFromFile(other.path() + "/x.mbx", {}, 1, 0),
                         MailboxHeaderError)
                << "byte " << i;
        }
        QFile::remove(Path("good.src"));
    }
    // Unreadable: reading fails with an I/O error.
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), Path("gone.mbx")));
    // A good one, so that loading is seen to go on.
    PythonWrite(ThreeRecordSpec(1), Path("good.mbx"));

    LoadAll();
    reports.sort();
    EXPECT_EQ(reports,
              (QStringList{"incomplete cut.mbx", "invalid flip.mbx", "unreadable gone.mbx"}));
    EXPECT_EQ(loaded, 2);
    ASSERT_EQ(dir.Count(), 2);
    for (int i = 0; i < dir.Count(); ++i) {
        const MailAccount* a = dir.At(i);
        EXPECT_EQ(a->Box().Count(), a->MailboxFileName() == "cut.mbx" ? 2 : 3);
    }
}

TEST_F(MailboxFile, DamagedRecordsAndHeaders)
{
    const auto expectThrow = [&](const QByteArray& data, auto exceptionTag) {
        using E = decltype(exceptionTag);
        WriteAll(Path("t.mbx"), data);
        MailAccount a(&dir);
        EXPECT_THROW(a.LoadFromFile(Path("t.mbx"), {}, 1, 0), E);
    };
    PythonWrite(ThreeRecordSpec(1), Path("src.mbx"));
    const QByteArray good = ReadAll(Path("src.mbx"));
    const qsizetype blockStart = 12 + 4;
    std::int32_t n;
    std::memcpy(&n, good.constData() + 12, 4);

    expectThrow(QByteArray("\x0a\x00VL999KEX07", 12) + good.mid(12),
                MailboxHeaderError());
    // Block length not a multiple of 8, or past the end of the file.
    QByteArray odd = good;
    odd[12] = char(n - 1);
    expectThrow(odd, MailboxHeaderError());
    QByteArray huge = good;
    huge[15] = 0x10;
    expectThrow(huge, MailboxHeaderError());
    // Holding kind 3 in the last record.
    QJsonObject spec = ThreeRecordSpec(1);
    QJsonArray recs = spec["records"].toArray();
    QJsonObject bad = Record("bad", 0);
    recs.append(bad);
    spec["records"] = recs;
    PythonWrite(spec, Path("k.mbx"));
    QByteArray kind3 = ReadAll(Path("k.mbx"));
    kind3[kind3.size() - 1] = 3;
    expectThrow(kind3, MailboxContentError());
    // A block too short for its fields is damaged, like a checksum mismatch.
    QByteArray shortBlock = good.left(blockStart - 4);
    shortBlock += QByteArray("\x08\x00\x00\x00", 4) + QByteArray(8, '\xff');
    expectThrow(shortBlock, MailboxHeaderError());
    // A file too short for its signature: the plain format error.
    WriteAll(Path("t.mbx"), QByteArray("\x0a\x00VL3", 5));
    MailAccount a(&dir);
    try {
        a.LoadFromFile(Path("t.mbx"), {}, 1, 0);
        ADD_FAILURE() << "no error";
    } catch (const MailboxHeaderError&) {
        ADD_FAILURE() << "header error";
    } catch (const MailboxContentError&) {
        ADD_FAILURE() << "mailbox error";
    } catch (const MailboxFormatError&) {
    }
}

TEST_F(MailboxFile, LongTextsAreCutAtACharacterBoundary)
{
    MailAccount a(&dir);
    a.Login() = "long";
    // 65534 ASCII bytes and a 3-byte character straddling the limit.
    a.FriendlyName() = QByteArray(65534, 'x') + "\xe2\x82\xac" + "tail";
    a.SaveToFile(vm::MailboxSaveOptions{});
    MailAccount back(&dir);
    back.LoadFromFile(Path("long.mbx"), {});
    EXPECT_EQ(back.FriendlyName(), QByteArray(65534, 'x'));
    EXPECT_EQ(vm::FitTextField(QByteArray(65535, 'y') + "z").size(), 65535);
    EXPECT_EQ(
        vm::FitWideTextField(QString(65534, 'a') + QString::fromUtf8("\xf0\x9f\x98\x80")).size(),
        65534);
}

TEST_F(MailboxFile, FailedWriteLeavesThePreviousFile)
{
    MailAccount a(&dir);
    a.Login() = "keep";
    auto* m = new MessageRecord;
    m->UID = "one";
    a.Box().Add(m);
    a.SaveToFile(vm::MailboxSaveOptions{});
    const QByteArray before = ReadAll(Path("keep.mbx"));
    ASSERT_FALSE(before.isEmpty());

    auto* big = new MessageRecord;
    big->UID = "big";
    big->headersOnly = false;
    big->Date = 45000;
    big->raw = QByteArray(12 << 20, 'b');
    a.Box().Add(big);
    // Limit the size of files this process may write, so the write stops
    // part way, as on a full disk; the report names the file and the
    // system's reason.
    QString report;
    {
        vm::test::FileSizeLimit limit(1 << 20);
        try {
            a.SaveToFile(vm::MailboxSaveOptions{});
        } catch (const FileWriteError& e) {
            report = ErrorClassName(e) + ' ' + ErrorMessage(e);
        }
    }
    EXPECT_EQ(report.toStdString(),
              ("FileWriteError Cannot write file \"" + Path("keep.mbx") + "\". File too large")
                  .toStdString());
    EXPECT_EQ(ReadAll(Path("keep.mbx")), before);
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files), QStringList{"keep.mbx"});
}

} // namespace

// A whole message whose parts were never looked at keeps its attachment
// count when the file holds only its header block.
TEST_F(MailboxFile, HeaderBlockOfAWholeMessageKeepsItsAttachmentCount)
{
    const QByteArray raw = "From: a@example.org\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
                           "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                           "--b\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n"
                           "--b\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
                           "Content-Disposition: attachment; filename=\"a.pdf\"\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0=\r\n--b--\r\n";
    MailAccount a(&dir);
    a.Login() = "c";
    auto* m = new MessageRecord;
    m->UID = "x";
    m->raw = raw;
    m->headersOnly = false;
    m->ParseHeaders();
    ASSERT_EQ(m->attachmentCount, -1);
    a.Box().Add(m);
    vm::MailboxSaveOptions o;
    o.MessageSaveRange = 1;
    a.SaveToFile(o);
    MailAccount back(&dir);
    back.LoadFromFile(Path("c.mbx"), {});
    ASSERT_EQ(back.Box().Count(), 1);
    EXPECT_EQ(back.Box().At(0)->HoldingState(), MessageRecord::Holding::Headers);
    EXPECT_EQ(back.Box().At(0)->attachmentCount, 1);
}

// What a check shows of a whole message is what a restart shows: the
// charset of a raw 8-bit header may come from a text part, so a loaded whole
// message is parsed the way the check parses it.
TEST_F(MailboxFile, WholeMessageShowsTheSameAfterARestart)
{
    const QByteArray raw = "From: \xC0\xED\xED\xE0 <anna@example.org>\r\n"
                           "Subject: \xCF\xF0\xE8\xE2\xE5\xF2\r\n"
                           "MIME-Version: 1.0\r\n"
                           "Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n"
                           "--b\r\nContent-Type: text/plain; charset=windows-1251\r\n\r\n"
                           "\xF2\xE5\xEA\xF1\xF2\r\n--b--\r\n";
    MailAccount a(&dir);
    a.Login() = "r";
    auto* m = new MessageRecord;
    m->UID = "x";
    m->raw = raw;
    m->headersOnly = false;
    m->ParseWholeDeferred(); // as the check leaves a whole message
    a.Box().Add(m);
    const QString subject = m->Subject();
    const QString sender = m->FromName();
    EXPECT_EQ(subject, QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"));
    EXPECT_EQ(sender, QString::fromUtf8("\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0"));
    vm::MailboxSaveOptions o;
    o.MessageSaveRange = 2;
    o.OldMessagesSaveHeaders = false;
    a.SaveToFile(o);

    MailAccount back(&dir);
    back.LoadFromFile(Path("r.mbx"), {});
    ASSERT_EQ(back.Box().Count(), 1);
    const MessageRecord& loaded = *back.Box().At(0);
    EXPECT_EQ(loaded.HoldingState(), MessageRecord::Holding::Whole);
    EXPECT_EQ(loaded.Subject(), subject);
    EXPECT_EQ(loaded.FromName(), sender);
}

// Records read from a file are parsed when first asked, only their date at
// once: what they show must be what a parse at loading gives, for header
// blocks whose Date field is hard to find.
TEST_F(MailboxFile, LoadedRecordsShowWhatAnImmediateParseShows)
{
    const QByteArray kDate = "Mon, 3 Jun 2024 10:10:00 +0200";
    const QByteArray blocks[] = {
        "Date: " + kDate + "\r\nSubject: plain\r\n\r\n",
        "Subject: folded\r\nDate: Mon, 3 Jun 2024\r\n\t10:10:00 +0200\r\n\r\n",
        "DATE :  Tue, 4 Jun 2024 11:00:00 -0500  \r\nSubject: name with a blank\r\n\r\n",
        "From someone Mon Jun  3 10:00:00 2024\r\nDate: Wed, 5 Jun 2024 12:00:00 +0000\r\n\r\n",
        "No colon on this line\r\nDate: Thu, 6 Jun 2024 13:00:00 +0000\r\n\r\n",
        "Date: Fri, 7 Jun 2024\r\nno colon ends the field\r\n 14:00:00 +0000\r\n\r\n",
        "Date: Sat, 8 Jun 2024 15:00:00 +0000\r\nDate: Sun, 9 Jun 2024 16:00:00 +0000\r\n\r\n",
        "Subject: no date\r\n\r\nDate: " + kDate + "\r\n",
        "Subject: bare LF\nDate: Mon, 10 Jun 2024 17:00:00 +0000\n\nbody\n",
        ": empty name\r\nDate:\r\n\r\n",
        "From: =?UTF-8?Q?J=C3=B6rg?= <j@example.org>\r\nX-Date: " + kDate +
            "\r\nDate: Tue, 11 Jun 2024 18:00:00 +0100\r\nMessage-ID: <m@x>\r\n\r\n",
    };
    MailAccount a(&dir);
    a.Login() = "lazy";
    int n = 0;
    for (const QByteArray& block : blocks) {
        for (const bool whole : {false, true}) {
            auto* m = new MessageRecord;
            m->UID = QByteArray::number(n++);
            m->raw = whole ? block + "--b\r\nbody text\r\n" : block;
            m->headersOnly = !whole;
            a.Box().Add(m);
        }
    }
    vm::MailboxSaveOptions o;
    o.MessageSaveRange = 2;
    o.OldMessagesSaveHeaders = false;
    a.SaveToFile(o);

    MailAccount back(&dir);
    back.LoadFromFile(Path("lazy.mbx"), {});
    ASSERT_EQ(back.Box().Count(), n);
    for (int i = 0; i < n; ++i) {
        const MessageRecord& loaded = *back.Box().At(i);
        // The reference: the record's text parsed at once, as loading did.
        MessageRecord reference;
        reference.raw = loaded.raw;
        reference.headersOnly = loaded.headersOnly;
        if (reference.headersOnly)
            reference.ParseHeaders();
        else
            reference.ParseWholeDeferred();
        const std::string what = loaded.raw.left(40).toStdString();
        EXPECT_EQ(loaded.Date, reference.Date) << what;
        // A copy made before the first question parses on its own.
        const MessageRecord copy(loaded);
        for (const MessageRecord* r : {&copy, &loaded}) {
            EXPECT_EQ(r->Subject(), reference.Subject()) << what;
            EXPECT_EQ(r->FromName(), reference.FromName()) << what;
            EXPECT_EQ(r->MessageId(), reference.MessageId()) << what;
            EXPECT_EQ(r->HeaderLines(), reference.HeaderLines()) << what;
            EXPECT_EQ(r->Date, reference.Date) << what;
        }
    }
    // Dates were found where they are, and only there.
    EXPECT_NE(back.Box().At(0)->Date, 0.0);
    EXPECT_EQ(back.Box().At(14)->Date, 0.0);                   // the date is in the body
    EXPECT_EQ(back.Box().At(2)->Date, back.Box().At(0)->Date); // folded
}

// A record's text longer than its 31-bit length field is refused, not
// written with a wrapped length. The text is 2 GiB of address space that
// maps no memory: the writer must refuse before reading it.
TEST_F(MailboxFile, TextOverTwoGibibytesIsRefused)
{
    const qsizetype size = (qsizetype(1) << 31) + 16;
    void* area = mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                      -1, 0);
    if (area == MAP_FAILED)
        GTEST_SKIP() << "cannot reserve 2 GiB of address space";
    {
        Mailbox box;
        auto* m = new MessageRecord;
        m->UID = "huge";
        m->raw = QByteArray::fromRawData(static_cast<const char*>(area), size);
        m->headersOnly = false;
        box.Add(m);
        QFile sink(QStringLiteral("/dev/null"));
        ASSERT_TRUE(sink.open(QIODevice::WriteOnly));
        ByteWriter out(&sink);
        vm::MailboxSaveOptions o;
        o.MessageSaveRange = 2;
        o.OldMessagesSaveHeaders = false;
        EXPECT_THROW(box.WriteToStream(out, o), FileWriteError);
    }
    munmap(area, size_t(size));
}

TEST_F(MailboxFile, SignInSettingsFollowTheChecksumWhereOldReadersSeePadding)
{
    MailAccount a(&dir);
    a.Login() = "anna";
    a.Server() = "outlook.office365.com";
    a.SmtpLogin() = "anna@example.org";
    a.SignIn() = SignInMethod::OAuth2;
    a.OAuth() = {"custom", "client-1", "not-so-secret", "https://id.example/auth",
                 "https://id.example/token", "mail offline_access"};
    a.RefreshToken() = "rt-0123456789";
    a.AccessToken() = "at-never-stored";
    a.SaveToFile({});
    const QByteArray bytes = ReadAll(Path("anna.mbx"));
    EXPECT_FALSE(bytes.contains("rt-0123456789"));
    EXPECT_FALSE(bytes.contains("client-1"));

    // The 22 fields read as they always did; what follows the checksum is
    // the extension, which a reader that does not know it skips as padding.
    const QJsonObject f = PythonRead(Path("anna.mbx"));
    EXPECT_EQ(f["account"].toObject()["login"].toString(), "anna");
    EXPECT_EQ(f["account"].toObject()["smtp_login"].toString(), "anna@example.org");
    EXPECT_EQ(f["account"].toObject()["password"].toString(), "");
    EXPECT_EQ(f["extension"].toObject(),
              (QJsonObject{{"SignIn", "OAuth2"},
                           {"OAuth2Provider", "custom"},
                           {"OAuth2ClientId", "client-1"},
                           {"OAuth2ClientSecret", "not-so-secret"},
                           {"OAuth2AuthorizeUrl", "https://id.example/auth"},
                           {"OAuth2TokenUrl", "https://id.example/token"},
                           {"OAuth2Scope", "mail offline_access"},
                           {"OAuth2RefreshToken", "rt-0123456789"}}));

    // Read back identically; written again byte for byte the same.
    MailAccount b(&dir);
    b.LoadFromFile(Path("anna.mbx"), {});
    EXPECT_TRUE(b.UsesOAuth());
    EXPECT_EQ(b.OAuth(), a.OAuth());
    EXPECT_EQ(b.RefreshToken(), "rt-0123456789");
    EXPECT_TRUE(b.AccessToken().isEmpty());
    b.SaveToFile({});
    EXPECT_EQ(ReadAll(Path("anna.mbx")), bytes);

    // A password account's block is what it always was: no extension.
    MailAccount c(&dir);
    c.Login() = "carl";
    c.Password() = "pw";
    c.SaveToFile({});
    const QJsonObject g = PythonRead(Path("carl.mbx"));
    EXPECT_TRUE(g["extension"].toObject().isEmpty());
    EXPECT_LT(g["block_tail"].toInt(), 8);
}

TEST_F(MailboxFile, ExtensionFieldsOfOtherVersionsAreKeptAndDamageIsCaught)
{
    QJsonObject spec = ThreeRecordSpec(1);
    spec["extension"] = QJsonObject{
        {"SignIn", "OAuth2"}, {"OAuth2Provider", "google"}, {"LaterSetting", "kept"}};
    PythonWrite(spec, Path("anna.mbx"));
    spec["extension_checksum_error"] = 1;
    PythonWrite(spec, Path("broken.mbx"));
    LoadAll();
    EXPECT_EQ(reports, QStringList{"invalid broken.mbx"});
    ASSERT_EQ(loaded, 1);
    MailAccount* a = dir.At(0);
    EXPECT_TRUE(a->UsesOAuth());
    EXPECT_EQ(a->OAuth().provider, "google");
    EXPECT_EQ(a->Box().Count(), 3);
    a->SaveToFile({});
    EXPECT_EQ(PythonRead(Path("anna.mbx"))["extension"].toObject(),
              (QJsonObject{{"SignIn", "OAuth2"},
                           {"OAuth2Provider", "google"},
                           {"LaterSetting", "kept"}}));
}

// An image of the file keeps the state it was taken in: the records may
// change or go before it is written (on the background writer's thread).
TEST_F(MailboxFile, AnImageKeepsTheStateItWasTakenIn)
{
    MailAccount a(&dir);
    a.Login() = "img";
    for (const char* uid : {"one", "two"}) {
        auto* m = new MessageRecord;
        m->UID = uid;
        m->raw = kWhole;
        m->headersOnly = false;
        m->SetNew(true);
        a.Box().Add(m);
    }
    vm::MailboxSaveOptions o;
    o.MessageSaveRange = 1; // the whole messages are kept as their header blocks
    a.SaveToFile(o);
    const QByteArray expected = ReadAll(Path("img.mbx"));
    QFile::remove(Path("img.mbx"));

    const MailboxFileImage image = a.FileImage(o);
    a.Box().At(0)->raw = "Subject: replaced\r\n\r\n";
    a.Box().At(1)->SetNew(false);
    a.Box().Delete(0);
    WriteMailboxFile(image);
    EXPECT_EQ(ReadAll(Path("img.mbx")), expected);
}

// The fingerprint changes with everything the file holds and only with
// that: a later last-check time alone is no reason to write.
TEST_F(MailboxFile, FingerprintFollowsWhatTheFileHolds)
{
    MailAccount a(&dir);
    a.Login() = "fp";
    auto* m = new MessageRecord;
    m->UID = "one";
    m->raw = kWhole;
    m->headersOnly = false;
    a.Box().Add(m);
    a.Box().MarkCheckSucceeded(45000);
    const vm::MailboxSaveOptions o;
    struct Case
    {
        const char* what;
        std::function<void()> change;
        bool changes;
    } const cases[] = {
        {"new flag", [&] { m->SetNew(true); }, true},
        {"fresh mark", [&] { m->fresh = true; }, true},
        {"receipt state", [&] { m->receiptState = 3; }, true},
        {"server number", [&] { m->serverNumber = 7; }, true},
        {"text replaced", [&] { m->raw = QByteArray(kWhole).replace("Hello", "Howdy"); }, true},
        {"fetched whole", [&] { m->headersOnly = true; }, true},
        {"record added", [&] { a.Box().Add(new MessageRecord); }, true},
        {"password", [&] { a.Password() = "pw"; }, true},
        {"last check only", [&] { a.Box().MarkCheckSucceeded(45001); }, false},
        {"nothing", [] {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const quint64 before = a.StateFingerprint(o);
        c.change();
        EXPECT_EQ(a.StateFingerprint(o) != before, c.changes);
    }
}

// Images queued for the background writer land in order, the newest last;
// a file written directly afterwards waits for them, so no older image
// lands after it.
TEST_F(MailboxFile, BackgroundWritesComeBeforeALaterDirectSave)
{
    MailAccount a(&dir);
    a.Login() = "bg";
    auto* m = new MessageRecord;
    m->UID = "one";
    m->raw = QByteArray(4 << 20, 'x');
    m->headersOnly = false;
    a.Box().Add(m);
    vm::MailboxSaveOptions o;
    o.OldMessagesSaveHeaders = false;
    MailboxWriter writer;
    for (int i = 0; i < 20; ++i) {
        m->serverNumber = i;
        MailboxFileImage image = a.FileImage(o);
        image.path = Path(QStringLiteral("copy%1.mbx").arg(i % 4)); // four files, five images each
        writer.Queue(std::move(image));
    }
    writer.WaitIdle();
    for (int i = 0; i < 4; ++i) {
        MailAccount back(&dir);
        back.LoadFromFile(Path(QStringLiteral("copy%1.mbx").arg(i)), {});
        EXPECT_EQ(back.Box().At(0)->serverNumber, 16 + i);
    }

    for (int i = 0; i < 10; ++i) {
        m->serverNumber = 100 + i;
        BackgroundMailboxWriter().Queue(a.FileImage(o));
    }
    m->serverNumber = 999;
    a.SaveToFile(o);
    WaitForMailboxWrites();
    MailAccount back(&dir);
    back.LoadFromFile(Path("bg.mbx"), {});
    EXPECT_EQ(back.Box().At(0)->serverNumber, 999);
}
