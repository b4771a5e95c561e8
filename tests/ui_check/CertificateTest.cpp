// A check that fails on an untrusted certificate offers it in the error
// window; trusting it lets the next check through; a changed certificate is
// shown as changed and not accepted on its own.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "config/Settings.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "net/TlsTrust.h"
#include "ops/CertificateFailures.h"
#include "ops/ErrorList.h"
#include "support/DovecotFixture.h"
#include "support/TestPki.h"
#include "ui/common/CertificateWindow.h"
#include "ui_check/CheckTestSupport.h"

using namespace vm;
using namespace vm::test;

namespace {

class CertificateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureGuiApp();
        AppSettings() = Settings();
        Accounts().Clear();
        ClearErrorList();
        ClearCertificateFailures();
        QFile::remove(TrustFilePath());
        SetMessageService(&messages);
    }
    void TearDown() override
    {
        SetMessageService(nullptr);
        Accounts().Clear();
        QFile::remove(TrustFilePath());
    }
    RecordingMessageService messages;
};

} // namespace

TEST_F(CertificateTest, UntrustedServerIsOfferedAndTrustingItLetsTheNextCheckThrough)
{
    if (!DovecotFixture::Available())
        GTEST_SKIP() << "dovecot not installed";
    DovecotFixture dc;
    ASSERT_TRUE(dc.Start()) << dc.LastError().toStdString();
    dc.AddUser("bob", "secret");
    dc.Deliver("bob", "From: a@b\r\nSubject: x\r\n\r\nbody\r\n");
    // The system store does not know the test CA: the certificate is refused.
    MailAccount* a = AddAccount("bob", "secret", dc.Pop3sPort());
    a->Pop3TLS() = true;
    CheckRig rig;
    rig.window.selectedAccounts = {a};
    rig.window.show();

    rig.commands->popTreeCheckMailClick();
    ASSERT_TRUE(rig.errorWindow->isVisible());
    EXPECT_TRUE(rig.errorWindow->MErrors->toPlainText().contains("CertificateError"));
    EXPECT_TRUE(rig.errorWindow->BCertificate->isVisibleTo(rig.errorWindow.get()));
    const QList<CertificateFailure> failures = CertificateFailures();
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures[0].port, dc.Pop3sPort());
    EXPECT_FALSE(failures[0].certificateDer.isEmpty());

    CertificateWindow wnd(failures[0]);
    EXPECT_EQ(wnd.State(), CertificateWindow::TrustState::NotTrusted);
    EXPECT_EQ(CertificateWindow::FingerprintOf(failures[0]), dc.ServerFingerprint());
    const QString text = wnd.MDetails->toPlainText();
    EXPECT_TRUE(text.contains(dc.ServerFingerprint()));
    EXPECT_TRUE(text.contains("Issued to:"));
    EXPECT_TRUE(text.contains("Issued by:"));
    EXPECT_TRUE(text.contains("Valid from"));
    ASSERT_TRUE(wnd.Trust());
    EXPECT_EQ(wnd.State(), CertificateWindow::TrustState::Trusted);
    // Exactly this certificate, for exactly this host and port.
    EXPECT_TRUE(IsCertificateTrusted(failures[0].host, dc.Pop3sPort(), dc.ServerFingerprint()));
    EXPECT_FALSE(IsCertificateTrusted(failures[0].host, dc.Pop3Port(), dc.ServerFingerprint()));

    rig.errorWindow->close();
    rig.commands->popTreeCheckMailClick();
    EXPECT_FALSE(rig.errorWindow->isVisible());
    EXPECT_EQ(a->Box().Count(), 1);
    EXPECT_TRUE(CertificateFailures().isEmpty());
}

TEST_F(CertificateTest, ChangedCertificateIsShownAsChangedAndNotAccepted)
{
    TestPki& pki = TestPki::Shared();
    ASSERT_TRUE(pki.Ok()) << pki.Error().toStdString();
    // The CA certificate stands in for the server's earlier certificate.
    ASSERT_TRUE(AddTrustedCertificate("mail.example.org", 995,
                                      CertificateFingerprint(pki.CaCertificate())));
    CertificateFailure f;
    f.host = "mail.example.org";
    f.port = 995;
    f.reasons = {"The certificate is self-signed, and untrusted"};
    f.certificateDer = pki.ServerCertificate().toDer();
    f.fingerprint = CertificateFingerprint(pki.ServerCertificate());

    CertificateWindow wnd(f);
    EXPECT_EQ(wnd.State(), CertificateWindow::TrustState::Changed);
    EXPECT_TRUE(wnd.LState->text().contains("CHANGED"));
    EXPECT_TRUE(wnd.LState->text().contains(CertificateFingerprint(pki.CaCertificate())));
    // Closing the window trusts nothing.
    wnd.BClose->click();
    EXPECT_FALSE(IsCertificateTrusted(f.host, f.port, f.fingerprint));
    // Only the button replaces the trusted certificate.
    CertificateWindow again(f);
    again.BTrust->click();
    EXPECT_TRUE(IsCertificateTrusted(f.host, f.port, f.fingerprint));
    EXPECT_FALSE(IsCertificateTrusted(f.host, f.port, CertificateFingerprint(pki.CaCertificate())));
}

// A failure record whose fingerprint disagrees with the certificate it
// carries trusts the certificate shown, never the stated fingerprint.
TEST_F(CertificateTest, TrustsTheCertificateShownNotAStatedFingerprint)
{
    TestPki& pki = TestPki::Shared();
    ASSERT_TRUE(pki.Ok());
    CertificateFailure f;
    f.host = "pop.example.net";
    f.port = 995;
    f.certificateDer = pki.ServerCertificate().toDer();
    f.fingerprint = CertificateFingerprint(pki.CaCertificate());
    CertificateWindow wnd(f);
    ASSERT_TRUE(wnd.Trust());
    EXPECT_EQ(TrustedFingerprint(f.host, f.port), CertificateFingerprint(pki.ServerCertificate()));
}
