// Under a real X server with a tray (Xvfb and trayer): the program starts
// hidden in the tray, an automatic check finds new mail in Dovecot, the icon
// blinks during the check, the notification window sits in the lower right
// corner, the Scroll Lock light blinks, and a click on the window brings the
// main window back with the light dark. Runs only when VELMORA_XTRAY=1;
// screenshots go to VELMORA_SCREENSHOT_DIR. For example:
//   Xvfb :99 -screen 0 1024x768x24 & DISPLAY=:99 trayer --edge top --align right &
//   DISPLAY=:99 QT_QPA_PLATFORM=xcb VELMORA_XTRAY=1 VELMORA_SCREENSHOT_DIR=/tmp/shots
//     test_ui_check --gtest_filter='XTray.*'   (one command line)

#include <gtest/gtest.h>

#include <cmath>

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include "app/MailCheckCommands.h"
#include "app/MainWindowControl.h"
#include "app/TrayControl.h"
#include "config/Settings.h"
#include "core/Messages.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "platform/ScrollLock.h"
#include "platform/ScrollLockBlinker.h"
#include "support/DovecotFixture.h"
#include "support/FakeServer.h"
#include "ui/common/NewMailAnnouncer.h"
#include "ui/common/NotificationWindow.h"
#include "ui/common/TrayIcon.h"
#include "ui/main/MainWindow.h"
#include "ui_check/CheckTestSupport.h"

using namespace vm;
using namespace vm::test;

namespace {

void Grab(const QString& name)
{
    const QString dir = qEnvironmentVariable("VELMORA_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QGuiApplication::primaryScreen()->grabWindow(0).save(dir + '/' + name);
}

QByteArray Message(int i)
{
    return "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: note " +
           QByteArray::number(i) + "\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\n\r\nbody\r\n";
}

} // namespace

TEST(XTray, HiddenStartBlinksAnnouncesAndComesBackOnClick)
{
    if (qgetenv("VELMORA_XTRAY") != "1")
        GTEST_SKIP() << "set VELMORA_XTRAY=1 and run under X with a tray";
    EnsureGuiApp();
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "no system tray on this display";
    if (!DovecotFixture::Available())
        GTEST_SKIP() << "dovecot not installed";
    RecordingMessageService messages;
    SetMessageService(&messages);
    AppSettings() = Settings();
    AppSettings().AutoMailCheck = true;
    // One check, a second after a start by the session.
    AppSettings().CheckMailOnStartup = true;
    AppSettings().SleepOnStartup = true;
    AppSettings().StartupSleepingTime = 1;
    AppSettings().CheckMailOnTimer = false;
    AppSettings().MessagesDownloadRange = 1;
    AppSettings().OldMessagesGetHeaders = false;
    AppSettings().MessageNotification = Settings::kNotifyWindow | Settings::kNotifySound |
                                     Settings::kNotifyScrollLock;
    AppSettings().MessageNotificationWindowType = 0;

    DovecotFixture dc;
    ASSERT_TRUE(dc.Start()) << dc.LastError().toStdString();
    dc.AddUser("bob", "secret");
    Accounts().Clear();
    MailAccount* home = AddAccount("bob", "secret", dc.Pop3Port());
    home->FriendlyName() = "Home";
    // A second account whose server takes its time, so the check lasts
    // long enough to watch the icon blink.
    FakeServer slow;
    slow.SendLine("+OK ready").Expect("CAPA").SendLine("-ERR no").Expect("USER bob");
    slow.SendLine("+OK").Expect("PASS secret").SendLine("+OK logged in").Stall(-1);
    AppSettings().ConnectTimeout = 3; // the silence limit ends the slow account
    slow.Start();
    AddAccount("bob", "secret", slow.Port())->FriendlyName() = "Slow";

    MainWindow window;
    window.BuildAccountTree();
    MainWindowControl control(window);
    control.PlaceAtStart(false);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(control.Tray().InTray());
    EXPECT_TRUE(control.Tray().Icon()->Visible());

    dc.Deliver("bob", Message(1));
    dc.Deliver("bob", Message(2));
    control.StartAutomaticChecks(true, false, false);

    // Watch the icon during the check (the check runs inside the waits
    // below): both pictures of the blink appear.
    QSet<int> pictures;
    int grabs = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (!control.Commands().Busy())
            return;
        pictures.insert(int(control.Tray().Icon()->Shown()));
        if (grabs < 12)
            Grab(QStringLiteral("blink-%1.png").arg(grabs++));
    });
    sampler.start(230);
    NotificationWindow* form = control.Announcer().NotifyForm();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->isVisible(); }, 20000));
    sampler.stop();
    EXPECT_TRUE(pictures.contains(int(TrayIcon::Picture::Blank)));
    EXPECT_TRUE(pictures.contains(int(TrayIcon::Picture::Normal)));
    EXPECT_EQ(form->text, "You have new mail (2 messages)");
    EXPECT_FALSE(control.Tray().Blinking());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // In the lower right corner of the work area: 6 % of its width to the
    // right and 2 % of its height below, whole pixels toward the corner.
    EXPECT_EQ(area.x() + area.width() - (form->x() + form->width()),
              static_cast<int>(std::ceil(0.06 * area.width())));
    EXPECT_EQ(area.y() + area.height() - (form->y() + form->height()),
              static_cast<int>(std::ceil(0.02 * area.height())));
    const QFontMetrics fm(QFont("Arial", 9, QFont::Bold));
    const int margin = fm.height() * 4 / 10;
    EXPECT_EQ(form->size(),
              QSize(fm.horizontalAdvance(form->text) + 2 * margin, fm.height() + 2 * margin));
    EXPECT_GT(form->geometry().center().x(), area.center().x());
    EXPECT_GT(form->geometry().center().y(), area.center().y());

    // The Scroll Lock light blinks (read back through XKB).
    ScrollLockLight light;
    bool seenOn = false, seenOff = false;
    for (int i = 0; i < 12; ++i) {
        (light.IsOn() ? seenOn : seenOff) = true;
        QTest::qWait(150);
    }
    if (light.Available()) {
        EXPECT_TRUE(seenOn);
        EXPECT_TRUE(seenOff);
    }
    QTest::qWait(600); // let the translucent phase pass for the picture
    Grab(QStringLiteral("notify.png"));

    QTest::mouseClick(form, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isVisible(); }, 3000));
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(control.Tray().InTray());
    EXPECT_FALSE(control.Announcer().ScrollLock()->Blinking());
    EXPECT_FALSE(light.IsOn());
    EXPECT_EQ(Accounts().CountFresh(true), 0);
    QTest::qWait(300);
    Grab(QStringLiteral("restored.png"));
    Accounts().Clear();
    SetMessageService(nullptr);
}
