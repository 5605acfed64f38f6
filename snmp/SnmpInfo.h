#pragma once
// One SNMPv1 message (RFC 1157): header fields, variable bindings and the
// encoded octets. BuildMessage and ParseMessage use the BER primitives of
// Ber.h. Octet strings travel in std::string, one octet per char.

#include "snmp/ReusedList.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
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
    int32_t Version = 0;
    int32_t PduTag = 0;
    int32_t RequestId = 0;
    int32_t ErrorStatus = 0;
    int32_t ErrorIndex = 0;
    TReusedList<std::string> OidTexts;
    TReusedList<Value> ValueTexts;

    void ResetMessage();
    void AssignCommunity(const std::string& community);
    // Views, so that a literal or a part of a text needs no temporary string.
    void AddBinding(std::string_view oid, std::string_view value, int32_t type);
    void PadValueList() {
        if (ValueTexts.size() < OidTexts.size()) {
            ValueTexts.resize(OidTexts.size());
        }
    }
    // The octets stay valid until the next BuildMessage.
    const std::string& BuildMessage();
    void ParseMessage(const std::string& octets);
    int CountValues() const { return static_cast<int>(ValueTexts.size()); }
    // Throws EListError for an index outside the values.
    const std::string& ValueAt(int index) const;

private:
    bool parseUsualMessage(std::string_view data);
    bool buildUsualMessage();
    void buildAnyMessage();
    void parseAnyMessage(std::string_view data);
    void addBinding(std::string_view oid, std::string_view value, int32_t type);
    [[gnu::noinline]] void addOtherBinding(std::string_view oid, std::string_view value, int32_t type);
    [[gnu::noinline]] void addMovingBinding(std::string_view oid, std::string_view value, int32_t type);
    void assignCommunity(std::string_view community);
    [[gnu::noinline]] void replaceCommunity(std::string_view community);
    [[gnu::noinline]] void trimBindings();

    // The same few OIDs go out and come back every poll: their text and
    // encoded forms are remembered, so neither direction re-converts them.
    // Each direction answers only from forms it made itself: a text that does
    // not round-trip, or a reply's longer-than-needed encoding, must not come
    // back in the other direction.
    struct OidForms {
        std::string Text;
        std::string Bytes;
        bool FromText = false;
    };
    const OidForms& oidFromText(std::string_view text);
    const OidForms& oidFromBytes(std::string_view bytes);
    const OidForms& searchOidText(std::string_view text);
    const OidForms& searchOidBytes(std::string_view bytes);
    OidForms& nextOidSlot();
    void noteOidSlot(std::size_t fresh);

    const TSnmpMessageOwner& m_owner;
    const std::string& m_ownerCommunity;
    const std::string& m_ownerHost;
    std::vector<OidForms> m_oids;
    std::size_t m_nextOid = 0;
    // Forms made so far: a pass that looks up several names sees whether
    // any slot was taken over meanwhile.
    std::size_t m_oidsMade = 0;
    // Where the next lookup starts: bindings come in the order they were
    // remembered, so the guess is usually the one that matches.
    std::size_t m_oidGuess = 0;
    // Whether two remembered slots share a text or an encoding; the guess
    // is only taken while none do.
    bool m_oidTwins = false;
    // Whether a binding written since the last reset holds a text too large
    // to keep as a spare.
    bool m_largeTexts = false;
    // Scratch the encoder writes into before the message is copied out; its
    // size only grows (so it is never cleared again) up to a small bound.
    std::string m_build;
    // The last built message, whose storage the next one reuses.
    std::string m_built;
};

} // namespace veltrum
