#pragma once
// The two text-to-integer conversions used across the program.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace veltrum {

// "'%s' is not a valid integer value"
class EConvertError final : public std::invalid_argument {
public:
    explicit EConvertError(const std::string& text);
};

// Leading spaces skipped; then optional sign and decimal digits (signed 32-bit),
// or a hexadecimal number after "$", "x", "X", "0x" or "0X" that fits in 32 bits,
// taken as the bit pattern. Anything else (a trailing space included, an empty
// text, a decimal outside the signed 32-bit range) gives `def`.
int32_t StrToIntDef(const std::string& text, int32_t def);

// The same syntax read as a 64-bit number (decimal within the signed 64-bit
// range, hexadecimal up to 64 bits taken as the pattern); anything else gives `def`.
int64_t StrToInt64Def(const std::string& text, int64_t def);

// The same rules, but a text that is not an integer throws EConvertError.
int32_t StrToInt(const std::string& text);

// The shared parser behind both: true and `value` set when `text` is an
// integer by the rules above. Lets the BER code convert arcs in place.
bool tryParseInt(std::string_view text, int32_t& value);

// The same syntax read as an unsigned 64-bit number, the text form of a
// Counter64 (0 to 18446744073709551615): a "-" sign or a value beyond 64 bits
// is not one. The strict form throws EConvertError.
bool tryParseUnsigned64(std::string_view text, uint64_t& value);
uint64_t StrToUInt64(const std::string& text);

} // namespace veltrum
