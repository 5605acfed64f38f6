#pragma once
// The numbers of a poll that the windows show, and the texts they make of
// them: the main window's rate labels, the graph windows' titles, value
// labels and hint. Stateless; the locale's separators are passed in.

#include "core/Formatting.h"
#include "core/GraphSeries.h"

#include <cstdint>
#include <string>

namespace veltrum {

// Which counters the poll reads.
enum class CounterWidth : uint8_t {
    V1Counters32,
    V2cCounters64,
    V2cCounters32, // SNMPv2c after the fallback: the agent has no 64-bit counters
};
// "SNMPv1, 32-bit counters", "SNMPv2c, 64-bit counters", or "SNMPv2c,
// 32-bit counters (the agent has no 64-bit counters for this interface)".
std::string CounterWidthText(CounterWidth width);

// A poll that refreshed the bandwidth graph: its lines' step (the averages
// in it), the rates in the program's rate unit, the totals in units of 1012
// octets and the polls counted since the first reading.
struct BandwidthFigures {
    GraphStep Step;
    std::string Time; // the poll's local date and time
    int32_t DownRate = 0, UpRate = 0;
    uint32_t DownTotal = 0, UpTotal = 0;
    int32_t PollCount = 0;
    CounterWidth Width = CounterWidth::V1Counters32;
};

// A poll that refreshed the packets graph: packets per interval, the peak of
// their sum.
struct PacketFigures {
    GraphStep Step;
    std::string Time;
    int32_t DownPktRate = 0, UpPktRate = 0, PeakPktRate = 0;
    CounterWidth Width = CounterWidth::V1Counters32;
};

// Title lines, value labels and hint of one graph window.
struct GraphTexts {
    std::string TitleLine1;
    std::string TitleLine2;
    std::string Label1; // average download / packets in
    std::string Label2; // average upload / packets out
    std::string Label6; // current download / packets in
    std::string Label8; // current upload / packets out
    std::string Hint;   // what the poll reads (CounterWidthText)
};

// The rates in Mbit/s with one decimal and "M" ("9.8M"), or in Gbit/s with
// "G" once the download rate reaches 1000 Mbit/s: the download rate alone
// chooses the unit of both.
struct RateTexts {
    std::string Down, Up;
};
RateTexts MainRateTexts(int32_t downRate, int32_t upRate, const NumberLocale& locale);

// "1.2 MB / 0.3 MB (0d 0h 0m 9s)": both totals (VolumeText) and the time
// since the first reading, PollCount - 1 seconds.
std::string TotalsText(uint32_t downTotal, uint32_t upTotal, int32_t pollCount, const NumberLocale& locale);

GraphTexts BandwidthGraphTexts(const BandwidthFigures& figures, const NumberLocale& locale);
GraphTexts PacketsGraphTexts(const PacketFigures& figures, const NumberLocale& locale);

} // namespace veltrum
