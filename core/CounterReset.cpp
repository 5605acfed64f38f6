#include "core/CounterReset.h"

#include <limits>

namespace veltrum {

namespace {

// Readings count one nominal second per interval, but the agent samples its
// counters when it answers, anywhere within the reply wait (750 ms at most),
// and a resynchronisation lengthens an interval to 1025 ms: two samples one
// interval apart may lie up to about 1.8 s apart. Twice the nominal span
// covers that; more than that is no wrap at the interface's speed.
constexpr uint64_t kSpanMargin = 2;

uint64_t saturatingMultiply(uint64_t a, uint64_t b) {
    if (b != 0 && a > std::numeric_limits<uint64_t>::max() / b) {
        return std::numeric_limits<uint64_t>::max();
    }
    return a * b;
}

} // namespace

bool IsCounterReset(uint64_t prev, uint64_t now, unsigned widthBits, uint64_t speedBitsPerSecond,
                    uint64_t intervals) {
    const unsigned width = widthBits == 0 ? 1 : (widthBits > 64 ? 64 : widthBits);
    const uint64_t mask = width == 64 ? std::numeric_limits<uint64_t>::max() : (uint64_t{1} << width) - 1;
    prev &= mask;
    now &= mask;
    if (now >= prev) {
        return false;
    }
    const uint64_t increase = (now - prev) & mask;
    if (speedBitsPerSecond == 0) {
        return increase >= (uint64_t{1} << (width - 1));
    }
    const uint64_t octetsPerInterval = speedBitsPerSecond / 8 + (speedBitsPerSecond % 8 != 0 ? 1 : 0);
    const uint64_t limit = saturatingMultiply(
        saturatingMultiply(octetsPerInterval, intervals == 0 ? 1 : intervals), kSpanMargin);
    return increase > limit;
}

} // namespace veltrum
