#include "ui/main/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFrame>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QHBoxLayout>

#include <algorithm>
#include <memory>

#include "config/Settings.h"
#include "core/AppInfo.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "ui/accounts/AccountWindow.h"
#include "ui/accounts/AccountWizard.h"
#include "ui/main/MainIcons.h"
#include "ui/main/MainWindowShared.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/view/HtmlView.h"
#include "ui/view/MessageView.h"
#include "ui/view/PreviewPane.h"
#include "ui/view/WelcomeView.h"


namespace vm {

using namespace mainwindow;

namespace {

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

    BuildTreePane();

    Splitter = new SplitterBar(this, central_);
    Splitter->setObjectName(QStringLiteral("Splitter"));

    BuildListPane();

    WelcomeFrame = new WelcomeView(central_);
    WelcomeFrame->addAccount = [this] {
        // A new account changes the account list: never while a POP3
        // operation owns it.
        if (!busy_)
            popTreeAddClick(true);
    };
    WelcomeFrame->help = [this] {
        if (commands.help)
            commands.help();
    };
    WelcomeFrame->makerSite = [] {
        QDesktopServices::openUrl(QUrl(AppInfo::Instance().MakerHomePage()));
    };

    BuildBottomBar();

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

    BuildTreeMenu();
    BuildListMenu();
    BuildStatusMenu();
    BindPreviewHooks(); // after the menus: the buttons run their items

    connect(PStatus, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        popStatusInterrupt->setEnabled(busy_ && bool(commands.interrupt));
        StatusMenu->popup(PStatus->mapToGlobal(pos));
    });
    connect(TBAbort, &QToolButton::clicked, popStatusInterrupt, &QAction::trigger);
    connect(TBLock, &QToolButton::clicked, this, [this] {
        if (commands.lockToggle)
            commands.lockToggle();
        // The button shows the lock as it is: a refused lock leaves it up.
        TBLock->setChecked(lockedLook_);
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
void MainWindow::BuildStatusMenu()
{
    StatusMenu = new QMenu(this);
    StatusMenu->setObjectName(QStringLiteral("StatusMenu"));
    popStatusInterrupt = AddAction(StatusMenu, "popStatusInterrupt", {}, PStatus);
    connect(popStatusInterrupt, &QAction::triggered, this, [this] {
        if (busy_ && commands.interrupt)
            commands.interrupt();
    });
}

// --------------------------------------------------------- window state ----

void MainWindow::UpdateHeaderLine()
{
    SBUnfilterList->setVisible(false);
    PBoxInfo->setGeometry(0, 2, PBoxHeader->width(), PBoxHeader->height() - 4);
    // While an operation runs the line keeps what it said at its start: the
    // worker may be changing the shown mailbox.
    QString text = busy_ ? PBoxInfo->text() : QString();
    if (!busy_ && shownMailbox_) {
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
    BindPreviewHooks();
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
    // The pane (with the list) works only on a shown mailbox that no
    // operation is changing.
    ViewFrame->setEnabled(shown && !busy_);
    BottomBar->update();

    const Qt::CursorShape cursor = busy_ ? Qt::WaitCursor : Qt::ArrowCursor;
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(PVersion), PStatus,
                       static_cast<QWidget*>(PBoxHeader), LeftPanel})
        w->setCursor(cursor);
    ViewFrame->SetBusyCursor(busy_);
    TBAbort->setCursor(Qt::ArrowCursor);

    UpdateHeaderLine();

    UpdateTrayButton();

    UpdateTreeMenu();
    UpdateListMenu();
}

void MainWindow::SetBusy(bool busy)
{
    if (busy && !busy_) {
        boldWhileBusy_.clear();
        const AccountsDirectory& dir = vm::Accounts();
        for (int i = 0; i < dir.Count(); ++i)
            if (const MailAccount* account = dir.At(i))
                boldWhileBusy_.insert(account, BoldAccount(account));
    }
    const bool ended = busy_ && !busy;
    busy_ = busy;
    if (ended) {
        boldWhileBusy_.clear();
        if (captionsPending_) {
            captionsPending_ = false;
            UpdateAccountCaptions();
        }
        Tree->viewport()->update();
    }
    TBAbort->setIcon(vm::AbortImage(busy));
    TBAbort->setEnabled(busy && bool(commands.interrupt));
    popStatusInterrupt->setEnabled(busy && bool(commands.interrupt));
    UpdateWindowState();
}

void MainWindow::SetLockedLook(bool locked)
{
    lockedLook_ = locked;
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
    settings.MainWndColumn = sortColumn_;
    settings.MainWndSortAscending = sortAscending_;
    // A window that was never shown (started in the tray and ended from
    // there) has no placement or tree width of its own, and shows an account
    // only when one was chosen: otherwise the loaded values stay.
    const MailAccount* account = ShownAccount();
    if (!everShown_) {
        if (account)
            settings.LastAccount = QString::fromLocal8Bit(account->DisplayName());
        return;
    }
    const QRect r = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    // Hidden in the tray or minimised, the window keeps the state it had.
    settings.MainWndMaximized = windowState().testFlag(Qt::WindowMaximized);
    if (MsgList->UserSetWidths())
        settings.MainWndColumnWidths = MsgList->ColumnWidthsText();
    settings.MainWndLeft = r.left();
    settings.MainWndTop = r.top();
    settings.MainWndRight = r.left() + r.width();
    settings.MainWndBottom = r.top() + r.height();
    settings.MainWndHorzDiv = LeftPanel->width();
    settings.MainWndVertDiv = ViewFrame->PreviewHeight();
    settings.MainWndPreview = ViewFrame->PreviewShown();
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
    // The normal rectangle is in place: a window that was maximised is
    // maximised again over it.
    if (s.SaveWindowParams && s.MainWndMaximized && !isMaximized())
        showMaximized();
    if (s.MainWndHorzDiv > 0) {
        LeftPanel->resize(s.MainWndHorzDiv, LeftPanel->height());
        UpdateLayout();
    } else {
        FitTreeWidth();
    }
    ViewFrame->SetPreviewHeight(s.MainWndVertDiv);
    ViewFrame->SetPreviewShown(s.MainWndPreview);
    MsgList->SetDefaultColumnWidths(ViewFrame->width() - 2 * MsgList->frameWidth());
    MsgList->ApplyColumnWidthsText(s.MainWndColumnWidths);
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
    everShown_ = true;
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
    case Qt::Key_F1:
        if (mods != Qt::NoModifier || !commands.help)
            return false;
        commands.help();
        return true;
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

bool MainWindow::RoutePreviewEvent(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                       type == QEvent::MouseButtonDblClick;
    const bool key = type == QEvent::ShortcutOverride || type == QEvent::KeyPress;
    if (!mouse && !key && type != QEvent::ContextMenu)
        return false;
    auto* w = qobject_cast<QWidget*>(watched);
    HtmlView* view = ViewFrame->MsgViewFrame->DHTML;
    if (!w || !view || w->window() != this || !isVisible() || !isActiveWindow() ||
        !ViewFrame->isVisible() || !ViewFrame->PreviewShown() || !view->isVisible())
        return false;
    const bool listFocused = MsgList->hasFocus() || Tree->hasFocus();

    if (key) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (!(k->modifiers() & Qt::ControlModifier) || listFocused)
            return false;
        if (type == QEvent::ShortcutOverride) {
            event->accept(); // no shortcut takes it; the KeyPress follows
            return true;
        }
        QAction* item = k->key() == Qt::Key_C   ? view->popDHTMLCopyText
                        : k->key() == Qt::Key_A ? view->popDHTMLSelectAll
                                                : nullptr;
        if (item) {
            view->UpdateMenu();
            if (item->isEnabled())
                item->trigger();
        } else {
            HandleWindowKey(k);
        }
        return true;
    }

    if (w != view && !view->isAncestorOf(w))
        return false;
    if (type == QEvent::ContextMenu)
        return !listFocused;
    if (static_cast<QMouseEvent*>(event)->button() != Qt::RightButton)
        return false;
    // The page's own menu never shows: the program's menu pops up on the
    // press, and the release goes to that menu or nowhere.
    if (type == QEvent::MouseButtonPress && view->popDHTML) {
        view->UpdateMenu();
        view->popDHTML->popup(QCursor::pos());
    }
    return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (RoutePreviewEvent(watched, event))
        return true;
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
            // The tree's own hint is shown by the timer only; a node shows
            // its whole caption and its account's problem.
            if (watched == Tree->viewport()) {
                auto* help = static_cast<QHelpEvent*>(event);
                QTreeWidgetItem* node = Tree->itemAt(help->pos());
                const QString tip = NodeToolTip(node);
                if (!tip.isEmpty())
                    QToolTip::showText(help->globalPos(), tip, Tree->viewport(),
                                       Tree->visualItemRect(node));
            }
            return true;
        case QEvent::KeyRelease:
            if (watched == Tree) {
                auto* key = static_cast<QKeyEvent*>(event);
                if (!key->isAutoRepeat())
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
