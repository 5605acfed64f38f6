#include "core/AgentQuery.h"

#include "core/QueryFiber.h"

#include "core/AgentText.h"
#include "core/MonitorState.h"
#include "snmp/Ber.h"
#include "snmp/IdSNMP.h"
#include "snmp/TextToInt.h"

#include <algorithm>
#include <array>
#include <exception>
#include <utility>

namespace veltrum {

namespace {

struct ObjectEntry {
    AgentObject Object;
    std::string_view Id;
};

// Every object the program reads, in AgentObject's order.
constexpr std::array<ObjectEntry, 16> kObjects = {{
    {AgentObject::IfInOctets, "1.3.6.1.2.1.2.2.1.10"},
    {AgentObject::IfOutOctets, "1.3.6.1.2.1.2.2.1.16"},
    {AgentObject::IfInUcastPkts, "1.3.6.1.2.1.2.2.1.11"},
    {AgentObject::IfOutUcastPkts, "1.3.6.1.2.1.2.2.1.17"},
    // A Gauge32 of bits per second.
    {AgentObject::IfSpeed, "1.3.6.1.2.1.2.2.1.5"},
    {AgentObject::IfDescr, "1.3.6.1.2.1.2.2.1.2"},
    {AgentObject::IfOperStatus, "1.3.6.1.2.1.2.2.1.8"},
    {AgentObject::IfHCInOctets, "1.3.6.1.2.1.31.1.1.1.6"},
    {AgentObject::IfHCOutOctets, "1.3.6.1.2.1.31.1.1.1.10"},
    {AgentObject::IfHCInUcastPkts, "1.3.6.1.2.1.31.1.1.1.7"},
    {AgentObject::IfHCOutUcastPkts, "1.3.6.1.2.1.31.1.1.1.11"},
    {AgentObject::IfName, "1.3.6.1.2.1.31.1.1.1.1"},
    {AgentObject::IfAlias, "1.3.6.1.2.1.31.1.1.1.18"},
    {AgentObject::SysDescr, "1.3.6.1.2.1.1.1"},
    {AgentObject::SysName, "1.3.6.1.2.1.1.5"},
    {AgentObject::SysUpTime, "1.3.6.1.2.1.1.3"},
}};

constexpr bool inEnumOrder() {
    for (std::size_t i = 0; i < kObjects.size(); ++i) {
        if (static_cast<std::size_t>(kObjects[i].Object) != i) {
            return false;
        }
    }
    return true;
}
static_assert(inEnumOrder(), "kObjects is indexed by AgentObject");

constexpr int32_t kNoSuchName = 2; // RFC 1157 section 4.1.1: an SNMPv1 walk's end

int32_t pduTagOf(RequestKind kind) {
    switch (kind) {
    case RequestKind::GetNext:
        return kTagGetNextRequest;
    case RequestKind::GetBulk:
        return kTagGetBulkRequest;
    default:
        return kTagGetRequest;
    }
}

// SNMPv3 messages carry the PDUs of SNMPv2c (RFC 3412, RFC 3416).
bool carriesV2Pdus(int32_t version) {
    return version == kSnmpVersion2c || version == kSnmpVersion3;
}

void pointAt(TIdSNMP& snmp, const AgentTarget& target) {
    snmp.Host = target.Host;
    snmp.SetCommunity(target.Community);
    snmp.SetV3User(target.Version == v3::kVersion3 ? target.V3 : std::nullopt);
    snmp.ReceiveTimeout = target.TimeoutMs;
}

// One GetRequest of `names` for the probe.
void ask(TIdSNMP& snmp, const AgentTarget& target, std::span<const AgentName> names) {
    AskAgent(snmp, {RequestKind::Get, target.Version}, names);
}

// Why an interface's description came back empty, in the words the poll
// would use for the same reply: the poll fails converting such a value, and
// the reply's error-status (SNMPv1) or its missing value (SNMPv2c) says
// why. Kind Unknown when the agent simply describes the interface with no
// text.
FailureReason emptyDescriptionReason(const TIdSNMP& snmp, int32_t number) {
    const TSNMPInfo& reply = snmp.ReplyMessage;
    if (!reply.ValueAt(0).empty() || (reply.ErrorStatus == 0 && !reply.IsNoValueAt(0))) {
        return {};
    }
    return ExchangeFailure(snmp, std::make_exception_ptr(EConvertError(reply.ValueAt(0))), number);
}

} // namespace

std::string_view ObjectIdOf(AgentObject object) {
    return kObjects[static_cast<std::size_t>(object)].Id;
}

std::string NameText(const AgentName& name) {
    std::string text(ObjectIdOf(name.Object));
    if (name.Instance) {
        text.append(".").append(std::to_string(*name.Instance));
    }
    return text;
}

std::optional<v3::TUser> V3UserOf(int32_t version, const V3Settings& settings, const V3Secrets& secrets) {
    if (version != v3::kVersion3) {
        return std::nullopt;
    }
    v3::TUser user;
    user.Name = settings.User;
    user.Level = static_cast<v3::TSecurityLevel>(std::clamp(settings.Level, 0, 2));
    user.ContextName = settings.Context;
    user.KeysMissing = secrets.Missing;
    if (user.Level != v3::TSecurityLevel::NoAuthNoPriv) {
        // An unknown name in a hand-edited profile reads as the default.
        user.Auth = usm::AuthProtocolNamed(settings.Auth).value_or(usm::TAuthProtocol::SHA256);
        user.AuthPassphrase = secrets.AuthPassphrase;
        user.LocalizedAuthKey = secrets.AuthKey;
        user.KeysEngineId = secrets.EngineId;
    }
    if (user.Level == v3::TSecurityLevel::AuthPriv) {
        user.Priv = usm::PrivProtocolNamed(settings.Priv).value_or(usm::TPrivProtocol::AES128);
        user.PrivPassphrase = secrets.PrivPassphrase;
        user.LocalizedPrivKey = secrets.PrivKey;
    }
    return user;
}

namespace {

std::string hexOf(std::string_view octets) {
    static const char* const kDigits = "0123456789ABCDEF";
    std::string text;
    for (const char octet : octets) {
        text += kDigits[static_cast<uint8_t>(octet) >> 4];
        text += kDigits[static_cast<uint8_t>(octet) & 15];
    }
    return text;
}

std::string octetsOf(std::string_view hex) {
    std::string octets;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
        octets += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
    }
    return octets;
}

} // namespace

std::string V3KeysText(const V3Settings& settings, const std::string& authPassphrase,
                       const std::string& privPassphrase, const std::string& engineId,
                       const std::string& keptKeys) {
    const V3Secrets kept = V3SecretsOfKeys(keptKeys);
    const std::string& engine = engineId.empty() ? kept.EngineId : engineId;
    const bool keptHere = !engine.empty() && kept.EngineId == engine;
    const std::optional<v3::TUser> user =
        V3UserOf(v3::kVersion3, settings, {authPassphrase, privPassphrase, {}, {}, {}});
    if (!user || engine.empty() || user->Level == v3::TSecurityLevel::NoAuthNoPriv) {
        return {};
    }
    usm::TKeyCache cache;
    const usm::TKeyCache::TKeys& keys =
        cache.KeysFor(user->Auth, user->Priv, authPassphrase, privPassphrase, engine);
    const std::string& auth = !authPassphrase.empty() ? keys.Auth : keptHere ? kept.AuthKey : keys.Auth;
    const std::string& priv = !privPassphrase.empty() ? keys.Priv : keptHere ? kept.PrivKey : keys.Priv;
    if (auth.empty()) {
        return {};
    }
    return hexOf(engine) + ":" + hexOf(auth) + ":" + hexOf(priv);
}

V3Secrets V3SecretsOfKeys(const std::string& keysText) {
    V3Secrets secrets;
    const std::size_t first = keysText.find(':');
    const std::size_t second = first == std::string::npos ? first : keysText.find(':', first + 1);
    if (second == std::string::npos) {
        return secrets;
    }
    secrets.EngineId = octetsOf(std::string_view(keysText).substr(0, first));
    secrets.AuthKey = octetsOf(std::string_view(keysText).substr(first + 1, second - first - 1));
    secrets.PrivKey = octetsOf(std::string_view(keysText).substr(second + 1));
    return secrets;
}

bool AskAgent(TIdSNMP& snmp, const AgentRequest& request, std::span<const AgentName> names) {
    std::vector<std::string> texts;
    texts.reserve(names.size());
    for (const AgentName& name : names) {
        texts.push_back(NameText(name));
    }
    ResetRequest(snmp.QueryMessage, pduTagOf(request.Kind), request.Version, texts);
    if (request.Kind == RequestKind::GetBulk) {
        // RFC 3416 section 3: a GetBulkRequest carries non-repeaters and
        // max-repetitions where the others carry error-status and -index.
        snmp.QueryMessage.ErrorStatus = 0;
        snmp.QueryMessage.ErrorIndex = request.MaxRepetitions;
    }
    return snmp.RunQuery();
}

// Whether an SNMPv1 profile's agent would give the interface's 64-bit
// counters over SNMPv2c: SNMPv1 has no Counter64 (RFC 3584 section 4.2.2.1),
// so it is asked in SNMPv2c, last, and its silence fails nothing.
bool answers64BitCounters(TIdSNMP& snmp, const AgentTarget& target) {
    try {
        AgentTarget v2c = target;
        v2c.Version = kSnmpVersion2c;
        const AgentName counter[] = {{AgentObject::IfHCInOctets, target.Interface}};
        ask(snmp, v2c, counter);
        return snmp.ReplyMessage.ErrorStatus == 0 && !snmp.ReplyMessage.IsNoValueAt(0);
    } catch (...) {
        return false; // an SNMPv1 agent only
    }
}

ProbeResult ProbeAgent(TIdSNMP& snmp, const AgentTarget& target, ProbeScope scope) {
    ProbeResult result;
    try {
        pointAt(snmp, target);
        const AgentName description[] = {{AgentObject::IfDescr, target.Interface}};
        ask(snmp, target, description);
        result.Description = InterfaceDescriptionOf(snmp.ReplyMessage.ValueAt(0));
        result.DescriptionRead = true;
        result.DescriptionMissing = emptyDescriptionReason(snmp, target.Interface);
        if (scope == ProbeScope::Everything) {
            if (carriesV2Pdus(target.Version)) {
                const AgentName counter[] = {{AgentObject::IfHCInOctets, target.Interface}};
                ask(snmp, target, counter);
                result.Counters64 = !snmp.ReplyMessage.IsNoValueAt(0);
            }
            const AgentName agent[] = {{AgentObject::SysDescr, 0}, {AgentObject::SysName, 0}};
            ask(snmp, target, agent);
            result.SysDescr = snmp.ReplyMessage.ValueAt(0);
            result.SysName = snmp.ReplyMessage.ValueAt(1);
            if (!carriesV2Pdus(target.Version)) {
                result.Counters64 = answers64BitCounters(snmp, target);
            }
        }
        result.Answered = true;
    } catch (...) {
        // Silence, no reply, a missing value, an unknown host or a socket
        // error, told as the poll tells it.
        result.Failure = ExchangeFailure(snmp, std::current_exception(), target.Interface);
    }
    if (snmp.V3Session() != nullptr) {
        result.V3EngineId = snmp.V3Session()->EngineId();
    }
    return result;
}

InterfaceWalkSession::InterfaceWalkSession(TIdSNMP& snmp, AgentTarget target, QueryFiber* fiber)
    : m_snmp(snmp), m_target(std::move(target)), m_walker(carriesV2Pdus(m_target.Version)), m_fiber(fiber) {}

InterfaceWalkSession::~InterfaceWalkSession() {
    if (m_waiting && m_fiber != nullptr) {
        m_fiber->Cancel();
    }
}

bool InterfaceWalkSession::Step() {
    if (m_fiber == nullptr) {
        pointAt(m_snmp, m_target);
        return m_walker.Step(m_snmp);
    }
    if (m_fiber->Busy()) {
        return false; // its owner is told when the client is free again
    }
    if (m_ended) {
        return true;
    }
    m_waiting = true;
    m_fiber->Run([this] {
        pointAt(m_snmp, m_target);
        m_ended = m_walker.Step(m_snmp);
        m_waiting = false;
    });
    return !m_fiber->Busy() && m_ended;
}

bool InterfaceWalkSession::Busy() const {
    return m_fiber != nullptr && m_fiber->Busy();
}

FailureReason InterfaceWalkSession::EmptyReason() const {
    FailureReason reason = ExchangeFailure(m_snmp, m_walker.Failure(), 0);
    if (m_walker.Failure()) {
        return reason;
    }
    const TSNMPInfo& reply = m_snmp.ReplyMessage;
    if (m_snmp.ReplyRefused()) {
        reason.Kind = FailureKind::Refused;
    } else if (reply.Packet.empty()) {
        reason.Kind = FailureKind::NoReply;
    } else if (reply.ErrorStatus != 0 && reply.ErrorStatus != kNoSuchName) {
        reason.Kind = FailureKind::AgentError;
        reason.Code = reply.ErrorStatus;
    } else {
        reason.Kind = FailureKind::NoInterfaces;
    }
    return reason;
}

} // namespace veltrum
