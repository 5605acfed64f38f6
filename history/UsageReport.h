#pragma once
// The usage figures of one interface and the texts of `veltrum --usage`:
// plain text, JSON or CSV. QueryFigures is the one place every figure is
// computed (today, the periods, the estimate, the quota's use, missed time),
// for the usage window, the main window's hint, the quota's notices and the
// command line alike: the rows the store holds plus the counts the recorder
// has not written yet. Octets stay exact integers up to the edge; the plain
// text shows them in decimal units as providers bill (kB, MB, GB = 10^3,
// 10^6, 10^9 octets).

#include "history/UsageStore.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltrum {

inline constexpr uint64_t kOctetsPerGB = 1'000'000'000;

// Which directions count against the quota (LimitKierunek).
enum class QuotaDirection : int32_t { Both = 0, Download = 1, Upload = 2 };

// The quota and billing period a profile asks for, in octets.
struct QuotaSettings {
    uint64_t Limit = 0; // 0: no quota
    QuotaDirection Direction = QuotaDirection::Both;
    int32_t BillingDay = 1; // 1-28
    // What the provider counted in the first period before recording began.
    uint64_t UsedBefore = 0;
};

// A period's use against the quota.
struct QuotaUse {
    uint64_t Used = 0;   // octets in the directions that count, UsedBefore included
    uint64_t Limit = 0;  // octets
    int32_t Percent = 0; // of the limit, truncated; past 100 once over it
    QuotaDirection Direction = QuotaDirection::Both;
    uint64_t UsedBefore = 0; // of Used: counted before recording began
    // In the first period, when recording began; 0 otherwise.
    int64_t Since = 0;
};
// The use of `download` and `upload` octets with `usedBefore` added;
// nothing when no quota is set.
std::optional<QuotaUse> QuotaUseOf(const QuotaSettings& quota, uint64_t download, uint64_t upload,
                                   uint64_t usedBefore = 0);

// The use over [Start, End). Download is the interface's octets in.
struct UsageSpan {
    int64_t Start = 0;
    int64_t End = 0;
    UsageCounts Use;
    // False for a span that ended before the interface's first recording:
    // its zeros mean "not recorded", not "no traffic".
    bool Recorded = true;
};

// The period's use carried on at its pace so far to the period's end.
struct UsageEstimate {
    uint64_t Download = 0;
    uint64_t Upload = 0;
};
// No estimate before this much of the period has been recorded.
inline constexpr int64_t kEstimateMinimumSeconds = 3600;
// The estimate for `period` at `now` when recording began at `firstRecorded`
// (only the recorded part of the period sets the pace); nothing before an
// hour of it was recorded or once it has ended.
std::optional<UsageEstimate> EstimateToPeriodEnd(const UsageSpan& period, int64_t firstRecorded, int64_t now);

struct UsageFigures {
    int64_t Now = 0;
    // The first recorded second of the interface; 0 when nothing is.
    int64_t FirstRecorded = 0;
    UsageSpan Today, Yesterday, Period, LastPeriod, AllTime;
    // Recording began inside this period: its figures run "since" then.
    bool FirstPeriod = false;
    std::optional<UsageEstimate> PeriodEstimate;
    std::optional<QuotaUse> Quota;  // nothing without a quota
    std::vector<UsageSpan> Hours;   // the last 48 hours, oldest first
    std::vector<UsageSpan> Days;    // the last 31 days, today last
    std::vector<UsageSpan> Periods; // the last 12 billing periods, this one last
};

// The billing day a profile may hold, brought into 1-28.
int32_t BillingDay(int32_t fromProfile);

// The figures at `now` for the billing periods and quota of `quota`: the
// store's rows and `pending`, the counts not written yet.
UsageFigures QueryFigures(UsageStore& store, int64_t interfaceId, int64_t now, const QuotaSettings& quota,
                          std::span<const UsageSegment> pending = {});

// The share of a span's recorded time that was missed, in tenths of a percent.
int32_t MissedPermille(const UsageCounts& use);

struct UsageIdentity {
    std::string Agent; // as typed, with its port
    int32_t Number = 0;
    std::string Description; // empty when unknown
};

std::string UsageJson(const UsageIdentity& who, const UsageFigures& figures);
std::string UsageCsv(const UsageIdentity& who, const UsageFigures& figures);
std::string UsageText(const UsageIdentity& who, const UsageFigures& figures);
// Octets as a number of GB with the decimals it has and no more: "50", "1.5".
std::string GigabytesText(uint64_t octets);
// Octets in decimal units: "999 B", "1.50 kB", "4.52 GB".
std::string DecimalVolume(uint64_t octets);
// Seconds as hours and minutes, a part of a minute counted as a whole one:
// "0h 00m", "0h 01m" for 1 to 60 seconds.
std::string MinutesRoundedUp(int64_t seconds);

enum class UsageFormat : uint8_t { Text, Json, Csv };

struct UsageAnswer {
    int ExitStatus = 0;
    std::string Out; // standard output
    std::string Err; // standard error
};

// `veltrum --usage`: the figures of the interface from the history at
// `path`, which is only read (a missing file is no history yet).
UsageAnswer AnswerUsage(const std::string& path, const UsageIdentity& who, const QuotaSettings& quota,
                        UsageFormat format, int64_t now);

} // namespace veltrum
