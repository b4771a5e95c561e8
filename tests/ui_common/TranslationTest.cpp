#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "lang/Lang.h"
#include "lang/LanguageShell.h"
#include "ui/common/TranslatedWindow.h"
#include "support/TestFiles.h"

using namespace vm;

namespace {

QCoreApplication& App()
{
    static int argc = 1;
    static char arg0[] = "test_ui_common";
    static char* argv[] = {arg0, nullptr};
    if (!qApp)
        new QApplication(argc, argv); // lives until the process ends
    return *qApp;
}

using vm::test::WriteFile;

class SampleWindow : public TranslatedWindow
{
public:
    SampleWindow()
    {
        setObjectName("SampleWindow");
        auto* layout = new QVBoxLayout(this);
        combo = new QComboBox(this);
        combo->setObjectName("CBPriority");
        combo->addItems({"a", "b", "c"});
        combo->setCurrentIndex(2);
        layout->addWidget(combo);
        list = new QTreeWidget(this);
        list->setObjectName("MsgList");
        list->setColumnCount(3);
        layout->addWidget(list);
        view = new QTreeView(this);
        view->setObjectName("View");
        view->setModel(new QStandardItemModel(0, 2, view));
        layout->addWidget(view);
        label = new QLabel("label", this);
        label->setObjectName("LHead");
        layout->addWidget(label);
        ok = new QPushButton("OK", this);
        ok->setObjectName("BOK");
        layout->addWidget(ok);
        group = new QGroupBox("group", this);
        group->setObjectName("GBServer");
        layout->addWidget(group);
        tabs = new QTabWidget(this);
        auto* page = new QWidget;
        page->setObjectName("TSBasic");
        tabs->addTab(new QWidget, "first");
        tabs->addTab(page, "page");
        layout->addWidget(tabs);
        menu = new QMenu(this);
        action = menu->addAction("delete");
        action->setObjectName("popListDelete");
        dialog = new QFileDialog(this);
        dialog->setObjectName("OpenDlg");
    }
    void BeforeTranslation() override { before.append(windowTitle()); }
    void AfterTranslation() override { after.append(windowTitle()); }

    QComboBox* combo;
    QTreeWidget* list;
    QTreeView* view;
    QLabel* label;
    QPushButton* ok;
    QGroupBox* group;
    QTabWidget* tabs;
    QMenu* menu;
    QAction* action;
    QFileDialog* dialog;
    QStringList before;
    QStringList after;
};

class Translation : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ASSERT_TRUE(dir.isValid());
        WriteFile(dir.path() + "/de.lng",
                  "\xEF\xBB\xBF; Deutsch\n[HEAD]\nSymbol=DE\nName=Deutsch\n"
                  "[PARTS]\nCBPriority=eins;zwei;drei;vier;\n"
                  "[SAMPLEWINDOW]\n$include=PARTS;\nSampleWindow=Fenster 100%%\n"
                  "MsgList=Von;Betreff;Datum;Gr\xC3\xB6\xC3\x9F"
                  "e;\nView=Spalte 1;Spalte 2\n"
                  "LHead=&Kopf # Kommentar\nBOK=@Schaltfl\xC3\xA4"
                  "che\nGBServer=Server 50%\n"
                  "TSBasic=Grundlagen\npopListDelete=&L\xC3\xB6schen\nOpenDlg=\xC3\x96"
                  "ffnen\n");
        WriteFile(dir.path() + "/fr.lng", "[HEAD]\nSymbol=FR\nName=Fran\xC3\xA7"
                                          "ais\n[SampleWindow]\nLHead=T\xC3\xAA"
                                          "te\n"
                                          "CBPriority=un;deux;\n");
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(Translation, AppliesTheSectionByObjectName)
{
    ASSERT_TRUE(LoadLanguage(dir.path() + "/de.lng"));
    SampleWindow w;
    ASSERT_TRUE(TranslateWindow(&w));
    EXPECT_EQ(w.windowTitle(), QString("Fenster 100%"));
    EXPECT_EQ(w.before, QStringList{QString()});
    EXPECT_EQ(w.after, QStringList{"Fenster 100%"});
    // Three items, four terminated pieces: the fourth is ignored, the
    // selection stays.
    EXPECT_EQ(w.combo->itemText(0), QString("eins"));
    EXPECT_EQ(w.combo->itemText(2), QString("drei"));
    EXPECT_EQ(w.combo->count(), 3);
    EXPECT_EQ(w.combo->currentIndex(), 2);
    EXPECT_EQ(w.list->headerItem()->text(0), QString("Von"));
    EXPECT_EQ(w.list->headerItem()->text(2), QString("Datum"));
    // Only the first piece of "Spalte 1;Spalte 2" is terminated.
    EXPECT_EQ(w.view->model()->headerData(0, Qt::Horizontal).toString(), QString("Spalte 1"));
    EXPECT_NE(w.view->model()->headerData(1, Qt::Horizontal).toString(), QString("Spalte 2"));
    EXPECT_EQ(w.label->text(), QString("&Kopf ")); // captions are not trimmed
    // "@" sets only the tooltip.
    EXPECT_EQ(w.ok->text(), QString("OK"));
    EXPECT_EQ(w.ok->toolTip(), QString::fromUtf8("Schaltfläche"));
    EXPECT_EQ(w.group->title(), QString("Server 50%"));
    EXPECT_EQ(w.tabs->tabText(1), QString("Grundlagen"));
    EXPECT_EQ(w.tabs->tabText(0), QString("first"));
    EXPECT_EQ(w.action->text(), QString::fromUtf8("&Löschen"));
    EXPECT_EQ(w.dialog->windowTitle(), QString::fromUtf8("Öffnen"));
}

TEST_F(Translation, MissingSectionKeepsCaptionsAndReloadRetranslates)
{
    InstallTranslationHandler();
    ASSERT_TRUE(LoadLanguage(dir.path() + "/de.lng"));
    SampleWindow w;
    SampleWindow other;
    other.setObjectName("NoSectionWnd");
    TranslateAll();
    EXPECT_EQ(w.label->text(), QString("&Kopf ")); // captions are not trimmed
    EXPECT_EQ(other.label->text(), QString("label"));
    EXPECT_FALSE(TranslateWindow(&other));
    EXPECT_TRUE(other.before.isEmpty());

    // Loading another file re-translates the open window; texts the new file
    // lacks stay as they were.
    ASSERT_TRUE(LoadLanguage(dir.path() + "/fr.lng"));
    EXPECT_EQ(w.label->text(), QString::fromUtf8("Tête"));
    EXPECT_EQ(w.combo->itemText(0), QString("un"));
    EXPECT_EQ(w.combo->itemText(1), QString("deux"));
    EXPECT_EQ(w.combo->itemText(2), QString("drei"));
    EXPECT_EQ(w.group->title(), QString("Server 50%"));
    EXPECT_EQ(w.before.size(), 2);
    SetLanguageAppliedHandler(nullptr);
}

TEST_F(Translation, ApplyTextAndNumberedTexts)
{
    QLabel label;
    ApplyText(&label, "50%%%% done");
    EXPECT_EQ(label.text(), QString("50% done"));
    QComboBox combo;
    combo.addItems({"1", "2", "3"});
    ApplyText(&combo, "x;y");
    EXPECT_EQ(combo.itemText(0), QString("x"));
    EXPECT_EQ(combo.itemText(1), QString("2"));
    QWidget window;
    auto* code = new QLabel(&window);
    code->setProperty("tag", 10003);
    ApplyNumberedTexts(&window);
    EXPECT_EQ(code->text(), QString("EN"));
}

TEST_F(Translation, ShowModalRecordsTheModalWindow)
{
    SampleWindow w;
    EXPECT_EQ(w.exec(), 0); // the plain modal show does nothing
    QWidget* seen = nullptr;
    QTimer::singleShot(0, &w, [&] {
        seen = TranslatedWindow::CurrentModalWindow();
        w.done(7);
    });
    EXPECT_EQ(w.ShowModal(), 7);
    EXPECT_EQ(seen, &w);
    EXPECT_EQ(TranslatedWindow::CurrentModalWindow(), nullptr);
}

// Qt's own texts (here a message box's buttons) follow the Symbol of the
// loaded language when Qt has a translation for it (Qt has one for English
// too), and stay English for a code Qt does not know and for a Symbol that
// is no language code.
TEST(QtTranslation, MessageBoxButtonsSpeakTheLanguage)
{
    App();
    const struct
    {
        const char* symbol;
        bool used;
        const char* yes;
        const char* cancel;
    } cases[] = {
        {"PL", true, "&Tak", "Anuluj"},     {"DE", true, "&Ja", "Abbrechen"},
        {"EN", true, "&Yes", "Cancel"},     {"XQ", false, "&Yes", "Cancel"},
        {"../pl", false, "&Yes", "Cancel"}, {"pl", true, "&Tak", "Anuluj"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UseQtTranslation(c.symbol), c.used) << c.symbol;
        QMessageBox box(QMessageBox::Question, "t", "q",
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        EXPECT_EQ(box.button(QMessageBox::Yes)->text(), c.yes) << c.symbol;
        EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), c.cancel) << c.symbol;
    }
    UseQtTranslation("EN");
}
