#pragma once
// Colour values as the program stores them, 0x00BBGGRR (red in the low byte),
// and the QColor every drawing call wants. Profiles and the monitor state keep
// the integer; the conversion happens only where Qt is handed a colour.

#include <QColor>

#include <cstdint>

namespace veltrum {

inline QColor ColorFromBgr(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                  static_cast<int>((bgr >> 16) & 0xFFu));
}

inline uint32_t BgrFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<uint32_t>(rgb.red()) | (static_cast<uint32_t>(rgb.green()) << 8) |
           (static_cast<uint32_t>(rgb.blue()) << 16);
}

} // namespace veltrum
