#include "core/Quota.h"

#include "settings/IniFile.h"

#include <algorithm>
#include <cctype>
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

std::optional<uint64_t> ParseQuotaSize(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    uint64_t unit = kOctetsPerGB;
    if (text.size() >= 2) {
        const char first = static_cast<char>(std::toupper(static_cast<unsigned char>(text[text.size() - 2])));
        const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
        if (last == 'B' && (first == 'G' || first == 'T')) {
            unit = first == 'T' ? 1000 * kOctetsPerGB : kOctetsPerGB;
            text.remove_suffix(2);
            while (!text.empty() && blank(text.back())) {
                text.remove_suffix(1);
            }
        }
    }
    constexpr uint64_t kMaxOctets = kMaxQuotaGB * kOctetsPerGB;
    uint64_t octets = 0;
    size_t digits = 0;
    size_t i = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i, ++digits) {
        octets = octets * 10 + static_cast<uint64_t>(text[i] - '0');
        if (octets > kMaxOctets / unit) {
            return std::nullopt;
        }
    }
    octets *= unit;
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        uint64_t place = unit;
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i, ++digits) {
            place /= 10;
            const auto digit = static_cast<uint64_t>(text[i] - '0');
            if (place == 0 && digit != 0) {
                return std::nullopt; // finer than an octet
            }
            octets += digit * place;
        }
    }
    if (i != text.size() || digits == 0 || octets > kMaxOctets) {
        return std::nullopt;
    }
    return octets;
}

std::string QuotaSizeSetting(uint64_t octets) {
    // The profile keeps the size as the report prints it: it reads back exactly.
    return GigabytesText(octets);
}

uint64_t QuotaSizeOfSetting(const std::string& stored) {
    if (const std::optional<uint64_t> octets = ParseQuotaSize(stored)) {
        return *octets;
    }
    // A hand-edited number past the largest is held at it, as the integer
    // settings are; a negative one or a word is none.
    const bool digitsOnly = !stored.empty() && std::all_of(stored.begin(), stored.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
    return digitsOnly ? kMaxQuotaGB * kOctetsPerGB : 0;
}

std::string QuotaSizeRefusal(const std::string& field, const std::string& text) {
    return "\"" + field + "\" cannot be \"" + text +
           "\". Type a number of GB, with a point or a comma for a fraction (150, 1.5, 1,5), or add "
           "TB (2 TB); at most 1000000 GB, and 0 for none.";
}

QuotaSettings QuotaOf(const MonitorState& state) {
    QuotaSettings quota;
    quota.Limit = QuotaSizeOfSetting(state.QuotaLimit);
    if (state.QuotaDirection >= 0 && state.QuotaDirection <= 2) {
        quota.Direction = static_cast<QuotaDirection>(state.QuotaDirection);
    }
    if (state.BillingDay >= 1 && state.BillingDay <= 28) {
        quota.BillingDay = state.BillingDay;
    }
    quota.UsedBefore = QuotaSizeOfSetting(state.QuotaUsedBefore);
    return quota;
}

std::optional<QuotaUse> PeriodQuotaUse(const UsageSummary& summary) {
    if (!summary.Unavailable.empty()) {
        return std::nullopt;
    }
    return summary.Quota;
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
    // The limit as the profile keeps it, in the user's digits: "1,000", "1.5".
    std::string limit = groupedInteger(use.Limit / kOctetsPerGB, locale);
    const std::string kept = QuotaSizeSetting(use.Limit);
    if (const size_t point = kept.find('.'); point != std::string::npos) {
        limit += locale.DecimalPoint + kept.substr(point + 1);
    }
    std::string text = lead + DecimalVolumeText(use.Used, locale) + " of " + limit + " GB " +
                       (use.Since != 0 ? "since " + Iso8601(use.Since).substr(0, 10) : "this period") + " (" +
                       std::to_string(use.Percent) + " %)";
    if (use.UsedBefore != 0) {
        text += ", " + DecimalVolumeText(use.UsedBefore, locale) + " of it before recording";
    }
    return text;
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

std::optional<QuotaCrossing> QuotaThresholdsCrossed(int32_t announced, const QuotaUse& use) {
    QuotaCrossing crossing;
    for (const int32_t threshold : kQuotaThresholds) {
        if (threshold > announced && use.Percent >= threshold) {
            crossing.Passed.push_back(threshold);
            crossing.Highest = threshold;
        }
    }
    if (crossing.Passed.empty()) {
        return std::nullopt;
    }
    return crossing;
}

QuotaAlert QuotaAlertFor(const QuotaCrossing& crossing, const QuotaUse& use, const std::string& session,
                         const NumberLocale& locale) {
    QuotaAlert alert;
    alert.Threshold = crossing.Highest;
    alert.Title = crossing.Highest >= 100 ? std::string("The monthly quota is used up")
                                          : std::to_string(crossing.Highest) + " % of the monthly quota used";
    alert.Body = (session.empty() ? std::string() : session + ": ") + QuotaText(use, locale);
    if (crossing.Passed.size() > 1) {
        // Use that leapt past several thresholds at once names each of them.
        std::string passed;
        for (size_t i = 0; i < crossing.Passed.size(); ++i) {
            passed += (i == 0                            ? ""
                       : i + 1 == crossing.Passed.size() ? " and "
                                                         : ", ") +
                      std::to_string(crossing.Passed[i]) + " %";
        }
        alert.Body += "\nPassed at once: " + passed + ".";
    }
    return alert;
}

QuotaAnnouncements::QuotaAnnouncements(std::string path) : m_path(std::move(path)) {}

QuotaAnnouncements::Record QuotaAnnouncements::recordFor(int64_t periodStart, const QuotaUse& use) {
    Record record;
    record.PeriodStart = periodStart;
    record.Limit = static_cast<int64_t>(use.Limit % kOctetsPerGB == 0 ? use.Limit / kOctetsPerGB : use.Limit);
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
    if (rest.empty() && numbers[1] >= 0 && fits(numbers[2]) && fits(numbers[3])) {
        *m_record = Record{numbers[0], numbers[1], static_cast<int32_t>(numbers[2]),
                           static_cast<int32_t>(numbers[3])};
    }
    return *m_record;
}

int32_t QuotaAnnouncements::Announced(int64_t periodStart, const QuotaUse& use) {
    const Record& kept = record();
    const Record wanted = recordFor(periodStart, use);
    const bool same = kept.PeriodStart == wanted.PeriodStart && kept.Limit == wanted.Limit &&
                      kept.Direction == wanted.Direction;
    return same ? kept.Threshold : 0;
}

std::optional<QuotaCrossing> QuotaAnnouncements::Due(int64_t periodStart, const QuotaUse& use) {
    const std::optional<QuotaCrossing> crossing = QuotaThresholdsCrossed(Announced(periodStart, use), use);
    if (!crossing) {
        return std::nullopt;
    }
    Record next = recordFor(periodStart, use);
    next.Threshold = crossing->Highest;
    m_record = next;
    try {
        TIniFile(m_path).WriteString(kSection, kIdent,
                                     std::to_string(next.PeriodStart) + " " + std::to_string(next.Limit) +
                                         " " + std::to_string(next.Direction) + " " +
                                         std::to_string(next.Threshold));
    } catch (const EIniFileException&) {
        // Kept for this run: the announcement is made all the same.
    }
    return crossing;
}

std::string QuotaAnnouncementsPath(const std::string& profilePath) {
    return std::filesystem::path(profilePath).replace_extension(".quota").string();
}

} // namespace veltrum
