#include "core/UsageRecording.h"

#include "core/Quota.h"
#include "history/UsageRecorder.h"
#include "history/UsageReport.h"

namespace veltrum {

UsageRecording::UsageRecording() = default;
UsageRecording::~UsageRecording() = default;

void UsageRecording::Watch(const std::string& agent, int32_t number, const std::string& description) {
    if (m_path.empty() || (m_recorder && m_recorder->Watches(agent, number, description))) {
        return;
    }
    m_recorder.reset(); // the last interface's counts are written first
    // Durations on a clock that never steps; the wall clock names the rows.
    m_recorder = std::make_unique<UsageRecorder>(m_path, agent, number, description,
                                                 RecorderOptions{60, &SystemUsageClock()});
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

namespace {

UsageBucket bucketOf(const UsageSpan& span) {
    return {span.Start, span.End, span.Use.InOctets, span.Use.OutOctets, span.Use.Sampled, span.Use.Missed};
}

std::vector<UsageBucket> bucketsOf(const std::vector<UsageSpan>& spans) {
    std::vector<UsageBucket> buckets;
    buckets.reserve(spans.size());
    for (const UsageSpan& span : spans) {
        buckets.push_back(bucketOf(span));
    }
    return buckets;
}

} // namespace

UsageSummary UsageRecording::Summary(const MonitorState& state, int64_t now) {
    UsageSummary summary;
    summary.Now = now;
    UsageStore* const store = m_recorder ? m_recorder->Store() : nullptr;
    if (store == nullptr || m_recorder->InterfaceId() == 0) {
        summary.Unavailable = m_path.empty() ? "No usage history is kept." : "No usage recorded yet.";
        const std::string status = StatusText();
        if (!status.empty()) {
            summary.Unavailable = status;
        }
        return summary;
    }
    try {
        const UsageFigures figures =
            QueryFigures(*store, m_recorder->InterfaceId(), now, QuotaOf(state).BillingDay);
        summary.Today = bucketOf(figures.Today);
        summary.Yesterday = bucketOf(figures.Yesterday);
        summary.Period = bucketOf(figures.Period);
        summary.LastPeriod = bucketOf(figures.LastPeriod);
        summary.AllTime = bucketOf(figures.AllTime);
        summary.Hours = bucketsOf(figures.Hours);
        summary.Days = bucketsOf(figures.Days);
        summary.Periods = bucketsOf(figures.Periods);
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
