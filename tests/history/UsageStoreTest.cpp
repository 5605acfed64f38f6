#include "app/TempDir.h"
#include "history/HistoryTest.h"
#include "history/UsageRecorder.h"
#include "history/UsageReport.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <random>
#include <string>
#include <thread>

namespace veltrum {
namespace {

using test::TempDir;
using test::TotalOf;

const std::string kAgent = "10.0.0.1:161";

// `seconds` counted ticks of 1000 octets in, after a priming one at `from`.
void feed(UsageRecorder& recorder, int64_t from, int64_t seconds) {
    test::Feed(recorder, from, from + seconds, 1, 1000);
}

void sql(const std::string& path, const char* statement) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, statement, nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// Missing, damaged and newer files: a new one is made (the damaged one kept
// aside and the user told once), or a newer one is left alone and says why.
TEST(UsageStore, OpensWhatItFinds) {
    const struct {
        const char* Name;
        std::function<void(const std::string& path)> Prepare;
        RecordingState State;
        bool SetAside;
        const char* Says = "newer"; // why a file is left alone
    } cases[] = {
        {"missing", [](const std::string&) {}, RecordingState::Recording, false},
        {"not a database", [](const std::string& path) { std::ofstream(path) << std::string(5000, 'x'); },
         RecordingState::Recording, true},
        {"damaged page",
         [](const std::string& path) {
             {
                 UsageRecorder recorder(path, kAgent, 1, "");
                 feed(recorder, 1'780'000'000, 600);
             }
             std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp(2 * 4096);
             file << std::string(4096, '\x55');
         },
         RecordingState::Recording, true},
        {"newer schema",
         [](const std::string& path) {
             { UsageRecorder recorder(path, kAgent, 1, ""); }
             sql(path, "PRAGMA user_version = 99");
         },
         RecordingState::Stopped, false},
        {"negative schema",
         [](const std::string& path) {
             { UsageRecorder recorder(path, kAgent, 1, ""); }
             sql(path, "PRAGMA user_version = -1");
         },
         RecordingState::Stopped, false, "no version of Veltrum writes"},
        {"another program's database",
         [](const std::string& path) { sql(path, "CREATE TABLE notes (text TEXT)"); },
         RecordingState::Stopped, false, "another program"},
        {"a read-only history is read",
         [](const std::string& path) {
             {
                 UsageRecorder recorder(path, kAgent, 7, "");
                 feed(recorder, 1'790'000'000, 60);
             }
             chmod(path.c_str(), 0400);
             chmod(path.substr(0, path.rfind('/')).c_str(), 0500);
         },
         RecordingState::Paused, false},
    };
    for (const auto& c : cases) {
        const TempDir dir;
        const std::string path = dir.Dir() + "data/veltrum/usage.sqlite3";
        std::filesystem::create_directories(dir.Dir() + "data/veltrum");
        c.Prepare(path);
        const std::string before = dir.Read("data/veltrum/usage.sqlite3");
        if (c.State == RecordingState::Paused) {
            // Read only, by an ordinary user where the test may become one
            // (permissions do not bind root): --usage reads it as it stands.
            chmod(dir.Dir().c_str(), 0755);
            chmod((dir.Dir() + "data").c_str(), 0755);
            chmod(path.c_str(), 0444);
            chmod(path.substr(0, path.rfind('/')).c_str(), 0555);
            int out[2];
            ASSERT_EQ(pipe(out), 0);
            const pid_t child = fork();
            if (child == 0) {
                if (geteuid() == 0 && setgroups(0, nullptr) == 0 && setgid(65534) == 0) {
                    (void)!setuid(65534);
                }
                const UsageAnswer answer =
                    AnswerUsage(path, {kAgent, 7, ""}, QuotaSettings{}, UsageFormat::Json, 1'790'000'100);
                const std::string said = answer.Out + answer.Err;
                (void)!write(out[1], said.data(), said.size());
                _exit(answer.ExitStatus);
            }
            close(out[1]);
            std::string said;
            char buffer[4096];
            for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) {
                said.append(buffer, static_cast<size_t>(got));
            }
            close(out[0]);
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_EQ(WEXITSTATUS(status), 0) << c.Name << ": " << said;
            EXPECT_NE(said.find("\"download_octets\": 60000"), std::string::npos) << c.Name << said;
            chmod(path.substr(0, path.rfind('/')).c_str(), 0700);
            continue;
        }
        UsageRecorder recorder(path, kAgent, 7, "");
        feed(recorder, 1'790'000'000, 60);
        EXPECT_EQ(recorder.State(), c.State) << c.Name << ": " << recorder.StatusText();
        const std::string notice = recorder.TakeNotice();
        EXPECT_EQ(notice.find("damaged") != std::string::npos, c.SetAside) << c.Name << ": " << notice;
        EXPECT_EQ(recorder.TakeNotice(), "") << c.Name << ": told once";
        size_t aside = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Dir() + "data/veltrum")) {
            aside += entry.path().filename().string().find(".damaged-") != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(aside > 0, c.SetAside) << c.Name;
        recorder.Close();
        const UsageAnswer answer =
            AnswerUsage(path, {kAgent, 7, ""}, QuotaSettings{}, UsageFormat::Json, 1'790'000'100);
        if (c.State == RecordingState::Stopped) {
            EXPECT_NE(recorder.StatusText().find(c.Says), std::string::npos)
                << c.Name << recorder.StatusText();
            EXPECT_EQ(answer.ExitStatus, 1) << c.Name;
            EXPECT_NE(answer.Err.find(c.Says), std::string::npos) << c.Name << ": " << answer.Err;
            EXPECT_EQ(dir.Read("data/veltrum/usage.sqlite3"), before) << c.Name << ": left as it was";
            continue;
        }
        EXPECT_EQ(TotalOf(path, kAgent, 7).InOctets, 60'000u) << c.Name;
        EXPECT_EQ(answer.ExitStatus, 0) << c.Name << ": " << answer.Err;
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << c.Name;
    }
    const TempDir dir;
    const UsageAnswer none =
        AnswerUsage(dir.File("none.sqlite3"), {kAgent, 7, ""}, QuotaSettings{}, UsageFormat::Text, 0);
    EXPECT_EQ(none.ExitStatus, 0);
    EXPECT_NE(none.Out.find("No usage has been recorded yet"), std::string::npos) << none.Out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.sqlite3")));
}

// Two copies starting on a damaged file within one second each keep what
// they set aside: no set-aside replaces another.
TEST(UsageStore, SetAsidesNeverReplaceEachOther) {
    const TempDir dir;
    const std::string path = dir.File("usage.sqlite3");
    for (const char* garbage : {"first damaged file", "second damaged file"}) {
        std::ofstream(path, std::ios::trunc) << garbage << std::string(5000, 'x');
        UsageRecorder recorder(path, kAgent, 1, "");
        EXPECT_NE(recorder.TakeNotice().find("damaged"), std::string::npos);
    }
    std::string kept;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Dir())) {
        if (entry.path().filename().string().find(".damaged-") != std::string::npos) {
            std::ifstream in(entry.path());
            kept += std::string(std::istreambuf_iterator<char>(in), {}).substr(0, 6);
        }
    }
    EXPECT_EQ(kept.size(), 12u) << kept;
    EXPECT_NE(kept.find("first "), std::string::npos) << kept;
    EXPECT_NE(kept.find("second"), std::string::npos) << kept;
}

// Two interfaces of one agent with the same description each have their
// row, and a copy recording one never stands by for the other.
TEST(UsageStore, EqualDescriptionsStayApart) {
    const TempDir dir;
    const std::string path = dir.File("usage.sqlite3");
    UsageRecorder first(path, kAgent, 2, "Ethernet adapter");
    UsageRecorder second(path, kAgent, 3, "Ethernet adapter");
    feed(first, 1'780'000'000, 60);
    test::Feed(second, 1'780'000'000, 1'780'000'030, 1, 500);
    EXPECT_EQ(second.State(), RecordingState::Recording) << second.StatusText();
    first.Close();
    second.Close();
    EXPECT_EQ(TotalOf(path, kAgent, 2, "Ethernet adapter").InOctets, 60'000u);
    EXPECT_EQ(TotalOf(path, kAgent, 3, "Ethernet adapter").InOctets, 15'000u);
}

// A lock file that cannot be opened says why; the counts wait in memory and
// are written once it can.
TEST(UsageStore, LockThatCannotBeOpenedKeepsTheCounts) {
    const TempDir dir;
    const std::string path = dir.File("usage.sqlite3");
    std::filesystem::create_directory(path + ".lock");
    UsageRecorder recorder(path, kAgent, 1, "");
    feed(recorder, 1'780'000'000, 120);
    EXPECT_EQ(recorder.State(), RecordingState::Paused);
    EXPECT_NE(recorder.StatusText().find(".lock"), std::string::npos) << recorder.StatusText();
    std::filesystem::remove(path + ".lock");
    test::Feed(recorder, 1'780'000'121, 1'780'000'180, 1, 1000, true);
    EXPECT_EQ(recorder.State(), RecordingState::Recording) << recorder.StatusText();
    EXPECT_EQ(TotalOf(path, kAgent, 1).InOctets, 180'000u);
}

// Another copy holding the database for a moment makes the flush wait,
// not drop its counts.
TEST(UsageStore, BusyDatabaseWaits) {
    const TempDir dir;
    const std::string path = dir.File("usage.sqlite3");
    UsageRecorder recorder(path, kAgent, 1, "");
    feed(recorder, 1'780'000'000, 59);
    std::promise<void> locked;
    std::thread other([&] {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        locked.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    });
    locked.get_future().wait();
    test::Feed(recorder, 1'780'000'060, 1'780'000'060, 1, 1000, true); // the flush is due
    other.join();
    EXPECT_EQ(recorder.State(), RecordingState::Recording) << recorder.StatusText();
    EXPECT_EQ(TotalOf(path, kAgent, 1).InOctets, 60'000u);
}

// In a mount namespace of its own, as an ordinary user: a small tmpfs
// fills up, then its folder turns read-only; recording pauses each time,
// keeps what was written, and resumes when writing works again. Runs in a
// child, which says what went wrong.
std::string fullDiskScenario(const std::string& folder) {
    if (unshare(CLONE_NEWNS) != 0) {
        return std::string("skip: no mount namespace (") + std::strerror(errno) + ")";
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=2m,mode=0700,uid=65534,gid=65534") != 0) {
        return std::string("skip: cannot mount a tmpfs (") + std::strerror(errno) + ")";
    }
    // Permissions bind an ordinary user only.
    chmod(folder.substr(0, folder.rfind('/')).c_str(), 0755);
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
        return std::string("skip: cannot become an ordinary user (") + std::strerror(errno) + ")";
    }
    const std::string path = folder + "/usage.sqlite3";
    const auto run = [](UsageRecorder& recorder, int64_t from, int64_t to) {
        test::Feed(recorder, from, to, 1, 1000, true);
    };
    {
        UsageRecorder recorder(path, kAgent, 1, "");
        feed(recorder, 1'780'000'000, 60); // written at 60
        {
            std::ofstream fill(folder + "/fill", std::ios::binary);
            const std::string block(4096, 'f');
            while (fill.write(block.data(), block.size())) {
            }
        }
        run(recorder, 1'780'000'061, 1'780'000'180);
        if (recorder.State() != RecordingState::Paused || recorder.StatusText().empty()) {
            return "a full disk did not pause recording";
        }
        if (TotalOf(path, kAgent, 1).InOctets != 60'000u) {
            return "what was written before the disk filled is not there";
        }
        std::filesystem::remove(folder + "/fill");
        run(recorder, 1'780'000'181, 1'780'000'240);
        if (recorder.State() != RecordingState::Recording || TotalOf(path, kAgent, 1).InOctets != 240'000u) {
            return "recording did not resume with every count after space came back";
        }
    }
    chmod(folder.c_str(), 0500);
    UsageRecorder recorder(path, kAgent, 1, "");
    run(recorder, 1'780'000'241, 1'780'000'300);
    if (recorder.State() != RecordingState::Paused) {
        return "a read-only folder did not pause recording";
    }
    chmod(folder.c_str(), 0700);
    // Resumes at its next attempt, at 301: the minute it could not write is
    // a gap, since this recorder did not hold the interface then.
    run(recorder, 1'780'000'301, 1'780'000'420);
    recorder.Close();
    const UsageCounts total = TotalOf(path, kAgent, 1);
    if (recorder.State() != RecordingState::Recording || total.InOctets != 360'000u || total.Missed != 60 ||
        total.Sampled + total.Missed != 420) {
        return "recording did not resume after the folder became writable, or lost counts";
    }
    return "ok";
}

TEST(UsageStore, FullOrReadOnlyFolderPausesAndResumes) {
    const TempDir dir;
    std::filesystem::create_directories(dir.Dir() + "mnt");
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        const std::string result = fullDiskScenario(dir.Dir() + "mnt");
        (void)!write(report[1], result.data(), result.size());
        _exit(0);
    }
    close(report[1]);
    std::string result;
    char buffer[256];
    for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;) {
        result.append(buffer, static_cast<size_t>(n));
    }
    close(report[0]);
    waitpid(child, nullptr, 0);
    if (result.starts_with("skip:")) {
        GTEST_SKIP() << result;
    }
    EXPECT_EQ(result, "ok");
}

// 100 kills at random moments of a copy that flushes in a loop: the file
// passes its integrity check every time, nothing written is lost, and at
// most the counts since the last flush are.
TEST(UsageStore, KillsDuringFlushes) {
    const TempDir dir;
    const std::string path = dir.File("usage.sqlite3");
    constexpr int64_t kFlushEvery = 5;
    struct Shared {
        std::atomic<uint64_t> Fed;       // octets handed to the recorder
        std::atomic<uint64_t> Committed; // octets written by its last flush
        std::atomic<int> Started;
        std::atomic<int> Flushing; // inside the Record() that writes
    };
    auto* shared = static_cast<Shared*>(
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(shared, MAP_FAILED);
    new (shared) Shared{};
    std::mt19937 random(19);
    uint64_t worst = 0;
    uint64_t lost = 0;
    int damaged = 0;
    int inFlush = 0;
    for (int kill = 0; kill < 100; ++kill) {
        shared->Started = 0;
        const pid_t child = fork();
        if (child == 0) {
            UsageRecorder recorder(path, kAgent, 1, "", RecorderOptions{kFlushEvery});
            UsageTick tick;
            tick.Kind = UsageTickKind::Uncounted;
            tick.CounterBits = 64;
            const int64_t start = 1'700'000'000 + kill * 10'000;
            for (int64_t t = start;; ++t) {
                tick.Time = t;
                if (tick.Kind == UsageTickKind::Counted) {
                    shared->Fed += 1000;
                }
                const bool due = t > start && (t - start) % kFlushEvery == 0;
                shared->Flushing = due ? 1 : 0;
                recorder.Record(tick);
                shared->Flushing = 0;
                if (due && recorder.State() == RecordingState::Recording) {
                    shared->Committed = shared->Fed.load();
                }
                shared->Started = 1;
                tick.Kind = UsageTickKind::Counted;
                tick.Differences = {1000, 0, 0, 0};
            }
        }
        while (shared->Started == 0) {
            std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        ::kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        inFlush += shared->Flushing.load();

        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        const bool ok = sqlite3_step(check) == SQLITE_ROW &&
                        std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok") == 0;
        sqlite3_finalize(check);
        sqlite3_close(db);
        damaged += ok ? 0 : 1;
        const uint64_t stored = TotalOf(path, kAgent, 1).InOctets;
        EXPECT_GE(stored, shared->Committed.load()) << "kill " << kill << ": written counts lost";
        EXPECT_LE(stored, shared->Fed.load()) << "kill " << kill;
        const uint64_t loss = shared->Fed - stored;
        worst = std::max(worst, loss);
        lost += loss;
        shared->Fed = stored;
        shared->Committed = stored;
    }
    EXPECT_EQ(damaged, 0);
    // A flush every kFlushEvery ticks: at most that many ticks' counts lost.
    EXPECT_LE(worst, 1000u * (kFlushEvery + 1));
    std::cout << "100 kills, " << inFlush << " of them inside a flush: " << damaged
              << " failed integrity checks, " << TotalOf(path, kAgent, 1).InOctets / 1000
              << " ticks stored, lost per kill at most " << worst / 1000 << " ticks, on average "
              << static_cast<double>(lost) / 100000.0 << " (a flush every " << kFlushEvery << " ticks)\n";
    munmap(shared, sizeof(Shared));
}

} // namespace
} // namespace veltrum
