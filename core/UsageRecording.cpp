#include "core/UsageRecording.h"

#include "history/UsageRecorder.h"

namespace veltrum {

UsageRecording::UsageRecording() = default;
UsageRecording::~UsageRecording() = default;

void UsageRecording::Watch(const std::string& agent, int32_t number, const std::string& description) {
    if (m_path.empty() || (m_recorder && m_recorder->Watches(agent, number, description))) {
        return;
    }
    m_recorder.reset(); // the last interface's counts are written first
    m_recorder = std::make_unique<UsageRecorder>(m_path, agent, number, description);
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

std::string UsageRecording::StatusText() const {
    return m_recorder ? m_recorder->StatusText() : std::string();
}

std::string UsageRecording::TakeNotice() {
    return m_recorder ? m_recorder->TakeNotice() : std::string();
}

} // namespace veltrum
