#include "core/GraphSeries.h"

#include <algorithm>

namespace veltrum {

void ShiftIn(History& history, int32_t length, int32_t value) {
    if (length > 1) {
        std::copy_backward(history.begin() + 1, history.begin() + length, history.begin() + length + 1);
    }
    history[1] = value;
}

void FillSlots(History& history, int32_t length, int32_t value) {
    std::fill(history.begin() + 1, history.begin() + length + 1, value);
}

void ClipSlots(History& history, int32_t length, int32_t downScale, int32_t upScale, int32_t clipped) {
    for (int32_t i = 1; i <= length; ++i) {
        int32_t& slot = history[static_cast<size_t>(i)];
        if (slot >= downScale && slot >= upScale) {
            slot = clipped;
        }
    }
}

void ApplyGraphStep(GraphLines& lines, const GraphStep& step) {
    ShiftIn(lines.Down, step.Length, step.Down);
    ShiftIn(lines.Up, step.Length, step.Up);
    if (!step.Averaged) {
        return;
    }
    FillSlots(lines.DownAvg, step.Length, step.DownAvg);
    FillSlots(lines.UpAvg, step.Length, step.UpAvg);
    if (step.Clip) {
        for (History* history : {&lines.Down, &lines.Up}) {
            ClipSlots(*history, step.Length, step.DownScale, step.UpScale, step.Clipped);
        }
    }
}

void ZeroLines(GraphLines& lines, int32_t length) {
    for (History* history : {&lines.Down, &lines.Up, &lines.DownAvg, &lines.UpAvg}) {
        ZeroSlots(*history, length);
    }
}

} // namespace veltrum
