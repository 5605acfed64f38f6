#include "dialogs/DialogControls.h"

#include <QApplication>
#include <QColor>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>

namespace veltrum {

QColor ColorFromBgr(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                  static_cast<int>((bgr >> 16) & 0xFFu));
}

uint32_t BgrFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<uint32_t>(rgb.red()) | (static_cast<uint32_t>(rgb.green()) << 8) |
           (static_cast<uint32_t>(rgb.blue()) << 16);
}

TSpinEdit::TSpinEdit(int minimum, int maximum, QWidget* parent) : QSpinBox(parent) {
    setRange(minimum, maximum);
    setValue(minimum);
    setAccelerated(true);
}

QValidator::State TSpinEdit::validate(QString& /*text*/, int& /*pos*/) const {
    return QValidator::Acceptable;
}

int TSpinEdit::valueFromText(const QString& text) const {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok) {
        return minimum();
    }
    // QAbstractSpinBox bounds the value as well; clamping here keeps the rule
    // in one visible place.
    return std::clamp(value, minimum(), maximum());
}

void TSpinEdit::fixup(QString& text) const {
    text = textFromValue(valueFromText(text));
}

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::SetBrushColor(uint32_t bgr) {
    m_brushColor = bgr;
    update();
}

void TShape::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(ColorFromBgr(m_brushColor));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace veltrum
