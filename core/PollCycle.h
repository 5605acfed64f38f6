#pragma once
// The poll cycle: one GetRequest for four interface counters, then rates,
// totals, histories, averages and resynchronisation, and the numbers that
// the main window and the graph windows show (core/SampleTexts.h makes their
// texts). It keeps nothing of its own between polls: everything lives in the
// MonitorState. What it shows goes through a PollView, which the Monitor
// implements and tests replace.

#include "core/Formatting.h"
#include "core/MonitorState.h"
#include "core/SampleTexts.h"
#include "history/UsageTick.h"

#include <array>
#include <cstdint>
#include <string>

namespace veltrum {

class TIdSNMP;

// The profile's maximum speed in bits per second (LineBound), 0 when not set.
inline uint64_t ProfileMaxSpeed(const MonitorState& state) {
    return state.MaxSpeedMbit > 0 ? static_cast<uint64_t>(state.MaxSpeedMbit) * 1'000'000 : 0;
}

// The poll timer's interval outside a resynchronisation.
inline constexpr int32_t kNominalPollIntervalMs = 1000;

class PollView {
public:
    virtual ~PollView() = default;
    // Gauge maxima before the request; throws for a maximum below the minimum.
    virtual void SetGaugeMaxima(int32_t downMax, int32_t upMax) = 0;
    // The rates (MainRateTexts makes the labels) and the gauges' progress;
    // clears the red panel and redraws the gauges.
    virtual void ShowRates(int32_t downRate, int32_t upRate, int32_t downProgress, int32_t upProgress) = 0;
    // The local date and time for the chart titles (short date, long time).
    virtual std::string NowText() = 0;
    virtual void RefreshBandwidthGraph(const BandwidthFigures& figures) = 0;
    virtual void RefreshPacketsGraph(const PacketFigures& figures) = 0;
    // A traced resynchronisation's snapshot failed after the packet
    // histories had moved on: their step, without averages, for a view that
    // keeps its own lines. The poll then takes its failure path.
    virtual void PacketLinesShifted(const GraphStep& step) { (void)step; }
    // The packets graph's resynchronisation mark (its Label9).
    virtual void SetResyncMark(const std::string& text) = 0;
    // The poll timer's interval for the following ticks.
    virtual void SetPollInterval(int32_t ms) = 0;
    // The packets graph's Save as BMP at the end of a traced resynchronisation; may throw.
    virtual void SaveResyncSnapshot() = 0;
    // "Err" in both rate labels, graph value labels emptied, gauges at 0, red
    // panel; `reason` (FailureText, empty when no reason is known) is the
    // window's hint until the next ShowRates.
    virtual void ShowFailure(const std::string& reason) = 0;
    // After the first success that ends a run of failed polls, the check of
    // the interface kept by name (InterfaceCheckText): a mismatch to show as
    // the window's hint, or empty when there is none (any more).
    virtual void ShowInterfaceCheck(const std::string& text) { (void)text; }
    // After the first success that ends a run of failed polls, for a profile
    // that keeps the interface's description: whether the reading just taken
    // stands. This checks at once (KeepInterfaceByName, ApplyInterfaceCheck);
    // a window instead runs a check that needs a walk a step at a time
    // between its events, drops the reading and applies the result when the
    // walk ends.
    virtual bool CheckInterface(MonitorState& state, TIdSNMP& snmp);
    // Each poll's outcome for the usage history: the differences counted, a
    // reading that only primes (or follows a reset), or a failure. The
    // tick's Time is left 0 for the view to stamp.
    virtual void RecordUsage(const UsageTick& tick) { (void)tick; }
};

struct InterfaceCheck;

// What a finished check of the interface kept by name means for the poll:
// the window is told the mismatch (or that there is none any more), and on a
// switch the next reading only primes, as the last one came from the old
// number. True when the reading taken before the check stands.
bool ApplyInterfaceCheck(MonitorState& state, const InterfaceCheck& check, PollView& view);

// One run of the poll cycle (each of Monitor::Poll's). Never throws:
// every failure takes the failure path, which also replaces the client's socket.
// The first success after failed polls checks, for a profile that keeps the
// interface's description, that the number still names it
// (KeepInterfaceByName): a switch to another number drops that reading, as
// it came from the old one, and the next reading only primes.
void RunPollCycle(MonitorState& state, TIdSNMP& snmp, PollView& view, const NumberLocale& locale);

// The successful path after the exchange, given the four reply value texts
// (ifInOctets, ifOutOctets, ifInUcastPkts, ifOutUcastPkts): readings, rates,
// totals, gauges, histories, averages, resynchronisation and graph texts.
// All four texts are converted before any reading is stored, so a value that
// is not an integer throws EConvertError with the state untouched. A failing
// view call is passed on. RunPollCycle turns both into the failure path.
// A reading in which a counter went back further than a wrap allows is taken
// as the agent's restart: it only primes, as the first reading does. So does
// one that rose further than the line could carry in the intervals it
// covers (LineBound), or whose packets ran ahead of the octets of their
// direction: a glitch is a new baseline, never traffic.
// An agent that refreshes its counters only every few seconds moves them at
// some polls only: once two gaps between moves agree on that period, a
// counter's rate is its increase over the intervals since it last moved, and
// stands until the next refresh is due (MonitorState::Paces).
void ApplyPollReadings(MonitorState& state, const std::array<std::string, 4>& values, PollView& view,
                       const NumberLocale& locale);
// The same for the SNMPv2c poll's four 64-bit counters (ifHCInOctets,
// ifHCOutOctets, ifHCInUcastPkts, ifHCOutUcastPkts): their differences are
// taken modulo 2^64; every other rule is the 32-bit readings' own.
void ApplyPollReadings64(MonitorState& state, const std::array<std::string, 4>& values, PollView& view,
                         const NumberLocale& locale);

// What the poll reads, for the settings dialog and the graph windows' hints:
// "SNMPv1, 32-bit counters", "SNMPv2c, 64-bit counters", or, after the
// fallback, "SNMPv2c, 32-bit counters (the agent has no 64-bit counters for
// this interface)".
std::string CounterWidthText(const MonitorState& state);
CounterWidth CounterWidthOf(const MonitorState& state);

// ifSpeed of the interface in bits per second, in a GetRequest of its own
// (the poll's request stays as it is), waiting at most `timeoutMs`. 0 when
// the agent does not answer, refuses or answers with something else.
// RunPollCycle runs it after the first reading since the counting began, in
// the poll's own protocol version (`version` as the message's field).
uint32_t ReadInterfaceSpeed(TIdSNMP& snmp, int32_t interfaceNumber, int32_t timeoutMs,
                            int32_t version = 0) noexcept;

} // namespace veltrum
