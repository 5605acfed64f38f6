// Several routers in one program: each main window draws its own router,
// a silent one holds neither the others' polls nor the screen, closing one
// leaves the others polling, and the open set comes back at the next start.

#include "app/Routers.h"
#include "app/Glowny.h"
#include "app/TempDir.h"
#include "core/UsageRecording.h"
#include "history/UsageRecorder.h"
#include "settings/IniFile.h"
#include "support/LoopGapProbe.h"
#include "support/Program.h"
#include "support/ScriptedResponder.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPoint>
#include <QProcess>
#include <QTest>

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace veltrum {
namespace {

using test::ScriptedResponder;
using test::TempDir;
using Clock = std::chrono::steady_clock;

// An agent whose counters grow by `step` octets a poll (silent when 0); it
// notes when each reading was asked for.
struct Agent {
    explicit Agent(int64_t step)
        : responder(
              [this,
               step](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
                  if (step == 0) {
                      return std::nullopt;
                  }
                  if (request.Oids.size() != 4) {
                      return ScriptedResponder::Respond(request, {{"", 0x05, ""}}, 2);
                  }
                  const std::lock_guard lock(mutex);
                  readings.push_back(Clock::now());
                  value += step;
                  std::vector<ScriptedResponder::VarBind> binds;
                  for (const std::string& oid : request.Oids) {
                      binds.push_back({oid, 0x41, std::to_string(static_cast<uint32_t>(value))});
                  }
                  return ScriptedResponder::Respond(request, binds);
              }) {}
    std::mutex mutex;
    std::vector<Clock::time_point> readings;
    int64_t value = 0;
    ScriptedResponder responder;
};

std::string WriteProfile(const TempDir& dir, const std::string& name, const Agent& agent) {
    dir.Write(name, "[Host]\n01=" + agent.responder.HostText() + "\n[Haslo]\n01=qorvex\n[Sesja]\n01=" + name +
                        "\n[Timeout]\n01=750\n");
    return dir.File(name);
}

RouterFolders Folders(const TempDir& dir) {
    return RouterFolders{dir.Dir(), dir.Dir() + "usage.sqlite3", BitmapFolder(dir.Dir()), {}};
}

struct Case {
    int Routers;
    int Silent; // which one never answers
};

class SeveralRouters : public ::testing::TestWithParam<Case> {};

TEST_P(SeveralRouters, EachShowsItsOwnRatesAndASilentOneHoldsNothing) {
    const Case c = GetParam();
    TempDir dir;
    std::vector<std::unique_ptr<Agent>> agents;
    std::vector<std::string> profiles;
    for (int i = 0; i < c.Routers; ++i) {
        // 1,265,000 octets a second is 1000 units.
        agents.push_back(std::make_unique<Agent>(i == c.Silent ? 0 : 1'265'000 * (i + 1)));
        profiles.push_back(WriteProfile(dir, "R" + std::to_string(i) + ".vlq", *agents.back()));
    }
    dir.Write("R1.vlq", dir.Read("R1.vlq") + "[LimitGB]\n01=5\n"); // its quota goes with its row
    TRouters routers(Folders(dir));
    test::LoopGapProbe probe;
    routers.OpenAtStart(profiles);
    ASSERT_EQ(routers.Routers().size(), static_cast<size_t>(c.Routers));
    // Making the windows and reading the profiles is the start's; from here
    // on only the polls run.
    QTest::qWait(300);
    probe.Forget();
    QTest::qWait(4500);
    RecordProperty("longest_gap_ms", static_cast<int>(probe.Longest()));
    EXPECT_LT(probe.Longest(), 150); // 50 ms or less on a quiet machine

    qint64 latest = 0; // how far a reading strayed from a whole second after the one before
    std::set<int64_t> identities;
    for (int i = 0; i < c.Routers; ++i) {
        TRouter& router = *routers.Routers()[static_cast<size_t>(i)];
        EXPECT_EQ(router.Glowny().windowTitle().toStdString(), "R" + std::to_string(i) + ".vlq");
        if (i == c.Silent) {
            EXPECT_EQ(router.Glowny().Label3->text(), "Err");
            continue;
        }
        EXPECT_EQ(router.State().DownRate, 1000 * (i + 1)) << i;
        EXPECT_NE(router.Glowny().Label3->text(), "Err");
        const std::lock_guard lock(agents[static_cast<size_t>(i)]->mutex);
        const auto& readings = agents[static_cast<size_t>(i)]->readings;
        ASSERT_GE(readings.size(), 4u);
        for (size_t k = 2; k < readings.size(); ++k) {
            const auto off =
                std::chrono::duration_cast<std::chrono::milliseconds>(readings[k] - readings[k - 1]);
            latest = std::max<qint64>(latest, std::abs(off.count() - 1000));
        }
        // The histories stay apart: a row of its own for each.
        ASSERT_NE(router.TheMonitor().Usage().Recorder(), nullptr);
        identities.insert(router.TheMonitor().Usage().Recorder()->InterfaceId());
        EXPECT_EQ(router.TheMonitor().Usage().StatusText(), "");
    }
    RecordProperty("poll_offset_ms", static_cast<int>(latest));
    EXPECT_LT(latest, 150); // 20 ms or less on a quiet machine
    EXPECT_EQ(identities.size(), static_cast<size_t>(c.Routers - 1));

    // app.ini lists them all; [Profil] is not written by a start on chosen profiles.
    const TIniFile ini(dir.File("app.ini"));
    EXPECT_EQ(ini.ReadInteger("Otwarte", "Ile", 0), c.Routers);
    EXPECT_EQ(ini.ReadString("Otwarte", "02", ""), profiles[1]);
    EXPECT_EQ(ini.ReadString("Profil", "01", ""), "");

    // Closing the first leaves the others polling.
    TRouter* const second = routers.Routers()[1].get();
    routers.Routers().front()->Glowny().close();
    ASSERT_EQ(routers.Routers().size(), static_cast<size_t>(c.Routers - 1));
    EXPECT_EQ(routers.Routers().front().get(), second);
    const int before = agents.back()->responder.RequestCount();
    const int beforeSecond = agents[1]->responder.RequestCount();
    QTest::qWait(1500);
    EXPECT_GT(agents[1]->responder.RequestCount(), beforeSecond);
    EXPECT_GT(agents.back()->responder.RequestCount(), before);
    EXPECT_EQ(ini.ReadInteger("Otwarte", "Ile", 0), c.Routers - 1);

    // Once all are closed (each with its final save), `--usage --all`
    // prints each router's row once, the silent one's with its time missed,
    // each with the quota of the profile that polls it; CSV under one header.
    while (!routers.Routers().empty()) {
        routers.Routers().front()->Glowny().close();
    }
    // The program in the portable layout: the history beside it.
    std::filesystem::copy_file(VELTRUM_PROGRAM, dir.File("veltrum"));
    const auto usageOfAll = [&](const char* format) {
        QProcess usage;
        usage.start(QString::fromStdString(dir.File("veltrum")),
                    {"--usage", "--all", format, "--profile", QString::fromStdString(profiles[1])});
        EXPECT_TRUE(usage.waitForFinished(30000));
        EXPECT_EQ(usage.exitCode(), 0) << usage.readAllStandardError().toStdString();
        return usage.readAllStandardOutput().toStdString();
    };
    const std::string all = usageOfAll("--json");
    const std::string table = usageOfAll("--csv");
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front(), '[') << all;
    for (int i = 0; i < c.Routers; ++i) {
        const std::string host = agents[static_cast<size_t>(i)]->responder.HostText();
        const std::string agent = "\"agent\": \"" + host + "\"";
        const auto first = all.find(agent);
        EXPECT_TRUE(first != std::string::npos && all.find(agent, first + 1) == std::string::npos)
            << i << all;
        const std::string quota = all.substr(all.find("\"quota\"", first), 30);
        EXPECT_EQ(quota.find("null") == std::string::npos, i == 1) << i << quota;
        EXPECT_NE(table.find("\r\n" + host + ",1,,period,"), std::string::npos) << i << table;
    }
    EXPECT_EQ(table.rfind("agent,interface,"), 0u) << table;
}

INSTANTIATE_TEST_SUITE_P(Routers, SeveralRouters, ::testing::Values(Case{2, 0}, Case{4, 2}),
                         [](const auto& info) {
                             return std::to_string(info.param.Routers) + "RoutersSilent" +
                                    std::to_string(info.param.Silent);
                         });

TEST(SeveralRouters, TheOpenSetComesBackAtTheNextStart) {
    TempDir dir;
    Agent a(1000), b(2000), c(3000);
    const std::vector<std::string> profiles = {WriteProfile(dir, "A.vlq", a), WriteProfile(dir, "B.vlq", b),
                                               WriteProfile(dir, "C.vlq", c)};
    {
        TRouters routers(Folders(dir));
        routers.OpenAtStart({profiles[0]});
        // Profile commands of the first window still make its file current.
        routers.Routers().front()->RecordCurrentProfile(profiles[0]);
        routers.Open(profiles[1]);
        routers.Open(profiles[2]);
        // Another window's commands leave [Profil] to the first.
        routers.Routers()[2]->RecordCurrentProfile(profiles[1]);
        for (int i = 0; i < 3; ++i) {
            test::Settle(*routers.Routers().back());
        }
    }
    const TIniFile ini(dir.File("app.ini"));
    EXPECT_EQ(ini.ReadString("Profil", "01", ""), profiles[0]);
    TRouters again(Folders(dir));
    again.OpenAtStart({});
    ASSERT_EQ(again.Routers().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(again.Routers()[i]->State().ProfilePath, profiles[i]);
    }
}

// A router's window keeps its place through Settings, OK (the reload and
// restart OK runs), however often: only the other routers' windows are
// stepped around, and the second router's window stays off the first's.
TEST(SeveralRouters, AWindowStaysPutThroughSettingsOk) {
    TempDir dir;
    Agent a(1000), b(2000);
    TRouters routers(Folders(dir));
    routers.OpenAtStart({WriteProfile(dir, "A.vlq", a), WriteProfile(dir, "B.vlq", b)});
    ASSERT_EQ(routers.Routers().size(), 2u);
    std::vector<QPoint> placed;
    for (const auto& router : routers.Routers()) {
        placed.push_back(router->Glowny().pos());
    }
    EXPECT_NE(placed[0], placed[1]);
    for (int ok = 0; ok < 3; ++ok) {
        for (size_t i = 0; i < 2; ++i) {
            TRouter& router = *routers.Routers()[i];
            router.WriteMainPosition();
            router.ReloadAndRestart();
            EXPECT_EQ(router.Glowny().pos(), placed[i]) << "router " << i << ", OK " << ok + 1;
        }
    }
}

// A profile of the open set that cannot be read (a gigabyte file, a FIFO)
// is neither read nor opened with every default: the others open at once,
// and a message says which were not and why.
TEST(SeveralRouters, AnUnreadableProfileOpensNoRouter) {
    TempDir dir;
    Agent a(1000);
    const std::string good = WriteProfile(dir, "A.vlq", a);
    const std::string huge = dir.File("Huge.vlq");
    const std::string fifo = dir.File("Fifo.vlq");
    dir.Write("Huge.vlq", "[Host]\n01=127.0.0.1\n");
    std::filesystem::resize_file(huge, 1'000'000'000); // sparse: nothing is written
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    dir.Write("app.ini", "[Profil]\n01=" + good + "\n[Otwarte]\nIle=3\n01=" + good + "\n02=" + huge +
                             "\n03=" + fifo + "\n");
    const auto started = Clock::now();
    TRouters routers(Folders(dir));
    routers.OpenAtStart({});
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(5));
    ASSERT_EQ(routers.Routers().size(), 1u);
    EXPECT_EQ(routers.Routers().front()->State().ProfilePath, good);
    QString told;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box != nullptr && box->isVisible()) {
            told = box->text();
            box->close();
        }
    }
    EXPECT_TRUE(told.contains(QString::fromStdString(huge + " was not opened: it is larger than 1 MB")))
        << told.toStdString();
    EXPECT_TRUE(told.contains(QString::fromStdString(fifo + " was not opened: it is not a regular file")))
        << told.toStdString();
}

// A profile asked for again (on the command line, or "Open another
// profile...") shows its router. "Close this router" closes one, which the
// next start leaves closed, and app.ini's list is written whole; Exit ends
// the program with every router and keeps them all for the next start.
TEST(SeveralRouters, ExitEndsTheProgramCloseThisRouterClosesOne) {
    TempDir dir;
    Agent a(1000), b(2000), c(3000);
    const std::vector<std::string> profiles = {WriteProfile(dir, "A.vlq", a), WriteProfile(dir, "B.vlq", b),
                                               WriteProfile(dir, "C.vlq", c)};
    {
        TRouters routers(Folders(dir));
        routers.OpenAtStart({profiles[0], profiles[1], profiles[2], dir.Dir() + "./A.vlq"});
        ASSERT_EQ(routers.Routers().size(), 3u);
        EXPECT_EQ(&routers.Open(profiles[0]), routers.Routers().front().get());
        ASSERT_EQ(routers.Routers().size(), 3u);
        int ended = 0;
        QObject::connect(&routers, &TRouters::AllClosed, [&ended] { ++ended; });
        routers.Routers()[1]->Glowny().CloseRouter1Click();
        ASSERT_EQ(routers.Routers().size(), 2u);
        EXPECT_EQ(ended, 0);
        routers.Routers()[1]->Glowny().Zamknij1Click();
        EXPECT_TRUE(routers.Routers().empty());
        EXPECT_EQ(ended, 1);
    }
    EXPECT_EQ(dir.Read("app.ini"), "[Otwarte]\nIle=2\n01=" + profiles[0] + "\n02=" + profiles[2] + "\n");
    TRouters again(Folders(dir));
    again.OpenAtStart({});
    ASSERT_EQ(again.Routers().size(), 2u);
    EXPECT_EQ(again.Routers()[1]->State().ProfilePath, profiles[2]);
}

// One router alone writes app.ini exactly as before: no list.
TEST(SeveralRouters, OneRouterWritesNoList) {
    TempDir dir;
    Agent a(1000);
    const std::string profile = WriteProfile(dir, "A.vlq", a);
    TRouters routers(Folders(dir));
    routers.OpenAtStart({profile});
    test::Settle(*routers.Routers().front());
    routers.Routers().front()->Glowny().close();
    EXPECT_FALSE(std::filesystem::exists(dir.File("app.ini")));
}

// A reply that comes after the next tick was due: that tick polls as soon as
// the reply is in, and the late reading counts. One that never comes: the
// poll fails after the read time-out, and the ticks go on meanwhile.
TEST(SeveralRouters, ALateReplyAndAMissingOne) {
    TempDir dir;
    std::atomic<int> delayMs{0};
    std::atomic<int64_t> value{0};
    std::atomic<bool> silent{false};
    ScriptedResponder agent(
        [&](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            if (silent) {
                return std::nullopt;
            }
            if (request.Oids.size() != 4) {
                return ScriptedResponder::Respond(request, {{"", 0x05, ""}}, 2);
            }
            const int64_t v = value += 1'265'000;
            std::vector<ScriptedResponder::VarBind> binds;
            for (const std::string& oid : request.Oids) {
                binds.push_back({oid, 0x41, std::to_string(static_cast<uint32_t>(v))});
            }
            ScriptedResponder::Reply reply = ScriptedResponder::Respond(request, binds);
            reply.DelayMs = delayMs;
            return reply;
        });
    dir.Write("Default.vlq", "[Host]\n01=" + agent.HostText() + "\n[Haslo]\n01=qorvex\n[Timeout]\n01=750\n");
    test::Program program(dir.Dir());
    program.glowny.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.router.State().PollCount >= 2; }, 5000));
    test::Settle(program.router);
    // Late by 700 ms: still inside the time-out, so it counts; a tick that
    // falls inside the wait is kept and polls right after.
    delayMs = 700;
    program.router.Timer1->setInterval(500);
    const int32_t polls = program.router.State().PollCount;
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.router.State().PollCount >= polls + 3; }, 8000));
    EXPECT_EQ(program.router.State().MissedPolls, 0);
    EXPECT_NE(program.glowny.Label3->text(), "Err");
    // Never: "Err" after the time-out, and the window's loop went on.
    silent = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.glowny.Label3->text() == "Err"; }, 5000));
    EXPECT_GE(program.router.State().MissedPolls, 1);
}

// A polite signal (a logout's SIGTERM, Ctrl+C, a closed terminal) ends the
// program as Exit does: the windows' places in the profile, every counted
// octet in the history, and a clean exit.
TEST(SeveralRouters, APoliteSignalSavesWhatExitSaves) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        TempDir dir;
        Agent agent(1000);
        dir.Write("Default.vlq", "[Host]\n01=" + agent.responder.HostText() + "\n[Haslo]\n01=qorvex\n");
        std::filesystem::copy_file(VELTRUM_PROGRAM, dir.File("veltrum"));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.start(QString::fromStdString(dir.File("veltrum")), {});
        ASSERT_TRUE(program.waitForStarted(10000));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const std::lock_guard lock(agent.mutex);
                return agent.readings.size() >= 3;
            },
            10000));
        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(10000)) << signal;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(program.exitCode(), 0) << signal;
        const TIniFile profile(dir.File("Default.vlq"));
        EXPECT_EQ(profile.ReadInteger("PozLeft", "01", -1), 150) << signal;
        EXPECT_NE(profile.ReadInteger("PozLeftWykres", "01", -1), -1) << signal;
        const std::lock_guard lock(agent.mutex);
        UsageStore store(dir.File("usage.sqlite3"), StoreMode::Read);
        const std::optional<UsageInterface> row = store.OpenInterface(agent.responder.HostText(), 1, "");
        ASSERT_TRUE(row.has_value()) << signal;
        EXPECT_EQ(store.AllTime(row->Id).InOctets, 1000 * (agent.readings.size() - 1)) << signal;
    }
}

} // namespace
} // namespace veltrum
