// The commands with the passwords kept in the desktop keyring, run as
// separate processes against Dovecot and a real Secret Service: GNOME
// Keyring on the private bus of tests/support/with_keyring.sh. The keyring
// is read from outside with python3-secretstorage (keyring_tool.py), the
// files with tests/support/mbxformat.py.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

#include "support/DovecotFixture.h"

using vm::test::DovecotFixture;

namespace {

const QString kSupport = QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/");

struct Result
{
    int code = -1;
    QString out, err;
    qint64 ms = 0;
};

void PrintTo(const Result& r, std::ostream* os)
{
    *os << "exit " << r.code << " after " << r.ms << " ms\nstdout: " << r.out.toStdString()
        << "\nstderr: " << r.err.toStdString();
}

QByteArray Python(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    return p.readAllStandardOutput();
}

// The keyring's items of these data directories, as keyring_tool.py lists
// them (the tests of this program share one keyring).
QJsonArray Items(const QStringList& dataDirs)
{
    QStringList canonical;
    for (const QString& d : dataDirs)
        canonical.append(QFileInfo(d).canonicalFilePath());
    QJsonArray out;
    for (const QJsonValue& v :
         QJsonDocument::fromJson(Python({kSupport + "keyring_tool.py", "items"})).array())
        if (canonical.contains(v["attributes"]["data-directory"].toString()))
            out.append(v);
    return out;
}

QJsonObject ReadMailbox(const QString& path)
{
    return QJsonDocument::fromJson(Python({kSupport + "mbxformat.py", "read", path})).object();
}

void WriteMailbox(const QJsonObject& spec, const QString& path)
{
    QFile f(path + QStringLiteral(".json"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(spec).toJson());
    f.close();
    Python({kSupport + "mbxformat.py", "write", f.fileName(), path});
    f.remove();
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The settings and mailbox files of a data directory with their bytes and
// modification times.
QStringList Snapshot(const QString& dir)
{
    QStringList out;
    for (const QFileInfo& f :
         QDir(dir).entryInfoList({"*.mbx", "*.ini"}, QDir::Files, QDir::Name))
        out.append(f.fileName() + ' ' + QString::number(f.lastModified().toMSecsSinceEpoch()) +
                   ' ' + QString::fromLatin1(ReadAll(f.filePath()).toHex()));
    return out;
}

class KeyringCli : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_cli_keyring";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    void SetUp() override
    {
        ASSERT_EQ(qgetenv("VELMORA_TEST_KEYRING"), "unlocked")
            << "run through tests/support/with_keyring.sh";
        ASSERT_TRUE(QFile::exists(Program()));
        if (!DovecotFixture::Available())
            GTEST_SKIP() << "dovecot is not installed";
        ASSERT_TRUE(dc.Start()) << dc.LastError().toStdString();
        dc.AddUser("bob", "secret");
    }

    static QString Program() { return QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora"); }

    Result Run(const QString& dataDir, const QStringList& args, const QByteArray& input = {},
               const QString& bus = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!bus.isEmpty())
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
        p.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        p.start(Program(), (QStringList{"--data-dir", dataDir}) + args);
        if (!p.waitForStarted(10000))
            return {};
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(120000))
            p.kill();
        p.waitForFinished();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError()), clock.elapsed()};
    }

    Result AddBob(const QString& dataDir, const QByteArray& password, const QString& bus = {})
    {
        return Run(dataDir,
                   {"--add-account", "--login", "bob", "--server", "127.0.0.1", "--port",
                    QString::number(dc.Pop3Port()), "--name", "Bob", "--password-stdin"},
                   password + '\n', bus);
    }

    // A data directory whose settings keep passwords in the keyring or not.
    static std::unique_ptr<QTemporaryDir> DataDir(bool keyring)
    {
        auto dir = std::make_unique<QTemporaryDir>();
        QFile ini(dir->filePath("velmora.ini"));
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(keyring ? "[GENERAL]\r\nPasswordStorage=1\r\n" : "[GENERAL]\r\n");
        return dir;
    }

    DovecotFixture dc;
};

} // namespace

TEST_F(KeyringCli, DataDirectoriesKeepTheirOwnItemsAndTheSameBytes)
{
    dc.Deliver("bob", "From: a@example.org\r\nSubject: one\r\n\r\nbody\r\n");
    std::unique_ptr<QTemporaryDir> dirs[] = {DataDir(true), DataDir(true), DataDir(true)};
    const QByteArray passwords[] = {"secret", "secret", "wrong"};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(AddBob(dirs[i]->path(), passwords[i]).code, 0);

    const QByteArray file = ReadAll(dirs[0]->filePath("bob.mbx"));
    EXPECT_EQ(ReadAll(dirs[1]->filePath("bob.mbx")), file);
    EXPECT_EQ(ReadAll(dirs[2]->filePath("bob.mbx")), file);
    const QJsonObject mailbox = ReadMailbox(dirs[0]->filePath("bob.mbx"));
    EXPECT_EQ(mailbox["account"]["password"].toString(), "");
    EXPECT_EQ(mailbox["keyring"]["secrets"].toArray(), QJsonArray{"pop3"});

    QStringList held;
    for (const QJsonValue& v : Items({dirs[0]->path(), dirs[1]->path(), dirs[2]->path()})) {
        const QJsonObject item = v.toObject();
        const QJsonObject a = item["attributes"].toObject();
        EXPECT_EQ(item["label"].toString(), "Velmora: Bob (POP3)");
        held.append(a["data-directory"].toString() + ' ' + a["account"].toString() + ' ' +
                    a["secret"].toString() + '=' + item["secret"].toString());
    }
    held.sort();
    QStringList expected;
    for (int i = 0; i < 3; ++i)
        expected.append(QFileInfo(dirs[i]->path()).canonicalFilePath() + " bob pop3=" +
                        passwords[i]);
    expected.sort();
    EXPECT_EQ(held, expected);

    // The server takes only the keyring's password of the first directory.
    const Result good = Run(dirs[0]->path(), {"--check"});
    EXPECT_EQ(good.code, 0) << ::testing::PrintToString(good);
    EXPECT_EQ(good.out, "Bob\t1\n");
    const Result bad = Run(dirs[2]->path(), {"--check"});
    EXPECT_EQ(bad.code, 1) << ::testing::PrintToString(bad);
}

TEST_F(KeyringCli, PasswordsMoveBothWaysAndTheFilesComeBackByteForByte)
{
    dc.Deliver("bob", "From: a@example.org\r\nSubject: one\r\n\r\nbody\r\n");
    std::unique_ptr<QTemporaryDir> dir = DataDir(false);
    const QString data = dir->path();
    ASSERT_EQ(Run(data, {"--add-account", "--login", "bob", "--server", "127.0.0.1", "--port",
                         QString::number(dc.Pop3Port()), "--name", "Bob", "--password-stdin",
                         "--smtp-server", "127.0.0.1", "--smtp-login", "bob", "--smtp-auth",
                         "--from", "bob@example.org", "--smtp-password-stdin"},
                  "secret\nsmtp-secret\n")
                  .code,
              0);
    ASSERT_EQ(Run(data, {"--check"}).code, 0);
    const QByteArray inFile = ReadAll(dir->filePath("bob.mbx"));

    Result r = Run(data, {"--passwords", "keyring"});
    ASSERT_EQ(r.code, 0) << ::testing::PrintToString(r);
    EXPECT_EQ(r.out, "Bob\tkeyring\n");
    const QJsonObject account = ReadMailbox(dir->filePath("bob.mbx"))["account"].toObject();
    EXPECT_EQ(account["password"].toString() + account["smtp_password"].toString(), "");
    EXPECT_TRUE(ReadAll(dir->filePath("velmora.ini")).contains("PasswordStorage=1"));
    QStringList secrets;
    for (const QJsonValue& v : Items({data}))
        secrets.append(v["attributes"]["secret"].toString() + '=' + v["secret"].toString());
    secrets.sort();
    EXPECT_EQ(secrets, (QStringList{"pop3=secret", "smtp=smtp-secret"}));

    r = Run(data, {"--passwords", "file"});
    ASSERT_EQ(r.code, 0) << ::testing::PrintToString(r);
    EXPECT_EQ(ReadAll(dir->filePath("bob.mbx")), inFile);
    EXPECT_TRUE(Items({data}).isEmpty());

    // Back into the keyring, a check with its password, and removing the
    // account takes its items along.
    ASSERT_EQ(Run(data, {"--passwords", "keyring"}).code, 0);
    EXPECT_EQ(Items({data}).size(), 2);
    r = Run(data, {"--check"});
    EXPECT_EQ(r.code, 0) << ::testing::PrintToString(r);
    ASSERT_EQ(Run(data, {"--remove-account", "Bob"}).code, 0);
    EXPECT_TRUE(Items({data}).isEmpty());
}

TEST_F(KeyringCli, WithoutAWorkingKeyringCommandsFailFastAndChangeNoFile)
{
    std::unique_ptr<QTemporaryDir> dir = DataDir(true);
    const QString data = dir->path();
    ASSERT_EQ(AddBob(data, "secret").code, 0);
    const QStringList before = Snapshot(data);

    // A bus without a Secret Service.
    QProcess emptyBus;
    emptyBus.start(QStringLiteral("dbus-daemon"),
                   {"--config-file=" + kSupport + "keyring-bus.conf", "--nofork", "--print-address=1"});
    ASSERT_TRUE(emptyBus.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(emptyBus.readLine()).trimmed();

    struct Case
    {
        const char* name;
        QString bus;
        bool locked;
    };
    const Case cases[] = {{"no service on the bus", address, false},
                          {"locked collection", QString(), true}};
    const QStringList commands[] = {{"--check"}, {"--check", "Bob"}, {"--passwords", "file"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.locked)
            Python({kSupport + "keyring_tool.py", "lock"});
        for (const QStringList& command : commands) {
            SCOPED_TRACE(command.join(' ').toStdString());
            const Result r = Run(data, command, {}, c.bus);
            EXPECT_EQ(r.code, 1) << ::testing::PrintToString(r);
            EXPECT_LT(r.ms, 10000);
            EXPECT_TRUE(r.err.contains("desktop keyring")) << r.err.toStdString();
        }
        // A new account cannot be stored either; no file appears.
        const Result add = Run(data, {"--add-account", "--login", "carl", "--server", "127.0.0.1",
                                      "--password-stdin"},
                               "pw\n", c.bus);
        EXPECT_EQ(add.code, 1) << ::testing::PrintToString(add);
        EXPECT_TRUE(add.err.contains("desktop keyring")) << add.err.toStdString();
        EXPECT_EQ(Snapshot(data), before);
        if (c.locked)
            Python({kSupport + "keyring_tool.py", "unlock",
                    qEnvironmentVariable("VELMORA_TEST_KEYRING_PASSWORD")});
    }
    emptyBus.kill();
    emptyBus.waitForFinished();
    // With the keyring back, the same check works.
    const Result r = Run(data, {"--check"});
    EXPECT_EQ(r.code, 0) << ::testing::PrintToString(r);
}

TEST_F(KeyringCli, OAuthRefreshTokenMovesWithThePasswords)
{
    // Two data directories with the same OAuth 2.0 account, signed in with
    // different refresh tokens.
    const QJsonObject settings{{"SignIn", "OAuth2"},
                               {"OAuth2Provider", "custom"},
                               {"OAuth2ClientId", "velmora-test"},
                               {"OAuth2AuthorizeUrl", "http://127.0.0.1:9/authorize"},
                               {"OAuth2TokenUrl", "http://127.0.0.1:9/token"},
                               {"OAuth2Scope", "mail"}};
    const QString tokens[] = {"rt-first-0123", "rt-second-4567-longer"};
    std::unique_ptr<QTemporaryDir> dirs[] = {DataDir(false), DataDir(false)};
    for (int i = 0; i < 2; ++i) {
        QJsonObject extension = settings;
        extension["OAuth2RefreshToken"] = tokens[i];
        WriteMailbox({{"account", QJsonObject{{"login", "bob"},
                                              {"server", "127.0.0.1"},
                                              {"friendly_name", "Bob"}}},
                      {"extension", extension}},
                     dirs[i]->filePath("bob.mbx"));
        const Result r = Run(dirs[i]->path(), {"--passwords", "keyring"});
        ASSERT_EQ(r.code, 0) << ::testing::PrintToString(r);
        EXPECT_EQ(r.out, "Bob\tkeyring\n");
    }
    const QString first = dirs[0]->path();
    const auto heldBy = [](const QString& dir) {
        QStringList held;
        for (const QJsonValue& v : Items({dir}))
            held.append(v["label"].toString() + ' ' + v["attributes"]["secret"].toString() + '=' +
                        v["secret"].toString());
        return held;
    };

    // No token material in the files: they are byte for byte the same.
    QJsonObject mailbox = ReadMailbox(dirs[0]->filePath("bob.mbx"));
    EXPECT_EQ(mailbox["extension"].toObject(), settings);
    EXPECT_EQ(mailbox.value("keyring")["secrets"].toArray(), QJsonArray{"oauth"});
    const QByteArray inKeyring = ReadAll(dirs[0]->filePath("bob.mbx"));
    EXPECT_EQ(ReadAll(dirs[1]->filePath("bob.mbx")), inKeyring);
    EXPECT_EQ(heldBy(first), QStringList{"Velmora: Bob (OAuth) oauth=rt-first-0123"});

    // Off: the token is back in the file and gone from the keyring.
    Result r = Run(first, {"--passwords", "file"});
    ASSERT_EQ(r.code, 0) << ::testing::PrintToString(r);
    mailbox = ReadMailbox(dirs[0]->filePath("bob.mbx"));
    QJsonObject withToken = settings;
    withToken["OAuth2RefreshToken"] = "rt-first-0123";
    EXPECT_EQ(mailbox["extension"].toObject(), withToken);
    EXPECT_FALSE(mailbox.contains("keyring"));
    EXPECT_TRUE(Items({first}).isEmpty());

    // On again: the same item, the same file as before.
    r = Run(first, {"--passwords", "keyring"});
    ASSERT_EQ(r.code, 0) << ::testing::PrintToString(r);
    EXPECT_EQ(ReadAll(dirs[0]->filePath("bob.mbx")), inKeyring);
    EXPECT_EQ(heldBy(first), QStringList{"Velmora: Bob (OAuth) oauth=rt-first-0123"});
}
