#pragma once
// TIdUDPBase: a datagram component. It owns one socket handle, opened on
// first use and kept open between exchanges, sends a datagram to a host
// given by name or address text and waits for one datagram with a time-out.
// A host name is looked up in the background (TIdHostLookUp), so a send
// waits for a name at most ReceiveTimeout.

#include "snmp/IdHostLookUp.h"
#include "snmp/IdSocketHandle.h"
#include "snmp/IdStack.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace veltrum {

// A host text may carry its own port: "127.0.0.1:1161", "router.lan:16100".
// When the part after the last ":" is a decimal number 1..65535 (digits
// only), `host` gets the part before it and `port` the number, and the
// result is true. Any other text is left whole (false; outputs untouched).
bool SplitHostPort(const std::string& text, std::string& host, int32_t& port);

class TIdUDPBase : public TIdComponent {
public:
    TIdUDPBase() = default;
    ~TIdUDPBase() override;

    std::string Host;
    int32_t Port = 0;
    int32_t ReceiveTimeout = -2; // ms; -2 waits without limit
    int32_t BufferSize = 8192;   // the largest datagram accepted

    bool Active() const { return IsActive(); }
    // True opens the socket now, false closes it; the next send opens a new one.
    void SetActive(bool active);
    bool BroadcastEnabled() const { return m_broadcastEnabled; }
    void SetBroadcastEnabled(bool enabled);

    // The handle, created on first use; opens a datagram socket if none is open.
    virtual TIdSocketHandle& SocketHandle();
    virtual void ReleaseHandle();
    virtual bool IsActive() const;
    void ApplyBroadcast();

    void SendText(const std::string& host, int32_t port, const std::string& text);
    // The host is looked up at every send. A host text ending in ":port"
    // (see SplitHostPort) is sent to that port instead of `port`. An address
    // text or "localhost" needs no look-up; a name waits for its first answer
    // at most ReceiveTimeout, and a name without a known address raises
    // EIdSocketError 11001 "Host not found.".
    void SendBytes(const std::string& host, int32_t port, const void* buffer, size_t length);
    // How long the last send waited for a host name's address, in ms.
    int32_t LookUpWaitMs() const { return m_lookUpWaitMs; }

    // One datagram of at most BufferSize octets; empty when none came in
    // time (then peerHost is empty and peerPort 0). A time-out of -1 stands
    // for ReceiveTimeout.
    std::string ReceiveText(std::string& peerHost, int32_t& peerPort, int32_t timeout = -1);
    int ReceiveBytes(void* buffer, size_t size, std::string& peerHost, int32_t& peerPort,
                     int32_t timeout = -1);

private:
    std::unique_ptr<TIdSocketHandle> m_binding;
    bool m_broadcastEnabled = false;
    TIdHostLookUp m_hostLookUp;
    int32_t m_lookUpWaitMs = 0;
};

} // namespace veltrum
