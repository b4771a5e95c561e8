#include "app/MainWindowControl.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QUrl>
#include <QItemSelectionModel>
#include <QTreeWidget>

#include <algorithm>

#include "addressbook/AddressBook.h"
#include "app/HelpCommand.h"
#include "app/MailCheckCommands.h"
#include "app/MailClientButton.h"
#include "app/Shutdown.h"
#include "app/TrayControl.h"
#include "config/Settings.h"
#include "core/AppInfo.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "ops/ErrorList.h"
#include "ops/OperationReport.h"
#include "ops/StatusChannel.h"
#include "platform/UserManual.h"
#include "render/MessageFiles.h"
#include "send/MessageData.h"
#include "ui/addressbook/AddressBookWindow.h"
#include "ui/common/AboutWindow.h"
#include "ui/common/BusyCursor.h"
#include "ui/common/ErrorListWindow.h"
#include "ui/common/NewMailAnnouncer.h"
#include "ui/common/NotificationSound.h"
#include "ui/compose/ComposeWindow.h"
#include "ui/compose/Composition.h"
#include "ui/main/FindWindow.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/view/AttachmentActions.h"
#include "ui/view/DetailsWindow.h"
#include "ui/view/MessageView.h"
#include "ui/view/PreviewPane.h"
#include "ui/view/ReceiptAlertWindow.h"
#include "ui/view/ReceiptRequest.h"

namespace vm {

namespace {

// The main window as the check commands see it.
class MainWindowAdapter : public MainWindowAccess
{
public:
    explicit MainWindowAdapter(MainWindow& w) : w_(w) {}

    // Told of every change of the busy state after the window.
    std::function<void(bool)> busyChanged;

    QWidget* Window() const override { return &w_; }
    QWidget* TreeControl() const override { return w_.Tree; }
    QWidget* ListControl() const override { return w_.MsgList; }
    bool RootSelected() const override { return w_.RootSelected(); }
    QList<MailAccount*> SelectedAccounts() const override { return w_.SelectedAccounts(); }
    MailAccount* ShownAccount() const override { return w_.ShownAccount(); }
    void ShowMailbox(Mailbox* mailbox) override { w_.ShowMailbox(mailbox); }
    void UpdateAccountCaptions() override { w_.UpdateAccountCaptions(); }
    void SetBusy(bool busy) override
    {
        w_.SetBusy(busy);
        // A worker may replace or destroy records of the shown mailbox: the
        // list shows its disabled look and is not painted from the records
        // until the operation has ended and the rows were brought up to date.
        if (busy) {
            w_.MsgList->viewport()->repaint();
            w_.MsgList->setUpdatesEnabled(false);
        } else {
            w_.MsgList->setUpdatesEnabled(true);
        }
        if (busyChanged)
            busyChanged(busy);
    }
    void UpdateWindowState() override { w_.UpdateWindowState(); }
    void SetStatusText(const QString& text) override { w_.SetStatusText(text); }
    void RefreshPreview() override { w_.RefreshPreview(true); }
    int SelectedRowCount() const override
    {
        return static_cast<int>(w_.MsgList->SelectedRows().size());
    }
    QList<MessageRecord*> SelectedMessages() const override
    {
        QList<MessageRecord*> out;
        for (int r : w_.MsgList->SelectedRows())
            if (MessageRecord* m = w_.ListModel->MessageAt(r))
                out.append(m);
        return out;
    }
    void MessagesRemoved(const QList<const MessageRecord*>& removed) override
    {
        // Rows are found by address only: the records are gone.
        int first = -1;
        for (const MessageRecord* m : removed) {
            const int r = w_.ListModel->RowOf(m);
            if (r >= 0 && (first < 0 || r < first))
                first = r;
        }
        w_.ShowMailbox(w_.ShownMailbox());
        MessageListModel* model = w_.ListModel;
        const int row = RowToSelectAfterRemoval(first, model->rowCount(), [model](int r) {
            return model->MessageAt(r) != nullptr;
        });
        if (row < 0 || !w_.isVisible())
            return;
        const QModelIndex index = model->index(row, 0);
        w_.MsgList->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        w_.MsgList->setFocus(Qt::OtherFocusReason);
    }
    void MessagesReplaced(const QList<RetrievedRecord>&) override
    {
        // A fetched record stands where the old one stood and keeps its id:
        // filling the list again puts every row on its new record, in place,
        // with the selection kept.
        w_.ShowMailbox(w_.ShownMailbox());
    }
    void MessageDisplayed(MessageRecord* message) override { w_.MessageDisplayed(message); }

private:
    MainWindow& w_;
};

} // namespace

namespace {

// The save dialog's filters, named from the language file; the patterns are
// the program's own, so no translation can change what a filter shows.
QStringList SaveDialogFilters()
{
    return {TextOr("COMMONS", "SaveDlgAllFiles", "All files") + QStringLiteral(" (*)"),
            TextOr("COMMONS", "SaveDlgMailMessages", "Mail messages") +
                QStringLiteral(" (*.eml)")};
}

} // namespace

MainWindowControl::MainWindowControl(MainWindow& window, QObject* parent)
    : QObject(parent), window_(window)
{
    errorWindow_ = std::make_unique<ErrorListWindow>(&window);
    SetErrorWindow(errorWindow_.get());
    announcer_ = std::make_unique<NewMailAnnouncer>();
    auto adapter = std::make_unique<MainWindowAdapter>(window);
    adapter->busyChanged = [this](bool busy) {
        if (findWindow_)
            findWindow_->SetBusy(busy);
    };
    access_ = std::move(adapter);

    TrayControl::Hooks th;
    th.pop3Busy = [this] { return commands_ && commands_->Busy(); };
    th.clearFreshMarks = [this] {
        if (commands_)
            commands_->ClearFreshMarks();
        else
            Accounts().ClearFresh(true);
    };
    th.stopAnnouncing = [this] { announcer_->StopAnnouncing(); };
    th.checkAllAccounts = [this] { commands_->popTrayCheckMailClick(); };
    th.lock = [this] { commands_->SetAutoCheckLock(AutoCheckScheduler::LockMode::Lock); };
    th.unlock = [this] { commands_->SetAutoCheckLock(AutoCheckScheduler::LockMode::Unlock); };
    th.locked = [this] { return commands_ && commands_->AutoCheckLocked(); };
    tray_ = std::make_unique<TrayControl>(&window, th);

    MailCheckCommands::Hooks ch;
    ch.blockingWindowOpen = [] { return BlockingWindowOpen(); };
    ch.shuttingDown = [this] { return shuttingDown && shuttingDown(); };
    ch.lockedLook = [this](bool locked) { window_.SetLockedLook(locked); };
    ch.navigationChanged = [this] { window_.MsgList->SetNavigation(AppSettings().MsgListNavigation); };
    ch.operationEnded = [this] {
        if (operationEnded)
            operationEnded();
    };
    commands_ = std::make_unique<MailCheckCommands>(*access_, *tray_, *announcer_, *errorWindow_,
                                                    ch);

    MainWindow::Commands& c = window.commands;
    c.checkMail = [this](const QList<MailAccount*>& accounts, bool allAccounts) {
        commands_->CheckFromTree(accounts, allAccounts ? CheckKind::All : CheckKind::Selected);
    };
    c.refresh = [this](MailAccount* account) {
        commands_->CheckFromTree({account}, CheckKind::Shown);
    };
    c.deleteOnServer = [this](const QList<MessageRecord*>&) { commands_->popListDeleteClick(); };
    c.retrieveWhole = [this](const QList<MessageRecord*>&) {
        commands_->popListRetrieveWholeClick();
    };
    c.saveToFile = [this](const QList<MessageRecord*>& messages) {
        MessageSaveChoosers choose;
        choose.chooseFolder = [this](const QString& title) {
            const QString folder =
                QFileDialog::getExistingDirectory(&window_, title, FolderBrowserFolder());
            if (!folder.isEmpty())
                SetFolderBrowserFolder(folder);
            return folder;
        };
        choose.chooseFile = [this](const QString& name) { return ChooseSaveFile(&window_, name); };
        choose.writing = SetBusyCursor;
        SaveMessages(QList<const MessageRecord*>(messages.begin(), messages.end()), choose);
    };
    c.details = [this](MessageRecord* message) { OpenDetails(message); };
    // Stop reaches a receipt's SMTP client while one is being sent.
    c.interrupt = [this] {
        if (receiptClient_)
            StopSend(receiptClient_);
        else
            commands_->popStatusInterruptClick();
    };
    c.receipt = [this](MessageRecord* message) {
        if (!message || commands_->Busy())
            return;
        ReceiptHooks hooks;
        hooks.alert = [this](MessageRecord& m) { ReceiptAlertWindow::ShowFor(m, &window_); };
        hooks.send = [this](MessageRecord& m, MailAccount& account) {
            // Sent like a POP3 operation runs: the window is busy (no check,
            // no exit meanwhile) and the status line follows it.
            commands_->SetBusy(true);
            window_.UpdateWindowState();
            SendOptions options;
            options.status = commands_->Status();
            options.clientChanged = [this](SmtpClient* client) { receiptClient_ = client; };
            const ReceiptSendResult result = SendReceipt(m, account, options);
            commands_->SetBusy(false);
            window_.UpdateWindowState();
            return result;
        };
        AnswerReceiptRequest(*message, hooks);
    };
    // BSettings: the settings window (made once, with the others) and, after
    // OK, the steps that make the new values take effect.
    settingsWindow_ = std::make_unique<SettingsWindow>(&window);
    c.settings = [this] {
        const Settings before = AppSettings();
        if (settingsWindow_->Edit())
            commands_->AfterSettingsChanged(before);
    };
    c.lockToggle = [this] { commands_->SetAutoCheckLock(AutoCheckScheduler::LockMode::Toggle); };
    c.tray = [this] { tray_->TrayButtonClicked(); };
    // Every write command: 0 reply, 1 reply to all, 2 forward, 3 new message.
    c.compose = [](MessageRecord* message, MailAccount* account, int mode) {
        OpenComposition(message, account, mode);
    };
    // A "mailto:" link clicked in the preview: a new message from the
    // shown account, written in Velmora or handed to the mail client.
    window.ViewFrame->MsgViewFrame->composeTo = &OpenMailtoLink;
    c.sendRunning = [] {
        const QList<ComposeWindow*> windows = ComposeWindow::OpenWindows();
        return std::any_of(windows.begin(), windows.end(),
                           [](const ComposeWindow* w) { return w->Sending(); });
    };
    c.activated = [this] { tray_->Activated(); };
    c.help = [] { OpenHelp(); };
    c.about = [this] {
        AboutWindow about(AppInfo::Instance().ProgramDir(), [] { OpenHelp(); }, &window_);
        about.ShowModal();
    };
    c.client = [](MailAccount* account) { OpenAccountClient(account); };
    c.addressBook = [this] {
        // Its own top-level window (own taskbar button), created on first use.
        if (!addressBookWindow_)
            addressBookWindow_ = std::make_unique<AddressBookWindow>(
                SharedAddressBook(), AppInfo::Instance().AddressBookFilePath());
        addressBookWindow_->ShowOrRaise();
    };
    // Find and filter: one window, created on first use; its commands and
    // F3 refuse while an operation runs.
    c.search = [this] { FindWnd().ShowOrRaise(); };
    c.findNext = [this] {
        if (findWindow_)
            findWindow_->FindNext();
    };
    c.findVisible = [this] { return findWindow_ && findWindow_->isVisible(); };
    c.resetFindFound = [this] {
        if (findWindow_)
            findWindow_->ResetFound();
    };
    window.installEventFilter(this);
    window.UpdateWindowState();
}

FindWindow& MainWindowControl::FindWnd()
{
    if (!findWindow_) {
        findWindow_ = std::make_unique<FindWindow>(window_, &window_);
        findWindow_->setWindowFlag(Qt::Window);
        findWindow_->busy = [this] { return commands_->Busy(); };
    }
    return *findWindow_;
}

// The save dialog: all files or mail messages (preselected); it asks before
// replacing a file and takes only an existing folder.
QString MainWindowControl::ChooseSaveFile(QWidget* parent, const QString& name)
{
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("SaveDlg"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = SaveDialogFilters();
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.last());
    dialog.setDefaultSuffix(QStringLiteral("eml"));
    if (!FolderBrowserFolder().isEmpty())
        dialog.setDirectory(FolderBrowserFolder());
    dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

DetailsWindow& MainWindowControl::DetailsWnd()
{
    if (detailsWindow_)
        return *detailsWindow_;
    detailsWindow_ = std::make_unique<DetailsWindow>(window_.ListModel, &window_);
    DetailsWindow::Hooks& h = detailsWindow_->hooks;
    // Fetch and delete run for the window's own message, in its operation
    // state, through the same operations as the list's commands.
    const auto display = [](DetailsWindow& w) {
        MailCheckCommands::OperationDisplay d;
        d.running = [&w](bool on) { w.SetOperationRunning(on); };
        d.status = [&w](const QString& text) { w.SetOperationText(text); };
        return d;
    };
    h.retrieveWhole = [this, display](MessageRecord* message, DetailsWindow& w) {
        return commands_->RetrieveWholeOne(message, display(w));
    };
    h.deleteOnServer = [this, display](MessageRecord* message, DetailsWindow& w) {
        return commands_->DeleteOneOnServer(message, display(w));
    };
    // Abort and Esc stop the receipt's SMTP client while one is sent, else
    // the POP3 operation.
    h.abort = [this] {
        if (receiptClient_)
            StopSend(receiptClient_);
        else
            commands_->popStatusInterruptClick();
    };
    h.compose = [this](MessageRecord* message, MailAccount* account, int mode) {
        if (window_.commands.compose)
            window_.commands.compose(message, account, mode);
    };
    h.receipt = [this](MessageRecord* message, MailAccount*) { AnswerReceiptInDetails(message); };
    h.displayed = [this](MessageRecord* message) { window_.MessageDisplayed(message); };
    h.mailto = &OpenMailtoLink;
    h.chooseSaveFile = [this](const QString& name) {
        return ChooseSaveFile(detailsWindow_.get(), name);
    };
    TranslateWindow(detailsWindow_.get());
    return *detailsWindow_;
}

void MainWindowControl::AnswerReceiptInDetails(MessageRecord* message)
{
    if (!message || !detailsWindow_ || commands_->Busy())
        return;
    DetailsWindow* details = detailsWindow_.get();
    ReceiptHooks hooks;
    hooks.alert = [details](MessageRecord& m) { ReceiptAlertWindow::ShowFor(m, details); };
    hooks.send = [this, details](MessageRecord& m, MailAccount& account) {
        // In the details window's operation state, with its own status
        // texts, from the moment the worker starts until it ended; the main
        // window is busy meanwhile, so no check starts and the program does
        // not close.
        StatusChannel channel;
        connect(&channel, &StatusChannel::statusChanged, details,
                &DetailsWindow::SetOperationText);
        SendOptions options;
        options.status = &channel;
        options.clientChanged = [this, details](SmtpClient* client) {
            receiptClient_ = client;
            details->SetOperationRunning(client != nullptr);
        };
        commands_->SetBusy(true);
        window_.UpdateWindowState();
        const ReceiptSendResult result =
            SendReceipt(m, account, options, {}, ReceiptStatusTexts::DetailsWindow);
        commands_->SetBusy(false);
        window_.UpdateWindowState();
        return result;
    };
    AnswerReceiptRequest(*message, hooks);
}

void MainWindowControl::OpenDetails(MessageRecord* message)
{
    MessageListModel* model = window_.ListModel;
    const int row = model->RowOf(message);
    if (row < 0 || commands_->Busy())
        return;
    const int ended = DetailsWnd().Run(row, window_.ShownAccount());
    // The list's selection moves only now, to where the window ended.
    if (ended >= 0 && model->MessageAt(ended)) {
        const QModelIndex index = model->index(ended, 0);
        window_.MsgList->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window_.MsgList->scrollTo(index);
    }
    window_.RefreshPreview(true);
    window_.UpdateWindowState();
}

void MainWindowControl::CloseFind(Settings& settings)
{
    if (!findWindow_)
        return;
    findWindow_->CopyPlacement(settings);
    findWindow_->close();
}

void MainWindowControl::CopyFindPlacement(Settings& settings) const
{
    if (findWindow_)
        findWindow_->CopyPlacement(settings);
}

MainWindowControl::~MainWindowControl()
{
    window_.removeEventFilter(this);
    SetErrorWindow(nullptr);
}

bool MainWindowControl::eventFilter(QObject* watched, QEvent* event)
{
    // The title-bar cross (a close the window manager asks for) hides or
    // ends by CrossHides; BTray and the tray menu set closeExits themselves.
    if (watched == &window_ && event->type() == QEvent::Close && event->spontaneous())
        tray_->CloseBoxUsed();
    return QObject::eventFilter(watched, event);
}

bool MainWindowControl::BlockingWindowOpen()
{
    static const char* const kNames[] = {"DETAILSWND",     "AboutWnd",      "AccountWnd",
                                         "DispNotifWnd",   "SettingsWnd",   "LoginWnd",
                                         "AccWizWnd",      "AttachmentsWnd",
                                         "UpdateActivationWnd"};
    if (QApplication::activeModalWidget())
        return true;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (!w->isVisible())
            continue;
        for (const char* name : kNames)
            if (w->objectName().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return true;
    }
    return false;
}

void MainWindowControl::PlaceAtStart(bool showWindow)
{
    if (showWindow) {
        window_.show();
        return;
    }
    tray_->startupPlacing = true;
    tray_->MinimizeToTray();
    tray_->startupPlacing = false;
}

bool MainWindowControl::StartAutomaticChecks(bool startedBySystem, bool checkSkipped,
                                             bool windowShown)
{
    return commands_->StartUp(startedBySystem, checkSkipped, windowShown);
}

void MainWindowControl::CorrectSoundFile()
{
    Settings& s = AppSettings();
    if (s.UseCustomMessageNotificationSound && (s.MessageNotification & Settings::kNotifySound))
        s.CustomMessageNotificationSound = CorrectCustomSoundPath(
            s.CustomMessageNotificationSound, AppInfo::Instance().ProgramDir());
}

void MainWindowControl::FillShutdownHooks(ShutdownHooks& hooks)
{
    hooks.closeExits = [this] { return tray_->closeExits; };
    hooks.hideToTray = [this] {
        tray_->MinimizeToTray();
        tray_->closeExits = true;
    };
    hooks.pop3Busy = [this] { return commands_->Busy(); };
    hooks.composeWindowsRemain = [] { return !ComposeWindow::CloseAll(); };
}

} // namespace vm
