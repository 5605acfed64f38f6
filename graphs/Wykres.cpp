#include "graphs/Wykres.h"

#include "graphs/GraphCommon.h"
#include "widgets/Chart.h"
#include "widgets/ErrorBox.h"

#include <algorithm>
#include <utility>

namespace veltrum {

namespace {

std::optional<GraphTexts> texts(const PollSample& sample, const NumberLocale& locale) {
    if (!sample.Bandwidth) {
        return std::nullopt;
    }
    return BandwidthGraphTexts(*sample.Bandwidth, locale);
}

const GraphWindowKind kBandwidthGraph{
    .ObjectName = "FormWykres",
    .DesignPlace = QPoint(170, 170),
    .ChartName = "Chart1",
    .AxisTitle = "[kbps]",
    .CaptionSuffix = " - Bandwidth graph",
    .BitmapSide = "b",
    .Labels = {{{368, 15, "Actual Download:"},
                {468, 15, ""},
                {384, 30, "Actual Upload:"},
                {468, 30, ""},
                {556, 15, "Average Download:"},
                {668, 15, ""},
                {572, 30, "Average Upload:"},
                {668, 30, ""}}},
    .Side = GraphSide::Bandwidth,
    .Lines = &PollSample::BandwidthLines,
    .Texts = &texts,
};

} // namespace

TFormWykres::TFormWykres(Monitor& monitor, BitmapFolder pictures, QWidget* parent)
    : TGraphWindow(monitor, std::move(pictures), kBandwidthGraph, parent) {
    Chart1 = chart();
    // Drawing order, back to front: the flat lines under the rate lines, and
    // the upload line over the download line.
    Series4 = Chart1->AddSeries(QStringLiteral("Series4"));
    Series5 = Chart1->AddSeries(QStringLiteral("Series5"));
    Series3 = Chart1->AddSeries(QStringLiteral("Series3"));
    Series6 = Chart1->AddSeries(QStringLiteral("Series6"));
    Series1 = Chart1->AddSeries(QStringLiteral("Series1"));
    Series2 = Chart1->AddSeries(QStringLiteral("Series2"));
    styleRateSeries();
    Series5->SetPenWidth(1);
    Series6->SetPenWidth(1);
    Series5->SetPenColor(kYellow);
    Series6->SetPenColor(kRed);
    connect(Chart1, &TChart::doubleClicked, this, [this] { RunGuarded(this, [this] { Chart1DblClick(); }); });
}

void TFormWykres::applyScaleRules(bool /*forRestart*/) {
    const ViewSettings settings = m_monitor.Settings();
    Series5->SetPenVisible(settings.ShowMaxLines);
    Series6->SetPenVisible(settings.ShowMaxLines);
    Chart1->SetAutomaticMaximum(settings.AutoScale);
    if (settings.AutoScale) {
        Chart1->SetMaximum(kAutoScaleMaximum);
    } else {
        // The download scale wins a tie.
        Chart1->SetMaximum(std::max(settings.DownloadScale, settings.UploadScale));
    }
}

void TFormWykres::refillOwnSeries(int32_t length) {
    // Refilled while hidden too: with the automatic maximum they keep the axis
    // top at or above the larger scale.
    const ViewSettings settings = m_monitor.Settings();
    RefillFlatSeries(*Series5, settings.DownloadScale, length, settings.DownloadColor);
    RefillFlatSeries(*Series6, settings.UploadScale, length, settings.UploadColor);
}

void TFormWykres::Chart1DblClick() {
    BitBtn2Click();
}

} // namespace veltrum
