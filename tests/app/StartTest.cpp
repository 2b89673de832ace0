// How the program starts: one instance per session and the requests a later start hands over,
// names another program made first, the restart as administrator, and the execution level its
// manifest asks for.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "app/ElevatedRestart.h"
#include "app/SingleInstance.h"
#include "core/Settings.h"
#include "core/WmiEngine.h"
#include "framework/Application.h"
#include "framework/CommandLine.h"
#include "framework/Scoped.h"
#include "support/Seams.h"
#include "support/TempFolder.h"

#include "TarnwickVersion.h"

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

// Another program holding the instance's names, as tests/app/InstanceSquatter.cpp makes them:
// the mutex, and a window that answers every request as done. Its program is the squatter
// beside this test program unless another path is given. Ended with the test.
class Squatter {
public:
    explicit Squatter(const std::wstring& name,
                      const std::wstring& program = ExecutableFolder() + L"instance_squatter.exe") {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        std::wstring line = L"\"" + program + L"\" " + name;
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &started))
            return;
        FProcess.Reset(started.hProcess);
        const ScopedHandle thread(started.hThread);
        const ULONGLONG until = GetTickCount64() + 10000;
        while (!(FWindow = WindowOf(name, started.dwProcessId)) && GetTickCount64() < until &&
               WaitForSingleObject(FProcess.Get(), 50) == WAIT_TIMEOUT) {
        }
    }
    ~Squatter() {
        if (FWindow) PostMessageW(FWindow, WM_CLOSE, 0, 0);
        if (FProcess && WaitForSingleObject(FProcess.Get(), 5000) != WAIT_OBJECT_0)
            TerminateProcess(FProcess.Get(), 1);
    }
    Squatter(const Squatter&) = delete;
    Squatter& operator=(const Squatter&) = delete;
    HWND Window() const { return FWindow; }

private:
    static HWND WindowOf(const std::wstring& name, DWORD process) {
        const std::wstring windowClass = name + L"Instance";
        for (HWND w = nullptr;
             (w = FindWindowExW(HWND_MESSAGE, w, windowClass.c_str(), nullptr));) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == process) return w;
        }
        return nullptr;
    }
    ScopedHandle FProcess;
    HWND FWindow = nullptr;
};

TEST(SquattedNames, AnotherProgramsNamesNeitherAnswerNorKeepAnElevatedStartFromRunning) {
    const std::wstring name = L"TarnwickSquat" + std::to_wstring(GetCurrentProcessId());
    Squatter squatter(name);
    ASSERT_TRUE(squatter.Window()) << "the squatter did not start";
    EXPECT_FALSE(TrustedInstanceWindow(squatter.Window()));
    EXPECT_FALSE(InstanceListening(name));
    EXPECT_FALSE(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 200))
        << "the squatter's answer was taken";

    TSingleInstance start(name);
    EXPECT_FALSE(start.First()) << "the squatter holds the mutex";
    {
        const ScopedSeam unelevated(&SetProcessElevatedFunction, [] { return false; });
        EXPECT_EQ(start.HandRequestOver(TInstanceRequest::SwitchToA, 200), 1);
        EXPECT_FALSE(start.First());
    }
    const ScopedSeam elevated(&SetProcessElevatedFunction, [] { return true; });
    EXPECT_EQ(start.HandRequestOver(TInstanceRequest::SwitchToB, 200), std::nullopt)
        << "an elevated start goes on as the instance";
    ASSERT_TRUE(start.First());
    std::vector<TInstanceRequest> heard;
    start.Listen([&](TInstanceRequest r) {
        heard.push_back(r);
        return 0;
    });
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 1000), 0);
    EXPECT_EQ(heard, std::vector<TInstanceRequest>{TInstanceRequest::SwitchToA})
        << "the request went to the squatter";

    // Given up to a copy, the instance is that copy's while it listens, and this one's again
    // once it goes, though the mutex stays the squatter's throughout.
    start.Release();
    TSingleInstance copy(name);
    EXPECT_EQ(copy.HandRequestOver(TInstanceRequest::Show, 200), std::nullopt);
    copy.Listen([](TInstanceRequest) { return 0; });
    EXPECT_FALSE(start.Claim());
    copy.Release();
    EXPECT_TRUE(start.Claim());
    EXPECT_TRUE(InstanceListening(name)) << "listening again with its handler";
}

TEST(SquattedNames, ACopyNamedTarnwickInAUserFolderIsNotTrusted) {
    const std::wstring name = L"TarnwickCopy" + std::to_wstring(GetCurrentProcessId());
    TempFolder folder;
    ASSERT_TRUE(CopyFileW((ExecutableFolder() + L"instance_squatter.exe").c_str(),
                          folder.File(L"Tarnwick.exe").c_str(), TRUE));
    Squatter squatter(name, folder.File(L"Tarnwick.exe"));
    ASSERT_TRUE(squatter.Window()) << "the copy did not start";
    EXPECT_FALSE(TrustedInstanceWindow(squatter.Window()));
    EXPECT_FALSE(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 200));
}

TEST(SquattedNames, AnElevatedStartTrustsOnlyAnElevatedInstance) {
    const std::wstring name = L"TarnwickLevel" + std::to_wstring(GetCurrentProcessId());
    TSingleInstance first(name);
    first.Listen([](TInstanceRequest) { return 0; });
    bool instanceElevated = false;
    std::vector<DWORD> asked;
    const ScopedSeam level(&SetInstanceElevatedFunction, [&](HANDLE process) {
        asked.push_back(GetProcessId(process));
        return instanceElevated;
    });
    bool callerElevated = true;
    const ScopedSeam caller(&SetProcessElevatedFunction, [&] { return callerElevated; });
    EXPECT_FALSE(InstanceListening(name));
    EXPECT_FALSE(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 100));
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), GetCurrentProcessId()) << "asked of another process than the window's";
    instanceElevated = true;
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 100), 0);
    // An unelevated start may ask any Tarnwick: it cannot trust less than itself.
    instanceElevated = false;
    callerElevated = false;
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 100), 0);
}

TEST(SingleInstance, AHungInstanceIsNotWaitedForAndSaidToGiveNoAnswer) {
    const std::wstring name = L"TarnwickHung" + std::to_wstring(GetCurrentProcessId());
    const ScopedHandle listening(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const ScopedHandle answered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread instance([&] {
        TSingleInstance first(name);
        first.Listen([](TInstanceRequest) { return 0; });
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        SetEvent(listening.Get());
        // Takes no message from now on: after five seconds Windows counts it as hung.
        WaitForSingleObject(answered.Get(), 20000);
    });
    if (WaitForSingleObject(listening.Get(), 5000) == WAIT_OBJECT_0) {
        Sleep(5500);
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 100),
                  InstanceNotAnswering);
        EXPECT_LT(GetTickCount64() - start, 3000u) << "waited for a hung instance";
    } else {
        ADD_FAILURE() << "the instance did not listen";
    }
    SetEvent(answered.Get());
    instance.join();
}

TEST(ElevatedRestart, RunsThisExeThroughRunasWithItsOwnOptionsAndTheSwitch) {
    EXPECT_EQ(ElevatedCopyParameters({}, L"A"), L"--switch=A");
    // Rebuilt from what was parsed: nothing of the caller's text reaches the elevated copy.
    const std::optional<TSimulationOptions> parsed = ParseSimulationOptions(
        L"\"C:\\Program Files\\Tarnwick\\Tarnwick.exe\" --simulate --switch=A "
        L"\"--exit-when-idle=C:\\a b\\f.txt\" --simulate-delay=20 \"x\\\"y\" /evil");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(ElevatedCopyParameters(*parsed, L"B"), L"--simulate --simulate-delay=20 --switch=B");

    std::vector<std::wstring> calls;
    std::vector<HWND> owners;
    BOOL started = FALSE;
    const ScopedSeam shell(&SetShellExecuteFunction, [&](SHELLEXECUTEINFOW* info) {
        calls.push_back(std::wstring(info->lpVerb) + L"|" + info->lpFile + L"|" +
                        info->lpParameters);
        owners.push_back(info->hwnd);
        return started;
    });
    // The prompt is owned by the window that asked, so it comes up in front of it.
    const HWND asking =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    EXPECT_FALSE(StartElevatedCopy({}, L"B", asking)) << "the prompt refused";
    started = TRUE;
    EXPECT_TRUE(StartElevatedCopy({}, L"A", asking));
    DestroyWindow(asking);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1], L"runas|" + Application().ExeName() + L"|--switch=A");
    EXPECT_EQ(owners, (std::vector<HWND>{asking, asking}));
}

TEST(ElevatedRestart, TheCopyInTheProgramFolderIsStartedByItsFullPathNotThroughTheShell) {
    const ScopedSeam shell(&SetShellExecuteFunction, [](SHELLEXECUTEINFOW*) {
        ADD_FAILURE() << "the shell looks the program up by association";
        return FALSE;
    });
    std::vector<std::wstring> created;
    const ScopedSeam create(&SetCreateProcessFunction,
                            [&](const std::wstring& application, const std::wstring& commandLine,
                                const std::wstring& folder) {
                                created = {application, commandLine, folder};
                                return true;
                            });
    const std::wstring exe = L"C:\\Program Files\\Tarnwick\\Tarnwick.exe";
    EXPECT_TRUE(StartProgram(exe, {true, 0, 91u}));
    EXPECT_EQ(created,
              (std::vector<std::wstring>{exe, L"\"" + exe + L"\" --simulate --simulate-answer=91",
                                         L"C:\\Program Files\\Tarnwick\\"}));
}

TEST(CommandLine, QuotedArgumentsReadBackAsTheyWere) {
    for (const std::wstring& arg :
         {std::wstring(L"plain"), std::wstring(), std::wstring(L"a b"), std::wstring(L"a\"b"),
          std::wstring(L"c d\\"), std::wstring(L"\\\\server\\share\\"), std::wstring(L"x\\\"y z"),
          std::wstring(L"以太网 2"), std::wstring(L"\"")}) {
        const std::vector<std::wstring> back = CommandLineArguments(
            L"x.exe " + QuotedArgument(arg) + L" " + QuotedArgument(arg, true) + L" end");
        EXPECT_EQ(back, (std::vector<std::wstring>{L"x.exe", arg, arg, L"end"})) << arg;
    }
    EXPECT_EQ(QuotedArgument(L"LAN", true), L"\"LAN\"");
}

TEST(Manifest, AsksForNoElevation) {
    // The program built beside this test program's folder, read as data.
    const std::wstring program = ExecutableFolder() + L"..\\src\\app\\Tarnwick.exe";
    const HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module) << "build Tarnwick";
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(found);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(bytes, SizeofResource(module, found));
    FreeLibrary(module);
    // The tray started at logon from the Run key must not ask: Windows would block it.
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    EXPECT_EQ(manifest.find("highestAvailable"), std::string::npos);
    EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos);
}

// The version Windows shows for the file (Explorer's properties, Programs and Features through
// the package): the project's, with a description in the user's language.
TEST(VersionInfo, IsTheProjectsVersionWithAChineseDescription) {
    const std::wstring program = ExecutableFolder() + L"..\\src\\app\\Tarnwick.exe";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "build Tarnwick";
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const unsigned numbers[] = {TARNWICK_VERSION_NUMBERS};
    EXPECT_EQ(fixed->dwFileVersionMS, numbers[0] << 16 | numbers[1]);
    EXPECT_EQ(fixed->dwFileVersionLS, numbers[2] << 16 | numbers[3]);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    const auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT chars = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + name;
        return VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &chars)
                   ? std::wstring(value)
                   : std::wstring();
    };
    EXPECT_EQ(text(L"FileVersion"), TARNWICK_VERSION_WIDE);
    EXPECT_EQ(text(L"ProductVersion"), TARNWICK_VERSION_WIDE);
    EXPECT_EQ(text(L"FileDescription"), L"Tarnwick 内网与外网 IP 设置切换");
    EXPECT_EQ(text(L"OriginalFilename"), L"Tarnwick.exe");
}

// The DLL names of the exe's import table (and of its delayed imports), read from the file as
// the loader reads them, before any line of the program runs.
std::vector<std::string> ImportedDlls(const std::wstring& path, bool delayed) {
    std::vector<std::string> names;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return names;
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    const auto at = [&bytes](size_t offset) { return bytes.data() + offset; };
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(at(0));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(at(dos->e_lfanew));
    const auto* sections = IMAGE_FIRST_SECTION(nt);
    const auto offsetOf = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i)
            if (rva >= sections[i].VirtualAddress &&
                rva < sections[i].VirtualAddress + sections[i].Misc.VirtualSize)
                return rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
        return 0;
    };
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[delayed ? IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT
                                                 : IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) return names;
    const size_t step =
        delayed ? sizeof(IMAGE_DELAYLOAD_DESCRIPTOR) : sizeof(IMAGE_IMPORT_DESCRIPTOR);
    for (size_t entry = offsetOf(directory.VirtualAddress); entry && entry < bytes.size();
         entry += step) {
        const DWORD name =
            delayed ? reinterpret_cast<const IMAGE_DELAYLOAD_DESCRIPTOR*>(at(entry))->DllNameRVA
                    : reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at(entry))->Name;
        if (!name) break;
        std::string dll = at(offsetOf(name));
        for (char& c : dll)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        names.push_back(dll);
    }
    return names;
}

TEST(ImportTable, NamesOnlyKnownDllsAndComctl32) {
    // Loaded before the program's first line restricts the search: each must be a KnownDLL,
    // which Windows takes from System32 whatever lies beside the exe, or comctl32, which the
    // manifest sends to WinSxS.
    const std::vector<std::string> allowed = {
        "kernel32.dll", "user32.dll",   "gdi32.dll",   "advapi32.dll", "ole32.dll",
        "oleaut32.dll", "shell32.dll",  "shlwapi.dll", "msvcrt.dll",   "comdlg32.dll",
        "imm32.dll",    "rpcrt4.dll",   "sechost.dll", "combase.dll",  "ws2_32.dll",
        "psapi.dll",    "setupapi.dll", "comctl32.dll"};
    const std::wstring program = ExecutableFolder() + L"..\\src\\app\\Tarnwick.exe";
    const std::vector<std::string> imported = ImportedDlls(program, false);
    ASSERT_FALSE(imported.empty()) << "build Tarnwick";
    EXPECT_NE(std::find(imported.begin(), imported.end(), "kernel32.dll"), imported.end());
    for (const std::string& dll : imported)
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), dll), allowed.end())
            << dll << " is no KnownDLL: one planted beside the exe would be loaded";
    EXPECT_TRUE(ImportedDlls(program, true).empty()) << "delayed imports are loaded by name";
}
} // namespace
