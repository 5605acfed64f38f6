#include "graphs/WykresPkt.h"

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

#include <utility>

namespace veltrum {

TFormWykresPkt::TFormWykresPkt(MonitorState& state, std::string programDir, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_state(state), m_programDir(std::move(programDir)) {
    setObjectName(QStringLiteral("FormWykresPkt"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kGraphClientWidth, kGraphClientHeight);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    // The chart fills the fixed client area. Placed directly rather than by a
    // layout, it has its size before the window is ever shown, so a bitmap
    // saved from a hidden window is as large as the one from a shown window.
    Chart2 = new TChart(this);
    Chart2->setObjectName(QStringLiteral("Chart2"));
    Chart2->setGeometry(0, 0, kGraphClientWidth, kGraphClientHeight);
    Chart2->SetAxisTitle(QStringLiteral("[p/s]"));

    // Back to front: the average lines under the packet lines.
    Series3 = Chart2->AddSeries(QStringLiteral("Series3"));
    Series4 = Chart2->AddSeries(QStringLiteral("Series4"));
    Series1 = Chart2->AddSeries(QStringLiteral("Series1"));
    Series2 = Chart2->AddSeries(QStringLiteral("Series2"));
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

    Label5 = AddOverlayLabel(Chart2, 360, 15, QStringLiteral("Actual Packets In:"));
    Label6 = AddOverlayLabel(Chart2, 460, 15, QString());
    Label7 = AddOverlayLabel(Chart2, 351, 30, QStringLiteral("Actual Packets Out:"));
    Label8 = AddOverlayLabel(Chart2, 460, 30, QString());
    Label3 = AddOverlayLabel(Chart2, 556, 15, QStringLiteral("Average Packets In:"));
    Label1 = AddOverlayLabel(Chart2, 668, 15, QString());
    Label4 = AddOverlayLabel(Chart2, 547, 30, QStringLiteral("Average Packets Out:"));
    Label2 = AddOverlayLabel(Chart2, 668, 30, QString());
    // The marks use the window's own font, not the labels' Arial.
    Label9 = AddOverlayLabel(Chart2, 6, 3, QString());
    Label9->setFont(font());
    SetOverlayText(Label9, QStringLiteral("L9"));

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
    Chart2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Chart2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(Chart2->mapToGlobal(pos)); });
    connect(Chart2, &TChart::doubleClicked, this, [this] { RunGuarded(this, [this] { Chart2DblClick(); }); });

    Button1 = new QPushButton(QStringLiteral("Transparent"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->hide();
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TFormWykresPkt::Button1Click() {
    ApplyOpacity(*this, m_state.GraphOpacity, m_state.OpacityReady);
}

void TFormWykresPkt::ConfigureForRestart() {
    Button1Click();
    setWindowTitle(QString::fromStdString(m_state.SessionName) + QStringLiteral(" - Packets graph"));
    Series3->SetPenVisible(m_state.ShowAverages);
    Series4->SetPenVisible(m_state.ShowAverages);
    Chart2->SetAutomaticMaximum(true);
    Chart2->SetMaximum(kAutoScaleMaximum);
}

void TFormWykresPkt::Refresh(const GraphTexts& texts) {
    Chart2->ClearTitle();
    Chart2->AddTitleLine(QString::fromStdString(texts.TitleLine1));
    Chart2->AddTitleLine(QString::fromStdString(texts.TitleLine2));

    const int32_t n = UsedSlots(m_state);
    RefillSeries(*Series1, m_state.DownPktHistory, n, m_state.DownloadColor);
    RefillSeries(*Series2, m_state.UpPktHistory, n, m_state.UploadColor);
    RefillSeries(*Series3, m_state.DownPktAvgLine, n, m_state.DownloadColor);
    RefillSeries(*Series4, m_state.UpPktAvgLine, n, m_state.UploadColor);

    SetOverlayText(Label1, QString::fromStdString(texts.Label1));
    SetOverlayText(Label2, QString::fromStdString(texts.Label2));
    SetOverlayText(Label6, QString::fromStdString(texts.Label6));
    SetOverlayText(Label8, QString::fromStdString(texts.Label8));
    // Which counters the rates come from: with SNMPv2c the 64-bit ones, or
    // the 32-bit ones after the fallback.
    const QString hint = QString::fromStdString(texts.Hint);
    if (Chart2->toolTip() != hint) {
        Chart2->setToolTip(hint);
        Chart2->setToolTipDuration(1000);
    }
}

void TFormWykresPkt::ClearValues() {
    // Label9 belongs to the resynchronisation and keeps its mark.
    for (QLabel* label : {Label1, Label2, Label6, Label8}) {
        SetOverlayText(label, QString());
    }
}

void TFormWykresPkt::SetResyncMark(const QString& text) {
    SetOverlayText(Label9, text);
}

void TFormWykresPkt::ShowGraph() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show();
}

void TFormWykresPkt::CloseGraph() {
    FormClose();
    hide();
}

void TFormWykresPkt::FormShow() {
    m_state.PacketGraphWindowOpen = true;
    Button1Click();
    move(m_state.PacketGraphLeft, m_state.PacketGraphTop);
    ClearValues();
    setWindowTitle(QString::fromStdString(m_state.SessionName) + QStringLiteral(" - Packets graph"));
    Series1->SetPenColor(m_state.DownloadColor);
    Series3->SetPenColor(m_state.DownloadColor);
    Series2->SetPenColor(m_state.UploadColor);
    Series4->SetPenColor(m_state.UploadColor);
    Series3->SetPenStyle(TPenStyle::Dot);
    Series4->SetPenStyle(TPenStyle::Dot);
    Series3->SetPenVisible(m_state.ShowAverages);
    Series4->SetPenVisible(m_state.ShowAverages);
    Chart2->SetAutomaticMaximum(true);
}

void TFormWykresPkt::FormClose() {
    m_state.PacketGraphTop = pos().y();
    m_state.PacketGraphLeft = pos().x();
    m_state.PacketGraphWindowOpen = false;
}

void TFormWykresPkt::BitBtn1Click() {
    // The bandwidth side (PollCount, totals, its histories) goes on untouched.
    m_state.PeakPktRate = 0;
    m_state.PacketPollCount = 0;
    for (TLineSeries* s : {Series1, Series2, Series3, Series4}) {
        s->RemoveAllPoints();
    }
    const int32_t n = UsedSlots(m_state);
    ZeroSlots(m_state.DownPktHistory, n);
    ZeroSlots(m_state.UpPktHistory, n);
    ZeroSlots(m_state.DownPktAvgLine, n);
    ZeroSlots(m_state.UpPktAvgLine, n);
}

void TFormWykresPkt::BitBtn2Click() {
    CloseGraph();
}

void TFormWykresPkt::BitBtn3Click() {
    SaveGraphBitmap(*Chart2, m_programDir, m_state.SessionName, "p");
}

void TFormWykresPkt::BitBtn4Click() {
    Chart2->PrintChartLandscape();
}

void TFormWykresPkt::Chart2DblClick() {
    BitBtn2Click();
}

void TFormWykresPkt::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        RunGuarded(this, [this] { FormShow(); });
    }
}

void TFormWykresPkt::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

} // namespace veltrum
