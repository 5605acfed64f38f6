#include "core/Monitor.h"

#include "core/GraphReset.h"
#include "core/MonitorControl.h"
#include "core/SettingsTable.h"
#include "history/UsageRecorder.h"
#include "settings/IniFile.h"
#include "settings/ProfileFiles.h"
#include "snmp/TextToInt.h"
#include "snmp/UsmCrypto.h"

#include <algorithm>
#include <ctime>
#include <utility>

namespace veltrum {

Monitor::Monitor(std::string configDir, std::string chosenProfile, MonitorTimers& timers)
    : m_configDir(std::move(configDir)), m_chosenProfile(std::move(chosenProfile)), m_timers(timers) {
    // The history records each sample before any window draws it.
    Subscribe(m_usage);
    // The stored design values; the restart and every poll replace both
    // before anything is sent.
    SNMP.ReceiveTimeout = 200;
    SNMP.SetCommunity("zintu");
}

void Monitor::SetFiberLoop(FiberLoop& loop) {
    m_pollFiber = std::make_unique<QueryFiber>(loop);
    m_askFiber = std::make_unique<QueryFiber>(loop);
    m_askFiber->SetOnEnded([this] { askEnded(); });
    // What a run published reaches the windows whenever the run gives the
    // loop back: while a walk waits for its replies, its waiting sample shows.
    m_pollFiber->SetOnBack([this] { deliver(); });
    m_pollFiber->SetOnEnded([this] {
        // A tick held up behind a late reply polls now, as it would have
        // right after a blocking poll.
        if (m_pollDue && !m_discarding) {
            m_pollDue = false;
            if (m_timers.Polling() && !m_check) {
                Poll();
            }
        }
    });
}

void Monitor::runPolling(std::function<void()> work) {
    if (!m_pollFiber) {
        work();
        return;
    }
    m_pollFiber->Run([this, work = std::move(work)] {
        try {
            work();
        } catch (const std::exception& error) {
            runFailed(error.what());
        } catch (...) {
            runFailed("an unknown error");
        }
    });
}

void Monitor::runFailed(const std::string& what) {
    // Each step keeps its own failures: this one escaped them. It ends here,
    // told as a failed poll, never in the event loop that resumed the run.
    beginSample(PollSample::Outcome::Failure);
    m_sample.ShownFailure = "The poll stopped: " + what + ".";
    publish();
}

void Monitor::deliver() {
    // Samples made on the poll's fiber reach their subscribers here, on the
    // event loop's own stack: drawing, the history's writes and the desktop's
    // notices never run on the fiber's small stack.
    std::vector<PollSample> samples = std::move(m_outbox);
    m_outbox.clear();
    for (const PollSample& sample : samples) {
        for (MonitorSubscriber* subscriber : m_subscribers) {
            subscriber->OnSample(sample);
        }
    }
}

void Monitor::settle() {
    m_pollDue = false;
    if (!m_pollFiber || !m_pollFiber->Busy()) {
        return;
    }
    m_discarding = true;
    m_pollFiber->Cancel();
    m_discarding = false;
    m_check.reset();
}

void Monitor::SetClock(std::function<std::string()> nowText, NumberLocale locale) {
    m_nowText = std::move(nowText);
    m_locale = std::move(locale);
}

void Monitor::Subscribe(MonitorSubscriber& subscriber) {
    if (std::find(m_subscribers.begin(), m_subscribers.end(), &subscriber) == m_subscribers.end()) {
        m_subscribers.push_back(&subscriber);
    }
}

WindowPosition Monitor::Load(std::span<const ScreenArea> screens) {
    settle();
    const WindowPosition position = LoadMonitorState(m_state, m_configDir, screens, m_chosenProfile);
    SNMP.QueryMessage.ResetMessage();
    try {
        SNMP.SetActive(true);
    } catch (const std::exception&) {
        // No socket now: the first poll fails, shows "Err" and asks for a new one.
    }
    return position;
}

void Monitor::SetUsageDatabase(std::string path) {
    m_usage.SetDatabase(std::move(path));
}

UsageSummary Monitor::UsageFigures(int64_t now) {
    if (!m_figures || m_figures->Now != now) {
        m_figures = m_usage.Summary(m_state, now);
    }
    return *m_figures;
}

QuotaSettings Monitor::Quota() const {
    return QuotaOf(m_state);
}

NoticeSettings Monitor::Notices() const {
    return NoticeSettingsOf(m_state);
}

void Monitor::BeginRestart() {
    m_figures.reset();
    settle();
    ClearHistories(m_state);
    m_linesCleared = std::max(m_linesCleared.value_or(0), UsedSlots(m_state));
    m_agentNamed = ProfileNamesAgent(m_state.ProfilePath);
    m_usage.Watch(m_state.AgentHost, m_state.InterfaceNumber, m_state.InterfaceDescription, m_agentNamed);
    SNMP.Host = m_state.AgentHost;
    SNMP.SetCommunity(m_state.AgentCommunity);
    applyV3User();
    m_state.MissedPolls = 0;
    m_state.PollCount = 0;
    m_state.PacketPollCount = 0;
    m_timers.StartPolling(kNominalPollIntervalMs);
}

void Monitor::SetV3Passphrases(std::string auth, std::string priv, v3::TFailure missing) {
    usm::Wipe(m_v3Passphrases.AuthPassphrase);
    usm::Wipe(m_v3Passphrases.PrivPassphrase);
    m_v3Passphrases.AuthPassphrase = std::move(auth);
    m_v3Passphrases.PrivPassphrase = std::move(priv);
    m_v3Passphrases.Missing = missing;
    // The poll's client localises them and keeps the keys alone; every
    // restart asks the keyring again.
    applyV3User();
    usm::Wipe(m_v3Passphrases.AuthPassphrase);
    usm::Wipe(m_v3Passphrases.PrivPassphrase);
}

void Monitor::applyV3User() {
    V3Secrets secrets = V3SecretsOfKeys(m_state.V3Keys);
    secrets.AuthPassphrase = m_v3Passphrases.AuthPassphrase;
    secrets.PrivPassphrase = m_v3Passphrases.PrivPassphrase;
    secrets.Missing = m_v3Passphrases.Missing;
    SNMP.SetV3User(V3UserOf(m_state.SnmpVersion, V3SettingsOf(m_state), secrets));
    usm::Wipe(secrets.AuthPassphrase);
    usm::Wipe(secrets.PrivPassphrase);
}

void Monitor::CheckInterfaceAndPoll() {
    // A renumbered interface is followed by its description before the
    // first reading; a walk of the agent's table takes the reading along
    // when it ends.
    if (m_timers.Polling()) {
        runPolling([this] { checkAndPollNow(); });
    }
}

void Monitor::checkAndPollNow() {
    if (startInterfaceCheck(true)) {
        if (m_timers.FirstReadingAtOnce()) {
            pollNow(); // the first reading without waiting a full interval
        }
    } else {
        walkToEnd();
    }
}

void Monitor::beginSample(PollSample::Outcome outcome) {
    m_sample = PollSample{};
    m_sample.Result = outcome;
}

void Monitor::Poll() {
    if (m_check) {
        return; // the interface is being looked for: its reading would belong to no one
    }
    if (Querying()) {
        m_pollDue = true; // the reply is late: this tick polls once it is in or given up
        return;
    }
    runPolling([this] { pollNow(); });
}

void Monitor::pollNow() {
    if (m_check) {
        return;
    }
    beginSample(PollSample::Outcome::Priming);
    RunPollCycle(m_state, SNMP, *this, m_locale);
    completeUsageTick();
    publish();
    walkToEnd(); // a walk the poll's check started
}

void Monitor::walkToEnd() {
    if (!m_pollFiber) {
        return; // the owner's CheckTimer steps it
    }
    while (m_check) {
        if (m_check->Step(m_state, SNMP)) {
            concludeCheck();
        }
    }
}

void Monitor::completeUsageTick() {
    if (!m_sample.Usage) {
        return;
    }
    UsageTick& tick = m_sample.Usage.value();
    tick.Time = static_cast<int64_t>(std::time(nullptr));
    // The speed is read after the first reading of a restart.
    tick.Speed = m_state.InterfaceSpeed;
    // A reading that only primes, or one that takes over from another copy,
    // is where the history tells what passed while no one recorded: the
    // agent's uptime says whether it kept counting meanwhile. Asked only
    // while a history records.
    const UsageRecorder* const recorder = m_usage.Recorder();
    if (recorder != nullptr && tick.Kind != UsageTickKind::Failed &&
        (tick.Kind == UsageTickKind::Uncounted || recorder->WantsUpTime())) {
        try {
            const AgentName upTime[] = {{AgentObject::SysUpTime, 0}};
            SNMP.ReceiveTimeout = ReplyTimeoutMs(m_state);
            if (AskAgent(SNMP, {RequestKind::Get, UsesSnmpV2c(m_state) ? kSnmpVersion2c : 0}, upTime) &&
                SNMP.ReplyMessage.CountValues() == 1 && !SNMP.ReplyMessage.IsNoValueAt(0)) {
                tick.UpTime = static_cast<uint32_t>(StrToInt(SNMP.ReplyMessage.ValueAt(0)));
                tick.UpTimeKnown = true;
            }
        } catch (...) {
            // Unknown: the time away is recorded as missed.
        }
    }
}

void Monitor::publish() {
    PollSample& s = m_sample;
    if (s.ShownFailure) {
        s.Result = PollSample::Outcome::Failure;
    } else if (s.Shown) {
        s.Result = PollSample::Outcome::Reading;
    }
    s.Counters64 = Uses64BitCounters(m_state);
    if (s.Counters64) {
        s.Counters = m_state.Counters64Now;
    } else {
        for (const auto& [slot, value] : {std::pair{0, m_state.InOctetsNow},
                                          {1, m_state.OutOctetsNow},
                                          {2, m_state.InPktsNow},
                                          {3, m_state.OutPktsNow}}) {
            s.Counters[static_cast<size_t>(slot)] = static_cast<uint32_t>(value);
        }
    }
    s.DownRate = m_state.DownRate;
    s.UpRate = m_state.UpRate;
    s.DownPktRate = m_state.DownPktRate;
    s.UpPktRate = m_state.UpPktRate;
    s.DownTotal = m_state.DownTotal;
    s.UpTotal = m_state.UpTotal;
    s.MissedPolls = m_state.MissedPolls;
    s.AgentNamed = m_agentNamed;
    s.Host = m_state.AgentHost;
    s.Interface = m_state.InterfaceNumber;
    s.Description = m_state.InterfaceDescription;
    s.Session = m_state.SessionName;
    if (m_discarding) {
        return;
    }
    s.LinesCleared = std::exchange(m_linesCleared, std::nullopt);
    m_figures.reset();
    m_outbox.push_back(s);
    if (!m_pollFiber || !m_pollFiber->OnItsStack()) {
        deliver();
    }
}

bool Monitor::startInterfaceCheck(bool atRestart) {
    m_check.emplace(m_state);
    m_checkAtRestart = atRestart;
    m_timers.StopCheckSteps();
    if (m_check->Step(m_state, SNMP)) {
        const InterfaceCheck check = m_check->Result();
        m_check.reset();
        if (atRestart) {
            // Only the check's text: the first reading that follows makes a
            // sample of its own.
            beginSample(PollSample::Outcome::Priming);
            m_sample.InterfaceCheck = InterfaceCheckText(check);
            publish();
        } else {
            ApplyInterfaceCheck(m_state, check, *this); // only a walk ever switches
        }
        return true;
    }
    // Waiting, visibly: the sample says that no reading is due, and why.
    const InterfaceCheck& check = m_check->Result();
    const std::string waiting =
        "Interface " + std::to_string(check.Number) + " is now " +
        (check.Seen.empty() ? std::string("no interface") : "\"" + check.Seen + "\"") + "; looking for \"" +
        check.Description + "\" among the agent's interfaces...";
    if (atRestart) {
        beginSample(PollSample::Outcome::Waiting);
        m_sample.InterfaceCheck = waiting;
        publish();
    } else {
        // Inside a poll: its sample says it.
        m_sample.Result = PollSample::Outcome::Waiting;
        m_sample.InterfaceCheck = waiting;
    }
    if (!m_pollFiber) {
        m_timers.StartCheckSteps();
    }
    return false;
}

void Monitor::StepInterfaceCheck() {
    if (!m_check) {
        m_timers.StopCheckSteps();
        return;
    }
    if (m_pollFiber) {
        if (!m_pollFiber->Busy()) {
            runPolling([this] { walkToEnd(); });
        }
        return;
    }
    if (m_check->Step(m_state, SNMP)) {
        concludeCheck();
    }
}

void Monitor::concludeCheck() {
    m_timers.StopCheckSteps();
    const InterfaceCheck check = m_check->Result();
    m_check.reset();
    beginSample(PollSample::Outcome::Priming);
    m_sample.InterfaceCheck = InterfaceCheckText(check);
    if (!m_checkAtRestart) {
        ApplyInterfaceCheck(m_state, check, *this);
        // The polls waited for the walk: the reading before it and the time
        // it took belong to no interval, so the next reading only primes,
        // and the run of failed polls that asked for the check is over.
        m_state.PrimeNextReading = m_state.PollCount > 0 || m_state.PacketPollCount > 0;
        m_state.MissedPolls = 0;
    }
    publish();
    if (m_timers.Polling() && !m_discarding) {
        pollNow(); // the reading the walk held back
    }
}

void Monitor::PausePolling() {
    m_timers.StopPolling();
}

void Monitor::ResumePolling() {
    // A running timer would start its interval again: a dialog that resumes
    // after a restart already started it must not shift the poll's phase.
    if (!m_timers.Polling()) {
        m_timers.StartPolling(0); // on the interval it had
    }
}

void Monitor::Stop() {
    settle();
    // A dialog's question ends unanswered.
    ForgetProbe();
    m_walkReady = nullptr;
    if (m_askFiber) {
        m_askFiber->Cancel();
    }
    m_timers.StopPolling();
    m_timers.StopCheckSteps();
    m_usage.Close();
}

void Monitor::AskProbe(const AgentTarget& target, ProbeScope scope, ProbeAnswered answered) {
    if (!m_askFiber) {
        answered(ProbeAgent(SNMPConf, target, scope));
        return;
    }
    // The question under way runs to its end (its client cannot be left
    // half-way through an exchange), but its answer is no longer wanted.
    m_probeAnswered = nullptr;
    m_waitingQuestion = Question{target, scope, std::move(answered)};
    askNext();
}

void Monitor::ForgetProbe() {
    m_waitingQuestion.reset();
    m_probeAnswered = nullptr;
}

void Monitor::askNext() {
    if (!m_askFiber || m_askFiber->Busy() || !m_waitingQuestion) {
        return;
    }
    Question question = std::move(*m_waitingQuestion);
    m_waitingQuestion.reset();
    m_probeAnswered = std::move(question.Answered);
    m_askFiber->Run([this, target = std::move(question.Target), scope = question.Scope] {
        m_probeResult = ProbeAgent(SNMPConf, target, scope);
    });
    if (!m_askFiber->Busy()) {
        askEnded(); // answered without waiting (a host that does not resolve)
    }
}

void Monitor::askEnded() {
    if (m_probeResult) {
        const ProbeResult result = std::move(*m_probeResult);
        m_probeResult.reset();
        const ProbeAnswered answered = std::move(m_probeAnswered);
        m_probeAnswered = nullptr;
        if (answered) {
            answered(result); // may ask again
        }
    }
    askNext();
    if (m_walkReady && m_askFiber && !m_askFiber->Busy()) {
        m_walkReady();
    }
}

std::unique_ptr<InterfaceWalkSession> Monitor::StartInterfaceWalk(const AgentTarget& target,
                                                                  std::function<void()> ready) {
    m_walkReady = std::move(ready);
    return std::make_unique<InterfaceWalkSession>(SNMPConf, target, m_askFiber.get());
}

void Monitor::WriteMainPosition(WindowPosition main) {
    TIniFile ini(m_state.ProfilePath);
    WriteSettingInteger(ini, SettingKey::PozTop, main.Top);
    WriteSettingInteger(ini, SettingKey::PozLeft, main.Left);
}

void WriteDialogSettings(const std::string& profilePath, const DialogSettings& settings) {
    TIniFile ini(profilePath);
    KeepKeysPrivate(ini, settings.V3.Keys);
    WriteSettings(ini, settings.Writes);
    if (settings.Description) {
        WriteAddedSettingText(ini, SettingKey::OpisInterfaceu, *settings.Description);
    }
    WriteAddedSettingInteger(ini, SettingKey::WersjaSNMP, settings.Version);
    WriteV3Settings(ini, settings.V3, settings.Version == kSnmpVersion3);
}

void Monitor::WriteSettings(const DialogSettings& settings) {
    WriteDialogSettings(m_state.ProfilePath, settings);
}

void Monitor::SaveWindowFlags() {
    TIniFile ini(m_state.ProfilePath);
    SaveSetting(ini, SettingKey::PokazWykres, m_state);
    SaveSetting(ini, SettingKey::PokazWykresPkt, m_state);
}

void Monitor::SaveWindowPositions(WindowPosition main) {
    TIniFile ini(m_state.ProfilePath);
    WriteSettingInteger(ini, SettingKey::PozTop, main.Top);
    WriteSettingInteger(ini, SettingKey::PozLeft, main.Left);
    SaveSetting(ini, SettingKey::PozTopWykres, m_state);
    SaveSetting(ini, SettingKey::PozLeftWykres, m_state);
    SaveSetting(ini, SettingKey::PozTopWykresPkt, m_state);
    SaveSetting(ini, SettingKey::PozLeftWykresPkt, m_state);
}

void Monitor::SaveProfileAs(const std::string& path, WindowPosition main) {
    // Key by key into the chosen file: a new file ends up with every setting
    // the monitor holds, a replaced one keeps any other lines it has.
    std::vector<SettingWrite> writes;
    for (const SettingKey key : kSaveAsKeys) {
        if (key == SettingKey::PozTop) {
            writes.push_back({key, int32_t{main.Top}});
        } else if (key == SettingKey::PozLeft) {
            writes.push_back({key, int32_t{main.Left}});
        } else {
            writes.push_back({key, SettingFromState(key, m_state)});
        }
    }
    TIniFile ini(path);
    KeepKeysPrivate(ini, m_state.V3Keys);
    veltrum::WriteSettings(ini, writes);
    SaveAddedSettings(ini, m_state);
}

GraphWindowPlace Monitor::GraphPlace(GraphSide side) const {
    if (side == GraphSide::Bandwidth) {
        return {m_state.GraphWindowOpen, m_state.GraphTop, m_state.GraphLeft};
    }
    return {m_state.PacketGraphWindowOpen, m_state.PacketGraphTop, m_state.PacketGraphLeft};
}

void Monitor::SetGraphPlace(GraphSide side, GraphWindowPlace place) {
    if (side == GraphSide::Bandwidth) {
        m_state.GraphWindowOpen = place.Open;
        m_state.GraphTop = place.Top;
        m_state.GraphLeft = place.Left;
    } else {
        m_state.PacketGraphWindowOpen = place.Open;
        m_state.PacketGraphTop = place.Top;
        m_state.PacketGraphLeft = place.Left;
    }
}

int32_t Monitor::ResetGraphSide(GraphSide side) {
    const bool bandwidth = side == GraphSide::Bandwidth;
    (bandwidth ? ResetBandwidthSide : ResetPacketSide)(m_state);
    // A poll still under way (waiting for a later reply) that has already
    // moved these lines on: zeroed now, they are zero in the window too,
    // which has zeroed its own, so that step must not reach it.
    if (Querying()) {
        (bandwidth ? m_sample.BandwidthLines : m_sample.PacketLines).reset();
    }
    return UsedSlots(m_state);
}

void Monitor::MakeCurrent(const std::string& path) {
    WritePointerFile(m_configDir, path);
    // From now on app.ini decides, as it does without --profile.
    m_chosenProfile.clear();
}

// PollView

void Monitor::SetGaugeMaxima(int32_t downMax, int32_t upMax) {
    // The start-up load holds the scales within the settings dialog's range,
    // so the gauges (counting from 0) take any maximum that arrives here.
    m_sample.GaugeMaxima = std::pair{downMax, upMax};
}

void Monitor::ShowRates(int32_t /*downRate*/, int32_t /*upRate*/, int32_t downProgress, int32_t upProgress) {
    // The rates go into every sample (publish).
    m_sample.Shown = PollSample::Rates{downProgress, upProgress};
}

std::string Monitor::NowText() {
    return m_nowText ? m_nowText() : std::string();
}

void Monitor::RefreshBandwidthGraph(const BandwidthFigures& figures) {
    m_sample.Bandwidth = figures;
    m_sample.BandwidthLines = figures.Step;
}

void Monitor::RefreshPacketsGraph(const PacketFigures& figures) {
    m_sample.Packets = figures;
    m_sample.PacketLines = figures.Step;
}

void Monitor::PacketLinesShifted(const GraphStep& step) {
    m_sample.PacketLines = step;
}

void Monitor::SetResyncMark(const std::string& text) {
    m_sample.ResyncMark = text;
}

void Monitor::SetPollInterval(int32_t ms) {
    m_timers.SetPollInterval(ms);
}

void Monitor::SaveResyncSnapshot() {
    // The picture as it stands, before this poll's refresh reaches it.
    for (MonitorSubscriber* subscriber : m_subscribers) {
        subscriber->OnResyncSnapshot();
    }
}

void Monitor::ShowFailure(const std::string& reason) {
    m_sample.ShownFailure = reason;
}

void Monitor::ShowInterfaceCheck(const std::string& text) {
    m_sample.InterfaceCheck = text;
}

void Monitor::RecordUsage(const UsageTick& tick) {
    m_sample.Usage = tick;
}

bool Monitor::CheckInterface(MonitorState& /*state*/, TIdSNMP& /*snmp*/) {
    // The poll was given this monitor's state and client; the check's later
    // steps use them too. A walk holds the reading back.
    return startInterfaceCheck(false);
}

} // namespace veltrum
