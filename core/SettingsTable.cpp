#include "core/SettingsTable.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace veltrum {

namespace {

using S = MonitorState;

// Every setting is a section of its own holding the single ident "01".
constexpr const char* kIdent = "01";

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

constexpr bool rowsFollowTheEnumeration() {
    for (size_t i = 0; i < kSettingTable.size(); ++i) {
        if (static_cast<size_t>(kSettingTable[i].Key) != i) {
            return false;
        }
    }
    return true;
}

// Texts fill text fields, flags bool fields; integers land in the integer
// fields or, for the window position, in the window.
constexpr bool kindsMatchTheirFields() {
    return std::all_of(kSettingTable.begin(), kSettingTable.end(), [](const SettingDef& def) {
        return std::visit(Overloaded{
                              [&](std::monostate) { return def.Kind == SettingKind::Integer; },
                              [&](std::string S::*) { return def.Kind == SettingKind::Text; },
                              [&](bool S::*) { return def.Kind == SettingKind::Flag; },
                              [&](auto) { return def.Kind == SettingKind::Integer; },
                          },
                          def.Field);
    });
}

constexpr bool defaultsInTheirRanges() {
    return std::all_of(kSettingTable.begin(), kSettingTable.end(), [](const SettingDef& def) {
        return def.Range.Min <= def.IntDefault && def.IntDefault <= def.Range.Max;
    });
}

constexpr bool inList(SettingKey key, SettingList list) {
    return Setting(key).Position[static_cast<size_t>(list)] != 0;
}

// The interface's description is compared with what the agent reports, so
// it must read back exactly as written; the store drops blanks around a value
// and cuts a long one. A description with outer blanks, or one that itself
// begins and ends with a quotation mark, is written between quotation marks;
// any other is written as it is, so a profile without such a description
// reads and looks as before. Only this setting is quoted: a quotation mark in
// any other value stays part of it.
constexpr char kQuote = '"';

bool keepsOuterBlanks(SettingKey key) {
    return key == SettingKey::OpisInterfaceu;
}

// The same blanks as the store trims.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool quoted(std::string_view s) {
    return s.size() >= 2 && s.front() == kQuote && s.back() == kQuote;
}

std::string encodeDescription(std::string_view description) {
    description = description.substr(0, kMaxInterfaceDescriptionLength);
    if (!description.empty() &&
        (isBlank(description.front()) || isBlank(description.back()) || quoted(description))) {
        return kQuote + std::string(description) + kQuote;
    }
    return std::string(description);
}

std::string decodeDescription(std::string stored) {
    return quoted(stored) ? stored.substr(1, stored.size() - 2) : stored;
}

static_assert(rowsFollowTheEnumeration(), "the table's rows must follow SettingKey's order");
static_assert(kindsMatchTheirFields(), "a setting's kind must match its state field");
static_assert(defaultsInTheirRanges(), "a setting's default must lie in its range");
// Whatever a profile holds is read back by the next start-up load.
static_assert(kStartupLoadKeys.size() == kSettingCount, "every setting must be read at start-up");
// OK writes back exactly what the opening showed, in the same order.
static_assert(std::ranges::equal(kSettingsDialogOkKeys, kSettingsDialogFillKeys),
              "the dialog must write what it fills");
static_assert(std::all_of(kSettingsDialogOkKeys.begin(), kSettingsDialogOkKeys.end(),
                          [](SettingKey key) { return inList(key, SettingList::SaveAs); }),
              "a new profile must hold every setting the dialog edits");

} // namespace

std::span<const SettingDef> ProfileSettings() {
    return kSettingTable;
}

SettingValue DefaultSettingValue(SettingKey key) {
    const SettingDef& def = Setting(key);
    switch (def.Kind) {
    case SettingKind::Text:
        return std::string(def.TextDefault);
    case SettingKind::Integer:
        return def.IntDefault;
    case SettingKind::Flag:
        return def.IntDefault != 0;
    }
    throw std::logic_error("unknown setting kind");
}

std::string ReadSettingText(const TIniFile& ini, SettingKey key) {
    const SettingDef& def = Setting(key);
    std::string value = ini.ReadString(def.Name, kIdent, def.TextDefault);
    return keepsOuterBlanks(key) ? decodeDescription(std::move(value)) : value;
}

int32_t ReadSettingInteger(const TIniFile& ini, SettingKey key) {
    const SettingDef& def = Setting(key);
    return std::clamp(ini.ReadInteger(def.Name, kIdent, def.IntDefault), def.Range.Min, def.Range.Max);
}

bool ReadSettingFlag(const TIniFile& ini, SettingKey key) {
    const SettingDef& def = Setting(key);
    return ini.ReadBool(def.Name, kIdent, def.IntDefault != 0);
}

SettingValue ReadSetting(const TIniFile& ini, SettingKey key) {
    switch (Setting(key).Kind) {
    case SettingKind::Text:
        return ReadSettingText(ini, key);
    case SettingKind::Integer:
        return ReadSettingInteger(ini, key);
    case SettingKind::Flag:
        return ReadSettingFlag(ini, key);
    }
    throw std::logic_error("unknown setting kind");
}

void LoadSetting(const TIniFile& ini, SettingKey key, MonitorState& state) {
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
        Setting(key).Field);
}

void SaveSetting(TIniFile& ini, SettingKey key, const MonitorState& state) {
    const SettingDef& def = Setting(key);
    std::visit(Overloaded{
                   [](std::monostate) { throw std::logic_error("window position has no state field"); },
                   [&](std::string S::*field) { WriteSettingText(ini, key, state.*field); },
                   [&](int32_t S::*field) { ini.WriteInteger(def.Name, kIdent, state.*field); },
                   [&](uint32_t S::*field) {
                       ini.WriteInteger(def.Name, kIdent, static_cast<int32_t>(state.*field));
                   },
                   [&](uint16_t S::*field) { ini.WriteInteger(def.Name, kIdent, state.*field); },
                   [&](bool S::*field) { ini.WriteBool(def.Name, kIdent, state.*field); },
               },
               def.Field);
}

void WriteSettingText(TIniFile& ini, SettingKey key, const std::string& value) {
    ini.WriteString(Setting(key).Name, kIdent, keepsOuterBlanks(key) ? encodeDescription(value) : value);
}

void WriteSettingInteger(TIniFile& ini, SettingKey key, int32_t value) {
    ini.WriteInteger(Setting(key).Name, kIdent, value);
}

void WriteSettingFlag(TIniFile& ini, SettingKey key, bool value) {
    ini.WriteBool(Setting(key).Name, kIdent, value);
}

SettingValue SettingFromState(SettingKey key, const MonitorState& state) {
    return std::visit(
        Overloaded{
            [](std::monostate) -> SettingValue {
                throw std::logic_error("window position has no state field");
            },
            [&](std::string S::*field) -> SettingValue { return state.*field; },
            [&](int32_t S::*field) -> SettingValue { return state.*field; },
            [&](uint32_t S::*field) -> SettingValue { return static_cast<int32_t>(state.*field); },
            [&](uint16_t S::*field) -> SettingValue { return int32_t{state.*field}; },
            [&](bool S::*field) -> SettingValue { return state.*field; },
        },
        Setting(key).Field);
}

void WriteSettings(TIniFile& ini, std::span<const SettingWrite> writes) {
    for (const SettingWrite& write : writes) {
        const auto* text = std::get_if<std::string>(&write.Value);
        if (text != nullptr && !IsWritableValue(*text)) {
            throw EIniFileException(ini.FileName());
        }
    }
    for (const SettingWrite& write : writes) {
        const bool added = IsAddedSetting(write.Key);
        std::visit(Overloaded{
                       [&](const std::string& value) {
                           if (added) {
                               WriteAddedSettingText(ini, write.Key, value);
                           } else {
                               WriteSettingText(ini, write.Key, value);
                           }
                       },
                       [&](int32_t value) {
                           if (added) {
                               WriteAddedSettingInteger(ini, write.Key, value);
                           } else {
                               WriteSettingInteger(ini, write.Key, value);
                           }
                       },
                       [&](bool value) {
                           if (added) {
                               WriteAddedSettingFlag(ini, write.Key, value);
                           } else {
                               WriteSettingFlag(ini, write.Key, value);
                           }
                       },
                   },
                   write.Value);
    }
}

namespace {

// Whether the profile holds the setting's key: no stored value is a line
// break, so that default comes back only for a missing one.
bool holdsSetting(const TIniFile& ini, const SettingDef& def) {
    return ini.ReadString(def.Name, kIdent, "\n") != "\n";
}

} // namespace

bool ProfileNamesAgent(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    const TIniFile ini(path);
    return holdsSetting(ini, Setting(SettingKey::Host)) && !ReadSettingText(ini, SettingKey::Host).empty();
}

void WriteAddedSettingInteger(TIniFile& ini, SettingKey key, int32_t value) {
    const SettingDef& def = Setting(key);
    if (value != def.IntDefault || holdsSetting(ini, def)) {
        ini.WriteInteger(def.Name, kIdent, value);
    }
}

void WriteAddedSettingText(TIniFile& ini, SettingKey key, const std::string& value) {
    const SettingDef& def = Setting(key);
    if (value != def.TextDefault || holdsSetting(ini, def)) {
        WriteSettingText(ini, key, value);
    }
}

void WriteAddedSettingFlag(TIniFile& ini, SettingKey key, bool value) {
    const SettingDef& def = Setting(key);
    if (value != (def.IntDefault != 0) || holdsSetting(ini, def)) {
        ini.WriteBool(def.Name, kIdent, value);
    }
}

bool SameInterfaceDescription(std::string_view stored, std::string_view current) {
    if (current.size() <= kMaxInterfaceDescriptionLength) {
        return stored == current;
    }
    // Longer than a profile keeps: the stored text is its beginning (a
    // profile written before descriptions were quoted may keep a little more).
    return stored.size() >= kMaxInterfaceDescriptionLength && current.starts_with(stored);
}

void SaveAddedSettings(TIniFile& ini, const MonitorState& state) {
    WriteAddedSettingInteger(ini, SettingKey::WersjaSNMP, state.SnmpVersion);
    WriteAddedSettingText(ini, SettingKey::OpisInterfaceu, state.InterfaceDescription);
    WriteV3Settings(ini, V3SettingsOf(state), UsesSnmpV3(state));
}

V3Settings V3SettingsOf(const MonitorState& state) {
    return {state.V3User, state.V3Level, state.V3Auth, state.V3Priv, state.V3Context, state.V3Keys};
}

V3Settings ReadV3Settings(const TIniFile& ini) {
    return {ReadSettingText(ini, SettingKey::UzytkownikV3),  ReadSettingInteger(ini, SettingKey::PoziomV3),
            ReadSettingText(ini, SettingKey::AutoryzacjaV3), ReadSettingText(ini, SettingKey::SzyfrV3),
            ReadSettingText(ini, SettingKey::KontekstV3),    ReadSettingText(ini, SettingKey::KluczeV3)};
}

void KeepKeysPrivate(TIniFile& ini, const std::string& keys) {
    if (!keys.empty() || !ReadSettingText(ini, SettingKey::KluczeV3).empty()) {
        ini.SetPrivate();
    }
}

void WriteV3Settings(TIniFile& ini, const V3Settings& settings, bool chosen) {
    KeepKeysPrivate(ini, settings.Keys);
    const SettingWrite writes[] = {
        {SettingKey::UzytkownikV3, settings.User},  {SettingKey::PoziomV3, settings.Level},
        {SettingKey::AutoryzacjaV3, settings.Auth}, {SettingKey::SzyfrV3, settings.Priv},
        {SettingKey::KontekstV3, settings.Context}, {SettingKey::KluczeV3, settings.Keys}};
    for (const SettingWrite& write : writes) {
        const SettingDef& def = Setting(write.Key);
        if (!chosen && !holdsSetting(ini, def)) {
            continue;
        }
        if (const auto* text = std::get_if<std::string>(&write.Value)) {
            WriteSettingText(ini, write.Key, *text);
        } else {
            WriteSettingInteger(ini, write.Key, std::get<int32_t>(write.Value));
        }
    }
}

} // namespace veltrum
