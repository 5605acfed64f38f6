#pragma once
// Veltrum's main window: a view of one router's Monitor.
//
// The picture: a TRouter (app/Router.h) per open profile owns its Monitor
// (core/Monitor.h: state, SNMP client, poll, interface check, start-up
// load, shutdown save, profile writes), its timers and its windows: this
// always-on-top window with two bar gauges, the two graph windows, and the
// dialogs and usage window made at their first opening. TRouters
// (app/Routers.h) holds the program's routers; the program ends when the
// last main window closes.
//
// One poll: Timer1 ticks (one phase for all routers, one wake-up) ->
// Monitor::Poll on its query fiber (core/QueryFiber.h), whose waits for
// replies leave the event loop free -> RunPollCycle -> one PollSample to
// the subscribers in order: the history's recorder, the router's quota
// watch, this window (gauges, labels, hints), the bandwidth and the packets
// graph. A failure shows "Err", a red panel and its reason as the hint.
//
// This window draws samples and hints and forwards its menu's commands as
// signals; it owns no Monitor and decides neither start-up nor shutdown.

#include "app/MainWindowParts.h"
#include "app/StayOnTop.h"
#include "core/Monitor.h"
#include "core/StartupLoad.h"

#include <QWidget>

#include <optional>
#include <string>

class QColor;
class QLabel;
class QMenu;
class QAction;
class QPushButton;

namespace veltrum {

class TGauge;

class TFormGlowny final : public QWidget, public MonitorSubscriber {
    Q_OBJECT

public:
    // `monitor` is the router's, asked for this window's colours, opacity,
    // hints and number format; it outlives the window.
    explicit TFormGlowny(const Monitor& monitor);

    // After a start-up load: the outer size, the place, the colours, the
    // title and the hints from the settings just read.
    void Configure(WindowPosition position);
    // The gauges at rest, as a restart leaves them.
    void ResetGauges();
    // What the router's quota watch found: the hints carry it from the next
    // sample on.
    void SetUsageLines(std::optional<QuotaUse> quotaUse, std::string status, std::string notice);
    // The top-left corner as the profile stores it.
    WindowPosition MainPosition() const;
    // Shows the window again after the tray icon hid it: the monitor runs
    // on, nothing restarts.
    void ShowWithoutRestart();
    // The settings dialog once made: the stay-on-top timer yields to it.
    void SetSettingsDialog(const QWidget* dialog) { m_settingsDialog = dialog; }

    // Handlers.
    void Button1Click(); // apply MainOpacity
    void TimerStayOnTopTimer();
    void Pokawykres1Click() { emit GraphAsked(false); }
    void Showpacketsgraph1Click() { emit GraphAsked(true); }
    void Usage1Click() { emit UsageAsked(); }
    void Konfiguracja1Click() { emit SettingsAsked(); }
    void Loadprofile1Click() { emit LoadProfileAsked(); }
    void Saveprofile1Click() { emit SaveProfileAsked(); }
    void Openanother1Click() { emit AnotherProfileAsked(); }
    void v090b11Click() { emit AboutAsked(); }
    // Exit ends the program, every router with it; "Close this router" (and
    // the window's close box) closes this one.
    void Zamknij1Click() { emit ExitAsked(); }
    void CloseRouter1Click() { close(); }

    // Components.
    QWidget* Panel2 = nullptr;
    TGauge* Gauge1 = nullptr;
    TGauge* Gauge2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* Button1 = nullptr;
    // Re-asserts the topmost place when something could have changed it.
    StayOnTopSwitch* TimerStayOnTop = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Pokawykres1 = nullptr;
    QAction* Showpacketsgraph1 = nullptr;
    QAction* Usage1 = nullptr;
    QAction* Konfiguracja1 = nullptr;
    QAction* Loadprofile1 = nullptr;
    QAction* Saveprofile1 = nullptr;
    QAction* Openanother1 = nullptr;
    QAction* v090b11 = nullptr;
    QAction* CloseRouter1 = nullptr;
    QAction* Zamknij1 = nullptr;

    // MonitorSubscriber: a poll's sample drawn.
    void OnSample(const PollSample& sample) override;

signals:
    // The menu's commands, for the router to carry out.
    void GraphAsked(bool packets);
    void UsageAsked();
    void SettingsAsked();
    void LoadProfileAsked();
    void SaveProfileAsked();
    void AnotherProfileAsked();
    void ExitAsked();
    void AboutAsked();
    // The first showing (not one the window system makes): the router restarts.
    void Shown();
    // A close asked for: the router saves and fades before the window goes.
    void Closing();
    void Moved();
    // The window has closed: the router ends.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setPanelColor(const QColor& color);
    void setOuterSize(int width, int height);
    // The hints of every part with the failure's `reason` (empty: none).
    void setFailureHint(const std::string& reason);

    const Monitor& m_monitor;
    const QWidget* m_settingsDialog = nullptr;
    MainWindowHints m_hints;
    bool m_showingAgain = false; // ShowWithoutRestart's show
};

} // namespace veltrum
