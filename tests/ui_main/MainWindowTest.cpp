// The main window driven through its real widgets: the account tree and its
// menu, the list shown for the selected account, selection kept by UIDL,
// the header line, new flags, placement and first activation.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "config/Settings.h"
#include "config/StorageSettings.h"
#include "core/Messages.h"
#include "lang/LangStartup.h"
#include "ui/accounts/AccountWindow.h"
#include "ui/accounts/AccountWizard.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/view/PreviewPane.h"
#include "ui/view/WelcomeView.h"
#include "ui_main/Fixtures.h"

using namespace vm;
using vmtest::Day;
using vmtest::MakeMessage;

namespace {

class MainWindowTest : public vmtest::MainWindowTestBase
{
protected:

    MailAccount* AddAccount(const QByteArray& login, const QByteArray& friendly, bool stale,
                             int messages = 0)
    {
        auto* a = new MailAccount(&Accounts());
        a->Login() = login;
        a->FriendlyName() = friendly;
        a->Server() = "pop.example.org";
        for (int i = 0; i < messages; ++i)
            a->Box().Add(MakeMessage(login + QByteArray::number(i), "Sender <s@x>",
                                         "Subject " + QByteArray::number(i),
                                         Day(2030, 1, 1 + i), 1000 * (i + 1)));
        a->Box().SetStale(stale);
        a->Box().SetLastCheck(Day(2030, 2, 1, 10, 30));
        Accounts().Add(a);
        return a;
    }

    void CreateWindow()
    {
        wnd = std::make_unique<MainWindow>();
        wnd->resize(1000, 700);
    }

    QStringList Captions() const
    {
        QStringList out;
        QTreeWidgetItem* root = wnd->RootNode();
        for (int i = 0; root && i < root->childCount(); ++i)
            out << root->child(i)->text(0);
        return out;
    }

    void Select(const QList<MailAccount*>& accounts)
    {
        wnd->Tree->clearSelection();
        for (MailAccount* a : accounts)
            wnd->NodeOf(a)->setSelected(true);
        if (!accounts.isEmpty())
            wnd->Tree->setCurrentItem(wnd->NodeOf(accounts.first()), 0,
                                      QItemSelectionModel::NoUpdate);
        wnd->TreeClick();
    }

    void SelectRoot()
    {
        wnd->Tree->clearSelection();
        wnd->RootNode()->setSelected(true);
        wnd->TreeClick();
    }

    QStringList ShownUidls() const
    {
        QStringList out;
        for (int r = 0; r < wnd->ListModel->rowCount(); ++r) {
            MessageRecord* m = wnd->ListModel->MessageAt(r);
            out << (m ? QString::fromLatin1(m->UID) : QStringLiteral("..."));
        }
        return out;
    }

    QStringList SelectedUidls() const
    {
        QStringList out;
        for (int r : wnd->MsgList->SelectedRows())
            out << QString::fromLatin1(wnd->ListModel->MessageAt(r)->UID);
        return out;
    }

};

TEST_F(MainWindowTest, WithoutAccountsOnlyTheRootExistsAndCommandsAreDisabled)
{
    CreateWindow();
    wnd->commands.checkMail = [](const QList<MailAccount*>&, bool) {};
    wnd->UpdateWindowState();
    ASSERT_EQ(wnd->Tree->topLevelItemCount(), 1);
    EXPECT_EQ(wnd->RootNode()->text(0), "MAIL ACCOUNTS");
    EXPECT_EQ(wnd->RootNode()->childCount(), 0);
    EXPECT_TRUE(wnd->RootSelected());
    EXPECT_FALSE(wnd->popTreeDelete->isEnabled());
    EXPECT_FALSE(wnd->popTreeWipeLists->isEnabled());
    EXPECT_FALSE(wnd->popTreeCheckMail->isEnabled());
    EXPECT_FALSE(wnd->popTreeProperties->isEnabled());
    EXPECT_TRUE(wnd->popTreeAdd->isEnabled());
    EXPECT_TRUE(wnd->WelcomeFrame->isVisibleTo(wnd.get()));
    EXPECT_FALSE(wnd->ViewFrame->isVisibleTo(wnd.get()));
    EXPECT_EQ(wnd->PBoxInfo->text(), "");
    EXPECT_FALSE(wnd->BRefresh->isEnabled());
    EXPECT_EQ(wnd->StatusText->text(), "Idle");
}

TEST_F(MainWindowTest, CaptionsCountsSortingAndBoldNodes)
{
    MailAccount* zed = AddAccount("zed", "Zed's box", false, 3);
    MailAccount* anna = AddAccount("anna", "", true, 2); // never checked
    MailAccount* bob = AddAccount("bob", "bob at work", false, 0);
    CreateWindow();
    EXPECT_EQ(Captions(), QStringList({"anna (?)", "bob at work (0)", "Zed's box (3)"}));
    EXPECT_FALSE(wnd->NodeBold(wnd->NodeOf(zed)));
    zed->Box().At(1)->SetNew(true);
    anna->Box().At(0)->SetNew(true); // stale: not shown as new
    EXPECT_TRUE(wnd->NodeBold(wnd->NodeOf(zed)));
    EXPECT_FALSE(wnd->NodeBold(wnd->NodeOf(anna)));
    EXPECT_FALSE(wnd->NodeBold(wnd->RootNode()));

    // A check adds messages: the count is the total, not the new ones.
    anna->Box().SetStale(false);
    anna->Box().Add(MakeMessage("n1", "a@x", "new", Day(2030, 5, 1), 10, true));
    wnd->UpdateAccountCaptions();
    EXPECT_EQ(Captions(), QStringList({"anna (3)", "bob at work (0)", "Zed's box (3)"}));
    EXPECT_TRUE(wnd->NodeBold(wnd->NodeOf(anna)));

    // Wiping the lists: every caption ends in " (?)", no node is bold.
    wnd->popTreeWipeListsClick();
    EXPECT_EQ(Captions(), QStringList({"anna (?)", "bob at work (?)", "Zed's box (?)"}));
    for (MailAccount* a : {zed, anna, bob})
        EXPECT_FALSE(wnd->NodeBold(wnd->NodeOf(a)));
}

TEST_F(MainWindowTest, SelectingAccountsShowsTheirListsAndTwoKeepTheListAsItWas)
{
    MailAccount* a = AddAccount("a", "Alpha", false, 3);
    MailAccount* b = AddAccount("b", "Beta", false, 2);
    CreateWindow();
    Select({a});
    EXPECT_EQ(wnd->ShownMailbox(), &a->Box());
    EXPECT_TRUE(wnd->ViewFrame->isVisibleTo(wnd.get()));
    EXPECT_FALSE(wnd->WelcomeFrame->isVisibleTo(wnd.get()));
    EXPECT_EQ(wnd->ListModel->rowCount(), 3);
    Select({a, b});
    EXPECT_EQ(wnd->ShownMailbox(), &a->Box());
    EXPECT_FALSE(wnd->popTreeProperties->isEnabled());
    Select({b});
    EXPECT_EQ(wnd->ShownMailbox(), &b->Box());
    // Selecting the root together with accounts is not possible.
    wnd->Tree->setCurrentItem(wnd->RootNode(), 0, QItemSelectionModel::NoUpdate);
    wnd->RootNode()->setSelected(true);
    EXPECT_EQ(wnd->Tree->selectedItems().size(), 1);
    SelectRoot();
    EXPECT_EQ(wnd->ShownMailbox(), nullptr);
    EXPECT_TRUE(wnd->WelcomeFrame->isVisibleTo(wnd.get()));
}

TEST_F(MainWindowTest, RefillKeepsSelectionAndFocusByUidl)
{
    AppSettings().OldMessagesDefHidden = false;
    MailAccount* a = AddAccount("a", "Alpha", false, 5);
    CreateWindow();
    Select({a});
    wnd->MsgListColumnClick(4); // by size, ascending: a0 .. a4
    ASSERT_EQ(ShownUidls(), QStringList({"a0", "a1", "a2", "a3", "a4"}));
    auto* sm = wnd->MsgList->selectionModel();
    sm->select(wnd->ListModel->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sm->select(wnd->ListModel->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sm->setCurrentIndex(wnd->ListModel->index(3, 0), QItemSelectionModel::NoUpdate);
    // A check brings smaller messages that sort before the selected rows.
    a->Box().Insert(MakeMessage("x1", "n@x", "s", Day(2030, 3, 1), 10, true), 0);
    a->Box().Add(MakeMessage("x2", "n@x", "s", Day(2030, 3, 2), 20, true));
    wnd->ShowMailbox(&a->Box());
    EXPECT_EQ(ShownUidls(), QStringList({"x1", "x2", "a0", "a1", "a2", "a3", "a4"}));
    EXPECT_EQ(SelectedUidls(), QStringList({"a1", "a3"}));
    EXPECT_EQ(wnd->ListModel->MessageAt(wnd->MsgList->FocusedRow())->UID, "a3");
    // A removed message simply drops out of the selection.
    a->Box().Delete(a->Box().FindByUIDL("a1"));
    wnd->ShowMailbox(&a->Box());
    EXPECT_EQ(SelectedUidls(), QStringList({"a3"}));
}

TEST_F(MainWindowTest, HeaderLineTexts)
{
    AppSettings().OldMessagesDefHidden = true;
    MailAccount* a = AddAccount("a", "Alpha", true, 0);
    CreateWindow();
    Select({a});
    EXPECT_EQ(wnd->PBoxInfo->text(),
              " Account: Alpha  -  No recent information about this message box");
    EXPECT_EQ(wnd->ListModel->rowCount(), 0);

    // Non-stale, messages adding up to 0 bytes: "0KB".
    a->Box().SetStale(false);
    a->Box().Add(MakeMessage("z", "s@x", "s", Day(2030, 1, 1), 0));
    wnd->ShowMailbox(&a->Box());
    // The last update is written in the system locale's formats; the test
    // programs run with LC_ALL=C.UTF-8 (set for every test in
    // cmake/Velmora.cmake) rather than this machine's locale.
    ASSERT_EQ(QLocale::system().name(), "C") << "run with LC_ALL=C.UTF-8";
    EXPECT_EQ(wnd->PBoxInfo->text(),
              " Account: Alpha  -  Messages: 1  (0KB)  -  Last update: 10:30:00  1 Feb 2030");
    a->Box().At(0)->size = 300;
    wnd->ShowMailbox(&a->Box());
    EXPECT_TRUE(wnd->PBoxInfo->text().contains("Messages: 1  (1KB)")) << wnd->PBoxInfo->text();
    // Two old messages hidden behind the "more" row.
    a->Box().Add(MakeMessage("o1", "s@x", "s", Day(2001, 1, 1), 1000));
    a->Box().Add(MakeMessage("o2", "s@x", "s", Day(2001, 1, 2), 236));
    wnd->ShowMailbox(&a->Box());
    EXPECT_EQ(ShownUidls(), QStringList({"z", "..."}));
    EXPECT_TRUE(wnd->PBoxInfo->text().contains("Messages: 1 / 3  (total size 2KB)"))
        << wnd->PBoxInfo->text();
}

TEST_F(MainWindowTest, DoubleClickWithoutSelectionRevealsOldMessages)
{
    MailAccount* a = AddAccount("a", "Alpha", false, 2);
    a->Box().Add(MakeMessage("old", "s@x", "s", Day(2001, 1, 1), 5));
    CreateWindow();
    Select({a});
    EXPECT_EQ(ShownUidls().last(), "...");
    EXPECT_TRUE(wnd->popListShowOld->isEnabled());
    EXPECT_FALSE(wnd->popListShowOld->isChecked());
    wnd->MsgList->clearSelection();
    wnd->MsgListDblClick();
    EXPECT_FALSE(wnd->HideOldMessages());
    EXPECT_EQ(wnd->ListModel->rowCount(), 3);
    EXPECT_FALSE(wnd->ListModel->HasMoreRow());
    EXPECT_TRUE(wnd->popListShowOld->isChecked());
    // Ctrl+H hides them again.
    wnd->popListShowOldClick();
    EXPECT_TRUE(wnd->ListModel->HasMoreRow());
}

TEST_F(MainWindowTest, ColumnClicksFlipOrChangeTheSortKeepingTheMoreRowLast)
{
    MailAccount* a = AddAccount("a", "Alpha", false, 3);
    a->Box().Add(MakeMessage("old", "s@x", "s", Day(2001, 1, 1), 5));
    CreateWindow();
    Select({a});
    EXPECT_EQ(wnd->SortColumn(), 2);
    EXPECT_TRUE(wnd->SortAscending());
    EXPECT_EQ(ShownUidls(), QStringList({"a0", "a1", "a2", "..."}));
    QTest::mouseClick(wnd->MsgList->header()->viewport(), Qt::LeftButton, {},
                      QPoint(wnd->MsgList->header()->sectionViewportPosition(2) + 5, 5));
    EXPECT_FALSE(wnd->SortAscending());
    EXPECT_EQ(ShownUidls(), QStringList({"a2", "a1", "a0", "..."}));
    wnd->MsgListColumnClick(4);
    EXPECT_EQ(wnd->SortColumn(), 4);
    EXPECT_FALSE(wnd->SortAscending());
    EXPECT_EQ(ShownUidls(), QStringList({"a2", "a1", "a0", "..."}));
    Settings copy;
    wnd->CopyWindowState(copy);
    EXPECT_EQ(copy.MainWndColumn, 4);
    EXPECT_FALSE(copy.MainWndSortAscending);
    EXPECT_EQ(copy.LastAccount, "Alpha");
}

TEST_F(MainWindowTest, NewFlagsExpireOnlyAfterTheTimeoutWithStyleZero)
{
    AppSettings().NewMessagesStyle = 0;
    AppSettings().NewMessagesTimeout = 5;
    MailAccount* a = AddAccount("a", "Alpha", false, 2);
    MailAccount* b = AddAccount("b", "Beta", false, 1);
    a->Box().At(0)->SetNew(true);
    CreateWindow();
    Select({a});
    wnd->SetShownSince(Now() - 3.0 / 86400);
    Select({b}); // left after 3 seconds: the flag stays
    EXPECT_TRUE(a->Box().At(0)->IsNew());
    Select({a});
    wnd->SetShownSince(Now() - 6.0 / 86400);
    Select({b});
    EXPECT_FALSE(a->Box().At(0)->IsNew());

    // Style 1 keeps them whatever the time; Ctrl+U clears them.
    AppSettings().NewMessagesStyle = 1;
    b->Box().At(0)->SetNew(true);
    wnd->SetShownSince(Now() - 60.0 / 86400);
    Select({a});
    EXPECT_TRUE(b->Box().At(0)->IsNew());
    Select({b});
    EXPECT_TRUE(wnd->popListUncheckNew->isEnabled());
    wnd->popListUncheckNewClick();
    EXPECT_FALSE(b->Box().At(0)->IsNew());
    EXPECT_FALSE(wnd->popListUncheckNew->isEnabled());

    // Style 2: displaying the message ends its flag.
    AppSettings().NewMessagesStyle = 2;
    b->Box().At(0)->SetNew(true);
    wnd->MessageDisplayed(b->Box().At(0));
    EXPECT_FALSE(b->Box().At(0)->IsNew());
}

TEST_F(MainWindowTest, ClearListMarksTheMailboxStale)
{
    MailAccount* a = AddAccount("a", "Alpha", false, 2);
    CreateWindow();
    Select({a});
    EXPECT_TRUE(wnd->popListClearList->isEnabled());
    wnd->popListClearListClick();
    EXPECT_TRUE(a->Box().Stale());
    EXPECT_EQ(a->Box().Count(), 2); // the records stay for the file
    EXPECT_EQ(wnd->ListModel->rowCount(), 0);
    EXPECT_EQ(Captions(), QStringList({"Alpha (?)"}));
    EXPECT_FALSE(wnd->popListClearList->isEnabled());
    EXPECT_FALSE(wnd->popListShowOld->isEnabled());
}

TEST_F(MainWindowTest, DeletingTheShownAccountEmptiesTheListAndRemovesItsFile)
{
    MailAccount* a = AddAccount("a", "Alpha", false, 2);
    MailAccount* b = AddAccount("b", "Beta", false, 1);
    a->SaveToFile(SaveOptionsFromSettings());
    b->SaveToFile(SaveOptionsFromSettings());
    const QString fileA = dataDir + a->MailboxFileName();
    const QString fileB = dataDir + b->MailboxFileName();
    ASSERT_TRUE(QFile::exists(fileA));
    CreateWindow();
    Select({a});
    ASSERT_EQ(wnd->ListModel->rowCount(), 2);

    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    wnd->popTreeDeleteClick();
    EXPECT_EQ(Accounts().Count(), 2);
    EXPECT_EQ(messages.shown.last().text,
              "Are you sure you want to remove selected accounts from the directory?");

    messages.answer = nullptr;
    // While a message is being sent its account stays: nothing is asked.
    bool sending = true;
    wnd->commands.sendRunning = [&] { return sending; };
    const qsizetype asked = messages.shown.size();
    wnd->UpdateTreeMenu();
    EXPECT_FALSE(wnd->popTreeDelete->isEnabled());
    wnd->popTreeDeleteClick();
    EXPECT_EQ(Accounts().Count(), 2);
    EXPECT_EQ(messages.shown.size(), asked);
    sending = false;

    wnd->popTreeDeleteClick();
    EXPECT_EQ(Accounts().Count(), 1);
    EXPECT_FALSE(QFile::exists(fileA));
    EXPECT_TRUE(QFile::exists(fileB));
    EXPECT_EQ(wnd->ShownMailbox(), nullptr);
    EXPECT_EQ(wnd->ListModel->rowCount(), 0);
    EXPECT_TRUE(wnd->RootSelected());
    EXPECT_EQ(Captions(), QStringList({"Beta (1)"}));

    // Deleting everything from the root goes back to the welcome page.
    MailAccount* beta = Accounts().At(0);
    Select({beta});
    SelectRoot();
    wnd->popTreeDeleteClick();
    EXPECT_EQ(messages.shown.last().text,
              "Are you sure you want to remove all accounts from the directory?");
    EXPECT_EQ(Accounts().Count(), 0);
    EXPECT_FALSE(QFile::exists(fileB));
    EXPECT_EQ(wnd->RootNode()->childCount(), 0);
    EXPECT_TRUE(wnd->WelcomeFrame->isVisibleTo(wnd.get()));
    EXPECT_FALSE(wnd->popTreeDelete->isEnabled());
}

TEST_F(MainWindowTest, AddingAnAccountSavesItsFileAtOnce)
{
    CreateWindow();
    QTimer::singleShot(0, [] {
        auto* acf = qobject_cast<AccountWindow*>(TranslatedWindow::CurrentModalWindow());
        ASSERT_NE(acf, nullptr);
        acf->ELogin->setText("carol");
        acf->EPassword->setText("pw");
        acf->EServer->setText("  pop.carol.org ");
        acf->BOK->click();
    });
    wnd->popTreeAddClick(false);
    ASSERT_EQ(Accounts().Count(), 1);
    MailAccount* c = Accounts().At(0);
    EXPECT_EQ(c->Server(), "pop.carol.org");
    EXPECT_FALSE(c->MailboxFileName().isEmpty());
    EXPECT_TRUE(QFile::exists(dataDir + c->MailboxFileName()));
    EXPECT_EQ(Captions(), QStringList({"carol (?)"}));
    EXPECT_EQ(wnd->ShownMailbox(), &c->Box());
    EXPECT_TRUE(messages.shown.isEmpty());

    // Cancel adds nothing.
    QTimer::singleShot(0, [] { TranslatedWindow::CurrentModalWindow()->close(); });
    wnd->popTreeAddClick(false);
    EXPECT_EQ(Accounts().Count(), 1);
}

TEST_F(MainWindowTest, AddingWithTheWizard)
{
    CreateWindow();
    QTimer::singleShot(0, [] {
        auto* wiz = qobject_cast<AccountWizard*>(TranslatedWindow::CurrentModalWindow());
        ASSERT_NE(wiz, nullptr);
        wiz->pop3->EPOP3Login->setText("erin");
        wiz->pop3->EPOP3Server->setText("pop.erin.org");
        wiz->BNext->click();
        wiz->BNext->click();
        wiz->send->RBSendUseDefault->setChecked(true);
        wiz->BNext->click();
        wiz->BFinish->click();
    });
    wnd->popTreeAddWizard->trigger();
    ASSERT_EQ(Accounts().Count(), 1);
    MailAccount* e = Accounts().At(0);
    EXPECT_EQ(e->Owner(), &Accounts());
    EXPECT_TRUE(QFile::exists(dataDir + e->MailboxFileName()));
    EXPECT_EQ(Captions(), QStringList({"erin (?)"}));
    EXPECT_EQ(wnd->ShownMailbox(), &e->Box());

    // Cancelled: nothing is added.
    QTimer::singleShot(0, [] { TranslatedWindow::CurrentModalWindow()->close(); });
    wnd->popTreeAddWizard->trigger();
    EXPECT_EQ(Accounts().Count(), 1);
}

TEST_F(MainWindowTest, ADoubleClickOnTheTreesEmptyAreaOpensTheWizard)
{
    CreateWindow();
    wnd->show();
    QTreeWidget* tree = wnd->Tree;
    QWidget* area = tree->viewport();
    const QRect rootRect = tree->visualItemRect(tree->topLevelItem(0));
    ASSERT_FALSE(rootRect.isEmpty());
    const QPoint empty(rootRect.center().x(), area->height() - 4);
    ASSERT_EQ(tree->itemAt(empty), nullptr);

    struct Case
    {
        QPoint where;
        bool opensWizard;
    };
    for (const Case& c : {Case{empty, true}, Case{rootRect.center(), false}}) {
        bool wizardShown = false;
        bool looked = false;
        // Runs inside the wizard's own event loop when the click opened it,
        // after the click otherwise.
        QTimer::singleShot(0, [&] {
            if (auto* wiz = qobject_cast<AccountWizard*>(TranslatedWindow::CurrentModalWindow())) {
                wizardShown = true;
                wiz->close();
            }
            looked = true;
        });
        QTest::mouseDClick(area, Qt::LeftButton, Qt::NoModifier, c.where);
        ASSERT_TRUE(QTest::qWaitFor([&] { return looked; }, 5000)) << c.where.y();
        EXPECT_EQ(wizardShown, c.opensWizard) << c.where.y();
    }
    EXPECT_EQ(Accounts().Count(), 0);
}

TEST_F(MainWindowTest, AnAccountWhoseFileCannotBeSavedStaysWithAWarning)
{
    CreateWindow();
    // A mailbox directory that is a plain file: nothing can be created in it.
    const QString blocker = dataDir + "not-a-dir";
    {
        QFile f(blocker);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    Accounts().SetMailboxDirectory(blocker + "/");
    QTimer::singleShot(0, [] {
        auto* acf = qobject_cast<AccountWindow*>(TranslatedWindow::CurrentModalWindow());
        ASSERT_NE(acf, nullptr);
        acf->ELogin->setText("dave");
        acf->EPassword->setText("pw");
        acf->EServer->setText("pop.dave.org");
        acf->BOK->click();
    });
    wnd->popTreeAddClick(false);
    Accounts().SetMailboxDirectory(dataDir);
    QFile::remove(blocker);
    ASSERT_EQ(Accounts().Count(), 1);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Warning);
    EXPECT_TRUE(messages.shown[0].text.startsWith("New account has been created and added"));
    EXPECT_EQ(Captions(), QStringList({"dave (?)"}));
}

TEST_F(MainWindowTest, LastAccountIsSelectedAtFirstActivationWhenItExists)
{
    AddAccount("a", "Alpha", false, 1);
    MailAccount* b = AddAccount("b", "", false, 2);
    AppSettings().LastAccount = "Gone";
    CreateWindow();
    wnd->RunFirstActivation();
    EXPECT_TRUE(wnd->RootSelected());
    EXPECT_EQ(wnd->ShownMailbox(), nullptr);
    wnd.reset();

    AppSettings().LastAccount = "b"; // shown under its login
    AppSettings().MainWndHorzDiv = 250;
    CreateWindow();
    wnd->show();
    wnd->RunFirstActivation();
    EXPECT_EQ(wnd->ShownMailbox(), &b->Box());
    EXPECT_EQ(wnd->LeftPanel->width(), 250);
    wnd->RunFirstActivation(); // only once
    Settings copy;
    wnd->CopyWindowState(copy);
    EXPECT_EQ(copy.LastAccount, "b");
    EXPECT_EQ(copy.MainWndHorzDiv, 250);
}

TEST_F(MainWindowTest, PlacementClamping)
{
    const QSize minimum(860, 500);
    const QSize work(1280, 800);
    QRect r;
    EXPECT_FALSE(MainWindow::ClampPlacement(0, 0, 0, 0, minimum, work, r));
    EXPECT_FALSE(MainWindow::ClampPlacement(7, 7, 7, 7, minimum, work, r));
    ASSERT_TRUE(MainWindow::ClampPlacement(10, 20, 1010, 720, minimum, work, r));
    EXPECT_EQ(r, QRect(10, 20, 1000, 700));
    // Reversed corners are swapped; negative left shifts the window right.
    ASSERT_TRUE(MainWindow::ClampPlacement(1010, 720, 10, 20, minimum, work, r));
    EXPECT_EQ(r, QRect(10, 20, 1000, 700));
    ASSERT_TRUE(MainWindow::ClampPlacement(-100, -50, 900, 650, minimum, work, r));
    EXPECT_EQ(r, QRect(0, 0, 1000, 700));
    // Too small: widened to the minimum size.
    ASSERT_TRUE(MainWindow::ClampPlacement(100, 100, 200, 200, minimum, work, r));
    EXPECT_EQ(r, QRect(100, 100, 860, 500));
    // Past the work area: moved back inside.
    ASSERT_TRUE(MainWindow::ClampPlacement(1000, 600, 2000, 1300, minimum, work, r));
    EXPECT_EQ(r.right() + 1, 1279);
    EXPECT_EQ(r.bottom() + 1, 799);
    EXPECT_EQ(r.size(), QSize(1000, 700));
    // Larger than the work area: left and top stop at 0.
    ASSERT_TRUE(MainWindow::ClampPlacement(0, 0, 3000, 2000, minimum, work, r));
    EXPECT_EQ(r.topLeft(), QPoint(0, 0));
}

TEST_F(MainWindowTest, SplitterAndLayoutRules)
{
    CreateWindow();
    wnd->show();
    QTest::qWait(10);
    const int client = wnd->centralWidget()->width();
    EXPECT_FALSE(wnd->TrySetLeftWidth(160));
    EXPECT_FALSE(wnd->TrySetLeftWidth(client - 512));
    EXPECT_TRUE(wnd->TrySetLeftWidth(300));
    EXPECT_EQ(wnd->LeftPanel->width(), 300);
    EXPECT_EQ(wnd->PBoxHeader->x(), 300 + MainWindow::kSplitterWidth);
    EXPECT_EQ(wnd->ViewFrame->geometry(), wnd->WelcomeFrame->geometry());
    const int w = wnd->ViewFrame->width() / 7;
    EXPECT_EQ(wnd->BRefresh->width(), w);
    EXPECT_EQ(wnd->BottomBar->width(), 7 * w);
    EXPECT_EQ(wnd->BottomBar->geometry().bottom() + 1, wnd->BottomPanel->y());
}

TEST_F(MainWindowTest, BusyStateAndHooksDecideEnabling)
{
    MailAccount* a = AddAccount("a", "Alpha", false, 1);
    CreateWindow();
    QList<QList<MailAccount*>> checks;
    QList<bool> allFlags;
    int interrupts = 0;
    wnd->commands.checkMail = [&](const QList<MailAccount*>& acc, bool all) {
        checks.append(acc);
        allFlags.append(all);
    };
    wnd->commands.interrupt = [&] { ++interrupts; };
    wnd->UpdateWindowState();
    EXPECT_FALSE(wnd->BRefresh->isEnabled()); // nothing shown
    Select({a});
    EXPECT_TRUE(wnd->BRefresh->isEnabled());
    EXPECT_FALSE(wnd->BComposeNew->isEnabled()); // no compose hook yet
    wnd->BRefresh->click();
    ASSERT_EQ(checks.size(), 1);
    EXPECT_EQ(checks[0], QList<MailAccount*>({a}));
    EXPECT_FALSE(allFlags[0]);
    SelectRoot();
    wnd->UpdateTreeMenu();
    wnd->popTreeCheckMail->trigger();
    ASSERT_EQ(checks.size(), 2);
    EXPECT_TRUE(allFlags[1]);

    Select({a});
    wnd->SetBusy(true);
    EXPECT_FALSE(wnd->Tree->isEnabled());
    EXPECT_FALSE(wnd->MsgList->isEnabled());
    EXPECT_FALSE(wnd->BRefresh->isEnabled());
    EXPECT_FALSE(wnd->popTreeCheckMail->isEnabled());
    EXPECT_TRUE(wnd->TBAbort->isEnabled());
    wnd->TBAbort->click();
    EXPECT_EQ(interrupts, 1);
    wnd->SetBusy(false);
    EXPECT_TRUE(wnd->Tree->isEnabled());
    EXPECT_FALSE(wnd->TBAbort->isEnabled());
}

TEST_F(MainWindowTest, WindowKeysActOnlyWhenTheirCommandIsEnabled)
{
    MailAccount* a = AddAccount("a", "Alpha", false, 1);
    CreateWindow();
    wnd->show();
    int composed = 0;
    int about = 0;
    wnd->commands.compose = [&](MessageRecord* m, MailAccount* acc, int mode) {
        EXPECT_EQ(m, nullptr);
        EXPECT_EQ(acc, a);
        EXPECT_EQ(mode, 3);
        ++composed;
    };
    wnd->commands.about = [&] { ++about; };
    int help = 0;
    wnd->commands.help = [&] { ++help; };
    wnd->UpdateWindowState();
    wnd->Tree->setFocus();
    QTest::keyClick(wnd->Tree, Qt::Key_N, Qt::ControlModifier); // nothing shown yet
    EXPECT_EQ(composed, 0);
    Select({a});
    wnd->MsgList->setFocus();
    QTest::keyClick(wnd->MsgList, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(composed, 1);
    QTest::keyClick(wnd->MsgList, Qt::Key_F2);
    EXPECT_EQ(about, 1);
    wnd->SetBusy(true); // BInfo is disabled while busy
    QTest::keyClick(wnd->MsgList, Qt::Key_F2);
    EXPECT_EQ(about, 1);
    QTest::keyClick(wnd->MsgList, Qt::Key_F1); // the manual, also while busy
    EXPECT_EQ(help, 1);
    QTest::keyClick(wnd->MsgList, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(help, 1);
    wnd->SetBusy(false);
}

TEST_F(MainWindowTest, TreeHintOnTheFirstTwoVisitsOnly)
{
    CreateWindow();
    EXPECT_EQ(wnd->Tree->toolTip(), "Mail accounts; double click an account to edit its settings");
    for (int i = 0; i < 3; ++i) {
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(wnd->Tree, &enter);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(wnd->Tree, &leave);
    }
    EXPECT_EQ(wnd->TreeHintAllowance(), 0);
    EXPECT_FALSE(wnd->TreeHintsOn());
}

TEST_F(MainWindowTest, WebmailCaptionOfTheClientButton)
{
    MailAccount* a = AddAccount("a", "Alpha", false, 1);
    MailAccount* b = AddAccount("b", "Beta", false, 1);
    b->ClientKind() = 1;
    b->WebmailAddress() = "https://mail.example.org";
    CreateWindow();
    Select({a});
    EXPECT_EQ(wnd->BClient->text(), "Client");
    Select({b});
    EXPECT_EQ(wnd->BClient->text(), "Webmail");
    b->WebmailAddress().clear();
    wnd->UpdateWindowState();
    EXPECT_EQ(wnd->BClient->text(), "Client");
    EXPECT_EQ(wnd->BTray->text(), "To tray");
    AppSettings().CrossHides = true;
    wnd->UpdateWindowState();
    EXPECT_EQ(wnd->BTray->text(), "Exit");
}

} // namespace

// A window started in the tray and ended from there was never shown: the
// placement, tree width and last account it would save are its defaults, so
// the values loaded from the settings stay.
TEST_F(MainWindowTest, NeverShownWindowKeepsTheLoadedWindowState)
{
    AddAccount("a", "Alpha", false, 1);
    AppSettings().MainWndLeft = 40;
    AppSettings().MainWndTop = 30;
    AppSettings().MainWndRight = 1220;
    AppSettings().MainWndBottom = 770;
    AppSettings().MainWndHorzDiv = 230;
    AppSettings().LastAccount = "Alpha";
    CreateWindow();
    Settings copy = AppSettings();
    wnd->CopyWindowState(copy);
    EXPECT_EQ(copy.MainWndLeft, 40);
    EXPECT_EQ(copy.MainWndRight, 1220);
    EXPECT_EQ(copy.MainWndBottom, 770);
    EXPECT_EQ(copy.MainWndHorzDiv, 230);
    EXPECT_EQ(copy.LastAccount, "Alpha");
}

// The lock button shows the lock as it is: pressed only while locked, so a
// refused lock (automatic checks off) leaves it up.
TEST_F(MainWindowTest, LockButtonFollowsTheLockNotTheClick)
{
    CreateWindow();
    bool allow = false;
    bool locked = false;
    wnd->commands.lockToggle = [&] {
        if (allow)
            wnd->SetLockedLook(!locked);
        locked = allow ? !locked : locked;
    };
    wnd->SetBusy(false);
    wnd->TBLock->click(); // refused
    EXPECT_FALSE(wnd->TBLock->isChecked());
    allow = true;
    wnd->TBLock->click(); // locked
    EXPECT_TRUE(wnd->TBLock->isChecked());
    allow = false;
    wnd->TBLock->click(); // unlocking refused: stays locked
    EXPECT_TRUE(wnd->TBLock->isChecked());
}

// Every key released in the tree repeats the click step, Enter included
// (after the properties window it opened, the list follows the account).
TEST_F(MainWindowTest, KeysReleasedInTheTreeRepeatTheClickStep)
{
    MailAccount* a = AddAccount("a", "Alpha", false, 1);
    MailAccount* b = AddAccount("b", "Beta", false, 2);
    CreateWindow();
    wnd->show();
    Select({a});
    for (const int key : {int(Qt::Key_Down), int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        SCOPED_TRACE(key);
        wnd->Tree->clearSelection();
        wnd->NodeOf(b)->setSelected(true);
        ASSERT_EQ(wnd->ShownMailbox(), &a->Box());
        QTest::keyRelease(wnd->Tree, Qt::Key(key));
        EXPECT_EQ(wnd->ShownMailbox(), &b->Box());
        Select({a});
    }
}

// The welcome page's "add account" link opens the wizard, but not while a
// POP3 operation owns the account list.
TEST_F(MainWindowTest, WelcomePageAddsAnAccountOnlyWhenIdle)
{
    CreateWindow();
    wnd->show();
    for (const bool busy : {true, false}) {
        wnd->SetBusy(busy);
        bool wizardShown = false;
        bool looked = false;
        QTimer::singleShot(0, [&] {
            if (auto* wiz = qobject_cast<AccountWizard*>(TranslatedWindow::CurrentModalWindow())) {
                wizardShown = true;
                wiz->close();
            }
            looked = true;
        });
        EXPECT_FALSE(wnd->WelcomeFrame->LinkClicked(QUrl(QStringLiteral("http://addaccount"))));
        ASSERT_TRUE(QTest::qWaitFor([&] { return looked; }, 5000)) << busy;
        EXPECT_EQ(wizardShown, !busy) << busy;
    }
}
