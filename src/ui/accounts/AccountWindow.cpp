#include "ui/accounts/AccountWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "core/Messages.h"
#include "lang/Lang.h"
#include "model/AccountSecrets.h"
#include "model/MailAccount.h"
#include "ui/accounts/OAuthSettingsBox.h"
#include "ui/common/FormParts.h"

namespace vm {


namespace {

const QString kSection = QStringLiteral("AccountWnd");

} // namespace

AccountWindow::AccountWindow(QWidget* parent) : TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("AccountWnd"));
    setWindowTitle(QStringLiteral("E-mail account settings"));
    setModal(true);
    setMinimumWidth(460);

    auto* top = new QVBoxLayout(this);
    PGC = new QTabWidget(this);
    PGC->setObjectName(QStringLiteral("PGC"));
    top->addWidget(PGC);

    // Basics
    TSBasic = new QWidget;
    TSBasic->setObjectName(QStringLiteral("TSBasic"));
    PGC->addTab(TSBasic, QStringLiteral("Basics"));
    auto* basic = new QVBoxLayout(TSBasic);
    GBServer = new QGroupBox(QStringLiteral("Incoming mail server (POP3)"), TSBasic);
    GBServer->setObjectName(QStringLiteral("GBServer"));
    auto* f1 = new QFormLayout(GBServer);
    AddLoginRows(f1, GBServer, ELogin, EPassword, true);
    EServer = new QLineEdit(GBServer);
    EServer->setObjectName(QStringLiteral("EServer"));
    EPort = new QComboBox(GBServer);
    EPort->setObjectName(QStringLiteral("EPort"));
    EPort->setEditable(true);
    EPort->addItems({QStringLiteral("110"), QStringLiteral("995")});
    EFriendly = new QLineEdit(GBServer);
    EFriendly->setObjectName(QStringLiteral("EFriendly"));
    CBAutoCheck =
        new QCheckBox(QStringLiteral("Check mail automatically (in time cycles)"), GBServer);
    CBAutoCheck->setObjectName(QStringLiteral("CBAutoCheck"));
    LPortHint = NamedLabel("LPortHint", QString(), GBServer);
    f1->addRow(NamedLabel("LServer", QStringLiteral("Server:"), GBServer), EServer);
    f1->addRow(NamedLabel("LPort", QStringLiteral("Port*:"), GBServer), EPort);
    f1->addRow(NamedLabel("LFriendly", QStringLiteral("Account's descriptive name:"), GBServer),
               EFriendly);
    f1->addRow(CBAutoCheck);
    f1->addRow(LPortHint);
    basic->addWidget(GBServer);

    GBConnection = new QGroupBox(QStringLiteral("Connection"), TSBasic);
    GBConnection->setObjectName(QStringLiteral("GBConnection"));
    auto* f2 = new QVBoxLayout(GBConnection);
    CBAPOP = new QCheckBox(QStringLiteral("Secure password authentication (APOP)"), GBConnection);
    CBAPOP->setObjectName(QStringLiteral("CBAPOP"));
    CBSSL = new QCheckBox(QStringLiteral("Use TLS/SSL:"), GBConnection);
    CBSSL->setObjectName(QStringLiteral("CBSSL"));
    CBSSLVersion = SslVersionList("CBSSLVersion", GBConnection);
    LConnectionHint = NamedLabel("LConnectionHint", QString(), GBConnection);
    f2->addWidget(CBAPOP);
    auto* sslRow = new QHBoxLayout;
    sslRow->addWidget(CBSSL);
    sslRow->addWidget(CBSSLVersion, 1);
    f2->addLayout(sslRow);
    LTLSInUse = TlsNoteLabel("LTLSInUse", GBConnection);
    f2->addWidget(LTLSInUse);
    f2->addWidget(LConnectionHint);
    basic->addWidget(GBConnection);
    basic->addStretch(1);

    // Sign-in
    TSSignIn = new QWidget;
    TSSignIn->setObjectName(QStringLiteral("TSSignIn"));
    PGC->addTab(TSSignIn, QStringLiteral("Sign-in"));
    auto* signIn = new QVBoxLayout(TSSignIn);
    GBSignIn = new OAuthSettingsBox(TSSignIn);
    signIn->addWidget(GBSignIn);
    signIn->addStretch(1);

    // Advanced
    TSAdvanced = new QWidget;
    TSAdvanced->setObjectName(QStringLiteral("TSAdvanced"));
    PGC->addTab(TSAdvanced, QStringLiteral("Advanced"));
    auto* adv = new QVBoxLayout(TSAdvanced);
    GBExternalClient = new QGroupBox(QStringLiteral("Mail client"), TSAdvanced);
    GBExternalClient->setObjectName(QStringLiteral("GBExternalClient"));
    auto* f3 = new QVBoxLayout(GBExternalClient);
    f3->addWidget(NamedLabel("LClientButton", QString(), GBExternalClient));
    RBSystemApplication =
        new QRadioButton(QStringLiteral("System's default mail application"), GBExternalClient);
    RBSystemApplication->setObjectName(QStringLiteral("RBSystemApplication"));
    RBWebMail = new QRadioButton(QStringLiteral("Webmail (enter fully qualified address):"),
                                 GBExternalClient);
    RBWebMail->setObjectName(QStringLiteral("RBWebMail"));
    EWebMail = new QLineEdit(GBExternalClient);
    EWebMail->setObjectName(QStringLiteral("EWebMail"));
    f3->addWidget(RBSystemApplication);
    f3->addWidget(RBWebMail);
    f3->addWidget(EWebMail);
    adv->addWidget(GBExternalClient);

    GBSending = new QGroupBox(QStringLiteral("Sending"), TSAdvanced);
    GBSending->setObjectName(QStringLiteral("GBSending"));
    auto* f4 = new QVBoxLayout(GBSending);
    f4->addWidget(NamedLabel("LSendingHint", QString(), GBSending));
    BSMTP = new QPushButton(QStringLiteral("SMTP setup..."), GBSending);
    BSMTP->setObjectName(QStringLiteral("BSMTP"));
    f4->addWidget(BSMTP, 0, Qt::AlignLeft);
    f4->addWidget(NamedLabel("LSMTPClient", QString(), GBSending));
    RBSendViaDefaultClient =
        new QRadioButton(QStringLiteral("System's default mail application"), GBSending);
    RBSendViaDefaultClient->setObjectName(QStringLiteral("RBSendViaDefaultClient"));
    RBSendViaVL = new QRadioButton(QStringLiteral("Velmora itself"), GBSending);
    RBSendViaVL->setObjectName(QStringLiteral("RBSendViaVL"));
    f4->addWidget(RBSendViaDefaultClient);
    f4->addWidget(RBSendViaVL);
    adv->addWidget(GBSending);
    adv->addStretch(1);

    AddOkCancelRow(top, this, BOK, BCancel);

    RBSystemApplication->setChecked(true);
    RBSendViaDefaultClient->setChecked(true);

    // A window of its own: its section shares control names with this one.
    smtp_ = new SmtpWindow(nullptr);

    connect(CBSSL, &QCheckBox::clicked, this, &AccountWindow::CBSSLClick);
    connect(CBSSL, &QCheckBox::toggled, this,
            [this](bool on) { LTLSInUse->setText(Pop3TlsNote(on)); });
    // The port of POP3 over TLS means TLS.
    OnPortChosen(EPort, [this](int port) {
        if (port == kPop3TlsPort && !CBSSL->isChecked()) {
            CBSSL->setChecked(true);
            CBSSLVersion->setEnabled(true);
        }
    });
    // An OAuth 2.0 account has no password and no APOP.
    connect(GBSignIn, &OAuthSettingsBox::methodChanged, this, [this](bool oauth) {
        EPassword->setEnabled(!oauth);
        CBAPOP->setEnabled(!oauth);
    });
    connect(EServer, &QLineEdit::editingFinished, this,
            [this] { GBSignIn->GuessFromServer(EServer->text()); });
    GBSignIn->loginHint = [this] { return ELogin->text().toUtf8(); };
    connect(RBWebMail, &QRadioButton::toggled, EWebMail, &QWidget::setEnabled);
    connect(BSMTP, &QPushButton::clicked, this, [this] {
        const QString friendly = EFriendly->text().trimmed();
        smtp_->accountName = friendly.isEmpty() ? ELogin->text().trimmed() : friendly;
        smtp_->ShowModal();
    });
    connect(BOK, &QPushButton::clicked, this, [this] { BOKClick(); });
    connect(BCancel, &QPushButton::clicked, this, &AccountWindow::reject);
    TranslateWindow(this);
}

AccountWindow::~AccountWindow()
{
    delete smtp_;
}

void AccountWindow::CBSSLClick()
{
    CBSSLVersion->setEnabled(CBSSL->isChecked());
    EPort->setEditText(CBSSL->isChecked() ? QStringLiteral("995") : QStringLiteral("110"));
}

void AccountWindow::LoadAccount(MailAccount& a)
{
    account_ = &a;
    // Passwords the mailbox file leaves to the keyring are shown too. When
    // the keyring cannot give them the fields stay empty, and an empty field
    // keeps the keyring's password as it is.
    try {
        a.ReadKeyringSecrets(InstalledSecretVault());
    } catch (const KeyringError& e) {
        ShowWarning(LangFormat(kSection, QStringLiteral("KeyringUnread"), {e.ReportMessage()}));
    }
    ELogin->setText(QString::fromLocal8Bit(a.Login()));
    EPassword->setText(QString::fromLocal8Bit(a.Password()));
    EServer->setText(QString::fromLocal8Bit(a.Server()));
    EPort->setEditText(QString::number(a.Pop3Port()));
    EFriendly->setText(QString::fromLocal8Bit(a.FriendlyName()));
    CBAutoCheck->setChecked(a.AutoCheck());
    CBAPOP->setChecked(a.APOP());
    CBSSL->setChecked(a.Pop3TLS());
    CBSSLVersion->setCurrentIndex(std::min<int>(a.Pop3SSLVersion(), 3));
    CBSSLVersion->setEnabled(CBSSL->isChecked());
    LTLSInUse->setText(Pop3TlsNote(CBSSL->isChecked()));
    RBSendViaVL->setChecked(a.SendViaThisProgram());
    RBSendViaDefaultClient->setChecked(!a.SendViaThisProgram());
    EWebMail->setText(QString::fromLocal8Bit(a.WebmailAddress()));
    RBWebMail->setChecked(a.ClientKind() == 1);
    RBSystemApplication->setChecked(a.ClientKind() != 1);
    EWebMail->setEnabled(RBWebMail->isChecked());
    GBSignIn->Load(a);
    smtp_->LoadFromAccount(a);
    PGC->setCurrentWidget(TSBasic);
}

bool AccountWindow::Edit(MailAccount& account)
{
    LoadAccount(account);
    ELogin->setFocus();
    const int result = ShowModal();
    account_ = nullptr;
    return result == QDialog::Accepted;
}

bool AccountWindow::BOKClick()
{
    if (!account_)
        return false;
    if (ELogin->text().isEmpty() || EServer->text().trimmed().isEmpty()) {
        ShowError(LangText(kSection, QStringLiteral("POP3Requirements")));
        PGC->setCurrentWidget(TSBasic);
        (ELogin->text().isEmpty() ? ELogin : EServer)->setFocus();
        return false;
    }
    if (!CheckCredentialFields({ELogin, EPassword}, PGC, TSBasic))
        return false;
    if (RBWebMail->isChecked() && EWebMail->text().trimmed().isEmpty()) {
        ShowError(LangText(kSection, QStringLiteral("NoWebmailAddress")));
        PGC->setCurrentWidget(TSAdvanced);
        EWebMail->setFocus();
        return false;
    }
    int port = 0;
    if (!CheckPortField(EPort, LangText(kSection, QStringLiteral("InvalidPOP3Port")),
                        QStringLiteral("110"), port, PGC, TSBasic))
        return false;
    if (RBSendViaVL->isChecked() && !smtp_->MeetsSendingRequirements()) {
        ShowError(LangText(kSection, QStringLiteral("SMTPRequirements")));
        return false;
    }
    const bool oauth = GBSignIn->OAuthChosen();
    if (const QString problem = GBSignIn->Problem(); !problem.isEmpty()) {
        ShowError(problem);
        PGC->setCurrentWidget(TSSignIn);
        GBSignIn->EClientId->setFocus();
        return false;
    }
    if (oauth && !GBSignIn->SignedIn())
        ShowWarning(LangText(kSection, QStringLiteral("NotSignedInWarning")));
    if (!oauth && EPassword->text().isEmpty() && CBAutoCheck->isChecked())
        ShowWarning(LangText(kSection, QStringLiteral("AutocheckRequirements")));

    MailAccount& a = *account_;
    a.Login() = ELogin->text().toLocal8Bit();
    a.Password() = EPassword->text().toLocal8Bit();
    a.Server() = EServer->text().trimmed().toLocal8Bit();
    a.Pop3Port() = static_cast<std::uint16_t>(port);
    a.FriendlyName() = EFriendly->text().trimmed().toLocal8Bit();
    a.AutoCheck() = CBAutoCheck->isChecked();
    a.APOP() = CBAPOP->isChecked();
    a.Pop3TLS() = CBSSL->isChecked();
    a.Pop3SSLVersion() = static_cast<std::uint8_t>(std::clamp(CBSSLVersion->currentIndex(), 0, 3));
    a.SendViaThisProgram() = RBSendViaVL->isChecked();
    a.WebmailAddress() = EWebMail->text().trimmed().toLocal8Bit();
    a.ClientKind() = RBSystemApplication->isChecked() ? 2 : 1;
    GBSignIn->Store(a);
    const bool smtpWritten = smtp_->WriteToAccount(a);

    a.PasswordsSaved(smtpWritten);
    accept();
    return true;
}

} // namespace vm
