#include "ui/view/DetailsWindow.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStringDecoder>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>

#include <algorithm>

#include "config/Settings.h"
#include "core/TerminalText.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "model/Mailbox.h"
#include "render/MessageFiles.h"
#include "ui/common/BusyCursor.h"
#include "ui/main/MainIcons.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/view/MessageView.h"
#include "ui/view/SourceWindow.h"

namespace vm {

namespace {

constexpr int kBarHeight = 40;
constexpr int kMargin = 8;
constexpr int kLineHeight = 20;
constexpr int kAttachmentListHeight = 84;

QString Text(const char* key)
{
    return LangText(QStringLiteral("DETAILSWND"), QLatin1String(key));
}

QString Format(const char* key, const QStringList& args)
{
    return LangFormat(QStringLiteral("DETAILSWND"), QLatin1String(key), args);
}

// Header bytes as text: UTF-8 when they are valid UTF-8, else each byte as
// Latin-1, so nothing is lost or replaced.
QString HeaderText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// One line per header field: continuation lines are joined to their field.
QString HeaderFieldLines(const QList<QByteArray>& physical)
{
    QStringList fields;
    for (const QByteArray& line : physical) {
        if (!fields.isEmpty() && !line.isEmpty() && (line[0] == ' ' || line[0] == '\t'))
            fields.last() += HeaderText(line);
        else
            fields.append(HeaderText(line));
    }
    return fields.join(QLatin1Char('\n'));
}

QIcon PaneIcon(PaneImage image)
{
    QIcon icon;
    icon.addPixmap(PaneToolImage(image, false), QIcon::Normal);
    icon.addPixmap(PaneToolImage(image, true), QIcon::Disabled);
    return icon;
}

// A panel holding one bold label that fills it (the sender and the subject).
QLabel* AddPanelLabel(QWidget* page, QWidget*& panel, const char* panelName, const char* labelName)
{
    panel = new QWidget(page);
    panel->setObjectName(QLatin1String(panelName));
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(panel);
    label->setObjectName(QLatin1String(labelName));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QFont bold(QStringLiteral("Arial"));
    bold.setPointSize(8);
    bold.setBold(true);
    label->setFont(bold);
    layout->addWidget(label);
    return label;
}

QLabel* AddLabel(QWidget* page, const char* name)
{
    auto* label = new QLabel(page);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

DetailsWindow::DetailsWindow(MessageListModel* model, QWidget* parent)
    : TranslatedWindow(parent), model_(model)
{
    setObjectName(QStringLiteral("DETAILSWND"));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    PGC = new QTabWidget(this);
    PGC->setObjectName(QStringLiteral("PGC"));
    TSHeaders = new QWidget;
    TSHeaders->setObjectName(QStringLiteral("TSHeaders"));
    TSBody = new QWidget;
    TSBody->setObjectName(QStringLiteral("TSBody"));
    PGC->addTab(TSHeaders, QStringLiteral("Headers"));
    PGC->addTab(TSBody, QStringLiteral("Message"));
    TSHeaders->installEventFilter(this);
    TSBody->installEventFilter(this);

    LFrom = AddPanelLabel(TSHeaders, PFrom, "PFrom", "LFrom");
    LSubject = AddPanelLabel(TSHeaders, PSubject, "PSubject", "LSubject");
    LDate = AddLabel(TSHeaders, "LDate");
    LSize = AddLabel(TSHeaders, "LSize");
    LHeaders = AddLabel(TSHeaders, "LHeaders");
    LHeaders->setText(QStringLiteral("Message headers:"));
    MHeaders = new QPlainTextEdit(TSHeaders);
    MHeaders->setObjectName(QStringLiteral("MHeaders"));
    MHeaders->setReadOnly(true);
    MHeaders->setLineWrapMode(QPlainTextEdit::NoWrap);

    MsgViewFrame = new MessageView(QStringLiteral("message2.html"), TSBody);
    // A mail link opens its message once this modal window has closed.
    MsgViewFrame->composeTo = [this](MailAccount*, const QString& link) {
        if (operationRunning_)
            return;
        pendingMailto_ = link.isNull() ? QStringLiteral("") : link;
        close();
    };
    LAttachments = AddLabel(TSBody, "LAttachments");
    AttachmentList = new QListWidget(TSBody);
    AttachmentList->setObjectName(QStringLiteral("AttachmentList"));
    AttachmentList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    AttachmentList->setContextMenuPolicy(Qt::CustomContextMenu);
    popAttach = new QMenu(this);
    popAttach->setObjectName(QStringLiteral("popAttach"));
    popAttachOpen = popAttach->addAction(QStringLiteral("&Open"));
    popAttachOpen->setObjectName(QStringLiteral("popAttachOpen"));
    popAttachSave = popAttach->addAction(QStringLiteral("&Save..."));
    popAttachSave->setObjectName(QStringLiteral("popAttachSave"));
    popAttachSaveOpen = popAttach->addAction(QStringLiteral("Save and o&pen..."));
    popAttachSaveOpen->setObjectName(QStringLiteral("popAttachSaveOpen"));
    connect(AttachmentList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        UpdateAttachmentMenu();
        popAttach->popup(AttachmentList->viewport()->mapToGlobal(pos));
    });
    connect(AttachmentList, &QListWidget::itemSelectionChanged, this,
            &DetailsWindow::UpdateAttachmentMenu);
    connect(AttachmentList, &QListWidget::itemDoubleClicked, this,
            [this] { RunAttachmentCommand(AttachmentAction::Open); });
    connect(popAttachOpen, &QAction::triggered, this,
            [this] { RunAttachmentCommand(AttachmentAction::Open); });
    connect(popAttachSave, &QAction::triggered, this,
            [this] { RunAttachmentCommand(AttachmentAction::Save); });
    connect(popAttachSaveOpen, &QAction::triggered, this,
            [this] { RunAttachmentCommand(AttachmentAction::SaveAndOpen); });

    // Shared by both pages: moved onto the active one.
    LPriority = AddLabel(TSHeaders, "LPriority");
    QFont bold = LPriority->font();
    bold.setBold(true);
    LPriority->setFont(bold);
    LPriority->hide();
    LOperation = AddLabel(TSHeaders, "LOperation");
    LOperation->hide();
    SBAbort = new QToolButton(TSHeaders);
    SBAbort->setObjectName(QStringLiteral("SBAbort"));
    SBAbort->setIcon(QIcon(AbortImage(true)));
    SBAbort->setIconSize(QSize(16, 16));
    SBAbort->setAutoRaise(true);
    SBAbort->hide();
    connect(SBAbort, &QToolButton::clicked, this, &DetailsWindow::SBAbortClick);

    BottomBar = new QWidget(TSHeaders);
    BottomBar->setObjectName(QStringLiteral("BottomBar"));
    auto* bar = new QHBoxLayout(BottomBar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(2);
    QStyle* st = style();
    SBPrevious = AddBarButton("SBPrevious", PaneIcon(PaneImage::Previous));
    SBNext = AddBarButton("SBNext", PaneIcon(PaneImage::Next));
    bar->addSpacing(10);
    SBRetrieve = AddBarButton("SBRetrieve", PaneIcon(PaneImage::Download));
    SBDelete = AddBarButton("SBDelete", PaneIcon(PaneImage::Delete));
    bar->addSpacing(10);
    SBSave = AddBarButton("SBSave", st->standardIcon(QStyle::SP_DialogSaveButton));
    SBPrint = AddBarButton("SBPrint", st->standardIcon(QStyle::SP_FileIcon));
    SBSource = AddBarButton("SBSource", st->standardIcon(QStyle::SP_FileDialogContentsView));
    bar->addSpacing(10);
    SBReplyToSender = AddBarButton("SBReplyToSender", PaneIcon(PaneImage::Reply));
    SBReplyToAll = AddBarButton("SBReplyToAll", PaneIcon(PaneImage::Reply));
    SBForward = AddBarButton("SBForward", PaneIcon(PaneImage::Forward));
    bar->addStretch(1);
    SBExit = new QToolButton(BottomBar);
    SBExit->setObjectName(QStringLiteral("SBExit"));
    SBExit->setText(QStringLiteral("Menu..."));
    SBExit->setToolButtonStyle(Qt::ToolButtonTextOnly);
    SBExit->setMinimumSize(80, 32);
    bar->addWidget(SBExit);

    connect(SBPrevious, &QToolButton::clicked, this, &DetailsWindow::SBPreviousClick);
    connect(SBNext, &QToolButton::clicked, this, &DetailsWindow::SBNextClick);
    connect(SBRetrieve, &QToolButton::clicked, this, &DetailsWindow::SBRetrieveClick);
    connect(SBDelete, &QToolButton::clicked, this, &DetailsWindow::SBDeleteClick);
    connect(SBSave, &QToolButton::clicked, this, &DetailsWindow::SBSaveClick);
    connect(SBPrint, &QToolButton::clicked, this, &DetailsWindow::SBPrintClick);
    connect(SBSource, &QToolButton::clicked, this, &DetailsWindow::SBSourceClick);
    connect(SBReplyToSender, &QToolButton::clicked, this, [this] { ComposeAndClose(0); });
    connect(SBReplyToAll, &QToolButton::clicked, this, [this] { ComposeAndClose(1); });
    connect(SBForward, &QToolButton::clicked, this, [this] { ComposeAndClose(2); });
    connect(SBExit, &QToolButton::clicked, this, &DetailsWindow::SBExitClick);

    // Keys of the commands (window-wide, also while the view has the focus).
    const auto key = [this](const QKeySequence& seq, void (DetailsWindow::*slot)()) {
        auto* sc = new QShortcut(seq, this);
        sc->setContext(Qt::WindowShortcut);
        connect(sc, &QShortcut::activated, this, slot);
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_Comma), &DetailsWindow::SBPreviousClick);
    key(QKeySequence(Qt::CTRL | Qt::Key_Period), &DetailsWindow::SBNextClick);
    key(QKeySequence(Qt::CTRL | Qt::Key_D), &DetailsWindow::SBRetrieveClick);
    key(QKeySequence(Qt::CTRL | Qt::Key_Delete), &DetailsWindow::SBDeleteClick);
    key(QKeySequence(Qt::CTRL | Qt::Key_S), &DetailsWindow::SBSaveClick);
    key(QKeySequence(Qt::CTRL | Qt::Key_P), &DetailsWindow::SBPrintClick);
    auto* reply = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R), this);
    connect(reply, &QShortcut::activated, this, [this] { ComposeAndClose(0); });
    auto* forward = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), this);
    connect(forward, &QShortcut::activated, this, [this] { ComposeAndClose(2); });
    // Esc closes, or aborts the running operation.
    key(QKeySequence(Qt::Key_Escape), &DetailsWindow::SBExitClick);

    connect(PGC, &QTabWidget::currentChanged, this, [this] {
        ApplyPageRule();
        ArrangePage();
    });
    resize(kMinimumWidth, kMinimumHeight);
}

DetailsWindow::~DetailsWindow()
{
    Release();
}

QToolButton* DetailsWindow::AddBarButton(const char* name, const QIcon& icon)
{
    auto* button = new QToolButton(BottomBar);
    button->setObjectName(QLatin1String(name));
    button->setIcon(icon);
    button->setIconSize(QSize(32, 32));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    BottomBar->layout()->addWidget(button);
    return button;
}

// ------------------------------------------------------------- opening ----

int DetailsWindow::Run(int row, MailAccount* account)
{
    // The receipt question comes with the window's activation.
    if (!Prepare(row, account))
        return -1;
    ShowModal();
    const int ended = row_;
    Release();
    CopyPlacement();
    if (pendingCompose_ >= 0) {
        // The reply is composed after the window closed, so its window is
        // not held back by this modal one.
        const int mode = pendingCompose_;
        pendingCompose_ = -1;
        if (hooks.compose && model_)
            if (MessageRecord* m = model_->MessageAt(ended))
                hooks.compose(m, account_, mode);
    }
    if (!pendingMailto_.isNull()) {
        const QString link = pendingMailto_;
        pendingMailto_ = QString();
        if (hooks.mailto)
            hooks.mailto(account_, link);
    }
    return ended;
}

bool DetailsWindow::Start(int row, MailAccount* account)
{
    if (!Prepare(row, account))
        return false;
    show();
    ActivationStep();
    return true;
}

bool DetailsWindow::Prepare(int row, MailAccount* account)
{
    Release();
    row_ = row;
    account_ = account;
    pendingCompose_ = -1;
    pendingMailto_ = QString();
    askedSinceActivation_ = false;
    SetOperationRunning(false);
    if (!Fill())
        return false;
    if (!placed_) {
        placed_ = true;
        const Settings& s = AppSettings();
        if (s.SaveWindowParams)
            MainWindow::RestorePlacement(this, s.PreviewWndLeft, s.PreviewWndTop, s.PreviewWndRight,
                                         s.PreviewWndBottom);
    }
    return true;
}

void DetailsWindow::CopyPlacement() const
{
    if (!placed_)
        return;
    const QRect r = geometry();
    Settings& s = AppSettings();
    s.PreviewWndLeft = r.left();
    s.PreviewWndTop = r.top();
    s.PreviewWndRight = r.right() + 1;
    s.PreviewWndBottom = r.bottom() + 1;
}

// ------------------------------------------------------------- filling ----

bool DetailsWindow::HeadersOnly() const
{
    return !message_ || message_->HoldingState() != MessageRecord::Holding::Whole;
}

bool DetailsWindow::Fill()
{
    if (!model_)
        return false;
    // The "more" row holds no message: step up to one that does.
    row_ = std::min(row_, model_->rowCount() - 1);
    while (row_ >= 0 && !model_->MessageAt(row_))
        --row_;
    if (row_ < 0) {
        if (isVisible())
            close();
        return false;
    }
    message_ = model_->MessageAt(row_);
    const bool whole = message_->HoldingState() == MessageRecord::Holding::Whole;
    if (whole && hooks.displayed)
        hooks.displayed(message_);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (whole) {
        message_->ParseWhole();
        parsedWhole_ = true;
    } else {
        EnsureParsed(*message_);
    }

    LFrom->setText(Format("From", {message_->FromText()}));
    LSubject->setText(Format("Subject", {message_->Subject()}));
    LDate->setText(Format("Date", {MessageDateText(message_->Date)}));
    LSize->setText(Format("Size", {MessageSizeText(message_->size)}));
    switch (PriorityOf(*message_)) {
    case 1:
        LPriority->setText(Text("HighPriority"));
        LPriority->setStyleSheet(QStringLiteral("color: red"));
        LPriority->show();
        break;
    case 2:
        LPriority->setText(Text("LowPriority"));
        LPriority->setStyleSheet(QStringLiteral("color: navy"));
        LPriority->show();
        break;
    default:
        LPriority->hide();
    }
    MHeaders->setPlainText(HeaderFieldLines(message_->HeaderLines()));
    FillAttachments();
    if (whole)
        MsgViewFrame->RenderMessage(message_, account_);
    else
        MsgViewFrame->ShowNotice();
    SetCaption();

    ApplyPageRule();
    PGC->setCurrentWidget(AppSettings().DefaultBrowserPage != 0 ? TSBody : TSHeaders);
    ApplyPageRule();
    if (PGC->currentWidget() == TSHeaders)
        MHeaders->setFocus();
    else
        MsgViewFrame->setFocus();
    ArrangePage();
    UpdateButtons();
    QApplication::restoreOverrideCursor();
    return true;
}

void DetailsWindow::FillAttachments()
{
    AttachmentList->clear();
    const bool whole = message_->HoldingState() == MessageRecord::Holding::Whole;
    const QList<AttachmentPart>& parts = message_->Attachments();
    const bool shown = whole && !parts.isEmpty();
    for (int i = 0; shown && i < parts.size(); ++i) {
        // Control and bidirectional characters shown harmless, as in the
        // attachments window: a name cannot disguise its type.
        auto* item = new QListWidgetItem(TerminalSafeText(AttachmentDisplayName(parts[i])), AttachmentList);
        item->setData(Qt::UserRole, i);
    }
    LAttachments->setText(
        Format("Attachments", {whole ? QString::number(parts.size()) : QStringLiteral("???")}));
    LAttachments->setVisible(shown);
    AttachmentList->setVisible(shown);
    UpdateAttachmentMenu();
}

void DetailsWindow::SetCaption()
{
    if (!message_ || !model_)
        return;
    const QString name = message_->FromName();
    const QString sender = name.isEmpty() ? QString::fromUtf8(message_->FromAddress()) : name;
    setWindowTitle(
        Format("DetailsWnd", {QString::number(row_ + 1), QString::number(model_->MessageRowCount()),
                              message_->Subject(), sender}));
}

void DetailsWindow::AfterTranslation()
{
    // The language's caption holds placeholders: fill them again.
    SetCaption();
    SetOperationRunning(operationRunning_);
}

void DetailsWindow::ApplyPageRule()
{
    // The tab first: a hidden tab cannot become the current one.
    const bool headersOnly = HeadersOnly();
    const int body = PGC->indexOf(TSBody);
    PGC->setTabEnabled(body, !headersOnly);
    PGC->setTabVisible(body, !headersOnly);
    if (headersOnly && PGC->currentWidget() == TSBody)
        PGC->setCurrentWidget(TSHeaders);
    QWidget* page = PGC->currentWidget();
    for (QWidget* w : {static_cast<QWidget*>(LPriority), static_cast<QWidget*>(LOperation),
                       static_cast<QWidget*>(BottomBar), static_cast<QWidget*>(SBAbort)}) {
        if (w->parentWidget() != page) {
            const bool visible = !w->isHidden();
            w->setParent(page);
            w->setVisible(visible);
        }
    }
}

void DetailsWindow::UpdateButtons()
{
    const int rows = model_ ? model_->MessageRowCount() : 0;
    const bool shown = message_ != nullptr;
    SBPrevious->setEnabled(shown && row_ > 0);
    SBNext->setEnabled(shown && row_ < rows - 1);
    SBRetrieve->setEnabled(shown && HeadersOnly() && bool(hooks.retrieveWhole));
    SBDelete->setEnabled(shown && bool(hooks.deleteOnServer));
    SBSave->setEnabled(shown && bool(hooks.chooseSaveFile));
    SBPrint->setEnabled(shown && AppSettings().DHTMLPreview && !HeadersOnly());
    SBSource->setEnabled(shown);
    SBReplyToSender->setEnabled(shown && bool(hooks.compose));
    SBReplyToAll->setEnabled(shown && bool(hooks.compose));
    SBForward->setEnabled(shown && bool(hooks.compose));
}

void DetailsWindow::UpdateAttachmentMenu()
{
    const int selected = static_cast<int>(AttachmentList->selectedItems().size());
    popAttachSave->setEnabled(selected >= 1);
    popAttachOpen->setEnabled(selected == 1);
    popAttachSaveOpen->setEnabled(selected == 1);
}

// -------------------------------------------------------------- layout ----

void DetailsWindow::resizeEvent(QResizeEvent* event)
{
    TranslatedWindow::resizeEvent(event);
    PGC->setGeometry(rect().adjusted(4, 4, -4, -4));
    ArrangePage();
}

// The pages get their size from the page control only when it lays itself
// out, which for a window being shown comes after the window's own resize:
// arrange again whenever the active page changes size.
bool DetailsWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == PGC->currentWidget())
        ArrangePage();
    return TranslatedWindow::eventFilter(watched, event);
}

void DetailsWindow::ArrangePage()
{
    QWidget* page = PGC->currentWidget();
    if (!page)
        return;
    const int w = page->width() - 2 * kMargin;
    const int h = page->height();
    const int barTop = h - kMargin - kBarHeight;
    const int g = kBarHeight / 4;
    BottomBar->setGeometry(kMargin, barTop, w, kBarHeight);
    const int abortSize = 24;
    SBAbort->setGeometry(kMargin + w - abortSize, barTop + (kBarHeight - abortSize) / 2, abortSize,
                         abortSize);
    LOperation->setGeometry(kMargin, barTop, w - abortSize - 4, kBarHeight);

    const bool priority = !LPriority->isHidden();
    const int priorityHeight = priority ? LPriority->sizeHint().height() : 0;
    if (priority)
        LPriority->setGeometry(kMargin, barTop - g - priorityHeight, w, priorityHeight);
    // Where the content above the bar ends.
    const int contentBottom = priority ? barTop - 2 * g - priorityHeight : barTop - g;

    int y = kMargin;
    PFrom->setGeometry(kMargin, y, w, kLineHeight);
    y += kLineHeight + 2;
    PSubject->setGeometry(kMargin, y, w, kLineHeight);
    y += kLineHeight + 6;
    LDate->setGeometry(kMargin, y, w, kLineHeight);
    y += kLineHeight;
    LSize->setGeometry(kMargin, y, w, kLineHeight);
    y += kLineHeight + 6;
    LHeaders->setGeometry(kMargin, y, w, kLineHeight);
    y += kLineHeight;
    MHeaders->setGeometry(kMargin, y, w, std::max(contentBottom - y, 20));

    // The body page: the view as wide as the header lines; the attachment
    // list, when shown, between the view and the bar.
    int viewBottom = contentBottom;
    if (!AttachmentList->isHidden()) {
        const int listTop = contentBottom - kAttachmentListHeight;
        AttachmentList->setGeometry(kMargin, listTop, w, kAttachmentListHeight);
        const int labelHeight = LAttachments->sizeHint().height();
        LAttachments->setGeometry(kMargin, listTop - labelHeight, w, labelHeight);
        viewBottom = listTop - labelHeight - g;
    }
    MsgViewFrame->setGeometry(kMargin, kMargin, w, std::max(viewBottom - kMargin, 20));
}

// ------------------------------------------------------ operation state ----

void DetailsWindow::SetOperationRunning(bool running)
{
    operationRunning_ = running;
    BottomBar->setVisible(!running);
    SBAbort->setVisible(running);
    LOperation->setVisible(running);
    if (!running)
        LOperation->clear();
    MHeaders->setEnabled(!running);
    MsgViewFrame->setEnabled(!running);
    AttachmentList->setEnabled(!running);
    PGC->tabBar()->setEnabled(!running);
    const QString caption = Text(running ? "BAbort" : "BMenu");
    SBExit->setText(caption.isEmpty() ? QString::fromLatin1(running ? "Abort" : "Menu...")
                                      : caption);
    // The enabling is set again by the command once it knows what became of
    // the message (a fetched or deleted record is destroyed by then).
}

void DetailsWindow::SetOperationText(const QString& text)
{
    LOperation->setText(text);
}

// ------------------------------------------------------------- events ----

void DetailsWindow::ActivationStep()
{
    if (!message_ || HeadersOnly() || message_->receiptState != 1 || !hooks.receipt)
        return;
    askedSinceActivation_ = true;
    hooks.receipt(message_, account_);
}

bool DetailsWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && message_ && !operationRunning_) {
        // The activation that follows the receipt question itself asks nothing.
        if (askedSinceActivation_)
            askedSinceActivation_ = false;
        else
            ActivationStep();
    }
    return TranslatedWindow::event(event);
}

void DetailsWindow::reject()
{
    // The window is not closed while its operation runs.
    if (!operationRunning_)
        TranslatedWindow::reject();
}

void DetailsWindow::done(int result)
{
    if (operationRunning_)
        return;
    TranslatedWindow::done(result);
}

void DetailsWindow::Release()
{
    if (message_ && parsedWhole_ && message_->HoldingState() == MessageRecord::Holding::Whole)
        message_->DropBody();
    parsedWhole_ = false;
    message_ = nullptr;
    MsgViewFrame->DeletePageFiles();
}

} // namespace vm
