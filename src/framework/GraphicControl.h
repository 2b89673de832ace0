#pragma once
// A windowless control: painted by its parent form, which also routes click, double click
// and pointer enter and leave to it. Bounds are device pixels of the parent's client area.
#include <windows.h>

#include <string>

#include "framework/Canvas.h"
#include "framework/Component.h"

class TForm;

class TGraphicControl : public TComponent {
public:
    TGraphicControl(TComponent* owner, TForm* parent);
    ~TGraphicControl() override;

    TForm* Parent() const { return FParent; }
    RECT BoundsRect() const { return FBounds; }
    int Left() const { return FBounds.left; }
    int Top() const { return FBounds.top; }
    int Width() const { return FBounds.right - FBounds.left; }
    int Height() const { return FBounds.bottom - FBounds.top; }
    void SetBounds(int left, int top, int width, int height);
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);
    // A system cursor (IDC_HAND, ...) shown over the control, or null for the parent's.
    LPCWSTR Cursor() const { return FCursor; }
    void SetCursor(LPCWSTR cursor) { FCursor = cursor; }
    const std::wstring& Hint() const { return FHint; }
    void SetHint(const std::wstring& hint);
    bool MouseInControl() const { return FMouseInControl; }
    void Invalidate();

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

    virtual void Paint(TCanvas& canvas) = 0;
    // Raised by the parent.
    virtual void Click();
    virtual void DblClick();
    virtual void MouseEnter();
    virtual void MouseLeave();

protected:
    // The parent may belong to another owner and go first; it is then forgotten.
    void Notification(TComponent* other) override;

private:
    void Fire(const TNotifyEvent& event);

    TForm* FParent;
    RECT FBounds{};
    bool FVisible = true;
    bool FMouseInControl = false;
    LPCWSTR FCursor = nullptr;
    std::wstring FHint;
};
