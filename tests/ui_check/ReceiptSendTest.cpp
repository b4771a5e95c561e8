// A return receipt sent from the main window: the window is busy while it
// goes (so no check starts and the program does not close), and the window's
// Stop reaches the receipt's SMTP client, not the POP3 client.

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "app/MainWindowControl.h"
#include "config/Settings.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "ops/ErrorList.h"
#include "support/fake_smtp.h"
#include "ui/main/MainWindow.h"
#include "ui_check/CheckTestSupport.h"

using namespace vm;
using namespace vm::test;

TEST(ReceiptFromTheMainWindow, IsSentWhileBusyAndStopReachesIt)
{
    EnsureGuiApp();
    AppSettings() = Settings();
    AppSettings().ConnectTimeout = 30; // else the silence limit ends it, with another report
    Accounts().Clear();
    ClearErrorList();
    RecordingMessageService messages;
    SetMessageService(&messages);

    FakeSmtpServer::Config cfg;
    cfg.greetingDelayMs = -1; // the server never says a word
    FakeSmtpServer server(cfg);
    server.Start();
    MailAccount* account = AddAccount("bob", "secret", ClosedPort());
    account->SendViaThisProgram() = true;
    account->FromAddress() = "bob@example.org";
    account->SmtpLogin() = "bob";
    account->SmtpServer() = "127.0.0.1";
    account->SmtpPort() = server.Port();
    auto* m = new MessageRecord;
    m->UID = "r";
    m->headersOnly = false;
    m->raw = "From: ann@example.com\r\nSubject: Plan\r\n"
             "Disposition-Notification-To: ann@example.com\r\n\r\nBody\r\n";
    m->ParseWhole();
    m->receiptState = 1;
    account->Box().Add(m);

    MainWindow window;
    MainWindowControl control(window);
    ASSERT_TRUE(window.commands.receipt);
    bool busySeen = false;
    messages.answer = [&](const MessageRequest& r) {
        if (r.buttons != MsgButtons::YesNoCancel)
            return MsgAnswer::Ok;
        // Yes; once the send runs, Stop as the window's abort button does it.
        QTimer::singleShot(300, [&] {
            busySeen = window.Busy() && control.Commands().Busy();
            window.commands.interrupt();
        });
        return MsgAnswer::Yes;
    };
    window.commands.receipt(m);

    EXPECT_TRUE(busySeen);
    EXPECT_FALSE(window.Busy());
    EXPECT_EQ(m->receiptState, 1);
    EXPECT_EQ(Shown(messages, MsgIcon::Warning), QStringList{"Aborted on demand."});
    SetMessageService(nullptr);
    Accounts().Clear();
}
