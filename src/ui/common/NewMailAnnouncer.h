#pragma once
// Telling the user about new mail after a check. With the main window on
// screen: a message box that nothing waits for (unless the setting
// MessageNotificationBox turned it off). With the window hidden: the methods
// chosen in the settings, namely the notification window in the corner, a
// sound and the blinking Scroll Lock light.

#include <QObject>

#include <functional>
#include <memory>

namespace vm { class NotificationWindow; }
namespace vm { class NotificationSound; }

namespace vm {

class ScrollLockBlinker;

// Who asked for the check, which decides the text of the announcement.
enum class AnnounceKind {
    ShownAccount = 0,      // the shown account's refresh
    SelectedAccounts = 1,  // the selected accounts
    AutoChecked = 2,       // the automatic check
    AllAccounts = 3,       // all accounts
};

class NewMailAnnouncer : public QObject
{
    Q_OBJECT
public:
    explicit NewMailAnnouncer(QObject* parent = nullptr);
    ~NewMailAnnouncer() override;

    // Hooks into the main window.
    std::function<bool()> mainWindowVisible;
    std::function<void()> clearFreshMarks;  // every mailbox that is not stale
    std::function<QString()> shownAccountName;
    std::function<void()> restoreFromTray;  // a click on the notification window

    // Announces count messages; nothing below 1.
    void AnnounceNewMail(int count, AnnounceKind kind);
    // Shows the notification window with a text (also used for "Mail check skipped").
    void ShowNotification(const QString& text, int blinkPeriod, int lifetime, QColor background);
    // The main window came back: close the window, stop the Scroll Lock light.
    void StopAnnouncing();

    // The text of the message box for a kind.
    static QString AnnouncementText(int count, AnnounceKind kind, const QString& accountName);
    // The text of the notification window.
    static QString BlinkText(int count);

    NotificationWindow* NotifyForm() const { return notify_.get(); }
    NotificationSound* Sound() const { return sound_.get(); }
    ScrollLockBlinker* ScrollLock() const { return scrollLock_.get(); }

private:
    std::unique_ptr<NotificationWindow> notify_;
    std::unique_ptr<NotificationSound> sound_;
    std::unique_ptr<ScrollLockBlinker> scrollLock_;
};

} // namespace vm
