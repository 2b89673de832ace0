#include "sim/SimAdapterMethods.h"

#include <cwchar>
#include <cwctype>
#include <utility>

#include "framework/Application.h"
#include "sim/SimNetwork.h"
#include "sim/SimProvider.h"

namespace {
constexpr uint32_t Success = 0;
constexpr uint32_t RebootRequired = 1;
constexpr uint32_t InvalidSubnetMask = 66;
constexpr uint32_t InvalidInputParameter = 68;
constexpr uint32_t TooManyGateways = 69;
constexpr uint32_t InvalidIPAddress = 70;
constexpr uint32_t InvalidGateway = 71;
constexpr uint32_t UnableToConfigureDhcp = 81;
constexpr uint32_t IPNotEnabled = 84;
constexpr uint32_t InterfaceNotConfigurable = 97;

std::wstring ElementText(SAFEARRAY* array, LONG index) {
    return VariantToText(SimArrayElement(array, index).Get());
}

// The elements of a string array argument; raises for an argument that is not one.
std::vector<std::wstring> StringList(const TSimArgs& args, size_t i) {
    ScopedVariant value = args.Value(i);
    if (!(value.Type() & VT_ARRAY) || !value.Get().parray ||
        SafeArrayGetDim(value.Get().parray) != 1)
        throw SimError(WBEM_E_INVALID_PARAMETER);
    SAFEARRAY* array = value.Get().parray;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    std::vector<std::wstring> items;
    for (LONG at = low; at <= high; ++at)
        items.push_back(ElementText(array, at));
    return items;
}

} // namespace

bool SimIsAddress(const std::wstring& text, unsigned long* value) {
    unsigned long result = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != L'.') return false;
            ++at;
        }
        size_t end = at;
        while (end < text.size() && std::iswdigit(text[end]))
            ++end;
        if (end == at || end - at > 3) return false;
        const unsigned long number = std::wcstoul(text.substr(at, end - at).c_str(), nullptr, 10);
        if (number > 255) return false;
        result = result << 8 | number;
        at = end;
    }
    if (at != text.size()) return false;
    if (value) *value = result;
    return true;
}

bool SimIsMask(const std::wstring& text) {
    unsigned long mask = 0;
    if (!SimIsAddress(text, &mask) || mask == 0) return false;
    const unsigned long inverted = ~mask & 0xFFFFFFFFul;
    return (inverted & (inverted + 1)) == 0; // ones, then zeros
}

namespace {

// Checks the arguments; applies them when apply is true. Answers the method's own code.
uint32_t Perform(const std::wstring& method, TSimAdapter& a, const TSimArgs& args, bool apply,
                 const std::vector<TSimNetwork>& networks) {
    if (!a.IPEnabled) return IPNotEnabled;
    if (SameText(method, L"EnableDHCP")) {
        // Windows documents that EnableDHCP does not clear static default gateways: they stay
        // in DefaultIPGateway beside the one the lease brings.
        if (apply) {
            if (!a.DHCPEnabled) a.KeptStaticGateways = a.DefaultIPGateway;
            SimObtainLease(a, networks);
        }
        return Success;
    }
    if (SameText(method, L"EnableStatic")) {
        const std::vector<std::wstring> addresses = StringList(args, 0),
                                        masks = StringList(args, 1);
        if (addresses.empty() || addresses.size() != masks.size()) return InvalidInputParameter;
        for (const std::wstring& address : addresses)
            if (!SimIsAddress(address)) return InvalidIPAddress;
        for (const std::wstring& mask : masks)
            if (!SimIsMask(mask)) return InvalidSubnetMask;
        // Windows documents that EnableStatic on an adapter that is already static sets the
        // address and mask all the same and answers 81.
        const bool wasStatic = !a.DHCPEnabled;
        if (apply) {
            // A static adapter keeps its gateways; one leaving DHCP keeps only the static ones
            // EnableDHCP left behind, not the lease's.
            if (!wasStatic) {
                a.DefaultIPGateway = std::exchange(a.KeptStaticGateways, {});
                a.GatewayCostMetric.assign(a.DefaultIPGateway.size(), 1);
            }
            a.DHCPEnabled = false;
            a.DHCPServer.clear();
            a.DHCPLeaseObtained.clear();
            a.IPAddress = addresses;
            a.IPSubnet = masks;
        }
        return wasStatic ? UnableToConfigureDhcp : Success;
    }
    if (SameText(method, L"SetGateways")) {
        const std::vector<std::wstring> gateways = StringList(args, 0);
        std::vector<int> metrics;
        if (!args.Missing(1))
            for (const std::wstring& m : StringList(args, 1)) {
                // A metric that is no number is the caller's error, answered like any other.
                wchar_t* end = nullptr;
                const long metric = std::wcstol(m.c_str(), &end, 10);
                if (m.empty() || *end != L'\0' || metric < 0 || metric > 9999)
                    return InvalidInputParameter;
                metrics.push_back(static_cast<int>(metric));
            }
        if (gateways.size() > 5) return TooManyGateways;
        if (!metrics.empty() && metrics.size() != gateways.size()) return InvalidInputParameter;
        for (const std::wstring& gateway : gateways)
            if (!SimIsAddress(gateway)) return InvalidGateway;
        // Windows documents that SetGateways only works while the adapter is static; in DHCP
        // mode it changes nothing (answered here with 97, interface not configurable).
        if (a.DHCPEnabled) return InterfaceNotConfigurable;
        // The documented way to clear the gateways: the adapter's own static address.
        const bool clears =
            gateways.size() == 1 && !a.IPAddress.empty() && gateways[0] == a.IPAddress[0];
        if (apply && clears) {
            a.DefaultIPGateway.clear();
            a.GatewayCostMetric.clear();
        } else if (apply) {
            a.DefaultIPGateway = gateways;
            a.GatewayCostMetric = metrics.empty() ? std::vector<int>(gateways.size(), 1) : metrics;
        }
        return Success;
    }
    // SetDNSServerSearchOrder: no list (or an empty one) returns to servers obtained automatically.
    std::vector<std::wstring> servers;
    if (!args.Missing(0)) servers = StringList(args, 0);
    for (const std::wstring& server : servers)
        if (!SimIsAddress(server)) return InvalidIPAddress;
    if (apply) {
        if (servers.empty()) servers = SimAutomaticDns(a, networks);
        a.DNSServerSearchOrder = servers;
    }
    return Success;
}

} // namespace

TSimArgument SimArgumentShape(const VARIANT& argument) {
    TSimArgument shape;
    shape.Type = argument.vt;
    shape.ByRef = (argument.vt & VT_BYREF) != 0;
    ScopedVariant value;
    if (FAILED(VariantCopyInd(value.Ptr(), const_cast<VARIANT*>(&argument)))) return shape;
    const VARIANT& v = value.Get();
    if (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND) {
        shape.NotSupplied = true;
    } else if ((v.vt & VT_ARRAY) && v.parray) {
        shape.IsArray = true;
        SafeArrayGetVartype(v.parray, &shape.ElementType);
        shape.Dimensions = static_cast<int>(SafeArrayGetDim(v.parray));
        SafeArrayGetLBound(v.parray, 1, &shape.LowerBound);
        if (shape.Dimensions == 1) {
            LONG high = shape.LowerBound - 1;
            SafeArrayGetUBound(v.parray, 1, &high);
            for (LONG at = shape.LowerBound; at <= high; ++at)
                shape.Values.push_back(ElementText(v.parray, at));
        }
    } else if (ScopedVariant text; ConvertVariant(v, VT_BSTR, text) == S_OK) {
        // A null, or a value without text, is recorded with no value at all.
        shape.Values.push_back(VariantToText(text.Get()));
    }
    return shape;
}

ScopedVariant SimCallAdapterMethod(TSimRepository& repository, int adapterIndex,
                                   const std::wstring& method, const TSimArgs& args) {
    TSimCall call{adapterIndex, method, {}, 0, false, S_OK};
    for (size_t i = 0; i < args.Count(); ++i)
        call.Args.push_back(SimArgumentShape(args.Raw(i)));
    // Told before it acts, so a call that raises or never returns is seen all the same.
    TSimOutcome outcome = repository.Probe().MethodStarting(call);
    if (outcome.Kind == TSimOutcome::Perform && repository.Answer)
        outcome = {TSimOutcome::Answer, *repository.Answer};

    // Waits as a call into the WMI service does: the thread keeps dispatching its messages.
    if (repository.Delay) WaitDispatchingMessages(nullptr, repository.Delay);

    HRESULT error = S_OK;
    uint32_t code = Success;
    try {
        TSimAdapter* adapter = repository.FindAdapter(adapterIndex);
        if (outcome.Kind == TSimOutcome::Raise) {
            error = static_cast<HRESULT>(outcome.Code);
        } else if (!adapter) {
            error = SimError(WBEM_E_NOT_FOUND).Code;
        } else if (outcome.Kind == TSimOutcome::Answer) {
            // A code set by the test stands; the adapter changes only when it reports success.
            code = outcome.Code;
            if (code == Success || code == RebootRequired)
                Perform(method, *adapter, args, true, repository.Networks);
        } else {
            code = Perform(method, *adapter, args, false, repository.Networks);
            // 81 from EnableStatic is an answer of a change made.
            if (code == Success ||
                (code == UnableToConfigureDhcp && SameText(method, L"EnableStatic")))
                Perform(method, *adapter, args, true, repository.Networks);
        }
    } catch (const TSimError& e) {
        error = e.Code;
    }

    call.Result = FAILED(error) ? 0 : code;
    call.Raised = FAILED(error);
    call.Error = error;
    repository.Probe().MethodDone(call);
    // The user's log; writing it cannot fail the call.
    if (repository.Owner && repository.Owner->OnCall) repository.Owner->OnCall(call);
    if (repository.Owner && repository.Owner->OnAdapterChanged)
        if (const TSimAdapter* adapter = repository.FindAdapter(adapterIndex))
            repository.Owner->OnAdapterChanged(*adapter);
    if (FAILED(error)) throw TSimError{error};
    // WMI hands a uint32 to automation as VT_I4: the answer's bits, which callers read back as
    // unsigned.
    return ScopedVariant(static_cast<int>(code));
}
