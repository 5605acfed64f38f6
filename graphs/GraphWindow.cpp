#include "graphs/GraphWindow.h"

#include "graphs/GraphCommon.h"
#include "graphs/Opacity.h"
#include "widgets/Chart.h"
#include "widgets/ErrorBox.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include <utility>

namespace veltrum {

namespace {

// Long enough to read a path, short enough not to stay over the chart.
constexpr int kSaveNoteMs = 5000;

} // namespace

TGraphWindow::TGraphWindow(Monitor& monitor, BitmapFolder pictures, const GraphWindowKind& kind,
                           QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_monitor(monitor), m_kind(kind), m_pictures(std::move(pictures)) {
    setObjectName(QLatin1String(kind.ObjectName));
    move(kind.DesignPlace);
    // The window font, 8 pt, as the main window's.
    QFont windowFont = font();
    windowFont.setPointSize(8);
    setFont(windowFont);
    // Only the main window's closing ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kGraphClientWidth, kGraphClientHeight);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    // The chart fills the fixed client area. Placed directly rather than by a
    // layout, it has its size before the window is ever shown, so a bitmap
    // saved from a hidden window is as large as the one from a shown window.
    m_chart = new TChart(this);
    m_chart->setObjectName(QLatin1String(kind.ChartName));
    m_chart->setGeometry(0, 0, kGraphClientWidth, kGraphClientHeight);
    m_chart->SetAxisTitle(QLatin1String(kind.AxisTitle));

    QLabel** const labels[] = {&Label5, &Label6, &Label7, &Label8, &Label3, &Label1, &Label4, &Label2};
    for (size_t i = 0; i < kind.Labels.size(); ++i) {
        const GraphOverlay& place = kind.Labels[i];
        *labels[i] = AddOverlayLabel(m_chart, place.Left, place.Top, QString::fromUtf8(place.Text));
    }

    PopupMenu1 = new QMenu(this);
    Close1 = PopupMenu1->addAction(QStringLiteral("Close"));
    PopupMenu1->addSeparator();
    Print1 = PopupMenu1->addAction(QStringLiteral("Print"));
    SaveAsBMP1 = PopupMenu1->addAction(QStringLiteral("Save as BMP"));
    Reset1 = PopupMenu1->addAction(QStringLiteral("Reset"));
    connect(Close1, &QAction::triggered, this, [this] { RunGuarded(this, [this] { BitBtn2Click(); }); });
    connect(Print1, &QAction::triggered, this, [this] { RunGuarded(this, [this] { BitBtn4Click(); }); });
    connect(SaveAsBMP1, &QAction::triggered, this, [this] { RunGuarded(this, [this] { BitBtn3Click(); }); });
    connect(Reset1, &QAction::triggered, this, [this] { RunGuarded(this, [this] { BitBtn1Click(); }); });
    m_chart->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_chart, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(m_chart->mapToGlobal(pos)); });

    Button1 = new QPushButton(QStringLiteral("Transparent"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->hide();
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    const auto addShortcut = [this](Qt::Key key, std::function<void()> TGraphWindow::*handler) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(key));
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, [this, handler] {
            if (this->*handler) {
                (this->*handler)();
            }
        });
    };
    addShortcut(Qt::Key_F11, &TGraphWindow::m_showBandwidth);
    addShortcut(Qt::Key_F12, &TGraphWindow::m_showPackets);
}

void TGraphWindow::SetGraphShortcuts(std::function<void()> showBandwidth, std::function<void()> showPackets) {
    m_showBandwidth = std::move(showBandwidth);
    m_showPackets = std::move(showPackets);
}

void TGraphWindow::styleRateSeries() {
    Series1->SetTitle(QStringLiteral("Download"));
    Series1->SetPenWidth(2);
    Series2->SetPenWidth(2);
    Series3->SetPenWidth(1);
    Series4->SetPenWidth(1);
    Series3->SetPenStyle(TPenStyle::Dot);
    Series4->SetPenStyle(TPenStyle::Dot);
    Series1->SetPenColor(kYellow);
    Series3->SetPenColor(kYellow);
    Series2->SetPenColor(kRed);
    Series4->SetPenColor(kRed);
}

void TGraphWindow::refillOwnSeries(int32_t /*length*/) {}

void TGraphWindow::Button1Click() {
    const ViewSettings settings = m_monitor.Settings();
    ApplyOpacity(*this, settings.GraphOpacity, settings.OpacityReady);
}

void TGraphWindow::setCaption() {
    setWindowTitle(QString::fromStdString(m_monitor.Settings().SessionName) +
                   QLatin1String(m_kind.CaptionSuffix));
}

void TGraphWindow::applyLineRules(bool forRestart) {
    const bool averages = m_monitor.Settings().ShowAverages;
    Series3->SetPenVisible(averages);
    Series4->SetPenVisible(averages);
    applyScaleRules(forRestart);
}

void TGraphWindow::ConfigureForRestart() {
    Button1Click();
    setCaption();
    applyLineRules(true);
}

void TGraphWindow::Refresh(const GraphTexts& texts) {
    m_chart->ClearTitle();
    m_chart->AddTitleLine(QString::fromStdString(texts.TitleLine1));
    m_chart->AddTitleLine(QString::fromStdString(texts.TitleLine2));

    const ViewSettings settings = m_monitor.Settings();
    const int32_t n = settings.GraphSlots;
    RefillSeries(*Series1, m_lines.Down, n, settings.DownloadColor);
    RefillSeries(*Series2, m_lines.Up, n, settings.UploadColor);
    RefillSeries(*Series3, m_lines.DownAvg, n, settings.DownloadColor);
    RefillSeries(*Series4, m_lines.UpAvg, n, settings.UploadColor);
    refillOwnSeries(n);

    SetOverlayText(Label1, QString::fromStdString(texts.Label1));
    SetOverlayText(Label2, QString::fromStdString(texts.Label2));
    SetOverlayText(Label6, QString::fromStdString(texts.Label6));
    SetOverlayText(Label8, QString::fromStdString(texts.Label8));
    // Which counters the rates come from: with SNMPv2c the 64-bit ones, or
    // the 32-bit ones after the fallback.
    const QString hint = QString::fromStdString(texts.Hint);
    if (m_chart->toolTip() != hint) {
        m_chart->setToolTip(hint);
        m_chart->setToolTipDuration(1000);
    }
}

void TGraphWindow::OnSample(const PollSample& sample) {
    if (sample.ResyncMark) {
        showResyncMark(*sample.ResyncMark);
    }
    if (sample.LinesCleared) {
        ZeroLines(m_lines, *sample.LinesCleared); // the restart cleared the state's histories
    }
    if (const std::optional<GraphStep>& step = sample.*m_kind.Lines) {
        ApplyGraphStep(m_lines, *step);
    }
    if (const std::optional<GraphTexts> texts = m_kind.Texts(sample, m_monitor.Locale())) {
        Refresh(*texts);
    }
    if (sample.ShownFailure) {
        ClearValues();
    }
}

void TGraphWindow::ClearValues() {
    for (QLabel* label : {Label1, Label2, Label6, Label8}) {
        SetOverlayText(label, QString());
    }
}

void TGraphWindow::ShowGraph() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show();
}

void TGraphWindow::CloseGraph() {
    FormClose();
    hide();
}

void TGraphWindow::FormShow() {
    GraphWindowPlace place = m_monitor.GraphPlace(m_kind.Side);
    place.Open = true;
    m_monitor.SetGraphPlace(m_kind.Side, place);
    Button1Click();
    move(place.Left, place.Top);
    ClearValues();
    setCaption();
    const ViewSettings settings = m_monitor.Settings();
    Series1->SetPenColor(settings.DownloadColor);
    Series3->SetPenColor(settings.DownloadColor);
    Series2->SetPenColor(settings.UploadColor);
    Series4->SetPenColor(settings.UploadColor);
    Series3->SetPenStyle(TPenStyle::Dot);
    Series4->SetPenStyle(TPenStyle::Dot);
    applyLineRules(false);
}

void TGraphWindow::FormClose() {
    m_monitor.SetGraphPlace(m_kind.Side, {.Open = false, .Top = pos().y(), .Left = pos().x()});
}

void TGraphWindow::BitBtn1Click() {
    // Only the lines of this side start again; lines of the window's own (the
    // scale maxima) keep their points so the axis does not collapse before
    // the next refresh. Title and labels wait for that refresh too.
    ZeroLines(m_lines, m_monitor.ResetGraphSide(m_kind.Side));
    for (TLineSeries* s : {Series1, Series2, Series3, Series4}) {
        s->RemoveAllPoints();
    }
}

void TGraphWindow::BitBtn2Click() {
    CloseGraph();
}

void TGraphWindow::BitBtn3Click() {
    if (m_saveNote != nullptr) {
        m_saveNote->hide(); // a failed save must not seem to have written the last file again
    }
    showSaveNote(SaveGraphBitmap(*m_chart, m_pictures, m_monitor.Settings().SessionName, m_kind.BitmapSide));
}

void TGraphWindow::showSaveNote(const QString& path) {
    // Made at the first save: most sessions never save.
    if (m_saveNote == nullptr) {
        // A child of the window, not of the chart: the chart's bitmap never holds it.
        m_saveNote = new QLabel(this);
        m_saveNote->setObjectName(QStringLiteral("SaveNote"));
        m_saveNote->setTextFormat(Qt::PlainText); // the session name is part of the path
        m_saveNote->setAutoFillBackground(true);
        m_saveNote->setBackgroundRole(QPalette::ToolTipBase);
        m_saveNote->setForegroundRole(QPalette::ToolTipText);
        m_saveNote->setMargin(2);
        m_saveNote->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_saveNoteTimer = new QTimer(this);
        m_saveNoteTimer->setSingleShot(true);
        m_saveNoteTimer->setInterval(kSaveNoteMs);
        connect(m_saveNoteTimer, &QTimer::timeout, m_saveNote, &QWidget::hide);
    }
    const QString text = QStringLiteral("Saved as ") + QDir::toNativeSeparators(path);
    m_saveNote->setText(m_saveNote->fontMetrics().elidedText(text, Qt::ElideMiddle, width() - 16));
    m_saveNote->adjustSize();
    m_saveNote->move(6, height() - m_saveNote->height() - 6);
    m_saveNote->show();
    m_saveNote->raise();
    m_saveNoteTimer->start();
}

void TGraphWindow::BitBtn4Click() {
    m_chart->PrintChartLandscape();
}

void TGraphWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Qt sends this before the native window is mapped, so the window appears
    // at its stored place. A window manager's own re-show is not a new opening.
    if (!event->spontaneous()) {
        RunGuarded(this, [this] { FormShow(); });
    }
}

void TGraphWindow::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

} // namespace veltrum
