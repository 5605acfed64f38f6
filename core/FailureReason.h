#pragma once
// Why an exchange with the agent failed, in plain words: the main window
// shows it as its hint while a poll failure lasts, and the interface list
// shows it when it finds nothing.

#include <cstdint>
#include <exception>
#include <string>

namespace veltrum {

class TIdSNMP;

enum class FailureKind {
    Unknown,         // no reason known: the windows keep their usual hints
    NoReply,         // nothing came back within the time-out
    HostNotFound,    // the host name has no address (yet)
    Refused,         // the agent's host answered port unreachable
    AgentError,      // the agent answered with a non-zero error-status
    UnreadableReply, // something came back that is no usable answer
    SocketError,     // the socket layer failed otherwise (Code holds its code)
    NoInterfaces,    // the interface walk found no interface at all
    NoSuchInterface, // an SNMPv2c agent answered noSuchObject or noSuchInstance (Code) for the interface
    SnmpV3,          // the SNMPv3 exchange gave up for a named reason (Code: v3::TFailure)
};

struct FailureReason {
    FailureKind Kind = FailureKind::Unknown;
    std::string Agent;           // the host text as the user gave it
    int32_t Port = 161;          // the agent's UDP port
    int32_t TimeoutMs = 0;       // the reply wait
    int32_t Code = 0;            // the agent's error-status, or the socket error code
    int32_t InterfaceNumber = 0; // the interface asked for
    int32_t Version = 0;         // the request's version field: 0 SNMPv1, 1 SNMPv2c
};

// The hint text; empty for FailureKind::Unknown.
std::string FailureText(const FailureReason& reason);

// The reason for `error`, thrown by a query through `snmp` (by RunQuery or
// while its reply was read), which asked about `interfaceNumber`. Failures
// that say nothing about the exchange (a window that refused a value, an
// arithmetic failure) give FailureKind::Unknown.
FailureReason ExchangeFailure(const TIdSNMP& snmp, const std::exception_ptr& error, int32_t interfaceNumber);

} // namespace veltrum
