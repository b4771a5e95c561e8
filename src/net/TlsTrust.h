#pragma once
// What decides whether a server's certificate is accepted: the set of
// certificate authorities (the system trust store unless replaced, e.g. by
// tests), the host name, and the user's own list of certificates trusted for
// one host and port, kept in the data directory as "certificates.ini":
//
//   [Certificates]
//   mail.example.com:995 = 3A:7F:...:C2
//
// Each value is the SHA-256 fingerprint of the certificate (hex, colons and
// letter case optional). A matching certificate is accepted even when it is
// self-signed or names another host; no other certificate is.

#include <QList>
#include <QSsl>
#include <QSslCertificate>
#include <QString>

namespace vm {

// The stored SSL version indexes 0..3 ("SSL 2.0", "SSL 2.3", "SSL 3.0",
// "TLS/SSL 1.0") keep their meaning in files and windows; every one of them
// negotiates TLS 1.2 or later, the oldest protocols the TLS library offers.
QSsl::SslProtocol TlsProtocolForVersionIndex(int index);

// SHA-256 of the DER form, upper-case hex pairs joined by ':'.
QString CertificateFingerprint(const QSslCertificate& certificate);
// Any spelling of a SHA-256 fingerprint in the canonical form above; empty
// when the text is not 32 hex bytes.
QString NormalizeFingerprint(const QString& text);

// Certificate authorities servers are verified against. Without a call to
// SetTrustedCaCertificates these are the system's. Thread-safe.
QList<QSslCertificate> TrustedCaCertificates();
void SetTrustedCaCertificates(const QList<QSslCertificate>& certificates);
void ResetTrustedCaCertificates();

// The trust file; by default "certificates.ini" in the data directory.
// An empty path restores the default.
QString TrustFilePath();
void SetTrustFilePath(const QString& path);

// True when the trust file lists this fingerprint for host:port (host
// compared without regard to letter case).
bool IsCertificateTrusted(const QString& host, quint16 port, const QString& fingerprint);
// The fingerprint the trust file lists for host:port (canonical form), or
// an empty text when none is listed. Lets a window tell a changed
// certificate of a trusted server from one never trusted.
QString TrustedFingerprint(const QString& host, quint16 port);
// Adds or replaces the entry for host:port; the file is written whole to a
// temporary file and renamed, so a failed write keeps the old file. False
// when the fingerprint is malformed or the file cannot be written.
bool AddTrustedCertificate(const QString& host, quint16 port, const QString& fingerprint);

} // namespace vm
