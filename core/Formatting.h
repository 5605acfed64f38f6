#pragma once
// Number, volume and elapsed-time texts. Stateless; the locale's separators
// are passed in so that tests can pin them.

#include <cstdint>
#include <string>

namespace veltrum {

struct NumberLocale {
    std::string DecimalPoint = ".";
    std::string GroupSeparator = ",";
};

// Fixed notation with `decimals` decimals and thousands grouping, at most 10
// significant digits ("1,234.5"). The value is read to 15 significant digits
// and then rounded half away from zero to the decimals shown, so 0.25 with one
// decimal shows "0.3". Digits past the tenth significant one show as zeros.
std::string FormatNumber(double value, int decimals, const NumberLocale& locale);

// A volume in units of 1012 octets: below 1,024,000 units as megabytes with one
// decimal ("1,000.0 MB"), otherwise gigabytes with two ("1.00 GB").
std::string VolumeText(uint32_t units, const NumberLocale& locale);

// A decimal count of hundredths of a second as "0d 1h 5m 9s"; empty stays empty,
// and so does a text that is not a decimal integer.
std::string ElapsedTimeText(const std::string& hundredths);

} // namespace veltrum
