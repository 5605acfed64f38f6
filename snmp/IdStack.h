#pragma once
// The socket stack: address texts, host look-up, and the translation of the
// platform's socket errors into the layer's exceptions. POSIX datagram
// sockets stand underneath; error codes keep the Winsock numbering so that
// every message reads as the layer defines it.
//
// One instance, SocketStack(), is shared by all socket components. It is
// created by the first component and freed by the last (the component count
// below is the layer's only lock).

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace veltrum {

// Four octets of an IPv4 address, most significant first (network order).
using TIdIPv4 = std::array<uint8_t, 4>;

class TIdStack final {
public:
    // "w.x.y.z", "w.x.y" (y 0..65535), "w.x" (x 0..16777215) or "w"
    // (0..4294967295), each part read with StrToIntDef(part, -1).
    static bool IsAddressText(const std::string& text);
    // Throws EIdInvalidIPAddress "%s is not a valid IP address.".
    static TIdIPv4 ParseAddressText(const std::string& text);
    static std::string FormatAddress(const TIdIPv4& address);
    // "Socket Error # %d\r\n%s"; a code without a text gives an empty text.
    static std::string SocketErrorText(int32_t code);
    // errno to the Winsock code; an errno without a counterpart stays itself.
    static int32_t TranslateErrno(int error);

    // False for "LOCALHOST" in any case and for an address text: neither
    // needs the resolver.
    static bool NeedsLookUp(const std::string& host);
    // "LOCALHOST" in any case gives "127.0.0.1" and an address text comes
    // back unchanged, both without a look-up; anything else is looked up
    // (IPv4 only, no caching), blocking until the resolver answers. No entry
    // raises EIdSocketError 11001.
    std::string LookUpAddress(const std::string& host);

    // -1 reads errno, stores its code as LastError and raises EIdSocketError;
    // any other result is returned unchanged.
    int CheckSocketResult(int result);
    // Stores the code and raises EIdSocketError with SocketErrorText(code).
    [[noreturn]] void RaiseSocketError(int32_t code);

    int32_t LastError() const { return m_lastError.load(); }

private:
    std::atomic<int32_t> m_lastError{0};
};

// The shared stack; only valid while a socket component exists.
TIdStack& SocketStack();

// Every socket component counts itself in and out: the first creates
// SocketStack(), the last frees it.
class TIdBaseComponent {
public:
    TIdBaseComponent(const TIdBaseComponent&) = delete;
    TIdBaseComponent& operator=(const TIdBaseComponent&) = delete;

protected:
    TIdBaseComponent();
    virtual ~TIdBaseComponent();
};

class TIdComponent : public TIdBaseComponent {};

} // namespace veltrum
