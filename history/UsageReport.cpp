#include "history/UsageReport.h"

#include "history/VisibleText.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <iterator>
#include <limits>
#include <string_view>

namespace veltrum {

namespace {

// Octets at or above 1000 in decimal units; a sum of two counts may pass
// the largest 64-bit number.
std::string volumeText(long double octets) {
    static const char* const kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB", "ZB"};
    if (octets < 1000) {
        return std::to_string(static_cast<uint64_t>(octets)) + " B";
    }
    long double value = octets;
    size_t unit = 0;
    value /= 1000.0L;
    while (value >= 999.995L && unit + 1 < std::size(kUnits)) {
        value /= 1000.0L;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2Lf %s", value, kUnits[unit]);
    return text;
}

// Products of two 64-bit values, exact.
__extension__ typedef unsigned __int128 Wide;

UsageCounts sumDays(const std::vector<DayRow>& rows, const LocalDate& from, const LocalDate& to) {
    const int32_t first = DayKey(from);
    const int32_t end = DayKey(to);
    UsageCounts sum;
    for (const DayRow& row : rows) {
        if (row.Day >= first && row.Day < end) {
            sum += row.Counts;
        }
    }
    return sum;
}

// A span is recorded once any of it lies after the first recorded second.
UsageSpan daysSpan(const std::vector<DayRow>& rows, const LocalDate& from, const LocalDate& to,
                   int64_t firstRecorded) {
    const int64_t end = StartOf(to);
    return UsageSpan{StartOf(from), end, sumDays(rows, from, to), firstRecorded != 0 && end > firstRecorded};
}

int64_t coveredSeconds(const UsageCounts& counts) {
    return counts.Sampled + counts.Missed;
}

// The first recorded second, as the history keeps it. A history that kept
// none (written by an earlier version) tells it from its rows: every second
// from the first tick on is sampled or missed, so the first hour with any
// counts began to be recorded that many seconds before its end (or before
// now, for the current hour). Hourly rows older than they are kept leave the
// day's start.
int64_t firstRecorded(UsageStore& store, int64_t id, std::span<const UsageSegment> pending, int64_t now) {
    if (const int64_t kept = store.Interface(id).RecordedSince; kept > 0) {
        return kept;
    }
    int32_t firstDay = store.FirstDay(id);
    for (const UsageSegment& segment : pending) {
        if (firstDay == 0 || segment.Keys.Day < firstDay) {
            firstDay = segment.Keys.Day;
        }
    }
    if (firstDay == 0) {
        return 0;
    }
    const LocalDate day = FromDayKey(firstDay);
    const int64_t from = StartOf(day);
    std::vector<HourRow> hours = store.Hours(id, from, StartOf(AddDays(day, 1)));
    for (const UsageSegment& segment : pending) {
        if (segment.Keys.Day == firstDay) {
            hours.push_back(HourRow{segment.Keys.Hour, segment.Keys.HourOffset, segment.Counts});
        }
    }
    std::sort(hours.begin(), hours.end(),
              [](const HourRow& a, const HourRow& b) { return a.Start < b.Start; });
    for (size_t i = 0; i < hours.size();) {
        UsageCounts hour;
        const int64_t start = hours[i].Start;
        for (; i < hours.size() && hours[i].Start == start; ++i) {
            hour += hours[i].Counts;
        }
        if (coveredSeconds(hour) > 0) {
            const int64_t end = std::min(start + 3600, now);
            return std::clamp(end - coveredSeconds(hour), start, std::max(start, end));
        }
    }
    return from;
}

// Products of two 64-bit values, exact.
uint64_t scaled(uint64_t octets, int64_t numerator, int64_t denominator) {
    const Wide value =
        static_cast<Wide>(octets) * static_cast<uint64_t>(numerator) / static_cast<uint64_t>(denominator);
    return value > std::numeric_limits<uint64_t>::max() ? std::numeric_limits<uint64_t>::max()
                                                        : static_cast<uint64_t>(value);
}

std::string number(uint64_t value) {
    return std::to_string(value);
}

// A JSON string (RFC 8259): quotes, backslashes and control characters
// escaped; bytes that are not UTF-8 (an agent's description is octets)
// replaced by U+FFFD.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else {
            const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
            bool valid = length != 0 && c <= 0xF4 && i + length <= n;
            for (size_t k = 1; valid && k < length; ++k) {
                valid = (p[i + k] & 0xC0) == 0x80;
            }
            if (valid && length == 3) {
                valid = !(c == 0xE0 && p[i + 1] < 0xA0) && !(c == 0xED && p[i + 1] >= 0xA0);
            } else if (valid && length == 4) {
                valid = !(c == 0xF0 && p[i + 1] < 0x90) && !(c == 0xF4 && p[i + 1] >= 0x90);
            }
            if (valid) {
                out.append(text, i, length);
                i += length;
            } else {
                out += "\xEF\xBF\xBD";
                ++i;
            }
        }
    }
    return out + "\"";
}

std::string jsonSpan(const UsageSpan& span, const std::string& extra = {}) {
    return "{\"start\": " + jsonString(Iso8601(span.Start)) + ", \"end\": " + jsonString(Iso8601(span.End)) +
           ", \"download_octets\": " + number(span.Use.InOctets) +
           ", \"upload_octets\": " + number(span.Use.OutOctets) +
           ", \"sampled_seconds\": " + std::to_string(span.Use.Sampled) +
           ", \"missed_seconds\": " + std::to_string(span.Use.Missed) + extra + "}";
}

std::string jsonArray(const std::vector<UsageSpan>& spans) {
    std::string out = "[";
    for (size_t i = 0; i < spans.size(); ++i) {
        out += (i == 0 ? "\n    " : ",\n    ") + jsonSpan(spans[i]);
    }
    return out + "\n  ]";
}

// A CSV field (RFC 4180 section 2): quoted when it holds a comma, a quote or
// a line break, quotes doubled inside. A field that a spreadsheet would run
// as a formula (it begins with =, +, -, @, a tab or a CR) begins with a '.
std::string csvField(const std::string& field) {
    const std::string text =
        !field.empty() && std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos ? "'" + field
                                                                                                : field;
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

std::string durationText(int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64 "h %02" PRId64 "m", seconds / 3600, seconds / 60 % 60);
    return text;
}

std::string dayText(int64_t t) {
    return Iso8601(t).substr(0, 10);
}

std::string textRow(const std::string& label, const UsageSpan& span, bool times = true) {
    char line[160];
    if (!span.Recorded) {
        std::snprintf(line, sizeof line, "%-28s %11s\n", label.c_str(), "not recorded");
        return line;
    }
    std::snprintf(line, sizeof line, "%-28s %11s %11s %11s", label.c_str(),
                  DecimalVolume(span.Use.InOctets).c_str(), DecimalVolume(span.Use.OutOctets).c_str(),
                  volumeText(static_cast<long double>(span.Use.InOctets) + span.Use.OutOctets).c_str());
    std::string row = line;
    if (times) {
        // Missed time is never shown as none while there was some.
        std::snprintf(line, sizeof line, " %10s %10s", durationText(span.Use.Sampled).c_str(),
                      MinutesRoundedUp(span.Use.Missed).c_str());
        row += line;
    }
    return row + "\n";
}

std::string interfaceText(const UsageIdentity& who) {
    std::string text = "interface " + std::to_string(who.Number);
    if (!who.Description.empty()) {
        text += " (" + VisibleOneLine(who.Description) + ")";
    }
    return text + " of " + VisibleOneLine(who.Agent);
}

const char* directionName(QuotaDirection direction) {
    return direction == QuotaDirection::Download ? "download"
           : direction == QuotaDirection::Upload ? "upload"
                                                 : "both";
}

template <class Span> std::vector<UsageSpan> recordedOnly(const Span& spans) {
    std::vector<UsageSpan> kept;
    std::copy_if(spans.begin(), spans.end(), std::back_inserter(kept),
                 [](const UsageSpan& span) { return span.Recorded; });
    return kept;
}

} // namespace

int32_t BillingDay(int32_t fromProfile) {
    return std::clamp(fromProfile, 1, 28);
}

std::optional<QuotaUse> QuotaUseOf(const QuotaSettings& quota, uint64_t download, uint64_t upload,
                                   uint64_t usedBefore) {
    if (quota.Limit == 0) {
        return std::nullopt;
    }
    const auto sum = [](uint64_t a, uint64_t b) {
        return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
    };
    QuotaUse use;
    use.Direction = quota.Direction;
    use.Used = quota.Direction == QuotaDirection::Download ? download
               : quota.Direction == QuotaDirection::Upload ? upload
                                                           : sum(download, upload);
    use.Used = sum(use.Used, usedBefore);
    use.UsedBefore = usedBefore;
    use.Limit = quota.Limit;
    const Wide percent = static_cast<Wide>(use.Used) * 100 / use.Limit;
    use.Percent = static_cast<int32_t>(std::min<Wide>(percent, std::numeric_limits<int32_t>::max()));
    return use;
}

std::optional<UsageEstimate> EstimateToPeriodEnd(const UsageSpan& period, int64_t firstRecorded,
                                                 int64_t now) {
    if (firstRecorded == 0 || now >= period.End) {
        return std::nullopt;
    }
    const int64_t from = std::max(period.Start, firstRecorded);
    // The pace of the seconds counted: time missed or not recorded carried
    // traffic no one saw, at that pace as far as anyone can tell.
    const int64_t sampled = period.Use.Sampled;
    if (sampled < kEstimateMinimumSeconds) {
        return std::nullopt;
    }
    // Truncated, as the program's arithmetic always is.
    return UsageEstimate{scaled(period.Use.InOctets, period.End - from, sampled),
                         scaled(period.Use.OutOctets, period.End - from, sampled)};
}

int32_t MissedPermille(const UsageCounts& use) {
    const int64_t covered = coveredSeconds(use);
    if (covered <= 0 || use.Missed <= 0) {
        return 0;
    }
    // A little missed time is never shown as none.
    return static_cast<int32_t>(std::max<int64_t>(1, use.Missed * 1000 / covered));
}

std::string MinutesRoundedUp(int64_t seconds) {
    return durationText(seconds <= 0 ? 0 : (seconds + 59) / 60 * 60);
}

UsageFigures QueryFigures(UsageStore& store, int64_t interfaceId, int64_t now, const QuotaSettings& quota,
                          std::span<const UsageSegment> pending) {
    const int32_t billingDay = BillingDay(quota.BillingDay);
    const LocalDate today = DateAt(now);
    const LocalDate tomorrow = AddDays(today, 1);
    const Period period = PeriodHolding(today, billingDay);
    const LocalDate firstDay = AddDays(today, -30);
    const LocalDate firstPeriod = AddMonths(period.Start, -11);
    const LocalDate from = DayKey(firstDay) < DayKey(firstPeriod) ? firstDay : firstPeriod;
    std::vector<DayRow> rows = store.Days(interfaceId, DayKey(from), DayKey(period.End));
    UsageCounts pendingSum;
    for (const UsageSegment& segment : pending) {
        rows.push_back(DayRow{segment.Keys.Day, segment.Counts});
        pendingSum += segment.Counts;
    }

    UsageFigures figures;
    figures.Now = now;
    figures.FirstRecorded = firstRecorded(store, interfaceId, pending, now);
    const int64_t first = figures.FirstRecorded;
    figures.Today = daysSpan(rows, today, tomorrow, first);
    figures.Yesterday = daysSpan(rows, AddDays(today, -1), today, first);
    figures.Period = daysSpan(rows, period.Start, period.End, first);
    figures.LastPeriod = daysSpan(rows, AddMonths(period.Start, -1), period.Start, first);
    figures.FirstPeriod = first > figures.Period.Start;
    figures.PeriodEstimate = EstimateToPeriodEnd(figures.Period, first, now);
    figures.Quota = QuotaUseOf(quota, figures.Period.Use.InOctets, figures.Period.Use.OutOctets,
                               figures.FirstPeriod ? quota.UsedBefore : 0);
    if (figures.Quota && figures.FirstPeriod) {
        figures.Quota->Since = first;
    }
    for (int32_t i = 30; i >= 0; --i) {
        const LocalDate day = AddDays(today, -i);
        figures.Days.push_back(daysSpan(rows, day, AddDays(day, 1), first));
    }
    for (int32_t i = 11; i >= 0; --i) {
        const LocalDate start = AddMonths(period.Start, -i);
        figures.Periods.push_back(daysSpan(rows, start, AddMonths(start, 1), first));
    }
    UsageCounts allTime = store.AllTime(interfaceId);
    allTime += pendingSum;
    figures.AllTime =
        UsageSpan{first != 0 ? first : figures.Today.Start, figures.Today.End, allTime, first != 0};

    // Local hours are an hour apart in every zone of whole or half-hour
    // offsets; a row that starts off that grid counts in the hour it falls in.
    const int64_t thisHour = KeysAt(now).Hour;
    const int64_t firstHour = thisHour - 47 * 3600;
    for (int64_t start = firstHour; start <= thisHour; start += 3600) {
        figures.Hours.push_back(UsageSpan{start, start + 3600, {}, first != 0 && start + 3600 > first});
    }
    std::vector<HourRow> hours = store.Hours(interfaceId, firstHour, thisHour + 3600);
    for (const UsageSegment& segment : pending) {
        hours.push_back(HourRow{segment.Keys.Hour, segment.Keys.HourOffset, segment.Counts});
    }
    for (const HourRow& row : hours) {
        if (row.Start >= firstHour && row.Start < thisHour + 3600) {
            figures.Hours[static_cast<size_t>((row.Start - firstHour) / 3600)].Use += row.Counts;
        }
    }
    return figures;
}

std::string GigabytesText(uint64_t octets) {
    std::string text = std::to_string(octets / kOctetsPerGB);
    if (const uint64_t fraction = octets % kOctetsPerGB; fraction != 0) {
        std::string digits = std::to_string(fraction + kOctetsPerGB).substr(1);
        digits.erase(digits.find_last_not_of('0') + 1);
        text += "." + digits;
    }
    return text;
}

std::string DecimalVolume(uint64_t octets) {
    if (octets < 1000) {
        return std::to_string(octets) + " B";
    }
    return volumeText(static_cast<long double>(octets));
}

std::string UsageJson(const UsageIdentity& who, const UsageFigures& figures) {
    const auto span = [](const UsageSpan& s, const std::string& extra = {}) {
        return s.Recorded ? jsonSpan(s, extra) : std::string("null");
    };
    const std::optional<UsageEstimate>& estimate = figures.PeriodEstimate;
    std::string out = "{\n";
    out += "  \"agent\": " + jsonString(who.Agent) + ",\n";
    out += "  \"interface\": " + std::to_string(who.Number) + ",\n";
    out += "  \"description\": " +
           (who.Description.empty() ? std::string("null") : jsonString(who.Description)) + ",\n";
    out += "  \"recorded_since\": " + jsonString(Iso8601(figures.FirstRecorded)) + ",\n";
    out += "  \"today\": " + span(figures.Today) + ",\n";
    out += "  \"yesterday\": " + span(figures.Yesterday) + ",\n";
    out += "  \"period\": " +
           span(figures.Period,
                ", \"estimated_download_octets\": " + (estimate ? number(estimate->Download) : "null") +
                    ", \"estimated_upload_octets\": " + (estimate ? number(estimate->Upload) : "null") +
                    ", \"first_period\": " + (figures.FirstPeriod ? "true" : "false")) +
           ",\n";
    out += "  \"last_period\": " + span(figures.LastPeriod) + ",\n";
    out += "  \"all_time\": " + span(figures.AllTime) + ",\n";
    out += "  \"quota\": ";
    if (const std::optional<QuotaUse>& quota = figures.Quota) {
        out += std::string("{\"limit_octets\": ") + number(quota->Limit) + ", \"direction\": \"" +
               directionName(quota->Direction) + "\", \"used_octets\": " + number(quota->Used) +
               ", \"used_before_recording_octets\": " + number(quota->UsedBefore) +
               ", \"percent\": " + std::to_string(quota->Percent) +
               ", \"resets\": " + jsonString(Iso8601(figures.Period.End)) + "}";
    } else {
        out += "null";
    }
    out += ",\n";
    out += "  \"days\": " + jsonArray(recordedOnly(figures.Days)) + ",\n";
    out += "  \"periods\": " + jsonArray(recordedOnly(figures.Periods)) + "\n}\n";
    return out;
}

std::string UsageCsv(const UsageIdentity& who, const UsageFigures& figures) {
    const std::string lead =
        csvField(who.Agent) + "," + std::to_string(who.Number) + "," + csvField(who.Description) + ",";
    // The estimate and the quota belong to the period: its row alone fills
    // the columns after the counts.
    std::string out = "agent,interface,description,figure,start,end,download_octets,upload_octets,"
                      "sampled_seconds,missed_seconds,estimated_download_octets,estimated_upload_octets,"
                      "quota_limit_octets,quota_direction,quota_used_octets,quota_percent\r\n";
    const auto row = [&](const char* figure, const UsageSpan& span, const std::string& extra = ",,,,,") {
        if (!span.Recorded) {
            return;
        }
        out += lead + figure + "," + Iso8601(span.Start) + "," + Iso8601(span.End) + "," +
               number(span.Use.InOctets) + "," + number(span.Use.OutOctets) + "," +
               std::to_string(span.Use.Sampled) + "," + std::to_string(span.Use.Missed) + "," + extra +
               "\r\n";
    };
    std::string period;
    if (const std::optional<UsageEstimate>& estimate = figures.PeriodEstimate) {
        period = number(estimate->Download) + "," + number(estimate->Upload);
    } else {
        period = ",";
    }
    if (const std::optional<QuotaUse>& quota = figures.Quota) {
        period += "," + number(quota->Limit) + "," + directionName(quota->Direction) + "," +
                  number(quota->Used) + "," + std::to_string(quota->Percent);
    } else {
        period += ",,,,";
    }
    row("today", figures.Today);
    row("yesterday", figures.Yesterday);
    row("period", figures.Period, period);
    row("last_period", figures.LastPeriod);
    row("all_time", figures.AllTime);
    for (const UsageSpan& day : figures.Days) {
        row("days", day);
    }
    for (const UsageSpan& each : figures.Periods) {
        row("periods", each);
    }
    return out;
}

std::string UsageText(const UsageIdentity& who, const UsageFigures& figures) {
    std::string out = "Usage of " + interfaceText(who) + "\n";
    out += "Units: 1 kB = 1,000 octets, 1 MB = 10^6, 1 GB = 10^9.\n";
    if (figures.FirstRecorded != 0) {
        out += "Recorded since " + Iso8601(figures.FirstRecorded).substr(0, 16) + ".\n";
    }
    if (const std::optional<QuotaUse>& quota = figures.Quota) {
        out += "Quota: " + GigabytesText(quota->Limit) + " GB a period, " +
               (quota->Direction == QuotaDirection::Download ? "download only"
                : quota->Direction == QuotaDirection::Upload ? "upload only"
                                                             : "download and upload") +
               "; used " + DecimalVolume(quota->Used) + " (" + std::to_string(quota->Percent) + " %)";
        if (quota->UsedBefore != 0) {
            out += ", of which " + DecimalVolume(quota->UsedBefore) + " before recording";
        }
        out += "; resets on " + dayText(figures.Period.End) + ".\n";
    }
    out += "\n";
    char header[160];
    std::snprintf(header, sizeof header, "%-28s %11s %11s %11s %10s %10s\n", "", "Download", "Upload",
                  "Total", "Sampled", "Missed");
    out += header;
    out += textRow("Today", figures.Today);
    out += textRow("Yesterday", figures.Yesterday);
    out += textRow((figures.FirstPeriod ? "This period since " + dayText(figures.FirstRecorded)
                                        : "This period from " + dayText(figures.Period.Start)),
                   figures.Period);
    if (const std::optional<UsageEstimate>& estimate = figures.PeriodEstimate) {
        UsageSpan estimated = figures.Period;
        estimated.Use.InOctets = estimate->Download;
        estimated.Use.OutOctets = estimate->Upload;
        out += textRow("  estimate to its end", estimated, false);
    } else {
        out += "  estimate to its end        after an hour of recording\n";
    }
    out += textRow("Last period", figures.LastPeriod);
    out += textRow("All time", figures.AllTime);
    out += "\nLast 31 days\n";
    for (const UsageSpan& day : recordedOnly(figures.Days)) {
        out += textRow(dayText(day.Start), day);
    }
    out += "\nLast 12 periods\n";
    for (const UsageSpan& period : recordedOnly(figures.Periods)) {
        out += textRow(dayText(period.Start) + " to " + dayText(period.End), period);
    }
    return out;
}

UsageAnswer AnswerUsage(const std::string& path, const UsageIdentity& who, const QuotaSettings& quota,
                        UsageFormat format, int64_t now) {
    UsageAnswer answer;
    UsageStore store(path, StoreMode::Read);
    if (store.State() == StoreState::Newer || store.State() == StoreState::Refused ||
        store.State() == StoreState::Unavailable) {
        answer.ExitStatus = 1;
        answer.Err = "veltrum: cannot show the usage: " + store.Reason() + "\n";
        return answer;
    }
    std::optional<UsageInterface> row;
    try {
        if (store.State() == StoreState::Ready) {
            row = store.OpenInterface(who.Agent, who.Number, who.Description);
        }
        UsageFigures figures;
        if (row) {
            figures = QueryFigures(store, row->Id, now, quota);
        }
        if (!row || figures.FirstRecorded == 0) {
            const std::string none = "No usage has been recorded yet for " + interfaceText(who) + ".\n";
            (format == UsageFormat::Text ? answer.Out : answer.Err) = none;
            return answer;
        }
        answer.Out = format == UsageFormat::Json  ? UsageJson(who, figures)
                     : format == UsageFormat::Csv ? UsageCsv(who, figures)
                                                  : UsageText(who, figures);
    } catch (const EUsageStore& error) {
        answer.ExitStatus = 1;
        answer.Err = std::string("veltrum: cannot read the usage history: ") + error.what() + "\n";
    }
    return answer;
}

} // namespace veltrum
