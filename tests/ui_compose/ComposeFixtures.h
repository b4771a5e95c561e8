#pragma once
// Shared pieces of the compose window tests: the application object, a
// private data directory and the fixture with a sending account.

#include <QApplication>
#include <QTemporaryDir>

#include <ostream>

#include <gtest/gtest.h>

#include "core/AppInfo.h"
#include "core/Messages.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "ui/compose/ComposeWindow.h"

inline std::ostream& operator<<(std::ostream& os, const QString& s)
{
    return os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << s;
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '[' << l.join(QStringLiteral("|")).toStdString() << ']';
}

namespace vmtest {

// Creates the application object once and points the data directory and the
// mailbox directory at a private temporary folder.
inline QString EnsureComposeApp()
{
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QTemporaryDir dir;
    if (!qApp) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
        vm::AppInfo::SetDataDir(dir.path() + '/');
        vm::Accounts().SetMailboxDirectory(dir.path() + '/');
    }
    return dir.path() + '/';
}

// The start of every compose window test: message boxes recorded, one
// account sending through this program from anna@example.org without SMTP
// authentication (the server port is the test's), and every compose window
// closed again afterwards, its questions answered Yes.
class ComposeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureComposeApp();
        vm::SetMessageService(&messages);
        account = new vm::MailAccount(&vm::Accounts());
        account->FromAddress() = "anna@example.org";
        account->SmtpLogin() = "anna";
        account->SmtpServer() = "127.0.0.1";
        account->SmtpAuthentication() = false;
        account->SendViaThisProgram() = true;
        vm::Accounts().Add(account);
    }
    void TearDown() override
    {
        messages.answer = [](const vm::MessageRequest&) { return vm::MsgAnswer::Yes; };
        vm::ComposeWindow::CloseAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        vm::Accounts().Clear();
        vm::SetMessageService(nullptr);
    }

    vm::RecordingMessageService messages;
    vm::MailAccount* account = nullptr;
};

} // namespace vmtest
