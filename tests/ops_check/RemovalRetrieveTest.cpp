// Removal on the server and whole retrieval against an in-memory server.

#include <gtest/gtest.h>

#include "model/MailAccount.h"
#include "ops/CheckAccount.h"
#include "ops/RemovalOperation.h"
#include "ops/RetrieveWhole.h"
#include "ops_check/FakeSession.h"

using namespace vm;
using namespace vm::test;

namespace {

FakeMessage Msg(const char* uid)
{
    FakeMessage m;
    m.uid = uid;
    m.date = 50000;
    return m;
}

// Removal the way the commands run it: records leave the mailbox only when
// the server committed.
RemovalOutcome Remove(FakeSession& s, MailAccount& acc, const QList<QByteArray>& uids)
{
    QList<const MessageRecord*> records;
    for (const QByteArray& u : uids)
        records.append(acc.Box().FindByUIDL(u));
    const RemovalOutcome out = RunRemoval(s, acc, uids);
    if (out.completed)
        RemoveRemovedRecords(acc.Box(), records);
    return out;
}

void Fill(MailAccount& acc, const QList<QByteArray>& uids, bool headersOnly = true)
{
    for (const QByteArray& u : uids)
        acc.Box().Add(MakeRecord(u, headersOnly));
}

} // namespace

TEST(Removal, RenumberedMessagesDeleteTheRightOnes)
{
    MailAccount acc;
    Fill(acc, {"a", "b", "c", "d"});
    FakeSession s;
    // Another client deleted a and b since our last check: c is now 1, d is 2.
    s.server = {Msg("c"), Msg("d"), Msg("e")};
    const RemovalOutcome out = Remove(s, acc, {"d"});
    EXPECT_TRUE(out.completed);
    EXPECT_EQ(out.deleted, 1);
    EXPECT_EQ(s.log, (QStringList{"USER", "UIDL", "DELE 2", "QUIT"}));
    EXPECT_EQ(s.UidsOnServer(), (QStringList{"c", "e"}));
    EXPECT_EQ(Uids(acc.Box()), (QStringList{"a", "b", "c"}));
}

TEST(Removal, ErrAfterSuccessfulDeletesKeepsEverything)
{
    MailAccount acc;
    Fill(acc, {"a", "b", "c"});
    FakeSession s;
    s.server = {Msg("a"), Msg("b"), Msg("c")};
    s.failures["DELE 3"] = FakeSession::Failure::Err;
    const RemovalOutcome out = Remove(s, acc, {"a", "b", "c"});
    EXPECT_FALSE(out.completed);
    ASSERT_TRUE(out.error.has_value());
    EXPECT_EQ(out.error->className, "ProtocolReplyError");
    EXPECT_EQ(s.Count("QUIT"), 0);
    EXPECT_EQ(s.UidsOnServer(), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(Uids(acc.Box()), (QStringList{"a", "b", "c"}));
}

TEST(Removal, InterruptAndRefusedUidlChangeNothing)
{
    MailAccount acc;
    Fill(acc, {"a", "b"});
    FakeSession s;
    s.server = {Msg("a"), Msg("b")};
    s.failures["DELE 2"] = FakeSession::Failure::Interrupt;
    RemovalOutcome out = Remove(s, acc, {"a", "b"});
    EXPECT_TRUE(out.interrupted);
    EXPECT_FALSE(out.error.has_value());
    EXPECT_EQ(s.UidsOnServer().size(), 2);

    FakeSession refusing;
    refusing.server = s.server;
    refusing.uidlRefused = true;
    out = Remove(refusing, acc, {"a"});
    ASSERT_TRUE(out.error.has_value());
    EXPECT_EQ(out.error->message, "Could not retrieve mailbox message list (UIDL)");
    EXPECT_EQ(refusing.Count("DELE"), 0);
    EXPECT_EQ(acc.Box().Count(), 2);
}

TEST(Removal, UidlNumberLookup)
{
    // By the number in each line, whatever the order of the lines.
    const UidlNumbers n({"3 abc", "2 a b", "1 abc", "4 ABC"});
    EXPECT_EQ(n.Lookup("abc"), 1); // an id listed twice: the lower number
    EXPECT_EQ(n.Lookup("a b"), 2); // everything after the first space
    EXPECT_EQ(n.Lookup("ABC"), 4); // exact letter case
    EXPECT_EQ(n.Lookup("b"), -1);
}

TEST(Retrieve, FetchedRecordsReplaceTheirHeadersOnlyRecordsInPlace)
{
    MailAccount acc;
    Fill(acc, {"a", "b", "c", "d"});
    Mailbox& mb = acc.Box();
    mb.At(1)->headersOnly = false; // b is whole already
    mb.At(0)->SetNew(false);
    mb.At(0)->receiptState = 2; // declined: kept
    mb.At(2)->size = 777;
    FakeSession s;
    s.server = {Msg("c"), Msg("a"), Msg("b"), Msg("d")};
    s.server[0].receiptAsked = true; // c asks for a receipt: state 0 -> 1
    s.server[1].receiptAsked = true;
    MessageRecord* const b = mb.At(1);
    const MessageRecord* const oldA = mb.At(0);

    const QList<MessageRecord*> selected{mb.At(0), mb.At(1), mb.At(2)};
    ASSERT_TRUE(AnyToRetrieve(selected));
    const RetrieveOutcome out = RunRetrieveWhole(s, acc, selected);
    EXPECT_TRUE(out.completed);
    EXPECT_EQ(s.log, (QStringList{"USER", "UIDL", "RETR 2", "RETR 1", "QUIT"}));
    ASSERT_EQ(out.retrieved.size(), 2);
    EXPECT_EQ(out.retrieved[0].oldRecord, oldA);
    EXPECT_EQ(out.retrieved[0].index, 0);
    EXPECT_EQ(out.retrieved[0].newRecord, mb.At(0));
    EXPECT_EQ(Uids(mb), (QStringList{"a", "b", "c", "d"}));
    EXPECT_FALSE(mb.At(0)->headersOnly);
    EXPECT_FALSE(mb.At(0)->IsNew());
    EXPECT_EQ(mb.At(0)->receiptState, 2);
    EXPECT_EQ(mb.At(1), b);
    EXPECT_FALSE(mb.At(2)->headersOnly);
    EXPECT_EQ(mb.At(2)->receiptState, 1);
    EXPECT_EQ(mb.At(2)->size, 777);
    EXPECT_EQ(mb.At(2)->owner, &mb);
    EXPECT_TRUE(mb.At(3)->headersOnly);
    EXPECT_EQ(mb.FindByUIDL("c"), mb.At(2));
}

// A lost connection ends the retrieval; what was fetched before stays.
TEST(Retrieve, LostConnectionKeepsWhatWasFetchedBefore)
{
    MailAccount acc;
    Fill(acc, {"a", "b", "c"});
    Mailbox& mb = acc.Box();
    FakeSession s;
    s.server = {Msg("a"), Msg("b"), Msg("c")};
    s.failures["RETR 2"] = FakeSession::Failure::Drop;
    const RetrieveOutcome out = RunRetrieveWhole(s, acc, {mb.At(0), mb.At(1), mb.At(2)});
    EXPECT_FALSE(out.completed);
    ASSERT_TRUE(out.error.has_value());
    EXPECT_EQ(out.error->className, "ConnectionClosed");
    EXPECT_EQ(s.Count("QUIT"), 0);
    EXPECT_FALSE(mb.At(0)->headersOnly); // fetched before the failure: stays
    EXPECT_TRUE(mb.At(1)->headersOnly);
    EXPECT_TRUE(mb.At(2)->headersOnly);

    // Only whole records selected: nothing to do.
    EXPECT_FALSE(AnyToRetrieve({mb.At(0)}));
}
