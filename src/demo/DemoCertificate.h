#pragma once
// A self-signed certificate and key for the demo servers, made at start
// (nothing secret is stored anywhere): an EC P-256 key, valid for a week
// from a day ago, for "localhost" and 127.0.0.1.

#include <QSslCertificate>
#include <QSslKey>

namespace vm {

struct DemoCertificate
{
    QSslCertificate certificate;
    QSslKey key;
    bool IsNull() const { return certificate.isNull() || key.isNull(); }
};

// A null result when the TLS library failed.
DemoCertificate MakeDemoCertificate();

} // namespace vm
