#include "support/NetworkGuard.h"

#include <filesystem>
#include <fstream>
#include <sstream>

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
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net", ec)) {
        const std::string name = entry.path().filename().string();
        if (name == "lo") {
            continue;
        }
        std::ifstream flagsFile(entry.path() / "flags");
        std::string flags;
        flagsFile >> flags;
        constexpr unsigned long kIffUp = 0x1;
        if (!flags.empty() && (std::stoul(flags, nullptr, 16) & kIffUp) != 0) {
            why = "interface " + name + " is up";
            return false;
        }
    }
    return true;
}

} // namespace veltrum::test
