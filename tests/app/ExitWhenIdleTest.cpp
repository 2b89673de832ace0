// --exit-when-idle: the option, and the real Tarnwick.exe ending where a user meets it.
#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>

#include "app/ExitWhenIdle.h"
#include "core/Settings.h"
#include "framework/Scoped.h"
#include "support/BuiltProgram.h"
#include "support/TempFolder.h"

namespace {

std::optional<std::wstring> Parse(const std::wstring& arguments) {
    return ParseExitWhenIdle(L"Tarnwick.exe " + arguments);
}

// Runs Tarnwick.exe, copied alone into the folder, with the option; answers its exit code, or
// -1 when it has not ended within 30 s.
long RunUntilIdle(const TempFolder& folder) {
    return RunCopyUntilEnd(folder, L"Tarnwick.exe --simulate --exit-when-idle=figures.txt");
}

// The one line written: milliseconds since creation, peak working set, private bytes.
void ExpectFigures(const TempFolder& folder) {
    std::istringstream line(folder.ReadBytes(L"figures.txt"));
    double ms = 0;
    unsigned long long peak = 0, privateBytes = 0;
    ASSERT_TRUE(line >> ms >> peak >> privateBytes) << line.str();
    EXPECT_GT(ms, 0);
    EXPECT_LT(ms, 30000);
    EXPECT_GT(peak, 1024u * 1024u);
    EXPECT_GT(privateBytes, 0u);
}

} // namespace

TEST(ExitWhenIdle, OptionNamesTheFileAndWithoutOneIsEmpty) {
    EXPECT_FALSE(Parse(L"--simulate"));
    EXPECT_EQ(Parse(L"--simulate --exit-when-idle=figures.txt"), L"figures.txt");
    // A path is refused, so figures land beside the exe and nowhere the caller points.
    for (const wchar_t* path :
         {L"\"--exit-when-idle=C:\\a b\\f.txt\"", L"--exit-when-idle=..\\f.txt",
          L"--exit-when-idle=sub/f.txt", L"--exit-when-idle=C:f.txt", L"--exit-when-idle=.."})
        EXPECT_EQ(Parse(path), L"") << path;
    EXPECT_EQ(Parse(L"--exit-when-idle"), L"");
    EXPECT_EQ(Parse(L"--exit-when-idle="), L"");
}

TEST(ExitWhenIdle, ConfiguredStartEndsInTheTrayWithItsFiguresAndConfigUntouched) {
    TempFolder folder;
    const std::string config = "[NET]\r\nNET=A\r\n[A]\r\nName=A\r\nDHCPEnabled=1\r\n";
    folder.WriteBytes(L"Config.ini", config);
    ASSERT_EQ(RunUntilIdle(folder), 0);
    ExpectFigures(folder);
    EXPECT_EQ(folder.ReadBytes(L"Config.ini"), config);
    EXPECT_EQ(GetFileAttributesW(folder.File(L"simulated-network.log").c_str()),
              INVALID_FILE_ATTRIBUTES)
        << "a start changes no adapter";
}

TEST(ExitWhenIdle, FirstRunEndsInTheDialogPastItsGreeting) {
    TempFolder folder;
    // The greeting box is answered by itself; a box left showing would keep the program alive.
    ASSERT_EQ(RunUntilIdle(folder), 0);
    ExpectFigures(folder);
}
