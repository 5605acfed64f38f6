#include "history/Calendar.h"

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

} // namespace
} // namespace veltrum
