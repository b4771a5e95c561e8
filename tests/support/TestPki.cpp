#include "support/TestPki.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

namespace vm::test {

namespace {

bool RunOpenssl(const QString& dir, const QStringList& args, QString& error)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error = QStringLiteral("openssl %1 failed: %2")
                    .arg(args.join(' '), QString::fromLocal8Bit(p.readAllStandardError()));
        return false;
    }
    return true;
}

QSslCertificate Load(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QSslCertificate();
    return QSslCertificate(f.readAll(), QSsl::Pem);
}

} // namespace

TestPki::TestPki() : dir_(std::make_unique<QTemporaryDir>())
{
    const QString d = dir_->path();
    {
        QFile ext(d + "/server.ext");
        ext.open(QIODevice::WriteOnly);
        ext.write("basicConstraints=CA:FALSE\n"
                  "keyUsage=digitalSignature,keyEncipherment\n"
                  "extendedKeyUsage=serverAuth\n"
                  "subjectAltName=DNS:localhost\n");
    }
    ok_ = RunOpenssl(d,
                     {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out",
                      "ca.pem", "-days", "30", "-subj", "/CN=Velmora Test CA", "-addext",
                      "basicConstraints=critical,CA:TRUE", "-addext",
                      "keyUsage=critical,keyCertSign,cRLSign"},
                     error_) &&
          RunOpenssl(d,
                     {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out",
                      "server.csr", "-subj", "/CN=localhost"},
                     error_) &&
          RunOpenssl(d,
                     {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                      "-CAcreateserial", "-out", "server.pem", "-days", "30", "-extfile",
                      "server.ext"},
                     error_);
}

QSslCertificate TestPki::CaCertificate() const
{
    return Load(CaCertPath());
}

QSslCertificate TestPki::ServerCertificate() const
{
    return Load(ServerCertPath());
}

TestPki& TestPki::Shared()
{
    static TestPki* pki = new TestPki; // lives until the process ends
    return *pki;
}

void EnsureCoreApp()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "velmora-test";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives until the process ends
}

} // namespace vm::test
