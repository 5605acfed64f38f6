#include "support/ScriptedResponder.h"

#include "support/MiniBer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace veltrum::test {

namespace {

using Clock = std::chrono::steady_clock;

std::string ValueItem(const ScriptedResponder::VarBind& bind) {
    switch (bind.Type) {
    case 0x02:
        return miniber::Wrap(0x02, miniber::SignedContent(std::strtoll(bind.Value.c_str(), nullptr, 10)));
    case 0x41:
    case 0x42:
    case 0x43: {
        // Unsigned 32-bit (RFC 1155): a leading zero octet keeps the top bit clear.
        const auto value = static_cast<uint32_t>(std::strtoull(bind.Value.c_str(), nullptr, 10));
        return miniber::Wrap(bind.Type, miniber::SignedContent(static_cast<int64_t>(value)));
    }
    case 0x05:
        return miniber::Wrap(0x05, "");
    default:
        return miniber::Wrap(bind.Type, bind.Value);
    }
}

ScriptedResponder::Request ParseRequest(const std::string& datagram) {
    ScriptedResponder::Request request;
    request.Raw = datagram;
    size_t pos = 0;
    uint8_t tag = 0;
    std::string message;
    if (!miniber::Read(datagram, pos, tag, message)) {
        return request;
    }
    size_t p = 0;
    std::string item;
    if (!miniber::Read(message, p, tag, item)) { // version
        return request;
    }
    if (!miniber::Read(message, p, tag, request.Community)) {
        return request;
    }
    std::string pdu;
    if (!miniber::Read(message, p, tag, pdu)) {
        return request;
    }
    request.PduTag = tag;
    size_t q = 0;
    if (!miniber::Read(pdu, q, tag, item)) {
        return request;
    }
    request.RequestId = static_cast<int32_t>(miniber::IntegerValue(item));
    std::string list;
    if (!miniber::Read(pdu, q, tag, item) || !miniber::Read(pdu, q, tag, item) ||
        !miniber::Read(pdu, q, tag, list)) {
        return request;
    }
    size_t r = 0;
    std::string bind;
    while (miniber::Read(list, r, tag, bind)) {
        size_t b = 0;
        std::string oid;
        if (miniber::Read(bind, b, tag, oid) && tag == 0x06) {
            request.Oids.push_back(miniber::OidText(oid));
        }
    }
    return request;
}

struct Pending {
    Clock::time_point Due;
    std::string Datagram;
    sockaddr_in To{};
};

} // namespace

ScriptedResponder::ScriptedResponder(Handler handler) : m_handler(std::move(handler)) {
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket == -1 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        throw std::runtime_error("ScriptedResponder: cannot create its socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("ScriptedResponder: cannot bind to 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
}

ScriptedResponder::~ScriptedResponder() {
    const char stop = 'x';
    (void)!::write(m_wake[1], &stop, 1);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    ::close(m_socket);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

std::string ScriptedResponder::HostText() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

void ScriptedResponder::Run() {
    std::vector<Pending> pending;
    std::string buffer(65536, '\0');
    for (;;) {
        int wait = -1;
        const auto now = Clock::now();
        for (const Pending& p : pending) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(p.Due - now).count();
            const int ms = left < 0 ? 0 : static_cast<int>(left) + 1;
            wait = wait < 0 ? ms : std::min(wait, ms);
        }
        pollfd entries[2] = {{m_socket, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        (void)::poll(entries, 2, wait);
        if (entries[1].revents != 0) {
            return;
        }
        if (entries[0].revents & POLLIN) {
            sockaddr_in from{};
            socklen_t size = sizeof from;
            const ssize_t count = ::recvfrom(m_socket, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                             reinterpret_cast<sockaddr*>(&from), &size);
            if (count >= 0) {
                const Request request = ParseRequest(buffer.substr(0, static_cast<size_t>(count)));
                ++m_requestCount;
                std::optional<Reply> reply;
                try {
                    reply = m_handler(request);
                } catch (...) {
                    reply.reset(); // a failing script stays silent; the test sees the time-out
                }
                if (reply) {
                    pending.push_back(
                        {Clock::now() + std::chrono::milliseconds(reply->DelayMs), reply->Datagram, from});
                }
            }
        }
        const auto sendNow = Clock::now();
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->Due <= sendNow) {
                (void)::sendto(m_socket, it->Datagram.data(), it->Datagram.size(), 0,
                               reinterpret_cast<const sockaddr*>(&it->To), sizeof it->To);
                it = pending.erase(it);
            } else {
                ++it;
            }
        }
    }
}

std::string ScriptedResponder::EncodeResponse(const std::string& community, int32_t requestId,
                                              int32_t errorStatus, int32_t errorIndex,
                                              const std::vector<VarBind>& binds) {
    std::vector<std::pair<std::string, std::string>> items;
    items.reserve(binds.size());
    for (const VarBind& bind : binds) {
        items.emplace_back(bind.Oid, ValueItem(bind));
    }
    return miniber::Message(community, 0xA2, requestId, errorStatus, errorIndex, items);
}

ScriptedResponder::Reply ScriptedResponder::Respond(const Request& request, const std::vector<VarBind>& binds,
                                                    int32_t errorStatus) {
    std::vector<VarBind> filled = binds;
    for (size_t i = 0; i < filled.size(); ++i) {
        if (filled[i].Oid.empty() && i < request.Oids.size()) {
            filled[i].Oid = request.Oids[i];
        }
    }
    const int32_t errorIndex = errorStatus != 0 ? 1 : 0;
    return Reply{EncodeResponse(request.Community, request.RequestId, errorStatus, errorIndex, filled), 0};
}

} // namespace veltrum::test
