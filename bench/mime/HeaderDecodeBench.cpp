// Decoding a 1 MB subject the way the message list and --list do (parsing
// the header block, then Subject()). Every case is timed together with a
// plain 1 MB subject of letters in the same iteration ("plain_ms"), and
// reported as the ratio to it ("x_plain"): a hostile subject of encoded-word
// openings that never end ("=?x?Q?a" repeated) must cost about as much as
// the plain one.

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include "mime/MessageRecord.h"

using namespace vm;

namespace {

constexpr int kSubjectBytes = 1 << 20;

QByteArray Repeat(const QByteArray& piece)
{
    QByteArray s;
    s.reserve(kSubjectBytes + piece.size());
    while (s.size() < kSubjectBytes)
        s += piece;
    return s;
}

QByteArray Message(const QByteArray& subject)
{
    return "From: a@example.org\r\nSubject: " + subject + "\r\n\r\n";
}

// Seconds to parse the header block and decode the subject.
double DecodeSeconds(const QByteArray& message)
{
    QElapsedTimer t;
    t.start();
    MessageRecord m;
    m.raw = message;
    m.ParseHeaders();
    const QString subject = m.Subject();
    benchmark::DoNotOptimize(subject.constData());
    return double(t.nsecsElapsed()) / 1e9;
}

void DecodeAgainstPlain(benchmark::State& state, const QByteArray& subject)
{
    const QByteArray plain = Message(Repeat("abcdefg"));
    const QByteArray message = Message(subject);
    double plainTotal = 0, total = 0;
    for (auto _ : state) {
        plainTotal += DecodeSeconds(plain);
        const double s = DecodeSeconds(message);
        state.SetIterationTime(s);
        total += s;
    }
    state.counters["plain_ms"] = 1000 * plainTotal / double(state.iterations());
    state.counters["x_plain"] = total / plainTotal;
    state.counters["MB"] = double(subject.size()) / (1 << 20);
}

// Openings of encoded words that never end: the hostile case.
void BM_UnendedEncodedWords(benchmark::State& state)
{
    DecodeAgainstPlain(state, Repeat("=?x?Q?a"));
}

// Well-formed encoded words, each decoded (for scale).
void BM_EncodedWords(benchmark::State& state)
{
    DecodeAgainstPlain(state, Repeat("=?utf-8?Q?caf=C3=A9?= "));
}

// Raw UTF-8 without any encoded word.
void BM_RawUtf8(benchmark::State& state)
{
    DecodeAgainstPlain(state, Repeat(QByteArray("caf\xC3\xA9 \xC2\xA3") + "600 "));
}

BENCHMARK(BM_UnendedEncodedWords)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_EncodedWords)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_RawUtf8)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);

} // namespace

BENCHMARK_MAIN();
