#include "snmp/SnmpInfo.h"

#include "snmp/Ber.h"
#include "snmp/TextToInt.h"

#include <string_view>
#include <utility>

namespace veltrum {

namespace {

int32_t toIntDef0(std::string_view text) {
    int32_t value = 0;
    return tryParseInt(text, value) ? value : 0;
}

// Writes tag and a one-octet length placeholder; returns where the contents
// start. closeItem fixes the length once the contents are in place, so a whole
// message is built in one buffer without temporaries.
std::size_t openItem(std::string& out, int32_t tag) {
    out.push_back(static_cast<char>(tag & 0xFF));
    out.push_back('\0');
    return out.size();
}

void closeItem(std::string& out, std::size_t contentStart) {
    const std::size_t length = out.size() - contentStart;
    if (length < 0x80) {
        out[contentStart - 1] = static_cast<char>(length);
        return;
    }
    // Long form (X.690 8.1.3.5): rare for SNMP polls, so the shift is fine.
    std::string octets;
    appendLength(octets, length);
    out.replace(contentStart - 1, 1, octets);
}

// Header integers go out as exactly one contents octet, the field's low eight
// bits (02 01 xx): every value the program sends fits, and agents accept it.
void appendHeaderInt(std::string& out, int32_t value) {
    out.push_back(static_cast<char>(kTagInteger));
    out.push_back('\x01');
    out.push_back(static_cast<char>(value & 0xFF));
}

} // namespace

EListError::EListError(int index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

TSNMPInfo::TSNMPInfo(const TSnmpMessageOwner& owner)
    : Community(owner.OwnerCommunity()), PeerPort(owner.OwnerPort()), m_owner(owner) {}

void TSNMPInfo::ResetMessage() {
    Version = 0;
    Community = m_owner.OwnerCommunity();
    PeerPort = m_owner.IsTrapMessage(*this) ? m_owner.OwnerTrapPort() : m_owner.OwnerPort();
    PeerHost = m_owner.OwnerHost();
    PduTag = 0;
    RequestId = 0;
    ErrorStatus = 0;
    ErrorIndex = 0;
    retireBindings();
}

void TSNMPInfo::retireBindings() {
    // Only a few small texts are kept: a hostile reply with thousands of
    // bindings or huge values must not leave its storage behind.
    constexpr std::size_t kSpareTexts = 32;
    constexpr std::size_t kSpareCapacity = 256;
    auto keep = [this](std::string& text) {
        if (m_spare.size() < kSpareTexts && text.capacity() <= kSpareCapacity) {
            m_spare.push_back(std::move(text));
        }
    };
    for (std::string& oid : OidTexts) {
        keep(oid);
    }
    for (Value& value : ValueTexts) {
        keep(value.Text);
    }
    OidTexts.clear();
    ValueTexts.clear();
}

TSNMPInfo::OidForms& TSNMPInfo::nextOidSlot() {
    constexpr std::size_t kRemembered = 16;
    if (m_oids.size() < kRemembered) {
        return m_oids.emplace_back();
    }
    OidForms& slot = m_oids[m_nextOid];
    m_nextOid = (m_nextOid + 1) % kRemembered;
    return slot;
}

const TSNMPInfo::OidForms& TSNMPInfo::oidFromText(const std::string& text) {
    for (const OidForms& forms : m_oids) {
        if (forms.Text == text) {
            return forms;
        }
    }
    OidForms& slot = nextOidSlot();
    slot.Text = text;
    slot.Bytes.clear();
    appendOidBytes(slot.Bytes, text);
    return slot;
}

const TSNMPInfo::OidForms& TSNMPInfo::oidFromBytes(std::string_view bytes) {
    for (const OidForms& forms : m_oids) {
        if (forms.Bytes == bytes) {
            return forms;
        }
    }
    OidForms& slot = nextOidSlot();
    slot.Bytes.assign(bytes);
    slot.Text.clear();
    appendOidText(slot.Text, bytes);
    return slot;
}

std::string TSNMPInfo::takeSpare() {
    if (m_spare.empty()) {
        return {};
    }
    std::string text = std::move(m_spare.back());
    m_spare.pop_back();
    text.clear();
    return text;
}

void TSNMPInfo::AssignCommunity(const std::string& community) {
    if (community != Community) {
        ResetMessage();
        Community = community;
    }
}

void TSNMPInfo::PadValueList() {
    while (ValueTexts.size() < OidTexts.size()) {
        ValueTexts.push_back(Value{});
    }
}

void TSNMPInfo::AddBinding(const std::string& oid, const std::string& value, int32_t type) {
    PadValueList();
    std::string oidText = takeSpare();
    oidText.assign(oid);
    std::string valueText = takeSpare();
    valueText.assign(value);
    OidTexts.push_back(std::move(oidText));
    ValueTexts.push_back(Value{std::move(valueText), type});
}

std::string TSNMPInfo::BuildMessage() {
    PadValueList();

    std::size_t estimate = 32 + Community.size();
    for (std::size_t i = 0; i < OidTexts.size(); ++i) {
        estimate += 12 + OidTexts[i].size() + ValueTexts[i].Text.size();
    }
    std::string out;
    out.reserve(estimate);

    // RFC 1157 section 4: Message ::= SEQUENCE { version, community, data }.
    const std::size_t message = openItem(out, kTagSequence);
    appendHeaderInt(out, Version);
    const std::size_t community = openItem(out, kTagOctetString);
    out.append(Community);
    closeItem(out, community);

    const std::size_t pdu = openItem(out, PduTag);
    appendHeaderInt(out, RequestId);
    appendHeaderInt(out, ErrorStatus);
    appendHeaderInt(out, ErrorIndex);

    const std::size_t list = openItem(out, kTagSequence);
    for (std::size_t i = 0; i < OidTexts.size(); ++i) {
        const Value& value = ValueTexts[i];
        const int32_t type = value.Type == 0 ? kTagOctetString : value.Type;

        const std::size_t binding = openItem(out, kTagSequence);
        const std::size_t name = openItem(out, kTagOid);
        out.append(oidFromText(OidTexts[i]).Bytes);
        closeItem(out, name);

        const std::size_t item = openItem(out, type);
        switch (type) {
        case kTagInteger:
            appendSignedInt(out, toIntDef0(value.Text));
            break;
        case kTagNull:
            break; // 05 00 whatever the text holds
        case kTagOid:
            appendOidBytes(out, value.Text);
            break;
        case kTagIpAddress:
            appendIpBytes(out, value.Text);
            break;
        case kTagCounter:
        case kTagGauge:
        case kTagTimeTicks:
            appendUnsignedInt(out, static_cast<uint32_t>(toIntDef0(value.Text)));
            break;
        default:
            out.append(value.Text);
            break;
        }
        closeItem(out, item);
        closeItem(out, binding);
    }
    closeItem(out, list);
    closeItem(out, pdu);
    closeItem(out, message);
    return out;
}

void TSNMPInfo::ParseMessage(const std::string& octets) {
    const std::string_view data = octets;
    std::string text;
    int32_t type = 0;

    // The message tag is skipped unexamined; an unreadable outer length
    // leaves the bound at 0, so no binding is read.
    std::size_t pos = 1;
    const uint32_t outerLength = DecodeLength(data, pos).value_or(0);

    tryReadItem(data, pos, type, text);
    Version = toIntDef0(text);
    tryReadItem(data, pos, type, text);
    // A different community resets the message before it is stored.
    AssignCommunity(text);
    tryReadItem(data, pos, type, text);
    PduTag = toIntDef0(text); // "$A2" reads as 162
    tryReadItem(data, pos, type, text);
    RequestId = toIntDef0(text);
    tryReadItem(data, pos, type, text);
    ErrorStatus = toIntDef0(text);
    tryReadItem(data, pos, type, text);
    ErrorIndex = toIntDef0(text);
    tryReadItem(data, pos, type, text); // header of the binding list

    // The bound is the outer length itself (1-based position < L), which
    // stops after the last binding of any well-formed message. Every pass
    // must read three complete items; the first that cannot be read ends the
    // loop, so a truncated or hostile datagram can neither spin here nor add a
    // half-read binding. The bindings read until then stay.
    // A binding's name: an OBJECT IDENTIFIER is taken from the remembered
    // forms; anything else is read as ReadItem reads it.
    auto readName = [this](std::string_view from, std::size_t& at, std::string& name) {
        std::size_t cursor = at;
        int32_t tag = 0;
        std::string_view contents;
        if (readItemContents(from, cursor, tag, contents) && tag == kTagOid) {
            at = cursor + contents.size();
            name.assign(oidFromBytes(contents).Text);
            return true;
        }
        return tryReadItem(from, at, tag, name);
    };

    PadValueList();
    while (pos + 1 < outerLength) {
        std::string oid = takeSpare();
        std::string value = takeSpare();
        const bool complete = tryReadItem(data, pos, type, text) && readName(data, pos, oid) &&
                              tryReadItem(data, pos, type, value);
        if (!complete) {
            break; // the two unused texts are simply dropped
        }
        // The lists are kept paired, so appending both is AddBinding.
        OidTexts.push_back(std::move(oid));
        ValueTexts.push_back(Value{std::move(value), type});
    }
}

const std::string& TSNMPInfo::ValueAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= ValueTexts.size()) {
        throw EListError(index);
    }
    return ValueTexts[static_cast<std::size_t>(index)].Text;
}

} // namespace veltrum
