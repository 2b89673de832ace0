#pragma once
// A windowless control: painted by its parent form, which also routes click, double click
// and pointer enter and leave to it. Bounds are device pixels of the parent's client area.
#include <windows.h>

#include <string>

#include "framework/Align.h"
#include "framework/Canvas.h"
#include "framework/Component.h"

class TForm;

enum TDragKind { dkDrag, dkDock };
enum TDragMode { dmManual, dmAutomatic };

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

    TAlign Align() const { return FAlign; }
    // Arranges the parent's aligned controls at once.
    void SetAlign(TAlign align);
    // The control's own colour; with ParentColor it is the parent's, the system's face colour.
    COLORREF Color() const { return FColor; }
    void SetColor(COLORREF color);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool parentColor);
    // With ParentShowHint the hint shows, as the parent shows every hint.
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool showHint);
    bool ParentShowHint() const { return FParentShowHint; }
    void SetParentShowHint(bool parentShowHint);
    // A disabled control takes no pointer input.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    // Stored only: nothing is dragged yet.
    TDragKind DragKind() const { return FDragKind; }
    void SetDragKind(TDragKind kind) { FDragKind = kind; }
    int DragCursor() const { return FDragCursor; }
    void SetDragCursor(int cursor) { FDragCursor = cursor; }
    TDragMode DragMode() const { return FDragMode; }
    void SetDragMode(TDragMode mode) { FDragMode = mode; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

    virtual void Paint(TCanvas& canvas) = 0;
    // The control's own font, which follows the form's scale; null when it has none.
    virtual TFont* ScalableFont() { return nullptr; }
    // Raised by the parent.
    virtual void Click();
    virtual void DblClick();
    virtual void MouseEnter();
    virtual void MouseLeave();

protected:
    // The parent may belong to another owner and go first; it is then forgotten.
    void Notification(TComponent* other) override;
    // Told after the property changed; the base repaints the control.
    virtual void ColorChanged() { Invalidate(); }
    virtual void EnabledChanged() { Invalidate(); }
    // Told after SetBounds changed the width or the height.
    virtual void Resized() {}

private:
    void Fire(const TNotifyEvent& event);

    TForm* FParent;
    RECT FBounds{};
    bool FVisible = true;
    bool FMouseInControl = false;
    LPCWSTR FCursor = nullptr;
    std::wstring FHint;
    TAlign FAlign = alNone;
    COLORREF FColor = GetSysColor(COLOR_BTNFACE);
    bool FParentColor = true;
    bool FShowHint = true;
    bool FParentShowHint = true;
    bool FEnabled = true;
    TDragKind FDragKind = dkDrag;
    int FDragCursor = -12;
    TDragMode FDragMode = dmManual;
};
