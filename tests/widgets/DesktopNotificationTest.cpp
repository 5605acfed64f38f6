// A desktop notification on a private session bus, run by
// notification_test.sh: first with no notification service on the bus, then
// with a real one (dunst), which must take it.

#include "widgets/DesktopNotification.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <optional>

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

} // namespace
} // namespace veltrum
