// Mailbox operations, its UIDL index and the check-state flag rules.

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include "model/Mailbox.h"

using namespace vm;

namespace {

MessageRecord* Rec(const char* uid, int size = 0, int serverNumber = 0)
{
    auto* m = new MessageRecord;
    m->UID = uid;
    m->size = size;
    m->serverNumber = serverNumber;
    return m;
}

// The look-up the index must agree with: the first record by a linear walk.
MessageRecord* LinearFind(const Mailbox& box, const QByteArray& uid)
{
    for (int i = 0; i < box.Count(); ++i)
        if (box.At(i) && box.At(i)->UID == uid)
            return box.At(i);
    return nullptr;
}

TEST(Mailbox, NewRecordDefaults)
{
    MessageRecord m;
    EXPECT_TRUE(m.headersOnly);
    EXPECT_FALSE(m.noHeaders);
    EXPECT_EQ(m.attachmentCount, -1);
    EXPECT_EQ(m.HoldingState(), MessageRecord::Holding::Headers);
    Mailbox box;
    EXPECT_TRUE(box.Stale());
    EXPECT_FALSE(box.Confirmed());
    EXPECT_FALSE(box.CheckFailed());
}

TEST(Mailbox, FindByUidlIsExactAndFirstWins)
{
    Mailbox box;
    MessageRecord* a = Rec("Abc");
    MessageRecord* dup = Rec("Abc");
    box.Add(a);
    box.Add(Rec("xyz"));
    box.Add(dup);
    EXPECT_EQ(a->owner, &box);
    EXPECT_EQ(box.FindByUIDL("Abc"), a);
    EXPECT_EQ(box.FindByUIDL("abc"), nullptr);
    EXPECT_EQ(box.FindByUIDL("ABC"), nullptr);

    // Inserting a duplicate before the first makes it the first.
    MessageRecord* front = Rec("Abc");
    box.Insert(front, 0);
    EXPECT_EQ(box.FindByUIDL("Abc"), front);
    // Deleting the first hands over to the next one in list order.
    EXPECT_TRUE(box.Delete(front));
    EXPECT_EQ(box.FindByUIDL("Abc"), a);
    EXPECT_TRUE(box.Remove(a));
    EXPECT_EQ(box.FindByUIDL("Abc"), dup);
    delete a;
    // Moving a later duplicate to the front changes which one is first.
    MessageRecord* other = Rec("Abc");
    box.Add(other);
    EXPECT_TRUE(box.Move(other, 0));
    EXPECT_EQ(box.FindByUIDL("Abc"), other);
    box.Clear();
    EXPECT_EQ(box.FindByUIDL("Abc"), nullptr);
    EXPECT_EQ(box.FindByUIDL("xyz"), nullptr);
}

TEST(Mailbox, ReplaceKeepsIndexAndSetsOwner)
{
    Mailbox box;
    MessageRecord* old = Rec("one");
    box.Add(old);
    box.Add(Rec("two"));
    MessageRecord* repl = Rec("three");
    EXPECT_TRUE(box.Replace(0, repl));
    EXPECT_EQ(repl->owner, &box);
    EXPECT_EQ(box.FindByUIDL("one"), nullptr);
    EXPECT_EQ(box.FindByUIDL("three"), repl);
    EXPECT_FALSE(box.Replace(5, old));
    delete old; // replace does not destroy the old record
}

TEST(Mailbox, IndexAgreesWithLinearSearchUnderRandomOperations)
{
    QRandomGenerator rng(7);
    Mailbox box;
    const QByteArray names[] = {"a", "b", "c", "A", "d"};
    for (int step = 0; step < 3000; ++step) {
        const int op = int(rng.bounded(7));
        const QByteArray uid = names[rng.bounded(5)];
        const int n = box.Count();
        switch (op) {
        case 0:
            box.Add(Rec(uid.constData()));
            break;
        case 1:
            box.Insert(Rec(uid.constData()), n ? int(rng.bounded(n + 1)) : 0);
            break;
        case 2:
            if (n)
                box.Delete(int(rng.bounded(n)));
            break;
        case 3:
            if (n) {
                MessageRecord* m = box.At(int(rng.bounded(n)));
                box.Remove(m);
                delete m;
            }
            break;
        case 4:
            if (n) {
                const int i = int(rng.bounded(n));
                MessageRecord* old = box.At(i);
                box.Replace(i, Rec(uid.constData()));
                delete old;
            }
            break;
        case 5:
            if (n)
                box.Move(box.At(int(rng.bounded(n))), int(rng.bounded(n + 2)));
            break;
        case 6:
            if (rng.bounded(50) == 0)
                box.Clear();
            break;
        }
        for (const QByteArray& u : names)
            ASSERT_EQ(box.FindByUIDL(u), LinearFind(box, u)) << "step " << step;
    }
}

TEST(Mailbox, FindByServerNumber)
{
    Mailbox box;
    box.Add(Rec("a", 0, 5));
    MessageRecord* one = Rec("b", 0, 1);
    box.Add(one);
    MessageRecord* nine = Rec("c", 0, 9);
    box.Add(nine);
    EXPECT_EQ(box.FindByServerNumber(1), one);  // index 1 holds number 1
    EXPECT_EQ(box.FindByServerNumber(9), nine); // beyond the count: linear search
    EXPECT_EQ(box.FindByServerNumber(42), nullptr);
}

TEST(Mailbox, CountsAndQueries)
{
    Mailbox box;
    MessageRecord* a = Rec("a", 2048);
    a->SetNew(true);
    a->fresh = true;
    MessageRecord* b = Rec("b", 0);
    b->headersOnly = false;
    MessageRecord* c = Rec("c", 5000);
    c->noHeaders = true;
    box.Add(a);
    box.Add(b);
    box.Add(c);
    EXPECT_EQ(box.TotalSize(), 7048);
    EXPECT_EQ(box.CountNew(), 1);
    EXPECT_TRUE(box.AnyNew());
    EXPECT_TRUE(box.AnyWithoutHeaders());
    EXPECT_TRUE(box.AnyHeadersOnly()); // a; c has no headers at all
    EXPECT_TRUE(box.AnySmall(2, true));
    EXPECT_FALSE(box.AnySmall(1, false)); // b's size is unknown, not small
    box.ClearNew();
    EXPECT_FALSE(box.AnyNew());

    // The unless-kept switch protects fresh marks of a stale mailbox.
    ASSERT_TRUE(box.Stale());
    EXPECT_EQ(box.CountFresh(true), 0);
    EXPECT_EQ(box.CountFresh(false), 1);
    box.ClearFresh(true);
    EXPECT_TRUE(a->fresh);
    box.ClearFresh(false);
    EXPECT_FALSE(a->fresh);
}

TEST(Mailbox, SameListAsServer)
{
    Mailbox box;
    box.Add(Rec("a"));
    box.Add(Rec("b"));
    EXPECT_TRUE(box.SameListAsServer({"b", "a"}));
    EXPECT_FALSE(box.SameListAsServer({"a", "b", "c"}));
    EXPECT_FALSE(box.SameListAsServer({"a", "B"}));
}

TEST(Mailbox, StartupAndCheckFlagRules)
{
    Mailbox box;
    box.Add(Rec("a"));
    box.ApplyStartupRule(true, true); // never checked: stays stale
    EXPECT_TRUE(box.Stale());
    box.SetLastCheck(40000);
    box.ApplyStartupRule(false, true); // no stored password
    EXPECT_TRUE(box.Stale());
    box.ApplyStartupRule(true, false); // lists not shown at start
    EXPECT_TRUE(box.Stale());
    box.Add(Rec("b"));
    box.At(1)->noHeaders = true;
    box.ApplyStartupRule(true, true); // a record without headers
    EXPECT_TRUE(box.Stale());
    box.Delete(1);
    box.ApplyStartupRule(true, true);
    EXPECT_FALSE(box.Stale());
    EXPECT_TRUE(box.Confirmed());

    Mailbox failed;
    failed.Add(Rec("x"));
    failed.MarkCheckFailed(true, 45000); // nothing fresh: no change
    EXPECT_TRUE(failed.Stale());
    failed.At(0)->fresh = true;
    failed.MarkCheckFailed(false, 45000); // login failed: no change
    EXPECT_TRUE(failed.Stale());
    failed.MarkCheckFailed(true, 45000);
    EXPECT_FALSE(failed.Stale());
    EXPECT_TRUE(failed.CheckFailed());
    EXPECT_EQ(failed.LastCheck(), 45000);
    failed.MarkCheckSucceeded(46000);
    EXPECT_FALSE(failed.CheckFailed());
    EXPECT_TRUE(failed.Confirmed());
    EXPECT_EQ(failed.LastCheck(), 46000);
}

TEST(Mailbox, HeaderBlockRule)
{
    EXPECT_EQ(Mailbox::HeaderBlock("A: 1\r\nB: 2\r\n\r\nbody\r\n"), "A: 1\r\nB: 2\r\n\r\n");
    EXPECT_EQ(Mailbox::HeaderBlock("A: 1\r\n  \t \r\nbody"), "A: 1\r\n  \t \r\n");
    EXPECT_EQ(Mailbox::HeaderBlock("A: 1\r\n .\r\nrest"), "A: 1\r\n .\r\n");
    // Lines end in CR LF only; without an empty line the whole text counts.
    EXPECT_EQ(Mailbox::HeaderBlock("A: 1\n\nbody"), "A: 1\n\nbody");
    EXPECT_EQ(Mailbox::HeaderBlock("A: 1\r\nB: 2"), "A: 1\r\nB: 2");
    EXPECT_EQ(Mailbox::HeaderBlock(""), "");
}

} // namespace
