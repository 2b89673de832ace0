#include "wmi/WmiMethod.h"

#include "wbem/WbemScripting.h"
#include "wmi/CimValue.h"
#include "wmi/WmiAutomation.h"

using Microsoft::WRL::ComPtr;

namespace {
TFieldType FieldTypeOfValue(VARTYPE type) {
    switch (type) {
    case VT_I1:
    case VT_I2:
    case VT_UI1:
        return ftSmallint;
    case VT_I4:
    case VT_INT:
    case VT_UI2:
        return ftInteger;
    case VT_R4:
    case VT_R8:
    case VT_UI4:
        return ftFloat;
    case VT_CY:
        return ftBCD;
    case VT_DATE:
        return ftDateTime;
    case VT_BSTR:
        return ftString;
    case VT_BOOL:
        return ftBoolean;
    case VT_I8:
    case VT_UI8:
        return ftLargeint;
    default:
        return ftUnknown;
    }
}
} // namespace

void TWmiParam::SetDataType(TFieldType type) {
    FDataType = type;
    FValue.Reset();
}

void TWmiParam::SetValue(const VARIANT& value) {
    FValue = ScopedVariant::Copy(value);
    if (FDataType == ftUnknown) FDataType = FieldTypeOfValue(value.vt);
}

void TWmiParam::Assign(const TWmiParam& source) {
    SetDataType(source.FDataType);
    if (!source.IsNull()) FValue = ScopedVariant::Copy(source.FValue.Get());
    FName = source.FName;
}

void TWmiParam::AssignField(const TField& field) {
    TFieldType type = field.DataType();
    if (type == ftMemo && field.Size() >= 256) type = ftString;
    SetDataType(type);
    if (!field.IsNull()) FValue = field.Value();
    FName = field.FieldName();
}

void TWmiQualifier::AssignWmi(IDispatch* qualifier) {
    QualifierName = WmiText(WmiGet(qualifier, L"Name"));
    Value = WmiGet(qualifier, L"Value");
    IsLocal = WmiBool(WmiGet(qualifier, L"IsLocal"));
    PropagatesToSubclass = WmiBool(WmiGet(qualifier, L"PropagatesToSubclass"));
    IsOverridable = WmiBool(WmiGet(qualifier, L"IsOverridable"));
    IsAmended = WmiBool(WmiGet(qualifier, L"IsAmended"));
}

// ---------------------------------------------------------------------------------------------

void TWmiMethod::SetWmiMethodName(const std::wstring& name) {
    if (name == FWmiMethodName) return;
    FWmiMethodName = name;
    FQualifiers.Clear();
    FInParams.Clear();
    ReloadInParams();
}

void TWmiMethod::SetWmiObjectSource(IWmiObjectSource* source) {
    if (source == FWmiObjectSource) return;
    if (FSourceComponent) RemoveFreeNotification(FSourceComponent);
    FWmiObjectSource = source;
    FSourceComponent = source ? source->GetComponent() : nullptr;
    if (FSourceComponent) FreeNotification(FSourceComponent);
    FQualifiers.Clear();
    ReloadInParams();
}

void TWmiMethod::Notification(TComponent* other) {
    // The source is going away and must not be asked anything: its component was kept.
    if (other != FSourceComponent) return;
    FWmiObjectSource = nullptr;
    FSourceComponent = nullptr;
}

ComPtr<IDispatch> TWmiMethod::FindMethod(IDispatch* object) const {
    try {
        ComPtr<IDispatch> methods = WmiObject(WmiGet(object, L"Methods_"));
        ScopedVariant name(FWmiMethodName);
        return WmiObject(WmiCall(methods.Get(), L"Item", {name.Get(), ScopedVariant(0).Get()}));
    } catch (const EComError&) {
        return nullptr;
    }
}

void TWmiMethod::ReloadInParams() {
    if (!FWmiObjectSource || FWmiMethodName.empty()) return;
    ComPtr<IDispatch> object = FWmiObjectSource->GetWmiObject();
    if (!object) return;
    ComPtr<IDispatch> method = FindMethod(object.Get());
    if (!method) return;
    FInParams.Clear();
    ComPtr<IDispatch> parameters = WmiObject(WmiGet(method.Get(), L"InParameters"));
    if (!parameters) return;
    ComPtr<IDispatch> properties = WmiObject(WmiGet(parameters.Get(), L"Properties_"));
    WmiForEach(properties.Get(), [&](IDispatch* property) {
        TWmiParam& param = FInParams.Add();
        param.SetName(WmiText(WmiGet(property, L"Name")));
        int size = 0;
        param.SetDataType(FieldTypeOfCimType(WmiInt(WmiGet(property, L"CIMType")),
                                             WmiBool(WmiGet(property, L"IsArray")), size));
    });
}

void TWmiMethod::LoadQualifiers() {
    if (!FWmiObjectSource || FWmiMethodName.empty()) return;
    ComPtr<IDispatch> object = FWmiObjectSource->GetWmiObject();
    if (!object) return;
    ComPtr<IDispatch> path = WmiObject(WmiGet(object.Get(), L"Path_"));
    ScopedVariant className = WmiGet(path.Get(), L"Class");
    ComPtr<IDispatch> definition =
        WmiObject(WmiCall(FWmiObjectSource->GetWmiServices().Get(), L"Get",
                          {className.Get(), ScopedVariant(kWbemFlagUseAmendedQualifiers).Get()}));
    ComPtr<IDispatch> method = FindMethod(definition.Get());
    if (!method) return;
    FQualifiers.Clear();
    ComPtr<IDispatch> qualifiers = WmiObject(WmiGet(method.Get(), L"Qualifiers_"));
    WmiForEach(qualifiers.Get(),
               [&](IDispatch* qualifier) { FQualifiers.Add().AssignWmi(qualifier); });
}

TWmiQualifiers& TWmiMethod::WmiMethodQualifiers() {
    if (FQualifiers.Count() == 0) LoadQualifiers();
    return FQualifiers;
}

int TWmiMethod::LastWmiError() const {
    const TWmiParam* result = FOutParams.Find(L"ReturnValue");
    if (!result) return -1;
    return WmiInt(result->Value());
}

std::wstring TWmiMethod::LastWmiErrorDescription() {
    const int code = LastWmiError();
    if (code == -1) return {};
    return ResultDescription(code);
}

std::wstring TWmiMethod::ResultDescription(int code) {
    TWmiQualifiers& qualifiers = WmiMethodQualifiers();
    const TWmiQualifier* values = qualifiers.Find(L"Values");
    if (!values || !(values->Value.Type() & VT_ARRAY)) return {};
    const std::vector<std::wstring> texts = SafeArrayStrings(values->Value.Get().parray);
    size_t position = static_cast<size_t>(code);
    if (const TWmiQualifier* map = qualifiers.Find(L"ValueMap")) {
        if (!(map->Value.Type() & VT_ARRAY)) return {};
        const std::vector<std::wstring> keys = SafeArrayStrings(map->Value.Get().parray);
        position = std::find(keys.begin(), keys.end(), std::to_wstring(code)) - keys.begin();
        if (position == keys.size()) return {};
    }
    return code >= 0 && position < texts.size() ? texts[position] : std::wstring();
}
