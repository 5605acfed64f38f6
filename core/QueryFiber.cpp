#include "core/QueryFiber.h"

#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define VELTRUM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELTRUM_ASAN 1
#endif
#endif

#ifdef VELTRUM_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

namespace veltrum {

namespace {

// The poll's deepest path (a failure's reason while the SNMPv2c poll falls
// back, with an exception under way) stays far below this; the pages are
// mapped on first touch, so only the part used is resident. A sanitized
// build's frames are several times larger. Below the stack lies a page that
// may not be touched: an overflow stops the program there instead of
// writing over whatever was mapped below.
#ifdef VELTRUM_ASAN
constexpr size_t kStackSize = 1024 * 1024;
#else
constexpr size_t kStackSize = 256 * 1024;
#endif

size_t guardSize() {
    static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return page;
}

} // namespace

struct QueryFiber::Context {
    ucontext_t Caller{};
    ucontext_t Fiber{};
    void* Mapping = nullptr; // the guard page, then the stack
    void* Stack = nullptr;
    void* CallerFakeStack = nullptr; // the sanitizer's bookkeeping of the caller's stack
    const void* CallerBottom = nullptr;
    size_t CallerSize = 0;
};

QueryFiber::QueryFiber(FiberLoop& loop) : m_loop(loop), m_context(std::make_unique<Context>()) {
    void* mapping = ::mmap(nullptr, guardSize() + kStackSize, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED) {
        throw std::bad_alloc();
    }
    if (::mprotect(mapping, guardSize(), PROT_NONE) != 0) {
        ::munmap(mapping, guardSize() + kStackSize);
        throw std::bad_alloc();
    }
    m_context->Mapping = mapping;
    m_context->Stack = static_cast<char*>(mapping) + guardSize();
}

QueryFiber::~QueryFiber() {
    Cancel();
    ::munmap(m_context->Mapping, guardSize() + kStackSize);
}

void QueryFiber::entry(unsigned low, unsigned high) {
    auto* fiber = reinterpret_cast<QueryFiber*>((static_cast<uintptr_t>(high) << 32) | low);
#ifdef VELTRUM_ASAN
    __sanitizer_finish_switch_fiber(nullptr, &fiber->m_context->CallerBottom, &fiber->m_context->CallerSize);
#endif
    fiber->body();
}

void QueryFiber::body() {
    try {
        m_work();
    } catch (...) {
        m_failure = std::current_exception();
    }
    m_work = nullptr;
    m_busy = false;
    // Back to whoever switched in last, for good: the context is made anew
    // at the next Run.
#ifdef VELTRUM_ASAN
    __sanitizer_start_switch_fiber(nullptr, m_context->CallerBottom, m_context->CallerSize);
#endif
    ::setcontext(&m_context->Caller);
}

void QueryFiber::switchIn() {
    TIdWaiter* const previous = SetCurrentWaiter(this);
#ifdef VELTRUM_ASAN
    __sanitizer_start_switch_fiber(&m_context->CallerFakeStack, m_context->Stack, kStackSize);
#endif
    m_inside = true;
    ::swapcontext(&m_context->Caller, &m_context->Fiber);
    m_inside = false;
#ifdef VELTRUM_ASAN
    __sanitizer_finish_switch_fiber(m_context->CallerFakeStack, nullptr, nullptr);
#endif
    SetCurrentWaiter(previous);
    if (m_back) {
        m_back();
    }
}

void QueryFiber::Run(std::function<void()> work) {
    m_work = std::move(work);
    m_failure = nullptr;
    m_busy = true;
    ::getcontext(&m_context->Fiber);
    m_context->Fiber.uc_stack.ss_sp = m_context->Stack;
    m_context->Fiber.uc_stack.ss_size = kStackSize;
    m_context->Fiber.uc_link = nullptr;
    const auto self = reinterpret_cast<uintptr_t>(this);
    ::makecontext(&m_context->Fiber, reinterpret_cast<void (*)()>(&QueryFiber::entry), 2,
                  static_cast<unsigned>(self & 0xFFFFFFFFu), static_cast<unsigned>(self >> 32));
    switchIn();
}

void QueryFiber::Resume(bool readable) {
    if (!m_busy) {
        return;
    }
    m_readable = readable;
    m_loop.Forget(*this);
    switchIn();
    if (!m_busy && m_ended) {
        m_ended();
    }
}

void QueryFiber::Cancel() {
    m_cancelled = true;
    while (m_busy) {
        Resume(false);
    }
    m_cancelled = false;
}

bool QueryFiber::suspend(int handle, int32_t timeoutMs) {
    if (m_cancelled) {
        return false;
    }
    m_readable = false;
    m_loop.Watch(*this, handle, timeoutMs);
#ifdef VELTRUM_ASAN
    void* fakeStack = nullptr;
    __sanitizer_start_switch_fiber(&fakeStack, m_context->CallerBottom, m_context->CallerSize);
#endif
    ::swapcontext(&m_context->Fiber, &m_context->Caller);
#ifdef VELTRUM_ASAN
    __sanitizer_finish_switch_fiber(fakeStack, &m_context->CallerBottom, &m_context->CallerSize);
#endif
    return m_readable;
}

bool QueryFiber::WaitReadable(int handle, int32_t timeoutMs) {
    return suspend(handle, timeoutMs);
}

void QueryFiber::Pause(int32_t ms) {
    (void)suspend(-1, ms);
}

} // namespace veltrum
