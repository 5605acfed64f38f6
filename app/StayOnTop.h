#pragma once
// StayOnTopSwitch: what stands behind the main window's TimerStayOnTop.
//
// On X11 the window manager keeps a stay-on-top window above normal windows
// by itself, so re-asserting the topmost place ten times a second would only
// wake the program. The switch re-asserts instead when something could have
// moved the window: it was obscured (the window system reports it), its
// window state or activation changed (the window tells the switch), or the
// switch was started again after a dialog had stopped it. Several causes
// within one interval give one re-assertion, at most one per interval, so
// two programs fighting over the top cost no more than the timer did.
//
// The switch keeps the timer's enable/disable rules and its interface
// (start, stop, isActive, timeout): dialogs stop it while they are shown and
// start it again afterwards, and a start re-asserts once within interval(),
// as the timer's first tick did.

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>

#include <cstdint>

class QWidget;

namespace veltrum {

class StayOnTopSwitch final : public QObject, private QAbstractNativeEventFilter {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 100;

    // `window` is the window whose obscuring is watched; it owns the switch.
    explicit StayOnTopSwitch(QWidget& window);
    ~StayOnTopSwitch() override;

    void start();
    void stop();
    bool isActive() const { return m_on; }
    int interval() const { return kIntervalMs; }

    // Something could have moved the window off the top: while switched on,
    // one re-assertion follows within interval().
    void Request();
    // Asks the window system to report when the window gets obscured. Call it
    // once the native window exists and again whenever it may have been
    // recreated; on a platform other than X11 it does nothing.
    void WatchObscured();

signals:
    // Time to re-assert (the main window's TimerStayOnTopTimer).
    void timeout();

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    QWidget& m_window;
    QTimer m_pending;
    bool m_on = false;
    uint32_t m_watched = 0; // the X window asked for visibility reports
};

} // namespace veltrum
