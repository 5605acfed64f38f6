#pragma once
// The event loop's side of the monitors' queries (core/QueryFiber.h): a
// waiting query's socket is watched by a QSocketNotifier and its time-out by
// a single-shot timer; whichever comes first resumes it.

#include "core/QueryFiber.h"

#include <QObject>

#include <map>

class QSocketNotifier;
class QTimer;

namespace veltrum {

class TFiberWakeUps final : public QObject, public FiberLoop {
    Q_OBJECT

public:
    TFiberWakeUps() = default;
    ~TFiberWakeUps() override;

    void Watch(QueryFiber& fiber, int handle, int32_t timeoutMs) override;
    void Forget(QueryFiber& fiber) override;

private:
    struct Waiting {
        QSocketNotifier* Notifier = nullptr;
        QTimer* Timer = nullptr;
    };
    std::map<QueryFiber*, Waiting> m_waiting;
};

} // namespace veltrum
