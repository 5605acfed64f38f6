#pragma once
// The interface list's reading of the agent's interface table: ifDescr and
// ifOperStatus (RFC 1213 ifTable) with ifName and ifAlias (RFC 2863 ifXTable)
// where the agent has them, column by column with GetNextRequest (SNMPv1)
// or GetBulkRequest (SNMPv2c), so that interfaces numbered anywhere from 1
// to 2147483647 are found in a few exchanges.
//
// A slow agent may take a second an exchange and a table may have thousands
// of rows, so the walk goes one exchange at a time (InterfaceWalker::Step):
// a window runs a step, lets its events through, and runs the next, and is
// never held longer than one read time-out.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
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

// How a walk ended. Only TableEnd says the rows are the whole table: a
// caller may then say what the table lacks; after the others it may not.
enum class WalkEnd {
    Running,
    TableEnd, // the agent's ifDescr column ended
    RowLimit, // the table has more rows than WalkLimits::MaxRows
    Cut,      // silence, an error, a failure or a reply that did not move on
};

class InterfaceWalker final {
public:
    explicit InterfaceWalker(bool v2c, const WalkLimits& limits = {});

    // One exchange through `snmp` (host, community and time-out already
    // set). True once the walk has ended. Never throws: a failure of the
    // socket layer (an unknown host, a refused datagram) ends the walk as
    // Cut and is kept in Failure().
    bool Step(TIdSNMP& snmp);

    WalkEnd End() const { return m_end; }
    int Exchanges() const { return m_exchanges; }
    const std::exception_ptr& Failure() const { return m_failure; }
    std::size_t RowCount() const { return m_cells[0].size(); }
    // The rows read so far, in ifIndex order.
    std::vector<InterfaceRow> Rows() const;
    // The rows no later exchange can change any more (every column still
    // walking has passed them), not handed out before: a window adds them to
    // its list as they come.
    std::vector<InterfaceRow> TakeSettledRows();

private:
    static constexpr std::size_t kColumnCount = 4;
    bool finish(WalkEnd end);
    InterfaceRow rowAt(int32_t index) const;

    bool m_v2c;
    WalkLimits m_limits;
    WalkEnd m_end = WalkEnd::Running;
    int m_exchanges = 0;
    std::exception_ptr m_failure;
    bool m_active[kColumnCount] = {};
    int32_t m_last[kColumnCount] = {};
    // Column -> ifIndex -> value; the ifDescr column (0) makes the rows.
    std::map<int32_t, std::string> m_cells[kColumnCount];
    int32_t m_handedOut = 0; // TakeSettledRows: the rows up to this ifIndex are out
};

// The whole walk at once, blocking, for callers without a window. `exchanges`
// and `failure`, when given, receive the walker's; so does `end`.
std::vector<InterfaceRow> WalkInterfaces(TIdSNMP& snmp, bool v2c, const WalkLimits& limits = {},
                                         int* exchanges = nullptr, std::exception_ptr* failure = nullptr,
                                         WalkEnd* end = nullptr);

} // namespace veltrum
