// Edge cases of the BER primitives and the text-to-integer conversions that
// the data-file vectors do not express well (positions mid-buffer, reading
// at the very end, text mutation).
#include "snmp/Ber.h"
#include "snmp/TextToInt.h"

#include <gtest/gtest.h>

#include <string>

using namespace veltrum;
using namespace std::string_literals;

TEST(DecodeLength, ShortAndLongForm) {
    const std::string data = "\x05\x82\x01\x2C\x80"s;
    std::size_t pos = 0;
    EXPECT_EQ(DecodeLength(data, pos), 5u);
    EXPECT_EQ(pos, 1u);
    EXPECT_EQ(DecodeLength(data, pos), 300u);
    EXPECT_EQ(pos, 4u);
    // Indefinite form: count 0 reads as length 0.
    EXPECT_EQ(DecodeLength(data, pos), 0u);
    EXPECT_EQ(pos, 5u);
}

TEST(DecodeLength, AtEndOfData) {
    const std::string data = "\x01"s;
    std::size_t pos = 1;
    EXPECT_FALSE(DecodeLength(data, pos).has_value());
    EXPECT_EQ(pos, 1u);
    pos = 7; // beyond the data: still nothing read
    EXPECT_FALSE(DecodeLength(data, pos).has_value());
    EXPECT_EQ(pos, 7u);
}

TEST(DecodeLength, LongFormPastEnd) {
    // Each prefix of a two-octet long form is unreadable and leaves pos alone.
    const std::string full = "\x82\x01\x00"s;
    for (std::size_t n = 1; n < full.size(); ++n) {
        std::size_t pos = 0;
        EXPECT_FALSE(DecodeLength(std::string_view(full).substr(0, n), pos).has_value()) << n;
        EXPECT_EQ(pos, 0u);
    }
}

TEST(DecodeLength, MoreThanFourOctetsRefused) {
    // 2^32 + 5 would wrap to 5 in 32-bit arithmetic and pass a bounds check.
    const std::string data = "\x85\x01\x00\x00\x00\x05"s;
    std::size_t pos = 0;
    EXPECT_FALSE(DecodeLength(data, pos).has_value());
    EXPECT_EQ(pos, 0u);
    const std::string four = "\x84\xFF\xFF\xFF\xFF"s;
    EXPECT_EQ(DecodeLength(four, pos), 0xFFFFFFFFu);
    EXPECT_EQ(pos, 5u);
}

TEST(DecodeSubId, StopsAtEndOfData) {
    const std::string data = "\x81\x80"s; // continuation bit on the last octet
    std::size_t pos = 0;
    EXPECT_EQ(DecodeSubId(data, pos), 128u);
    EXPECT_EQ(pos, 2u);
    EXPECT_EQ(DecodeSubId(data, pos), 0u); // nothing left: nothing read
    EXPECT_EQ(pos, 2u);
}

TEST(DecodeSubId, ReadsFromMiddle) {
    const std::string data = "\x2B\x81\x00\x05"s;
    std::size_t pos = 1;
    EXPECT_EQ(DecodeSubId(data, pos), 128u);
    EXPECT_EQ(pos, 3u);
}

TEST(DecodeSubId, LongRunWrapsWithoutReadingPast) {
    const std::string data(100, '\xFF');
    std::size_t pos = 0;
    EXPECT_EQ(DecodeSubId(data, pos), 0xFFFFFFFFu);
    EXPECT_EQ(pos, data.size());
}

TEST(NextArc, TakesArcAndDot) {
    std::string text = "1.3.6";
    EXPECT_EQ(NextArc(text), 1);
    EXPECT_EQ(text, "3.6");
    EXPECT_EQ(NextArc(text), 3);
    EXPECT_EQ(NextArc(text), 6);
    EXPECT_EQ(text, "");
    EXPECT_EQ(NextArc(text), 0); // empty text: arc 0, stays empty
}

TEST(NextArc, BadArcCountsAsZero) {
    std::string text = "abc.7";
    EXPECT_EQ(NextArc(text), 0);
    EXPECT_EQ(text, "7");
    text = ".5";
    EXPECT_EQ(NextArc(text), 0);
    EXPECT_EQ(text, "5");
    text = "$1F.2";
    EXPECT_EQ(NextArc(text), 31);
}

TEST(WrapItem, ShortAndLongContents) {
    EXPECT_EQ(WrapItem("", 5), "\x05\x00"s);
    EXPECT_EQ(WrapItem("ab", 0x104), "\x04\x02"s + "ab"); // tag keeps its low eight bits
    const std::string big(300, 'x');
    EXPECT_EQ(WrapItem(big, 4), "\x04\x82\x01\x2C"s + big);
}

TEST(ReadItem, WalksASequenceAndStopsAtTheEnd) {
    const std::string data = "\x30\x06\x02\x01\x07\x04\x01\x41"s;
    std::size_t pos = 0;
    int32_t type = 0;
    EXPECT_EQ(ReadItem(data, pos, type), "$30");
    EXPECT_EQ(ReadItem(data, pos, type), "7");
    EXPECT_EQ(ReadItem(data, pos, type), "A");
    EXPECT_EQ(pos, data.size());
    EXPECT_EQ(ReadItem(data, pos, type), "");
    EXPECT_EQ(type, 5);
    EXPECT_EQ(pos, data.size());
}

TEST(ReadItem, OneOctetLeftMidBuffer) {
    const std::string data = "\x05\x00\x02"s;
    std::size_t pos = 2;
    int32_t type = 0;
    EXPECT_EQ(ReadItem(data, pos, type), "");
    EXPECT_EQ(type, 5);
    EXPECT_EQ(pos, 2u);
}

TEST(StrToIntDef, Decimal) {
    EXPECT_EQ(StrToIntDef("42", -1), 42);
    EXPECT_EQ(StrToIntDef("   -17", 0), -17);
    EXPECT_EQ(StrToIntDef("+5", 0), 5);
    EXPECT_EQ(StrToIntDef("2147483647", 0), 2147483647);
    EXPECT_EQ(StrToIntDef("-2147483648", 0), INT32_MIN);
    EXPECT_EQ(StrToIntDef("2147483648", 9), 9);
    EXPECT_EQ(StrToIntDef("-2147483649", 9), 9);
    EXPECT_EQ(StrToIntDef("99999999999999999999", 9), 9);
    EXPECT_EQ(StrToIntDef("000123", 0), 123);
}

TEST(StrToIntDef, Hexadecimal) {
    EXPECT_EQ(StrToIntDef("$FF", 0), 255);
    EXPECT_EQ(StrToIntDef("x1f", 0), 31);
    EXPECT_EQ(StrToIntDef("X10", 0), 16);
    EXPECT_EQ(StrToIntDef("0x10", 0), 16);
    EXPECT_EQ(StrToIntDef("0XaB", 0), 171);
    EXPECT_EQ(StrToIntDef("$FFFFFFFF", 0), -1); // the 32-bit pattern
    EXPECT_EQ(StrToIntDef("-$10", 0), 16);      // a sign is ignored there
    EXPECT_EQ(StrToIntDef("$100000000", 7), 7);
    EXPECT_EQ(StrToIntDef("$000000001", 7), 1);
    EXPECT_EQ(StrToIntDef("$", 7), 7);
    EXPECT_EQ(StrToIntDef("0x", 7), 7);
    EXPECT_EQ(StrToIntDef("$G", 7), 7);
}

TEST(StrToIntDef, Rejects) {
    EXPECT_EQ(StrToIntDef("", 3), 3);
    EXPECT_EQ(StrToIntDef("   ", 3), 3);
    EXPECT_EQ(StrToIntDef("12 ", 3), 3); // a trailing space is not allowed
    EXPECT_EQ(StrToIntDef("1.5", 3), 3);
    EXPECT_EQ(StrToIntDef("-", 3), 3);
    EXPECT_EQ(StrToIntDef("+-1", 3), 3);
    EXPECT_EQ(StrToIntDef("\t1", 3), 3);
}

TEST(StrToInt, ThrowsWithText) {
    EXPECT_EQ(StrToInt("-1"), -1);
    try {
        StrToInt("");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
    try {
        StrToInt("12a");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
}
