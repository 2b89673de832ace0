#pragma once
// The program's icon in the notification area: the shell's callbacks become component events,
// the icon animates through an image list, a popup menu opens at the cursor, balloons show,
// the main window minimises and hides to the tray, the icon comes back after the taskbar was
// re-created, and its images follow a change of scale.
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/Component.h"
#include "framework/Scoped.h"
#include "widgets/ImageList.h"
#include "widgets/PopupMenu.h"
#include "widgets/SimpleTimer.h"
#include "widgets/TrayIconHandler.h"

class TForm;
class TTrayIcon;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
// Bits of TShiftState.
enum : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };
using TShiftState = unsigned;
enum class TBalloonIconKind { None, Info, Warning, Error };

using TMouseEvent =
    std::function<void(TComponent* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TComponent* sender, TShiftState shift, int x, int y)>;
using TCycleEvent = std::function<void(TComponent* sender, int nextIndex)>;
using TStartupEvent = std::function<void(TComponent* sender, bool& showMainForm)>;

class TTrayIcon : public TComponent {
public:
    explicit TTrayIcon(TComponent* owner);
    ~TTrayIcon() override;

    // Every Shell_NotifyIconW of every tray icon goes through this; tests look at the records.
    // Answers the function replaced.
    using TNotifyIconFunction = std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)>;
    static TNotifyIconFunction SetNotifyIconFunction(TNotifyIconFunction f);

    TImageList* IconList() const { return FIconList; }
    void SetIconList(TImageList* list);
    bool CycleIcons() const { return FCycleIcons; }
    void SetCycleIcons(bool on);
    unsigned CycleInterval() const { return FCycleInterval; }
    void SetCycleInterval(unsigned milliseconds);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool on) { FEnabled = on; }
    const std::wstring& Hint() const { return FHint; }
    void SetHint(const std::wstring& hint);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool on);
    HICON Icon() const { return FIcon.Get(); }
    // Shows a copy of icon; the caller keeps its own.
    void SetIcon(HICON icon);
    bool IconVisible() const { return FIconVisible; }
    void SetIconVisible(bool on);
    int IconIndex() const { return FIconIndex; }
    void SetIconIndex(int index);
    TPopupMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TPopupMenu* menu);
    bool LeftPopup() const { return FLeftPopup; }
    void SetLeftPopup(bool on) { FLeftPopup = on; }
    bool WantEnterExitEvents() const { return FWantEnterExitEvents; }
    void SetWantEnterExitEvents(bool on);
    bool MinimizeToTray() const { return FMinimizeToTray; }
    void SetMinimizeToTray(bool on) { FMinimizeToTray = on; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;
    TCycleEvent OnCycle;
    TNotifyEvent OnBalloonHintShow;
    TNotifyEvent OnBalloonHintHide;
    TNotifyEvent OnBalloonHintTimeout;
    TNotifyEvent OnBalloonHintClick;
    TNotifyEvent OnMinimizeToTray;
    TStartupEvent OnStartup;

    bool ShowIcon();
    bool HideIcon();
    bool ModifyIcon();
    void ShowMainWindow();
    void HideMainWindow();
    void HideTaskbarButton();
    bool ShowBalloonHint(const std::wstring& title, const std::wstring& text, TBalloonIconKind kind,
                         uint8_t timeoutSeconds);
    bool HideBalloonHint();
    void PopupAtCursor();
    // The image list's icons at the small-icon size of that DPI, the current one shown; the
    // owner form's WM_DPICHANGED does it.
    void ScaleIcons(int dpi);

    // The shell's id of this icon; unique for the life of the process.
    UINT Id() const { return FId; }
    bool PopupOpen() const { return FPopupOpen; }

protected:
    void Loaded() override;
    void Notification(TComponent* other) override;

private:
    friend class TTrayIconHandler;
    static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR data);
    LRESULT OwnerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool MinimizeStep();
    void Callback(UINT message);
    void CycleTick();
    void ClickTick();
    void ExitTick();
    void ReplaceIcon(ScopedIcon icon);
    void SetCycleIconsNow();
    void PrepareRecord();
    bool Notify(DWORD message);
    TForm* OwnerForm() const;
    void HookOwner();
    void UnhookOwner();

    const UINT FId;
    TTrayIconHandler& FHandler;
    NOTIFYICONDATAW FData{};
    TImageList* FIconList = nullptr;
    bool FCycleIcons = false;
    unsigned FCycleInterval = 0;
    bool FEnabled = true;
    std::wstring FHint;
    bool FShowHint = true;
    ScopedIcon FIcon;
    bool FIconVisible = false;
    int FIconIndex = 0;
    TPopupMenu* FPopupMenu = nullptr;
    bool FLeftPopup = false;
    bool FWantEnterExitEvents = false;
    bool FMinimizeToTray = false;

    std::unique_ptr<TSimpleTimer> FCycleTimer;
    std::unique_ptr<TSimpleTimer> FClickTimer;
    std::unique_ptr<TSimpleTimer> FExitTimer;
    bool FButtonDown = false;
    bool FButtonReleased = false;
    bool FDblClicked = false;
    POINT FLastMove{};
    bool FPointerOutside = true;
    bool FPopupOpen = false;
    HWND FHookedOwner = nullptr;
};
