// TIdSNMP against a real agent (net-snmp's snmpd on 127.0.0.1), checked
// against what net-snmp's own snmpget reads from the same agent.
#include "snmp/IdSNMP.h"
#include "support/SnmpdAgent.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
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
std::string Snmpget(const SnmpdAgent& agent, const std::string& oid) {
    const std::string command = "/usr/bin/snmpget -v1 -c " + agent.Community() +
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

std::vector<std::string> Query(TIdSNMP& snmp, const std::vector<std::string>& oids) {
    snmp.QueryMessage.ResetMessage();
    snmp.QueryMessage.PduTag = 0xA0;
    for (const std::string& oid : oids) {
        snmp.QueryMessage.AddBinding(oid, "", 4);
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
