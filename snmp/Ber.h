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

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// Appending forms used by the message encoder to avoid temporaries.
void appendLength(std::string& out, std::size_t length);
void appendSignedInt(std::string& out, int32_t value);
void appendUnsignedInt(std::string& out, uint32_t value);
void appendUnsigned64(std::string& out, uint64_t value);
void appendSubId(std::string& out, uint32_t value);
void appendOidBytes(std::string& out, std::string_view text);
void appendIpBytes(std::string& out, std::string_view text);
void appendOidText(std::string& out, std::string_view contents);

} // namespace veltrum
