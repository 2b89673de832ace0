#pragma once
// The dataset base: a read-only table with a cursor over its rows, fields read by name, and
// the data sources that keep bound controls in step with the current row.
//
// A descendant supplies the rows: it opens and closes its source, moves its own cursor and
// reports, for each move, whether a record came (GetRecord). The base keeps the active
// record, begin and end of data, raises the before/after events and tells data sources.
#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/ComTypes.h"
#include "framework/Component.h"
#include "framework/Exception.h"

enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftMemo,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftArray,
    ftVariant,
    ftInterface,
    ftTimeStamp,
};

// An error of the dataset layer: a missing field, a dataset that cannot open.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

class TDataSet;
class TDataSource;
using TDataSetNotifyEvent = std::function<void(TDataSet* dataSet)>;

class TFieldDef {
public:
    virtual ~TFieldDef() = default;
    std::wstring Name;
    TFieldType DataType = ftUnknown;
    int Size = 0;
    int FieldNo = 0;
    bool Required = false;
    bool ReadOnly = false;
};
using TFieldDefs = std::vector<std::unique_ptr<TFieldDef>>;
// The definition of that name, ignoring case, or nullptr.
TFieldDef* FindFieldDef(const TFieldDefs& defs, const std::wstring& name);
// The same; raises "Field '<name>' not found" for an unknown name.
TFieldDef& FieldDefByName(const TFieldDefs& defs, const std::wstring& name);

// One column of the current row. Its value comes from the dataset each time it is read.
class TField {
public:
    TField(TDataSet* dataSet, const TFieldDef& def);
    virtual ~TField() = default;
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet* DataSet() const { return FDataSet; }
    const std::wstring& FieldName() const { return FFieldName; }
    TFieldType DataType() const { return FDataType; }
    int Size() const { return FSize; }
    int FieldNo() const { return FFieldNo; }
    bool Required() const { return FRequired; }
    bool ReadOnly() const { return FReadOnly; }
    int DisplayWidth() const { return FDisplayWidth; }
    void SetDisplayWidth(int width) { FDisplayWidth = width; }

    ScopedVariant Value() const;
    bool IsNull() const;
    // Null reads as empty text, 0 and false.
    virtual std::wstring AsString() const;
    int AsInteger() const;
    bool AsBoolean() const;
    ScopedVariant AsVariant() const { return Value(); }

private:
    TDataSet* FDataSet;
    std::wstring FFieldName;
    TFieldType FDataType;
    int FSize;
    int FFieldNo;
    bool FRequired;
    bool FReadOnly;
    int FDisplayWidth = 0;
};

enum TLocateOption : unsigned { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = unsigned;

class TDataSet : public TComponent {
public:
    explicit TDataSet(TComponent* owner);
    ~TDataSet() override;

    bool Active() const { return FActive; }
    void SetActive(bool active);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    // Closes and opens again, so the rows are read anew.
    void Refresh();

    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const { return FEof; }
    bool Bof() const { return FBof; }
    // Current row from 1; 0 without an active record.
    virtual int RecNo() const = 0;
    void SetRecNo(int recNo);
    virtual int RecordCount() = 0;
    virtual bool Locate(const std::wstring& keyFields, const VARIANT& keyValues,
                        TLocateOptions options = 0) = 0;

    const TFieldDefs& FieldDefs() const { return FFieldDefs; }
    size_t FieldCount() const { return FFields.size(); }
    TField* Field(size_t i) const { return FFields[i].get(); }
    TField* FindField(const std::wstring& name) const;
    // Raises "Field '<name>' not found" for an unknown name.
    TField* FieldByName(const std::wstring& name) const;

    // Bound controls stop following the cursor until the matching EnableControls.
    void DisableControls() { ++FDisableCount; }
    void EnableControls();
    bool ControlsDisabled() const { return FDisableCount > 0; }

    // The value of a field in the active record; empty without one.
    virtual ScopedVariant GetFieldData(const TField& field) = 0;

    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh;

protected:
    enum TGetMode { gmCurrent, gmNext, gmPrior };
    enum TGetResult { grOK, grBOF, grEOF, grError };

    // Opens the source and fills FieldDefs; the base then creates the fields.
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    // Stand before the first record, or on the last one, for the GetRecord that follows.
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    // Puts the descendant's cursor back on the active record before a relative move.
    virtual void InternalSetToRecord() = 0;
    // Moves as asked; with grOK the record reached is the active one, otherwise the active
    // record stays as it was.
    virtual TGetResult GetRecord(TGetMode mode) = 0;
    virtual void InternalSetRecNo(int recNo) = 0;
    virtual std::unique_ptr<TField> CreateField(const TFieldDef& def);

    TFieldDefs& MutableFieldDefs() { return FFieldDefs; }
    // Makes whatever f moves to the active record, with the scroll events around it.
    template <typename F> void ScrollTo(F&& f) {
        CheckActive();
        DoBeforeScroll();
        f();
        FBof = FEof = false;
        DoAfterScroll();
    }
    void CheckActive() const;
    void DataEvent();
    void Loaded() override;
    void Notification(TComponent* other) override;

private:
    friend class TDataSource;
    void DoBeforeScroll();
    void DoAfterScroll();
    void Fire(const TDataSetNotifyEvent& event) {
        if (event) event(this);
    }
    // Steps the cursor once; answers whether a record came.
    bool Step(TGetMode mode);
    void OpenCursor();
    void CloseCursor();

    bool FActive = false;
    std::optional<bool> FStreamedActive;
    bool FBof = true;
    bool FEof = true;
    int FDisableCount = 0;
    TFieldDefs FFieldDefs;
    std::vector<std::unique_ptr<TField>> FFields;
    std::vector<TDataSource*> FDataSources;
};

class TDataLink;

// Links bound controls to a dataset: they are told when it opens, closes or moves.
class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* owner);
    ~TDataSource() override;

    TDataSet* DataSet() const { return FDataSet; }
    void SetDataSet(TDataSet* dataSet);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);

protected:
    void Notification(TComponent* other) override;

private:
    friend class TDataSet;
    friend class TDataLink;
    void NotifyLinks();

    TDataSet* FDataSet = nullptr;
    bool FEnabled = true;
    std::vector<TDataLink*> FLinks;
};

// What a bound control holds: its data source, told of every change of the current row.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }
    // The dataset is there, open, and the source enabled.
    bool Active() const;

protected:
    friend class TDataSource;
    virtual void DataChanged() = 0;

private:
    TDataSource* FDataSource = nullptr;
};

// The link of a control that shows one field of the current row as text, read-only.
class TFieldDataLink : public TDataLink {
public:
    const std::wstring& FieldName() const { return FFieldName; }
    void SetFieldName(const std::wstring& name);
    // The field, while the dataset is open and has it.
    TField* Field() const;
    // The field's text; empty while there is nothing to show.
    std::wstring Text() const;
    // Runs with the text whenever the row, the dataset or the binding changes.
    std::function<void(const std::wstring& text)> OnDataChange;

protected:
    void DataChanged() override;

private:
    std::wstring FFieldName;
};
