#include "snmp/IdSocketHandle.h"

#include "snmp/IdException.h"
#include "snmp/IdStack.h"

#include "snmp/IdWait.h"
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>

#include <poll.h>
#include <unistd.h>

namespace veltrum {

namespace {

constexpr int32_t kRefusedDatagram = 10054;
constexpr int32_t kMessageTooLong = 10040;
constexpr int32_t kInvalidArgument = 10022;

// Bounds the non-blocking drain, so that a peer flooding the socket cannot
// keep a query from being sent.
constexpr int kDrainLimit = 4096;

} // namespace

TIdSocketHandle::~TIdSocketHandle() {
    ReleaseSocket();
}

void TIdSocketHandle::OpenSocket(int socketType, int protocol) {
    ReleaseSocket();
    m_handle = ::socket(AF_INET, socketType | SOCK_CLOEXEC, protocol);
    if (m_handle == -1) {
        throw EIdInvalidSocket();
    }
    m_allocated = true;
    const int on = 1;
    SetOption(IPPROTO_IP, IP_RECVERR, &on, sizeof on);
}

void TIdSocketHandle::ReleaseSocket() {
    if (!m_allocated) {
        return;
    }
    m_allocated = false;
    m_errorSignalled = false;
    (void)::shutdown(m_handle, SHUT_WR);
    (void)::close(m_handle);
    m_handle = -1;
    IP.clear();
    Port = 0;
}

void TIdSocketHandle::SendDatagram(const std::string& address, int32_t port, const void* buffer,
                                   size_t length) {
    const TIdIPv4 octets = TIdStack::ParseAddressText(address);
    if (port < 0 || port > 65535) {
        SocketStack().RaiseSocketError(kInvalidArgument);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    std::memcpy(&to.sin_addr.s_addr, octets.data(), 4);
    const auto send = [&] {
        return ::sendto(m_handle, buffer, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    };
    ssize_t sent = send();
    if (sent == -1 && errno == ECONNREFUSED) {
        // A refusal of an earlier datagram, not yet read, fails the next send
        // on Linux; it says nothing about this datagram, so clear it and retry.
        int32_t ignored = 0;
        while (TakeQueuedError(ignored)) {
        }
        sent = send();
    }
    if (sent == -1) {
        if (errno == EMSGSIZE) {
            throw EIdPackageSizeTooBig();
        }
        SocketStack().CheckSocketResult(-1);
    }
    if (static_cast<size_t>(sent) < length) {
        throw EIdNotAllBytesSent();
    }
    if (Port == 0) {
        // The first send bound the socket to a local port: note it.
        sockaddr_in local{};
        socklen_t size = sizeof local;
        if (::getsockname(m_handle, reinterpret_cast<sockaddr*>(&local), &size) == 0) {
            IP = TIdStack::FormatAddress({reinterpret_cast<const uint8_t*>(&local.sin_addr.s_addr)[0],
                                          reinterpret_cast<const uint8_t*>(&local.sin_addr.s_addr)[1],
                                          reinterpret_cast<const uint8_t*>(&local.sin_addr.s_addr)[2],
                                          reinterpret_cast<const uint8_t*>(&local.sin_addr.s_addr)[3]});
            Port = ntohs(local.sin_port);
        }
    }
}

bool TIdSocketHandle::TakeQueuedError(int32_t& code) {
    char control[512];
    char data[1];
    iovec iov{data, sizeof data};
    msghdr message{};
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (::recvmsg(m_handle, &message, MSG_ERRQUEUE | MSG_DONTWAIT) == -1) {
        return false;
    }
    code = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) {
            sock_extended_err report{};
            std::memcpy(&report, CMSG_DATA(c), sizeof report);
            // ICMP port unreachable: what Winsock reports as a reset on reception.
            code = report.ee_errno == ECONNREFUSED
                       ? kRefusedDatagram
                       : TIdStack::TranslateErrno(static_cast<int>(report.ee_errno));
        }
    }
    if (code == 0) {
        code = kRefusedDatagram;
    }
    return true;
}

int TIdSocketHandle::ReceiveDatagram(void* buffer, size_t size, int32_t& port, std::string& address) {
    int32_t code = 0;
    // Only a wait that saw POLLERR makes the error queue worth a look; a
    // pending error read without a wait still surfaces through recvfrom.
    if (m_errorSignalled && TakeQueuedError(code)) {
        m_errorSignalled = false;
        SocketStack().RaiseSocketError(code);
    }
    m_errorSignalled = false;
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    // MSG_TRUNC makes the result the datagram's real length, so that one
    // longer than the buffer is reported instead of silently cut.
    const ssize_t count =
        ::recvfrom(m_handle, buffer, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (count == -1) {
        if (errno == ECONNREFUSED) {
            (void)TakeQueuedError(code);
            SocketStack().RaiseSocketError(kRefusedDatagram);
        }
        SocketStack().CheckSocketResult(-1);
    }
    if (static_cast<size_t>(count) > size) {
        SocketStack().RaiseSocketError(kMessageTooLong);
    }
    const auto* octets = reinterpret_cast<const uint8_t*>(&from.sin_addr.s_addr);
    address = TIdStack::FormatAddress({octets[0], octets[1], octets[2], octets[3]});
    port = ntohs(from.sin_port);
    PeerIP = address;
    PeerPort = port;
    return static_cast<int>(count);
}

bool TIdSocketHandle::WaitReadable(int32_t timeoutMs) {
    if (!m_allocated) {
        throw EIdConnClosedGracefully();
    }
    if (TIdWaiter* waiter = CurrentWaiter(); waiter != nullptr && timeoutMs != 0) {
        // A look without waiting first: a reply already in costs the loop
        // nothing. Otherwise the loop watches the socket meanwhile.
        if (!WaitReadable(0) &&
            !waiter->WaitReadable(m_handle, timeoutMs < 0 && timeoutMs != -2 ? 0 : timeoutMs)) {
            return false;
        }
        return WaitReadable(0);
    }
    using Clock = std::chrono::steady_clock;
    const bool unlimited = timeoutMs == -2;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int wait = -1;
        if (!unlimited) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = left.count() < 0 ? 0 : static_cast<int>(left.count());
        }
        pollfd entry{m_handle, POLLIN, 0};
        const int ready = ::poll(&entry, 1, wait);
        if (ready == 1) {
            // A reported error makes the socket readable too: reading it
            // raises the error instead of waiting out the time.
            m_errorSignalled = (entry.revents & POLLERR) != 0;
            return (entry.revents & (POLLIN | POLLERR)) != 0;
        }
        if (ready == -1 && errno == EINTR) {
            continue;
        }
        return false;
    }
}

void TIdSocketHandle::SetOption(int level, int option, const void* value, socklen_t length) {
    SocketStack().CheckSocketResult(::setsockopt(m_handle, level, option, value, length));
}

int TIdSocketHandle::DiscardPending() {
    if (!m_allocated) {
        return 0;
    }
    // One non-blocking look first: in the usual case nothing is waiting.
    pollfd entry{m_handle, POLLIN, 0};
    if (::poll(&entry, 1, 0) != 1) {
        return 0;
    }
    m_errorSignalled = false;
    int dropped = 0;
    int32_t code = 0;
    for (int i = 0; i < kDrainLimit && TakeQueuedError(code); ++i) {
    }
    char scrap[1];
    for (int i = 0; i < kDrainLimit; ++i) {
        const ssize_t count = ::recv(m_handle, scrap, sizeof scrap, MSG_DONTWAIT | MSG_TRUNC);
        if (count >= 0) {
            ++dropped;
            continue;
        }
        if (errno == EINTR || errno == ECONNREFUSED) {
            continue; // a pending refusal is cleared by reading it
        }
        break;
    }
    return dropped;
}

} // namespace veltrum
