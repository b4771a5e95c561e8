// The compose window's editors: the formatted editor with its tool bar and
// font boxes, the plain memo, and switching between them.

#include <QColorDialog>
#include <QComboBox>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>
#include <QToolBar>
#include <QToolButton>

#include <functional>

#include "config/Settings.h"
#include "lang/Lang.h"
#include "send/SendRequest.h"
#include "ui/common/EditMenu.h"
#include "ui/common/FixedPitchFont.h"
#include "ui/compose/ComposeWindow.h"
#include "ui/compose/SpellChecker.h"

namespace vm {

namespace {

QToolButton* AddButton(QToolBar* bar, const char* name, const QString& text, bool checkable)
{
    auto* b = new QToolButton(bar);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setCheckable(checkable);
    b->setAutoRaise(true);
    bar->addWidget(b);
    return b;
}

QString AddToDictionaryText()
{
    return TextOr("SendMailWnd", "AddToDictionary", "Add to dictionary");
}

// 0x00BBGGRR as the settings store colours.
QColor SettingColor(int value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

} // namespace

void ComposeWindow::BuildToolBar()
{
    ToolBar = new QToolBar(PMiddle);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setIconSize(QSize(16, 16));
    SBBold = AddButton(ToolBar, "SBBold", QStringLiteral("B"), true);
    SBItalic = AddButton(ToolBar, "SBItalic", QStringLiteral("I"), true);
    SBUnderline = AddButton(ToolBar, "SBUnderline", QStringLiteral("U"), true);
    SBStrike = AddButton(ToolBar, "SBStrike", QStringLiteral("S"), true);
    QFont f = SBBold->font();
    f.setBold(true);
    SBBold->setFont(f);
    f = SBItalic->font();
    f.setItalic(true);
    SBItalic->setFont(f);
    f = SBUnderline->font();
    f.setUnderline(true);
    SBUnderline->setFont(f);
    f = SBStrike->font();
    f.setStrikeOut(true);
    SBStrike->setFont(f);
    ToolBar->addSeparator();
    SBFontUp = AddButton(ToolBar, "SBFontUp", QStringLiteral("A+"), false);
    SBFontDown = AddButton(ToolBar, "SBFontDown", QStringLiteral("A-"), false);
    SBColor = AddButton(ToolBar, "SBColor", QStringLiteral("\u25A0"), false);
    ToolBar->addSeparator();
    SBLeftAlign = AddButton(ToolBar, "SBLeftAlign", QStringLiteral("\u2261L"), true);
    SBCenter = AddButton(ToolBar, "SBCenter", QStringLiteral("\u2261C"), true);
    SBRightAlign = AddButton(ToolBar, "SBRightAlign", QStringLiteral("\u2261R"), true);
    SBBullets = AddButton(ToolBar, "SBBullets", QStringLiteral("\u2022"), true);

    auto style = [this](QToolButton* b, auto apply) {
        connect(b, &QToolButton::clicked, this, [this, apply](bool on) {
            QTextCharFormat fmt;
            apply(fmt, on);
            MergeFormat(fmt);
        });
    };
    style(SBBold,
          [](QTextCharFormat& f, bool on) { f.setFontWeight(on ? QFont::Bold : QFont::Normal); });
    style(SBItalic, [](QTextCharFormat& f, bool on) { f.setFontItalic(on); });
    style(SBUnderline, [](QTextCharFormat& f, bool on) { f.setFontUnderline(on); });
    style(SBStrike, [](QTextCharFormat& f, bool on) { f.setFontStrikeOut(on); });
    connect(SBFontUp, &QToolButton::clicked, this, [this] { ChangeSelectedSizes(1); });
    connect(SBFontDown, &QToolButton::clicked, this, [this] { ChangeSelectedSizes(-1); });
    connect(SBColor, &QToolButton::clicked, this, &ComposeWindow::ChooseColor);
    connect(SBLeftAlign, &QToolButton::clicked, this, [this] { SetAlignment(Qt::AlignLeft); });
    connect(SBCenter, &QToolButton::clicked, this, [this] { SetAlignment(Qt::AlignHCenter); });
    connect(SBRightAlign, &QToolButton::clicked, this, [this] { SetAlignment(Qt::AlignRight); });
    connect(SBBullets, &QToolButton::clicked, this, [this](bool on) { SetBullets(on); });
}

void ComposeWindow::SetMode(bool formatted)
{
    if (!RichEditor->property("prepared").toBool()) {
        // Once per window: fonts and colour from the settings, the editors'
        // refresh and shortcuts.
        RichEditor->setProperty("prepared", true);
        const Settings& s = AppSettings();
        Memo->setFont(FixedPitchFont(10));
        const QString name = QFontDatabase::hasFamily(s.ComposeMessageFontName)
                                 ? s.ComposeMessageFontName
                                 : QStringLiteral("Arial");
        CBFont->setCurrentFont(QFont(name));
        CBFontSize->setEditText(QString::number(s.ComposeMessageFontSize));
        QFont base(name);
        base.setPointSize(qMax(1, s.ComposeMessageFontSize));
        RichEditor->document()->setDefaultFont(base);
        QPalette p = RichEditor->palette();
        p.setColor(QPalette::Text, SettingColor(s.ComposeMessageFontColor));
        RichEditor->setPalette(p);
        connect(RichEditor, &QTextEdit::cursorPositionChanged, this,
                &ComposeWindow::RefreshToolBar);
        connect(RichEditor, &QTextEdit::currentCharFormatChanged, this,
                &ComposeWindow::RefreshToolBar);
        connect(CBFont, &QFontComboBox::currentFontChanged, this,
                [this] { ApplyFontBoxes(true, false); });
        connect(CBFontSize, &QComboBox::textActivated, this,
                [this] { ApplyFontBoxes(false, true); });
        // A size typed into the box counts when the typing ends: on Enter or
        // when the box loses the focus (a size the list holds arrives
        // through textActivated first and leaves nothing typed).
        connect(CBFontSize->lineEdit(), &QLineEdit::editingFinished, this, [this] {
            if (CBFontSize->lineEdit()->isModified())
                ApplyFontBoxes(false, true);
        });
        RichEditor->installEventFilter(this);
    }

    updatingEditor_ = true;
    if (formatted && formatted != formatted_) {
        // Plain to formatted: the text in the chosen font, no other formatting.
        QTextCharFormat f;
        f.setFontFamilies({CBFont->currentFont().family()});
        f.setFontPointSize(qMax(1, qAbs(CBFontSize->currentText().toInt())));
        RichEditor->setCurrentCharFormat(f);
        RichEditor->setPlainText(Memo->toPlainText());
        QTextCursor all(RichEditor->document());
        all.select(QTextCursor::Document);
        all.setCharFormat(f);
        all.setBlockFormat(QTextBlockFormat());
        RichEditor->document()->clearUndoRedoStacks();
    } else if (!formatted && formatted != formatted_) {
        // Formatted to plain keeps the text only.
        Memo->setPlainText(RichEditor->toPlainText());
        Memo->document()->clearUndoRedoStacks();
    }
    formatted_ = formatted;
    RichEditor->setVisible(formatted);
    Memo->setVisible(!formatted);
    updatingEditor_ = false;
    UpdateFormattingEnabled();
    RefreshToolBar();
}

bool ComposeWindow::EditorKey(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (!mods.testFlag(Qt::ControlModifier) || mods.testFlag(Qt::AltModifier))
        return false;
    const bool keypad = mods.testFlag(Qt::KeypadModifier);
    switch (event->key()) {
    case Qt::Key_B:
        SBBold->click();
        return true;
    case Qt::Key_I:
        SBItalic->click();
        return true;
    case Qt::Key_U:
        SBUnderline->click();
        return true;
    case Qt::Key_L:
        SBLeftAlign->click();
        return true;
    case Qt::Key_E:
        SBCenter->click();
        return true;
    case Qt::Key_R:
        SBRightAlign->click();
        return true;
    case Qt::Key_Plus:
        if (keypad)
            ChangeSelectedSizes(1);
        return true; // Ctrl with the main "+"/"=" key does nothing
    case Qt::Key_Equal:
        return true;
    case Qt::Key_Minus:
        if (keypad)
            ChangeSelectedSizes(-1);
        return true;
    default:
        return false;
    }
}

void ComposeWindow::ShowEditorMenu(QWidget* editor, const QTextCursor& at, const QPoint& globalPos)
{
    QMenu menu;
    const SpellChecker& speller = SpellChecker::Shared();
    const QString text = at.block().text();
    const QPair<int, int> word = SpellHighlighter::WordAt(text, at.positionInBlock());
    if (speller.IsValid() && word.second > 0 && !sending_) {
        const QString w = text.mid(word.first, word.second);
        if (!speller.IsCorrect(w)) {
            QTextCursor range(at.block());
            range.setPosition(at.block().position() + word.first);
            range.setPosition(at.block().position() + word.first + word.second,
                              QTextCursor::KeepAnchor);
            const QStringList suggestions = speller.Suggestions(w).mid(0, 8);
            for (const QString& s : suggestions)
                menu.addAction(s, this, [range, s]() mutable { range.insertText(s); });
            menu.addAction(AddToDictionaryText(), this, [w] {
                SpellChecker::Shared().AddWord(w);
                for (ComposeWindow* window : ComposeWindow::OpenWindows())
                    window->RehighlightSpelling();
            });
            menu.addSeparator();
        }
    }
    EditMenu* edit = EditMenu::Instance();
    edit->SetTarget(editor);
    menu.addActions(edit->actions());
    menu.exec(globalPos);
}

void ComposeWindow::RehighlightSpelling()
{
    for (QTextDocument* d : {RichEditor->document(), Memo->document()})
        for (QSyntaxHighlighter* h : d->findChildren<QSyntaxHighlighter*>())
            h->rehighlight();
}

void ComposeWindow::UpdateFormattingEnabled()
{
    const bool on = formatted_ && !sending_;
    CBFont->setEnabled(on);
    CBFontSize->setEnabled(on);
    ToolBar->setEnabled(on);
}

void ComposeWindow::RefreshToolBar()
{
    if (updatingEditor_ || !formatted_)
        return;
    updatingEditor_ = true;
    const QTextCharFormat f = RichEditor->currentCharFormat();
    const QFont font = f.font();
    SBBold->setChecked(font.bold());
    SBItalic->setChecked(font.italic());
    SBUnderline->setChecked(font.underline());
    SBStrike->setChecked(font.strikeOut());
    const QStringList families = f.fontFamilies().toStringList();
    {
        QSignalBlocker b1(CBFont);
        QSignalBlocker b2(CBFontSize);
        CBFont->setCurrentFont(QFont(families.isEmpty()
                                         ? RichEditor->document()->defaultFont().family()
                                         : families.first()));
        const double size = f.fontPointSize() > 0
                                ? f.fontPointSize()
                                : RichEditor->document()->defaultFont().pointSizeF();
        CBFontSize->setEditText(QString::number(qRound(size)));
    }
    const QTextCursor c = RichEditor->textCursor();
    const Qt::Alignment a = c.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
    SBCenter->setChecked(a.testFlag(Qt::AlignHCenter));
    SBRightAlign->setChecked(a.testFlag(Qt::AlignRight));
    SBLeftAlign->setChecked(!a.testFlag(Qt::AlignHCenter) && !a.testFlag(Qt::AlignRight));
    SBBullets->setChecked(c.currentList() != nullptr);
    updatingEditor_ = false;
}

void ComposeWindow::MergeFormat(const QTextCharFormat& format)
{
    if (!formatted_)
        return;
    QTextCursor c = RichEditor->textCursor();
    c.mergeCharFormat(format);
    RichEditor->mergeCurrentCharFormat(format);
    RefreshToolBar();
}

void ComposeWindow::ApplyFontBoxes(bool name, bool size)
{
    if (updatingEditor_ || !formatted_)
        return;
    QTextCharFormat f;
    if (name)
        f.setFontFamilies({CBFont->currentFont().family()});
    if (size) {
        // Text that is not a number gives size 0, which the converter writes as 8.
        const int points = qAbs(CBFontSize->currentText().trimmed().toInt());
        CBFontSize->setEditText(QString::number(points));
        f.setFontPointSize(points > 0 ? points : 8);
    }
    MergeFormat(f);
}

void ComposeWindow::ChangeSelectedSizes(int delta)
{
    if (!formatted_)
        return;
    QTextCursor sel = RichEditor->textCursor();
    if (!sel.hasSelection()) {
        const QTextCharFormat cur = RichEditor->currentCharFormat();
        const double size = cur.fontPointSize() > 0
                                ? cur.fontPointSize()
                                : RichEditor->document()->defaultFont().pointSizeF();
        QTextCharFormat f;
        f.setFontPointSize(qMax(1.0, size + delta));
        MergeFormat(f);
        return;
    }
    // Every character changes by the step on its own, so mixed sizes keep
    // their differences.
    const int start = sel.selectionStart();
    const int end = sel.selectionEnd();
    QTextCursor c(RichEditor->document());
    c.beginEditBlock();
    for (int pos = start; pos < end; ++pos) {
        c.setPosition(pos);
        c.setPosition(pos + 1, QTextCursor::KeepAnchor);
        const QTextCharFormat cur = c.charFormat();
        const double size = cur.fontPointSize() > 0
                                ? cur.fontPointSize()
                                : RichEditor->document()->defaultFont().pointSizeF();
        QTextCharFormat f;
        f.setFontPointSize(qMax(1.0, size + delta));
        c.mergeCharFormat(f);
    }
    c.endEditBlock();
    RichEditor->setTextCursor(sel);
    RefreshToolBar();
}

void ComposeWindow::SetAlignment(Qt::Alignment alignment)
{
    if (!formatted_)
        return;
    RichEditor->setAlignment(alignment | Qt::AlignAbsolute);
    RefreshToolBar();
}

void ComposeWindow::SetBullets(bool on)
{
    if (!formatted_)
        return;
    QTextCursor c = RichEditor->textCursor();
    c.beginEditBlock();
    if (on) {
        c.createList(QTextListFormat::ListDisc);
    } else if (QTextList* list = c.currentList()) {
        const QTextBlock first = RichEditor->document()->findBlock(c.selectionStart());
        const QTextBlock last = RichEditor->document()->findBlock(c.selectionEnd());
        for (QTextBlock b = first; b.isValid(); b = b.next()) {
            if (QTextList* l = b.textList())
                l->remove(b);
            QTextCursor bc(b);
            QTextBlockFormat bf = bc.blockFormat();
            bf.setIndent(0);
            bc.setBlockFormat(bf);
            if (b == last)
                break;
        }
        (void)list;
    }
    c.endEditBlock();
    RefreshToolBar();
}

void ComposeWindow::ChooseColor()
{
    if (!formatted_)
        return;
    const QTextCharFormat cur = RichEditor->currentCharFormat();
    const QColor initial = cur.hasProperty(QTextFormat::ForegroundBrush)
                               ? cur.foreground().color()
                               : RichEditor->palette().color(QPalette::Text);
    const QColor chosen = QColorDialog::getColor(initial, this);
    if (!chosen.isValid())
        return;
    QTextCharFormat f;
    f.setForeground(chosen);
    MergeFormat(f);
}

} // namespace vm
