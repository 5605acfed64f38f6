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
#include <QDBusMessage>
#include <QLabel>
#include <QMutex>
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
    // The icon's pixels in the tray; the panel may have it made anew.
    static QImage shown() {
        QWidget* icon = trayWidget();
        return icon == nullptr ? QImage()
                               : icon->screen()
                                     ->grabWindow(icon->winId())
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32);
    }

    QProcess trayer;
    TempDir dir;
    std::atomic<bool> answering{true};
    ScriptedResponder agent{agentOf(answering)};
    std::unique_ptr<Program> program;
};

TEST_F(TrayOnX, ShowsTheGaugesBarsAndTheFailure) {
    start("");
    ASSERT_TRUE(waitFor([&] { return trayWidget() != nullptr; })) << "no icon in the tray";
    TGauge& down = *program->glowny.Gauge1;
    TGauge& up = *program->glowny.Gauge2;
    ASSERT_TRUE(waitFor([&] { return down.PercentDone() > 0; }));
    QTest::qWait(300);
    EXPECT_NEAR(down.PercentDone(), 50, 3);
    EXPECT_NEAR(up.PercentDone(), 25, 3);
    const int size = trayWidget()->width();
    const auto expected = [&](bool failed) {
        return DrawTrayPicture({down.PercentDone(), up.PercentDone(), kYellow, kRed, failed}, size);
    };
    EXPECT_TRUE(waitFor([&] { return shown() == expected(false); })) << "at " << size << " px";
    // Pictures of the icon, in the panel and at the panels' usual sizes, for
    // whoever wants to look.
    if (const QString folder = qEnvironmentVariable("VELTRUM_TRAY_PICTURES"); !folder.isEmpty()) {
        shown().save(folder + QStringLiteral("/panel-%1px.png").arg(size));
        for (const int px : {16, 22, 24}) {
            for (const bool failed : {false, true}) {
                DrawTrayPicture({down.PercentDone(), up.PercentDone(), kYellow, kRed, failed}, px)
                    .save(folder + QStringLiteral("/icon-%1px%2.png").arg(px).arg(failed ? "-failure" : ""));
            }
        }
    }

    answering = false;
    ASSERT_TRUE(waitFor([&] { return program->glowny.Label3->text() == "Err"; }));
    EXPECT_TRUE(waitFor([&] { return shown() == expected(true); }));
}

// Hidden while the icon shows, the main window comes back by a click, goes
// by another, and comes back when the tray goes away.
TEST_F(TrayOnX, AClickOrTheTrayGoingAwayShowsTheHiddenWindow) {
    start("[UkryjOkno]\n01=1\n");
    ASSERT_TRUE(waitFor([&] { return trayWidget() != nullptr; }));
    TFormGlowny& glowny = program->glowny;
    ASSERT_TRUE(waitFor([&] { return !glowny.isVisible(); }));
    for (const bool visible : {true, false}) {
        // A click that reaches the icon before the panel has embedded it is
        // lost; one that toggled nothing is given again.
        bool toggled = false;
        for (int attempt = 0; attempt < 3 && !toggled; ++attempt) {
            ASSERT_TRUE(waitFor([] { return trayWidget() != nullptr; }));
            QTest::mouseClick(trayWidget(), Qt::LeftButton);
            toggled = waitFor([&] { return glowny.isVisible() == visible; }, 3000);
        }
        EXPECT_TRUE(toggled) << visible;
    }
    trayer.kill();
    EXPECT_TRUE(waitFor([&] { return glowny.isVisible(); }));
}

// The least of a StatusNotifierItem watcher that a panel runs: it says a
// host is there and records the items that register. It answers from a
// thread of its own, since the program asks it while it waits.
class Watcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const {
        const QMutexLocker lock(&m_mutex);
        return m_items;
    }

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        const QMutexLocker lock(&m_mutex);
        m_items << (service.startsWith('/') ? message.service() : service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

// A property of the item as a panel reads it, in dbus-send's words.
QString itemProperty(const QString& service, const char* name) {
    QProcess send;
    send.start(QStringLiteral("dbus-send"),
               {"--session", "--print-reply", "--dest=" + service, "/StatusNotifierItem",
                "org.freedesktop.DBus.Properties.Get", "string:org.kde.StatusNotifierItem",
                QStringLiteral("string:") + name});
    // The item answers from this thread: the loop keeps running meanwhile.
    waitFor([&] { return send.state() == QProcess::NotRunning; });
    return QString::fromUtf8(send.readAllStandardOutput());
}

TEST(TrayOverDBus, TheIconRegistersWithTheWatcherAndCarriesTheHint) {
    QThread thread;
    Watcher watcher;
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties |
                                       QDBusConnection::ExportAllSignals));
    // Registered first: what the bus hangs on the watcher moves with it.
    watcher.moveToThread(&thread);
    thread.start();

    TempDir dir;
    std::atomic<bool> answering{true};
    ScriptedResponder agent{agentOf(answering)};
    dir.Write("Default.vlq", "[Host]\n01=" + agent.HostText() + "\n[Sesja]\n01=Office\n[PokazIkone]\n01=1\n");
    {
        Program program(dir.Dir());
        program.glowny.show();
        ASSERT_TRUE(waitFor([&] { return !watcher.items().isEmpty(); })) << "nothing registered";
        const QString service = watcher.items().first();
        EXPECT_TRUE(waitFor([&] { return itemProperty(service, "ToolTip").contains("Office"); }))
            << itemProperty(service, "ToolTip").toStdString();
        // The pictures at the panels' sizes.
        const QString pixmaps = itemProperty(service, "IconPixmap");
        EXPECT_TRUE(pixmaps.contains("int32 22") && pixmaps.contains("int32 16"))
            << pixmaps.left(300).toStdString();
        EXPECT_EQ(trayWidget(), nullptr); // no XEmbed icon beside it
    }
    bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    thread.quit();
    thread.wait();
}

} // namespace
} // namespace veltrum

#include "TrayXvfbTest.moc"
