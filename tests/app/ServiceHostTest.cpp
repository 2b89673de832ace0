// The program as Wine's own service control manager starts and stops it: running once its pipe
// serves, and stopped within two seconds whatever its clients and its adapters do.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <future>
#include <thread>

#include "app/MainWindow.h"
#include "core/ServiceNames.h"
#include "core/ServicePipe.h"
#include "core/Settings.h"
#include "core/WmiEngine.h"
#include "fakes/SimulatedWmi.h"
#include "framework/IniFile.h"
#include "support/MessageBoxes.h"
#include "support/Seams.h"
#include "widgets/TrayIcon.h"
#include "framework/CommandLine.h"
#include "framework/Scoped.h"
#include "support/BuiltProgram.h"
#include "support/DemoNetworks.h"
#include "support/Pumping.h"
#include "support/TempFolder.h"

namespace {

using ScopedService = ScopedWin32<NullInvalidTraits<SC_HANDLE, &CloseServiceHandle>>;

// The simulated service made from the built program in a folder of its own, removed again
// whatever the test did.
class ServiceHost : private TWatchdog, public ::testing::Test {
protected:
    ServiceHost() : TWatchdog(120) {}
    ~ServiceHost() override {
        if (!service) return;
        SERVICE_STATUS status{};
        ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
        WaitFor(SERVICE_STOPPED, 5000);
        DeleteService(service.Get());
    }

    void Create(const std::wstring& options) {
        ASSERT_TRUE(manager) << GetLastError();
        ASSERT_TRUE(
            CopyFileW(BuiltTarnwick().c_str(), folder.File(L"Tarnwick.exe").c_str(), FALSE));
        folder.WriteBytes(L"Config.ini", kDemoProfiles);
        // One left by a run that was cut off goes first.
        if (const ScopedService old{
                OpenServiceW(manager.Get(), ServiceName(true).c_str(), SERVICE_ALL_ACCESS)}) {
            SERVICE_STATUS status{};
            ControlService(old.Get(), SERVICE_CONTROL_STOP, &status);
            DeleteService(old.Get());
        }
        const std::wstring path =
            QuotedArgument(folder.File(L"Tarnwick.exe"), true) + L" " + options + L" --service";
        service = ScopedService(CreateServiceW(
            manager.Get(), ServiceName(true).c_str(), L"Tarnwick", SERVICE_ALL_ACCESS,
            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path.c_str(),
            nullptr, nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(service) << GetLastError();
    }
    SERVICE_STATUS_PROCESS Status() {
        SERVICE_STATUS_PROCESS status{};
        DWORD size = 0;
        QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                             reinterpret_cast<BYTE*>(&status), sizeof status, &size);
        return status;
    }
    bool WaitFor(DWORD state, DWORD limitMs) {
        const ULONGLONG until = GetTickCount64() + limitMs;
        while (Status().dwCurrentState != state) {
            if (GetTickCount64() >= until) return false;
            Sleep(20);
        }
        return true;
    }

    TempFolder folder;
    ScopedService manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    ScopedService service;
};

TEST_F(ServiceHost, RunsOnceItServesAndStopsWithinTwoSecondsDuringASwitchAndWithClients) {
    // Every adapter method takes 20 s: a switch asked for is still waiting on the adapter.
    ASSERT_NO_FATAL_FAILURE(Create(L"--simulate --simulate-delay=20000"));
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(StartServiceW(service.Get(), 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitFor(SERVICE_RUNNING, 10000));
    EXPECT_LT(GetTickCount64() - start, 3000u) << "running within a moment";
    const DWORD pid = Status().dwProcessId;
    const auto state = AskService(TServiceRequestKind::State, 5000, ServicePipeNameOf(true), pid);
    ASSERT_TRUE(state) << "served by the service's own process";
    EXPECT_EQ(ServiceText(state->NameB), L"Outer");

    // One client connected and silent, one waiting for a change, one waiting for its switch.
    const ScopedHandle idle(CreateFileW(ServicePipeNameOf(true).c_str(),
                                        GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
    EXPECT_TRUE(idle);
    auto waiting = std::async(std::launch::async, [] {
        return AskService(TServiceRequestKind::WaitForChange, 30000, ServicePipeNameOf(true));
    });
    auto switching = std::async(std::launch::async, [] {
        return AskService(TServiceRequestKind::SwitchToB, 30000, ServicePipeNameOf(true));
    });
    Sleep(1000);

    const ScopedHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    SERVICE_STATUS status{};
    const ULONGLONG stop = GetTickCount64();
    ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
    EXPECT_TRUE(WaitFor(SERVICE_STOPPED, 2000)) << "stopped within two seconds";
    ASSERT_TRUE(process);
    EXPECT_EQ(WaitForSingleObject(process.Get(), 2000), WAIT_OBJECT_0) << "and its process ended";
    EXPECT_LT(GetTickCount64() - stop, 2500u);
    // Its clients learn that it went: none is left waiting.
    EXPECT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(switching.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST_F(ServiceHost, StartedByAnythingButTheServiceManagerItSaysSoAndEnds) {
    // The box is the program's only answer here; the test answers it by its window's title.
    std::atomic<bool> over = false;
    std::thread closer([&] {
        while (!over) {
            if (const HWND box = FindWindowW(L"#32770", L"Tarnwick"))
                PostMessageW(box, WM_CLOSE, 0, 0);
            Sleep(50);
        }
    });
    EXPECT_EQ(RunCopyUntilEnd(folder, L"Tarnwick.exe --simulate --service"), 2);
    over = true;
    closer.join();
}

TEST_F(ServiceHost, AStandardUsersTraySwitchesThroughTheServiceAndHearsWhatItDidByItself) {
    ASSERT_NO_FATAL_FAILURE(Create(L"--simulate"));
    ASSERT_TRUE(StartServiceW(service.Get(), 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitFor(SERVICE_RUNNING, 10000));

    // The tray of a standard user, with simulated adapters of its own that nothing may touch.
    TSimulatedWmi& sim = TSimulatedWmi::Install();
    sim.SetTwoAdapters();
    sim.ClearCalls();
    // Its own Config.ini, beside the test program, says nothing of the profiles.
    TempFolder tray;
    tray.WriteBytes(L"Config.ini", "[NET]\r\nNET=A\r\nAutoSwitch=1\r\n");
    OpenSettingsAt(tray.File(L"Config.ini"));
    const ScopeExit settingsBack([] { OpenSettings(); });
    const ScopedSeam notElevated(&SetProcessElevatedFunction, [] { return false; });
    std::vector<std::wstring> boxes;
    const auto recorder = RecordMessageBoxes(boxes);
    std::vector<std::wstring> balloons;
    const ScopedSeam balloonsOnly(&TTrayIcon::SetNotifyIconFunction,
                                  [&](DWORD, NOTIFYICONDATAW* data) {
                                      if ((data->uFlags & NIF_INFO) && data->szInfo[0])
                                          balloons.push_back(data->szInfo);
                                      return TRUE;
                                  });
    TComponent owner;
    auto* window = owner.Own<TfrmMainWindow>(true);
    ASSERT_TRUE(window->Served());
    EXPECT_NE(window->AANetA->Caption().find(L"√"), std::wstring::npos);
    EXPECT_EQ(window->TrayHint(), L"Inner") << "the service's names, and it watches the network";

    window->AANetADblClick(window->AANetB);
    EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? L"" : boxes.front()) << " (no prompt either)";
    EXPECT_NE(window->AANetB->Caption().find(L"√"), std::wstring::npos);
    EXPECT_TRUE(sim.Calls().empty()) << "the tray called no adapter method";
    EXPECT_EQ(TIniFile(folder.File(L"Config.ini")).ReadString(L"NET", L"NET", L""), L"B");
    EXPECT_NE(folder.ReadBytes(L"simulated-network.log").find("EnableDHCP"), std::string::npos);

    // The cable moved into 内网: the service switches, and the tray says so.
    EXPECT_EQ(RunCopyUntilEnd(folder, L"Tarnwick.exe --simulate-cable=unplug"), 0);
    EXPECT_EQ(RunCopyUntilEnd(folder, L"Tarnwick.exe --simulate-cable=plug:内网"), 0);
    EXPECT_TRUE(PumpUntil([&] { return !balloons.empty(); }, 40000));
    EXPECT_EQ(balloons, std::vector<std::wstring>{L"网络切换到：\rInner"});
    EXPECT_NE(window->AANetA->Caption().find(L"√"), std::wstring::npos);
    EXPECT_TRUE(sim.Calls().empty());
    owner.DestroyComponents();
    TSimulatedWmi::Uninstall();
}

} // namespace
