#include "fakes/SimulatedWmi.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "framework/Exception.h"
#include "sim/SimDispatch.h"
#include "framework/Strings.h"

namespace {
TSimulatedWmi* GInstalled = nullptr;
} // namespace

TSimulatedWmi::TSimulatedWmi(TSimProvider& provider) : FProvider(provider) {
    FProvider.SetProbe(this);
}

TSimulatedWmi::~TSimulatedWmi() {
    FProvider.SetProbe(nullptr);
}

TSimulatedWmi& TSimulatedWmi::Install() {
    if (!GInstalled) GInstalled = new TSimulatedWmi(TSimProvider::Install());
    return *GInstalled;
}

void TSimulatedWmi::Uninstall() {
    delete std::exchange(GInstalled, nullptr);
    TSimProvider::Uninstall();
}

TSimulatedWmi* TSimulatedWmi::Installed() {
    return GInstalled;
}

void TSimulatedWmi::SetResult(const std::wstring& method, uint32_t code, int adapterIndex) {
    Set(method, adapterIndex, {TSimOutcome::Answer, code});
}

void TSimulatedWmi::SetRaise(const std::wstring& method, HRESULT error, int adapterIndex) {
    Set(method, adapterIndex, {TSimOutcome::Raise, static_cast<uint32_t>(error)});
}

void TSimulatedWmi::Set(const std::wstring& method, int adapterIndex, TSimOutcome outcome) {
    for (TSetting& s : FSettings)
        if (SameText(s.Method, method) && s.AdapterIndex == adapterIndex) {
            s.Outcome = outcome;
            return;
        }
    FSettings.push_back({method, adapterIndex, outcome});
}

void TSimulatedWmi::SetQueryError(const std::wstring& className, HRESULT error) {
    std::erase_if(FQueryErrors, [&](const auto& e) { return SameText(e.first, className); });
    if (error != S_OK) FQueryErrors.emplace_back(className, error);
}

HRESULT TSimulatedWmi::QueryError(const std::wstring& className) {
    for (const auto& [name, error] : FQueryErrors)
        if (SameText(name, className)) return error;
    return S_OK;
}

void TSimulatedWmi::SetNotificationQueryError(const std::wstring& query, HRESULT error) {
    std::lock_guard guard(FNotificationLock);
    std::erase_if(FNotificationQueryErrors, [&](const auto& e) { return e.first == query; });
    if (error != S_OK) FNotificationQueryErrors.emplace_back(query, error);
}

HRESULT TSimulatedWmi::NotificationQueryError(const std::wstring& query) {
    std::lock_guard guard(FNotificationLock);
    for (const auto& [text, error] : FNotificationQueryErrors)
        if (text == query) return error;
    return S_OK;
}

void TSimulatedWmi::ResetBehaviour() {
    {
        std::lock_guard guard(FNotificationLock);
        FNotificationQueryErrors.clear();
    }
    FNextEventError = S_OK;
    FSettings.clear();
    FProvider.SetDelay(0);
    FServiceError = S_OK;
    FQueryErrors.clear();
}

TSimulatedWmi::TAddedClass* TSimulatedWmi::FindAdded(const std::wstring& name) {
    for (TAddedClass& added : FAddedClasses)
        if (SameText(added.Class->Name, name)) return &added;
    return nullptr;
}

void TSimulatedWmi::AddClass(const std::wstring& name,
                             const std::vector<TSimPropertyDef>& properties) {
    if (SimAdapterClass(name)) throw Exception(L"The adapter classes cannot be replaced: " + name);
    auto cls = std::make_shared<TSimClassDef>(TSimClassDef{name, L"", properties, {}});
    if (TAddedClass* added = FindAdded(name))
        *added = {std::move(cls), {}};
    else
        FAddedClasses.push_back({std::move(cls), {}});
}

void TSimulatedWmi::AddInstance(const std::wstring& className, const std::vector<VARIANT>& values) {
    TAddedClass* added = FindAdded(className);
    if (!added) throw Exception(L"No class added by that name: " + className);
    if (values.size() != added->Class->Properties.size())
        throw Exception(L"One value per property is needed for " + className);
    std::vector<ScopedVariant> copies;
    for (const VARIANT& v : values)
        copies.push_back(ScopedVariant::Copy(v));
    added->Instances.push_back(std::move(copies));
}

void TSimulatedWmi::ClearCalls() {
    // Their storage is given back, not only emptied (assigning {} keeps the capacity), so a test
    // can weigh what the program itself keeps.
    const auto release = [](auto& records) { std::decay_t<decltype(records)>().swap(records); };
    release(FCalls);
    release(FRunning);
    release(FQueries);
    release(FQueryDetails);
    release(FMonikerNames);
    release(FConnects);
    release(FGets);
    FImpersonationLevel = 0;
    release(FPrivileges);
    release(FNotificationQueries);
}

TSimOutcome TSimulatedWmi::MethodStarting(const TSimCall& call) {
    FRunning.push_back(FCalls.size());
    FCalls.push_back(call);
    const TSimOutcome* general = nullptr;
    for (const TSetting& s : FSettings) {
        if (!SameText(s.Method, call.Method)) continue;
        if (s.AdapterIndex == call.AdapterIndex) return s.Outcome;
        if (s.AdapterIndex == -1) general = &s.Outcome;
    }
    return general ? *general : TSimOutcome{};
}

void TSimulatedWmi::MethodDone(const TSimCall& call) {
    // Calls nest only through the messages a delayed call dispatches, so the innermost ends first.
    if (!FRunning.empty()) {
        FCalls[FRunning.back()] = call;
        FRunning.pop_back();
    }
    if (!OnCall) return;
    // This runs inside a COM method, where nothing may escape; the test hears of it instead.
    try {
        OnCall(call);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "OnCall raised: " << e.what();
    } catch (...) {
        ADD_FAILURE() << "OnCall raised an unknown exception";
    }
}

std::shared_ptr<const TSimClassDef> TSimulatedWmi::FindClass(const std::wstring& name) {
    TAddedClass* added = FindAdded(name);
    return added ? added->Class : nullptr;
}

std::vector<std::vector<ScopedVariant>> TSimulatedWmi::Instances(const TSimClassDef& cls) {
    std::vector<std::vector<ScopedVariant>> instances;
    for (const TAddedClass& added : FAddedClasses) {
        if (added.Class.get() != &cls) continue;
        for (const std::vector<ScopedVariant>& stored : added.Instances) {
            std::vector<ScopedVariant> values;
            for (const ScopedVariant& v : stored)
                values.push_back(ScopedVariant::Copy(v.Get()));
            instances.push_back(std::move(values));
        }
    }
    return instances;
}

void TSimulatedWmi::RaiseInstanceEvent(const std::wstring& eventClass,
                                       const std::wstring& targetClass,
                                       const std::vector<VARIANT>& target,
                                       const std::vector<VARIANT>& previous) {
    TAddedClass* added = FindAdded(targetClass);
    if (!added) throw Exception(L"No class added by that name: " + targetClass);
    const auto cls = std::make_shared<TSimClassDef>(
        TSimClassDef{eventClass,
                     L"__InstanceOperationEvent",
                     {{L"TargetInstance", CimObject}, {L"PreviousInstance", CimObject}},
                     {}});
    const ScopedVariant instance =
        TSimDispatch::AsVariant(FInstanceEvents.Instance(added->Class, target).Get());
    const ScopedVariant before =
        previous.empty()
            ? SimNull()
            : TSimDispatch::AsVariant(FInstanceEvents.Instance(added->Class, previous).Get());
    FInstanceEvents.Raise(cls, {instance.Get(), before.Get()});
}

void TSimulatedWmi::RaiseEvent(const std::wstring& className, const std::vector<VARIANT>& values) {
    TAddedClass* added = FindAdded(className);
    if (!added) throw Exception(L"No class added by that name: " + className);
    FInstanceEvents.Raise(added->Class, values);
}

Microsoft::WRL::ComPtr<IDispatch> TSimulatedWmi::OpenEventSource(const std::wstring& nameSpace,
                                                                 const TSimQuery& query) {
    if (!SameText(nameSpace, L"root\\cimv2")) return nullptr;
    return FInstanceEvents.Open(query.Text);
}

void TSimulatedWmi::Queried(const TSimQuery& query) {
    FQueries.push_back(query.Text);
    FQueryDetails.push_back(query);
}

void TSimulatedWmi::NotificationQueried(const TSimQuery& query) {
    std::lock_guard guard(FNotificationLock);
    FNotificationQueries.push_back(query);
}

void TSimulatedWmi::PrivilegeAdded(const TSimPrivilege& privilege) {
    FPrivileges.push_back(privilege);
}
