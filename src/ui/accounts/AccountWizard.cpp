#include "ui/accounts/AccountWizard.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "core/Messages.h"
#include "lang/Lang.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "ui/accounts/OAuthSettingsBox.h"
#include "ui/accounts/SmtpWindow.h"
#include "ui/common/FormParts.h"

namespace vm {

namespace {

const QString kSection = QStringLiteral("AccWizWnd");

QString Tx(const char* key)
{
    return LangText(kSection, QString::fromLatin1(key));
}

QString TxF(const char* key, const QStringList& args)
{
    return LangFormat(kSection, QString::fromLatin1(key), args);
}

QLabel* NamedLabel(const char* name, QWidget* parent, const QString& text = QString())
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setWordWrap(true);
    return l;
}

QString L(const QByteArray& b)
{
    return QString::fromLocal8Bit(b);
}

QByteArray B(const QString& s)
{
    return s.toLocal8Bit();
}

QString YesNo(bool on)
{
    return on ? Tx("Yes") : Tx("No");
}

// The provider's name as the sign-in choice shows it.
QString ProviderName(const QByteArray& id)
{
    if (id == "microsoft")
        return QStringLiteral("Microsoft");
    if (id == "google")
        return QStringLiteral("Google");
    return Tx("CustomProvider");
}

// The version names as the lists show them.
QString VersionName(int version)
{
    static const char* names[] = {"SSL 2.0", "SSL 2.3", "SSL 3.0", "TLS/SSL 1.0"};
    return QString::fromLatin1(names[std::clamp(version, 0, 3)]);
}

} // namespace

QString Asterisks(const QByteArray& password)
{
    return QString(QString::fromLocal8Bit(password).size(), QLatin1Char('*'));
}

// ---- step 1: POP3 --------------------------------------------------------

WizardLoginPage::WizardLoginPage(QWidget* parent) : WizardPage(parent)
{
    setObjectName(QStringLiteral("WizardLoginPage"));
    auto* v = new QVBoxLayout(this);
    v->addWidget(NamedLabel("LPOP3Hint", this));
    auto* f = new QFormLayout;
    EPOP3Login = NamedEdit("EPOP3Login", this);
    EPOP3Password = NamedEdit("EPOP3Password", this);
    EPOP3Password->setEchoMode(QLineEdit::Password);
    EPOP3Server = NamedEdit("EPOP3Server", this);
    EPOP3Port = new QComboBox(this);
    EPOP3Port->setObjectName(QStringLiteral("EPOP3Port"));
    EPOP3Port->setEditable(true);
    EPOP3Port->addItems({QStringLiteral("110"), QStringLiteral("995")});
    f->addRow(NamedLabel("LPOP3Login", this, QStringLiteral("Login:")), EPOP3Login);
    f->addRow(NamedLabel("LPOP3Password", this, QStringLiteral("Password:")), EPOP3Password);
    f->addRow(NamedLabel("LPOP3Server", this, QStringLiteral("POP3 server:")), EPOP3Server);
    f->addRow(NamedLabel("LPOP3Port", this, QStringLiteral("Port*:")), EPOP3Port);
    v->addLayout(f);
    v->addWidget(NamedLabel("LPOP3PortHint", this));
    v->addWidget(NamedLabel("LPOP3SSLHint", this));
    auto* row = new QHBoxLayout;
    CBPOP3SSL = new QCheckBox(QStringLiteral("Use TLS/SSL"), this);
    CBPOP3SSL->setObjectName(QStringLiteral("CBPOP3SSL"));
    CBPOP3SSLVersion = SslVersionList("CBPOP3SSLVersion", this);
    row->addWidget(CBPOP3SSL);
    row->addWidget(CBPOP3SSLVersion, 1);
    v->addLayout(row);
    LPOP3TLSInUse = TlsNoteLabel("LPOP3TLSInUse", this);
    v->addWidget(LPOP3TLSInUse);
    GBSignIn = new OAuthSettingsBox(this);
    v->addWidget(GBSignIn);
    v->addStretch(1);
    connect(GBSignIn, &OAuthSettingsBox::methodChanged, this,
            [this](bool oauth) { EPOP3Password->setEnabled(!oauth); });
    connect(EPOP3Server, &QLineEdit::editingFinished, this,
            [this] { GBSignIn->GuessFromServer(EPOP3Server->text()); });
    GBSignIn->loginHint = [this] { return EPOP3Login->text().trimmed().toUtf8(); };
    connect(CBPOP3SSL, &QCheckBox::clicked, this, [this] {
        CBPOP3SSLVersion->setEnabled(CBPOP3SSL->isChecked());
        EPOP3Port->setEditText(CBPOP3SSL->isChecked() ? QStringLiteral("995")
                                                      : QStringLiteral("110"));
    });
    connect(CBPOP3SSL, &QCheckBox::toggled, this,
            [this](bool on) { LPOP3TLSInUse->setText(Pop3TlsNote(on)); });
    // The port of POP3 over TLS means TLS.
    OnPortChosen(EPOP3Port, [this](int port) {
        if (port == kPop3TlsPort && !CBPOP3SSL->isChecked()) {
            CBPOP3SSL->setChecked(true);
            CBPOP3SSLVersion->setEnabled(true);
        }
    });
}

void WizardLoginPage::LoadPage(MailAccount& a)
{
    EPOP3Login->setText(L(a.Login()));
    EPOP3Password->setText(L(a.Password()));
    EPOP3Server->setText(L(a.Server()));
    EPOP3Port->setEditText(QString::number(a.Pop3Port()));
    CBPOP3SSL->setChecked(a.Pop3TLS());
    CBPOP3SSLVersion->setCurrentIndex(std::min<int>(a.Pop3SSLVersion(), 3));
    CBPOP3SSLVersion->setEnabled(a.Pop3TLS());
    LPOP3TLSInUse->setText(Pop3TlsNote(a.Pop3TLS()));
    GBSignIn->Load(a);
    EPOP3Login->setFocus();
}

bool WizardLoginPage::StorePage(MailAccount& a)
{
    EPOP3Login->setText(EPOP3Login->text().trimmed());
    EPOP3Password->setText(EPOP3Password->text().trimmed());
    EPOP3Server->setText(EPOP3Server->text().trimmed());
    int port = 0;
    // Anything but a port number (including numbers beyond 65535, which
    // would not fit the account's 16-bit port) becomes the default.
    if (!ParsePort(EPOP3Port->currentText(), port))
        port = 110;
    EPOP3Port->setEditText(QString::number(port));
    if (EPOP3Login->text().isEmpty() || EPOP3Server->text().isEmpty()) {
        ShowError(Tx("POP3FieldsBlank"));
        (EPOP3Login->text().isEmpty() ? EPOP3Login : EPOP3Server)->setFocus();
        return false;
    }
    if (!CheckCredentialFields({EPOP3Login, EPOP3Password}))
        return false;
    if (const QString problem = GBSignIn->Problem(); !problem.isEmpty()) {
        ShowError(problem);
        return false;
    }
    if (GBSignIn->OAuthChosen() && !GBSignIn->SignedIn()) {
        ShowError(Tx("SignInFirst"));
        GBSignIn->BSignIn->setFocus();
        return false;
    }
    GBSignIn->Store(a);
    a.Server() = B(EPOP3Server->text());
    a.Login() = B(EPOP3Login->text());
    a.Password() = a.UsesOAuth() ? QByteArray() : B(EPOP3Password->text());
    a.Pop3Port() = static_cast<std::uint16_t>(port);
    a.Pop3TLS() = CBPOP3SSL->isChecked();
    a.Pop3SSLVersion() = static_cast<std::uint8_t>(std::max(CBPOP3SSLVersion->currentIndex(), 0));
    if (a.FriendlyName().isEmpty())
        a.FriendlyName() = a.Login();
    return true;
}

// ---- step 2: name and automatic checks -------------------------------------

WizardNamePage::WizardNamePage(QWidget* parent) : WizardPage(parent)
{
    setObjectName(QStringLiteral("WizardNamePage"));
    auto* v = new QVBoxLayout(this);
    v->addWidget(NamedLabel("LPOP3ExHint1", this));
    v->addWidget(
        NamedLabel("LPOP3ExFriendly", this, QStringLiteral("Account's descriptive name:")));
    EPOP3ExFriendly = NamedEdit("EPOP3ExFriendly", this);
    v->addWidget(EPOP3ExFriendly);
    v->addSpacing(12);
    v->addWidget(NamedLabel("LPOP3ExHint2", this));
    CBPOP3ExAutoCheck =
        new QCheckBox(QStringLiteral("Enable mail autocheck for this account"), this);
    CBPOP3ExAutoCheck->setObjectName(QStringLiteral("CBPOP3ExAutoCheck"));
    v->addWidget(CBPOP3ExAutoCheck);
    v->addStretch(1);
}

void WizardNamePage::LoadPage(MailAccount& a)
{
    EPOP3ExFriendly->setText(L(a.FriendlyName()));
    CBPOP3ExAutoCheck->setChecked(a.AutoCheck());
    EPOP3ExFriendly->setFocus();
}

bool WizardNamePage::StorePage(MailAccount& a)
{
    a.FriendlyName() = B(EPOP3ExFriendly->text().trimmed());
    a.AutoCheck() = CBPOP3ExAutoCheck->isChecked();
    return true;
}

// ---- step 3: sending -------------------------------------------------------

WizardSendChoicePage::WizardSendChoicePage(QWidget* parent) : WizardPage(parent)
{
    setObjectName(QStringLiteral("WizardSendChoicePage"));
    auto* v = new QVBoxLayout(this);
    v->addWidget(NamedLabel("LSendHint", this));
    RBSendUseVL =
        new QRadioButton(QStringLiteral("Yes, I want to use Velmora to send e-mails"), this);
    RBSendUseVL->setObjectName(QStringLiteral("RBSendUseVL"));
    RBSendUseDefault = new QRadioButton(
        QStringLiteral("No, call system's default mail application if necessary"), this);
    RBSendUseDefault->setObjectName(QStringLiteral("RBSendUseDefault"));
    v->addWidget(RBSendUseVL);
    v->addWidget(RBSendUseDefault);
    v->addStretch(1);
}

void WizardSendChoicePage::LoadPage(MailAccount& a)
{
    RBSendUseVL->setChecked(a.SendViaThisProgram());
    RBSendUseDefault->setChecked(!a.SendViaThisProgram());
}

bool WizardSendChoicePage::StorePage(MailAccount& a)
{
    a.SendViaThisProgram() = RBSendUseVL->isChecked();
    return true;
}

// ---- step 4: SMTP server ---------------------------------------------------

WizardSmtpPage::WizardSmtpPage(QWidget* parent) : WizardPage(parent)
{
    setObjectName(QStringLiteral("WizardSmtpPage"));
    auto* v = new QVBoxLayout(this);
    v->addWidget(NamedLabel("LSMTPHint", this));
    auto* f = new QFormLayout;
    ESMTPServer = NamedEdit("ESMTPServer", this);
    f->addRow(NamedLabel("LSMTPServer", this, QStringLiteral("SMTP server:")), ESMTPServer);
    CBSMTPAuth = new QCheckBox(QStringLiteral("Server requires authorization:"), this);
    CBSMTPAuth->setObjectName(QStringLiteral("CBSMTPAuth"));
    f->addRow(CBSMTPAuth);
    ESMTPLogin = NamedEdit("ESMTPLogin", this);
    ESMTPPassword = NamedEdit("ESMTPPassword", this);
    ESMTPPassword->setEchoMode(QLineEdit::Password);
    f->addRow(NamedLabel("LSMTPLogin", this, QStringLiteral("Login:")), ESMTPLogin);
    f->addRow(NamedLabel("LSMTPPassword", this, QStringLiteral("Password:")), ESMTPPassword);
    ESMTPPort = new QComboBox(this);
    ESMTPPort->setObjectName(QStringLiteral("ESMTPPort"));
    ESMTPPort->setEditable(true);
    ESMTPPort->addItems({QStringLiteral("25"), QStringLiteral("465"), QStringLiteral("587")});
    f->addRow(NamedLabel("LSMTPPort", this, QStringLiteral("Port*:")), ESMTPPort);
    v->addLayout(f);
    v->addWidget(NamedLabel("LSMTPPortHint", this));
    v->addWidget(NamedLabel("LSMTPSSLHint", this));
    auto* row = new QHBoxLayout;
    CBSMTPSSL = new QComboBox(this);
    CBSMTPSSL->setObjectName(QStringLiteral("CBSMTPSSL"));
    CBSMTPSSL->addItems({QStringLiteral("Do not use TLS/SSL"), QStringLiteral("Use when possible"),
                         QStringLiteral("Always require TLS/SSL")});
    CBSMTPSSLVersion = SslVersionList("CBSMTPSSLVersion", this);
    row->addWidget(CBSMTPSSL, 1);
    row->addWidget(CBSMTPSSLVersion, 1);
    v->addLayout(row);
    LSMTPTLSInUse = TlsNoteLabel("LSMTPTLSInUse", this);
    v->addWidget(LSMTPTLSInUse);
    v->addStretch(1);
    connect(CBSMTPAuth, &QCheckBox::clicked, this, &WizardSmtpPage::CBSMTPAuthClick);
    connect(CBSMTPSSL, &QComboBox::activated, this, &WizardSmtpPage::CBSMTPSSLSelect);
    connect(CBSMTPSSL, &QComboBox::currentIndexChanged, this, &WizardSmtpPage::ShowTlsNote);
    // The port of SMTP over TLS means TLS: "Always require" when it was off.
    OnPortChosen(ESMTPPort, [this](int port) {
        if (port == kSmtpTlsPort && CBSMTPSSL->currentIndex() == 0) {
            CBSMTPSSL->setCurrentIndex(2);
            CBSMTPSSLVersion->setEnabled(true);
        }
        ShowTlsNote();
    });
}

void WizardSmtpPage::ShowTlsNote()
{
    int port = -1;
    if (!ParsePort(ESMTPPort->currentText(), port))
        port = -1;
    LSMTPTLSInUse->setText(SmtpTlsNote(CBSMTPSSL->currentIndex(), port));
}

void WizardSmtpPage::CBSMTPAuthClick()
{
    const bool on = CBSMTPAuth->isChecked();
    for (QLineEdit* e : {ESMTPLogin, ESMTPPassword}) {
        e->setEnabled(on);
        QPalette p = e->palette();
        p.setColor(QPalette::Base, on ? palette().color(QPalette::Active, QPalette::Base)
                                      : palette().color(QPalette::Active, QPalette::Button));
        e->setPalette(p);
    }
}

void WizardSmtpPage::CBSMTPSSLSelect()
{
    const int i = CBSMTPSSL->currentIndex();
    CBSMTPSSLVersion->setEnabled(i != 0);
    ESMTPPort->setEditText(i == 0 ? QStringLiteral("25") : QStringLiteral("465"));
    ShowTlsNote();
}

void WizardSmtpPage::LoadPage(MailAccount& a)
{
    if (a.SmtpLogin().isEmpty() && a.SmtpPassword().isEmpty()) {
        a.SmtpLogin() = a.Login();
        a.SmtpPassword() = a.Password();
    }
    ESMTPServer->setText(L(a.SmtpServer()));
    ESMTPLogin->setText(L(a.SmtpLogin()));
    ESMTPPassword->setText(L(a.SmtpPassword()));
    ESMTPPort->setEditText(QString::number(a.SmtpPort()));
    CBSMTPSSL->setCurrentIndex(a.SmtpTLSMode() <= 2 ? a.SmtpTLSMode() : 0);
    CBSMTPSSLVersion->setCurrentIndex(std::min<int>(a.SmtpSSLVersion(), 3));
    CBSMTPAuth->setChecked(a.SmtpAuthentication());
    CBSMTPAuthClick();
    // An OAuth 2.0 account logs in to SMTP with its token, not a password.
    if (a.UsesOAuth()) {
        ESMTPPassword->clear();
        ESMTPPassword->setEnabled(false);
    }
    CBSMTPSSLVersion->setEnabled(CBSMTPSSL->currentIndex() != 0);
    ShowTlsNote();
    ESMTPServer->setFocus();
}

bool WizardSmtpPage::StorePage(MailAccount& a)
{
    ESMTPServer->setText(ESMTPServer->text().trimmed());
    ESMTPLogin->setText(ESMTPLogin->text().trimmed());
    ESMTPPassword->setText(ESMTPPassword->text().trimmed());
    int port = 0;
    if (!ParsePort(ESMTPPort->currentText(), port))
        port = 25;
    ESMTPPort->setEditText(QString::number(port));
    if (ESMTPServer->text().isEmpty()) {
        ShowError(Tx("SMTPBlankServer"));
        ESMTPServer->setFocus();
        return false;
    }
    if (CBSMTPAuth->isChecked() && ESMTPLogin->text().isEmpty()) {
        ShowError(Tx("SMTPBlankAuth"));
        ESMTPLogin->setFocus();
        return false;
    }
    if (!CheckCredentialFields({ESMTPLogin, ESMTPPassword}))
        return false;
    a.SmtpServer() = B(ESMTPServer->text());
    a.SmtpLogin() = B(ESMTPLogin->text());
    a.SmtpPassword() = a.UsesOAuth() ? QByteArray() : B(ESMTPPassword->text());
    a.SmtpAuthentication() = CBSMTPAuth->isChecked();
    a.SmtpPort() = static_cast<std::uint16_t>(port);
    a.SmtpSSLVersion() = static_cast<std::uint8_t>(std::max(CBSMTPSSLVersion->currentIndex(), 0));
    a.SmtpTLSMode() = static_cast<std::uint8_t>(std::max(CBSMTPSSL->currentIndex(), 0));
    return true;
}

// ---- step 5: sender --------------------------------------------------------

WizardSenderPage::WizardSenderPage(QWidget* parent) : WizardPage(parent)
{
    setObjectName(QStringLiteral("WizardSenderPage"));
    auto* v = new QVBoxLayout(this);
    v->addWidget(NamedLabel("LSMTPExHint", this));
    v->addWidget(
        NamedLabel("LSMTPExFromAddress", this, QStringLiteral("Sender's e-mail address:")));
    ESMTPExFromAddress = NamedEdit("ESMTPExFromAddress", this);
    v->addWidget(ESMTPExFromAddress);
    v->addWidget(NamedLabel("LSMTPExSenderName", this, QStringLiteral("Sender's name:")));
    ESMTPExName = NamedEdit("ESMTPExName", this);
    v->addWidget(ESMTPExName);
    v->addStretch(1);
}

void WizardSenderPage::LoadPage(MailAccount& a)
{
    ESMTPExFromAddress->setText(L(a.FromAddress()));
    ESMTPExName->setText(L(a.SenderName()));
    ESMTPExFromAddress->setFocus();
}

bool WizardSenderPage::StorePage(MailAccount& a)
{
    ESMTPExFromAddress->setText(ESMTPExFromAddress->text().trimmed());
    ESMTPExName->setText(ESMTPExName->text().trimmed());
    if (ESMTPExFromAddress->text().isEmpty()) {
        ShowError(Tx("SMTPExFromBlank"));
        ESMTPExFromAddress->setFocus();
        return false;
    }
    a.FromAddress() = B(ESMTPExFromAddress->text());
    a.SenderName() = B(ESMTPExName->text());
    return true;
}

// ---- step 6: summary -------------------------------------------------------

WizardSummaryPage::WizardSummaryPage(QWidget* parent) : WizardPage(parent)
{
    setObjectName(QStringLiteral("WizardSummaryPage"));
    auto* v = new QVBoxLayout(this);
    LSummaryHint = NamedLabel("LSummaryHint", this);
    v->addWidget(LSummaryHint);
    POP3Panel = new QWidget(this);
    POP3Panel->setObjectName(QStringLiteral("POP3Panel"));
    auto* p = new QVBoxLayout(POP3Panel);
    p->addWidget(NamedLabel("LPOP3Summary", POP3Panel, QStringLiteral("POP3:")));
    LPOP3LoginSummary = new QLabel(POP3Panel);
    LPOP3PasswordSummary = new QLabel(POP3Panel);
    LPOP3ServerSummary = new QLabel(POP3Panel);
    LPOP3SSLSummary = new QLabel(POP3Panel);
    LPOP3AutocheckSummary = new QLabel(POP3Panel);
    // The summary labels carry their names but are filled by code (their
    // language values hold "%s"), so they are not named as translation keys.
    const std::pair<QLabel*, const char*> pop3Labels[] = {
        {LPOP3LoginSummary, "LPOP3LoginSummary"},
        {LPOP3PasswordSummary, "LPOP3PasswordSummary"},
        {LPOP3ServerSummary, "LPOP3ServerSummary"},
        {LPOP3SSLSummary, "LPOP3SSLSummary"},
        {LPOP3AutocheckSummary, "LPOP3AutocheckSummary"}};
    for (const auto& [label, name] : pop3Labels) {
        label->setProperty("controlName", QString::fromLatin1(name));
        label->setTextFormat(Qt::PlainText);
        p->addWidget(label);
    }
    v->addWidget(POP3Panel);
    SMTPPanel = new QWidget(this);
    SMTPPanel->setObjectName(QStringLiteral("SMTPPanel"));
    auto* s = new QVBoxLayout(SMTPPanel);
    s->addWidget(NamedLabel("LSMTPSummary", SMTPPanel, QStringLiteral("SMTP:")));
    LSMTPServerSummary = new QLabel(SMTPPanel);
    LSMTPAuthSummary = new QLabel(SMTPPanel);
    LSMTPLoginSummary = new QLabel(SMTPPanel);
    LSMTPPasswordSummary = new QLabel(SMTPPanel);
    LSMTPSSLSummary = new QLabel(SMTPPanel);
    LSMTPFromAddressSummary = new QLabel(SMTPPanel);
    LSMTPSenderNameSummary = new QLabel(SMTPPanel);
    const std::pair<QLabel*, const char*> smtpLabels[] = {
        {LSMTPServerSummary, "LSMTPServerSummary"},
        {LSMTPAuthSummary, "LSMTPAuthSummary"},
        {LSMTPLoginSummary, "LSMTPLoginSummary"},
        {LSMTPPasswordSummary, "LSMTPPasswordSummary"},
        {LSMTPSSLSummary, "LSMTPSSLSummary"},
        {LSMTPFromAddressSummary, "LSMTPFromAddressSummary"},
        {LSMTPSenderNameSummary, "LSMTPSenderNameSummary"}};
    for (const auto& [label, name] : smtpLabels) {
        label->setProperty("controlName", QString::fromLatin1(name));
        label->setTextFormat(Qt::PlainText);
        s->addWidget(label);
    }
    v->addWidget(SMTPPanel);
    v->addStretch(1);
}

void WizardSummaryPage::LoadPage(MailAccount& a)
{
    const bool sends = a.SendViaThisProgram();
    LSummaryHint->setText(sends ? Tx("LSummarySMTPHint") : Tx("LSummaryNoSMTPHint"));
    SMTPPanel->setVisible(sends);
    LPOP3LoginSummary->setText(TxF("LPOP3LoginSummary", {L(a.Login())}));
    LPOP3PasswordSummary->setText(
        a.UsesOAuth() ? TxF("LOAuthSummary", {ProviderName(a.OAuth().provider)})
                      : TxF("LPOP3PasswordSummary", {Asterisks(a.Password())}));
    LPOP3ServerSummary->setText(
        TxF("LPOP3ServerSummary", {L(a.Server()), QString::number(a.Pop3Port())}));
    LPOP3SSLSummary->setText(
        TxF("LPOP3SSLSummary", {a.Pop3TLS() ? VersionName(a.Pop3SSLVersion()) : Tx("No")}));
    LPOP3AutocheckSummary->setText(TxF("LPOP3AutocheckSummary", {YesNo(a.AutoCheck())}));

    LSMTPServerSummary->setText(
        TxF("LSMTPServerSummary", {L(a.SmtpServer()), QString::number(a.SmtpPort())}));
    LSMTPAuthSummary->setText(TxF("LSMTPAuthSummary", {YesNo(a.SmtpAuthentication())}));
    LSMTPLoginSummary->setText(TxF("LSMTPLoginSummary", {L(a.SmtpLogin())}));
    LSMTPPasswordSummary->setText(
        a.UsesOAuth() ? TxF("LOAuthSummary", {ProviderName(a.OAuth().provider)})
                      : TxF("LSMTPPasswordSummary", {Asterisks(a.SmtpPassword())}));
    LSMTPLoginSummary->setEnabled(a.SmtpAuthentication());
    LSMTPPasswordSummary->setEnabled(a.SmtpAuthentication());
    QString ssl;
    if (a.SmtpTLSMode() == 0)
        ssl = Tx("No");
    else
        ssl = VersionName(a.SmtpSSLVersion()) + QStringLiteral(", ") +
              (a.SmtpTLSMode() == 1 ? Tx("SSLIfPossible") : Tx("SSLRequireAlways"));
    LSMTPSSLSummary->setText(TxF("LSMTPSSLSummary", {ssl}));
    LSMTPFromAddressSummary->setText(TxF("LSMTPFromAddressSummary", {L(a.FromAddress())}));
    LSMTPSenderNameSummary->setText(TxF("LSMTPSenderNameSummary", {L(a.SenderName())}));
}

// ---- the wizard --------------------------------------------------------------

AccountWizard::AccountWizard(QWidget* parent) : TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("AccWizWnd"));
    setWindowTitle(QStringLiteral("New mail account wizard"));
    setModal(true);
    resize(520, 420);

    auto* top = new QVBoxLayout(this);
    PHead = new QWidget(this);
    PHead->setObjectName(QStringLiteral("PHead"));
    PHead->setAutoFillBackground(true);
    QPalette hp = PHead->palette();
    hp.setColor(QPalette::Window, Qt::white);
    PHead->setPalette(hp);
    auto* head = new QHBoxLayout(PHead);
    LHead = new QLabel(PHead);
    LHead->setObjectName(QStringLiteral("LHead"));
    QFont hf = LHead->font();
    hf.setBold(true);
    LHead->setFont(hf);
    head->addWidget(LHead);
    top->addWidget(PHead);

    pop3 = new WizardLoginPage(this);
    pop3Ex = new WizardNamePage(this);
    send = new WizardSendChoicePage(this);
    smtp = new WizardSmtpPage(this);
    smtpEx = new WizardSenderPage(this);
    summary = new WizardSummaryPage(this);
    for (WizardPage* page :
         std::initializer_list<WizardPage*>{pop3, pop3Ex, send, smtp, smtpEx, summary}) {
        pages_.append(page);
        page->hide();
        top->addWidget(page, 1);
    }

    auto* buttons = new QHBoxLayout;
    BPrevious = new QPushButton(QStringLiteral("< Previous"), this);
    BPrevious->setObjectName(QStringLiteral("BPrevious"));
    BNext = new QPushButton(QStringLiteral("Next >"), this);
    BNext->setObjectName(QStringLiteral("BNext"));
    BNext->setDefault(true);
    BFinish = new QPushButton(QStringLiteral("Cancel"), this);
    BFinish->setObjectName(QStringLiteral("BFinish"));
    buttons->addStretch(1);
    buttons->addWidget(BPrevious);
    buttons->addWidget(BNext);
    buttons->addSpacing(12);
    buttons->addWidget(BFinish);
    top->addLayout(buttons);

    // The sign-in fields come and go on step 1: the window follows.
    connect(pop3->GBSignIn, &OAuthSettingsBox::methodChanged, this,
            [this] { QTimer::singleShot(0, this, &AccountWizard::FitContents); });
    connect(pop3->GBSignIn->CBProvider, &QComboBox::activated, this,
            [this] { QTimer::singleShot(0, this, &AccountWizard::FitContents); });
    connect(BNext, &QPushButton::clicked, this, &AccountWizard::BNextClick);
    connect(BPrevious, &QPushButton::clicked, this, &AccountWizard::BPreviousClick);
    connect(BFinish, &QPushButton::clicked, this, &AccountWizard::BFinishClick);
    TranslateWindow(this);
}

AccountWizard::~AccountWizard() = default;

void AccountWizard::Start(AccountsDirectory* owner)
{
    step_ = 1;
    account_ = std::make_unique<MailAccount>(owner);
    account_->SendViaThisProgram() = true;
    Refresh();
}

std::unique_ptr<MailAccount> AccountWizard::TakeAccount()
{
    return std::move(account_);
}

std::unique_ptr<MailAccount> AccountWizard::Run(AccountsDirectory* owner)
{
    Start(owner);
    if (ShowModal() != QDialog::Accepted) {
        account_.reset();
        return nullptr;
    }
    return TakeAccount();
}

void AccountWizard::Refresh()
{
    LHead->setText(TxF("LHead", {QString::number(step_), QStringLiteral("6")}));
    BPrevious->setEnabled(step_ > 1);
    BNext->setEnabled(step_ < 6);
    BFinish->setText(step_ == 6 ? Tx("BFinish") : Tx("BCancel"));
    for (int i = 1; i <= pages_.size(); ++i)
        Page(i)->setVisible(i == step_);
    if (account_)
        Page(step_)->LoadPage(*account_);
    FitContents();
}

void AccountWizard::FitContents()
{
    QLayout* l = layout();
    if (!l)
        return;
    l->activate();
    int need = l->hasHeightForWidth() ? l->totalHeightForWidth(width())
                                      : l->totalMinimumSize().height();
    if (const QScreen* s = screen())
        need = std::min(need, s->availableGeometry().height() - 60);
    if (need > height())
        resize(width(), need);
}

void AccountWizard::BNextClick()
{
    if (step_ >= 6 || !account_)
        return;
    if (!Page(step_)->StorePage(*account_))
        return;
    if (step_ == 3 && !account_->SendViaThisProgram())
        step_ = 6;
    else
        ++step_;
    Refresh();
}

void AccountWizard::BPreviousClick()
{
    if (step_ <= 1 || !account_)
        return;
    if (step_ == 6 && !account_->SendViaThisProgram())
        step_ = 3;
    else
        --step_;
    Refresh();
}

void AccountWizard::BFinishClick()
{
    if (step_ == 6) {
        accept();
        return;
    }
    if (AskYesNo(Tx("WantsToCancel")))
        reject();
}

void AccountWizard::reject()
{
    TranslatedWindow::reject();
}

} // namespace vm
