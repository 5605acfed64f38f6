#include "history/UsageRecorder.h"
#include "app/TempDir.h"
#include "core/PollCycle.h"
#include "core/RecordingView.h"
#include "history/HistoryTest.h"
#include "snmp/IdSNMP.h"
#include "support/LoopbackFlow.h"
#include "support/SnmpdAgent.h"
#include "support/TableAgent.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace veltrum {
namespace {

using test::LocalTime;
using test::TempDir;
using test::TotalOf;
using test::ZoneFor;

const std::string kAgent = "127.0.0.1:161";

// One poll of the accounting table: the agent's four counters at that
// second, nothing (the agent is silent), or the interface followed to a new
// number.
struct Step {
    int64_t At;
    std::optional<std::array<uint32_t, 4>> Counters;
    int32_t RenumberTo = 0;
};
struct AccountingCase {
    const char* Name;
    std::vector<Step> Steps;
    UsageCounts Expected;
};

class Accounting : public testing::TestWithParam<AccountingCase> {};

TEST_P(Accounting, CountsWhatThePollJudges) {
    const TempDir dir;
    const std::string path = dir.File("usage.sqlite3");
    test::TableAgent agent({{1, {"eth0", "1"}}, {3, {"eth0", "1"}}});
    agent.SetObject("1.3.6.1.2.1.2.2.1.5.1", 0x42, "100000000");
    bool silent = false;
    agent.SetSilentWhen([&silent](const test::ScriptedResponder::Request&) { return silent; });

    MonitorState state;
    state.HistoryLength = 120;
    state.InterfaceNumber = 1;
    state.TimeoutMs = 100;
    state.AutoScale = true;
    TIdSNMP snmp;
    snmp.Host = agent.Host();
    snmp.SetCommunity("public");
    snmp.SetActive(true);
    UsageRecorder recorder(path, kAgent, 1, "");
    test::RecordingView view;
    int64_t now = 0;
    view.OnUsage = [&](const UsageTick& tick) { // stamped with the test's clock
        UsageTick stamped = tick;
        stamped.Time = now;
        recorder.Record(stamped);
    };
    for (const Step& step : GetParam().Steps) {
        now = 1'780'000'000 + step.At;
        if (step.RenumberTo != 0) {
            state.InterfaceNumber = step.RenumberTo;
            state.PrimeNextReading = true; // as the interface check's switch leaves it
            recorder.Renumbered(step.RenumberTo);
        }
        silent = !step.Counters;
        if (step.Counters) {
            const char* const objects[4] = {"10", "16", "11", "17"};
            for (size_t i = 0; i < 4; ++i) {
                agent.SetObject("1.3.6.1.2.1.2.2.1." + std::string(objects[i]) + "." +
                                    std::to_string(state.InterfaceNumber),
                                0x41, std::to_string((*step.Counters)[i]));
            }
        }
        RunPollCycle(state, snmp, view, NumberLocale{".", ","});
    }
    recorder.Close();
    const UsageCounts total = TotalOf(path, kAgent, state.InterfaceNumber);
    EXPECT_EQ(total, GetParam().Expected) << "in " << total.InOctets << " out " << total.OutOctets
                                          << " sampled " << total.Sampled << " missed " << total.Missed;
}

INSTANTIATE_TEST_SUITE_P(
    UsageRecorder, Accounting,
    testing::Values(
        AccountingCase{"PrimingCountsNothing", {{0, {{1000, 500, 10, 5}}}}, {}},
        AccountingCase{"Steady",
                       {{0, {{1000, 500, 10, 5}}}, {1, {{3000, 900, 13, 9}}}, {2, {{6000, 1000, 20, 10}}}},
                       {5000, 500, 10, 5, 2, 0}},
        AccountingCase{"WrapCounts",
                       {{0, {{4294967000u, 0, 4294967295u, 0}}}, {1, {{704, 0, 1, 0}}}},
                       {1000, 0, 2, 0, 1, 0}},
        AccountingCase{"ResetCountsNothingAndMissesItsSecond",
                       {{0, {{3000000000u, 0, 0, 0}}}, {1, {{3000001000u, 0, 0, 0}}}, {2, {{500, 0, 0, 0}}}},
                       {1000, 0, 0, 0, 1, 1}},
        AccountingCase{"FailedPollsAreSpannedByTheNextReading",
                       {{0, {{1000, 0, 0, 0}}}, {1, std::nullopt}, {2, std::nullopt}, {3, {{4000, 0, 0, 0}}}},
                       {3000, 0, 0, 0, 3, 0}},
        AccountingCase{
            "RenumberedInterfaceKeepsItsRowAndPrimes",
            {{0, {{1000, 0, 0, 0}}}, {1, {{2000, 0, 0, 0}}}, {2, {{50, 0, 0, 0}}, 3}, {3, {{150, 0, 0, 0}}}},
            {1100, 0, 0, 0, 2, 1}}),
    [](const testing::TestParamInfo<AccountingCase>& info) { return std::string(info.param.Name); });

// A tick that spans a boundary shares its seconds between the rows, and
// its octets in proportion; the shares add up exactly.
struct BoundaryCase {
    const char* Name;
    int64_t From, To;
    int32_t FirstDay;
    int64_t FirstHourOffset, SecondsInFirstRow;
};

TEST(UsageRecorder, TicksAcrossBoundariesAreShared) {
    const TempDir dir;
    const ZoneFor warsaw("Europe/Warsaw");
    const BoundaryCase cases[] = {
        {"midnight", LocalTime("2026-05-10 23:59:00"), LocalTime("2026-05-11 00:01:00"), 20260510, 7200, 60},
        {"month end", LocalTime("2026-01-31 23:59:30"), LocalTime("2026-02-01 00:00:30"), 20260131, 3600, 30},
        {"spring forward", LocalTime("2026-03-29 01:59:00"), LocalTime("2026-03-29 03:01:00"), 20260329, 3600,
         60},
    };
    int n = 0;
    for (const BoundaryCase& c : cases) {
        const std::string path = dir.File("b" + std::to_string(n++) + ".sqlite3");
        {
            UsageRecorder recorder(path, kAgent, 1, "");
            test::Feed(recorder, c.From, c.To, c.To - c.From, 1'000'001);
        }
        UsageStore store(path, StoreMode::Read);
        const int64_t id = store.OpenInterface(kAgent, 1, "")->Id;
        const auto days = store.Days(id, 0, 99999999);
        const auto hours = store.Hours(id, 0, INT64_MAX);
        ASSERT_EQ(hours.size(), 2u) << c.Name;
        EXPECT_EQ(days.front().Day, c.FirstDay) << c.Name;
        EXPECT_EQ(hours.front().Offset, c.FirstHourOffset) << c.Name;
        EXPECT_EQ(hours.front().Counts.Sampled, c.SecondsInFirstRow) << c.Name;
        EXPECT_EQ(hours.front().Counts.InOctets + hours.back().Counts.InOctets, 1'000'001u) << c.Name;
        EXPECT_EQ(hours.back().Counts.Sampled, c.To - c.From - c.SecondsInFirstRow) << c.Name;
        EXPECT_EQ(store.AllTime(id).InOctets, 1'000'001u) << c.Name;
    }
}

// A daylight-saving change gives a day of 23 or 25 hourly rows, each a
// whole hour: never a lost or doubled hour.
TEST(UsageRecorder, DaylightSavingDaysHaveTheirHours) {
    const TempDir dir;
    const ZoneFor warsaw("Europe/Warsaw");
    const struct {
        const char* Day;
        const char* Next;
        size_t Hours;
    } cases[] = {{"2026-03-29 00:00:00", "2026-03-30 00:00:00", 23},
                 {"2026-10-25 00:00:00", "2026-10-26 00:00:00", 25},
                 {"2026-06-01 00:00:00", "2026-06-02 00:00:00", 24}};
    for (const auto& c : cases) {
        const std::string path = dir.File(std::string(c.Day).substr(0, 10) + ".sqlite3");
        const int64_t from = LocalTime(c.Day);
        const int64_t to = LocalTime(c.Next);
        {
            UsageRecorder recorder(path, kAgent, 1, "");
            test::Feed(recorder, from, to, 60, 60);
        }
        UsageStore store(path, StoreMode::Read);
        const int64_t id = store.OpenInterface(kAgent, 1, "")->Id;
        const auto hours = store.Hours(id, from, to);
        EXPECT_EQ(hours.size(), c.Hours) << c.Day;
        for (const HourRow& hour : hours) {
            EXPECT_EQ(hour.Counts.Sampled, 3600) << c.Day << " hour at " << hour.Start;
        }
        const auto days = store.Days(id, 0, 99999999);
        ASSERT_EQ(days.size(), 1u) << c.Day;
        EXPECT_EQ(days[0].Counts.Sampled, to - from) << c.Day;
    }
}

// Time away: counted from the readings kept when the agent's counters can be
// trusted to have gone on, and only what the line could carry; missed
// otherwise. What is known is written at once: a kill right after the start
// loses none of it.
TEST(UsageRecorder, TimeAwayIsCountedWhenItCanBeKnown) {
    const TempDir dir;
    constexpr uint64_t kFast = 100'000'000; // below the default maximum, 1 Gbit/s: 32 bits wrap in 34 s
    constexpr uint64_t kMoved = 1'000'000 + 777'000;
    const struct {
        const char* Name;
        uint8_t Bits;
        int64_t Away;
        bool UpTimeKnown;
        uint32_t UpTime; // hundredths
        bool Counted;
        uint64_t Speed = kFast;
        uint64_t After = kMoved; // the reading after the time away; 1,000,000 before it
    } cases[] = {{"64-bit, agent ran on", 64, 3600, true, 400000, true},
                 {"64-bit, agent restarted", 64, 3600, true, 100000, false},
                 {"64-bit, uptime unknown", 64, 3600, false, 0, false},
                 {"32-bit, too short to wrap", 32, 20, true, 400000, true},
                 {"32-bit, long enough to wrap", 32, 600, true, 400000, false},
                 {"64-bit, speed unknown, counters set back", 64, 3600, true, 400000, false, 0, 500},
                 {"64-bit, restarted within the same second", 64, 0, true, 400000, true}};
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = dir.File("a" + std::to_string(n++) + ".sqlite3");
        const int64_t t0 = 1'780'000'000;
        UsageTick tick;
        tick.CounterBits = c.Bits;
        tick.Speed = c.Speed;
        {
            UsageRecorder before(path, kAgent, 1, "");
            tick.Kind = UsageTickKind::Uncounted;
            tick.Time = t0;
            tick.Readings = {1'000'000, 0, 0, 0};
            before.Record(tick);
        }
        UsageRecorder after(path, kAgent, 1, "");
        tick.Time = t0 + c.Away;
        tick.Readings = {c.After, 0, 0, 0};
        tick.UpTimeKnown = c.UpTimeKnown;
        tick.UpTime = c.UpTime;
        after.Record(tick);
        const UsageCounts total = TotalOf(path, kAgent, 1); // as a kill now would leave it
        EXPECT_EQ(UsageStore(path, StoreMode::Read).Interfaces().at(0).RecordedSince, t0)
            << c.Name << ": recording began at the first start";
        EXPECT_EQ(total.InOctets, c.Counted ? 777'000u : 0u) << c.Name;
        EXPECT_EQ(total.Sampled, c.Counted ? c.Away : 0) << c.Name;
        EXPECT_EQ(total.Missed, c.Counted ? 0 : c.Away) << c.Name;
    }
}

// Each tick is judged by the time that truly passed (a clock that never
// steps) and the line's bound: a glitch is missed time, not traffic; a
// suspend is counted only where counters could not wrap; a wall clock set
// either way neither fills the time between nor writes a row ahead of it.
struct TimedTick {
    int64_t SetWall; // the wall clock set by this much first
    int64_t Pass;    // seconds passed since the previous tick
    UsageTickKind Kind;
    uint64_t Difference; // octets in, as the poll judged them
    uint64_t Reading;
};
struct JudgedCase {
    const char* Name;
    uint8_t Bits;
    std::vector<TimedTick> Ticks;
    UsageCounts Expected;
    bool Told = false; // the user is told that a reading was refused
    int64_t Since = 0; // the first moment recorded, from the first tick
};

TEST(UsageRecorder, JudgesEachTickByTheTimeThatPassed) {
    using K = UsageTickKind;
    constexpr uint64_t kG = 1'000'000'000;
    const auto steady = [](int n, uint64_t from) { // n counted ticks of 1000 octets, a second apart
        std::vector<TimedTick> ticks;
        for (int i = 1; i <= n; ++i) {
            ticks.push_back({0, 1, K::Counted, 1000, from + 1000u * static_cast<uint64_t>(i)});
        }
        return ticks;
    };
    const auto silent = [](int n) { // n failed polls, a second apart
        return std::vector<TimedTick>(static_cast<size_t>(n), {0, 1, K::Failed, 0, 0});
    };
    const auto join = [](std::vector<std::vector<TimedTick>> parts) {
        std::vector<TimedTick> all;
        for (const auto& part : parts) {
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    };
    const std::vector<TimedTick> outage = join({{{0, 0, K::Uncounted, 0, 0}},
                                                steady(1, 0),
                                                silent(90),
                                                {{0, 1, K::Counted, 91'000'000, 91'001'000}},
                                                steady(1, 91'001'000)});
    const JudgedCase cases[] = {
        {"zero reading once, 64-bit",
         64,
         {{0, 0, K::Uncounted, 0, 5 * kG},
          {0, 1, K::Counted, 1000, 5 * kG + 1000},
          {0, 1, K::Uncounted, 0, 0},
          {0, 1, K::Counted, 5 * kG + 2000, 5 * kG + 2000},
          {0, 1, K::Counted, 1000, 5 * kG + 3000}},
         {2000, 0, 0, 0, 2, 2},
         true},
        {"garbage Counter64",
         64,
         {{0, 0, K::Uncounted, 0, kG},
          {0, 1, K::Counted, 1000, kG + 1000},
          {0, 1, K::Counted, 18'000'000'000'000'000'000u - kG - 1000, 18'000'000'000'000'000'000u},
          {0, 1, K::Uncounted, 0, kG + 3000},
          {0, 1, K::Counted, 1000, kG + 4000}},
         {2000, 0, 0, 0, 2, 2},
         true},
        {"suspend over the wrap time, 32-bit",
         32,
         {{0, 0, K::Uncounted, 0, 0},
          {0, 1, K::Counted, 1000, 1000},
          {0, 60, K::Counted, 505'000'000, 505'001'000}},
         {1000, 0, 0, 0, 1, 60}},
        {"suspend, 64-bit",
         64,
         {{0, 0, K::Uncounted, 0, 0},
          {0, 1, K::Counted, 1000, 1000},
          {0, 60, K::Counted, 4'800'000'000, 4'800'001'000}},
         {4'800'001'000, 0, 0, 0, 61, 0}},
        {"clock set back an hour",
         64,
         join({{{0, 0, K::Uncounted, 0, 0}},
               steady(10, 0),
               {{-3600, 1, K::Counted, 1000, 11000}},
               steady(9, 11000)}),
         {20000, 0, 0, 0, 20, 0},
         false,
         -3600},
        // An outage: its seconds are counted by the reading after it where
        // that reading can span them, and missed otherwise; never both.
        {"outage of 90 s, 64-bit", 64, outage, {91'002'000, 0, 0, 0, 93, 0}},
        {"outage of 90 s, 32-bit", 32, outage, {2000, 0, 0, 0, 2, 91}},
        {"clock ten days ahead for five seconds",
         64,
         join({{{0, 0, K::Uncounted, 0, 0}},
               steady(5, 0),
               {{864000, 1, K::Counted, 1000, 6000}},
               steady(4, 6000),
               {{-864000, 1, K::Counted, 1000, 11000}},
               steady(4, 11000)}),
         {15000, 0, 0, 0, 15, 0}},
    };
    const TempDir dir;
    int n = 0;
    for (const JudgedCase& c : cases) {
        const std::string path = dir.File("j" + std::to_string(n++) + ".sqlite3");
        test::StepClock clock(1'780'000'000);
        {
            UsageRecorder recorder(path, kAgent, 1, "", RecorderOptions{60, &clock});
            for (const TimedTick& t : c.Ticks) {
                clock.SetWallBy(t.SetWall);
                clock.Pass(t.Pass);
                UsageTick tick;
                tick.Kind = t.Kind;
                tick.CounterBits = c.Bits;
                tick.Speed = kG;
                tick.Differences = {t.Difference, 0, 0, 0};
                tick.Readings = {t.Reading, 0, 0, 0};
                recorder.Record(tick);
                if (t.SetWall != 0) { // as a kill now would leave it
                    UsageStore store(path, StoreMode::Read);
                    EXPECT_LE(store.OpenInterface(kAgent, 1, "")->Last.Time, clock.Wall())
                        << c.Name << ": a reading dated ahead of the clock";
                }
            }
            EXPECT_EQ(!recorder.TakeNotice().empty(), c.Told) << c.Name;
        }
        EXPECT_EQ(TotalOf(path, kAgent, 1), c.Expected) << c.Name;
        UsageStore store(path, StoreMode::Read);
        const UsageInterface row = *store.OpenInterface(kAgent, 1, "");
        EXPECT_TRUE(store.Hours(row.Id, clock.Wall() + 1, INT64_MAX).empty())
            << c.Name << ": a row ahead of the clock";
        EXPECT_EQ(row.RecordedSince, 1'780'000'000 + c.Since) << c.Name;
    }
}

// A real agent restarted while the program polls its loopback interface,
// on which every packet sent is received: net-snmp's snmpd answers its
// first readings with the unicast packets in at 0, then back at the
// system's count. Packets follow the octets' rules (a fall without a wrap
// that fits is a reset, a rise beyond the octets of its direction is a new
// baseline), so in and out stay equal in both counter widths.
TEST(UsageRecorder, AgentRestartCountsPacketsInAndOutAlike) {
    if (!test::SnmpdAgent::Available()) {
        GTEST_SKIP() << "snmpd is not installed";
    }
    if (std::getenv("VELTRUM_RUN_ALONE") == nullptr) {
        GTEST_SKIP() << "runs alone, as history_agent_restart";
    }
    const test::LoopbackTrafficLock alone;
    const TempDir dir;
    for (const int32_t version : {0, kSnmpVersion2c}) {
        const std::string path = dir.File("restart" + std::to_string(version) + ".sqlite3");
        test::SnmpdAgent agent;
        agent.Start();
        MonitorState state;
        state.HistoryLength = 120;
        state.InterfaceNumber = 1; // lo
        state.TimeoutMs = 750;     // a loaded machine answers late: no poll may fail for it
        state.SnmpVersion = version;
        TIdSNMP snmp;
        snmp.Host = agent.HostText();
        snmp.SetCommunity(agent.Community());
        snmp.SetActive(true);
        UsageRecorder recorder(path, kAgent, 1, "");
        test::RecordingView view;
        int64_t now = 1'780'000'000;
        view.OnUsage = [&](const UsageTick& tick) {
            UsageTick stamped = tick;
            stamped.Time = now;
            recorder.Record(stamped);
        };
        const auto poll = [&](int times) {
            for (int i = 0; i < times; ++i) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                ++now;
                RunPollCycle(state, snmp, view, NumberLocale{".", ","});
            }
        };
        poll(3);
        {
            // Packets flow on lo all along, as on a line in use: the octets
            // then rise through the restart, so a packet count back from 0 is
            // not told apart by the octets beside it.
            const test::LoopbackFlow flow;
            poll(4);
            agent.Stop();
            poll(1);
            agent.Start();
            poll(8);
        }
        recorder.Close();
        const UsageCounts total = TotalOf(path, kAgent, 1);
        EXPECT_GT(total.InPackets, 20000u) << version;
        // The two directions of lo move together; a reading taken between
        // them on a loaded machine leaves a few packets apart, a count
        // from 0 thousands.
        EXPECT_LE(total.InPackets, total.OutPackets + 200) << version;
        EXPECT_LE(total.OutPackets, total.InPackets + 200) << version;
        // The agent's restart stops no counter of lo's: its seconds are
        // counted, each once, from the reading before to the one after.
        EXPECT_EQ(total.Sampled + total.Missed, 15) << version;
    }
}

// Two recorders on one interface count it once; when the one that records
// dies without exiting, another takes over at its next tick and counts the
// time since the last write, as time away, from the readings kept.
TEST(UsageRecorder, TwoCopiesCountOnce) {
    const TempDir dir;
    const std::string path = dir.File("usage.sqlite3");
    UsageTick tick;
    tick.Kind = UsageTickKind::Uncounted;
    tick.CounterBits = 64;
    tick.UpTimeKnown = true;
    tick.UpTime = 100'000'000; // the agent runs all along
    const auto next = [&tick](int64_t t) {
        tick.Time = t;
        tick.Readings = {100 * static_cast<uint64_t>(t), 0, 0, 0};
        const UsageTick now = tick;
        tick.Kind = UsageTickKind::Counted;
        tick.Differences = {100, 0, 0, 0};
        return now;
    };
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t first = fork();
    if (first == 0) {
        UsageRecorder recorder(path, kAgent, 1, "", RecorderOptions{10});
        for (int64_t t = 1000; t <= 1030; ++t) {
            recorder.Record(next(t)); // written up to 1030
        }
        const char byte = recorder.State() == RecordingState::Recording ? 'r' : '-';
        (void)!write(ready[1], &byte, 1);
        pause(); // killed while it records
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'r');

    UsageRecorder second(path, kAgent, 1, "");
    UsageRecorder third(path, kAgent, 1, "");
    tick.Kind = UsageTickKind::Uncounted;
    int64_t takenAt = 0;
    for (int64_t t = 1031; t <= 1150; ++t) {
        const UsageTick now = next(t);
        EXPECT_EQ(second.WantsUpTime(), t > 1040 && takenAt == 0) << t;
        second.Record(now);
        third.Record(now);
        if (t == 1040) {
            EXPECT_EQ(second.State(), RecordingState::Standby);
            kill(first, SIGKILL);
            waitpid(first, nullptr, 0);
        }
        if (takenAt == 0 && second.State() == RecordingState::Recording) {
            takenAt = t;
        }
    }
    EXPECT_EQ(takenAt, 1041);
    EXPECT_EQ(third.State(), RecordingState::Standby);
    second.Close();
    third.Close();
    // The first copy's 30 seconds, the ten after its last write counted at
    // the takeover, and the second's since.
    EXPECT_EQ(TotalOf(path, kAgent, 1), (UsageCounts{100 * 150, 0, 0, 0, 150, 0}));
}

} // namespace
} // namespace veltrum
