// The timer component: ticks from the message loop, and an error box from its handler.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Timer.h"
#include "support/MessageBoxes.h"
#include "support/Pumping.h"

namespace {

TEST(Timer, TicksFromTheMessageLoopWhileEnabled) {
    TComponent owner;
    auto* timer = owner.Own<TTimer>();
    int ticks = 0;
    timer->SetInterval(1);
    timer->OnTimer = [&](TComponent* sender) {
        EXPECT_EQ(sender, timer);
        if (++ticks == 2) timer->SetEnabled(false);
    };
    PumpUntil([&] { return !timer->Enabled(); }, 5000);
    EXPECT_EQ(ticks, 2);
}

TEST(Timer, AnErrorBoxFromItsHandlerIsNotStackedByLaterTicks) {
    int open = 0, mostOpen = 0;
    const ScopedMessageBoxes boxGuard([&](const std::wstring&, const std::wstring&, UINT) {
        mostOpen = std::max(mostOpen, ++open);
        PumpFor(150);
        --open;
        return IDOK;
    });
    TComponent owner;
    auto* timer = owner.Own<TTimer>();
    timer->SetInterval(1);
    int ticks = 0;
    timer->OnTimer = [&](TComponent*) {
        if (++ticks == 3) {
            timer->SetEnabled(false);
            return;
        }
        throw Exception(L"Unable to write to C:\\x\\Config.ini");
    };
    PumpUntil([&] { return !timer->Enabled(); }, 5000);
    EXPECT_EQ(mostOpen, 1) << "one box at a time, not one more for every tick while it is open";
    EXPECT_EQ(ticks, 3) << "the timer ticks again once the box is closed";
}

TEST(Timer, AHandlerMayDestroyItsTimerWhileTheOthersTickOn) {
    TComponent owner;
    auto* doomed = owner.Own<TTimer>();
    auto* survivor = owner.Own<TTimer>();
    doomed->SetInterval(1);
    survivor->SetInterval(1);
    int survivorTicks = 0;
    bool destroyed = false;
    doomed->OnTimer = [&](TComponent*) {
        owner.Destroy(doomed);
        destroyed = true;
    };
    survivor->OnTimer = [&](TComponent*) { ++survivorTicks; };
    ASSERT_TRUE(PumpUntil([&] { return destroyed && survivorTicks >= 3; }, 5000));
    // The last timer takes the shared window with it; a new one makes it again.
    owner.Destroy(survivor);
    auto* later = owner.Own<TTimer>();
    later->SetInterval(1);
    bool ticked = false;
    later->OnTimer = [&](TComponent*) { ticked = true; };
    EXPECT_TRUE(PumpUntil([&] { return ticked; }, 5000));
}

} // namespace
