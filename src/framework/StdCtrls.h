#pragma once
// Windowed controls: the real Win32 controls, one thin class per kind, each method forwarding
// to the control's own message. The form or container they sit on routes their notifications
// to them by window handle (RouteControlMessage).
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/Align.h"
#include "framework/Component.h"
#include "framework/DataSet.h"
#include "framework/Scoped.h"

class TWinControl : public TComponent {
public:
    using TComponent::TComponent;
    ~TWinControl() override;

    // The control living in window, or null for any other window.
    static TWinControl* FromHandle(HWND window);
    HWND Handle() const { return FHandle; }

    bool Enabled() const { return IsWindowEnabled(FHandle) != FALSE; }
    void SetEnabled(bool on) { EnableWindow(FHandle, on); }
    bool Visible() const { return (GetWindowLongW(FHandle, GWL_STYLE) & WS_VISIBLE) != 0; }
    void SetVisible(bool on) { ShowWindow(FHandle, on ? SW_SHOWNA : SW_HIDE); }
    std::wstring Text() const;
    void SetText(const std::wstring& text) { SetWindowTextW(FHandle, text.c_str()); }
    void SetFocus() { ::SetFocus(FHandle); }
    // What a click does, for buttons of every kind (push, check, radio).
    void Click() { SendMessageW(FHandle, BM_CLICK, 0, 0); }
    // Starts a group for the arrow keys (WS_GROUP).
    void SetGroupStart(bool on);
    bool Focused() const { return GetFocus() == FHandle; }
    // Arranges the parent's aligned controls at once, and again whenever the parent resizes.
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign align);
    // The background the control asks its parent for; CLR_INVALID leaves it to the platform.
    COLORREF Color() const { return FColor; }
    void SetColor(COLORREF color);

    TNotifyEvent OnClick;  // buttons
    TNotifyEvent OnChange; // edits and drop-down lists
    TNotifyEvent OnExit;   // the control lost the input focus

    // A WM_COMMAND or WM_NOTIFY code the parent received from this control.
    void Command(UINT code);
    // Answers a WM_CTLCOLOR* message for this control: its own brush, or null for the
    // platform's default.
    HBRUSH CtlColor(HDC dc) const;
    // Told when the form moved to another DPI, after the control took its new place and font:
    // what depends on them follows.
    virtual void Rescaled() {}

protected:
    // bounds: the control's rectangle in its parent's client area, already scaled.
    void CreateControl(HWND parent, const wchar_t* windowClass, const std::wstring& text,
                       DWORD style, DWORD exStyle, const RECT& bounds, HFONT font);

private:
    HWND FHandle = nullptr;
    TAlign FAlign = alNone;
    COLORREF FColor = CLR_INVALID;
    ScopedBrush FBrush; // made when the colour is set, not for every message
};

// Routes WM_COMMAND, WM_NOTIFY and WM_CTLCOLOR* from a control to the control by its window
// handle; answers whether the control answered, with what the parent's procedure returns.
bool RouteControlMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// The aligned controls among parent's children, for ArrangeControls; a tab control moved
// there places its pages again.
std::vector<TAlignedControl> AlignedChildren(HWND parent);

class TButton : public TWinControl {
public:
    TButton(TComponent* owner, HWND parent, const std::wstring& caption, const RECT& bounds,
            HFONT font, DWORD style = 0);
};

class TCheckBox : public TWinControl {
public:
    TCheckBox(TComponent* owner, HWND parent, const std::wstring& caption, const RECT& bounds,
              HFONT font);
    bool Checked() const { return SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void SetChecked(bool on) {
        SendMessageW(Handle(), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
};

// Radio buttons with one parent form one group: checking one unchecks the others, and the
// checked one is where Tab enters the group.
class TRadioButton : public TWinControl {
public:
    TRadioButton(TComponent* owner, HWND parent, const std::wstring& caption, const RECT& bounds,
                 HFONT font);
    bool Checked() const { return SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void SetChecked(bool on);

private:
    friend class TWinControl;
    void TakeTabStop();
};

// A free text field: no mask, no length limit beyond the control's own.
class TEdit : public TWinControl {
public:
    TEdit(TComponent* owner, HWND parent, const RECT& bounds, HFONT font, bool readOnly = false);
    bool ReadOnly() const { return (GetWindowLongW(Handle(), GWL_STYLE) & ES_READONLY) != 0; }
    void SetReadOnly(bool on) { SendMessageW(Handle(), EM_SETREADONLY, on, 0); }
};

// A read-only edit showing one field of a dataset's current row, in its panel's colour, so it
// reads as a displayed value.
class TDBEdit : public TEdit {
public:
    TDBEdit(TComponent* owner, HWND parent, const RECT& bounds, HFONT font);
    TDataSource* DataSource() const { return FDataLink.DataSource(); }
    void SetDataSource(TDataSource* source) { FDataLink.SetDataSource(source); }
    const std::wstring& DataField() const { return FDataLink.FieldName(); }
    void SetDataField(const std::wstring& name) { FDataLink.SetFieldName(name); }

private:
    TFieldDataLink FDataLink;
};

// A drop-down list: choice only, no typing.
class TComboBox : public TWinControl {
public:
    TComboBox(TComponent* owner, HWND parent, const RECT& bounds, HFONT font);
    int Add(const std::wstring& item) {
        return static_cast<int>(
            SendMessageW(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str())));
    }
    void Clear() { SendMessageW(Handle(), CB_RESETCONTENT, 0, 0); }
    int Count() const { return static_cast<int>(SendMessageW(Handle(), CB_GETCOUNT, 0, 0)); }
    int ItemIndex() const { return static_cast<int>(SendMessageW(Handle(), CB_GETCURSEL, 0, 0)); }
    void SetItemIndex(int index) { SendMessageW(Handle(), CB_SETCURSEL, index, 0); }
    std::wstring Item(int index) const;
    // The open list as wide as its widest item, in the box's font; never narrower than the box.
    void FitDroppedWidth();
    void Rescaled() override { FitDroppedWidth(); }
    int DroppedWidth() const {
        return static_cast<int>(SendMessageW(Handle(), CB_GETDROPPEDWIDTH, 0, 0));
    }
};

// A container without text: a panel, a group box's inside, a tab page, a frame. It routes its
// children's notifications and is a control parent, so Tab and the arrows walk into it.
class TPanel : public TWinControl {
public:
    TPanel(TComponent* owner, HWND parent, const RECT& bounds);
    // Draws an etched frame like a group box's, its top line half a text line down.
    bool Framed() const { return FFramed; }
    void SetFramed(bool on);
    // A control of the parent that sits on the frame's line, where a group box's title would:
    // it is cut out of this window, so it shows there and the line breaks around it.
    void SetTitleControl(TWinControl* control);
    // Gives each direct child this container's enabled state.
    void SyncChildrenEnabled();
    // The title's place moved with the scale: the cut follows.
    void Rescaled() override {
        if (FTitle) SetTitleControl(FTitle);
    }

private:
    friend LRESULT CALLBACK PanelWindowProc(HWND, UINT, WPARAM, LPARAM);
    void Paint(HDC dc);
    bool FFramed = false;
    HFONT FFont = nullptr;         // not owned
    TWinControl* FTitle = nullptr; // not owned
};

// Static text, sized to its caption in its font.
class TStaticText : public TWinControl {
public:
    TStaticText(TComponent* owner, HWND parent, const std::wstring& caption, POINT at, HFONT font);
    // Sized to its caption again, in the font of the new scale.
    void Rescaled() override;

private:
    static SIZE TextSize(HWND parent, const std::wstring& caption, HFONT font);
};

// A horizontal etched line.
class TBevel : public TWinControl {
public:
    TBevel(TComponent* owner, HWND parent, const RECT& bounds);
};

// A tab strip whose pages are containers inside it; only the selected page is shown.
class TTabControl : public TWinControl {
public:
    TTabControl(TComponent* owner, HWND parent, const RECT& bounds, HFONT font);
    TPanel* AddPage(const std::wstring& caption);
    int PageCount() const { return static_cast<int>(FPages.size()); }
    TPanel* Page(int index) const { return FPages[static_cast<size_t>(index)]; }
    int PageIndex() const { return static_cast<int>(SendMessageW(Handle(), TCM_GETCURSEL, 0, 0)); }
    void SetPageIndex(int index);
    // Ctrl+Tab and Ctrl+Shift+Tab: the next or previous page, the focus on its first control.
    void SelectNextPage(bool forward);
    // Places the pages in the display area again, after the strip changed size.
    void Relayout();
    void Rescaled() override { Relayout(); }

private:
    friend class TWinControl;
    void ShowSelectedPage();
    std::vector<TPanel*> FPages;
};

// The first control Tab reaches inside parent (descending into control parents), or null.
HWND FirstTabItem(HWND parent);
void FocusFirstControl(HWND parent);
