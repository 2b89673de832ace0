#include "sim/SimNetsh.h"

#include <tlhelp32.h>

#include "framework/CommandLine.h"
#include "framework/MessageWindow.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"
#include "sim/SimAdapterMethods.h"
#include "sim/SimNetwork.h"
#include "sim/SimProvider.h"

namespace {
constexpr int Done = 0;
constexpr int Refused = 1;
// WM_COPYDATA's tag for a command line.
constexpr ULONG_PTR kNetshCommand = 0x4E455453; // "NETS"
const wchar_t kReceiverClass[] = L"TarnwickSimulatedNetsh";

TSimAdapter* ByConnection(std::vector<TSimAdapter>& adapters, const std::wstring& name) {
    for (TSimAdapter& a : adapters)
        if (a.IPEnabled && a.NetConnectionID == name) return &a;
    return nullptr;
}

// set address NAME dhcp | static ADDRESS MASK (GATEWAY METRIC | none)
int SetAddress(TSimAdapter& a, const std::vector<std::wstring>& args,
               const std::vector<TSimNetwork>& networks) {
    if (args.size() == 1 && args[0] == L"dhcp") {
        if (a.DHCPEnabled) return Refused; // "DHCP is already enabled on this interface."
        // netsh's dhcp takes the static configuration with it, gateways included.
        a.KeptStaticGateways.clear();
        SimObtainLease(a, networks);
        return Done;
    }
    const bool none = args.size() == 4 && args[3] == L"none";
    if (args.empty() || args[0] != L"static" || (args.size() != 5 && !none)) return Refused;
    if (!SimIsAddress(args[1]) || !SimIsMask(args[2])) return Refused;
    if (!none && !SimIsAddress(args[3])) return Refused;
    a.DHCPEnabled = false;
    a.DHCPServer.clear();
    a.DHCPLeaseObtained.clear();
    a.KeptStaticGateways.clear();
    a.IPAddress = {args[1]};
    a.IPSubnet = {args[2]};
    a.DefaultIPGateway = none ? std::vector<std::wstring>{} : std::vector{args[3]};
    a.GatewayCostMetric.assign(a.DefaultIPGateway.size(), 1);
    return Done;
}

// set dns NAME dhcp | static (SERVER | none) [validate=yes|no]; add dns NAME SERVER
// [validate=yes|no]. No server is contacted here, so either validation is the same.
int SetDns(TSimAdapter& a, bool add, std::vector<std::wstring> args,
           const std::vector<TSimNetwork>& networks) {
    if (!args.empty() && (args.back() == L"validate=no" || args.back() == L"validate=yes"))
        args.pop_back();
    if (add) {
        if (args.size() != 1 || !SimIsAddress(args[0])) return Refused;
        a.DNSServerSearchOrder.push_back(args[0]);
        return Done;
    }
    if (args.size() == 1 && args[0] == L"dhcp") {
        a.DNSServerSearchOrder = SimAutomaticDns(a, networks);
        return Done;
    }
    if (args.size() != 2 || args[0] != L"static") return Refused;
    if (args[1] == L"none") {
        a.DNSServerSearchOrder.clear();
        return Done;
    }
    if (!SimIsAddress(args[1])) return Refused;
    a.DNSServerSearchOrder = {args[1]};
    return Done;
}

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    TSimProvider* sim = TSimProvider::Installed();
    // Anything but a command line of whole characters is not ours.
    if (!sim || !data || data->dwData != kNetshCommand || data->cbData % sizeof(wchar_t) ||
        data->cbData > 4096)
        return Refused + 1;
    const std::wstring line(static_cast<const wchar_t*>(data->lpData),
                            data->cbData / sizeof(wchar_t));
    if (sim->OnNetshCommand) sim->OnNetshCommand(line);
    // The answer is the exit code plus one (0 is what SendMessage answers when nobody took it),
    // and above it the milliseconds the stand-in is to take: this thread must not wait them.
    const LRESULT code = SimApplyNetshCommand(sim->Adapters(), line, sim->Networks()) + 1;
    if (sim->OnAdapterChanged) {
        const std::vector<std::wstring> w = CommandLineArguments(line);
        if (const TSimAdapter* adapter =
                w.size() > 5 ? ByConnection(sim->Adapters(), w[5]) : nullptr)
            sim->OnAdapterChanged(*adapter);
    }
    return code | static_cast<LRESULT>(sim->Delay()) << 32;
}

// The process that started this one; none when it cannot be told.
std::optional<DWORD> ParentProcessId() {
    const ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return std::nullopt;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry))
        if (entry.th32ProcessID == GetCurrentProcessId()) return entry.th32ParentProcessID;
    return std::nullopt;
}

ULONGLONG CreationTime(HANDLE process) {
    FILETIME created{}, ended{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return ~0ULL;
    return ULARGE_INTEGER{{created.dwLowDateTime, created.dwHighDateTime}}.QuadPart;
}

// Whether the process runs this program file and began before this process.
bool RunsThisProgram(DWORD processId) {
    const ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return false;
    const std::wstring parent = ProcessImagePath(process.Get());
    return !parent.empty() && SameText(parent, ProcessImagePath(GetCurrentProcess())) &&
           CreationTime(process.Get()) <= CreationTime(GetCurrentProcess());
}
} // namespace

int SimApplyNetshCommand(std::vector<TSimAdapter>& adapters, const std::wstring& commandLine,
                         const std::vector<TSimNetwork>& networks) {
    const std::vector<std::wstring> w = CommandLineArguments(commandLine);
    // netsh interface ip (set|add) (address|dns) NAME ...
    if (w.size() < 7 || w[1] != L"interface" || w[2] != L"ip") return Refused;
    const bool set = w[3] == L"set", add = w[3] == L"add";
    TSimAdapter* adapter = ByConnection(adapters, w[5]);
    if ((!set && !add) || !adapter) return Refused; // "The filename ... is incorrect."
    const std::vector<std::wstring> args(w.begin() + 6, w.end());
    if (set && w[4] == L"address") return SetAddress(*adapter, args, networks);
    if (w[4] == L"dns") return SetDns(*adapter, add, args, networks);
    return Refused;
}

TSimNetshReceiver::TSimNetshReceiver()
    : FWindow(CreateMessageWindow(kReceiverClass, ReceiverProc)) {}

TSimNetshReceiver::~TSimNetshReceiver() {
    if (FWindow) DestroyWindow(FWindow);
}

HWND SimNetshReceiverOfParent(bool sameProgram) {
    const std::optional<DWORD> parent = ParentProcessId();
    if (!parent || (sameProgram && !RunsThisProgram(*parent))) return nullptr;
    for (HWND window = nullptr;
         (window = FindWindowExW(HWND_MESSAGE, window, kReceiverClass, nullptr));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == *parent) return window;
    }
    return nullptr;
}

std::optional<int> SimForwardNetshCommand(HWND receiver, const std::wstring& commandLine) {
    if (!receiver) return std::nullopt;
    COPYDATASTRUCT data{kNetshCommand, static_cast<DWORD>(commandLine.size() * sizeof(wchar_t)),
                        const_cast<wchar_t*>(commandLine.data())};
    DWORD_PTR answer = 0;
    // The instance serves its messages while it waits for this process.
    if (!SendMessageTimeoutW(receiver, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                             SMTO_ABORTIFHUNG, 30000, &answer) ||
        (answer & 0xFFFFFFFF) == 0)
        return std::nullopt;
    Sleep(static_cast<DWORD>(answer >> 32));
    return static_cast<int>((answer & 0xFFFFFFFF) - 1);
}
