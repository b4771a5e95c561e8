#include "ui/addressbook/AddressBookWindow.h"

#include <QAction>
#include <QCollator>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

#include "addressbook/AddressBook.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "ui/addressbook/ListLook.h"
#include "ui/addressbook/VisitCardWindow.h"
#include "ui/common/FormParts.h"

namespace vm {

namespace {

constexpr int kContactRole = Qt::UserRole + 1;

QString BookText(const char* key, const char* english)
{
    const QString text = LangText(QStringLiteral("AddressBookWnd"), QString::fromLatin1(key));
    return text.isEmpty() ? QString::fromLatin1(english) : text;
}

QAction* NewAction(const char* name, const char* text, QWidget* parent)
{
    auto* a = new QAction(QString::fromLatin1(text), parent);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

bool EditWithCard(Contact& contact, QWidget* parent)
{
    VisitCardWindow card(parent);
    card.LoadFrom(contact);
    if (card.ShowModal() != QDialog::Accepted)
        return false;
    card.StoreInto(contact);
    return true;
}

} // namespace

AddressBookWindow::AddressBookWindow(AddressBook& book, const QString& filePath, QWidget* parent)
    : TranslatedWindow(parent, Qt::Window), book_(book), filePath_(filePath)
{
    setObjectName(QStringLiteral("AddressBookWnd"));
    setWindowTitle(QStringLiteral("Address book"));
    setModal(false);

    PList = new QTreeWidget(this);
    PList->setObjectName(QStringLiteral("PList"));
    PList->setColumnCount(5);
    PList->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("E-mail"),
                            QStringLiteral("Phone"), QStringLiteral("Messenger"),
                            QStringLiteral("Website")});
    PList->setRootIsDecorated(false);
    PList->setUniformRowHeights(true);
    PList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    PList->setSelectionBehavior(QAbstractItemView::SelectRows);
    PList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ApplyAddressListLook(PList, 9);
    PList->header()->setSectionsClickable(true);
    PList->header()->setStretchLastSection(false);
    PList->setContextMenuPolicy(Qt::CustomContextMenu);

    AAdd = NewAction("AAdd", "&Add...", this);
    AAdd->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    AEdit = NewAction("AEdit", "&Edit...", this);
    ADelete = NewAction("ADelete", "&Delete", this);
    ADelete->setShortcut(QKeySequence(Qt::Key_Delete));
    AClose = NewAction("AClose", "&Close", this);
    for (QAction* a : {AAdd, AEdit, ADelete, AClose}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
    popListMenu = new QMenu(this);
    popListMenu->setObjectName(QStringLiteral("popListMenu"));
    popListMenu->addAction(AAdd);
    popListMenu->addAction(AEdit);
    popListMenu->addAction(ADelete);

    BAdd = NamedButton("BAdd", "&Add...", this);
    BChange = NamedButton("BChange", "&Edit...", this);
    BDelete = NamedButton("BDelete", "&Delete", this);
    BClose = NamedButton("BClose", "&Close", this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PList, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BAdd);
    buttons->addWidget(BChange);
    buttons->addWidget(BDelete);
    buttons->addStretch();
    buttons->addWidget(BClose);
    layout->addLayout(buttons);
    resize(640, 400);

    connect(AAdd, &QAction::triggered, this, [this] { AAddExecute(); });
    connect(AEdit, &QAction::triggered, this, [this] {
        if (AEdit->isEnabled())
            AEditExecute();
    });
    connect(ADelete, &QAction::triggered, this, [this] {
        if (ADelete->isEnabled())
            ADeleteExecute();
    });
    connect(AClose, &QAction::triggered, this, &QWidget::close);
    connect(BAdd, &QPushButton::clicked, AAdd, &QAction::trigger);
    connect(BChange, &QPushButton::clicked, AEdit, &QAction::trigger);
    connect(BDelete, &QPushButton::clicked, ADelete, &QAction::trigger);
    connect(BClose, &QPushButton::clicked, AClose, &QAction::trigger);
    connect(PList, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!updating_)
            UpdateActions();
    });
    connect(PList, &QTreeWidget::itemActivated, this, [this] { AEdit->trigger(); });
    connect(PList->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { HeaderClicked(column); });
    connect(PList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popListMenu->popup(PList->viewport()->mapToGlobal(pos)); });
    // Recipients added after a send (or another window's edits) show at once.
    connect(&book_.Notifier(), &AddressBookNotifier::changed, this, [this] {
        if (isVisible())
            Fill();
    });

    editContact = [this](Contact& c) { return EditWithCard(c, this); };
    TranslateWindow(this);
    UpdateActions();
}

void AddressBookWindow::AfterTranslation()
{
    ApplyAddressListColumns(PList, "AddressBookWnd");
    // The list's menu offers what the buttons do, in their words.
    AAdd->setText(BAdd->text());
    AEdit->setText(BChange->text());
    ADelete->setText(BDelete->text());
    AClose->setText(BClose->text());
    Paint();
}

void AddressBookWindow::ShowOrRaise()
{
    if (!isVisible()) {
        Fill();
        show();
    }
    raise();
    activateWindow();
}

void AddressBookWindow::SetRowTexts(QTreeWidgetItem* item, const Contact& c) const
{
    item->setText(0, c.DisplayName());
    item->setText(1, QString::fromUtf8(c.emails.Joined()));
    item->setText(2, QString::fromUtf8(c.telephone));
    item->setText(3, QString::fromUtf8(c.messenger));
    item->setText(4, QString::fromUtf8(c.webSite));
}

Contact* AddressBookWindow::ContactAt(int row) const
{
    QTreeWidgetItem* item = PList->topLevelItem(row);
    if (!item)
        return nullptr;
    return static_cast<Contact*>(item->data(0, kContactRole).value<void*>());
}

void AddressBookWindow::AddRow(Contact* c)
{
    auto* item = new QTreeWidgetItem;
    item->setData(0, kContactRole, QVariant::fromValue(static_cast<void*>(c)));
    SetRowTexts(item, *c);
    PList->addTopLevelItem(item);
}

int AddressBookWindow::RowOf(const Contact* contact) const
{
    for (int r = 0; r < PList->topLevelItemCount(); ++r)
        if (ContactAt(r) == contact)
            return r;
    return -1;
}

void AddressBookWindow::Fill()
{
    updating_ = true;
    PList->clear();
    for (int i = 0; i < book_.Count(); ++i) {
        Contact* c = book_.At(i);
        if (!c)
            continue;
        AddRow(c);
    }
    Sort();
    updating_ = false;
    SelectOnly(PList->topLevelItem(0));
    SetColumnWidths();
}

void AddressBookWindow::Sort()
{
    QList<QTreeWidgetItem*> items;
    while (PList->topLevelItemCount() > 0)
        items.append(PList->takeTopLevelItem(0));
    QCollator collator; // the system locale, case-sensitive
    collator.setCaseSensitivity(Qt::CaseSensitive);
    const int column = sortColumn;
    std::stable_sort(items.begin(), items.end(),
                     [&](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                         const int cmp = collator.compare(a->text(column), b->text(column));
                         return ascending ? cmp < 0 : cmp > 0;
                     });
    PList->addTopLevelItems(items);
    PList->header()->setSortIndicatorShown(true);
    PList->header()->setSortIndicator(sortColumn,
                                      ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    Paint();
}

void AddressBookWindow::Paint()
{
    // Alternating light tints by 0-based row number.
    for (int r = 0; r < PList->topLevelItemCount(); ++r) {
        const QColor tint = (r % 2) ? QColor(0xFF, 0xF5, 0xF0) : QColor(0xF5, 0xFF, 0xF0);
        QTreeWidgetItem* item = PList->topLevelItem(r);
        for (int c = 0; c < PList->columnCount(); ++c)
            item->setBackground(c, tint);
    }
}

void AddressBookWindow::HeaderClicked(int column)
{
    if (column == sortColumn)
        ascending = !ascending;
    else
        sortColumn = column;
    // Keep what was selected selected across the re-sort.
    QList<const Contact*> selected;
    for (QTreeWidgetItem* item : PList->selectedItems())
        selected.append(static_cast<Contact*>(item->data(0, kContactRole).value<void*>()));
    const Contact* current = PList->currentItem()
                                 ? ContactAt(PList->indexOfTopLevelItem(PList->currentItem()))
                                 : nullptr;
    updating_ = true;
    Sort();
    for (const Contact* c : selected)
        if (QTreeWidgetItem* item = PList->topLevelItem(RowOf(c)))
            item->setSelected(true);
    if (current)
        PList->setCurrentItem(PList->topLevelItem(RowOf(current)), 0,
                              QItemSelectionModel::NoUpdate);
    updating_ = false;
    UpdateActions();
}

void AddressBookWindow::SelectOnly(QTreeWidgetItem* item)
{
    PList->clearSelection();
    if (item) {
        PList->setCurrentItem(item);
        item->setSelected(true);
        PList->scrollToItem(item);
    }
    UpdateActions();
}

void AddressBookWindow::UpdateActions()
{
    const qsizetype n = PList->selectedItems().size();
    AEdit->setEnabled(n == 1);
    ADelete->setEnabled(n >= 1);
    BChange->setEnabled(AEdit->isEnabled());
    BDelete->setEnabled(ADelete->isEnabled());
}

void AddressBookWindow::AAddExecute()
{
    auto contact = std::make_unique<Contact>();
    if (!editContact || !editContact(*contact))
        return; // a cancelled new entry is discarded
    Contact* c = contact.release();
    book_.Add(c);
    changed_ = true;
    updating_ = true;
    AddRow(c);
    Sort();
    updating_ = false;
    SelectOnly(PList->topLevelItem(RowOf(c)));
}

void AddressBookWindow::AEditExecute()
{
    const QList<QTreeWidgetItem*> selected = PList->selectedItems();
    if (selected.size() != 1)
        return;
    QTreeWidgetItem* item = selected.first();
    auto* c = static_cast<Contact*>(item->data(0, kContactRole).value<void*>());
    if (!c || book_.IndexOf(c) < 0 || !editContact || !editContact(*c))
        return;
    changed_ = true;
    SetRowTexts(item, *c);
}

void AddressBookWindow::ADeleteExecute()
{
    if (PList->selectedItems().isEmpty())
        return;
    if (!AskYesNo(BookText("DeletePrompt", "Are you sure you want to delete selected records?")))
        return;
    updating_ = true;
    for (QTreeWidgetItem* item : PList->selectedItems()) {
        auto* c = static_cast<Contact*>(item->data(0, kContactRole).value<void*>());
        delete item;
        if (c && book_.IndexOf(c) >= 0)
            book_.Delete(c);
    }
    changed_ = true;
    Paint();
    updating_ = false;
    UpdateActions();
}

void AddressBookWindow::SaveIfChanged()
{
    if (!changed_ || filePath_.isEmpty())
        return;
    try {
        book_.SaveToFile(filePath_);
        changed_ = false;
    } catch (const ReportableError& e) {
        // The edits stay in memory and are saved again at exit.
        const QString text = LangFormat(QStringLiteral("COMMONS"),
                                        QStringLiteral("ErrorSavingMessage"), {filePath_});
        ShowError((text.isEmpty() ? filePath_ : text) + QStringLiteral("\n") + e.ReportMessage());
    }
}

void AddressBookWindow::hideEvent(QHideEvent* event)
{
    TranslatedWindow::hideEvent(event);
    if (!event->spontaneous())
        SaveIfChanged();
}

void AddressBookWindow::showEvent(QShowEvent* event)
{
    TranslatedWindow::showEvent(event);
    SetColumnWidths();
}

void AddressBookWindow::resizeEvent(QResizeEvent* event)
{
    TranslatedWindow::resizeEvent(event);
    SetColumnWidths();
}

void AddressBookWindow::SetColumnWidths()
{
    const int sb = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // The list's inner width less a vertical scroll bar, whether one shows or not.
    const int w = PList->width() - 2 * PList->frameWidth() - sb;
    static constexpr int kPercent[] = {20, 25, 18, 18, 18};
    for (int c = 0; c < 5; ++c)
        PList->setColumnWidth(c, w * kPercent[c] / 100);
}

} // namespace vm
