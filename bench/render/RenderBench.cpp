// Message pages from record to page file, the way the preview writes them:
// the stored text parsed once (ParseWhole), then rendered (MessagePageWriter)
// into a folder. Every case is timed together with a reference in the same
// iteration, writing the message's raw bytes unchanged to a file
// ("copy_ms"), and reported as the ratio to it ("x_copy"); "parse_ms" and
// "render_ms" split the time. Typical messages (a 5 KB plain text, an 80 KB
// HTML newsletter with 20 inline pictures) should take under 5 ms.
//
// The plain text conversion alone (ConvertPlainLine over 1 MB and 10 MB of
// lines full of web and mail addresses, and one 1 MB line of them) reports
// "x_1MB": the 10 MB time over the 1 MB time, near 10 when the conversion
// grows linearly (target: at most 11).
//
// Inline picture references: a crafted 4 MB HTML message with 1,600 inline
// parts whose Content-IDs all have different lengths and 640,000 "cid:"
// references, against a control of the same size whose ids share one
// length, both parsed and rendered in the same iteration; "x_control" is the
// crafted time over the control's (target: at most 2).
// The newsletter is also rendered with every picture written as a file
// beside the page (BM_Newsletter80KBPictureFiles), the way pages were written
// before small pictures went into the page itself.

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "mime/MessageRecord.h"
#include "render/MessagePage.h"

using namespace vm;

namespace {

QByteArray Filled(const QByteArray& piece, qsizetype bytes)
{
    QByteArray s;
    s.reserve(bytes + piece.size());
    while (s.size() < bytes)
        s += piece;
    return s;
}

const QByteArray kPlainLine =
    "Meeting notes: see www.example.com/agenda?id=42&amp=1 or mail jane.doe@example.org, "
    "plain words follow here <b> & more.\r\n";

QByteArray PlainMessage(qsizetype bytes)
{
    return "From: a@example.org\r\nSubject: plain\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n\r\n" +
           Filled(kPlainLine, bytes);
}

QByteArray HtmlMessage(qsizetype bytes)
{
    return "From: a@example.org\r\nSubject: html\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/html; charset=utf-8\r\n\r\n<html><body>\r\n" +
           Filled("<p class=\"x\">A paragraph of a long HTML mail with "
                  "<a href=\"https://example.com/\">a link</a> in it.</p>\r\n",
                  bytes) +
           "</body></html>\r\n";
}

// About 80 KB: an HTML body referring to 20 inline pictures of 2 KB each.
QByteArray Newsletter()
{
    QByteArray body = "<html><body>\r\n";
    for (int i = 0; i < 20; ++i)
        body += "<table><tr><td><img src=\"cid:pic" + QByteArray::number(i) + "@news\"></td><td>" +
                Filled("Story text of the newsletter, with a few words. ", 1500) +
                "</td></tr></table>\r\n";
    body += "</body></html>\r\n";
    QByteArray raw = "From: news@example.org\r\nSubject: news\r\nMIME-Version: 1.0\r\n"
                     "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n"
                     "--BB\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" +
                     body + "\r\n";
    const QByteArray picture = Filled("\x89PNG\r\n\x1A\n picture bytes ", 2048);
    for (int i = 0; i < 20; ++i) {
        raw += "--BB\r\nContent-Type: image/png; name=\"pic" + QByteArray::number(i) +
               ".png\"\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <pic" +
               QByteArray::number(i) + "@news>\r\n\r\n";
        const QByteArray b64 = picture.toBase64();
        for (qsizetype at = 0; at < b64.size(); at += 76)
            raw += b64.mid(at, 76) + "\r\n";
    }
    return raw + "--BB--\r\n";
}

double Seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

void RenderAgainstCopy(benchmark::State& state, const QByteArray& raw,
                       const PageOptions& options = PageOptions{})
{
    QTemporaryDir dir;
    MessagePageWriter writer(dir.path(), QStringLiteral("message1.html"));
    const QString copyPath = dir.path() + QStringLiteral("/copy");
    double copyTotal = 0, parseTotal = 0, renderTotal = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        {
            QFile::remove(copyPath);
            QFile copy(copyPath);
            if (!copy.open(QIODevice::WriteOnly) || copy.write(raw) != raw.size())
                state.SkipWithError("cannot write the reference file");
        }
        copyTotal += Seconds(t);

        t.restart();
        MessageRecord m;
        m.raw = raw;
        m.headersOnly = false;
        m.ParseWhole();
        const double parse = Seconds(t);
        t.restart();
        const RenderedPage page = writer.Render(m, options);
        const double render = Seconds(t);
        if (!page.written)
            state.SkipWithError("the page was not written");
        parseTotal += parse;
        renderTotal += render;
        state.SetIterationTime(parse + render);
    }
    const double n = double(state.iterations());
    state.counters["copy_ms"] = 1000 * copyTotal / n;
    state.counters["parse_ms"] = 1000 * parseTotal / n;
    state.counters["render_ms"] = 1000 * renderTotal / n;
    state.counters["x_copy"] = (parseTotal + renderTotal) / copyTotal;
    state.counters["MB"] = double(raw.size()) / (1 << 20);
}

void BM_Plain5KB(benchmark::State& state)
{
    RenderAgainstCopy(state, PlainMessage(5 * 1024));
}

void BM_Newsletter80KB(benchmark::State& state)
{
    RenderAgainstCopy(state, Newsletter());
}

void BM_Newsletter80KBPictureFiles(benchmark::State& state)
{
    RenderAgainstCopy(state, Newsletter(), PageOptions{true, true, 0});
}

void BM_Plain10MB(benchmark::State& state)
{
    RenderAgainstCopy(state, PlainMessage(10 << 20));
}

void BM_Html2MB(benchmark::State& state)
{
    RenderAgainstCopy(state, HtmlMessage(2 << 20));
}

// Converting the lines of a text of the given size; seconds.
double ConvertSeconds(const QList<QByteArray>& lines)
{
    QElapsedTimer t;
    t.start();
    qsizetype out = 0;
    for (const QByteArray& line : lines)
        out += ConvertPlainLine(line).size();
    benchmark::DoNotOptimize(out);
    return Seconds(t);
}

QList<QByteArray> Lines(qsizetype bytes)
{
    const QByteArray line = kPlainLine.chopped(2);
    return QList<QByteArray>(bytes / kPlainLine.size(), line);
}

// 1 MB and 10 MB of lines in the same iteration; also one 1 MB line.
void BM_ConvertPlainText(benchmark::State& state)
{
    const QList<QByteArray> small = Lines(1 << 20);
    const QList<QByteArray> large = Lines(10 << 20);
    const QList<QByteArray> oneLine{Filled(kPlainLine.chopped(2) + ' ', 1 << 20)};
    double smallTotal = 0, largeTotal = 0, lineTotal = 0;
    for (auto _ : state) {
        smallTotal += ConvertSeconds(small);
        const double s = ConvertSeconds(large);
        largeTotal += s;
        lineTotal += ConvertSeconds(oneLine);
        state.SetIterationTime(s);
    }
    const double n = double(state.iterations());
    state.counters["1MB_ms"] = 1000 * smallTotal / n;
    state.counters["10MB_ms"] = 1000 * largeTotal / n;
    state.counters["1MB_one_line_ms"] = 1000 * lineTotal / n;
    state.counters["x_1MB"] = largeTotal / smallTotal;
}

// An HTML message with 1,600 inline parts and 640,000 "cid:" references in
// lines of 76 bytes. differentLengths: the ids have the lengths 1 to 1,600;
// otherwise every id is 800 bytes long (the same bytes in all).
QByteArray InlineReferenceMessage(bool differentLengths)
{
    constexpr int kParts = 1600;
    constexpr int kReferences = 640000;
    QByteArray raw = "From: a@example.org\r\nSubject: inline\r\nMIME-Version: 1.0\r\n"
                     "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n"
                     "--BB\r\nContent-Type: text/html; charset=utf-8\r\n\r\n";
    raw.reserve(5 << 20);
    const QByteArray line = QByteArray("cid:").repeated(19) + "\r\n";
    for (int i = 0; i < kReferences / 19; ++i)
        raw += line;
    for (int i = 0; i < kParts; ++i) {
        const QByteArray number = QByteArray::number(i);
        const qsizetype length = differentLengths ? i + 1 : 800;
        // Distinct ids of the chosen length; none matches a reference.
        const QByteArray id = number.rightJustified(length, 'q', true);
        raw += "--BB\r\nContent-Type: image/png; name=\"p" + number +
               ".png\"\r\nContent-ID: <" + id + ">\r\n\r\nPNG\r\n";
    }
    return raw + "--BB--\r\n";
}

double RenderSeconds(MessagePageWriter& writer, const QByteArray& raw)
{
    QElapsedTimer t;
    t.start();
    MessageRecord m;
    m.raw = raw;
    m.headersOnly = false;
    m.ParseWhole();
    benchmark::DoNotOptimize(writer.Render(m, PageOptions{true, false}).written);
    return Seconds(t);
}

void BM_InlineReferenceLengths(benchmark::State& state)
{
    const QByteArray crafted = InlineReferenceMessage(true);
    const QByteArray control = InlineReferenceMessage(false);
    QTemporaryDir dir;
    MessagePageWriter writer(dir.path(), QStringLiteral("message1.html"));
    double craftedTotal = 0, controlTotal = 0;
    for (auto _ : state) {
        const double s = RenderSeconds(writer, crafted);
        craftedTotal += s;
        controlTotal += RenderSeconds(writer, control);
        state.SetIterationTime(s);
    }
    const double n = double(state.iterations());
    state.counters["crafted_ms"] = 1000 * craftedTotal / n;
    state.counters["control_ms"] = 1000 * controlTotal / n;
    state.counters["x_control"] = craftedTotal / controlTotal;
    state.counters["MB"] = double(crafted.size()) / (1 << 20);
    state.counters["control_MB"] = double(control.size()) / (1 << 20);
}

BENCHMARK(BM_Plain5KB)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_Newsletter80KB)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_Newsletter80KBPictureFiles)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1);
BENCHMARK(BM_Plain10MB)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Html2MB)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_ConvertPlainText)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InlineReferenceLengths)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
