#pragma once
// A chart's print job, done by a module of its own (veltrum-print.so) that
// the program loads at the first print: Qt's print support then costs its
// memory only to those who print.

#include <QRect>
#include <QString>

#include <functional>

class QPainter;

namespace veltrum {

struct ChartPrintJob {
    QString DocName;
    // Draws the chart into the page rectangle given, on the printer's painter.
    std::function<void(QPainter&, const QRect&)> Render;
    // Set by the module when the job fails, in the user's words; empty on success.
    QString Error;
};

// The module's one entry point: prints the job landscape on the default
// printer, one page, the chart inside margins of 15 %.
using ChartPrintFunction = void (*)(ChartPrintJob& job);
inline constexpr char kChartPrintSymbol[] = "veltrum_print_chart_landscape";

} // namespace veltrum
