#pragma once
// A PollView that records what the poll cycle shows, for the core tests.

#include "core/PollCycle.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrum::test {

class RecordingView final : public PollView {
public:
    // Calls in order, one word each, to check the sequence of a poll.
    std::vector<std::string> Calls;

    int32_t DownMax = -1, UpMax = -1;
    std::string Label3, Label4;
    int32_t DownProgress = -1, UpProgress = -1;
    int ShowRatesCount = 0;
    std::optional<GraphTexts> Bandwidth, Packets;
    int BandwidthRefreshes = 0, PacketsRefreshes = 0;
    std::vector<std::string> ResyncMarks;
    std::vector<int32_t> Intervals;
    int Snapshots = 0;
    int Failures = 0;
    std::vector<std::string> Reasons;         // the hint of each failure
    std::vector<std::string> InterfaceChecks; // each check's hint text

    bool ThrowOnSnapshot = false;
    bool ThrowOnFailure = false;
    std::string Now = "2024-05-06 07:08:09";
    NumberLocale Locale{".", ","};

    void SetGaugeMaxima(int32_t downMax, int32_t upMax) override {
        Calls.push_back("SetGaugeMaxima");
        // The gauge refuses a maximum below its minimum of 0.
        if (downMax < 0 || upMax < 0) {
            throw std::invalid_argument("Value must be between 1 and 2147483647");
        }
        DownMax = downMax;
        UpMax = upMax;
    }
    void ShowRates(int32_t downRate, int32_t upRate, int32_t downProgress, int32_t upProgress) override {
        Calls.push_back("ShowRates");
        // The texts the windows make of these numbers.
        const RateTexts texts = MainRateTexts(downRate, upRate, Locale);
        Label3 = texts.Down;
        Label4 = texts.Up;
        DownProgress = downProgress;
        UpProgress = upProgress;
        ++ShowRatesCount;
    }
    std::string NowText() override { return Now; }
    void RefreshBandwidthGraph(const BandwidthFigures& figures) override {
        Calls.push_back("RefreshBandwidthGraph");
        Bandwidth = BandwidthGraphTexts(figures, Locale);
        ++BandwidthRefreshes;
    }
    void RefreshPacketsGraph(const PacketFigures& figures) override {
        Calls.push_back("RefreshPacketsGraph");
        Packets = PacketsGraphTexts(figures, Locale);
        ++PacketsRefreshes;
    }
    void SetResyncMark(const std::string& text) override {
        Calls.push_back("SetResyncMark");
        ResyncMarks.push_back(text);
    }
    void SetPollInterval(int32_t ms) override {
        Calls.push_back("SetPollInterval");
        Intervals.push_back(ms);
    }
    void SaveResyncSnapshot() override {
        Calls.push_back("SaveResyncSnapshot");
        ++Snapshots;
        if (ThrowOnSnapshot) {
            throw std::runtime_error("Cannot create file VQ_x_p.bmp");
        }
    }
    void ShowFailure(const std::string& reason) override {
        Calls.push_back("ShowFailure");
        Reasons.push_back(reason);
        ++Failures;
        Label3 = "Err";
        Label4 = "Err";
        DownProgress = 0;
        UpProgress = 0;
        if (ThrowOnFailure) {
            throw std::runtime_error("window gone");
        }
    }
    void ShowInterfaceCheck(const std::string& text) override {
        Calls.push_back("ShowInterfaceCheck");
        InterfaceChecks.push_back(text);
    }
    std::function<void(const UsageTick&)> OnUsage; // each usage tick, when set
    void RecordUsage(const UsageTick& tick) override {
        if (OnUsage) {
            OnUsage(tick);
        }
    }
};

} // namespace veltrum::test
