#pragma once
// Shows a server certificate that failed verification (who it was issued
// to and by, when it is valid, its SHA-256 fingerprint, why it was refused)
// and lets the user trust exactly that certificate for that host and port.
// When another certificate is already trusted for the server, the window
// says that the certificate has changed; nothing is trusted without the
// user pressing the button.

#include <QDialog>

#include "ops/CertificateFailures.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vm {


class CertificateWindow : public QDialog
{
    Q_OBJECT
public:
    explicit CertificateWindow(const vm::CertificateFailure& failure, QWidget* parent = nullptr);

    enum class TrustState {
        NotTrusted, // no certificate is trusted for this host and port
        Changed,    // another certificate is trusted for it
        Trusted,    // this very certificate is trusted (e.g. just now)
    };
    // The fingerprint of the certificate shown: computed from the
    // certificate itself when the failure carries it.
    static QString FingerprintOf(const vm::CertificateFailure& failure);
    static TrustState StateOf(const vm::CertificateFailure& failure);
    // The description: server, subject, issuer, validity, fingerprint and
    // the reasons it was refused.
    static QString Describe(const vm::CertificateFailure& failure);

    // Trusts the certificate for its host and port; false when the trust
    // file could not be written or no fingerprint is known.
    bool Trust();
    TrustState State() const { return state_; }

    QLabel* LState = nullptr;
    QPlainTextEdit* MDetails = nullptr;
    QPushButton* BTrust = nullptr;
    QPushButton* BClose = nullptr;

private:
    void UpdateState();

    vm::CertificateFailure failure_;
    TrustState state_ = TrustState::NotTrusted;
};

} // namespace vm
