#include "core/CounterReset.h"

#include "history/UsageTick.h"

#include <cstddef>
#include <limits>

namespace veltrum {

namespace {

// Readings count one nominal second per interval; MostOctets adds the
// timing margin (the agent samples anywhere within its reply wait, and a
// resynchronisation lengthens an interval).
constexpr int64_t kNominalIntervalMs = 1000;

uint64_t maskOf(unsigned widthBits) {
    const unsigned width = widthBits == 0 ? 1 : (widthBits > 64 ? 64 : widthBits);
    return width == 64 ? std::numeric_limits<uint64_t>::max() : (uint64_t{1} << width) - 1;
}

uint64_t mostIn(uint64_t speed, uint64_t profileMax, uint64_t intervals) {
    const uint64_t span = intervals == 0 ? 1 : intervals;
    const int64_t ms = span > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() / kNominalIntervalMs)
                           ? std::numeric_limits<int64_t>::max()
                           : static_cast<int64_t>(span) * kNominalIntervalMs;
    return MostOctets(LineBound(speed, profileMax), ms);
}

} // namespace

bool IsCounterReset(uint64_t prev, uint64_t now, unsigned widthBits, uint64_t speedBitsPerSecond,
                    uint64_t intervals, uint64_t profileMaxSpeed) {
    const uint64_t mask = maskOf(widthBits);
    prev &= mask;
    now &= mask;
    if (now >= prev) {
        return false;
    }
    return ((now - prev) & mask) > mostIn(speedBitsPerSecond, profileMaxSpeed, intervals);
}

ReadingVerdict JudgeReadings(const std::array<uint64_t, 4>& prev, const std::array<uint64_t, 4>& now,
                             unsigned widthBits, uint64_t speedBitsPerSecond, uint64_t profileMaxSpeed,
                             uint64_t intervals, std::array<uint64_t, 4>& increases) {
    const uint64_t mask = maskOf(widthBits);
    const uint64_t most = mostIn(speedBitsPerSecond, profileMaxSpeed, intervals);
    bool reset = false;
    for (std::size_t i = 0; i < now.size(); ++i) {
        increases[i] = (now[i] - prev[i]) & mask;
        reset = reset || ((now[i] & mask) < (prev[i] & mask) && increases[i] > most);
    }
    if (reset) {
        return ReadingVerdict::Reset;
    }
    return PlausibleIncreases(increases, most) ? ReadingVerdict::Counted : ReadingVerdict::Implausible;
}

std::array<int32_t, 2> MendUnreadPackets(std::array<uint64_t, 4>& previous, std::array<uint64_t, 4>& readings,
                                         bool primes, int32_t intervals, UnreadPackets& unread) {
    std::array<int32_t, 2> covered = {intervals, intervals};
    if (primes) {
        unread.HeldIntervals = {};
    }
    for (std::size_t direction = 0; direction < covered.size(); ++direction) {
        const std::size_t packets = direction + 2;
        int32_t& held = unread.HeldIntervals[direction];
        if (readings[packets] == 0 && readings[direction] != 0) {
            if (!primes && !unread.NoBaseline[direction] && previous[packets] != 0) {
                readings[packets] = previous[packets];
                held = held < std::numeric_limits<int32_t>::max() - intervals ? held + intervals : held;
                covered[direction] = 0;
            } else {
                unread.NoBaseline[direction] = true;
            }
            continue;
        }
        if (unread.NoBaseline[direction]) {
            previous[packets] = readings[packets];
            unread.NoBaseline[direction] = false;
        }
        covered[direction] += held;
        held = 0;
    }
    return covered;
}

void RebaseUnreadPackets(UnreadPackets& unread) {
    for (std::size_t direction = 0; direction < unread.HeldIntervals.size(); ++direction) {
        if (unread.HeldIntervals[direction] > 0) {
            unread.NoBaseline[direction] = true;
            unread.HeldIntervals[direction] = 0;
        }
    }
}

} // namespace veltrum
