#pragma once
// Every profile setting declared once: its key, kind, default, the state field
// it fills and its place in each list that reads or writes a profile key by
// key. The start-up load, the settings dialog's fill and OK, and "Save as new
// profile" all take their keys from here, so a key's spelling, default and
// position live in one place. Keys are typed: a misspelled key does not
// compile, and neither does a list that skips or repeats a position.

#include "core/MonitorState.h"
#include "settings/IniFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace veltrum {

enum class SettingKind : uint8_t { Text, Integer, Flag };

// One profile section per setting, named as the enumerator; in the order of
// the table below.
enum class SettingKey : uint8_t {
    PozTop,
    PozLeft,
    PozTopWykres,
    PozLeftWykres,
    PozTopWykresPkt,
    PozLeftWykresPkt,
    Sesja,
    Host,
    Haslo,
    NumerInterfaceu,
    Download,
    Upload,
    KolorDownload,
    KolorUpload,
    PokazSrednie,
    Autoscala,
    Timeout,
    PokazWykres,
    PokazWykresPkt,
    TStopien,
    TStopienGraph,
    LinieMax,
    F,
    // Added after the first profiles; a profile without them reads as
    // before: SNMPv1, and no description to check the interface against.
    WersjaSNMP,
    OpisInterfaceu,
    // The monthly quota: its size in GB (10^9 octets, as providers bill;
    // 0: no quota), which directions count (0 both, 1 download, 2 upload)
    // and the day of the month its billing period starts.
    // The quota's size is text: a whole number as before, or a decimal.
    LimitGB,
    LimitKierunek,
    DzienRozliczenia,
    // What the provider counted in the first billing period before the
    // program recorded (GB, as the quota).
    ZuzyteWczesniejGB,
    // The line's maximum speed in Mbit/s, for a line faster than the
    // default maximum (0: not set); read only from the profile.
    MaksPredkosc,
    // SNMPv3's user, security level, protocols and context: written only
    // while SNMPv3 is chosen or where the profile holds them (WriteV3Settings).
    UzytkownikV3,
    PoziomV3,
    AutoryzacjaV3,
    SzyfrV3,
    KontekstV3,
    // The keys localised to the agent's engine, never a passphrase
    // (V3KeysText).
    KluczeV3,
    // The tray icon and the main window hidden while it shows; the rate
    // alarms in kbit/s (0: off) and their time in seconds.
    PokazIkone,
    UkryjOkno,
    AlarmDownload,
    AlarmUpload,
    AlarmCzas, // the last key: kSettingCount follows it
};
inline constexpr size_t kSettingCount = static_cast<size_t>(SettingKey::AlarmCzas) + 1;

// The lists that read or write a profile key by key. A writing list's order is
// the order of the sections in a file it creates.
enum class SettingList : uint8_t { StartupLoad, DialogFill, DialogOk, SaveAs };

// The values an integer setting may take. Where the settings dialog limits a
// setting, a read brings a value from outside the dialog's range to the
// nearest bound, so that a hand-edited profile cannot ask for what the
// dialog never allows (a read time-out of 24 days would freeze the window).
struct SettingRange {
    int32_t Min;
    int32_t Max;
};
inline constexpr SettingRange kAnyInteger{INT32_MIN, INT32_MAX};

struct SettingDef {
    SettingKey Key;
    const char* Name; // the profile section
    SettingKind Kind;
    const char* TextDefault; // Text kind
    int32_t IntDefault;      // Integer kind; Flag kind: 1 or 0
    SettingRange Range;      // Integer kind: what a read may give
    // The state field; monostate for the main window's own position
    // (PozTop, PozLeft), which lives in the window, not in the state.
    std::variant<std::monostate, std::string MonitorState::*, int32_t MonitorState::*,
                 uint32_t MonitorState::*, uint16_t MonitorState::*, bool MonitorState::*>
        Field;
    // The setting's 1-based position in each list, indexed by SettingList;
    // 0 where the list leaves it out.
    std::array<uint8_t, 4> Position;
};

namespace settings_detail {

constexpr std::array<SettingDef, kSettingCount> MakeTable() {
    using K = SettingKey;
    using S = MonitorState;
    constexpr SettingKind kText = SettingKind::Text;
    constexpr SettingKind kInt = SettingKind::Integer;
    constexpr SettingKind kFlag = SettingKind::Flag;
    constexpr std::monostate kWindow{};
    constexpr SettingRange kAny = kAnyInteger;
    constexpr auto kYellowBgr = static_cast<int32_t>(kYellow);
    constexpr auto kRedBgr = static_cast<int32_t>(kRed);
    // clang-format off
    // Rows in the order of the enumeration. Save-as writes every setting the
    // monitor holds, so that the new profile reloads as the monitor stood.
    // The ranges are the settings dialog's: RFC 2863's interface numbers, its
    // scales in kilobits per second, read time-outs in milliseconds, and
    // opacity levels from barely visible to opaque.
    //                                                       default                                                                       position in
    //  key                   name                kind   text           integer     range                  state field                load fill ok save-as
    return {{
        {K::PozTop,            "PozTop",           kInt,  "",            150,        kAny,                  kWindow,                   { 1,  0,  0, 14}},
        {K::PozLeft,           "PozLeft",          kInt,  "",            150,        kAny,                  kWindow,                   { 2,  0,  0, 15}},
        {K::PozTopWykres,      "PozTopWykres",     kInt,  "",            170,        kAny,                  &S::GraphTop,              { 3,  0,  0, 16}},
        {K::PozLeftWykres,     "PozLeftWykres",    kInt,  "",            170,        kAny,                  &S::GraphLeft,             { 4,  0,  0, 17}},
        {K::PozTopWykresPkt,   "PozTopWykresPkt",  kInt,  "",            190,        kAny,                  &S::PacketGraphTop,        { 5,  0,  0, 20}},
        {K::PozLeftWykresPkt,  "PozLeftWykresPkt", kInt,  "",            190,        kAny,                  &S::PacketGraphLeft,       { 6,  0,  0, 21}},
        {K::Sesja,             "Sesja",            kText, "Veltrum",     0,          kAny,                  &S::SessionName,           { 7, 10, 10, 10}},
        {K::Host,              "Host",             kText, "192.168.1.1", 0,          kAny,                  &S::AgentHost,             { 8,  1,  1,  1}},
        {K::Haslo,             "Haslo",            kText, "qorvex",      0,          kAny,                  &S::AgentCommunity,        { 9,  2,  2,  2}},
        {K::NumerInterfaceu,   "NumerInterfaceu",  kInt,  "",            1,          {1, INT32_MAX},        &S::InterfaceNumber,       {10,  3,  3,  3}},
        {K::Download,          "Download",         kInt,  "",            1024,       {128, 100000000},      &S::DownloadScale,         {11,  4,  4,  4}},
        {K::Upload,            "Upload",           kInt,  "",            1024,       {128, 100000000},      &S::UploadScale,           {12,  5,  5,  5}},
        {K::KolorDownload,     "KolorDownload",    kInt,  "",            kYellowBgr, kAny,                  &S::DownloadColor,         {13,  6,  6,  6}},
        {K::KolorUpload,       "KolorUpload",      kInt,  "",            kRedBgr,    kAny,                  &S::UploadColor,           {14,  7,  7,  7}},
        {K::PokazSrednie,      "PokazSrednie",     kFlag, "",            1,          kAny,                  &S::ShowAverages,          {15,  8,  8,  8}},
        {K::Autoscala,         "Autoscala",        kFlag, "",            1,          kAny,                  &S::AutoScale,             {16,  9,  9,  9}},
        {K::Timeout,           "Timeout",          kInt,  "",            250,        {100, 750},            &S::TimeoutMs,             {17, 11, 11, 11}},
        {K::PokazWykres,       "PokazWykres",      kFlag, "",            0,          kAny,                  &S::GraphWindowOpen,       {18,  0,  0, 18}},
        {K::PokazWykresPkt,    "PokazWykresPkt",   kFlag, "",            0,          kAny,                  &S::PacketGraphWindowOpen, {19,  0,  0, 19}},
        {K::TStopien,          "TStopien",         kInt,  "",            255,        {50, 255},             &S::MainOpacity,           {20, 12, 12, 12}},
        {K::TStopienGraph,     "TStopienGraph",    kInt,  "",            255,        {50, 255},             &S::GraphOpacity,          {21, 13, 13, 13}},
        {K::LinieMax,          "LinieMax",         kFlag, "",            0,          kAny,                  &S::ShowMaxLines,          {22, 14, 14, 22}},
        {K::F,                 "F",                kFlag, "",            0,          kAny,                  &S::ResyncTrace,           {23,  0,  0, 23}},
        // Added later: written by their own rule (IsAddedSetting), the
        // first two outside the lists.
        {K::WersjaSNMP,        "WersjaSNMP",       kInt,  "",            0,          kAny,                  &S::SnmpVersion,           {24,  0,  0,  0}},
        {K::OpisInterfaceu,    "OpisInterfaceu",   kText, "",            0,          kAny,                  &S::InterfaceDescription,  {25,  0,  0,  0}},
        // Added too, but in the lists: the lists write them by the same rule.
        // A billing day stops at 28, which every month has.
        {K::LimitGB,           "LimitGB",          kText, "0",           0,          kAny,                  &S::QuotaLimit,            {26, 15, 15, 24}},
        {K::LimitKierunek,     "LimitKierunek",    kInt,  "",            0,          {0, 2},                &S::QuotaDirection,        {27, 16, 16, 25}},
        {K::DzienRozliczenia,  "DzienRozliczenia", kInt,  "",            1,          {1, 28},               &S::BillingDay,            {28, 17, 17, 26}},
        {K::ZuzyteWczesniejGB, "ZuzyteWczesniejGB", kText, "0",          0,          kAny,                  &S::QuotaUsedBefore,       {29, 18, 18, 27}},
        {K::MaksPredkosc,      "MaksPredkosc",     kInt,  "",            0,          {0, 100000000},        &S::MaxSpeedMbit,          {30,  0,  0, 28}},
        // SNMPv3, outside the writing lists (their own rule). The level runs
        // 0 noAuthNoPriv, 1 authNoPriv, 2 authPriv; the protocols are named as
        // snmpget's -a and -x take them.
        {K::UzytkownikV3,      "UzytkownikV3",     kText, "",            0,          kAny,                  &S::V3User,                {31,  0,  0,  0}},
        {K::PoziomV3,          "PoziomV3",         kInt,  "",            2,          {0, 2},                &S::V3Level,               {32,  0,  0,  0}},
        {K::AutoryzacjaV3,     "AutoryzacjaV3",    kText, "SHA-256",     0,          kAny,                  &S::V3Auth,                {33,  0,  0,  0}},
        {K::SzyfrV3,           "SzyfrV3",          kText, "AES",         0,          kAny,                  &S::V3Priv,                {34,  0,  0,  0}},
        {K::KontekstV3,        "KontekstV3",       kText, "",            0,          kAny,                  &S::V3Context,             {35,  0,  0,  0}},
        {K::KluczeV3,          "KluczeV3",         kText, "",            0,          kAny,                  &S::V3Keys,                {36,  0,  0,  0}},
        {K::PokazIkone,        "PokazIkone",       kFlag, "",            0,          kAny,                  &S::ShowTrayIcon,          {37, 19, 19, 29}},
        {K::UkryjOkno,         "UkryjOkno",        kFlag, "",            0,          kAny,                  &S::HideMainWindow,        {38, 20, 20, 30}},
        {K::AlarmDownload,     "AlarmDownload",    kInt,  "",            0,          {0, 100000000},        &S::AlarmDownloadKbps,     {39,  0,  0, 31}},
        {K::AlarmUpload,       "AlarmUpload",      kInt,  "",            0,          {0, 100000000},        &S::AlarmUploadKbps,       {40,  0,  0, 32}},
        {K::AlarmCzas,         "AlarmCzas",        kInt,  "",            10,         {1, 86400},            &S::AlarmSeconds,          {41,  0,  0, 33}},
    }};
    // clang-format on
}

} // namespace settings_detail

inline constexpr std::array<SettingDef, kSettingCount> kSettingTable = settings_detail::MakeTable();

constexpr const SettingDef& Setting(SettingKey key) {
    return kSettingTable[static_cast<size_t>(key)];
}

constexpr size_t SettingListSize(SettingList list) {
    size_t size = 0;
    for (const SettingDef& def : kSettingTable) {
        size += def.Position[static_cast<size_t>(list)] != 0 ? 1 : 0;
    }
    return size;
}

// A list's keys in its order. Positions that skip or repeat a number are not
// a constant expression, so such a table does not build.
template <SettingList List> constexpr std::array<SettingKey, SettingListSize(List)> SettingListKeys() {
    constexpr size_t size = SettingListSize(List);
    std::array<SettingKey, size> keys{};
    std::array<bool, size> taken{};
    for (const SettingDef& def : kSettingTable) {
        const size_t position = def.Position[static_cast<size_t>(List)];
        if (position == 0) {
            continue;
        }
        if (position > size || taken[position - 1]) {
            throw std::logic_error("setting list positions skip or repeat a number");
        }
        taken[position - 1] = true;
        keys[position - 1] = def.Key;
    }
    return keys;
}

// What the start-up load reads, in order.
inline constexpr auto kStartupLoadKeys = SettingListKeys<SettingList::StartupLoad>();
// What the settings dialog fills its fields from, in order.
inline constexpr auto kSettingsDialogFillKeys = SettingListKeys<SettingList::DialogFill>();
// What the settings dialog's OK writes, in order.
inline constexpr auto kSettingsDialogOkKeys = SettingListKeys<SettingList::DialogOk>();
// What "Save as new profile" writes, in order.
inline constexpr auto kSaveAsKeys = SettingListKeys<SettingList::SaveAs>();

// All settings in the order of the enumeration.
std::span<const SettingDef> ProfileSettings();

// A setting's default as a value of its kind.
using SettingValue = std::variant<std::string, int32_t, bool>;
SettingValue DefaultSettingValue(SettingKey key);

// Reads one setting with its default (the profile store decodes); an integer
// outside the setting's range comes back as the nearest bound. Nothing is
// written back: the profile changes only when the user saves.
std::string ReadSettingText(const TIniFile& ini, SettingKey key);
int32_t ReadSettingInteger(const TIniFile& ini, SettingKey key);
bool ReadSettingFlag(const TIniFile& ini, SettingKey key);
// The same as a value of the setting's kind.
SettingValue ReadSetting(const TIniFile& ini, SettingKey key);

// Reads a setting into its state field (not for PozTop/PozLeft).
void LoadSetting(const TIniFile& ini, SettingKey key, MonitorState& state);
// Writes a setting from its state field (not for PozTop/PozLeft); throws EIniFileException.
void SaveSetting(TIniFile& ini, SettingKey key, const MonitorState& state);

// Writes a value under a setting's key (for values that come from a dialog's
// fields or the window position rather than the state); throws EIniFileException.
void WriteSettingText(TIniFile& ini, SettingKey key, const std::string& value);
void WriteSettingInteger(TIniFile& ini, SettingKey key, int32_t value);
void WriteSettingFlag(TIniFile& ini, SettingKey key, bool value);

// One value for a setting, of the setting's kind.
struct SettingWrite {
    SettingKey Key;
    SettingValue Value;
};

// A setting's value as the state holds it (not for PozTop/PozLeft).
SettingValue SettingFromState(SettingKey key, const MonitorState& state);

// Writes the values in order, having checked them all first: a text the store
// would refuse (a line break or NUL) fails before anything is written, so the
// file never keeps half of a batch. An added setting (IsAddedSetting) is
// written only where it says something. Throws EIniFileException.
void WriteSettings(TIniFile& ini, std::span<const SettingWrite> writes);

// The longest interface description (OpisInterfaceu) a profile keeps whole:
// the store's value limit less the two quotation marks around a description
// with outer blanks. A longer one is stored as its beginning.
inline constexpr size_t kMaxInterfaceDescriptionLength = kMaxIniValueLength - 2;

// Whether `current`, an interface's ifDescr as the agent reports it now, is
// the description `stored` in the profile (as the state holds it). Exact,
// outer blanks included; a description longer than the profile keeps matches
// when it begins with what was stored.
bool SameInterfaceDescription(std::string_view stored, std::string_view current);

// Settings added after the first profiles (the protocol version, the
// interface's description, the monthly quota and the line's maximum
// speed). They are written only
// where they say something: a value other than the default, or a key the
// profile already holds. A profile that never had them stays line for line
// as it was. WriteSettings follows this rule for them too.
inline constexpr SettingKey kAddedSettings[] = {
    SettingKey::WersjaSNMP,    SettingKey::OpisInterfaceu,   SettingKey::LimitGB,
    SettingKey::LimitKierunek, SettingKey::DzienRozliczenia, SettingKey::ZuzyteWczesniejGB,
    SettingKey::MaksPredkosc,  SettingKey::PokazIkone,       SettingKey::UkryjOkno,
    SettingKey::AlarmDownload, SettingKey::AlarmUpload,      SettingKey::AlarmCzas};
constexpr bool IsAddedSetting(SettingKey key) {
    for (const SettingKey added : kAddedSettings) {
        if (added == key) {
            return true;
        }
    }
    return false;
}
void WriteAddedSettingInteger(TIniFile& ini, SettingKey key, int32_t value);
// Whether the profile at `path` names an agent (its Host key, not the
// default a profile without one reads as): until it does, nothing is
// recorded of the default agent's traffic.
bool ProfileNamesAgent(const std::string& path);
void WriteAddedSettingText(TIniFile& ini, SettingKey key, const std::string& value);
void WriteAddedSettingFlag(TIniFile& ini, SettingKey key, bool value);
// The two added settings outside the lists from the state, by that rule
// ("Save as new profile"; the lists write the others).
void SaveAddedSettings(TIniFile& ini, const MonitorState& state);

// The SNMPv3 settings as one group.
struct V3Settings {
    std::string User;
    int32_t Level = 2;
    std::string Auth = "SHA-256";
    std::string Priv = "AES";
    std::string Context;
    std::string Keys; // V3KeysText's form; empty: none kept
};
inline constexpr SettingKey kV3Settings[] = {SettingKey::UzytkownikV3,  SettingKey::PoziomV3,
                                             SettingKey::AutoryzacjaV3, SettingKey::SzyfrV3,
                                             SettingKey::KontekstV3,    SettingKey::KluczeV3};
V3Settings V3SettingsOf(const MonitorState& state);
V3Settings ReadV3Settings(const TIniFile& ini);
// Writes the SNMPv3 settings when `chosen` (SNMPv3 is the version) and
// otherwise only those the profile already holds, so that a profile that
// never used SNMPv3 stays line for line as it was. Kept keys make the
// profile readable by its owner alone. Throws EIniFileException.
void WriteV3Settings(TIniFile& ini, const V3Settings& settings, bool chosen);
// Makes every later write of `ini` private (TIniFile::SetPrivate) when it
// will hold `keys` or holds keys already; called before a batch's first
// write, so that no temporary file ever holds them readable by others.
void KeepKeysPrivate(TIniFile& ini, const std::string& keys);

} // namespace veltrum
