#pragma once
// The tray icon: the main window's two bars in the panel. The picture is a
// function of what it shows (TrayPicture) drawn at any size, so a test can
// count its pixels without a panel; the icon itself is QSystemTrayIcon,
// which speaks StatusNotifierItem where a watcher runs and XEmbed on other
// X11 panels. Nothing here knows the monitor: the caller hands it the
// gauges' percents and the hint.

#include <QImage>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>

class QMenu;
class QSystemTrayIcon;

namespace veltrum {

// What the icon shows: the gauges' percents in their colours (0x00BBGGRR),
// or a failure, which looks as the main window's: a red ground, empty bars.
struct TrayPicture {
    int32_t DownPercent = 0;
    int32_t UpPercent = 0;
    uint32_t DownColor = 0;
    uint32_t UpColor = 0;
    bool Failed = false;
    bool operator==(const TrayPicture&) const = default;
};

// The picture at `size` x `size` pixels: the download bar on the left, the
// upload bar on the right, each filled from the bottom.
QImage DrawTrayPicture(const TrayPicture& picture, int size);

// The sizes the icon carries, the panels' usual ones among them.
inline constexpr std::array<int, 5> kTrayIconSizes{16, 22, 24, 32, 48};

class TTrayIcon final : public QObject {
    Q_OBJECT
public:
    // `menu` is the icon's context menu; the caller keeps it.
    explicit TTrayIcon(QMenu* menu, QObject* parent = nullptr);
    ~TTrayIcon() override;

    // Whether the desktop has a tray to show an icon in, and why not.
    static bool Available();
    static QString UnavailableReason();

    void SetVisible(bool visible);
    bool IsVisible() const;
    // Draws the picture again only when a pixel of it would change.
    void SetPicture(const TrayPicture& picture);
    void SetHint(const QString& hint);
    // Pictures drawn since creation (tests use it).
    int Redraws() const { return m_redraws; }

signals:
    // A left click (or the panel's activation).
    void Clicked();

private:
    QSystemTrayIcon* m_icon;
    std::array<int32_t, 2 * kTrayIconSizes.size()> m_heights{};
    TrayPicture m_picture;
    bool m_drawn = false;
    int m_redraws = 0;
    QString m_hint;
};

} // namespace veltrum
