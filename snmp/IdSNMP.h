#pragma once
// TIdSNMP: the program's SNMPv1 manager. It holds the agent's address, the
// community and the reply time-out, owns three messages and runs one
// request/reply exchange over UDP (RunQuery). With an SNMPv3 user set, the
// same exchange carries the query message's PDU in SNMPv3 messages through a
// v3::TV3Exchange, which may add round trips (discovery, re-synchronisation)
// within the same time-out. The UDP side (Host, Port,
// ReceiveTimeout, BufferSize, Active) comes from the socket layer.

#include "snmp/IdUDPClient.h"
#include "snmp/SnmpInfo.h"
#include "snmp/V3Exchange.h"

#include <cstdint>
#include <memory>
#include <optional>
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
    int32_t m_requestId = 0; // the last request's
    std::unique_ptr<v3::TV3Session> m_v3;
    std::string m_v3Host;
    v3::TFailure m_v3Failure = v3::TFailure::None;

    bool runV3Query();

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

    // SNMPv3: every query goes as this user, whatever the query message's
    // version; nothing goes back to SNMPv1/v2c. A changed host forgets the
    // agent's engine.
    void SetV3User(const std::optional<v3::TUser>& user);
    bool UsesV3() const { return m_v3 != nullptr; }
    // Why the last SNMPv3 exchange gave up; None when it did not.
    v3::TFailure V3Failure() const { return m_v3Failure; }
    // The agent's engine as far as it is known (null without SNMPv3).
    const v3::TV3Session* V3Session() const { return m_v3.get(); }

    // TSnmpMessageOwner
    const std::string& OwnerCommunity() const override { return m_community; }
    const std::string& OwnerHost() const override { return Host; }
    int32_t OwnerPort() const override { return Port; }
    int32_t OwnerTrapPort() const override { return TrapPort; }
    bool IsTrapMessage(const TSNMPInfo& message) const override { return &message == &TrapMessage; }
};

} // namespace veltrum
