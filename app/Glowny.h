#pragma once
// Veltrum's main window and the picture of the whole program.
//
// Windows: TFormGlowny (this tiny always-on-top window with two bar gauges)
// is created first and holds the Monitor; then TFormKonfiguracja (settings
// dialog), TFormOprogramie (About), TFormWykresPkt (packets graph),
// TFormInterfejsy (interface list) and TFormWykres (bandwidth graph). All six
// live until the program ends; closing any but this one only hides it. The
// program entry makes the three dialogs, and the usage window
// (graphs/UsageWindow.h, "Usage..." or F9), when they are first opened
// (SetForms with DialogMakers): most sessions never open them, and a window
// not yet made costs no memory.
//
// Monitor: core/Monitor.h owns the monitor state (core/MonitorState.h), the
// SNMP client SNMP, the poll and its timing, the check of the interface kept
// by name, the start-up load, the shutdown save and every profile write. The
// handlers here (FormCreate, FormShow, FormClose, Button3Click) are thin
// calls into it in their old order; Timer1 and CheckTimer are its timers. The
// settings dialog and the profile commands (app/ProfileCommands.h) apply new
// settings by writing the profile and running FormCreate then FormShow again.
//
// Direction: this window creates and calls the others; the dialogs see it
// only as a MonitorControl (core/MonitorControl.h); the graph windows draw
// the monitor's samples and keep their own places and flags in the state.
//
// SNMP clients: the monitor's SNMP polls and checks the interface; its
// SNMPConf asks the dialogs' questions (the settings dialog's probe, the
// interface list's walk: core/AgentQuery.h), so they never disturb the poll's.
//
// One poll: Timer1 ticks -> Button3Click -> Monitor::Poll -> RunPollCycle
// (core) asks for ifInOctets, ifOutOctets, ifInUcastPkts and ifOutUcastPkts
// (their 64-bit twins in SNMPv2c), computes rates, totals, histories and
// averages in the state, and the monitor publishes one PollSample: this
// window draws the gauges, labels and hint (OnSample), then the bandwidth and
// the packets graph refresh. A failure shows "Err" and a red panel, with its
// reason (core/FailureReason.h) as the window's hint. At each restart, and at
// the first success after failed polls, a profile that keeps the interface's
// description has the number checked against it (core/InterfaceCheck.h);
// a walk of the agent's table goes a step per turn of the event loop while
// the polls wait. Otherwise the hints name the session, agent and interface
// (core/MainWindowHint.h).
//
// Usage history: the monitor's first subscriber (core/UsageRecording.h)
// hands each poll's tick to a UsageRecorder (history/UsageRecorder.h) for the
// interface watched, made at each restart that changes it and closed at exit.
//
// Running copies: a second copy of the program, started on a profile saved
// from the first, would open exactly over it. Each copy records its main
// window's place (core/RunningCopies.h) and opens beside the others.

#include "app/StayOnTop.h"
#include "core/Monitor.h"
#include "core/MonitorControl.h"
#include "core/MonitorState.h"
#include "core/Quota.h"
#include "core/RunningCopies.h"
#include "snmp/IdSNMP.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class QColor;
class QFileDialog;
class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QTimer;

namespace veltrum {

class TGauge;
class TFormKonfiguracja;
class TFormOprogramie;
class TFormWykresPkt;
class TFormInterfejsy;
class TFormWykres;
class TFormUsage;

class TFormGlowny final : public QWidget,
                          public MonitorControl,
                          private MonitorSubscriber,
                          private MonitorTimers {
    Q_OBJECT

    // First: the components below refer to it.
    Monitor m_monitor;

public:
    // `configDir` ends in "/": app.ini and the default profile live there.
    // A non-empty `chosenProfile` (the command line's --profile) is the
    // current profile instead of the one app.ini names, until the user loads
    // or saves a profile. A non-empty `runningCopiesDir` (ends in "/") is
    // where the running copies keep their main windows' places
    // (core/RunningCopies.h): this one opens beside another copy's
    // window rather than over it.
    explicit TFormGlowny(std::string configDir, std::string chosenProfile = {},
                         std::string runningCopiesDir = {});
    ~TFormGlowny() override;

    // The other five windows, created after this one (program entry order).
    void SetForms(TFormKonfiguracja* konfiguracja, TFormOprogramie* oprogramie, TFormWykresPkt* wykresPkt,
                  TFormInterfejsy* interfejsy, TFormWykres* wykres);
    // Makers of the dialogs, called at the dialog's first opening; the
    // caller owns what they make and keeps it until the program ends.
    struct DialogMakers {
        // The settings dialog with the interface list it opens.
        std::function<std::pair<TFormKonfiguracja*, TFormInterfejsy*>()> Konfiguracja;
        std::function<TFormOprogramie*()> Oprogramie;
        // The usage window; it draws the monitor's samples once made.
        std::function<TFormUsage*()> Usage;
    };
    // The graph windows made, the dialogs made when first opened.
    void SetForms(DialogMakers dialogs, TFormWykresPkt* wykresPkt, TFormWykres* wykres);

    // MonitorControl
    MonitorState& State() override { return m_monitor.State(); }
    const std::string& ConfigDir() const override { return m_monitor.ConfigDir(); }
    Monitor& TheMonitor() { return m_monitor; }
    WindowPosition MainPosition() const override;
    void PausePolling() override;
    void ResumePolling() override;
    void PauseStayOnTop() override;
    void ResumeStayOnTop() override;
    void ReloadAndRestart() override;
    void ApplyMainOpacity() override;
    void ApplyGraphOpacity() override;
    // Shows the window again after the tray icon hid it: the monitor runs
    // on, nothing restarts.
    void ShowWithoutRestart();
    void OpenWebPageSoon() override;
    ProbeResult Probe(const AgentTarget& target, ProbeScope scope) override;
    std::unique_ptr<InterfaceWalkSession> StartInterfaceWalk(const AgentTarget& target) override;
    void WriteMainPosition() override;
    void WriteSettings(const DialogSettings& settings) override;

    // Records the usage of the watched interface into the history at `path`
    // from the next restart on; without it nothing is recorded.
    void SetUsageDatabase(std::string path) { m_monitor.SetUsageDatabase(std::move(path)); }

    // Makes `profilePath` current in app.ini (the profile commands); throws
    // EIniFileException.
    void RecordCurrentProfile(const std::string& profilePath);
    TFormKonfiguracja* Konfiguracja() const { return m_konfiguracja; }
    TFormOprogramie* Oprogramie() const { return m_oprogramie; }
    TFormWykresPkt* WykresPkt() const { return m_wykresPkt; }
    TFormInterfejsy* Interfejsy() const { return m_interfejsy; }
    TFormWykres* Wykres() const { return m_wykres; }
    TFormUsage* Usage() const { return m_usage; }

    // Life cycle: start-up load, monitor restart, shutdown save.
    void FormCreate();
    void FormShow();
    void FormClose();

    // Handlers.
    void Button1Click(); // apply MainOpacity
    void Button3Click(); // one poll cycle
    void Timer2Timer();
    void TimerStayOnTopTimer();
    void TimerWWWTimer();
    void Pokawykres1Click();
    void Showpacketsgraph1Click();
    void Usage1Click();
    void Konfiguracja1Click();
    void Loadprofile1Click();
    void Saveprofile1Click();
    void v090b11Click();
    void Zamknij1Click();

    // Components.
    QWidget* Panel2 = nullptr;
    TGauge* Gauge1 = nullptr;
    TGauge* Gauge2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button3 = nullptr;
    // The monitor's clients: the poll's, and the dialogs' questions'.
    TIdSNMP& SNMP = m_monitor.SNMP;
    TIdSNMP& SNMPConf = m_monitor.SNMPConf;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* TimerWWW = nullptr;
    // Runs the steps of an interface check that walks the agent's table.
    QTimer* CheckTimer = nullptr;
    // Re-asserts the topmost place when something could have changed it.
    StayOnTopSwitch* TimerStayOnTop = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Pokawykres1 = nullptr;
    QAction* Showpacketsgraph1 = nullptr;
    QAction* Usage1 = nullptr;
    QAction* Konfiguracja1 = nullptr;
    QAction* Loadprofile1 = nullptr;
    QAction* Saveprofile1 = nullptr;
    QAction* v090b11 = nullptr;
    QAction* Zamknij1 = nullptr;
    // The profile file dialogs, made at their first use: a file dialog starts
    // a thread of its own to read folders.
    QFileDialog* OpenDialog1();
    QFileDialog* SaveDialog1();

signals:
    // The shutdown save has run and the window has closed: the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // MonitorSubscriber: a poll's sample drawn.
    void OnSample(const PollSample& sample) override;
    // MonitorTimers: Timer1 and CheckTimer.
    void StartPolling(int32_t intervalMs) override;
    void StopPolling() override;
    bool Polling() const override;
    void SetPollInterval(int32_t intervalMs) override;
    void StartCheckSteps() override;
    void StopCheckSteps() override;

    void ShowRates(const std::string& label3, const std::string& label4, int32_t downProgress,
                   int32_t upProgress);
    std::string NowText();
    void ShowFailure(const std::string& reason);
    void ShowInterfaceCheck(const std::string& text);

    void setPanelColor(const QColor& color);
    // The failure's reason as the hint of the whole window, or (empty) the
    // interface check's mismatch, or else the usual hints, which name the
    // session, agent and interface (core/MainWindowHint.h).
    void setFailureHint(const std::string& reason);
    // The usual hint of `part`: whose rates, the quota and the history's state.
    std::string usualHint(std::string_view part) const;
    // At most once a minute, riding on a poll: the history's state and the
    // period's use against the quota for the hint (the router's notifier,
    // app/PanelViews.h, announces the thresholds).
    void checkUsage();
    // This window's place as the other running copies see it.
    void recordPlace();
    // The graph windows subscribe to the monitor, and their F11 and F12 do
    // what this window's do.
    void connectGraphShortcuts();
    void setOuterSize(int width, int height);
    void showGraphGuarded(bool packets);
    // The dialog, made now if it is the first opening (nullptr when no form
    // and no maker was given).
    TFormKonfiguracja* konfiguracja();
    TFormOprogramie* oprogramie();
    TFormUsage* usage();

    // The monitor's state, which this window's own settings (colours,
    // opacity, positions) come from.
    MonitorState& m_state = m_monitor.State();
    TFormKonfiguracja* m_konfiguracja = nullptr;
    TFormOprogramie* m_oprogramie = nullptr;
    TFormWykresPkt* m_wykresPkt = nullptr;
    TFormInterfejsy* m_interfejsy = nullptr;
    TFormWykres* m_wykres = nullptr;
    TFormUsage* m_usage = nullptr;
    int64_t m_usageCheckedAt = 0;
    std::string m_usageStatus;
    std::string m_usageNotice;
    std::optional<QuotaUse> m_quotaUse;
    bool m_showingAgain = false; // ShowWithoutRestart's show
    DialogMakers m_dialogMakers;
    bool m_failureHint = false; // the hints show a failure's reason or the mismatch
    std::string m_hintShown;    // the failure text or the identity the hints were last set from
    std::string m_failureReason;
    std::string m_interfaceMismatch; // InterfaceCheckText of the last check
    QFileDialog* m_openDialog1 = nullptr;
    QFileDialog* m_saveDialog1 = nullptr;
    RunningCopies m_runningCopies;
};

} // namespace veltrum
