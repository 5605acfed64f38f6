#pragma once
// The SNMPv3 message (RFC 3412 section 6) with the user-based security
// model's parameters (RFC 3414 section 2.4):
//
//   SNMPv3Message ::= SEQUENCE {
//       msgVersion INTEGER (3),
//       msgGlobalData SEQUENCE { msgID, msgMaxSize, msgFlags OCTET STRING (1),
//                                msgSecurityModel (3: USM) },
//       msgSecurityParameters OCTET STRING (UsmSecurityParameters ::= SEQUENCE {
//           engineID, engineBoots, engineTime, userName,
//           authenticationParameters, privacyParameters }),
//       msgData ScopedPDU | encryptedPDU OCTET STRING }
//   ScopedPDU ::= SEQUENCE { contextEngineID, contextName, data (the PDU) }
//
// Decoding is strict and bounded by the datagram: every item must be whole
// and of its type, or the message is refused (nothing). Only the envelope is
// read here; the PDU stays octets for TSNMPInfo's codec.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrum::v3 {

inline constexpr int32_t kVersion3 = 3;
inline constexpr int32_t kUsmSecurityModel = 3;
// msgFlags (RFC 3412 6.4).
inline constexpr uint8_t kFlagAuth = 0x01;
inline constexpr uint8_t kFlagPriv = 0x02;
inline constexpr uint8_t kFlagReportable = 0x04;
// The smallest msgMaxSize an engine may announce (RFC 3412 6.2).
inline constexpr int32_t kMinMaxSize = 484;
inline constexpr int32_t kTagReport = 0xA8; // RFC 3416 section 3

struct TV3Header {
    int32_t MsgId = 0;
    int32_t MaxSize = 0;
    uint8_t Flags = 0;
    int32_t SecurityModel = kUsmSecurityModel;
    std::string EngineId;
    uint32_t EngineBoots = 0;
    uint32_t EngineTime = 0;
    std::string UserName;
    std::string AuthParams;
    std::string PrivParams;
};

// A decoded message. AuthAt is where msgAuthenticationParameters' contents
// start in the datagram (for the digest's check); Data is the plain scoped
// PDU or, with kFlagPriv, the encrypted one's octets: a view into the
// datagram, which must outlive it.
struct TV3Message {
    TV3Header Header;
    std::size_t AuthAt = 0;
    std::string_view Data;
};

struct TScopedPdu {
    std::string_view ContextEngineId;
    std::string_view ContextName;
    std::string_view Pdu; // the whole PDU item, tag and length included
};

std::optional<TV3Message> DecodeMessage(std::string_view datagram);
// The plain text's scoped PDU. A decrypted DES text may carry padding after it.
std::optional<TScopedPdu> DecodeScopedPdu(std::string_view data);

// The scoped PDU's octets for `pdu` (a whole PDU item).
std::string EncodeScopedPdu(std::string_view contextEngineId, std::string_view contextName,
                            std::string_view pdu);
// The whole message; `data` is the scoped PDU (its SEQUENCE) or, with
// kFlagPriv, the encrypted octets, which go out as an OCTET STRING. The
// authentication parameters go out as given (zeros to be overwritten by the
// digest); `authAt`, when given, receives where their contents start.
std::string EncodeMessage(const TV3Header& header, std::string_view data, std::size_t* authAt = nullptr);
// The same into `out`, whose storage is reused from message to message.
void EncodeScopedPduTo(std::string& out, std::string_view contextEngineId, std::string_view contextName,
                       std::string_view pdu);
void EncodeMessageTo(std::string& out, const TV3Header& header, std::string_view data,
                     std::size_t* authAt = nullptr);

// The first item of an SNMPv2 report's bindings: its OID's contents, and the
// PDU's request-id, from a whole PDU item; nothing when the PDU is unreadable.
struct TPduSummary {
    int32_t Tag = 0;
    int32_t RequestId = 0;
    std::string FirstOid; // dotted
};
std::optional<TPduSummary> SummarisePdu(std::string_view pdu);

// The PDU item of a community message (SEQUENCE { version, community, PDU }),
// and such a message (SNMPv2c, empty community) around a PDU: the SNMPv1/v2c
// codec builds and reads the PDU that an SNMPv3 message carries.
std::optional<std::string_view> PduOfCommunityMessage(std::string_view message);
std::string CommunityMessageOf(std::string_view pdu);
void CommunityMessageTo(std::string& out, std::string_view pdu);

} // namespace veltrum::v3
