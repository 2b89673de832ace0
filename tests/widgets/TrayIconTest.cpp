// The tray icon: its records for the shell (through the recording seam), its callbacks (posted
// to the shared window as the shell posts them), its timers, menu and owner window.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/Dib.h"
#include "framework/Dpi.h"
#include "framework/Form.h"
#include "framework/Scoped.h"
#include "widgets/TrayIcon.h"
#include "support/Pumping.h"
#include "support/Seams.h"

namespace {

struct Call {
    DWORD Message;
    NOTIFYICONDATAW Data;
};

// Records every Shell_NotifyIconW instead of making it.
class TrayIconTest : public ::testing::Test {
protected:
    // Made with eight distinct images, as the main window's list.
    TImageList* EightImages(TComponent& owner) {
        auto* list = owner.Own<TImageList>(16, 16);
        for (int i = 0; i < 8; ++i) {
            HICON icon = CreateIconImage(RGB(30 * i, 0, 255 - 30 * i));
            list->AddIcon(icon);
            DestroyIcon(icon);
        }
        return list;
    }
    static HICON CreateIconImage(COLORREF colour) {
        BYTE andMask[32 * 2] = {};
        std::vector<DWORD> pixels(16 * 16, 0xFF000000 | colour);
        HBITMAP colourBits = CreateBitmap(16, 16, 1, 32, pixels.data());
        HBITMAP mask = CreateBitmap(16, 16, 1, 1, andMask);
        ICONINFO info{TRUE, 0, 0, mask, colourBits};
        HICON icon = CreateIconIndirect(&info);
        DeleteObject(colourBits);
        DeleteObject(mask);
        return icon;
    }
    static void Post(TTrayIcon& icon, UINT mouse) {
        PostMessageW(TTrayIconHandler::Instance()->Window(), WM_TRAYNOTIFY, icon.Id(), mouse);
    }
    const Call& Last() const { return Calls.back(); }
    int Count(DWORD message) const {
        int n = 0;
        for (const Call& c : Calls)
            n += c.Message == message;
        return n;
    }

    std::vector<Call> Calls;
    const ScopedSeam<TTrayIcon::TNotifyIconFunction> recorder{
        &TTrayIcon::SetNotifyIconFunction, [this](DWORD message, NOTIFYICONDATAW* data) {
            Calls.push_back({message, *data});
            return TRUE;
        }};
};

TEST_F(TrayIconTest, TheRecordCarriesTheIconTheHintCutAndTheVersion) {
    TComponent owner;
    owner.BeginLoading();
    auto* icon = owner.Own<TTrayIcon>();
    icon->SetHint(std::wstring(200, L'网'));
    icon->SetIconVisible(true);
    owner.EndLoading();
    EXPECT_EQ(Last().Message, static_cast<DWORD>(NIM_SETVERSION));
    EXPECT_EQ(Last().Data.uVersion, 0u);
    const NOTIFYICONDATAW& added = Calls[Calls.size() - 2].Data;
    EXPECT_EQ(added.cbSize, sizeof(NOTIFYICONDATAW));
    EXPECT_EQ(added.hWnd, TTrayIconHandler::Instance()->Window());
    EXPECT_EQ(added.uID, icon->Id());
    EXPECT_EQ(added.uFlags, 7u);
    EXPECT_EQ(added.uCallbackMessage, WM_TRAYNOTIFY);
    EXPECT_EQ(std::wstring(added.szTip), std::wstring(127, L'网'));

    icon->SetShowHint(false);
    EXPECT_EQ(Last().Data.szTip[0], L'\0');
    // A setter that sees no change does nothing.
    const size_t calls = Calls.size();
    icon->SetIconVisible(true);
    icon->SetShowHint(false);
    EXPECT_EQ(Calls.size(), calls);
    icon->SetIconVisible(false);
    EXPECT_EQ(Last().Message, static_cast<DWORD>(NIM_DELETE));
}

// As the main window builds it: nothing reaches the shell until loading ends, then one add
// carries every property.
TEST_F(TrayIconTest, WhileLoadingNothingReachesTheShellAndLoadedAddsOnceWithEverything) {
    TComponent owner;
    owner.BeginLoading();
    auto* list = EightImages(owner);
    auto* icon = owner.Own<TTrayIcon>();
    icon->SetIconList(list);
    icon->SetCycleInterval(400);
    icon->SetCycleIcons(true);
    icon->SetHint(L"Tarnwick");
    icon->SetIconVisible(true);
    icon->SetIconIndex(0);
    EXPECT_TRUE(Calls.empty());
    owner.EndLoading();
    ASSERT_FALSE(Calls.empty());
    EXPECT_EQ(Calls[0].Message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(std::wstring(Calls[0].Data.szTip), L"Tarnwick");
    EXPECT_NE(Calls[0].Data.hIcon, nullptr);
    EXPECT_EQ(Count(NIM_ADD), 1);
    EXPECT_EQ(Last().Message, static_cast<DWORD>(NIM_SETVERSION));

    // An icon the shell already shows refuses the add: a modify brings it up to date.
    const ScopedSeam addRefused(&TTrayIcon::SetNotifyIconFunction,
                                [this](DWORD message, NOTIFYICONDATAW* data) {
                                    Calls.push_back({message, *data});
                                    return message != NIM_ADD;
                                });
    Calls.clear();
    owner.BeginLoading();
    icon->SetHint(L"内网办公");
    owner.EndLoading();
    ASSERT_GE(Calls.size(), 2u);
    EXPECT_EQ(Calls[0].Message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(Calls[1].Message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(std::wstring(Calls[1].Data.szTip), L"内网办公");
}

TEST_F(TrayIconTest, ABalloonSetsItsTimeoutAndIsNotShownAgainByALaterModify) {
    TComponent owner;
    auto* icon = owner.Own<TTrayIcon>();
    EXPECT_TRUE(icon->ShowBalloonHint(L"提示", L"网络切换到：\r内网", TBalloonIconKind::Info, 10));
    const NOTIFYICONDATAW& shown = Last().Data;
    EXPECT_EQ(shown.uFlags, 7u | NIF_INFO);
    EXPECT_EQ(shown.uTimeout, 10000u);
    EXPECT_EQ(shown.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
    EXPECT_EQ(std::wstring(shown.szInfoTitle), L"提示");
    EXPECT_EQ(std::wstring(shown.szInfo), L"网络切换到：\r内网");
    icon->ShowBalloonHint(std::wstring(100, L't'), std::wstring(300, L'x'), TBalloonIconKind::Error,
                          1);
    EXPECT_EQ(std::wstring(Last().Data.szInfo).size(), 255u);
    EXPECT_EQ(std::wstring(Last().Data.szInfoTitle).size(), 63u);

    icon->HideBalloonHint();
    EXPECT_EQ(Last().Data.uFlags, 7u | NIF_INFO);
    EXPECT_EQ(Last().Data.szInfo[0], L'\0');
    icon->SetHint(L"later");
    EXPECT_EQ(Last().Data.uFlags, 7u);
}

TEST_F(TrayIconTest, IconIndexAndCyclingFollowTheImageList) {
    TComponent owner;
    auto* list = EightImages(owner);
    auto* icon = owner.Own<TTrayIcon>();
    icon->SetIconList(list);
    icon->SetIconIndex(20);
    EXPECT_EQ(icon->IconIndex(), 7);
    ASSERT_NE(icon->Icon(), nullptr);

    std::vector<int> reported;
    icon->OnCycle = [&](TComponent*, int next) { reported.push_back(next); };
    icon->SetCycleInterval(10);
    icon->SetCycleIcons(true); // restarts at image 0
    EXPECT_EQ(icon->IconIndex(), 0);
    icon->SetIconIndex(7);
    const size_t modifies = Count(NIM_MODIFY);
    ASSERT_TRUE(PumpUntil([&] { return reported.size() >= 2; }));
    icon->SetCycleIcons(false);
    // The tick at 7 shows image 7 and reports 0 as the next; one modify a tick.
    EXPECT_EQ(reported[0], 0);
    EXPECT_EQ(reported[1], 1);
    EXPECT_EQ(Count(NIM_MODIFY) - modifies, reported.size());

    owner.Destroy(list);
    EXPECT_EQ(icon->IconList(), nullptr);
    EXPECT_EQ(icon->IconIndex(), 0);
}

TEST_F(TrayIconTest, AThousandCycleTicksLeaveOneLiveIcon) {
    TComponent owner;
    auto* list = EightImages(owner);
    auto* icon = owner.Own<TTrayIcon>();
    icon->SetIconList(list);
    icon->SetCycleInterval(1);
    icon->SetCycleIcons(true);
    int ticks = 0;
    icon->OnCycle = [&](TComponent*, int) { ++ticks; };
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 1000; }, 60000));
    icon->SetCycleIcons(false);
    std::set<HICON> live;
    for (const Call& c : Calls) {
        ICONINFO info{};
        if (c.Data.hIcon && GetIconInfo(c.Data.hIcon, &info)) {
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            live.insert(c.Data.hIcon);
        }
    }
    EXPECT_LE(live.size(), 1u);
}

TEST_F(TrayIconTest, TaskbarCreatedAddsAVisibleIconAgainAndNotAHiddenOne) {
    TComponent owner;
    auto* shown = owner.Own<TTrayIcon>();
    auto* hidden = owner.Own<TTrayIcon>();
    shown->SetIconVisible(true);
    hidden->SetIconVisible(true);
    hidden->SetIconVisible(false);
    EXPECT_TRUE(TTrayIconHandler::Instance()->TaskbarCreatedAllowed());
    Calls.clear();
    // Broadcast by the shell to every top-level window.
    PostMessageW(HWND_BROADCAST, TTrayIconHandler::TaskbarCreatedMessage(), 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !Calls.empty(); }));
    PumpFor(30);
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].Message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(Calls[0].Data.uID, shown->Id());
}

TEST_F(TrayIconTest, TheSharedWindowIsTopLevelSurvivesCloseRequestsAndGoesWithTheLastIcon) {
    ASSERT_EQ(TTrayIconHandler::Instance(), nullptr);
    TComponent owner;
    auto* first = owner.Own<TTrayIcon>();
    auto* second = owner.Own<TTrayIcon>();
    const HWND window = TTrayIconHandler::Instance()->Window();
    EXPECT_EQ(TTrayIconHandler::Instance()->RefCount(), 2u);
    // A message-only window cannot be made the foreground one, and the menu would stay open.
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
    EXPECT_FALSE(IsWindowVisible(window));
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
    SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_TRUE(IsWindow(window));
    owner.Destroy(first);
    EXPECT_TRUE(IsWindow(window));
    owner.Destroy(second);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(TTrayIconHandler::Instance(), nullptr);
}

TEST_F(TrayIconTest, ClicksAndDoubleClicksFollowTheDoubleClickTime) {
    TComponent owner;
    auto* menu = owner.Own<TPopupMenu>();
    int opened = 0;
    menu->Add(L"打开窗口", [&](TComponent*) { ++opened; })->SetDefault(true);
    auto* icon = owner.Own<TTrayIcon>();
    icon->SetPopupMenu(menu);
    int clicks = 0, doubles = 0, ups = 0;
    icon->OnClick = [&](TComponent*) { ++clicks; };
    icon->OnMouseUp = [&](TComponent*, TMouseButton, TShiftState, int, int) { ++ups; };

    // Without a double-click handler the click comes with the button up.
    Post(*icon, WM_LBUTTONDOWN);
    Post(*icon, WM_LBUTTONUP);
    PumpFor(20);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(ups, 1);

    icon->OnDblClick = [&](TComponent*) { ++doubles; };
    clicks = 0;
    const DWORD pressed = GetTickCount();
    DWORD clickedAt = 0;
    icon->OnClick = [&](TComponent*) {
        ++clicks;
        clickedAt = GetTickCount();
    };
    Post(*icon, WM_LBUTTONDOWN);
    Post(*icon, WM_LBUTTONUP);
    ASSERT_TRUE(PumpUntil([&] { return clicks == 1; }));
    EXPECT_GE(clickedAt - pressed + 20, GetDoubleClickTime());
    PumpFor(GetDoubleClickTime() + 50);
    EXPECT_EQ(clicks, 1);

    clicks = 0;
    for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        Post(*icon, m);
    PumpFor(GetDoubleClickTime() + 100);
    EXPECT_EQ(doubles, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(opened, 1);

    // With the menu on the left button, a double click chooses nothing.
    icon->SetLeftPopup(true);
    menu->SetAutoPopup(false);
    Post(*icon, WM_LBUTTONDBLCLK);
    PumpFor(20);
    EXPECT_EQ(opened, 1);
}

TEST_F(TrayIconTest, DisabledIconRaisesNoMouseEventButBalloonEvents) {
    TComponent owner;
    auto* menu = owner.Own<TPopupMenu>();
    menu->Add(L"退出");
    auto* icon = owner.Own<TTrayIcon>();
    icon->SetPopupMenu(menu);
    icon->SetEnabled(false);
    int mouse = 0, balloon = 0;
    icon->OnMouseDown = [&](TComponent*, TMouseButton, TShiftState, int, int) { ++mouse; };
    icon->OnMouseMove = [&](TComponent*, TShiftState, int, int) { ++mouse; };
    icon->OnClick = [&](TComponent*) { ++mouse; };
    icon->OnBalloonHintShow = icon->OnBalloonHintHide = icon->OnBalloonHintTimeout =
        icon->OnBalloonHintClick = [&](TComponent*) { ++balloon; };
    for (UINT m : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MBUTTONDOWN})
        Post(*icon, m);
    for (UINT m : {NIN_BALLOONSHOW, NIN_BALLOONHIDE, NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK})
        Post(*icon, m);
    PumpFor(30);
    EXPECT_EQ(mouse, 0);
    EXPECT_EQ(balloon, 4);
    EXPECT_FALSE(icon->PopupOpen());
}

TEST_F(TrayIconTest, CallbacksWithAForeignIdReachNoIcon) {
    TComponent owner;
    auto* icon = owner.Own<TTrayIcon>();
    int events = 0;
    icon->OnMouseMove = [&](TComponent*, TShiftState, int, int) { ++events; };
    const HWND window = TTrayIconHandler::Instance()->Window();
    // Any process may post this; an id that is an address, or a stale one, must not be used.
    PostMessageW(window, WM_TRAYNOTIFY, reinterpret_cast<WPARAM>(icon), WM_MOUSEMOVE);
    PostMessageW(window, WM_TRAYNOTIFY, icon->Id() + 1000, WM_MOUSEMOVE);
    PostMessageW(window, WM_TRAYNOTIFY, 0xDEADBEEF, WM_LBUTTONDBLCLK);
    PumpFor(30);
    EXPECT_EQ(events, 0);
    Post(*icon, WM_MOUSEMOVE);
    PumpFor(30);
    EXPECT_EQ(events, 1);
}

TEST_F(TrayIconTest, EnterAndExitArePolledOnlyWhileThePointerIsOverTheIcon) {
    TComponent owner;
    auto* icon = owner.Own<TTrayIcon>();
    icon->SetWantEnterExitEvents(true);
    int enters = 0, exits = 0;
    icon->OnMouseEnter = [&](TComponent*) { ++enters; };
    icon->OnMouseExit = [&](TComponent*) { ++exits; };
    EXPECT_EQ(TSimpleTimerHandler::Instance()->RunningCount(), 0u);
    SetCursorPos(100, 100);
    Post(*icon, WM_MOUSEMOVE);
    Post(*icon, WM_MOUSEMOVE);
    PumpFor(60);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(exits, 0);
    EXPECT_EQ(TSimpleTimerHandler::Instance()->RunningCount(), 1u);
    SetCursorPos(300, 300);
    ASSERT_TRUE(PumpUntil([&] { return exits == 1; }));
    EXPECT_EQ(TSimpleTimerHandler::Instance()->RunningCount(), 0u);
    Post(*icon, WM_MOUSEMOVE);
    PumpFor(20);
    EXPECT_EQ(enters, 2);
}

// Looks at the open menu from inside its modal loop, then chooses an item or closes it.
struct MenuProbe {
    static inline bool Seen = false;
    static inline RECT Where{};
    static inline UINT Key = 0;
    static void CALLBACK Look(HWND, UINT, UINT_PTR id, DWORD) {
        const HWND menu = FindWindowW(L"#32768", nullptr);
        if (!menu || !IsWindowVisible(menu)) return;
        KillTimer(nullptr, id);
        Seen = true;
        GetWindowRect(menu, &Where);
        if (Key) {
            // The menu's loop reads the thread's keyboard messages, as a user's keys.
            PostMessageW(menu, WM_KEYDOWN, Key, 0);
            PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
        } else {
            EndMenu();
        }
    }
};

// Counts the WM_NULL messages the thread takes from its queue for one window.
struct NullCounter {
    static inline HWND Window = nullptr;
    static inline int Count = 0;
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        const MSG* msg = reinterpret_cast<MSG*>(lParam);
        if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_NULL &&
            msg->hwnd == Window)
            ++Count;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};

TEST_F(TrayIconTest, TheRightButtonOpensTheMenuAtTheCursorAndTheItemRunsAfterItClosed) {
    TComponent owner;
    auto* menu = owner.Own<TPopupMenu>();
    bool ranWhileOpen = true; // stays true if the item never runs
    TTrayIcon* icon = nullptr;
    menu->Add(L"打开窗口")->SetDefault(true);
    menu->Add(L"-");
    menu->Add(L"退出", [&](TComponent*) { ranWhileOpen = icon->PopupOpen(); });
    icon = owner.Own<TTrayIcon>();
    icon->SetPopupMenu(menu);
    SetCursorPos(200, 150);

    NullCounter::Window = TTrayIconHandler::Instance()->Window();
    NullCounter::Count = 0;
    const HHOOK hook =
        SetWindowsHookExW(WH_GETMESSAGE, &NullCounter::Hook, nullptr, GetCurrentThreadId());
    MenuProbe::Seen = false;
    MenuProbe::Key = 0;
    SetTimer(nullptr, 0, 50, &MenuProbe::Look);
    Post(*icon, WM_RBUTTONDOWN);
    ASSERT_TRUE(PumpUntil([&] { return MenuProbe::Seen && NullCounter::Count > 0; }, 5000));
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(MenuProbe::Where.left, 200);
    EXPECT_EQ(MenuProbe::Where.top, 150);
    EXPECT_EQ(menu->PopupComponent(), icon);
    EXPECT_FALSE(icon->PopupOpen());

    // Choosing "退出" with the keyboard (Up from the top wraps to the last item, then Enter).
    MenuProbe::Seen = false;
    MenuProbe::Key = VK_UP;
    SetTimer(nullptr, 0, 50, &MenuProbe::Look);
    Post(*icon, WM_RBUTTONDOWN);
    ASSERT_TRUE(PumpUntil([&] { return MenuProbe::Seen; }, 5000));
    PumpFor(100);
    EXPECT_FALSE(ranWhileOpen);
}

class OwnerForm : public TForm {
public:
    explicit OwnerForm(TComponent* owner) : TForm(owner) {
        Tray = Own<TTrayIcon>();
        Tray->SetMinimizeToTray(true);
        TFormParams p;
        p.Caption = L"Owner";
        p.Width = 200;
        p.Height = 100;
        CreateHandle(p);
    }
    TTrayIcon* Tray;
};

TEST_F(TrayIconTest, MinimisingTheOwnerHidesItToTheTrayAndShowMainWindowBringsItBack) {
    TComponent app;
    auto* form = app.Own<OwnerForm>();
    form->Show();
    const HWND window = form->Handle();
    RECT before{};
    GetWindowRect(window, &before);
    // The low bits of a system command are the system's own.
    SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE | 2, 0);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(form->Tray->IconVisible());
    form->Tray->ShowMainWindow();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsIconic(window));
    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    form->Tray->HideMainWindow();
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(TrayIconTest, TheOwnerWindowMayGoBeforeTheIcon) {
    TComponent app;
    auto* form = app.Own<OwnerForm>();
    TTrayIcon* tray = form->Tray;
    DestroyWindow(form->Handle());
    // Nothing to unhook any more; the icon goes without touching the dead handle.
    form->Destroy(tray);
    SUCCEED();
}

} // namespace

namespace {

// The icon's colour pixels drawn over black, one 0xAARRGGBB value each.
std::vector<DWORD> IconPixels(HICON icon, int size) {
    void* bits = nullptr;
    ScopedBitmap bitmap = CreateTopDownDib(size, size, 32, &bits);
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    {
        ScopedSelectObject select(dc.Get(), bitmap.Get());
        DrawIconEx(dc.Get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    }
    GdiFlush();
    const auto* first = static_cast<const DWORD*>(bits);
    return std::vector<DWORD>(first, first + size * size);
}

// The image the resource holds for that size, as its own entry: null when it has none.
HICON OwnImage(const wchar_t* name, int size, bool* png = nullptr) {
    const HMODULE module = GetModuleHandleW(nullptr);
    HRSRC group = FindResourceW(module, name, RT_GROUP_ICON);
    if (!group) return nullptr;
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(module, group)));
    const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC entry = FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
    if (!entry) return nullptr;
    auto* data = static_cast<BYTE*>(LockResource(LoadResource(module, entry)));
    const DWORD bytes = SizeofResource(module, entry);
    const bool isPng = bytes > 4 && std::memcmp(data, "\x89PNG", 4) == 0;
    if (png) *png = isPng;
    // The entry's header says its width (a PNG's in its IHDR chunk, big-endian); another size
    // would be stretched to this one.
    const LONG width = isPng ? LONG(data[16]) << 24 | data[17] << 16 | data[18] << 8 | data[19]
                             : reinterpret_cast<const BITMAPINFOHEADER*>(data)->biWidth;
    if (width != size) return nullptr;
    return CreateIconFromResourceEx(data, bytes, TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
}

TEST(TrayIcons, EveryFrameAndTheProgramIconHaveTheirOwnImageAtEachScale) {
    std::vector<std::wstring> names{L"TRAY0", L"TRAY1", L"TRAY2", L"TRAY3",
                                    L"TRAY4", L"TRAY5", L"TRAY6", L"TRAY7"};
    for (const std::wstring& name : names) {
        for (const int size : {16, 20, 24, 32}) {
            SCOPED_TRACE(name + L" at " + std::to_wstring(size));
            bool png = false;
            const HICON own = OwnImage(name.c_str(), size, &png);
            ASSERT_NE(own, nullptr) << "no image of its own";
            // Every image PNG-compressed, which keeps the one file small, and read as a picture:
            // the globe's middle is drawn, not left black.
            EXPECT_TRUE(png);
            const std::vector<DWORD> pixels = IconPixels(own, size);
            EXPECT_NE(pixels[size / 2 * size + size / 2] & 0xFFFFFF, 0u);
            const HICON loaded = LoadIconOfSize(GetModuleHandleW(nullptr), name.c_str(), size);
            EXPECT_EQ(IconPixels(loaded, size), pixels);
            DestroyIcon(loaded);
            DestroyIcon(own);
        }
    }
    // The program icon also for Explorer's views.
    for (const int size : {16, 20, 24, 32, 48, 256}) {
        bool png = false;
        const HICON own = OwnImage(MAKEINTRESOURCEW(1), size, &png);
        EXPECT_NE(own, nullptr) << size;
        EXPECT_TRUE(png) << size;
        DestroyIcon(own);
    }
    // What the notification area asks for.
    const HICON small = LoadSmallIcon(GetModuleHandleW(nullptr), L"TRAY0");
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(small, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, SmallIconSize());
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(small);
}

// A change of scale: the frames again from their resources, each at the new small-icon size and
// as its own image, not the old one stretched.
TEST_F(TrayIconTest, AfterAChangeOfScaleTheShellGetsTheIconAtTheNewSmallIconSize) {
    TComponent app;
    auto* form = app.Own<OwnerForm>();
    auto* list = form->Own<TImageList>(16, 16);
    list->AddIconResources(GetModuleHandleW(nullptr), {L"TRAY0", L"TRAY1"});
    form->Tray->SetIconList(list);
    form->Tray->SetIconVisible(true);
    form->Tray->SetIconIndex(1);
    for (const auto& [dpi, size] : {std::pair{144, 24}, {120, 20}, {192, 32}, {96, 16}}) {
        SCOPED_TRACE(dpi);
        RECT suggested{0, 0, ScaleForDpi(200, dpi), ScaleForDpi(100, dpi)};
        Calls.clear();
        SendMessageW(form->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        ASSERT_FALSE(Calls.empty());
        EXPECT_EQ(Last().Message, static_cast<DWORD>(NIM_MODIFY));
        const HICON shown = Last().Data.hIcon;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(shown, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        EXPECT_EQ(bitmap.bmWidth, size);
        const HICON own = OwnImage(L"TRAY1", size);
        EXPECT_EQ(IconPixels(shown, size), IconPixels(own, size)) << "the frame shown stays";
        DestroyIcon(own);
        EXPECT_EQ(list->Count(), 2);
    }
}

} // namespace
