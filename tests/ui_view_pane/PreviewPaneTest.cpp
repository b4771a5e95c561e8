// The preview pane inside the real main window, offscreen: the selection
// delay, the caption and the tool bar's enabling, showing and hiding with the
// remembered height, the settings it keeps, the new flag of NewMessagesStyle
// 2, the busy window, and the routing of right clicks and Ctrl keys.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/LangStartup.h"
#include "lang/LanguageShell.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/view/AttachmentsWindow.h"
#include "ui/view/HtmlView.h"
#include "ui/view/MessageView.h"
#include "ui/view/PreviewPane.h"
#include "ui_main/Fixtures.h"

using namespace vm;
using vmtest::Day;
using vmtest::MakeMessage;

namespace {

// A whole message with one attached file.
MessageRecord* MakeMessageWithAttachment(const QByteArray& uidl, vm::TDateTime date)
{
    auto* m = new MessageRecord;
    m->UID = uidl;
    m->size = 900;
    m->headersOnly = false;
    m->raw = "From: Ann <ann@x>\r\nSubject: Report\r\nMIME-Version: 1.0\r\n"
             "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
             "--b\r\nContent-Type: text/plain\r\n\r\nSee the file.\r\n"
             "--b\r\nContent-Type: application/pdf; name=\"r.pdf\"\r\n"
             "Content-Disposition: attachment; filename=\"r.pdf\"\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0=\r\n--b--\r\n";
    m->ParseWholeDeferred();
    m->Date = date;
    return m;
}

MessageRecord* MakeUidlOnly(const QByteArray& uidl, vm::TDateTime date)
{
    auto* m = new MessageRecord;
    m->UID = uidl;
    m->noHeaders = true;
    m->Date = date;
    return m;
}

// Records key and mouse events that reach a widget.
class EventRecorder : public QObject
{
public:
    QList<QEvent::Type> seen;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::ContextMenu:
            seen.append(e->type());
            break;
        default:
            break;
        }
        return false;
    }
};

class PreviewPaneTest : public vmtest::MainWindowTestBase
{
protected:
    void SetUp() override
    {
        MainWindowTestBase::SetUp();
        AppSettings().OldMessagesDefHidden = false;
    }

    MailAccount* AddAccount(const QList<MessageRecord*>& records)
    {
        auto* a = new MailAccount(&Accounts());
        a->Login() = "user";
        a->FriendlyName() = "Alpha";
        a->Server() = "pop.example.org";
        for (MessageRecord* m : records)
            a->Box().Add(m);
        a->Box().SetStale(false);
        a->Box().SetLastCheck(Day(2030, 2, 1));
        Accounts().Add(a);
        return a;
    }
    // n whole messages, dated one day apart, so rows follow the index.
    static QList<MessageRecord*> WholeMessages(int n)
    {
        QList<MessageRecord*> out;
        for (int i = 0; i < n; ++i)
            out << MakeMessage("w" + QByteArray::number(i), "Sender <s@x>",
                               "Subject " + QByteArray::number(i), Day(2030, 1, 1 + i), 500, false,
                               true);
        return out;
    }

    // The window with the account shown; the list commands that exist today.
    void CreateWindow(MailAccount* account, bool show = false)
    {
        wnd = std::make_unique<MainWindow>();
        wnd->commands.deleteOnServer = [this](const QList<MessageRecord*>&) { ++deletes; };
        wnd->commands.retrieveWhole = [this](const QList<MessageRecord*>&) { ++downloads; };
        wnd->resize(1000, 700);
        wnd->UpdateWindowState();
        pane = wnd->ViewFrame;
        QObject::connect(pane, &PreviewPane::messageRendered,
                         [this](MessageRecord* m) { rendered.append(m); });
        QObject::connect(pane, &PreviewPane::noticeShown, [this] { ++notices; });
        if (show) {
            wnd->show();
            wnd->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(wnd.get()));
            wnd->RunFirstActivation();
        }
        wnd->Tree->clearSelection();
        wnd->NodeOf(account)->setSelected(true);
        wnd->TreeClick();
        Settle();
        rendered.clear();
        notices = 0;
    }

    // Waits for the selection delay to run out (generously).
    void Settle()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !pane->SelectItemTimer->isActive(); }, 5000));
    }
    // Nothing more is on its way: no selection delay runs, and an event
    // posted now, behind everything posted before, has been handled.
    void Quiet()
    {
        Settle();
        bool handled = false;
        QMetaObject::invokeMethod(pane, [&handled] { handled = true; }, Qt::QueuedConnection);
        EXPECT_TRUE(QTest::qWaitFor([&handled] { return handled; }, 5000));
        EXPECT_FALSE(pane->SelectItemTimer->isActive());
    }

    void SelectRows(const QList<int>& rows)
    {
        QItemSelectionModel* sm = wnd->MsgList->selectionModel();
        sm->clearSelection();
        for (int r : rows)
            sm->select(wnd->ListModel->index(r, 0),
                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (!rows.isEmpty())
            sm->setCurrentIndex(wnd->ListModel->index(rows.first(), 0),
                                QItemSelectionModel::NoUpdate);
    }

    PreviewPane* pane = nullptr;
    QList<MessageRecord*> rendered;
    int notices = 0;
    int deletes = 0;
    int downloads = 0;
};

TEST_F(PreviewPaneTest, ArrowKeysOverSeveralRowsRenderOnlyWhereTheSelectionStops)
{
    const QList<MessageRecord*> msgs = WholeMessages(5);
    MailAccount* a = AddAccount(msgs);
    CreateWindow(a, true);
    SelectRows({0});
    Settle();
    ASSERT_EQ(rendered, QList<MessageRecord*>({msgs[0]}));
    rendered.clear();

    wnd->MsgList->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(wnd->MsgList, Qt::Key_Down);
    ASSERT_EQ(wnd->MsgList->SelectedRows(), QList<int>({3}));
    EXPECT_TRUE(rendered.isEmpty()); // nothing before the delay
    EXPECT_TRUE(QTest::qWaitFor([this] { return !rendered.isEmpty(); }, 5000));
    Quiet(); // no late renderings of the rows passed over
    EXPECT_EQ(rendered, QList<MessageRecord*>({msgs[3]}));
    EXPECT_EQ(pane->PCaption->text(), "\"Subject 3\" from Sender <s@x>");
    // The parts were let go again after rendering.
    EXPECT_TRUE(msgs[3]->TextParts().isEmpty());

    // A refill serves a pending delay once instead of rendering twice.
    rendered.clear();
    QTest::keyClick(wnd->MsgList, Qt::Key_Down);
    wnd->ShowMailbox(&a->Box());
    EXPECT_TRUE(QTest::qWaitFor([this] { return !rendered.isEmpty(); }, 5000));
    Quiet();
    EXPECT_EQ(rendered, QList<MessageRecord*>({msgs[4]}));
}

TEST_F(PreviewPaneTest, CaptionButtonsAndViewFollowTheSelection)
{
    struct Case
    {
        const char* name;
        QList<int> select;
        bool rendered; // else the notice
        QString caption;
        bool first, previous, next, last, reply, details, attachments, deleteDownload;
    };
    // Rows in date order: 0 whole, 1 whole with attachment, 2 headers only,
    // 3 UIDL only, 4 whole.
    const QString plain = QStringLiteral("\"Subject 0\" from Sender <s@x>");
    // clang-format off
    const std::vector<Case> cases = {
        {"first row", {0}, true, plain, false, false, true, true, true, true, false, true},
        {"attachment", {1}, true, "\"Report\" from Ann <ann@x>", true, true, true, true, true, true,
         true, true},
        {"headers only", {2}, false, "\"Head\" from Bob <bob@x>", true, true, true, true, true,
         true, false, true},
        {"uidl only", {3}, false, "\"\" from", true, true, true, true, true, false, false, true},
        {"last row", {4}, true, "\"Subject 4\" from Sender <s@x>", true, true, false, false, true,
         true, false, true},
        {"two rows", {0, 1}, false, "", false, false, false, false, false, false, false, true},
        {"no row", {}, false, "", false, false, false, false, false, false, false, false},
    };
    // clang-format on
    QList<MessageRecord*> msgs = WholeMessages(5);
    delete msgs[1];
    delete msgs[2];
    delete msgs[3];
    msgs[1] = MakeMessageWithAttachment("att", Day(2030, 1, 2));
    msgs[2] = MakeMessage("head", "Bob <bob@x>", "Head", Day(2030, 1, 3), 700);
    msgs[3] = MakeUidlOnly("uidl", Day(2030, 1, 4));
    MailAccount* a = AddAccount(msgs);
    CreateWindow(a);
    wnd->commands.details = [](MessageRecord*) {};
    wnd->commands.compose = [](MessageRecord*, MailAccount*, int) {};
    wnd->UpdateWindowState();
    pane->hooks.attachments = [](MessageRecord*, QWidget*) {};

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rendered.clear();
        notices = 0;
        SelectRows(c.select);
        Settle();
        EXPECT_EQ(rendered.size(), c.rendered ? 1 : 0);
        EXPECT_EQ(notices, c.rendered ? 0 : 1);
        EXPECT_EQ(pane->PCaption->text(), c.caption);
        EXPECT_EQ(pane->SBFirst->isEnabled(), c.first);
        EXPECT_EQ(pane->SBPrevious->isEnabled(), c.previous);
        EXPECT_EQ(pane->SBNext->isEnabled(), c.next);
        EXPECT_EQ(pane->SBLast->isEnabled(), c.last);
        EXPECT_EQ(pane->SBReply->isEnabled(), c.reply);
        EXPECT_EQ(pane->SBForward->isEnabled(), c.reply);
        EXPECT_EQ(pane->SBDetails->isEnabled(), c.details);
        EXPECT_EQ(pane->SBAttachments->isEnabled(), c.attachments);
        EXPECT_EQ(pane->SBDelete->isEnabled(), c.deleteDownload);
        EXPECT_EQ(pane->SBDownload->isEnabled(), c.deleteDownload);
    }

    // The words around subject and sender come from the language file.
    const QString polish = dataDir + "polski.lng";
    {
        QFile f(polish);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[HEAD]\nSymbol=PL\nName=Polski\n[MSGVIEWFRAME]\nPreviewCaption=\"%s\" od %s\n");
    }
    ASSERT_TRUE(LoadLanguage(polish));
    SelectRows({0});
    Settle();
    EXPECT_EQ(pane->PCaption->text(), "\"Subject 0\" od Sender <s@x>");
    ASSERT_TRUE(LoadLanguage(dataDir + "english.lng"));

    // Hooks without work behind them keep their buttons off; show/hide work.
    wnd->commands.details = nullptr;
    wnd->commands.compose = nullptr;
    wnd->UpdateWindowState();
    SelectRows({0});
    Settle();
    EXPECT_FALSE(pane->SBDetails->isEnabled());
    EXPECT_FALSE(pane->SBReply->isEnabled());
    EXPECT_FALSE(pane->SBSearch->isEnabled());
    EXPECT_TRUE(pane->SBHidePreview->isEnabled());

    // Delete and download run the list commands for the selection.
    pane->SBDelete->click();
    pane->SBDownload->click();
    EXPECT_EQ(deletes, 1);
    EXPECT_EQ(downloads, 1);

    // Navigation lands where the buttons say (their enabling follows the
    // selection once it has settled).
    const std::pair<QToolButton*, int> steps[] = {
        {pane->SBLast, 4}, {pane->SBPrevious, 3}, {pane->SBFirst, 0}, {pane->SBNext, 1}};
    for (const auto& [button, row] : steps) {
        button->click();
        EXPECT_EQ(wnd->MsgList->SelectedRows(), QList<int>({row})) << button->objectName();
        Settle();
    }
    EXPECT_EQ(wnd->MsgList->FocusedRow(), 1);
}

TEST_F(PreviewPaneTest, AttachmentsButtonShowsTheMessagesAttachmentsModally)
{
    MessageRecord* msg = MakeMessageWithAttachment("att", Day(2030, 1, 2));
    MailAccount* a = AddAccount({msg});
    CreateWindow(a, true);
    SelectRows({0});
    Settle();
    ASSERT_TRUE(pane->SBAttachments->isEnabled());

    QStringList listed;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        auto* shown = qobject_cast<AttachmentsWindow*>(QApplication::activeModalWidget());
        if (!shown)
            return;
        modal = true;
        for (int i = 0; i < shown->Attachments->topLevelItemCount(); ++i)
            listed.append(shown->Attachments->topLevelItem(i)->text(0));
        shown->reject();
    });
    pane->SBAttachments->click();
    QCoreApplication::processEvents(); // the check runs within this test either way
    EXPECT_TRUE(modal);
    EXPECT_EQ(listed, QStringList{"r.pdf"});
    // The parts parsed for the window were let go when it closed.
    EXPECT_TRUE(msg->Attachments().isEmpty());
}

TEST_F(PreviewPaneTest, OneMessageAndTheMoreRowLeaveNoWayToMove)
{
    AppSettings().OldMessagesDefHidden = true;
    AppSettings().OldMessagesThreshold = Day(2030, 1, 5);
    QList<MessageRecord*> msgs = WholeMessages(2); // both old
    msgs << MakeMessage("recent", "Sender <s@x>", "Recent", Day(2030, 1, 10), 500, false, true);
    MailAccount* a = AddAccount(msgs);
    CreateWindow(a);
    ASSERT_EQ(wnd->ListModel->rowCount(), 2);
    ASSERT_TRUE(wnd->ListModel->IsMoreRow(1));
    SelectRows({0});
    Settle();
    EXPECT_EQ(rendered, QList<MessageRecord*>({msgs[2]}));
    for (QToolButton* b : {pane->SBFirst, pane->SBPrevious, pane->SBNext, pane->SBLast})
        EXPECT_FALSE(b->isEnabled()) << b->objectName();
    pane->SBNextClick();
    EXPECT_EQ(wnd->MsgList->SelectedRows(), QList<int>({0}));
}

TEST_F(PreviewPaneTest, HideResizeShowKeepsTheHeightClippedToLeaveTheListItsMinimum)
{
    MailAccount* a = AddAccount(WholeMessages(3));
    CreateWindow(a, true);
    const int head = PreviewPane::kHeaderHeight;
    const int split = PreviewPane::kSplitterHeight;
    const int h = pane->height();
    ASSERT_GT(h, 350 + head + split + PreviewPane::kMinimumHeight);

    pane->SetPreviewHeight(350);
    EXPECT_EQ(pane->MsgViewFrame->height(), 350);
    EXPECT_EQ(pane->PTop->height(), h - 350 - head - split);

    // The splitter accepts list heights strictly inside the two minimums.
    EXPECT_FALSE(pane->TrySetListHeight(PreviewPane::kMinimumHeight));
    EXPECT_FALSE(pane->TrySetListHeight(h - PreviewPane::kMinimumHeight));
    EXPECT_TRUE(pane->TrySetListHeight(200));
    EXPECT_EQ(pane->PTop->height(), 200);
    EXPECT_EQ(pane->PreviewHeight(), h - 200 - head - split);
    pane->SetPreviewHeight(350);

    pane->SBHidePreview->click();
    EXPECT_FALSE(pane->PreviewShown());
    EXPECT_FALSE(pane->Splitter->isVisible());
    EXPECT_FALSE(pane->ToolBar->isVisible());
    EXPECT_FALSE(pane->MsgViewFrame->isVisible());
    EXPECT_TRUE(pane->SBShowPreview->isVisible());
    EXPECT_EQ(pane->PHead->height(), pane->SBShowPreview->height());
    EXPECT_EQ(pane->PTop->height(), h - pane->SBShowPreview->height());
    EXPECT_EQ(pane->PreviewHeight(), 350);
    EXPECT_EQ(pane->SBShowPreview->toolTip(), "Show preview"); // MAINWND covers the pane
    EXPECT_GT(pane->SBShowPreview->x(), pane->width() / 2);

    // Smaller while hidden: the height is kept, and clipped when shown.
    wnd->resize(1000, 500);
    QTest::qWait(1);
    const int small = pane->height();
    ASSERT_LT(small - 350 - head - split, PreviewPane::kMinimumHeight);
    EXPECT_EQ(pane->PreviewHeight(), 350);
    rendered.clear();
    pane->SBShowPreview->click();
    EXPECT_TRUE(pane->PreviewShown());
    EXPECT_TRUE(pane->ToolBar->isVisible());
    EXPECT_FALSE(pane->SBShowPreview->isVisible());
    EXPECT_EQ(pane->PTop->height(), PreviewPane::kMinimumHeight);
    EXPECT_EQ(pane->PreviewHeight(), small - head - split - PreviewPane::kMinimumHeight);
    EXPECT_EQ(pane->MsgViewFrame->height(), pane->PreviewHeight());
}

TEST_F(PreviewPaneTest, HeightAndShownStateAreSavedAndRestored)
{
    for (const bool shown : {false, true}) {
        SCOPED_TRACE(shown);
        SetUp();
        MailAccount* a = AddAccount(WholeMessages(2));
        CreateWindow(a, true);
        pane->SetPreviewHeight(222);
        pane->SetPreviewShown(shown);
        Settings saved = AppSettings();
        wnd->CopyWindowState(saved);
        EXPECT_EQ(saved.MainWndVertDiv, 222);
        EXPECT_EQ(saved.MainWndPreview, shown);
        wnd.reset();

        AppSettings() = saved;
        CreateWindow(a, true);
        EXPECT_EQ(pane->PreviewShown(), shown);
        EXPECT_EQ(pane->PreviewHeight(), 222);
        EXPECT_EQ(pane->MsgViewFrame->isVisible(), shown);
        wnd.reset();
        Accounts().Clear();
    }
}

TEST_F(PreviewPaneTest, NewMessagesStyleTwoEndsTheFlagOfAWholeMessageShown)
{
    struct Case
    {
        int style;
        bool whole;
        bool previewShown;
        bool newAfter;
    };
    const Case cases[] = {
        {2, true, true, false}, {2, false, true, true}, {2, true, false, true},
        {1, true, true, true},  {0, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.style << c.whole << c.previewShown);
        AppSettings().NewMessagesStyle = c.style;
        MessageRecord* m =
            MakeMessage("n", "Sender <s@x>", "New", Day(2030, 1, 1), 500, true, c.whole);
        MailAccount* a = AddAccount({m});
        CreateWindow(a);
        pane->SetPreviewShown(c.previewShown);
        SelectRows({0});
        Settle();
        EXPECT_EQ(m->IsNew(), c.newAfter);
        if (c.previewShown) { // the buttons follow the flag the rendering ended
            EXPECT_EQ(pane->SBUncheckNew->isEnabled(), c.newAfter);
        }
        wnd.reset();
        Accounts().Clear();
    }
}

// A message held as headers only shows what its header says and how to get
// the rest (the command and its key); nothing or several rows selected say
// so in words. The same in the page and in the plain text box.
TEST_F(PreviewPaneTest, HeadersOnlyAndEmptySelectionsAreSaidInWords)
{
    struct Case
    {
        const char* name;
        QList<int> select;
        QStringList shown; // parts of the page's or box's text
    };
    const std::vector<Case> cases = {
        {"headers only", {1},
         {"From:", "Bob &lt;bob@x&gt;", "To:", "Ann &lt;ann@y&gt;", "Subject:", "Head &amp; shoulders",
          "Only the headers of this message are held", "&quot;Retrieve whole&quot;", "(Ctrl+D)"}},
        {"nothing", {}, {"No message is selected."}},
        {"two rows", {0, 1}, {"2 messages are selected."}},
    };
    for (const bool html : {true, false}) {
        AppSettings().DHTMLPreview = html;
        // (The sender's line carries a To line after it.)
        MessageRecord* head = MakeMessage("head", "Bob <bob@x>\r\nTo: Ann <ann@y>",
                                          "Head & shoulders", Day(2030, 1, 3), 700);
        MailAccount* a = AddAccount({MakeMessage("w", "Sender <s@x>", "Whole", Day(2030, 1, 1),
                                                 500, false, true),
                                     head});
        CreateWindow(a);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (html ? " (page)" : " (text box)"));
            notices = 0;
            SelectRows(c.select);
            Settle();
            EXPECT_EQ(notices, 1);
            QString text;
            if (html) {
                QFile page(pane->MsgViewFrame->PageFilePath());
                ASSERT_TRUE(page.open(QIODevice::ReadOnly));
                text = QString::fromUtf8(page.readAll());
            } else {
                text = pane->MsgViewFrame->TextBox->toPlainText();
            }
            for (QString part : c.shown) {
                if (!html)
                    part.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
                EXPECT_TRUE(text.contains(part)) << part.toStdString() << " in " << text.toStdString();
            }
            EXPECT_FALSE(text.contains("View inaccessible"));
        }
        wnd.reset();
        Accounts().Clear();
    }
}

TEST_F(PreviewPaneTest, AReceiptRequestIsOfferedOnceAndOnceMoreWhenTheWholeMessageArrives)
{
    MessageRecord* head = MakeMessage("r", "Sender <s@x>", "Receipt", Day(2030, 1, 1), 500);
    head->receiptState = 1;
    MailAccount* a =
        AddAccount({head, MakeMessage("p", "Sender <s@x>", "Plain", Day(2030, 1, 2), 500)});
    CreateWindow(a);
    QList<QByteArray> offered;
    wnd->commands.receipt = [&](MessageRecord* m) { offered << m->UID; };

    SelectRows({0});
    Settle();
    wnd->ShowMailbox(&a->Box()); // the same row again
    Settle();
    EXPECT_EQ(offered, QList<QByteArray>({"r"}));

    MessageRecord* whole =
        MakeMessage("r", "Sender <s@x>", "Receipt", Day(2030, 1, 1), 500, false, true);
    whole->receiptState = 1;
    a->Box().Replace(0, whole);
    wnd->ShowMailbox(&a->Box());
    delete head;
    Settle();
    EXPECT_EQ(offered, QList<QByteArray>({"r", "r"}));

    // Once answered it is not offered again.
    whole->receiptState = 2;
    SelectRows({1});
    Settle();
    SelectRows({0});
    Settle();
    EXPECT_EQ(offered, QList<QByteArray>({"r", "r"}));
}

TEST_F(PreviewPaneTest, ABusyWindowLeavesTheRecordsAlone)
{
    const QList<MessageRecord*> msgs = WholeMessages(3);
    MailAccount* a = AddAccount(msgs);
    CreateWindow(a);
    SelectRows({1});
    Settle();
    ASSERT_EQ(rendered.size(), 1);
    ASSERT_TRUE(pane->SBDelete->isEnabled());
    rendered.clear();

    wnd->SetBusy(true);
    EXPECT_FALSE(pane->isEnabled());
    EXPECT_FALSE(pane->SBHidePreview->isEnabled());
    EXPECT_EQ(pane->cursor().shape(), Qt::WaitCursor);
    wnd->RefreshPreview(true);
    wnd->ShowMailbox(&a->Box());
    Settle();
    EXPECT_TRUE(rendered.isEmpty());
    EXPECT_EQ(notices, 0);

    // Enabling again brings the buttons back without rendering.
    wnd->SetBusy(false);
    EXPECT_TRUE(pane->SBDelete->isEnabled());
    EXPECT_TRUE(pane->SBHidePreview->isEnabled());
    EXPECT_EQ(pane->Splitter->cursor().shape(), Qt::SplitVCursor);
    EXPECT_TRUE(rendered.isEmpty());
}

TEST_F(PreviewPaneTest, RightClicksAndCtrlKeysOnThePreviewReachThePageMenu)
{
    MailAccount* a = AddAccount(WholeMessages(3));
    CreateWindow(a, true);
    SelectRows({0});
    Settle();
    HtmlView* view = pane->MsgViewFrame->DHTML;
    ASSERT_TRUE(view->isVisible());
    EventRecorder recorder;
    view->installEventFilter(&recorder);
    int selectAll = 0;
    int copyText = 0;
    QObject::connect(view->popDHTMLSelectAll, &QAction::triggered, [&] { ++selectAll; });
    QObject::connect(view->popDHTMLCopyText, &QAction::triggered, [&] { ++copyText; });
    auto enabledNow = [view](QAction* item) {
        view->UpdateMenu();
        return item->isEnabled() ? 1 : 0;
    };

    // Right button: the program's menu, never the page's.
    QTest::mousePress(view, Qt::RightButton);
    EXPECT_TRUE(view->popDHTML->isVisible());
    view->popDHTML->close();
    QTest::mouseRelease(view, Qt::RightButton);
    EXPECT_TRUE(recorder.seen.isEmpty());

    // Ctrl keys outside the list and the tree: C and A act on the page,
    // others go to the window's keys (Ctrl+N: new message) and none reaches
    // the page; plain keys do.
    int composed = 0;
    wnd->commands.compose = [&](MessageRecord*, MailAccount*, int) { ++composed; };
    wnd->UpdateWindowState();
    pane->SBHidePreview->setFocus();
    ASSERT_TRUE(pane->SBHidePreview->hasFocus());
    const int expectSelectAll = enabledNow(view->popDHTMLSelectAll);
    const int expectCopy = enabledNow(view->popDHTMLCopyText);
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(selectAll, expectSelectAll);
    EXPECT_EQ(copyText, expectCopy);
    EXPECT_EQ(composed, 1);
    EXPECT_TRUE(recorder.seen.isEmpty());
    QTest::keyClick(view, Qt::Key_X);
    EXPECT_EQ(recorder.seen, QList<QEvent::Type>({QEvent::KeyPress}));

    // With the list focused Ctrl+A is the list's own select all.
    wnd->MsgList->setFocus();
    ASSERT_TRUE(wnd->MsgList->hasFocus());
    selectAll = 0;
    QTest::keyClick(wnd->MsgList, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selectAll, 0);
    EXPECT_EQ(wnd->MsgList->SelectedRows(), QList<int>({0, 1, 2}));
}

} // namespace
