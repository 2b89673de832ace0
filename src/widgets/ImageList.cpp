#include "widgets/ImageList.h"

HICON LoadIconOfSize(HINSTANCE instance, const wchar_t* name, int size) {
    // Windows picks the resource's image nearest that size; only one it lacks is stretched.
    return static_cast<HICON>(LoadImageW(instance, name, IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

int SmallIconSize() {
    return GetSystemMetrics(SM_CXSMICON);
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
