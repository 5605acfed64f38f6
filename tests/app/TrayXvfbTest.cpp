// The tray icon on a real panel: XEmbed in trayer on an Xvfb, then
// StatusNotifierItem against a watcher on a private session bus. A process
// chooses its tray protocol once, so tray_test.sh runs each suite in a
// process of its own.

#include "app/TempDir.h"
#include "support/Program.h"
#include "support/ScriptedResponder.h"
#include "widgets/Gauge.h"
#include "widgets/TrayIcon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

namespace veltrum {
namespace {

using test::Program;
using test::ScriptedResponder;
using test::TempDir;

bool waitFor(const std::function<bool()>& done, int ms = 8000) {
    return QTest::qWaitFor(done, ms);
}

// Counters that grow by 125,000 octets a second (1,000 kbit/s) while the
// agent answers.
ScriptedResponder::Handler agentOf(std::atomic<bool>& answering) {
    auto base = std::make_shared<std::atomic<int64_t>>(0);
    return [&answering,
            base](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
        if (!answering) {
            return std::nullopt;
        }
        if (request.Oids.size() != 4) {
            return ScriptedResponder::Respond(request, {{"", 0x05, ""}}, 2);
        }
        const int64_t value = base->fetch_add(125'000) + 125'000;
        std::vector<ScriptedResponder::VarBind> binds;
        for (const std::string& oid : request.Oids) {
            binds.push_back({oid, 0x41, std::to_string(value)});
        }
        return ScriptedResponder::Respond(request, binds);
    };
}

QWidget* trayWidget() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0 && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

class TrayOnX : public ::testing::Test {
protected:
    void SetUp() override {
        trayer.start(QStringLiteral("trayer"),
                     {"--edge", "top", "--align", "left", "--widthtype", "request", "--height", "24",
                      "--transparent", "false", "--SetDockType", "true"});
        ASSERT_TRUE(trayer.waitForStarted());
        ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); })) << "no tray";
    }
    void TearDown() override {
        trayer.kill();
        trayer.waitForFinished();
    }
    void start(const std::string& extra) {
        // The gauges' scales put 1,000 kbit/s at half and a quarter.
        dir.Write("Default.vlq", "[Host]\n01=" + agent.HostText() +
                                     "\n[Timeout]\n01=100\n[Download]\n01=2000\n[Upload]\n01=4000\n"
                                     "[PokazIkone]\n01=1\n" +
                                     extra);
        program = std::make_unique<Program>(dir.Dir());
        program->glowny.show();
    }
    QImage shown(QWidget* icon) const {
        return icon->screen()->grabWindow(icon->winId()).toImage().convertToFormat(QImage::Format_ARGB32);
    }

    QProcess trayer;
    TempDir dir;
    std::atomic<bool> answering{true};
    ScriptedResponder agent{agentOf(answering)};
    std::unique_ptr<Program> program;
};

TEST_F(TrayOnX, ShowsTheGaugesBarsAndTheFailure) {
    start("");
    QWidget* icon = nullptr;
    ASSERT_TRUE(waitFor([&] { return (icon = trayWidget()) != nullptr; })) << "no icon in the tray";
    TGauge& down = *program->glowny.Gauge1;
    TGauge& up = *program->glowny.Gauge2;
    ASSERT_TRUE(waitFor([&] { return down.PercentDone() > 0; }));
    QTest::qWait(300);
    EXPECT_NEAR(down.PercentDone(), 50, 3);
    EXPECT_NEAR(up.PercentDone(), 25, 3);
    const int size = icon->width();
    const auto expected = [&](bool failed) {
        return DrawTrayPicture({down.PercentDone(), up.PercentDone(), kYellow, kRed, failed}, size);
    };
    EXPECT_TRUE(waitFor([&] { return shown(icon) == expected(false); })) << "at " << size << " px";
    // A picture of the icon in the panel, for whoever wants to look.
    if (const QByteArray folder = qgetenv("VELTRUM_TRAY_PICTURES"); !folder.isEmpty()) {
        shown(icon).save(QString::fromUtf8(folder) + QStringLiteral("/panel-%1px.png").arg(size));
    }

    answering = false;
    ASSERT_TRUE(waitFor([&] { return program->glowny.Label3->text() == "Err"; }));
    EXPECT_TRUE(waitFor([&] { return shown(icon) == expected(true); }));
}

TEST_F(TrayOnX, AClickHidesAndShowsTheMainWindow) {
    start("");
    QWidget* icon = nullptr;
    ASSERT_TRUE(waitFor([&] { return (icon = trayWidget()) != nullptr; }));
    ASSERT_TRUE(waitFor([&] { return program->glowny.isVisible(); }));
    QTest::mouseClick(icon, Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return !program->glowny.isVisible(); }));
    QTest::mouseClick(icon, Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return program->glowny.isVisible(); }));
}

TEST_F(TrayOnX, TheTrayGoingAwayBringsTheHiddenWindowBack) {
    start("[UkryjOkno]\n01=1\n");
    ASSERT_TRUE(waitFor([] { return trayWidget() != nullptr; }));
    ASSERT_TRUE(waitFor([&] { return !program->glowny.isVisible(); })) << "hidden while the icon shows";
    trayer.kill();
    trayer.waitForFinished();
    EXPECT_TRUE(waitFor([&] { return program->glowny.isVisible(); }));
}

} // namespace
} // namespace veltrum
