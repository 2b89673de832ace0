#pragma once
// A window's layout at one DPI compared with the same window moved there from another: Wine
// has one monitor, so a test lays windows out for a DPI of its choosing and sends the message
// Windows sends when a window is dragged onto a monitor of another scale.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "framework/Dib.h"
#include "framework/Dpi.h"
#include "framework/Form.h"
#include "framework/GraphicControl.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"
#include "support/Seams.h"

// Windows made while it lives are laid out for dpi.
class ScopedDpi {
public:
    explicit ScopedDpi(int dpi) : FSeam(&SetWindowDpiFunction, [dpi](HWND) { return dpi; }) {}

private:
    ScopedSeam<std::function<int(HWND)>> FSeam;
};

struct TLayoutItem {
    std::wstring What;
    RECT Bounds; // in the form's client area
    int FontHeight;
};

// The client size, then every child window (all depths, in window order) and every
// windowless control: its rectangle and its font's height.
inline std::vector<TLayoutItem> LayoutOf(TForm& form) {
    std::vector<TLayoutItem> items;
    const RECT client = form.ClientRect();
    items.push_back({L"client area", client, 0});
    struct Walk {
        HWND Form;
        std::vector<TLayoutItem>* Items;
    } walk{form.Handle(), &items};
    EnumChildWindows(
        form.Handle(),
        [](HWND child, LPARAM p) -> BOOL {
            auto& w = *reinterpret_cast<Walk*>(p);
            RECT r{};
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, w.Form, reinterpret_cast<POINT*>(&r), 2);
            wchar_t cls[64] = {}, text[64] = {};
            GetClassNameW(child, cls, 64);
            GetWindowTextW(child, text, 64);
            LOGFONTW lf{};
            if (auto font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)))
                GetObjectW(font, sizeof lf, &lf);
            w.Items->push_back({std::wstring(cls) + L" " + text, r, lf.lfHeight});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    for (TGraphicControl* control : form.Controls())
        items.push_back({L"windowless control", control->BoundsRect(),
                         control->ScalableFont() ? control->ScalableFont()->Height() : 0});
    return items;
}

// The captions of buttons, check boxes, radio buttons and static texts that do not fit their
// control in its font at dpi, with what the control draws beside the text (a check box's box,
// a button's edges and picture) taken off.
inline std::vector<std::wstring> ClippedCaptions(TForm& form, int dpi) {
    struct Walk {
        HWND Form;
        int Dpi;
        int Checked;
        std::vector<std::wstring> Clipped;
    } walk{form.Handle(), dpi, 0, {}};
    EnumChildWindows(
        form.Handle(),
        [](HWND child, LPARAM p) -> BOOL {
            auto& w = *reinterpret_cast<Walk*>(p);
            wchar_t cls[32] = {}, text[256] = {};
            GetClassNameW(child, cls, 32);
            if (!GetWindowTextW(child, text, 256)) return TRUE;
            // Shown with the form: it and every parent up to the form have WS_VISIBLE.
            for (HWND h = child; h && h != w.Form; h = GetParent(h))
                if (!(GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE)) return TRUE;
            ++w.Checked;
            const LONG style = GetWindowLongW(child, GWL_STYLE);
            RECT r{};
            GetClientRect(child, &r);
            int room = r.right;
            if (_wcsicmp(cls, L"Button") == 0) {
                const LONG kind = style & BS_TYPEMASK;
                const bool box = kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX ||
                                 kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON;
                room -= box ? MulDiv(13 + 4, w.Dpi, 96) : MulDiv(8, w.Dpi, 96);
                if (SendMessageW(child, BM_GETIMAGE, IMAGE_ICON, 0))
                    room -= MulDiv(16 + 4, w.Dpi, 96);
            } else if (_wcsicmp(cls, L"Static") != 0) {
                return TRUE;
            }
            HDC dc = GetDC(child);
            HGDIOBJ old =
                SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
            RECT need{};
            DrawTextW(dc, text, -1, &need, DT_CALCRECT | DT_SINGLELINE);
            SelectObject(dc, old);
            ReleaseDC(child, dc);
            if (need.right > room || need.bottom > r.bottom)
                w.Clipped.push_back(std::wstring(text) + L" needs " + std::to_wstring(need.right) +
                                    L"x" + std::to_wstring(need.bottom) + L", has " +
                                    std::to_wstring(room) + L"x" + std::to_wstring(r.bottom));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    if (walk.Checked == 0) walk.Clipped.push_back(L"no caption shown to check");
    return walk.Clipped;
}

// The client area as the form paints it, one 0x00RRGGBB value a pixel.
inline std::vector<DWORD> ClientPixels(TForm& form) {
    const RECT client = form.ClientRect();
    void* bits = nullptr;
    ScopedBitmap bitmap = CreateTopDownDib(client.right, client.bottom, 32, &bits);
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    {
        ScopedSelectObject select(dc.Get(), bitmap.Get());
        SendMessageW(form.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
    }
    GdiFlush();
    const auto* first = static_cast<const DWORD*>(bits);
    return std::vector<DWORD>(first, first + client.right * client.bottom);
}

// Tells form it is now on a monitor at dpi, with Windows' suggested rectangle: the size of
// like, the same window made for that DPI, at form's place.
inline void MoveToDpi(TForm& form, int dpi, TForm& like) {
    RECT now{}, target{};
    GetWindowRect(form.Handle(), &now);
    GetWindowRect(like.Handle(), &target);
    RECT suggested{now.left, now.top, now.left + target.right - target.left,
                   now.top + target.bottom - target.top};
    SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
}

// Every rectangle and font height within a pixel of the other layout's.
inline void ExpectSameLayout(const std::vector<TLayoutItem>& moved,
                             const std::vector<TLayoutItem>& made) {
    ASSERT_EQ(moved.size(), made.size());
    const auto withinAPixel = [](LONG a, LONG b) { return std::abs(a - b) <= 1; };
    for (size_t i = 0; i < moved.size(); ++i) {
        const RECT &a = moved[i].Bounds, &b = made[i].Bounds;
        EXPECT_TRUE(withinAPixel(a.left, b.left) && withinAPixel(a.top, b.top) &&
                    withinAPixel(a.right, b.right) && withinAPixel(a.bottom, b.bottom))
            << i << " " << ToUtf8(made[i].What) << ": moved (" << a.left << "," << a.top << ","
            << a.right << "," << a.bottom << ") made (" << b.left << "," << b.top << "," << b.right
            << "," << b.bottom << ")";
        EXPECT_TRUE(withinAPixel(moved[i].FontHeight, made[i].FontHeight))
            << i << ": font " << moved[i].FontHeight << " against " << made[i].FontHeight;
    }
}
