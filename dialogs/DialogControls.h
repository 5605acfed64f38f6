#pragma once
// Small controls the dialogs share: the integer spin field with the
// program's reading rules, the colour swatch and the wait cursor. The colour
// conversions come with widgets/Colors.h.

#include "widgets/Colors.h"

#include <QLabel>
#include <QSpinBox>
#include <QValidator>
#include <QWidget>

#include <cstdint>

namespace veltrum {

// An integer spin field whose value comes from its text: text that is not an
// integer reads as the minimum, and a number outside the range reads as the
// nearest bound. The text itself is brought to the value when the field
// loses the focus and whenever the program sets it (QSpinBox::setValue).
class TSpinEdit final : public QSpinBox {
    Q_OBJECT

public:
    TSpinEdit(int minimum, int maximum, QWidget* parent = nullptr);

    // Tests type into the field as a user would.
    using QAbstractSpinBox::lineEdit;

protected:
    // Any text may be typed, cut at a pasted line break as in the text
    // fields; what it means is decided by valueFromText.
    QValidator::State validate(QString& text, int& pos) const override;
    int valueFromText(const QString& text) const override;
    void fixup(QString& text) const override;
};

// Keeps a single-line field free of line breaks, as a single-line edit
// control does: of text pasted or dropped in, the part before its first line
// break (CR, LF or NUL) is inserted and the rest of it dropped; the text
// around the insertion stays. A community pasted with a trailing newline is
// then the community, not a value the profile store refuses.
class TLineBreakCut final : public QValidator {
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString& text, int& pos) const override;
};

// A label that shows as much of its text as its box holds, wrapped, the last
// line it has room for ending in an ellipsis when the text goes on; the whole
// text is then its hint, before the label's own hint (toolTip()). Line
// breaks in the text count as blanks. The text is plain text: the label
// holds what an agent sent (widgets/PlainText.h).
class TElidedLabel final : public QLabel {
    Q_OBJECT

public:
    explicit TElidedLabel(QWidget* parent = nullptr);

    // What the hint shows, as plain text; empty for no hint.
    QString HintText() const;

    // The lines drawn, in order, and whether the text was cut to fit.
    QStringList ShownLines() const;
    bool IsElided() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Layout {
        QStringList Lines;
        bool Elided = false;
    };
    Layout layOut() const;
};

// A filled rectangle with a thin black border (the colour swatches).
class TShape final : public QWidget {
    Q_OBJECT

public:
    explicit TShape(QWidget* parent = nullptr);

    uint32_t BrushColor() const { return m_brushColor; }
    void SetBrushColor(uint32_t bgr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    uint32_t m_brushColor = 0x00FFFFFF;
};

// Shows the wait cursor while an SNMP exchange blocks the user interface;
// the previous cursor comes back however the scope is left.
class WaitCursor final {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace veltrum
