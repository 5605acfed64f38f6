#include "core/UsageFigures.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
    if (covered <= 0 || (bucket.SampledSeconds <= 0 && bucket.Both() == 0)) {
        return BucketCoverage::Gap;
    }
    return bucket.SampledSeconds + kCoverageSlackSeconds < covered ? BucketCoverage::Partial
                                                                   : BucketCoverage::Whole;
}

std::optional<UsageEstimate> EstimateToPeriodEnd(const UsageBucket& period, int64_t now) {
    const int64_t elapsed = now - period.Start;
    if (elapsed < kEstimateMinimumSeconds || now >= period.End) {
        return std::nullopt;
    }
    const double factor = static_cast<double>(period.End - period.Start) / static_cast<double>(elapsed);
    // Truncated, as the program's arithmetic always is; held below the
    // largest count a period can show.
    const auto carried = [factor](uint64_t octets) {
        const double estimate = static_cast<double>(octets) * factor;
        return estimate >= 1.8e19 ? kMaxOctets : static_cast<uint64_t>(estimate);
    };
    return UsageEstimate{carried(period.Download), carried(period.Upload)};
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
