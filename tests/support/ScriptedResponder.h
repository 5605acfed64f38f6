#pragma once
// Test agents. ScriptedResponder is a UDP "agent" on 127.0.0.1 whose every
// answer the test decides (silence, delay, malformed or oversized replies);
// SnmpdAgent runs a real net-snmp agent on 127.0.0.1 for integration tests.
// Both listen on loopback only.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace veltrum::test {

// A UDP agent on 127.0.0.1 (ephemeral port) whose answers the test scripts.
// The handler runs on the responder's own thread.
class ScriptedResponder {
public:
    struct Request {
        std::string Community;
        int32_t PduTag = 0;
        int32_t RequestId = 0;
        std::vector<std::string> Oids;
        std::string Raw; // the datagram as received
    };
    struct VarBind {
        std::string Oid;
        uint8_t Type = 0x04; // 0x02, 0x41-0x43: Value is decimal text; 0x05: Value ignored; else raw octets
        std::string Value;
    };
    struct Reply {
        std::string Datagram;
        int DelayMs = 0; // sent this long after the request arrived
    };
    using Handler = std::function<std::optional<Reply>(const Request&)>; // nullopt: stay silent

    explicit ScriptedResponder(Handler handler);
    ~ScriptedResponder();
    ScriptedResponder(const ScriptedResponder&) = delete;
    ScriptedResponder& operator=(const ScriptedResponder&) = delete;

    uint16_t Port() const { return m_port; }
    std::string HostText() const; // "127.0.0.1:<port>"
    int RequestCount() const { return m_requestCount.load(); }

    // An RFC 1157 GetResponse (tag 0xA2) with these fields.
    static std::string EncodeResponse(const std::string& community, int32_t requestId, int32_t errorStatus,
                                      int32_t errorIndex, const std::vector<VarBind>& binds);
    // A GetResponse echoing the request's community and request-id; a bind
    // with an empty Oid takes the OID requested at its position.
    static Reply Respond(const Request& request, const std::vector<VarBind>& binds, int32_t errorStatus = 0);

private:
    void Run();

    Handler m_handler;
    int m_socket = -1;
    int m_wake[2] = {-1, -1};
    uint16_t m_port = 0;
    std::atomic<int> m_requestCount{0};
    std::thread m_thread;
};

} // namespace veltrum::test
