#pragma once
// The graph lines as slots: how a poll moves a rate history and an average
// line on. The poll cycle keeps them in the monitor state; each graph window
// keeps its own copy and moves it on from the samples with the same
// functions, so both stay equal slot for slot.

#include "core/MonitorState.h"

#include <cstdint>

namespace veltrum {

// Moves slots 1..length-1 one place on and puts `value` in slot 1 (slot 1 is
// written even for a length below 1).
void ShiftIn(History& history, int32_t length, int32_t value);
// Slots 1..length set to `value` (a flat average line).
void FillSlots(History& history, int32_t length, int32_t value);
// With a fixed axis at the larger scale M, a sample at or above both scales
// is stored back as `clipped` (just below M), so the line stays inside the
// chart. The clipped value stays in the history and counts in later sums.
void ClipSlots(History& history, int32_t length, int32_t downScale, int32_t upScale, int32_t clipped);

// One poll's move of one graph's four lines: the values shifted into the two
// rate histories and, unless the poll failed before it got there, the level
// of the two average lines and the bandwidth graph's clipping.
struct GraphStep {
    int32_t Length = 0; // the used slots at that poll
    int32_t Down = 0, Up = 0;
    bool Averaged = true;
    int32_t DownAvg = 0, UpAvg = 0;
    bool Clip = false; // a fixed axis: ClipSlots with the three numbers below
    int32_t DownScale = 0, UpScale = 0, Clipped = 0;
};

// A graph window's own copy of its four lines, in the state's slot order.
struct GraphLines {
    History Down{}, Up{}, DownAvg{}, UpAvg{};
};

// The step as the poll took it on the state's histories.
void ApplyGraphStep(GraphLines& lines, const GraphStep& step);
// Slots 1..length of all four lines to 0 (a restart, a Reset).
void ZeroLines(GraphLines& lines, int32_t length);

} // namespace veltrum
