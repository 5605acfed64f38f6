#pragma once
// Axis arithmetic of the chart view, kept apart from the widget so that it is
// tested with plain tables: the automatic top of the value axis and the
// spacing of its labels.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veltrum {

// One point of a line series; Color in the layout 0x00BBGGRR.
struct TChartPoint {
    double X;
    double Y;
    uint32_t Color;
};

// Largest finite Y over all the point lists, or nothing when none holds a
// point. Every list counts, whether its line is drawn or not.
std::optional<double> AutomaticTop(std::span<const std::vector<TChartPoint>* const> pointLists);

struct TAxisSteps {
    double Label; // distance between two labelled ticks
    double Minor; // distance between two ticks, labelled or not
};

// The smallest "nice" step (1, 2 or 5 times a power of ten) at which adjacent
// labels of an axis from 0 to `top`, `plotHeight` pixels tall, are at least
// labelHeight * (100 + separationPercent) / 100 pixels apart, with
// `minorTickCount` unlabelled ticks between two labels. A degenerate axis
// (no height, no range) gets one step spanning the whole range.
TAxisSteps AxisSteps(double top, int plotHeight, int labelHeight, int separationPercent, int minorTickCount);

// Values of the labelled ticks from 0 up to `top` inclusive (a tick within a
// millionth of a step above the top counts as the top).
std::vector<double> AxisLabelValues(double top, double step);

// Decimals needed to write every multiple of `step` exactly (0 for steps >= 1).
int AxisLabelDecimals(double step);

} // namespace veltrum
