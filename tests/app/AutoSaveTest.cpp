// Saving as the program goes (AutoSave) on a private data directory, with a
// clock the test moves: what is written when, and how a failed write is
// reported.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "addressbook/AddressBook.h"
#include "app/AutoSave.h"
#include "config/Settings.h"
#include "config/StorageSettings.h"
#include "core/AppInfo.h"
#include "core/Messages.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/MailboxKey.h"
#include "model/MailboxWriter.h"
#include "support/FileSizeLimit.h"
#include "support/GuiTestApp.h"
#include "support/TestFiles.h"

using namespace vm;
using vm::test::ReadFile;

namespace {

class AutoSaveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vmtest::MakeGuiTestApp();
        AppInfo::SetDataDir(data.path());
        BuildMailboxKey();
        AppSettings() = Settings();
        AppSettings().OldMessagesSaveHeaders = false; // the undated record is kept whole
        SharedAddressBook().Clear();
        Accounts().Clear();
        Accounts().SetMailboxDirectory(data.path() + '/');
        account = new MailAccount(&Accounts());
        account->Login() = "bob";
        Accounts().Add(account);
        record = new MessageRecord;
        record->UID = "m1";
        record->raw = "Subject: one\r\n\r\nbody\r\n";
        record->headersOnly = false;
        record->SetNew(true);
        account->Box().Add(record);
        account->SaveToFile(SaveOptionsFromSettings());
        SetMessageService(&messages);

        AutoSave::Hooks hooks;
        hooks.mailboxesInUse = [this] { return inUse; };
        hooks.paused = [this] { return paused; };
        hooks.copyWindowState = [this] { ++windowStateCopies; };
        saver = std::make_unique<AutoSave>(hooks);
        saver->clock = [this] { return now; };
    }
    void TearDown() override
    {
        saver.reset();
        WaitForMailboxWrites();
        SetMessageService(nullptr);
        Accounts().Clear();
    }
    // One look at time ms, then whatever the writer was given is on disk.
    void LookAt(qint64 ms)
    {
        now = ms;
        saver->Look();
        WaitForMailboxWrites();
        QCoreApplication::processEvents(); // the writer's reports
    }
    QByteArray MailboxFile() const { return ReadFile(data.filePath("bob.mbx")); }
    std::unique_ptr<MailAccount> Reloaded() const
    {
        auto a = std::make_unique<MailAccount>();
        a->LoadFromFile(data.filePath("bob.mbx"), {});
        return a;
    }

    QTemporaryDir data;
    MailAccount* account = nullptr;
    MessageRecord* record = nullptr;
    RecordingMessageService messages;
    std::unique_ptr<AutoSave> saver;
    qint64 now = 0;
    bool inUse = false;
    bool paused = false;
    int windowStateCopies = 0;
};

} // namespace

// Each kind of change reaches its file once it has held still for two
// seconds, not before; nothing is written while nothing changes.
TEST_F(AutoSaveTest, ChangesAreWrittenOnceTheyHoldStill)
{
    const QByteArray untouched = MailboxFile();
    LookAt(0);
    EXPECT_EQ(MailboxFile(), untouched);
    EXPECT_FALSE(QFile::exists(data.filePath("velmora.ini")));
    EXPECT_FALSE(QFile::exists(data.filePath("addressbook.vlab")));

    struct Case
    {
        const char* what;
        std::function<void()> change;
        std::function<bool()> written;
    } const cases[] = {
        {"new flag", [this] { record->SetNew(false); },
         [this] { return !Reloaded()->Box().At(0)->IsNew(); }},
        {"receipt state", [this] { record->receiptState = 2; },
         [this] { return Reloaded()->Box().At(0)->receiptState == 2; }},
        {"fresh mark", [this] { record->fresh = true; },
         [this] { return Reloaded()->Box().At(0)->fresh; }},
        {"settings", [] { AppSettings().ConnectTimeout = 77; },
         [this] { return ReadFile(data.filePath("velmora.ini")).contains("ConnectTimeout=77"); }},
        {"address book",
         [] { SharedAddressBook().AddRecipients({{QStringLiteral("Ann"), "ann@example.org"}}); },
         [this] { return ReadFile(data.filePath("addressbook.vlab")).contains("ann@example.org"); }},
    };
    qint64 t = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        LookAt(t);
        LookAt(t + 1000);
        EXPECT_FALSE(c.written());
        LookAt(t + 2000);
        EXPECT_TRUE(c.written());
        t += 10000;
    }
    EXPECT_GE(windowStateCopies, 15); // the window's place is taken at every look
    EXPECT_TRUE(messages.shown.isEmpty());
}

// A state that keeps changing is written at the latest ten seconds after it
// began to differ; the end of an operation writes at once; a running
// operation (its worker owns the mailboxes) and the shutdown hold writes back.
TEST_F(AutoSaveTest, BusyUsersOperationsAndShutdown)
{
    for (int second = 0; second < 10; ++second) {
        record->receiptState = std::uint8_t(second % 2 ? 2 : 3);
        LookAt(second * 1000);
        EXPECT_EQ(Reloaded()->Box().At(0)->receiptState, 0) << "second " << second;
    }
    record->receiptState = 2;
    LookAt(10000);
    EXPECT_EQ(Reloaded()->Box().At(0)->receiptState, 2);

    auto* fetched = new MessageRecord;
    fetched->UID = "m2";
    account->Box().Add(fetched);
    inUse = true;
    LookAt(20000);
    LookAt(25000);
    EXPECT_EQ(Reloaded()->Box().Count(), 1);
    inUse = false;
    saver->OperationEnded();
    WaitForMailboxWrites();
    EXPECT_EQ(Reloaded()->Box().Count(), 2);

    paused = true;
    record->SetNew(false);
    saver->OperationEnded();
    LookAt(30000);
    LookAt(40000);
    EXPECT_TRUE(Reloaded()->Box().At(0)->IsNew());
}

// A write that fails (here a file-size limit: "File too large") keeps the
// old file, and is reported once with the system's reason until a write
// succeeds again.
TEST_F(AutoSaveTest, AFailedWriteIsReportedOnceAndKeepsTheOldFile)
{
    vm::test::FileSizeLimit limit(RLIM_INFINITY);
    const QByteArray before = MailboxFile();
    record->raw += QByteArray(200000, 'x');
    limit.Set(65536);
    saver->OperationEnded();
    WaitForMailboxWrites();
    QCoreApplication::processEvents();
    EXPECT_EQ(MailboxFile(), before);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
    EXPECT_TRUE(messages.shown[0].text.contains("File too large")) << messages.shown[0].text.toStdString();
    EXPECT_TRUE(messages.shown[0].text.contains(data.filePath("bob.mbx")));

    record->SetNew(false);
    saver->OperationEnded();
    WaitForMailboxWrites();
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.shown.size(), 1); // no second box for the same trouble
    EXPECT_EQ(MailboxFile(), before);

    limit.Set(RLIM_INFINITY);
    record->fresh = true;
    saver->OperationEnded();
    WaitForMailboxWrites();
    QCoreApplication::processEvents();
    EXPECT_EQ(Reloaded()->Box().At(0)->raw.size(), record->raw.size());

    limit.Set(65536);
    record->raw += "more";
    saver->OperationEnded();
    WaitForMailboxWrites();
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.shown.size(), 2); // a new streak of failures
}
