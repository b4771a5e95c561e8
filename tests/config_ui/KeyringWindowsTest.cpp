// The windows with the passwords in a real Secret Service (GNOME Keyring on
// the private bus of tests/support/with_keyring.sh): the settings window's
// "Keep passwords in the desktop keyring", a password changed in the account
// window, and the password window when the keyring stays locked. The
// keyring is read from outside with python3-secretstorage (keyring_tool.py).

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "config/PasswordStorage.h"
#include "config/StorageSettings.h"
#include "model/MailboxWriter.h"
#include "ops/CheckPop3Session.h"
#include "ops/ErrorList.h"
#include "pop3/Pop3Client.h"
#include "ui/accounts/AccountWindow.h"
#include "ui/common/PasswordWindow.h"
#include "ui/settings/SettingsWindow.h"
#include "ui_main/Fixtures.h"

using namespace vm;

namespace {

const QString kSupport = QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/");

QByteArray Python(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    return p.readAllStandardOutput();
}

// "label attribute-secret=secret" of every item of the keyring.
QStringList Items()
{
    QStringList out;
    for (const QJsonValue& v : QJsonDocument::fromJson(Python({kSupport + "keyring_tool.py", "items"})).array())
        out.append(v["label"].toString() + ' ' + v["attributes"]["secret"].toString() + '=' +
                   v["secret"].toString());
    out.sort();
    return out;
}

QString BlockPassword(const QString& path)
{
    const QByteArray json = Python({kSupport + "mbxformat.py", "read", path});
    return QJsonDocument::fromJson(json)["account"]["password"].toString();
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class KeyringWindows : public vmtest::MainWindowTestBase
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(qgetenv("VELMORA_TEST_KEYRING"), "unlocked")
            << "run through tests/support/with_keyring.sh";
        MainWindowTestBase::SetUp();
        ASSERT_TRUE(work.isValid());
        configHome.Set(work.filePath("config").toUtf8());
        for (const QString& name : QDir(dataDir).entryList({"*.mbx"}))
            QFile::remove(dataDir + name);
        InstallSecretVault(&keyring);
    }
    void TearDown() override
    {
        InstallSecretVault(nullptr);
        AppSettings() = Settings();
        MainWindowTestBase::TearDown();
    }

    MailAccount* AddAccount(const QByteArray& login)
    {
        auto* a = new MailAccount(&Accounts());
        a->Login() = login;
        a->Server() = "pop.example.org";
        a->Password() = "pw-" + login;
        Accounts().Add(a);
        a->SaveToFile(SaveOptionsFromSettings());
        return a;
    }

    vm::test::ScopedEnv configHome{"XDG_CONFIG_HOME"};
    QTemporaryDir work;
    // No pause after a failure: each test locks and unlocks as it needs.
    DesktopKeyring keyring{dataDir, {}, std::chrono::milliseconds(0)};
};

} // namespace

TEST_F(KeyringWindows, SettingsWindowMovesThePasswordsBothWays)
{
    AddAccount("anna");
    AddAccount("bob");
    const QByteArray anna = ReadAll(dataDir + "anna.mbx");
    SettingsWindow w;
    w.settingsPath = work.filePath("velmora.ini");

    w.LoadFromSettings();
    w.CBPasswordsInKeyring->setChecked(true);
    ASSERT_TRUE(w.BOKClick());
    EXPECT_EQ(AppSettings().PasswordStorage, 1);
    EXPECT_TRUE(ReadAll(w.settingsPath).contains("PasswordStorage=1"));
    EXPECT_EQ(BlockPassword(dataDir + "anna.mbx"), "");
    EXPECT_EQ(Items(), (QStringList{"Velmora: anna (POP3) pop3=pw-anna",
                                    "Velmora: bob (POP3) pop3=pw-bob"}));

    w.LoadFromSettings();
    EXPECT_TRUE(w.CBPasswordsInKeyring->isChecked());
    w.CBPasswordsInKeyring->setChecked(false);
    ASSERT_TRUE(w.BOKClick());
    EXPECT_EQ(ReadAll(dataDir + "anna.mbx"), anna);
    EXPECT_TRUE(Items().isEmpty());
    EXPECT_TRUE(messages.shown.isEmpty());
}

// One OK both moves the passwords and the mailbox folder: the passwords go
// first, through the background writer's queue (an older image of the file
// with the password in its block still waits there), and the new folder
// gets the files as they now are.
TEST_F(KeyringWindows, OneOkMovesThePasswordsAndTheMailboxFolder)
{
    MailAccount* anna = AddAccount("anna");
    MailboxFileImage stale = anna->FileImage(SaveOptionsFromSettings());
    ASSERT_EQ(stale.path, dataDir + "anna.mbx");
    BackgroundMailboxWriter().Queue(std::move(stale));
    const QString target = work.filePath("boxes") + '/';
    ASSERT_TRUE(QDir().mkpath(target));
    SettingsWindow w;
    w.settingsPath = work.filePath("velmora.ini");

    w.LoadFromSettings();
    w.CBPasswordsInKeyring->setChecked(true);
    w.RBMbxElsewhere->setChecked(true);
    w.EMbxElsewhere->setText(target);
    ASSERT_TRUE(w.BOKClick());
    WaitForMailboxWrites();
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_FALSE(QFile::exists(dataDir + "anna.mbx"));
    EXPECT_EQ(BlockPassword(target + "anna.mbx"), "");
    EXPECT_EQ(Items(), QStringList{"Velmora: anna (POP3) pop3=pw-anna"});
    const QByteArray ini = ReadAll(w.settingsPath);
    EXPECT_TRUE(ini.contains("PasswordStorage=1"));
    EXPECT_TRUE(ini.contains("MbxStorage=" + target.toUtf8())) << ini.constData();
}

TEST_F(KeyringWindows, PasswordChangedInTheAccountWindowReplacesTheKeyringsOne)
{
    AppSettings().PasswordStorage = 1;
    AddAccount("anna");
    MailAccount loaded(&Accounts());
    loaded.LoadFromFile(dataDir + "anna.mbx", {});
    AccountWindow acf;
    acf.LoadAccount(loaded);
    EXPECT_EQ(acf.EPassword->text(), "pw-anna");
    acf.EPassword->setText("changed");
    ASSERT_TRUE(acf.BOKClick());
    loaded.SaveToFile(SaveOptionsFromSettings());
    EXPECT_EQ(Items(), QStringList{"Velmora: anna (POP3) pop3=changed"});
    EXPECT_EQ(BlockPassword(dataDir + "anna.mbx"), "");
    Accounts().At(0)->RemoveKeyringSecrets(keyring);
}

TEST_F(KeyringWindows, LockedKeyringAsksWithThePasswordWindowUnlessNobodyIsThere)
{
    AppSettings().PasswordStorage = 1;
    AddAccount("anna");
    Python({kSupport + "keyring_tool.py", "lock"});
    const QString locked = "The desktop keyring is locked and was not unlocked.";

    // A check started by hand: the password window says why it asks.
    MailAccount account(&Accounts());
    account.LoadFromFile(dataDir + "anna.mbx", {});
    QString note;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* wnd = qobject_cast<PasswordWindow*>(QApplication::activeModalWidget());
        if (!wnd)
            return;
        note = wnd->LNote->isVisible() ? wnd->LNote->text() : QString();
        wnd->EPassword->setText("typed");
        wnd->BLogin->click();
    });
    answer.start(20);
    Pop3Client client;
    GuiPasswordPrompt window;
    EXPECT_TRUE(ConfigurePop3Client(client, account, 5, window));
    answer.stop();
    EXPECT_EQ(client.Password, "typed");
    EXPECT_EQ(note, locked);

    // The automatic check: nobody is asked, the error line says why.
    ClearErrorList();
    UnattendedPrompt unattended;
    EXPECT_FALSE(ConfigurePop3Client(client, account, 5, unattended));
    ASSERT_EQ(ErrorList().size(), 1);
    EXPECT_TRUE(ErrorList()[0].contains("KeyringError")) << ErrorList()[0].toStdString();
    EXPECT_TRUE(ErrorList()[0].contains(locked)) << ErrorList()[0].toStdString();

    Python({kSupport + "keyring_tool.py", "unlock",
            qEnvironmentVariable("VELMORA_TEST_KEYRING_PASSWORD")});
    EXPECT_EQ(account.Pop3PasswordWithoutPrompt(), "pw-anna");
    Accounts().At(0)->RemoveKeyringSecrets(keyring);
}
