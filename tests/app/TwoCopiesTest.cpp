#include "app/core/MainWindowHint.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(MainWindowHint, NamesTheSessionAgentAndInterface) {
    struct Row {
        const char* part;
        const char* session;
        const char* host;
        int32_t number;
        const char* description;
        const char* expected;
    };
    const Row rows[] = {
        {"Download", "Veltrum", "192.168.1.1", 1, "", "Download \u2014 Veltrum: 192.168.1.1, interface 1"},
        {"", "Office", "10.0.0.1:1161", 2, "eth0", "Office: 10.0.0.1:1161, interface 2 (eth0)"},
        {"Upload (Mbps)", "", "router", 3, "", "Upload (Mbps) \u2014 router, interface 3"},
        {"Upload", "<img src=/dev/zero>", "h", 1, "", "Upload \u2014 <img src=/dev/zero>: h, interface 1"},
    };
    for (const Row& row : rows) {
        MonitorState state;
        state.SessionName = row.session;
        state.AgentHost = row.host;
        state.AgentCommunity = "secret";
        state.InterfaceNumber = row.number;
        state.InterfaceDescription = row.description;
        EXPECT_EQ(MainWindowHint(row.part, state), row.expected);
    }
}

} // namespace
} // namespace veltrum
