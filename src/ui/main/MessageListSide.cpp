#include "ui/main/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

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
#include "ui/main/MainWindowShared.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/view/AttachmentsWindow.h"
#include "ui/view/PreviewPane.h"


namespace vm {

using namespace mainwindow;

void MainWindow::BuildListPane()
{
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

    ListModel = new vm::MessageListModel(this);
    MsgList = new vm::MessageListView(central_);
    MsgList->SetListModel(ListModel);
    MsgList->SetNavigation(vm::AppSettings().MsgListNavigation);
    MsgList->setContextMenuPolicy(Qt::CustomContextMenu);
    ListModel->SetColumnCaptions({QStringLiteral("From"), QStringLiteral("Subject"),
                                  QStringLiteral("Date"), QStringLiteral("Attachments"),
                                  QStringLiteral("Size")});
    ViewFrame = new vm::PreviewPane(MsgList, central_);
    ViewFrame->setVisible(false);

    connect(MsgList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (!shownMailbox_)
            return;
        UpdateListMenu();
        ListMenu->popup(MsgList->viewport()->mapToGlobal(pos));
    });
    connect(MsgList->header(), &QHeaderView::sectionClicked, this,
            &MainWindow::MsgListColumnClick);
    connect(MsgList, &vm::MessageListView::doubleClickedList, this,
            &MainWindow::MsgListDblClick);
    connect(MsgList, &vm::MessageListView::detailsRequested, this,
            &MainWindow::popListDetailsClick);

    connect(SBUnfilterList, &QToolButton::clicked, this, [this] {
        findFilter = nullptr;
        ShowMailbox(shownMailbox_);
    });
}

void MainWindow::BuildListMenu()
{
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
}

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
    // Before the window state: enabling the pane refreshes its buttons,
    // which read the shown mailbox.
    ViewFrame->SetMailbox(mailbox);
    MsgList->SetPaintRows(mailbox && !mailbox->Stale());

    ListModel->SortRows(sortColumn_, sortAscending_);
    RestoreSelection(focused, selected);

    MsgList->setUpdatesEnabled(true);
    Tree->viewport()->update();
    UpdateWindowState();
    RefreshPreview(true);
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

void MainWindow::RefreshPreview(bool full)
{
    BindPreviewHooks();
    ViewFrame->RefreshPreview(full);
}

void MainWindow::BindPreviewHooks()
{
    PreviewPane::Hooks& h = ViewFrame->hooks;
    // A button runs its list command, whose enabling decides as in the menu.
    auto via = [this](QAction* action) -> std::function<void()> {
        return [this, action] {
            UpdateListMenu();
            if (action->isEnabled())
                action->trigger();
        };
    };
    h.details = commands.details ? via(popListDetails) : nullptr;
    h.deleteMessages = commands.deleteOnServer ? via(popListDelete) : nullptr;
    h.download = commands.retrieveWhole ? via(popListRetrieveWhole) : nullptr;
    h.reply = commands.compose ? via(popListReply) : nullptr;
    h.forward = commands.compose ? via(popListForward) : nullptr;
    h.find = commands.search ? via(popListSearch) : nullptr;
    h.attachments = [](MessageRecord* message, QWidget* button) {
        AttachmentsWindow::ShowFor(message, button);
    };
    h.uncheckNew = [this] { popListUncheckNewClick(); };
    h.messageShown = [this](MessageRecord* message) { MessageDisplayed(message); };
    h.receipt = [this](MessageRecord* message) {
        if (commands.receipt)
            commands.receipt(message);
    };
    h.rowSelected = [this] { UpdateListMenu(); };
    h.layoutRequest = [this] { UpdateLayout(); };
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
    RefreshPreview(false);
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
    // The shown mailbox is read only while no operation may be changing it.
    const bool readable = shown && !busy_;
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
    popListUncheckNew->setEnabled(readable && shownMailbox_->AnyNew());
    popListShowOld->setEnabled(readable && !shownMailbox_->Stale());
    popListShowOld->setChecked(!hideOld_);
    popListRefresh->setEnabled(shown && !busy_ && bool(commands.checkMail));
    popListClearList->setEnabled(readable && !shownMailbox_->Stale() &&
                                 shownMailbox_->Count() > 0);
}

} // namespace vm
