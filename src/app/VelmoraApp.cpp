#include "app/VelmoraApp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

#include "addressbook/AddressBookStartup.h"
#include "app/AutoSave.h"
#include "app/MailCheckCommands.h"
#include "app/MainWindowControl.h"
#include "app/Shutdown.h"
#include "app/TrayControl.h"
#include "config/PasswordStorage.h"
#include "config/Settings.h"
#include "config/StorageSettings.h"
#include "core/DataDir.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "core/AppInfo.h"
#include "core/TempDir.h"
#include "demo/DemoServers.h"
#include "demo/DemoSetup.h"
#include "lang/Lang.h"
#include "lang/LangStartup.h"
#include "model/MailStartup.h"
#include "model/MailboxKey.h"
#include "model/AccountsDirectory.h"
#include "model/MailboxWriter.h"
#include "net/TlsTrust.h"
#include "ops/ErrorList.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "ui/common/EditMenu.h"
#include "ui/common/GuiMessageService.h"
#include "ui/common/TranslatedWindow.h"
#include "ui/common/LoadingWindow.h"
#include "ui/common/PasswordWindow.h"
#include "ui/common/SaveErrorWindow.h"
#include "ui/common/UpdateWindow.h"
#include "ui/compose/ComposeWindow.h"
#include "ui/main/MainWindow.h"
#include "ui/view/AttachmentActions.h"
#include "ui/view/PreviewPane.h"

namespace vm {

namespace {

// While the program ends on a signal nobody is there to answer: every box
// goes to standard error, and a question takes the answer that changes
// nothing (Cancel where offered, else No).
class UnattendedMessageService : public MessageService
{
public:
    MsgAnswer Show(const MessageRequest& request) override
    {
        ConsoleMessageService console(request.buttons == MsgButtons::YesNoCancel ? MsgAnswer::Cancel
                                                                                 : MsgAnswer::No);
        return console.Show(request);
    }
};

} // namespace

VelmoraApp::VelmoraApp(QApplication& app, const CommandLine& commandLine)
    : app_(app), commandLine_(commandLine), messages_(std::make_unique<GuiMessageService>())
{
    SetMessageService(messages_.get());
    terminationTimer_.setInterval(50);
    connect(&terminationTimer_, &QTimer::timeout, this, &VelmoraApp::FinishTermination);
}

VelmoraApp::~VelmoraApp()
{
    // Nothing may still be on its way to a mailbox file when the program ends.
    autoSave_.reset();
    BackgroundMailboxWriter().Stop();
    SetMessageService(nullptr);
}

void VelmoraApp::SetLoadingMessage(const QString& text)
{
    if (loading_)
        loading_->SetMessage(text);
}

QString VelmoraApp::StartDemo()
{
    if (commandLine_.dataDir.isEmpty()) {
        demoDir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/velmora-demo-XXXXXX"));
        if (!demoDir_->isValid())
            return QStringLiteral("cannot make a data directory for the demo: %1").arg(demoDir_->errorString());
        commandLine_.dataDir = demoDir_->path();
    }
    // VELMORA_DEMO_INTERVAL: seconds between two new demo messages.
    bool ok = false;
    int interval = qEnvironmentVariableIntValue("VELMORA_DEMO_INTERVAL", &ok);
    if (!ok || interval < 0)
        interval = 180;
    // The servers' mail of an earlier run in this data directory, if any:
    // its web server's port is taken again when free, as its mail links
    // there.
    demoStoreFile_ = QDir(commandLine_.dataDir).filePath(QStringLiteral("demo-servers.dat"));
    DemoStoreImage saved;
    QString problem;
    const bool haveSaved = DemoMailStore::ReadFile(demoStoreFile_, saved, &problem);
    DemoServers::Options options = DemoServerOptions(interval * 1000);
    options.webPort = saved.webPort;
    demo_ = std::make_unique<DemoServers>();
    QString error;
    if (!demo_->Start(options, &error))
        return error;
    if (haveSaved) {
        demo_->Store().Restore(saved);
    } else {
        FillDemoMailboxes(*demo_, QDateTime::currentDateTime());
        if (!problem.isEmpty()) {
            // A file that cannot be read stays as it is: this run keeps its
            // mail in memory only.
            std::fprintf(stderr, "velmora: the demo's mail in %s is not used (%s)\n",
                         demoStoreFile_.toLocal8Bit().constData(), problem.toLocal8Bit().constData());
            demoStoreFile_.clear();
        }
    }
    return {};
}

int VelmoraApp::Prepare()
{
    if (commandLine_.demo) {
        const QString problem = StartDemo();
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "velmora: %s\n", problem.toLocal8Bit().constData());
            ShowError(problem);
            return 2;
        }
    }

    // The data directory stands where the program directory stood: settings,
    // language files, mailboxes and the address book all live there.
    const DataDirChoice dir = ResolveDataDirFromEnvironment(commandLine_.dataDir);
    const QString problem = PrepareDataDir(dir.path);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "velmora: %s\n", problem.toLocal8Bit().constData());
        ShowError(problem);
        return 2;
    }
    AppInfo::SetDataDir(dir.path);
    AppInfo& appObject = AppInfo::Instance();
    appObject.startedBySystem = commandLine_.startedBySystem;
    QApplication::setApplicationDisplayName(appObject.ProductName() + ' ' +
                                            appObject.ProductVersion());

    // The shared edit menu of every text field, and re-translation of every
    // open window whenever a language file is loaded.
    InstallEditMenu();
    InstallTranslationHandler();
    InstallGuiPasswordPrompt();

    // Language files first (their texts are needed for every later message),
    // then the settings, then the language file the settings ask for. Until a
    // language is loaded only fixed English texts can be shown.
    QString fatal = DiscoverLanguageFiles(appObject.ProgramDir());
    if (!fatal.isEmpty()) {
        ShowError(fatal);
        return 0;
    }
    const bool newSettings = !QFileInfo::exists(appObject.SettingsFilePath());
    AppSettings().Load(appObject.SettingsFilePath());
    if (demo_ && newSettings)
        ApplyDemoSettings(AppSettings());
    fatal = ChooseAndLoadLanguage(appObject.ProgramDir(), AppSettings().LanguageFile);
    if (!fatal.isEmpty()) {
        ShowError(fatal);
        return 0;
    }

    // One copy per data directory.
    instance_ = std::make_unique<SingleInstance>(dir.path);
    if (!instance_->TryAcquire()) {
        instance_->NotifyRunningInstance();
        const QString text = LangFormat(QStringLiteral("COMMONS"),
                                        QStringLiteral("MultipleInstances"),
                                        {appObject.ProductName()});
        std::fprintf(stderr, "velmora: %s\n", text.toLocal8Bit().constData());
        ShowError(text);
        return 1;
    }

    // The demo servers' mail stays with the data directory from now on.
    if (demo_ && !demoStoreFile_.isEmpty()) {
        QString error;
        if (!demo_->Store().KeepIn(demoStoreFile_, demo_->WebPort(), &error))
            std::fprintf(stderr, "velmora: the demo's mail cannot be kept in %s: %s\n",
                         demoStoreFile_.toLocal8Bit().constData(), error.toLocal8Bit().constData());
    }

    // The files below hold mail and passwords; say so once when others can reach them.
    WarnIfStorageOpenToOthers(dir.path, MailboxDirectoryFromSettings());

    BuildMailboxKey();
    // The desktop keyring of this data directory, for the passwords that
    // the mailbox files leave to it.
    InstallDesktopKeyring(false);

    loading_ = std::make_unique<LoadingWindow>();
    loading_->SetVersionText(LangFormat(QStringLiteral("LOADINGWND"), QStringLiteral("Version"),
                                        {appObject.RightsLine(), appObject.FileVersion()}));
    loading_->show();
    QApplication::processEvents();

    // Every mailbox file; a bad file is reported and loading goes on.
    MailboxLoadReports reports;
    reports.progress = [this](const QString& file) {
        SetLoadingMessage(LangFormat(QStringLiteral("LOADINGWND"), QStringLiteral("Mailboxes"), {file}));
    };
    reports.incomplete = [](const QString& file) {
        ShowWarning(LangFormat(QStringLiteral("COMMONS"), QStringLiteral("IncompleteMailbox"), {file}));
    };
    reports.invalid = [](const QString& file) {
        ShowError(LangFormat(QStringLiteral("COMMONS"), QStringLiteral("InvalidMailboxError"), {file}));
    };
    reports.unreadable = [](const QString& file, const QString& message) {
        ShowError(LangFormat(QStringLiteral("COMMONS"), QStringLiteral("MailboxAccessError"),
                             {file, message}));
    };
    LoadMailboxesAtStart(Accounts(), MailboxDirectoryFromSettings(),
                         LoadOptionsFromSettings(), reports);
    if (demo_) {
        try {
            if (!SetUpDemoAccounts(Accounts(), *demo_, SaveOptionsFromSettings()))
                ShowWarning(QStringLiteral("The demo could not write the trust file %1; the TLS "
                                           "account will ask about the demo certificate.")
                                .arg(TrustFilePath()));
        } catch (const std::exception& e) {
            ShowError(ErrorMessage(e));
        }
    }

    // The address book; a damaged or unreadable file asks whether to go on.
    SetLoadingMessage(LangText(QStringLiteral("LOADINGWND"), QStringLiteral("AddressBook")));
    const QString bookPath = appObject.AddressBookFilePath();
    const bool goOn = LoadAddressBookAtStart(SharedAddressBook(), bookPath, [&](AddressBookLoadFailure f) {
        const QString key = f == AddressBookLoadFailure::Invalid ? QStringLiteral("InvalidAddressBook")
                                                                 : QStringLiteral("InaccessibleAddressBook");
        return AskGoOn(LangFormat(QStringLiteral("COMMONS"), key, {bookPath}));
    });
    if (!goOn)
        return 0;

    SetLoadingMessage(QString());
    if (!QSslSocket::supportsSsl())
        ShowWarning(LangFormat(QStringLiteral("COMMONS"), QStringLiteral("NoSSLLibraries"),
                               {QStringLiteral("libssl")}));

    appObject.checkSkipped =
        QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
    return -1;
}

void VelmoraApp::CreateWindows()
{
    SetLoadingMessage(LangText(QStringLiteral("LOADINGWND"), QStringLiteral("GUI")));
    QApplication::setApplicationDisplayName(AppInfo::Instance().ProductName());
    mainWnd_ = std::make_unique<MainWindow>();
    mainWnd_->closeRequestHandler = [this] { return OnCloseRequest(); };
    control_ = std::make_unique<MainWindowControl>(*mainWnd_);
    control_->shuttingDown = [this] { return closing_ || terminating_; };
    connect(instance_.get(), &SingleInstance::activationRequested, mainWnd_.get(),
            [this] { control_->Tray().RestoreFromTray(); });
    TranslateAll();
    // Started by the session with RunMinimizedOnStartup: only the tray icon.
    const AppInfo& appObject = AppInfo::Instance();
    showMainWindow_ = !(appObject.startedBySystem && AppSettings().RunMinimizedOnStartup);
    control_->PlaceAtStart(showMainWindow_);
    loading_.reset();
    MainWindowControl::CorrectSoundFile();
    control_->StartAutomaticChecks(appObject.startedBySystem, appObject.checkSkipped,
                                   showMainWindow_);
    // From here on every change is written as the program goes.
    AutoSave::Hooks saveHooks;
    saveHooks.mailboxesInUse = [this] { return control_->Commands().Busy(); };
    saveHooks.paused = [this] { return closing_ || terminating_; };
    saveHooks.copyWindowState = [this] {
        mainWnd_->CopyWindowState(AppSettings());
        control_->CopyFindPlacement(AppSettings());
    };
    autoSave_ = std::make_unique<AutoSave>(saveHooks);
    control_->operationEnded = [this] { autoSave_->OperationEnded(); };
    signals_ = std::make_unique<TerminationSignals>([this] { ExitOnSignal(); });
    // The update opt-in question, then the update query on a thread of its own.
    update_ = std::make_unique<UpdateCheckControl>(AppSettings(), UpdateServiceUrl());
    update_->RunStartupSteps();
}

void VelmoraApp::ExitOnSignal()
{
    if (terminating_ || exitPosted_ || !mainWnd_)
        return;
    terminating_ = true;
    unattendedMessages_ = std::make_unique<UnattendedMessageService>();
    SetMessageService(unattendedMessages_.get());
    terminationClock_.start();
    StopRunningOperations();
    CloseModalWindows();
    // The operation lets go of the mailboxes at its next network wait; the
    // dialogs' event loops end once this call has returned.
    terminationTimer_.start();
}

void VelmoraApp::StopRunningOperations()
{
    if (mainWnd_->commands.interrupt)
        mainWnd_->commands.interrupt();
    for (ComposeWindow* w : ComposeWindow::OpenWindows())
        if (w->Sending())
            w->BCancel->click(); // Stop
}

void VelmoraApp::CloseModalWindows()
{
    for (int guard = 0; guard < 32; ++guard) {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
            continue;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            // The box's own safe answer: Cancel, No or OK.
            if (QAbstractButton* escape = box->escapeButton())
                escape->click();
            else
                box->reject();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        if (QApplication::activeModalWidget() == modal)
            return; // it stays (its operation still ends): tried again shortly
    }
}

void VelmoraApp::FinishTermination()
{
    const bool sending = mainWnd_->commands.sendRunning && mainWnd_->commands.sendRunning();
    const bool running = control_->Commands().Busy() || sending;
    const bool late = terminationClock_.elapsed() >= kTerminationGraceMs;
    if (!late && (running || QApplication::activeModalWidget() || QApplication::activePopupWidget())) {
        // A dialog may have opened on the way out (a report of the ended
        // operation): close it too.
        StopRunningOperations();
        CloseModalWindows();
        return;
    }
    terminationTimer_.stop();
    ShutdownHooks hooks;
    FillShutdownHooks(hooks);
    hooks.unattended = true;
    hooks.reportFailure = [](const QString& text) { ShowError(text); };
    RunShutdown(hooks);
    closing_ = true;
    exitPosted_ = true;
    if (running) {
        // An operation that did not stop in time holds its thread: the
        // files are written (those on their way too), the process ends now.
        WaitForMailboxWrites();
        std::fflush(nullptr);
        ::_exit(0);
    }
    QApplication::exit(0);
}

void VelmoraApp::FillShutdownHooks(ShutdownHooks& hooks)
{
    control_->FillShutdownHooks(hooks);
    hooks.setStatus = [this](const QString& text) { mainWnd_->SetStatusText(text); };
    hooks.setBusyCursor = [this](bool busy) {
        mainWnd_->setCursor(busy ? Qt::WaitCursor : Qt::ArrowCursor);
    };
    hooks.setClosingMark = [this](bool on) { closing_ = on; };
    hooks.closeFindAndExpireNewMarks = [this] {
        control_->CloseFind(AppSettings());
        mainWnd_->ExpireNewMarks();
    };
    hooks.copyWindowState = [this] { mainWnd_->CopyWindowState(AppSettings()); };
    hooks.saveSettings = [](QString& reason) {
        return AppSettings().Save(AppInfo::Instance().SettingsFilePath(), &reason);
    };
    hooks.settingsPath = [] { return AppInfo::Instance().SettingsFilePath(); };
    hooks.accountCount = [] { return Accounts().Count(); };
    hooks.saveMailbox = [](int i, SaveFailure& failure) {
        MailAccount* account = Accounts().At(i);
        try {
            account->SaveToFile(SaveOptionsFromSettings());
            return true;
        } catch (const std::exception& e) {
            failure = {QString::fromUtf8(account->DisplayName()), ErrorClassName(e), ErrorMessage(e)};
            return false;
        }
    };
    hooks.askSaveError = [this](const SaveFailure& f) {
        SaveErrorWindow wnd(LangFormat(QStringLiteral("ERROR"), QStringLiteral("ExceptionReport"),
                                     {f.accountName, f.errorClass, f.errorMessage}),
                          mainWnd_.get());
        return wnd.exec() == QDialog::Accepted ? SaveErrorChoice::ContinueSaving
                                               : SaveErrorChoice::AbortExit;
    };
    hooks.saveAddressBook = [](QString& reason) {
        try {
            SharedAddressBook().SaveToFile(AppInfo::Instance().AddressBookFilePath());
            return true;
        } catch (const std::exception& e) {
            reason = ErrorMessage(e);
            return false;
        }
    };
    hooks.addressBookPath = [] { return AppInfo::Instance().AddressBookFilePath(); };
    hooks.deleteTemporaryFiles = [this] {
        mainWnd_->ViewFrame->DeletePageFiles();
        DeleteOpenedAttachmentCopies();
        RemoveTempDir();
    };
}

bool VelmoraApp::OnCloseRequest()
{
    if (closing_)
        return true;
    ShutdownHooks hooks;
    FillShutdownHooks(hooks);
    if (!RunShutdown(hooks)) {
        closing_ = false;
        return false;
    }
    closing_ = true;
    exitPosted_ = true;
    QMetaObject::invokeMethod(&app_, [] { QApplication::exit(0); }, Qt::QueuedConnection);
    return true;
}

int VelmoraApp::Run()
{
    const int code = Prepare();
    if (code >= 0)
        return code;
    CreateWindows();
    return QApplication::exec();
}

} // namespace vm
