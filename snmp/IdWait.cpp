#include "snmp/IdWait.h"

namespace veltrum {

namespace {
thread_local TIdWaiter* t_waiter = nullptr;
} // namespace

TIdWaiter* CurrentWaiter() {
    return t_waiter;
}

TIdWaiter* SetCurrentWaiter(TIdWaiter* waiter) {
    TIdWaiter* const previous = t_waiter;
    t_waiter = waiter;
    return previous;
}

} // namespace veltrum
