#include "core/UsageFigures.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace veltrum {

namespace {

constexpr uint64_t kMaxOctets = std::numeric_limits<uint64_t>::max();

// The smallest of 1, 2 and 5 times a power of ten (from 1 kB up) that is at
// least `octets`.
uint64_t niceScale(uint64_t octets) {
    for (uint64_t power = 1000;; power *= 10) {
        for (const uint64_t step : {1u, 2u, 5u}) {
            if (step * power >= octets) {
                return step * power;
            }
        }
        if (power > kMaxOctets / 50) {
            return kMaxOctets;
        }
    }
}

int pixels(uint64_t octets, uint64_t scale, int height) {
    const double exact = static_cast<double>(octets) * height / static_cast<double>(scale);
    return static_cast<int>(std::lround(std::min(exact, static_cast<double>(height))));
}

} // namespace

uint64_t UsageBucket::Both() const {
    return Download > kMaxOctets - Upload ? kMaxOctets : Download + Upload;
}

BucketCoverage CoverageOf(const UsageBucket& bucket, int64_t now) {
    const int64_t covered = std::min(bucket.End, now) - bucket.Start;
    if (!bucket.Recorded || covered <= 0 || (bucket.SampledSeconds <= 0 && bucket.Both() == 0)) {
        return BucketCoverage::Gap;
    }
    return bucket.SampledSeconds + kCoverageSlackSeconds < covered ? BucketCoverage::Partial
                                                                   : BucketCoverage::Whole;
}

namespace {

UsageBucket bucketOf(const UsageSpan& span) {
    return {span.Start,       span.End,        span.Use.InOctets, span.Use.OutOctets,
            span.Use.Sampled, span.Use.Missed, span.Recorded};
}

std::vector<UsageBucket> bucketsOf(const std::vector<UsageSpan>& spans) {
    std::vector<UsageBucket> buckets;
    buckets.reserve(spans.size());
    for (const UsageSpan& span : spans) {
        buckets.push_back(bucketOf(span));
    }
    return buckets;
}

} // namespace

UsageSummary SummaryOf(const UsageFigures& figures) {
    UsageSummary summary;
    summary.Now = figures.Now;
    summary.FirstRecorded = figures.FirstRecorded;
    summary.Today = bucketOf(figures.Today);
    summary.Yesterday = bucketOf(figures.Yesterday);
    summary.Period = bucketOf(figures.Period);
    summary.LastPeriod = bucketOf(figures.LastPeriod);
    summary.AllTime = bucketOf(figures.AllTime);
    summary.FirstPeriod = figures.FirstPeriod;
    summary.Estimate = figures.PeriodEstimate;
    summary.Quota = figures.Quota;
    summary.Hours = bucketsOf(figures.Hours);
    summary.Days = bucketsOf(figures.Days);
    summary.Periods = bucketsOf(figures.Periods);
    return summary;
}

std::string MissedText(const UsageBucket& bucket, const NumberLocale& locale) {
    if (bucket.MissedSeconds <= 0) {
        return "none";
    }
    const int32_t permille =
        MissedPermille(UsageCounts{.Sampled = bucket.SampledSeconds, .Missed = bucket.MissedSeconds});
    return MinutesRoundedUp(bucket.MissedSeconds) + " (" + std::to_string(permille / 10) +
           locale.DecimalPoint + std::to_string(permille % 10) + " %)";
}

UsageChartLayout LayoutUsageBars(std::span<const UsageBucket> buckets, int64_t now, int width, int height) {
    UsageChartLayout layout;
    if (buckets.empty() || width <= 0 || height <= 0) {
        return layout;
    }
    uint64_t largest = 0;
    for (const UsageBucket& bucket : buckets) {
        largest = std::max(largest, bucket.Both());
    }
    layout.ScaleOctets = niceScale(largest);

    const auto count = static_cast<int64_t>(buckets.size());
    for (int64_t i = 0; i < count; ++i) {
        const UsageBucket& bucket = buckets[static_cast<size_t>(i)];
        const auto left = static_cast<int>(i * width / count);
        const auto right = static_cast<int>((i + 1) * width / count);
        UsageBar bar;
        bar.Left = left;
        bar.Width = std::max(0, right - left - (right - left >= 3 ? 1 : 0));
        bar.Coverage = CoverageOf(bucket, now);
        int down = 0;
        int total = 0;
        if (bar.Coverage != BucketCoverage::Gap) {
            total = pixels(bucket.Both(), layout.ScaleOctets, height);
            down = pixels(bucket.Download, layout.ScaleOctets, height);
            // Any traffic at all is seen: a pixel for each direction that had some.
            down = bucket.Download > 0 ? std::max(down, 1) : 0;
            total = std::max(total, down + (bucket.Upload > 0 ? 1 : 0));
            total = std::min(total, height);
            down = std::min(down, total);
        }
        bar.DownloadHeight = down;
        bar.DownloadTop = height - down;
        bar.UploadHeight = total - down;
        bar.UploadTop = height - total;
        layout.Bars.push_back(bar);
    }
    return layout;
}

} // namespace veltrum
