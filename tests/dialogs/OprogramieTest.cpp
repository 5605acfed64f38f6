// The About window: its picture resource, texts, and the hidden link.

#include "tests/dialogs/DialogFixture.h"

#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <cstring>

namespace veltrum::test {
namespace {

uint32_t le32(const QByteArray& b, int at) {
    uint32_t v = 0;
    std::memcpy(&v, b.constData() + at, 4);
    return v;
}
uint16_t le16(const QByteArray& b, int at) {
    uint16_t v = 0;
    std::memcpy(&v, b.constData() + at, 2);
    return v;
}

using TFormOprogramieTest = DialogTest;

TEST_F(TFormOprogramieTest, PictureIsAnUncompressed24BitBottomUpBitmap) {
    Start();
    QFile file(QString::fromLatin1(TFormOprogramie::kPictureResource));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bmp = file.readAll();
    ASSERT_GE(bmp.size(), 54);
    EXPECT_EQ(bmp.left(2), "BM");
    EXPECT_EQ(le32(bmp, 14), 40u);                      // BITMAPINFOHEADER
    EXPECT_EQ(static_cast<int32_t>(le32(bmp, 18)), 45); // width
    EXPECT_EQ(static_cast<int32_t>(le32(bmp, 22)), 42); // positive height: bottom-up rows
    EXPECT_EQ(le16(bmp, 28), 24);                       // bits per pixel
    EXPECT_EQ(le32(bmp, 30), 0u);                       // BI_RGB, uncompressed
    EXPECT_EQ(le32(bmp, 46), 0u);                       // no palette
    EXPECT_EQ(le32(bmp, 10), 54u);                      // pixels right after the headers
    EXPECT_EQ(bmp.size(), 54 + 136 * 42);               // rows padded to four octets

    // Yellow low in the left bar, red low in the right bar, grey above both.
    const QImage image = QImage::fromData(bmp, "BMP");
    ASSERT_EQ(image.size(), QSize(45, 42));
    EXPECT_EQ(image.pixelColor(14, 34), QColor(255, 255, 0));
    EXPECT_EQ(image.pixelColor(14, 14), QColor(255, 255, 0));
    EXPECT_EQ(image.pixelColor(14, 6), QColor(128, 128, 128));
    EXPECT_EQ(image.pixelColor(29, 34), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(29, 20), QColor(128, 128, 128));
    EXPECT_EQ(image.pixelColor(1, 1), QColor(0xD4, 0xD0, 0xC8));
}

TEST_F(TFormOprogramieTest, ShowsNameVersionAndPicture) {
    Windows& p = Start();
    auto& a = p.oprogramie;
    EXPECT_EQ(a.windowTitle(), "About");
    EXPECT_EQ(a.size(), QSize(293, 200));
    EXPECT_EQ(a.Label1->text(), "v1.11m");
    EXPECT_EQ(a.Panel2->geometry(), QRect(40, 12, 213, 61));
    EXPECT_EQ(a.Image1->pixmap().size(), QSize(45, 42));
    EXPECT_EQ(a.Image1->geometry().topLeft(), QPoint(16, 8));
    EXPECT_EQ(a.Image1->parentWidget(), a.Panel2);
    EXPECT_TRUE(a.BitBtn1->isDefault());
    EXPECT_EQ(a.Label3->text(), QString::fromLatin1(MonitorControl::kProductUrl));
    EXPECT_TRUE(a.Label3->isHidden());
}

TEST_F(TFormOprogramieTest, OkClosesWithoutOpeningThePage) {
    Windows& p = Start();
    const int result = ExecWith(p.oprogramie, [&] { p.oprogramie.BitBtn1->click(); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_FALSE(p.router.TimerWWW->isActive());
}

TEST_F(TFormOprogramieTest, LinkClickClosesFirstAndStartsTheWebTimer) {
    Windows& p = Start();
    bool closedBeforeTick = false;
    const int result = ExecWith(p.oprogramie, [&] {
        p.oprogramie.Label3->show();
        const QPointF inside(5, 5);
        QMouseEvent release(QEvent::MouseButtonRelease, inside, p.oprogramie.Label3->mapToGlobal(inside),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(p.oprogramie.Label3, &release);
        closedBeforeTick = !p.oprogramie.isVisible() && p.router.TimerWWW->isActive();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(closedBeforeTick);
    EXPECT_EQ(p.router.TimerWWW->interval(), 100);
    p.router.TimerWWW->stop(); // no browser in the test
}

} // namespace
} // namespace veltrum::test
