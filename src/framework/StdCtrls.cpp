#include "framework/StdCtrls.h"

#include <algorithm>

#include "framework/Application.h"
#include "framework/Form.h"

namespace {
// The property that ties a control's window to its object; standard controls leave
// GWLP_USERDATA to their users, but a property cannot be taken by mistake.
const wchar_t kControlProperty[] = L"TarnwickControl";
} // namespace

TWinControl::~TWinControl() {
    // Its parent may have taken the window already; a handle that was reused is not ours.
    if (FromHandle(FHandle) == this) {
        RemovePropW(FHandle, kControlProperty);
        DestroyWindow(FHandle);
    }
}

TWinControl* TWinControl::FromHandle(HWND window) {
    if (!window || !IsWindow(window)) return nullptr;
    return static_cast<TWinControl*>(GetPropW(window, kControlProperty));
}

std::wstring TWinControl::Text() const {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(FHandle)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(FHandle, text.data(), static_cast<int>(text.size()))));
    return text;
}

void TWinControl::CreateControl(HWND parent, const wchar_t* windowClass, const std::wstring& text,
                                DWORD style, DWORD exStyle, const RECT& bounds, HFONT font) {
    FHandle = CreateWindowExW(exStyle, windowClass, text.c_str(), style | WS_CHILD | WS_VISIBLE,
                              bounds.left, bounds.top, bounds.right - bounds.left,
                              bounds.bottom - bounds.top, parent, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (!FHandle) return;
    SetPropW(FHandle, kControlProperty, this);
    if (font) SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void TWinControl::SetGroupStart(bool on) {
    const LONG style = GetWindowLongW(FHandle, GWL_STYLE);
    SetWindowLongW(FHandle, GWL_STYLE, on ? style | WS_GROUP : style & ~WS_GROUP);
}

void TWinControl::Command(UINT code) {
    const TNotifyEvent* event = nullptr;
    switch (code) {
    case BN_CLICKED:
        if (auto* radio = dynamic_cast<TRadioButton*>(this)) radio->TakeTabStop();
        event = &OnClick;
        break;
    case EN_CHANGE:
    case CBN_SELCHANGE:
        event = &OnChange;
        break;
    case static_cast<UINT>(TCN_SELCHANGE):
        if (auto* tabs = dynamic_cast<TTabControl*>(this)) tabs->ShowSelectedPage();
        event = &OnChange;
        break;
    case EN_KILLFOCUS:
    case BN_KILLFOCUS:
    case CBN_KILLFOCUS:
        event = &OnExit;
        break;
    }
    if (event && *event) (*event)(this);
}

void TWinControl::SetAlign(TAlign align) {
    if (align == FAlign) return;
    FAlign = align;
    HWND parent = GetParent(FHandle);
    if (TForm* form = TForm::FromHandle(parent)) {
        form->AlignControls();
    } else {
        RECT client{};
        GetClientRect(parent, &client);
        ArrangeControls(AlignedChildren(parent), client);
    }
}

void TWinControl::SetColor(COLORREF color) {
    if (color == FColor) return;
    FColor = color;
    FBrush.Reset(color == CLR_INVALID ? nullptr : CreateSolidBrush(color));
    InvalidateRect(FHandle, nullptr, TRUE);
}

HBRUSH TWinControl::CtlColor(HDC dc) const {
    if (!FBrush) return nullptr;
    SetBkColor(dc, FColor);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(FHandle) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    return FBrush.Get();
}

std::vector<TAlignedControl> AlignedChildren(HWND parent) {
    std::vector<TAlignedControl> controls;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        TWinControl* control = TWinControl::FromHandle(c);
        if (!control || control->Align() == alNone) continue;
        RECT bounds{};
        GetWindowRect(c, &bounds);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);
        controls.push_back({control->Align(), bounds, [control](const RECT& r) {
                                SetWindowPos(control->Handle(), nullptr, r.left, r.top,
                                             r.right - r.left, r.bottom - r.top,
                                             SWP_NOZORDER | SWP_NOACTIVATE);
                                // The strip's own window procedure is the platform's.
                                if (auto* tabs = dynamic_cast<TTabControl*>(control))
                                    tabs->Relayout();
                            }});
    }
    return controls;
}

bool RouteControlMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    if (message == WM_COMMAND && lParam) {
        TWinControl* control = TWinControl::FromHandle(reinterpret_cast<HWND>(lParam));
        if (!control) return false;
        control->Command(HIWORD(wParam));
        return true;
    }
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        const TWinControl* control = TWinControl::FromHandle(reinterpret_cast<HWND>(lParam));
        HBRUSH brush = control ? control->CtlColor(reinterpret_cast<HDC>(wParam)) : nullptr;
        if (!brush) return false;
        result = reinterpret_cast<LRESULT>(brush);
        return true;
    }
    if (message == WM_NOTIFY && lParam) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        TWinControl* control = TWinControl::FromHandle(header->hwndFrom);
        if (!control) return false;
        control->Command(header->code);
        return true;
    }
    return false;
}

TButton::TButton(TComponent* owner, HWND parent, const std::wstring& caption, const RECT& bounds,
                 HFONT font, DWORD style)
    : TWinControl(owner) {
    CreateControl(parent, L"BUTTON", caption, BS_PUSHBUTTON | WS_TABSTOP | style, 0, bounds, font);
}

TCheckBox::TCheckBox(TComponent* owner, HWND parent, const std::wstring& caption,
                     const RECT& bounds, HFONT font)
    : TWinControl(owner) {
    CreateControl(parent, L"BUTTON", caption, BS_AUTOCHECKBOX | WS_TABSTOP, 0, bounds, font);
}

TRadioButton::TRadioButton(TComponent* owner, HWND parent, const std::wstring& caption,
                           const RECT& bounds, HFONT font)
    : TWinControl(owner) {
    // BN_KILLFOCUS and the like need BS_NOTIFY; the click needs nothing.
    CreateControl(parent, L"BUTTON", caption, BS_AUTORADIOBUTTON | BS_NOTIFY, 0, bounds, font);
}

void TRadioButton::SetChecked(bool on) {
    SendMessageW(Handle(), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    if (on) TakeTabStop();
}

void TRadioButton::TakeTabStop() {
    HWND parent = GetParent(Handle());
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        auto* radio = dynamic_cast<TRadioButton*>(FromHandle(c));
        if (!radio) continue;
        const LONG style = GetWindowLongW(c, GWL_STYLE);
        if (radio == this) {
            SetWindowLongW(c, GWL_STYLE, style | WS_TABSTOP);
        } else {
            SetWindowLongW(c, GWL_STYLE, style & ~WS_TABSTOP);
            SendMessageW(c, BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
}

TDBEdit::TDBEdit(TComponent* owner, HWND parent, const RECT& bounds, HFONT font)
    : TEdit(owner, parent, bounds, font, true) {
    const TWinControl* panel = FromHandle(parent);
    SetColor(panel && panel->Color() != CLR_INVALID ? panel->Color() : GetSysColor(COLOR_BTNFACE));
    FDataLink.OnDataChange = [this](const std::wstring& text) { SetText(text); };
}

TEdit::TEdit(TComponent* owner, HWND parent, const RECT& bounds, HFONT font, bool readOnly)
    : TWinControl(owner) {
    CreateControl(parent, L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP | (readOnly ? ES_READONLY : 0),
                  WS_EX_CLIENTEDGE, bounds, font);
}

TComboBox::TComboBox(TComponent* owner, HWND parent, const RECT& bounds, HFONT font)
    : TWinControl(owner) {
    // The height given is the closed box's; the list drops below it.
    RECT r = bounds;
    r.bottom = r.top + (bounds.bottom - bounds.top) * 10;
    CreateControl(parent, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, r, font);
}

std::wstring TComboBox::Item(int index) const {
    const LRESULT length = SendMessageW(Handle(), CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(Handle(), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

void TComboBox::FitDroppedWidth() {
    const HWND box = Handle();
    const HDC dc = GetDC(box);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (int i = 0; i < Count(); ++i) {
        const std::wstring text = Item(i);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, previous);
    ReleaseDC(box, dc);
    // The list's frame, the item's margins and room for a scroll bar.
    const int extra = 2 * GetSystemMetrics(SM_CXEDGE) + 8 + GetSystemMetrics(SM_CXVSCROLL);
    RECT bounds{};
    GetWindowRect(box, &bounds);
    const LONG width = std::max<LONG>(widest + extra, bounds.right - bounds.left);
    SendMessageW(box, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

LRESULT CALLBACK PanelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    bool handled = false;
    GuardedCall([&] {
        switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSTATIC:
            handled = RouteControlMessage(message, wParam, lParam, result);
            break;
        case WM_SIZE: {
            RECT client{};
            GetClientRect(window, &client);
            ArrangeControls(AlignedChildren(window), client);
            break;
        }
        case WM_SETFONT:
        case WM_GETFONT:
            // Kept for the frame's title offset and for children that ask their parent.
            if (auto* panel = dynamic_cast<TPanel*>(TWinControl::FromHandle(window))) {
                if (message == WM_SETFONT) panel->FFont = reinterpret_cast<HFONT>(wParam);
                result = reinterpret_cast<LRESULT>(panel->FFont);
                handled = true;
            }
            break;
        case WM_PAINT:
            if (auto* panel = dynamic_cast<TPanel*>(TWinControl::FromHandle(window))) {
                ScopedPaint paint(window);
                panel->Paint(paint.Get());
                handled = true;
            }
            break;
        }
    });
    return handled ? result : DefWindowProcW(window, message, wParam, lParam);
}

namespace {
const wchar_t kPanelClass[] = L"TarnwickPanel";

void RegisterPanelClass() {
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &PanelWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        // A system colour brush: nothing to release.
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = kPanelClass;
        return RegisterClassExW(&wc);
    }();
    (void)atom;
}

HFONT FontOf(HWND window) {
    return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
}
} // namespace

TPanel::TPanel(TComponent* owner, HWND parent, const RECT& bounds) : TWinControl(owner) {
    RegisterPanelClass();
    CreateControl(parent, kPanelClass, L"", WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
                  bounds, nullptr);
}

void TPanel::SetFramed(bool on) {
    if (FFramed == on) return;
    FFramed = on;
    InvalidateRect(Handle(), nullptr, TRUE);
}

void TPanel::SetTitleControl(TWinControl* control) {
    FTitle = control;
    RECT own{}, title{};
    GetClientRect(Handle(), &own);
    GetWindowRect(control->Handle(), &title);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&title), 2);
    HRGN region = CreateRectRgnIndirect(&own);
    HRGN cut = CreateRectRgnIndirect(&title);
    CombineRgn(region, region, cut, RGN_DIFF);
    DeleteObject(cut);
    // The window owns the region from here on.
    SetWindowRgn(Handle(), region, TRUE);
}

void TPanel::SyncChildrenEnabled() {
    const BOOL enabled = IsWindowEnabled(Handle());
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        EnableWindow(child, enabled);
}

void TPanel::Paint(HDC dc) {
    if (!FFramed) return;
    RECT r{};
    GetClientRect(Handle(), &r);
    TEXTMETRICW metrics{};
    {
        HFONT font = FFont ? FFont : FontOf(GetParent(Handle()));
        ScopedSelectObject select(dc, font ? static_cast<HGDIOBJ>(font)
                                           : GetStockObject(DEFAULT_GUI_FONT));
        GetTextMetricsW(dc, &metrics);
    }
    r.top += metrics.tmHeight / 2;
    DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
}

SIZE TStaticText::TextSize(HWND parent, const std::wstring& caption, HFONT font) {
    SIZE size{};
    ScopedWindowDc dc(parent);
    ScopedSelectObject select(dc.Get(), font);
    GetTextExtentPoint32W(dc.Get(), caption.c_str(), static_cast<int>(caption.size()), &size);
    return size;
}

TStaticText::TStaticText(TComponent* owner, HWND parent, const std::wstring& caption, POINT at,
                         HFONT font)
    : TWinControl(owner) {
    const SIZE size = TextSize(parent, caption, font);
    CreateControl(parent, L"STATIC", caption, SS_LEFT | SS_NOPREFIX, 0,
                  RECT{at.x, at.y, at.x + size.cx, at.y + size.cy}, font);
}

void TStaticText::Rescaled() {
    const SIZE size = TextSize(GetParent(Handle()), Text(),
                               reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0)));
    SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TBevel::TBevel(TComponent* owner, HWND parent, const RECT& bounds) : TWinControl(owner) {
    CreateControl(parent, L"STATIC", L"", SS_ETCHEDHORZ, 0,
                  RECT{bounds.left, bounds.top, bounds.right, bounds.top + 2}, nullptr);
}

TTabControl::TTabControl(TComponent* owner, HWND parent, const RECT& bounds, HFONT font)
    : TWinControl(owner) {
    // The pages live inside the strip, which must not paint over them.
    CreateControl(parent, WC_TABCONTROLW, L"", WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                  WS_EX_CONTROLPARENT, bounds, font);
}

TPanel* TTabControl::AddPage(const std::wstring& caption) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(caption.c_str());
    SendMessageW(Handle(), TCM_INSERTITEMW, FPages.size(), reinterpret_cast<LPARAM>(&item));
    auto* page = Owner()->Own<TPanel>(Handle(), RECT{});
    FPages.push_back(page);
    Relayout();
    ShowSelectedPage();
    return page;
}

void TTabControl::Relayout() {
    RECT r{};
    GetClientRect(Handle(), &r);
    SendMessageW(Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    for (TPanel* page : FPages)
        SetWindowPos(page->Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void TTabControl::SetPageIndex(int index) {
    if (index == PageIndex()) return;
    SendMessageW(Handle(), TCM_SETCURSEL, index, 0);
    ShowSelectedPage();
}

void TTabControl::ShowSelectedPage() {
    const int selected = PageIndex();
    bool focusHidden = false;
    for (int i = 0; i < PageCount(); ++i) {
        HWND page = Page(i)->Handle();
        if (i != selected && IsChild(page, GetFocus())) focusHidden = true;
        ShowWindow(page, i == selected ? SW_SHOW : SW_HIDE);
    }
    // The focus must not stay on a page nobody sees.
    if (focusHidden && selected >= 0) FocusFirstControl(Page(selected)->Handle());
}

void TTabControl::SelectNextPage(bool forward) {
    if (FPages.empty()) return;
    const int count = PageCount();
    SetPageIndex((PageIndex() + (forward ? 1 : count - 1)) % count);
    FocusFirstControl(Page(PageIndex())->Handle());
}

HWND FirstTabItem(HWND parent) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c) || !IsWindowEnabled(c)) continue;
        if (GetWindowLongW(c, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) {
            if (HWND inner = FirstTabItem(c)) return inner;
        } else if (GetWindowLongW(c, GWL_STYLE) & WS_TABSTOP) {
            return c;
        }
    }
    return nullptr;
}

void FocusFirstControl(HWND parent) {
    if (HWND first = FirstTabItem(parent)) ::SetFocus(first);
}
