// The windowed program as a process of its own, ended from outside the way
// the desktop ends it: kill -9 (a crash, the OOM killer, a power cut) a few
// seconds after a check, and a termination signal (logout, kill, Ctrl+C)
// during a check or while a dialog is open. The program is the real one, or
// the same program object with a scripted user (window_session.cpp).

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <csignal>

#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/MailboxKey.h"
#include "support/FakeServer.h"
#include "support/TestFiles.h"

using namespace vm;
using vm::test::FakeServer;

namespace {

const QString kProgram = QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora");
const QString kSession = QStringLiteral(VELMORA_BINARY_DIR "/tests/app/velmora_window_session");

QByteArray Message(int i, bool receipt = false)
{
    QByteArray m = "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: note " +
                   QByteArray::number(i) + "\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\n";
    if (receipt)
        m += "Disposition-Notification-To: ann@example.org\r\n";
    return m + "\r\nbody " + QByteArray::number(i) + "\r\n";
}

// A data directory with settings for an immediate check at start and the
// account "bob" on the fake server.
struct DataDir
{
    QTemporaryDir dir;

    explicit DataDir(quint16 port)
    {
        vm::test::WriteFile(dir.filePath("velmora.ini"),
                            "[GENERAL]\nAutoMailCheck=1\nCheckMailOnStartup=1\nCheckMailOnTimer=0\n"
                            "AutoUpdateQuery=0\nAutoUpdateCheck=0\nRunOnStartup=0\n"
                            "MessagesDownloadRange=1\nMessageSaveRange=2\nOldMessagesGetHeaders=0\n"
                            "OldMessagesSaveHeaders=0\nOldMessagesDefHidden=0\n"
                            "MessageNotification=0\nDHTMLPreview=0\n"
                            "[WINDOWS]\nLastAccount=bob\n");
        BuildMailboxKey();
        AccountsDirectory accounts;
        accounts.SetMailboxDirectory(dir.path() + '/');
        auto* a = new MailAccount(&accounts);
        a->Login() = "bob";
        a->Password() = "secret";
        a->Server() = "127.0.0.1";
        a->Pop3Port() = port;
        a->AutoCheck() = true;
        // Sends through the program, so a receipt request is asked about.
        a->SmtpLogin() = "bob";
        a->SmtpServer() = "127.0.0.1";
        a->FromAddress() = "bob@example.org";
        a->SendViaThisProgram() = true;
        accounts.Add(a);
        a->SaveToFile({});
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    // The mailbox as the next start reads it.
    std::unique_ptr<MailAccount> Load() const
    {
        auto a = std::make_unique<MailAccount>();
        a->LoadFromFile(Path("bob.mbx"), {});
        return a;
    }
};

void Login(FakeServer& s)
{
    s.Pop3Login().Pop3Uidl({"m1", "m2", "m3"});
}

void Fetch(FakeServer& s, int i, const QByteArray& text)
{
    s.Expect("LIST " + QByteArray::number(i))
        .SendLine("+OK " + QByteArray::number(i) + ' ' + QByteArray::number(text.size()));
    s.Expect("RETR " + QByteArray::number(i)).SendLine("+OK").Send(text + ".\r\n");
}

QProcessEnvironment Environment(bool answerBoxes)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Without it a message box waits for a person: a box the program shows
    // on its way out keeps it from ending.
    if (answerBoxes)
        env.insert("VELMORA_MESSAGE_ANSWER", "no");
    else
        env.remove("VELMORA_MESSAGE_ANSWER");
    env.remove("VELMORA_HOME");
    return env;
}

// Reads the child's output until a line starting with prefix; that line.
QByteArray WaitForLine(QProcess& p, const QByteArray& prefix, int ms = 60000)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        while (p.canReadLine()) {
            const QByteArray line = p.readLine().trimmed();
            if (line.startsWith(prefix))
                return line;
        }
        if (p.state() == QProcess::NotRunning)
            break;
        p.waitForReadyRead(100);
    }
    return {};
}

// Sends sig and measures how long the process takes to end (-1: not within 10 s).
qint64 SignalAndTimeExit(QProcess& p, int sig)
{
    QElapsedTimer t;
    t.start();
    ::kill(pid_t(p.processId()), sig);
    if (!p.waitForFinished(10000))
        return -1;
    return t.elapsed();
}

struct Killer
{
    QProcess& p;
    ~Killer()
    {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
        }
    }
};

} // namespace

// A check fetches three messages; the user looks at one (it is no longer
// new, its receipt request declined) and moves the window. kill -9 a few
// seconds later: the next start finds every fetched message and every change.
TEST(SaveAsYouGo, KillNineSecondsAfterACheckLosesNothing)
{
    ASSERT_TRUE(QFile::exists(kSession));
    FakeServer server;
    Login(server);
    Fetch(server, 1, Message(1));
    Fetch(server, 2, Message(2, true));
    Fetch(server, 3, Message(3));
    server.Expect("QUIT").SendLine("+OK bye");
    server.Start();
    DataDir data(server.Port());

    QProcess session;
    Killer killer{session};
    session.setProcessEnvironment(Environment(true));
    session.start(kSession, {"flags", data.dir.path()});
    ASSERT_FALSE(WaitForLine(session, "checked").isEmpty()) << session.readAllStandardError().constData();
    const QByteArray acted = WaitForLine(session, "acted");
    ASSERT_FALSE(acted.isEmpty()) << session.readAllStandardError().constData();
    const QByteArray left = acted.mid(6);

    QThread::sleep(6); // the user goes on; the machine dies a few seconds later
    ::kill(pid_t(session.processId()), SIGKILL);
    ASSERT_TRUE(session.waitForFinished(10000));
    EXPECT_TRUE(server.Mismatches().isEmpty()) << server.Mismatches().join('\n').toStdString();

    const std::unique_ptr<MailAccount> restarted = data.Load();
    const Mailbox& box = restarted->Box();
    ASSERT_EQ(box.Count(), 3);
    struct Expected
    {
        QByteArray uid;
        int number;
        bool isNew;
        int receipt;
    } const expected[] = {{"m1", 1, true, 0}, {"m2", 2, false, 2}, {"m3", 3, true, 0}};
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.uid.constData());
        const MessageRecord* m = box.FindByUIDL(e.uid);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->raw, Message(e.number, e.number == 2));
        EXPECT_FALSE(m->headersOnly);
        EXPECT_EQ(m->IsNew(), e.isNew);
        EXPECT_EQ(m->receiptState, e.receipt);
    }
    // The window's new place reached the settings file as well.
    EXPECT_TRUE(vm::test::ReadFile(data.Path("velmora.ini")).contains("MainWndLeft=" + left))
        << vm::test::ReadFile(data.Path("velmora.ini")).constData();
}

// SIGTERM while the third message is on its way from a server that has
// stalled: the program stops the check, keeps the two messages it has
// whole, writes them and exits within 10 seconds, showing no window (no
// person answers boxes here: one would keep it from ending).
TEST(Termination, SignalDuringASlowCheckKeepsWhatArrivedAndExits)
{
    ASSERT_TRUE(QFile::exists(kProgram));
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        FakeServer server;
        std::atomic<bool> stalled{false};
        Login(server);
        Fetch(server, 1, Message(1));
        Fetch(server, 2, Message(2));
        server.Expect("LIST 3").SendLine("+OK 3 5000");
        server.Expect("RETR 3").SendLine("+OK").Send("From: Ann <ann@example.org>\r\n");
        server.Call([&] { stalled = true; }).Stall(-1);
        server.Start();
        DataDir data(server.Port());

        QProcess program;
        Killer killer{program};
        program.setProcessEnvironment(Environment(false));
        program.start(kProgram, {"--data-dir", data.dir.path()});
        const QDeadlineTimer deadline(60000);
        while (!stalled && !deadline.hasExpired() && program.state() != QProcess::NotRunning)
            QThread::msleep(50);
        ASSERT_TRUE(stalled) << program.readAllStandardError().constData();

        const qint64 ms = SignalAndTimeExit(program, sig);
        ASSERT_GE(ms, 0) << "still running 10 s after the signal";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_TRUE(server.Mismatches().isEmpty()) << server.Mismatches().join('\n').toStdString();

        const std::unique_ptr<MailAccount> restarted = data.Load();
        ASSERT_EQ(restarted->Box().Count(), 2);
        EXPECT_EQ(restarted->Box().FindByUIDL("m1")->raw, Message(1));
        EXPECT_EQ(restarted->Box().FindByUIDL("m2")->raw, Message(2));
        EXPECT_EQ(restarted->Box().FindByUIDL("m3"), nullptr);
    }
}

// SIGTERM while a dialog is open (the settings window, a message box that
// nobody answers): the dialog is closed, the settings are written and the
// program ends at once, well before the grace time for a stuck operation.
TEST(Termination, SignalClosesAnOpenDialogAndExits)
{
    ASSERT_TRUE(QFile::exists(kSession));
    for (const char* scenario : {"settings", "box"}) {
        SCOPED_TRACE(scenario);
        DataDir data(1); // nothing listens there; no check is made
        vm::test::WriteFile(data.Path("velmora.ini"),
                            "[GENERAL]\nAutoMailCheck=0\nAutoUpdateQuery=0\nRunOnStartup=0\n");
        QProcess session;
        Killer killer{session};
        session.setProcessEnvironment(Environment(false));
        session.start(kSession, {scenario, data.dir.path()});
        ASSERT_FALSE(WaitForLine(session, "modal").isEmpty())
            << session.readAllStandardError().constData();

        const qint64 ms = SignalAndTimeExit(session, SIGTERM);
        ASSERT_GE(ms, 0) << "still running 10 s after the signal";
        EXPECT_LT(ms, 7000);
        EXPECT_EQ(session.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(session.exitCode(), 0);
        EXPECT_FALSE(WaitForLine(session, "closed", 1000).isEmpty());
        EXPECT_TRUE(vm::test::ReadFile(data.Path("velmora.ini"))
                        .contains("LastNotifiedUpdate=before-the-signal"));
    }
}
