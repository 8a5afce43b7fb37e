// The loop's schedule, stepped with a clock that moves only when told: render before
// update, catch-up bounded at 4, a rate change ending the catch-up, rate 0, pacing.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "host_fixtures.h"

namespace {

struct LoopRig {
    TestHost host;
    RecordingDelegate delegate;
    TestClock clock;
    LoopRig() {
        host.setDelegate(&delegate);
        host.runStart();
    }
    // Runs one pass and returns how many updates it ran.
    int pass() {
        int before = delegate.count("update");
        host.runPass(clock);
        return delegate.count("update") - before;
    }
};

}  // namespace

TEST(LoopOrder, TheFirstRenderComesAfterStartAndBeforeTheFirstUpdate) {
    LoopRig rig;
    rig.host.setUpdateRate(50);
    rig.pass();
    rig.pass();
    std::vector<std::string> expected = {"start", "render", "update", "render", "update"};
    EXPECT_EQ(rig.delegate.log, expected);
}

TEST(LoopOrder, StartRunsOnceAndEventsBeforeStartAreDropped) {
    TestHost host;
    RecordingDelegate delegate;
    host.setDelegate(&delegate);
    host.postKeyEvent(1, 65);
    host.runUpdate();
    host.runRender();
    host.runStart();
    host.runStart();
    host.postKeyEvent(1, 66);
    std::vector<std::string> expected = {"start", "key 1 66"};
    EXPECT_EQ(delegate.log, expected);
}

TEST(LoopOrder, AFrameThatDrewNothingIsNotSwapped) {
    LoopRig rig;
    rig.host.setUpdateRate(50);
    rig.pass();
    EXPECT_EQ(rig.host.swaps, 1);
    rig.delegate.drawn = false;
    rig.pass();
    rig.pass();
    EXPECT_EQ(rig.host.swaps, 1);
    EXPECT_EQ(rig.delegate.count("update"), 3) << "the schedule runs on without swaps";
    rig.delegate.drawn = true;
    rig.pass();
    EXPECT_EQ(rig.host.swaps, 2);
}

TEST(LoopPacing, AtFiftyPerSecondEachPassSleepsUntilTheNextUpdateIsDue) {
    LoopRig rig;
    rig.host.setUpdateRate(50);
    double start = rig.clock.time;
    for (int i = 0; i < 100; ++i) EXPECT_EQ(rig.pass(), 1) << "pass " << i;
    // The first pass starts the schedule without sleeping; every later one sleeps 20 ms.
    ASSERT_EQ(rig.clock.sleeps.size(), 99u);
    for (double s : rig.clock.sleeps) EXPECT_NEAR(s, 0.02, 1e-9);
    EXPECT_NEAR(rig.clock.time - start, 99 * 0.02, 1e-6);
    EXPECT_EQ(rig.delegate.count("render"), 100);
}

TEST(LoopCatchUp, ALateLoopRunsTheDueUpdatesInOnePass) {
    LoopRig rig;
    rig.host.setUpdateRate(50);
    rig.pass();
    // 50 ms pass inside the event poll: updates due at +0, +20 ms and +40 ms.
    rig.host.onPoll = [&](bool) { rig.clock.time += 0.05; };
    EXPECT_EQ(rig.pass(), 3);
    rig.host.onPoll = nullptr;
    EXPECT_GT(rig.host.schedule().nextUpdate(), rig.clock.time);
}

TEST(LoopCatchUp, StopsAtFourUpdatesAndDropsTheBacklog) {
    LoopRig rig;
    rig.host.setUpdateRate(50);
    rig.delegate.onUpdateHook = [&] { rig.clock.time += 0.1; };   // far slower than 20 ms
    EXPECT_EQ(rig.pass(), 4);
    EXPECT_EQ(rig.host.schedule().nextUpdate(), 0) << "the backlog must be dropped";
    EXPECT_EQ(rig.pass(), 4);

    // Once updates are quick again, the next pass runs one update at once (no sleep)
    // and restarts the schedule from the current time.
    rig.delegate.onUpdateHook = nullptr;
    size_t sleepsBefore = rig.clock.sleeps.size();
    EXPECT_EQ(rig.pass(), 1);
    EXPECT_EQ(rig.clock.sleeps.size(), sleepsBefore);
    EXPECT_NEAR(rig.host.schedule().nextUpdate(), rig.clock.time + 0.02, 1e-9);
    EXPECT_EQ(rig.pass(), 1);
    EXPECT_NEAR(rig.clock.sleeps.back(), 0.02, 1e-9);
}

TEST(LoopCatchUp, AnUpdateThatSetsTheRateEndsTheCatchUp) {
    LoopRig rig;
    rig.host.setUpdateRate(50);
    rig.pass();
    rig.host.onPoll = [&](bool) { rig.clock.time += 1.0; };   // 50 updates behind
    rig.delegate.onUpdateHook = [&] { setUpdateRate(50); };
    EXPECT_EQ(rig.pass(), 1);
    EXPECT_EQ(rig.host.schedule().nextUpdate(), 0);
    EXPECT_EQ(rig.host.updateRate(), 50);
}

TEST(LoopCatchUp, ARateOfZeroGivesOneUpdatePerPassWithoutSleeping) {
    LoopRig rig;
    rig.host.setUpdateRate(0);
    rig.delegate.onUpdateHook = [&] { rig.clock.time += 0.5; };
    for (int i = 0; i < 5; ++i) EXPECT_EQ(rig.pass(), 1);
    EXPECT_TRUE(rig.clock.sleeps.empty());

    // Switching to zero from inside an update: that pass ends, later passes run one each.
    rig.host.setUpdateRate(50);
    rig.delegate.onUpdateHook = [&] { setUpdateRate(0); };
    rig.host.onPoll = [&](bool) { rig.clock.time += 1.0; };
    EXPECT_EQ(rig.pass(), 1);
    rig.delegate.onUpdateHook = nullptr;
    EXPECT_EQ(rig.pass(), 1);
}

TEST(LoopSuspension, ASuspendedHostWaitsForEventsRendersAndResumesOnFocus) {
    LoopRig rig;
    rig.host.setUpdateRate(50);
    rig.pass();
    rig.host.runSuspend();
    rig.host.focused = false;
    EXPECT_EQ(rig.pass(), 0);
    EXPECT_TRUE(rig.host.polls.back()) << "a suspended loop waits for events";
    rig.host.focused = true;
    EXPECT_EQ(rig.pass(), 1);
    EXPECT_EQ(rig.delegate.count("resume"), 1);
    EXPECT_FALSE(rig.host.suspended());
    EXPECT_EQ(rig.delegate.count("render"), 3);
}

TEST(LoopRun, RunLoopPassesUntilTheWindowShouldClose) {
    LoopRig rig;
    rig.host.setUpdateRate(50);
    rig.host.passesLeft = 10;
    rig.host.runLoop(rig.clock);
    EXPECT_EQ(rig.delegate.count("render"), 10);
    EXPECT_EQ(rig.delegate.count("update"), 10);
    EXPECT_EQ(rig.host.focusQueries, 0) << "only a suspended host asks for the focus";
}

TEST(LoopClockReal, SleepWaitsAtLeastTheAskedTime) {
    GlfwLoopClock clock;
    auto start = std::chrono::steady_clock::now();
    clock.sleep(0.03);
    clock.sleep(0);
    clock.sleep(-1);
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(elapsed, 0.03);
    EXPECT_LT(elapsed, 0.5);
}

TEST(HostDate, FillsYearToSecondAndZeroMillisecondsUpToTheArraySize) {
    TestHost host;
    std::vector<int> date(9, -5);
    host.getDate(date);
    EXPECT_GE(date[0], 2024);
    EXPECT_GE(date[1], 1);
    EXPECT_LE(date[1], 12);
    EXPECT_GE(date[2], 1);
    EXPECT_LE(date[2], 31);
    EXPECT_EQ(date[6], 0);
    EXPECT_EQ(date[7], -5) << "only seven fields are filled";
    std::vector<int> two(2, -5);
    host.getDate(two);
    EXPECT_EQ(two[0], date[0]);
    std::vector<int> none;
    host.getDate(none);
    EXPECT_TRUE(none.empty());
}
