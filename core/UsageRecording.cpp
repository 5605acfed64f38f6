#include "core/UsageRecording.h"

#include "core/Quota.h"
#include "history/UsageRecorder.h"
#include "history/UsageReport.h"

namespace veltrum {

UsageRecording::UsageRecording() = default;
UsageRecording::~UsageRecording() = default;

void UsageRecording::Watch(const std::string& agent, int32_t number, const std::string& description,
                           bool named) {
    m_unnamed = !named;
    if (!named) {
        m_recorder.reset();
        return;
    }
    if (m_path.empty() || (m_recorder && m_recorder->Watches(agent, number, description))) {
        return;
    }
    m_recorder.reset(); // the last interface's counts are written first
    // Durations on a clock that never steps; the wall clock names the rows.
    m_recorder = std::make_unique<UsageRecorder>(m_path, agent, number, description,
                                                 RecorderOptions{kUsageWriteEvery, &SystemUsageClock()});
}

void UsageRecording::OnSample(const PollSample& sample) {
    if (!m_recorder || !sample.Usage) {
        return;
    }
    // The interface check may have followed the interface to a new number.
    m_recorder->Renumbered(sample.Interface);
    m_recorder->Record(*sample.Usage);
}

void UsageRecording::Close() {
    if (m_recorder) {
        m_recorder->Close();
    }
}

UsageSummary UsageRecording::Summary(const MonitorState& state, int64_t now) {
    UsageSummary summary;
    summary.Now = now;
    UsageStore* const store = m_recorder ? m_recorder->Store() : nullptr;
    if (store == nullptr || m_recorder->InterfaceId() == 0) {
        summary.Unavailable = m_path.empty() ? "No usage history is kept."
                              : m_unnamed    ? "Nothing is recorded until a router is set in the settings."
                                             : "No usage recorded yet.";
        const std::string status = StatusText();
        if (!status.empty()) {
            summary.Unavailable = status;
        }
        return summary;
    }
    try {
        // The counts not written yet too: the figures are up to the poll.
        summary = SummaryOf(
            QueryFigures(*store, m_recorder->InterfaceId(), now, QuotaOf(state), m_recorder->Pending()));
        if (summary.FirstRecorded == 0) {
            summary.Unavailable = "No usage recorded yet.";
        }
    } catch (const std::exception& error) {
        summary.Unavailable = error.what();
    }
    return summary;
}

std::string UsageRecording::StatusText() const {
    return m_recorder ? m_recorder->StatusText() : std::string();
}

std::string UsageRecording::TakeNotice() {
    return m_recorder ? m_recorder->TakeNotice() : std::string();
}

} // namespace veltrum
