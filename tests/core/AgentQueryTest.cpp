#include "core/AgentQuery.h"

#include "snmp/IdSNMP.h"
#include "support/TableAgent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltrum {
namespace {

using test::TableAgent;

constexpr const char* kHcInOctets2 = "1.3.6.1.2.1.31.1.1.1.6.2";
const std::vector<std::string> kSystem = {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.5.0"};

// What the settings dialog's probe asks and reads, request by request, in
// each version and scope, and what a silent agent leaves.
TEST(ProbeAgent, AsksInOrderAndReadsTheAnswers) {
    struct Row {
        const char* name;
        int32_t version;
        ProbeScope scope;
        bool hasHc;
        bool silent;
        std::vector<std::vector<std::string>> asked;
        bool answered;
        bool counters64;
        FailureKind failure;
    };
    const std::vector<std::string> descr = {"1.3.6.1.2.1.2.2.1.2.2"};
    using F = FailureKind;
    using S = ProbeScope;
    // clang-format off
    const Row rows[] = {
        {"v1 64-bit",   0, S::Everything,  true,  false, {descr, kSystem, {kHcInOctets2}}, true,  true,  F::Unknown},
        {"v1 32-bit",   0, S::Everything,  false, false, {descr, kSystem, {kHcInOctets2}}, true,  false, F::Unknown},
        {"v2c 64-bit",  1, S::Everything,  true,  false, {descr, {kHcInOctets2}, kSystem}, true,  true,  F::Unknown},
        {"v2c 32-bit",  1, S::Everything,  false, false, {descr, {kHcInOctets2}, kSystem}, true,  false, F::Unknown},
        {"description", 1, S::Description, true,  false, {descr},                          true,  false, F::Unknown},
        {"silent",      0, S::Everything,  true,  true,  {descr},                          false, false, F::NoReply},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TableAgent agent({{2, {std::string("eth1") + '\0', "1"}}});
        agent.SetObject(kSystem[0], 0x04, "Router");
        agent.SetObject(kSystem[1], 0x04, "gw");
        if (row.hasHc) {
            agent.SetObject(kHcInOctets2, 0x41, "5");
        }
        agent.SetSilentWhen([&](const auto&) { return row.silent; });
        TIdSNMP snmp;
        const ProbeResult probe =
            ProbeAgent(snmp, {agent.Host(), "public", row.version, 100, 2, {}}, row.scope);
        std::vector<std::vector<std::string>> asked;
        for (const auto& request : agent.Received()) {
            asked.push_back(request.Oids);
        }
        EXPECT_EQ(asked, row.asked);
        EXPECT_EQ(probe.Answered, row.answered);
        EXPECT_EQ(probe.Failure.Kind, row.failure);
        EXPECT_EQ(probe.DescriptionRead, !row.silent);
        EXPECT_EQ(probe.Description, row.silent ? "" : "eth1");
        EXPECT_EQ(probe.Counters64, row.counters64);
        EXPECT_EQ(probe.SysName, row.answered && row.scope == ProbeScope::Everything ? "gw" : "");
    }
}

// The monitor's one client for the dialogs serves a probe between two steps
// of a walk, and the walk goes on with its own agent.
TEST(InterfaceWalkSession, ProbeBetweenStepsLeavesTheWalkOnItsAgent) {
    TableAgent walked({{1, {"lo", "1"}}, {2, {"eth0", "1"}}});
    TableAgent probed({{7, {"other", "1"}}});
    TIdSNMP snmp;
    InterfaceWalkSession walk(snmp, {walked.Host(), "public", 0, 300, 0, {}});
    std::vector<std::string> rows;
    for (bool done = false; !done;) {
        done = walk.Step();
        (void)ProbeAgent(snmp, {probed.Host(), "private", 0, 300, 7, {}});
        for (const InterfaceRow& row : walk.TakeSettledRows()) {
            rows.push_back(row.Descr);
        }
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"lo", "eth0"}));
    EXPECT_EQ(walk.End(), WalkEnd::TableEnd);
}

} // namespace
} // namespace veltrum
