// Moving every account's passwords between the mailbox files and a keyring
// (FakeVault), also when the keyring or a file fails half way: after every
// move each password is in its account block, or in the keyring with the
// file's marker naming it (read back by tests/support/mbxformat.py).

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "config/PasswordStorage.h"
#include "model/AccountsDirectory.h"
#include "support/FakeVault.h"

using namespace vm;
using vm::test::FakeVault;

namespace {

QJsonObject PythonRead(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/mbxformat.py"),
             QStringLiteral("read"), path});
    EXPECT_TRUE(p.waitForFinished(60000));
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Secret
{
    const char* file;
    const char* field; // in mbxformat.py's account
    const char* kind;
    const char* value;
};
const Secret kSecrets[] = {{"anna.mbx", "password", "pop3", "pa"},
                           {"anna.mbx", "smtp_password", "smtp", "sa"},
                           {"bob.mbx", "password", "pop3", "pb"}};

enum class Fault { None, KeyringWrite, KeyringRead, KeyringRemove, BobsFile };

// A mailbox folder with its keyring.
struct Folder
{
    // anna (POP3 and SMTP password) and bob (POP3 password), written with
    // their passwords in the keyring or in the blocks, then loaded again.
    void Start(bool inKeyring)
    {
        AccountsDirectory first;
        first.SetMailboxDirectory(tmp.path());
        for (const char* login : {"anna", "bob"}) {
            auto* a = new MailAccount(&first);
            a->Login() = login;
            first.Add(a);
        }
        first.At(0)->Password() = "pa";
        first.At(0)->SmtpPassword() = "sa";
        first.At(1)->Password() = "pb";
        MailboxSaveOptions options;
        options.keyring = inKeyring ? &vault : nullptr;
        int index = 0;
        first.SaveAll(index, options);
        AccountsDirectory::LoadParams params;
        params.directory = tmp.path();
        accounts.LoadAll(params);
        ASSERT_EQ(accounts.Count(), 2);
        vault.calls.clear();
    }
    QString Path(const QString& name) const { return tmp.path() + QLatin1Char('/') + name; }

    // Each password is in its block, or in the keyring under the id the
    // file's marker gives, with the marker naming its kind.
    void ExpectEverySecretReadable()
    {
        for (const Secret& s : kSecrets) {
            SCOPED_TRACE(std::string(s.file) + " " + s.kind);
            const QJsonObject file = PythonRead(Path(s.file));
            if (file["account"][s.field].toString() == s.value)
                continue;
            const QJsonObject marker = file["keyring"].toObject();
            EXPECT_TRUE(Strings(marker["secrets"]).contains(s.kind));
            const auto item = vault.items.constFind({marker["account"].toString(), s.kind});
            ASSERT_NE(item, vault.items.cend());
            EXPECT_EQ(item->secret, s.value);
        }
    }
    static QStringList Strings(const QJsonValue& v)
    {
        QStringList out;
        for (const QJsonValue& s : v.toArray())
            out.append(s.toString());
        return out;
    }

    QTemporaryDir tmp;
    FakeVault vault;
    AccountsDirectory accounts;
};

} // namespace

TEST(PasswordMove, EverySecretStaysReadableWhateverFails)
{
    struct Case
    {
        const char* name;
        bool toKeyring;
        Fault fault;
        bool moved;
        bool filesAsBefore;
        QStringList held;
        int filesLeft, copiesLeft;
    };
    const QStringList all{"anna pop3=pa", "anna smtp=sa", "bob pop3=pb"};
    const Case cases[] = {
        {"into the keyring", true, Fault::None, true, false, all, 0, 0},
        {"keyring full", true, Fault::KeyringWrite, false, true, {}, 0, 0},
        {"bob's file unwritable", true, Fault::BobsFile, true, false, all, 1, 0},
        {"out of the keyring", false, Fault::None, true, false, {}, 0, 0},
        {"keyring down", false, Fault::KeyringRead, false, true, all, 0, 0},
        {"bob's file unwritable", false, Fault::BobsFile, true, false, {"bob pop3=pb"}, 1, 0},
        {"keyring keeps its items", false, Fault::KeyringRemove, true, false, all, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder f;
        FakeVault& vault = f.vault;
        const auto Path = [&](const QString& name) { return f.Path(name); };
        f.Start(!c.toKeyring);
        const QByteArray annaBefore = ReadAll(Path("anna.mbx"));
        vault.failWritesFrom = c.fault == Fault::KeyringWrite ? 1 : -1;
        vault.failReads = c.fault == Fault::KeyringRead;
        vault.failRemoves = c.fault == Fault::KeyringRemove;
        if (c.fault == Fault::BobsFile) {
            ASSERT_TRUE(QFile::rename(Path("bob.mbx"), Path("bob.keep")));
            ASSERT_TRUE(QDir().mkdir(Path("bob.mbx")));
        }
        const PasswordMoveResult r = c.toKeyring
                                         ? MovePasswordsToKeyring(f.accounts, vault, {})
                                         : MovePasswordsToFiles(f.accounts, vault, {});
        if (c.fault == Fault::BobsFile) {
            ASSERT_TRUE(QDir().rmdir(Path("bob.mbx")));
            ASSERT_TRUE(QFile::rename(Path("bob.keep"), Path("bob.mbx")));
        }
        EXPECT_EQ(r.moved, c.moved);
        EXPECT_EQ(r.error.isEmpty(), c.moved);
        EXPECT_EQ(ReadAll(Path("anna.mbx")) == annaBefore, c.filesAsBefore);
        EXPECT_EQ(vault.Held(), c.held);
        EXPECT_EQ(r.filesLeft.size(), c.filesLeft);
        EXPECT_EQ(r.copiesLeft.size(), c.copiesLeft);
        f.ExpectEverySecretReadable();
    }
}

TEST(PasswordMove, OnAndOffAgainGivesTheSameFiles)
{
    Folder f;
    FakeVault& vault = f.vault;
    const auto Path = [&](const QString& name) { return f.Path(name); };
    f.Start(false);
    const QByteArray anna = ReadAll(Path("anna.mbx"));
    const QByteArray bob = ReadAll(Path("bob.mbx"));
    ASSERT_TRUE(MovePasswordsToKeyring(f.accounts, vault, {}).moved);
    EXPECT_NE(ReadAll(Path("anna.mbx")), anna);
    // As the next start finds them: every password still unread.
    AccountsDirectory again;
    AccountsDirectory::LoadParams params;
    params.directory = f.tmp.path();
    again.LoadAll(params);
    ASSERT_TRUE(MovePasswordsToFiles(again, vault, {}).moved);
    EXPECT_EQ(ReadAll(Path("anna.mbx")), anna);
    EXPECT_EQ(ReadAll(Path("bob.mbx")), bob);
    EXPECT_TRUE(vault.items.isEmpty());
}
