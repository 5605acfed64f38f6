#include "graphs/GraphCommon.h"

#include "widgets/Chart.h"

#include <QDateTime>
#include <QDir>
#include <QFont>
#include <QLabel>

namespace veltrum {

void RefillSeries(TLineSeries& series, const History& history, int32_t length, uint32_t color) {
    series.RemoveAllPoints();
    for (int32_t i = 1; i <= length; ++i) {
        series.AppendPoint(history[static_cast<size_t>(i)], color);
    }
}

void RefillFlatSeries(TLineSeries& series, int32_t value, int32_t length, uint32_t color) {
    series.RemoveAllPoints();
    for (int32_t i = 1; i <= length; ++i) {
        series.AppendPoint(value, color);
    }
}

QString ChartBitmapPath(const std::string& programDir, const std::string& sessionName, const char* side,
                        const QDateTime& now) {
    const QDate date = now.date();
    const QTime time = now.time();
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    const QString stamp = QString::number(date.year()) + two(date.month()) + two(date.day()) +
                          two(time.hour()) + two(time.minute()) + two(time.second());
    return QString::fromStdString(programDir) + QStringLiteral("VQ_") + QString::fromStdString(sessionName) +
           QLatin1Char('_') + QLatin1String(side) + stamp + QStringLiteral(".bmp");
}

QString SaveGraphBitmap(const TChart& chart, const BitmapFolder& folder, const std::string& sessionName,
                        const char* side) {
    // One reading of the clock, so the stamp cannot straddle a second.
    const QString path = ChartBitmapPath(folder.Path, sessionName, side, QDateTime::currentDateTime());
    if (!IsFileNamePart(QString::fromStdString(sessionName))) {
        throw EChartError("Cannot create file " + path.toStdString());
    }
    if (folder.CreateOnSave) {
        // A failure here surfaces as the chart view's "Cannot create file".
        QDir().mkpath(QString::fromStdString(folder.Path));
    }
    chart.SaveChartBitmap(path);
    return path;
}

QLabel* AddOverlayLabel(QWidget* chart, int left, int top, const QString& text) {
    auto* label = new QLabel(chart);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    label->setFont(font);
    label->setForegroundRole(QPalette::WindowText);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->move(left, top);
    SetOverlayText(label, text);
    return label;
}

void SetOverlayText(QLabel* label, const QString& text) {
    label->setText(text);
    label->adjustSize();
}

} // namespace veltrum
