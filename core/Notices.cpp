#include "core/Notices.h"

#include "history/VisibleText.h"

#include <algorithm>

namespace veltrum {

namespace {

std::string named(const std::string& session, const std::string& text) {
    return session.empty() ? text : session + ": " + text;
}

// Whose agent: "10.0.0.1, interface 2 (eth0)", shown as the hints show the
// agent's words: no control, bidirectional or zero-width character of its
// may reorder or hide what the notice says.
std::string agentOf(const PollSample& sample) {
    std::string text = sample.Host + ", interface " + std::to_string(sample.Interface);
    return VisibleOneLine(sample.Description.empty() ? text : text + " (" + sample.Description + ")");
}

std::string seconds(int64_t ms) {
    return std::to_string((ms + 500) / 1000) + " s";
}

} // namespace

NoticeSettings NoticeSettingsOf(const MonitorState& state) {
    NoticeSettings settings;
    settings.AlarmDownloadKbps = std::max(0, state.AlarmDownloadKbps);
    settings.AlarmUploadKbps = std::max(0, state.AlarmUploadKbps);
    settings.AlarmSeconds = std::max(1, state.AlarmSeconds);
    return settings;
}

bool NoticeDecider::judge(Alarm& alarm, int32_t rateKbps, int32_t limitKbps, int64_t intervalStart,
                          int64_t nowMs) const {
    if (limitKbps <= 0) {
        alarm = {};
        return false;
    }
    const int64_t hold = int64_t{m_settings.AlarmSeconds} * 1000;
    if (rateKbps > limitKbps) {
        alarm.BelowSince.reset();
        // The rate covers the interval since the previous poll: the burst
        // began when that interval did.
        if (!alarm.AboveSince) {
            alarm.AboveSince = intervalStart;
        }
        if (!alarm.Raised && nowMs - *alarm.AboveSince >= hold) {
            alarm.Raised = true;
            return true;
        }
        return false;
    }
    alarm.AboveSince.reset();
    if (!alarm.BelowSince) {
        alarm.BelowSince = intervalStart;
    }
    if (alarm.Raised && nowMs - *alarm.BelowSince >= hold) {
        alarm.Raised = false; // armed again
    }
    return false;
}

std::vector<Notice> NoticeDecider::OnSample(const PollSample& sample, int64_t nowMs) {
    if (!sample.AgentNamed) {
        // The first start's default agent: no outage of it is the user's,
        // and none carries over to the agent the settings name.
        *this = NoticeDecider(m_settings);
        return {};
    }
    std::vector<Notice> notices;
    const std::optional<int64_t> previous = m_lastSampleMs;
    m_lastSampleMs = nowMs;
    const std::string& session = sample.Session;

    // A failure after the rates were shown (a snapshot not saved) is not
    // the agent's; a poll that waits for the interface check says nothing.
    const bool unreachable = sample.Result == PollSample::Outcome::Failure && !sample.Shown;
    const bool reached =
        sample.Result == PollSample::Outcome::Reading || sample.Result == PollSample::Outcome::Priming;
    if (unreachable) {
        if (!m_failingSince) {
            m_failingSince = nowMs;
        }
        m_down = {};
        m_up = {};
        if (!m_outageAnnounced && nowMs - *m_failingSince >= int64_t{m_settings.OutageSeconds} * 1000) {
            m_outageAnnounced = true;
            notices.push_back({NoticeKind::Agent, named(session, "agent unreachable"),
                               agentOf(sample) + " has not answered for " + seconds(nowMs - *m_failingSince) +
                                   ". " + VisibleOneLine(sample.ShownFailure.value_or("")),
                               false});
        }
        return notices;
    }
    if (reached && m_failingSince) {
        if (m_outageAnnounced) {
            notices.push_back(
                {NoticeKind::Agent, named(session, "agent reachable again"),
                 agentOf(sample) + " answers again after " + seconds(nowMs - *m_failingSince) + ".", false});
        }
        m_failingSince.reset();
        m_outageAnnounced = false;
    }
    if (sample.Result != PollSample::Outcome::Reading) {
        return notices;
    }
    const int64_t start = previous.value_or(nowMs);
    // The rates' unit times ten is the gauges' scale unit, kbit/s.
    const bool down = judge(m_down, sample.DownRate * 10, m_settings.AlarmDownloadKbps, start, nowMs);
    const bool up = judge(m_up, sample.UpRate * 10, m_settings.AlarmUploadKbps, start, nowMs);
    if (down || up) {
        std::string body;
        if (down) {
            body = "Download above " + std::to_string(m_settings.AlarmDownloadKbps) + " kbit/s";
        }
        if (up) {
            body += std::string(down ? ", upload" : "Upload") + " above " +
                    std::to_string(m_settings.AlarmUploadKbps) + " kbit/s";
        }
        body += " for " + std::to_string(m_settings.AlarmSeconds) + " s.";
        notices.push_back({NoticeKind::Rate, named(session, "rate alarm"), body, false});
    }
    return notices;
}

Notice QuotaNotice(const QuotaCrossing& crossing, const QuotaUse& use, const std::string& session,
                   const std::string& resetDate, const NumberLocale& locale) {
    const QuotaAlert alert = QuotaAlertFor(crossing, use, session, locale);
    const uint64_t left = use.Used < use.Limit ? use.Limit - use.Used : 0;
    std::string body = alert.Body + "\n" + DecimalVolumeText(left, locale) + " left";
    if (!resetDate.empty()) {
        body += "; the period starts again on " + resetDate;
    }
    body += ".";
    return {NoticeKind::Quota, named(session, alert.Title), body, crossing.Highest >= 100};
}

} // namespace veltrum
