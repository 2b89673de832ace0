// Simple timers on their shared hidden window, with real Win32 timers.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "widgets/SimpleTimer.h"
#include "support/Pumping.h"

TEST(SimpleTimer, TicksUntilStoppedAndAOneShotTicksOnce) {
    int ticks = 0, shots = 0;
    TSimpleTimer timer(10, [&](TSimpleTimer*) { ++ticks; });
    TSimpleTimer oneShot(10, [&](TSimpleTimer*) { ++shots; });
    oneShot.SetAutoDisable(true);
    timer.SetEnabled(true);
    oneShot.SetEnabled(true);
    EXPECT_EQ(TSimpleTimerHandler::Instance()->RunningCount(), 2u);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(shots, 1);
    EXPECT_FALSE(oneShot.Enabled());
    timer.SetEnabled(false);
    EXPECT_EQ(TSimpleTimerHandler::Instance()->RunningCount(), 0u);
    const int stopped = ticks;
    PumpFor(60);
    EXPECT_EQ(ticks, stopped);
}

TEST(SimpleTimer, IntervalZeroRefusesToStartAndStopsARunningTimer) {
    int ticks = 0;
    TSimpleTimer timer(0, [&](TSimpleTimer*) { ++ticks; });
    EXPECT_FALSE(timer.Start());
    EXPECT_FALSE(timer.Enabled());
    timer.SetInterval(10);
    EXPECT_TRUE(timer.Start());
    timer.SetInterval(0);
    EXPECT_TRUE(timer.Enabled()); // stopped, still enabled
    PumpFor(60);
    EXPECT_EQ(ticks, 0);
}

TEST(SimpleTimer, ATickForADestroyedTimerReachesNobody) {
    TSimpleTimer keeper; // keeps the shared window alive
    int ticks = 0;
    auto doomed = std::make_unique<TSimpleTimer>(1000, [&](TSimpleTimer*) { ++ticks; });
    const UINT_PTR id = doomed->Id();
    const HWND window = TSimpleTimerHandler::Instance()->Window();
    doomed.reset();
    // As a tick queued before KillTimer would arrive; the id must not be taken for an address.
    PostMessageW(window, WM_TIMER, id, 0);
    PostMessageW(window, WM_TIMER, 0x12345678, 0);
    PumpFor(30);
    EXPECT_EQ(ticks, 0);
}

TEST(SimpleTimer, TheSharedWindowGoesWithTheLastTimer) {
    ASSERT_EQ(TSimpleTimerHandler::Instance(), nullptr);
    auto first = std::make_unique<TSimpleTimer>();
    auto second = std::make_unique<TSimpleTimer>();
    const HWND window = TSimpleTimerHandler::Instance()->Window();
    EXPECT_EQ(TSimpleTimerHandler::Instance()->RefCount(), 2u);
    first.reset();
    EXPECT_TRUE(IsWindow(window));
    second.reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(TSimpleTimerHandler::Instance(), nullptr);
}
