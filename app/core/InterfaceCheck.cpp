#include "app/core/InterfaceCheck.h"

#include "app/core/InterfaceWalk.h"
#include "app/core/SettingsTable.h"
#include "settings/IniFile.h"
#include "snmp/Ber.h"
#include "snmp/IdSNMP.h"

#include <vector>

namespace veltrum {

namespace {

constexpr const char* kIfDescrPrefix = "1.3.6.1.2.1.2.2.1.2."; // RFC 1213 ifDescr
constexpr int32_t kNoSuchName = 2;                             // RFC 1157 section 4.1.1

// What ifDescr.N reads now: true with `seen` set when the agent answered
// (an interface it no longer has reads as empty), false when it did not.
bool readDescription(const MonitorState& state, TIdSNMP& snmp, std::string& seen) {
    const bool v2c = UsesSnmpV2c(state);
    snmp.ReceiveTimeout = ReplyTimeoutMs(state);
    const std::string oid = kIfDescrPrefix + std::to_string(state.InterfaceNumber);
    ResetRequest(snmp.QueryMessage, kTagGetRequest, v2c ? kVersion2c : kVersion1,
                 std::span<const std::string>(&oid, 1));
    const bool answered = snmp.RunQuery();
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
    seen = reply.IsNoValueAt(0) ? std::string() : reply.ValueAt(0);
    return true;
}

} // namespace

InterfaceCheck KeepInterfaceByName(MonitorState& state, TIdSNMP& snmp) noexcept {
    InterfaceCheck check;
    check.Number = state.InterfaceNumber;
    check.Description = state.InterfaceDescription;
    if (state.InterfaceDescription.empty()) {
        return check;
    }
    check.Kind = InterfaceCheckKind::Unanswered;
    try {
        if (!readDescription(state, snmp, check.Seen)) {
            return check;
        }
        if (check.Seen == state.InterfaceDescription) {
            check.Kind = InterfaceCheckKind::Confirmed;
            return check;
        }
        WalkLimits limits;
        limits.DescriptionsOnly = true;
        std::exception_ptr failure;
        const std::vector<InterfaceRow> rows =
            WalkInterfaces(snmp, UsesSnmpV2c(state), limits, nullptr, &failure);
        std::vector<int32_t> matches;
        for (const InterfaceRow& row : rows) {
            if (row.Descr == state.InterfaceDescription) {
                matches.push_back(row.Index);
            }
        }
        // A walk cut short by silence or a failure may have missed the match.
        const bool wholeTable = !failure && !snmp.ReplyMessage.Packet.empty();
        if (matches.empty() && !wholeTable) {
            return check;
        }
        if (matches.size() != 1) {
            // Two interfaces of the same description cannot tell which one
            // was meant: better the number the user chose than a guess.
            check.Kind = matches.empty() ? InterfaceCheckKind::NotFound : InterfaceCheckKind::Ambiguous;
            return check;
        }
        TIniFile ini(state.ProfilePath);
        WriteSettingInteger(ini, SettingKey::NumerInterfaceu, matches.front());
        state.InterfaceNumber = matches.front();
        check.NewNumber = matches.front();
        check.Kind = InterfaceCheckKind::Switched;
    } catch (...) {
        // A failed exchange or a profile that cannot be written: as if unasked.
    }
    return check;
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
    default:
        return {};
    }
}

} // namespace veltrum
