#include "app/TempDir.h"
#include "support/Program.h"
#include "support/ScriptedResponder.h"
#include "support/X11Stacking.h"

#include <QTest>

#include <gtest/gtest.h>

namespace veltrum {
namespace {

using test::ModalWatcher;
using test::Program;
using test::ScriptedResponder;
using test::TempDir;

class MainWindowOnX : public ::testing::Test {
protected:
    void SetUp() override {
        dir.Write("Default.vlq",
                  "[Host]\n01=" + silent.HostText() +
                      "\n[Timeout]\n01=100\n[PozTopWykres]\n01=100\n[PozLeftWykres]\n01=100\n");
        program = std::make_unique<Program>(dir.Dir());
        program->glowny.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&program->glowny));
        program->glowny.activateWindow();
        QTest::qWait(50);
    }
    TempDir dir;
    ScriptedResponder silent{[](const ScriptedResponder::Request&) { return std::nullopt; }};
    std::unique_ptr<Program> program;
};

TEST_F(MainWindowOnX, IsAToolWindowThatStaysOnTop) {
    const Qt::WindowFlags flags = program->glowny.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_EQ(program->glowny.frameGeometry().size(), QSize(33, 68));
    EXPECT_EQ(program->glowny.windowTitle(), "Veltrum");
}

TEST_F(MainWindowOnX, F11AndF12ShowTheGraphWindows) {
    QTest::keyClick(&program->glowny, Qt::Key_F11);
    EXPECT_TRUE(program->wykres.isVisible());
    EXPECT_FALSE(program->wykresPkt.isVisible());
    program->glowny.activateWindow();
    QTest::qWait(20);
    QTest::keyClick(&program->glowny, Qt::Key_F12);
    EXPECT_TRUE(program->wykresPkt.isVisible());
}

TEST_F(MainWindowOnX, F11AndF12WorkFromTheGraphWindowsToo) {
    program->glowny.Showpacketsgraph1Click();
    program->wykresPkt.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&program->wykresPkt));
    QTest::keyClick(&program->wykresPkt, Qt::Key_F11);
    EXPECT_TRUE(program->wykres.isVisible());
    program->wykresPkt.close();
    program->wykres.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&program->wykres));
    QTest::keyClick(&program->wykres, Qt::Key_F12);
    EXPECT_TRUE(program->wykresPkt.isVisible());
}

TEST_F(MainWindowOnX, F1OpensTheAboutWindow) {
    ModalWatcher watcher;
    QTest::keyClick(&program->glowny, Qt::Key_F1);
    EXPECT_EQ(watcher.First(), &program->oprogramie);
}

TEST_F(MainWindowOnX, DoubleClickOnThePanelShowsTheBandwidthGraph) {
    QTest::mouseDClick(program->glowny.Panel2, Qt::LeftButton, {}, QPoint(27, 20));
    EXPECT_TRUE(program->wykres.isVisible());
    const QPoint where = program->wykres.pos();
    program->wykres.move(where + QPoint(10, 10));
    program->glowny.Pokawykres1Click(); // already shown: only brought forward
    EXPECT_EQ(program->wykres.pos(), where + QPoint(10, 10));
}

TEST_F(MainWindowOnX, ComesBackAboveAWindowMappedOverIt) {
    // No window manager on this display: another program's window is mapped
    // on top, the server tells the main window it is obscured, and it raises
    // itself. (The restart's own re-assertion is over by then.)
    QTest::qWait(300);
    const QRect area = program->glowny.frameGeometry().adjusted(-20, -20, 20, 20);
    test::ForeignWindow cover(area.x(), area.y(), area.width(), area.height());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const std::vector<uint32_t> order = test::RootChildrenBottomToTop();
            return test::StackIndex(order, program->glowny) > test::StackIndex(order, cover.Id());
        },
        2000));
}

} // namespace
} // namespace veltrum
