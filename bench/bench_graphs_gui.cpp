// One poll tick's work in the graph windows: the bandwidth window refills its
// six series and the packets window its four (120 points each) from the
// lines each keeps, then each chart is repainted once at 752 x 393.
#include "core/MonitorState.h"
#include "graphs/StillMonitor.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"
#include "widgets/Chart.h"

#include <QImage>
#include <benchmark/benchmark.h>

namespace {

using namespace veltrum;

void FillSettings(MonitorState& state) {
    state.HistoryLength = 120;
    state.DownloadScale = 1024;
    state.UploadScale = 2048;
    state.DownloadColor = kYellow;
    state.UploadColor = kRed;
    state.ShowAverages = true;
    state.AutoScale = true;
    state.OpacityReady = true;
    state.MainOpacity = state.GraphOpacity = 255;
    state.SessionName = "Veltrum";
}

void FillLines(GraphLines& bandwidth, GraphLines& packets, int tick) {
    for (int i = 1; i <= 120; ++i) {
        bandwidth.Down[i] = (i * 37 + tick * 11) % 1500;
        bandwidth.Up[i] = (i * 53 + tick * 7) % 600;
        packets.Down[i] = (i * 13 + tick) % 900;
        packets.Up[i] = (i * 29 + tick) % 400;
        bandwidth.DownAvg[i] = 700;
        bandwidth.UpAvg[i] = 300;
        packets.DownAvg[i] = 450;
        packets.UpAvg[i] = 200;
    }
}

void BM_GraphTick(benchmark::State& bench) {
    test::StillMonitor still;
    FillSettings(still.state);
    TFormWykres wykres(still.monitor, "/tmp/");
    TFormWykresPkt wykresPkt(still.monitor, "/tmp/");
    FillLines(wykres.Lines(), wykresPkt.Lines(), 0);
    wykres.ConfigureForRestart();
    wykresPkt.ConfigureForRestart();
    const GraphTexts bandwidth{"Veltrum     12/7/26 9:15:03 PM",
                               "                     Total:  1.2 MB / 0.4 MB (0d 0h 1m 5s)",
                               "0.7 Mbps",
                               "0.3 Mbps",
                               "1.2 Mbps",
                               "0.5 Mbps",
                               ""};
    const GraphTexts packets{"Veltrum     12/7/26 9:15:03 PM",
                             "                     Total I/O:  1,234 p/s  (max: 2,345) p/s",
                             "450 p/s",
                             "200 p/s",
                             "800 p/s",
                             "434 p/s",
                             ""};
    int tick = 0;
    for (auto _ : bench) {
        FillLines(wykres.Lines(), wykresPkt.Lines(), ++tick);
        wykres.Refresh(bandwidth);
        wykresPkt.Refresh(packets);
        QImage first = wykres.Chart1->RenderImage();
        QImage second = wykresPkt.Chart2->RenderImage();
        benchmark::DoNotOptimize(first.constBits());
        benchmark::DoNotOptimize(second.constBits());
    }
}
BENCHMARK(BM_GraphTick)->Name("graphs/PollTickRefillAndRepaintBoth")->Unit(benchmark::kMicrosecond);

} // namespace
