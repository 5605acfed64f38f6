#include "core/PollCycle.h"

#include "core/AgentQuery.h"
#include "core/CounterReset.h"
#include "core/FailureReason.h"
#include "core/GraphSeries.h"
#include "core/InterfaceCheck.h"
#include "snmp/IdSNMP.h"
#include "snmp/TextToInt.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <optional>
#include <stdexcept>

namespace veltrum {

namespace {

// One rate unit is 1265 octets per poll interval, so rate x 10 is close to
// kilobits per second at the nominal one-second interval.
constexpr long double kOctetsPerRateUnit = 1265.0L;
constexpr int32_t kVersion2c = 1; // RFC 1901
constexpr int32_t kResyncIntervalMs = 1025;
constexpr int32_t kResyncPolls = 10;

// ifInOctets, ifOutOctets, ifInUcastPkts, ifOutUcastPkts: the columns the
// interface number is appended to, in the order the readings are taken.
constexpr AgentObject kCounterPrefixes[4] = {AgentObject::IfInOctets, AgentObject::IfOutOctets,
                                             AgentObject::IfInUcastPkts, AgentObject::IfOutUcastPkts};
// SNMPv2c: ifHCInOctets, ifHCOutOctets, ifHCInUcastPkts, ifHCOutUcastPkts,
// in the same order.
constexpr AgentObject kHcCounterPrefixes[4] = {AgentObject::IfHCInOctets, AgentObject::IfHCOutOctets,
                                               AgentObject::IfHCInUcastPkts, AgentObject::IfHCOutUcastPkts};

// 32-bit state arithmetic wraps silently, as the counters themselves do.
int32_t wrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t wrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
int32_t wrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
int32_t wrapAbs(int32_t a) {
    return a < 0 ? wrapSub(0, a) : a;
}

// The integer result of an extended-precision formula: the fraction dropped
// toward zero, the low 32 bits kept. A division by zero (no history slots, a
// zero interval count) gives no number and fails the poll.
int32_t truncate32(long double x) {
    if (!std::isfinite(x)) {
        throw std::domain_error("Invalid floating point operation");
    }
    const long double whole = std::trunc(x);
    if (std::fabs(whole) < 9.0e18L) {
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(whole)));
    }
    long double low = std::fmod(whole, 4294967296.0L);
    if (low < 0) {
        low += 4294967296.0L;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(low));
}

// The counters are 32-bit and arrive as signed text, so a counter at or above
// 2^31 reads negative. The difference of the two bit patterns modulo 2^32 is
// the true increase, across 2^31 and across the wrap past 2^32 alike. A
// reading that went back further than a wrap allows never gets here: it is
// the agent's restart (agentReset).
uint32_t counterIncrease(int32_t now, int32_t prev) {
    return static_cast<uint32_t>(now) - static_cast<uint32_t>(prev);
}

// A counter's increase over the intervals it covers, in `unit`s per interval.
// long double holds every 64-bit increase exactly on the platforms this
// program builds for (x87 extended precision), and a unit of 1 divides exactly.
int32_t rateOf(uint64_t increase, long double unit, int32_t intervals) {
    return wrapAbs(
        truncate32(static_cast<long double>(increase) / unit / static_cast<long double>(intervals)));
}

// The 64-bit counters' increase: their difference modulo 2^64, which is the
// true increase across a wrap as well.
uint64_t counterIncrease64(uint64_t now, uint64_t prev) {
    return now - prev;
}

// The intervals over which each counter's increase is counted, in the order
// of the readings: 0 for a counter that did not move.
using Spans = std::array<int32_t, 4>;

// The four rates from the four counters' increases, 32-bit and 64-bit
// readings alike. An agent that refreshes its counters every few seconds
// moves them only at some polls: a counter's rate is its increase over the
// intervals since it last moved, and stands until the agent's next refresh
// is due, so a steady flow shows steadily. With an agent that refreshes at
// every poll, or before its pace is known, this is the increase over the
// intervals of this reading, and a counter that did not move has rate 0.
// `covered` gives each counter's intervals: a counter the agent did not
// read covers none, and its rate stands.
Spans takeRates(MonitorState& state, const std::array<uint64_t, 4>& increases, const Spans& covered) {
    int32_t* const rates[4] = {&state.DownRate, &state.UpRate, &state.DownPktRate, &state.UpPktRate};
    constexpr long double kUnits[4] = {kOctetsPerRateUnit, kOctetsPerRateUnit, 1.0L, 1.0L};
    // After a restart the previous readings are not this session's: this
    // reading only primes, and whatever the old agent's pace was is forgotten.
    const bool restarted = state.PollCount == 0 && state.PacketPollCount == 0;
    Spans spans{};
    for (size_t i = 0; i < increases.size(); ++i) {
        const int32_t intervals = covered[i];
        if (intervals == 0 && !restarted) {
            continue;
        }
        PaceStep step{intervals, false};
        if (restarted) {
            state.Paces[i] = CounterPace{};
        } else {
            step = AdvancePace(state.Paces[i], increases[i] != 0, intervals);
        }
        if (restarted || increases[i] != 0) {
            *rates[i] = rateOf(increases[i], kUnits[i], step.Span);
        } else if (!step.Hold) {
            *rates[i] = 0;
        }
        spans[i] = step.Span;
    }
    return spans;
}

// A 64-bit counter's text: the unsigned decimal a Counter64 reads as, or,
// from an agent that answers these objects with a 32-bit type, the signed
// text of the 32-bit pattern. Anything else is not an integer and throws.
uint64_t reading64(const std::string& text) {
    uint64_t value = 0;
    if (tryParseUnsigned64(text, value)) {
        return value;
    }
    return static_cast<uint32_t>(StrToInt(text));
}

int32_t sumOf(const History& history, int32_t length) {
    uint32_t sum = 0;
    for (int32_t i = 1; i <= length; ++i) {
        sum += static_cast<uint32_t>(history[static_cast<size_t>(i)]);
    }
    return static_cast<int32_t>(sum);
}

// Until the history has filled, the average is taken over the slots filled
// since the restart: polls − 1, the first poll having only primed the
// readings. The poll numbered `length` has filled length − 1 slots, so it
// still divides by the filled count; dividing by `length` there would count
// an empty slot.
int32_t averageOf(int32_t sum, int32_t polls, int32_t length) {
    const int32_t filled = wrapSub(polls, 1);
    const int32_t divisor = filled < length ? filled : length;
    return truncate32(static_cast<long double>(sum) / static_cast<long double>(divisor));
}

// Traffic between 2% and 7% of the scale is drawn as 7% so that it stays
// visible on the small bar; at or below 2% it is drawn as it is.
int32_t gaugeProgress(int32_t scale, int32_t rate) {
    const int32_t value = wrapMul(rate, 10);
    int32_t progress = value <= scale ? value : scale;
    const long double s = scale;
    const long double v = value;
    if (s * 0.02L < v && v < s * 0.07L) {
        progress = truncate32(s * 0.07L);
    }
    return progress;
}

void applyBandwidthSide(MonitorState& state, const Spans& spans, PollView& view, const NumberLocale& locale) {
    const int32_t length = UsedSlots(state);

    // Each interval an increase spans adds its volume: 1.25 units of 1012
    // octets per rate unit. A rate that only stands until the agent's next
    // refresh adds nothing: its octets come with that refresh.
    state.DownTotal += static_cast<uint32_t>(wrapMul(truncate32(state.DownRate * 1.25L), spans[0]));
    state.UpTotal += static_cast<uint32_t>(wrapMul(truncate32(state.UpRate * 1.25L), spans[1]));
    state.DownTotalText = VolumeText(state.DownTotal, locale);
    state.UpTotalText = VolumeText(state.UpTotal, locale);
    state.TotalsText = TotalsText(state.DownTotal, state.UpTotal, state.PollCount, locale);

    view.ShowRates(state.DownRate, state.UpRate, gaugeProgress(state.DownloadScale, state.DownRate),
                   gaugeProgress(state.UploadScale, state.UpRate));

    BandwidthFigures figures;
    GraphStep& step = figures.Step;
    step.Length = length;
    step.Down = wrapMul(state.DownRate, 10);
    step.Up = wrapMul(state.UpRate, 10);
    ShiftIn(state.DownHistory, length, step.Down);
    ShiftIn(state.UpHistory, length, step.Up);
    state.DownSum = sumOf(state.DownHistory, length);
    state.UpSum = sumOf(state.UpHistory, length);
    state.DownAvg = averageOf(state.DownSum, state.PollCount, length);
    state.UpAvg = averageOf(state.UpSum, state.PollCount, length);
    FillSlots(state.DownAvgLine, length, state.DownAvg);
    FillSlots(state.UpAvgLine, length, state.UpAvg);
    step.DownAvg = state.DownAvg;
    step.UpAvg = state.UpAvg;

    figures.Time = view.NowText();
    // With a fixed axis at the larger scale, the history keeps the clipped
    // samples (ClipSlots).
    if (!state.AutoScale) {
        step.Clip = true;
        step.DownScale = state.DownloadScale;
        step.UpScale = state.UploadScale;
        step.Clipped = truncate32(std::max(state.DownloadScale, state.UploadScale) * 0.995L);
        for (History* history : {&state.DownHistory, &state.UpHistory}) {
            ClipSlots(*history, length, step.DownScale, step.UpScale, step.Clipped);
        }
    }
    figures.DownRate = state.DownRate;
    figures.UpRate = state.UpRate;
    figures.DownTotal = state.DownTotal;
    figures.UpTotal = state.UpTotal;
    figures.PollCount = state.PollCount;
    figures.Width = CounterWidthOf(state);
    view.RefreshBandwidthGraph(figures);
}

// A reading of zero packets in both directions next to a jump of more than 30%
// over the reading two polls back means the polls fall on the agent's own
// counter updates. Lengthening the next ten intervals slightly moves them away.
void resynchronise(MonitorState& state, PollView& view) {
    const History& down = state.DownPktHistory;
    const History& up = state.UpPktHistory;
    if (!state.ResyncActive && (state.DownPktAvg > 10 || state.UpPktAvg > 10) && state.PacketPollCount > 3 &&
        down[3] != 0 && up[3] != 0) {
        const long double down3 = down[3] * 1.3L;
        const long double up3 = up[3] * 1.3L;
        const bool stallThenJump = down3 < down[1] && up3 < up[1] && down[2] == 0 && up[2] == 0;
        const bool jumpThenStall = down3 < down[2] && up3 < up[2] && down[1] == 0 && up[1] == 0;
        if (stallThenJump || jumpThenStall) {
            state.ResyncActive = true;
        }
    }
    if (!state.ResyncActive) {
        return;
    }
    if (state.ResyncTrace) {
        view.SetResyncMark(">>");
    }
    view.SetPollInterval(wrapSub(kResyncIntervalMs, state.ResyncStep));
    if (state.ResyncStep >= kResyncPolls) {
        if (state.ResyncTrace) {
            view.SetResyncMark(">");
        }
        view.SetPollInterval(kNominalPollIntervalMs);
        state.ResyncActive = false;
        if (state.ResyncTrace) {
            view.SaveResyncSnapshot();
        }
        state.PeakPktRate = 0;
    }
}

void applyPacketsSide(MonitorState& state, PollView& view) {
    const int32_t length = UsedSlots(state);
    PacketFigures figures;
    GraphStep& step = figures.Step;
    step.Length = length;
    step.Down = state.DownPktRate;
    step.Up = state.UpPktRate;
    ShiftIn(state.DownPktHistory, length, step.Down);
    ShiftIn(state.UpPktHistory, length, step.Up);

    // Detection reads the averages of the previous poll, so it runs first.
    try {
        resynchronise(state, view);
    } catch (...) {
        // The snapshot failed: the histories have moved on all the same.
        step.Averaged = false;
        view.PacketLinesShifted(step);
        throw;
    }

    state.DownPktSum = sumOf(state.DownPktHistory, length);
    state.UpPktSum = sumOf(state.UpPktHistory, length);
    state.DownPktAvg = averageOf(state.DownPktSum, state.PacketPollCount, length);
    state.UpPktAvg = averageOf(state.UpPktSum, state.PacketPollCount, length);
    FillSlots(state.DownPktAvgLine, length, state.DownPktAvg);
    FillSlots(state.UpPktAvgLine, length, state.UpPktAvg);
    step.DownAvg = state.DownPktAvg;
    step.UpAvg = state.UpPktAvg;

    figures.Time = view.NowText();
    const int32_t total = wrapAdd(state.DownPktRate, state.UpPktRate);
    if (state.PacketPollCount > 3 && total > state.PeakPktRate) {
        state.PeakPktRate = total;
    }
    figures.DownPktRate = state.DownPktRate;
    figures.UpPktRate = state.UpPktRate;
    figures.PeakPktRate = state.PeakPktRate;
    figures.Width = CounterWidthOf(state);
    view.RefreshPacketsGraph(figures);
}

// A fresh socket drops any reply that arrives late and would otherwise be
// taken as the answer to the next request.
void replaceSocket(TIdSNMP& snmp) noexcept {
    try {
        snmp.SetActive(false);
    } catch (...) {
    }
    try {
        snmp.SetActive(true);
    } catch (...) {
    }
}

// The usage history's share of a poll: what was read and, when counted, the
// differences exactly as judged here.
void reportUsage(PollView& view, const MonitorState& state, UsageTickKind kind,
                 const std::array<uint64_t, 4>& differences = {}, bool implausible = false) {
    UsageTick tick;
    tick.Kind = kind;
    tick.Implausible = implausible;
    tick.MaxSpeed = ProfileMaxSpeed(state);
    if (kind == UsageTickKind::Counted) {
        tick.Differences = differences;
    }
    if (kind != UsageTickKind::Failed) {
        tick.CounterBits = Uses64BitCounters(state) ? 64 : 32;
        tick.Readings = Uses64BitCounters(state)
                            ? state.Counters64Now
                            : std::array<uint64_t, 4>{static_cast<uint32_t>(state.InOctetsNow),
                                                      static_cast<uint32_t>(state.OutOctetsNow),
                                                      static_cast<uint32_t>(state.InPktsNow),
                                                      static_cast<uint32_t>(state.OutPktsNow)};
        tick.Speed = state.InterfaceSpeed;
    }
    view.RecordUsage(tick);
}

void takeFailurePath(MonitorState& state, TIdSNMP& snmp, PollView& view,
                     const std::exception_ptr& error) noexcept {
    state.MissedPolls = wrapAdd(state.MissedPolls, 1);
    try {
        reportUsage(view, state, UsageTickKind::Failed);
    } catch (...) {
    }
    try {
        view.ShowFailure(FailureText(ExchangeFailure(snmp, error, state.InterfaceNumber)));
    } catch (...) {
    }
    replaceSocket(snmp);
}

// A reading after the agent started again (or the first after the interface
// changed) only primes: it is kept for the next difference, and nothing
// reaches totals, histories or averages. The poll is not counted, so the
// averages still divide by the slots actually filled.
void primeOnly(MonitorState& state) {
    RebaseUnreadPackets(state.PacketsUnread);
    state.DownRate = 0;
    state.UpRate = 0;
    state.DownPktRate = 0;
    state.UpPktRate = 0;
    state.MissedPolls = 0;
    for (CounterPace& pace : state.Paces) {
        RebasePace(pace);
    }
}

// A reading judged against the last one (JudgeReadings): an agent that
// restarts sets its counters back to small values, which read modulo 2^32
// would pass for a wrap of billions; a glitch rises further than the line
// carries. Either way the reading only primes: one counter decides for the
// whole reading, so packets follow the same rules as octets.
ReadingVerdict judge(const MonitorState& state, const std::array<uint64_t, 4>& previous,
                     const std::array<uint64_t, 4>& readings, unsigned width, int32_t intervals) {
    std::array<uint64_t, 4> increases{};
    const uint64_t span = intervals > 0 ? static_cast<uint64_t>(intervals) : 1;
    return JudgeReadings(previous, readings, width, state.InterfaceSpeed, ProfileMaxSpeed(state), span,
                         increases);
}

} // namespace

namespace {

// Everything after the rates: counts, then both sides.
void finishReadings(MonitorState& state, const Spans& spans, PollView& view, const NumberLocale& locale) {
    state.PollCount = wrapAdd(state.PollCount, 1);
    state.PacketPollCount = wrapAdd(state.PacketPollCount, 1);
    state.MissedPolls = 0;

    // The first success after a restart only primes the readings.
    if (state.PollCount > 1) {
        applyBandwidthSide(state, spans, view, locale);
    }
    if (state.PacketPollCount > 1) {
        applyPacketsSide(state, view);
    }
}

// One GetRequest for the four counters of the interface, as SNMPv1 always
// asked it; SNMPv2c requests carry the version and NULL values (RFC 3416
// section 4.2.1 leaves a request's values unspecified).
void askCounters(const MonitorState& state, TIdSNMP& snmp, const AgentObject (&columns)[4]) {
    const int32_t index = state.InterfaceNumber;
    const AgentName names[4] = {
        {columns[0], index}, {columns[1], index}, {columns[2], index}, {columns[3], index}};
    snmp.ReceiveTimeout = ReplyTimeoutMs(state);
    // The result is not needed: a missing or short reply fails at ValueAt.
    AskAgent(snmp, {RequestKind::Get, UsesSnmpV2c(state) ? kVersion2c : 0 /* SNMPv1 */}, names);
}

void readSpeed(MonitorState& state, TIdSNMP& snmp) {
    state.InterfaceSpeed = ReadInterfaceSpeed(snmp, state.InterfaceNumber, ReplyTimeoutMs(state),
                                              UsesSnmpV2c(state) ? kVersion2c : 0);
}

// The reply's four counters as integers, read before anything else uses the
// client (the interface check sends requests of its own). A value that is
// not an integer keeps its text: taking the readings fails with the strict
// conversion's error for the first such value, as converting the texts did.
template <class T> struct ReplyReadings {
    std::array<T, 4> Values{};
    std::optional<std::string> NotInteger;

    const std::array<T, 4>& take() const {
        if (NotInteger) {
            throw EConvertError(*NotInteger);
        }
        return Values;
    }
};

// A reply without all four values fails at the first one missing, as
// ValueAt does.
void requireValues(const TSNMPInfo& reply) {
    if (reply.CountValues() < 4) {
        throw EListError(reply.CountValues());
    }
}

ReplyReadings<int32_t> replyValues(const TIdSNMP& snmp) {
    const TSNMPInfo& reply = snmp.ReplyMessage;
    requireValues(reply);
    ReplyReadings<int32_t> readings;
    for (int i = 0; i < 4; ++i) {
        if (!reply.Int32At(i, readings.Values[static_cast<size_t>(i)]) && !readings.NotInteger) {
            readings.NotInteger = reply.ValueAt(i);
        }
    }
    return readings;
}

// A 64-bit counter reads as the unsigned number of a Counter64 or, from an
// agent that answers these objects with a 32-bit type, as the 32-bit
// pattern of its signed number.
ReplyReadings<uint64_t> replyValues64(const TIdSNMP& snmp) {
    const TSNMPInfo& reply = snmp.ReplyMessage;
    requireValues(reply);
    ReplyReadings<uint64_t> readings;
    for (int i = 0; i < 4; ++i) {
        uint64_t& value = readings.Values[static_cast<size_t>(i)];
        int32_t number = 0;
        if (reply.Unsigned64At(i, value)) {
            continue;
        }
        if (reply.Int32At(i, number)) {
            value = static_cast<uint32_t>(number);
        } else if (!readings.NotInteger) {
            readings.NotInteger = reply.ValueAt(i);
        }
    }
    return readings;
}

void applyReadings(MonitorState& state, const std::array<int32_t, 4>& readings, PollView& view,
                   const NumberLocale& locale);
void applyReadings64(MonitorState& state, std::array<uint64_t, 4> readings, PollView& view,
                     const NumberLocale& locale);

// The first success after failed polls: whether the interface number still
// names the interface the profile keeps, and so whether the reading stands.
bool keepInterface(MonitorState& state, TIdSNMP& snmp, PollView& view) {
    if (state.MissedPolls == 0 || state.InterfaceDescription.empty()) {
        return true;
    }
    return view.CheckInterface(state, snmp);
}

// The SNMPv2c poll. An agent without the 64-bit counters of the interface
// answers them with an exception (RFC 2863 asks for them only above
// 20 Mbit/s): the session reads the 32-bit ones from then on, starting with
// this very tick.
void poll64(MonitorState& state, TIdSNMP& snmp, PollView& view, const NumberLocale& locale) {
    askCounters(state, snmp, kHcCounterPrefixes);
    if (snmp.QueryMessage.CountValues() == 0) {
        return;
    }
    bool noValue = false;
    for (int i = 0; i < 4; ++i) {
        noValue = snmp.ReplyMessage.IsNoValueAt(i) || noValue; // a short reply throws here
    }
    const ReplyReadings<uint64_t> readings = replyValues64(snmp);
    if (!keepInterface(state, snmp, view)) {
        return;
    }
    if (!noValue) {
        applyReadings64(state, readings.take(), view, locale);
        return;
    }
    state.Counters32Only = true;
    askCounters(state, snmp, kCounterPrefixes);
    const ReplyReadings<int32_t> values = replyValues(snmp);
    if (state.PollCount == 0 && state.PacketPollCount == 0) {
        applyReadings(state, values.take(), view, locale); // the usual first reading
        return;
    }
    // The 32-bit readings have no predecessor to be compared with: this one
    // only primes them, as the first reading of a session does.
    const std::array<int32_t, 4>& counters = values.take();
    state.InOctetsNow = counters[0];
    state.OutOctetsNow = counters[1];
    state.InPktsNow = counters[2];
    state.OutPktsNow = counters[3];
    state.MissedPolls = 0;
    state.PrimeNextReading = false;
    for (CounterPace& pace : state.Paces) {
        RebasePace(pace);
    }
    reportUsage(view, state, UsageTickKind::Uncounted);
}

} // namespace

void ApplyPollReadings(MonitorState& state, const std::array<std::string, 4>& values, PollView& view,
                       const NumberLocale& locale) {
    // Convert all four first: a bad value must not leave some readings moved on
    // and others not, or the next success would divide a one-interval
    // difference by the missed polls.
    applyReadings(state, {StrToInt(values[0]), StrToInt(values[1]), StrToInt(values[2]), StrToInt(values[3])},
                  view, locale);
}

void ApplyPollReadings64(MonitorState& state, const std::array<std::string, 4>& values, PollView& view,
                         const NumberLocale& locale) {
    // All four converted first, as for the 32-bit readings.
    std::array<uint64_t, 4> readings{};
    for (std::size_t i = 0; i < readings.size(); ++i) {
        readings[i] = reading64(values[i]);
    }
    applyReadings64(state, readings, view, locale);
}

namespace {

void applyReadings(MonitorState& state, const std::array<int32_t, 4>& readings, PollView& view,
                   const NumberLocale& locale) {
    const int32_t inOctets = readings[0];
    const int32_t outOctets = readings[1];

    // The reading covers one interval plus one per failed poll since the last
    // success; time itself is never measured.
    const int32_t intervals = wrapAdd(state.MissedPolls, 1);

    const bool priming = state.PollCount == 0 && state.PacketPollCount == 0;
    std::array<uint64_t, 4> previous = {
        static_cast<uint32_t>(state.InOctetsNow), static_cast<uint32_t>(state.OutOctetsNow),
        static_cast<uint32_t>(state.InPktsNow), static_cast<uint32_t>(state.OutPktsNow)};
    std::array<uint64_t, 4> taken = {static_cast<uint32_t>(inOctets), static_cast<uint32_t>(outOctets),
                                     static_cast<uint32_t>(readings[2]), static_cast<uint32_t>(readings[3])};
    const std::array<int32_t, 2> packetsCover =
        MendUnreadPackets(previous, taken, priming || state.PrimeNextReading, intervals, state.PacketsUnread);
    state.InPktsNow = static_cast<int32_t>(static_cast<uint32_t>(previous[2]));
    state.OutPktsNow = static_cast<int32_t>(static_cast<uint32_t>(previous[3]));
    const auto inPkts = static_cast<int32_t>(static_cast<uint32_t>(taken[2]));
    const auto outPkts = static_cast<int32_t>(static_cast<uint32_t>(taken[3]));
    const ReadingVerdict verdict = judge(state, previous, taken, kCounter32Bits, intervals);
    const bool implausible = verdict == ReadingVerdict::Implausible && !priming && !state.PrimeNextReading;
    // The first reading has nothing to be judged against.
    const bool reset = verdict == ReadingVerdict::Reset || implausible || state.PrimeNextReading;
    state.PrimeNextReading = false;
    state.InOctetsPrev = state.InOctetsNow;
    state.InOctetsNow = inOctets;
    state.OutOctetsPrev = state.OutOctetsNow;
    state.OutOctetsNow = outOctets;
    state.InPktsPrev = state.InPktsNow;
    state.InPktsNow = inPkts;
    state.OutPktsPrev = state.OutPktsNow;
    state.OutPktsNow = outPkts;
    if (reset) {
        primeOnly(state);
        reportUsage(view, state, UsageTickKind::Uncounted, {}, implausible);
        return;
    }
    const std::array<uint64_t, 4> increases = {counterIncrease(state.InOctetsNow, state.InOctetsPrev),
                                               counterIncrease(state.OutOctetsNow, state.OutOctetsPrev),
                                               counterIncrease(state.InPktsNow, state.InPktsPrev),
                                               counterIncrease(state.OutPktsNow, state.OutPktsPrev)};
    const Spans spans = takeRates(state, increases, {intervals, intervals, packetsCover[0], packetsCover[1]});
    reportUsage(view, state, priming ? UsageTickKind::Uncounted : UsageTickKind::Counted, increases);
    finishReadings(state, spans, view, locale);
}

void applyReadings64(MonitorState& state, std::array<uint64_t, 4> readings, PollView& view,
                     const NumberLocale& locale) {
    const int32_t intervals = wrapAdd(state.MissedPolls, 1);
    const bool priming = state.PollCount == 0 && state.PacketPollCount == 0;
    const std::array<int32_t, 2> packetsCover = MendUnreadPackets(
        state.Counters64Now, readings, priming || state.PrimeNextReading, intervals, state.PacketsUnread);
    const ReadingVerdict verdict = judge(state, state.Counters64Now, readings, 64, intervals);
    const bool implausible = verdict == ReadingVerdict::Implausible && !priming && !state.PrimeNextReading;
    // The first reading has nothing to be judged against.
    const bool reset = verdict == ReadingVerdict::Reset || implausible || state.PrimeNextReading;
    state.PrimeNextReading = false;
    state.Counters64Prev = state.Counters64Now;
    state.Counters64Now = readings;
    if (reset) {
        primeOnly(state);
        reportUsage(view, state, UsageTickKind::Uncounted, {}, implausible);
        return;
    }
    std::array<uint64_t, 4> increases{};
    for (size_t i = 0; i < increases.size(); ++i) {
        increases[i] = counterIncrease64(state.Counters64Now[i], state.Counters64Prev[i]);
    }
    const Spans spans = takeRates(state, increases, {intervals, intervals, packetsCover[0], packetsCover[1]});
    reportUsage(view, state, priming ? UsageTickKind::Uncounted : UsageTickKind::Counted, increases);
    finishReadings(state, spans, view, locale);
}

} // namespace

bool PollView::CheckInterface(MonitorState& state, TIdSNMP& snmp) {
    return ApplyInterfaceCheck(state, KeepInterfaceByName(state, snmp), *this);
}

bool ApplyInterfaceCheck(MonitorState& state, const InterfaceCheck& check, PollView& view) {
    if (check.Kind != InterfaceCheckKind::Unanswered) {
        view.ShowInterfaceCheck(InterfaceCheckText(check));
    }
    if (check.Kind != InterfaceCheckKind::Switched) {
        return true;
    }
    // The first reading of a session primes anyway.
    state.PrimeNextReading = state.PollCount > 0 || state.PacketPollCount > 0;
    state.MissedPolls = 0;
    return false;
}

void RunPollCycle(MonitorState& state, TIdSNMP& snmp, PollView& view, const NumberLocale& locale) {
    try {
        if (state.ResyncActive) {
            state.ResyncStep = wrapAdd(state.ResyncStep, 1);
        } else {
            state.ResyncStep = 0;
            view.SetResyncMark("");
        }
        // Before the request: a negative scale fails here and the poll with it.
        view.SetGaugeMaxima(state.DownloadScale, state.UploadScale);

        if (Uses64BitCounters(state)) {
            const bool priming = state.PollCount == 0;
            poll64(state, snmp, view, locale);
            if (priming && state.PollCount > 0) {
                readSpeed(state, snmp);
            }
            return;
        }
        askCounters(state, snmp, kCounterPrefixes);
        if (snmp.QueryMessage.CountValues() > 0) {
            const bool priming = state.PollCount == 0;
            const ReplyReadings<int32_t> readings = replyValues(snmp);
            if (!keepInterface(state, snmp, view)) {
                return;
            }
            applyReadings(state, readings.take(), view, locale);
            // After the first reading of a restart (or of the bandwidth
            // graph's reset): the agent is known to answer then, so a silent
            // agent never costs a second wait.
            if (priming) {
                readSpeed(state, snmp);
            }
        }
    } catch (...) {
        takeFailurePath(state, snmp, view, std::current_exception());
    }
}

uint32_t ReadInterfaceSpeed(TIdSNMP& snmp, int32_t interfaceNumber, int32_t timeoutMs,
                            int32_t version) noexcept {
    try {
        snmp.ReceiveTimeout = timeoutMs;
        const AgentName speed[] = {{AgentObject::IfSpeed, interfaceNumber}};
        const bool answered = AskAgent(snmp, {RequestKind::Get, version}, speed);
        if (snmp.ReplyMessage.Packet.empty()) {
            replaceSocket(snmp);
        }
        // The request-id is always 0: only the reply naming ifSpeed is ours.
        if (answered && snmp.ReplyMessage.CountValues() == 1 && snmp.ReplyMessage.OidTexts.size() == 1 &&
            snmp.ReplyMessage.OidTexts[0] == NameText(speed[0])) {
            // A Gauge32 of 2^31 or more arrives as negative text: keep the bit pattern.
            return static_cast<uint32_t>(StrToInt(snmp.ReplyMessage.ValueAt(0)));
        }
    } catch (...) {
        replaceSocket(snmp);
    }
    return 0;
}

CounterWidth CounterWidthOf(const MonitorState& state) {
    if (!UsesSnmpV2c(state)) {
        return CounterWidth::V1Counters32;
    }
    return state.Counters32Only ? CounterWidth::V2cCounters32 : CounterWidth::V2cCounters64;
}

std::string CounterWidthText(const MonitorState& state) {
    return CounterWidthText(CounterWidthOf(state));
}

} // namespace veltrum
