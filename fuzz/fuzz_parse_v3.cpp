// The SNMPv3 decoder over hostile bytes: the envelope, the scoped PDU (plain
// and as the ciphers leave it), the report's summary, and the exchange that
// takes a datagram as an agent's answer. Checks that a decoded message
// encodes again into one that decodes to the same fields, that every view
// stays inside the datagram, and that nothing crashes or reads astray.
#include "snmp/UsmCrypto.h"
#include "snmp/V3Exchange.h"
#include "snmp/V3Message.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace veltrum;

namespace {

bool inside(std::string_view part, std::string_view whole) {
    return part.empty() ||
           (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

bool sameHeader(const v3::TV3Header& a, const v3::TV3Header& b) {
    return a.MsgId == b.MsgId && a.MaxSize == b.MaxSize && a.Flags == b.Flags && a.EngineId == b.EngineId &&
           a.EngineBoots == b.EngineBoots && a.EngineTime == b.EngineTime && a.UserName == b.UserName &&
           a.AuthParams == b.AuthParams && a.PrivParams == b.PrivParams;
}

void scoped(std::string_view data) {
    const std::optional<v3::TScopedPdu> pdu = v3::DecodeScopedPdu(data);
    if (!pdu) {
        return;
    }
    if (!inside(pdu->Pdu, data) || !inside(pdu->ContextName, data)) {
        std::abort();
    }
    (void)v3::SummarisePdu(pdu->Pdu);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string datagram(reinterpret_cast<const char*>(bytes), size);
    const std::optional<v3::TV3Message> message = v3::DecodeMessage(datagram);
    if (message) {
        const v3::TV3Header& header = message->Header;
        if (!inside(message->Data, datagram) ||
            message->AuthAt + header.AuthParams.size() > datagram.size() ||
            datagram.compare(message->AuthAt, header.AuthParams.size(), header.AuthParams) != 0) {
            std::abort();
        }
        const bool encrypted = (header.Flags & v3::kFlagPriv) != 0;
        const std::string again = v3::EncodeMessage(header, message->Data);
        const std::optional<v3::TV3Message> reread = v3::DecodeMessage(again);
        if (!reread || !sameHeader(reread->Header, header) || reread->Data != message->Data) {
            std::abort();
        }
        if (encrypted) {
            // What the ciphers make of the octets, read as a scoped PDU.
            const std::string key(32, '\x5A');
            for (const usm::TPrivProtocol protocol : {usm::TPrivProtocol::DES, usm::TPrivProtocol::AES128}) {
                if (const auto plain = usm::Decrypt(protocol, key, header.EngineBoots, header.EngineTime,
                                                    header.PrivParams, message->Data)) {
                    scoped(*plain);
                }
            }
        } else {
            scoped(message->Data);
        }
    }
    // The datagram as the agent's answer to a discovery, then to a request.
    v3::TV3Session session;
    v3::TUser user;
    user.Name = "fuzz";
    user.Level = v3::TSecurityLevel::AuthPriv;
    user.Auth = usm::TAuthProtocol::SHA256;
    user.Priv = usm::TPrivProtocol::AES128;
    user.LocalizedAuthKey.assign(32, '\x11');
    user.LocalizedPrivKey.assign(16, '\x22');
    user.KeysEngineId = message ? message->Header.EngineId : std::string("\x80\x00\x1F\x88\x80", 5);
    session.SetUser(user);
    v3::TV3Exchange exchange(session,
                             std::string("\xA0\x0B\x02\x01\x00\x02\x01\x00\x02\x01\x00\x30\x00", 13));
    (void)exchange.Start();
    // The msgID is random; the datagram is made to carry the one awaited.
    for (int round = 0; round < 2 && message; ++round) {
        v3::TV3Header header = message->Header;
        header.MsgId = exchange.OutstandingMsgId();
        (void)exchange.OnDatagram(v3::EncodeMessage(header, message->Data));
    }
    (void)exchange.OnDatagram(datagram);
    return 0;
}
