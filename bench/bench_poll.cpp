// The poll cycle's own work after the exchange: the four value texts turned
// into readings, rates, totals, gauge values, histories, averages and every
// label and title text, made as the windows make them.
#include "core/PollCycle.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// As the windows do: the texts made of each poll's numbers.
class QuietView final : public veltrum::PollView {
public:
    void SetGaugeMaxima(int32_t, int32_t) override {}
    void ShowRates(int32_t downRate, int32_t upRate, int32_t down, int32_t up) override {
        const veltrum::RateTexts texts = veltrum::MainRateTexts(downRate, upRate, m_locale);
        benchmark::DoNotOptimize(texts.Down.data());
        benchmark::DoNotOptimize(texts.Up.data());
        benchmark::DoNotOptimize(down + up);
    }
    std::string NowText() override { return "06/05/2024 07:08:09"; }
    void RefreshBandwidthGraph(const veltrum::BandwidthFigures& figures) override {
        benchmark::DoNotOptimize(veltrum::BandwidthGraphTexts(figures, m_locale).Label8.data());
    }
    void RefreshPacketsGraph(const veltrum::PacketFigures& figures) override {
        benchmark::DoNotOptimize(veltrum::PacketsGraphTexts(figures, m_locale).Label8.data());
    }
    void SetResyncMark(const std::string&) override {}
    void SetPollInterval(int32_t ms) override { benchmark::DoNotOptimize(ms); }
    void SaveResyncSnapshot() override {}
    void ShowFailure(const std::string&) override {}

private:
    veltrum::NumberLocale m_locale;
};

// Readings of a busy line: a few megabits each way, varying from poll to poll.
std::vector<std::array<std::string, 4>> makeReadings(size_t count) {
    std::vector<std::array<std::string, 4>> readings;
    readings.reserve(count);
    uint32_t in = 3000000000u, out = 1000000u, inPkts = 5000000u, outPkts = 4000000u;
    for (size_t i = 0; i < count; ++i) {
        in += 500000u + static_cast<uint32_t>(i % 7) * 90000u;
        out += 60000u + static_cast<uint32_t>(i % 5) * 7000u;
        inPkts += 400u + static_cast<uint32_t>(i % 3) * 50u;
        outPkts += 150u + static_cast<uint32_t>(i % 4) * 20u;
        readings.push_back(
            {std::to_string(static_cast<int32_t>(in)), std::to_string(static_cast<int32_t>(out)),
             std::to_string(static_cast<int32_t>(inPkts)), std::to_string(static_cast<int32_t>(outPkts))});
    }
    return readings;
}

void pollArithmetic(benchmark::State& bench) {
    veltrum::MonitorState state;
    state.HistoryLength = 120;
    state.DownloadScale = 4096;
    state.UploadScale = 1024;
    state.AutoScale = false; // the clipping pass runs too
    const veltrum::NumberLocale locale{".", ","};
    QuietView view;
    const auto readings = makeReadings(1024);
    // Fill the history first, so every poll averages over all 120 slots.
    for (size_t i = 0; i < 130; ++i) {
        veltrum::ApplyPollReadings(state, readings[i], view, locale);
    }
    size_t next = 0;
    for (auto _ : bench) {
        veltrum::ApplyPollReadings(state, readings[next], view, locale);
        next = (next + 1) % readings.size();
    }
    benchmark::DoNotOptimize(state.DownAvg);
}

} // namespace

BENCHMARK(pollArithmetic)->Name("poll_arithmetic/veltrum");
