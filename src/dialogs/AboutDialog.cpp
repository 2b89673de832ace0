#include "dialogs/AboutDialog.h"

#include "framework/Application.h"
#include "framework/DialogLook.h"

namespace {
// The maker's address, as the link shows and opens it.
const wchar_t kAddress[] = L"https://tarnwick.example.org/";
} // namespace

TfrmAbout::TfrmAbout(TComponent* owner) : TForm(owner) {
    img1 = Own<TImage>(this);
    img1->Picture().LoadFromResource(L"LOGO");
    img1->SetStretch(true);
    OnCreate = [this] { CreateControls(); };
    // The client area of the designed 281 x 207 window in classic frames.
    CreateDialogHandle(L"关于程序", {273, 180}, {320, 200});
}

void TfrmAbout::CreateControls() {
    img1->SetBounds(Scale(16), Scale(24), Scale(57), Scale(49));
    FFont.Reset(DialogFont(Scale(11), FW_NORMAL));
    FBoldFont.Reset(DialogFont(Scale(11), FW_BOLD));
    LOGFONTW lf{};
    lf.lfHeight = -Scale(16);
    lf.lfCharSet = GB2312_CHARSET;
    wcscpy(lf.lfFaceName, L"宋体");
    FTitleFont.Reset(CreateFontIndirectW(&lf));
    lbl1 = Own<TStaticText>(Handle(), L"Tarnwick", POINT{Scale(96), Scale(16)}, FTitleFont.Get());
    lbl2 =
        Own<TStaticText>(Handle(), L"Version 1.01", POINT{Scale(128), Scale(40)}, FBoldFont.Get());
    URLLabel1 = Own<TURLLabel>(this);
    URLLabel1->SetBounds(Scale(96), Scale(72), Scale(135), Scale(13));
    URLLabel1->SetAutoSize(true);
    URLLabel1->Font().SetName(L"MS Sans Serif");
    URLLabel1->Font().SetCharset(GB2312_CHARSET);
    URLLabel1->Font().SetHeight(Scale(11));
    URLLabel1->SetCaption(kAddress);
    URLLabel1->SetURL(kAddress);
    // The default button, with the focus from the start: Enter closes the box.
    btn1 = Own<TButton>(Handle(), L"关闭",
                        RECT{Scale(104), Scale(128), Scale(104 + 75), Scale(128 + 25)}, FFont.Get(),
                        BS_DEFPUSHBUTTON);
    btn1->OnClick = [this](TComponent* s) { btn1Click(s); };
}

LRESULT TfrmAbout::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // As a dialog box opens: the focus on its first control, the button.
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
        FocusFirstControl(Handle());
        return 0;
    }
    // Esc, which the dialog manager turns into IDCANCEL, closes the box as its button does.
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        Close();
        return 0;
    }
    return TForm::WindowProc(message, wParam, lParam);
}

void TfrmAbout::btn1Click(TComponent*) {
    Close();
}

void ExecuteAboutDialog() {
    auto* dialog = Application().Own<TfrmAbout>();
    const ScopeExit free([dialog] { Application().Destroy(dialog); });
    dialog->ShowModal();
}
