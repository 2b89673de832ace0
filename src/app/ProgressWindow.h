#pragma once
// The small window that says a switch is running. It stays on top, cannot be closed by the
// user, and its animation keeps moving while the user-interface thread is blocked.
#include <string>

#include "framework/Form.h"
#include "framework/Label.h"
#include "framework/Scoped.h"

class TFmProgress : public TForm {
public:
    explicit TFmProgress(TComponent* owner);
    ~TFmProgress() override;

    TLabel* LblShow() const { return FLblShow; }
    HWND Animate1() const { return FAnimate1; }
    void AllowClose() { FCloseAllowed = true; }

protected:
    bool CloseQuery() override { return FormCloseQuery(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PaintBackground(TCanvas& canvas, const RECT& client) override;

private:
    bool FormCloseQuery() const { return FCloseAllowed; }

    TLabel* FLblShow;
    HWND FAnimate1 = nullptr;
    ScopedBrush FShapeBrush;
    bool FCloseAllowed = false;
};

// Shows the one progress window with text, painted before this returns.
void ShowProgressMessage(const std::wstring& text);
// Removes the progress window, if there is one.
void CloseProgress();
// The window while it exists, or nullptr.
TFmProgress* ProgressWindow();
