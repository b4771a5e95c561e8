#include "ui/common/TrayIcon.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

namespace vm {

TrayIcon::TrayIcon(QObject* parent) : QObject(parent)
{
    tray_ = new QSystemTrayIcon(this);
    tray_->setIcon(Icon(Picture::Normal));
    blink_.setSingleShot(true);
    connect(&blink_, &QTimer::timeout, this, &TrayIcon::BlinkTick);
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    Q_EMIT restoreRequested();
            });
}

TrayIcon::~TrayIcon() = default;

bool TrayIcon::Available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QIcon TrayIcon::Icon(Picture p, bool newMail)
{
    QPixmap pix(32, 32);
    pix.fill(Qt::transparent);
    if (p == Picture::Blank)
        return QIcon(pix);
    QPainter g(&pix);
    g.setRenderHint(QPainter::Antialiasing);
    // An envelope: body and flap.
    const QRectF body(2, 7, 28, 19);
    g.setPen(QPen(QColor(9, 69, 163), 2));
    g.setBrush(QColor(255, 250, 225));
    g.drawRoundedRect(body, 2, 2);
    QPainterPath flap;
    flap.moveTo(3, 8);
    flap.lineTo(16, 18);
    flap.lineTo(29, 8);
    g.setBrush(Qt::NoBrush);
    g.drawPath(flap);
    if (p == Picture::Locked) {
        // A padlock over the lower right corner.
        g.setPen(QPen(QColor(120, 20, 20), 2));
        g.setBrush(Qt::NoBrush);
        g.drawArc(QRectF(18, 12, 10, 10), 0, 180 * 16);
        g.setBrush(QColor(200, 40, 40));
        g.drawRect(QRectF(16, 18, 14, 11));
    }
    if (newMail) {
        // A red dot over the upper right corner: mail waits to be seen.
        g.setPen(QPen(Qt::white, 1.5));
        g.setBrush(QColor(220, 30, 30));
        g.drawEllipse(QRectF(19, 0.75, 12, 12));
    }
    return QIcon(pix);
}

void TrayIcon::SetMenu(QMenu* menu)
{
    tray_->setContextMenu(menu);
}

void TrayIcon::SetToolTip(const QString& tip)
{
    tray_->setToolTip(tip);
}

void TrayIcon::SetPicture(Picture p)
{
    shown_ = p;
    tray_->setIcon(Icon(p, newMail_));
}

void TrayIcon::SetNewMail(bool on)
{
    if (newMail_ == on)
        return;
    newMail_ = on;
    if (shown_ != Picture::Blank)
        SetPicture(shown_);
}

QString TrayIcon::ToolTip() const
{
    return tray_->toolTip();
}

void TrayIcon::SetLocked(bool locked)
{
    locked_ = locked;
    if (!blink_.isActive() || !blankPhase_)
        SetPicture(locked ? Picture::Locked : Picture::Normal);
}

void TrayIcon::Show()
{
    SetPicture(locked_ ? Picture::Locked : Picture::Normal);
    tray_->show();
}

void TrayIcon::Hide()
{
    tray_->hide();
}

bool TrayIcon::Visible() const
{
    return tray_->isVisible();
}

void TrayIcon::StartBlink()
{
    if (blink_.isActive())
        return;
    blankPhase_ = true;
    blink_.start(500);
}

void TrayIcon::StopBlink()
{
    blink_.stop();
    SetPicture(locked_ ? Picture::Locked : Picture::Normal);
}

void TrayIcon::BlinkTick()
{
    if (blankPhase_) {
        SetPicture(Picture::Blank);
        blink_.start(750);
    } else {
        SetPicture(locked_ ? Picture::Locked : Picture::Normal);
        blink_.start(500);
    }
    blankPhase_ = !blankPhase_;
}

} // namespace vm
