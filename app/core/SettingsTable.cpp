#include "app/core/SettingsTable.h"

#include <stdexcept>
#include <string>

namespace veltrum {

namespace {

using S = MonitorState;
constexpr SettingKind kText = SettingKind::Text;
constexpr SettingKind kInt = SettingKind::Integer;
constexpr SettingKind kFlag = SettingKind::Flag;

// The order is the start-up load's: positions first, then the agent, the
// scales and colours, and last the window flags and opacity levels.
const SettingDef kSettings[] = {
    {"PozTop", kInt, "", 150, std::monostate{}},
    {"PozLeft", kInt, "", 150, std::monostate{}},
    {"PozTopWykres", kInt, "", 170, &S::GraphTop},
    {"PozLeftWykres", kInt, "", 170, &S::GraphLeft},
    {"PozTopWykresPkt", kInt, "", 190, &S::PacketGraphTop},
    {"PozLeftWykresPkt", kInt, "", 190, &S::PacketGraphLeft},
    {"Sesja", kText, "Veltrum", 0, &S::SessionName},
    {"Host", kText, "192.168.1.1", 0, &S::AgentHost},
    {"Haslo", kText, "qorvex", 0, &S::AgentCommunity},
    {"NumerInterfaceu", kInt, "", 1, &S::InterfaceNumber},
    {"Download", kInt, "", 1024, &S::DownloadScale},
    {"Upload", kInt, "", 1024, &S::UploadScale},
    {"KolorDownload", kInt, "", static_cast<int32_t>(kYellow), &S::DownloadColor},
    {"KolorUpload", kInt, "", static_cast<int32_t>(kRed), &S::UploadColor},
    {"PokazSrednie", kFlag, "", 1, &S::ShowAverages},
    {"Autoscala", kFlag, "", 1, &S::AutoScale},
    {"Timeout", kInt, "", 250, &S::TimeoutMs},
    {"PokazWykres", kFlag, "", 0, &S::GraphWindowOpen},
    {"PokazWykresPkt", kFlag, "", 0, &S::PacketGraphWindowOpen},
    {"TStopien", kInt, "", 255, &S::MainOpacity},
    {"TStopienGraph", kInt, "", 255, &S::GraphOpacity},
    {"LinieMax", kFlag, "", 0, &S::ShowMaxLines},
    {"F", kFlag, "", 0, &S::ResyncTrace},
    // Added later; a profile without them reads as before: SNMPv1, and no
    // description to check the interface number against.
    {"WersjaSNMP", kInt, "", 0, &S::SnmpVersion},
    {"OpisInterfaceu", kText, "", 0, &S::InterfaceDescription},
};

// Every setting is a section of its own holding the single ident "01".
constexpr const char* kIdent = "01";

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

} // namespace

std::span<const SettingDef> ProfileSettings() {
    return kSettings;
}

const SettingDef& FindSetting(std::string_view key) {
    for (const SettingDef& def : kSettings) {
        if (key == def.Key) {
            return def;
        }
    }
    throw std::out_of_range("unknown setting " + std::string(key));
}

std::string ReadSettingText(const TIniFile& ini, std::string_view key) {
    const SettingDef& def = FindSetting(key);
    return ini.ReadString(def.Key, kIdent, def.TextDefault);
}

int32_t ReadSettingInteger(const TIniFile& ini, std::string_view key) {
    const SettingDef& def = FindSetting(key);
    return ini.ReadInteger(def.Key, kIdent, def.IntDefault);
}

bool ReadSettingFlag(const TIniFile& ini, std::string_view key) {
    const SettingDef& def = FindSetting(key);
    return ini.ReadBool(def.Key, kIdent, def.IntDefault != 0);
}

void LoadSetting(const TIniFile& ini, std::string_view key, MonitorState& state) {
    const SettingDef& def = FindSetting(key);
    std::visit(
        Overloaded{
            [](std::monostate) { throw std::logic_error("window position has no state field"); },
            [&](std::string S::*field) { state.*field = ReadSettingText(ini, key); },
            [&](int32_t S::*field) { state.*field = ReadSettingInteger(ini, key); },
            // Colours keep the integer's bit pattern.
            [&](uint32_t S::*field) { state.*field = static_cast<uint32_t>(ReadSettingInteger(ini, key)); },
            // Opacity levels keep the low 16 bits of what was read.
            [&](uint16_t S::*field) { state.*field = static_cast<uint16_t>(ReadSettingInteger(ini, key)); },
            [&](bool S::*field) { state.*field = ReadSettingFlag(ini, key); },
        },
        def.Field);
}

void SaveSetting(TIniFile& ini, std::string_view key, const MonitorState& state) {
    const SettingDef& def = FindSetting(key);
    std::visit(Overloaded{
                   [](std::monostate) { throw std::logic_error("window position has no state field"); },
                   [&](std::string S::*field) { ini.WriteString(def.Key, kIdent, state.*field); },
                   [&](int32_t S::*field) { ini.WriteInteger(def.Key, kIdent, state.*field); },
                   [&](uint32_t S::*field) {
                       ini.WriteInteger(def.Key, kIdent, static_cast<int32_t>(state.*field));
                   },
                   [&](uint16_t S::*field) { ini.WriteInteger(def.Key, kIdent, state.*field); },
                   [&](bool S::*field) { ini.WriteBool(def.Key, kIdent, state.*field); },
               },
               def.Field);
}

void WriteSettingText(TIniFile& ini, std::string_view key, const std::string& value) {
    ini.WriteString(FindSetting(key).Key, kIdent, value);
}

void WriteSettingInteger(TIniFile& ini, std::string_view key, int32_t value) {
    ini.WriteInteger(FindSetting(key).Key, kIdent, value);
}

void WriteSettingFlag(TIniFile& ini, std::string_view key, bool value) {
    ini.WriteBool(FindSetting(key).Key, kIdent, value);
}

namespace {

// Whether the profile holds the setting's key: no stored value is a line
// break, so that default comes back only for a missing one.
bool holdsSetting(const TIniFile& ini, const SettingDef& def) {
    return ini.ReadString(def.Key, kIdent, "\n") != "\n";
}

} // namespace

void WriteAddedSettingInteger(TIniFile& ini, std::string_view key, int32_t value) {
    const SettingDef& def = FindSetting(key);
    if (value != def.IntDefault || holdsSetting(ini, def)) {
        ini.WriteInteger(def.Key, kIdent, value);
    }
}

void WriteAddedSettingText(TIniFile& ini, std::string_view key, const std::string& value) {
    const SettingDef& def = FindSetting(key);
    if (value != def.TextDefault || holdsSetting(ini, def)) {
        ini.WriteString(def.Key, kIdent, value);
    }
}

void SaveAddedSettings(TIniFile& ini, const MonitorState& state) {
    WriteAddedSettingInteger(ini, "WersjaSNMP", state.SnmpVersion);
    WriteAddedSettingText(ini, "OpisInterfaceu", state.InterfaceDescription);
}

} // namespace veltrum
