#pragma once
// The windowed program from start to end: the preparation before any window
// exists (data directory, language, settings, single instance, mailboxes,
// address book), the window step, and the close request of the main window.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

#include "app/CommandLine.h"

class QApplication;
class QTemporaryDir;
namespace vm { class LoadingWindow; }
namespace vm { class MainWindow; }

namespace vm {

class AutoSave;
class DemoServers;
struct ShutdownHooks;
class GuiMessageService;
class MessageService;
class MainWindowControl;
class SingleInstance;
class TerminationSignals;
class UpdateCheckControl;

class VelmoraApp : public QObject
{
    Q_OBJECT
public:
    VelmoraApp(QApplication& app, const CommandLine& commandLine);
    ~VelmoraApp() override;

    // Runs the preparation step. Returns -1 to go on, else the exit code.
    int Prepare();
    // Creates and shows the windows. Call after Prepare() returned -1.
    void CreateWindows();
    // The whole run: Prepare, CreateWindows, event loop. Returns the exit code.
    int Run();

    MainWindow* Window() const { return mainWnd_.get(); }
    bool ShowMainWindowAtStart() const { return showMainWindow_; }

private:
    void SetLoadingMessage(const QString& text);
    bool OnCloseRequest();
    // The shutdown sequence's hooks for this program.
    void FillShutdownHooks(ShutdownHooks& hooks);

    // A termination signal (logout, kill, Ctrl+C): the program ends without
    // asking anybody. The running operation (a check, removal, retrieval,
    // receipt or send) is interrupted, open dialogs and menus are closed,
    // message boxes go to standard error; once the operation has let go of
    // the mailboxes, everything is written and the program exits. Within
    // kTerminationGraceMs it exits in any case.
    void ExitOnSignal();
    void FinishTermination();
    void StopRunningOperations();
    static void CloseModalWindows();
    static constexpr qint64 kTerminationGraceMs = 8000;

    // --demo: starts the demo servers (and makes the throwaway data
    // directory when none was named) before the data directory is prepared.
    // Returns an empty text or what went wrong.
    QString StartDemo();

    QApplication& app_;
    CommandLine commandLine_;
    std::unique_ptr<QTemporaryDir> demoDir_; // removed last, at exit
    std::unique_ptr<DemoServers> demo_;
    QString demoStoreFile_; // where the demo servers keep their mail
    std::unique_ptr<GuiMessageService> messages_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<LoadingWindow> loading_;
    std::unique_ptr<MainWindow> mainWnd_;
    std::unique_ptr<MainWindowControl> control_; // after the window: goes first
    std::unique_ptr<TerminationSignals> signals_;
    std::unique_ptr<UpdateCheckControl> update_; // ends a running update query first
    std::unique_ptr<AutoSave> autoSave_;
    std::unique_ptr<MessageService> unattendedMessages_;
    bool showMainWindow_ = true;
    bool closing_ = false;
    bool terminating_ = false;
    bool exitPosted_ = false;
    QTimer terminationTimer_;
    QElapsedTimer terminationClock_;
};

} // namespace vm
