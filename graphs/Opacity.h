#pragma once
// Window opacity shared by the main window and both graph windows. A level is
// a 16-bit value of which only the low byte becomes the window's alpha; the
// settings dialog keeps it within 50..255, but a hand-edited profile can hold
// anything, so 300 gives alpha 44 and 256 an invisible window.

#include <cstdint>

class QWidget;

namespace veltrum {

// The alpha byte that reaches the window for an opacity level.
constexpr uint8_t OpacityAlpha(uint16_t level) {
    return static_cast<uint8_t>(level & 0xFFu);
}

// Gives `window` the constant alpha of `level`. Does nothing while
// `opacityReady` is false (before the first start-up load). Where the
// windowing system has no compositing the window simply stays opaque.
void ApplyOpacity(QWidget& window, uint16_t level, bool opacityReady);

} // namespace veltrum
