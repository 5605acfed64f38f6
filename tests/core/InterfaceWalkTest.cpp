#include "app/core/InterfaceWalk.h"

#include "snmp/Ber.h"
#include "snmp/FakeMessageOwner.h"
#include "snmp/IdSNMP.h"
#include "snmp/SnmpInfo.h"
#include "support/ScriptedResponder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace veltrum {
namespace {

using test::ScriptedResponder;

std::vector<uint32_t> arcs(const std::string& oid) {
    std::vector<uint32_t> out;
    std::stringstream in(oid);
    std::string arc;
    while (std::getline(in, arc, '.')) {
        out.push_back(static_cast<uint32_t>(std::stoul(arc)));
    }
    return out;
}

// An agent holding a MIB of a few objects, answering GetNextRequest as an
// SNMPv1 agent does (noSuchName past the last object) and GetBulkRequest as
// RFC 3416 section 4.2.3 says (endOfMibView past the last object).
class TableAgent {
public:
    explicit TableAgent(const std::map<int32_t, std::vector<std::string>>& interfaces) {
        for (const auto& [index, cells] : interfaces) {
            const std::string n = std::to_string(index);
            m_mib[arcs("1.3.6.1.2.1.2.2.1.2." + n)] = {0x04, cells.at(0)};
            m_mib[arcs("1.3.6.1.2.1.2.2.1.3." + n)] = {0x02, "6"};
            m_mib[arcs("1.3.6.1.2.1.2.2.1.8." + n)] = {0x02, cells.at(1)};
            if (cells.size() > 2) {
                m_mib[arcs("1.3.6.1.2.1.31.1.1.1.1." + n)] = {0x04, cells.at(2)};
                m_mib[arcs("1.3.6.1.2.1.31.1.1.1.18." + n)] = {0x04, cells.at(3)};
            }
        }
    }
    std::string Host() const { return m_agent.HostText(); }
    int Requests() const { return m_agent.RequestCount(); }

private:
    struct Object {
        uint8_t Type;
        std::string Value;
    };
    // The object after `oid`, or none.
    const std::pair<const std::vector<uint32_t>, Object>* next(const std::string& oid) const {
        const auto found = m_mib.upper_bound(arcs(oid));
        return found == m_mib.end() ? nullptr : &*found;
    }
    static std::string text(const std::vector<uint32_t>& oid) {
        std::string out;
        for (const uint32_t arc : oid) {
            out += (out.empty() ? "" : ".") + std::to_string(arc);
        }
        return out;
    }

    std::optional<ScriptedResponder::Reply> respond(const ScriptedResponder::Request& request) {
        const std::lock_guard lock(m_mutex);
        test::FakeMessageOwner owner;
        owner.Community = request.Community;
        TSNMPInfo parsed(owner);
        parsed.ResetMessage();
        parsed.ParseMessage(request.Raw);
        std::vector<ScriptedResponder::VarBind> binds;
        if (request.PduTag == kTagGetNextRequest) {
            for (const std::string& oid : request.Oids) {
                const auto* object = next(oid);
                if (object == nullptr) {
                    return ScriptedResponder::Respond(request, {}, 2); // noSuchName
                }
                binds.push_back({text(object->first), object->second.Type, object->second.Value});
            }
            return ScriptedResponder::Respond(request, binds);
        }
        std::vector<std::string> cursors = request.Oids;
        for (int32_t r = 0; r < parsed.ErrorIndex; ++r) {
            for (std::string& cursor : cursors) {
                const auto* object = next(cursor);
                if (object == nullptr) {
                    binds.push_back({cursor, static_cast<uint8_t>(kTagEndOfMibView), ""});
                    continue;
                }
                cursor = text(object->first);
                binds.push_back({cursor, object->second.Type, object->second.Value});
            }
        }
        return ScriptedResponder::Respond(request, binds);
    }

    std::mutex m_mutex;
    std::map<std::vector<uint32_t>, Object> m_mib;
    ScriptedResponder m_agent{[this](const ScriptedResponder::Request& r) { return respond(r); }};
};

std::vector<std::string> describe(const std::vector<InterfaceRow>& rows) {
    std::vector<std::string> out;
    for (const InterfaceRow& row : rows) {
        out.push_back(std::to_string(row.Index) + " " + row.Descr + " " + row.OperStatus + " " + row.Name +
                      " " + row.Alias);
    }
    return out;
}

struct Walk {
    explicit Walk(const TableAgent& agent) {
        Snmp.Host = agent.Host();
        Snmp.SetCommunity("public");
        Snmp.ReceiveTimeout = 300;
        Snmp.SetActive(true);
    }
    TIdSNMP Snmp;
};

// Interfaces numbered 1, 2, 200 and 70000 all appear, with ifName and ifAlias
// where the agent has them, by GetNext and by GetBulk alike; the bulk walk
// takes a handful of exchanges.
TEST(WalkInterfaces, FindsInterfacesNumberedAnywhere) {
    TableAgent agent({{1, {"lo", "1", "lo", ""}},
                      {2, {"eth0", "2", "eth0", "uplink"}},
                      {200, {"vlan200", "1", "Vl200", "office"}},
                      {70000, {"port 70000", "1", "Gi7/0/0", ""}}});
    const std::vector<std::string> want{"1 lo 1 lo ", "2 eth0 2 eth0 uplink", "200 vlan200 1 Vl200 office",
                                        "70000 port 70000 1 Gi7/0/0 "};
    Walk walk(agent);
    int exchanges = 0;
    EXPECT_EQ(describe(WalkInterfaces(walk.Snmp, false, {}, &exchanges)), want);
    // Four rows; then the last ifAlias has nothing after it (noSuchName for
    // the whole request), and the walk steps past its columns without it.
    EXPECT_EQ(exchanges, 6);
    exchanges = 0;
    EXPECT_EQ(describe(WalkInterfaces(walk.Snmp, true, {}, &exchanges)), want);
    EXPECT_EQ(exchanges, 1);
}

// An SNMPv1 agent without ifXTable ends every GetNext of its columns with
// noSuchName: the walk asks again without them. The row bound holds.
TEST(WalkInterfaces, WithoutIfXTableAndWithinTheRowBound) {
    std::map<int32_t, std::vector<std::string>> interfaces;
    for (int32_t n = 1; n <= 30; ++n) {
        interfaces[n * 3] = {"if" + std::to_string(n), "1"};
    }
    TableAgent agent(interfaces);
    Walk walk(agent);
    const auto rows = WalkInterfaces(walk.Snmp, false);
    ASSERT_EQ(rows.size(), 30u);
    EXPECT_EQ(rows[29].Index, 90);
    EXPECT_EQ(rows[29].Name, "");
    WalkLimits limits;
    limits.MaxRows = 12;
    limits.MaxRepetitions = 5;
    EXPECT_EQ(WalkInterfaces(walk.Snmp, true, limits).size(), 12u);
    EXPECT_EQ(WalkInterfaces(walk.Snmp, false, limits).size(), 12u);
}

// A silent agent ends the walk after one exchange with no rows.
TEST(WalkInterfaces, SilenceEndsTheWalk) {
    ScriptedResponder silent([](const ScriptedResponder::Request&) { return std::nullopt; });
    TIdSNMP snmp;
    snmp.Host = silent.HostText();
    snmp.ReceiveTimeout = 100;
    snmp.SetActive(true);
    int exchanges = 0;
    EXPECT_TRUE(WalkInterfaces(snmp, true, {}, &exchanges).empty());
    EXPECT_EQ(exchanges, 1);
}

} // namespace
} // namespace veltrum
