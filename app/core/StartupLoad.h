#pragma once
// The start-up load's window-free steps: find the current profile, read every
// setting into the state, keep the windows on the screen and zero the counters.

#include "app/core/MonitorState.h"

#include <cstdint>
#include <functional>
#include <string>

namespace veltrum {

struct WindowPosition {
    int32_t Top = 150;
    int32_t Left = 150;
};

// Steps 1, 3-6 and 9 of the start-up load. Returns the main window's corrected
// position. Never throws: an unreadable file gives the defaults. A non-empty
// `chosenProfile` is taken as the current profile without reading app.ini.
WindowPosition LoadMonitorState(MonitorState& state, const std::string& configDir, int32_t screenWidth,
                                int32_t screenHeight, const std::string& chosenProfile = {});

// Slots 1..HistoryLength of the eight history and average-line arrays to zero.
void ClearHistories(MonitorState& state);

// The shutdown fade: with MainOpacity at 20 or more, every level from it down
// to 20 is stored and applied, pausing (1 ms) at the multiples of 25. The
// lowered level is never saved.
void FadeOut(MonitorState& state, const std::function<void()>& apply, const std::function<void()>& pause);

} // namespace veltrum
