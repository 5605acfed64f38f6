#pragma once
// TIdHostLookUp: a host name's address, looked up in the background so that
// a slow or silent name server never holds the caller longer than it allows.
//
// Each UDP component owns one. The look-up runs on a thread of its own,
// which shares only a small result record with its owner: an owner that is
// destroyed (or asks for another name) while a look-up is still blocked in
// the resolver simply lets go of that record, and the thread finishes on
// its own, or dies with the process, without touching anything else.

#include "snmp/IdStack.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace veltrum {

// The first IPv4 address of a name; nothing when there is no entry (or the
// resolver gave up).
using THostResolver = std::function<std::optional<TIdIPv4>(const std::string& name)>;

// The system resolver (getaddrinfo, IPv4 only). Blocks as long as it likes.
std::optional<TIdIPv4> ResolveHostName(const std::string& name);

class TIdHostLookUp final {
public:
    // Look-ups still running in the whole process beyond which no new one is
    // started: a resolver that never answers must not gather threads without
    // end while the user tries name after name.
    static constexpr int kMaxRunning = 16;

    explicit TIdHostLookUp(THostResolver resolver = ResolveHostName);
    ~TIdHostLookUp(); // never waits for a look-up
    TIdHostLookUp(const TIdHostLookUp&) = delete;
    TIdHostLookUp& operator=(const TIdHostLookUp&) = delete;

    // The address of `name`, or nothing when none is known (yet).
    //
    // Every call asks again (an address may change), but only the first
    // answer for a name is waited for: up to `waitMs` milliseconds (-2 without
    // limit, other negatives not at all). Later calls take the newest answer
    // already in and leave the fresh look-up to finish in the background.
    // Another name than the last one drops everything known and starts its
    // own look-up at once; a look-up started for an earlier name is never
    // used. `waitedMs` is the time spent waiting here.
    std::optional<TIdIPv4> Address(const std::string& name, int32_t waitMs, int32_t& waitedMs);

    // Look-ups started and not yet finished, across the process.
    static int RunningCount();

private:
    struct Pending;
    bool start();
    void collect();

    THostResolver m_resolver;
    std::string m_name;
    std::shared_ptr<Pending> m_running; // the look-up under way for m_name
    bool m_answered = false;            // an answer for m_name is in
    std::optional<TIdIPv4> m_answer;    // that answer
};

} // namespace veltrum
