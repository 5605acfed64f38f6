// The fast paths of the message: the requests this program sends and the
// replies agents send back, built and read in one pass with every size known
// beforehand. A poll builds one message and reads one every second, and the
// general encoder and reading (SnmpInfo.cpp) spend most of their time on
// forms these messages never have. Each path checks its message's shape
// first and leaves anything else, untouched, to the general code; for every
// message it takes it must give the same octets and fields as the general
// code. What keeps them equal: tests/snmp/MessageOracleTest.cpp builds and
// reads messages on every route (whole, cut, and with each header octet
// changed) and compares them with the literal reading of the message rules
// in tests/support/LiteralMessage.h, and the message fuzzer
// (fuzz/fuzz_parse_message.cpp) makes the same comparison for every input.

#include "snmp/Ber.h"
#include "snmp/Octets.h"
#include "snmp/SnmpInfo.h"
#include "snmp/SnmpInfoParts.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace veltrum {

namespace {

using message_parts::kBuildKeep;
using message_parts::sizeText;
using message_parts::writeBytes;
using message_parts::writeHeaderInt;
using octets::copyOctets;
using octets::setText;

// Whether a header integer written whole is the one octet 02 01 xx.
inline bool isOneOctetField(int32_t value) {
    return value >= 0 && value < 0x80;
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
    std::array<TUsualItem, kMostBindings> items;         // NOLINT(cppcoreguidelines-pro-type-member-init)
    const std::string* const oids = OidTexts.madeData(); // made by BuildMessage
    const Value* const values = ValueTexts.madeData();
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

        if (OidTexts.appendReplyName(name, kSpareCapacity)) {
            m_largeTexts = true; // a long name from the reply
        }
        // The numbers' texts are made when asked for.
        if (valueTag == kTagInteger || (valueTag >= kTagCounter && valueTag <= kTagTimeTicks)) {
            ValueTexts.appendNumber(valueTag, TForm::Signed32,
                                    static_cast<uint32_t>(numberOf(valueTag, value)));
        } else if (valueTag == kTagCounter64) {
            ValueTexts.appendNumber(valueTag, TForm::Unsigned64, counter64InReply(value));
        } else if (valueTag == kTagOctetString || valueTag == kTagOpaque) { // below 128 octets here
            setText(ValueTexts.appendText(valueTag).Text, value);
        } else { // NULL and the exceptions carry no value
            ValueTexts.appendText(valueTag).Text.clear();
        }
    }
    if (pos + 1 < outerLength) {
        parseBindings(data, pos, outerLength);
    }
    return true;
}

} // namespace veltrum
