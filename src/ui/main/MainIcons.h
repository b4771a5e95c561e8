#pragma once
// The pictures of the main window, drawn by code once and cached: the
// message list's state images and check boxes, the 32 x 32 images of the
// bottom bar and of the preview pane's tool bar (normal and disabled) and
// the small images of the status panel.

#include <QPixmap>

namespace vm {

// 16 x 16 state images of the message list. 0..2: header block only, normal,
// high and low priority; 3..5: the same for records holding more; 6..11 the
// disabled variants of 0..5.
QPixmap ListStateImage(int index);
constexpr int kListImageSize = 16;

// 16 x 16 check boxes of webmail navigation: 0 clear, 1 ticked.
QPixmap ListCheckboxImage(int index);

// 32 x 32 images of the bottom bar buttons.
enum class BarImage {
    Refresh,
    ComposeNew,
    Client,
    AddressBook,
    Settings,
    Info,
    ToTray,
    Exit,
};
QPixmap BottomBarImage(BarImage image, bool disabled);

// 32 x 32 images of the preview pane's tool bar (normal and disabled), and
// the 16 x 16 image of its small show-preview button (Show).
enum class PaneImage {
    First,
    Previous,
    Next,
    Last,
    Search,
    UncheckNew,
    Delete,
    Download,
    Reply,
    Forward,
    Details,
    Attachments,
    HidePreview,
    ShowPreview,
};
QPixmap PaneToolImage(PaneImage image, bool disabled);

// 16 x 16 images of the status panel: abort (busy / idle), lock (locked /
// unlocked).
QPixmap AbortImage(bool busy);
QPixmap LockImage(bool locked);

// 16 x 16 mark of an account node whose account needs attention (its last
// check failed).
QPixmap AttentionImage();

} // namespace vm
