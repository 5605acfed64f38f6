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
    // Most services read the body as simple markup: the text is escaped so
    // that it shows as written.
    notify << QCoreApplication::applicationName() << uint32_t{0} << QString() << title << body.toHtmlEscaped()
           << QStringList() << hints << int32_t{-1};
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
