// Loading and saving mailbox files: 20,000 headers-only records of about
// 2 KB of headers each, and 2,000 whole messages of 50 KB. Every save is
// reported with a plain write of the same bytes ("write_ms", "x_write"),
// every load with the time of a plain read of the same file in the same
// iteration ("read_ms") and their ratio ("x_read"), so the figures show how
// much of a load is parsing rather than I/O and copying, and with the pages
// the load had to map ("page_faults"; costly on some virtual machines).
// "x_read_all_parsed" adds the parse of every record's header block, which
// is what a load cost when it parsed every record at once.
//
// The save after a check (AfterCheck): a check has added one message, and
// the mailbox is written as the program writes it while it runs. "direct"
// is a whole save on the interface thread (SaveToFile: temporary file,
// fsync, rename); "background" is what the interface thread spends in the
// program as it is (the fingerprint, the file image and queueing it; the
// writer thread writes the file meanwhile); "look" is the once-a-second
// look at an unchanged mailbox. Each is reported with the time of a plain
// write of the same bytes into a file in the same iteration ("write_ms",
// no fsync) and the ratio ("x_write").

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include "model/AccountsDirectory.h"
#include "model/MailboxWriter.h"

using namespace vm;

namespace {

QByteArray HeaderBlock(int i)
{
    QByteArray h;
    h += "Return-Path: <sender" + QByteArray::number(i % 97) + "@lists.example.org>\r\n";
    for (int r = 0; r < 4; ++r)
        h += "Received: from mx" + QByteArray::number(r) +
             ".relay.example.net (mx.relay.example.net [192.0.2." + QByteArray::number(r + 1) +
             "])\r\n\tby mail.example.com (Postfix) with ESMTPS id 4F" +
             QByteArray::number(i * 7 + r, 16).toUpper() +
             "\r\n\tfor <anna@example.com>; Mon, 3 Jun 2024 10:0" + QByteArray::number(r) +
             ":00 +0200 (CEST)\r\n";
    h += "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=lists.example.org;\r\n"
         "\ts=sel1; h=from:to:subject:date:message-id:mime-version:content-type;\r\n"
         "\tbh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
         "\tb=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZSBidXQgaXQgbG9va3MgbGlrZSBvbmUgdG8g\r\n"
         "\t dGhlIHBhcnNlciBhbmQgdGFrZXMgdXAgYWJvdXQgYXMgbXVjaCByb29tIGFzIG9uZSB3b3VsZA==\r\n";
    h += "From: =?UTF-8?B?w4lsb2RpZSBNYXJ0aW4=?= <elodie" + QByteArray::number(i % 31) +
         "@example.org>\r\n";
    h += "To: Anna Berg <anna@example.com>, team@example.com\r\n";
    h += "Cc: \"Dr. Karl Meyer\" <karl@example.de>\r\n";
    h += "Subject: =?ISO-8859-1?Q?R=E9union_de_l=27=E9quipe?= number " + QByteArray::number(i) +
         " =?UTF-8?B?4pyTIGRvbmU=?=\r\n";
    h += "Date: Mon, 3 Jun 2024 " + QByteArray::number(10 + i % 12) + ":" +
         QByteArray::number(10 + i % 50) + ":00 +0200\r\n";
    h += "Message-ID: <" + QByteArray::number(i) + ".abcdef@lists.example.org>\r\n";
    h += "MIME-Version: 1.0\r\n";
    h += "Content-Type: multipart/mixed; boundary=\"----=_Part_" + QByteArray::number(i) + "\"\r\n";
    h += "List-Unsubscribe: <mailto:leave@lists.example.org>, "
         "<https://lists.example.org/unsubscribe?u=" +
         QByteArray::number(i) + ">\r\n";
    h += "X-Mailer: Example Mailer 4.2\r\n";
    while (h.size() < 2000)
        h += "X-Filler-" + QByteArray::number(h.size()) +
             ": padding to the size of a typical header block of list mail\r\n";
    h += "\r\n";
    return h;
}

QByteArray WholeMessage(int i)
{
    QByteArray m = HeaderBlock(i);
    const QByteArray line = QByteArray(76, 'Q') + "\r\n";
    m += "------=_Part_" + QByteArray::number(i) + "\r\nContent-Type: text/plain\r\n\r\n";
    while (m.size() < 50 * 1024)
        m += line;
    m += "------=_Part_" + QByteArray::number(i) + "--\r\n";
    return m;
}

struct Fixture
{
    QTemporaryDir tmp;
    AccountsDirectory dir;
    QString path;

    Fixture(const char* login, int count, bool whole)
    {
        // MAILBOX_BENCH_DIR keeps the generated files for inspection.
        const QString keep = qEnvironmentVariable("MAILBOX_BENCH_DIR");
        dir.SetMailboxDirectory(keep.isEmpty() ? tmp.path() : keep);
        auto* a = new MailAccount(&dir);
        a->Login() = login;
        a->Password() = "pw";
        for (int i = 0; i < count; ++i) {
            auto* m = new MessageRecord;
            m->UID = "UID-" + QByteArray::number(i) + "-" + QByteArray::number(i * 7919, 36);
            m->raw = whole ? WholeMessage(i) : HeaderBlock(i);
            m->headersOnly = !whole;
            m->size = int(m->raw.size()) + (whole ? 0 : 30000);
            m->serverNumber = i + 1;
            m->Date = 45000 + i * 0.001;
            a->Box().Add(m);
        }
        dir.Add(a);
        a->SaveToFile(Options());
        path = dir.MailboxDirectory() + a->MailboxFileName();
    }
    static vm::MailboxSaveOptions Options()
    {
        vm::MailboxSaveOptions o;
        o.MessageSaveRange = 2;
        o.OldMessagesThreshold = 40000;
        return o;
    }
};

Fixture& Headers()
{
    static Fixture f("headers", 20000, false);
    return f;
}

Fixture& Wholes()
{
    static Fixture f("whole", 2000, true);
    return f;
}

void Load(benchmark::State& state, Fixture& f)
{
    double readTotal = 0, loadTotal = 0, parseAllTotal = 0, faults = 0;
    qint64 bytes = 0;
    for (auto _ : state) {
        // The allocator gives its free memory back first, as at the start
        // of the program: otherwise what earlier loads left mapped would
        // decide how many pages this one has to map.
        malloc_trim(0);
        QElapsedTimer t;
        t.start();
        {
            QFile file(f.path);
            file.open(QIODevice::ReadOnly);
            const QByteArray data = file.readAll();
            bytes = data.size();
            benchmark::DoNotOptimize(data.constData());
        }
        const double read = double(t.nsecsElapsed()) / 1e9;
        malloc_trim(0);
        t.restart();
        rusage u0{};
        getrusage(RUSAGE_SELF, &u0);
        MailAccount a(&f.dir);
        a.LoadFromFile(f.path, {});
        rusage u1{};
        getrusage(RUSAGE_SELF, &u1);
        faults += double(u1.ru_minflt - u0.ru_minflt);
        benchmark::DoNotOptimize(a.Box().Count());
        const double load = double(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(load);
        // What a load that parses every record at once costs on top: the
        // parse every record's first parsed field runs.
        t.restart();
        for (int i = 0; i < a.Box().Count(); ++i)
            benchmark::DoNotOptimize(a.Box().At(i)->Subject().size());
        parseAllTotal += double(t.nsecsElapsed()) / 1e9;
        readTotal += read;
        loadTotal += load;
    }
    state.counters["read_ms"] = 1000 * readTotal / double(state.iterations());
    state.counters["x_read"] = loadTotal / readTotal;
    state.counters["x_read_all_parsed"] = (loadTotal + parseAllTotal) / readTotal;
    state.counters["page_faults"] = faults / double(state.iterations());
    state.counters["MB"] = double(bytes) / (1 << 20);
}

// Every save is reported with the time of writing the bytes it wrote to a
// file of their own in the same iteration ("write_ms") and their ratio
// ("x_write").
void Save(benchmark::State& state, Fixture& f)
{
    MailAccount* a = f.dir.At(0);
    QByteArray bytes;
    {
        QFile file(f.path);
        file.open(QIODevice::ReadOnly);
        bytes = file.readAll();
    }
    const QString copyPath = f.path + QStringLiteral(".copy");
    double writeTotal = 0, saveTotal = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        {
            QFile copy(copyPath);
            if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                copy.write(bytes) != bytes.size() || !copy.flush())
                state.SkipWithError("cannot write the reference file");
        }
        writeTotal += double(t.nsecsElapsed()) / 1e9;
        t.restart();
        a->SaveToFile(Fixture::Options());
        const double save = double(t.nsecsElapsed()) / 1e9;
        saveTotal += save;
        state.SetIterationTime(save);
    }
    QFile::remove(copyPath);
    state.counters["write_ms"] = 1000 * writeTotal / double(state.iterations());
    state.counters["x_write"] = saveTotal / writeTotal;
    state.counters["MB"] = double(bytes.size()) / (1 << 20);
}

void BM_Load20000HeaderRecords(benchmark::State& s)
{
    Load(s, Headers());
}
void BM_Load2000WholeMessages(benchmark::State& s)
{
    Load(s, Wholes());
}
void BM_Save20000HeaderRecords(benchmark::State& s)
{
    Save(s, Headers());
}
void BM_Save2000WholeMessages(benchmark::State& s)
{
    Save(s, Wholes());
}

enum class SaveWay { Direct, Background, Look };

void AfterCheck(benchmark::State& state, Fixture& f, SaveWay way)
{
    MailAccount* a = f.dir.At(0);
    const vm::MailboxSaveOptions options = Fixture::Options();
    const QString copy = f.path + QStringLiteral(".plain");
    double writeTotal = 0, saveTotal = 0;
    qint64 bytes = 0;
    int added = 0;
    for (auto _ : state) {
        if (way != SaveWay::Look) {
            // The check fetched one more message.
            auto* m = new MessageRecord;
            m->UID = "NEW-" + QByteArray::number(++added);
            m->raw = a->Box().At(0)->raw;
            m->headersOnly = a->Box().At(0)->headersOnly;
            m->fresh = true;
            m->SetNew(true);
            a->Box().Add(m);
        }
        QElapsedTimer t;
        t.start();
        switch (way) {
        case SaveWay::Direct:
            a->SaveToFile(options);
            break;
        case SaveWay::Background:
            benchmark::DoNotOptimize(a->StateFingerprint(options));
            BackgroundMailboxWriter().Queue(a->FileImage(options));
            benchmark::DoNotOptimize(a->StateFingerprint(options));
            break;
        case SaveWay::Look:
            benchmark::DoNotOptimize(a->StateFingerprint(options));
            break;
        }
        const double save = double(t.nsecsElapsed()) / 1e9;
        WaitForMailboxWrites();

        // The reference: the same bytes written with one plain write.
        QFile saved(f.path);
        saved.open(QIODevice::ReadOnly);
        const QByteArray data = saved.readAll();
        bytes = data.size();
        t.restart();
        {
            QFile out(copy);
            out.open(QIODevice::WriteOnly | QIODevice::Truncate);
            out.write(data);
        }
        const double write = double(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(save);
        saveTotal += save;
        writeTotal += write;
    }
    QFile::remove(copy);
    state.counters["write_ms"] = 1000 * writeTotal / double(state.iterations());
    state.counters["x_write"] = saveTotal / writeTotal;
    state.counters["MB"] = double(bytes) / (1 << 20);
}

void BM_AfterCheck20000HeaderRecordsDirect(benchmark::State& s)
{
    AfterCheck(s, Headers(), SaveWay::Direct);
}
void BM_AfterCheck20000HeaderRecordsBackground(benchmark::State& s)
{
    AfterCheck(s, Headers(), SaveWay::Background);
}
void BM_AfterCheck20000HeaderRecordsLook(benchmark::State& s)
{
    AfterCheck(s, Headers(), SaveWay::Look);
}
void BM_AfterCheck2000WholeMessagesDirect(benchmark::State& s)
{
    AfterCheck(s, Wholes(), SaveWay::Direct);
}
void BM_AfterCheck2000WholeMessagesBackground(benchmark::State& s)
{
    AfterCheck(s, Wholes(), SaveWay::Background);
}

BENCHMARK(BM_Load20000HeaderRecords)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Load2000WholeMessages)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Save20000HeaderRecords)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save2000WholeMessages)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AfterCheck20000HeaderRecordsDirect)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AfterCheck20000HeaderRecordsBackground)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AfterCheck20000HeaderRecordsLook)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AfterCheck2000WholeMessagesDirect)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AfterCheck2000WholeMessagesBackground)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
