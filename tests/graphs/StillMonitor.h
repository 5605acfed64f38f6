#pragma once
// A monitor whose timers never tick, for the windows' tests: a test sets its
// state as the start-up load would, or loads a profile and polls by hand,
// and the windows ask it as they ask any monitor.

#include "core/Monitor.h"

#include <string>

namespace veltrum::test {

struct StillMonitor {
    struct NoTicks final : MonitorTimers {
        void StartPolling(int32_t) override { Polls = true; }
        void StopPolling() override { Polls = false; }
        bool Polling() const override { return Polls; }
        void SetPollInterval(int32_t) override {}
        void StartCheckSteps() override {}
        void StopCheckSteps() override {}
        bool Polls = false;
    };
    explicit StillMonitor(std::string configDir = {}) : monitor(std::move(configDir), {}, timers) {}
    NoTicks timers;
    Monitor monitor;
    MonitorState& state = monitor.State();
};

} // namespace veltrum::test
