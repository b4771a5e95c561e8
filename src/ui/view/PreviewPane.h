#pragma once
// The right-hand part of the main window ("ViewFrame"): the message list on
// top, an 8-pixel splitter, a header bar with the message caption and a tool
// bar of message commands, and the message view below. It shows the selected
// message once the selection has rested for 100 ms, keeps the tool bar's
// enabling in step with the selection, can hide the preview entirely, and
// hands its buttons to the main window through hooks.
//
// While the frame is disabled (a POP3 operation may be changing the
// mailboxes) it reads no message record: RefreshPreview does nothing.

#include <QByteArray>
#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QTimer;
class QToolBar;
class QToolButton;

namespace vm {

class Mailbox;
class MessageListView;
class MessageRecord;
class MessageView;

class PreviewPane : public QWidget
{
    Q_OBJECT
public:
    // Takes the list into its top part; the list's model must be set.
    explicit PreviewPane(MessageListView* list, QWidget* parent = nullptr);
    ~PreviewPane() override;

    // The smallest height of the list part and of the preview.
    static constexpr int kMinimumHeight = 87;
    static constexpr int kSplitterHeight = 8;
    static constexpr int kHeaderHeight = 36;
    static constexpr int kButtonSize = 32;
    static constexpr int kSelectDelayMs = 100;

    // What the buttons do, set by the main window. A button whose hook is
    // unset stays disabled.
    struct Hooks
    {
        std::function<void()> details;        // SBDetails
        std::function<void()> deleteMessages; // SBDelete
        std::function<void()> download;       // SBDownload (then the receipt check)
        std::function<void()> reply;          // SBReply
        std::function<void()> forward;        // SBForward
        std::function<void()> find;           // SBSearch
        std::function<void()> uncheckNew;     // SBUncheckNew (then a buttons-only refresh)
        // SBAttachments: the selected message and the button, whose lower
        // right corner the attachments window meets.
        std::function<void(MessageRecord* message, QWidget* button)> attachments;
        // A whole message was rendered and is still the one selected.
        std::function<void(MessageRecord* message)> messageShown;
        // The selected message asks for a return receipt not yet answered.
        std::function<void(MessageRecord* message)> receipt;
        // Every selection change of the list (before the delay starts).
        std::function<void()> rowSelected;
        // The pane's parts changed their heights (shown or hidden).
        std::function<void()> layoutRequest;
    };
    Hooks hooks;

    // The mailbox the list shows (none: nullptr).
    void SetMailbox(Mailbox* mailbox) { mailbox_ = mailbox; }
    Mailbox* ShownMailbox() const { return mailbox_; }

    // Brings caption and buttons up to date; a full refresh also renders the
    // selected message (or the notice). Does nothing while disabled.
    void RefreshPreview(bool full);
    // Offers the selected message for a return receipt, once per message and
    // once more after its whole text was fetched.
    void ReceiptCheck();

    // Shows or hides the preview (the list takes the whole height).
    void SetPreviewShown(bool shown);
    bool PreviewShown() const { return shown_; }
    // The preview's height (MainWndVertDiv): applied at once while shown,
    // remembered while hidden. Values <= 0 are ignored.
    void SetPreviewHeight(int height);
    int PreviewHeight() const;
    // A new height of the list part from the splitter; accepted only
    // strictly between the minimum and the frame height minus the minimum.
    bool TrySetListHeight(int height);

    // The hourglass over the frame and its parts (the splitter gets its
    // split cursor back afterwards).
    void SetBusyCursor(bool busy);
    // Removes the message view's page files.
    void DeletePageFiles();

    // Controls, named as the language file and the tests know them.
    MessageListView* MsgList = nullptr;
    QWidget* PTop = nullptr;
    QWidget* Splitter = nullptr;
    QFrame* PHead = nullptr;
    QLabel* PCaption = nullptr;
    QToolBar* ToolBar = nullptr;
    QToolButton* SBFirst = nullptr;
    QToolButton* SBPrevious = nullptr;
    QToolButton* SBNext = nullptr;
    QToolButton* SBLast = nullptr;
    QToolButton* SBSearch = nullptr;
    QToolButton* SBUncheckNew = nullptr;
    QToolButton* SBDelete = nullptr;
    QToolButton* SBDownload = nullptr;
    QToolButton* SBReply = nullptr;
    QToolButton* SBForward = nullptr;
    QToolButton* SBDetails = nullptr;
    QToolButton* SBAttachments = nullptr;
    QToolButton* SBHidePreview = nullptr;
    QToolButton* SBShowPreview = nullptr;
    MessageView* MsgViewFrame = nullptr;
    QTimer* SelectItemTimer = nullptr;

    // Navigation buttons' actions (each checks its own condition).
    void SBFirstClick();
    void SBPreviousClick();
    void SBNextClick();
    void SBLastClick();

signals:
    // A message was rendered into the view / the notice was shown.
    void messageRendered(vm::MessageRecord* message);
    void noticeShown();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QToolButton* AddButton(const char* name, int image);
    void SelectionChanged();
    void SelectItemTimerFired();
    // The single selected row, or -1 when not exactly one row is selected.
    int SingleSelectedRow() const;
    MessageRecord* SingleSelectedMessage() const;
    int LastMessageRow() const;
    void SelectRow(int row);
    // Places the parts for the current height.
    // clamp: apply the resize rule (a splitter move does not).
    void ArrangeParts(bool clamp);
    // Shows the parts of the shown or hidden state / and places them.
    void ShowParts();
    void ApplyShownState();

    Mailbox* mailbox_ = nullptr;
    bool shown_ = true;
    int previewHeight_ = 250; // while shown, the view's height; else remembered
    QByteArray receiptUid_;
    bool receiptHeadersOnly_ = false;
};

} // namespace vm
