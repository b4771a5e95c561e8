#include "ui/main/FindWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QShortcut>
#include <QVBoxLayout>

#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "ui/common/FormParts.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"

namespace vm {

namespace {

const QString kSection = QStringLiteral("FINDWND");

QString FindText(const char* key)
{
    return LangText(kSection, QString::fromLatin1(key));
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* text)
{
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// The hourglass for the length of a search; restored early before a question.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { Restore(); }
    void Restore()
    {
        if (on_)
            QApplication::restoreOverrideCursor();
        on_ = false;
    }
    void Set()
    {
        if (!on_)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        on_ = true;
    }

private:
    bool on_ = true;
};

} // namespace

FindWindow::FindWindow(MainWindow& main, QWidget* parent) : TranslatedWindow(parent), main_(main)
{
    setObjectName(QStringLiteral("FindWnd"));
    setWindowTitle(QStringLiteral("Find messages"));
    setModal(false);

    PPhrase = new QFrame(this);
    PPhrase->setObjectName(QStringLiteral("PPhrase"));
    auto* phraseLabel = new QLabel(QStringLiteral("&Phrase:"), PPhrase);
    phraseLabel->setObjectName(QStringLiteral("LPhrase"));
    Phrase = new QComboBox(PPhrase);
    Phrase->setObjectName(QStringLiteral("CBPhrase"));
    Phrase->setEditable(true);
    Phrase->setInsertPolicy(QComboBox::NoInsert);
    Phrase->setMinimumWidth(260);
    QFont font(QStringLiteral("Arial"), 9);
    Phrase->setFont(font);
    QPalette pal = Phrase->palette();
    pal.setColor(QPalette::Text, QColor(0, 0, 128));
    Phrase->setPalette(pal);
    phraseLabel->setBuddy(Phrase);
    auto* phraseRow = new QHBoxLayout(PPhrase);
    phraseRow->setContentsMargins(0, 0, 0, 0);
    phraseRow->addWidget(phraseLabel);
    phraseRow->addWidget(Phrase, 1);

    auto* fieldsLabel = new QLabel(QStringLiteral("Search in:"), this);
    fieldsLabel->setObjectName(QStringLiteral("LFields"));
    CBSenderName = MakeCheck(this, "CBSenderName", "Sender's &name");
    CBSenderAddress = MakeCheck(this, "CBSenderAddress", "Sender's &address");
    CBSubject = MakeCheck(this, "CBSubject", "&Subject");
    CBBody = MakeCheck(this, "CBBody", "Message &body");
    auto* optionsLabel = new QLabel(QStringLiteral("Options:"), this);
    optionsLabel->setObjectName(QStringLiteral("LOptions"));
    CBCaseSensitive = MakeCheck(this, "CBCaseSensitive", "&Case sensitive");
    CBWholeWords = MakeCheck(this, "CBWholeWords", "&Whole words only");
    CBNewMsgFiltering = MakeCheck(this, "CBNewMsgFiltering", "Never filter out &new messages");

    BFind = NamedButton("BFind", "&Find", this);
    BFind->setDefault(true);
    BNext = NamedButton("BNext", "Find n&ext", this);
    BFilter = NamedButton("BFilter", "F&ilter", this);
    BUnfilter = NamedButton("BUnfilter", "&Unfilter", this);
    BClose = NamedButton("BClose", "&Close", this);

    auto* checks = new QGridLayout;
    checks->addWidget(fieldsLabel, 0, 0);
    checks->addWidget(CBSenderName, 1, 0);
    checks->addWidget(CBSenderAddress, 2, 0);
    checks->addWidget(CBSubject, 3, 0);
    checks->addWidget(CBBody, 4, 0);
    checks->addWidget(optionsLabel, 0, 1);
    checks->addWidget(CBCaseSensitive, 1, 1);
    checks->addWidget(CBWholeWords, 2, 1);
    checks->addWidget(CBNewMsgFiltering, 3, 1);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {BFind, BNext, BFilter, BUnfilter, BClose})
        buttons->addWidget(b);
    buttons->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addWidget(PPhrase);
    left->addLayout(checks);
    left->addStretch(1);
    auto* all = new QHBoxLayout(this);
    all->addLayout(left, 1);
    all->addLayout(buttons);

    for (QCheckBox* box : {CBSenderName, CBSenderAddress, CBSubject, CBBody, CBCaseSensitive,
                           CBWholeWords, CBNewMsgFiltering})
        connect(box, &QCheckBox::toggled, this, &FindWindow::UpdateButtons);
    connect(Phrase, &QComboBox::editTextChanged, this, &FindWindow::UpdateButtons);
    connect(BFind, &QPushButton::clicked, this, &FindWindow::Find);
    connect(BNext, &QPushButton::clicked, this, &FindWindow::FindNext);
    connect(BFilter, &QPushButton::clicked, this, &FindWindow::Filter);
    connect(BUnfilter, &QPushButton::clicked, this, &FindWindow::Unfilter);
    connect(BClose, &QPushButton::clicked, this, &QWidget::close);
    auto* f3 = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(f3, &QShortcut::activated, this, &FindWindow::FindNext);

    LoadChecks();
    UpdateButtons();
}

void FindWindow::ShowOrRaise()
{
    if (!placed_) {
        placed_ = true;
        adjustSize();
        if (const QScreen* screen = QApplication::primaryScreen()) {
            QRect r = frameGeometry();
            r.moveCenter(screen->availableGeometry().center());
            move(r.topLeft());
        }
        const Settings& s = AppSettings();
        if (s.SaveWindowParams)
            MainWindow::RestorePlacement(this, s.FindWndLeft, s.FindWndTop, s.FindWndLeft + width(),
                                         s.FindWndTop + height());
        LoadChecks();
    }
    TranslateWindow(this);
    SetBusy(Refused());
    UpdateButtons();
    show();
    raise();
    activateWindow();
}

void FindWindow::SetBusy(bool on)
{
    setEnabled(!on);
}

MessageFilter FindWindow::FilterFromControls(bool filterNew) const
{
    MessageFilter f;
    if (CBSenderName->isChecked())
        f.fields |= MessageFilter::SenderName;
    if (CBSenderAddress->isChecked())
        f.fields |= MessageFilter::SenderAddress;
    if (CBSubject->isChecked())
        f.fields |= MessageFilter::Subject;
    if (CBBody->isChecked())
        f.fields |= MessageFilter::Body;
    f.phrase = Phrase->currentText().trimmed();
    f.caseSensitive = CBCaseSensitive->isChecked();
    f.wholeWords = CBWholeWords->isChecked();
    f.filterNew = filterNew;
    return f;
}

void FindWindow::UpdateButtons()
{
    const bool usable = FilterFromControls(true).Active();
    BFind->setEnabled(usable);
    BFilter->setEnabled(usable);
    BNext->setEnabled(found_);
    BUnfilter->setEnabled(bool(main_.findFilter));
}

void FindWindow::ResetFound()
{
    found_ = false;
    UpdateButtons();
}

void FindWindow::Find()
{
    if (Refused())
        return;
    ResetFound();
    findFilter_ = FilterFromControls(true);
    if (!findFilter_.Active())
        return;
    if (main_.ListModel->rowCount() == 0) {
        ShowError(FindText("MessageListEmpty"));
        return;
    }
    const SearchResult result = SearchFrom(0);
    if (result == SearchResult::Found) {
        Succeeded();
        RememberPhrase();
        StoreChecks();
        return;
    }
    if (result == SearchResult::NotFound)
        ShowInfo(FindText("PhraseNotFound"));
    ResetFound();
}

void FindWindow::FindNext()
{
    if (Refused())
        return;
    if (main_.ListModel->rowCount() == 0) {
        ShowError(FindText("MessageListEmpty"));
        return;
    }
    if (!found_)
        return;
    const QList<int> selected = main_.MsgList->SelectedRows();
    int start = 0;
    if (!selected.isEmpty()) {
        const int focused = main_.MsgList->FocusedRow();
        start = (selected.contains(focused) ? focused : selected.first()) + 1;
    }
    const SearchResult result = SearchFrom(start);
    if (result == SearchResult::Found) {
        Succeeded();
        return;
    }
    if (result == SearchResult::NotFound)
        ShowInfo(FindText("PhraseNotFound"));
    ResetFound();
}

void FindWindow::Filter()
{
    if (Refused())
        return;
    const MessageFilter filter = FilterFromControls(!CBNewMsgFiltering->isChecked());
    if (!filter.Active())
        return;
    // The list may parse a record's headers while it tests it.
    main_.findFilter = [filter](const MessageRecord& m) {
        return MessageMatches(const_cast<MessageRecord&>(m), filter);
    };
    main_.ShowMailbox(main_.ShownMailbox());
    UpdateButtons();
    main_.raise();
    main_.activateWindow();
    RememberPhrase();
    StoreChecks();
}

void FindWindow::Unfilter()
{
    if (Refused())
        return;
    main_.findFilter = nullptr;
    main_.ShowMailbox(main_.ShownMailbox());
    UpdateButtons();
}

// Visits the rows from `row` on. A message row that matches is selected (the
// search stops there). The "more" row asks whether to search the old
// messages too; on Yes they are revealed and the search goes on over the
// refilled list among the rows that were not shown before, wherever the sort
// placed them, so none is skipped (old messages sort first in ascending date
// order) and no row already passed is found again.
FindWindow::SearchResult FindWindow::SearchFrom(int row)
{
    WaitCursor cursor;
    QSet<const MessageRecord*> shownBefore;
    bool revealed = false;
    for (;;) {
        MessageListModel* model = main_.ListModel;
        if (row >= model->rowCount())
            return SearchResult::NotFound;
        if (model->IsMoreRow(row)) {
            cursor.Restore();
            if (!AskYesNo(FindText("SearchOld")))
                return SearchResult::Declined;
            cursor.Set();
            for (int r = 0; r < model->rowCount(); ++r)
                if (const MessageRecord* m = model->MessageAt(r))
                    shownBefore.insert(m);
            main_.SetHideOldMessages(false);
            main_.ShowMailbox(main_.ShownMailbox());
            revealed = true;
            row = 0;
            continue;
        }
        MessageRecord* m = model->MessageAt(row);
        if (m && !(revealed && shownBefore.contains(m)) && MessageMatches(*m, findFilter_)) {
            SelectRow(row);
            found_ = true;
            return SearchResult::Found;
        }
        ++row;
    }
}

void FindWindow::SelectRow(int row)
{
    MessageListView* view = main_.MsgList;
    const QModelIndex index = main_.ListModel->index(row, 0);
    view->selectionModel()->clearSelection();
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    view->scrollTo(index);
}

void FindWindow::Succeeded()
{
    main_.raise();
    main_.activateWindow();
    UpdateButtons();
}

void FindWindow::RememberPhrase()
{
    const QString phrase = Phrase->currentText().trimmed();
    if (phrase.isEmpty() || Phrase->findText(phrase, Qt::MatchExactly) >= 0)
        return;
    const QString typed = Phrase->currentText();
    Phrase->addItem(phrase);
    Phrase->setEditText(typed);
}

void FindWindow::LoadChecks()
{
    const Settings& s = AppSettings();
    CBSenderName->setChecked(s.SenderName);
    CBSenderAddress->setChecked(s.SenderAddress);
    CBSubject->setChecked(s.Subject);
    CBBody->setChecked(s.Body);
    CBWholeWords->setChecked(s.WholeWordsOnly);
    CBCaseSensitive->setChecked(s.CaseSensitive);
    CBNewMsgFiltering->setChecked(!s.New);
}

void FindWindow::StoreChecks() const
{
    Settings& s = AppSettings();
    s.SenderName = CBSenderName->isChecked();
    s.SenderAddress = CBSenderAddress->isChecked();
    s.Subject = CBSubject->isChecked();
    s.Body = CBBody->isChecked();
    s.WholeWordsOnly = CBWholeWords->isChecked();
    s.CaseSensitive = CBCaseSensitive->isChecked();
    s.New = !CBNewMsgFiltering->isChecked();
}

void FindWindow::CopyPlacement(Settings& settings) const
{
    if (!placed_)
        return;
    const QRect r = geometry();
    settings.FindWndLeft = r.left();
    settings.FindWndTop = r.top();
    settings.FindWndRight = r.right() + 1;
    settings.FindWndBottom = r.bottom() + 1;
}

void FindWindow::hideEvent(QHideEvent* event)
{
    ResetFound();
    TranslatedWindow::hideEvent(event);
}

} // namespace vm
