#include "core/Monitor.h"

#include "settings/TempDir.h"
#include "support/TableAgent.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace veltrum {
namespace {

// Timers that tick when the test says so.
struct ManualTimers final : MonitorTimers {
    void StartPolling(int32_t intervalMs) override {
        Polls = true;
        Interval = intervalMs > 0 ? intervalMs : Interval;
    }
    void StopPolling() override { Polls = false; }
    bool Polling() const override { return Polls; }
    void SetPollInterval(int32_t intervalMs) override { Interval = intervalMs; }
    void StartCheckSteps() override { Steps = true; }
    void StopCheckSteps() override { Steps = false; }
    bool Polls = false, Steps = false;
    int32_t Interval = 0;
};

struct Samples final : MonitorSubscriber {
    void OnSample(const PollSample& sample) override { Seen.push_back(sample); }
    std::vector<PollSample> Seen;
};

// A monitor on interface `number` of `agent`, its profile keeping
// `description`, started as the main window starts it.
struct Started {
    Started(const test::TableAgent& agent, int32_t number, const std::string& description,
            const std::string& history = {})
        : monitor(dir.Dir(), {}, timers) {
        monitor.SetUsageDatabase(history);
        std::ofstream(dir.File("Default.vlq"))
            << "[Host]\n01=" << agent.Host() << "\n[Haslo]\n01=public\n[Timeout]\n01=100\n"
            << "[NumerInterfaceu]\n01=" << number << "\n[OpisInterfaceu]\n01=" << description << "\n";
        monitor.Subscribe(samples);
        const ScreenArea screen{0, 0, 1024, 768};
        monitor.Load(std::span(&screen, 1));
        monitor.BeginRestart();
        monitor.CheckInterfaceAndPoll();
    }
    test::TempDir dir;
    ManualTimers timers;
    Monitor monitor;
    Samples samples;
};

void setCounters(test::TableAgent& agent, int32_t index, int32_t value) {
    for (const char* column : {"10", "16", "11", "17"}) {
        agent.SetObject("1.3.6.1.2.1.2.2.1." + std::string(column) + "." + std::to_string(index), 0x41,
                        std::to_string(value));
    }
}

// One sample a poll: the first reading primes, the next carries the
// readings as integers with the rates and texts drawn from them, and a
// silent agent gives a failure with its reason.
TEST(Monitor, PublishesOneSampleAPoll) {
    test::TableAgent agent({{2, {"eth0", "1"}}});
    setCounters(agent, 2, 1000);
    Started s(agent, 2, "eth0");
    ASSERT_EQ(s.samples.Seen.size(), 2u); // the check's text, then the priming reading
    EXPECT_EQ(s.samples.Seen[1].Result, PollSample::Outcome::Priming);
    setCounters(agent, 2, 3530);
    s.monitor.Poll();
    ASSERT_EQ(s.samples.Seen.size(), 3u);
    const PollSample& reading = s.samples.Seen.back();
    EXPECT_EQ(reading.Result, PollSample::Outcome::Reading);
    EXPECT_EQ(reading.Counters, (std::array<uint64_t, 4>{3530, 3530, 3530, 3530}));
    EXPECT_TRUE(reading.Shown && reading.Bandwidth && reading.Packets);
    EXPECT_EQ(reading.Interface, 2);
    agent.SetSilentWhen([](const auto&) { return true; });
    s.monitor.Poll();
    EXPECT_EQ(s.samples.Seen.back().Result, PollSample::Outcome::Failure);
    EXPECT_FALSE(s.samples.Seen.back().ShownFailure->empty());
}

// A renumbered interface looked for in the agent's table: the sample says
// the monitor waits, polls send nothing until the walk's steps end, and
// then the interface's new number is polled at once.
TEST(Monitor, WaitsForTheWalkThenPollsTheNewNumber) {
    test::TableAgent agent({{1, {"lo", "1"}}, {2, {"eth0", "1"}}, {7, {"eth1", "1"}}});
    setCounters(agent, 7, 500);
    Started s(agent, 2, "eth1");
    ASSERT_EQ(s.samples.Seen.back().Result, PollSample::Outcome::Waiting);
    EXPECT_TRUE(s.timers.Steps);
    const int before = agent.Requests();
    s.monitor.Poll();
    EXPECT_EQ(agent.Requests(), before);
    while (s.timers.Steps) {
        s.monitor.StepInterfaceCheck();
    }
    EXPECT_EQ(s.monitor.State().InterfaceNumber, 7);
    EXPECT_EQ(s.samples.Seen.back().Counters[0], 500u);
}

// The history records each poll's differences as the monitor publishes
// them, and the figures read them back once the recorder has written.
TEST(Monitor, RecordsTheDifferencesItPublishes) {
    test::TableAgent agent({{2, {"eth0", "1"}}});
    setCounters(agent, 2, 1000);
    test::TempDir history;
    Started s(agent, 2, "eth0", history.File("usage.sqlite3"));
    for (const int32_t value : {1500, 4000}) {
        setCounters(agent, 2, value);
        s.monitor.Poll();
    }
    s.monitor.Stop();
    const UsageSummary summary = s.monitor.Usage().Summary(s.monitor.State(), std::time(nullptr));
    EXPECT_EQ(summary.Unavailable, "");
    EXPECT_EQ(summary.AllTime.Download, 3000u);
    EXPECT_EQ(summary.AllTime.Upload, 3000u);
}

} // namespace
} // namespace veltrum
