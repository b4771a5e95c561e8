#include "ui/common/NotificationWindow.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>

#include <cmath>

namespace vm {

NotificationWindow::NotificationWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("NotifyForm"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setCursor(Qt::PointingHandCursor);
    blinkTimer_.setSingleShot(true);
    lifeTimer_.setSingleShot(true);
    connect(&blinkTimer_, &QTimer::timeout, this, &NotificationWindow::BlinkTick);
    connect(&lifeTimer_, &QTimer::timeout, this, &QWidget::close);
}

QFont NotificationWindow::TextFont() const
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(9);
    f.setBold(true);
    return f;
}

int NotificationWindow::Margin() const
{
    if (margin >= 0)
        return margin;
    return static_cast<int>(std::trunc(0.4 * QFontMetrics(TextFont()).height()));
}

QRect NotificationWindow::ComputeGeometry(const QRect& area) const
{
    const QFontMetrics fm(TextFont());
    int w = fm.horizontalAdvance(text);
    int h = fm.height();
    if (!picture.isNull())
        h = std::max(h, picture.height());
    const int m = Margin();
    h += 2 * m;
    w += 2 * m;
    if (!picture.isNull())
        w += picture.width() + m;
    const int left = static_cast<int>(
        std::trunc(area.left() + area.width() - w - 0.06 * area.width()));
    const int top = static_cast<int>(
        std::trunc(area.top() + area.height() - h - 0.02 * area.height()));
    return QRect(left, top, w, h);
}

void NotificationWindow::ShowNotification()
{
    if (isVisible())
        return;
    QRect area(0, 0, 1024, 768);
    if (QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    const QRect g = ComputeGeometry(area);
    setGeometry(g);
    if (rounding <= 100) {
        const int r = static_cast<int>(std::trunc(g.height() * rounding / 100.0));
        QPainterPath path;
        path.addRoundedRect(QRectF(0, 0, g.width(), g.height()), r / 2.0, r / 2.0);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    } else {
        clearMask();
    }
    translucent_ = false;
    setWindowOpacity(1.0);
    if (lifetime > 0)
        lifeTimer_.start(lifetime);
    if (blinking)
        blinkTimer_.start(blinkPeriod);
    show();
}

void NotificationWindow::BlinkTick()
{
    // Translucent half a period, opaque a whole one.
    translucent_ = !translucent_;
    setWindowOpacity(translucent_ ? kTranslucentOpacity : 1.0);
    blinkTimer_.start(translucent_ ? blinkPeriod / 2 : blinkPeriod);
}

void NotificationWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), background);
    const int r = rounding <= 100 ? static_cast<int>(std::trunc(height() * rounding / 100.0)) : 0;
    p.setPen(border);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), r / 2.0, r / 2.0);
    p.setFont(TextFont());
    const QFontMetrics fm(TextFont());
    const int m = Margin();
    if (picture.isNull()) {
        p.drawText(m, m + fm.ascent(), text);
    } else {
        p.drawPixmap(m, (height() - picture.height()) / 2, picture);
        p.drawText(m + picture.width() + m, (height() - fm.height()) / 2 + fm.ascent(), text);
    }
}

void NotificationWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT clicked();
}

void NotificationWindow::closeEvent(QCloseEvent* event)
{
    blinkTimer_.stop();
    lifeTimer_.stop();
    QWidget::closeEvent(event);
}

void NotificationWindow::hideEvent(QHideEvent* event)
{
    blinkTimer_.stop();
    lifeTimer_.stop();
    QWidget::hideEvent(event);
}

} // namespace vm
