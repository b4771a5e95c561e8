// The window with big mailboxes, as the program starts it: start-up time and
// resident memory with 20,000 and 50,000 stored messages, the time to show
// the account's list, and the time from a click on a message in that list
// to its page being loaded in the preview.
//
//   QTWEBENGINE_DISABLE_SANDBOX=1 build/bench/window/bench_window [ROUNDS]
//
// Each figure comes with its reference measured in the same run:
//  - start-up (process start until the main window is shown and the event
//    loop has run once) and the resident size of the program's process at
//    that moment (the web engine's own processes are not counted), against
//    the same start with a mailbox of 2 messages; the starts of the three
//    sizes are interleaved in every round and medians are printed;
//  - showing the list (a click on the account) against a plain read of the
//    account's mailbox file;
//  - a click on a message to its page loaded, against the least such a
//    click can cost: the list's selection delay (100 ms) plus the engine
//    loading the same page file once more.
//
// The program runs as a child process of this one (the same binary with
// --child DIR), so start-up includes loading the libraries.

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QItemSelectionModel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/CommandLine.h"
#include "app/VelmoraApp.h"
#include "core/TempDir.h"
#include "platform/LargePageHeap.h"
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

// ------------------------------------------------------------ the mailbox --

QByteArray Filled(const QByteArray& piece, qsizetype bytes)
{
    QByteArray s;
    while (s.size() < bytes)
        s += piece;
    return s;
}

QByteArray RfcDate(const QDateTime& t)
{
    return QLocale::c().toString(t.toUTC(), QStringLiteral("ddd, d MMM yyyy hh:mm:ss")).toLatin1() +
           " +0000";
}

// About 2 KB of headers, as list mail has them.
QByteArray HeaderBlock(int i, const QDateTime& date)
{
    QByteArray h;
    h += "Return-Path: <sender" + QByteArray::number(i % 97) + "@lists.example.org>\r\n";
    for (int r = 0; r < 4; ++r)
        h += "Received: from mx" + QByteArray::number(r) +
             ".relay.example.net (mx.relay.example.net [192.0.2." + QByteArray::number(r + 1) +
             "])\r\n\tby mail.example.com (Postfix) with ESMTPS id 4F" +
             QByteArray::number(i * 7 + r, 16).toUpper() + "\r\n\tfor <anna@example.com>; " +
             RfcDate(date) + "\r\n";
    h += "From: =?UTF-8?B?w4lsb2RpZSBNYXJ0aW4=?= <elodie" + QByteArray::number(i % 31) +
         "@example.org>\r\n";
    h += "To: Anna Berg <anna@example.com>, team@example.com\r\n";
    h += "Subject: =?ISO-8859-1?Q?R=E9union_de_l=27=E9quipe?= number " + QByteArray::number(i) +
         "\r\n";
    h += "Date: " + RfcDate(date) + "\r\n";
    h += "Message-ID: <" + QByteArray::number(i) + ".abcdef@lists.example.org>\r\n";
    h += "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"b" +
         QByteArray::number(i) + "\"\r\n";
    while (h.size() < 2000)
        h += "X-Filler-" + QByteArray::number(h.size()) +
             ": padding to the size of a typical header block of list mail\r\n";
    return h + "\r\n";
}

QByteArray PlainMessage(const QDateTime& date)
{
    return "From: Ann Example <ann@example.org>\r\nTo: anna@example.com\r\n"
           "Subject: Plain message\r\nDate: " +
           RfcDate(date) +
           "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" +
           Filled("A line of a plain message with a link https://example.org/page and an "
                  "address someone@example.org.\r\n",
                  5 * 1024);
}

// About 80 KB: an HTML body referring to 20 inline pictures.
QByteArray Newsletter(const QDateTime& date)
{
    QByteArray body = "<html><body>\r\n";
    for (int i = 0; i < 20; ++i)
        body += "<table><tr><td><img src=\"cid:pic" + QByteArray::number(i) + "@news\"></td><td>" +
                Filled("Story text of the newsletter, with a few words. ", 1500) +
                "</td></tr></table>\r\n";
    body += "</body></html>\r\n";
    // A real 2 by 2 PNG, padded with a comment chunk to 2 KB.
    QByteArray png = QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAIAAAD91JpzAAAAFklEQVR4nGP8z8DAwMDAxMDAwMDAAAANHQEDasKb6QAAAABJRU5ErkJggg==");
    QByteArray raw = "From: news@example.org\r\nTo: anna@example.com\r\nSubject: Newsletter\r\n"
                     "Date: " +
                     RfcDate(date) +
                     "\r\nMIME-Version: 1.0\r\n"
                     "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n"
                     "--BB\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" +
                     body + "\r\n";
    for (int i = 0; i < 20; ++i) {
        raw += "--BB\r\nContent-Type: image/png; name=\"pic" + QByteArray::number(i) +
               ".png\"\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <pic" +
               QByteArray::number(i) + "@news>\r\n\r\n";
        const QByteArray b64 = png.toBase64();
        for (qsizetype at = 0; at < b64.size(); at += 76)
            raw += b64.mid(at, 76) + "\r\n";
    }
    return raw + "--BB--\r\n";
}

// A data directory with one account holding `records` headers-only records
// (spread over the last 8 days, so the list shows them all) and two whole
// messages, the newest.
void MakeDataDir(const QString& dir, int records)
{
    QFile ini(dir + QStringLiteral("/velmora.ini"));
    ini.open(QIODevice::WriteOnly);
    // No check at start or on a timer: the account's server does not exist.
    ini.write("[GENERAL]\r\nShowMessagesOnStartup=1\r\nCheckMailOnStartup=0\r\n"
              "AutoMailCheck=0\r\nCheckMailOnTimer=0\r\n[WINDOWS]\r\nSaveWindowParams=0\r\n");
    ini.close();
    AccountsDirectory accounts;
    accounts.SetMailboxDirectory(dir + '/');
    auto* a = new MailAccount(&accounts);
    a->Login() = "anna";
    a->Server() = "pop.example.org";
    a->Password() = "secret";
    accounts.Add(a);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < records; ++i) {
        auto* m = new MessageRecord;
        m->UID = "UID-" + QByteArray::number(i);
        m->raw = HeaderBlock(i, now.addSecs(-60 - qint64(i) * 8 * 86400 / std::max(records, 1)));
        m->headersOnly = true;
        m->size = int(m->raw.size()) + 30000;
        m->serverNumber = i + 1;
        a->Box().Add(m);
    }
    const QByteArray wholes[] = {PlainMessage(now), Newsletter(now.addSecs(1))};
    for (const QByteArray& raw : wholes) {
        auto* m = new MessageRecord;
        m->UID = "whole-" + QByteArray::number(a->Box().Count());
        m->raw = raw;
        m->headersOnly = false;
        m->size = int(raw.size());
        m->serverNumber = a->Box().Count() + 1;
        a->Box().Add(m);
    }
    a->Box().SetLastCheck(1);
    MailboxSaveOptions options;
    options.MessageSaveRange = 2;
    a->SaveToFile(options);
}

// -------------------------------------------------------------- the child --

void Say(const QByteArray& line)
{
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

// Waits for the parent's go-ahead (it reads our memory meanwhile).
void AwaitParent()
{
    std::string line;
    std::getline(std::cin, line);
}

double Ms(qint64 ns)
{
    return double(ns) / 1e6;
}

int RunChild(const QString& dir, int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setQuitOnLastWindowClosed(false);
    CommandLine cl;
    cl.dataDir = dir;
    VelmoraApp velmora(app, cl);
    if (velmora.Prepare() != -1)
        return 3;
    velmora.CreateWindows();
    MainWindow* wnd = velmora.Window();
    QCoreApplication::processEvents();
    wnd->repaint();
    Say("ready");
    AwaitParent();

    // A click on the account: its list is shown.
    MailAccount* account = Accounts().At(0);
    QElapsedTimer t;
    t.start();
    wnd->Tree->clearSelection();
    wnd->NodeOf(account)->setSelected(true);
    wnd->TreeClick();
    wnd->MsgList->viewport()->repaint();
    const double listMs = Ms(t.nsecsElapsed());
    QByteArray fileName = (dir + '/' + account->MailboxFileName()).toLocal8Bit();
    t.restart();
    {
        QFile file(QString::fromLocal8Bit(fileName));
        file.open(QIODevice::ReadOnly);
        const QByteArray data = file.readAll();
        if (data.isEmpty())
            return 4;
    }
    const double readMs = Ms(t.nsecsElapsed());
    Say("list " + QByteArray::number(listMs, 'f', 2) + ' ' + QByteArray::number(readMs, 'f', 2) +
        ' ' + QByteArray::number(wnd->ListModel->MessageRowCount()));
    AwaitParent();

    // Clicks on the two whole messages (the last rows), alternating.
    PreviewPane* pane = wnd->ViewFrame;
    MessageView* view = pane->MsgViewFrame;
    qint64 loadedAt = -1;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(view, &MessageView::pageLoaded, [&](bool) { loadedAt = clock.nsecsElapsed(); });
    auto waitLoaded = [&] {
        QElapsedTimer limit;
        limit.start();
        while (loadedAt < 0 && limit.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return loadedAt >= 0;
    };
    const int rows = wnd->ListModel->rowCount();
    std::vector<double> click[2], engine[2];
    const int rounds = 6;
    for (int i = 0; i < 2 * rounds + 2; ++i) {
        const int kind = i % 2; // 0 plain, 1 newsletter
        const QModelIndex index = wnd->ListModel->index(rows - 2 + kind, 0);
        wnd->MsgList->scrollTo(index);
        const QPoint at = wnd->MsgList->visualRect(index).center();
        loadedAt = -1;
        const qint64 start = clock.nsecsElapsed();
        QTest::mouseClick(wnd->MsgList->viewport(), Qt::LeftButton, {}, at);
        if (!waitLoaded())
            return 5;
        const double clickMs = Ms(loadedAt - start);
        // The engine alone: the same page file loaded once more.
        loadedAt = -1;
        const qint64 again = clock.nsecsElapsed();
        view->DHTML->Navigate(view->PageFilePath());
        if (!waitLoaded())
            return 6;
        const double engineMs = Ms(loadedAt - again);
        if (i < 2)
            continue; // the first page of each kind warms the engine up
        click[kind].push_back(clickMs);
        engine[kind].push_back(engineMs);
    }
    QByteArray line = "click";
    for (int k = 0; k < 2; ++k)
        for (std::size_t r = 0; r < click[k].size(); ++r)
            line += ' ' + QByteArray::number(k) + ':' + QByteArray::number(click[k][r], 'f', 2) +
                    ':' + QByteArray::number(engine[k][r], 'f', 2);
    Say(line);
    AwaitParent();
    RemoveTempDir();
    std::fflush(stdout);
    _exit(0); // no shutdown: nothing to save
}

// ------------------------------------------------------------- the parent --

long StatusKb(qint64 pid, const char* field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLong();
    return 0;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Run
{
    double startMs = 0;
    double rssReadyMb = 0;
    double listMs = 0;
    double readMs = 0;
    double rssListMb = 0;
    int rows = 0;
    std::vector<double> click[2], engine[2];
    bool ok = false;
};

QByteArray ReadLine(QProcess& p)
{
    while (!p.canReadLine())
        if (!p.waitForReadyRead(120000))
            return {};
    return p.readLine().trimmed();
}

Run StartOnce(const QString& program, const QString& dir)
{
    Run run;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(program, {QStringLiteral("--child"), dir});
    if (!p.waitForStarted(10000))
        return run;
    if (ReadLine(p) != "ready")
        return run;
    run.startMs = Ms(t.nsecsElapsed());
    run.rssReadyMb = StatusKb(p.processId(), "VmRSS:") / 1024.0;
    p.write("go\n");
    const QList<QByteArray> list = ReadLine(p).split(' ');
    if (list.size() != 4 || list[0] != "list")
        return run;
    run.listMs = list[1].toDouble();
    run.readMs = list[2].toDouble();
    run.rows = list[3].toInt();
    run.rssListMb = StatusKb(p.processId(), "VmRSS:") / 1024.0;
    p.write("go\n");
    const QList<QByteArray> clicks = ReadLine(p).split(' ');
    if (clicks.isEmpty() || clicks[0] != "click")
        return run;
    for (int i = 1; i < clicks.size(); ++i) {
        const QList<QByteArray> f = clicks[i].split(':');
        const int kind = f[0].toInt();
        run.click[kind].push_back(f[1].toDouble());
        run.engine[kind].push_back(f[2].toDouble());
    }
    p.write("go\n");
    p.waitForFinished(20000);
    run.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return run;
}

int RunParent(int rounds)
{
    const QString program = QCoreApplication::applicationFilePath();
    const int sizes[] = {0, 20000, 50000};
    QTemporaryDir dirs[3];
    for (int s = 0; s < 3; ++s) {
        QFile::setPermissions(dirs[s].path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        MakeDataDir(dirs[s].path(), sizes[s]);
    }
    std::vector<Run> runs[3];
    for (int r = 0; r < rounds; ++r) {
        for (int s = 0; s < 3; ++s) {
            Run run = StartOnce(program, dirs[s].path());
            if (!run.ok) {
                std::fprintf(stderr, "the window with %d stored messages did not come up\n",
                             sizes[s] + 2);
                return 1;
            }
            runs[s].push_back(std::move(run));
        }
    }
    auto median = [&](int s, double Run::*field) {
        std::vector<double> v;
        for (const Run& run : runs[s])
            v.push_back(run.*field);
        return Median(v);
    };
    std::printf("window start-up (process start until the main window is shown), %d rounds, "
                "medians; reference: 2 stored messages\n",
                rounds);
    std::printf("  %-16s %10s %8s %10s %8s %14s %10s %8s %12s\n", "stored messages",
                "start ms", "x ref", "RSS MB", "x ref", "list shown ms", "read ms", "x read",
                "RSS list MB");
    for (int s = 0; s < 3; ++s) {
        const double start = median(s, &Run::startMs);
        const double rss = median(s, &Run::rssReadyMb);
        const double list = median(s, &Run::listMs);
        const double read = median(s, &Run::readMs);
        std::printf("  %-16d %10.0f %8.2f %10.1f %8.2f %14.1f %10.2f %8.1f %12.1f\n", sizes[s] + 2,
                    start, start / median(0, &Run::startMs), rss,
                    rss / median(0, &Run::rssReadyMb), list, read, read > 0 ? list / read : 0.0,
                    median(s, &Run::rssListMb));
    }
    std::printf("\nclick on a message to its page loaded (%d stored messages), medians; "
                "reference: the selection delay (100 ms) + the engine loading the same page "
                "again\n",
                sizes[1] + 2);
    const char* kinds[2] = {"plain 5 KB", "newsletter 80 KB, 20 pictures"};
    for (int k = 0; k < 2; ++k) {
        std::vector<double> click, engine, ratio;
        for (const Run& run : runs[1])
            for (std::size_t i = 0; i < run.click[k].size(); ++i) {
                click.push_back(run.click[k][i]);
                engine.push_back(run.engine[k][i]);
                ratio.push_back(run.click[k][i] / (100.0 + run.engine[k][i]));
            }
        std::printf("  %-30s %8.1f ms   reference %8.1f ms   %5.2f x reference (%zu clicks)\n",
                    kinds[k], Median(click), 100.0 + Median(engine), Median(ratio), click.size());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool child = argc == 3 && QByteArray(argv[1]) == "--child";
    if (child)
        vm::UseLargePageHeap(argv); // as the program's main() does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-software-rasterizer");
    qputenv("VELMORA_MESSAGE_ANSWER", "no");
    if (child)
        return RunChild(QString::fromLocal8Bit(argv[2]), argc, argv);
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    return RunParent(rounds);
}
