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

#include <deque>
#include <optional>
#include <utility>

namespace veltrum {

namespace {

// The freedesktop notification service's bus name and object path.
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// A service that does not answer within this long has not taken it.
constexpr int kReplyTimeoutMs = 5000;

// The service's owner on the bus (its unique name), empty when it runs
// nowhere yet; nullopt when it neither runs nor can be started.
std::optional<QString> serviceOwner(const QDBusConnection& bus) {
    const QDBusConnectionInterface* daemon = bus.interface();
    if (daemon == nullptr) {
        return std::nullopt;
    }
    const QDBusReply<QString> owner = daemon->serviceOwner(kService);
    if (owner.isValid() && !owner.value().isEmpty()) {
        return owner.value();
    }
    const QDBusReply<QStringList> startable = daemon->activatableServiceNames();
    if (startable.isValid() && startable.value().contains(kService)) {
        return QString();
    }
    return std::nullopt;
}

// Which owner gave each recent id. An id is the service's own: another
// service (the same one restarted) may give it to another program's
// notice, which a replace would then take over. The last few are enough:
// each caller replaces only its latest.
struct GivenId {
    uint32_t Id;
    QString Owner;
};
std::deque<GivenId>& givenIds() {
    static std::deque<GivenId> given;
    return given;
}
constexpr size_t kIdsKept = 64;

uint32_t stillOurs(uint32_t id, const QString& owner) {
    for (const GivenId& given : givenIds()) {
        if (given.Id == id) {
            return given.Owner == owner && !owner.isEmpty() ? id : 0;
        }
    }
    return 0;
}

} // namespace

bool SendDesktopNotification(const QString& title, const QString& body,
                             std::function<void(uint32_t id)> delivered) {
    return SendDesktopNotification(title, body, NotificationOptions{}, std::move(delivered));
}

bool SendDesktopNotification(const QString& title, const QString& body, const NotificationOptions& options,
                             std::function<void(uint32_t id)> delivered) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const std::optional<QString> owner = bus.isConnected() ? serviceOwner(bus) : std::nullopt;
    if (!owner) {
        return false;
    }
    const uint32_t replaces = options.ReplacesId == 0 ? 0 : stillOurs(options.ReplacesId, *owner);
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
    notify << QCoreApplication::applicationName() << replaces << QGuiApplication::desktopFileName() << title
           << body.toHtmlEscaped() << QStringList() << hints << int32_t{options.Critical ? 0 : -1};
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(notify, kReplyTimeoutMs), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [delivered = std::move(delivered)](QDBusPendingCallWatcher* call) {
                         const QDBusPendingReply<uint32_t> reply = *call;
                         if (!reply.isError()) {
                             // The reply comes from the owner that took the call.
                             std::deque<GivenId>& given = givenIds();
                             given.push_back({reply.value(), reply.reply().service()});
                             if (given.size() > kIdsKept) {
                                 given.pop_front();
                             }
                             if (delivered) {
                                 delivered(reply.value());
                             }
                         }
                         call->deleteLater();
                     });
    return true;
}

} // namespace veltrum
