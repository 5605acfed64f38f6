#include "snmp/IdSNMP.h"

#include "snmp/Ber.h"
#include "snmp/IdException.h"

#include <algorithm>
#include <chrono>

namespace veltrum {

namespace {

constexpr int32_t kRefusedDatagram = 10054;
constexpr int32_t kLastRequestId = 127;

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

void TIdSNMP::SetV3User(const std::optional<v3::TUser>& user) {
    if (!user) {
        m_v3.reset();
        return;
    }
    if (!m_v3) {
        m_v3 = std::make_unique<v3::TV3Session>();
    }
    m_v3->SetUser(*user);
}

bool TIdSNMP::RunQuery() {
    m_replyRefused = false;
    if (m_v3) {
        return runV3Query();
    }
    using Clock = std::chrono::steady_clock;
    ReplyMessage.ResetMessage();
    // Each request its own request-id (RFC 1157 section 4.1.1: the agent
    // echoes it), so that a reply to an earlier request that timed out is
    // told apart from this one's, even when it comes after this request
    // went out. Header integers go out in one octet: the ids cycle through
    // 1..127, which no reply lives long enough to see come round.
    m_requestId = m_requestId % kLastRequestId + 1;
    QueryMessage.RequestId = m_requestId;
    QueryMessage.Packet = QueryMessage.BuildMessage();
    // A reply already waiting belongs to an earlier request.
    SocketHandle().DiscardPending();
    SendText(QueryMessage.PeerHost, QueryMessage.PeerPort, QueryMessage.Packet);
    // Time spent waiting for a host name's address comes out of the reply's wait.
    const int32_t wait = ReceiveTimeout >= 0 ? std::max(0, ReceiveTimeout - LookUpWaitMs()) : ReceiveTimeout;
    const auto started = Clock::now();
    while (true) {
        int32_t left = wait;
        if (wait >= 0) {
            const auto spent =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
            left = static_cast<int32_t>(std::max<int64_t>(0, wait - spent));
        }
        try {
            ReplyMessage.Packet = ReceiveText(QueryMessage.PeerHost, QueryMessage.PeerPort, left);
        } catch (const EIdSocketError& error) {
            // The agent's host refused the datagram: no reply will come.
            if (error.LastError() != kRefusedDatagram) {
                throw;
            }
            m_replyRefused = true;
            ReplyMessage.Packet.clear();
        }
        if (ReplyMessage.Packet.empty()) {
            return false;
        }
        ReplyMessage.ParseMessage(ReplyMessage.Packet);
        // A response to another request is waited past, within the same
        // time-out; anything else is this exchange's answer, unreadable or
        // not, as it always was.
        if (ReplyMessage.PduTag != kTagGetResponse || ReplyMessage.RequestId == m_requestId) {
            return ReplyMessage.ErrorStatus == 0;
        }
        ReplyMessage.ResetMessage();
        ReplyMessage.Packet.clear();
    }
}

// The blocking driver of a v3::TV3Exchange: each step's octets go out, every
// datagram goes to the exchange, until it finishes or the time-out runs out.
bool TIdSNMP::runV3Query() {
    using Clock = std::chrono::steady_clock;
    m_v3Failure = v3::TFailure::None;
    ReplyMessage.ResetMessage();
    if (m_v3Host != Host) {
        m_v3->ForgetEngine();
        m_v3Host = Host;
    }
    m_v3->MaxSize = BufferSize;
    // The PDU goes as SNMPv2c writes it (RFC 3416), whatever version the
    // caller's message names.
    const int32_t version = QueryMessage.Version;
    QueryMessage.Version = kVersion2c;
    QueryMessage.Packet = QueryMessage.BuildMessage();
    QueryMessage.Version = version;
    const std::optional<std::string_view> pdu = v3::PduOfCommunityMessage(QueryMessage.Packet);
    v3::TV3Exchange exchange(*m_v3, std::string(pdu.value_or(std::string_view())));
    // ResetMessage keeps the last reply's octets: a failure here must not
    // find the previous poll's reply and take it for this one's.
    ReplyMessage.Packet.clear();
    v3::TV3Exchange::TStep step = exchange.Start();
    SocketHandle().DiscardPending();
    auto started = Clock::now();
    std::string peerHost;
    int32_t peerPort = 0;
    while (true) {
        switch (step.Kind) {
        case v3::TV3Exchange::TStepKind::Done:
            v3::CommunityMessageTo(ReplyMessage.Packet, step.Pdu);
            ReplyMessage.ParseMessage(ReplyMessage.Packet);
            return ReplyMessage.ErrorStatus == 0;
        case v3::TV3Exchange::TStepKind::Failed:
            // Start fails before sending anything when no key is at hand.
            m_v3Failure = step.Failure;
            return false;
        case v3::TV3Exchange::TStepKind::Send:
            SendText(QueryMessage.PeerHost, QueryMessage.PeerPort, step.Datagram);
            break;
        case v3::TV3Exchange::TStepKind::Ignore:
            break;
        }
        int32_t wait = ReceiveTimeout;
        if (ReceiveTimeout >= 0) {
            const auto spent =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
            wait = static_cast<int32_t>(std::max<int64_t>(0, ReceiveTimeout - spent));
        }
        std::string datagram;
        try {
            datagram = ReceiveText(peerHost, peerPort, wait);
        } catch (const EIdSocketError& error) {
            if (error.LastError() != kRefusedDatagram) {
                throw;
            }
            m_replyRefused = true;
            return false;
        }
        if (datagram.empty()) {
            // The exchange may ask once more (the privacy diagnostic), with
            // a time-out of its own.
            step = exchange.OnTimeout();
            started = Clock::now();
            continue;
        }
        step = exchange.OnDatagram(datagram);
    }
}

} // namespace veltrum
