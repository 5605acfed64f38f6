#pragma once
// TIdSocketHandle: one IPv4 datagram socket and what is known about its two
// ends. Opened by the UDP component on first use, closed when released.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/socket.h>

namespace veltrum {

class TIdSocketHandle final {
public:
    TIdSocketHandle() = default;
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    int Handle() const { return m_handle; }
    bool HandleAllocated() const { return m_allocated; }

    std::string IP;       // local address, once the first send has bound the socket
    int32_t Port = 0;     // local port, likewise
    std::string PeerIP;   // sender of the last datagram received
    int32_t PeerPort = 0; // likewise
    int32_t ClientPortMin = 0;
    int32_t ClientPortMax = 0;

    // Releases any socket, then opens an AF_INET socket of this type.
    // Refused datagrams are asked to be reported (IP_RECVERR), so that a
    // port-unreachable answer ends a wait at once.
    void OpenSocket(int socketType = SOCK_DGRAM, int protocol = 0);
    // Shuts the socket down for sending and closes it; results ignored.
    void ReleaseSocket();

    // One datagram to address text (one of the four IPv4 forms) and port.
    // EMSGSIZE raises EIdPackageSizeTooBig, a short send EIdNotAllBytesSent,
    // any other failure EIdSocketError. A port outside 0..65535 raises
    // EIdSocketError 10022 instead of being cut to 16 bits.
    void SendDatagram(const std::string& address, int32_t port, const void* buffer, size_t length);

    // Reads one datagram into buffer; returns its length and the sender.
    // A datagram longer than size is consumed and raises EIdSocketError
    // 10040; a refusal of an earlier datagram raises EIdSocketError 10054.
    int ReceiveDatagram(void* buffer, size_t size, int32_t& port, std::string& address);

    // Waits up to timeoutMs (-2: no limit; other negatives: no wait) until a
    // datagram or a reported error is waiting. Raises EIdConnClosedGracefully
    // when no socket is open.
    bool WaitReadable(int32_t timeoutMs);

    void SetOption(int level, int option, const void* value, socklen_t length);

    // Drops every datagram and every reported error already waiting, without
    // blocking, so that a late reply to an earlier request is never taken
    // for the reply to the next one. Returns the datagrams dropped.
    int DiscardPending();

private:
    // Reads one queued error report; true and its Winsock code when one was there.
    bool TakeQueuedError(int32_t& code);

    int m_handle = -1;
    bool m_allocated = false;
    bool m_errorSignalled = false; // the last wait saw POLLERR
};

} // namespace veltrum
