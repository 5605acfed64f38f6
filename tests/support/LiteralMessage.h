#pragma once
// A literal reading of the message rules, one step at a time with the public
// BER primitives and no shortcuts: what BuildMessage and ParseMessage must
// give on every route they take. Used by the tests and the message fuzzer.

#include "snmp/Ber.h"
#include "snmp/SnmpInfo.h"
#include "snmp/TextToInt.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrum::test {

struct Binding {
    std::string Oid;
    std::string Text;
    int32_t Type = 0;
};

struct Message {
    int32_t Version = 0;
    std::string Community;
    int32_t PduTag = 0;
    int32_t RequestId = 0;
    int32_t ErrorStatus = 0;
    int32_t ErrorIndex = 0;
    std::vector<Binding> Bindings;
};

inline int32_t toInt(const std::string& text) {
    return StrToIntDef(text, 0);
}

// SNMPv1 header integers are one octet, the field's low eight bits; later
// versions write them whole.
inline std::string headerInt(int32_t value, bool whole) {
    if (whole) {
        return WrapItem(EncodeSignedInt(value), kTagInteger);
    }
    return std::string("\x02\x01", 2) + static_cast<char>(value & 0xFF);
}

inline std::string literalBuild(const Message& m) {
    std::string list;
    for (const Binding& b : m.Bindings) {
        const int32_t t = b.Type == 0 ? kTagOctetString : b.Type;
        std::string value;
        switch (t) {
        case kTagInteger:
            value = WrapItem(EncodeSignedInt(toInt(b.Text)), t);
            break;
        case kTagNull:
            value = std::string("\x05\x00", 2);
            break;
        case kTagOid:
            value = WrapItem(OidTextToBytes(b.Text), t);
            break;
        case kTagIpAddress:
            value = WrapItem(IpTextToBytes(b.Text), t);
            break;
        case kTagCounter:
        case kTagGauge:
        case kTagTimeTicks:
            value = WrapItem(EncodeUnsignedInt(static_cast<uint32_t>(toInt(b.Text))), t);
            break;
        case kTagCounter64: {
            uint64_t number = 0;
            if (!tryParseUnsigned64(b.Text, number)) {
                number = 0;
            }
            value = WrapItem(EncodeUnsigned64(number), t);
            break;
        }
        default:
            value = WrapItem(b.Text, t);
            break;
        }
        list += WrapItem(WrapItem(OidTextToBytes(b.Oid), kTagOid) + value, kTagSequence);
    }
    const bool whole = m.Version != kVersion1;
    const std::string pdu = headerInt(m.RequestId, whole) + headerInt(m.ErrorStatus, whole) +
                            headerInt(m.ErrorIndex, whole) + WrapItem(list, kTagSequence);
    return WrapItem(headerInt(m.Version, whole) + WrapItem(m.Community, kTagOctetString) +
                        WrapItem(pdu, m.PduTag),
                    kTagSequence);
}

// The reading steps, with the program's mend: a binding is added only when
// all three of its items can be read, and the first that cannot ends it.
inline void literalParse(TSNMPInfo& m, const std::string& data) {
    std::size_t pos = 1;
    const uint32_t outer = DecodeLength(data, pos).value_or(0);
    int32_t type = 0;
    m.Version = toInt(ReadItem(data, pos, type));
    m.AssignCommunity(ReadItem(data, pos, type));
    m.PduTag = toInt(ReadItem(data, pos, type));
    m.RequestId = toInt(ReadItem(data, pos, type));
    m.ErrorStatus = toInt(ReadItem(data, pos, type));
    m.ErrorIndex = toInt(ReadItem(data, pos, type));
    ReadItem(data, pos, type);
    while (pos + 1 < outer) {
        std::string header;
        std::string oid;
        std::string value;
        int32_t valueType = 0;
        if (!tryReadItem(data, pos, type, header) || !tryReadItem(data, pos, type, oid) ||
            !tryReadItem(data, pos, valueType, value)) {
            break;
        }
        m.AddBinding(oid, value, valueType);
    }
}

// Whether two messages hold the same fields and bindings.
inline bool sameMessage(const TSNMPInfo& a, const TSNMPInfo& b) {
    return a.Version == b.Version && a.Community == b.Community && a.PeerHost == b.PeerHost &&
           a.PeerPort == b.PeerPort && a.PduTag == b.PduTag && a.RequestId == b.RequestId &&
           a.ErrorStatus == b.ErrorStatus && a.ErrorIndex == b.ErrorIndex && a.OidTexts == b.OidTexts &&
           a.ValueTexts == b.ValueTexts;
}

} // namespace veltrum::test
