// One poll exchange end to end: the four-counter GetRequest sent to a local
// snmpd and its reply parsed, by TIdSNMP::RunQuery and by net-snmp's
// synchronous request on the same agent. Loopback only: the agent runs on
// 127.0.0.1 (inside `unshare -n` too, once lo is up).
#include "BenchPoll.h"
#include "support/SnmpdAgent.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using veltrum::bench::FirstAnswer;
using veltrum::bench::NetSnmpGet;
using veltrum::bench::PollCounters;

// One agent for the whole run, started at first use.
veltrum::test::SnmpdAgent* Agent(benchmark::State& state) {
    static std::unique_ptr<veltrum::test::SnmpdAgent> agent;
    static std::string failure;
    if (!agent && failure.empty()) {
        agent = veltrum::test::SnmpdAgent::StartOrExplain(failure);
    }
    if (!agent) {
        state.SkipWithError(failure.c_str());
    }
    return agent.get();
}

void RunQueryVeltrum(benchmark::State& state) {
    veltrum::test::SnmpdAgent* agent = Agent(state);
    if (agent == nullptr) {
        return;
    }
    veltrum::TIdSNMP snmp;
    snmp.Host = agent->HostText();
    snmp.SetCommunity(agent->Community());
    snmp.ReceiveTimeout = 1000;
    const auto poll = [&snmp] { return PollCounters(snmp, 4); };
    const bool ready = FirstAnswer(poll);
    if (!ready) {
        const std::string why = "no reply from the agent (values " +
                                std::to_string(snmp.ReplyMessage.CountValues()) + ", error-status " +
                                std::to_string(snmp.ReplyMessage.ErrorStatus) + ")";
        state.SkipWithError(why.c_str());
        return;
    }
    for (auto _ : state) {
        if (!poll()) {
            const std::string why = "reply lost: values " + std::to_string(snmp.ReplyMessage.CountValues()) +
                                    ", error-status " + std::to_string(snmp.ReplyMessage.ErrorStatus) +
                                    ", octets " + std::to_string(snmp.ReplyMessage.Packet.size());
            state.SkipWithError(why.c_str());
            break;
        }
        benchmark::DoNotOptimize(snmp.ReplyMessage.ValueAt(3).data());
    }
}

void RunQueryNetSnmp(benchmark::State& state) {
    veltrum::test::SnmpdAgent* agent = Agent(state);
    if (agent == nullptr) {
        return;
    }
    static bool initialised = false;
    if (!initialised) {
        setenv("MIBS", "", 1); // numeric OIDs only: no MIB files to parse
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        init_snmp("veltrum_bench");
        initialised = true;
    }
    const std::vector<std::vector<oid>> oids = veltrum::bench::NetSnmpPollOids();
    netsnmp_session settings;
    snmp_sess_init(&settings);
    const std::string peer = "udp:" + agent->HostText();
    std::string community = agent->Community();
    settings.version = SNMP_VERSION_1;
    settings.peername = const_cast<char*>(peer.c_str());
    settings.community = reinterpret_cast<u_char*>(community.data());
    settings.community_len = community.size();
    settings.timeout = 1000000; // µs
    settings.retries = 0;
    void* session = snmp_sess_open(&settings);
    if (session == nullptr) {
        state.SkipWithError("snmp_sess_open failed");
        return;
    }
    for (auto _ : state) {
        if (!NetSnmpGet(session, oids)) {
            state.SkipWithError("no reply from the agent");
            break;
        }
    }
    snmp_sess_close(session);
}

BENCHMARK(RunQueryVeltrum)->Name("run_query/veltrum")->Unit(benchmark::kMicrosecond);
BENCHMARK(RunQueryNetSnmp)->Name("run_query/netsnmp")->Unit(benchmark::kMicrosecond);

} // namespace
