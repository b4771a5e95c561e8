#pragma once
// The shared edit context menu of text fields: Select all, Copy, Cut, Paste
// and Delete, acting on the field it was opened for. One instance for the
// whole application. It has no objectName, so window translation passes it
// by; it takes its captions from the language's section EDITMENU itself (at
// creation and at every language change), keeping its own English ones for
// keys the language lacks.

#include <QMenu>
#include <QPointer>

class QAction;

namespace vm {

class EditMenu : public QMenu
{
    Q_OBJECT
public:
    // The application's instance, created on first use.
    static EditMenu* Instance();

    // True for the widgets the menu serves: line edits (also inside editable
    // combo boxes and spin boxes), text edits and plain text edits (or their
    // viewports).
    static bool IsTextField(QWidget* widget);

    // Sets the field the actions act on and updates their enabling:
    // Select all when the field is not empty; Copy when text is selected;
    // Cut and Delete when text is selected and the field is editable; Paste
    // when the clipboard holds text and the field is editable.
    void SetTarget(QWidget* field);
    QWidget* Target() const { return target_.data(); }

    // Opens the menu for the field at a global position.
    void PopupFor(QWidget* field, const QPoint& globalPos);

    QAction* SelectAllAction() const { return selectAll_; }
    QAction* CopyAction() const { return copy_; }
    QAction* CutAction() const { return cut_; }
    QAction* PasteAction() const { return paste_; }
    QAction* DeleteAction() const { return delete_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    EditMenu();
    void SetTexts();
    void UpdateActions();
    void DoSelectAll();
    void DoCopy();
    void DoCut();
    void DoPaste();
    void DoDelete();

    QPointer<QWidget> target_;
    QAction* selectAll_ = nullptr;
    QAction* copy_ = nullptr;
    QAction* cut_ = nullptr;
    QAction* paste_ = nullptr;
    QAction* delete_ = nullptr;
};

// Attaches the shared edit menu to every text field of the application: the
// context menu request of such a field opens it instead of the field's own
// menu. A field keeps its own menu when its contextMenuPolicy is not the
// default or it has the property "vmNoEditMenu" set to true. Call once.
void InstallEditMenu();

} // namespace vm
