#pragma once
// What one poll hands the usage recorder: the counter differences exactly as
// the poll judged them (a wrap counts; a reset or a priming reading gives no
// difference), and the readings themselves, which the store keeps so that a
// later start can count what passed while the program was closed.

#include <array>
#include <cstdint>

namespace veltrum {

enum class UsageTickKind : uint8_t {
    Counted,   // Differences hold the traffic since the previous reading
    Uncounted, // a reading without a difference: the session's first, or one after a reset
    Failed,    // no reading: the poll failed
};

struct UsageTick {
    // When the poll ended, in seconds since the epoch (UTC). The time since
    // the previous tick is what this tick accounts for: sampled when Counted,
    // missed otherwise.
    int64_t Time = 0;
    UsageTickKind Kind = UsageTickKind::Failed;
    // Octets in, octets out, packets in, packets out; only with Counted.
    std::array<uint64_t, 4> Differences{};
    // With Counted and Uncounted: the readings just taken, in the same
    // order, and the counters' width (32 or 64).
    std::array<uint64_t, 4> Readings{};
    uint8_t CounterBits = 0;
    // The interface's ifSpeed in bits per second, 0 when unknown.
    uint64_t Speed = 0;
    // The agent's sysUpTime (hundredths of a second) taken with the
    // readings, when the poll read it. Needed, on the first reading after a
    // start, to know that the agent kept counting while the program was
    // closed.
    bool UpTimeKnown = false;
    uint32_t UpTime = 0;
};

} // namespace veltrum
