#include "support/NetworkGuard.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace veltrum::test {

namespace {

std::string FirstField(const std::string& line) {
    std::istringstream in(line);
    std::string field;
    in >> field;
    return field;
}

} // namespace

bool OnlyLoopback(std::string& why) {
    // /proc/net/route lists the main IPv4 table; loopback lives in the local
    // table, so a namespace with only lo up shows the header line alone.
    std::ifstream route("/proc/net/route");
    std::string line;
    std::getline(route, line); // header
    while (std::getline(route, line)) {
        if (!line.empty()) {
            why = "IPv4 route via " + FirstField(line);
            return false;
        }
    }
    // /proc/net/ipv6_route: the device is the last field of each line.
    std::ifstream route6("/proc/net/ipv6_route");
    while (std::getline(route6, line)) {
        const auto pos = line.find_last_of(' ');
        const std::string dev = pos == std::string::npos ? line : line.substr(pos + 1);
        if (!dev.empty() && dev != "lo") {
            why = "IPv6 route via " + dev;
            return false;
        }
    }
    // /proc/net/dev and an ioctl on a socket of our own both see this
    // process's network namespace (sysfs may still show the host's).
    std::ifstream dev("/proc/net/dev");
    std::getline(dev, line);
    std::getline(dev, line); // two header lines
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    while (std::getline(dev, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const std::string name = FirstField(line.substr(0, colon));
        if (name.empty() || name == "lo") {
            continue;
        }
        ifreq request{};
        std::snprintf(request.ifr_name, sizeof request.ifr_name, "%s", name.c_str());
        if (probe < 0 || ioctl(probe, SIOCGIFFLAGS, &request) != 0 || (request.ifr_flags & IFF_UP) != 0) {
            why = "interface " + name + " is up";
            if (probe >= 0) {
                close(probe);
            }
            return false;
        }
    }
    if (probe >= 0) {
        close(probe);
    }
    return true;
}

} // namespace veltrum::test
