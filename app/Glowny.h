#pragma once
// Veltrum's main window: a view of one router's Monitor.
//
// The picture: app/Router.h owns, for each open profile, a Monitor
// (core/Monitor.h: the monitor state, the SNMP client, the poll and its
// timing, the interface check, the start-up load, the shutdown save, every
// profile write), its timers and its windows: this tiny always-on-top window
// with two bar gauges, the bandwidth graph (TFormWykres), the packets graph
// (TFormWykresPkt), and, made at their first opening, the settings dialog
// (TFormKonfiguracja) with its interface list (TFormInterfejsy), About
// (TFormOprogramie) and the usage window (TFormUsage). TRouters holds the
// routers of one program; the program ends when the last main window closes.
//
// One poll: the router's Timer1 ticks -> Monitor::Poll -> RunPollCycle
// (core) asks for the four counters, computes rates, totals, histories and
// averages, and the monitor publishes one PollSample to its subscribers in
// order: the usage history's recorder, the router (the quota watch), this
// window (gauges, labels, hints), then the bandwidth and the packets graph.
// A failure shows "Err" and a red panel, with its reason
// (core/FailureReason.h) as the window's hint; otherwise the hints name the
// session, agent and interface (core/MainWindowHint.h).
//
// This window draws samples and hints and forwards its menu's commands as
// signals; it owns no Monitor and decides neither start-up nor shutdown.

#include "app/StayOnTop.h"
#include "core/MonitorState.h"
#include "core/PollSample.h"
#include "core/Quota.h"
#include "core/StartupLoad.h"

#include <QWidget>

#include <optional>
#include <string>
#include <string_view>

class QColor;
class QFileDialog;
class QLabel;
class QMenu;
class QAction;
class QPushButton;

namespace veltrum {

class TGauge;

// The main window's outer size, frame included.
inline constexpr int kMainOuterWidth = 33;
inline constexpr int kMainOuterHeight = 68;

class TFormGlowny final : public QWidget, public MonitorSubscriber {
    Q_OBJECT

public:
    // `state` is the router's, read for this window's colours, opacity and
    // hints; it outlives the window.
    explicit TFormGlowny(const MonitorState& state);
    ~TFormGlowny() override;

    // After a start-up load: the outer size, the place, the colours, the
    // title and the hints from the state just read.
    void Configure(WindowPosition position);
    // The gauges at rest, as a restart leaves them.
    void ResetGauges();
    // What the router's quota watch found: the hints carry it from the next
    // sample on.
    void SetUsageLines(std::optional<QuotaUse> quotaUse, std::string status, std::string notice);
    // The top-left corner as the profile stores it.
    WindowPosition MainPosition() const;
    // The settings dialog once made: the stay-on-top timer yields to it.
    void SetSettingsDialog(const QWidget* dialog) { m_settingsDialog = dialog; }

    // Handlers.
    void Button1Click(); // apply MainOpacity
    void TimerStayOnTopTimer();
    void Pokawykres1Click();
    void Showpacketsgraph1Click();
    void Usage1Click();
    void Konfiguracja1Click();
    void Loadprofile1Click();
    void Saveprofile1Click();
    void Openanother1Click();
    void v090b11Click();
    void Zamknij1Click();

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
    QAction* Zamknij1 = nullptr;
    // The profile file dialogs, made at their first use: a file dialog starts
    // a thread of its own to read folders.
    QFileDialog* OpenDialog1();
    QFileDialog* SaveDialog1();

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
    void showRates(const PollSample::Rates& rates);
    void showFailure(const std::string& reason);
    void setPanelColor(const QColor& color);
    void setOuterSize(int width, int height);
    // The failure's reason as the hint of the whole window, or (empty) the
    // interface check's mismatch, or else the usual hints.
    void setFailureHint(const std::string& reason);
    // The usual hint of `part`: whose rates, the quota and the history's state.
    std::string usualHint(std::string_view part) const;

    const MonitorState& m_state;
    const QWidget* m_settingsDialog = nullptr;
    std::optional<QuotaUse> m_quotaUse;
    std::string m_usageStatus;
    std::string m_usageNotice;
    bool m_failureHint = false; // the hints show a failure's reason or the mismatch
    std::string m_hintShown;    // the failure text or the identity the hints were last set from
    std::string m_failureReason;
    std::string m_interfaceMismatch; // InterfaceCheckText of the last check
    QFileDialog* m_openDialog1 = nullptr;
    QFileDialog* m_saveDialog1 = nullptr;
};

} // namespace veltrum
