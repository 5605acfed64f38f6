#include "snmp/Ber.h"

#include "snmp/TextToInt.h"

#include <array>
#include <charconv>
#include <cstring>

namespace veltrum {

// Decimal digits written backwards, two at a time, ending at `end`; returns
// where they start. Every value text of a reply goes through here.
char* formatDecimal(char* end, uint32_t value) {
    while (value >= 100) {
        const uint32_t pair = (value % 100) * 2;
        value /= 100;
        *--end = kDecimalPairs[pair + 1];
        *--end = kDecimalPairs[pair];
    }
    if (value >= 10) {
        *--end = kDecimalPairs[value * 2 + 1];
        *--end = kDecimalPairs[value * 2];
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

char* formatDecimal(char* end, int32_t value) {
    // The magnitude as unsigned, so INT32_MIN needs no special case.
    const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    char* start = formatDecimal(end, magnitude);
    if (value < 0) {
        *--start = '-';
    }
    return start;
}

std::size_t counter64TextPortable(char* out, uint64_t value) {
    return static_cast<std::size_t>(std::to_chars(out, out + 20, value).ptr - out);
}

namespace {

// NextArc on a view: the arc before the first "." (all of the text when there
// is none), converted with default 0; the view loses the arc and its ".".
int32_t takeArc(std::string_view& text) {
    const std::size_t dot = text.find('.');
    const std::string_view arc = text.substr(0, dot);
    text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    int32_t value = 0;
    return tryParseInt(arc, value) ? value : 0;
}

void appendDecimal(std::string& out, int32_t value) {
    std::array<char, 16> digits; // NOLINT(cppcoreguidelines-pro-type-member-init)
    out.append(digits.data(), decimalText(digits.data(), value));
}

void appendDecimal(std::string& out, uint64_t value) {
    std::array<char, 40> digits; // NOLINT(cppcoreguidelines-pro-type-member-init)
    out.append(digits.data(), counter64Text(digits.data(), value));
}

} // namespace

char* writeLength(char* p, std::size_t length) {
    if (length < 0x80) {
        *p++ = static_cast<char>(length);
        return p;
    }
    // X.690 8.1.3.5: 0x80 | count, then the length in the fewest octets.
    std::size_t count = 0;
    for (std::size_t rest = length; rest != 0; rest >>= 8) {
        ++count;
    }
    *p++ = static_cast<char>(0x80 | count);
    for (std::size_t i = count; i-- > 0;) {
        *p++ = static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    return p;
}

void appendLength(std::string& out, std::size_t length) {
    std::array<char, 1 + sizeof(std::size_t)> octets; // NOLINT(cppcoreguidelines-pro-type-member-init)
    out.append(octets.data(), writeLength(octets.data(), length));
}

// Rare for SNMP polls, so the move is fine: the long form's extra length
// octets go where the contents began.
void closeLongItem(char*& p, char* contents) {
    const auto length = static_cast<std::size_t>(p - contents);
    std::array<char, 1 + sizeof(std::size_t)> octets; // NOLINT(cppcoreguidelines-pro-type-member-init)
    const auto size = static_cast<std::size_t>(writeLength(octets.data(), length) - octets.data());
    std::memmove(contents + size - 1, contents, length);
    std::memcpy(contents - 1, octets.data(), size);
    p += size - 1;
}

std::string EncodeLength(std::size_t length) {
    std::string out;
    appendLength(out, length);
    return out;
}

std::optional<uint32_t> DecodeLength(std::string_view data, std::size_t& pos) {
    if (pos >= data.size()) {
        return std::nullopt;
    }
    const auto first = static_cast<uint8_t>(data[pos]);
    if (first < 0x80) {
        ++pos;
        return first;
    }
    const std::size_t count = first & 0x7F;
    // Bounds are checked on sizes, never on a sum that could wrap.
    if (count > 4 || count > data.size() - pos - 1) {
        return std::nullopt;
    }
    uint32_t length = 0;
    for (std::size_t i = 1; i <= count; ++i) {
        length = (length << 8) | static_cast<uint8_t>(data[pos + i]);
    }
    pos += 1 + count;
    return length;
}

char* writeSignedInt(char* p, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    if (value < 0) {
        // Always four octets for a negative value.
        for (int shift = 24; shift >= 0; shift -= 8) {
            *p++ = static_cast<char>((bits >> shift) & 0xFF);
        }
        return p;
    }
    int shift = 24;
    while (shift > 0 && ((bits >> shift) & 0xFF) == 0) {
        shift -= 8;
    }
    // X.690 8.3.2: a positive value whose first octet has bit 8 set needs a
    // leading 00 so that it does not read as negative.
    if (((bits >> shift) & 0x80) != 0) {
        *p++ = '\0';
    }
    for (; shift >= 0; shift -= 8) {
        *p++ = static_cast<char>((bits >> shift) & 0xFF);
    }
    return p;
}

char* writeUnsignedInt(char* p, uint32_t value) {
    int shift = 24;
    while (shift > 0 && ((value >> shift) & 0xFF) == 0) {
        shift -= 8;
    }
    for (; shift >= 0; shift -= 8) {
        *p++ = static_cast<char>((value >> shift) & 0xFF);
    }
    return p;
}

char* writeUnsigned64(char* p, uint64_t value) {
    int shift = 56;
    while (shift > 0 && ((value >> shift) & 0xFF) == 0) {
        shift -= 8;
    }
    if (((value >> shift) & 0x80) != 0) {
        *p++ = '\0'; // X.690 8.3.2: the value stays non-negative
    }
    for (; shift >= 0; shift -= 8) {
        *p++ = static_cast<char>((value >> shift) & 0xFF);
    }
    return p;
}

void appendSignedInt(std::string& out, int32_t value) {
    std::array<char, 5> octets; // NOLINT(cppcoreguidelines-pro-type-member-init)
    out.append(octets.data(), writeSignedInt(octets.data(), value));
}

std::string EncodeSignedInt(int32_t value) {
    std::string out;
    appendSignedInt(out, value);
    return out;
}

void appendUnsignedInt(std::string& out, uint32_t value) {
    std::array<char, 4> octets; // NOLINT(cppcoreguidelines-pro-type-member-init)
    out.append(octets.data(), writeUnsignedInt(octets.data(), value));
}

std::string EncodeUnsignedInt(uint32_t value) {
    std::string out;
    appendUnsignedInt(out, value);
    return out;
}

void appendUnsigned64(std::string& out, uint64_t value) {
    std::array<char, 9> octets; // NOLINT(cppcoreguidelines-pro-type-member-init)
    out.append(octets.data(), writeUnsigned64(octets.data(), value));
}

std::string EncodeUnsigned64(uint64_t value) {
    std::string out;
    appendUnsigned64(out, value);
    return out;
}

void appendSubId(std::string& out, uint32_t value) {
    int shift = 28;
    while (shift > 0 && (value >> shift) == 0) {
        shift -= 7;
    }
    for (; shift > 0; shift -= 7) {
        out.push_back(static_cast<char>(0x80 | ((value >> shift) & 0x7F)));
    }
    out.push_back(static_cast<char>(value & 0x7F));
}

std::string EncodeSubId(uint32_t value) {
    std::string out;
    appendSubId(out, value);
    return out;
}

uint32_t DecodeSubId(std::string_view data, std::size_t& pos) {
    uint32_t value = 0;
    while (pos < data.size()) {
        const auto octet = static_cast<uint8_t>(data[pos++]);
        value = (value << 7) | (octet & 0x7Fu);
        if ((octet & 0x80) == 0) {
            break;
        }
    }
    return value;
}

int32_t NextArc(std::string& text) {
    std::string_view view = text;
    const int32_t arc = takeArc(view);
    text.erase(0, text.size() - view.size());
    return arc;
}

void appendOidBytes(std::string& out, std::string_view text) {
    // X.690 8.19.4: the first two arcs share one sub-identifier.
    const auto first = static_cast<uint32_t>(takeArc(text));
    const auto second = static_cast<uint32_t>(takeArc(text));
    appendSubId(out, first * 40 + second);
    while (!text.empty()) {
        appendSubId(out, static_cast<uint32_t>(takeArc(text)));
    }
}

std::string OidTextToBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendOidBytes(out, text);
    return out;
}

void appendOidText(std::string& out, std::string_view contents) {
    if (contents.empty()) {
        return;
    }
    // Formatted in a stack buffer and appended in chunks: an OID text is
    // built once per binding of every reply.
    std::array<char, 256> buffer{};
    char* const begin = buffer.data();
    char* const limit = begin + buffer.size() - 12; // room for "." and ten digits
    char* p = begin;
    std::array<char, 10> digits{};
    char* const digitsEnd = digits.data() + digits.size();
    auto put = [&](uint32_t value) {
        const char* start = formatDecimal(digitsEnd, value);
        while (start != digitsEnd) {
            *p++ = *start++;
        }
    };
    std::size_t pos = 0;
    const uint32_t first = DecodeSubId(contents, pos);
    put(first / 40);
    *p++ = '.';
    put(first % 40);
    while (pos < contents.size()) {
        if (p > limit) {
            out.append(begin, p);
            p = begin;
        }
        *p++ = '.';
        put(DecodeSubId(contents, pos));
    }
    out.append(begin, p);
}

std::string OidBytesToText(std::string_view contents) {
    std::string out;
    out.reserve(contents.size() * 3);
    appendOidText(out, contents);
    return out;
}

void appendIpBytes(std::string& out, std::string_view text) {
    for (int part = 0; part < 3; ++part) {
        out.push_back(static_cast<char>(takeArc(text) & 0xFF));
    }
    // The fourth part is the whole rest, dots included: "1.2.3.4.5" ends in 0.
    int32_t last = 0;
    out.push_back(static_cast<char>((tryParseInt(text, last) ? last : 0) & 0xFF));
}

std::string IpTextToBytes(std::string_view text) {
    std::string out;
    out.reserve(4);
    appendIpBytes(out, text);
    return out;
}

std::string WrapItem(std::string_view contents, int32_t type) {
    std::string out;
    out.reserve(contents.size() + 6);
    out.push_back(static_cast<char>(type & 0xFF));
    appendLength(out, contents.size());
    out.append(contents);
    return out;
}

bool readItemContents(std::string_view data, std::size_t& pos, int32_t& type, std::string_view& contents) {
    type = kTagNull;
    if (pos >= data.size() || data.size() - pos < 2) {
        return false;
    }
    std::size_t cursor = pos + 1;
    const std::optional<uint32_t> length = DecodeLength(data, cursor);
    if (!length) {
        return false; // unreadable length: as if the item were not there
    }
    type = static_cast<uint8_t>(data[pos]);
    pos = cursor;
    // Compared with what is left, never added to the position: no wrap.
    if (*length > data.size() - pos) {
        return false;
    }
    contents = data.substr(pos, *length);
    return true;
}

void appendConstructedText(std::string& out, int32_t type) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto tag = static_cast<uint8_t>(type);
    const char header[3] = {'$', kHex[tag >> 4], kHex[tag & 0x0F]};
    out.append(header, 3);
}

void appendContentsText(std::string& out, int32_t type, std::string_view contents) {
    switch (static_cast<uint8_t>(type)) {
    case kTagInteger:
    case kTagCounter:
    case kTagGauge:
    case kTagTimeTicks:
        appendDecimal(out, numberOf(type, contents));
        break;
    case kTagOctetString:
    case kTagOpaque:
        out.append(contents);
        break;
    case kTagOid:
        appendOidText(out, contents);
        break;
    case kTagIpAddress:
        for (std::size_t i = 0; i < contents.size(); ++i) {
            if (i != 0) {
                out.push_back('.');
            }
            appendDecimal(out, static_cast<int32_t>(static_cast<uint8_t>(contents[i])));
        }
        break;
    case kTagCounter64:
        // Handed on as unsigned decimal text.
        appendDecimal(out, counter64Of(contents));
        break;
    default: // NULL and the exceptions carry no value: an empty text
        break;
    }
}

bool skipOtherItem(std::string_view data, std::size_t& pos, int32_t& type, std::string_view& contents) {
    if (!readItemContents(data, pos, type, contents)) {
        return false;
    }
    if (!isConstructed(type)) {
        pos += contents.size();
    }
    return true;
}

bool tryReadItem(std::string_view data, std::size_t& pos, int32_t& type, std::string& text) {
    text.clear();
    std::string_view contents;
    if (!readItemContents(data, pos, type, contents)) {
        return false;
    }
    if (isConstructed(type)) {
        appendConstructedText(text, type);
        return true;
    }
    pos += contents.size();
    appendContentsText(text, type, contents);
    return true;
}

std::string ReadItem(std::string_view data, std::size_t& pos, int32_t& type) {
    std::string text;
    tryReadItem(data, pos, type, text);
    return text;
}

} // namespace veltrum
