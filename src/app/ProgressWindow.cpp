#include "app/ProgressWindow.h"

#include <commctrl.h>

#include "framework/Application.h"
#include "framework/SystemLibrary.h"

namespace {
TFmProgress* gProgress = nullptr;

const COLORREF kShapeColor = 0xFFFBF0; // blue-green-red: a very light blue
const COLORREF kBlue = RGB(0, 0, 255);
const int kFindComputerClip = 152; // the shell's find-computer animation
} // namespace

TFmProgress::TFmProgress(TComponent* owner) : TForm(owner) {
    FLblShow = Own<TLabel>(this);
    FLblShow->Font().SetName(L"宋体");
    FLblShow->Font().SetCharset(GB2312_CHARSET);
    FLblShow->Font().SetHeight(Scale(13));
    FLblShow->Font().SetColor(kBlue);
    FLblShow->SetTransparent(true);
    FLblShow->SetBounds(Scale(60), Scale(21), Scale(52), Scale(13));
    FLblShow->SetAutoSize(true);
    FLblShow->SetCaption(L"提示信息");

    TFormParams params;
    params.Caption = L"FmProgress";
    params.Style = WS_POPUP | WS_CLIPCHILDREN;
    // Topmost, and no taskbar button of its own.
    params.ExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    params.Width = 328;
    params.Height = 56;
    CreateHandle(params);

    // The control plays the clip on a thread of its own, so it moves while a switch blocks ours.
    // ACS_CENTER keeps it at its 16 x 16 instead of growing to the size of the clip.
    FAnimate1 = CreateWindowExW(
        0, ANIMATE_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | ACS_TRANSPARENT | ACS_CENTER, Scale(20),
        Scale(20), Scale(16), Scale(16), Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    static const HMODULE shell = LoadSystemLibrary(L"shell32.dll");
    if (shell) {
        if (SendMessageW(FAnimate1, ACM_OPENW, reinterpret_cast<WPARAM>(shell),
                         reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kFindComputerClip))))
            SendMessageW(FAnimate1, ACM_PLAY, static_cast<WPARAM>(-1),
                         MAKELPARAM(0, 7)); // frames 1 to 8, looped
    }
}

TFmProgress::~TFmProgress() {
    if (FAnimate1) SendMessageW(FAnimate1, ACM_STOP, 0, 0);
}

LRESULT TFmProgress::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // The transparent animation takes its background from here.
    if (message == WM_CTLCOLORSTATIC) {
        if (!FShapeBrush) FShapeBrush.Reset(CreateSolidBrush(kShapeColor));
        SetBkColor(reinterpret_cast<HDC>(wParam), kShapeColor);
        return reinterpret_cast<LRESULT>(FShapeBrush.Get());
    }
    return TForm::WindowProc(message, wParam, lParam);
}

void TFmProgress::PaintBackground(TCanvas& canvas, const RECT& client) {
    canvas.Brush().SetColor(kShapeColor);
    canvas.FillRect(client);
}

TFmProgress* ProgressWindow() {
    return gProgress;
}

void ShowProgressMessage(const std::wstring& text) {
    if (!gProgress) {
        gProgress = Application().Own<TFmProgress>();
        gProgress->Show();
    }
    gProgress->LblShow()->SetCaption(text);
    // The caller is about to block the thread: paint now, not at the next message loop pass.
    gProgress->Update();
}

void CloseProgress() {
    if (!gProgress) return;
    TFmProgress* window = gProgress;
    gProgress = nullptr;
    window->AllowClose();
    window->Close();
    Application().Destroy(window);
}
