#include "widgets/Gauge.h"

#include "widgets/Colors.h"

#include <QColor>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>
#include <limits>

namespace veltrum {

namespace {

// 32-bit integer arithmetic wraps silently, also in the texts of the range errors.
int32_t Wrap(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

EGaugeError RangeError(int32_t low, int32_t high) {
    return EGaugeError(QString::asprintf("Value must be between %d and %d", low, high).toStdString());
}

// A rectangle given by its edges with the right and bottom edge excluded, as
// the gauge's geometry is written; Qt's QRect keeps inclusive edges.
QRect Edges(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// The vertical bar fills from the bottom edge of an area one pixel taller than
// the paint rectangle, so the bar never reaches the top row: a full gauge
// keeps one row of background and a gauge at 1 to 5 percent shows nothing.
void DrawVerticalBar(QPainter& p, const QRect& paint, int32_t percent, const QColor& fore,
                     const QColor& back) {
    const int left = paint.left();
    const int top = paint.top();
    const int right = paint.right() + 1;
    const int bottom = paint.bottom() + 1;
    p.fillRect(Edges(left, top, right, bottom), back);
    const int w = right - left + 1;
    const int h = bottom - top + 1;
    int fill = static_cast<int>(h * (percent * 0.01));
    if (fill >= h) {
        fill = h - 1;
    }
    const QRect bar = Edges(left, h - fill, w, h).intersected(paint);
    if (!bar.isEmpty()) {
        p.fillRect(bar, fore);
    }
}

void DrawHorizontalBar(QPainter& p, const QRect& paint, int32_t percent, const QColor& fore,
                       const QColor& back) {
    p.fillRect(paint, back);
    const int w = paint.width() + 1;
    int fill = static_cast<int>(w * percent * 0.01);
    if (fill > w) {
        fill = w;
    }
    if (fill < 1) {
        return;
    }
    const QRect bar =
        Edges(paint.left(), paint.top(), paint.left() + fill, paint.bottom() + 1).intersected(paint);
    if (!bar.isEmpty()) {
        p.fillRect(bar, fore);
    }
}

// The dial kinds: a circle filled clockwise from twelve o'clock, and a
// half-circle with a needle sweeping from left (0 %) to right (100 %).
void DrawPie(QPainter& p, const QRect& paint, int32_t percent, const QColor& fore, const QColor& back) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(fore);
    p.setBrush(back);
    const QRect circle = paint.adjusted(0, 0, -1, -1);
    p.drawEllipse(circle);
    if (percent > 0) {
        p.setBrush(fore);
        p.drawPie(circle, 90 * 16, -percent * 360 * 16 / 100);
    }
}

void DrawNeedle(QPainter& p, const QRect& paint, int32_t percent, const QColor& fore, const QColor& back) {
    p.setPen(fore);
    p.setBrush(back);
    const QRect dial(paint.left(), paint.top(), paint.width() - 1, paint.height() * 2 - 1);
    p.drawPie(dial, 0, 180 * 16);
    const double angle = M_PI * (1.0 - percent / 100.0);
    const QPointF centre(dial.center().x(), paint.top() + paint.height() - 1);
    const double radius = std::min(dial.width(), paint.height()) / 2.0 * 0.9;
    p.drawLine(centre, centre + QPointF(std::cos(angle) * radius, -std::sin(angle) * radius));
}

} // namespace

int32_t GaugePercent(int32_t minValue, int32_t maxValue, int32_t progress) {
    if (maxValue == minValue) {
        return 0;
    }
    const double done =
        (static_cast<double>(progress) - minValue) * 100.0 / (static_cast<double>(maxValue) - minValue);
    return static_cast<int32_t>(std::trunc(done));
}

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    // The control covers its whole rectangle: nothing behind it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 100);
}

void TGauge::requestRepaint() {
    ++m_repaintRequests;
    update();
}

void TGauge::SetMinValue(int32_t value) {
    if (value == m_minValue) {
        return;
    }
    if (value > m_maxValue) {
        throw RangeError(-std::numeric_limits<int32_t>::max(), Wrap(int64_t{m_maxValue} - 1));
    }
    m_minValue = value;
    if (m_progress < value) {
        m_progress = value;
    }
    requestRepaint();
}

void TGauge::SetMaxValue(int32_t value) {
    if (value == m_maxValue) {
        return;
    }
    if (value < m_minValue) {
        throw RangeError(Wrap(int64_t{m_minValue} + 1), std::numeric_limits<int32_t>::max());
    }
    m_maxValue = value;
    if (m_progress > value) {
        m_progress = value;
    }
    requestRepaint();
}

void TGauge::SetProgress(int32_t value) {
    if (value < m_minValue) {
        value = m_minValue;
    }
    if (value > m_maxValue) {
        value = m_maxValue;
    }
    if (value == m_progress) {
        return;
    }
    const int32_t before = PercentDone();
    m_progress = value;
    if (PercentDone() != before) {
        requestRepaint();
    }
}

int32_t TGauge::PercentDone() const {
    return GaugePercent(m_minValue, m_maxValue, m_progress);
}

void TGauge::SetKind(TGaugeKind kind) {
    if (kind != m_kind) {
        m_kind = kind;
        requestRepaint();
    }
}

void TGauge::SetShowText(bool show) {
    if (show != m_showText) {
        m_showText = show;
        requestRepaint();
    }
}

void TGauge::SetBorderStyle(TBorderStyle style) {
    if (style != m_borderStyle) {
        m_borderStyle = style;
        requestRepaint();
    }
}

void TGauge::SetForeColor(uint32_t bgr) {
    if (bgr != m_foreColor) {
        m_foreColor = bgr;
        requestRepaint();
    }
}

void TGauge::SetBackColor(uint32_t bgr) {
    if (bgr != m_backColor) {
        m_backColor = bgr;
        requestRepaint();
    }
}

QImage TGauge::Render() const {
    const int w = width();
    const int h = height();
    QImage picture(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
    picture.fill(Qt::black);
    if (w <= 0 || h <= 0) {
        return picture;
    }
    QRect paint(0, 0, w, h);
    if (m_borderStyle == bsSingle) {
        paint.adjust(1, 1, -1, -1);
    }
    const int32_t percent = PercentDone();
    const QColor fore = ColorFromBgr(m_foreColor);
    const QColor back = ColorFromBgr(m_backColor);
    // The gauge is drawn on a second black image and combined with
    // exclusive-or; onto black that is a plain copy, so it is drawn in place.
    if (!paint.isEmpty()) {
        QPainter p(&picture);
        switch (m_kind) {
        case gkText:
            p.fillRect(paint, back);
            break;
        case gkHorizontalBar:
            DrawHorizontalBar(p, paint, percent, fore, back);
            break;
        case gkVerticalBar:
            DrawVerticalBar(p, paint, percent, fore, back);
            break;
        case gkPie:
            DrawPie(p, paint, percent, fore, back);
            break;
        case gkNeedle:
            DrawNeedle(p, paint, percent, fore, back);
            break;
        }
    }
    if (m_showText) {
        QPainter p(&picture);
        p.setFont(font());
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, QString::asprintf("%d%%", percent));
    }
    return picture;
}

void TGauge::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.drawImage(0, 0, Render());
}

} // namespace veltrum
