#include "core/InterfaceCheck.h"

#include "core/AgentQuery.h"
#include "core/AgentText.h"
#include "core/InterfaceWalk.h"
#include "core/SettingsTable.h"
#include "settings/IniFile.h"
#include "snmp/Ber.h"
#include "snmp/IdSNMP.h"

#include <vector>

namespace veltrum {

namespace {

constexpr int32_t kNoSuchName = 2; // RFC 1157 section 4.1.1

// What ifDescr.N reads now: true with `seen` set when the agent answered
// (an interface it no longer has reads as empty), false when it did not.
bool readDescription(const MonitorState& state, TIdSNMP& snmp, std::string& seen) {
    const bool v2c = UsesSnmpV2c(state);
    snmp.ReceiveTimeout = ReplyTimeoutMs(state);
    const AgentName description[] = {{AgentObject::IfDescr, state.InterfaceNumber}};
    const bool answered = AskAgent(snmp, {RequestKind::Get, v2c ? kVersion2c : kVersion1}, description);
    const TSNMPInfo& reply = snmp.ReplyMessage;
    if (reply.Packet.empty() || reply.PduTag != kTagGetResponse) {
        return false;
    }
    if (!answered) {
        // SNMPv1 says "no such interface" with noSuchName; any other error
        // tells nothing about the interface.
        seen.clear();
        return reply.ErrorStatus == kNoSuchName;
    }
    if (reply.CountValues() != 1) {
        return false;
    }
    seen = reply.IsNoValueAt(0) ? std::string() : InterfaceDescriptionOf(reply.ValueAt(0));
    return true;
}

} // namespace

InterfaceCheckRun::InterfaceCheckRun(const MonitorState& state) : m_profilePath(state.ProfilePath) {
    m_check.Number = state.InterfaceNumber;
    m_check.Description = state.InterfaceDescription;
    m_finished = state.InterfaceDescription.empty();
    if (!m_finished) {
        m_check.Kind = InterfaceCheckKind::Unanswered;
    }
}

bool InterfaceCheckRun::finish(InterfaceCheckKind kind) {
    m_check.Kind = kind;
    m_finished = true;
    return true;
}

bool InterfaceCheckRun::Step(MonitorState& state, TIdSNMP& snmp) noexcept {
    if (m_finished) {
        return true;
    }
    try {
        if (!m_walk) {
            if (!readDescription(state, snmp, m_check.Seen)) {
                return finish(InterfaceCheckKind::Unanswered);
            }
            if (SameInterfaceDescription(m_check.Description, m_check.Seen)) {
                return finish(InterfaceCheckKind::Confirmed);
            }
            WalkLimits limits;
            limits.DescriptionsOnly = true;
            m_walk.emplace(UsesSnmpV2c(state), limits);
            return false;
        }
        snmp.ReceiveTimeout = ReplyTimeoutMs(state);
        if (!m_walk->Step(snmp)) {
            return false;
        }
        concludeWalk(state);
    } catch (...) {
        // A profile that cannot be written: as if unasked.
        m_check.Kind = InterfaceCheckKind::Unanswered;
    }
    m_finished = true;
    return true;
}

void InterfaceCheckRun::concludeWalk(MonitorState& state) {
    std::vector<int32_t> matches;
    for (const InterfaceRow& row : m_walk->Rows()) {
        if (SameInterfaceDescription(m_check.Description, row.Descr)) {
            matches.push_back(row.Index);
        }
    }
    // Two interfaces of the same description cannot tell which one was
    // meant: better the number the user chose than a guess. Two matches are
    // two whatever the rest of the table holds.
    if (matches.size() > 1) {
        m_check.Kind = InterfaceCheckKind::Ambiguous;
        return;
    }
    if (m_walk->End() != WalkEnd::TableEnd) {
        m_check.Kind = InterfaceCheckKind::Incomplete;
        return;
    }
    if (matches.empty()) {
        m_check.Kind = InterfaceCheckKind::NotFound;
        return;
    }
    // A restart or another profile while the walk ran: the answer is about
    // an interface the monitor no longer watches.
    if (state.InterfaceNumber != m_check.Number || state.InterfaceDescription != m_check.Description ||
        state.ProfilePath != m_profilePath) {
        m_check.Kind = InterfaceCheckKind::Unanswered;
        return;
    }
    TIniFile ini(state.ProfilePath);
    WriteSettingInteger(ini, SettingKey::NumerInterfaceu, matches.front());
    state.InterfaceNumber = matches.front();
    m_check.NewNumber = matches.front();
    m_check.Kind = InterfaceCheckKind::Switched;
}

InterfaceCheck KeepInterfaceByName(MonitorState& state, TIdSNMP& snmp) noexcept {
    InterfaceCheckRun run(state);
    while (!run.Step(state, snmp)) {
    }
    return run.Result();
}

std::string InterfaceCheckText(const InterfaceCheck& check) {
    const std::string number = std::to_string(check.Number);
    const std::string seen = check.Seen.empty() ? "no interface" : "\"" + check.Seen + "\"";
    switch (check.Kind) {
    case InterfaceCheckKind::NotFound:
        return "Interface " + number + " is now " + seen + ", and no interface of the agent is \"" +
               check.Description + "\" any more. Still watching interface " + number + ".";
    case InterfaceCheckKind::Ambiguous:
        return "Interface " + number + " is now " + seen + ", and several interfaces of the agent are \"" +
               check.Description + "\". Still watching interface " + number + ".";
    case InterfaceCheckKind::Incomplete:
        return "Interface " + number + " is now " + seen +
               ", and the agent's list of interfaces could not be "
               "read to its end to look for \"" +
               check.Description + "\". Still watching interface " + number + ".";
    default:
        return {};
    }
}

} // namespace veltrum
