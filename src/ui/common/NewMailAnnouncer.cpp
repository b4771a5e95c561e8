#include "ui/common/NewMailAnnouncer.h"

#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "platform/ScrollLockBlinker.h"
#include "ui/common/NotificationSound.h"
#include "ui/common/NotificationWindow.h"

namespace vm {

NewMailAnnouncer::NewMailAnnouncer(QObject* parent)
    : QObject(parent), notify_(std::make_unique<NotificationWindow>()),
      sound_(std::make_unique<NotificationSound>()),
      scrollLock_(std::make_unique<ScrollLockBlinker>())
{
    connect(notify_.get(), &NotificationWindow::clicked, this, [this] {
        if (restoreFromTray)
            restoreFromTray();
    });
}

NewMailAnnouncer::~NewMailAnnouncer() = default;

QString NewMailAnnouncer::AnnouncementText(int count, AnnounceKind kind, const QString& account)
{
    const QString n = QString::number(count);
    const QString section = QStringLiteral("MAINWND");
    switch (kind) {
    case AnnounceKind::ShownAccount:
        return LangFormat(section, QStringLiteral("NewMessagesOnAccount"), {n, account});
    case AnnounceKind::SelectedAccounts:
        return LangFormat(section, QStringLiteral("NewMessagesOnSelectedAccounts"), {n});
    case AnnounceKind::AutoChecked:
        return LangFormat(section, QStringLiteral("NewMessagesOnAutocheckedAccounts"), {n});
    case AnnounceKind::AllAccounts:
        return LangFormat(section, QStringLiteral("NewMessagesOnAllAccounts"), {n});
    }
    return {};
}

QString NewMailAnnouncer::BlinkText(int count)
{
    if (count == 1)
        return LangText(QStringLiteral("MAINWND"), QStringLiteral("NewMessageBlink"));
    return LangFormat(QStringLiteral("MAINWND"), QStringLiteral("NewMessagesBlink"),
                      {QString::number(count)});
}

void NewMailAnnouncer::ShowNotification(const QString& text, int blinkPeriod, int lifetime,
                                        QColor background)
{
    notify_->close();
    notify_->text = text;
    notify_->blinking = blinkPeriod > 0;
    notify_->blinkPeriod = blinkPeriod;
    notify_->lifetime = lifetime;
    notify_->background = background;
    notify_->ShowNotification();
}

void NewMailAnnouncer::AnnounceNewMail(int count, AnnounceKind kind)
{
    if (count < 1)
        return;
    Settings& s = AppSettings();
    if (mainWindowVisible && mainWindowVisible()) {
        // Unless the user turned it off, a box tells what came; nothing
        // waits for it (checks, blinking and other windows go on), and the
        // marks end as the user has been told. Without it the list's bold
        // rows tell, and the marks end when the window is next activated.
        if (!s.MessageNotificationBox)
            return;
        const QString text =
            AnnouncementText(count, kind, shownAccountName ? shownAccountName() : QString());
        if (clearFreshMarks)
            clearFreshMarks();
        NotifyInfo(text);
        return;
    }
    notify_->close();
    if (s.MessageNotification & Settings::kNotifyWindow) {
        // The lifetime is kept in full: a timeout above 65 seconds is honoured
        // instead of being cut to a 16-bit count of milliseconds.
        const int lifetime = s.MessageNotificationWindowType != 0
                                 ? std::max(0, s.MessageNotificationWindowTimeout) * 1000
                                 : 0;
        ShowNotification(BlinkText(count), 1000, lifetime, QColor(255, 255, 170));
    }
    if (s.MessageNotification & Settings::kNotifySound) {
        if (!s.UseCustomMessageNotificationSound)
            sound_->PlayBuiltIn();
        else
            sound_->PlayFile(s.CustomMessageNotificationSound);
    }
    if (s.MessageNotification & Settings::kNotifyScrollLock)
        scrollLock_->Blink(true);
}

void NewMailAnnouncer::StopAnnouncing()
{
    notify_->close();
    // Leave the light alone unless the program is the one blinking it.
    if (scrollLock_->Blinking() || (AppSettings().MessageNotification & Settings::kNotifyScrollLock))
        scrollLock_->Blink(false);
}

} // namespace vm
