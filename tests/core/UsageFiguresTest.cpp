// What the usage window computes without a window: gaps and partly sampled
// buckets, the estimate to the period's end and the bars' geometry.

#include "core/UsageFigures.h"
#include "app/TempDir.h"
#include "core/SettingsTable.h"
#include "core/UsageRecording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <tuple>
#include <vector>

namespace veltrum {
namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kT0 = 1772323200; // the first bucket's start

UsageBucket Hour(int64_t index, uint64_t download, uint64_t upload, int64_t sampled) {
    return {kT0 + index * kHour, kT0 + (index + 1) * kHour, download, upload, sampled, 0};
}

TEST(CoverageOf, GapsPartialAndWholeBucketsUpToNow) {
    struct Row {
        UsageBucket bucket;
        int64_t now;
        BucketCoverage coverage;
    };
    using C = BucketCoverage;
    // clang-format off
    const Row rows[] = {
        {Hour(0, 0, 0, 0),          kT0 + 2 * kHour,      C::Gap},     // nothing recorded
        {Hour(0, 0, 0, 3600),       kT0 + 2 * kHour,      C::Whole},   // recorded, no traffic
        {Hour(0, 5, 0, 3600 - 120), kT0 + 2 * kHour,      C::Whole},   // the slack
        {Hour(0, 5, 0, 3600 - 121), kT0 + 2 * kHour,      C::Partial},
        {Hour(0, 5, 1, 0),          kT0 + 2 * kHour,      C::Partial}, // traffic counted across a restart
        {Hour(1, 5, 1, 600),        kT0 + kHour + 600,    C::Whole},   // the current hour, so far
        {Hour(1, 5, 1, 600),        kT0 + kHour + 1000,   C::Partial},
        {Hour(2, 0, 0, 0),          kT0 + kHour,          C::Gap},     // not begun
    };
    // clang-format on
    int line = 0;
    for (const Row& row : rows) {
        EXPECT_EQ(CoverageOf(row.bucket, row.now), row.coverage) << "row " << ++line;
    }
}

TEST(EstimateToPeriodEnd, CarriesThePaceOfTheRecordedTimeToTheEnd) {
    UsageSpan period{kT0, kT0 + 30 * 24 * kHour, {}};
    period.Use.InOctets = 10'000'000'000;
    period.Use.OutOctets = 1'000'000'000;
    struct Row {
        int64_t firstRecorded, now;
        std::optional<uint64_t> download, upload;
        int64_t missed = 0; // seconds since the first recorded not sampled
    };
    const Row rows[] = {
        {kT0 - kHour, kT0 + 10 * 24 * kHour, 30'000'000'000, 3'000'000'000}, // a third through: three times
        {kT0, kT0 + kHour, 7'200'000'000'000, 720'000'000'000},
        {kT0, kT0 + kHour - 1, std::nullopt, std::nullopt},       // too early to tell
        {kT0, kT0 + 30 * 24 * kHour, std::nullopt, std::nullopt}, // over
        {0, kT0 + 10 * 24 * kHour, std::nullopt, std::nullopt},   // nothing recorded
        // Recording began 20 days in: the pace is that of the 5 days seen.
        {kT0 + 20 * 24 * kHour, kT0 + 25 * 24 * kHour, 20'000'000'000, 2'000'000'000},
        {kT0 + 20 * 24 * kHour, kT0 + 20 * 24 * kHour + kHour - 1, std::nullopt, std::nullopt},
        // Half of the ten days missed: the pace is that of the five counted.
        {kT0, kT0 + 10 * 24 * kHour, 60'000'000'000, 6'000'000'000, 5 * 24 * kHour},
        {kT0, kT0 + 2 * kHour, std::nullopt, std::nullopt, kHour + 1}, // less than an hour counted
    };
    for (const Row& row : rows) {
        period.Use.Sampled = row.now - std::max(kT0, row.firstRecorded) - row.missed;
        const std::optional<UsageEstimate> estimate = EstimateToPeriodEnd(period, row.firstRecorded, row.now);
        ASSERT_EQ(estimate.has_value(), row.download.has_value()) << row.now - kT0;
        if (estimate) {
            EXPECT_EQ(estimate->Download, *row.download);
            EXPECT_EQ(estimate->Upload, *row.upload);
        }
    }
}

TEST(LayoutUsageBars, StackedBarsOnARoundScaleWithGapsAndMarks) {
    const std::vector<UsageBucket> hours{
        Hour(0, 1'000'000'000, 500'000'000, 3600), // 1.5 GB whole
        Hour(1, 0, 0, 0),                          // gap
        Hour(2, 400'000'000, 0, 1800),             // partial
        Hour(3, 1, 1, 3600),                       // two octets: a pixel each
    };
    const UsageChartLayout layout = LayoutUsageBars(hours, kT0 + 4 * kHour, 400, 100);
    EXPECT_EQ(layout.ScaleOctets, 2'000'000'000u); // 1.5 GB on a 2 GB scale
    struct Expected {
        int left, width, downTop, downHeight, upTop, upHeight;
        BucketCoverage coverage;
    };
    using C = BucketCoverage;
    const Expected expected[] = {
        {0, 99, 50, 50, 25, 25, C::Whole},
        {100, 99, 100, 0, 100, 0, C::Gap},
        {200, 99, 80, 20, 80, 0, C::Partial},
        {300, 99, 99, 1, 98, 1, C::Whole},
    };
    ASSERT_EQ(layout.Bars.size(), std::size(expected));
    for (size_t i = 0; i < layout.Bars.size(); ++i) {
        const UsageBar& bar = layout.Bars[i];
        const Expected& e = expected[i];
        EXPECT_EQ(std::tie(bar.Left, bar.Width, bar.DownloadTop, bar.DownloadHeight, bar.UploadTop,
                           bar.UploadHeight, bar.Coverage),
                  std::tie(e.left, e.width, e.downTop, e.downHeight, e.upTop, e.upHeight, e.coverage))
            << "bar " << i;
    }
    // No traffic at all: the smallest scale; no buckets or no room: no bars.
    EXPECT_EQ(LayoutUsageBars(std::vector<UsageBucket>{Hour(0, 0, 0, 3600)}, kT0 + kHour, 10, 10).ScaleOctets,
              1000u);
    EXPECT_TRUE(LayoutUsageBars({}, kT0, 400, 100).Bars.empty());
    EXPECT_TRUE(LayoutUsageBars(hours, kT0, 0, 100).Bars.empty());
}

} // namespace
} // namespace veltrum

namespace veltrum {
namespace {

// Nothing is recorded until a profile names an agent: the first start's
// default one leaves no history (and no row to be named by --usage later).
TEST(UsageRecording, RecordsOnlyOnceAProfileNamesTheAgent) {
    const test::TempDir dir;
    for (const bool named : {false, true}) {
        MonitorState state;
        state.ProfilePath = dir.File(named ? "Named.vlq" : "Default.vlq");
        dir.Write(named ? "Named.vlq" : "Default.vlq", named ? "[Host]\n01=127.0.0.1\n" : "[Sesja]\n01=x\n");
        EXPECT_EQ(ProfileNamesAgent(state.ProfilePath), named);
        const std::string path = dir.File(named ? "named.sqlite3" : "default.sqlite3");
        UsageRecording usage;
        usage.SetDatabase(path);
        usage.Watch("192.168.1.1", 1, "", ProfileNamesAgent(state.ProfilePath));
        PollSample sample;
        sample.Interface = 1;
        sample.Usage = UsageTick{.Time = 1'790'000'000, .Kind = UsageTickKind::Failed};
        usage.OnSample(sample);
        usage.Close();
        EXPECT_EQ(std::filesystem::exists(path), named);
        const UsageSummary summary = usage.Summary(state, 1'790'000'001);
        EXPECT_EQ(summary.Unavailable == "Nothing is recorded until a router is set in the settings.",
                  !named);
    }
}

} // namespace
} // namespace veltrum
