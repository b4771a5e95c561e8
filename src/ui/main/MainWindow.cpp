#include "ui/main/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

#include "config/Settings.h"
#include "config/ui/AccountWindow.h"
#include "config/ui/AccountWizard.h"
#include "core/Messages.h"
#include "core/AppInfo.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "ui/main/MainIcons.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"

namespace vm {


namespace {

const QString kMainSection = QStringLiteral("MAINWND");

QString MainText(const char* key)
{
    return LangText(kMainSection, QString::fromLatin1(key));
}

constexpr int kAccountRole = Qt::UserRole + 1;

MailAccount* AccountOf(const QTreeWidgetItem* item)
{
    if (!item)
        return nullptr;
    return reinterpret_cast<MailAccount*>(item->data(0, kAccountRole).value<quintptr>());
}

bool BoldAccount(const MailAccount* account)
{
    return account && !account->Box().Stale() && account->Box().AnyNew();
}

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

// Bold captions for accounts whose current list holds a new message.
class TreeDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto* account =
            reinterpret_cast<MailAccount*>(index.data(kAccountRole).value<quintptr>());
        option->font.setBold(BoldAccount(account));
        option->fontMetrics = QFontMetrics(option->font);
    }
};

// The 7-pixel bar between the tree and the right side; dragging it asks the
// window for a new left width.
class SplitterBar : public QWidget
{
public:
    explicit SplitterBar(MainWindow* window, QWidget* parent) : QWidget(parent), window_(window)
    {
        setCursor(Qt::SplitHCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override { dragging_ = e->button() == Qt::LeftButton; }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (dragging_)
            window_->TrySetLeftWidth(mapTo(parentWidget(), e->position().toPoint()).x());
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }

private:
    MainWindow* window_;
    bool dragging_ = false;
};

// A bottom bar button: the system paints the button, then the 32 x 32 image
// (its disabled variant when disabled) is drawn centred near the top and the
// caption centred below it.
class BarButton : public QToolButton
{
public:
    explicit BarButton(QWidget* parent) : QToolButton(parent) {}
    void SetImage(vm::BarImage image)
    {
        image_ = image;
        hasImage_ = true;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QStyleOptionToolButton opt;
        initStyleOption(&opt);
        opt.text.clear();
        opt.icon = QIcon();
        style()->drawComplexControl(QStyle::CC_ToolButton, &opt, &p, this);
        if (!hasImage_)
            return;
        QFont f = font();
        p.setFont(f);
        const QFontMetrics fm(f);
        const int th = fm.boundingRect(QStringLiteral("XYZ")).height();
        const int h = height();
        const int g = (h - th - 32) / 3;
        const QPixmap img = vm::BottomBarImage(image_, !isEnabled());
        p.drawPixmap((width() - 32) / 2, g, img);
        p.setPen(isEnabled() ? palette().color(QPalette::ButtonText)
                             : palette().color(QPalette::Disabled, QPalette::ButtonText));
        const int y = static_cast<int>(h - th - 1 - 1.5 * g);
        QString caption = text();
        caption.remove('&');
        p.drawText(QRect(0, y, width(), th), Qt::AlignHCenter | Qt::AlignTop,
                   fm.elidedText(caption, Qt::ElideRight, width() - 2));
    }

private:
    vm::BarImage image_ = vm::BarImage::Refresh;
    bool hasImage_ = false;
};

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MAINWND"));
    setWindowTitle(vm::AppInfo::Instance().ProductName() + ' ' +
                   vm::AppInfo::Instance().ProductVersion());
    setMinimumSize(860, 500);
    central_ = new QWidget(this);
    setCentralWidget(central_);

    const vm::Settings& s = vm::AppSettings();
    sortColumn_ = std::clamp(s.MainWndColumn, 0, 4);
    sortAscending_ = s.MainWndSortAscending;
    hideOld_ = s.OldMessagesDefHidden;

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
    Tree->setItemDelegate(new TreeDelegate(Tree));
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

    Splitter = new SplitterBar(this, central_);
    Splitter->setObjectName(QStringLiteral("Splitter"));

    PBoxHeader = new QFrame(central_);
    PBoxHeader->setObjectName(QStringLiteral("PBoxHeader"));
    PBoxHeader->setFrameShape(QFrame::StyledPanel);
    PBoxHeader->setFixedHeight(24);
    SBUnfilterList = new QToolButton(PBoxHeader);
    SBUnfilterList->setObjectName(QStringLiteral("SBUnfilterList"));
    SBUnfilterList->setGeometry(1, 1, PBoxHeader->height() - 2, PBoxHeader->height() - 2);
    SBUnfilterList->setText(QStringLiteral("x"));
    SBUnfilterList->setVisible(false);
    PBoxInfo = new QLabel(PBoxHeader);
    PBoxInfo->setObjectName(QStringLiteral("PBoxInfo"));
    PBoxInfo->setTextFormat(Qt::PlainText);
    PBoxInfo->setGeometry(0, 2, 600, 20);

    ViewFrame = new QWidget(central_);
    ViewFrame->setObjectName(QStringLiteral("ViewFrame"));
    ViewFrame->setVisible(false);
    ViewLayout = new QVBoxLayout(ViewFrame);
    ViewLayout->setContentsMargins(0, 0, 0, 0);
    ViewLayout->setSpacing(0);
    ListModel = new vm::MessageListModel(this);
    MsgList = new vm::MessageListView(ViewFrame);
    MsgList->SetListModel(ListModel);
    MsgList->SetNavigation(s.MsgListNavigation);
    MsgList->setContextMenuPolicy(Qt::CustomContextMenu);
    ListModel->SetColumnCaptions({QStringLiteral("From"), QStringLiteral("Subject"),
                                  QStringLiteral("Date"), QStringLiteral("Attachments"),
                                  QStringLiteral("Size")});
    ViewLayout->addWidget(MsgList, 1);

    WelcomeFrame = new QWidget(central_);
    WelcomeFrame->setObjectName(QStringLiteral("WelcomeFrame"));
    WelcomeFrame->setAutoFillBackground(true);
    QPalette wp = WelcomeFrame->palette();
    wp.setColor(QPalette::Window, Qt::white);
    WelcomeFrame->setPalette(wp);

    BottomBar = new QWidget(central_);
    BottomBar->setObjectName(QStringLiteral("BottomBar"));
    BRefresh = AddBarButton("BRefresh", QStringLiteral("Check mail"));
    BComposeNew = AddBarButton("BComposeNew", QStringLiteral("New message"));
    BClient = AddBarButton("BClient", QStringLiteral("Client"));
    BAddressBook = AddBarButton("BAddressBook", QStringLiteral("Address book"));
    BSettings = AddBarButton("BSettings", QStringLiteral("Settings"));
    BInfo = AddBarButton("BInfo", QStringLiteral("About"));
    BTray = AddBarButton("BTray", QStringLiteral("To tray"));
    static_cast<BarButton*>(BRefresh)->SetImage(vm::BarImage::Refresh);
    static_cast<BarButton*>(BComposeNew)->SetImage(vm::BarImage::ComposeNew);
    static_cast<BarButton*>(BClient)->SetImage(vm::BarImage::Client);
    static_cast<BarButton*>(BAddressBook)->SetImage(vm::BarImage::AddressBook);
    static_cast<BarButton*>(BSettings)->SetImage(vm::BarImage::Settings);
    static_cast<BarButton*>(BInfo)->SetImage(vm::BarImage::Info);
    static_cast<BarButton*>(BTray)->SetImage(vm::BarImage::ToTray);

    BottomPanel = new QWidget(central_);
    BottomPanel->setObjectName(QStringLiteral("BottomPanel"));
    PVersion = new QLabel(BottomPanel);
    PVersion->setObjectName(QStringLiteral("PVersion"));
    PVersion->setText(vm::AppInfo::Instance().ProductVersion());
    PVersion->setAlignment(Qt::AlignCenter);
    PVersion->setFrameShape(QFrame::StyledPanel);
    PStatus = new QWidget(BottomPanel);
    PStatus->setObjectName(QStringLiteral("PStatus"));
    PStatus->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* statusLayout = new QHBoxLayout(PStatus);
    statusLayout->setContentsMargins(4, 0, 0, 0);
    StatusText = new QLabel(PStatus);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    statusLayout->addWidget(StatusText, 1);
    ToolBar = new QToolBar(PStatus);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setIconSize(QSize(16, 16));
    TBAbort = new QToolButton(ToolBar);
    TBAbort->setObjectName(QStringLiteral("TBAbort"));
    TBAbort->setIcon(vm::AbortImage(false));
    TBAbort->setEnabled(false);
    TBAbort->setCursor(Qt::ArrowCursor);
    ToolBar->addWidget(TBAbort);
    TBLock = new QToolButton(ToolBar);
    TBLock->setObjectName(QStringLiteral("TBLock"));
    TBLock->setCheckable(true);
    TBLock->setIcon(vm::LockImage(false));
    ToolBar->addWidget(TBLock);
    statusLayout->addWidget(ToolBar);
    SetStatusText(QStringLiteral("Idle"));

    BuildMenus();

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
    connect(MsgList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (!shownMailbox_)
            return;
        UpdateListMenu();
        ListMenu->popup(MsgList->viewport()->mapToGlobal(pos));
    });
    connect(PStatus, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        popStatusInterrupt->setEnabled(busy_ && bool(commands.interrupt));
        StatusMenu->popup(PStatus->mapToGlobal(pos));
    });
    connect(MsgList->header(), &QHeaderView::sectionClicked, this,
            &MainWindow::MsgListColumnClick);
    connect(MsgList, &vm::MessageListView::doubleClickedList, this,
            &MainWindow::MsgListDblClick);
    connect(MsgList, &vm::MessageListView::detailsRequested, this,
            &MainWindow::popListDetailsClick);
    connect(MsgList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        UpdateListMenu();
        if (commands.refreshPreview)
            commands.refreshPreview();
    });

    connect(BRefresh, &QToolButton::clicked, this, &MainWindow::BRefreshClick);
    connect(BComposeNew, &QToolButton::clicked, this, [this] {
        if (shownMailbox_ && commands.compose)
            commands.compose(nullptr, ShownAccount(), 3);
    });
    connect(BClient, &QToolButton::clicked, this, [this] {
        if (shownMailbox_ && commands.client)
            commands.client(ShownAccount());
    });
    connect(BAddressBook, &QToolButton::clicked, this, [this] {
        if (commands.addressBook)
            commands.addressBook();
    });
    connect(BSettings, &QToolButton::clicked, this, [this] {
        if (commands.settings)
            commands.settings();
    });
    connect(BInfo, &QToolButton::clicked, this, [this] {
        if (commands.about)
            commands.about();
    });
    connect(BTray, &QToolButton::clicked, this, [this] {
        if (commands.tray)
            commands.tray();
    });
    connect(TBAbort, &QToolButton::clicked, popStatusInterrupt, &QAction::trigger);
    connect(TBLock, &QToolButton::clicked, this, [this] {
        if (commands.lockToggle)
            commands.lockToggle();
        else
            TBLock->setChecked(false);
    });
    connect(SBUnfilterList, &QToolButton::clicked, this, [this] {
        findFilter = nullptr;
        ShowMailbox(shownMailbox_);
    });

    treeHintTimer_.setSingleShot(true);
    treeHintTimer_.setInterval(1000);
    connect(&treeHintTimer_, &QTimer::timeout, this, [this] {
        if (Tree->underMouse() && !Tree->toolTip().isEmpty())
            QToolTip::showText(QCursor::pos(), Tree->toolTip(), Tree);
    });

    qApp->installEventFilter(this);

    acf_ = new vm::AccountWindow(nullptr);
    wizard_ = new vm::AccountWizard(nullptr);

    resize(900, 600);
    vm::TranslateWindow(this);
    BuildAccountTree();
    TreeClick();
    UpdateLayout();
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    delete acf_;
    delete wizard_;
}

QToolButton* MainWindow::AddBarButton(const char* name, const QString& caption)
{
    auto* b = new BarButton(BottomBar);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setAutoRaise(true);
    return b;
}

QAction* MainWindow::AddAction(QMenu* menu, const char* name, const QKeySequence& shortcut,
                                QWidget* shortcutOwner)
{
    auto* a = new QAction(QString::fromLatin1(name), menu);
    a->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WidgetShortcut);
        shortcutOwner->addAction(a);
    }
    menu->addAction(a);
    return a;
}

void MainWindow::BuildMenus()
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
    connect(TreeMenu, &QMenu::aboutToShow, this, &MainWindow::UpdateTreeMenu);
    connect(popTreeAdd, &QAction::triggered, this, [this] { popTreeAddClick(false); });
    connect(popTreeAddWizard, &QAction::triggered, this, [this] { popTreeAddClick(true); });
    connect(popTreeDelete, &QAction::triggered, this, &MainWindow::popTreeDeleteClick);
    connect(popTreeWipeLists, &QAction::triggered, this, &MainWindow::popTreeWipeListsClick);
    connect(popTreeCheckMail, &QAction::triggered, this, &MainWindow::popTreeCheckMailClick);
    connect(popTreeProperties, &QAction::triggered, this,
            &MainWindow::popTreePropertiesClick);

    ListMenu = new QMenu(this);
    ListMenu->setObjectName(QStringLiteral("ListMenu"));
    popListDetails = AddAction(ListMenu, "popListDetails", QKeySequence(Qt::Key_Return), MsgList);
    popListDelete = AddAction(ListMenu, "popListDelete", QKeySequence(Qt::Key_Delete), MsgList);
    popListSelectAll =
        AddAction(ListMenu, "popListSelectAll", QKeySequence(Qt::CTRL | Qt::Key_A), MsgList);
    ListMenu->addSeparator();
    popListSearch = AddAction(ListMenu, "popListSearch", {}, MsgList);
    popListSearch->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F)); // window-level key
    ListMenu->addSeparator();
    popListReply = AddAction(ListMenu, "popListReply",
                             QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R), MsgList);
    popListReplyToAll = AddAction(ListMenu, "popListReplyToAll", {}, MsgList);
    popListForward = AddAction(ListMenu, "popListForward",
                               QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), MsgList);
    popListComposeNew = AddAction(ListMenu, "popListComposeNew", {}, MsgList);
    popListComposeNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N)); // window-level key
    ListMenu->addSeparator();
    popListRetrieveWhole =
        AddAction(ListMenu, "popListRetrieveWhole", QKeySequence(Qt::CTRL | Qt::Key_D), MsgList);
    popListRetrieveAll = AddAction(ListMenu, "popListRetrieveAll", {}, MsgList);
    popListRetrieveAll->setVisible(false);
    popListSaveToFile =
        AddAction(ListMenu, "popListSaveToFile", QKeySequence(Qt::CTRL | Qt::Key_S), MsgList);
    ListMenu->addSeparator();
    popListUncheckNew =
        AddAction(ListMenu, "popListUncheckNew", QKeySequence(Qt::CTRL | Qt::Key_U), MsgList);
    popListShowOld =
        AddAction(ListMenu, "popListShowOld", QKeySequence(Qt::CTRL | Qt::Key_H), MsgList);
    popListShowOld->setCheckable(true);
    ListMenu->addSeparator();
    popListRefresh = AddAction(ListMenu, "popListRefresh", {}, MsgList);
    popListRefresh->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R)); // window-level key
    popListClearList = AddAction(ListMenu, "popListClearList", {}, MsgList);
    connect(ListMenu, &QMenu::aboutToShow, this, &MainWindow::UpdateListMenu);

    connect(popListDetails, &QAction::triggered, this, &MainWindow::popListDetailsClick);
    connect(popListDelete, &QAction::triggered, this, [this] {
        const auto msgs = SelectedMessages();
        if (!msgs.isEmpty() && commands.deleteOnServer)
            commands.deleteOnServer(msgs);
    });
    connect(popListSelectAll, &QAction::triggered, this, [this] {
        if (ListModel->rowCount() > 0)
            MsgList->selectAll();
    });
    connect(popListSearch, &QAction::triggered, this, [this] {
        if (commands.search)
            commands.search();
    });
    auto composeWith = [this](int mode) {
        const auto msgs = SelectedMessages();
        if (msgs.size() == 1 && commands.compose)
            commands.compose(msgs.first(), ShownAccount(), mode);
    };
    connect(popListReply, &QAction::triggered, this, [composeWith] { composeWith(0); });
    connect(popListReplyToAll, &QAction::triggered, this, [composeWith] { composeWith(1); });
    connect(popListForward, &QAction::triggered, this, [composeWith] { composeWith(2); });
    connect(popListComposeNew, &QAction::triggered, this, [this] {
        if (shownMailbox_ && commands.compose)
            commands.compose(nullptr, ShownAccount(), 3);
    });
    connect(popListRetrieveWhole, &QAction::triggered, this, [this] {
        const auto msgs = SelectedMessages();
        if (!msgs.isEmpty() && commands.retrieveWhole)
            commands.retrieveWhole(msgs);
    });
    connect(popListRetrieveAll, &QAction::triggered, this, [this] {
        if (commands.retrieveAll)
            commands.retrieveAll();
    });
    connect(popListSaveToFile, &QAction::triggered, this, [this] {
        const auto msgs = SelectedMessages();
        if (!msgs.isEmpty() && commands.saveToFile)
            commands.saveToFile(msgs);
    });
    connect(popListUncheckNew, &QAction::triggered, this, &MainWindow::popListUncheckNewClick);
    connect(popListShowOld, &QAction::triggered, this, &MainWindow::popListShowOldClick);
    connect(popListRefresh, &QAction::triggered, this, &MainWindow::BRefreshClick);
    connect(popListClearList, &QAction::triggered, this, &MainWindow::popListClearListClick);

    StatusMenu = new QMenu(this);
    StatusMenu->setObjectName(QStringLiteral("StatusMenu"));
    popStatusInterrupt = AddAction(StatusMenu, "popStatusInterrupt", {}, PStatus);
    connect(popStatusInterrupt, &QAction::triggered, this, [this] {
        if (busy_ && commands.interrupt)
            commands.interrupt();
    });
}

// ---------------------------------------------------------------- tree ----

QString MainWindow::AccountCaption(const MailAccount& account)
{
    QString caption = QString::fromLocal8Bit(account.DisplayName());
    if (account.Box().Stale())
        caption += QStringLiteral(" (?)");
    else
        caption += QStringLiteral(" (") + QString::number(account.Box().Count()) + ')';
    return caption;
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
    return BoldAccount(AccountOf(node));
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
    for (int i = 0; i < root->childCount(); ++i) {
        QTreeWidgetItem* node = root->child(i);
        if (const MailAccount* account = AccountOf(node))
            node->setText(0, AccountCaption(*account));
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
    popTreeDelete->setEnabled(!sel.isEmpty() && !(RootSelected() && onlyRoot));
    popTreeWipeLists->setEnabled(hasAccounts);
    popTreeCheckMail->setEnabled(hasAccounts && !busy_ && bool(commands.checkMail));
    popTreeProperties->setEnabled(sel.size() == 1 && sel.first() != root);
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
        added->SaveToFile();
    } catch (const std::exception&) {
        vm::ShowWarning(MainText("ErrorSavingNewAccount"));
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
    if (account->MailboxFileName().isEmpty())
        return;
    QString dir = vm::Accounts().MailboxDirectory();
    if (!dir.isEmpty() && !dir.endsWith('/'))
        dir += '/';
    // A file that cannot be deleted is left behind without a message.
    QFile::remove(dir + account->MailboxFileName());
}

void MainWindow::popTreeDeleteClick()
{
    const QList<QTreeWidgetItem*> sel = Tree->selectedItems();
    if (sel.isEmpty())
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

// ---------------------------------------------------------------- list ----

void MainWindow::ShowMailbox(Mailbox* mailbox)
{
    QList<QByteArray> focused;
    QList<QByteArray> selected;
    if (mailbox && mailbox == shownMailbox_) {
        // Read the UIDLs the rows kept: records may have been deleted since.
        const int f = MsgList->FocusedRow();
        if (ListModel->MessageAt(f))
            focused.append(ListModel->UidAt(f));
        for (int r : MsgList->SelectedRows())
            if (ListModel->MessageAt(r))
                selected.append(ListModel->UidAt(r));
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    MsgList->setUpdatesEnabled(false);
    vm::MessageListModel::FillOptions options;
    options.hideOld = hideOld_;
    options.oldThreshold = vm::AppSettings().OldMessagesThreshold;
    options.filter = findFilter;
    ListModel->Fill(mailbox, options);
    QApplication::restoreOverrideCursor();

    if (mailbox != shownMailbox_)
        ExpireNewMarks();
    shownSince_ = vm::Now();
    shownMailbox_ = mailbox;
    MsgList->SetPaintRows(mailbox && !mailbox->Stale());

    ListModel->SortRows(sortColumn_, sortAscending_);
    RestoreSelection(focused, selected);

    MsgList->setUpdatesEnabled(true);
    Tree->viewport()->update();
    UpdateWindowState();
    if (commands.previewMailbox)
        commands.previewMailbox(mailbox);
    if (commands.refreshPreview)
        commands.refreshPreview();
}

void MainWindow::RestoreSelection(const QList<QByteArray>& focused,
                                   const QList<QByteArray>& selected)
{
    QItemSelectionModel* sm = MsgList->selectionModel();
    const int rows = ListModel->rowCount();
    const QList<int> focusRows = ListModel->RowsOfUidls(focused);
    if (!focusRows.isEmpty())
        sm->setCurrentIndex(ListModel->index(focusRows.first(), 0), QItemSelectionModel::NoUpdate);
    const QList<int> selRows = ListModel->RowsOfUidls(selected);
    if (!selRows.isEmpty()) {
        QItemSelection selection;
        // Contiguous runs become one range each.
        int start = selRows.first();
        int prev = start;
        for (int i = 1; i <= selRows.size(); ++i) {
            if (i < selRows.size() && selRows[i] == prev + 1) {
                prev = selRows[i];
                continue;
            }
            selection.select(ListModel->index(start, 0),
                             ListModel->index(prev, vm::MessageListModel::kColumns - 1));
            if (i < selRows.size())
                start = prev = selRows[i];
        }
        sm->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    if (rows == 0)
        return;
    const bool ascendingByDate = sortAscending_ && sortColumn_ == 2;
    if (selRows.isEmpty()) {
        if (ascendingByDate && rows > 1) {
            MsgList->scrollToBottom();
            int last = rows - 1;
            while (last >= 0 && !ListModel->MessageAt(last))
                --last;
            if (last >= 0)
                sm->setCurrentIndex(ListModel->index(last, 0), QItemSelectionModel::NoUpdate);
        } else if (ListModel->MessageAt(0)) {
            sm->setCurrentIndex(ListModel->index(0, 0), QItemSelectionModel::NoUpdate);
        }
    } else {
        if (ascendingByDate)
            MsgList->scrollToBottom();
        MsgList->scrollTo(ListModel->index(selRows.first(), 0));
    }
}

QList<MessageRecord*> MainWindow::SelectedMessages() const
{
    QList<MessageRecord*> out;
    for (int r : MsgList->SelectedRows())
        if (MessageRecord* m = ListModel->MessageAt(r))
            out.append(m);
    return out;
}

void MainWindow::ExpireNewMarks()
{
    const vm::Settings& s = vm::AppSettings();
    if (!shownMailbox_ || shownSince_ == 0 || shownMailbox_->Stale() || s.NewMessagesStyle != 0)
        return;
    const double elapsedSeconds = (vm::Now() - shownSince_) * 86400.0;
    if (elapsedSeconds >= s.NewMessagesTimeout)
        shownMailbox_->ClearNew();
}

void MainWindow::MessageDisplayed(MessageRecord* message)
{
    if (!message || vm::AppSettings().NewMessagesStyle != 2 || !message->IsNew())
        return;
    message->SetNew(false);
    RepaintMarks();
}

void MainWindow::RepaintMarks()
{
    ListModel->RefreshAll();
    MsgList->viewport()->update();
    Tree->viewport()->update();
    UpdateListMenu();
}

void MainWindow::MsgListColumnClick(int column)
{
    if (column == sortColumn_)
        sortAscending_ = !sortAscending_;
    else
        sortColumn_ = column;
    ListModel->SortRows(sortColumn_, sortAscending_);
}

void MainWindow::MsgListDblClick()
{
    if (!shownMailbox_)
        return;
    if (!MsgList->SelectedRows().isEmpty()) {
        popListDetailsClick();
        return;
    }
    if (!hideOld_)
        return;
    const int n = ListModel->rowCount();
    hideOld_ = false;
    ShowMailbox(shownMailbox_);
    if (n - 1 < ListModel->rowCount() && !sortAscending_ && sortColumn_ == 2 && n >= 1) {
        const QModelIndex idx = ListModel->index(n - 1, 0);
        MsgList->selectionModel()->setCurrentIndex(
            idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        MsgList->scrollTo(idx);
    }
}

void MainWindow::popListDetailsClick()
{
    const auto msgs = SelectedMessages();
    if (msgs.size() != 1 || !commands.details)
        return;
    commands.details(msgs.first());
}

void MainWindow::popListUncheckNewClick()
{
    if (!shownMailbox_ || !shownMailbox_->AnyNew())
        return;
    shownMailbox_->ClearNew();
    if (commands.refreshPreview)
        commands.refreshPreview();
    RepaintMarks();
}

void MainWindow::popListShowOldClick()
{
    if (!shownMailbox_ || shownMailbox_->Stale())
        return;
    hideOld_ = !hideOld_;
    ShowMailbox(shownMailbox_);
}

void MainWindow::popListClearListClick()
{
    if (!shownMailbox_ || shownMailbox_->Stale() || shownMailbox_->Count() == 0)
        return;
    shownMailbox_->SetStale(true);
    ShowMailbox(shownMailbox_);
    UpdateAccountCaptions();
    UpdateWindowState();
}

void MainWindow::UpdateListMenu()
{
    const QList<int> sel = MsgList->SelectedRows();
    const int selectedMessages = static_cast<int>(SelectedMessages().size());
    const bool one = selectedMessages == 1 && sel.size() == 1;
    const bool any = selectedMessages > 0;
    const bool shown = shownMailbox_ != nullptr;
    const bool notEmpty = ListModel->rowCount() > 0;
    popListDetails->setEnabled(one && bool(commands.details));
    popListDelete->setEnabled(any && !busy_ && bool(commands.deleteOnServer));
    popListSelectAll->setEnabled(notEmpty);
    popListSearch->setEnabled(bool(commands.search));
    popListReply->setEnabled(one && bool(commands.compose));
    popListReplyToAll->setEnabled(one && bool(commands.compose));
    popListForward->setEnabled(one && bool(commands.compose));
    popListComposeNew->setEnabled(shown && bool(commands.compose));
    popListRetrieveWhole->setEnabled(any && !busy_ && bool(commands.retrieveWhole));
    popListRetrieveAll->setEnabled(notEmpty && !busy_ && bool(commands.retrieveAll));
    popListSaveToFile->setEnabled(any && bool(commands.saveToFile));
    popListUncheckNew->setEnabled(shown && shownMailbox_->AnyNew());
    popListShowOld->setEnabled(shown && !shownMailbox_->Stale());
    popListShowOld->setChecked(!hideOld_);
    popListRefresh->setEnabled(shown && !busy_ && bool(commands.checkMail));
    popListClearList->setEnabled(shown && !shownMailbox_->Stale() && shownMailbox_->Count() > 0);
}

// --------------------------------------------------------- window state ----

void MainWindow::UpdateHeaderLine()
{
    SBUnfilterList->setVisible(false);
    PBoxInfo->setGeometry(0, 2, PBoxHeader->width(), PBoxHeader->height() - 4);
    QString text;
    if (shownMailbox_) {
        MailAccount* account = ShownAccount();
        const QString name = account ? QString::fromLocal8Bit(account->DisplayName()) : QString();
        if (shownMailbox_->Stale()) {
            text = ' ' + LangFormat(kMainSection, QStringLiteral("ListHeaderNoData"), {name});
        } else {
            const int count = shownMailbox_->Count();
            const bool more = ListModel->HasMoreRow();
            const QString countText =
                more ? QString::number(ListModel->rowCount() - 1) + QStringLiteral(" / ") +
                           QString::number(count)
                     : QString::number(count);
            QString sizeText;
            if (count > 0) {
                const qint64 k = vm::HeaderKilobytes(shownMailbox_->TotalSize());
                sizeText = more ? QStringLiteral(" (") + MainText("Total") + ' ' +
                                      QString::number(k) + QStringLiteral("KB)")
                                : QStringLiteral(" (") + QString::number(k) + QStringLiteral("KB)");
            }
            QString checked;
            const QDateTime last = vm::FromDays(shownMailbox_->LastCheck());
            if (last.isValid()) {
                const QLocale loc = QLocale::system();
                checked = vm::LongTimeText(last.time(), loc) + QStringLiteral("  ") +
                          loc.toString(last.date(), QLocale::ShortFormat);
            }
            text = ' ' + LangFormat(kMainSection, QStringLiteral("ListHeader"),
                                    {name, countText, sizeText, checked});
        }
    }
    PBoxInfo->setText(text);
    if (findFilter) {
        const int side = PBoxHeader->height();
        SBUnfilterList->setVisible(true);
        PBoxInfo->setGeometry(side, 2, std::max(PBoxHeader->width() - side, 0),
                              PBoxHeader->height() - 4);
    }
}

void MainWindow::UpdateWindowState()
{
    const bool shown = shownMailbox_ != nullptr;
    MailAccount* account = ShownAccount();
    Tree->setEnabled(!busy_);
    BSettings->setEnabled(!busy_ && bool(commands.settings));
    BInfo->setEnabled(!busy_ && bool(commands.about));
    TBLock->setEnabled(!busy_);
    BComposeNew->setEnabled(shown && bool(commands.compose));
    const bool webmail = account && account->ClientKind() == 1 &&
                         !account->WebmailAddress().trimmed().isEmpty();
    BClient->setText(webmail ? MainText("BWebmail") : MainText("BClient"));
    BClient->setEnabled(shown && bool(commands.client));
    BRefresh->setEnabled(shown && !busy_ && bool(commands.checkMail));
    BAddressBook->setEnabled(bool(commands.addressBook));
    MsgList->setEnabled(shown && !busy_);
    BottomBar->update();

    const Qt::CursorShape cursor = busy_ ? Qt::WaitCursor : Qt::ArrowCursor;
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(PVersion), PStatus,
                       static_cast<QWidget*>(PBoxHeader), LeftPanel, ViewFrame})
        w->setCursor(cursor);
    TBAbort->setCursor(Qt::ArrowCursor);

    UpdateHeaderLine();

    const bool crossHides = vm::AppSettings().CrossHides;
    BTray->setText(crossHides ? MainText("BTrayExit") : MainText("BTrayTray"));
    static_cast<BarButton*>(BTray)->SetImage(crossHides ? vm::BarImage::Exit
                                                        : vm::BarImage::ToTray);
    BTray->setEnabled(bool(commands.tray) && !(busy_ && crossHides));

    UpdateTreeMenu();
    UpdateListMenu();
}

void MainWindow::SetBusy(bool busy)
{
    busy_ = busy;
    TBAbort->setIcon(vm::AbortImage(busy));
    TBAbort->setEnabled(busy && bool(commands.interrupt));
    popStatusInterrupt->setEnabled(busy && bool(commands.interrupt));
    UpdateWindowState();
}

void MainWindow::SetLockedLook(bool locked)
{
    TBLock->setChecked(locked);
    TBLock->setIcon(vm::LockImage(locked));
}

void MainWindow::AfterTranslation()
{
    const QString idle = MainText("Idle");
    SetStatusText(idle.isEmpty() ? QStringLiteral("Idle") : idle);
    if (QTreeWidgetItem* root = RootNode()) {
        const QString caption = MainText("Mailboxes");
        if (!caption.isEmpty())
            root->setText(0, caption);
    }
    Tree->viewport()->update();
    UpdateWindowState();
}

void MainWindow::CopyWindowState(vm::Settings& settings) const
{
    const QRect r = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    settings.MainWndLeft = r.left();
    settings.MainWndTop = r.top();
    settings.MainWndRight = r.left() + r.width();
    settings.MainWndBottom = r.top() + r.height();
    settings.MainWndHorzDiv = LeftPanel->width();
    settings.MainWndColumn = sortColumn_;
    settings.MainWndSortAscending = sortAscending_;
    const MailAccount* account = ShownAccount();
    settings.LastAccount = account ? QString::fromLocal8Bit(account->DisplayName()) : QString();
}

// ------------------------------------------------------------ placement ----

bool MainWindow::ClampPlacement(int left, int top, int right, int bottom, const QSize& minimum,
                                 const QSize& workArea, QRect& result)
{
    if (left == top && top == right && right == bottom)
        return false;
    right = std::max(right, 0);
    bottom = std::max(bottom, 0);
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (left < 0) {
        right -= left;
        left = 0;
    }
    if (top < 0) {
        bottom -= top;
        top = 0;
    }
    if (right - left < minimum.width())
        right = left + minimum.width();
    if (bottom - top < minimum.height())
        bottom = top + minimum.height();
    if (right >= workArea.width()) {
        const int w = right - left;
        right = workArea.width() - 1;
        left = std::max(right - w, 0);
    }
    if (bottom >= workArea.height()) {
        const int h = bottom - top;
        bottom = workArea.height() - 1;
        top = std::max(bottom - h, 0);
    }
    result = QRect(QPoint(left, top), QSize(right - left, bottom - top));
    return true;
}

bool MainWindow::RestorePlacement(QWidget* window, int left, int top, int right, int bottom)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QSize work = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    QRect r;
    if (!ClampPlacement(left, top, right, bottom, window->minimumSize(), work, r))
        return false;
    window->setGeometry(r);
    return true;
}

void MainWindow::RunFirstActivation()
{
    if (firstActivationDone_)
        return;
    firstActivationDone_ = true;
    vm::Settings& s = vm::AppSettings();
    bool applied = false;
    if (s.SaveWindowParams)
        applied = RestorePlacement(this, s.MainWndLeft, s.MainWndTop, s.MainWndRight,
                                   s.MainWndBottom);
    if (!applied && !shownMailbox_ && WelcomeFrame->height() < 440) {
        const int growth = 440 - WelcomeFrame->height();
        QScreen* screen = this->screen();
        const int workHeight = screen ? screen->availableGeometry().height() : 768;
        if (height() + growth < workHeight) {
            QRect g = geometry();
            g.setTop(std::max(g.top() - growth / 2, 0));
            g.setHeight(height() + growth);
            setGeometry(g);
        }
    }
    if (s.MainWndHorzDiv > 0) {
        LeftPanel->resize(s.MainWndHorzDiv, LeftPanel->height());
        UpdateLayout();
    }
    MsgList->SetDefaultColumnWidths(ViewFrame->width() - 2 * MsgList->frameWidth());
    if (!s.LastAccount.isEmpty()) {
        QTreeWidgetItem* root = RootNode();
        for (int i = 0; root && i < root->childCount(); ++i) {
            MailAccount* account = AccountOf(root->child(i));
            if (account && QString::fromLocal8Bit(account->DisplayName()) == s.LastAccount) {
                adjustingSelection_ = true;
                Tree->clearSelection();
                root->child(i)->setSelected(true);
                Tree->setCurrentItem(root->child(i), 0, QItemSelectionModel::NoUpdate);
                adjustingSelection_ = false;
                UpdateTreeMenu();
                TreeClick();
                break;
            }
        }
    }
}

// ---------------------------------------------------------------- layout ----

void MainWindow::SetStatusText(const QString& text)
{
    StatusText->setText(text);
    StatusText->repaint();
}

bool MainWindow::TrySetLeftWidth(int width)
{
    const int clientWidth = central_->width();
    if (width <= kLeftMinWidth || width >= clientWidth - kRightMinWidth)
        return false;
    LeftPanel->resize(width, LeftPanel->height());
    UpdateLayout();
    return true;
}

void MainWindow::UpdateLayout()
{
    const int cw = central_->width();
    const int ch = central_->height();
    int leftWidth = std::max(LeftPanel->width(), kLeftMinWidth);
    if (cw - kRightMinWidth < leftWidth)
        leftWidth = std::max(cw - kRightMinWidth, 0);
    const int bottomTop = ch - kBottomPanelHeight;
    LeftPanel->setGeometry(0, 0, leftWidth, bottomTop);
    Splitter->setGeometry(leftWidth, 0, kSplitterWidth, bottomTop);

    const int viewLeft = leftWidth + kSplitterWidth;
    const int viewWidth = std::max(cw - viewLeft - 1, 0);
    PBoxHeader->setGeometry(viewLeft, 0, viewWidth, PBoxHeader->height());
    const int viewTop = PBoxHeader->height();
    const int viewHeight = std::max(ch - kBottomBarHeight - kBottomPanelHeight - viewTop, 0);
    ViewFrame->setGeometry(viewLeft, viewTop, viewWidth, viewHeight);
    WelcomeFrame->setGeometry(viewLeft, viewTop, viewWidth, viewHeight);

    const QList<QToolButton*> buttons{BRefresh, BComposeNew, BClient, BAddressBook,
                                      BSettings, BInfo,       BTray};
    const int w = viewWidth / 7;
    const int barLeft = viewLeft + (viewWidth - 7 * w) / 2;
    BottomBar->setGeometry(barLeft, bottomTop - kBottomBarHeight, 7 * w, kBottomBarHeight);
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->setGeometry(i * w, 0, w, kBottomBarHeight);

    BottomPanel->setGeometry(0, bottomTop, cw, kBottomPanelHeight);
    PVersion->setGeometry(0, 0, leftWidth + 1, kBottomPanelHeight);
    PStatus->setGeometry(viewLeft, 0, cw - viewLeft + 1, kBottomPanelHeight);
    UpdateHeaderLine();
}

// ---------------------------------------------------------------- events ----

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    UpdateLayout();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (QTreeWidgetItem* root = RootNode()) {
        const QString caption = MainText("Mailboxes");
        if (!caption.isEmpty())
            root->setText(0, caption);
    }
    UpdateWindowState();
    if (!firstActivationDone_)
        QTimer::singleShot(0, this, [this] {
            if (isVisible())
                RunFirstActivation();
        });
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        RunFirstActivation();
        QFont f = MsgList->font();
        f.setPointSize(9);
        MsgList->setFont(f);
        if (commands.activated)
            commands.activated();
    }
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (closeRequestHandler && !closeRequestHandler())
        event->ignore();
    else
        event->accept();
}

void MainWindow::RunIfEnabled(QAbstractButton* button)
{
    if (button->isEnabled())
        button->click();
}

bool MainWindow::HandleWindowKey(QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods == Qt::ControlModifier;
    switch (key->key()) {
    case Qt::Key_F3:
        if (mods == Qt::NoModifier && commands.findVisible && commands.findVisible()) {
            if (commands.findNext)
                commands.findNext();
            return true;
        }
        return false;
    case Qt::Key_F2:
        if (mods != Qt::NoModifier)
            return false;
        RunIfEnabled(BInfo);
        return true;
    case Qt::Key_M:
        if (!ctrl)
            return false;
        RunIfEnabled(BTray);
        return true;
    case Qt::Key_B:
        if (!ctrl)
            return false;
        RunIfEnabled(BAddressBook);
        return true;
    case Qt::Key_N:
        if (!ctrl)
            return false;
        RunIfEnabled(BComposeNew);
        return true;
    case Qt::Key_R:
        // In the tree Ctrl+R is the tree's own check command.
        if (!ctrl || Tree->hasFocus())
            return false;
        RunIfEnabled(BRefresh);
        return true;
    case Qt::Key_F:
        if (!ctrl)
            return false;
        if (popListSearch->isEnabled())
            popListSearch->trigger();
        return true;
    default:
        return false;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Window-level keys come before the focused control and its shortcuts.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (event->type() == QEvent::ShortcutOverride) {
                // Claim the key so no shortcut takes it; the KeyPress follows.
                const bool mine = [&] {
                    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
                    switch (key->key()) {
                    case Qt::Key_F2:
                    case Qt::Key_F3:
                        return mods == Qt::NoModifier;
                    case Qt::Key_R:
                        return mods == Qt::ControlModifier && !Tree->hasFocus();
                    case Qt::Key_M:
                    case Qt::Key_B:
                    case Qt::Key_N:
                    case Qt::Key_F:
                        return mods == Qt::ControlModifier;
                    default:
                        return false;
                    }
                }();
                if (mine) {
                    event->accept();
                    return true;
                }
            } else if (HandleWindowKey(key)) {
                return true;
            }
        }
    }
    if (watched == Tree || watched == Tree->viewport()) {
        switch (event->type()) {
        case QEvent::Enter:
            if (watched == Tree) {
                if (treeHintAllowance_ > 0) {
                    --treeHintAllowance_;
                    treeHintTimer_.start();
                } else {
                    treeHintsOn_ = false;
                }
            }
            break;
        case QEvent::Leave:
            if (watched == Tree) {
                treeHintTimer_.stop();
                QToolTip::hideText();
            }
            break;
        case QEvent::ToolTip:
            return true; // the tree's hint is shown by the timer only
        case QEvent::KeyRelease:
            if (watched == Tree) {
                auto* key = static_cast<QKeyEvent*>(event);
                if (!key->isAutoRepeat() && key->key() != Qt::Key_Return &&
                    key->key() != Qt::Key_Enter)
                    TreeClick();
            }
            break;
        case QEvent::KeyPress:
            if (watched == Tree) {
                auto* key = static_cast<QKeyEvent*>(event);
                if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                    Tree->selectedItems().size() == 1) {
                    popTreePropertiesClick();
                    return true;
                }
            }
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace vm
