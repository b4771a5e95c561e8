#include "ui/compose/AddressInput.h"

#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringListModel>
#include <QToolButton>

#include <stdexcept>

#include "addressbook/AddressBook.h"
#include "lang/Lang.h"
#include "mime/Addresses.h"
#include "ui/addressbook/AddressPickWindow.h"

namespace vm {

namespace {

const QString kEnglishTypes = QStringLiteral("To:;Cc:;Bcc:;");

QStringList SplitItems(const QString& value)
{
    QStringList items = value.split(QLatin1Char(';'));
    if (!items.isEmpty() && items.last().isEmpty())
        items.removeLast();
    return items;
}

} // namespace

// ---- AddressRow -------------------------------------------------------------

AddressRow::AddressRow(AddressInput& owner, bool newRecipient)
    : QWidget(nullptr), owner_(owner), newRecipient_(newRecipient)
{
    setObjectName(QStringLiteral("AddressBar"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(4);

    CBRecipientType = new QComboBox(this);
    CBRecipientType->setObjectName(QStringLiteral("CBRecipientType"));
    CBRecipientType->addItems(owner.TypeTexts());
    CBRecipientType->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    CBRecipientType->installEventFilter(this);
    layout->addWidget(CBRecipientType);

    PAddress = new QFrame(this);
    PAddress->setObjectName(QStringLiteral("PAddress"));
    PAddress->installEventFilter(this);
    PAddress->setCursor(Qt::IBeamCursor);
    auto* inner = new QHBoxLayout(PAddress);
    inner->setContentsMargins(0, 0, 0, 0);
    Edit = new QLineEdit(PAddress);
    Edit->setObjectName(QStringLiteral("EAddress"));
    Edit->setFrame(false);
    Edit->setCompleter(owner.Completer());
    inner->addWidget(Edit);
    layout->addWidget(PAddress, 1);

    SBAdd = new QToolButton(this);
    SBAdd->setObjectName(QStringLiteral("SBAdd"));
    SBAdd->setText(QStringLiteral("+"));
    SBAdd->setAutoRaise(true);
    SBAdd->setEnabled(SharedAddressBook().Count() > 0);
    layout->addWidget(SBAdd);
    connect(SBAdd, &QToolButton::clicked, this, [this] { owner_.PickInto(this); });

    SBDelete = new QToolButton(this);
    SBDelete->setObjectName(QStringLiteral("SBDelete"));
    SBDelete->setText(QStringLiteral("\u00D7"));
    SBDelete->setAutoRaise(true);
    layout->addWidget(SBDelete);
    connect(SBDelete, &QToolButton::clicked, this, [this] { owner_.DeleteRow(this); });
    connect(Edit, &QLineEdit::textChanged, &owner_, &AddressInput::changed);
    connect(CBRecipientType, &QComboBox::currentIndexChanged, &owner_, &AddressInput::changed);
    ApplyMode();
}

bool AddressRow::IsComplete() const
{
    return !newRecipient_ && !Edit->text().trimmed().isEmpty();
}

EmailAddress AddressRow::Recipient() const
{
    EmailAddress r;
    r.SetFullText(Edit->text());
    r.type = CBRecipientType->currentIndex() + 1;
    return r;
}

void AddressRow::Show(const EmailAddress& recipient)
{
    Edit->setText(recipient.FullText());
    if (recipient.type >= 1 && recipient.type <= 3)
        CBRecipientType->setCurrentIndex(recipient.type - 1);
}

void AddressRow::Activate()
{
    if (!newRecipient_)
        return;
    newRecipient_ = false;
    ApplyMode();
    Edit->setFocus(Qt::OtherFocusReason);
}

void AddressRow::SetRowEnabled(bool enabled)
{
    enabled_ = enabled;
    ApplyMode();
}

void AddressRow::SetTypeTexts(const QStringList& texts)
{
    const int selected = CBRecipientType->currentIndex();
    for (int i = 0; i < texts.size() && i < CBRecipientType->count(); ++i)
        CBRecipientType->setItemText(i, texts[i]);
    CBRecipientType->setCurrentIndex(selected);
}

void AddressRow::ApplyMode()
{
    SBAdd->setVisible(enabled_ && newRecipient_);
    SBDelete->setVisible(enabled_ && !newRecipient_);
    Edit->setVisible(!newRecipient_);
    CBRecipientType->setEnabled(enabled_);
    PAddress->setEnabled(enabled_);
    Edit->setEnabled(enabled_);
    PAddress->setFocusPolicy(newRecipient_ ? Qt::NoFocus : Qt::StrongFocus);
    if (!newRecipient_)
        PAddress->setFocusProxy(Edit);
}

bool AddressRow::eventFilter(QObject* watched, QEvent* event)
{
    if (newRecipient_ && enabled_) {
        if (watched == PAddress && event->type() == QEvent::MouseButtonPress) {
            owner_.ActivateRow(this);
            return true;
        }
        if (watched == CBRecipientType && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                owner_.ActivateRow(this);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- AddressInput -----------------------------------------------------------

AddressInput::AddressInput(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("AddressInputFrame"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    ScrollBox = new QScrollArea(this);
    ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
    ScrollBox->setWidgetResizable(true);
    ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    content_ = new QWidget(ScrollBox);
    layout_ = new QVBoxLayout(content_);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    layout_->addStretch(1);
    ScrollBox->setWidget(content_);
    outer->addWidget(ScrollBox);

    completionModel_ = new QStringListModel(this);
    completer_ = new QCompleter(completionModel_, this);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->setFilterMode(Qt::MatchContains);
    RefreshCompletion();
    AddRecipient();
}

QStringList AddressInput::TypeTexts() const
{
    QString value = LangText(QStringLiteral("ADDRESSINPUTFRAME"), QStringLiteral("RecipientType"));
    QStringList items = SplitItems(value);
    const QStringList english = SplitItems(kEnglishTypes);
    while (items.size() < english.size())
        items.append(english[items.size()]);
    return items.mid(0, 3);
}

void AddressInput::ApplyLanguage()
{
    const QStringList texts = TypeTexts();
    for (AddressRow* row : rows_)
        row->SetTypeTexts(texts);
}

void AddressInput::RefreshCompletion()
{
    QStringList entries;
    const AddressBook& book = SharedAddressBook();
    for (int i = 0; i < book.Count(); ++i) {
        const Contact* c = book.At(i);
        if (!c)
            continue;
        for (int k = 0; k < c->emails.Count(); ++k)
            entries.append(
                EmailAddress(c->DisplayName(), QString::fromUtf8(c->emails.At(k))).FullText());
    }
    entries.removeDuplicates();
    completionModel_->setStringList(entries);
    for (AddressRow* row : rows_)
        row->SBAdd->setEnabled(book.Count() > 0);
}

int AddressInput::CompletedCount() const
{
    int n = 0;
    for (AddressRow* row : rows_)
        n += row->IsComplete() ? 1 : 0;
    return n;
}

AddressRow* AddressInput::CompletedRow(int index) const
{
    int n = 0;
    for (AddressRow* row : rows_) {
        if (!row->IsComplete())
            continue;
        if (n++ == index)
            return row;
    }
    return nullptr;
}

EmailAddress AddressInput::Completed(int index) const
{
    AddressRow* row = index >= 0 ? CompletedRow(index) : nullptr;
    if (!row)
        throw std::out_of_range("Index out of bounds (" + std::to_string(index) + ")");
    return row->Recipient();
}

void AddressInput::Insert(AddressRow* row, int index)
{
    rows_.insert(index, row);
    layout_->insertWidget(index, row);
    row->SetRowEnabled(isEnabled());
    // Tab order follows the rows.
    for (int i = 1; i < rows_.size(); ++i)
        setTabOrder(rows_[i - 1]->Edit, rows_[i]->CBRecipientType);
    ScrollBox->horizontalScrollBar()->setValue(0);
    emit changed();
}

void AddressInput::AddRecipient()
{
    if (!rows_.isEmpty() && rows_.last()->IsNewRecipientRow())
        return;
    Insert(new AddressRow(*this, true), int(rows_.size()));
}

AddressRow* AddressInput::AddRecipient(const EmailAddress& recipient)
{
    AddRecipient();
    auto* row = new AddressRow(*this, false);
    row->Show(recipient);
    Insert(row, int(rows_.size()) - 1);
    return row;
}

void AddressInput::ActivateRow(AddressRow* row)
{
    if (!row || !row->IsNewRecipientRow())
        return;
    row->Activate();
    AddRecipient();
    ScrollBox->ensureWidgetVisible(row);
}

void AddressInput::DeleteRow(AddressRow* row)
{
    const int i = int(rows_.indexOf(row));
    if (i < 0)
        return;
    rows_.removeAt(i);
    row->hide();
    row->deleteLater();
    AddRecipient();
    setFocus(Qt::OtherFocusReason);
    emit changed();
}

void AddressInput::PickInto(AddressRow* row)
{
    if (!rows_.contains(row))
        return;
    const AddressPick pick =
        pickAddresses ? pickAddresses() : PickAddresses(SharedAddressBook(), this, true);
    const QList<EmailAddress> chosen = pick.Recipients();
    if (chosen.isEmpty() || !rows_.contains(row))
        return;
    // The first address goes into this row, every further one into a row of
    // the same kind before the new-recipient row at the end.
    if (row->IsNewRecipientRow())
        ActivateRow(row);
    row->Show(chosen.first());
    for (qsizetype i = 1; i < chosen.size(); ++i)
        AddRecipient(chosen[i]);
    // Rows left empty are of no use once the picked ones are in.
    for (AddressRow* r : QList<AddressRow*>(rows_)) {
        if (!r->IsComplete() && !r->IsNewRecipientRow()) {
            rows_.removeOne(r);
            r->hide();
            r->deleteLater();
        }
    }
    emit changed();
}

void AddressInput::FocusFirst()
{
    ScrollBox->verticalScrollBar()->setValue(0);
    for (AddressRow* row : rows_) {
        if (row->IsNewRecipientRow())
            continue;
        if (row->Edit->isVisibleTo(this) && row->Edit->isEnabled())
            row->Edit->setFocus(Qt::OtherFocusReason);
        else
            row->CBRecipientType->setFocus(Qt::OtherFocusReason);
        return;
    }
}

bool AddressInput::IsValidRecipientText(const QString& text)
{
    const QByteArray utf8 = text.trimmed().toUtf8();
    if (ParseAddressList(utf8).size() != 1)
        return false;
    EmailAddress r;
    r.SetFullText(text);
    const QByteArray address = r.address.toUtf8();
    const qsizetype at = address.lastIndexOf('@');
    return IsSendableAddress(address) && address.count('@') == 1 && at > 0 &&
           at < address.size() - 1;
}

AddressRow* AddressInput::FirstInvalidRow() const
{
    for (AddressRow* row : rows_)
        if (row->IsComplete() && !IsValidRecipientText(row->Edit->text()))
            return row;
    return nullptr;
}

void AddressInput::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        for (AddressRow* row : rows_)
            row->SetRowEnabled(isEnabled());
    QWidget::changeEvent(event);
}

} // namespace vm
