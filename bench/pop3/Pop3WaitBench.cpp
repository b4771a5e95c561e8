// CPU use of the interface thread while a POP3 worker waits on a server that
// has stopped answering. The worker connects to a scripted server that sends
// its greeting and then stays silent; the interface thread waits in the
// worker runner until the silence limit (2 s) ends the worker.
//
// Reported per iteration: wall time, CPU time of the interface thread
// ("ui_cpu_ms", "ui_cpu_pct"), CPU time of the whole process (worker and
// fake server included, "proc_cpu_pct"), and as reference the CPU share of
// the same thread spinning through processEvents for the same time the way
// a wait loop without sleeping would ("spin_cpu_pct"), with the ratio
// "x_spin" = ui_cpu_pct / spin_cpu_pct.

#include "model/MailAccount.h"
#include "net/Transport.h"
#include "ops/ErrorList.h"
#include "ops/WorkerRunner.h"
#include "support/FakeServer.h"
#include "support/TestPki.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <ctime>

using namespace vm;

namespace {

double CpuMs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

void BM_WaitOnStalledServer(benchmark::State& state)
{
    vm::test::EnsureCoreApp();
    MailAccount account;
    account.Login() = "bench";
    double uiPct = 0, procPct = 0, uiMs = 0, wallMs = 0, spinPct = 0;
    int runs = 0;
    for (auto _ : state) {
        vm::test::FakeServer server;
        server.SendLine("+OK ready").Stall(-1);
        server.Start();
        vm::Transport transport;
        vm::GetMailParams params;
        vm::ClearErrorList();
        QElapsedTimer wall;
        const double ui0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
        const double p0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
        wall.start();
        const int result = vm::RunPop3Worker(params, transport, account, nullptr, 2, [&] {
            vm::RunWorkerBody(params, transport, "bench", nullptr, [&] {
                transport.Connect("127.0.0.1", server.Port());
                transport.ReadReplyLine();
                transport.ReadReplyLine(); // never comes
            });
        });
        const double w = double(wall.nsecsElapsed()) / 1e6;
        const double ui = CpuMs(CLOCK_THREAD_CPUTIME_ID) - ui0;
        const double proc = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - p0;
        if (result != vm::kResultFailed || vm::ErrorList().size() != 1)
            state.SkipWithError("the silent worker was not ended by the silence limit");
        state.SetIterationTime(w / 1000.0);

        // Reference: the same thread spinning for the same time.
        const double s0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
        QElapsedTimer spin;
        spin.start();
        while (spin.elapsed() < qint64(w / 4))
            QCoreApplication::processEvents();
        const double spinMs = CpuMs(CLOCK_THREAD_CPUTIME_ID) - s0;

        uiMs += ui;
        wallMs += w;
        uiPct += 100.0 * ui / w;
        procPct += 100.0 * proc / w;
        spinPct += 100.0 * spinMs / double(spin.elapsed());
        ++runs;
    }
    state.counters["wall_ms"] = wallMs / runs;
    state.counters["ui_cpu_ms"] = uiMs / runs;
    state.counters["ui_cpu_pct"] = uiPct / runs;
    state.counters["proc_cpu_pct"] = procPct / runs;
    state.counters["spin_cpu_pct"] = spinPct / runs;
    state.counters["x_spin"] = spinPct > 0 ? uiPct / spinPct : 0;
}
BENCHMARK(BM_WaitOnStalledServer)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
