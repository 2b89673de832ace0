#pragma once
// A list of equally sized images with masks, for icons that change (the tray animation).
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/Component.h"

// The icon resource's own image of that size, or null; the caller destroys it.
HICON LoadIconOfSize(HINSTANCE instance, const wchar_t* name, int size);
// The system's small-icon size: 16 px at 100% scaling, 20 at 125%, 24 at 150%, 32 at 200%.
int SmallIconSize();
// The same at that DPI, as a per-monitor aware program is told it after a scale change.
int SmallIconSizeForDpi(int dpi);
// The icon resource at the small-icon size, as the notification area shows it.
HICON LoadSmallIcon(HINSTANCE instance, const wchar_t* name);

class TImageList : public TComponent {
public:
    TImageList(TComponent* owner, int width = 16, int height = 16);
    ~TImageList() override;

    int Count() const { return ImageList_GetImageCount(FHandle); }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    HIMAGELIST Handle() const { return FHandle; }
    // Adds a copy of the icon; answers its index, or -1.
    int AddIcon(HICON icon) { return ImageList_ReplaceIcon(FHandle, -1, icon); }
    // Adds the icon resources' own images at the list's size, in order; a new size takes them
    // again.
    void AddIconResources(HINSTANCE instance, const std::vector<std::wstring>& names);
    // Images of another size: the list is emptied, and what came from resources is loaded again
    // at the new size (from the resources' own images, not stretched).
    void SetSize(int width, int height);
    // A new icon the caller destroys, or null for an index out of range.
    HICON GetIcon(int index) const;

private:
    void LoadResources();

    HIMAGELIST FHandle;
    int FWidth;
    int FHeight;
    HINSTANCE FInstance = nullptr;
    std::vector<std::wstring> FResources;
};
