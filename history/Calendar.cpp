#include "history/Calendar.h"

#include <cstdio>
#include <ctime>

namespace veltrum {

namespace {

constexpr int64_t kFiveMinutes = 300;
constexpr int64_t kHour = 3600;

std::tm localAt(int64_t t) {
    const std::time_t when = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&when, &tm);
    return tm;
}

int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (the
// civil-calendar algorithms that need no table of month lengths).
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = floorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

LocalDate civilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    return LocalDate{static_cast<int32_t>(yoe + era * 400 + (m <= 2 ? 1 : 0)), static_cast<int32_t>(m),
                     static_cast<int32_t>(d)};
}

} // namespace

BucketKeys KeysAt(int64_t t) {
    const std::tm tm = localAt(t);
    BucketKeys keys;
    keys.FiveMinute = floorDiv(t, kFiveMinutes) * kFiveMinutes;
    keys.Hour = t - tm.tm_min * 60 - tm.tm_sec;
    keys.HourOffset = static_cast<int32_t>(tm.tm_gmtoff);
    keys.Month = (tm.tm_year + 1900) * 100 + tm.tm_mon + 1;
    keys.Day = keys.Month * 100 + tm.tm_mday;
    return keys;
}

int64_t NextBoundary(int64_t t, const BucketKeys& keys) {
    // Offsets are whole quarter hours and clocks change at the start of a
    // local hour almost everywhere: the next five-minute mark or local hour
    // is the boundary. Where a change falls inside an hour, the keys tell
    // and the change is searched for.
    int64_t high = keys.FiveMinute + kFiveMinutes;
    if (keys.Hour + kHour < high && keys.Hour + kHour > t) {
        high = keys.Hour + kHour;
    }
    if (KeysAt(high - 1) == keys) {
        return high;
    }
    int64_t low = t; // KeysAt(low) == keys, KeysAt(high - 1) differs
    while (high - low > 1) {
        const int64_t mid = low + (high - low) / 2;
        if (KeysAt(mid) == keys) {
            low = mid;
        } else {
            high = mid;
        }
    }
    return high;
}

int32_t DayKey(const LocalDate& date) {
    return date.Year * 10000 + date.Month * 100 + date.Day;
}

LocalDate FromDayKey(int32_t key) {
    return LocalDate{key / 10000, key / 100 % 100, key % 100};
}

LocalDate DateAt(int64_t t) {
    const std::tm tm = localAt(t);
    return LocalDate{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

LocalDate AddDays(const LocalDate& date, int32_t days) {
    return civilFromDays(daysFromCivil(date.Year, date.Month, date.Day) + days);
}

LocalDate AddMonths(const LocalDate& date, int32_t months) {
    const int32_t index = date.Year * 12 + (date.Month - 1) + months;
    const int32_t year = static_cast<int32_t>(floorDiv(index, 12));
    return LocalDate{year, index - year * 12 + 1, date.Day};
}

int64_t StartOf(const LocalDate& date) {
    std::tm tm{};
    tm.tm_year = date.Year - 1900;
    tm.tm_mon = date.Month - 1;
    tm.tm_mday = date.Day;
    tm.tm_isdst = -1;
    // A midnight that a clock change skips is normalised forward by mktime.
    return static_cast<int64_t>(std::mktime(&tm));
}

Period PeriodHolding(const LocalDate& date, int32_t billingDay) {
    LocalDate start{date.Year, date.Month, billingDay};
    if (date.Day < billingDay) {
        start = AddMonths(start, -1);
    }
    return Period{start, AddMonths(start, 1)};
}

std::string Iso8601(int64_t t) {
    const std::tm tm = localAt(t);
    const long offset = tm.tm_gmtoff;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+',
                  magnitude / 3600, magnitude / 60 % 60);
    return text;
}

} // namespace veltrum
