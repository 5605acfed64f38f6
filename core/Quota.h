#pragma once
// The monthly quota: its size as the settings dialog reads it and the
// profile keeps it, the line the main window's hint and the usage window
// show, which thresholds a use has crossed, and the announcements at 80, 90
// and 100 %, each made once per period even across restarts. The use itself
// is one of the usage figures (history/UsageReport.h).
//
// Octets count in decimal units, as providers bill: 1 kB, 1 MB, 1 GB are
// 10^3, 10^6 and 10^9 octets. (The graph windows' totals keep their own
// unit of 1,012 octets.)

#include "core/Formatting.h"
#include "core/MonitorState.h"
#include "core/UsageFigures.h"
#include "history/UsageReport.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum {

// The largest quota, and the largest amount used before recording.
inline constexpr uint64_t kMaxQuotaGB = 1'000'000;

// A size as the user types it: a whole number or a decimal with a point or
// a comma, in GB unless "GB" or "TB" follows ("150", "1,5", "2.5 TB").
// Nothing for a text that is not such a size, is finer than an octet, or
// exceeds kMaxQuotaGB.
std::optional<uint64_t> ParseQuotaSize(std::string_view text);
// How the profile keeps a size: GB, whole numbers as they always were
// ("150"), a fraction with a point and only the digits it needs ("1.5"),
// so that it reads back exactly.
std::string QuotaSizeSetting(uint64_t octets);
// A size the profile holds; what cannot be read is none, a larger one the
// largest.
uint64_t QuotaSizeOfSetting(const std::string& stored);
// The message for a field whose text ParseQuotaSize refuses; `field` is
// the field's caption.
std::string QuotaSizeRefusal(const std::string& field, const std::string& text);

// The quota settings in force; a value outside its range (a state not
// filled by the start-up load) reads as the setting's default.
QuotaSettings QuotaOf(const MonitorState& state);

// The use of the billing period in `summary`; nothing without a quota or
// without figures.
std::optional<QuotaUse> PeriodQuotaUse(const UsageSummary& summary);

// Octets in decimal units with three significant digits: "999 B",
// "1.50 kB", "12.3 MB", "123 GB".
std::string DecimalVolumeText(uint64_t octets, const NumberLocale& locale);

// "Quota: 12.3 GB of 50 GB this period (24 %)"; "Download quota: ..." or
// "Upload quota: ..." when one direction counts; "since 2026-12-08" in the
// first period, and what was used before recording when there is some.
std::string QuotaText(const QuotaUse& use, const NumberLocale& locale);

// The announced thresholds, in percent of the quota.
inline constexpr std::array<int32_t, 3> kQuotaThresholds{80, 90, 100};
// The highest threshold `use` has reached; 0 below the first.
int32_t QuotaThresholdReached(const QuotaUse& use);

// Thresholds crossed since the last announced one: the highest is
// announced, the others passed with it are named.
struct QuotaCrossing {
    int32_t Highest = 0;
    std::vector<int32_t> Passed; // ascending, Highest last
    bool operator==(const QuotaCrossing&) const = default;
};
// The crossing of `use` when `announced` (0: none) was the last threshold
// announced; nothing when no new one is reached.
std::optional<QuotaCrossing> QuotaThresholdsCrossed(int32_t announced, const QuotaUse& use);

// A desktop notification's texts for a crossing.
struct QuotaAlert {
    int32_t Threshold = 0;
    std::string Title; // "90 % of the monthly quota used"
    std::string Body;  // "Office: " and QuotaText, and the thresholds passed with it
};
QuotaAlert QuotaAlertFor(const QuotaCrossing& crossing, const QuotaUse& use, const std::string& session,
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

    // The crossing to announce now, if any (QuotaThresholdsCrossed since
    // the threshold announced for the period that began at `periodStart`,
    // seconds since the epoch, and that quota). It counts as announced from
    // this call on.
    std::optional<QuotaCrossing> Due(int64_t periodStart, const QuotaUse& use);
    // The highest threshold announced for that period and quota; 0 for none.
    int32_t Announced(int64_t periodStart, const QuotaUse& use);

    const std::string& Path() const { return m_path; }

private:
    struct Record {
        int64_t PeriodStart = 0;
        // The quota: whole GB as the file always held them, octets for a
        // fraction (no whole quota comes near a number of octets).
        int64_t Limit = 0;
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
