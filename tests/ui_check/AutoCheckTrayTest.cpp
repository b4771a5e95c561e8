// Automatic checks through the commands (countdown, obstacles, lock, the
// start-up rule), the close box and BTray, the tray and its fallback.

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include "config/Settings.h"
#include "core/AppInfo.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "ops/ErrorList.h"
#include "send/MailClientHandoff.h"
#include "ui/common/NotificationWindow.h"
#include "ui/common/TrayIcon.h"
#include "ui_check/CheckTestSupport.h"

using namespace vm;
using namespace vm::test;

namespace {

class AutoCheckTrayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureGuiApp();
        AppSettings() = Settings();
        AppSettings().AutoMailCheck = true;
        AppSettings().CheckMailOnStartup = true;
        AppSettings().CheckMailOnTimer = true;
        AppSettings().AutoMailCheckInterval = 3;
        AppSettings().MessageNotification = Settings::kNotifyWindow;
        Accounts().Clear();
        ClearErrorList();
        SetMessageService(&messages);
        // Each automatic check fails at once on a closed port: it shows up
        // as one busy period of the window.
        AddAccount("bob", "secret", ClosedPort());
    }
    void TearDown() override
    {
        SetMessageService(nullptr);
        Accounts().Clear();
    }
    static int Checks(const CheckRig& rig) { return rig.window.busyHistory.count(true); }
    RecordingMessageService messages;
};

} // namespace

TEST_F(AutoCheckTrayTest, StartUpCheckRunsAtTheFirstTickThenEveryInterval)
{
    CheckRig rig;
    EXPECT_TRUE(rig.commands->StartUp(false, false, true));
    EXPECT_TRUE(rig.commands->AutoCheckTimer->isActive());
    EXPECT_EQ(rig.commands->AutoCheckTimer->interval(), 1000);
    rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 1);
    for (int i = 0; i < 2; ++i)
        rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 1);
    rig.commands->AutoCheckTimerTimer(); // third second of the interval
    EXPECT_EQ(Checks(rig), 2);
}

// With only the start-up check wanted, the timer stops after it.
TEST_F(AutoCheckTrayTest, OnlyStartUpCheckStopsTheTimerAfterwards)
{
    AppSettings().CheckMailOnTimer = false;
    CheckRig rig;
    rig.commands->StartUp(false, false, true);
    rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 1);
    EXPECT_FALSE(rig.commands->AutoCheckTimer->isActive());
}

// A blocking window open at zero: the check runs at the first tick after it
// closed. The same for the lock and for shutting down.
TEST_F(AutoCheckTrayTest, ObstaclesHoldTheDueCheckUntilTheyAreGone)
{
    CheckRig rig;
    QDialog settingsWindow;
    rig.commands->StartUp(false, false, true);
    settingsWindow.show();
    rig.blockingWindow = true;
    for (int i = 0; i < 5; ++i)
        rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 0);
    EXPECT_EQ(rig.commands->Scheduler().countdown, 0);
    settingsWindow.close();
    rig.blockingWindow = false;
    rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 1);

    // The lock: nothing while locked; unlocking after zero checks at the next tick.
    rig.commands->SetAutoCheckLock(AutoCheckScheduler::LockMode::Lock);
    for (int i = 0; i < 5; ++i)
        rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 1);
    rig.commands->SetAutoCheckLock(AutoCheckScheduler::LockMode::Toggle);
    rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 2);
    EXPECT_EQ(rig.lockedLooks, (QList<bool>{true, false}));

    rig.shuttingDown = true;
    for (int i = 0; i < 5; ++i)
        rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 2);
}

// While a hand-off to the desktop's mail client runs, the countdown stands
// still and a due check waits; both go on once the hand-off ended.
TEST_F(AutoCheckTrayTest, HandOffHoldsTheCountdownAndTheCheck)
{
    // An xdg-email that runs until the test lets it end.
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QString release = bin.filePath("release");
    {
        QFile f(bin.filePath("xdg-email"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nwhile [ ! -e '" + release.toUtf8() + "' ]; do sleep 0.05; done\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    vm::test::ScopedEnv path("PATH");
    path.Set(bin.path().toUtf8() + ":" + path.Old());

    AppSettings().CheckMailOnStartup = false; // the first check after one interval (3 s)
    CheckRig rig;
    rig.commands->StartUp(false, false, true);
    ASSERT_EQ(rig.commands->Scheduler().countdown, 3);
    XdgEmailRun handOff;
    QSignalSpy ended(&handOff, &XdgEmailRun::finished);
    handOff.Start({"--utf8"});
    ASSERT_TRUE(XdgEmailRun::AnyRunning());
    for (int i = 0; i < 5; ++i)
        rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(rig.commands->Scheduler().countdown, 3);
    rig.commands->Scheduler().countdown = 0; // due while it runs
    for (int i = 0; i < 3; ++i)
        rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 0);

    QFile(release).open(QIODevice::WriteOnly);
    ASSERT_TRUE(ended.wait(30000));
    path.Set(path.Old());
    rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 1);
    EXPECT_EQ(rig.commands->Scheduler().countdown, 3);
    rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(rig.commands->Scheduler().countdown, 2);
}

// An error report still open is closed one second before the next check.
TEST_F(AutoCheckTrayTest, ErrorWindowClosesOneSecondBeforeTheNextCheck)
{
    CheckRig rig;
    rig.window.show(); // visible: the failed check opens the error window
    rig.commands->StartUp(false, false, true);
    rig.commands->AutoCheckTimerTimer();
    ASSERT_TRUE(rig.errorWindow->isVisible());
    rig.commands->AutoCheckTimerTimer(); // countdown 2
    EXPECT_TRUE(rig.errorWindow->isVisible());
    rig.commands->AutoCheckTimerTimer(); // countdown 1
    EXPECT_FALSE(rig.errorWindow->isVisible());
}

// Shift held at start: no start-up check, the user is told; interval checks
// still run.
TEST_F(AutoCheckTrayTest, ShiftAtStartSkipsOnlyTheStartUpCheck)
{
    {
        CheckRig rig;
        EXPECT_FALSE(rig.commands->StartUp(false, true, true));
        EXPECT_EQ(Shown(messages, MsgIcon::Information), QStringList{"Mail check skipped."});
        EXPECT_EQ(rig.commands->Scheduler().countdown, 3);
        for (int i = 0; i < 3; ++i)
            rig.commands->AutoCheckTimerTimer();
        EXPECT_EQ(Checks(rig), 1);
    }
    messages.shown.clear();
    CheckRig hidden;
    hidden.commands->StartUp(true, true, false);
    EXPECT_TRUE(messages.shown.isEmpty());
    NotificationWindow* form = hidden.announcer->NotifyForm();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->text, "Mail check skipped");
    EXPECT_EQ(form->lifetime, 10000);
    EXPECT_EQ(form->blinkPeriod, 1000);
    EXPECT_EQ(form->background, QColor(255, 255, 170));
}

// The start-up check after "-startup" waits StartupSleepingTime seconds.
TEST_F(AutoCheckTrayTest, StartedBySystemSleepsFirst)
{
    AppSettings().SleepOnStartup = true;
    AppSettings().StartupSleepingTime = 2;
    CheckRig rig;
    EXPECT_FALSE(rig.commands->StartUp(true, false, false));
    rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 0);
    rig.commands->AutoCheckTimerTimer();
    EXPECT_EQ(Checks(rig), 1);
}

// Lock and unlock while automatic checking is off: a warning, nothing changes.
TEST_F(AutoCheckTrayTest, LockingNeedsAutomaticChecking)
{
    AppSettings().CheckMailOnTimer = false;
    CheckRig rig;
    rig.commands->SetAutoCheckLock(AutoCheckScheduler::LockMode::Lock);
    EXPECT_FALSE(rig.commands->AutoCheckLocked());
    EXPECT_EQ(Shown(messages, MsgIcon::Warning),
              QStringList{"Automatic mail checking has been permanently disabled in general "
                          "settings."});
    EXPECT_TRUE(rig.lockedLooks.isEmpty());
}

// After the settings window's OK: the shown list is filled again when what
// it shows depends on a changed value, repainted when the navigation changed.
TEST_F(AutoCheckTrayTest, SettingsChangeRefillsOrRepaintsTheListAsNeeded)
{
    struct Case
    {
        const char* what;
        std::function<void(Settings&)> change;
        int refills;
        int repaints;
    };
    const Case cases[] = {
        {"nothing", [](Settings&) {}, 0, 0},
        {"age", [](Settings& s) { s.SetOldMessagesTime(s.OldMessagesTime + 1); }, 1, 0},
        {"unit", [](Settings& s) { s.SetOldMessagesUnit(3); }, 1, 0},
        {"charset", [](Settings& s) { s.DefIncomingEncoding = 27; }, 1, 0},
        {"navigation", [](Settings& s) { s.MsgListNavigation = 0; }, 0, 1},
        {"connection limit", [](Settings& s) { s.ConnectTimeout = 9; }, 0, 0},
    };
    for (const Case& c : cases) {
        AppSettings() = Settings();
        CheckRig rig;
        rig.window.Show(Accounts().At(0));
        const Settings before = AppSettings();
        c.change(AppSettings());
        rig.commands->AfterSettingsChanged(before);
        EXPECT_EQ(rig.window.showMailboxCalls, c.refills) << c.what;
        EXPECT_EQ(rig.navigationRepaints, c.repaints) << c.what;
    }
    // Nothing shown: nothing to refill.
    CheckRig rig;
    const Settings before = AppSettings();
    AppSettings().DefIncomingEncoding = 5;
    rig.commands->AfterSettingsChanged(before);
    EXPECT_EQ(rig.window.showMailboxCalls, 0);
}

// Switching automatic checks off says so and keeps the user's lock.
TEST_F(AutoCheckTrayTest, SettingsChangeWithChecksOffKeepsTheLock)
{
    CheckRig rig;
    rig.commands->StartUp(false, true, true);
    rig.commands->SetAutoCheckLock(AutoCheckScheduler::LockMode::Lock);
    ASSERT_TRUE(rig.commands->AutoCheckLocked());
    const Settings before = AppSettings();
    AppSettings().CheckMailOnTimer = false;
    rig.commands->AfterSettingsChanged(before);
    EXPECT_EQ(Shown(messages, MsgIcon::Warning),
              QStringList{"Automatic mail checking has been permanently disabled in general "
                          "settings."});
    EXPECT_TRUE(rig.commands->AutoCheckLocked());
    EXPECT_EQ(rig.lockedLooks.last(), true);
}

// Locking while hidden changes the tray picture at once; the menu follows.
TEST_F(AutoCheckTrayTest, LockChangesTheTrayPictureAndMenu)
{
    CheckRig rig;
    rig.window.show();
    rig.tray->MinimizeToTray();
    EXPECT_EQ(rig.tray->Icon()->Shown(), TrayIcon::Picture::Normal);
    rig.tray->popTrayLock->trigger();
    EXPECT_TRUE(rig.commands->AutoCheckLocked());
    EXPECT_EQ(rig.tray->Icon()->Shown(), TrayIcon::Picture::Locked);
    EXPECT_FALSE(rig.tray->popTrayLock->isEnabled());
    EXPECT_TRUE(rig.tray->popTrayUnlock->isEnabled());
    rig.tray->popTrayUnlock->trigger();
    EXPECT_EQ(rig.tray->Icon()->Shown(), TrayIcon::Picture::Normal);
}

// CrossHides on: the cross hides and BTray ends; off: the opposite.
TEST_F(AutoCheckTrayTest, CloseExitsFollowsCrossHidesBothWays)
{
    for (const bool crossHides : {true, false}) {
        AppSettings().CrossHides = crossHides;
        CheckRig rig;
        rig.window.show();
        rig.tray->CloseBoxUsed();
        EXPECT_EQ(rig.tray->CloseRequest(), !crossHides);
        EXPECT_EQ(rig.tray->InTray(), crossHides);
        EXPECT_TRUE(rig.tray->closeExits); // armed again after hiding
        rig.tray->RestoreFromTray();

        rig.tray->closeExits = true;
        rig.tray->TrayButtonClicked(); // asks the window to close
        rig.window.show();
        EXPECT_EQ(rig.tray->closeExits, crossHides);
        EXPECT_EQ(rig.tray->CloseRequest(), crossHides);
        EXPECT_EQ(rig.tray->InTray(), !crossHides);
    }
}

// Without a system tray the window is minimised instead, the user is told
// once, and coming back from the task bar counts as leaving the tray.
TEST_F(AutoCheckTrayTest, NoTrayFallsBackToMinimising)
{
    CheckRig rig;
    rig.trayAvailable = false;
    rig.window.show();
    rig.tray->MinimizeToTray();
    EXPECT_TRUE(rig.window.isVisible());
    EXPECT_TRUE(rig.window.isMinimized());
    EXPECT_TRUE(rig.tray->InTray());
    EXPECT_FALSE(rig.commands->MainVisible());
    rig.tray->RestoreFromTray();
    rig.tray->MinimizeToTray();
    EXPECT_EQ(Shown(messages, MsgIcon::Information), QStringList{TrayControl::NoTrayText()});
    rig.window.showNormal();
    rig.tray->Activated();
    EXPECT_FALSE(rig.tray->InTray());
}

// Activation ends the notification and clears the fresh marks, except while
// the window is placed at start.
TEST_F(AutoCheckTrayTest, ActivationClearsFreshMarksAndEndsTheNotification)
{
    CheckRig rig;
    MailAccount* a = Accounts().At(0);
    auto* m = new MessageRecord;
    m->UID = "x";
    m->fresh = true;
    a->Box().Add(m);
    a->Box().SetStale(false);
    ASSERT_EQ(Accounts().CountFresh(true), 1);
    rig.window.show();
    rig.tray->MinimizeToTray();
    rig.announcer->AnnounceNewMail(1, AnnounceKind::AutoChecked);
    EXPECT_TRUE(rig.announcer->NotifyForm()->isVisible());

    rig.tray->startupPlacing = true;
    rig.tray->RestoreFromTray();
    EXPECT_EQ(Accounts().CountFresh(true), 1);
    EXPECT_FALSE(rig.announcer->NotifyForm()->isVisible());
    rig.tray->startupPlacing = false;
    rig.tray->Activated();
    EXPECT_EQ(Accounts().CountFresh(true), 0);
}

// popTrayExit restores the window and asks it to close with closeExits set.
TEST_F(AutoCheckTrayTest, TrayExitRestoresThenCloses)
{
    AppSettings().CrossHides = true;
    CheckRig rig;
    rig.window.show();
    rig.tray->CloseBoxUsed();
    rig.tray->CloseRequest();
    ASSERT_TRUE(rig.tray->InTray());
    rig.tray->popTrayExit->trigger();
    EXPECT_FALSE(rig.tray->InTray());
    EXPECT_TRUE(rig.tray->closeExits);
    EXPECT_FALSE(rig.window.isVisible()); // the plain test window simply closed
}

// A maximised window comes back maximised from the tray, and from the task
// bar where there is no tray; a normal one comes back normal.
TEST_F(AutoCheckTrayTest, TheWindowComesBackFromTheTrayAsItWas)
{
    for (const bool trayAvailable : {true, false}) {
        for (const bool maximised : {true, false}) {
            SCOPED_TRACE(testing::Message() << "tray " << trayAvailable << ", maximised " << maximised);
            CheckRig rig;
            rig.trayAvailable = trayAvailable;
            if (maximised)
                rig.window.showMaximized();
            else
                rig.window.showNormal();
            rig.tray->MinimizeToTray();
            EXPECT_TRUE(rig.tray->InTray());
            rig.tray->RestoreFromTray();
            EXPECT_TRUE(rig.window.isVisible());
            EXPECT_FALSE(rig.window.isMinimized());
            EXPECT_EQ(rig.window.isMaximized(), maximised);
        }
    }
}

// The tray icon's tooltip names the accounts with mail not yet seen and how
// much; the icon carries a mark meanwhile. Both end when the user looks.
TEST_F(AutoCheckTrayTest, TrayTooltipAndMarkTellOfMailNotYetSeen)
{
    MailAccount* bob = Accounts().At(0);
    MailAccount* ann = AddAccount("ann", "secret", ClosedPort());
    ann->FriendlyName() = "Ann at work";
    for (MailAccount* a : {bob, ann})
        a->Box().SetStale(false);
    const auto addFresh = [](MailAccount* a, const QByteArray& uid) {
        auto* m = new MessageRecord;
        m->UID = uid;
        m->fresh = true;
        a->Box().Add(m);
    };
    addFresh(ann, "a1");
    addFresh(ann, "a2");
    CheckRig rig;
    rig.window.show();
    rig.tray->MinimizeToTray();
    const QString product = AppInfo::Instance().ProductName();
    EXPECT_EQ(rig.tray->Icon()->ToolTip(), product + "\nAnn at work: 2 new");
    EXPECT_TRUE(rig.tray->Icon()->NewMail());

    // A check that brings more updates them.
    addFresh(bob, "b1");
    rig.commands->CheckAccounts(false); // fails at once on the closed port
    EXPECT_EQ(rig.tray->Icon()->ToolTip(), product + "\nbob: 1 new\nAnn at work: 2 new");

    rig.tray->RestoreFromTray();
    EXPECT_EQ(rig.tray->Icon()->ToolTip(), product);
    EXPECT_FALSE(rig.tray->Icon()->NewMail());
}
