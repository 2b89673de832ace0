#pragma once
// The result of a WQL query as a read-only table: one row per WMI object, one column per
// property. Rows are read from WMI only as the cursor reaches them and kept while open.
#include <memory>
#include <string>
#include <vector>

#include "framework/DataSet.h"
#include "wmi/WmiConnection.h"

class TWmiFieldDef : public TFieldDef {
public:
    bool IsArray = false;
};

// A field whose text is the WMI value as text: arrays in braces, objects as MOF text.
class TWmiVariantField : public TField {
public:
    using TField::TField;
    std::wstring AsString() const override;
};

class TWmiRowCache;
struct TWmiRow;

class TWmiDataSet : public TDataSet, public IWmiObjectSource {
public:
    explicit TWmiDataSet(TComponent* owner);
    ~TWmiDataSet() override;

    // The query, one line per entry. May be edited in place while the dataset is closed.
    std::vector<std::wstring>& WQL() { return FWQL; }
    void SetWQL(const std::vector<std::wstring>& lines);
    TWmiConnection* Connection() const { return FConnection; }
    void SetConnection(TWmiConnection* connection);
    // The query returns before WMI has produced every object.
    bool Asynchronous() const { return FAsynchronous; }
    void SetAsynchronous(bool asynchronous);
    // Rows may differ in their properties: one field "Object" holds the whole object.
    bool IrregularView() const { return FIrregularView; }
    void SetIrregularView(bool irregular);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool readOnly) { FReadOnly = readOnly; }
    bool CanModify() const { return !FReadOnly; }

    // The field definitions of the current row when open; when closed, those of the query's
    // prototype, asked of the local computer's root\cimv2.
    void UpdateFieldDefs();
    // The current row's own properties, with IrregularView.
    const TFieldDefs& RowFieldDefs() const { return FRowFieldDefs; }

    int RecNo() const override;
    int RecordCount() override;
    // Key fields separated by ";"; compares values as text, so an integer key matches its
    // decimal text too. A match becomes the current row; otherwise the cursor stays.
    bool Locate(const std::wstring& keyFields, const VARIANT& keyValues,
                TLocateOptions options = 0) override;
    ScopedVariant GetFieldData(const TField& field) override;

    Microsoft::WRL::ComPtr<IDispatch> GetWmiObject() override;
    Microsoft::WRL::ComPtr<IDispatch> GetWmiServices() override;
    TComponent* GetComponent() override { return this; }

protected:
    virtual void BuildFieldDefs(TFieldDefs& defs, IDispatch* object, bool irregular);

    void InternalOpen() override;
    void InternalClose() override;
    void InternalFirst() override;
    void InternalLast() override;
    void InternalSetToRecord() override;
    TGetResult GetRecord(TGetMode mode) override;
    void InternalSetRecNo(int recNo) override;
    std::unique_ptr<TField> CreateField(const TFieldDef& def) override;
    void Notification(TComponent* other) override;

private:
    TWmiRow* ActiveRow() const;
    ScopedVariant PropertyValue(TWmiRow& row, const std::wstring& name);
    ScopedVariant FieldValue(TWmiRow& row, const std::wstring& name, TFieldType type);
    // The value Locate compares for a key name in a row.
    std::wstring KeyText(TWmiRow& row, const std::wstring& name);

    std::vector<std::wstring> FWQL;
    std::unique_ptr<TWmiRowCache> FRows;
    int FActiveRow = -1;
    bool FAsynchronous = true;
    bool FIrregularView = false;
    bool FReadOnly = true;
    TFieldDefs FRowFieldDefs;
    TWmiConnection* FConnection = nullptr;
};

class TWmiQuery : public TWmiDataSet {
public:
    using TWmiDataSet::TWmiDataSet;
};
