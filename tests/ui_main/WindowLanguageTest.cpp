// Every window is all in the chosen language: after a switch from English to
// Polish or German, no caption, tooltip, list item or column header of a
// window is still the English one, but for words both languages share.

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>

#include <functional>
#include <set>

#include "Fixtures.h"
#include "addressbook/AddressBook.h"
#include "lang/LanguageShell.h"
#include "ops/CertificateFailures.h"
#include "ui/accounts/AccountWindow.h"
#include "ui/accounts/AccountWizard.h"
#include "ui/accounts/SmtpWindow.h"
#include "ui/addressbook/AddressBookWindow.h"
#include "ui/addressbook/AddressPickWindow.h"
#include "ui/addressbook/VisitCardWindow.h"
#include "ui/common/CertificateWindow.h"
#include "ui/common/ErrorListWindow.h"
#include "ui/common/PasswordWindow.h"
#include "ui/common/SaveErrorWindow.h"
#include "ui/common/TranslatedWindow.h"
#include "ui/common/UpdateWindow.h"
#include "ui/compose/ComposeWindow.h"
#include "ui/main/FindWindow.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/view/AttachmentsWindow.h"
#include "ui/view/DetailsWindow.h"
#include "ui/view/ReceiptAlertWindow.h"

namespace {

using namespace vm;

// Every text a user reads in the window, in a fixed order, each with where
// it is.
QList<QPair<QString, QString>> Texts(QWidget* window)
{
    QList<QPair<QString, QString>> out;
    auto add = [&](const QObject* o, const char* what, const QString& text) {
        if (!text.trimmed().isEmpty())
            out.append({o->objectName() + ' ' + what, text});
    };
    QList<QWidget*> widgets{window};
    widgets += window->findChildren<QWidget*>();
    add(window, "title", window->windowTitle());
    for (QWidget* w : widgets) {
        add(w, "tooltip", w->toolTip());
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            add(b, "text", b->text());
        if (auto* l = qobject_cast<QLabel*>(w))
            add(l, "text", l->text());
        if (auto* g = qobject_cast<QGroupBox*>(w))
            add(g, "title", g->title());
        if (auto* t = qobject_cast<QTabWidget*>(w))
            for (int i = 0; i < t->count(); ++i)
                add(t, "tab", t->tabText(i));
        // Lists of fonts and of the language files hold names, not texts.
        if (auto* c = qobject_cast<QComboBox*>(w); c && !c->isEditable() &&
                                                    !c->objectName().contains("Font") &&
                                                    c->objectName() != "CBLanguage")
            for (int i = 0; i < c->count(); ++i)
                add(c, "item", c->itemText(i));
        if (auto* v = qobject_cast<QTreeView*>(w); v && v->model())
            for (int i = 0; i < v->model()->columnCount(); ++i)
                add(v, "column", v->model()->headerData(i, Qt::Horizontal).toString());
        // Actions are read where the user sees them: in menus.
        if (qobject_cast<QMenu*>(w))
            for (QAction* a : w->actions())
                if (a->isVisible() && !a->isSeparator())
                    add(a, "action", a->text());
    }
    return out;
}

// Texts that read the same in English, Polish and German: product and
// protocol names, units, symbols, and the words the languages share.
const std::set<QString> kSameInEveryLanguage = {
    "OK", "SMTP", "POP3:", "SMTP:", "TLS/SSL:", "Port*:", "Menu...", "...", "Format:",
    "B", "I", "U", "S", "A+", "A-", "x", "≡L", "≡C", "≡R", "SSL 2.0", "SSL 2.3", "SSL 3.0",
    "TLS/SSL 1.0", "Microsoft", "Google",
    // Polish
    "Login:", "E-mail",
    // German
    "Server:", "Messenger:", "Messenger", "Name", "Website", "normal", "Cc:", "Bcc:", "Cc",
    "Bcc", "&Details...", "Updates",
};

bool Shared(const QString& text)
{
    if (kSameInEveryLanguage.count(text))
        return true;
    // The version with the built-in language code ("3.5.0 EN"), in the main
    // window's caption too.
    static const QRegularExpression version("^(Velmora )?[0-9.]+ EN$");
    if (version.match(text).hasMatch())
        return true;
    // No letters at all (numbers, symbols) or a data value like a charset name.
    bool letters = false;
    for (const QChar c : text)
        letters = letters || c.isLetter();
    return !letters;
}

class WindowLanguageTest : public vmtest::MainWindowTestBase
{
protected:
    static void SetUpTestSuite()
    {
        MainWindowTestBase::SetUpTestSuite();
        InstallTranslationHandler();
    }
    void TearDown() override
    {
        ASSERT_TRUE(LoadLanguage(dataDir + "english.lng"));
        MainWindowTestBase::TearDown();
    }
};

// The English texts of the window that make(), and those it shows in
// language when made while that language is loaded (switch: made in English,
// then the language is loaded).
void ExpectTranslated(const std::function<QWidget*()>& make, const QString& language, bool switchTo,
                      const QString& dataDir)
{
    ASSERT_TRUE(LoadLanguage(dataDir + "english.lng"));
    std::unique_ptr<QWidget> w(make());
    const auto english = Texts(w.get());
    const char* className = w->metaObject()->className();
    if (!switchTo)
        w.reset();
    ASSERT_TRUE(LoadLanguage(dataDir + language));
    if (!switchTo)
        w.reset(make());
    const auto translated = Texts(w.get());
    ASSERT_EQ(translated.size(), english.size()) << className;
    for (qsizetype i = 0; i < english.size(); ++i)
        if (translated[i].second == english[i].second && !Shared(english[i].second))
            ADD_FAILURE() << language.toStdString() << (switchTo ? ", switched: " : ": ")
                          << className << " " << english[i].first.toStdString() << ": "
                          << english[i].second.toStdString();
}

// Windows that stay open or are kept for reuse while the language changes
// take the new texts at once; the others when they are made.
TEST_F(WindowLanguageTest, EveryWindowInTheChosenLanguage)
{
    MainWindow main;
    AddressBook book;
    CertificateFailure failure;
    failure.accountName = "a";
    failure.host = "mail.example.com";
    failure.port = 995;
    Settings settings;
    const std::function<QWidget*()> kept[] = {
        [] { return new MainWindow; },
        [] { return new SettingsWindow; },
        [] { return new AccountWindow; },
        [] { return new ErrorListWindow; },
        [] { return new ComposeWindow; },
        [&] { return new AddressBookWindow(book, dataDir + "book.vlab"); },
        [&] {
            // Translated by its maker, as the program does.
            auto* details = new DetailsWindow(main.ListModel);
            TranslateWindow(details);
            return details;
        },
        [&] { return new FindWindow(main); },
    };
    const std::function<QWidget*()> madeWhenNeeded[] = {
        [] { return new SmtpWindow; },
        [] { return new AccountWizard; },
        [] { return new PasswordWindow; },
        [] { return new SaveErrorWindow("report"); },
        [] { return new UpdateActivationWindow; },
        [&] { return new UpdateFoundWindow(settings, QUrl("https://example.com")); },
        [] { return new ReceiptAlertWindow; },
        [] { return new VisitCardWindow; },
        [&] { return new AddressPickWindow(book); },
        [&] { return new CertificateWindow(failure); },
    };
    for (const QString language : {"polish.lng", "german.lng"}) {
        for (const auto& make : kept)
            ExpectTranslated(make, language, true, dataDir);
        for (const auto& make : madeWhenNeeded)
            ExpectTranslated(make, language, false, dataDir);
    }
}

} // namespace
