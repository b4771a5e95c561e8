#pragma once
// Shared pieces of the main window and account window tests: a QApplication,
// a private data directory, and message records built from header text.

#include <QApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include "support/GuiTestApp.h"
#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/LangStartup.h"
#include "ui/main/MainWindow.h"
#include "core/DateTime.h"
#include "core/AppInfo.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"

#include <ostream>

// Readable texts in test failures.
inline std::ostream& operator<<(std::ostream& os, const QString& s)
{
    return os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QString& s, std::ostream* os) { *os << s; }
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace vmtest {

using namespace vm;

// Creates the application object once and points the data directory and
// the mailbox directory at a private temporary folder.
inline QString EnsureGuiApp()
{
    static QTemporaryDir dir;
    if (!qApp) {
        MakeGuiTestApp();
        vm::AppInfo::SetDataDir(dir.path() + '/');
        vm::Accounts().SetMailboxDirectory(dir.path() + '/');
    }
    return dir.path() + '/';
}

// The start every test of a main window shares: the application with the
// English texts, default settings (no saved window placement), no accounts,
// and a message service that records what would be shown.
class MainWindowTestBase : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        dataDir = EnsureGuiApp();
        ASSERT_EQ(DiscoverLanguageFiles(dataDir), QString());
        ASSERT_EQ(ChooseAndLoadLanguage(dataDir, "english.lng"), QString());
    }
    void SetUp() override
    {
        SetMessageService(&messages);
        AppSettings() = Settings();
        AppSettings().SaveWindowParams = false;
        Accounts().Clear();
        Accounts().SetMailboxDirectory(dataDir);
    }
    void TearDown() override
    {
        wnd.reset();
        Accounts().Clear();
        SetMessageService(nullptr);
    }

    static inline QString dataDir;
    RecordingMessageService messages;
    std::unique_ptr<MainWindow> wnd;
};

// A record holding the header block of a message with the given sender,
// subject and date (0 = no Date header).
inline MessageRecord* MakeMessage(const QByteArray& uidl, const QByteArray& from,
                                 const QByteArray& subject, vm::TDateTime date, int size,
                                 bool isNew = false, bool whole = false)
{
    auto* m = new MessageRecord;
    m->UID = uidl;
    m->size = size;
    QByteArray raw = "From: " + from + "\r\nSubject: " + subject + "\r\n";
    if (date != 0)
        raw += "Date: " +
               vm::FromDays(date).toUTC().toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    raw += "Message-ID: <" + uidl + "@test>\r\n\r\n";
    if (whole) {
        raw += "Body text\r\n";
        m->headersOnly = false;
    }
    m->raw = raw;
    if (whole)
        m->ParseWhole();
    else
        m->ParseHeaders();
    m->Date = date; // exact, without the second rounding of the header
    m->SetNew(isNew);
    return m;
}

// Days since 1899-12-30 for a local date and time.
inline vm::TDateTime Day(int y, int mo, int d, int h = 12, int mi = 0)
{
    return vm::ToDays(QDateTime(QDate(y, mo, d), QTime(h, mi)));
}

} // namespace vmtest
