#pragma once
// The usage history's time arithmetic. Five-minute rows are in UTC; hourly,
// daily and monthly rows in the local time at which the traffic was recorded,
// so a day is the user's day: a daylight-saving change gives a day of 23 or
// 25 hourly rows, each hour its own. Local time is the C library's (TZ).

#include <cstdint>
#include <string>

namespace veltrum {

// The rows one second of traffic belongs to.
struct BucketKeys {
    int64_t FiveMinute = 0; // UTC start, seconds since the epoch
    int64_t Hour = 0;       // the instant the local hour began
    int32_t HourOffset = 0; // seconds east of UTC during that hour
    int32_t Day = 0;        // local date as YYYYMMDD
    int32_t Month = 0;      // local month as YYYYMM
    bool operator==(const BucketKeys&) const = default;
};

// The rows of the second that starts at `t`.
BucketKeys KeysAt(int64_t t);
// The first instant after `t` at which a row changes; `keys` are KeysAt(t).
int64_t NextBoundary(int64_t t, const BucketKeys& keys);

struct LocalDate {
    int32_t Year = 1970;
    int32_t Month = 1; // 1-12
    int32_t Day = 1;   // 1-31
    bool operator==(const LocalDate&) const = default;
};

int32_t DayKey(const LocalDate& date);
LocalDate FromDayKey(int32_t key);
LocalDate DateAt(int64_t t);
LocalDate AddDays(const LocalDate& date, int32_t days);
// The same day `months` later; the day is kept (callers use days 1-28).
LocalDate AddMonths(const LocalDate& date, int32_t months);
// The instant the local date began (its first existing second where a
// daylight-saving change skips midnight).
int64_t StartOf(const LocalDate& date);

// A billing period: from its start day's midnight to the next period's.
struct Period {
    LocalDate Start;
    LocalDate End; // exclusive
};
// The period, starting on day `billingDay` (1-28) of a month, that holds `date`.
Period PeriodHolding(const LocalDate& date, int32_t billingDay);

// `t` as local ISO 8601 with the offset: 2026-03-29T00:00:00+01:00.
std::string Iso8601(int64_t t);

} // namespace veltrum
