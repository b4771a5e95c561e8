#include "ui/compose/ComposeWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "addressbook/AddressBook.h"
#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "ops/StatusChannel.h"
#include "send/ReplyMessage.h"
#include "send/SendWorker.h"
#include "ui/common/CharsetEncodingFrame.h"
#include "ui/compose/AddressInput.h"
#include "ui/compose/RichTextToHtml.h"
#include "ui/compose/SpellChecker.h"

namespace vm {

namespace {

QList<ComposeWindow*>& Windows()
{
    static QList<ComposeWindow*> windows;
    return windows;
}

QString WndText(const char* key, const char* english, const QStringList& args = {})
{
    return TextOr("SendMailWnd", key, english, args);
}

QLabel* AddLabel(QWidget* parent, QLayout* layout, const char* name, const char* text)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QLatin1String(name));
    layout->addWidget(label);
    return label;
}

} // namespace

// ---- opening ------------------------------------------------------------------

ComposeWindow* ComposeWindow::Open(const MessageData& data, MailAccount* account)
{
    auto* w = new ComposeWindow;
    w->Initialise(data, account);
    w->show();
    if (w->AddressInputFrame->CompletedCount() > 0) {
        QWidget* editor = w->formatted_ ? static_cast<QWidget*>(w->RichEditor) : w->Memo;
        editor->setFocus(Qt::OtherFocusReason);
    } else {
        w->AddressInputFrame->FocusFirst();
    }
    return w;
}

QList<ComposeWindow*> ComposeWindow::OpenWindows()
{
    return Windows();
}

bool ComposeWindow::CloseAll()
{
    for (ComposeWindow* w : OpenWindows()) {
        if (!w->close())
            return false;
    }
    return Windows().isEmpty();
}

ComposeWindow::ComposeWindow() : QWidget(nullptr, Qt::Window)
{
    setObjectName(QStringLiteral("SendMailWnd"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAcceptDrops(true);
    Windows().append(this);
    status_ = new StatusChannel(this);
    connect(status_, &StatusChannel::statusChanged, this, &ComposeWindow::SetStatus);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 0);
    Splitter = new QSplitter(Qt::Vertical, this);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setChildrenCollapsible(false);
    outer->addWidget(Splitter, 1);
    BuildTop();
    BuildMiddle();
    BuildBottom();
    outer->addWidget(PBottom);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);

    const Settings& s = AppSettings();
    formatted_ = s.ComposeMessageFormatted;
    RichEditor->hide();
    Memo->hide();
    SetMode(formatted_);
    CBEditorMode->setCurrentIndex(formatted_ ? 0 : 1);
    TranslateWindow(this);
    resize(780, 600);

    // The account can be removed in the main window while this one is open.
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, &ComposeWindow::CheckAccount);
    watch->start(500);
}

ComposeWindow::~ComposeWindow()
{
    Windows().removeAll(this);
    DeleteTemporaryFiles();
}

void ComposeWindow::BuildTop()
{
    PTop = new QWidget(Splitter);
    PTop->setObjectName(QStringLiteral("PTop"));
    auto* v = new QVBoxLayout(PTop);
    v->setContentsMargins(0, 0, 0, 0);
    auto* senderRow = new QHBoxLayout;
    LSender = AddLabel(PTop, senderRow, "LSender", "From:");
    CBSender = new QComboBox(PTop);
    CBSender->setObjectName(QStringLiteral("CBSender"));
    CBSender->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    senderRow->addWidget(CBSender, 1);
    v->addLayout(senderRow);
    AddressInputFrame = new AddressInput(PTop);
    AddressInputFrame->setMinimumHeight(104); // about four rows
    v->addWidget(AddressInputFrame, 1);
    Splitter->addWidget(PTop);
    connect(CBSender, &QComboBox::currentIndexChanged, this, &ComposeWindow::SenderChanged);
}

void ComposeWindow::BuildMiddle()
{
    PMiddle = new QWidget(Splitter);
    PMiddle->setObjectName(QStringLiteral("PMiddle"));
    auto* v = new QVBoxLayout(PMiddle);
    v->setContentsMargins(0, 0, 0, 0);

    PSubject = new QWidget(PMiddle);
    PSubject->setObjectName(QStringLiteral("PSubject"));
    auto* subjectRow = new QHBoxLayout(PSubject);
    subjectRow->setContentsMargins(0, 0, 0, 0);
    LSubject = AddLabel(PSubject, subjectRow, "LSubject", "Subject:");
    ESubject = new QLineEdit(PSubject);
    ESubject->setObjectName(QStringLiteral("ESubject"));
    subjectRow->addWidget(ESubject, 1);
    v->addWidget(PSubject);

    auto* options = new QHBoxLayout;
    LPriority = AddLabel(PMiddle, options, "LPriority", "Priority:");
    CBPriority = new QComboBox(PMiddle);
    CBPriority->setObjectName(QStringLiteral("CBPriority"));
    CBPriority->addItems(QStringLiteral("very high;high;normal;low;very low").split(u';'));
    CBPriority->setCurrentIndex(2);
    options->addWidget(CBPriority);
    CBReceipt = new QCheckBox(QStringLiteral("Request a return receipt"), PMiddle);
    CBReceipt->setObjectName(QStringLiteral("CBReceipt"));
    options->addWidget(CBReceipt);
    options->addStretch(1);
    LEncoding = AddLabel(PMiddle, options, "LEncoding", "Encoding:");
    EncodingFrame = new CharsetEncodingFrame(PMiddle);
    options->addWidget(EncodingFrame);
    v->addLayout(options);

    auto* format = new QHBoxLayout;
    CBEditorMode = new QComboBox(PMiddle);
    CBEditorMode->setObjectName(QStringLiteral("CBEditorMode"));
    CBEditorMode->addItems(QStringLiteral("formatted (HTML);plain text").split(u';'));
    format->addWidget(CBEditorMode);
    CBFont = new QFontComboBox(PMiddle);
    CBFont->setObjectName(QStringLiteral("CBFont"));
    CBFont->setMaximumWidth(200);
    format->addWidget(CBFont);
    CBFontSize = new QComboBox(PMiddle);
    CBFontSize->setObjectName(QStringLiteral("CBFontSize"));
    CBFontSize->setEditable(true);
    // A typed size is applied by the editing's end (Enter or leaving the
    // box), not added to the list.
    CBFontSize->setInsertPolicy(QComboBox::NoInsert);
    for (int size : {8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 32, 40, 48, 72})
        CBFontSize->addItem(QString::number(size));
    format->addWidget(CBFontSize);
    BuildToolBar();
    format->addWidget(ToolBar, 1);
    v->addLayout(format);

    PEditor = new QWidget(PMiddle);
    PEditor->setObjectName(QStringLiteral("PEditor"));
    auto* editors = new QVBoxLayout(PEditor);
    editors->setContentsMargins(0, 0, 0, 0);
    RichEditor = new QTextEdit(PEditor);
    RichEditor->setObjectName(QStringLiteral("RichEditor"));
    RichEditor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo = new QPlainTextEdit(PEditor);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    editors->addWidget(RichEditor);
    editors->addWidget(Memo);
    v->addWidget(PEditor, 1);
    Splitter->addWidget(PMiddle);

    // The editors' menu: spelling suggestions first, then the shared edit
    // menu's commands (the subject line gets the shared menu as it is).
    RichEditor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RichEditor, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        ShowEditorMenu(RichEditor, RichEditor->cursorForPosition(pos),
                       RichEditor->viewport()->mapToGlobal(pos));
    });
    Memo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Memo, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        ShowEditorMenu(Memo, Memo->cursorForPosition(pos), Memo->viewport()->mapToGlobal(pos));
    });
    SpellChecker& speller = SpellChecker::Shared();
    if (speller.IsValid()) {
        new SpellHighlighter(RichEditor->document(), speller);
        new SpellHighlighter(Memo->document(), speller);
    }
    for (QWidget* w : {RichEditor->viewport(), Memo->viewport(), static_cast<QWidget*>(ESubject)})
        w->installEventFilter(this);
    connect(CBEditorMode, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetMode(index == 0); });
}

void ComposeWindow::BuildBottom()
{
    PBottom = new QWidget(this);
    PBottom->setObjectName(QStringLiteral("PBottom"));
    auto* v = new QVBoxLayout(PBottom);
    v->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QHBoxLayout;
    BSend = new QPushButton(QStringLiteral("&Send"), PBottom);
    BSend->setObjectName(QStringLiteral("BSend"));
    BCancel = new QPushButton(QStringLiteral("Cancel"), PBottom);
    BCancel->setObjectName(QStringLiteral("BCancel"));
    CBAttachments = new QCheckBox(QStringLiteral("&Attachments"), PBottom);
    CBAttachments->setObjectName(QStringLiteral("CBAttachments"));
    buttons->addWidget(BSend);
    buttons->addWidget(BCancel);
    buttons->addWidget(CBAttachments);
    buttons->addStretch(1);
    v->addLayout(buttons);
    BuildAttachments();
    auto* list = new QHBoxLayout;
    list->addWidget(LAttachments, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(BAdd);
    side->addWidget(BDelete);
    side->addStretch(1);
    list->addLayout(side);
    v->addLayout(list);
    StatusBar = new QStatusBar(PBottom);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusText = new QLabel(StatusBar);
    StatusText->setMinimumWidth(300);
    StatusBar->addWidget(StatusText, 1);
    v->addWidget(StatusBar);

    connect(BSend, &QPushButton::clicked, this, &ComposeWindow::Send);
    connect(BCancel, &QPushButton::clicked, this, &ComposeWindow::CancelClick);
    connect(CBAttachments, &QCheckBox::toggled, this, &ComposeWindow::ShowAttachments);
    ShowAttachments(false);
}

void ComposeWindow::AfterTranslation()
{
    AddressInputFrame->ApplyLanguage();
    BCancel->setText(sending_ ? WndText("BStop", "Stop") : WndText("BCancel", "Cancel"));
}

void ComposeWindow::Initialise(const MessageData& data, MailAccount* account)
{
    account_ = account;
    accountAlive_ = account ? account->Lifetime() : std::weak_ptr<const void>();
    for (const EmailAddress& r : data.recipients)
        if (r.type >= 1 && r.type <= 3)
            AddressInputFrame->AddRecipient(r);
    if (AddressInputFrame->CompletedCount() == 0)
        AddressInputFrame->AddRecipient(EmailAddress());

    kind_ = data.kind;
    inReplyTo_ = data.inReplyTo;
    references_ = data.references;
    ESubject->setText(data.subject);
    CBPriority->setCurrentIndex(qBound(0, data.priority, 4));
    CBReceipt->setChecked(data.receipt);
    const QString body = data.bodyLines.join(QLatin1Char('\n'));
    if (formatted_)
        RichEditor->setPlainText(body);
    else
        Memo->setPlainText(body);
    for (const QString& path : data.attachments)
        AddAttachmentEntry({AdoptTemporaryFile(path), true}, QString());
    EncodingFrame->SelectCharset(data.charsetId != 0 ? data.charsetId
                                                     : AppSettings().ComposeMessageEncoding);
    CBAttachments->setChecked(!data.attachments.isEmpty());
    ShowAttachments(!data.attachments.isEmpty());
    FillSenders();
    SetStatus(SendStatusText("Ready"));
    CheckAccount();
}

// ---- sender -----------------------------------------------------------------

void ComposeWindow::FillSenders()
{
    QSignalBlocker block(CBSender);
    CBSender->clear();
    senderAlive_.clear();
    const AccountsDirectory& dir = Accounts();
    int selected = -1;
    for (int i = 0; i < dir.Count(); ++i) {
        MailAccount* a = dir.At(i);
        if (!a || !a->SendViaThisProgram() || a->SmtpLogin().isEmpty() ||
            a->SmtpServer().isEmpty() || a->FromAddress().isEmpty())
            continue;
        if (a == account_)
            selected = CBSender->count();
        CBSender->addItem(QString::fromUtf8(a->DisplayName() + " <" + a->FromAddress() + ">"),
                          QVariant::fromValue(static_cast<void*>(a)));
        senderAlive_.append(a->Lifetime());
    }
    CBSender->setCurrentIndex(selected);
    block.unblock();
    SenderChanged();
}

void ComposeWindow::SenderChanged()
{
    const int i = CBSender->currentIndex();
    if (i < 0 || i >= senderAlive_.size() || senderAlive_[i].expired()) {
        if (account_ && !accountAlive_.expired())
            setWindowTitle(Caption());
        return;
    }
    account_ = static_cast<MailAccount*>(CBSender->itemData(i).value<void*>());
    accountAlive_ = senderAlive_[i];
    accountGone_ = false;
    setWindowTitle(Caption());
    UpdateSendEnabled();
}

QString ComposeWindow::Caption() const
{
    // A reply or a forward says so; a new message names its sender only.
    const QStringList from{QString::fromUtf8(account_->FromAddress())};
    switch (kind_) {
    case ckReply:
        return WndText("TitleReply", "Reply from %s", from);
    case ckReplyToAll:
        return WndText("TitleReplyToAll", "Reply to all from %s", from);
    case ckForward:
        return WndText("TitleForward", "Forward from %s", from);
    default:
        return WndText("Title", "New message from %s", from);
    }
}

MailAccount* ComposeWindow::Account() const
{
    return accountAlive_.expired() ? nullptr : account_;
}

void ComposeWindow::CheckAccount()
{
    bool stale = false;
    for (const auto& alive : senderAlive_)
        stale = stale || alive.expired();
    if (stale && !sending_)
        FillSenders(); // entries of removed accounts go; the window's account may too
    const bool gone = accountAlive_.expired();
    if (gone == accountGone_)
        return;
    accountGone_ = gone;
    if (gone) {
        account_ = nullptr;
        if (!sending_)
            SetStatus(WndText("AccountRemoved",
                              "The account of this message has been removed; choose another "
                              "sender to send it."));
    }
    UpdateSendEnabled();
}

void ComposeWindow::UpdateSendEnabled()
{
    BSend->setEnabled(!sending_ && Account() != nullptr);
}

// ---- sending ----------------------------------------------------------------

QString ComposeWindow::BodyForSending()
{
    if (!formatted_)
        return Memo->toPlainText();
    RichTextToHtml converter;
    converter.charsetId = EncodingFrame->SelectedCharset();
    converter.defaultColor = RichEditor->palette().color(QPalette::Text);
    return converter.Convert(*RichEditor->document()).join(QLatin1Char('\n'));
}

void ComposeWindow::Send()
{
    CheckAccount();
    if (sending_ || !Account())
        return;
    if (ESubject->text().trimmed().isEmpty() &&
        !AskYesNo(WndText("NoSubject", "You haven't entered any subject - continue without it?")))
        return;
    if (AddressInputFrame->CompletedCount() == 0) {
        ShowError(WndText("NoAddressees", "You must enter at least one addressee."));
        AddressInputFrame->FocusFirst();
        return;
    }
    if (AddressRow* bad = AddressInputFrame->FirstInvalidRow()) {
        ShowError(WndText("BadAddressee",
                          "\"%s\" is not one valid e-mail address. Enter one address per "
                          "recipient row.",
                          {bad->Edit->text().trimmed()}));
        bad->Edit->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (formatted_ && RichTextToHtml::HasObjects(*RichEditor->document())) {
        ShowError(WndText("ImagesNotSent",
                          "The message contains pictures, which cannot be sent inside the "
                          "text. Remove them and add the pictures as attachments."));
        RichEditor->setFocus(Qt::OtherFocusReason);
        return;
    }

    SendRequest request;
    request.account = account_;
    request.subject = ESubject->text();
    request.html = formatted_;
    request.body = BodyForSending();
    request.charsetId = EncodingFrame->SelectedCharset();
    request.priority = CBPriority->currentIndex();
    request.receipt = CBReceipt->isChecked();
    request.inReplyTo = inReplyTo_;
    request.references = references_;
    for (int i = 0; i < AddressInputFrame->CompletedCount(); ++i)
        request.recipients.append(AddressInputFrame->Completed(i));
    // The window keeps its files until it closes, so a second Send after a
    // failure still has them.
    for (const Attachment& a : Attachments())
        request.attachments.append({a.path, false});

    if (!ConvertForSending(request.subject, request.body, request.charsetId).lossless &&
        AskYesNo(WndText("BadEncoding",
                         "This message contains some characters which cannot be properly "
                         "encoded using selected encoding standard. If you decide to send the "
                         "message right now, these characters will be replaced with question "
                         "marks, so the text may become illegible. To solve this problem you "
                         "should try to select more relevant encoding type. You can also select "
                         "the UTF-8 encoding, which is intended to be language and alphabet "
                         "independent, although not all mail applications and webmails support "
                         "it properly. Would you like to change the encoding type?"))) {
        EncodingFrame->setFocus(Qt::OtherFocusReason);
        return;
    }

    SetSending(true);
    QPointer<ComposeWindow> self(this);
    SendOptions options;
    options.status = status_;
    options.clientChanged = [self](SmtpClient* client) {
        if (self)
            self->client_ = client;
    };
    const SendOutcome outcome = SendComposedMessage(request, options);
    if (!self)
        return;
    SetSending(false);
    CheckAccount();
    if (!outcome.sent)
        return;
    if (AppSettings().ComposeMessageSaveRecipients)
        SaveRecipients();
    SetStatus(SendStatusText("Sent"));
    closingAsSent_ = true;
    setEnabled(false);
    QTimer::singleShot(1000, this, &QWidget::close);
}

void ComposeWindow::SaveRecipients()
{
    QList<AddressBookRecipient> list;
    for (int i = 0; i < AddressInputFrame->CompletedCount(); ++i) {
        const EmailAddress r = AddressInputFrame->Completed(i);
        if (!r.address.trimmed().isEmpty())
            list.append({r.name, r.address.trimmed().toUtf8()});
    }
    SharedAddressBook().AddRecipients(list);
}

void ComposeWindow::SetSending(bool sending)
{
    sending_ = sending;
    const QList<QWidget*> inputs{
        CBSender,     AddressInputFrame, ESubject,      CBPriority, CBReceipt,   EncodingFrame,
        CBEditorMode, PEditor,           CBAttachments, BAdd,       LAttachments};
    for (QWidget* w : inputs)
        w->setEnabled(!sending);
    AAddAttachment->setEnabled(!sending);
    UpdateFormattingEnabled();
    UpdateAttachmentActions();
    UpdateSendEnabled();
    BCancel->setText(sending ? WndText("BStop", "Stop") : WndText("BCancel", "Cancel"));
    // The hourglass over this window and its panels only: the main window
    // and other compose windows stay as they are.
    for (QWidget* w : {static_cast<QWidget*>(this), PTop, PMiddle, PBottom, PEditor}) {
        if (sending)
            w->setCursor(Qt::WaitCursor);
        else
            w->unsetCursor();
    }
    if (!sending)
        client_ = nullptr;
}

void ComposeWindow::SetStatus(const QString& text)
{
    StatusText->setText(text);
}

void ComposeWindow::CancelClick()
{
    if (sending_)
        StopSend(client_);
    else
        close();
}

void ComposeWindow::closeEvent(QCloseEvent* event)
{
    if (sending_) {
        event->ignore();
        return;
    }
    if (!closingAsSent_ &&
        !AskYesNo(WndText("CloseQuery", "Are you sure you want to close this window? Any "
                                        "message content that you have entered will get "
                                        "lost!"))) {
        event->ignore();
        return;
    }
    event->accept();
    Windows().removeAll(this);
}

} // namespace vm
