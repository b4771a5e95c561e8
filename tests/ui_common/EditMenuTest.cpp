#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextEdit>

#include <QTemporaryDir>

#include "lang/LanguageShell.h"
#include "support/TestFiles.h"
#include "ui/common/EditMenu.h"
#include "ui/common/TranslatedWindow.h"

using namespace vm;

namespace {
void EnsureApp()
{
    static int argc = 1;
    static char arg0[] = "test_ui_common";
    static char* argv[] = {arg0, nullptr};
    if (!qApp)
        new QApplication(argc, argv); // lives until the process ends
}
} // namespace

TEST(EditMenu, EnablingFollowsTheField)
{
    EnsureApp();
    EditMenu* menu = EditMenu::Instance();
    EXPECT_TRUE(menu->objectName().isEmpty());
    QGuiApplication::clipboard()->clear();

    QLineEdit line;
    menu->SetTarget(&line);
    EXPECT_FALSE(menu->SelectAllAction()->isEnabled());
    EXPECT_FALSE(menu->CopyAction()->isEnabled());
    EXPECT_FALSE(menu->PasteAction()->isEnabled());

    line.setText("hello world");
    menu->SetTarget(&line);
    EXPECT_TRUE(menu->SelectAllAction()->isEnabled());
    EXPECT_FALSE(menu->CutAction()->isEnabled());

    line.setSelection(0, 5);
    menu->SetTarget(&line);
    EXPECT_TRUE(menu->CopyAction()->isEnabled());
    EXPECT_TRUE(menu->CutAction()->isEnabled());
    EXPECT_TRUE(menu->DeleteAction()->isEnabled());
    menu->DeleteAction()->trigger();
    EXPECT_EQ(line.text(), QString(" world"));

    QGuiApplication::clipboard()->setText("X");
    line.setReadOnly(true);
    line.selectAll();
    menu->SetTarget(&line);
    EXPECT_TRUE(menu->CopyAction()->isEnabled());
    EXPECT_FALSE(menu->CutAction()->isEnabled());
    EXPECT_FALSE(menu->DeleteAction()->isEnabled());
    EXPECT_FALSE(menu->PasteAction()->isEnabled());
    line.setReadOnly(false);
    menu->SetTarget(&line);
    EXPECT_TRUE(menu->PasteAction()->isEnabled());
}

TEST(EditMenu, ActsOnTextEditsThroughTheirViewport)
{
    EnsureApp();
    EditMenu* menu = EditMenu::Instance();
    QPlainTextEdit edit;
    edit.setPlainText("abc");
    menu->SetTarget(edit.viewport());
    EXPECT_EQ(menu->Target(), &edit);
    menu->SelectAllAction()->trigger();
    EXPECT_TRUE(edit.textCursor().hasSelection());
    menu->SetTarget(edit.viewport());
    menu->CutAction()->trigger();
    EXPECT_EQ(edit.toPlainText(), QString());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString("abc"));
    menu->SetTarget(&edit);
    menu->PasteAction()->trigger();
    EXPECT_EQ(edit.toPlainText(), QString("abc"));

    QTextEdit rich;
    EXPECT_TRUE(EditMenu::IsTextField(rich.viewport()));
    QComboBox combo;
    combo.setEditable(true);
    EXPECT_TRUE(EditMenu::IsTextField(combo.lineEdit()));
    QSpinBox spin;
    EXPECT_TRUE(EditMenu::IsTextField(spin.findChild<QLineEdit*>()));
    EXPECT_FALSE(EditMenu::IsTextField(&combo));
}

// The menu speaks the loaded language (section EDITMENU), also after a
// switch, and keeps its English caption for a key the language lacks.
TEST(EditMenu, CaptionsFollowTheLanguage)
{
    EnsureApp();
    InstallTranslationHandler();
    QTemporaryDir dir;
    vm::test::WriteFile(dir.path() + "/pl.lng", "[HEAD]\nSymbol=PL\nName=Polski\n[EDITMENU]\n"
                                                "Copy=&Kopiuj\nPaste=Wk&lej\n");
    vm::test::WriteFile(dir.path() + "/de.lng", "[HEAD]\nSymbol=DE\nName=Deutsch\n[EDITMENU]\n"
                                                "Copy=&Kopieren\nCut=&Ausschneiden\n");
    EditMenu* menu = EditMenu::Instance();
    ASSERT_TRUE(LoadLanguage(dir.path() + "/pl.lng"));
    EXPECT_EQ(menu->CopyAction()->text(), "&Kopiuj");
    EXPECT_EQ(menu->PasteAction()->text(), "Wk&lej");
    EXPECT_EQ(menu->CutAction()->text(), "Cu&t");
    ASSERT_TRUE(LoadLanguage(dir.path() + "/de.lng"));
    EXPECT_EQ(menu->CopyAction()->text(), "&Kopieren");
    EXPECT_EQ(menu->CutAction()->text(), "&Ausschneiden");
    EXPECT_EQ(menu->PasteAction()->text(), "&Paste");
    Language().Clear();
}
