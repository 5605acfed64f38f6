#pragma once
// The interface list's reading of the agent's interface table: ifDescr and
// ifOperStatus (RFC 1213 ifTable) with ifName and ifAlias (RFC 2863 ifXTable)
// where the agent has them, column by column with GetNextRequest (SNMPv1)
// or GetBulkRequest (SNMPv2c), so that interfaces numbered anywhere from 1
// to 2147483647 are found in a few exchanges.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace veltrum {

class TIdSNMP;

struct InterfaceRow {
    int32_t Index = 0;      // ifIndex
    std::string Descr;      // ifDescr
    std::string OperStatus; // ifOperStatus as the reply's text ("1" up, "2" down, ...)
    std::string Name;       // ifName, empty where the agent has none
    std::string Alias;      // ifAlias, empty where the agent has none
};

struct WalkLimits {
    std::size_t MaxRows = 10000;
    int32_t MaxRepetitions = 10; // rows per GetBulkRequest: replies stay near 2 KB
    // Only ifDescr: for finding an interface by its description.
    bool DescriptionsOnly = false;
};

// Walks the table through `snmp` (host, community and time-out already set)
// in the version given. Blocking; bounded by MaxRows, by the end of the
// ifDescr column and by the first exchange that fails (silence, an error
// status, a reply that does not move on), which keeps the rows read until
// then. Rows come in ifIndex order. `exchanges`, when given, counts the
// requests sent. A failure of the socket layer (an unknown host, a refused
// datagram) ends the walk as well and is kept in `failure` when given.
std::vector<InterfaceRow> WalkInterfaces(TIdSNMP& snmp, bool v2c, const WalkLimits& limits = {},
                                         int* exchanges = nullptr, std::exception_ptr* failure = nullptr);

} // namespace veltrum
