// Repaint costs of the drawing controls: the main window redraws two gauges
// at every poll, and each graph window refills six series of 120 points and
// repaints once per poll.
#include "widgets/Chart.h"
#include "widgets/Gauge.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using veltrum::TChart;
using veltrum::TGauge;
using veltrum::TLineSeries;

constexpr int kSeries = 6;
constexpr int kPoints = 120;

void BM_GaugeRepaint(benchmark::State& state) {
    TGauge gauge;
    gauge.resize(9, 35);
    gauge.SetKind(veltrum::gkVerticalBar);
    gauge.SetBorderStyle(veltrum::bsNone);
    gauge.SetShowText(false);
    gauge.SetBackColor(0x00808080);
    gauge.SetForeColor(0x0000FFFF);
    gauge.SetMaxValue(2000);
    int32_t progress = 0;
    for (auto _ : state) {
        progress = (progress + 137) % 2001;
        gauge.SetProgress(progress);
        QImage image = gauge.Render();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_GaugeRepaint)->Name("widgets/GaugeRepaint9x35");

// The bandwidth window's chart: two rate lines, two dotted averages, two
// flat maximum lines, shown so that every change goes through Qt's update().
struct ChartFixture {
    TChart chart;
    std::vector<TLineSeries*> series;
    int tick = 0;

    ChartFixture() {
        chart.resize(752, 393);
        chart.SetAxisTitle("[kbps]");
        chart.SetAutomaticMaximum(true);
        for (int i = 1; i <= kSeries; ++i) {
            series.push_back(chart.AddSeries(QString("Series%1").arg(i)));
        }
        series[0]->SetPenWidth(2);
        series[1]->SetPenWidth(2);
        series[2]->SetPenStyle(veltrum::TPenStyle::Dot);
        series[3]->SetPenStyle(veltrum::TPenStyle::Dot);
        chart.show();
        Refill();
    }

    void Refill() {
        ++tick;
        chart.ClearTitle();
        chart.AddTitleLine(QString("Veltrum     tick %1").arg(tick));
        chart.AddTitleLine(QString(21, ' ') + "Total:  1 MB / 2 MB (5s)");
        for (int s = 0; s < kSeries; ++s) {
            TLineSeries* line = series[size_t(s)];
            const uint32_t colour = s % 2 == 0 ? 0x0000FFFF : 0x000000FF;
            line->RemoveAllPoints();
            for (int i = 0; i < kPoints; ++i) {
                const double value = s < 2 ? 1000 + 800 * std::sin((i + tick) * 0.3 + s) : 500.0 * (s - 1);
                line->AppendPoint(value, colour);
            }
        }
    }
};

void BM_ChartRepaint(benchmark::State& state) {
    ChartFixture fixture;
    QImage image(752, 393, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        fixture.chart.Render(painter, image.rect());
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ChartRepaint)->Name("widgets/ChartRepaint752x393_6x120")->Unit(benchmark::kMicrosecond);

void BM_ChartRefill(benchmark::State& state) {
    ChartFixture fixture;
    for (auto _ : state) {
        fixture.Refill();
    }
}
BENCHMARK(BM_ChartRefill)->Name("widgets/ChartRefill_6x120")->Unit(benchmark::kMicrosecond);

void BM_ChartRefillAndRepaint(benchmark::State& state) {
    ChartFixture fixture;
    QImage image(752, 393, QImage::Format_RGB32);
    for (auto _ : state) {
        fixture.Refill();
        QPainter painter(&image);
        fixture.chart.Render(painter, image.rect());
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ChartRefillAndRepaint)
    ->Name("widgets/ChartRefillAndRepaint_6x120")
    ->Unit(benchmark::kMicrosecond);

} // namespace
