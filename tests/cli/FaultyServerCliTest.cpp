// The built program's --check, --delete and --fetch against a POP3 server
// that breaks the protocol: a line that is neither "+OK" nor "-ERR", a
// listing whose numbers do not match, a reply cut mid-line, a dropped or
// silent connection. The account holds 20 stored header blocks; whatever
// the fault, the command exits 1 with an error line naming it, closes the
// connection without QUIT (nothing is deleted), and every stored message
// keeps its record under its own id.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <functional>

#include "config/StorageSettings.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "cli/CommandRun.h"
#include "support/FakeServer.h"

using namespace vm;
using vm::test::CommandResult;
using vm::test::FakeServer;
using vm::test::ProgramPath;
using vm::test::RunCommand;

namespace {

constexpr int kStored = 20;

QByteArray Uid(int k)
{
    return "m" + QByteArray::number(k);
}

QByteArray HeaderBlock(int k)
{
    return "From: Ann <ann@example.org>\r\nSubject: message " + QByteArray::number(k) +
           "\r\nDate: Tue, 2 Jan 2024 10:00:00 +0000\r\n\r\n";
}

// The whole message k as a server sends it after "+OK".
QByteArray RetrReply(int k)
{
    return "+OK\r\n" + HeaderBlock(k) + "body of message " + QByteArray::number(k) + "\r\n.\r\n";
}

// A UIDL listing: "+OK", the lines, ".".
QByteArray Listing(const QList<QByteArray>& lines)
{
    QByteArray out = "+OK\r\n";
    for (const QByteArray& l : lines)
        out += l + "\r\n";
    return out + ".\r\n";
}

// The lines "1 m1" .. "n mn".
QList<QByteArray> UidlLines(int n)
{
    QList<QByteArray> lines;
    for (int k = 1; k <= n; ++k)
        lines.append(QByteArray::number(k) + ' ' + Uid(k));
    return lines;
}

// What the script of one case adds after the login.
using Script = std::function<void(FakeServer&)>;

// The client sends RETR 1..20 at once (the server pipelines).
void ExpectAllRetr(FakeServer& s)
{
    for (int k = 1; k <= kStored; ++k)
        s.Expect("RETR " + QByteArray::number(k));
}

struct Case
{
    const char* name;
    QStringList command; // after "--data-dir DIR"
    Script script;
    const char* error; // in the error line on standard error
};

class FaultyServerCli : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { vm::test::EnsureCoreApplication(); }

    // velmora.ini and the mailbox file of account "Bob" on port, holding
    // the header blocks of messages 1..20 as a check with MessageSaveRange=1
    // leaves them. The check that follows fetches them whole.
    void WriteData(const QString& dir, quint16 port)
    {
        QFile ini(dir + "/velmora.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[GENERAL]\r\nMessagesDownloadRange=1\r\nOldMessagesGetHeaders=0\r\n"
                  "MessageSaveRange=1\r\nConnectTimeout=2\r\n");
        ini.close();
        AccountsDirectory accounts;
        accounts.SetMailboxDirectory(dir + "/");
        MailAccount account(&accounts);
        account.FriendlyName() = "Bob";
        account.Login() = "bob";
        account.Password() = "secret";
        account.Server() = "127.0.0.1";
        account.Pop3Port() = port;
        for (int k = 1; k <= kStored; ++k) {
            auto* m = new MessageRecord;
            m->UID = Uid(k);
            m->raw = HeaderBlock(k);
            m->size = 300;
            m->headersOnly = true;
            m->ParseHeaders();
            account.Box().Add(m);
        }
        account.SaveToFile(SaveOptionsFromSettings());
    }

    // "uidl subject" of every stored record, sorted, one per line.
    std::string Stored(const QString& dir)
    {
        const CommandResult listed = RunCommand(dir, {"--list", "Bob", "--json"});
        EXPECT_EQ(listed.code, 0) << listed.err.toStdString();
        QStringList records;
        for (const QJsonValue& v : QJsonDocument::fromJson(listed.outBytes).array()) {
            const QJsonObject o = v.toObject();
            records.append(o.value("uidl").toString() + ' ' + o.value("subject").toString());
        }
        records.sort();
        return records.join('\n').toStdString();
    }
};

} // namespace

TEST_F(FaultyServerCli, BrokenRepliesEndTheSessionAndKeepEveryStoredRecord)
{
    if (!QFile::exists(ProgramPath()))
        GTEST_SKIP() << "the program is not built";
    const QList<QByteArray> good = UidlLines(kStored);
    const auto uidl = [](const QList<QByteArray>& lines) {
        return [lines](FakeServer& s) { s.Expect("UIDL").Send(Listing(lines)); };
    };
    const auto with = [](QList<QByteArray> lines, int at, const QByteArray& line) {
        lines.insert(at, line);
        return lines;
    };
    const QStringList check{"--check", "Bob"};
    const Case cases[] = {
        // One line too many ahead of the replies to twenty fetches in
        // flight: read as the reply of RETR 1, it would put each message
        // under its neighbour's id.
        {"garbage status line before the replies", check,
         [&](FakeServer& s) {
             uidl(good)(s);
             ExpectAllRetr(s);
             QByteArray replies = "* garbage\r\n";
             for (int k = 1; k <= kStored; ++k)
                 replies += RetrReply(k);
             s.Send(replies);
         },
         "Pop3ProtocolError"},
        {"garbage status line in place of one reply", check,
         [&](FakeServer& s) {
             uidl(good)(s);
             ExpectAllRetr(s);
             s.Send("Subject: stray\r\n");
         },
         "Pop3ProtocolError"},
        {"reply cut mid-line", check,
         [&](FakeServer& s) {
             uidl(good)(s);
             ExpectAllRetr(s);
             s.Send("+OK\r\nFrom: Ann <ann@exa").Drop();
         },
         "ConnectionClosed"},
        {"status line cut mid-line", check,
         [&](FakeServer& s) {
             uidl(good)(s);
             ExpectAllRetr(s);
             s.Send("+O").Drop();
         },
         "ConnectionClosed"},
        {"connection dropped", check,
         [&](FakeServer& s) {
             uidl(good)(s);
             ExpectAllRetr(s);
             s.Drop();
         },
         "ConnectionClosed"},
        {"server falls silent", check,
         [&](FakeServer& s) {
             uidl(good)(s);
             ExpectAllRetr(s);
         },
         "Remote host had not replied"},
        {"garbage inside UIDL", check, uidl(with(good, 10, "garbage")), "Pop3ProtocolError"},
        {"UIDL line repeated", check, uidl(with(good, 5, "5 m5")), "Pop3ProtocolError"},
        {"UIDL line without a number", check, uidl(with(good, 20, "m21")), "Pop3ProtocolError"},
        {"UIDL number out of range", check,
         uidl([&] {
             QList<QByteArray> lines = good;
             lines[7] = "21 m8";
             return lines;
         }()),
         "Pop3ProtocolError"},
        {"UIDL line without an id", check, uidl(with(good, 20, "21 ")), "Pop3ProtocolError"},
        // m20 is gone from the server and eight messages are new, so the
        // sizes come from one LIST; a LIST that repeats a number is refused
        // before the gone record is forgotten.
        {"LIST listing repeats a number", check,
         [&](FakeServer& s) {
             QList<QByteArray> lines = UidlLines(kStored - 1);
             QList<QByteArray> sizes;
             for (int k = 1; k <= kStored + 7; ++k) {
                 if (k >= kStored)
                     lines.append(QByteArray::number(k) + ' ' + Uid(k + 1));
                 sizes.append(QByteArray::number(k) + " 300");
             }
             sizes[3] = "3 300";
             uidl(lines)(s);
             s.Expect("LIST").Send(Listing(sizes));
         },
         "Pop3ProtocolError"},
        {"LIST n answered for another message", check,
         [&](FakeServer& s) {
             uidl(UidlLines(kStored + 1))(s);
             ExpectAllRetr(s);
             s.Expect("LIST 21");
             QByteArray replies;
             for (int k = 1; k <= kStored; ++k)
                 replies += RetrReply(k);
             s.Send(replies + "+OK 22 300\r\n");
         },
         "Pop3ProtocolError"},
        {"garbage in reply to DELE", {"--delete", "Bob", "m3", "m4"},
         [&](FakeServer& s) {
             uidl(good)(s);
             s.Expect("DELE 3").SendLine("+OK marked").Expect("DELE 4").SendLine("OK");
         },
         "Pop3ProtocolError"},
        {"UIDL repeats a number before DELE", {"--delete", "Bob", "m4"},
         uidl([&] {
             QList<QByteArray> lines = good;
             lines[3] = "3 m4";
             return lines;
         }()),
         "Pop3ProtocolError"},
        {"garbage in reply to RETR of a fetch", {"--fetch", "Bob", "m2", "m5"},
         [&](FakeServer& s) {
             uidl(good)(s);
             s.Expect("RETR 2").Send(RetrReply(2)).Expect("RETR 5").SendLine("+0K");
         },
         "Pop3ProtocolError"},
    };

    QStringList stored;
    for (int k = 1; k <= kStored; ++k)
        stored.append(QStringLiteral("m%1 message %1").arg(k));
    stored.sort();
    const std::string expected = stored.join('\n').toStdString();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir data;
        ASSERT_TRUE(data.isValid());
        FakeServer s;
        s.SendLine("+OK ready")
            .Expect("CAPA")
            .Send("+OK\r\nUSER\r\nUIDL\r\nTOP\r\nPIPELINING\r\n.\r\n")
            .Expect("USER bob")
            .SendLine("+OK")
            .Expect("PASS secret")
            .SendLine("+OK logged in");
        c.script(s);
        s.ExpectClose(10000);
        WriteData(data.path(), s.Port());
        s.Start();

        const CommandResult run = RunCommand(data.path(), c.command);
        const QString& err = run.err;
        EXPECT_EQ(run.code, 1) << err.toStdString();
        ASSERT_TRUE(s.WaitDone(20000));
        EXPECT_TRUE(s.Mismatches().isEmpty()) << s.Mismatches().join('\n').toStdString();
        EXPECT_FALSE(s.Received().contains("QUIT"));
        EXPECT_TRUE(err.contains("Account: <Bob> Exception class: ")) << err.toStdString();
        EXPECT_TRUE(err.contains(QLatin1String(c.error))) << err.toStdString();
        EXPECT_EQ(Stored(data.path()), expected);
    }
}
