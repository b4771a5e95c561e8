#pragma once
// When accounts are checked without the user asking: the one-second tick
// with its countdown, the obstacles that hold a due check back (an operation
// running, a blocking window open, the user's lock, shutting down), and the
// lock itself. No window code: the main window fills in the hooks.

#include <functional>

namespace vm {

class AutoCheckScheduler
{
public:
    struct Hooks
    {
        std::function<bool()> pop3Busy;
        std::function<bool()> handOffBusy;          // mail client hand-off running
        std::function<bool()> blockingWindowOpen;   // details, settings, account, ...
        std::function<bool()> shuttingDown;
        std::function<bool()> errorWindowVisible;
        std::function<void()> closeErrorWindow;
        std::function<void()> runAutomaticCheck;
        std::function<void(bool)> setTimerEnabled;  // the 1000 ms timer
    };

    explicit AutoCheckScheduler(Hooks hooks) : hooks_(std::move(hooks)) {}

    // Arms the timer at start. Returns true when a check is due at once (the
    // next tick), which matters for clearing fresh marks at start.
    bool StartUp(bool startedBySystem, bool checkSkipped);

    // One tick of the timer; returns true when it started a check.
    bool Tick();

    enum class LockMode { Toggle = 0, Lock = 1, Unlock = 2 };
    // Returns false (and changes nothing) when automatic checking is switched
    // off in the settings; the caller then tells the user so.
    bool SetLock(LockMode mode);

    // After the settings window closed with OK: the timer runs exactly when
    // interval checks are on, counting down a whole interval. Returns false
    // when automatic checking is now off (the user is to be told that it is
    // permanently disabled); the lock is left as it is either way.
    bool AfterSettingsChanged();

    int countdown = 0;
    bool locked = false;
    bool timerEnabled = false;

private:
    static bool TimerWanted();
    void EnableTimer(bool on);
    bool Call(const std::function<bool()>& f) const { return f && f(); }

    Hooks hooks_;
};

} // namespace vm
