#include "core/InterfaceWalk.h"

#include "core/InterfaceCheck.h"
#include "core/PollCycle.h"
#include "core/RecordingView.h"
#include "settings/TempDir.h"

#include "snmp/Ber.h"
#include "snmp/FakeMessageOwner.h"
#include "snmp/IdSNMP.h"
#include "snmp/SnmpInfo.h"
#include "support/ScriptedResponder.h"
#include "support/TableAgent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace veltrum {
namespace {

using test::ScriptedResponder;
using test::TableAgent;

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

// Only the end of the table says the rows are all of it: a reply that never
// came, or more rows than the bound, leaves the walk cut and says so.
TEST(WalkInterfaces, TheEndSaysWhetherTheTableIsWhole) {
    std::map<int32_t, std::vector<std::string>> interfaces;
    for (int32_t n = 1; n <= 12; ++n) {
        interfaces[n] = {"if" + std::to_string(n), "1"};
    }
    TableAgent agent(interfaces);
    struct Case {
        bool v2c;
        std::size_t maxRows;
        int silentAt; // the request that gets no answer (0: none)
        WalkEnd end;
        std::size_t rows;
    };
    for (const Case& c : {Case{false, 12, 0, WalkEnd::TableEnd, 12}, Case{true, 12, 0, WalkEnd::TableEnd, 12},
                          Case{false, 11, 0, WalkEnd::RowLimit, 11}, Case{true, 11, 0, WalkEnd::RowLimit, 11},
                          Case{false, 100, 4, WalkEnd::Cut, 2}, Case{true, 100, 2, WalkEnd::Cut, 5}}) {
        const int first = agent.Requests() + 1;
        agent.SetSilentWhen([&agent, at = c.silentAt ? first + c.silentAt - 1 : 0](const auto&) {
            return agent.Requests() == at;
        });
        Walk walk(agent);
        WalkLimits limits;
        limits.MaxRows = c.maxRows;
        limits.MaxRepetitions = 5;
        WalkEnd end = WalkEnd::Running;
        EXPECT_EQ(WalkInterfaces(walk.Snmp, c.v2c, limits, nullptr, nullptr, &end).size(), c.rows)
            << c.v2c << " " << c.maxRows << " " << c.silentAt;
        EXPECT_EQ(end, c.end) << c.v2c << " " << c.maxRows << " " << c.silentAt;
    }
}

// A monitor polling interface `number` of `agent`, in a folder of its own,
// running for a while and just past a failed poll.
struct Monitor {
    Monitor(TableAgent& agent, int32_t number, const std::string& description) {
        for (const auto& [index, base] : {std::pair{1, 100}, {2, 2000}, {7, 70000}}) {
            for (const char* column : {"10", "16", "11", "17"}) {
                agent.SetObject("1.3.6.1.2.1.2.2.1." + std::string(column) + "." + std::to_string(index),
                                0x41, std::to_string(base));
            }
        }
        State.ProfilePath = Dir.File("Default.vlq");
        std::ofstream(State.ProfilePath)
            << "[NumerInterfaceu]\n01=" << number << "\n[OpisInterfaceu]\n01=" << description << "\n";
        State.AgentHost = agent.Host();
        State.InterfaceNumber = number;
        State.InterfaceDescription = description;
        State.TimeoutMs = 300;
        State.HistoryLength = 120;
        State.DownloadScale = State.UploadScale = 1024;
        State.PollCount = State.PacketPollCount = 5;
        State.MissedPolls = 2;
        Snmp.Host = agent.Host();
        Snmp.SetCommunity("public");
        Snmp.SetActive(true);
    }
    void Poll() { RunPollCycle(State, Snmp, View, {".", ","}); }
    std::string ProfileNumber() const {
        std::ifstream in(State.ProfilePath);
        std::string line;
        while (std::getline(in, line) && line != "[NumerInterfaceu]") {
        }
        std::getline(in, line);
        return line.substr(3);
    }
    test::TempDir Dir;
    MonitorState State;
    TIdSNMP Snmp;
    test::RecordingView View;
};

// The first success after failed polls finds the interface's number naming
// another description: the monitor follows the description to its new
// number, writes it, drops the reading of the old number and primes with the
// next one. SNMPv2c finds it by GetBulk as SNMPv1 by GetNext.
TEST(KeepInterfaceByName, FollowsTheDescriptionToItsNewNumber) {
    TableAgent agent({{1, {"lo", "1"}}, {2, {"eth0", "1"}}, {7, {"eth1", "1"}}});
    Monitor m(agent, 2, "eth1");
    m.Poll();
    EXPECT_EQ(m.State.InterfaceNumber, 7);
    EXPECT_EQ(m.ProfileNumber(), "7");
    EXPECT_EQ(m.State.MissedPolls, 0);
    EXPECT_EQ(m.View.InterfaceChecks, std::vector<std::string>{""});
    EXPECT_EQ(m.View.ShowRatesCount, 0);
    const int before = agent.Requests();
    m.Poll();
    EXPECT_EQ(agent.Requests(), before + 1); // the poll alone
    EXPECT_EQ(agent.Received().back().Oids.back(), "1.3.6.1.2.1.2.2.1.17.7");
    EXPECT_EQ(m.View.ShowRatesCount, 0); // primes with interface 7
    EXPECT_EQ(m.State.InOctetsNow, 70000);
    m.Poll();
    EXPECT_EQ(m.View.ShowRatesCount, 1);

    Monitor v2c(agent, 2, "eth1");
    v2c.State.SnmpVersion = kSnmpVersion2c;
    const InterfaceCheck check = KeepInterfaceByName(v2c.State, v2c.Snmp);
    EXPECT_EQ(check.Kind, InterfaceCheckKind::Switched);
    EXPECT_EQ(check.NewNumber, 7);
    EXPECT_EQ(v2c.ProfileNumber(), "7");
    EXPECT_EQ(agent.Received().back().PduTag, kTagGetBulkRequest);
}

// No interface, or more than one, has the description: the number stays,
// the reading counts, and the window is told why.
TEST(KeepInterfaceByName, NoSingleMatchKeepsTheNumberAndSaysSo) {
    TableAgent agent({{1, {"lo", "1"}}, {2, {"eth0", "1"}}, {7, {"eth0", "1"}}});
    Monitor m(agent, 2, "wan");
    m.Poll();
    EXPECT_EQ(m.State.InterfaceNumber, 2);
    EXPECT_EQ(m.ProfileNumber(), "2");
    EXPECT_EQ(m.View.ShowRatesCount, 1);
    EXPECT_EQ(
        m.View.InterfaceChecks,
        std::vector<std::string>{"Interface 2 is now \"eth0\", and no interface of the agent is \"wan\" "
                                 "any more. Still watching interface 2."});
    Monitor twice(agent, 1, "eth0");
    const InterfaceCheck check = KeepInterfaceByName(twice.State, twice.Snmp);
    EXPECT_EQ(check.Kind, InterfaceCheckKind::Ambiguous);
    EXPECT_EQ(twice.State.InterfaceNumber, 1);
    EXPECT_EQ(InterfaceCheckText(check), "Interface 1 is now \"lo\", and several interfaces of the agent are "
                                         "\"eth0\". Still watching interface 1.");
}

// A walk cut short cannot tell that a description is unique or gone: the
// number stays, and the hint says the list could not be read to its end.
TEST(KeepInterfaceByName, ACutWalkNeitherSwitchesNorClaimsAbsence) {
    TableAgent agent({{1, {"lo", "1"}}, {2, {"eth0", "1"}}, {7, {"eth1", "1"}}, {9, {"eth1", "1"}}});
    for (const char* wanted : {"eth1", "wan"}) {
        Monitor m(agent, 2, wanted);
        const int dropped = agent.Requests() + 5; // the GetNext that would find interface 9
        agent.SetSilentWhen([&agent, dropped](const auto&) { return agent.Requests() == dropped; });
        m.Poll();
        EXPECT_EQ(m.State.InterfaceNumber, 2);
        EXPECT_EQ(m.ProfileNumber(), "2");
        EXPECT_EQ(m.View.InterfaceChecks,
                  std::vector<std::string>{"Interface 2 is now \"eth0\", and the agent's list of interfaces "
                                           "could not be read to its end to look for \"" +
                                           std::string(wanted) + "\". Still watching interface 2."});
    }
}

// A description is the agent's text as stored: blanks count, and the one
// NUL a Windows agent ends every ifDescr with does not.
TEST(KeepInterfaceByName, DescriptionsCompareAsStored) {
    TableAgent agent({{1, {"eth0", "1"}}, {2, {"eth0 ", "1"}}, {3, {std::string("MS TCP Loopback interface\0", 26), "1"}}});
    struct Case {
        int32_t number;
        const char* description;
        InterfaceCheckKind kind;
        int32_t watched;
    };
    for (const Case& c : {Case{2, "eth0 ", InterfaceCheckKind::Confirmed, 2},
                          Case{1, "eth0 ", InterfaceCheckKind::Switched, 2},
                          Case{3, "MS TCP Loopback interface", InterfaceCheckKind::Confirmed, 3},
                          Case{1, "MS TCP Loopback interface", InterfaceCheckKind::Switched, 3}}) {
        Monitor m(agent, c.number, c.description);
        EXPECT_EQ(KeepInterfaceByName(m.State, m.Snmp).Kind, c.kind) << c.number << c.description;
        EXPECT_EQ(m.State.InterfaceNumber, c.watched) << c.number << c.description;
    }
}

// A profile without the description sends the poll alone, as it always did;
// so does any success that follows another success.
TEST(KeepInterfaceByName, WithoutDescriptionNothingExtraIsSent) {
    TableAgent agent({{1, {"lo", "1"}}, {2, {"eth0", "1"}}});
    Monitor m(agent, 2, "");
    EXPECT_EQ(KeepInterfaceByName(m.State, m.Snmp).Kind, InterfaceCheckKind::NotChecked);
    m.Poll();
    EXPECT_EQ(agent.Requests(), 1);
    EXPECT_EQ(m.View.ShowRatesCount, 1);
    EXPECT_TRUE(m.View.InterfaceChecks.empty());

    Monitor kept(agent, 2, "eth0");
    kept.State.MissedPolls = 0;
    kept.Poll();
    EXPECT_EQ(agent.Requests(), 2);
    kept.State.MissedPolls = 1;
    kept.Poll(); // the check confirms: one GetRequest more
    EXPECT_EQ(agent.Requests(), 4);
    EXPECT_EQ(kept.View.ShowRatesCount, 2);
}

} // namespace
} // namespace veltrum
