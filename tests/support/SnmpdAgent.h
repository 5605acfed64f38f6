#pragma once
// net-snmp's snmpd on 127.0.0.1 for integration tests: a free port, a
// generated configuration in a temporary folder (no system configuration
// read, no AgentX socket, its log kept there for debugging), stopped by pid.

#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace veltrum::test {

class SnmpdAgent {
public:
    static bool Available(); // /usr/sbin/snmpd exists
    // A started agent, or null with `why` saying what failed: for the
    // benchmarks, which skip where tests would fail.
    static std::unique_ptr<SnmpdAgent> StartOrExplain(std::string& why);

    explicit SnmpdAgent(std::string community = "veltrum-test", std::vector<std::string> extraConfig = {});
    ~SnmpdAgent(); // Stop(), then the temporary folder goes
    SnmpdAgent(const SnmpdAgent&) = delete;
    SnmpdAgent& operator=(const SnmpdAgent&) = delete;

    // Waits (bounded) until the agent answers; throws std::runtime_error on failure.
    void Start();
    void Stop(); // SIGTERM by pid (SIGKILL if it lingers), then reaped
    bool Running() const { return m_pid > 0; }
    uint16_t Port() const { return m_port; } // the same across Stop/Start
    std::string HostText() const;            // "127.0.0.1:<port>"
    const std::string& Community() const { return m_community; }
    std::string SysName() const;
    std::string SysDescr() const;
    const std::string& LogPath() const { return m_logPath; }

private:
    bool Answers() const;
    std::string LogTail() const;

    std::string m_community;
    std::vector<std::string> m_extraConfig;
    std::string m_dir;
    std::string m_configPath;
    std::string m_logPath;
    uint16_t m_port = 0;
    pid_t m_pid = -1;
};

// Held by a test that measures what crosses lo (a steady flow, lo's packets
// in against out): another such test's traffic at the same time would be
// read as its own. The tests run in separate processes, so the lock is a
// file's.
class LoopbackTrafficLock {
public:
    LoopbackTrafficLock()
        : m_fd(::open("/tmp/veltrum-test-loopback-traffic.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0600)) {
        if (m_fd >= 0) {
            (void)::flock(m_fd, LOCK_EX);
        }
    }
    ~LoopbackTrafficLock() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    LoopbackTrafficLock(const LoopbackTrafficLock&) = delete;
    LoopbackTrafficLock& operator=(const LoopbackTrafficLock&) = delete;

private:
    int m_fd;
};

} // namespace veltrum::test
