// Reading the UIDL and LIST listings by the number in each line.

#include "pop3/Pop3Listing.h"

#include <gtest/gtest.h>

using namespace vm;

namespace {

struct UidlCase
{
    const char* name;
    QList<QByteArray> lines;
    QList<QByteArray> ids; // by number; empty with error set
    const char* error = nullptr;
};

struct ListCase
{
    const char* name;
    QList<QByteArray> lines;
    int messages;
    QHash<int, std::int32_t> sizes;
    const char* error = nullptr;
};

} // namespace

TEST(Pop3Listing, UidlIsReadByTheNumberInEachLine)
{
    const UidlCase cases[] = {
        {"in order", {"1 a", "2 b", "3 c"}, {"a", "b", "c"}},
        {"any order", {"3 c", "1 a", "2 b"}, {"a", "b", "c"}},
        {"id with blanks", {"1 a b ", "2  c"}, {"a b ", " c"}},
        {"leading zeros", {"02 b", "001 a"}, {"a", "b"}},
        {"the same id twice", {"1 a", "2 a"}, {"a", "a"}},
        {"empty", {}, {}},
        {"garbage line", {"1 a", "garbage", "2 b"}, {},
         "line 2 \"garbage\" is not a message number followed by a unique id"},
        {"no id", {"1 a", "2"}, {}, "line 2 \"2\" is not a message number"},
        {"empty id", {"1 a", "2 "}, {}, "line 2 \"2 \" is not a message number"},
        {"signed number", {"+1 a"}, {}, "line 1 \"+1 a\" is not a message number"},
        {"blank first", {" 1 a"}, {}, "line 1 \" 1 a\" is not a message number"},
        {"tab", {"1\ta"}, {}, "line 1 \"1\ta\" is not"},
        {"repeated line", {"1 a", "2 b", "2 b"}, {}, "(UIDL): line 3 names message 2 again"},
        {"repeated number", {"02 a", "2 b"}, {}, "(UIDL): line 2 names message 2 again"},
        {"zero", {"0 a", "1 b"}, {}, "line 1 names message 0, but the list holds 2 messages"},
        {"past the count", {"1 a", "3 b"}, {}, "line 2 names message 3, but the list holds 2"},
        {"overflowing number", {"99999999999999999999 a"}, {},
         "line 1 names message 99999999999999999999, but the list holds 1 messages"},
    };
    for (const UidlCase& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            EXPECT_EQ(UidsByNumber(c.lines), c.ids);
            EXPECT_EQ(c.error, nullptr);
        } catch (const Pop3ProtocolError& e) {
            ASSERT_NE(c.error, nullptr) << e.Message().toStdString();
            EXPECT_TRUE(e.Message().startsWith("The server sent an invalid message list (UIDL)"))
                << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains(QLatin1String(c.error))) << e.Message().toStdString();
        }
    }
}

TEST(Pop3Listing, ListIsReadByNumberWithinWhatUidlListed)
{
    const ListCase cases[] = {
        {"all", {"2 200", "1 100"}, 2, {{1, 100}, {2, 200}}},
        {"one left out", {"1 100", "3 300"}, 3, {{1, 100}, {3, 300}}},
        {"more after the size", {"1 100 extra words"}, 1, {{1, 100}}},
        {"size past 32 bits", {"1 4294967296"}, 1, {{1, -1}}},
        {"no size", {"1"}, 1, {}, "line 1 \"1\" is not a message number followed by a size"},
        {"size not a number", {"1 big"}, 1, {}, "line 1 \"1 big\" is not"},
        {"negative size", {"1 -5"}, 1, {}, "line 1 \"1 -5\" is not"},
        {"garbage", {"1 100", "* junk"}, 2, {}, "line 2 \"* junk\" is not"},
        {"repeated number", {"1 100", "1 100"}, 2, {}, "(LIST): line 2 names message 1 again"},
        {"past what UIDL listed", {"1 100", "3 300"}, 2, {},
         "(LIST): line 2 names message 3, but the list holds 2 messages"},
        {"nothing listed", {"1 100"}, 0, {}, "line 1 names message 1, but the list holds 0"},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            EXPECT_EQ(SizesByNumber(c.lines, c.messages), c.sizes);
            EXPECT_EQ(c.error, nullptr);
        } catch (const Pop3ProtocolError& e) {
            ASSERT_NE(c.error, nullptr) << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains(QLatin1String(c.error))) << e.Message().toStdString();
        }
    }
}
