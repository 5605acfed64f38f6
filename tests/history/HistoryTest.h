#pragma once
// Shared by the usage history's tests: a time zone pinned for the test, a
// local time as seconds since the epoch, ticks fed to a recorder, and the
// totals of an interface.

#include "history/UsageRecorder.h"
#include "history/UsageStore.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

namespace veltrum::test {

// TZ for the life of the object.
class ZoneFor final {
public:
    explicit ZoneFor(const char* zone) {
        const char* old = std::getenv("TZ");
        m_old = old != nullptr ? old : "";
        m_had = old != nullptr;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneFor() {
        if (m_had) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ZoneFor(const ZoneFor&) = delete;
    ZoneFor& operator=(const ZoneFor&) = delete;

private:
    std::string m_old;
    bool m_had = false;
};

// "2026-03-29 01:59:00" in the zone in force; `dst` as mktime takes it
// (-1: let the zone decide; 0 or 1 for the two readings of a repeated hour).
inline int64_t LocalTime(const char* text, int dst = -1) {
    std::tm tm{};
    std::sscanf(text, "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min,
                &tm.tm_sec);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = dst;
    return static_cast<int64_t>(std::mktime(&tm));
}

// Ticks of 64-bit counters from `from` to `to`, one every `step` seconds,
// each counting `octets` in; the first only starts the count unless `primed`.
inline void Feed(UsageRecorder& recorder, int64_t from, int64_t to, int64_t step, uint64_t octets,
                 bool primed = false) {
    UsageTick tick;
    tick.Kind = primed ? UsageTickKind::Counted : UsageTickKind::Uncounted;
    tick.CounterBits = 64;
    tick.Differences = {primed ? octets : 0, 0, 0, 0};
    for (int64_t t = from; t <= to; t += step) {
        tick.Time = t;
        recorder.Record(tick);
        tick.Kind = UsageTickKind::Counted;
        tick.Differences = {octets, 0, 0, 0};
    }
}

// A clock the test moves: time passing moves both, a set wall clock only one.
class StepClock final : public UsageClock {
public:
    explicit StepClock(int64_t wall) : m_wall(wall) {}
    int64_t Wall() const override { return m_wall; }
    int64_t Steady() const override { return m_steady; }
    void Pass(int64_t seconds) {
        m_wall += seconds;
        m_steady += seconds * 1000;
    }
    void SetWallBy(int64_t seconds) { m_wall += seconds; }

private:
    int64_t m_wall;
    int64_t m_steady = 1000;
};

inline UsageCounts TotalOf(const std::string& path, const std::string& agent, int32_t number,
                           const std::string& description = {}) {
    UsageStore store(path, StoreMode::Read);
    if (store.State() != StoreState::Ready) {
        return {};
    }
    const auto row = store.OpenInterface(agent, number, description);
    return row ? store.AllTime(row->Id) : UsageCounts{};
}

} // namespace veltrum::test
