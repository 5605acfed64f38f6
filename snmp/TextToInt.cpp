#include "snmp/TextToInt.h"

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

bool tryParseInt(std::string_view text, int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size()) {
        return false; // no digits at all
    }
    if (hex) {
        // The value is the 32-bit pattern; a sign in front does not change it.
        uint64_t acc = 0;
        for (; i < text.size(); ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0) {
                return false;
            }
            acc = acc * 16 + static_cast<uint64_t>(d);
            if (acc > 0xFFFFFFFFu) {
                return false;
            }
        }
        value = static_cast<int32_t>(static_cast<uint32_t>(acc));
        return true;
    }
    // Magnitude limit: 2^31 for a negative value, 2^31 - 1 otherwise.
    const uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    uint64_t acc = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return false;
        }
        acc = acc * 10 + static_cast<uint64_t>(c - '0');
        if (acc > limit) {
            return false;
        }
    }
    value = negative ? static_cast<int32_t>(-static_cast<int64_t>(acc)) : static_cast<int32_t>(acc);
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

} // namespace veltrum
