#pragma once
// The address book window: every entry of the book in a five-column list
// (name, e-mail addresses, phone, messenger, web site), sorted by a column
// with the locale's collation, with adding, editing and deleting entries.
// Modeless, with its own taskbar button. The book is saved when the window
// closes after a change, so a later crash loses no edit; it refreshes
// itself when the book changes elsewhere (recipients added after a send).

#include <QString>

#include <functional>

#include "ui/common/TranslatedWindow.h"

class QAction;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vm {

class AddressBook;
class Contact;

class AddressBookWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    // filePath: where the book is saved when the window closes after a change.
    AddressBookWindow(AddressBook& book, const QString& filePath, QWidget* parent = nullptr);

    // Shows the window (filled) or brings it to the front.
    void ShowOrRaise();
    // Refills the list from the book, sorted; the first row selected.
    void Fill();
    // Sorts by the column: the current sort column reverses the direction,
    // another keeps it.
    void HeaderClicked(int column);

    // Opens the card for an entry; true when it was confirmed (the entry
    // then holds the card's values). By default the modal VisitCardWindow.
    std::function<bool(Contact&)> editContact;

    void AAddExecute();
    void AEditExecute();
    void ADeleteExecute();

    // The entry a row shows.
    Contact* ContactAt(int row) const;
    int RowOf(const Contact* contact) const;
    int sortColumn = 0;
    bool ascending = true;

    QTreeWidget* PList = nullptr;
    QMenu* popListMenu = nullptr;
    QPushButton* BAdd = nullptr;
    QPushButton* BChange = nullptr;
    QPushButton* BDelete = nullptr;
    QPushButton* BClose = nullptr;
    QAction* AAdd = nullptr;
    QAction* AEdit = nullptr;
    QAction* ADelete = nullptr;
    QAction* AClose = nullptr;

protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void AfterTranslation() override;

private:
    void SetRowTexts(QTreeWidgetItem* item, const Contact& c) const;
    void AddRow(Contact* c); // a row at the end of the list, before sorting
    void Sort();
    void Paint();
    void UpdateActions();
    void SelectOnly(QTreeWidgetItem* item);
    // Saves the book when the window changed it; reports a failure.
    void SaveIfChanged();
    void SetColumnWidths();

    AddressBook& book_;
    QString filePath_;
    bool changed_ = false;
    bool updating_ = false;
};

} // namespace vm
