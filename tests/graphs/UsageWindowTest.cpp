// The usage window with known figures: the table, the quota line and the
// bars as drawn (gaps and partly sampled buckets), and when it asks its
// source.

#include "graphs/UsageWindow.h"

#include "core/MonitorState.h"
#include "graphs/StillMonitor.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <stdexcept>

namespace veltrum {
namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kT0 = 1772323200;
constexpr uint64_t GB = 1'000'000'000;

UsageBucket Hour(int64_t index, uint64_t download, uint64_t upload, int64_t sampled) {
    return {kT0 + index * kHour, kT0 + (index + 1) * kHour, download, upload, sampled, 0};
}

UsageSummary Known() {
    UsageSummary s;
    s.Now = kT0 + 4 * kHour;
    s.FirstRecorded = kT0 - 40 * 24 * kHour;
    s.Today = Hour(0, 3 * GB / 2, GB / 4, 4 * kHour);
    s.Today.MissedSeconds = 90;
    s.Yesterday.Recorded = false; // before the first recording
    s.Period = {kT0 - 9 * 24 * kHour, kT0 + 21 * 24 * kHour, 40 * GB, 5 * GB, 0, 0};
    // 40 GB in 220 of the period's 720 hours, carried on to its end.
    s.Estimate = UsageEstimate{130'909'090'909, 16'363'636'363};
    s.Quota = QuotaUseOf({50 * GB, QuotaDirection::Both, 1}, 40 * GB, 5 * GB);
    s.Days = {{kT0 - 24 * kHour, kT0, 0, 0, 0, 0, false}, {kT0, kT0 + 24 * kHour, 2 * GB, GB, 4 * kHour, 0}};
    s.AllTime = {0, s.Now, 400 * GB, 50 * GB, 0, 0};
    s.Hours = {Hour(0, GB, GB / 2, kHour), Hour(1, 0, 0, 0), Hour(2, GB, 0, kHour / 2),
               Hour(3, GB, GB, kHour)};
    return s;
}

struct UsageWindowTest : ::testing::Test {
    UsageWindowTest() {
        state.SessionName = "Office";
        state.DownloadColor = kYellow;
        state.UploadColor = kRed;
        state.BillingDay = 1;
    }
    test::StillMonitor still;
    MonitorState& state = still.state;
    int asked = 0;
    UsageSummary answer = Known();
    TFormUsage usage{still.monitor, [this] {
                         ++asked;
                         if (!answer.Unavailable.empty() && answer.Unavailable == "throw") {
                             throw std::runtime_error("disk I/O error");
                         }
                         return answer;
                     }};
};

TEST_F(UsageWindowTest, DrawsKnownFiguresWithGapsAndPartlySampledBars) {
    usage.ShowUsage();
    EXPECT_EQ(usage.windowTitle(), "Office - Usage");
    EXPECT_EQ(usage.Figures[0][0]->text(), "1.50 GB");
    EXPECT_EQ(usage.Figures[0][2]->text(), "1.75 GB");
    EXPECT_EQ(usage.Missed[0]->text(), "0h 02m (0.6 %)");
    // A day before the first recording is not a day without traffic.
    EXPECT_EQ(usage.Figures[1][0]->text(), "not recorded");
    EXPECT_EQ(usage.Figures[3][0]->text(), "131 GB");
    ASSERT_EQ(usage.Table->rowCount(), 2);
    EXPECT_EQ(usage.Table->item(0, 3)->text(), "3.00 GB");
    EXPECT_EQ(usage.Table->item(1, 1)->text(), "not recorded");
    EXPECT_TRUE(usage.HoursChart->BarHint(0).endsWith(
        QStringLiteral("Download 1.00 GB, upload 500 MB, both 1.50 GB\nMissed none")))
        << usage.HoursChart->BarHint(0).toStdString();
    EXPECT_EQ(usage.QuotaLine->text(), "Quota: 45.0 GB of 50 GB this period (90 %)");
    EXPECT_TRUE(usage.UnitNote->text().contains(QStringLiteral("1 GB = 10\u2079 octets")));

    TUsageChart& chart = *usage.HoursChart;
    const QImage image = chart.grab().toImage();
    const QRect plot = chart.PlotRect();
    const QColor yellow(255, 255, 0), lightYellow(255, 255, 127), red(255, 0, 0), lightRed(255, 127, 127);
    const auto at = [&](const UsageBar& bar, int top, int height) {
        return image.pixelColor(plot.left() + bar.Left + bar.Width / 2, plot.top() + top + height / 2);
    };
    const std::vector<UsageBar>& bars = chart.Layout().Bars;
    ASSERT_EQ(bars.size(), 4u);
    EXPECT_EQ(at(bars[0], bars[0].DownloadTop, bars[0].DownloadHeight), yellow);
    EXPECT_EQ(at(bars[0], bars[0].UploadTop, bars[0].UploadHeight), red);
    EXPECT_EQ(at(bars[2], bars[2].DownloadTop, bars[2].DownloadHeight), lightYellow);
    EXPECT_EQ(at(bars[3], bars[3].UploadTop, bars[3].UploadHeight), red);
    // The gap is hatched, with neither colour anywhere in its column.
    int hatched = 0;
    for (int y = plot.top(); y <= plot.bottom(); ++y) {
        for (int x = plot.left() + bars[1].Left; x < plot.left() + bars[1].Left + bars[1].Width; ++x) {
            const QColor pixel = image.pixelColor(x, y);
            EXPECT_TRUE(pixel != yellow && pixel != red && pixel != lightYellow && pixel != lightRed);
            hatched += pixel != QColor(255, 255, 255) ? 1 : 0;
        }
    }
    EXPECT_GT(hatched, 0);
}

TEST_F(UsageWindowTest, AsksItsSourceAtShowingAndAtMostEveryFewSecondsWhileShown) {
    const PollSample sample;
    usage.OnSample(sample); // hidden: nothing
    EXPECT_EQ(asked, 0);
    usage.ShowUsage();
    EXPECT_EQ(asked, 1);
    usage.OnSample(sample); // just asked
    EXPECT_EQ(asked, 1);

    // Figures that cannot be had are said, not drawn.
    for (const char* why : {"No usage history yet for this interface.", "throw"}) {
        answer.Unavailable = why;
        usage.Refresh();
        EXPECT_FALSE(usage.Unavailable->isHidden());
        EXPECT_EQ(usage.Unavailable->text().toStdString(),
                  std::string(why) == "throw" ? "The usage history cannot be read: disk I/O error" : why);
        EXPECT_EQ(usage.Figures[0][0]->text(), QStringLiteral("\u2013"));
        EXPECT_TRUE(usage.QuotaLine->isHidden());
        EXPECT_TRUE(usage.HoursChart->Layout().Bars.empty());
    }
    usage.hide();
    usage.OnSample(sample);
    EXPECT_EQ(asked, 3);
}

} // namespace
} // namespace veltrum
