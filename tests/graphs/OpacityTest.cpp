#include "graphs/Opacity.h"
#include "graphs/StillMonitor.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"

#include <QPushButton>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(OpacityAlpha, OnlyTheLowByteCounts) {
    EXPECT_EQ(OpacityAlpha(255), 255);
    EXPECT_EQ(OpacityAlpha(50), 50);
    EXPECT_EQ(OpacityAlpha(300), 44);
    EXPECT_EQ(OpacityAlpha(256), 0); // a hand-edited 256 gives an invisible window
    EXPECT_EQ(OpacityAlpha(0xFFFF), 255);
}

// The alpha byte that the window will be drawn with.
int AlphaOf(const QWidget& w) {
    return qRound(w.windowOpacity() * 255.0);
}

TEST(ApplyOpacity, ClosedGateLeavesTheWindowAlone) {
    QWidget w;
    ApplyOpacity(w, 100, false);
    EXPECT_EQ(AlphaOf(w), 255);
    ApplyOpacity(w, 100, true);
    ApplyOpacity(w, 200, false);
    EXPECT_EQ(AlphaOf(w), 100);
}

TEST(ApplyOpacity, EveryAlphaReachesAWindowNotYetCreated) {
    // A hidden window keeps the level until its native window exists; the
    // stored value must give back the same byte, not one less.
    for (int level = 0; level <= 300; ++level) {
        QWidget w;
        ApplyOpacity(w, static_cast<uint16_t>(level), true);
        ASSERT_EQ(AlphaOf(w), level % 256) << "level " << level;
        w.winId();
        ASSERT_NE(w.windowHandle(), nullptr);
        ASSERT_EQ(qRound(w.windowHandle()->opacity() * 255.0), level % 256) << "level " << level;
    }
}

TEST(Button1Click, GraphWindowsTakeTheGraphLevel) {
    test::StillMonitor still;
    MonitorState& state = still.state;
    state.HistoryLength = 120;
    state.OpacityReady = true;
    state.GraphOpacity = 300;
    state.MainOpacity = 10;
    TFormWykres wykres(still.monitor, "/nonexistent/");
    TFormWykresPkt wykresPkt(still.monitor, "/nonexistent/");
    wykres.Button1Click();
    wykresPkt.Button1->click(); // the hidden button is bound to the same handler
    EXPECT_EQ(AlphaOf(wykres), 44);
    EXPECT_EQ(AlphaOf(wykresPkt), 44);

    state.OpacityReady = false;
    state.GraphOpacity = 128;
    wykres.Button1Click();
    EXPECT_EQ(AlphaOf(wykres), 44);
}

} // namespace
} // namespace veltrum
