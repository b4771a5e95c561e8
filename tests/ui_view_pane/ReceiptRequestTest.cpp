// Answering a request for a return receipt: nothing is sent without an
// explicit Yes (No, Cancel and a Return on the real box send nothing), an
// account that cannot send gets the alert window, and through the main
// window's preview a message answered No is not asked about again (also
// after its mailbox file was written and read back) while Cancel asks again
// the next time the message is shown.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/LangStartup.h"
#include "ui/common/GuiMessageService.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/view/PreviewPane.h"
#include "ui/view/ReceiptAlertWindow.h"
#include "ui/view/ReceiptRequest.h"
#include "ui_main/Fixtures.h"

using namespace vm;
using vmtest::Day;

namespace {

MessageRecord* ReceiptMessage(const QByteArray& uidl, int day, bool whole = true)
{
    auto* m = new MessageRecord;
    m->UID = uidl;
    m->size = 400;
    m->raw = "From: Bob <bob@example.com>\r\nSubject: Plan " + uidl +
             "\r\nReturn-Path: <bounce@lists.example>\r\n"
             "Disposition-Notification-To: Track <track@spy.example>\r\n"
             "Message-ID: <" +
             uidl + "@example.com>\r\n\r\n";
    if (whole) {
        m->raw += "Body\r\n";
        m->headersOnly = false;
        m->ParseWhole();
    } else {
        m->ParseHeaders();
    }
    m->Date = Day(2030, 1, day);
    m->receiptState = 1;
    return m;
}

class ReceiptRequestTest : public vmtest::MainWindowTestBase
{
protected:
    void SetUp() override
    {
        MainWindowTestBase::SetUp();
        AppSettings().OldMessagesDefHidden = false;
    }

    static MailAccount* AddAccount(const QByteArray& name, const QList<MessageRecord*>& records,
                                   bool canSend = true, bool writesThroughVelmora = true)
    {
        auto* a = new MailAccount(&Accounts());
        a->Login() = name;
        a->Password() = "secret"; // stored: the list shows at start
        a->FriendlyName() = name;
        a->Server() = "pop.example.org";
        a->FromAddress() = name + "@example.org";
        a->SmtpLogin() = name;
        a->SmtpServer() = canSend ? "smtp.example.org" : "";
        a->SendViaThisProgram() = writesThroughVelmora;
        for (MessageRecord* m : records)
            a->Box().Add(m);
        a->Box().SetStale(false);
        a->Box().SetLastCheck(Day(2030, 2, 1));
        Accounts().Add(a);
        return a;
    }

    // Hooks that count instead of showing windows or sending.
    ReceiptHooks CountingHooks()
    {
        ReceiptHooks h;
        h.alert = [this](MessageRecord&) { ++alerts; };
        h.send = [this](MessageRecord& m, MailAccount&) {
            ++sends;
            m.receiptState = 3;
            return ReceiptSendResult::Sent;
        };
        return h;
    }

    void CreateWindow(MailAccount* account)
    {
        wnd = std::make_unique<MainWindow>();
        wnd->commands.receipt = [this](MessageRecord* m) {
            ++offers;
            AnswerReceiptRequest(*m, CountingHooks());
        };
        wnd->resize(1000, 700);
        wnd->UpdateWindowState();
        wnd->Tree->clearSelection();
        wnd->NodeOf(account)->setSelected(true);
        wnd->TreeClick();
        Settle();
    }
    void Settle()
    {
        EXPECT_TRUE(
            QTest::qWaitFor([this] { return !wnd->ViewFrame->SelectItemTimer->isActive(); }, 5000));
    }
    // Selects the row of the message and lets the selection settle.
    void Show(const QByteArray& uidl)
    {
        MessageListModel* model = wnd->ListModel;
        for (int r = 0; r < model->rowCount(); ++r) {
            if (MessageRecord* m = model->MessageAt(r); m && m->UID == uidl) {
                wnd->MsgList->selectionModel()->setCurrentIndex(
                    model->index(r, 0),
                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                Settle();
                return;
            }
        }
        ADD_FAILURE() << "no row for " << uidl.constData();
    }

    int alerts = 0;
    int sends = 0;
    int offers = 0;
};

} // namespace

TEST_F(ReceiptRequestTest, OnlyAnExplicitYesSends)
{
    enum Answer { Yes, No, Cancel, ReturnOnTheBox, NoAsking };
    struct Case
    {
        const char* name;
        Answer answer;
        bool canSend;
        bool whole;
        int questions, alerts, sends, stateAfter;
        // Its messages are written in the desktop's mail client.
        bool desktopClient = false;
    };
    const Case cases[] = {
        {"Yes", Yes, true, true, 1, 0, 1, 3},
        {"No", No, true, true, 1, 0, 0, 2},
        {"Cancel", Cancel, true, true, 1, 0, 0, 1},
        {"Return on the real box", ReturnOnTheBox, true, true, 1, 0, 0, 2},
        {"account that cannot send", NoAsking, false, true, 0, 1, 0, 1},
        {"headers only", NoAsking, true, false, 0, 0, 0, 1},
        {"writes in the desktop client, sends receipts", Yes, true, true, 1, 0, 1, 3, true},
        {"desktop client, no SMTP server", NoAsking, false, true, 0, 1, 0, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Accounts().Clear();
        MessageRecord* m = ReceiptMessage("r", 1, c.whole);
        AddAccount("anna", {m}, c.canSend, !c.desktopClient);
        messages.shown.clear();
        alerts = sends = 0;

        GuiMessageService gui;
        int boxes = 0;
        if (c.answer == ReturnOnTheBox) {
            // The real box, answered by the Return key.
            SetMessageService(&gui);
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    poll.stop();
                    ++boxes;
                    EXPECT_TRUE(box->text().contains("track@spy.example"));
                    QTest::keyClick(box, Qt::Key_Return);
                }
            });
            poll.start(50);
            AnswerReceiptRequest(*m, CountingHooks());
            SetMessageService(&messages);
        } else {
            messages.answer = [&c](const MessageRequest&) {
                return c.answer == Yes  ? MsgAnswer::Yes
                       : c.answer == No ? MsgAnswer::No
                                        : MsgAnswer::Cancel;
            };
            AnswerReceiptRequest(*m, CountingHooks());
            boxes = int(messages.shown.size());
        }
        EXPECT_EQ(boxes, c.questions);
        EXPECT_EQ(alerts, c.alerts);
        EXPECT_EQ(sends, c.sends);
        EXPECT_EQ(m->receiptState, c.stateAfter);
        for (const MessageRequest& q : messages.shown) {
            EXPECT_TRUE(q.defaultNo);
            EXPECT_EQ(q.buttons, MsgButtons::YesNoCancel);
            // Where the receipt goes, and that it is not the return path.
            EXPECT_TRUE(q.text.contains("Track <track@spy.example>")) << q.text;
            EXPECT_TRUE(q.text.contains("bounce@lists.example")) << q.text;
        }
    }
}

TEST_F(ReceiptRequestTest, NoIsFinalAlsoAfterARestartAndCancelAsksAgain)
{
    MailAccount* a = AddAccount("anna", {ReceiptMessage("r", 2), ReceiptMessage("o", 1)});
    CreateWindow(a);

    messages.answer = [](const MessageRequest&) { return MsgAnswer::Cancel; };
    Show("r");
    ASSERT_EQ(messages.shown.size(), 1);
    Show("o"); // the other message asks too: Cancel again
    Show("r");
    EXPECT_EQ(messages.shown.size(), 3) << "Cancel leaves the question for the next time";

    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    Show("o");
    Show("r");
    EXPECT_EQ(messages.shown.size(), 5);
    Show("o");
    Show("r");
    EXPECT_EQ(messages.shown.size(), 5) << "No is final";
    EXPECT_EQ(sends, 0);

    // The mailbox file keeps the answers.
    a->SaveToFile(MailboxSaveOptions());
    const QString path = dataDir + a->MailboxFileName();
    wnd.reset();
    Accounts().Clear();
    auto* back = new MailAccount(&Accounts());
    back->LoadFromFile(path, MailboxLoadOptions());
    Accounts().Add(back);
    ASSERT_EQ(back->Box().Count(), 2);
    CreateWindow(back);
    Show("r");
    Show("o");
    EXPECT_EQ(messages.shown.size(), 5);
    for (int i = 0; i < back->Box().Count(); ++i)
        EXPECT_EQ(back->Box().At(i)->receiptState, 2);
}

TEST_F(ReceiptRequestTest, TheAlertDeclinesOnlyWithItsTickAtOk)
{
    for (const bool tick : {true, false}) {
        SCOPED_TRACE(tick ? "ticked" : "unticked");
        std::unique_ptr<MessageRecord> m(ReceiptMessage("r", 1));
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* w = qobject_cast<ReceiptAlertWindow*>(QApplication::activeModalWidget())) {
                poll.stop();
                EXPECT_TRUE(w->windowTitle().endsWith("Plan r")) << w->windowTitle();
                EXPECT_TRUE(w->LAlert->text().contains("Bob <bob@example.com>"));
                EXPECT_TRUE(w->CBSkipAlert->isChecked());
                w->CBSkipAlert->setChecked(tick);
                w->BOK->click();
            }
        });
        poll.start(50);
        ReceiptAlertWindow::ShowFor(*m);
        EXPECT_EQ(m->receiptState, tick ? 2 : 1);
    }
}
