#pragma once
// The usage window's figures as plain data, and what the window computes
// from them without a window: which buckets are gaps or only partly
// sampled, the estimate to the billing period's end and the bar charts'
// geometry. The window never reads the usage history itself: the program
// entry hands it a UsageSource that answers with these figures.

#include "core/Formatting.h"
#include "history/UsageReport.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltrum {

// The use of one stretch of time [Start, End), instants in seconds since
// the epoch. Download is the interface's octets in, upload its octets out.
struct UsageBucket {
    int64_t Start = 0;
    int64_t End = 0;
    uint64_t Download = 0;
    uint64_t Upload = 0;
    int64_t SampledSeconds = 0; // seconds the counters were read in
    int64_t MissedSeconds = 0;  // seconds of failed polls
    // False before the interface's first recording: nothing is known.
    bool Recorded = true;
    // Download and upload together (held at the largest count).
    uint64_t Both() const;
};

struct UsageSummary {
    int64_t Now = 0;           // when the figures were taken
    int64_t FirstRecorded = 0; // the interface's first recorded second; 0: none
    UsageBucket Today, Yesterday, Period, LastPeriod, AllTime;
    bool FirstPeriod = false;              // recording began inside this period
    std::optional<UsageEstimate> Estimate; // nothing before an hour was recorded
    std::optional<QuotaUse> Quota;         // nothing without a quota
    std::vector<UsageBucket> Hours;        // the last 48 hours, oldest first
    std::vector<UsageBucket> Days;         // the last 31 days, today last
    std::vector<UsageBucket> Periods;      // the last 12 billing periods, this one last
    // Why there are no figures to show (no history yet, a history written
    // by a newer program); empty when there are.
    std::string Unavailable;
};

// The usage figures (QueryFigures) as the window takes them.
UsageSummary SummaryOf(const UsageFigures& figures);

// A bucket's missed time to the minute, a part of one counted whole, and
// its share of the recorded time: "0h 01m (0.9 %)"; "none" for none.
std::string MissedText(const UsageBucket& bucket, const NumberLocale& locale);

// Answers with the figures of the current interface as they stand now.
using UsageSource = std::function<UsageSummary()>;

// How much of a bucket's time, up to now, was sampled.
enum class BucketCoverage : uint8_t {
    Gap,     // nothing known: drawn as a gap
    Partial, // partly sampled: the bar is marked
    Whole,   // sampled throughout
};
// Up to this many seconds unsampled still count as whole: the minute the
// recorder has not written yet and the first poll, which only primes.
inline constexpr int64_t kCoverageSlackSeconds = 120;
BucketCoverage CoverageOf(const UsageBucket& bucket, int64_t now);

// A bar in a plot of the given size, in pixels from the plot's top left:
// download at the bottom, upload stacked on it.
struct UsageBar {
    int Left = 0;
    int Width = 0;
    int DownloadTop = 0;
    int DownloadHeight = 0;
    int UploadTop = 0;
    int UploadHeight = 0;
    BucketCoverage Coverage = BucketCoverage::Gap;
};
struct UsageChartLayout {
    // The value at the plot's top: 1, 2 or 5 times a power of ten octets,
    // at least 1 kB, and at least the largest bucket's download and upload.
    uint64_t ScaleOctets = 1000;
    std::vector<UsageBar> Bars; // one per bucket, in order, left to right
};
// Buckets share the width evenly, a pixel apart where they are wide enough.
// A bucket with any traffic shows at least one pixel of it.
UsageChartLayout LayoutUsageBars(std::span<const UsageBucket> buckets, int64_t now, int width, int height);

} // namespace veltrum
