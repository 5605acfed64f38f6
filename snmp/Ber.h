#pragma once
// BER primitives (ITU-T X.690) for the subset SNMPv1 needs (RFC 1157 with the
// types of RFC 1155): one-octet tags, definite lengths, INTEGER, OCTET STRING,
// NULL, OBJECT IDENTIFIER, constructed headers and the application types.
//
// Octet strings travel in std::string, one octet per char. Positions are
// 0-based offsets into the data (position p is the (p+1)-th octet), passed by
// reference and advanced by the readers. No reader ever looks at an octet at or
// beyond data.size(), whatever the data holds.
//
// Where these functions differ from X.690 on purpose it is said below; the
// peers of this program accept every such form.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veltrum {

// Type codes that carry meaning (the tag octet of an item).
inline constexpr int32_t kTagInteger = 0x02;
inline constexpr int32_t kTagOctetString = 0x04;
inline constexpr int32_t kTagNull = 0x05;
inline constexpr int32_t kTagOid = 0x06;
inline constexpr int32_t kTagSequence = 0x30;
inline constexpr int32_t kTagIpAddress = 0x40;
inline constexpr int32_t kTagCounter = 0x41;
inline constexpr int32_t kTagGauge = 0x42;
inline constexpr int32_t kTagTimeTicks = 0x43;
inline constexpr int32_t kTagOpaque = 0x44;
// SNMPv2c (RFC 3416 section 3): the 64-bit counter and the three exception
// values an agent puts in place of a value it does not have.
inline constexpr int32_t kTagCounter64 = 0x46;
inline constexpr int32_t kTagNoSuchObject = 0x80;
inline constexpr int32_t kTagNoSuchInstance = 0x81;
inline constexpr int32_t kTagEndOfMibView = 0x82;
inline constexpr int32_t kTagGetRequest = 0xA0;
inline constexpr int32_t kTagGetNextRequest = 0xA1;
inline constexpr int32_t kTagGetResponse = 0xA2;
inline constexpr int32_t kTagGetBulkRequest = 0xA5;

// The version field of a message: 0 SNMPv1 (RFC 1157), 1 SNMPv2c (RFC 1901).
inline constexpr int32_t kVersion1 = 0;
inline constexpr int32_t kVersion2c = 1;

// Whether a value's type code is one of the exceptions: the binding carries
// no value, which an empty OCTET STRING (a value) is not.
constexpr bool IsNoValue(int32_t type) {
    return type == kTagNoSuchObject || type == kTagNoSuchInstance || type == kTagEndOfMibView;
}

// Length octets: short form below 128, else X.690 8.1.3.5 long form with the
// fewest octets (300 gives 82 01 2C).
std::string EncodeLength(std::size_t length);

// Reads length octets at `pos`. Returns nothing and leaves `pos` alone when the
// length cannot be read: no octet at `pos`, long-form octets that run past the
// data, or more than four of them (no datagram needs a length beyond 32 bits,
// and refusing them keeps a huge length from wrapping into a small one). The
// indefinite form 0x80 reads as length 0. Otherwise `pos` moves past the
// length octets.
std::optional<uint32_t> DecodeLength(std::string_view data, std::size_t& pos);

// INTEGER contents. Non-negative values are minimal (128 gives 00 80);
// negative values always take all four two's complement octets (-1 gives
// FF FF FF FF), which is longer than X.690 8.3.2 asks but still valid BER.
std::string EncodeSignedInt(int32_t value);

// Counter/Gauge/TimeTicks contents: the unsigned value, minimal, and unlike
// X.690 without the 00 octet before a first octet with its top bit set
// (200 gives C8; 2^31 + 1 gives 80 00 00 01).
std::string EncodeUnsignedInt(uint32_t value);

// Counter64 contents: the unsigned value, minimal, with the 00 octet X.690
// 8.3.2 asks for before a first octet whose top bit is set (2^63 gives
// 00 80 00 00 00 00 00 00 00), as agents write it.
std::string EncodeUnsigned64(uint64_t value);

// One OID sub-identifier in base 128, most significant group first
// (X.690 8.19.2): 128 gives 81 00.
std::string EncodeSubId(uint32_t value);

// Reads one sub-identifier at `pos`; stops after an octet with bit 0x80 clear
// or at the end of the data. Values beyond 32 bits wrap (RFC 2578 caps
// sub-identifiers at 2^32 - 1, so nothing depends on them).
uint32_t DecodeSubId(std::string_view data, std::size_t& pos);

// Takes the first arc off a dotted text (with its "."), converted with
// StrToIntDef(…, 0): an empty or non-numeric arc counts as 0.
int32_t NextArc(std::string& text);

// Dotted OID text to contents: the first two arcs X.Y give X*40+Y
// (X.690 8.19.4), the rest one sub-identifier each. "1.3.6.1.2.1.1.5.0"
// gives 2B 06 01 02 01 01 05 00.
std::string OidTextToBytes(std::string_view text);

// Contents to dotted text; the first sub-identifier n gives n/40 and n%40
// whatever its size (1079 gives 26.39). Empty contents give an empty text.
std::string OidBytesToText(std::string_view contents);

// Four octets from a dotted IPv4 text; missing or bad parts give 0 and each
// part keeps its low eight bits (192.168.1.300 gives C0 A8 01 2C).
std::string IpTextToBytes(std::string_view text);

// Tag octet (low eight bits of `type`), EncodeLength, contents.
std::string WrapItem(std::string_view contents, int32_t type);

// Reads one item at `pos` and returns its value text:
//  - fewer than two octets left, or length octets that cannot be read: type 5,
//    empty text, `pos` unchanged;
//  - contents reaching past the data: type = tag, empty text, `pos` just after
//    the length octets;
//  - constructed tag (bit 0x20): "$" and the tag in two upper-case hex digits,
//    `pos` just after the length octets, so the next call reads the first item
//    inside;
//  - otherwise the contents are consumed and converted by the tag (INTEGER,
//    Counter/Gauge/TimeTicks as signed 32-bit decimal; Counter64 as unsigned
//    64-bit decimal; OCTET STRING and Opaque unchanged; OID and IpAddress
//    dotted; anything else, NULL and the exceptions included, empty).
std::string ReadItem(std::string_view data, std::size_t& pos, int32_t& type);

// The framing half of ReadItem: true when a complete item is at `pos`;
// `type` is its tag and `contents` its contents. `pos` ends just after the
// length octets (so a primitive item's contents are still to be skipped);
// on false, `pos` and `type` are as ReadItem leaves them.
bool readItemContents(std::string_view data, std::size_t& pos, int32_t& type, std::string_view& contents);

// ReadItem that also tells whether a complete item was read (false in the
// first two cases above). Repeated reads that must make progress use this.
bool tryReadItem(std::string_view data, std::size_t& pos, int32_t& type, std::string& text);

// The conversion half of ReadItem for a primitive item: appends the value
// text of `contents` read as tag `type` (the last case of ReadItem).
void appendContentsText(std::string& out, int32_t type, std::string_view contents);

// The "$" form ReadItem gives a constructed tag: "$30", "$A2".
void appendConstructedText(std::string& out, int32_t type);

// Whether a tag is constructed (X.690 8.1.2.5: bit 6 of the identifier).
constexpr bool isConstructed(int32_t type) {
    return (static_cast<uint8_t>(type) & 0x20) != 0;
}

// readItemContents with the short-form length (X.690 8.1.3.4), nearly every
// item of a poll, read in place; the other forms go to readItemContents.
inline bool frameItem(std::string_view data, std::size_t& pos, int32_t& type, std::string_view& contents) {
    if (pos < data.size() && data.size() - pos >= 2) {
        const auto length = static_cast<uint8_t>(data[pos + 1]);
        if (length < 0x80) {
            type = static_cast<uint8_t>(data[pos]);
            pos += 2;
            // Compared with what is left, never added to the position.
            if (length > data.size() - pos) {
                return false;
            }
            contents = std::string_view(data.data() + pos, length);
            return true;
        }
    }
    return readItemContents(data, pos, type, contents);
}

// skipItem for the length forms other than the short one, and for items cut
// before their length.
bool skipOtherItem(std::string_view data, std::size_t& pos, int32_t& type, std::string_view& contents);

// Moves past an item as tryReadItem does, also when it cannot be read: a
// constructed item's contents are entered, a primitive item's skipped, and an
// item whose contents run past the data leaves `pos` after its length. The
// short form is read in place; inlined into a loop, the caller's position,
// type and contents stay in registers while texts are written through char
// pointers (which may alias anything in memory), so the other forms go
// through copies.
[[gnu::always_inline]] inline bool skipItem(std::string_view data, std::size_t& pos, int32_t& type,
                                            std::string_view& contents) {
    if (pos < data.size() && data.size() - pos >= 2) {
        const auto length = static_cast<uint8_t>(data[pos + 1]);
        if (length < 0x80) {
            type = static_cast<uint8_t>(data[pos]);
            // Compared with what is left, never added to the position.
            if (length > data.size() - pos - 2) {
                pos += 2;
                return false;
            }
            contents = std::string_view(data.data() + pos + 2, length);
            pos += isConstructed(type) ? 2 : 2 + std::size_t{length};
            return true;
        }
    }
    std::size_t cursor = pos;
    int32_t framedType = kTagNull;
    std::string_view framed;
    const bool ok = skipOtherItem(data, cursor, framedType, framed);
    pos = cursor;
    type = framedType;
    contents = framed;
    return ok;
}

// Big-endian accumulation of contents octets onto `start`; only the last
// four octets survive, and with four or more nothing of `start` does.
[[gnu::always_inline]] inline uint32_t accumulateOctets(std::string_view contents, uint32_t start) {
    const std::size_t n = contents.size();
    if (n >= 4) {
        const auto* last = reinterpret_cast<const uint8_t*>(contents.data() + n - 4);
        return (static_cast<uint32_t>(last[0]) << 24) | (static_cast<uint32_t>(last[1]) << 16) |
               (static_cast<uint32_t>(last[2]) << 8) | last[3];
    }
    if (n == 0) {
        return start;
    }
    // One to three octets, read without a loop: the first, the middle and
    // the last (some of them the same octet), with the repeats shifted out.
    const auto* c = reinterpret_cast<const uint8_t*>(contents.data());
    const uint32_t three =
        (static_cast<uint32_t>(c[0]) << 16) | (static_cast<uint32_t>(c[n / 2]) << 8) | c[n - 1];
    return (start << (8 * n)) | (three >> (8 * (3 - n)));
}

// The number an INTEGER, Counter, Gauge or TimeTicks item reads as: an
// INTEGER is signed (X.690 8.3.3) and empty contents read as 0; the
// application types are unsigned on the wire but handed on as signed 32-bit
// values (the poll takes the absolute value of what it reads).
[[gnu::always_inline]] inline int32_t numberOf(int32_t type, std::string_view contents) {
    if (type == kTagInteger) {
        if (contents.empty()) {
            return 0;
        }
        return static_cast<int32_t>(
            accumulateOctets(contents, (static_cast<uint8_t>(contents[0]) & 0x80) != 0 ? 0xFFFFFFFFu : 0u));
    }
    return static_cast<int32_t>(accumulateOctets(contents, 0));
}

// A Counter64's value (RFC 2578 7.1.10): its contents accumulated unsigned;
// as with the 32-bit types, leading octets beyond eight (an X.690 00 octet,
// or a hostile length) drop out. Empty contents read as 0.
inline uint64_t counter64Of(std::string_view contents) {
    uint64_t value = 0;
    for (const char c : contents) {
        value = (value << 8) | static_cast<uint8_t>(c);
    }
    return value;
}

// The hundred two-digit pairs "00" to "99", one after the other: the
// number formatters write two digits at a time from it.
inline constexpr char kDecimalPairs[] = "00010203040506070809"
                                        "10111213141516171819"
                                        "20212223242526272829"
                                        "30313233343536373839"
                                        "40414243444546474849"
                                        "50515253545556575859"
                                        "60616263646566676869"
                                        "70717273747576777879"
                                        "80818283848586878889"
                                        "90919293949596979899";

// Decimal text of `value` written backwards so that it ends just before
// `end` (room for ten digits, eleven with the sign); returns its start.
char* formatDecimal(char* end, uint32_t value);
char* formatDecimal(char* end, int32_t value);
// counter64Text for machines that are not little-endian.
std::size_t counter64TextPortable(char* out, uint64_t value);

namespace ber_detail {

inline constexpr uint64_t kZeroCharacters = 0x3030303030303030ULL;

// The number of decimal digits of `value` (1 for 0), from its bit length and
// one comparison: known after a few steps, long before the digits are, so
// the length of a number's text and the places of its stores do not wait
// for the conversion. bit_width * 1233 >> 12 is floor(log10(2^bit_width)),
// the digit count or one less (checked at every power of two and of ten).
[[gnu::always_inline]] inline std::size_t decimalDigitCount(uint64_t value) {
    // 10^i at i, but 0 at 0, so that 0 counts one digit.
    static constexpr auto kPowers = [] {
        std::array<uint64_t, 20> powers{};
        uint64_t power = 1;
        for (std::size_t i = 1; i < powers.size(); ++i) {
            power *= 10;
            powers[i] = power;
        }
        return powers;
    }();
    const auto guess = static_cast<std::size_t>((std::bit_width(value) * 1233) >> 12);
    return guess + (value >= kPowers[guess] ? 1 : 0);
}

// The two characters of a number below 100, from the table, in the low two
// octets.
[[gnu::always_inline]] inline uint64_t digitPair(uint64_t below100) {
    uint16_t characters = 0;
    std::memcpy(&characters, kDecimalPairs + 2 * below100, 2);
    return characters;
}

// The eight decimal digits of `value` (below 10^8), leading zeros included,
// one digit (0 to 9, not yet a character) per octet in the order they are
// written. value * ceil(2^48 / 10^6) holds value / 10^6 above bit 48 and the
// rest as a 48-bit fraction, which each multiplication by 100 turns into the
// next pair; the rounding error stays below what the next pair could see for
// every value below 10^8 (checked for all of them). The pairs' characters
// come from a table.
[[gnu::always_inline]] inline uint64_t eightDigits(uint32_t value) {
    constexpr uint64_t kFraction = (uint64_t{1} << 48) - 1;
    uint64_t y = static_cast<uint64_t>(value) * 281474977;
    uint64_t word = digitPair(y >> 48);
    y = (y & kFraction) * 100;
    word |= digitPair(y >> 48) << 16;
    y = (y & kFraction) * 100;
    word |= digitPair(y >> 48) << 32;
    y = (y & kFraction) * 100;
    word |= digitPair(y >> 48) << 48;
    return word - kZeroCharacters;
}

// The digits of two numbers below 10^8 side by side, as eightDigits gives
// each: a Counter64's last sixteen digits. With SSE2 both go through one
// chain of vector steps (halves of four digits, pairs, digits, each step a
// multiplication and shift exact in its range: x * 0xD1B71759 >> 45 is
// x / 10^4 below 10^8, x * 5243 >> 19 is x / 100 below 10^4, x * 6554 >> 16 is
// x / 10 below 100; checked for every value), about a third of the
// instructions of two scalar conversions.
struct DigitWords {
    uint64_t High;
    uint64_t Low;
};
[[gnu::always_inline]] inline DigitWords sixteenDigits(uint32_t high, uint32_t low) {
#if defined(__SSE2__)
    const __m128i both = _mm_set_epi64x(low, high);
    const __m128i upper =
        _mm_srli_epi64(_mm_mul_epu32(both, _mm_set1_epi32(static_cast<int>(0xD1B71759u))), 45);
    const __m128i lower = _mm_sub_epi32(both, _mm_mul_epu32(upper, _mm_set1_epi32(10000)));
    const __m128i quads = _mm_or_si128(upper, _mm_slli_epi64(lower, 32));
    const __m128i hundreds = _mm_srli_epi16(_mm_mulhi_epu16(quads, _mm_set1_epi16(5243)), 3);
    const __m128i rest = _mm_sub_epi16(quads, _mm_mullo_epi16(hundreds, _mm_set1_epi16(100)));
    const __m128i pairs = _mm_or_si128(hundreds, _mm_slli_epi32(rest, 16));
    const __m128i tens = _mm_mulhi_epu16(pairs, _mm_set1_epi16(6554));
    const __m128i ones = _mm_sub_epi16(pairs, _mm_mullo_epi16(tens, _mm_set1_epi16(10)));
    const __m128i digits = _mm_or_si128(tens, _mm_slli_epi16(ones, 8));
    return DigitWords{static_cast<uint64_t>(_mm_cvtsi128_si64(digits)),
                      static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(digits, digits)))};
#else
    return DigitWords{eightDigits(high), eightDigits(low)};
#endif
}

// The four digits of `value` (below 10^4) in the low four octets, as
// eightDigits gives eight.
[[gnu::always_inline]] inline uint64_t fourDigits(uint32_t value) {
    const uint32_t hundreds = value / 100;
    return (digitPair(hundreds) | digitPair(value - hundreds * 100) << 16) - (kZeroCharacters >> 32);
}

// The `length` digits (9 to 20, its decimalDigitCount) of a Counter64 of at
// least 10^8, written at `p` in up to three pieces, the last sixteen
// converted together; nothing is written past p + length. The leading piece
// loses its leading zeros, the low-order octets, shifted out; the next piece
// overwrites what is past it. Little-endian only.
[[gnu::always_inline]] inline void counter64Digits(char* p, uint64_t value, std::size_t length) {
    constexpr uint64_t kEight = 100000000;
    const uint64_t high = value / kEight;
    const auto low = static_cast<uint32_t>(value - high * kEight);
    if (length <= 16) {
        const std::size_t zeros = 16 - length;
        const DigitWords words = sixteenDigits(static_cast<uint32_t>(high), low);
        const uint64_t head = (words.High + kZeroCharacters) >> (8 * zeros);
        const uint64_t tail = words.Low + kZeroCharacters;
        std::memcpy(p, &head, 8);
        std::memcpy(p + 8 - zeros, &tail, 8);
        return;
    }
    const std::size_t zeros = 20 - length;
    const uint64_t top = high / kEight; // at most 1844
    const DigitWords words = sixteenDigits(static_cast<uint32_t>(high - top * kEight), low);
    const uint64_t head = (fourDigits(static_cast<uint32_t>(top)) + (kZeroCharacters >> 32)) >> (8 * zeros);
    const uint64_t middle = words.High + kZeroCharacters;
    const uint64_t tail = words.Low + kZeroCharacters;
    std::memcpy(p, &head, 8);
    std::memcpy(p + 4 - zeros, &middle, 8);
    std::memcpy(p + 12 - zeros, &tail, 8);
}

} // namespace ber_detail

// The decimal text of `value` written forwards to `out`, which has room for
// 16 characters (a few past the text may be written); returns its length.
// Every number of a reply goes through here, eight digits at a time.
[[gnu::always_inline]] inline std::size_t decimalText(char* out, int32_t value) {
    using ber_detail::eightDigits;
    using ber_detail::kZeroCharacters;
    if constexpr (std::endian::native != std::endian::little) {
        char digits[12];
        char* const end = digits + sizeof digits;
        const char* first = formatDecimal(end, value);
        const auto length = static_cast<std::size_t>(end - first);
        std::memcpy(out, first, length);
        return length;
    }
    // The magnitude as unsigned, so INT32_MIN needs no special case.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    std::size_t length = 0;
    if (value < 0) {
        out[length++] = '-';
    }
    constexpr uint32_t kEightDigits = 100000000;
    if (magnitude >= kEightDigits) {
        const uint32_t high = magnitude / kEightDigits; // at most 42
        magnitude -= high * kEightDigits;
        if (high >= 10) {
            out[length++] = static_cast<char>('0' + high / 10);
        }
        out[length++] = static_cast<char>('0' + high % 10);
        const uint64_t low = eightDigits(magnitude) + kZeroCharacters;
        std::memcpy(out + length, &low, 8);
        return length + 8;
    }
    // The leading zeros are the low-order octets that are 0: their count
    // gives the length, and they are shifted out.
    const uint64_t digits = eightDigits(magnitude);
    const std::size_t zeros = digits == 0 ? 7 : static_cast<std::size_t>(std::countr_zero(digits)) / 8;
    const uint64_t word = (digits + kZeroCharacters) >> (8 * zeros);
    std::memcpy(out + length, &word, 8);
    return length + 8 - zeros;
}

// A Counter64's unsigned decimal text (up to twenty digits), written to
// `out`, which has room for 40 characters; returns its length. A busy
// port's counter has fifteen digits or more: those go in pieces of eight
// and sixteen.
[[gnu::always_inline]] inline std::size_t counter64Text(char* out, uint64_t value) {
    if constexpr (std::endian::native != std::endian::little) {
        return counter64TextPortable(out, value);
    }
    if (value < 100000000) {
        return decimalText(out, static_cast<int32_t>(value));
    }
    const std::size_t length = ber_detail::decimalDigitCount(value);
    ber_detail::counter64Digits(out, value, length);
    return length;
}

// Pointer-writing forms of the encoders, for a buffer sized beforehand: each
// writes at `p` and returns the end of what it wrote. The room they take is
// at most 1 + sizeof(size_t) (length), 5 (signed), 4 (unsigned), 9
// (Counter64) octets. The octets are those of the std::string forms above.
char* writeLength(char* p, std::size_t length);
char* writeSignedInt(char* p, int32_t value);
char* writeUnsignedInt(char* p, uint32_t value);
char* writeUnsigned64(char* p, uint64_t value);

// An item written in place before its length is known: openItem writes the
// tag and a one-octet length placeholder and returns where the contents
// start; closeItem fixes the length once the contents end at `p`, moving them
// up for the long form (X.690 8.1.3.5), which needs room for up to
// sizeof(size_t) octets more past `p`.
inline char* openItem(char*& p, int32_t tag) {
    *p++ = static_cast<char>(tag & 0xFF);
    *p++ = '\0';
    return p;
}
void closeLongItem(char*& p, char* contents);
inline void closeItem(char*& p, char* contents) {
    const auto length = static_cast<std::size_t>(p - contents);
    if (length < 0x80) {
        contents[-1] = static_cast<char>(length);
        return;
    }
    closeLongItem(p, contents);
}

// Appending forms of the same encoders and converters, for texts.
void appendLength(std::string& out, std::size_t length);
void appendSignedInt(std::string& out, int32_t value);
void appendUnsignedInt(std::string& out, uint32_t value);
void appendUnsigned64(std::string& out, uint64_t value);
void appendSubId(std::string& out, uint32_t value);
void appendOidBytes(std::string& out, std::string_view text);
void appendIpBytes(std::string& out, std::string_view text);
void appendOidText(std::string& out, std::string_view contents);

} // namespace veltrum
