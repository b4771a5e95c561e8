// Importing vCard files the way `velmora --import-contacts` does: the file
// read into cards (ReadVCards), the cards merged into the address book
// (ImportVCards) and the book written to its file.
//
// BM_Import/cards: "x_10k" is the time for 40,000 cards over the time for
// 10,000 in the same iteration (linear growth gives 4; target: at most 6).
// The cards have distinct names, so each becomes an entry; every tenth card
// repeats an earlier name and goes into its entry.
//
// BM_Import/folded_property_10mb: one property folded over 10 MB (75-byte
// lines, as a writer folds them); "note_s" for a NOTE value, "late_colon_s"
// for a property whose colon only comes at the end of the 10 MB (target:
// each within 5 s).

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "addressbook/AddressBook.h"
#include "addressbook/VCard.h"

using namespace vm;

namespace {

QByteArray Cards(int count)
{
    QByteArray text;
    text.reserve(qsizetype(count) * 150);
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i % 10 == 9 ? i - 5 : i);
        const QByteArray own = QByteArray::number(i);
        text += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Family" + n + ";Given" + n + ";;;\r\nFN:Given" +
                n + " Family" + n + "\r\nEMAIL;TYPE=INTERNET:person" + own +
                "@example.org\r\nTEL:+1 555 " + own + "\r\nEND:VCARD\r\n";
    }
    return text;
}

// Folds a content line at 75 bytes, continuation lines starting with a blank.
QByteArray Folded(const QByteArray& line)
{
    QByteArray out;
    out.reserve(line.size() + line.size() / 25);
    out += line.left(75);
    for (qsizetype at = 75; at < line.size(); at += 74)
        out += "\r\n " + line.mid(at, 74);
    return out + "\r\n";
}

QByteArray OneFoldedProperty(const QByteArray& head, const QByteArray& value)
{
    return "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Big Note\r\n" + Folded(head + value) +
           "EMAIL:big@example.org\r\nEND:VCARD\r\n";
}

double Seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

// Reads, imports into an empty book and saves; seconds.
double ImportSeconds(const QByteArray& text, const QString& bookFile, int expectedCards)
{
    QElapsedTimer t;
    t.start();
    const std::vector<VCardContact> cards = ReadVCards(text);
    AddressBook book;
    const VCardImportResult r =
        ImportVCards(book, cards, [](const QByteArray&) { return true; }, {});
    book.SaveToFile(bookFile);
    const double s = Seconds(t);
    if (int(cards.size()) != expectedCards || r.added + r.updated != expectedCards)
        return -1;
    return s;
}

// One input of a pair: made once, imported in every iteration; its mean
// time is reported under counter.
struct ImportInput
{
    QByteArray (*make)();
    int cards;
    const char* counter;
};

// Two inputs imported one after the other in every iteration, each into an
// empty book. Times are scaled by scale (1000: milliseconds, 1: seconds).
struct ImportPair
{
    ImportInput first;
    ImportInput second;
    double scale = 1;
    bool timeSecondOnly = false;        // the iteration's time: the second import alone, else both
    const char* ratioCounter = nullptr; // the second time over the first
};

void BM_Import(benchmark::State& state, const ImportPair& pair)
{
    const QByteArray first = pair.first.make();
    const QByteArray second = pair.second.make();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("addressbook.vlab"));
    double firstTotal = 0, secondTotal = 0;
    for (auto _ : state) {
        const double a = ImportSeconds(first, file, pair.first.cards);
        const double b = ImportSeconds(second, file, pair.second.cards);
        if (a < 0 || b < 0)
            state.SkipWithError("cards were lost");
        firstTotal += a;
        secondTotal += b;
        state.SetIterationTime(pair.timeSecondOnly ? b : a + b);
    }
    const double n = double(state.iterations());
    state.counters[pair.first.counter] = pair.scale * firstTotal / n;
    state.counters[pair.second.counter] = pair.scale * secondTotal / n;
    if (pair.ratioCounter)
        state.counters[pair.ratioCounter] = secondTotal / firstTotal;
}

QByteArray TenMegabytes()
{
    return QByteArray(10 << 20, 'n');
}

const ImportPair kCardCounts{.first = {[] { return Cards(10000); }, 10000, "10k_ms"},
                             .second = {[] { return Cards(40000); }, 40000, "40k_ms"},
                             .scale = 1000,
                             .timeSecondOnly = true,
                             .ratioCounter = "x_10k"};

const ImportPair kFoldedProperty{
    .first = {[] { return OneFoldedProperty("NOTE:", TenMegabytes()); }, 1, "note_s"},
    .second = {[] { return OneFoldedProperty("X-LONG;X-PARAM=" + TenMegabytes(), ":x"); }, 1,
               "late_colon_s"}};

BENCHMARK_CAPTURE(BM_Import, cards, kCardCounts)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK_CAPTURE(BM_Import, folded_property_10mb, kFoldedProperty)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
