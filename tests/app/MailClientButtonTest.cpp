// The client button: webmail addresses opened only as http/https, the
// default client started otherwise, and the two failure messages.

#include <gtest/gtest.h>

#include "app/HelpCommand.h"
#include "app/MailClientButton.h"
#include "core/Messages.h"
#include "model/MailAccount.h"

using namespace vm;

namespace {

TEST(ClientButton, OpensWebmailOrTheDefaultClientAndReportsFailures)
{
    RecordingMessageService messages;
    SetMessageService(&messages);
    const struct
    {
        int kind;
        const char* webmail;
        bool opens;         // the launcher is reached
        const char* opened; // the web address asked for
        const char* error;  // a part of the message shown, empty for none
    } cases[] = {
        {1, "mail.example.com", true, "http://mail.example.com", ""},
        {1, "HTTPS://mail.example.com", true, "HTTPS://mail.example.com", ""},
        {1, "   ", false, "", ""},
        {1, "file:///etc/http", false, "", "file:///etc/http"},
        {2, "mail.example.com", true, "", "start default mail client"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.webmail);
        messages.shown.clear();
        MailAccount account;
        account.ClientKind() = static_cast<std::uint8_t>(c.kind);
        account.WebmailAddress() = c.webmail;
        bool reached = false;
        QUrl asked;
        MailClientLaunchers launchers;
        launchers.openUrl = [&](const QUrl& url) {
            reached = true;
            asked = url;
            return true;
        };
        launchers.startClient = [&](QString* problem) {
            reached = true;
            *problem = QStringLiteral("no client in this test");
            return false; // the default client fails to start
        };
        OpenAccountClient(&account, launchers);
        EXPECT_EQ(reached, c.opens);
        EXPECT_EQ(asked.toString(), QUrl(QString::fromLatin1(c.opened)).toString());
        if (*c.error) {
            ASSERT_EQ(messages.shown.size(), 1);
            EXPECT_TRUE(messages.shown.first().text.contains(QLatin1String(c.error)))
                << messages.shown.first().text.toStdString();
            EXPECT_EQ(messages.shown.first().icon, MsgIcon::Error);
        } else {
            EXPECT_TRUE(messages.shown.isEmpty());
        }
    }
    OpenAccountClient(nullptr); // no account: nothing
    SetMessageService(nullptr);
}

// F1, the welcome page's and the about window's help: the manual's page in
// the browser, or a box that says it could not be opened.
TEST(HelpCommand, OpensTheManualOrSaysWhyNot)
{
    RecordingMessageService messages;
    SetMessageService(&messages);
    const struct
    {
        const char* index;  // the manual's page, empty when none could be written
        bool browser;       // a browser starts
        bool opened;
        const char* error;  // a part of the message shown, empty for none
    } cases[] = {
        {"/tmp/manual/index.html", true, true, ""},
        {"/tmp/manual/index.html", false, false, "/tmp/manual/index.html"},
        {"", true, false, "velmora/manual"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        messages.shown.clear();
        QUrl asked;
        HelpLaunchers launchers;
        launchers.manualIndex = [&] { return QString::fromLatin1(c.index); };
        launchers.openUrl = [&](const QUrl& url) {
            asked = url;
            return c.browser;
        };
        EXPECT_EQ(OpenHelp(launchers), c.opened);
        if (*c.index)
            EXPECT_EQ(asked, QUrl(QStringLiteral("file://") + QLatin1String(c.index)));
        else
            EXPECT_TRUE(asked.isEmpty());
        if (*c.error) {
            ASSERT_EQ(messages.shown.size(), 1);
            EXPECT_EQ(messages.shown.first().icon, MsgIcon::Error);
            EXPECT_TRUE(messages.shown.first().text.contains(QLatin1String(c.error)))
                << messages.shown.first().text.toStdString();
        } else {
            EXPECT_TRUE(messages.shown.isEmpty());
        }
    }
    SetMessageService(nullptr);
}

} // namespace
