#pragma once
// Judging a reading of the interface's counters against the previous one.
// A reading below the previous one is a wrap past the top of the counter's
// range or a reset by the agent: only the size of the difference modulo the
// range tells them apart. A rise is traffic only if the line could have
// carried it: a glitch (a counter read as 0 once, a garbage Counter64) would
// otherwise pass for terabytes.

#include <array>
#include <cstdint>

namespace veltrum {

// The counter width of the interface table's Counter32 objects.
inline constexpr unsigned kCounter32Bits = 32;

// True when `now` below `prev` cannot be a wrap: the difference modulo
// 2^widthBits is more than the line could carry in `intervals` poll
// intervals (MostOctets) at its bound (LineBound: the reported speed
// `speedBitsPerSecond`, 0 when unknown, and the default maximum), whatever
// the speed. A reading at or above the previous one is never a reset. Both
// readings are taken as bit patterns of `widthBits` bits (1 to 64).
bool IsCounterReset(uint64_t prev, uint64_t now, unsigned widthBits, uint64_t speedBitsPerSecond,
                    uint64_t intervals, uint64_t profileMaxSpeed = 0);

enum class ReadingVerdict : uint8_t {
    Counted,     // the increases are traffic
    Reset,       // a counter went back further than a wrap allows: the agent started again
    Implausible, // more than the line could carry, or more packets than octets: a new baseline
};

// The four counters (octets in, out, packets in, out) judged together: one
// counter decides for the whole reading. `increases` gets the differences
// modulo 2^widthBits.
ReadingVerdict JudgeReadings(const std::array<uint64_t, 4>& prev, const std::array<uint64_t, 4>& now,
                             unsigned widthBits, uint64_t speedBitsPerSecond, uint64_t profileMaxSpeed,
                             uint64_t intervals, std::array<uint64_t, 4>& increases);

// A packet counter read as 0 while the octets of its direction are not 0
// has not been read: an agent that has just started answers so until it has
// gathered its interface table, then gives the whole count since the
// interface came up. Counted from either, the count would be traffic.
struct UnreadPackets {
    // Per direction: a reading that only primed found the counter unread,
    // so there is no baseline; its next reading becomes one.
    std::array<bool, 2> NoBaseline{};
    // Per direction: the intervals the counter has been held at its last
    // reading; 0 while it reads.
    std::array<int32_t, 2> HeldIntervals{};
};

// While a reading counts, an unread counter is held at its last reading
// (`previous`), so that its return is counted from there over all the
// intervals it was held, as the octets beside it were. A reading that
// only primes has no last reading to hold: the counter gets no baseline.
// Adjusts `previous` and `readings` so that the judging and the
// differences that follow see neither the 0 nor the count from it, and
// returns the intervals each direction's packet difference covers (0 while
// held). Counter32 readings are passed as their bit patterns.
std::array<int32_t, 2> MendUnreadPackets(std::array<uint64_t, 4>& previous, std::array<uint64_t, 4>& readings,
                                         bool primes, int32_t intervals, UnreadPackets& unread);

// A reading that only primes after all: a counter held has no baseline.
void RebaseUnreadPackets(UnreadPackets& unread);

} // namespace veltrum
