// SNMPv3 against net-snmp's library. The poll exchange at authPriv
// (SHA-256, AES-128) with a local snmpd, by TIdSNMP::RunQuery and by
// net-snmp's synchronous request on the same agent and user: the CPU time
// of the calling thread is the figure (the agent's own work is the same for
// both). And the message work without the crypto: the four-counter
// GetRequest built as a noAuthNoPriv SNMPv3 message, and the four-Counter32
// answer read with its counters taken as integers. Loopback only.
#include "BenchPoll.h"
#include "snmp/Ber.h"
#include "snmp/IdSNMP.h"
#include "snmp/SnmpInfo.h"
#include "snmp/V3Message.h"
#include "support/SnmpdAgent.h"

#include <benchmark/benchmark.h>

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using veltrum::bench::FirstAnswer;
using veltrum::bench::kPollOids;
using veltrum::bench::NetSnmpGet;
const std::vector<std::vector<oid>> kNetSnmpOids = veltrum::bench::NetSnmpPollOids();
const char* const kUser = "bench";
const char* const kAuthPass = "bench-auth-passphrase";
const char* const kPrivPass = "bench-priv-passphrase";
const std::string kEngineId("\x80\x00\x1F\x88\x80\x12\x34\x56\x78\x9A\xBC\xDE\xF0\x00\x00\x00\x00", 17);

veltrum::test::SnmpdAgent* Agent(benchmark::State& state) {
    static std::unique_ptr<veltrum::test::SnmpdAgent> agent;
    static std::string failure;
    if (!agent && failure.empty()) {
        try {
            agent = std::make_unique<veltrum::test::SnmpdAgent>(
                "veltrum-test", std::vector<std::string>{std::string("createUser ") + kUser + " SHA-256 " +
                                                             kAuthPass + " AES " + kPrivPass,
                                                         std::string("rouser ") + kUser + " priv"});
            agent->Start();
        } catch (const std::exception& error) {
            failure = error.what();
            agent.reset();
        }
    }
    if (!agent) {
        state.SkipWithError(failure.c_str());
    }
    return agent.get();
}

class BenchOwner final : public veltrum::TSnmpMessageOwner {
public:
    const std::string& OwnerCommunity() const override { return m_community; }
    const std::string& OwnerHost() const override { return m_host; }
    int32_t OwnerPort() const override { return 161; }
    int32_t OwnerTrapPort() const override { return 162; }
    bool IsTrapMessage(const veltrum::TSNMPInfo&) const override { return false; }

private:
    std::string m_community;
    std::string m_host = "192.0.2.1";
};

void PollV3Veltrum(benchmark::State& state) {
    veltrum::test::SnmpdAgent* agent = Agent(state);
    if (agent == nullptr) {
        return;
    }
    veltrum::TIdSNMP snmp;
    snmp.Host = agent->HostText();
    snmp.ReceiveTimeout = 1000;
    veltrum::v3::TUser user;
    user.Name = kUser;
    user.Level = veltrum::v3::TSecurityLevel::AuthPriv;
    user.Auth = veltrum::usm::TAuthProtocol::SHA256;
    user.Priv = veltrum::usm::TPrivProtocol::AES128;
    user.AuthPassphrase = kAuthPass;
    user.PrivPassphrase = kPrivPass;
    snmp.SetV3User(user);
    const auto poll = [&snmp] { return veltrum::bench::PollCounters(snmp, 5); };
    const bool ready = FirstAnswer(poll); // discovery and the keys, once
    if (!ready) {
        state.SkipWithError(veltrum::v3::FailureText(snmp.V3Failure()));
        return;
    }
    for (auto _ : state) {
        if (!poll()) {
            state.SkipWithError("reply lost");
            break;
        }
        int32_t value = 0;
        benchmark::DoNotOptimize(snmp.ReplyMessage.Int32At(3, value));
    }
}

void initNetsnmp() {
    static bool initialised = false;
    if (!initialised) {
        setenv("MIBS", "", 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        init_snmp("veltrum_bench");
        initialised = true;
    }
}

void PollV3Netsnmp(benchmark::State& state) {
    veltrum::test::SnmpdAgent* agent = Agent(state);
    if (agent == nullptr) {
        return;
    }
    initNetsnmp();
    netsnmp_session settings;
    snmp_sess_init(&settings);
    const std::string peer = "udp:" + agent->HostText();
    settings.peername = const_cast<char*>(peer.c_str());
    settings.version = SNMP_VERSION_3;
    std::string name = kUser;
    settings.securityName = name.data();
    settings.securityNameLen = name.size();
    settings.securityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
    settings.securityAuthProto = usmHMAC192SHA256AuthProtocol;
    settings.securityAuthProtoLen = OID_LENGTH(usmHMAC192SHA256AuthProtocol);
    settings.securityAuthKeyLen = USM_AUTH_KU_LEN;
    settings.securityPrivProto = usmAESPrivProtocol;
    settings.securityPrivProtoLen = OID_LENGTH(usmAESPrivProtocol);
    settings.securityPrivKeyLen = USM_PRIV_KU_LEN;
    std::string auth = kAuthPass;
    std::string priv = kPrivPass;
    if (generate_Ku(settings.securityAuthProto, settings.securityAuthProtoLen,
                    reinterpret_cast<u_char*>(auth.data()), auth.size(), settings.securityAuthKey,
                    &settings.securityAuthKeyLen) != SNMPERR_SUCCESS ||
        generate_Ku(settings.securityAuthProto, settings.securityAuthProtoLen,
                    reinterpret_cast<u_char*>(priv.data()), priv.size(), settings.securityPrivKey,
                    &settings.securityPrivKeyLen) != SNMPERR_SUCCESS) {
        state.SkipWithError("generate_Ku failed");
        return;
    }
    settings.timeout = 1000000;
    settings.retries = 0;
    void* session = snmp_sess_open(&settings);
    if (session == nullptr) {
        state.SkipWithError("snmp_sess_open failed");
        return;
    }
    const auto poll = [session] { return NetSnmpGet(session, kNetSnmpOids); };
    const bool ready = FirstAnswer(poll);
    if (!ready) {
        state.SkipWithError("no reply from the agent");
    }
    for (auto _ : state) {
        if (!ready || !poll()) {
            state.SkipWithError("reply lost");
            break;
        }
    }
    snmp_sess_close(session);
}

// The answer both sides read: four Counter32 values, noAuthNoPriv.
std::string v3Response() {
    static const BenchOwner owner;
    veltrum::TSNMPInfo reply(owner);
    reply.ResetMessage();
    reply.Version = veltrum::kVersion2c;
    reply.PduTag = 0xA2;
    const char* const values[4] = {"166681654", "98123456", "1492281", "1288331"};
    for (int i = 0; i < 4; ++i) {
        reply.AddBinding(kPollOids[static_cast<std::size_t>(i)], values[i], 0x41);
    }
    const std::string community = reply.BuildMessage();
    veltrum::v3::TV3Header header;
    header.MsgId = 1234567;
    header.MaxSize = 65507;
    header.EngineId = kEngineId;
    header.EngineBoots = 3;
    header.EngineTime = 123456;
    header.UserName = kUser;
    return veltrum::v3::EncodeMessage(
        header, veltrum::v3::EncodeScopedPdu(kEngineId, "", *veltrum::v3::PduOfCommunityMessage(community)));
}

void BuildV3Veltrum(benchmark::State& state) {
    const BenchOwner owner;
    veltrum::TSNMPInfo query(owner);
    veltrum::v3::TV3Header header;
    header.MaxSize = 65507;
    header.Flags = veltrum::v3::kFlagReportable;
    header.EngineId = kEngineId;
    header.EngineBoots = 3;
    header.UserName = kUser;
    std::string scoped;
    for (auto _ : state) {
        query.ResetMessage();
        query.Version = veltrum::kVersion2c;
        query.PduTag = 0xA0;
        for (const std::string& text : kPollOids) {
            query.AddBinding(text, "", 5);
        }
        ++header.MsgId;
        ++header.EngineTime;
        const std::string_view pdu = *veltrum::v3::PduOfCommunityMessage(query.BuildMessage());
        veltrum::v3::EncodeScopedPduTo(scoped, kEngineId, "", pdu);
        veltrum::v3::EncodeMessageTo(query.Packet, header, scoped);
        benchmark::DoNotOptimize(query.Packet.data());
    }
}

netsnmp_session& netsnmpV3Session() {
    static netsnmp_session session = [] {
        initNetsnmp();
        netsnmp_session s;
        snmp_sess_init(&s);
        s.version = SNMP_VERSION_3;
        static char name[] = "bench";
        s.securityName = name;
        s.securityNameLen = 5;
        s.securityLevel = SNMP_SEC_LEVEL_NOAUTH;
        s.securityModel = SNMP_SEC_MODEL_USM;
        static std::string engine = kEngineId;
        s.securityEngineID = reinterpret_cast<u_char*>(engine.data());
        s.securityEngineIDLen = engine.size();
        s.contextEngineID = reinterpret_cast<u_char*>(engine.data());
        s.contextEngineIDLen = engine.size();
        // The reading side finds the user in its USM table, as a session
        // would have made it.
        struct usmUser* user = usm_create_user();
        user->name = strdup(name);
        user->secName = strdup(name);
        user->engineID = static_cast<u_char*>(malloc(engine.size()));
        memcpy(user->engineID, engine.data(), engine.size());
        user->engineIDLen = engine.size();
        usm_add_user(user);
        return s;
    }();
    return session;
}

void BuildV3Netsnmp(benchmark::State& state) {
    netsnmp_session& session = netsnmpV3Session();
    // What snmp_send does before building: the security fields from the
    // session.
    veltrum::bench::BuildNetSnmpRequests(state, session, kNetSnmpOids, [&session](netsnmp_pdu& pdu) {
        pdu.version = SNMP_VERSION_3;
        pdu.securityModel = SNMP_SEC_MODEL_USM;
        pdu.securityLevel = SNMP_SEC_LEVEL_NOAUTH;
        pdu.securityName = static_cast<char*>(malloc(session.securityNameLen + 1));
        memcpy(pdu.securityName, session.securityName, session.securityNameLen + 1);
        pdu.securityNameLen = session.securityNameLen;
        pdu.securityEngineID = static_cast<u_char*>(malloc(session.securityEngineIDLen));
        memcpy(pdu.securityEngineID, session.securityEngineID, session.securityEngineIDLen);
        pdu.securityEngineIDLen = session.securityEngineIDLen;
        pdu.contextEngineID = static_cast<u_char*>(malloc(session.contextEngineIDLen));
        memcpy(pdu.contextEngineID, session.contextEngineID, session.contextEngineIDLen);
        pdu.contextEngineIDLen = session.contextEngineIDLen;
        pdu.contextName = strdup("");
        pdu.contextNameLen = 0;
    });
}

void ParseV3Veltrum(benchmark::State& state) {
    const std::string data = v3Response();
    const BenchOwner owner;
    veltrum::TSNMPInfo reply(owner);
    for (auto _ : state) {
        const std::optional<veltrum::v3::TV3Message> message = veltrum::v3::DecodeMessage(data);
        const std::optional<veltrum::v3::TScopedPdu> scoped =
            message ? veltrum::v3::DecodeScopedPdu(message->Data) : std::nullopt;
        if (!scoped) {
            state.SkipWithError("decode failed");
            break;
        }
        reply.ResetMessage();
        veltrum::v3::CommunityMessageTo(reply.Packet, scoped->Pdu);
        reply.ParseMessage(reply.Packet);
        int32_t sum = 0;
        for (int i = 0; i < 4; ++i) {
            int32_t value = 0;
            reply.Int32At(i, value);
            sum += value;
        }
        benchmark::DoNotOptimize(sum);
    }
}

void ParseV3Netsnmp(benchmark::State& state) {
    netsnmp_session& session = netsnmpV3Session();
    std::string data = v3Response();
    for (auto _ : state) {
        netsnmp_pdu* pdu = snmp_pdu_create(0);
        if (snmp_parse(nullptr, &session, pdu, reinterpret_cast<u_char*>(data.data()), data.size()) != 0 ||
            pdu->variables == nullptr) {
            state.SkipWithError(snmp_api_errstring(session.s_snmp_errno));
            snmp_free_pdu(pdu);
            break;
        }
        int32_t sum = 0;
        for (netsnmp_variable_list* v = pdu->variables; v != nullptr; v = v->next_variable) {
            sum += static_cast<int32_t>(*v->val.integer);
        }
        benchmark::DoNotOptimize(sum);
        snmp_free_pdu(pdu);
    }
}

BENCHMARK(PollV3Veltrum)->Name("v3_poll_authpriv/veltrum")->Unit(benchmark::kMicrosecond);
BENCHMARK(PollV3Netsnmp)->Name("v3_poll_authpriv/netsnmp")->Unit(benchmark::kMicrosecond);
BENCHMARK(BuildV3Veltrum)->Name("v3_build_get_request/veltrum");
BENCHMARK(BuildV3Netsnmp)->Name("v3_build_get_request/netsnmp");
BENCHMARK(ParseV3Veltrum)->Name("v3_parse_get_response/veltrum");
BENCHMARK(ParseV3Netsnmp)->Name("v3_parse_get_response/netsnmp");

} // namespace
