#pragma once
// The usage history's subscriber: it hands each poll's usage tick to a
// UsageRecorder (history/) for the interface the monitor watches, makes a
// new recorder when a restart watches another interface, follows a
// renumbered interface and writes what is pending when the program ends.

#include "core/MonitorState.h"
#include "core/PollSample.h"
#include "core/UsageFigures.h"

#include <memory>
#include <string>

namespace veltrum {

class UsageRecorder;

class UsageRecording final : public MonitorSubscriber {
public:
    UsageRecording();
    ~UsageRecording() override;
    UsageRecording(const UsageRecording&) = delete;
    UsageRecording& operator=(const UsageRecording&) = delete;

    // The history file; without one nothing is recorded.
    void SetDatabase(std::string path) { m_path = std::move(path); }
    // The interface watched from this restart on. Until a profile names an
    // agent (`named`), the first start's default one is not recorded.
    void Watch(const std::string& agent, int32_t number, const std::string& description, bool named = true);
    void OnSample(const PollSample& sample) override;
    // Writes what is pending; ticks after this are not counted.
    void Close();

    // A sentence for the hint while recording is paused or stopped (a full
    // disk, a newer history, another copy recording); empty otherwise.
    std::string StatusText() const;
    // What the user must be told once (a damaged history set aside).
    std::string TakeNotice();
    UsageRecorder* Recorder() { return m_recorder.get(); }

    // The figures of the interface recorded, for the usage window and the
    // quota, with the billing periods of `state`; Unavailable says why there
    // are none.
    UsageSummary Summary(const MonitorState& state, int64_t now);

private:
    std::string m_path;
    std::unique_ptr<UsageRecorder> m_recorder;
    bool m_unnamed = false; // the profile names no agent yet
};

} // namespace veltrum
