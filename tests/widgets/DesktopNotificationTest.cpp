// A desktop notification on a private session bus, run by
// notification_test.sh: first with no notification service on the bus, then
// with a real one (dunst), which must take it.

#include "widgets/DesktopNotification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace veltrum {
namespace {

TEST(SendDesktopNotification, WithoutAServiceNothingIsSent) {
    EXPECT_FALSE(SendDesktopNotification(QStringLiteral("Veltrum test"), QStringLiteral("nobody listens"),
                                         [](uint32_t) { ADD_FAILURE() << "delivered without a service"; }));
}

TEST(SendDesktopNotification, TheServiceTakesIt) {
    std::optional<uint32_t> id;
    ASSERT_TRUE(
        SendDesktopNotification(QStringLiteral("90 % of the monthly quota used"),
                                QStringLiteral("Lab <b>1</b>: Quota: 45.0 GB of 50 GB this period (90 %)"),
                                [&](uint32_t given) { id = given; }));
    QElapsedTimer waited;
    waited.start();
    while (!id && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    ASSERT_TRUE(id.has_value()) << "the service did not answer";
    EXPECT_GT(*id, 0u); // the service's own id of the notification
}

// A stand-in notification service on a connection of its own, which notes
// what each notice replaces and gives ids from 1, as a restarted service does.
class FakeNotifications final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeNotifications(const QString& name)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)) {
        m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                             QDBusConnection::ExportAllSlots);
        m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    ~FakeNotifications() override {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(m_bus.name());
    }
    std::vector<uint32_t> Replaced;

public slots:
    uint Notify(const QString&, uint replaces, const QString&, const QString&, const QString&,
                const QStringList&, const QVariantMap&, int) {
        Replaced.push_back(replaces);
        return replaces != 0 ? replaces : ++m_next;
    }

private:
    QDBusConnection m_bus;
    uint m_next = 0;
};

// An id is replaced only at the service that gave it: after the service
// restarted, the same id belongs to someone else's notice.
TEST(SendDesktopNotification, ANewServiceIsNotAskedToReplaceAnOldId) {
    const auto send = [](uint32_t replaces) {
        std::optional<uint32_t> id;
        EXPECT_TRUE(SendDesktopNotification(QStringLiteral("Lab: rate alarm"), QStringLiteral("body"),
                                            NotificationOptions{replaces, false},
                                            [&](uint32_t given) { id = given; }));
        QElapsedTimer waited;
        waited.start();
        while (!id && waited.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
        return id.value_or(0);
    };
    uint32_t id = 0;
    {
        FakeNotifications first(QStringLiteral("first"));
        id = send(0);
        ASSERT_EQ(id, 1u);
        EXPECT_EQ(send(id), id);
        EXPECT_EQ(first.Replaced, (std::vector<uint32_t>{0, 1}));
    }
    FakeNotifications again(QStringLiteral("again"));
    send(id);
    EXPECT_EQ(again.Replaced, std::vector<uint32_t>{0});
}

} // namespace
} // namespace veltrum

#include "DesktopNotificationTest.moc"
