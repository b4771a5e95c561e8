#pragma once
// Ties the main window to the check commands, the tray, the automatic
// checks and the new-mail announcement: fills the window's command hooks,
// places the window at start (on screen or in the tray), arms the automatic
// checks and answers the parts of the close request that belong here.

#include <QObject>

#include <functional>
#include <memory>

namespace vm { class AddressBookWindow; }
namespace vm { class DetailsWindow; }
namespace vm { class MessageRecord; }
namespace vm { class ErrorListWindow; }
namespace vm { class FindWindow; }
namespace vm { class Settings; }
namespace vm { class SettingsWindow; }
namespace vm { class MainWindow; }
namespace vm { class SmtpClient; }

namespace vm {

class MailCheckCommands;
class MainWindowAccess;
class NewMailAnnouncer;
class TrayControl;
struct ShutdownHooks;

class MainWindowControl : public QObject
{
    Q_OBJECT
public:
    explicit MainWindowControl(MainWindow& window, QObject* parent = nullptr);
    ~MainWindowControl() override;

    // Shows the window, or puts it in the tray without showing it (the
    // fresh marks stay while it is placed).
    void PlaceAtStart(bool showWindow);
    // The start-up rule of automatic checks and the "Mail check skipped"
    // notice. Returns true when a check is due at the first tick.
    bool StartAutomaticChecks(bool startedBySystem, bool checkSkipped, bool windowShown);
    // The custom sound file correction at start.
    static void CorrectSoundFile();
    // Steps of the close request: hide instead of exit, and the refusal
    // while an operation runs.
    void FillShutdownHooks(ShutdownHooks& hooks);

    // True while the main window is shutting down (no automatic check then).
    std::function<bool()> shuttingDown;
    // Told when a POP3 operation or a receipt has ended.
    std::function<void()> operationEnded;
    // The find window's placement into the settings (when it was ever shown).
    void CopyFindPlacement(Settings& settings) const;

    // Windows whose being open holds an automatic check back.
    static bool BlockingWindowOpen();

    MailCheckCommands& Commands() const { return *commands_; }
    TrayControl& Tray() const { return *tray_; }
    NewMailAnnouncer& Announcer() const { return *announcer_; }
    ErrorListWindow& ErrorWindow() const { return *errorWindow_; }
    // The find window, created on first use.
    FindWindow& FindWnd();
    // The details window, created on first use.
    DetailsWindow& DetailsWnd();
    // popListDetails: the details window on message's row; afterwards the
    // list selects the row the window ended on.
    void OpenDetails(MessageRecord* message);
    // At shutdown: the find window's rectangle into the settings (when it
    // was ever shown), then the window closes.
    void CloseFind(Settings& settings);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The receipt question of the details window's message; a receipt is
    // sent in the window's operation state (Abort and Esc stop it).
    void AnswerReceiptInDetails(MessageRecord* message);
    // The save dialog "SaveDlg" with a default name; empty when cancelled.
    QString ChooseSaveFile(QWidget* parent, const QString& name);

    MainWindow& window_;
    std::unique_ptr<ErrorListWindow> errorWindow_;
    std::unique_ptr<NewMailAnnouncer> announcer_;
    std::unique_ptr<MainWindowAccess> access_;
    std::unique_ptr<TrayControl> tray_;
    std::unique_ptr<MailCheckCommands> commands_;
    std::unique_ptr<AddressBookWindow> addressBookWindow_;
    std::unique_ptr<FindWindow> findWindow_;
    std::unique_ptr<DetailsWindow> detailsWindow_;
    // The SMTP client of the receipt being sent, for Stop.
    SmtpClient* receiptClient_ = nullptr;
    std::unique_ptr<SettingsWindow> settingsWindow_;
};

} // namespace vm
