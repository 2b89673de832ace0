#pragma once
// The simulated provider installed for one test, with its two default adapters and a
// connection, a configuration query and an adapter query as the program places them.
#include <gtest/gtest.h>

#include "fakes/SimulatedWmi.h"
#include "wmi/WmiDataSet.h"

// A VT_ARRAY | VT_VARIANT of texts, as a caller passes several key values.
inline ScopedVariant TextArray(const std::vector<std::wstring>& texts) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(texts.size()), 0};
    ScopedSafeArray array(SafeArrayCreate(VT_VARIANT, 1, &bound));
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        ScopedVariant item(texts[static_cast<size_t>(i)]);
        SafeArrayPutElement(array.Get(), &i, item.Ptr());
    }
    ScopedVariant v;
    v.SetArray(array.Release(), VT_VARIANT);
    return v;
}

class SimulatedWmiTest : public ::testing::Test {
protected:
    SimulatedWmiTest() : Wmi(TSimulatedWmi::Install()) {
        Wmi.SetTwoAdapters();
        Wmi.ClearCalls();
        Configurations->SetConnection(Connection);
        Configurations->SetWQL(
            {L"select * from Win32_NetworkAdapterConfiguration", L"where IPEnabled = true"});
        Adapters->SetConnection(Connection);
        Adapters->SetWQL(
            {L"select * from Win32_NetworkAdapter", L"where AdapterType = 'Ethernet 802.3'"});
    }
    ~SimulatedWmiTest() override {
        Owner.DestroyComponents();
        Wmi.RemoveAddedClasses();
        TSimulatedWmi::Uninstall();
    }
    // A third adapter without addresses.
    void AddLoopback() {
        TSimAdapter loopback = Wmi.Adapters()[0];
        loopback.Index = 12;
        loopback.Description = L"Loopback";
        loopback.IPAddress.clear();
        loopback.IPv6Address.clear();
        loopback.IPv6Router.clear();
        Wmi.Adapters().push_back(loopback);
    }
    std::wstring Text(const wchar_t* field) {
        return Configurations->FieldByName(field)->AsString();
    }
    int Index() { return Configurations->FieldByName(L"Index")->AsInteger(); }

    TSimulatedWmi& Wmi;
    TComponent Owner;
    TWmiConnection* Connection = Owner.Own<TWmiConnection>();
    TWmiQuery* Configurations = Owner.Own<TWmiQuery>();
    TWmiQuery* Adapters = Owner.Own<TWmiQuery>();
};
