// Measures, in the real main window (offscreen), the time from the preview
// pane's selection delay running out to the message view reporting its page
// loaded, for a plain 5 KB message and a 20 KB HTML message. The selection
// alternates between the two, so every round renders and loads a new page.
//
//   QTWEBENGINE_DISABLE_SANDBOX=1 build/bench/preview/bench_preview_load [ROUNDS]
//
// Prints per message kind the median and the largest time, split into the
// rendering (page written, until the pane's messageRendered) and the loading,
// with the reference measured in the same round: the engine loading the same
// page file once more, and the median ratio to it.

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "config/Settings.h"
#include "core/AppInfo.h"
#include "core/DateTime.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/view/HtmlView.h"
#include "ui/view/MessageView.h"
#include "ui/view/PreviewPane.h"

using namespace vm;

namespace {

MessageRecord* WholeRecord(const QByteArray& uid, const QByteArray& type, const QByteArray& body,
                           int day)
{
    auto* m = new MessageRecord;
    m->UID = uid;
    m->headersOnly = false;
    m->raw = "From: Ann Example <ann@example.org>\r\nTo: bob@example.org\r\n"
             "Subject: Measured message " +
             uid + "\r\nDate: Mon, " + QByteArray::number(day) +
             " Mar 2030 10:00:00 +0000\r\nMIME-Version: 1.0\r\nContent-Type: " + type +
             "; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + body;
    m->size = static_cast<int>(m->raw.size());
    m->ParseWholeDeferred();
    return m;
}

QByteArray PlainBody(int bytes)
{
    QByteArray out;
    for (int i = 0; out.size() < bytes; ++i)
        out += "Line " + QByteArray::number(i) +
               " of a plain message, with a link https://example.org/page/" +
               QByteArray::number(i) + " and an address someone@example.org.\r\n";
    return out;
}

QByteArray HtmlBody(int bytes)
{
    QByteArray out = "<html><head><style>p{font-family:sans-serif;color:#333}</style></head>"
                     "<body><h1>Newsletter</h1>\r\n";
    for (int i = 0; out.size() < bytes; ++i)
        out += "<p>Paragraph " + QByteArray::number(i) +
               " with <b>bold</b>, <i>italic</i> and <a href=\"https://example.org/" +
               QByteArray::number(i) + "\">a link</a>.</p>\r\n";
    return out + "</body></html>\r\n";
}

// Catches the delay timer's tick before the pane's own slot runs.
class TickWatch : public QObject
{
public:
    QElapsedTimer clock;
    qint64 tick = -1;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Timer)
            tick = clock.nsecsElapsed();
        return false;
    }
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    QTemporaryDir dir;
    AppInfo::SetDataDir(dir.path() + '/');
    Accounts().SetMailboxDirectory(dir.path() + '/');
    AppSettings() = Settings();
    AppSettings().SaveWindowParams = false;
    AppSettings().OldMessagesDefHidden = false;

    auto* account = new MailAccount(&Accounts());
    account->Login() = "bench";
    account->Server() = "pop.example.org";
    account->Box().Add(WholeRecord("plain", "text/plain", PlainBody(5 * 1024), 1));
    account->Box().Add(WholeRecord("html", "text/html", HtmlBody(20 * 1024), 2));
    account->Box().SetStale(false);
    Accounts().Add(account);

    MainWindow wnd;
    wnd.resize(1100, 800);
    wnd.show();
    wnd.Tree->clearSelection();
    wnd.NodeOf(account)->setSelected(true);
    wnd.TreeClick();
    PreviewPane* pane = wnd.ViewFrame;

    TickWatch watch;
    watch.clock.start();
    pane->SelectItemTimer->installEventFilter(&watch);
    qint64 rendered = -1;
    qint64 loaded = -1;
    QObject::connect(pane, &PreviewPane::messageRendered,
                     [&](MessageRecord*) { rendered = watch.clock.nsecsElapsed(); });
    QObject::connect(pane->MsgViewFrame, &MessageView::pageLoaded,
                     [&](bool) { loaded = watch.clock.nsecsElapsed(); });

    std::vector<double> render[2], load[2], engine[2];
    for (int i = 0; i < 2 * rounds + 2; ++i) {
        const int row = i % 2;
        watch.tick = rendered = loaded = -1;
        wnd.MsgList->selectionModel()->setCurrentIndex(wnd.ListModel->index(row, 0),
                                                       QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
        QElapsedTimer limit;
        limit.start();
        while (loaded < 0 && limit.elapsed() < 15000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (loaded < 0 || watch.tick < 0 || rendered < 0) {
            std::fprintf(stderr, "The message view reported no loaded page within 15 s.\n");
            return 1;
        }
        const qint64 loadedFirst = loaded;
        // The reference: the engine loading the same page file once more.
        const qint64 again = watch.clock.nsecsElapsed();
        loaded = -1;
        pane->MsgViewFrame->DHTML->Navigate(pane->MsgViewFrame->PageFilePath());
        limit.restart();
        while (loaded < 0 && limit.elapsed() < 15000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (loaded < 0) {
            std::fprintf(stderr, "The page did not load again within 15 s.\n");
            return 1;
        }
        const double engineMs = (loaded - again) / 1e6;
        if (i < 2)
            continue; // the first page of each kind warms the engine up
        render[row].push_back((rendered - watch.tick) / 1e6);
        load[row].push_back((loadedFirst - watch.tick) / 1e6);
        engine[row].push_back(engineMs);
    }
    const char* names[2] = {"plain 5 KB", "HTML 20 KB"};
    std::printf("selection settled -> page loaded, %d rounds each (ms); reference: the engine "
                "loading the same page file again\n",
                rounds);
    for (int k = 0; k < 2; ++k) {
        std::vector<double> ratio;
        for (std::size_t i = 0; i < load[k].size(); ++i)
            ratio.push_back(load[k][i] / engine[k][i]);
        std::printf("%-11s rendered: median %7.2f  max %7.2f   loaded: median %7.2f  max %7.2f"
                    "   engine: median %7.2f   %5.2f x engine\n",
                    names[k], Median(render[k]),
                    *std::max_element(render[k].begin(), render[k].end()), Median(load[k]),
                    *std::max_element(load[k].begin(), load[k].end()), Median(engine[k]),
                    Median(ratio));
    }
    return 0;
}
