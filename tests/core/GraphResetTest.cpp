#include "core/GraphReset.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <tuple>

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

using Arrays = std::array<History MonitorState::*, 4>;
const Arrays kBandwidthArrays{&MonitorState::DownHistory, &MonitorState::UpHistory,
                              &MonitorState::DownAvgLine, &MonitorState::UpAvgLine};
const Arrays kPacketArrays{&MonitorState::DownPktHistory, &MonitorState::UpPktHistory,
                           &MonitorState::DownPktAvgLine, &MonitorState::UpPktAvgLine};

// Each side's Reset zeroes slots 1..HistoryLength of its own four arrays,
// leaving slot 0 and the unused slots, and nothing of the other side.
TEST(GraphReset, EachSideClearsItsOwnArraysOnly) {
    const MonitorState before = Running();
    for (const auto& [reset, own, other] : {std::tuple{&ResetBandwidthSide, kBandwidthArrays, kPacketArrays},
                                            std::tuple{&ResetPacketSide, kPacketArrays, kBandwidthArrays}}) {
        MonitorState s = Running();
        reset(s);
        for (History MonitorState::*array : own) {
            const History& h = s.*array;
            EXPECT_EQ(h[0], (before.*array)[0]);
            for (int i = 1; i <= 120; ++i) {
                ASSERT_EQ(h[i], 0) << "slot " << i;
            }
            EXPECT_EQ(h[121], (before.*array)[121]);
        }
        for (History MonitorState::*array : other) {
            EXPECT_EQ(s.*array, before.*array);
        }
    }
}

// PollCount, DownTotal, UpTotal | PacketPollCount, PeakPktRate.
TEST(GraphReset, EachSideStartsItsOwnCountsAgain) {
    const auto counts = [](const MonitorState& s) {
        return std::tuple{s.PollCount, s.DownTotal, s.UpTotal, s.PacketPollCount, s.PeakPktRate};
    };
    MonitorState bandwidth = Running();
    ResetBandwidthSide(bandwidth);
    EXPECT_EQ(counts(bandwidth), std::tuple(0, 0u, 0u, 41, 77));
    MonitorState packets = Running();
    ResetPacketSide(packets);
    EXPECT_EQ(counts(packets), std::tuple(40, 1000u, 2000u, 0, 0));
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
