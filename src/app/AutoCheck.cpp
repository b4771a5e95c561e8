#include "app/AutoCheck.h"

#include "config/Settings.h"

namespace vm {

bool AutoCheckScheduler::TimerWanted()
{
    const Settings& s = AppSettings();
    return s.AutoMailCheck && s.CheckMailOnTimer;
}

void AutoCheckScheduler::EnableTimer(bool on)
{
    timerEnabled = on;
    if (hooks_.setTimerEnabled)
        hooks_.setTimerEnabled(on);
}

bool AutoCheckScheduler::StartUp(bool startedBySystem, bool checkSkipped)
{
    const Settings& s = AppSettings();
    if (s.AutoMailCheck && s.CheckMailOnStartup && !checkSkipped) {
        const bool sleep = startedBySystem && s.SleepOnStartup;
        countdown = sleep ? s.StartupSleepingTime : 0;
        EnableTimer(true);
        return !sleep;
    }
    if (TimerWanted()) {
        countdown = s.AutoMailCheckInterval;
        EnableTimer(true);
    }
    return false;
}

bool AutoCheckScheduler::Tick()
{
    if (!timerEnabled)
        return false;
    const bool busy = Call(hooks_.pop3Busy) || Call(hooks_.handOffBusy);
    if (countdown > 0 && !busy)
        --countdown;
    // An error report left open from the last check closes a second before the next.
    if (countdown == 1 && Call(hooks_.errorWindowVisible) && hooks_.closeErrorWindow)
        hooks_.closeErrorWindow();
    if (countdown != 0 || busy || Call(hooks_.blockingWindowOpen) || locked ||
        Call(hooks_.shuttingDown))
        return false;
    // Re-arm before checking, so a long check only delays the next one.
    EnableTimer(TimerWanted());
    countdown = AppSettings().AutoMailCheckInterval;
    if (hooks_.runAutomaticCheck)
        hooks_.runAutomaticCheck();
    return true;
}

bool AutoCheckScheduler::SetLock(LockMode mode)
{
    if (!TimerWanted())
        return false;
    switch (mode) {
    case LockMode::Toggle:
        locked = !locked;
        break;
    case LockMode::Lock:
        locked = true;
        break;
    case LockMode::Unlock:
        locked = false;
        break;
    }
    return true;
}

bool AutoCheckScheduler::AfterSettingsChanged()
{
    // The lock stays as the user set it: with checks off it has no effect,
    // and it still holds when they are switched on again.
    const bool wanted = TimerWanted();
    EnableTimer(wanted);
    countdown = wanted ? AppSettings().AutoMailCheckInterval : 0;
    return wanted;
}

} // namespace vm
