#pragma once
// The usage window: how much the current interface moved today, yesterday,
// in this billing period (with an estimate to its end), in the last period
// and in all, download, upload, both and the time missed; the period's use
// against the monthly quota; bar charts of the last 48 hours, the last 31
// days and the last 12 billing periods, download (the download colour)
// under upload (the upload colour), each bar's figures in its hint; and a
// table of the same days and periods. A bucket nothing is known of is a
// hatched gap, a partly sampled one a lighter bar; a time before the first
// recording is "not recorded", never zero. In the first period the figures
// run "since" recording began. Volumes are in decimal units, as providers
// bill, and the window says so.
//
// The window reads no history itself: it asks the UsageSource it was given
// (core/UsageFigures.h), and all it computes it leaves to core/. It is made
// at its first opening; while shown it asks again at a poll's sample, at
// most every few seconds; while hidden a sample costs it nothing.

#include "core/Monitor.h"
#include "core/UsageFigures.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

class QLabel;
class QTableWidget;

namespace veltrum {

// One bar chart of usage buckets, drawn by itself.
class TUsageChart final : public QWidget {
    Q_OBJECT

public:
    // How the buckets' starts are written under the bars.
    enum class Ticks : uint8_t { Hours, Days, Periods };
    TUsageChart(const QString& title, Ticks ticks, QWidget* parent = nullptr);

    void SetBuckets(std::vector<UsageBucket> buckets, int64_t now, uint32_t downloadColor,
                    uint32_t uploadColor);
    // Where the bars are drawn, in the chart's own coordinates; the bars'
    // geometry (Layout) counts from its top left.
    QRect PlotRect() const;
    const UsageChartLayout& Layout() const { return m_layout; }

    QSize sizeHint() const override;
    // The bar under `x` (chart coordinates); -1 for none.
    int BarAt(int x) const;
    // A bar's hint: its time and figures.
    QString BarHint(int bar) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    QString tickText(const UsageBucket& bucket) const;

    QString m_title;
    Ticks m_ticks;
    std::vector<UsageBucket> m_buckets;
    int64_t m_now = 0;
    uint32_t m_downloadColor = 0;
    uint32_t m_uploadColor = 0;
    UsageChartLayout m_layout;
};

class TFormUsage final : public QWidget, public MonitorSubscriber {
    Q_OBJECT

public:
    // `monitor` gives the session's name and the bar colours.
    TFormUsage(const Monitor& monitor, UsageSource source, QWidget* parent = nullptr);

    // The menu command: shows the window or, when it is shown already,
    // brings it forward.
    void ShowUsage();
    // Asks the source now and shows its answer (the recorder has just
    // written, or the window is being shown).
    void Refresh();
    // A poll's sample: while shown, a refresh at most every kRefreshMs.
    void OnSample(const PollSample& sample) override;
    static constexpr int kRefreshMs = 5000;

    // How often the source has been asked.
    int Queries() const { return m_queries; }

    // The rows of the figures: Today, Yesterday, This period, Estimate to
    // the period's end, Last period, All time; columns Download, Upload,
    // Both, and Missed (time and share; empty for the estimate).
    static constexpr int kRows = 6;
    std::array<QLabel*, kRows> RowCaptions{};
    std::array<std::array<QLabel*, 3>, kRows> Figures{};
    std::array<QLabel*, kRows> Missed{};
    QLabel* QuotaLine = nullptr;   // hidden without a quota
    QLabel* Unavailable = nullptr; // why there are no figures; hidden when there are
    QLabel* UnitNote = nullptr;
    TUsageChart* HoursChart = nullptr;
    TUsageChart* DaysChart = nullptr;
    TUsageChart* PeriodsChart = nullptr;
    // The last 31 days, then the last 12 periods: when, Download, Upload,
    // Both, Missed.
    QTableWidget* Table = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showSummary(const UsageSummary& summary);
    void showTable(const UsageSummary& summary);

    const Monitor& m_monitor;
    UsageSource m_source;
    QElapsedTimer m_sinceQuery;
    int m_queries = 0;
};

} // namespace veltrum
