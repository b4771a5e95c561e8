// The account window, the SMTP window and the account wizard, driven
// through their controls offscreen.

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QLayout>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/LangStartup.h"
#include "net/Credentials.h"
#include "oauth/OAuthProviders.h"
#include "ui/accounts/AccountWindow.h"
#include "ui/accounts/AccountWizard.h"
#include "ui/accounts/OAuthSettingsBox.h"
#include "ui/accounts/SmtpWindow.h"
#include "ui_main/Fixtures.h"

using namespace vm;

namespace {

void LoadEnglish()
{
    const QString dir = vmtest::EnsureGuiApp();
    ASSERT_EQ(DiscoverLanguageFiles(dir), QString());
    ASSERT_EQ(ChooseAndLoadLanguage(dir, "english.lng"), QString());
}

class AccountWindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { LoadEnglish(); }
    void SetUp() override
    {
        SetMessageService(&messages);
        acf = std::make_unique<AccountWindow>();
        account.Login() = "anna";
        account.Server() = "pop.example.org";
        account.Password() = "secret";
        acf->LoadAccount(account);
        acf->show();
        smtp = acf->ActiveSmtpWindow();
    }
    void TearDown() override { SetMessageService(nullptr); }

    QStringList Shown() const
    {
        QStringList out;
        for (const auto& m : messages.shown)
            out << m.text;
        return out;
    }

    RecordingMessageService messages;
    MailAccount account{nullptr};
    std::unique_ptr<AccountWindow> acf;
    SmtpWindow* smtp = nullptr;
};

TEST_F(AccountWindowTest, RequirementsComeFirstAndFocusTheMissingField)
{
    acf->ELogin->setText(" a"); // not trimmed for this check
    acf->EServer->setText("   ");
    acf->PGC->setCurrentWidget(acf->TSAdvanced);
    EXPECT_FALSE(acf->BOKClick());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].text,
              "You must enter at least POP3 user login and POP3 server name/address.");
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(acf->PGC->currentWidget(), acf->TSBasic);
    EXPECT_TRUE(acf->focusWidget() == acf->EServer);
    acf->ELogin->clear();
    acf->BOKClick();
    EXPECT_TRUE(acf->focusWidget() == acf->ELogin);
    EXPECT_EQ(account.Server(), "pop.example.org"); // nothing written

    acf->ELogin->setText("anna");
    acf->EServer->setText("pop.example.org");
    acf->RBWebMail->setChecked(true);
    EXPECT_TRUE(acf->EWebMail->isEnabled());
    acf->EWebMail->setText("  ");
    EXPECT_FALSE(acf->BOKClick());
    EXPECT_EQ(messages.shown.last().text,
              "If you want to set webmail as an external mail client, you have to enter its "
              "address.");
    EXPECT_EQ(acf->PGC->currentWidget(), acf->TSAdvanced);
    EXPECT_TRUE(acf->focusWidget() == acf->EWebMail);
}

TEST_F(AccountWindowTest, PortRules)
{
    acf->EPort->setEditText("  0995 ");
    EXPECT_TRUE(acf->BOKClick());
    EXPECT_EQ(acf->EPort->currentText(), "995");
    EXPECT_EQ(account.Pop3Port(), 995);
    for (const char* bad : {"70000", "abc", "-1", "12 3", ""}) {
        acf->LoadAccount(account);
        acf->EPort->setEditText(bad);
        messages.shown.clear();
        EXPECT_FALSE(acf->BOKClick()) << bad;
        ASSERT_EQ(messages.shown.size(), 1u) << bad;
        EXPECT_TRUE(messages.shown[0].text.startsWith("POP3 port number is incorrect"));
        EXPECT_EQ(acf->EPort->currentText(), "110");
        EXPECT_TRUE(acf->focusWidget() == acf->EPort);
        EXPECT_EQ(account.Pop3Port(), 995);
    }
}

TEST_F(AccountWindowTest, SslBoxOverwritesThePortAndEnablesTheVersion)
{
    EXPECT_FALSE(acf->CBSSLVersion->isEnabled());
    acf->EPort->setEditText("1234");
    QTest::mouseClick(acf->CBSSL, Qt::LeftButton, {}, QPoint(5, acf->CBSSL->height() / 2));
    EXPECT_TRUE(acf->CBSSL->isChecked());
    EXPECT_EQ(acf->EPort->currentText(), "995");
    EXPECT_TRUE(acf->CBSSLVersion->isEnabled());
    acf->EPort->setEditText("4321");
    QTest::mouseClick(acf->CBSSL, Qt::LeftButton, {}, QPoint(5, acf->CBSSL->height() / 2));
    EXPECT_EQ(acf->EPort->currentText(), "110");
    EXPECT_FALSE(acf->CBSSLVersion->isEnabled());
}

TEST_F(AccountWindowTest, SendingThroughVelmoraNeedsSmtpSettings)
{
    acf->RBSendViaVL->setChecked(true);
    smtp->EServer->setText("smtp.example.org");
    smtp->EFromAddress->setText("anna@example.org");
    smtp->CBServerRequiresAuth->setChecked(false);
    smtp->ELogin->clear();
    // No authorization: an empty login passes.
    EXPECT_TRUE(acf->BOKClick());
    EXPECT_TRUE(account.SendViaThisProgram());
    EXPECT_EQ(account.SmtpServer(), "smtp.example.org");

    acf->LoadAccount(account);
    acf->RBSendViaVL->setChecked(true);
    smtp->CBServerRequiresAuth->setChecked(true);
    smtp->ELogin->clear();
    messages.shown.clear();
    EXPECT_FALSE(acf->BOKClick());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.startsWith("If you want Velmora to send messages itself"));
    EXPECT_FALSE(account.SmtpAuthentication());

    smtp->ELogin->setText("anna");
    smtp->EFromAddress->setText("   ");
    EXPECT_FALSE(acf->BOKClick());
}

TEST_F(AccountWindowTest, AutocheckWithoutPasswordWarnsButSaves)
{
    acf->EPassword->clear();
    acf->CBAutoCheck->setChecked(true);
    acf->EFriendly->setText("  Anna's box  ");
    EXPECT_TRUE(acf->BOKClick());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Warning);
    EXPECT_TRUE(account.Password().isEmpty());
    EXPECT_EQ(account.FriendlyName(), "Anna's box");
}

TEST_F(AccountWindowTest, SavingAStoredPasswordClearsSessionPasswords)
{
    account.SessionPassword() = "typed";
    account.SessionPasswordValid() = true;
    account.SmtpSessionPassword() = "typed2";
    account.SmtpSessionPasswordValid() = true;
    acf->LoadAccount(account);
    acf->EPassword->clear();
    acf->CBAutoCheck->setChecked(false);
    EXPECT_TRUE(acf->BOKClick());
    // No stored password: the session one stays.
    EXPECT_EQ(account.SessionPassword(), "typed");
    EXPECT_TRUE(account.SessionPasswordValid());
    EXPECT_TRUE(account.SmtpSessionPasswordValid());

    acf->LoadAccount(account);
    acf->EPassword->setText("stored");
    smtp->EPassword->setText("smtp-stored");
    EXPECT_TRUE(acf->BOKClick());
    EXPECT_TRUE(account.SessionPassword().isEmpty());
    EXPECT_FALSE(account.SessionPasswordValid());
    EXPECT_TRUE(account.SmtpSessionPassword().isEmpty());
    EXPECT_FALSE(account.SmtpSessionPasswordValid());
    EXPECT_EQ(account.SmtpPassword(), "smtp-stored");
}

TEST_F(AccountWindowTest, ClientKindAndFieldMapping)
{
    acf->RBWebMail->setChecked(true);
    acf->EWebMail->setText(" https://mail.example.org ");
    acf->CBAPOP->setChecked(true);
    acf->CBSSL->setChecked(true);
    acf->CBSSLVersion->setCurrentIndex(3);
    acf->EServer->setText("  pop.other.org ");
    EXPECT_TRUE(acf->BOKClick());
    EXPECT_EQ(account.ClientKind(), 1);
    EXPECT_EQ(account.WebmailAddress(), "https://mail.example.org");
    EXPECT_TRUE(account.APOP());
    EXPECT_TRUE(account.Pop3TLS());
    EXPECT_EQ(account.Pop3SSLVersion(), 3);
    EXPECT_EQ(account.Server(), "pop.other.org");
    acf->LoadAccount(account);
    EXPECT_TRUE(acf->RBWebMail->isChecked());
    EXPECT_TRUE(acf->CBSSLVersion->isEnabled());
    acf->RBSystemApplication->setChecked(true);
    EXPECT_FALSE(acf->EWebMail->isEnabled());
    EXPECT_TRUE(acf->BOKClick());
    EXPECT_EQ(account.ClientKind(), 2);
}

TEST_F(AccountWindowTest, SmtpWindowPortCheckCancelSnapshotAndCaption)
{
    account.SmtpServer() = "smtp.example.org";
    account.SmtpPort() = 587;
    account.SmtpTLSMode() = 0;
    acf->LoadAccount(account);
    EXPECT_FALSE(smtp->CBSSLVersion->isEnabled());

    // Caption, then a change confirmed with OK.
    acf->EFriendly->setText("  ");
    acf->ELogin->setText(" anna ");
    QTimer::singleShot(0, [this] {
        EXPECT_EQ(smtp->windowTitle(), "SMTP settings for anna");
        smtp->EServer->setText("changed.example.org");
        smtp->EPort->setEditText("70000");
        smtp->BOK->click(); // invalid port: stays open
        EXPECT_TRUE(smtp->isVisible());
        EXPECT_EQ(smtp->EPort->currentText(), "25");
        smtp->EPort->setEditText(" 0465");
        smtp->CBRequireSSL->setCurrentIndex(2);
        EXPECT_TRUE(smtp->CBSSLVersion->isEnabled());
        smtp->BOK->click();
    });
    acf->BSMTP->click();
    EXPECT_EQ(smtp->EPort->currentText(), "465");
    EXPECT_EQ(smtp->EServer->text(), "changed.example.org");

    // A change cancelled in the SMTP window is undone.
    QTimer::singleShot(0, [this] {
        smtp->EServer->setText("cancelled.example.org");
        smtp->CBServerRequiresAuth->setChecked(true);
        smtp->BCancel->click();
    });
    acf->BSMTP->click();
    EXPECT_EQ(smtp->EServer->text(), "changed.example.org");
    EXPECT_FALSE(smtp->CBServerRequiresAuth->isChecked());
    EXPECT_EQ(account.SmtpServer(), "smtp.example.org"); // not yet written

    // Closing the window by other means counts as Cancel.
    QTimer::singleShot(0, [this] {
        smtp->EServer->setText("closed.example.org");
        smtp->close();
    });
    acf->BSMTP->click();
    EXPECT_EQ(smtp->EServer->text(), "changed.example.org");

    // The account window's Cancel drops the confirmed SMTP edits.
    acf->reject();
    EXPECT_EQ(account.SmtpServer(), "smtp.example.org");
    acf->LoadAccount(account);
    EXPECT_EQ(smtp->EServer->text(), "smtp.example.org");
    EXPECT_EQ(smtp->EPort->currentText(), "587");

    // Confirmed edits reach the account with the account window's OK.
    smtp->EServer->setText(" new.example.org ");
    smtp->CBRequireSSL->setCurrentIndex(1);
    smtp->CBSSLVersion->setCurrentIndex(2);
    EXPECT_TRUE(acf->BOKClick());
    EXPECT_EQ(account.SmtpServer(), "new.example.org");
    EXPECT_EQ(account.SmtpTLSMode(), 1);
    EXPECT_EQ(account.SmtpSSLVersion(), 2);
}

TEST_F(AccountWindowTest, AnInvalidSmtpPortLeavesTheSmtpValuesUnwritten)
{
    account.SmtpServer() = "smtp.example.org";
    acf->LoadAccount(account);
    smtp->EServer->setText("other.example.org");
    smtp->EPort->setEditText("99999");
    EXPECT_TRUE(acf->BOKClick());
    EXPECT_EQ(account.SmtpServer(), "smtp.example.org");
}

// Values that would end a USER, PASS or AUTH line early.
QStringList UnsendableValues()
{
    return {QStringLiteral("an\r\nRSET"), QStringLiteral("an\nna"), QStringLiteral("an\rna"),
            QStringLiteral("an") + QChar(0) + QStringLiteral("na")};
}

TEST_F(AccountWindowTest, LoginsAndPasswordsWithLineBreaksOrNulAreRefused)
{
    const QString expected = UnsendableCredentialText();
    for (const QString& value : UnsendableValues()) {
        for (QLineEdit* field : {acf->ELogin, acf->EPassword}) {
            SCOPED_TRACE((field->objectName() + " " + value.toUtf8().toHex()).toStdString());
            acf->LoadAccount(account);
            acf->PGC->setCurrentWidget(acf->TSAdvanced);
            field->setText(value);
            messages.shown.clear();
            EXPECT_FALSE(acf->BOKClick());
            EXPECT_EQ(Shown(), QStringList{expected});
            EXPECT_EQ(acf->PGC->currentWidget(), acf->TSBasic);
            EXPECT_TRUE(acf->focusWidget() == field);
            EXPECT_EQ(account.Login(), "anna");
            EXPECT_EQ(account.Password(), "secret");
        }
        for (QLineEdit* field : {smtp->ELogin, smtp->EPassword}) {
            SCOPED_TRACE(("SMTP " + field->objectName() + " " + value.toUtf8().toHex())
                             .toStdString());
            acf->LoadAccount(account);
            smtp->setResult(QDialog::Rejected);
            field->setText(value);
            messages.shown.clear();
            smtp->BOK->click();
            EXPECT_EQ(Shown(), QStringList{expected});
            EXPECT_EQ(smtp->result(), QDialog::Rejected);
        }
    }
}

class WizardTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { LoadEnglish(); }
    void SetUp() override
    {
        SetMessageService(&messages);
        wiz = std::make_unique<AccountWizard>();
        wiz->Start(nullptr);
        wiz->show();
    }
    void TearDown() override { SetMessageService(nullptr); }

    QStringList Shown() const
    {
        QStringList out;
        for (const auto& m : messages.shown)
            out << m.text;
        return out;
    }

    void FillStep1(const QString& login, const QString& password, const QString& server)
    {
        wiz->pop3->EPOP3Login->setText(login);
        wiz->pop3->EPOP3Password->setText(password);
        wiz->pop3->EPOP3Server->setText(server);
    }

    RecordingMessageService messages;
    std::unique_ptr<AccountWizard> wiz;
};

TEST_F(WizardTest, PathWithoutSmtpSkipsStepsFourAndFive)
{
    EXPECT_EQ(wiz->Step(), 1);
    EXPECT_EQ(wiz->LHead->text(), "Step 1 / 6");
    EXPECT_FALSE(wiz->BPrevious->isEnabled());
    EXPECT_EQ(wiz->BFinish->text(), "Cancel");
    EXPECT_TRUE(wiz->pop3->isVisible());

    FillStep1("  joe ", "1234567", " pop.joe.org ");
    wiz->pop3->EPOP3Port->setEditText("abc");
    wiz->BNext->click();
    EXPECT_TRUE(messages.shown.isEmpty()); // the port is corrected silently
    EXPECT_EQ(wiz->Step(), 2);
    EXPECT_EQ(wiz->Account()->Pop3Port(), 110);
    EXPECT_EQ(wiz->Account()->Login(), "joe");
    EXPECT_EQ(wiz->pop3Ex->EPOP3ExFriendly->text(), "joe"); // preset from the login
    wiz->BNext->click();
    EXPECT_EQ(wiz->Step(), 3);
    EXPECT_TRUE(wiz->send->RBSendUseVL->isChecked());
    wiz->send->RBSendUseDefault->setChecked(true);
    wiz->BNext->click();
    EXPECT_EQ(wiz->Step(), 6);
    EXPECT_EQ(wiz->BFinish->text(), "Finish");
    EXPECT_FALSE(wiz->BNext->isEnabled());
    EXPECT_FALSE(wiz->summary->SMTPPanel->isVisibleTo(wiz.get()));
    EXPECT_EQ(wiz->summary->LPOP3PasswordSummary->text(), "Password: *******");
    EXPECT_EQ(wiz->summary->LPOP3ServerSummary->text(), "Server: pop.joe.org:110");
    EXPECT_EQ(wiz->summary->LPOP3SSLSummary->text(), "TLS/SSL: no");
    EXPECT_EQ(wiz->summary->LPOP3AutocheckSummary->text(), "Mail autocheck: yes");
    EXPECT_TRUE(wiz->summary->LSummaryHint->text().contains("get your mail"));
    wiz->BPrevious->click();
    EXPECT_EQ(wiz->Step(), 3);
    wiz->BNext->click();
    wiz->BFinishClick();
    EXPECT_EQ(wiz->result(), QDialog::Accepted);
    std::unique_ptr<MailAccount> a = wiz->TakeAccount();
    ASSERT_TRUE(a);
    EXPECT_FALSE(a->SendViaThisProgram());
    EXPECT_EQ(a->DisplayName(), "joe");
}

TEST_F(WizardTest, PathWithSmtpPrefillsLoginAndValidates)
{
    FillStep1("joe", "pw", "pop.joe.org");
    QTest::mouseClick(wiz->pop3->CBPOP3SSL, Qt::LeftButton, {},
                      QPoint(5, wiz->pop3->CBPOP3SSL->height() / 2));
    EXPECT_EQ(wiz->pop3->EPOP3Port->currentText(), "995");
    EXPECT_TRUE(wiz->pop3->CBPOP3SSLVersion->isEnabled());
    wiz->pop3->CBPOP3SSLVersion->setCurrentIndex(3);
    wiz->BNext->click();
    // Clearing the name stores an empty name: the account shows its login.
    wiz->pop3Ex->EPOP3ExFriendly->clear();
    wiz->pop3Ex->CBPOP3ExAutoCheck->setChecked(false);
    wiz->BNext->click();
    wiz->BNext->click(); // step 3: send with Velmora (the default)
    ASSERT_EQ(wiz->Step(), 4);
    EXPECT_EQ(wiz->smtp->ESMTPLogin->text(), "joe");
    EXPECT_EQ(wiz->smtp->ESMTPPassword->text(), "pw");
    EXPECT_FALSE(wiz->smtp->ESMTPLogin->isEnabled()); // authorization off
    EXPECT_FALSE(wiz->smtp->CBSMTPSSLVersion->isEnabled());

    wiz->BNext->click();
    EXPECT_EQ(wiz->Step(), 4);
    EXPECT_EQ(messages.shown.last().text, "You must enter either name or address of your SMTP server.");
    EXPECT_TRUE(wiz->focusWidget() == wiz->smtp->ESMTPServer);
    wiz->smtp->ESMTPServer->setText(" smtp.joe.org ");
    QTest::mouseClick(wiz->smtp->CBSMTPAuth, Qt::LeftButton, {},
                      QPoint(5, wiz->smtp->CBSMTPAuth->height() / 2));
    EXPECT_TRUE(wiz->smtp->ESMTPLogin->isEnabled());
    wiz->smtp->ESMTPLogin->setText("  ");
    wiz->BNext->click();
    EXPECT_EQ(wiz->Step(), 4);
    EXPECT_EQ(messages.shown.last().text,
              "If you activate SMTP authorization option, enter at least user's login.");
    EXPECT_TRUE(wiz->focusWidget() == wiz->smtp->ESMTPLogin);
    wiz->smtp->ESMTPLogin->setText("joe.smtp");
    wiz->smtp->CBSMTPSSL->setCurrentIndex(2);
    emit wiz->smtp->CBSMTPSSL->activated(2);
    EXPECT_EQ(wiz->smtp->ESMTPPort->currentText(), "465");
    EXPECT_TRUE(wiz->smtp->CBSMTPSSLVersion->isEnabled());
    wiz->smtp->CBSMTPSSLVersion->setCurrentIndex(1);
    wiz->BNext->click();
    ASSERT_EQ(wiz->Step(), 5);
    wiz->smtpEx->ESMTPExFromAddress->setText("   ");
    wiz->BNext->click();
    EXPECT_EQ(wiz->Step(), 5);
    EXPECT_EQ(messages.shown.last().text, "You must enter at least sender's e-mail address.");
    wiz->smtpEx->ESMTPExFromAddress->setText(" joe@joe.org ");
    wiz->smtpEx->ESMTPExName->setText("Joe");
    wiz->BNext->click();
    ASSERT_EQ(wiz->Step(), 6);
    EXPECT_TRUE(wiz->summary->SMTPPanel->isVisibleTo(wiz.get()));
    EXPECT_EQ(wiz->summary->LPOP3SSLSummary->text(), "TLS/SSL: TLS/SSL 1.0");
    EXPECT_EQ(wiz->summary->LPOP3AutocheckSummary->text(), "Mail autocheck: no");
    EXPECT_EQ(wiz->summary->LSMTPServerSummary->text(), "Server: smtp.joe.org:465");
    EXPECT_EQ(wiz->summary->LSMTPAuthSummary->text(), "Authorization: yes");
    EXPECT_EQ(wiz->summary->LSMTPPasswordSummary->text(), "Password: **");
    EXPECT_TRUE(wiz->summary->LSMTPLoginSummary->isEnabled());
    EXPECT_EQ(wiz->summary->LSMTPSSLSummary->text(), "TLS/SSL: SSL 2.3, require always");
    EXPECT_EQ(wiz->summary->LSMTPFromAddressSummary->text(), "Sender's address: joe@joe.org");
    // Back from 6 goes to 5 on this path.
    wiz->BPrevious->click();
    EXPECT_EQ(wiz->Step(), 5);
    wiz->BNext->click();
    wiz->BFinishClick();
    std::unique_ptr<MailAccount> a = wiz->TakeAccount();
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->FriendlyName().isEmpty());
    EXPECT_EQ(a->DisplayName(), "joe");
    EXPECT_EQ(a->SmtpServer(), "smtp.joe.org");
    EXPECT_EQ(a->SmtpTLSMode(), 2);
    EXPECT_EQ(a->SmtpPort(), 465);
    EXPECT_EQ(a->Pop3SSLVersion(), 3);
}

TEST_F(WizardTest, LoginsAndPasswordsWithLineBreaksOrNulAreRefused)
{
    const QString expected = UnsendableCredentialText();
    for (const QString& value : UnsendableValues()) {
        SCOPED_TRACE(value.toUtf8().toHex().toStdString());
        for (int i = 0; i < 4; ++i) {
            MailAccount a(nullptr);
            wiz->pop3->EPOP3Login->setText("joe");
            wiz->pop3->EPOP3Password->setText("pw");
            wiz->pop3->EPOP3Server->setText("pop.joe.org");
            wiz->smtp->ESMTPServer->setText("smtp.joe.org");
            wiz->smtp->CBSMTPAuth->setChecked(true);
            wiz->smtp->ESMTPLogin->setText("joe");
            wiz->smtp->ESMTPPassword->setText("pw");
            QLineEdit* fields[] = {wiz->pop3->EPOP3Login, wiz->pop3->EPOP3Password,
                                   wiz->smtp->ESMTPLogin, wiz->smtp->ESMTPPassword};
            fields[i]->setText(value);
            messages.shown.clear();
            WizardPage* page = i < 2 ? static_cast<WizardPage*>(wiz->pop3)
                                     : static_cast<WizardPage*>(wiz->smtp);
            EXPECT_FALSE(page->StorePage(a)) << i;
            ASSERT_EQ(messages.shown.size(), 1) << i;
            EXPECT_EQ(messages.shown[0].text, expected);
            EXPECT_TRUE(a.Login().isEmpty() && a.SmtpLogin().isEmpty()) << i;
        }
    }
}

TEST_F(WizardTest, StepOneNeedsLoginAndServerAndCancelAsks)
{
    FillStep1("joe", "", "   ");
    wiz->BNext->click();
    EXPECT_EQ(wiz->Step(), 1);
    EXPECT_EQ(messages.shown.last().text, "You must enter at least login and server's name/address.");
    EXPECT_TRUE(wiz->focusWidget() == wiz->pop3->EPOP3Server);
    // A port beyond 16 bits becomes the default instead of wrapping around.
    FillStep1("joe", "", "pop.joe.org");
    wiz->pop3->EPOP3Port->setEditText("65646");
    wiz->BNext->click();
    EXPECT_EQ(wiz->Account()->Pop3Port(), 110);

    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    wiz->BFinishClick();
    EXPECT_TRUE(wiz->isVisible());
    EXPECT_EQ(messages.shown.last().text, "Are you sure you want to abort this wizard?");
    messages.answer = nullptr;
    wiz->BFinishClick();
    EXPECT_FALSE(wiz->isVisible());
    EXPECT_EQ(wiz->result(), QDialog::Rejected);
}

TEST_F(WizardTest, RunReturnsNothingWhenCancelled)
{
    wiz->hide();
    QTimer::singleShot(0, [] { TranslatedWindow::CurrentModalWindow()->close(); });
    EXPECT_EQ(wiz->Run(nullptr), nullptr);
}

} // namespace

namespace {

// Stands in for the browser step: answers with fixed tokens and records the
// endpoints it was given.
struct FakeSignIn
{
    int calls = 0;
    OAuthEndpoints last;
    bool succeed = true;
    std::optional<TokenReply> operator()(QWidget*, const OAuthEndpoints& e, const QByteArray&)
    {
        ++calls;
        last = e;
        if (!succeed)
            return std::nullopt;
        return TokenReply{"at-1", "rt-1", 3600};
    }
};

} // namespace

TEST_F(AccountWindowTest, OAuthChoiceSignsInAndStoresTokensOnlyOnOk)
{
    vm::test::ScopedEnv ids("VELMORA_OAUTH_CLIENT_IDS");
    ids.Unset();
    OAuthSettingsBox* box = acf->GBSignIn;
    FakeSignIn fake;
    box->signIn = [&fake](QWidget* w, const OAuthEndpoints& e, const QByteArray& h) {
        return fake(w, e, h);
    };
    EXPECT_FALSE(box->POAuth->isVisibleTo(acf->TSSignIn));
    box->RBOAuthSignIn->setChecked(true);
    EXPECT_TRUE(box->POAuth->isVisibleTo(acf->TSSignIn));
    EXPECT_FALSE(acf->EPassword->isEnabled());
    EXPECT_FALSE(acf->CBAPOP->isEnabled());

    // The server names the provider; without a client id the window says so.
    acf->EServer->setText("outlook.office365.com");
    emit acf->EServer->editingFinished();
    EXPECT_EQ(box->CBProvider->currentText(), "Microsoft");
    EXPECT_TRUE(box->LClientIdHint->isVisibleTo(acf->TSSignIn));
    EXPECT_TRUE(box->LClientIdHint->text().startsWith("No client id is set for Microsoft."));
    EXPECT_FALSE(box->EAuthorizeUrl->isVisibleTo(acf->TSSignIn));
    EXPECT_FALSE(acf->BOKClick());
    EXPECT_TRUE(Shown().last().startsWith("No client id is set for Microsoft."));
    box->BSignIn->click();
    EXPECT_EQ(fake.calls, 0);

    box->EClientId->setText("cid");
    emit box->EClientId->textEdited("cid");
    EXPECT_FALSE(box->LClientIdHint->isVisibleTo(acf->TSSignIn));
    EXPECT_EQ(box->LSignInState->text(), "Not signed in yet.");
    box->BSignIn->click();
    ASSERT_EQ(fake.calls, 1);
    EXPECT_EQ(fake.last.authorizeUrl.toString(),
              "https://login.microsoftonline.com/common/oauth2/v2.0/authorize");
    EXPECT_EQ(fake.last.clientId, "cid");
    EXPECT_EQ(box->LSignInState->text(), "Signed in.");
    // Cancel keeps nothing of it.
    acf->reject();
    EXPECT_FALSE(account.UsesOAuth());
    EXPECT_TRUE(account.RefreshToken().isEmpty());

    acf->LoadAccount(account);
    box->RBOAuthSignIn->setChecked(true);
    acf->EServer->setText("outlook.office365.com");
    emit acf->EServer->editingFinished();
    box->EClientId->setText("cid");
    box->BSignIn->click();
    const int before = int(messages.shown.size());
    ASSERT_TRUE(acf->BOKClick());
    EXPECT_EQ(int(messages.shown.size()), before); // signed in: no warning
    EXPECT_TRUE(account.UsesOAuth());
    EXPECT_EQ(account.OAuth().provider, "microsoft");
    EXPECT_EQ(account.OAuth().clientId, "cid");
    EXPECT_EQ(account.RefreshToken(), "rt-1");
    EXPECT_EQ(account.AccessToken(), "at-1");

    // Another provider: the old tokens go, and saving without a sign-in warns.
    acf->LoadAccount(account);
    EXPECT_EQ(box->LSignInState->text(), "Signed in.");
    box->CBProvider->setCurrentIndex(1); // Google
    emit box->CBProvider->activated(1);
    EXPECT_EQ(box->LSignInState->text(), "Not signed in yet.");
    ASSERT_TRUE(acf->BOKClick());
    EXPECT_TRUE(Shown().last().startsWith("This account is not signed in with its provider yet"));
    EXPECT_EQ(account.OAuth().provider, "google");
    EXPECT_TRUE(account.RefreshToken().isEmpty());

    // A custom provider needs its addresses, https or on this computer.
    acf->LoadAccount(account);
    box->CBProvider->setCurrentIndex(2);
    emit box->CBProvider->activated(2);
    EXPECT_TRUE(box->EAuthorizeUrl->isVisibleTo(acf->TSSignIn));
    box->EAuthorizeUrl->setText("http://id.example.org/authorize");
    box->ETokenUrl->setText("https://id.example.org/token");
    EXPECT_FALSE(acf->BOKClick());
    EXPECT_TRUE(Shown().last().contains("\"http://id.example.org/authorize\" cannot be used"));
}

TEST_F(WizardTest, OAuthNeedsASignInBeforeTheNextStep)
{
    OAuthSettingsBox* box = wiz->pop3->GBSignIn;
    FakeSignIn fake;
    fake.succeed = false;
    box->signIn = [&fake](QWidget* w, const OAuthEndpoints& e, const QByteArray& h) {
        return fake(w, e, h);
    };
    FillStep1("anna@gmail.com", "typed by mistake", "pop.gmail.com");
    emit wiz->pop3->EPOP3Server->editingFinished();
    box->RBOAuthSignIn->setChecked(true);
    EXPECT_EQ(box->CBProvider->currentText(), "Google");
    EXPECT_FALSE(wiz->pop3->EPOP3Password->isEnabled());
    box->EClientId->setText("gid");
    wiz->BNextClick();
    EXPECT_EQ(wiz->Step(), 1);
    EXPECT_EQ(Shown().last(), "Press \"Sign in...\" and sign in with your provider in the "
                              "browser before you go on.");
    box->BSignIn->click(); // the user cancels in the browser step
    wiz->BNextClick();
    EXPECT_EQ(wiz->Step(), 1);
    fake.succeed = true;
    box->BSignIn->click();
    wiz->BNextClick();
    EXPECT_EQ(wiz->Step(), 2);
    MailAccount* a = wiz->Account();
    EXPECT_TRUE(a->UsesOAuth());
    EXPECT_EQ(a->RefreshToken(), "rt-1");
    EXPECT_TRUE(a->Password().isEmpty());
}

namespace {

// Every visible control of box lies inside window and gets at least the
// height it asks for (nothing cut or squeezed); the window fits a 1280x800
// screen. With VELMORA_SCREENSHOT_DIR set the window is also saved as name.
void ExpectFits(QWidget* window, QWidget* box, const char* name)
{
    QApplication::processEvents();
    window->layout()->activate();
    // The size it is shown in: the size it was given, at least its minimum,
    // or else the size it asks for.
    window->resize(window->testAttribute(Qt::WA_Resized)
                       ? window->size().expandedTo(window->minimumSizeHint())
                       : window->sizeHint());
    QApplication::processEvents();
    EXPECT_LE(window->height(), 760);
    EXPECT_LE(window->width(), 1280);
    const QRect inside = window->rect();
    for (QWidget* w : box->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->objectName().isEmpty())
            continue;
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(inside.contains(r)) << w->objectName().toStdString();
        EXPECT_GE(w->height(), std::min(w->sizeHint().height(), w->minimumSizeHint().height()))
            << w->objectName().toStdString();
        EXPECT_GE(w->width(), w->minimumSizeHint().width()) << w->objectName().toStdString();
    }
    const QString dir = qEnvironmentVariable("VELMORA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        window->grab().save(dir + QLatin1Char('/') + QLatin1String(name));
}

} // namespace

TEST_F(AccountWindowTest, SignInChoiceFitsTheWindow)
{
    acf->EServer->setText("id.example.org");
    acf->GBSignIn->RBOAuthSignIn->setChecked(true);
    acf->GBSignIn->CBProvider->setCurrentIndex(2); // custom: every field
    emit acf->GBSignIn->CBProvider->activated(2);
    acf->PGC->setCurrentWidget(acf->TSSignIn);
    ExpectFits(acf.get(), acf->GBSignIn, "signin-account-window.png");
}

TEST_F(WizardTest, SignInChoiceFitsTheWizard)
{
    vm::test::ScopedEnv ids("VELMORA_OAUTH_CLIENT_IDS");
    ids.Unset();
    FillStep1("anna@outlook.com", "", "outlook.office365.com");
    emit wiz->pop3->EPOP3Server->editingFinished();
    wiz->pop3->GBSignIn->RBOAuthSignIn->setChecked(true); // the hint on the client id shows
    ExpectFits(wiz.get(), wiz->pop3->GBSignIn, "signin-wizard.png");
}
