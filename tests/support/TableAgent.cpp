#include "support/TableAgent.h"

#include "snmp/Ber.h"
#include "snmp/FakeMessageOwner.h"
#include "snmp/SnmpInfo.h"

#include <sstream>

namespace veltrum::test {

namespace {

std::vector<uint32_t> arcs(const std::string& oid) {
    std::vector<uint32_t> out;
    std::stringstream in(oid);
    std::string arc;
    while (std::getline(in, arc, '.')) {
        out.push_back(static_cast<uint32_t>(std::stoul(arc)));
    }
    return out;
}

std::string text(const std::vector<uint32_t>& oid) {
    std::string out;
    for (const uint32_t arc : oid) {
        out += (out.empty() ? "" : ".") + std::to_string(arc);
    }
    return out;
}

bool isInterfaceObject(const std::vector<uint32_t>& oid) {
    static const std::vector<uint32_t> ifTable = arcs("1.3.6.1.2.1.2.2");
    static const std::vector<uint32_t> ifXTable = arcs("1.3.6.1.2.1.31.1.1");
    const auto under = [&oid](const std::vector<uint32_t>& table) {
        return oid.size() > table.size() && std::equal(table.begin(), table.end(), oid.begin());
    };
    return under(ifTable) || under(ifXTable);
}

} // namespace

TableAgent::TableAgent(const Interfaces& interfaces) {
    SetInterfaces(interfaces);
}

std::vector<ScriptedResponder::Request> TableAgent::Received() const {
    const std::lock_guard lock(m_mutex);
    return m_received;
}

void TableAgent::SetInterfaces(const Interfaces& interfaces) {
    const std::lock_guard lock(m_mutex);
    std::erase_if(m_mib, [](const auto& entry) { return isInterfaceObject(entry.first); });
    for (const auto& [index, cells] : interfaces) {
        const std::string n = std::to_string(index);
        m_mib[arcs("1.3.6.1.2.1.2.2.1.2." + n)] = {0x04, cells.at(0)};
        m_mib[arcs("1.3.6.1.2.1.2.2.1.3." + n)] = {0x02, "6"};
        m_mib[arcs("1.3.6.1.2.1.2.2.1.8." + n)] = {0x02, cells.at(1)};
        if (cells.size() > 2) {
            m_mib[arcs("1.3.6.1.2.1.31.1.1.1.1." + n)] = {0x04, cells.at(2)};
            m_mib[arcs("1.3.6.1.2.1.31.1.1.1.18." + n)] = {0x04, cells.at(3)};
        }
    }
}

void TableAgent::SetObject(const std::string& oid, uint8_t type, const std::string& value) {
    const std::lock_guard lock(m_mutex);
    m_mib[arcs(oid)] = {type, value};
}

void TableAgent::SetSilentWhen(std::function<bool(const ScriptedResponder::Request&)> silent) {
    const std::lock_guard lock(m_mutex);
    m_silent = std::move(silent);
}

const TableAgent::Mib::value_type* TableAgent::next(const std::string& oid) const {
    const auto found = m_mib.upper_bound(arcs(oid));
    return found == m_mib.end() ? nullptr : &*found;
}

std::optional<ScriptedResponder::Reply> TableAgent::respond(const ScriptedResponder::Request& request) {
    const std::lock_guard lock(m_mutex);
    m_received.push_back(request);
    if (m_silent && m_silent(request)) {
        return std::nullopt;
    }
    FakeMessageOwner owner;
    owner.Community = request.Community;
    TSNMPInfo parsed(owner);
    parsed.ResetMessage();
    parsed.ParseMessage(request.Raw);
    const bool v2c = parsed.Version == kVersion2c;
    std::vector<ScriptedResponder::VarBind> binds;
    if (request.PduTag == kTagGetRequest) {
        for (const std::string& oid : request.Oids) {
            const auto found = m_mib.find(arcs(oid));
            if (found != m_mib.end()) {
                binds.push_back({oid, found->second.Type, found->second.Value});
            } else if (v2c) {
                binds.push_back({oid, static_cast<uint8_t>(kTagNoSuchInstance), ""});
            } else {
                // RFC 1157 section 4.1.2: noSuchName, the request's bindings as they came.
                std::vector<ScriptedResponder::VarBind> echoed;
                for (const std::string& asked : request.Oids) {
                    echoed.push_back({asked, 0x04, ""});
                }
                return ScriptedResponder::Respond(request, echoed, 2);
            }
        }
        return ScriptedResponder::Respond(request, binds);
    }
    if (request.PduTag == kTagGetNextRequest) {
        for (const std::string& oid : request.Oids) {
            const auto* object = next(oid);
            if (object == nullptr) {
                return ScriptedResponder::Respond(request, {}, 2); // noSuchName
            }
            binds.push_back({text(object->first), object->second.Type, object->second.Value});
        }
        return ScriptedResponder::Respond(request, binds);
    }
    std::vector<std::string> cursors = request.Oids;
    for (int32_t r = 0; r < parsed.ErrorIndex; ++r) {
        for (std::string& cursor : cursors) {
            const auto* object = next(cursor);
            if (object == nullptr) {
                binds.push_back({cursor, static_cast<uint8_t>(kTagEndOfMibView), ""});
                continue;
            }
            cursor = text(object->first);
            binds.push_back({cursor, object->second.Type, object->second.Value});
        }
    }
    return ScriptedResponder::Respond(request, binds);
}

} // namespace veltrum::test
