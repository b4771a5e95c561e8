#include "app/TrayControl.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>

#include "config/Settings.h"
#include "core/Messages.h"
#include "core/AppInfo.h"
#include "ui/common/TranslatedWindow.h"
#include "ui/common/TrayIcon.h"
#include "model/AccountsDirectory.h"
#include "ops/CheckSession.h"
#include "ops/ErrorList.h"

namespace vm {

TrayControl::TrayControl(QWidget* mainWindow, Hooks hooks, QObject* parent)
    : QObject(parent), window_(mainWindow), hooks_(std::move(hooks))
{
    icon_ = new TrayIcon(this);
    icon_->SetToolTip(AppInfo::Instance().ProductName());
    connect(icon_, &TrayIcon::restoreRequested, this, &TrayControl::RestoreFromTray);

    TrayMenu = new QMenu(mainWindow);
    TrayMenu->setObjectName(QStringLiteral("TrayMenu"));
    const auto add = [this](const char* name, const QString& text) {
        QAction* a = TrayMenu->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    popTrayRestore = add("popTrayRestore", tr("Restore"));
    TrayMenu->addSeparator();
    popTrayCheckMail = add("popTrayCheckMail", tr("Check mail"));
    popTrayLock = add("popTrayLock", tr("Lock automatic checking"));
    popTrayUnlock = add("popTrayUnlock", tr("Unlock automatic checking"));
    TrayMenu->addSeparator();
    popTrayExit = add("popTrayExit", tr("Exit"));
    QFont bold = popTrayRestore->font();
    bold.setBold(true);
    popTrayRestore->setFont(bold);
    TranslateMenu();

    connect(TrayMenu, &QMenu::aboutToShow, this, &TrayControl::UpdateTrayMenu);
    connect(popTrayRestore, &QAction::triggered, this, &TrayControl::RestoreFromTray);
    connect(popTrayCheckMail, &QAction::triggered, this, [this] {
        if (!(hooks_.pop3Busy && hooks_.pop3Busy()) && hooks_.checkAllAccounts)
            hooks_.checkAllAccounts();
    });
    connect(popTrayLock, &QAction::triggered, this, [this] {
        if (hooks_.lock)
            hooks_.lock();
    });
    connect(popTrayUnlock, &QAction::triggered, this, [this] {
        if (hooks_.unlock)
            hooks_.unlock();
    });
    connect(popTrayExit, &QAction::triggered, this, [this] {
        RestoreFromTray();
        closeExits = true;
        if (window_)
            window_->close();
    });
    icon_->SetMenu(TrayMenu);
    UpdateTrayMenu();
}

TrayControl::~TrayControl() = default;

QString TrayControl::NoTrayText()
{
    return TextOr("MAINWND", "NoTrayArea",
                  "This desktop has no notification area, so %s cannot hide in the tray. The "
                  "window is minimised to the task bar instead.",
                  {AppInfo::Instance().ProductName()});
}

bool TrayControl::TrayAvailable() const
{
    return hooks_.trayAvailable ? hooks_.trayAvailable() : TrayIcon::Available();
}

bool TrayControl::WindowShown() const
{
    return window_ && window_->isVisible() && !inTray_;
}

bool TrayControl::Blinking() const
{
    return icon_->Blinking();
}

void TrayControl::TranslateMenu()
{
    ApplySection(TrayMenu, QStringLiteral("MAINWND"));
}

void TrayControl::UpdateTrayMenu()
{
    const bool locked = hooks_.locked && hooks_.locked();
    popTrayCheckMail->setEnabled(!(hooks_.pop3Busy && hooks_.pop3Busy()) &&
                                 bool(hooks_.checkAllAccounts));
    popTrayLock->setEnabled(!locked);
    popTrayUnlock->setEnabled(locked);
}

void TrayControl::MinimizeToTray()
{
    if (!window_)
        return;
    // Hidden or minimised in place of the tray, the window keeps its state
    // (maximised or not) for its way back.
    if (!inTray_)
        wasMaximized_ = window_->isMaximized();
    inTray_ = true;
    UpdateNewMailLook();
    if (TrayAvailable()) {
        minimisedInstead_ = false;
        icon_->SetLocked(hooks_.locked && hooks_.locked());
        icon_->Show();
        window_->hide();
    } else {
        // Hiding without a tray would leave no way back to the window.
        minimisedInstead_ = true;
        window_->showMinimized();
        if (!noTrayNoticeGiven_) {
            noTrayNoticeGiven_ = true;
            ShowInfo(NoTrayText());
        }
    }
    if (hooks_.pop3Busy && hooks_.pop3Busy())
        StartTrayBlink();
}

void TrayControl::RestoreFromTray()
{
    icon_->Hide();
    const bool wasInTray = inTray_;
    inTray_ = false;
    minimisedInstead_ = false;
    if (hooks_.stopAnnouncing)
        hooks_.stopAnnouncing();
    if (!startupPlacing && hooks_.clearFreshMarks)
        hooks_.clearFreshMarks();
    UpdateNewMailLook();
    if (window_) {
        if (wasInTray || !window_->isVisible() || window_->isMinimized()) {
            const bool maximized =
                wasInTray ? wasMaximized_ : window_->windowState().testFlag(Qt::WindowMaximized);
            if (maximized)
                window_->showMaximized();
            else
                window_->showNormal();
        }
        window_->raise();
        window_->activateWindow();
    }
    StopTrayBlink();
}

QList<NewMailCount> TrayControl::NewMailCounts()
{
    QList<NewMailCount> counts;
    const AccountsDirectory& dir = Accounts();
    for (int i = 0; i < dir.Count(); ++i) {
        const MailAccount* a = dir.At(i);
        const int fresh = a ? a->Box().CountFresh(true) : 0;
        if (fresh > 0)
            counts.append({DisplayNameOf(*a), fresh});
    }
    return counts;
}

QString TrayControl::ToolTipText(const QList<NewMailCount>& counts)
{
    QString tip = AppInfo::Instance().ProductName();
    for (const NewMailCount& c : counts)
        tip += QLatin1Char('\n') + TextOr("MAINWND", "TrayNewMail", "%s: %s new",
                                          {c.account, QString::number(c.count)});
    return tip;
}

void TrayControl::UpdateNewMailLook()
{
    // A running operation owns the mailboxes: the look stays until it ends.
    if (hooks_.pop3Busy && hooks_.pop3Busy())
        return;
    const QList<NewMailCount> counts = hooks_.newMail ? hooks_.newMail() : NewMailCounts();
    icon_->SetToolTip(ToolTipText(counts));
    icon_->SetNewMail(!counts.isEmpty());
}

void TrayControl::StartTrayBlink()
{
    if (inTray_)
        icon_->StartBlink();
}

void TrayControl::StopTrayBlink()
{
    icon_->StopBlink();
}

void TrayControl::SetLocked(bool locked)
{
    icon_->SetLocked(locked);
    UpdateTrayMenu();
}

void TrayControl::CloseBoxUsed()
{
    closeExits = !AppSettings().CrossHides;
}

void TrayControl::TrayButtonClicked()
{
    closeExits = AppSettings().CrossHides;
    if (window_)
        window_->close();
}

bool TrayControl::CloseRequest()
{
    if (closeExits)
        return true;
    MinimizeToTray();
    closeExits = true;
    return false;
}

void TrayControl::Activated()
{
    // Where there is no tray the window comes back from the task bar: that
    // is its way out of the tray.
    if (inTray_ && minimisedInstead_ && window_ && !window_->isMinimized()) {
        RestoreFromTray();
        return;
    }
    if (inTray_)
        return;
    if (hooks_.stopAnnouncing)
        hooks_.stopAnnouncing();
    if (!startupPlacing && hooks_.clearFreshMarks)
        hooks_.clearFreshMarks();
}

} // namespace vm
