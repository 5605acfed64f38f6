#pragma once
// A name server on 127.0.0.1:53 that takes every query and never answers,
// made the resolver's only name server. The calling thread, and every thread
// it starts afterwards, moves into a private mount namespace in which
// /etc/resolv.conf names this server with a long time-out: a name look-up
// then blocks as it would behind a dead name server. Needs root (as every
// test run inside `unshare -n` has); the machine's own file is never touched.

#include <atomic>
#include <string>
#include <thread>

namespace veltrum::test {

class SilentNameServer final {
public:
    // Throws std::runtime_error saying why when it cannot be set up.
    SilentNameServer();
    ~SilentNameServer();
    SilentNameServer(const SilentNameServer&) = delete;
    SilentNameServer& operator=(const SilentNameServer&) = delete;

    int QueryCount() const { return m_queries.load(); }

private:
    void Run();

    int m_socket = -1;
    int m_wake[2] = {-1, -1};
    std::string m_resolvConf;
    bool m_mounted = false;
    std::atomic<int> m_queries{0};
    std::thread m_thread;
};

} // namespace veltrum::test
