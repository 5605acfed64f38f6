#pragma once
// A desktop notification through the freedesktop notification service
// (org.freedesktop.Notifications) on the user's session bus. Where there is
// no such service, or no session bus at all, nothing is sent and nothing is
// reported: the caller's own window says what the notification would have.

#include <QString>

#include <cstdint>
#include <functional>

namespace veltrum {

// Sends `title` and `body` (plain text) as a notification of this
// application. Returns false, having sent nothing, when there is no session
// bus or no notification service on it, running or startable by the bus.
// The call does not wait for the service: `delivered`, when given, is called
// with the notification's id once the service has taken it, and never when
// the service refuses it or does not answer.
bool SendDesktopNotification(const QString& title, const QString& body,
                             std::function<void(uint32_t id)> delivered = {});

struct NotificationOptions {
    // The id of an earlier notification this one takes the place of; 0 for
    // none. Not sent once the service that gave it has gone (a restarted
    // service gives its ids anew, to other programs' notices too).
    uint32_t ReplacesId = 0;
    // Stays until the user dismisses it.
    bool Critical = false;
};
// The same, replacing an earlier one or critical, and with the program's
// icon (the desktop entry's, which the package installs).
bool SendDesktopNotification(const QString& title, const QString& body, const NotificationOptions& options,
                             std::function<void(uint32_t id)> delivered = {});

} // namespace veltrum
