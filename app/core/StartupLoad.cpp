#include "app/core/StartupLoad.h"

#include "app/core/SettingsTable.h"
#include "settings/IniFile.h"
#include "settings/ProfileFiles.h"

#include <algorithm>

namespace veltrum {

namespace {

constexpr int32_t kHistoryLength = 120;

// A window whose saved corner lies within `margin` pixels of the far edge (or
// beyond it) is pulled back; positions are never raised, so a negative one
// stays as read.
void KeepOnScreen(int32_t& position, int32_t margin, int32_t screenExtent) {
    if (static_cast<int64_t>(position) + margin >= screenExtent) {
        position = screenExtent - margin;
    }
}

} // namespace

WindowPosition LoadMonitorState(MonitorState& state, const std::string& programDir, int32_t screenWidth,
                                int32_t screenHeight) {
    state.ProfilePath = FindCurrentProfile(programDir);

    WindowPosition main;
    {
        const TIniFile ini(state.ProfilePath);
        state.HistoryLength = kHistoryLength;
        main.Top = ReadSettingInteger(ini, "PozTop");
        main.Left = ReadSettingInteger(ini, "PozLeft");
        for (const char* key : {"PozTopWykres", "PozLeftWykres", "PozTopWykresPkt", "PozLeftWykresPkt",
                                "Sesja", "Host", "Haslo", "NumerInterfaceu", "Download", "Upload",
                                "KolorDownload", "KolorUpload", "PokazSrednie", "Autoscala", "Timeout"}) {
            LoadSetting(ini, key, state);
        }
        // Opacity may be applied from here on: every load opens the gate.
        state.OpacityReady = true;
        for (const char* key : {"PokazWykres", "PokazWykresPkt", "TStopien", "TStopienGraph", "LinieMax", "F",
                                "WersjaSNMP", "OpisInterfaceu"}) {
            LoadSetting(ini, key, state);
        }
    }

    KeepOnScreen(state.GraphTop, 70, screenHeight);
    KeepOnScreen(state.GraphLeft, 70, screenWidth);
    KeepOnScreen(state.PacketGraphTop, 70, screenHeight);
    KeepOnScreen(state.PacketGraphLeft, 70, screenWidth);
    // The main window is narrow: its left edge may come within 30 pixels.
    KeepOnScreen(main.Top, 70, screenHeight);
    KeepOnScreen(main.Left, 30, screenWidth);

    state.InOctetsNow = state.InOctetsPrev = 0;
    state.InPktsNow = state.InPktsPrev = 0;
    state.OutOctetsNow = state.OutOctetsPrev = 0;
    state.OutPktsNow = state.OutPktsPrev = 0;
    state.Counters64Now = state.Counters64Prev = {};
    state.Counters32Only = false; // a new session tries the 64-bit counters again
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
