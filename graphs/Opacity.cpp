#include "graphs/Opacity.h"

#include <QWidget>

namespace veltrum {

void ApplyOpacity(QWidget& window, uint16_t level, bool opacityReady) {
    if (!opacityReady) {
        return;
    }
    // Qt keeps the value for a window that has no native counterpart yet and
    // applies it when the window is created, so a graph window that was never
    // shown opens with the level set here.
    window.setWindowOpacity(OpacityAlpha(level) / 255.0);
}

} // namespace veltrum
