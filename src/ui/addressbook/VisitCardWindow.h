#pragma once
// The contact card: edits one address book entry (names, e-mail addresses,
// phone, messenger, web site). Modal; Save closes with OK only when a first
// or last name is given, any other close is Cancel and leaves the entry alone.

#include <QByteArray>
#include <QString>

#include "ui/common/TranslatedWindow.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace vm {

class Contact;

// The rule an address must pass to enter the book: it holds "@", is longer
// than two characters and has no blank, ";" or ",", and the sender would
// accept it (no control characters, angle brackets or quotes).
bool IsAcceptableBookAddress(const QString& address);

class VisitCardWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    explicit VisitCardWindow(QWidget* parent = nullptr);

    // Fills the controls from the entry; the address edit is emptied.
    void LoadFrom(const Contact& contact);
    // Trimmed names, phone, messenger and web site; the addresses of the list
    // in order replace the entry's.
    void StoreInto(Contact& contact) const;

    QLineEdit* EFirstName = nullptr;
    QLineEdit* ELastName = nullptr;
    QLineEdit* EAddress = nullptr;
    QPushButton* BAdd = nullptr;
    QListWidget* LVAddresses = nullptr;
    QPushButton* BEdit = nullptr;
    QPushButton* BDelete = nullptr;
    QLineEdit* EPhone = nullptr;
    QLineEdit* EMessenger = nullptr;
    QLineEdit* EWebSite = nullptr;
    QPushButton* BSave = nullptr;
    QPushButton* BCancel = nullptr;

    void BAddClick();
    void BEditClick();
    void BDeleteClick();
    void BSaveClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Adds the trimmed address edit's text to the list; false (after the
    // error message) when it is not acceptable.
    bool AddTypedAddress();
    void UpdateButtons();
};

} // namespace vm
