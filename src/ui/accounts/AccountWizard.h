#pragma once
// The six-step wizard that builds a new account: POP3 login and server,
// descriptive name and automatic checking, whether Velmora sends mail
// itself, the SMTP server, the sender, and a summary. Steps 4 and 5 are
// skipped for accounts that leave sending to the system's mail client.

#include <QWidget>

#include <memory>

#include <QList>
#include "ui/common/TranslatedWindow.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
namespace vm { class AccountsDirectory; }
namespace vm { class MailAccount; }
namespace vm { class OAuthSettingsBox; }

namespace vm {

// One page of the wizard.
class WizardPage : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    // Fills the controls from the account.
    virtual void LoadPage(MailAccount& account) { (void)account; }
    // Checks the controls and writes them into the account; false keeps the
    // wizard on this step.
    virtual bool StorePage(MailAccount& account)
    {
        (void)account;
        return true;
    }
};

class WizardLoginPage : public WizardPage
{
    Q_OBJECT
public:
    explicit WizardLoginPage(QWidget* parent);
    void LoadPage(MailAccount& account) override;
    bool StorePage(MailAccount& account) override;
    QLineEdit* EPOP3Login;
    QLineEdit* EPOP3Password;
    QLineEdit* EPOP3Server;
    QComboBox* EPOP3Port;
    QCheckBox* CBPOP3SSL;
    QComboBox* CBPOP3SSLVersion;
    QLabel* LPOP3TLSInUse; // what the connection really uses
    // Password or OAuth 2.0 sign-in; OAuth 2.0 needs a sign-in before Next.
    OAuthSettingsBox* GBSignIn;
};

class WizardNamePage : public WizardPage
{
    Q_OBJECT
public:
    explicit WizardNamePage(QWidget* parent);
    void LoadPage(MailAccount& account) override;
    bool StorePage(MailAccount& account) override;
    QLineEdit* EPOP3ExFriendly;
    QCheckBox* CBPOP3ExAutoCheck;
};

class WizardSendChoicePage : public WizardPage
{
    Q_OBJECT
public:
    explicit WizardSendChoicePage(QWidget* parent);
    void LoadPage(MailAccount& account) override;
    bool StorePage(MailAccount& account) override;
    QRadioButton* RBSendUseVL;
    QRadioButton* RBSendUseDefault;
};

class WizardSmtpPage : public WizardPage
{
    Q_OBJECT
public:
    explicit WizardSmtpPage(QWidget* parent);
    void LoadPage(MailAccount& account) override;
    bool StorePage(MailAccount& account) override;
    void CBSMTPAuthClick();
    void CBSMTPSSLSelect();
    // The line under the choice: what the connection really uses.
    void ShowTlsNote();
    QLineEdit* ESMTPServer;
    QCheckBox* CBSMTPAuth;
    QLineEdit* ESMTPLogin;
    QLineEdit* ESMTPPassword;
    QComboBox* ESMTPPort;
    QComboBox* CBSMTPSSL;
    QComboBox* CBSMTPSSLVersion;
    QLabel* LSMTPTLSInUse;
};

class WizardSenderPage : public WizardPage
{
    Q_OBJECT
public:
    explicit WizardSenderPage(QWidget* parent);
    void LoadPage(MailAccount& account) override;
    bool StorePage(MailAccount& account) override;
    QLineEdit* ESMTPExFromAddress;
    QLineEdit* ESMTPExName;
};

class WizardSummaryPage : public WizardPage
{
    Q_OBJECT
public:
    explicit WizardSummaryPage(QWidget* parent);
    void LoadPage(MailAccount& account) override;
    QLabel* LSummaryHint;
    QWidget* POP3Panel;
    QLabel* LPOP3LoginSummary;
    QLabel* LPOP3PasswordSummary;
    QLabel* LPOP3ServerSummary;
    QLabel* LPOP3SSLSummary;
    QLabel* LPOP3AutocheckSummary;
    QWidget* SMTPPanel;
    QLabel* LSMTPServerSummary;
    QLabel* LSMTPAuthSummary;
    QLabel* LSMTPLoginSummary;
    QLabel* LSMTPPasswordSummary;
    QLabel* LSMTPSSLSummary;
    QLabel* LSMTPFromAddressSummary;
    QLabel* LSMTPSenderNameSummary;
};

class AccountWizard : public TranslatedWindow
{
    Q_OBJECT
public:
    explicit AccountWizard(QWidget* parent = nullptr);
    ~AccountWizard() override;

    // Shows the wizard modally. The new account on Finish (the caller adds
    // it to the directory), or null when the wizard was cancelled.
    std::unique_ptr<MailAccount> Run(AccountsDirectory* owner);

    // Starts a new account at step 1 without showing the window (Run does
    // this first; tests drive the steps from here).
    void Start(AccountsDirectory* owner);
    // Hands the account under construction over (null after Cancel).
    std::unique_ptr<MailAccount> TakeAccount();

    void BNextClick();
    void BPreviousClick();
    void BFinishClick();
    // Grows the window when the shown page needs more height than it has
    // (wrapped texts, the OAuth 2.0 fields), within the screen.
    void FitContents();

    int Step() const { return step_; }
    MailAccount* Account() const { return account_.get(); }
    WizardPage* Page(int step) const { return pages_.at(step - 1); }

    QWidget* PHead = nullptr;
    QLabel* LHead = nullptr;
    QPushButton* BPrevious = nullptr;
    QPushButton* BNext = nullptr;
    QPushButton* BFinish = nullptr;

    WizardLoginPage* pop3 = nullptr;
    WizardNamePage* pop3Ex = nullptr;
    WizardSendChoicePage* send = nullptr;
    WizardSmtpPage* smtp = nullptr;
    WizardSenderPage* smtpEx = nullptr;
    WizardSummaryPage* summary = nullptr;

public slots:
    void reject() override;

private:
    void Refresh();
    int step_ = 1;
    std::unique_ptr<MailAccount> account_;
    // The six pages in step order; the window owns them as its children.
    QList<WizardPage*> pages_;
};

// One "*" per character of a password.
QString Asterisks(const QByteArray& password);

} // namespace vm
