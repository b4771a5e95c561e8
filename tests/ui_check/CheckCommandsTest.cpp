// The check commands of the main window against the scripted fake server
// and Dovecot: busy state, reports, interrupt, announcements, removal and
// retrieval from the list.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <atomic>

#include "app/MainWindowControl.h"
#include "app/Shutdown.h"
#include "app/TrayControl.h"
#include "config/Settings.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "net/PasswordPrompt.h"
#include "ops/ErrorList.h"
#include "pop3/Pop3Client.h"
#include "support/DovecotFixture.h"
#include "support/FakeServer.h"
#include "support/FakeVault.h"
#include "ui/common/NotificationWindow.h"
#include "ui/common/TrayIcon.h"
#include "ui/main/MainWindow.h"
#include "ui_check/CheckTestSupport.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QPlainTextEdit>

using namespace vm;
using namespace vm::test;

namespace {

class CheckCommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureGuiApp();
        AppSettings() = Settings();
        AppSettings().MessageNotification = Settings::kNotifyWindow;
        AppSettings().MessagesDownloadRange = 1; // whole messages: "RETR" after "LIST"
        AppSettings().OldMessagesGetHeaders = false;
        Accounts().Clear();
        ClearErrorList();
        SetMessageService(&messages);
    }
    void TearDown() override
    {
        SetMessageService(nullptr);
        Accounts().Clear();
    }
    RecordingMessageService messages;
};

MessageRecord* AddRecord(MailAccount* a, const QByteArray& uid, bool headersOnly = false)
{
    auto* m = new MessageRecord;
    m->UID = uid;
    m->headersOnly = headersOnly;
    a->Box().Add(m);
    return m;
}

QByteArray Message(int i)
{
    return "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: note " +
           QByteArray::number(i) + "\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\n\r\nbody " +
           QByteArray::number(i) + "\r\n";
}

} // namespace

TEST_F(CheckCommandsTest, RowAfterRemovalIsClampedAndSkipsTheMoreRow)
{
    const auto holds = [](int moreRow) { return [moreRow](int r) { return r != moreRow; }; };
    EXPECT_EQ(RowToSelectAfterRemoval(1, 3, holds(-1)), 1);
    EXPECT_EQ(RowToSelectAfterRemoval(5, 3, holds(-1)), 2);  // clamped to the last row
    EXPECT_EQ(RowToSelectAfterRemoval(2, 3, holds(2)), 1);   // up past the "more" row
    EXPECT_EQ(RowToSelectAfterRemoval(0, 1, holds(0)), -1);  // only the "more" row is left
    EXPECT_EQ(RowToSelectAfterRemoval(0, 0, holds(-1)), -1); // nothing left
    EXPECT_EQ(RowToSelectAfterRemoval(-1, 4, holds(-1)), -1);
}

// A visible window, three selected accounts, an interrupt during the second:
// the third is never contacted, the box says "Aborted on demand." and the
// error window stays closed (an interrupt leaves no error line).
TEST_F(CheckCommandsTest, InterruptStopsSelectedCheckAfterTheCurrentAccount)
{
    CheckRig rig;
    FakeServer first, second, third;
    first.Pop3Login();
    first.Pop3Uidl({});
    first.Expect("QUIT").SendLine("+OK bye");
    second.Pop3Login();
    second.Stall(-1);
    first.Start();
    second.Start();
    third.Start();
    MailAccount* a = AddAccount("bob", "secret", first.Port());
    MailAccount* b = AddAccount("bob", "secret", second.Port());
    MailAccount* c = AddAccount("bob", "secret", third.Port());
    rig.window.selectedAccounts = {a, b, c};
    rig.window.show();

    QTimer poll;
    std::atomic<bool> interrupted{false};
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // Once the second server saw the password, ask to stop.
        if (!interrupted && second.Received().size() >= 3) {
            interrupted = true;
            rig.commands->popStatusInterruptClick();
        }
    });
    poll.start(20);
    rig.commands->popTreeCheckMailClick();
    poll.stop();

    EXPECT_TRUE(interrupted.load());
    EXPECT_TRUE(third.Received().isEmpty());
    EXPECT_EQ(Shown(messages, MsgIcon::Warning), QStringList{"Aborted on demand."});
    EXPECT_FALSE(rig.errorWindow->isVisible());
    EXPECT_EQ(rig.window.busyHistory, (QList<bool>{true, false}));
    EXPECT_FALSE(rig.commands->Busy());
    EXPECT_GE(rig.window.captionUpdates, 1);
}

// A failed account does not stop the others; the error window carries the
// mail check header and one line for the failed account.
TEST_F(CheckCommandsTest, FailedAccountIsReportedAndTheNextIsStillChecked)
{
    CheckRig rig;
    FakeServer good;
    good.Pop3Login();
    good.Pop3Uidl({"m1"});
    good.Expect("LIST 1").SendLine("+OK 1 120");
    good.Expect("RETR 1").SendLine("+OK");
    good.Send(Message(1) + ".\r\n");
    good.Expect("QUIT").SendLine("+OK");
    good.Start();
    MailAccount* bad = AddAccount("bob", "secret", ClosedPort());
    bad->FriendlyName() = "Broken";
    MailAccount* ok = AddAccount("bob", "secret", good.Port());
    rig.window.selectedAccounts = {bad, ok};
    rig.window.show();

    rig.commands->popTreeCheckMailClick();

    ASSERT_TRUE(rig.errorWindow->isVisible());
    EXPECT_EQ(rig.errorWindow->LHeader->text(), ErrorWindowHeader(OperationKind::MailCheck));
    EXPECT_TRUE(rig.errorWindow->MErrors->toPlainText().contains("Broken"));
    EXPECT_EQ(ok->Box().Count(), 1);
    // Visible window: one new message of the selected accounts in a box.
    EXPECT_EQ(Shown(messages, MsgIcon::Information),
              QStringList{LangFormat("MAINWND", "NewMessagesOnSelectedAccounts", {"1"})});
    // The box cleared the fresh marks.
    EXPECT_EQ(Accounts().CountFresh(true), 0);
}

// The "Check mail" button checks the shown account, refills the list it
// changed and announces with the account's name.
TEST_F(CheckCommandsTest, RefreshChecksTheShownAccountAndRefillsItsList)
{
    CheckRig rig;
    DovecotFixture dc;
    if (!DovecotFixture::Available())
        GTEST_SKIP() << "dovecot not installed";
    ASSERT_TRUE(dc.Start()) << dc.LastError().toStdString();
    dc.AddUser("bob", "secret");
    dc.Deliver("bob", Message(1));
    MailAccount* a = AddAccount("bob", "secret", dc.Pop3Port());
    a->FriendlyName() = "Home";
    rig.window.Show(a);
    rig.window.show();
    rig.window.list->setFocus();

    rig.commands->BRefreshClick();

    EXPECT_EQ(a->Box().Count(), 1);
    EXPECT_EQ(rig.window.list->count(), 1);
    EXPECT_EQ(rig.window.showMailboxCalls, 1);
    EXPECT_EQ(Shown(messages, MsgIcon::Information),
              QStringList{LangFormat("MAINWND", "NewMessagesOnAccount", {"1", "Home"})});
    // Nothing new the second time: no announcement, no refill.
    messages.shown.clear();
    rig.commands->BRefreshClick();
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(rig.window.showMailboxCalls, 1);
}

// Hidden in the tray, two automatic checks bring 2 and then 3 messages: the
// notification window says 2, then 5; the window's return clears the marks.
// A single message uses the singular text.
TEST_F(CheckCommandsTest, AutomaticChecksWhileHiddenCountEverythingSinceLastLook)
{
    CheckRig rig;
    DovecotFixture dc;
    if (!DovecotFixture::Available())
        GTEST_SKIP() << "dovecot not installed";
    ASSERT_TRUE(dc.Start()) << dc.LastError().toStdString();
    dc.AddUser("bob", "secret");
    AddAccount("bob", "secret", dc.Pop3Port());
    AddAccount("nobody", "", ClosedPort(), false); // not taking part: never contacted
    rig.window.show();
    rig.tray->MinimizeToTray();
    ASSERT_FALSE(rig.window.isVisible());

    NotificationWindow* form = rig.announcer->NotifyForm();
    dc.Deliver("bob", Message(1));
    dc.Deliver("bob", Message(2));
    rig.commands->CheckAccounts(true);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->text, "You have new mail (2 messages)");

    for (int i = 3; i <= 5; ++i)
        dc.Deliver("bob", Message(i));
    rig.commands->CheckAccounts(true);
    EXPECT_EQ(form->text, "You have new mail (5 messages)");
    EXPECT_TRUE(messages.shown.isEmpty()); // no box while hidden

    rig.tray->RestoreFromTray();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(Accounts().CountFresh(true), 0);

    rig.tray->MinimizeToTray();
    dc.Deliver("bob", Message(6));
    rig.commands->CheckAccounts(true);
    EXPECT_EQ(form->text, "You have new mail (1 message)");
    // A click on the notification window brings the main window back.
    QTest::mouseClick(form, Qt::LeftButton);
    EXPECT_TRUE(rig.window.isVisible());
    EXPECT_FALSE(rig.tray->InTray());
}

// The tray icon blinks while hidden and busy, not while shown; the end of
// the operation stops it.
TEST_F(CheckCommandsTest, TrayBlinksOnlyWhileHiddenAndBusy)
{
    CheckRig rig;
    FakeServer slow;
    slow.Pop3Login();
    slow.Stall(1200);
    slow.Start();
    FakeServer slow2;
    slow2.Pop3Login();
    slow2.Stall(1200);
    slow2.Start();
    MailAccount* a = AddAccount("bob", "secret", slow.Port());
    rig.window.show();
    rig.commands->operationRun.timeoutSeconds = 1; // ends the stall for silence

    bool blinkedWhileShown = false;
    QTimer::singleShot(300, [&] { blinkedWhileShown = rig.tray->Blinking(); });
    rig.commands->CheckAccounts(false);
    EXPECT_FALSE(blinkedWhileShown);

    a->Pop3Port() = slow2.Port();
    rig.errorWindow->close(); // the report of the visible check
    rig.tray->MinimizeToTray();
    bool blinkedWhileHidden = false;
    TrayIcon::Picture seen = TrayIcon::Picture::Normal;
    QTimer::singleShot(300, [&] { blinkedWhileHidden = rig.tray->Blinking(); });
    QTimer::singleShot(700, [&] { seen = rig.tray->Icon()->Shown(); });
    rig.commands->CheckAccounts(false);
    EXPECT_TRUE(blinkedWhileHidden);
    EXPECT_EQ(seen, TrayIcon::Picture::Blank); // 500 ms icon, then 750 ms blank
    EXPECT_FALSE(rig.tray->Blinking());
    EXPECT_EQ(rig.tray->Icon()->Shown(), TrayIcon::Picture::Normal);
    // Errors of a hidden check are not shown unless asked for.
    EXPECT_FALSE(rig.errorWindow->isVisible());
    EXPECT_FALSE(ErrorListEmpty());
}

// Removal: rows go only after the server confirmed with QUIT; the selection
// moves to the row at the first removed index.
TEST_F(CheckCommandsTest, RemovalDropsRowsOnlyAfterTheServerConfirmed)
{
    CheckRig rig;
    FakeServer s;
    MailAccount* a = AddAccount("bob", "secret", 0);
    AddRecord(a, "a");
    AddRecord(a, "b");
    AddRecord(a, "c");
    AddRecord(a, "d");
    std::atomic<int> removedAtDele{-1};
    s.Pop3Login();
    s.Pop3Uidl({"a", "c", "b", "d"}); // renumbered by the server
    s.Expect("DELE 3").Call([&] { removedAtDele = rig.window.removedCalls; }).SendLine("+OK");
    s.Expect("DELE 2").SendLine("+OK");
    s.Expect("QUIT").SendLine("+OK");
    s.Start();
    a->Pop3Port() = s.Port();
    rig.window.Show(a, true);
    rig.window.show();
    rig.window.SelectRows({1, 2, 4}); // b, c and the "more" row
    // The end of the operation is told once, with the mailbox as it stays
    // (the moment its file is written).
    QList<int> countsAtEnd;
    rig.operationEnded = [&] { countsAtEnd.append(a->Box().Count()); };

    EXPECT_TRUE(rig.commands->popListDeleteClick());
    ASSERT_TRUE(s.WaitDone());
    EXPECT_EQ(countsAtEnd, QList<int>{2});
    EXPECT_EQ(removedAtDele.load(), 0);
    EXPECT_EQ(a->Box().Count(), 2);
    ASSERT_EQ(rig.window.list->count(), 3); // a, d, more
    EXPECT_EQ(rig.window.RowRecord(0)->UID, "a");
    EXPECT_EQ(rig.window.RowRecord(1)->UID, "d");
    EXPECT_EQ(rig.window.SelectedRowIndexes(), QList<int>{1});
    EXPECT_EQ(messages.shown.size(), 1); // the confirmation only
    EXPECT_EQ(messages.shown.first().buttons, MsgButtons::YesNo);
    EXPECT_EQ(rig.window.statusTexts.last(), "Idle");
}

// "-ERR" to a DELE: no QUIT, every row and record stays, the error window
// names the removal. Answering No to the question starts nothing.
TEST_F(CheckCommandsTest, FailedRemovalKeepsEveryRow)
{
    CheckRig rig;
    FakeServer s;
    MailAccount* a = AddAccount("bob", "secret", 0);
    AddRecord(a, "a");
    AddRecord(a, "b");
    s.Pop3Login();
    s.Pop3Uidl({"a", "b"});
    s.Expect("DELE 1").SendLine("+OK");
    s.Expect("DELE 2").SendLine("-ERR locked");
    s.Start();
    a->Pop3Port() = s.Port();
    rig.window.Show(a);
    rig.window.show();
    rig.window.SelectRows({0, 1});

    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    EXPECT_FALSE(rig.commands->popListDeleteClick());
    EXPECT_TRUE(rig.window.busyHistory.isEmpty());
    messages.answer = nullptr;

    EXPECT_FALSE(rig.commands->popListDeleteClick());
    ASSERT_TRUE(s.WaitDone()); // a QUIT after the script's end fails the test
    EXPECT_EQ(a->Box().Count(), 2);
    EXPECT_EQ(rig.window.list->count(), 2);
    EXPECT_EQ(rig.window.removedCalls, 0);
    ASSERT_TRUE(rig.errorWindow->isVisible());
    EXPECT_EQ(rig.errorWindow->LHeader->text(), ErrorWindowHeader(OperationKind::MessageRemoval));
}

// An interrupt during a removal: "Aborted on demand.", nothing removed.
TEST_F(CheckCommandsTest, InterruptedRemovalSaysAbortedOnDemand)
{
    CheckRig rig;
    FakeServer s;
    MailAccount* a = AddAccount("bob", "secret", 0);
    AddRecord(a, "a");
    s.Pop3Login();
    s.Stall(-1);
    s.Start();
    a->Pop3Port() = s.Port();
    rig.window.Show(a);
    rig.window.show();
    rig.window.SelectRows({0});
    QTimer::singleShot(400, [&] { rig.commands->popStatusInterruptClick(); });

    EXPECT_FALSE(rig.commands->popListDeleteClick());
    EXPECT_EQ(Shown(messages, MsgIcon::Warning), QStringList{"Aborted on demand."});
    EXPECT_EQ(a->Box().Count(), 1);
    EXPECT_EQ(rig.window.list->count(), 1);
    EXPECT_FALSE(rig.errorWindow->isVisible());
}

// Retrieval: nothing headers-only selected gives the "already downloaded"
// box and no connection; otherwise the row shows the new record in place.
TEST_F(CheckCommandsTest, RetrievalUpdatesRowsInPlace)
{
    CheckRig rig;
    FakeServer s;
    MailAccount* a = AddAccount("bob", "secret", 0);
    AddRecord(a, "w1");
    MessageRecord* h = AddRecord(a, "h2", true);
    h->Flags |= mfRecent;
    s.Pop3Login();
    s.Pop3Uidl({"w1", "h2"});
    s.Expect("RETR 2").SendLine("+OK");
    s.Send(Message(2) + ".\r\n");
    s.Expect("QUIT").SendLine("+OK");
    s.Start();
    a->Pop3Port() = s.Port();
    rig.window.Show(a);
    rig.window.show();

    rig.window.SelectRows({0});
    EXPECT_FALSE(rig.commands->popListRetrieveWholeClick());
    EXPECT_EQ(Shown(messages, MsgIcon::Error),
              QStringList{"All (selected) messages have been already downloaded."});
    EXPECT_TRUE(rig.window.busyHistory.isEmpty());

    rig.window.SelectRows({1});
    EXPECT_TRUE(rig.commands->popListRetrieveWholeClick());
    ASSERT_TRUE(s.WaitDone());
    MessageRecord* now = a->Box().At(1);
    EXPECT_NE(now, h);
    EXPECT_FALSE(now->headersOnly);
    EXPECT_TRUE(now->IsNew()); // the new flag is carried over
    EXPECT_EQ(rig.window.RowRecord(1), now);
    EXPECT_EQ(rig.window.displayed, QList<MessageRecord*>{now});
}

// Answers the password prompt from a script and counts the questions.
class ScriptedPrompt : public PasswordPrompt
{
public:
    PasswordAnswer Ask(const PasswordRequest& request) override
    {
        ++asked;
        notes.append(request.note);
        return answer;
    }
    PasswordAnswer answer;
    int asked = 0;
    QStringList notes;
};

// A password the mailbox file leaves to a keyring that cannot give it: a
// check started by hand asks with the reason, logs in with the typed password
// and keeps it out of the account; the automatic check asks nobody and lists
// the keyring's failure among its errors, without contacting the server.
TEST_F(CheckCommandsTest, KeyringThatCannotGiveThePasswordAsksOnlyWhenStartedByHand)
{
    for (const bool automatic : {false, true}) {
        SCOPED_TRACE(automatic ? "automatic check" : "check by hand");
        Accounts().Clear();
        QTemporaryDir folder;
        Accounts().SetMailboxDirectory(folder.path() + '/');
        FakeVault vault;
        FakeServer s;
        if (!automatic) {
            s.Pop3Login("bob", "typed");
            s.Pop3Uidl({});
            s.Expect("QUIT").SendLine("+OK");
        }
        s.Start();
        auto* a = new MailAccount(&Accounts());
        a->Login() = "bob";
        a->Password() = "secret";
        a->Server() = "127.0.0.1";
        a->Pop3Port() = s.Port();
        MailboxSaveOptions inKeyring;
        inKeyring.keyring = &vault;
        a->SaveToFile(inKeyring);
        a->LoadFromFile(folder.filePath("bob.mbx"), {});
        Accounts().Add(a);
        vault.failReads = true;
        InstallSecretVault(&vault);

        CheckRig rig;
        ScriptedPrompt prompt;
        prompt.answer = PasswordAnswer{true, "typed", false};
        rig.commands->operationRun.prompt = &prompt;
        rig.window.selectedAccounts = {a};
        rig.window.show();
        if (automatic)
            rig.commands->CheckAccounts(true);
        else
            rig.commands->popTreeCheckMailClick();
        InstallSecretVault(nullptr);

        if (automatic) {
            EXPECT_EQ(prompt.asked, 0);
            ASSERT_EQ(ErrorList().size(), 1);
            EXPECT_TRUE(ErrorList()[0].contains("KeyringError")) << ErrorList()[0].toStdString();
            EXPECT_TRUE(ErrorList()[0].contains("the test keyring is down")) << ErrorList()[0].toStdString();
            EXPECT_TRUE(s.Received().isEmpty());
        } else {
            ASSERT_TRUE(s.WaitDone());
            EXPECT_EQ(prompt.notes, QStringList{"the test keyring is down"});
            EXPECT_TRUE(ErrorListEmpty());
        }
        EXPECT_TRUE(a->Password().isEmpty());
        EXPECT_TRUE(a->KeyringUnread(kPop3Secret));
        EXPECT_EQ(vault.calls, (QStringList{"write bob pop3", "read bob pop3"}));
    }
}

// The list commands ask for a missing password before anything changes: a
// cancelled prompt leaves the busy look, the error list, the tray, the new
// flag and the preview alone; a typed password is used for the login.
TEST_F(CheckCommandsTest, ListCommandsAskForThePasswordBeforeChangingAnything)
{
    const std::function<bool(MailCheckCommands&)> commands[] = {
        [](MailCheckCommands& c) { return c.popListDeleteClick(); },
        [](MailCheckCommands& c) { return c.popListRetrieveWholeClick(); },
    };
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "removal" : "retrieval");
        Accounts().Clear();
        ClearErrorList();
        AppendErrorLine("bob: an earlier failure");
        CheckRig rig;
        ScriptedPrompt prompt;
        rig.commands->operationRun.prompt = &prompt;
        FakeServer s;
        MailAccount* a = AddAccount("bob", "", 0);
        MessageRecord* m = AddRecord(a, "h1", true);
        m->Flags |= mfRecent;
        s.Pop3Login("bob", "typed");
        s.Pop3Uidl({"h1"});
        if (i == 0) {
            s.Expect("DELE 1").SendLine("+OK");
        } else {
            s.Expect("RETR 1").SendLine("+OK");
            s.Send(Message(1) + ".\r\n");
        }
        s.Expect("QUIT").SendLine("+OK");
        s.Start();
        a->Pop3Port() = s.Port();
        rig.window.Show(a);
        rig.window.show();
        rig.window.SelectRows({0});

        EXPECT_FALSE(commands[i](*rig.commands));
        EXPECT_EQ(prompt.asked, 1);
        EXPECT_TRUE(rig.window.busyHistory.isEmpty());
        EXPECT_EQ(ErrorList(), QStringList{"bob: an earlier failure"});
        EXPECT_TRUE(m->IsNew());
        EXPECT_TRUE(rig.window.displayed.isEmpty());
        EXPECT_EQ(rig.window.previewRefreshes, 0);
        EXPECT_TRUE(rig.window.statusTexts.isEmpty());
        EXPECT_TRUE(s.Received().isEmpty());

        prompt.answer = PasswordAnswer{true, "typed", false};
        EXPECT_TRUE(commands[i](*rig.commands));
        ASSERT_TRUE(s.WaitDone());
        EXPECT_EQ(prompt.asked, 2);
        EXPECT_TRUE(ErrorListEmpty());
    }
}

// The close request of the real main window: refused while a POP3 operation
// runs; with the close box hiding, it goes to the tray instead.
TEST_F(CheckCommandsTest, CloseIsRefusedWhileConnectedAndHiddenWhenTheCrossHides)
{
    MainWindow window;
    MainWindowControl control(window);
    control.PlaceAtStart(true);
    ShutdownHooks hooks;
    control.FillShutdownHooks(hooks);
    int saves = 0;
    hooks.saveSettings = [&](QString&) {
        ++saves;
        return true;
    };

    SharedPop3Client().Busy = true;
    EXPECT_FALSE(RunShutdown(hooks));
    SharedPop3Client().Busy = false;
    EXPECT_EQ(Shown(messages, MsgIcon::Error),
              QStringList{"Can't close the application before connection with server terminates."});
    EXPECT_EQ(saves, 0);

    AppSettings().CrossHides = true;
    control.Tray().CloseBoxUsed();
    EXPECT_FALSE(RunShutdown(hooks));
    EXPECT_TRUE(control.Tray().InTray());
    EXPECT_TRUE(control.Tray().closeExits);
    EXPECT_EQ(saves, 0);
    control.Tray().RestoreFromTray();
    EXPECT_TRUE(RunShutdown(hooks)); // the next close ends the program
    EXPECT_EQ(saves, 1);
}

// The real main window during a check: restoring it from the tray, an
// activation and repaints while the second account is being checked must not
// touch the mailboxes the check is changing. The fresh marks the user has
// seen (those from before the check) end when the check ends; the mail the
// first account fetched stays fresh, so hiding the window again still
// announces it.
TEST_F(CheckCommandsTest, WindowTouchedDuringACheckKeepsTheFreshMarksOfFetchedMail)
{
    FakeServer first, second;
    first.Pop3Login();
    first.Pop3Uidl({"old", "m1"});
    first.Expect("LIST 2").SendLine("+OK 2 120");
    first.Expect("RETR 2").SendLine("+OK");
    first.Send(Message(1) + ".\r\n");
    first.Expect("QUIT").SendLine("+OK");
    second.Pop3Login();
    second.Stall(1500);
    second.Pop3Uidl({});
    second.Expect("QUIT").SendLine("+OK");
    first.Start();
    second.Start();
    MailAccount* a = AddAccount("bob", "secret", first.Port());
    AddAccount("bob", "secret", second.Port());
    MessageRecord* old = AddRecord(a, "old");
    old->raw = Message(0);
    old->fresh = true;
    old->SetNew(true);
    a->Box().SetStale(false);

    MainWindow window;
    MainWindowControl control(window);
    control.PlaceAtStart(true);
    window.show();
    window.BuildAccountTree();
    const QString captionBefore = window.NodeOf(a)->text(0);
    control.Tray().MinimizeToTray();

    QTimer poll;
    bool touched = false;
    bool boldDuring = false;
    QString captionDuring;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // The first account is done once the second server saw the password.
        if (touched || second.Received().size() < 3)
            return;
        touched = true;
        control.Tray().RestoreFromTray();
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&window, &activate);
        window.Tree->viewport()->repaint();
        window.UpdateAccountCaptions();
        window.UpdateWindowState();
        boldDuring = window.NodeBold(window.NodeOf(a));
        captionDuring = window.NodeOf(a)->text(0);
        control.Tray().MinimizeToTray();
    });
    poll.start(20);
    control.Commands().popTrayCheckMailClick();
    poll.stop();

    ASSERT_TRUE(touched);
    // During the check the tree answered from what it knew at its start.
    EXPECT_TRUE(boldDuring);
    EXPECT_EQ(captionDuring, captionBefore);
    // After it, the captions follow the mailbox again.
    EXPECT_EQ(window.NodeOf(a)->text(0), MainWindow::AccountCaption(*a));
    EXPECT_NE(window.NodeOf(a)->text(0), captionBefore);
    ASSERT_EQ(a->Box().Count(), 2);
    EXPECT_FALSE(a->Box().FindByUIDL("old")->fresh);
    EXPECT_TRUE(a->Box().FindByUIDL("m1")->fresh);
    control.Tray().RestoreFromTray();
}
