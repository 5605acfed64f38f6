#pragma once
// Every profile setting declared once: its key, kind, default and the state
// field it fills. The start-up load, the settings dialog's fill and OK, and
// "Save as new profile" all go through this table, so a key's spelling and
// default live in one place.

#include "app/core/MonitorState.h"
#include "settings/IniFile.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace veltrum {

enum class SettingKind { Text, Integer, Flag };

struct SettingDef {
    const char* Key;
    SettingKind Kind;
    const char* TextDefault; // Text kind
    int32_t IntDefault;      // Integer kind; Flag kind: 1 or 0
    // The state field; monostate for the main window's own position
    // (PozTop, PozLeft), which lives in the window, not in the state.
    std::variant<std::monostate, std::string MonitorState::*, int32_t MonitorState::*,
                 uint32_t MonitorState::*, uint16_t MonitorState::*, bool MonitorState::*>
        Field;
};

// In the order the start-up load reads them.
std::span<const SettingDef> ProfileSettings();
// Throws std::out_of_range for a key not in the table.
const SettingDef& FindSetting(std::string_view key);

// Reads one setting with its default (the profile store decodes; no range checks).
std::string ReadSettingText(const TIniFile& ini, std::string_view key);
int32_t ReadSettingInteger(const TIniFile& ini, std::string_view key);
bool ReadSettingFlag(const TIniFile& ini, std::string_view key);

// Reads a setting into its state field (not for PozTop/PozLeft).
void LoadSetting(const TIniFile& ini, std::string_view key, MonitorState& state);
// Writes a setting from its state field (not for PozTop/PozLeft); throws EIniFileException.
void SaveSetting(TIniFile& ini, std::string_view key, const MonitorState& state);

// Writes a value under a setting's key (for values that come from a dialog's
// fields or the window position rather than the state); throws EIniFileException.
void WriteSettingText(TIniFile& ini, std::string_view key, const std::string& value);
void WriteSettingInteger(TIniFile& ini, std::string_view key, int32_t value);
void WriteSettingFlag(TIniFile& ini, std::string_view key, bool value);

// What the settings dialog's OK writes, in order.
inline constexpr std::string_view kSettingsDialogKeys[] = {
    "Host",         "Haslo",     "NumerInterfaceu", "Download", "Upload",   "KolorDownload", "KolorUpload",
    "PokazSrednie", "Autoscala", "Sesja",           "Timeout",  "TStopien", "TStopienGraph", "LinieMax"};

// What "Save as new profile" writes, in order.
inline constexpr std::string_view kSaveAsKeys[] = {
    "Host",          "Haslo",        "NumerInterfaceu", "Download",     "Upload",        "KolorDownload",
    "KolorUpload",   "PokazSrednie", "Autoscala",       "Sesja",        "Timeout",       "TStopien",
    "TStopienGraph", "PozTop",       "PozLeft",         "PozTopWykres", "PozLeftWykres", "PokazWykres"};

// Settings added after the first profiles (the protocol version and the
// interface's description). They are written only where they say
// something: a value other than the default, or a key the profile already
// holds. A profile that never had them stays line for line as it was.
void WriteAddedSettingInteger(TIniFile& ini, std::string_view key, int32_t value);
void WriteAddedSettingText(TIniFile& ini, std::string_view key, const std::string& value);
// Both added settings from the state, by that rule ("Save as new profile").
void SaveAddedSettings(TIniFile& ini, const MonitorState& state);

} // namespace veltrum
