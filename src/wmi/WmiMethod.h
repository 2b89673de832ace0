#pragma once
// One method of a WMI class, for the object an object source stands on: its input
// parameters, its qualifiers and, from the output parameters, the last result and its text.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/DataSet.h"
#include "framework/Strings.h"
#include "wmi/WmiObjectSource.h"

enum TWmiPrivilege {
    wmiPrivilegeCreateToken,
    wmiPrivilegePrimaryToken,
    wmiPrivilegeLockMemory,
    wmiPrivilegeIncreaseQuota,
    wmiPrivilegeMachineAccount,
    wmiPrivilegeTcb,
    wmiPrivilegeSecurity,
    wmiPrivilegeTakeOwnership,
    wmiPrivilegeLoadDriver,
    wmiPrivilegeSystemProfile,
    wmiPrivilegeSystemtime,
    wmiPrivilegeProfileSingleProcess,
    wmiPrivilegeIncreaseBasePriority,
    wmiPrivilegeCreatePagefile,
    wmiPrivilegeCreatePermanent,
    wmiPrivilegeBackup,
    wmiPrivilegeRestore,
    wmiPrivilegeShutdown,
    wmiPrivilegeDebug,
    wmiPrivilegeAudit,
    wmiPrivilegeSystemEnvironment,
    wmiPrivilegeChangeNotify,
    wmiPrivilegeRemoteShutdown,
    wmiPrivilegeUndock,
    wmiPrivilegeSyncAgent,
    wmiPrivilegeEnableDelegation,
};
using TWmiPrivileges = std::set<TWmiPrivilege>;

// Items with a Name, found by name ignoring case.
template <typename T> class TWmiNamedCollection {
public:
    T& Add() { return *FItems.emplace_back(std::make_unique<T>()); }
    size_t Count() const { return FItems.size(); }
    T& Item(size_t i) const { return *FItems[i]; }
    void Clear() { FItems.clear(); }
    // The first item of that name, or nullptr.
    T* Find(const std::wstring& name) const {
        for (const auto& item : FItems)
            if (SameText(item->Name(), name)) return item.get();
        return nullptr;
    }

private:
    std::vector<std::unique_ptr<T>> FItems;
};

class TWmiParam {
public:
    TFieldType DataType() const { return FDataType; }
    // Also clears the value.
    void SetDataType(TFieldType type);
    const std::wstring& Name() const { return FName; }
    void SetName(const std::wstring& name) { FName = name; }
    const ScopedVariant& Value() const { return FValue; }
    // A parameter without a type takes it from the value.
    void SetValue(const VARIANT& value);
    bool IsNull() const { return VariantIsNull(FValue.Get()); }
    void Clear() { FValue.Reset(); }

    void Assign(const TWmiParam& source);
    void AssignField(const TField& field);

private:
    TFieldType FDataType = ftUnknown;
    std::wstring FName;
    ScopedVariant FValue;
};
using TWmiParams = TWmiNamedCollection<TWmiParam>;

class TWmiQualifier {
public:
    bool IsAmended = false;
    bool IsLocal = false;
    bool IsOverridable = false;
    std::wstring QualifierName;
    bool PropagatesToInstance = false;
    bool PropagatesToSubclass = false;
    ScopedVariant Value;

    const std::wstring& Name() const { return QualifierName; }
    // Copies name, value and flavours from a WMI qualifier object.
    void AssignWmi(IDispatch* qualifier);
};
using TWmiQualifiers = TWmiNamedCollection<TWmiQualifier>;

class TWmiMethod : public TComponent {
public:
    explicit TWmiMethod(TComponent* owner) : TComponent(owner) {}

    const std::wstring& WmiMethodName() const { return FWmiMethodName; }
    void SetWmiMethodName(const std::wstring& name);
    // Loaded on first use.
    TWmiQualifiers& WmiMethodQualifiers();
    IWmiObjectSource* WmiObjectSource() const { return FWmiObjectSource; }
    void SetWmiObjectSource(IWmiObjectSource* source);
    TWmiParams& InParams() { return FInParams; }
    TWmiParams& OutParams() { return FOutParams; }
    const TWmiPrivileges& Privileges() const { return FPrivileges; }
    void SetPrivileges(const TWmiPrivileges& privileges) { FPrivileges = privileges; }

    // The output parameter "ReturnValue" (0 when null), or -1 without it.
    int LastWmiError() const;
    // The text the method's Values / ValueMap qualifiers give for LastWmiError.
    std::wstring LastWmiErrorDescription();
    // The text they give for any result code; empty when they give none.
    std::wstring ResultDescription(int code);

protected:
    void Notification(TComponent* other) override;

private:
    void ReloadInParams();
    void LoadQualifiers();
    // The method of that name in an object's or class's Methods_, or nullptr.
    Microsoft::WRL::ComPtr<IDispatch> FindMethod(IDispatch* object) const;

    std::wstring FWmiMethodName;
    IWmiObjectSource* FWmiObjectSource = nullptr;
    // The component behind the source, told of its destruction.
    TComponent* FSourceComponent = nullptr;
    TWmiParams FInParams, FOutParams;
    TWmiQualifiers FQualifiers;
    TWmiPrivileges FPrivileges;
};
