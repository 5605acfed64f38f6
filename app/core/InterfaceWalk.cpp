#include "app/core/InterfaceWalk.h"

#include "snmp/Ber.h"
#include "snmp/IdSNMP.h"
#include "snmp/TextToInt.h"

#include <array>
#include <map>
#include <string_view>

namespace veltrum {

namespace {

// ifDescr, ifOperStatus (ifTable), ifName, ifAlias (ifXTable).
constexpr std::array<std::string_view, 4> kColumns = {"1.3.6.1.2.1.2.2.1.2", "1.3.6.1.2.1.2.2.1.8",
                                                      "1.3.6.1.2.1.31.1.1.1.1", "1.3.6.1.2.1.31.1.1.1.18"};
constexpr std::size_t kDescr = 0;
constexpr std::size_t kOptionalFrom = 2; // ifName and ifAlias may be missing

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

std::vector<InterfaceRow> WalkInterfaces(TIdSNMP& snmp, bool v2c, const WalkLimits& limits, int* exchanges,
                                         std::exception_ptr* failure) {
    std::array<std::string, 4> cursor;
    std::array<bool, 4> active{};
    std::array<int32_t, 4> last{};
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        cursor[c] = kColumns[c];
        active[c] = c == kDescr || !limits.DescriptionsOnly;
    }
    std::map<int32_t, InterfaceRow> rows;
    std::array<std::map<int32_t, std::string>, 4> cells;

    while (active[kDescr] && rows.size() < limits.MaxRows) {
        std::vector<std::size_t> asked;
        std::vector<std::string> names;
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            if (active[c]) {
                asked.push_back(c);
                names.push_back(cursor[c]);
            }
        }
        TSNMPInfo& query = snmp.QueryMessage;
        ResetRequest(query, v2c ? kTagGetBulkRequest : kTagGetNextRequest, v2c ? kVersion2c : kVersion1,
                     names);
        if (v2c) {
            query.ErrorStatus = 0; // non-repeaters
            query.ErrorIndex = limits.MaxRepetitions;
        }
        if (exchanges != nullptr) {
            ++*exchanges;
        }
        bool answered = false;
        try {
            answered = snmp.RunQuery();
        } catch (...) {
            // The rows read so far stay.
            if (failure != nullptr) {
                *failure = std::current_exception();
            }
            break;
        }
        const TSNMPInfo& reply = snmp.ReplyMessage;
        if (!answered || reply.CountValues() == 0) {
            // An SNMPv1 agent without ifXTable may answer the optional
            // columns' GetNext past its last object with noSuchName for the
            // whole request: ask again without them.
            if (!reply.Packet.empty() && (active[kOptionalFrom] || active[kOptionalFrom + 1])) {
                for (std::size_t c = kOptionalFrom; c < kColumns.size(); ++c) {
                    active[c] = false;
                }
                continue;
            }
            break;
        }
        bool movedOn = false;
        for (int i = 0; i < reply.CountValues(); ++i) {
            const std::size_t c = asked[static_cast<std::size_t>(i) % asked.size()];
            if (!active[c]) {
                continue;
            }
            const std::string& oid = reply.OidTexts[static_cast<std::size_t>(i)];
            const int32_t index = instanceIndex(oid, kColumns[c]);
            // Past the column, at the end of the agent's view, or not moving
            // forward (an agent that loops): the column is done.
            if (reply.IsNoValueAt(i) || index <= last[c]) {
                active[c] = false;
                continue;
            }
            last[c] = index;
            cursor[c] = oid;
            movedOn = true;
            if (c == kDescr) {
                if (rows.size() >= limits.MaxRows) {
                    active[c] = false;
                    continue;
                }
                rows[index].Index = index;
                rows[index].Descr = reply.ValueAt(i);
            } else {
                cells[c][index] = reply.ValueAt(i);
            }
        }
        if (!movedOn) {
            break;
        }
    }

    std::vector<InterfaceRow> out;
    out.reserve(rows.size());
    for (auto& [index, row] : rows) {
        const auto cell = [&cells, index = index](std::size_t c) {
            const auto found = cells[c].find(index);
            return found == cells[c].end() ? std::string() : found->second;
        };
        row.OperStatus = cell(1);
        row.Name = cell(2);
        row.Alias = cell(3);
        out.push_back(std::move(row));
    }
    return out;
}

} // namespace veltrum
