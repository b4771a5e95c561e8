#include <gtest/gtest.h>

#include "app/AutoCheck.h"
#include "config/Settings.h"

using namespace vm;

namespace {

class AutoCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AppSettings() = Settings();
        AppSettings().AutoMailCheck = true;
        AppSettings().CheckMailOnStartup = true;
        AppSettings().CheckMailOnTimer = true;
        AppSettings().AutoMailCheckInterval = 5;
        AppSettings().SleepOnStartup = true;
        AppSettings().StartupSleepingTime = 3;
    }
    AutoCheckScheduler Make()
    {
        AutoCheckScheduler::Hooks h;
        h.pop3Busy = [this] { return busy; };
        h.blockingWindowOpen = [this] { return modal; };
        h.shuttingDown = [this] { return closing; };
        h.errorWindowVisible = [this] { return errorWindow; };
        h.closeErrorWindow = [this] {
            errorWindow = false;
            ++errorClosedAt;
        };
        h.runAutomaticCheck = [this] { ++checks; };
        return AutoCheckScheduler(h);
    }
    // Ticks until a check starts; returns the number of ticks, or -1.
    int TicksUntilCheck(AutoCheckScheduler& s, int limit = 100)
    {
        for (int i = 1; i <= limit; ++i)
            if (s.Tick())
                return i;
        return -1;
    }
    bool busy = false, modal = false, closing = false, errorWindow = false;
    int checks = 0, errorClosedAt = 0;
};

} // namespace

TEST_F(AutoCheckTest, StartUpCheckRules)
{
    auto s = Make();
    EXPECT_TRUE(s.StartUp(false, false)); // due at the first tick
    EXPECT_EQ(TicksUntilCheck(s), 1);
    EXPECT_EQ(s.countdown, 5);

    auto sleeping = Make();
    EXPECT_FALSE(sleeping.StartUp(true, false)); // started with the session: sleep first
    EXPECT_EQ(sleeping.countdown, 3);
    EXPECT_EQ(TicksUntilCheck(sleeping), 3);

    // Shift skips only the start-up check; interval checks still run.
    auto skipped = Make();
    EXPECT_FALSE(skipped.StartUp(false, true));
    EXPECT_TRUE(skipped.timerEnabled);
    EXPECT_EQ(TicksUntilCheck(skipped), 5);
}

TEST_F(AutoCheckTest, StartUpOnlyCheckStopsTheTimerAfterwards)
{
    AppSettings().CheckMailOnTimer = false;
    auto s = Make();
    s.StartUp(false, false);
    EXPECT_EQ(TicksUntilCheck(s), 1);
    EXPECT_FALSE(s.timerEnabled);
    EXPECT_FALSE(s.Tick());
    EXPECT_EQ(checks, 1);
}

TEST_F(AutoCheckTest, ObstaclesHoldTheCheckAtZero)
{
    auto s = Make();
    s.StartUp(false, true);
    modal = true; // a settings window open when the countdown runs out
    EXPECT_EQ(TicksUntilCheck(s, 20), -1);
    EXPECT_EQ(s.countdown, 0);
    modal = false;
    EXPECT_TRUE(s.Tick()); // one tick after the window closed
    EXPECT_EQ(checks, 1);

    busy = true; // a running operation also stops the countdown itself
    s.countdown = 3;
    for (int i = 0; i < 10; ++i)
        s.Tick();
    EXPECT_EQ(s.countdown, 3);
    busy = false;
    closing = true;
    EXPECT_EQ(TicksUntilCheck(s, 10), -1);
    EXPECT_EQ(checks, 1);
}

TEST_F(AutoCheckTest, LockHoldsChecksAndUnlockRunsAtNextTick)
{
    auto s = Make();
    s.StartUp(false, true);
    EXPECT_TRUE(s.SetLock(AutoCheckScheduler::LockMode::Lock));
    EXPECT_EQ(TicksUntilCheck(s, 20), -1);
    EXPECT_TRUE(s.SetLock(AutoCheckScheduler::LockMode::Toggle));
    EXPECT_FALSE(s.locked);
    EXPECT_TRUE(s.Tick());

    AppSettings().CheckMailOnTimer = false;
    EXPECT_FALSE(s.SetLock(AutoCheckScheduler::LockMode::Lock)); // permanently disabled
    EXPECT_FALSE(s.locked);
}

TEST_F(AutoCheckTest, ErrorWindowClosesOneSecondBeforeTheCheck)
{
    auto s = Make();
    s.StartUp(false, true); // countdown 5
    errorWindow = true;
    s.Tick(); // 4
    s.Tick(); // 3
    s.Tick(); // 2
    EXPECT_EQ(errorClosedAt, 0);
    s.Tick(); // 1: closes
    EXPECT_EQ(errorClosedAt, 1);
    EXPECT_FALSE(errorWindow);
    EXPECT_TRUE(s.Tick());
}

TEST_F(AutoCheckTest, SettingsChangeRearmsOrStops)
{
    auto s = Make();
    s.StartUp(false, true);
    s.locked = true;
    AppSettings().AutoMailCheckInterval = 60;
    EXPECT_TRUE(s.AfterSettingsChanged());
    EXPECT_EQ(s.countdown, 60);
    EXPECT_TRUE(s.locked);
    AppSettings().AutoMailCheck = false;
    EXPECT_FALSE(s.AfterSettingsChanged());
    EXPECT_FALSE(s.timerEnabled);
    EXPECT_EQ(s.countdown, 0);
    EXPECT_TRUE(s.locked); // still locked when checks come back
    AppSettings().AutoMailCheck = true;
    EXPECT_TRUE(s.AfterSettingsChanged());
    EXPECT_TRUE(s.locked);
}
