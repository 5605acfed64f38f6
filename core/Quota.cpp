#include "core/Quota.h"

#include "settings/IniFile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

namespace veltrum {

namespace {

std::string groupedInteger(uint64_t value, const NumberLocale& locale) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += locale.GroupSeparator;
        }
        out += digits[i];
    }
    return out;
}

// The whole record on one line, so that a write (an atomic replace of the
// file) never leaves a new period beside an old threshold.
constexpr const char* kSection = "Announced";
constexpr const char* kIdent = "01";

bool readNumber(std::string_view& text, int64_t& value) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) {
        return false;
    }
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return true;
}

} // namespace

QuotaSettings QuotaOf(const MonitorState& state) {
    QuotaSettings quota;
    quota.LimitGB = std::max(state.QuotaLimitGB, 0);
    if (state.QuotaDirection >= 0 && state.QuotaDirection <= 2) {
        quota.Direction = static_cast<QuotaDirection>(state.QuotaDirection);
    }
    if (state.BillingDay >= 1 && state.BillingDay <= 28) {
        quota.BillingDay = state.BillingDay;
    }
    return quota;
}

std::optional<QuotaUse> QuotaUseOf(const QuotaSettings& quota, uint64_t download, uint64_t upload) {
    if (quota.LimitGB <= 0) {
        return std::nullopt;
    }
    QuotaUse use;
    use.Direction = quota.Direction;
    switch (quota.Direction) {
    case QuotaDirection::Download:
        use.Used = download;
        break;
    case QuotaDirection::Upload:
        use.Used = upload;
        break;
    case QuotaDirection::Both:
        use.Used = download > std::numeric_limits<uint64_t>::max() - upload
                       ? std::numeric_limits<uint64_t>::max()
                       : download + upload;
        break;
    }
    use.Limit = static_cast<uint64_t>(quota.LimitGB) * kOctetsPerGB;
    // A whole number of GB divides by 100 exactly: no product can overflow.
    const uint64_t percent = use.Used / (use.Limit / 100);
    use.Percent = static_cast<int32_t>(std::min<uint64_t>(percent, std::numeric_limits<int32_t>::max()));
    return use;
}

std::optional<QuotaUse> PeriodQuotaUse(const MonitorState& state, const UsageSummary& summary) {
    if (!summary.Unavailable.empty()) {
        return std::nullopt;
    }
    return QuotaUseOf(QuotaOf(state), summary.Period.Download, summary.Period.Upload);
}

std::string DecimalVolumeText(uint64_t octets, const NumberLocale& locale) {
    if (octets < 1000) {
        return std::to_string(octets) + " B";
    }
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    // In whole integers, rounded half up: the fewest decimals (two, one,
    // none) that keep three significant digits, and the next unit once the
    // value rounds to 1,000.
    const auto rounded = [octets](uint64_t step) {
        const uint64_t half = step / 2;
        return (octets > std::numeric_limits<uint64_t>::max() - half ? octets : octets + half) / step;
    };
    uint64_t unitOctets = 1000;
    for (size_t unit = 0; unit < std::size(kUnits); ++unit, unitOctets *= 1000) {
        const bool last = unit + 1 == std::size(kUnits);
        for (const int decimals : {2, 1, 0}) {
            const uint64_t step = unitOctets / (decimals == 2 ? 100 : (decimals == 1 ? 10 : 1));
            const uint64_t shown = rounded(step);
            if (shown >= 1000 && !(decimals == 0 && last)) {
                continue;
            }
            const uint64_t scale = decimals == 2 ? 100 : (decimals == 1 ? 10 : 1);
            std::string text = groupedInteger(shown / scale, locale);
            if (decimals > 0) {
                const std::string fraction = std::to_string(shown % scale + scale).substr(1);
                text += locale.DecimalPoint + fraction;
            }
            return text + " " + kUnits[unit];
        }
    }
    return {};
}

std::string QuotaText(const QuotaUse& use, const NumberLocale& locale) {
    const char* lead = use.Direction == QuotaDirection::Download ? "Download quota: "
                       : use.Direction == QuotaDirection::Upload ? "Upload quota: "
                                                                 : "Quota: ";
    return lead + DecimalVolumeText(use.Used, locale) + " of " +
           groupedInteger(use.Limit / kOctetsPerGB, locale) + " GB this period (" +
           std::to_string(use.Percent) + " %)";
}

int32_t QuotaThresholdReached(const QuotaUse& use) {
    int32_t reached = 0;
    for (const int32_t threshold : kQuotaThresholds) {
        if (use.Percent >= threshold) {
            reached = threshold;
        }
    }
    return reached;
}

QuotaAlert QuotaAlertFor(int32_t threshold, const QuotaUse& use, const std::string& session,
                         const NumberLocale& locale) {
    QuotaAlert alert;
    alert.Threshold = threshold;
    alert.Title = threshold >= 100 ? std::string("The monthly quota is used up")
                                   : std::to_string(threshold) + " % of the monthly quota used";
    alert.Body = (session.empty() ? std::string() : session + ": ") + QuotaText(use, locale);
    return alert;
}

QuotaAnnouncements::QuotaAnnouncements(std::string path) : m_path(std::move(path)) {}

QuotaAnnouncements::Record QuotaAnnouncements::recordFor(int64_t periodStart, const QuotaUse& use) {
    Record record;
    record.PeriodStart = periodStart;
    record.LimitGB = static_cast<int32_t>(use.Limit / kOctetsPerGB);
    record.Direction = static_cast<int32_t>(use.Direction);
    return record;
}

const QuotaAnnouncements::Record& QuotaAnnouncements::record() {
    if (m_record) {
        return *m_record;
    }
    m_record.emplace();
    const std::string text = TIniFile(m_path).ReadString(kSection, kIdent, "");
    std::string_view rest = text;
    std::array<int64_t, 4> numbers{};
    for (int64_t& number : numbers) {
        if (!readNumber(rest, number)) {
            return *m_record; // no record, or not one of ours
        }
    }
    const auto fits = [](int64_t n) { return n >= 0 && n <= std::numeric_limits<int32_t>::max(); };
    if (rest.empty() && fits(numbers[1]) && fits(numbers[2]) && fits(numbers[3])) {
        *m_record = Record{numbers[0], static_cast<int32_t>(numbers[1]), static_cast<int32_t>(numbers[2]),
                           static_cast<int32_t>(numbers[3])};
    }
    return *m_record;
}

int32_t QuotaAnnouncements::Announced(int64_t periodStart, const QuotaUse& use) {
    const Record& kept = record();
    const Record wanted = recordFor(periodStart, use);
    const bool same = kept.PeriodStart == wanted.PeriodStart && kept.LimitGB == wanted.LimitGB &&
                      kept.Direction == wanted.Direction;
    return same ? kept.Threshold : 0;
}

std::optional<int32_t> QuotaAnnouncements::Due(int64_t periodStart, const QuotaUse& use) {
    const int32_t reached = QuotaThresholdReached(use);
    if (reached == 0 || reached <= Announced(periodStart, use)) {
        return std::nullopt;
    }
    Record next = recordFor(periodStart, use);
    next.Threshold = reached;
    m_record = next;
    try {
        TIniFile(m_path).WriteString(kSection, kIdent,
                                     std::to_string(next.PeriodStart) + " " + std::to_string(next.LimitGB) +
                                         " " + std::to_string(next.Direction) + " " +
                                         std::to_string(next.Threshold));
    } catch (const EIniFileException&) {
        // Kept for this run: the announcement is made all the same.
    }
    return reached;
}

std::string QuotaAnnouncementsPath(const std::string& profilePath) {
    return std::filesystem::path(profilePath).replace_extension(".quota").string();
}

} // namespace veltrum
