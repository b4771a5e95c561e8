#pragma once
// The small notification window in the lower right corner of the desktop:
// one line of text, optionally a picture, rounded corners, blinking by
// turning translucent, and an optional lifetime. A click on it asks the
// program to bring its main window back.

#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace vm {

class NotificationWindow : public QWidget
{
    Q_OBJECT
public:
    explicit NotificationWindow(QWidget* parent = nullptr);

    QString text;
    QPixmap picture;
    bool blinking = false;
    int blinkPeriod = 1000;   // ms
    int lifetime = 0;         // ms; 0 = stays until closed
    int margin = -1;          // pixels; -1 = automatic (0.4 x text height)
    int rounding = 35;        // percent of the height; above 100 gives square corners
    QColor background{255, 255, 200};
    QColor border{0, 0, 128};

    static constexpr double kTranslucentOpacity = 50.0 / 255.0;

    // Sizes, places and shows the window; does nothing while it is visible.
    void ShowNotification();
    // The window's size and place for the given work area, by the rules above.
    QRect ComputeGeometry(const QRect& workArea) const;
    bool IsTranslucent() const { return translucent_; }

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BlinkTick();
    int Margin() const;
    QFont TextFont() const;

    QTimer blinkTimer_;
    QTimer lifeTimer_;
    bool translucent_ = false;
};

} // namespace vm
