#include "framework/DataSet.h"

#include <algorithm>

#include "framework/Strings.h"

namespace {
EDatabaseError FieldNotFound(const std::wstring& name) {
    return EDatabaseError(L"Field '" + name + L"' not found");
}

// The value as that type, empty for null; a value that does not convert raises.
// Raises, for a conversion that failed, that the value is no value of that kind.
void CheckConverted(HRESULT hr, const ScopedVariant& value, const std::wstring& kind) {
    if (FAILED(hr))
        throw EDatabaseError(L"'" + VariantToText(value.Get()) + L"' is not a valid " + kind +
                             L" value");
}
} // namespace

TFieldDef* FindFieldDef(const TFieldDefs& defs, const std::wstring& name) {
    for (const auto& def : defs)
        if (SameText(def->Name, name)) return def.get();
    return nullptr;
}

TFieldDef& FieldDefByName(const TFieldDefs& defs, const std::wstring& name) {
    TFieldDef* def = FindFieldDef(defs, name);
    if (!def) throw FieldNotFound(name);
    return *def;
}

// ---------------------------------------------------------------------------------------------

TField::TField(TDataSet* dataSet, const TFieldDef& def)
    : FDataSet(dataSet), FFieldName(def.Name), FDataType(def.DataType), FSize(def.Size),
      FFieldNo(def.FieldNo), FRequired(def.Required), FReadOnly(def.ReadOnly) {}

ScopedVariant TField::Value() const {
    return FDataSet->GetFieldData(*this);
}

bool TField::IsNull() const {
    ScopedVariant v = Value();
    return VariantIsNull(v.Get());
}

std::wstring TField::AsString() const {
    ScopedVariant v = Value();
    return VariantToText(v.Get());
}

int TField::AsInteger() const {
    const ScopedVariant value = Value();
    int number = 0;
    CheckConverted(VariantToInt(value.Get(), number), value, L"integer");
    return number;
}

bool TField::AsBoolean() const {
    const ScopedVariant value = Value();
    bool flag = false;
    CheckConverted(VariantToBool(value.Get(), flag), value, L"boolean");
    return flag;
}

// ---------------------------------------------------------------------------------------------

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet() {
    // A descendant has closed already (its part is gone); only the base's own state is left.
    FFields.clear();
    for (TDataSource* source : std::vector<TDataSource*>(FDataSources))
        source->SetDataSet(nullptr);
}

void TDataSet::SetActive(bool active) {
    if (Loading()) {
        FStreamedActive = active;
        return;
    }
    if (active == FActive) return;
    if (active)
        OpenCursor();
    else
        CloseCursor();
}

void TDataSet::OpenCursor() {
    Fire(BeforeOpen);
    try {
        InternalOpen();
        FFields.clear();
        for (const auto& def : FFieldDefs)
            FFields.push_back(CreateField(*def));
        FActive = true;
        InternalFirst();
        FBof = true;
        FEof = GetRecord(gmNext) != grOK;
    } catch (...) {
        FActive = false;
        FFields.clear();
        InternalClose();
        throw;
    }
    Fire(AfterOpen);
    Fire(AfterScroll);
    DataEvent();
}

void TDataSet::CloseCursor() {
    Fire(BeforeClose);
    FActive = false;
    FBof = FEof = true;
    InternalClose();
    FFields.clear();
    Fire(AfterClose);
    DataEvent();
}

void TDataSet::Refresh() {
    CheckActive();
    Fire(BeforeRefresh);
    CloseCursor();
    OpenCursor();
    Fire(AfterRefresh);
}

void TDataSet::CheckActive() const {
    if (!FActive) throw EDatabaseError(L"Cannot perform this operation on a closed dataset");
}

void TDataSet::DoBeforeScroll() {
    Fire(BeforeScroll);
}

void TDataSet::DoAfterScroll() {
    Fire(AfterScroll);
    DataEvent();
}

bool TDataSet::Step(TGetMode mode) {
    const TGetResult result = GetRecord(mode);
    if (result == grError) throw EDatabaseError(L"Record not found");
    return result == grOK;
}

void TDataSet::First() {
    CheckActive();
    DoBeforeScroll();
    InternalFirst();
    const bool found = Step(gmNext);
    FBof = true;
    FEof = !found;
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckActive();
    DoBeforeScroll();
    InternalLast();
    const bool found = Step(gmPrior);
    FEof = true;
    FBof = !found;
    DoAfterScroll();
}

void TDataSet::Next() {
    CheckActive();
    if (FEof) return;
    DoBeforeScroll();
    InternalSetToRecord();
    if (Step(gmNext))
        FBof = false;
    else
        FEof = true;
    DoAfterScroll();
}

void TDataSet::Prior() {
    CheckActive();
    if (FBof) return;
    DoBeforeScroll();
    InternalSetToRecord();
    if (Step(gmPrior))
        FEof = false;
    else
        FBof = true;
    DoAfterScroll();
}

void TDataSet::SetRecNo(int recNo) {
    ScrollTo([&] { InternalSetRecNo(recNo); });
}

TField* TDataSet::FindField(const std::wstring& name) const {
    for (const auto& field : FFields)
        if (SameText(field->FieldName(), name)) return field.get();
    return nullptr;
}

TField* TDataSet::FieldByName(const std::wstring& name) const {
    TField* field = FindField(name);
    if (!field) throw FieldNotFound(name);
    return field;
}

void TDataSet::EnableControls() {
    if (FDisableCount > 0 && --FDisableCount == 0) DataEvent();
}

void TDataSet::DataEvent() {
    if (ControlsDisabled()) return;
    for (TDataSource* source : std::vector<TDataSource*>(FDataSources))
        source->NotifyLinks();
}

std::unique_ptr<TField> TDataSet::CreateField(const TFieldDef& def) {
    return std::make_unique<TField>(this, def);
}

void TDataSet::Loaded() {
    if (FStreamedActive) SetActive(*std::exchange(FStreamedActive, std::nullopt));
}

void TDataSet::Notification(TComponent* other) {
    FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), other),
                       FDataSources.end());
}

// ---------------------------------------------------------------------------------------------

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
    SetDataSet(nullptr);
    for (TDataLink* link : std::vector<TDataLink*>(FLinks))
        link->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (dataSet == FDataSet) return;
    if (FDataSet) {
        auto& sources = FDataSet->FDataSources;
        sources.erase(std::remove(sources.begin(), sources.end(), this), sources.end());
        RemoveFreeNotification(FDataSet);
    }
    FDataSet = dataSet;
    if (FDataSet) {
        FDataSet->FDataSources.push_back(this);
        FreeNotification(FDataSet);
    }
    NotifyLinks();
}

void TDataSource::SetEnabled(bool enabled) {
    if (enabled == FEnabled) return;
    FEnabled = enabled;
    NotifyLinks();
}

void TDataSource::Notification(TComponent* other) {
    if (other != FDataSet) return;
    FDataSet = nullptr;
    NotifyLinks();
}

void TDataSource::NotifyLinks() {
    for (TDataLink* link : std::vector<TDataLink*>(FLinks))
        link->DataChanged();
}

// ---------------------------------------------------------------------------------------------

TDataLink::~TDataLink() {
    if (FDataSource) {
        auto& links = FDataSource->FLinks;
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
    }
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source == FDataSource) return;
    if (FDataSource) {
        auto& links = FDataSource->FLinks;
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
    }
    FDataSource = source;
    if (FDataSource) FDataSource->FLinks.push_back(this);
    DataChanged();
}

bool TDataLink::Active() const {
    TDataSet* dataSet = DataSet();
    return dataSet && dataSet->Active() && FDataSource->Enabled();
}

void TFieldDataLink::SetFieldName(const std::wstring& name) {
    if (name == FFieldName) return;
    FFieldName = name;
    DataChanged();
}

TField* TFieldDataLink::Field() const {
    return Active() ? DataSet()->FindField(FFieldName) : nullptr;
}

std::wstring TFieldDataLink::Text() const {
    TField* field = Field();
    return field ? field->AsString() : std::wstring();
}

void TFieldDataLink::DataChanged() {
    if (OnDataChange) OnDataChange(Text());
}
