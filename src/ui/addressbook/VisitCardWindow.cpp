#include "ui/addressbook/VisitCardWindow.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "addressbook/AddressBook.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "send/SendRequest.h"
#include "ui/common/FormParts.h"

namespace vm {

namespace {

QString CardText(const char* key, const char* english)
{
    const QString text = LangText(QStringLiteral("VisitCardWnd"), QString::fromLatin1(key));
    return text.isEmpty() ? QString::fromLatin1(english) : text;
}

QLabel* NewLabel(const char* name, const char* text, QWidget* parent)
{
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

bool IsAcceptableBookAddress(const QString& address)
{
    if (!address.contains(QLatin1Char('@')) || address.size() <= 2)
        return false;
    for (QChar c : address)
        if (c.isSpace() || c == QLatin1Char(';') || c == QLatin1Char(','))
            return false;
    return IsSendableAddress(address.toUtf8());
}

VisitCardWindow::VisitCardWindow(QWidget* parent) : TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("VisitCardWnd"));
    setWindowTitle(QStringLiteral("Visit card"));

    // The name edits sit in panels of their own, as the window has always
    // been laid out.
    auto* pFirst = new QWidget(this);
    pFirst->setObjectName(QStringLiteral("PFirstName"));
    auto* firstLayout = new QVBoxLayout(pFirst);
    firstLayout->setContentsMargins(0, 0, 0, 0);
    firstLayout->addWidget(NewLabel("LFirstName", "First name:", pFirst));
    EFirstName = NamedEdit("EFirstName", pFirst);
    firstLayout->addWidget(EFirstName);
    auto* pLast = new QWidget(this);
    pLast->setObjectName(QStringLiteral("PLastName"));
    auto* lastLayout = new QVBoxLayout(pLast);
    lastLayout->setContentsMargins(0, 0, 0, 0);
    lastLayout->addWidget(NewLabel("LLastName", "Last name:", pLast));
    ELastName = NamedEdit("ELastName", pLast);
    lastLayout->addWidget(ELastName);

    EAddress = NamedEdit("EAddress", this);
    BAdd = NamedButton("BAdd", "&Add", this);
    LVAddresses = new QListWidget(this);
    LVAddresses->setObjectName(QStringLiteral("LVAddresses"));
    LVAddresses->setSelectionMode(QAbstractItemView::ExtendedSelection);
    BEdit = NamedButton("BEdit", "&Edit", this);
    BDelete = NamedButton("BDelete", "&Delete", this);
    EPhone = NamedEdit("EPhone", this);
    EMessenger = NamedEdit("EMessenger", this);
    EWebSite = NamedEdit("EWebSite", this);
    BSave = NamedButton("BSave", "&Save", this);
    BCancel = NamedButton("BCancel", "Cancel", this);

    auto* layout = new QVBoxLayout(this);
    auto* names = new QHBoxLayout;
    names->addWidget(pFirst);
    names->addWidget(pLast);
    layout->addLayout(names);
    layout->addWidget(NewLabel("LAddresses", "E-mail addresses:", this));
    auto* addRow = new QHBoxLayout;
    addRow->addWidget(EAddress, 1);
    addRow->addWidget(BAdd);
    layout->addLayout(addRow);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(LVAddresses, 1);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(BEdit);
    listButtons->addWidget(BDelete);
    listButtons->addStretch();
    listRow->addLayout(listButtons);
    layout->addLayout(listRow);
    auto* grid = new QGridLayout;
    grid->addWidget(NewLabel("LPhone", "Phone:", this), 0, 0);
    grid->addWidget(EPhone, 0, 1);
    grid->addWidget(NewLabel("LMessenger", "Messenger:", this), 1, 0);
    grid->addWidget(EMessenger, 1, 1);
    grid->addWidget(NewLabel("LWebSite", "Web site:", this), 2, 0);
    grid->addWidget(EWebSite, 2, 1);
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BSave);
    buttons->addWidget(BCancel);
    layout->addLayout(buttons);
    resize(420, 400);

    connect(EAddress, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
    // Enter in the address edit adds the address rather than saving the card.
    connect(EAddress, &QLineEdit::returnPressed, this, [this] {
        if (BAdd->isEnabled())
            BAddClick();
    });
    connect(LVAddresses, &QListWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(BAdd, &QPushButton::clicked, this, [this] { BAddClick(); });
    connect(BEdit, &QPushButton::clicked, this, [this] { BEditClick(); });
    connect(BDelete, &QPushButton::clicked, this, [this] { BDeleteClick(); });
    connect(BSave, &QPushButton::clicked, this, [this] { BSaveClick(); });
    connect(BCancel, &QPushButton::clicked, this, &QDialog::reject);
    TranslateWindow(this);
    UpdateButtons();
}

void VisitCardWindow::LoadFrom(const Contact& contact)
{
    EFirstName->setText(contact.firstName);
    ELastName->setText(contact.lastName);
    EPhone->setText(QString::fromUtf8(contact.telephone));
    EWebSite->setText(QString::fromUtf8(contact.webSite));
    EMessenger->setText(QString::fromUtf8(contact.messenger));
    LVAddresses->clear();
    for (int i = 0; i < contact.emails.Count(); ++i)
        LVAddresses->addItem(QString::fromUtf8(contact.emails.At(i)));
    EAddress->clear();
    UpdateButtons();
}

void VisitCardWindow::StoreInto(Contact& contact) const
{
    contact.firstName = EFirstName->text().trimmed();
    contact.lastName = ELastName->text().trimmed();
    contact.telephone = EPhone->text().trimmed().toUtf8();
    contact.messenger = EMessenger->text().trimmed().toUtf8();
    contact.webSite = EWebSite->text().trimmed().toUtf8();
    contact.emails.Clear();
    for (int i = 0; i < LVAddresses->count(); ++i)
        contact.emails.Add(LVAddresses->item(i)->text().toUtf8());
}

void VisitCardWindow::UpdateButtons()
{
    BAdd->setEnabled(!EAddress->text().trimmed().isEmpty());
    const bool selected = !LVAddresses->selectedItems().isEmpty();
    BEdit->setEnabled(selected);
    BDelete->setEnabled(selected);
}

bool VisitCardWindow::AddTypedAddress()
{
    const QString address = EAddress->text().trimmed();
    if (!IsAcceptableBookAddress(address)) {
        ShowError(CardText("ErrorAddress", "The address is incorrect."));
        EAddress->setFocus();
        return false;
    }
    if (LVAddresses->findItems(address, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
        LVAddresses->addItem(address);
        EAddress->clear();
    }
    EAddress->setFocus();
    UpdateButtons();
    return true;
}

void VisitCardWindow::BAddClick()
{
    if (!EAddress->text().trimmed().isEmpty())
        AddTypedAddress();
}

void VisitCardWindow::BEditClick()
{
    const QList<QListWidgetItem*> selected = LVAddresses->selectedItems();
    if (selected.isEmpty())
        return;
    QListWidgetItem* item = LVAddresses->currentItem();
    if (!item || !item->isSelected())
        item = selected.first();
    EAddress->setText(item->text());
    delete item;
    EAddress->setFocus();
    UpdateButtons();
}

void VisitCardWindow::BDeleteClick()
{
    qDeleteAll(LVAddresses->selectedItems());
    UpdateButtons();
}

void VisitCardWindow::BSaveClick()
{
    if (EFirstName->text().trimmed().isEmpty() && ELastName->text().trimmed().isEmpty()) {
        ShowError(CardText("ErrorIncomplete", "At least first or last name must be entered."));
        return;
    }
    // An address typed but not yet added is added now rather than dropped;
    // one that is not acceptable keeps the card open.
    if (!EAddress->text().trimmed().isEmpty() && !AddTypedAddress())
        return;
    accept();
}

void VisitCardWindow::showEvent(QShowEvent* event)
{
    TranslatedWindow::showEvent(event);
    EFirstName->setFocus();
}

} // namespace vm
