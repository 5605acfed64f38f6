#pragma once
// Stands in for TIdSNMP: the few values a message takes from its owner.

#include "snmp/SnmpInfo.h"

#include <string>

namespace veltrum::test {

class FakeMessageOwner final : public TSnmpMessageOwner {
public:
    std::string Community = "public";
    std::string Host = "127.0.0.1";
    int32_t Port = 161;
    int32_t TrapPort = 162;
    const TSNMPInfo* Trap = nullptr;

    const std::string& OwnerCommunity() const override { return Community; }
    const std::string& OwnerHost() const override { return Host; }
    int32_t OwnerPort() const override { return Port; }
    int32_t OwnerTrapPort() const override { return TrapPort; }
    bool IsTrapMessage(const TSNMPInfo& message) const override { return &message == Trap; }
};

} // namespace veltrum::test
