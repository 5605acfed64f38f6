#pragma once
// How a query waits for its reply. Without a waiter the calling thread
// blocks (poll(2) on the socket, a condition variable for a host name). A
// program with an event loop runs its queries where they can be suspended
// (core/QueryFiber.h) and installs a waiter for the thread meanwhile: each
// wait then hands the thread back to the loop until the socket is readable
// or the time is up, so that no agent's silence holds anything else.

#include <cstdint>

namespace veltrum {

class TIdWaiter {
public:
    virtual ~TIdWaiter() = default;
    // Until `handle` is readable (true) or `timeoutMs` has passed (false);
    // -2 waits without limit.
    virtual bool WaitReadable(int handle, int32_t timeoutMs) = 0;
    // Lets `ms` pass.
    virtual void Pause(int32_t ms) = 0;

protected:
    TIdWaiter() = default;
    TIdWaiter(const TIdWaiter&) = default;
    TIdWaiter& operator=(const TIdWaiter&) = default;
};

// The calling thread's waiter, or nullptr: its queries block.
TIdWaiter* CurrentWaiter();
// Installs `waiter` (nullptr: none) for the calling thread; returns the one
// it replaces.
TIdWaiter* SetCurrentWaiter(TIdWaiter* waiter);

} // namespace veltrum
