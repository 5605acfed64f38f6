// The usage history's costs: accounting one poll's tick, one flush (a
// minute of ticks in one transaction), the size of the database after two
// simulated years of one interface, and `veltrum --usage --json`'s work
// (open, ask, format) on that database.
#include "history/UsageRecorder.h"
#include "history/UsageReport.h"

#ifdef VELTRUM_BENCH_GUI
#include "core/UsageRecording.h"
#include "graphs/StillMonitor.h"
#include "graphs/UsageWindow.h"

#include <QPixmap>
#endif

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace veltrum;

// A folder of its own, removed at the end.
class Scratch final {
public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltrum-bench-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

const std::string kAgent = "192.168.1.1:161";
constexpr int64_t kStart = 1'767'225'600; // 2026-01-01T00:00:00Z

UsageTick tickAt(int64_t t, uint64_t in, uint64_t out, bool counted = true) {
    UsageTick tick;
    tick.Time = t;
    tick.Kind = counted ? UsageTickKind::Counted : UsageTickKind::Uncounted;
    tick.Differences = {in, out, in / 1200, out / 900};
    tick.CounterBits = 64;
    tick.Readings = {static_cast<uint64_t>(t) * 1000, static_cast<uint64_t>(t) * 300, 0, 0};
    tick.Speed = 100'000'000;
    return tick;
}

void usageAccounting(benchmark::State& bench) {
    const Scratch scratch;
    UsageRecorder recorder(scratch.File("usage.sqlite3"), kAgent, 1, "", RecorderOptions{INT64_MAX / 4});
    int64_t t = kStart;
    recorder.Record(tickAt(t, 0, 0, false));
    for (auto _ : bench) {
        ++t;
        recorder.Record(tickAt(t, 1'250'000 + static_cast<uint64_t>(t % 7) * 1000, 150'000));
    }
    bench.SetItemsProcessed(bench.iterations());
}

// The writes of the history at the interval given (kUsageWriteEvery, and the
// minute it was before): each iteration is that many seconds of ticks, so
// share_of_a_core is what recording costs the program while it runs.
void usageFlush(benchmark::State& bench) {
    const Scratch scratch;
    const int64_t every = bench.range(0);
    UsageRecorder recorder(scratch.File("usage.sqlite3"), kAgent, 1, "", RecorderOptions{every});
    int64_t t = kStart;
    recorder.Record(tickAt(t, 0, 0, false));
    for (auto _ : bench) {
        for (int64_t i = 0; i < every; ++i) { // the last tick fills the interval: one transaction
            recorder.Record(tickAt(++t, 1'250'000, 150'000));
        }
    }
    bench.counters["share_of_a_core"] = benchmark::Counter(
        static_cast<double>(every), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Two years of one interface: every row a real run leaves, written an hour
// at a time (the rows are the same whatever the flush's rhythm), with the
// old five-minute and hourly rows dropped as they age.
const std::string& twoYears() {
    static const Scratch scratch;
    static const std::string path = [] {
        const std::string file = scratch.File("usage.sqlite3");
        UsageRecorder recorder(file, kAgent, 1, "eth0", RecorderOptions{3600});
        recorder.Record(tickAt(kStart, 0, 0, false));
        for (int64_t t = kStart + 300; t <= kStart + 2 * 365 * 86400; t += 300) {
            recorder.Record(tickAt(t, 300'000'000 + static_cast<uint64_t>(t % 86400) * 1000,
                                   40'000'000 + static_cast<uint64_t>(t % 3600) * 100));
        }
        return file;
    }();
    return path;
}

void usageDatabaseTwoYears(benchmark::State& bench) {
    const std::string& path = twoYears();
    for (auto _ : bench) {
        benchmark::DoNotOptimize(std::filesystem::file_size(path));
    }
    bench.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    // To time the program itself on it: veltrum --usage --json.
    if (const char* keep = std::getenv("VELTRUM_BENCH_KEEP_HISTORY")) {
        std::filesystem::copy_file(path, keep, std::filesystem::copy_options::overwrite_existing);
    }
}

void usageJson(benchmark::State& bench) {
    const std::string& path = twoYears();
    const int64_t now = kStart + 2 * 365 * 86400;
    size_t size = 0;
    for (auto _ : bench) {
        const UsageAnswer answer =
            AnswerUsage(path, {kAgent, 1, "eth0"}, QuotaSettings{.BillingDay = 15}, UsageFormat::Json, now);
        size = answer.Out.size();
        benchmark::DoNotOptimize(answer.Out.data());
    }
    bench.counters["json_bytes"] = static_cast<double>(size);
}

#ifdef VELTRUM_BENCH_GUI
// The usage window's opening on two years of history: made, its figures
// asked of the store through the monitor's recorder, laid out and drawn.
void usageWindowOpens(benchmark::State& bench) {
    UsageRecording usage;
    usage.SetDatabase(twoYears());
    usage.Watch(kAgent, 1, "eth0");
    test::StillMonitor still;
    MonitorState& state = still.state;
    state.SessionName = "Veltrum";
    state.DownloadColor = kYellow;
    state.UploadColor = kRed;
    const int64_t now = kStart + 2 * 365 * 86400;
    for (auto _ : bench) {
        TFormUsage window(still.monitor, [&] { return usage.Summary(state, now); });
        window.ShowUsage();
        const QPixmap drawn = window.grab();
        benchmark::DoNotOptimize(drawn.cacheKey());
    }
}
#endif

} // namespace

BENCHMARK(usageAccounting)->Name("usage_accounting_per_poll");
BENCHMARK(usageFlush)->Name("usage_flush")->Arg(kUsageWriteEvery)->Arg(60)->Unit(benchmark::kMillisecond);
BENCHMARK(usageDatabaseTwoYears)->Name("usage_database_two_years")->Iterations(1);
BENCHMARK(usageJson)->Name("usage_json")->Unit(benchmark::kMillisecond);
#ifdef VELTRUM_BENCH_GUI
BENCHMARK(usageWindowOpens)->Name("usage_window_opens")->Unit(benchmark::kMillisecond);
#endif
