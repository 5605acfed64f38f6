#include "graphs/UsageWindow.h"

#include "core/Formatting.h"
#include "core/Quota.h"
#include "widgets/Colors.h"
#include "widgets/PlainText.h"

#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QShowEvent>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

namespace veltrum {

namespace {

// Room around the plot for the title and scale above it and the ticks below.
constexpr int kSide = 6;
constexpr int kAbove = 18;
constexpr int kBelow = 16;
constexpr int kChartHeight = 120;
// Room for a tick's text: "Mon 23:00" on the 48-hour chart.
constexpr int kTickWidth = 76;
const QColor kPlotGround(255, 255, 255);
const QColor kGapHatch(176, 176, 176);
const QColor kAxis(128, 128, 128);

NumberLocale numberLocale() {
    const QLocale locale;
    return NumberLocale{locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()};
}

// A partly sampled bucket's bar: the colour halfway to white.
QColor partial(const QColor& color) {
    return QColor((color.red() + 255) / 2, (color.green() + 255) / 2, (color.blue() + 255) / 2);
}

// The scale, a round number of its unit: "2 GB", "500 MB".
QString scaleText(uint64_t octets) {
    static constexpr const char* kUnits[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB"};
    size_t unit = 0;
    while (octets >= 1000 && octets % 1000 == 0 && unit + 1 < std::size(kUnits)) {
        octets /= 1000;
        ++unit;
    }
    return QString::number(octets) + QLatin1Char(' ') + QLatin1String(kUnits[unit]);
}

QString volume(uint64_t octets) {
    return QString::fromStdString(DecimalVolumeText(octets, numberLocale()));
}

QDateTime local(int64_t t) {
    return QDateTime::fromSecsSinceEpoch(t);
}

// " (15 Mar - 14 Apr)": a span's first and last day; nothing for no span.
QString dayRange(const UsageBucket& bucket) {
    if (bucket.End <= bucket.Start) {
        return {};
    }
    const QLocale locale;
    const QString format = QStringLiteral("d MMM");
    return QStringLiteral(" (") + locale.toString(local(bucket.Start).date(), format) +
           QStringLiteral(" \u2013 ") + locale.toString(local(bucket.End - 1).date(), format) +
           QLatin1Char(')');
}

QString missed(const UsageBucket& bucket) {
    return QString::fromStdString(MissedText(bucket, numberLocale()));
}

QString notRecorded() {
    return QStringLiteral("not recorded");
}

// A bucket's day or period as the table and the hints name it.
QString whenText(const UsageBucket& bucket, TUsageChart::Ticks ticks) {
    const QLocale locale;
    const QDateTime start = local(bucket.Start);
    switch (ticks) {
    case TUsageChart::Ticks::Hours:
        return locale.toString(start, QStringLiteral("ddd d MMM HH:mm"));
    case TUsageChart::Ticks::Days:
        return locale.toString(start.date(), QStringLiteral("ddd d MMM yyyy"));
    case TUsageChart::Ticks::Periods:
        return locale.toString(start.date(), QStringLiteral("d MMM yyyy")) + QStringLiteral(" \u2013 ") +
               locale.toString(local(bucket.End - 1).date(), QStringLiteral("d MMM yyyy"));
    }
    return {};
}

QLabel* figureLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

} // namespace

// TUsageChart

TUsageChart::TUsageChart(const QString& title, Ticks ticks, QWidget* parent)
    : QWidget(parent), m_title(title), m_ticks(ticks) {
    setMinimumHeight(kChartHeight);
}

QSize TUsageChart::sizeHint() const {
    return {600, kChartHeight};
}

QRect TUsageChart::PlotRect() const {
    return rect().adjusted(kSide, kAbove, -kSide, -kBelow);
}

void TUsageChart::SetBuckets(std::vector<UsageBucket> buckets, int64_t now, uint32_t downloadColor,
                             uint32_t uploadColor) {
    m_buckets = std::move(buckets);
    m_now = now;
    m_downloadColor = downloadColor;
    m_uploadColor = uploadColor;
    relayout();
    update();
}

void TUsageChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void TUsageChart::relayout() {
    const QRect plot = PlotRect();
    m_layout = LayoutUsageBars(m_buckets, m_now, plot.width(), plot.height());
}

QString TUsageChart::tickText(const UsageBucket& bucket) const {
    const QLocale locale;
    const QDateTime start = local(bucket.Start);
    switch (m_ticks) {
    case Ticks::Hours:
        // Two days share the chart: each label says which.
        return locale.toString(start, QStringLiteral("ddd HH:mm"));
    case Ticks::Days:
        return locale.toString(start.date(), QStringLiteral("d MMM"));
    case Ticks::Periods:
        return locale.toString(start.date(), QStringLiteral("MMM"));
    }
    return {};
}

int TUsageChart::BarAt(int x) const {
    const int inPlot = x - PlotRect().left();
    for (size_t i = 0; i < m_layout.Bars.size(); ++i) {
        const UsageBar& bar = m_layout.Bars[i];
        if (inPlot >= bar.Left && inPlot < bar.Left + std::max(bar.Width, 1)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QString TUsageChart::BarHint(int bar) const {
    if (bar < 0 || static_cast<size_t>(bar) >= m_buckets.size()) {
        return {};
    }
    const UsageBucket& bucket = m_buckets[static_cast<size_t>(bar)];
    QString text = whenText(bucket, m_ticks) + QStringLiteral("\n");
    if (!bucket.Recorded) {
        return text + notRecorded();
    }
    return text +
           QStringLiteral("Download %1, upload %2, both %3\nMissed %4")
               .arg(volume(bucket.Download), volume(bucket.Upload), volume(bucket.Both()), missed(bucket));
}

bool TUsageChart::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString hint = BarHint(BarAt(help->pos().x()));
        if (hint.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), hint, this);
        }
        return true;
    }
    return QWidget::event(event);
}

void TUsageChart::paintEvent(QPaintEvent* event) {
    (void)event;
    QPainter painter(this);
    const QRect plot = PlotRect();
    painter.fillRect(plot, kPlotGround);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(kSide, 0, width() - 2 * kSide, kAbove - 2), Qt::AlignLeft | Qt::AlignBottom,
                     m_title);
    if (!m_buckets.empty()) {
        painter.drawText(QRect(kSide, 0, width() - 2 * kSide, kAbove - 2), Qt::AlignRight | Qt::AlignBottom,
                         scaleText(m_layout.ScaleOctets));
    }

    const QColor download = ColorFromBgr(m_downloadColor);
    const QColor upload = ColorFromBgr(m_uploadColor);
    for (const UsageBar& bar : m_layout.Bars) {
        const int left = plot.left() + bar.Left;
        if (bar.Coverage == BucketCoverage::Gap) {
            painter.fillRect(QRect(left, plot.top(), bar.Width, plot.height()),
                             QBrush(kGapHatch, Qt::BDiagPattern));
            continue;
        }
        const bool whole = bar.Coverage == BucketCoverage::Whole;
        painter.fillRect(QRect(left, plot.top() + bar.DownloadTop, bar.Width, bar.DownloadHeight),
                         whole ? download : partial(download));
        painter.fillRect(QRect(left, plot.top() + bar.UploadTop, bar.Width, bar.UploadHeight),
                         whole ? upload : partial(upload));
    }
    painter.setPen(kAxis);
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());

    // Ticks under every few bars, counted back from the newest.
    const int count = static_cast<int>(m_layout.Bars.size());
    const int step = m_ticks == Ticks::Hours ? 6 : (m_ticks == Ticks::Days ? 5 : 1);
    painter.setPen(palette().color(QPalette::WindowText));
    for (int i = count - 1; i >= 0; i -= step) {
        const UsageBar& bar = m_layout.Bars[static_cast<size_t>(i)];
        const int centre = plot.left() + bar.Left + bar.Width / 2;
        // Kept whole inside the chart at its edges.
        const int left = std::clamp(centre - kTickWidth / 2, 0, std::max(0, width() - kTickWidth));
        painter.drawText(QRect(left, plot.bottom() + 2, kTickWidth, kBelow - 2),
                         Qt::AlignHCenter | Qt::AlignTop, tickText(m_buckets[static_cast<size_t>(i)]));
    }
}

// TFormUsage

TFormUsage::TFormUsage(const Monitor& monitor, UsageSource source, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_monitor(monitor), m_source(std::move(source)) {
    setObjectName(QStringLiteral("FormUsage"));
    auto* layout = new QVBoxLayout(this);

    UnitNote =
        new QLabel(QStringLiteral("Decimal units, as providers bill: 1 kB = 10\u00B3, 1 MB = 10\u2076, "
                                  "1 GB = 10\u2079 octets"),
                   this);
    layout->addWidget(UnitNote);
    Unavailable = new QLabel(this);
    Unavailable->setWordWrap(true);
    Unavailable->hide();
    layout->addWidget(Unavailable);

    auto* grid = new QGridLayout;
    const char* columns[] = {"Download", "Upload", "Both", "Missed"};
    for (int column = 0; column < 4; ++column) {
        auto* heading = figureLabel(this);
        heading->setText(QString::fromLatin1(columns[column]));
        grid->addWidget(heading, 0, column + 1);
        grid->setColumnMinimumWidth(column + 1, 80);
    }
    for (int row = 0; row < kRows; ++row) {
        RowCaptions[static_cast<size_t>(row)] = new QLabel(this);
        grid->addWidget(RowCaptions[static_cast<size_t>(row)], row + 1, 0);
        for (int column = 0; column < 3; ++column) {
            QLabel*& figure = Figures[static_cast<size_t>(row)][static_cast<size_t>(column)];
            figure = figureLabel(this);
            grid->addWidget(figure, row + 1, column + 1);
        }
        Missed[static_cast<size_t>(row)] = figureLabel(this);
        grid->addWidget(Missed[static_cast<size_t>(row)], row + 1, 4);
    }
    grid->setColumnStretch(0, 1);
    layout->addLayout(grid);
    QuotaLine = new QLabel(this);
    QuotaLine->hide();
    layout->addWidget(QuotaLine);

    HoursChart = new TUsageChart(QStringLiteral("Last 48 hours"), TUsageChart::Ticks::Hours, this);
    DaysChart = new TUsageChart(QStringLiteral("Last 31 days"), TUsageChart::Ticks::Days, this);
    PeriodsChart =
        new TUsageChart(QStringLiteral("Last 12 billing periods"), TUsageChart::Ticks::Periods, this);
    for (TUsageChart* chart : {HoursChart, DaysChart, PeriodsChart}) {
        layout->addWidget(chart);
    }
    auto* legend = new QLabel(QStringLiteral("Download below, upload above. Lighter: partly sampled; "
                                             "hatched: nothing recorded."),
                              this);
    layout->addWidget(legend);
    Table = new QTableWidget(0, 5, this);
    Table->setHorizontalHeaderLabels({QStringLiteral("Day or period"), QStringLiteral("Download"),
                                      QStringLiteral("Upload"), QStringLiteral("Both"),
                                      QStringLiteral("Missed")});
    Table->verticalHeader()->hide();
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    Table->setMinimumHeight(160);
    layout->addWidget(Table, 1);
    resize(680, 940);
}

void TFormUsage::ShowUsage() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show();
}

void TFormUsage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        setWindowTitle(QString::fromStdString(m_monitor.Settings().SessionName) + QStringLiteral(" - Usage"));
        Refresh();
    }
}

void TFormUsage::OnSample(const PollSample& sample) {
    (void)sample;
    if (!isVisible() || (m_sinceQuery.isValid() && m_sinceQuery.elapsed() < kRefreshMs)) {
        return;
    }
    Refresh();
}

void TFormUsage::Refresh() {
    ++m_queries;
    m_sinceQuery.start();
    UsageSummary summary;
    try {
        if (m_source) {
            summary = m_source();
        } else {
            summary.Unavailable = "No usage history is kept.";
        }
    } catch (const std::exception& e) {
        // Nothing crosses the event loop: the window says what went wrong.
        summary = UsageSummary{};
        summary.Unavailable = std::string("The usage history cannot be read: ") + e.what();
    }
    showSummary(summary);
}

void TFormUsage::showSummary(const UsageSummary& summary) {
    const bool shown = summary.Unavailable.empty();
    SetPlainText(*Unavailable, QString::fromStdString(summary.Unavailable));
    Unavailable->setVisible(!shown);

    struct Row {
        QString Caption;
        std::optional<UsageBucket> Figures;
        bool Times = true; // the missed time is shown
    };
    UsageBucket estimated;
    if (summary.Estimate) {
        estimated.Download = summary.Estimate->Download;
        estimated.Upload = summary.Estimate->Upload;
    }
    // In the first period the figures run from the first recording: the
    // caption says so rather than let days never seen pass for quiet ones.
    const QString period = summary.FirstPeriod ? QStringLiteral(" since ") +
                                                     QLocale().toString(local(summary.FirstRecorded).date(),
                                                                        QStringLiteral("d MMM"))
                                               : dayRange(summary.Period);
    const Row rows[kRows] = {
        {QStringLiteral("Today"), summary.Today},
        {QStringLiteral("Yesterday"), summary.Yesterday},
        {QStringLiteral("This period") + period, summary.Period},
        {summary.Estimate ? QStringLiteral("At this pace by the period's end")
                          : QStringLiteral("At this pace by the period's end (after an hour recorded)"),
         summary.Estimate ? std::optional<UsageBucket>(estimated) : std::nullopt, false},
        {QStringLiteral("Last period") + dayRange(summary.LastPeriod), summary.LastPeriod},
        {QStringLiteral("All time"), summary.AllTime},
    };
    const QString none = QStringLiteral("\u2013");
    for (size_t row = 0; row < std::size(rows); ++row) {
        RowCaptions[row]->setText(rows[row].Caption);
        const std::optional<UsageBucket>& figures = shown ? rows[row].Figures : std::nullopt;
        const bool recorded = figures && figures->Recorded;
        Figures[row][0]->setText(!figures ? none : recorded ? volume(figures->Download) : notRecorded());
        Figures[row][1]->setText(recorded ? volume(figures->Upload) : none);
        Figures[row][2]->setText(recorded ? volume(figures->Both()) : none);
        Missed[row]->setText(recorded && rows[row].Times ? missed(*figures) : QString());
    }

    const std::optional<QuotaUse> use = PeriodQuotaUse(summary);
    if (use) {
        QuotaLine->setText(QString::fromStdString(QuotaText(*use, numberLocale())));
    }
    QuotaLine->setVisible(use.has_value());

    const std::pair<TUsageChart*, const std::vector<UsageBucket>*> charts[] = {
        {HoursChart, &summary.Hours}, {DaysChart, &summary.Days}, {PeriodsChart, &summary.Periods}};
    const ViewSettings settings = m_monitor.Settings();
    for (const auto& [chart, buckets] : charts) {
        chart->SetBuckets(shown ? *buckets : std::vector<UsageBucket>{}, summary.Now, settings.DownloadColor,
                          settings.UploadColor);
    }
    showTable(shown ? summary : UsageSummary{});
    // Lines shown or hidden and texts of new lengths take their places now,
    // not at the next turn of the event loop.
    layout()->activate();
}

void TFormUsage::showTable(const UsageSummary& summary) {
    Table->setRowCount(static_cast<int>(summary.Days.size() + summary.Periods.size()));
    int row = 0;
    const auto put = [&](const UsageBucket& bucket, TUsageChart::Ticks ticks) {
        const QString cells[] = {whenText(bucket, ticks),
                                 bucket.Recorded ? volume(bucket.Download) : notRecorded(),
                                 bucket.Recorded ? volume(bucket.Upload) : QString(),
                                 bucket.Recorded ? volume(bucket.Both()) : QString(),
                                 bucket.Recorded ? missed(bucket) : QString()};
        for (int column = 0; column < 5; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                               : Qt::AlignRight | Qt::AlignVCenter);
            Table->setItem(row, column, item);
        }
        ++row;
    };
    // Newest first: today, then the days before it, then the periods.
    for (auto day = summary.Days.rbegin(); day != summary.Days.rend(); ++day) {
        put(*day, TUsageChart::Ticks::Days);
    }
    for (auto period = summary.Periods.rbegin(); period != summary.Periods.rend(); ++period) {
        put(*period, TUsageChart::Ticks::Periods);
    }
    Table->resizeColumnsToContents();
}

} // namespace veltrum
