#pragma once
// The bandwidth graph window: the last HistoryLength download and upload rates
// (about kilobits per second) with their average lines and the two scale
// maxima, a two-line title and four value labels. What it shares with the
// packets graph window lives in graphs/GraphWindow.h; here are the two scale
// maximum lines and the axis rule that follows AutoScale.

#include "graphs/GraphWindow.h"

namespace veltrum {

class TFormWykres final : public TGraphWindow {
    Q_OBJECT

public:
    // The bitmaps of "Save as BMP" ("_b") go into `pictures`.
    TFormWykres(Monitor& monitor, BitmapFolder pictures, QWidget* parent = nullptr);

    void Chart1DblClick();

    TChart* Chart1 = nullptr;
    TLineSeries* Series5 = nullptr; // download scale maximum
    TLineSeries* Series6 = nullptr; // upload scale maximum

protected:
    // Series5 and Series6 shown by ShowMaxLines; the axis automatic with
    // AutoScale, else topped by the larger scale. Throws the chart view's
    // error for a negative scale while AutoScale is off.
    void applyScaleRules(bool forRestart) override;
    void refillOwnSeries(int32_t length) override;
};

} // namespace veltrum
