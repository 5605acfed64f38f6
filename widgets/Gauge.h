#pragma once
// TGauge: the small bar control of the main window. It shows an integer
// progress between a minimum and a maximum as the filled part of a bar.
//
// The picture is composed off screen exactly as the control has always done
// it (a black image, the gauge drawn on a second black image and combined
// with exclusive-or, the percent text in white on top), so Render() returns
// the very pixels the paint event copies to the screen and tests can count
// them without a display.

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <stdexcept>

namespace veltrum {

// Raised by the range setters: "Value must be between %d and %d".
class EGaugeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum TBorderStyle { bsNone, bsSingle };

// Percent done: truncate((progress - min) * 100 / (max - min)), computed in
// floating point, 0 for an empty range.
int32_t GaugePercent(int32_t minValue, int32_t maxValue, int32_t progress);

class TGauge final : public QWidget {
    Q_OBJECT
public:
    // 100 x 100, range 0..100, progress 0, horizontal bar, percent text,
    // single border, black bar on white.
    explicit TGauge(QWidget* parent = nullptr);

    int32_t MinValue() const { return m_minValue; }
    void SetMinValue(int32_t value);
    int32_t MaxValue() const { return m_maxValue; }
    void SetMaxValue(int32_t value);
    int32_t Progress() const { return m_progress; }
    // Clamps into [MinValue, MaxValue]; repaints only when the percent done changes.
    void SetProgress(int32_t value);
    int32_t PercentDone() const;

    TGaugeKind Kind() const { return m_kind; }
    void SetKind(TGaugeKind kind);
    bool ShowText() const { return m_showText; }
    void SetShowText(bool show);
    TBorderStyle BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(TBorderStyle style);
    // Colours in the layout 0x00BBGGRR.
    uint32_t ForeColor() const { return m_foreColor; }
    void SetForeColor(uint32_t bgr);
    uint32_t BackColor() const { return m_backColor; }
    void SetBackColor(uint32_t bgr);

    // The control's pixels exactly as painted, at the widget's size.
    QImage Render() const;
    // Repaints requested by the setters since creation (tests use it).
    int RepaintRequests() const { return m_repaintRequests; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void requestRepaint();

    int32_t m_minValue = 0;
    int32_t m_maxValue = 100;
    int32_t m_progress = 0;
    TGaugeKind m_kind = gkHorizontalBar;
    bool m_showText = true;
    TBorderStyle m_borderStyle = bsSingle;
    uint32_t m_foreColor = 0x00000000;
    uint32_t m_backColor = 0x00FFFFFF;
    int m_repaintRequests = 0;
};

} // namespace veltrum
