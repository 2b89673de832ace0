#pragma once
// What the process holds: GDI objects, USER objects, kernel handles and the bytes of its own
// heap. Where the system does not count them (Wine answers 0 to GetGuiResources and
// GetProcessHandleCount), every possible handle value is asked for what it is; a witness object,
// made for the purpose, must add one to that count, else the answer is 0 (cannot tell).
#include <windows.h>

#include <malloc.h>

#include <functional>
#include <memory>
#include <type_traits>

#include "framework/Scoped.h"

namespace object_counts {
// The count, checked by a witness that is alive during the second count.
template <typename Witness>
DWORD Witnessed(const std::function<DWORD()>& count, Witness makeWitness) {
    const DWORD before = count();
    const auto witness = makeWitness();
    return count() == before + 1 ? before : 0;
}
} // namespace object_counts

// Such a system also takes a GDI handle by its 16-bit index alone.
inline DWORD GdiObjectCount() {
    if (const DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return n;
    return object_counts::Witnessed(
        [] {
            DWORD n = 0;
            for (UINT_PTR index = 1; index <= 0xFFFF; ++index)
                n += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
            return n;
        },
        [] { return ScopedBrush(CreateSolidBrush(RGB(1, 2, 3))); });
}

// Windows of this process, counted through the window lists (asking every handle value for a
// window would reach the other processes' windows through the server), and menus, icons and
// cursors by the 16-bit value of their handle: the table of such handles is shared by all
// processes, but another process's menu or icon is not answered for.
inline DWORD UserObjectCount() {
    if (const DWORD n = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) return n;
    return object_counts::Witnessed(
        [] {
            DWORD n = 0;
            const WNDENUMPROC countOwn = [](HWND window, LPARAM count) -> BOOL {
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                if (process == GetCurrentProcessId()) ++*reinterpret_cast<DWORD*>(count);
                return TRUE;
            };
            const WNDENUMPROC countWithChildren = [](HWND window, LPARAM count) -> BOOL {
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                if (process != GetCurrentProcessId()) return TRUE;
                ++*reinterpret_cast<DWORD*>(count);
                EnumChildWindows(
                    window,
                    [](HWND, LPARAM c) -> BOOL {
                        ++*reinterpret_cast<DWORD*>(c);
                        return TRUE;
                    },
                    count);
                return TRUE;
            };
            EnumWindows(countWithChildren, reinterpret_cast<LPARAM>(&n));
            for (HWND window = nullptr;
                 (window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr));)
                countOwn(window, reinterpret_cast<LPARAM>(&n));
            for (UINT_PTR value = 0x20; value <= 0xFFFF; value += 2) {
                const auto handle = reinterpret_cast<HANDLE>(value);
                if (IsMenu(static_cast<HMENU>(handle))) {
                    ++n;
                } else if (ICONINFO info{}; GetIconInfo(static_cast<HICON>(handle), &info)) {
                    // The answer comes with copies of the icon's bitmaps.
                    if (info.hbmMask) DeleteObject(info.hbmMask);
                    if (info.hbmColor) DeleteObject(info.hbmColor);
                    ++n;
                }
            }
            return n;
        },
        [] {
            return std::unique_ptr<std::remove_pointer_t<HMENU>, decltype(&DestroyMenu)>(
                CreatePopupMenu(), &DestroyMenu);
        });
}

// Handles are multiples of four, given out lowest first: the search ends after a long run of
// values that are none.
inline DWORD HandleCount() {
    DWORD n = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &n) && n) return n;
    return object_counts::Witnessed(
        [] {
            DWORD count = 0, flags = 0;
            for (UINT_PTR value = 4, misses = 0; misses < 256; value += 4) {
                if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
                    ++count;
                    misses = 0;
                } else {
                    ++misses;
                }
            }
            return count;
        },
        [] { return ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); });
}

// Bytes in use in the C runtime's heap, where the program's own objects, strings and containers
// live. Under Wine that heap is apart from the process heap that the system's DLLs use, so a
// leak of ours shows here even where theirs make the private bytes grow (Wine's static control
// keeps 24 bytes of every one that was given a font).
inline size_t OwnHeapBytes() {
    const auto heap = reinterpret_cast<HANDLE>(_get_heap_handle());
    size_t busy = 0;
    if (!HeapLock(heap)) return 0;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += entry.cbData;
    HeapUnlock(heap);
    return busy;
}
