#include "ui/view/AttachmentsWindow.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/TerminalText.h"
#include "mime/MessageRecord.h"
#include "ui/common/BusyCursor.h"
#include "ui/view/AttachmentActions.h"

namespace vm {

namespace {

constexpr int kPartRole = Qt::UserRole;
constexpr int kButtonIcon = 24;

QIcon StandardIcon(QStyle::StandardPixmap which)
{
    return QApplication::style()->standardIcon(which);
}

// The save picture with a small open picture over its lower right quarter.
QIcon SaveAndOpenIcon()
{
    QPixmap pixmap(kButtonIcon, kButtonIcon);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.drawPixmap(0, 0, StandardIcon(QStyle::SP_DialogSaveButton).pixmap(kButtonIcon));
    const int small = kButtonIcon / 2 + 2;
    painter.drawPixmap(kButtonIcon - small, kButtonIcon - small,
                       StandardIcon(QStyle::SP_DialogOpenButton).pixmap(small));
    painter.end();
    return QIcon(pixmap);
}

// The desktop theme's picture for the attachment's type, else a plain file.
QIcon PartIcon(const AttachmentPart& part)
{
    static const QMimeDatabase db;
    QMimeType type = db.mimeTypeForName(QString::fromLatin1(part.contentType));
    const QIcon fallback = StandardIcon(QStyle::SP_FileIcon);
    if (!type.isValid())
        return fallback;
    return QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
}

} // namespace

AttachmentsWindow::AttachmentsWindow(MessageRecord* message, QWidget* parent)
    : TranslatedWindow(parent, Qt::Tool), message_(message)
{
    setObjectName(QStringLiteral("AttachmentsWnd"));
    setWindowTitle(QStringLiteral("Attachments"));
    setSizeGripEnabled(true);
    resize(320, 220);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    Attachments = new QTreeWidget(this);
    Attachments->setObjectName(QStringLiteral("Attachments"));
    Attachments->setColumnCount(1);
    Attachments->setHeaderHidden(true);
    Attachments->header()->setStretchLastSection(true);
    Attachments->setRootIsDecorated(false);
    Attachments->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Attachments->setUniformRowHeights(true);
    layout->addWidget(Attachments, 1);

    BottomBar = new QWidget(this);
    BottomBar->setObjectName(QStringLiteral("BottomBar"));
    auto* bar = new QHBoxLayout(BottomBar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(2);
    auto addButton = [this, bar](const char* name, const QIcon& icon) {
        auto* button = new QToolButton(BottomBar);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(icon);
        button->setIconSize(QSize(kButtonIcon, kButtonIcon));
        button->setAutoRaise(true);
        bar->addWidget(button);
        return button;
    };
    SBOpen = addButton("SBOpen", StandardIcon(QStyle::SP_DialogOpenButton));
    SBSave = addButton("SBSave", StandardIcon(QStyle::SP_DialogSaveButton));
    SBSaveAndOpen = addButton("SBSaveAndOpen", SaveAndOpenIcon());
    bar->addStretch(1);
    layout->addWidget(BottomBar);

    connect(Attachments, &QTreeWidget::itemSelectionChanged, this,
            &AttachmentsWindow::UpdateButtons);
    connect(Attachments, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem*, int) { OpenSelected(); });
    connect(SBOpen, &QToolButton::clicked, this, &AttachmentsWindow::OpenSelected);
    connect(SBSave, &QToolButton::clicked, this, [this] { SaveSelected(false); });
    connect(SBSaveAndOpen, &QToolButton::clicked, this, [this] { SaveSelected(true); });
    auto* selectAll = new QShortcut(QKeySequence::SelectAll, this);
    connect(selectAll, &QShortcut::activated, Attachments, &QTreeWidget::selectAll);

    {
        BusyCursor busy;
        // The preview lets go of the parts after rendering; they are parsed
        // again for the window and let go when it closes.
        if (message_ && message_->HoldingState() == MessageRecord::Holding::Whole &&
            message_->Attachments().isEmpty()) {
            message_->ParseWhole();
            parsedHere_ = true;
        }
        const QList<AttachmentPart> none;
        const QList<AttachmentPart>& parts = message_ ? message_->Attachments() : none;
        for (int i = 0; i < parts.size(); ++i) {
            // Shown without controls or bidirectional formatting, which
            // could make a program's name read as a text file's (U+202E).
            auto* item = new QTreeWidgetItem(Attachments,
                                             {TerminalSafeText(AttachmentDisplayName(parts[i]))});
            item->setData(0, kPartRole, i);
            item->setIcon(0, PartIcon(parts[i]));
        }
    }
    UpdateButtons();
    if (QTreeWidgetItem* first = Attachments->topLevelItem(0)) {
        Attachments->setCurrentItem(first);
        first->setSelected(true);
    }
    Attachments->setFocus();
    TranslateWindow(this);
}

AttachmentsWindow::~AttachmentsWindow()
{
    ReleaseParts();
}

void AttachmentsWindow::ShowFor(MessageRecord* message, QWidget* button)
{
    if (!message)
        return;
    AttachmentsWindow window(message, button ? button->window() : nullptr);
    if (button)
        window.PlaceAt(button);
    window.ShowModal();
}

void AttachmentsWindow::PlaceAt(const QWidget* widget)
{
    const QPoint corner = widget->mapToGlobal(QPoint(widget->width(), widget->height()));
    QRect frame = frameGeometry();
    // Before the first show the window manager has added no frame yet.
    const QSize extra = frame.size() - size();
    QRect wanted(QPoint(), size() + extra);
    wanted.moveBottomRight(corner - QPoint(1, 1));
    if (const QScreen* screen = widget->screen()) {
        const QRect area = screen->availableGeometry();
        if (wanted.right() > area.right())
            wanted.moveRight(area.right());
        if (wanted.bottom() > area.bottom())
            wanted.moveBottom(area.bottom());
        if (wanted.left() < area.left())
            wanted.moveLeft(area.left());
        if (wanted.top() < area.top())
            wanted.moveTop(area.top());
    }
    move(wanted.topLeft());
}

QList<int> AttachmentsWindow::SelectedParts() const
{
    QList<int> parts;
    for (int row = 0; row < Attachments->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = Attachments->topLevelItem(row);
        if (item->isSelected())
            parts.append(item->data(0, kPartRole).toInt());
    }
    return parts;
}

void AttachmentsWindow::done(int result)
{
    ReleaseParts();
    TranslatedWindow::done(result);
}

void AttachmentsWindow::UpdateButtons()
{
    const qsizetype selected = SelectedParts().size();
    SBSave->setEnabled(selected > 0);
    SBOpen->setEnabled(selected == 1);
    SBSaveAndOpen->setEnabled(selected == 1);
}

void AttachmentsWindow::OpenSelected()
{
    const QList<int> parts = SelectedParts();
    if (parts.size() == 1 && message_)
        RunAttachmentAction(this, *message_, parts, AttachmentAction::Open);
}

void AttachmentsWindow::SaveSelected(bool openAfter)
{
    const QList<int> parts = SelectedParts();
    if (parts.isEmpty() || !message_ || (openAfter && parts.size() != 1))
        return;
    RunAttachmentAction(this, *message_, parts,
                        openAfter ? AttachmentAction::SaveAndOpen : AttachmentAction::Save);
}

void AttachmentsWindow::ReleaseParts()
{
    if (parsedHere_ && message_)
        message_->DropBody();
    parsedHere_ = false;
}

} // namespace vm
