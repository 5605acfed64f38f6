#include "history/UsageReport.h"

#include "history/VisibleText.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
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

UsageSpan daysSpan(const std::vector<DayRow>& rows, const LocalDate& from, const LocalDate& to) {
    return UsageSpan{StartOf(from), StartOf(to), sumDays(rows, from, to)};
}

uint64_t estimate(uint64_t used, int64_t elapsed, int64_t length) {
    if (elapsed <= 0 || elapsed >= length) {
        return used;
    }
    return static_cast<uint64_t>(static_cast<Wide>(used) * static_cast<uint64_t>(length) /
                                 static_cast<uint64_t>(elapsed));
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
    std::snprintf(line, sizeof line, "%-28s %11s %11s %11s", label.c_str(),
                  DecimalVolume(span.Use.InOctets).c_str(), DecimalVolume(span.Use.OutOctets).c_str(),
                  volumeText(static_cast<long double>(span.Use.InOctets) + span.Use.OutOctets).c_str());
    std::string row = line;
    if (times) {
        std::snprintf(line, sizeof line, " %10s %10s", durationText(span.Use.Sampled).c_str(),
                      durationText(span.Use.Missed).c_str());
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

} // namespace

int32_t BillingDay(int32_t fromProfile) {
    return std::clamp(fromProfile, 1, 28);
}

UsageFigures QueryFigures(UsageStore& store, int64_t interfaceId, int64_t now, int32_t billingDay) {
    billingDay = BillingDay(billingDay);
    const LocalDate today = DateAt(now);
    const LocalDate tomorrow = AddDays(today, 1);
    const Period period = PeriodHolding(today, billingDay);
    const LocalDate firstDay = AddDays(today, -30);
    const LocalDate firstPeriod = AddMonths(period.Start, -11);
    const LocalDate from = DayKey(firstDay) < DayKey(firstPeriod) ? firstDay : firstPeriod;
    const std::vector<DayRow> rows = store.Days(interfaceId, DayKey(from), DayKey(period.End));

    UsageFigures figures;
    figures.Today = daysSpan(rows, today, tomorrow);
    figures.Yesterday = daysSpan(rows, AddDays(today, -1), today);
    figures.Period = daysSpan(rows, period.Start, period.End);
    figures.LastPeriod = daysSpan(rows, AddMonths(period.Start, -1), period.Start);
    const int64_t elapsed = now - figures.Period.Start;
    const int64_t length = figures.Period.End - figures.Period.Start;
    figures.PeriodEstimateDownload = estimate(figures.Period.Use.InOctets, elapsed, length);
    figures.PeriodEstimateUpload = estimate(figures.Period.Use.OutOctets, elapsed, length);
    for (int32_t i = 30; i >= 0; --i) {
        const LocalDate day = AddDays(today, -i);
        figures.Days.push_back(daysSpan(rows, day, AddDays(day, 1)));
    }
    for (int32_t i = 11; i >= 0; --i) {
        const LocalDate start = AddMonths(period.Start, -i);
        figures.Periods.push_back(daysSpan(rows, start, AddMonths(start, 1)));
    }
    const int32_t first = store.FirstDay(interfaceId);
    figures.AllTime = UsageSpan{first != 0 ? StartOf(FromDayKey(first)) : figures.Today.Start,
                                figures.Today.End, store.AllTime(interfaceId)};

    // Local hours are an hour apart in every zone of whole or half-hour
    // offsets; a row that starts off that grid counts in the hour it falls in.
    const int64_t thisHour = KeysAt(now).Hour;
    const int64_t firstHour = thisHour - 47 * 3600;
    for (int64_t start = firstHour; start <= thisHour; start += 3600) {
        figures.Hours.push_back(UsageSpan{start, start + 3600, {}});
    }
    for (const HourRow& row : store.Hours(interfaceId, firstHour, thisHour + 3600)) {
        figures.Hours[static_cast<size_t>((row.Start - firstHour) / 3600)].Use += row.Counts;
    }
    return figures;
}

std::string DecimalVolume(uint64_t octets) {
    if (octets < 1000) {
        return std::to_string(octets) + " B";
    }
    return volumeText(static_cast<long double>(octets));
}

std::string UsageJson(const UsageIdentity& who, const UsageFigures& figures) {
    std::string out = "{\n";
    out += "  \"agent\": " + jsonString(who.Agent) + ",\n";
    out += "  \"interface\": " + std::to_string(who.Number) + ",\n";
    out += "  \"description\": " +
           (who.Description.empty() ? std::string("null") : jsonString(who.Description)) + ",\n";
    out += "  \"today\": " + jsonSpan(figures.Today) + ",\n";
    out += "  \"yesterday\": " + jsonSpan(figures.Yesterday) + ",\n";
    out += "  \"period\": " +
           jsonSpan(figures.Period,
                    ", \"estimated_download_octets\": " + number(figures.PeriodEstimateDownload) +
                        ", \"estimated_upload_octets\": " + number(figures.PeriodEstimateUpload)) +
           ",\n";
    out += "  \"last_period\": " + jsonSpan(figures.LastPeriod) + ",\n";
    out += "  \"all_time\": " + jsonSpan(figures.AllTime) + ",\n";
    out += "  \"days\": " + jsonArray(figures.Days) + ",\n";
    out += "  \"periods\": " + jsonArray(figures.Periods) + "\n}\n";
    return out;
}

std::string UsageCsv(const UsageIdentity& who, const UsageFigures& figures) {
    const std::string lead =
        csvField(who.Agent) + "," + std::to_string(who.Number) + "," + csvField(who.Description) + ",";
    std::string out = "agent,interface,description,figure,start,end,download_octets,upload_octets,"
                      "sampled_seconds,missed_seconds\r\n";
    const auto row = [&](const char* figure, const UsageSpan& span) {
        out += lead + figure + "," + Iso8601(span.Start) + "," + Iso8601(span.End) + "," +
               number(span.Use.InOctets) + "," + number(span.Use.OutOctets) + "," +
               std::to_string(span.Use.Sampled) + "," + std::to_string(span.Use.Missed) + "\r\n";
    };
    row("today", figures.Today);
    row("yesterday", figures.Yesterday);
    row("period", figures.Period);
    row("last_period", figures.LastPeriod);
    row("all_time", figures.AllTime);
    for (const UsageSpan& day : figures.Days) {
        row("days", day);
    }
    for (const UsageSpan& period : figures.Periods) {
        row("periods", period);
    }
    return out;
}

std::string UsageText(const UsageIdentity& who, const UsageFigures& figures) {
    std::string out = "Usage of " + interfaceText(who) + "\n";
    out += "Units: 1 kB = 1,000 octets, 1 MB = 10^6, 1 GB = 10^9.\n\n";
    char header[160];
    std::snprintf(header, sizeof header, "%-28s %11s %11s %11s %10s %10s\n", "", "Download", "Upload",
                  "Total", "Sampled", "Missed");
    out += header;
    out += textRow("Today", figures.Today);
    out += textRow("Yesterday", figures.Yesterday);
    out += textRow("This period from " + dayText(figures.Period.Start), figures.Period);
    UsageSpan estimate = figures.Period;
    estimate.Use.InOctets = figures.PeriodEstimateDownload;
    estimate.Use.OutOctets = figures.PeriodEstimateUpload;
    out += textRow("  estimate to its end", estimate, false);
    out += textRow("Last period", figures.LastPeriod);
    out += textRow("All time", figures.AllTime);
    out += "\nLast 31 days\n";
    for (const UsageSpan& day : figures.Days) {
        out += textRow(dayText(day.Start), day);
    }
    out += "\nLast 12 periods\n";
    for (const UsageSpan& period : figures.Periods) {
        out += textRow(dayText(period.Start) + " to " + dayText(period.End), period);
    }
    return out;
}

UsageAnswer AnswerUsage(const std::string& path, const UsageIdentity& who, int32_t billingDay,
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
            figures = QueryFigures(store, row->Id, now, billingDay);
        }
        if (!row || figures.AllTime.Use.Sampled + figures.AllTime.Use.Missed == 0) {
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
