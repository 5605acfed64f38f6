#include "core/FailureReason.h"

#include "snmp/Ber.h"
#include "snmp/IdException.h"
#include "snmp/IdSNMP.h"
#include "snmp/IdStack.h"
#include "snmp/TextToInt.h"

#include <iterator>

namespace veltrum {

namespace {

constexpr int32_t kGetResponse = 0xA2; // RFC 1157 section 4.1.4
constexpr int32_t kHostNotFound = 11001;
constexpr int32_t kMessageTooLong = 10040;
constexpr int32_t kRefusedDatagram = 10054;

// error-status names: 0 to 5 from RFC 1157 section 4.1.1, the rest from
// RFC 3416 section 3, which an agent speaking several versions may send.
const char* errorStatusName(int32_t status) {
    static const char* const kNames[] = {"noError",
                                         "tooBig",
                                         "noSuchName",
                                         "badValue",
                                         "readOnly",
                                         "genErr",
                                         "noAccess",
                                         "wrongType",
                                         "wrongLength",
                                         "wrongEncoding",
                                         "wrongValue",
                                         "noCreation",
                                         "inconsistentValue",
                                         "resourceUnavailable",
                                         "commitFailed",
                                         "undoFailed",
                                         "authorizationError",
                                         "notWritable",
                                         "inconsistentName"};
    if (status < 0 || status >= static_cast<int32_t>(std::size(kNames))) {
        return nullptr;
    }
    return kNames[status];
}

const char* versionName(int32_t version) {
    if (version == v3::kVersion3) {
        return "SNMPv3";
    }
    return version == kVersion2c ? "SNMPv2c" : "SNMPv1";
}

// The agent's own word for a missing interface (noSuchName in SNMPv1, an
// exception value in SNMPv2c), then what it means here.
std::string noSuchInterfaceText(const FailureReason& reason, const char* answer) {
    return reason.Agent + " answered " + answer + ": interface " + std::to_string(reason.InterfaceNumber) +
           " does not exist on this agent.";
}

std::string agentErrorText(const FailureReason& reason) {
    const char* name = errorStatusName(reason.Code);
    if (name == nullptr) {
        return reason.Agent + " answered with error-status " + std::to_string(reason.Code) + ".";
    }
    std::string text = reason.Agent + " answered " + name + ": ";
    switch (reason.Code) {
    case 1:
        return text + "the answer would be too large for the agent to send.";
    case 2:
        return noSuchInterfaceText(reason, name);
    case 5:
        return text + "the agent could not read the values.";
    case 6:
    case 16:
        // An SNMPv3 agent's access rules name a user and a security level.
        return text + (reason.Version == v3::kVersion3
                           ? "this SNMPv3 user may not read the values at this security level."
                           : "this community string may not read the values.");
    default:
        return text + "the agent refused the request.";
    }
}

// The socket layer's own text for a code, without its "Socket Error # n" line.
std::string socketErrorWords(int32_t code) {
    const std::string full = TIdStack::SocketErrorText(code);
    const size_t lineBreak = full.find("\r\n");
    std::string words = lineBreak == std::string::npos ? std::string() : full.substr(lineBreak + 2);
    if (words.empty()) {
        words = "socket error " + std::to_string(code) + ".";
    }
    return words;
}

} // namespace

std::string FailureText(const FailureReason& reason) {
    switch (reason.Kind) {
    case FailureKind::Unknown:
        return {};
    case FailureKind::NoReply:
        if (reason.Version == v3::kVersion3) {
            // SNMPv3 answers a wrong user or key with a report: silence is the network's.
            return "No reply from " + reason.Agent + " within " + std::to_string(reason.TimeoutMs) + " ms.";
        }
        // RFC 1157 section 4.1, which community-based SNMPv2c keeps (RFC 1901):
        // a message with an unknown community is dropped without an answer.
        return "No reply from " + reason.Agent + " within " + std::to_string(reason.TimeoutMs) + " ms.\nIn " +
               versionName(reason.Version) +
               " a wrong community string usually looks like this: the agent stays silent.";
    case FailureKind::HostNotFound:
        return reason.Agent + ": Host not found.";
    case FailureKind::Refused:
        return reason.Agent + " refused the request (port unreachable): no SNMP agent listens on UDP port " +
               std::to_string(reason.Port) + " there.";
    case FailureKind::AgentError:
        return agentErrorText(reason);
    case FailureKind::UnreadableReply:
        return "The reply from " + reason.Agent + " could not be read.";
    case FailureKind::SocketError:
        return reason.Agent + ": " + socketErrorWords(reason.Code);
    case FailureKind::NoInterfaces:
        return reason.Agent + " shows this community no interface.";
    case FailureKind::SnmpV3:
        return reason.Agent + ": " + v3::FailureText(static_cast<v3::TFailure>(reason.Code)) + ".";
    case FailureKind::NoSuchInterface:
        return noSuchInterfaceText(reason,
                                   reason.Code == kTagNoSuchObject ? "noSuchObject" : "noSuchInstance");
    }
    return {};
}

FailureReason ExchangeFailure(const TIdSNMP& snmp, const std::exception_ptr& error, int32_t interfaceNumber) {
    FailureReason reason;
    reason.Agent = snmp.Host;
    reason.Port = snmp.Port;
    std::string name;
    (void)SplitHostPort(snmp.Host, name, reason.Port);
    reason.TimeoutMs = snmp.ReceiveTimeout;
    reason.InterfaceNumber = interfaceNumber;
    reason.Version = snmp.UsesV3() ? v3::kVersion3 : snmp.QueryMessage.Version;
    if (!error) {
        return reason;
    }
    try {
        std::rethrow_exception(error);
    } catch (const EIdSocketError& socketError) {
        reason.Code = socketError.LastError();
        switch (reason.Code) {
        case kHostNotFound:
            reason.Kind = FailureKind::HostNotFound;
            break;
        case kRefusedDatagram:
            reason.Kind = FailureKind::Refused;
            break;
        case kMessageTooLong: // a reply longer than the receive buffer
            reason.Kind = FailureKind::UnreadableReply;
            break;
        default:
            reason.Kind = FailureKind::SocketError;
            break;
        }
    } catch (const EListError&) {
        // A value missing from the reply: the reply tells why.
        reason.Kind = FailureKind::UnreadableReply;
    } catch (const EConvertError&) {
        reason.Kind = FailureKind::UnreadableReply;
    } catch (...) {
        return reason;
    }
    if (reason.Kind == FailureKind::UnreadableReply && reason.Code == 0) {
        const TSNMPInfo& reply = snmp.ReplyMessage;
        if (snmp.V3Failure() != v3::TFailure::None) {
            reason.Kind = FailureKind::SnmpV3;
            reason.Code = static_cast<int32_t>(snmp.V3Failure());
        } else if (snmp.ReplyRefused()) {
            reason.Kind = FailureKind::Refused;
        } else if (reply.Packet.empty()) {
            reason.Kind = FailureKind::NoReply;
        } else if (reply.PduTag == kGetResponse && reply.ErrorStatus != 0) {
            reason.Kind = FailureKind::AgentError;
            reason.Code = reply.ErrorStatus;
        } else if (reply.PduTag == kGetResponse && snmp.QueryMessage.PduTag == kTagGetRequest) {
            // RFC 3416 section 4.2.1: an SNMPv2c agent answers a Get for an
            // instance it does not have with an exception in its place, not
            // with an error-status.
            for (int i = 0; i < reply.CountValues(); ++i) {
                const int32_t type = reply.ValueTexts[static_cast<std::size_t>(i)].Type;
                if (type == kTagNoSuchObject || type == kTagNoSuchInstance) {
                    reason.Kind = FailureKind::NoSuchInterface;
                    reason.Code = type;
                    break;
                }
            }
        }
    }
    return reason;
}

} // namespace veltrum
