#include "snmp/TextToInt.h"

#include <cstdint>
#include <string_view>

namespace veltrum {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

EConvertError::EConvertError(const std::string& text)
    : std::invalid_argument("'" + text + "' is not a valid integer value") {}

namespace {

struct ScannedInteger {
    bool negative = false;
    bool hex = false;
    uint64_t magnitude = 0;
};

// Leading spaces, then an optional sign and decimal digits, or a hexadecimal
// number after "$", "x", "X", "0x" or "0X". False for a text without digits,
// any other character (a trailing space included) or a magnitude above the
// limit of its base.
bool scanInteger(std::string_view text, uint64_t decimalLimit, uint64_t hexLimit, ScannedInteger& out) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        out.negative = text[i] == '-';
        ++i;
    }
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        out.hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        out.hex = true;
        i += 2;
    }
    if (i == text.size()) {
        return false; // no digits at all
    }
    const uint64_t base = out.hex ? 16 : 10;
    const uint64_t limit = out.hex ? hexLimit : decimalLimit;
    for (; i < text.size(); ++i) {
        const int d = out.hex ? hexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (d < 0 || out.magnitude > (limit - static_cast<uint64_t>(d)) / base) {
            return false;
        }
        out.magnitude = out.magnitude * base + static_cast<uint64_t>(d);
    }
    return true;
}

} // namespace

bool tryParseInt(std::string_view text, int32_t& value) {
    ScannedInteger scanned;
    if (!scanInteger(text, 0x80000000u, 0xFFFFFFFFu, scanned)) {
        return false;
    }
    if (scanned.hex) {
        // The value is the 32-bit pattern; a sign in front does not change it.
        value = static_cast<int32_t>(static_cast<uint32_t>(scanned.magnitude));
        return true;
    }
    if (!scanned.negative && scanned.magnitude > 0x7FFFFFFFu) {
        return false;
    }
    value = static_cast<int32_t>(scanned.negative ? -static_cast<int64_t>(scanned.magnitude)
                                                  : static_cast<int64_t>(scanned.magnitude));
    return true;
}

int32_t StrToIntDef(const std::string& text, int32_t def) {
    int32_t value = 0;
    return tryParseInt(text, value) ? value : def;
}

int32_t StrToInt(const std::string& text) {
    int32_t value = 0;
    if (!tryParseInt(text, value)) {
        throw EConvertError(text);
    }
    return value;
}

int64_t StrToInt64Def(const std::string& text, int64_t def) {
    constexpr uint64_t kInt64Magnitude = static_cast<uint64_t>(INT64_MAX) + 1;
    ScannedInteger scanned;
    if (!scanInteger(text, kInt64Magnitude, UINT64_MAX, scanned)) {
        return def;
    }
    if (scanned.hex) {
        return static_cast<int64_t>(scanned.magnitude); // the bit pattern; a sign is ignored
    }
    if (scanned.negative) {
        return scanned.magnitude == kInt64Magnitude ? INT64_MIN : -static_cast<int64_t>(scanned.magnitude);
    }
    return scanned.magnitude == kInt64Magnitude ? def : static_cast<int64_t>(scanned.magnitude);
}

bool tryParseUnsigned64(std::string_view text, uint64_t& value) {
    ScannedInteger scanned;
    if (!scanInteger(text, UINT64_MAX, UINT64_MAX, scanned) || scanned.negative) {
        return false;
    }
    value = scanned.magnitude;
    return true;
}

uint64_t StrToUInt64(const std::string& text) {
    uint64_t value = 0;
    if (!tryParseUnsigned64(text, value)) {
        throw EConvertError(text);
    }
    return value;
}

} // namespace veltrum
