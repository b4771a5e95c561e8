#include <gtest/gtest.h>

#include "core/CommonContainer.h"

using namespace vm;

namespace {

// Counts live instances so tests can see what the container destroyed.
struct Item
{
    static int alive;
    int value;
    explicit Item(int v = 0) : value(v) { ++alive; }
    Item(const Item& o) : value(o.value) { ++alive; }
    virtual ~Item() { --alive; }
};
int Item::alive = 0;

class ContainerTest : public ::testing::Test
{
protected:
    void SetUp() override { Item::alive = 0; }
    void TearDown() override { EXPECT_EQ(Item::alive, 0); }
};

std::vector<int> Values(const CommonContainer<Item>& c)
{
    std::vector<int> v;
    for (int i = 0; i < c.Count(); ++i)
        v.push_back(c.At(i) ? c.At(i)->value : -1);
    return v;
}

TEST_F(ContainerTest, OwningDeleteAndClearDestroyItems)
{
    CommonContainer<Item> c;
    EXPECT_TRUE(c.Owns());
    Item* a = new Item(1);
    EXPECT_EQ(c.Add(a), 0);
    EXPECT_EQ(c.Add(new Item(2)), 1);
    EXPECT_EQ(c.Add(nullptr), 2); // null entries are allowed and skipped on destruction
    EXPECT_EQ(Item::alive, 2);
    EXPECT_TRUE(c.Delete(a));
    EXPECT_EQ(Item::alive, 1);
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(c.LastIndex(), -1);
    EXPECT_EQ(Item::alive, 0);
}

TEST_F(ContainerTest, DeletingAForeignItemFailsAndKeepsItAlive)
{
    CommonContainer<Item> c;
    c.Add(new Item(1));
    Item outsider(9);
    EXPECT_FALSE(c.Delete(&outsider));
    EXPECT_FALSE(c.Remove(&outsider));
    EXPECT_EQ(outsider.value, 9);
    EXPECT_EQ(c.Count(), 1);
}

TEST_F(ContainerTest, IndexBasedDeleteRejectsNegativeAndPastEnd)
{
    CommonContainer<Item> c;
    c.Add(new Item(1));
    EXPECT_FALSE(c.Delete(-1));
    EXPECT_FALSE(c.Delete(1));
    EXPECT_FALSE(c.Remove(-5));
    EXPECT_TRUE(c.Delete(0));
    EXPECT_EQ(Item::alive, 0);
}

TEST_F(ContainerTest, NonOwningClearLeavesItemsAlive)
{
    Item a(1), b(2);
    {
        CommonContainer<Item> c;
        c.SetOwns(false);
        c.Add(&a);
        c.Add(&b);
        EXPECT_TRUE(c.Delete(&a));
        c.Clear();
        EXPECT_EQ(c.Count(), 0);
        c.Add(&b); // destruction of a non-owning container destroys nothing either
    }
    EXPECT_EQ(Item::alive, 2);
}

TEST_F(ContainerTest, RemoveNeverDestroys)
{
    CommonContainer<Item> c;
    Item* a = new Item(1);
    c.Add(a);
    EXPECT_TRUE(c.Remove(0));
    EXPECT_EQ(Item::alive, 1);
    delete a;
}

TEST_F(ContainerTest, MoveShiftsNeighboursAndClampsTarget)
{
    CommonContainer<Item> c;
    Item* items[4];
    for (int i = 0; i < 4; ++i)
        c.Add(items[i] = new Item(i));
    EXPECT_TRUE(c.Move(items[0], 2));
    EXPECT_EQ(Values(c), (std::vector<int>{1, 2, 0, 3}));
    EXPECT_TRUE(c.Move(items[3], 0));
    EXPECT_EQ(Values(c), (std::vector<int>{3, 1, 2, 0}));
    EXPECT_TRUE(c.Move(items[1], 99)); // past the end: last
    EXPECT_EQ(Values(c), (std::vector<int>{3, 2, 0, 1}));
    EXPECT_TRUE(c.Move(items[2], 1)); // its own index: no change
    EXPECT_EQ(Values(c), (std::vector<int>{3, 2, 0, 1}));
    Item outsider;
    EXPECT_FALSE(c.Move(&outsider, 0));
}

TEST_F(ContainerTest, InsertPlacesBeforeIndexAndAtCount)
{
    CommonContainer<Item> c;
    c.Add(new Item(1));
    c.Insert(new Item(0), 0);
    c.Insert(new Item(2), c.Count());
    EXPECT_EQ(Values(c), (std::vector<int>{0, 1, 2}));
}

TEST_F(ContainerTest, AssignCopiesAndTakesOwnsFlag)
{
    CommonContainer<Item> a, b;
    a.Add(new Item(1));
    a.Add(new Item(2));
    b.Add(new Item(7));
    b.SetOwns(true);
    a.SetOwns(true);
    b.Assign(a);
    EXPECT_EQ(Values(b), (std::vector<int>{1, 2}));
    EXPECT_NE(a.At(0), b.At(0)); // copies, not shared pointers
    EXPECT_EQ(Item::alive, 4);

    a.Assign(a); // self-assignment changes nothing
    EXPECT_EQ(Values(a), (std::vector<int>{1, 2}));
    EXPECT_EQ(Item::alive, 4);
}

TEST_F(ContainerTest, AppendCopiesOfItselfDoublesOnce)
{
    CommonContainer<Item> a;
    a.Add(new Item(1));
    a.AppendCopies(a);
    EXPECT_EQ(Values(a), (std::vector<int>{1, 1}));
}

// A derived container that replaces Add, as the mailbox and the accounts
// directory do; AppendCopies and Assign must go through the replacement.
class TaggingContainer : public CommonContainer<Item>
{
public:
    int adds = 0;
    int Add(Item* item) override
    {
        ++adds;
        if (item)
            item->value += 100;
        return CommonContainer<Item>::Add(item);
    }
};

TEST_F(ContainerTest, DerivedAddIsUsedByCopyOperations)
{
    CommonContainer<Item> source;
    source.Add(new Item(1));
    source.Add(new Item(2));
    TaggingContainer t;
    t.Assign(source);
    EXPECT_EQ(t.adds, 2);
    EXPECT_EQ(Values(t), (std::vector<int>{101, 102}));
}

TEST_F(ContainerTest, IteratorOnEmptyContainer)
{
    CommonContainer<Item> c;
    CommonIterator<Item> it = c.First();
    EXPECT_EQ(it.CurrentOrNull(), nullptr);
    EXPECT_EQ(it.Position(), -1);
    EXPECT_FALSE(it.Next());
    EXPECT_FALSE(it.Previous());
    EXPECT_EQ(it.Position(), -1);
    CommonIterator<Item> last = c.Last();
    EXPECT_EQ(last.CurrentOrNull(), nullptr);
    EXPECT_EQ(last.Position(), -1);
}

TEST_F(ContainerTest, IteratorWalkVisitsEveryEntryOnce)
{
    CommonContainer<Item> c;
    for (int i = 0; i < 3; ++i)
        c.Add(new Item(i));
    std::vector<int> seen;
    CommonIterator<Item> it = c.First();
    do
        seen.push_back(it.Current()->value);
    while (it.Next());
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(it.Position(), 2);
    EXPECT_TRUE(it.Previous());
    EXPECT_EQ(it.Current()->value, 1);
    it.AtFirst();
    EXPECT_FALSE(it.Previous());
    it.AtLast();
    EXPECT_EQ(it.Position(), 2);
}

TEST_F(ContainerTest, IteratorNormalisesNegativePositionButNotPastEnd)
{
    CommonContainer<Item> c;
    c.Add(new Item(5));
    CommonIterator<Item> neg(&c, -3);
    EXPECT_EQ(neg.Position(), 0);
    EXPECT_EQ(neg.Current()->value, 5);
    CommonIterator<Item> past(&c, 4);
    EXPECT_EQ(past.Position(), 4);
    EXPECT_EQ(past.CurrentOrNull(), nullptr);
    EXPECT_FALSE(past.Next());
}

TEST_F(ContainerTest, IteratorComparisonsAndStores)
{
    CommonContainer<Item> c;
    Item* a = new Item(1);
    Item* b = new Item(2);
    c.Add(a);
    c.Add(b);
    CommonIterator<Item> first = c.First();
    CommonIterator<Item> last = c.Last();
    EXPECT_TRUE(first < last);
    EXPECT_TRUE(last > first);
    EXPECT_TRUE(first <= first);
    EXPECT_TRUE(first >= first);
    EXPECT_TRUE(first != last);
    EXPECT_FALSE(first == last);
    // Store overwrites the pointer without destroying anything.
    first.Store(last);
    EXPECT_EQ(c.At(0), b);
    EXPECT_EQ(c.At(1), b);
    c.SetOwns(false); // b is now in twice: avoid a double delete
    delete a;
    delete b;
}

} // namespace
