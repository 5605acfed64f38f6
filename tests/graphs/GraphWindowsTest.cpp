#include "graphs/GraphCommon.h"
#include "graphs/StillMonitor.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"
#include "settings/TempDir.h"
#include "support/TableAgent.h"
#include "widgets/Chart.h"
#include "widgets/ErrorBox.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <span>
#include <string>
#include <vector>

namespace veltrum {
namespace {

constexpr uint32_t kBlue = 0x00FF0000;
constexpr uint32_t kGreen = 0x0000FF00;

// The state as the start-up load leaves it with a few non-default settings.
MonitorState LoadedState() {
    MonitorState s;
    s.HistoryLength = 120;
    s.SessionName = "Veltrum";
    s.DownloadScale = 1024;
    s.UploadScale = 2048;
    s.DownloadColor = kYellow;
    s.UploadColor = kRed;
    s.ShowAverages = true;
    s.GraphOpacity = 255;
    s.OpacityReady = true;
    s.GraphTop = 170;
    s.GraphLeft = 170;
    s.PacketGraphTop = 190;
    s.PacketGraphLeft = 190;
    return s;
}

std::vector<double> Ys(const TLineSeries& series) {
    std::vector<double> ys;
    for (const TChartPoint& p : series.Points()) {
        ys.push_back(p.Y);
    }
    return ys;
}

// Every point in slot order (X = 0, 1, ...) and in one colour.
void ExpectSlotOrder(const TLineSeries& series, uint32_t color) {
    ASSERT_EQ(series.Points().size(), 120u) << series.Name().toStdString();
    for (size_t i = 0; i < series.Points().size(); ++i) {
        EXPECT_EQ(series.Points()[i].X, static_cast<double>(i));
        EXPECT_EQ(series.Points()[i].Color, color) << series.Name().toStdString() << " point " << i;
    }
}

GraphTexts SomeTexts() {
    return {"Veltrum     6/12/26 8:15:03 PM",
            "                     Total:  1.2 MB / 0.3 MB (0d 0h 0m 9s)",
            "1,500.0 Mbps",
            "0.5 Mbps",
            "0.1 Mbps",
            "2.0 Mbps",
            ""};
}

// Records what the standard error box would show.
class ErrorBoxRecorder {
public:
    ErrorBoxRecorder() {
        SetErrorBoxHook([this](const QString& text) { m_texts.push_back(text.toStdString()); });
    }
    ~ErrorBoxRecorder() { SetErrorBoxHook({}); }
    const std::vector<std::string>& Texts() const { return m_texts; }

private:
    std::vector<std::string> m_texts;
};

class GraphWindowTest : public testing::Test {
protected:
    GraphWindowTest() { m_state = LoadedState(); }
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_programDir = m_dir.path().toStdString() + "/";
    }
    QStringList Files() const { return QDir(m_dir.path()).entryList(QDir::Files); }

    QTemporaryDir m_dir;
    std::string m_programDir;
    test::StillMonitor m_still;
    Monitor& m_monitor = m_still.monitor;
    MonitorState& m_state = m_still.state;
};

using TFormWykresRefresh = GraphWindowTest;

TEST_F(TFormWykresRefresh, FillsAllSixSeriesInSlotOrderWithTheTableColours) {
    TFormWykres w(m_monitor, m_programDir);
    // The poll clipped a 3000 sample with AutoScale off and scales 1024/2048 to
    // Trunc(2048 * 0.995) = 2037 and stored it back; it has since moved on by one slot.
    w.Lines().Down[1] = 1500;
    w.Lines().Down[2] = 2037;
    w.Lines().Down[120] = 7;
    w.Lines().Down[121] = 999; // beyond HistoryLength: never plotted
    w.Lines().Up[1] = 300;
    w.Lines().DownAvg.fill(0);
    std::fill(w.Lines().DownAvg.begin() + 1, w.Lines().DownAvg.begin() + 121, 1181);
    std::fill(w.Lines().UpAvg.begin() + 1, w.Lines().UpAvg.begin() + 121, 42);
    m_state.DownloadColor = kBlue;
    m_state.UploadColor = kGreen;

    w.Refresh(SomeTexts());

    ExpectSlotOrder(*w.Series1, kBlue);
    ExpectSlotOrder(*w.Series2, kGreen);
    ExpectSlotOrder(*w.Series3, kBlue);
    ExpectSlotOrder(*w.Series4, kGreen);
    ExpectSlotOrder(*w.Series5, kBlue);
    ExpectSlotOrder(*w.Series6, kGreen);
    const std::vector<double> down = Ys(*w.Series1);
    EXPECT_EQ(down[0], 1500);
    EXPECT_EQ(down[1], 2037);
    EXPECT_EQ(down[119], 7);
    EXPECT_EQ(Ys(*w.Series2)[0], 300);
    EXPECT_EQ(Ys(*w.Series3), std::vector<double>(120, 1181));
    EXPECT_EQ(Ys(*w.Series4), std::vector<double>(120, 42));
    EXPECT_EQ(Ys(*w.Series5), std::vector<double>(120, 1024));
    EXPECT_EQ(Ys(*w.Series6), std::vector<double>(120, 2048));
    EXPECT_EQ(w.Lines().Down[2], 2037); // a refresh never changes the lines

    // A second refresh replaces the points instead of adding to them.
    w.Refresh(SomeTexts());
    EXPECT_EQ(w.Series1->Points().size(), 120u);
}

TEST_F(TFormWykresRefresh, DrawsTheFlatLinesBehindTheRateLines) {
    TFormWykres w(m_monitor, m_programDir);
    std::vector<std::string> order;
    for (const TLineSeries* s : w.Chart1->AllSeries()) {
        order.push_back(s->Name().toStdString());
    }
    EXPECT_EQ(order,
              (std::vector<std::string>{"Series4", "Series5", "Series3", "Series6", "Series1", "Series2"}));
    EXPECT_EQ(w.Chart1->AxisTitle(), "[kbps]");
    EXPECT_EQ(w.Series1->Title(), "Download");
    EXPECT_EQ(w.Series1->PenWidth(), 2);
    EXPECT_EQ(w.Series5->PenWidth(), 1);
    EXPECT_EQ(w.Series3->PenStyle(), TPenStyle::Dot);
    EXPECT_EQ(w.Series5->PenStyle(), TPenStyle::Solid);
}

TEST_F(TFormWykresRefresh, ShowsTheGivenTextsAsTheyAre) {
    TFormWykres w(m_monitor, m_programDir);
    w.Refresh(SomeTexts());
    EXPECT_EQ(w.Chart1->TitleLines(),
              QStringList({"Veltrum     6/12/26 8:15:03 PM",
                           "                     Total:  1.2 MB / 0.3 MB (0d 0h 0m 9s)"}));
    EXPECT_EQ(w.Label1->text(), "1,500.0 Mbps");
    EXPECT_EQ(w.Label2->text(), "0.5 Mbps");
    EXPECT_EQ(w.Label6->text(), "0.1 Mbps"); // 10 rate units
    EXPECT_EQ(w.Label8->text(), "2.0 Mbps");
    // An auto-sized label grows with its text and keeps its place.
    EXPECT_EQ(w.Label1->pos(), QPoint(668, 15));
    EXPECT_GT(w.Label1->width(), w.Label2->width());

    // A failed poll empties only the four value labels.
    w.ClearValues();
    for (const QLabel* label : {w.Label1, w.Label2, w.Label6, w.Label8}) {
        EXPECT_TRUE(label->text().isEmpty());
    }
    EXPECT_EQ(w.Label5->text(), "Actual Download:");
    EXPECT_EQ(w.Chart1->TitleLines().size(), 2);
    EXPECT_EQ(w.Series1->Points().size(), 120u);
}

using TFormWykresConfigureForRestart = GraphWindowTest;

TEST_F(TFormWykresConfigureForRestart, HiddenMaximumLinesStillHoldTheAxisUp) {
    m_state.AutoScale = true;
    m_state.ShowMaxLines = false;
    m_state.ShowAverages = false;
    TFormWykres w(m_monitor, m_programDir);
    w.ConfigureForRestart();
    w.Lines().Down[1] = 50;
    w.Lines().Up[1] = 80;
    w.Refresh(SomeTexts());

    EXPECT_TRUE(w.Chart1->AutomaticMaximum());
    EXPECT_FALSE(w.Series5->PenVisible());
    EXPECT_FALSE(w.Series6->PenVisible());
    EXPECT_FALSE(w.Series3->PenVisible());
    EXPECT_TRUE(w.Series1->PenVisible());
    EXPECT_GE(w.Chart1->AxisTop(), 2048);
    EXPECT_EQ(w.windowTitle(), "Veltrum - Bandwidth graph");
    EXPECT_FALSE(w.isVisible()); // reconfigured without being shown
}

TEST_F(TFormWykresConfigureForRestart, FixedAxisTakesTheLargerScale) {
    m_state.AutoScale = false;
    m_state.ShowMaxLines = true;
    TFormWykres w(m_monitor, m_programDir);
    w.ConfigureForRestart();
    EXPECT_FALSE(w.Chart1->AutomaticMaximum());
    EXPECT_EQ(w.Chart1->Maximum(), 2048);
    EXPECT_TRUE(w.Series5->PenVisible());

    m_state.DownloadScale = 4096;
    w.ConfigureForRestart();
    EXPECT_EQ(w.Chart1->Maximum(), 4096);

    m_state.AutoScale = true;
    w.ConfigureForRestart();
    EXPECT_EQ(w.Chart1->Maximum(), 10000000);
}

TEST_F(TFormWykresConfigureForRestart, NegativeScaleIsRefusedByTheChart) {
    m_state.AutoScale = false;
    TFormWykres w(m_monitor, m_programDir);
    w.ConfigureForRestart();
    m_state.DownloadScale = -5;
    m_state.UploadScale = -10;
    try {
        w.ConfigureForRestart();
        FAIL() << "a negative maximum was accepted";
    } catch (const EChartError& e) {
        EXPECT_STREQ(e.what(), "Axis Maximum Value must be >= Minimum");
    }
    EXPECT_EQ(w.Chart1->Maximum(), 2048);
}

using TFormWykresBitBtn1Click = GraphWindowTest;

TEST_F(TFormWykresBitBtn1Click, ClearsTheBandwidthSideOnly) {
    TFormWykres w(m_monitor, m_programDir);
    m_state.DownHistory.fill(5);
    m_state.UpHistory.fill(6);
    m_state.DownAvgLine.fill(7);
    m_state.UpAvgLine.fill(8);
    m_state.DownPktHistory.fill(9);
    m_state.PollCount = 40;
    m_state.PacketPollCount = 41;
    m_state.DownTotal = 1000;
    m_state.UpTotal = 2000;
    m_state.PeakPktRate = 77;
    w.Refresh(SomeTexts());

    w.Reset1->trigger();

    for (const TLineSeries* s : {w.Series1, w.Series2, w.Series3, w.Series4}) {
        EXPECT_TRUE(s->Points().empty()) << s->Name().toStdString();
    }
    EXPECT_EQ(w.Series5->Points().size(), 120u);
    EXPECT_EQ(w.Series6->Points().size(), 120u);
    EXPECT_EQ(m_state.PollCount, 0);
    EXPECT_EQ(m_state.DownTotal, 0u);
    EXPECT_EQ(m_state.UpTotal, 0u);
    for (int i = 1; i <= 120; ++i) {
        ASSERT_EQ(
            m_state.DownHistory[i] | m_state.UpHistory[i] | m_state.DownAvgLine[i] | m_state.UpAvgLine[i], 0)
            << "slot " << i;
    }
    EXPECT_EQ(m_state.DownHistory[121], 5); // unused slots are left alone
    EXPECT_EQ(m_state.PacketPollCount, 41);
    EXPECT_EQ(m_state.PeakPktRate, 77);
    EXPECT_EQ(m_state.DownPktHistory[1], 9);
    EXPECT_EQ(w.Label1->text(), "1,500.0 Mbps"); // labels wait for the next refresh
}

using TFormWykresPktBitBtn1Click = GraphWindowTest;

TEST_F(TFormWykresPktBitBtn1Click, ClearsThePacketSideOnly) {
    TFormWykresPkt w(m_monitor, m_programDir);
    m_state.DownPktHistory.fill(5);
    m_state.UpPktHistory.fill(6);
    m_state.DownPktAvgLine.fill(7);
    m_state.UpPktAvgLine.fill(8);
    m_state.DownHistory.fill(9);
    m_state.DownAvgLine.fill(10);
    m_state.PollCount = 40;
    m_state.PacketPollCount = 41;
    m_state.DownTotal = 1000;
    m_state.PeakPktRate = 77;
    w.Refresh(SomeTexts());

    w.BitBtn1Click();

    for (const TLineSeries* s : {w.Series1, w.Series2, w.Series3, w.Series4}) {
        EXPECT_TRUE(s->Points().empty()) << s->Name().toStdString();
    }
    EXPECT_EQ(m_state.PacketPollCount, 0);
    EXPECT_EQ(m_state.PeakPktRate, 0);
    for (int i = 1; i <= 120; ++i) {
        ASSERT_EQ(m_state.DownPktHistory[i] | m_state.UpPktHistory[i] | m_state.DownPktAvgLine[i] |
                      m_state.UpPktAvgLine[i],
                  0)
            << "slot " << i;
    }
    EXPECT_EQ(m_state.PollCount, 40);
    EXPECT_EQ(m_state.DownTotal, 1000u);
    EXPECT_EQ(m_state.DownHistory[1], 9);
    EXPECT_EQ(m_state.DownAvgLine[1], 10);
}

using TFormWykresPktRefresh = GraphWindowTest;

TEST_F(TFormWykresPktRefresh, ShowsTextsAndPacketHistories) {
    TFormWykresPkt w(m_monitor, m_programDir);
    w.Lines().Down[1] = 12000;
    w.Lines().Up[1] = 345;
    w.Lines().DownAvg.fill(100);
    GraphTexts texts{"Veltrum     6/12/26 8:15:03 PM",
                     "                     Total I/O:  12,345 p/s  (max: 12,345) p/s",
                     "100 p/s",
                     "3 p/s",
                     "12,000 p/s",
                     "345 p/s",
                     ""};
    w.Refresh(texts);

    EXPECT_EQ(w.Chart2->TitleLines().at(1), "                     Total I/O:  12,345 p/s  (max: 12,345) p/s");
    EXPECT_EQ(w.Label6->text(), "12,000 p/s");
    EXPECT_EQ(w.Label1->text(), "100 p/s");
    ExpectSlotOrder(*w.Series1, kYellow);
    ExpectSlotOrder(*w.Series4, kRed);
    EXPECT_EQ(Ys(*w.Series1)[0], 12000);
    EXPECT_EQ(Ys(*w.Series2)[0], 345);
    EXPECT_EQ(Ys(*w.Series3), std::vector<double>(120, 100));
    std::vector<std::string> order;
    for (const TLineSeries* s : w.Chart2->AllSeries()) {
        order.push_back(s->Name().toStdString());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Series3", "Series4", "Series1", "Series2"}));
    EXPECT_EQ(w.Chart2->AxisTitle(), "[p/s]");
}

TEST_F(TFormWykresPktRefresh, ResyncMarkSurvivesAFailedPoll) {
    TFormWykresPkt w(m_monitor, m_programDir);
    w.Refresh(SomeTexts());
    w.SetResyncMark(">>");
    w.ClearValues();
    EXPECT_EQ(w.Label9->text(), ">>");
    EXPECT_TRUE(w.Label6->text().isEmpty());
    EXPECT_EQ(w.Label9->pos(), QPoint(6, 3));
    EXPECT_EQ(w.Label9->font().pointSize(), 8); // the window font, not the labels' Arial 9
    w.SetResyncMark(QString());
    EXPECT_TRUE(w.Label9->text().isEmpty());
}

TEST_F(TFormWykresPktRefresh, RestartKeepsTheAxisAutomaticAndHiddenAveragesCounting) {
    m_state.ShowAverages = false;
    TFormWykresPkt w(m_monitor, m_programDir);
    w.ConfigureForRestart();
    w.Lines().Down[1] = 10;
    w.Lines().DownAvg.fill(500);
    w.Refresh(SomeTexts());
    EXPECT_TRUE(w.Chart2->AutomaticMaximum());
    EXPECT_EQ(w.Chart2->Maximum(), 10000000);
    EXPECT_FALSE(w.Series3->PenVisible());
    EXPECT_EQ(w.Chart2->AxisTop(), 500);
    EXPECT_EQ(w.windowTitle(), "Veltrum - Packets graph");
}

using TFormWykresShowGraph = GraphWindowTest;

TEST_F(TFormWykresShowGraph, SecondShowOnlyRaises) {
    TFormWykres w(m_monitor, m_programDir);
    w.Refresh(SomeTexts());
    w.ShowGraph();
    ASSERT_TRUE(w.isVisible());
    EXPECT_EQ(w.pos(), QPoint(170, 170));
    EXPECT_TRUE(m_state.GraphWindowOpen);
    EXPECT_EQ(w.windowTitle(), "Veltrum - Bandwidth graph");
    EXPECT_TRUE(w.Label6->text().isEmpty()); // value labels wait for the next poll
    EXPECT_EQ(w.Series1->PenColor(), kYellow);
    EXPECT_EQ(w.size(), QSize(752, 393));
    EXPECT_EQ(w.Chart1->geometry(), QRect(0, 0, 752, 393));

    w.move(300, 310);
    m_state.DownloadColor = kBlue;
    m_state.GraphTop = 1;
    w.Refresh(SomeTexts());
    w.ShowGraph();
    EXPECT_EQ(w.pos(), QPoint(300, 310));
    EXPECT_EQ(w.Series1->PenColor(), kYellow);
    EXPECT_EQ(w.Label6->text(), "0.1 Mbps");
}

// The value labels lie over the chart and change at every refresh; the
// picture beneath them must still be drawn once per refresh, not once for the
// chart and again for the labels.
TEST_F(TFormWykresShowGraph, ARefreshDrawsTheChartOnceWithItsLabels) {
    TFormWykres w(m_monitor, m_programDir);
    const auto settle = [] {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 50) {
            QApplication::processEvents();
        }
    };
    w.ShowGraph();
    settle();
    ASSERT_GT(w.Chart1->PaintCount(), 0);
    GraphTexts texts = SomeTexts();
    for (const char* value : {"12.5 Mbps", "7.25 Mbps", "1,100.0 Mbps"}) {
        texts.Label1 = texts.Label2 = texts.Label6 = texts.Label8 = value;
        const int before = w.Chart1->PaintCount();
        w.Refresh(texts);
        settle();
        EXPECT_EQ(w.Chart1->PaintCount(), before + 1) << value;
    }
}

TEST_F(TFormWykresShowGraph, RefusedAxisMaximumIsReportedAndTheWindowStillOpens) {
    ErrorBoxRecorder box;
    m_state.AutoScale = false;
    m_state.DownloadScale = -1;
    m_state.UploadScale = -2;
    TFormWykres w(m_monitor, m_programDir);
    w.ShowGraph();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(m_state.GraphWindowOpen);
    EXPECT_EQ(box.Texts(), std::vector<std::string>{"Axis Maximum Value must be >= Minimum"});
}

TEST_F(TFormWykresShowGraph, DoubleClickClosesAndStoresThePosition) {
    TFormWykres w(m_monitor, m_programDir);
    w.ShowGraph();
    w.move(400, 321);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(600, 20), w.Chart1->mapToGlobal(QPointF(600, 20)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.Chart1, &dbl);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(m_state.GraphWindowOpen);
    EXPECT_EQ(m_state.GraphTop, 321);
    EXPECT_EQ(m_state.GraphLeft, 400);

    w.ShowGraph(); // reopens where it was closed
    EXPECT_EQ(w.pos(), QPoint(400, 321));
}

TEST_F(TFormWykresShowGraph, TitleBarCloseRunsFormClose) {
    TFormWykresPkt w(m_monitor, m_programDir);
    w.ShowGraph();
    EXPECT_TRUE(m_state.PacketGraphWindowOpen);
    EXPECT_EQ(w.pos(), QPoint(190, 190));
    w.move(211, 222);
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(m_state.PacketGraphWindowOpen);
    EXPECT_EQ(m_state.PacketGraphTop, 222);
    EXPECT_EQ(m_state.PacketGraphLeft, 211);
    EXPECT_EQ(m_state.GraphTop, 170); // the other window's place is untouched
}

TEST_F(TFormWykresShowGraph, NeverShownWindowStoresItsCreationPosition) {
    TFormWykres w(m_monitor, m_programDir);
    TFormWykresPkt p(m_monitor, m_programDir);
    const QPoint created = w.pos();
    const QPoint createdPkt = p.pos();
    // The design places, not the corner of the screen.
    EXPECT_EQ(created, QPoint(170, 170));
    EXPECT_EQ(createdPkt, QPoint(190, 190));
    m_state.GraphTop = 999;
    m_state.GraphLeft = 998;
    m_state.PacketGraphTop = 997;
    m_state.GraphWindowOpen = true; // as read from the profile
    w.CloseGraph();
    p.CloseGraph();
    EXPECT_EQ(m_state.GraphTop, created.y());
    EXPECT_EQ(m_state.GraphLeft, created.x());
    EXPECT_EQ(m_state.PacketGraphTop, createdPkt.y());
    EXPECT_FALSE(m_state.GraphWindowOpen);
    EXPECT_FALSE(w.isVisible());
}

// Fed a polling monitor's samples, each graph window keeps the lines the
// poll keeps in the state, slot for slot: through a fixed axis's clipping, a
// Reset, a shorter history, a restart and a resynchronisation whose snapshot
// fails after the packet lines moved on.
TEST(GraphWindowLines, FollowThePollsHistories) {
    test::TableAgent agent({{2, {"eth0", "1"}}});
    test::TempDir dir;
    std::ofstream(dir.File("Default.vlq")) << "[Host]\n01=" << agent.Host()
                                           << "\n[Haslo]\n01=public\n[NumerInterfaceu]\n01=2\n"
                                              "[Autoscala]\n01=0\n[Timeout]\n01=100\n";
    test::StillMonitor still(dir.Dir());
    Monitor& monitor = still.monitor;
    const ScreenArea screen{0, 0, 1024, 768};
    monitor.Load(std::span(&screen, 1));
    TFormWykres w(monitor, dir.Dir());
    TFormWykresPkt p(monitor, dir.Dir());
    monitor.Subscribe(w);
    monitor.Subscribe(p);
    struct : MonitorSubscriber {
        void OnSample(const PollSample& sample) override { Failures += sample.ShownFailure.has_value(); }
        int Failures = 0;
    } failures;
    monitor.Subscribe(failures);
    const MonitorState& s = still.state;
    int32_t counter = 1000;
    const auto pollAndCompare = [&](const std::vector<int32_t>& increases, const char* when) {
        for (size_t i = 0; i < increases.size(); ++i) {
            counter += increases[i];
            for (const char* column : {"10", "16", "11", "17"}) {
                agent.SetObject("1.3.6.1.2.1.2.2.1." + std::string(column) + ".2", 0x41,
                                std::to_string(counter));
            }
            monitor.Poll();
            EXPECT_EQ(w.Lines().Down, s.DownHistory) << when << " poll " << i;
            EXPECT_EQ(w.Lines().Up, s.UpHistory) << when;
            EXPECT_EQ(w.Lines().DownAvg, s.DownAvgLine) << when;
            EXPECT_EQ(w.Lines().UpAvg, s.UpAvgLine) << when;
            EXPECT_EQ(p.Lines().Down, s.DownPktHistory) << when << " poll " << i;
            EXPECT_EQ(p.Lines().UpAvg, s.UpPktAvgLine) << when;
        }
    };
    // 400000 octets a poll lie above both scales: clipped.
    const std::vector<int32_t> mixed{400000, 9000, 18000, 400000, 36000, 45000, 400000, 63000};
    monitor.BeginRestart();
    monitor.CheckInterfaceAndPoll();
    pollAndCompare(mixed, "first");
    ASSERT_NE(*std::max_element(s.DownHistory.begin(), s.DownHistory.end()), 0);
    w.Reset1->trigger();
    pollAndCompare({mixed.begin(), mixed.begin() + 3}, "after a Reset");
    still.state.HistoryLength = 5;
    pollAndCompare({mixed.begin(), mixed.begin() + 4}, "on five slots");
    monitor.BeginRestart();
    monitor.CheckInterfaceAndPoll();
    pollAndCompare({mixed.begin(), mixed.begin() + 3}, "after a restart");
    // A stall then a jump starts a traced resynchronisation; its snapshot
    // ten polls later cannot be saved under this session name.
    still.state.ResyncTrace = true;
    still.state.SessionName = "a/b";
    std::vector<int32_t> resync{1000, 1000, 1000, 1000, 0, 2000};
    for (int32_t k = 1; k <= 11; ++k) {
        resync.push_back(1000 + 37 * k);
    }
    const int failed = failures.Failures;
    pollAndCompare(resync, "through a resynchronisation");
    EXPECT_EQ(failures.Failures, failed + 1);
}

TEST(ChartBitmapPath, YearThenTwoDigitFieldsInTheProgramFolder) {
    const QDateTime t(QDate(2026, 12, 6), QTime(20, 15, 3));
    EXPECT_EQ(ChartBitmapPath("/opt/vq/", "Veltrum", "b", t), "/opt/vq/VQ_Veltrum_b20261206201503.bmp");
    EXPECT_EQ(ChartBitmapPath("/opt/vq/", "", "p", QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5))),
              "/opt/vq/VQ__p20270102030405.bmp");
    EXPECT_EQ(ChartBitmapPath("/d/", "Dom ęą", "p", QDateTime(QDate(999, 1, 2), QTime(0, 0, 0))),
              "/d/VQ_Dom ęą_p9990102000000.bmp");
}

TEST(IsFileNamePart, RefusesWhatAFileNameMayNotHold) {
    EXPECT_TRUE(IsFileNamePart("Veltrum"));
    EXPECT_TRUE(IsFileNamePart(""));
    EXPECT_TRUE(IsFileNamePart("Home router.2 (ęą)"));
    for (const char* bad :
         {"a\\b", "a/b", "c:", "*", "why?", "\"q\"", "<", ">", "a|b", "tab\there", "nl\n", "\x7f"}) {
        EXPECT_FALSE(IsFileNamePart(QString::fromUtf8(bad))) << bad;
    }
}

using TFormWykresBitBtn3Click = GraphWindowTest;

TEST_F(TFormWykresBitBtn3Click, WritesOneStampedBitmapIntoTheProgramFolder) {
    TFormWykres w(m_monitor, m_programDir);
    w.Refresh(SomeTexts());
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
    w.BitBtn3Click();
    const QDateTime after = QDateTime::currentDateTime();
    const QStringList files = Files();
    ASSERT_EQ(files.size(), 1);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^VQ_Veltrum_b(\\d{14})\\.bmp$")).match(files[0]);
    ASSERT_TRUE(m.hasMatch()) << files[0].toStdString();
    const QDateTime stamp = QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMddhhmmss"));
    EXPECT_GE(stamp, before.addMSecs(-before.time().msec()));
    EXPECT_LE(stamp, after);
    // Never shown, the window still writes the chart at its full size: the
    // resynchronisation snapshot usually comes from a hidden packets window.
    const QImage image(m_dir.filePath(files[0]), "BMP");
    EXPECT_EQ(image.size(), QSize(752, 393));
}

// The installed layout's pictures subfolder does not exist until the first
// save makes it; the program's own folder (above) is never made.
TEST_F(TFormWykresBitBtn3Click, MakesAPicturesFolderOnTheFirstSave) {
    const std::string pictures = m_programDir + "Pictures/Veltrum/";
    TFormWykres w(m_monitor, BitmapFolder(pictures, true));
    TFormWykresPkt p(m_monitor, BitmapFolder(pictures, true));
    w.BitBtn3Click();
    p.BitBtn3Click();
    EXPECT_EQ(QDir(QString::fromStdString(pictures)).entryList({"VQ_Veltrum_*.bmp"}, QDir::Files).size(), 2);
}

TEST_F(TFormWykresBitBtn3Click, ForbiddenSessionNameWritesNothing) {
    for (const char* name : {"../escape", "a/b", "x:y", "q?", "tab\tname", "a|b"}) {
        m_state.SessionName = name;
        TFormWykres w(m_monitor, m_programDir);
        try {
            w.BitBtn3Click();
            FAIL() << "saved with session name " << name;
        } catch (const EChartError& e) {
            const std::string what = e.what();
            const std::string head = "Cannot create file " + m_programDir + "VQ_" + name + "_b";
            EXPECT_EQ(what.substr(0, head.size()), head);
            EXPECT_EQ(what.size(), head.size() + 14 + 4) << what;
        }
    }
    EXPECT_TRUE(Files().isEmpty());
    EXPECT_TRUE(QDir(m_dir.path() + "/..").entryList({"VQ_*"}, QDir::Files).isEmpty());
}

TEST_F(TFormWykresBitBtn3Click, MenuShowsTheFailureInTheErrorBox) {
    ErrorBoxRecorder box;
    m_state.SessionName = "a/b";
    TFormWykres w(m_monitor, m_programDir);
    TFormWykresPkt p(m_monitor, m_programDir);
    w.SaveAsBMP1->trigger();
    p.SaveAsBMP1->trigger();
    ASSERT_EQ(box.Texts().size(), 2u);
    EXPECT_EQ(box.Texts()[0].rfind("Cannot create file " + m_programDir + "VQ_a/b_b", 0), 0u)
        << box.Texts()[0];
    EXPECT_EQ(box.Texts()[1].rfind("Cannot create file " + m_programDir + "VQ_a/b_p", 0), 0u)
        << box.Texts()[1];
    EXPECT_TRUE(Files().isEmpty());

    // An unwritable folder fails the same way, through the chart view.
    m_state.SessionName = "Veltrum";
    TFormWykres missing(m_monitor, m_programDir + "missing/");
    missing.SaveAsBMP1->trigger();
    ASSERT_EQ(box.Texts().size(), 3u);
    EXPECT_EQ(box.Texts()[2].rfind("Cannot create file " + m_programDir + "missing/VQ_Veltrum_b", 0), 0u);
}

TEST_F(TFormWykresBitBtn3Click, TheWindowNamesTheFileItWroteUntilASaveFails) {
    ErrorBoxRecorder box;
    TFormWykresPkt w(m_monitor, m_programDir);
    w.SaveAsBMP1->trigger();
    ASSERT_EQ(Files().size(), 1);
    ASSERT_NE(w.SaveNote(), nullptr);
    EXPECT_TRUE(w.SaveNote()->isVisibleTo(&w));
    EXPECT_EQ(w.SaveNote()->text(), "Saved as " + m_dir.filePath(Files()[0]));
    EXPECT_EQ(w.SaveNote()->textFormat(), Qt::PlainText);

    m_state.SessionName = "a/b";
    w.SaveAsBMP1->trigger();
    EXPECT_EQ(box.Texts().size(), 1u);
    EXPECT_FALSE(w.SaveNote()->isVisibleTo(&w));
}

TEST_F(TFormWykresBitBtn3Click, BitmapLeavesTheLabelOverlaysOut) {
    TFormWykres w(m_monitor, m_programDir);
    w.Lines().Down[1] = 700;
    GraphTexts empty = SomeTexts();
    empty.Label1 = empty.Label2 = empty.Label6 = empty.Label8 = "";
    w.Refresh(empty);
    const auto saveAndLoad = [&] {
        w.BitBtn3Click();
        const QStringList files = Files();
        EXPECT_EQ(files.size(), 1);
        QImage image(m_dir.filePath(files.value(0)), "BMP");
        QFile::remove(m_dir.filePath(files.value(0)));
        return image.convertToFormat(QImage::Format_RGB32);
    };
    const QImage withoutValues = saveAndLoad();
    const QImage screenWithout = w.Chart1->grab().toImage().convertToFormat(QImage::Format_RGB32);

    w.Refresh(SomeTexts());
    const QImage withValues = saveAndLoad();
    const QImage screenWith = w.Chart1->grab().toImage().convertToFormat(QImage::Format_RGB32);

    ASSERT_FALSE(withoutValues.isNull());
    EXPECT_EQ(withoutValues, withValues);
    EXPECT_NE(screenWithout, screenWith); // on screen the value labels do show
}

TEST_F(TFormWykresBitBtn3Click, PacketSnapshotFailurePropagates) {
    m_state.SessionName = "bad*name";
    TFormWykresPkt w(m_monitor, m_programDir);
    EXPECT_THROW(w.BitBtn3Click(), EChartError);
    m_state.SessionName = "Veltrum";
    w.BitBtn3Click();
    ASSERT_EQ(Files().size(), 1);
    EXPECT_TRUE(Files()[0].startsWith("VQ_Veltrum_p"));
}

} // namespace
} // namespace veltrum
