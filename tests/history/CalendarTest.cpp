#include "history/Calendar.h"
#include "history/HistoryTest.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

// Billing periods start at midnight of the billing day and run to the same
// day of the next month, across a year's end as well.
TEST(PeriodHolding, StartsOnTheBillingDay) {
    const struct {
        LocalDate Date;
        int32_t BillingDay;
        LocalDate Start, End;
    } cases[] = {
        {{2026, 3, 14}, 15, {2026, 2, 15}, {2026, 3, 15}}, {{2026, 3, 15}, 15, {2026, 3, 15}, {2026, 4, 15}},
        {{2026, 1, 5}, 28, {2025, 12, 28}, {2026, 1, 28}}, {{2026, 12, 31}, 1, {2026, 12, 1}, {2027, 1, 1}},
        {{2024, 2, 29}, 28, {2024, 2, 28}, {2024, 3, 28}},
    };
    for (const auto& c : cases) {
        const Period period = PeriodHolding(c.Date, c.BillingDay);
        EXPECT_EQ(period.Start, c.Start) << DayKey(c.Date) << " day " << c.BillingDay;
        EXPECT_EQ(period.End, c.End) << DayKey(c.Date) << " day " << c.BillingDay;
    }
}

// Local days and hours in a zone with daylight saving, and the texts of
// their instants.
TEST(KeysAt, FollowTheLocalClock) {
    const test::ZoneFor warsaw("Europe/Warsaw");
    const struct {
        const char* Local;
        int Dst;
        int32_t Day;
        int32_t Offset;
        const char* Iso;
    } cases[] = {
        {"2026-03-29 01:59:59", -1, 20260329, 3600, "2026-03-29T01:59:59+01:00"},
        {"2026-03-29 03:00:00", -1, 20260329, 7200, "2026-03-29T03:00:00+02:00"},
        {"2026-10-25 02:30:00", 1, 20261025, 7200, "2026-10-25T02:30:00+02:00"},
        {"2026-10-25 02:30:00", 0, 20261025, 3600, "2026-10-25T02:30:00+01:00"},
        {"2026-12-31 23:59:59", -1, 20261231, 3600, "2026-12-31T23:59:59+01:00"},
    };
    for (const auto& c : cases) {
        const int64_t t = test::LocalTime(c.Local, c.Dst);
        const BucketKeys keys = KeysAt(t);
        EXPECT_EQ(keys.Day, c.Day) << c.Local;
        EXPECT_EQ(keys.HourOffset, c.Offset) << c.Local;
        EXPECT_EQ(keys.FiveMinute % 300, 0) << c.Local;
        EXPECT_EQ(Iso8601(t), c.Iso) << c.Local;
    }
    // The repeated hour of the autumn change is two rows.
    EXPECT_NE(KeysAt(test::LocalTime("2026-10-25 02:30:00", 1)).Hour,
              KeysAt(test::LocalTime("2026-10-25 02:30:00", 0)).Hour);
}

} // namespace
} // namespace veltrum
