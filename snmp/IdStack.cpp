#include "snmp/IdStack.h"

#include "snmp/IdException.h"
#include "snmp/IdHostLookUp.h"
#include "snmp/TextToInt.h"

#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace veltrum {

namespace {

std::mutex g_countLock;
int g_componentCount = 0;
std::unique_ptr<TIdStack> g_stack;

constexpr int32_t kHostNotFound = 11001;

// Splits at the first three dots; the last part keeps any further dots and
// so fails the conversion.
bool ParseForms(const std::string& text, TIdIPv4& out) {
    std::string parts[4];
    int count = 0;
    size_t start = 0;
    while (count < 3) {
        const size_t dot = text.find('.', start);
        if (dot == std::string::npos) {
            break;
        }
        parts[count++] = text.substr(start, dot - start);
        start = dot + 1;
    }
    parts[count++] = text.substr(start);

    if (count == 1) {
        const int64_t w = StrToInt64Def(parts[0], -1);
        if (w < 0 || w > 0xFFFFFFFFLL) {
            return false;
        }
        const auto v = static_cast<uint32_t>(w);
        out = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
               static_cast<uint8_t>(v)};
        return true;
    }
    int32_t values[4] = {};
    for (int i = 0; i < count; ++i) {
        values[i] = StrToIntDef(parts[i], -1);
    }
    // Every part but the last is one octet; the last fills the remaining octets.
    for (int i = 0; i + 1 < count; ++i) {
        if (values[i] < 0 || values[i] > 255) {
            return false;
        }
    }
    const int32_t last = values[count - 1];
    const int remaining = 5 - count; // octets the last part fills
    const int64_t limit = (int64_t{1} << (8 * remaining)) - 1;
    if (last < 0 || last > limit) {
        return false;
    }
    for (int i = 0; i + 1 < count; ++i) {
        out[static_cast<size_t>(i)] = static_cast<uint8_t>(values[i]);
    }
    for (int k = 0; k < remaining; ++k) {
        const int shift = 8 * (remaining - 1 - k);
        out[static_cast<size_t>(count - 1 + k)] = static_cast<uint8_t>(static_cast<uint32_t>(last) >> shift);
    }
    return true;
}

const char* ErrorTextFor(int32_t code) {
    switch (code) {
    case 10004:
        return "Interrupted system call.";
    case 10009:
        return "Bad file number.";
    case 10013:
        return "Access denied.";
    case 10014:
        return "Bad address.";
    case 10022:
        return "Invalid argument.";
    case 10024:
        return "Too many open files.";
    case 10035:
        return "Operation would block. ";
    case 10036:
        return "Operation now in progress.";
    case 10037:
        return "Operation already in progress.";
    case 10038:
        return "Socket operation on non-socket.";
    case 10039:
        return "Destination address required.";
    case 10040:
        return "Message too long.";
    case 10041:
        return "Protocol wrong type for socket.";
    case 10042:
        return "Bad protocol option.";
    case 10043:
        return "Protocol not supported.";
    case 10044:
        return "Socket type not supported.";
    case 10045:
        return "Operation not supported on socket.";
    case 10046:
        return "Protocol family not supported.";
    case 10047:
        return "Address family not supported by protocol family.";
    case 10048:
        return "Address already in use.";
    case 10049:
        return "Cannot assign requested address.";
    case 10050:
        return "Network is down.";
    case 10051:
        return "Network is unreachable.";
    case 10052:
        return "Net dropped connection or reset.";
    case 10053:
        return "Software caused connection abort.";
    case 10054:
        return "Connection reset by peer.";
    case 10055:
        return "No buffer space available.";
    case 10056:
        return "Socket is already connected.";
    case 10057:
        return "Socket is not connected.";
    case 10058:
        return "Cannot send or receive after socket is closed.";
    case 10059:
        return "Too many references, cannot splice.";
    case 10060:
        return "Connection timed out.";
    case 10061:
        return "Connection refused.";
    case 10062:
        return "Too many levels of symbolic links.";
    case 10063:
        return "File name too long.";
    case 10064:
        return "Host is down.";
    case 10065:
        return "No route to host.";
    case 10066:
        return "Directory not empty";
    case kHostNotFound:
        return "Host not found.";
    default:
        return "";
    }
}

} // namespace

bool TIdStack::IsAddressText(const std::string& text) {
    TIdIPv4 ignored{};
    return ParseForms(text, ignored);
}

TIdIPv4 TIdStack::ParseAddressText(const std::string& text) {
    TIdIPv4 address{};
    if (!ParseForms(text, address)) {
        throw EIdInvalidIPAddress(text);
    }
    return address;
}

std::string TIdStack::FormatAddress(const TIdIPv4& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) +
           "." + std::to_string(address[3]);
}

std::string TIdStack::SocketErrorText(int32_t code) {
    return "Socket Error # " + std::to_string(code) + "\r\n" + ErrorTextFor(code);
}

int32_t TIdStack::TranslateErrno(int error) {
    switch (error) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
        return 10024;
    case EAGAIN:
        return 10035; // EWOULDBLOCK is the same value on Linux
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    // A refused datagram is mapped to 10054 by the socket handle, which knows
    // the socket is a datagram socket; here it is a refused connection.
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    default:
        return error;
    }
}

bool TIdStack::NeedsLookUp(const std::string& host) {
    std::string upper = host;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper != "LOCALHOST" && !IsAddressText(host);
}

std::string TIdStack::LookUpAddress(const std::string& host) {
    if (!NeedsLookUp(host)) {
        return IsAddressText(host) ? host : "127.0.0.1";
    }
    const std::optional<TIdIPv4> address = ResolveHostName(host);
    if (!address) {
        RaiseSocketError(kHostNotFound);
    }
    return FormatAddress(*address);
}

int TIdStack::CheckSocketResult(int result) {
    if (result == -1) {
        RaiseSocketError(TranslateErrno(errno));
    }
    return result;
}

void TIdStack::RaiseSocketError(int32_t code) {
    m_lastError.store(code);
    throw EIdSocketError(code, SocketErrorText(code));
}

TIdStack& SocketStack() {
    const std::lock_guard<std::mutex> lock(g_countLock);
    if (!g_stack) {
        throw std::logic_error("SocketStack used while no socket component exists");
    }
    return *g_stack;
}

TIdBaseComponent::TIdBaseComponent() {
    const std::lock_guard<std::mutex> lock(g_countLock);
    if (g_componentCount++ == 0) {
        g_stack = std::make_unique<TIdStack>();
    }
}

TIdBaseComponent::~TIdBaseComponent() {
    const std::lock_guard<std::mutex> lock(g_countLock);
    if (--g_componentCount == 0) {
        g_stack.reset();
    }
}

} // namespace veltrum
