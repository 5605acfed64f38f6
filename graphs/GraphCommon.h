#pragma once
// Free functions behind the graph windows' base (graphs/GraphWindow.h): the
// refill of a series, the name and the writing of the chart bitmap, and the
// text labels laid over the chart view.

#include "core/MonitorState.h"
#include "graphs/BitmapFolder.h"
#include "widgets/FileNames.h"

#include <QString>

#include <cstdint>
#include <string>

class QDateTime;
class QLabel;
class QWidget;

namespace veltrum {

class TChart;
class TLineSeries;

// Both graph windows have a fixed client area of this size.
inline constexpr int kGraphClientWidth = 752;
inline constexpr int kGraphClientHeight = 393;
// The manual axis maximum set alongside the automatic one: it only stands in
// when the automatic maximum is switched off again.
inline constexpr double kAutoScaleMaximum = 10000000.0;

// Empties `series` and appends slots 1..length in slot order, so that X = 0
// is the newest sample, every point in `color` (0x00BBGGRR).
void RefillSeries(TLineSeries& series, const History& history, int32_t length, uint32_t color);

// Empties `series` and appends `value` `length` times (a flat line).
void RefillFlatSeries(TLineSeries& series, int32_t value, int32_t length, uint32_t color);

// "VQ_" + session + "_" + side + yyyyMMddhhmmss + ".bmp" in `programDir`
// (which ends in "/"). The year is written without leading zeros.
QString ChartBitmapPath(const std::string& programDir, const std::string& sessionName, const char* side,
                        const QDateTime& now);

// Writes `chart` to the bitmap named for `sessionName` at the current local
// time in `folder`, making the folder first where it is the program's to
// make, and returns the file's path. Throws "Cannot create file %s" with the full path, writing nothing,
// when the session name cannot be part of a file name (IsFileNamePart): no
// session name can lead the bitmap out of `folder`. The chart view's own
// failures pass through (a folder that is missing stays missing there).
QString SaveGraphBitmap(const TChart& chart, const BitmapFolder& folder, const std::string& sessionName,
                        const char* side);

// A label over the chart view at (left, top) in Arial 9 pt, sized to its text.
// Mouse events go through it to the chart, so a double-click or a right-click
// anywhere on the chart reaches the window.
QLabel* AddOverlayLabel(QWidget* chart, int left, int top, const QString& text);

// Sets a label's text and resizes it to fit, as an auto-sized label does.
void SetOverlayText(QLabel* label, const QString& text);

} // namespace veltrum
