#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

#include "config/Settings.h"
#include "support/TestFiles.h"

using namespace vm;
using vm::test::ReadFile;
using vm::test::WriteFile;

namespace {

TDateTime Days(int y, int m, int d, int h = 0, int min = 0)
{
    return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(y, m, d))) +
           (h * 60 + min) / 1440.0;
}

} // namespace

TEST(Settings, MissingFileKeepsDefaults)
{
    Settings s;
    EXPECT_FALSE(s.Load("/nonexistent/velmora.ini"));
    EXPECT_EQ(s.MessageSaveRange, 2);
    EXPECT_EQ(s.AutoMailCheckInterval, 600);
    EXPECT_EQ(s.ComposeMessageEncoding, 1);
    EXPECT_EQ(s.MessageNotification, Settings::kNotifyWindow | Settings::kNotifySound);
    EXPECT_EQ(s.LanguageFile, QString("english.lng"));
}

TEST(Settings, ReadingRules)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/velmora.ini";
    WriteFile(ini, "[general]\n"
                   "autoMAILcheck=0\n"
                   "CheckMailOnTimer=7\n"        // any non-zero integer is true
                   "AutoMailCheckInterval=abc\n" // unconvertible: current value stays
                   "ConnectTimeout= 90 \n"
                   "MbxStorage=  " +
                       dir.path().toUtf8() +
                       "/gone  \n"
                       "MessageNotification=5\n" // window + Scroll Lock
                       "OldMessagesUnit=4\n"
                       "[LANGUAGES]\n"
                       "LanguageFile=C:\\Program Files\\Velmora\\deutsch.lng\n"
                       "ComposeMessageEncoding=26\n"
                       "[Search]\nbody=1\n");
    Settings s;
    EXPECT_TRUE(s.Load(ini));
    EXPECT_FALSE(s.AutoMailCheck);
    EXPECT_TRUE(s.CheckMailOnTimer);
    EXPECT_EQ(s.AutoMailCheckInterval, 600);
    EXPECT_EQ(s.ConnectTimeout, 90);
    EXPECT_EQ(s.MbxStorage, QString()); // the directory does not exist
    EXPECT_EQ(s.MessageNotification, Settings::kNotifyWindow | Settings::kNotifyScrollLock);
    EXPECT_EQ(s.OldMessagesUnit, 1);
    EXPECT_EQ(s.LanguageFile, QString("deutsch.lng"));
    EXPECT_EQ(s.ComposeMessageEncoding, 27);
    EXPECT_TRUE(s.Body);
    // The file exists but lacks MessageSaveRange: headers only.
    EXPECT_EQ(s.MessageSaveRange, 1);

    QDir(dir.path()).mkdir("boxes");
    WriteFile(ini, "[GENERAL]\nMbxStorage= " + dir.path().toUtf8() +
                       "/boxes \n"
                       "MessageSaveRange=4\nLanguageFile=/usr/share/x/polski.lng\n");
    Settings t;
    EXPECT_TRUE(t.Load(ini));
    EXPECT_EQ(t.MbxStorage, dir.path() + "/boxes");
    EXPECT_EQ(t.MessageSaveRange, 4);
    EXPECT_EQ(t.ComposeMessageEncoding, 1); // missing key keeps charset id 1
}

TEST(Settings, NumbersOutsideTheirRangesAreBroughtBackOnReading)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/velmora.ini";
    struct Case
    {
        const char* line; // under its section
        int Settings::*field;
        int expected;
    };
    // Amounts become the nearest bound; choices the built-in default.
    const Case cases[] = {
        {"[GENERAL]\nConnectTimeout=2147483647", &Settings::ConnectTimeout, 2147483},
        {"[GENERAL]\nConnectTimeout=2147483", &Settings::ConnectTimeout, 2147483},
        {"[GENERAL]\nConnectTimeout=0", &Settings::ConnectTimeout, 1},
        {"[GENERAL]\nConnectTimeout=-30", &Settings::ConnectTimeout, 1},
        {"[GENERAL]\nMessageNotificationWindowTimeout=99999999",
         &Settings::MessageNotificationWindowTimeout, 2147483},
        {"[GENERAL]\nAutoMailCheckInterval=5", &Settings::AutoMailCheckInterval, 60},
        {"[GENERAL]\nAutoMailCheckInterval=90", &Settings::AutoMailCheckInterval, 90},
        // Whole minutes the settings window can show and multiply back by 60.
        {"[GENERAL]\nAutoMailCheckInterval=2147483647", &Settings::AutoMailCheckInterval,
         2147483640},
        {"[GENERAL]\nStartupSleepingTime=2147483647", &Settings::StartupSleepingTime, 2147483},
        {"[GENERAL]\nNewMessagesTimeout=2147483647", &Settings::NewMessagesTimeout, 2147483},
        {"[GENERAL]\nMaximumDownloadSize=4194304", &Settings::MaximumDownloadSize, 4194303},
        {"[GENERAL]\nMaximumSaveSize=-1", &Settings::MaximumSaveSize, 1},
        {"[GENERAL]\nMinimumSaveSize=0", &Settings::MinimumSaveSize, 1},
        {"[GENERAL]\nStartupSleepingTime=-1", &Settings::StartupSleepingTime, 1},
        {"[GENERAL]\nNewMessagesTimeout=0", &Settings::NewMessagesTimeout, 1},
        {"[GENERAL]\nOldMessagesTime=2147483647\nOldMessagesUnit=3", &Settings::OldMessagesTime,
         1000000},
        {"[GENERAL]\nMessagesDownloadRange=3", &Settings::MessagesDownloadRange, 2},
        {"[GENERAL]\nMessageSaveRange=6", &Settings::MessageSaveRange, 2},
        {"[GENERAL]\nMessageSaveRange=-1", &Settings::MessageSaveRange, 2},
        {"[GENERAL]\nMsgListNavigation=2", &Settings::MsgListNavigation, 1},
        {"[GENERAL]\nDefaultBrowserPage=-1", &Settings::DefaultBrowserPage, 1},
        {"[GENERAL]\nMessageNotificationWindowType=5", &Settings::MessageNotificationWindowType, 0},
        {"[GENERAL]\nOldMessagesUnit=7", &Settings::OldMessagesUnit, 1},
        {"[GENERAL]\nNewMessagesStyle=3", &Settings::NewMessagesStyle, 2},
        {"[GENERAL]\nPasswordStorage=2", &Settings::PasswordStorage, 0},
        {"[GENERAL]\nPasswordStorage=1", &Settings::PasswordStorage, 1},
        {"[GENERAL]\nComposeMessageFontSize=0", &Settings::ComposeMessageFontSize, 10},
        {"[GENERAL]\nComposeMessageFontColor=-1", &Settings::ComposeMessageFontColor, 0},
        {"[GENERAL]\nComposeMessageFontColor=$FF8000", &Settings::ComposeMessageFontColor,
         0xFF8000},
        {"[LANGUAGES]\nDefIncomingEncoding=0", &Settings::DefIncomingEncoding, 1},
        {"[LANGUAGES]\nDefIncomingEncoding=28", &Settings::DefIncomingEncoding, 1},
        {"[LANGUAGES]\nDefIncomingEncoding=27", &Settings::DefIncomingEncoding, 27},
        {"[LANGUAGES]\nComposeMessageEncoding=27", &Settings::ComposeMessageEncoding, 1},
        {"[LANGUAGES]\nComposeMessageEncoding=2147483647", &Settings::ComposeMessageEncoding, 1},
        {"[WINDOWS]\nMainWndColumn=5", &Settings::MainWndColumn, 2},
    };
    for (const Case& c : cases) {
        WriteFile(ini, QByteArray(c.line) + "\n");
        Settings s;
        ASSERT_TRUE(s.Load(ini)) << c.line;
        EXPECT_EQ(s.*c.field, c.expected) << c.line;
    }
    // The old-message threshold follows the bounded age.
    WriteFile(ini, "[GENERAL]\nOldMessagesTime=2147483647\nOldMessagesUnit=1\n");
    Settings s;
    ASSERT_TRUE(s.Load(ini));
    EXPECT_NEAR(s.OldMessagesThreshold, Now() - 1000000, 1.0 / 1440);
}

TEST(Settings, SaveAndLoadRoundTrip)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/velmora.ini";
    Settings s;
    s.AutoUpdateCheck = true;
    s.LastAccount = "Home\nInjected=1"; // a line break must not create a key
    s.ComposeMessageEncoding = 12;
    s.MessageNotification = Settings::kNotifySound | Settings::kNotifyScrollLock;
    s.MessageSaveRange = 5;
    s.MainWndLeft = -5;
    s.UpdateReminder = Days(2024, 2, 29, 13, 45) + 0.123 / 86400;
    s.New = true;
    ASSERT_TRUE(s.Save(ini));

    const QByteArray text = ReadFile(ini);
    EXPECT_TRUE(text.contains("ComposeMessageEncoding=11\n"));
    EXPECT_TRUE(text.contains("MessageNotification=6\n"));
    // LANGUAGES is its own section between GENERAL and WINDOWS.
    const auto g = text.indexOf("[GENERAL]");
    const auto l = text.indexOf("[LANGUAGES]");
    const auto w = text.indexOf("[WINDOWS]");
    const auto q = text.indexOf("[SEARCH]");
    EXPECT_TRUE(g >= 0 && g < l && l < w && w < q);
    EXPECT_LT(text.indexOf("MainWndTop"), text.indexOf("MainWndLeft"));

    Settings r;
    ASSERT_TRUE(r.Load(ini));
    EXPECT_TRUE(r.AutoUpdateCheck);
    EXPECT_EQ(r.LastAccount, QString("Home Injected=1"));
    EXPECT_EQ(r.ComposeMessageEncoding, 12);
    EXPECT_EQ(r.MessageNotification, s.MessageNotification);
    EXPECT_EQ(r.MessageSaveRange, 5);
    EXPECT_EQ(r.MainWndLeft, -5);
    EXPECT_TRUE(r.New);
    EXPECT_EQ(DateTimeToText(r.UpdateReminder), DateTimeToText(s.UpdateReminder));
    EXPECT_NEAR(r.UpdateReminder, s.UpdateReminder, 0.5 / 86400000.0 + 1e-12);
}

TEST(Settings, UnknownKeysSurviveASave)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/velmora.ini";
    WriteFile(ini, "[GENERAL]\nFutureKey=keep me\n[PLUGINS]\nx=1\n");
    Settings s;
    s.Load(ini);
    ASSERT_TRUE(s.Save(ini));
    const QByteArray text = ReadFile(ini);
    EXPECT_TRUE(text.contains("FutureKey=keep me"));
    EXPECT_TRUE(text.contains("[PLUGINS]\nx=1"));
}

// PasswordStorage is written only when it is not 0, so a file that never
// used it keeps its bytes; switching back to 0 takes it out of the file.
TEST(Settings, PasswordStorageIsWrittenOnlyWhenSet)
{
    struct Case
    {
        const char* before;
        int value;
        const char* line; // in the saved file; nullptr: no such key at all
    };
    const Case cases[] = {
        {"", 0, nullptr},
        {"", 1, "\nPasswordStorage=1\n"},
        {"[GENERAL]\nPasswordStorage=1\n", 0, nullptr},
        {"[General]\npasswordstorage=1\n", 0, nullptr},
        {"[GENERAL]\nPasswordStorage=0\n", 1, "\nPasswordStorage=1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.before) + " -> " + std::to_string(c.value));
        QTemporaryDir dir;
        const QString ini = dir.path() + "/velmora.ini";
        WriteFile(ini, c.before);
        Settings s;
        s.Load(ini);
        s.PasswordStorage = c.value;
        ASSERT_TRUE(s.Save(ini));
        const QByteArray text = ReadFile(ini);
        EXPECT_EQ(text.toLower().count("passwordstorage"), c.line ? 1 : 0) << text.constData();
        EXPECT_TRUE(!c.line || text.contains(c.line)) << text.constData();
        Settings r;
        r.Load(ini);
        EXPECT_EQ(r.PasswordStorage, c.value);
    }
}

// Reading drops blanks around a value and one pair of quotes around it: a
// value that has them must still read back as saved, and saving again must
// not change the file (found by fuzz/config).
TEST(Settings, ValuesWithBlanksOrQuotesReadBackAsSaved)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/velmora.ini";
    const QStringList values = {" Work ", "\"Work\"", "'Work'", "\"", "\"a\" and \"b\"",
                                "tab\t", "\"'x'\"", "plain"};
    for (const QString& value : values) {
        SCOPED_TRACE(value.toStdString());
        Settings s;
        s.LastAccount = value;
        s.ComposeMessageFontName = value;
        ASSERT_TRUE(s.Save(ini));
        const QByteArray once = ReadFile(ini);
        Settings r;
        ASSERT_TRUE(r.Load(ini));
        EXPECT_EQ(r.LastAccount, value);
        EXPECT_EQ(r.ComposeMessageFontName, value);
        ASSERT_TRUE(r.Save(ini));
        EXPECT_EQ(ReadFile(ini), once);
    }
    // A key of another program keeps its value through a load and save.
    WriteFile(ini, "[PLUGINS]\nname=\"\"two pairs\"\"\n");
    Settings s;
    s.Load(ini);
    ASSERT_TRUE(s.Save(ini));
    ASSERT_TRUE(s.Load(ini));
    ASSERT_TRUE(s.Save(ini));
    EXPECT_TRUE(ReadFile(ini).contains("name=\"\"two pairs\"\"\n"));
}

TEST(Settings, FailedWriteReturnsFalseAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/velmora.ini";
    WriteFile(ini, "[GENERAL]\nConnectTimeout=33\n");
    const QByteArray before = ReadFile(ini);

    // Limit the size of files this process may write, so the new file cannot
    // be written completely (this works even for root).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Settings s;
    const bool saved = s.Save(ini);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadFile(ini), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary left
    EXPECT_FALSE(s.Save(dir.path() + "/missing/dir/velmora.ini"));
}

TEST(Settings, OldMessageThreshold)
{
    const TDateTime now = Days(2008, 3, 15, 10, 30);
    EXPECT_DOUBLE_EQ(Settings::ComputeOldMessagesThreshold(now, 14, 3, 0),
                     Days(2007, 1, 15, 10, 30));
    EXPECT_DOUBLE_EQ(Settings::ComputeOldMessagesThreshold(now, 2, 3, 0),
                     Days(2008, 1, 15, 10, 30));
    EXPECT_DOUBLE_EQ(Settings::ComputeOldMessagesThreshold(now, 12, 3, 0),
                     Days(2007, 3, 15, 10, 30));
    EXPECT_DOUBLE_EQ(Settings::ComputeOldMessagesThreshold(now, 24, 0, 0), now - 1);
    EXPECT_DOUBLE_EQ(Settings::ComputeOldMessagesThreshold(now, 10, 1, 0), now - 10);
    EXPECT_DOUBLE_EQ(Settings::ComputeOldMessagesThreshold(now, 2, 2, 0), now - 14);
    EXPECT_DOUBLE_EQ(Settings::ComputeOldMessagesThreshold(now, 2, 9, 42.0), 42.0);
    // The 31st going back to a 30-day month becomes the 30th.
    EXPECT_DOUBLE_EQ(Settings::ComputeOldMessagesThreshold(Days(2008, 5, 31), 1, 3, 0),
                     Days(2008, 4, 30));

    Settings s;
    s.SetOldMessagesUnit(1);
    s.SetOldMessagesTime(3);
    EXPECT_NEAR(s.OldMessagesThreshold, Now() - 3, 1.0 / 1440);
}

TEST(Settings, DateTimeText)
{
    TDateTime t = 0;
    EXPECT_TRUE(DateTimeFromText(DateTimeToText(0), t));
    EXPECT_EQ(t, 0);
    const TDateTime v = Days(2031, 12, 31, 23, 59) + 59.999 / 86400;
    ASSERT_TRUE(DateTimeFromText(DateTimeToText(v), t));
    EXPECT_EQ(DateTimeToText(t), DateTimeToText(v));
    EXPECT_TRUE(DateTimeFromText("2020-01-02", t));
    EXPECT_EQ(t, Days(2020, 1, 2));
    EXPECT_FALSE(DateTimeFromText("yesterday", t));
    EXPECT_FALSE(DateTimeFromText("2020-13-01 10:00:00", t));
}
