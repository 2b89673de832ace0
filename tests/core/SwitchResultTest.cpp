// What a switch comes to and why: both engines against the simulated adapters and the stand-in
// netsh, with NET/Adapter limiting them to one adapter.
#include <gtest/gtest.h>

#include <windows.h>

#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "core/WmiEngine.h"
#include "fakes/SimulatedWmi.h"
#include "framework/Strings.h"
#include "support/TempFolder.h"
#include "wmi/WmiException.h"

namespace {

const HRESULT kFailed = static_cast<HRESULT>(0x80041001);       // WBEM_E_FAILED
const HRESULT kAccessDenied = static_cast<HRESULT>(0x80041003); // WBEM_E_ACCESS_DENIED

class SwitchResult : public ::testing::Test {
protected:
    void SetUp() override {
        // Adapter 1: static 192.168.1.20/24, "本地连接"; adapter 8: DHCP, "本地连接 2".
        sim = &TSimulatedWmi::Install();
        OpenSettingsAt(folder.File(L"Config.ini"));
        SetNetshProgram(ExecutableFolder() + L"fakes\\netsh\\netsh.exe");
        SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_LOG", folder.File(L"netsh.log").c_str());
        SetProcessElevatedFunction([this] { return elevated; });
    }
    void TearDown() override {
        TSimulatedWmi::Uninstall();
        SetNetshProgram(L"");
        SetProcessElevatedFunction(nullptr);
        for (const wchar_t* name : {L"TARNWICK_FAKE_NETSH_LOG", L"TARNWICK_FAKE_NETSH_EXIT",
                                    L"TARNWICK_FAKE_NETSH_DELAY_MS"})
            SetEnvironmentVariableW(name, nullptr);
    }
    void Config(const std::string& text) { folder.WriteBytes(L"Config.ini", text); }
    std::wstring NetshLog() {
        const std::wstring log = FromUtf8(folder.ReadBytes(L"netsh.log"));
        DeleteFileW(folder.File(L"netsh.log").c_str());
        return log;
    }
    std::vector<int> AdaptersCalled() const {
        std::vector<int> indexes;
        for (const TSimCall& call : sim->Calls())
            if (std::find(indexes.begin(), indexes.end(), call.AdapterIndex) == indexes.end())
                indexes.push_back(call.AdapterIndex);
        return indexes;
    }

    TempFolder folder;
    TSimulatedWmi* sim = nullptr;
    bool elevated = true;
};

// Windows' netsh exits 1 when the adapter already is as asked ("DHCP is already enabled on this
// interface."); Wine's netsh does not, so the stand-in is told to.
TEST_F(SwitchResult, NetshExitOneSucceedsOnlyWhenTheAdapterAlreadyShowsTheProfile) {
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_EXIT", L"1");
    Config("[NET]\r\nMethod=B\r\n[A]\r\nDHCPEnabled=1\r\n"
           "[B]\r\nIPAddress=192.168.1.20\r\nIPSubnet=255.255.255.0\r\n"
           "DefaultIPGateway=192.168.1.1\r\nDNSA=192.168.1.1\r\nDNSB=192.168.1.2\r\n");
    const TSwitchResult dhcp = SwitchProfile(L"A", L"本地连接 2");
    EXPECT_FALSE(dhcp.Failed) << dhcp.Cause;
    EXPECT_EQ(dhcp.Code, 0);
    const TSwitchResult same = SwitchProfile(L"B", L"本地连接");
    EXPECT_FALSE(same.Failed) << same.Cause;
    EXPECT_FALSE(NetshLog().empty());

    // Not in place: adapter 1 is static, adapter 8 has another address.
    for (const wchar_t* profile : {L"A", L"B"}) {
        const TSwitchResult result =
            SwitchProfile(profile, profile == std::wstring(L"A") ? L"本地连接" : L"本地连接 2");
        EXPECT_TRUE(result.Failed) << profile;
        EXPECT_EQ(result.Code, 1) << profile;
        EXPECT_EQ(result.Cause, L"netsh 返回 1") << profile;
    }
    // The DNS servers count in their order.
    sim->Adapters()[0].DNSServerSearchOrder = {L"192.168.1.2", L"192.168.1.1"};
    EXPECT_EQ(SwitchProfile(L"B", L"本地连接").Cause, L"netsh 返回 1");
    // No adapter of that name: nothing confirms the command.
    EXPECT_TRUE(SwitchProfile(L"A", L"没有这个连接").Failed);
}

TEST_F(SwitchResult, RestartAnswerIsSuccessAndTheGatewayIsStillSent) {
    Config("[A]\r\nIPAddress=10.0.0.5\r\nDefaultIPGateway=10.0.0.1\r\nDNSEnabled=1\r\n");
    sim->SetResult(L"EnableStatic", 1);
    const TSwitchResult result = SwitchProfile(L"A", L"");
    EXPECT_FALSE(result.Failed);
    EXPECT_TRUE(result.RestartNeeded());
    int gateways = 0;
    for (const TSimCall& call : sim->Calls())
        gateways += call.Method == L"SetGateways";
    EXPECT_EQ(gateways, 2);

    // A later failure is still a failure.
    sim->SetResult(L"SetDNSServerSearchOrder", 70, 8);
    const TSwitchResult failed = SwitchProfile(L"A", L"");
    EXPECT_TRUE(failed.Failed);
    EXPECT_EQ(failed.Code, 70);
    EXPECT_EQ(failed.Cause, L"Invalid IP address");
}

TEST_F(SwitchResult, AnswerCausesComeFromTheMethodsQualifiersOrTheNumber) {
    Config("[A]\r\nIPAddress=10.0.0.5\r\nDNSEnabled=1\r\n");
    const struct {
        long Answer;
        bool Elevated;
        std::wstring Cause;
    } cases[] = {
        {66, true, L"Invalid subnet mask"},
        {66, false, L"Invalid subnet mask"},
        {2, true, L"2"}, // no description for it
        {91, true, L"Access denied"},
        {91, false, L"需要以管理员身份运行 Tarnwick。"},
    };
    for (const auto& c : cases) {
        sim->SetResult(L"EnableStatic", c.Answer);
        elevated = c.Elevated;
        const TSwitchResult result = SwitchProfile(L"A", L"");
        EXPECT_TRUE(result.Failed) << c.Answer;
        EXPECT_EQ(result.Code, c.Answer);
        EXPECT_EQ(result.Cause, c.Cause) << c.Answer << " elevated " << c.Elevated;
    }
    // The first failure met is the one told, whatever follows it.
    sim->ResetBehaviour();
    sim->SetResult(L"EnableStatic", 66, 1);
    sim->SetResult(L"EnableStatic", 70, 8);
    EXPECT_EQ(SwitchProfile(L"A", L"").Cause, L"Invalid subnet mask");
}

TEST_F(SwitchResult, RaisedErrorsAreToldByTheirTextOrAsAMissingElevation) {
    Config("[A]\r\nIPAddress=10.0.0.5\r\nDNSEnabled=1\r\n");
    sim->SetRaise(L"EnableStatic", kFailed);
    TSwitchResult result = SwitchProfile(L"A", L"");
    EXPECT_EQ(result.Code, -1);
    EXPECT_EQ(result.Cause, WmiErrorText(kFailed));

    sim->SetRaise(L"EnableStatic", kAccessDenied);
    EXPECT_EQ(SwitchProfile(L"A", L"").Cause, WmiErrorText(kAccessDenied));
    elevated = false;
    EXPECT_EQ(SwitchProfile(L"A", L"").Cause, NotElevatedCause);
    sim->SetRaise(L"EnableStatic", kFailed);
    EXPECT_EQ(SwitchProfile(L"A", L"").Cause, WmiErrorText(kFailed));
}

TEST_F(SwitchResult, NetshCausesTellWhatWentWrong) {
    Config("[NET]\r\nMethod=B\r\n[A]\r\nIPAddress=10.0.0.5\r\nIPSubnet=255.0.0.0\r\n");
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_EXIT", L"0,5");
    TSwitchResult result = SwitchProfile(L"A", L"本地连接");
    EXPECT_EQ(result.Code, 5);
    EXPECT_EQ(result.Cause, L"netsh 返回 5");

    SetNetshProgram(folder.File(L"missing\\netsh.exe"));
    result = SwitchProfile(L"A", L"本地连接");
    EXPECT_EQ(result.Code, -1);
    EXPECT_EQ(result.Cause, L"netsh 无法启动");
    SetNetshProgram(ExecutableFolder() + L"fakes\\netsh\\netsh.exe");

    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_DELAY_MS", L"20000");
    const TNetshRun hung = RunNetsh(L"netsh interface ip show config", 300);
    EXPECT_EQ(hung.Kind, TNetshRun::TimedOut);
    EXPECT_EQ(NetshCause(hung), L"netsh 超时");
}

TEST_F(SwitchResult, AdapterKeyLimitsBothEnginesToThatAdapter) {
    Config("[A]\r\nIPAddress=10.0.0.5\r\nDNSEnabled=1\r\n");
    EXPECT_FALSE(SwitchProfile(L"A", L"").Failed);
    EXPECT_EQ(AdaptersCalled(), (std::vector<int>{1, 8})) << "empty: every IP-enabled adapter";

    sim->ClearCalls();
    sim->SetDefaultAdapters();
    Config("[NET]\r\nAdapter=8\r\n[A]\r\nIPAddress=10.0.0.5\r\nDNSEnabled=1\r\n");
    EXPECT_FALSE(SwitchProfile(L"A", L"").Failed);
    EXPECT_EQ(AdaptersCalled(), std::vector<int>{8});
    EXPECT_EQ(sim->Adapters()[0].IPAddress, std::vector<std::wstring>{L"192.168.1.20"});

    // netsh is told adapter 8's connection, not the one the window looked up.
    Config("[NET]\r\nAdapter=8\r\nMethod=B\r\n[A]\r\nDHCPEnabled=1\r\n");
    EXPECT_FALSE(SwitchProfile(L"A", L"本地连接").Failed);
    EXPECT_EQ(NetshLog(), L"netsh interface ip set address \"本地连接 2\" dhcp \r\n"
                          L"netsh interface ip set dns \"本地连接 2\" dhcp \r\n");

    // An adapter that is not there: nothing is touched by either engine.
    for (const char* method : {"", "B"}) {
        sim->ClearCalls();
        Config(std::string("[NET]\r\nAdapter=5\r\nMethod=") + method +
               "\r\n[A]\r\nIPAddress=10.0.0.5\r\n");
        const TSwitchResult result = SwitchProfile(L"A", L"本地连接");
        EXPECT_TRUE(result.Failed) << method;
        EXPECT_EQ(result.Cause, L"找不到指定的网卡 5") << method;
        EXPECT_TRUE(sim->Calls().empty()) << method;
        EXPECT_EQ(NetshLog(), L"") << method;
    }
}

} // namespace
