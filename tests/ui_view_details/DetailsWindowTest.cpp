// The details window offscreen: opened from the list's four paths, stepping
// without touching the list's selection, the page rule for headers-only
// messages, fetching and deleting through the real operations against the
// scripted fake server, saving, the attachment menu, replies, mail links,
// return receipts against the scripted fake SMTP server, and placement.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QToolButton>
#include <QUrl>

#include <functional>

#include "app/MailCheckCommands.h"
#include "app/MainWindowControl.h"
#include "config/Settings.h"
#include "core/AppInfo.h"
#include "core/Messages.h"
#include "lang/LangStartup.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "ops/ErrorList.h"
#include "support/FakeServer.h"
#include "support/Pop3Account.h"
#include "support/fake_smtp.h"
#include "support/GuiTestApp.h"
#include "ui/common/ErrorListWindow.h"
#include "ui/compose/AddressInput.h"
#include "ui/compose/ComposeWindow.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/view/DetailsWindow.h"
#include "ui/view/MessageView.h"
#include "ui/view/PreviewPane.h"

using namespace vm;
using vm::test::FakeServer;

namespace {

void EnsureApp()
{
    if (qApp)
        return;
    vmtest::MakeGuiTestApp();
    static QTemporaryDir dir;
    AppInfo::SetDataDir(dir.path() + '/');
    Accounts().SetMailboxDirectory(dir.path() + '/');
    ASSERT_EQ(DiscoverLanguageFiles(dir.path() + '/'), QString());
    ASSERT_EQ(ChooseAndLoadLanguage(dir.path() + '/', "english.lng"), QString());
}

QByteArray Message(int i, const QByteArray& extraHeaders = {})
{
    return "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: note " +
           QByteArray::number(i) + "\r\nDate: Mon, 1 Jan 2024 1" + QByteArray::number(i) +
           ":00:00 +0000\r\n" + extraHeaders + "\r\nbody " + QByteArray::number(i) + "\r\n";
}

// A message with three attached files.
QByteArray MessageWithAttachments()
{
    QByteArray raw = "From: Ann <ann@example.org>\r\nSubject: files\r\n"
                     "Date: Wed, 1 Jan 2025 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
                     "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                     "--b\r\nContent-Type: text/plain\r\n\r\nSee the files.\r\n";
    for (const char* name : {"a.txt", "b.pdf", "c.png"})
        raw += QByteArray("--b\r\nContent-Type: application/octet-stream; name=\"") + name +
               "\"\r\nContent-Disposition: attachment; filename=\"" + name + "\"\r\n\r\ndata\r\n";
    return raw + "--b--\r\n";
}

MessageRecord* AddRecord(MailAccount* a, const QByteArray& uid, const QByteArray& raw, bool whole)
{
    auto* m = new MessageRecord;
    m->UID = uid;
    m->size = static_cast<int>(raw.size());
    m->headersOnly = !whole;
    m->raw = whole ? raw : raw.left(raw.indexOf("\r\n\r\n") + 4);
    if (whole)
        m->ParseWholeDeferred();
    else
        m->ParseHeaders();
    a->Box().Add(m);
    a->Box().SetStale(false);
    return m;
}

class DetailsWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureApp();
        AppSettings() = Settings();
        AppSettings().OldMessagesThreshold = 0; // no message is old
        Accounts().Clear();
        ClearErrorList();
        SetMessageService(&messages);
    }
    void TearDown() override
    {
        SetMessageService(nullptr);
        Accounts().Clear();
    }

    // The account of "bob" on port (by default one nothing listens on).
    static MailAccount* AddAccount(quint16 port = 1)
    {
        return vm::test::AddPop3Account("bob", "secret", port);
    }

    // The real main window with its commands, showing the account's mailbox
    // in date order.
    void OpenMainWindow(MailAccount* a)
    {
        window = std::make_unique<MainWindow>();
        control = std::make_unique<MainWindowControl>(*window);
        control->Commands().operationRun.timeoutSeconds = 10;
        window->show();
        window->ShowMailbox(&a->Box());
    }
    void SelectRow(int row)
    {
        const QModelIndex index = window->ListModel->index(row, 0);
        window->MsgList->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    // Opens the details window through the list's command on row and runs
    // body while it is the modal window; closes it afterwards if body did
    // not. Returns false when the window never came.
    bool WhileOpen(int row, const std::function<void(DetailsWindow&)>& body)
    {
        SelectRow(row);
        bool ran = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* w = qobject_cast<DetailsWindow*>(QApplication::activeModalWidget());
            if (!w || ran)
                return;
            ran = true;
            poll.stop();
            body(*w);
            if (w->isVisible())
                w->SBExit->click();
        });
        poll.start(10);
        window->popListDetails->trigger();
        poll.stop();
        return ran;
    }

    QList<int> ListSelection() const { return window->MsgList->SelectedRows(); }

    RecordingMessageService messages;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowControl> control;
};

// Every way the list opens the details: the menu command, Enter, Space, a
// double click on the row and the preview's SBDetails; each for the one
// selected message.
TEST_F(DetailsWindowTest, EveryPathOfTheListOpensTheSelectedMessage)
{
    MailAccount* a = AddAccount();
    for (int i = 0; i < 3; ++i)
        AddRecord(a, "m" + QByteArray::number(i), Message(i), true);
    MainWindow w;
    QList<MessageRecord*> opened;
    w.commands.details = [&](MessageRecord* m) { opened.append(m); };
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.ShowMailbox(&a->Box());
    w.RefreshPreview(false);

    const std::vector<std::pair<const char*, std::function<void()>>> paths = {
        {"popListDetails", [&] { w.popListDetails->trigger(); }},
        {"Enter", [&] { QTest::keyClick(w.MsgList, Qt::Key_Return); }},
        {"Space", [&] { QTest::keyClick(w.MsgList, Qt::Key_Space); }},
        {"double click",
         [&] {
             const QRect r = w.MsgList->visualRect(w.ListModel->index(1, 1));
             QTest::mouseDClick(w.MsgList->viewport(), Qt::LeftButton, {}, r.center());
         }},
        {"SBDetails", [&] { w.ViewFrame->SBDetails->click(); }},
    };
    for (const auto& [name, run] : paths) {
        SCOPED_TRACE(name);
        opened.clear();
        const QModelIndex index = w.ListModel->index(1, 0);
        w.MsgList->setFocus();
        w.MsgList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
        w.RefreshPreview(false);
        run();
        EXPECT_EQ(opened, QList<MessageRecord*>({w.ListModel->MessageAt(1)}));
    }
}

// Stepping with next changes the caption's index and leaves the list's
// selection alone; when the window closes the list selects where it ended.
// Previous and next are enabled by the position (the list's "more" row
// counts for neither); the placement saved off every screen comes back onto
// the screen and is written back on close.
TEST_F(DetailsWindowTest, SteppingLeavesTheListSelectionUntilClose)
{
    MailAccount* a = AddAccount();
    for (int i = 0; i < 3; ++i)
        AddRecord(a, "m" + QByteArray::number(i), Message(i), true)->SetNew(true);
    AddRecord(a, "old", "From: x@y\r\nSubject: old\r\nDate: Mon, 1 Jan 2018 10:00:00 +0000\r\n\r\n",
              false);
    AppSettings().OldMessagesThreshold = 45000; // 2023: the old message makes a "more" row
    AppSettings().PreviewWndLeft = 9000;
    AppSettings().PreviewWndTop = 9000;
    AppSettings().PreviewWndRight = 9800;
    AppSettings().PreviewWndBottom = 9700;
    OpenMainWindow(a);
    ASSERT_TRUE(window->ListModel->HasMoreRow());

    QStringList captions;
    QList<QList<int>> selections;
    QList<std::pair<bool, bool>> enabling;
    ASSERT_TRUE(WhileOpen(0, [&](DetailsWindow& w) {
        for (int step = 0; step < 3; ++step) {
            captions.append(w.windowTitle());
            selections.append(ListSelection());
            enabling.append({w.SBPrevious->isEnabled(), w.SBNext->isEnabled()});
            w.SBNext->click();
        }
        w.SBPrevious->click();
        captions.append(w.windowTitle());
    }));
    EXPECT_EQ(
        captions,
        QStringList({"Message 1 of 3: note 0 (from Ann)", "Message 2 of 3: note 1 (from Ann)",
                     "Message 3 of 3: note 2 (from Ann)", "Message 2 of 3: note 1 (from Ann)"}));
    EXPECT_EQ(selections, QList<QList<int>>({{0}, {0}, {0}}));
    EXPECT_EQ(enabling, (QList<std::pair<bool, bool>>{{false, true}, {true, true}, {true, false}}));
    EXPECT_EQ(ListSelection(), QList<int>{1});
    // Every message shown counts as displayed (NewMessagesStyle 2).
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(a->Box().FindByUIDL("m" + QByteArray::number(i))->IsNew()) << i;

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const Settings& s = AppSettings();
    const QRect saved(QPoint(s.PreviewWndLeft, s.PreviewWndTop),
                      QPoint(s.PreviewWndRight - 1, s.PreviewWndBottom - 1));
    // The offscreen screen may be smaller than the window's minimum size: the
    // window's corner is on it.
    EXPECT_TRUE(screen.contains(saved.topLeft())) << saved.x() << "," << saved.y();
    EXPECT_EQ(saved, control->DetailsWnd().geometry());
}

// The header page's fields and the priority label.
TEST_F(DetailsWindowTest, HeaderPageShowsFieldsAndPriority)
{
    struct Case
    {
        const char* name;
        QByteArray headers;
        QString priority; // empty: the label is hidden
    };
    const std::vector<Case> cases = {
        {"normal", "", ""},
        {"high", "X-Priority: 1 (Highest)\r\n", "This message has HIGH PRIORITY"},
        {"low", "Importance: low\r\n", "This message has low priority"},
    };
    MailAccount* a = AddAccount();
    for (size_t i = 0; i < cases.size(); ++i)
        AddRecord(a, "m" + QByteArray::number(int(i)),
                  Message(int(i), "X-Long: one\r\n two\r\n" + cases[i].headers), true);
    MainWindow main;
    main.ShowMailbox(&a->Box());
    DetailsWindow w(main.ListModel);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_TRUE(w.Start(int(i), a));
        EXPECT_EQ(w.LFrom->text(), "Sender:\tAnn <ann@example.org>");
        EXPECT_EQ(w.LSubject->text(), "Subject:\tnote " + QString::number(int(i)));
        EXPECT_EQ(w.LPriority->isVisible(), !cases[i].priority.isEmpty());
        if (!cases[i].priority.isEmpty()) {
            EXPECT_EQ(w.LPriority->text(), cases[i].priority);
        }
        // One line per field: the folded field is joined.
        EXPECT_TRUE(w.MHeaders->toPlainText().split('\n').contains("X-Long: one two"))
            << w.MHeaders->toPlainText().toStdString();
        EXPECT_FALSE(w.AttachmentList->isVisible());
        w.close();
    }
}

// The receipt question: asked for a whole message whose request is not yet
// answered, when it is shown; not for one held as headers only, nor for an
// answered request.
TEST_F(DetailsWindowTest, ReceiptIsOfferedForWholeMessagesWithAnOpenRequest)
{
    struct Case
    {
        const char* name;
        bool whole;
        std::uint8_t state;
        bool asked;
    };
    const std::vector<Case> cases = {
        {"open request", true, 1, true},
        {"headers only", false, 1, false},
        {"refused", true, 2, false},
        {"no request", true, 0, false},
    };
    MailAccount* a = AddAccount();
    for (size_t i = 0; i < cases.size(); ++i)
        AddRecord(a, "m" + QByteArray::number(int(i)), Message(int(i)), cases[i].whole)
            ->receiptState = cases[i].state;
    MainWindow main;
    main.ShowMailbox(&a->Box());
    DetailsWindow w(main.ListModel);
    QList<MessageRecord*> asked;
    w.hooks.receipt = [&](MessageRecord* m, MailAccount* account) {
        EXPECT_EQ(account, a);
        asked.append(m);
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        asked.clear();
        ASSERT_TRUE(w.Start(int(i), a));
        // The window's own activation asks nothing more: once it is active,
        // a marker posted behind the activation's events must arrive first.
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 20000));
        bool marker = false;
        QTimer::singleShot(0, &w, [&] { marker = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return marker; }, 20000));
        EXPECT_EQ(asked,
                  cases[i].asked ? QList<MessageRecord*>{w.Message()} : QList<MessageRecord*>{});
        w.close();
    }
}

// A headers-only message opens on the header page with the body tab hidden
// (although the body page is the default) and Retrieve enabled. A fetch the
// user aborts keeps it so; during the operation the bar is hidden, abort is
// shown and the status text is the window's own. A fetch that succeeds shows
// the body tab, the attachments and updates the list's row.
TEST_F(DetailsWindowTest, HeadersOnlyOpensOnTheHeaderPageAndFetchShowsTheBody)
{
    FakeServer stalled, s;
    stalled.Pop3Login();
    stalled.Expect("UIDL").Stall(-1); // aborted while waiting for the list
    s.Pop3Login();
    s.Pop3Uidl({"m0", "files"});
    s.Expect("RETR 2").SendLine("+OK").Send(MessageWithAttachments() + ".\r\n");
    s.Expect("QUIT").SendLine("+OK bye");
    stalled.Start();
    s.Start();
    MailAccount* a = AddAccount(stalled.Port());
    AddRecord(a, "m0", Message(0), true);
    AddRecord(a, "files", MessageWithAttachments(), false);
    AppSettings().DefaultBrowserPage = 1;
    OpenMainWindow(a);

    struct During
    {
        bool barHidden = false, abortShown = false, viewsDisabled = false;
        QString exitCaption, status;
    } during;
    ASSERT_TRUE(WhileOpen(1, [&](DetailsWindow& w) {
        EXPECT_EQ(w.PGC->currentWidget(), w.TSHeaders);
        EXPECT_FALSE(w.PGC->isTabVisible(w.PGC->indexOf(w.TSBody)));
        EXPECT_TRUE(w.SBRetrieve->isEnabled());
        EXPECT_EQ(w.SBExit->text(), "Menu...");

        // First attempt: aborted while the server does not answer UIDL.
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!w.OperationRunning() || w.LOperation->text() != "Verifying message list...")
                return;
            watch.stop();
            during = {w.BottomBar->isHidden(), w.SBAbort->isVisible(), !w.MHeaders->isEnabled(),
                      w.SBExit->text(), w.LOperation->text()};
            w.SBAbort->click();
        });
        watch.start(10);
        w.SBRetrieve->click();
        watch.stop();
        EXPECT_EQ(w.PGC->currentWidget(), w.TSHeaders);
        EXPECT_FALSE(w.PGC->isTabVisible(w.PGC->indexOf(w.TSBody)));
        EXPECT_FALSE(w.BottomBar->isHidden());
        EXPECT_EQ(w.SBExit->text(), "Menu...");

        // Second attempt: fetched.
        a->Pop3Port() = s.Port();
        w.SBRetrieve->click();
        EXPECT_EQ(w.PGC->currentWidget(), w.TSBody);
        EXPECT_TRUE(w.PGC->isTabVisible(w.PGC->indexOf(w.TSBody)));
        EXPECT_FALSE(w.SBRetrieve->isEnabled());
        EXPECT_EQ(w.LAttachments->text(), "Attachments (3):");
        EXPECT_EQ(w.AttachmentList->count(), 3);
        EXPECT_EQ(w.Row(), 1);
        EXPECT_EQ(w.Message(), a->Box().At(1));
    }));
    EXPECT_TRUE(stalled.WaitDone());
    EXPECT_TRUE(s.WaitDone());
    EXPECT_TRUE(during.barHidden);
    EXPECT_TRUE(during.abortShown);
    EXPECT_TRUE(during.viewsDisabled);
    EXPECT_EQ(during.exitCaption, "Abort");
    EXPECT_EQ(during.status, "Verifying message list...");
    EXPECT_EQ(window->MsgList->SelectedRows(), QList<int>{1});
    EXPECT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown.value(0).text, "Aborted on demand.");
    ASSERT_EQ(a->Box().Count(), 2);
    EXPECT_EQ(a->Box().At(1)->HoldingState(), MessageRecord::Holding::Whole);
    EXPECT_EQ(window->ListModel->MessageAt(1), a->Box().At(1));
}

// Delete asks first; No leaves everything; Yes removes the message through
// the operation (DELE after a UIDL lookup, then QUIT) and the window moves
// to the next message, to the previous after the last, and closes after the
// only one. A refusal keeps the message and shows the error window usable.
TEST_F(DetailsWindowTest, DeleteAsksFirstAndRemovesThroughTheOperation)
{
    struct Case
    {
        const char* name;
        int messages;
        int row;
        bool yes;
        int rowAfter;         // -1: the window closed
        bool refused = false; // the server refuses UIDL
    };
    const std::vector<Case> cases = {
        {"answered no", 3, 1, false, 1}, {"middle", 3, 1, true, 1},        {"last", 3, 2, true, 1},
        {"only", 1, 0, true, -1},        {"refused", 2, 0, true, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Accounts().Clear();
        messages.shown.clear();
        messages.answer = [&c](const MessageRequest&) {
            return c.yes ? MsgAnswer::Yes : MsgAnswer::No;
        };
        FakeServer s;
        QList<QByteArray> ids;
        for (int i = 0; i < c.messages; ++i)
            ids.append("m" + QByteArray::number(i));
        if (c.refused) {
            s.Pop3Login();
            s.Expect("UIDL").SendLine("-ERR no list");
        } else if (c.yes) {
            s.Pop3Login();
            s.Pop3Uidl(ids);
            s.Expect("DELE " + QByteArray::number(c.row + 1)).SendLine("+OK");
            s.Expect("QUIT").SendLine("+OK bye");
        }
        s.Start();
        MailAccount* a = AddAccount(s.Port());
        for (int i = 0; i < c.messages; ++i)
            AddRecord(a, ids[i], Message(i), true);
        OpenMainWindow(a);

        int rowAfter = -2;
        bool openAfter = false;
        bool errorsUsable = false;
        QByteArray shownAfter;
        ASSERT_TRUE(WhileOpen(c.row, [&](DetailsWindow& w) {
            w.SBDelete->click();
            // The error window over the modal details window is modal too,
            // or it could not be used (nor closed) until the details close.
            ErrorListWindow& errors = control->ErrorWindow();
            errorsUsable = errors.isVisible() && QApplication::activeModalWidget() == &errors;
            errors.close();
            openAfter = w.isVisible();
            rowAfter = openAfter ? w.Row() : -1;
            if (openAfter)
                shownAfter = w.Message()->UID;
        }));
        if (c.yes) {
            EXPECT_TRUE(s.WaitDone());
        }
        ASSERT_EQ(messages.shown.size(), 1);
        EXPECT_EQ(messages.shown[0].text,
                  "Are you sure you want to delete this message from server?");
        EXPECT_EQ(rowAfter, c.rowAfter);
        EXPECT_EQ(errorsUsable, c.refused);
        const bool removed = c.yes && !c.refused;
        EXPECT_EQ(a->Box().Count(), removed ? c.messages - 1 : c.messages);
        EXPECT_EQ(a->Box().FindByUIDL(ids[c.row]) == nullptr, removed);
        if (openAfter) {
            EXPECT_EQ(shownAfter, window->ListModel->UidAt(c.rowAfter));
        }
        control.reset();
        window.reset();
    }
}

// Save writes the stored message byte for byte when held whole, else its
// header lines; a cancelled dialog writes nothing. The dialog is offered the
// subject's name.
TEST_F(DetailsWindowTest, SaveWritesTheMessageFile)
{
    MailAccount* a = AddAccount();
    AddRecord(a, "whole", Message(0, "Subject-Extra: x\r\n"), true);
    AddRecord(a, "head", Message(1), false);
    MainWindow main;
    main.ShowMailbox(&a->Box());
    DetailsWindow w(main.ListModel);
    QTemporaryDir dir;
    QString offered;
    QString answer;
    bool hourglassOverDialog = false;
    w.hooks.chooseSaveFile = [&](const QString& name) {
        offered = name;
        hourglassOverDialog = hourglassOverDialog || QApplication::overrideCursor() != nullptr;
        return answer;
    };
    struct Case
    {
        const char* name;
        int row;
        bool cancel;
    };
    for (const Case& c :
         {Case{"whole", 0, false}, Case{"headers only", 1, false}, Case{"cancelled", 0, true}}) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name) + ".eml");
        answer = c.cancel ? QString() : path;
        ASSERT_TRUE(w.Start(c.row, a));
        w.SBSave->click();
        EXPECT_EQ(offered, "note " + QString::number(c.row) + ".eml");
        QFile f(path);
        EXPECT_EQ(f.exists(), !c.cancel);
        if (!c.cancel) {
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            // Whole: the stored text; headers only: the header block.
            const QByteArray text = c.row == 0 ? Message(0, "Subject-Extra: x\r\n") : Message(1);
            EXPECT_EQ(f.readAll(), c.row == 0 ? text : text.left(text.indexOf("\r\n\r\n") + 2));
        }
        w.close();
    }
    EXPECT_TRUE(messages.shown.isEmpty());
    // The busy cursor comes only while the file is written, never over the
    // dialog, and is gone afterwards.
    EXPECT_FALSE(hourglassOverDialog);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The attachment menu: Save with one or more rows, Open and Save and open
// with exactly one; each hands the selected parts (in list order) and its
// action on; a double click opens the row.
TEST_F(DetailsWindowTest, AttachmentMenuHandsTheSelectedParts)
{
    MailAccount* a = AddAccount();
    AddRecord(a, "files", MessageWithAttachments(), true);
    MainWindow main;
    main.ShowMailbox(&a->Box());
    DetailsWindow w(main.ListModel);
    QList<std::pair<QList<int>, AttachmentAction>> calls;
    w.hooks.attachmentAction = [&](QWidget*, const MessageRecord& m, const QList<int>& parts,
                                   AttachmentAction action) {
        EXPECT_EQ(&m, a->Box().At(0));
        calls.append({parts, action});
    };
    ASSERT_TRUE(w.Start(0, a));
    ASSERT_EQ(w.AttachmentList->count(), 3);
    EXPECT_EQ(w.AttachmentList->item(2)->text(), "c.png");
    // Once shown, the page is arranged for the size it really got: the bar at
    // its foot, the list right above the bar, the view above the list.
    QCoreApplication::processEvents();
    const QWidget* page = w.PGC->currentWidget();
    EXPECT_GT(w.BottomBar->geometry().bottom(), page->height() - 2 * w.BottomBar->height());
    EXPECT_LT(w.AttachmentList->geometry().bottom(), w.BottomBar->geometry().top());
    EXPECT_GT(w.AttachmentList->geometry().bottom(), w.BottomBar->geometry().top() - 30);
    EXPECT_LT(w.MsgViewFrame->geometry().bottom(), w.LAttachments->geometry().top());

    struct Case
    {
        QList<int> rows;
        bool save, open;
    };
    for (const Case& c :
         {Case{{}, false, false}, Case{{1}, true, true}, Case{{0, 2}, true, false}}) {
        w.AttachmentList->clearSelection();
        for (int r : c.rows)
            w.AttachmentList->item(r)->setSelected(true);
        EXPECT_EQ(w.popAttachSave->isEnabled(), c.save);
        EXPECT_EQ(w.popAttachOpen->isEnabled(), c.open);
        EXPECT_EQ(w.popAttachSaveOpen->isEnabled(), c.open);
        calls.clear();
        for (QAction* action : {w.popAttachSave, w.popAttachOpen, w.popAttachSaveOpen})
            if (action->isEnabled())
                action->trigger();
        QList<std::pair<QList<int>, AttachmentAction>> expected;
        if (c.save)
            expected.append({c.rows, AttachmentAction::Save});
        if (c.open) {
            expected.append({c.rows, AttachmentAction::Open});
            expected.append({c.rows, AttachmentAction::SaveAndOpen});
        }
        EXPECT_EQ(calls, expected);
    }
    calls.clear();
    const QRect r = w.AttachmentList->visualItemRect(w.AttachmentList->item(2));
    QTest::mouseClick(w.AttachmentList->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(w.AttachmentList->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(calls,
              (QList<std::pair<QList<int>, AttachmentAction>>{{{2}, AttachmentAction::Open}}));
}

// Reply, reply to all and forward close the window and then compose for its
// message and account with modes 0, 1 and 2.
TEST_F(DetailsWindowTest, RepliesCloseTheWindowAndCompose)
{
    MailAccount* a = AddAccount();
    for (int i = 0; i < 2; ++i)
        AddRecord(a, "m" + QByteArray::number(i), Message(i), true);
    OpenMainWindow(a);
    struct Call
    {
        MessageRecord* message;
        MailAccount* account;
        int mode;
        bool detailsOpen;
    };
    QList<Call> calls;
    window->commands.compose = [&](MessageRecord* m, MailAccount* acc, int mode) {
        calls.append({m, acc, mode, QApplication::activeModalWidget() != nullptr});
    };
    const std::vector<std::pair<const char*, int>> buttons = {
        {"SBReplyToSender", 0}, {"SBReplyToAll", 1}, {"SBForward", 2}};
    for (const auto& [name, mode] : buttons) {
        SCOPED_TRACE(name);
        calls.clear();
        ASSERT_TRUE(WhileOpen(0, [&](DetailsWindow& w) {
            w.SBNext->click();
            w.findChild<QToolButton*>(QLatin1String(name))->click();
        }));
        ASSERT_EQ(calls.size(), 1);
        EXPECT_EQ(calls[0].message, window->ListModel->MessageAt(1));
        EXPECT_EQ(calls[0].account, a);
        EXPECT_EQ(calls[0].mode, mode);
        EXPECT_FALSE(calls[0].detailsOpen);
    }

    // A mail link clicked in the message closes the window too; then its
    // message is written for the window's account.
    QList<std::pair<MailAccount*, QString>> links;
    bool detailsOpen = true;
    control->DetailsWnd().hooks.mailto = [&](MailAccount* account, const QString& link) {
        links.append({account, link});
        detailsOpen = QApplication::activeModalWidget() != nullptr;
    };
    ASSERT_TRUE(WhileOpen(0, [&](DetailsWindow& w) {
        EXPECT_FALSE(w.MsgViewFrame->LinkClicked(QUrl("mailto:bob@example.org?subject=Hi")));
    }));
    ASSERT_EQ(links.size(), 1);
    EXPECT_EQ(links[0].first, a);
    EXPECT_EQ(links[0].second, "bob@example.org?subject=Hi");
    EXPECT_FALSE(detailsOpen);
}

// A "mailto:" link of the page closes the window; for an account that sends
// through Velmora a compose window then opens for a new message from the
// account to the address; otherwise the link goes on to the hand-off to the
// desktop's mail client (recorded here) and no compose window opens.
TEST_F(DetailsWindowTest, MailLinkComposesThroughVelmoraOrGoesToTheDesktop)
{
    for (const bool throughVelmora : {true, false}) {
        SCOPED_TRACE(throughVelmora ? "through Velmora" : "desktop client");
        Accounts().Clear();
        MailAccount* a = AddAccount();
        a->SendViaThisProgram() = throughVelmora;
        a->FromAddress() = "bob@example.org";
        AddRecord(a, "m0", Message(0), true);
        OpenMainWindow(a);
        QList<QUrl> external;
        QStringList handedOff;
        auto& hook = control->DetailsWnd().hooks.mailto;
        const auto original = hook;
        hook = [&](MailAccount* account, const QString& link) {
            if (account->SendViaThisProgram())
                original(account, link);
            else
                handedOff.append(link);
        };
        bool openAfterClick = true;
        ASSERT_TRUE(WhileOpen(0, [&](DetailsWindow& w) {
            w.MsgViewFrame->openExternal = [&](const QUrl& url) { external.append(url); };
            EXPECT_FALSE(w.MsgViewFrame->LinkClicked(QUrl("mailto:carl@example.org")));
            openAfterClick = w.isVisible();
        }));
        const QList<ComposeWindow*> composed = ComposeWindow::OpenWindows();
        EXPECT_FALSE(openAfterClick);
        EXPECT_TRUE(external.isEmpty());
        if (throughVelmora) {
            EXPECT_TRUE(handedOff.isEmpty());
            ASSERT_EQ(composed.size(), 1);
            EXPECT_EQ(composed[0]->Account(), a);
            ASSERT_EQ(composed[0]->AddressInputFrame->CompletedCount(), 1);
            EXPECT_EQ(composed[0]->AddressInputFrame->Completed(0).address, "carl@example.org");
        } else {
            EXPECT_EQ(handedOff, QStringList{"carl@example.org"});
            EXPECT_TRUE(composed.isEmpty());
        }
        ComposeWindow::CloseAll();
        control.reset();
        window.reset();
    }
}

// A receipt sent from the window runs in its operation state (bar hidden,
// abort shown, the window's own status text) while the main window is busy;
// SBAbort and Esc stop its SMTP client, and the request stays open. The
// account writes its messages in the desktop's mail client: receipts still
// go through Velmora.
TEST_F(DetailsWindowTest, ReceiptRunsInTheOperationStateAndStops)
{
    for (const bool esc : {false, true}) {
        SCOPED_TRACE(esc ? "Esc" : "SBAbort");
        Accounts().Clear();
        messages.shown.clear();
        AppSettings().ConnectTimeout = 60; // the stop, not the silence limit, ends it
        vm::test::FakeSmtpServer::Config cfg;
        cfg.stallAfter = "DATA"; // silent while the receipt is being sent
        vm::test::FakeSmtpServer server(cfg);
        server.Start();
        MailAccount* a = AddAccount();
        a->SendViaThisProgram() = false;
        a->FromAddress() = "bob@example.org";
        a->SmtpLogin() = "bob";
        a->SmtpServer() = "127.0.0.1";
        a->SmtpPort() = server.Port();
        a->SmtpAuthentication() = false;
        a->SmtpTLSMode() = 0; // the fake server offers no STARTTLS
        MessageRecord* m =
            AddRecord(a, "r", Message(0, "Disposition-Notification-To: ann@example.org\r\n"), true);
        m->receiptState = 1;
        OpenMainWindow(a);
        // No other window comes up (an alert that the receipt cannot be sent
        // would wait for a click for ever).
        QTimer unexpected;
        QObject::connect(&unexpected, &QTimer::timeout, [] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (d && !qobject_cast<DetailsWindow*>(d)) {
                ADD_FAILURE() << "unexpected window " << d->objectName().toStdString();
                d->reject();
            }
        });
        unexpected.start(20);
        // The preview asks first, when the selected message settles there;
        // that question is put off, so the details window asks again.
        messages.answer = [](const MessageRequest& r) {
            return r.buttons == MsgButtons::YesNoCancel ? MsgAnswer::Cancel : MsgAnswer::Ok;
        };
        SelectRow(0);
        QElapsedTimer waited;
        waited.start();
        while (messages.shown.isEmpty()) {
            ASSERT_LT(waited.elapsed(), 30000) << "the preview never asked";
            QTest::qWait(20);
        }
        messages.shown.clear();
        messages.answer = [](const MessageRequest& r) {
            return r.buttons == MsgButtons::YesNoCancel ? MsgAnswer::Yes : MsgAnswer::Ok;
        };

        // Steps of the poll: 0 wait for the send, 1 wait for its end.
        int step = 0;
        bool barHidden = false, abortShown = false, mainBusy = false;
        QString operationText, exitText;
        bool barBack = false, abortGone = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* w = qobject_cast<DetailsWindow*>(QApplication::activeModalWidget());
            if (!w)
                return;
            if (step == 0 && w->OperationRunning() &&
                w->LOperation->text() == "Sending return receipt...") {
                step = 1;
                barHidden = w->BottomBar->isHidden();
                abortShown = !w->SBAbort->isHidden();
                mainBusy = control->Commands().Busy();
                operationText = w->LOperation->text();
                exitText = w->SBExit->text();
                if (esc)
                    QTest::keyClick(w, Qt::Key_Escape);
                else
                    w->SBAbort->click();
            } else if (step == 1 && !w->OperationRunning() && !messages.shown.isEmpty() &&
                       messages.shown.last().text == "Aborted on demand.") {
                step = 2;
                barBack = !w->BottomBar->isHidden();
                abortGone = w->SBAbort->isHidden();
                w->SBExit->click();
            }
        });
        poll.start(20);
        // Fails on time-out: the window closes only at step 2.
        QTimer limit;
        limit.setSingleShot(true);
        limit.start(30000);
        QObject::connect(&limit, &QTimer::timeout, [&] {
            if (auto* w = qobject_cast<DetailsWindow*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "stuck at step " << step;
                if (!w->OperationRunning())
                    w->SBExit->click();
                else
                    w->SBAbort->click();
            }
        });
        window->popListDetails->trigger();
        poll.stop();

        EXPECT_EQ(step, 2);
        EXPECT_TRUE(barHidden);
        EXPECT_TRUE(abortShown);
        EXPECT_TRUE(mainBusy);
        EXPECT_EQ(operationText, "Sending return receipt...");
        EXPECT_EQ(exitText, "Abort");
        EXPECT_TRUE(barBack);
        EXPECT_TRUE(abortGone);
        EXPECT_TRUE(server.Commands().contains("DATA"));
        EXPECT_EQ(m->receiptState, 1);
        EXPECT_FALSE(control->Commands().Busy());
        control.reset();
        window.reset();
    }
}

// The save dialog of the list and of this window: its two filters are named
// from the language file, mail messages chosen; no hourglass stands over it;
// the chosen file gets the message.
TEST_F(DetailsWindowTest, SaveDialogNamesItsFiltersAndHasNoHourglassOverIt)
{
    MailAccount* a = AddAccount();
    AddRecord(a, "m0", Message(0), true);
    OpenMainWindow(a);
    QTemporaryDir dir;
    for (const bool fromDetails : {false, true}) {
        SCOPED_TRACE(fromDetails ? "details window" : "list");
        const QString path = dir.filePath(fromDetails ? "details.eml" : "list.eml");
        QStringList filters;
        QString chosenFilter;
        bool seen = false;
        bool hourglass = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!d || d->objectName() != "SaveDlg")
                return;
            poll.stop();
            seen = true;
            filters = d->nameFilters();
            chosenFilter = d->selectedNameFilter();
            hourglass = QApplication::overrideCursor() != nullptr;
            // The dialog leaves a focused name field as typed: the field
            // gives up the focus so that the chosen name reaches it.
            if (QWidget* focused = d->focusWidget())
                focused->clearFocus();
            d->selectFile(path);
            static_cast<QDialog*>(d)->accept(); // QFileDialog keeps it protected
        });
        poll.start(20);
        // Fails on time-out: a dialog still open then is cancelled.
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
                d->reject();
        });
        limit.start(30000);
        if (fromDetails) {
            ASSERT_TRUE(WhileOpen(0, [](DetailsWindow& w) { w.SBSave->click(); }));
        } else {
            SelectRow(0);
            window->popListSaveToFile->trigger();
        }
        ASSERT_TRUE(seen);
        EXPECT_EQ(filters, QStringList({"All files (*)", "Mail messages (*.eml)"}));
        EXPECT_EQ(chosenFilter, "Mail messages (*.eml)");
        EXPECT_FALSE(hourglass);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), Message(0));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

} // namespace
