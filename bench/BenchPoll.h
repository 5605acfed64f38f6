#pragma once
// What the benchmarks that poll a local snmpd share: the poll's four
// counters, the poll exchange as the program makes it, net-snmp's
// synchronous request of the same, and the wait for an agent's first answer.

#include "snmp/IdSNMP.h"

#include <benchmark/benchmark.h>

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::bench {

// ifInOctets, ifOutOctets, ifInUcastPkts and ifOutUcastPkts of interface 1.
inline const std::vector<std::string> kPollOids = {"1.3.6.1.2.1.2.2.1.10.1", "1.3.6.1.2.1.2.2.1.16.1",
                                                   "1.3.6.1.2.1.2.2.1.11.1", "1.3.6.1.2.1.2.2.1.17.1"};

// The poll's own sequence: reset, GetRequest, four bindings of `nullType`,
// exchange; true when the four values came back.
inline bool PollCounters(TIdSNMP& snmp, uint8_t nullType) {
    snmp.QueryMessage.ResetMessage();
    snmp.QueryMessage.PduTag = 0xA0;
    for (const std::string& name : kPollOids) {
        snmp.QueryMessage.AddBinding(name, "", nullType);
    }
    return snmp.RunQuery() && snmp.ReplyMessage.CountValues() == 4;
}

// A freshly started agent may need a moment before its interface table
// answers (and SNMPv3 its discovery): measure only once `poll` succeeds.
template <class Poll> bool FirstAnswer(Poll poll) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (poll()) {
            return true;
        }
    }
    return false;
}

// Dotted object identifiers as net-snmp's sub-identifier arrays.
template <class Names> std::vector<std::vector<oid>> NetSnmpOids(const Names& names) {
    std::vector<std::vector<oid>> all;
    for (const std::string_view text : names) {
        std::vector<oid> parts;
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t dot = std::min(text.find('.', start), text.size());
            parts.push_back(std::stoul(std::string(text.substr(start, dot - start))));
            start = dot + 1;
        }
        all.push_back(parts);
    }
    return all;
}

inline std::vector<std::vector<oid>> NetSnmpPollOids() {
    return NetSnmpOids(kPollOids);
}

// One GetRequest of `oids` by net-snmp's synchronous request on `session`;
// true when an answer without error came back.
inline bool NetSnmpGet(void* session, const std::vector<std::vector<oid>>& oids) {
    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GET);
    for (const std::vector<oid>& name : oids) {
        snmp_add_null_var(request, name.data(), name.size());
    }
    netsnmp_pdu* response = nullptr;
    const int status = snmp_sess_synch_response(session, request, &response);
    const bool ok = status == STAT_SUCCESS && response != nullptr && response->errstat == SNMP_ERR_NOERROR;
    if (ok) {
        benchmark::DoNotOptimize(response->variables);
    }
    if (response != nullptr) {
        snmp_free_pdu(response);
    }
    return ok;
}

// Builds a GetRequest of `oids` into a packet as snmp_send does, round after
// round while the benchmark runs: `fill` first gives each new PDU the fields
// snmp_send copies from `session` (version and community, or the security
// fields).
template <class Fill>
void BuildNetSnmpRequests(benchmark::State& state, netsnmp_session& session,
                          const std::vector<std::vector<oid>>& oids, Fill fill) {
    std::size_t capacity = 2048;
    auto* packet = static_cast<u_char*>(malloc(capacity));
    for (auto _ : state) {
        netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
        fill(*pdu);
        for (const std::vector<oid>& name : oids) {
            snmp_add_null_var(pdu, name.data(), name.size());
        }
        std::size_t offset = 0;
        if (snmp_build(&packet, &capacity, &offset, &session, pdu) != 0) {
            state.SkipWithError(snmp_api_errstring(session.s_snmp_errno));
        }
        benchmark::DoNotOptimize(packet);
        snmp_free_pdu(pdu);
    }
    free(packet);
}

} // namespace veltrum::bench
