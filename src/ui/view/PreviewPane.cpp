#include "ui/view/PreviewPane.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "mime/MessageRecord.h"
#include "model/Mailbox.h"
#include "ops/ErrorList.h"
#include "ui/main/MainIcons.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/view/MessageView.h"

namespace vm {

namespace {

// The bar between the list and the header; dragging it asks the pane for a
// new list height.
class PaneSplitter : public QWidget
{
public:
    PaneSplitter(PreviewPane* pane, QWidget* parent) : QWidget(parent), pane_(pane)
    {
        setCursor(Qt::SplitVCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        dragging_ = e->button() == Qt::LeftButton;
        grab_ = e->position().toPoint().y();
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (dragging_)
            pane_->TrySetListHeight(mapTo(pane_, e->position().toPoint()).y() - grab_);
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }

private:
    PreviewPane* pane_;
    bool dragging_ = false;
    int grab_ = 0;
};

// The caption: one line, cut with an ellipsis when too long; text() keeps
// the whole caption.
class CaptionLabel : public QLabel
{
public:
    explicit CaptionLabel(QWidget* parent) : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QRect r = contentsRect().adjusted(6, 0, -2, 0);
        QString line = text();
        line.replace(QLatin1Char('\n'), QLatin1Char(' '))
            .replace(QLatin1Char('\r'), QLatin1Char(' '));
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText));
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   fontMetrics().elidedText(line, Qt::ElideRight, r.width()));
    }
};

QIcon PaneIcon(PaneImage image)
{
    QIcon icon;
    icon.addPixmap(PaneToolImage(image, false), QIcon::Normal);
    icon.addPixmap(PaneToolImage(image, true), QIcon::Disabled);
    return icon;
}

} // namespace

PreviewPane::PreviewPane(MessageListView* list, QWidget* parent) : QWidget(parent), MsgList(list)
{
    setObjectName(QStringLiteral("ViewFrame"));

    PTop = new QWidget(this);
    PTop->setObjectName(QStringLiteral("PTop"));
    PTop->setMinimumHeight(kMinimumHeight);
    auto* topLayout = new QVBoxLayout(PTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    MsgList->setParent(PTop);
    topLayout->addWidget(MsgList);

    Splitter = new PaneSplitter(this, this);
    Splitter->setObjectName(QStringLiteral("Splitter"));

    PHead = new QFrame(this);
    PHead->setObjectName(QStringLiteral("PHead"));
    PHead->setFrameShape(QFrame::StyledPanel);
    auto* headLayout = new QHBoxLayout(PHead);
    headLayout->setContentsMargins(0, 0, 2, 0);
    headLayout->setSpacing(0);
    PCaption = new CaptionLabel(PHead);
    PCaption->setObjectName(QStringLiteral("PCaption"));
    QFont captionFont = PCaption->font();
    captionFont.setBold(true);
    PCaption->setFont(captionFont);
    headLayout->addWidget(PCaption, 1);

    ToolBar = new QToolBar(PHead);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setIconSize(QSize(kButtonSize, kButtonSize));
    ToolBar->setFixedHeight(kHeaderHeight - 2);
    SBFirst = AddButton("SBFirst", int(PaneImage::First));
    SBPrevious = AddButton("SBPrevious", int(PaneImage::Previous));
    SBNext = AddButton("SBNext", int(PaneImage::Next));
    SBLast = AddButton("SBLast", int(PaneImage::Last));
    SBSearch = AddButton("SBSearch", int(PaneImage::Search));
    ToolBar->addSeparator();
    SBUncheckNew = AddButton("SBUncheckNew", int(PaneImage::UncheckNew));
    ToolBar->addSeparator();
    SBDelete = AddButton("SBDelete", int(PaneImage::Delete));
    SBDownload = AddButton("SBDownload", int(PaneImage::Download));
    SBReply = AddButton("SBReply", int(PaneImage::Reply));
    SBForward = AddButton("SBForward", int(PaneImage::Forward));
    SBDetails = AddButton("SBDetails", int(PaneImage::Details));
    SBAttachments = AddButton("SBAttachments", int(PaneImage::Attachments));
    ToolBar->addSeparator();
    SBHidePreview = AddButton("SBHidePreview", int(PaneImage::HidePreview));
    headLayout->addWidget(ToolBar);

    SBShowPreview = new QToolButton(PHead);
    SBShowPreview->setObjectName(QStringLiteral("SBShowPreview"));
    SBShowPreview->setIcon(PaneIcon(PaneImage::ShowPreview));
    SBShowPreview->setIconSize(QSize(16, 16));
    SBShowPreview->setFixedSize(22, 20);
    SBShowPreview->setAutoRaise(true);
    SBShowPreview->setVisible(false);
    headLayout->addWidget(SBShowPreview, 0, Qt::AlignRight | Qt::AlignVCenter);

    MsgViewFrame = new MessageView(QStringLiteral("message1.html"), this);

    SelectItemTimer = new QTimer(this);
    SelectItemTimer->setObjectName(QStringLiteral("SelectItemTimer"));
    SelectItemTimer->setSingleShot(true);
    SelectItemTimer->setInterval(kSelectDelayMs);
    connect(SelectItemTimer, &QTimer::timeout, this, &PreviewPane::SelectItemTimerFired);

    // The list takes the focus given to the frame (a disabled list refuses it).
    setFocusProxy(MsgList);
    connect(MsgList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PreviewPane::SelectionChanged);

    connect(SBFirst, &QToolButton::clicked, this, &PreviewPane::SBFirstClick);
    connect(SBPrevious, &QToolButton::clicked, this, &PreviewPane::SBPreviousClick);
    connect(SBNext, &QToolButton::clicked, this, &PreviewPane::SBNextClick);
    connect(SBLast, &QToolButton::clicked, this, &PreviewPane::SBLastClick);
    auto run = [this](QToolButton* button, std::function<void()> Hooks::*hook) {
        connect(button, &QToolButton::clicked, this, [this, hook] {
            if (hooks.*hook)
                (hooks.*hook)();
        });
    };
    run(SBSearch, &Hooks::find);
    run(SBDelete, &Hooks::deleteMessages);
    run(SBReply, &Hooks::reply);
    run(SBForward, &Hooks::forward);
    run(SBDetails, &Hooks::details);
    connect(SBDownload, &QToolButton::clicked, this, [this] {
        if (hooks.download)
            hooks.download();
        ReceiptCheck();
    });
    connect(SBUncheckNew, &QToolButton::clicked, this, [this] {
        if (hooks.uncheckNew)
            hooks.uncheckNew();
        RefreshPreview(false);
    });
    connect(SBAttachments, &QToolButton::clicked, this, [this] {
        if (MessageRecord* msg = SingleSelectedMessage(); msg && hooks.attachments)
            hooks.attachments(msg, SBAttachments);
    });
    connect(SBHidePreview, &QToolButton::clicked, this, [this] { SetPreviewShown(!shown_); });
    connect(SBShowPreview, &QToolButton::clicked, this, [this] { SetPreviewShown(!shown_); });

    // Parts are placed at the first resize: clamping against the size of a
    // frame not laid out yet would lose the preview height.
    ShowParts();
}

PreviewPane::~PreviewPane() = default;

QToolButton* PreviewPane::AddButton(const char* name, int image)
{
    auto* button = new QToolButton(ToolBar);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(PaneIcon(static_cast<PaneImage>(image)));
    button->setIconSize(QSize(kButtonSize, kButtonSize));
    button->setFixedSize(kButtonSize, kButtonSize);
    button->setAutoRaise(true);
    // Command buttons wait for the first refresh; hiding is always possible.
    button->setEnabled(image == int(PaneImage::HidePreview));
    ToolBar->addWidget(button);
    return button;
}

void PreviewPane::DeletePageFiles()
{
    MsgViewFrame->DeletePageFiles();
}

// ------------------------------------------------------------ selection ----

void PreviewPane::SelectionChanged()
{
    SelectItemTimer->start(); // restarts a running delay
    if (hooks.rowSelected)
        hooks.rowSelected();
}

void PreviewPane::SelectItemTimerFired()
{
    SelectItemTimer->stop();
    if (!shown_)
        return;
    RefreshPreview(true);
    ReceiptCheck();
}

int PreviewPane::SingleSelectedRow() const
{
    const QList<int> rows = MsgList->SelectedRows();
    return rows.size() == 1 ? rows.first() : -1;
}

MessageRecord* PreviewPane::SingleSelectedMessage() const
{
    const int row = SingleSelectedRow();
    return row >= 0 ? MsgList->ListModel()->MessageAt(row) : nullptr;
}

int PreviewPane::LastMessageRow() const
{
    const MessageListModel* model = MsgList->ListModel();
    return model->rowCount() - (model->HasMoreRow() ? 2 : 1);
}

// -------------------------------------------------------------- refresh ----

void PreviewPane::RefreshPreview(bool full)
{
    // A disabled frame belongs to a running operation, which may be changing
    // the records: nothing is read.
    if (!isEnabled())
        return;
    // A full refresh serves a selection that is still waiting for its delay.
    const bool settles = full && SelectItemTimer->isActive();
    if (settles)
        SelectItemTimer->stop();
    // While hidden nothing is rendered; showing the preview renders again.
    const bool render = full && shown_;

    SBAttachments->setEnabled(false);
    SBDetails->setEnabled(false);
    PCaption->clear();

    MessageListModel* model = MsgList->ListModel();
    const QList<int> rows = MsgList->SelectedRows();
    const int one = rows.size() == 1 ? rows.first() : -1;
    if (MessageRecord* msg = one >= 0 ? model->MessageAt(one) : nullptr) {
        const auto holding = msg->HoldingState();
        const bool whole = holding == MessageRecord::Holding::Whole;
        SBDetails->setEnabled(bool(hooks.details) && holding != MessageRecord::Holding::UidlOnly);
        SBAttachments->setEnabled(bool(hooks.attachments) && whole &&
                                  msg->VisibleAttachmentCount() > 0);
        // The subject in quotes and the sender, joined in the language's words.
        PCaption->setText(TextOr("MSGVIEWFRAME", "PreviewCaption", "\"%s\" from %s",
                                 {msg->Subject(), msg->FromText()}));
        if (render) {
            if (whole && msg->owner) {
                // Parsed whole for the page only; the parts are let go again
                // so that a list of large messages does not keep them all.
                msg->ParseWhole();
                MsgViewFrame->RenderMessage(msg, msg->owner->Account());
                msg->DropBody();
                emit messageRendered(msg);
                if (hooks.messageShown && SingleSelectedMessage() == msg &&
                    msg->HoldingState() == MessageRecord::Holding::Whole)
                    hooks.messageShown(msg);
            } else {
                // Held as headers only: what is known, and how to get the rest.
                if (holding == MessageRecord::Holding::Headers)
                    MsgViewFrame->ShowHeadersOnly(*msg);
                else
                    MsgViewFrame->ShowNotice();
                emit noticeShown();
            }
        }
    } else if (one < 0 && render) {
        // Nothing or several rows selected: the pane says which.
        MsgViewFrame->ShowNotice(
            rows.isEmpty()
                ? TextOr("MSGVIEWFRAME", "NoMessageSelected",
                         "No message is selected. Choose one in the list to read it here.")
                : TextOr("MSGVIEWFRAME", "MessagesSelected", "%s messages are selected.",
                         {QString::number(rows.size())}));
        emit noticeShown();
    }

    const int count = model->rowCount();
    const bool twoMessages = model->MessageRowCount() >= 2;
    const bool previous = one > 0;
    const bool next = one >= 0 && one < count - 1 && !(model->HasMoreRow() && one == count - 2);
    SBPrevious->setEnabled(previous);
    SBNext->setEnabled(next);
    SBFirst->setEnabled(twoMessages && previous);
    SBLast->setEnabled(twoMessages && next);
    SBDelete->setEnabled(!rows.isEmpty() && bool(hooks.deleteMessages));
    SBDownload->setEnabled(!rows.isEmpty() && bool(hooks.download));
    SBReply->setEnabled(one >= 0 && bool(hooks.reply));
    SBForward->setEnabled(one >= 0 && bool(hooks.forward));
    SBSearch->setEnabled(mailbox_ && !mailbox_->Stale() && mailbox_->Count() > 0 &&
                         bool(hooks.find));
    SBUncheckNew->setEnabled(mailbox_ && mailbox_->AnyNew() && bool(hooks.uncheckNew));
    MsgList->viewport()->update();

    if (settles)
        ReceiptCheck();
}

void PreviewPane::ReceiptCheck()
{
    if (!isEnabled())
        return;
    MessageRecord* msg = SingleSelectedMessage();
    if (!msg)
        return;
    const bool headersOnly = msg->HoldingState() != MessageRecord::Holding::Whole;
    const bool offer = msg->receiptState == 1 && hooks.receipt &&
                       (msg->UID != receiptUid_ || (receiptHeadersOnly_ && !headersOnly));
    receiptUid_ = msg->UID;
    receiptHeadersOnly_ = headersOnly;
    if (offer)
        hooks.receipt(msg);
}

// ----------------------------------------------------------- navigation ----

void PreviewPane::SelectRow(int row)
{
    const QModelIndex index = MsgList->ListModel()->index(row, 0);
    MsgList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    MsgList->scrollTo(index);
}

void PreviewPane::SBFirstClick()
{
    if (MsgList->ListModel()->MessageRowCount() >= 2)
        SelectRow(0);
}

void PreviewPane::SBPreviousClick()
{
    const int one = SingleSelectedRow();
    if (one > 0)
        SelectRow(one - 1);
}

void PreviewPane::SBNextClick()
{
    const int one = SingleSelectedRow();
    const MessageListModel* model = MsgList->ListModel();
    if (one >= 0 && one < model->rowCount() - 1 && !model->IsMoreRow(one + 1))
        SelectRow(one + 1);
}

void PreviewPane::SBLastClick()
{
    if (MsgList->ListModel()->MessageRowCount() >= 2)
        SelectRow(LastMessageRow());
}

// ------------------------------------------------------ showing, sizing ----

void PreviewPane::SetPreviewShown(bool shown)
{
    if (shown == shown_)
        return;
    shown_ = shown;
    ApplyShownState();
    if (shown_)
        RefreshPreview(true);
    const int one = SingleSelectedRow();
    if (one >= 0)
        MsgList->scrollTo(MsgList->ListModel()->index(one, 0));
    if (hooks.layoutRequest)
        hooks.layoutRequest();
}

void PreviewPane::ApplyShownState()
{
    ShowParts();
    ArrangeParts(true);
}

void PreviewPane::ShowParts()
{
    PCaption->setVisible(shown_);
    ToolBar->setVisible(shown_);
    SBShowPreview->setVisible(!shown_);
    Splitter->setVisible(shown_);
    MsgViewFrame->setVisible(shown_);
}

void PreviewPane::SetPreviewHeight(int height)
{
    if (height <= 0)
        return;
    previewHeight_ = height;
    if (shown_)
        ArrangeParts(true);
}

int PreviewPane::PreviewHeight() const
{
    return previewHeight_;
}

bool PreviewPane::TrySetListHeight(int height)
{
    const int h = this->height();
    if (!shown_ || height <= kMinimumHeight || height >= h - kMinimumHeight)
        return false;
    previewHeight_ = std::max(h - height - kSplitterHeight - kHeaderHeight, 0);
    ArrangeParts(false);
    return true;
}

void PreviewPane::ArrangeParts(bool clamp)
{
    const int h = height();
    const int w = width();
    if (!shown_) {
        const int headHeight = SBShowPreview->height();
        PTop->setGeometry(0, 0, w, std::max(h - headHeight, 0));
        PHead->setGeometry(0, std::max(h - headHeight, 0), w, headHeight);
        return;
    }
    if (clamp) {
        // The list keeps its minimum first; the preview never goes below it.
        if (h - previewHeight_ - kHeaderHeight - kSplitterHeight < kMinimumHeight)
            previewHeight_ = h - kHeaderHeight - kSplitterHeight - kMinimumHeight;
        if (previewHeight_ < kMinimumHeight)
            previewHeight_ = kMinimumHeight;
    }
    const int topHeight = std::max(h - kHeaderHeight - previewHeight_ - kSplitterHeight, 0);
    PTop->setGeometry(0, 0, w, topHeight);
    Splitter->setGeometry(0, topHeight, w, kSplitterHeight);
    PHead->setGeometry(0, topHeight + kSplitterHeight, w, kHeaderHeight);
    MsgViewFrame->setGeometry(0, topHeight + kSplitterHeight + kHeaderHeight, w, previewHeight_);
}

void PreviewPane::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ArrangeParts(true);
}

// ------------------------------------------------------ enabling, cursor ----

void PreviewPane::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::EnabledChange)
        return;
    if (isEnabled()) {
        RefreshPreview(false);
    } else {
        // Every button waits for the next refresh to be enabled again.
        for (QToolButton* b : {SBFirst, SBPrevious, SBNext, SBLast, SBSearch, SBUncheckNew,
                               SBDelete, SBDownload, SBReply, SBForward, SBDetails, SBAttachments})
            b->setEnabled(false);
    }
}

void PreviewPane::SetBusyCursor(bool busy)
{
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(MsgList), PTop,
                       static_cast<QWidget*>(PHead), static_cast<QWidget*>(PCaption),
                       static_cast<QWidget*>(MsgViewFrame)}) {
        if (busy)
            w->setCursor(Qt::WaitCursor);
        else
            w->unsetCursor();
    }
    Splitter->setCursor(busy ? Qt::WaitCursor : Qt::SplitVCursor);
}

} // namespace vm
