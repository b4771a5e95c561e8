// The password prompt driven offscreen by its control names.

#include "core/Messages.h"
#include "net/Credentials.h"
#include "net/PasswordPrompt.h"
#include "ui/common/PasswordWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace vm;

namespace {

QApplication* App()
{
    static int argc = 1;
    static char name[] = "test_ui_login";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

// Asks through the GUI prompt; `act` runs once the window is up.
vm::PasswordAnswer AskWith(const vm::PasswordRequest& request,
                           const std::function<void(PasswordWindow*)>& act)
{
    QTimer::singleShot(0, [act] {
        auto* wnd = qobject_cast<PasswordWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(wnd, nullptr);
        act(wnd);
    });
    vm::GuiPasswordPrompt prompt;
    return prompt.Ask(request);
}

TEST(LoginWnd, Pop3AcceptsEmptyPasswordAndEnterLogsIn)
{
    App();
    bool checked = false;
    const auto answer = AskWith({QStringLiteral("Work"), true, {}}, [&](PasswordWindow* wnd) {
        EXPECT_EQ(wnd->objectName(), "LoginWnd");
        EXPECT_TRUE(wnd->LPrompt->text().contains("Account <Work>"));
        EXPECT_FALSE(wnd->LNote->isVisible());
        EXPECT_TRUE(wnd->EPassword->text().isEmpty());
        EXPECT_EQ(wnd->EPassword->echoMode(), QLineEdit::Password);
        EXPECT_FALSE(wnd->CBMemorize->isChecked());
        EXPECT_TRUE(wnd->BLogin->isEnabled()); // empty allowed for POP3
        QTest::keyClicks(wnd->EPassword, "pw");
        wnd->CBMemorize->setChecked(true);
        checked = true;
        QTest::keyClick(wnd->EPassword, Qt::Key_Return);
    });
    EXPECT_TRUE(checked);
    EXPECT_TRUE(answer.accepted);
    EXPECT_EQ(answer.password, "pw");
    EXPECT_TRUE(answer.memorize);
}

TEST(LoginWnd, SmtpNeedsAPasswordAndEscapeCancels)
{
    App();
    // Why the stored password could not be used stands above the prompt.
    const QString note = QStringLiteral(
        "The desktop keyring (Secret Service) cannot be reached: The name "
        "org.freedesktop.secrets was not provided by any .service files");
    const auto answer = AskWith({QStringLiteral("Work"), false, note}, [&](PasswordWindow* wnd) {
        EXPECT_TRUE(wnd->LNote->isVisible());
        EXPECT_EQ(wnd->LNote->text(), note);
        // The window is large enough for the whole note.
        EXPECT_GE(wnd->LNote->height(), wnd->LNote->heightForWidth(wnd->LNote->width()));
        EXPECT_FALSE(wnd->BLogin->isEnabled());
        QTest::keyClick(wnd->EPassword, Qt::Key_Return); // nothing happens
        wnd->BLogin->click();                            // nor here
        EXPECT_TRUE(wnd->isVisible());
        QTest::keyClicks(wnd->EPassword, "x");
        EXPECT_TRUE(wnd->BLogin->isEnabled());
        QTest::keyClick(wnd->EPassword, Qt::Key_Backspace);
        EXPECT_FALSE(wnd->BLogin->isEnabled());
        QTest::keyClick(wnd->EPassword, Qt::Key_Escape);
    });
    EXPECT_FALSE(answer.accepted);
    EXPECT_TRUE(answer.password.isEmpty());
}

TEST(LoginWnd, ShownAgainStartsEmpty)
{
    App();
    PasswordWindow wnd;
    wnd.accountName = "A";
    QTimer::singleShot(0, [&] {
        QTest::keyClicks(wnd.EPassword, "secret");
        wnd.CBMemorize->setChecked(true);
        wnd.BCancel->click();
    });
    EXPECT_EQ(wnd.ShowModal(), QDialog::Rejected);
    EXPECT_TRUE(wnd.accountName.isEmpty()); // forgotten on close
    wnd.accountName = "B";
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(wnd.EPassword->text().isEmpty());
        EXPECT_FALSE(wnd.CBMemorize->isChecked());
        EXPECT_TRUE(wnd.LPrompt->text().contains("<B>"));
        wnd.BLogin->click();
    });
    EXPECT_EQ(wnd.ShowModal(), QDialog::Accepted);
}

} // namespace

TEST(LoginWnd, APasswordWithALineBreakOrNulIsRefused)
{
    App();
    vm::RecordingMessageService messages;
    vm::SetMessageService(&messages);
    const QString bad[] = {QStringLiteral("pw\nQUIT"), QStringLiteral("pw\r"),
                           QStringLiteral("p") + QChar(0) + QStringLiteral("w")};
    for (const QString& value : bad) {
        messages.shown.clear();
        const auto answer = AskWith({QStringLiteral("Work"), false, {}}, [&](PasswordWindow* wnd) {
            wnd->EPassword->setText(value);
            wnd->BLogin->click();
            EXPECT_TRUE(wnd->isVisible());
            EXPECT_EQ(messages.shown.size(), 1);
            if (!messages.shown.isEmpty()) {
                EXPECT_EQ(messages.shown[0].text, vm::UnsendableCredentialText());
            }
            wnd->EPassword->setText(QStringLiteral("pw"));
            wnd->BLogin->click();
        });
        EXPECT_TRUE(answer.accepted);
        EXPECT_EQ(answer.password, "pw");
    }
    vm::SetMessageService(nullptr);
}
