#include "ops/CertificateFailures.h"

#include <QMutex>

#include "net/NetErrors.h"

namespace vm {

namespace {

QMutex g_mutex;
QList<CertificateFailure> g_failures;

} // namespace

void ClearCertificateFailures()
{
    QMutexLocker lock(&g_mutex);
    g_failures.clear();
}

void RecordCertificateFailure(const CertificateFailure& failure)
{
    QMutexLocker lock(&g_mutex);
    for (CertificateFailure& f : g_failures) {
        if (f.host.compare(failure.host, Qt::CaseInsensitive) == 0 && f.port == failure.port) {
            f = failure;
            return;
        }
    }
    g_failures.append(failure);
}

void RecordCertificateFailure(const QString& accountName, const CertificateError& error)
{
    RecordCertificateFailure(CertificateFailure{accountName, error.host, error.port, error.reasons,
                                                error.fingerprint, error.certificateDer});
}

QList<CertificateFailure> CertificateFailures()
{
    QMutexLocker lock(&g_mutex);
    return g_failures;
}

} // namespace vm
