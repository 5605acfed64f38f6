#pragma once
// Telling a counter that wrapped past the top of its range from one that the
// agent reset. Both arrive as a reading below the previous one; only the size
// of the difference modulo the counter's range tells them apart.

#include <cstdint>

namespace veltrum {

// The counter width of the interface table's Counter32 objects.
inline constexpr unsigned kCounter32Bits = 32;

// True when `now` below `prev` cannot be a wrap: the difference modulo
// 2^widthBits is more than the interface could carry in `intervals` poll
// intervals at `speedBitsPerSecond` (with a margin), or, with the speed
// unknown (0), at least half the counter's range. A reading at or above the
// previous one is never a reset. Both readings are taken as bit patterns of
// `widthBits` bits (1 to 64); the octet bound serves packet counters as well,
// since every packet carries at least one octet.
bool IsCounterReset(uint64_t prev, uint64_t now, unsigned widthBits, uint64_t speedBitsPerSecond,
                    uint64_t intervals);

} // namespace veltrum
