#include "widgets/DesktopNotification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

#include <utility>

namespace veltrum {

namespace {

// The freedesktop notification service's bus name and object path.
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// A service that does not answer within this long has not taken it.
constexpr int kReplyTimeoutMs = 5000;

bool serviceAvailable(const QDBusConnection& bus) {
    const QDBusConnectionInterface* daemon = bus.interface();
    if (daemon == nullptr) {
        return false;
    }
    const QDBusReply<bool> running = daemon->isServiceRegistered(kService);
    if (running.isValid() && running.value()) {
        return true;
    }
    const QDBusReply<QStringList> startable = daemon->activatableServiceNames();
    return startable.isValid() && startable.value().contains(kService);
}

} // namespace

bool SendDesktopNotification(const QString& title, const QString& body,
                             std::function<void(uint32_t id)> delivered) {
    return SendDesktopNotification(title, body, NotificationOptions{}, std::move(delivered));
}

bool SendDesktopNotification(const QString& title, const QString& body, const NotificationOptions& options,
                             std::function<void(uint32_t id)> delivered) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !serviceAvailable(bus)) {
        return false;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QVariantMap hints;
    // Lets the desktop find the program's entry and icon.
    if (!QGuiApplication::desktopFileName().isEmpty()) {
        hints.insert(QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName());
    }
    // The urgency is a byte: 1 normal, 2 critical.
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(static_cast<uchar>(options.Critical ? 2 : 1)));
    // Most services read the body as simple markup: the text is escaped so
    // that it shows as written. A critical one never expires (0); the
    // others as the service decides (-1).
    notify << QCoreApplication::applicationName() << options.ReplacesId << QGuiApplication::desktopFileName()
           << title << body.toHtmlEscaped() << QStringList() << hints << int32_t{options.Critical ? 0 : -1};
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(notify, kReplyTimeoutMs), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [delivered = std::move(delivered)](QDBusPendingCallWatcher* call) {
                         const QDBusPendingReply<uint32_t> reply = *call;
                         if (!reply.isError() && delivered) {
                             delivered(reply.value());
                         }
                         call->deleteLater();
                     });
    return true;
}

} // namespace veltrum
