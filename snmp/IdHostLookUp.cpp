#include "snmp/IdHostLookUp.h"

#include "snmp/IdWait.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <utility>

namespace veltrum {

namespace {

// A plain counter: a look-up thread may still decrement it while the
// process is being torn down, so it must need no destruction.
std::atomic<int> g_running{0};

bool reserveRunning() {
    int now = g_running.load();
    while (now < TIdHostLookUp::kMaxRunning) {
        if (g_running.compare_exchange_weak(now, now + 1)) {
            return true;
        }
    }
    return false;
}

} // namespace

// What the look-up thread and its owner share; the last of the two to let
// go frees it.
struct TIdHostLookUp::Pending {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::optional<TIdIPv4> address;
};

std::optional<TIdIPv4> ResolveHostName(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    // Every failure of the resolver (no such name, no answer, no resolver
    // reachable) is "no entry": the caller can only give up.
    if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
        return std::nullopt;
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    const uint32_t v = ntohl(in->sin_addr.s_addr);
    freeaddrinfo(result);
    return TIdIPv4{static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                   static_cast<uint8_t>(v)};
}

TIdHostLookUp::TIdHostLookUp(THostResolver resolver) : m_resolver(std::move(resolver)) {}

TIdHostLookUp::~TIdHostLookUp() = default;

int TIdHostLookUp::RunningCount() {
    return g_running.load();
}

bool TIdHostLookUp::start() {
    if (!reserveRunning()) {
        return false;
    }
    auto pending = std::make_shared<Pending>();
    try {
        // The thread owns copies of everything it reads.
        std::thread([pending, resolver = m_resolver, name = m_name] {
            std::optional<TIdIPv4> address;
            try {
                address = resolver(name);
            } catch (...) {
                // A resolver that fails finds nothing.
            }
            {
                const std::lock_guard<std::mutex> guard(pending->lock);
                pending->address = address;
                pending->done = true;
            }
            pending->finished.notify_all();
            g_running.fetch_sub(1);
        }).detach();
    } catch (const std::system_error&) {
        g_running.fetch_sub(1);
        return false;
    }
    m_running = std::move(pending);
    return true;
}

void TIdHostLookUp::collect() {
    if (!m_running) {
        return;
    }
    const std::lock_guard<std::mutex> guard(m_running->lock);
    if (!m_running->done) {
        return;
    }
    m_answer = m_running->address;
    m_answered = true;
    m_running.reset();
}

std::optional<TIdIPv4> TIdHostLookUp::Address(const std::string& name, int32_t waitMs, int32_t& waitedMs) {
    waitedMs = 0;
    if (name != m_name) {
        // A look-up for the old name may still be blocked: it is left to
        // finish on its own, and its answer goes nowhere.
        m_name = name;
        m_running.reset();
        m_answered = false;
        m_answer.reset();
    }
    collect();
    if (!m_running) {
        (void)start();
    }
    if (!m_answered && m_running && (waitMs >= 0 || waitMs == -2)) {
        using Clock = std::chrono::steady_clock;
        const auto begin = Clock::now();
        if (TIdWaiter* waiter = CurrentWaiter(); waiter != nullptr) {
            // The loop goes on meanwhile; the answer is looked for every 10 ms.
            const auto deadline = begin + std::chrono::milliseconds(waitMs);
            for (;;) {
                {
                    const std::lock_guard<std::mutex> guard(m_running->lock);
                    if (m_running->done) {
                        break;
                    }
                }
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (waitMs != -2 && left <= 0) {
                    break;
                }
                waiter->Pause(waitMs == -2 ? 10 : static_cast<int32_t>(std::min<int64_t>(10, left)));
            }
        } else {
            std::unique_lock<std::mutex> guard(m_running->lock);
            Pending& pending = *m_running;
            if (waitMs == -2) {
                pending.finished.wait(guard, [&pending] { return pending.done; });
            } else {
                pending.finished.wait_for(guard, std::chrono::milliseconds(waitMs),
                                          [&pending] { return pending.done; });
            }
        }
        waitedMs = static_cast<int32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count());
        collect();
    }
    return m_answered ? m_answer : std::nullopt;
}

} // namespace veltrum
