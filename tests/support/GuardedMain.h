#pragma once
#include "support/NetworkGuard.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace veltrum::test {

// Listing the tests sends nothing, so it is allowed anywhere; running them is
// not: the default agent 192.168.1.1 must never receive a datagram from a test.
inline bool RefuseOffLoopback(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) {
            return false;
        }
    }
    std::string why;
    if (OnlyLoopback(why)) {
        return false;
    }
    std::fprintf(stderr,
                 "%s: refusing to run: a datagram could leave this machine (%s).\n"
                 "Run the suite with scripts/test, or one binary inside a private network namespace:\n"
                 "  unshare -n sh -c 'ip link set lo up; exec %s'\n",
                 argv[0], why.c_str(), argv[0]);
    return true;
}

} // namespace veltrum::test
