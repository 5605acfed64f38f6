#include "core/StartupLoad.h"

#include "core/SettingsTable.h"
#include "settings/IniFile.h"
#include "settings/ProfileFiles.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace veltrum {

namespace {

constexpr int32_t kHistoryLength = 120;

// The start-up load opens the opacity gate between the time-out and the window
// flags; the flags and the opacity levels are read after it.
constexpr SettingKey kFirstKeyPastOpacityGate = SettingKey::PokazWykres;

// Outer sizes for the visibility check: the main window's fixed 33 x 68, and
// the graph windows' client area (their frame only adds to what is visible).
constexpr int32_t kMainWidth = 33;
constexpr int32_t kMainHeight = 68;
constexpr int32_t kGraphWidth = 752;
constexpr int32_t kGraphHeight = 393;

// A window whose saved corner lies within `margin` pixels of the far edge (or
// beyond it) is pulled back; positions are never raised, so a negative one
// stays as read.
void KeepOnScreen(int32_t& position, int32_t margin, int32_t screenExtent) {
    if (static_cast<int64_t>(position) + margin >= screenExtent) {
        position = screenExtent - margin;
    }
}

bool overlapsAny(int64_t left, int64_t top, int64_t width, int64_t height,
                 std::span<const ScreenArea> screens) {
    return std::any_of(screens.begin(), screens.end(), [&](const ScreenArea& s) {
        return left < int64_t{s.Left} + s.Width && int64_t{s.Left} < left + width &&
               top < int64_t{s.Top} + s.Height && int64_t{s.Top} < top + height;
    });
}

// Room left between two copies' main windows.
constexpr int32_t kBesideGap = 4;

bool covers(const WindowArea& a, int64_t left, int64_t top, int64_t width, int64_t height) {
    return left < int64_t{a.Left} + a.Width && int64_t{a.Left} < left + width &&
           top < int64_t{a.Top} + a.Height && int64_t{a.Top} < top + height;
}

bool coversAny(std::span<const WindowArea> others, int64_t left, int64_t top, int64_t width, int64_t height) {
    return std::any_of(others.begin(), others.end(),
                       [&](const WindowArea& a) { return covers(a, left, top, width, height); });
}

bool withinOneScreen(int64_t left, int64_t top, int64_t width, int64_t height,
                     std::span<const ScreenArea> screens) {
    return std::any_of(screens.begin(), screens.end(), [&](const ScreenArea& s) {
        return left >= s.Left && top >= s.Top && left + width <= int64_t{s.Left} + s.Width &&
               top + height <= int64_t{s.Top} + s.Height;
    });
}

} // namespace

WindowPosition PlaceBesideOthers(WindowPosition wanted, int32_t width, int32_t height,
                                 std::span<const WindowArea> others, std::span<const ScreenArea> screens) {
    if (!coversAny(others, wanted.Left, wanted.Top, width, height)) {
        return wanted;
    }
    WindowPosition best = wanted;
    int64_t bestDistance = -1;
    for (const WindowArea& o : others) {
        // Computed wide: a spot beside a window at the far edge of the
        // coordinate range is simply off every screen.
        const std::pair<int64_t, int64_t> spots[] = {
            {o.Top, int64_t{o.Left} + o.Width + kBesideGap},  // right
            {o.Top, int64_t{o.Left} - width - kBesideGap},    // left
            {int64_t{o.Top} + o.Height + kBesideGap, o.Left}, // below
            {int64_t{o.Top} - height - kBesideGap, o.Left},   // above
        };
        for (const auto& [top, left] : spots) {
            if (coversAny(others, left, top, width, height) ||
                !withinOneScreen(left, top, width, height, screens)) {
                continue;
            }
            const int64_t distance = std::abs(left - wanted.Left) + std::abs(top - wanted.Top);
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = WindowPosition{static_cast<int32_t>(top), static_cast<int32_t>(left)};
            }
        }
    }
    return best;
}

WindowPosition PlaceOnScreens(WindowPosition saved, int32_t width, int32_t height, int32_t topMargin,
                              int32_t leftMargin, WindowPosition defaultPlace,
                              std::span<const ScreenArea> screens) {
    if (screens.empty()) {
        return saved;
    }
    // With one screen at the origin the far edges are its width and height;
    // a second screen to the right or below widens the desktop, so a window
    // there is not pulled back onto the first.
    int32_t right = screens.front().Left + screens.front().Width;
    int32_t bottom = screens.front().Top + screens.front().Height;
    for (const ScreenArea& s : screens) {
        right = std::max(right, s.Left + s.Width);
        bottom = std::max(bottom, s.Top + s.Height);
    }
    KeepOnScreen(saved.Top, topMargin, bottom);
    KeepOnScreen(saved.Left, leftMargin, right);
    if (overlapsAny(saved.Left, saved.Top, width, height, screens)) {
        return saved;
    }
    const ScreenArea& primary = screens.front();
    return WindowPosition{primary.Top + defaultPlace.Top, primary.Left + defaultPlace.Left};
}

WindowPosition LoadMonitorState(MonitorState& state, const std::string& configDir, int32_t screenWidth,
                                int32_t screenHeight, const std::string& chosenProfile) {
    const ScreenArea screen{0, 0, screenWidth, screenHeight};
    return LoadMonitorState(state, configDir, std::span<const ScreenArea>(&screen, 1), chosenProfile);
}

WindowPosition LoadMonitorState(MonitorState& state, const std::string& configDir,
                                std::span<const ScreenArea> screens, const std::string& chosenProfile) {
    state.ProfilePath = chosenProfile.empty() ? FindCurrentProfile(configDir) : chosenProfile;

    WindowPosition main;
    {
        const TIniFile ini(state.ProfilePath);
        state.HistoryLength = kHistoryLength;
        for (const SettingKey key : kStartupLoadKeys) {
            // Opacity may be applied from here on: every load opens the gate.
            if (key == kFirstKeyPastOpacityGate) {
                state.OpacityReady = true;
            }
            if (key == SettingKey::PozTop) {
                main.Top = ReadSettingInteger(ini, key);
            } else if (key == SettingKey::PozLeft) {
                main.Left = ReadSettingInteger(ini, key);
            } else {
                LoadSetting(ini, key, state);
            }
        }
    }

    const WindowPosition graph = PlaceOnScreens({state.GraphTop, state.GraphLeft}, kGraphWidth, kGraphHeight,
                                                70, 70, {170, 170}, screens);
    state.GraphTop = graph.Top;
    state.GraphLeft = graph.Left;
    const WindowPosition packets = PlaceOnScreens({state.PacketGraphTop, state.PacketGraphLeft}, kGraphWidth,
                                                  kGraphHeight, 70, 70, {190, 190}, screens);
    state.PacketGraphTop = packets.Top;
    state.PacketGraphLeft = packets.Left;
    // The main window is narrow: its left edge may come within 30 pixels.
    main = PlaceOnScreens(main, kMainWidth, kMainHeight, 70, 30, {150, 150}, screens);

    state.InOctetsNow = state.InOctetsPrev = 0;
    state.InPktsNow = state.InPktsPrev = 0;
    state.OutOctetsNow = state.OutOctetsPrev = 0;
    state.OutPktsNow = state.OutPktsPrev = 0;
    state.Counters64Now = state.Counters64Prev = {};
    state.Counters32Only = false; // a new session tries the 64-bit counters again
    state.PacketsUnread = {};
    state.PrimeNextReading = false;
    state.PollCount = 0;
    state.PacketPollCount = 0;
    state.PeakPktRate = 0;
    state.ResyncStep = 0;
    state.DownTotal = 0;
    state.UpTotal = 0;
    state.ResyncActive = false;
    return main;
}

void ClearHistories(MonitorState& state) {
    const int32_t used = UsedSlots(state);
    for (History* history :
         {&state.DownHistory, &state.UpHistory, &state.DownAvgLine, &state.UpAvgLine, &state.DownPktHistory,
          &state.UpPktHistory, &state.DownPktAvgLine, &state.UpPktAvgLine}) {
        ZeroSlots(*history, used);
    }
}

void FadeOut(MonitorState& state, const std::function<void()>& apply, const std::function<void()>& pause) {
    constexpr uint16_t kLowest = 20;
    if (state.MainOpacity < kLowest) {
        return;
    }
    for (int32_t level = state.MainOpacity; level >= kLowest; --level) {
        state.MainOpacity = static_cast<uint16_t>(level);
        if (level % 25 == 0) {
            pause();
        }
        apply();
    }
}

} // namespace veltrum
