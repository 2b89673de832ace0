// How the program starts: one instance per session and the requests a later start hands over,
// the restart as administrator, and the execution level its manifest asks for.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/ElevatedRestart.h"
#include "app/SingleInstance.h"
#include "core/Settings.h"
#include "framework/Application.h"
#include "support/Seams.h"

namespace {

TEST(StartRequest, OnlyASwitchToAOrBIsARequestBesidesShowing) {
    EXPECT_EQ(ParseStartRequest(L"Tarnwick.exe"), TInstanceRequest::Show);
    EXPECT_EQ(ParseStartRequest(L"Tarnwick.exe --simulate"), TInstanceRequest::Show);
    EXPECT_EQ(ParseStartRequest(L"Tarnwick.exe --switch=A"), TInstanceRequest::SwitchToA);
    EXPECT_EQ(ParseStartRequest(L"Tarnwick.exe --simulate --switch=B"),
              TInstanceRequest::SwitchToB);
    for (const wchar_t* bad : {L"--switch=C", L"--switch", L"--switch=", L"--switch=a",
                               L"--switch=AB", L"--switch=A --switch=X", L"--switches=A"})
        EXPECT_FALSE(ParseStartRequest(std::wstring(L"Tarnwick.exe ") + bad)) << bad;
    EXPECT_EQ(RequestedProfile(TInstanceRequest::SwitchToB), L"B");
    EXPECT_EQ(RequestedProfile(TInstanceRequest::Show), L"");
}

// A request as it crosses: the instance's tag and the payload it expects, both changeable.
struct TRawRequest {
    ULONG_PTR Tag = 0x5457494E;
    uint32_t Payload[3] = {0x54575251, 3, 0};
    DWORD Size = 8;
    LRESULT SendTo(HWND window) {
        COPYDATASTRUCT data{Tag, Size, Payload};
        return SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    }
};

TEST(SingleInstance, ASecondStartIsNotTheInstanceAndItsRequestsReachTheFirst) {
    const std::wstring name = L"TarnwickTest" + std::to_wstring(GetCurrentProcessId());
    TSingleInstance first(name);
    ASSERT_TRUE(first.First());
    TSingleInstance second(name);
    EXPECT_FALSE(second.First());
    EXPECT_FALSE(SendInstanceRequest(name, TInstanceRequest::Show, 100)) << "not listening yet";

    std::vector<TInstanceRequest> heard;
    int64_t answer = 0;
    first.Listen([&](TInstanceRequest r) {
        heard.push_back(r);
        return answer;
    });
    EXPECT_TRUE(InstanceListening(name));
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::Show, 100), 0);
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToB, 100), 0);
    answer = 66;
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 100), 1) << "failed";
    EXPECT_EQ(heard,
              (std::vector<TInstanceRequest>{TInstanceRequest::Show, TInstanceRequest::SwitchToB,
                                             TInstanceRequest::SwitchToA}));

    // Anything but one of the three, in the one form, is not taken.
    const HWND window = FindWindowExW(HWND_MESSAGE, nullptr, (name + L"Instance").c_str(), nullptr);
    ASSERT_TRUE(window);
    TRawRequest valid;
    EXPECT_NE(valid.SendTo(window), 0);
    heard.clear();
    TRawRequest tag, shorter, longer, magic, zero, four;
    tag.Tag = 0x4E455453;
    shorter.Size = 7;
    longer.Size = 12;
    magic.Payload[0] = 0;
    zero.Payload[1] = 0;
    four.Payload[1] = 4;
    for (TRawRequest* bad : {&tag, &shorter, &longer, &magic, &zero, &four})
        EXPECT_EQ(bad->SendTo(window), 0);
    EXPECT_EQ(SendMessageW(window, WM_COPYDATA, 0, 0), 0) << "no data";
    EXPECT_TRUE(heard.empty());

    // Given up, the instance can be taken by another start, and taken back once that one goes.
    first.Release();
    EXPECT_FALSE(InstanceListening(name));
    EXPECT_TRUE(second.Claim());
    EXPECT_FALSE(first.Claim());
    second.Release();
    EXPECT_TRUE(first.Claim());
    EXPECT_TRUE(InstanceListening(name)) << "listening again with its handler";
}

TEST(ElevatedRestart, RunsThisExeThroughRunasWithTheSameOptionsAndTheSwitch) {
    EXPECT_EQ(ElevatedCopyParameters(L"Tarnwick.exe", L"A"), L"--switch=A");
    EXPECT_EQ(ElevatedCopyParameters(L"\"C:\\Program Files\\Tarnwick\\Tarnwick.exe\" --simulate "
                                     L"--switch=A \"--exit-when-idle=C:\\a b\\f.txt\"",
                                     L"B"),
              L"--simulate \"--exit-when-idle=C:\\a b\\f.txt\" --switch=B");
    EXPECT_EQ(ElevatedCopyParameters(L"x.exe \"a\\\"b\" \"c d\\\\\"", L"A"),
              L"\"a\\\"b\" \"c d\\\\\" --switch=A")
        << "read back as the same arguments";

    std::vector<std::wstring> calls;
    BOOL started = FALSE;
    const ScopedSeam shell(&SetShellExecuteFunction, [&](SHELLEXECUTEINFOW* info) {
        calls.push_back(std::wstring(info->lpVerb) + L"|" + info->lpFile + L"|" +
                        info->lpParameters);
        return started;
    });
    EXPECT_FALSE(StartElevatedCopy(L"B")) << "the prompt refused";
    started = TRUE;
    EXPECT_TRUE(StartElevatedCopy(L"A"));
    ASSERT_EQ(calls.size(), 2u);
    const std::wstring head = L"runas|" + Application().ExeName() + L"|";
    EXPECT_EQ(calls[1].rfind(head, 0), 0u) << calls[1];
    EXPECT_EQ(calls[1].substr(calls[1].size() - 10), L"--switch=A");
}

TEST(Manifest, AsksForTheHighestAvailableLevel) {
    // The program built beside this test program's folder, read as data.
    const std::wstring program = ExecutableFolder() + L"..\\src\\app\\Tarnwick.exe";
    const HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module) << "build Tarnwick";
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(found);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(bytes, SizeofResource(module, found));
    FreeLibrary(module);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"highestAvailable\""),
              std::string::npos);
    EXPECT_EQ(manifest.find("asInvoker"), std::string::npos);
}
} // namespace
