#include "app/TempDir.h"
#include "graphs/UsageWindow.h"
#include "settings/IniFile.h"
#include "support/LoopGapProbe.h"
#include "support/Program.h"
#include "support/ScriptedResponder.h"
#include "support/SilentNameServer.h"
#include "support/SnmpdAgent.h"
#include "support/TableAgent.h"
#include "widgets/Gauge.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <vector>

namespace veltrum {
namespace {

using test::ModalWatcher;
using test::Program;
using test::ScriptedResponder;
using test::SilentNameServer;
using test::TempDir;

// A profile that polls `host` and keeps the graph windows where the small
// offscreen screen has room for them.
void WriteProfile(const TempDir& dir, const std::string& host, const std::string& community = "qorvex",
                  const std::string& extra = "") {
    dir.Write("Default.vlq", "[Host]\n01=" + host + "\n[Haslo]\n01=" + community +
                                 "\n[PozTopWykres]\n01=40\n[PozLeftWykres]\n01=50\n"
                                 "[PozTopWykresPkt]\n01=60\n[PozLeftWykresPkt]\n01=70\n" +
                                 extra);
}

// An agent that answers every poll with counters that grow by `step` octets,
// and has no ifSpeed (noSuchName) for the request that follows the first poll.
ScriptedResponder::Handler GrowingCounters(std::atomic<int64_t>& base, int64_t step) {
    return
        [&base, step](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            if (request.Oids.size() != 4) {
                return ScriptedResponder::Respond(request, {{"", 0x05, ""}}, 2);
            }
            const int64_t value = base.fetch_add(step) + step;
            std::vector<ScriptedResponder::VarBind> binds;
            for (const std::string& oid : request.Oids) {
                binds.push_back({oid, 0x41, std::to_string(static_cast<int32_t>(value))});
            }
            return ScriptedResponder::Respond(request, binds);
        };
}

TEST(StartupCheck, OpensTheSettingsDialogWhileTheProfileIsMissing) {
    TempDir dir; // no app.ini, no Default.vlq: the default agent is unreachable in the test namespace
    Program program(dir.Dir());
    ModalWatcher watcher;
    program.glowny.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.First() != nullptr; }, 3000));
    ASSERT_EQ(watcher.First(), &program.konfiguracja);
    EXPECT_LT(watcher.FirstAtMs(), 1000); // 25 ms after the show, plus a loaded machine's slack
    QTest::qWait(300);
    EXPECT_EQ(watcher.Count(), 1);
}

// The program entry hands over makers instead of dialogs and the usage
// window: the first-start check and the menu must make each once, at its
// first opening, and open that one again.
TEST(StartupCheck, MakesEachDialogAtItsFirstOpeningOnly) {
    TempDir dir; // no profile: the settings dialog opens at start
    TRouter router(RouterFolders{dir.Dir(), {}, BitmapFolder(dir.Dir()), {}}, {});
    TFormGlowny& glowny = router.Glowny();
    EXPECT_EQ(router.Konfiguracja(), nullptr);
    EXPECT_EQ(router.Oprogramie(), nullptr);
    EXPECT_EQ(router.Usage(), nullptr);

    ModalWatcher watcher;
    glowny.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.First() != nullptr; }, 3000));
    TFormKonfiguracja* const konfiguracja = router.Konfiguracja();
    ASSERT_NE(konfiguracja, nullptr);
    EXPECT_EQ(watcher.First(), konfiguracja);
    EXPECT_NE(router.Interfejsy(), nullptr);

    glowny.Konfiguracja1Click();
    glowny.v090b11Click();
    TFormOprogramie* const oprogramie = router.Oprogramie();
    glowny.v090b11Click();
    EXPECT_EQ(router.Konfiguracja(), konfiguracja); // made once, opened again
    EXPECT_EQ(router.Oprogramie(), oprogramie);
    EXPECT_EQ(watcher.Count(), 4);
    EXPECT_EQ(router.Usage(), nullptr); // not made by a poll either

    EXPECT_EQ(glowny.Usage1->shortcut(), QKeySequence(Qt::Key_F9));
    glowny.Usage1->trigger();
    TFormUsage* const usage = router.Usage();
    glowny.Usage1->trigger();
    ASSERT_NE(usage, nullptr);
    EXPECT_EQ(router.Usage(), usage);
    EXPECT_TRUE(usage->isVisible());
}

TEST(StartupCheck, StaysQuietWhenTheProfileExists) {
    TempDir dir;
    ScriptedResponder silent([](const ScriptedResponder::Request&) { return std::nullopt; });
    WriteProfile(dir, silent.HostText());
    Program program(dir.Dir());
    ModalWatcher watcher;
    program.glowny.show();
    QTest::qWait(400);
    EXPECT_EQ(watcher.First(), nullptr);
    EXPECT_FALSE(program.router.Timer2->isActive());
    EXPECT_TRUE(program.glowny.TimerStayOnTop->isActive());
}

TEST(StayOnTop, ReassertsOnlyWhenSomethingCouldHaveMovedTheWindow) {
    TempDir dir;
    ScriptedResponder silent([](const ScriptedResponder::Request&) { return std::nullopt; });
    WriteProfile(dir, silent.HostText(), "qorvex", "[Timeout]\n01=100\n");
    Program program(dir.Dir());
    StayOnTopSwitch& onTop = *program.glowny.TimerStayOnTop;
    QSignalSpy reassertions(&onTop, &StayOnTopSwitch::timeout);
    program.glowny.show();
    // The restart switches it on: one re-assertion, then none while idle.
    ASSERT_TRUE(reassertions.wait(1000));
    QTest::qWait(700);
    EXPECT_EQ(reassertions.count(), 1);
    // Several causes at once give one re-assertion.
    onTop.Request();
    onTop.Request();
    onTop.Request();
    QTest::qWait(400);
    EXPECT_EQ(reassertions.count(), 2);
    // Stopped, as while a dialog is shown: causes are ignored. Started again:
    // one re-assertion follows.
    onTop.stop();
    onTop.Request();
    QTest::qWait(300);
    EXPECT_EQ(reassertions.count(), 2);
    EXPECT_FALSE(onTop.isActive());
    onTop.start();
    QTest::qWait(400);
    EXPECT_EQ(reassertions.count(), 3);
    EXPECT_TRUE(onTop.isActive());
}

TEST(MonitorRestart, StartsPollingAtOnceAndEverySecond) {
    TempDir dir;
    std::atomic<int64_t> base{1'000'000};
    ScriptedResponder agent(GrowingCounters(base, 1'265'000));
    WriteProfile(dir, agent.HostText());
    Program program(dir.Dir());
    program.glowny.show();
    test::Settle(program.router);
    // The first reading is taken during the show, then the interface's speed.
    EXPECT_EQ(agent.RequestCount(), 2);
    EXPECT_EQ(program.router.State().PollCount, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return agent.RequestCount() >= 3; }, 5000));
    EXPECT_EQ(agent.RequestCount(), 3);
    // The second reading gives rates: 1,265,000 octets per interval is 1000 units.
    EXPECT_EQ(program.router.State().DownRate, 1000);
    EXPECT_EQ(program.glowny.Label3->text(), "9.8M");
    EXPECT_EQ(program.glowny.Gauge1->Progress(), 1024);
}

TEST(MonitorRestart, ApplyingSettingsTwiceLeavesOnePollTimer) {
    TempDir dir;
    std::atomic<int64_t> base{0};
    auto growing = GrowingCounters(base, 5000);
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    ScriptedResponder agent(
        [&](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            const std::lock_guard lock(mutex);
            arrivals.push_back(std::chrono::steady_clock::now());
            return growing(request);
        });
    WriteProfile(dir, agent.HostText());
    Program program(dir.Dir());
    program.glowny.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return agent.RequestCount() >= 2; }, 5000));
    for (int i = 0; i < 2; ++i) {
        program.router.Timer1->stop();
        program.router.FormCreate();
        program.router.FormShow();
        test::Settle(program.router);
        // Counters start from zero again: the restart's poll only primes.
        EXPECT_EQ(program.router.State().PollCount, 1);
        EXPECT_EQ(program.router.State().DownTotal, 0u);
    }
    const int before = agent.RequestCount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return agent.RequestCount() >= before + 3; }, 8000));
    // One tick a second, not two: the ticks after the restarts are a second apart.
    const std::lock_guard lock(mutex);
    for (size_t i = static_cast<size_t>(before); i < arrivals.size(); ++i) {
        EXPECT_GT(arrivals[i] - arrivals[i - 1], std::chrono::milliseconds(900)) << i;
    }
    EXPECT_TRUE(program.router.Timer1->isActive());
    // Four timers (the poll, the start-up check, the web page, the interface
    // check's steps) and the stay-on-top switch, none of them doubled.
    EXPECT_EQ(program.router.findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly).size(), 4);
    EXPECT_EQ(program.glowny.findChildren<StayOnTopSwitch*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
}

// A renumbered interface looked for in a slow agent's table at start: the
// walk goes an exchange at a time, so the window shows at once, its event
// loop keeps turning, and the labels say that the reading waits for the walk.
TEST(MonitorRestart, ASlowWalkNeverHoldsTheWindow) {
    std::map<int32_t, std::vector<std::string>> interfaces;
    for (int32_t n = 1; n <= 30; ++n) {
        interfaces[n] = {"if" + std::to_string(n), "1"};
    }
    test::TableAgent table(interfaces);
    ScriptedResponder slow([&table](const ScriptedResponder::Request& request) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return table.Answer(request);
    });
    TempDir dir;
    WriteProfile(dir, slow.HostText(), "public",
                 "[Timeout]\n01=300\n[NumerInterfaceu]\n01=2\n[OpisInterfaceu]\n01=if30\n");
    Program program(dir.Dir());
    test::LoopGapProbe probe;
    program.glowny.show();
    EXPECT_TRUE(program.glowny.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.glowny.Label3->text() == "..."; }, 1000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.router.State().InterfaceNumber == 30; }, 15000));
    QTest::qWait(50); // a last turn of the probe
    RecordProperty("longest_gap_ms", static_cast<int>(probe.Longest()));
    RecordProperty("walk_ms", static_cast<int>(probe.Elapsed()));
    // One exchange of 100 ms at a time (the whole walk takes 3 s); the rest
    // is a loaded machine's slack.
    EXPECT_LT(probe.Longest(), 600);
}

TEST(Poll, FailureShowsErrAndARedPanelUntilTheAgentAnswers) {
    TempDir dir;
    std::atomic<bool> answer{true};
    std::atomic<int64_t> base{0};
    auto growing = GrowingCounters(base, 126'500);
    ScriptedResponder agent(
        [&](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            if (!answer) {
                return std::nullopt;
            }
            return growing(request);
        });
    WriteProfile(dir, agent.HostText(), "qorvex", "[Timeout]\n01=100\n");
    Program program(dir.Dir());
    program.glowny.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.glowny.Label3->text() == "1.0M"; }, 5000));
    answer = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.glowny.Label3->text() == "Err"; }, 5000));
    EXPECT_EQ(program.glowny.Label4->text(), "Err");
    EXPECT_EQ(program.glowny.Gauge1->Progress(), 0);
    EXPECT_EQ(program.glowny.Panel2->palette().color(QPalette::Window), QColor(255, 0, 0));
    // The reason is the whole window's hint while the failure lasts, after
    // the session's name: several routers' windows look alike.
    const QString reason =
        QString::fromStdString("Veltrum: No reply from " + agent.HostText() + " within 100 ms.");
    EXPECT_TRUE(program.glowny.Gauge1->toolTip().startsWith(reason))
        << program.glowny.Gauge1->toolTip().toStdString();
    EXPECT_EQ(program.glowny.Panel2->toolTip(), program.glowny.Gauge1->toolTip());
    EXPECT_EQ(program.glowny.Label4->toolTip(), program.glowny.Gauge1->toolTip());
    answer = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.glowny.Label3->text() != "Err"; }, 5000));
    EXPECT_NE(program.glowny.Panel2->palette().color(QPalette::Window), QColor(255, 0, 0));
    // Back to the usual hints, which say whose rates they are.
    const QString whose = QString::fromStdString("Veltrum: " + agent.HostText() + ", interface 1");
    EXPECT_EQ(program.glowny.Gauge1->toolTip(), QString::fromUtf8("Download — ") + whose);
    EXPECT_EQ(program.glowny.Gauge2->toolTip(), QString::fromUtf8("Upload — ") + whose);
    EXPECT_EQ(program.glowny.Label3->toolTip(), QString::fromUtf8("Download (Mbps) — ") + whose);
    EXPECT_EQ(program.glowny.Panel2->toolTip(), whose);
}

// Behind a name server that never answers, every poll fails with "Host not
// found." after its own time-out, and the window's event loop keeps turning.
TEST(Poll, SilentNameServerNeverHoldsTheWindowLongerThanTheTimeOut) {
    std::unique_ptr<SilentNameServer> nameServer;
    try {
        nameServer = std::make_unique<SilentNameServer>();
    } catch (const std::runtime_error& error) {
        FAIL() << error.what();
    }
    TempDir dir;
    WriteProfile(dir, "agent.veltrum.test", "qorvex", "[Timeout]\n01=250\n");
    Program program(dir.Dir());
    program.glowny.show();
    QTest::qWait(1200); // past the first tick of the poll timer
    QElapsedTimer clock;
    qint64 last = -1;
    qint64 longestGap = 0;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (last >= 0) {
            longestGap = std::max(longestGap, now - last);
        }
        last = now;
    });
    clock.start();
    probe.start();
    QTest::qWait(3000);
    EXPECT_GE(program.router.State().MissedPolls, 3);
    EXPECT_GE(nameServer->QueryCount(), 1);
    // A poll holds the thread for at most its 250 ms (a resolver blocked for
    // 30 s would show here); the rest is a loaded machine's slack.
    EXPECT_LT(longestGap, 700);
    EXPECT_EQ(program.glowny.Label3->text(), "Err");
    EXPECT_EQ(program.glowny.Gauge1->toolTip(), "Veltrum: agent.veltrum.test: Host not found.");
    // The interface walk ends with the same reason after one time-out.
    program.konfiguracja.Edit1->setText(QStringLiteral("agent.veltrum.test"));
    clock.restart();
    program.interfejsy.FormShow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !program.interfejsy.Walking(); }, 5000));
    EXPECT_LT(clock.elapsed(), 700);
    EXPECT_EQ(program.interfejsy.EmptyReason->text(), "agent.veltrum.test: Host not found.");
    // Leaving with the look-ups still blocked in the resolver neither waits nor crashes.
}

TEST(MainWindow, GaugesSitOnAPanelThatTurnsRedOnFailure) {
    TempDir dir;
    ScriptedResponder silent([](const ScriptedResponder::Request&) { return std::nullopt; });
    WriteProfile(dir, silent.HostText(), "qorvex", "[Timeout]\n01=100\n");
    Program program(dir.Dir());
    program.glowny.show();
    test::Settle(program.router);
    const QImage picture = program.glowny.grab().toImage();
    ASSERT_GE(picture.height(), 45);
    // The agent is silent: the first poll failed and the panel is red around
    // the gauges' grey ground.
    EXPECT_EQ(picture.pixelColor(27, 20), QColor(255, 0, 0));
    EXPECT_EQ(picture.pixelColor(5, 43), QColor(255, 0, 0));
    EXPECT_EQ(picture.pixelColor(6, 10), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(picture.pixelColor(18, 10), QColor(0x80, 0x80, 0x80));
}

// A copy started on a profile saved from a running one opens beside that
// one's window, and its hints tell the two apart, taking the session name as
// plain text even when it looks like markup.
TEST(MainWindow, ASecondCopyOpensBesideTheFirstAndNamesItsSession) {
    TempDir dir;
    dir.Write("Default.vlq", "[Sesja]\n01=<img src=/dev/zero>\n[Host]\n01=10.0.0.1\n");
    const std::string copies = dir.Dir() + "copies/";
    const std::string other = "copies/" + std::to_string(getppid()); // a live process, not this one
    std::filesystem::create_directory(copies);
    dir.Write(other, "150 150 33 68\n");
    {
        Program program(dir.Dir(), {}, copies);
        TFormGlowny& glowny = program.glowny;
        EXPECT_EQ(glowny.pos(), QPoint(187, 150));
        EXPECT_EQ(dir.Read("copies/" + std::to_string(getpid())), "187 150 33 68\n");
        const QString hint = glowny.Gauge1->toolTip();
        ASSERT_TRUE(Qt::mightBeRichText(hint)); // escaped, or the tooltip would load an image
        QTextDocument shown;
        shown.setHtml(hint);
        EXPECT_EQ(shown.toPlainText(),
                  QString::fromUtf8("Download — <img src=/dev/zero>: 10.0.0.1, interface 1"));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("copies/" + std::to_string(getpid()))));
    EXPECT_TRUE(std::filesystem::exists(dir.File(other)));
}

TEST(Shutdown, WritesTheFlagsBeforeClosingTheGraphWindowsAndReopensThem) {
    TempDir dir;
    ScriptedResponder silent([](const ScriptedResponder::Request&) { return std::nullopt; });
    WriteProfile(dir, silent.HostText(), "qorvex", "[Timeout]\n01=100\n");
    {
        Program program(dir.Dir());
        program.glowny.show();
        program.glowny.Pokawykres1Click();
        ASSERT_TRUE(program.wykres.isVisible());
        program.wykres.move(90, 80);
        QSignalSpy closed(&program.glowny, &TFormGlowny::Closed);
        program.glowny.close();
        EXPECT_EQ(closed.count(), 1);
        EXPECT_FALSE(program.wykres.isVisible());
        EXPECT_EQ(program.router.State().MainOpacity, 20); // faded, not saved
    }
    const TIniFile ini(dir.File("Default.vlq"));
    EXPECT_TRUE(ini.ReadBool("PokazWykres", "01", false));
    EXPECT_FALSE(ini.ReadBool("PokazWykresPkt", "01", true));
    EXPECT_EQ(ini.ReadInteger("PozTopWykres", "01", 0), 80);
    EXPECT_EQ(ini.ReadInteger("PozLeftWykres", "01", 0), 90);
    // The never-shown packets window stores the position it was created with.
    EXPECT_TRUE(ini.ReadString("PozTopWykresPkt", "01", "").size() > 0);
    EXPECT_FALSE(ini.ReadString("TStopien", "01", "").size() > 0);

    Program again(dir.Dir());
    again.glowny.show();
    EXPECT_TRUE(again.wykres.isVisible());
    EXPECT_EQ(again.wykres.pos(), QPoint(90, 80));
    EXPECT_FALSE(again.wykresPkt.isVisible());
}

TEST(Poll, RealAgentMovesTheGaugesAndShowsErrWhileItIsStopped) {
    if (!test::SnmpdAgent::Available()) {
        GTEST_SKIP() << "snmpd is not installed";
    }
    TempDir dir;
    test::SnmpdAgent agent;
    agent.Start();
    WriteProfile(dir, agent.HostText(), agent.Community(), "[Timeout]\n01=200\n");
    Program program(dir.Dir());
    program.glowny.show();
    // Loopback carries the polls themselves; add enough to show on the bars.
    // The agent refreshes its interface table every few seconds, so watch a
    // while and look at the whole history.
    QUdpSocket sink;
    ASSERT_TRUE(sink.bind(QHostAddress::LocalHost, 0));
    QUdpSocket traffic;
    const QByteArray payload(1400, 'v');
    int32_t largest = 0;
    int32_t largestProgress = 0;
    for (int i = 0; i < 24 && (largest == 0 || largestProgress == 0); ++i) {
        for (int k = 0; k < 40; ++k) {
            traffic.writeDatagram(payload, QHostAddress::LocalHost, sink.localPort());
        }
        QTest::qWait(250);
        while (sink.hasPendingDatagrams()) {
            sink.receiveDatagram();
        }
        largest = std::max(largest, *std::max_element(program.router.State().DownHistory.begin(),
                                                      program.router.State().DownHistory.end()));
        largestProgress = std::max(largestProgress, program.glowny.Gauge1->Progress());
    }
    EXPECT_TRUE(program.glowny.Label3->text().endsWith('M')) << program.glowny.Label3->text().toStdString();
    EXPECT_GT(largestProgress, 0);
    EXPECT_GT(largest, 0);

    agent.Stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.glowny.Label3->text() == "Err"; }, 5000));
    agent.Start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.glowny.Label3->text() != "Err"; }, 5000));
}

} // namespace
} // namespace veltrum
