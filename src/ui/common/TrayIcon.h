#pragma once
// The icon in the desktop's notification area while the main window is
// hidden: the normal envelope, the locked envelope while automatic checks are
// locked, and blinking (icon 500 ms, blank 750 ms) while an operation runs.
// While new mail waits the envelope carries a red dot.

#include <QIcon>
#include <QObject>
#include <QTimer>

class QMenu;
class QSystemTrayIcon;

namespace vm {


class TrayIcon : public QObject
{
    Q_OBJECT
public:
    enum class Picture { Normal, Locked, Blank }; // "IKONA1", "IKONA6", "BLANK"

    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    static bool Available();
    static QIcon Icon(Picture p, bool newMail = false);

    void SetMenu(QMenu* menu);
    void SetToolTip(const QString& tip);
    // The picture shown when not in the blank phase.
    void SetLocked(bool locked);
    bool Locked() const { return locked_; }
    // The new-mail mark on the normal and locked pictures.
    void SetNewMail(bool on);
    bool NewMail() const { return newMail_; }
    QString ToolTip() const;

    void Show();
    void Hide();
    bool Visible() const;

    void StartBlink();
    void StopBlink();
    bool Blinking() const { return blink_.isActive(); }
    Picture Shown() const { return shown_; }

Q_SIGNALS:
    void restoreRequested();

private:
    void SetPicture(Picture p);
    void BlinkTick();

    QSystemTrayIcon* tray_ = nullptr;
    QTimer blink_;
    bool locked_ = false;
    bool newMail_ = false;
    bool blankPhase_ = true; // the first blink step shows the blank picture
    Picture shown_ = Picture::Normal;
};

} // namespace vm
