#include "core/GraphReset.h"

namespace veltrum {

void ResetBandwidthSide(MonitorState& state) {
    state.PollCount = 0;
    state.DownTotal = 0;
    state.UpTotal = 0;
    const int32_t used = UsedSlots(state);
    for (History* history : {&state.DownHistory, &state.UpHistory, &state.DownAvgLine, &state.UpAvgLine}) {
        ZeroSlots(*history, used);
    }
}

void ResetPacketSide(MonitorState& state) {
    state.PeakPktRate = 0;
    state.PacketPollCount = 0;
    const int32_t used = UsedSlots(state);
    for (History* history :
         {&state.DownPktHistory, &state.UpPktHistory, &state.DownPktAvgLine, &state.UpPktAvgLine}) {
        ZeroSlots(*history, used);
    }
}

} // namespace veltrum
