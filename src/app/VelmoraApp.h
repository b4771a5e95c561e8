#pragma once
// The windowed program from start to end: the preparation before any window
// exists (data directory, language, settings, single instance, mailboxes,
// address book), the window step, and the close request of the main window.

#include <QObject>
#include <QString>

#include <memory>

#include "app/CommandLine.h"

class QApplication;
class QTemporaryDir;
namespace vm { class LoadingWindow; }
namespace vm { class MainWindow; }

namespace vm {

class DemoServers;
class GuiMessageService;
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
    // A termination signal: exits like the tray menu's Exit. A running
    // operation is asked to stop and the exit tried again until it has.
    void ExitOnSignal();

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
    bool showMainWindow_ = true;
    bool closing_ = false;
    int signalExitTries_ = 0;
};

} // namespace vm
