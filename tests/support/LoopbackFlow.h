#pragma once
// Traffic on lo for as long as the object lives, as a line in use: a child
// process sends datagrams to itself (never read) 20 a millisecond.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace veltrum::test {

class LoopbackFlow final {
public:
    explicit LoopbackFlow(size_t octets = 1) : m_pid(::fork()) {
        if (m_pid == 0) {
            send(octets);
        }
    }
    ~LoopbackFlow() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    LoopbackFlow(const LoopbackFlow&) = delete;
    LoopbackFlow& operator=(const LoopbackFlow&) = delete;

private:
    [[noreturn]] static void send(size_t octets) {
        const int out = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(out, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        socklen_t length = sizeof to;
        ::getsockname(out, reinterpret_cast<sockaddr*>(&to), &length);
        const std::string datagram(octets, 'x');
        for (;;) {
            for (int i = 0; i < 20; ++i) {
                ::sendto(out, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                         sizeof to);
            }
            ::usleep(1000);
        }
    }

    pid_t m_pid;
};

} // namespace veltrum::test
