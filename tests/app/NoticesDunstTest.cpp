// A router's notices sent to a real notification service (dunst) on a
// private session bus, run by widgets/notification_test.sh, which reads what
// went over the bus and what dunst kept: an agent scripted through a burst,
// a shorter burst, an outage and its end.

#include "app/Glowny.h"
#include "app/PanelViews.h"
#include "app/Router.h"
#include "app/TempDir.h"
#include "support/ScriptedResponder.h"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace veltrum {
namespace {

using test::ScriptedResponder;
using test::TempDir;

constexpr char kIfDescr[] = "1.3.6.1.2.1.2.2.1.2.";

TEST(Notices, OutageReturnAndOneRateAlarmPerBurst) {
    // Octets a poll: 250,000 is about 2,000 kbit/s, above the alarm's
    // 1,500; 62,500 about 500, below it. 0: the agent is silent.
    std::atomic<int64_t> step{62'500};
    std::atomic<int64_t> counter{0};
    ScriptedResponder agent(
        [&](const ScriptedResponder::Request& request) -> std::optional<ScriptedResponder::Reply> {
            if (step == 0) {
                return std::nullopt;
            }
            if (request.Oids.size() == 1 && request.Oids[0].starts_with(kIfDescr)) {
                return ScriptedResponder::Respond(request, {{"", 0x04, "<i>wan</i>"}});
            }
            if (request.Oids.size() != 4) {
                return ScriptedResponder::Respond(request, {{"", 0x05, ""}}, 2);
            }
            const int64_t value = counter.fetch_add(step) + step;
            std::vector<ScriptedResponder::VarBind> binds;
            for (const std::string& oid : request.Oids) {
                binds.push_back({oid, 0x41, std::to_string(value)});
            }
            return ScriptedResponder::Respond(request, binds);
        });
    TempDir dir;
    dir.Write("Default.vlq", "[Host]\n01=" + agent.HostText() +
                                 "\n[Timeout]\n01=100\n[Sesja]\n01=Lab\n[OpisInterfaceu]\n01=<i>wan</i>\n"
                                 "[AlarmDownload]\n01=1500\n[AlarmCzas]\n01=3\n");
    TRouter router(RouterFolders{dir.Dir(), {}, BitmapFolder(dir.Dir()), {}}, {});
    SetOutageSeconds(router.Notices(), 2);
    TFormGlowny& glowny = router.Glowny();
    glowny.show();

    // Each phase: octets a poll, and for how long.
    const std::pair<int64_t, int> phases[] = {
        {62'500, 3000},  // quiet
        {250'000, 5000}, // a burst longer than the alarm's 3 s: one alarm
        {62'500, 5000},  // below for longer than 3 s: armed again
        {250'000, 1000}, // a burst of a poll or two: none
        {62'500, 2000},  //
        {0, 5000},       // silent past the 2 s outage time: one notice
        {62'500, 3000},  // answering again: one notice
    };
    for (const auto& [octets, ms] : phases) {
        step = octets;
        QTest::qWait(ms);
    }
    glowny.close();
}

} // namespace
} // namespace veltrum
