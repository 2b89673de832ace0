#pragma once
// The simulated WMI provider as the program reaches it: through the winmgmts moniker and the
// locator, late-bound, with the argument shapes the switching engine uses. The provider is
// installed afresh for every test, through the test layer.
#include <gtest/gtest.h>
#include <thread>
#include <objbase.h>
#include <wrl/client.h>

#include "fakes/SimulatedWmi.h"
#include "framework/Automation.h"
#include "wbem/WbemScripting.h"
#include "sim/SimDispatch.h"

using Microsoft::WRL::ComPtr;

class SimulatedWmiTest : public ::testing::Test {
protected:
    void SetUp() override {
        Wmi = &TSimulatedWmi::Install();
        Wmi->SetTwoAdapters();
        Wmi->ResetBehaviour();
        Wmi->ClearCalls();
        Wmi->OnCall = nullptr;
    }
    void TearDown() override { TSimulatedWmi::Uninstall(); }

    // The way the switching engine reaches the services: through the winmgmts moniker.
    static ComPtr<IDispatch> BindServices(const wchar_t* name = L"winmgmts:\\\\.\\root\\cimv2") {
        return BindObject(name);
    }

    // Every object of an ExecQuery, through _NewEnum as IEnumVARIANT.
    static std::vector<ComPtr<IDispatch>> Objects(IDispatch* set) {
        ScopedVariant newEnum = GetProperty(set, L"_NewEnum");
        ComPtr<IEnumVARIANT> enumerator;
        ComCheck(newEnum.Get().punkVal->QueryInterface(IID_PPV_ARGS(&enumerator)));
        std::vector<ComPtr<IDispatch>> objects;
        for (;;) {
            ScopedVariant item;
            ULONG fetched = 0;
            const HRESULT hr = enumerator->Next(1, item.Receive(), &fetched);
            ComCheck(hr);
            if (hr != S_OK) break;
            EXPECT_EQ(VT_DISPATCH, item.Type());
            objects.emplace_back(item.Get().pdispVal);
        }
        return objects;
    }

    static std::vector<ComPtr<IDispatch>> Query(IDispatch* services, const std::wstring& wql) {
        ScopedVariant text(wql);
        ScopedVariant set = CallMethod(services, L"ExecQuery", {text.Get()});
        return Objects(set.Get().pdispVal);
    }

    static std::wstring Text(IDispatch* object, const wchar_t* name) {
        ScopedVariant v = GetProperty(object, name);
        if (v.Type() == VT_NULL) return L"<null>";
        ScopedVariant text;
        ComCheck(ConvertVariant(v.Get(), VT_BSTR, text));
        return VariantToText(text.Get());
    }

    static std::vector<std::wstring> List(IDispatch* object, const wchar_t* name) {
        ScopedVariant v = GetProperty(object, name);
        if (v.Type() == VT_NULL) return {};
        EXPECT_EQ(VT_ARRAY | VT_VARIANT, v.Type());
        return SafeArrayStrings(v.Get().parray);
    }

    static HRESULT ErrorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const EComError& e) {
            return e.Code();
        }
        return S_OK;
    }

    // The engine's argument form: a string array with lower bound 1 held in a variant, passed
    // by reference.
    struct TArrayArg {
        explicit TArrayArg(const std::vector<std::wstring>& items) {
            Held.SetArray(ScopedSafeArray::OfStrings(items, 1).Release(), VT_BSTR);
        }
        VARIANT Ref() { return RefTo(*Held.Ptr()); }
        ScopedVariant Held;
    };

    // Calls a method of the first IP-enabled configuration whose Index is given.
    long CallOn(int index, const std::wstring& method, std::initializer_list<VARIANT> args = {}) {
        ComPtr<IDispatch> services = BindServices();
        for (auto& object :
             Query(services.Get(),
                   L"select * from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE"))
            if (GetProperty(object.Get(), L"Index").Get().lVal == index)
                return CallMethod(object.Get(), method, args).Get().lVal;
        ADD_FAILURE() << "no adapter " << index;
        return -1;
    }

    static ComPtr<IDispatch> Create(const GUID& clsid, const GUID& iid) {
        ComPtr<IDispatch> object;
        ComCheck(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                  reinterpret_cast<void**>(object.GetAddressOf())));
        return object;
    }

    static ComPtr<IDispatch> Connect(IDispatch* locator, const std::wstring& server,
                                     const std::wstring& nameSpace, const std::wstring& user = L"",
                                     IDispatch* context = nullptr) {
        ScopedVariant s(server), n(nameSpace), u(user), p(L"secret"), l(L"MS_409"), a(L""), f(0);
        // No context is passed as Nothing, as a script passes it.
        ScopedVariant c;
        c.Ptr()->vt = VT_DISPATCH;
        c.Ptr()->pdispVal = context;
        if (context) context->AddRef();
        ScopedVariant services =
            CallMethod(locator, L"ConnectServer",
                       {s.Get(), n.Get(), u.Get(), p.Get(), l.Get(), a.Get(), f.Get(), c.Get()});
        return ComPtr<IDispatch>(services.Get().pdispVal);
    }

    static ComPtr<IDispatch> Object(IDispatch* from, const wchar_t* name,
                                    std::initializer_list<VARIANT> args = {}) {
        ScopedVariant v = GetProperty(from, name, args);
        return v.Type() == VT_DISPATCH ? ComPtr<IDispatch>(v.Get().pdispVal) : nullptr;
    }

    static std::vector<std::wstring> Names(IDispatch* set) {
        std::vector<std::wstring> names;
        for (auto& item : Objects(set))
            names.push_back(Text(item.Get(), L"Name"));
        return names;
    }

    TSimulatedWmi* Wmi = nullptr;
};
