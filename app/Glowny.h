#pragma once
// Veltrum's main window and the picture of the whole program.
//
// Windows: TFormGlowny (this tiny always-on-top window with two bar gauges)
// is created first and owns the MonitorState; then TFormKonfiguracja
// (settings dialog, with its own SNMP client SNMPConf), TFormOprogramie
// (About), TFormWykresPkt (packets graph), TFormInterfejsy (interface list)
// and TFormWykres (bandwidth graph). All six live until the program ends;
// closing any but this one only hides it. The program entry makes the three
// dialogs when they are first opened (SetForms with DialogMakers): most
// sessions never open them, and a dialog not yet made costs no memory.
//
// Monitor state: core/MonitorState.h, filled from the current profile by
// FormCreate (start-up load) and reset by FormShow (monitor restart). The
// settings dialog and the profile commands (app/ProfileCommands.h) apply new
// settings by writing the profile and running FormCreate then FormShow again.
//
// Direction: this window creates and calls the others; the dialogs see it
// only as a MonitorControl (core/MonitorControl.h), the graph windows only
// as the state they draw.
//
// SNMP client: SNMP (snmp/IdSNMP.h) sends one GetRequest per poll over UDP.
//
// One poll: Timer1 ticks -> Button3Click -> RunPollCycle (core) builds
// the request for ifInOctets, ifOutOctets, ifInUcastPkts and ifOutUcastPkts,
// runs the exchange, computes rates, totals, histories and averages in the
// state, and calls back through PollView: the gauges and labels here, then
// the refresh of both graph windows. A failure shows "Err" and a red panel,
// with its reason (core/FailureReason.h) as the window's hint. At each
// restart, and at the first success after failed polls, a profile that keeps
// the interface's description has the number checked against it
// (core/InterfaceCheck.h). Otherwise the hints name the session, agent
// and interface (core/MainWindowHint.h).
//
// Usage history: the poll hands each tick (core/PollCycle.h RecordUsage) to
// a UsageRecorder (history/UsageRecorder.h) for the interface watched, made
// at each restart that changes it and closed at exit.
//
// Running copies: a second copy of the program, started on a profile saved
// from the first, would open exactly over it. Each copy records its main
// window's place (core/RunningCopies.h) and opens beside the others.

#include "app/StayOnTop.h"
#include "core/InterfaceCheck.h"
#include "core/MonitorState.h"
#include "core/PollCycle.h"
#include "core/RunningCopies.h"
#include "snmp/IdSNMP.h"
#include "core/MonitorControl.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
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
class UsageRecorder;

class TFormGlowny final : public QWidget, public MonitorControl, private PollView {
    Q_OBJECT

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
    };
    // The graph windows made, the dialogs made when first opened.
    void SetForms(DialogMakers dialogs, TFormWykresPkt* wykresPkt, TFormWykres* wykres);

    // MonitorControl
    MonitorState& State() override { return m_state; }
    const std::string& ConfigDir() const override { return m_configDir; }
    WindowPosition MainPosition() const override;
    void PausePolling() override;
    void ResumePolling() override;
    void PauseStayOnTop() override;
    void ResumeStayOnTop() override;
    void ReloadAndRestart() override;
    void ApplyMainOpacity() override;
    void ApplyGraphOpacity() override;
    void OpenWebPageSoon() override;

    // Records the usage of the watched interface into the history at `path`
    // from the next restart on; without it nothing is recorded.
    void SetUsageDatabase(std::string path);

    // Makes `profilePath` current in app.ini (the profile commands); throws
    // EIniFileException.
    void RecordCurrentProfile(const std::string& profilePath);
    TFormKonfiguracja* Konfiguracja() const { return m_konfiguracja; }
    TFormOprogramie* Oprogramie() const { return m_oprogramie; }
    TFormWykresPkt* WykresPkt() const { return m_wykresPkt; }
    TFormInterfejsy* Interfejsy() const { return m_interfejsy; }
    TFormWykres* Wykres() const { return m_wykres; }

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
    TIdSNMP SNMP;
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
    // PollView
    void SetGaugeMaxima(int32_t downMax, int32_t upMax) override;
    void ShowRates(const std::string& label3, const std::string& label4, int32_t downProgress,
                   int32_t upProgress) override;
    std::string NowText() override;
    void RefreshBandwidthGraph(const GraphTexts& texts) override;
    void RefreshPacketsGraph(const GraphTexts& texts) override;
    void SetResyncMark(const std::string& text) override;
    void SetPollInterval(int32_t ms) override;
    void SaveResyncSnapshot() override;
    void ShowFailure(const std::string& reason) override;
    void ShowInterfaceCheck(const std::string& text) override;
    bool CheckInterface(MonitorState& state, TIdSNMP& snmp) override;
    void RecordUsage(const UsageTick& tick) override;

    // The recorder for the interface the restart watches.
    void startUsage();
    // The check of the interface kept by name: its first step now; true when
    // it has ended with it. A check that needs the agent's table goes on a
    // step per turn of the event loop (CheckTimer), and the polls wait.
    bool startInterfaceCheck(bool atRestart);
    void stepInterfaceCheck();
    void setPanelColor(const QColor& color);
    // The failure's reason as the hint of the whole window, or (empty) the
    // interface check's mismatch, or else the usual hints, which name the
    // session, agent and interface (core/MainWindowHint.h).
    void setFailureHint(const std::string& reason);
    // This window's place as the other running copies see it.
    void recordPlace();
    // The graph windows' F11 and F12 do what this window's do.
    void connectGraphShortcuts();
    void setOuterSize(int width, int height);
    void showGraphGuarded(bool packets);
    // The dialog, made now if it is the first opening (nullptr when no form
    // and no maker was given).
    TFormKonfiguracja* konfiguracja();
    TFormOprogramie* oprogramie();

    std::string m_configDir;
    std::string m_chosenProfile;
    MonitorState m_state;
    TFormKonfiguracja* m_konfiguracja = nullptr;
    TFormOprogramie* m_oprogramie = nullptr;
    TFormWykresPkt* m_wykresPkt = nullptr;
    TFormInterfejsy* m_interfejsy = nullptr;
    TFormWykres* m_wykres = nullptr;
    DialogMakers m_dialogMakers;
    bool m_failureHint = false; // the hints show a failure's reason or the mismatch
    std::string m_hintShown;    // the failure text or the identity the hints were last set from
    std::string m_failureReason;
    std::string m_interfaceMismatch; // InterfaceCheckText of the last check
    std::optional<InterfaceCheckRun> m_check; // while a check walks the table
    bool m_checkAtRestart = false;
    QFileDialog* m_openDialog1 = nullptr;
    QFileDialog* m_saveDialog1 = nullptr;
    RunningCopies m_runningCopies;
    std::string m_usagePath;
    std::unique_ptr<UsageRecorder> m_usage;
    std::string m_usageStatus; // the recorder's state as last told
};

} // namespace veltrum
