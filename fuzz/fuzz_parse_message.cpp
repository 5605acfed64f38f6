// ParseMessage over hostile datagrams, then BuildMessage of whatever was read
// and a parse of that: none may read past its input, loop without end or
// unpair the lists.
#include "snmp/SnmpInfo.h"

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
    message.ParseMessage(std::string(reinterpret_cast<const char*>(bytes), size));
    if (message.OidTexts.size() != message.ValueTexts.size()) {
        std::abort();
    }
    const std::string built = message.BuildMessage();
    veltrum::TSNMPInfo again(owner);
    again.ResetMessage();
    // Not a round trip: a binding whose value carries a constructed tag reads
    // back differently. Only the safety of the second parse is checked.
    again.ParseMessage(built);
    return 0;
}
