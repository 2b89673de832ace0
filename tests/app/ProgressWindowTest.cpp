// The progress window: one instance, on top, centred, closed only by the program.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/ProgressWindow.h"
#include "support/DpiLayout.h"

namespace {

TEST(ProgressWindow, SecondMessageReplacesTheTextOfTheOneWindow) {
    ShowProgressMessage(L"正在切换到内网,请稍后...");
    TFmProgress* first = ProgressWindow();
    ASSERT_NE(first, nullptr);
    ShowProgressMessage(L"正在切换到外网,请稍后...");
    EXPECT_EQ(ProgressWindow(), first);
    EXPECT_EQ(first->LblShow()->Caption(), L"正在切换到外网,请稍后...");
    EXPECT_TRUE(first->Visible());
    CloseProgress();
    EXPECT_EQ(ProgressWindow(), nullptr);
    CloseProgress(); // no window: nothing happens
}

TEST(ProgressWindow, TextIsOnScreenBeforeTheCallerBlocksTheThread) {
    ShowProgressMessage(L"正在切换到内网,请稍后...");
    // From here no message is handled, as while a switch blocks the thread.
    HWND window = ProgressWindow()->Handle();
    EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE)) << "part of the window waits for a paint";
    const TLabel* label = ProgressWindow()->LblShow();
    int bluePixels = 0;
    HDC dc = GetDC(window);
    for (int y = label->Top(); y < label->Top() + label->Height(); ++y)
        for (int x = label->Left(); x < label->Left() + label->Width(); ++x) {
            const COLORREF pixel = GetPixel(dc, x, y);
            bluePixels += GetBValue(pixel) > 192 && GetRValue(pixel) < 128;
        }
    ReleaseDC(window, dc);
    CloseProgress();
    EXPECT_GT(bluePixels, 10) << "the blue text is not on the window";
}

TEST(ProgressWindow, UserCannotCloseIt) {
    ShowProgressMessage(L"x");
    HWND window = ProgressWindow()->Handle();
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); // Alt+F4
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(ProgressWindow()->Close());
    CloseProgress();
    EXPECT_FALSE(IsWindow(window));
}

TEST(ProgressWindow, BorderlessTopmostAndCentred) {
    ShowProgressMessage(L"x");
    TFmProgress* progress = ProgressWindow();
    HWND window = progress->Handle();
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(GetWindowLongW(window, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_BORDER));
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr) << "shown also while the main window is hidden";
    const RECT client = progress->ClientRect();
    EXPECT_EQ(client.right, progress->Scale(328));
    EXPECT_EQ(client.bottom, progress->Scale(56));
    RECT outer, work;
    GetWindowRect(window, &outer);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((outer.left + outer.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((outer.top + outer.bottom) / 2, (work.top + work.bottom) / 2, 1);
    EXPECT_EQ(progress->LblShow()->Left(), progress->Scale(60));
    EXPECT_EQ(progress->LblShow()->Top(), progress->Scale(21));
    RECT animation;
    GetWindowRect(progress->Animate1(), &animation);
    EXPECT_EQ(animation.right - animation.left, progress->Scale(16))
        << "the clip does not resize it";
    CloseProgress();
}

TEST(ProgressWindow, MovedToAnotherScaleItIsLaidOutAsIfMadeThere) {
    TComponent owner;
    TFmProgress* made = nullptr;
    TFmProgress* moved = nullptr;
    {
        ScopedDpi dpi(144);
        made = owner.Own<TFmProgress>();
    }
    {
        ScopedDpi dpi(96);
        moved = owner.Own<TFmProgress>();
    }
    const auto before = LayoutOf(*moved);
    MoveToDpi(*moved, 144, *made);
    ExpectSameLayout(LayoutOf(*moved), LayoutOf(*made));
    EXPECT_EQ(moved->Scale(100), 150) << "later lengths at the new scale";
    made->AllowClose();
    made->Close();
    TFmProgress* back = nullptr;
    {
        ScopedDpi dpi(96);
        back = owner.Own<TFmProgress>();
    }
    MoveToDpi(*moved, 96, *back);
    ExpectSameLayout(LayoutOf(*moved), before);
    back->AllowClose();
    moved->AllowClose();
}

} // namespace
