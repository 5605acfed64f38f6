#include "support/SnmpdAgent.h"

#include "support/MiniBer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace veltrum::test {

namespace {

constexpr const char* kSnmpd = "/usr/sbin/snmpd";
using Clock = std::chrono::steady_clock;

uint16_t FreeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (s == -1 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (s != -1) {
            ::close(s);
        }
        throw std::runtime_error("SnmpdAgent: no free UDP port on 127.0.0.1");
    }
    ::close(s);
    return ntohs(address.sin_port);
}

} // namespace

bool SnmpdAgent::Available() {
    return ::access(kSnmpd, X_OK) == 0;
}

std::unique_ptr<SnmpdAgent> SnmpdAgent::StartOrExplain(std::string& why) {
    try {
        auto agent = std::make_unique<SnmpdAgent>();
        agent->Start();
        return agent;
    } catch (const std::exception& error) {
        why = error.what();
        return nullptr;
    }
}

SnmpdAgent::SnmpdAgent(std::string community, std::vector<std::string> extraConfig)
    : m_community(std::move(community)), m_extraConfig(std::move(extraConfig)) {
    std::string pattern = (std::filesystem::temp_directory_path() / "veltrum-snmpd-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("SnmpdAgent: cannot create a temporary folder");
    }
    m_dir = pattern;
    m_configPath = m_dir + "/snmpd.conf";
    m_logPath = m_dir + "/snmpd.log";
    m_port = FreeLoopbackPort();
    std::filesystem::create_directory(m_dir + "/mibs");

    std::ofstream config(m_configPath);
    // The listening address is given on the command line only: naming it
    // here as well makes snmpd open it twice and exit.
    config << "rocommunity " << m_community << " 127.0.0.1\n"
           << "sysName " << SysName() << "\n"
           << "sysDescr " << SysDescr() << "\n"
           << "sysLocation loopback\n"
           << "sysContact nobody\n"
           << "master off\n"
           << "agentXSocket " << m_dir << "/agentx\n"
           << "[snmp] persistentDir " << m_dir << "/persist\n";
    for (const std::string& line : m_extraConfig) {
        config << line << "\n";
    }
    if (!config.flush()) {
        throw std::runtime_error("SnmpdAgent: cannot write " + m_configPath);
    }
}

SnmpdAgent::~SnmpdAgent() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

std::string SnmpdAgent::HostText() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string SnmpdAgent::SysName() const {
    return "veltrum-agent";
}

std::string SnmpdAgent::SysDescr() const {
    return "Veltrum test agent on 127.0.0.1";
}

void SnmpdAgent::Start() {
    if (Running()) {
        return;
    }
    if (!Available()) {
        throw std::runtime_error(std::string("SnmpdAgent: ") + kSnmpd + " is not installed");
    }
    const std::string address = "udp:127.0.0.1:" + std::to_string(m_port);
    const std::string mibs = m_dir + "/mibs";
    // -C: no system configuration; -f: stays our child; -M/-m: no MIB files
    // are needed to serve numeric objects, so none are parsed.
    std::vector<std::string> args = {kSnmpd,    "-f", "-C", "-c", m_configPath, "-Lf",
                                     m_logPath, "-M", mibs, "-m", "",           address};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, m_logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, kSnmpd, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("SnmpdAgent: cannot start snmpd (errno " + std::to_string(spawned) + ")");
    }
    m_pid = pid;

    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("SnmpdAgent: snmpd exited at start:\n" + LogTail());
        }
        if (Answers()) {
            return;
        }
    }
    Stop();
    throw std::runtime_error("SnmpdAgent: snmpd did not answer within 10 s:\n" + LogTail());
}

void SnmpdAgent::Stop() {
    if (m_pid <= 0) {
        return;
    }
    ::kill(m_pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            (void)::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
}

// One GetRequest for sysName.0; true when any reply comes within 100 ms.
bool SnmpdAgent::Answers() const {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s == -1) {
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(m_port);
    const std::string request =
        miniber::Message(m_community, 0xA0, 1, 0, 0, {{"1.3.6.1.2.1.1.5.0", miniber::Wrap(0x05, "")}});
    bool answered = false;
    if (::sendto(s, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) >=
        0) {
        pollfd entry{s, POLLIN, 0};
        if (::poll(&entry, 1, 100) == 1 && (entry.revents & POLLIN)) {
            char buffer[1500];
            answered = ::recv(s, buffer, sizeof buffer, MSG_DONTWAIT) > 0;
        }
    }
    ::close(s);
    if (!answered) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a refusal returns at once
    }
    return answered;
}

std::string SnmpdAgent::LogTail() const {
    std::ifstream log(m_logPath);
    std::stringstream text;
    text << log.rdbuf();
    const std::string all = text.str();
    return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

} // namespace veltrum::test
