#pragma once
// The socket layer's exception family. Every failure of the layer is one of
// these classes with a fixed message; callers catch EIdException (or any
// std::exception) around a whole query.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltrum {

class EIdException : public std::runtime_error {
public:
    explicit EIdException(const std::string& message) : std::runtime_error(message) {}
};

class EIdSilentException : public EIdException {
public:
    using EIdException::EIdException;
};

// Raised when a handle without an open socket is asked to wait.
class EIdConnClosedGracefully final : public EIdSilentException {
public:
    EIdConnClosedGracefully() : EIdSilentException("Connection Closed Gracefully.") {}
};

class EIdInvalidServiceName final : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdInvalidSocket final : public EIdException {
public:
    EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
};

// Carries the error code in the Winsock numbering (see TIdStack::TranslateErrno),
// so that codes and messages read the same on every platform.
class EIdSocketError final : public EIdException {
public:
    EIdSocketError(int32_t lastError, const std::string& message)
        : EIdException(message), m_lastError(lastError) {}
    int32_t LastError() const { return m_lastError; }

private:
    int32_t m_lastError;
};

// Loading the Windows socket library at run time; nothing raises it on Linux,
// where no library is loaded, but it keeps the family complete.
class EIdWS2StubError final : public EIdException {
public:
    // Message: title, then ": " and the system's text unless the code is 0.
    EIdWS2StubError(const std::string& title, uint32_t win32Error, const std::string& systemMessage);
    const std::string& Title() const { return m_title; }
    uint32_t Win32Error() const { return m_win32Error; }
    const std::string& SystemMessage() const { return m_systemMessage; }

private:
    std::string m_title;
    uint32_t m_win32Error;
    std::string m_systemMessage;
};

class EIdStackError : public EIdException {
public:
    using EIdException::EIdException;
};

// Windows socket start-up; no trigger on Linux.
class EIdStackInitializationFailed final : public EIdStackError {
public:
    EIdStackInitializationFailed() : EIdStackError("Winsock Initialization Error.") {}
};

class EIdStackSetSizeExceeded final : public EIdStackError {
public:
    EIdStackSetSizeExceeded() : EIdStackError("Set Size Exceeded.") {}
};

class EIdInvalidIPAddress final : public EIdStackError {
public:
    explicit EIdInvalidIPAddress(const std::string& text)
        : EIdStackError(text + " is not a valid IP address.") {}
};

class EIdSocketHandleError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdPackageSizeTooBig final : public EIdSocketHandleError {
public:
    EIdPackageSizeTooBig() : EIdSocketHandleError("Package Size Too Big.") {}
};

class EIdNotAllBytesSent final : public EIdSocketHandleError {
public:
    EIdNotAllBytesSent() : EIdSocketHandleError("Not all bytes sent.") {}
};

} // namespace veltrum
