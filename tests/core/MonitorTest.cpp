#include "core/Monitor.h"

#include "history/UsageStore.h"
#include "settings/TempDir.h"
#include "support/LoopbackFlow.h"
#include "support/SnmpdAgent.h"
#include "support/TableAgent.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <thread>
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

// A monitor killed at a random moment while a real agent's counters move
// loses nothing the next start can count: the history is written every few
// seconds, so the gap since is short enough even for 32-bit counters, and
// the next start counts it from the readings kept. The history then holds
// the counters' whole advance from the first reading to the last.
TEST(Monitor, AKillAtAnyMomentLosesNothing) {
    if (!test::SnmpdAgent::Available()) {
        GTEST_SKIP() << "snmpd is not installed";
    }
    std::mt19937 random(std::random_device{}());
    // 32-bit counters after more than the 34 s they may wrap in at the
    // line's bound; 64-bit ones after a few seconds.
    const struct {
        int32_t Version;
        int MinMs, MaxMs;
    } cases[] = {{0, 36'000, 44'000}, {1, 2'000, 9'000}};
    for (const auto& c : cases) {
        test::TempDir dir;
        test::SnmpdAgent agent;
        agent.Start();
        std::ofstream(dir.File("Default.vlq"))
            << "[Host]\n01=" << agent.HostText() << "\n[Haslo]\n01=" << agent.Community()
            << "\n[Timeout]\n01=750\n[WersjaSNMP]\n01=" << c.Version << "\n";
        const std::string history = dir.File("usage.sqlite3");
        const auto monitor = [&](ManualTimers& timers, Samples& samples) {
            auto started = std::make_unique<Monitor>(dir.Dir(), std::string(), timers);
            started->SetUsageDatabase(history);
            started->Subscribe(samples);
            const ScreenArea screen{0, 0, 1024, 768};
            started->Load(std::span(&screen, 1));
            started->BeginRestart();
            started->CheckInterfaceAndPoll();
            return started;
        };
        const test::LoopbackFlow flow(512);
        int first[2];
        ASSERT_EQ(pipe(first), 0);
        const pid_t killed = fork();
        if (killed == 0) {
            ManualTimers timers;
            Samples samples;
            const auto running = monitor(timers, samples);
            for (bool told = false;; std::this_thread::sleep_for(std::chrono::seconds(1)), running->Poll()) {
                if (!told && !samples.Seen.empty() && samples.Seen.back().Usage &&
                    samples.Seen.back().Usage->Kind != UsageTickKind::Failed) {
                    (void)!write(first[1], samples.Seen.back().Counters.data(), sizeof(uint64_t));
                    told = true;
                }
            }
        }
        uint64_t from = 0;
        ASSERT_EQ(read(first[0], &from, sizeof from), static_cast<ssize_t>(sizeof from));
        const int ms = std::uniform_int_distribution<int>(c.MinMs, c.MaxMs)(random);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        kill(killed, SIGKILL);
        waitpid(killed, nullptr, 0);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        ManualTimers timers;
        Samples samples;
        auto again = monitor(timers, samples);
        for (int i = 0; i < 4; ++i) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            again->Poll();
        }
        const uint64_t to = samples.Seen.back().Counters[0];
        again->Stop();
        again.reset();
        close(first[0]);
        close(first[1]);
        UsageStore store(history, StoreMode::Read);
        const UsageInterface row = store.Interfaces().at(0);
        const UsageCounts total = store.AllTime(row.Id);
        const uint64_t advance = c.Version == 0 ? (to - from) & 0xFFFFFFFFu : to - from;
        EXPECT_GT(advance, 1'000'000u) << "killed after " << ms << " ms";
        EXPECT_EQ(total.InOctets, advance) << "killed after " << ms << " ms, version " << c.Version;
        EXPECT_EQ(total.Missed, 0) << "killed after " << ms << " ms, version " << c.Version;
    }
}

} // namespace
} // namespace veltrum
