#pragma once
// The monitor: the one owner of the monitor state, the SNMP client, the poll
// and its timing, the check of the interface kept by name, the start-up load,
// the shutdown save and every write of the monitor's settings to the profile.
// It knows no window and no toolkit.
//
// Once per poll it publishes one PollSample to its subscribers, in the order
// they subscribed (the main window first, then the bandwidth and the packets
// graph): what the poll came to and the numbers it read and computed. A
// poll on a fiber hands its samples over once its run has ended, on the
// event loop's stack (only a traced resynchronisation's snapshot, which may
// fail the poll, is taken inside it). Each
// window keeps what it draws (a graph window its own lines) and makes its
// texts from the numbers (core/SampleTexts.h). No window reads or writes the
// state: they ask for a copy of the settings they draw with and give named
// commands (a graph window's place, its Reset).
//
// Timing is the monitor's decision and its owner's mechanism: it starts,
// stops and lengthens the poll interval and runs the steps of a walk of the
// agent's table through MonitorTimers, which its owner (app/Router.h)
// implements with its timers (Timer1, CheckTimer).
//
// Given a FiberLoop (SetFiberLoop), every query runs on a QueryFiber
// (core/QueryFiber.h) and waits without holding the event loop: the poll
// and the interface check on one, the dialogs' questions on another. A tick
// that comes while the poll still waits for its reply is kept and polls as
// soon as that one ends, as a tick held up behind a blocking poll did.
// Without one, the queries block, as callers without a loop want.

#include "core/AgentQuery.h"
#include "core/InterfaceCheck.h"
#include "core/MonitorControl.h"
#include "core/MonitorState.h"
#include "core/Notices.h"
#include "core/PollCycle.h"
#include "core/PollSample.h"
#include "core/QueryFiber.h"
#include "core/StartupLoad.h"
#include "core/UsageRecording.h"
#include "core/ViewSettings.h"
#include "snmp/IdSNMP.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltrum {

class Monitor final : private PollView {
public:
    // `configDir` ends in "/": app.ini and the default profile live there. A
    // non-empty `chosenProfile` (the command line's --profile) is the current
    // profile instead of the one app.ini names, until a profile is loaded or
    // saved.
    Monitor(std::string configDir, std::string chosenProfile, MonitorTimers& timers);

    // The event loop that resumes the queries; before the first load.
    void SetFiberLoop(FiberLoop& loop);
    // A query is under way on the poll's client.
    bool Querying() const { return m_pollFiber && m_pollFiber->Busy(); }

    // The local date and time for the chart titles, and the number format.
    void SetClock(std::function<std::string()> nowText, NumberLocale locale);
    // Subscribers draw each sample in the order they subscribed; one that
    // subscribes again keeps its place.
    void Subscribe(MonitorSubscriber& subscriber);

    // The owner's (and the tests') access; the windows use the calls below.
    MonitorState& State() { return m_state; }
    const MonitorState& State() const { return m_state; }
    const std::string& ConfigDir() const { return m_configDir; }

    // What the windows draw with, copied as they ask.
    ViewSettings Settings() const { return ViewSettingsOf(m_state); }
    const NumberLocale& Locale() const { return m_locale; }
    // A graph window's open flag and place, kept for the shutdown save.
    GraphWindowPlace GraphPlace(GraphSide side) const;
    void SetGraphPlace(GraphSide side, GraphWindowPlace place);
    // A graph window's Reset (core/GraphReset.h); returns the slots it
    // zeroed, which the window zeroes in its own lines.
    int32_t ResetGraphSide(GraphSide side);

    // The start-up load: every setting from the current profile, the
    // client's request state reset and its socket opened. Returns where the
    // main window opens on these screens. Never throws.
    WindowPosition Load(std::span<const ScreenArea> screens);
    // The monitor restart's steps before the windows are reconfigured:
    // histories cleared, the client given host and community, the counting
    // begun anew and the poll timer started at its nominal interval.
    void BeginRestart();
    // SNMPv3 passphrases from outside the profile (the desktop's keyring), for
    // a profile that keeps no keys: the poll takes them at once, and
    // localises them to the engine it discovers; the monitor keeps no copy.
    // Empty: none, for the reason `missing` (the keyring's state, in which
    // the poll sends nothing, or PassphraseMissing).
    void SetV3Passphrases(std::string auth, std::string priv,
                          v3::TFailure missing = v3::TFailure::PassphraseMissing);
    // Its steps after: the interface kept by name checked and the first
    // reading taken, unless a walk of the agent's table holds it back until
    // the walk ends.
    void CheckInterfaceAndPoll();
    // One poll cycle; while a walk looks for the interface, none.
    void Poll();
    // One step of that walk (MonitorTimers::StartCheckSteps).
    void StepInterfaceCheck();
    bool CheckingInterface() const { return m_check.has_value(); }
    // Polling held while a dialog writes the profile, and let go again; a
    // running poll is left as it is.
    void PausePolling();
    void ResumePolling();
    // The end of the program: no more polls or steps.
    void Stop();

    // The usage history at `path` records the interface watched from the
    // next restart on; its recorder is the first subscriber.
    void SetUsageDatabase(std::string path);
    UsageRecording& Usage() { return m_usage; }
    // The usage figures up to the last poll (the history's and the counts
    // not written yet) at `now`, with this profile's periods and quota. The
    // router, its tray and its notices each ask after a sample: the history
    // is read once for all of them.
    UsageSummary UsageFigures(int64_t now);
    // The quota and the notices' settings in force.
    QuotaSettings Quota() const;
    NoticeSettings Notices() const;

    // Profile writes; each throws EIniFileException.
    // The main window's place, before the settings dialog reads the profile.
    void WriteMainPosition(WindowPosition main);
    // The shutdown save: the graph windows' flags first (closing a graph
    // window clears its flag), then, once they are closed, every position.
    void SaveWindowFlags();
    void SaveWindowPositions(WindowPosition main);
    // What OK in the settings dialog writes.
    void WriteSettings(const DialogSettings& settings);
    // Every setting in force into `path`, the main window at `main`.
    void SaveProfileAs(const std::string& path, WindowPosition main);
    // Makes `path` current in app.ini: from then on app.ini decides.
    void MakeCurrent(const std::string& path);

    // The dialogs' questions, through their own client so that they never
    // disturb the poll's request: the settings dialog's probe of the agent
    // as typed, and the interface list's walk of its table. With a fiber
    // loop nothing waits: `answered` is called from the event loop once the
    // answer is in, never from inside the question; a question asked while
    // another is under way or waiting takes the waiting one's place, so the
    // last one asked is answered and the ones it replaced never are.
    // Without a loop the answer comes before AskProbe returns.
    using ProbeAnswered = std::function<void(const ProbeResult&)>;
    void AskProbe(const AgentTarget& target, ProbeScope scope, ProbeAnswered answered);
    // A question asked and not yet answered is never answered.
    void ForgetProbe();
    // `ready` is called whenever the walk may take its next step (a step
    // that found the client busy returns at once without waiting).
    std::unique_ptr<InterfaceWalkSession> StartInterfaceWalk(const AgentTarget& target,
                                                             std::function<void()> ready = {});

    // The client of the poll and the interface check.
    TIdSNMP SNMP;
    // The client of the dialogs' questions.
    TIdSNMP SNMPConf;

private:
    // PollView: the poll's effects gathered into the sample.
    void SetGaugeMaxima(int32_t downMax, int32_t upMax) override;
    void ShowRates(int32_t downRate, int32_t upRate, int32_t downProgress, int32_t upProgress) override;
    std::string NowText() override;
    void RefreshBandwidthGraph(const BandwidthFigures& figures) override;
    void RefreshPacketsGraph(const PacketFigures& figures) override;
    void PacketLinesShifted(const GraphStep& step) override;
    void SetResyncMark(const std::string& text) override;
    void SetPollInterval(int32_t ms) override;
    void SaveResyncSnapshot() override;
    void ShowFailure(const std::string& reason) override;
    void ShowInterfaceCheck(const std::string& text) override;
    bool CheckInterface(MonitorState& state, TIdSNMP& snmp) override;
    void RecordUsage(const UsageTick& tick) override;

    // The check's first step now; true when it has ended with it.
    bool startInterfaceCheck(bool atRestart);
    void pollNow();
    void checkAndPollNow();
    // The check's end: its sample, and the reading it held back.
    void concludeCheck();
    // With a fiber: the rest of a walk, a step after the other.
    void walkToEnd();
    // `work` on the poll's fiber, or at once without one.
    void runPolling(std::function<void()> work);
    // A poll or walk under way ends now, its sample not drawn: a restart or
    // the end replaces what it would have shown.
    void settle();
    // The SNMPv3 user of the settings and the passphrases held, to the poll.
    void applyV3User();
    void beginSample(PollSample::Outcome outcome);
    // The usage tick's time, the interface's speed and, at a reading that
    // only primes, the agent's uptime.
    void completeUsageTick();
    void publish();
    // The samples published on the poll's fiber, to their subscribers once
    // its run has ended; and a run that threw, as a failed poll.
    void deliver();
    void runFailed(const std::string& what);
    // The dialogs' client: the next question when it is free, and what its
    // run that ended brought.
    void askNext();
    void askEnded();

    struct Question {
        AgentTarget Target;
        ProbeScope Scope = ProbeScope::Description;
        ProbeAnswered Answered;
    };

    std::string m_configDir;
    std::string m_chosenProfile;
    MonitorTimers& m_timers;
    MonitorState m_state;
    std::function<std::string()> m_nowText;
    NumberLocale m_locale{".", ","};
    UsageRecording m_usage;
    // The last figures asked for, and when: dropped at each sample and
    // restart, which change them.
    std::optional<UsageSummary> m_figures;
    std::vector<MonitorSubscriber*> m_subscribers;
    PollSample m_sample;
    std::vector<PollSample> m_outbox;         // published, not yet delivered
    bool m_agentNamed = true;                 // the profile names the agent polled
    std::optional<int32_t> m_linesCleared;    // by a restart, for the next sample drawn
    std::optional<InterfaceCheckRun> m_check; // while a check walks the table
    bool m_checkAtRestart = false;
    std::unique_ptr<QueryFiber> m_pollFiber;   // the poll's and the check's queries
    std::unique_ptr<QueryFiber> m_askFiber;    // the dialogs' questions
    std::optional<Question> m_waitingQuestion; // asked while the client was busy
    ProbeAnswered m_probeAnswered;             // the question under way's, empty once forgotten
    std::optional<ProbeResult> m_probeResult;  // its answer, once in
    std::function<void()> m_walkReady;         // the walk under way's
    bool m_pollDue = false;                    // a tick came while the poll waited
    bool m_discarding = false;                 // settle(): nothing is published
    V3Secrets m_v3Passphrases; // only why there are none (Missing): the passphrases go to SNMP
};

} // namespace veltrum
