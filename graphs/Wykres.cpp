#include "graphs/Wykres.h"

#include "app/ErrorBox.h"
#include "graphs/GraphCommon.h"
#include "graphs/Opacity.h"
#include "widgets/Chart.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>
#include <utility>

namespace veltrum {

TFormWykres::TFormWykres(MonitorState& state, std::string programDir, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_state(state), m_programDir(std::move(programDir)) {
    setObjectName(QStringLiteral("FormWykres"));
    // Only the main window's closing ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kGraphClientWidth, kGraphClientHeight);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    // The chart fills the fixed client area. Placed directly rather than by a
    // layout, it has its size before the window is ever shown, so a bitmap
    // saved from a hidden window is as large as the one from a shown window.
    Chart1 = new TChart(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setGeometry(0, 0, kGraphClientWidth, kGraphClientHeight);
    Chart1->SetAxisTitle(QStringLiteral("[kbps]"));

    // Drawing order, back to front: the flat lines under the rate lines, and
    // the upload line over the download line.
    Series4 = Chart1->AddSeries(QStringLiteral("Series4"));
    Series5 = Chart1->AddSeries(QStringLiteral("Series5"));
    Series3 = Chart1->AddSeries(QStringLiteral("Series3"));
    Series6 = Chart1->AddSeries(QStringLiteral("Series6"));
    Series1 = Chart1->AddSeries(QStringLiteral("Series1"));
    Series2 = Chart1->AddSeries(QStringLiteral("Series2"));
    Series1->SetTitle(QStringLiteral("Download"));
    Series1->SetPenWidth(2);
    Series2->SetPenWidth(2);
    for (TLineSeries* s : {Series3, Series4, Series5, Series6}) {
        s->SetPenWidth(1);
    }
    Series3->SetPenStyle(TPenStyle::Dot);
    Series4->SetPenStyle(TPenStyle::Dot);
    Series1->SetPenColor(kYellow);
    Series3->SetPenColor(kYellow);
    Series5->SetPenColor(kYellow);
    Series2->SetPenColor(kRed);
    Series4->SetPenColor(kRed);
    Series6->SetPenColor(kRed);

    Label5 = AddOverlayLabel(Chart1, 368, 15, QStringLiteral("Actual Download:"));
    Label6 = AddOverlayLabel(Chart1, 468, 15, QString());
    Label7 = AddOverlayLabel(Chart1, 384, 30, QStringLiteral("Actual Upload:"));
    Label8 = AddOverlayLabel(Chart1, 468, 30, QString());
    Label3 = AddOverlayLabel(Chart1, 556, 15, QStringLiteral("Average Download:"));
    Label1 = AddOverlayLabel(Chart1, 668, 15, QString());
    Label4 = AddOverlayLabel(Chart1, 572, 30, QStringLiteral("Average Upload:"));
    Label2 = AddOverlayLabel(Chart1, 668, 30, QString());

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
    Chart1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Chart1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(Chart1->mapToGlobal(pos)); });
    connect(Chart1, &TChart::doubleClicked, this, [this] { RunGuarded(this, [this] { Chart1DblClick(); }); });

    Button1 = new QPushButton(QStringLiteral("Transparent"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->hide();
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TFormWykres::Button1Click() {
    ApplyOpacity(*this, m_state.GraphOpacity, m_state.OpacityReady);
}

void TFormWykres::applyLineVisibility() {
    Series3->SetPenVisible(m_state.ShowAverages);
    Series4->SetPenVisible(m_state.ShowAverages);
    Series5->SetPenVisible(m_state.ShowMaxLines);
    Series6->SetPenVisible(m_state.ShowMaxLines);
}

void TFormWykres::applyAxisRule() {
    Chart1->SetAutomaticMaximum(m_state.AutoScale);
    if (m_state.AutoScale) {
        Chart1->SetMaximum(kAutoScaleMaximum);
    } else {
        // The download scale wins a tie.
        Chart1->SetMaximum(std::max(m_state.DownloadScale, m_state.UploadScale));
    }
}

void TFormWykres::ConfigureForRestart() {
    Button1Click();
    setWindowTitle(QString::fromStdString(m_state.SessionName) + QStringLiteral(" - Bandwidth graph"));
    applyLineVisibility();
    applyAxisRule();
}

void TFormWykres::Refresh(const GraphTexts& texts) {
    Chart1->ClearTitle();
    Chart1->AddTitleLine(QString::fromStdString(texts.TitleLine1));
    Chart1->AddTitleLine(QString::fromStdString(texts.TitleLine2));

    const int32_t n = UsedSlots(m_state);
    RefillSeries(*Series1, m_state.DownHistory, n, m_state.DownloadColor);
    RefillSeries(*Series2, m_state.UpHistory, n, m_state.UploadColor);
    RefillSeries(*Series3, m_state.DownAvgLine, n, m_state.DownloadColor);
    RefillSeries(*Series4, m_state.UpAvgLine, n, m_state.UploadColor);
    RefillFlatSeries(*Series5, m_state.DownloadScale, n, m_state.DownloadColor);
    RefillFlatSeries(*Series6, m_state.UploadScale, n, m_state.UploadColor);

    SetOverlayText(Label1, QString::fromStdString(texts.Label1));
    SetOverlayText(Label2, QString::fromStdString(texts.Label2));
    SetOverlayText(Label6, QString::fromStdString(texts.Label6));
    SetOverlayText(Label8, QString::fromStdString(texts.Label8));
    // Which counters the rates come from: with SNMPv2c the 64-bit ones, or
    // the 32-bit ones after the fallback.
    const QString hint = QString::fromStdString(texts.Hint);
    if (Chart1->toolTip() != hint) {
        Chart1->setToolTip(hint);
        Chart1->setToolTipDuration(1000);
    }
}

void TFormWykres::ClearValues() {
    for (QLabel* label : {Label1, Label2, Label6, Label8}) {
        SetOverlayText(label, QString());
    }
}

void TFormWykres::ShowGraph() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show();
}

void TFormWykres::CloseGraph() {
    FormClose();
    hide();
}

void TFormWykres::FormShow() {
    m_state.GraphWindowOpen = true;
    Button1Click();
    move(m_state.GraphLeft, m_state.GraphTop);
    ClearValues();
    setWindowTitle(QString::fromStdString(m_state.SessionName) + QStringLiteral(" - Bandwidth graph"));
    Series1->SetPenColor(m_state.DownloadColor);
    Series3->SetPenColor(m_state.DownloadColor);
    Series2->SetPenColor(m_state.UploadColor);
    Series4->SetPenColor(m_state.UploadColor);
    Series3->SetPenStyle(TPenStyle::Dot);
    Series4->SetPenStyle(TPenStyle::Dot);
    applyLineVisibility();
    applyAxisRule();
}

void TFormWykres::FormClose() {
    m_state.GraphTop = pos().y();
    m_state.GraphLeft = pos().x();
    m_state.GraphWindowOpen = false;
}

void TFormWykres::BitBtn1Click() {
    // Only the bandwidth side starts again; the maximum lines keep their points
    // so the axis does not collapse before the next refresh.
    m_state.PollCount = 0;
    for (TLineSeries* s : {Series1, Series2, Series3, Series4}) {
        s->RemoveAllPoints();
    }
    m_state.DownTotal = 0;
    m_state.UpTotal = 0;
    const int32_t n = UsedSlots(m_state);
    ZeroSlots(m_state.DownHistory, n);
    ZeroSlots(m_state.UpHistory, n);
    ZeroSlots(m_state.DownAvgLine, n);
    ZeroSlots(m_state.UpAvgLine, n);
}

void TFormWykres::BitBtn2Click() {
    CloseGraph();
}

void TFormWykres::BitBtn3Click() {
    SaveGraphBitmap(*Chart1, m_programDir, m_state.SessionName, "b");
}

void TFormWykres::BitBtn4Click() {
    Chart1->PrintChartLandscape();
}

void TFormWykres::Chart1DblClick() {
    BitBtn2Click();
}

void TFormWykres::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Qt sends this before the native window is mapped, so the window appears
    // at its stored place. A window manager's own re-show is not a new opening.
    if (!event->spontaneous()) {
        RunGuarded(this, [this] { FormShow(); });
    }
}

void TFormWykres::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

} // namespace veltrum
