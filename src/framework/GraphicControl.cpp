#include "framework/GraphicControl.h"

#include "framework/Form.h"

TGraphicControl::TGraphicControl(TComponent* owner, TForm* parent)
    : TComponent(owner), FParent(parent) {
    if (!FParent) return;
    FParent->InsertControl(this);
    FreeNotification(FParent);
}

TGraphicControl::~TGraphicControl() {
    if (FParent) FParent->RemoveControl(this);
}

void TGraphicControl::Notification(TComponent* other) {
    if (other == FParent) FParent = nullptr;
}

void TGraphicControl::SetBounds(int left, int top, int width, int height) {
    Invalidate();
    FBounds = RECT{left, top, left + width, top + height};
    Invalidate();
    if (FParent && !FHint.empty()) FParent->HintChanged(this);
}

void TGraphicControl::SetVisible(bool visible) {
    if (visible == FVisible) return;
    FVisible = visible;
    if (FParent && FParent->HandleAllocated()) InvalidateRect(FParent->Handle(), &FBounds, FALSE);
    if (FParent && !FHint.empty()) FParent->HintChanged(this);
}

void TGraphicControl::SetHint(const std::wstring& hint) {
    if (hint == FHint) return;
    FHint = hint;
    if (FParent) FParent->HintChanged(this);
}

void TGraphicControl::Invalidate() {
    if (FParent && FParent->HandleAllocated() && FVisible)
        InvalidateRect(FParent->Handle(), &FBounds, FALSE);
}

// A handler may destroy its own control: it runs on a copy, never on the member being destroyed.
void TGraphicControl::Fire(const TNotifyEvent& event) {
    if (const TNotifyEvent handler = event) handler(this);
}

void TGraphicControl::Click() {
    Fire(OnClick);
}

void TGraphicControl::DblClick() {
    Fire(OnDblClick);
}

void TGraphicControl::MouseEnter() {
    FMouseInControl = true;
    Fire(OnMouseEnter);
}

void TGraphicControl::MouseLeave() {
    FMouseInControl = false;
    Fire(OnMouseLeave);
}
