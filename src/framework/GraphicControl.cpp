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
    const RECT old = FBounds;
    FBounds = RECT{left, top, left + width, top + height};
    if (EqualRect(&old, &FBounds)) return;
    // Both rectangles: what a shrinking control leaves must be painted over too.
    if (FParent && FParent->HandleAllocated() && FVisible) {
        InvalidateRect(FParent->Handle(), &old, FALSE);
        InvalidateRect(FParent->Handle(), &FBounds, FALSE);
    }
    if (FParent && !FHint.empty()) FParent->HintChanged(this);
    if (old.right - old.left != width || old.bottom - old.top != height) Resized();
}

void TGraphicControl::SetAlign(TAlign align) {
    if (align == FAlign) return;
    FAlign = align;
    if (FParent) FParent->AlignControls();
}

void TGraphicControl::SetColor(COLORREF color) {
    FParentColor = false;
    if (color == FColor) return;
    FColor = color;
    ColorChanged();
}

void TGraphicControl::SetParentColor(bool parentColor) {
    if (parentColor == FParentColor) return;
    FParentColor = parentColor;
    if (!parentColor || FColor == GetSysColor(COLOR_BTNFACE)) return;
    FColor = GetSysColor(COLOR_BTNFACE);
    ColorChanged();
}

void TGraphicControl::SetShowHint(bool showHint) {
    FParentShowHint = false;
    if (showHint == FShowHint) return;
    FShowHint = showHint;
    if (FParent) FParent->HintChanged(this);
}

void TGraphicControl::SetParentShowHint(bool parentShowHint) {
    if (parentShowHint == FParentShowHint) return;
    FParentShowHint = parentShowHint;
    if (parentShowHint) {
        FShowHint = true;
        if (FParent) FParent->HintChanged(this);
    }
}

void TGraphicControl::SetEnabled(bool enabled) {
    if (enabled == FEnabled) return;
    FEnabled = enabled;
    EnabledChanged();
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
