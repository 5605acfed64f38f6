#include "graphs/UsageWindow.h"

#include "core/Formatting.h"
#include "core/Quota.h"
#include "widgets/Colors.h"
#include "widgets/PlainText.h"

#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QShowEvent>
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
        return locale.toString(start.time(), QStringLiteral("HH:mm"));
    case Ticks::Days:
        return locale.toString(start.date(), QStringLiteral("d MMM"));
    case Ticks::Periods:
        return locale.toString(start.date(), QStringLiteral("MMM"));
    }
    return {};
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
        const int left = std::clamp(centre - 30, 0, std::max(0, width() - 60));
        painter.drawText(QRect(left, plot.bottom() + 2, 60, kBelow - 2), Qt::AlignHCenter | Qt::AlignTop,
                         tickText(m_buckets[static_cast<size_t>(i)]));
    }
}

// TFormUsage

TFormUsage::TFormUsage(const MonitorState& state, UsageSource source, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_state(state), m_source(std::move(source)) {
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
    const char* columns[] = {"Download", "Upload", "Both"};
    for (int column = 0; column < 3; ++column) {
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
    resize(620, 720);
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
        setWindowTitle(QString::fromStdString(m_state.SessionName) + QStringLiteral(" - Usage"));
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

    const std::optional<UsageEstimate> estimate = EstimateToPeriodEnd(summary.Period, summary.Now);
    struct Row {
        QString Caption;
        std::optional<UsageBucket> Figures;
    };
    UsageBucket estimated;
    if (estimate) {
        estimated.Download = estimate->Download;
        estimated.Upload = estimate->Upload;
    }
    const Row rows[kRows] = {
        {QStringLiteral("Today"), summary.Today},
        {QStringLiteral("Yesterday"), summary.Yesterday},
        {QStringLiteral("This period") + dayRange(summary.Period), summary.Period},
        {QStringLiteral("At this pace by the period's end"),
         estimate ? std::optional<UsageBucket>(estimated) : std::nullopt},
        {QStringLiteral("Last period") + dayRange(summary.LastPeriod), summary.LastPeriod},
        {QStringLiteral("All time"), summary.AllTime},
    };
    const QString none = QStringLiteral("\u2013");
    for (size_t row = 0; row < std::size(rows); ++row) {
        RowCaptions[row]->setText(rows[row].Caption);
        const std::optional<UsageBucket>& figures = shown ? rows[row].Figures : std::nullopt;
        Figures[row][0]->setText(figures ? volume(figures->Download) : none);
        Figures[row][1]->setText(figures ? volume(figures->Upload) : none);
        Figures[row][2]->setText(figures ? volume(figures->Both()) : none);
    }

    const std::optional<QuotaUse> use = PeriodQuotaUse(m_state, summary);
    if (use) {
        QuotaLine->setText(QString::fromStdString(QuotaText(*use, numberLocale())));
    }
    QuotaLine->setVisible(use.has_value());

    const std::pair<TUsageChart*, const std::vector<UsageBucket>*> charts[] = {
        {HoursChart, &summary.Hours}, {DaysChart, &summary.Days}, {PeriodsChart, &summary.Periods}};
    for (const auto& [chart, buckets] : charts) {
        chart->SetBuckets(shown ? *buckets : std::vector<UsageBucket>{}, summary.Now, m_state.DownloadColor,
                          m_state.UploadColor);
    }
    // Lines shown or hidden and texts of new lengths take their places now,
    // not at the next turn of the event loop.
    layout()->activate();
}

} // namespace veltrum
