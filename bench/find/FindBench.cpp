// A body search over 10,000 whole messages (about 170 MB), as the find
// window runs it, against reading the same bytes once (a byte search for the
// phrase in every raw text). The phrase occurs nowhere, so every message is
// parsed and every text part tested.

#include <benchmark/benchmark.h>

#include "mime/MessageMatcher.h"
#include "mime/MessageRecord.h"

#include <QByteArray>

#include <memory>
#include <vector>

using namespace vm;

namespace {

constexpr int kMessages = 10000;

// About 17 KB: a plain part, an HTML part and a small attachment.
QByteArray MakeMessage(int i)
{
    QByteArray words;
    for (int w = 0; words.size() < 7600; ++w)
        words += "lorem ipsum dolor sit amet " + QByteArray::number(i * 31 + w) + " ";
    QByteArray html = "<html><body><div style=\"font-family:Arial\">";
    for (int p = 0; html.size() < 7600; ++p)
        html += "<p>Paragraph <b>" + QByteArray::number(p) +
                "</b> consectetur adipiscing &amp; "
                "elit, sed do eiusmod tempor</p>\r\n";
    html += "</div></body></html>";
    QByteArray body;
    for (qsizetype at = 0; at < words.size(); at += 76)
        body += words.mid(at, 76) + "\r\n";
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

// The mailbox after a check: whole messages with their headers parsed.
std::vector<std::unique_ptr<MessageRecord>>& Messages()
{
    static std::vector<std::unique_ptr<MessageRecord>> messages = [] {
        std::vector<std::unique_ptr<MessageRecord>> v;
        for (int i = 0; i < kMessages; ++i) {
            auto m = std::make_unique<MessageRecord>();
            m->raw = MakeMessage(i);
            m->headersOnly = false;
            m->ParseWholeDeferred();
            v.push_back(std::move(m));
        }
        return v;
    }();
    return messages;
}

std::int64_t TotalBytes()
{
    std::int64_t n = 0;
    for (const auto& m : Messages())
        n += m->raw.size();
    return n;
}

void ReadBytesOnce(benchmark::State& state)
{
    const QByteArray needle = "velmora-absent-phrase";
    for (auto _ : state) {
        int found = 0;
        for (const auto& m : Messages())
            found += m->raw.indexOf(needle) >= 0;
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * TotalBytes());
    state.counters["MB"] = double(TotalBytes()) / 1e6;
}

void BodySearch(benchmark::State& state)
{
    MessageFilter f;
    f.fields = MessageFilter::Body;
    f.phrase = QStringLiteral("velmora-absent-phrase");
    for (auto _ : state) {
        int found = 0;
        for (const auto& m : Messages())
            found += MessageMatches(*m, f);
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * TotalBytes());
}

BENCHMARK(ReadBytesOnce)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BodySearch)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    // The messages are made before any timing starts.
    Messages();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
