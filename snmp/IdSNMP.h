#pragma once
// TIdSNMP: the program's SNMPv1 manager. It holds the agent's address, the
// community and the reply time-out, owns three messages and runs one
// request/reply exchange over UDP (RunQuery). The UDP side (Host, Port,
// ReceiveTimeout, BufferSize, Active) comes from the socket layer.

#include "snmp/IdUDPClient.h"
#include "snmp/SnmpInfo.h"

#include <cstdint>
#include <string>

namespace veltrum {

class TIdSNMP final : public TIdUDPClient, public TSnmpMessageOwner {
public:
    TIdSNMP();
    ~TIdSNMP() override;
    TIdSNMP(const TIdSNMP&) = delete;
    TIdSNMP& operator=(const TIdSNMP&) = delete;

    const std::string& Community() const { return m_community; }
    // A different text is handed to all three messages (which empties them).
    void SetCommunity(const std::string& community);

    int32_t TrapPort = 162;

private:
    std::string m_community = "qorvex";
    bool m_replyRefused = false;

public:
    TSNMPInfo QueryMessage;
    TSNMPInfo ReplyMessage;
    TSNMPInfo TrapMessage;

    // One exchange: true when a reply arrived and its error status is 0.
    // The whole exchange, a host name's look-up included, waits at most
    // ReceiveTimeout.
    bool RunQuery();
    // The last exchange's datagram was refused by the agent's host (port
    // unreachable): no agent listens there.
    bool ReplyRefused() const { return m_replyRefused; }

    // TSnmpMessageOwner
    const std::string& OwnerCommunity() const override { return m_community; }
    const std::string& OwnerHost() const override { return Host; }
    int32_t OwnerPort() const override { return Port; }
    int32_t OwnerTrapPort() const override { return TrapPort; }
    bool IsTrapMessage(const TSNMPInfo& message) const override { return &message == &TrapMessage; }
};

} // namespace veltrum
