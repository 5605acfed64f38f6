#pragma once
// How the program asks the agent. Every object it reads is named once, in
// AgentObject, and every request it sends (the poll, ifSpeed, the interface
// check, the interface walk, the settings dialog's probe) is built and run by
// AskAgent. The dialogs do not talk to the agent themselves: they ask the
// monitor (MonitorControl::Probe, StartInterfaceWalk), which asks through its
// own client for them, SNMPConf, so that no dialog question disturbs the
// poll's request state.

#include "core/FailureReason.h"
#include "core/InterfaceWalk.h"
#include "core/SettingsTable.h"
#include "snmp/V3Exchange.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum {

class QueryFiber;

class TIdSNMP;

enum class AgentObject {
    // RFC 1213 ifTable.
    IfInOctets,
    IfOutOctets,
    IfInUcastPkts,
    IfOutUcastPkts,
    IfSpeed,
    IfDescr,
    IfOperStatus,
    // RFC 2863 ifXTable.
    IfHCInOctets,
    IfHCOutOctets,
    IfHCInUcastPkts,
    IfHCOutUcastPkts,
    IfName,
    IfAlias,
    // RFC 1213 system group.
    SysDescr,
    SysName,
    // TimeTicks since the agent's start: whether it kept counting while the
    // program was closed.
    SysUpTime,
};

// The object's identifier: a table's column, or a scalar object.
std::string_view ObjectIdOf(AgentObject object);

// One name a request carries: a cell of a column (Instance the ifIndex), a
// scalar (Instance 0), or the column itself, where a walk starts.
struct AgentName {
    AgentObject Object = AgentObject::IfDescr;
    std::optional<int32_t> Instance;
};

// The name as the request carries it, in dotted text.
std::string NameText(const AgentName& name);

enum class RequestKind { Get, GetNext, GetBulk };

struct AgentRequest {
    RequestKind Kind = RequestKind::Get;
    int32_t Version = 0;        // the message's version field: 0 SNMPv1, 1 SNMPv2c
    int32_t MaxRepetitions = 0; // GetBulk: rows asked for each name
};

// The one way a question reaches the agent: makes snmp.QueryMessage a
// request of `request`'s kind and version for `names`, in their order, and
// runs the exchange with the client's host, community and time-out. True
// when a reply came with error-status 0. Throws what the exchange throws;
// the reply is left in snmp.ReplyMessage.
bool AskAgent(TIdSNMP& snmp, const AgentRequest& request, std::span<const AgentName> names);

// The agent a dialog names: host, community and version as typed, not as
// saved; the read time-out in force.
struct AgentTarget {
    std::string Host;
    std::string Community;
    int32_t Version = 0; // the message's version field: 0 SNMPv1, 1 SNMPv2c
    int32_t TimeoutMs = 0;
    int32_t Interface = 0; // the interface asked about (the walk asks them all)
    // SNMPv3's user (Version 3 asks PDUs as SNMPv2c does, in SNMPv3 messages).
    std::optional<v3::TUser> V3;
};

// The SNMPv3 user of these settings and secrets; nothing unless `version` is
// SNMPv3. Without a passphrase the user keeps the localised keys stored for
// `engineId` (KeysEngineId), or none: the engine is still discovered, and
// the exchange names the missing passphrase.
struct V3Secrets {
    std::string AuthPassphrase;
    std::string PrivPassphrase;
    std::string EngineId;
    std::string AuthKey;
    std::string PrivKey;
    // Why there is neither passphrase nor key (v3::TUser::KeysMissing).
    v3::TFailure Missing = v3::TFailure::PassphraseMissing;
};
std::optional<v3::TUser> V3UserOf(int32_t version, const V3Settings& settings, const V3Secrets& secrets);
// The keys the passphrases give for `engineId`, as a profile keeps them in
// place of the passphrases: "engine:auth:priv" in hex. They open that one
// engine only, as an agent's own stored users do (RFC 3414 2.6). An empty
// passphrase keeps its key from `keptKeys` (a text of this form) where
// those were localised for the same engine; an empty `engineId` is theirs.
std::string V3KeysText(const V3Settings& settings, const std::string& authPassphrase,
                       const std::string& privPassphrase, const std::string& engineId,
                       const std::string& keptKeys = {});
// The secrets of such a text (empty fields where it holds none).
V3Secrets V3SecretsOfKeys(const std::string& keysText);

enum class ProbeScope {
    Description, // only the interface's ifDescr
    Everything,  // and its ifHCInOctets, and sysDescr and sysName
};

// What the settings dialog shows of an agent.
struct ProbeResult {
    // Every question was answered; otherwise Failure says why the first
    // unanswered one was not (Kind Unknown: no reason is known).
    bool Answered = false;
    FailureReason Failure;
    // The interface's ifDescr came back; Description holds it, possibly
    // empty, without the trailing NUL some agents add.
    bool DescriptionRead = false;
    std::string Description;
    // An empty description the agent gave with an error (SNMPv1) or in
    // place of a value (SNMPv2c): why, in the words the poll uses for that
    // reply. Kind Unknown when the agent simply has no text for it.
    FailureReason DescriptionMissing;
    // The agent keeps the interface's 64-bit counters (for an SNMPv1
    // profile: it gives them over SNMPv2c, which the profile could use).
    bool Counters64 = false;
    std::string SysDescr;
    std::string SysName;
    // SNMPv3: the agent's engine ID as discovered (even without a secret).
    std::string V3EngineId;
};

// One probe of `target` through `snmp`, blocking: the interface's ifDescr
// first, then (Everything) the 64-bit counter and the agent's description
// and name (an SNMPv1 profile's agent is asked for the 64-bit counter last,
// in SNMPv2c), one GetRequest each; the first failure ends it. Never throws.
ProbeResult ProbeAgent(TIdSNMP& snmp, const AgentTarget& target, ProbeScope scope = ProbeScope::Everything);

// An interface walk of `target` through a client the caller keeps, an
// exchange per Step, for a window that lets its events through between
// steps. The client is pointed at the target before every exchange, so a
// probe through the same client between two steps does not derail it.
class InterfaceWalkSession final {
public:
    // With a `fiber` (core/QueryFiber.h), each exchange waits for its reply
    // on it and a Step that finds it busy returns at once: the caller steps
    // again when the fiber's owner says it is free.
    InterfaceWalkSession(TIdSNMP& snmp, AgentTarget target, QueryFiber* fiber = nullptr);
    // An exchange still waiting ends at once.
    ~InterfaceWalkSession();
    InterfaceWalkSession(const InterfaceWalkSession&) = delete;
    InterfaceWalkSession& operator=(const InterfaceWalkSession&) = delete;

    // One exchange; true once the walk has ended. Never throws.
    bool Step();
    // Its client is busy (an exchange awaits its reply): a Step now does nothing.
    bool Busy() const;
    std::vector<InterfaceRow> TakeSettledRows() { return m_walker.TakeSettledRows(); }
    WalkEnd End() const { return m_walker.End(); }
    std::size_t RowCount() const { return m_walker.RowCount(); }
    // Why a walk that found nothing found nothing: the failure that ended
    // it, or else what its last exchange heard.
    FailureReason EmptyReason() const;

private:
    TIdSNMP& m_snmp;
    AgentTarget m_target;
    InterfaceWalker m_walker;
    QueryFiber* m_fiber = nullptr;
    bool m_ended = false;
    bool m_waiting = false; // an exchange of this walk is on the fiber
};

} // namespace veltrum
