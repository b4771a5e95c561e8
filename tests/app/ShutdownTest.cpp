#include <gtest/gtest.h>

#include <functional>

#include <QTemporaryDir>

#include "app/Shutdown.h"
#include "lang/BuiltinLanguage.h"
#include "lang/LanguageShell.h"
#include "core/Messages.h"

using namespace vm;

namespace {

// Hooks that record what the sequence did, in order.
struct Recorder
{
    QStringList log;
    bool exits = true;
    bool busy = false;
    bool composeOpen = false;
    bool settingsOk = true;
    QList<int> failingMailboxes;
    bool addressBookOk = true;
    int accounts = 5;
    SaveErrorChoice choice = SaveErrorChoice::ContinueSaving;

    ShutdownHooks Hooks()
    {
        ShutdownHooks h;
        h.closeFindAndExpireNewMarks = [this] { log << "expire"; };
        h.closeExits = [this] { return exits; };
        h.hideToTray = [this] { log << "hide"; };
        h.pop3Busy = [this] { return busy; };
        h.composeWindowsRemain = [this] { return composeOpen; };
        h.copyWindowState = [this] { log << "copy"; };
        h.setClosingMark = [this](bool on) { log << (on ? "closing" : "not-closing"); };
        h.saveSettings = [this](QString& reason) {
            log << "settings";
            if (!settingsOk)
                reason = "No space left on device";
            return settingsOk;
        };
        h.settingsPath = [] { return QStringLiteral("/data/velmora.ini"); };
        h.accountCount = [this] { return accounts; };
        h.saveMailbox = [this](int i, SaveFailure& f) {
            log << QStringLiteral("mbx%1").arg(i);
            if (failingMailboxes.contains(i)) {
                f = {QStringLiteral("acc%1").arg(i), "FileCreateError", "disk full"};
                return false;
            }
            return true;
        };
        h.askSaveError = [this](const SaveFailure& f) {
            log << "ask:" + f.accountName;
            return choice;
        };
        h.saveAddressBook = [this](QString& reason) {
            log << "addressbook";
            if (!addressBookOk)
                reason = "Read-only file system";
            return addressBookOk;
        };
        h.reportFailure = [this](const QString& text) { log << "report:" + text; };
        h.deleteTemporaryFiles = [this] { log << "temp"; };
        return h;
    }
};

class ShutdownTest : public ::testing::Test
{
protected:
    void SetUp() override { SetMessageService(&messages); }
    void TearDown() override { SetMessageService(nullptr); }
    RecordingMessageService messages;
    Recorder r;
};

} // namespace

TEST_F(ShutdownTest, FullOrderWhenEverythingSaves)
{
    EXPECT_TRUE(RunShutdown(r.Hooks()));
    EXPECT_EQ(r.log, (QStringList{"expire", "copy", "closing", "settings", "mbx0", "mbx1", "mbx2",
                                  "mbx3", "mbx4", "addressbook", "temp"}));
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(ShutdownTest, HideModeRefusesWithoutSaving)
{
    r.exits = false;
    EXPECT_FALSE(RunShutdown(r.Hooks()));
    EXPECT_EQ(r.log, (QStringList{"expire", "hide"}));
}

TEST_F(ShutdownTest, RunningOperationOrComposeWindowRefuses)
{
    r.busy = true;
    EXPECT_FALSE(RunShutdown(r.Hooks()));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
    EXPECT_FALSE(r.log.contains("settings"));

    r.busy = false;
    r.composeOpen = true;
    EXPECT_FALSE(RunShutdown(r.Hooks()));
    EXPECT_EQ(messages.shown.size(), 2);
    EXPECT_FALSE(r.log.contains("settings"));
}

TEST_F(ShutdownTest, SettingsFailureAnsweredNoStaysRunning)
{
    r.settingsOk = false;
    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    EXPECT_FALSE(RunShutdown(r.Hooks()));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Warning);
    EXPECT_EQ(messages.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(messages.shown[0].text.endsWith("\n\nNo space left on device"))
        << messages.shown[0].text.toStdString();
    EXPECT_FALSE(r.log.contains("mbx0"));
    EXPECT_EQ(r.log.last(), "not-closing");
}

TEST_F(ShutdownTest, SettingsFailureAnsweredYesGoesOn)
{
    r.settingsOk = false;
    EXPECT_TRUE(RunShutdown(r.Hooks()));
    EXPECT_TRUE(r.log.contains("mbx4"));
}

TEST_F(ShutdownTest, MailboxFailureContinueSavesTheRestAndTheAddressBook)
{
    r.failingMailboxes = {1};
    EXPECT_TRUE(RunShutdown(r.Hooks()));
    const int ask = r.log.indexOf("ask:acc1");
    ASSERT_GE(ask, 0);
    EXPECT_EQ(r.log.mid(ask + 1, 4), (QStringList{"mbx2", "mbx3", "mbx4", "addressbook"}));
}

TEST_F(ShutdownTest, MailboxFailureAbortKeepsRunningAndSavesNothingMore)
{
    r.failingMailboxes = {1};
    r.choice = SaveErrorChoice::AbortExit;
    EXPECT_FALSE(RunShutdown(r.Hooks()));
    EXPECT_FALSE(r.log.contains("mbx2"));
    EXPECT_FALSE(r.log.contains("addressbook"));
    EXPECT_FALSE(r.log.contains("temp"));
    EXPECT_EQ(r.log.last(), "not-closing");
}

TEST_F(ShutdownTest, AddressBookFailureAsksAndNoStaysRunning)
{
    r.addressBookOk = false;
    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    EXPECT_FALSE(RunShutdown(r.Hooks()));
    EXPECT_FALSE(r.log.contains("temp"));
    messages.answer = nullptr; // Yes
    EXPECT_TRUE(RunShutdown(r.Hooks()));
    EXPECT_TRUE(r.log.contains("temp"));
}

// A termination signal: nothing hides, refuses or asks; every failure is
// reported with its reason and the rest is still written. A POP3 operation
// that did not let go of the mailboxes keeps them from being written.
TEST_F(ShutdownTest, UnattendedNeverAsksAndWritesWhatItCan)
{
    QTemporaryDir lang;
    ASSERT_TRUE(WriteBuiltinEnglish(lang.path()));
    ASSERT_TRUE(LoadLanguage(lang.filePath("english.lng")));
    struct Case
    {
        const char* what;
        std::function<void(Recorder&)> setUp;
        QStringList log;
    } const cases[] = {
        {"everything fails",
         [](Recorder& rec) {
             rec.exits = false;
             rec.composeOpen = true;
             rec.settingsOk = false;
             rec.failingMailboxes = {1, 3};
             rec.addressBookOk = false;
         },
         {"expire", "copy", "closing", "settings",
          "report:Fatal error occured while trying to save /data/velmora.ini.\n\nNo space left on device",
          "mbx0", "mbx1",
          "report:Account: acc1\r\nException class: FileCreateError\r\nException message: disk full",
          "mbx2", "mbx3",
          "report:Account: acc3\r\nException class: FileCreateError\r\nException message: disk full",
          "mbx4", "addressbook",
          "report:Fatal error occured while trying to save /data/addressbook.vlab.\n\nRead-only file system",
          "temp"}},
        {"an operation still runs",
         [](Recorder& rec) { rec.busy = true; },
         {"expire", "copy", "closing", "settings", "addressbook", "temp"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Recorder rec;
        c.setUp(rec);
        ShutdownHooks h = rec.Hooks();
        h.unattended = true;
        h.addressBookPath = [] { return QStringLiteral("/data/addressbook.vlab"); };
        EXPECT_TRUE(RunShutdown(h));
        EXPECT_EQ(rec.log, c.log);
        EXPECT_TRUE(messages.shown.isEmpty());
    }
}
