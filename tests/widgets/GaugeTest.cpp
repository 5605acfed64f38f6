#include "widgets/Gauge.h"

#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

#include <limits>

namespace veltrum {
namespace {

constexpr uint32_t kYellow = 0x0000FFFF; // 0x00BBGGRR
constexpr uint32_t kGrey = 0x00808080;

QRgb Rgb(uint32_t bgr) {
    return qRgb(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

// The main window's gauge: 9 x 35, vertical bar, no border, no text.
void MakeMainWindowGauge(TGauge& gauge) {
    gauge.resize(9, 35);
    gauge.SetKind(gkVerticalBar);
    gauge.SetBorderStyle(bsNone);
    gauge.SetShowText(false);
    gauge.SetBackColor(kGrey);
    gauge.SetForeColor(kYellow);
}

bool RowIs(const QImage& image, int y, int x0, int x1, QRgb colour) {
    for (int x = x0; x <= x1; ++x) {
        if (image.pixel(x, y) != colour) {
            return false;
        }
    }
    return true;
}

// Rows entirely in the bar colour; EXPECTs that they sit at the bottom and
// that every other row is entirely background.
int FilledRows(const QImage& image) {
    const QRgb fore = Rgb(kYellow);
    const QRgb back = Rgb(kGrey);
    int filled = 0;
    for (int y = 0; y < image.height(); ++y) {
        if (RowIs(image, y, 0, image.width() - 1, fore)) {
            ++filled;
        } else {
            EXPECT_TRUE(RowIs(image, y, 0, image.width() - 1, back)) << "row " << y << " is mixed";
            EXPECT_EQ(filled, 0) << "background row " << y << " below the bar";
        }
    }
    return filled;
}

TEST(TGauge, DefaultsAtCreation) {
    TGauge gauge;
    EXPECT_EQ(gauge.size(), QSize(100, 100));
    EXPECT_EQ(gauge.MinValue(), 0);
    EXPECT_EQ(gauge.MaxValue(), 100);
    EXPECT_EQ(gauge.Progress(), 0);
    EXPECT_EQ(gauge.Kind(), gkHorizontalBar);
    EXPECT_TRUE(gauge.ShowText());
    EXPECT_EQ(gauge.BorderStyle(), bsSingle);
    EXPECT_EQ(gauge.ForeColor(), 0x00000000u);
    EXPECT_EQ(gauge.BackColor(), 0x00FFFFFFu);
    EXPECT_TRUE(gauge.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST(GaugePercent, TruncatesTowardZero) {
    EXPECT_EQ(GaugePercent(0, 1024, 71), 6); // 6.93
    EXPECT_EQ(GaugePercent(0, 1024, 1024), 100);
    EXPECT_EQ(GaugePercent(0, 0, 0), 0);
    EXPECT_EQ(GaugePercent(0, 2000, 19), 0);
    EXPECT_EQ(GaugePercent(0, 3, 2), 66);
    EXPECT_EQ(GaugePercent(-100, 100, 0), 50);
    // The widest range would overflow 32-bit integer arithmetic.
    constexpr int32_t lo = std::numeric_limits<int32_t>::min();
    constexpr int32_t hi = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(GaugePercent(lo, hi, 0), 50);
    EXPECT_EQ(GaugePercent(lo, hi, hi), 100);
}

TEST(TGaugeVerticalBar, FilledRowsOfTheMainWindowGauge) {
    struct Row {
        int32_t max;
        int32_t progress;
        int rows;
    };
    // 9 x 35 without a border: the bar grows from an area one row taller than
    // the gauge, so it fills F - 1 rows and never the top one.
    const Row rows[] = {
        {1024, 71, 1},    // P = 6: the smallest visible bar
        {1024, 1024, 34}, // P = 100: the top row keeps the background
        {0, 0, 0},        // empty range: P = 0
        {100, 50, 17},    // F = 18
        {100, 5, 0},      // F = 1
        {100, 6, 1},      // F = 2
        {100, 99, 34},    // F = 35
        {100, 97, 33},    // F = 34
        {2000, 1000, 17},
    };
    for (const Row& row : rows) {
        TGauge gauge;
        MakeMainWindowGauge(gauge);
        gauge.SetMaxValue(row.max);
        gauge.SetProgress(row.progress);
        const QImage image = gauge.Render();
        ASSERT_EQ(image.size(), QSize(9, 35));
        EXPECT_EQ(FilledRows(image), row.rows) << "max " << row.max << " progress " << row.progress;
        EXPECT_TRUE(RowIs(image, 0, 0, 8, Rgb(kGrey))) << "top row must stay background";
    }
}

TEST(TGaugeVerticalBar, SingleBorderStaysBlack) {
    TGauge gauge;
    MakeMainWindowGauge(gauge);
    gauge.SetBorderStyle(bsSingle);
    gauge.SetProgress(100);
    QImage image = gauge.Render();
    // Inside the one-pixel border a full bar covers the whole area, rows 1..33.
    for (int y = 1; y <= 33; ++y) {
        EXPECT_TRUE(RowIs(image, y, 1, 7, Rgb(kYellow))) << "row " << y;
    }
    for (int y = 0; y < 35; ++y) {
        EXPECT_EQ(image.pixel(0, y), qRgb(0, 0, 0));
        EXPECT_EQ(image.pixel(8, y), qRgb(0, 0, 0));
    }
    EXPECT_TRUE(RowIs(image, 0, 0, 8, qRgb(0, 0, 0)));
    EXPECT_TRUE(RowIs(image, 34, 0, 8, qRgb(0, 0, 0)));

    gauge.SetProgress(50); // F = trunc(34 * 0.5) = 17 rows: 17..33
    image = gauge.Render();
    EXPECT_TRUE(RowIs(image, 16, 1, 7, Rgb(kGrey)));
    EXPECT_TRUE(RowIs(image, 17, 1, 7, Rgb(kYellow)));
    EXPECT_TRUE(RowIs(image, 33, 1, 7, Rgb(kYellow)));
}

TEST(TGaugeHorizontalBar, FillsFromTheLeft) {
    TGauge gauge;
    gauge.resize(100, 10);
    gauge.SetBorderStyle(bsNone);
    gauge.SetShowText(false);
    gauge.SetForeColor(kYellow);
    gauge.SetBackColor(kGrey);
    gauge.SetProgress(50); // F = trunc(101 * 0.5) = 50 columns
    const QImage image = gauge.Render();
    EXPECT_EQ(image.pixel(49, 5), Rgb(kYellow));
    EXPECT_EQ(image.pixel(50, 5), Rgb(kGrey));
    EXPECT_EQ(image.pixel(0, 0), Rgb(kYellow));
}

TEST(TGauge, PercentTextOnlyWhenShown) {
    TGauge gauge;
    gauge.resize(60, 30);
    gauge.SetBorderStyle(bsNone);
    gauge.SetKind(gkText);
    gauge.SetBackColor(kGrey);
    gauge.SetProgress(42);
    auto whitePixels = [](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                count += image.pixel(x, y) == qRgb(255, 255, 255) ? 1 : 0;
            }
        }
        return count;
    };
    EXPECT_GT(whitePixels(gauge.Render()), 0);
    gauge.SetShowText(false);
    EXPECT_EQ(whitePixels(gauge.Render()), 0);
}

TEST(TGauge, PaintEventDrawsTheRenderedImage) {
    TGauge gauge;
    MakeMainWindowGauge(gauge);
    gauge.SetMaxValue(2000);
    gauge.SetProgress(1000);
    const QImage painted = gauge.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(painted, gauge.Render());
}

TEST(TGaugeSetMaxValue, BelowMinimumIsRefused) {
    TGauge gauge;
    gauge.SetMinValue(10);
    try {
        gauge.SetMaxValue(5);
        FAIL() << "no error";
    } catch (const EGaugeError& e) {
        EXPECT_STREQ(e.what(), "Value must be between 11 and 2147483647");
    }
    EXPECT_EQ(gauge.MaxValue(), 100);
    gauge.SetMaxValue(10); // equal to the minimum is allowed
    EXPECT_EQ(gauge.MaxValue(), 10);
}

TEST(TGaugeSetMinValue, AboveMaximumIsRefused) {
    TGauge gauge;
    try {
        gauge.SetMinValue(101);
        FAIL() << "no error";
    } catch (const EGaugeError& e) {
        EXPECT_STREQ(e.what(), "Value must be between -2147483647 and 99");
    }
    EXPECT_EQ(gauge.MinValue(), 0);
}

TEST(TGaugeSetMinValue, RaisesProgress) {
    TGauge gauge;
    gauge.SetProgress(20);
    gauge.SetMinValue(30);
    EXPECT_EQ(gauge.Progress(), 30);
}

TEST(TGaugeSetProgress, ClampsAndFollowsTheMaximum) {
    TGauge gauge;
    gauge.SetMaxValue(2000);
    gauge.SetProgress(5000);
    EXPECT_EQ(gauge.Progress(), 2000);
    gauge.SetMaxValue(1000);
    EXPECT_EQ(gauge.Progress(), 1000);
    gauge.SetProgress(-7);
    EXPECT_EQ(gauge.Progress(), 0);
}

TEST(TGaugeSetProgress, RepaintsOnlyWhenPercentChanges) {
    TGauge gauge;
    gauge.SetMaxValue(2000);
    gauge.SetProgress(10);
    const int before = gauge.RepaintRequests();
    gauge.SetProgress(11); // P stays 0
    EXPECT_EQ(gauge.Progress(), 11);
    EXPECT_EQ(gauge.RepaintRequests(), before);
    gauge.SetProgress(20); // P 0 -> 1
    EXPECT_EQ(gauge.RepaintRequests(), before + 1);
    gauge.SetProgress(20);
    EXPECT_EQ(gauge.RepaintRequests(), before + 1);
}

TEST(TGauge, SettersRepaintOnlyOnChange) {
    TGauge gauge;
    int expected = gauge.RepaintRequests();
    gauge.SetForeColor(0);
    gauge.SetBackColor(0x00FFFFFF);
    gauge.SetKind(gkHorizontalBar);
    gauge.SetShowText(true);
    gauge.SetBorderStyle(bsSingle);
    gauge.SetMaxValue(100);
    gauge.SetMinValue(0);
    EXPECT_EQ(gauge.RepaintRequests(), expected);
    gauge.SetForeColor(kYellow);
    gauge.SetBackColor(kGrey);
    gauge.SetKind(gkVerticalBar);
    gauge.SetShowText(false);
    gauge.SetBorderStyle(bsNone);
    gauge.SetMaxValue(50);
    gauge.SetMinValue(1);
    expected += 7;
    EXPECT_EQ(gauge.RepaintRequests(), expected);
}

} // namespace
} // namespace veltrum
