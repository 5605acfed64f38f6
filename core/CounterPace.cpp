#include "core/CounterPace.h"

#include <algorithm>
#include <limits>

namespace veltrum {

int32_t RefreshPeriod(const CounterPace& pace) {
    int32_t shortest = 0;
    for (const int32_t gap : pace.Gaps) {
        if (gap > 0 && (shortest == 0 || gap < shortest)) {
            shortest = gap;
        }
    }
    // A counter that moved at two polls in a row is refreshed at every poll:
    // a longer gap was a pause in the traffic.
    if (shortest <= 1) {
        return shortest;
    }
    // One longer gap may be a pause in the traffic; an agent's refresh
    // repeats, so the period is known once two gaps agree. An agent that
    // refreshes every few seconds is read one poll later when a poll falls
    // just before its refresh: that gap agrees, and is the period to wait.
    int32_t agreeing = 0;
    int32_t period = shortest;
    for (const int32_t gap : pace.Gaps) {
        if (gap == shortest || gap == shortest + 1) {
            ++agreeing;
            period = std::max(period, gap);
        }
    }
    return agreeing >= 2 ? period : 0;
}

PaceStep AdvancePace(CounterPace& pace, bool moved, int32_t intervals) {
    if (intervals < 1) {
        return {moved ? intervals : 0, false}; // no interval count to learn from
    }
    pace.Since = pace.Since < std::numeric_limits<int32_t>::max() - intervals
                     ? pace.Since + intervals
                     : std::numeric_limits<int32_t>::max();
    const int32_t known = RefreshPeriod(pace);
    if (!moved) {
        // While the period is still being learned, a counter that moved
        // before may only be waiting for the agent's next refresh: its rate
        // stands rather than falling to 0 between refreshes.
        const bool learning = known == 0 && pace.AfterStill && pace.Since < kLongestRefreshPeriod;
        return {0, (known > 1 && pace.Since < known) || learning};
    }
    if (pace.Moved && pace.Since <= kLongestRefreshPeriod) {
        std::copy_backward(pace.Gaps.begin(), pace.Gaps.end() - 1, pace.Gaps.end());
        pace.Gaps[0] = pace.Since;
    }
    // The increase came since the last move (or the reading that primed),
    // and after a pause in the traffic longer than the period, within the
    // last period. While the period is unknown, the first move after the
    // priming reading, and one after still readings that followed another
    // such move, are spread over the still readings: a caching agent's
    // first refreshes are not drawn as bursts several times the flow.
    const bool learning =
        known == 0 && pace.Since <= kLongestRefreshPeriod && (!pace.Moved || pace.AfterStill);
    const int32_t period = learning ? pace.Since : known;
    const int32_t span = std::min(pace.Since, std::max(period, intervals));
    pace.AfterStill = pace.Since > intervals;
    pace.Since = 0;
    pace.Moved = true;
    return {span, false};
}

void RebasePace(CounterPace& pace) {
    pace.Since = 0;
    pace.Moved = false;
}

} // namespace veltrum
