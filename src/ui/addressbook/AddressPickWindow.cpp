#include "ui/addressbook/AddressPickWindow.h"

#include <QCollator>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "addressbook/AddressBook.h"
#include "ui/addressbook/ListLook.h"
#include "ui/common/FormParts.h"

namespace vm {

QList<EmailAddress> AddressPick::Recipients() const
{
    QList<EmailAddress> out;
    if (type < 1 || type > 3)
        return out;
    for (int i = 0; i < names.size(); ++i)
        out.append(EmailAddress(names.at(i), addresses.value(i), type));
    return out;
}

AddressPickWindow::AddressPickWindow(AddressBook& book, QWidget* parent)
    : TranslatedWindow(parent), book_(book)
{
    setObjectName(QStringLiteral("AddressPickWnd"));
    setWindowTitle(QStringLiteral("Pick an address..."));

    PList = new QTreeWidget(this);
    PList->setObjectName(QStringLiteral("PList"));
    PList->setColumnCount(2);
    PList->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("E-mail")});
    PList->setRootIsDecorated(false);
    PList->setUniformRowHeights(true);
    PList->setSelectionBehavior(QAbstractItemView::SelectRows);
    PList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PList->header()->setSectionsClickable(false);
    PList->header()->setStretchLastSection(false);
    ApplyAddressListLook(PList, 8);

    BTo = NamedButton("BTo", "To", this);
    BCC = NamedButton("BCC", "Cc", this);
    BBCC = NamedButton("BBCC", "Bcc", this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PList, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BTo);
    buttons->addWidget(BCC);
    buttons->addWidget(BBCC);
    layout->addLayout(buttons);
    resize(440, 340);

    connect(PList, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(BTo, &QPushButton::clicked, this, [this] { Choose(1); });
    connect(BCC, &QPushButton::clicked, this, [this] { Choose(2); });
    connect(BBCC, &QPushButton::clicked, this, [this] { Choose(3); });
    SetMultipleSelection(true);
    TranslateWindow(this);
    UpdateButtons();
}

void AddressPickWindow::SetMultipleSelection(bool multiple)
{
    PList->setSelectionMode(multiple ? QAbstractItemView::ExtendedSelection
                                     : QAbstractItemView::SingleSelection);
}

void AddressPickWindow::Fill()
{
    PList->clear();
    QList<QTreeWidgetItem*> items;
    for (int i = 0; i < book_.Count(); ++i) {
        const Contact* c = book_.At(i);
        if (!c)
            continue;
        for (int k = 0; k < c->emails.Count(); ++k) {
            auto* item = new QTreeWidgetItem;
            item->setText(0, c->DisplayName());
            item->setText(1, QString::fromUtf8(c->emails.At(k)));
            items.append(item);
        }
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    std::stable_sort(items.begin(), items.end(),
                     [&](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                         return collator.compare(a->text(0), b->text(0)) < 0;
                     });
    PList->addTopLevelItems(items);
    if (QTreeWidgetItem* first = PList->topLevelItem(0)) {
        PList->setCurrentItem(first);
        first->setSelected(true);
    }
    const int w =
        PList->width() - 2 * PList->frameWidth() - style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    PList->setColumnWidth(0, w / 2);
    PList->setColumnWidth(1, w / 2);
    UpdateButtons();
}

void AddressPickWindow::UpdateButtons()
{
    const bool selected = !PList->selectedItems().isEmpty();
    BTo->setEnabled(selected);
    BCC->setEnabled(selected);
    BBCC->setEnabled(selected);
}

void AddressPickWindow::Choose(int type)
{
    if (PList->selectedItems().isEmpty())
        return;
    chosenType_ = type;
    accept();
}

void AddressPickWindow::AfterTranslation()
{
    ApplyAddressListColumns(PList, "AddressPickWnd");
}

void AddressPickWindow::showEvent(QShowEvent* event)
{
    chosenType_ = 0;
    result_ = AddressPick();
    Fill();
    TranslatedWindow::showEvent(event);
    PList->setFocus();
}

void AddressPickWindow::done(int result)
{
    result_ = AddressPick();
    if (result == QDialog::Accepted && chosenType_ != 0 && !PList->selectedItems().isEmpty()) {
        result_.type = chosenType_;
        for (int r = 0; r < PList->topLevelItemCount(); ++r) {
            const QTreeWidgetItem* item = PList->topLevelItem(r);
            if (!item->isSelected())
                continue;
            const QString name = item->text(0).trimmed();
            const QString address = item->text(1);
            result_.names.append(name);
            result_.addresses.append(address);
            result_.texts.append(address.isEmpty()
                                     ? name
                                     : name + QStringLiteral(" <") + address + QLatin1Char('>'));
        }
    } else {
        result = QDialog::Rejected;
    }
    TranslatedWindow::done(result);
}

AddressPick PickAddresses(AddressBook& book, QWidget* parent, bool multiple)
{
    AddressPickWindow window(book, parent);
    window.SetMultipleSelection(multiple);
    window.ShowModal();
    return window.Result();
}

} // namespace vm
