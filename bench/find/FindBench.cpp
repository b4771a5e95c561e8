// A body search over 10,000 whole messages (about 175 MB), as the find
// window runs it, timed in every iteration together with its reference,
// reading the same bytes once (a byte search for the phrase in every raw
// text): "read_ms", and the ratio "x_read". The phrase occurs nowhere, so
// every text part of every message is tested. Two mailboxes: messages in
// plain ASCII, and the same with accented words (UTF-8 and Latin-1 text),
// whose parts are decoded to Unicode before they are searched.
// BM_BodySearchByFullParse is the same search done by parsing every message
// whole, as it was done before the text part scan.

#include <benchmark/benchmark.h>

#include "mime/MessageMatcher.h"
#include "mime/MessageRecord.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <algorithm>
#include <memory>
#include <vector>

using namespace vm;

namespace {

constexpr int kMessages = 10000;

// About 17 KB: a plain part, an HTML part and a small attachment.
QByteArray MakeMessage(int i, bool accented)
{
    QByteArray words;
    for (int w = 0; words.size() < 7600; ++w)
        words += (accented && w % 10 == 0 ? "caf\xC3\xA9 na\xC3\xAFve Gr\xC3\xBC\xC3\x9F\x65 "
                                          : "lorem ipsum dolor sit amet ") +
                 QByteArray::number(i * 31 + w) + " ";
    QByteArray html = "<html><body><div style=\"font-family:Arial\">";
    for (int p = 0; html.size() < 7600; ++p)
        html += "<p>Paragraph <b>" + QByteArray::number(p) +
                (accented && p % 4 == 0 ? "</b> caf\xE9 cr\xE8me &amp; "
                                        : "</b> consectetur adipiscing &amp; ") +
                "elit, sed do eiusmod tempor</p>\r\n";
    html += "</div></body></html>";
    // Lines of at most 76 bytes, broken at blanks (never inside a character).
    QByteArray body;
    for (qsizetype at = 0; at < words.size();) {
        qsizetype end = std::min(at + 76, words.size());
        if (end < words.size()) {
            const qsizetype blank = words.lastIndexOf(' ', end);
            if (blank > at)
                end = blank + 1;
        }
        body += words.mid(at, end - at) + "\r\n";
        at = end;
    }
    return "From: Sender " + QByteArray::number(i) + " <s" + QByteArray::number(i) +
           "@example.org>\r\nSubject: Message " + QByteArray::number(i) +
           "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
           "--b\r\nContent-Type: multipart/alternative; boundary=\"a\"\r\n\r\n"
           "--a\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" +
           body + "--a\r\nContent-Type: text/html; charset=iso-8859-1\r\n\r\n" + html +
           "\r\n--a--\r\n--b\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           QByteArray(1200, 'x').toBase64() + "\r\n--b--\r\n";
}

using Messages = std::vector<std::unique_ptr<MessageRecord>>;

// The mailbox after a check: whole messages with their headers parsed.
Messages MakeMessages(bool accented)
{
    Messages v;
    for (int i = 0; i < kMessages; ++i) {
        auto m = std::make_unique<MessageRecord>();
        m->raw = MakeMessage(i, accented);
        m->headersOnly = false;
        m->ParseWholeDeferred();
        v.push_back(std::move(m));
    }
    return v;
}

Messages& Plain()
{
    static Messages messages = MakeMessages(false);
    return messages;
}

Messages& Accented()
{
    static Messages messages = MakeMessages(true);
    return messages;
}

double Seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

void Search(benchmark::State& state, const Messages& messages)
{
    MessageFilter f;
    f.fields = MessageFilter::Body;
    f.phrase = QStringLiteral("velmora-absent-phrase");
    const QByteArray needle = f.phrase.toUtf8();
    std::int64_t bytes = 0;
    for (const auto& m : messages)
        bytes += m->raw.size();
    double readTotal = 0, searchTotal = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        int found = 0;
        for (const auto& m : messages)
            found += m->raw.indexOf(needle) >= 0;
        benchmark::DoNotOptimize(found);
        readTotal += Seconds(t);
        t.restart();
        for (const auto& m : messages)
            found += MessageMatches(*m, f);
        benchmark::DoNotOptimize(found);
        const double s = Seconds(t);
        searchTotal += s;
        state.SetIterationTime(s);
        if (found != 0)
            state.SkipWithError("the absent phrase was found");
    }
    const double n = double(state.iterations());
    state.counters["read_ms"] = 1000 * readTotal / n;
    state.counters["x_read"] = searchTotal / readTotal;
    state.counters["MB"] = double(bytes) / 1e6;
}

// The search the way it was done before the text part scan, for the
// "before" figure: every message parsed whole (the MIME tree), each text
// part decoded to Unicode, HTML reduced to its text, then the phrase test.
void SearchByFullParse(benchmark::State& state, const Messages& messages)
{
    const QString needle = QStringLiteral("velmora-absent-phrase");
    const QByteArray bytesNeedle = needle.toUtf8();
    double readTotal = 0, searchTotal = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        int found = 0;
        for (const auto& m : messages)
            found += m->raw.indexOf(bytesNeedle) >= 0;
        benchmark::DoNotOptimize(found);
        readTotal += Seconds(t);
        t.restart();
        for (const auto& m : messages) {
            MessageRecord whole;
            whole.raw = m->raw;
            whole.headersOnly = false;
            for (const TextPart& part : whole.ReadTextParts()) {
                QString text = part.Text();
                if (part.contentType == "text/html")
                    text = HtmlToSearchText(text);
                found += PhraseOccurs(text.toLower(), needle, false);
            }
        }
        benchmark::DoNotOptimize(found);
        const double s = Seconds(t);
        searchTotal += s;
        state.SetIterationTime(s);
    }
    const double n = double(state.iterations());
    state.counters["read_ms"] = 1000 * readTotal / n;
    state.counters["x_read"] = searchTotal / readTotal;
}

void BM_BodySearchByFullParse(benchmark::State& state)
{
    SearchByFullParse(state, Plain());
}

void BM_BodySearch(benchmark::State& state)
{
    Search(state, Plain());
}

void BM_BodySearchAccented(benchmark::State& state)
{
    Search(state, Accented());
}

BENCHMARK(BM_BodySearch)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_BodySearchAccented)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BodySearchByFullParse)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace

int main(int argc, char** argv)
{
    // The messages are made before any timing starts.
    Plain();
    Accented();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
