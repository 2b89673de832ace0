// Program entry: the application object, its title, the main window, the message loop.
#include <windows.h>

#include "app/MainWindow.h"
#include "framework/Application.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    TApplication& app = Application();
    app.Initialize();
    app.SetTitle(L"Tarnwick");
    GuardedCall([&] {
        TForm* mainWindow = app.CreateForm<TfrmMainWindow>();
        mainWindow->Show();
        app.Run();
    });
    app.Finalize();
    return 0;
}
