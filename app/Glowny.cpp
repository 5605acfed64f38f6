#include "app/Glowny.h"

#include "core/MainWindowHint.h"
#include "graphs/Opacity.h"
#include "widgets/Colors.h"
#include "widgets/Gauge.h"
#include "widgets/PlainText.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFont>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMoveEvent>
#include <QPushButton>
#include <QShowEvent>

#include <utility>

namespace veltrum {

namespace {

constexpr uint32_t kGaugeGround = 0x00808080;
constexpr int kHintDurationMs = 1000;
const char kGauge1Hint[] = "Download";
const char kGauge2Hint[] = "Upload";
const char kLabel3Hint[] = "Download (Mbps)";
const char kLabel4Hint[] = "Upload (Mbps)";

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

TFormGlowny::TFormGlowny(const MonitorState& state) : m_state(state) {
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

    // A hidden button that carries an operation other code calls.
    Button1 = new QPushButton(QStringLiteral("Transparent"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->hide();
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    TimerStayOnTop = new StayOnTopSwitch(*this);
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
    Openanother1 = addItem("Openanother1", "Open another profile...", {}, &TFormGlowny::Openanother1Click);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
    v090b11 = addItem("v090b11", "About...", QKeySequence(Qt::Key_F1), &TFormGlowny::v090b11Click);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N3"));
    Zamknij1 = addItem("Zamknij1", "Exit", {}, &TFormGlowny::Zamknij1Click);
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

void TFormGlowny::setOuterSize(int width, int height) {
    // Qt sizes the client area; the frame is known once the window manager
    // has framed the window, so the client is what remains of the outer size.
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize client(std::max(1, width - frame.width()), std::max(1, height - frame.height()));
    resize(client);
    Panel2->setGeometry(0, 0, client.width(), client.height());
}

void TFormGlowny::Configure(WindowPosition position) {
    setOuterSize(kMainOuterWidth, kMainOuterHeight);
    move(position.Left, position.Top);
    Gauge1->SetForeColor(m_state.DownloadColor);
    Gauge2->SetForeColor(m_state.UploadColor);
    Label3->clear();
    Label4->clear();
    setWindowTitle(QString::fromStdString(m_state.SessionName));
    setFailureHint(m_failureReason); // the hints name the session, agent and interface just read
}

void TFormGlowny::ResetGauges() {
    Gauge1->SetProgress(0);
    Gauge2->SetProgress(0);
}

void TFormGlowny::SetUsageLines(std::optional<QuotaUse> quotaUse, std::string status, std::string notice) {
    m_quotaUse = std::move(quotaUse);
    m_usageStatus = std::move(status);
    m_usageNotice = std::move(notice);
}

WindowPosition TFormGlowny::MainPosition() const {
    return WindowPosition{y(), x()};
}

void TFormGlowny::Button1Click() {
    ApplyOpacity(*this, m_state.MainOpacity, m_state.OpacityReady);
}

void TFormGlowny::TimerStayOnTopTimer() {
    // A settings dialog not yet made is not open either.
    if (m_settingsDialog == nullptr || !m_settingsDialog->isActiveWindow()) {
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

void TFormGlowny::Pokawykres1Click() {
    emit GraphAsked(false);
}

void TFormGlowny::Showpacketsgraph1Click() {
    emit GraphAsked(true);
}

void TFormGlowny::Usage1Click() {
    emit UsageAsked();
}

void TFormGlowny::Konfiguracja1Click() {
    emit SettingsAsked();
}

void TFormGlowny::Loadprofile1Click() {
    emit LoadProfileAsked();
}

void TFormGlowny::Saveprofile1Click() {
    emit SaveProfileAsked();
}

void TFormGlowny::Openanother1Click() {
    emit AnotherProfileAsked();
}

void TFormGlowny::v090b11Click() {
    emit AboutAsked();
}

void TFormGlowny::Zamknij1Click() {
    close();
}

void TFormGlowny::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    TimerStayOnTop->WatchObscured();
    if (!event->spontaneous()) {
        // The frame exists now; keep the outer size exact.
        setOuterSize(kMainOuterWidth, kMainOuterHeight);
        emit Shown();
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
    emit Closing();
    event->accept();
    emit Closed();
}

void TFormGlowny::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    emit Moved();
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
        m_interfaceMismatch = *sample.InterfaceCheck;
        setFailureHint(m_failureReason);
    }
    if (sample.GaugeMaxima) {
        Gauge1->SetMaxValue(sample.GaugeMaxima->first);
        Gauge2->SetMaxValue(sample.GaugeMaxima->second);
    }
    if (sample.Result == PollSample::Outcome::Waiting) {
        // No reading is due while the interface is looked for.
        Label3->setText(QStringLiteral("..."));
        Label4->setText(QStringLiteral("..."));
        ResetGauges();
    }
    if (sample.Shown) {
        showRates(*sample.Shown);
    }
    if (sample.ShownFailure) {
        showFailure(*sample.ShownFailure);
    }
    if (sample.Usage) {
        setFailureHint(m_failureReason);
    }
}

void TFormGlowny::showRates(const PollSample::Rates& rates) {
    Label3->setText(QString::fromStdString(rates.Label3));
    Label4->setText(QString::fromStdString(rates.Label4));
    Gauge1->SetProgress(rates.DownProgress);
    Gauge2->SetProgress(rates.UpProgress);
    setFailureHint({});
    // The gauges repaint themselves when their percent changes; unchanged
    // pixels are not painted again.
    setPanelColor(palette().color(QPalette::Dark));
}

void TFormGlowny::showFailure(const std::string& reason) {
    setFailureHint(reason);
    Label3->setText(QStringLiteral("Err"));
    Label4->setText(QStringLiteral("Err"));
    ResetGauges();
    setPanelColor(ColorFromBgr(kRed));
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
