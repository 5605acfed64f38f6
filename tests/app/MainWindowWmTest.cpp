// The main window under a real window manager (openbox): ordinary windows
// mapped or activated after it stay below it, also after the dialogs that
// pause its stay-on-top re-assertion have closed. The order is the window
// manager's own, _NET_CLIENT_LIST_STACKING.

#include "app/ProfileCommands.h"
#include "app/TempDir.h"
#include "support/Program.h"
#include "support/ScriptedResponder.h"
#include "support/X11Stacking.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace veltrum {
namespace {

using test::Program;
using test::ScriptedResponder;
using test::TempDir;

// Rejects the next modal dialog once the window manager has shown it.
void RejectNextDialogWhenShown() {
    QTimer::singleShot(20, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            RejectNextDialogWhenShown();
            return;
        }
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        QTest::qWait(200);
        dialog->reject();
    });
}

class MainWindowUnderOpenbox : public ::testing::Test {
protected:
    void SetUp() override {
        dir.Write("Default.vlq", "[Host]\n01=" + silent.HostText() + "\n[Timeout]\n01=100\n");
        program = std::make_unique<Program>(dir.Dir());
        program->glowny.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&program->glowny));
        // Another program's ordinary window over the main window.
        const QRect area = program->glowny.frameGeometry().adjusted(-40, -40, 40, 40);
        cover = std::make_unique<test::ForeignWindow>(area.x(), area.y(), area.width(), area.height());
        QTest::qWait(300);
    }

    // Brings the ordinary window forward and reports whether the main window
    // is above it in the window manager's stacking order.
    ::testing::AssertionResult MainWindowStaysAbove() {
        cover->BringForward();
        QTest::qWait(300);
        const std::vector<uint32_t> order = test::ClientListStacking();
        const int main = test::StackIndex(order, program->glowny);
        const int other = test::StackIndex(order, cover->Id());
        if (main >= 0 && other >= 0 && main > other) {
            return ::testing::AssertionSuccess();
        }
        // -1: not in the window manager's list (no window manager running?)
        return ::testing::AssertionFailure()
               << "main window at " << main << ", ordinary window at " << other << " of " << order.size();
    }

    TempDir dir;
    ScriptedResponder silent{[](const ScriptedResponder::Request&) { return std::nullopt; }};
    std::unique_ptr<Program> program;
    std::unique_ptr<test::ForeignWindow> cover;
};

TEST_F(MainWindowUnderOpenbox, StaysAboveAnOrdinaryWindow) {
    EXPECT_TRUE(MainWindowStaysAbove());
}

TEST_F(MainWindowUnderOpenbox, StaysAboveAfterTheSettingsDialogCloses) {
    RejectNextDialogWhenShown();
    program->glowny.Konfiguracja1Click();
    EXPECT_FALSE(program->konfiguracja.isVisible());
    EXPECT_TRUE(program->glowny.TimerStayOnTop->isActive());
    EXPECT_TRUE(MainWindowStaysAbove());
}

TEST_F(MainWindowUnderOpenbox, StaysAboveAfterAProfileFileDialogCloses) {
    SetFileDialogRunner({}); // the real dialog
    RejectNextDialogWhenShown();
    program->glowny.Loadprofile1Click();
    EXPECT_TRUE(program->glowny.TimerStayOnTop->isActive());
    EXPECT_TRUE(MainWindowStaysAbove());
}

} // namespace
} // namespace veltrum
