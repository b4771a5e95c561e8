// The settings window driven through its controls offscreen, with real
// files: velmora.ini, the mailbox files and the start-up entry.

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidgetItem>

#include <functional>
#include <map>

#include "config/Settings.h"
#include "config/StorageSettings.h"
#include "core/Messages.h"
#include "lang/LangStartup.h"
#include "lang/LanguageShell.h"
#include "platform/Autostart.h"
#include "ui/accounts/AccountWindow.h"
#include "ui/common/CharsetEncodingFrame.h"
#include "ui/main/MainWindow.h"
#include "ui/settings/SettingsWindow.h"
#include "ui_main/Fixtures.h"

using namespace vm;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QStringList Lines(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).split('\n');
}

QStringList MailboxFiles(const QString& dir)
{
    return QDir(dir).entryList({"*.mbx"}, QDir::Files, QDir::Name);
}

// Every control's state, by object name, to compare two fillings of the window.
std::map<QString, QString> Snapshot(SettingsWindow& w)
{
    std::map<QString, QString> out;
    for (QAbstractButton* b : w.findChildren<QAbstractButton*>())
        if (b->isCheckable())
            out[b->objectName()] = b->isChecked() ? "on" : "off";
    for (QSpinBox* s : w.findChildren<QSpinBox*>())
        out[s->objectName()] = QString::number(s->value());
    for (QComboBox* c : w.findChildren<QComboBox*>())
        out[c->parentWidget()->objectName() + '/' + c->objectName()] = c->currentText();
    for (QLineEdit* e : w.findChildren<QLineEdit*>())
        if (!e->objectName().isEmpty())
            out[e->objectName()] = e->text();
    out["font colour"] = QString::number(w.FontColor());
    return out;
}

class SettingsWindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        dataDir = vmtest::EnsureGuiApp();
        ASSERT_EQ(DiscoverLanguageFiles(dataDir), QString());
        ASSERT_EQ(ChooseAndLoadLanguage(dataDir, "english.lng"), QString());
        InstallTranslationHandler();
    }

    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        SetMessageService(&messages);
        AppSettings() = Settings();
        configHome.Set(work.filePath("config").toUtf8());
        // An update server, so that the update box can be used.
        updateUrl.Set(kUpdateUrl);
        Accounts().Clear();
        Accounts().SetMailboxDirectory(dataDir);
        for (const QString& name : MailboxFiles(dataDir))
            QFile::remove(dataDir + name);
        wnd = std::make_unique<SettingsWindow>();
        wnd->settingsPath = work.filePath("velmora.ini");
        wnd->LoadFromSettings();
    }

    void TearDown() override
    {
        wnd.reset();
        Accounts().Clear();
        Accounts().SetMailboxDirectory(dataDir);
        SetMessageService(nullptr);
        AppSettings() = Settings();
    }

    QStringList Shown() const
    {
        QStringList out;
        for (const auto& m : messages.shown)
            out << m.text;
        return out;
    }

    MailAccount* AddAccount(const QByteArray& login, bool save)
    {
        auto* a = new MailAccount(&Accounts());
        a->Login() = login;
        a->Server() = "pop.example.org";
        a->Password() = "pw-" + login;
        a->Box().Add(vmtest::MakeMessage(login + "-1", "S <s@x>", "Hello", 0, 100));
        Accounts().Add(a);
        if (save)
            a->SaveToFile(SaveOptionsFromSettings());
        return a;
    }

    static constexpr char kUpdateUrl[] = "https://updates.example.org/programs/updates/vlupdate.php";
    static inline QString dataDir;
    vm::test::ScopedEnv configHome{"XDG_CONFIG_HOME"};
    vm::test::ScopedEnv updateUrl{"VELMORA_UPDATE_URL"};
    QTemporaryDir work;
    RecordingMessageService messages;
    std::unique_ptr<SettingsWindow> wnd;
};

// Every control, set to a value other than its default, reaches its line of
// velmora.ini; the file read back fills the window with exactly those
// values; and OK on that window writes the same file byte for byte.
TEST_F(SettingsWindowTest, EveryValueRoundTripsThroughTheFile)
{
    SettingsWindow& w = *wnd;
    const QString elsewhere = work.filePath("boxes");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString lastFont = w.CBComposeMsgFontName->itemText(w.CBComposeMsgFontName->count() - 1);
    w.chooseColor = [](const QColor&) { return QColor(0x12, 0x34, 0x56); };

    struct Row
    {
        std::function<void()> set;
        QString line;
    };
    const Row rows[] = {
        {[&] { w.CBMailAutoCheck->setChecked(false); }, "AutoMailCheck=0"},
        {[&] { w.CBCheckMailOnStartup->setChecked(false); }, "CheckMailOnStartup=0"},
        {[&] { w.CBCheckMailAtInterval->setChecked(false); }, "CheckMailOnTimer=0"},
        {[&] { w.PMailCheckInterval->setValue(7); }, "AutoMailCheckInterval=420"},
        {[&] { w.CBRunOnWindowsStartup->setChecked(false); }, "RunOnStartup=0"},
        {[&] { w.CBRunInTray->setChecked(false); }, "RunMinimizedOnStartup=0"},
        {[&] { w.CBShowMessagesOnStartUp->setChecked(false); }, "ShowMessagesOnStartup=0"},
        {[&] { w.CBAutoUpdate->setChecked(true); }, "AutoUpdateCheck=1"},
        {[&] { w.RBClassicNavigation->setChecked(true); }, "MsgListNavigation=0"},
        {[&] { w.RBHeadersOnly->setChecked(true); }, "MessagesDownloadRange=0"},
        {[&] { w.PMaxDownloadSize->setValue(77); }, "MaximumDownloadSize=77"},
        {[&] { w.RBSaveWholeIfLarge->setChecked(true); }, "MessageSaveRange=4"},
        {[&] { w.PMaxSaveSize->setValue(2048); }, "MaximumSaveSize=2048"},
        {[&] { w.PMinSaveSize->setValue(33); }, "MinimumSaveSize=33"},
        {[&] {
             w.RBMbxElsewhere->setChecked(true);
             w.EMbxElsewhere->setText(elsewhere);
         },
         "MbxStorage=" + elsewhere},
        {[&] { w.PConnectTimeout->setValue(45); }, "ConnectTimeout=45"},
        {[&] { w.RBAlwaysNotifyFailure->setChecked(true); }, "AlwaysNotifyErrors=1"},
        {[&] { w.CBHoldOnStartup->setChecked(false); }, "SleepOnStartup=0"},
        {[&] { w.PHoldStartup->setValue(12); }, "StartupSleepingTime=12"},
        {[&] { w.RBHeadersPage->setChecked(true); }, "DefaultBrowserPage=0"},
        {[&] { w.CBTurnOnDHTML->setChecked(false); }, "DHTMLPreview=0"},
        {[&] { w.CBTurnOnGraphicsPreview->setChecked(false); }, "GraphicsPreview=0"},
        {[&] { w.RBCrossHides->setChecked(true); }, "CrossHides=1"},
        {[&] {
             w.CBSound->setChecked(false);
             w.CBScrollLock->setChecked(true);
         },
         "MessageNotification=5"},
        {[&] { w.CBTimedNotifWindow->setChecked(true); }, "MessageNotificationWindowType=1"},
        {[&] { w.PNotifShowTime->setValue(9); }, "MessageNotificationWindowTimeout=9"},
        {[&] { w.CBNewMailBox->setChecked(false); }, "MessageNotificationBox=0"},
        {[&] { w.CBUseCustomSound->setChecked(true); }, "UseCustomMessageNotificationSound=1"},
        {[&] { w.ECustomSound->setText("/nowhere/ding.wav"); },
         "CustomMessageNotificationSound=/nowhere/ding.wav"},
        {[&] { w.CBOldMsgDefHidden->setChecked(false); }, "OldMessagesDefHidden=0"},
        {[&] { w.CBOldMsgSaveHeaders->setChecked(false); }, "OldMessagesSaveHeaders=0"},
        {[&] { w.CBOldMsgGetHeaders->setChecked(false); }, "OldMessagesGetHeaders=0"},
        {[&] { w.POldMsgTime->setValue(3); }, "OldMessagesTime=3"},
        {[&] { w.CBOldMsgUnit->setCurrentIndex(3); }, "OldMessagesUnit=3"},
        {[&] { w.PNewMsgTimeout->setValue(8); }, "NewMessagesTimeout=8"},
        {[&] { w.RBNewMsgTimeout->setChecked(true); }, "NewMessagesStyle=0"},
        {[&] { w.ComposeMsgEncodingFrame->SelectCharset(27); }, "ComposeMessageEncoding=26"},
        {[&] { w.DefIncomingEncodingFrame->SelectCharset(3); }, "DefIncomingEncoding=3"},
        {[&] { w.CBComposeMsgFormatting->setCurrentIndex(0); }, "ComposeMessageFormatted=1"},
        {[&] { w.CBComposeMsgFontSize->setEditText("13"); }, "ComposeMessageFontSize=13"},
        {[&] { w.CBComposeMsgFontName->setCurrentText(lastFont); },
         "ComposeMessageFontName=" + lastFont},
        {[&] { w.SBComposeMsgFontColor->click(); }, "ComposeMessageFontColor=5649426"},
        {[&] { w.CBComposeMsgSaveAddressees->setChecked(false); },
         "ComposeMessageSaveRecipients=0"},
        {[&] { w.CBSaveWndParams->setChecked(false); }, "SaveWindowParams=0"},
        // No account: nothing to move.
        {[&] { w.CBPasswordsInKeyring->setChecked(true); }, "PasswordStorage=1"},
    };
    for (const Row& r : rows)
        r.set();
    const auto edited = Snapshot(w);
    ASSERT_TRUE(w.BOKClick()) << Shown().join('|').toStdString();
    EXPECT_EQ(Shown(), QStringList());
    const QByteArray written = ReadAll(w.settingsPath);
    const QStringList lines = Lines(written);
    for (const Row& r : rows)
        EXPECT_TRUE(lines.contains(r.line)) << r.line.toStdString();

    // A new start: defaults, then the file.
    AppSettings() = Settings();
    ASSERT_TRUE(AppSettings().Load(w.settingsPath));
    w.LoadFromSettings();
    EXPECT_EQ(Snapshot(w), edited);
    w.settingsPath = work.filePath("again.ini");
    ASSERT_TRUE(w.BOKClick());
    EXPECT_EQ(ReadAll(w.settingsPath), written);
}

// Without an update server (none built in and none in the environment, or
// one that is not https) the update box is off and disabled and the note
// beside it says why; OK leaves the stored choice as it was.
TEST_F(SettingsWindowTest, TheUpdateBoxNeedsAnUpdateServer)
{
    const struct
    {
        const char* address;
        bool server;
    } cases[] = {
        {kUpdateUrl, true},
        {"", false},
        {"http://updates.example.org/programs/updates/vlupdate.php", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        updateUrl.Set(c.address);
        AppSettings().AutoUpdateCheck = true;
        wnd->LoadFromSettings();
        EXPECT_EQ(wnd->CBAutoUpdate->isEnabled(), c.server);
        EXPECT_EQ(wnd->CBAutoUpdate->isChecked(), c.server);
        EXPECT_EQ(wnd->LNoUpdateServer->isHidden(), c.server);
        EXPECT_TRUE(wnd->LNoUpdateServer->text().startsWith(
            "No update server is named in this build or in the environment variable "
            "VELMORA_UPDATE_URL"))
            << wnd->LNoUpdateServer->text().toStdString();
        ASSERT_TRUE(wnd->BOKClick());
        EXPECT_TRUE(AppSettings().AutoUpdateCheck);
    }
}

// Values the window cannot show as they are stored, and entries it refuses.
TEST_F(SettingsWindowTest, StoredValuesTheWindowAdjusts)
{
    const QString systemFace = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    const bool faceListed = wnd->CBComposeMsgFontName->findText(systemFace) >= 0;
    struct Case
    {
        QString stored; // line of [GENERAL]
        std::function<void(SettingsWindow&)> edit;
        QString written;
    };
    const Case cases[] = {
        // Minutes by integer division, saved back in whole minutes.
        {"AutoMailCheckInterval=90", nullptr, "AutoMailCheckInterval=60"},
        {"AutoMailCheckInterval=300", nullptr, "AutoMailCheckInterval=300"},
        // The largest interval the field offers does not overflow as seconds.
        {"AutoMailCheckInterval=60",
         [](SettingsWindow& w) { w.PMailCheckInterval->setValue(w.PMailCheckInterval->maximum()); },
         "AutoMailCheckInterval=" + QString::number(Settings::kMaxCheckMinutes * 60)},
        {"ComposeMessageFontSize=12",
         [](SettingsWindow& w) { w.CBComposeMsgFontSize->setEditText("abc"); },
         "ComposeMessageFontSize=12"},
        {"ComposeMessageFontSize=12",
         [](SettingsWindow& w) { w.CBComposeMsgFontSize->setEditText("5000"); },
         "ComposeMessageFontSize=12"},
        // Spin fields refuse values below 1.
        {"ConnectTimeout=30", [](SettingsWindow& w) { w.PConnectTimeout->setValue(0); },
         "ConnectTimeout=1"},
        // Unchecking the sound keeps the custom sound's path.
        {"CustomMessageNotificationSound=/x/y.wav",
         [](SettingsWindow& w) { w.CBSound->setChecked(false); },
         "CustomMessageNotificationSound=/x/y.wav"},
    };
    for (const Case& c : cases) {
        AppSettings() = Settings();
        WriteAll(work.filePath("in.ini"), "[GENERAL]\n" + c.stored.toUtf8() + "\n");
        ASSERT_TRUE(AppSettings().Load(work.filePath("in.ini")));
        wnd->LoadFromSettings();
        if (c.edit)
            c.edit(*wnd);
        ASSERT_TRUE(wnd->BOKClick());
        EXPECT_TRUE(Lines(ReadAll(wnd->settingsPath)).contains(c.written))
            << c.stored.toStdString() << " -> " << c.written.toStdString();
    }
    if (faceListed) {
        AppSettings().ComposeMessageFontName = "No Such Face";
        wnd->LoadFromSettings();
        EXPECT_EQ(wnd->CBComposeMsgFontName->currentText(), systemFace);
    }
    EXPECT_EQ(Shown(), QStringList());
}

TEST_F(SettingsWindowTest, CancelChangesNothing)
{
    AddAccount("anna", true);
    const QString before = work.filePath("before.ini");
    ASSERT_TRUE(AppSettings().Save(before));
    const QString elsewhere = work.filePath("boxes");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    wnd->CBMailAutoCheck->setChecked(false);
    wnd->PConnectTimeout->setValue(5);
    wnd->RBMbxElsewhere->setChecked(true);
    wnd->EMbxElsewhere->setText(elsewhere);
    wnd->CBSound->setChecked(false);
    wnd->DefIncomingEncodingFrame->SelectCharset(5);
    wnd->BCancel->click();

    const QString after = work.filePath("after.ini");
    ASSERT_TRUE(AppSettings().Save(after));
    EXPECT_EQ(ReadAll(after), ReadAll(before));
    EXPECT_FALSE(QFile::exists(wnd->settingsPath));
    EXPECT_FALSE(QFile::exists(AutostartFilePath()));
    EXPECT_EQ(MailboxFiles(dataDir), QStringList{"anna.mbx"});
    EXPECT_EQ(MailboxFiles(elsewhere), QStringList());
    // Showing again discards the abandoned edits.
    wnd->LoadFromSettings();
    EXPECT_TRUE(wnd->CBMailAutoCheck->isChecked());
    EXPECT_EQ(wnd->PConnectTimeout->value(), 60);
}

// Moving the mailbox folder: every account (and a file that failed to
// load) is in the new folder, nothing is replaced there, and a new start
// that reads the saved settings finds them all.
TEST_F(SettingsWindowTest, MovingTheMailboxFolderKeepsEveryAccountAcrossARestart)
{
    AddAccount("anna", true);
    AddAccount("bob", true);
    AddAccount("cid", false); // made this session, never saved
    WriteAll(dataDir + "damaged.mbx", "not a mailbox");
    const QString target = work.filePath("boxes") + '/';
    ASSERT_TRUE(QDir().mkpath(target));
    // Someone else's mailbox already there, under a name one of ours would take.
    {
        MailAccount foreign(nullptr);
        foreign.Login() = "dora";
        foreign.Server() = "pop.example.net";
        AccountsDirectory other;
        other.SetMailboxDirectory(target);
        foreign.SetOwner(&other);
        foreign.SaveToFile(SaveOptionsFromSettings());
        ASSERT_TRUE(QFile::rename(target + "dora.mbx", target + "anna.mbx"));
    }
    const QByteArray foreignBytes = ReadAll(target + "anna.mbx");

    wnd->RBMbxElsewhere->setChecked(true);
    wnd->EMbxElsewhere->setText(target);
    ASSERT_TRUE(wnd->BOKClick()) << Shown().join('|').toStdString();
    // The folder held a mailbox file: the user was asked.
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(MailboxFiles(dataDir), QStringList());
    EXPECT_EQ(ReadAll(target + "anna.mbx"), foreignBytes);
    EXPECT_EQ(Accounts().MailboxDirectory(), target);

    // The session ends: the accounts are saved where the program now keeps them.
    int index = 0;
    Accounts().SaveAll(index, SaveOptionsFromSettings());
    EXPECT_EQ(MailboxFiles(dataDir), QStringList());

    // A new start.
    AppSettings() = Settings();
    AppSettings().Load(wnd->settingsPath);
    AccountsDirectory restarted;
    AccountsDirectory::LoadParams params;
    params.directory = MailboxDirectoryFromSettings();
    params.options = LoadOptionsFromSettings();
    QStringList failed;
    params.invalid = [&](AccountsDirectory::LoadParams& p, const std::exception&) {
        failed << p.currentFile;
    };
    params.incomplete = params.invalid;
    params.unreadable = params.invalid;
    ASSERT_TRUE(restarted.LoadAll(params));
    QStringList logins;
    for (int i = 0; i < restarted.Count(); ++i) {
        logins << QString::fromLatin1(restarted.At(i)->Login());
        if (restarted.At(i)->Login() != "dora") {
            EXPECT_EQ(restarted.At(i)->Password(), "pw-" + restarted.At(i)->Login());
            EXPECT_EQ(restarted.At(i)->Box().Count(), 1);
        }
    }
    logins.sort();
    EXPECT_EQ(logins, QStringList({"anna", "bob", "cid", "dora"}));
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(ReadAll(target + failed[0]), "not a mailbox");
}

// A move that fails part way leaves every file and setting where it was.
TEST_F(SettingsWindowTest, AFailedMoveLeavesTheMailboxesWhereTheyWere)
{
    AddAccount("anna", true);
    AddAccount(QByteArray(300, 'x'), false); // its file name is too long to create
    const QString target = work.filePath("boxes") + '/';
    ASSERT_TRUE(QDir().mkpath(target));
    wnd->RBMbxElsewhere->setChecked(true);
    wnd->EMbxElsewhere->setText(target);
    EXPECT_FALSE(wnd->BOKClick());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
    EXPECT_TRUE(messages.shown[0].text.contains(target));
    EXPECT_EQ(MailboxFiles(dataDir), QStringList{"anna.mbx"});
    EXPECT_EQ(MailboxFiles(target), QStringList());
    EXPECT_EQ(Accounts().MailboxDirectory(), dataDir);
    EXPECT_EQ(Accounts().At(0)->MailboxFileName(), "anna.mbx");
    EXPECT_EQ(AppSettings().MbxStorage, QString());
    EXPECT_FALSE(QFile::exists(wnd->settingsPath));
}

// The settings naming the new folder are written before the old files go:
// when they cannot be written, the move is undone (the next start reads the
// settings file as it was and finds every account in the old folder) and
// the report says why.
TEST_F(SettingsWindowTest, AMoveWhoseSettingsCannotBeWrittenIsUndone)
{
    AddAccount("anna", true);
    const QByteArray annaBefore = ReadAll(dataDir + "anna.mbx");
    WriteAll(dataDir + "damaged.mbx", "not a mailbox");
    const QString target = work.filePath("boxes") + '/';
    ASSERT_TRUE(QDir().mkpath(target));
    WriteAll(work.filePath("plain-file"), "x");
    wnd->settingsPath = work.filePath("plain-file") + "/velmora.ini"; // cannot be created
    wnd->RBMbxElsewhere->setChecked(true);
    wnd->EMbxElsewhere->setText(target);
    wnd->PConnectTimeout->setValue(33);

    EXPECT_TRUE(wnd->BOKClick()); // the other settings stay in effect for this session
    ASSERT_EQ(messages.shown.size(), 1) << Shown().join('|').toStdString();
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
    EXPECT_TRUE(messages.shown[0].text.contains(target)) << Shown()[0].toStdString();
    EXPECT_TRUE(messages.shown[0].text.contains("Not a directory")) << Shown()[0].toStdString();
    EXPECT_EQ(MailboxFiles(dataDir), (QStringList{"anna.mbx", "damaged.mbx"}));
    EXPECT_EQ(ReadAll(dataDir + "anna.mbx"), annaBefore);
    EXPECT_EQ(MailboxFiles(target), QStringList());
    EXPECT_EQ(Accounts().MailboxDirectory(), dataDir);
    EXPECT_EQ(Accounts().At(0)->MailboxFileName(), "anna.mbx");
    EXPECT_EQ(AppSettings().MbxStorage, QString());
    EXPECT_EQ(AppSettings().ConnectTimeout, 33);

    // The session ends: the account is written where the program keeps it.
    Accounts().At(0)->SaveToFile(SaveOptionsFromSettings());
    EXPECT_EQ(MailboxFiles(dataDir), (QStringList{"anna.mbx", "damaged.mbx"}));
    EXPECT_EQ(MailboxFiles(target), QStringList());
}

TEST_F(SettingsWindowTest, AFolderThatCannotTakeFilesIsRefused)
{
    AddAccount("anna", true);
    WriteAll(work.filePath("plain-file"), "x");
    // /proc takes no new files, whoever runs the test.
    const QString folders[] = {"/proc", work.filePath("missing"), work.filePath("plain-file"),
                               "relative/folder"};
    for (const QString& folder : folders) {
        messages.shown.clear();
        wnd->LoadFromSettings();
        wnd->RBMbxElsewhere->setChecked(true);
        wnd->EMbxElsewhere->setText(folder);
        wnd->PGC->setCurrentIndex(0);
        EXPECT_FALSE(wnd->BOKClick()) << folder.toStdString();
        ASSERT_EQ(messages.shown.size(), 1) << folder.toStdString();
        EXPECT_EQ(messages.shown[0].text,
                  "Folder " + folder +
                      " does not exist or no file can be created in it; choose another folder "
                      "for the mailbox files.");
        EXPECT_EQ(wnd->PGC->currentWidget(), wnd->TSMail);
        EXPECT_EQ(AppSettings().MbxStorage, QString());
        EXPECT_EQ(MailboxFiles(dataDir), QStringList{"anna.mbx"});
        EXPECT_FALSE(QFile::exists(wnd->settingsPath));
    }
}

TEST_F(SettingsWindowTest, TheStartUpEntryNamesTheDataDirectory)
{
    const QString entry = AutostartFilePath();
    wnd->CBRunOnWindowsStartup->setChecked(true);
    ASSERT_TRUE(wnd->BOKClick());
    QString dir = dataDir;
    dir.chop(1);
    EXPECT_TRUE(ReadAll(entry).contains("-startup --data-dir \"" + dir.toUtf8() + "\"\n"))
        << ReadAll(entry).toStdString();

    wnd->LoadFromSettings();
    wnd->CBRunOnWindowsStartup->setChecked(false);
    ASSERT_TRUE(wnd->BOKClick());
    EXPECT_FALSE(QFile::exists(entry));

    // An entry that cannot be written is reported; the settings are saved.
    WriteAll(work.filePath("not-a-folder"), "x");
    configHome.Set(work.filePath("not-a-folder").toUtf8());
    QFile::remove(wnd->settingsPath);
    wnd->LoadFromSettings();
    wnd->CBRunOnWindowsStartup->setChecked(true);
    ASSERT_TRUE(wnd->BOKClick());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].text,
              "Could not change the start-up entry " + AutostartFilePath() + ".");
    EXPECT_TRUE(Lines(ReadAll(wnd->settingsPath)).contains("RunOnStartup=1"));
}

TEST_F(SettingsWindowTest, DownloadChoiceDecidesWhetherTheNextCheckRereadsTheList)
{
    MailAccount* a = AddAccount("anna", false);
    struct Case
    {
        int before;
        QRadioButton* SettingsWindow::*choice;
        bool reread;
    };
    const Case cases[] = {
        {0, &SettingsWindow::RBWhole, true},        {0, &SettingsWindow::RBWholeIfSmall, true},
        {2, &SettingsWindow::RBWholeIfSmall, true}, {1, &SettingsWindow::RBWholeIfSmall, false},
        {2, &SettingsWindow::RBHeadersOnly, false}, {1, &SettingsWindow::RBWhole, false},
    };
    for (const Case& c : cases) {
        AppSettings().MessagesDownloadRange = c.before;
        a->Box().SetCheckFailed(!c.reread);
        wnd->LoadFromSettings();
        (wnd.get()->*c.choice)->setChecked(true);
        ASSERT_TRUE(wnd->BOKClick());
        EXPECT_EQ(a->Box().CheckFailed(), c.reread) << c.before;
    }
}

TEST_F(SettingsWindowTest, MissingCustomSoundAsksAndNoStaysInTheWindow)
{
    wnd->CBSound->setChecked(true);
    wnd->CBUseCustomSound->setChecked(true);
    wnd->ECustomSound->setText(work.filePath("gone.wav"));
    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    EXPECT_FALSE(wnd->BOKClick());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].text,
              "File " + work.filePath("gone.wav") +
                  ", which you pointed to as containing custom notification sound, does not "
                  "exist; do you want to keep your choice?");
    EXPECT_FALSE(AppSettings().UseCustomMessageNotificationSound);
    EXPECT_FALSE(QFile::exists(wnd->settingsPath));
    messages.answer = nullptr;
    EXPECT_TRUE(wnd->BOKClick());
    EXPECT_EQ(AppSettings().CustomMessageNotificationSound, work.filePath("gone.wav"));

    // The test button names a missing file.
    messages.shown.clear();
    wnd->LoadFromSettings();
    wnd->BTestCustomSound->click();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].text, "File does not exist.");
}

// The test button plays through the media framework; a file it cannot play
// (here: not a sound at all) is reported, whether or not an audio device exists.
TEST_F(SettingsWindowTest, SoundTestReportsAFileItCannotPlay)
{
    const QString file = work.filePath("noise.wav");
    WriteAll(file, QByteArray(4096, 'x'));
    wnd->CBSound->setChecked(true);
    wnd->CBUseCustomSound->setChecked(true);
    wnd->ECustomSound->setText(file);
    ASSERT_TRUE(wnd->BTestCustomSound->isEnabled());
    wnd->BTestCustomSound->click();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !messages.shown.isEmpty(); }, 30000));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
    EXPECT_TRUE(messages.shown[0].text.startsWith("An undetermined exception occured."))
        << messages.shown[0].text.toStdString();
}

// Another language chosen in the window is loaded at OK and every open
// window takes its texts: the main window (a button, the status line and the
// tree's root), an account window and the settings window itself. For the
// two translations the program ships and for a file of the user's own.
TEST_F(SettingsWindowTest, ALanguageSwitchRetranslatesEveryOpenWindow)
{
    QByteArray text = ReadAll(dataDir + "english.lng");
    ASSERT_FALSE(text.isEmpty());
    text.replace("Symbol=EN\n", "Symbol=TS\n").replace("Name=English\n", "Name=Testish\n");
    text.replace("\nBSettings=Settings\n", "\nBSettings=Setup-T\n");
    text.replace("\nAccountWnd=E-mail account settings\n", "\nAccountWnd=Account-T\n");
    text.replace("\nTSMail=Mail\n", "\nTSMail=Post-T\n");
    text.replace("\nIdle=Idle\n", "\nIdle=Idle-T\n");
    text.replace("\nMailboxes=MAIL ACCOUNTS\n", "\nMailboxes=ROOT-T\n");
    WriteAll(dataDir + "testish.lng", text);
    DiscoverLanguages(dataDir);

    struct Case
    {
        const char* listed;
        const char* file;
        const char* settings;
        const char* idle;
        const char* root;
        const char* account;
        const char* mailPage;
    } cases[] = {
        {"Polski (PL)", "polish.lng", "Ustawienia", "Bezczynny", "KONTA POCZTOWE",
         "Ustawienia konta e-mail", "Poczta"},
        {"Deutsch (DE)", "german.lng", "Einstellungen", "Bereit", "E-MAIL-KONTEN",
         "E-Mail-Kontoeinstellungen", "E-Mail"},
        {"Testish (TS)", "testish.lng", "Setup-T", "Idle-T", "ROOT-T", "Account-T", "Post-T"},
    };
    MainWindow main;
    main.show();
    AccountWindow account;
    account.show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.listed);
        ASSERT_TRUE(LoadLanguage(dataDir + "english.lng"));
        wnd->LoadFromSettings();
        EXPECT_EQ(wnd->CBLanguage->currentText(), "English (EN)");
        const int index = wnd->CBLanguage->findText(c.listed);
        ASSERT_GE(index, 0);
        wnd->CBLanguage->setCurrentIndex(index);
        ASSERT_TRUE(wnd->BOKClick());

        EXPECT_EQ(main.BSettings->text().remove('&'), c.settings);
        EXPECT_EQ(main.StatusText->text(), c.idle);
        EXPECT_EQ(main.RootNode()->text(0), c.root);
        EXPECT_EQ(account.windowTitle(), c.account);
        EXPECT_EQ(wnd->PGC->tabText(wnd->PGC->indexOf(wnd->TSMail)), c.mailPage);
        EXPECT_TRUE(Lines(ReadAll(wnd->settingsPath)).contains(QString("LanguageFile=") + c.file));
    }

    ASSERT_TRUE(LoadLanguage(dataDir + "english.lng"));
    QFile::remove(dataDir + "testish.lng");
    DiscoverLanguages(dataDir);
}

} // namespace
