#include "snmp/SnmpInfo.h"

#include "snmp/Ber.h"
#include "snmp/Octets.h"
#include "snmp/TextToInt.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <string_view>
#include <utility>

namespace veltrum {

void octets::growText(std::string& text, std::string_view value) {
    text.assign(value);
}

namespace {

using octets::copyOctets;
using octets::sameOctets;
using octets::setText;

int32_t toIntDef0(std::string_view text) {
    int32_t value = 0;
    return tryParseInt(text, value) ? value : 0;
}

// Big-endian accumulation; only the last four octets survive, and with four
// or more nothing of `start` does.
[[gnu::always_inline]] inline uint32_t accumulate(std::string_view contents, uint32_t start) {
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

// The eight decimal digits of `value` (below 10^8), leading zeros included,
// one digit (0 to 9, not yet a character) per octet in the order they are
// written. value * ceil(2^48 / 10^6) holds value / 10^6 above bit 48 and the
// rest as a 48-bit fraction, which each multiplication by 100 turns into the
// next pair; the rounding error stays below what the next pair could see for
// every value below 10^8 (checked for all of them). The pairs' characters
// come from a table.
inline uint64_t eightDigits(uint32_t value) {
    auto pair = [](uint64_t below100) {
        uint16_t characters = 0;
        std::memcpy(&characters, kDecimalPairs + 2 * below100, 2);
        return static_cast<uint64_t>(characters);
    };
    constexpr uint64_t kFraction = (uint64_t{1} << 48) - 1;
    uint64_t y = static_cast<uint64_t>(value) * 281474977;
    uint64_t word = pair(y >> 48);
    y = (y & kFraction) * 100;
    word |= pair(y >> 48) << 16;
    y = (y & kFraction) * 100;
    word |= pair(y >> 48) << 32;
    y = (y & kFraction) * 100;
    word |= pair(y >> 48) << 48;
    return word - 0x3030303030303030ULL;
}

constexpr uint64_t kZeroCharacters = 0x3030303030303030ULL;

// A reused text made `length` characters long; what it holds is overwritten.
[[gnu::noinline]] void lengthenText(std::string& text, std::size_t length) {
    text.resize(length);
}

[[gnu::always_inline]] inline char* sizeText(std::string& text, std::size_t length) {
    if (length < text.size()) {
        text.erase(length);
    } else if (length > text.size()) {
        lengthenText(text, length);
    }
    return text.data();
}

// The decimal text of `value` written to `out`, which has room for 16
// characters (a few past the text may be written); returns its length.
[[gnu::always_inline]] inline std::size_t decimalText(char* out, int32_t value) {
    if constexpr (std::endian::native != std::endian::little) {
        std::array<char, 12> digits{};
        char* const end = digits.data() + digits.size();
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

// The number a reply's INTEGER, Counter, Gauge or TimeTicks item reads as:
// an INTEGER is signed (X.690 8.3.3) and empty contents read as 0; the
// application types are unsigned on the wire but handed on as signed 32-bit
// values. Only the last four octets survive.
[[gnu::always_inline]] inline int32_t numberOf(int32_t tag, std::string_view contents) {
    if (tag == kTagInteger) {
        if (contents.empty()) {
            return 0;
        }
        return static_cast<int32_t>(
            accumulate(contents, (static_cast<uint8_t>(contents[0]) & 0x80) != 0 ? 0xFFFFFFFFu : 0u));
    }
    return static_cast<int32_t>(accumulate(contents, 0));
}

// The decimal text of a reply's number, written into a reused text.
inline void setDecimal(std::string& text, int32_t value) {
    std::array<char, 16> digits; // NOLINT(cppcoreguidelines-pro-type-member-init)
    setText(text, std::string_view(digits.data(), decimalText(digits.data(), value)));
}

// A Counter64's value: its contents accumulated unsigned, of which only the
// last eight octets count.
inline uint64_t counter64Of(std::string_view contents) {
    uint64_t value = 0;
    for (const char c : contents) {
        value = (value << 8) | static_cast<uint8_t>(c);
    }
    return value;
}

// counter64Of for contents with at least eight octets of the datagram ahead
// of their end (in a usual reply the header alone is longer): one word read
// and the octets before the contents masked off.
[[gnu::always_inline]] inline uint64_t counter64InReply(std::string_view contents) {
    if constexpr (std::endian::native != std::endian::little) {
        return counter64Of(contents);
    }
    const std::size_t n = contents.size();
    if (n == 0) {
        return 0;
    }
    uint64_t word = 0;
    std::memcpy(&word, contents.data() + n - 8, 8);
    word = __builtin_bswap64(word);
    return n >= 8 ? word : word & (~uint64_t{0} >> (64 - 8 * n));
}

// A Counter64's unsigned decimal text (up to twenty digits), written to
// `out`, which has room for 40 characters; returns its length. Eight digits
// at a time, as decimalText writes them: a busy port's counter has fifteen
// or more.
inline std::size_t counter64Text(char* out, uint64_t value) {
    if constexpr (std::endian::native != std::endian::little) {
        return static_cast<std::size_t>(std::to_chars(out, out + 20, value).ptr - out);
    }
    constexpr uint64_t kEight = 100000000;
    if (value <= static_cast<uint64_t>(INT32_MAX)) {
        return decimalText(out, static_cast<int32_t>(value));
    }
    std::size_t length = 0;
    uint64_t rest = value;
    if (value >= kEight * kEight) {
        const uint64_t top = value / (kEight * kEight); // at most 1844
        rest = value - top * kEight * kEight;
        length = decimalText(out, static_cast<int32_t>(top));
        const uint64_t middle = eightDigits(static_cast<uint32_t>(rest / kEight)) + kZeroCharacters;
        std::memcpy(out + length, &middle, 8);
        length += 8;
    } else {
        length = decimalText(out, static_cast<int32_t>(rest / kEight));
    }
    const uint64_t low = eightDigits(static_cast<uint32_t>(rest % kEight)) + kZeroCharacters;
    std::memcpy(out + length, &low, 8);
    return length + 8;
}

inline void setCounter64(std::string& text, std::string_view contents) {
    std::array<char, 40> digits; // NOLINT(cppcoreguidelines-pro-type-member-init)
    setText(text, std::string_view(digits.data(), counter64Text(digits.data(), counter64Of(contents))));
}

bool isConstructed(int32_t tag) {
    return (static_cast<uint8_t>(tag) & 0x20) != 0;
}

// readItemContents with the short-form length (X.690 8.1.3.4), nearly every
// item of a poll, read in place; the other forms go to it.
inline bool frameItem(std::string_view data, std::size_t& pos, int32_t& tag, std::string_view& contents) {
    if (pos < data.size() && data.size() - pos >= 2) {
        const auto length = static_cast<uint8_t>(data[pos + 1]);
        if (length < 0x80) {
            tag = static_cast<uint8_t>(data[pos]);
            pos += 2;
            // Compared with what is left, never added to the position.
            if (length > data.size() - pos) {
                return false;
            }
            contents = std::string_view(data.data() + pos, length);
            return true;
        }
    }
    return readItemContents(data, pos, tag, contents);
}

// skipItem for the binding loop, where a failure ends the reading, so where
// it leaves the position then does not matter. The caller's position, tag and contents are
// locals whose address is never taken past this inlined function, so
// they stay in registers while texts are written through char pointers
// (which may alias anything in memory). The other length forms go through
// copies.
bool frameOtherForm(std::string_view data, std::size_t& pos, int32_t& tag, std::string_view& contents) {
    if (!readItemContents(data, pos, tag, contents)) {
        return false;
    }
    if (!isConstructed(tag)) {
        pos += contents.size();
    }
    return true;
}

[[gnu::always_inline]] inline bool frameNext(std::string_view data, std::size_t& pos, int32_t& tag,
                                             std::string_view& contents) {
    if (pos < data.size() && data.size() - pos >= 2) {
        const auto length = static_cast<uint8_t>(data[pos + 1]);
        if (length < 0x80) {
            tag = static_cast<uint8_t>(data[pos]);
            // Compared with what is left, never added to the position.
            if (length > data.size() - pos - 2) {
                return false;
            }
            contents = std::string_view(data.data() + pos + 2, length);
            pos += isConstructed(tag) ? 2 : 2 + std::size_t{length};
            return true;
        }
    }
    std::size_t cursor = pos;
    int32_t framedTag = kTagNull;
    std::string_view framed;
    const bool ok = frameOtherForm(data, cursor, framedTag, framed);
    pos = cursor;
    tag = framedTag;
    contents = framed;
    return ok;
}

// The encoder writes through a pointer into scratch sized for the worst case:
// a header is the tag, 0x80 | count and at most sizeof(size_t) length octets.
constexpr std::size_t kHeaderRoom = 2 + sizeof(std::size_t);
// Sub-identifiers take at most five octets, and a dotted text of n characters
// holds at most n + 1 of them (the first two arcs share one).
std::size_t oidBytesBound(std::size_t textSize) {
    return 5 * (textSize + 1);
}
// Scratch above this is let go after the build: one huge message must not
// leave its storage behind.
constexpr std::size_t kBuildKeep = 4096;

// Writes the tag and a one-octet length placeholder; returns where the
// contents start. closeItem fixes the length once the contents are in place,
// so a whole message is built in one buffer without temporaries.
inline char* openItem(char*& p, int32_t tag) {
    *p++ = static_cast<char>(tag & 0xFF);
    *p++ = '\0';
    return p;
}

// Long form (X.690 8.1.3.5) with the fewest octets: rare for SNMP polls, so
// the shift is fine. The scratch has room for it.
void closeLongItem(char*& p, char* contents) {
    const auto length = static_cast<std::size_t>(p - contents);
    std::size_t count = 0;
    for (std::size_t rest = length; rest != 0; rest >>= 8) {
        ++count;
    }
    std::memmove(contents + count, contents, length);
    contents[-1] = static_cast<char>(0x80 | count);
    for (std::size_t i = 0; i < count; ++i) {
        contents[i] = static_cast<char>((length >> (8 * (count - 1 - i))) & 0xFF);
    }
    p += count;
}

inline void closeItem(char*& p, char* contents) {
    const auto length = static_cast<std::size_t>(p - contents);
    if (length < 0x80) {
        contents[-1] = static_cast<char>(length);
        return;
    }
    closeLongItem(p, contents);
}

inline char* writeBytes(char* p, std::string_view bytes) {
    copyOctets(p, bytes.data(), bytes.size());
    return p + bytes.size();
}

// Header integers go out as exactly one contents octet, the field's low eight
// bits (02 01 xx): every value the program sends fits, and agents accept it.
inline char* writeHeaderInt(char* p, int32_t value) {
    p[0] = static_cast<char>(kTagInteger);
    p[1] = '\x01';
    p[2] = static_cast<char>(value & 0xFF);
    return p + 3;
}

// SNMPv2c messages write their header integers whole (X.690 8.3): a
// GetBulkRequest's max-repetitions of 200 must not go out as -56. SNMPv1
// messages keep the one-octet form their agents have always been sent.
char* writeSignedInt(char* p, int32_t value);
inline char* writeHeaderField(char* p, int32_t value, bool whole) {
    if (!whole) {
        return writeHeaderInt(p, value);
    }
    p[0] = static_cast<char>(kTagInteger);
    char* const end = writeSignedInt(p + 2, value);
    p[1] = static_cast<char>(end - p - 2);
    return end;
}

// Whether a header integer written whole is the one octet 02 01 xx.
inline bool isOneOctetField(int32_t value) {
    return value >= 0 && value < 0x80;
}

// appendSignedInt and appendUnsignedInt written through the pointer.
char* writeSignedInt(char* p, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    if (value < 0) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            *p++ = static_cast<char>((bits >> shift) & 0xFF);
        }
        return p;
    }
    int shift = 24;
    while (shift > 0 && ((bits >> shift) & 0xFF) == 0) {
        shift -= 8;
    }
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

// A Counter64 value: its text read as an unsigned 64-bit number, 0 when it is
// not one (as the other numbers take their default).
char* writeUnsigned64(char* p, std::string_view text) {
    uint64_t value = 0;
    if (!tryParseUnsigned64(text, value)) {
        value = 0;
    }
    std::string bytes;
    appendUnsigned64(bytes, value);
    return writeBytes(p, bytes);
}

// Room the contents of a binding's value may take, by the same cases as the
// encoder below.
std::size_t valueBound(int32_t type, std::size_t textSize) {
    switch (type) {
    case kTagInteger:
        return 5;
    case kTagNull:
        return 0;
    case kTagOid:
        return oidBytesBound(textSize);
    case kTagIpAddress:
    case kTagCounter:
    case kTagGauge:
    case kTagTimeTicks:
        return 4;
    case kTagCounter64:
        return 9;
    default:
        return textSize;
    }
}

// A header field: what toIntDef0 makes of the item's ReadItem text, without
// writing the text for the forms that carry a number. The position moves as
// tryReadItem moves it.
inline int32_t readHeaderInt(std::string_view data, std::size_t& pos, std::string& scratch) {
    // The one-octet INTEGER every agent sends for these fields.
    if (pos < data.size() && data.size() - pos >= 3 && data[pos] == kTagInteger && data[pos + 1] == 1) {
        pos += 3;
        return static_cast<int8_t>(data[pos - 1]);
    }
    int32_t tag = 0;
    std::string_view contents;
    if (!frameItem(data, pos, tag, contents)) {
        return 0; // the text would be empty
    }
    if (isConstructed(tag)) {
        return tag; // "$A2" reads as 162
    }
    pos += contents.size();
    switch (tag) {
    case kTagInteger:
    case kTagCounter:
    case kTagGauge:
    case kTagTimeTicks:
        return numberOf(tag, contents);
    default:
        scratch.clear();
        appendContentsText(scratch, tag, contents);
        return toIntDef0(scratch);
    }
}

// Moves past an item as tryReadItem does, also when it cannot be read: a
// constructed item's contents are entered, a primitive item's skipped, and an
// item whose contents run past the data leaves the position after its length.
inline bool skipItem(std::string_view data, std::size_t& pos, int32_t& tag, std::string_view& contents) {
    if (!frameItem(data, pos, tag, contents)) {
        return false;
    }
    if (!isConstructed(tag)) {
        pos += contents.size();
    }
    return true;
}

} // namespace

EListError::EListError(int index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

TSNMPInfo::TSNMPInfo(const TSnmpMessageOwner& owner)
    : Community(owner.OwnerCommunity()), PeerPort(owner.OwnerPort()), m_owner(owner),
      m_ownerCommunity(owner.OwnerCommunity()), m_ownerHost(owner.OwnerHost()) {}

void TSNMPInfo::copyOwnerText(std::string& text, const std::string& owner) {
    text = owner;
}

void TSNMPInfo::trimBindings() {
    m_largeTexts = false;
    OidTexts.clearKeeping(kSpareTexts,
                          [](const std::string& text) { return text.capacity() > kSpareCapacity; });
    ValueTexts.clearKeeping(kSpareTexts,
                            [](const Value& value) { return value.Text.capacity() > kSpareCapacity; });
}

// The encoding of the name of binding `index`, from the remembered one when
// the text is the same; null when the name is too long to remember (the
// caller converts it itself).
[[gnu::always_inline]] inline const std::string* TSNMPInfo::requestName(std::size_t index,
                                                                        std::string_view text) {
    if (index >= kRememberedNames || text.size() > kRememberedNameSize) {
        return nullptr;
    }
    TNameForms& forms = m_requestNames[index];
    if (!sameOctets(forms.Text, text) || forms.Bytes.empty()) {
        forms.Text.assign(text);
        forms.Bytes.clear();
        appendOidBytes(forms.Bytes, text);
    }
    return &forms.Bytes;
}

// `out` made the text of an OID name of binding `index`, from the remembered
// text when the encoding is the same.
[[gnu::always_inline]] inline void TSNMPInfo::setReplyName(std::string& out, std::size_t index,
                                                           std::string_view bytes) {
    if (index >= kRememberedNames || bytes.size() > kRememberedNameSize) {
        out.clear();
        appendOidText(out, bytes);
        return;
    }
    TNameForms& forms = m_replyNames[index];
    if (!sameOctets(forms.Bytes, bytes)) {
        forms.Bytes.assign(bytes);
        forms.Text.clear();
        appendOidText(forms.Text, bytes);
    }
    setText(out, forms.Text);
}

void TSNMPInfo::AssignCommunity(const std::string& community) {
    assignCommunity(community);
}

inline void TSNMPInfo::assignCommunity(std::string_view community) {
    if (!sameOctets(community, Community)) {
        replaceCommunity(community);
    }
}

void TSNMPInfo::replaceCommunity(std::string_view community) {
    ResetMessage();
    Community.assign(community);
}

// Both lists have the same length here and take one entry each.
[[gnu::always_inline]] inline void TSNMPInfo::addBinding(std::string_view oid, std::string_view value,
                                                         int32_t type) {
    if (oid.size() > kSpareCapacity || value.size() > kSpareCapacity) {
        m_largeTexts = true;
    }
    setText(OidTexts.appendSpare(), oid);
    Value& entry = ValueTexts.appendSpare();
    entry.Type = type;
    setText(entry.Text, value);
}

void TSNMPInfo::addOtherBinding(std::string_view oid, std::string_view value, int32_t type) {
    PadValueList();
    if (OidTexts.appendMoves() || ValueTexts.appendMoves()) {
        addMovingBinding(oid, value, type);
        return;
    }
    addBinding(oid, value, type);
}

// The views may point into a binding of this message, whose text moves when
// the lists grow: they are copied first.
void TSNMPInfo::addMovingBinding(std::string_view oid, std::string_view value, int32_t type) {
    const std::string oidCopy(oid);
    const std::string valueCopy(value);
    addBinding(oidCopy, valueCopy, type);
}

// The requests this program sends, and most others: every length in short
// form and values that go out as they are (octet strings) or as 05 00. Their
// sizes are known before anything is written, so the octets go straight to
// their place in one forward pass. Anything else is left to the general
// encoder (false), which gives the same octets for these.
[[gnu::hot]] bool TSNMPInfo::buildUsualMessage() {
    constexpr std::size_t kMostBindings = 16;
    constexpr std::size_t kShort = 0x80; // lengths below this take one octet
    const std::size_t count = OidTexts.size();
    if (count > kMostBindings || Community.size() >= kShort) {
        return false;
    }
    // Whole header integers of a later version are one octet only for 0..127.
    if (Version != kVersion1 && !(isOneOctetField(Version) && isOneOctetField(RequestId) &&
                                  isOneOctetField(ErrorStatus) && isOneOctetField(ErrorIndex))) {
        return false;
    }
    // The names' encodings, found (or made) before anything is written.
    struct TUsualItem {
        const char* Name;
        const char* Value;
        uint8_t NameLength;
        uint8_t ValueLength;
        uint8_t Tag;
    };
    std::array<TUsualItem, kMostBindings> items; // NOLINT(cppcoreguidelines-pro-type-member-init)
    const std::string* const oids = OidTexts.data();
    const Value* const values = ValueTexts.data();
    std::size_t listLength = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string* const remembered = requestName(i, oids[i]);
        if (remembered == nullptr) {
            return false; // a long name: the general encoder converts it
        }
        const std::string& name = *remembered;
        const Value& value = values[i];
        switch (value.Type) {
        case kTagInteger:
        case kTagOid:
        case kTagIpAddress:
        case kTagCounter:
        case kTagGauge:
        case kTagTimeTicks:
        case kTagCounter64:
            return false; // converted from text: the general encoder's work
        default:
            break;
        }
        const std::size_t valueLength = value.Type == kTagNull ? 0 : value.Text.size();
        const std::size_t bindingLength = 2 + name.size() + 2 + valueLength;
        if (bindingLength >= kShort) {
            return false;
        }
        items[i] = TUsualItem{name.data(), value.Text.data(), static_cast<uint8_t>(name.size()),
                              static_cast<uint8_t>(valueLength),
                              static_cast<uint8_t>(value.Type == 0 ? kTagOctetString : value.Type)};
        listLength += 2 + bindingLength;
    }
    const std::size_t pduLength = 9 + 2 + listLength;
    const std::size_t messageLength = 3 + 2 + Community.size() + 2 + pduLength;
    if (listLength >= kShort || pduLength >= kShort || messageLength >= kShort) {
        return false;
    }

    if (m_built.capacity() > kBuildKeep) {
        std::string().swap(m_built); // what a huge message left behind
    }
    char* p = sizeText(m_built, 2 + messageLength);
    auto header = [&p](int32_t tag, std::size_t length) {
        p[0] = static_cast<char>(tag & 0xFF);
        p[1] = static_cast<char>(length);
        p += 2;
    };
    header(kTagSequence, messageLength);
    p = writeHeaderInt(p, Version);
    header(kTagOctetString, Community.size());
    p = writeBytes(p, Community);
    header(PduTag, pduLength);
    p = writeHeaderInt(p, RequestId);
    p = writeHeaderInt(p, ErrorStatus);
    p = writeHeaderInt(p, ErrorIndex);
    header(kTagSequence, listLength);
    for (std::size_t i = 0; i < count; ++i) {
        const TUsualItem& item = items[i];
        header(kTagSequence, 4 + std::size_t{item.NameLength} + item.ValueLength);
        header(kTagOid, item.NameLength);
        copyOctets(p, item.Name, item.NameLength);
        p += item.NameLength;
        header(item.Tag, item.ValueLength);
        copyOctets(p, item.Value, item.ValueLength);
        p += item.ValueLength;
    }
    return true;
}

void TSNMPInfo::buildAnyMessage() {

    // Taken once: the octet writes below may alias anything, so the compiler
    // would otherwise reload the lists after each of them.
    const std::size_t count = OidTexts.size();
    const std::string* const oids = OidTexts.data();
    const Value* const values = ValueTexts.data();

    // Room for the worst case, so the writes below need no checks.
    std::size_t bound = 4 * kHeaderRoom + Community.size() + 4 * 3;
    for (std::size_t i = 0; i < count; ++i) {
        const Value& value = values[i];
        const int32_t type = value.Type == 0 ? kTagOctetString : value.Type;
        bound += 3 * kHeaderRoom + oidBytesBound(oids[i].size()) + valueBound(type, value.Text.size());
    }
    if (m_build.size() < bound) {
        m_build.resize(bound);
    }
    char* begin = m_build.data();
    char* p = begin;

    // RFC 1157 section 4: Message ::= SEQUENCE { version, community, data }.
    const bool whole = Version != kVersion1;
    char* message = openItem(p, kTagSequence);
    p = writeHeaderField(p, Version, whole);
    char* const community = openItem(p, kTagOctetString);
    p = writeBytes(p, Community);
    closeItem(p, community);

    char* pdu = openItem(p, PduTag);
    p = writeHeaderField(p, RequestId, whole);
    p = writeHeaderField(p, ErrorStatus, whole);
    p = writeHeaderField(p, ErrorIndex, whole);

    char* list = openItem(p, kTagSequence);
    std::string longName;
    for (std::size_t i = 0; i < count; ++i) {
        const Value& value = values[i];
        const int32_t type = value.Type == 0 ? kTagOctetString : value.Type;

        char* binding = openItem(p, kTagSequence);
        char* name = openItem(p, kTagOid);
        const std::string* const remembered = requestName(i, oids[i]);
        if (remembered == nullptr) {
            longName.clear();
            appendOidBytes(longName, oids[i]);
        }
        const std::string& nameBytes = remembered != nullptr ? *remembered : longName;
        p = writeBytes(p, nameBytes);
        closeItem(p, name);

        char* const item = openItem(p, type);
        switch (type) {
        case kTagInteger:
            p = writeSignedInt(p, toIntDef0(value.Text));
            break;
        case kTagNull:
            break; // 05 00 whatever the text holds
        case kTagOid: {
            std::string bytes;
            appendOidBytes(bytes, value.Text);
            p = writeBytes(p, bytes);
            break;
        }
        case kTagIpAddress: {
            std::string bytes;
            appendIpBytes(bytes, value.Text);
            p = writeBytes(p, bytes);
            break;
        }
        case kTagCounter:
        case kTagGauge:
        case kTagTimeTicks:
            p = writeUnsignedInt(p, static_cast<uint32_t>(toIntDef0(value.Text)));
            break;
        case kTagCounter64:
            p = writeUnsigned64(p, value.Text);
            break;
        default:
            p = writeBytes(p, value.Text);
            break;
        }
        closeItem(p, item);
        closeItem(p, binding);
    }
    closeItem(p, list);
    closeItem(p, pdu);
    closeItem(p, message);

    m_built.assign(begin, p);
    if (m_build.size() > kBuildKeep) {
        std::string().swap(m_build);
    }
    if (m_built.capacity() > kBuildKeep && m_built.size() <= kBuildKeep) {
        m_built.shrink_to_fit();
    }
}

namespace {

// Numbers, octet strings and NULL: the values a usual reply carries.
inline bool isUsualValueTag(uint8_t tag) {
    constexpr uint64_t kUniversal = (1ULL << kTagInteger) | (1ULL << kTagOctetString) | (1ULL << kTagNull);
    return tag < 64 ? ((kUniversal >> tag) & 1) != 0 : tag >= kTagCounter && tag <= kTagOpaque;
}

// And those SNMPv2c adds: Counter64 and the three exceptions. Asked only
// after the first test fails, so an SNMPv1 reply pays nothing for them.
inline bool isUsualV2cValueTag(uint8_t tag) {
    return tag == kTagCounter64 || IsNoValue(tag);
}

// A header integer as agents send it: 02 01 and one octet.
inline bool isShortInteger(const uint8_t* at) {
    return at[0] == kTagInteger && at[1] == 1;
}

} // namespace

// The replies of every agent this program has met: short-form lengths
// throughout, one-octet header integers, an OCTET STRING community, OID names
// and values that are numbers, octet strings or NULL. Such a datagram is
// checked whole before anything is written; then the fields and bindings come
// out exactly as the general reading below gives them, with fewer steps. Any
// other datagram is left to the general reading (false).
[[gnu::hot]] bool TSNMPInfo::parseUsualMessage(std::string_view data) {
    const auto* const octets = reinterpret_cast<const uint8_t*>(data.data());
    const std::size_t size = data.size();
    // 30 L, 02 01 v, 04 k, community, PDU tag and length, three integers,
    // the list's tag and length.
    if (size < 7 || octets[1] >= 0x80 || !isShortInteger(octets + 2) || octets[5] != kTagOctetString ||
        octets[6] >= 0x80) {
        return false;
    }
    const std::size_t outerLength = octets[1];
    const std::size_t communityLength = octets[6];
    std::size_t pos = 7 + communityLength;
    if (size - 7 < communityLength + 2 + 9 + 2) {
        return false;
    }
    const uint8_t* const pdu = octets + pos;
    // The three integers' 02 01 are looked at in one word.
    uint64_t integers = 0;
    std::memcpy(&integers, pdu + 2, 8);
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t kHeaders = 0x0102000102000102ULL; // 02 01 .. 02 01 .. 02 01 ..
        constexpr uint64_t kMask = 0xFFFF00FFFF00FFFFULL;
        if ((integers & kMask) != kHeaders) {
            return false;
        }
    } else if (!isShortInteger(pdu + 2) || !isShortInteger(pdu + 5) || !isShortInteger(pdu + 8)) {
        return false;
    }
    // The PDU's length is not used either, but one that reaches past the
    // datagram makes the general reading stop there.
    if (!isConstructed(pdu[0]) || pdu[1] >= 0x80 || pdu[1] > size - pos - 2 || !isConstructed(pdu[11]) ||
        pdu[12] >= 0x80) {
        return false;
    }
    pos += 13;

    Version = static_cast<int8_t>(octets[4]);
    assignCommunity(std::string_view(data.data() + 7, communityLength)); // may reset the message
    PduTag = pdu[0];
    RequestId = static_cast<int8_t>(pdu[4]);
    ErrorStatus = static_cast<int8_t>(pdu[7]);
    ErrorIndex = static_cast<int8_t>(pdu[10]);
    PadValueList();

    while (pos + 1 < outerLength) {
        // 30 L 06 n name t l value, with L = 4 + n + l (so every length is
        // short) and the value inside the datagram. The binding is entered
        // and read on, as the general reading does; the first binding of
        // another shape is left, with all after it, to the general reading.
        const uint8_t* const binding = octets + pos;
        if (size - pos < 6 || !isConstructed(binding[0]) || binding[2] != kTagOid) {
            break;
        }
        const std::size_t nameLength = binding[3];
        if (nameLength > size - pos - 6) {
            break;
        }
        const std::size_t valueAt = pos + 4 + nameLength;
        const uint8_t valueTag = octets[valueAt];
        const std::size_t valueLength = octets[valueAt + 1];
        if (binding[1] >= 0x80 || binding[1] != 4 + nameLength + valueLength ||
            valueLength > size - valueAt - 2 ||
            (!isUsualValueTag(valueTag) && !isUsualV2cValueTag(valueTag))) {
            break;
        }
        const std::string_view name(data.data() + pos + 4, nameLength);
        const std::string_view value(data.data() + valueAt + 2, valueLength);
        pos = valueAt + 2 + valueLength;

        // A number's text is made first: its conversion runs alongside the
        // name's lookup and copy.
        std::array<char, 40> number; // NOLINT(cppcoreguidelines-pro-type-member-init)
        std::size_t numberLength = 0;
        bool isNumber = valueTag == kTagInteger || (valueTag >= kTagCounter && valueTag <= kTagTimeTicks);
        if (isNumber) {
            numberLength = decimalText(number.data(), numberOf(valueTag, value));
        } else if (valueTag == kTagCounter64) {
            numberLength = counter64Text(number.data(), counter64InReply(value));
            isNumber = true;
        }
        std::string& oid = OidTexts.appendSpare();
        setReplyName(oid, OidTexts.size() - 1, name);
        if (oid.size() > kSpareCapacity) {
            m_largeTexts = true; // a long name from the reply
        }
        Value& entry = ValueTexts.appendSpare();
        entry.Type = valueTag;
        if (isNumber) {
            setText(entry.Text, std::string_view(number.data(), numberLength));
        } else if (valueTag == kTagOctetString || valueTag == kTagOpaque) { // below 128 octets here
            setText(entry.Text, value);
        } else { // NULL and the exceptions carry no value
            entry.Text.clear();
        }
    }
    if (pos + 1 < outerLength) {
        parseBindings(data, pos, outerLength);
    }
    return true;
}

void TSNMPInfo::parseAnyMessage(std::string_view data) {
    std::string text;
    int32_t tag = 0;
    std::string_view contents;

    // The message tag is skipped unexamined; an unreadable outer length
    // leaves the bound at 0, so no binding is read.
    std::size_t pos = 1;
    uint32_t outerLength = 0;
    if (data.size() >= 2 && static_cast<uint8_t>(data[1]) < 0x80) {
        outerLength = static_cast<uint8_t>(data[1]);
        pos = 2;
    } else {
        outerLength = DecodeLength(data, pos).value_or(0);
    }

    Version = readHeaderInt(data, pos, text);
    // A different community resets the message before it is stored. The
    // usual OCTET STRING is compared where it lies; anything else goes
    // through its text.
    std::size_t cursor = pos;
    if (frameItem(data, cursor, tag, contents) && (tag == kTagOctetString || tag == kTagOpaque)) {
        pos = cursor + contents.size();
        assignCommunity(contents);
    } else {
        tryReadItem(data, pos, tag, text);
        assignCommunity(text);
    }
    PduTag = readHeaderInt(data, pos, text); // "$A2" reads as 162
    RequestId = readHeaderInt(data, pos, text);
    ErrorStatus = readHeaderInt(data, pos, text);
    ErrorIndex = readHeaderInt(data, pos, text);
    skipItem(data, pos, tag, contents); // header of the binding list

    // The bound is the outer length itself (1-based position < L), which
    // stops after the last binding of any well-formed message. Every pass
    // must read three complete items; the first that cannot be read ends the
    // loop, so a truncated or hostile datagram can neither spin here nor add a
    // half-read binding. The bindings read until then stay. All three are
    // framed before any text is written.
    PadValueList();
    parseBindings(data, pos, outerLength);
}

void TSNMPInfo::parseBindings(std::string_view data, std::size_t at, std::size_t outerLength) {
    while (at + 1 < outerLength) {
        int32_t nameTag = kTagNull;
        int32_t valueTag = kTagNull;
        std::string_view name;
        std::string_view value;
        if (!frameNext(data, at, valueTag, value) || !frameNext(data, at, nameTag, name)) {
            break;
        }
        if (!frameNext(data, at, valueTag, value)) {
            break;
        }
        // The lists are kept paired, so appending to both is AddBinding.
        // Their spare entries mostly hold last poll's texts of the same
        // length, which are overwritten in place.
        std::string& oid = OidTexts.appendSpare();
        if (nameTag == kTagOid) {
            setReplyName(oid, OidTexts.size() - 1, name);
        } else {
            oid.clear();
            if (isConstructed(nameTag)) {
                appendConstructedText(oid, nameTag);
            } else {
                appendContentsText(oid, nameTag, name);
            }
        }
        Value& entry = ValueTexts.appendSpare();
        entry.Type = valueTag;
        // Numbers and octet strings, what polls read, are written in place.
        switch (valueTag) {
        case kTagInteger:
        case kTagCounter:
        case kTagGauge:
        case kTagTimeTicks:
            setDecimal(entry.Text, numberOf(valueTag, value));
            break;
        case kTagCounter64:
            setCounter64(entry.Text, value);
            break;
        case kTagOctetString:
        case kTagOpaque:
            setText(entry.Text, value);
            break;
        default:
            entry.Text.clear();
            if (isConstructed(valueTag)) {
                appendConstructedText(entry.Text, valueTag);
            } else {
                appendContentsText(entry.Text, valueTag, value);
            }
            break;
        }
        if (oid.size() > kSpareCapacity || entry.Text.size() > kSpareCapacity) {
            m_largeTexts = true;
        }
    }
}

const std::string& TSNMPInfo::ValueAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= ValueTexts.size()) {
        throw EListError(index);
    }
    return ValueTexts[static_cast<std::size_t>(index)].Text;
}

bool TSNMPInfo::IsNoValueAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= ValueTexts.size()) {
        throw EListError(index);
    }
    return IsNoValue(ValueTexts[static_cast<std::size_t>(index)].Type);
}

} // namespace veltrum
