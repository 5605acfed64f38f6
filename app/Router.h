#pragma once
// The owner of the Monitors: one TRouter per open profile, and TRouters, the
// program's set of them (see app/Glowny.h for the whole picture).
//
// A TRouter owns its Monitor, runs its timers (the poll's Timer1, the walk's
// CheckTimer, the first-start check Timer2, the web page's TimerWWW), makes
// its windows and subscribes them in one place, decides its start-up load,
// restart and shutdown save, and watches its quota. Its windows only draw and
// forward commands. The program entry and the tests both make routers here.

#include "core/Monitor.h"
#include "core/MonitorControl.h"
#include "core/Quota.h"
#include "core/RunningCopies.h"
#include "graphs/BitmapFolder.h"

#include <QObject>

#include <chrono>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFileDialog;
class QTimer;

namespace veltrum {

class NoticeView;

class TFormGlowny;
class TFormKonfiguracja;
class TFormOprogramie;
class TFormWykresPkt;
class TFormInterfejsy;
class TFormWykres;
class TFormUsage;

// Where a router's files live.
struct RouterFolders {
    std::string Config;        // ends in "/": app.ini and the default profile
    std::string UsageDatabase; // the usage history; empty: none is recorded
    BitmapFolder Pictures;     // where the graph windows save their pictures
    std::string RunningCopies; // ends in "/", or empty: other copies are not stepped around
};

class TRouter final : public QObject,
                      public MonitorControl,
                      private MonitorTimers,
                      private MonitorSubscriber {
    Q_OBJECT

    // First: everything below refers to it.
    Monitor m_monitor;

public:
    // Runs the start-up load of `chosenProfile` (empty: the profile app.ini
    // names). `neighbours` are the main windows of the program's other
    // routers, stepped around like another copy's.
    TRouter(const RouterFolders& folders, std::string chosenProfile,
            std::function<std::vector<WindowArea>()> neighbours = {});

    // When another router of the program last polled on its nominal
    // interval, if one does: this router's polls join its ticks, so that
    // both share one wake-up of the program a second.
    using PollPhase = std::function<std::optional<std::chrono::steady_clock::time_point>(const TRouter&)>;
    void SetPollPhase(PollPhase phase) { m_phase = std::move(phase); }
    // This router's last tick on the nominal interval, if it polls.
    std::optional<std::chrono::steady_clock::time_point> LastTick() const;
    ~TRouter() override;

    Monitor& TheMonitor() { return m_monitor; }
    TFormGlowny& Glowny() { return *m_glowny; }
    // The router's desktop notices (app/PanelViews.h).
    NoticeView& Notices() { return *m_notices; }
    TFormWykres& Wykres() { return *m_wykres; }
    TFormWykresPkt& WykresPkt() { return *m_wykresPkt; }
    // The dialogs and the usage window, nullptr until first opened.
    TFormKonfiguracja* Konfiguracja() const { return m_konfiguracja.get(); }
    TFormInterfejsy* Interfejsy() const { return m_interfejsy.get(); }
    TFormOprogramie* Oprogramie() const { return m_oprogramie.get(); }
    TFormUsage* Usage() const { return m_usage.get(); }
    // The profile file dialogs, made at their first use: a file dialog starts
    // a thread of its own to read folders.
    QFileDialog* OpenDialog1();
    QFileDialog* SaveDialog1();
    // Makes every window now rather than at its first opening.
    void MakeAllWindows();
    // The main window's place, as the other routers step around it.
    WindowArea MainArea() const;
    // Brings the router's open windows to the front (its profile was asked
    // to open again).
    void ShowWindows();

    // The monitor's state, for the owner's own decisions and the tests.
    MonitorState& State() { return m_monitor.State(); }

    // MonitorControl
    ViewSettings Settings() const override { return m_monitor.Settings(); }
    const std::string& ConfigDir() const override { return m_monitor.ConfigDir(); }
    WindowPosition MainPosition() const override;
    void PausePolling() override;
    void ResumePolling() override;
    void PauseStayOnTop() override;
    void ResumeStayOnTop() override;
    void ReloadAndRestart() override;
    void ApplyMainOpacity(uint16_t level) override;
    void ApplyGraphOpacity(uint16_t level) override;
    void OpenWebPageSoon() override;
    void AskProbe(const AgentTarget& target, ProbeScope scope,
                  std::function<void(const ProbeResult&)> answered) override;
    std::unique_ptr<InterfaceWalkSession> StartInterfaceWalk(const AgentTarget& target,
                                                             std::function<void()> ready) override;
    void WriteMainPosition() override;
    void WriteSettings(const DialogSettings& settings) override;

    // Makes `profilePath` current (the profile commands): app.ini's [Profil]
    // for the program's first router, only the router's own profile for the
    // others. Throws EIniFileException.
    void RecordCurrentProfile(const std::string& profilePath);
    // Whether the profile commands write app.ini's [Profil].
    void SetNamesCurrentProfile(bool names) { m_namesCurrentProfile = names; }

    // Life cycle: start-up load, monitor restart, shutdown save.
    void FormCreate();
    void FormShow();
    void FormClose();
    // The shutdown save without the window system (a signal, the display
    // gone, the program's end): the places as they stand and the history's
    // last counts, no fade, no message box. Once; a later close saves nothing.
    void StopNow() noexcept;
    void Button3Click(); // one poll cycle
    void Timer2Timer();
    void TimerWWWTimer();

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* TimerWWW = nullptr;
    // Runs the steps of an interface check that walks the agent's table.
    QTimer* CheckTimer = nullptr;
    // The monitor's clients: the poll's, and the dialogs' questions'.
    TIdSNMP& SNMP = m_monitor.SNMP;
    TIdSNMP& SNMPConf = m_monitor.SNMPConf;

signals:
    // The user asks for another profile beside this one.
    void AnotherProfileAsked();
    // The user asks the program to end (Exit).
    void ExitAsked();
    // The shutdown save has run and the main window has closed.
    void Closed();

private:
    void saveAtEnd(bool hideGraphs);
    // The SNMPv3 passphrases the desktop's keyring keeps for the profile.
    void loadV3Passphrases();
    // MonitorSubscriber: the quota watch, riding on the poll.
    void OnSample(const PollSample& sample) override;
    // MonitorTimers: Timer1 and CheckTimer.
    void StartPolling(int32_t intervalMs) override;
    void StopPolling() override;
    bool Polling() const override;
    void SetPollInterval(int32_t intervalMs) override;
    void StartCheckSteps() override;
    void StopCheckSteps() override;
    bool FirstReadingAtOnce() const override { return !m_joining; }

    void tick();
    void connectWindows();
    void showGraphGuarded(bool packets);
    TFormKonfiguracja* konfiguracja();
    TFormOprogramie* oprogramie();
    TFormUsage* usage();
    void recordPlace();
    // At most once a minute: the history's state and the period's use
    // against the quota, with its notification when a threshold is newly
    // reached.
    void checkUsage();

    // Resumes the monitor's queries; set up before the first, gone after the last.
    std::unique_ptr<FiberLoop> m_wakeUps;
    BitmapFolder m_pictures;
    std::function<std::vector<WindowArea>()> m_neighbours;
    RunningCopies m_runningCopies;
    bool m_namesCurrentProfile = true;
    PollPhase m_phase;
    uint64_t m_keyringQuestions = 0; // the last keyring read's number: only its answer counts
    std::optional<std::chrono::steady_clock::time_point> m_lastTick;
    bool m_joining = false; // the timer waits for the others' next tick
    bool m_fading = false;
    bool m_stopped = false; // StopNow ran: nothing more is saved
    QFileDialog* m_openDialog1 = nullptr;
    QFileDialog* m_saveDialog1 = nullptr;
    // The windows: the main window first, the dialogs before the interface
    // list they point to, all before the monitor they draw.
    std::unique_ptr<TFormGlowny> m_glowny;
    NoticeView* m_notices = nullptr; // owned by the main window
    std::unique_ptr<TFormWykresPkt> m_wykresPkt;
    std::unique_ptr<TFormWykres> m_wykres;
    std::unique_ptr<TFormInterfejsy> m_interfejsy;
    std::unique_ptr<TFormKonfiguracja> m_konfiguracja;
    std::unique_ptr<TFormOprogramie> m_oprogramie;
    std::unique_ptr<TFormUsage> m_usage;
    // The quota watch.
    std::string m_usageStatus;
    std::string m_usageNotice;
};

} // namespace veltrum
