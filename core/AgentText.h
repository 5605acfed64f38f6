#pragma once
// Texts as agents send them, made into the texts the program keeps.

#include <string>

namespace veltrum {

// The interface's name in an ifDescr value. Windows agents end every ifDescr
// with one NUL octet ("MS TCP Loopback interface" and a NUL); that octet is
// not part of the name, so it is dropped here, where a reply's ifDescr is
// read, and the name is shown, stored and compared without it. Only one
// trailing NUL goes: any other octet is the agent's.
std::string InterfaceDescriptionOf(std::string ifDescr);

} // namespace veltrum
