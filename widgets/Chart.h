#pragma once
// TChart: the line-chart view of the two graph windows, with its TLineSeries.
//
// The graph windows refill every series from scratch at each poll (hundreds
// of RemoveAllPoints/AppendPoint calls), so every change only marks the view
// for repainting and the picture is drawn once, later, by the paint event.
// One routine, Render(), draws the picture for the screen, the saved bitmap
// and the printer; labels that the windows place on the view are child
// widgets and therefore appear on screen only.

#include "widgets/ChartAxis.h"

#include <QHash>
#include <QStaticText>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

class QPainter;

namespace veltrum {

// "Axis Maximum Value must be >= Minimum", "Cannot create file %s",
// "There is no default printer currently selected" and print failures.
class EChartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TPenStyle { Solid, Dash, Dot };

class TChart;

class TLineSeries final {
public:
    // Only a chart creates series (TChart::AddSeries).
    class Key {
        friend class TChart;
        Key() = default;
    };
    TLineSeries(Key, TChart& chart, QString name);
    TLineSeries(const TLineSeries&) = delete;
    TLineSeries& operator=(const TLineSeries&) = delete;

    // The component name given to AddSeries ("Series1").
    const QString& Name() const { return m_name; }
    const QString& Title() const { return m_title; }
    void SetTitle(const QString& title);

    // Both only mark the chart for repainting.
    void RemoveAllPoints();
    // X = number of points before the call; colour 0x00BBGGRR.
    void AppendPoint(double value, uint32_t bgrColor);
    const std::vector<TChartPoint>& Points() const { return m_points; }

    // The line takes the colours of its points; the pen colour is kept for
    // callers that read it back.
    void SetPenColor(uint32_t bgr);
    uint32_t PenColor() const { return m_penColor; }
    void SetPenWidth(int width);
    int PenWidth() const { return m_penWidth; }
    void SetPenStyle(TPenStyle style);
    TPenStyle PenStyle() const { return m_penStyle; }
    // An invisible pen draws nothing; the points still count for the automatic maximum.
    void SetPenVisible(bool visible);
    bool PenVisible() const { return m_penVisible; }

private:
    TChart& m_chart;
    QString m_name;
    QString m_title;
    std::vector<TChartPoint> m_points;
    uint32_t m_penColor = 0x00000000;
    int m_penWidth = 1;
    TPenStyle m_penStyle = TPenStyle::Solid;
    bool m_penVisible = true;
};

class TChart final : public QWidget {
    Q_OBJECT
public:
    // Two-dimensional, no zoom, title "Veltrum" and an empty line, value axis
    // from 0 to a manual maximum of 1000, no legend, hidden bottom axis.
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    // Drawing order is the order of adding: the first series is at the back.
    TLineSeries* AddSeries(const QString& name);
    // nullptr when no series has that name.
    TLineSeries* Series(const QString& name) const;
    std::vector<const TLineSeries*> AllSeries() const;

    void ClearTitle();
    void AddTitleLine(const QString& line);
    QStringList TitleLines() const { return m_titleLines; }

    // Caption drawn along the value axis ("[kbps]", "[p/s]").
    void SetAxisTitle(const QString& title);
    QString AxisTitle() const { return m_axisTitle; }

    bool AutomaticMaximum() const { return m_automaticMaximum; }
    void SetAutomaticMaximum(bool automatic);
    double Maximum() const { return m_maximum; }
    // A maximum below the axis minimum 0 (or not a number) is refused with
    // "Axis Maximum Value must be >= Minimum" and the old maximum stays.
    void SetMaximum(double maximum);
    // The top in force: the manual maximum, or with the automatic maximum the
    // largest Y of all series that hold points, drawn or not (the manual
    // maximum while no series holds a point).
    double AxisTop() const;

    // Writes the picture at the view's size as an uncompressed Windows bitmap.
    void SaveChartBitmap(const QString& path) const;
    // One landscape page on the default printer, document title objectName(),
    // 15 % margins, no dialog.
    void PrintChartLandscape() const;

    // Draws the whole picture (no child widgets), stretched to `target`.
    void Render(QPainter& painter, const QRect& target) const;
    // The picture at the view's size, as the bitmap file receives it.
    QImage RenderImage() const;

    // Paint events handled since creation (tests check one repaint per refill).
    int PaintCount() const { return m_paintCount; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    friend class TLineSeries;
    void invalidate();
    QStaticText staticText(const QString& text, const QFont& font) const;

    std::vector<std::unique_ptr<TLineSeries>> m_series;
    QStringList m_titleLines;
    QString m_axisTitle;
    bool m_automaticMaximum = false;
    double m_maximum = 1000.0;
    int m_paintCount = 0;
    bool m_repaintAsked = false; // an update() is pending while the view is shown
    mutable QHash<QString, QStaticText> m_textCache;
};

} // namespace veltrum
