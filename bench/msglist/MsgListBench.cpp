// The message list on a big mailbox, through the real main window offscreen:
// showing a mailbox of 50,000 records, re-sorting it by a column click, and
// refilling it after a check (new records, selection kept by UIDL). Each
// timed step includes painting the visible rows. Every step is measured in
// the same iteration on a mailbox of 5,000 records too ("ref_5000_ms"), and
// reported as the ratio of their times per record ("x_per_record", 1 when
// the step grows linearly with the mailbox). Memory is reported as the
// resident set growth per record.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QTemporaryDir>

#include "config/Settings.h"
#include "core/DateTime.h"
#include "core/Messages.h"
#include "core/AppInfo.h"
#include "lang/LangStartup.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"
#include "ui/main/MainWindow.h"

using namespace vm;

namespace {

constexpr int kRecords = 50000;
constexpr int kMedium = 5000;

long ResidentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

MessageRecord* MakeRecord(int i, vm::TDateTime base)
{
    auto* m = new MessageRecord;
    m->UID = "uidl-" + QByteArray::number(i) + "-x7f3";
    m->size = 700 + (i * 7919) % 3000000;
    m->raw = "From: =?UTF-8?B?w4lsb8Ovc2U=?= Sender" + QByteArray::number(i % 977) +
             " <sender" + QByteArray::number(i % 977) + "@example.org>\r\n"
             "Subject: Report number " + QByteArray::number((i * 7) % 50000) +
             " about the quarterly figures\r\n"
             "Date: Mon, 1 Jan 2029 10:00:00 +0000\r\n"
             "Message-ID: <" + QByteArray::number(i) + "@example.org>\r\n\r\n";
    m->ParseHeaders();
    m->Date = base - i / 24.0; // one an hour going back
    m->SetNew(i % 50 == 0);
    return m;
}

struct World
{
    QTemporaryDir dir;
    MailAccount* big = nullptr;
    MailAccount* small = nullptr;
    MailAccount* medium = nullptr; // the reference
    MainWindow* wnd = nullptr;
    long rssBefore = 0;
    long rssRecords = 0;
    long rssWindow = 0;
    long rssShown = 0;
    int nextUid = 10 * kRecords;
};

World& TheWorld()
{
    static World* w = [] {
        auto* world = new World;
        vm::AppInfo::SetDataDir(world->dir.path() + '/');
        vm::DiscoverLanguageFiles(world->dir.path() + '/');
        vm::ChooseAndLoadLanguage(world->dir.path() + '/', QStringLiteral("english.lng"));
        vm::AppSettings().OldMessagesDefHidden = false;
        vm::Accounts().SetMailboxDirectory(world->dir.path() + '/');
        world->rssBefore = ResidentKb();
        world->big = new MailAccount(&vm::Accounts());
        world->big->Login() = "big";
        const vm::TDateTime now = vm::Now();
        for (int i = 0; i < kRecords; ++i)
            world->big->Box().Add(MakeRecord(i, now));
        world->big->Box().SetStale(false);
        world->small = new MailAccount(&vm::Accounts());
        world->small->Login() = "small";
        world->small->Box().SetStale(false);
        world->medium = new MailAccount(&vm::Accounts());
        world->medium->Login() = "medium";
        for (int i = 0; i < kMedium; ++i)
            world->medium->Box().Add(MakeRecord(i, now));
        world->medium->Box().SetStale(false);
        vm::Accounts().Add(world->big);
        vm::Accounts().Add(world->small);
        vm::Accounts().Add(world->medium);
        world->rssRecords = ResidentKb();
        world->wnd = new MainWindow;
        world->wnd->resize(1200, 800);
        world->wnd->show();
        QApplication::processEvents();
        world->wnd->ShowMailbox(&world->small->Box());
        world->wnd->MsgList->viewport()->repaint();
        world->rssWindow = ResidentKb();
        world->wnd->ShowMailbox(&world->big->Box());
        world->wnd->MsgList->viewport()->repaint();
        world->rssShown = ResidentKb();
        return world;
    }();
    return *w;
}

void Paint(MainWindow* wnd)
{
    wnd->MsgList->viewport()->repaint();
}

void ReportMemory(benchmark::State& state, const World& w)
{
    state.counters["records"] = kRecords;
    state.counters["rss_records_kB"] = static_cast<double>(w.rssRecords - w.rssBefore);
    state.counters["rss_window_kB"] = static_cast<double>(w.rssWindow - w.rssRecords);
    state.counters["rss_list_kB"] = static_cast<double>(w.rssShown - w.rssWindow);
    state.counters["list_bytes_per_record"] =
        1024.0 * static_cast<double>(w.rssShown - w.rssWindow) / kRecords;
}

double Seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

// Times step(mailbox) after prepare(mailbox) on the reference mailbox and on
// the big one; the big one's time is the iteration's.
template <typename Prepare, typename Step>
void Measure(benchmark::State& state, Prepare prepare, Step step)
{
    World& w = TheWorld();
    double bigTotal = 0, mediumTotal = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        prepare(w.medium);
        t.start();
        step(w.medium);
        mediumTotal += Seconds(t);
        prepare(w.big);
        t.restart();
        step(w.big);
        const double s = Seconds(t);
        bigTotal += s;
        state.SetIterationTime(s);
    }
    state.counters["ref_5000_ms"] = 1000 * mediumTotal / double(state.iterations());
    state.counters["x_per_record"] = (bigTotal / kRecords) / (mediumTotal / kMedium);
}

// Showing a mailbox after another one was shown.
void BM_ShowMailbox(benchmark::State& state)
{
    World& w = TheWorld();
    Measure(
        state, [&](MailAccount*) { w.wnd->ShowMailbox(&w.small->Box()); },
        [&](MailAccount* a) {
            w.wnd->ShowMailbox(&a->Box());
            Paint(w.wnd);
        });
    ReportMemory(state, w);
}

// A click on a column header: re-sort with the selection following.
void BM_ResortByColumn(benchmark::State& state)
{
    World& w = TheWorld();
    const int column = static_cast<int>(state.range(0));
    Measure(
        state,
        [&](MailAccount* a) {
            w.wnd->ShowMailbox(&a->Box());
            auto* sm = w.wnd->MsgList->selectionModel();
            for (int r = 100; r < 110; ++r)
                sm->select(w.wnd->ListModel->index(r, 0),
                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        },
        [&](MailAccount*) {
            w.wnd->MsgListColumnClick(column); // flips or changes the sort
            Paint(w.wnd);
        });
    state.SetLabel("column " + std::to_string(column));
}

// A check added 20 new messages: refill the shown mailbox keeping the
// selection and focus by UIDL.
void BM_RefillAfterCheck(benchmark::State& state)
{
    World& w = TheWorld();
    const vm::TDateTime now = vm::Now();
    Measure(
        state,
        [&](MailAccount* a) {
            w.wnd->ShowMailbox(&a->Box());
            auto* sm = w.wnd->MsgList->selectionModel();
            sm->clearSelection();
            sm->select(w.wnd->ListModel->index(500, 0),
                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
            sm->setCurrentIndex(w.wnd->ListModel->index(500, 0), QItemSelectionModel::NoUpdate);
            for (int k = 0; k < 20; ++k)
                a->Box().Add(MakeRecord(w.nextUid++, now + 1));
        },
        [&](MailAccount* a) {
            w.wnd->ShowMailbox(&a->Box());
            Paint(w.wnd);
        });
    if (w.wnd->MsgList->SelectedRows().size() != 1)
        state.SkipWithError("selection lost in refill");
}

// Selecting every row and refilling: the worst case of the UIDL matching.
void BM_RefillWithAllSelected(benchmark::State& state)
{
    World& w = TheWorld();
    Measure(
        state,
        [&](MailAccount* a) {
            w.wnd->ShowMailbox(&a->Box());
            w.wnd->MsgList->selectAll();
        },
        [&](MailAccount* a) {
            w.wnd->ShowMailbox(&a->Box());
            Paint(w.wnd);
        });
    if (w.wnd->MsgList->SelectedRows().size() != w.wnd->ListModel->rowCount())
        state.SkipWithError("selection lost in refill");
}

BENCHMARK(BM_ShowMailbox)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ResortByColumn)
    ->UseManualTime()
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);
BENCHMARK(BM_RefillAfterCheck)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RefillWithAllSelected)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vm::ConsoleMessageService quiet;
    vm::SetMessageService(&quiet);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
