#include "app/PanelViews.h"

#include "app/Glowny.h"
#include "core/MainWindowHint.h"
#include "core/Monitor.h"
#include "core/Notices.h"
#include "core/Quota.h"
#include "widgets/DesktopNotification.h"
#include "widgets/Gauge.h"
#include "widgets/PlainText.h"
#include "widgets/TrayIcon.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QMenu>
#include <QPointer>

#include <array>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace veltrum {

namespace {

NumberLocale systemLocale() {
    const QLocale locale = QLocale::system();
    return NumberLocale{locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()};
}

int64_t wallSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

// The history is written once a minute: asking it more often tells nothing new.
constexpr int64_t kUsageAskSeconds = 60;

} // namespace

class TrayView final : public QObject, private MonitorSubscriber {
public:
    TrayView(Monitor& monitor, TFormGlowny& glowny) : QObject(&glowny), m_monitor(monitor), m_glowny(glowny) {
        monitor.Subscribe(*this);
    }

private:
    void OnSample(const PollSample& sample) override {
        const ViewSettings state = m_monitor.Settings();
        // A panel may come and go: asked once a poll, which wakes the
        // program anyway.
        const bool shown = state.ShowTrayIcon && TTrayIcon::Available();
        if (!shown) {
            if (m_icon != nullptr && m_icon->IsVisible()) {
                m_icon->SetVisible(false);
            }
            // Without the icon nothing could bring the window back.
            if (!m_glowny.isVisible() && m_wasShown) {
                later([this] { m_glowny.ShowWithoutRestart(); });
            }
            m_wasShown = false;
            return;
        }
        if (sample.GaugeMaxima) {
            m_maxima = *sample.GaugeMaxima;
        }
        if (m_icon == nullptr) {
            makeIcon();
        }
        TrayPicture picture{0, 0, state.DownloadColor, state.UploadColor, false};
        if (sample.Shown) {
            picture.DownPercent = GaugePercent(0, m_maxima.first, sample.Shown->DownProgress);
            picture.UpPercent = GaugePercent(0, m_maxima.second, sample.Shown->UpProgress);
            const RateTexts rates = MainRateTexts(sample.DownRate, sample.UpRate, systemLocale());
            m_rates = "Download " + rates.Down + "bps, upload " + rates.Up + "bps";
        }
        if (sample.ShownFailure) {
            picture = TrayPicture{0, 0, state.DownloadColor, state.UploadColor, true};
            m_rates = *sample.ShownFailure;
        }
        m_icon->SetPicture(picture);
        if (sample.Usage) {
            askUsage();
        }
        std::string hint = m_rates.empty() ? std::string() : m_rates + "\n";
        hint += m_today + MainWindowHint({}, state, std::nullopt, systemLocale());
        m_icon->SetHint(PlainHint(QString::fromStdString(hint)));
        if (!m_wasShown) {
            m_icon->SetVisible(true);
            m_wasShown = true;
            if (state.HideMainWindow) {
                later([this] { m_glowny.hide(); });
            }
        }
        if (!state.HideMainWindow && !m_glowny.isVisible() && m_hideWasAsked) {
            later([this] { m_glowny.ShowWithoutRestart(); });
        }
        m_hideWasAsked = state.HideMainWindow;
    }

    // Made when first shown: a profile without the icon pays nothing for it.
    void makeIcon() {
        m_icon = new TTrayIcon(m_glowny.findChild<QMenu*>(QStringLiteral("PopupMenu1")), this);
        connect(m_icon, &TTrayIcon::Clicked, this, [this] {
            if (m_glowny.isVisible()) {
                m_glowny.hide();
            } else {
                m_glowny.ShowWithoutRestart();
            }
        });
    }

    void askUsage() {
        const int64_t now = wallSeconds();
        if (m_usageAskedAt != 0 && now - m_usageAskedAt < kUsageAskSeconds) {
            return;
        }
        m_usageAskedAt = now;
        const UsageSummary summary = m_monitor.UsageFigures(now);
        m_today.clear();
        if (summary.Unavailable.empty()) {
            const NumberLocale locale = systemLocale();
            m_today = "Today " + DecimalVolumeText(summary.Today.Download, locale) + " down, " +
                      DecimalVolumeText(summary.Today.Upload, locale) + " up\n";
        }
    }

    // Windows are shown and hidden outside the sample: the first one comes
    // while the main window is being shown.
    template <class F> void later(F f) { QMetaObject::invokeMethod(this, f, Qt::QueuedConnection); }

    Monitor& m_monitor;
    TFormGlowny& m_glowny;
    TTrayIcon* m_icon = nullptr;
    std::pair<int32_t, int32_t> m_maxima{2000, 2000};
    std::string m_rates;
    std::string m_today;
    int64_t m_usageAskedAt = 0;
    bool m_wasShown = false;
    bool m_hideWasAsked = false;
};

class NoticeView final : public QObject, private MonitorSubscriber {
public:
    NoticeView(Monitor& monitor, TFormGlowny& glowny, int outageSeconds)
        : QObject(&glowny), m_monitor(monitor), m_outageSeconds(outageSeconds) {
        m_clock.start();
        monitor.Subscribe(*this);
    }

    void SetOutageSeconds(int outageSeconds) { m_outageSeconds = outageSeconds; }

private:
    void OnSample(const PollSample& sample) override {
        NoticeSettings settings = m_monitor.Notices();
        settings.OutageSeconds = m_outageSeconds;
        m_decider.SetSettings(settings);
        for (const Notice& notice : m_decider.OnSample(sample, m_clock.elapsed())) {
            send(notice);
        }
        if (sample.Usage) {
            checkQuota();
        }
    }

    void checkQuota() {
        // Asked at every poll, with the counts not written yet: no threshold
        // slips by between two writes of the history.
        if (m_monitor.Quota().Limit == 0) {
            return;
        }
        const UsageSummary summary = m_monitor.UsageFigures(wallSeconds());
        const std::optional<QuotaUse> use = PeriodQuotaUse(summary);
        if (!use) {
            return;
        }
        const ViewSettings settings = m_monitor.Settings();
        const std::string path = QuotaAnnouncementsPath(settings.ProfilePath);
        if (!m_announcements || m_announcements->Path() != path) {
            m_announcements = std::make_unique<QuotaAnnouncements>(path);
        }
        if (const std::optional<QuotaCrossing> due = m_announcements->Due(summary.Period.Start, *use)) {
            const QDate reset = QDateTime::fromSecsSinceEpoch(summary.Period.End).date();
            send(QuotaNotice(*due, *use, settings.SessionName,
                             QLocale::system().toString(reset, QLocale::ShortFormat).toStdString(),
                             systemLocale()));
        }
    }

    void send(const Notice& notice) {
        const auto kind = static_cast<size_t>(notice.Kind);
        // Without a notification service nothing is sent; the hints still tell.
        SendDesktopNotification(QString::fromStdString(notice.Title), QString::fromStdString(notice.Body),
                                NotificationOptions{m_ids[kind], notice.Critical},
                                [self = QPointer<NoticeView>(this), kind](uint32_t id) {
                                    if (self) {
                                        self->m_ids[kind] = id;
                                    }
                                });
    }

    Monitor& m_monitor;
    int m_outageSeconds;
    NoticeDecider m_decider;
    QElapsedTimer m_clock;
    std::array<uint32_t, kNoticeKinds> m_ids{}; // each kind's last notice, which the next replaces
    std::unique_ptr<QuotaAnnouncements> m_announcements;
};

TrayView* AttachTray(Monitor& monitor, TFormGlowny& glowny) {
    return new TrayView(monitor, glowny);
}

NoticeView* AttachNotifier(Monitor& monitor, TFormGlowny& glowny, int outageSeconds) {
    return new NoticeView(monitor, glowny, outageSeconds);
}

void SetOutageSeconds(NoticeView& notices, int outageSeconds) {
    notices.SetOutageSeconds(outageSeconds);
}

} // namespace veltrum
