#pragma once
// TIdUDPClient: the datagram component as clients use it (Host, Port and
// ReceiveTimeout are already public in the base).

#include "snmp/IdUDPBase.h"

namespace veltrum {

class TIdUDPClient : public TIdUDPBase {};

} // namespace veltrum
