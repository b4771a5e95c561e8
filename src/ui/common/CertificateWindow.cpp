#include "ui/common/CertificateWindow.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSslCertificate>
#include <QVBoxLayout>

#include "core/Messages.h"
#include "core/AppInfo.h"
#include "net/TlsTrust.h"
#include "ops/ErrorList.h"

namespace vm {

namespace {

QSslCertificate CertificateOf(const vm::CertificateFailure& f)
{
    if (f.certificateDer.isEmpty())
        return QSslCertificate();
    return QSslCertificate(f.certificateDer, QSsl::Der);
}

QString NameText(const QSslCertificate& cert, bool issuer)
{
    const QString dn = issuer ? cert.issuerDisplayName() : cert.subjectDisplayName();
    QStringList parts;
    const auto attrs = issuer ? cert.issuerInfoAttributes() : cert.subjectInfoAttributes();
    for (const QByteArray& attr : attrs) {
        const QStringList values = issuer ? cert.issuerInfo(attr) : cert.subjectInfo(attr);
        parts.append(QString::fromLatin1(attr) + '=' + values.join(QStringLiteral(", ")));
    }
    if (parts.isEmpty())
        return dn;
    return parts.join(QStringLiteral(", "));
}

} // namespace

namespace {
// The window's texts come from its language section, with the English text
// when a language file lacks the key.
QString T(const char* key, const char* english, const QStringList& args = {})
{
    return vm::TextOr("CERTIFICATEWND", key, english, args);
}
} // namespace

CertificateWindow::CertificateWindow(const vm::CertificateFailure& failure, QWidget* parent)
    : QDialog(parent), failure_(failure)
{
    setObjectName(QStringLiteral("CertificateWnd"));
    setWindowTitle(T("Caption", "Server certificate - %s", {vm::AppInfo::Instance().ProductName()}));
    auto* layout = new QVBoxLayout(this);
    LState = new QLabel(this);
    LState->setObjectName(QStringLiteral("LState"));
    LState->setWordWrap(true);
    layout->addWidget(LState);
    MDetails = new QPlainTextEdit(Describe(failure_), this);
    MDetails->setObjectName(QStringLiteral("MDetails"));
    MDetails->setReadOnly(true);
    MDetails->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    layout->addWidget(MDetails, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    BTrust = new QPushButton(this);
    BTrust->setObjectName(QStringLiteral("BTrust"));
    buttons->addWidget(BTrust);
    BClose = new QPushButton(T("BClose", "Close"), this);
    BClose->setObjectName(QStringLiteral("BClose"));
    BClose->setDefault(true);
    buttons->addWidget(BClose);
    layout->addLayout(buttons);
    connect(BClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(BTrust, &QPushButton::clicked, this, [this] {
        if (Trust())
            accept();
        else
            vm::ShowError(T("TrustFailed",
                            "The certificate could not be added to the list of trusted "
                            "certificates (%s).",
                            {vm::TrustFilePath()}));
    });
    UpdateState();
    resize(620, 380);
}

QString CertificateWindow::FingerprintOf(const vm::CertificateFailure& failure)
{
    const QSslCertificate cert = CertificateOf(failure);
    if (!cert.isNull())
        return vm::CertificateFingerprint(cert);
    return vm::NormalizeFingerprint(failure.fingerprint);
}

CertificateWindow::TrustState CertificateWindow::StateOf(const vm::CertificateFailure& failure)
{
    const QString trusted = vm::TrustedFingerprint(failure.host, failure.port);
    if (trusted.isEmpty())
        return TrustState::NotTrusted;
    return trusted == FingerprintOf(failure) ? TrustState::Trusted : TrustState::Changed;
}

QString CertificateWindow::Describe(const vm::CertificateFailure& f)
{
    QStringList lines;
    lines << T("Server", "Server: %s", {QStringLiteral("%1:%2").arg(f.host).arg(f.port)});
    if (!f.accountName.isEmpty())
        lines << T("Account", "Account: %s", {f.accountName});
    const QSslCertificate cert = CertificateOf(f);
    if (!cert.isNull()) {
        lines << T("IssuedTo", "Issued to: %s", {NameText(cert, false)});
        lines << T("IssuedBy", "Issued by: %s", {NameText(cert, true)});
        const QString from = cert.effectiveDate().toUTC().toString(Qt::ISODate);
        const QString until = cert.expiryDate().toUTC().toString(Qt::ISODate);
        lines << T("Validity", "Valid from %s until %s", {from, until});
        const QStringList names = cert.subjectAlternativeNames().values(QSsl::DnsEntry);
        if (!names.isEmpty())
            lines << T("HostNames", "Host names: %s", {names.join(QStringLiteral(", "))});
    } else {
        lines << T("NoCertificate", "The server's certificate itself is not available.");
    }
    const QString fp = FingerprintOf(f);
    lines << T("Fingerprint", "SHA-256 fingerprint: %s", {fp.isEmpty() ? T("Unknown", "unknown") : fp});
    if (!f.reasons.isEmpty())
        lines << T("Reasons", "Refused because: %s", {f.reasons.join(QStringLiteral("; "))});
    return lines.join('\n');
}

void CertificateWindow::UpdateState()
{
    state_ = StateOf(failure_);
    const QString server = QStringLiteral("%1:%2").arg(failure_.host).arg(failure_.port);
    switch (state_) {
    case TrustState::NotTrusted:
        LState->setText(T("NotTrusted",
                          "The certificate of %s could not be verified. Trust it only when you "
                          "know it is the server's own certificate (compare the fingerprint "
                          "with the one your provider publishes).",
                          {server}));
        BTrust->setText(T("BTrust", "Trust this certificate"));
        break;
    case TrustState::Changed:
        LState->setText(
            T("Changed",
              "WARNING: the certificate of %s has CHANGED since you chose to trust it. The "
              "certificate trusted so far has the fingerprint %s. Trust the new one only when "
              "you know why it changed; someone may be intercepting the connection.",
              {server, vm::TrustedFingerprint(failure_.host, failure_.port)}));
        BTrust->setText(T("BTrustNew", "Trust the new certificate"));
        break;
    case TrustState::Trusted:
        LState->setText(T("Trusted", "This certificate is trusted for %s. Check mail again to use it.",
                          {server}));
        BTrust->setText(T("BTrust", "Trust this certificate"));
        break;
    }
    BTrust->setEnabled(state_ != TrustState::Trusted && !FingerprintOf(failure_).isEmpty());
}

bool CertificateWindow::Trust()
{
    const QString fp = FingerprintOf(failure_);
    if (fp.isEmpty() || failure_.host.trimmed().isEmpty())
        return false;
    const bool ok = vm::AddTrustedCertificate(failure_.host, failure_.port, fp);
    UpdateState();
    return ok;
}

} // namespace vm
