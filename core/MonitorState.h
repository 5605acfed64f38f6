#pragma once
// The monitor state: the values of one router's monitor. Each Monitor
// (core/Monitor.h) owns one; tests make their own. Names follow the program's vocabulary so that every
// module speaks of the same `DownHistory` or `MainOpacity`.

#include "core/CounterPace.h"
#include "core/CounterReset.h"

#include <array>
#include <cstdint>
#include <string>

namespace veltrum {

// The six rate arrays hold 180 slots of which 1..HistoryLength (120) are used;
// index 0 is never touched, so slot numbers read as they do everywhere else.
inline constexpr int kHistorySlots = 180;
using History = std::array<int32_t, kHistorySlots + 1>;

// Colours are 0x00BBGGRR: red in the low byte.
inline constexpr uint32_t kYellow = 0x0000FFFF;
inline constexpr uint32_t kRed = 0x000000FF;

struct MonitorState {
    // Settings, read from the current profile by the start-up load.
    std::string ProfilePath;
    std::string AgentHost;
    std::string AgentCommunity;
    int32_t InterfaceNumber = 0;
    std::string SessionName;
    int32_t DownloadScale = 0;
    int32_t UploadScale = 0;
    uint32_t DownloadColor = 0;
    uint32_t UploadColor = 0;
    bool ShowAverages = false;
    bool AutoScale = false;
    int32_t TimeoutMs = 0;
    // The requests' SNMP version, as the message's version field: 0 SNMPv1,
    // 1 SNMPv2c. Any other value of a hand-edited profile means SNMPv1.
    int32_t SnmpVersion = 0;
    // SNMPv3 (SnmpVersion 3): the user, the security level (0 noAuthNoPriv,
    // 1 authNoPriv, 2 authPriv), the protocols by snmpget's names and the
    // context. The passphrases are never part of the state's settings.
    std::string V3User;
    int32_t V3Level = 0;
    std::string V3Auth;
    std::string V3Priv;
    std::string V3Context;
    std::string V3Keys; // keys localised to the agent's engine (KluczeV3)
    // The ifDescr of InterfaceNumber as last seen; empty when never seen.
    std::string InterfaceDescription;
    // The monthly quota in GB (10^9 octets; "0": none) as the profile
    // writes it, a whole number or a decimal ("150", "1.5"), which
    // directions count against it (0 both, 1 download, 2 upload), the day
    // of the month (1-28) its billing period starts, and the GB the
    // provider counted in the first period before recording began.
    std::string QuotaLimit;
    int32_t QuotaDirection = 0;
    int32_t BillingDay = 0;
    std::string QuotaUsedBefore;
    // The line's maximum speed in Mbit/s when it is faster than the default
    // maximum (kDefaultMaxSpeed); 0: not set.
    int32_t MaxSpeedMbit = 0;
    // The tray icon, and the main window hidden while it shows.
    bool ShowTrayIcon = false;
    bool HideMainWindow = false;
    // The rate alarms in kbit/s (0: off) and how long a rate must stay
    // above one to be announced, or below to be announced again.
    int32_t AlarmDownloadKbps = 0;
    int32_t AlarmUploadKbps = 0;
    int32_t AlarmSeconds = 0;
    bool GraphWindowOpen = false;
    bool PacketGraphWindowOpen = false;
    uint16_t MainOpacity = 0;
    uint16_t GraphOpacity = 0;
    bool ShowMaxLines = false;
    bool ResyncTrace = false;
    int32_t GraphTop = 0;
    int32_t GraphLeft = 0;
    int32_t PacketGraphTop = 0;
    int32_t PacketGraphLeft = 0;
    bool OpacityReady = false;

    // Run-time values, never persisted.
    int32_t HistoryLength = 0;
    int32_t InOctetsNow = 0, InOctetsPrev = 0;
    int32_t OutOctetsNow = 0, OutOctetsPrev = 0;
    int32_t InPktsNow = 0, InPktsPrev = 0;
    int32_t OutPktsNow = 0, OutPktsPrev = 0;
    // The interface's ifSpeed in bits per second, 0 while unknown: it bounds
    // how far a counter can move in one interval, which tells a wrap from a
    // reset of the agent's counters.
    uint32_t InterfaceSpeed = 0;
    int32_t DownRate = 0, UpRate = 0;
    int32_t DownPktRate = 0, UpPktRate = 0;
    int32_t MissedPolls = 0;
    int32_t PollCount = 0;
    int32_t PacketPollCount = 0;
    uint32_t DownTotal = 0, UpTotal = 0;
    std::string DownTotalText, UpTotalText, TotalsText;
    int32_t PeakPktRate = 0;
    History DownHistory{}, UpHistory{};
    History DownAvgLine{}, UpAvgLine{};
    int32_t DownSum = 0, UpSum = 0, DownAvg = 0, UpAvg = 0;
    History DownPktHistory{}, UpPktHistory{};
    History DownPktAvgLine{}, UpPktAvgLine{};
    int32_t DownPktSum = 0, UpPktSum = 0, DownPktAvg = 0, UpPktAvg = 0;
    bool ResyncActive = false;
    int32_t ResyncStep = 0;
    // SNMPv2c: the readings of ifHCInOctets, ifHCOutOctets, ifHCInUcastPkts
    // and ifHCOutUcastPkts, in that order, and whether this session reads
    // the 32-bit counters instead because the agent has no 64-bit ones for
    // the interface. The start-up load clears all three.
    std::array<uint64_t, 4> Counters64Now{}, Counters64Prev{};
    bool Counters32Only = false;
    // The packet counters the agent has not read (MendUnreadPackets).
    UnreadPackets PacketsUnread;
    // How often each of the four counters (octets in and out, packets in
    // and out) moves: the agent's refresh period as learned from the
    // readings. The first reading after a restart forgets it.
    std::array<CounterPace, 4> Paces{};
    // The readings held belong to an interface no longer watched (the
    // number was switched to follow its description): the next reading
    // only primes. Cleared by the start-up load and by that reading.
    bool PrimeNextReading = false;
};

inline constexpr int32_t kSnmpVersion2c = 1;
inline constexpr int32_t kSnmpVersion3 = 3; // RFC 3412: msgVersion
// SNMPv3 carries the PDUs of SNMPv2c (RFC 3416): GetBulk, Counter64 and the
// exception values are the same.
inline bool UsesSnmpV2c(const MonitorState& state) {
    return state.SnmpVersion == kSnmpVersion2c || state.SnmpVersion == kSnmpVersion3;
}
inline bool UsesSnmpV3(const MonitorState& state) {
    return state.SnmpVersion == kSnmpVersion3;
}
// Whether the poll reads the 64-bit counters.
inline bool Uses64BitCounters(const MonitorState& state) {
    return UsesSnmpV2c(state) && !state.Counters32Only;
}

// Slots 1..HistoryLength are the used ones; a length outside the arrays is
// held to them.
inline int32_t UsedSlots(const MonitorState& state) {
    return state.HistoryLength < 0
               ? 0
               : (state.HistoryLength > kHistorySlots ? kHistorySlots : state.HistoryLength);
}

// Zeroes slots 1..length of a history.
inline void ZeroSlots(History& history, int32_t length) {
    const int32_t used = length < 0 ? 0 : (length > kHistorySlots ? kHistorySlots : length);
    for (int32_t i = 1; i <= used; ++i) {
        history[static_cast<size_t>(i)] = 0;
    }
}

// The reply wait handed to the SNMP clients by the poll, the agent probe and
// the interface walk. The profile is read unchecked and a hand-edited negative
// time-out would reach the socket layer, where -2 means "wait for ever" and
// would freeze every window; such a value waits the default instead.
inline constexpr int32_t kDefaultTimeoutMs = 250;
inline int32_t ReplyTimeoutMs(const MonitorState& state) {
    return state.TimeoutMs < 0 ? kDefaultTimeoutMs : state.TimeoutMs;
}

} // namespace veltrum
