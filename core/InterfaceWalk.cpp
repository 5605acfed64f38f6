#include "core/InterfaceWalk.h"

#include "core/AgentQuery.h"
#include "core/AgentText.h"
#include "snmp/Ber.h"
#include "snmp/IdSNMP.h"
#include "snmp/TextToInt.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string_view>

namespace veltrum {

namespace {

// ifDescr, ifOperStatus (ifTable), ifName, ifAlias (ifXTable).
constexpr std::array<AgentObject, 4> kColumns = {AgentObject::IfDescr, AgentObject::IfOperStatus,
                                                 AgentObject::IfName, AgentObject::IfAlias};
constexpr std::size_t kDescr = 0;
constexpr std::size_t kOptionalFrom = 2; // ifName and ifAlias may be missing
constexpr int32_t kNoSuchName = 2;       // RFC 1157 section 4.1.1: an SNMPv1 GetNext past the last object

// The ifIndex of an instance of `column`: one arc after it, 1 to
// 2147483647; 0 for anything else (another column, another table).
int32_t instanceIndex(std::string_view oid, std::string_view column) {
    if (oid.size() <= column.size() + 1 || oid.substr(0, column.size()) != column ||
        oid[column.size()] != '.') {
        return 0;
    }
    const std::string_view arc = oid.substr(column.size() + 1);
    if (arc.find_first_not_of("0123456789") != std::string_view::npos) {
        return 0;
    }
    int32_t index = 0;
    return tryParseInt(arc, index) && index > 0 ? index : 0;
}

} // namespace

InterfaceWalker::InterfaceWalker(bool v2c, const WalkLimits& limits) : m_v2c(v2c), m_limits(limits) {
    for (std::size_t c = 0; c < kColumnCount; ++c) {
        m_active[c] = c == kDescr || !limits.DescriptionsOnly;
    }
}

bool InterfaceWalker::finish(WalkEnd end) {
    m_end = end;
    return true;
}

bool InterfaceWalker::Step(TIdSNMP& snmp) {
    if (m_end != WalkEnd::Running) {
        return true;
    }
    std::vector<std::size_t> asked;
    std::vector<AgentName> names;
    for (std::size_t c = 0; c < kColumnCount; ++c) {
        if (m_active[c]) {
            asked.push_back(c);
            // From the column itself, then from the last cell read.
            names.push_back({kColumns[c], m_last[c] > 0 ? std::optional<int32_t>(m_last[c]) : std::nullopt});
        }
    }
    ++m_exchanges;
    bool answered = false;
    try {
        const AgentRequest request =
            m_v2c ? AgentRequest{RequestKind::GetBulk, kVersion2c, m_limits.MaxRepetitions}
                  : AgentRequest{RequestKind::GetNext, kVersion1};
        answered = AskAgent(snmp, request, names);
    } catch (...) {
        // The rows read so far stay.
        m_failure = std::current_exception();
        return finish(WalkEnd::Cut);
    }
    const TSNMPInfo& reply = snmp.ReplyMessage;
    if (!answered || reply.CountValues() == 0) {
        if (reply.Packet.empty()) {
            return finish(WalkEnd::Cut); // silence: the table may go on
        }
        // An SNMPv1 agent without ifXTable may answer the optional columns'
        // GetNext past its last object with noSuchName for the whole
        // request: ask again without them.
        if (m_active[kOptionalFrom] || m_active[kOptionalFrom + 1]) {
            m_active[kOptionalFrom] = m_active[kOptionalFrom + 1] = false;
            return false;
        }
        // With ifDescr alone, noSuchName is the end of the agent's view; any
        // other error tells nothing of the rest of the table.
        return finish(!m_v2c && reply.ErrorStatus == kNoSuchName ? WalkEnd::TableEnd : WalkEnd::Cut);
    }
    bool movedOn = false;
    for (int i = 0; i < reply.CountValues(); ++i) {
        const std::size_t c = asked[static_cast<std::size_t>(i) % asked.size()];
        if (!m_active[c]) {
            continue;
        }
        const std::string& oid = reply.OidTexts[static_cast<std::size_t>(i)];
        const int32_t index = instanceIndex(oid, ObjectIdOf(kColumns[c]));
        if (reply.IsNoValueAt(i) || index == 0) {
            // Past the column or at the end of the agent's view.
            m_active[c] = false;
            if (c == kDescr) {
                m_end = WalkEnd::TableEnd;
            }
            continue;
        }
        if (index <= m_last[c]) {
            // Not moving forward: an agent that loops. What follows is unknown.
            m_active[c] = false;
            if (c == kDescr) {
                m_end = WalkEnd::Cut;
            }
            continue;
        }
        if (c == kDescr && m_cells[kDescr].size() >= m_limits.MaxRows) {
            m_active[c] = false;
            m_end = WalkEnd::RowLimit;
            continue;
        }
        m_last[c] = index;
        movedOn = true;
        m_cells[c][index] = c == kDescr ? InterfaceDescriptionOf(reply.ValueAt(i)) : reply.ValueAt(i);
    }
    if (m_end != WalkEnd::Running) {
        return true;
    }
    if (!movedOn) {
        return finish(WalkEnd::Cut);
    }
    return false;
}

InterfaceRow InterfaceWalker::rowAt(int32_t index) const {
    InterfaceRow row;
    row.Index = index;
    std::string* fields[kColumnCount] = {&row.Descr, &row.OperStatus, &row.Name, &row.Alias};
    for (std::size_t c = 0; c < kColumnCount; ++c) {
        const auto found = m_cells[c].find(index);
        if (found != m_cells[c].end()) {
            *fields[c] = found->second;
        }
    }
    return row;
}

std::vector<InterfaceRow> InterfaceWalker::Rows() const {
    std::vector<InterfaceRow> out;
    out.reserve(m_cells[kDescr].size());
    for (const auto& [index, descr] : m_cells[kDescr]) {
        out.push_back(rowAt(index));
    }
    return out;
}

std::vector<InterfaceRow> InterfaceWalker::TakeSettledRows() {
    // A column still walking may yet fill rows below its cursor only.
    int32_t settled = std::numeric_limits<int32_t>::max();
    if (m_end == WalkEnd::Running) {
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            if (m_active[c]) {
                settled = std::min(settled, m_last[c]);
            }
        }
    }
    std::vector<InterfaceRow> out;
    const auto& rows = m_cells[kDescr];
    for (auto it = rows.upper_bound(m_handedOut); it != rows.end() && it->first <= settled; ++it) {
        out.push_back(rowAt(it->first));
        m_handedOut = it->first;
    }
    return out;
}

std::vector<InterfaceRow> WalkInterfaces(TIdSNMP& snmp, bool v2c, const WalkLimits& limits, int* exchanges,
                                         std::exception_ptr* failure, WalkEnd* end) {
    InterfaceWalker walker(v2c, limits);
    while (!walker.Step(snmp)) {
    }
    if (exchanges != nullptr) {
        *exchanges += walker.Exchanges();
    }
    if (failure != nullptr) {
        *failure = walker.Failure();
    }
    if (end != nullptr) {
        *end = walker.End();
    }
    return walker.Rows();
}

} // namespace veltrum
