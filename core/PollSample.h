#pragma once
// What the monitor publishes and what it needs of its windows: one sample a
// poll (PollSample) for its subscribers, and the timers it decides about.

#include "core/PollCycle.h"
#include "history/UsageTick.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace veltrum {

// One poll as the windows see it. Optional parts are those the poll reached:
// a priming reading has no rates, a failure has its reason, and a failure
// after the rates were shown (a snapshot that could not be saved) has both.
struct PollSample {
    enum class Outcome {
        Reading, // rates and graphs from this reading
        Priming, // the reading counts nothing yet (the first after a restart, a reset)
        Waiting, // no reading: the interface is being looked for in the agent's table
        Failure, // "Err": ShownFailure says why
    };
    Outcome Result = Outcome::Priming;

    // The interface kept by name: a mismatch to show, or empty when there is
    // none (any more); absent when no check ended in this poll.
    std::optional<std::string> InterfaceCheck;
    // The packets graph's resynchronisation mark, when the poll set it.
    std::optional<std::string> ResyncMark;
    // The gauges' maxima, set before the request.
    std::optional<std::pair<int32_t, int32_t>> GaugeMaxima;
    // The gauges' positions, when the poll showed rates (DownRate and UpRate
    // below; MainRateTexts makes their labels).
    struct Rates {
        int32_t DownProgress = 0, UpProgress = 0;
    };
    std::optional<Rates> Shown;
    // The graphs' numbers, when the poll refreshed them (BandwidthGraphTexts
    // and PacketsGraphTexts make their texts).
    std::optional<BandwidthFigures> Bandwidth;
    std::optional<PacketFigures> Packets;
    // How each graph's lines moved on in this poll, for the windows that keep
    // their own (ApplyGraphStep): with the figures, or the packets' shift
    // alone when the poll failed after it.
    std::optional<GraphStep> BandwidthLines;
    std::optional<GraphStep> PacketLines;
    // A restart before this sample zeroed slots 1..n of every graph line.
    std::optional<int32_t> LinesCleared;
    std::optional<std::string> ShownFailure;
    // The usage history's share: the differences exactly as the poll judged
    // them, the readings, and when the poll ended.
    std::optional<UsageTick> Usage;

    // The numbers, as integers: the readings (the 64-bit ones where the poll
    // reads them), the rates in the program's rate unit, the totals.
    bool Counters64 = false;
    std::array<uint64_t, 4> Counters{}; // octets in, out, packets in, out
    int32_t DownRate = 0, UpRate = 0, DownPktRate = 0, UpPktRate = 0;
    uint32_t DownTotal = 0, UpTotal = 0;
    int32_t MissedPolls = 0;

    // Whose numbers they are. AgentNamed is false while no profile names an
    // agent: the first start polls its default one until the settings are
    // saved, and nothing about that one is the user's to be told.
    bool AgentNamed = true;
    std::string Host;
    int32_t Interface = 0;
    std::string Description;
    std::string Session;
};

class MonitorSubscriber {
public:
    virtual ~MonitorSubscriber() = default;
    virtual void OnSample(const PollSample& sample) = 0;
    // The end of a traced resynchronisation: the packets graph saves its
    // picture as it stands before this poll's refresh. May throw; the poll
    // then takes its failure path.
    virtual void OnResyncSnapshot() {}

protected:
    MonitorSubscriber() = default;
    MonitorSubscriber(const MonitorSubscriber&) = default;
    MonitorSubscriber& operator=(const MonitorSubscriber&) = default;
};

// The timers the monitor decides about.
class MonitorTimers {
public:
    virtual ~MonitorTimers() = default;
    // Starts the poll timer at `intervalMs`, or on the interval it had for 0.
    virtual void StartPolling(int32_t intervalMs) = 0;
    // Whether a restart takes its first reading at once. A timer that joins
    // the ticks of other monitors' polls (so that they share one wake-up)
    // takes it at its first tick instead: a reading at once would make the
    // interval to that tick shorter than one.
    virtual bool FirstReadingAtOnce() const { return true; }
    virtual void StopPolling() = 0;
    virtual bool Polling() const = 0;
    // The interval of the following ticks, the timer running on.
    virtual void SetPollInterval(int32_t intervalMs) = 0;
    // A step of the interface check at each turn of the event loop.
    virtual void StartCheckSteps() = 0;
    virtual void StopCheckSteps() = 0;

protected:
    MonitorTimers() = default;
    MonitorTimers(const MonitorTimers&) = default;
    MonitorTimers& operator=(const MonitorTimers&) = default;
};

} // namespace veltrum
