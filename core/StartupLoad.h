#pragma once
// The start-up load's window-free steps: find the current profile, read every
// setting into the state, keep the windows on the screen and zero the counters.

#include "core/MonitorState.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace veltrum {

struct WindowPosition {
    int32_t Top = 150;
    int32_t Left = 150;
};

// One screen's rectangle in desktop pixels; a screen to the left of or above
// the primary one has negative coordinates.
struct ScreenArea {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

// Where a window saved at `saved` opens. First the start-up load's pull-back:
// a corner within `margin` pixels of the desktop's far right or bottom edge
// (or beyond it) comes back to that distance, and nothing is ever raised.
// Then, if a `size` window there would have no pixel on any screen (a monitor
// unplugged, a hand-edited position), it opens at `defaultPlace` within the
// first (primary) screen instead: the main window has no task-bar entry, so a
// window nobody can see could never be brought back. A window on another
// screen, or only partly visible, keeps its place.
WindowPosition PlaceOnScreens(WindowPosition saved, int32_t width, int32_t height, int32_t topMargin,
                              int32_t leftMargin, WindowPosition defaultPlace,
                              std::span<const ScreenArea> screens);

// A window's rectangle in desktop pixels: another running copy's main window.
struct WindowArea {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

// Where a `width` x `height` window meant for `wanted` opens when it would
// cover part of one of the `others` (the main windows of other copies of the
// program): the spot nearest to `wanted` right of, left of, below or above
// one of them that covers none of them and lies wholly on one screen. A copy
// started with a profile saved from a running one would otherwise open
// exactly over it. `wanted` itself when it covers nothing, or when no such
// spot exists.
WindowPosition PlaceBesideOthers(WindowPosition wanted, int32_t width, int32_t height,
                                 std::span<const WindowArea> others, std::span<const ScreenArea> screens);

// Steps 1, 3-6 and 9 of the start-up load, for the given screens (the primary
// one first). Returns the main window's corrected position. Never throws: an
// unreadable file gives the defaults.
// A non-empty `chosenProfile` is taken as the current profile without reading
// app.ini.
WindowPosition LoadMonitorState(MonitorState& state, const std::string& configDir,
                                std::span<const ScreenArea> screens, const std::string& chosenProfile = {});
// The same with one screen of that size at the origin.
WindowPosition LoadMonitorState(MonitorState& state, const std::string& configDir, int32_t screenWidth,
                                int32_t screenHeight, const std::string& chosenProfile = {});

// Slots 1..HistoryLength of the eight history and average-line arrays to zero.
void ClearHistories(MonitorState& state);

// The shutdown fade: with MainOpacity at 20 or more, every level from it down
// to 20 is stored and applied, pausing (1 ms) at the multiples of 25. The
// lowered level is never saved.
void FadeOut(MonitorState& state, const std::function<void()>& apply, const std::function<void()>& pause);

} // namespace veltrum
