#include "widgets/Chart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace veltrum {
namespace {

constexpr uint32_t kYellow = 0x0000FFFF; // 0x00BBGGRR
constexpr uint32_t kRed = 0x000000FF;
constexpr uint32_t kBlue = 0x00FF0000;
constexpr uint32_t kGreen = 0x0000FF00;
constexpr uint32_t kMagenta = 0x00FF00FF;

QRgb Rgb(uint32_t bgr) {
    return qRgb(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

int CountPixels(const QImage& image, QRgb colour, QRect area = {}) {
    if (area.isNull()) {
        area = image.rect();
    }
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
        }
    }
    return count;
}

// Leftmost and rightmost column holding the colour, or {-1, -1}.
std::pair<int, int> ColumnSpan(const QImage& image, QRgb colour) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) {
                if (first < 0) {
                    first = x;
                }
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

void Fill(TLineSeries& series, int count, double value, uint32_t colour) {
    series.RemoveAllPoints();
    for (int i = 0; i < count; ++i) {
        series.AppendPoint(value, colour);
    }
}

// Shows the chart offscreen and waits for its first paint.
void ShowAndSettle(TChart& chart) {
    chart.show();
    QElapsedTimer timer;
    timer.start();
    while (chart.PaintCount() == 0 && timer.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

uint32_t ReadLe32(const QByteArray& bytes, int offset) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.constData() + offset, 4);
    return value; // the build machines are little-endian, as is the format
}

TEST(TChart, ConfigurationWhenBuilt) {
    TChart chart;
    EXPECT_EQ(chart.TitleLines(), (QStringList{"Veltrum", ""}));
    EXPECT_FALSE(chart.AutomaticMaximum());
    EXPECT_EQ(chart.Maximum(), 1000.0);
    EXPECT_EQ(chart.AxisTop(), 1000.0);
    EXPECT_EQ(chart.Series("Series1"), nullptr);
}

TEST(TChartSetMaximum, NegativeIsRefusedAndOldMaximumStays) {
    TChart chart;
    chart.SetMaximum(2048);
    try {
        chart.SetMaximum(-1);
        FAIL() << "no error";
    } catch (const EChartError& e) {
        EXPECT_STREQ(e.what(), "Axis Maximum Value must be >= Minimum");
    }
    EXPECT_EQ(chart.Maximum(), 2048.0);
    EXPECT_EQ(chart.AxisTop(), 2048.0);
    EXPECT_THROW(chart.SetMaximum(std::numeric_limits<double>::quiet_NaN()), EChartError);
    EXPECT_EQ(chart.Maximum(), 2048.0);
    chart.SetMaximum(0); // equal to the minimum
    EXPECT_EQ(chart.Maximum(), 0.0);
}

TEST(TChartAxisTop, AutomaticCountsHiddenSeries) {
    TChart chart;
    TLineSeries* line = chart.AddSeries("Series1");
    TLineSeries* maxLine = chart.AddSeries("Series5");
    TLineSeries* empty = chart.AddSeries("Series3");
    Fill(*line, 120, 300, kYellow);
    Fill(*maxLine, 120, 2048, kYellow);
    maxLine->SetPenVisible(false);
    (void)empty;

    EXPECT_EQ(chart.AxisTop(), 1000.0); // manual: the maximum exactly, points above or not
    chart.SetAutomaticMaximum(true);
    EXPECT_EQ(chart.AxisTop(), 2048.0);
    maxLine->RemoveAllPoints();
    EXPECT_EQ(chart.AxisTop(), 300.0);
    line->RemoveAllPoints();
    EXPECT_EQ(chart.AxisTop(), 1000.0); // no points at all: the manual maximum
    chart.SetAutomaticMaximum(false);
    chart.SetMaximum(5);
    EXPECT_EQ(chart.AxisTop(), 5.0);
}

TEST(TLineSeries, AppendNumbersPointsFromZero) {
    TChart chart;
    TLineSeries* series = chart.AddSeries("Series1");
    series->AppendPoint(7.5, kRed);
    series->AppendPoint(-1, kBlue);
    ASSERT_EQ(series->Points().size(), 2u);
    EXPECT_EQ(series->Points()[1].X, 1.0);
    EXPECT_EQ(series->Points()[1].Y, -1.0);
    EXPECT_EQ(series->Points()[1].Color, kBlue);
    series->RemoveAllPoints();
    series->AppendPoint(3, kRed);
    EXPECT_EQ(series->Points()[0].X, 0.0);
    EXPECT_EQ(chart.Series("Series1"), series);
}

class ChartPicture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_chart.setObjectName("Chart1");
        m_chart.resize(752, 393);
        m_chart.SetAxisTitle("[kbps]");
        m_chart.ClearTitle();
        m_chart.AddTitleLine("Veltrum     12/6/26 8:15:03 PM");
        m_chart.AddTitleLine(QString(21, ' ') + "Total:  1 MB / 2 MB (5s)");
    }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    TChart m_chart;
};

TEST_F(ChartPicture, BitmapIsAnUncompressedBmpOfTheViewsSize) {
    Fill(*m_chart.AddSeries("Series1"), 120, 500, kYellow);
    const QString path = Path("chart.bmp");
    m_chart.SaveChartBitmap(path);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 54);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(ReadLe32(bytes, 2), uint32_t(bytes.size()));
    EXPECT_EQ(int32_t(ReadLe32(bytes, 18)), 752);
    EXPECT_EQ(int32_t(ReadLe32(bytes, 22)), 393);
    EXPECT_EQ(ReadLe32(bytes, 30), 0u) << "compression must be BI_RGB";
}

TEST_F(ChartPicture, BitmapShowsTitleAndSeriesButNoOverlays) {
    Fill(*m_chart.AddSeries("Series1"), 120, 500, kYellow);
    Fill(*m_chart.AddSeries("Series2"), 120, 250, kRed);
    m_chart.Series("Series1")->SetPenWidth(2);

    // A value label as the windows place them, in a colour the chart never uses.
    auto* overlay = new QLabel("OVERLAY 1,500.0 Mbps", &m_chart);
    overlay->setAutoFillBackground(true);
    QPalette palette = overlay->palette();
    palette.setColor(QPalette::Window, QColor(0, 255, 0));
    overlay->setPalette(palette);
    overlay->move(368, 15);
    overlay->resize(200, 14);
    ShowAndSettle(m_chart);

    // On screen the label is there (so the check below could see it)...
    const QImage screen = m_chart.grab().toImage();
    EXPECT_GT(CountPixels(screen, Rgb(kGreen)), 1000);

    const QString path = Path("chart.bmp");
    m_chart.SaveChartBitmap(path);
    QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), QSize(752, 393));
    // ...but not in the bitmap.
    EXPECT_EQ(CountPixels(saved, Rgb(kGreen)), 0);
    EXPECT_GT(CountPixels(saved, Rgb(kYellow)), 600);
    EXPECT_GT(CountPixels(saved, Rgb(kRed)), 300);
    // Title text: dark pixels in the top band, where nothing else is drawn.
    int dark = 0;
    for (int y = 0; y < 34; ++y) {
        for (int x = 0; x < 300; ++x) {
            dark += qGray(saved.pixel(x, y)) < 80 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 100);
    // Same picture as the one the screen shows beneath its labels.
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), m_chart.RenderImage());
}

TEST_F(ChartPicture, SegmentsTakeTheColourOfThePointTheyLeadTo) {
    TLineSeries* series = m_chart.AddSeries("Series1");
    series->SetPenColor(kMagenta);    // the pen's colour is never drawn
    series->AppendPoint(500, kGreen); // leads nowhere: its colour is never drawn
    for (int i = 1; i < 60; ++i) {
        series->AppendPoint(500, kRed);
    }
    for (int i = 60; i < 120; ++i) {
        series->AppendPoint(500, kBlue);
    }
    const QImage image = m_chart.RenderImage();
    EXPECT_EQ(CountPixels(image, Rgb(kGreen)), 0);
    EXPECT_EQ(CountPixels(image, Rgb(kMagenta)), 0);
    const auto red = ColumnSpan(image, Rgb(kRed));
    const auto blue = ColumnSpan(image, Rgb(kBlue));
    ASSERT_GE(red.first, 0);
    ASSERT_GE(blue.first, 0);
    EXPECT_LT(red.second, blue.first + 2); // red on the left, blue on the right
    EXPECT_GT(blue.second - blue.first, 250);
}

TEST_F(ChartPicture, InvisiblePenDrawsNothingButRaisesTheTop) {
    TLineSeries* shown = m_chart.AddSeries("Series1");
    TLineSeries* hidden = m_chart.AddSeries("Series5");
    Fill(*shown, 120, 100, kYellow);
    Fill(*hidden, 120, 200, kRed);
    hidden->SetPenVisible(false);
    m_chart.SetAutomaticMaximum(true);
    const QImage image = m_chart.RenderImage();
    EXPECT_EQ(CountPixels(image, Rgb(kRed)), 0);
    EXPECT_EQ(m_chart.AxisTop(), 200.0);
    // The visible line sits at half the height of the plot: between the
    // title band and the bottom, well below the top third.
    int yellowRow = -1;
    for (int y = 0; y < image.height() && yellowRow < 0; ++y) {
        if (image.pixel(400, y) == Rgb(kYellow)) {
            yellowRow = y;
        }
    }
    EXPECT_GT(yellowRow, 393 / 3);
    EXPECT_LT(yellowRow, 393 * 3 / 4);
}

TEST_F(ChartPicture, MissingFolderCannotBeCreated) {
    const QString path = Path("missing/VQ_Veltrum_b20261206201503.bmp");
    try {
        m_chart.SaveChartBitmap(path);
        FAIL() << "no error";
    } catch (const EChartError& e) {
        EXPECT_EQ(QString::fromStdString(e.what()), "Cannot create file " + path);
    }
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(ChartPicture, FileNameWithForbiddenCharactersIsRefused) {
    for (const QString name : {"VQ_a:b_b2026.bmp", "VQ_a*b.bmp", "VQ_a|b.bmp", "VQ_a\tb.bmp"}) {
        const QString path = Path(name);
        try {
            m_chart.SaveChartBitmap(path);
            ADD_FAILURE() << "no error for " << name.toStdString();
        } catch (const EChartError& e) {
            EXPECT_EQ(QString::fromStdString(e.what()), "Cannot create file " + path);
        }
        EXPECT_FALSE(QFile::exists(path));
    }
}

TEST_F(ChartPicture, SaveReplacesAnExistingFile) {
    const QString path = Path("chart.bmp");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000000, 'x'));
    old.close();
    m_chart.SaveChartBitmap(path);
    EXPECT_EQ(QImage(path).size(), QSize(752, 393));
    EXPECT_LT(QFile(path).size(), 5000000);
}

TEST_F(ChartPicture, OneRepaintPerRefill) {
    std::vector<TLineSeries*> series;
    for (int i = 1; i <= 6; ++i) {
        series.push_back(m_chart.AddSeries(QString("Series%1").arg(i)));
    }
    ShowAndSettle(m_chart);
    const int before = m_chart.PaintCount();
    ASSERT_GT(before, 0) << "the offscreen chart was never painted";

    m_chart.ClearTitle();
    m_chart.AddTitleLine("Veltrum");
    for (TLineSeries* s : series) {
        s->RemoveAllPoints();
        for (int i = 0; i < 120; ++i) {
            s->AppendPoint(i * 10.0, kYellow);
        }
    }
    EXPECT_EQ(m_chart.PaintCount(), before) << "painted while being refilled";
    for (int i = 0; i < 10; ++i) {
        QApplication::processEvents();
    }
    EXPECT_EQ(m_chart.PaintCount(), before + 1);
}

TEST(TChart, DoubleClickIsReported) {
    TChart chart;
    chart.resize(200, 100);
    auto* label = new QLabel("Label5", &chart);
    label->move(10, 10);
    int clicks = 0;
    QObject::connect(&chart, &TChart::doubleClicked, [&] { ++clicks; });
    const QPointF at(50, 50);
    QMouseEvent onChart(QEvent::MouseButtonDblClick, at, chart.mapToGlobal(at), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&chart, &onChart);
    EXPECT_EQ(clicks, 1);
    // Over a label the chart still hears of it, as the window expects.
    QMouseEvent onLabel(QEvent::MouseButtonDblClick, QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)),
                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(label, &onLabel);
    EXPECT_EQ(clicks, 2);
}

} // namespace
} // namespace veltrum

namespace veltrum {
namespace {

// Regression: a repaint kept pointers to laid-out axis labels while adding
// more of them to the layout cache, which moved the earlier ones. The stale
// reads happened inside Qt's own library, where the sanitizers do not look,
// so only an optimised build crashed (in the first repaints of a graph
// window); this stress keeps the cache growing and emptying mid-repaint.
TEST(TChart, RepaintsWithEverNewAxisLabelsStayValid) {
    TChart chart;
    chart.resize(752, 393);
    chart.SetAxisTitle("[kbps]");
    chart.SetAutomaticMaximum(false);
    // Maxima over nine decades give hundreds of different label texts, so
    // the layout cache grows and is emptied in the middle of repaints.
    double scale = 1.0;
    for (int decade = 0; decade < 9; ++decade, scale *= 10) {
        for (int mantissa = 10; mantissa < 100; ++mantissa) {
            chart.SetMaximum(mantissa * scale / 10.0 + 0.3);
            const QImage image = chart.RenderImage();
            ASSERT_EQ(image.size(), QSize(752, 393));
        }
    }
}

} // namespace
} // namespace veltrum
