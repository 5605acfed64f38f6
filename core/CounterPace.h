#pragma once
// How often an agent's counters move. Many agents copy their interface
// counters from the system only every few seconds and answer from that copy
// in between (snmpd keeps its interface table for 3 s): polled once a second,
// a steady flow reads as no change, no change, three seconds' worth. Each
// counter's pace tells its rate which span of intervals its increase covers,
// and whether a reading without change means no traffic or only that the
// agent's next refresh is not due yet.

#include <array>
#include <cstddef>
#include <cstdint>

namespace veltrum {

// Gaps longer than this are idle spells, not an agent's refresh period.
inline constexpr int32_t kLongestRefreshPeriod = 10;
inline constexpr std::size_t kPaceGaps = 4;

struct CounterPace {
    int32_t Since = 0;       // intervals since the counter last moved, or since the reading that primed
    bool Moved = false;      // it moved since then, so its next move ends a gap
    bool AfterStill = false; // its last move came after readings without one, as an agent's refresh does
    std::array<int32_t, kPaceGaps> Gaps{}; // the latest gaps between moves, newest first; 0: none yet
};

// What a reading means for one counter's rate.
struct PaceStep {
    int32_t Span = 0;  // the intervals its increase is spread over; 0 when it did not move
    bool Hold = false; // it did not move, but the agent's refresh is not due: the last rate stands
};

// The agent's refresh period for this counter in intervals, learned from the
// latest gaps between its moves: 1 once it moved at two polls in a row (the
// agent refreshes at every poll), else the gap that two of them agree on, and
// 0 while unknown.
int32_t RefreshPeriod(const CounterPace& pace);

// One successful reading covering `intervals` intervals, in which the counter
// moved or not. With the period unknown or 1 the span is `intervals`, and a
// reading without a move drops the rate to 0, as for an agent that does not cache.
PaceStep AdvancePace(CounterPace& pace, bool moved, int32_t intervals);

// A reading that only primes (the agent restarted, another interface): the
// next increase is measured from it. The learned period stays.
void RebasePace(CounterPace& pace);

} // namespace veltrum
