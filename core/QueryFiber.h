#pragma once
// A place where a monitor's queries run without holding the event loop.
//
// The poll, the interface check, the probe and the walks are written as
// plain sequences of requests and replies (core/PollCycle.h and the rest),
// and the order of their effects is part of what they promise. A QueryFiber
// runs such a sequence on a stack of its own: where it would wait for a
// reply (snmp/IdWait.h), it asks its FiberLoop to watch the socket and the
// time-out and returns to the caller; the loop resumes it when the datagram
// is in or the time is up. So each sequence keeps its order, and a silent
// agent costs the others nothing but the memory of its stack.
//
// An exchange that needs more than one round trip before its result (an
// SNMPv3 engine discovery, a re-synchronisation) is a loop of sends and
// waits inside the same run: every wait is a suspension, the loop between
// them is untouched.

#include "snmp/IdWait.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

namespace veltrum {

class QueryFiber;

// The event loop's side of a waiting fiber.
class FiberLoop {
public:
    virtual ~FiberLoop() = default;
    // Resume `fiber` (QueryFiber::Resume) once `handle` is readable, or when
    // `timeoutMs` has passed (-2: no limit); `handle` -1 waits for the time
    // alone.
    virtual void Watch(QueryFiber& fiber, int handle, int32_t timeoutMs) = 0;
    // The fiber no longer waits: nothing is to resume it.
    virtual void Forget(QueryFiber& fiber) = 0;

protected:
    FiberLoop() = default;
    FiberLoop(const FiberLoop&) = default;
    FiberLoop& operator=(const FiberLoop&) = default;
};

class QueryFiber final : private TIdWaiter {
public:
    explicit QueryFiber(FiberLoop& loop);
    ~QueryFiber() override;
    QueryFiber(const QueryFiber&) = delete;
    QueryFiber& operator=(const QueryFiber&) = delete;

    // Runs `work` until it ends or first waits. Not while Busy(). What the
    // work throws ends it and is kept for TakeFailure: neither Run nor
    // Resume throws, so nothing reaches the event loop that resumed it.
    void Run(std::function<void()> work);
    // Started and not yet ended.
    bool Busy() const { return m_busy; }
    // Its work is running now, on its own stack (not merely suspended).
    bool OnItsStack() const { return m_inside; }
    // What the last run threw, once; null when it ended normally.
    std::exception_ptr TakeFailure() { return std::exchange(m_failure, nullptr); }
    // The loop's call: the socket is readable (true) or the time is up.
    void Resume(bool readable);
    // Every wait from now on ends at once as a time-out, and a waiting run
    // is resumed until it ends; for a sequence that must end before its
    // monitor goes on without it.
    void Cancel();
    // Called after each run that ended on a Resume (not on Run).
    void SetOnEnded(std::function<void()> ended) { m_ended = std::move(ended); }
    // Called each time control comes back from the run to Run's or Resume's
    // caller (the run waits, or has ended), on the caller's stack.
    void SetOnBack(std::function<void()> back) { m_back = std::move(back); }

private:
    bool WaitReadable(int handle, int32_t timeoutMs) override;
    void Pause(int32_t ms) override;
    bool suspend(int handle, int32_t timeoutMs);
    void switchIn();
    static void entry(unsigned low, unsigned high);
    void body();

    struct Context;
    FiberLoop& m_loop;
    std::unique_ptr<Context> m_context;
    std::function<void()> m_work;
    std::function<void()> m_ended;
    std::function<void()> m_back;
    std::exception_ptr m_failure;
    bool m_busy = false;
    bool m_cancelled = false;
    bool m_readable = false;
    bool m_inside = false;
};

} // namespace veltrum
