#include "net/NetErrors.h"

namespace vm {

NetworkError::NetworkError(const QString& message) : message_(message), utf8_(message.toUtf8())
{
}

NetworkError::~NetworkError() = default;

static QString CertificateMessage(const QString& host, quint16 port, const QStringList& reasons,
                                  const QString& fingerprint)
{
    return QStringLiteral("The certificate of %1:%2 was not accepted (%3). SHA-256 fingerprint: %4")
        .arg(host)
        .arg(port)
        .arg(reasons.isEmpty() ? QStringLiteral("verification failed")
                               : reasons.join(QStringLiteral("; ")))
        .arg(fingerprint.isEmpty() ? QStringLiteral("unknown") : fingerprint);
}

CertificateError::CertificateError(const QString& h, quint16 p, const QStringList& r,
                                               const QString& f)
    : TlsError(CertificateMessage(h, p, r, f)), host(h), port(p), reasons(r), fingerprint(f)
{
}

} // namespace vm
