#include "widgets/TrayIcon.h"

#include "widgets/Colors.h"

#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <algorithm>

namespace veltrum {

namespace {

// The main window's ground behind the gauges, their troughs and its failure red.
const QColor kGround(0x40, 0x40, 0x40);
constexpr uint32_t kTrough = 0x00808080;
constexpr uint32_t kFailureRed = 0x000000FF;

struct Layout {
    int Margin, Width, Height;
};

Layout layoutAt(int size) {
    const int margin = std::max(1, size / 8);
    return {margin, std::max(1, (size - 3 * margin) / 2), std::max(1, size - 2 * margin)};
}

int32_t filled(int32_t percent, int height) {
    return height * std::clamp(percent, 0, 100) / 100;
}

} // namespace

QImage DrawTrayPicture(const TrayPicture& picture, int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(picture.Failed ? ColorFromBgr(kFailureRed) : kGround);
    const Layout l = layoutAt(size);
    QPainter painter(&image);
    const int lefts[2] = {l.Margin, 2 * l.Margin + l.Width};
    const int32_t percents[2] = {picture.DownPercent, picture.UpPercent};
    const uint32_t colours[2] = {picture.DownColor, picture.UpColor};
    for (int bar = 0; bar < 2; ++bar) {
        painter.fillRect(lefts[bar], l.Margin, l.Width, l.Height, ColorFromBgr(kTrough));
        const int32_t fill = picture.Failed ? 0 : filled(percents[bar], l.Height);
        painter.fillRect(lefts[bar], l.Margin + l.Height - fill, l.Width, fill, ColorFromBgr(colours[bar]));
    }
    return image;
}

TTrayIcon::TTrayIcon(QMenu* menu, QObject* parent) : QObject(parent), m_icon(new QSystemTrayIcon(this)) {
    m_icon->setContextMenu(menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            emit Clicked();
        }
    });
}

TTrayIcon::~TTrayIcon() = default;

bool TTrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QString TTrayIcon::UnavailableReason() {
    return QStringLiteral("The desktop has no system tray (no panel shows tray icons).");
}

void TTrayIcon::SetVisible(bool visible) {
    m_icon->setVisible(visible);
}

bool TTrayIcon::IsVisible() const {
    return m_icon->isVisible();
}

void TTrayIcon::SetPicture(const TrayPicture& picture) {
    // The colours and the failure change every pixel; the percents only the
    // bars' heights at each size the icon carries.
    std::array<int32_t, 2 * kTrayIconSizes.size()> heights{};
    for (size_t i = 0; i < kTrayIconSizes.size(); ++i) {
        const int height = layoutAt(kTrayIconSizes[i]).Height;
        heights[2 * i] = picture.Failed ? 0 : filled(picture.DownPercent, height);
        heights[2 * i + 1] = picture.Failed ? 0 : filled(picture.UpPercent, height);
    }
    if (m_drawn && heights == m_heights && picture.Failed == m_picture.Failed &&
        picture.DownColor == m_picture.DownColor && picture.UpColor == m_picture.UpColor) {
        return;
    }
    m_drawn = true;
    m_heights = heights;
    m_picture = picture;
    ++m_redraws;
    QIcon icon;
    for (const int size : kTrayIconSizes) {
        icon.addPixmap(QPixmap::fromImage(DrawTrayPicture(picture, size)));
    }
    m_icon->setIcon(icon);
}

void TTrayIcon::SetHint(const QString& hint) {
    if (hint != m_hint) {
        m_hint = hint;
        m_icon->setToolTip(hint);
    }
}

} // namespace veltrum
