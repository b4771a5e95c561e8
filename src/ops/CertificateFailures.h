#pragma once
// The server certificates that failed verification during the last network
// operation. The worker records each refused certificate where it catches
// the error; after the operation the error window reads the record and
// offers to show a certificate and to trust exactly it for its host and
// port. Each operation's starter clears the record together with the error
// list. Thread-safe.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace vm {

class CertificateError;

struct CertificateFailure
{
    QString accountName;
    QString host;
    quint16 port = 0;
    QStringList reasons;
    QString fingerprint;       // SHA-256, "AB:CD:..." form
    QByteArray certificateDer; // may be empty
};

void ClearCertificateFailures();
// Adds a failure; one for the same host and port replaces the earlier one.
void RecordCertificateFailure(const CertificateFailure& failure);
void RecordCertificateFailure(const QString& accountName, const CertificateError& error);
QList<CertificateFailure> CertificateFailures();

} // namespace vm
