#include <gtest/gtest.h>

#include "core/DateTime.h"

using namespace vm;

TEST(DateTime, DayCountsRoundTrip)
{
    EXPECT_EQ(ToDays(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_DOUBLE_EQ(ToDays(QDateTime(QDate(1900, 1, 1), QTime(12, 0))), 2.5);
    EXPECT_DOUBLE_EQ(ToDays(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
    const QDateTime t(QDate(2026, 12, 9), QTime(17, 45, 12, 345));
    EXPECT_EQ(FromDays(ToDays(t)), t);
    EXPECT_EQ(FromDays(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_FALSE(FromDays(0).isValid());
    EXPECT_EQ(ToDays(QDateTime()), 0.0);
}
