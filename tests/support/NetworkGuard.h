#pragma once
#include <string>

namespace veltrum::test {

// True when nothing but loopback can carry a datagram from here: no IPv4 or
// IPv6 route outside the local table and no interface besides lo that is up.
// On false, `why` names what was found.
bool OnlyLoopback(std::string& why);

} // namespace veltrum::test
