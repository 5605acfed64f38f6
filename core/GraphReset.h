#pragma once
// The Reset command of each graph window, on the monitor state alone. Each
// side starts again from its next poll without touching the other: the poll
// after a Reset only takes a first reading (its count is 0), the one after it
// refreshes the window with the history, averages and totals built from zero.

#include "core/MonitorState.h"

namespace veltrum {

// The bandwidth graph's Reset: PollCount and the two totals to 0, slots
// 1..HistoryLength of DownHistory, UpHistory, DownAvgLine and UpAvgLine to 0.
// The packets side goes on untouched.
void ResetBandwidthSide(MonitorState& state);

// The packets graph's Reset: PeakPktRate and PacketPollCount to 0, slots
// 1..HistoryLength of the four packet arrays to 0. The bandwidth side
// (PollCount, totals, its histories) goes on untouched.
void ResetPacketSide(MonitorState& state);

} // namespace veltrum
