// SNMPv3 against a real agent (net-snmp's snmpd on 127.0.0.1, users made by
// createUser): every authentication and privacy protocol read value for
// value as snmpget -v3 reads it, each failure the agent reports named, a
// spoiled digest dropped, and a restarted agent followed.
#include "snmp/IdSNMP.h"
#include "support/SnmpdAgent.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace veltrum;
using v3::TFailure;
using v3::TSecurityLevel;
using veltrum::test::SnmpdAgent;

namespace {

const std::vector<std::string> kObjects = {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.6.0",
                                           "1.3.6.1.2.1.2.2.1.2.1"};
const char* const kAuthPass = "auth-passphrase-1";
const char* const kPrivPass = "priv-passphrase-2";

struct UserRow {
    const char* Auth;       // as -a and createUser take it; "" for none
    const char* Priv;       // as -x takes it; "" for none
    const char* CreatePriv; // as createUser takes it
};
// Each authentication protocol with AES-128, each privacy protocol with
// SHA-256, and the two short digests that AES-192/256 keys must extend.
const UserRow kUsers[] = {
    {"MD5", "AES", "AES"},
    {"SHA", "AES", "AES"},
    {"SHA-224", "AES", "AES"},
    {"SHA-256", "AES", "AES"},
    {"SHA-384", "AES", "AES"},
    {"SHA-512", "AES", "AES"},
    {"SHA-256", "DES", "DES"},
    {"SHA-256", "AES-192", "AES-192"},
    {"SHA-256", "AES-256", "AES-256"},
    {"SHA", "AES-256", "AES-256"},
    {"MD5", "AES-192", "AES-192"},
    {"SHA-256", "", ""},
    {"", "", ""},
};

std::string userName(const UserRow& row) {
    std::string name =
        std::string("u-") + (*row.Auth ? row.Auth : "none") + "-" + (*row.Priv ? row.Priv : "none");
    return name;
}

std::vector<std::string> agentConfig() {
    std::vector<std::string> lines;
    for (const UserRow& row : kUsers) {
        const std::string name = userName(row);
        if (*row.Auth == '\0') {
            lines.push_back("createUser " + name);
            lines.push_back("rouser " + name + " noauth");
        } else if (*row.Priv == '\0') {
            lines.push_back("createUser " + name + " " + row.Auth + " " + kAuthPass);
            lines.push_back("rouser " + name + " auth");
        } else {
            lines.push_back("createUser " + name + " " + row.Auth + " " + kAuthPass + " " + row.CreatePriv +
                            " " + kPrivPass);
            lines.push_back("rouser " + name + " priv");
        }
    }
    return lines;
}

v3::TUser userOf(const UserRow& row) {
    v3::TUser user;
    user.Name = userName(row);
    user.Level = *row.Auth == '\0'   ? TSecurityLevel::NoAuthNoPriv
                 : *row.Priv == '\0' ? TSecurityLevel::AuthNoPriv
                                     : TSecurityLevel::AuthPriv;
    if (*row.Auth != '\0') {
        user.Auth = *usm::AuthProtocolNamed(row.Auth);
        user.AuthPassphrase = kAuthPass;
    }
    if (*row.Priv != '\0') {
        user.Priv = *usm::PrivProtocolNamed(row.Priv);
        user.PrivPassphrase = kPrivPass;
    }
    return user;
}

std::string run(const std::string& command) {
    const std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string out;
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        out += buffer;
    }
    return out;
}

// snmpget -v3's values, one a line, quotes removed.
std::vector<std::string> snmpgetV3(const SnmpdAgent& agent, const UserRow& row) {
    std::string command = "/usr/bin/snmpget -v3 -Oqv -M /nonexistent -m '' -u " + userName(row);
    command += *row.Auth == '\0' ? " -l noAuthNoPriv" : *row.Priv == '\0' ? " -l authNoPriv" : " -l authPriv";
    if (*row.Auth != '\0') {
        command += std::string(" -a ") + row.Auth + " -A " + kAuthPass;
    }
    if (*row.Priv != '\0') {
        command += std::string(" -x ") + row.Priv + " -X " + kPrivPass;
    }
    command += " " + agent.HostText();
    for (const std::string& oid : kObjects) {
        command += " " + oid;
    }
    std::vector<std::string> values;
    std::string all = run(command + " 2>/dev/null");
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t end = all.find('\n', at);
        std::string line = all.substr(at, end - at);
        if (line.size() >= 2 && line.front() == '"' && line.back() == '"') {
            line = line.substr(1, line.size() - 2);
        }
        values.push_back(line);
        at = end == std::string::npos ? all.size() : end + 1;
    }
    return values;
}

bool query(TIdSNMP& snmp, const std::vector<std::string>& oids = kObjects) {
    snmp.QueryMessage.ResetMessage();
    snmp.QueryMessage.PduTag = 0xA0;
    for (const std::string& oid : oids) {
        snmp.QueryMessage.AddBinding(oid, "", 5);
    }
    return snmp.RunQuery();
}

class V3Agent : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (SnmpdAgent::Available()) {
            s_agent = std::make_unique<SnmpdAgent>("veltrum-test", agentConfig());
            s_agent->Start();
        }
    }
    static void TearDownTestSuite() { s_agent.reset(); }
    void SetUp() override {
        if (!s_agent) {
            GTEST_SKIP() << "snmpd is not installed (Debian package snmpd): SNMPv3 agent tests skipped";
        }
        m_snmp.Host = s_agent->HostText();
        m_snmp.ReceiveTimeout = 3000;
    }
    static std::unique_ptr<SnmpdAgent> s_agent;
    TIdSNMP m_snmp;
};
std::unique_ptr<SnmpdAgent> V3Agent::s_agent;

} // namespace

TEST_F(V3Agent, EveryProtocolReadsAsSnmpgetReads) {
    const bool compare = ::access("/usr/bin/snmpget", X_OK) == 0;
    for (const UserRow& row : kUsers) {
        SCOPED_TRACE(userName(row));
        TIdSNMP snmp;
        snmp.Host = s_agent->HostText();
        snmp.ReceiveTimeout = 3000;
        snmp.SetV3User(userOf(row));
        ASSERT_TRUE(query(snmp)) << v3::FailureText(snmp.V3Failure());
        ASSERT_TRUE(query(snmp)) << v3::FailureText(snmp.V3Failure());
        std::vector<std::string> ours;
        for (int i = 0; i < snmp.ReplyMessage.CountValues(); ++i) {
            ours.push_back(snmp.ReplyMessage.ValueAt(i));
        }
        ASSERT_EQ(ours.size(), kObjects.size());
        EXPECT_EQ(ours[0], s_agent->SysDescr());
        EXPECT_EQ(ours[1], s_agent->SysName());
        // The megabyte expansion ran once per passphrase, not per query.
        EXPECT_EQ(snmp.V3Session()->KeyExpansions(), (*row.Auth ? 1 : 0) + (*row.Priv ? 1 : 0));
        // Localised, the passphrases are no longer held.
        EXPECT_EQ(snmp.V3Session()->User().AuthPassphrase + snmp.V3Session()->User().PrivPassphrase, "");
        if (compare) {
            EXPECT_EQ(ours, snmpgetV3(*s_agent, row));
        }
    }
}

TEST_F(V3Agent, EveryReportIsNamed) {
    const UserRow authPriv = kUsers[3];
    const UserRow authOnly = kUsers[11];
    struct Case {
        const char* What;
        v3::TUser User;
        TFailure Failure;
    };
    std::vector<Case> cases;
    cases.push_back({"wrong authentication passphrase", userOf(authPriv), TFailure::WrongDigest});
    cases.back().User.AuthPassphrase = "not-the-passphrase";
    cases.push_back({"wrong privacy passphrase", userOf(authPriv), TFailure::DecryptionError});
    cases.back().User.PrivPassphrase = "not-the-passphrase";
    cases.push_back({"unknown user", userOf(authPriv), TFailure::UnknownUserName});
    cases.back().User.Name = "nobody-here";
    cases.push_back({"privacy for a user without", userOf(authOnly), TFailure::UnsupportedSecurityLevel});
    cases.back().User.Level = TSecurityLevel::AuthPriv;
    cases.back().User.Priv = usm::TPrivProtocol::AES128;
    cases.back().User.PrivPassphrase = kPrivPass;
    cases.push_back({"passphrase missing", userOf(authPriv), TFailure::PassphraseMissing});
    cases.back().User.AuthPassphrase.clear();
    cases.back().User.PrivPassphrase.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TIdSNMP snmp;
        snmp.Host = s_agent->HostText();
        snmp.ReceiveTimeout = 500;
        snmp.SetV3User(c.User);
        // A wrong privacy key leaves the agent silent; the third silent poll
        // asks the diagnostic question. Every other failure is named at
        // once, and again once the engine is known.
        for (int poll = 0; poll < 3; ++poll) {
            EXPECT_FALSE(query(snmp));
            const bool named = c.Failure != TFailure::DecryptionError || poll == 2;
            EXPECT_EQ(snmp.V3Failure(), named ? c.Failure : TFailure::None) << poll;
        }
        // No secret needed to find the engine.
        EXPECT_FALSE(snmp.V3Session()->EngineId().empty());
        const std::string text = v3::FailureText(snmp.V3Failure());
        EXPECT_EQ(text.find("passphrase-"), std::string::npos);
    }
}

// The exchange driven by hand against the agent: a reply whose digest is
// spoiled, or whose msgID is another's, is dropped; the true one is taken.
TEST_F(V3Agent, SpoiledDigestIsDropped) {
    v3::TV3Session session;
    session.SetUser(userOf(kUsers[3]));
    m_snmp.SetV3User(userOf(kUsers[3]));
    ASSERT_TRUE(query(m_snmp)); // a socket for the hand-driven exchange
    const std::string pdu = std::string(
        "\xA0\x13\x02\x01\x00\x02\x01\x00\x02\x01\x00\x30\x08\x30\x06\x06\x02\x2B\x06\x05\x00", 21);
    v3::TV3Exchange exchange(session, pdu);
    v3::TV3Exchange::TStep step = exchange.Start();
    std::string host;
    int32_t port = 0;
    std::string reply;
    while (step.Kind == v3::TV3Exchange::TStepKind::Send) {
        m_snmp.SendText("127.0.0.1", s_agent->Port(), step.Datagram);
        reply = m_snmp.ReceiveText(host, port, 3000);
        ASSERT_FALSE(reply.empty());
        std::string spoiled = reply;
        const std::optional<v3::TV3Message> decoded = v3::DecodeMessage(reply);
        ASSERT_TRUE(decoded.has_value());
        if ((decoded->Header.Flags & v3::kFlagAuth) != 0) {
            spoiled[decoded->AuthAt] = static_cast<char>(spoiled[decoded->AuthAt] ^ 1);
            EXPECT_EQ(exchange.OnDatagram(spoiled).Kind, v3::TV3Exchange::TStepKind::Ignore);
        }
        // Another message's answer (its msgID) is not this one's.
        v3::TV3Header other = decoded->Header;
        other.MsgId ^= 1;
        EXPECT_EQ(exchange.OnDatagram(v3::EncodeMessage(other, decoded->Data)).Kind,
                  v3::TV3Exchange::TStepKind::Ignore);
        step = exchange.OnDatagram(reply);
    }
    EXPECT_EQ(step.Kind, v3::TV3Exchange::TStepKind::Done);
}

// A restarted agent comes back as a new engine (this agent keeps no state
// between runs) or with one more boot: with one more boot the next query is
// answered after a re-synchronisation; a new engine's unauthenticated report
// is not followed, and the engine is discovered again after
// kRediscoverAfter unanswered polls. Meanwhile a failure never takes the
// last good reply for its own.
TEST_F(V3Agent, RestartedAgentIsFollowed) {
    m_snmp.ReceiveTimeout = 500;
    m_snmp.SetV3User(userOf(kUsers[3]));
    ASSERT_TRUE(query(m_snmp));
    const uint32_t boots = m_snmp.V3Session()->EngineBoots();
    const std::string engine = m_snmp.V3Session()->EngineId();
    s_agent->Stop();
    EXPECT_FALSE(query(m_snmp)); // refused: no agent listens
    EXPECT_TRUE(m_snmp.ReplyMessage.Packet.empty());
    s_agent->Start();
    int unanswered = 0;
    while (!query(m_snmp)) {
        EXPECT_EQ(m_snmp.V3Failure(), TFailure::UnknownEngineId);
        ASSERT_LE(++unanswered, v3::TV3Session::kRediscoverAfter);
    }
    const v3::TV3Session& session = *m_snmp.V3Session();
    EXPECT_TRUE(session.EngineId() != engine || session.EngineBoots() == boots + 1);
    EXPECT_EQ(unanswered, session.EngineId() != engine ? v3::TV3Session::kRediscoverAfter : 0);
    EXPECT_EQ(m_snmp.ReplyMessage.ValueAt(0), s_agent->SysDescr());
}
