#pragma once
// The monthly quota: how much of it the billing period has used, the line
// the main window's hint and the usage window show, and the announcements
// at 80, 90 and 100 %, each made once per period even across restarts.
//
// Octets count in decimal units, as providers bill: 1 kB, 1 MB, 1 GB are
// 10^3, 10^6 and 10^9 octets. (The graph windows' totals keep their own
// unit of 1,012 octets.)

#include "core/Formatting.h"
#include "core/MonitorState.h"
#include "core/UsageFigures.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace veltrum {

inline constexpr uint64_t kOctetsPerGB = 1'000'000'000;

// Which directions count against the quota (LimitKierunek).
enum class QuotaDirection : int32_t { Both = 0, Download = 1, Upload = 2 };

struct QuotaSettings {
    int32_t LimitGB = 0; // 0: no quota
    QuotaDirection Direction = QuotaDirection::Both;
    int32_t BillingDay = 1; // 1-28
};
// The quota settings in force; a value outside its range (a state not
// filled by the start-up load) reads as the setting's default.
QuotaSettings QuotaOf(const MonitorState& state);

// A period's use against the quota.
struct QuotaUse {
    uint64_t Used = 0;   // octets in the directions that count
    uint64_t Limit = 0;  // octets
    int32_t Percent = 0; // of the limit, truncated; past 100 once over it
    QuotaDirection Direction = QuotaDirection::Both;
};
// The use of `download` and `upload` octets; nothing when no quota is set.
std::optional<QuotaUse> QuotaUseOf(const QuotaSettings& quota, uint64_t download, uint64_t upload);

// The use of the billing period in `summary` against the quota in force;
// nothing without a quota or without figures.
std::optional<QuotaUse> PeriodQuotaUse(const MonitorState& state, const UsageSummary& summary);

// Octets in decimal units with three significant digits: "999 B",
// "1.50 kB", "12.3 MB", "123 GB".
std::string DecimalVolumeText(uint64_t octets, const NumberLocale& locale);

// "Quota: 12.3 GB of 50 GB this period (24 %)"; "Download quota: ..." or
// "Upload quota: ..." when one direction counts.
std::string QuotaText(const QuotaUse& use, const NumberLocale& locale);

// The announced thresholds, in percent of the quota.
inline constexpr std::array<int32_t, 3> kQuotaThresholds{80, 90, 100};
// The highest threshold `use` has reached; 0 below the first.
int32_t QuotaThresholdReached(const QuotaUse& use);

// A desktop notification's texts for a threshold reached.
struct QuotaAlert {
    int32_t Threshold = 0;
    std::string Title; // "90 % of the monthly quota used"
    std::string Body;  // "Office: " and QuotaText
};
QuotaAlert QuotaAlertFor(int32_t threshold, const QuotaUse& use, const std::string& session,
                         const NumberLocale& locale);

// Which threshold was last announced for which billing period, kept in a
// small INI file of its own so that a restart in the same period does not
// announce it again. The record names the period by the instant it began
// and holds the quota it was announced for: another quota or another
// direction starts the count again. A file that cannot be read or does not
// decode is taken as no announcement yet (the worst is a repeated
// notification); one that cannot be written keeps the record for this run.
class QuotaAnnouncements final {
public:
    explicit QuotaAnnouncements(std::string path);

    // The threshold to announce now, if any: the highest one `use` has
    // reached in the period that began at `periodStart` (seconds since the
    // epoch) and that was not announced for that period and quota yet. It
    // counts as announced from this call on. Thresholds passed together
    // (a restart after a busy day) make one announcement, of the highest.
    std::optional<int32_t> Due(int64_t periodStart, const QuotaUse& use);
    // The highest threshold announced for that period and quota; 0 for none.
    int32_t Announced(int64_t periodStart, const QuotaUse& use);

    const std::string& Path() const { return m_path; }

private:
    struct Record {
        int64_t PeriodStart = 0;
        int32_t LimitGB = 0;
        int32_t Direction = 0;
        int32_t Threshold = 0;
    };
    const Record& record();
    static Record recordFor(int64_t periodStart, const QuotaUse& use);

    std::string m_path;
    std::optional<Record> m_record; // read from the file at the first use
};

// Where a profile's announcements are kept: beside it, named after it
// ("Office.vlq" -> "Office.quota").
std::string QuotaAnnouncementsPath(const std::string& profilePath);

} // namespace veltrum
