#include "app/core/GraphReset.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace veltrum {
namespace {

// A state in the middle of a session: both sides counting, every array full.
MonitorState Running() {
    MonitorState s;
    s.HistoryLength = 120;
    s.PollCount = 40;
    s.PacketPollCount = 41;
    s.DownTotal = 1000;
    s.UpTotal = 2000;
    s.PeakPktRate = 77;
    int value = 1;
    for (History* h : {&s.DownHistory, &s.UpHistory, &s.DownAvgLine, &s.UpAvgLine, &s.DownPktHistory,
                       &s.UpPktHistory, &s.DownPktAvgLine, &s.UpPktAvgLine}) {
        h->fill(value++);
    }
    return s;
}

// Slots 1..120 zero; slot 0 and the unused slots as they were.
void ExpectCleared(const History& h, int32_t before) {
    EXPECT_EQ(h[0], before);
    for (int i = 1; i <= 120; ++i) {
        ASSERT_EQ(h[i], 0) << "slot " << i;
    }
    EXPECT_EQ(h[121], before);
    EXPECT_EQ(h[kHistorySlots], before);
}

TEST(ResetBandwidthSide, ClearsCountTotalsAndHistoriesAndLeavesThePacketSide) {
    MonitorState s = Running();
    ResetBandwidthSide(s);
    EXPECT_EQ(s.PollCount, 0);
    EXPECT_EQ(s.DownTotal, 0u);
    EXPECT_EQ(s.UpTotal, 0u);
    ExpectCleared(s.DownHistory, 1);
    ExpectCleared(s.UpHistory, 2);
    ExpectCleared(s.DownAvgLine, 3);
    ExpectCleared(s.UpAvgLine, 4);

    const MonitorState untouched = Running();
    EXPECT_EQ(s.PacketPollCount, untouched.PacketPollCount);
    EXPECT_EQ(s.PeakPktRate, untouched.PeakPktRate);
    EXPECT_EQ(s.DownPktHistory, untouched.DownPktHistory);
    EXPECT_EQ(s.UpPktHistory, untouched.UpPktHistory);
    EXPECT_EQ(s.DownPktAvgLine, untouched.DownPktAvgLine);
    EXPECT_EQ(s.UpPktAvgLine, untouched.UpPktAvgLine);
}

TEST(ResetPacketSide, ClearsCountPeakAndHistoriesAndLeavesTheBandwidthSide) {
    MonitorState s = Running();
    ResetPacketSide(s);
    EXPECT_EQ(s.PacketPollCount, 0);
    EXPECT_EQ(s.PeakPktRate, 0);
    ExpectCleared(s.DownPktHistory, 5);
    ExpectCleared(s.UpPktHistory, 6);
    ExpectCleared(s.DownPktAvgLine, 7);
    ExpectCleared(s.UpPktAvgLine, 8);

    const MonitorState untouched = Running();
    EXPECT_EQ(s.PollCount, untouched.PollCount);
    EXPECT_EQ(s.DownTotal, untouched.DownTotal);
    EXPECT_EQ(s.UpTotal, untouched.UpTotal);
    EXPECT_EQ(s.DownHistory, untouched.DownHistory);
    EXPECT_EQ(s.UpHistory, untouched.UpHistory);
    EXPECT_EQ(s.DownAvgLine, untouched.DownAvgLine);
    EXPECT_EQ(s.UpAvgLine, untouched.UpAvgLine);
}

// The length is a run-time value; one outside the arrays must neither write
// past them (the sanitizer build would stop here) nor clear slot 0.
TEST(GraphReset, LengthOutsideTheArraysIsHeldToThem) {
    for (const int32_t length : {-5, 0, kHistorySlots + 50}) {
        MonitorState s = Running();
        s.HistoryLength = length;
        ResetBandwidthSide(s);
        ResetPacketSide(s);
        const int32_t last = length > 0 ? kHistorySlots : 0;
        for (const History* h : {&s.DownHistory, &s.UpAvgLine, &s.DownPktHistory, &s.UpPktAvgLine}) {
            EXPECT_NE((*h)[0], 0) << length;
            EXPECT_EQ((*h)[kHistorySlots] == 0, last == kHistorySlots) << length;
        }
        EXPECT_EQ(s.PollCount, 0);
        EXPECT_EQ(s.PacketPollCount, 0);
    }
}

} // namespace
} // namespace veltrum
