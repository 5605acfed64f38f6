#include "snmp/V3Message.h"

#include "snmp/Ber.h"

#include <cstdint>
#include <cstring>

namespace veltrum::v3 {

namespace {

// A strict reader over one view: an item is taken only when its tag is the
// expected one and its contents lie wholly inside the view.
class TReader final {
public:
    explicit TReader(std::string_view data) : m_data(data) {}

    std::size_t Position() const { return m_pos; }
    bool AtEnd() const { return m_pos == m_data.size(); }

    // The next item's tag, or -1 at the end.
    int32_t PeekTag() const { return m_pos < m_data.size() ? static_cast<uint8_t>(m_data[m_pos]) : -1; }

    // X.690 8.1.3: definite lengths only, long form of at most four octets.
    bool Item(int32_t tag, std::string_view& contents) {
        if (PeekTag() != tag || m_data.size() - m_pos < 2) {
            return false;
        }
        std::size_t at = m_pos + 1;
        std::size_t length = static_cast<uint8_t>(m_data[at++]);
        if (length >= 0x80) {
            const std::size_t count = length & 0x7F;
            if (count == 0 || count > 4 || m_data.size() - at < count) {
                return false;
            }
            length = 0;
            for (std::size_t i = 0; i < count; ++i) {
                length = (length << 8) | static_cast<uint8_t>(m_data[at++]);
            }
        }
        if (m_data.size() - at < length) {
            return false;
        }
        contents = m_data.substr(at, length);
        m_pos = at + length;
        return true;
    }
    // The whole item, header included.
    bool WholeItem(std::string_view& item) {
        const std::size_t start = m_pos;
        std::string_view contents;
        const int32_t tag = PeekTag();
        if (tag < 0 || !Item(tag, contents)) {
            return false;
        }
        item = m_data.substr(start, m_pos - start);
        return true;
    }
    // An INTEGER within [low, high]; X.690 8.3.1 asks for at least one octet.
    bool Integer(int64_t low, int64_t high, int64_t& value) {
        std::string_view contents;
        if (!Item(kTagInteger, contents) || contents.empty() || contents.size() > 5) {
            return false;
        }
        value = static_cast<int8_t>(contents[0]);
        for (std::size_t i = 1; i < contents.size(); ++i) {
            value = value * 256 + static_cast<uint8_t>(contents[i]);
        }
        return value >= low && value <= high;
    }
    bool Octets(std::string& text, std::size_t most) {
        std::string_view contents;
        if (!Item(kTagOctetString, contents) || contents.size() > most) {
            return false;
        }
        text.assign(contents);
        return true;
    }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

constexpr int64_t kMaxInt = 2147483647; // RFC 3412, RFC 3414: (0..2147483647)

std::size_t lengthSize(std::size_t length) {
    std::size_t size = 1;
    if (length >= 0x80) {
        for (std::size_t rest = length; rest != 0; rest >>= 8) {
            ++size;
        }
    }
    return size;
}

std::size_t itemSize(std::size_t contents) {
    return 1 + lengthSize(contents) + contents;
}

// A non-negative INTEGER's contents length, minimal (X.690 8.3.2).
std::size_t uintSize(uint32_t value) {
    std::size_t size = 1;
    while (size < 5 && (value >> (8 * size - 1)) != 0) {
        ++size;
    }
    return size;
}

// Writes into storage sized beforehand: every size is known before the
// first octet goes out, so the octets go straight to their place.
struct TWriter {
    char* P;

    void Header(int32_t tag, std::size_t length) {
        *P++ = static_cast<char>(tag);
        if (length < 0x80) {
            *P++ = static_cast<char>(length);
            return;
        }
        const std::size_t count = lengthSize(length) - 1;
        *P++ = static_cast<char>(0x80 | count);
        for (std::size_t i = count; i-- > 0;) {
            *P++ = static_cast<char>(length >> (8 * i));
        }
    }
    void Uint(uint32_t value) {
        const std::size_t size = uintSize(value);
        Header(kTagInteger, size);
        for (std::size_t i = size; i-- > 0;) {
            *P++ = i >= 4 ? '\0' : static_cast<char>(value >> (8 * i));
        }
    }
    void Raw(std::string_view text) {
        if (!text.empty()) {
            std::memcpy(P, text.data(), text.size());
            P += text.size();
        }
    }
    void Octets(std::string_view text) {
        Header(kTagOctetString, text.size());
        Raw(text);
    }
};

} // namespace

std::optional<TV3Message> DecodeMessage(std::string_view datagram) {
    TReader outer(datagram);
    std::string_view message;
    if (!outer.Item(kTagSequence, message) || !outer.AtEnd()) {
        return std::nullopt;
    }
    const std::size_t messageAt = static_cast<std::size_t>(message.data() - datagram.data());
    TReader reader(message);
    TV3Message result;
    TV3Header& header = result.Header;
    int64_t number = 0;
    std::string_view global;
    std::string_view security;
    if (!reader.Integer(kVersion3, kVersion3, number) || !reader.Item(kTagSequence, global) ||
        !reader.Item(kTagOctetString, security)) {
        return std::nullopt;
    }
    const std::size_t securityAt = messageAt + static_cast<std::size_t>(security.data() - message.data());

    TReader globalReader(global);
    std::string flags;
    if (!globalReader.Integer(0, kMaxInt, number)) {
        return std::nullopt;
    }
    header.MsgId = static_cast<int32_t>(number);
    if (!globalReader.Integer(kMinMaxSize, kMaxInt, number)) {
        return std::nullopt;
    }
    header.MaxSize = static_cast<int32_t>(number);
    if (!globalReader.Octets(flags, 1) || flags.size() != 1 || !globalReader.Integer(1, kMaxInt, number) ||
        !globalReader.AtEnd()) {
        return std::nullopt;
    }
    header.Flags = static_cast<uint8_t>(flags[0]);
    header.SecurityModel = static_cast<int32_t>(number);
    // RFC 3412 7.2 step 5: privacy without authentication is invalid.
    if ((header.Flags & (kFlagAuth | kFlagPriv)) == kFlagPriv || header.SecurityModel != kUsmSecurityModel) {
        return std::nullopt;
    }

    TReader securityReader(security);
    std::string_view parameters;
    if (!securityReader.Item(kTagSequence, parameters) || !securityReader.AtEnd()) {
        return std::nullopt;
    }
    const std::size_t parametersAt =
        securityAt + static_cast<std::size_t>(parameters.data() - security.data());
    TReader usm(parameters);
    // RFC 3414 2.4: engine ID of 5 to 32 octets (empty in discovery), user
    // name of at most 32.
    if (!usm.Octets(header.EngineId, 32) || !usm.Integer(0, kMaxInt, number)) {
        return std::nullopt;
    }
    header.EngineBoots = static_cast<uint32_t>(number);
    if (!usm.Integer(0, kMaxInt, number)) {
        return std::nullopt;
    }
    header.EngineTime = static_cast<uint32_t>(number);
    std::string_view auth;
    if (!usm.Octets(header.UserName, 32) || !usm.Item(kTagOctetString, auth) || auth.size() > 64 ||
        !usm.Octets(header.PrivParams, 64) || !usm.AtEnd()) {
        return std::nullopt;
    }
    header.AuthParams.assign(auth);
    result.AuthAt = parametersAt + static_cast<std::size_t>(auth.data() - parameters.data());

    if ((header.Flags & kFlagPriv) != 0) {
        if (!reader.Item(kTagOctetString, result.Data)) {
            return std::nullopt;
        }
    } else if (!reader.WholeItem(result.Data) || result.Data.empty() ||
               static_cast<uint8_t>(result.Data[0]) != kTagSequence) {
        return std::nullopt;
    }
    if (!reader.AtEnd()) {
        return std::nullopt;
    }
    return result;
}

std::optional<TScopedPdu> DecodeScopedPdu(std::string_view data) {
    TReader outer(data);
    std::string_view scoped;
    if (!outer.Item(kTagSequence, scoped)) {
        return std::nullopt;
    }
    TReader reader(scoped);
    TScopedPdu result;
    if (!reader.Item(kTagOctetString, result.ContextEngineId) ||
        !reader.Item(kTagOctetString, result.ContextName) || !reader.WholeItem(result.Pdu) ||
        !reader.AtEnd()) {
        return std::nullopt;
    }
    return result;
}

void EncodeScopedPduTo(std::string& out, std::string_view contextEngineId, std::string_view contextName,
                       std::string_view pdu) {
    const std::size_t contents = itemSize(contextEngineId.size()) + itemSize(contextName.size()) + pdu.size();
    out.resize(itemSize(contents));
    TWriter w{out.data()};
    w.Header(kTagSequence, contents);
    w.Octets(contextEngineId);
    w.Octets(contextName);
    w.Raw(pdu);
}

std::string EncodeScopedPdu(std::string_view contextEngineId, std::string_view contextName,
                            std::string_view pdu) {
    std::string out;
    EncodeScopedPduTo(out, contextEngineId, contextName, pdu);
    return out;
}

void EncodeMessageTo(std::string& out, const TV3Header& header, std::string_view data, std::size_t* authAt) {
    const std::size_t global = itemSize(uintSize(static_cast<uint32_t>(header.MsgId))) +
                               itemSize(uintSize(static_cast<uint32_t>(header.MaxSize))) + itemSize(1) +
                               itemSize(uintSize(static_cast<uint32_t>(header.SecurityModel)));
    const std::size_t parameters = itemSize(header.EngineId.size()) + itemSize(uintSize(header.EngineBoots)) +
                                   itemSize(uintSize(header.EngineTime)) + itemSize(header.UserName.size()) +
                                   itemSize(header.AuthParams.size()) + itemSize(header.PrivParams.size());
    const bool encrypted = (header.Flags & kFlagPriv) != 0;
    const std::size_t dataSize = encrypted ? itemSize(data.size()) : data.size();
    const std::size_t contents = itemSize(1) + itemSize(global) + itemSize(itemSize(parameters)) + dataSize;

    out.resize(itemSize(contents));
    TWriter w{out.data()};
    w.Header(kTagSequence, contents);
    w.Uint(kVersion3);
    w.Header(kTagSequence, global);
    w.Uint(static_cast<uint32_t>(header.MsgId));
    w.Uint(static_cast<uint32_t>(header.MaxSize));
    w.Octets(std::string_view(reinterpret_cast<const char*>(&header.Flags), 1));
    w.Uint(static_cast<uint32_t>(header.SecurityModel));
    w.Header(kTagOctetString, itemSize(parameters));
    w.Header(kTagSequence, parameters);
    w.Octets(header.EngineId);
    w.Uint(header.EngineBoots);
    w.Uint(header.EngineTime);
    w.Octets(header.UserName);
    w.Header(kTagOctetString, header.AuthParams.size());
    if (authAt != nullptr) {
        *authAt = static_cast<std::size_t>(w.P - out.data());
    }
    w.Raw(header.AuthParams);
    w.Octets(header.PrivParams);
    if (encrypted) {
        w.Octets(data);
    } else {
        w.Raw(data);
    }
}

std::string EncodeMessage(const TV3Header& header, std::string_view data, std::size_t* authAt) {
    std::string out;
    EncodeMessageTo(out, header, data, authAt);
    return out;
}

std::optional<TPduSummary> SummarisePdu(std::string_view pdu) {
    TReader outer(pdu);
    TPduSummary summary;
    summary.Tag = outer.PeekTag();
    std::string_view contents;
    if (summary.Tag < 0 || !isConstructed(summary.Tag) || !outer.Item(summary.Tag, contents)) {
        return std::nullopt;
    }
    TReader reader(contents);
    int64_t number = 0;
    std::string_view list;
    if (!reader.Integer(INT32_MIN, INT32_MAX, number)) {
        return std::nullopt;
    }
    summary.RequestId = static_cast<int32_t>(number);
    if (!reader.Integer(INT32_MIN, INT32_MAX, number) || !reader.Integer(INT32_MIN, INT32_MAX, number) ||
        !reader.Item(kTagSequence, list)) {
        return std::nullopt;
    }
    TReader bindings(list);
    std::string_view binding;
    if (bindings.Item(kTagSequence, binding)) {
        TReader first(binding);
        std::string_view oid;
        if (first.Item(kTagOid, oid)) {
            summary.FirstOid = OidBytesToText(oid);
        }
    }
    return summary;
}

std::optional<std::string_view> PduOfCommunityMessage(std::string_view message) {
    TReader outer(message);
    std::string_view contents;
    if (!outer.Item(kTagSequence, contents)) {
        return std::nullopt;
    }
    TReader reader(contents);
    std::string_view skipped;
    std::string_view pdu;
    if (!reader.Item(kTagInteger, skipped) || !reader.Item(kTagOctetString, skipped) ||
        !reader.WholeItem(pdu)) {
        return std::nullopt;
    }
    return pdu;
}

void CommunityMessageTo(std::string& out, std::string_view pdu) {
    const std::size_t contents = 3 + 2 + pdu.size();
    out.resize(itemSize(contents));
    TWriter w{out.data()};
    w.Header(kTagSequence, contents);
    w.Raw(std::string_view("\x02\x01\x01\x04\x00", 5));
    w.Raw(pdu);
}

std::string CommunityMessageOf(std::string_view pdu) {
    std::string out;
    CommunityMessageTo(out, pdu);
    return out;
}

} // namespace veltrum::v3
