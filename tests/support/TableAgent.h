#pragma once
// A scripted agent holding a small MIB: interfaces (ifDescr, ifType,
// ifOperStatus, and ifName and ifAlias where given) plus any other objects.
// It answers GetRequest, GetNextRequest as an SNMPv1 agent does (noSuchName
// past the last object, or for an object it lacks) and GetBulkRequest as
// RFC 3416 section 4.2.3 says (endOfMibView past the last object). The
// interfaces can be renumbered while it runs.

#include "support/ScriptedResponder.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace veltrum::test {

class TableAgent {
public:
    // ifIndex -> {ifDescr, ifOperStatus} or {ifDescr, ifOperStatus, ifName, ifAlias}.
    using Interfaces = std::map<int32_t, std::vector<std::string>>;

    explicit TableAgent(const Interfaces& interfaces);

    std::string Host() const { return m_agent.HostText(); }
    int Requests() const { return m_agent.RequestCount(); }
    // Every request so far, in order.
    std::vector<ScriptedResponder::Request> Received() const;

    // Replaces the interfaces (a renumbering); other objects stay.
    void SetInterfaces(const Interfaces& interfaces);
    // Adds or replaces one object (type 0x04 text, 0x02 or 0x41-0x43 decimal).
    void SetObject(const std::string& oid, uint8_t type, const std::string& value);
    // Requests for which this is true get no answer.
    void SetSilentWhen(std::function<bool(const ScriptedResponder::Request&)> silent);

    // The answer to a request, for another responder's script.
    std::optional<ScriptedResponder::Reply> Answer(const ScriptedResponder::Request& request) {
        return respond(request);
    }

private:
    struct Object {
        uint8_t Type;
        std::string Value;
    };
    using Mib = std::map<std::vector<uint32_t>, Object>;
    const Mib::value_type* next(const std::string& oid) const;
    std::optional<ScriptedResponder::Reply> respond(const ScriptedResponder::Request& request);

    mutable std::mutex m_mutex;
    Mib m_mib;
    std::vector<ScriptedResponder::Request> m_received;
    std::function<bool(const ScriptedResponder::Request&)> m_silent;
    ScriptedResponder m_agent{[this](const ScriptedResponder::Request& r) { return respond(r); }};
};

} // namespace veltrum::test
