#pragma once
// The six-step wizard that builds a new account: POP3 login and server,
// descriptive name and automatic checking, whether Velmora sends mail
// itself, the SMTP server, the sender, and a summary. Steps 4 and 5 are
// skipped for accounts that leave sending to the system's mail client.

#include <QWidget>

#include <memory>

#include <QList>
#include "ui/common/TBaseForm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TAccountsDirectory;
class TMailAccount;

namespace vm {

// One page of the wizard.
class TAccWizFrame : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    // Fills the controls from the account.
    virtual void LoadPage(TMailAccount& account) { (void)account; }
    // Checks the controls and writes them into the account; false keeps the
    // wizard on this step.
    virtual bool StorePage(TMailAccount& account)
    {
        (void)account;
        return true;
    }
};

class TAccWizPOP3Frm : public TAccWizFrame
{
    Q_OBJECT
public:
    explicit TAccWizPOP3Frm(QWidget* parent);
    void LoadPage(TMailAccount& account) override;
    bool StorePage(TMailAccount& account) override;
    QLineEdit* EPOP3Login;
    QLineEdit* EPOP3Password;
    QLineEdit* EPOP3Server;
    QComboBox* EPOP3Port;
    QCheckBox* CBPOP3SSL;
    QComboBox* CBPOP3SSLVersion;
};

class TAccWizPOP3ExFrm : public TAccWizFrame
{
    Q_OBJECT
public:
    explicit TAccWizPOP3ExFrm(QWidget* parent);
    void LoadPage(TMailAccount& account) override;
    bool StorePage(TMailAccount& account) override;
    QLineEdit* EPOP3ExFriendly;
    QCheckBox* CBPOP3ExAutoCheck;
};

class TAccWizSendFrm : public TAccWizFrame
{
    Q_OBJECT
public:
    explicit TAccWizSendFrm(QWidget* parent);
    void LoadPage(TMailAccount& account) override;
    bool StorePage(TMailAccount& account) override;
    QRadioButton* RBSendUseVL;
    QRadioButton* RBSendUseDefault;
};

class TAccWizSMTPFrm : public TAccWizFrame
{
    Q_OBJECT
public:
    explicit TAccWizSMTPFrm(QWidget* parent);
    void LoadPage(TMailAccount& account) override;
    bool StorePage(TMailAccount& account) override;
    void CBSMTPAuthClick();
    void CBSMTPSSLSelect();
    QLineEdit* ESMTPServer;
    QCheckBox* CBSMTPAuth;
    QLineEdit* ESMTPLogin;
    QLineEdit* ESMTPPassword;
    QComboBox* ESMTPPort;
    QComboBox* CBSMTPSSL;
    QComboBox* CBSMTPSSLVersion;
};

class TAccWizSMTPExFrm : public TAccWizFrame
{
    Q_OBJECT
public:
    explicit TAccWizSMTPExFrm(QWidget* parent);
    void LoadPage(TMailAccount& account) override;
    bool StorePage(TMailAccount& account) override;
    QLineEdit* ESMTPExFromAddress;
    QLineEdit* ESMTPExName;
};

class TAccWizSummaryFrm : public TAccWizFrame
{
    Q_OBJECT
public:
    explicit TAccWizSummaryFrm(QWidget* parent);
    void LoadPage(TMailAccount& account) override;
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

class TAccWizWnd : public TBaseForm
{
    Q_OBJECT
public:
    explicit TAccWizWnd(QWidget* parent = nullptr);
    ~TAccWizWnd() override;

    // Shows the wizard modally. The new account on Finish (the caller adds
    // it to the directory), or null when the wizard was cancelled.
    std::unique_ptr<TMailAccount> Run(TAccountsDirectory* owner);

    // Starts a new account at step 1 without showing the window (Run does
    // this first; tests drive the steps from here).
    void Start(TAccountsDirectory* owner);
    // Hands the account under construction over (null after Cancel).
    std::unique_ptr<TMailAccount> TakeAccount();

    void BNextClick();
    void BPreviousClick();
    void BFinishClick();

    int Step() const { return step_; }
    TMailAccount* Account() const { return account_.get(); }
    TAccWizFrame* Page(int step) const { return pages_.at(step - 1); }

    QWidget* PHead = nullptr;
    QLabel* LHead = nullptr;
    QPushButton* BPrevious = nullptr;
    QPushButton* BNext = nullptr;
    QPushButton* BFinish = nullptr;

    TAccWizPOP3Frm* pop3 = nullptr;
    TAccWizPOP3ExFrm* pop3Ex = nullptr;
    TAccWizSendFrm* send = nullptr;
    TAccWizSMTPFrm* smtp = nullptr;
    TAccWizSMTPExFrm* smtpEx = nullptr;
    TAccWizSummaryFrm* summary = nullptr;

public slots:
    void reject() override;

private:
    void Refresh();
    int step_ = 1;
    std::unique_ptr<TMailAccount> account_;
    // The six pages in step order; the window owns them as its children.
    QList<TAccWizFrame*> pages_;
};

// One "*" per character of a password.
QString Asterisks(const QByteArray& password);

} // namespace vm
