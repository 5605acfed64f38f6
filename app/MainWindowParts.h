#pragma once
// The main window's parts that are not the window: its bar gauges and rate
// labels as made, and its hints, worked out from what the samples and the
// router's quota watch said (core/MainWindowHint.h).

#include "core/Monitor.h"
#include "core/Quota.h"

#include <array>
#include <optional>
#include <string>

class QLabel;
class QWidget;

namespace veltrum {

class TGauge;

// The main window's outer size, frame included.
inline constexpr int kMainOuterWidth = 33;
inline constexpr int kMainOuterHeight = 68;
inline constexpr int kMainHintDurationMs = 1000;
// The parts' own hints; the panel's is empty.
inline constexpr std::array<const char*, 5> kMainHintParts = {"", "Download", "Upload", "Download (Mbps)",
                                                              "Upload (Mbps)"};

TGauge* MakeMainGauge(QWidget* parent, int left, const char* name, const char* hint, uint32_t colour);
QLabel* MakeRateLabel(QWidget* parent, int left, const char* name, const char* hint);

// The hints of the panel, the gauges and the labels (kMainHintParts order):
// a failure's reason on them all, else the interface check's mismatch, else
// the usual hints, which name the session, agent and interface, the quota
// and the history's state.
class MainWindowHints final {
public:
    struct Texts {
        std::array<std::string, 5> Hints;
        bool Failing = false; // a reason: shown as long as its length asks
        // A warning (the quota nearly used, recording paused) is read the
        // same way: it stays up like a reason.
        bool Warning = false;
    };
    explicit MainWindowHints(const Monitor& monitor) : m_monitor(monitor) {}

    void SetUsageLines(std::optional<QuotaUse> quotaUse, std::string status, std::string notice);
    void SetMismatch(std::string text) { m_mismatch = std::move(text); }
    const std::string& Reason() const { return m_reason; }
    // With the failure's `reason` (empty: none): the texts when they changed.
    std::optional<Texts> Update(const std::string& reason);

private:
    std::string usual(const char* part) const;

    const Monitor& m_monitor;
    std::optional<QuotaUse> m_quotaUse;
    std::string m_usageStatus;
    std::string m_usageNotice;
    std::string m_reason;
    std::string m_mismatch; // InterfaceCheckText of the last check
    bool m_failing = false;
    std::string m_shown; // the failure text or the identity the hints were last set from
    bool m_set = false;
};

} // namespace veltrum
