#include "ui/common/LoadingWindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

namespace vm {

LoadingWindow::LoadingWindow(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("LoadingWnd"));
    setFixedSize(498, 215);
    setCursor(Qt::WaitCursor);

    LVersion = new QLabel(this);
    LVersion->setObjectName(QStringLiteral("LVersion"));
    LVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LVersion->setGeometry(180, 96, 300, 20);
    QFont vf(QStringLiteral("Arial"));
    vf.setPixelSize(12);
    LVersion->setFont(vf);
    LVersion->setStyleSheet(QStringLiteral("color: rgb(9, 69, 163);"));

    LMessage = new QLabel(this);
    LMessage->setObjectName(QStringLiteral("LMessage"));
    LMessage->setAlignment(Qt::AlignCenter);
    LMessage->setGeometry(0, 215 - 26, 498, 20);
    LMessage->setStyleSheet(QStringLiteral("color: white;"));

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - rect().center());
    }
}

void LoadingWindow::SetMessage(const QString& text)
{
    LMessage->setText(text);
    LMessage->repaint();
}

void LoadingWindow::SetVersionText(const QString& text)
{
    LVersion->setText(text);
}

void LoadingWindow::paintEvent(QPaintEvent*)
{
    // The picture: a light panel with the product name above a dark band
    // that carries the message line.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0, QColor(236, 243, 252));
    sky.setColorAt(1, QColor(196, 214, 240));
    p.fillRect(rect(), sky);
    p.fillRect(QRect(0, height() - 32, width(), 32), QColor(9, 69, 163));
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(48);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(9, 69, 163));
    p.drawText(QRect(24, 24, width() - 48, 70), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Velmora"));
    p.setPen(QColor(120, 140, 170));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace vm
