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

#include <cstdint>
#include <string>
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

// kPollOids as net-snmp's sub-identifier arrays.
inline std::vector<std::vector<oid>> NetSnmpPollOids() {
    std::vector<std::vector<oid>> all;
    for (const std::string& text : kPollOids) {
        std::vector<oid> parts;
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t dot = std::min(text.find('.', start), text.size());
            parts.push_back(std::stoul(text.substr(start, dot - start)));
            start = dot + 1;
        }
        all.push_back(parts);
    }
    return all;
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

} // namespace veltrum::bench
