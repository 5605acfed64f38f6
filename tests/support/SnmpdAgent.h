#pragma once
// net-snmp's snmpd on 127.0.0.1 for integration tests: a free port, a
// generated configuration in a temporary folder (no system configuration
// read, no AgentX socket, its log kept there for debugging), stopped by pid.

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
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

} // namespace veltrum::test
