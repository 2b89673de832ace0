#pragma once
// An instance or a class of the repository, or a method's parameter object (class
// __PARAMETERS): its properties by name and through Properties_, its methods, Path_, MOF text
// and qualifiers. Instances hold their values as read; adapter methods act on the adapter of
// the same Index.
#include <memory>
#include <string>
#include <vector>

#include "sim/SimDispatch.h"
#include "sim/SimRepository.h"

class TSimWmiObject : public TSimDispatch {
public:
    // No values: the class itself, whose properties are null.
    TSimWmiObject(std::shared_ptr<TSimRepository> repository,
                  std::shared_ptr<const TSimClassDef> cls, std::wstring nameSpace,
                  std::vector<ScopedVariant> values, bool amended);

    const TSimClassDef& Class() const { return *FClass; }
    ScopedVariant& Value(size_t at) { return FValues[at]; }
    // "Class.Key=Value"; the class name for a class; empty for a parameter object.
    std::wstring RelPath() const;
    std::wstring ObjectText() const;

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override;

private:
    // Index of the adapter an instance stands for, or -1.
    int AdapterIndex() const;
    ScopedVariant ExecMethod(const std::wstring& name, IDispatch* in);
    ScopedVariant CallMethod(const TSimMethodDef& method, const TSimArgs& args);
    ComPtr<TSimDispatch> PropertySet();
    ComPtr<TSimDispatch> MethodSet();
    ComPtr<TSimDispatch> ClassQualifiers() const;

    std::shared_ptr<TSimRepository> FRepository;
    std::shared_ptr<const TSimClassDef> FClass;
    std::wstring FNamespace;
    bool FIsClass;
    std::vector<ScopedVariant> FValues;
    bool FAmended;
};
