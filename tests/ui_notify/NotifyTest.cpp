#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/LangStartup.h"
#include "platform/ScrollLockBlinker.h"
#include "ui/common/GuiMessageService.h"
#include "ui/common/NewMailAnnouncer.h"
#include "ui/common/NotificationSound.h"
#include "ui/common/NotificationWindow.h"

using namespace vm;

namespace {

class NotifyTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test";
        static char* argv[] = {name, nullptr};
        if (!qApp)
            new QApplication(argc, argv);
        static QTemporaryDir dir;
        ASSERT_EQ(DiscoverLanguageFiles(dir.path() + '/'), QString());
        ASSERT_EQ(ChooseAndLoadLanguage(dir.path() + '/', "english.lng"), QString());
    }
    void SetUp() override
    {
        SetMessageService(&messages);
        AppSettings() = Settings();
    }
    void TearDown() override { SetMessageService(nullptr); }
    RecordingMessageService messages;
};

} // namespace

TEST_F(NotifyTest, GeometrySitsInTheLowerRightCorner)
{
    NotificationWindow f;
    f.text = "You have new mail (3 messages)";
    const QRect area(0, 0, 1000, 700);
    const QRect g = f.ComputeGeometry(area);
    // The text's box as Qt measures it in 9 point bold Arial (or what stands
    // in for it here), with a margin of 40 % of the text height all round.
    const QFontMetrics fm(QFont("Arial", 9, QFont::Bold));
    const int m = fm.height() * 4 / 10;
    EXPECT_EQ(g.width(), fm.horizontalAdvance(f.text) + 2 * m);
    EXPECT_EQ(g.height(), fm.height() + 2 * m);
    // 6 % of 1000 to the right, 2 % of 700 below.
    EXPECT_EQ(g.right() + 1, 1000 - 60);
    EXPECT_EQ(g.bottom() + 1, 700 - 14);

    // A picture taller than the text sets the height and widens by picture + margin.
    f.margin = 4;
    QPixmap pic(40, 50);
    pic.fill(Qt::red);
    const int textOnlyWidth = f.ComputeGeometry(area).width();
    EXPECT_EQ(textOnlyWidth, fm.horizontalAdvance(f.text) + 8);
    f.picture = pic;
    const QRect withPic = f.ComputeGeometry(area);
    EXPECT_EQ(withPic.height(), 50 + 8);
    EXPECT_EQ(withPic.width(), fm.horizontalAdvance(f.text) + 8 + 40 + 4);
}

TEST_F(NotifyTest, LifetimeClosesAndBlinkAlternates)
{
    NotificationWindow f;
    f.text = "x";
    f.blinking = true;
    f.blinkPeriod = 60;
    f.lifetime = 400;
    f.ShowNotification();
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.IsTranslucent());
    bool sawTranslucent = false;
    QElapsedTimer t;
    t.start();
    while (f.isVisible() && t.elapsed() < 3000) {
        QTest::qWait(10);
        sawTranslucent |= f.IsTranslucent();
    }
    EXPECT_TRUE(sawTranslucent);
    EXPECT_FALSE(f.isVisible());
    EXPECT_GE(t.elapsed(), 350);
}

// With the window on screen: a box nothing waits for (unless the setting
// turned it off), and the fresh marks end only when it is shown.
TEST_F(NotifyTest, VisibleWindowGetsAMessageBoxAndFreshMarksCleared)
{
    for (const bool box : {true, false}) {
        SCOPED_TRACE(box);
        messages.shown.clear();
        messages.notified.clear();
        AppSettings().MessageNotificationBox = box;
        NewMailAnnouncer a;
        int cleared = 0;
        a.mainWindowVisible = [] { return true; };
        a.clearFreshMarks = [&] { ++cleared; };
        a.shownAccountName = [] { return QStringLiteral("Work"); };
        a.AnnounceNewMail(0, AnnounceKind::AutoChecked);
        EXPECT_TRUE(messages.shown.isEmpty());
        a.AnnounceNewMail(3, AnnounceKind::ShownAccount);
        ASSERT_EQ(messages.notified.size(), box ? 1 : 0);
        EXPECT_EQ(messages.shown.size(), messages.notified.size());
        if (box) {
            EXPECT_EQ(messages.notified[0].icon, MsgIcon::Information);
            EXPECT_EQ(messages.notified[0].text, "3 new message(s) on account Work.");
        }
        EXPECT_EQ(cleared, box ? 1 : 0);
        EXPECT_FALSE(a.NotifyForm()->isVisible());
    }
}

// The box runs no event loop of its own and blocks no window: the caller
// goes on at once, timers keep firing, and a later notice replaces the text
// of a box still up.
TEST_F(NotifyTest, TheNoticeBoxWaitsForNobody)
{
    vm::test::ScopedEnv answer("VELMORA_MESSAGE_ANSWER");
    answer.Unset();
    GuiMessageService gui;
    bool returned = false;
    bool nestedLoop = false;
    const auto closeBoxes = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) && w->isVisible())
                w->close();
    };
    // Fires only inside an event loop of the box's own.
    QTimer::singleShot(0, [&] {
        if (!returned) {
            nestedLoop = true;
            closeBoxes();
        }
    });
    gui.Notify({QStringLiteral("3 new"), MsgIcon::Information, MsgButtons::Ok});
    returned = true;
    EXPECT_FALSE(nestedLoop);
    QMessageBox* box = gui.NoticeBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->objectName(), "NoticeBox");
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), "3 new");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 2000));

    gui.Notify({QStringLiteral("5 new"), MsgIcon::Information, MsgButtons::Ok});
    EXPECT_EQ(gui.NoticeBox(), box);
    EXPECT_EQ(box->text(), "5 new");
    box->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return gui.NoticeBox() == nullptr; }, 2000));
    closeBoxes();
}

TEST_F(NotifyTest, HiddenWindowUsesTheChosenMethods)
{
    NewMailAnnouncer a;
    a.mainWindowVisible = [] { return false; };
    AppSettings().MessageNotification = Settings::kNotifyWindow;
    a.AnnounceNewMail(1, AnnounceKind::AutoChecked);
    EXPECT_TRUE(messages.shown.isEmpty());
    ASSERT_TRUE(a.NotifyForm()->isVisible());
    EXPECT_EQ(a.NotifyForm()->text, "You have new mail (1 message)");
    EXPECT_EQ(a.NotifyForm()->lifetime, 0); // stays until the user comes back
    a.AnnounceNewMail(5, AnnounceKind::AutoChecked);
    EXPECT_EQ(a.NotifyForm()->text, "You have new mail (5 messages)");

    AppSettings().MessageNotificationWindowType = 1;
    AppSettings().MessageNotificationWindowTimeout = 90; // above 65 s is kept whole
    a.AnnounceNewMail(2, AnnounceKind::AutoChecked);
    EXPECT_EQ(a.NotifyForm()->lifetime, 90000);

    a.StopAnnouncing();
    EXPECT_FALSE(a.NotifyForm()->isVisible());

    // Without the window method nothing is shown.
    AppSettings().MessageNotification = Settings::kNotifySound;
    a.AnnounceNewMail(2, AnnounceKind::AutoChecked);
    EXPECT_FALSE(a.NotifyForm()->isVisible());
}

TEST(NotificationSound, CustomFileCorrection)
{
    QTemporaryDir data;
    const QString local = QDir(data.path()).filePath("ding.wav");
    QFile f(local);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(CorrectCustomSoundPath("/gone/away/ding.wav", data.path()), local);
    EXPECT_EQ(CorrectCustomSoundPath("/gone/away/other.wav", data.path()), "/gone/away/other.wav");
    EXPECT_EQ(CorrectCustomSoundPath(local, "/elsewhere"), local);
    EXPECT_EQ(CorrectCustomSoundPath("", data.path()), "");
}

TEST_F(NotifyTest, ExitRightAfterPlayingTheChimeDoesNotHang)
{
    // The chime is still being decoded when the program ends. Run as a child
    // (VELMORA_CHIME_CHILD set) this test only plays and returns; the parent
    // starts such children and wants each to end promptly.
    if (qEnvironmentVariableIsSet("VELMORA_CHIME_CHILD")) {
        NotificationSound sound;
        sound.PlayBuiltIn();
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_CHIME_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (int i = 0; i < 25; ++i) {
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--gtest_filter=NotifyTest.ExitRightAfterPlayingTheChimeDoesNotHang")});
        ASSERT_TRUE(child.waitForStarted(10000));
        const bool ended = child.waitForFinished(20000);
        if (!ended) {
            child.kill();
            child.waitForFinished(5000);
        }
        ASSERT_TRUE(ended) << "run " << i << " hung at exit";
        EXPECT_EQ(child.exitCode(), 0);
    }
}
