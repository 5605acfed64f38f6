#include "app/FiberWakeUps.h"

#include <QSocketNotifier>
#include <QTimer>

namespace veltrum {

TFiberWakeUps::~TFiberWakeUps() = default;

void TFiberWakeUps::Watch(QueryFiber& fiber, int handle, int32_t timeoutMs) {
    Waiting& waiting = m_waiting[&fiber];
    QueryFiber* const resumed = &fiber;
    if (handle >= 0) {
        if (waiting.Notifier == nullptr || waiting.Notifier->socket() != handle) {
            if (waiting.Notifier != nullptr) {
                waiting.Notifier->deleteLater(); // it may be the one whose signal runs now
            }
            waiting.Notifier = new QSocketNotifier(handle, QSocketNotifier::Read, this);
            connect(waiting.Notifier, &QSocketNotifier::activated, this,
                    [resumed] { resumed->Resume(true); });
        }
        waiting.Notifier->setEnabled(true);
    }
    if (timeoutMs != -2) {
        if (waiting.Timer == nullptr) {
            waiting.Timer = new QTimer(this);
            waiting.Timer->setSingleShot(true);
            // The read time-out decides when a poll is given up: a coarse
            // timer's 5 % would move it by up to 37 ms.
            waiting.Timer->setTimerType(Qt::PreciseTimer);
            connect(waiting.Timer, &QTimer::timeout, this, [resumed] { resumed->Resume(false); });
        }
        waiting.Timer->start(timeoutMs < 0 ? 0 : timeoutMs);
    }
}

void TFiberWakeUps::Forget(QueryFiber& fiber) {
    const auto found = m_waiting.find(&fiber);
    if (found == m_waiting.end()) {
        return;
    }
    if (found->second.Notifier != nullptr) {
        found->second.Notifier->setEnabled(false);
    }
    if (found->second.Timer != nullptr) {
        found->second.Timer->stop();
    }
}

} // namespace veltrum
