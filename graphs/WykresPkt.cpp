#include "graphs/WykresPkt.h"

#include "graphs/GraphCommon.h"
#include "widgets/Chart.h"
#include "widgets/ErrorBox.h"

#include <QLabel>

#include <utility>

namespace veltrum {

namespace {

std::optional<GraphTexts> texts(const PollSample& sample, const NumberLocale& locale) {
    if (!sample.Packets) {
        return std::nullopt;
    }
    return PacketsGraphTexts(*sample.Packets, locale);
}

const GraphWindowKind kPacketsGraph{
    .ObjectName = "FormWykresPkt",
    .DesignPlace = QPoint(190, 190),
    .ChartName = "Chart2",
    .AxisTitle = "[p/s]",
    .CaptionSuffix = " - Packets graph",
    .BitmapSide = "p",
    .Labels = {{{360, 15, "Actual Packets In:"},
                {460, 15, ""},
                {351, 30, "Actual Packets Out:"},
                {460, 30, ""},
                {556, 15, "Average Packets In:"},
                {668, 15, ""},
                {547, 30, "Average Packets Out:"},
                {668, 30, ""}}},
    .Side = GraphSide::Packets,
    .Lines = &PollSample::PacketLines,
    .Texts = &texts,
};

} // namespace

TFormWykresPkt::TFormWykresPkt(Monitor& monitor, BitmapFolder pictures, QWidget* parent)
    : TGraphWindow(monitor, std::move(pictures), kPacketsGraph, parent) {
    Chart2 = chart();
    // Back to front: the average lines under the packet lines.
    Series3 = Chart2->AddSeries(QStringLiteral("Series3"));
    Series4 = Chart2->AddSeries(QStringLiteral("Series4"));
    Series1 = Chart2->AddSeries(QStringLiteral("Series1"));
    Series2 = Chart2->AddSeries(QStringLiteral("Series2"));
    styleRateSeries();
    // The marks use the window's own font, not the labels' Arial.
    Label9 = AddOverlayLabel(Chart2, 6, 3, QString());
    Label9->setFont(font());
    SetOverlayText(Label9, QStringLiteral("L9"));
    connect(Chart2, &TChart::doubleClicked, this, [this] { RunGuarded(this, [this] { Chart2DblClick(); }); });
}

void TFormWykresPkt::applyScaleRules(bool forRestart) {
    Chart2->SetAutomaticMaximum(true);
    if (forRestart) {
        Chart2->SetMaximum(kAutoScaleMaximum);
    }
}

void TFormWykresPkt::SetResyncMark(const QString& text) {
    SetOverlayText(Label9, text);
}

void TFormWykresPkt::Chart2DblClick() {
    BitBtn2Click();
}

void TFormWykresPkt::showResyncMark(const std::string& text) {
    SetResyncMark(QString::fromStdString(text));
}

void TFormWykresPkt::OnResyncSnapshot() {
    BitBtn3Click();
}

} // namespace veltrum
