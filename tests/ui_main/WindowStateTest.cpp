// The main window's look as it grows and comes back: the message list's
// columns fill the list and keep the widths the user set, the account tree
// shows whole captions (or says them in a tooltip) and marks a failing
// account, and a maximised window is maximised again after a restart.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

#include "config/Settings.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/view/PreviewPane.h"
#include "ui_main/Fixtures.h"

using namespace vm;
using vmtest::Day;
using vmtest::MakeMessage;

namespace {

class WindowStateTest : public vmtest::MainWindowTestBase
{
protected:
    MailAccount* AddAccount(const QByteArray& friendly, int messages)
    {
        auto* a = new MailAccount(&Accounts());
        a->Login() = "user";
        a->FriendlyName() = friendly;
        a->Server() = "pop.example.org";
        for (int i = 0; i < messages; ++i)
            a->Box().Add(MakeMessage("m" + QByteArray::number(i), "Sender <s@x>",
                                     "Subject " + QByteArray::number(i), Day(2030, 12, 28, 23, 58),
                                     2000000, true));
        a->Box().SetStale(false);
        Accounts().Add(a);
        return a;
    }

    // The window shown at a size, on the account's list, after its first
    // activation.
    void ShowWindow(MailAccount* account, QSize size)
    {
        wnd = std::make_unique<MainWindow>();
        wnd->resize(size);
        wnd->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(wnd.get()));
        wnd->RunFirstActivation();
        wnd->Tree->clearSelection();
        wnd->NodeOf(account)->setSelected(true);
        wnd->TreeClick();
        QTest::qWait(20);
    }

    int ColumnsWidth() const { return wnd->MsgList->header()->length(); }
};

// Whatever the window's width, the columns end at the list's right edge,
// also after the window grew; the date, the attachments caption and a size
// in megabytes fit their columns.
TEST_F(WindowStateTest, ColumnsFillTheListAndFollowTheWindow)
{
    MailAccount* a = AddAccount("Alpha", 3);
    for (const QSize size : {QSize(880, 600), QSize(1200, 700), QSize(1900, 1000)}) {
        SCOPED_TRACE(size.width());
        ShowWindow(a, size);
        MessageListView* list = wnd->MsgList;
        EXPECT_EQ(ColumnsWidth(), list->viewport()->width());

        QFont bold = list->font();
        bold.setBold(true);
        const QFontMetrics fm(bold);
        const QString date = MessageDateText(Day(2030, 12, 28, 23, 58));
        EXPECT_GE(list->columnWidth(2), fm.horizontalAdvance(date) + 10) << date.toStdString();
        EXPECT_GE(list->columnWidth(3), list->header()->sectionSizeHint(3));
        EXPECT_GE(list->columnWidth(4), fm.horizontalAdvance(QStringLiteral("1,023.00 MB")) + 10);

        wnd->resize(size + QSize(500, 100));
        QTest::qWait(20);
        EXPECT_EQ(ColumnsWidth(), list->viewport()->width());
        wnd.reset();
    }
}

// A border the user drags makes the widths the user's: they are saved and
// come back after a restart; widths never touched are not saved.
TEST_F(WindowStateTest, WidthsTheUserSetAreKeptAcrossARestart)
{
    MailAccount* a = AddAccount("Alpha", 3);
    ShowWindow(a, QSize(1200, 700));
    Settings untouched;
    wnd->CopyWindowState(untouched);
    EXPECT_EQ(untouched.MainWndColumnWidths, QString());

    QHeaderView* header = wnd->MsgList->header();
    const int before = header->sectionSize(0);
    const int border = header->sectionViewportPosition(0) + before - 1;
    const int y = header->height() / 2;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(border, y));
    QTest::mouseMove(header->viewport(), QPoint(border + 30, y));
    QTest::mouseMove(header->viewport(), QPoint(border + 60, y));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(border + 60, y));
    ASSERT_EQ(header->sectionSize(0), before + 60);
    const int dateWidth = header->sectionSize(2);
    EXPECT_EQ(ColumnsWidth(), wnd->MsgList->viewport()->width());

    Settings saved = AppSettings();
    wnd->CopyWindowState(saved);
    EXPECT_FALSE(saved.MainWndColumnWidths.isEmpty());
    wnd.reset();

    AppSettings() = saved;
    AppSettings().SaveWindowParams = false;
    ShowWindow(a, QSize(1500, 800));
    EXPECT_EQ(wnd->MsgList->columnWidth(0), before + 60);
    EXPECT_EQ(wnd->MsgList->columnWidth(2), dateWidth);
    EXPECT_EQ(ColumnsWidth(), wnd->MsgList->viewport()->width());

    // Widths that cannot be right are ignored for the defaults.
    for (const char* bad : {"10;20", "a;b;c;d;e", "0;100;100;100;100", "100;100;100;100;99999"})
        EXPECT_FALSE(wnd->MsgList->ApplyColumnWidthsText(QString::fromLatin1(bad))) << bad;
}

// A node whose caption the tree cannot show whole says it in its tooltip; a
// failing account is marked and its tooltip adds the error; both end when
// the tree is wide enough and the account works again.
TEST_F(WindowStateTest, TreeNodesShowWholeCaptionsOrSayThemAndMarkAFailingAccount)
{
    MailAccount* shortName = AddAccount("Home", 1);
    MailAccount* longName =
        AddAccount("A very long account name that no narrow tree can show in full", 12);
    ShowWindow(shortName, QSize(1200, 700));
    const QString longCaption =
        QStringLiteral("A very long account name that no narrow tree can show in full (12)");

    // The first activation widened the tree for the captions (a third of
    // the window at most).
    EXPECT_GT(wnd->LeftPanel->width(), 200);
    EXPECT_LE(wnd->LeftPanel->width(), wnd->centralWidget()->width() / 3);

    struct Case
    {
        const char* name;
        int treeWidth;
        bool failing;
        QString shortTip, longTip;
    };
    const QString error = QStringLiteral("Home: NetworkError - Connection refused");
    const std::vector<Case> cases = {
        {"narrow", 170, false, "", longCaption},
        {"narrow and failing", 170, true, "Home (1)\n" + error, longCaption},
        {"wide", 1000, false, "", ""},
        {"wide and failing", 1000, true, "Home (1)\n" + error, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wnd->resize(c.treeWidth == 1000 ? QSize(1800, 700) : QSize(1200, 700));
        ASSERT_TRUE(wnd->TrySetLeftWidth(c.treeWidth == 1000 ? 1000 : 170));
        if (c.failing)
            shortName->SetAttention(MailAccount::Attention::CheckFailed, error);
        else
            shortName->ClearAttention(MailAccount::Attention::CheckFailed);
        wnd->UpdateAccountCaptions();
        QTest::qWait(10);
        EXPECT_EQ(wnd->NodeToolTip(wnd->NodeOf(shortName)), c.shortTip);
        EXPECT_EQ(wnd->NodeToolTip(wnd->NodeOf(longName)), c.longTip);
        EXPECT_EQ(wnd->NodeOf(shortName)->icon(0).isNull(), !c.failing);
        EXPECT_TRUE(wnd->NodeOf(longName)->icon(0).isNull());
    }

    // The tooltip reaches the screen through the tree's help event.
    ASSERT_TRUE(wnd->TrySetLeftWidth(170));
    QTest::qWait(10);
    const QRect rect = wnd->Tree->visualItemRect(wnd->NodeOf(longName));
    QHelpEvent help(QEvent::ToolTip, rect.center(), wnd->Tree->viewport()->mapToGlobal(rect.center()));
    QApplication::sendEvent(wnd->Tree->viewport(), &help);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QToolTip::text() == longCaption; }, 2000))
        << QToolTip::text().toStdString();
    QToolTip::hideText();
}

// "Remember the main window's position and size" keeps the maximised state
// with the normal rectangle; a window that was not maximised stays normal.
TEST_F(WindowStateTest, AMaximisedWindowIsMaximisedAgainAfterARestart)
{
    MailAccount* a = AddAccount("Alpha", 1);
    for (const bool maximised : {true, false}) {
        SCOPED_TRACE(maximised);
        AppSettings().SaveWindowParams = true;
        AppSettings().MainWndLeft = 0;
        AppSettings().MainWndTop = 20;
        AppSettings().MainWndRight = 860;
        AppSettings().MainWndBottom = 540;
        AppSettings().MainWndMaximized = maximised;
        ShowWindow(a, QSize(900, 600));
        EXPECT_TRUE(QTest::qWaitFor([&] { return wnd->isMaximized() == maximised; }, 2000));
        EXPECT_EQ(wnd->normalGeometry().top(), 20);
        EXPECT_EQ(wnd->normalGeometry().height(), 520);

        Settings saved;
        wnd->CopyWindowState(saved);
        EXPECT_EQ(saved.MainWndMaximized, maximised);
        EXPECT_EQ(saved.MainWndTop, 20);
        EXPECT_EQ(saved.MainWndBottom, 540);
        // Hidden (as in the tray) it keeps the state it had.
        wnd->hide();
        wnd->CopyWindowState(saved);
        EXPECT_EQ(saved.MainWndMaximized, maximised);
        wnd.reset();
    }
}

} // namespace
