#include "core/Formatting.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <system_error>

namespace veltrum {

namespace {

// A double carries 15 reliable decimal digits. Reading the value at that
// precision first makes a quotient such as 1029120 / 1024000, stored as
// 1.00499999999999989..., show as the 1.01 that it means instead of 1.00.
constexpr int kReliableDigits = 15;
constexpr int kMaxSignificantDigits = 10;

void appendGrouped(std::string& out, const char* digits, size_t count, const std::string& separator) {
    for (size_t i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0) {
            out += separator;
        }
        out += digits[i];
    }
}

} // namespace

std::string FormatNumber(double value, int decimals, const NumberLocale& locale) {
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    if (decimals < 0) {
        decimals = 0;
    }
    if (decimals > 18) {
        decimals = 18;
    }

    // "d.dddddddddddddde+XX": the leading digit and 14 more, correctly rounded.
    char sci[40];
    const auto sciEnd = std::to_chars(sci, sci + sizeof sci, std::fabs(value), std::chars_format::scientific,
                                      kReliableDigits - 1)
                            .ptr;
    char mantissa[kReliableDigits];
    mantissa[0] = sci[0];
    std::memcpy(mantissa + 1, sci + 2, kReliableDigits - 1);
    int exponent = 0;
    const char* expText = sci + kReliableDigits + 2; // past the 'e'
    if (*expText == '+') {
        ++expText;
    }
    std::from_chars(expText, sciEnd, exponent);

    // Digits before the decimal point in the reading; the value is 0.ddd x 10^pointPos.
    const int pointPos = value == 0.0 ? 1 : exponent + 1;
    int keep = pointPos + decimals;
    if (keep > kMaxSignificantDigits) {
        keep = kMaxSignificantDigits;
    }

    // Round half away from zero at the last digit kept.
    uint64_t kept = 0;
    for (int i = 0; i < keep; ++i) {
        kept = kept * 10 + static_cast<uint64_t>(mantissa[i] - '0');
    }
    if (keep >= 0 && mantissa[keep] >= '5') {
        ++kept;
    }
    if (keep < 0) {
        kept = 0;
    }

    // The shown value times 10^decimals: the kept digits followed by zeros.
    char digits[64];
    size_t count = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, kept).ptr - digits);
    if (kept != 0) {
        const int zeros = pointPos - keep + decimals;
        for (int i = 0; i < zeros && count < sizeof digits; ++i) {
            digits[count++] = '0';
        }
    }
    // At least one digit before the decimal point.
    const size_t minimum = static_cast<size_t>(decimals) + 1;
    if (count < minimum) {
        const size_t pad = minimum - count;
        std::memmove(digits + pad, digits, count);
        std::memset(digits, '0', pad);
        count = minimum;
    }

    std::string out;
    out.reserve(count + count / 3 * locale.GroupSeparator.size() + 2 + locale.DecimalPoint.size());
    if (std::signbit(value) && kept != 0) {
        out += '-';
    }
    const size_t integerDigits = count - static_cast<size_t>(decimals);
    appendGrouped(out, digits, integerDigits, locale.GroupSeparator);
    if (decimals > 0) {
        out += locale.DecimalPoint;
        out.append(digits + integerDigits, static_cast<size_t>(decimals));
    }
    return out;
}

std::string VolumeText(uint32_t units, const NumberLocale& locale) {
    // One unit is 1012 octets: 1024 units make the megabyte shown, 1,024,000 the gigabyte.
    if (units < 1024000u) {
        return FormatNumber(static_cast<double>(static_cast<long double>(units) / 1024.0L), 1, locale) +
               " MB";
    }
    return FormatNumber(static_cast<double>(static_cast<long double>(units) / 1024000.0L), 2, locale) + " GB";
}

std::string ElapsedTimeText(const std::string& hundredths) {
    if (hundredths.empty()) {
        return {};
    }
    const char* first = hundredths.data();
    const char* last = first + hundredths.size();
    if (*first == '+') {
        ++first;
    }
    int64_t count = 0;
    const auto [end, error] = std::from_chars(first, last, count);
    if (error != std::errc{} || end != last) {
        return {};
    }
    // Integer division truncates toward zero, as the conversion of each quotient does.
    const int64_t all = count / 100;
    const int64_t days = all / 86400;
    const int64_t hours = (all - days * 86400) / 3600;
    const int64_t minutes = (all - days * 86400 - hours * 3600) / 60;
    const int64_t seconds = all - days * 86400 - hours * 3600 - minutes * 60;

    std::string out;
    out.reserve(32);
    out += std::to_string(days);
    out += "d ";
    out += std::to_string(hours);
    out += "h ";
    out += std::to_string(minutes);
    out += "m ";
    out += std::to_string(seconds);
    out += 's';
    return out;
}

} // namespace veltrum
