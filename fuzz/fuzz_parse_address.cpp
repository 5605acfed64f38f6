// Address texts and host:port splitting on arbitrary text: the Host field
// comes straight from a profile file, so any octets can reach them.
#include "snmp/IdException.h"
#include "snmp/IdStack.h"
#include "snmp/IdUDPBase.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using veltrum::TIdStack;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const bool isAddress = TIdStack::IsAddressText(text);
    try {
        const veltrum::TIdIPv4 address = TIdStack::ParseAddressText(text);
        if (!isAddress) {
            std::abort(); // the two must agree
        }
        // The dotted form of any parsed address parses back to the same octets.
        const std::string dotted = TIdStack::FormatAddress(address);
        if (!TIdStack::IsAddressText(dotted) || TIdStack::ParseAddressText(dotted) != address) {
            std::abort();
        }
    } catch (const veltrum::EIdInvalidIPAddress& error) {
        // what() is a C string: compare up to a NUL the text may hold.
        const std::string expected = text + " is not a valid IP address.";
        if (isAddress || std::strcmp(error.what(), expected.c_str()) != 0) {
            std::abort();
        }
    }

    std::string host = "unset";
    int32_t port = -7;
    if (veltrum::SplitHostPort(text, host, port)) {
        if (port < 1 || port > 65535 || host.size() >= text.size() ||
            text.compare(0, host.size(), host) != 0 || text[host.size()] != ':' ||
            std::atoi(text.c_str() + host.size() + 1) != port ||
            text.find_first_not_of("0123456789", host.size() + 1) != std::string::npos) {
            std::abort();
        }
    } else if (host != "unset" || port != -7) {
        std::abort(); // a text left whole leaves the outputs alone
    }
    return 0;
}
