#include "framework/Form.h"

#include <commctrl.h>

#include <algorithm>

#include "framework/Application.h"
#include "framework/DialogLook.h"
#include "framework/Dpi.h"
#include "framework/Exception.h"
#include "framework/GraphicControl.h"
#include "framework/StdCtrls.h"

namespace {
const wchar_t kFormClass[] = L"TarnwickForm";

// The tool tip entry of a control's hint: the control itself is the tool's id.
TOOLINFOW ToolOf(HWND form, TGraphicControl* control) {
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = form;
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    return ti;
}

// Puts a DC's state (clip, origin, selections) back however the scope ends: the back buffer's
// DC outlives a paint that raised.
class TSavedDcState {
public:
    explicit TSavedDcState(HDC dc) : FDc(dc), FState(SaveDC(dc)) {}
    ~TSavedDcState() { RestoreDC(FDc, FState); }
    TSavedDcState(const TSavedDcState&) = delete;
    TSavedDcState& operator=(const TSavedDcState&) = delete;

private:
    HDC FDc;
    int FState;
};
} // namespace

ATOM TForm::RegisterFormClass() {
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &TForm::StaticWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        wc.lpszClassName = kFormClass;
        return RegisterClassExW(&wc);
    }();
    return atom;
}

TForm::TForm(TComponent* owner) : TComponent(owner), FDpi(WindowDpi(nullptr)) {
    BeginLoading();
}

TForm::~TForm() {
    DestroyHandle();
    // Now, not in ~TComponent: the controls take themselves off this form's lists as they go,
    // and by then those lists would be gone.
    DestroyComponents();
}

TForm* TForm::FromHandle(HWND window) {
    if (!window || GetClassLongPtrW(window, GCW_ATOM) != RegisterFormClass()) return nullptr;
    return reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

int TForm::Scale(int value96) const {
    return ScaleForDpi(value96, FDpi);
}

void TForm::CreateHandle(const TFormParams& p) {
    const int clientWidth = Scale(p.Width), clientHeight = Scale(p.Height);
    RECT r{0, 0, clientWidth, clientHeight};
    if (!p.OuterSize) AdjustWindowRectEx(&r, p.Style, FALSE, p.ExStyle);
    int width = r.right - r.left, height = r.bottom - r.top;
    // WM_NCCREATE binds the window to this form, so every message reaches WindowProc.
    CreateWindowExW(p.ExStyle, MAKEINTATOM(RegisterFormClass()), p.Caption.c_str(),
                    p.Style & ~WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, width, height, p.Owner,
                    nullptr, GetModuleHandleW(nullptr), this);
    if (!FHandle) throw Exception(L"Unable to create the window " + p.Caption);
    if (!p.OuterSize) {
        // The frame the window really got, which themes, scaled captions or a menu can make
        // larger than the estimate: the layout needs the client area it was drawn for.
        const RECT client = ClientRect();
        width += clientWidth - client.right;
        height += clientHeight - client.bottom;
    }
    int x = 0, y = 0;
    if (p.CenterOnScreen) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        x = work.left + (work.right - work.left - width) / 2;
        y = work.top + (work.bottom - work.top - height) / 2;
    }
    SetWindowPos(FHandle, nullptr, x, y, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | (p.CenterOnScreen ? 0 : SWP_NOMOVE));
    FDpi = WindowDpi(FHandle);
    for (TGraphicControl* c : FControls)
        HintChanged(c);
    EndLoading();
    // An error of the creation handler is reported and the form exists all the same, with
    // whatever the handler did before it failed.
    if (OnCreate) GuardedCall(OnCreate);
}

void TForm::CreateDialogHandle(const std::wstring& caption, SIZE client, POINT designedAt) {
    SetDialogNavigation(true);
    TFormParams params;
    params.Caption = caption;
    params.Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    params.Width = client.cx;
    params.Height = client.cy;
    params.CenterOnScreen = false;
    CreateHandle(params);
    PlaceWindow(FHandle, designedAt.x, designedAt.y);
}

void TForm::DestroyHandle() {
    if (!FHandle) return;
    HWND window = FHandle;
    FHandle = nullptr;
    FToolTip = nullptr; // a child; goes with the window
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    if (Application().MainForm() == this) PostQuitMessage(0);
}

LRESULT CALLBACK TForm::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* creating =
            static_cast<TForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        creating->FHandle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating));
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    bool handled = false;
    GuardedCall([&] {
        result = form->WindowProc(message, wParam, lParam);
        handled = true;
    });
    if (message == WM_NCDESTROY) {
        // Destroyed from outside (DestroyHandle unbinds first): forget the window, so the form
        // neither waits for it in a modal run nor destroys a handle that may be reused.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->FHandle = nullptr;
        form->FToolTip = nullptr;
    }
    return handled ? result : 0;
}

LRESULT TForm::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(FHandle, message, wParam, lParam);
}

LRESULT TForm::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC: {
        // A windowed control tells its parent; the control's own event or colour answers.
        LRESULT result = 0;
        if (RouteControlMessage(message, wParam, lParam, result)) return result;
        break;
    }
    case WM_SIZE:
        AlignControls();
        break;
    case WM_DPICHANGED:
        // Only a per-monitor aware program is told; the rectangle keeps the window's place.
        ChangeDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        ScopedPaint paint(FHandle);
        Paint(paint.Get(), paint.Invalid());
        return 0;
    }
    case WM_PRINTCLIENT:
        // PrintWindow and window animations ask for the client area in a DC of their own.
        Paint(reinterpret_cast<HDC>(wParam), ClientRect());
        return 0;
    case WM_MOUSEMOVE:
        MouseMove(at);
        return 0;
    case WM_MOUSELEAVE:
        SetHovered(nullptr);
        return 0;
    case WM_LBUTTONDOWN:
        FPressed = ControlAt(at);
        if (FPressed) SetCapture(FHandle);
        return 0;
    case WM_LBUTTONUP: {
        TGraphicControl* pressed = std::exchange(FPressed, nullptr);
        if (GetCapture() == FHandle) ReleaseCapture();
        if (pressed && pressed == ControlAt(at)) pressed->Click();
        return 0;
    }
    case WM_CAPTURECHANGED:
        // A press whose capture went elsewhere (a box that popped up) ends as no click.
        if (reinterpret_cast<HWND>(lParam) != FHandle) FPressed = nullptr;
        break;
    case WM_LBUTTONDBLCLK:
        if (TGraphicControl* control = ControlAt(at)) control->DblClick();
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && SetControlCursor()) return TRUE;
        break;
    }
    return DefaultProc(message, wParam, lParam);
}

bool TForm::CloseQuery() {
    return OnCloseQuery ? OnCloseQuery() : true;
}

bool TForm::Close() {
    if (!CloseQuery()) return false;
    if (FModal) {
        if (FModalResult == 0) FModalResult = IDCANCEL;
    } else if (Application().MainForm() == this) {
        DestroyHandle();
    } else {
        Hide();
    }
    return true;
}

void TForm::Show() {
    if (!FHandle) return;
    ShowWindow(FHandle, SW_SHOW);
    // A minimised window is brought back as well.
    if (IsIconic(FHandle)) ShowWindow(FHandle, SW_RESTORE);
}

void TForm::Hide() {
    if (FHandle) ShowWindow(FHandle, SW_HIDE);
}

bool TForm::Visible() const {
    return FHandle && IsWindowVisible(FHandle);
}

int TForm::ShowModal() {
    // Every other window of the thread is disabled while the form runs.
    std::vector<HWND> disabled;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM list) -> BOOL {
            if (IsWindowVisible(w) && IsWindowEnabled(w))
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&disabled));
    disabled.erase(std::remove(disabled.begin(), disabled.end(), FHandle), disabled.end());
    for (HWND w : disabled)
        EnableWindow(w, FALSE);

    FModal = true;
    FModalResult = 0;
    Show();
    SetForegroundWindow(FHandle);
    while (FModalResult == 0 && FHandle) {
        if (!Application().HandleMessage()) {
            PostQuitMessage(0); // leave the quit for the outer loop
            if (FModalResult == 0) FModalResult = IDCANCEL;
        }
    }
    FModal = false;
    for (HWND w : disabled)
        EnableWindow(w, TRUE);
    Hide();
    return FModalResult;
}

std::wstring TForm::Caption() const {
    if (!FHandle) return {};
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(FHandle)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(FHandle, text.data(), static_cast<int>(text.size()))));
    return text;
}

void TForm::SetCaption(const std::wstring& caption) {
    if (FHandle) SetWindowTextW(FHandle, caption.c_str());
}

void TForm::Invalidate() {
    if (FHandle) InvalidateRect(FHandle, nullptr, FALSE);
}

void TForm::Update() {
    if (FHandle) UpdateWindow(FHandle);
}

RECT TForm::ClientRect() const {
    RECT r{};
    if (FHandle) GetClientRect(FHandle, &r);
    return r;
}

void TForm::PaintBackground(TCanvas& canvas, const RECT& client) {
    canvas.Brush().SetColor(GetSysColor(COLOR_BTNFACE));
    canvas.FillRect(client);
}

void TForm::Paint(HDC dc, const RECT& invalid) {
    const RECT client = ClientRect();
    RECT area{};
    if (!IntersectRect(&area, &invalid, &client)) return;
    // Drawn off screen first, so the labels over the picture do not flicker.
    if (FBackBuffer.Width() != client.right || FBackBuffer.Height() != client.bottom) {
        ScopedWindowDc screen(FHandle);
        FBackBuffer.Assign(
            ScopedBitmap(CreateCompatibleBitmap(screen.Get(), client.right, client.bottom)),
            client.right, client.bottom);
    }
    HDC memory = FBackBuffer.Dc();
    if (!memory) return;
    {
        // Only the invalid part: a hover repaints one label's rectangle, not the window. Each
        // paint starts from the DC as it was made and leaves it so.
        TSavedDcState state(memory);
        IntersectClipRect(memory, area.left, area.top, area.right, area.bottom);
        {
            TCanvas canvas(memory);
            PaintBackground(canvas, client);
        }
        for (TGraphicControl* control : FControls) {
            const RECT bounds = control->BoundsRect();
            RECT overlap{};
            if (!control->Visible() || !IntersectRect(&overlap, &bounds, &area)) continue;
            TSavedDcState saved(memory);
            SetViewportOrgEx(memory, control->Left(), control->Top(), nullptr);
            IntersectClipRect(memory, 0, 0, control->Width(), control->Height());
            TCanvas canvas(memory);
            control->Paint(canvas);
        }
    }
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory,
           area.left, area.top, SRCCOPY);
}

void TForm::InsertControl(TGraphicControl* control) {
    FControls.push_back(control);
}

void TForm::ChangeDpi(int dpi, const RECT& suggested) {
    if (dpi <= 0 || dpi == FDpi) return;
    const int now = std::exchange(FDpi, dpi);
    FScaler.Rescale(FHandle, FControls, now, dpi);
    SetWindowPos(FHandle, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    AlignControls();
    DpiChanged();
    RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TForm::RemoveControl(TGraphicControl* control) {
    FScaler.Forget(control);
    FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
    if (FHovered == control) FHovered = nullptr;
    if (FPressed == control) FPressed = nullptr;
    if (FToolTip) {
        TOOLINFOW ti = ToolOf(FHandle, control);
        SendMessageW(FToolTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

TGraphicControl* TForm::ControlAt(POINT client) const {
    for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
        const RECT r = (*it)->BoundsRect();
        if ((*it)->Visible() && (*it)->Enabled() && PtInRect(&r, client)) return *it;
    }
    return nullptr;
}

void TForm::AlignControls() {
    if (!FHandle) return;
    std::vector<TAlignedControl> controls = AlignedChildren(FHandle);
    for (TGraphicControl* c : FControls) {
        if (c->Align() == alNone) continue;
        controls.push_back({c->Align(), c->BoundsRect(), [c](const RECT& r) {
                                c->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
                            }});
    }
    ArrangeControls(controls, ClientRect());
}

void TForm::MouseMove(POINT at) {
    SetHovered(ControlAt(at));
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, FHandle, 0};
    TrackMouseEvent(&track);
}

void TForm::SetHovered(TGraphicControl* control) {
    if (control == FHovered) return;
    TGraphicControl* left = std::exchange(FHovered, control);
    if (left) left->MouseLeave();
    if (control) control->MouseEnter();
}

bool TForm::SetControlCursor() {
    POINT at;
    GetCursorPos(&at);
    ScreenToClient(FHandle, &at);
    TGraphicControl* control = ControlAt(at);
    if (!control || !control->Cursor()) return false;
    ::SetCursor(LoadCursorW(nullptr, control->Cursor()));
    return true;
}

void TForm::EnsureToolTip() {
    if (FToolTip || !FHandle) return;
    FToolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FHandle, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
}

void TForm::HintChanged(TGraphicControl* control) {
    if (!FHandle || (control->Hint().empty() && !FToolTip)) return;
    EnsureToolTip();
    TOOLINFOW ti = ToolOf(FHandle, control);
    SendMessageW(FToolTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    // A hidden control takes no input, so its hint would pop up over nothing.
    if (control->Hint().empty() || !control->Visible() || !control->ShowHint()) return;
    ti.uFlags = TTF_SUBCLASS;
    ti.rect = control->BoundsRect();
    ti.lpszText = const_cast<wchar_t*>(control->Hint().c_str());
    SendMessageW(FToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}
