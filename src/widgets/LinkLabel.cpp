#include "widgets/LinkLabel.h"

#include <shellapi.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "core/WmiEngine.h"
#include "framework/CommandLine.h"
#include "framework/ComTypes.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"

using Microsoft::WRL::ComPtr;

COLORREF ColorToRGB(TColor color) {
    return color & kSystemColor ? GetSysColor(static_cast<int>(color & 0xFF)) : color;
}

void TStyledLabel::SetTextColor(TColor color) {
    // Under the pointer the fly-by colour stays; a new colour (a link just visited, say) is
    // the one the pointer's leaving brings back, not the one from before it came.
    if (FFlying) {
        FSavedColor = color;
        return;
    }
    if (FTextColor == color) return;
    FTextColor = color;
    Invalidate();
}

void TStyledLabel::MouseEnter() {
    if (FFlyByEnabled && !FFlying) {
        FSavedColor = FTextColor;
        SetTextColor(FFlyByColor);
        FFlying = true;
    }
    TLabel::MouseEnter();
}

void TStyledLabel::MouseLeave() {
    if (FFlying) {
        FFlying = false;
        SetTextColor(FSavedColor);
    }
    TLabel::MouseLeave();
}

void TStyledLabel::Paint(TCanvas& canvas) {
    // System colours are looked up now: the user may have changed them since.
    const COLORREF color = ColorToRGB(FTextColor);
    if (Font().Color() != color) Font().SetColor(color);
    TLabel::Paint(canvas);
}

namespace {
bool ShellOpen(const std::wstring& target) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_FLAG_DDEWAIT;
    info.lpVerb = L"Open";
    info.lpFile = target.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

// From the desktop's window in the shell's list to the automation object of the shell that
// owns it, Explorer, which runs as the user; each step may fail (Explorer not running, another
// shell), and then nothing is opened. Raises nothing.
bool OpenWithDesktopShell(const std::wstring& target) try {
    ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                IID_PPV_ARGS(&windows))))
        return false;
    ScopedVariant location, root; // empty: the desktop
    LONG window = 0;
    ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(location.Ptr(), root.Ptr(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                              &desktop) != S_OK ||
        !desktop)
        return false;
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(desktop.As(&services)) ||
        FAILED(services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&browser))) ||
        FAILED(browser->QueryActiveShellView(&view)) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&background))) ||
        FAILED(background.As(&folderView)) || FAILED(folderView->get_Application(&application)) ||
        !application || FAILED(application.As(&shell)))
        return false;
    const ScopedBstr file(target);
    const ScopedVariant none, verb(L"open"), show(SW_SHOWNORMAL);
    return SUCCEEDED(
        shell->ShellExecute(file.Get(), none.Get(), none.Get(), verb.Get(), show.Get()));
} catch (...) {
    return false;
}

bool StartProgram(const std::wstring& program, const std::wstring& commandLine) {
    return StartProcess(program, commandLine);
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, n < MAX_PATH ? n : 0);
}
} // namespace

TURLLabel::TShell& TURLLabel::Shell() {
    static TShell shell{&ShellOpen, &OpenWithDesktopShell, &StartProgram};
    return shell;
}

TURLLabel::TURLLabel(TComponent* owner, TForm* parent) : TStyledLabel(owner, parent) {
    SetCursor(IDC_HAND);
    SetTextColor(FUnvisitedColor);
    Font().SetStyle(fsUnderline);
}

void TURLLabel::UpdateLinkColor() {
    SetTextColor(FVisited ? FVisitedColor : FUnvisitedColor);
}

void TURLLabel::SetVisited(bool visited) {
    if (FVisited == visited) return;
    FVisited = visited;
    UpdateLinkColor();
}

void TURLLabel::SetUnvisitedColor(TColor color) {
    if (FUnvisitedColor == color) return;
    FUnvisitedColor = color;
    UpdateLinkColor();
}

void TURLLabel::SetVisitedColor(TColor color) {
    if (FVisitedColor == color) return;
    FVisitedColor = color;
    UpdateLinkColor();
}

std::wstring TURLLabel::TargetExtension(const std::wstring& target) {
    const size_t dot = target.rfind(L'.');
    if (dot == std::wstring::npos || target.find_first_of(L"\\:", dot) != std::wstring::npos)
        return {};
    return UpperCase(target.substr(dot));
}

void TURLLabel::Click() {
    TStyledLabel::Click();
    const std::wstring target = Trim(FURL).empty() ? Caption() : FURL;
    if (Trim(target).empty()) return;
    // Elevated, the shell would open the target elevated, and look its handler up also among
    // the user's own classes, which any program of the user's may write: the desktop's shell
    // opens it as the user instead. When that shell cannot be reached nothing opens, as for
    // any target the shell refuses.
    const bool elevated = ProcessElevated();
    if (elevated ? Shell().OpenAsUser(target) : Shell().Open(target)) {
        SetVisited(true);
        return;
    }
    // The choose-a-program dialog, and the program chosen in it, would run elevated too.
    if (elevated || TargetExtension(target) != L".HTM") return;
    // By its full path: a search would try the program's folder and the current one first.
    const std::wstring program = SystemFolder() + L"\\rundll32.exe";
    Shell().Start(program, L"\"" + program + L"\" Shell32.dll,OpenAs_RunDLL \"" + target + L"\"");
}
