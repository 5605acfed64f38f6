#include "app/Glowny.h"

#include "app/ProfileCommands.h"
#include "core/InterfaceCheck.h"
#include "core/MainWindowHint.h"
#include "core/SettingsTable.h"
#include "core/StartupLoad.h"
#include "dialogs/Interfejsy.h"
#include "dialogs/Konfiguracja.h"
#include "dialogs/Oprogramie.h"
#include "graphs/Opacity.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"
#include "history/UsageRecorder.h"
#include "settings/IniFile.h"
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
    : m_configDir(std::move(configDir)), m_chosenProfile(std::move(chosenProfile)),
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

    // The stored design values; the restart and every poll replace both
    // before anything is sent.
    SNMP.ReceiveTimeout = 200;
    SNMP.SetCommunity("zintu");

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
    connect(CheckTimer, &QTimer::timeout, this, [this] { stepInterfaceCheck(); });
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
    RemoveStaleTemporaries(m_configDir, m_state.ProfilePath);
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
    for (TGraphWindow* graph : std::initializer_list<TGraphWindow*>{m_wykres, m_wykresPkt}) {
        if (graph != nullptr) {
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
    WritePointerFile(m_configDir, profilePath);
    // From now on app.ini decides, as it does without --profile.
    m_chosenProfile.clear();
}

void TFormGlowny::FormCreate() {
    const std::vector<ScreenArea> screens = screenAreas();
    const WindowPosition saved = LoadMonitorState(m_state, m_configDir, screens, m_chosenProfile);
    const WindowPosition position =
        PlaceBesideOthers(saved, kOuterWidth, kOuterHeight, m_runningCopies.Others(), screens);
    setOuterSize(kOuterWidth, kOuterHeight);
    move(position.Left, position.Top);
    recordPlace();
    Gauge1->SetForeColor(m_state.DownloadColor);
    Gauge2->SetForeColor(m_state.UploadColor);

    SNMP.QueryMessage.ResetMessage();
    try {
        SNMP.SetActive(true);
    } catch (const std::exception&) {
        // No socket now: the first poll fails, shows "Err" and asks for a new one.
    }

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
    ClearHistories(m_state);
    try {
        SNMP.Host = m_state.AgentHost;
        SNMP.SetCommunity(m_state.AgentCommunity);
        m_state.MissedPolls = 0;
        m_state.PollCount = 0;
        m_state.PacketPollCount = 0;
        Gauge1->SetProgress(0);
        Gauge2->SetProgress(0);
        Timer1->setInterval(1000);
        Timer1->start();
        if (m_wykres != nullptr) {
            m_wykres->ConfigureForRestart();
        }
        if (m_wykresPkt != nullptr) {
            m_wykresPkt->ConfigureForRestart();
        }
        startUsage();
        // A renumbered interface is followed by its description before the
        // first reading; a walk of the agent's table takes the reading
        // along when it ends.
        if (Timer1->isActive() && startInterfaceCheck(true)) {
            Button3Click(); // the first reading without waiting a full interval
        }
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
    if (m_usage) {
        m_usage->Close(); // the counts since the last minute's write
    }
    const bool saved = RunGuarded(this, [this] {
        TIniFile ini(m_state.ProfilePath);
        // The flags go first: closing a graph window clears its flag, and the
        // profile must remember which windows were open at the end.
        SaveSetting(ini, SettingKey::PokazWykres, m_state);
        SaveSetting(ini, SettingKey::PokazWykresPkt, m_state);
        if (m_wykres != nullptr) {
            m_wykres->CloseGraph();
        }
        if (m_wykresPkt != nullptr) {
            m_wykresPkt->CloseGraph();
        }
        WriteSettingInteger(ini, SettingKey::PozTop, y());
        WriteSettingInteger(ini, SettingKey::PozLeft, x());
        SaveSetting(ini, SettingKey::PozTopWykres, m_state);
        SaveSetting(ini, SettingKey::PozLeftWykres, m_state);
        SaveSetting(ini, SettingKey::PozTopWykresPkt, m_state);
        SaveSetting(ini, SettingKey::PozLeftWykresPkt, m_state);
    });
    if (!saved) {
        return;
    }
    // No poll or start-up check may run inside the fade's event processing.
    Timer1->stop();
    Timer2->stop();
    CheckTimer->stop();
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
    Timer1->stop();
}

void TFormGlowny::ResumePolling() {
    // A running timer would start its interval again: a dialog that resumes
    // after a restart already started it must not shift the poll's phase.
    if (!Timer1->isActive()) {
        Timer1->start();
    }
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

void TFormGlowny::Button1Click() {
    ApplyOpacity(*this, m_state.MainOpacity, m_state.OpacityReady);
}

void TFormGlowny::Button3Click() {
    if (m_check) {
        return; // the interface is being looked for: its reading would belong to no one
    }
    RunPollCycle(m_state, SNMP, *this, systemNumberLocale());
}

bool TFormGlowny::startInterfaceCheck(bool atRestart) {
    m_check.emplace(m_state);
    m_checkAtRestart = atRestart;
    CheckTimer->stop();
    if (m_check->Step(m_state, SNMP)) {
        const InterfaceCheck check = m_check->Result();
        m_check.reset();
        if (atRestart) {
            ShowInterfaceCheck(InterfaceCheckText(check));
        } else {
            ApplyInterfaceCheck(m_state, check, *this); // only a walk ever switches
        }
        return true;
    }
    // Waiting, visibly: the labels show that no reading is due, the hint why.
    const InterfaceCheck& check = m_check->Result();
    Label3->setText(QStringLiteral("..."));
    Label4->setText(QStringLiteral("..."));
    Gauge1->SetProgress(0);
    Gauge2->SetProgress(0);
    ShowInterfaceCheck("Interface " + std::to_string(check.Number) + " is now " +
                       (check.Seen.empty() ? std::string("no interface") : "\"" + check.Seen + "\"") +
                       "; looking for \"" + check.Description + "\" among the agent's interfaces...");
    CheckTimer->start();
    return false;
}

void TFormGlowny::stepInterfaceCheck() {
    if (!m_check) {
        CheckTimer->stop();
        return;
    }
    if (!m_check->Step(m_state, SNMP)) {
        return;
    }
    CheckTimer->stop();
    const InterfaceCheck check = m_check->Result();
    m_check.reset();
    ShowInterfaceCheck(InterfaceCheckText(check));
    if (!m_checkAtRestart) {
        ApplyInterfaceCheck(m_state, check, *this);
        // The polls waited for the walk: the reading before it and the time
        // it took belong to no interval, so the next reading only primes,
        // and the run of failed polls that asked for the check is over.
        m_state.PrimeNextReading = m_state.PollCount > 0 || m_state.PacketPollCount > 0;
        m_state.MissedPolls = 0;
    }
    if (Timer1->isActive()) {
        Button3Click(); // the reading the walk held back
    }
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
    if (!event->spontaneous()) {
        // The frame exists now; keep the outer size exact.
        setOuterSize(kOuterWidth, kOuterHeight);
        FormShow();
    }
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

// PollView: what the poll cycle shows.

void TFormGlowny::SetGaugeMaxima(int32_t downMax, int32_t upMax) {
    Gauge1->SetMaxValue(downMax);
    Gauge2->SetMaxValue(upMax);
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

void TFormGlowny::RefreshBandwidthGraph(const GraphTexts& texts) {
    if (m_wykres != nullptr) {
        m_wykres->Refresh(texts);
    }
}

void TFormGlowny::RefreshPacketsGraph(const GraphTexts& texts) {
    if (m_wykresPkt != nullptr) {
        m_wykresPkt->Refresh(texts);
    }
}

void TFormGlowny::SetResyncMark(const std::string& text) {
    if (m_wykresPkt != nullptr) {
        m_wykresPkt->SetResyncMark(QString::fromStdString(text));
    }
}

void TFormGlowny::SetPollInterval(int32_t ms) {
    Timer1->setInterval(ms);
}

void TFormGlowny::SaveResyncSnapshot() {
    if (m_wykresPkt != nullptr) {
        m_wykresPkt->BitBtn3Click();
    }
}

void TFormGlowny::ShowFailure(const std::string& reason) {
    setFailureHint(reason);
    Label3->setText(QStringLiteral("Err"));
    Label4->setText(QStringLiteral("Err"));
    if (m_wykres != nullptr) {
        m_wykres->ClearValues();
    }
    if (m_wykresPkt != nullptr) {
        m_wykresPkt->ClearValues();
    }
    Gauge1->SetProgress(0);
    Gauge2->SetProgress(0);
    setPanelColor(ColorFromBgr(kRed));
}

bool TFormGlowny::CheckInterface(MonitorState& /*state*/, TIdSNMP& /*snmp*/) {
    // The poll was given this window's state and client; the check's later
    // steps use them too. A walk holds the reading back.
    return startInterfaceCheck(false);
}

void TFormGlowny::ShowInterfaceCheck(const std::string& text) {
    m_interfaceMismatch = text;
    setFailureHint(m_failureReason);
}

void TFormGlowny::SetUsageDatabase(std::string path) {
    m_usagePath = std::move(path);
}

void TFormGlowny::startUsage() {
    if (m_usagePath.empty() || (m_usage && m_usage->Watches(m_state.AgentHost, m_state.InterfaceNumber,
                                                            m_state.InterfaceDescription))) {
        return;
    }
    m_usage.reset(); // the last interface's counts are written first
    m_usage = std::make_unique<UsageRecorder>(m_usagePath, m_state.AgentHost, m_state.InterfaceNumber,
                                              m_state.InterfaceDescription);
}

void TFormGlowny::RecordUsage(const UsageTick& tick) {
    if (!m_usage) {
        return;
    }
    // The interface check may have followed the interface to a new number.
    m_usage->Renumbered(m_state.InterfaceNumber);
    UsageTick stamped = tick;
    stamped.Time = static_cast<int64_t>(std::time(nullptr));
    m_usage->Record(stamped);
    if (const std::string notice = m_usage->TakeNotice(); !notice.empty()) {
        std::fprintf(stderr, "veltrum: %s\n", notice.c_str());
    }
    if (std::string status = m_usage->StatusText(); status != m_usageStatus) {
        m_usageStatus = std::move(status);
        if (!m_usageStatus.empty()) {
            std::fprintf(stderr, "veltrum: %s\n", m_usageStatus.c_str());
        }
    }
}

void TFormGlowny::setFailureHint(const std::string& reason) {
    m_failureReason = reason;
    const std::string& failure = reason.empty() ? m_interfaceMismatch : reason;
    const bool failing = !failure.empty();
    // Every poll passes here: the hints are set only when their text changes.
    const std::string shown = failing ? failure : MainWindowHint({}, m_state);
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
        const std::string text = failing ? failure : MainWindowHint(part, m_state);
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
