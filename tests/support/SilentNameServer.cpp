#include "support/SilentNameServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace veltrum::test {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error("silent name server: " + what + ": " + std::strerror(errno));
}

} // namespace

SilentNameServer::SilentNameServer() {
    m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        fail("cannot listen on 127.0.0.1:53");
    }
    if (::pipe(m_wake) != 0) {
        fail("pipe");
    }

    char path[] = "/tmp/veltrum-resolv-XXXXXX";
    const int file = ::mkstemp(path);
    if (file < 0) {
        fail("mkstemp");
    }
    m_resolvConf = path;
    // One attempt that waits far longer than any test: the look-up stays blocked.
    const char text[] = "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n";
    const bool written = ::write(file, text, sizeof text - 1) == static_cast<ssize_t>(sizeof text - 1);
    ::close(file);
    if (!written) {
        fail("cannot write " + m_resolvConf);
    }
    // The bind mount must stay inside this namespace: without a namespace of
    // our own, or with mount events shared with the machine, nothing is mounted.
    if (::unshare(CLONE_NEWNS) != 0) {
        fail("unshare(CLONE_NEWNS)");
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        fail("making the mounts private");
    }
    if (::mount(m_resolvConf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0) {
        fail("bind-mounting /etc/resolv.conf");
    }
    m_mounted = true;
    m_thread = std::thread([this] { Run(); });
}

SilentNameServer::~SilentNameServer() {
    if (m_thread.joinable()) {
        const char byte = 0;
        (void)::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    if (m_mounted) {
        (void)::umount2("/etc/resolv.conf", MNT_DETACH);
    }
    if (!m_resolvConf.empty()) {
        (void)::unlink(m_resolvConf.c_str());
    }
    for (const int fd : {m_socket, m_wake[0], m_wake[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void SilentNameServer::Run() {
    for (;;) {
        pollfd entries[2] = {{m_socket, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (entries[1].revents != 0) {
            return;
        }
        char query[512];
        if (::recv(m_socket, query, sizeof query, 0) > 0) {
            m_queries.fetch_add(1); // taken, and never answered
        }
    }
}

} // namespace veltrum::test
