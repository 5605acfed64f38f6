// TIdSNMP against a scripted agent on 127.0.0.1: time-outs, refusals, late,
// oversized, truncated and error replies, socket replacement and hosts with
// their own port.
#include "snmp/IdSNMP.h"
#include "snmp/IdException.h"
#include "support/ScriptedResponder.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using veltrum::EIdSocketError;
using veltrum::TIdSNMP;
using veltrum::test::ScriptedResponder;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kInOctets = "1.3.6.1.2.1.2.2.1.10.1";
const char* const kOutOctets = "1.3.6.1.2.1.2.2.1.16.1";
const char* const kInPkts = "1.3.6.1.2.1.2.2.1.11.1";
const char* const kOutPkts = "1.3.6.1.2.1.2.2.1.17.1";

// The caller's sequence: reset, GetRequest, one binding per object.
void Prepare(TIdSNMP& snmp, const std::string& host, const std::vector<std::string>& oids) {
    snmp.Host = host;
    snmp.QueryMessage.ResetMessage();
    snmp.QueryMessage.PduTag = 0xA0;
    for (const std::string& oid : oids) {
        snmp.QueryMessage.AddBinding(oid, "", 4);
    }
}

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
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

ScriptedResponder::Handler Text(const std::string& value) {
    return [value](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
        return ScriptedResponder::Respond(request, {{"", 0x04, value}});
    };
}

} // namespace

TEST(TIdSNMP, ConstructionDefaults) {
    TIdSNMP snmp;
    EXPECT_EQ(snmp.Port, 161);
    EXPECT_EQ(snmp.TrapPort, 162);
    EXPECT_EQ(snmp.Community(), "qorvex");
    EXPECT_EQ(snmp.ReceiveTimeout, 5000);
    EXPECT_EQ(snmp.BufferSize, 8192);
    EXPECT_FALSE(snmp.Active());
    EXPECT_FALSE(snmp.BroadcastEnabled());
    EXPECT_EQ(snmp.QueryMessage.PeerPort, 161);
    EXPECT_EQ(snmp.ReplyMessage.PeerPort, 161);
    EXPECT_EQ(snmp.TrapMessage.PeerPort, 162);
    EXPECT_EQ(snmp.QueryMessage.Community, "qorvex");
}

TEST(RunQuery, CountersThroughTheWholePath) {
    ScriptedResponder agent(
        [](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            return ScriptedResponder::Respond(
                request,
                {{"", 0x41, "4294967295"}, {"", 0x41, "2147483648"}, {"", 0x41, "17"}, {"", 0x41, "0"}});
        });
    TIdSNMP snmp;
    snmp.SetCommunity("zintu");
    snmp.ReceiveTimeout = 1000;
    Prepare(snmp, agent.HostText(), {kInOctets, kOutOctets, kInPkts, kOutPkts});
    ASSERT_TRUE(snmp.RunQuery());
    ASSERT_EQ(snmp.ReplyMessage.CountValues(), 4);
    EXPECT_EQ(snmp.ReplyMessage.ValueAt(0), "-1");
    EXPECT_EQ(snmp.ReplyMessage.ValueAt(1), "-2147483648");
    EXPECT_EQ(snmp.ReplyMessage.ValueAt(2), "17");
    EXPECT_EQ(snmp.ReplyMessage.ValueAt(3), "0");
    EXPECT_EQ(snmp.QueryMessage.PeerHost, "127.0.0.1");
    EXPECT_EQ(snmp.QueryMessage.PeerPort, agent.Port());
}

TEST(RunQuery, RequestOnTheWire) {
    std::atomic<bool> seen{false};
    ScriptedResponder::Request got;
    ScriptedResponder agent(
        [&](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            got = request;
            seen = true;
            return std::nullopt;
        });
    TIdSNMP snmp;
    snmp.SetCommunity("public");
    snmp.ReceiveTimeout = 100;
    Prepare(snmp, agent.HostText(), {"1.3.6.1.2.1.1.5.0"});
    EXPECT_FALSE(snmp.RunQuery());
    ASSERT_TRUE(seen);
    EXPECT_EQ(got.Community, "public");
    EXPECT_EQ(got.PduTag, 0xA0);
    EXPECT_EQ(got.RequestId, 1);
    EXPECT_EQ(got.Oids, std::vector<std::string>{"1.3.6.1.2.1.1.5.0"});
    // RFC 1157 GetRequest, version 0, the first request-id, value an empty OCTET STRING.
    const std::string expected(
        "\x30\x26\x02\x01\x00\x04\x06public\xA0\x19\x02\x01\x01\x02\x01\x00\x02\x01\x00"
        "\x30\x0E\x30\x0C\x06\x08\x2B\x06\x01\x02\x01\x01\x05\x00\x04\x00",
        40);
    EXPECT_EQ(got.Raw, expected);
}

TEST(RunQuery, NoAnswerWaitsOutTheTimeout) {
    ScriptedResponder agent(
        [](const ScriptedResponder::Request&) { return std::optional<ScriptedResponder::Reply>{}; });
    TIdSNMP snmp;
    snmp.ReceiveTimeout = 250;
    Prepare(snmp, agent.HostText(), {kInOctets});
    const auto start = Clock::now();
    EXPECT_FALSE(snmp.RunQuery());
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 240);
    EXPECT_LT(elapsed, 1500);
    EXPECT_EQ(agent.RequestCount(), 1);
    EXPECT_EQ(snmp.ReplyMessage.CountValues(), 0);
    EXPECT_TRUE(snmp.ReplyMessage.Packet.empty());
    EXPECT_EQ(snmp.QueryMessage.PeerHost, "");
    EXPECT_EQ(snmp.QueryMessage.PeerPort, 0);
    EXPECT_THROW((void)snmp.ReplyMessage.ValueAt(0), veltrum::EListError);
    // The next reset takes the component's host and port again.
    snmp.QueryMessage.ResetMessage();
    EXPECT_EQ(snmp.QueryMessage.PeerHost, agent.HostText());
    EXPECT_EQ(snmp.QueryMessage.PeerPort, 161);
}

TEST(RunQuery, RefusalEndsTheWaitAtOnce) {
    TIdSNMP snmp;
    snmp.ReceiveTimeout = 3000;
    Prepare(snmp, "127.0.0.1:" + std::to_string(ClosedPort()), {kInOctets});
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        bool result = true;
        EXPECT_NO_THROW(result = snmp.RunQuery());
        EXPECT_FALSE(result);
        EXPECT_LT(MillisecondsSince(start), 1000) << "round " << round;
        EXPECT_EQ(snmp.ReplyMessage.CountValues(), 0);
    }
}

// A reply to a request that timed out is never taken for a later one's:
// whether it waits in the socket before the next request goes out, or
// arrives while that one waits for its own.
TEST(RunQuery, LateReplyIsNotTakenByTheNextQuery) {
    const struct {
        const char* Name;
        int PauseMs;      // between the first query's time-out and the second
        int FreshDelayMs; // the second reply's delay; the first comes 300 ms late
    } cases[] = {{"queued before the next request", 500, 0}, {"arriving during the next wait", 0, 400}};
    for (const auto& c : cases) {
        std::atomic<int> count{0};
        ScriptedResponder agent(
            [&](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
                auto reply = ScriptedResponder::Respond(request, {{"", 0x04, count == 0 ? "late" : "fresh"}});
                reply.DelayMs = count++ == 0 ? 300 : c.FreshDelayMs;
                return reply;
            });
        TIdSNMP snmp;
        snmp.ReceiveTimeout = 100;
        Prepare(snmp, agent.HostText(), {kInOctets});
        EXPECT_FALSE(snmp.RunQuery()) << c.Name;
        std::this_thread::sleep_for(std::chrono::milliseconds(c.PauseMs));
        snmp.ReceiveTimeout = 1000;
        Prepare(snmp, agent.HostText(), {kInOctets});
        ASSERT_TRUE(snmp.RunQuery()) << c.Name;
        ASSERT_EQ(snmp.ReplyMessage.CountValues(), 1) << c.Name;
        EXPECT_EQ(snmp.ReplyMessage.ValueAt(0), "fresh") << c.Name;
    }
}

TEST(RunQuery, ReplyLongerThanBufferSize) {
    std::atomic<size_t> valueSize{9000};
    ScriptedResponder agent(
        [&](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            return ScriptedResponder::Respond(request, {{"", 0x04, std::string(valueSize.load(), 'v')}});
        });
    TIdSNMP snmp;
    snmp.ReceiveTimeout = 1000;
    Prepare(snmp, agent.HostText(), {kInOctets});
    try {
        (void)snmp.RunQuery();
        FAIL() << "no exception";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.LastError(), 10040);
        EXPECT_STREQ(error.what(), "Socket Error # 10040\r\nMessage too long.");
    }
    // The oversized datagram was consumed; a reply of exactly BufferSize octets fits.
    valueSize = 100;
    const size_t replySize =
        ScriptedResponder::Respond({"qorvex", 0xA0, 0, {kInOctets}, ""}, {{"", 0x04, std::string(100, 'v')}})
            .Datagram.size();
    snmp.BufferSize = static_cast<int32_t>(replySize);
    Prepare(snmp, agent.HostText(), {kInOctets});
    ASSERT_TRUE(snmp.RunQuery());
    EXPECT_EQ(snmp.ReplyMessage.ValueAt(0), std::string(100, 'v'));
    snmp.BufferSize = static_cast<int32_t>(replySize - 1);
    Prepare(snmp, agent.HostText(), {kInOctets});
    EXPECT_THROW((void)snmp.RunQuery(), EIdSocketError);
}

TEST(RunQuery, TruncatedReplyAtEveryLength) {
    const std::vector<ScriptedResponder::VarBind> binds = {
        {"", 0x41, "123456"}, {"", 0x41, "4000000000"}, {"", 0x41, "7"}, {"", 0x04, "eth0"}};
    std::atomic<size_t> cut{0};
    std::string full;
    ScriptedResponder agent(
        [&](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            auto reply = ScriptedResponder::Respond(request, binds);
            reply.Datagram.resize(std::min(cut.load(), reply.Datagram.size()));
            return reply;
        });
    TIdSNMP snmp;
    snmp.ReceiveTimeout = 2000;
    Prepare(snmp, agent.HostText(), {kInOctets, kOutOctets, kInPkts, kOutPkts});
    full =
        ScriptedResponder::Respond({"qorvex", 0xA0, 0, {kInOctets, kOutOctets, kInPkts, kOutPkts}, ""}, binds)
            .Datagram;
    for (size_t length = 0; length < full.size(); ++length) {
        cut = length;
        Prepare(snmp, agent.HostText(), {kInOctets, kOutOctets, kInPkts, kOutPkts});
        const auto start = Clock::now();
        bool result = true;
        EXPECT_NO_THROW(result = snmp.RunQuery()) << "length " << length;
        EXPECT_LT(MillisecondsSince(start), 1500) << "length " << length;
        if (length == 0) {
            EXPECT_FALSE(result); // an empty datagram counts as no reply
        }
        EXPECT_LE(snmp.ReplyMessage.CountValues(), 4) << "length " << length;
    }
    cut = full.size();
    Prepare(snmp, agent.HostText(), {kInOctets, kOutOctets, kInPkts, kOutPkts});
    ASSERT_TRUE(snmp.RunQuery());
    EXPECT_EQ(snmp.ReplyMessage.ValueAt(1), "-294967296");
    EXPECT_EQ(snmp.ReplyMessage.ValueAt(3), "eth0");
}

TEST(RunQuery, ErrorStatusReplyStillCarriesValues) {
    ScriptedResponder agent(
        [](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            return ScriptedResponder::Respond(request, {{"", 0x05, ""}, {"", 0x04, "kept"}}, 2);
        });
    TIdSNMP snmp;
    snmp.ReceiveTimeout = 1000;
    Prepare(snmp, agent.HostText(), {"1.3.6.1.2.1.2.2.1.2.99", "1.3.6.1.2.1.1.5.0"});
    EXPECT_FALSE(snmp.RunQuery());
    EXPECT_EQ(snmp.ReplyMessage.ErrorStatus, 2);
    ASSERT_EQ(snmp.ReplyMessage.CountValues(), 2);
    EXPECT_EQ(snmp.ReplyMessage.ValueAt(1), "kept");
}

TEST(RunQuery, HostThatDoesNotResolve) {
    TIdSNMP snmp;
    snmp.ReceiveTimeout = 100;
    Prepare(snmp, "no-such-agent.invalid", {kInOctets});
    try {
        (void)snmp.RunQuery();
        FAIL() << "no exception";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.LastError(), 11001);
        EXPECT_STREQ(error.what(), "Socket Error # 11001\r\nHost not found.");
    }
    // With a port suffix the name part is looked up, and fails the same way.
    Prepare(snmp, "no-such-agent.invalid:1161", {kInOctets});
    EXPECT_THROW((void)snmp.RunQuery(), EIdSocketError);
}

TEST(RunQuery, HostWithItsOwnPort) {
    ScriptedResponder agent(Text("ok"));
    TIdSNMP snmp;
    snmp.ReceiveTimeout = 1000;
    ASSERT_EQ(snmp.Port, 161);
    for (const std::string& host : {agent.HostText(), "localhost:" + std::to_string(agent.Port()),
                                    "LOCALHOST:" + std::to_string(agent.Port())}) {
        Prepare(snmp, host, {kInOctets});
        EXPECT_EQ(snmp.QueryMessage.PeerHost, host); // the message keeps the text
        ASSERT_TRUE(snmp.RunQuery()) << host;
        EXPECT_EQ(snmp.ReplyMessage.ValueAt(0), "ok");
        EXPECT_EQ(snmp.QueryMessage.PeerPort, agent.Port());
    }
    EXPECT_EQ(agent.RequestCount(), 3);
    // Without a suffix, Port decides.
    snmp.Port = agent.Port();
    Prepare(snmp, "127.0.0.1", {kInOctets});
    EXPECT_TRUE(snmp.RunQuery());
    EXPECT_EQ(agent.RequestCount(), 4);
}

TEST(RunQuery, ReceiveTimeoutMinusTwoWaitsWithoutLimit) {
    ScriptedResponder agent(
        [](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            auto reply = ScriptedResponder::Respond(request, {{"", 0x02, "-5"}});
            reply.DelayMs = 300;
            return reply;
        });
    TIdSNMP snmp;
    snmp.ReceiveTimeout = -2;
    Prepare(snmp, agent.HostText(), {kInOctets});
    ASSERT_TRUE(snmp.RunQuery());
    EXPECT_EQ(snmp.ReplyMessage.ValueAt(0), "-5");
}

TEST(SetActive, FalseThenTrueGivesANewLocalPort) {
    ScriptedResponder agent(Text("x"));
    TIdSNMP snmp;
    snmp.ReceiveTimeout = 1000;
    snmp.SetActive(true);
    EXPECT_TRUE(snmp.Active());
    Prepare(snmp, agent.HostText(), {kInOctets});
    ASSERT_TRUE(snmp.RunQuery());
    const int32_t first = snmp.SocketHandle().Port;
    EXPECT_GT(first, 0);
    snmp.SetActive(false);
    EXPECT_FALSE(snmp.Active());
    snmp.SetActive(true);
    EXPECT_TRUE(snmp.Active());
    Prepare(snmp, agent.HostText(), {kInOctets});
    ASSERT_TRUE(snmp.RunQuery());
    EXPECT_NE(snmp.SocketHandle().Port, first);
}

TEST(SetBroadcastEnabled, AppliedToTheOpenSocket) {
    TIdSNMP snmp;
    snmp.SetActive(true);
    const auto broadcast = [&] {
        int value = -1;
        socklen_t size = sizeof value;
        ::getsockopt(snmp.SocketHandle().Handle(), SOL_SOCKET, SO_BROADCAST, &value, &size);
        return value;
    };
    EXPECT_EQ(broadcast(), 0);
    snmp.SetBroadcastEnabled(true);
    EXPECT_NE(broadcast(), 0);
    snmp.SetActive(false);
    snmp.SetActive(true); // a new socket takes the setting too
    EXPECT_NE(broadcast(), 0);
}

TEST(SetCommunity, DifferentTextEmptiesTheQuery) {
    TIdSNMP snmp;
    Prepare(snmp, "127.0.0.1", {kInOctets, kOutOctets});
    snmp.SetCommunity("qorvex"); // the same text: bindings stay
    EXPECT_EQ(snmp.QueryMessage.OidTexts.size(), 2U);
    snmp.SetCommunity("zintu");
    EXPECT_TRUE(snmp.QueryMessage.OidTexts.empty());
    EXPECT_EQ(snmp.QueryMessage.Community, "zintu");
    EXPECT_EQ(snmp.ReplyMessage.Community, "zintu");
    EXPECT_EQ(snmp.TrapMessage.Community, "zintu");
    EXPECT_EQ(snmp.TrapMessage.PeerPort, 162);
}

TEST(SendBytes, UnreadRefusalDoesNotFailTheNextSend) {
    veltrum::TIdUDPClient client;
    const uint16_t closed = ClosedPort();
    client.SendText("127.0.0.1", closed, "first");
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the refusal is queued by now
    EXPECT_NO_THROW(client.SendText("127.0.0.1", closed, "second"));
    // The refusal of the second datagram is what a reception reports.
    std::string host;
    int32_t port = 0;
    try {
        (void)client.ReceiveText(host, port, 2000);
        FAIL() << "no exception";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.LastError(), 10054);
        EXPECT_STREQ(error.what(), "Socket Error # 10054\r\nConnection reset by peer.");
    }
}

TEST(ReceiveText, NothingWaitingGivesEmptyTextAndNoPeer) {
    veltrum::TIdUDPClient client;
    client.ReceiveTimeout = 50;
    std::string host = "stale";
    int32_t port = 99;
    EXPECT_EQ(client.ReceiveText(host, port), "");
    EXPECT_EQ(host, "");
    EXPECT_EQ(port, 0);
    EXPECT_TRUE(client.Active()); // reception opened the socket
}

TEST(WaitReadable, ClosedHandleRaises) {
    veltrum::TIdSocketHandle handle;
    EXPECT_THROW((void)handle.WaitReadable(0), veltrum::EIdConnClosedGracefully);
}
