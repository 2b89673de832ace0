#include "app/MainWindow.h"

#include "core/Settings.h"
#include "framework/Application.h"

TfrmMainWindow::TfrmMainWindow(TComponent* owner) : TForm(owner) {
    OnCreate = [this] { FormCreate(); };
    TFormParams params;
    params.Caption = Application().Title();
    params.Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;
    params.Width = 407;
    params.Height = 266;
    params.OuterSize = true;
    CreateHandle(params);
}

void TfrmMainWindow::FormCreate() {
    OpenSettings();
    SetCaption(Application().Title());
}
