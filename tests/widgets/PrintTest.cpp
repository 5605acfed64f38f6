// Run by print_test.sh against a CUPS server of its own:
// VELTRUM_PRINT_EXPECT=none when the server has no printer, or the path of
// the file the default printer writes.
#include "widgets/Chart.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace veltrum {
namespace {

QString Expectation() {
    const char* value = std::getenv("VELTRUM_PRINT_EXPECT");
    return value == nullptr ? QString() : QString::fromLocal8Bit(value);
}

void BuildChart(TChart& chart) {
    chart.setObjectName("Chart1");
    chart.resize(752, 393);
    chart.SetAxisTitle("[kbps]");
    TLineSeries* series = chart.AddSeries("Series1");
    for (int i = 0; i < 120; ++i) {
        series->AppendPoint(i * 5.0, 0x0000FFFF);
    }
}

// The job leaves the queue asynchronously; the file is complete once it ends
// with the PDF trailer.
bool WaitForPdf(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.readAll().trimmed().endsWith("%%EOF")) {
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

TEST(PrintChartLandscape, NoDefaultPrinter) {
    if (Expectation() != "none") {
        GTEST_SKIP() << "needs a CUPS server without printers (print_test.sh)";
    }
    TChart chart;
    BuildChart(chart);
    try {
        chart.PrintChartLandscape();
        FAIL() << "no error";
    } catch (const EChartError& e) {
        EXPECT_STREQ(e.what(), "There is no default printer currently selected");
    }
}

// Run by module_place_test.sh from a copy of this binary in a folder of its
// own: whatever it finds or misses, no working print module reaches it.
TEST(PrintModule, NotAvailableToACopyWithoutOne) {
    if (Expectation() != "unavailable") {
        GTEST_SKIP() << "needs a copy of the binary away from the build tree (module_place_test.sh)";
    }
    TChart chart;
    BuildChart(chart);
    try {
        chart.PrintChartLandscape();
        FAIL() << "no error";
    } catch (const EChartError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("Printing is not available: ")) << e.what();
    }
}

TEST(PrintChartLandscape, OneLandscapePageTitledWithTheChartsName) {
    const QString out = Expectation();
    if (out.isEmpty() || out == "none") {
        GTEST_SKIP() << "needs a CUPS server with a default file printer (print_test.sh)";
    }
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    ASSERT_FALSE(info.isNull());
    const QPageLayout::Orientation before = QPrinter(info).pageLayout().orientation();

    TChart chart;
    BuildChart(chart);
    ASSERT_NO_THROW(chart.PrintChartLandscape());
    ASSERT_TRUE(WaitForPdf(out)) << "no PDF at " << out.toStdString();

    QProcess pdfinfo;
    pdfinfo.start("pdfinfo", {out});
    ASSERT_TRUE(pdfinfo.waitForFinished(30000));
    const QString text = QString::fromUtf8(pdfinfo.readAllStandardOutput());
    EXPECT_TRUE(text.contains(QRegularExpression("^Pages:\\s+1$", QRegularExpression::MultilineOption)))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("^Title:\\s+Chart1$", QRegularExpression::MultilineOption)))
        << text.toStdString();
    const QRegularExpressionMatch size =
        QRegularExpression("^Page size:\\s+([0-9.]+) x ([0-9.]+) pts", QRegularExpression::MultilineOption)
            .match(text);
    ASSERT_TRUE(size.hasMatch()) << text.toStdString();
    EXPECT_GT(size.captured(1).toDouble(), size.captured(2).toDouble()) << "page is not landscape";

    // The landscape setting belonged to the job only.
    EXPECT_EQ(QPrinter(QPrinterInfo::defaultPrinter()).pageLayout().orientation(), before);
}

} // namespace
} // namespace veltrum
