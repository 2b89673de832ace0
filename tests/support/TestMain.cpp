// The main of every test program: an apartment-threaded COM thread and the application's
// title, as the program has them.
#include <gtest/gtest.h>

#include "framework/Application.h"
#include "framework/ComTypes.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ScopedComInitializer com;
    Application().SetTitle(L"Tarnwick");
    // A crash must end the test, not wait for a debugger dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const int result = RUN_ALL_TESTS();
    Application().Finalize();
    return result;
}
