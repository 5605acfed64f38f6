#include "app/StayOnTop.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace veltrum {

StayOnTopSwitch::StayOnTopSwitch(QWidget& window) : QObject(&window), m_window(window) {
    m_pending.setSingleShot(true);
    m_pending.setInterval(kIntervalMs);
    connect(&m_pending, &QTimer::timeout, this, [this] {
        if (m_on) {
            emit timeout();
        }
    });
    QCoreApplication::instance()->installNativeEventFilter(this);
}

StayOnTopSwitch::~StayOnTopSwitch() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void StayOnTopSwitch::start() {
    m_on = true;
    m_pending.start();
}

void StayOnTopSwitch::stop() {
    m_on = false;
    m_pending.stop();
}

void StayOnTopSwitch::Request() {
    // A pending re-assertion already covers this cause.
    if (m_on && !m_pending.isActive()) {
        m_pending.start();
    }
}

void StayOnTopSwitch::WatchObscured() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr || !m_window.testAttribute(Qt::WA_WState_Created)) {
        return;
    }
    const auto window = static_cast<xcb_window_t>(m_window.winId());
    if (window == m_watched) {
        return;
    }
    // Qt does not select visibility reports on its windows; add them to the
    // events it selected, keeping those.
    xcb_connection_t* connection = x11->connection();
    const std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr),
        &std::free);
    if (!attributes) {
        return;
    }
    const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    m_watched = window;
}

bool StayOnTopSwitch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) {
    if (m_watched == 0 || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) == XCB_VISIBILITY_NOTIFY) {
        const auto* visibility = static_cast<const xcb_visibility_notify_event_t*>(message);
        if (visibility->window == m_watched && visibility->state != XCB_VISIBILITY_UNOBSCURED) {
            Request();
        }
    }
    return false; // Qt handles the event as before
}

} // namespace veltrum
