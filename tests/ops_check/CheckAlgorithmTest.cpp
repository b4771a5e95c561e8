// The mail check of one account against an in-memory server: which commands
// it sends, what the mailbox holds afterwards, and the flag rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "model/MailAccount.h"
#include "ops/CheckAccount.h"
#include "ops_check/FakeSession.h"

using namespace vm;
using namespace vm::test;

namespace {

constexpr double kRecent = 50000; // dates after the threshold below
constexpr double kOld = 40000;
constexpr double kThreshold = 45000;

CheckOptions Options(int range, bool oldHeaders = false, int maxKB = 512)
{
    CheckOptions o;
    o.range = range;
    o.maxDownloadKB = maxKB;
    o.oldGetHeaders = oldHeaders;
    o.oldThreshold = kThreshold;
    return o;
}

FakeMessage Msg(const char* uid, std::int32_t size = 1000, double date = kRecent)
{
    FakeMessage m;
    m.uid = uid;
    m.size = size;
    m.date = date;
    return m;
}

// A mailbox left by a completed check of the given server.
void Confirm(MailAccount& acc, FakeSession& s, const CheckOptions& o)
{
    ASSERT_TRUE(RunCheck(s, acc, o).completed);
    s.log.clear();
}

} // namespace

TEST(CheckAccount, FirstCheckFetchesByRangeAndAppendsNewRecordsInServerOrder)
{
    MailAccount acc;
    acc.Login() = "bob";
    FakeSession s;
    // Exactly the limit, one byte over it, and a size the server did not give.
    s.server = {Msg("a", 512 * 1024), Msg("b", 512 * 1024 + 1), Msg("c", -1)};
    QStringList statuses;
    const CheckOutcome out =
        RunCheck(s, acc, Options(2), [&](const QString& t) { statuses.append(t); });

    EXPECT_TRUE(out.completed);
    EXPECT_TRUE(out.changed);
    EXPECT_FALSE(out.error.has_value());
    EXPECT_EQ(out.added, 3);
    EXPECT_EQ(s.log, (QStringList{"USER", "UIDL", "LIST 1", "RETR 1", "LIST 2", "TOP 2 0", "LIST 3",
                                  "TOP 3 0", "QUIT"}));
    const Mailbox& mb = acc.Box();
    ASSERT_EQ(Uids(mb), (QStringList{"a", "b", "c"}));
    EXPECT_FALSE(mb.At(0)->headersOnly);
    EXPECT_TRUE(mb.At(1)->headersOnly);
    EXPECT_EQ(mb.At(2)->size, -1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mb.At(i)->Flags, mfRecent);
        EXPECT_TRUE(mb.At(i)->fresh);
        EXPECT_FALSE(mb.At(i)->noHeaders);
        EXPECT_EQ(mb.At(i)->serverNumber, i + 1);
        EXPECT_EQ(mb.At(i)->owner, &mb);
    }
    EXPECT_TRUE(mb.Confirmed());
    EXPECT_FALSE(mb.Stale());
    EXPECT_FALSE(mb.CheckFailed());
    EXPECT_NE(mb.LastCheck(), 0);
    EXPECT_TRUE(statuses.contains("Checking mailbox message list (account: bob)"));
    EXPECT_TRUE(statuses.contains("Retrieving mail (account: bob) - message 2 out of 3"));
    EXPECT_EQ(statuses.last(), "Idle");
}

TEST(CheckAccount, UnchangedMailboxTakesTheShortcutInAnyOrder)
{
    MailAccount acc;
    FakeSession s;
    s.server = {Msg("a"), Msg("b", 900 * 1024), Msg("c")};
    Confirm(acc, s, Options(2));
    const MessageRecord* first = acc.Box().At(0);

    std::reverse(s.server.begin(), s.server.end());
    const CheckOutcome out = RunCheck(s, acc, Options(2));
    EXPECT_TRUE(out.completed);
    EXPECT_FALSE(out.changed);
    EXPECT_EQ(s.log, (QStringList{"USER", "UIDL", "QUIT"}));
    EXPECT_EQ(acc.Box().At(0), first); // not refilled
    EXPECT_EQ(Uids(acc.Box()), (QStringList{"a", "b", "c"}));

    // A cleared list (stale) whose ids still match only becomes current again.
    acc.Box().SetStale(true);
    s.log.clear();
    EXPECT_FALSE(RunCheck(s, acc, Options(2)).changed);
    EXPECT_EQ(s.log, (QStringList{"USER", "UIDL", "QUIT"}));
    EXPECT_FALSE(acc.Box().Stale());
}

TEST(CheckAccount, ShortcutIsRefusedWhenWorkIsLeft)
{
    MailAccount acc;
    FakeSession s;
    s.server = {Msg("a", 2000 * 1024)};
    Confirm(acc, s, Options(0));

    // Headers-only record and range "whole": not unchanged.
    EXPECT_FALSE(MailboxUnchanged(acc.Box(), {"a"}, Options(1)));
    // Range 2 with the record now counting as small.
    EXPECT_FALSE(MailboxUnchanged(acc.Box(), {"a"}, Options(2, false, 4000)));
    EXPECT_TRUE(MailboxUnchanged(acc.Box(), {"a"}, Options(2, false, 512)));
    // Same count, different ids.
    EXPECT_FALSE(MailboxUnchanged(acc.Box(), {"A"}, Options(0)));
    // A record of unknown size is never fetched whole, so it does not spoil
    // the shortcut.
    acc.Box().At(0)->size = -1;
    EXPECT_TRUE(MailboxUnchanged(acc.Box(), {"a"}, Options(2)));
    // Not confirmed, or a failed last check.
    acc.Box().SetCheckFailed(true);
    EXPECT_FALSE(MailboxUnchanged(acc.Box(), {"a"}, Options(0)));
    MailAccount fresh;
    EXPECT_FALSE(MailboxUnchanged(fresh.Box(), {}, Options(0)));
}

TEST(CheckAccount, OldMessagesGetHeadersOnly)
{
    MailAccount acc;
    FakeSession s;
    FakeMessage undated = Msg("u");
    undated.date = 0;
    s.server = {Msg("old", 1000, kOld), Msg("new", 1000, kRecent), undated};
    EXPECT_TRUE(RunCheck(s, acc, Options(1, true)).completed);
    EXPECT_EQ(s.log, (QStringList{"USER", "UIDL", "LIST 1", "TOP 1 0", "LIST 2", "TOP 2 0",
                                  "RETR 2", "LIST 3", "TOP 3 0", "QUIT"}));
    EXPECT_TRUE(acc.Box().At(0)->headersOnly);
    EXPECT_FALSE(acc.Box().At(1)->headersOnly);
    EXPECT_TRUE(acc.Box().At(2)->headersOnly);

    // The old ones stay headers-only on later checks and cost nothing more.
    s.log.clear();
    EXPECT_TRUE(RunCheck(s, acc, Options(1, true)).completed);
    EXPECT_EQ(s.log, (QStringList{"USER", "UIDL", "QUIT"}));
}

TEST(CheckAccount, SwitchingToWholeRefetchesHeadersOnlyRecordsKeepingMarks)
{
    MailAccount acc;
    FakeSession s;
    s.server = {Msg("a"), Msg("b", 1000, kOld), Msg("c")};
    Confirm(acc, s, Options(0));
    Mailbox& mb = acc.Box();
    mb.At(0)->SetNew(false);
    mb.At(0)->receiptState = 3; // receipt already sent
    mb.At(2)->fresh = false;
    s.server[2].receiptAsked = true;

    const CheckOutcome out = RunCheck(s, acc, Options(1, true));
    EXPECT_TRUE(out.completed);
    EXPECT_EQ(out.added, 0);
    // Known headers-only records: TOP (old test), then RETR; the old one is
    // left alone; no LIST for known records.
    EXPECT_EQ(s.log,
              (QStringList{"USER", "UIDL", "TOP 1 0", "RETR 1", "TOP 3 0", "RETR 3", "QUIT"}));
    ASSERT_EQ(Uids(mb), (QStringList{"a", "b", "c"}));
    EXPECT_FALSE(mb.At(0)->headersOnly);
    EXPECT_FALSE(mb.At(0)->IsNew());
    EXPECT_EQ(mb.At(0)->receiptState, 3);
    EXPECT_TRUE(mb.At(1)->headersOnly);
    EXPECT_FALSE(mb.At(2)->headersOnly);
    EXPECT_TRUE(mb.At(2)->IsNew());
    // The remembered receipt state (0) is put back over the fetched one, as
    // for every known record.
    EXPECT_EQ(mb.At(2)->receiptState, 0);
    EXPECT_FALSE(mb.At(2)->fresh);
    EXPECT_EQ(mb.At(2)->size, 1000);
    EXPECT_EQ(mb.FindByUIDL("c"), mb.At(2));
}

TEST(CheckAccount, LostConnectionKeepsWhatWasFetchedAndDisablesTheShortcut)
{
    MailAccount acc;
    FakeSession s;
    s.server = {Msg("a"), Msg("b"), Msg("c")};
    s.failures["LIST 3"] = FakeSession::Failure::Drop;
    ASSERT_TRUE(acc.Box().Stale());

    const CheckOutcome out = RunCheck(s, acc, Options(1));
    EXPECT_FALSE(out.completed);
    EXPECT_TRUE(out.changed);
    EXPECT_TRUE(out.loginSucceeded);
    ASSERT_TRUE(out.error.has_value());
    EXPECT_EQ(out.error->className, "ConnectionClosed");
    EXPECT_EQ(s.Count("QUIT"), 0);
    EXPECT_EQ(Uids(acc.Box()), (QStringList{"a", "b"}));
    // Stale, logged in, fresh records: shown, and the next check re-reads.
    EXPECT_FALSE(acc.Box().Stale());
    EXPECT_TRUE(acc.Box().CheckFailed());
    EXPECT_FALSE(acc.Box().Confirmed());
    EXPECT_NE(acc.Box().LastCheck(), 0);

    s.failures.clear();
    s.log.clear();
    const CheckOutcome again = RunCheck(s, acc, Options(1));
    EXPECT_TRUE(again.completed);
    EXPECT_EQ(s.log, (QStringList{"USER", "UIDL", "LIST 3", "RETR 3", "QUIT"}));
    EXPECT_EQ(Uids(acc.Box()), (QStringList{"a", "b", "c"}));
    EXPECT_FALSE(acc.Box().CheckFailed());
}

TEST(CheckAccount, FailuresBeforeAnyFetchLeaveTheFlagsAlone)
{
    MailAccount acc;
    FakeSession s;
    s.server = {Msg("a")};
    s.uidlRefused = true;
    CheckOutcome out = RunCheck(s, acc, Options(1));
    EXPECT_FALSE(out.completed);
    ASSERT_TRUE(out.error.has_value());
    EXPECT_EQ(out.error->message, "Could not retrieve mailbox message list (UIDL)");
    EXPECT_TRUE(acc.Box().Stale());
    EXPECT_FALSE(acc.Box().CheckFailed());
    EXPECT_EQ(acc.Box().LastCheck(), 0);

    s.uidlRefused = false;
    s.loginFails = true;
    out = RunCheck(s, acc, Options(1));
    EXPECT_FALSE(out.loginSucceeded);
    ASSERT_TRUE(out.error.has_value());
    EXPECT_TRUE(out.error->message.contains("Authentication failed"));
    EXPECT_EQ(acc.Box().Count(), 0);
}

TEST(CheckAccount, FetchDecisionTable)
{
    MessageRecord temp; // a new message: id and size only
    temp.noHeaders = true;
    temp.headersOnly = false;
    temp.size = 100;
    EXPECT_EQ(DecideFetch(temp, Options(0)), FetchPlan::Headers);
    EXPECT_EQ(DecideFetch(temp, Options(1)), FetchPlan::Whole);
    EXPECT_EQ(DecideFetch(temp, Options(1, true)), FetchPlan::HeadersThenWhole);
    temp.size = -1;
    EXPECT_EQ(DecideFetch(temp, Options(2)), FetchPlan::Headers);
    temp.size = 0; // unknown size recorded as 0 counts as small
    EXPECT_EQ(DecideFetch(temp, Options(2)), FetchPlan::Whole);

    MessageRecord headers; // known headers-only record
    headers.size = 100;
    headers.Date = kRecent;
    EXPECT_EQ(DecideFetch(headers, Options(0)), FetchPlan::None);
    EXPECT_EQ(DecideFetch(headers, Options(2, false, 0)), FetchPlan::None);
    EXPECT_EQ(DecideFetch(headers, Options(2)), FetchPlan::Whole);
    headers.Date = kOld;
    EXPECT_EQ(DecideFetch(headers, Options(1, true)), FetchPlan::None);

    MessageRecord whole;
    whole.headersOnly = false;
    EXPECT_EQ(DecideFetch(whole, Options(1)), FetchPlan::None);

    // A huge limit does not wrap around.
    headers.Date = kRecent;
    headers.size = 2'000'000'000;
    EXPECT_EQ(DecideFetch(headers, Options(2, false, 4'000'000)), FetchPlan::Whole);
}

namespace {

QList<FakeMessage> Numbered(int count, const char* prefix = "m")
{
    QList<FakeMessage> out;
    for (int i = 1; i <= count; ++i)
        out.append(Msg((QByteArray(prefix) + QByteArray::number(i)).constData()));
    return out;
}

QStringList NumberedUids(int from, int to, const char* prefix = "m")
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out.append(QString::fromLatin1(prefix) + QString::number(i));
    return out;
}

} // namespace

TEST(CheckAccount, SizesOfManyNewMessagesComeFromOneList)
{
    CheckOptions o = Options(2);
    o.sizeListFrom = 2;
    MailAccount acc;
    FakeSession s;
    // The limit exactly, one byte over it, and a message the listing leaves
    // out for want of a size: that one is asked for on its own.
    s.server = {Msg("a", 512 * 1024), Msg("b", 512 * 1024 + 1), Msg("c", -1)};
    ASSERT_TRUE(RunCheck(s, acc, o).completed);
    EXPECT_EQ(s.log, (QStringList{"USER", "UIDL", "LIST", "RETR 1", "TOP 2 0", "LIST 3", "TOP 3 0",
                                  "QUIT"}));
    ASSERT_EQ(Uids(acc.Box()), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(acc.Box().At(0)->size, 512 * 1024);
    EXPECT_FALSE(acc.Box().At(0)->headersOnly);
    EXPECT_EQ(acc.Box().At(1)->size, 512 * 1024 + 1);
    EXPECT_TRUE(acc.Box().At(1)->headersOnly);
    EXPECT_EQ(acc.Box().At(2)->size, -1);

    // Fewer new messages than the threshold: one "LIST n" each.
    s.server.append(Msg("d"));
    s.log.clear();
    ASSERT_TRUE(RunCheck(s, acc, o).completed);
    EXPECT_EQ(s.log, (QStringList{"USER", "UIDL", "LIST 4", "RETR 4", "QUIT"}));

    // A refused listing falls back to one "LIST n" per message, and a
    // message that vanished after UIDL is dropped silently.
    MailAccount other;
    FakeSession r;
    r.server = {Msg("a"), Msg("b"), Msg("c")};
    r.sizeListRefused = true;
    o.range = 1;
    ASSERT_TRUE(RunCheck(r, other, o).completed);
    EXPECT_EQ(r.log, (QStringList{"USER", "UIDL", "LIST", "LIST 1", "RETR 1", "LIST 2", "RETR 2",
                                  "LIST 3", "RETR 3", "QUIT"}));
    MailAccount third;
    r.sizeListRefused = false;
    r.log.clear();
    r.beforeCommand = [&](const QString& cmd) {
        if (cmd == "UIDL")
            r.Vanish(2);
    };
    const CheckOutcome out = RunCheck(r, third, o);
    EXPECT_TRUE(out.completed);
    EXPECT_FALSE(out.error.has_value());
    EXPECT_EQ(r.log, (QStringList{"USER", "UIDL", "LIST", "RETR 1", "LIST 2", "RETR 3", "QUIT"}));
    EXPECT_EQ(Uids(third.Box()), (QStringList{"a", "c"}));
}

TEST(CheckAccount, PipelinedCheckSendsAheadWithinTheWindowAndKeepsServerOrder)
{
    MailAccount acc;
    FakeSession s;
    s.window = 4;
    s.server = Numbered(40);
    int sentBeforeFirstReply = -1;
    s.beforeCommand = [&](const QString& cmd) {
        if (sentBeforeFirstReply < 0 && cmd.startsWith("RETR"))
            sentBeforeFirstReply = s.Count("RETR");
    };
    const CheckOutcome out = RunCheck(s, acc, Options(1));
    ASSERT_TRUE(out.completed);
    EXPECT_EQ(out.added, 40);
    EXPECT_EQ(sentBeforeFirstReply, 4);
    EXPECT_EQ(s.maxInFlight, 4);
    EXPECT_EQ(s.Count("LIST"), 1); // one listing for all sizes
    EXPECT_EQ(s.Count("RETR"), 40);
    EXPECT_EQ(Uids(acc.Box()), NumberedUids(1, 40));
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(acc.Box().At(i)->serverNumber, i + 1);
        EXPECT_EQ(acc.Box().FindByUIDL(acc.Box().At(i)->UID), acc.Box().At(i));
    }
}

// The same mailbox and server checked one command at a time and pipelined
// end with the same records and send the same commands (in another order).
TEST(CheckAccount, PipelinedCheckEndsLikeTheOneAtATimeCheck)
{
    const auto scenario = [](int window, QStringList& log) {
        auto acc = std::make_unique<MailAccount>();
        FakeSession s;
        s.server = Numbered(12);
        s.server[2].date = kOld;
        s.server[7].date = 0;
        s.server[9].size = 900 * 1024;
        // Known: a headers-only record (refetched whole) whose RETR fails, and
        // one that is refetched; a whole record is left alone.
        acc->Box().Add(MakeRecord("m5", true, 1000, kRecent));
        acc->Box().Add(MakeRecord("m6", true, 1000, kRecent));
        acc->Box().Add(MakeRecord("m7", false, 1000, kRecent));
        acc->Box().At(1)->SetNew(false);
        s.failures["RETR 5"] = FakeSession::Failure::Err;
        s.failures["TOP 11 0"] = FakeSession::Failure::Err;
        s.window = window;
        CheckOptions o = Options(2, true);
        o.sizeListFrom = 4;
        const CheckOutcome out = RunCheck(s, *acc, o);
        EXPECT_TRUE(out.completed);
        EXPECT_FALSE(out.error.has_value());
        log = s.log;
        return acc;
    };
    QStringList serial;
    QStringList piped;
    const auto one = scenario(1, serial);
    const auto many = scenario(5, piped);
    const Mailbox& a = one->Box();
    const Mailbox& b = many->Box();
    EXPECT_EQ(Uids(a), (QStringList{"m6", "m7", "m1", "m2", "m3", "m4", "m8", "m9", "m10", "m12"}));
    ASSERT_EQ(Uids(a), Uids(b));
    for (int i = 0; i < a.Count(); ++i) {
        SCOPED_TRACE(a.At(i)->UID.constData());
        EXPECT_EQ(a.At(i)->headersOnly, b.At(i)->headersOnly);
        EXPECT_EQ(a.At(i)->Flags, b.At(i)->Flags);
        EXPECT_EQ(a.At(i)->fresh, b.At(i)->fresh);
        EXPECT_EQ(a.At(i)->size, b.At(i)->size);
        EXPECT_EQ(a.At(i)->serverNumber, b.At(i)->serverNumber);
    }
    EXPECT_TRUE(a.FindByUIDL("m3")->headersOnly);  // old
    EXPECT_TRUE(a.FindByUIDL("m8")->headersOnly);  // undated
    EXPECT_TRUE(a.FindByUIDL("m10")->headersOnly); // too big
    EXPECT_FALSE(a.FindByUIDL("m6")->IsNew());
    EXPECT_FALSE(a.FindByUIDL("m6")->headersOnly);
    EXPECT_NE(serial, piped);
    std::sort(serial.begin(), serial.end());
    std::sort(piped.begin(), piped.end());
    EXPECT_EQ(serial, piped);
}

TEST(CheckAccount, PipelinedBatchBrokenOffKeepsWhatWasFetchedInOrder)
{
    MailAccount acc;
    FakeSession s;
    s.window = 8;
    s.server = Numbered(20);
    s.failures["RETR 5"] = FakeSession::Failure::Drop;
    const CheckOutcome out = RunCheck(s, acc, Options(1));
    EXPECT_FALSE(out.completed);
    EXPECT_FALSE(out.interrupted);
    ASSERT_TRUE(out.error.has_value());
    EXPECT_EQ(out.error->className, "ConnectionClosed");
    EXPECT_EQ(s.Count("QUIT"), 0);
    // Commands for the messages after 5 were already sent; nothing after the
    // break enters the mailbox.
    EXPECT_EQ(Uids(acc.Box()), NumberedUids(1, 4));
    EXPECT_TRUE(acc.Box().CheckFailed());
}

TEST(CheckAccount, PipelinedIdListedTwiceGivesOneRecord)
{
    MailAccount acc;
    FakeSession s;
    s.window = 8;
    s.server = {Msg("a"), Msg("b"), Msg("a"), Msg("c")};
    ASSERT_TRUE(RunCheck(s, acc, Options(1)).completed);
    EXPECT_EQ(Uids(acc.Box()), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(s.Count("RETR"), 3);
    // The second "a" is the known record, renumbered like any known one.
    EXPECT_EQ(acc.Box().At(0)->serverNumber, 3);
}
