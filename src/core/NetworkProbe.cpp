#include "core/NetworkProbe.h"

#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <cstdio>
#include <vector>

#include "core/ProfileCheck.h"
#include "framework/Strings.h"
#include "framework/SystemLibrary.h"

namespace {
class TDeafProbe : public INetworkProbe {
public:
    std::optional<std::wstring> GatewayHardwareAddress(const std::wstring&,
                                                       const std::wstring&) override {
        return std::nullopt;
    }
    std::optional<TDhcpLease> Lease(const std::wstring&) override { return std::nullopt; }
};
TDeafProbe Deaf;
INetworkProbe* Current = &Deaf;

// iphlpapi is no KnownDLL: loaded by name it could come from the exe's folder. Its functions
// are taken by address, so the import table does not name it either.
class TIpHelper {
public:
    TIpHelper() : FModule(LoadSystemLibrary(L"iphlpapi.dll")) {
        if (!FModule) return;
        Resolve = Function<decltype(&ResolveIpNetEntry2)>("ResolveIpNetEntry2");
        GuidToLuid = Function<decltype(&ConvertInterfaceGuidToLuid)>("ConvertInterfaceGuidToLuid");
        AdaptersInfo = Function<decltype(&GetAdaptersInfo)>("GetAdaptersInfo");
    }
    decltype(&ResolveIpNetEntry2) Resolve = nullptr;
    decltype(&ConvertInterfaceGuidToLuid) GuidToLuid = nullptr;
    decltype(&GetAdaptersInfo) AdaptersInfo = nullptr;

private:
    template <typename F> F Function(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(FModule, name)));
    }
    HMODULE FModule;
};

// Loaded once, by the first thread that asks; C++ makes that safe.
const TIpHelper& IpHelper() {
    static const TIpHelper helper;
    return helper;
}

// GetAdaptersInfo's texts: GUIDs and dotted addresses, ASCII.
std::wstring Widened(const char* text) {
    return Widen(text, CP_ACP);
}

class TIpHelperProbe : public INetworkProbe {
public:
    std::optional<std::wstring> GatewayHardwareAddress(const std::wstring& adapterGuid,
                                                       const std::wstring& gateway) override {
        const TIpHelper& api = IpHelper();
        const std::optional<uint32_t> address = ParseIPv4(gateway);
        GUID guid;
        if (!api.Resolve || !api.GuidToLuid || !address ||
            IIDFromString(adapterGuid.c_str(), &guid) != S_OK)
            return std::nullopt;
        MIB_IPNET_ROW2 row{};
        if (api.GuidToLuid(&guid, &row.InterfaceLuid) != NO_ERROR) return std::nullopt;
        row.Address.si_family = AF_INET;
        row.Address.Ipv4.sin_family = AF_INET;
        // In network order, written by hand: htonl would import ws2_32 for four bytes.
        auto* bytes = reinterpret_cast<unsigned char*>(&row.Address.Ipv4.sin_addr.s_addr);
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<unsigned char>(*address >> (24 - 8 * i));
        // It flushes the entry the cache holds and sends the request: a cache filled on the
        // network the cable was in before must not answer for this one.
        if (api.Resolve(&row, nullptr) != NO_ERROR || row.PhysicalAddressLength == 0)
            return std::nullopt;
        std::wstring text;
        for (ULONG i = 0; i < row.PhysicalAddressLength && i < IF_MAX_PHYS_ADDRESS_LENGTH; ++i) {
            wchar_t part[4];
            std::swprintf(part, 4, i ? L"-%02X" : L"%02X", row.PhysicalAddress[i]);
            text += part;
        }
        return text;
    }

    std::optional<TDhcpLease> Lease(const std::wstring& adapterGuid) override {
        const TIpHelper& api = IpHelper();
        if (!api.AdaptersInfo) return std::nullopt;
        ULONG size = 16 * 1024;
        std::vector<unsigned char> buffer;
        DWORD result = ERROR_BUFFER_OVERFLOW;
        for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
            buffer.resize(size);
            result = api.AdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
        }
        if (result != NO_ERROR) return std::nullopt;
        for (auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()); a; a = a->Next) {
            if (_wcsicmp(Widened(a->AdapterName).c_str(), adapterGuid.c_str()) != 0) continue;
            if (!a->DhcpEnabled) return std::nullopt;
            return TDhcpLease{Widened(a->IpAddressList.IpAddress.String),
                              Widened(a->DhcpServer.IpAddress.String),
                              Widened(a->GatewayList.IpAddress.String)};
        }
        return std::nullopt;
    }
};
} // namespace

INetworkProbe& NetworkProbe() {
    return *Current;
}

INetworkProbe* SetNetworkProbe(INetworkProbe* probe) {
    INetworkProbe* previous = Current == &Deaf ? nullptr : Current;
    Current = probe ? probe : &Deaf;
    return previous;
}

INetworkProbe& IpHelperProbe() {
    static TIpHelperProbe probe;
    return probe;
}
