#pragma once
// Certificates for TLS tests, made with the openssl command at test time in
// a temporary directory (nothing secret is ever committed): a test CA and a
// server certificate it signed, for the names "localhost" only, so a client
// that connects by "127.0.0.1" sees a host name mismatch.

#include <QSslCertificate>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace vm::test {

class TestPki
{
public:
    // Generates the files; Ok() tells whether it worked (Error() says why).
    TestPki();
    bool Ok() const { return ok_; }
    QString Error() const { return error_; }
    QString Dir() const { return dir_->path(); }
    QString CaCertPath() const { return Dir() + "/ca.pem"; }
    QString ServerCertPath() const { return Dir() + "/server.pem"; }
    QString ServerKeyPath() const { return Dir() + "/server.key"; }
    QSslCertificate CaCertificate() const;
    QSslCertificate ServerCertificate() const;

    // One shared instance per test program (generating keys takes a moment).
    static TestPki& Shared();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    bool ok_ = false;
    QString error_;
};

// Creates the QCoreApplication the event loops and sockets of the tests need
// (once per process, on the calling thread).
void EnsureCoreApp();

} // namespace vm::test
