// TIdSNMP against a real agent (net-snmp's snmpd on 127.0.0.1), checked
// against what net-snmp's own snmpget reads from the same agent.
#include "snmp/IdSNMP.h"
#include "support/SnmpdAgent.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using veltrum::TIdSNMP;
using veltrum::test::SnmpdAgent;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kSysDescr = "1.3.6.1.2.1.1.1.0";
const char* const kSysName = "1.3.6.1.2.1.1.5.0";
const char* const kIfDescr1 = "1.3.6.1.2.1.2.2.1.2.1";
const std::vector<std::string> kCounters = {"1.3.6.1.2.1.2.2.1.10.1", "1.3.6.1.2.1.2.2.1.16.1",
                                            "1.3.6.1.2.1.2.2.1.11.1", "1.3.6.1.2.1.2.2.1.17.1"};

#define REQUIRE_SNMPD()                                                                                      \
    if (!SnmpdAgent::Available()) {                                                                          \
        GTEST_SKIP()                                                                                         \
            << "snmpd is not installed (/usr/sbin/snmpd; Debian package snmpd): real-agent tests skipped";   \
    }

bool SnmpgetAvailable() {
    return ::access("/usr/bin/snmpget", X_OK) == 0;
}

// snmpget's value of one object, one line, surrounding quotes removed.
std::string Snmpget(const SnmpdAgent& agent, const std::string& oid, const char* version = "1") {
    const std::string command = std::string("/usr/bin/snmpget -v") + version + " -c " + agent.Community() +
                                " -Oqv -M /nonexistent -m '' " + agent.HostText() + " " + oid +
                                " 2>/dev/null";
    const std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string out;
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        out += buffer;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    if (out.size() >= 2 && out.front() == '"' && out.back() == '"') {
        out = out.substr(1, out.size() - 2);
    }
    return out;
}

// snmpget prints counters unsigned; the client gives them as signed 32-bit text.
std::string AsSigned32(const std::string& unsignedText) {
    return std::to_string(static_cast<int32_t>(static_cast<uint32_t>(std::stoull(unsignedText))));
}

uint32_t AsUnsigned(const std::string& signedText) {
    return static_cast<uint32_t>(static_cast<int32_t>(std::stol(signedText)));
}

// SNMPv2c when `version` is 1, with NULL values as the poll asks then.
std::vector<std::string> Query(TIdSNMP& snmp, const std::vector<std::string>& oids, int32_t version = 0) {
    snmp.QueryMessage.ResetMessage();
    snmp.QueryMessage.PduTag = 0xA0;
    snmp.QueryMessage.Version = version;
    for (const std::string& oid : oids) {
        snmp.QueryMessage.AddBinding(oid, "", version == 0 ? 4 : 5);
    }
    EXPECT_TRUE(snmp.RunQuery());
    std::vector<std::string> values;
    for (int i = 0; i < snmp.ReplyMessage.CountValues(); ++i) {
        values.push_back(snmp.ReplyMessage.ValueAt(i));
    }
    return values;
}

class SnmpdQuery : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_SNMPD();
        m_agent = std::make_unique<SnmpdAgent>();
        m_agent->Start();
        m_snmp.Host = m_agent->HostText();
        m_snmp.SetCommunity(m_agent->Community());
        m_snmp.ReceiveTimeout = 2000;
    }

    std::unique_ptr<SnmpdAgent> m_agent;
    TIdSNMP m_snmp;
};

} // namespace

TEST_F(SnmpdQuery, SystemObjectsMatchSnmpget) {
    const auto values = Query(m_snmp, {kSysDescr, kSysName});
    ASSERT_EQ(values.size(), 2U);
    EXPECT_EQ(values[0], m_agent->SysDescr());
    EXPECT_EQ(values[1], m_agent->SysName());
    const auto ifDescr = Query(m_snmp, {kIfDescr1});
    ASSERT_EQ(ifDescr.size(), 1U);
    EXPECT_FALSE(ifDescr[0].empty());
    if (!SnmpgetAvailable()) {
        GTEST_SKIP() << "snmpget is not installed (Debian package snmp): comparison skipped";
    }
    EXPECT_EQ(values[0], Snmpget(*m_agent, kSysDescr));
    EXPECT_EQ(values[1], Snmpget(*m_agent, kSysName));
    EXPECT_EQ(ifDescr[0], Snmpget(*m_agent, kIfDescr1));
}

TEST_F(SnmpdQuery, CountersMatchSnmpgetAndNeverDecrease) {
    const auto before = Query(m_snmp, kCounters);
    ASSERT_EQ(before.size(), 4U);
    std::vector<std::string> theirs;
    if (SnmpgetAvailable()) {
        for (const std::string& oid : kCounters) {
            theirs.push_back(AsSigned32(Snmpget(*m_agent, oid)));
        }
    }
    const auto after = Query(m_snmp, kCounters);
    ASSERT_EQ(after.size(), 4U);
    for (size_t i = 0; i < 4; ++i) {
        // Our own queries are traffic on lo, so the counters may move between reads.
        EXPECT_LE(AsUnsigned(before[i]), AsUnsigned(after[i])) << kCounters[i];
        if (!theirs.empty()) {
            EXPECT_LE(AsUnsigned(before[i]), AsUnsigned(theirs[i])) << kCounters[i];
            EXPECT_LE(AsUnsigned(theirs[i]), AsUnsigned(after[i])) << kCounters[i];
        }
    }
}

// SNMPv2c: the interface's four 64-bit counters read as snmpget -v2c reads
// them (bracketed, as our own queries move them), and Counter64 values at
// 0, 2^32, 2^63 and 2^64 - 1 from a pass script read exactly the same.
TEST(SnmpdQueryV2c, SixtyFourBitCountersMatchSnmpget) {
    REQUIRE_SNMPD();
    if (!SnmpgetAvailable()) {
        GTEST_SKIP() << "snmpget is not installed (Debian package snmp)";
    }
    char folder[] = "/tmp/veltrum-pass-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string script = std::string(folder) + "/counter64.sh";
    {
        std::FILE* file = std::fopen(script.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs("#!/bin/sh\n[ \"$1\" = -g ] || exit 0\ncase \"$2\" in\n"
                   ".1.3.6.1.4.1.99999.1.1) v=0;; .1.3.6.1.4.1.99999.1.2) v=4294967296;;\n"
                   ".1.3.6.1.4.1.99999.1.3) v=9223372036854775808;;\n"
                   ".1.3.6.1.4.1.99999.1.4) v=18446744073709551615;; *) exit 0;;\nesac\n"
                   "echo \"$2\"; echo counter64; echo \"$v\"\n",
                   file);
        std::fclose(file);
        ::chmod(script.c_str(), 0700);
    }
    SnmpdAgent agent("veltrum-test", {"pass .1.3.6.1.4.1.99999.1 " + script});
    agent.Start();
    TIdSNMP snmp;
    snmp.Host = agent.HostText();
    snmp.SetCommunity(agent.Community());
    snmp.ReceiveTimeout = 2000;

    const std::vector<std::string> wide = {"1.3.6.1.2.1.31.1.1.1.6.1", "1.3.6.1.2.1.31.1.1.1.10.1",
                                           "1.3.6.1.2.1.31.1.1.1.7.1", "1.3.6.1.2.1.31.1.1.1.11.1"};
    const auto before = Query(snmp, wide, 1);
    std::vector<std::string> theirs;
    for (const std::string& oid : wide) {
        theirs.push_back(Snmpget(agent, oid, "2c"));
    }
    const auto after = Query(snmp, wide, 1);
    ASSERT_EQ(before.size(), 4U);
    ASSERT_EQ(after.size(), 4U);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(snmp.ReplyMessage.ValueTexts[i].Type, 0x46) << wide[i];
        EXPECT_LE(std::stoull(before[i]), std::stoull(theirs[i])) << wide[i];
        EXPECT_LE(std::stoull(theirs[i]), std::stoull(after[i])) << wide[i];
    }
    for (const char* oid : {"1.3.6.1.4.1.99999.1.1", "1.3.6.1.4.1.99999.1.2", "1.3.6.1.4.1.99999.1.3",
                            "1.3.6.1.4.1.99999.1.4"}) {
        const auto value = Query(snmp, {oid}, 1);
        ASSERT_EQ(value.size(), 1U);
        EXPECT_EQ(value[0], Snmpget(agent, oid, "2c")) << oid;
    }
    EXPECT_EQ(Query(snmp, {"1.3.6.1.4.1.99999.1.4"}, 1)[0], "18446744073709551615");
    // An object the agent does not have is no value, not an empty text.
    Query(snmp, {"1.3.6.1.2.1.31.1.1.1.6.999999"}, 1);
    EXPECT_TRUE(snmp.ReplyMessage.IsNoValueAt(0));
    agent.Stop();
    std::remove(script.c_str());
    ::rmdir(folder);
}

TEST_F(SnmpdQuery, WrongCommunityGetsNoAnswer) {
    m_snmp.SetCommunity("not-" + m_agent->Community());
    m_snmp.ReceiveTimeout = 300;
    m_snmp.QueryMessage.ResetMessage();
    m_snmp.QueryMessage.PduTag = 0xA0;
    m_snmp.QueryMessage.AddBinding(kSysName, "", 4);
    EXPECT_FALSE(m_snmp.RunQuery());
    EXPECT_EQ(m_snmp.ReplyMessage.CountValues(), 0);
}

TEST_F(SnmpdQuery, StoppedAgentIsRefusedAtOnceAndRestartsOnItsPort) {
    const uint16_t port = m_agent->Port();
    m_agent->Stop();
    EXPECT_FALSE(m_agent->Running());
    m_snmp.ReceiveTimeout = 3000;
    m_snmp.QueryMessage.ResetMessage();
    m_snmp.QueryMessage.PduTag = 0xA0;
    m_snmp.QueryMessage.AddBinding(kSysName, "", 4);
    const auto start = Clock::now();
    EXPECT_FALSE(m_snmp.RunQuery());
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 1000);

    m_agent->Start();
    EXPECT_EQ(m_agent->Port(), port);
    const auto values = Query(m_snmp, {kSysName});
    ASSERT_EQ(values.size(), 1U);
    EXPECT_EQ(values[0], m_agent->SysName());
}
