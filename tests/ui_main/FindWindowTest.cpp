// The find window over a real main window: find and find next across the
// "more" row, filtering, the empty list and the refusal while busy.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "lang/LangStartup.h"
#include "ui/main/FindWindow.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui_main/Fixtures.h"

using namespace vm;
using vmtest::Day;
using vmtest::MakeMessage;

namespace {

class FindWindowTest : public vmtest::MainWindowTestBase
{
protected:
    void SetUp() override
    {
        MainWindowTestBase::SetUp();
        AppSettings().MainWndColumn = 2;           // by date,
        AppSettings().MainWndSortAscending = true; // old messages first
        AppSettings().OldMessagesThreshold = Day(2025, 1, 1);
    }
    void TearDown() override
    {
        find.reset();
        MainWindowTestBase::TearDown();
    }

    // An account with the given (uidl, subject, year, new) messages, shown.
    MailAccount* Show(const QList<std::tuple<QByteArray, QByteArray, int, bool>>& rows,
                      bool hideOld = false)
    {
        auto* a = new MailAccount(&Accounts());
        a->Login() = "user" + QByteArray::number(Accounts().Count());
        a->Server() = "pop.example.org";
        for (const auto& [uidl, subject, year, isNew] : rows)
            a->Box().Add(MakeMessage(uidl, "Sender <s@x>", subject, Day(year, 1, 1), 10, isNew));
        a->Box().SetStale(false);
        Accounts().Add(a);
        if (!wnd) {
            wnd = std::make_unique<MainWindow>();
            wnd->resize(1000, 700);
            wnd->BuildAccountTree();
            find = std::make_unique<FindWindow>(*wnd);
        }
        wnd->BuildAccountTree();
        wnd->SetHideOldMessages(hideOld);
        wnd->Tree->clearSelection();
        wnd->NodeOf(a)->setSelected(true);
        wnd->Tree->setCurrentItem(wnd->NodeOf(a), 0, QItemSelectionModel::NoUpdate);
        wnd->TreeClick();
        return a;
    }

    void SetPhrase(const QString& phrase)
    {
        find->Phrase->setEditText(phrase);
        find->CBSubject->setChecked(true);
    }

    QStringList Rows() const
    {
        QStringList out;
        for (int r = 0; r < wnd->ListModel->rowCount(); ++r) {
            MessageRecord* m = wnd->ListModel->MessageAt(r);
            out << (m ? QString::fromLatin1(m->UID) : QStringLiteral("..."));
        }
        return out;
    }

    QString Selected() const
    {
        const QList<int> rows = wnd->MsgList->SelectedRows();
        return rows.size() == 1 ? QString::fromLatin1(wnd->ListModel->MessageAt(rows[0])->UID)
                                : QString::number(rows.size()) + " rows";
    }

    QStringList Shown()
    {
        QStringList out;
        for (const MessageRequest& r : messages.shown)
            out << r.text;
        messages.shown.clear();
        return out;
    }

    std::unique_ptr<FindWindow> find;
};

const QString kNotFound = QStringLiteral("Phrase not found.");
const QString kEmpty = QStringLiteral("Message list is empty.");
const QString kSearchOld = QStringLiteral(
    "Phrase has not been found among visible messages - do you want to search also the "
    "archival ones?");

TEST_F(FindWindowTest, FindNextGoesOnIntoRevealedOldMessagesWithoutSkippingAny)
{
    Show({{"old-hit", "report", 2020, false},
          {"old-miss", "other", 2021, false},
          {"new-hit", "report", 2030, false},
          {"new-miss", "other", 2031, false}},
         true);
    ASSERT_EQ(Rows(), QStringList({"new-hit", "new-miss", "..."}));
    SetPhrase("REPORT");
    ASSERT_TRUE(find->BFind->isEnabled());
    EXPECT_FALSE(find->BNext->isEnabled());
    find->Find();
    EXPECT_EQ(Selected(), "new-hit");
    EXPECT_TRUE(find->BNext->isEnabled());
    EXPECT_EQ(find->Phrase->count(), 1); // the phrase joined the history

    // The "more" row asks; the revealed old messages sort before the rows
    // already searched, and the search finds the one that matches there.
    find->FindNext();
    EXPECT_EQ(Shown(), QStringList({kSearchOld}));
    EXPECT_EQ(Rows(), QStringList({"old-hit", "old-miss", "new-hit", "new-miss"}));
    EXPECT_EQ(Selected(), "old-hit");

    find->FindNext();
    EXPECT_EQ(Selected(), "new-hit");
    find->FindNext();
    EXPECT_EQ(Shown(), QStringList({kNotFound}));
    EXPECT_FALSE(find->Found());
    EXPECT_FALSE(find->BNext->isEnabled());
}

TEST_F(FindWindowTest, DecliningOldMessagesReportsNothingMore)
{
    Show({{"old-hit", "report", 2020, false}, {"new-miss", "other", 2030, false}}, true);
    SetPhrase("report");
    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    find->Find();
    EXPECT_EQ(Shown(), QStringList({kSearchOld})); // no "not found" after the No
    EXPECT_EQ(Rows(), QStringList({"new-miss", "..."}));
    EXPECT_FALSE(find->Found());
}

TEST_F(FindWindowTest, EmptyListAndNothingFound)
{
    Show({});
    SetPhrase("zzz");
    find->Find();
    find->FindNext();
    EXPECT_EQ(Shown(), QStringList({kEmpty, kEmpty}));

    Show({{"a", "alpha", 2030, false}});
    ASSERT_EQ(Rows(), QStringList({"a"}));
    find->Find();
    EXPECT_EQ(Shown(), QStringList({kNotFound}));
}

TEST_F(FindWindowTest, FilterKeepsNewMessagesFollowsMailboxesAndIsRemovedFromTheList)
{
    Show({{"b1", "beta", 2030, false}});
    Show(
        {{"a1", "alpha", 2030, false}, {"b2", "beta", 2030, false}, {"n1", "new one", 2030, true}});
    SetPhrase("beta");
    find->CBNewMsgFiltering->setChecked(true); // new messages are never filtered out
    EXPECT_FALSE(find->BUnfilter->isEnabled());
    find->Filter();
    EXPECT_EQ(Rows(), QStringList({"b2", "n1"}));
    EXPECT_TRUE(find->BUnfilter->isEnabled());
    EXPECT_TRUE(wnd->SBUnfilterList->isVisibleTo(wnd.get()));
    EXPECT_FALSE(AppSettings().New);

    find->CBNewMsgFiltering->setChecked(false);
    find->Filter();
    EXPECT_EQ(Rows(), QStringList({"b2"}));

    // Another mailbox is shown filtered too.
    wnd->Tree->clearSelection();
    wnd->NodeOf(Accounts().At(0))->setSelected(true);
    wnd->TreeClick();
    EXPECT_EQ(Rows(), QStringList({"b1"}));

    wnd->SBUnfilterList->click();
    EXPECT_EQ(Rows(), QStringList({"b1"}));
    EXPECT_FALSE(wnd->SBUnfilterList->isVisibleTo(wnd.get()));
    find->UpdateButtons();
    EXPECT_FALSE(find->BUnfilter->isEnabled());
}

TEST_F(FindWindowTest, EveryCommandIsRefusedWhileAnOperationRuns)
{
    Show({{"a1", "alpha", 2030, false}, {"a2", "alpha", 2030, false}});
    SetPhrase("alpha");
    find->Find();
    ASSERT_EQ(Selected(), "a1");
    bool busy = true;
    find->busy = [&busy] { return busy; };
    find->FindNext();
    find->Filter();
    EXPECT_EQ(Selected(), "a1");
    EXPECT_EQ(Rows(), QStringList({"a1", "a2"}));
    EXPECT_FALSE(wnd->findFilter);
    EXPECT_TRUE(Shown().isEmpty());
    busy = false;
    find->FindNext();
    EXPECT_EQ(Selected(), "a2");
}

} // namespace

// Every button and check box of the window takes its caption from the
// language file (section FINDWND), so a translation reaches each of them.
TEST_F(FindWindowTest, EveryCaptionComesFromTheLanguageFile)
{
    Show({});
    const QList<QAbstractButton*> buttons = find->findChildren<QAbstractButton*>();
    ASSERT_GE(buttons.size(), 12);
    for (const QAbstractButton* b : buttons) {
        SCOPED_TRACE(b->objectName().toStdString());
        ASSERT_FALSE(b->objectName().isEmpty());
        EXPECT_FALSE(LangText(QStringLiteral("FINDWND"), b->objectName()).isEmpty());
    }
}
