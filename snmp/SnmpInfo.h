#pragma once
// One SNMPv1 message (RFC 1157): header fields, variable bindings and the
// encoded octets. BuildMessage and ParseMessage use the BER primitives of
// Ber.h. Octet strings travel in std::string, one octet per char.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace veltrum {

class TSNMPInfo;

// What a message takes from the component that owns it (TIdSNMP).
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
    std::vector<std::string> OidTexts;
    std::vector<Value> ValueTexts;

    void ResetMessage();
    void AssignCommunity(const std::string& community);
    void AddBinding(const std::string& oid, const std::string& value, int32_t type);
    void PadValueList();
    std::string BuildMessage();
    void ParseMessage(const std::string& octets);
    int CountValues() const { return static_cast<int>(ValueTexts.size()); }
    // Throws EListError for an index outside the values.
    const std::string& ValueAt(int index) const;

private:
    // Texts of emptied bindings, kept with their capacity: a poll resets and
    // refills the same four bindings every second, and reusing their storage
    // keeps the parse and the build free of heap allocations.
    std::string takeSpare();
    void retireBindings();

    // The same few OIDs go out and come back every poll: their text and
    // encoded forms are remembered, so neither direction re-converts them.
    struct OidForms {
        std::string Text;
        std::string Bytes;
    };
    const OidForms& oidFromText(const std::string& text);
    const OidForms& oidFromBytes(std::string_view bytes);
    OidForms& nextOidSlot();

    const TSnmpMessageOwner& m_owner;
    std::vector<std::string> m_spare;
    std::vector<OidForms> m_oids;
    std::size_t m_nextOid = 0;
};

} // namespace veltrum
