#include "app/MainWindowParts.h"

#include "core/MainWindowHint.h"
#include "widgets/Gauge.h"

#include <QFont>
#include <QLabel>
#include <QLocale>

#include <utility>

namespace veltrum {

namespace {
constexpr uint32_t kGaugeGround = 0x00808080;
} // namespace

TGauge* MakeMainGauge(QWidget* parent, int left, const char* name, const char* hint, uint32_t colour) {
    auto* gauge = new TGauge(parent);
    gauge->setObjectName(QString::fromLatin1(name));
    gauge->setGeometry(left, 5, 9, 35);
    gauge->SetKind(gkVerticalBar);
    gauge->SetBorderStyle(bsNone);
    gauge->SetShowText(false);
    gauge->SetBackColor(kGaugeGround);
    gauge->SetForeColor(colour);
    gauge->SetMinValue(0);
    gauge->SetMaxValue(2000);
    gauge->SetProgress(0);
    gauge->setToolTip(QString::fromLatin1(hint));
    gauge->setToolTipDuration(kMainHintDurationMs);
    return gauge;
}

QLabel* MakeRateLabel(QWidget* parent, int left, const char* name, const char* hint) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(left, 202, 34, 12);
    label->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    label->setFont(font);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setToolTip(QString::fromLatin1(hint));
    label->setToolTipDuration(kMainHintDurationMs);
    return label;
}

void MainWindowHints::SetUsageLines(std::optional<QuotaUse> quotaUse, std::string status,
                                    std::string notice) {
    m_quotaUse = std::move(quotaUse);
    m_usageStatus = std::move(status);
    m_usageNotice = std::move(notice);
}

std::string MainWindowHints::usual(const char* part) const {
    const QLocale locale = QLocale::system();
    std::string text = MainWindowHint(
        part, m_monitor.Settings(), m_quotaUse,
        NumberLocale{locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()});
    // Why the usage history does not record (a full disk, another copy
    // recording), or what it had to set aside.
    for (const std::string& line : {m_usageStatus, m_usageNotice}) {
        if (!line.empty()) {
            text += "\n" + line;
        }
    }
    return text;
}

std::optional<MainWindowHints::Texts> MainWindowHints::Update(const std::string& reason) {
    m_reason = reason;
    const std::string& failure = reason.empty() ? m_mismatch : reason;
    const bool failing = !failure.empty();
    // Every poll passes here: the hints are set only when their text changes.
    std::string shown = failing ? failure : usual("");
    if (m_set && failing == m_failing && shown == m_shown) {
        return std::nullopt;
    }
    m_set = true;
    m_failing = failing;
    m_shown = std::move(shown);
    Texts texts;
    texts.Failing = failing;
    texts.Warning = HintCarriesWarning(m_quotaUse, m_usageStatus);
    for (size_t i = 0; i < kMainHintParts.size(); ++i) {
        texts.Hints[i] = failing ? failure : usual(kMainHintParts[i]);
    }
    return texts;
}

} // namespace veltrum
