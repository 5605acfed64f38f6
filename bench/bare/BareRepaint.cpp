// The floor under Veltrum's footprint: a bare Qt Widgets program that
// repaints the same pixel area as the two graph windows (752 x 792) once a
// second with a changing line, and does nothing else. scripts/footprint
// runs it beside the monitor so that each figure can be read as a ratio to
// what Qt itself costs on this machine.

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdlib>

namespace {

class BareArea final : public QWidget {
public:
    BareArea() {
        setWindowTitle(QStringLiteral("bare Qt"));
        setFixedSize(752, 792);
        setAttribute(Qt::WA_OpaquePaintEvent);
        m_timer.setInterval(1000);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            ++m_tick;
            update();
        });
        m_timer.start();
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Button));
        // 120 points that move every second, as a history chart's do.
        std::array<QPoint, 120> line;
        for (int i = 0; i < static_cast<int>(line.size()); ++i) {
            const int y = 100 + ((i * 37 + m_tick * 13) % 250);
            line[static_cast<size_t>(i)] = QPoint(40 + i * 6, y);
        }
        p.setPen(QPen(Qt::darkYellow, 2));
        p.drawPolyline(line.data(), static_cast<int>(line.size()));
        p.setPen(Qt::black);
        p.drawText(QPoint(10, 20), QString::number(m_tick));
    }

private:
    QTimer m_timer;
    int m_tick = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") != nullptr) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    QApplication app(argc, argv);
    BareArea area;
    area.show();
    return QApplication::exec();
}
