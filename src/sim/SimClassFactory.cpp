#include "sim/SimClassFactory.h"

#include <objbase.h>

#include <new>

#include "framework/Automation.h"
#include "framework/ComObject.h"
#include "wbem/WbemScripting.h"
#include "sim/SimLocator.h"
#include "sim/SimNamedValues.h"
#include "sim/SimServices.h"

namespace {
bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// "winmgmts:[{security}[!]][\\server\namespace[:path] | namespace[:path] | path]"
ComPtr<TSimDispatch> BindMoniker(const std::shared_ptr<TSimRepository>& repository,
                                 const std::wstring& text) {
    if (const HRESULT error = repository->Probe().ServiceError(); FAILED(error))
        throw TSimError{error};
    if (!StartsWith(text, L"winmgmts:")) throw TSimError{MK_E_SYNTAX};
    std::wstring rest = text.substr(9);
    if (!rest.empty() && rest[0] == L'{') {
        const size_t close = rest.find(L'}');
        if (close == std::wstring::npos) throw TSimError{MK_E_SYNTAX};
        rest = rest.substr(close + 1);
        if (!rest.empty() && rest[0] == L'!') rest = rest.substr(1);
    }
    std::wstring server = L".";
    if (rest.rfind(L"\\\\", 0) == 0 || rest.rfind(L"//", 0) == 0) {
        const size_t end = rest.find_first_of(L"\\/", 2);
        server = rest.substr(2, end == std::wstring::npos ? std::wstring::npos : end - 2);
        rest = end == std::wstring::npos ? L"" : rest.substr(end + 1);
    }
    std::wstring nameSpace, path;
    const size_t colon = rest.find(L':');
    if (colon != std::wstring::npos) {
        nameSpace = rest.substr(0, colon);
        path = rest.substr(colon + 1);
    } else if (StartsWith(rest, L"root")) {
        nameSpace = rest;
    } else {
        path = rest;
    }
    if (!SimIsLocalServer(server)) throw TSimError{HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)};
    nameSpace = SimNamespace(nameSpace);
    if (nameSpace.empty()) throw SimError(WBEM_E_INVALID_NAMESPACE);
    if (!path.empty()) return SimGetObject(repository, nameSpace, path, 0);
    return MakeSimServices(repository, nameSpace);
}

// The class object of one registration. The moniker's also parses display names: COM asks it
// for IParseDisplayName when a "winmgmts:" name is parsed.
class TSimClassFactory : public TComObject<IClassFactory, IParseDisplayName> {
public:
    enum TKind { Moniker, Locator, NamedValueSet };
    TSimClassFactory(std::shared_ptr<TSimRepository> repository, TKind kind)
        : FRepository(std::move(repository)), FKind(kind) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        // Making an object allocates, and nothing may throw out of a COM method.
        try {
            ComPtr<TSimDispatch> created = FKind == Locator ? MakeSimLocator(FRepository)
                                           : FKind == NamedValueSet
                                               ? MakeSimNamedValueSet()
                                               : MakeSimServices(FRepository, L"root\\cimv2");
            return created->QueryInterface(iid, object);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR name, ULONG* eaten,
                                  IMoniker** moniker) override {
        if (!name || !eaten || !moniker) return E_POINTER;
        *eaten = 0;
        *moniker = nullptr;
        // Parsing is the step of every bind that reaches the provider; the moniker answers the
        // object it wraps from then on.
        try {
            const std::wstring text = name;
            FRepository->Probe().MonikerBound(text);
            ComPtr<TSimDispatch> object = BindMoniker(FRepository, text);
            const HRESULT hr = CreatePointerMoniker(static_cast<IDispatch*>(object.Get()), moniker);
            if (SUCCEEDED(hr)) *eaten = static_cast<ULONG>(text.size());
            return hr;
        } catch (const TSimError& e) {
            return e.Code;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

protected:
    // Only the moniker's parses display names.
    void* Interface(REFIID iid) override {
        if (iid == IID_IParseDisplayName && FKind != Moniker) return nullptr;
        return TComObject::Interface(iid);
    }

private:
    std::shared_ptr<TSimRepository> FRepository;
    TKind FKind;
};
} // namespace

std::vector<DWORD> SimRegisterClassObjects(const std::shared_ptr<TSimRepository>& repository) {
    const std::pair<GUID, TSimClassFactory::TKind> classes[] = {
        {kClsidWbemMoniker, TSimClassFactory::Moniker},
        {kClsidSWbemLocator, TSimClassFactory::Locator},
        {kClsidSWbemNamedValueSet, TSimClassFactory::NamedValueSet},
    };
    std::vector<DWORD> cookies;
    for (const auto& [clsid, kind] : classes) {
        ComPtr<IClassFactory> factory(new TSimClassFactory(repository, kind));
        DWORD cookie = 0;
        const HRESULT hr = CoRegisterClassObject(clsid, factory.Get(), CLSCTX_INPROC_SERVER,
                                                 REGCLS_MULTIPLEUSE, &cookie);
        if (FAILED(hr)) {
            SimRevokeClassObjects(cookies);
            ComCheck(hr);
        }
        cookies.push_back(cookie);
    }
    return cookies;
}

void SimRevokeClassObjects(const std::vector<DWORD>& cookies) {
    for (DWORD cookie : cookies)
        CoRevokeClassObject(cookie);
}
