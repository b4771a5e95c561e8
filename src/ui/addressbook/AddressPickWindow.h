#pragma once
// Picking recipients from the address book for a message: one row per
// e-mail address of every entry, sorted by name, and the buttons To, Cc and
// Bcc that choose the kind for every selected row. Modal.
//
// The compose window's recipient rows use it through PickAddresses():
//     const AddressPick pick = PickAddresses(SharedAddressBook(), this, true);
//     for (const EmailAddress& a : pick.Recipients())  // a.type is 1, 2 or 3
//         ... add a recipient row with a.name, a.address, a.type ...
// An empty pick (Cancel, Escape, nothing selected) adds nothing.

#include <QList>
#include <QString>
#include <QStringList>

#include "send/SendRequest.h"
#include "ui/common/TranslatedWindow.h"

class QPushButton;
class QTreeWidget;

namespace vm {

class AddressBook;

struct AddressPick
{
    int type = 0; // 0 cancelled, 1 To, 2 Cc, 3 Bcc
    // For every selected row in list order: the trimmed name + " <" +
    // address + ">", or the trimmed name alone when the address is empty.
    QStringList texts;
    QList<QString> names;
    QList<QString> addresses;

    // The chosen rows as recipients of the chosen kind.
    QList<EmailAddress> Recipients() const;
};

class AddressPickWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    explicit AddressPickWindow(AddressBook& book, QWidget* parent = nullptr);

    // Single or multiple selection of rows.
    void SetMultipleSelection(bool multiple);
    // Refills the rows from the book and selects the first.
    void Fill();
    // The outcome once the window closed.
    const AddressPick& Result() const { return result_; }

    QTreeWidget* PList = nullptr;
    QPushButton* BTo = nullptr;
    QPushButton* BCC = nullptr;
    QPushButton* BBCC = nullptr;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void AfterTranslation() override;

private:
    void Choose(int type);
    void UpdateButtons();

    AddressBook& book_;
    AddressPick result_;
    int chosenType_ = 0;
};

// Shows the picker modally over parent; the pick (empty when cancelled).
AddressPick PickAddresses(AddressBook& book, QWidget* parent, bool multiple = true);

} // namespace vm
