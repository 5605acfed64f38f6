#include "app/Glowny.h"

#include "app/ProfileCommands.h"
#include "core/MainWindowHint.h"
#include "core/Quota.h"
#include "core/StartupLoad.h"
#include "core/UsageRecording.h"
#include "dialogs/Interfejsy.h"
#include "dialogs/Konfiguracja.h"
#include "dialogs/Oprogramie.h"
#include "graphs/Opacity.h"
#include "graphs/UsageWindow.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"
#include "settings/ProfileFiles.h"
#include "widgets/Colors.h"
#include "widgets/ErrorBox.h"
#include "widgets/Gauge.h"
#include "widgets/PlainText.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMoveEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <tuple>
#include <utility>
#include <vector>

namespace veltrum {

namespace {

constexpr uint32_t kGaugeGround = 0x00808080;
constexpr int kHintDurationMs = 1000;
const char kGauge1Hint[] = "Download";
const char kGauge2Hint[] = "Upload";
const char kLabel3Hint[] = "Download (Mbps)";
const char kLabel4Hint[] = "Upload (Mbps)";
constexpr int kOuterWidth = 33;
constexpr int kOuterHeight = 68;

QTimer* makeTimer(QObject* parent, int intervalMs) {
    auto* timer = new QTimer(parent);
    timer->setInterval(intervalMs);
    return timer;
}

TGauge* makeGauge(QWidget* parent, int left, const char* name, const char* hint, uint32_t colour) {
    auto* gauge = new TGauge(parent);
    gauge->setObjectName(QString::fromLatin1(name));
    gauge->setGeometry(left, 5, 9, 35);
    gauge->SetKind(gkVerticalBar);
    gauge->SetBorderStyle(bsNone);
    gauge->SetShowText(false);
    gauge->SetBackColor(kGaugeGround);
    gauge->SetForeColor(colour);
    gauge->SetMinValue(0);
    gauge->SetMaxValue(2000);
    gauge->SetProgress(0);
    gauge->setToolTip(QString::fromLatin1(hint));
    gauge->setToolTipDuration(kHintDurationMs);
    return gauge;
}

QLabel* makeRateLabel(QWidget* parent, int left, const char* name, const char* hint) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(left, 202, 34, 12);
    label->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    label->setFont(font);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setToolTip(QString::fromLatin1(hint));
    label->setToolTipDuration(kHintDurationMs);
    return label;
}

NumberLocale systemNumberLocale() {
    const QLocale locale = QLocale::system();
    return NumberLocale{locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()};
}

} // namespace

TFormGlowny::TFormGlowny(std::string configDir, std::string chosenProfile, std::string runningCopiesDir)
    : m_monitor(std::move(configDir), std::move(chosenProfile), *this),
      m_runningCopies(std::move(runningCopiesDir), static_cast<int32_t>(::getpid())) {
    setObjectName(QStringLiteral("FormGlowny"));
    // A tool window (small caption, off the task bar) that floats above the rest.
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    // The window is seldom the active one, and its hints (a failure's reason
    // above all) must show all the same.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setAutoFillBackground(true);
    // Its own role: a child would otherwise take the window's button face.
    Panel2->setBackgroundRole(QPalette::Window);
    setPanelColor(palette().color(QPalette::Dark));
    Panel2->installEventFilter(this);

    Gauge1 = makeGauge(Panel2, 3, "Gauge1", kGauge1Hint, kYellow);
    Gauge2 = makeGauge(Panel2, 15, "Gauge2", kGauge2Hint, kRed);
    Label3 = makeRateLabel(Panel2, 4, "Label3", kLabel3Hint);
    Label4 = makeRateLabel(Panel2, 40, "Label4", kLabel4Hint);
    Label3->installEventFilter(this);
    Label4->installEventFilter(this);

    // Hidden buttons that carry operations other code calls.
    Button1 = new QPushButton(QStringLiteral("Transparent"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->hide();
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    Button3 = new QPushButton(QStringLiteral("SNMP"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->hide();
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });

    // The main window draws every sample first; the graph windows subscribe
    // when they are handed over.
    m_monitor.Subscribe(*this);
    m_monitor.SetClock([this] { return NowText(); }, systemNumberLocale());

    Timer1 = makeTimer(this, 1000);
    // Every reading counts as one interval, and a resynchronisation moves the
    // poll's phase by lengthening intervals by 25 ms or less: a coarse timer,
    // free to shift a tick by 5 %, would round those back to whole seconds.
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer2 = makeTimer(this, 25);
    TimerWWW = makeTimer(this, 100);
    CheckTimer = makeTimer(this, 0);
    TimerStayOnTop = new StayOnTopSwitch(*this);
    connect(Timer1, &QTimer::timeout, this, [this] { Button3Click(); });
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    connect(TimerWWW, &QTimer::timeout, this, [this] { TimerWWWTimer(); });
    connect(CheckTimer, &QTimer::timeout, this, [this] { m_monitor.StepInterfaceCheck(); });
    connect(TimerStayOnTop, &StayOnTopSwitch::timeout, this, [this] { TimerStayOnTopTimer(); });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto addItem = [this](const char* name, const char* caption, QKeySequence shortcut,
                          void (TFormGlowny::*handler)()) {
        QAction* action = PopupMenu1->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        if (!shortcut.isEmpty()) {
            action->setShortcut(shortcut);
            action->setShortcutContext(Qt::WindowShortcut);
            addAction(action); // the shortcut works while this window has the focus
        }
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    Pokawykres1 = addItem("Pokawykres1", "Show bandwidth graph", QKeySequence(Qt::Key_F11),
                          &TFormGlowny::Pokawykres1Click);
    Showpacketsgraph1 = addItem("Showpacketsgraph1", "Show packets graph", QKeySequence(Qt::Key_F12),
                                &TFormGlowny::Showpacketsgraph1Click);
    // F9: the first function key no other command uses.
    Usage1 = addItem("Usage1", "Usage...", QKeySequence(Qt::Key_F9), &TFormGlowny::Usage1Click);
    Konfiguracja1 = addItem("Konfiguracja1", "Settings", {}, &TFormGlowny::Konfiguracja1Click);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N2"));
    Loadprofile1 = addItem("Loadprofile1", "Load profile", {}, &TFormGlowny::Loadprofile1Click);
    Saveprofile1 = addItem("Saveprofile1", "Save as new profile", {}, &TFormGlowny::Saveprofile1Click);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
    v090b11 = addItem("v090b11", "About...", QKeySequence(Qt::Key_F1), &TFormGlowny::v090b11Click);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N3"));
    Zamknij1 = addItem("Zamknij1", "Exit", {}, &TFormGlowny::Zamknij1Click);

    // The window's creation runs the start-up load; the other windows do not
    // exist yet and are not touched.
    FormCreate();
    // A write killed before its rename leaves a hidden copy of the profile
    // (community string included) beside it; clear those once per start.
    RemoveStaleTemporaries(ConfigDir(), m_state.ProfilePath);
}

TFormGlowny::~TFormGlowny() = default;

QFileDialog* TFormGlowny::OpenDialog1() {
    if (m_openDialog1 == nullptr) {
        m_openDialog1 = new QFileDialog(this);
        m_openDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    }
    return m_openDialog1;
}

QFileDialog* TFormGlowny::SaveDialog1() {
    if (m_saveDialog1 == nullptr) {
        m_saveDialog1 = new QFileDialog(this);
        m_saveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    }
    return m_saveDialog1;
}

void TFormGlowny::SetForms(TFormKonfiguracja* konfiguracja, TFormOprogramie* oprogramie,
                           TFormWykresPkt* wykresPkt, TFormInterfejsy* interfejsy, TFormWykres* wykres) {
    m_konfiguracja = konfiguracja;
    m_oprogramie = oprogramie;
    m_wykresPkt = wykresPkt;
    m_interfejsy = interfejsy;
    m_wykres = wykres;
    connectGraphShortcuts();
}

void TFormGlowny::SetForms(DialogMakers dialogs, TFormWykresPkt* wykresPkt, TFormWykres* wykres) {
    m_dialogMakers = std::move(dialogs);
    m_wykresPkt = wykresPkt;
    m_wykres = wykres;
    connectGraphShortcuts();
}

void TFormGlowny::connectGraphShortcuts() {
    // After this window, the bandwidth graph and then the packets graph draw
    // each sample.
    for (TGraphWindow* graph : std::initializer_list<TGraphWindow*>{m_wykres, m_wykresPkt}) {
        if (graph != nullptr) {
            m_monitor.Subscribe(*graph);
            graph->SetGraphShortcuts([this] { Pokawykres1Click(); }, [this] { Showpacketsgraph1Click(); });
        }
    }
}

TFormKonfiguracja* TFormGlowny::konfiguracja() {
    if (m_konfiguracja == nullptr && m_dialogMakers.Konfiguracja) {
        std::tie(m_konfiguracja, m_interfejsy) = m_dialogMakers.Konfiguracja();
    }
    return m_konfiguracja;
}

TFormOprogramie* TFormGlowny::oprogramie() {
    if (m_oprogramie == nullptr && m_dialogMakers.Oprogramie) {
        m_oprogramie = m_dialogMakers.Oprogramie();
    }
    return m_oprogramie;
}

TFormUsage* TFormGlowny::usage() {
    if (m_usage == nullptr && m_dialogMakers.Usage) {
        m_usage = m_dialogMakers.Usage();
        if (m_usage != nullptr) {
            m_monitor.Subscribe(*m_usage);
        }
    }
    return m_usage;
}

void TFormGlowny::setOuterSize(int width, int height) {
    // Qt sizes the client area; the frame is known once the window manager
    // has framed the window, so the client is what remains of the outer size.
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize client(std::max(1, width - frame.width()), std::max(1, height - frame.height()));
    resize(client);
    Panel2->setGeometry(0, 0, client.width(), client.height());
}

// Every screen's rectangle, the primary one first; with no screen at all, one
// of 1024 x 768 stands in.
static std::vector<ScreenArea> screenAreas() {
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

void TFormGlowny::RecordCurrentProfile(const std::string& profilePath) {
    m_monitor.MakeCurrent(profilePath);
}

void TFormGlowny::FormCreate() {
    const std::vector<ScreenArea> screens = screenAreas();
    const WindowPosition saved = m_monitor.Load(screens);
    const WindowPosition position =
        PlaceBesideOthers(saved, kOuterWidth, kOuterHeight, m_runningCopies.Others(), screens);
    setOuterSize(kOuterWidth, kOuterHeight);
    move(position.Left, position.Top);
    recordPlace();
    Gauge1->SetForeColor(m_state.DownloadColor);
    Gauge2->SetForeColor(m_state.UploadColor);

    Label3->clear();
    Label4->clear();
    setWindowTitle(QString::fromStdString(m_state.SessionName));
    setFailureHint(m_failureReason); // the hints name the session, agent and interface just read
}

void TFormGlowny::recordPlace() {
    // The outer size is fixed; before the first show the frame is not known yet.
    m_runningCopies.Record({x(), y(), kOuterWidth, kOuterHeight});
}

void TFormGlowny::FormShow() {
    Button1Click();
    try {
        m_monitor.BeginRestart();
        Gauge1->SetProgress(0);
        Gauge2->SetProgress(0);
        if (m_wykres != nullptr) {
            m_wykres->ConfigureForRestart();
        }
        if (m_wykresPkt != nullptr) {
            m_wykresPkt->ConfigureForRestart();
        }
        m_monitor.CheckInterfaceAndPoll();
        if (m_state.GraphWindowOpen && m_wykres != nullptr) {
            m_wykres->ShowGraph();
        }
        if (m_state.PacketGraphWindowOpen && m_wykresPkt != nullptr) {
            m_wykresPkt->ShowGraph();
        }
        update();
        Timer2->start();
        TimerStayOnTop->start();
    } catch (const std::exception&) {
        // A restart that cannot finish stays quiet; the remaining steps wait
        // for the next restart.
    }
}

void TFormGlowny::FormClose() {
    // The fade lets the window system's events through; a second close
    // arriving meanwhile must not save and fade again.
    static bool fading = false;
    if (fading) {
        return;
    }
    const bool saved = RunGuarded(this, [this] {
        // The flags go first: closing a graph window clears its flag, and the
        // profile must remember which windows were open at the end.
        m_monitor.SaveWindowFlags();
        if (m_wykres != nullptr) {
            m_wykres->CloseGraph();
        }
        if (m_wykresPkt != nullptr) {
            m_wykresPkt->CloseGraph();
        }
        m_monitor.SaveWindowPositions(MainPosition());
    });
    if (!saved) {
        return;
    }
    // No poll or start-up check may run inside the fade's event processing.
    m_monitor.Stop();
    Timer2->stop();
    fading = true;
    FadeOut(
        m_state,
        [this] {
            Button1Click();
            // Each level must reach the window system before the next, or
            // the whole fade stays queued until the loop ends and is never
            // seen. Processing events alone does not flush the connection
            // when no event is waiting; sync waits until the server has it.
            QGuiApplication::sync();
        },
        [] { QThread::msleep(1); });
    fading = false;
}

WindowPosition TFormGlowny::MainPosition() const {
    return WindowPosition{y(), x()};
}

void TFormGlowny::PausePolling() {
    m_monitor.PausePolling();
}

void TFormGlowny::ResumePolling() {
    m_monitor.ResumePolling();
}

void TFormGlowny::PauseStayOnTop() {
    TimerStayOnTop->stop();
}

void TFormGlowny::ResumeStayOnTop() {
    TimerStayOnTop->start();
}

void TFormGlowny::ReloadAndRestart() {
    FormCreate();
    FormShow();
}

void TFormGlowny::ApplyMainOpacity() {
    Button1Click();
}

void TFormGlowny::ApplyGraphOpacity() {
    if (m_wykres != nullptr) {
        m_wykres->Button1Click();
    }
    if (m_wykresPkt != nullptr) {
        m_wykresPkt->Button1Click();
    }
}

void TFormGlowny::OpenWebPageSoon() {
    TimerWWW->start();
}

ProbeResult TFormGlowny::Probe(const AgentTarget& target, ProbeScope scope) {
    return m_monitor.Probe(target, scope);
}

void TFormGlowny::WriteMainPosition() {
    m_monitor.WriteMainPosition(MainPosition());
}

void TFormGlowny::WriteSettings(const DialogSettings& settings) {
    m_monitor.WriteSettings(settings);
}

std::unique_ptr<InterfaceWalkSession> TFormGlowny::StartInterfaceWalk(const AgentTarget& target) {
    return m_monitor.StartInterfaceWalk(target);
}

void TFormGlowny::Button1Click() {
    ApplyOpacity(*this, m_state.MainOpacity, m_state.OpacityReady);
}

void TFormGlowny::Button3Click() {
    m_monitor.Poll();
}

void TFormGlowny::Timer2Timer() {
    Timer2->stop();
    std::error_code ec;
    if (!std::filesystem::exists(m_state.ProfilePath, ec) && konfiguracja() != nullptr) {
        m_konfiguracja->exec();
    }
}

void TFormGlowny::TimerStayOnTopTimer() {
    // A settings dialog not yet made is not open either.
    if (m_konfiguracja == nullptr || !m_konfiguracja->isActiveWindow()) {
        if (!(windowFlags() & Qt::WindowStaysOnTopHint)) {
            setWindowFlag(Qt::WindowStaysOnTopHint, true);
            show();
            TimerStayOnTop->WatchObscured(); // the native window is a new one
        }
        if (isVisible()) {
            raise();
        }
    }
    update();
}

void TFormGlowny::TimerWWWTimer() {
    TimerWWW->stop();
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kProductUrl))); // a failure is ignored
}

void TFormGlowny::showGraphGuarded(bool packets) {
    RunGuarded(this, [this, packets] {
        if (packets && m_wykresPkt != nullptr) {
            m_wykresPkt->ShowGraph();
        } else if (!packets && m_wykres != nullptr) {
            m_wykres->ShowGraph();
        }
    });
}

void TFormGlowny::Pokawykres1Click() {
    showGraphGuarded(false);
}

void TFormGlowny::Showpacketsgraph1Click() {
    showGraphGuarded(true);
}

void TFormGlowny::Usage1Click() {
    if (usage() != nullptr) {
        m_usage->ShowUsage();
    }
}

void TFormGlowny::Konfiguracja1Click() {
    if (konfiguracja() != nullptr) {
        m_konfiguracja->exec();
    }
}

void TFormGlowny::Loadprofile1Click() {
    RunGuarded(this, [this] { Loadprofile(*this); });
}

void TFormGlowny::Saveprofile1Click() {
    RunGuarded(this, [this] { Saveprofile(*this); });
}

void TFormGlowny::v090b11Click() {
    if (oprogramie() != nullptr) {
        m_oprogramie->exec();
    }
}

void TFormGlowny::Zamknij1Click() {
    close();
}

void TFormGlowny::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    TimerStayOnTop->WatchObscured();
    if (!event->spontaneous() && !m_showingAgain) {
        // The frame exists now; keep the outer size exact.
        setOuterSize(kOuterWidth, kOuterHeight);
        FormShow();
    }
}

void TFormGlowny::ShowWithoutRestart() {
    m_showingAgain = true;
    show();
    m_showingAgain = false;
    raise();
}

void TFormGlowny::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // A minimise, a restore or another window taking the focus may have
    // moved this one down.
    if (event->type() == QEvent::WindowStateChange ||
        (event->type() == QEvent::ActivationChange && !isActiveWindow())) {
        TimerStayOnTop->Request();
    }
}

void TFormGlowny::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
    emit Closed();
}

void TFormGlowny::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    recordPlace();
}

void TFormGlowny::contextMenuEvent(QContextMenuEvent* event) {
    // The panel, the gauges and the labels all carry the one pop-up menu.
    PopupMenu1->popup(event->globalPos());
}

bool TFormGlowny::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        (watched == Panel2 || watched == Label3 || watched == Label4)) {
        Pokawykres1Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// MonitorSubscriber: a poll's sample drawn, in the order the poll reached it.

void TFormGlowny::OnSample(const PollSample& sample) {
    if (sample.InterfaceCheck) {
        ShowInterfaceCheck(*sample.InterfaceCheck);
    }
    if (sample.GaugeMaxima) {
        Gauge1->SetMaxValue(sample.GaugeMaxima->first);
        Gauge2->SetMaxValue(sample.GaugeMaxima->second);
    }
    if (sample.Result == PollSample::Outcome::Waiting) {
        // No reading is due while the interface is looked for.
        Label3->setText(QStringLiteral("..."));
        Label4->setText(QStringLiteral("..."));
        Gauge1->SetProgress(0);
        Gauge2->SetProgress(0);
    }
    if (sample.Shown) {
        ShowRates(sample.Shown->Label3, sample.Shown->Label4, sample.Shown->DownProgress,
                  sample.Shown->UpProgress);
    }
    if (sample.ShownFailure) {
        ShowFailure(*sample.ShownFailure);
    }
    if (sample.Usage) {
        checkUsage();
        setFailureHint(m_failureReason);
    }
}

// MonitorTimers

void TFormGlowny::StartPolling(int32_t intervalMs) {
    if (intervalMs > 0) {
        Timer1->setInterval(intervalMs);
    }
    Timer1->start();
}

void TFormGlowny::StopPolling() {
    Timer1->stop();
}

bool TFormGlowny::Polling() const {
    return Timer1->isActive();
}

void TFormGlowny::SetPollInterval(int32_t intervalMs) {
    Timer1->setInterval(intervalMs);
}

void TFormGlowny::StartCheckSteps() {
    CheckTimer->start();
}

void TFormGlowny::StopCheckSteps() {
    CheckTimer->stop();
}

void TFormGlowny::ShowRates(const std::string& label3, const std::string& label4, int32_t downProgress,
                            int32_t upProgress) {
    Label3->setText(QString::fromStdString(label3));
    Label4->setText(QString::fromStdString(label4));
    Gauge1->SetProgress(downProgress);
    Gauge2->SetProgress(upProgress);
    setFailureHint({});
    // The gauges repaint themselves when their percent changes; unchanged
    // pixels are not painted again.
    setPanelColor(palette().color(QPalette::Dark));
}

std::string TFormGlowny::NowText() {
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    return (locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
            locale.toString(now.time(), QLocale::LongFormat))
        .toStdString();
}

void TFormGlowny::ShowFailure(const std::string& reason) {
    setFailureHint(reason);
    Label3->setText(QStringLiteral("Err"));
    Label4->setText(QStringLiteral("Err"));
    Gauge1->SetProgress(0);
    Gauge2->SetProgress(0);
    setPanelColor(ColorFromBgr(kRed));
}

void TFormGlowny::ShowInterfaceCheck(const std::string& text) {
    m_interfaceMismatch = text;
    setFailureHint(m_failureReason);
}

std::string TFormGlowny::usualHint(std::string_view part) const {
    std::string text = MainWindowHint(part, m_state, m_quotaUse, systemNumberLocale());
    // Why the usage history does not record (a full disk, another copy
    // recording), or what it had to set aside.
    for (const std::string& line : {m_usageStatus, m_usageNotice}) {
        if (!line.empty()) {
            text += "\n" + line;
        }
    }
    return text;
}

void TFormGlowny::checkUsage() {
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    // The history is written once a minute: asking more often tells nothing new.
    if (m_usageCheckedAt != 0 && now - m_usageCheckedAt < 60) {
        return;
    }
    m_usageCheckedAt = now;
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
    m_quotaUse.reset();
    if (QuotaOf(m_state).LimitGB <= 0) {
        return;
    }
    // The notifier (app/PanelViews.h) announces the thresholds.
    m_quotaUse = PeriodQuotaUse(m_state, usage.Summary(m_state, now));
}

void TFormGlowny::setFailureHint(const std::string& reason) {
    m_failureReason = reason;
    const std::string& failure = reason.empty() ? m_interfaceMismatch : reason;
    const bool failing = !failure.empty();
    // Every poll passes here: the hints are set only when their text changes.
    const std::string shown = failing ? failure : usualHint({});
    if (failing == m_failureHint && shown == m_hintShown) {
        return;
    }
    m_failureHint = failing;
    m_hintShown = shown;
    // A sentence or two cannot be read in the second the usual hints stay
    // up: a reason stays as long as its length asks.
    const int duration = failing ? -1 : kHintDurationMs;
    const std::pair<QWidget*, const char*> hints[] = {{Panel2, ""},
                                                      {Gauge1, kGauge1Hint},
                                                      {Gauge2, kGauge2Hint},
                                                      {Label3, kLabel3Hint},
                                                      {Label4, kLabel4Hint}};
    for (const auto& [widget, part] : hints) {
        const std::string text = failing ? failure : usualHint(part);
        widget->setToolTip(PlainHint(QString::fromStdString(text)));
        widget->setToolTipDuration(duration);
    }
}

void TFormGlowny::setPanelColor(const QColor& color) {
    QPalette palette = Panel2->palette();
    palette.setColor(QPalette::Window, color);
    Panel2->setPalette(palette);
}

} // namespace veltrum
