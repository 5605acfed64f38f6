#include "dialogs/DialogControls.h"

#include "widgets/PlainText.h"

#include <QApplication>
#include <QColor>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>

namespace veltrum {

TSpinEdit::TSpinEdit(int minimum, int maximum, QWidget* parent) : QSpinBox(parent) {
    setRange(minimum, maximum);
    setValue(minimum);
    setAccelerated(true);
}

namespace {

// Of text just inserted before `pos`, drops everything from its first line
// break (CR, LF or NUL) on; the text around the insertion stays.
void cutAtLineBreak(QString& text, int& pos) {
    const auto isBreak = [](QChar c) {
        return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.isNull();
    };
    for (;;) {
        const auto found = std::find_if(text.cbegin(), text.cend(), isBreak);
        if (found == text.cend()) {
            return;
        }
        // The cursor stands at the end of what was just inserted; the field
        // held no break before, so the break lies within the insertion.
        const int first = static_cast<int>(found - text.cbegin());
        const int end =
            pos > first ? std::min(pos, static_cast<int>(text.size())) : static_cast<int>(text.size());
        text.remove(first, end - first);
        pos = first;
    }
}

} // namespace

QValidator::State TSpinEdit::validate(QString& text, int& pos) const {
    // Any other text may be typed; what it means is decided by valueFromText.
    cutAtLineBreak(text, pos);
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

QValidator::State TLineBreakCut::validate(QString& text, int& pos) const {
    cutAtLineBreak(text, pos);
    return Acceptable;
}

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

TElidedLabel::Layout TElidedLabel::layOut() const {
    Layout result;
    QString flat = text();
    flat.replace(QRegularExpression(QStringLiteral("[\\r\\n]+")), QStringLiteral(" "));
    if (flat.isEmpty()) {
        return result;
    }
    const QRect box = contentsRect();
    const QFontMetrics metrics(font());
    const int room = std::max(1, box.height() / std::max(1, metrics.lineSpacing()));
    const int width = std::max(1, box.width());

    QTextLayout layout(flat, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (result.Lines.size() + 1 == room) {
            // The last line there is room for takes the rest of the text.
            const QString rest = flat.mid(line.textStart());
            const QString shown = metrics.elidedText(rest, Qt::ElideRight, width);
            result.Elided = shown != rest;
            result.Lines << shown;
            break;
        }
        result.Lines << flat.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return result;
}

QStringList TElidedLabel::ShownLines() const {
    return layOut().Lines;
}

bool TElidedLabel::IsElided() const {
    return layOut().Elided;
}

void TElidedLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.setFont(font());
    const QRect box = contentsRect();
    const int step = QFontMetrics(font()).lineSpacing();
    int top = box.top();
    for (const QString& line : layOut().Lines) {
        painter.drawText(QRect(box.left(), top, box.width(), step),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
        top += step;
    }
}

QString TElidedLabel::HintText() const {
    // The whole text only when the box cut it.
    QString hint = IsElided() ? text() : QString();
    if (!toolTip().isEmpty()) {
        hint += (hint.isEmpty() ? QString() : QStringLiteral("\n\n")) + toolTip();
    }
    return hint;
}

bool TElidedLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const QString hint = HintText();
        if (!hint.isEmpty()) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), PlainHint(hint), this, QRect(),
                               toolTipDuration());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QLabel::event(event);
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
