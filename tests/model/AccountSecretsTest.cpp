// Secrets kept in the keyring instead of the account block: what the block
// and its keyring marker hold (read back by tests/support/mbxformat.py),
// when the keyring is written, and when it is read.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include "model/AccountsDirectory.h"
#include "model/FileErrors.h"
#include "model/MailAccount.h"
#include "support/FakeVault.h"

using namespace vm;
using vm::test::FakeVault;

namespace {

const QString kScript = QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/mbxformat.py");

QJsonObject PythonRead(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {kScript, QStringLiteral("read"), path});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

void PythonWrite(const QJsonObject& spec, const QString& path)
{
    QFile f(path + QStringLiteral(".json"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(spec).toJson());
    f.close();
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {kScript, QStringLiteral("write"), f.fileName(), path});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Strings(const QJsonValue& v)
{
    QStringList out;
    for (const QJsonValue& s : v.toArray())
        out.append(s.toString());
    return out;
}

MailboxSaveOptions KeepIn(SecretVault* vault)
{
    MailboxSaveOptions o;
    o.keyring = vault;
    return o;
}

// One data directory with one account "anna" ("Work").
struct DataDir
{
    explicit DataDir(const QByteArray& pop3 = "p1", const QByteArray& smtp = "s1")
    {
        accounts.SetMailboxDirectory(tmp.path());
        account = new MailAccount(&accounts);
        account->Login() = "anna";
        account->FriendlyName() = "Work";
        account->Password() = pop3;
        account->SmtpPassword() = smtp;
        accounts.Add(account);
    }
    QString File() const { return tmp.path() + QStringLiteral("/anna.mbx"); }
    // The account as the next start reads it.
    std::unique_ptr<MailAccount> Reloaded()
    {
        auto a = std::make_unique<MailAccount>(&accounts);
        a->LoadFromFile(File(), {});
        return a;
    }

    QTemporaryDir tmp;
    AccountsDirectory accounts;
    MailAccount* account;
};

} // namespace

TEST(AccountSecrets, BlockAndMarkerHoldWhatTheSettingSays)
{
    struct Case
    {
        const char* name;
        bool keyring;
        QByteArray pop3, smtp;
        QString blockPop3, blockSmtp;
        QStringList marker; // secret kinds the marker names; empty: no marker
        QStringList held;
    };
    const Case cases[] = {
        {"in the block", false, "p1", "s1", "p1", "s1", {}, {}},
        {"both in the keyring", true, "p1", "s1", "", "", {"pop3", "smtp"},
         {"anna pop3=p1", "anna smtp=s1"}},
        {"only a POP3 password", true, "p1", "", "", "", {"pop3"}, {"anna pop3=p1"}},
        {"no password", true, "", "", "", "", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataDir d(c.pop3, c.smtp);
        FakeVault vault;
        d.account->SaveToFile(KeepIn(c.keyring ? &vault : nullptr));
        const QJsonObject file = PythonRead(d.File());
        EXPECT_EQ(file["account"]["password"].toString(), c.blockPop3);
        EXPECT_EQ(file["account"]["smtp_password"].toString(), c.blockSmtp);
        EXPECT_EQ(Strings(file["keyring"]["secrets"]), c.marker);
        if (!c.marker.isEmpty()) {
            EXPECT_EQ(file["keyring"]["account"].toString(), "anna");
        }
        EXPECT_EQ(vault.Held(), c.held);
        if (!c.held.isEmpty()) {
            EXPECT_EQ(vault.items.first().label, "Velmora: Work (POP3)");
        }
    }
}

TEST(AccountSecrets, FilesDifferingOnlyInPasswordsAreTheSameBytes)
{
    DataDir a("one", "smtp-one"), b("one", "smtp-one"), c("two", "smtp-two");
    FakeVault va, vb, vc;
    a.account->SaveToFile(KeepIn(&va));
    b.account->SaveToFile(KeepIn(&vb));
    c.account->SaveToFile(KeepIn(&vc));
    EXPECT_EQ(ReadAll(a.File()), ReadAll(c.File()));
    EXPECT_EQ(ReadAll(b.File()), ReadAll(c.File()));
    EXPECT_EQ(vc.Held(), (QStringList{"anna pop3=two", "anna smtp=smtp-two"}));
    // In the block the passwords make the files differ.
    a.account->SaveToFile({});
    c.account->SaveToFile({});
    EXPECT_NE(ReadAll(a.File()), ReadAll(c.File()));
}

// The save-as-you-go fingerprint sees what a write would change while the
// keyring keeps the secrets: the block then holds no password, yet a new
// password must still be written (to the keyring, on the way).
TEST(AccountSecrets, FingerprintFollowsSecretsKeptInTheKeyring)
{
    DataDir d;
    FakeVault vault;
    const MailboxSaveOptions inKeyring = KeepIn(&vault);
    d.account->SaveToFile(inKeyring);
    struct Case
    {
        const char* what;
        std::function<void()> change;
        bool changes;
    } const cases[] = {
        {"nothing", [] {}, false},
        {"POP3 password", [&] { d.account->Password() = "p2"; }, true},
        {"SMTP password", [&] { d.account->SmtpPassword() = "s2"; }, true},
        {"password cleared", [&] { d.account->Password().clear(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const quint64 before = d.account->StateFingerprint(inKeyring);
        c.change();
        EXPECT_EQ(d.account->StateFingerprint(inKeyring) != before, c.changes);
    }
    // The keyring marker is part of it: the same account with its secrets
    // in the block is another file.
    EXPECT_NE(d.account->StateFingerprint(inKeyring), d.account->StateFingerprint({}));
}

TEST(AccountSecrets, KeyringIsReadWhenThePasswordIsNeeded)
{
    struct Case
    {
        const char* name;
        bool itemThere;
        bool keyringDown;
        bool sessionValid;
        std::optional<QByteArray> password;
        QString problem;
        QStringList calls;
    };
    const Case cases[] = {
        {"read", true, false, false, "p1", "", {"read anna pop3"}},
        {"keyring down", true, true, false, std::nullopt, "the test keyring is down",
         {"read anna pop3"}},
        {"session password needs no keyring", true, true, true, "typed", "", {}},
        {"item gone", false, false, false, std::nullopt,
         "The desktop keyring holds no POP3 password for account Work any more.",
         {"read anna pop3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataDir d;
        FakeVault written;
        d.account->SaveToFile(KeepIn(&written));
        FakeVault vault;
        if (c.itemThere)
            vault.items = written.items;
        vault.failReads = c.keyringDown;
        InstallSecretVault(&vault);
        std::unique_ptr<MailAccount> a = d.Reloaded();
        EXPECT_TRUE(a->KeyringUnread(kPop3Secret));
        EXPECT_TRUE(a->CanBeCheckedUnattended());
        if (c.sessionValid) {
            a->SessionPassword() = "typed";
            a->SessionPasswordValid() = true;
        }
        QString problem;
        EXPECT_EQ(a->Pop3PasswordWithoutPrompt(&problem), c.password);
        EXPECT_EQ(problem, c.problem);
        EXPECT_EQ(vault.calls, c.calls);
        InstallSecretVault(nullptr);
    }
}

TEST(AccountSecrets, SavesWriteTheKeyringOnlyWhenASecretChanged)
{
    DataDir d;
    FakeVault first;
    d.account->SaveToFile(KeepIn(&first));
    const QByteArray before = ReadAll(d.File());
    std::unique_ptr<MailAccount> a = d.Reloaded();
    FakeVault vault;

    a->SaveToFile(KeepIn(&vault)); // nothing read, nothing changed
    EXPECT_EQ(ReadAll(d.File()), before);
    a->SaveToFile({}); // unread secrets stay in the keyring
    EXPECT_EQ(ReadAll(d.File()), before);
    EXPECT_TRUE(vault.calls.isEmpty());

    a->Password() = "new";
    a->SaveToFile(KeepIn(&vault));
    a->SaveToFile(KeepIn(&vault));
    a->Password().clear(); // cleared by the user: its item goes; SMTP stays unread
    a->SaveToFile(KeepIn(&vault));
    EXPECT_EQ(vault.calls, (QStringList{"write anna pop3", "remove anna pop3"}));
    const QJsonObject file = PythonRead(d.File());
    EXPECT_EQ(Strings(file["keyring"]["secrets"]), QStringList{"smtp"});
    EXPECT_EQ(file["account"]["password"].toString(), "");
}

TEST(AccountSecrets, MarkerOfAnIndependentWriterIsReadAndKept)
{
    QTemporaryDir tmp;
    AccountsDirectory accounts;
    accounts.SetMailboxDirectory(tmp.path());
    const QString path = tmp.path() + QStringLiteral("/anna.mbx");
    const QJsonObject account{{"login", "anna"}};
    // "passkey" stands for a secret a newer program keeps.
    PythonWrite({{"account", account},
                 {"keyring", QJsonObject{{"account", "anna-2"},
                                         {"secrets", QJsonArray{"pop3", "passkey"}}}}},
                path);
    MailAccount a(&accounts);
    a.LoadFromFile(path, {});
    EXPECT_EQ(a.KeyringId(), "anna-2");
    EXPECT_TRUE(a.KeyringUnread(kPop3Secret));
    EXPECT_FALSE(a.KeyringUnread(kSmtpSecret));
    a.SaveToFile({});
    const QJsonObject kept = PythonRead(path);
    EXPECT_EQ(Strings(kept["keyring"]["secrets"]), (QStringList{"pop3", "passkey"}));

    PythonWrite({{"account", account},
                 {"keyring", QJsonObject{{"account", "anna"},
                                         {"secrets", QJsonArray{"pop3"}},
                                         {"checksum_error", 1}}}},
                path);
    MailAccount damaged(&accounts);
    EXPECT_THROW(damaged.LoadFromFile(path, {}), MailboxHeaderError);
}

TEST(AccountSecrets, RefreshTokenFollowsThePasswords)
{
    DataDir d("", "");
    d.account->SignIn() = SignInMethod::OAuth2;
    d.account->OAuth().provider = "google";
    d.account->AutoCheck() = true;
    d.account->SignedIn("rt-1", "at-1", 1);
    FakeVault vault;
    d.account->SaveToFile(KeepIn(&vault));
    const QJsonObject file = PythonRead(d.File());
    EXPECT_EQ(file["extension"].toObject(),
              (QJsonObject{{"SignIn", "OAuth2"}, {"OAuth2Provider", "google"}}));
    EXPECT_EQ(Strings(file["keyring"]["secrets"]), QStringList{"oauth"});
    EXPECT_EQ(vault.Held(), QStringList{"anna oauth=rt-1"});
    EXPECT_EQ(vault.items.first().label, "Velmora: Work (OAuth)");

    // Read when a login needs it; a renewed token replaces the item.
    InstallSecretVault(&vault);
    std::unique_ptr<MailAccount> a = d.Reloaded();
    EXPECT_TRUE(a->KeyringUnread(kOAuthSecret));
    EXPECT_TRUE(a->CanBeCheckedUnattended());
    EXPECT_TRUE(a->RefreshTokenWithoutPrompt());
    EXPECT_EQ(a->RefreshToken(), "rt-1");
    a->SignedIn("rt-2", "at-2", 1);
    a->SaveToFile(KeepIn(&vault));
    EXPECT_EQ(vault.Held(), QStringList{"anna oauth=rt-2"});
    InstallSecretVault(nullptr);

    // Forgetting a token that was never read removes its item too.
    std::unique_ptr<MailAccount> b = d.Reloaded();
    b->ForgetTokens();
    EXPECT_FALSE(b->CanBeCheckedUnattended());
    b->SaveToFile(KeepIn(&vault));
    EXPECT_TRUE(vault.Held().isEmpty());
    EXPECT_FALSE(PythonRead(d.File()).contains("keyring"));
}
