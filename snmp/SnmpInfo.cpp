#include "snmp/SnmpInfo.h"

#include "snmp/Ber.h"
#include "snmp/Octets.h"
#include "snmp/SnmpInfoParts.h"
#include "snmp/TextToInt.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace veltrum {

void octets::growText(std::string& text, std::string_view value) {
    text.assign(value);
}

namespace {

using message_parts::kBuildKeep;
using message_parts::setCounter64Text;
using message_parts::setDecimalText;
using message_parts::writeBytes;
using message_parts::writeHeaderInt;
using octets::setText;

int32_t toIntDef0(std::string_view text) {
    int32_t value = 0;
    return tryParseInt(text, value) ? value : 0;
}

// The encoder writes through a pointer into scratch sized for the worst case:
// a header is the tag, 0x80 | count and at most sizeof(size_t) length octets.
constexpr std::size_t kHeaderRoom = 2 + sizeof(std::size_t);
// Sub-identifiers take at most five octets, and a dotted text of n characters
// holds at most n + 1 of them (the first two arcs share one).
std::size_t oidBytesBound(std::size_t textSize) {
    return 5 * (textSize + 1);
}
// SNMPv2c messages write their header integers whole (X.690 8.3): a
// GetBulkRequest's max-repetitions of 200 must not go out as -56. SNMPv1
// messages keep the one-octet form their agents have always been sent.
inline char* writeHeaderField(char* p, int32_t value, bool whole) {
    if (!whole) {
        return writeHeaderInt(p, value);
    }
    p[0] = static_cast<char>(kTagInteger);
    char* const end = writeSignedInt(p + 2, value);
    p[1] = static_cast<char>(end - p - 2);
    return end;
}

// A Counter64 value: its text read as an unsigned 64-bit number, 0 when it is
// not one (as the other numbers take their default).
char* writeCounter64(char* p, std::string_view text) {
    uint64_t value = 0;
    if (!tryParseUnsigned64(text, value)) {
        value = 0;
    }
    return writeUnsigned64(p, value);
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

} // namespace

void message_parts::lengthenText(std::string& text, std::size_t length) {
    text.resize(length);
}

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

void TSNMPInfo::AssignCommunity(const std::string& community) {
    assignCommunity(community);
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
    setText(ValueTexts.appendText(type).Text, value);
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

void TSNMPInfo::buildAnyMessage() {

    // Taken once: the octet writes below may alias anything, so the compiler
    // would otherwise reload the lists after each of them.
    const std::size_t count = OidTexts.size();
    const std::string* const oids = OidTexts.madeData(); // made by BuildMessage
    const Value* const values = ValueTexts.madeData();

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
            p = writeCounter64(p, value.Text);
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
        if (!skipItem(data, at, valueTag, value) || !skipItem(data, at, nameTag, name)) {
            break;
        }
        if (!skipItem(data, at, valueTag, value)) {
            break;
        }
        // The lists are kept paired, so appending to both is AddBinding.
        // Their spare entries mostly hold last poll's texts of the same
        // length, which are overwritten in place.
        std::size_t oidSize = 0;
        if (nameTag == kTagOid) {
            if (OidTexts.appendReplyName(name, kSpareCapacity)) {
                m_largeTexts = true;
            }
        } else {
            std::string& oid = OidTexts.appendSpare();
            oid.clear();
            if (isConstructed(nameTag)) {
                appendConstructedText(oid, nameTag);
            } else {
                appendContentsText(oid, nameTag, name);
            }
            oidSize = oid.size();
        }
        // Numbers, OIDs and addresses keep what the reply carried; their
        // texts are made when asked for. Octet strings are their own text.
        std::size_t textSize = 0;
        switch (valueTag) {
        case kTagInteger:
        case kTagCounter:
        case kTagGauge:
        case kTagTimeTicks:
            ValueTexts.appendNumber(valueTag, TForm::Signed32,
                                    static_cast<uint32_t>(numberOf(valueTag, value)));
            break;
        case kTagCounter64:
            ValueTexts.appendNumber(valueTag, TForm::Unsigned64, counter64Of(value));
            break;
        case kTagOid:
        case kTagIpAddress:
            appendContentsValue(valueTag, value);
            // Every contents octet gives at most four characters ("255.").
            textSize = 4 * value.size();
            break;
        default: {
            Value& entry = ValueTexts.appendText(valueTag);
            if (valueTag == kTagOctetString || valueTag == kTagOpaque) {
                setText(entry.Text, value);
            } else {
                entry.Text.clear();
                if (isConstructed(valueTag)) {
                    appendConstructedText(entry.Text, valueTag);
                } else {
                    appendContentsText(entry.Text, valueTag, value);
                }
            }
            textSize = entry.Text.size();
            break;
        }
        }
        if (oidSize > kSpareCapacity || textSize > kSpareCapacity) {
            m_largeTexts = true;
        }
    }
}

// An OID or IpAddress value: its contents octets stand in its text until the
// text is made (TValueList::makeText).
void TSNMPInfo::appendContentsValue(int32_t type, std::string_view contents) {
    Value& entry = ValueTexts.appendText(type);
    setText(entry.Text, contents);
    entry.m_form = TForm::Contents;
    entry.m_textPending = true;
    ValueTexts.m_pending = true;
}

void TValueList::makeText(TSnmpValue& value) {
    switch (value.m_form) {
    case TForm::Signed32:
        setDecimalText(value.Text, static_cast<int32_t>(static_cast<uint32_t>(value.m_number)));
        break;
    case TForm::Unsigned64:
        message_parts::clearUpperVectorHalves();
        setCounter64Text(value.Text, value.m_number);
        break;
    case TForm::Contents: {
        std::string text;
        appendContentsText(text, value.Type, value.Text);
        value.Text.swap(text);
        value.m_form = TForm::Text;
        break;
    }
    case TForm::Text:
        break;
    }
    value.m_textPending = false;
}

// The text of an encoded name, from the remembered one when the encoding is
// the same.
void TNameList::makeText(std::size_t index) const {
    std::string& entry = m_items[index];
    TNameForms& forms = m_remembered[index];
    if (!octets::sameOctets(forms.Bytes, entry)) {
        forms.Bytes.assign(entry);
        forms.Text.clear();
        appendOidText(forms.Text, forms.Bytes);
    }
    setText(entry, forms.Text);
    m_encoded &= ~(uint32_t{1} << index);
}

void TValueList::makeAllTexts() const {
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].m_textPending) {
            makeText(m_items[i]);
        }
    }
    m_pending = false;
}

const TSNMPInfo::Value& TSNMPInfo::keptValue(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= ValueTexts.size()) {
        throwListError(index);
    }
    return ValueTexts.kept(static_cast<std::size_t>(index));
}

void TSNMPInfo::throwListError(int index) {
    throw EListError(index);
}

// The numbers agree with what the strict conversions make of their texts:
// a 32-bit number's signed decimal text is always an int32_t and an
// unsigned 64-bit number only when it is not negative; a Counter64's
// unsigned text is always a uint64_t and an int32_t only up to 2^31 - 1.
bool TSNMPInfo::otherInt32At(int index, int32_t& value) const {
    const Value& kept = keptValue(index);
    switch (kept.m_form) {
    case TForm::Signed32:
        value = static_cast<int32_t>(static_cast<uint32_t>(kept.m_number));
        return true;
    case TForm::Unsigned64:
        if (kept.m_number > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
            return false;
        }
        value = static_cast<int32_t>(kept.m_number);
        return true;
    default:
        return tryParseInt(ValueAt(index), value);
    }
}

bool TSNMPInfo::otherUnsigned64At(int index, uint64_t& value) const {
    const Value& kept = keptValue(index);
    switch (kept.m_form) {
    case TForm::Signed32: {
        const auto number = static_cast<int32_t>(static_cast<uint32_t>(kept.m_number));
        if (number < 0) {
            return false;
        }
        value = static_cast<uint64_t>(number);
        return true;
    }
    case TForm::Unsigned64:
        value = kept.m_number;
        return true;
    default:
        return tryParseUnsigned64(ValueAt(index), value);
    }
}

bool TSNMPInfo::IsNoValueAt(int index) const {
    return IsNoValue(keptValue(index).Type);
}

void ResetRequest(TSNMPInfo& message, int32_t pduTag, int32_t version, std::span<const std::string> oids) {
    message.ResetMessage();
    message.PduTag = pduTag;
    message.Version = version;
    const int32_t valueType = version == kVersion1 ? kTagOctetString : kTagNull;
    for (const std::string& oid : oids) {
        message.AddBinding(oid, {}, valueType);
    }
}

} // namespace veltrum
