#pragma once
// The order in which Velmora goes down when the main window is asked to
// close: refusals first (hide instead of exit, an operation still running,
// compose windows that will not close), then the settings, every mailbox
// file and the address book are written, each failure offering to cancel the
// exit, and finally the temporary files are removed.
//
// The sequence holds no window code: the main window fills in the hooks.
// A hook left empty is a step that has nothing to do.
//
// Unattended (a termination signal: logout, kill, Ctrl+C) nobody is there to
// answer: nothing hides or refuses, no question is asked, each failure is
// reported through reportFailure and the exit goes on, writing everything it
// still can.

#include <QString>

#include <functional>

namespace vm {

// What the user chose after a mailbox file could not be written.
enum class SaveErrorChoice { ContinueSaving, AbortExit };

struct SaveFailure
{
    QString accountName;
    QString errorClass;
    QString errorMessage;
};

struct ShutdownHooks
{
    bool unattended = false;
    std::function<void(const QString&)> reportFailure;
    // Step 1: close the find window, expire the new marks of the shown list.
    std::function<void()> closeFindAndExpireNewMarks;
    // Step 2: false when the close box only hides the window.
    std::function<bool()> closeExits;
    // Hides the window to the tray and arms the next close to exit.
    std::function<void()> hideToTray;
    // Step 3: a POP3 operation runs. Unattended, its worker still owns the
    // mailboxes (it did not stop in time): they are not written.
    std::function<bool()> pop3Busy;
    // Step 4: asks every compose window to close; true when some stay open.
    std::function<bool()> composeWindowsRemain;
    // Status line and cursor.
    std::function<void(const QString&)> setStatus;
    std::function<void(bool)> setBusyCursor;
    // Step 6: copies the window state into the settings; marks closing.
    std::function<void()> copyWindowState;
    std::function<void(bool)> setClosingMark;
    // Step 7; false with the system's reason on failure.
    std::function<bool(QString& reason)> saveSettings;
    std::function<QString()> settingsPath;
    // Step 8: number of accounts, and saving account i (false + failure on error).
    std::function<int()> accountCount;
    std::function<bool(int, SaveFailure&)> saveMailbox;
    std::function<SaveErrorChoice(const SaveFailure&)> askSaveError;
    // Step 9; false with the reason on failure.
    std::function<bool(QString& reason)> saveAddressBook;
    std::function<QString()> addressBookPath;
    // Step 10.
    std::function<void()> deleteTemporaryFiles;
};

// Runs the close request. Returns true when the process may end now (the
// status has been set to "Closing"); false when the close was refused.
bool RunShutdown(const ShutdownHooks& hooks);

} // namespace vm
