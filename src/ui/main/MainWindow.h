#pragma once
// The main window: the account tree on the left, the list header, the
// message list (or the welcome page) on the right, the bottom tool bar and
// the status panel. The close box does not close the window directly: every
// close request goes through the shutdown sequence, which may refuse it.
//
// Commands whose work lives elsewhere (checking, removal and retrieval on
// the server, details, replies, saving, find, the client button, address
// book, settings, about, tray, lock) are reached through the hooks in
// `Commands`; a command whose hook is empty stays disabled.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>

#include "core/DateTime.h"
#include "ui/common/TranslatedWindow.h"

class QLabel;
class QMenu;
class QAction;
class QAbstractButton;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QFrame;

namespace vm {

class MessageRecord;
class MailAccount;
class Mailbox;

class MessageListModel;
class MessageListView;
class Settings;
class AccountWindow;
class AccountWizard;
class WelcomeView;
class PreviewPane;

class MainWindow : public QMainWindow, public vm::TranslationHooks
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // ---- hooks for the commands other parts of the program carry out ----
    struct Commands
    {
        // Mail check of the given accounts; allAccounts when the root was
        // selected (or the tray asked), so the announcement says so.
        std::function<void(const QList<MailAccount*>& accounts, bool allAccounts)> checkMail;
        // "Check mail" button: the shown account, announced with its name.
        // Without it the button runs checkMail with the shown account.
        std::function<void(MailAccount* account)> refresh;
        // List commands on the shown mailbox; rows are the selected records.
        std::function<void(MessageRecord* message)> details;
        std::function<void(const QList<MessageRecord*>& messages)> deleteOnServer;
        std::function<void(const QList<MessageRecord*>& messages)> retrieveWhole;
        std::function<void()> retrieveAll;
        std::function<void(const QList<MessageRecord*>& messages)> saveToFile;
        // mode 0 reply, 1 reply to all, 2 forward, 3 new message (no message).
        std::function<void(MessageRecord* message, MailAccount* account, int mode)> compose;
        // A shown message asks for a return receipt not yet answered: the
        // question (or the alert) and, after Yes, the send. The preview
        // calls it; the details window may call it for its message.
        std::function<void(MessageRecord* message)> receipt;
        std::function<void()> search;       // find window
        std::function<void()> findNext;     // F3 while the find window is visible
        std::function<bool()> findVisible;
        std::function<void()> resetFindFound;
        std::function<void(MailAccount* account)> client; // mail client or webmail
        std::function<void()> addressBook;
        std::function<void()> settings;
        std::function<void()> about;
        std::function<void()> help;       // the program's help (F1, the welcome page)
        // A message is being sent (a compose window's send): its account
        // must stay, so accounts cannot be deleted meanwhile.
        std::function<bool()> sendRunning;
        std::function<void()> tray;       // BTray
        std::function<void()> interrupt;  // popStatusInterrupt / TBAbort
        std::function<void()> lockToggle; // TBLock
        // Every activation of the window (notification window, fresh marks).
        std::function<void()> activated;
    };
    Commands commands;

    // Decides a close request; true lets the window close. Without a handler
    // the window closes.
    std::function<bool()> closeRequestHandler;

    // ---- operations other parts call -------------------------------------
    // Clears the tree, adds the root and one node per account, expands the
    // root and selects it.
    void BuildAccountTree();
    // Recomputes every account node's caption: display name, then " (?)"
    // for a stale mailbox or " (n)" with its number of messages.
    void UpdateAccountCaptions();
    // Puts a mailbox (or none) into the message list, keeping the selection
    // and the focus mark by UIDL when the same mailbox is shown again.
    void ShowMailbox(Mailbox* mailbox);
    // Enabling, captions, cursors and the header line after every change.
    void UpdateWindowState();
    // Clears the new flags of the shown mailbox when they have lasted
    // NewMessagesTimeout seconds (NewMessagesStyle 0).
    void ExpireNewMarks();
    // The POP3-busy flag: disables the tree, the list and the commands that
    // would start another operation.
    void SetBusy(bool busy);
    bool Busy() const { return busy_; }
    // What happens when the tree's selection is clicked (also after keys).
    void TreeClick();
    // Repaints the tree and the list (new flags changed).
    void RepaintMarks();
    // The preview pane's refresh (full: the selected message is rendered
    // again); nothing while the window is busy.
    void RefreshPreview(bool full = true);
    // Called when a message is displayed in the preview: with
    // NewMessagesStyle 2 its new flag ends.
    void MessageDisplayed(MessageRecord* message);
    // Writes the window rectangle, MainWndHorzDiv, the sort column and
    // direction and LastAccount into the settings (at shutdown).
    void CopyWindowState(vm::Settings& settings) const;
    // The first-activation steps; runs once (later calls do nothing).
    void RunFirstActivation();

    Mailbox* ShownMailbox() const { return shownMailbox_; }
    MailAccount* ShownAccount() const;
    // Accounts of the selected account nodes, in tree order.
    QList<MailAccount*> SelectedAccounts() const;
    bool RootSelected() const;
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return sortAscending_; }
    bool HideOldMessages() const { return hideOld_; }
    void SetHideOldMessages(bool hide) { hideOld_ = hide; }
    vm::TDateTime ShownSince() const { return shownSince_; }
    void SetShownSince(vm::TDateTime t) { shownSince_ = t; }
    int TreeHintAllowance() const { return treeHintAllowance_; }
    bool TreeHintsOn() const { return treeHintsOn_; }
    QTreeWidgetItem* RootNode() const;
    QTreeWidgetItem* NodeOf(const MailAccount* account) const;
    // A node is drawn bold while its account's current list holds a new
    // message (the root never is).
    bool NodeBold(const QTreeWidgetItem* node) const;
    // The same for an account. While the window is busy the mailboxes belong
    // to the running operation, so the answer is the one of its start.
    bool AccountBold(const MailAccount* account) const;
    // The find filter (set by the find window): when set, ShowMailbox shows
    // only matching messages and the header offers SBUnfilterList.
    std::function<bool(const MessageRecord&)> findFilter;

    // The caption rule of an account node.
    static QString AccountCaption(const MailAccount& account);
    // The tooltip of a node: its caption when the tree is too narrow to show
    // it whole, and the text of its account's attention state (a failed
    // check) when it has one; empty otherwise.
    QString NodeToolTip(const QTreeWidgetItem* node) const;
    // Widens the tree, within a third of the window, so every node's caption
    // shows whole (the first activation does it unless a width was saved).
    void FitTreeWidth();
    // The placement restore rule: a saved rectangle (left, top, right,
    // bottom) clamped to the work area and widened to the minimum size.
    // Returns false (nothing applied) for the never-saved rectangle whose
    // four coordinates are equal.
    static bool ClampPlacement(int left, int top, int right, int bottom, const QSize& minimum,
                               const QSize& workArea, QRect& result);
    // Applies a saved rectangle to a window by that rule; true when applied.
    static bool RestorePlacement(QWidget* window, int left, int top, int right, int bottom);

    // Runs the layout rules: the left panel keeps at least 512 pixels for the
    // right side, the header, view and welcome page share one column, the
    // bottom bar's seven buttons share the view's width.
    void UpdateLayout();
    // Tries a new left panel width from the splitter; accepted only when it
    // lies strictly between the panel's minimum and client width - 512.
    bool TrySetLeftWidth(int width);
    void SetStatusText(const QString& text);
    // The look of the lock button (pressed and image while locked).
    void SetLockedLook(bool locked);

    // Controls, named as the language file and the tests know them.
    QWidget* LeftPanel = nullptr;
    QTreeWidget* Tree = nullptr;
    QWidget* Splitter = nullptr;
    QFrame* PBoxHeader = nullptr;
    QToolButton* SBUnfilterList = nullptr;
    QLabel* PBoxInfo = nullptr;
    vm::PreviewPane* ViewFrame = nullptr; // the list on top, the preview below
    vm::MessageListView* MsgList = nullptr;
    vm::MessageListModel* ListModel = nullptr;
    vm::WelcomeView* WelcomeFrame = nullptr;
    QWidget* BottomBar = nullptr;
    QToolButton* BRefresh = nullptr;
    QToolButton* BComposeNew = nullptr;
    QToolButton* BClient = nullptr;
    QToolButton* BAddressBook = nullptr;
    QToolButton* BSettings = nullptr;
    QToolButton* BInfo = nullptr;
    QToolButton* BTray = nullptr;
    QWidget* BottomPanel = nullptr;
    QLabel* PVersion = nullptr;
    QWidget* PStatus = nullptr;
    QLabel* StatusText = nullptr;
    QToolBar* ToolBar = nullptr;
    QToolButton* TBAbort = nullptr;
    QToolButton* TBLock = nullptr;

    QMenu* TreeMenu = nullptr;
    QAction* popTreeAdd = nullptr;
    QAction* popTreeAddWizard = nullptr;
    QAction* popTreeDelete = nullptr;
    QAction* popTreeWipeLists = nullptr;
    QAction* popTreeCheckMail = nullptr;
    QAction* popTreeProperties = nullptr;
    // "Sign in again...": the browser sign-in of the selected OAuth 2.0
    // account (shown only for such an account).
    QAction* popTreeSignIn = nullptr;

    QMenu* ListMenu = nullptr;
    QAction* popListDetails = nullptr;
    QAction* popListDelete = nullptr;
    QAction* popListSelectAll = nullptr;
    QAction* popListSearch = nullptr;
    QAction* popListReply = nullptr;
    QAction* popListReplyToAll = nullptr;
    QAction* popListForward = nullptr;
    QAction* popListComposeNew = nullptr;
    QAction* popListRetrieveWhole = nullptr;
    QAction* popListRetrieveAll = nullptr;
    QAction* popListSaveToFile = nullptr;
    QAction* popListUncheckNew = nullptr;
    QAction* popListShowOld = nullptr;
    QAction* popListRefresh = nullptr;
    QAction* popListClearList = nullptr;

    QMenu* StatusMenu = nullptr;
    QAction* popStatusInterrupt = nullptr;

    // The account windows, created with the main window and reused.
    vm::AccountWindow* ActiveAccountWindow() const { return acf_; }
    vm::AccountWizard* WizardWindow() const { return wizard_; }

    static constexpr int kLeftMinWidth = 160;
    static constexpr int kRightMinWidth = 512;
    static constexpr int kSplitterWidth = 7;
    static constexpr int kBottomPanelHeight = 32;
    static constexpr int kBottomBarHeight = 56;

    // Translation hooks: the status line and the root caption follow the
    // language.
    void AfterTranslation() override;

    // ---- command handlers (public so that tests and hooks can run them) ----
    void popTreeAddClick(bool wizard);
    void popTreeDeleteClick();
    void popTreeWipeListsClick();
    void popTreeCheckMailClick();
    void popTreePropertiesClick();
    void popTreeSignInClick();
    void BRefreshClick();
    void MsgListDblClick();
    void popListDetailsClick();
    void popListUncheckNewClick();
    void popListShowOldClick();
    void popListClearListClick();
    // Re-sorts after a click on a column header.
    void MsgListColumnClick(int column);
    // Enabling of the two pop-up menus (also keeps their shortcuts right).
    void UpdateTreeMenu();
    void UpdateListMenu();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* AddBarButton(const char* name, const QString& caption);
    QAction* AddAction(QMenu* menu, const char* name, const QKeySequence& shortcut,
                       QWidget* shortcutOwner);
    // The window's parts, each built in its own source file: the account
    // tree with its menu (AccountTree.cpp), the message list side with its
    // header line and menu (MessageListSide.cpp), the bottom bar
    // (BottomBar.cpp); the frame, layout, state and events stay here.
    void BuildTreePane();
    void BuildTreeMenu();
    void BuildListPane();
    void BuildListMenu();
    void BuildBottomBar();
    void BuildStatusMenu();
    // Caption, image and enabling of BTray (hide or exit, by CrossHides).
    void UpdateTrayButton();
    void OnTreeSelectionChanged();
    bool HandleWindowKey(QKeyEvent* key);
    void RunIfEnabled(QAbstractButton* button);
    void RestoreSelection(const QList<QByteArray>& focused, const QList<QByteArray>& selected);
    QList<MessageRecord*> SelectedMessages() const;
    void DeleteMailboxFile(MailAccount* account) const;
    void UpdateHeaderLine();
    // The node's mark for its account's attention state.
    static void ShowAttention(QTreeWidgetItem* node, const MailAccount& account);
    // Points the preview pane's buttons at the list commands that have work
    // behind them (an unset hook keeps its button disabled).
    void BindPreviewHooks();
    // Right clicks and Ctrl keys aimed at the preview's page; true when the
    // event was taken.
    bool RoutePreviewEvent(QObject* watched, QEvent* event);

    QWidget* central_ = nullptr;
    Mailbox* shownMailbox_ = nullptr;
    vm::TDateTime shownSince_ = 0;
    int sortColumn_ = 2;
    bool sortAscending_ = true;
    bool hideOld_ = true;
    bool busy_ = false;
    // What the tree showed when the running operation started: the window
    // does not read the mailboxes while a worker may be changing them.
    QHash<const MailAccount*, bool> boldWhileBusy_;
    bool captionsPending_ = false;
    bool lockedLook_ = false;
    bool everShown_ = false;
    bool firstActivationDone_ = false;
    bool adjustingSelection_ = false;
    int treeHintAllowance_ = 2;
    bool treeHintsOn_ = true;
    QTimer treeHintTimer_;
    vm::AccountWindow* acf_ = nullptr;
    vm::AccountWizard* wizard_ = nullptr;
};

} // namespace vm
