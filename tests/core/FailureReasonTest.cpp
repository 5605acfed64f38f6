#include "core/FailureReason.h"

#include "core/PollCycle.h"
#include "core/RecordingView.h"
#include "snmp/IdSNMP.h"
#include "support/ScriptedResponder.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>

namespace veltrum {
namespace {

using test::RecordingView;
using test::ScriptedResponder;

FailureReason Reason(FailureKind kind, int32_t code = 0, int32_t version = 0) {
    FailureReason reason;
    reason.Kind = kind;
    reason.Agent = "192.168.1.1";
    reason.Port = 161;
    reason.TimeoutMs = 250;
    reason.Code = code;
    reason.InterfaceNumber = 7;
    reason.Version = version;
    return reason;
}

TEST(FailureText, Table) {
    const struct {
        FailureReason reason;
        const char* text;
    } rows[] = {
        {Reason(FailureKind::Unknown), ""},
        {Reason(FailureKind::NoReply),
         "No reply from 192.168.1.1 within 250 ms.\nIn SNMPv1 a wrong community "
         "string usually looks like this: the agent stays silent."},
        {Reason(FailureKind::HostNotFound), "192.168.1.1: Host not found."},
        {Reason(FailureKind::Refused), "192.168.1.1 refused the request (port unreachable): no SNMP agent "
                                       "listens on UDP port 161 there."},
        {Reason(FailureKind::AgentError, 2),
         "192.168.1.1 answered noSuchName: interface 7 does not exist on this agent."},
        {Reason(FailureKind::AgentError, 1),
         "192.168.1.1 answered tooBig: the answer would be too large for the agent to send."},
        {Reason(FailureKind::AgentError, 5),
         "192.168.1.1 answered genErr: the agent could not read the values."},
        {Reason(FailureKind::AgentError, 16),
         "192.168.1.1 answered authorizationError: this community string may not read the values."},
        {Reason(FailureKind::AgentError, 4), "192.168.1.1 answered readOnly: the agent refused the request."},
        {Reason(FailureKind::AgentError, 16, 3),
         "192.168.1.1 answered authorizationError: this SNMPv3 user may not "
         "read the values at this security level."},
        {Reason(FailureKind::AgentError, 19), "192.168.1.1 answered with error-status 19."},
        {Reason(FailureKind::AgentError, -1), "192.168.1.1 answered with error-status -1."},
        {Reason(FailureKind::UnreadableReply), "The reply from 192.168.1.1 could not be read."},
        {Reason(FailureKind::SocketError, 10051), "192.168.1.1: Network is unreachable."},
        {Reason(FailureKind::SocketError, 12345), "192.168.1.1: socket error 12345."},
        {Reason(FailureKind::NoInterfaces), "192.168.1.1 shows this community no interface."},
        {Reason(FailureKind::NoSuchInterface, 0x80, 1),
         "192.168.1.1 answered noSuchObject: interface 7 does not exist on this agent."},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FailureText(row.reason), row.text);
    }
}

// A loopback port nobody listens on: bound once, then closed.
uint16_t ClosedPort() {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(s);
    return ntohs(address.sin_port);
}

// Every kind of failure a poll meets reaches the window as its hint.
TEST(PollFailureReason, EachKindReachesTheView) {
    enum class Mode { Silent, NoSuchName, Garbage, Counters, NoSuchInstance };
    std::atomic<Mode> mode{Mode::Silent};
    ScriptedResponder agent(
        [&mode](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            switch (mode.load()) {
            case Mode::Silent:
                return std::nullopt;
            case Mode::NoSuchName: // RFC 1157 4.1.2: the request's bindings come back
                return ScriptedResponder::Respond(
                    request, {{"", 0x04, ""}, {"", 0x04, ""}, {"", 0x04, ""}, {"", 0x04, ""}}, 2);
            case Mode::Garbage:
                return ScriptedResponder::Reply{std::string("\x30\x03\x02\x01\x00", 5), 0};
            case Mode::NoSuchInstance: // RFC 3416 4.2.1: SNMPv2c marks each missing value
                return ScriptedResponder::Respond(
                    request, {{"", 0x81, ""}, {"", 0x81, ""}, {"", 0x81, ""}, {"", 0x81, ""}});
            case Mode::Counters:
                return ScriptedResponder::Respond(
                    request, {{"", 0x41, "1"}, {"", 0x41, "2"}, {"", 0x41, "3"}, {"", 0x41, "4"}});
            }
            return std::nullopt;
        });
    MonitorState state;
    state.HistoryLength = 120;
    state.InterfaceNumber = 7;
    state.DownloadScale = 1024;
    state.UploadScale = 1024;
    state.TimeoutMs = 100;
    TIdSNMP snmp;
    RecordingView view;
    const NumberLocale english{".", ","};
    const std::string host = agent.HostText();
    const auto poll = [&](const std::string& agentHost) {
        snmp.Host = agentHost;
        RunPollCycle(state, snmp, view, english);
        return view.Reasons.empty() ? std::string("(no failure)") : view.Reasons.back();
    };

    EXPECT_EQ(poll(host), "No reply from " + host +
                              " within 100 ms.\nIn SNMPv1 a wrong community string usually looks like this: "
                              "the agent stays silent.");
    mode = Mode::NoSuchName;
    EXPECT_EQ(poll(host), host + " answered noSuchName: interface 7 does not exist on this agent.");
    mode = Mode::Garbage;
    EXPECT_EQ(poll(host), "The reply from " + host + " could not be read.");
    const std::string closed = "127.0.0.1:" + std::to_string(ClosedPort());
    EXPECT_EQ(poll(closed),
              closed + " refused the request (port unreachable): no SNMP agent listens on UDP port " +
                  closed.substr(closed.find(':') + 1) + " there.");
    EXPECT_EQ(poll("no-such-agent.invalid"), "no-such-agent.invalid: Host not found.");
    // A failure that says nothing of the exchange leaves the usual hints.
    state.DownloadScale = -1;
    EXPECT_EQ(poll(host), "");
    EXPECT_EQ(view.Failures, 6);
    state.DownloadScale = 1024;
    mode = Mode::Counters;
    (void)poll(host);
    EXPECT_EQ(view.Failures, 6);
    EXPECT_EQ(state.PollCount, 1);
    // SNMPv2c names its own version, and an interface that has neither
    // 64-bit nor 32-bit counters is missing.
    state.SnmpVersion = kSnmpVersion2c;
    mode = Mode::Silent;
    EXPECT_EQ(poll(host), "No reply from " + host +
                              " within 100 ms.\nIn SNMPv2c a wrong community string usually looks like this: "
                              "the agent stays silent.");
    mode = Mode::NoSuchInstance;
    EXPECT_EQ(poll(host), host + " answered noSuchInstance: interface 7 does not exist on this agent.");
}

} // namespace
} // namespace veltrum
