// TLS of the transport against a real Dovecot POP3S / STLS server with a
// certificate from the test CA, and the user's trust file.

#include "net/TlsTrust.h"
#include "net/Transport.h"
#include "support/DovecotSuite.h"
#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace vm;

using vm::TlsMode;
using vm::Transport;
using vm::test::DovecotSuite;

namespace {

class TlsTest : public DovecotSuite
{
protected:
    void SetUp() override
    {
        DovecotSuite::SetUp();
        if (IsSkipped())
            return;
        vm::SetTrustFilePath(trustDir.path() + "/certificates.ini");
        vm::SetTrustedCaCertificates({server->CaCertificate()});
        t.SetTlsMode(TlsMode::Implicit);
        t.SetConnectTimeoutMs(10000);
    }
    void TearDown() override
    {
        vm::ResetTrustedCaCertificates();
        vm::SetTrustFilePath({});
    }

    QTemporaryDir trustDir;
    Transport t;
};

TEST_F(TlsTest, ImplicitTlsWithTrustedCa)
{
    for (int version = 0; version <= 3; ++version) {
        t.SetSslVersion(version);
        t.Connect(QStringLiteral("localhost"), server->Pop3sPort());
        EXPECT_TRUE(t.Encrypted());
        EXPECT_TRUE(t.ReadReplyLine().startsWith("+OK"));
        EXPECT_EQ(t.PeerFingerprint(), server->ServerFingerprint());
        t.Close();
    }
}

TEST_F(TlsTest, UntrustedCertificateIsRefusedNamingFingerprintThenTrustFileAcceptsIt)
{
    vm::ResetTrustedCaCertificates(); // system store only: the test CA is unknown
    try {
        t.Connect(QStringLiteral("localhost"), server->Pop3sPort());
        FAIL() << "connected to a server with an unknown CA";
    } catch (const CertificateError& e) {
        EXPECT_EQ(e.fingerprint, server->ServerFingerprint());
        EXPECT_TRUE(e.Message().contains(server->ServerFingerprint()));
        EXPECT_FALSE(e.reasons.isEmpty());
        EXPECT_EQ(e.port, server->Pop3sPort());
    }
    EXPECT_FALSE(t.Connected());

    // Trusted for another port only: still refused.
    ASSERT_TRUE(vm::AddTrustedCertificate("localhost", server->Pop3sPort() + 1,
                                          server->ServerFingerprint()));
    EXPECT_THROW(t.Connect(QStringLiteral("localhost"), server->Pop3sPort()),
                 CertificateError);

    // Lower-case fingerprint without colons, host in capitals: accepted.
    QString plain = server->ServerFingerprint().remove(':').toLower();
    ASSERT_TRUE(vm::AddTrustedCertificate("LOCALHOST", server->Pop3sPort(), plain));
    t.Connect(QStringLiteral("localhost"), server->Pop3sPort());
    EXPECT_TRUE(t.ReadReplyLine().startsWith("+OK"));
}

TEST_F(TlsTest, WrongHostNameIsRefused)
{
    // The certificate names "localhost" only.
    try {
        t.Connect(QStringLiteral("127.0.0.1"), server->Pop3sPort());
        FAIL() << "accepted a certificate for another host name";
    } catch (const CertificateError& e) {
        EXPECT_TRUE(e.Message().contains("host name", Qt::CaseInsensitive))
            << e.Message().toStdString();
    }
}

TEST_F(TlsTest, StartTlsUpgradesPlainConnection)
{
    t.SetTlsMode(TlsMode::None);
    t.Connect(QStringLiteral("localhost"), server->Pop3Port());
    EXPECT_FALSE(t.Encrypted());
    EXPECT_TRUE(t.ReadReplyLine().startsWith("+OK"));
    t.WriteLine("STLS");
    EXPECT_TRUE(t.ReadReplyLine().startsWith("+OK"));
    t.StartTls();
    EXPECT_TRUE(t.Encrypted());
    t.WriteLine("CAPA");
    EXPECT_TRUE(t.ReadReplyLine().startsWith("+OK"));
    const QList<QByteArray> caps = t.ReadMultiLine();
    EXPECT_TRUE(caps.contains("USER"));
    EXPECT_FALSE(caps.contains("STLS")); // not offered again once encrypted
}

TEST(TrustFile, FingerprintSpellingsAndReplacement)
{
    const QString fp(64, 'a');
    EXPECT_EQ(vm::NormalizeFingerprint(fp).size(), 95);
    EXPECT_TRUE(vm::NormalizeFingerprint(fp).startsWith("AA:AA:"));
    EXPECT_TRUE(vm::NormalizeFingerprint("zz").isEmpty());
    EXPECT_TRUE(vm::NormalizeFingerprint(QString(62, 'a')).isEmpty());

    QTemporaryDir dir;
    vm::SetTrustFilePath(dir.path() + "/certificates.ini");
    EXPECT_FALSE(vm::IsCertificateTrusted("mail.example.com", 995, fp));
    EXPECT_FALSE(vm::AddTrustedCertificate("mail.example.com", 995, "not a fingerprint"));
    ASSERT_TRUE(vm::AddTrustedCertificate("mail.example.com", 995, fp));
    ASSERT_TRUE(vm::AddTrustedCertificate("other.example.com", 995, QString(64, 'b')));
    EXPECT_TRUE(vm::IsCertificateTrusted("Mail.Example.com", 995, fp));
    EXPECT_FALSE(vm::IsCertificateTrusted("mail.example.com", 110, fp));
    // A new certificate for the same host and port replaces the old entry.
    ASSERT_TRUE(vm::AddTrustedCertificate("mail.example.com", 995, QString(64, 'c')));
    EXPECT_FALSE(vm::IsCertificateTrusted("mail.example.com", 995, fp));
    EXPECT_TRUE(vm::IsCertificateTrusted("mail.example.com", 995, QString(64, 'c')));
    EXPECT_TRUE(vm::IsCertificateTrusted("other.example.com", 995, QString(64, 'b')));
    vm::SetTrustFilePath({});
}

} // namespace
