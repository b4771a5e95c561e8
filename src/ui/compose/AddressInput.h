#pragma once
// The recipient area of the compose window: a scrolling stack of rows, one
// recipient each, with its type (To, Cc, Bcc), its address text and a button
// to remove it. The last row is always the inactive new-recipient row, which
// becomes an ordinary row when clicked (or on Enter in its type list). The
// address edits complete from the address book as the user types.

#include <QFrame>
#include <QList>
#include <QWidget>

#include <functional>

#include "send/SendRequest.h"
#include "ui/addressbook/AddressPickWindow.h"

class QComboBox;
class QCompleter;
class QLineEdit;
class QScrollArea;
class QStringListModel;
class QToolButton;
class QVBoxLayout;

namespace vm {

class AddressInput;

// One recipient row.
class AddressRow : public QWidget
{
    Q_OBJECT
public:
    AddressRow(AddressInput& owner, bool newRecipient);

    bool IsNewRecipientRow() const { return newRecipient_; }
    // Ordinary mode with a non-blank address text.
    bool IsComplete() const;
    // The row's text and type as a recipient (type 1 To, 2 Cc, 3 Bcc).
    EmailAddress Recipient() const;
    // Shows a recipient: its full text and, for types 1-3, its type.
    void Show(const EmailAddress& recipient);
    // New-recipient row to ordinary row: the edit takes the focus.
    void Activate();
    void SetRowEnabled(bool enabled);
    void SetTypeTexts(const QStringList& texts);

    QComboBox* CBRecipientType = nullptr;
    QFrame* PAddress = nullptr;
    QLineEdit* Edit = nullptr;
    QToolButton* SBAdd = nullptr;
    QToolButton* SBDelete = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyMode();

    AddressInput& owner_;
    bool newRecipient_;
    bool enabled_ = true;
};

class AddressInput : public QWidget
{
    Q_OBJECT
public:
    explicit AddressInput(QWidget* parent = nullptr);

    // Number of complete rows, and complete row i (0-based over complete
    // rows only); an index past the end throws std::out_of_range with the
    // text "Index out of bounds (i)".
    int CompletedCount() const;
    EmailAddress Completed(int index) const;
    // The row of complete row i.
    AddressRow* CompletedRow(int index) const;

    // Without a recipient: adds the new-recipient row unless there is one.
    // With one: an ordinary row showing it, inserted before the
    // new-recipient row.
    void AddRecipient();
    AddressRow* AddRecipient(const EmailAddress& recipient);
    void DeleteRow(AddressRow* row);
    void ActivateRow(AddressRow* row);
    // SBAdd: addresses picked from the address book fill this row and new
    // rows of the same kind; rows left empty go.
    void PickInto(AddressRow* row);
    // How PickInto asks (default: the address picker over the shared book).
    std::function<AddressPick()> pickAddresses;

    // Scrolls to the top and focuses the first ordinary row.
    void FocusFirst();
    // Complete rows that do not hold exactly one valid address: the first
    // one, or nullptr when all are valid.
    AddressRow* FirstInvalidRow() const;
    static bool IsValidRecipientText(const QString& text);

    int RowCount() const { return int(rows_.size()); }
    AddressRow* Row(int index) const { return rows_.value(index); }

    // Recipient type names from the language file, every row keeping its type.
    void ApplyLanguage();
    QStringList TypeTexts() const;
    // Completion entries "Name <address>" from the address book.
    QCompleter* Completer() const { return completer_; }
    void RefreshCompletion();

    QScrollArea* ScrollBox = nullptr;

signals:
    void changed();

protected:
    void changeEvent(QEvent* event) override;

private:
    void Insert(AddressRow* row, int index);

    QWidget* content_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
    QList<AddressRow*> rows_;
    QStringListModel* completionModel_ = nullptr;
    QCompleter* completer_ = nullptr;
};

} // namespace vm
