#include "app/TempDir.h"
#include "support/Program.h"
#include "support/ScriptedResponder.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace veltrum {
namespace {

using test::Program;
using test::ScriptedResponder;
using test::TempDir;
using Clock = std::chrono::steady_clock;

// A resynchronisation lengthens ten poll intervals to 1025 ... 1016 ms so that
// the polls move away from the agent's own counter updates. A timer that may
// shift a tick by 5 % rounds such intervals back to whole seconds, and the
// phase never moves. This measures the intervals the polls actually arrive at
// the agent with, starting on a whole second of the monotonic clock, where
// that rounding would be sure to strike.
TEST(PollTimer, DeliversTheLengthenedIntervalsOfAResynchronisation) {
    // Packets per reading after the first: a steady 100, a stalled reading,
    // then a jump, which starts the resynchronisation; then a steady 200.
    const int64_t steps[] = {100, 100, 100, 0, 500};
    std::mutex mutex;
    std::vector<Clock::time_point> arrivals;
    int64_t packets = 0;
    ScriptedResponder agent(
        [&](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            if (request.Oids.size() != 4) {
                return ScriptedResponder::Respond(request, {{"", 0x05, ""}}, 2); // no ifSpeed here
            }
            const std::lock_guard lock(mutex);
            const size_t reading = arrivals.size();
            arrivals.push_back(Clock::now());
            if (reading >= 1) {
                packets += reading <= std::size(steps) ? steps[reading - 1] : 200;
            }
            const std::string value = std::to_string(packets);
            return ScriptedResponder::Respond(
                request, {{"", 0x41, value}, {"", 0x41, value}, {"", 0x41, value}, {"", 0x41, value}});
        });
    TempDir dir;
    dir.Write("Default.vlq", "[Host]\n01=" + agent.HostText() +
                                 "\n[PozTopWykres]\n01=40\n[PozLeftWykres]\n01=50\n"
                                 "[PozTopWykresPkt]\n01=60\n[PozLeftWykresPkt]\n01=70\n");
    Program program(dir.Dir());
    program.glowny.show(); // the first reading
    test::Settle(program.router);
    // The next readings at once, without waiting for the timer; the last
    // of them starts the resynchronisation just after a whole second.
    for (size_t i = 1; i < std::size(steps); ++i) {
        program.router.Button3Click();
        test::Settle(program.router);
    }
    const auto now = Clock::now().time_since_epoch();
    std::this_thread::sleep_until(Clock::time_point(std::chrono::ceil<std::chrono::seconds>(now)) +
                                  std::chrono::milliseconds(3));
    program.router.Button3Click();
    test::Settle(program.router);
    ASSERT_TRUE(program.router.State().ResyncActive);
    const size_t started = std::size(steps);

    constexpr int kLengthened = 10;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::lock_guard lock(mutex);
            return arrivals.size() >= started + kLengthened + 1;
        },
        20000));
    EXPECT_FALSE(program.router.State().ResyncActive);

    const std::lock_guard lock(mutex);
    std::vector<int64_t> intervals;
    std::ostringstream delivered;
    for (int i = 0; i < kLengthened; ++i) {
        intervals.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(arrivals[started + i + 1] -
                                                                                  arrivals[started + i])
                                .count());
        delivered << intervals.back() << (i + 1 < kLengthened ? " " : " ms");
    }
    std::cout << "[ delivered ] " << delivered.str() << "\n";
    int64_t total = 0;
    for (int i = 0; i < kLengthened; ++i) {
        const int64_t asked = 1025 - i;
        total += intervals[static_cast<size_t>(i)];
        // Never early: a coarse timer rounds these back to about 1000 ms
        // here. Late by the poll's own work and a busy machine's wake-up.
        EXPECT_GE(intervals[static_cast<size_t>(i)], asked - 2)
            << "interval " << i << ": " << delivered.str();
        EXPECT_LE(intervals[static_cast<size_t>(i)], asked + 60)
            << "interval " << i << ": " << delivered.str();
    }
    // The ten intervals move the poll's phase by about 205 ms.
    EXPECT_GE(total, 10205 - 5);
}

} // namespace
} // namespace veltrum
