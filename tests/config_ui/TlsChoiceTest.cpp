// The secure-connection choices of the account window, its SMTP window and
// the wizard: the line under each says what the connection really uses
// (TLS 1.2 or later, whatever version the list names), and choosing or
// typing the port of TLS from the first byte (995, 465) turns TLS on.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <functional>

#include "core/Messages.h"
#include "lang/LangStartup.h"
#include "model/MailAccount.h"
#include "ui/accounts/AccountWindow.h"
#include "ui/accounts/AccountWizard.h"
#include "ui/accounts/SmtpWindow.h"
#include "ui_main/Fixtures.h"

using namespace vm;

namespace {

const QString kTls =
    "Encrypted: the connection uses TLS 1.2 or later from its first byte, whichever version is "
    "chosen.";
const QString kPlain = "Not encrypted: the password and the mail travel as plain text.";
const QString kStartTlsAlways =
    "Encrypted with STARTTLS and TLS 1.2 or later; without it nothing is sent.";
const QString kStartTlsOffered =
    "Encrypted with STARTTLS and TLS 1.2 or later when the server offers it; otherwise only a "
    "message that needs no password is sent, as plain text.";

// One choice: its port field, whether TLS is on, its note, its list of
// versions.
struct Choice
{
    const char* name;
    std::function<QComboBox*()> port;
    std::function<QString()> tls; // the choice as shown ("on"/"off" or the mode's text)
    std::function<QLabel*()> note;
    std::function<QComboBox*()> versions;
    QString tlsPort;
    QString tlsOn;
};

// Typing a port ends (the focus leaves the field).
void Type(QComboBox* port, const QString& text)
{
    port->setEditText(text);
    emit port->lineEdit()->editingFinished();
}

TEST(TlsChoice, NotesSayWhatTheConnectionUsesAndTlsPortsTurnTlsOn)
{
    const QString dir = vmtest::EnsureGuiApp();
    ASSERT_EQ(DiscoverLanguageFiles(dir), QString());
    ASSERT_EQ(ChooseAndLoadLanguage(dir, "english.lng"), QString());
    RecordingMessageService messages;
    SetMessageService(&messages);

    MailAccount account(nullptr);
    account.Login() = "anna";
    account.Server() = "pop.example.org";
    account.Pop3Port() = 110;
    account.SmtpPort() = 25;
    account.SmtpTLSMode() = 0;
    AccountWindow acf;
    acf.LoadAccount(account);
    acf.show();
    SmtpWindow* smtp = acf.ActiveSmtpWindow();
    smtp->show();
    AccountWizard wiz;
    wiz.Start(nullptr);
    wiz.show();
    wiz.Account()->SmtpTLSMode() = 0;
    wiz.Account()->SmtpPort() = 25;
    wiz.smtp->LoadPage(*wiz.Account());
    const auto onOff = [](QCheckBox* box) { return QString(box->isChecked() ? "on" : "off"); };

    const Choice choices[] = {
        {"account window", [&] { return acf.EPort; }, [&] { return onOff(acf.CBSSL); },
         [&] { return acf.LTLSInUse; }, [&] { return acf.CBSSLVersion; }, "995", "on"},
        {"wizard POP3", [&] { return wiz.pop3->EPOP3Port; },
         [&] { return onOff(wiz.pop3->CBPOP3SSL); }, [&] { return wiz.pop3->LPOP3TLSInUse; },
         [&] { return wiz.pop3->CBPOP3SSLVersion; }, "995", "on"},
        {"SMTP window", [&] { return smtp->EPort; }, [&] { return smtp->CBRequireSSL->currentText(); },
         [&] { return smtp->LTLSInUse; }, [&] { return smtp->CBSSLVersion; }, "465",
         "Require always"},
        {"wizard SMTP", [&] { return wiz.smtp->ESMTPPort; },
         [&] { return wiz.smtp->CBSMTPSSL->currentText(); },
         [&] { return wiz.smtp->LSMTPTLSInUse; }, [&] { return wiz.smtp->CBSMTPSSLVersion; },
         "465", "Always require TLS/SSL"},
    };
    for (const Choice& c : choices) {
        SCOPED_TRACE(c.name);
        QComboBox* port = c.port();
        // The stored version names stay offered as they were.
        EXPECT_EQ(c.versions()->count(), 4);
        EXPECT_EQ(c.versions()->itemText(0), "SSL 2.0");
        EXPECT_EQ(c.note()->text(), kPlain);

        // Another port leaves the choice alone; the TLS port turns it on.
        Type(port, "8110");
        EXPECT_NE(c.tls(), c.tlsOn);
        EXPECT_EQ(c.note()->text(), kPlain);
        Type(port, c.tlsPort);
        EXPECT_EQ(c.tls(), c.tlsOn);
        EXPECT_TRUE(c.versions()->isEnabled());
        EXPECT_EQ(c.note()->text(), kTls);
    }

    // Choosing the port from the list works as typing it; STARTTLS modes say
    // what they do on the submission port.
    acf.CBSSL->setChecked(false);
    acf.EPort->setCurrentIndex(0);
    EXPECT_EQ(acf.LTLSInUse->text(), kPlain);
    QTest::keyClick(acf.EPort, Qt::Key_Down); // the list's next port, "995"
    EXPECT_TRUE(acf.CBSSL->isChecked());
    EXPECT_EQ(acf.LTLSInUse->text(), kTls);
    Type(smtp->EPort, "587");
    EXPECT_EQ(smtp->LTLSInUse->text(), kStartTlsAlways);
    smtp->CBRequireSSL->setCurrentIndex(1);
    EXPECT_EQ(smtp->LTLSInUse->text(), kStartTlsOffered);
    SetMessageService(nullptr);
}

} // namespace
