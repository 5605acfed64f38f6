#include "app/TempDir.h"
#include "core/MainWindowHint.h"
#include "core/Quota.h"
#include "core/RunningCopies.h"
#include "core/StartupLoad.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace veltrum {
namespace {

using test::TempDir;

TEST(PlaceBesideOthers, OpensAtTheNearestFreeSpotBesideTheWindowsItWouldCover) {
    const ScreenArea screen[] = {{0, 0, 1280, 1024}};
    struct Row {
        const char* what;
        WindowPosition wanted;
        std::vector<WindowArea> others;
        WindowPosition expected;
    };
    const Row rows[] = {
        {"no other copy", {150, 150}, {}, {150, 150}},
        {"another copy close by, not covered", {150, 150}, {{184, 150, 33, 68}}, {150, 150}},
        {"exactly over another: right of it", {150, 150}, {{150, 150, 33, 68}}, {150, 187}},
        {"partly over another: the nearer side", {150, 150}, {{160, 170, 33, 68}}, {170, 123}},
        {"a row of two: left of the first", {150, 150}, {{150, 150, 33, 68}, {187, 150, 33, 68}}, {150, 113}},
        {"at the screen's right edge: left of it", {150, 1247}, {{1247, 150, 33, 68}}, {150, 1210}},
        {"in a corner: below it", {0, 0}, {{0, 0, 33, 68}, {37, 0, 33, 68}}, {72, 0}},
    };
    for (const Row& row : rows) {
        const WindowPosition p = PlaceBesideOthers(row.wanted, 33, 68, row.others, screen);
        EXPECT_EQ(std::pair(p.Top, p.Left), std::pair(row.expected.Top, row.expected.Left)) << row.what;
    }
    // No free spot on any screen: the saved place is kept.
    const ScreenArea tiny[] = {{0, 0, 40, 70}};
    const WindowArea there[] = {{0, 0, 33, 68}};
    const WindowPosition kept = PlaceBesideOthers({0, 0}, 33, 68, there, tiny);
    EXPECT_EQ(std::pair(kept.Top, kept.Left), std::pair(0, 0));
}

TEST(RunningCopies, SeesTheLiveOtherCopiesOnlyAndClearsUpAfterTheDead) {
    TempDir dir;
    const std::string folder = dir.Dir() + "veltrum/";
    const pid_t dead = fork();
    if (dead == 0) {
        _exit(0);
    }
    waitpid(dead, nullptr, 0);
    {
        RunningCopies mine(folder, getpid());
        mine.Record({10, 20, 33, 68}); // makes the folder
        EXPECT_EQ(dir.Read("veltrum/" + std::to_string(getpid())), "10 20 33 68\n");
        dir.Write("veltrum/" + std::to_string(getppid()), "300 400 33 68\n");
        dir.Write("veltrum/" + std::to_string(dead), "150 150 33 68\n");
        dir.Write("veltrum/1", "not a place\n");
        dir.Write("veltrum/notes", "150 150 33 68\n");
        const std::vector<WindowArea> others = mine.Others();
        ASSERT_EQ(others.size(), 1u);
        EXPECT_EQ(others[0].Left, 300);
        EXPECT_EQ(others[0].Top, 400);
        EXPECT_FALSE(std::filesystem::exists(folder + std::to_string(dead)));
        EXPECT_TRUE(std::filesystem::exists(folder + "1")); // alive, unreadable: left alone
    }
    EXPECT_FALSE(std::filesystem::exists(folder + std::to_string(getpid())));
}

// Records that are not what a copy writes are passed over at once: a FIFO,
// a huge file without a line break, a link; a link in place of the
// temporary record is never followed, and a folder not the user's alone is
// not used.
TEST(RunningCopies, PassesOverWhatIsNotARecord) {
    TempDir dir;
    const std::string folder = dir.Dir() + "veltrum/";
    std::vector<pid_t> alive;
    for (int i = 0; i < 3; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            sleep(30); // ends by itself should the test not end it
            _exit(0);
        }
        alive.push_back(child);
    }
    RunningCopies mine(folder, getpid());
    dir.Write("target", "mine\n");
    std::filesystem::create_directory(folder);
    std::filesystem::create_symlink(dir.Dir() + "target", folder + std::to_string(getpid()) + ".new");
    mine.Record({10, 20, 33, 68});
    EXPECT_EQ(dir.Read("target"), "mine\n");
    EXPECT_EQ(dir.Read("veltrum/" + std::to_string(getpid())), "10 20 33 68\n");
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
    ASSERT_EQ(mkfifo((folder + std::to_string(alive[0])).c_str(), 0600), 0);
    dir.Write("big", "");
    std::filesystem::resize_file(dir.File("big"), 1ull << 30); // sparse: no line break in 1 GiB
    std::filesystem::rename(dir.File("big"), folder + std::to_string(alive[1]));
    std::filesystem::create_symlink(dir.Dir() + "target", folder + std::to_string(alive[2]));
    dir.Write("target", "300 400 33 68\n");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(mine.Others().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    for (const pid_t child : alive) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    // Another user's folder is not written in.
    const std::string theirs = dir.Dir() + "theirs/";
    std::filesystem::create_directory(theirs);
    if (chown(theirs.c_str(), 65534, 65534) == 0) {
        RunningCopies other(theirs, getpid());
        other.Record({10, 20, 33, 68});
        EXPECT_FALSE(std::filesystem::exists(theirs + std::to_string(getpid())));
    }
}

// With a quota set, the period's use follows on a line of its own.
TEST(MainWindowHint, NamesTheSessionAgentAndInterface) {
    struct Row {
        const char* part;
        const char* session;
        const char* host;
        int32_t number;
        const char* description;
        int32_t quotaGB; // 10 GB used of it; 0: no quota
        const char* expected;
        int32_t version = 0; // WersjaSNMP
    };
    const Row rows[] = {
        {"Download", "Veltrum", "192.168.1.1", 1, "", 0, "Download \u2014 Veltrum: 192.168.1.1, interface 1"},
        {"", "Office", "10.0.0.1:1161", 2, "eth0", 0, "Office: 10.0.0.1:1161, interface 2 (eth0)"},
        {"Upload (Mbps)", "", "router", 3, "", 0, "Upload (Mbps) \u2014 router, interface 3"},
        {"Upload", "<img src=/dev/zero>", "h", 1, "", 0, "Upload \u2014 <img src=/dev/zero>: h, interface 1"},
        {"", "Office", "10.0.0.1", 2, "", 50,
         "Office: 10.0.0.1, interface 2\nQuota: 10.0 GB of 50 GB this period (20 %)"},
        {"", "Lab", "h", 1, "", 0, "Lab: h, interface 1", 3},
        {"", "Lab", "h", 1, "", 0,
         "Lab: h, interface 1\nWersjaSNMP=2 is not a version Veltrum knows (0: SNMPv1, 1: SNMPv2c, 3: "
         "SNMPv3); "
         "SNMPv1 is used.",
         2},
    };
    for (const Row& row : rows) {
        MonitorState state;
        state.SessionName = row.session;
        state.AgentHost = row.host;
        state.AgentCommunity = "secret";
        state.InterfaceNumber = row.number;
        state.InterfaceDescription = row.description;
        state.SnmpVersion = row.version;
        const auto quota =
            QuotaUseOf({static_cast<uint64_t>(row.quotaGB) * kOctetsPerGB, QuotaDirection::Both, 1},
                       10 * kOctetsPerGB, 0);
        EXPECT_EQ(MainWindowHint(row.part, state, quota, {".", ","}), row.expected);
    }
    // A warning keeps the hint up: the quota at 80 % or more, or recording paused.
    const auto use = [](uint64_t usedGB) {
        return QuotaUseOf({10 * kOctetsPerGB, QuotaDirection::Both, 1}, usedGB * kOctetsPerGB, 0);
    };
    EXPECT_FALSE(HintCarriesWarning(use(7), ""));
    EXPECT_FALSE(HintCarriesWarning(std::nullopt, ""));
    EXPECT_TRUE(HintCarriesWarning(use(8), ""));
    EXPECT_TRUE(HintCarriesWarning(std::nullopt, "The usage history cannot be written: disk full."));
}

} // namespace
} // namespace veltrum
