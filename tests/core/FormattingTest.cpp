#include "core/Formatting.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace veltrum {
namespace {

const NumberLocale kEnglish{".", ","};
const NumberLocale kGerman{",", "."};

struct NumberRow {
    double Value;
    int Decimals;
    const char* Expected;
};

TEST(FormatNumber, EnglishTable) {
    const NumberRow rows[] = {
        {0.0, 1, "0.0"},
        {0.0, 0, "0"},
        {9.765625, 1, "9.8"},   // 1000 rate units in megabits
        {0.09765625, 1, "0.1"}, // 10 rate units
        {1500.0, 1, "1,500.0"},
        {1234567.0, 0, "1,234,567"},
        {2147483647.0, 0, "2,147,483,647"},
        {-2147483648.0, 0, "-2,147,483,648"},
        {999.999, 1, "1,000.0"}, // rounding carries into a new group
        {4194.303999, 2, "4,194.30"},
        {20971520.0, 1, "20,971,520.0"}, // nine digits and one decimal: still exact
        {123.0, 2, "123.00"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FormatNumber(row.Value, row.Decimals, kEnglish), row.Expected)
            << row.Value << " with " << row.Decimals;
    }
}

TEST(FormatNumber, RoundsHalfAwayFromZero) {
    EXPECT_EQ(FormatNumber(0.25, 1, kEnglish), "0.3");
    EXPECT_EQ(FormatNumber(0.35, 1, kEnglish), "0.4");
    EXPECT_EQ(FormatNumber(-0.25, 1, kEnglish), "-0.3");
    EXPECT_EQ(FormatNumber(2.5, 0, kEnglish), "3");
    // 1029120 / 1024000 is stored as 1.00499999999999989...; it means 1.005.
    EXPECT_EQ(FormatNumber(1029120.0 / 1024000.0, 2, kEnglish), "1.01");
    EXPECT_EQ(FormatNumber(128 / 102.4, 1, kEnglish), "1.3");
    EXPECT_EQ(FormatNumber(0.04, 1, kEnglish), "0.0");
    EXPECT_EQ(FormatNumber(0.05, 1, kEnglish), "0.1");
}

TEST(FormatNumber, SmallNegativeShowsNoSign) {
    EXPECT_EQ(FormatNumber(-0.04, 1, kEnglish), "0.0");
    EXPECT_EQ(FormatNumber(-0.0, 0, kEnglish), "0");
}

TEST(FormatNumber, AtMostTenSignificantDigits) {
    EXPECT_EQ(FormatNumber(1234567890.55, 1, kEnglish), "1,234,567,891.0");
    EXPECT_EQ(FormatNumber(123456789.25, 2, kEnglish), "123,456,789.30");
    EXPECT_EQ(FormatNumber(12345678901.0, 0, kEnglish), "12,345,678,900");
    EXPECT_EQ(FormatNumber(4294967295.0, 0, kEnglish), "4,294,967,295");
}

TEST(FormatNumber, LocaleSeparators) {
    EXPECT_EQ(FormatNumber(1234567.25, 1, kGerman), "1.234.567,3");
    EXPECT_EQ(FormatNumber(1536.0, 1, NumberLocale{",", "\xC2\xA0"}), "1\xC2\xA0"
                                                                      "536,0");
    EXPECT_EQ(FormatNumber(1536.0, 1, NumberLocale{".", ""}), "1536.0");
}

TEST(FormatNumber, NotANumber) {
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::quiet_NaN(), 1, kEnglish), "NAN");
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity(), 1, kEnglish), "INF");
    EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::infinity(), 1, kEnglish), "-INF");
}

TEST(VolumeText, MegabytesBelowOneMillionTwentyFourThousand) {
    EXPECT_EQ(VolumeText(0, kEnglish), "0.0 MB");
    EXPECT_EQ(VolumeText(1250, kEnglish), "1.2 MB"); // 1.220703125
    EXPECT_EQ(VolumeText(1023999, kEnglish), "1,000.0 MB");
    EXPECT_EQ(VolumeText(1024000, kEnglish), "1.00 GB");
    EXPECT_EQ(VolumeText(1029120, kEnglish), "1.01 GB");
    EXPECT_EQ(VolumeText(UINT32_MAX, kEnglish), "4,194.30 GB");
    EXPECT_EQ(VolumeText(1023999, kGerman), "1.000,0 MB");
}

TEST(ElapsedTimeText, Table) {
    EXPECT_EQ(ElapsedTimeText("372400"), "0d 1h 2m 4s"); // 3725 polls
    EXPECT_EQ(ElapsedTimeText("0"), "0d 0h 0m 0s");
    EXPECT_EQ(ElapsedTimeText("99"), "0d 0h 0m 0s");
    EXPECT_EQ(ElapsedTimeText("8640000"), "1d 0h 0m 0s");
    EXPECT_EQ(ElapsedTimeText("8639999"), "0d 23h 59m 59s");
    EXPECT_EQ(ElapsedTimeText("214748364700"), "24855d 3h 14m 7s");
    EXPECT_EQ(ElapsedTimeText("-372400"), "0d -1h -2m -4s");
}

TEST(ElapsedTimeText, EmptyOrBadGivesEmpty) {
    EXPECT_EQ(ElapsedTimeText(""), "");
    EXPECT_EQ(ElapsedTimeText("12a"), "");
    EXPECT_EQ(ElapsedTimeText(" 12"), "");
}

} // namespace
} // namespace veltrum
