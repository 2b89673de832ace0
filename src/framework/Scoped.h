#pragma once
// Move-only owners of Win32 handles and GDI objects. Get() lends, Release() hands the handle
// over to the caller, Reset() closes the old one and takes a new one.
#include <windows.h>

#include <utility>

template <typename Traits> class ScopedWin32 {
public:
    using Handle = typename Traits::Handle;
    ScopedWin32() = default;
    explicit ScopedWin32(Handle h) : FHandle(h) {}
    ~ScopedWin32() { Reset(); }
    ScopedWin32(ScopedWin32&& other) noexcept : FHandle(other.Release()) {}
    ScopedWin32& operator=(ScopedWin32&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ScopedWin32(const ScopedWin32&) = delete;
    ScopedWin32& operator=(const ScopedWin32&) = delete;

    Handle Get() const { return FHandle; }
    explicit operator bool() const { return Traits::IsValid(FHandle); }
    Handle Release() { return std::exchange(FHandle, Traits::Null()); }
    void Reset(Handle h = Traits::Null()) {
        if (Traits::IsValid(FHandle)) Traits::Close(FHandle);
        FHandle = h;
    }
    // For APIs that return a handle through an out pointer; the old one is closed first.
    Handle* Receive() {
        Reset();
        return &FHandle;
    }

private:
    Handle FHandle = Traits::Null();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
using ScopedHandle = ScopedWin32<KernelHandleTraits>;

// A handle whose one invalid value is null, closed by close.
template <typename H, auto close> struct NullInvalidTraits {
    using Handle = H;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { close(h); }
};
using ScopedRegKey = ScopedWin32<NullInvalidTraits<HKEY, &RegCloseKey>>;
// A handle of the service control manager or of one service.
using ScopedServiceHandle = ScopedWin32<NullInvalidTraits<SC_HANDLE, &CloseServiceHandle>>;
using ScopedFont = ScopedWin32<NullInvalidTraits<HFONT, &DeleteObject>>;
using ScopedBitmap = ScopedWin32<NullInvalidTraits<HBITMAP, &DeleteObject>>;
using ScopedBrush = ScopedWin32<NullInvalidTraits<HBRUSH, &DeleteObject>>;
using ScopedPalette = ScopedWin32<NullInvalidTraits<HPALETTE, &DeleteObject>>;
using ScopedIcon = ScopedWin32<NullInvalidTraits<HICON, &DestroyIcon>>;
// A DC from CreateCompatibleDC; a window's DC is released with ScopedWindowDc instead.
using ScopedMemoryDc = ScopedWin32<NullInvalidTraits<HDC, &DeleteDC>>;

class ScopedWindowDc {
public:
    explicit ScopedWindowDc(HWND window) : FWindow(window), FDc(GetDC(window)) {}
    ~ScopedWindowDc() { ReleaseDC(FWindow, FDc); }
    ScopedWindowDc(const ScopedWindowDc&) = delete;
    ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
    HDC Get() const { return FDc; }

private:
    HWND FWindow;
    HDC FDc;
};

// The paint DC of a WM_PAINT, ended however the painting leaves the scope.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND window) : FWindow(window), FDc(BeginPaint(window, &FPaint)) {}
    ~ScopedPaint() { EndPaint(FWindow, &FPaint); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    HDC Get() const { return FDc; }
    const RECT& Invalid() const { return FPaint.rcPaint; }

private:
    HWND FWindow;
    PAINTSTRUCT FPaint{};
    HDC FDc;
};

// Selects an object into a DC for the life of the scope and puts the previous one back.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : FDc(dc), FOld(SelectObject(dc, object)) {}
    ~ScopedSelectObject() { SelectObject(FDc, FOld); }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC FDc;
    HGDIOBJ FOld;
};

// Runs an action when the scope is left, however it is left: a flag put back, a dialog freed.
template <typename F> class ScopeExit {
public:
    explicit ScopeExit(F action) : FAction(std::move(action)) {}
    ~ScopeExit() { FAction(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F FAction;
};
