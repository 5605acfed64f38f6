// ParseMessage over hostile datagrams, then BuildMessage of whatever was read
// and a parse of that: none may read past its input, loop without end or
// unpair the lists. Both must also give what the literal reading of the
// message rules gives, whichever route the message takes for the input.
#include "snmp/SnmpInfo.h"
#include "support/LiteralMessage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class FuzzOwner final : public veltrum::TSnmpMessageOwner {
public:
    const std::string& OwnerCommunity() const override { return m_community; }
    const std::string& OwnerHost() const override { return m_host; }
    int32_t OwnerPort() const override { return 161; }
    int32_t OwnerTrapPort() const override { return 162; }
    bool IsTrapMessage(const veltrum::TSNMPInfo&) const override { return false; }

private:
    std::string m_community = "public";
    std::string m_host = "127.0.0.1";
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const FuzzOwner owner;
    veltrum::TSNMPInfo message(owner);
    message.ResetMessage();
    const std::string datagram(reinterpret_cast<const char*>(bytes), size);
    message.ParseMessage(datagram);
    if (message.OidTexts.size() != message.ValueTexts.size()) {
        std::abort();
    }
    veltrum::TSNMPInfo literal(owner);
    literal.ResetMessage();
    veltrum::test::literalParse(literal, datagram);
    if (!veltrum::test::sameMessage(message, literal)) {
        std::abort();
    }
    const std::string built = message.BuildMessage();
    veltrum::test::Message spec;
    spec.Version = message.Version;
    spec.Community = message.Community;
    spec.PduTag = message.PduTag;
    spec.RequestId = message.RequestId;
    spec.ErrorStatus = message.ErrorStatus;
    spec.ErrorIndex = message.ErrorIndex;
    for (std::size_t i = 0; i < message.OidTexts.size(); ++i) {
        spec.Bindings.push_back(
            {message.OidTexts[i], message.ValueTexts[i].Text, message.ValueTexts[i].Type});
    }
    if (built != veltrum::test::literalBuild(spec)) {
        std::abort();
    }
    veltrum::TSNMPInfo again(owner);
    again.ResetMessage();
    // Not a round trip: a binding whose value carries a constructed tag reads
    // back differently. Only the safety of the second parse is checked.
    again.ParseMessage(built);
    return 0;
}
