// veltrum_bench: one binary for every measured operation. Operations that
// have a peer are registered twice, "<operation>/veltrum" and
// "<operation>/netsnmp", so one run gives both and their ratio.
#include <benchmark/benchmark.h>

#ifdef VELTRUM_BENCH_GUI
#include <QApplication>
#include <cstdlib>
#endif

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
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
