#include "core/PollCycle.h"

#include "core/CounterReset.h"
#include "core/RecordingView.h"
#include "snmp/Ber.h"
#include "snmp/IdSNMP.h"
#include "support/ScriptedResponder.h"
#include "support/SnmpdAgent.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace veltrum {
namespace {

using test::RecordingView;
using test::ScriptedResponder;

constexpr uint32_t kOctetsPerUnit = 1265;

std::string hexOf(const std::string& octets) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (const char c : octets) {
        hex += kDigits[static_cast<uint8_t>(c) >> 4];
        hex += kDigits[static_cast<uint8_t>(c) & 0x0F];
    }
    return hex;
}
constexpr uint8_t kCounter32 = 0x41; // RFC 1155 section 3.2.3.3
constexpr uint8_t kGauge32 = 0x42;   // RFC 1155 section 3.2.3.4

// Every case runs the whole cycle: a GetRequest to an agent on the loopback
// that answers with exactly the counters the case needs.
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
        // What the start-up load and the monitor restart do to the client.
        Snmp.Host = m_agent.HostText();
        Snmp.SetCommunity("public");
        Snmp.QueryMessage.ResetMessage();
        Snmp.SetActive(true);
    }

    // The next reply: these value binds, or silence when empty.
    void Answer(std::vector<ScriptedResponder::VarBind> binds, int delayMs = 0) {
        const std::lock_guard lock(m_mutex);
        m_binds = std::move(binds);
        m_delayMs = delayMs;
    }

    void Cycle() { veltrum::RunPollCycle(State, Snmp, View, English); }

    // One poll whose reply carries these agent counters.
    void Poll(uint32_t inOctets, uint32_t outOctets, uint32_t inPkts, uint32_t outPkts) {
        m_counters = {inOctets, outOctets, inPkts, outPkts};
        std::vector<ScriptedResponder::VarBind> binds;
        for (const uint32_t counter : m_counters) {
            binds.push_back({"", kCounter32, std::to_string(counter)});
        }
        Answer(std::move(binds));
        Cycle();
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

    std::optional<ScriptedResponder::Request> LastRequest() {
        const std::lock_guard lock(m_mutex);
        return m_lastRequest;
    }

    // ifSpeed as the agent reports it; without one it answers noSuchName.
    void AnswerSpeed(std::optional<uint32_t> speed) {
        const std::lock_guard lock(m_mutex);
        m_speed = speed;
    }

    std::vector<ScriptedResponder::Request> SpeedRequests() {
        const std::lock_guard lock(m_mutex);
        return m_speedRequests;
    }

    int RequestCount() const { return m_agent.RequestCount(); }

    MonitorState State;
    RecordingView View;
    const NumberLocale English{".", ","};

private:
    std::optional<ScriptedResponder::Reply> Respond(const ScriptedResponder::Request& request) {
        const std::lock_guard lock(m_mutex);
        if (request.Oids.size() == 1 && request.Oids[0].starts_with("1.3.6.1.2.1.2.2.1.5.")) {
            m_speedRequests.push_back(request);
            if (!m_speed.has_value()) {
                return ScriptedResponder::Respond(request, {{"", 0x05, ""}}, 2); // noSuchName
            }
            return ScriptedResponder::Respond(request, {{"", kGauge32, std::to_string(*m_speed)}});
        }
        m_lastRequest = request;
        if (m_binds.empty()) {
            return std::nullopt;
        }
        auto binds = m_binds;
        for (size_t i = 0; i < binds.size() && i < request.Oids.size(); ++i) {
            if (binds[i].Oid.empty()) {
                binds[i].Oid = request.Oids[i];
            }
        }
        auto reply = ScriptedResponder::Respond(request, binds);
        reply.DelayMs = m_delayMs;
        return reply;
    }

    std::mutex m_mutex;
    std::vector<ScriptedResponder::VarBind> m_binds;
    int m_delayMs = 0;
    std::optional<ScriptedResponder::Request> m_lastRequest;
    std::optional<uint32_t> m_speed;
    std::vector<ScriptedResponder::Request> m_speedRequests;
    std::array<uint32_t, 4> m_counters{};
    ScriptedResponder m_agent{[this](const ScriptedResponder::Request& request) { return Respond(request); }};

protected:
    TIdSNMP Snmp;
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
    } rows[] = {{2, 20}, {0, 0}, {3, 71}, {7, 71}, {8, 80}, {102, 1020}, {103, 1024}};
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
    Answer({}); // the agent keeps silent twice
    Cycle();
    Cycle();
    EXPECT_EQ(State.MissedPolls, 2);
    EXPECT_EQ(View.Label3, "Err");
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

TEST_F(RunPollCycle, AgentRestartPrimesAgainInsteadOfDrawingASpike) {
    // Without the interface's speed a wrap is a difference below 2^31; with
    // it, no more than the interface carries. Each agent restarts once.
    const struct {
        std::optional<uint32_t> Speed;
        uint32_t Before; // octet counters before the restart
    } agents[] = {{std::nullopt, 500'000'000u}, {100'000'000u, 4'000'000'000u}};
    const MonitorState restarted = State;
    for (const auto& agent : agents) {
        AnswerSpeed(agent.Speed);
        State = restarted;
        Prime(agent.Before, agent.Before, 7'000'000, 6'000'000);
        EXPECT_EQ(State.InterfaceSpeed, agent.Speed.value_or(0));
        PollAtRates(1000, 200, 50, 30);
        PollAtRates(1000, 200, 50, 30);
        const MonitorState before = State;
        const int shown = View.ShowRatesCount;
        const int refreshes = View.BandwidthRefreshes + View.PacketsRefreshes;

        // The agent is away for two polls and comes back counting from zero.
        Answer({});
        Cycle();
        Cycle();
        Poll(5000, 3000, 20, 10);
        EXPECT_EQ(State.DownRate, 0);
        EXPECT_EQ(State.UpPktRate, 0);
        EXPECT_EQ(View.ShowRatesCount, shown);
        EXPECT_EQ(View.BandwidthRefreshes + View.PacketsRefreshes, refreshes);
        EXPECT_EQ(View.Label3, "Err"); // as after a restart, until the next difference
        EXPECT_EQ(State.DownTotal, before.DownTotal);
        EXPECT_EQ(State.UpTotal, before.UpTotal);
        EXPECT_EQ(State.DownHistory, before.DownHistory);
        EXPECT_EQ(State.UpPktHistory, before.UpPktHistory);
        EXPECT_EQ(State.DownAvg, before.DownAvg);
        EXPECT_EQ(State.PeakPktRate, before.PeakPktRate);
        EXPECT_EQ(State.PollCount, before.PollCount);
        EXPECT_EQ(State.MissedPolls, 0);
        EXPECT_EQ(State.InOctetsNow, 5000);

        // The next reading is one interval from the new start.
        PollAtRates(500, 100, 40, 20);
        EXPECT_EQ(State.DownRate, 500);
        EXPECT_EQ(State.UpPktRate, 20);
        EXPECT_EQ(State.DownHistory[1], 5000);
        EXPECT_EQ(State.DownHistory[2], 10000);
        EXPECT_EQ(State.DownAvg, (10000 + 10000 + 5000) / 3);
        EXPECT_EQ(State.DownTotal, before.DownTotal + 625);
        EXPECT_EQ(View.Label3, "4.9M");
    }
}

// A reading that rises further than the line carries (a counter read as 0
// once, then back), or packets ahead of the octets of their direction (an
// agent's packet counter back from 0 after its restart), is a new baseline:
// the bars never show the glitch.
TEST_F(RunPollCycle, GlitchesAreANewBaselineNotTraffic) {
    using Reading = std::array<uint32_t, 4>;
    const struct {
        const char* Name;
        std::vector<Reading> Readings; // one a second after the priming first
    } rows[] = {
        {"octets in read 0 once",
         {{3'000'000'000u, 0, 5000, 0},
          {3'001'265'000u, 0, 6000, 0},
          {0, 0, 6000, 0},
          {3'002'530'000u, 0, 7000, 0},
          {3'003'795'000u, 0, 8000, 0}}},
        {"packets in back from 0",
         {{3'000'000u, 0, 5'000'000u, 0},
          {4'265'000u, 0, 5'001'000u, 0},
          {5'530'000u, 0, 0, 0},
          {6'795'000u, 0, 5'003'000u, 0},
          {8'060'000u, 0, 5'004'000u, 0}}},
    };
    const MonitorState fresh = State;
    for (const auto& row : rows) {
        State = fresh;
        Prime(row.Readings[0][0], row.Readings[0][1], row.Readings[0][2], row.Readings[0][3]);
        int32_t most = 0;
        int32_t mostPackets = 0;
        for (size_t i = 1; i < row.Readings.size(); ++i) {
            Poll(row.Readings[i][0], row.Readings[i][1], row.Readings[i][2], row.Readings[i][3]);
            most = std::max(most, State.DownRate);
            mostPackets = std::max(mostPackets, State.DownPktRate);
        }
        EXPECT_LE(most, 1000) << row.Name;
        EXPECT_LE(mostPackets, 1000) << row.Name;
        EXPECT_EQ(State.DownRate, 1000) << row.Name << ": counting again";
    }
}

TEST_F(RunPollCycle, WrapAtAPlausibleRateStaysAWrapWithTheSpeedKnown) {
    AnswerSpeed(100'000'000u); // 12.5 MB/s
    Prime(4'294'000'000u, 4'294'967'000u, 4'294'967'000u, 4'294'967'295u);
    ASSERT_EQ(State.InterfaceSpeed, 100'000'000u);
    Poll(297'704u, 1'265'000u - 296u, 704u, 999u); // each 1,265,000 octets / 1000 packets later
    EXPECT_EQ(State.DownRate, 1000);
    EXPECT_EQ(State.UpRate, 1000);
    EXPECT_EQ(State.DownPktRate, 1000);
    EXPECT_EQ(State.UpPktRate, 1000);
    // Near the top again (a rise of 4 GB in one interval would be refused as
    // more than the line carries, so it is set); then, after two missed
    // polls, 35 MB past it: a wrap over three intervals.
    State.InOctetsNow = static_cast<int32_t>(4'290'000'000u);
    Answer({});
    Cycle();
    Cycle();
    Poll(30'000'000u, 1'265'000u - 296u, 704u, 999u);
    EXPECT_EQ(State.PollCount, 3);
    EXPECT_EQ(State.DownRate, 9214); // 34,967,296 octets / 1265 / 3
}

TEST_F(RunPollCycle, ReadsTheInterfaceSpeedOnceAfterTheFirstReading) {
    State.InterfaceNumber = 7;
    Prime(); // the agent has no ifSpeed: unknown
    EXPECT_EQ(State.InterfaceSpeed, 0u);
    ASSERT_EQ(SpeedRequests().size(), 1u);
    EXPECT_EQ(SpeedRequests()[0].Oids, std::vector<std::string>{"1.3.6.1.2.1.2.2.1.5.7"});
    EXPECT_EQ(SpeedRequests()[0].Community, "public");

    // The next restart reads it again; 2^32 - 1 arrives as -1.
    AnswerSpeed(4'294'967'295u);
    PollAtRates(1, 1, 1, 1);
    EXPECT_EQ(SpeedRequests().size(), 1u);
    State.PollCount = 0;
    PollAtRates(1, 1, 1, 1);
    EXPECT_EQ(SpeedRequests().size(), 2u);
    EXPECT_EQ(State.InterfaceSpeed, 4'294'967'295u);

    // Not after a failed poll: a silent agent costs one wait, not two.
    State.PollCount = 0;
    Answer({});
    Cycle();
    EXPECT_EQ(SpeedRequests().size(), 2u);
}

TEST(ReadInterfaceSpeed, SilentAgentIsUnknownAndLeavesAFreshSocket) {
    ScriptedResponder silent([](const ScriptedResponder::Request&) { return std::nullopt; });
    TIdSNMP snmp;
    snmp.Host = silent.HostText();
    snmp.SetActive(true);
    EXPECT_EQ(ReadInterfaceSpeed(snmp, 1, 100), 0u);
    EXPECT_EQ(silent.RequestCount(), 1);
    EXPECT_EQ(snmp.SocketHandle().Port, 0); // a late reply cannot pass for the next poll's
}

TEST(IsCounterReset, DifferenceBeyondWhatTheInterfaceCarries) {
    constexpr uint64_t kTop = 4'294'967'296ull;
    constexpr uint64_t kTop64 = ~0ull - 9; // 2^64 - 10
    // The bound is the larger of the reported speed and the default maximum
    // (1 Gbit/s), over the intervals plus two seconds: 375 MB in one.
    const struct {
        uint64_t Prev, Now;
        unsigned Width;
        uint64_t Speed, Intervals;
        bool Reset;
    } rows[] = {
        {100, 200, 32, 0, 1, false},                                 // an increase
        {kTop - 1000, 1000, 32, 0, 1, false},                        // unknown speed: a small wrap
        {kTop / 2, 0, 32, 0, 1, true},                               // 2^31 is not one
        {kTop / 2 + 1, 0, 32, 0, 1, true},                           // nor 2^31 - 1: whatever the speed
        {500'000'000, 1000, 32, 0, 1, true},                         // a restart
        {kTop - 10'000'000, 15'000'001, 32, 100'000'000, 1, false},  // a speed reported too low
        {kTop - 1000, 1000, 32, 1, 1, false},                        // 1 bit/s refuses nothing
        {kTop64, 3'749'999'990ull, 64, 10'000'000'000ull, 1, false}, // 3.75 GB at 10 Gbit/s
        {kTop64, 3'749'999'991ull, 64, 10'000'000'000ull, 1, true},
        {kTop64, 3'749'999'991ull, 64, 10'000'000'000ull, 2, false}, // two intervals
        {~0ull - 10, 5, 64, 0, 1, false},                            // a 64-bit counter's wrap
        {1'000'000'000'000ull, 5, 64, 0, 1, true},
        {1'000'000'000'000ull, 5, 64, ~0ull, ~0ull, false}, // no overflow in the bound
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsCounterReset(row.Prev, row.Now, row.Width, row.Speed, row.Intervals), row.Reset)
            << row.Prev << " -> " << row.Now << " width " << row.Width << " speed " << row.Speed << " x"
            << row.Intervals;
    }
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

    View.Intervals.clear();
    PollAtRates(0, 0, 200, 200);
    EXPECT_EQ(State.ResyncStep, 0);
    EXPECT_EQ(View.ResyncMarks.back(), "");
    EXPECT_TRUE(View.Intervals.empty());
}

TEST_F(RunPollCycle, FailingSnapshotFailsThePollAndKeepsThePeak) {
    Prime();
    SetUpJump(State);
    State.ResyncTrace = true;
    View.ThrowOnSnapshot = true;
    PollAtRates(0, 0, 500, 500);
    for (int i = 0; i < 9; ++i) {
        PollAtRates(0, 0, 200, 200);
    }
    EXPECT_EQ(View.Failures, 0);
    PollAtRates(0, 0, 200, 200); // the tenth: the snapshot throws
    EXPECT_EQ(View.Snapshots, 1);
    EXPECT_EQ(View.Failures, 1);
    EXPECT_EQ(State.MissedPolls, 1);
    EXPECT_FALSE(State.ResyncActive);
    EXPECT_EQ(View.Intervals.back(), 1000);
    EXPECT_EQ(State.PeakPktRate, 1000);
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

TEST_F(RunPollCycle, RequestsTheFourCountersOfTheInterface) {
    State.InterfaceNumber = 7;
    Prime();
    const auto request = LastRequest();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->Community, "public");
    EXPECT_EQ(request->PduTag, 0xA0);
    const std::vector<std::string> oids{"1.3.6.1.2.1.2.2.1.10.7", "1.3.6.1.2.1.2.2.1.16.7",
                                        "1.3.6.1.2.1.2.2.1.11.7", "1.3.6.1.2.1.2.2.1.17.7"};
    EXPECT_EQ(request->Oids, oids);
    EXPECT_EQ(View.DownMax, 1024);
    EXPECT_EQ(View.UpMax, 1024);
}

// A profile without the version setting asks exactly what SNMPv1 always
// asked, octet for octet.
TEST_F(RunPollCycle, VersionOneRequestIsTheSameOnTheWire) {
    State.InterfaceNumber = 7;
    Prime();
    const auto request = LastRequest();
    ASSERT_TRUE(request.has_value());
    // The request-id (its one octet at 17) is the exchange's own.
    std::string raw = request->Raw;
    ASSERT_GT(raw.size(), 17u);
    EXPECT_GT(raw[17], 0);
    raw[17] = 0;
    EXPECT_EQ(hexOf(raw), "305802010004067075626C6963A04B020100020100020100304030"
                          "0E060A2B060102010202010A070400300E060A2B0601020102020110070400"
                          "300E060A2B060102010202010B070400300E060A2B0601020102020111070400");
}

TEST_F(RunPollCycle, CallsTheViewInOrder) {
    Prime();
    View.Calls.clear();
    PollAtRates(10, 10, 10, 10);
    const std::vector<std::string> expected{"SetResyncMark", "SetGaugeMaxima", "ShowRates",
                                            "RefreshBandwidthGraph", "RefreshPacketsGraph"};
    EXPECT_EQ(View.Calls, expected);
    EXPECT_EQ(View.ResyncMarks.back(), "");
}

TEST_F(RunPollCycle, SilentAgentTakesTheFailurePath) {
    Prime(5000, 6000, 70, 80);
    PollAtRates(10, 10, 10, 10);
    ASSERT_NE(Snmp.SocketHandle().Port, 0);
    Answer({});
    const auto started = std::chrono::steady_clock::now();
    Cycle();
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(90));
    EXPECT_EQ(View.Failures, 1);
    EXPECT_EQ(View.Label3, "Err");
    EXPECT_EQ(View.Label4, "Err");
    EXPECT_EQ(State.MissedPolls, 1);
    EXPECT_EQ(State.PollCount, 2);
    EXPECT_EQ(State.DownHistory[1], 100);
    // A fresh socket, not yet used for a send.
    EXPECT_EQ(Snmp.SocketHandle().Port, 0);
}

TEST_F(RunPollCycle, NegativeTimeOutFromAHandEditedProfileWaitsTheDefault) {
    // -2 would mean "no limit" to the socket layer and freeze the window.
    State.TimeoutMs = -2;
    Answer({});
    const auto started = std::chrono::steady_clock::now();
    Cycle();
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(Snmp.ReceiveTimeout, kDefaultTimeoutMs);
    EXPECT_GE(waited, std::chrono::milliseconds(kDefaultTimeoutMs - 10));
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_EQ(View.Failures, 1);
}

TEST_F(RunPollCycle, LateReplyIsNotTakenForTheNextOne) {
    Prime();
    Answer(
        {{"", kCounter32, "99999999"}, {"", kCounter32, "0"}, {"", kCounter32, "0"}, {"", kCounter32, "0"}},
        250);
    Cycle();
    EXPECT_EQ(State.MissedPolls, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Poll(1265000, 0, 0, 0);
    EXPECT_EQ(State.InOctetsNow, 1265000);
    EXPECT_EQ(State.DownRate, 500); // one reading over two intervals
}

TEST_F(RunPollCycle, BadValueTakesTheFailurePath) {
    Prime(1000, 2000, 30, 40);
    const std::vector<ScriptedResponder::VarBind> replies[] = {
        // An agent's error reply carries the empty values of the request.
        {{"", 0x04, ""}, {"", 0x04, ""}, {"", 0x04, ""}, {"", 0x04, ""}},
        {{"", kCounter32, "5000"}, {"", kCounter32, "6000"}, {"", 0x04, "12x"}, {"", kCounter32, "70"}},
        // A reply with fewer values than asked for.
        {{"", kCounter32, "5000"}, {"", kCounter32, "6000"}, {"", kCounter32, "70"}},
    };
    int failures = 0;
    for (const auto& binds : replies) {
        Answer(binds);
        Cycle();
        ++failures;
        EXPECT_EQ(View.Failures, failures);
        EXPECT_EQ(View.Label3, "Err");
        EXPECT_EQ(State.MissedPolls, failures);
        // No reading moved on.
        EXPECT_EQ(State.InOctetsNow, 1000);
        EXPECT_EQ(State.OutOctetsNow, 2000);
        EXPECT_EQ(State.PollCount, 1);
        EXPECT_EQ(Snmp.SocketHandle().Port, 0);
    }
    // The next success spans four intervals for every counter alike.
    Poll(1000 + 4 * 1265000, 2000 + 4 * 1265000, 30 + 400, 40 + 400);
    EXPECT_EQ(State.DownRate, 1000);
    EXPECT_EQ(State.UpRate, 1000);
    EXPECT_EQ(State.DownPktRate, 100);
    EXPECT_EQ(State.UpPktRate, 100);
}

TEST_F(RunPollCycle, NegativeScaleFailsBeforeTheRequest) {
    State.DownloadScale = -1;
    Poll(1, 2, 3, 4);
    EXPECT_EQ(RequestCount(), 0);
    EXPECT_EQ(View.Failures, 1);
    EXPECT_EQ(State.MissedPolls, 1);
    EXPECT_EQ(State.PollCount, 0);
}

TEST_F(RunPollCycle, FailingWindowDoesNotEscape) {
    View.ThrowOnFailure = true;
    Answer({});
    EXPECT_NO_THROW(Cycle());
    EXPECT_EQ(State.MissedPolls, 1);
    EXPECT_EQ(Snmp.SocketHandle().Port, 0);
    Poll(10, 10, 10, 10);
    EXPECT_EQ(State.PollCount, 1);
}

// An SNMPv2c agent that keeps the 64-bit counters of some interfaces only:
// it answers ifHC* of an interface in `without` with noSuchInstance, and
// every counter of the others from `counters` (Counter64 or Counter32).
class V2cAgent {
public:
    explicit V2cAgent(std::vector<std::string> without = {}) : m_without(std::move(without)) {}

    std::array<uint64_t, 4> Counters{};
    std::vector<ScriptedResponder::Request> Requests() {
        const std::lock_guard lock(m_mutex);
        return m_requests;
    }
    std::string Host() const { return m_agent.HostText(); }

private:
    std::optional<ScriptedResponder::Reply> respond(const ScriptedResponder::Request& request) {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        std::vector<ScriptedResponder::VarBind> binds;
        for (std::size_t i = 0; i < request.Oids.size() && i < 4; ++i) {
            const std::string& oid = request.Oids[i];
            const bool wide = oid.rfind("1.3.6.1.2.1.31.", 0) == 0;
            const std::string index = oid.substr(oid.rfind('.') + 1);
            if (wide && std::find(m_without.begin(), m_without.end(), index) != m_without.end()) {
                binds.push_back({oid, static_cast<uint8_t>(kTagNoSuchInstance), ""});
            } else if (wide) {
                binds.push_back({oid, static_cast<uint8_t>(kTagCounter64), EncodeUnsigned64(Counters[i])});
            } else {
                binds.push_back({oid, 0x41, std::to_string(static_cast<uint32_t>(Counters[i]))});
            }
        }
        return ScriptedResponder::Respond(request, binds);
    }

    std::mutex m_mutex;
    std::vector<std::string> m_without;
    std::vector<ScriptedResponder::Request> m_requests;
    ScriptedResponder m_agent{[this](const ScriptedResponder::Request& r) { return respond(r); }};
};

struct V2cPoll {
    explicit V2cPoll(V2cAgent& agent) : V2cPoll(agent.Host()) {}
    explicit V2cPoll(const std::string& host) {
        State.HistoryLength = 120;
        State.InterfaceNumber = 3;
        State.DownloadScale = 1024;
        State.UploadScale = 1024;
        State.AutoScale = true;
        State.TimeoutMs = 200;
        State.SnmpVersion = 1;
        Snmp.Host = host;
        Snmp.SetCommunity("public");
        Snmp.QueryMessage.ResetMessage();
        Snmp.SetActive(true);
    }
    void Cycle() { veltrum::RunPollCycle(State, Snmp, View, NumberLocale{".", ","}); }

    MonitorState State;
    RecordingView View;
    TIdSNMP Snmp;
};

// The poll's own requests, without the one ifSpeed request after the first
// reading, which must go out in the poll's version too.
template <class Request> std::vector<Request> counterRequests(const std::vector<Request>& all) {
    std::vector<Request> polls;
    for (const Request& request : all) {
        if (request.Oids.size() == 1 && request.Oids[0].starts_with("1.3.6.1.2.1.2.2.1.5.")) {
            EXPECT_EQ(static_cast<uint8_t>(request.Raw[4]), 1) << "ifSpeed asked in SNMPv1";
            continue;
        }
        polls.push_back(request);
    }
    return polls;
}

// SNMPv2c reads the four 64-bit counters, with version 1 and NULL values in
// the request, and takes their differences modulo 2^64: across the wrap too.
TEST(RunPollCycle64, ReadsTheSixtyFourBitCountersAcrossTheWrap) {
    V2cAgent agent;
    V2cPoll poll(agent);
    const uint64_t nearTop = UINT64_MAX - 500000;
    agent.Counters = {nearTop, 5000000000ULL, 4294967290ULL, 7};
    poll.Cycle();
    agent.Counters = {nearTop + 1265000, 5000000000ULL + 2530000, 4294967290ULL + 900, 7 + 40};
    poll.Cycle();
    EXPECT_EQ(poll.State.MissedPolls, 0);
    EXPECT_EQ(poll.State.DownRate, 1000);
    EXPECT_EQ(poll.State.UpRate, 2000);
    EXPECT_EQ(poll.State.DownPktRate, 900);
    EXPECT_EQ(poll.State.UpPktRate, 40);
    EXPECT_EQ(poll.View.Label3, "9.8M");
    EXPECT_FALSE(poll.State.Counters32Only);
    EXPECT_EQ(CounterWidthText(poll.State), "SNMPv2c, 64-bit counters");
    const auto requests = counterRequests(agent.Requests());
    ASSERT_EQ(requests.size(), 2u);
    const std::vector<std::string> oids{"1.3.6.1.2.1.31.1.1.1.6.3", "1.3.6.1.2.1.31.1.1.1.10.3",
                                        "1.3.6.1.2.1.31.1.1.1.7.3", "1.3.6.1.2.1.31.1.1.1.11.3"};
    EXPECT_EQ(requests[1].Oids, oids);
    EXPECT_EQ(hexOf(requests[1].Raw.substr(2, 3)), "020101");
    EXPECT_EQ(hexOf(requests[1].Raw.substr(requests[1].Raw.size() - 2)), "0500");
}

// Without the 64-bit counters the session reads the 32-bit ones from the
// same tick on, says so, and asks no more for the 64-bit ones; a new session
// (the start-up load clears the flag) tries them again.
TEST(RunPollCycle64, FallsBackToThirtyTwoBitsForTheSession) {
    V2cAgent agent({"3"});
    V2cPoll poll(agent);
    agent.Counters = {1000000, 2000000, 300, 400};
    poll.Cycle();
    EXPECT_TRUE(poll.State.Counters32Only);
    EXPECT_EQ(poll.State.PollCount, 1);
    EXPECT_EQ(poll.State.InOctetsNow, 1000000);
    EXPECT_EQ(CounterWidthText(poll.State),
              "SNMPv2c, 32-bit counters (the agent has no 64-bit counters for this interface)");
    agent.Counters = {1000000 + 1265000, 2000000, 300 + 10, 400};
    poll.Cycle();
    EXPECT_EQ(poll.State.DownRate, 1000);
    EXPECT_EQ(poll.State.DownPktRate, 10);
    ASSERT_TRUE(poll.View.Bandwidth.has_value());
    EXPECT_EQ(poll.View.Bandwidth->Hint, CounterWidthText(poll.State));
    const auto requests = counterRequests(agent.Requests());
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Oids[0], "1.3.6.1.2.1.31.1.1.1.6.3");
    EXPECT_EQ(requests[1].Oids[0], "1.3.6.1.2.1.2.2.1.10.3");
    EXPECT_EQ(requests[2].Oids[0], "1.3.6.1.2.1.2.2.1.10.3");
    EXPECT_EQ(static_cast<uint8_t>(requests[2].Raw[4]), 1); // still SNMPv2c
}

// A fallback after 64-bit readings were taken: the first 32-bit reading has
// nothing to be compared with and only primes, so no rate jumps.
TEST(RunPollCycle64, LateFallbackPrimesTheThirtyTwoBitReadings) {
    V2cAgent agent;
    V2cPoll poll(agent);
    agent.Counters = {5000000, 5000000, 50, 50};
    poll.Cycle();
    poll.State.Counters64Now = {1, 1, 1, 1};
    poll.State.Counters32Only = false;
    // The agent stops answering the 64-bit counters.
    V2cAgent without({"3"});
    without.Counters = {7000000, 7000000, 70, 70};
    poll.Snmp.Host = without.Host();
    poll.Snmp.QueryMessage.ResetMessage();
    poll.Cycle();
    EXPECT_TRUE(poll.State.Counters32Only);
    EXPECT_EQ(poll.State.PollCount, 1);
    EXPECT_EQ(poll.State.InOctetsNow, 7000000);
    EXPECT_EQ(poll.View.ShowRatesCount, 0);
    without.Counters = {7000000 + 1265000, 7000000, 70, 70};
    poll.Cycle();
    EXPECT_EQ(poll.State.DownRate, 1000);
}

// An agent that takes its counters from the system every `Period` seconds
// only. Once three of its refreshes have shown the period, the bar and the
// graph keep the true rate between refreshes; an idle interface falls to 0
// one period after the last change; the totals count every octet once.
TEST(RunPollCycleCachingAgent, HoldsTheTrueRateBetweenRefreshes) {
    constexpr uint64_t kRate = 500;  // rate units: 632,500 octets and 50 packets a second
    constexpr int32_t kFlowing = 30; // seconds of traffic, then none
    const struct {
        int32_t Version;
        int32_t Period;
    } agents[] = {{0, 1}, {0, 3}, {kSnmpVersion2c, 3}, {kSnmpVersion2c, 5}};
    for (const auto& row : agents) {
        SCOPED_TRACE("version " + std::to_string(row.Version) + ", period " + std::to_string(row.Period));
        V2cAgent agent;
        V2cPoll poll(agent);
        poll.State.SnmpVersion = row.Version;
        poll.State.DownloadScale = 8192;
        for (int32_t second = 0; second <= kFlowing + 2 * row.Period; ++second) {
            const uint64_t counted = static_cast<uint64_t>(std::min(second - second % row.Period, kFlowing));
            agent.Counters = {7'000'000'000ULL + counted * kRate * kOctetsPerUnit, 5,
                              9000 + counted * kRate / 10, 5};
            poll.Cycle();
            const int32_t bar = second < kFlowing + row.Period ? kRate * 10 : 0;
            if (second >= 3 * row.Period) { // two gaps between refreshes agree
                EXPECT_NEAR(poll.View.DownProgress, bar, bar / 10) << second;
                EXPECT_NEAR(poll.State.DownHistory[1], bar, bar / 10) << second;
                EXPECT_NEAR(poll.State.DownPktRate, bar / 100, bar / 1000) << second;
            }
        }
        EXPECT_EQ(poll.State.DownTotal, kFlowing * kRate * 5 / 4);
    }
}

// About 5 Mbit/s through loopback while `flowing`, for at most 30 s: a
// datagram of 6000 octets every 10 ms to the discard port, which nothing in
// the test's own network listens on.
void SendSteadily(const std::atomic<bool>& flowing) {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to{AF_INET, htons(9), {htonl(INADDR_LOOPBACK)}, {}};
    const std::string datagram(6000, 'v');
    const auto start = std::chrono::steady_clock::now();
    for (int tick = 1; flowing && tick <= 3000; ++tick) {
        (void)::sendto(s, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                       sizeof to);
        std::this_thread::sleep_until(start + std::chrono::milliseconds(10 * tick));
    }
    ::close(s);
}

// snmpd with the interface cache it keeps by default, a steady flow through
// loopback, one poll a second: once the period is learned, eight seconds in
// a row show the same bar, none of them empty.
TEST(RunPollCycleCachingAgent, RealAgentShowsASteadyFlowSteadily) {
    if (!test::SnmpdAgent::Available()) {
        GTEST_SKIP() << "snmpd is not installed (/usr/sbin/snmpd): real-agent test skipped";
    }
    if (std::getenv("VELTRUM_RUN_ALONE") == nullptr) {
        GTEST_SKIP() << "runs alone, as core_steady_flow";
    }
    const test::LoopbackTrafficLock alone;
    test::SnmpdAgent snmpd("public");
    snmpd.Start();
    std::atomic<bool> flowing{true};
    std::thread flow([&flowing] { SendSteadily(flowing); });
    V2cPoll probe(snmpd.HostText());
    V2cPoll poll(snmpd.HostText());
    probe.State.InterfaceNumber = poll.State.InterfaceNumber = 1; // lo
    poll.State.DownloadScale = 8192;

    // The polls keep half a second from the agent's refreshes, so that none
    // depends on which side of a refresh it falls.
    const auto inOctets = [&probe] {
        probe.Cycle();
        return probe.State.Counters64Now[0];
    };
    const uint64_t before = inOctets();
    for (int i = 0; i < 100 && inOctets() == before; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto refreshed = std::chrono::steady_clock::now();
    std::string figures;
    std::vector<int32_t> fill; // percent of the bar, second by second
    for (int second = 0; second < 17; ++second) {
        std::this_thread::sleep_until(refreshed + std::chrono::milliseconds(500 + 1000 * second));
        poll.Cycle();
        fill.push_back(poll.View.ShowRatesCount > 0 ? poll.View.DownProgress * 100 / 8192 : 0);
        figures += std::to_string(fill.back()) + " ";
    }
    flowing = false;
    flow.join();
    RecordProperty("BarFillPercent", figures);
    EXPECT_EQ(poll.View.Failures, 0);
    // The period shows at the third refresh, nine seconds in.
    const auto [low, high] = std::minmax_element(fill.begin() + 9, fill.end());
    EXPECT_GT(*low, 20) << figures;
    EXPECT_LE(*high - *low, *high / 10) << figures;
    // Before that, while it is learned, no refresh is drawn as a burst.
    EXPECT_LE(*std::max_element(fill.begin(), fill.begin() + 9), *high + *high / 10) << figures;
}

TEST(ApplyPollReadings64, BadValueChangesNothing) {
    MonitorState state;
    state.HistoryLength = 120;
    RecordingView view;
    ApplyPollReadings64(state, {"18446744073709551615", "2000", "30", "40"}, view, NumberLocale{});
    for (const std::string bad : {"", "12x", "18446744073709551616", " 5 "}) {
        EXPECT_THROW(ApplyPollReadings64(state, {"5000", "6000", bad, "70"}, view, NumberLocale{}),
                     std::invalid_argument)
            << bad;
        EXPECT_EQ(state.Counters64Now[0], UINT64_MAX);
        EXPECT_EQ(state.PollCount, 1);
    }
}

TEST(ApplyPollReadings, BadValueChangesNothing) {
    MonitorState state;
    state.HistoryLength = 120;
    RecordingView view;
    ApplyPollReadings(state, {"1000", "2000", "30", "40"}, view, NumberLocale{});
    for (const std::string bad : {"", "12x", "4294967296", " 5 "}) {
        EXPECT_THROW(ApplyPollReadings(state, {"5000", "6000", bad, "70"}, view, NumberLocale{}),
                     std::invalid_argument)
            << bad;
        EXPECT_EQ(state.InOctetsNow, 1000);
        EXPECT_EQ(state.InOctetsPrev, 0);
        EXPECT_EQ(state.PollCount, 1);
    }
}

// A 64-bit counter that goes back is the agent's restart, never a wrap: in
// 2^64 no interface gets near one. The reading primes again, as in SNMPv1.
TEST(RunPollCycle64, AgentRestartPrimesAgain) {
    V2cAgent agent;
    V2cPoll poll(agent);
    agent.Counters = {90000000000ULL, 80000000000ULL, 70000000ULL, 60000000ULL};
    poll.Cycle();
    agent.Counters = {90000000000ULL + 1265000, 80000000000ULL, 70000000ULL + 10, 60000000ULL};
    poll.Cycle();
    const uint32_t total = poll.State.DownTotal;
    const int32_t polls = poll.State.PollCount;
    agent.Counters = {5000, 4000, 30, 20};
    poll.Cycle();
    EXPECT_EQ(poll.State.DownRate, 0);
    EXPECT_EQ(poll.State.DownPktRate, 0);
    EXPECT_EQ(poll.State.DownTotal, total);
    EXPECT_EQ(poll.State.PollCount, polls);
    agent.Counters = {5000 + 2530000, 4000, 30 + 7, 20};
    poll.Cycle();
    EXPECT_EQ(poll.State.DownRate, 2000);
    EXPECT_EQ(poll.State.DownPktRate, 7);
}

} // namespace
} // namespace veltrum
