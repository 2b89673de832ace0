#include "widgets/ImageList.h"

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
