#include "ui/accounts/SmtpWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/Messages.h"
#include "lang/Lang.h"
#include "model/MailAccount.h"
#include "ui/common/FormParts.h"

namespace vm {

namespace {

QByteArray Bytes(const QString& s)
{
    return s.toLocal8Bit();
}

QString Text(const QByteArray& b)
{
    return QString::fromLocal8Bit(b);
}

} // namespace

SmtpWindow::SmtpWindow(QWidget* parent) : TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("SMTPWnd"));
    // Until an account is loaded (which names it in the caption).
    const QString title = LangText(QStringLiteral("SMTPWnd"), QStringLiteral("SMTPSettings"));
    setWindowTitle(title.isEmpty() ? QStringLiteral("SMTP settings") : title);
    setModal(true);

    auto* top = new QVBoxLayout(this);
    PGC = new QTabWidget(this);
    PGC->setObjectName(QStringLiteral("PGC"));
    top->addWidget(PGC);
    TSAccount = new QWidget;
    TSAccount->setObjectName(QStringLiteral("TSAccount"));
    PGC->addTab(TSAccount, QStringLiteral("SMTP"));
    auto* page = new QVBoxLayout(TSAccount);

    GBServer = new QGroupBox(QStringLiteral("Account"), TSAccount);
    GBServer->setObjectName(QStringLiteral("GBServer"));
    auto* f1 = new QFormLayout(GBServer);
    AddLoginRows(f1, GBServer, ELogin, EPassword, false);
    EFromAddress = new QLineEdit(GBServer);
    EFromAddress->setObjectName(QStringLiteral("EFromAddress"));
    EReplyToAddress = new QLineEdit(GBServer);
    EReplyToAddress->setObjectName(QStringLiteral("EReplyToAddress"));
    EName = new QLineEdit(GBServer);
    EName->setObjectName(QStringLiteral("EName"));
    f1->addRow(NamedLabel("LFromAddress", QStringLiteral("From address:"), GBServer, false),
               EFromAddress);
    f1->addRow(NamedLabel("LReplyToAddress", QStringLiteral("Reply-to address:"), GBServer, false),
               EReplyToAddress);
    f1->addRow(NamedLabel("LSenderName", QStringLiteral("Sender's name:"), GBServer, false), EName);
    page->addWidget(GBServer);

    GBServerAndConnection = new QGroupBox(QStringLiteral("Server and connection"), TSAccount);
    GBServerAndConnection->setObjectName(QStringLiteral("GBServerAndConnection"));
    auto* f2 = new QFormLayout(GBServerAndConnection);
    EServer = new QLineEdit(GBServerAndConnection);
    EServer->setObjectName(QStringLiteral("EServer"));
    EPort = new QComboBox(GBServerAndConnection);
    EPort->setObjectName(QStringLiteral("EPort"));
    EPort->setEditable(true);
    EPort->addItems({QStringLiteral("25"), QStringLiteral("465"), QStringLiteral("587")});
    EPort->setEditText(QStringLiteral("25"));
    LPortHint = NamedLabel("LPortHint", QString(), GBServerAndConnection, false);
    CBServerRequiresAuth =
        new QCheckBox(QStringLiteral("Server requires authorization"), GBServerAndConnection);
    CBServerRequiresAuth->setObjectName(QStringLiteral("CBServerRequiresAuth"));
    CBRequireSSL = new QComboBox(GBServerAndConnection);
    CBRequireSSL->setObjectName(QStringLiteral("CBRequireSSL"));
    CBRequireSSL->addItems({QStringLiteral("Never"), QStringLiteral("When possible"),
                            QStringLiteral("Require always")});
    CBSSLVersion = SslVersionList("CBSSLVersion", GBServerAndConnection);
    LSecurityHint = NamedLabel("LSecurityHint", QString(), GBServerAndConnection);
    f2->addRow(NamedLabel("LServer", QStringLiteral("Server:"), GBServerAndConnection, false),
               EServer);
    f2->addRow(NamedLabel("LPort", QStringLiteral("Port*:"), GBServerAndConnection, false), EPort);
    f2->addRow(LPortHint);
    f2->addRow(CBServerRequiresAuth);
    auto* sslRow = new QHBoxLayout;
    sslRow->addWidget(CBRequireSSL, 1);
    sslRow->addWidget(CBSSLVersion, 1);
    f2->addRow(NamedLabel("LRequireSSL", QStringLiteral("TLS/SSL:"), GBServerAndConnection, false),
               sslRow);
    LTLSInUse = TlsNoteLabel("LTLSInUse", GBServerAndConnection);
    f2->addRow(LTLSInUse);
    f2->addRow(LSecurityHint);
    page->addWidget(GBServerAndConnection);

    AddOkCancelRow(top, this, BOK, BCancel);

    connect(BOK, &QPushButton::clicked, this, &SmtpWindow::BOKClick);
    connect(BCancel, &QPushButton::clicked, this, &SmtpWindow::reject);
    connect(CBRequireSSL, &QComboBox::currentIndexChanged, this, [this] { ApplySslRule(); });
    // The port of SMTP over TLS means TLS: "Require always" when it was off.
    OnPortChosen(EPort, [this](int port) {
        if (port == kSmtpTlsPort && CBRequireSSL->currentIndex() == 0)
            CBRequireSSL->setCurrentIndex(2);
        ApplySslRule();
    });
    ApplySslRule();
    TranslateWindow(this);
}

void SmtpWindow::ApplySslRule()
{
    const int i = CBRequireSSL->currentIndex();
    CBSSLVersion->setEnabled(i == 1 || i == 2);
    int port = -1;
    if (!ParsePort(EPort->currentText(), port))
        port = -1;
    LTLSInUse->setText(SmtpTlsNote(i, port));
}

void SmtpWindow::LoadFromAccount(const MailAccount& a)
{
    Values v;
    v.login = Text(a.SmtpLogin());
    v.password = Text(a.SmtpPassword());
    v.from = Text(a.FromAddress());
    v.replyTo = Text(a.ReplyToAddress());
    v.name = Text(a.SenderName());
    v.server = Text(a.SmtpServer());
    v.port = QString::number(a.SmtpPort());
    v.auth = a.SmtpAuthentication();
    v.tls = a.SmtpTLSMode() <= 2 ? a.SmtpTLSMode() : 0;
    v.ssl = a.SmtpSSLVersion() <= 3 ? a.SmtpSSLVersion() : 3;
    Apply(v);
    snapshot_ = v;
}

SmtpWindow::Values SmtpWindow::Capture() const
{
    Values v;
    v.login = ELogin->text();
    v.password = EPassword->text();
    v.from = EFromAddress->text();
    v.replyTo = EReplyToAddress->text();
    v.name = EName->text();
    v.server = EServer->text();
    v.port = EPort->currentText();
    v.auth = CBServerRequiresAuth->isChecked();
    v.tls = CBRequireSSL->currentIndex();
    v.ssl = CBSSLVersion->currentIndex();
    return v;
}

void SmtpWindow::Apply(const Values& v)
{
    ELogin->setText(v.login);
    EPassword->setText(v.password);
    EFromAddress->setText(v.from);
    EReplyToAddress->setText(v.replyTo);
    EName->setText(v.name);
    EServer->setText(v.server);
    EPort->setEditText(v.port);
    CBServerRequiresAuth->setChecked(v.auth);
    CBRequireSSL->setCurrentIndex(v.tls);
    CBSSLVersion->setCurrentIndex(v.ssl);
    ApplySslRule();
}

bool SmtpWindow::MeetsSendingRequirements() const
{
    return (!ELogin->text().isEmpty() || !CBServerRequiresAuth->isChecked()) &&
           !EServer->text().trimmed().isEmpty() && !EPort->currentText().trimmed().isEmpty() &&
           !EFromAddress->text().trimmed().isEmpty();
}

bool SmtpWindow::WriteToAccount(MailAccount& a) const
{
    int port = 0;
    if (!ParsePort(EPort->currentText(), port))
        return false;
    a.SmtpLogin() = Bytes(ELogin->text());
    a.SmtpPassword() = Bytes(EPassword->text());
    a.FromAddress() = Bytes(EFromAddress->text().trimmed());
    a.ReplyToAddress() = Bytes(EReplyToAddress->text().trimmed());
    a.SenderName() = Bytes(EName->text().trimmed());
    a.SmtpAuthentication() = CBServerRequiresAuth->isChecked();
    a.SmtpServer() = Bytes(EServer->text().trimmed());
    a.SmtpPort() = static_cast<std::uint16_t>(port);
    const int tls = CBRequireSSL->currentIndex();
    a.SmtpTLSMode() = static_cast<std::uint8_t>(tls == 1 || tls == 2 ? tls : 0);
    const int ssl = CBSSLVersion->currentIndex();
    a.SmtpSSLVersion() = static_cast<std::uint8_t>(ssl >= 0 && ssl <= 2 ? ssl : 3);
    return true;
}

void SmtpWindow::showEvent(QShowEvent* event)
{
    TranslatedWindow::showEvent(event);
    const QString name = accountName.trimmed();
    setWindowTitle(
        name.isEmpty()
            ? LangText(QStringLiteral("SMTPWnd"), QStringLiteral("SMTPSettings"))
            : LangFormat(QStringLiteral("SMTPWnd"), QStringLiteral("SMTPSettingsAcc"), {name}));
    PGC->setCurrentWidget(TSAccount);
    ELogin->setFocus();
    snapshot_ = Capture();
}

void SmtpWindow::BOKClick()
{
    if (!CheckCredentialFields({ELogin, EPassword}, PGC, TSAccount))
        return;
    int port = 0;
    if (!CheckPortField(EPort,
                        LangText(QStringLiteral("SMTPWnd"), QStringLiteral("InvalidSMTPPort")),
                        QStringLiteral("25"), port))
        return;
    accept();
}

void SmtpWindow::reject()
{
    Apply(snapshot_);
    TranslatedWindow::reject();
}

} // namespace vm
