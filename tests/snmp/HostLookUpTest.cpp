// The background host look-up, with a resolver the test holds back: a slow
// name server never holds the caller longer than its wait, an answer for an
// earlier name is never used for another, and an owner may go away while a
// look-up is still blocked.
#include "snmp/IdHostLookUp.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

using veltrum::TIdHostLookUp;
using veltrum::TIdIPv4;
using Clock = std::chrono::steady_clock;

namespace {

// Names resolve only once the test releases them; the state outlives any
// look-up thread that is still blocked in it.
struct HeldResolver {
    struct State {
        std::mutex lock;
        std::condition_variable changed;
        std::map<std::string, std::optional<TIdIPv4>> released;
        int calls = 0;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    veltrum::THostResolver Function() const {
        return [state = state](const std::string& name) -> std::optional<TIdIPv4> {
            std::unique_lock<std::mutex> guard(state->lock);
            ++state->calls;
            state->changed.wait(guard, [&] { return state->released.count(name) != 0; });
            return state->released[name];
        };
    }
    void Release(const std::string& name, std::optional<TIdIPv4> address) const {
        {
            const std::lock_guard<std::mutex> guard(state->lock);
            state->released[name] = address;
        }
        state->changed.notify_all();
    }
};

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool WaitForNoLookUps() {
    const auto start = Clock::now();
    while (TIdHostLookUp::RunningCount() != 0) {
        if (MillisecondsSince(start) > 5000) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

TEST(TIdHostLookUp, SilentResolverHoldsTheCallerOnlyItsWait) {
    HeldResolver resolver;
    TIdHostLookUp lookUp(resolver.Function());
    for (int i = 0; i < 3; ++i) {
        int32_t waited = -1;
        const auto start = Clock::now();
        EXPECT_FALSE(lookUp.Address("router.lan", 100, waited));
        const long long ms = MillisecondsSince(start);
        EXPECT_GE(ms, 95);
        EXPECT_LT(ms, 600);
        EXPECT_GE(waited, 95);
    }
    // One look-up is under way for the name, not one per call.
    EXPECT_EQ(TIdHostLookUp::RunningCount(), 1);

    // Once the answer is in, it is taken at once, and every call asks again
    // in the background for the next one.
    resolver.Release("router.lan", TIdIPv4{10, 0, 0, 1});
    int32_t waited = -1;
    EXPECT_EQ(lookUp.Address("router.lan", 1000, waited), (TIdIPv4{10, 0, 0, 1}));
    ASSERT_TRUE(WaitForNoLookUps());
    EXPECT_EQ(lookUp.Address("router.lan", 0, waited), (TIdIPv4{10, 0, 0, 1}));
    EXPECT_EQ(waited, 0);
    ASSERT_TRUE(WaitForNoLookUps());
    EXPECT_GE(resolver.state->calls, 2);
}

TEST(TIdHostLookUp, AnotherNameStartsAtOnceAndNeverTakesAStaleAnswer) {
    HeldResolver resolver;
    TIdHostLookUp lookUp(resolver.Function());
    int32_t waited = 0;
    EXPECT_FALSE(lookUp.Address("old.lan", 20, waited));
    // The old name's look-up is still blocked; the new one does not queue behind it.
    resolver.Release("new.lan", TIdIPv4{10, 0, 0, 2});
    EXPECT_EQ(lookUp.Address("new.lan", 2000, waited), (TIdIPv4{10, 0, 0, 2}));
    // The old answer arrives late and goes nowhere.
    resolver.Release("old.lan", TIdIPv4{10, 0, 0, 1});
    ASSERT_TRUE(WaitForNoLookUps());
    EXPECT_EQ(lookUp.Address("new.lan", 0, waited), (TIdIPv4{10, 0, 0, 2}));
    // A name that has no entry gives nothing, without waiting once its answer is in.
    resolver.Release("gone.lan", std::nullopt);
    EXPECT_FALSE(lookUp.Address("gone.lan", 2000, waited));
    ASSERT_TRUE(WaitForNoLookUps());
    EXPECT_FALSE(lookUp.Address("gone.lan", 2000, waited));
    EXPECT_EQ(waited, 0);
    resolver.Release("gone.lan", std::nullopt);
    ASSERT_TRUE(WaitForNoLookUps());
}

TEST(TIdHostLookUp, OwnerGoesAwayWhileALookUpIsBlocked) {
    HeldResolver resolver;
    const auto start = Clock::now();
    {
        TIdHostLookUp lookUp(resolver.Function());
        int32_t waited = 0;
        EXPECT_FALSE(lookUp.Address("router.lan", 10, waited));
    } // the owner is gone; the look-up thread is still blocked in the resolver
    EXPECT_LT(MillisecondsSince(start), 1000);
    EXPECT_EQ(TIdHostLookUp::RunningCount(), 1);
    // The thread then finishes into the record it shares, which is still alive.
    resolver.Release("router.lan", TIdIPv4{10, 0, 0, 1});
    EXPECT_TRUE(WaitForNoLookUps());
}
