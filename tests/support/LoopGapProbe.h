#pragma once
// How long the event loop was away: a timer turning every few milliseconds
// notes the longest time between two of its turns, counted from its start.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace veltrum::test {

class LoopGapProbe {
public:
    explicit LoopGapProbe(int intervalMs = 10) {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }

    // The longest gap since the start or the last Forget.
    qint64 Longest() const { return m_longest; }
    void Forget() { m_longest = 0; }
    qint64 Elapsed() const { return m_clock.elapsed(); }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

} // namespace veltrum::test
