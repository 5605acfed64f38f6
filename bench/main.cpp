// veltrum_bench: one binary for every measured operation. Operations that
// have a peer are registered twice, "<operation>/veltrum" and
// "<operation>/netsnmp", so one run gives both, and the end of the report
// gives their ratios: from the medians and from the fastest repetitions of
// each side (the fastest are the least disturbed by a busy machine). Run
// with --benchmark_repetitions and --benchmark_enable_random_interleaving
// so that both sides meet the same moments of the machine (scripts/bench).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#ifdef VELTRUM_BENCH_GUI
#include <QApplication>
#include <cstdlib>
#endif

namespace {

// The console report with the repetitions folded into their aggregates
// (when there are any), and the ratio table at the end.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Color : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1) {
                shown.push_back(run);
            }
        }
        if (!shown.empty()) {
            ConsoleReporter::ReportRuns(shown);
        }
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) {
                continue;
            }
            const std::string& name = run.run_name.function_name;
            const std::size_t slash = name.rfind('/');
            if (slash == std::string::npos) {
                continue;
            }
            // A benchmark measured in real time (one whose peer is another
            // process) compares real times; the rest compare CPU time.
            const bool real = !run.run_name.time_type.empty();
            if (real) {
                m_realTime.insert(name.substr(0, slash));
            }
            m_times[name.substr(0, slash)][name.substr(slash + 1)].push_back(real ? run.GetAdjustedRealTime()
                                                                                 : run.GetAdjustedCPUTime());
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        bool header = false;
        for (auto& [operation, sides] : m_times) {
            auto ours = sides.find("veltrum");
            auto peer = sides.find("netsnmp");
            if (ours == sides.end() || peer == sides.end()) {
                continue;
            }
            if (!header) {
                std::printf("\n%-28s %12s %12s %9s %9s\n", "net-snmp / veltrum (CPU)", "veltrum", "net-snmp",
                            "median", "fastest");
                header = true;
            }
            const double ourMedian = median(ours->second);
            const double peerMedian = median(peer->second);
            const double ourBest = *std::min_element(ours->second.begin(), ours->second.end());
            const double peerBest = *std::min_element(peer->second.begin(), peer->second.end());
            std::printf("%-28s %12.1f %12.1f %8.1fx %8.1fx  (%zu + %zu runs%s)\n", operation.c_str(), ourMedian,
                        peerMedian, peerMedian / ourMedian, peerBest / ourBest, ours->second.size(),
                        peer->second.size(), m_realTime.count(operation) != 0 ? ", real time" : "");
        }
    }

private:
    static double median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }

    // Operation, side, time of each repetition (CPU time, or real time for
    // those in m_realTime), in the unit printed above.
    std::map<std::string, std::map<std::string, std::vector<double>>> m_times;
    std::set<std::string> m_realTime; // operations compared in real time
};

} // namespace

int main(int argc, char** argv) {
#ifdef VELTRUM_BENCH_GUI
    // Repaints are measured offscreen: no display is needed.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
