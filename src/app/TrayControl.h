#pragma once
// The main window's life in the notification area: hiding to the tray and
// coming back, the blinking icon while an operation runs, the tray menu,
// the close box that either ends the program or hides the window, and what
// every activation of the window does (the notification ends, fresh marks
// are cleared).
//
// Where the desktop has no system tray, hiding would strand the window with
// no way back: the window is minimised to the task bar instead and the user
// is told so once.

#include <QObject>
#include <QList>
#include <QPointer>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QWidget;
namespace vm { class TrayIcon; }

namespace vm {

// An account with mail the user has not seen yet.
struct NewMailCount
{
    QString account; // display name
    int count = 0;
};

class TrayControl : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<bool()> pop3Busy;
        // Clears the fresh marks of every mailbox that is not stale.
        std::function<void()> clearFreshMarks;
        // Closes the notification window and stops the Scroll Lock light.
        std::function<void()> stopAnnouncing;
        // popTrayCheckMail: the check of all accounts.
        std::function<void()> checkAllAccounts;
        // popTrayLock / popTrayUnlock.
        std::function<void()> lock;
        std::function<void()> unlock;
        std::function<bool()> locked;
        // Whether the desktop offers a tray; by default asked of Qt.
        std::function<bool()> trayAvailable;
        // The accounts with mail the user has not seen yet, with its number;
        // by default NewMailCounts().
        std::function<QList<NewMailCount>()> newMail;
    };

    TrayControl(QWidget* mainWindow, Hooks hooks, QObject* parent = nullptr);
    ~TrayControl() override;

    // Adds the tray icon and hides the window (or minimises it where there
    // is no tray); blinking starts when an operation runs.
    void MinimizeToTray();
    // Removes the icon, ends the notification, clears the fresh marks
    // (unless the window is still being placed at start), shows the window
    // in front and stops the blinking.
    void RestoreFromTray();
    // The icon blinks only while the window is in the tray.
    void StartTrayBlink();
    void StopTrayBlink();
    // The tray picture follows the lock ("IKONA6" while locked).
    void SetLocked(bool locked);
    // The tooltip names the accounts with new mail and their counts, and the
    // picture carries a mark while there is any (asked of the newMail hook;
    // run when the window goes to the tray and after every check).
    void UpdateNewMailLook();
    // The product name, then one line per account ("MAINWND", "TrayNewMail").
    static QString ToolTipText(const QList<NewMailCount>& counts);
    // The accounts of the directory whose current lists hold fresh mail
    // (arrived since the user last looked), in directory order.
    static QList<NewMailCount> NewMailCounts();

    // True while the window sits in the tray (hidden, or minimised in its
    // place where there is no tray).
    bool InTray() const { return inTray_; }
    // The window counts as visible: shown (possibly minimised to the task
    // bar) and not in the tray.
    bool WindowShown() const;
    bool Blinking() const;

    // --- close box and BTray --------------------------------------------------
    // The next close request ends the program (true) or hides the window.
    bool closeExits = true;
    // The title-bar cross, system menu or Alt+F4: closeExits = !CrossHides.
    void CloseBoxUsed();
    // BTray: closeExits = CrossHides, then the window is asked to close.
    void TrayButtonClicked();
    // The first step of a close request: when the close only hides, the
    // window goes to the tray, closeExits is armed again and false is
    // returned (the close is refused); true lets the shutdown run.
    bool CloseRequest();

    // Every activation of the main window.
    void Activated();
    // Set while the window is placed at start: restoring and activation then
    // leave the fresh marks alone.
    bool startupPlacing = false;
    // True once the no-tray notice was given.
    bool noTrayNoticeGiven() const { return noTrayNoticeGiven_; }

    TrayIcon* Icon() const { return icon_; }
    QMenu* TrayMenu = nullptr;
    QAction* popTrayRestore = nullptr;
    QAction* popTrayCheckMail = nullptr;
    QAction* popTrayLock = nullptr;
    QAction* popTrayUnlock = nullptr;
    QAction* popTrayExit = nullptr;
    // Enabling of the tray menu's items (also run before it opens).
    void UpdateTrayMenu();
    // The tray menu's texts from the language file.
    void TranslateMenu();

    // The text shown once where there is no tray.
    static QString NoTrayText();

private:
    bool TrayAvailable() const;

    QPointer<QWidget> window_;
    Hooks hooks_;
    TrayIcon* icon_ = nullptr;
    bool inTray_ = false;
    bool minimisedInstead_ = false;
    bool wasMaximized_ = false;
    bool noTrayNoticeGiven_ = false;
};

} // namespace vm
