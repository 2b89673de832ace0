#pragma once
// A top-level window built in code: create, show, hide, close with a close query, run modally.
// It paints and routes mouse input for the windowless controls placed on it.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Canvas.h"
#include "framework/Component.h"
#include "framework/DpiScaler.h"
#include "framework/OffscreenBitmap.h"

class TGraphicControl;

struct TFormParams {
    std::wstring Caption;
    DWORD Style = WS_OVERLAPPEDWINDOW;
    DWORD ExStyle = 0;
    // Size in pixels at 96 DPI: the client area, or the outer size when OuterSize is set.
    int Width = 0;
    int Height = 0;
    bool OuterSize = false;
    bool CenterOnScreen = true;
    HWND Owner = nullptr;
};

class TForm : public TComponent {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    static TForm* FromHandle(HWND window);
    HWND Handle() const { return FHandle; }
    bool HandleAllocated() const { return FHandle != nullptr; }

    // The DPI the form's layout is scaled to, and a 96-DPI length in it.
    int Dpi() const { return FDpi; }
    int Scale(int value96) const;

    void Show();
    void Hide();
    bool Visible() const;
    // Asks the close query; answers whether the form closed. A modal form ends its modal
    // run, the main form ends the program, any other form is hidden.
    bool Close();
    int ShowModal();
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int result) { FModalResult = result; }
    bool Modal() const { return FModal; }

    std::wstring Caption() const;
    void SetCaption(const std::wstring& caption);
    void Invalidate();
    // Paints what is invalid now, without waiting for the message loop.
    void Update();
    RECT ClientRect() const;

    bool DialogNavigation() const { return FDialogNavigation; }
    void SetDialogNavigation(bool on) { FDialogNavigation = on; }
    // A key the form handles itself before dialog navigation sees it (Ctrl+Tab, say);
    // answers whether it did.
    virtual bool DialogKey(const MSG& /*msg*/) { return false; }

    std::function<void()> OnCreate;
    // Answers whether the form may close.
    std::function<bool()> OnCloseQuery;

    // Called by windowless controls as they are placed on the form and removed from it.
    void InsertControl(TGraphicControl* control);
    void RemoveControl(TGraphicControl* control);
    void HintChanged(TGraphicControl* control);
    TGraphicControl* ControlAt(POINT client) const;
    const std::vector<TGraphicControl*>& Controls() const { return FControls; }
    // Places the aligned controls, windowed and windowless, in the client area.
    void AlignControls();

protected:
    // Creates the window, ends the loading bracket and raises OnCreate; what OnCreate raises
    // goes to the standard error box, not to the caller.
    void CreateHandle(const TFormParams& params);
    // The same for a dialog: a sizing frame, dialog keys, a client area of client (96-DPI
    // pixels, whatever frame the system draws) and its designed place on the screen, moved into
    // the work area when it does not fit there.
    void CreateDialogHandle(const std::wstring& caption, SIZE client, POINT designedAt);
    void DestroyHandle();
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual bool CloseQuery();
    // Paints the client area beneath the windowless controls.
    virtual void PaintBackground(TCanvas& canvas, const RECT& client);
    // Told after the form was laid out at a new DPI: what the layout does not hold (a button's
    // picture, say) follows here.
    virtual void DpiChanged() {}

private:
    static ATOM RegisterFormClass();
    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
    // Paints the given part of the client area into dc.
    void Paint(HDC dc, const RECT& invalid);
    void MouseMove(POINT at);
    void SetHovered(TGraphicControl* control);
    bool SetControlCursor();
    void EnsureToolTip();
    // The form moved to a monitor of another scale: laid out at dpi in the suggested place.
    void ChangeDpi(int dpi, const RECT& suggested);

    HWND FHandle = nullptr;
    int FDpi = 96;
    int FModalResult = 0;
    bool FModal = false;
    bool FDialogNavigation = false;
    std::vector<TGraphicControl*> FControls;
    TGraphicControl* FHovered = nullptr;
    TGraphicControl* FPressed = nullptr;
    HWND FToolTip = nullptr;
    // The client area drawn off screen, kept between paints: a bitmap and a DC made for each
    // paint cost more than repainting a label's rectangle.
    TOffscreenBitmap FBackBuffer;
    TDpiScaler FScaler;
};
