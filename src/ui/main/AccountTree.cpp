#include "ui/main/MainWindow.h"

#include <QAction>
#include <QFile>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

#include "config/PasswordStorage.h"
#include "config/Settings.h"
#include "config/StorageSettings.h"
#include "core/AppInfo.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "model/MailboxWriter.h"
#include "oauth/AccountTokens.h"
#include "oauth/OAuthProviders.h"
#include "ui/accounts/AccountWindow.h"
#include "ui/accounts/AccountWizard.h"
#include "ui/accounts/SignInWindow.h"
#include "ui/main/MainIcons.h"
#include "ui/main/MainWindowShared.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/view/PreviewPane.h"
#include "ui/view/WelcomeView.h"


namespace vm {

using namespace mainwindow;

namespace {

// A double click on the tree's empty area, below the last node, runs the
// action (adding an account), as the tree's menu offers it.
class EmptyAreaDoubleClick : public QObject
{
public:
    EmptyAreaDoubleClick(QTreeWidget* tree, QAction* action)
        : QObject(tree), tree_(tree), action_(action)
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::MouseButtonDblClick)
            return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || tree_->itemAt(mouse->position().toPoint()) ||
            !action_->isEnabled())
            return false;
        action_->trigger();
        return true;
    }

private:
    QTreeWidget* tree_;
    QAction* action_;
};

// Account nodes sort by caption without regard to letter case.
class AccountNode : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int r = text(0).compare(other.text(0), Qt::CaseInsensitive);
        return r != 0 ? r < 0 : text(0) < other.text(0);
    }
};

// Bold captions for accounts whose current list holds a new message, as the
// window decides it (it answers from what it knew while an operation runs).
class TreeDelegate : public QStyledItemDelegate
{
public:
    TreeDelegate(const MainWindow* window, QObject* parent)
        : QStyledItemDelegate(parent), window_(window)
    {
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto* account =
            reinterpret_cast<MailAccount*>(index.data(kAccountRole).value<quintptr>());
        option->font.setBold(window_->AccountBold(account));
        option->fontMetrics = QFontMetrics(option->font);
    }

private:
    const MainWindow* window_;
};

} // namespace

void MainWindow::BuildTreePane()
{
    LeftPanel = new QWidget(central_);
    LeftPanel->setObjectName(QStringLiteral("LeftPanel"));
    LeftPanel->resize(200, 100);
    auto* leftLayout = new QVBoxLayout(LeftPanel);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    Tree = new QTreeWidget(LeftPanel);
    Tree->setObjectName(QStringLiteral("Tree"));
    Tree->setHeaderHidden(true);
    Tree->setColumnCount(1);
    Tree->setIndentation(23);
    Tree->setRootIsDecorated(false);
    Tree->setItemsExpandable(false);
    Tree->setExpandsOnDoubleClick(false);
    Tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    Tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tree->setAllColumnsShowFocus(true);
    Tree->setSortingEnabled(true);
    Tree->sortByColumn(0, Qt::AscendingOrder);
    Tree->setContextMenuPolicy(Qt::CustomContextMenu);
    Tree->setItemDelegate(new TreeDelegate(this, Tree));
    {
        QFont f(QStringLiteral("Arial"));
        f.setPixelSize(15);
        Tree->setFont(f);
        QPalette pal = Tree->palette();
        pal.setColor(QPalette::Text, QColor(128, 0, 0));
        // The selection stays visible when the tree loses the focus.
        pal.setColor(QPalette::Inactive, QPalette::Highlight,
                     pal.color(QPalette::Active, QPalette::Highlight));
        pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     pal.color(QPalette::Active, QPalette::HighlightedText));
        Tree->setPalette(pal);
    }
    Tree->viewport()->installEventFilter(this);
    Tree->installEventFilter(this);
    leftLayout->addWidget(Tree);

    connect(Tree, &QTreeWidget::itemSelectionChanged, this,
            &MainWindow::OnTreeSelectionChanged);
    connect(Tree, &QTreeWidget::itemClicked, this, [this] { TreeClick(); });
    connect(Tree, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (popTreeProperties->isEnabled())
            popTreePropertiesClick();
    });
    connect(Tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        UpdateTreeMenu();
        TreeMenu->popup(Tree->viewport()->mapToGlobal(pos));
    });
}

void MainWindow::BuildTreeMenu()
{
    TreeMenu = new QMenu(this);
    TreeMenu->setObjectName(QStringLiteral("TreeMenu"));
    popTreeAdd = AddAction(TreeMenu, "popTreeAdd", {}, Tree);
    popTreeAddWizard = AddAction(TreeMenu, "popTreeAddWizard", {}, Tree);
    TreeMenu->addSeparator();
    popTreeDelete = AddAction(TreeMenu, "popTreeDelete", QKeySequence(Qt::Key_Delete), Tree);
    popTreeWipeLists =
        AddAction(TreeMenu, "popTreeWipeLists", QKeySequence(Qt::CTRL | Qt::Key_W), Tree);
    TreeMenu->addSeparator();
    popTreeCheckMail =
        AddAction(TreeMenu, "popTreeCheckMail", QKeySequence(Qt::CTRL | Qt::Key_R), Tree);
    TreeMenu->addSeparator();
    popTreeProperties = AddAction(TreeMenu, "popTreeProperties", {}, Tree);
    popTreeSignIn = AddAction(TreeMenu, "popTreeSignIn", {}, Tree);
    connect(TreeMenu, &QMenu::aboutToShow, this, &MainWindow::UpdateTreeMenu);
    connect(popTreeSignIn, &QAction::triggered, this, &MainWindow::popTreeSignInClick);
    connect(popTreeAdd, &QAction::triggered, this, [this] { popTreeAddClick(false); });
    connect(popTreeAddWizard, &QAction::triggered, this, [this] { popTreeAddClick(true); });
    Tree->viewport()->installEventFilter(new EmptyAreaDoubleClick(Tree, popTreeAddWizard));
    connect(popTreeDelete, &QAction::triggered, this, &MainWindow::popTreeDeleteClick);
    connect(popTreeWipeLists, &QAction::triggered, this, &MainWindow::popTreeWipeListsClick);
    connect(popTreeCheckMail, &QAction::triggered, this, &MainWindow::popTreeCheckMailClick);
    connect(popTreeProperties, &QAction::triggered, this,
            &MainWindow::popTreePropertiesClick);
}

QString MainWindow::AccountCaption(const MailAccount& account)
{
    QString caption = QString::fromLocal8Bit(account.DisplayName());
    if (account.Box().Stale())
        caption += QStringLiteral(" (?)");
    else
        caption += QStringLiteral(" (") + QString::number(account.Box().Count()) + ')';
    return caption;
}

void MainWindow::ShowAttention(QTreeWidgetItem* node, const MailAccount& account)
{
    const bool marked = account.AttentionState() != MailAccount::Attention::None;
    node->setIcon(0, marked ? QIcon(AttentionImage()) : QIcon());
}

QString MainWindow::NodeToolTip(const QTreeWidgetItem* node) const
{
    if (!node)
        return {};
    QStringList lines;
    const QModelIndex index = Tree->indexFromItem(node);
    // The caption when the node's row cannot show it whole.
    if (Tree->sizeHintForIndex(index).width() > Tree->visualItemRect(node).width())
        lines.append(node->text(0));
    if (const MailAccount* account = AccountOf(node);
        account && account->AttentionState() != MailAccount::Attention::None) {
        if (lines.isEmpty())
            lines.append(node->text(0));
        lines.append(account->AttentionText());
    }
    return lines.join(QLatin1Char('\n'));
}

void MainWindow::FitTreeWidth()
{
    QTreeWidgetItem* root = RootNode();
    if (!root)
        return;
    int widest = Tree->sizeHintForIndex(Tree->indexFromItem(root)).width();
    for (int i = 0; i < root->childCount(); ++i)
        widest = std::max(widest, Tree->indentation() +
                                      Tree->sizeHintForIndex(Tree->indexFromItem(root->child(i)))
                                          .width());
    // Room for the frame and a vertical scroll bar, within a third of the
    // window and the right side's minimum.
    const int wanted = widest + 2 * Tree->frameWidth() +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Tree) + 4;
    const int limit = std::min(central_->width() / 3, central_->width() - kRightMinWidth - 1);
    const int width = std::min(wanted, limit);
    if (width > LeftPanel->width())
        TrySetLeftWidth(width);
}

QTreeWidgetItem* MainWindow::RootNode() const
{
    return Tree->topLevelItemCount() > 0 ? Tree->topLevelItem(0) : nullptr;
}

QTreeWidgetItem* MainWindow::NodeOf(const MailAccount* account) const
{
    QTreeWidgetItem* root = RootNode();
    if (!root)
        return nullptr;
    for (int i = 0; i < root->childCount(); ++i)
        if (AccountOf(root->child(i)) == account)
            return root->child(i);
    return nullptr;
}

bool MainWindow::NodeBold(const QTreeWidgetItem* node) const
{
    return AccountBold(AccountOf(node));
}

bool MainWindow::AccountBold(const MailAccount* account) const
{
    if (busy_)
        return boldWhileBusy_.value(account, false);
    return BoldAccount(account);
}

void MainWindow::BuildAccountTree()
{
    adjustingSelection_ = true;
    Tree->clear();
    auto* root = new QTreeWidgetItem(Tree);
    const QString rootCaption = MainText("Mailboxes");
    root->setText(0, rootCaption.isEmpty() ? QStringLiteral("MAIL ACCOUNTS") : rootCaption);
    AccountsDirectory& dir = vm::Accounts();
    for (int i = 0; i < dir.Count(); ++i) {
        MailAccount* account = dir.At(i);
        auto* node = new AccountNode(root);
        node->setData(0, kAccountRole, QVariant::fromValue(reinterpret_cast<quintptr>(account)));
        node->setText(0, AccountCaption(*account));
        ShowAttention(node, *account);
    }
    root->setExpanded(true);
    Tree->clearSelection();
    root->setSelected(true);
    Tree->setCurrentItem(root, 0, QItemSelectionModel::NoUpdate);
    adjustingSelection_ = false;
    UpdateTreeMenu();
}

void MainWindow::UpdateAccountCaptions()
{
    QTreeWidgetItem* root = RootNode();
    if (!root)
        return;
    if (busy_) {
        // The mailboxes belong to the running operation: the captions are
        // brought up to date when it ends.
        captionsPending_ = true;
        return;
    }
    for (int i = 0; i < root->childCount(); ++i) {
        QTreeWidgetItem* node = root->child(i);
        if (const MailAccount* account = AccountOf(node)) {
            node->setText(0, AccountCaption(*account));
            ShowAttention(node, *account);
        }
    }
    root->sortChildren(0, Qt::AscendingOrder);
    Tree->viewport()->update();
}

QList<MailAccount*> MainWindow::SelectedAccounts() const
{
    QList<MailAccount*> out;
    QTreeWidgetItem* root = RootNode();
    if (!root)
        return out;
    for (int i = 0; i < root->childCount(); ++i)
        if (root->child(i)->isSelected())
            if (MailAccount* a = AccountOf(root->child(i)))
                out.append(a);
    return out;
}

bool MainWindow::RootSelected() const
{
    QTreeWidgetItem* root = RootNode();
    return root && root->isSelected();
}

MailAccount* MainWindow::ShownAccount() const
{
    return shownMailbox_ ? shownMailbox_->Account() : nullptr;
}

void MainWindow::OnTreeSelectionChanged()
{
    if (adjustingSelection_)
        return;
    // Multi-selection stays among siblings: the root alone, or accounts.
    const QList<QTreeWidgetItem*> sel = Tree->selectedItems();
    QTreeWidgetItem* root = RootNode();
    if (sel.size() > 1 && root && root->isSelected()) {
        adjustingSelection_ = true;
        QTreeWidgetItem* current = Tree->currentItem();
        if (current == root) {
            for (QTreeWidgetItem* item : sel)
                if (item != root)
                    item->setSelected(false);
        } else {
            root->setSelected(false);
        }
        adjustingSelection_ = false;
    }
    UpdateTreeMenu();
}

void MainWindow::TreeClick()
{
    const QList<QTreeWidgetItem*> sel = Tree->selectedItems();
    if (sel.size() > 1)
        return;
    QTreeWidgetItem* root = RootNode();
    if (sel.size() == 1 && sel.first() == root) {
        ShowMailbox(nullptr);
        if (commands.resetFindFound)
            commands.resetFindFound();
        WelcomeFrame->setVisible(true);
        ViewFrame->setVisible(false);
        return;
    }
    if (sel.isEmpty() || Tree->topLevelItemCount() == 0 || (root && root->childCount() == 0))
        return;
    MailAccount* account = AccountOf(sel.first());
    if (!account || &account->Box() == shownMailbox_)
        return;
    ShowMailbox(&account->Box());
    if (commands.resetFindFound)
        commands.resetFindFound();
    WelcomeFrame->setVisible(false);
    ViewFrame->setVisible(true);
}

void MainWindow::UpdateTreeMenu()
{
    const QList<QTreeWidgetItem*> sel = Tree->selectedItems();
    QTreeWidgetItem* root = RootNode();
    const bool onlyRoot = !root || root->childCount() == 0;
    const bool hasAccounts = vm::Accounts().Count() > 0;
    const bool sending = commands.sendRunning && commands.sendRunning();
    popTreeDelete->setEnabled(!sel.isEmpty() && !(RootSelected() && onlyRoot) && !sending);
    popTreeWipeLists->setEnabled(hasAccounts);
    popTreeCheckMail->setEnabled(hasAccounts && !busy_ && bool(commands.checkMail));
    popTreeProperties->setEnabled(sel.size() == 1 && sel.first() != root);
    const MailAccount* one = sel.size() == 1 ? AccountOf(sel.first()) : nullptr;
    popTreeSignIn->setVisible(one && one->UsesOAuth());
    popTreeSignIn->setEnabled(one && one->UsesOAuth() && !busy_);
}

void MainWindow::popTreeSignInClick()
{
    const QList<QTreeWidgetItem*> sel = Tree->selectedItems();
    MailAccount* account = sel.size() == 1 ? AccountOf(sel.first()) : nullptr;
    if (!account || !account->UsesOAuth() || busy_)
        return;
    QString problem;
    const std::optional<OAuthEndpoints> endpoints =
        ResolveOAuthEndpoints(account->OAuth(), &problem);
    if (!endpoints) {
        vm::ShowError(problem);
        return;
    }
    const std::optional<TokenReply> tokens =
        SignInWindow::SignIn(this, *endpoints, account->Login());
    if (!tokens)
        return;
    StoreSignIn(*account, *tokens);
    try {
        account->SaveToFile(SaveOptionsFromSettings());
    } catch (const std::exception&) {
        // Kept in memory; written with every other mailbox at exit.
    }
    UpdateAccountCaptions();
    UpdateWindowState();
}

void MainWindow::popTreeAddClick(bool wizard)
{
    AccountsDirectory& dir = vm::Accounts();
    std::unique_ptr<MailAccount> account;
    if (wizard) {
        account = wizard_->Run(&dir);
        if (!account)
            return;
    } else {
        account = std::make_unique<MailAccount>(&dir);
        if (!acf_->Edit(*account))
            return; // the new account is destroyed here
    }
    MailAccount* added = account.release();
    dir.Add(added);
    try {
        added->SaveToFile(SaveOptionsFromSettings());
    } catch (const std::exception& e) {
        vm::ShowWarning(vm::WithReason(MainText("ErrorSavingNewAccount"), vm::ErrorMessage(e)));
    }
    QTreeWidgetItem* root = RootNode();
    adjustingSelection_ = true;
    auto* node = new AccountNode(root);
    node->setData(0, kAccountRole, QVariant::fromValue(reinterpret_cast<quintptr>(added)));
    node->setText(0, QString::fromLocal8Bit(added->DisplayName()));
    adjustingSelection_ = false;
    UpdateAccountCaptions();
    root->setExpanded(true);
    adjustingSelection_ = true;
    Tree->clearSelection();
    node->setSelected(true);
    Tree->setCurrentItem(node, 0, QItemSelectionModel::NoUpdate);
    adjustingSelection_ = false;
    TreeClick();
    UpdateTreeMenu();
    UpdateWindowState();
}

void MainWindow::DeleteMailboxFile(MailAccount* account) const
{
    // Passwords the keyring cannot let go of now are named, and left for
    // the keyring's manager.
    const QString left = RemoveAccountKeyringItems(*account);
    if (!left.isEmpty())
        vm::ShowWarning(left);
    if (account->MailboxFileName().isEmpty())
        return;
    QString dir = vm::Accounts().MailboxDirectory();
    if (!dir.isEmpty() && !dir.endsWith('/'))
        dir += '/';
    // An image of the file still on its way would bring the account back.
    vm::WaitForMailboxWrites();
    // A file that cannot be deleted is left behind without a message.
    QFile::remove(dir + account->MailboxFileName());
}

void MainWindow::popTreeDeleteClick()
{
    const QList<QTreeWidgetItem*> sel = Tree->selectedItems();
    // A running send uses its account until it ends (the key may come
    // before the menu's enabling was brought up to date).
    if (sel.isEmpty() || (commands.sendRunning && commands.sendRunning()))
        return;
    AccountsDirectory& dir = vm::Accounts();
    QTreeWidgetItem* root = RootNode();
    if (RootSelected()) {
        if (!vm::AskYesNo(MainText("ConfirmRemoveAllBoxes")))
            return;
        ShowMailbox(nullptr);
        for (int i = 0; i < dir.Count(); ++i)
            DeleteMailboxFile(dir.At(i));
        dir.Clear();
        BuildAccountTree();
        TreeClick();
        UpdateWindowState();
        return;
    }
    if (!vm::AskYesNo(MainText("ConfirmRemoveSelectedBoxes")))
        return;
    // Tree order, last to first.
    QList<QTreeWidgetItem*> nodes;
    for (int i = 0; i < root->childCount(); ++i)
        if (root->child(i)->isSelected())
            nodes.append(root->child(i));
    adjustingSelection_ = true;
    for (int i = nodes.size() - 1; i >= 0; --i) {
        QTreeWidgetItem* node = nodes[i];
        MailAccount* account = AccountOf(node);
        if (account) {
            DeleteMailboxFile(account);
            if (&account->Box() == shownMailbox_)
                ShowMailbox(nullptr);
            dir.Delete(account);
        }
        delete node;
    }
    if (Tree->selectedItems().isEmpty()) {
        root->setSelected(true);
        Tree->setCurrentItem(root, 0, QItemSelectionModel::NoUpdate);
    }
    adjustingSelection_ = false;
    TreeClick();
    UpdateTreeMenu();
    UpdateWindowState();
}

void MainWindow::popTreeWipeListsClick()
{
    AccountsDirectory& dir = vm::Accounts();
    for (int i = 0; i < dir.Count(); ++i)
        dir.At(i)->Box().SetStale(true);
    ShowMailbox(shownMailbox_);
    UpdateAccountCaptions();
    UpdateWindowState();
}

void MainWindow::popTreeCheckMailClick()
{
    if (!commands.checkMail || busy_ || vm::Accounts().Count() == 0)
        return;
    if (RootSelected()) {
        QList<MailAccount*> all;
        AccountsDirectory& dir = vm::Accounts();
        for (int i = 0; i < dir.Count(); ++i)
            all.append(dir.At(i));
        commands.checkMail(all, true);
    } else {
        const QList<MailAccount*> sel = SelectedAccounts();
        if (!sel.isEmpty())
            commands.checkMail(sel, false);
    }
}

void MainWindow::popTreePropertiesClick()
{
    if (QTreeWidgetItem* root = RootNode())
        root->setExpanded(true);
    const QList<QTreeWidgetItem*> sel = Tree->selectedItems();
    if (sel.size() != 1)
        return;
    MailAccount* account = AccountOf(sel.first());
    if (!account)
        return;
    if (!acf_->Edit(*account))
        return;
    UpdateAccountCaptions();
    UpdateWindowState();
}

void MainWindow::BRefreshClick()
{
    if (!shownMailbox_ || busy_ || !commands.checkMail)
        return;
    if (MailAccount* account = ShownAccount()) {
        if (commands.refresh)
            commands.refresh(account);
        else
            commands.checkMail({account}, false);
    }
}

} // namespace vm
