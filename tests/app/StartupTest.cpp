#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <csignal>

#include "support/GuiTestApp.h"
#include "app/VelmoraApp.h"
#include "config/Settings.h"
#include "core/Messages.h"
#include "core/AppInfo.h"
#include "lang/BuiltinLanguage.h"
#include "support/TestFiles.h"
#include "lang/LanguageShell.h"
#include "ui/common/SaveErrorWindow.h"
#include "ui/main/MainWindow.h"

using namespace vm;
using vm::test::WriteFile;

namespace {

QApplication& App()
{
    return *vmtest::MakeGuiTestApp();
}

// The whole windowed start and close on one data directory; one test,
// because the program's objects (settings, language, application) are
// process-wide like in the real program.
TEST(Startup, HandWrittenLanguageThenSwitchAndCleanExit)
{
    App();
    const vm::test::ScopedEnv answer("VELMORA_MESSAGE_ANSWER", "no");
    QTemporaryDir data;
    const QString dir = data.path();
    // A translation with a comment, an include, an escaped percent sign and
    // an accelerator; the settings choose it.
    WriteFile(dir + "/german.lng", "\xef\xbb\xbf; Testsprache\n"
                                   "[HEAD]\nSymbol=DE\nName=Deutsch\n\n"
                                   "[SHARED]\nBInfo=\xc3\x9c\x62\x65r\n\n"
                                   "[MAINWND]\n$include=SHARED;\n"
                                   "BRefresh=E-Mail &abrufen # Kommentar\n"
                                   "BSettings=Einstellungen 100%%\n"
                                   "Idle=Bereit\n");
    WriteFile(dir + "/velmora.ini", "[LANGUAGES]\nLanguageFile=german.lng\n");

    CommandLine cl;
    cl.dataDir = dir;
    VelmoraApp velmora(App(), cl);
    ASSERT_EQ(velmora.Prepare(), -1);
    // A usable translation was found: the built-in English file is not needed.
    EXPECT_FALSE(QFile::exists(dir + "/english.lng"));
    velmora.CreateWindows();
    MainWindow* w = velmora.Window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->BRefresh->text(), "E-Mail &abrufen ");
    EXPECT_EQ(w->BInfo->text(), QString::fromUtf8("\xc3\x9c" "ber"));
    EXPECT_EQ(w->BSettings->text(), "Einstellungen 100%");

    // Switching the language at run time translates the open windows again.
    ASSERT_TRUE(WriteBuiltinEnglish(dir));
    ASSERT_TRUE(LoadLanguage(dir + "/english.lng"));
    EXPECT_EQ(w->BRefresh->text(), "Check mail");

    // Closing saves the settings, naming the language now loaded.
    w->close();
    const QByteArray saved = vm::test::ReadFile(dir + "/velmora.ini");
    EXPECT_TRUE(saved.contains("LanguageFile=english.lng")) << saved.constData();
    EXPECT_TRUE(saved.contains("[WINDOWS]"));
}

} // namespace

// An empty data directory: the built-in English file is written at start and
// the settings file at exit.
TEST(Startup, EmptyDataDirectoryRunsInEnglish)
{
    App();
    const vm::test::ScopedEnv answer("VELMORA_MESSAGE_ANSWER", "no");
    QTemporaryDir data;
    CommandLine cl;
    cl.dataDir = data.path() + "/new/folder";
    VelmoraApp velmora(App(), cl);
    ASSERT_EQ(velmora.Prepare(), -1);
    EXPECT_TRUE(QFile::exists(cl.dataDir + "/english.lng"));
    velmora.CreateWindows();
    EXPECT_EQ(velmora.Window()->BRefresh->text(), "Check mail");
    EXPECT_FALSE(QFile::exists(cl.dataDir + "/velmora.ini"));
    velmora.Window()->close();
    EXPECT_TRUE(QFile::exists(cl.dataDir + "/velmora.ini"));
}

// A termination signal (logout, kill, Ctrl+C) ends the program the orderly
// way, writing its files, instead of killing it with everything unsaved; the
// close box hiding to the tray does not stop it.
TEST(Startup, TerminationSignalsExitThroughTheOrderlyShutdown)
{
    App();
    const vm::test::ScopedEnv answer("VELMORA_MESSAGE_ANSWER", "no");
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        QTemporaryDir data;
        CommandLine cl;
        cl.dataDir = data.path();
        VelmoraApp velmora(App(), cl);
        ASSERT_EQ(velmora.Prepare(), -1);
        velmora.CreateWindows();
        AppSettings().CrossHides = true;
        std::raise(sig);
        // No event loop of its own (see below): deliver the wake-up by hand.
        const QDeadlineTimer deadline(20000);
        while (!QFile::exists(cl.dataDir + "/velmora.ini") && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_TRUE(QFile::exists(cl.dataDir + "/velmora.ini")) << "signal " << sig;
    }
}

// The window asked after a mailbox file could not be written at exit.
TEST(Startup, SaveErrorWindowHonoursBothAnswers)
{
    App();
    // Shown without its own event loop: an earlier test of this process may
    // have ended the program's loop, after which no loop runs again.
    for (const bool abort : {false, true}) {
        SaveErrorWindow wnd("Account: a||Exception class: FileCreateError||Exception message: full");
        EXPECT_TRUE(wnd.RBContinue->isChecked());
        EXPECT_TRUE(wnd.MReport->isReadOnly());
        // The caption comes from the window's section like every window's
        // (key "SaveErrorWnd"), English when no language file says it.
        EXPECT_EQ(wnd.windowTitle(), "Failure");
        wnd.show();
        if (abort)
            wnd.RBAbort->setChecked(true);
        wnd.BOK->click();
        EXPECT_EQ(wnd.result(), abort ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_FALSE(wnd.isVisible());
    }
}
