#include "app/Router.h"

#include "app/FiberWakeUps.h"
#include "app/Glowny.h"
#include "app/PanelViews.h"
#include "app/ProfileCommands.h"
#include "dialogs/Interfejsy.h"
#include "dialogs/Konfiguracja.h"
#include "dialogs/Oprogramie.h"
#include "dialogs/V3Keyring.h"
#include "graphs/UsageWindow.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"
#include "settings/IniFile.h"
#include "settings/ProfileFiles.h"
#include "widgets/ErrorBox.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <tuple>
#include <utility>

namespace veltrum {

namespace {

QTimer* makeTimer(QObject* parent, int intervalMs) {
    auto* timer = new QTimer(parent);
    timer->setInterval(intervalMs);
    return timer;
}

NumberLocale systemNumberLocale() {
    const QLocale locale = QLocale::system();
    return NumberLocale{locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()};
}

std::string nowText() {
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    return (locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
            locale.toString(now.time(), QLocale::LongFormat))
        .toStdString();
}

// Every screen's rectangle, the primary one first; with no screen at all, one
// of 1024 x 768 stands in.
std::vector<ScreenArea> screenAreas() {
    std::vector<ScreenArea> areas;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary != nullptr) {
        const QRect r = primary->geometry();
        areas.push_back({r.left(), r.top(), r.width(), r.height()});
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary) {
            const QRect r = screen->geometry();
            areas.push_back({r.left(), r.top(), r.width(), r.height()});
        }
    }
    if (areas.empty()) {
        areas.push_back({0, 0, 1024, 768});
    }
    return areas;
}

} // namespace

TRouter::TRouter(const RouterFolders& folders, std::string chosenProfile,
                 std::function<std::vector<WindowArea>()> neighbours)
    : m_monitor(folders.Config, std::move(chosenProfile), *this), m_pictures(folders.Pictures),
      m_neighbours(std::move(neighbours)),
      m_runningCopies(folders.RunningCopies, static_cast<int32_t>(::getpid())) {
    m_wakeUps = std::make_unique<TFiberWakeUps>();
    m_monitor.SetFiberLoop(*m_wakeUps);
    if (!folders.UsageDatabase.empty()) {
        m_monitor.SetUsageDatabase(folders.UsageDatabase);
    }
    // After the history's recorder: the quota watch, then the main window,
    // the bandwidth graph and the packets graph draw each sample.
    m_monitor.Subscribe(*this);
    m_monitor.SetClock(nowText, systemNumberLocale());
    m_glowny = std::make_unique<TFormGlowny>(m_monitor);
    m_monitor.Subscribe(*m_glowny);
    m_wykresPkt = std::make_unique<TFormWykresPkt>(m_monitor, m_pictures);
    m_wykres = std::make_unique<TFormWykres>(m_monitor, m_pictures);
    m_monitor.Subscribe(*m_wykres);
    m_monitor.Subscribe(*m_wykresPkt);
    // The views beside the main window draw each sample last: the tray icon
    // and the desktop notices.
    AttachTray(m_monitor, *m_glowny);
    m_notices = AttachNotifier(m_monitor, *m_glowny);

    Timer1 = makeTimer(this, 1000);
    // Every reading counts as one interval, and a resynchronisation moves the
    // poll's phase by lengthening intervals by 25 ms or less: a coarse timer,
    // free to shift a tick by 5 %, would round those back to whole seconds.
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer2 = makeTimer(this, 25);
    TimerWWW = makeTimer(this, 100);
    CheckTimer = makeTimer(this, 0);
    connect(Timer1, &QTimer::timeout, this, [this] { tick(); });
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    connect(TimerWWW, &QTimer::timeout, this, [this] { TimerWWWTimer(); });
    connect(CheckTimer, &QTimer::timeout, this, [this] { m_monitor.StepInterfaceCheck(); });
    connectWindows();

    // The router's creation runs the start-up load; no window shows yet.
    FormCreate();
    // A write killed before its rename leaves a hidden copy of the profile
    // (community string included) beside it; clear those once per start.
    RemoveStaleTemporaries(ConfigDir(), State().ProfilePath);
}

TRouter::~TRouter() {
    m_monitor.Stop();
}

void TRouter::connectWindows() {
    TFormGlowny* g = m_glowny.get();
    connect(g, &TFormGlowny::GraphAsked, this, [this](bool packets) { showGraphGuarded(packets); });
    connect(g, &TFormGlowny::UsageAsked, this, [this] {
        if (usage() != nullptr) {
            m_usage->ShowUsage();
        }
    });
    connect(g, &TFormGlowny::SettingsAsked, this, [this] {
        if (konfiguracja() != nullptr) {
            m_konfiguracja->exec();
        }
    });
    connect(g, &TFormGlowny::AboutAsked, this, [this] {
        if (oprogramie() != nullptr) {
            m_oprogramie->exec();
        }
    });
    connect(g, &TFormGlowny::LoadProfileAsked, this,
            [this] { RunGuarded(m_glowny.get(), [this] { Loadprofile(*this); }); });
    connect(g, &TFormGlowny::SaveProfileAsked, this,
            [this] { RunGuarded(m_glowny.get(), [this] { Saveprofile(*this); }); });
    connect(g, &TFormGlowny::AnotherProfileAsked, this, &TRouter::AnotherProfileAsked);
    connect(g, &TFormGlowny::ExitAsked, this, &TRouter::ExitAsked);
    connect(g, &TFormGlowny::Shown, this, [this] { FormShow(); });
    connect(g, &TFormGlowny::Closing, this, [this] { FormClose(); });
    connect(g, &TFormGlowny::Moved, this, [this] { recordPlace(); });
    connect(g, &TFormGlowny::Closed, this, &TRouter::Closed);
    // The graph windows' F11 and F12 do what the main window's do.
    for (TGraphWindow* graph : std::initializer_list<TGraphWindow*>{m_wykres.get(), m_wykresPkt.get()}) {
        graph->SetGraphShortcuts([this] { showGraphGuarded(false); }, [this] { showGraphGuarded(true); });
    }
}

QFileDialog* TRouter::OpenDialog1() {
    if (m_openDialog1 == nullptr) {
        m_openDialog1 = new QFileDialog(m_glowny.get());
        m_openDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    }
    return m_openDialog1;
}

QFileDialog* TRouter::SaveDialog1() {
    if (m_saveDialog1 == nullptr) {
        m_saveDialog1 = new QFileDialog(m_glowny.get());
        m_saveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    }
    return m_saveDialog1;
}

void TRouter::MakeAllWindows() {
    konfiguracja();
    oprogramie();
    usage();
}

TFormKonfiguracja* TRouter::konfiguracja() {
    if (m_konfiguracja == nullptr) {
        m_interfejsy = std::make_unique<TFormInterfejsy>();
        m_konfiguracja = std::make_unique<TFormKonfiguracja>(*this);
        m_konfiguracja->SetInterfaceList(m_interfejsy.get());
        m_glowny->SetSettingsDialog(m_konfiguracja.get());
    }
    return m_konfiguracja.get();
}

TFormOprogramie* TRouter::oprogramie() {
    if (m_oprogramie == nullptr) {
        m_oprogramie = std::make_unique<TFormOprogramie>(*this);
    }
    return m_oprogramie.get();
}

TFormUsage* TRouter::usage() {
    if (m_usage == nullptr) {
        // The usage history's figures of the interface watched, as the
        // monitor's recorder has written them.
        m_usage = std::make_unique<TFormUsage>(
            m_monitor, [this] { return m_monitor.UsageFigures(static_cast<int64_t>(std::time(nullptr))); });
        m_monitor.Subscribe(*m_usage);
    }
    return m_usage.get();
}

void TRouter::showGraphGuarded(bool packets) {
    RunGuarded(m_glowny.get(), [this, packets] {
        if (packets) {
            m_wykresPkt->ShowGraph();
        } else {
            m_wykres->ShowGraph();
        }
    });
}

void TRouter::ShowWindows() {
    for (QWidget* window :
         std::initializer_list<QWidget*>{m_wykres.get(), m_wykresPkt.get(), m_glowny.get()}) {
        if (window->isVisible()) {
            window->raise();
            window->activateWindow();
        }
    }
}

WindowArea TRouter::MainArea() const {
    return {m_glowny->x(), m_glowny->y(), kMainOuterWidth, kMainOuterHeight};
}

void TRouter::recordPlace() {
    // The outer size is fixed; before the first show the frame is not known yet.
    m_runningCopies.Record(MainArea());
}

void TRouter::RecordCurrentProfile(const std::string& profilePath) {
    if (m_namesCurrentProfile) {
        m_monitor.MakeCurrent(profilePath);
    }
}

void TRouter::FormCreate() {
    const std::vector<ScreenArea> screens = screenAreas();
    const WindowPosition saved = m_monitor.Load(screens);
    std::vector<WindowArea> others = m_runningCopies.Others();
    if (m_neighbours) {
        for (const WindowArea& area : m_neighbours()) {
            others.push_back(area);
        }
    }
    const WindowPosition position =
        PlaceBesideOthers(saved, kMainOuterWidth, kMainOuterHeight, others, screens);
    m_glowny->Configure(position);
    recordPlace();
}

void TRouter::FormShow() {
    m_glowny->Button1Click();
    try {
        loadV3Passphrases();
        m_monitor.BeginRestart();
        m_glowny->ResetGauges();
        m_wykres->ConfigureForRestart();
        m_wykresPkt->ConfigureForRestart();
        m_monitor.CheckInterfaceAndPoll();
        if (State().GraphWindowOpen) {
            m_wykres->ShowGraph();
        }
        if (State().PacketGraphWindowOpen) {
            m_wykresPkt->ShowGraph();
        }
        m_glowny->update();
        Timer2->start();
        m_glowny->TimerStayOnTop->start();
    } catch (const std::exception&) {
        // A restart that cannot finish stays quiet; the remaining steps wait
        // for the next restart.
    }
}

void TRouter::loadV3Passphrases() {
    // Only a profile that keeps no usable keys asks the keyring. Until it
    // answers, the poll sends nothing and the hint says that it waits; a
    // locked or absent keyring is named, never taken for a silent agent.
    const MonitorState& state = State();
    const uint64_t asked = ++m_keyringQuestions;
    if (!UsesSnmpV3(state) || state.V3Level == 0 || !V3SecretsOfKeys(state.V3Keys).AuthKey.empty()) {
        m_monitor.SetV3Passphrases({}, {});
        return;
    }
    m_monitor.SetV3Passphrases({}, {}, v3::TFailure::KeyringSilent);
    const V3KeyringEntry entry{state.ProfilePath, state.SessionName, state.V3User, state.AgentHost};
    ReadV3Passphrases(entry, this, [this, asked](V3KeyringRead read) {
        if (asked != m_keyringQuestions) {
            return; // a later restart asked again
        }
        switch (read.Answer) {
        case KeyringAnswer::Done:
        case KeyringAnswer::NotFound:
            m_monitor.SetV3Passphrases(std::move(read.Passphrases.Auth), std::move(read.Passphrases.Priv));
            break;
        case KeyringAnswer::Locked:
            m_monitor.SetV3Passphrases({}, {}, v3::TFailure::KeyringLocked);
            break;
        case KeyringAnswer::Absent:
            m_monitor.SetV3Passphrases({}, {}, v3::TFailure::KeyringAbsent);
            break;
        case KeyringAnswer::Silent:
            break; // the hint goes on saying that it waits
        }
    });
}

void TRouter::saveAtEnd(bool hideGraphs) {
    // The flags go first: closing a graph window clears its flag, and the
    // profile must remember which windows were open at the end.
    m_monitor.SaveWindowFlags();
    for (TGraphWindow* graph :
         {static_cast<TGraphWindow*>(m_wykres.get()), static_cast<TGraphWindow*>(m_wykresPkt.get())}) {
        if (hideGraphs) {
            graph->CloseGraph();
        } else {
            graph->FormClose(); // its place only: the display may be gone
        }
    }
    m_monitor.SaveWindowPositions(MainPosition());
}

void TRouter::StopNow() noexcept {
    if (m_stopped) {
        return;
    }
    m_stopped = true;
    try {
        saveAtEnd(false);
    } catch (const std::exception& error) {
        // Nobody may be there to answer a message box.
        std::fprintf(stderr, "veltrum: %s\n", error.what());
    } catch (...) {
    }
    try {
        m_monitor.Stop(); // the history's last counts
    } catch (...) {
    }
}

void TRouter::FormClose() {
    // The fade lets the window system's events through; a second close
    // arriving meanwhile must not save and fade again.
    if (m_fading || m_stopped) {
        return;
    }
    if (!RunGuarded(m_glowny.get(), [this] { saveAtEnd(true); })) {
        return;
    }
    // No poll or start-up check may run inside the fade's event processing.
    m_monitor.Stop();
    Timer2->stop();
    m_fading = true;
    FadeOut(
        State(),
        [this] {
            m_glowny->Button1Click();
            // Each level must reach the window system before the next, or
            // the whole fade stays queued until the loop ends and is never
            // seen. Processing events alone does not flush the connection
            // when no event is waiting; sync waits until the server has it.
            QGuiApplication::sync();
        },
        [] { QThread::msleep(1); });
    m_fading = false;
}

WindowPosition TRouter::MainPosition() const {
    return m_glowny->MainPosition();
}

void TRouter::PausePolling() {
    m_monitor.PausePolling();
}

void TRouter::ResumePolling() {
    m_monitor.ResumePolling();
}

void TRouter::PauseStayOnTop() {
    m_glowny->TimerStayOnTop->stop();
}

void TRouter::ResumeStayOnTop() {
    m_glowny->TimerStayOnTop->start();
}

void TRouter::ReloadAndRestart() {
    FormCreate();
    FormShow();
}

void TRouter::ApplyMainOpacity(uint16_t level) {
    State().MainOpacity = level;
    m_glowny->Button1Click();
}

void TRouter::ApplyGraphOpacity(uint16_t level) {
    State().GraphOpacity = level;
    m_wykres->Button1Click();
    m_wykresPkt->Button1Click();
}

void TRouter::OpenWebPageSoon() {
    TimerWWW->start();
}

void TRouter::AskProbe(const AgentTarget& target, ProbeScope scope,
                       std::function<void(const ProbeResult&)> answered) {
    m_monitor.AskProbe(target, scope, std::move(answered));
}

std::unique_ptr<InterfaceWalkSession> TRouter::StartInterfaceWalk(const AgentTarget& target,
                                                                  std::function<void()> ready) {
    return m_monitor.StartInterfaceWalk(target, std::move(ready));
}

void TRouter::WriteMainPosition() {
    m_monitor.WriteMainPosition(MainPosition());
}

void TRouter::WriteSettings(const DialogSettings& settings) {
    m_monitor.WriteSettings(settings);
}

void TRouter::Button3Click() {
    m_monitor.Poll();
}

void TRouter::Timer2Timer() {
    Timer2->stop();
    std::error_code ec;
    if (!std::filesystem::exists(State().ProfilePath, ec) && konfiguracja() != nullptr) {
        m_konfiguracja->exec();
    }
}

void TRouter::TimerWWWTimer() {
    TimerWWW->stop();
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kProductUrl))); // a failure is ignored
}

void TRouter::OnSample(const PollSample& sample) {
    if (sample.Usage) {
        checkUsage();
    }
}

void TRouter::checkUsage() {
    // The figures include the counts not written yet: asked at every poll,
    // the quota's use is up to it and no threshold slips by between writes.
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    UsageRecording& usage = m_monitor.Usage();
    if (std::string notice = usage.TakeNotice(); !notice.empty()) {
        std::fprintf(stderr, "veltrum: %s\n", notice.c_str());
        m_usageNotice = std::move(notice);
    }
    if (std::string status = usage.StatusText(); status != m_usageStatus) {
        if (!status.empty()) {
            std::fprintf(stderr, "veltrum: %s\n", status.c_str());
        }
        m_usageStatus = std::move(status);
    }
    std::optional<QuotaUse> quotaUse;
    if (m_monitor.Quota().Limit > 0) {
        // The router's notifier (app/PanelViews.h) announces the thresholds.
        quotaUse = PeriodQuotaUse(m_monitor.UsageFigures(now));
    }
    m_glowny->SetUsageLines(quotaUse, m_usageStatus, m_usageNotice);
}

// MonitorTimers

void TRouter::StartPolling(int32_t intervalMs) {
    m_joining = false;
    m_lastTick.reset();
    const auto others = m_phase ? m_phase(*this) : std::nullopt;
    if (intervalMs == kNominalPollIntervalMs && others) {
        // The first tick falls on the others' next one; from there on the
        // timer keeps their phase at the nominal interval.
        using namespace std::chrono;
        const auto since = duration_cast<milliseconds>(steady_clock::now() - *others).count();
        const int64_t wait = kNominalPollIntervalMs - since % kNominalPollIntervalMs;
        Timer1->setInterval(static_cast<int>(wait));
        m_joining = true;
        m_lastTick = others;
    } else if (intervalMs > 0) {
        Timer1->setInterval(intervalMs);
    }
    Timer1->start();
    if (!m_joining && Timer1->interval() == kNominalPollIntervalMs) {
        m_lastTick = std::chrono::steady_clock::now(); // the phase of this router's ticks
    }
}

void TRouter::tick() {
    if (m_joining) {
        m_joining = false;
        Timer1->setInterval(kNominalPollIntervalMs);
    }
    if (Timer1->interval() == kNominalPollIntervalMs) {
        m_lastTick = std::chrono::steady_clock::now();
    } else {
        m_lastTick.reset(); // a resynchronisation moves this router's phase
    }
    Button3Click();
}

std::optional<std::chrono::steady_clock::time_point> TRouter::LastTick() const {
    return Timer1->isActive() ? m_lastTick : std::nullopt;
}

void TRouter::StopPolling() {
    Timer1->stop();
}

bool TRouter::Polling() const {
    return Timer1->isActive();
}

void TRouter::SetPollInterval(int32_t intervalMs) {
    Timer1->setInterval(intervalMs);
}

void TRouter::StartCheckSteps() {
    CheckTimer->start();
}

void TRouter::StopCheckSteps() {
    CheckTimer->stop();
}

// TRouters

} // namespace veltrum
