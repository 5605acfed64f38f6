#pragma once
// What the windows and dialogs read of their monitor: a copy of the settings
// they draw with, taken when they ask (Monitor::Settings), and the names of
// the two graph windows' places. No window holds the monitor's state.

#include "core/MonitorState.h"

#include <cstdint>
#include <string>

namespace veltrum {

struct ViewSettings {
    std::string ProfilePath;
    std::string SessionName;
    std::string AgentHost;
    int32_t InterfaceNumber = 0;
    std::string InterfaceDescription;
    int32_t SnmpVersion = 0; // WersjaSNMP as the profile gives it
    uint32_t DownloadColor = 0;
    uint32_t UploadColor = 0;
    int32_t DownloadScale = 0;
    int32_t UploadScale = 0;
    bool AutoScale = false;
    bool ShowAverages = false;
    bool ShowMaxLines = false;
    uint16_t MainOpacity = 0;
    uint16_t GraphOpacity = 0;
    bool OpacityReady = false;
    bool ShowTrayIcon = false;
    bool HideMainWindow = false;
    int32_t GraphSlots = 0;     // the slots a graph shows (UsedSlots)
    int32_t ReplyTimeoutMs = 0; // the reply wait in force (ReplyTimeoutMs)
};

inline ViewSettings ViewSettingsOf(const MonitorState& state) {
    return {.ProfilePath = state.ProfilePath,
            .SessionName = state.SessionName,
            .AgentHost = state.AgentHost,
            .InterfaceNumber = state.InterfaceNumber,
            .InterfaceDescription = state.InterfaceDescription,
            .SnmpVersion = state.SnmpVersion,
            .DownloadColor = state.DownloadColor,
            .UploadColor = state.UploadColor,
            .DownloadScale = state.DownloadScale,
            .UploadScale = state.UploadScale,
            .AutoScale = state.AutoScale,
            .ShowAverages = state.ShowAverages,
            .ShowMaxLines = state.ShowMaxLines,
            .MainOpacity = state.MainOpacity,
            .GraphOpacity = state.GraphOpacity,
            .OpacityReady = state.OpacityReady,
            .ShowTrayIcon = state.ShowTrayIcon,
            .HideMainWindow = state.HideMainWindow,
            .GraphSlots = UsedSlots(state),
            .ReplyTimeoutMs = ReplyTimeoutMs(state)};
}

enum class GraphSide : uint8_t { Bandwidth, Packets };

// A graph window's flag and place as the profile keeps them.
struct GraphWindowPlace {
    bool Open = false;
    int32_t Top = 0;
    int32_t Left = 0;
};

} // namespace veltrum
