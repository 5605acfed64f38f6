#include "app/Glowny.h"

#include "app/MainWindowParts.h"
#include "graphs/Opacity.h"
#include "widgets/Colors.h"
#include "widgets/Gauge.h"
#include "widgets/PlainText.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFont>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMoveEvent>
#include <QPushButton>
#include <QShowEvent>

#include <iterator>
#include <utility>

namespace veltrum {

TFormGlowny::TFormGlowny(const Monitor& monitor) : m_monitor(monitor), m_hints(monitor) {
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

    Gauge1 = MakeMainGauge(Panel2, 3, "Gauge1", kMainHintParts[1], kYellow);
    Gauge2 = MakeMainGauge(Panel2, 15, "Gauge2", kMainHintParts[2], kRed);
    Label3 = MakeRateLabel(Panel2, 4, "Label3", kMainHintParts[3]);
    Label4 = MakeRateLabel(Panel2, 40, "Label4", kMainHintParts[4]);
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
    CloseRouter1 = addItem("CloseRouter1", "Close this router", {}, &TFormGlowny::CloseRouter1Click);
    Zamknij1 = addItem("Zamknij1", "Exit", {}, &TFormGlowny::Zamknij1Click);
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
    const ViewSettings settings = m_monitor.Settings();
    Gauge1->SetForeColor(settings.DownloadColor);
    Gauge2->SetForeColor(settings.UploadColor);
    Label3->clear();
    Label4->clear();
    setWindowTitle(QString::fromStdString(settings.SessionName));
    setFailureHint(m_hints.Reason()); // the hints name the session, agent and interface just read
}

void TFormGlowny::ResetGauges() {
    Gauge1->SetProgress(0);
    Gauge2->SetProgress(0);
}

void TFormGlowny::SetUsageLines(std::optional<QuotaUse> quotaUse, std::string status, std::string notice) {
    m_hints.SetUsageLines(std::move(quotaUse), std::move(status), std::move(notice));
}

WindowPosition TFormGlowny::MainPosition() const {
    return WindowPosition{y(), x()};
}

void TFormGlowny::Button1Click() {
    const ViewSettings settings = m_monitor.Settings();
    ApplyOpacity(*this, settings.MainOpacity, settings.OpacityReady);
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

void TFormGlowny::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    TimerStayOnTop->WatchObscured();
    if (!event->spontaneous() && !m_showingAgain) {
        // The frame exists now; keep the outer size exact.
        setOuterSize(kMainOuterWidth, kMainOuterHeight);
        emit Shown();
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
        m_hints.SetMismatch(*sample.InterfaceCheck);
        setFailureHint(m_hints.Reason());
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
        const RateTexts rates = MainRateTexts(sample.DownRate, sample.UpRate, m_monitor.Locale());
        Label3->setText(QString::fromStdString(rates.Down));
        Label4->setText(QString::fromStdString(rates.Up));
        Gauge1->SetProgress(sample.Shown->DownProgress);
        Gauge2->SetProgress(sample.Shown->UpProgress);
        setFailureHint({});
        // The gauges repaint themselves when their percent changes; unchanged
        // pixels are not painted again.
        setPanelColor(palette().color(QPalette::Dark));
    }
    if (sample.ShownFailure) {
        // Whose failure: several routers' windows look alike.
        setFailureHint(sample.Session.empty() ? *sample.ShownFailure
                                              : sample.Session + ": " + *sample.ShownFailure);
        Label3->setText(QStringLiteral("Err"));
        Label4->setText(QStringLiteral("Err"));
        ResetGauges();
        setPanelColor(ColorFromBgr(kRed));
    }
    if (sample.Usage) {
        setFailureHint(m_hints.Reason());
    }
}

void TFormGlowny::setFailureHint(const std::string& reason) {
    const std::optional<MainWindowHints::Texts> texts = m_hints.Update(reason);
    if (!texts) {
        return;
    }
    // A sentence or two cannot be read in the second the usual hints stay
    // up: a reason stays as long as its length asks.
    QWidget* const parts[] = {Panel2, Gauge1, Gauge2, Label3, Label4};
    for (size_t i = 0; i < std::size(parts); ++i) {
        QWidget* const part = parts[i];
        part->setToolTip(PlainHint(QString::fromStdString(texts->Hints[i])));
        part->setToolTipDuration(texts->Failing || texts->Warning ? -1 : kMainHintDurationMs);
    }
}

void TFormGlowny::setPanelColor(const QColor& color) {
    QPalette palette = Panel2->palette();
    palette.setColor(QPalette::Window, color);
    Panel2->setPalette(palette);
}

} // namespace veltrum
