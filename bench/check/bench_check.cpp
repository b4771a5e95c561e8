// Speed of the mail check on big mailboxes, against a real Dovecot on
// loopback filled with N realistic messages. For each N it measures, in
// rounds (5 by default): a bare UIDL round trip (the floor), the first check
// with headers only, the first check with whole messages, an unchanged
// re-check, mpop retrieving the same messages with keep on (the reference),
// and the server's own delivery: every message asked for at once and its
// bytes thrown away as they come (no client can fetch faster from this
// server). Every round measures all of them one after the other, so the
// reference shares each round's conditions; each figure is printed as its
// median time, the median of its per-round ratios to mpop and to the floor,
// and the spread of the ratio to mpop over the rounds (lowest - highest).
//
//   bench_check [--rounds R] [N ...]        (default: 5 rounds; 1000 10000)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <cstring>
#include <string_view>
#include <thread>

#include "model/MailAccount.h"
#include "ops/CheckAccount.h"
#include "ops/ErrorList.h"
#include "platform/LargePageHeap.h"
#include "pop3/Pop3Client.h"
#include "support/DovecotFixture.h"

using namespace vm;
using vm::test::DovecotFixture;

namespace {

// A message with the headers and shape of ordinary mail: a relay trail,
// encoded names and subjects, a text and an HTML alternative, now and then
// a base64 attachment. Sizes: mostly a few kilobytes, some tens, a few
// hundred.
QByteArray MakeMessage(int i, QRandomGenerator& rng)
{
    static const char* names[] = {"=?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?=", "Anna Smith",
                                  "=?ISO-8859-2?Q?Pawe=B3_Nowak?=", "\"Support Team\"",
                                  "=?UTF-8?B?0JjQstCw0L0g0J/QtdGC0YDQvtCy?="};
    static const char* subjects[] = {
        "Quarterly report", "=?UTF-8?Q?Re=3A_Caf=C3=A9_meeting?=", "Your order has shipped",
        "=?UTF-8?B?0J7RgtGH0ZHRgg==?=", "Invoice 2024-%1"};
    const int roll = int(rng.bounded(100));
    int bodySize = roll < 75   ? 1500 + int(rng.bounded(5000))
                   : roll < 97 ? 8000 + int(rng.bounded(30000))
                               : 80000 + int(rng.bounded(220000));
    QByteArray m;
    m += "Return-Path: <sender" + QByteArray::number(i) + "@example.org>\r\n";
    for (int r = 0; r < 3; ++r)
        m += "Received: from relay" + QByteArray::number(r) +
             ".example.net (relay.example.net [192.0.2." + QByteArray::number(r + 1) +
             "])\r\n\tby mx.example.com with ESMTPS id " + QByteArray::number(i * 7 + r, 16) +
             "\r\n\tfor <bob@example.com>; Tue, 2 Jan 2024 10:0" + QByteArray::number(r) +
             ":00 +0000\r\n";
    m += QByteArray("From: ") + names[i % 5] + " <sender" + QByteArray::number(i) +
         "@example.org>\r\n";
    m += "To: Bob <bob@example.com>\r\n";
    m += QByteArray("Subject: ") +
         QByteArray(subjects[i % 5]).replace("%1", QByteArray::number(i)) + "\r\n";
    m += "Date: Tue, 2 Jan 2024 10:00:00 +0000\r\n";
    m += "Message-ID: <" + QByteArray::number(i) + ".bench@example.org>\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n";
    m += "--b1\r\nContent-Type: multipart/alternative; boundary=\"b2\"\r\n\r\n";
    QByteArray text;
    while (text.size() < bodySize / 2)
        text += "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod "
                "tempor incididunt ut labore et dolore magna aliqua.\r\n";
    m += "--b2\r\nContent-Type: text/plain; charset=utf-8\r\n"
         "Content-Transfer-Encoding: 8bit\r\n\r\n" +
         text;
    m += "--b2\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><body><p>" + text +
         "</p></body></html>\r\n--b2--\r\n";
    if (roll >= 90) {
        QByteArray blob(bodySize / 3, 'x');
        for (char& c : blob)
            c = char(rng.bounded(256));
        m += "--b1\r\nContent-Type: application/pdf; name=\"doc.pdf\"\r\n"
             "Content-Disposition: attachment; filename=\"doc.pdf\"\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\n";
        const QByteArray b64 = blob.toBase64();
        for (qsizetype p = 0; p < b64.size(); p += 76)
            m += b64.mid(p, 76) + "\r\n";
    }
    m += "--b1--\r\n";
    return m;
}

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// With BENCH_PERF_CTL naming the control fifo of
//   perf record -D -1 --control fifo:FIFO -- bench_check N
// perf samples only the whole-message checks.
void PerfControl(const char* command)
{
    const char* fifo = std::getenv("BENCH_PERF_CTL");
    if (!fifo)
        return;
    if (FILE* f = std::fopen(fifo, "w")) {
        std::fprintf(f, "%s\n", command);
        std::fclose(f);
    }
}

double Seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

void Prepare(MailAccount& account, const DovecotFixture& dc)
{
    account.Login() = "bob";
    account.Password() = "secret";
    account.Server() = "127.0.0.1";
    account.Pop3Port() = dc.Pop3Port();
}

// One check of account with a private client; seconds, or -1 on failure.
double TimedCheck(MailAccount& account, int range)
{
    Pop3Client client;
    OperationRun run;
    run.client = &client;
    run.timeoutSeconds = 120;
    CheckOptions options;
    options.range = range;
    options.oldGetHeaders = false;
    ClearErrorList();
    QElapsedTimer t;
    const double cpu = CpuSeconds();
    if (range == 1)
        PerfControl("enable");
    t.start();
    CheckAccountResult r;
    // On a thread of its own, as the program runs its checks.
    std::thread([&] { r = CheckAccount(account, run, options); }).join();
    const double s = Seconds(t);
    if (range == 1)
        PerfControl("disable");
    if (std::getenv("BENCH_CPU"))
        std::printf("  (range %d: %.3f s wall, %.3f s CPU of this process)\n", range, s,
                    CpuSeconds() - cpu);
    if (!r.completed) {
        std::fprintf(stderr, "check failed: %s\n",
                     ErrorList().join('\n').toLocal8Bit().constData());
        return -1;
    }
    return s;
}

double UidlRoundTrip(const DovecotFixture& dc, int* count)
{
    Pop3Client c;
    c.Host = "127.0.0.1";
    c.Port = dc.Pop3Port();
    c.Username = "bob";
    c.Password = "secret";
    QElapsedTimer t;
    t.start();
    c.Connect();
    c.Login();
    QList<QByteArray> ids;
    c.FetchUidList(ids);
    c.Disconnect();
    *count = int(ids.size());
    return Seconds(t);
}

// The server's own delivery time for n whole messages: log in, ask for all
// of them in one stream of RETR commands (written by a second thread, so
// neither side waits on the other), and count the terminating lines of the
// replies without keeping or looking at anything else. Seconds, or -1.
double ServerDelivery(const DovecotFixture& dc, int n)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(dc.Pop3Port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QElapsedTimer t;
    t.start();
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    std::vector<char> buffer(1 << 20);
    // Reads until `lines` line ends have come; false on a closed connection.
    const auto readLines = [&](int lines) {
        while (lines > 0) {
            const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (got <= 0)
                return false;
            for (ssize_t i = 0; i < got; ++i)
                lines -= buffer[std::size_t(i)] == '\n';
        }
        return true;
    };
    const auto send = [fd](const std::string& text) {
        return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
    };
    bool ok = readLines(1) && send("USER bob\r\n") && readLines(1) &&
              send("PASS secret\r\n") && readLines(1);
    if (ok) {
        std::thread writer([&] {
            std::string commands;
            for (int i = 1; i <= n; ++i)
                commands += "RETR " + std::to_string(i) + "\r\n";
            commands += "QUIT\r\n";
            send(commands);
        });
        // A reply ends with a line of one dot: "\n.\r\n" in the stream
        // (a text line starting with a dot is sent with two), looked for
        // across the reads' borders too.
        constexpr std::string_view kEnd = "\n.\r\n";
        std::string tail;
        int ended = 0;
        while (ended < n) {
            const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (got <= 0)
                break;
            std::string_view chunk(buffer.data(), std::size_t(got));
            tail.append(chunk.substr(0, std::min<std::size_t>(chunk.size(), kEnd.size() - 1)));
            for (std::size_t at = tail.find(kEnd); at != std::string::npos;
                 at = tail.find(kEnd, at + 1))
                ++ended;
            for (std::size_t at = chunk.find(kEnd); at != std::string_view::npos;
                 at = chunk.find(kEnd, at + 1))
                ++ended;
            tail.assign(chunk.substr(chunk.size() - std::min(chunk.size(), kEnd.size() - 1)));
        }
        ok = ended == n;
        writer.join();
    }
    const double s = Seconds(t);
    ::close(fd);
    return ok ? s : -1;
}

// mpop spools every message through a file it makes with tmpfile(), in
// /tmp whatever TMPDIR says. Where a private mount namespace is allowed,
// that /tmp is a memory file system too, so the reference measures
// retrieval rather than this machine's disk. Empty when it is not allowed.
QStringList PrivateTmpPrefix()
{
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty())
        return {};
    const QString mount = QStringLiteral("mount -t tmpfs none /tmp");
    for (const QString& flags : {QStringLiteral("-m"), QStringLiteral("-rm")}) {
        QProcess probe;
        probe.start(unshare, {flags, QStringLiteral("sh"), QStringLiteral("-c"), mount});
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return {unshare, flags, QStringLiteral("sh"), QStringLiteral("-c"),
                    mount + QStringLiteral(" && exec \"$0\" \"$@\"")};
    }
    return {};
}

double Mpop(const DovecotFixture& dc, const QString& dir, bool* privateTmp)
{
    const QString mpop = QStandardPaths::findExecutable(QStringLiteral("mpop"));
    if (mpop.isEmpty())
        return -1;
    QStringList args{mpop,
                     "--host=127.0.0.1",
                     QStringLiteral("--port=%1").arg(dc.Pop3Port()),
                     "--auth=user",
                     "--user=bob",
                     "--passwordeval=echo secret",
                     "--tls=off",
                     "--keep=on",
                     "--only-new=off",
                     "--delivery=mbox," + dir + "/mpop.mbox",
                     "--uidls-file=" + dir + "/mpop.uidls",
                     "-q"};
    const QStringList prefix = PrivateTmpPrefix();
    *privateTmp = !prefix.isEmpty();
    // Starting the namespace and mounting is not mpop's to pay: the fastest
    // of three empty runs is taken off.
    double setup = 0;
    if (*privateTmp) {
        setup = 1e9;
        for (int i = 0; i < 3; ++i) {
            QStringList empty = prefix + QStringList{QStringLiteral("true")};
            const QString program = empty.takeFirst();
            QProcess p;
            QElapsedTimer t;
            t.start();
            p.start(program, empty);
            p.waitForFinished(10000);
            setup = std::min(setup, Seconds(t));
        }
    }
    args = prefix + args;
    const QString program = args.takeFirst();
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "mpop failed: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    return Seconds(t) - setup;
}

// The times of one figure over the rounds.
struct Figure
{
    const char* what;
    std::vector<double> seconds;
};

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Per-round ratios of a figure to a reference measured in the same rounds.
std::vector<double> Ratios(const Figure& f, const Figure& reference)
{
    std::vector<double> r;
    for (std::size_t i = 0; i < f.seconds.size() && i < reference.seconds.size(); ++i)
        if (reference.seconds[i] > 0)
            r.push_back(f.seconds[i] / reference.seconds[i]);
    return r;
}

void Line(const Figure& f, const Figure& mpop, const Figure& floor)
{
    const std::vector<double> toMpop = Ratios(f, mpop);
    const double low = toMpop.empty() ? 0 : *std::min_element(toMpop.begin(), toMpop.end());
    const double high = toMpop.empty() ? 0 : *std::max_element(toMpop.begin(), toMpop.end());
    std::printf("  %-30s %8.3f s  %6.2f x mpop  (%5.2f - %5.2f)  %8.2f x UIDL\n", f.what,
                Median(f.seconds), Median(toMpop), low, high, Median(Ratios(f, floor)));
}

bool RunFor(int n, int rounds)
{
    DovecotFixture dc;
    if (!dc.Start()) {
        std::fprintf(stderr, "dovecot: %s\n", dc.LastError().toLocal8Bit().constData());
        return false;
    }
    dc.AddUser("bob", "secret");
    QRandomGenerator rng(12345);
    qint64 bytes = 0;
    for (int i = 0; i < n; ++i) {
        const QByteArray m = MakeMessage(i, rng);
        bytes += m.size();
        dc.Deliver("bob", m);
    }
    // Dovecot indexes a new mailbox at its first session; not ours to pay.
    int listed = 0;
    UidlRoundTrip(dc, &listed);

    Figure floor{"UIDL round trip (floor)", {}};
    Figure firstHeaders{"first check, headers only", {}};
    Figure firstWhole{"first check, whole messages", {}};
    Figure recheck{"unchanged re-check", {}};
    Figure mpop{"mpop, keep on (reference)", {}};
    Figure server{"server's own delivery", {}};
    bool ok = true;
    bool privateTmp = false;
    int headerRecords = 0, wholeRecords = 0;
    for (int round = 0; round < rounds && ok; ++round) {
        floor.seconds.push_back(UidlRoundTrip(dc, &listed));
        {
            MailAccount headers;
            Prepare(headers, dc);
            firstHeaders.seconds.push_back(TimedCheck(headers, 0));
            headerRecords = headers.Box().Count();
        }
        {
            MailAccount whole;
            Prepare(whole, dc);
            firstWhole.seconds.push_back(TimedCheck(whole, 1));
            recheck.seconds.push_back(TimedCheck(whole, 1));
            wholeRecords = whole.Box().Count();
        }
        // mpop syncs its mbox after every message; on tmpfs that costs
        // nothing, so the reference measures retrieval, not the disk.
        QTemporaryDir tmp(QDir(QStringLiteral("/dev/shm")).exists()
                              ? QStringLiteral("/dev/shm/velmora-bench-XXXXXX")
                              : QDir::tempPath() + QStringLiteral("/velmora-bench-XXXXXX"));
        mpop.seconds.push_back(Mpop(dc, tmp.path(), &privateTmp));
        server.seconds.push_back(ServerDelivery(dc, listed));
        for (const Figure* f : {&firstHeaders, &firstWhole, &recheck, &server})
            ok = ok && f->seconds.back() >= 0;
    }

    std::printf("N = %d messages, %.1f MB, %d listed by UIDL; %d rounds: median time, median "
                "ratio (lowest - highest)\n",
                n, double(bytes) / 1048576.0, listed, int(mpop.seconds.size()));
    for (const Figure* f : {&floor, &firstHeaders, &firstWhole, &recheck, &mpop, &server})
        Line(*f, mpop, floor);
    std::printf("  whole-message check %.2f x the server's own delivery, mpop %.2f x\n",
                Median(Ratios(firstWhole, server)), Median(Ratios(mpop, server)));
    std::printf("  records: %d headers-only, %d whole; mpop's spool files %s\n\n", headerRecords,
                wholeRecords,
                privateTmp ? "on a private tmpfs" : "in /tmp (no private mount allowed)");
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    // The program's own memory set-up (BENCH_PLAIN_HEAP=1 measures without).
    const bool largePages = !std::getenv("BENCH_PLAIN_HEAP") && UseLargePageHeap(argv);
    std::printf("heap: %s\n\n", largePages ? LargePageHeapTunables() : "the C library's usual heap");
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, QByteArray(argv[++i]).toInt());
        else
            sizes.append(arg.toInt());
    }
    if (sizes.isEmpty())
        sizes = {1000, 10000};
    if (!DovecotFixture::Available()) {
        std::fprintf(stderr, "dovecot is not installed\n");
        return 1;
    }
    bool ok = true;
    for (int n : sizes)
        ok = RunFor(n, rounds) && ok;
    return ok ? 0 : 1;
}
