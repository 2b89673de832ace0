#pragma once
// A list of equally sized images with masks, for icons that change (the tray animation).
#include <windows.h>

#include <commctrl.h>

#include "framework/Component.h"

// The icon resource's own image of that size, or null; the caller destroys it.
HICON LoadIconOfSize(HINSTANCE instance, const wchar_t* name, int size);
// The system's small-icon size: 16 px at 100% scaling, 20 at 125%, 24 at 150%, 32 at 200%.
int SmallIconSize();
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
    // A new icon the caller destroys, or null for an index out of range.
    HICON GetIcon(int index) const;

private:
    HIMAGELIST FHandle;
    int FWidth;
    int FHeight;
};
