#pragma once
// What a router's desktop notices say and when, decided from its monitor's
// samples without a window or a toolkit: the agent unreachable for longer
// than a set time and reachable again, a rate that stays above its alarm,
// and the quota's thresholds. The caller sends each notice; a notice of one
// kind replaces that kind's earlier notice on the desktop instead of
// stacking beside it.
//
// Times are milliseconds of a steady clock: a change of the wall clock
// neither starts nor ends an outage.

#include "core/Formatting.h"
#include "core/MonitorState.h"
#include "core/PollSample.h"
#include "core/Quota.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltrum {

struct NoticeSettings {
    int32_t OutageSeconds = 30;    // unreachable this long before a notice
    int32_t AlarmDownloadKbps = 0; // 0: no alarm
    int32_t AlarmUploadKbps = 0;
    int32_t AlarmSeconds = 10; // above this long to alarm, below as long to arm again
};
// The alarms of the profile in force.
NoticeSettings NoticeSettingsOf(const MonitorState& state);

enum class NoticeKind : uint8_t { Agent, Rate, Quota };
inline constexpr int kNoticeKinds = 3;

struct Notice {
    NoticeKind Kind = NoticeKind::Agent;
    std::string Title;
    std::string Body;      // plain text, the agent's words among it
    bool Critical = false; // stays until dismissed
};

class NoticeDecider final {
public:
    explicit NoticeDecider(NoticeSettings settings = {}) : m_settings(settings) {}
    void SetSettings(const NoticeSettings& settings) { m_settings = settings; }

    // The notices one poll's sample brings, at `nowMs`.
    std::vector<Notice> OnSample(const PollSample& sample, int64_t nowMs);

private:
    struct Alarm {
        std::optional<int64_t> AboveSince;
        std::optional<int64_t> BelowSince;
        bool Raised = false;
    };
    // True when the alarm is due now.
    bool judge(Alarm& alarm, int32_t rateKbps, int32_t limitKbps, int64_t intervalStart, int64_t nowMs) const;

    NoticeSettings m_settings;
    std::optional<int64_t> m_failingSince;
    bool m_outageAnnounced = false;
    std::optional<int64_t> m_lastSampleMs;
    Alarm m_down, m_up;
};

// A quota threshold's notice: how much of the quota is used, what is left
// and the day the period starts again (`resetDate` as the user reads
// dates); the last threshold's notice stays until dismissed.
Notice QuotaNotice(const QuotaCrossing& crossing, const QuotaUse& use, const std::string& session,
                   const std::string& resetDate, const NumberLocale& locale);

} // namespace veltrum
