#include "snmp/IdException.h"

namespace veltrum {

namespace {

std::string StubMessage(const std::string& title, uint32_t win32Error, const std::string& systemMessage) {
    if (win32Error == 0) {
        return title;
    }
    return title + ": " + systemMessage;
}

} // namespace

EIdWS2StubError::EIdWS2StubError(const std::string& title, uint32_t win32Error,
                                 const std::string& systemMessage)
    : EIdException(StubMessage(title, win32Error, systemMessage)), m_title(title), m_win32Error(win32Error),
      m_systemMessage(systemMessage) {}

} // namespace veltrum
