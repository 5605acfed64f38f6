#pragma once
// What one poll hands the usage recorder: the counter differences exactly as
// the poll judged them (a wrap counts; a reset or a priming reading gives no
// difference), and the readings themselves, which the store keeps so that a
// later start can count what passed while the program was closed.

#include <array>
#include <cstdint>

namespace veltrum {

// The most a line is taken to carry when its agent reports less or nothing,
// in bits per second. Reported speeds are often too low (Linux agents give
// 10 Mbit/s for ppp, tun and lo whatever they carry), so a reading is judged
// against the larger of the two; a profile's own maximum raises it.
inline constexpr uint64_t kDefaultMaxSpeed = 1'000'000'000;

// The speed a difference is judged by: the larger of the interface's
// reported speed, the profile's maximum and the default maximum.
constexpr uint64_t LineBound(uint64_t reportedSpeed, uint64_t profileMaxSpeed) {
    uint64_t bound = kDefaultMaxSpeed;
    bound = reportedSpeed > bound ? reportedSpeed : bound;
    return profileMaxSpeed > bound ? profileMaxSpeed : bound;
}

// The most octets a line of `bound` bits per second could carry in `ms`
// milliseconds, with a margin for timing: the agent samples its counters
// anywhere within its reply wait, so two readings may lie up to about two
// seconds further apart than the polls that took them.
__extension__ typedef unsigned __int128 UsageWide;
constexpr uint64_t MostOctets(uint64_t bound, int64_t ms) {
    constexpr int64_t kTimingMargin = 2000;
    const UsageWide span = static_cast<UsageWide>(ms < 0 ? 0 : ms) + kTimingMargin;
    const UsageWide most = span * bound / 8000;
    return most > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(most);
}

// Whether the four increases (octets in, out, packets in, out) could have
// passed: none above `most`, and no packet counter ahead of the octets of
// its direction, since every packet carries at least one octet. An agent
// that counts packets but not octets (octets stand still) is not judged by
// the second rule.
constexpr bool PlausibleIncreases(const std::array<uint64_t, 4>& increases, uint64_t most) {
    for (const uint64_t increase : increases) {
        if (increase > most) {
            return false;
        }
    }
    return !(increases[0] != 0 && increases[2] > increases[0]) &&
           !(increases[1] != 0 && increases[3] > increases[1]);
}

enum class UsageTickKind : uint8_t {
    Counted,   // Differences hold the traffic since the previous reading
    Uncounted, // a reading without a difference: the session's first, or one after a reset
    Failed,    // no reading: the poll failed
};

struct UsageTick {
    // When the poll ended, in seconds since the epoch (UTC). A recorder
    // given a clock (RecorderOptions::Clock) reads its own instead. The time
    // since the previous tick is what this tick accounts for: sampled when
    // Counted, missed otherwise.
    int64_t Time = 0;
    UsageTickKind Kind = UsageTickKind::Failed;
    // Octets in, octets out, packets in, packets out; only with Counted.
    std::array<uint64_t, 4> Differences{};
    // With Counted and Uncounted: the readings just taken, in the same
    // order, and the counters' width (32 or 64).
    std::array<uint64_t, 4> Readings{};
    uint8_t CounterBits = 0;
    // The poll refused the reading as more than the line could carry (it
    // only primed with it).
    bool Implausible = false;
    // The interface's ifSpeed in bits per second, 0 when unknown, and the
    // profile's maximum speed, 0 when not set (LineBound).
    uint64_t Speed = 0;
    uint64_t MaxSpeed = 0;
    // The agent's sysUpTime (hundredths of a second) taken with the
    // readings, when the poll read it. Needed, on the first reading after a
    // start, to know that the agent kept counting while the program was
    // closed.
    bool UpTimeKnown = false;
    uint32_t UpTime = 0;
};

} // namespace veltrum
