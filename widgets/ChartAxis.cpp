#include "widgets/ChartAxis.h"

#include <algorithm>
#include <cmath>

namespace veltrum {

std::optional<double> AutomaticTop(std::span<const std::vector<TChartPoint>* const> pointLists) {
    std::optional<double> top;
    for (const std::vector<TChartPoint>* points : pointLists) {
        if (points == nullptr) {
            continue;
        }
        for (const TChartPoint& point : *points) {
            // A value that is not a number or infinite would leave no axis to draw.
            if (std::isfinite(point.Y) && (!top || point.Y > *top)) {
                top = point.Y;
            }
        }
    }
    return top;
}

namespace {

// The smallest of 1, 2, 5 times a power of ten that is >= value (> 0).
double NiceCeil(double value) {
    double decade = std::pow(10.0, std::floor(std::log10(value)));
    for (;;) {
        for (const double mantissa : {1.0, 2.0, 5.0}) {
            const double step = mantissa * decade;
            // A hair of tolerance so that a quotient like 2.0000000000000004 stays 2.
            if (step >= value * (1.0 - 1e-12)) {
                return step;
            }
        }
        decade *= 10.0;
    }
}

} // namespace

TAxisSteps AxisSteps(double top, int plotHeight, int labelHeight, int separationPercent, int minorTickCount) {
    const int between = std::max(minorTickCount, 0) + 1;
    if (!std::isfinite(top) || top <= 0.0) {
        return {1.0, 1.0 / between};
    }
    double label = 0.0;
    if (plotHeight <= 0) {
        label = NiceCeil(top);
    } else {
        const double room = std::max(labelHeight, 1) * (100.0 + std::max(separationPercent, 0)) / 100.0;
        label = NiceCeil(top * room / plotHeight);
    }
    return {label, label / between};
}

std::vector<double> AxisLabelValues(double top, double step) {
    std::vector<double> values;
    if (!std::isfinite(top) || !std::isfinite(step) || step <= 0.0 || top < 0.0) {
        return values;
    }
    const double last = std::floor(top / step + 1e-6);
    // Bounded: a step far below the top would otherwise ask for millions of labels.
    if (last > 10000.0) {
        return values;
    }
    for (int i = 0; i <= static_cast<int>(last); ++i) {
        values.push_back(i * step);
    }
    return values;
}

int AxisLabelDecimals(double step) {
    if (!std::isfinite(step) || step <= 0.0 || step >= 1.0) {
        return 0;
    }
    int decimals = 0;
    double scaled = step;
    while (decimals < 15 && std::fabs(scaled - std::round(scaled)) > 1e-9 * std::max(1.0, scaled)) {
        scaled *= 10.0;
        ++decimals;
    }
    return decimals;
}

} // namespace veltrum
