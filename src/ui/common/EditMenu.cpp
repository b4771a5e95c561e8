#include "ui/common/EditMenu.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "lang/Lang.h"

namespace vm {

namespace {

// The text field behind a widget that received a context menu request: a
// text edit's viewport stands for the text edit.
QWidget* FieldOf(QWidget* widget)
{
    if (!widget)
        return nullptr;
    if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QTextEdit*>(widget) ||
        qobject_cast<QPlainTextEdit*>(widget))
        return widget;
    QWidget* parent = widget->parentWidget();
    if (auto* text = qobject_cast<QTextEdit*>(parent); text && text->viewport() == widget)
        return text;
    if (auto* plain = qobject_cast<QPlainTextEdit*>(parent); plain && plain->viewport() == widget)
        return plain;
    return nullptr;
}

bool ClipboardHasText()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}

// Whether the owner of a field (a combo box or spin box around a line edit)
// or the field itself asked to keep its own menu.
bool WantsOwnMenu(QWidget* field)
{
    for (QWidget* w = field; w; w = w->parentWidget()) {
        if (w->property("vmNoEditMenu").toBool())
            return true;
        if (w->contextMenuPolicy() != Qt::DefaultContextMenu)
            return true;
        if (w != field && !qobject_cast<QComboBox*>(w) && !qobject_cast<QAbstractSpinBox*>(w))
            break;
    }
    return false;
}

class EditMenuFilter : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ContextMenu || !watched->isWidgetType())
            return false;
        QWidget* field = FieldOf(static_cast<QWidget*>(watched));
        if (!field || WantsOwnMenu(field))
            return false;
        auto* e = static_cast<QContextMenuEvent*>(event);
        EditMenu::Instance()->PopupFor(field, e->globalPos());
        return true;
    }
};

} // namespace

EditMenu* EditMenu::Instance()
{
    static QPointer<EditMenu> menu;
    if (!menu)
        menu = new EditMenu; // lives until the process ends
    return menu.data();
}

bool EditMenu::IsTextField(QWidget* widget)
{
    return FieldOf(widget) != nullptr;
}

EditMenu::EditMenu()
{
    selectAll_ = addAction(QString(), this, &EditMenu::DoSelectAll);
    selectAll_->setShortcut(QKeySequence::SelectAll);
    addSeparator();
    copy_ = addAction(QString(), this, &EditMenu::DoCopy);
    copy_->setShortcut(QKeySequence::Copy);
    cut_ = addAction(QString(), this, &EditMenu::DoCut);
    cut_->setShortcut(QKeySequence::Cut);
    paste_ = addAction(QString(), this, &EditMenu::DoPaste);
    paste_->setShortcut(QKeySequence::Paste);
    delete_ = addAction(QString(), this, &EditMenu::DoDelete);
    // The items carry the names of the EDITMENU keys; the menu itself has
    // no name, so no section is ever applied to it.
    selectAll_->setObjectName(QStringLiteral("SelectAll"));
    copy_->setObjectName(QStringLiteral("Copy"));
    cut_->setObjectName(QStringLiteral("Cut"));
    paste_->setObjectName(QStringLiteral("Paste"));
    delete_->setObjectName(QStringLiteral("Delete"));
    SetTexts();
}

void EditMenu::SetTexts()
{
    const struct
    {
        QAction* action;
        const char* english;
    } items[] = {{selectAll_, "Select &all"},
                 {copy_, "&Copy"},
                 {cut_, "Cu&t"},
                 {paste_, "&Paste"},
                 {delete_, "&Delete"}};
    for (const auto& item : items) {
        const QString text = LangText(QStringLiteral("EDITMENU"), item.action->objectName());
        item.action->setText(text.isEmpty() ? QString::fromLatin1(item.english) : text);
    }
}

void EditMenu::changeEvent(QEvent* event)
{
    QMenu::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        SetTexts();
}

void EditMenu::SetTarget(QWidget* field)
{
    target_ = FieldOf(field);
    UpdateActions();
}

void EditMenu::PopupFor(QWidget* field, const QPoint& globalPos)
{
    SetTarget(field);
    if (target_)
        popup(globalPos);
}

void EditMenu::UpdateActions()
{
    bool hasText = false;
    bool hasSelection = false;
    bool editable = false;
    if (auto* line = qobject_cast<QLineEdit*>(target_.data())) {
        hasText = !line->text().isEmpty();
        hasSelection = line->hasSelectedText();
        editable = !line->isReadOnly() && line->isEnabled();
    } else if (auto* text = qobject_cast<QTextEdit*>(target_.data())) {
        hasText = !text->document()->isEmpty();
        hasSelection = text->textCursor().hasSelection();
        editable = !text->isReadOnly() && text->isEnabled();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(target_.data())) {
        hasText = !plain->document()->isEmpty();
        hasSelection = plain->textCursor().hasSelection();
        editable = !plain->isReadOnly() && plain->isEnabled();
    }
    selectAll_->setEnabled(hasText);
    copy_->setEnabled(hasSelection);
    cut_->setEnabled(hasSelection && editable);
    delete_->setEnabled(hasSelection && editable);
    paste_->setEnabled(editable && ClipboardHasText());
}

void EditMenu::DoSelectAll()
{
    if (auto* line = qobject_cast<QLineEdit*>(target_.data()))
        line->selectAll();
    else if (auto* text = qobject_cast<QTextEdit*>(target_.data()))
        text->selectAll();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(target_.data()))
        plain->selectAll();
}

void EditMenu::DoCopy()
{
    if (auto* line = qobject_cast<QLineEdit*>(target_.data()))
        line->copy();
    else if (auto* text = qobject_cast<QTextEdit*>(target_.data()))
        text->copy();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(target_.data()))
        plain->copy();
}

void EditMenu::DoCut()
{
    if (auto* line = qobject_cast<QLineEdit*>(target_.data()))
        line->cut();
    else if (auto* text = qobject_cast<QTextEdit*>(target_.data()))
        text->cut();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(target_.data()))
        plain->cut();
}

void EditMenu::DoPaste()
{
    if (auto* line = qobject_cast<QLineEdit*>(target_.data()))
        line->paste();
    else if (auto* text = qobject_cast<QTextEdit*>(target_.data()))
        text->paste();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(target_.data()))
        plain->paste();
}

void EditMenu::DoDelete()
{
    if (auto* line = qobject_cast<QLineEdit*>(target_.data())) {
        if (line->hasSelectedText() && !line->isReadOnly())
            line->del();
    } else if (auto* text = qobject_cast<QTextEdit*>(target_.data())) {
        if (!text->isReadOnly())
            text->textCursor().removeSelectedText();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(target_.data())) {
        if (!plain->isReadOnly())
            plain->textCursor().removeSelectedText();
    }
}

void InstallEditMenu()
{
    static bool installed = false;
    if (installed || !qApp)
        return;
    installed = true;
    EditMenu::Instance();
    qApp->installEventFilter(new EditMenuFilter(qApp));
}

} // namespace vm
