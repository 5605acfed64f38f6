#pragma once
// A monitor that never polls, for the windows' tests: a test sets its state
// as the start-up load would, and the windows ask it as they ask any monitor.

#include "core/Monitor.h"

namespace veltrum::test {

struct StillMonitor {
    struct NoTimers final : MonitorTimers {
        void StartPolling(int32_t) override {}
        void StopPolling() override {}
        bool Polling() const override { return false; }
        void SetPollInterval(int32_t) override {}
        void StartCheckSteps() override {}
        void StopCheckSteps() override {}
    };
    NoTimers timers;
    Monitor monitor{"", "", timers};
    MonitorState& state = monitor.State();
};

} // namespace veltrum::test
