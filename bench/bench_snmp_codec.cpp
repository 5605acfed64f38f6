// The poll's SNMP codec work against the same work in net-snmp's library:
// encoding the four-counter GetRequest and decoding a four-Counter32
// GetResponse (SNMPv1), and the same for the SNMPv2c poll of the four 64-bit
// counters (NULL values in the request, Counter64 in the reply). Decoding is
// measured as the poll does it, the four counters read as integers
// (parse_get_response*), and with the four value texts made as well, for the
// callers that show them (parse_get_response*_texts). Neither side opens a
// session socket or touches the network. Our build starts from OID texts
// (what the poll has); net-snmp's from OID arrays, its natural input, which
// spares it the text parsing. The OID texts come with their lengths, as the
// poll's own strings do. In the full benchmark the process holds a
// QApplication, as the program does; starting it leaves the upper halves of
// the AVX registers dirty, which slows SSE code that does not clear them first.
#include "BenchPoll.h"
#include "snmp/Ber.h"
#include "snmp/SnmpInfo.h"

#include <benchmark/benchmark.h>

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using veltrum::TSNMPInfo;

const std::string_view kOids[4] = {"1.3.6.1.2.1.2.2.1.10.1", "1.3.6.1.2.1.2.2.1.16.1",
                                   "1.3.6.1.2.1.2.2.1.11.1", "1.3.6.1.2.1.2.2.1.17.1"};
const std::string_view kHcOids[4] = {"1.3.6.1.2.1.31.1.1.1.6.1", "1.3.6.1.2.1.31.1.1.1.10.1",
                                     "1.3.6.1.2.1.31.1.1.1.7.1", "1.3.6.1.2.1.31.1.1.1.11.1"};
class BenchOwner final : public veltrum::TSnmpMessageOwner {
public:
    const std::string& OwnerCommunity() const override { return m_community; }
    const std::string& OwnerHost() const override { return m_host; }
    int32_t OwnerPort() const override { return 161; }
    int32_t OwnerTrapPort() const override { return 162; }
    bool IsTrapMessage(const TSNMPInfo&) const override { return false; }

private:
    std::string m_community = "qorvex";
    std::string m_host = "192.0.2.1";
};

// The reply the poll parses: four Counter32 values of realistic size.
std::string getResponse() {
    static const BenchOwner owner;
    TSNMPInfo reply(owner);
    reply.ResetMessage();
    reply.PduTag = 0xA2;
    reply.RequestId = 0;
    const char* const values[4] = {"166681654", "98123456", "1492281", "1288331"};
    for (int i = 0; i < 4; ++i) {
        reply.AddBinding(kOids[i], values[i], 0x41);
    }
    return reply.BuildMessage();
}

// The SNMPv2c reply: four Counter64 values of a busy port, above 2^32 and
// one above 2^63 (nine octets with X.690's 00).
std::string getResponse64() {
    static const BenchOwner owner;
    TSNMPInfo reply(owner);
    reply.ResetMessage();
    reply.Version = veltrum::kVersion2c;
    reply.PduTag = 0xA2;
    const char* const values[4] = {"1844674407370955", "98123456789012", "9223372036854775809", "1288331"};
    for (int i = 0; i < 4; ++i) {
        reply.AddBinding(kHcOids[i], values[i], veltrum::kTagCounter64);
    }
    return reply.BuildMessage();
}

// net-snmp's library, set up once: no MIB files, no configuration files.
netsnmp_session& netsnmpSession() {
    static netsnmp_session session = [] {
        setenv("MIBS", "", 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        init_snmp("veltrum_bench");
        netsnmp_session s;
        snmp_sess_init(&s);
        s.version = SNMP_VERSION_1;
        static unsigned char community[] = "qorvex";
        s.community = community;
        s.community_len = 6;
        return s;
    }();
    return session;
}

netsnmp_session& netsnmpSession2c() {
    static netsnmp_session session = [] {
        netsnmp_session s = netsnmpSession();
        s.version = SNMP_VERSION_2c;
        return s;
    }();
    return session;
}

void buildGetRequestVeltrum(benchmark::State& state) {
    const BenchOwner owner;
    TSNMPInfo query(owner);
    for (auto _ : state) {
        query.ResetMessage();
        query.PduTag = 0xA0;
        for (const std::string_view text : kOids) {
            query.AddBinding(text, "", 4);
        }
        query.Packet = query.BuildMessage();
        benchmark::DoNotOptimize(query.Packet.data());
    }
}

// What snmp_send does before building: version and community from the
// session.
void copyCommunity(const netsnmp_session& session, netsnmp_pdu& pdu) {
    pdu.version = session.version;
    pdu.community = static_cast<u_char*>(malloc(session.community_len));
    memcpy(pdu.community, session.community, session.community_len);
    pdu.community_len = session.community_len;
}

void buildGetRequestNetsnmp(benchmark::State& state) {
    netsnmp_session& session = netsnmpSession();
    veltrum::bench::BuildNetSnmpRequests(state, session, veltrum::bench::NetSnmpPollOids(),
                                         [&session](netsnmp_pdu& pdu) { copyCommunity(session, pdu); });
}

// What the poll does with a reply: parse it and read the four counters as
// integers.
void parseGetResponseVeltrum(benchmark::State& state) {
    const BenchOwner owner;
    TSNMPInfo reply(owner);
    const std::string packet = getResponse();
    for (auto _ : state) {
        reply.ResetMessage();
        reply.ParseMessage(packet);
        for (int i = 0; i < 4; ++i) {
            int32_t value = 0;
            if (!reply.Int32At(i, value)) {
                state.SkipWithError("not an integer");
            }
            benchmark::DoNotOptimize(value);
        }
    }
    if (reply.CountValues() != 4 || reply.ValueAt(0) != "166681654") {
        state.SkipWithError("unexpected parse");
    }
}

// net-snmp decodes the values into its variables; the four counters are
// read from them.
void parseGetResponseNetsnmp(benchmark::State& state) {
    netsnmp_session& session = netsnmpSession();
    std::string packet = getResponse();
    std::vector<u_char> data(packet.begin(), packet.end());
    for (auto _ : state) {
        auto* pdu = static_cast<netsnmp_pdu*>(calloc(1, sizeof(netsnmp_pdu)));
        if (snmp_parse(nullptr, &session, pdu, data.data(), data.size()) != 0 || pdu->variables == nullptr) {
            state.SkipWithError("snmp_parse failed");
        }
        for (netsnmp_variable_list* v = pdu->variables; v != nullptr; v = v->next_variable) {
            benchmark::DoNotOptimize(*v->val.integer);
        }
        snmp_free_pdu(pdu);
    }
}

// Parsing a reply and making the texts of its four values, for callers that
// show them. net-snmp's side writes the decimal texts of the numbers it
// decoded itself, in the same forms (signed 32-bit, unsigned 64-bit), with
// std::to_chars: the quickest way a net-snmp caller has to them.
void parseGetResponseTextsVeltrum(benchmark::State& state) {
    const BenchOwner owner;
    TSNMPInfo reply(owner);
    const std::string packet = getResponse();
    for (auto _ : state) {
        reply.ResetMessage();
        reply.ParseMessage(packet);
        for (int i = 0; i < 4; ++i) {
            benchmark::DoNotOptimize(reply.ValueAt(i).data());
        }
    }
    if (reply.CountValues() != 4 || reply.ValueAt(0) != "166681654") {
        state.SkipWithError("unexpected parse");
    }
}

// The texts net-snmp's side writes, reused from one parse to the next as the
// message's own are.
void setNumberText(std::string& text, auto number) {
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr;
    text.assign(digits.data(), end);
}

void parseGetResponseTextsNetsnmp(benchmark::State& state) {
    netsnmp_session& session = netsnmpSession();
    std::string packet = getResponse();
    std::vector<u_char> data(packet.begin(), packet.end());
    std::array<std::string, 4> texts;
    for (auto _ : state) {
        auto* pdu = static_cast<netsnmp_pdu*>(calloc(1, sizeof(netsnmp_pdu)));
        if (snmp_parse(nullptr, &session, pdu, data.data(), data.size()) != 0 || pdu->variables == nullptr) {
            state.SkipWithError("snmp_parse failed");
        }
        std::size_t i = 0;
        for (netsnmp_variable_list* v = pdu->variables; v != nullptr && i < texts.size();
             v = v->next_variable) {
            setNumberText(texts[i], static_cast<int32_t>(*v->val.integer));
            benchmark::DoNotOptimize(texts[i++].data());
        }
        snmp_free_pdu(pdu);
    }
    if (texts[0] != "166681654") {
        state.SkipWithError("unexpected parse");
    }
}

void buildGetRequest64Veltrum(benchmark::State& state) {
    const BenchOwner owner;
    TSNMPInfo query(owner);
    for (auto _ : state) {
        query.ResetMessage();
        query.Version = veltrum::kVersion2c;
        query.PduTag = 0xA0;
        for (const std::string_view text : kHcOids) {
            query.AddBinding(text, "", veltrum::kTagNull);
        }
        query.Packet = query.BuildMessage();
        benchmark::DoNotOptimize(query.Packet.data());
    }
}

void buildGetRequest64Netsnmp(benchmark::State& state) {
    netsnmp_session& session = netsnmpSession2c();
    veltrum::bench::BuildNetSnmpRequests(state, session, veltrum::bench::NetSnmpOids(kHcOids),
                                         [&session](netsnmp_pdu& pdu) { copyCommunity(session, pdu); });
}

void parseGetResponse64Veltrum(benchmark::State& state) {
    const BenchOwner owner;
    TSNMPInfo reply(owner);
    const std::string packet = getResponse64();
    for (auto _ : state) {
        reply.ResetMessage();
        reply.ParseMessage(packet);
        for (int i = 0; i < 4; ++i) {
            uint64_t value = 0;
            if (!reply.Unsigned64At(i, value)) {
                state.SkipWithError("not an integer");
            }
            benchmark::DoNotOptimize(value);
        }
    }
    if (reply.CountValues() != 4 || reply.ValueAt(2) != "9223372036854775809") {
        state.SkipWithError("unexpected parse");
    }
}

void parseGetResponse64Netsnmp(benchmark::State& state) {
    netsnmp_session& session = netsnmpSession2c();
    std::string packet = getResponse64();
    std::vector<u_char> data(packet.begin(), packet.end());
    for (auto _ : state) {
        auto* pdu = static_cast<netsnmp_pdu*>(calloc(1, sizeof(netsnmp_pdu)));
        if (snmp_parse(nullptr, &session, pdu, data.data(), data.size()) != 0 || pdu->variables == nullptr ||
            pdu->variables->type != ASN_COUNTER64) {
            state.SkipWithError("snmp_parse failed");
        }
        for (netsnmp_variable_list* v = pdu->variables; v != nullptr; v = v->next_variable) {
            benchmark::DoNotOptimize(v->val.counter64->high);
            benchmark::DoNotOptimize(v->val.counter64->low);
        }
        snmp_free_pdu(pdu);
    }
}

void parseGetResponse64TextsVeltrum(benchmark::State& state) {
    const BenchOwner owner;
    TSNMPInfo reply(owner);
    const std::string packet = getResponse64();
    for (auto _ : state) {
        reply.ResetMessage();
        reply.ParseMessage(packet);
        for (int i = 0; i < 4; ++i) {
            benchmark::DoNotOptimize(reply.ValueAt(i).data());
        }
    }
    if (reply.CountValues() != 4 || reply.ValueAt(2) != "9223372036854775809") {
        state.SkipWithError("unexpected parse");
    }
}

void parseGetResponse64TextsNetsnmp(benchmark::State& state) {
    netsnmp_session& session = netsnmpSession2c();
    std::string packet = getResponse64();
    std::vector<u_char> data(packet.begin(), packet.end());
    std::array<std::string, 4> texts;
    for (auto _ : state) {
        auto* pdu = static_cast<netsnmp_pdu*>(calloc(1, sizeof(netsnmp_pdu)));
        if (snmp_parse(nullptr, &session, pdu, data.data(), data.size()) != 0 || pdu->variables == nullptr ||
            pdu->variables->type != ASN_COUNTER64) {
            state.SkipWithError("snmp_parse failed");
        }
        std::size_t i = 0;
        for (netsnmp_variable_list* v = pdu->variables; v != nullptr && i < texts.size();
             v = v->next_variable) {
            const counter64& number = *v->val.counter64;
            setNumberText(texts[i], (uint64_t{number.high} << 32) | number.low);
            benchmark::DoNotOptimize(texts[i++].data());
        }
        snmp_free_pdu(pdu);
    }
    if (texts[2] != "9223372036854775809") {
        state.SkipWithError("unexpected parse");
    }
}

BENCHMARK(buildGetRequestVeltrum)->Name("build_get_request/veltrum");
BENCHMARK(buildGetRequestNetsnmp)->Name("build_get_request/netsnmp");
BENCHMARK(parseGetResponseVeltrum)->Name("parse_get_response/veltrum");
BENCHMARK(parseGetResponseNetsnmp)->Name("parse_get_response/netsnmp");
BENCHMARK(parseGetResponseTextsVeltrum)->Name("parse_get_response_texts/veltrum");
BENCHMARK(parseGetResponseTextsNetsnmp)->Name("parse_get_response_texts/netsnmp");
BENCHMARK(buildGetRequest64Veltrum)->Name("build_get_request_v2c64/veltrum");
BENCHMARK(buildGetRequest64Netsnmp)->Name("build_get_request_v2c64/netsnmp");
BENCHMARK(parseGetResponse64Veltrum)->Name("parse_get_response_v2c64/veltrum");
BENCHMARK(parseGetResponse64Netsnmp)->Name("parse_get_response_v2c64/netsnmp");
BENCHMARK(parseGetResponse64TextsVeltrum)->Name("parse_get_response_v2c64_texts/veltrum");
BENCHMARK(parseGetResponse64TextsNetsnmp)->Name("parse_get_response_v2c64_texts/netsnmp");

} // namespace
