// A query fiber resumed by the event loop's wake-ups: by its socket turning
// readable, by its time-out, by a cancel; a run that throws ends without
// throwing into the loop; a fiber destroyed while it waits leaves nothing
// for the loop to resume.

#include "app/FiberWakeUps.h"
#include "core/QueryFiber.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

namespace veltrum {
namespace {

TEST(QueryFiber, IsResumedByTheLoopAndEndsWithoutThrowingIntoIt) {
    enum class Way { Readable, TimeOut, Cancel, Throws, Destroyed };
    const struct {
        const char* Name;
        Way How;
        bool Waited; // what the wait returned
    } cases[] = {{"readable", Way::Readable, true},
                 {"time-out", Way::TimeOut, false},
                 {"cancel", Way::Cancel, false},
                 {"throws", Way::Throws, true},
                 {"destroyed while waiting", Way::Destroyed, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, pair), 0);
        TFiberWakeUps loop;
        auto fiber = std::make_unique<QueryFiber>(loop);
        int ended = 0;
        int backs = 0;
        fiber->SetOnEnded([&] { ++ended; });
        fiber->SetOnBack([&] { ++backs; });
        bool waited = !c.Waited;
        bool afterWait = false;
        fiber->Run([&] {
            waited = CurrentWaiter()->WaitReadable(pair[0], c.How == Way::TimeOut ? 50 : 5000);
            afterWait = true;
            if (c.How == Way::Throws) {
                throw std::runtime_error("broken");
            }
        });
        EXPECT_TRUE(fiber->Busy()); // waits, and the loop runs meanwhile
        EXPECT_EQ(backs, 1);
        const auto started = std::chrono::steady_clock::now();
        if (c.How == Way::Readable || c.How == Way::Throws) {
            ASSERT_EQ(write(pair[1], "x", 1), 1);
        }
        if (c.How == Way::Cancel) {
            fiber->Cancel();
        }
        if (c.How == Way::Destroyed) {
            fiber.reset();
        } else {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !fiber->Busy(); }, 3000));
            EXPECT_EQ(fiber->TakeFailure() != nullptr, c.How == Way::Throws);
        }
        // Every way, the run goes on from its wait to its end, once.
        EXPECT_TRUE(afterWait);
        EXPECT_EQ(ended, 1);
        EXPECT_EQ(waited, c.Waited);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        QTest::qWait(100); // a wake-up left behind would resume a fiber that is gone
        close(pair[0]);
        close(pair[1]);
    }
}

} // namespace
} // namespace veltrum
