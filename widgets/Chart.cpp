#include "widgets/Chart.h"

#include "widgets/ChartPrint.h"
#include "widgets/Colors.h"
#include "widgets/FileNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QLibrary>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStaticText>

#include <algorithm>
#include <cmath>

namespace veltrum {

namespace {

// Title and axis texts: Arial 9 pt, given in pixels (12 at 96 dpi) so that the
// picture keeps its proportions on any device the painter is scaled to.
QFont ChartFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// The print module, loaded at the first print and kept. It is code, so it
// comes only from where the program's own files are: as installed, from the
// install path fixed when the program was built; a portable copy, from its
// own folder. A module that someone put beside that folder, or a build tree
// on the same machine, is never run.
ChartPrintFunction PrintModule() {
    static ChartPrintFunction print = nullptr;
    if (print != nullptr) {
        return print;
    }
    const QString name = QStringLiteral("veltrum-print.so");
#ifdef VELTRUM_PRINT_MODULE_DIR
    const QString folder = QString::fromUtf8(VELTRUM_PRINT_MODULE_DIR);
#else
    const QString folder = QCoreApplication::applicationDirPath();
#endif
    const QString path = QDir(folder).filePath(name);
    QString why = name + QStringLiteral(" was not found");
    if (QFileInfo::exists(path)) {
        QLibrary module(path);
        print = reinterpret_cast<ChartPrintFunction>(module.resolve(kChartPrintSymbol));
        if (print != nullptr) {
            return print; // the module stays loaded: QLibrary does not unload it
        }
        why = module.errorString();
    }
    throw EChartError(("Printing is not available: " + why).toStdString());
}

constexpr int kLabelsSeparation = 15; // percent of a label's height kept free between labels
constexpr int kMinorTickCount = 1;
constexpr int kOuterMargin = 4;
constexpr int kTitleLeft = 8;
constexpr int kRightMargin = 10;
constexpr int kTickLength = 4;
constexpr int kMinorTickLength = 2;
constexpr int kLabelGap = 2;
// Points far outside the axis range are brought this close (in pixels) before
// drawing, which keeps the raster engine away from coordinates it cannot hold.
constexpr double kFarOutside = 100000.0;

Qt::PenStyle ToQtStyle(TPenStyle style) {
    switch (style) {
    case TPenStyle::Dash:
        return Qt::DashLine;
    case TPenStyle::Dot:
        return Qt::DotLine;
    case TPenStyle::Solid:
        break;
    }
    return Qt::SolidLine;
}

} // namespace

// ---------------------------------------------------------------- TLineSeries

TLineSeries::TLineSeries(Key, TChart& chart, QString name) : m_chart(chart), m_name(std::move(name)) {}

void TLineSeries::SetTitle(const QString& title) {
    m_title = title;
}

void TLineSeries::RemoveAllPoints() {
    m_points.clear();
    m_chart.invalidate();
}

void TLineSeries::AppendPoint(double value, uint32_t bgrColor) {
    m_points.push_back(TChartPoint{static_cast<double>(m_points.size()), value, bgrColor});
    m_chart.invalidate();
}

void TLineSeries::SetPenColor(uint32_t bgr) {
    m_penColor = bgr;
    m_chart.invalidate();
}

void TLineSeries::SetPenWidth(int width) {
    m_penWidth = std::max(width, 0);
    m_chart.invalidate();
}

void TLineSeries::SetPenStyle(TPenStyle style) {
    m_penStyle = style;
    m_chart.invalidate();
}

void TLineSeries::SetPenVisible(bool visible) {
    m_penVisible = visible;
    m_chart.invalidate();
}

// --------------------------------------------------------------------- TChart

TChart::TChart(QWidget* parent) : QWidget(parent), m_titleLines{QStringLiteral("Veltrum"), QString()} {
    // Render() covers every pixel, yet the view is deliberately not marked
    // opaque: Qt paints an opaque widget's own changes in a pass of their own
    // and the labels laid over it (whose texts change at each refresh) in a
    // second pass from the window, which draws the whole picture twice a
    // refresh. Not opaque, the view and its labels are painted in one pass,
    // at the cost of the window filling its background under the view.
}

TChart::~TChart() = default;

void TChart::invalidate() {
    // A refill marks the view some thousand times; each update() merges the
    // whole view into the dirty region again, so one request until the paint
    // comes is enough. A hidden view is painted whole when it is shown.
    if (m_repaintAsked && isVisible()) {
        return;
    }
    m_repaintAsked = isVisible();
    update();
}

TLineSeries* TChart::AddSeries(const QString& name) {
    m_series.push_back(std::make_unique<TLineSeries>(TLineSeries::Key{}, *this, name));
    invalidate();
    return m_series.back().get();
}

TLineSeries* TChart::Series(const QString& name) const {
    for (const auto& series : m_series) {
        if (series->Name() == name) {
            return series.get();
        }
    }
    return nullptr;
}

std::vector<const TLineSeries*> TChart::AllSeries() const {
    std::vector<const TLineSeries*> all;
    all.reserve(m_series.size());
    for (const auto& series : m_series) {
        all.push_back(series.get());
    }
    return all;
}

void TChart::ClearTitle() {
    m_titleLines.clear();
    invalidate();
}

void TChart::AddTitleLine(const QString& line) {
    m_titleLines.append(line);
    invalidate();
}

void TChart::SetAxisTitle(const QString& title) {
    m_axisTitle = title;
    invalidate();
}

void TChart::SetAutomaticMaximum(bool automatic) {
    m_automaticMaximum = automatic;
    invalidate();
}

void TChart::SetMaximum(double maximum) {
    // The axis minimum is fixed at 0. A value that is not a number compares
    // false and is refused too, as is infinity, which leaves no scale to draw.
    if (!(maximum >= 0.0) || std::isinf(maximum)) {
        throw EChartError("Axis Maximum Value must be >= Minimum");
    }
    m_maximum = maximum;
    invalidate();
}

double TChart::AxisTop() const {
    if (!m_automaticMaximum) {
        return m_maximum;
    }
    std::vector<const std::vector<TChartPoint>*> lists;
    lists.reserve(m_series.size());
    for (const auto& series : m_series) {
        lists.push_back(&series->Points());
    }
    return AutomaticTop(lists).value_or(m_maximum);
}

QStaticText TChart::staticText(const QString& text, const QFont& font) const {
    // The axis labels and title repeat from one repaint to the next; laying
    // them out once saves most of the text cost of a repaint. The result is a
    // (shared) copy: a later insertion may move the cache's entries.
    if (m_textCache.size() > 512) {
        m_textCache.clear();
    }
    auto found = m_textCache.find(text);
    if (found == m_textCache.end()) {
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
        laidOut.prepare(QTransform(), font);
        found = m_textCache.insert(text, laidOut);
    }
    return *found;
}

void TChart::Render(QPainter& painter, const QRect& target) const {
    const QSize logical = size().isEmpty() ? target.size() : size();
    if (logical.isEmpty() || target.isEmpty()) {
        return;
    }
    const double w = logical.width();
    const double h = logical.height();

    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / w, target.height() / h);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    // Nothing is drawn outside the view; with an explicit clip the raster
    // engine also draws thin lines on its faster path.
    painter.setClipRect(QRect(0, 0, logical.width(), logical.height()));

    // The back wall is clear: the window face shows through the whole view.
    painter.fillRect(QRectF(0, 0, w, h), palette().color(QPalette::Button));

    const QFont font = ChartFont();
    const QFontMetricsF metrics(font);
    const double lineHeight = metrics.height();
    painter.setFont(font);
    painter.setPen(Qt::black);

    // Title: its lines top to bottom, left-aligned.
    double y = kOuterMargin;
    for (const QString& line : m_titleLines) {
        painter.drawText(QPointF(kTitleLeft, y + metrics.ascent()), line);
        y += lineHeight;
    }

    // Plot area: half a label's height is kept above and below it so the
    // labels at 0 and at the top fit.
    const double plotTop = std::ceil(y + std::max(6.0, lineHeight / 2 + 2));
    const double plotBottom = std::floor(h - 1 - std::max(6.0, lineHeight / 2 + 2));
    const int plotHeight = static_cast<int>(plotBottom - plotTop);

    const double top = AxisTop();
    const double span = top > 0.0 ? top : 1.0;
    const TAxisSteps steps = AxisSteps(span, plotHeight, static_cast<int>(std::ceil(lineHeight)),
                                       kLabelsSeparation, kMinorTickCount);
    const std::vector<double> labelValues = AxisLabelValues(span, steps.Label);
    const int decimals = AxisLabelDecimals(steps.Label);
    const QLocale locale;
    std::vector<QStaticText> labels;
    labels.reserve(labelValues.size());
    double labelWidth = 0;
    for (const double value : labelValues) {
        labels.push_back(staticText(locale.toString(value, 'f', decimals), font));
        labelWidth = std::max(labelWidth, labels.back().size().width());
    }

    const double axisTitleLeft = kOuterMargin;
    const double labelRight = std::ceil(axisTitleLeft + lineHeight + kOuterMargin + labelWidth);
    const double plotLeft = labelRight + kLabelGap + kTickLength;
    const double plotRight = std::max(plotLeft + 1, w - 1 - kRightMargin);
    auto toY = [&](double value) {
        const double py = plotBottom - value * (plotBottom - plotTop) / span;
        return std::clamp(py, plotTop - kFarOutside, plotBottom + kFarOutside);
    };

    // Axis title, drawn along the axis (reading upwards), centred on the plot.
    if (!m_axisTitle.isEmpty()) {
        const QStaticText title = staticText(m_axisTitle, font);
        painter.save();
        painter.translate(axisTitleLeft, (plotTop + plotBottom) / 2);
        painter.rotate(-90);
        painter.drawStaticText(QPointF(-title.size().width() / 2, 0), title);
        painter.restore();
    }

    // Value axis: line, labelled ticks with their labels, one minor tick between.
    QPen axisPen(Qt::black, 1);
    axisPen.setCapStyle(Qt::FlatCap);
    painter.setPen(axisPen);
    painter.drawLine(QPointF(plotLeft, plotTop), QPointF(plotLeft, plotBottom));
    for (size_t i = 0; i < labelValues.size(); ++i) {
        const double py = std::round(toY(labelValues[i]));
        painter.drawLine(QPointF(plotLeft - kTickLength, py), QPointF(plotLeft, py));
        const QSizeF box = labels[i].size();
        painter.drawStaticText(QPointF(labelRight - box.width(), py - box.height() / 2), labels[i]);
    }
    if (steps.Minor > 0 && !labelValues.empty()) {
        for (double value = steps.Minor; value <= span * (1 + 1e-9); value += steps.Label) {
            const double py = std::round(toY(value));
            painter.drawLine(QPointF(plotLeft - kMinorTickLength, py), QPointF(plotLeft, py));
        }
    }

    // Series, first added at the back. The bottom axis follows the point
    // indices of all series.
    size_t maxCount = 0;
    for (const auto& series : m_series) {
        maxCount = std::max(maxCount, series->Points().size());
    }
    const double maxX = maxCount > 1 ? static_cast<double>(maxCount - 1) : 1.0;
    auto toX = [&](double x) { return plotLeft + x * (plotRight - plotLeft) / maxX; };

    painter.setClipRect(
        QRect(QPoint(int(plotLeft), int(plotTop) - 2), QPoint(int(plotRight), int(plotBottom) + 2)));
    QPolygonF run;
    QVector<QLineF> strands;
    for (const auto& series : m_series) {
        const std::vector<TChartPoint>& points = series->Points();
        if (!series->PenVisible() || points.size() < 2) {
            continue;
        }
        const int width = std::max(series->PenWidth(), 1);
        // A wide solid line is laid as parallel one-pixel strands, shifted
        // across each segment's main direction: the same pixels as a wide
        // pen for the program's near-horizontal and steep segments, at a
        // fraction of the cost of Qt's wide-pen stroker.
        const bool strandsOfOne = width > 1 && series->PenStyle() == TPenStyle::Solid;
        QPen pen(Qt::black, strandsOfOne ? 1 : width, ToQtStyle(series->PenStyle()),
                 series->PenStyle() == TPenStyle::Solid ? Qt::SquareCap : Qt::FlatCap, Qt::BevelJoin);
        // Each segment takes the colour of the point it leads to; segments of
        // one colour in a row go out as one polyline.
        size_t i = 1;
        while (i < points.size()) {
            if (!std::isfinite(points[i - 1].Y) || !std::isfinite(points[i].Y)) {
                ++i;
                continue;
            }
            const uint32_t colour = points[i].Color;
            run.clear();
            run.append(QPointF(toX(points[i - 1].X), toY(points[i - 1].Y)));
            while (i < points.size() && points[i].Color == colour && std::isfinite(points[i].Y)) {
                run.append(QPointF(toX(points[i].X), toY(points[i].Y)));
                ++i;
            }
            pen.setColor(ColorFromBgr(colour));
            painter.setPen(pen);
            if (!strandsOfOne) {
                painter.drawPolyline(run);
                continue;
            }
            strands.clear();
            for (qsizetype k = 1; k < run.size(); ++k) {
                const QLineF segment(run[k - 1], run[k]);
                const bool flat = std::fabs(segment.dx()) >= std::fabs(segment.dy());
                for (int strand = -(width - 1) / 2; strand <= width / 2; ++strand) {
                    strands.append(segment.translated(flat ? QPointF(0, strand) : QPointF(strand, 0)));
                }
            }
            painter.drawLines(strands);
        }
    }
    painter.restore();
}

QImage TChart::RenderImage() const {
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    QPainter painter(&image);
    Render(painter, image.rect());
    return image;
}

void TChart::SaveChartBitmap(const QString& path) const {
    const QString full = QFileInfo(path).absoluteFilePath();
    const auto cannotCreate = [&] {
        return EChartError(QStringLiteral("Cannot create file %1").arg(full).toStdString());
    };
    // A name holding a character that Windows file names may not contain is
    // refused on every system alike. A separator inside a session name is the
    // caller's to refuse: here it cannot be told from a folder.
    const QString name = QFileInfo(path).fileName();
    if (name.isEmpty() || !IsFileNamePart(name)) {
        throw cannotCreate();
    }
    const QImage image = RenderImage();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw cannotCreate();
    }
    // Qt writes uncompressed (BI_RGB) bitmaps.
    if (!image.save(&file, "BMP") || !file.flush()) {
        file.close();
        file.remove(); // no half-written picture is left behind
        throw EChartError(QStringLiteral("Cannot write file %1").arg(full).toStdString());
    }
}

void TChart::PrintChartLandscape() const {
    ChartPrintJob job;
    job.DocName = objectName();
    job.Render = [this](QPainter& painter, const QRect& page) { Render(painter, page); };
    PrintModule()(job);
    if (!job.Error.isEmpty()) {
        throw EChartError(job.Error.toStdString());
    }
}

void TChart::paintEvent(QPaintEvent* /*event*/) {
    ++m_paintCount;
    m_repaintAsked = false;
    QPainter painter(this);
    Render(painter, rect());
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit doubleClicked();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace veltrum
