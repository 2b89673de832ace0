#include "widgets/ImageList.h"

#include <utility>

HICON LoadIconOfSize(HINSTANCE instance, const wchar_t* name, int size) {
    // Windows picks the resource's image nearest that size; only one it lacks is stretched.
    return static_cast<HICON>(LoadImageW(instance, name, IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

int SmallIconSize() {
    return GetSystemMetrics(SM_CXSMICON);
}

int SmallIconSizeForDpi(int dpi) {
    // From Windows 10 1607 on; before it, the documented sizes are 16 px scaled.
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto forDpi = reinterpret_cast<GetSystemMetricsForDpiFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    if (forDpi)
        if (const int size = forDpi(SM_CXSMICON, static_cast<UINT>(dpi)); size > 0) return size;
    return MulDiv(16, dpi, 96);
}

HICON LoadSmallIcon(HINSTANCE instance, const wchar_t* name) {
    HICON icon = nullptr;
    if (SUCCEEDED(LoadIconMetric(instance, name, LIM_SMALL, &icon))) return icon;
    return LoadIconOfSize(instance, name, SmallIconSize());
}

TImageList::TImageList(TComponent* owner, int width, int height)
    : TComponent(owner), FHandle(ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 8, 8)),
      FWidth(width), FHeight(height) {}

TImageList::~TImageList() {
    ImageList_Destroy(FHandle);
}

HICON TImageList::GetIcon(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return ImageList_GetIcon(FHandle, index, ILD_NORMAL);
}

void TImageList::AddIconResources(HINSTANCE instance, const std::vector<std::wstring>& names) {
    FInstance = instance;
    FResources.insert(FResources.end(), names.begin(), names.end());
    for (const std::wstring& name : names) {
        const HICON icon = LoadIconOfSize(instance, name.c_str(), FWidth);
        AddIcon(icon);
        if (icon) DestroyIcon(icon);
    }
}

void TImageList::SetSize(int width, int height) {
    if (width == FWidth && height == FHeight) return;
    // Emptied by the new size; the handle stays, so whoever holds it still holds the list.
    ImageList_SetIconSize(FHandle, width, height);
    FWidth = width;
    FHeight = height;
    const std::vector<std::wstring> names = std::move(FResources);
    FResources.clear();
    AddIconResources(FInstance, names);
}
