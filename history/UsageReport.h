#pragma once
// The usage figures of one interface, asked of the store by name, and the
// texts of `veltrum --usage`: plain text, JSON or CSV. Octets stay exact
// integers up to the edge; the plain text shows them in decimal units as
// providers bill (kB, MB, GB = 10^3, 10^6, 10^9 octets).

#include "history/UsageStore.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrum {

// The use over [Start, End). Download is the interface's octets in.
struct UsageSpan {
    int64_t Start = 0;
    int64_t End = 0;
    UsageCounts Use;
};

struct UsageFigures {
    UsageSpan Today, Yesterday, Period, LastPeriod, AllTime;
    // This period's use carried on at its pace so far to the period's end.
    uint64_t PeriodEstimateDownload = 0;
    uint64_t PeriodEstimateUpload = 0;
    std::vector<UsageSpan> Hours;   // the last 48 hours, oldest first
    std::vector<UsageSpan> Days;    // the last 31 days, today last
    std::vector<UsageSpan> Periods; // the last 12 billing periods, this one last
};

// The billing day a profile may hold, brought into 1-28.
int32_t BillingDay(int32_t fromProfile);

// The figures at `now` for billing periods that start on `billingDay`.
UsageFigures QueryFigures(UsageStore& store, int64_t interfaceId, int64_t now, int32_t billingDay);

struct UsageIdentity {
    std::string Agent; // as typed, with its port
    int32_t Number = 0;
    std::string Description; // empty when unknown
};

std::string UsageJson(const UsageIdentity& who, const UsageFigures& figures);
std::string UsageCsv(const UsageIdentity& who, const UsageFigures& figures);
std::string UsageText(const UsageIdentity& who, const UsageFigures& figures);
// Octets in decimal units: "999 B", "1.50 kB", "4.52 GB".
std::string DecimalVolume(uint64_t octets);

enum class UsageFormat : uint8_t { Text, Json, Csv };

struct UsageAnswer {
    int ExitStatus = 0;
    std::string Out; // standard output
    std::string Err; // standard error
};

// `veltrum --usage`: the figures of the interface from the history at
// `path`, which is only read (a missing file is no history yet).
UsageAnswer AnswerUsage(const std::string& path, const UsageIdentity& who, int32_t billingDay,
                        UsageFormat format, int64_t now);

} // namespace veltrum
