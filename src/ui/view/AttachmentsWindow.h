#pragma once
// The attachments window ("AttachmentsWnd", texts from ATTACHMENTSWND): the
// attachment parts of a message held whole in a one-column list with
// multi-selection, and a bar of buttons that open, save, or save and open
// the selected ones (AttachmentActions). Ctrl+A selects every row, Esc
// closes. A modal tool window, opened from the preview's SBAttachments with
// its lower right corner on the button's.

#include <QList>

#include "ui/common/TranslatedWindow.h"

class QToolButton;
class QTreeWidget;

namespace vm {

class MessageRecord;

class AttachmentsWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    // Lists the message's attachments, parsing its parts first when they
    // are not parsed; parts parsed here are released again when the window
    // closes. The message must outlive the window.
    explicit AttachmentsWindow(MessageRecord* message, QWidget* parent = nullptr);
    ~AttachmentsWindow() override;

    // Shows the window for message modally, placed at button (see PlaceAt).
    static void ShowFor(MessageRecord* message, QWidget* button);

    // Moves the window so that its lower right corner meets the lower right
    // corner of widget on the screen, then as far as needed to lie wholly on
    // that screen's available area.
    void PlaceAt(const QWidget* widget);

    // The indexes in the message's attachment list of the selected rows, in
    // list order.
    QList<int> SelectedParts() const;

    void done(int result) override;

    QTreeWidget* Attachments;
    QWidget* BottomBar;
    QToolButton* SBOpen;
    QToolButton* SBSave;
    QToolButton* SBSaveAndOpen;

private:
    void UpdateButtons();
    void OpenSelected();
    void SaveSelected(bool openAfter);
    // Lets go of the parts parsed when the window opened.
    void ReleaseParts();

    MessageRecord* message_;
    bool parsedHere_ = false;
};

} // namespace vm
