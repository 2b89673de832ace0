#include "widgets/TrayIcon.h"

#include <commctrl.h>

#include <utility>

#include "framework/Application.h"
#include "framework/Form.h"

namespace {
const UINT kRecordFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
const UINT_PTR kOwnerSubclassId = 0x7452;
const int kExitCheckMs = 20;

TTrayIcon::TNotifyIconFunction& NotifyIconFunction() {
    static TTrayIcon::TNotifyIconFunction f;
    return f;
}

UINT NextIconId() {
    static UINT next = 0;
    return ++next;
}

TShiftState ShiftState() {
    TShiftState shift = 0;
    if (GetAsyncKeyState(VK_SHIFT) < 0) shift |= ssShift;
    if (GetAsyncKeyState(VK_MENU) < 0) shift |= ssAlt;
    if (GetAsyncKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
    return shift;
}

POINT CursorPos() {
    POINT at{};
    GetCursorPos(&at);
    return at;
}

// Copies text into a fixed field of the record, cut to what fits before the terminating zero.
template <size_t N> void CopyCut(wchar_t (&field)[N], const std::wstring& text) {
    const size_t n = std::min(text.size(), N - 1);
    text.copy(field, n);
    field[n] = L'\0';
}
} // namespace

TTrayIcon::TNotifyIconFunction TTrayIcon::SetNotifyIconFunction(TNotifyIconFunction f) {
    return std::exchange(NotifyIconFunction(), std::move(f));
}

TTrayIcon::TTrayIcon(TComponent* owner)
    : TComponent(owner), FId(NextIconId()), FHandler(TTrayIconHandler::Join(FId, this)) {
    FData.cbSize = sizeof FData;
    FData.uID = FId;
    FData.hWnd = FHandler.Window();
    FData.uFlags = kRecordFlags;
    FData.uCallbackMessage = WM_TRAYNOTIFY;
    FCycleTimer = std::make_unique<TSimpleTimer>(1000, [this](TSimpleTimer*) { CycleTick(); });
    FClickTimer = std::make_unique<TSimpleTimer>(1000, [this](TSimpleTimer*) { ClickTick(); });
    FExitTimer =
        std::make_unique<TSimpleTimer>(kExitCheckMs, [this](TSimpleTimer*) { ExitTick(); });
    if (!Loading()) HookOwner();
}

TTrayIcon::~TTrayIcon() {
    try {
        if (FIconVisible) HideIcon();
    } catch (...) {
        // Nothing more can be done for an icon the shell will drop with the window anyway.
    }
    FCycleTimer.reset();
    FClickTimer.reset();
    FExitTimer.reset();
    FIcon.Reset();
    UnhookOwner();
    TTrayIconHandler::Leave(FId);
}

TForm* TTrayIcon::OwnerForm() const {
    return dynamic_cast<TForm*>(Owner());
}

void TTrayIcon::HookOwner() {
    TForm* form = OwnerForm();
    if (FHookedOwner || !form || !form->HandleAllocated()) return;
    if (SetWindowSubclass(form->Handle(), &TTrayIcon::OwnerProc, kOwnerSubclassId,
                          reinterpret_cast<DWORD_PTR>(this)))
        FHookedOwner = form->Handle();
}

void TTrayIcon::UnhookOwner() {
    if (!FHookedOwner) return;
    RemoveWindowSubclass(FHookedOwner, &TTrayIcon::OwnerProc, kOwnerSubclassId);
    FHookedOwner = nullptr;
}

void TTrayIcon::Loaded() {
    HookOwner();
    if (OwnerForm()) {
        bool showMainForm = true;
        if (OnStartup) OnStartup(this, showMainForm);
        if (!showMainForm) HideMainWindow();
    }
    // Applied again whatever their values, as the setters act only on a change. The icon is
    // added here with every property in its record: while loading, the setters only filled it.
    // An add the shell refuses finds the icon there already, and brings it up to date.
    if (FIconVisible) {
        if (!ShowIcon()) ModifyIcon();
    } else {
        HideIcon();
    }
    SetCycleIconsNow();
    if (!FWantEnterExitEvents) FExitTimer->SetEnabled(false);
    // The classic callbacks, the ones Callback() reads.
    FData.uVersion = 0;
    Notify(NIM_SETVERSION);
}

void TTrayIcon::Notification(TComponent* other) {
    if (other == FIconList) {
        FIconList = nullptr;
        SetIconIndex(0);
    }
    if (other == FPopupMenu) FPopupMenu = nullptr;
}

void TTrayIcon::SetIconList(TImageList* list) {
    if (list == FIconList) return;
    if (FIconList) RemoveFreeNotification(FIconList);
    FIconList = list;
    if (list) FreeNotification(list);
    SetIconIndex(0);
}

void TTrayIcon::SetPopupMenu(TPopupMenu* menu) {
    if (menu == FPopupMenu) return;
    if (FPopupMenu) RemoveFreeNotification(FPopupMenu);
    FPopupMenu = menu;
    if (menu) FreeNotification(menu);
}

void TTrayIcon::SetCycleIcons(bool on) {
    if (on == FCycleIcons) return;
    FCycleIcons = on;
    SetCycleIconsNow();
}

void TTrayIcon::SetCycleIconsNow() {
    if (FCycleIcons) {
        SetIconIndex(0);
        FCycleTimer->SetInterval(static_cast<int>(FCycleInterval));
        FCycleTimer->SetEnabled(true);
    } else {
        FCycleTimer->SetEnabled(false);
    }
}

void TTrayIcon::SetCycleInterval(unsigned milliseconds) {
    if (milliseconds == FCycleInterval) return;
    FCycleInterval = milliseconds;
    SetCycleIconsNow();
}

void TTrayIcon::SetHint(const std::wstring& hint) {
    if (hint == FHint) return;
    FHint = hint;
    ModifyIcon();
}

void TTrayIcon::SetShowHint(bool on) {
    if (on == FShowHint) return;
    FShowHint = on;
    ModifyIcon();
}

void TTrayIcon::SetIcon(HICON icon) {
    ReplaceIcon(ScopedIcon(icon ? CopyIcon(icon) : nullptr));
}

void TTrayIcon::ReplaceIcon(ScopedIcon icon) {
    // The old icon goes only after the shell has the new one; every replaced icon is
    // destroyed, or the animation would use up the process's USER objects within hours.
    ScopedIcon old = std::exchange(FIcon, std::move(icon));
    ModifyIcon();
}

void TTrayIcon::SetIconVisible(bool on) {
    if (on == FIconVisible) return;
    if (on)
        ShowIcon();
    else
        HideIcon();
}

void TTrayIcon::SetIconIndex(int index) {
    if (!FIconList) {
        FIconIndex = 0;
        ModifyIcon();
        return;
    }
    const int count = FIconList->Count();
    FIconIndex = index >= count ? count - 1 : index;
    if (FIconIndex < 0) FIconIndex = 0;
    ReplaceIcon(ScopedIcon(FIconList->GetIcon(FIconIndex)));
}

void TTrayIcon::SetWantEnterExitEvents(bool on) {
    if (on == FWantEnterExitEvents) return;
    FWantEnterExitEvents = on;
    // The check itself starts when the pointer comes over the icon.
    if (!on) FExitTimer->SetEnabled(false);
}

void TTrayIcon::PrepareRecord() {
    FData.hIcon = FIcon.Get();
    if (!FHint.empty() && FShowHint)
        CopyCut(FData.szTip, FHint);
    else
        std::fill(std::begin(FData.szTip), std::end(FData.szTip), L'\0');
}

bool TTrayIcon::Notify(DWORD message) {
    PrepareRecord();
    // One round trip to the shell per property while the owner loads would only delay the
    // start: Loaded() adds the icon once, with all of them.
    if (Loading()) return false;
    if (const TNotifyIconFunction& f = NotifyIconFunction()) return f(message, &FData);
    return Shell_NotifyIconW(message, &FData) != FALSE;
}

bool TTrayIcon::ShowIcon() {
    FIconVisible = true;
    return Notify(NIM_ADD);
}

bool TTrayIcon::HideIcon() {
    FIconVisible = false;
    return Notify(NIM_DELETE);
}

bool TTrayIcon::ModifyIcon() {
    return Notify(NIM_MODIFY);
}

bool TTrayIcon::HideBalloonHint() {
    FData.uFlags |= NIF_INFO;
    FData.szInfo[0] = L'\0';
    const bool ok = ModifyIcon();
    // Left set, a later modify (a cycle tick) would show the balloon again.
    FData.uFlags = kRecordFlags;
    return ok;
}

bool TTrayIcon::ShowBalloonHint(const std::wstring& title, const std::wstring& text,
                                TBalloonIconKind kind, uint8_t timeoutSeconds) {
    HideBalloonHint();
    FData.uFlags |= NIF_INFO;
    CopyCut(FData.szInfo, text);
    CopyCut(FData.szInfoTitle, title);
    FData.uTimeout = timeoutSeconds * 1000u;
    FData.dwInfoFlags = static_cast<DWORD>(kind);
    const bool ok = ModifyIcon();
    FData.uFlags = kRecordFlags;
    return ok;
}

void TTrayIcon::ShowMainWindow() {
    TForm* form = OwnerForm();
    if (!form || !form->HandleAllocated()) return;
    const HWND window = form->Handle();
    // A hidden minimised window comes back at its place, in front.
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    ShowWindow(window, SW_SHOW);
    // A configured start never shows the window, so this may be the process's first ShowWindow,
    // which Windows replaces with the starting shortcut's choice ("minimised", for one). Wine
    // does not, so this path is not tested here.
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

void TTrayIcon::HideMainWindow() {
    TForm* form = OwnerForm();
    if (!form || !form->HandleAllocated()) return;
    ShowWindow(form->Handle(), SW_HIDE);
    HideTaskbarButton();
}

void TTrayIcon::HideTaskbarButton() {
    // The main window is the top-level window that carries the taskbar button; hidden, it
    // takes its button along.
    TForm* form = OwnerForm();
    if (form && form->HandleAllocated() && IsWindowVisible(form->Handle()))
        ShowWindow(form->Handle(), SW_HIDE);
}

void TTrayIcon::PopupAtCursor() {
    POINT at{};
    if (!GetCursorPos(&at) || !FPopupMenu || FPopupOpen) return;
    const HWND handler = FHandler.Window();
    SetForegroundWindow(handler);
    FPopupOpen = true;
    FPopupMenu->SetPopupComponent(this);
    TMenuItem* chosen = FPopupMenu->Track(at, handler);
    // Without it the menu may not open a second time.
    PostMessageW(handler, WM_NULL, 0, 0);
    FPopupOpen = false;
    // After the menu has gone: the item may end the program.
    if (chosen) chosen->Click();
}

void TTrayIcon::Callback(UINT message) {
    switch (message) {
    case NIN_BALLOONSHOW:
        if (OnBalloonHintShow) OnBalloonHintShow(this);
        return;
    case NIN_BALLOONHIDE:
        if (OnBalloonHintHide) OnBalloonHintHide(this);
        return;
    case NIN_BALLOONTIMEOUT:
        if (OnBalloonHintTimeout) OnBalloonHintTimeout(this);
        return;
    case NIN_BALLOONUSERCLICK:
        if (OnBalloonHintClick) OnBalloonHintClick(this);
        return;
    }
    if (!FEnabled) return;
    const POINT at = CursorPos();
    const TShiftState shift = ShiftState();
    auto mouseDown = [&](TMouseButton button, TShiftState buttonBit) {
        if (OnMouseDown) OnMouseDown(this, button, shift | buttonBit, at.x, at.y);
    };
    auto mouseUp = [&](TMouseButton button, TShiftState buttonBit) {
        if (OnMouseUp) OnMouseUp(this, button, shift | buttonBit, at.x, at.y);
    };
    const bool menuPops = FPopupMenu && FPopupMenu->AutoPopup();
    switch (message) {
    case WM_MOUSEMOVE:
        if (FWantEnterExitEvents) {
            if (FPointerOutside) {
                FPointerOutside = false;
                if (OnMouseEnter) OnMouseEnter(this);
            }
            // Polls the cursor only while it is over the icon.
            if (!FExitTimer->Enabled()) FExitTimer->SetEnabled(true);
        }
        if (OnMouseMove) OnMouseMove(this, shift, at.x, at.y);
        FLastMove = at;
        break;
    case WM_LBUTTONDOWN:
        if (OnDblClick) {
            FClickTimer->SetInterval(static_cast<int>(GetDoubleClickTime()));
            FClickTimer->Start();
        }
        mouseDown(mbLeft, ssLeft);
        FButtonDown = true;
        if (FLeftPopup && menuPops) PopupAtCursor();
        break;
    case WM_LBUTTONUP:
        if (FButtonDown) FButtonReleased = true;
        if (FButtonDown && !FClickTimer->Enabled()) {
            FButtonDown = false;
            FButtonReleased = false;
            if (OnClick) OnClick(this);
        }
        FButtonDown = false;
        mouseUp(mbLeft, ssLeft);
        break;
    case WM_LBUTTONDBLCLK:
        FButtonReleased = false;
        FDblClicked = true;
        if (OnDblClick) OnDblClick(this);
        if (menuPops && !FLeftPopup)
            if (TMenuItem* item = FPopupMenu->DefaultItem()) item->Click();
        break;
    case WM_RBUTTONDOWN:
        mouseDown(mbRight, ssRight);
        if (menuPops) PopupAtCursor();
        break;
    case WM_RBUTTONUP:
        mouseUp(mbRight, ssRight);
        break;
    case WM_MBUTTONDOWN:
        mouseDown(mbMiddle, ssMiddle);
        break;
    case WM_MBUTTONUP:
        mouseUp(mbMiddle, ssMiddle);
        break;
    }
}

void TTrayIcon::ClickTick() {
    FClickTimer->Stop(true);
    const bool click = !FDblClicked && FButtonReleased;
    if (click) FButtonReleased = false;
    FDblClicked = false;
    if (click && OnClick) OnClick(this);
}

void TTrayIcon::ExitTick() {
    const POINT at = CursorPos();
    if (FPointerOutside || (at.x == FLastMove.x && at.y == FLastMove.y)) return;
    FPointerOutside = true;
    FExitTimer->SetEnabled(false);
    if (OnMouseExit) OnMouseExit(this);
}

void TTrayIcon::CycleTick() {
    if (!FIconList) return;
    const int count = FIconList->Count();
    const int next = FIconIndex + 1 < count ? FIconIndex + 1 : 0;
    // One modify a tick: the image goes in, the index only moves on.
    ReplaceIcon(ScopedIcon(FIconList->GetIcon(FIconIndex)));
    if (OnCycle) OnCycle(this, next);
    FIconIndex = next;
}

void TTrayIcon::ScaleIcons(int dpi) {
    if (!FIconList) return;
    const int size = SmallIconSizeForDpi(dpi);
    if (size == FIconList->Width()) return;
    FIconList->SetSize(size, size);
    SetIconIndex(FIconIndex);
}

bool TTrayIcon::MinimizeStep() {
    if (!FMinimizeToTray || !OnMinimizeToTray) return false;
    OnMinimizeToTray(this);
    HideMainWindow();
    SetIconVisible(true);
    return true;
}

LRESULT TTrayIcon::OwnerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam && lParam == 0) SetForegroundWindow(window);
        if (!wParam && lParam == SW_PARENTCLOSING && !Application().Terminated() && MinimizeStep())
            return 1;
        break;
    case WM_SYSCOMMAND:
        // The low four bits of a system command are the system's own.
        if ((wParam & 0xFFF0) == SC_MINIMIZE && MinimizeStep()) return 1;
        if ((wParam & 0xFFF0) == SC_RESTORE && !IsWindowVisible(window))
            ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
        break;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED && FMinimizeToTray) {
            HideMainWindow();
            SetIconVisible(true);
        }
        break;
    case WM_DPICHANGED:
        // The notification area shows icons at the small-icon size of the new scale; the old
        // images would be stretched and blurred.
        ScaleIcons(LOWORD(wParam));
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK TTrayIcon::OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TTrayIcon*>(data);
    if (message == WM_NCDESTROY) {
        // Taken off before the window goes, so nothing is ever put back onto a dead handle.
        self->UnhookOwner();
        return DefSubclassProc(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    bool handled = false;
    GuardedCall([&] {
        result = self->OwnerMessage(window, message, wParam, lParam);
        handled = true;
    });
    return handled ? result : DefSubclassProc(window, message, wParam, lParam);
}
