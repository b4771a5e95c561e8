#pragma once
// The base of every program window and the window translation: each window's
// objectName is also the name of its section in the language file, and every
// control of the window whose objectName is a key of that section takes its
// caption, tooltip, column headers or items from the key's value.

#include <QDialog>
#include <QPointer>
#include <QString>

namespace vm {

// Before/after hooks of translation. TranslatedWindow has them; a window that cannot
// derive from TranslatedWindow (e.g. a QMainWindow) inherits this interface to be
// translated the same way.
class TranslationHooks
{
public:
    virtual ~TranslationHooks() = default;
    // Called just before the window's section is applied.
    virtual void BeforeTranslation() {}
    // Called just after.
    virtual void AfterTranslation() {}
};

class TranslatedWindow : public QDialog, public TranslationHooks
{
    Q_OBJECT
public:
    explicit TranslatedWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    // Shows the window modally and returns its result. For the duration of
    // the call the window is the current modal window.
    int ShowModal();

    // The plain modal show is disabled: every modal window goes through
    // ShowModal(). Returns 0 without showing anything.
    int exec() override;

    // The window being shown by ShowModal(), or nullptr.
    static QWidget* CurrentModalWindow();
};

// Translate all: for every top-level window of the application whose
// objectName names a section of the loaded language: before hook, apply the
// section, after hook.
void TranslateAll();

// Translate one window: the same for one window, when the language has a
// section of its name. True when done.
bool TranslateWindow(QWidget* window);

// Applies the section to component and everything it owns, recursively: a
// component whose objectName is a key of the section (following its
// "$include" lists) takes the key's value. False when the section is missing.
bool ApplySection(QObject* component, const QString& section);

// Applies one text to a component by the same rules as a section value:
// "%%" collapses to "%"; a text starting with "@" sets only the tooltip of a
// control; otherwise combo box items and view column headers take the
// ";"-terminated pieces in order, and menus, actions, tab pages, labels,
// buttons, group boxes, edits and windows (including file dialogs) their
// caption. "&" marks the accelerator.
void ApplyText(QObject* component, const QString& text);

// For component and everything it owns: a non-zero integer property "tag"
// selects the built-in numbered text that becomes its caption.
void ApplyNumberedTexts(QObject* component);

// Qt's own texts (message box buttons, file and colour dialogs) in the
// language whose Symbol is given, when Qt ships a translation for it
// ("PL": qtbase_pl); Qt's English otherwise. True when a translation is used.
bool UseQtTranslation(const QByteArray& symbol);

// Makes every successful language load re-translate all windows: Qt's own
// texts follow the language's Symbol, a QEvent::LanguageChange goes to every
// window and its children, then TranslateAll(). Call once at start-up.
void InstallTranslationHandler();

} // namespace vm
