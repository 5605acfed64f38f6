#include "app/core/PollCycle.h"

#include "core/RecordingView.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace veltrum {
namespace {

using test::RecordingView;

constexpr uint32_t kOctetsPerUnit = 1265;

class RunPollCycle : public testing::Test {
protected:
    RunPollCycle() {
        // What the start-up load leaves for the default profile.
        State.HistoryLength = 120;
        State.InterfaceNumber = 1;
        State.DownloadScale = 1024;
        State.UploadScale = 1024;
        State.DownloadColor = kYellow;
        State.UploadColor = kRed;
        State.ShowAverages = true;
        State.AutoScale = true;
        State.TimeoutMs = 100;
    }

    // One poll whose reply carries these agent counters (unsigned, as the agent holds them).
    void Poll(uint32_t inOctets, uint32_t outOctets, uint32_t inPkts, uint32_t outPkts) {
        m_counters = {inOctets, outOctets, inPkts, outPkts};
        // The client turns a counter into the signed decimal of its 32 bits.
        ApplyPollReadings(
            State,
            {std::to_string(static_cast<int32_t>(inOctets)), std::to_string(static_cast<int32_t>(outOctets)),
             std::to_string(static_cast<int32_t>(inPkts)), std::to_string(static_cast<int32_t>(outPkts))},
            View, English);
    }

    // One poll after `intervals` intervals at these rates (rate units and packets per interval).
    void PollAtRates(int32_t downRate, int32_t upRate, int32_t downPkts, int32_t upPkts,
                     uint32_t intervals = 1) {
        Poll(m_counters[0] + static_cast<uint32_t>(downRate) * kOctetsPerUnit * intervals,
             m_counters[1] + static_cast<uint32_t>(upRate) * kOctetsPerUnit * intervals,
             m_counters[2] + static_cast<uint32_t>(downPkts) * intervals,
             m_counters[3] + static_cast<uint32_t>(upPkts) * intervals);
    }

    // The first poll after a restart, which only records the readings.
    void Prime(uint32_t inOctets = 0, uint32_t outOctets = 0, uint32_t inPkts = 0, uint32_t outPkts = 0) {
        Poll(inOctets, outOctets, inPkts, outPkts);
    }

    MonitorState State;
    RecordingView View;
    const NumberLocale English{".", ","};

private:
    std::array<uint32_t, 4> m_counters{};
};

TEST_F(RunPollCycle, FirstPollOnlyPrimes) {
    Prime(1000000, 2000000, 300, 400);
    EXPECT_EQ(State.PollCount, 1);
    EXPECT_EQ(State.PacketPollCount, 1);
    EXPECT_EQ(State.InOctetsNow, 1000000);
    EXPECT_EQ(State.OutPktsNow, 400);
    EXPECT_EQ(View.ShowRatesCount, 0);
    EXPECT_EQ(View.BandwidthRefreshes, 0);
    EXPECT_EQ(View.PacketsRefreshes, 0);
    EXPECT_EQ(State.DownHistory[1], 0);
    EXPECT_EQ(State.DownTotal, 0u);
}

TEST_F(RunPollCycle, OneMegabitPerSecond) {
    Prime(1000000, 0, 0, 0);
    Poll(2265000, 0, 0, 0);
    EXPECT_EQ(State.InOctetsPrev, 1000000);
    EXPECT_EQ(State.InOctetsNow, 2265000);
    EXPECT_EQ(State.DownRate, 1000);
    EXPECT_EQ(View.Label3, "9.8M");
    EXPECT_EQ(View.Label4, "0.0M");
    EXPECT_EQ(View.DownProgress, 1024); // gauge value 10,000: the full bar
    EXPECT_EQ(State.DownHistory[1], 10000);
    EXPECT_EQ(State.DownTotal, 1250u);
    EXPECT_EQ(State.DownAvg, 10000);
    EXPECT_EQ(State.DownAvgLine[1], 10000);
    EXPECT_EQ(State.DownAvgLine[120], 10000);
    EXPECT_EQ(State.DownAvgLine[121], 0);

    ASSERT_TRUE(View.Bandwidth.has_value());
    EXPECT_EQ(View.Bandwidth->TitleLine1, "Veltrum     2024-05-06 07:08:09");
    EXPECT_EQ(View.Bandwidth->TitleLine2, "                     Total:  1.2 MB / 0.0 MB (0d 0h 0m 1s)");
    EXPECT_EQ(View.Bandwidth->Label1, "9.8 Mbps");
    EXPECT_EQ(View.Bandwidth->Label2, "0.0 Mbps");
    EXPECT_EQ(View.Bandwidth->Label6, "9.8 Mbps");
    EXPECT_EQ(View.Bandwidth->Label8, "0.0 Mbps");
}

TEST_F(RunPollCycle, GaugeShowsSmallTrafficAsSevenPercent) {
    // 2% of 1024 is 20.48 and 7% is 71.68.
    const struct {
        int32_t Rate;
        int32_t Progress;
    } rows[] = {{0, 0}, {2, 20}, {3, 71}, {7, 71}, {8, 80}, {102, 1020}, {103, 1024}};
    Prime();
    for (const auto& row : rows) {
        PollAtRates(row.Rate, row.Rate, 0, 0);
        EXPECT_EQ(View.DownProgress, row.Progress) << row.Rate;
        EXPECT_EQ(View.UpProgress, row.Progress) << row.Rate;
    }
}

TEST_F(RunPollCycle, DownloadRateChoosesGigabitsForBothLabels) {
    Prime();
    PollAtRates(102399, 10, 0, 0);
    EXPECT_EQ(View.Label3, "1,000.0M");
    EXPECT_EQ(View.Label4, "0.1M");
    PollAtRates(102400, 10, 0, 0);
    EXPECT_EQ(View.Label3, "1.0G");
    EXPECT_EQ(View.Label4, "0.0G");
    PollAtRates(10, 204800, 0, 0);
    EXPECT_EQ(View.Label3, "0.1M");
    EXPECT_EQ(View.Label4, "2,000.0M");
}

TEST_F(RunPollCycle, MissedPollsDivideTheDifference) {
    Prime();
    State.MissedPolls = 2; // two polls failed since the last reading
    PollAtRates(1000, 200, 50, 30, 3);
    EXPECT_EQ(State.MissedPolls, 0);
    EXPECT_EQ(State.DownRate, 1000);
    EXPECT_EQ(State.UpRate, 200);
    EXPECT_EQ(State.DownPktRate, 50);
    EXPECT_EQ(State.UpPktRate, 30);
    // The totals take all three intervals.
    EXPECT_EQ(State.DownTotal, 3750u);
    EXPECT_EQ(State.UpTotal, 750u);
}

TEST_F(RunPollCycle, FixedAxisClipsSamplesAboveBothScales) {
    State.AutoScale = false;
    State.DownloadScale = 1024;
    State.UploadScale = 512;
    Prime();
    PollAtRates(200, 80, 0, 0); // 2000 and 800
    EXPECT_EQ(State.DownHistory[1], 1018);
    EXPECT_EQ(State.UpHistory[1], 800); // above the upload scale only
    // The average was taken before the clip; the next sum sees the clipped value.
    EXPECT_EQ(State.DownAvg, 2000);
    PollAtRates(0, 0, 0, 0);
    EXPECT_EQ(State.DownSum, 1018);
    EXPECT_EQ(State.DownAvg, 509);

    State.UploadScale = 2048;
    PollAtRates(300, 300, 0, 0); // 3000 and 3000
    EXPECT_EQ(State.DownHistory[1], 2037);
    EXPECT_EQ(State.UpHistory[1], 2037);
}

TEST_F(RunPollCycle, AutoScaleKeepsSamples) {
    State.DownloadScale = 1024;
    State.UploadScale = 512;
    Prime();
    PollAtRates(200, 80, 0, 0);
    EXPECT_EQ(State.DownHistory[1], 2000);
}

TEST_F(RunPollCycle, TotalsSwitchToGigabytes) {
    Prime();
    State.DownTotal = 1023999;
    State.UpTotal = 1024000;
    PollAtRates(0, 0, 0, 0);
    EXPECT_EQ(State.DownTotalText, "1,000.0 MB");
    EXPECT_EQ(State.UpTotalText, "1.00 GB");
    EXPECT_EQ(State.TotalsText, "1,000.0 MB / 1.00 GB (0d 0h 0m 1s)");
}

TEST_F(RunPollCycle, ElapsedTimeCountsSuccessfulPolls) {
    Prime();
    State.PollCount = 3724;
    PollAtRates(0, 0, 0, 0);
    EXPECT_EQ(State.PollCount, 3725);
    EXPECT_EQ(State.TotalsText, "0.0 MB / 0.0 MB (0d 1h 2m 4s)");
}

TEST_F(RunPollCycle, CounterAboveTwoToTheThirtyOne) {
    // The agent holds 2,148,967,296 and 2,150,232,296; they arrive as
    // -2,146,000,000 and -2,144,735,000.
    Prime(2148967296u, 0, 0, 0);
    EXPECT_EQ(State.InOctetsNow, -2146000000);
    Poll(2150232296u, 0, 0, 0);
    EXPECT_EQ(State.InOctetsNow, -2144735000);
    EXPECT_EQ(State.DownRate, 1000);
}

TEST_F(RunPollCycle, CounterCrossingTwoToTheThirtyOne) {
    Prime(2147000000u, 0, 2147483000u, 0);
    Poll(2148265000u, 0, 2147484000u, 0);
    EXPECT_EQ(State.DownRate, 1000);
    EXPECT_EQ(State.DownPktRate, 1000);
    EXPECT_EQ(View.Label3, "9.8M");
}

TEST_F(RunPollCycle, CounterWrappingPastTwoToTheThirtyTwo) {
    Prime(4294000000u, 4294967000u, 4294967000u, 4294967295u);
    Poll(297704u, 1265000u - 296u, 704u, 999u); // each 1,265,000 octets / 1000 packets later
    EXPECT_EQ(State.DownRate, 1000);
    EXPECT_EQ(State.UpRate, 1000);
    EXPECT_EQ(State.DownPktRate, 1000);
    EXPECT_EQ(State.UpPktRate, 1000);
    EXPECT_EQ(State.InOctetsNow, 297704);
    EXPECT_EQ(State.InOctetsPrev, static_cast<int32_t>(4294000000u));
}

TEST_F(RunPollCycle, AveragesOverFilledSlotsThenWholeHistory) {
    State.HistoryLength = 4;
    Prime();
    const int32_t rates[] = {10, 20, 30, 40, 50, 60};
    // The fourth poll has filled three slots and divides by three, not four.
    const int32_t averages[] = {100, 150, 200, 250, 350, 450};
    for (size_t i = 0; i < std::size(rates); ++i) {
        PollAtRates(rates[i], 0, rates[i], 0);
        EXPECT_EQ(State.DownAvg, averages[i]) << i;
        EXPECT_EQ(State.DownPktAvg, averages[i] / 10) << i;
    }
    EXPECT_EQ(State.DownHistory[1], 600);
    EXPECT_EQ(State.DownHistory[4], 300);
    EXPECT_EQ(State.DownHistory[5], 0); // beyond the used slots
    EXPECT_EQ(State.DownAvgLine[4], 450);
    EXPECT_EQ(State.DownAvgLine[5], 0);
}

TEST_F(RunPollCycle, PacketsGraphTextsAndPeak) {
    Prime();
    PollAtRates(0, 0, 1234, 100); // PacketPollCount 2: the peak waits
    ASSERT_TRUE(View.Packets.has_value());
    EXPECT_EQ(View.Packets->TitleLine1, "Veltrum     2024-05-06 07:08:09");
    EXPECT_EQ(View.Packets->TitleLine2, "                     Total I/O:  1,334 p/s  (max: 0) p/s");
    EXPECT_EQ(View.Packets->Label6, "1,234 p/s");
    EXPECT_EQ(View.Packets->Label8, "100 p/s");
    EXPECT_EQ(View.Packets->Label1, "1,234 p/s");
    EXPECT_EQ(View.Packets->Label2, "100 p/s");
    PollAtRates(0, 0, 500, 500);
    EXPECT_EQ(State.PeakPktRate, 0);
    PollAtRates(0, 0, 600, 500); // PacketPollCount 4
    EXPECT_EQ(State.PeakPktRate, 1100);
    PollAtRates(0, 0, 10, 10);
    EXPECT_EQ(State.PeakPktRate, 1100);
    EXPECT_EQ(View.Packets->TitleLine2, "                     Total I/O:  20 p/s  (max: 1,100) p/s");
}

TEST_F(RunPollCycle, PacketsSideResetPrimesOnlyThatSide) {
    Prime();
    PollAtRates(10, 10, 10, 10);
    State.PacketPollCount = 0; // the packets graph's reset button
    View.PacketsRefreshes = 0;
    PollAtRates(10, 10, 10, 10);
    EXPECT_EQ(View.PacketsRefreshes, 0);
    EXPECT_EQ(View.BandwidthRefreshes, 2);
    PollAtRates(10, 10, 10, 10);
    EXPECT_EQ(View.PacketsRefreshes, 1);
}

// Packet histories 0 (slot 2) then 500 (slot 1) with 100 in slot 3.
void SetUpJump(MonitorState& state) {
    state.PacketPollCount = 10;
    state.PollCount = 10;
    state.DownPktAvg = 50;
    state.UpPktAvg = 50;
    state.DownPktHistory[1] = 0;
    state.DownPktHistory[2] = 100;
    state.UpPktHistory[1] = 0;
    state.UpPktHistory[2] = 100;
}

TEST_F(RunPollCycle, ResynchronisationLengthensTenIntervals) {
    Prime();
    SetUpJump(State);
    State.ResyncTrace = true;
    PollAtRates(0, 0, 500, 500);
    EXPECT_TRUE(State.ResyncActive);
    EXPECT_EQ(State.PeakPktRate, 1000);

    std::vector<int32_t> intervals{View.Intervals.back()};
    for (int i = 0; i < 10; ++i) {
        View.Intervals.clear();
        // Done by the poll's start, before the exchange.
        State.ResyncStep += 1;
        PollAtRates(0, 0, 200, 200);
        intervals.push_back(View.Intervals.back());
    }
    const std::vector<int32_t> expected{1025, 1024, 1023, 1022, 1021, 1020, 1019, 1018, 1017, 1016, 1000};
    EXPECT_EQ(intervals, expected);
    EXPECT_FALSE(State.ResyncActive);
    EXPECT_EQ(View.Snapshots, 1);
    // Cleared at the end, then raised by the poll that ended it.
    EXPECT_EQ(State.PeakPktRate, 400);
    ASSERT_GE(View.ResyncMarks.size(), 2u);
    EXPECT_EQ(View.ResyncMarks[View.ResyncMarks.size() - 2], ">>");
    EXPECT_EQ(View.ResyncMarks.back(), ">");
}

TEST_F(RunPollCycle, ResynchronisationNeedsBothDirections) {
    Prime();
    SetUpJump(State);
    State.UpPktHistory[1] = 7; // upload did not stall
    PollAtRates(0, 0, 500, 500);
    EXPECT_FALSE(State.ResyncActive);
    EXPECT_TRUE(View.Intervals.empty());
}

TEST_F(RunPollCycle, ResynchronisationOnJumpThenStall) {
    Prime();
    SetUpJump(State);
    State.DownPktHistory[1] = 131; // 100 x 1.3 < 131, then a stalled reading
    State.UpPktHistory[1] = 131;
    PollAtRates(0, 0, 0, 0);
    EXPECT_TRUE(State.ResyncActive);
    EXPECT_EQ(View.Intervals, std::vector<int32_t>{1025});
}

TEST_F(RunPollCycle, ResynchronisationComparesStrictly) {
    Prime();
    SetUpJump(State);
    State.DownPktHistory[1] = 130; // exactly 30% above
    State.UpPktHistory[1] = 131;
    PollAtRates(0, 0, 0, 0);
    EXPECT_FALSE(State.ResyncActive);
}

TEST_F(RunPollCycle, ResynchronisationNeedsTraffic) {
    Prime();
    SetUpJump(State);
    State.DownPktAvg = 10;
    State.UpPktAvg = 10;
    PollAtRates(0, 0, 500, 500);
    EXPECT_FALSE(State.ResyncActive);
}

TEST_F(RunPollCycle, BadValueChangesNothing) {
    Prime(1000, 2000, 30, 40);
    for (const std::string bad : {"", "12x", "4294967296", " 5 "}) {
        EXPECT_THROW(ApplyPollReadings(State, {"5000", "6000", bad, "70"}, View, English),
                     std::invalid_argument)
            << bad;
        EXPECT_EQ(State.InOctetsNow, 1000);
        EXPECT_EQ(State.InOctetsPrev, 0);
        EXPECT_EQ(State.PollCount, 1);
    }
}

} // namespace
} // namespace veltrum
