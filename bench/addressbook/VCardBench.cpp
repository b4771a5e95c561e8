// Importing vCard files the way `velmora --import-contacts` does: the file
// read into cards (ReadVCards), the cards merged into the address book
// (ImportVCards) and the book written to its file.
//
// "x_10k": the time for 40,000 cards over the time for 10,000 in the same
// iteration (linear growth gives 4; target: at most 6). The cards have
// distinct names, so each becomes an entry; every tenth card repeats an
// earlier name and goes into its entry.
//
// One property folded over 10 MB (75-byte lines, as a writer folds them):
// "note_s" for a NOTE value, "late_colon_s" for a property whose colon only
// comes at the end of the 10 MB (target: each within 5 s).

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
    const VCardImportResult r = ImportVCards(
        book, cards, [](const QByteArray&) { return true; }, {});
    book.SaveToFile(bookFile);
    const double s = Seconds(t);
    if (int(cards.size()) != expectedCards || r.added + r.updated != expectedCards)
        return -1;
    return s;
}

void BM_ImportCards(benchmark::State& state)
{
    const QByteArray small = Cards(10000);
    const QByteArray large = Cards(40000);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("addressbook.vlab"));
    double smallTotal = 0, largeTotal = 0;
    for (auto _ : state) {
        const double s = ImportSeconds(small, file, 10000);
        const double l = ImportSeconds(large, file, 40000);
        if (s < 0 || l < 0)
            state.SkipWithError("cards were lost");
        smallTotal += s;
        largeTotal += l;
        state.SetIterationTime(l);
    }
    const double n = double(state.iterations());
    state.counters["10k_ms"] = 1000 * smallTotal / n;
    state.counters["40k_ms"] = 1000 * largeTotal / n;
    state.counters["x_10k"] = largeTotal / smallTotal;
}

void BM_FoldedProperty10MB(benchmark::State& state)
{
    const QByteArray value(10 << 20, 'n');
    const QByteArray note = OneFoldedProperty("NOTE:", value);
    const QByteArray lateColon = OneFoldedProperty("X-LONG;X-PARAM=" + value, ":x");
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("addressbook.vlab"));
    double noteTotal = 0, lateTotal = 0;
    for (auto _ : state) {
        const double a = ImportSeconds(note, file, 1);
        const double b = ImportSeconds(lateColon, file, 1);
        if (a < 0 || b < 0)
            state.SkipWithError("the card was lost");
        noteTotal += a;
        lateTotal += b;
        state.SetIterationTime(a + b);
    }
    const double n = double(state.iterations());
    state.counters["note_s"] = noteTotal / n;
    state.counters["late_colon_s"] = lateTotal / n;
}

BENCHMARK(BM_ImportCards)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_FoldedProperty10MB)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
