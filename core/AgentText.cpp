#include "core/AgentText.h"

namespace veltrum {

std::string InterfaceDescriptionOf(std::string ifDescr) {
    if (!ifDescr.empty() && ifDescr.back() == '\0') {
        ifDescr.pop_back();
    }
    return ifDescr;
}

} // namespace veltrum
