#include "ui/common/TranslatedWindow.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTranslator>
#include <QTreeWidget>

#include <memory>

#include "lang/LanguageShell.h"

namespace vm {

namespace {

QPointer<QWidget>& CurrentModal()
{
    static QPointer<QWidget> current;
    return current;
}

// Values are not formatted when they become captions, so the doubling of
// percent signs done at load time is undone: runs of "%" become one.
QString CollapsePercents(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == '%' && !out.isEmpty() && out.back() == '%')
            continue;
        out += c;
    }
    return out;
}

// The pieces of a list value; only pieces followed by ";" count.
QStringList Pieces(const QString& value)
{
    QStringList pieces = value.split(';');
    pieces.removeLast(); // what follows the last ";" (or the whole value)
    return pieces;
}

// The tab widget that shows page as one of its tabs, or nullptr.
QTabWidget* OwningTabWidget(QWidget* page)
{
    auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
    if (!stack)
        return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    if (!tabs || tabs->indexOf(page) < 0)
        return nullptr;
    return tabs;
}

void SetColumnHeaders(QAbstractItemView* view, const QStringList& pieces)
{
    if (auto* tree = qobject_cast<QTreeWidget*>(view)) {
        QTreeWidgetItem* header = tree->headerItem();
        for (int k = 0; k < pieces.size() && k < tree->columnCount(); ++k)
            header->setText(k, pieces.at(k));
        return;
    }
    if (auto* table = qobject_cast<QTableWidget*>(view)) {
        for (int k = 0; k < pieces.size() && k < table->columnCount(); ++k) {
            if (QTableWidgetItem* item = table->horizontalHeaderItem(k))
                item->setText(pieces.at(k));
            else
                table->setHorizontalHeaderItem(k, new QTableWidgetItem(pieces.at(k)));
        }
        return;
    }
    if (QAbstractItemModel* model = view->model())
        for (int k = 0; k < pieces.size() && k < model->columnCount(); ++k)
            model->setHeaderData(k, Qt::Horizontal, pieces.at(k));
}

void ApplyValue(QObject* component, const QString& rawValue)
{
    const QString value = CollapsePercents(rawValue);
    auto* widget = qobject_cast<QWidget*>(component);

    if (value.startsWith('@')) {
        // Tooltips belong to controls; menus, actions and windows keep
        // everything as it is.
        if (widget && !widget->isWindow() && !qobject_cast<QMenu*>(widget))
            widget->setToolTip(value.mid(1));
        return;
    }

    if (auto* combo = qobject_cast<QComboBox*>(component)) {
        const QStringList pieces = Pieces(value);
        const int selected = combo->currentIndex();
        for (int k = 0; k < pieces.size() && k < combo->count(); ++k)
            combo->setItemText(k, pieces.at(k));
        combo->setCurrentIndex(selected);
        return;
    }
    if (auto* view = qobject_cast<QAbstractItemView*>(component)) {
        if (!qobject_cast<QListView*>(view)) // plain lists have no columns
            SetColumnHeaders(view, Pieces(value));
        return;
    }
    if (auto* menu = qobject_cast<QMenu*>(component)) {
        menu->setTitle(value);
        return;
    }
    if (auto* action = qobject_cast<QAction*>(component)) {
        action->setText(value);
        return;
    }
    if (!widget)
        return;
    if (QTabWidget* tabs = OwningTabWidget(widget)) {
        tabs->setTabText(tabs->indexOf(widget), value);
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(value);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(value);
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setTitle(value);
    else if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->setText(value);
    else if (auto* text = qobject_cast<QTextEdit*>(widget))
        text->setPlainText(value);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget))
        plain->setPlainText(value);
    else if (widget->isWindow()) // the window itself, file dialogs
        widget->setWindowTitle(value);
}

void ApplySectionTo(QObject* component, const QByteArray& section)
{
    const QString name = component->objectName();
    if (!name.isEmpty())
        if (const QString* value = Language().Find(section, name.toUtf8()))
            ApplyValue(component, *value);
    // Copy the list: applying a value may create children (header items).
    const QObjectList children = component->children();
    for (QObject* child : children)
        ApplySectionTo(child, section);
}

bool HasSection(const QString& name)
{
    return !name.isEmpty() && Language().FindSection(name.toUtf8()) != nullptr;
}

} // namespace

TranslatedWindow::TranslatedWindow(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags)
{
}

int TranslatedWindow::ShowModal()
{
    QPointer<QWidget> previous = CurrentModal();
    CurrentModal() = this;
    const int result = QDialog::exec();
    CurrentModal() = previous;
    return result;
}

int TranslatedWindow::exec()
{
    return 0;
}

QWidget* TranslatedWindow::CurrentModalWindow()
{
    return CurrentModal().data();
}

bool ApplySection(QObject* component, const QString& section)
{
    if (!component || !HasSection(section))
        return false;
    ApplySectionTo(component, section.toUtf8());
    return true;
}

void ApplyText(QObject* component, const QString& text)
{
    if (component)
        ApplyValue(component, text);
}

void ApplyNumberedTexts(QObject* component)
{
    if (!component)
        return;
    const int tag = component->property("tag").toInt();
    if (tag != 0)
        ApplyValue(component, NumberedText(tag));
    const QObjectList children = component->children();
    for (QObject* child : children)
        ApplyNumberedTexts(child);
}

bool TranslateWindow(QWidget* window)
{
    if (!window)
        return false;
    auto* hooks = dynamic_cast<TranslationHooks*>(window);
    if (!hooks || !HasSection(window->objectName()))
        return false;
    hooks->BeforeTranslation();
    ApplySection(window, window->objectName());
    hooks->AfterTranslation();
    return true;
}

void TranslateAll()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (!HasSection(window->objectName()))
            continue;
        if (dynamic_cast<TranslationHooks*>(window))
            TranslateWindow(window);
        else if (qobject_cast<QMenu*>(window))
            ApplySection(window, window->objectName());
    }
}

bool UseQtTranslation(const QByteArray& symbol)
{
    static QTranslator* current = nullptr;
    if (current) {
        QCoreApplication::removeTranslator(current);
        delete current;
        current = nullptr;
    }
    // A language code of two or three letters names Qt's file; anything
    // else (the Symbol comes from a file anyone may write) names none.
    static const QRegularExpression code(QStringLiteral("^[A-Za-z]{2,3}$"));
    const QString name = QString::fromLatin1(symbol).toLower();
    if (!code.match(name).hasMatch())
        return false;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + name,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    current = translator.release();
    return true;
}

void InstallTranslationHandler()
{
    SetLanguageAppliedHandler([] {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return;
        UseQtTranslation(Language().Symbol);
        // Parts that take their texts in their own code (not from their
        // window's section) set them again on this event, which every
        // widget passes on to its children; the sections come after and win.
        for (QWidget* window : QApplication::topLevelWidgets()) {
            QEvent change(QEvent::LanguageChange);
            QCoreApplication::sendEvent(window, &change);
        }
        TranslateAll();
    });
}

} // namespace vm
