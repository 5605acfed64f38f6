#include "snmp/IdUDPBase.h"

#include <optional>
#include <sys/socket.h>

namespace veltrum {

namespace {

constexpr int32_t kHostNotFound = 11001;

} // namespace

bool SplitHostPort(const std::string& text, std::string& host, int32_t& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    const size_t digits = text.size() - colon - 1;
    if (digits == 0 || digits > 5) {
        return false;
    }
    int32_t value = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) {
        return false;
    }
    host = text.substr(0, colon);
    port = value;
    return true;
}

TIdUDPBase::~TIdUDPBase() = default;

void TIdUDPBase::SetActive(bool active) {
    if (active == IsActive()) {
        return;
    }
    if (active) {
        (void)SocketHandle();
    } else {
        ReleaseHandle();
    }
}

void TIdUDPBase::SetBroadcastEnabled(bool enabled) {
    if (enabled == m_broadcastEnabled) {
        return;
    }
    m_broadcastEnabled = enabled;
    if (IsActive()) {
        ApplyBroadcast();
    }
}

TIdSocketHandle& TIdUDPBase::SocketHandle() {
    if (!m_binding) {
        m_binding = std::make_unique<TIdSocketHandle>();
    }
    if (!m_binding->HandleAllocated()) {
        m_binding->OpenSocket(SOCK_DGRAM, 0);
        ApplyBroadcast();
    }
    return *m_binding;
}

void TIdUDPBase::ReleaseHandle() {
    m_binding.reset();
}

bool TIdUDPBase::IsActive() const {
    return m_binding && m_binding->HandleAllocated();
}

void TIdUDPBase::ApplyBroadcast() {
    const int32_t value = m_broadcastEnabled ? -1 : 0;
    SocketHandle().SetOption(SOL_SOCKET, SO_BROADCAST, &value, sizeof value);
}

void TIdUDPBase::SendText(const std::string& host, int32_t port, const std::string& text) {
    SendBytes(host, port, text.data(), text.size());
}

void TIdUDPBase::SendBytes(const std::string& host, int32_t port, const void* buffer, size_t length) {
    std::string name = host;
    int32_t destination = port;
    (void)SplitHostPort(host, name, destination);
    m_lookUpWaitMs = 0;
    std::string address;
    if (!TIdStack::NeedsLookUp(name)) {
        address = SocketStack().LookUpAddress(name);
    } else {
        // The resolver may take seconds to give up on a silent name server;
        // the caller waits no longer than it would for the reply itself.
        const std::optional<TIdIPv4> found = m_hostLookUp.Address(name, ReceiveTimeout, m_lookUpWaitMs);
        if (!found) {
            SocketStack().RaiseSocketError(kHostNotFound);
        }
        address = TIdStack::FormatAddress(*found);
    }
    SocketHandle().SendDatagram(address, destination, buffer, length);
}

std::string TIdUDPBase::ReceiveText(std::string& peerHost, int32_t& peerPort, int32_t timeout) {
    std::string octets(BufferSize > 0 ? static_cast<size_t>(BufferSize) : 0, '\0');
    const int count = ReceiveBytes(octets.data(), octets.size(), peerHost, peerPort, timeout);
    octets.resize(static_cast<size_t>(count));
    return octets;
}

int TIdUDPBase::ReceiveBytes(void* buffer, size_t size, std::string& peerHost, int32_t& peerPort,
                             int32_t timeout) {
    if (timeout == -1) {
        timeout = ReceiveTimeout;
    }
    TIdSocketHandle& handle = SocketHandle();
    if (!handle.WaitReadable(timeout)) {
        peerHost.clear();
        peerPort = 0;
        return 0;
    }
    return handle.ReceiveDatagram(buffer, size, peerPort, peerHost);
}

} // namespace veltrum
