#pragma once
// One SNMPv1 (RFC 1157) or SNMPv2c (RFC 1901, PDUs of RFC 3416) message:
// header fields, variable bindings and the encoded octets. BuildMessage and
// ParseMessage use the BER primitives of Ber.h. Octet strings travel in
// std::string, one octet per char.

#include "snmp/Octets.h"
#include "snmp/ReusedList.h"

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum {

class TSNMPInfo;

// What a message takes from the component that owns it (TIdSNMP). The two
// texts are the owner's own, which a message reads through the references it
// is given once, when it is made.
class TSnmpMessageOwner {
public:
    virtual ~TSnmpMessageOwner() = default;
    virtual const std::string& OwnerCommunity() const = 0;
    virtual const std::string& OwnerHost() const = 0;
    virtual int32_t OwnerPort() const = 0;
    virtual int32_t OwnerTrapPort() const = 0;
    virtual bool IsTrapMessage(const TSNMPInfo& message) const = 0;
};

// ValueAt outside the list: "List index out of bounds (%d)".
class EListError final : public std::out_of_range {
public:
    explicit EListError(int index);
};

class TSNMPInfo final {
public:
    struct Value {
        std::string Text;
        int32_t Type = 0; // 0: none given, written as 4 (OCTET STRING)

        void clear() {
            Text.clear();
            Type = 0;
        }
        bool operator==(const Value&) const = default;
    };

    // Copies the owner's community and port; the owner calls ResetMessage next.
    explicit TSNMPInfo(const TSnmpMessageOwner& owner);

    std::string Community;
    std::string Packet;
    std::string PeerHost;
    int32_t PeerPort = 0;
    int32_t Version = 0; // 0 SNMPv1; 1 SNMPv2c, whose header integers go out whole
    int32_t PduTag = 0;
    int32_t RequestId = 0;
    // A GetBulkRequest carries non-repeaters and max-repetitions in these two
    // places (RFC 3416 section 3).
    int32_t ErrorStatus = 0;
    int32_t ErrorIndex = 0;
    TReusedList<std::string> OidTexts;
    TReusedList<Value> ValueTexts;

    void ResetMessage() {
        Version = 0;
        // The owner's texts rarely change between resets: copied only when
        // they differ.
        if (!octets::sameOctets(Community, m_ownerCommunity)) {
            copyOwnerText(Community, m_ownerCommunity);
        }
        PeerPort = m_owner.IsTrapMessage(*this) ? m_owner.OwnerTrapPort() : m_owner.OwnerPort();
        if (!octets::sameOctets(PeerHost, m_ownerHost)) {
            copyOwnerText(PeerHost, m_ownerHost);
        }
        PduTag = 0;
        RequestId = 0;
        ErrorStatus = 0;
        ErrorIndex = 0;
        // The emptied entries stay for the next bindings. Only a few small
        // texts are kept: a hostile reply with thousands of bindings or huge
        // values must not leave its storage behind. The bindings this message
        // wrote itself tell whether any text needs looking at.
        if (!m_largeTexts && OidTexts.madeCount() <= kSpareTexts && ValueTexts.madeCount() <= kSpareTexts) {
            OidTexts.clear();
            ValueTexts.clear();
            return;
        }
        trimBindings();
    }
    void AssignCommunity(const std::string& community);
    // Views, so that a literal or a part of a text needs no temporary string.
    void AddBinding(std::string_view oid, std::string_view value, int32_t type) {
        // The usual case, inline: the lists are paired and each has a spare
        // entry from the last reset, so nothing moves and nothing is
        // allocated. A view into one of the message's bindings is untouched:
        // the spare entries are past them.
        std::string* const oidEntry = OidTexts.nextSpare();
        Value* const valueEntry = ValueTexts.nextSpare();
        if (oidEntry != nullptr && valueEntry != nullptr && OidTexts.size() == ValueTexts.size() &&
            oid.size() <= kSpareCapacity && value.size() <= kSpareCapacity) {
            octets::setText(*oidEntry, oid);
            valueEntry->Type = type;
            octets::setText(valueEntry->Text, value);
            OidTexts.takeSpare();
            ValueTexts.takeSpare();
            return;
        }
        addOtherBinding(oid, value, type);
    }
    void PadValueList() {
        if (ValueTexts.size() < OidTexts.size()) {
            ValueTexts.resize(OidTexts.size());
        }
    }
    // The octets stay valid until the next BuildMessage.
    const std::string& BuildMessage() {
        PadValueList();
        if (!buildUsualMessage()) {
            buildAnyMessage();
        }
        return m_built;
    }
    void ParseMessage(const std::string& datagram) {
        if (!parseUsualMessage(datagram)) {
            parseAnyMessage(datagram);
        }
    }
    int CountValues() const { return static_cast<int>(ValueTexts.size()); }
    // Throws EListError for an index outside the values.
    const std::string& ValueAt(int index) const;
    // Whether the value at `index` is an SNMPv2c exception (noSuchObject,
    // noSuchInstance, endOfMibView): no value at all, where ValueAt gives an
    // empty text just as for an empty OCTET STRING. Throws as ValueAt.
    bool IsNoValueAt(int index) const;

    // What a reset keeps of the bindings' storage for the next ones: this
    // many entries of each list, with texts of at most this capacity.
    static constexpr std::size_t kSpareTexts = 16;
    static constexpr std::size_t kSpareCapacity = 256;

private:
    bool parseUsualMessage(std::string_view data);
    bool buildUsualMessage();
    void buildAnyMessage();
    void parseAnyMessage(std::string_view data);
    void parseBindings(std::string_view data, std::size_t at, std::size_t outerLength);
    void addBinding(std::string_view oid, std::string_view value, int32_t type);
    [[gnu::noinline]] void addOtherBinding(std::string_view oid, std::string_view value, int32_t type);
    [[gnu::noinline]] void addMovingBinding(std::string_view oid, std::string_view value, int32_t type);
    void assignCommunity(std::string_view community);
    [[gnu::noinline]] void replaceCommunity(std::string_view community);
    [[gnu::noinline]] void trimBindings();
    [[gnu::noinline]] static void copyOwnerText(std::string& text, const std::string& owner);

    // The same few OIDs go out and come back every poll, in the same
    // places: each direction remembers, for each of the first bindings, the
    // last name it converted there in both forms, so a poll converts none.
    // The two directions keep apart: a text that does not round-trip, or a
    // reply's longer-than-needed encoding, must not come back the other way.
    struct TNameForms {
        std::string Text;
        std::string Bytes;
    };
    static constexpr std::size_t kRememberedNames = 16;
    static constexpr std::size_t kRememberedNameSize = 128; // longer names are converted each time
    const std::string* requestName(std::size_t index, std::string_view text);
    void setReplyName(std::string& out, std::size_t index, std::string_view bytes);

    const TSnmpMessageOwner& m_owner;
    const std::string& m_ownerCommunity;
    const std::string& m_ownerHost;
    std::array<TNameForms, kRememberedNames> m_requestNames; // text to encoding
    std::array<TNameForms, kRememberedNames> m_replyNames;   // encoding to text
    // Whether a binding written since the last reset holds a text too large
    // to keep as a spare.
    bool m_largeTexts = false;
    // Scratch the encoder writes into before the message is copied out; its
    // size only grows (so it is never cleared again) up to a small bound.
    std::string m_build;
    // The last built message, whose storage the next one reuses.
    std::string m_built;
};

// Makes `message` a request of PDU type `pduTag` in `version` (kVersion1,
// kVersion2c) for `oids`, in their order, after resetting it. The values ask
// for nothing: empty OCTET STRINGs in SNMPv1, as this program has always sent
// them, NULL in SNMPv2c (RFC 3416 section 4.2.1 leaves a request's values
// unspecified). Further header fields (a GetBulkRequest's two) are set after.
void ResetRequest(TSNMPInfo& message, int32_t pduTag, int32_t version, std::span<const std::string> oids);

} // namespace veltrum
