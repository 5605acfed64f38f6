#include "snmp/IdSNMP.h"

#include "snmp/IdException.h"

#include <algorithm>

namespace veltrum {

namespace {

constexpr int32_t kRefusedDatagram = 10054;

} // namespace

// The messages were built from the community and a port of 0 (the base's
// default); each is reset once Port and TrapPort hold their values.
TIdSNMP::TIdSNMP() : QueryMessage(*this), ReplyMessage(*this), TrapMessage(*this) {
    Port = 161;
    QueryMessage.ResetMessage();
    ReplyMessage.ResetMessage();
    TrapMessage.ResetMessage();
    ReceiveTimeout = 5000;
}

TIdSNMP::~TIdSNMP() = default;

void TIdSNMP::SetCommunity(const std::string& community) {
    if (community == m_community) {
        return;
    }
    m_community = community;
    QueryMessage.AssignCommunity(community);
    ReplyMessage.AssignCommunity(community);
    TrapMessage.AssignCommunity(community);
}

bool TIdSNMP::RunQuery() {
    m_replyRefused = false;
    ReplyMessage.ResetMessage();
    QueryMessage.Packet = QueryMessage.BuildMessage();
    // The request-id is always 0, so a reply that came after an earlier
    // query's time-out would pass for this query's reply: drop it first.
    SocketHandle().DiscardPending();
    SendText(QueryMessage.PeerHost, QueryMessage.PeerPort, QueryMessage.Packet);
    // Time spent waiting for a host name's address comes out of the reply's wait.
    const int32_t wait = ReceiveTimeout >= 0 ? std::max(0, ReceiveTimeout - LookUpWaitMs()) : ReceiveTimeout;
    try {
        ReplyMessage.Packet = ReceiveText(QueryMessage.PeerHost, QueryMessage.PeerPort, wait);
    } catch (const EIdSocketError& error) {
        // The agent's host refused the datagram: no reply will come.
        if (error.LastError() != kRefusedDatagram) {
            throw;
        }
        m_replyRefused = true;
        ReplyMessage.Packet.clear();
    }
    if (!ReplyMessage.Packet.empty()) {
        ReplyMessage.ParseMessage(ReplyMessage.Packet);
    }
    return !ReplyMessage.Packet.empty() && ReplyMessage.ErrorStatus == 0;
}

} // namespace veltrum
